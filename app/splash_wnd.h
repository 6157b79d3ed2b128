// The splash window: a borderless popup that shows the splash bitmap for
// 1.5 seconds while the main dialog starts, unless the command line asked
// for none.
#pragma once

#include <QImage>

#include "platform/ui/popup_window.h"

class CSplashWnd : public ui::PopupWindow {
 public:
  CSplashWnd();
  ~CSplashWnd() override;
  // Creates the window over `parent`; false without the bitmap.
  bool Create(QWidget* parent);

 protected:
  int OnCreate() override;
  void OnPaint(QPainter& painter) override;
  void OnTimer(int id) override;
  void PostNcDestroy() override;

 private:
  QImage m_bitmap;
};

// Set once from the command line.
extern bool g_splashEnabled;
// The one splash window, or null.
extern CSplashWnd* g_splashWnd;

void EnableSplashScreen(bool enable);
void ShowSplashScreen(QWidget* parent);
