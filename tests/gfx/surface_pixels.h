// Reading pictures back in the graphics tests: raw surface pixels through
// the processor lock, and the pixels of a PNG the tools wrote.
#pragma once

#include <SDL.h>
#include <SDL_image.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "gfx/dd.h"

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
  SDL_Surface* s = IMG_Load(path.c_str());
  if (s == nullptr) return px;
  SDL_Surface* c = SDL_ConvertSurfaceFormat(s, SDL_PIXELFORMAT_ARGB8888, 0);
  SDL_FreeSurface(s);
  w = c->w;
  h = c->h;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) px.push_back(static_cast<uint32_t*>(c->pixels)[y * c->pitch / 4 + x] & 0xFFFFFF);
  SDL_FreeSurface(c);
  return px;
}
