// The UI layer over Qt 6 Widgets: dialogs from templates, their controls
// and data exchange, menus and accelerators, timers, the modal services and
// popup windows.
#pragma once

#include "platform/ui/application.h"
#include "platform/ui/controls.h"
#include "platform/ui/data_exchange.h"
#include "platform/ui/dialog.h"
#include "platform/ui/dialog_template.h"
#include "platform/ui/popup_window.h"
#include "platform/ui/services.h"
#include "platform/ui/win_defs.h"
