// The picture display area's content as an image in memory: the surface the
// result and the raw frame are drawn on (RasterImage::Draw), with the
// hatched margins and the dotted crop outline; the area's paint handler
// shows it.
#pragma once

#include <QImage>

#include "imagefile/raster_image.h"

class QPainter;

class DisplaySurface : public RasterDrawTarget {
 public:
  // Matches the area's client size; a new size starts from the background.
  void Resize(int width, int height);
  // Fills the whole surface with the area's background.
  void Erase();

  // RasterDrawTarget.
  RasterRect ClipBox() const override;
  void CombineClip(const RasterRect& rect, ClipMode mode) override;
  bool ReadPixels(std::int32_t left, std::int32_t top, std::int32_t width, std::int32_t height,
                  std::uint8_t* pixels, std::uint32_t rowBytes) override;
  void PutPixels(std::int32_t left, std::int32_t top, std::int32_t width, std::int32_t height,
                 const std::uint8_t* pixels, std::uint32_t rowBytes) override;

  // A margin band in diagonal-cross hatch of colour 0xBFBFBF over the
  // background.
  void FillHatch(const RasterRect& band);
  // The crop rectangle's outline: dotted, one pixel wide, pure red, through
  // its four corners in the order given.
  void DrawCropOutline(const RasterRect& rect);

  // Shows the surface at the top-left of the painter's device.
  void Paint(QPainter& painter) const;

  const QImage& image() const { return image_; }
  static QColor Background();

 private:
  QImage image_;
  RasterRect clip_{0, 0, 0, 0};
};
