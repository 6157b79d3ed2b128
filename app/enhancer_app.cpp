#include "app/enhancer_app.h"

#include "app/enhancer_dlg.h"
#include "app/resources.h"
#include "app/splash_wnd.h"
#include "primitives/primitives.h"

CEnhancerApp theApp;

CEnhancerApp::~CEnhancerApp() { ui::SetPreTranslateMessage(nullptr); }

bool CEnhancerApp::InitInstance(const std::vector<std::string>& arguments) {
  SelectVpLevel();  // a failure reports itself; the plain level stays bound

  RegisterResources();
  ui::SetApplicationTitle(kApplicationTitle);

  ui::CommandLineInfo commandLine;
  ui::ParseCommandLine(arguments, &commandLine);
  EnableSplashScreen(commandLine.m_bShowSplash);

  m_hAccel = &MainAccelerators();
  ui::SetPreTranslateMessage([this](const ui::KeyMessage& m) { return PreTranslateMessage(m); });

  {
    CEnhancerDlg dialog;
    m_pMainWnd = &dialog;
    dialog.DoModal();
    m_pMainWnd = nullptr;
  }
  ui::SetPreTranslateMessage(nullptr);
  return false;
}

bool CEnhancerApp::PreTranslateMessage(const ui::KeyMessage& message) {
  return m_hAccel != nullptr && ui::TranslateAccelerator(m_pMainWnd, m_hAccel, message);
}
