// The controls of a dialog built from a template, over Qt widgets. Each
// control reports what the user does to it through a notifier, in the
// codes of win_defs.h; changes made by code report nothing, except an
// edit's change notice, which also follows text set by code.
#pragma once

#include <QFrame>
#include <QScrollBar>
#include <QSlider>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <vector>

class QLineEdit;
class QToolButton;

namespace ui {

// Receives (scroll code, position) from a slider or a scroll bar.
using ScrollNotifier = std::function<void(int code, int position)>;

// What the slider and the scroll bar share over their Qt base (QSlider or
// QScrollBar): the notifier, a position and a range set by code without a
// report, the thumb position when the thumb is let go, and the end code when
// a key, a mouse button or a wheel turn that scrolled is over. The end code
// carries Position().
template <class Base>
class ScrollControl : public Base {
 public:
  explicit ScrollControl(Qt::Orientation orientation, QWidget* parent);
  void SetNotifier(ScrollNotifier notifier) { notifier_ = std::move(notifier); }
  virtual int Position() const = 0;
  // Moves the thumb without a report.
  void SetPosition(int position);
  void SetRange(int low, int high);
  // The mouse is dragging the thumb.
  bool HasCapture() const { return this->isSliderDown(); }

 protected:
  void keyReleaseEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;

  // Reports the scroll code of a Qt slider action.
  virtual void onAction(int action) = 0;
  void notify(int code, int position);
  // An end code is owed when the current key, click or wheel turn is over.
  bool pendingEnd_ = false;

 private:
  void endScroll();
  ScrollNotifier notifier_;
};

// A slider (trackbar). It moves its thumb itself and then reports: the line,
// page, top and bottom codes for keys and clicks on the channel, thumb
// tracking while the thumb is dragged, the thumb position when it is let go,
// and the end code when a key or a mouse button is released. Position()
// is where the thumb stands, also in the middle of a move.
class Slider : public ScrollControl<QSlider> {
 public:
  explicit Slider(Qt::Orientation orientation, QWidget* parent = nullptr);
  int Position() const override { return sliderPosition(); }

 protected:
  void onAction(int action) override;
};

// A scroll bar. Unlike the slider it does not move by itself: it reports
// the code and, for thumb moves, the position asked for, and the owner sets
// the position it wants.
class ScrollBar : public ScrollControl<QScrollBar> {
 public:
  explicit ScrollBar(Qt::Orientation orientation, QWidget* parent = nullptr);
  int Position() const override { return value(); }

 protected:
  void onAction(int action) override;

 private:
  bool inAction_ = false;
};

// Up and down (or left and right) arrows that step a number between a low
// and a high bound and write it into their buddy edit; the buddy's text is
// read first, so a number written there by code is where the next step
// starts. With arrow keys, Up and Down in the buddy step it too.
class UpDown : public QWidget {
 public:
  UpDown(Qt::Orientation orientation, QWidget* parent = nullptr);
  void SetBuddy(QLineEdit* buddy, bool setBuddyInt, bool arrowKeys);
  void SetRange(int low, int high);
  void SetPosition(int position);  // writes the buddy too
  int Position() const { return position_; }
  int Low() const { return low_; }
  int High() const { return high_; }
  // One step up (+1) or down (-1), as the arrows do.
  void Step(int delta);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void changeEvent(QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  bool vertical_ = true;
  QToolButton* more_;
  QToolButton* less_;
  QLineEdit* buddy_ = nullptr;
  bool setBuddyInt_ = false;
  bool arrowKeys_ = false;
  int low_ = 0, high_ = 100, position_ = 0;
};

// A static grey rectangle. It lets the mouse through to the dialog, as a
// static control does. A paint handler, when set, draws over the grey.
class GrayRect : public QFrame {
 public:
  explicit GrayRect(QWidget* parent = nullptr);
  void SetPaintHandler(std::function<void(QPainter&)> handler);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  std::function<void(QPainter&)> paint_;
};

// Where a picture source is shown: fills its parent and draws the latest
// picture of the source, stretched to its size. The source gives bottom-up
// rows of blue, green, red bytes. Repaint() may be called from any thread.
class VideoView : public QWidget {
 public:
  using Source = std::function<bool(std::vector<std::uint8_t>* pixels, int* width, int* height,
                                    int* stride)>;
  explicit VideoView(QWidget* parent);
  void SetSource(Source source);
  // Thread-safe: asks the GUI thread to repaint.
  void RequestRepaint();

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  Source source_;
  std::vector<std::uint8_t> pixels_;
};

}  // namespace ui
