// The modal services of the UI layer: message boxes, the open and save file
// dialogs, the clipboard, the help engine and the beep. The program reaches
// them through one installed object; tests install a recording fake so that
// nothing modal ever waits for a user.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/ui/win_defs.h"

class QDialog;
class QWidget;

namespace ui {

// One line of a file dialog's filter list: the text shown and the patterns
// it stands for ("*.avi; *.qt" or "*.jpg;*.jpeg").
struct FileFilter {
  std::string name;
  std::string patterns;
};

struct FileDialogRequest {
  bool save = false;
  std::string title;                 // empty: the platform's default title
  std::vector<FileFilter> filters;
  int filterIndex = 1;               // 1-based
  std::string defaultExtension;      // without the dot; "*" or empty for none
  std::string initialDirectory;      // empty: where the dialog was last left
  bool promptOverwrite = false;      // save: ask before replacing a file
  bool mustExist = false;            // open: the file must exist
};

// One pair of the context-help table: a control and its help topic.
struct HelpIdPair {
  std::uint32_t controlId;
  std::uint32_t helpId;
};

class Services {
 public:
  virtual ~Services() = default;

  // Shows a message box and returns the button that closed it (IDOK).
  virtual int MessageBox(QWidget* owner, const std::string& text, const std::string& caption,
                         unsigned style) = 0;
  // Runs a file dialog; true with the chosen path.
  virtual bool ChooseFile(QWidget* owner, const FileDialogRequest& request, std::string* path) = 0;
  // Puts a device-independent bitmap (a 40-byte information header, the
  // palette, bottom-up rows padded to 4 bytes) on the clipboard.
  virtual bool SetClipboardDib(const std::uint8_t* dib, std::size_t size) = 0;
  // A request to the help engine (HELP_CONTEXT, HELP_QUIT) with the help
  // file's path; false when no help engine could be started.
  virtual bool WinHelp(const std::string& helpFile, unsigned command, std::uint32_t data) = 0;
  // Context help for one control (HELP_WM_HELP for F1, HELP_CONTEXTMENU for a
  // right click) from the table of topics; `control` may be null.
  virtual bool ContextHelp(QWidget* control, unsigned command, std::uint32_t controlId,
                           const std::vector<HelpIdPair>& table) = 0;
  virtual void Beep() = 0;
  // Runs a created dialog's modal loop until the dialog ends; returns its
  // end code.
  virtual int RunModal(QDialog* dialog) = 0;
};

// The installed services; the Qt ones until something else is installed.
Services& GetServices();
// Installs `services` (not owned); nullptr restores the Qt ones.
void SetServices(Services* services);

// The application's title: the caption of AfxMessageBox-style messages.
void SetApplicationTitle(const std::string& title);
const std::string& ApplicationTitle();

// A message box captioned with the application's title, owned by the
// active window.
int AfxMessageBox(const std::string& text, unsigned style = MB_OK);

// Texts of the context-help topics, by help identifier; the Qt services show
// them as What's This texts. Topics without a text show nothing.
void SetHelpTopics(const std::vector<std::pair<std::uint32_t, std::string>>& topics);
const std::string* HelpTopic(std::uint32_t helpId);

// Turns a filter list into the form the Qt file dialog reads:
// "name (pattern pattern)" per line, the name shown as given.
std::string QtFilterString(const FileFilter& filter);

}  // namespace ui
