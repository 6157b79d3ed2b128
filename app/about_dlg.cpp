#include "app/about_dlg.h"

#include "app/resource_ids.h"
#include "app/resources.h"
#include "platform/ui/application.h"

CAboutDlg::CAboutDlg(QWidget* owner) : ui::Dialog(AboutBoxTemplate(), nullptr, owner) {
  setWindowIcon(ui::LoadIcon(IDR_MAINFRAME));
}
