// Start-up: the application object runs the program inside InitInstance.
#include <QApplication>

#include <string>
#include <vector>

#include "app/enhancer_app.h"
#include "platform/report/message_report.h"
#include "platform/ui/services.h"

namespace {

// Errors of the lower layers (the level selection) in a message box.
void ReportInMessageBox(const char* text, const char* caption) {
  ui::GetServices().Beep();
  ui::GetServices().MessageBox(nullptr, text ? text : "", caption ? caption : "", ui::MB_OK | ui::MB_ICONERROR);
}

}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  report::setErrorReporter(&ReportInMessageBox);
  std::vector<std::string> arguments;
  for (int i = 1; i < argc; ++i) arguments.emplace_back(argv[i]);
  theApp.InitInstance(arguments);
  report::setErrorReporter(nullptr);
  return 0;
}
