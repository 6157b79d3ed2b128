// A borderless popup window owned by another window (a splash window): it
// paints itself, has timers, centres itself, and is destroyed on request.
#pragma once

#include <QWidget>

#include <map>

class QTimer;

namespace ui {

class PopupWindow : public QWidget {
 public:
  PopupWindow();
  ~PopupWindow() override;
  PopupWindow(const PopupWindow&) = delete;
  PopupWindow& operator=(const PopupWindow&) = delete;

  // Creates the window at (x, y) with the given size, owned by `owner` (may
  // be null), runs OnCreate and shows it. False when OnCreate refuses.
  bool CreatePopup(QWidget* owner, int x, int y, int width, int height);
  // Centres the window on its owner while the owner is visible, else on
  // the screen.
  void CenterWindow();
  bool SetTimer(int id, int milliseconds);
  // Paints now.
  void UpdateWindow();
  // Hides the window, then runs PostNcDestroy from the event loop.
  void DestroyWindow();
  bool Destroyed() const { return destroyed_; }

 protected:
  virtual int OnCreate() { return 0; }
  virtual void OnPaint(QPainter&) {}
  virtual void OnTimer(int /*id*/) {}
  // After the window is gone; an object that deletes itself does so here.
  virtual void PostNcDestroy() {}

  void paintEvent(QPaintEvent* event) override;

 private:
  std::map<int, QTimer*> timers_;
  bool destroyed_ = false;
};

}  // namespace ui
