// Program-wide services of the UI layer: the pre-translation of every key
// press (where the accelerators act), the message pump of long operations,
// the command line, and the bitmap and icon resources.
#pragma once

#include <QIcon>
#include <QImage>

#include <functional>
#include <string>
#include <vector>

#include "platform/ui/dialog_template.h"

class QObject;

namespace ui {

class Dialog;

// A key press on its way to the widget that has the focus.
struct KeyMessage {
  QObject* receiver = nullptr;
  int key = 0;               // Qt key code; letters are their upper-case character
  unsigned modifiers = 0;    // AcceleratorModifier bits
  bool autoRepeat = false;
};

// The hook that sees every key press of the program before its receiver
// does (the application's message pre-translation); returning true consumes
// the key. Installs the program-wide filter on first use; an empty function
// removes the hook.
void SetPreTranslateMessage(std::function<bool(const KeyMessage&)> hook);

// Applies an accelerator table for `window`: when the key was pressed inside
// that window and matches an entry (key and exact modifiers), sends its
// command as WM_COMMAND and returns true.
bool TranslateAccelerator(Dialog* window, const AcceleratorTable* table, const KeyMessage& message);

// Handles every pending event without the pre-translation and without the
// dialogs' own keys (Enter, Escape, F1), as the progress pump of a long
// operation does.
void PumpPendingMessages();
bool InMessagePump();

// The standard command-line parse: "Embedding" or "Automation" after "/" or
// "-", in any letter case, turns the splash window off; nothing else on the
// command line has an effect.
struct CommandLineInfo {
  bool m_bShowSplash = true;
};
void ParseCommandLine(const std::vector<std::string>& arguments, CommandLineInfo* info);

// Resources made by the program: bitmaps and icons by identifier. A missing
// resource loads as a null image or icon.
void RegisterBitmap(int id, std::function<QImage()> make);
void UnregisterBitmap(int id);
QImage LoadBitmap(int id);
void RegisterIcon(int id, std::function<QIcon()> make);
QIcon LoadIcon(int id);

// The help file's path by the class library's rule: the program's path with
// its extension replaced by ".HLP".
std::string DefaultHelpFilePath();

}  // namespace ui
