#include "platform/ui/dialog.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QFontMetricsF>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QMoveEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QTimer>

#include <cmath>

#include "platform/ui/application.h"
#include "platform/ui/controls.h"
#include "platform/ui/data_exchange.h"
#include "platform/ui/services.h"

namespace ui {

namespace {

// A message queued for the window procedure.
class MessageEvent final : public QEvent {
 public:
  static QEvent::Type Kind() {
    static const QEvent::Type kind = static_cast<QEvent::Type>(QEvent::registerEventType());
    return kind;
  }
  explicit MessageEvent(const Message& m) : QEvent(Kind()), message(m) {}
  Message message;
};

// The dialogs' font names stand for the desktop's sans-serif face.
void SubstituteFonts() {
  static bool done = false;
  if (done) return;
  done = true;
  QFont::insertSubstitution(QStringLiteral("MS Sans Serif"), QStringLiteral("DejaVu Sans"));
  QFont::insertSubstitution(QStringLiteral("MS Shell Dlg"), QStringLiteral("DejaVu Sans"));
}

}  // namespace

Dialog::Dialog(const DialogTemplate& dialogTemplate, const MenuTemplate* menu, QWidget* parent)
    : QDialog(parent), template_(dialogTemplate) {
  if (menu) {
    menuTemplate_ = *menu;
    hasMenu_ = true;
  }
  setWindowTitle(QString::fromStdString(template_.caption));
  Qt::WindowFlags flags = Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
  if (template_.minimizeBox) flags |= Qt::WindowMinimizeButtonHint;
  setWindowFlags(flags);
  setSizeGripEnabled(false);
}

Dialog::~Dialog() {
  for (auto& [id, timer] : timers_) timer->stop();
}

int Dialog::DluToPixelsX(int dlu) const { return static_cast<int>(std::lround(dlu * baseX_ / 4.0)); }
int Dialog::DluToPixelsY(int dlu) const { return static_cast<int>(std::lround(dlu * baseY_ / 8.0)); }

void Dialog::build() {
  SubstituteFonts();
  QFont font(QString::fromStdString(template_.fontName.empty() ? "MS Sans Serif" : template_.fontName));
  font.setPointSizeF(template_.fontPoints > 0 ? template_.fontPoints : 8);
  setFont(font);
  // Dialog base units from the font, as the dialog manager measures them:
  // the average width of the 52 letters and the height of a line.
  const QFontMetricsF metrics(font);
  baseX_ = metrics.horizontalAdvance(
               QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) / 52.0;
  baseY_ = std::ceil(metrics.height());

  int menuHeight = 0;
  if (hasMenu_) {
    menuBar_ = new QMenuBar(this);
    for (const MenuPopupTemplate& popup : menuTemplate_.popups) {
      QMenu* menu = menuBar_->addMenu(QString::fromStdString(popup.caption));
      for (const MenuItemTemplate& item : popup.items) {
        if (item.caption.empty()) {
          menu->addSeparator();
          continue;
        }
        QAction* action = menu->addAction(QString::fromStdString(item.caption));
        const int command = item.command;
        connect(action, &QAction::triggered, this,
                [this, command] { SendMessage(WM_COMMAND, MakeWParam(static_cast<unsigned>(command), 0)); });
      }
      connect(menu, &QMenu::aboutToShow, this, [this] { SendMessage(WM_ENTERMENULOOP); });
      connect(menu, &QMenu::aboutToHide, this, [this] { SendMessage(WM_EXITMENULOOP); });
    }
    menuHeight = menuBar_->sizeHint().height();
  }

  const int clientWidth = DluToPixelsX(template_.width);
  const int clientHeight = DluToPixelsY(template_.height);
  client_ = new QWidget(this);
  client_->setGeometry(0, menuHeight, clientWidth, clientHeight);
  client_->setMouseTracking(true);
  client_->installEventFilter(this);
  if (menuBar_) menuBar_->setGeometry(0, 0, clientWidth, menuHeight);
  setFixedSize(clientWidth, clientHeight + menuHeight);

  QWidget* previous = nullptr;
  for (const ControlTemplate& control : template_.controls) {
    QWidget* widget = makeControl(control, previous);
    if (!widget) continue;
    widget->setGeometry(DluToPixelsX(control.x), DluToPixelsY(control.y),
                        control.width > 0 ? DluToPixelsX(control.width) : widget->sizeHint().width(),
                        DluToPixelsY(control.height));
    order_.emplace_back(control.id, widget);
    if (control.id > 0) items_[control.id] = widget;
    hookNotifications(control, widget);
    previous = widget;
  }
}

QWidget* Dialog::makeControl(const ControlTemplate& c, QWidget* previous) {
  const QString caption = QString::fromStdString(c.caption);
  switch (c.kind) {
    case ControlKind::Label: {
      auto* label = new QLabel(caption, client_);
      label->setTextFormat(Qt::PlainText);
      label->setWordWrap(true);
      label->setAlignment(((c.style & kRight) ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
      label->setAttribute(Qt::WA_TransparentForMouseEvents, true);
      return label;
    }
    case ControlKind::GroupBox: {
      auto* box = new QGroupBox(caption, client_);
      box->setAttribute(Qt::WA_TransparentForMouseEvents, true);
      box->setFocusPolicy(Qt::NoFocus);
      return box;
    }
    case ControlKind::GrayRect:
      return new GrayRect(client_);
    case ControlKind::Icon: {
      auto* label = new QLabel(client_);
      const QIcon icon = LoadIcon(c.iconId);
      if (!icon.isNull()) label->setPixmap(icon.pixmap(32, 32));
      label->setAttribute(Qt::WA_TransparentForMouseEvents, true);
      return label;
    }
    case ControlKind::PushButton: {
      auto* button = new QPushButton(caption, client_);
      button->setAutoDefault(false);
      button->setDefault((c.style & kDefaultButton) != 0);
      return button;
    }
    case ControlKind::CheckBox:
      return new QCheckBox(caption, client_);
    case ControlKind::RadioButton: {
      auto* radio = new QRadioButton(caption, client_);
      // Each group is exclusive on its own; a group runs from a button that
      // starts one to the next.
      QButtonGroup* group = nullptr;
      if (!(c.style & kGroup) && previous) {
        if (auto* before = qobject_cast<QRadioButton*>(previous)) group = before->group();
      }
      if (!group) {
        group = new QButtonGroup(this);
        group->setExclusive(true);
      }
      group->addButton(radio);
      return radio;
    }
    case ControlKind::Edit: {
      auto* edit = new QLineEdit(client_);
      edit->setReadOnly((c.style & kReadOnly) != 0);
      if (c.style & kCentre) edit->setAlignment(Qt::AlignCenter);
      if (c.style & kNumber)
        edit->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), edit));
      return edit;
    }
    case ControlKind::Slider: {
      auto* slider = new Slider(Qt::Horizontal, client_);
      if (c.style & kTicksTop) {
        slider->setTickPosition(QSlider::TicksAbove);
        slider->setTickInterval(1);
      } else {
        slider->setTickPosition(QSlider::NoTicks);
      }
      return slider;
    }
    case ControlKind::UpDown: {
      auto* upDown = new UpDown((c.style & kHorizontal) ? Qt::Horizontal : Qt::Vertical, client_);
      if (auto* buddy = qobject_cast<QLineEdit*>(previous))
        upDown->SetBuddy(buddy, (c.style & kSetBuddyInt) != 0, (c.style & kArrowKeys) != 0);
      return upDown;
    }
    case ControlKind::ScrollBar:
      return new ScrollBar((c.style & kVertical) ? Qt::Vertical : Qt::Horizontal, client_);
    case ControlKind::Progress: {
      auto* bar = new QProgressBar(client_);
      bar->setRange(0, 100);
      bar->setValue(0);
      bar->setTextVisible(false);
      return bar;
    }
  }
  return nullptr;
}

void Dialog::hookNotifications(const ControlTemplate& c, QWidget* widget) {
  const int id = c.id;
  if (id <= 0) return;
  auto command = [this, id](int code) {
    SendMessage(WM_COMMAND, MakeWParam(static_cast<unsigned>(id), static_cast<unsigned>(code)));
  };
  if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
    connect(button, &QAbstractButton::clicked, this, [command] { command(BN_CLICKED); });
    button->setContextMenuPolicy(Qt::NoContextMenu);
  } else if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
    // Also when code sets the text, as an edit's change notice does.
    connect(edit, &QLineEdit::textChanged, this, [command] { command(EN_CHANGE); });
  } else if (auto* slider = dynamic_cast<Slider*>(widget)) {
    slider->setContextMenuPolicy(Qt::NoContextMenu);
    slider->SetNotifier([this, id](int code, int position) {
      SendMessage(WM_HSCROLL, MakeWParam(static_cast<unsigned>(code), static_cast<unsigned>(position)), id);
    });
  } else if (auto* bar = dynamic_cast<ScrollBar*>(widget)) {
    const unsigned message = bar->orientation() == Qt::Vertical ? WM_VSCROLL : WM_HSCROLL;
    bar->SetNotifier([this, id, message](int code, int position) {
      SendMessage(message, MakeWParam(static_cast<unsigned>(code), static_cast<unsigned>(position)), id);
    });
  } else {
    widget->setContextMenuPolicy(Qt::NoContextMenu);
  }
}

bool Dialog::OnInitDialog() {
  UpdateData(false);
  return true;
}

bool Dialog::Create() {
  if (created_) return true;
  build();
  created_ = true;
  if (SendMessage(WM_CREATE) == -1) return false;
  const bool setFocus = OnInitDialog();
  show();
  if (setFocus && !QApplication::focusWidget()) focusNextChild();
  return true;
}

int Dialog::DoModal() {
  if (!created_) {
    build();
    created_ = true;
    if (SendMessage(WM_CREATE) == -1) return -1;
    OnInitDialog();
  }
  if (!ended_) {
    setWindowModality(Qt::ApplicationModal);
    inModalLoop_ = true;
    GetServices().RunModal(this);
    inModalLoop_ = false;
  }
  DestroyWindow();
  return result_;
}

bool Dialog::DestroyWindow() {
  if (!created_) return false;
  SendMessage(WM_DESTROY);
  for (auto& [id, timer] : timers_) timer->stop();
  ReleaseCapture();
  ended_ = true;
  hide();
  created_ = false;
  return true;
}

void Dialog::EndDialog(int result) {
  result_ = result;
  ended_ = true;
  if (inModalLoop_)
    done(result);
  else
    hide();
}

void Dialog::PostQuitMessage(int exitCode) {
  quitPosted_ = true;
  EndDialog(exitCode);
}

std::intptr_t Dialog::SendMessage(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) {
  return WindowProc(Message{message, wParam, lParam});
}

void Dialog::PostMessage(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) {
  QCoreApplication::postEvent(this, new MessageEvent(Message{message, wParam, lParam}));
}

void Dialog::customEvent(QEvent* event) {
  if (event->type() == MessageEvent::Kind()) {
    WindowProc(static_cast<MessageEvent*>(event)->message);
    return;
  }
  QDialog::customEvent(event);
}

std::intptr_t Dialog::WindowProc(const Message& m) {
  switch (m.message) {
    case WM_CREATE:
      return OnCreate();
    case WM_DESTROY:
      OnDestroy();
      return 0;
    case WM_COMMAND:
      OnCommand(static_cast<int>(LoWord(m.wParam)), static_cast<int>(HiWord(m.wParam)));
      return 0;
    case WM_HSCROLL:
      OnHScroll(static_cast<int>(LoWord(m.wParam)), static_cast<int>(HiWord(m.wParam)),
                static_cast<int>(m.lParam));
      return 0;
    case WM_VSCROLL:
      OnVScroll(static_cast<int>(LoWord(m.wParam)), static_cast<int>(HiWord(m.wParam)),
                static_cast<int>(m.lParam));
      return 0;
    case WM_TIMER:
      OnTimer(static_cast<int>(m.wParam));
      return 0;
    case WM_MOUSEMOVE:
      OnMouseMove(static_cast<unsigned>(m.wParam), static_cast<int>(LoWord(static_cast<std::uintptr_t>(m.lParam))),
                  static_cast<std::int16_t>(HiWord(static_cast<std::uintptr_t>(m.lParam))));
      return 0;
    case WM_SYSCOMMAND:
      OnSysCommand(static_cast<unsigned>(m.wParam), m.lParam);
      return 0;
    case WM_HELP:
      return OnHelpInfo(static_cast<int>(m.lParam)) ? 1 : 0;
    case WM_CONTEXTMENU:
      OnContextMenu(static_cast<int>(m.wParam),
                    QPoint(static_cast<std::int16_t>(LoWord(static_cast<std::uintptr_t>(m.lParam))),
                           static_cast<std::int16_t>(HiWord(static_cast<std::uintptr_t>(m.lParam)))));
      return 0;
    default:
      return OnOtherMessage(m);
  }
}

void Dialog::OnCommand(int id, int) {
  if (id == IDOK) OnOK();
  else if (id == IDCANCEL) OnCancel();
}

void Dialog::OnEnterKey(int focusId) {
  if (auto* button = qobject_cast<QPushButton*>(GetDlgItem(focusId))) {
    if (button->isEnabled()) button->click();
    return;
  }
  SendMessage(WM_COMMAND, MakeWParam(IDOK, BN_CLICKED));
}

void Dialog::keyPressEvent(QKeyEvent* event) {
  if (InMessagePump()) {
    event->ignore();
    return;
  }
  const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
  switch (event->key()) {
    case Qt::Key_Escape:
      if (mods == Qt::NoModifier) {
        SendMessage(WM_COMMAND, MakeWParam(IDCANCEL, BN_CLICKED));
        return;
      }
      break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      if (mods == Qt::NoModifier) {
        OnEnterKey(FocusId());
        return;
      }
      break;
    case Qt::Key_F1:
      if (mods == Qt::NoModifier) {
        SendMessage(WM_HELP, 0, FocusId());
        return;
      }
      break;
    default:
      break;
  }
  QWidget::keyPressEvent(event);
}

void Dialog::closeEvent(QCloseEvent* event) {
  if (ended_ || !created_) {
    event->accept();
    return;
  }
  // The close box is the Cancel command.
  event->ignore();
  SendMessage(WM_COMMAND, MakeWParam(IDCANCEL, BN_CLICKED));
}

void Dialog::reject() {
  if (ended_) {
    QDialog::reject();
    return;
  }
  SendMessage(WM_COMMAND, MakeWParam(IDCANCEL, BN_CLICKED));
}

void Dialog::accept() {
  if (ended_) {
    QDialog::accept();
    return;
  }
  SendMessage(WM_COMMAND, MakeWParam(IDOK, BN_CLICKED));
}

void Dialog::contextMenuEvent(QContextMenuEvent* event) {
  const QPoint clientPosition = client_ ? client_->mapFrom(this, event->pos()) : event->pos();
  const int id = controlAt(clientPosition);
  SendMessage(WM_CONTEXTMENU, static_cast<std::uintptr_t>(id),
              MakeLParam(event->globalPos().x(), event->globalPos().y()));
  event->accept();
}

void Dialog::moveEvent(QMoveEvent* event) {
  // A move of the shown window by the user is a move loop, begun and ended.
  if (isVisible() && event->spontaneous() && positionKnown_ && event->pos() != lastPosition_) {
    SendMessage(WM_ENTERSIZEMOVE);
    SendMessage(WM_EXITSIZEMOVE);
  }
  if (isVisible()) {
    lastPosition_ = event->pos();
    positionKnown_ = true;
  }
  QDialog::moveEvent(event);
}

bool Dialog::eventFilter(QObject* watched, QEvent* event) {
  if (watched == client_ && event->type() == QEvent::MouseMove) {
    auto* mouse = static_cast<QMouseEvent*>(event);
    unsigned flags = 0;
    if (mouse->buttons() & Qt::LeftButton) flags |= MK_LBUTTON;
    if (mouse->buttons() & Qt::RightButton) flags |= MK_RBUTTON;
    const QPoint p = mouse->position().toPoint();
    SendMessage(WM_MOUSEMOVE, flags, MakeLParam(p.x(), p.y()));
  }
  return QDialog::eventFilter(watched, event);
}

int Dialog::controlAt(QPoint p) const {
  for (auto it = order_.rbegin(); it != order_.rend(); ++it) {
    if (it->first <= 0 || !it->second->isVisible()) continue;
    if (qobject_cast<QGroupBox*>(it->second)) continue;
    if (it->second->geometry().contains(p)) return it->first;
  }
  return 0;
}

QWidget* Dialog::GetDlgItem(int id) const {
  auto it = items_.find(id);
  return it == items_.end() ? nullptr : it->second;
}

int Dialog::ControlId(const QWidget* widget) const {
  for (const QWidget* w = widget; w && w != this; w = w->parentWidget())
    for (const auto& [id, item] : items_)
      if (item == w) return id;
  return 0;
}

void Dialog::EnableItem(int id, bool enable) {
  if (QWidget* w = GetDlgItem(id)) w->setEnabled(enable);
}

bool Dialog::IsItemEnabled(int id) const {
  QWidget* w = GetDlgItem(id);
  return w && w->isEnabled();
}

void Dialog::SetItemText(int id, const std::string& text) {
  QWidget* w = GetDlgItem(id);
  const QString t = QString::fromStdString(text);
  if (auto* edit = qobject_cast<QLineEdit*>(w)) edit->setText(t);
  else if (auto* button = qobject_cast<QAbstractButton*>(w)) button->setText(t);
  else if (auto* label = qobject_cast<QLabel*>(w)) label->setText(t);
  else if (auto* box = qobject_cast<QGroupBox*>(w)) box->setTitle(t);
}

std::string Dialog::ItemText(int id) const {
  QWidget* w = GetDlgItem(id);
  if (auto* edit = qobject_cast<QLineEdit*>(w)) return edit->text().toStdString();
  if (auto* button = qobject_cast<QAbstractButton*>(w)) return button->text().toStdString();
  if (auto* label = qobject_cast<QLabel*>(w)) return label->text().toStdString();
  if (auto* box = qobject_cast<QGroupBox*>(w)) return box->title().toStdString();
  return {};
}

void Dialog::CheckButton(int id, bool checked) {
  if (auto* button = qobject_cast<QAbstractButton*>(GetDlgItem(id))) button->setChecked(checked);
}

bool Dialog::IsButtonChecked(int id) const {
  auto* button = qobject_cast<QAbstractButton*>(GetDlgItem(id));
  return button && button->isChecked();
}

int Dialog::FocusId() const {
  QWidget* focus = QApplication::focusWidget();
  if (!focus || focus->window() != this) focus = focusWidget();
  return ControlId(focus);
}

void Dialog::SetFocusTo(int id) {
  if (QWidget* w = GetDlgItem(id)) w->setFocus(Qt::OtherFocusReason);
}

QRect Dialog::ItemRect(int id) const {
  QWidget* w = GetDlgItem(id);
  return w ? w->geometry() : QRect();
}

void Dialog::SetButtonStyle(int id, unsigned style) {
  if (auto* button = qobject_cast<QPushButton*>(GetDlgItem(id))) {
    button->setDefault((style & 0x0Fu) == 1u);
    button->update();
  }
}

int Dialog::CaptureId() const {
  if (captureId_ != 0) return captureId_;
  for (const auto& [id, w] : items_) {
    if (auto* slider = dynamic_cast<Slider*>(w); slider && slider->HasCapture()) return id;
    if (auto* bar = dynamic_cast<ScrollBar*>(w); bar && bar->HasCapture()) return id;
  }
  return 0;
}

void Dialog::SetCapture(int id) {
  ReleaseCapture();
  if (QWidget* w = GetDlgItem(id)) {
    captureId_ = id;
    if (w->isVisible()) w->grabMouse();
  }
}

void Dialog::ReleaseCapture() {
  if (captureId_ == 0) return;
  if (QWidget* w = GetDlgItem(captureId_)) {
    if (QWidget::mouseGrabber() == w) w->releaseMouse();
  }
  captureId_ = 0;
}

bool Dialog::SetTimer(int id, int milliseconds) {
  if (milliseconds < 0) return false;
  QTimer*& timer = timers_[id];
  if (!timer) {
    timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, [this, id] { SendMessage(WM_TIMER, static_cast<std::uintptr_t>(id)); });
  }
  timer->start(milliseconds);
  return true;
}

bool Dialog::KillTimer(int id) {
  auto it = timers_.find(id);
  if (it == timers_.end() || !it->second->isActive()) return false;
  it->second->stop();
  return true;
}

bool Dialog::TimerRunning(int id) const {
  auto it = timers_.find(id);
  return it != timers_.end() && it->second->isActive();
}

bool Dialog::UpdateData(bool saveAndValidate) {
  DataExchange exchange(this, saveAndValidate);
  try {
    DoDataExchange(&exchange);
  } catch (const DataExchangeFailure&) {
    return false;
  }
  return true;
}

void Dialog::AppendSystemMenuItem(int id, const std::string& text) { systemMenu_.emplace_back(id, text); }

}  // namespace ui
