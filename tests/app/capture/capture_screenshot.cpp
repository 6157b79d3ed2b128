// Opens a video in the main dialog, plays it for a moment, pauses on a
// frame, captures and enhances it with 8 neighbours at 2x, and saves the
// picture; keeps pictures of the dialog before and after the capture (and
// fitted) for a person to look at.
// usage: capture_screenshot <video> <output folder>
// Runs under a real display server (the test target starts it in Xvfb).
#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QPixmap>

#include <cstdio>
#include <string>

#include "app/enhancer_dlg.h"
#include "app/resource_ids.h"
#include "app/resources.h"
#include "app/splash_wnd.h"
#include "tests/platform/ui/recording_services.h"

namespace {

void Pump(int milliseconds) {
  QElapsedTimer timer;
  timer.start();
  do {
    QApplication::processEvents(QEventLoop::AllEvents, 20);
  } while (timer.elapsed() < milliseconds);
}

bool Shoot(QWidget& window, const std::string& path) {
  Pump(200);
  const QPixmap shot = window.grab();
  if (shot.isNull() || !shot.save(QString::fromStdString(path), "PNG")) {
    std::fprintf(stderr, "cannot save %s\n", path.c_str());
    return false;
  }
  std::printf("%dx%d -> %s\n", shot.width(), shot.height(), path.c_str());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s <video> <output folder>\n", argv[0]);
    return 2;
  }
  const std::string video = argv[1];
  const std::string out = argv[2];
  QApplication application(argc, argv);
  RegisterResources();
  ui::SetApplicationTitle(kApplicationTitle);
  EnableSplashScreen(false);
  uitest::RecordingServices services;

  CEnhancerDlg dialog;
  if (!dialog.Create()) return 1;
  auto command = [&](int id) { dialog.SendMessage(ui::WM_COMMAND, ui::MakeWParam(id, ui::BN_CLICKED)); };
  Pump(200);

  services.filesToChoose.push_back(video);
  command(ID_FILE_OPEN_VIDEO);
  if (!dialog.Player().videoLoaded()) {
    std::fprintf(stderr, "cannot open %s\n", video.c_str());
    return 1;
  }
  if (dialog.Player().playState() != kPlayRunning) command(IDC_PLAY);
  Pump(600);
  command(IDC_PLAY);
  dialog.SetItemText(IDC_FRAME_EDIT, "12");
  media::GraphState state;
  dialog.Player().graph()->GetState(2000, &state);
  if (dialog.Player().playState() != kPlayPaused) {
    std::fprintf(stderr, "the video did not pause\n");
    return 1;
  }
  dialog.CheckButton(IDC_NEIGHBORS_2, false);
  dialog.CheckButton(IDC_NEIGHBORS_8, true);
  dialog.CheckButton(IDC_RESOLUTION_1X, false);
  dialog.CheckButton(IDC_RESOLUTION_2X, true);
  if (!Shoot(dialog, out + "/capture_before.png")) return 1;

  command(IDC_CAPTURE);
  const Image8uC3& result = dialog.Enhance().result();
  std::printf("result %dx%d\n", result.width, result.height);
  if (result.width <= 0) return 1;
  if (!Shoot(dialog, out + "/capture_after.png")) return 1;
  // As a click does: the radio button is checked, then its command comes.
  dialog.CheckButton(IDC_ACTUAL_SIZE, false);
  dialog.CheckButton(IDC_ZOOM_TO_FIT, true);
  command(IDC_ZOOM_TO_FIT);
  if (!Shoot(dialog, out + "/capture_after_fit.png")) return 1;

  const std::string saved = out + "/capture_result.png";
  services.filesToChoose.push_back(saved);
  command(IDC_SAVE);
  const QImage back(QString::fromStdString(saved));
  if (back.width() != result.width || back.height() != result.height) {
    std::fprintf(stderr, "the saved picture %s does not read back\n", saved.c_str());
    return 1;
  }
  std::printf("saved %s\n", saved.c_str());
  for (const auto& box : services.boxes) std::fprintf(stderr, "message: %s\n", box.text.c_str());
  dialog.DestroyWindow();
  return services.boxes.empty() ? 0 : 1;
}
