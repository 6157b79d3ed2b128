#include "app/dialog_enhance_host.h"

#include <QCoreApplication>
#include <QProgressBar>

#include "app/enhancer_dlg.h"
#include "app/resource_ids.h"

EnhanceOptions& DialogEnhanceHost::Options() { return dlg_->m_options; }

void DialogEnhanceHost::UpdateOptions(bool saveAndValidate) { dlg_->UpdateData(saveAndValidate); }

void DialogEnhanceHost::ShowError(const std::string& text) { dlg_->ShowError(text); }

void DialogEnhanceHost::ShowMessage(const std::string& text) { ui::AfxMessageBox(text); }

void DialogEnhanceHost::SetMouseCaptureToProgress(bool capture) {
  if (capture)
    dlg_->SetCapture(IDC_PROGRESS);
  else
    dlg_->ReleaseCapture();
}

void DialogEnhanceHost::ShowBusy(bool busy) {
  dlg_->ShowBusy(busy);
  // A cursor set just before the thread blocks may stay in the window
  // system's queue until the work is done: the waiting events other than
  // input are handled once, which sends it (and paints what changed).
  if (busy) QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

int DialogEnhanceHost::SliderPosition(int id) {
  auto* slider = dlg_->Item<ui::Slider>(id);
  return slider ? slider->Position() : 50;
}

void DialogEnhanceHost::SetSliderPosition(int id, int position) {
  if (auto* slider = dlg_->Item<ui::Slider>(id)) slider->SetPosition(position);
}

void DialogEnhanceHost::DisplayClientSize(int* width, int* height) {
  *width = dlg_->m_display ? dlg_->m_display->width() : 0;
  *height = dlg_->m_display ? dlg_->m_display->height() : 0;
}

RasterRect DialogEnhanceHost::DisplayRectInDialog() {
  const QRect r = dlg_->ItemRect(IDC_DISPLAY);
  return RasterRect{r.left(), r.top(), r.left() + r.width(), r.top() + r.height()};
}

void DialogEnhanceHost::SetScrollBar(int id, int maximum, int position, bool enabled) {
  if (auto* bar = dlg_->Item<ui::ScrollBar>(id)) {
    bar->SetRange(0, maximum);
    bar->SetPosition(position);
  }
  dlg_->EnableItem(id, enabled);
}

int DialogEnhanceHost::ScrollBarPosition(int id) {
  auto* bar = dlg_->Item<ui::ScrollBar>(id);
  return bar ? bar->Position() : 0;
}

int DialogEnhanceHost::ScrollBarMaximum(int id) {
  auto* bar = dlg_->Item<ui::ScrollBar>(id);
  return bar ? bar->maximum() : 0;
}

void DialogEnhanceHost::SetScrollBarPosition(int id, int position) {
  if (auto* bar = dlg_->Item<ui::ScrollBar>(id)) bar->SetPosition(position);
}

void DialogEnhanceHost::InvalidateDisplay(bool erase) {
  // The surface keeps the last drawing; an invalidation asks for the
  // picture to be drawn again at the next paint of the area.
  if (erase) dlg_->m_surface.Erase();
  dlg_->m_displayDirty = true;
  if (dlg_->m_display) dlg_->m_display->update();
}

RasterDrawTarget* DialogEnhanceHost::BeginDisplayDrawing() {
  if (!dlg_->m_display) return nullptr;
  dlg_->m_surface.Resize(dlg_->m_display->width(), dlg_->m_display->height());
  return &dlg_->m_surface;
}

void DialogEnhanceHost::FillMargin(const RasterRect& band) { dlg_->m_surface.FillHatch(band); }

void DialogEnhanceHost::DrawCropOutline(const RasterRect& rect) { dlg_->m_surface.DrawCropOutline(rect); }

void DialogEnhanceHost::EndDisplayDrawing() {
  // Shown at the next paint; a drawing made inside the paint is shown by it.
  if (dlg_->m_display && !dlg_->m_inDisplayPaint) dlg_->m_display->update();
}

bool DialogEnhanceHost::SetClipboardDib(const std::uint8_t* dib, std::size_t size) {
  return ui::GetServices().SetClipboardDib(dib, size);
}

bool DialogEnhanceHost::ChooseSaveFile(const SaveFileRequest& request, std::string* path) {
  ui::FileDialogRequest r;
  r.save = true;
  for (const auto& [name, patterns] : request.filters) r.filters.push_back({name, patterns});
  r.filterIndex = request.filterIndex;
  r.defaultExtension = request.defaultExtension;
  r.promptOverwrite = request.promptOverwrite;
  return dlg_->ChooseSaveFile(r, path);
}

void DialogEnhanceHost::SetPos(int position) {
  if (dlg_->m_progress) dlg_->m_progress->setValue(position);
}

void DialogEnhanceHost::PumpMessages() { ui::PumpPendingMessages(); }
