// A dialog window built from a template of controls addressed by
// identifier, laid out in dialog units, with an optional menu bar. What the
// user does reaches the dialog as messages (win_defs.h) through its window
// procedure, which the default WindowProc dispatches to the On... handlers.
#pragma once

#include <QDialog>

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/ui/dialog_template.h"
#include "platform/ui/win_defs.h"

class QMenuBar;
class QTimer;

namespace ui {

class DataExchange;

class Dialog : public QDialog {
 public:
  explicit Dialog(const DialogTemplate& dialogTemplate, const MenuTemplate* menu = nullptr,
                  QWidget* parent = nullptr);
  ~Dialog() override;
  Dialog(const Dialog&) = delete;
  Dialog& operator=(const Dialog&) = delete;

  // Creates the window and runs the modal loop until the dialog ends; then
  // destroys the window. Returns the end code.
  int DoModal();
  // Creates the window with its controls, sends WM_CREATE, runs
  // OnInitDialog and shows it, without a modal loop (modeless use, tests).
  bool Create();
  bool IsWindowCreated() const { return created_; }
  // Sends WM_DESTROY, stops the timers and hides the window.
  virtual bool DestroyWindow();
  // Ends the modal loop with `result`.
  void EndDialog(int result);
  // Ends the modal loop and with it the program.
  void PostQuitMessage(int exitCode);
  bool QuitPosted() const { return quitPosted_; }
  bool Ended() const { return ended_; }
  int Result() const { return result_; }

  // Runs the window procedure now.
  std::intptr_t SendMessage(unsigned message, std::uintptr_t wParam = 0, std::intptr_t lParam = 0);
  // Queues a message for the window procedure; callable from any thread
  // while the dialog exists.
  void PostMessage(unsigned message, std::uintptr_t wParam = 0, std::intptr_t lParam = 0);

  // Controls by identifier (null when there is none).
  QWidget* GetDlgItem(int id) const;
  template <class W>
  W* Item(int id) const {
    return dynamic_cast<W*>(GetDlgItem(id));
  }
  // The identifier of the control that `widget` is or lies in; 0 for none.
  int ControlId(const QWidget* widget) const;
  void EnableItem(int id, bool enable);
  bool IsItemEnabled(int id) const;
  void SetItemText(int id, const std::string& text);
  std::string ItemText(int id) const;
  void CheckButton(int id, bool checked);
  bool IsButtonChecked(int id) const;
  // The control with the keyboard focus; 0 for none.
  int FocusId() const;
  void SetFocusTo(int id);
  // The control's rectangle in the client area.
  QRect ItemRect(int id) const;
  // The area below the menu bar that holds the controls.
  QWidget* Client() const { return client_; }
  QMenuBar* MenuBar() const { return menuBar_; }
  const DialogTemplate& Template() const { return template_; }
  // A push button's style: only the kind of push button (0 plain, 1 the
  // default button) has an effect here.
  void SetButtonStyle(int id, unsigned style);
  // Mouse capture: the control that holds it (0 for none).
  int CaptureId() const;
  void SetCapture(int id);
  void ReleaseCapture();

  // Window timers: WM_TIMER with the identifier every `milliseconds`.
  bool SetTimer(int id, int milliseconds);
  bool KillTimer(int id);
  bool TimerRunning(int id) const;

  // Data exchange: true reads the controls into the values (and validates),
  // false shows the values. False when a validation failed.
  bool UpdateData(bool saveAndValidate = true);

  // Items added to the window's system menu. The desktop's window manager
  // owns that menu here and cannot show them; the commands stay reachable
  // through WM_SYSCOMMAND.
  void AppendSystemMenuItem(int id, const std::string& text);
  const std::vector<std::pair<int, std::string>>& SystemMenuItems() const { return systemMenu_; }

  // Pixels of a length in dialog units.
  int DluToPixelsX(int dlu) const;
  int DluToPixelsY(int dlu) const;

 protected:
  virtual int OnCreate() { return 0; }
  virtual bool OnInitDialog();
  virtual void DoDataExchange(DataExchange*) {}
  // The window procedure; the default dispatches to the handlers below.
  virtual std::intptr_t WindowProc(const Message& message);
  virtual void OnCommand(int id, int code);
  virtual void OnOK() { EndDialog(IDOK); }
  virtual void OnCancel() { EndDialog(IDCANCEL); }
  virtual void OnHScroll(int /*code*/, int /*position*/, int /*controlId*/) {}
  virtual void OnVScroll(int /*code*/, int /*position*/, int /*controlId*/) {}
  virtual void OnTimer(int /*id*/) {}
  virtual void OnMouseMove(unsigned /*flags*/, int /*x*/, int /*y*/) {}
  virtual void OnSysCommand(unsigned /*id*/, std::intptr_t /*lParam*/) {}
  virtual bool OnHelpInfo(int /*controlId*/) { return false; }
  virtual void OnContextMenu(int /*controlId*/, QPoint /*screenPosition*/) {}
  virtual void OnDestroy() {}
  // Messages that the default procedure does not dispatch (WM_APP and up,
  // the menu and move loops).
  virtual std::intptr_t OnOtherMessage(const Message&) { return 0; }
  // Enter pressed with the focus on `focusId`: a focused push button is
  // clicked, anything else sends IDOK.
  virtual void OnEnterKey(int focusId);

  // Qt side.
  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void reject() override;
  void accept() override;
  void customEvent(QEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void build();
  QWidget* makeControl(const ControlTemplate& control, QWidget* previous);
  void hookNotifications(const ControlTemplate& control, QWidget* widget);
  int controlAt(QPoint clientPosition) const;
  void sendMouseMove(QMouseEvent* event, QWidget* from);

  DialogTemplate template_;
  MenuTemplate menuTemplate_;
  bool hasMenu_ = false;
  bool created_ = false;
  bool ended_ = false;
  bool quitPosted_ = false;
  bool inModalLoop_ = false;
  int result_ = 0;
  double baseX_ = 6.0, baseY_ = 13.0;  // dialog base units in pixels
  QWidget* client_ = nullptr;
  QMenuBar* menuBar_ = nullptr;
  std::map<int, QWidget*> items_;
  std::vector<std::pair<int, QWidget*>> order_;  // controls in template order
  std::map<int, QTimer*> timers_;
  std::vector<std::pair<int, std::string>> systemMenu_;
  int captureId_ = 0;
  QPoint lastPosition_;
  bool positionKnown_ = false;
};

}  // namespace ui
