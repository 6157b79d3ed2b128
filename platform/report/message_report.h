// Error messages of the lower layers that a user must see (the level
// selection's failure at start-up). By default they go to the standard error
// stream; the GUI installs a reporter that beeps and shows a message box.
#pragma once

namespace report {

// Shows one error message with its caption.
typedef void (*ErrorReporter)(const char* text, const char* caption);

// Installs the reporter; nullptr restores the standard-error reporter.
void setErrorReporter(ErrorReporter reporter);

// Reports through the installed reporter.
void showError(const char* text, const char* caption);

}  // namespace report
