// Display, copy and save of the main dialog. The display itself (actual
// size, fitted, scrolling, the crop rectangle, the clipboard and saving)
// comes with its own change; until then its commands do nothing.
#include "app/enhancer_dlg.h"
#include "app/resource_ids.h"

void CEnhancerDlg::RefreshDisplay(bool) {}

void CEnhancerDlg::OnActualSize() {}

void CEnhancerDlg::OnZoomToFit() {}

void CEnhancerDlg::OnRawFrame() {}

void CEnhancerDlg::OnCropToggle() {}

void CEnhancerDlg::OnCopy() {}

void CEnhancerDlg::OnSaveAs() {}

void CEnhancerDlg::OnPictureScroll(int, int, int) {}

void CEnhancerDlg::OnCropMouseMove(unsigned, int, int) {}

void CEnhancerDlg::PaintDisplay(QPainter&) {}
