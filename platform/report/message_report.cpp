#include "platform/report/message_report.h"

#include <cstdio>

namespace report {

namespace {

void writeToStandardError(const char* text, const char* caption) {
    std::fprintf(stderr, "%s: %s\n", caption ? caption : "", text ? text : "");
    std::fflush(stderr);
}

ErrorReporter installed = &writeToStandardError;

}  // namespace

void setErrorReporter(ErrorReporter reporter) { installed = reporter ? reporter : &writeToStandardError; }

void showError(const char* text, const char* caption) { installed(text, caption); }

}  // namespace report
