// Pictures as SDL2_image reads them, for comparing with our readers and
// with the files the tools write.
#pragma once

#include <SDL.h>
#include <SDL_image.h>

#include <cstdint>
#include <string>
#include <vector>

// The pixels of `s` (which it frees) as 0xAARRGGBB, rows from the top; false
// when SDL gave no surface.
inline bool SdlPixels(SDL_Surface* s, int& w, int& h, std::vector<uint32_t>& argb) {
  SDL_Surface* c = s ? SDL_ConvertSurfaceFormat(s, SDL_PIXELFORMAT_ARGB8888, 0) : nullptr;
  SDL_FreeSurface(s);
  if (c == nullptr) return false;
  w = c->w, h = c->h;
  argb.clear();
  for (int y = 0; y < h; ++y) {
    const auto* row = reinterpret_cast<const uint32_t*>(static_cast<const uint8_t*>(c->pixels) + y * c->pitch);
    argb.insert(argb.end(), row, row + w);
  }
  SDL_FreeSurface(c);
  return true;
}

inline bool LoadSdlPixels(const std::string& path, int& w, int& h, std::vector<uint32_t>& argb) {
  return SdlPixels(IMG_Load(path.c_str()), w, h, argb);
}
