// Stand-ins for the dialog in tests and benchmarks of the capture: a player
// host that answers every question quietly, and an enhance host that records
// what the controller asks of the controls and draws the display area into
// memory.
#pragma once

#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "app/enhance_controller.h"
#include "app/video_player.h"

namespace capture_test {

// ---------------------------------------------------------------- player host

class QuietPlayerHost : public PlayerHost {
 public:
  std::string file;
  std::string frameText;
  std::vector<std::string> errors;
  std::function<void()> onPositionShown;  // the player shows where the graph is
  void ShowError(const std::string& text) override { errors.push_back(text); }
  void Beep() override {}
  bool ChooseVideoFile(const OpenFileRequest&, std::string* name) override {
    *name = file;
    return true;
  }
  void SetFrameSpinRange(int, int) override {}
  bool ReadSpeed(int* speed) override {
    *speed = 1;
    return true;
  }
  int PositionSlider() override { return 0; }
  void SetPositionSlider(int) override {
    if (onPositionShown) onPositionShown();
  }
  void EnablePositionSlider(bool) override {}
  std::string FrameEditText() override { return frameText; }
  void SetFrameEditText(const std::string& text) override { frameText = text; }
  void SetPlayerControls(const PlayerControls&) override {}
  void UpdateDataToControls() override {}
  void SetVideoOptions(float, bool) override {}
  bool StartTimer(int, int) override { return true; }
  void KillTimer(int) override {}
  void ShowBusy(bool) override {}
  media::NotifyHook GraphMessagePoster() override {
    return [](unsigned) {};
  }
  bool AttachVideo(media::VideoSurface*) override { return true; }
  void DetachVideo() override {}
};

// ---------------------------------------------------------------- enhance host

// The display area as a top-down picture of blue, green, red pixels.
class AreaSurface : public RasterDrawTarget {
 public:
  int width = 0, height = 0;
  std::vector<std::uint8_t> pixels;
  void Resize(int w, int h) {
    width = w;
    height = h;
    pixels.assign(static_cast<std::size_t>(w) * h * 3, 0);
  }
  RasterRect ClipBox() const override { return {0, 0, width, height}; }
  void CombineClip(const RasterRect&, ClipMode) override {}
  bool ReadPixels(std::int32_t, std::int32_t, std::int32_t, std::int32_t, std::uint8_t*, std::uint32_t) override {
    return false;
  }
  void PutPixels(std::int32_t left, std::int32_t top, std::int32_t w, std::int32_t h, const std::uint8_t* src,
                 std::uint32_t rowBytes) override {
    if (!src) return;
    for (int r = 0; r < h; ++r) {
      const int Y = top + h - 1 - r;
      if (Y < 0 || Y >= height) continue;
      for (int c = 0; c < w; ++c) {
        const int X = left + c;
        if (X < 0 || X >= width) continue;
        std::memcpy(&pixels[(static_cast<std::size_t>(Y) * width + X) * 3], src + static_cast<std::size_t>(r) * rowBytes + c * 3, 3);
      }
    }
  }
};

class RecordingHost : public EnhanceHost, public ProgressControl {
 public:
  EnhanceOptions options;
  std::vector<int> progress;
  std::vector<std::string> errors, messages;
  std::map<int, int> sliders;
  struct Bar { int maximum = 0, position = 0; bool enabled = false; };
  std::map<int, Bar> bars;
  int updatesToControls = 0, updatesFromControls = 0, pumps = 0;
  bool mouseCaptured = false, locked = false;
  bool busy = false;        // the busy mark is shown
  int busyMarks = 0;        // times it was put on
  int boxesUnderMark = 0;   // message boxes shown while it was on
  int areaWidth = 400, areaHeight = 300;
  RasterRect areaInDialog{450, 14, 850, 314};
  AreaSurface surface;
  std::vector<RasterRect> margins;
  std::vector<RasterRect> outlines;
  std::vector<std::uint8_t> clipboard;
  int clipboardSets = 0;
  std::string savePath;
  bool saveChosen = true;
  SaveFileRequest lastSaveRequest;
  std::function<void()> onPump;

  RecordingHost() {
    for (int id : {ctl::kContrastSlider, ctl::kBrightnessSlider, ctl::kSharpnessSlider, ctl::kSaturationSlider,
                   ctl::kHueSlider})
      sliders[id] = 50;
  }
  EnhanceOptions& Options() override { return options; }
  void UpdateOptions(bool save) override { ++(save ? updatesFromControls : updatesToControls); }
  void ShowError(const std::string& text) override {
    errors.push_back(text);
    boxesUnderMark += busy;
  }
  void ShowMessage(const std::string& text) override {
    messages.push_back(text);
    boxesUnderMark += busy;
  }
  void ShowBusy(bool on) override {
    busyMarks += on;
    busy = on;
  }
  ProgressControl* Progress() override { return this; }
  void SetPos(int position) override { progress.push_back(position); }
  void PumpMessages() override {
    ++pumps;
    if (onPump) onPump();
  }
  void SetMouseCaptureToProgress(bool capture) override { mouseCaptured = capture; }
  void LockCommands(bool lock) override { locked = lock; }
  int SliderPosition(int id) override { return sliders[id]; }
  void SetSliderPosition(int id, int position) override { sliders[id] = position; }
  void DisplayClientSize(int* w, int* h) override {
    *w = areaWidth;
    *h = areaHeight;
  }
  RasterRect DisplayRectInDialog() override { return areaInDialog; }
  void SetScrollBar(int id, int maximum, int position, bool enabled) override { bars[id] = {maximum, position, enabled}; }
  int ScrollBarPosition(int id) override { return bars[id].position; }
  int ScrollBarMaximum(int id) override { return bars[id].maximum; }
  void SetScrollBarPosition(int id, int position) override { bars[id].position = position; }
  void InvalidateDisplay(bool) override {}
  RasterDrawTarget* BeginDisplayDrawing() override {
    if (surface.width != areaWidth || surface.height != areaHeight) surface.Resize(areaWidth, areaHeight);
    margins.clear();
    outlines.clear();
    return &surface;
  }
  void FillMargin(const RasterRect& band) override { margins.push_back(band); }
  void DrawCropOutline(const RasterRect& rect) override { outlines.push_back(rect); }
  void EndDisplayDrawing() override {}
  bool SetClipboardDib(const std::uint8_t* dib, std::size_t size) override {
    ++clipboardSets;
    clipboard.assign(dib, dib + size);
    return true;
  }
  bool ChooseSaveFile(const SaveFileRequest& request, std::string* path) override {
    lastSaveRequest = request;
    *path = savePath;
    return saveChosen;
  }
};

}  // namespace capture_test
