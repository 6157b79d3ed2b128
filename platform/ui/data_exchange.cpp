#include "platform/ui/data_exchange.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QLineEdit>

#include <cmath>
#include <locale>
#include <sstream>

#include "platform/ui/dialog.h"
#include "platform/ui/services.h"

namespace ui {

void DataExchange::Control(int id) {
  // A template without the control is a programming error, not a user's.
  Q_ASSERT(dialog_->GetDlgItem(id) != nullptr);
  (void)id;
}

void DataExchange::Radio(int firstId, int& value) {
  auto* first = dialog_->Item<QAbstractButton>(firstId);
  if (!first) return;
  QButtonGroup* group = first->group();
  const QList<QAbstractButton*> buttons =
      group ? group->buttons() : QList<QAbstractButton*>{first};
  if (m_bSaveAndValidate) {
    value = -1;
    for (int i = 0; i < buttons.size(); ++i)
      if (buttons[i]->isChecked()) {
        value = i;
        break;
      }
    return;
  }
  const bool exclusive = group && group->exclusive();
  if (exclusive) group->setExclusive(false);
  for (int i = 0; i < buttons.size(); ++i) buttons[i]->setChecked(i == value);
  if (exclusive) group->setExclusive(true);
}

void DataExchange::Check(int id, int& value) {
  auto* button = dialog_->Item<QAbstractButton>(id);
  if (!button) return;
  if (m_bSaveAndValidate)
    value = button->isChecked() ? 1 : 0;
  else
    button->setChecked(value != 0);
}

std::string DataExchange::FormatFloat(double value) {
  // "%.*g" with 6 digits, always with a '.' whatever the locale.
  std::ostringstream out;
  out.imbue(std::locale::classic());
  out.precision(6);
  out << value;
  return out.str();
}

bool DataExchange::ParseFloat(const std::string& text, double* value) {
  std::size_t begin = text.find_first_not_of(" \t");
  if (begin == std::string::npos) return false;
  std::size_t end = text.find_last_not_of(" \t") + 1;
  const std::string number = text.substr(begin, end - begin);
  // Plain decimal numbers only: sign, digits, one point, an exponent.
  for (char c : number)
    if (!((c >= '0' && c <= '9') || c == '.' || c == '+' || c == '-' || c == 'e' || c == 'E'))
      return false;
  std::istringstream in(number);
  in.imbue(std::locale::classic());
  double parsed = 0.0;
  in >> parsed;
  // The number must fill the whole text.
  if (in.fail() || in.peek() != std::char_traits<char>::eof()) return false;
  if (!std::isfinite(parsed)) return false;
  *value = parsed;
  return true;
}

void DataExchange::TextFloat(int id, float& value, float minimum, float maximum) {
  auto* edit = dialog_->Item<QLineEdit>(id);
  if (!edit) return;
  if (!m_bSaveAndValidate) {
    edit->setText(QString::fromStdString(FormatFloat(value)));
    return;
  }
  double parsed = 0.0;
  if (!ParseFloat(edit->text().toStdString(), &parsed)) Fail(id, "Please enter a number.");
  const float number = static_cast<float>(parsed);
  if (!(number >= minimum && number <= maximum))
    Fail(id, "Please enter a number between " + FormatFloat(minimum) + " and " + FormatFloat(maximum) + ".");
  value = number;
}

void DataExchange::Fail(int id, const std::string& text) {
  AfxMessageBox(text, MB_ICONEXCLAMATION);
  dialog_->SetFocusTo(id);
  if (auto* edit = dialog_->Item<QLineEdit>(id)) edit->selectAll();
  throw DataExchangeFailure{};
}

}  // namespace ui
