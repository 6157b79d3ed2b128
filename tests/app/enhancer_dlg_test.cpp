// The main dialog, the application's start-up, the splash window and the
// About box, with the modal services recorded instead of shown.
#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>
#include <ostream>
#include <set>
#include <string>
#include <unistd.h>

#include "app/enhancer_app.h"
#include "app/enhancer_dlg.h"
#include "app/grabbed_frame.h"
#include "app/resource_ids.h"
#include "app/resources.h"
#include "app/splash_wnd.h"
#include "tests/platform/media/media_test_util.h"
#include "tests/platform/ui/recording_services.h"
#include "tests/support/test_video.h"

namespace {

// A directory for the test videos, removed at exit.
const std::string& ScratchDir() {
  struct Dir {
    std::string path;
    Dir() {
      char name[] = "/tmp/fe_app_test_XXXXXX";
      if (mkdtemp(name)) path = name;
    }
    ~Dir() {
      if (!path.empty()) std::system(("rm -rf '" + path + "'").c_str());
    }
  };
  static Dir dir;
  return dir.path;
}

// The AVI written from `spec` as `name`, once per run; empty when this
// FFmpeg cannot write it.
std::string VideoOnce(const std::string& name, const testvideo::VideoSpec& spec) {
  static std::map<std::string, std::string> written;
  auto it = written.find(name);
  if (it != written.end()) return it->second;
  std::string path = ScratchDir() + "/" + name + ".avi", error;
  if (!testvideo::canWrite(spec) || !testvideo::writeVideo(path, spec, &error)) path.clear();
  written[name] = path;
  return path;
}

// A numbered-scene video of the given size, written once per run.
std::string Video(int width, int height, int frames) {
  testvideo::VideoSpec spec;
  spec.container = "avi";
  spec.codec = "mpeg4";
  spec.width = width;
  spec.height = height;
  spec.frames = frames;
  return VideoOnce(std::to_string(width) + "x" + std::to_string(height) + "_" + std::to_string(frames), spec);
}

// The number of the frame the player last grabbed.
int GrabbedNumber() {
  std::lock_guard<std::mutex> lock(g_grabbedFrame.mutex);
  const Image8uC3& im = g_grabbedFrame.image;
  return testvideo::readFrameNumber(im.data, im.width, im.height, im.step);
}

// Runs the event loop until `done` holds or `seconds` pass.
template <class F>
bool WaitFor(F done, double seconds = 5.0) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    QTest::qWait(5);
  }
  return true;
}

class DialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterResources();
    ui::SetApplicationTitle(kApplicationTitle);
    EnableSplashScreen(false);
    g_initialDirGiven = false;
    g_firstDrag = true;
    ASSERT_TRUE(dialog.Create());
  }
  void TearDown() override {
    ui::SetPreTranslateMessage(nullptr);
    dialog.DestroyWindow();
  }
  void UseAccelerators() {
    ui::SetPreTranslateMessage(
        [this](const ui::KeyMessage& m) { return ui::TranslateAccelerator(&dialog, &MainAccelerators(), m); });
  }
  std::vector<std::string> Boxes() const {
    std::vector<std::string> texts;
    for (const auto& b : services.boxes) texts.push_back(b.text);
    return texts;
  }
  bool Enabled(int id) const { return dialog.IsItemEnabled(id); }
  void Open(const std::string& path) {
    services.filesToChoose.push_back(path);
    dialog.SendMessage(ui::WM_COMMAND, ui::MakeWParam(ID_FILE_OPEN_VIDEO, 0));
  }

  uitest::RecordingServices services;
  CEnhancerDlg dialog;
};

TEST_F(DialogTest, FreshDialogShowsTheDefaults) {
  EXPECT_EQ(dialog.windowTitle().toStdString(), "Zelph Orlunt!");
  EXPECT_TRUE(dialog.IsButtonChecked(IDC_NEIGHBORS_2));
  EXPECT_TRUE(dialog.IsButtonChecked(IDC_SMOOTH_MED));
  EXPECT_TRUE(dialog.IsButtonChecked(IDC_NOISE_NONE));
  EXPECT_TRUE(dialog.IsButtonChecked(IDC_RESOLUTION_1X));
  EXPECT_TRUE(dialog.IsButtonChecked(IDC_ACTUAL_SIZE));
  EXPECT_FALSE(dialog.IsButtonChecked(IDC_INTERLACED));
  EXPECT_FALSE(dialog.IsButtonChecked(IDC_CROP));
  EXPECT_EQ(dialog.ItemText(IDC_PIXEL_RATIO), "1");
  EXPECT_EQ(dialog.ItemText(IDC_SPEED_EDIT), "1");
  for (int id : {IDC_CONTRAST, IDC_BRIGHTNESS, IDC_SATURATION, IDC_HUE, IDC_SHARPNESS}) {
    auto* slider = dialog.Item<ui::Slider>(id);
    ASSERT_NE(slider, nullptr) << id;
    EXPECT_EQ(slider->Position(), 50) << id;
    EXPECT_EQ(slider->minimum(), 0);
    EXPECT_EQ(slider->maximum(), 100);
    EXPECT_EQ(slider->tickInterval(), 10);
    EXPECT_EQ(slider->pageStep(), 0);
  }
  auto* speed = dialog.Item<ui::UpDown>(IDC_SPEED_SPIN);
  EXPECT_EQ(speed->Low(), 1);
  EXPECT_EQ(speed->High(), 8);
  EXPECT_EQ(dialog.Item<ui::Slider>(IDC_POSITION_SLIDER)->maximum(), 100);
  EXPECT_EQ(dialog.Item<QProgressBar>(IDC_PROGRESS)->maximum(), 100);
  EXPECT_EQ(dialog.Item<QProgressBar>(IDC_PROGRESS)->value(), 0);
  // No video: every player control is off and the play button says so.
  EXPECT_EQ(dialog.ItemText(IDC_PLAY), "Play   (Ctr-P)");
  for (int id : {IDC_PLAY, IDC_CAPTURE, IDC_COPY, IDC_SAVE, IDC_FRAME_SPIN, IDC_FRAME_EDIT, IDC_POSITION_SLIDER})
    EXPECT_FALSE(Enabled(id)) << id;
  EXPECT_FALSE(dialog.Item<QPushButton>(IDC_PLAY)->isDefault());
  // The option values behind the controls.
  EXPECT_EQ(dialog.m_displayMode, 0);
  EXPECT_EQ(dialog.m_pixelRatio, 1.0f);
  EXPECT_EQ(dialog.m_neighbors, 1);
  EXPECT_EQ(dialog.m_motionSmooth, 2);
  EXPECT_EQ(dialog.Enhance().jpegQuality(), 95);
  EXPECT_EQ(dialog.Enhance().borderBase(), 4);
  EXPECT_EQ(dialog.Enhance().cropRect().right, 9000);
  EXPECT_EQ(dialog.Enhance().zoom(), 1.0);
  EXPECT_EQ(dialog.Enhance().engine(), nullptr);
}

TEST_F(DialogTest, TemplateHoldsEveryControlWithItsCaption) {
  const std::map<int, std::string> captions = {
      {IDC_PLAY, "Play   (Ctr-P)"},  // replaced at once
      {IDC_INTERLACED, "Interlaced video"},
      {IDC_NEIGHBORS_0, "0"}, {IDC_NEIGHBORS_2, "2"}, {IDC_NEIGHBORS_4, "4"}, {IDC_NEIGHBORS_8, "8"},
      {IDC_SMOOTH_MIN, "min"}, {IDC_SMOOTH_LOW, "low"}, {IDC_SMOOTH_MED, "med"}, {IDC_SMOOTH_HIGH, "high"},
      {IDC_NOISE_NONE, "none"}, {IDC_NOISE_LOW, "low"}, {IDC_NOISE_MED, "med"}, {IDC_NOISE_HIGH, "high"},
      {IDC_RESOLUTION_1X, "1x"}, {IDC_RESOLUTION_15X, "1.5x"}, {IDC_RESOLUTION_2X, "2x"},
      {IDC_RESOLUTION_25X, "2.5x"}, {IDC_RESET_OPTIONS, "Reset"},
      {IDC_CAPTURE, "Capture and Enhance!   (Ctrl-E)"},
      {IDC_ACTUAL_SIZE, "Actual Size"}, {IDC_ZOOM_TO_FIT, "Zoom to Fit"}, {IDC_RAW_FRAME, "Raw Frame (actual size)"},
      {IDC_CROP, "Crop output"}, {IDC_RESET_ADJUSTMENTS, "Reset"},
      {IDC_COPY, "Copy to clipboard(Ctrl-C)"}, {IDC_SAVE, "Save as...  (Ctrl-S)"},
      {IDC_LABEL_SPEED, "Speed:"}, {IDC_LABEL_FRAME, "Frame:"}, {IDC_LABEL_PIXEL_RATIO, "Pixel ratio:"},
      {IDC_LABEL_NEIGHBORS, "Use neighbor frames:"}, {IDC_LABEL_SMOOTH, "Motion smooth:"},
      {IDC_LABEL_NOISE, "Noise reduction:"}, {IDC_LABEL_RESOLUTION, "Enhance resolution to:"},
      {IDC_LABEL_DISPLAY, "Display Captured Picture:"}, {IDC_LABEL_CONTRAST, "Contrast:"},
      {IDC_LABEL_BRIGHTNESS, "Brightness:"}, {IDC_LABEL_SHARPNESS, "Sharpness:"},
      {IDC_LABEL_SATURATION, "Saturation:"}, {IDC_LABEL_HUE, "Hue:"}, {IDC_LABEL_HELP, "For Help:"},
      {IDC_LABEL_RIGHT_CLICK, "RIGHT-click on a item."},
  };
  for (const auto& [id, caption] : captions) EXPECT_EQ(dialog.ItemText(id), caption) << id;
  for (int id : {IDC_VIDEO_HOST, IDC_DISPLAY, IDC_SPEED_EDIT, IDC_FRAME_EDIT, IDC_PIXEL_RATIO, IDC_SPEED_SPIN,
                 IDC_FRAME_SPIN, IDC_VSCROLL, IDC_HSCROLL, IDC_POSITION_SLIDER, IDC_PROGRESS, IDC_CONTRAST,
                 IDC_BRIGHTNESS, IDC_SHARPNESS, IDC_SATURATION, IDC_HUE})
    EXPECT_NE(dialog.GetDlgItem(id), nullptr) << id;
  std::set<std::string> groups;
  for (QGroupBox* box : dialog.findChildren<QGroupBox*>()) groups.insert(box->title().toStdString());
  EXPECT_EQ(groups, (std::set<std::string>{"Video Information", "Capture and Enhance", "Picture Adjustment"}));
  EXPECT_TRUE(dialog.Item<QLineEdit>(IDC_SPEED_EDIT)->isReadOnly());
  EXPECT_TRUE(dialog.Item<QLineEdit>(IDC_FRAME_EDIT)->isReadOnly());
  EXPECT_FALSE(dialog.Item<QLineEdit>(IDC_PIXEL_RATIO)->isReadOnly());
  // The whole dialog fits a 1280 x 1024 screen with its frame.
  EXPECT_LT(dialog.width(), 1240);
  EXPECT_LT(dialog.height(), 960);
  // Every label lies left of the control it names, on its row.
  const std::pair<int, int> nextTo[] = {{IDC_LABEL_SPEED, IDC_SPEED_EDIT}, {IDC_LABEL_FRAME, IDC_FRAME_EDIT},
                                        {IDC_LABEL_PIXEL_RATIO, IDC_PIXEL_RATIO},
                                        {IDC_LABEL_NEIGHBORS, IDC_NEIGHBORS_0}, {IDC_LABEL_CONTRAST, IDC_CONTRAST},
                                        {IDC_LABEL_HUE, IDC_HUE}, {IDC_LABEL_DISPLAY, IDC_ACTUAL_SIZE}};
  for (const auto& [label, control] : nextTo) {
    const QRect l = dialog.ItemRect(label), c = dialog.ItemRect(control);
    EXPECT_LE(l.right(), c.left()) << label;
    EXPECT_TRUE(l.top() < c.bottom() && c.top() < l.bottom()) << label;
  }
}

TEST_F(DialogTest, MenuAndAccelerators) {
  QMenuBar* bar = dialog.MenuBar();
  ASSERT_NE(bar, nullptr);
  std::vector<std::vector<std::string>> texts;
  for (QAction* popup : bar->actions()) {
    std::vector<std::string> items{popup->text().toStdString()};
    for (QAction* item : popup->menu()->actions()) items.push_back(item->isSeparator() ? "-" : item->text().toStdString());
    texts.push_back(items);
  }
  const std::vector<std::vector<std::string>> expected = {
      {"&File", "&Open video file... (Ctrl-O)", "-", "&Copy to clipboard (Ctrl-C)", "&Save as... (Ctrl-S)", "-",
       "E&xit"},
      {"&Processing", "Capture and &Enhance (Ctrl-E)"},
      {"&Help", "&Help contents and index", "-", "&About"}};
  EXPECT_EQ(texts, expected);
  const auto& table = MainAccelerators();
  EXPECT_EQ(table.id, 134);
  std::map<int, int> keys;
  for (const auto& a : table.entries) {
    EXPECT_EQ(a.modifiers, ui::kModControl);
    keys[a.key] = a.command;
  }
  EXPECT_EQ(keys, (std::map<int, int>{{'C', 1014}, {'E', 1010}, {'H', 57670}, {'O', 32771}, {'P', 1001}, {'S', 1072}}));
}

TEST(HelpTableTest, ControlsAndLabelsHaveTheirTopics) {
  const auto& table = HelpIdTable();
  ASSERT_EQ(table.size(), 56u);
  EXPECT_EQ(table.back().controlId, 0u);
  EXPECT_EQ(table.back().helpId, 0u);
  std::map<std::uint32_t, std::uint32_t> topics;
  for (const auto& p : table) topics[p.controlId] = p.helpId;
  EXPECT_EQ(topics.at(1010), 0x806603F2u);
  EXPECT_EQ(topics.at(1068), 0x8066042Cu);
  EXPECT_EQ(topics.at(1093), 0x80660445u);
  EXPECT_EQ(topics.at(1078), 0x8088FFFFu);
  EXPECT_EQ(topics.at(1092), 0x8088FFFFu);
  for (std::uint32_t none : {1006u, 1017u, 1008u}) EXPECT_EQ(topics.count(none), 0u) << none;
  EXPECT_EQ(table[0].controlId, 1068u);
  EXPECT_EQ(table[39].controlId, 1093u);
}

// Exit, Escape and the close box end the program.
TEST_F(DialogTest, ExitEscapeAndCloseEndTheProgram) {
  for (int way = 0; way < 3; ++way) {
    CEnhancerDlg d;
    ASSERT_TRUE(d.Create());
    switch (way) {
      case 0: d.MenuBar()->actions()[0]->menu()->actions().back()->trigger(); break;
      case 1: QTest::keyClick(&d, Qt::Key_Escape); break;
      case 2: {
        QCloseEvent close;
        QApplication::sendEvent(&d, &close);
        break;
      }
    }
    EXPECT_TRUE(d.QuitPosted()) << way;
    EXPECT_TRUE(d.Ended()) << way;
    d.DestroyWindow();
  }
}

// Enter never ends the program: not on a radio button just clicked, a check
// box, a slider or the display area; on a push button it clicks the button.
TEST_F(DialogTest, EnterNeverEndsTheProgram) {
  for (int id : {IDC_RESOLUTION_2X, IDC_NEIGHBORS_4, IDC_INTERLACED, IDC_CROP, IDC_CONTRAST, IDC_SHARPNESS,
                 IDC_DISPLAY}) {
    QWidget* control = dialog.GetDlgItem(id);
    ASSERT_NE(control, nullptr) << id;
    if (qobject_cast<QAbstractButton*>(control)) QTest::mouseClick(control, Qt::LeftButton);
    control->setFocus();
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter}) {
      QTest::keyClick(control, key);
      QTest::keyClick(&dialog, key);
    }
    EXPECT_FALSE(dialog.QuitPosted()) << id;
    EXPECT_FALSE(dialog.Ended()) << id;
  }
  EXPECT_TRUE(dialog.IsButtonChecked(IDC_RESOLUTION_2X));
  EXPECT_TRUE(services.boxes.empty());
  // A focused push button is clicked by Enter.
  dialog.CheckButton(IDC_NEIGHBORS_8, true);
  dialog.SetFocusTo(IDC_RESET_OPTIONS);
  QTest::keyClick(dialog.GetDlgItem(IDC_RESET_OPTIONS), Qt::Key_Return);
  EXPECT_TRUE(dialog.IsButtonChecked(IDC_NEIGHBORS_2));
  EXPECT_FALSE(dialog.Ended());
  // Exit still ends it.
  dialog.MenuBar()->actions()[0]->menu()->actions().back()->trigger();
  EXPECT_TRUE(dialog.Ended());
}

// Enter in a text field applies the field and the program goes on.
TEST_F(DialogTest, EnterInATextFieldAppliesIt) {
  auto* ratio = dialog.Item<QLineEdit>(IDC_PIXEL_RATIO);
  dialog.SetFocusTo(IDC_PIXEL_RATIO);
  ratio->setText("0.9");
  QTest::keyClick(ratio, Qt::Key_Return);
  EXPECT_FALSE(dialog.Ended());
  EXPECT_FLOAT_EQ(dialog.m_pixelRatio, 0.9f);
  EXPECT_TRUE(services.boxes.empty());

  ratio->setText("5");
  QTest::keyClick(ratio, Qt::Key_Enter);
  EXPECT_FALSE(dialog.Ended());
  EXPECT_FLOAT_EQ(dialog.m_pixelRatio, 0.9f);
  EXPECT_EQ(Boxes(), std::vector<std::string>{"Please enter a number between 0.24 and 4.1."});

  for (int id : {IDC_SPEED_EDIT, IDC_FRAME_EDIT}) {
    dialog.GetDlgItem(id)->setEnabled(true);
    dialog.SetFocusTo(id);
    QTest::keyClick(dialog.GetDlgItem(id), Qt::Key_Return);
    EXPECT_FALSE(dialog.Ended()) << id;
  }
}

// A wrong pixel ratio shows the range message once; the ratio and the
// options after it in the exchange keep their values.
TEST_F(DialogTest, WrongPixelRatioKeepsTheValuesAfterIt) {
  dialog.SetItemText(IDC_PIXEL_RATIO, "0");
  dialog.CheckButton(IDC_INTERLACED, true);
  dialog.CheckButton(IDC_NEIGHBORS_8, true);
  dialog.CheckButton(IDC_ZOOM_TO_FIT, true);
  EXPECT_FALSE(dialog.UpdateData(true));
  EXPECT_EQ(Boxes(), std::vector<std::string>{"Please enter a number between 0.24 and 4.1."});
  EXPECT_EQ(services.boxes[0].caption, "Zelph Orlunt!");
  EXPECT_EQ(dialog.m_pixelRatio, 1.0f);
  EXPECT_EQ(dialog.m_displayMode, 1);  // exchanged before the ratio
  EXPECT_EQ(dialog.m_interlaced, 0);
  EXPECT_EQ(dialog.m_neighbors, 1);
  EXPECT_EQ(dialog.FocusId(), IDC_PIXEL_RATIO);
  dialog.SetItemText(IDC_PIXEL_RATIO, "1.5");
  EXPECT_TRUE(dialog.UpdateData(true));
  EXPECT_EQ(dialog.m_pixelRatio, 1.5f);
  EXPECT_EQ(dialog.m_interlaced, 1);
  EXPECT_EQ(dialog.m_neighbors, 3);
}

// The accelerators act also while a read-only edit has the focus.
TEST_F(DialogTest, AcceleratorsActFromAnyControl) {
  UseAccelerators();
  dialog.GetDlgItem(IDC_FRAME_EDIT)->setEnabled(true);
  dialog.SetFocusTo(IDC_FRAME_EDIT);
  QTest::keyClick(dialog.GetDlgItem(IDC_FRAME_EDIT), Qt::Key_O, Qt::ControlModifier);
  ASSERT_EQ(services.fileRequests.size(), 1u);
  const ui::FileDialogRequest& r = services.fileRequests[0];
  EXPECT_EQ(r.title, "Open Media File...");
  ASSERT_EQ(r.filters.size(), 2u);
  // The classic containers, then the others the media layer plays.
  EXPECT_EQ(r.filters[0].name,
            "Video Files (*.avi; *.qt; *.mov; *.mpg; *.mpeg; *.m1v; *.mp4; *.m4v; *.mkv; *.webm; *.ts)");
  EXPECT_EQ(r.filters[0].patterns, "*.avi; *.qt; *.mov; *.mpg; *.mpeg; *.m1v; *.mp4; *.m4v; *.mkv; *.webm; *.ts");
  EXPECT_EQ(r.filters[1].name, "All Files (*.*)");
  EXPECT_EQ(r.filters[1].patterns, "*.*;");
  EXPECT_EQ(r.filterIndex, 1);
  EXPECT_EQ(r.initialDirectory, "/");
  EXPECT_TRUE(r.mustExist);
  EXPECT_FALSE(r.save);
  // Cancelled: nothing changed. The next open starts where the last one was.
  EXPECT_TRUE(services.boxes.empty());
  QTest::keyClick(dialog.GetDlgItem(IDC_PIXEL_RATIO), Qt::Key_O, Qt::ControlModifier);
  ASSERT_EQ(services.fileRequests.size(), 2u);
  EXPECT_EQ(services.fileRequests[1].initialDirectory, "");

  // Ctrl+H: no help engine here, the standard message says so.
  QTest::keyClick(dialog.GetDlgItem(IDC_PIXEL_RATIO), Qt::Key_H, Qt::ControlModifier);
  ASSERT_FALSE(services.helps.empty());
  EXPECT_EQ(services.helps.back().command, ui::HELP_CONTEXT);
  EXPECT_EQ(services.helps.back().data, 0x20066u);
  EXPECT_EQ(Boxes(), std::vector<std::string>{"Failed to launch help."});

  // The other commands check their own conditions: without a video or a
  // picture they do nothing.
  for (Qt::Key key : {Qt::Key_E, Qt::Key_C, Qt::Key_S, Qt::Key_P})
    QTest::keyClick(dialog.GetDlgItem(IDC_PIXEL_RATIO), key, Qt::ControlModifier);
  EXPECT_EQ(Boxes().size(), 1u);
  EXPECT_EQ(services.fileRequests.size(), 2u);
  EXPECT_FALSE(dialog.Ended());
}

TEST_F(DialogTest, AboutBoxFromTheHelpMenuAndTheSystemMenu) {
  const auto& items = dialog.SystemMenuItems();
  ASSERT_EQ(items.size(), 2u);
  EXPECT_EQ(items[0].second, "");  // the separator
  EXPECT_EQ(items[1].first, 16);
  EXPECT_EQ(items[1].second, "&About zv...");

  std::vector<std::string> texts;
  services.onModal = [&](QDialog* d) {
    for (QLabel* label : d->findChildren<QLabel*>())
      if (!label->text().isEmpty()) texts.push_back(label->text().toStdString());
    auto* ok = d->findChild<QPushButton*>();
    EXPECT_NE(ok, nullptr);
    if (ok) {
      EXPECT_EQ(ok->text().toStdString(), "OK");
      EXPECT_TRUE(ok->isDefault());
      ok->click();  // OK ends the box
    }
    return ui::IDOK;
  };
  dialog.SendMessage(ui::WM_SYSCOMMAND, 16);
  dialog.MenuBar()->actions()[2]->menu()->actions().back()->trigger();
  dialog.SendMessage(ui::WM_SYSCOMMAND, 0xF020);  // minimise: no About box
  EXPECT_EQ(services.modalDialogs, (std::vector<std::string>{"About Zelph Orlunt!", "About Zelph Orlunt!"}));
  ASSERT_FALSE(texts.empty());
  EXPECT_EQ(texts[0], "Zelph Orlunt!   Version 1.01");
  EXPECT_FALSE(dialog.Ended());
}

TEST_F(DialogTest, ContextHelpNamesTheControl) {
  dialog.SetFocusTo(IDC_PIXEL_RATIO);
  QTest::keyClick(dialog.GetDlgItem(IDC_PIXEL_RATIO), Qt::Key_F1);
  // A right click over the display area, which lets the mouse through.
  const QRect area = dialog.ItemRect(IDC_DISPLAY);
  const QPoint inDialog = dialog.Client()->mapTo(&dialog, area.center());
  QContextMenuEvent click(QContextMenuEvent::Mouse, inDialog, dialog.mapToGlobal(inDialog));
  QApplication::sendEvent(&dialog, &click);
  ASSERT_EQ(services.contextHelps.size(), 2u);
  EXPECT_EQ(services.contextHelps[0].command, ui::HELP_WM_HELP);
  EXPECT_EQ(services.contextHelps[0].controlId, static_cast<std::uint32_t>(IDC_PIXEL_RATIO));
  EXPECT_EQ(services.contextHelps[1].command, ui::HELP_CONTEXTMENU);
  EXPECT_EQ(services.contextHelps[1].controlId, static_cast<std::uint32_t>(IDC_DISPLAY));
  EXPECT_FALSE(dialog.Ended());
}

TEST_F(DialogTest, ResetOptionsRestoresTheCaptureOptions) {
  for (int id : {IDC_NEIGHBORS_8, IDC_SMOOTH_HIGH, IDC_NOISE_LOW, IDC_RESOLUTION_25X}) dialog.CheckButton(id, true);
  dialog.Item<ui::Slider>(IDC_SHARPNESS)->SetPosition(80);
  QTest::mouseClick(dialog.Item<QPushButton>(IDC_RESET_OPTIONS), Qt::LeftButton);
  for (int id : {IDC_NEIGHBORS_2, IDC_SMOOTH_MED, IDC_NOISE_NONE, IDC_RESOLUTION_1X})
    EXPECT_TRUE(dialog.IsButtonChecked(id)) << id;
  EXPECT_EQ(dialog.Item<ui::Slider>(IDC_SHARPNESS)->Position(), 50);
}

TEST_F(DialogTest, SpeedArrowsWriteTheSpeed) {
  auto* spin = dialog.Item<ui::UpDown>(IDC_SPEED_SPIN);
  spin->setEnabled(true);
  spin->Step(+1);
  EXPECT_EQ(dialog.ItemText(IDC_SPEED_EDIT), "2");
  for (int i = 0; i < 10; ++i) spin->Step(+1);
  EXPECT_EQ(dialog.ItemText(IDC_SPEED_EDIT), "8");
}

// ---------------------------------------------------------------- with videos

TEST_F(DialogTest, OpenSetsTheVideoOptionsAndStartsPlayback) {
  const std::string video = Video(720, 576, 6);
  if (video.empty()) GTEST_SKIP() << "this FFmpeg cannot write the test video";
  Open(video);
  EXPECT_TRUE(Boxes().empty());
  EXPECT_TRUE(dialog.Player().videoLoaded());
  EXPECT_FLOAT_EQ(dialog.m_pixelRatio, 1.067f);
  EXPECT_EQ(dialog.m_interlaced, 1);
  EXPECT_EQ(dialog.ItemText(IDC_PIXEL_RATIO), "1.067");
  EXPECT_TRUE(dialog.IsButtonChecked(IDC_INTERLACED));
  EXPECT_TRUE(Enabled(IDC_POSITION_SLIDER));
  EXPECT_TRUE(dialog.TimerRunning(IDT_POSITION));
  if (dialog.Player().playState() == kPlayRunning) {
    EXPECT_EQ(dialog.ItemText(IDC_PLAY), "Pause  (Ctr-P)");
    EXPECT_FALSE(Enabled(IDC_CAPTURE));
  }
  // Ending the program in the middle of playback tears the graph down.
  dialog.SendMessage(ui::WM_COMMAND, ui::MakeWParam(ui::IDCANCEL, 0));
  EXPECT_TRUE(dialog.QuitPosted());
  dialog.DestroyWindow();
  EXPECT_EQ(dialog.Player().graph(), nullptr);
  EXPECT_FALSE(dialog.Player().videoLoaded());
  ASSERT_FALSE(services.helps.empty());
  EXPECT_EQ(services.helps.back().command, ui::HELP_QUIT);
  EXPECT_TRUE(Boxes().empty());
}

// The first drag of the position slider pauses the graph, and the player
// then says it is paused, so the capture is offered.
TEST_F(DialogTest, FirstSliderDragLeavesThePlayerPaused) {
  const std::string video = Video(96, 64, 40);
  if (video.empty()) GTEST_SKIP() << "this FFmpeg cannot write the test video";
  Open(video);
  ASSERT_EQ(dialog.Player().playState(), kPlayRunning);
  auto* slider = dialog.Item<ui::Slider>(IDC_POSITION_SLIDER);
  slider->setSliderDown(true);
  slider->setSliderPosition(50);
  slider->setSliderDown(false);
  EXPECT_FALSE(g_firstDrag);
  EXPECT_EQ(dialog.Player().playState(), kPlayPaused);
  EXPECT_EQ(dialog.ItemText(IDC_PLAY), "Play   (Ctr-P)");
  EXPECT_TRUE(Enabled(IDC_CAPTURE));
  EXPECT_TRUE(Enabled(IDC_FRAME_EDIT));
  media::GraphState state;
  ASSERT_EQ(dialog.Player().graph()->GetState(5000, &state), media::kOk);
  EXPECT_EQ(state, media::GraphState::Paused);
  EXPECT_TRUE(Boxes().empty());

  // The video host shows the frame upright and in its colours: the bars of
  // the bottom half run red, green, blue from the left.
  QCoreApplication::processEvents();
  const QImage shown = dialog.GetDlgItem(IDC_VIDEO_HOST)->grab().toImage();
  const int w = shown.width(), h = shown.height();
  const QColor bars[3] = {shown.pixelColor(w / 6, h * 7 / 8), shown.pixelColor(w / 2, h * 7 / 8),
                          shown.pixelColor(w * 5 / 6, h * 7 / 8)};
  EXPECT_GT(bars[0].red(), 150);
  EXPECT_LT(bars[0].blue(), 100);
  EXPECT_GT(bars[1].green(), 150);
  EXPECT_LT(bars[1].red(), 100);
  EXPECT_GT(bars[2].blue(), 150);
  EXPECT_LT(bars[2].green(), 100);
}

// What the player controls show.
struct PlayerView {
  std::string frame, playText;
  int slider;
  bool play, capture, frameEdit, sliderEnabled;
  bool operator==(const PlayerView&) const = default;
};

std::ostream& operator<<(std::ostream& out, const PlayerView& v) {
  return out << "frame '" << v.frame << "' play '" << v.playText << "' slider " << v.slider << " enabled: play "
             << v.play << " capture " << v.capture << " frame " << v.frameEdit << " slider " << v.sliderEnabled;
}

// The controls of no video to play: no position, nothing to play, seek or capture.
const PlayerView kNothingToPlay{"", "Play   (Ctr-P)", 0, false, false, false, false};

class PlayerStateTest : public DialogTest {
 protected:
  PlayerView View() const {
    return {dialog.ItemText(IDC_FRAME_EDIT), dialog.ItemText(IDC_PLAY),
            dialog.Item<ui::Slider>(IDC_POSITION_SLIDER)->Position(), Enabled(IDC_PLAY), Enabled(IDC_CAPTURE),
            Enabled(IDC_FRAME_EDIT), Enabled(IDC_POSITION_SLIDER)};
  }
  // Opens a 100-frame video and shows frame 74 paused, or playing on from it.
  void OpenAt74(bool playing) {
    const std::string video = Video(96, 64, 100);
    ASSERT_FALSE(video.empty());
    Open(video);
    if (dialog.Player().playState() == kPlayRunning) Command(IDC_PLAY);
    ASSERT_EQ(dialog.Player().playState(), kPlayPaused);
    dialog.SetItemText(IDC_FRAME_EDIT, "74");  // the edit's change notice seeks
    media::GraphState state;
    ASSERT_EQ(dialog.Player().graph()->GetState(5000, &state), media::kOk);
    dialog.SendMessage(ui::WM_TIMER, IDT_POSITION);
    ASSERT_EQ(dialog.Item<ui::Slider>(IDC_POSITION_SLIDER)->Position(), 74);
    ASSERT_TRUE(Enabled(IDC_CAPTURE));
    if (playing) Command(IDC_PLAY);
    ASSERT_EQ(dialog.ItemText(IDC_PLAY), playing ? "Pause  (Ctr-P)" : "Play   (Ctr-P)");
  }
  void Command(int id) { dialog.SendMessage(ui::WM_COMMAND, ui::MakeWParam(id, ui::BN_CLICKED)); }
  void SetUp() override {
    DialogTest::SetUp();
    services.onBox = [this](const uitest::RecordingServices::Box&) { behindBoxes.push_back(View()); };
    dialog.Enhance().engineRanHook = [this](FrameEnhancer&) { ++captures; };
  }
  std::vector<PlayerView> behindBoxes;  // what the controls showed behind each message box
  int captures = 0;                     // engine runs
};

// A failed open after a video at frame 74, paused or playing: from the first
// message box on nothing of that video is shown, nothing can be played,
// sought or captured; the messages name the failed step as before.
TEST_F(PlayerStateTest, FailedOpenLeavesNothingOfTheLastVideo) {
  const std::string notAVideo = ScratchDir() + "/text.avi";
  std::FILE* file = std::fopen(notAVideo.c_str(), "w");
  ASSERT_NE(file, nullptr);
  std::fputs("this is not a video\n", file);
  std::fclose(file);
  const struct Case {
    bool playing;
    std::string file;
  } cases[] = {{true, ScratchDir() + "/missing.avi"}, {false, notAVideo}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file + (c.playing ? " while playing" : " while paused"));
    ASSERT_NO_FATAL_FAILURE(OpenAt74(c.playing));
    services.boxes.clear();
    services.beeps = 0;
    behindBoxes.clear();
    Open(c.file);
    EXPECT_EQ(Boxes(), (std::vector<std::string>{"Could not load the media file\r\n", "Fail to load file"}));
    EXPECT_EQ(services.boxes[0].caption, "Error!");
    EXPECT_EQ(services.beeps, 1);
    EXPECT_EQ(dialog.Player().graph(), nullptr);
    EXPECT_EQ(behindBoxes, std::vector<PlayerView>(2, kNothingToPlay));
    EXPECT_EQ(View(), kNothingToPlay);
    // Also after a menu loop, which updates the player controls again, and
    // a capture asked for all the same.
    dialog.SendMessage(ui::WM_ENTERMENULOOP);
    Command(IDC_CAPTURE);
    EXPECT_EQ(View(), kNothingToPlay);
    EXPECT_EQ(Boxes().size(), 2u);
    EXPECT_EQ(captures, 0);
  }
}

// A lossless numbered-scene video of `frames` frames in a container that
// plays from a pipe.
std::string PipedVideo(int frames) {
  testvideo::VideoSpec lossless;
  lossless.container = "mkv";
  lossless.codec = "ffv1";
  lossless.width = 64;
  lossless.height = 48;
  lossless.frames = frames;
  lossless.lossless = true;
  return mediatest::videoFor(lossless);
}

// A pipe fed part of a video and then held, opened after a video at frame
// 74: that frame is not shown any more; once the pipe gives up the player
// stops, Play plays nothing, and no capture reports a frame nothing shows.
// (Waits once for the pipe's read wait.)
TEST_F(PlayerStateTest, StalledPipeLeavesNothingToPlayOrCapture) {
  const std::string piped = PipedVideo(12);
  ASSERT_FALSE(piped.empty());
  ASSERT_NO_FATAL_FAILURE(OpenAt74(false));
  mediatest::FifoFeeder feed(piped, "stalling.mkv", std::filesystem::file_size(piped) / 2);
  Open(feed.path());
  ASSERT_TRUE(Boxes().empty());
  ASSERT_EQ(dialog.Player().playState(), kPlayRunning);
  EXPECT_EQ(dialog.ItemText(IDC_FRAME_EDIT), "");
  EXPECT_EQ(dialog.Item<ui::Slider>(IDC_POSITION_SLIDER)->Position(), 0);
  EXPECT_FALSE(Enabled(IDC_POSITION_SLIDER));

  ASSERT_TRUE(WaitFor([&] { return !services.boxes.empty(); }, 60.0));
  EXPECT_EQ(behindBoxes, std::vector<PlayerView>{kNothingToPlay});
  Command(IDC_PLAY);
  EXPECT_EQ(dialog.Player().playState(), kPlayStopped);
  EXPECT_EQ(View(), kNothingToPlay);
  // A user pauses whatever the button says plays, then captures.
  if (dialog.ItemText(IDC_PLAY) != "Play   (Ctr-P)") Command(IDC_PLAY);
  Command(IDC_CAPTURE);
  EXPECT_EQ(Boxes(), std::vector<std::string>{kVideoUnreadableMessage});
  EXPECT_EQ(captures, 0);
}

// A pipe that ended normally has nothing left to play: the player stays on
// its last frame and offers it for capture, Play does nothing, and the
// picture captured before can still be copied and saved.
TEST_F(PlayerStateTest, EndedPipePlaysNothingAndOffersItsLastFrame) {
  const std::string piped = PipedVideo(12);
  ASSERT_FALSE(piped.empty());
  mediatest::FifoFeeder feed(piped, "ended.mkv");
  Open(feed.path());
  ASSERT_TRUE(Boxes().empty());
  ASSERT_TRUE(WaitFor([&] { return dialog.Player().playState() != kPlayRunning; }, 20.0));
  const PlayerView ended{"", "Play   (Ctr-P)", 0, false, true, false, false};
  EXPECT_EQ(View(), ended);
  EXPECT_EQ(GrabbedNumber(), 11);
  for (int attempt = 0; attempt < 2; ++attempt) {
    Command(IDC_PLAY);  // as Ctrl+P does, whatever the button shows
    EXPECT_EQ(dialog.Player().playState(), kPlayPaused);
    EXPECT_EQ(View(), ended);
    EXPECT_TRUE(Enabled(IDC_COPY));
    EXPECT_TRUE(Enabled(IDC_SAVE));
    Command(IDC_CAPTURE);
    EXPECT_EQ(captures, attempt + 1);
    const Image8uC3& raw = dialog.Enhance().rawFrame();
    EXPECT_EQ(testvideo::readFrameNumber(raw.data, raw.width, raw.height, raw.step), 11);
    EXPECT_EQ(View(), ended);
    EXPECT_TRUE(Enabled(IDC_COPY));
    EXPECT_TRUE(Enabled(IDC_SAVE));
  }
  EXPECT_EQ(GrabbedNumber(), 11);
  // The neighbours chosen (2, the default) cannot be read from a pipe: each
  // capture says that its picture is made of the shown frame alone.
  ASSERT_EQ(Boxes(), std::vector<std::string>(2, kSingleFrameMessage));
  EXPECT_EQ(services.boxes[0].caption, "Zelph Orlunt!");
  EXPECT_TRUE(dialog.IsButtonChecked(IDC_NEIGHBORS_2));
}

// On a pipe paused while it plays, the frame arrows, the Up and Down keys
// and the frame field are unavailable, as the slider is: nothing names a
// frame the picture does not show.
TEST_F(PlayerStateTest, PausedPipeOffersNoFrameSteps) {
  const std::string piped = PipedVideo(150);
  ASSERT_FALSE(piped.empty());
  mediatest::FifoFeeder feed(piped, "paused.mkv");
  Open(feed.path());
  ASSERT_TRUE(Boxes().empty());
  ASSERT_TRUE(WaitFor([&] { return GrabbedNumber() >= 3; }, 20.0));
  Command(IDC_PLAY);
  ASSERT_EQ(dialog.Player().playState(), kPlayPaused);
  media::GraphState state;
  ASSERT_EQ(dialog.Player().graph()->GetState(5000, &state), media::kOk);
  const int shown = GrabbedNumber();
  const PlayerView paused{"", "Play   (Ctr-P)", 0, true, true, false, false};
  EXPECT_EQ(View(), paused);
  EXPECT_FALSE(Enabled(IDC_FRAME_SPIN));
  auto* spin = dialog.Item<ui::UpDown>(IDC_FRAME_SPIN);
  QWidget* field = dialog.GetDlgItem(IDC_FRAME_EDIT);
  spin->Step(+1);
  spin->Step(-1);
  QTest::keyClick(field, Qt::Key_Up);
  QTest::keyClick(field, Qt::Key_Down);
  QCoreApplication::processEvents();
  EXPECT_EQ(View(), paused);
  EXPECT_EQ(GrabbedNumber(), shown);
  EXPECT_TRUE(Boxes().empty());
}

// The graph's end-of-stream event reaches the dialog from the streaming
// thread; the video pauses on frame 0 and the capture is offered.
TEST_F(DialogTest, EndOfStreamPausesAndOffersTheCapture) {
  const std::string video = Video(96, 64, 8);
  if (video.empty()) GTEST_SKIP() << "this FFmpeg cannot write the test video";
  dialog.SetItemText(IDC_SPEED_EDIT, "8");
  Open(video);
  ASSERT_TRUE(WaitFor([&] { return dialog.Player().playState() == kPlayPaused; }));
  EXPECT_TRUE(Enabled(IDC_CAPTURE));
  EXPECT_EQ(dialog.ItemText(IDC_PLAY), "Play   (Ctr-P)");
  EXPECT_TRUE(WaitFor([&] { return dialog.ItemText(IDC_FRAME_EDIT) == "0"; }));
}

// ---------------------------------------------------------------- damaged videos

// A numbered-scene AVI of 30 keyframes whose frames in `zeroed` do not
// decode (their packets hold only zero bytes), written once per run.
std::string DamagedVideo(const char* codec, const std::vector<int>& zeroed) {
  std::string name = std::string("damaged_") + codec;
  for (int f : zeroed) name += "_" + std::to_string(f);
  testvideo::VideoSpec spec;
  spec.container = "avi";
  spec.codec = codec;
  spec.width = 96;
  spec.height = 64;
  spec.frames = 30;
  spec.gop = 1;
  spec.zeroedFrames = zeroed;
  return VideoOnce(name, spec);
}

// The frame arrows and the Up and Down keys of the frame field step over
// frames that do not decode, both ways: a step back reaches the nearest
// earlier frame that can be shown (or stays where it is when there is none),
// and the field names the frame the picture shows.
TEST_F(DialogTest, FrameStepsPassOverFramesThatDoNotDecode) {
  enum Input { kArrow, kKey };
  struct Step {
    Input input;
    int delta;  // +1 up, -1 down
    int shown;  // the frame shown (and named) after the step
  };
  const struct Case {
    const char* codec;
    std::vector<int> zeroed;
    int start;
    std::vector<Step> steps;
  } cases[] = {
      {"mjpeg", {10}, 9, {{kArrow, +1, 11}, {kArrow, -1, 9}, {kKey, -1, 8}, {kKey, +1, 9}, {kKey, +1, 11},
                          {kKey, -1, 9}}},
      {"mpeg4", {10}, 9, {{kArrow, +1, 11}, {kKey, -1, 9}, {kArrow, -1, 8}}},
      {"mpeg4", {10, 11, 12}, 9, {{kKey, +1, 13}, {kArrow, -1, 9}, {kArrow, +1, 13}, {kKey, -1, 9}}},
      {"mpeg4", {0}, 2, {{kArrow, -1, 1}, {kArrow, -1, 1}, {kKey, -1, 1}, {kKey, +1, 2}}},
  };
  auto* spin = dialog.Item<ui::UpDown>(IDC_FRAME_SPIN);
  QWidget* field = dialog.GetDlgItem(IDC_FRAME_EDIT);
  for (const Case& c : cases) {
    std::string name = std::string(c.codec) + " without";
    for (int f : c.zeroed) name += " " + std::to_string(f);
    SCOPED_TRACE(name);
    const std::string video = DamagedVideo(c.codec, c.zeroed);
    if (video.empty()) {
      ADD_FAILURE() << "this FFmpeg cannot write the test video";
      continue;
    }
    Open(video);
    ASSERT_TRUE(Boxes().empty());
    if (dialog.Player().playState() == kPlayRunning)
      dialog.SendMessage(ui::WM_COMMAND, ui::MakeWParam(IDC_PLAY, ui::BN_CLICKED));
    ASSERT_EQ(dialog.Player().playState(), kPlayPaused);
    dialog.SetItemText(IDC_FRAME_EDIT, std::to_string(c.start));
    ASSERT_TRUE(WaitFor([&] { return GrabbedNumber() == c.start; }));
    ASSERT_TRUE(WaitFor([&] { return dialog.ItemText(IDC_FRAME_EDIT) == std::to_string(c.start); }));
    int from = c.start;
    for (const Step& s : c.steps) {
      SCOPED_TRACE(testing::Message() << (s.input == kArrow ? "arrow " : "key ") << (s.delta > 0 ? "up" : "down")
                                      << " from " << from);
      if (s.input == kArrow)
        spin->Step(s.delta);
      else
        QTest::keyClick(field, s.delta > 0 ? Qt::Key_Up : Qt::Key_Down);
      const std::string want = std::to_string(s.shown);
      EXPECT_TRUE(WaitFor([&] {
        dialog.SendMessage(ui::WM_TIMER, IDT_POSITION);  // the position poll
        return GrabbedNumber() == s.shown && dialog.ItemText(IDC_FRAME_EDIT) == want;
      })) << "shows " << GrabbedNumber() << ", the field says " << dialog.ItemText(IDC_FRAME_EDIT);
      // It stays so: the next polls name the same frame.
      for (int i = 0; i < 3; ++i) {
        media::GraphState state;
        dialog.Player().graph()->GetState(5000, &state);
        dialog.SendMessage(ui::WM_TIMER, IDT_POSITION);
      }
      EXPECT_EQ(GrabbedNumber(), s.shown);
      EXPECT_EQ(dialog.ItemText(IDC_FRAME_EDIT), want);
      from = s.shown;
    }
    EXPECT_TRUE(Boxes().empty());
  }
}

// ---------------------------------------------------------------- start-up, splash

class SplashTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterResources();
    EnableSplashScreen(true);
  }
  void TearDown() override {
    EnableSplashScreen(false);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }
  uitest::RecordingServices services;
};

TEST_F(SplashTest, ShowsTheBitmapForOneAndAHalfSeconds) {
  CEnhancerDlg dialog;
  ASSERT_TRUE(dialog.Create());
  ASSERT_NE(g_splashWnd, nullptr);
  EXPECT_TRUE(g_splashWnd->isVisible());
  EXPECT_EQ(g_splashWnd->size(), QSize(450, 332));
  // At most one.
  CSplashWnd* first = g_splashWnd;
  ShowSplashScreen(&dialog);
  EXPECT_EQ(g_splashWnd, first);
  EXPECT_TRUE(WaitFor([] { return g_splashWnd == nullptr; }, 4.0));
  dialog.DestroyWindow();
}

TEST_F(SplashTest, NoSplashWithoutItsBitmapOrWhenSuppressed) {
  ui::UnregisterBitmap(IDB_SPLASH);
  {
    CEnhancerDlg dialog;
    ASSERT_TRUE(dialog.Create());
    EXPECT_EQ(g_splashWnd, nullptr);
    EXPECT_TRUE(services.boxes.empty());
    dialog.DestroyWindow();
  }
  RegisterResources();
  EnableSplashScreen(false);
  CEnhancerDlg dialog;
  ASSERT_TRUE(dialog.Create());
  EXPECT_EQ(g_splashWnd, nullptr);
  dialog.DestroyWindow();
}

// The application runs the dialog modally; the command line only decides
// the splash window; a file name on it opens nothing.
TEST_F(SplashTest, InitInstanceRunsTheDialogAndReturnsFalse) {
  struct Case {
    std::vector<std::string> arguments;
    bool splash;
  } cases[] = {{{}, true}, {{"/Embedding"}, false}, {{"-automation"}, false}, {{"video.avi"}, true}};
  for (const Case& c : cases) {
    bool sawSplash = false;
    bool sawDialog = false;
    services.onModal = [&](QDialog* d) {
      sawDialog = theApp.m_pMainWnd == d && theApp.m_hAccel != nullptr;
      sawSplash = g_splashWnd != nullptr;
      // The application's accelerators are in place: Ctrl+H asks for help.
      QTest::keyClick(d, Qt::Key_H, Qt::ControlModifier);
      QTest::keyClick(d, Qt::Key_Escape);
      return 0;
    };
    EXPECT_FALSE(theApp.InitInstance(c.arguments));
    EXPECT_TRUE(sawDialog);
    ASSERT_FALSE(services.helps.empty());
    EXPECT_EQ(services.helps.front().command, ui::HELP_CONTEXT);
    services.helps.clear();
    EXPECT_EQ(sawSplash, c.splash) << (c.arguments.empty() ? "" : c.arguments[0]);
    EXPECT_EQ(theApp.m_pMainWnd, nullptr);
    EXPECT_TRUE(services.fileRequests.empty());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(g_splashWnd, nullptr);
  }
}

}  // namespace

namespace {

// The real modal loop ends on Escape, and on the Exit menu item, and the
// program's start-up then returns.
TEST(ModalLoopTest, EscapeAndExitEndTheModalLoop) {
  uitest::RecordingServices services;
  RegisterResources();
  for (int way = 0; way < 2; ++way) {
    services.onModal = [way](QDialog* d) {
      QTimer::singleShot(20, d, [d, way] {
        if (way == 0)
          QTest::keyClick(d, Qt::Key_Escape);
        else
          static_cast<ui::Dialog*>(d)->MenuBar()->actions()[0]->menu()->actions().back()->trigger();
      });
      return d->exec();
    };
    EXPECT_FALSE(theApp.InitInstance({"/Embedding"}));
    EXPECT_EQ(services.modalDialogs.size(), static_cast<std::size_t>(way + 1));
  }
}

}  // namespace
