#include "platform/ui/popup_window.h"

#include <QGuiApplication>
#include <QMetaObject>
#include <QPainter>
#include <QScreen>
#include <QTimer>

namespace ui {

namespace {

// Kept above other windows: a window manager otherwise stacks the owner,
// mapped just after its popup, over it, and the popup is never seen.
constexpr Qt::WindowFlags kPopupFlags = Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint;

}  // namespace

PopupWindow::PopupWindow() : QWidget(nullptr, kPopupFlags) {}

PopupWindow::~PopupWindow() {
  for (auto& [id, timer] : timers_) timer->stop();
}

bool PopupWindow::CreatePopup(QWidget* owner, int x, int y, int width, int height) {
  if (owner) setParent(owner, kPopupFlags);
  setGeometry(x, y, width, height);
  if (OnCreate() == -1) return false;
  show();
  // The owner may map after its popup; the popup stays in front of it.
  QTimer::singleShot(0, this, [this] {
    if (!destroyed_) raise();
  });
  return true;
}

void PopupWindow::CenterWindow() {
  QRect area;
  QWidget* owner = parentWidget();
  if (owner && owner->isVisible()) {
    area = owner->frameGeometry();
  } else if (QScreen* screen = QGuiApplication::primaryScreen()) {
    area = screen->availableGeometry();
  }
  if (area.isNull()) return;
  move(area.x() + (area.width() - width()) / 2, area.y() + (area.height() - height()) / 2);
}

bool PopupWindow::SetTimer(int id, int milliseconds) {
  QTimer*& timer = timers_[id];
  if (!timer) {
    timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, [this, id] { OnTimer(id); });
  }
  timer->start(milliseconds);
  return true;
}

void PopupWindow::UpdateWindow() { repaint(); }

void PopupWindow::DestroyWindow() {
  if (destroyed_) return;
  destroyed_ = true;
  for (auto& [id, timer] : timers_) timer->stop();
  hide();
  QMetaObject::invokeMethod(this, [this] { PostNcDestroy(); }, Qt::QueuedConnection);
}

void PopupWindow::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  OnPaint(painter);
}

}  // namespace ui
