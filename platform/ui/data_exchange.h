// Dialog data exchange: moves option values between a dialog's controls and
// its members, in the order the dialog's DoDataExchange names them. When
// reading, a value that fails its validation shows the standard message,
// puts the focus on its control and stops the exchange: that value and every
// value after it keep what they held.
#pragma once

#include <string>

namespace ui {

class Dialog;

// Thrown by a failed validation; UpdateData catches it.
struct DataExchangeFailure {};

class DataExchange {
 public:
  DataExchange(Dialog* dialog, bool saveAndValidate) : dialog_(dialog), m_bSaveAndValidate(saveAndValidate) {}

  // Binds a control member: controls are reached by identifier here, so a
  // binding only checks that the control exists.
  void Control(int id);
  // A radio group that starts at firstId: the index of its checked button
  // (-1 when none is checked).
  void Radio(int firstId, int& value);
  // A check box: 1 checked, 0 not.
  void Check(int id, int& value);
  // A float in an edit, shown with up to six significant digits; when read
  // it must be a number within [minimum, maximum], and only then is it
  // stored.
  void TextFloat(int id, float& value, float minimum, float maximum);

  // Shows `text` (exclamation style), focuses `id` and stops the exchange.
  [[noreturn]] void Fail(int id, const std::string& text);

  // Text of a float as the exchange shows it ("%.*g", 6 digits).
  static std::string FormatFloat(double value);
  // Parses a whole edit text as a number (blanks around it allowed).
  static bool ParseFloat(const std::string& text, double* value);

 private:
  Dialog* dialog_;

 public:
  const bool m_bSaveAndValidate;
};

}  // namespace ui
