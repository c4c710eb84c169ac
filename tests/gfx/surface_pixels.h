// Reading pictures back in the graphics tests: raw surface pixels through
// the processor lock, and the pixels of a PNG the tools wrote.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "gfx/dd.h"
#include "support/sdl_pixels.h"

// The raw pixels of a w × h area, row by row; empty when the lock fails.
inline std::vector<uint32_t> SurfacePixels(DDSURFACEDATA* sd, int x, int y, int w, int h) {
  std::vector<uint32_t> out;
  cSurfaceLock lock(sd);
  EXPECT_TRUE(lock.Locked());
  if (!lock.Locked()) return out;
  const size_t bytes = static_cast<size_t>(lock.m_nBytesPerPixel);
  for (int r = y; r < y + h; ++r)
    for (int c = x; c < x + w; ++c) {
      uint32_t v = 0;
      std::memcpy(&v, lock.Bits() + static_cast<size_t>(r) * lock.Pitch() + static_cast<size_t>(c) * bytes, bytes);
      out.push_back(v);
    }
  return out;
}

// One raw pixel; 0xDEADBEEF when the lock fails.
inline uint32_t Pixel(DDSURFACEDATA* sd, int x, int y) {
  const std::vector<uint32_t> one = SurfacePixels(sd, x, y, 1, 1);
  return one.empty() ? 0xDEADBEEF : one[0];
}

// The pixels of a PNG as 0x00RRGGBB; empty when it cannot be read.
inline std::vector<uint32_t> ReadPng(const std::string& path, int& w, int& h) {
  std::vector<uint32_t> px;
  LoadSdlPixels(path, w, h, px);
  for (uint32_t& p : px) p &= 0xFFFFFF;
  return px;
}
