// The application object: binds the pixel primitives to the processor,
// reads the command line, installs the accelerators and runs the main
// dialog modally; the program ends when the dialog closes.
#pragma once

#include <string>
#include <vector>

#include "platform/ui/application.h"
#include "platform/ui/dialog_template.h"

class CEnhancerDlg;

class CEnhancerApp {
 public:
  CEnhancerApp() = default;
  ~CEnhancerApp();
  CEnhancerApp(const CEnhancerApp&) = delete;
  CEnhancerApp& operator=(const CEnhancerApp&) = delete;

  // Runs the whole program; returns false (there is no message loop after
  // the dialog).
  bool InitInstance(const std::vector<std::string>& arguments);
  // Every key press of the program passes here first; true when it was
  // consumed as an accelerator.
  bool PreTranslateMessage(const ui::KeyMessage& message);

  // The accelerator table; null until InitInstance loads it.
  const ui::AcceleratorTable* m_hAccel = nullptr;
  // The main window while the dialog runs.
  CEnhancerDlg* m_pMainWnd = nullptr;
};

extern CEnhancerApp theApp;
