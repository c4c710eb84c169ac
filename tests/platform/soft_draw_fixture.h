// What the software drawing tests (soft_draw_test.cpp, soft_device_test.cpp)
// share: the DirectDraw fixture, deterministic pixel noise, and a draw run
// on the specialised loops and on the general road to compare the two.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

#include "platform/soft_draw.h"
#include "support/display.h"

namespace plat {

struct DrawFixture : ::testing::Test {
  void TearDown() override { PixelImage::SetExtraPitchForTest(0); }
  DisplaySandbox sandbox_;  // default device, no faults, fast paths, no vertical-blank waits
  // A DirectDraw object in a display mode of `bits`, and its two surfaces.
  DirectDrawObject* Open(int bits, int sw, int sh, MemoryPlace srcPlace, int dw, int dh, DrawSurface** src,
                         DrawSurface** dst) {
    uint32_t hr;
    DirectDrawObject* dd = DirectDrawObject::Create(hr);
    EXPECT_EQ(dd->SetDisplayMode(640, 480, bits, 60), DD_OK);
    EXPECT_EQ(dd->CreateSurface(sw, sh, srcPlace, src), DD_OK);
    EXPECT_EQ(dd->CreateSurface(dw, dh, MemoryPlace::System, dst), DD_OK);
    return dd;
  }
};

// Deterministic pixel noise.
struct Noise {
  uint32_t state;
  uint32_t Next() {
    state = state * 1664525u + 1013904223u;
    return state ^ (state >> 15);
  }
  void Fill(PixelImage& image) {
    for (int y = 0; y < image.Height(); ++y)
      for (int x = 0; x < image.Width(); ++x) image.Set(x, y, Next());
  }
};

inline std::vector<uint8_t> Bytes(const PixelImage& image) {
  const uint8_t* p = const_cast<PixelImage&>(image).Bits();
  return std::vector<uint8_t>(p, p + static_cast<size_t>(image.Pitch()) * image.Height());
}

inline void PutBytes(PixelImage& image, const std::vector<uint8_t>& bytes) {
  std::memcpy(image.Bits(), bytes.data(), bytes.size());
}

// Runs `draw` on `target` twice from the same starting picture, with the
// specialised loops and with the general road, and returns both results.
template <typename Draw>
std::pair<std::vector<uint8_t>, std::vector<uint8_t>> BothRoads(PixelImage& target, Draw draw) {
  const std::vector<uint8_t> start = Bytes(target);
  SetDrawFastPaths(true);
  draw();
  const std::vector<uint8_t> fast = Bytes(target);
  PutBytes(target, start);
  SetDrawFastPaths(false);
  draw();
  const std::vector<uint8_t> general = Bytes(target);
  SetDrawFastPaths(true);
  PutBytes(target, start);
  return {fast, general};
}

// The widest vector level this processor runs (each below it can be chosen).
inline int DrawVectorLevelLimit() {
  SetDrawVectorLimit(2);
  return DrawVectorLevel();
}

}  // namespace plat
