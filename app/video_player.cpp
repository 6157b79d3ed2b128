#include "app/video_player.h"

#include <cstdio>
#include <new>

#include "app/grabbed_frame.h"

const char* const kVideoUnreadableMessage = "The video file can no longer be read.";

bool g_initialDirGiven = false;
bool g_firstDrag = true;

namespace {

const char kPlayText[] = "Play   (Ctr-P)";
const char kPauseText[] = "Pause  (Ctr-P)";

// Reads a leading decimal number as "%ld" would.
bool parseLong(const std::string& text, long* value) {
  return std::sscanf(text.c_str(), "%ld", value) == 1;
}

}  // namespace

VideoPlayer::VideoPlayer(PlayerHost* host) : m_host(host) {}

VideoPlayer::~VideoPlayer() { TearDownGraph(); }

void VideoPlayer::ShowError(const std::string& text) { m_host->ShowError(text); }

void VideoPlayer::OnOpenVideo() {
  // The classic containers first, then the others the media layer plays.
  OpenFileRequest request{"Video Files (*.avi; *.qt; *.mov; *.mpg; *.mpeg; *.m1v; *.mp4; *.m4v; *.mkv; *.webm; *.ts)",
                          "*.avi; *.qt; *.mov; *.mpg; *.mpeg; *.m1v; *.mp4; *.m4v; *.mkv; *.webm; *.ts",
                          "All Files (*.*)",
                          "*.*;",
                          "Open Media File...",
                          "*",
                          {}};
  if (!g_initialDirGiven) {
    request.initialDirectory = "/";
    g_initialDirGiven = true;
  }
  std::string file;
  if (!m_host->ChooseVideoFile(request, &file)) return;
  m_fileName = file;

  if (media::Failed(OpenVideo()))
    ShowError("Fail to load file");
  else
    m_videoLoaded = true;
  m_host->SetFrameSpinRange(0, static_cast<std::int32_t>(m_frameCount - 1));
  UpdatePlayButtons();
  int speed = 0;
  if (m_graph && m_host->ReadSpeed(&speed)) m_graph->SetRate(static_cast<double>(speed));
}

media::MediaStatus VideoPlayer::OpenVideo() {
  TearDownGraph();
  ShowNoPosition();
  media::MediaStatus status = CreateGraph();
  if (!media::Failed(status)) status = BuildGraph(m_fileName);
  if (media::Failed(status)) {
    m_host->Beep();
    // Nothing of a failed build stays open.
    TearDownGraph();
    return status;
  }

  m_seekable = m_graph->CheckCapabilities(media::kCanSeekAbsolute | media::kCanGetDuration) ==
               media::kOk;
  if (m_seekable) {
    status = m_graph->SetTimeFormat(media::TimeFormat::Frame);
    if (media::Failed(status)) ShowError("Failed to SetTimeFormat!");
    m_graph->GetDuration(&m_frameCount);
    m_host->EnablePositionSlider(true);
  }

  m_graph->StopWhenReady();

  if (g_grabbedFrame.image.width == 720) {
    if (g_grabbedFrame.image.height == 480) m_host->SetVideoOptions(0.9f, true);
    else if (g_grabbedFrame.image.height == 576) m_host->SetVideoOptions(1.067f, true);
  }

  RunPlayback();
  return status;
}

media::MediaStatus VideoPlayer::CreateGraph() {
  try {
    m_graph = std::make_unique<media::MediaGraph>();
  } catch (const std::bad_alloc&) {
    return media::kOutOfMemory;
  }
  return media::kOk;
}

media::MediaStatus VideoPlayer::BuildGraph(const std::string& file) {
  if (!m_graph) return media::kPointer;
  media::MediaGraph& g = *m_graph;

  media::MediaStatus s = g.Load(file);
  if (media::Failed(s)) {
    ShowError("Could not load the media file\r\n");
    return s;
  }
  s = g.Connect();
  if (media::Failed(s)) {
    ShowError("Failed in Connect");
    return s;
  }
  media::VideoFormat format;
  s = g.GetConnectedMediaType(&format);
  if (!media::Failed(s)) {
    try {
      g_grabbedFrame.resetFor(format.width, format.height);
    } catch (const MemoryException&) {
      s = media::kOutOfMemory;
    }
  }
  if (media::Failed(s)) {
    ShowError("Could not read the connected media type");
    return s;
  }
  g.SetCallback(&g_grabberCallback);
  s = g.Render();
  if (media::Failed(s)) {
    ShowError("Failedin Render ");
    return s;
  }
  if (!m_host->AttachVideo(&g.Surface())) {
    ShowError("Failed to connect drain window");
    return media::kFail;
  }
  return g.SetNotify(m_host->GraphMessagePoster(), kGraphNotifyMessage);
}

media::MediaStatus VideoPlayer::TearDownGraph() {
  StopPlayback();
  // The position poll must never reach a released graph.
  KillPositionTimer();
  m_seekPolls = 0;
  SetBusy(false);
  if (m_graph) {
    m_graph->SetNotify(nullptr, 0);
    m_host->DetachVideo();
  }
  // Joins the streaming thread: no frame callback runs after this.
  m_graph.reset();
  m_playState = kPlayStopped;
  // Nothing of the video's length or state outlives its graph.
  m_frameCount = 0;
  m_seekable = false;
  m_inputLost = false;
  m_inputEnded = false;
  return media::kOk;
}

void VideoPlayer::ShowNoPosition() {
  m_host->SetPositionSlider(0);
  m_host->SetFrameEditText("");
  UpdatePlayButtons();
}

media::MediaStatus VideoPlayer::RunPlayback() {
  // An input that can no longer be read, or a pipe that ended, has nothing
  // more to play.
  if (!m_graph || m_inputLost || m_inputEnded || m_playState == kPlayRunning) return media::kOk;
  const media::MediaStatus s = m_graph->Run();
  if (media::Failed(s)) {
    char text[64];
    std::snprintf(text, sizeof text, "Failed(%08lx) in Run()!",
                  static_cast<unsigned long>(static_cast<std::uint32_t>(s)));
    ShowError(text);
    return s;
  }
  m_playState = kPlayRunning;
  EndStepBack();  // playback goes on from the frame shown
  if (m_seekable) {
    KillPositionTimer();
    m_timerId = m_host->StartTimer(kPositionTimerId, kPositionTimerMs) ? kPositionTimerId : 0;
    if (m_timerId == 0) ShowError("Failed to set window position!");
  }
  return s;
}

void VideoPlayer::PausePlayback() {
  if (!m_graph || m_playState != kPlayRunning) return;
  if (media::Failed(m_graph->Pause())) {
    ShowError("Failed in Pause()!");
    return;
  }
  m_playState = kPlayPaused;
}

void VideoPlayer::StopPlayback() {
  EndStepBack();
  if (!m_graph || m_playState == kPlayStopped) return;
  if (media::Failed(m_graph->Stop())) {
    ShowError("Failed in Stop()!");
    return;
  }
  media::GraphState state;
  if (media::Failed(m_graph->GetState(500, &state))) ShowError("Failed to read graph state!");
  m_playState = kPlayStopped;
}

void VideoPlayer::KillPositionTimer() {
  if (m_timerId != 0) {
    m_host->KillTimer(m_timerId);
    m_timerId = 0;
  }
}

void VideoPlayer::UpdatePlayButtons() {
  if (!m_videoLoaded) {
    m_host->SetPlayerControls({false, kPlayText, false, false, false, false, true, false});
    return;
  }
  if (!m_graph || m_inputLost) {
    // Nothing to play, seek or capture (a graph being replaced, an open that
    // failed, an input that can no longer be read); a captured picture can
    // still be copied and saved.
    m_host->SetPlayerControls({false, kPlayText, false, true, true, false, true, false});
    m_host->UpdateDataToControls();
    return;
  }
  if (m_inputEnded) {
    // The last frame stays shown and can be captured; nothing plays on.
    m_host->SetPlayerControls({false, kPlayText, true, true, true, false, true, false});
    m_host->UpdateDataToControls();
    return;
  }
  switch (m_playState) {
    case kPlayRunning:
      m_host->SetPlayerControls({true, kPauseText, false, false, false, false, false, false});
      break;
    case kPlayPaused:
      // The frame steps seek: an input that cannot seek offers none.
      m_host->SetPlayerControls({true, kPlayText, true, true, true, m_seekable, false, false});
      break;
    default:
      m_host->SetPlayerControls({true, kPlayText, false, true, true, false, false, false});
      break;
  }
  m_host->UpdateDataToControls();
}

void VideoPlayer::OnPlayPause() {
  if (m_playState == kPlayRunning)
    PausePlayback();
  else
    RunPlayback();
  UpdatePlayButtons();
}

void VideoPlayer::OnSpeedChange() {
  int speed = 0;
  if (m_graph && m_host->ReadSpeed(&speed)) m_graph->SetRate(static_cast<double>(speed));
}

void VideoPlayer::OnFrameEditChange() {
  // An input that cannot seek has no frame number to go to.
  if (!m_videoLoaded || m_playState != kPlayPaused || !m_graph || !m_seekable) return;
  long value = 0;
  if (!parseLong(m_host->FrameEditText(), &value)) return;
  std::int64_t frame = value;
  if (frame >= m_frameCount) frame = m_frameCount - 1;
  if (frame < 0) frame = 0;
  if (m_backWanted >= 0) {
    // Until a step back has shown its frame the field names the frame it
    // goes to, and the arrows step on from there: presses in a row go to
    // one target.
    if (frame == m_backWanted) return;
    if (frame < m_backWanted) {
      StepBackTo(frame);
      return;
    }
    EndStepBack();  // a step forward from there replaces it
  }
  std::int64_t shown = 0;
  if (media::Failed(m_graph->GetCurrentPosition(&shown))) shown = -1;
  // The field naming the frame the graph is at (or going to) asks for nothing.
  if (frame == shown) return;
  if (frame > shown) {
    m_graph->SetPositions(frame);  // the position poll names the frame that comes
    return;
  }
  StepBackTo(frame);
}

void VideoPlayer::StepBackTo(std::int64_t frame) {
  m_backWanted = frame;
  // The frames after the one sought have been tried already.
  if (m_backTry >= 0 && m_backTry <= frame) return;
  m_backTry = frame;
  // The graph gives up decoding toward an earlier target at once.
  if (media::Failed(m_graph->SetPositions(frame))) EndStepBack();  // nothing can be read any more
}

bool VideoPlayer::AdvanceStepBack(int waitMs) {
  const media::MediaStatus s = m_graph->WaitForFrame(m_backTry, waitMs);
  if (s == media::kStateIntermediate) return true;
  // A seek to a frame that does not decode shows the next one that does, so
  // a step back would land where it started: the frames before are tried in
  // turn until one at or before the frame asked for comes. When none can be
  // shown, the graph stays on the first frame after them.
  std::int64_t came = 0;
  const bool landed =
      s == media::kOk ||
      (s == media::kFalse && !media::Failed(m_graph->GetCurrentPosition(&came)) && came <= m_backWanted);
  // A seek that had to start decoding after its frame sought one before the
  // first frame that decodes (a video cut before a keyframe): the frames
  // before it cannot be shown either.
  media::DecodeStart start;
  const bool nothingEarlier = !media::Failed(m_graph->GetDecodeStart(&start)) && start.keyFrame > m_backTry;
  if (!landed && !nothingEarlier && m_backTry > 0) {
    --m_backTry;
    if (!media::Failed(m_graph->SetPositions(m_backTry))) return false;
    EndStepBack();  // nothing can be read any more
    return false;
  }
  EndStepBack();
  ShowPosition();
  return false;
}

void VideoPlayer::EndStepBack() {
  m_backWanted = -1;
  m_backTry = -1;
}

void VideoPlayer::FinishStepBack() {
  while (m_graph && m_backWanted >= 0) {
    if (AdvanceStepBack(kSeekWaitMs)) {
      // Its frame did not come in all that time: it stays where it is.
      EndStepBack();
      ShowPosition();
    }
  }
}

void VideoPlayer::OnGraphNotify() {
  if (!m_graph) return;
  long code = 0, param1 = 0, param2 = 0;
  while (m_graph->GetEvent(&code, &param1, &param2, 0) == media::kOk) {
    if (code == media::kEventComplete) {
      PausePlayback();
      // A video that can seek starts again at frame 0; one that cannot (a
      // pipe) stays on its last frame with nothing left to play.
      if (m_seekable)
        m_graph->SetPositions(0);
      else
        m_inputEnded = true;
      UpdatePlayButtons();
    } else if (code == media::kEventErrorAbort) {
      // The graph has stopped and reads nothing more: the controls say so
      // before the message does.
      StopPlayback();
      m_inputLost = true;
      UpdatePlayButtons();
      ShowError(kVideoUnreadableMessage);
    }
  }
}

void VideoPlayer::OnPositionTimer() {
  if (!m_graph) return;
  // The field keeps naming the frame a step back goes to until it came.
  if (m_backWanted >= 0)
    AdvanceStepBack(0);
  else
    ShowPosition();
  ShowBusyWhileSeeking();
}

void VideoPlayer::ShowBusyWhileSeeking() {
  media::GraphState state;
  const bool underWay =
      m_graph && (m_backWanted >= 0 || m_graph->GetState(0, &state) == media::kStateIntermediate);
  m_seekPolls = underWay ? m_seekPolls + 1 : 0;
  SetBusy(m_seekPolls >= 2);
}

void VideoPlayer::SetBusy(bool busy) {
  if (busy == m_busy) return;
  m_busy = busy;
  m_host->ShowBusy(busy);
}

void VideoPlayer::ShowPosition() {
  if (!m_graph) return;
  std::int64_t position = 0;
  if (media::Failed(m_graph->GetCurrentPosition(&position))) return;
  // A video whose length is unknown (0 frames) leaves the slider at 0.
  const std::int64_t slider = m_frameCount > 0 ? position * 100 / m_frameCount : 0;
  m_host->SetPositionSlider(static_cast<int>(slider));
  char text[16];
  std::snprintf(text, sizeof text, "%ld", static_cast<long>(static_cast<std::int32_t>(position)));
  if (m_host->FrameEditText() != text) m_host->SetFrameEditText(text);
}

void VideoPlayer::OnPositionSliderTrack() {
  if (!m_graph) return;
  EndStepBack();  // the slider's seek replaces it
  const int q = m_host->PositionSlider();
  if (g_firstDrag) {
    media::GraphState state;
    m_graph->GetState(10, &state);
    m_graph->Pause();
    g_firstDrag = false;
  }
  m_graph->SetPositions(static_cast<std::int64_t>(static_cast<double>(m_frameCount) * q * 0.01));
}

void VideoPlayer::OnMenuOrMoveLoop() {
  PausePlayback();
  UpdatePlayButtons();
}

void VideoPlayer::OnDestroy() {
  TearDownGraph();
  m_videoLoaded = false;
}
