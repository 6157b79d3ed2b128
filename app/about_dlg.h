// The About box (template 100): OK ends it.
#pragma once

#include "platform/ui/dialog.h"

class CAboutDlg : public ui::Dialog {
 public:
  explicit CAboutDlg(QWidget* owner = nullptr);
};
