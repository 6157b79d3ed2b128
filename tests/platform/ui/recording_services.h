// A stand-in for the UI layer's modal services that records every request
// and answers from fields set by the test; nothing modal ever waits.
#pragma once

#include <QDialog>
#include <QWidget>

#include <functional>
#include <string>
#include <vector>

#include "platform/ui/services.h"

namespace uitest {

class RecordingServices : public ui::Services {
 public:
  struct Box {
    std::string text, caption;
    unsigned style;
  };
  struct Help {
    unsigned command;
    std::uint32_t data;
  };
  struct ContextHelpCall {
    unsigned command;
    std::uint32_t controlId;
    bool hasControl;
  };

  std::vector<Box> boxes;
  std::vector<ui::FileDialogRequest> fileRequests;
  std::vector<std::string> filesToChoose;  // taken in order; empty: cancelled
  std::vector<std::vector<std::uint8_t>> clipboard;
  bool clipboardWorks = true;
  std::vector<Help> helps;
  bool helpWorks = false;
  std::vector<ContextHelpCall> contextHelps;
  int beeps = 0;
  std::vector<std::string> modalDialogs;  // window titles of dialogs run modally
  // Runs while a dialog is "modal"; the dialog is created but not shown.
  std::function<int(QDialog*)> onModal;
  // Runs while a message box is "shown", after it was recorded.
  std::function<void(const Box&)> onBox;

  RecordingServices() { ui::SetServices(this); }
  ~RecordingServices() override { ui::SetServices(nullptr); }

  int MessageBox(QWidget*, const std::string& text, const std::string& caption, unsigned style) override {
    boxes.push_back({text, caption, style});
    if (onBox) onBox(boxes.back());
    return ui::IDOK;
  }
  bool ChooseFile(QWidget*, const ui::FileDialogRequest& request, std::string* path) override {
    fileRequests.push_back(request);
    if (filesToChoose.empty()) return false;
    *path = filesToChoose.front();
    filesToChoose.erase(filesToChoose.begin());
    return true;
  }
  bool SetClipboardDib(const std::uint8_t* dib, std::size_t size) override {
    if (!clipboardWorks) return false;
    clipboard.emplace_back(dib, dib + size);
    return true;
  }
  bool WinHelp(const std::string&, unsigned command, std::uint32_t data) override {
    helps.push_back({command, data});
    return helpWorks || command == ui::HELP_QUIT;
  }
  bool ContextHelp(QWidget* control, unsigned command, std::uint32_t controlId,
                   const std::vector<ui::HelpIdPair>&) override {
    contextHelps.push_back({command, controlId, control != nullptr});
    return true;
  }
  void Beep() override { ++beeps; }
  int RunModal(QDialog* dialog) override {
    modalDialogs.push_back(dialog->windowTitle().toStdString());
    return onModal ? onModal(dialog) : ui::IDOK;
  }
};

}  // namespace uitest
