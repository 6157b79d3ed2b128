// The main dialog's side of the enhance controller: option exchange through
// the dialog's data exchange, its progress bar and message pump, the
// adjustment sliders, the display area's scroll bars and surface, the
// clipboard and the save dialog of the UI layer.
#pragma once

#include "app/enhance_controller.h"

class CEnhancerDlg;

class DialogEnhanceHost : public EnhanceHost, public ProgressControl {
 public:
  explicit DialogEnhanceHost(CEnhancerDlg* dialog) : dlg_(dialog) {}

  // True while a capture holds the commands (see LockCommands).
  bool CommandsLocked() const { return locked_; }

  EnhanceOptions& Options() override;
  void UpdateOptions(bool saveAndValidate) override;
  void ShowError(const std::string& text) override;
  void ShowMessage(const std::string& text) override;
  ProgressControl* Progress() override { return this; }
  void SetMouseCaptureToProgress(bool capture) override;
  void LockCommands(bool locked) override { locked_ = locked; }
  void ShowBusy(bool busy) override;
  int SliderPosition(int id) override;
  void SetSliderPosition(int id, int position) override;
  void DisplayClientSize(int* width, int* height) override;
  RasterRect DisplayRectInDialog() override;
  void SetScrollBar(int id, int maximum, int position, bool enabled) override;
  int ScrollBarPosition(int id) override;
  int ScrollBarMaximum(int id) override;
  void SetScrollBarPosition(int id, int position) override;
  void InvalidateDisplay(bool erase) override;
  RasterDrawTarget* BeginDisplayDrawing() override;
  void FillMargin(const RasterRect& band) override;
  void DrawCropOutline(const RasterRect& rect) override;
  void EndDisplayDrawing() override;
  bool SetClipboardDib(const std::uint8_t* dib, std::size_t size) override;
  bool ChooseSaveFile(const SaveFileRequest& request, std::string* path) override;

  // ProgressControl.
  void SetPos(int position) override;
  void PumpMessages() override;

 private:
  CEnhancerDlg* dlg_;
  bool locked_ = false;
};
