// The capture through the real main dialog, offscreen: open a generated
// video, pause on a frame, capture with the dialog's options, move an
// adjustment slider, copy, save; the modal services are recorded.
#include <QCursor>
#include <QGuiApplication>
#include <QImage>
#include <QLineEdit>
#include <QProgressBar>
#include <QTest>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>
#include <unistd.h>

#include "app/enhancer_dlg.h"
#include "app/grabbed_frame.h"
#include "app/resource_ids.h"
#include "app/resources.h"
#include "app/splash_wnd.h"
#include "app/video_player.h"
#include "tests/platform/ui/recording_services.h"
#include "tests/support/file_size_limit.h"
#include "tests/support/test_video.h"

namespace {

namespace fs = std::filesystem;

const fs::path& Scratch() {
  static const fs::path dir = [] {
    fs::path p = fs::temp_directory_path() / ("fe_dialog_capture_" + std::to_string(getpid()));
    fs::create_directories(p);
    return p;
  }();
  return dir;
}

// A numbered 96x64 video of 20 frames, written once under `name`; the
// frames `zeroed` do not decode (their packets zeroed).
std::string NumberedVideo(const std::string& name, std::vector<int> zeroed) {
  const std::string p = (Scratch() / name).string();
  testvideo::VideoSpec spec;
  spec.width = 96;
  spec.height = 64;
  spec.frames = 20;
  spec.zeroedFrames = std::move(zeroed);
  std::string error;
  if (!testvideo::writeVideo(p, spec, &error)) ADD_FAILURE() << error;
  return p;
}

std::string Video() {
  static const std::string path = NumberedVideo("numbered.avi", {});
  return path;
}

// The same video with frame 9 that does not decode.
std::string VideoWithoutFrame9() {
  static const std::string path = NumberedVideo("numbered_without_9.avi", {9});
  return path;
}

class DialogCaptureTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    RegisterResources();
    ui::SetApplicationTitle(kApplicationTitle);
    EnableSplashScreen(false);
  }
  static void TearDownTestSuite() { fs::remove_all(Scratch()); }
  void SetUp() override { ASSERT_TRUE(dialog.Create()); }
  void TearDown() override { dialog.DestroyWindow(); }

  void Command(int id) { dialog.SendMessage(ui::WM_COMMAND, ui::MakeWParam(id, ui::BN_CLICKED)); }
  void Slider(int id, int code, int position) {
    dialog.SendMessage(ui::WM_HSCROLL, ui::MakeWParam(code, position), id);
  }
  std::vector<std::string> Boxes() const {
    std::vector<std::string> texts;
    for (const auto& b : services.boxes) texts.push_back(b.text);
    return texts;
  }
  void OpenAndPauseAt(int frame, const std::string& video = Video()) {
    services.filesToChoose.push_back(video);
    Command(ID_FILE_OPEN_VIDEO);
    ASSERT_TRUE(dialog.Player().videoLoaded());
    if (dialog.Player().playState() != kPlayRunning) Command(IDC_PLAY);
    Command(IDC_PLAY);
    ASSERT_EQ(dialog.Player().playState(), kPlayPaused);
    dialog.SetItemText(IDC_FRAME_EDIT, std::to_string(frame));  // the edit's change notice seeks
    media::GraphState state;
    dialog.Player().graph()->GetState(2000, &state);
    ASSERT_TRUE(dialog.IsItemEnabled(IDC_CAPTURE));
  }

  uitest::RecordingServices services;
  CEnhancerDlg dialog;
};

TEST_F(DialogCaptureTest, CaptureAdjustCopyAndSave) {
  OpenAndPauseAt(10);
  dialog.CheckButton(IDC_NEIGHBORS_2, false);
  dialog.CheckButton(IDC_NEIGHBORS_8, true);
  dialog.CheckButton(IDC_RESOLUTION_1X, false);
  dialog.CheckButton(IDC_RESOLUTION_2X, true);
  std::vector<std::int64_t> sought;
  dialog.Enhance().frameStoredHook = [&](int, std::int64_t p) { sought.push_back(p); };
  int runs = 0;
  dialog.Enhance().engineRanHook = [&](FrameEnhancer&) { ++runs; };

  Command(IDC_CAPTURE);
  EXPECT_TRUE(Boxes().empty());
  ASSERT_EQ(runs, 1);
  EXPECT_EQ(sought, (std::vector<std::int64_t>{6, 7, 8, 9, 10, 11, 12, 13, 14}));
  EXPECT_EQ(dialog.m_neighbors, 3);
  const Image8uC3& result = dialog.Enhance().result();
  EXPECT_EQ(result.width, 192 - 12);
  EXPECT_EQ(result.height, 128 - 12);
  EXPECT_EQ(dialog.Item<QProgressBar>(IDC_PROGRESS)->value(), 0);
  EXPECT_EQ(dialog.CaptureId(), 0);  // the mouse is given back
  EXPECT_TRUE(dialog.IsButtonChecked(IDC_ACTUAL_SIZE));

  // The display area shows the result centred at actual size, upright.
  const QImage& shown = dialog.Surface().image();
  ASSERT_EQ(shown.width(), dialog.m_display->width());
  const int x0 = dialog.Enhance().offsetX(), y0 = dialog.Enhance().offsetY();
  ASSERT_GE(x0, 0);
  ASSERT_GE(y0, 0);
  const std::uint8_t* topLeft = result.row(result.height - 1);
  EXPECT_EQ(shown.pixel(x0, y0), qRgb(topLeft[2], topLeft[1], topLeft[0]));
  EXPECT_NE(shown.pixel(0, 0), shown.pixel(x0, y0));

  // A released brightness slider recomposes without a new run.
  const std::uint8_t before = result.data[0];
  dialog.Item<ui::Slider>(IDC_BRIGHTNESS)->SetPosition(90);
  Slider(IDC_BRIGHTNESS, ui::SB_THUMBPOSITION, 90);
  Slider(IDC_BRIGHTNESS, ui::SB_ENDSCROLL, 90);
  EXPECT_EQ(dialog.Enhance().output().brightness, 80.0f);
  EXPECT_GT(dialog.Enhance().result().data[0], before);
  EXPECT_EQ(runs, 1);

  // Copy: the whole result as a device-independent bitmap; ends fitted.
  Command(IDC_COPY);
  ASSERT_EQ(services.clipboard.size(), 1u);
  BITMAPINFOHEADER h;
  std::memcpy(&h, services.clipboard[0].data(), sizeof h);
  EXPECT_EQ(h.biWidth, 180);
  EXPECT_EQ(h.biHeight, 116);
  EXPECT_TRUE(dialog.IsButtonChecked(IDC_ZOOM_TO_FIT));

  // Save by extension; a refused one gives its message.
  for (const char* name : {"picture.png", "picture.bmp"}) {
    const std::string path = (Scratch() / name).string();
    services.filesToChoose.push_back(path);
    Command(IDC_SAVE);
    QImage back(QString::fromStdString(path));
    ASSERT_FALSE(back.isNull()) << name;
    EXPECT_EQ(back.width(), 180);
    const Image8uC3& now = dialog.Enhance().result();
    const std::uint8_t* p = now.row(now.height - 1) + 3 * 7;  // top row, column 7
    EXPECT_EQ(back.pixel(7, 0), qRgb(p[2], p[1], p[0])) << name;
  }
  ASSERT_FALSE(services.fileRequests.empty());
  const ui::FileDialogRequest& request = services.fileRequests.back();
  EXPECT_TRUE(request.save);
  EXPECT_EQ(request.defaultExtension, "bmp");
  ASSERT_EQ(request.filters.size(), 6u);
  EXPECT_EQ(request.filters[4].name, "PNG (*.png)");
  services.filesToChoose.push_back((Scratch() / "picture.JPG").string());
  Command(IDC_SAVE);
  EXPECT_EQ(Boxes(), (std::vector<std::string>{"File extension is not supported"}));
}

TEST_F(DialogCaptureTest, NoOpenWhileACaptureRuns) {
  OpenAndPauseAt(4);
  const std::size_t requests = services.fileRequests.size();
  dialog.Enhance().frameStoredHook = [&](int, std::int64_t) {
    services.filesToChoose.push_back(Video());
    Command(ID_FILE_OPEN_VIDEO);
    Command(IDC_CAPTURE);
  };
  int runs = 0;
  dialog.Enhance().engineRanHook = [&](FrameEnhancer&) { ++runs; };
  Command(IDC_CAPTURE);
  EXPECT_EQ(runs, 1);
  EXPECT_EQ(services.fileRequests.size(), requests);  // the open dialog never came up
  EXPECT_GT(dialog.Enhance().result().width, 0);
  EXPECT_TRUE(Boxes().empty());
}

TEST_F(DialogCaptureTest, CaptureNeedsAPausedVideo) {
  int runs = 0;
  dialog.Enhance().engineRanHook = [&](FrameEnhancer&) { ++runs; };
  Command(IDC_CAPTURE);  // no video
  services.filesToChoose.push_back(Video());
  Command(ID_FILE_OPEN_VIDEO);
  if (dialog.Player().playState() != kPlayRunning) Command(IDC_PLAY);
  Command(IDC_CAPTURE);  // playing
  EXPECT_EQ(runs, 0);
  EXPECT_EQ(dialog.Item<QProgressBar>(IDC_PROGRESS)->value(), 0);
  // Zoom to Fit and Raw Frame before any capture draw nothing.
  Command(IDC_ZOOM_TO_FIT);
  Command(IDC_RAW_FRAME);
  EXPECT_TRUE(Boxes().empty());
}

// A save that fails part-way says so and leaves the picture that was there
// byte for byte; the display stays at actual size.
TEST_F(DialogCaptureTest, AFailedSaveKeepsTheExistingFile) {
  OpenAndPauseAt(6);
  Command(IDC_CAPTURE);
  ASSERT_GT(dialog.Enhance().result().width, 0);
  const std::string path = (Scratch() / "kept.bmp").string();
  const std::string older(5000, 'k');
  {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fwrite(older.data(), 1, older.size(), file);
    std::fclose(file);
  }
  services.filesToChoose.push_back(path);
  {
    testsupport::FileSizeLimit limit(1000);
    ASSERT_TRUE(limit.Active());
    Command(IDC_SAVE);
  }
  EXPECT_EQ(Boxes(), std::vector<std::string>{"Cannot write file"});
  EXPECT_TRUE(dialog.IsButtonChecked(IDC_ACTUAL_SIZE));
  std::string now;
  if (std::FILE* file = std::fopen(path.c_str(), "rb")) {
    char buffer[8192];
    now.assign(buffer, std::fread(buffer, 1, sizeof buffer, file));
    std::fclose(file);
  }
  EXPECT_EQ(now, older);
  std::size_t entries = 0;
  for (const auto& entry : fs::directory_iterator(Scratch())) entries += entry.path().filename().string()[0] == '.';
  EXPECT_EQ(entries, 0u);  // nothing half-written left beside it
}

// Whether the pointer shows the busy mark.
bool PointerBusy() {
  const QCursor* cursor = QGuiApplication::overrideCursor();
  return cursor && cursor->shape() == Qt::BusyCursor;
}

// A capture asked for right after a step back, before the position poll has
// seen its frame, takes the frame the step lands on: frame 9 does not
// decode, so the step from 12 to 9 lands on 8, which the field names and
// the capture centres on. The pointer shows the busy mark while the step
// lands, while the frames are read and while the engine runs, and the
// plain arrow again after the capture.
TEST_F(DialogCaptureTest, CaptureRightAfterAStepBackTakesTheFrameItLandsOn) {
  OpenAndPauseAt(12, VideoWithoutFrame9());
  media::GraphState state;
  dialog.Player().graph()->GetState(2000, &state);
  dialog.KillTimer(IDT_POSITION);  // the polls are the test's
  dialog.SendMessage(ui::WM_TIMER, IDT_POSITION);  // the poll names 12
  ASSERT_EQ(dialog.ItemText(IDC_FRAME_EDIT), "12");
  ASSERT_FALSE(PointerBusy());
  std::vector<bool> busy;  // at the landing, at each frame read, at the run
  auto* field = qobject_cast<QLineEdit*>(dialog.GetDlgItem(IDC_FRAME_EDIT));
  ASSERT_NE(field, nullptr);
  QObject::connect(field, &QLineEdit::textChanged, [&](const QString& text) {
    if (text == "8") busy.push_back(PointerBusy());
  });
  std::vector<std::int64_t> sought;
  dialog.Enhance().frameStoredHook = [&](int, std::int64_t p) {
    sought.push_back(p);
    busy.push_back(PointerBusy());
  };
  int runs = 0;
  dialog.Enhance().engineRanHook = [&](FrameEnhancer&) {
    ++runs;
    busy.push_back(PointerBusy());
  };
  dialog.SetItemText(IDC_FRAME_EDIT, "9");
  Command(IDC_CAPTURE);
  EXPECT_TRUE(Boxes().empty());
  EXPECT_EQ(runs, 1);
  EXPECT_EQ(sought, (std::vector<std::int64_t>{7, 8}));  // frame 9 leaves its slot empty
  EXPECT_EQ(dialog.ItemText(IDC_FRAME_EDIT), "8");
  EXPECT_EQ(busy, std::vector<bool>(4, true));
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

// A capture refused for want of memory shows the busy mark while it looks,
// and its box and the window after it the plain arrow.
TEST_F(DialogCaptureTest, ARefusedCaptureShowsItsBoxWithoutTheBusyMark) {
  OpenAndPauseAt(5);
  dialog.KillTimer(IDT_POSITION);
  bool busyWhileLooking = false, busyAtTheBox = true;
  dialog.Enhance().availableMemoryHook = [&] {
    busyWhileLooking = PointerBusy();
    return std::uint64_t{0};
  };
  services.onBox = [&](const uitest::RecordingServices::Box&) { busyAtTheBox = PointerBusy(); };
  Command(IDC_CAPTURE);
  EXPECT_EQ(Boxes(), std::vector<std::string>{kOutOfMemoryMessage});
  EXPECT_TRUE(busyWhileLooking);
  EXPECT_FALSE(busyAtTheBox);
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

// Options chosen in the controls survive Play, Pause and the opening of
// another video, and the next capture runs with them.
TEST_F(DialogCaptureTest, ChosenOptionsSurvivePlayPauseAndOpen) {
  OpenAndPauseAt(5);
  for (int id : {IDC_NEIGHBORS_8, IDC_SMOOTH_HIGH, IDC_NOISE_LOW, IDC_RESOLUTION_2X, IDC_INTERLACED})
    QTest::mouseClick(dialog.GetDlgItem(id), Qt::LeftButton);
  dialog.SetItemText(IDC_PIXEL_RATIO, "1.5");
  const auto showsTheChoices = [&](const char* after) {
    for (int id : {IDC_NEIGHBORS_8, IDC_SMOOTH_HIGH, IDC_NOISE_LOW, IDC_RESOLUTION_2X, IDC_INTERLACED})
      EXPECT_TRUE(dialog.IsButtonChecked(id)) << id << " after " << after;
    EXPECT_EQ(dialog.ItemText(IDC_PIXEL_RATIO), "1.5") << after;
  };
  Command(IDC_PLAY);
  showsTheChoices("Play");
  Command(IDC_PLAY);
  showsTheChoices("Pause");
  dialog.SendMessage(ui::WM_ENTERMENULOOP);
  showsTheChoices("a menu");
  services.filesToChoose.push_back(Video());
  Command(ID_FILE_OPEN_VIDEO);
  showsTheChoices("Open");

  if (dialog.Player().playState() == kPlayRunning) Command(IDC_PLAY);
  ASSERT_EQ(dialog.Player().playState(), kPlayPaused);
  const FrameEnhancer* ran = nullptr;
  int frames = 0, accumWidth = 0, lumaMode = 0;
  float threshold = 0.0f, firstFactor = 0.0f;
  dialog.Enhance().engineRanHook = [&](FrameEnhancer& e) {
    ran = &e;
    frames = e.frameStore->frameCount;
    accumWidth = e.accumY->width;
    lumaMode = e.lumaNoiseMode;
    threshold = e.motionThreshold;
    firstFactor = e.lumaThresholdFactors[0];
  };
  Command(IDC_CAPTURE);
  ASSERT_NE(ran, nullptr);
  EXPECT_TRUE(Boxes().empty());
  EXPECT_EQ(frames, 9);
  EXPECT_EQ(accumWidth, 192);
  EXPECT_EQ(lumaMode, 3);
  EXPECT_EQ(firstFactor, 1.5f);
  EXPECT_EQ(threshold, 6.0f);
  ASSERT_NE(dialog.Enhance().postFilter(0), nullptr);
  EXPECT_DOUBLE_EQ(dialog.Enhance().postFilter(0)->scaleX, 1.5);
  showsTheChoices("the capture");
}

// A pixel ratio that does not validate is not put back by Play or Pause;
// the capture then gives its message, once, and runs with the last
// accepted ratio.
TEST_F(DialogCaptureTest, AWrongPixelRatioStillGivesItsMessage) {
  OpenAndPauseAt(5);
  dialog.SetItemText(IDC_PIXEL_RATIO, "7");
  Command(IDC_PLAY);
  Command(IDC_PLAY);
  EXPECT_EQ(dialog.ItemText(IDC_PIXEL_RATIO), "7");
  EXPECT_TRUE(Boxes().empty());
  Command(IDC_CAPTURE);
  EXPECT_EQ(Boxes(), std::vector<std::string>{"Please enter a number between 0.24 and 4.1."});
  ASSERT_NE(dialog.Enhance().postFilter(0), nullptr);
  EXPECT_DOUBLE_EQ(dialog.Enhance().postFilter(0)->scaleX, 1.0);
}

// The first open starts at the root; later opens start in the folder of the
// last video chosen, saves in the folder of the last picture saved (the
// first one in the video's folder).
TEST_F(DialogCaptureTest, DialogsStartWhereTheUserLastWas) {
  g_initialDirGiven = false;
  OpenAndPauseAt(3);
  services.filesToChoose.push_back(Video());
  Command(ID_FILE_OPEN_VIDEO);
  ASSERT_EQ(services.fileRequests.size(), 2u);
  EXPECT_EQ(services.fileRequests[0].initialDirectory, "/");
  EXPECT_EQ(services.fileRequests[1].initialDirectory, Scratch().string());

  if (dialog.Player().playState() == kPlayRunning) Command(IDC_PLAY);
  Command(IDC_CAPTURE);
  ASSERT_GT(dialog.Enhance().result().width, 0);
  const fs::path pictures = Scratch() / "pictures";
  fs::create_directories(pictures);
  services.filesToChoose.push_back((pictures / "first.png").string());
  Command(IDC_SAVE);
  Command(IDC_SAVE);  // cancelled: the folder stays
  services.filesToChoose.push_back((pictures / "second.png").string());
  Command(IDC_SAVE);
  ASSERT_EQ(services.fileRequests.size(), 5u);
  EXPECT_EQ(services.fileRequests[2].initialDirectory, Scratch().string());
  EXPECT_EQ(services.fileRequests[3].initialDirectory, pictures.string());
  EXPECT_EQ(services.fileRequests[4].initialDirectory, pictures.string());
  EXPECT_TRUE(fs::exists(pictures / "second.png"));
  Command(ID_FILE_OPEN_VIDEO);  // cancelled
  EXPECT_EQ(services.fileRequests.back().initialDirectory, Scratch().string());
  EXPECT_TRUE(Boxes().empty());
}

}  // namespace
