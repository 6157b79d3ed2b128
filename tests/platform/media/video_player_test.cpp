#include "app/video_player.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <thread>
#include <vector>

#include "app/grabbed_frame.h"
#include "tests/platform/media/media_test_util.h"

using testvideo::VideoSpec;

namespace {

// Stands in for the dialog and the UI layer and records what the player asks.
class FakeHost : public PlayerHost {
 public:
  std::string nextFile;
  bool chooseResult = true;
  bool timerStarts = true;
  bool attachResult = true;
  int speed = 1;
  int slider = 0;
  bool sliderEnabled = false;
  std::string frameEdit;
  std::vector<std::string> errors;
  std::vector<PlayerControls> controlsAtErrors;  // what the controls offered behind each message
  int beeps = 0;
  int spinLow = -1, spinHigh = -1;
  PlayerControls controls{};
  int updateData = 0;
  int videoOptionCalls = 0;
  float pixelRatio = 1.0f;
  bool interlaced = false;
  std::set<int> timers;
  std::shared_ptr<std::atomic<int>> posted = std::make_shared<std::atomic<int>>(0);
  media::VideoSurface* surface = nullptr;
  bool busy = false;  // the window shows that it is working
  int attaches = 0, detaches = 0;
  std::vector<std::string> requestTitles;

  void ShowError(const std::string& text) override {
    errors.push_back(text);
    controlsAtErrors.push_back(controls);
  }
  void Beep() override { ++beeps; }
  bool ChooseVideoFile(const OpenFileRequest& request, std::string* fileName) override {
    requestTitles.push_back(request.title);
    if (chooseResult) *fileName = nextFile;
    return chooseResult;
  }
  void SetFrameSpinRange(int low, int high) override {
    spinLow = low;
    spinHigh = high;
  }
  bool ReadSpeed(int* value) override {
    *value = speed;
    return true;
  }
  int PositionSlider() override { return slider; }
  void SetPositionSlider(int position) override { slider = position; }
  void EnablePositionSlider(bool enable) override { sliderEnabled = enable; }
  std::string FrameEditText() override { return frameEdit.substr(0, 9); }
  void SetFrameEditText(const std::string& text) override { frameEdit = text; }
  void SetPlayerControls(const PlayerControls& c) override {
    controls = c;
    if (c.setSlider) sliderEnabled = c.sliderEnabled;
  }
  void UpdateDataToControls() override { ++updateData; }
  void SetVideoOptions(float ratio, bool inter) override {
    ++videoOptionCalls;
    pixelRatio = ratio;
    interlaced = inter;
  }
  bool StartTimer(int id, int periodMs) override {
    EXPECT_EQ(periodMs, 100);
    if (!timerStarts) return false;
    timers.insert(id);
    return true;
  }
  void KillTimer(int id) override { timers.erase(id); }
  void ShowBusy(bool b) override {
    EXPECT_NE(b, busy);  // turned on and off in turn
    busy = b;
  }
  media::NotifyHook GraphMessagePoster() override {
    auto counter = posted;
    return [counter](unsigned message) {
      if (message == 0x8001) ++*counter;
    };
  }
  bool AttachVideo(media::VideoSurface* s) override {
    ++attaches;
    surface = s;
    return attachResult;
  }
  void DetachVideo() override {
    ++detaches;
    surface = nullptr;
  }
};

VideoSpec spec(const char* container, const char* codec, int width, int height, int frames,
               bool lossless = false) {
  VideoSpec s;
  s.container = container;
  s.codec = codec;
  s.width = width;
  s.height = height;
  s.frames = frames;
  s.gop = 12;
  s.bFrames = lossless ? 0 : 2;
  s.lossless = lossless;
  return s;
}

std::string standardVideo() { return mediatest::videoFor(spec("mp4", "libx264", 96, 64, 30)); }

int grabbedNumber() {
  const Image8uC3& im = g_grabbedFrame.image;
  return testvideo::readFrameNumber(reinterpret_cast<const std::uint8_t*>(im.data), im.width,
                                    im.height, im.step);
}

bool waitPaused(VideoPlayer& player) {
  media::GraphState state;
  return player.graph() && player.graph()->GetState(5000, &state) == media::kOk &&
         state == media::GraphState::Paused;
}

// Lets the streaming thread go and ends it before `hold` goes away.
struct ReleaseAtEnd {
  mediatest::HoldingCallback& hold;
  VideoPlayer& player;
  ~ReleaseAtEnd() {
    hold.releaseAll();
    player.OnDestroy();
  }
};

class PlayerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_firstDrag = true;
    g_initialDirGiven = false;
  }
  // Opens `path` and pauses at once.
  void openPaused(const std::string& path) {
    host.nextFile = path;
    player.OnOpenVideo();
    ASSERT_TRUE(host.errors.empty()) << host.errors.front();
    player.OnPlayPause();
    ASSERT_EQ(player.playState(), kPlayPaused);
    ASSERT_TRUE(waitPaused(player));
  }
  // Opens `path` paused, moves to `frame` and lets the position poll show it.
  void openPausedAt(const std::string& path, int frame) {
    ASSERT_NO_FATAL_FAILURE(openPaused(path));
    host.frameEdit = std::to_string(frame);
    player.OnFrameEditChange();
    ASSERT_TRUE(waitPaused(player));
    player.OnPositionTimer();
  }
  // The position poll; the dialog seeks on every change of the frame
  // field, the poll's too.
  void poll() {
    const std::string before = host.frameEdit;
    player.OnPositionTimer();
    if (host.frameEdit != before) player.OnFrameEditChange();
  }
  // An arrow key: adds `delta` to the number in the field.
  void press(int delta) {
    host.frameEdit = std::to_string(std::stoi(host.frameEdit) + delta);
    player.OnFrameEditChange();
  }
  // Waits for the graph's event and hands it to the player, which must have
  // stopped with the message of a video that can no longer be read.
  void expectStoppedAsUnreadable() {
    // Generous: a stalled pipe alone is waited for media::kInputWaitMs.
    for (int i = 0; i < 60000 && host.posted->load() == 0; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_GE(host.posted->load(), 1);
    player.OnGraphNotify();
    ASSERT_EQ(host.errors.size(), 1u);
    EXPECT_EQ(host.errors[0], kVideoUnreadableMessage);
    EXPECT_EQ(player.playState(), kPlayStopped);
    // Nothing more can be played or sought, from the message on.
    for (const PlayerControls& c : {host.controlsAtErrors[0], host.controls}) {
      EXPECT_FALSE(c.playEnabled);
      EXPECT_STREQ(c.playText, "Play   (Ctr-P)");
      EXPECT_FALSE(c.capture);
      EXPECT_FALSE(c.frame);
    }
    EXPECT_FALSE(host.sliderEnabled);
    player.OnPlayPause();
    EXPECT_EQ(player.playState(), kPlayStopped);
    EXPECT_STREQ(host.controls.playText, "Play   (Ctr-P)");
  }
  FakeHost host;
  VideoPlayer player{&host};
};

TEST_F(PlayerTest, OpenStartsPlaybackAndSetsTheControls) {
  host.nextFile = standardVideo();
  player.OnOpenVideo();
  EXPECT_TRUE(host.errors.empty());
  EXPECT_TRUE(player.videoLoaded());
  EXPECT_EQ(player.playState(), kPlayRunning);
  EXPECT_TRUE(player.seekable());
  EXPECT_EQ(player.frameCount(), 30);
  EXPECT_EQ(host.spinLow, 0);
  EXPECT_EQ(host.spinHigh, 29);
  EXPECT_TRUE(host.sliderEnabled);
  EXPECT_EQ(host.timers.count(100), 1u);
  EXPECT_STREQ(host.controls.playText, "Pause  (Ctr-P)");
  EXPECT_FALSE(host.controls.capture);
  EXPECT_NE(host.surface, nullptr);
  EXPECT_EQ(g_grabbedFrame.image.width, 96);
  EXPECT_EQ(g_grabbedFrame.image.height, 64);
  ASSERT_EQ(host.requestTitles.size(), 1u);
  EXPECT_EQ(host.requestTitles[0], "Open Media File...");
}

TEST_F(PlayerTest, EndOfStreamPausesOnFrameZero) {
  host.speed = 8;
  host.nextFile = standardVideo();
  player.OnOpenVideo();
  for (int i = 0; i < 5000 && host.posted->load() == 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  ASSERT_GE(host.posted->load(), 1);
  player.OnGraphNotify();
  EXPECT_EQ(player.playState(), kPlayPaused);
  EXPECT_TRUE(host.controls.capture);
  EXPECT_STREQ(host.controls.playText, "Play   (Ctr-P)");
  ASSERT_TRUE(waitPaused(player));
  EXPECT_EQ(grabbedNumber(), 0);
  player.OnPositionTimer();
  EXPECT_EQ(host.slider, 0);
  EXPECT_EQ(host.frameEdit, "0");
}

TEST_F(PlayerTest, FrameEditSeeksWhilePausedAndClamps) {
  openPaused(standardVideo());
  struct Case {
    const char* text;
    int frame;
  } cases[] = {{"17", 17}, {"99", 29}, {"-5", 0}, {"4", 4}, {"abc", 4}, {"29", 29}};
  for (const Case& c : cases) {
    host.frameEdit = c.text;
    player.OnFrameEditChange();
    ASSERT_TRUE(waitPaused(player));
    EXPECT_EQ(grabbedNumber(), c.frame) << c.text;
  }
  player.OnPositionTimer();
  EXPECT_EQ(host.slider, 29 * 100 / 30);
  EXPECT_EQ(host.frameEdit, "29");
  // Not while running.
  player.OnPlayPause();
  host.frameEdit = "3";
  player.OnFrameEditChange();
  player.PausePlayback();
  ASSERT_TRUE(waitPaused(player));
  EXPECT_NE(grabbedNumber(), 3);
}

TEST_F(PlayerTest, FirstSliderDragPausesTheGraphOnly) {
  host.nextFile = standardVideo();
  player.OnOpenVideo();
  host.slider = 50;
  player.OnPositionSliderTrack();
  EXPECT_FALSE(g_firstDrag);
  EXPECT_EQ(player.playState(), kPlayRunning);  // the state and buttons are not changed
  EXPECT_STREQ(host.controls.playText, "Pause  (Ctr-P)");
  ASSERT_TRUE(waitPaused(player));
  EXPECT_EQ(grabbedNumber(), 15);
  host.slider = 100;  // asks for the frame count itself
  player.OnPositionSliderTrack();
  ASSERT_TRUE(waitPaused(player));
  EXPECT_EQ(grabbedNumber(), 15);
}

// Holding an arrow key: every step is asked for before the frame of the one
// before has been handed over, and the position poll runs in between. The
// poll never writes an older frame number into the field (whose change would
// seek back), and the player ends on the last frame asked for.
TEST_F(PlayerTest, QuickStepsAreNotUndoneByThePositionPoll) {
  ASSERT_NO_FATAL_FAILURE(openPausedAt(standardVideo(), 5));
  mediatest::HoldingCallback hold(&g_grabberCallback);
  ReleaseAtEnd release{hold, player};
  player.graph()->SetCallback(&hold);
  press(+1);
  for (int step = 1; step <= 8; ++step) {
    SCOPED_TRACE(step);
    ASSERT_TRUE(hold.waitArrivals(step));  // a frame is being handed over
    poll();
    EXPECT_EQ(host.frameEdit, std::to_string(5 + step));
    press(+1);
    hold.release();
  }
  hold.releaseAll();
  ASSERT_TRUE(waitPaused(player));
  poll();
  EXPECT_EQ(host.frameEdit, "14");
  EXPECT_EQ(grabbedNumber(), 14);
}

// A step back returns before its frame has come: the window answers while
// the frame decodes, the field names the frame asked for, the window shows
// that it is working once the seek has lasted two polls, and no longer once
// the frame came.
TEST_F(PlayerTest, StepBackDoesNotWaitForItsFrame) {
  ASSERT_NO_FATAL_FAILURE(openPausedAt(standardVideo(), 20));
  mediatest::HoldingCallback hold(&g_grabberCallback);
  ReleaseAtEnd release{hold, player};
  player.graph()->SetCallback(&hold);
  press(-1);
  media::GraphState state;
  ASSERT_EQ(player.graph()->GetState(0, &state), media::kStateIntermediate);
  ASSERT_TRUE(hold.waitArrivals(1));  // frame 19 is being handed over
  poll();
  EXPECT_FALSE(host.busy);  // not for a moment
  poll();
  EXPECT_TRUE(host.busy);
  EXPECT_EQ(host.frameEdit, "19");
  hold.releaseAll();
  ASSERT_TRUE(waitPaused(player));
  poll();
  EXPECT_FALSE(host.busy);
  EXPECT_EQ(host.frameEdit, "19");
  EXPECT_EQ(grabbedNumber(), 19);
}

// Twenty presses of the down arrow while the first one's frame is still on
// its way (held inside the frame callback) go to one target: the graph
// decodes and shows the twentieth frame back, and nothing in between.
TEST_F(PlayerTest, QuickStepsBackGoToOneTarget) {
  ASSERT_NO_FATAL_FAILURE(openPausedAt(standardVideo(), 25));
  mediatest::RecordingCallback seen(96, 64);
  mediatest::HoldingCallback hold(&seen);
  ReleaseAtEnd release{hold, player};
  player.graph()->SetCallback(&hold);
  press(-1);
  media::GraphState state;
  ASSERT_EQ(player.graph()->GetState(0, &state), media::kStateIntermediate);
  ASSERT_TRUE(hold.waitArrivals(1));  // frame 24 is being handed over
  for (int step = 2; step <= 20; ++step) {
    press(-1);
    poll();
    EXPECT_EQ(host.frameEdit, std::to_string(25 - step));
  }
  hold.releaseAll();
  ASSERT_TRUE(waitPaused(player));
  poll();
  EXPECT_EQ(host.frameEdit, "5");
  EXPECT_EQ(seen.numbers(), (std::vector<int>{24, 5}));
}

// A step back onto frames that do not decode (their packets zeroed) walks
// back, poll by poll, to the nearest frame before them that does; the field
// keeps naming the frame asked for until then and names the frame shown at
// the end.
TEST_F(PlayerTest, StepBackOverFramesThatDoNotDecodeNamesTheFrameShown) {
  VideoSpec zeroed = spec("avi", "mpeg4", 96, 64, 30, true);
  zeroed.zeroedFrames = {16, 17};
  ASSERT_NO_FATAL_FAILURE(openPausedAt(mediatest::videoFor(zeroed), 19));
  ASSERT_EQ(host.frameEdit, "19");
  host.frameEdit = "17";
  player.OnFrameEditChange();
  for (int round = 0; round < 10 && host.frameEdit == "17"; ++round) {
    ASSERT_TRUE(waitPaused(player));
    poll();
  }
  EXPECT_EQ(host.frameEdit, "15");
  EXPECT_EQ(grabbedNumber(), 15);
  poll();
  EXPECT_FALSE(host.busy);
}

// In a video cut before a keyframe, a step back from the first frame it
// shows has nothing earlier to go to: it ends on that frame, named in the
// field, as soon as the seek has come, without trying each frame listed
// before it in turn.
TEST_F(PlayerTest, StepBackFromTheFirstFrameOfACutVideoEndsAtOnce) {
  const std::string cut = mediatest::videoStartingBeforeAKeyframe("mkv", false, 96, 64);
  if (cut.empty()) GTEST_SKIP() << "this FFmpeg build cannot write H.264";
  ASSERT_NO_FATAL_FAILURE(openPausedAt(cut, 0));
  const std::string first = host.frameEdit;
  ASSERT_GE(std::stoi(first), 4);  // four listed frames before it
  press(-1);
  ASSERT_TRUE(waitPaused(player));
  poll();
  EXPECT_EQ(host.frameEdit, first);
  EXPECT_FALSE(host.busy);
}

TEST_F(PlayerTest, MenuLoopPausesAndPlayPauseToggles) {
  host.nextFile = standardVideo();
  player.OnOpenVideo();
  player.OnMenuOrMoveLoop();
  EXPECT_EQ(player.playState(), kPlayPaused);
  EXPECT_TRUE(host.controls.capture);
  player.OnPlayPause();
  EXPECT_EQ(player.playState(), kPlayRunning);
  player.OnPlayPause();
  EXPECT_EQ(player.playState(), kPlayPaused);
  host.speed = 4;
  player.OnSpeedChange();
  double rate = 0.0;
  player.graph()->GetRate(&rate);
  EXPECT_EQ(rate, 4.0);
}

// Frame sizes that set the pixel ratio and the interlaced option.
TEST_F(PlayerTest, VideoSizeSetsPixelRatioAndInterlaced) {
  struct Case {
    int width, height;
    bool changes;
    float ratio;
  } cases[] = {{720, 480, true, 0.9f}, {720, 576, true, 1.067f}, {640, 480, false, 1.0f}};
  for (const Case& c : cases) {
    host.videoOptionCalls = 0;
    host.nextFile = mediatest::videoFor(spec("avi", "mpeg4", c.width, c.height, 2));
    player.OnOpenVideo();
    ASSERT_TRUE(host.errors.empty());
    EXPECT_EQ(host.videoOptionCalls, c.changes ? 1 : 0) << c.width << "x" << c.height;
    if (c.changes) {
      EXPECT_FLOAT_EQ(host.pixelRatio, c.ratio);
      EXPECT_TRUE(host.interlaced);
    }
  }
}

// 90 pixels wide: the source rows are 272 bytes apart, the grabbed rows 288;
// a lossless video comes through exactly, bottom row first, blue first.
TEST_F(PlayerTest, GrabbedFrameHasNoSkew) {
  openPaused(mediatest::videoFor(spec("avi", "ffv1", 90, 64, 12, true)));
  host.frameEdit = "5";
  player.OnFrameEditChange();
  ASSERT_TRUE(waitPaused(player));
  const Image8uC3& im = g_grabbedFrame.image;
  ASSERT_EQ(im.step, 288);
  std::vector<std::uint8_t> rgb(90 * 3 * 64);
  testvideo::drawFrame(5, 90, 64, rgb.data(), 270);
  int mismatches = 0;
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 90; ++x) {
      const std::uint8_t* got = reinterpret_cast<const std::uint8_t*>(im.data) + y * im.step + 3 * x;
      const std::uint8_t* want = &rgb[(63 - y) * 270 + 3 * x];
      mismatches += got[0] != want[2] || got[1] != want[1] || got[2] != want[0];
    }
  EXPECT_EQ(mismatches, 0);
  EXPECT_NEAR(g_grabbedFrame.sampleTime, 5 / 25.0, 1e-6);
}

TEST(GrabberCallback, ReadsOnlyTheBufferItWasGiven) {
  GrabbedFrame frame;
  frame.image.allocate(90, 4);
  CGrabberCallback cb(&frame);
  EXPECT_EQ(cb.BufferCB(1.0, nullptr, 100), media::kPointer);
  // Two and a half source rows: exactly two rows are copied.
  const long length = 272 * 2 + 100;
  std::unique_ptr<std::uint8_t[]> buffer(new std::uint8_t[length]);
  for (long i = 0; i < length; ++i) buffer[i] = static_cast<std::uint8_t>(i / 272 + 1);
  for (int y = 0; y < 4; ++y) std::memset(frame.image.row(y), 0, 270);
  EXPECT_EQ(cb.BufferCB(2.5, buffer.get(), length), media::kOk);
  EXPECT_EQ(frame.sampleTime, 2.5);
  EXPECT_EQ(frame.image.row(0)[269], 1);
  EXPECT_EQ(frame.image.row(1)[0], 2);
  EXPECT_EQ(frame.image.row(2)[0], 0);
  EXPECT_EQ(frame.image.row(3)[0], 0);
}

TEST_F(PlayerTest, CancelledOpenChangesNothing) {
  host.chooseResult = false;
  player.OnOpenVideo();
  EXPECT_EQ(player.graph(), nullptr);
  EXPECT_TRUE(host.errors.empty());
  EXPECT_EQ(host.spinHigh, -1);
}

// Failed opens after a video paused at frame 17 name their step, beep, say
// "Fail to load file" and leave no graph, no timer, a stopped player and,
// from the first message on, nothing of that video in the controls; the
// earlier video's loaded flag stays (a captured picture can still be saved).
TEST_F(PlayerTest, FailedOpensReleaseEverything) {
  const std::string dir = mediatest::scratchDir();
  {
    std::ofstream f(dir + "/text.avi");
    f << "this is not a video\n";
  }
  const std::string audioOnly = dir + "/not_a_video.wav";
  {
    // A valid WAV header with a little silence: a file with no video stream.
    std::ofstream f(audioOnly, std::ios::binary);
    const unsigned char header[44] = {'R', 'I', 'F', 'F', (36 + 800) & 0xff, (36 + 800) >> 8, 0, 0,
                                      'W', 'A', 'V', 'E', 'f', 'm', 't', ' ', 16, 0, 0, 0, 1, 0, 1,
                                      0, 0x40, 0x1f, 0, 0, 0x80, 0x3e, 0, 0, 2, 0, 16, 0, 'd', 'a',
                                      't', 'a', 0x20, 0x03, 0, 0};
    f.write(reinterpret_cast<const char*>(header), 44);
    for (int i = 0; i < 800; ++i) f.put(0);
  }
  struct Case {
    std::string file;
    const char* step;
  } cases[] = {{dir + "/missing.avi", "Could not load the media file\r\n"},
               {dir + "/text.avi", "Could not load the media file\r\n"},
               {audioOnly, "Failed in Connect"}};

  for (const Case& c : cases) {
    host.errors.clear();
    ASSERT_NO_FATAL_FAILURE(openPausedAt(standardVideo(), 17));
    ASSERT_EQ(host.slider, 17 * 100 / 30);
    ASSERT_TRUE(host.controls.capture);
    host.controlsAtErrors.clear();
    host.beeps = 0;
    host.nextFile = c.file;
    player.OnOpenVideo();
    ASSERT_EQ(host.errors.size(), 2u) << c.file;
    EXPECT_EQ(host.errors[0], c.step) << c.file;
    EXPECT_EQ(host.errors[1], "Fail to load file");
    EXPECT_EQ(host.beeps, 1);
    EXPECT_EQ(player.graph(), nullptr);
    EXPECT_EQ(player.playState(), kPlayStopped);
    EXPECT_TRUE(host.timers.empty());
    EXPECT_EQ(host.surface, nullptr);
    EXPECT_TRUE(player.videoLoaded());
    EXPECT_EQ(player.frameCount(), 0);
    EXPECT_EQ(host.frameEdit, "");
    EXPECT_EQ(host.slider, 0);
    EXPECT_FALSE(host.sliderEnabled);
    for (const PlayerControls& shown : host.controlsAtErrors) {
      EXPECT_FALSE(shown.playEnabled);
      EXPECT_STREQ(shown.playText, "Play   (Ctr-P)");
      EXPECT_FALSE(shown.capture);
      EXPECT_TRUE(shown.save);
    }
    player.OnPositionTimer();  // a timer message already queued does nothing
    player.OnPlayPause();
    player.OnGraphNotify();
  }
  host.errors.clear();
  host.attachResult = false;
  host.nextFile = standardVideo();
  player.OnOpenVideo();
  ASSERT_EQ(host.errors.size(), 2u);
  EXPECT_EQ(host.errors[0], "Failed to connect drain window");
  EXPECT_EQ(player.graph(), nullptr);
}

// A video that cannot seek: no slider, no timer, no frame count (also after
// an earlier video: nothing of its length or position stays), and the
// position poll still divides nothing by it.
TEST_F(PlayerTest, VideoThatCannotSeek) {
  const std::string video = mediatest::videoFor(spec("mkv", "ffv1", 64, 48, 12, true));
  {
    mediatest::FifoFeeder feed(video, "first.mkv");
    host.nextFile = feed.path();
    player.OnOpenVideo();
    ASSERT_TRUE(host.errors.empty());
    EXPECT_FALSE(player.seekable());
    EXPECT_EQ(player.frameCount(), 0);
    EXPECT_FALSE(host.sliderEnabled);
    EXPECT_TRUE(host.timers.empty());
    host.slider = 37;
    player.OnPositionTimer();
    EXPECT_EQ(host.slider, 0);
    player.OnDestroy();
  }
  ASSERT_NO_FATAL_FAILURE(openPausedAt(standardVideo(), 17));
  ASSERT_EQ(player.frameCount(), 30);
  mediatest::FifoFeeder feed(video, "second.mkv");
  host.nextFile = feed.path();
  player.OnOpenVideo();
  ASSERT_TRUE(host.errors.empty());
  EXPECT_EQ(player.frameCount(), 0);
  EXPECT_EQ(host.frameEdit, "");
  EXPECT_EQ(host.slider, 0);
  EXPECT_FALSE(host.sliderEnabled);
  EXPECT_TRUE(host.timers.empty());
  EXPECT_EQ(player.playState(), kPlayRunning);
  player.OnDestroy();
}

TEST_F(PlayerTest, TimerFailureIsOnlyReported) {
  host.timerStarts = false;
  host.nextFile = standardVideo();
  player.OnOpenVideo();
  ASSERT_EQ(host.errors.size(), 1u);
  EXPECT_EQ(host.errors[0], "Failed to set window position!");
  EXPECT_TRUE(player.videoLoaded());
  EXPECT_EQ(player.playState(), kPlayRunning);
}

TEST_F(PlayerTest, SecondOpenReplacesTheFirstAndDestroyReleases) {
  host.nextFile = standardVideo();
  player.OnOpenVideo();
  host.nextFile = mediatest::videoFor(spec("mkv", "ffv1", 64, 48, 12, true));
  player.OnOpenVideo();
  EXPECT_TRUE(host.errors.empty());
  EXPECT_EQ(host.attaches, 2);
  EXPECT_EQ(host.detaches, 1);
  EXPECT_EQ(player.frameCount(), 12);
  EXPECT_EQ(g_grabbedFrame.image.width, 64);
  player.OnDestroy();
  EXPECT_FALSE(player.videoLoaded());
  EXPECT_EQ(player.graph(), nullptr);
  EXPECT_TRUE(host.timers.empty());
  EXPECT_EQ(host.detaches, 2);
}

// The open file cut short while paused: the next seek finds nothing, the
// player stops and says so, and the controls no longer seek.
TEST_F(PlayerTest, FileCutShortWhileOpenStopsThePlayer) {
  VideoSpec big = spec("mkv", "ffv1", 320, 240, 30, true);
  big.scene = testvideo::Scene::Panning;
  const std::string copy = mediatest::scratchDir() + "/player_shrinking.mkv";
  std::filesystem::copy_file(mediatest::videoFor(big), copy,
                             std::filesystem::copy_options::overwrite_existing);
  openPaused(copy);
  host.frameEdit = "25";
  player.OnFrameEditChange();
  ASSERT_TRUE(waitPaused(player));
  std::filesystem::resize_file(copy, 0);
  host.frameEdit = "2";
  player.OnFrameEditChange();
  ASSERT_NO_FATAL_FAILURE(expectStoppedAsUnreadable());
  // What the user can still do stays harmless.
  host.frameEdit = "20";
  player.OnFrameEditChange();
  player.OnPositionSliderTrack();
  player.OnPlayPause();
  player.OnPositionTimer();
  player.OnGraphNotify();
  player.OnDestroy();
}

// A pipe whose writer stops writing in the middle of the video: playback
// stops with the message of a file that can no longer be read, as a file cut
// short does, not as the end of the video would (paused on frame 0).
TEST_F(PlayerTest, PipeThatStallsStopsThePlayer) {
  const std::string video = mediatest::videoFor(spec("mkv", "ffv1", 64, 48, 12, true));
  mediatest::FifoFeeder feed(video, "stalling_player.mkv", std::filesystem::file_size(video) / 2);
  host.nextFile = feed.path();
  player.OnOpenVideo();
  ASSERT_TRUE(host.errors.empty());
  ASSERT_EQ(player.playState(), kPlayRunning);
  ASSERT_NO_FATAL_FAILURE(expectStoppedAsUnreadable());
  player.OnDestroy();
}

// A named pipe whose writer sends nothing does not hold the GUI thread: the
// open gives up and fails as a file that cannot be loaded.
TEST_F(PlayerTest, SilentPipeFailsToLoad) {
  const std::string fifo = mediatest::scratchDir() + "/silent_writer.avi";
  ::unlink(fifo.c_str());
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  std::atomic<bool> done{false};
  std::thread writer([&] {
    const int fd = ::open(fifo.c_str(), O_WRONLY);  // waits for the reader
    while (!done) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (fd >= 0) ::close(fd);
  });
  host.nextFile = fifo;
  player.OnOpenVideo();
  done = true;
  // A writer still waiting for a reader is released by one that comes and goes.
  const int fd = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
  if (fd >= 0) ::close(fd);
  writer.join();
  ::unlink(fifo.c_str());
  ASSERT_EQ(host.errors.size(), 2u);
  EXPECT_EQ(host.errors[0], "Could not load the media file\r\n");
  EXPECT_EQ(host.errors[1], "Fail to load file");
  EXPECT_EQ(player.graph(), nullptr);
  EXPECT_FALSE(player.videoLoaded());
}

}  // namespace

