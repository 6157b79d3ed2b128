// The program's resources: the main dialog's template with its menu and
// accelerator table, the About box's template, the context-help table, the
// strings, and the icon and splash bitmap (drawn by the program).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/ui/dialog_template.h"
#include "platform/ui/services.h"

const ui::DialogTemplate& MainDialogTemplate();   // 102
const ui::DialogTemplate& AboutBoxTemplate();     // 100
const ui::MenuTemplate& MainMenu();               // 129
const ui::AcceleratorTable& MainAccelerators();   // 134

// Control and help identifiers, ended by the pair (0, 0).
const std::vector<ui::HelpIdPair>& HelpIdTable();

// String resources; empty for an unknown identifier.
std::string LoadResourceString(int id);

// The main dialog's caption, also the title of the program's messages.
extern const char kApplicationTitle[];

// Registers the icon 128, the splash bitmap 135 and the context-help topics
// with the UI layer.
void RegisterResources();
