#include "platform/ui/controls.h"

#include <QEvent>
#include <QImage>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMetaObject>
#include <QMouseEvent>
#include <QPainter>
#include <QToolButton>
#include <QWheelEvent>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "platform/ui/win_defs.h"

namespace ui {

namespace {

// The scroll code of a Qt slider action; -1 for none.
int ScrollCode(int action) {
  switch (action) {
    case QAbstractSlider::SliderSingleStepSub: return SB_LINEUP;
    case QAbstractSlider::SliderSingleStepAdd: return SB_LINEDOWN;
    case QAbstractSlider::SliderPageStepSub: return SB_PAGEUP;
    case QAbstractSlider::SliderPageStepAdd: return SB_PAGEDOWN;
    case QAbstractSlider::SliderToMinimum: return SB_TOP;
    case QAbstractSlider::SliderToMaximum: return SB_BOTTOM;
    case QAbstractSlider::SliderMove: return SB_THUMBTRACK;
    default: return -1;
  }
}

bool IsNavigationKey(int key) {
  switch (key) {
    case Qt::Key_Left: case Qt::Key_Right: case Qt::Key_Up: case Qt::Key_Down:
    case Qt::Key_PageUp: case Qt::Key_PageDown: case Qt::Key_Home: case Qt::Key_End:
      return true;
    default:
      return false;
  }
}

}  // namespace

// ---------------------------------------------------------------- ScrollControl

template <class Base>
ScrollControl<Base>::ScrollControl(Qt::Orientation orientation, QWidget* parent) : Base(orientation, parent) {
  this->connect(this, &QAbstractSlider::actionTriggered, this, [this](int action) { onAction(action); });
  this->connect(this, &QAbstractSlider::sliderReleased, this, [this] {
    notify(SB_THUMBPOSITION, this->sliderPosition());
    pendingEnd_ = true;
  });
}

template <class Base>
void ScrollControl<Base>::SetPosition(int position) {
  const QSignalBlocker block(this);
  this->setValue(position);
}

template <class Base>
void ScrollControl<Base>::SetRange(int low, int high) {
  const QSignalBlocker block(this);
  this->setRange(std::min(low, high), std::max(low, high));
}

template <class Base>
void ScrollControl<Base>::notify(int code, int position) {
  if (notifier_) notifier_(code, position);
}

template <class Base>
void ScrollControl<Base>::endScroll() {
  if (pendingEnd_) {
    pendingEnd_ = false;
    notify(SB_ENDSCROLL, Position());
  }
}

template <class Base>
void ScrollControl<Base>::keyReleaseEvent(QKeyEvent* event) {
  Base::keyReleaseEvent(event);
  if (!event->isAutoRepeat() && IsNavigationKey(event->key())) endScroll();
}

template <class Base>
void ScrollControl<Base>::mousePressEvent(QMouseEvent* event) {
  pendingEnd_ = false;
  Base::mousePressEvent(event);
}

template <class Base>
void ScrollControl<Base>::mouseReleaseEvent(QMouseEvent* event) {
  Base::mouseReleaseEvent(event);
  endScroll();
}

template <class Base>
void ScrollControl<Base>::wheelEvent(QWheelEvent* event) {
  pendingEnd_ = false;
  Base::wheelEvent(event);
  endScroll();
}

template class ScrollControl<QSlider>;
template class ScrollControl<QScrollBar>;

// ---------------------------------------------------------------- Slider

Slider::Slider(Qt::Orientation orientation, QWidget* parent) : ScrollControl(orientation, parent) {
  setRange(0, 100);  // a new slider's range
  setPageStep(20);
  setSingleStep(1);
  setTracking(true);
  setFocusPolicy(Qt::StrongFocus);
}

void Slider::onAction(int action) {
  const int code = ScrollCode(action);
  if (code < 0) return;
  // The thumb has moved already (sliderPosition); the value follows.
  notify(code, sliderPosition());
  if (code != SB_THUMBTRACK) pendingEnd_ = true;
}

// ---------------------------------------------------------------- ScrollBar

ScrollBar::ScrollBar(Qt::Orientation orientation, QWidget* parent) : ScrollControl(orientation, parent) {
  // Nothing to scroll until the owner sets a range.
  setRange(0, 0);
  setPageStep(1);
  setSingleStep(1);
  setContextMenuPolicy(Qt::NoContextMenu);
}

void ScrollBar::onAction(int action) {
  const int code = ScrollCode(action);
  if (code < 0 || inAction_) return;
  inAction_ = true;
  // Where the action would go; the bar itself stays until the owner moves it.
  const int asked = sliderPosition();
  setSliderPosition(value());
  notify(code, asked);
  if (code != SB_THUMBTRACK) pendingEnd_ = true;
  inAction_ = false;
}

// ---------------------------------------------------------------- UpDown

UpDown::UpDown(Qt::Orientation orientation, QWidget* parent) : QWidget(parent) {
  more_ = new QToolButton(this);
  less_ = new QToolButton(this);
  const bool vertical = orientation == Qt::Vertical;
  more_->setArrowType(vertical ? Qt::UpArrow : Qt::RightArrow);
  less_->setArrowType(vertical ? Qt::DownArrow : Qt::LeftArrow);
  for (QToolButton* b : {more_, less_}) {
    b->setAutoRepeat(true);
    b->setFocusPolicy(Qt::NoFocus);
    b->setAutoRaise(false);
  }
  connect(more_, &QToolButton::clicked, this, [this] { Step(+1); });
  connect(less_, &QToolButton::clicked, this, [this] { Step(-1); });
  setFocusPolicy(Qt::NoFocus);
  vertical_ = vertical;
}

void UpDown::SetBuddy(QLineEdit* buddy, bool setBuddyInt, bool arrowKeys) {
  if (buddy_) buddy_->removeEventFilter(this);
  buddy_ = buddy;
  setBuddyInt_ = setBuddyInt;
  arrowKeys_ = arrowKeys;
  if (buddy_ && arrowKeys_) buddy_->installEventFilter(this);
}

void UpDown::SetRange(int low, int high) {
  low_ = std::min(low, high);
  high_ = std::max(low, high);
  position_ = std::clamp(position_, low_, high_);
}

void UpDown::SetPosition(int position) {
  position_ = std::clamp(position, low_, high_);
  if (buddy_ && setBuddyInt_) {
    char text[16];
    std::snprintf(text, sizeof text, "%d", position_);
    buddy_->setText(QString::fromLatin1(text));
  }
}

void UpDown::Step(int delta) {
  if (!isEnabled()) return;
  int current = position_;
  if (buddy_ && setBuddyInt_) {
    // The buddy's number, when it holds one, is where the step starts.
    const QByteArray text = buddy_->text().toLatin1();
    char* end = nullptr;
    const long long value = std::strtoll(text.constData(), &end, 10);
    if (end != text.constData()) current = static_cast<int>(std::clamp<long long>(value, low_, high_));
  }
  const long long next = std::clamp<long long>(static_cast<long long>(current) + delta, low_, high_);
  SetPosition(static_cast<int>(next));
}

bool UpDown::eventFilter(QObject* watched, QEvent* event) {
  if (watched == buddy_ && event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->modifiers() == Qt::NoModifier || key->modifiers() == Qt::KeypadModifier) {
      if (key->key() == Qt::Key_Up) {
        Step(+1);
        return true;
      }
      if (key->key() == Qt::Key_Down) {
        Step(-1);
        return true;
      }
    }
  }
  return QWidget::eventFilter(watched, event);
}

void UpDown::resizeEvent(QResizeEvent*) {
  // The two arrows share the control.
  const int w = width(), h = height();
  if (vertical_) {
    more_->setGeometry(0, 0, w, h / 2);
    less_->setGeometry(0, h / 2, w, h - h / 2);
  } else {
    less_->setGeometry(0, 0, w / 2, h);
    more_->setGeometry(w / 2, 0, w - w / 2, h);
  }
}

void UpDown::changeEvent(QEvent* event) {
  if (event->type() == QEvent::EnabledChange) {
    more_->setEnabled(isEnabled());
    less_->setEnabled(isEnabled());
  }
  QWidget::changeEvent(event);
}

// ---------------------------------------------------------------- GrayRect

GrayRect::GrayRect(QWidget* parent) : QFrame(parent) {
  setAttribute(Qt::WA_TransparentForMouseEvents, true);
  setFrameShape(QFrame::NoFrame);
}

void GrayRect::SetPaintHandler(std::function<void(QPainter&)> handler) {
  paint_ = std::move(handler);
  update();
}

void GrayRect::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), QColor(128, 128, 128));
  if (paint_) paint_(painter);
}

// ---------------------------------------------------------------- VideoView

VideoView::VideoView(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_TransparentForMouseEvents, true);
  setAttribute(Qt::WA_OpaquePaintEvent, true);
  if (parent) setGeometry(parent->rect());
}

void VideoView::SetSource(Source source) {
  source_ = std::move(source);
  update();
}

void VideoView::RequestRepaint() {
  QMetaObject::invokeMethod(this, [this] { update(); }, Qt::QueuedConnection);
}

void VideoView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  int width = 0, height = 0, stride = 0;
  if (!source_ || !source_(&pixels_, &width, &height, &stride) || width <= 0 || height <= 0 ||
      stride < width * 3 || pixels_.size() < static_cast<std::size_t>(stride) * height) {
    painter.fillRect(rect(), Qt::black);
    return;
  }
  // Bottom-up rows: the last stored row is the top of the picture.
  const QImage bottomUp(pixels_.data(), width, height, stride, QImage::Format_BGR888);
  const QImage picture = bottomUp.mirrored(false, true);
  painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
  painter.drawImage(rect(), picture);
}

}  // namespace ui
