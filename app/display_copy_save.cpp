// The display area: the result or the raw frame at actual size (centred or
// scrolled) or fitted, the hatched margins, the crop rectangle; copying the
// result to the clipboard and saving it in the format its extension names.
#include <algorithm>
#include <cmath>
#include <string>

#include "app/enhance_controller.h"

namespace {

bool IsEmpty(const Image8uC3& picture)
{
    return picture.data == nullptr || picture.width <= 0 || picture.height <= 0;
}

// Type id of a file name's extension (compared exactly, case included); 0
// for any other.
std::uint32_t TypeForExtension(const std::string& path)
{
    const std::size_t slash = path.find_last_of('/');
    const std::size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return 0;
    const std::string ext = path.substr(dot + 1);
    if (ext == "tif" || ext == "tiff")
        return RASTER_TYPE_TIFF;
    if (ext == "bmp")
        return RASTER_TYPE_BMP;
    if (ext == "jpg" || ext == "jpeg")
        return RASTER_TYPE_JPEG;
    if (ext == "tga")
        return RASTER_TYPE_TGA;
    if (ext == "png")
        return RASTER_TYPE_PNG;
    return 0;
}

// The fitted view of a width x height picture in an area: the factor, and
// the size shown, which keeps at least one pixel a side however thin the
// picture (a 16 x 4000 result is one column wide in a short area).
double FitInArea(int width, int height, int areaWidth, int areaHeight, int* fittedWidth, int* fittedHeight)
{
    if (width <= 0 || height <= 0) {
        *fittedWidth = 0;
        *fittedHeight = 0;
        return 1.0;
    }
    const double z = std::min(static_cast<double>(areaWidth) / width, static_cast<double>(areaHeight) / height);
    const int atLeast = z > 0.0 ? 1 : 0;
    *fittedWidth = std::max(atLeast, static_cast<int>(width * z));
    *fittedHeight = std::max(atLeast, static_cast<int>(height * z));
    return z;
}

}  // namespace

void EnhanceController::RefreshDisplay(bool recompute)
{
    switch (opt().displayMode) {
    case kDisplayRawFrame:
        if (recompute) {
            SetupScrolling(m_rawFrame.width, m_rawFrame.height);
            m_host->UpdateOptions(true);
        }
        DrawPicture(m_rawFrame, false);
        break;
    case kDisplayZoomToFit:
        if (recompute) {
            int fw = 0, fh = 0;
            m_host->DisplayClientSize(&m_areaWidth, &m_areaHeight);
            FitZoom(m_result, &fw, &fh);
            SetupScrolling(fw, fh);
            m_host->UpdateOptions(true);
        }
        DrawPicture(m_result, true);
        break;
    default:
        if (recompute) {
            SetupScrolling(m_result.width, m_result.height);
            m_host->UpdateOptions(true);
        }
        DrawPicture(m_result, false);
        break;
    }
}

void EnhanceController::SetupScrolling(int w, int h)
{
    m_host->DisplayClientSize(&m_areaWidth, &m_areaHeight);
    if (w > m_areaWidth)
        m_host->SetScrollBar(ctl::kHorizontalScroll, w - m_areaWidth, (w - m_areaWidth) / 2, true);
    else
        m_host->SetScrollBar(ctl::kHorizontalScroll, 0, 0, false);
    m_offsetX = (m_areaWidth - w) / 2;
    if (h > m_areaHeight)
        m_host->SetScrollBar(ctl::kVerticalScroll, h - m_areaHeight, (h - m_areaHeight) / 2, true);
    else
        m_host->SetScrollBar(ctl::kVerticalScroll, 0, 0, false);
    m_offsetY = (m_areaHeight - h) / 2;
}

double EnhanceController::FitZoom(const Image8uC3& picture, int* fittedWidth, int* fittedHeight) const
{
    return FitInArea(picture.width, picture.height, m_areaWidth, m_areaHeight, fittedWidth, fittedHeight);
}

bool EnhanceController::DrawPicture(const Image8uC3& picture, bool zoomToFit)
{
    if (IsEmpty(picture))
        return false;
    int drawnWidth = picture.width;
    int drawnHeight = picture.height;
    bool built = false;
    if (zoomToFit) {
        const double z = FitZoom(picture, &drawnWidth, &drawnHeight);
        m_zoom = z;
        if (drawnWidth > 0 && drawnHeight > 0) {
            try {
                Image8uC3 fitted;
                fitted.allocate(drawnWidth, drawnHeight);
                vpiResize_8u_C3R(picture.data, picture.size(), picture.step,
                                 MakeVpiRect(0, 0, picture.width, picture.height), fitted.data, fitted.step,
                                 fitted.size(), z, z, z <= 1.0 ? VPI_INTER_LINEAR : VPI_INTER_CUBIC);
                built = m_picture.CreateFromBuffer(fitted.data, static_cast<std::uint32_t>(drawnWidth),
                                                   static_cast<std::uint32_t>(drawnHeight), 24,
                                                   static_cast<std::uint32_t>(fitted.step), false);
            } catch (const MemoryException&) {
                built = false;
            }
        }
    } else {
        built = m_picture.CreateFromBuffer(picture.data, static_cast<std::uint32_t>(picture.width),
                                           static_cast<std::uint32_t>(picture.height), 24,
                                           static_cast<std::uint32_t>(picture.step), false);
    }
    if (!built) {
        Tell("Cannot convert image for display", false);
        return false;
    }

    RasterDrawTarget* dc = m_host->BeginDisplayDrawing();
    if (!dc)
        return false;
    if (m_offsetX > 0) {
        m_host->FillMargin(RasterRect{0, 0, m_offsetX, m_areaHeight});
        if (m_offsetX + drawnWidth < m_areaWidth)
            m_host->FillMargin(RasterRect{m_offsetX + drawnWidth, 0, m_areaWidth, m_areaHeight});
    }
    if (m_offsetY > 0) {
        m_host->FillMargin(RasterRect{0, 0, m_areaWidth, m_offsetY});
        if (m_offsetY + drawnHeight < m_areaHeight)
            m_host->FillMargin(RasterRect{0, m_offsetY + drawnHeight, m_areaWidth, m_areaHeight});
    }
    m_picture.Draw(dc, m_offsetX, m_offsetY, -1, -1, nullptr);
    if (opt().crop && zoomToFit) {
        RasterRect& r = m_cropRect;
        if (r.left < 0) r.left = 0;
        if (r.top < 0) r.top = 0;
        if (r.right > m_areaWidth) r.right = m_areaWidth;
        if (r.bottom > m_areaHeight) r.bottom = m_areaHeight;
        if (r.right < 0) r.right = 0;
        if (r.bottom < 0) r.bottom = 0;
        if (r.left > m_areaWidth) r.left = m_areaWidth;
        if (r.top > m_areaHeight) r.top = m_areaHeight;
        m_host->DrawCropOutline(r);
    }
    m_host->EndDisplayDrawing();
    return true;
}

void EnhanceController::OnPaint()
{
    switch (opt().displayMode) {
    case kDisplayRawFrame: DrawPicture(m_rawFrame, false); break;
    case kDisplayZoomToFit: DrawPicture(m_result, true); break;
    default: DrawPicture(m_result, false); break;
    }
}

void EnhanceController::ScrollBy(int code, int position, int id, int* offset)
{
    const int s = m_host->ScrollBarPosition(id);
    const int maximum = m_host->ScrollBarMaximum(id);
    switch (code) {
    case 0:
        if (s > 0) *offset += 1;
        break;
    case 1:
        if (s < maximum) *offset -= 1;
        break;
    case 4:
        if (id == ctl::kHorizontalScroll) *offset = -position;
        break;
    case 5: *offset = -position; break;
    case 6: *offset = 0; break;
    case 7:
        // The end of the range: the picture's far edge at the area's edge,
        // never beyond it.
        *offset = -maximum;
        break;
    default: break;
    }
    m_host->SetScrollBarPosition(id, -*offset);
    m_host->InvalidateDisplay(false);
}

void EnhanceController::OnVScroll(int code, int position, int id)
{
    if (id == ctl::kVerticalScroll)
        ScrollBy(code, position, id, &m_offsetY);
}

void EnhanceController::ResetDisplayToMode(int mode)
{
    m_host->InvalidateDisplay(true);
    opt().displayMode = mode;
    m_host->UpdateOptions(false);
    RefreshDisplay(true);
}

void EnhanceController::OnActualSize()
{
    m_host->InvalidateDisplay(true);
    opt().displayMode = kDisplayActualSize;
    RefreshDisplay(true);
}

void EnhanceController::OnZoomToFit()
{
    m_host->InvalidateDisplay(true);
    opt().displayMode = kDisplayZoomToFit;
    RefreshDisplay(true);
}

void EnhanceController::OnRawFrame()
{
    m_host->InvalidateDisplay(true);
    opt().displayMode = kDisplayRawFrame;
    RefreshDisplay(true);
}

void EnhanceController::OnCropToggle()
{
    m_host->UpdateOptions(true);
    opt().displayMode = kDisplayZoomToFit;
    m_host->UpdateOptions(false);
    RefreshDisplay(true);
}

void EnhanceController::OnMouseMove(int x, int y, bool leftButton)
{
    if (!opt().crop || opt().displayMode != kDisplayZoomToFit)
        return;
    const RasterRect area = m_host->DisplayRectInDialog();
    if (x < area.left || x >= area.right || y < area.top || y >= area.bottom)
        return;
    const int dx = x - area.left;
    const int dy = y - area.top;
    if (leftButton && m_dragging) {
        m_cropRect.right = dx;
        m_cropRect.bottom = dy;
        DrawPicture(m_result, true);
    } else if (leftButton) {
        m_cropRect.left = dx;
        m_cropRect.top = dy;
    }
    m_dragging = leftButton;
}

void EnhanceController::CropInPicture(std::int32_t* left, std::int32_t* top, std::int32_t* right,
                                      std::int32_t* bottom)
{
    // The rectangle was drawn over the fitted view of this result in this
    // area: map it through that view's zoom and offsets, whatever the view
    // shows now.
    int areaWidth = 0, areaHeight = 0;
    m_host->DisplayClientSize(&areaWidth, &areaHeight);
    int fittedWidth = 0, fittedHeight = 0;
    const double z = FitInArea(m_result.width, m_result.height, areaWidth, areaHeight, &fittedWidth, &fittedHeight);
    const int x0 = (areaWidth - fittedWidth) / 2;
    const int y0 = (areaHeight - fittedHeight) / 2;
    const double k = z > 0.0 ? 1.0 / z : 0.0;
    auto map = [k](std::int32_t v, int origin) {
        const double t = std::trunc((static_cast<double>(v) - origin) * k);
        return static_cast<std::int32_t>(std::clamp(t, -2.0e9, 2.0e9));
    };
    *left = map(m_cropRect.left, x0);
    *top = map(m_cropRect.top, y0);
    *right = map(m_cropRect.right, x0);
    *bottom = map(m_cropRect.bottom, y0);
    if (*left > *right)
        std::swap(*left, *right);
    if (*top > *bottom)
        std::swap(*top, *bottom);
}

void EnhanceController::OnCopy()
{
    if (IsEmpty(m_result) || m_capturing)
        return;
    ResetDisplayToMode(kDisplayActualSize);

    RasterGlobalBlock block;
    bool refused = false;
    if (opt().crop) {
        std::int32_t l, t, r, b;
        CropInPicture(&l, &t, &r, &b);
        RasterImage cropped;
        if (m_picture.Crop(l, t, r, b, &cropped))
            block = cropped.CopyToGlobalHandle();
        else
            refused = true;
    } else {
        block = m_picture.CopyToGlobalHandle();
    }
    if (refused)
        Tell(kEmptyCropMessage, false);
    else if (!block || !m_host->SetClipboardDib(block.bytes.get(), block.size))
        Tell("Unable to set Clipboard data", false);

    ResetDisplayToMode(kDisplayZoomToFit);
}

void EnhanceController::OnSaveAs()
{
    if (IsEmpty(m_result) || m_capturing)
        return;
    SaveFileRequest request;
    request.filters = {{"JPEG (*.jpg, *.jpeg)", "*.jpg;*.jpeg"}, {"Bitmap (*.bmp)", "*.bmp"},
                       {"TIFF (*.tif, *.tiff)", "*.tif;*.tiff"}, {"TGA (*.tga)", "*.tga"},
                       {"PNG (*.png)", "*.png"},                  {"All Files (*.*)", "*.*"}};
    request.filterIndex = 1;
    request.defaultExtension = "bmp";
    std::string path;
    if (!m_host->ChooseSaveFile(request, &path))
        return;
    const std::uint32_t type = TypeForExtension(path);
    if (type == 0) {
        Tell("File extension is not supported", false);
        return;
    }
    ResetDisplayToMode(kDisplayActualSize);

    bool saved;
    if (opt().crop) {
        std::int32_t l, t, r, b;
        CropInPicture(&l, &t, &r, &b);
        RasterImage cropped;
        if (!m_picture.Crop(l, t, r, b, &cropped)) {
            // Nothing to write: the chosen file, which may be an older
            // picture the user agreed to replace, is left as it is.
            Tell(kEmptyCropMessage, false);
            return;
        }
        cropped.info.quality = m_jpegQuality;
        saved = cropped.Save(path.c_str(), type);
    } else {
        m_picture.info.quality = m_jpegQuality;
        saved = m_picture.Save(path.c_str(), type);
    }
    if (!saved) {
        Tell("Cannot write file", false);
        return;
    }
    ResetDisplayToMode(kDisplayZoomToFit);
}
