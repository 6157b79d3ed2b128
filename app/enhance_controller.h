// The capture-and-enhance request and the result picture of the main dialog:
// the driver that collects the paused frame and its neighbours from the
// player into a new engine, runs it, builds the post-filters and composes the
// picture; the adjustment sliders and resets that recompose it; the display
// of the result or the raw frame at actual size or fitted, with scrolling and
// a crop rectangle; copy to the clipboard and saving by extension.
//
// The dialog owns one EnhanceController and forwards the commands and
// messages named below to it. Everything the controller needs of the dialog's
// controls and of the UI layer goes through EnhanceHost. All operations run
// on the GUI thread.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/resource_ids.h"
#include "engine/engine.h"
#include "imagefile/raster_image.h"

class VideoPlayer;

// The main dialog's control identifiers, under the names used here.
namespace ctl {
constexpr int kCapture = IDC_CAPTURE;
constexpr int kProgress = IDC_PROGRESS;
constexpr int kDisplayArea = IDC_DISPLAY;
constexpr int kVerticalScroll = IDC_VSCROLL;
constexpr int kHorizontalScroll = IDC_HSCROLL;
constexpr int kContrastSlider = IDC_CONTRAST;
constexpr int kBrightnessSlider = IDC_BRIGHTNESS;
constexpr int kSharpnessSlider = IDC_SHARPNESS;
constexpr int kSaturationSlider = IDC_SATURATION;
constexpr int kHueSlider = IDC_HUE;
constexpr int kCopy = IDC_COPY;
constexpr int kSaveAs = IDC_SAVE;
constexpr int kResetAdjustments = IDC_RESET_ADJUSTMENTS;
constexpr int kResetOptions = IDC_RESET_OPTIONS;
}  // namespace ctl

// Display modes (m_displayMode).
constexpr int kDisplayActualSize = 0;
constexpr int kDisplayZoomToFit = 1;
constexpr int kDisplayRawFrame = 2;

// The option values the dialog's controls exchange (UpdateData).
struct EnhanceOptions {
  int displayMode = kDisplayActualSize;
  float pixelRatio = 1.0f;
  int interlaced = 0;        // BOOL
  int resolution = 0;       // 1x, 1.5x, 2x, 2.5x
  int noiseReduction = 0;   // none, low, med, high
  int neighbors = 1;        // "0", "2", "4", "8"
  int motionSmooth = 2;     // min, low, med, high
  int crop = 0;              // BOOL
};

// What the save dialog shows.
struct SaveFileRequest {
  std::vector<std::pair<std::string, std::string>> filters;  // text shown, patterns
  int filterIndex = 1;
  std::string defaultExtension;
  bool promptOverwrite = true;
  bool hideReadOnly = true;
};

// The progress bar of a capture, and the pump that keeps the window alive
// while the engine runs.
class ProgressControl {
 public:
  virtual ~ProgressControl() = default;
  virtual void SetPos(int position) = 0;
  // Handles every message waiting in the GUI thread's queue.
  virtual void PumpMessages() = 0;
};

class EnhanceHost {
 public:
  virtual ~EnhanceHost() = default;

  // The dialog's option values and their exchange with the controls.
  virtual EnhanceOptions& Options() = 0;
  virtual void UpdateOptions(bool saveAndValidate) = 0;

  // Messages: the player's error box (caption "Error!") and the
  // application-titled box.
  virtual void ShowError(const std::string& text) = 0;
  virtual void ShowMessage(const std::string& text) = 0;

  // Progress bar, mouse capture and the command lock of a running capture
  // (menus and accelerators off while it runs).
  virtual ProgressControl* Progress() = 0;
  virtual void SetMouseCaptureToProgress(bool capture) = 0;
  virtual void LockCommands(bool locked) = 0;
  // The busy mark on the mouse pointer (the one a step of the player
  // shows), on or off. Once on, it is on the screen when the call returns:
  // the capture goes on working on the window's thread.
  virtual void ShowBusy(bool busy) = 0;

  virtual int SliderPosition(int id) = 0;
  virtual void SetSliderPosition(int id, int position) = 0;

  // Display area: client size, its rectangle in dialog client coordinates,
  // its scroll bars.
  virtual void DisplayClientSize(int* width, int* height) = 0;
  virtual RasterRect DisplayRectInDialog() = 0;
  virtual void SetScrollBar(int id, int maximum, int position, bool enabled) = 0;
  virtual int ScrollBarPosition(int id) = 0;
  virtual int ScrollBarMaximum(int id) = 0;
  virtual void SetScrollBarPosition(int id, int position) = 0;
  virtual void InvalidateDisplay(bool erase) = 0;

  // Drawing into the display area: a surface in display-area pixels, the
  // hatched margin bands and the dotted red crop outline. Begin returns null
  // when nothing can be drawn.
  virtual RasterDrawTarget* BeginDisplayDrawing() = 0;
  virtual void FillMargin(const RasterRect& band) = 0;
  virtual void DrawCropOutline(const RasterRect& rect) = 0;
  virtual void EndDisplayDrawing() = 0;

  // Clipboard and the save dialog.
  virtual bool SetClipboardDib(const std::uint8_t* dib, std::size_t size) = 0;
  virtual bool ChooseSaveFile(const SaveFileRequest& request, std::string* path) = 0;
};

// The progress control of the running capture (set at the start of every
// capture); the engine's progress callback reaches the bar through it.
extern ProgressControl* g_progressCtrl;

// The engine's progress callback: bar at 10 + trunc(0.8 x percent), then the
// waiting messages are handled. Returns 0.
int EnhanceProgress(int percent);

class EnhanceController {
 public:
  EnhanceController(EnhanceHost* host, VideoPlayer* player);
  ~EnhanceController();
  EnhanceController(const EnhanceController&) = delete;
  EnhanceController& operator=(const EnhanceController&) = delete;

  // Commands and messages.
  void OnCaptureEnhance();                      // 1010, Ctrl+E
  void OnHScroll(int code, int position, int id);  // sliders and bar 1016
  void OnVScroll(int code, int position, int id);  // bar 1015
  void OnResetAdjustments();                    // 1093
  void OnResetOptions();                        // 1094
  void OnPaint();                               // the display area needs drawing
  void OnActualSize();                          // 1022
  void OnZoomToFit();                           // 1031
  void OnRawFrame();                            // 1020
  void OnCropToggle();                          // 1048
  void OnMouseMove(int x, int y, bool leftButton);  // dialog client coordinates
  void OnCopy();                                // 1014, Ctrl+C
  void OnSaveAs();                              // 1072, Ctrl+S

  // True while a capture runs: commands that would start another one or
  // release what it uses (the graph, the dialog) must wait.
  bool capturing() const { return m_capturing; }

  // Steps.
  int NeighborFrameCount() const;
  void SetEnhancerParameters();
  float SharpnessAmount();
  bool BuildPostFilters();
  void Recompose(bool recompute);
  void RefreshDisplay(bool recompute);
  bool DrawPicture(const Image8uC3& picture, bool zoomToFit);
  double FitZoom(const Image8uC3& picture, int* fittedWidth, int* fittedHeight) const;
  void SetupScrolling(int w, int h);
  // Crop border in pixels for the resolution of the capture whose
  // post-filters are kept (not the option as it stands now, which is for the
  // next capture).
  int BorderPixels() const;
  // The part of a w x h post-filtered plane that the picture keeps: the
  // border off every side, narrowed for planes too small for it.
  static VpiRect OutputCrop(int w, int h, int border);

  // State (read by the dialog and by tests).
  const Image8uC3& result() const { return m_result; }
  const Image8uC3& rawFrame() const { return m_rawFrame; }
  const RasterImage& picture() const { return m_picture; }
  const OutputSettings& output() const { return m_output; }
  const PlanePostFilter* postFilter(int plane) const;
  std::int64_t capturePosition() const { return m_capturePosition; }
  int captureFrames() const { return m_captureFrames; }
  double zoom() const { return m_zoom; }
  int offsetX() const { return m_offsetX; }
  int offsetY() const { return m_offsetY; }
  RasterRect cropRect() const { return m_cropRect; }
  const FrameEnhancer* engine() const { return m_engine.get(); }
  int jpegQuality() const { return m_jpegQuality; }
  int borderBase() const { return m_borderBase; }

  // Called with (slot, position) after each frame of a capture is stored;
  // tests watch the positions sought.
  std::function<void(int slot, std::int64_t position)> frameStoredHook;
  // Called after the engine ran; tests look at it (or spoil its result)
  // before it is deleted.
  std::function<void(FrameEnhancer& engine)> engineRanHook;
  // When set, stands for the memory the process can have (see
  // AvailableMemoryBytes; tests set a limit with it).
  std::function<std::uint64_t()> availableMemoryHook;

 private:
  void RunCapture(std::int64_t c);
  // Waits until the player has delivered the frame at `position`, then hands
  // it to `use` while the frame callback is kept out; false when the frame
  // did not come.
  bool TakeFrame(std::int64_t position, const std::function<void(const Image8uC3&)>& use);
  // Says that the frame at `position` cannot be read.
  void ReportUnreadableFrame(std::int64_t position);
  void ResetDisplayToMode(int mode);
  // The crop rectangle mapped back to result pixels through the fitted view.
  void CropInPicture(std::int32_t* left, std::int32_t* top, std::int32_t* right, std::int32_t* bottom);
  void ScrollBy(int code, int position, int id, int* offset);
  void SetPostFilterAmounts(float amount);
  void ReleasePostFilters();
  // Bytes of the kept post-filters' planes.
  std::uint64_t PostFilterBytes() const;
  void ReportOutOfMemory();
  // Shows a message box (the error box when `error`). The busy mark of a
  // running capture goes first: the box waits for the user, and the boxes
  // that end a capture leave nothing to mark after them.
  void Tell(const std::string& text, bool error);
  // Shows or takes off the running capture's busy mark.
  void MarkBusy(bool busy);

  EnhanceHost* m_host;
  VideoPlayer* m_player;
  EnhanceOptions& opt() { return m_host->Options(); }

  int m_areaWidth = 0;
  int m_areaHeight = 0;
  int m_offsetX = 0;
  int m_offsetY = 0;
  std::int64_t m_capturePosition = 0;
  std::unique_ptr<FrameEnhancer> m_engine;
  std::unique_ptr<PlanePostFilter> m_postFilterY;
  std::unique_ptr<PlanePostFilter> m_postFilterU;
  std::unique_ptr<PlanePostFilter> m_postFilterV;
  OutputSettings m_output;
  Image8uC3 m_rawFrame;
  Image8uC3 m_result;
  RasterImage m_picture;
  EnhanceOptions m_captureOptions;  // the options of the running (or last) capture
  int m_captureFrames = 0;
  int m_captureInterlaced = 0;
  int m_captureResolution = 0;  // resolution option of the kept post-filters' capture
  std::uint8_t m_jpegQuality = 95;
  int m_borderBase = 4;
  RasterRect m_cropRect{0, 0, 9000, 9000};
  bool m_dragging = false;
  double m_zoom = 1.0;
  bool m_capturing = false;
  bool m_busyMarked = false;  // the running capture's busy mark is shown
};

// The message shown when a capture or a recomposition runs out of memory.
extern const char* const kOutOfMemoryMessage;
// The start of the message shown when a frame of a capture cannot be read;
// the frame's number and " of the video." follow.
extern const char* const kFrameUnreadableMessage;
// The message shown when a capture asks for neighbour frames of a video
// that cannot be sought; the picture is then made of the shown frame alone.
extern const char* const kSingleFrameMessage;
// The message shown when a crop rectangle without area is copied.
extern const char* const kEmptyCropMessage;
