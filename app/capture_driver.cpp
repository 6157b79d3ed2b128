// Capture and enhance, and the picture adjustments of the main dialog: the
// commands go to the enhance controller (app/capture_enhance.cpp), which
// reaches the dialog's controls through DialogEnhanceHost.
#include "app/enhancer_dlg.h"
#include "app/resource_ids.h"

void CEnhancerDlg::OnCaptureEnhance() {
  // The capture lets a step back that is on its way land first and takes
  // the frame it lands on.
  m_enhance.OnCaptureEnhance();
}

void CEnhancerDlg::OnAdjustmentScroll(int code, int position, int controlId) {
  m_enhance.OnHScroll(code, position, controlId);
}

void CEnhancerDlg::OnResetAdjustments() { m_enhance.OnResetAdjustments(); }

void CEnhancerDlg::OnResetOptions() { m_enhance.OnResetOptions(); }
