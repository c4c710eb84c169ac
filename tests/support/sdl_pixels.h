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

// A screenshot or picture, 0xRRGGBB a dot.
struct Shot {
  int w = 0, h = 0;
  std::vector<uint32_t> px;
  uint32_t At(int x, int y) const { return px[static_cast<size_t>(y * w + x)]; }
  bool Inside(int x, int y) const { return x >= 0 && y >= 0 && x < w && y < h; }
};

inline bool LoadShot(const std::string& path, Shot& shot) {
  if (!LoadSdlPixels(path, shot.w, shot.h, shot.px)) return false;
  for (uint32_t& p : shot.px) p &= 0xFFFFFF;
  return true;
}

// The colour of palette number `number` in a project's palette picture
// ("bmp\plt\Palette.bmp": its rows 8..23 hold the numbers in order, 16 a row).
inline uint32_t PaletteColour(const Shot& palettePicture, int number) {
  return palettePicture.At(number % 16, 8 + number / 16);
}
