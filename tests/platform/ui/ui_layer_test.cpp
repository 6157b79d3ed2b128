// The UI layer: dialogs from templates, notifications, data exchange,
// accelerators, timers, keys of the dialog, the command line.
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <QWhatsThis>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include "platform/ui/ui.h"
#include "tests/platform/ui/recording_services.h"

namespace {

using ui::ControlKind;

enum : int {
  kEdit = 10, kNumberEdit = 11, kSpin = 12, kCheck = 13, kRadioA = 20, kRadioB = 21, kRadioC = 22,
  kRadioX = 30, kRadioY = 31, kSlider = 40, kBar = 41, kVBar = 42, kButton = 50, kOther = 51, kProgress = 60,
  kLabel = 70, kFloatEdit = 80,
};

constexpr auto& C = ui::MakeControl;

ui::DialogTemplate TestTemplate() {
  ui::DialogTemplate t;
  t.id = 7;
  t.caption = "Test dialog";
  t.fontName = "MS Sans Serif";
  t.width = 300;
  t.height = 200;
  t.controls = {
      C(kLabel, ControlKind::Label, ui::kStyleNone, "Label:", 5, 5, 40, 10),
      C(kEdit, ControlKind::Edit, ui::kReadOnly | ui::kCentre, "", 50, 5, 40, 14),
      C(kNumberEdit, ControlKind::Edit, ui::kReadOnly | ui::kNumber, "", 100, 5, 20, 14),
      C(kSpin, ControlKind::UpDown, ui::kVertical | ui::kSetBuddyInt | ui::kArrowKeys, "", 120, 5, 10, 14),
      C(kCheck, ControlKind::CheckBox, ui::kStyleNone, "Check", 5, 25, 50, 10),
      C(kRadioA, ControlKind::RadioButton, ui::kGroup, "A", 5, 40, 30, 10),
      C(kRadioB, ControlKind::RadioButton, ui::kStyleNone, "B", 40, 40, 30, 10),
      C(kRadioC, ControlKind::RadioButton, ui::kStyleNone, "C", 75, 40, 30, 10),
      C(kRadioX, ControlKind::RadioButton, ui::kGroup, "X", 5, 55, 30, 10),
      C(kRadioY, ControlKind::RadioButton, ui::kStyleNone, "Y", 40, 55, 30, 10),
      C(kSlider, ControlKind::Slider, ui::kTicksTop, "", 5, 70, 120, 20),
      C(kBar, ControlKind::ScrollBar, ui::kHorizontal, "", 5, 95, 200, 11),
      C(kVBar, ControlKind::ScrollBar, ui::kVertical, "", 280, 5, 11, 100),
      C(kFloatEdit, ControlKind::Edit, ui::kAutoHScroll, "", 5, 110, 40, 14),
      C(kButton, ControlKind::PushButton, ui::kStyleNone, "Button", 5, 130, 50, 14),
      C(kOther, ControlKind::PushButton, ui::kStyleNone, "Other", 60, 130, 50, 14),
      C(kProgress, ControlKind::Progress, ui::kStyleNone, "", 5, 180, 290, 9),
  };
  return t;
}

ui::MenuTemplate TestMenu() { return {1, {{"&File", {{"&Open", 500}, {"", 0}, {"E&xit", ui::IDOK}}}}}; }

// Records every message its window procedure receives; the values it
// exchanges are plain members.
class TestDialog : public ui::Dialog {
 public:
  TestDialog() : ui::Dialog(TestTemplate(), &menu_) {}
  std::vector<ui::Message> messages;
  int check = 0, radio = 1, radio2 = 0;
  float number = 1.0f;
  int afterNumber = 0;  // exchanged after the float
  int inits = 0;

  std::vector<ui::Message> Of(unsigned message) const {
    std::vector<ui::Message> out;
    for (const auto& m : messages)
      if (m.message == message) out.push_back(m);
    return out;
  }
  using ui::Dialog::keyPressEvent;

 protected:
  bool OnInitDialog() override {
    ++inits;
    return ui::Dialog::OnInitDialog();
  }
  void DoDataExchange(ui::DataExchange* dx) override {
    dx->Control(kSlider);
    dx->Check(kCheck, check);
    dx->Radio(kRadioA, radio);
    dx->TextFloat(kFloatEdit, number, 0.24f, 4.1f);
    dx->Radio(kRadioX, radio2);
    dx->Check(kCheck, afterNumber);
  }
  std::intptr_t WindowProc(const ui::Message& m) override {
    messages.push_back(m);
    return ui::Dialog::WindowProc(m);
  }

 private:
  static inline ui::MenuTemplate menu_ = TestMenu();
};

class UiLayerTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(dialog.Create()); }
  uitest::RecordingServices services;
  TestDialog dialog;
};

unsigned Code(const ui::Message& m) { return ui::LoWord(m.wParam); }
unsigned Pos(const ui::Message& m) { return ui::HiWord(m.wParam); }

TEST_F(UiLayerTest, ControlsAreBuiltFromTheTemplate) {
  EXPECT_EQ(dialog.inits, 1);
  EXPECT_EQ(dialog.windowTitle().toStdString(), "Test dialog");
  EXPECT_NE(dialog.Item<QLineEdit>(kEdit), nullptr);
  EXPECT_TRUE(dialog.Item<QLineEdit>(kEdit)->isReadOnly());
  EXPECT_NE(dialog.Item<ui::Slider>(kSlider), nullptr);
  EXPECT_NE(dialog.Item<ui::ScrollBar>(kBar), nullptr);
  EXPECT_NE(dialog.Item<ui::UpDown>(kSpin), nullptr);
  EXPECT_NE(dialog.Item<QProgressBar>(kProgress), nullptr);
  EXPECT_EQ(dialog.GetDlgItem(999), nullptr);
  EXPECT_EQ(dialog.ItemText(kButton), "Button");
  EXPECT_EQ(dialog.ItemText(kLabel), "Label:");
  // Dialog units scale both ways: a control twice as wide is twice as wide.
  const QRect a = dialog.ItemRect(kButton), wide = dialog.ItemRect(kBar);
  EXPECT_NEAR(wide.width(), 4 * a.width(), 2);
  EXPECT_EQ(dialog.ItemRect(kRadioB).y(), dialog.ItemRect(kRadioA).y());
  EXPECT_GT(dialog.ItemRect(kRadioX).y(), dialog.ItemRect(kRadioA).y());
  // A new slider runs from 0 to 100, a progress bar too.
  EXPECT_EQ(dialog.Item<ui::Slider>(kSlider)->minimum(), 0);
  EXPECT_EQ(dialog.Item<ui::Slider>(kSlider)->maximum(), 100);
  EXPECT_EQ(dialog.Item<QProgressBar>(kProgress)->maximum(), 100);
  // No push button is a default button unless the template says so.
  EXPECT_FALSE(dialog.Item<QPushButton>(kButton)->isDefault());
  EXPECT_FALSE(dialog.Item<QPushButton>(kButton)->autoDefault());
  // The menu bar.
  ASSERT_NE(dialog.MenuBar(), nullptr);
  ASSERT_EQ(dialog.MenuBar()->actions().size(), 1);
  EXPECT_EQ(dialog.MenuBar()->actions()[0]->text().toStdString(), "&File");
}

TEST_F(UiLayerTest, RadioGroupsAreExclusiveOnTheirOwn) {
  dialog.radio = 2;
  dialog.radio2 = 1;
  dialog.UpdateData(false);
  EXPECT_TRUE(dialog.IsButtonChecked(kRadioC));
  EXPECT_TRUE(dialog.IsButtonChecked(kRadioY));
  QTest::mouseClick(dialog.Item<QRadioButton>(kRadioA), Qt::LeftButton);
  EXPECT_TRUE(dialog.IsButtonChecked(kRadioA));
  EXPECT_FALSE(dialog.IsButtonChecked(kRadioC));
  EXPECT_TRUE(dialog.IsButtonChecked(kRadioY));  // the other group keeps its button
  ASSERT_TRUE(dialog.UpdateData(true));
  EXPECT_EQ(dialog.radio, 0);
  EXPECT_EQ(dialog.radio2, 1);
  // A value outside the group leaves no button checked, and reads back -1.
  dialog.radio = 5;
  dialog.UpdateData(false);
  EXPECT_FALSE(dialog.IsButtonChecked(kRadioA) || dialog.IsButtonChecked(kRadioB) ||
               dialog.IsButtonChecked(kRadioC));
  ASSERT_TRUE(dialog.UpdateData(true));
  EXPECT_EQ(dialog.radio, -1);
  // Clicks are commands of the button.
  const auto commands = dialog.Of(ui::WM_COMMAND);
  ASSERT_FALSE(commands.empty());
  EXPECT_EQ(Code(commands.back()), static_cast<unsigned>(kRadioA));
  EXPECT_EQ(Pos(commands.back()), static_cast<unsigned>(ui::BN_CLICKED));
}

TEST_F(UiLayerTest, FloatIsShownWithSixDigits) {
  struct Case {
    float value;
    const char* text;
  } cases[] = {{1.0f, "1"}, {0.9f, "0.9"}, {1.067f, "1.067"}, {0.24f, "0.24"}, {4.1f, "4.1"}, {1.0f / 3, "0.333333"}};
  for (const Case& c : cases) {
    dialog.number = c.value;
    dialog.UpdateData(false);
    EXPECT_EQ(dialog.ItemText(kFloatEdit), c.text);
  }
}

// A text that is no number, or a number out of range, shows its message
// once, focuses the edit and stops the exchange: the float and every value
// after it keep what they held.
TEST_F(UiLayerTest, FloatValidationStopsTheExchange) {
  struct Case {
    const char* text;
    bool accepted;
    float value;
    const char* message;
  } cases[] = {
      {"2.5", true, 2.5f, nullptr},
      {" 0.5 ", true, 0.5f, nullptr},
      {"4.1", true, 4.1f, nullptr},
      {"0.24", true, 0.24f, nullptr},
      {"+1.5", true, 1.5f, nullptr},
      {"1e0", true, 1.0f, nullptr},
      {"5", false, 0, "Please enter a number between 0.24 and 4.1."},
      {"0", false, 0, "Please enter a number between 0.24 and 4.1."},
      {"-1", false, 0, "Please enter a number between 0.24 and 4.1."},
      {"4.11", false, 0, "Please enter a number between 0.24 and 4.1."},
      {"1e40", false, 0, "Please enter a number between 0.24 and 4.1."},
      {"", false, 0, "Please enter a number."},
      {"abc", false, 0, "Please enter a number."},
      {"1.5x", false, 0, "Please enter a number."},
      {"1,5", false, 0, "Please enter a number."},
      {"nan", false, 0, "Please enter a number."},
      {"inf", false, 0, "Please enter a number."},
      {"0x1", false, 0, "Please enter a number."},
      {".", false, 0, "Please enter a number."},
  };
  ui::SetApplicationTitle("Title");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    dialog.number = 1.0f;
    dialog.check = 0;
    dialog.afterNumber = 7;
    dialog.radio2 = 1;
    dialog.UpdateData(false);
    dialog.CheckButton(kCheck, true);
    dialog.CheckButton(kRadioX, true);
    dialog.SetItemText(kFloatEdit, c.text);
    services.boxes.clear();
    dialog.SetFocusTo(kButton);
    const bool ok = dialog.UpdateData(true);
    EXPECT_EQ(ok, c.accepted);
    EXPECT_EQ(dialog.check, 1);  // exchanged before the float
    if (c.accepted) {
      EXPECT_FLOAT_EQ(dialog.number, c.value);
      EXPECT_TRUE(services.boxes.empty());
      EXPECT_EQ(dialog.radio2, 0);
      EXPECT_EQ(dialog.afterNumber, 1);
    } else {
      EXPECT_EQ(dialog.number, 1.0f);
      EXPECT_EQ(dialog.radio2, 1);
      EXPECT_EQ(dialog.afterNumber, 7);
      ASSERT_EQ(services.boxes.size(), 1u);
      EXPECT_EQ(services.boxes[0].text, c.message);
      EXPECT_EQ(services.boxes[0].caption, "Title");
      EXPECT_EQ(services.boxes[0].style & 0xF0u, ui::MB_ICONEXCLAMATION);
      EXPECT_EQ(dialog.FocusId(), kFloatEdit);
    }
  }
}

TEST_F(UiLayerTest, EditReportsChangesAlsoWhenCodeSetsTheText) {
  dialog.messages.clear();
  dialog.SetItemText(kEdit, "12");
  dialog.SetItemText(kEdit, "12");  // no change, no notice
  dialog.SetItemText(kEdit, "13");
  int changes = 0;
  for (const auto& m : dialog.Of(ui::WM_COMMAND))
    if (Code(m) == static_cast<unsigned>(kEdit) && Pos(m) == static_cast<unsigned>(ui::EN_CHANGE)) ++changes;
  EXPECT_EQ(changes, 2);
}

TEST_F(UiLayerTest, SliderReportsWhatTheUserDoesOnly) {
  auto* slider = dialog.Item<ui::Slider>(kSlider);
  dialog.messages.clear();
  slider->SetPosition(30);
  slider->SetRange(0, 100);
  EXPECT_EQ(slider->Position(), 30);
  EXPECT_TRUE(dialog.Of(ui::WM_HSCROLL).empty());

  // A key moves the thumb, then reports the line code with the new position
  // and, when the key is released, the end code.
  slider->setFocus();
  QTest::keyClick(slider, Qt::Key_Right);
  auto scrolls = dialog.Of(ui::WM_HSCROLL);
  ASSERT_EQ(scrolls.size(), 2u);
  EXPECT_EQ(Code(scrolls[0]), static_cast<unsigned>(ui::SB_LINEDOWN));
  EXPECT_EQ(Pos(scrolls[0]), 31u);
  EXPECT_EQ(scrolls[0].lParam, kSlider);
  EXPECT_EQ(Code(scrolls[1]), static_cast<unsigned>(ui::SB_ENDSCROLL));
  EXPECT_EQ(slider->Position(), 31);

  // At the end of the range a key still reports, and ends.
  slider->SetPosition(100);
  dialog.messages.clear();
  QTest::keyClick(slider, Qt::Key_End);
  scrolls = dialog.Of(ui::WM_HSCROLL);
  ASSERT_EQ(scrolls.size(), 2u);
  EXPECT_EQ(Code(scrolls[0]), static_cast<unsigned>(ui::SB_BOTTOM));
  EXPECT_EQ(Code(scrolls[1]), static_cast<unsigned>(ui::SB_ENDSCROLL));

  // Dragging the thumb: tracking while the mouse holds it, the thumb
  // position when it is let go, then the end code.
  slider->SetPosition(0);
  dialog.messages.clear();
  slider->setSliderDown(true);
  EXPECT_EQ(dialog.CaptureId(), kSlider);
  slider->setSliderPosition(40);
  slider->setSliderPosition(60);
  slider->setSliderDown(false);
  QMouseEvent release(QEvent::MouseButtonRelease, QPointF(1, 1), QPointF(1, 1), Qt::LeftButton, Qt::NoButton,
                      Qt::NoModifier);
  QApplication::sendEvent(slider, &release);
  scrolls = dialog.Of(ui::WM_HSCROLL);
  ASSERT_GE(scrolls.size(), 4u);
  EXPECT_EQ(Code(scrolls[0]), static_cast<unsigned>(ui::SB_THUMBTRACK));
  EXPECT_EQ(Pos(scrolls[0]), 40u);
  EXPECT_EQ(Code(scrolls[1]), static_cast<unsigned>(ui::SB_THUMBTRACK));
  EXPECT_EQ(Pos(scrolls[1]), 60u);
  EXPECT_EQ(Code(scrolls[2]), static_cast<unsigned>(ui::SB_THUMBPOSITION));
  EXPECT_EQ(Pos(scrolls[2]), 60u);
  EXPECT_EQ(Code(scrolls.back()), static_cast<unsigned>(ui::SB_ENDSCROLL));
  EXPECT_EQ(dialog.CaptureId(), 0);
}

// A scroll bar reports and stays where it is until its owner moves it.
TEST_F(UiLayerTest, ScrollBarLeavesItsPositionToTheOwner) {
  auto* bar = dialog.Item<ui::ScrollBar>(kBar);
  bar->SetRange(0, 200);
  bar->SetPosition(50);
  dialog.messages.clear();
  bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
  bar->triggerAction(QAbstractSlider::SliderToMaximum);
  bar->triggerAction(QAbstractSlider::SliderToMinimum);
  auto scrolls = dialog.Of(ui::WM_HSCROLL);
  ASSERT_EQ(scrolls.size(), 3u);
  EXPECT_EQ(Code(scrolls[0]), static_cast<unsigned>(ui::SB_LINEDOWN));
  EXPECT_EQ(Code(scrolls[1]), static_cast<unsigned>(ui::SB_BOTTOM));
  EXPECT_EQ(Code(scrolls[2]), static_cast<unsigned>(ui::SB_TOP));
  EXPECT_EQ(bar->Position(), 50);
  // Thumb tracking carries the position asked for.
  dialog.messages.clear();
  bar->setSliderDown(true);
  bar->setSliderPosition(120);
  bar->setSliderDown(false);
  scrolls = dialog.Of(ui::WM_HSCROLL);
  ASSERT_GE(scrolls.size(), 1u);
  EXPECT_EQ(Code(scrolls[0]), static_cast<unsigned>(ui::SB_THUMBTRACK));
  EXPECT_EQ(Pos(scrolls[0]), 120u);
  // The vertical bar reports as WM_VSCROLL.
  auto* vbar = dialog.Item<ui::ScrollBar>(kVBar);
  vbar->SetRange(0, 10);
  dialog.messages.clear();
  vbar->triggerAction(QAbstractSlider::SliderSingleStepSub);
  ASSERT_EQ(dialog.Of(ui::WM_VSCROLL).size(), 1u);
  EXPECT_EQ(Code(dialog.Of(ui::WM_VSCROLL)[0]), static_cast<unsigned>(ui::SB_LINEUP));
  EXPECT_EQ(dialog.Of(ui::WM_VSCROLL)[0].lParam, kVBar);
}

TEST_F(UiLayerTest, UpDownStepsFromItsBuddysNumberWithinItsRange) {
  auto* spin = dialog.Item<ui::UpDown>(kSpin);
  spin->SetRange(1, 8);
  spin->SetPosition(1);
  EXPECT_EQ(dialog.ItemText(kNumberEdit), "1");
  spin->Step(-1);
  EXPECT_EQ(dialog.ItemText(kNumberEdit), "1");
  dialog.SetItemText(kNumberEdit, "6");  // written by code: the next step starts there
  spin->Step(+1);
  EXPECT_EQ(dialog.ItemText(kNumberEdit), "7");
  spin->Step(+1);
  spin->Step(+1);
  EXPECT_EQ(dialog.ItemText(kNumberEdit), "8");
  // The buddy's Up and Down keys step it, also in a read-only edit.
  QTest::keyClick(dialog.Item<QLineEdit>(kNumberEdit), Qt::Key_Down);
  EXPECT_EQ(dialog.ItemText(kNumberEdit), "7");
  // A disabled up-down does not step.
  spin->setEnabled(false);
  spin->Step(+1);
  EXPECT_EQ(dialog.ItemText(kNumberEdit), "7");
  // A range given high first is the same range.
  spin->setEnabled(true);
  spin->SetRange(5, 0);
  EXPECT_EQ(spin->Low(), 0);
  EXPECT_EQ(spin->High(), 5);
}

TEST_F(UiLayerTest, KeysOfTheDialog) {
  // Enter on a push button clicks it; Enter elsewhere is IDOK; Escape is
  // IDCANCEL, and so is the close box.
  dialog.SetFocusTo(kButton);
  dialog.messages.clear();
  QTest::keyClick(dialog.Item<QPushButton>(kButton), Qt::Key_Return);
  auto commands = dialog.Of(ui::WM_COMMAND);
  ASSERT_EQ(commands.size(), 1u);
  EXPECT_EQ(Code(commands[0]), static_cast<unsigned>(kButton));
  EXPECT_FALSE(dialog.Ended());

  dialog.SetFocusTo(kCheck);
  dialog.messages.clear();
  QTest::keyClick(dialog.Item<QCheckBox>(kCheck), Qt::Key_Return);
  commands = dialog.Of(ui::WM_COMMAND);
  ASSERT_EQ(commands.size(), 1u);
  EXPECT_EQ(Code(commands[0]), static_cast<unsigned>(ui::IDOK));
  EXPECT_TRUE(dialog.Ended());
  EXPECT_EQ(dialog.Result(), ui::IDOK);
}

TEST(UiLayerEndTest, EscapeAndCloseAreCancel) {
  uitest::RecordingServices services;
  for (int way = 0; way < 2; ++way) {
    TestDialog dialog;
    ASSERT_TRUE(dialog.Create());
    dialog.messages.clear();
    if (way == 0) {
      QTest::keyClick(&dialog, Qt::Key_Escape);
    } else {
      QCloseEvent close;
      QApplication::sendEvent(&dialog, &close);
    }
    const auto commands = dialog.Of(ui::WM_COMMAND);
    ASSERT_EQ(commands.size(), 1u) << way;
    EXPECT_EQ(Code(commands[0]), static_cast<unsigned>(ui::IDCANCEL));
    EXPECT_TRUE(dialog.Ended());
    EXPECT_EQ(dialog.Result(), ui::IDCANCEL);
  }
}

TEST_F(UiLayerTest, MenuItemsSendTheirCommands) {
  QMenu* file = dialog.MenuBar()->actions()[0]->menu();
  ASSERT_NE(file, nullptr);
  const auto actions = file->actions();
  ASSERT_EQ(actions.size(), 3);
  EXPECT_TRUE(actions[1]->isSeparator());
  dialog.messages.clear();
  actions[0]->trigger();
  auto commands = dialog.Of(ui::WM_COMMAND);
  ASSERT_EQ(commands.size(), 1u);
  EXPECT_EQ(Code(commands[0]), 500u);
  // Opening the menu is a menu loop.
  dialog.messages.clear();
  emit file->aboutToShow();
  emit file->aboutToHide();
  EXPECT_EQ(dialog.Of(ui::WM_ENTERMENULOOP).size(), 1u);
  EXPECT_EQ(dialog.Of(ui::WM_EXITMENULOOP).size(), 1u);
}

// Accelerators act wherever the focus is inside their window, also in a
// read-only edit that would take Ctrl+C itself; only with the exact
// modifiers; never during the pump of a long operation.
TEST_F(UiLayerTest, AcceleratorsActAcrossTheWindow) {
  const ui::AcceleratorTable table{1, {{'C', ui::kModControl, 600}, {'O', ui::kModControl, 601}}};
  ui::SetPreTranslateMessage(
      [&](const ui::KeyMessage& m) { return ui::TranslateAccelerator(&dialog, &table, m); });
  auto* edit = dialog.Item<QLineEdit>(kEdit);
  dialog.SetItemText(kEdit, "copy me");
  auto commandsOf = [&](unsigned id) {
    int n = 0;
    for (const auto& m : dialog.Of(ui::WM_COMMAND))
      if (Code(m) == id) {
        EXPECT_EQ(Pos(m), static_cast<unsigned>(ui::CMD_FROM_ACCELERATOR));
        ++n;
      }
    return n;
  };
  dialog.messages.clear();
  QTest::keyClick(edit, Qt::Key_C, Qt::ControlModifier);
  QTest::keyClick(dialog.Item<ui::Slider>(kSlider), Qt::Key_O, Qt::ControlModifier);
  EXPECT_EQ(commandsOf(600), 1);
  EXPECT_EQ(commandsOf(601), 1);
  QTest::keyClick(edit, Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
  QTest::keyClick(edit, Qt::Key_C);
  EXPECT_EQ(commandsOf(600), 1);

  // Not in another window.
  QWidget other;
  QLineEdit otherEdit(&other);
  QTest::keyClick(&otherEdit, Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(commandsOf(600), 1);

  // Not while a long operation pumps the queue.
  QTimer::singleShot(0, edit, [edit] { QTest::keyClick(edit, Qt::Key_C, Qt::ControlModifier); });
  ui::PumpPendingMessages();
  EXPECT_EQ(commandsOf(600), 1);
  EXPECT_FALSE(ui::InMessagePump());
  ui::SetPreTranslateMessage(nullptr);
}

TEST_F(UiLayerTest, TimersAndPostedMessagesReachTheWindowProcedure) {
  ASSERT_TRUE(dialog.SetTimer(5, 10));
  EXPECT_TRUE(dialog.TimerRunning(5));
  for (int i = 0; i < 200 && dialog.Of(ui::WM_TIMER).size() < 2; ++i) QTest::qWait(5);
  ASSERT_GE(dialog.Of(ui::WM_TIMER).size(), 2u);
  EXPECT_EQ(dialog.Of(ui::WM_TIMER)[0].wParam, 5u);
  EXPECT_TRUE(dialog.KillTimer(5));
  EXPECT_FALSE(dialog.KillTimer(5));
  const std::size_t ticks = dialog.Of(ui::WM_TIMER).size();
  QTest::qWait(30);
  EXPECT_EQ(dialog.Of(ui::WM_TIMER).size(), ticks);

  // Posted from another thread, handled on this one.
  std::thread poster([this] { dialog.PostMessage(0x8001, 7, 9); });
  poster.join();
  EXPECT_TRUE(dialog.Of(0x8001).empty());
  QCoreApplication::sendPostedEvents(&dialog);
  ASSERT_EQ(dialog.Of(0x8001).size(), 1u);
  EXPECT_EQ(dialog.Of(0x8001)[0].wParam, 7u);
  EXPECT_EQ(dialog.Of(0x8001)[0].lParam, 9);
}

TEST_F(UiLayerTest, DestroyingTheWindowStopsItsTimers) {
  dialog.SetTimer(3, 10);
  dialog.messages.clear();
  EXPECT_TRUE(dialog.DestroyWindow());
  EXPECT_EQ(dialog.Of(ui::WM_DESTROY).size(), 1u);
  EXPECT_FALSE(dialog.TimerRunning(3));
  EXPECT_FALSE(dialog.DestroyWindow());
}

TEST(UiLayerModalTest, DoModalRunsThroughTheServices) {
  uitest::RecordingServices services;
  TestDialog dialog;
  services.onModal = [&](QDialog* d) {
    EXPECT_EQ(d, &dialog);
    EXPECT_TRUE(dialog.IsWindowCreated());
    dialog.SendMessage(ui::WM_COMMAND, ui::MakeWParam(ui::IDCANCEL, 0));
    return 0;
  };
  EXPECT_EQ(dialog.DoModal(), ui::IDCANCEL);
  ASSERT_EQ(services.modalDialogs.size(), 1u);
  EXPECT_EQ(services.modalDialogs[0], "Test dialog");
  EXPECT_EQ(dialog.inits, 1);
  EXPECT_EQ(dialog.Of(ui::WM_DESTROY).size(), 1u);
}

TEST(CommandLineTest, OnlyEmbeddingAndAutomationTurnTheSplashOff) {
  struct Case {
    std::vector<std::string> arguments;
    bool splash;
  } cases[] = {
      {{}, true},
      {{"/Embedding"}, false},
      {{"-automation"}, false},
      {{"/EMBEDDING"}, false},
      {{"-AuToMaTiOn"}, false},
      {{"video.avi"}, true},
      {{"Embedding"}, true},
      {{"/Embed"}, true},
      {{"--embedding"}, true},
      {{"/"}, true},
      {{"-p", "video.avi", "/dde"}, true},
      {{"video.avi", "/Embedding"}, false},
  };
  for (const Case& c : cases) {
    ui::CommandLineInfo info;
    ui::ParseCommandLine(c.arguments, &info);
    EXPECT_EQ(info.m_bShowSplash, c.splash) << (c.arguments.empty() ? "" : c.arguments[0]);
  }
}

TEST(FileFilterTest, PatternsBecomeTheQtFilterAndTheNameStays) {
  EXPECT_EQ(ui::QtFilterString({"Video Files (*.avi; *.qt)", "*.avi; *.qt"}),
            "Video Files (*.avi; *.qt) (*.avi *.qt)");
  EXPECT_EQ(ui::QtFilterString({"All Files (*.*)", "*.*;"}), "All Files (*.*) (*)");
  EXPECT_EQ(ui::QtFilterString({"JPEG (*.jpg, *.jpeg)", "*.jpg;*.jpeg"}), "JPEG (*.jpg, *.jpeg) (*.jpg *.jpeg)");
}

TEST(ResourceTest, MissingResourcesLoadAsNull) {
  EXPECT_TRUE(ui::LoadBitmap(424242).isNull());
  EXPECT_TRUE(ui::LoadIcon(424242).isNull());
  ui::RegisterBitmap(424242, [] { return QImage(4, 3, QImage::Format_RGB888); });
  EXPECT_EQ(ui::LoadBitmap(424242).size(), QSize(4, 3));
  ui::UnregisterBitmap(424242);
  EXPECT_TRUE(ui::LoadBitmap(424242).isNull());
  EXPECT_NE(ui::DefaultHelpFilePath().find(".HLP"), std::string::npos);
}

}  // namespace

namespace {

// A bottom-up 24-bit device-independent bitmap of w x h pixels whose pixel
// (x, y from the top) is (red x*40, green y*60, blue 7).
std::vector<std::uint8_t> Dib(int w, int h, int bpp = 24) {
  const int rowBytes = ((w * bpp + 31) / 32) * 4;
  std::vector<std::uint8_t> dib(40 + static_cast<std::size_t>(rowBytes) * h, 0);
  auto put32 = [&](int at, std::uint32_t v) { std::memcpy(&dib[at], &v, 4); };
  auto put16 = [&](int at, std::uint16_t v) { std::memcpy(&dib[at], &v, 2); };
  put32(0, 40);
  put32(4, static_cast<std::uint32_t>(w));
  put32(8, static_cast<std::uint32_t>(h));
  put16(12, 1);
  put16(14, static_cast<std::uint16_t>(bpp));
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      std::uint8_t* p = &dib[40 + static_cast<std::size_t>(h - 1 - y) * rowBytes + x * (bpp / 8)];
      p[0] = 7;
      p[1] = static_cast<std::uint8_t>(y * 60);
      p[2] = static_cast<std::uint8_t>(x * 40);
    }
  return dib;
}

}  // namespace

// The desktop clipboard takes the program's bitmaps upright and in colour
// order; anything it cannot read is refused without touching memory past
// the block.
TEST(ClipboardTest, BitmapsGoToTheClipboardUpright) {
  ui::Services& desktop = ui::GetServices();  // the Qt services: nothing is installed
  for (int w : {1, 3, 5}) {
    const auto dib = Dib(w, 2);
    ASSERT_TRUE(desktop.SetClipboardDib(dib.data(), dib.size())) << w;
    const QImage got = QGuiApplication::clipboard()->image();
    ASSERT_EQ(got.size(), QSize(w, 2));
    for (int y = 0; y < 2; ++y)
      for (int x = 0; x < w; ++x) EXPECT_EQ(got.pixel(x, y), qRgb(x * 40, y * 60, 7)) << x << "," << y;
  }
  const auto good = Dib(3, 2);
  std::vector<std::uint8_t> bad = good;
  EXPECT_FALSE(desktop.SetClipboardDib(nullptr, 0));
  EXPECT_FALSE(desktop.SetClipboardDib(good.data(), 39));
  EXPECT_FALSE(desktop.SetClipboardDib(good.data(), good.size() - 1));  // last row cut short
  bad[14] = 8;  // 8 bits per pixel: not a layout the program writes
  EXPECT_FALSE(desktop.SetClipboardDib(bad.data(), bad.size()));
  bad = good;
  bad[4] = 0;  // no width
  EXPECT_FALSE(desktop.SetClipboardDib(bad.data(), bad.size()));
  bad = good;
  bad[16] = 1;  // compressed
  EXPECT_FALSE(desktop.SetClipboardDib(bad.data(), bad.size()));
  bad = good;
  bad[32] = 0xFF;  // a palette larger than the block
  bad[33] = 0xFF;
  EXPECT_FALSE(desktop.SetClipboardDib(bad.data(), bad.size()));
}

// The desktop's context help shows a control's topic text; controls without
// an entry, or whose topic has no text, show nothing.
TEST(ContextHelpTest, TopicsWithATextAreShown) {
  ui::Services& desktop = ui::GetServices();
  ui::SetHelpTopics({{0x80660001u, "The first control."}});
  const std::vector<ui::HelpIdPair> table = {{1, 0x80660001u}, {2, 0x8088FFFFu}, {0, 0}};
  QWidget control;
  control.resize(40, 20);
  control.show();
  EXPECT_TRUE(desktop.ContextHelp(&control, ui::HELP_WM_HELP, 1, table));
  EXPECT_TRUE(desktop.ContextHelp(nullptr, ui::HELP_CONTEXTMENU, 1, table));
  EXPECT_FALSE(desktop.ContextHelp(&control, ui::HELP_WM_HELP, 2, table));  // no text for it
  EXPECT_FALSE(desktop.ContextHelp(&control, ui::HELP_WM_HELP, 3, table));  // no entry
  EXPECT_FALSE(desktop.ContextHelp(&control, ui::HELP_WM_HELP, 0, table));  // the end mark is no entry
  QWhatsThis::hideText();
  // No help engine: nothing to quit, nothing to open.
  EXPECT_TRUE(desktop.WinHelp("x.HLP", ui::HELP_QUIT, 0));
  EXPECT_FALSE(desktop.WinHelp("x.HLP", ui::HELP_CONTEXT, 0x20066));
  ui::SetHelpTopics({});
}

// A modal box shown while a control holds the mouse (a capture's progress
// bar) gets the clicks: the grab is lifted while the box is up and comes
// back afterwards, unless the dialog released its capture meanwhile.
TEST(MessageBoxTest, ModalBoxLiftsTheMouseCaptureWhileItIsUp) {
  ui::Services& desktop = ui::GetServices();  // the Qt services: nothing is installed
  TestDialog dialog;
  ASSERT_TRUE(dialog.Create());
  QWidget* bar = dialog.GetDlgItem(kProgress);
  ASSERT_NE(bar, nullptr);
  for (bool releaseMeanwhile : {false, true}) {
    SCOPED_TRACE(releaseMeanwhile);
    dialog.SetCapture(kProgress);
    ASSERT_EQ(QWidget::mouseGrabber(), bar);
    QWidget* grabberWhileUp = bar;
    bool boxSeen = false;
    QTimer::singleShot(0, [&] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      boxSeen = box != nullptr;
      grabberWhileUp = QWidget::mouseGrabber();
      if (releaseMeanwhile) dialog.ReleaseCapture();
      if (box) box->accept();
    });
    EXPECT_EQ(desktop.MessageBox(&dialog, "Please enter a number.", "Test", ui::MB_OK), ui::IDOK);
    EXPECT_TRUE(boxSeen);
    EXPECT_EQ(grabberWhileUp, nullptr);
    EXPECT_EQ(QWidget::mouseGrabber(), releaseMeanwhile ? nullptr : bar);
    dialog.ReleaseCapture();
  }
  EXPECT_EQ(QWidget::mouseGrabber(), nullptr);
}

// A popup (the splash window) stays a frameless window above its owner, also
// under a window manager that stacks the owner, mapped after it, on top.
TEST(PopupWindowTest, StaysAboveItsOwner) {
  QWidget owner;
  owner.resize(200, 100);
  owner.show();
  ui::PopupWindow popup;
  ASSERT_TRUE(popup.CreatePopup(&owner, 0, 0, 50, 40));
  EXPECT_TRUE(popup.isWindow());
  EXPECT_EQ(popup.parentWidget(), &owner);
  EXPECT_TRUE(popup.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
  EXPECT_TRUE(popup.windowFlags().testFlag(Qt::FramelessWindowHint));
  popup.DestroyWindow();
}
