#include "app/splash_wnd.h"

#include <QApplication>
#include <QPainter>

#include "app/resource_ids.h"
#include "platform/ui/application.h"

bool g_splashEnabled = false;
CSplashWnd* g_splashWnd = nullptr;

void EnableSplashScreen(bool enable) { g_splashEnabled = enable; }

void ShowSplashScreen(QWidget* parent) {
  if (!g_splashEnabled || g_splashWnd != nullptr) return;
  g_splashWnd = new CSplashWnd;
  if (!g_splashWnd->Create(parent))
    delete g_splashWnd;  // the destructor clears g_splashWnd
  else
    g_splashWnd->UpdateWindow();
}

CSplashWnd::CSplashWnd() { setCursor(Qt::ArrowCursor); }

CSplashWnd::~CSplashWnd() { g_splashWnd = nullptr; }

bool CSplashWnd::Create(QWidget* parent) {
  m_bitmap = ui::LoadBitmap(IDB_SPLASH);
  if (m_bitmap.isNull()) return false;
  return CreatePopup(parent, 0, 0, m_bitmap.width(), m_bitmap.height());
}

int CSplashWnd::OnCreate() {
  CenterWindow();
  SetTimer(1, 1500);
  return 0;
}

void CSplashWnd::OnPaint(QPainter& painter) {
  if (!m_bitmap.isNull()) painter.drawImage(0, 0, m_bitmap);
}

void CSplashWnd::OnTimer(int) {
  DestroyWindow();
  if (QWidget* main = parentWidget()) main->update();
}

void CSplashWnd::PostNcDestroy() { deleteLater(); }
