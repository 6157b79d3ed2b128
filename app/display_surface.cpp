#include "app/display_surface.h"

#include <QPainter>
#include <QPen>

#include <algorithm>

QColor DisplaySurface::Background() { return QColor(128, 128, 128); }

void DisplaySurface::Resize(int width, int height) {
  width = std::max(0, width);
  height = std::max(0, height);
  if (image_.width() == width && image_.height() == height && !image_.isNull()) return;
  image_ = QImage(width, height, QImage::Format_RGB32);
  clip_ = {0, 0, width, height};
  Erase();
}

void DisplaySurface::Erase() {
  if (!image_.isNull()) image_.fill(Background());
}

RasterRect DisplaySurface::ClipBox() const { return clip_; }

void DisplaySurface::CombineClip(const RasterRect& rect, ClipMode mode) {
  // The clip region is kept as one rectangle inside the surface: the
  // intersection, or the bounding box of the union.
  if (mode == ClipMode::Intersect) {
    clip_.left = std::max(clip_.left, rect.left);
    clip_.top = std::max(clip_.top, rect.top);
    clip_.right = std::max(clip_.left, std::min(clip_.right, rect.right));
    clip_.bottom = std::max(clip_.top, std::min(clip_.bottom, rect.bottom));
  } else {
    clip_.left = std::max(0, std::min(clip_.left, rect.left));
    clip_.top = std::max(0, std::min(clip_.top, rect.top));
    clip_.right = std::min(image_.width(), std::max(clip_.right, rect.right));
    clip_.bottom = std::min(image_.height(), std::max(clip_.bottom, rect.bottom));
  }
}

bool DisplaySurface::ReadPixels(std::int32_t left, std::int32_t top, std::int32_t width, std::int32_t height,
                                std::uint8_t* pixels, std::uint32_t rowBytes) {
  if (!pixels || image_.isNull()) return false;
  for (int r = 0; r < height; ++r) {
    const int y = top + height - 1 - r;
    std::uint8_t* out = pixels + static_cast<std::size_t>(r) * rowBytes;
    for (int c = 0; c < width; ++c) {
      const int x = left + c;
      QRgb p = 0;
      if (x >= 0 && y >= 0 && x < image_.width() && y < image_.height())
        p = reinterpret_cast<const QRgb*>(image_.constScanLine(y))[x];
      out[3 * c] = static_cast<std::uint8_t>(qBlue(p));
      out[3 * c + 1] = static_cast<std::uint8_t>(qGreen(p));
      out[3 * c + 2] = static_cast<std::uint8_t>(qRed(p));
    }
  }
  return true;
}

void DisplaySurface::PutPixels(std::int32_t left, std::int32_t top, std::int32_t width, std::int32_t height,
                               const std::uint8_t* pixels, std::uint32_t rowBytes) {
  if (!pixels || image_.isNull()) return;
  const int x0 = std::max<std::int64_t>(left, clip_.left), x1 = std::min<std::int64_t>(std::int64_t{left} + width, clip_.right);
  const int y0 = std::max<std::int64_t>(top, clip_.top), y1 = std::min<std::int64_t>(std::int64_t{top} + height, clip_.bottom);
  for (int y = y0; y < y1; ++y) {
    // Row 0 of the pixels is the bottom screen row of the rectangle.
    const std::uint8_t* in = pixels + static_cast<std::size_t>(top + height - 1 - y) * rowBytes;
    QRgb* out = reinterpret_cast<QRgb*>(image_.scanLine(y));
    for (int x = x0; x < x1; ++x) {
      const std::uint8_t* p = in + static_cast<std::size_t>(x - left) * 3;
      out[x] = qRgb(p[2], p[1], p[0]);
    }
  }
}

void DisplaySurface::FillHatch(const RasterRect& band) {
  if (image_.isNull()) return;
  QPainter painter(&image_);
  const QRect r(band.left, band.top, band.right - band.left, band.bottom - band.top);
  painter.fillRect(r, Background());
  painter.setBrushOrigin(0, 0);
  painter.fillRect(r, QBrush(QColor(0xBF, 0xBF, 0xBF), Qt::DiagCrossPattern));
}

void DisplaySurface::DrawCropOutline(const RasterRect& rect) {
  if (image_.isNull()) return;
  QPainter painter(&image_);
  QPen pen(QColor(255, 0, 0));
  pen.setWidth(1);
  pen.setStyle(Qt::DotLine);
  painter.setPen(pen);
  const QPoint corners[5] = {{rect.left, rect.top}, {rect.right, rect.top}, {rect.right, rect.bottom},
                             {rect.left, rect.bottom}, {rect.left, rect.top}};
  painter.drawPolyline(corners, 5);
}

void DisplaySurface::Paint(QPainter& painter) const {
  if (!image_.isNull()) painter.drawImage(0, 0, image_);
}
