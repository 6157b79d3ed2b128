// Capture and enhance, and the picture adjustments of the main dialog.
// The capture driver itself (frames into the engine, the run, the
// post-filters and the recomposition) comes with its own change; until then
// its commands do nothing.
#include "app/enhancer_dlg.h"
#include "app/resource_ids.h"

void CEnhancerDlg::OnCaptureEnhance() {
  // A capture needs a loaded, paused video.
  if (!m_player.videoLoaded() || m_player.playState() != kPlayPaused) return;
}

void CEnhancerDlg::OnAdjustmentScroll(int, int, int) {}

void CEnhancerDlg::OnResetAdjustments() {}

void CEnhancerDlg::OnResetOptions() {
  m_neighbors = 1;
  m_motionSmooth = 2;
  m_noiseReduction = 0;
  m_resolution = 0;
  m_sharpnessSlider->SetPosition(50);
  UpdateData(false);
}
