// Display, copy and save of the main dialog: the commands go to the enhance
// controller (app/display_copy_save.cpp); the display area shows the surface
// the controller draws on, and draws it again after an invalidation.
#include "app/enhancer_dlg.h"
#include "app/resource_ids.h"

void CEnhancerDlg::RefreshDisplay(bool recompute) { m_enhance.RefreshDisplay(recompute); }

void CEnhancerDlg::OnActualSize() { m_enhance.OnActualSize(); }

void CEnhancerDlg::OnZoomToFit() { m_enhance.OnZoomToFit(); }

void CEnhancerDlg::OnRawFrame() { m_enhance.OnRawFrame(); }

void CEnhancerDlg::OnCropToggle() { m_enhance.OnCropToggle(); }

void CEnhancerDlg::OnCopy() { m_enhance.OnCopy(); }

void CEnhancerDlg::OnSaveAs() { m_enhance.OnSaveAs(); }

void CEnhancerDlg::OnPictureScroll(int code, int position, int controlId) {
  if (controlId == IDC_HSCROLL)
    m_enhance.OnHScroll(code, position, controlId);
  else
    m_enhance.OnVScroll(code, position, controlId);
}

void CEnhancerDlg::OnCropMouseMove(unsigned flags, int x, int y) {
  m_enhance.OnMouseMove(x, y, (flags & ui::MK_LBUTTON) != 0);
}

void CEnhancerDlg::PaintDisplay(QPainter& painter) {
  if (m_displayDirty) {
    m_displayDirty = false;
    m_inDisplayPaint = true;
    m_enhance.OnPaint();
    m_inDisplayPaint = false;
  }
  m_surface.Paint(painter);
}
