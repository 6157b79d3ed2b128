// The program's main window: a modal dialog (template 102, menu 129) that
// owns the option values, the video player, the objects of a capture and
// the pictures of the display area, and routes every command, scroll and
// timer message to its handler.
#pragma once

#include <cstdint>
#include <string>

#include "app/dialog_enhance_host.h"
#include "app/display_surface.h"
#include "app/enhance_controller.h"
#include "app/video_player.h"
#include "engine/engine.h"
#include "imagefile/raster_image.h"
#include "platform/ui/ui.h"

class QProgressBar;
class QPushButton;

class CEnhancerDlg : public ui::Dialog, public PlayerHost {
 public:
  CEnhancerDlg();
  ~CEnhancerDlg() override;

  bool DestroyWindow() override;

  // PlayerHost: what the player asks of the dialog and the UI layer.
  void ShowError(const std::string& text) override;
  void Beep() override;
  bool ChooseVideoFile(const OpenFileRequest& request, std::string* fileName) override;
  void SetFrameSpinRange(int low, int high) override;
  bool ReadSpeed(int* speed) override;
  int PositionSlider() override;
  void SetPositionSlider(int position) override;
  void EnablePositionSlider(bool enable) override;
  std::string FrameEditText() override;
  void SetFrameEditText(const std::string& text) override;
  void SetPlayerControls(const PlayerControls& controls) override;
  void UpdateDataToControls() override;
  void SetVideoOptions(float pixelRatio, bool interlaced) override;
  bool StartTimer(int id, int periodMs) override;
  void KillTimer(int id) override;
  void ShowBusy(bool busy) override;
  media::NotifyHook GraphMessagePoster() override;
  bool AttachVideo(media::VideoSurface* surface) override;
  void DetachVideo() override;

  // Option values, for the capture and for tests; the names below are the
  // fields of m_options, which the capture and the display read.
  EnhanceOptions m_options;
  int& m_displayMode = m_options.displayMode;      // 0 Actual Size, 1 Zoom to Fit, 2 Raw Frame
  float& m_pixelRatio = m_options.pixelRatio;      // 0.24 to 4.1
  int& m_interlaced = m_options.interlaced;
  int& m_resolution = m_options.resolution;        // 1x, 1.5x, 2x, 2.5x
  int& m_noiseReduction = m_options.noiseReduction;  // none, low, med, high
  int& m_neighbors = m_options.neighbors;          // "0", "2", "4", "8"
  int& m_motionSmooth = m_options.motionSmooth;    // min, low, med, high
  int& m_crop = m_options.crop;

  VideoPlayer& Player() { return m_player; }
  EnhanceController& Enhance() { return m_enhance; }
  const DisplaySurface& Surface() const { return m_surface; }

 protected:
  int OnCreate() override;
  bool OnInitDialog() override;
  void DoDataExchange(ui::DataExchange* dx) override;
  std::intptr_t WindowProc(const ui::Message& message) override;
  void OnCommand(int id, int code) override;
  void OnOK() override {}  // the window procedure ends the program on command 1
  void OnHScroll(int code, int position, int controlId) override;
  void OnVScroll(int code, int position, int controlId) override;
  void OnSysCommand(unsigned id, std::intptr_t lParam) override;
  bool OnHelpInfo(int controlId) override;
  void OnContextMenu(int controlId, QPoint screenPosition) override;
  void OnDestroy() override;
  void OnEnterKey(int focusId) override;

 private:
  // Reads the option controls into the option values without a message: a
  // pixel ratio that does not validate is left in its edit, unread. Runs
  // before every command and notification, so a refresh that shows the
  // values (Play, Pause, Open, copy, save) never puts back values the user
  // has since changed in the controls.
  void KeepChoices();
  // The pixel ratio in the edit, when the exchange would accept it.
  bool PixelRatioInEdit(float* ratio) const;
  // Remembers the folder of a file chosen in the open or the save dialog.
  static void RememberFolder(const std::string& path, std::string* folder);

  bool m_exchanging = false;    // inside DoDataExchange
  bool m_ratioEdited = false;   // the pixel ratio text changed since it was shown
  std::string m_openFolder;     // folder of the last video chosen, this run
  std::string m_saveFolder;     // folder of the last picture saved, this run

 public:
  // Commands (message map).
  void OnOpenVideo();
  void OnPlayPause();
  void OnSpeedChange();
  void OnFrameEditChange();
  void OnAbout();
  void OnHelp();

  // Capture and enhance, adjustments (capture_driver.cpp).
  void OnCaptureEnhance();
  void OnResetAdjustments();
  void OnResetOptions();
  void OnAdjustmentScroll(int code, int position, int controlId);

  // Display, copy and save (picture_display.cpp).
  void RefreshDisplay(bool recompute);
  void OnActualSize();
  void OnZoomToFit();
  void OnRawFrame();
  void OnCropToggle();
  void OnCopy();
  void OnSaveAs();
  void OnPictureScroll(int code, int position, int controlId);
  void OnCropMouseMove(unsigned flags, int x, int y);
  void PaintDisplay(QPainter& painter);

  // The display area: what the enhance host asks of it.
  friend class DialogEnhanceHost;

  // The help engine through the class library's wrapper: "Failed to launch
  // help." when it cannot be started.
  void WinHelp(std::uint32_t data, unsigned command);

  // The save dialog, started in the folder the last save ended in (or, before
  // the first save, in the folder of the last video opened).
  bool ChooseSaveFile(ui::FileDialogRequest request, std::string* path);

  // Members (the player's graph, state, frame count, timer, file name and
  // loaded flag live in m_player; the capture's engine and post-filters,
  // the adjustments, the raw frame, the result, the drawn picture, the crop
  // rectangle, the zoom and the offsets live in m_enhance).
  ui::Slider* m_sharpnessSlider = nullptr;
  QProgressBar* m_progress = nullptr;
  ui::Slider* m_hueSlider = nullptr;
  ui::Slider* m_contrastSlider = nullptr;
  ui::Slider* m_saturationSlider = nullptr;
  ui::Slider* m_brightnessSlider = nullptr;
  ui::UpDown* m_frameSpin = nullptr;
  QWidget* m_frameEdit = nullptr;
  ui::Slider* m_positionSlider = nullptr;
  ui::ScrollBar* m_verticalScroll = nullptr;
  ui::ScrollBar* m_horizontalScroll = nullptr;
  QPushButton* m_captureButton = nullptr;
  ui::UpDown* m_speedSpin = nullptr;
  QWidget* m_speedEdit = nullptr;
  QPushButton* m_playButton = nullptr;
  ui::GrayRect* m_display = nullptr;
  ui::GrayRect* m_videoHost = nullptr;
  ui::VideoView* m_videoView = nullptr;
  media::VideoSurface* m_videoSurface = nullptr;
  QPushButton* m_copyButton = nullptr;
  QPushButton* m_saveButton = nullptr;

  // The capture, the adjustments and the display area's picture, and what
  // they are drawn on.
  DisplaySurface m_surface;
  bool m_displayDirty = false;   // the surface must be drawn again
  bool m_inDisplayPaint = false;
  DialogEnhanceHost m_enhanceHost{this};
  EnhanceController m_enhance{&m_enhanceHost, &m_player};

 private:
  // Declared last: destroyed first, so the graph's streaming thread has
  // stopped before any widget or picture goes away.
  VideoPlayer m_player{this};
};
