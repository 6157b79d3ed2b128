// Saves pictures of the main dialog and of the About box as PNG files, for
// a person to look at: dialog_screenshot <dialog.png> [<about.png>].
// Runs under a real display server (the test target starts it in Xvfb).
#include <QApplication>
#include <QPixmap>
#include <QTimer>

#include <cstdio>

#include "app/about_dlg.h"
#include "app/enhancer_dlg.h"
#include "app/resources.h"
#include "app/splash_wnd.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s dialog.png [about.png]\n", argv[0]);
    return 2;
  }
  QApplication application(argc, argv);
  RegisterResources();
  ui::SetApplicationTitle(kApplicationTitle);
  EnableSplashScreen(false);

  CEnhancerDlg dialog;
  if (!dialog.Create()) return 1;
  for (int i = 0; i < 20; ++i) QApplication::processEvents();
  const QPixmap shot = dialog.grab();
  if (shot.isNull() || !shot.save(QString::fromLocal8Bit(argv[1]), "PNG")) {
    std::fprintf(stderr, "cannot save %s\n", argv[1]);
    return 1;
  }
  std::printf("dialog %dx%d -> %s\n", shot.width(), shot.height(), argv[1]);

  if (argc >= 3) {
    CAboutDlg about(&dialog);
    about.Create();
    for (int i = 0; i < 20; ++i) QApplication::processEvents();
    const QPixmap aboutShot = about.grab();
    if (aboutShot.isNull() || !aboutShot.save(QString::fromLocal8Bit(argv[2]), "PNG")) return 1;
    std::printf("about %dx%d -> %s\n", aboutShot.width(), aboutShot.height(), argv[2]);
    about.DestroyWindow();
  }
  dialog.DestroyWindow();
  return 0;
}
