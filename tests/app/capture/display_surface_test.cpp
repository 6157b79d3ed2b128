// The display area's surface in memory: rows arrive bottom-up, the clip box
// limits what is shown, margins and the crop outline stay inside their bands.
#include <gtest/gtest.h>

#include <QColor>
#include <QImage>

#include "app/display_surface.h"

namespace {

QRgb Rgb(int r, int g, int b) { return qRgb(r, g, b); }

TEST(DisplaySurface, DrawnImageIsUprightAndClipped) {
  DisplaySurface surface;
  surface.Resize(8, 6);
  RasterImage image;
  ASSERT_NE(image.Create(3, 2, 24, 0), nullptr);
  // Stored row 0 is the picture's bottom row: red there, blue on top.
  for (int x = 0; x < 3; ++x) {
    std::uint8_t* bottom = image.RowAddress(0) + 3 * x;
    bottom[0] = 0, bottom[1] = 0, bottom[2] = 255;
    std::uint8_t* top = image.RowAddress(1) + 3 * x;
    top[0] = 255, top[1] = 0, top[2] = 0;
  }
  EXPECT_EQ(image.Draw(&surface, 2, 1), 1);
  EXPECT_EQ(surface.image().pixel(2, 1), Rgb(0, 0, 255));
  EXPECT_EQ(surface.image().pixel(4, 2), Rgb(255, 0, 0));
  EXPECT_EQ(surface.image().pixel(5, 2), DisplaySurface::Background().rgb());
  // Partly outside the surface: the visible part only, nothing else touched.
  EXPECT_EQ(image.Draw(&surface, 6, 5), 1);
  EXPECT_EQ(surface.image().pixel(7, 5), Rgb(0, 0, 255));
  // A clip rectangle limits the drawing and is given back afterwards.
  surface.Erase();
  const RasterRect clip{0, 0, 3, 6};
  EXPECT_EQ(image.Draw(&surface, 2, 1, 6, 4, &clip), 1);
  EXPECT_EQ(surface.image().pixel(2, 1), Rgb(0, 0, 255));
  EXPECT_EQ(surface.image().pixel(3, 1), DisplaySurface::Background().rgb());
  EXPECT_EQ(surface.ClipBox().right, 8);
}

TEST(DisplaySurface, ReadPixelsGivesBottomUpRows) {
  DisplaySurface surface;
  surface.Resize(4, 4);
  const RasterRect band{0, 0, 4, 1};
  surface.FillHatch(band);
  std::uint8_t rows[2 * 8] = {};
  ASSERT_TRUE(surface.ReadPixels(1, 0, 2, 2, rows, 8));
  // Row 0 of the buffer is screen row 1 (background), row 1 screen row 0.
  const QColor bg = DisplaySurface::Background();
  EXPECT_EQ(rows[0], bg.blue());
  EXPECT_EQ(rows[2], bg.red());
  const QRgb top = surface.image().pixel(1, 0);
  EXPECT_EQ(rows[8], qBlue(top));
}

TEST(DisplaySurface, MarginsAndOutlineStayInTheirBands) {
  DisplaySurface surface;
  surface.Resize(40, 30);
  surface.FillHatch(RasterRect{0, 0, 10, 30});
  int hatched = 0;
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 40; ++x) {
      const bool changed = surface.image().pixel(x, y) != DisplaySurface::Background().rgb();
      if (x >= 10) {
        EXPECT_FALSE(changed) << x << "," << y;
      }
      hatched += changed;
    }
  EXPECT_GT(hatched, 20);
  surface.DrawCropOutline(RasterRect{20, 5, 30, 25});
  int red = 0;
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 40; ++x)
      if (surface.image().pixel(x, y) == Rgb(255, 0, 0)) {
        ++red;
        EXPECT_TRUE(x == 20 || x == 30 || y == 5 || y == 25) << x << "," << y;
      }
  EXPECT_GT(red, 10);
  EXPECT_LT(red, 60);  // dotted
}

}  // namespace
