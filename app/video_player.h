// The video player of the main dialog: opens a video into a media graph that
// decodes it, shows it and copies every frame into g_grabbedFrame; play and
// pause, seeking by the position slider and the frame number, the speed
// factor, the 100 ms position poll and the end of the stream. A move to a
// frame never waits for that frame: the position poll looks how far it got.
//
// Everything it needs of the dialog and the UI layer goes through
// PlayerHost; all operations run on the GUI thread.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/media/media_graph.h"

// Window message through which the graph's events reach the dialog.
constexpr unsigned kGraphNotifyMessage = 0x8001;
// Identifier and period of the position timer.
constexpr int kPositionTimerId = 100;
constexpr int kPositionTimerMs = 100;

// How long the player and the capture wait for a frame they sought: far
// beyond what decoding from the previous keyframe takes, even for long
// groups of pictures at high resolution.
constexpr int kSeekWaitMs = 30000;

// Playing states (m_playState).
constexpr int kPlayStopped = 0;
constexpr int kPlayPaused = 1;
constexpr int kPlayRunning = 2;

// What the open-file dialog shows.
struct OpenFileRequest {
  const char* filterName;      // "Video Files (...)"
  const char* filterPatterns;  // "*.avi; ..."
  const char* allName;         // "All Files (*.*)"
  const char* allPatterns;     // "*.*;"
  const char* title;           // "Open Media File..."
  const char* defaultExtension;
  std::string initialDirectory;  // empty: where the platform last left the dialog
};

// Enabled state of the player controls (play button 1001, capture 1010,
// copy 1014, save 1072, frame up-down 1017 and edit 1018, slider 1000).
struct PlayerControls {
  bool playEnabled;
  const char* playText;
  bool capture, copy, save, frame;
  bool setSlider;  // when false the slider's enabled state is left alone
  bool sliderEnabled;
};

class PlayerHost {
 public:
  virtual ~PlayerHost() = default;
  // Task-modal message box with the caption "Error!".
  virtual void ShowError(const std::string& text) = 0;
  virtual void Beep() = 0;
  // The platform's open dialog; true with the chosen path.
  virtual bool ChooseVideoFile(const OpenFileRequest& request, std::string* fileName) = 0;

  virtual void SetFrameSpinRange(int low, int high) = 0;
  // The number in the speed edit; false when it holds none.
  virtual bool ReadSpeed(int* speed) = 0;
  virtual int PositionSlider() = 0;
  virtual void SetPositionSlider(int position) = 0;
  virtual void EnablePositionSlider(bool enable) = 0;
  // The frame edit's first line, at most 9 characters.
  virtual std::string FrameEditText() = 0;
  virtual void SetFrameEditText(const std::string& text) = 0;
  virtual void SetPlayerControls(const PlayerControls& controls) = 0;
  // Shows the option values in the controls (UpdateData(false)).
  virtual void UpdateDataToControls() = 0;
  // The dialog's pixel ratio and interlaced options.
  virtual void SetVideoOptions(float pixelRatio, bool interlaced) = 0;

  // Window timer; false when it cannot be started.
  virtual bool StartTimer(int id, int periodMs) = 0;
  virtual void KillTimer(int id) = 0;

  // Shows that the window is working (a busy cursor) or no longer is; the
  // player turns it on while a seek takes longer than a moment, a capture
  // (through its own host) while it runs.
  virtual void ShowBusy(bool busy) = 0;

  // A hook, callable from any thread, that posts `message` to the dialog,
  // which then calls VideoPlayer::OnGraphNotify on the GUI thread.
  virtual media::NotifyHook GraphMessagePoster() = 0;
  // Shows the graph's surface in the video host 1012, filling it; false
  // when the video cannot be shown there.
  virtual bool AttachVideo(media::VideoSurface* surface) = 0;
  virtual void DetachVideo() = 0;
};

class VideoPlayer {
 public:
  explicit VideoPlayer(PlayerHost* host);
  ~VideoPlayer();  // tears the graph down
  VideoPlayer(const VideoPlayer&) = delete;
  VideoPlayer& operator=(const VideoPlayer&) = delete;

  // Commands and messages.
  void OnOpenVideo();                  // command 32771
  void OnPlayPause();                  // command 1001
  void OnSpeedChange();                // EN_CHANGE of 1005
  void OnFrameEditChange();            // EN_CHANGE of 1018
  void OnGraphNotify();                // message 0x8001
  void OnPositionTimer();              // WM_TIMER 100
  void OnPositionSliderTrack();        // thumb tracking on the position slider
  void OnMenuOrMoveLoop();             // menu and move loops pause playback
  void OnDestroy();                    // the dialog goes away

  // Steps, also for the capture driver.
  media::MediaStatus OpenVideo();
  media::MediaStatus CreateGraph();
  media::MediaStatus BuildGraph(const std::string& file);
  // Also forgets the video's frame count, seekability, lost or ended input.
  media::MediaStatus TearDownGraph();
  media::MediaStatus RunPlayback();
  void PausePlayback();
  void StopPlayback();
  void KillPositionTimer();
  void UpdatePlayButtons();
  void ShowError(const std::string& text);
  // Lets a step back that is still on its way reach its frame, waiting for
  // it: a capture takes the frame the step lands on.
  void FinishStepBack();

  media::MediaGraph* graph() const { return m_graph.get(); }
  int playState() const { return m_playState; }
  std::int64_t frameCount() const { return m_frameCount; }
  bool seekable() const { return m_seekable; }
  bool videoLoaded() const { return m_videoLoaded; }
  int timerId() const { return m_timerId; }
  const std::string& fileName() const { return m_fileName; }

 private:
  // Clears the position slider and the frame edit and offers the controls
  // of no graph: nothing of a previous video stays on screen while the next
  // one opens, whether or not it opens.
  void ShowNoPosition();
  // Shows the graph's position in the slider and the frame edit.
  void ShowPosition();
  // Starts to show the nearest frame at or before `frame` that can be
  // shown; the position poll goes on with it (AdvanceStepBack) and names
  // that frame in the frame edit once it came.
  void StepBackTo(std::int64_t frame);
  // Looks, waiting up to waitMs, whether the frame a step back seeks came,
  // and seeks the frame before when a later one came instead. True when
  // the frame sought has not come yet.
  bool AdvanceStepBack(int waitMs);
  void EndStepBack();
  // The busy indication follows whether a seek has been under way for two
  // polls in a row.
  void ShowBusyWhileSeeking();
  void SetBusy(bool busy);

  PlayerHost* m_host;
  std::unique_ptr<media::MediaGraph> m_graph;
  int m_playState = kPlayStopped;
  std::int64_t m_frameCount = 0;
  bool m_seekable = false;
  int m_timerId = 0;
  std::string m_fileName;
  bool m_videoLoaded = false;
  bool m_inputLost = false;  // the graph reported that its input can no longer be read
  bool m_inputEnded = false;  // an input that cannot seek played to its end
  // A step back under way: the frame asked for, and the frame now sought
  // (a frame at or before the one asked for is to be shown); -1 for none.
  std::int64_t m_backWanted = -1;
  std::int64_t m_backTry = -1;
  int m_seekPolls = 0;  // position polls in a row that found a seek under way
  bool m_busy = false;
};

// Shown when the open video file can no longer be read (cut short or
// removed while open, or a stream that stalled).
extern const char* const kVideoUnreadableMessage;

// Program-wide: the open dialog starts at the root until a first open;
// the first drag of the position slider pauses the graph.
extern bool g_initialDirGiven;
extern bool g_firstDrag;
