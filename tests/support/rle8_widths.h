// The ImageMagick RLE8 bitmaps of tests/platform/make_rle8_widths.py: one
// file per width 1 to 40, all 23 rows high, and the picture each shows (the
// seed's first columns).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "support/sdl_pixels.h"
#include "support/test_files.h"

namespace testbmp {

struct WidthFile {
  int width = 0;
  std::vector<uint8_t> bytes;
};

// The files one after the other, as stored: each header gives its size.
inline std::vector<WidthFile> ImageMagickRle8Files() {
  const std::string all = Slurp(std::string(PELMORA_SOURCE_DIR) + "/tests/platform/rle8_widths.bin");
  std::vector<WidthFile> files;
  size_t pos = 0;
  while (pos + 26 <= all.size()) {
    auto at = [&](size_t i) { return static_cast<uint32_t>(static_cast<uint8_t>(all[pos + i])); };
    const size_t size = at(2) | at(3) << 8 | at(4) << 16 | at(5) << 24;
    if (size < 26 || pos + size > all.size()) break;
    const auto first = all.begin() + static_cast<long>(pos);
    const int width = static_cast<int>(at(18) | at(19) << 8);
    files.push_back({width, std::vector<uint8_t>(first, first + static_cast<long>(size))});
    pos += size;
  }
  return files;
}

// The seed picture as 0x00RRGGBB, rows from the top (read by SDL2_image).
inline std::vector<uint32_t> Rle8Seed(int& width, int& height) {
  std::vector<uint32_t> px;
  LoadSdlPixels(std::string(PELMORA_SOURCE_DIR) + "/tests/platform/rle8_seed.png", width, height, px);
  for (uint32_t& p : px) p &= 0xFFFFFF;
  return px;
}

}  // namespace testbmp
