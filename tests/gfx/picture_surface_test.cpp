// A DirectDraw surface made from a picture: every pixel the picture (with
// its mirrored cells) covers holds the picture, and only the pixels it does
// not cover keep the clearing fill (palette number 0), in every depth.
#include <gtest/gtest.h>

#include <vector>

#include "gfx/dd.h"
#include "platform/soft_draw.h"
#include "support/bmp_writer.h"
#include "support/display.h"
#include "surface_pixels.h"

namespace {

class PictureSurfaceTest : public ::testing::TestWithParam<int> {
 protected:
  void SetUp() override {
    for (int i = 0; i < 256; ++i) DDState.DDPalette[i] = PALETTEENTRY{uint8_t(i), uint8_t(255 - i), uint8_t(i * 3), 0};
    DDState.DDPalette[0] = PALETTEENTRY{255, 0, 255, 0};
    plat::DrawFaultInjection().desktopBitsOverride = GetParam();
    ASSERT_TRUE(DDInit(0, 0, 640, 480, GetParam(), 0, 1, 1, 60, 0, table_, info_, 4));
  }
  void TearDown() override {
    DDResetForTest();
    plat::DrawFaultInjection() = plat::DrawFaults{};
  }

  DisplaySandbox sandbox_;
  DDSURFACEDATA table_[4];
  DDSURFACEINFO info_[4];
};

TEST_P(PictureSurfaceTest, UncoveredPixelsKeepTheFillAndCoveredOnesThePicture) {
  // 8-bit pictures whose index is the column (plus 16 per row), so that
  // every display depth tells the columns apart.
  std::vector<uint32_t> table(256);
  for (uint32_t i = 0; i < 256; ++i) table[i] = (i * 7) << 16 | (255 - i) << 8 | (i * 13 & 0xFF);
  auto picture = [&](int w, int h) {
    std::vector<uint32_t> px;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) px.push_back(static_cast<uint32_t>(16 + x + 16 * y));
    return sandbox_.Write('p' + std::to_string(w) + ".bmp", testbmp::AsString(testbmp::Indexed8(w, h, table, px)));
  };
  // The same pictures without mirroring: the expected pixel of each column.
  for (const auto& [w, cell] : {std::pair(8, 4), std::pair(10, 4), std::pair(12, 0)}) {
    SCOPED_TRACE(testing::Message() << w << " columns, cells of " << cell);
    const std::string file = picture(w, 3);
    DDSURFACEDATA plain, mirrored;
    ASSERT_EQ(DDCreateSurfaceFromFile(&plain, file.c_str(), 1, GetParam(), 1, 0, 0, 0, 0, 0, 0), 0u);
    ASSERT_EQ(DDCreateSurfaceFromFile(&mirrored, file.c_str(), 1, GetParam(), 1, 0, 0, 0, cell, 0, 0), 0u);
    const std::vector<uint32_t> want = SurfacePixels(&plain, 0, 0, w, 3);
    const std::vector<uint32_t> got = SurfacePixels(&mirrored, 0, 0, w, 3);
    ASSERT_EQ(got.size(), want.size());
    const uint32_t fill = PalNumToRGB(0);
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < w; ++x) {
        // The column of the picture that lands on x, when one does.
        int from = x;
        if (cell > 0) {
          from = (x / cell + 1) * cell - x % cell - 1;
          if (from >= w) from = -1;  // the last cell is cut short: nothing lands here
        }
        const uint32_t expected = from < 0 ? fill : want[static_cast<size_t>(y * w + from)];
        EXPECT_EQ(got[static_cast<size_t>(y * w + x)], expected) << x << "," << y;
      }
    DDReleaseSurface(&plain);
    DDReleaseSurface(&mirrored);
  }
}

INSTANTIATE_TEST_SUITE_P(Depths, PictureSurfaceTest, testing::Values(8, 16, 32));

}  // namespace
