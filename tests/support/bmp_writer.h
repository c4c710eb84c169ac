// BMP files for tests, assembled byte by byte from the file format (file
// header, one of the info headers, masks, colour table, rows bottom-up and
// padded to four bytes, or RLE codes), independent of the reader under test.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testbmp {

inline void Put16(std::vector<uint8_t>& b, uint32_t v) {
  for (int i = 0; i < 2; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
inline void Put32(std::vector<uint8_t>& b, uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

struct Spec {
  uint32_t headerSize = 40;  // 12, 40, 52, 56, 108, 124
  int32_t width = 0;
  int32_t height = 0;        // positive; topDown writes it negated
  bool topDown = false;
  uint16_t bpp = 24;
  uint32_t compression = 0;  // 0 RGB, 1 RLE8, 2 RLE4, 3 BITFIELDS
  uint32_t clrUsed = 0;
  std::vector<uint32_t> palette{};   // 0x00RRGGBB, written as the table
  uint32_t masks[4] = {0, 0, 0, 0};  // R, G, B, A (BITFIELDS, V4/V5)
};

// Packs picture values (one per pixel, rows from the top; palette indices for
// 1/4/8 bits, raw pixel values for 16/24/32) into stored rows.
inline std::vector<uint8_t> PackRows(const Spec& s, const std::vector<uint32_t>& values) {
  const size_t stride = ((static_cast<size_t>(s.width) * s.bpp + 31) / 32) * 4;
  std::vector<uint8_t> out(stride * static_cast<size_t>(s.height), 0);
  for (int y = 0; y < s.height; ++y) {
    const int fileRow = s.topDown ? y : s.height - 1 - y;
    uint8_t* row = out.data() + stride * static_cast<size_t>(fileRow);
    for (int x = 0; x < s.width; ++x) {
      const uint32_t v = values[static_cast<size_t>(y) * s.width + x];
      switch (s.bpp) {
        case 1: row[x / 8] |= static_cast<uint8_t>((v & 1) << (7 - x % 8)); break;
        case 4: row[x / 2] |= static_cast<uint8_t>((v & 15) << (x % 2 ? 0 : 4)); break;
        case 8: row[x] = static_cast<uint8_t>(v); break;
        default:  // 16, 24, 32: little-endian pixel values
          for (int i = 0; i < s.bpp / 8; ++i) row[s.bpp / 8 * x + i] = static_cast<uint8_t>(v >> (8 * i));
      }
    }
  }
  return out;
}

// The whole file: headers, masks (after a 40-byte header with BITFIELDS),
// colour table, then `pixelData` as given (rows or RLE codes).
inline std::vector<uint8_t> Build(const Spec& s, const std::vector<uint8_t>& pixelData) {
  std::vector<uint8_t> info;
  Put32(info, s.headerSize);
  if (s.headerSize == 12) {
    for (uint32_t v : {uint32_t(s.width), uint32_t(s.height), 1u, uint32_t(s.bpp)}) Put16(info, v);
  } else {
    Put32(info, static_cast<uint32_t>(s.width));
    Put32(info, static_cast<uint32_t>(s.topDown ? -s.height : s.height));
    Put16(info, 1);
    Put16(info, s.bpp);
    for (uint32_t v : {s.compression, uint32_t(pixelData.size()), 2835u, 2835u, s.clrUsed, 0u}) Put32(info, v);
    for (int i = 0; i < 4 && s.headerSize >= 52u + 4 * (i / 3); ++i) Put32(info, s.masks[i]);  // RGB from 52, A from 56
    if (s.headerSize >= 108) Put32(info, 0x73524742);  // 'sRGB'
    info.resize(s.headerSize, 0);
  }
  std::vector<uint8_t> extra;
  for (int i = 0; i < 3 && s.headerSize == 40 && s.compression == 3; ++i) Put32(extra, s.masks[i]);
  for (uint32_t c : s.palette) {
    for (int i = 0; i < (s.headerSize == 12 ? 3 : 4); ++i)
      extra.push_back(static_cast<uint8_t>(i < 3 ? c >> (8 * i) : 0));  // the fourth byte reserved
  }
  const uint32_t offBits = static_cast<uint32_t>(14 + info.size() + extra.size());
  std::vector<uint8_t> file{'B', 'M'};
  Put32(file, static_cast<uint32_t>(offBits + pixelData.size()));
  Put32(file, 0);
  Put32(file, offBits);
  file.insert(file.end(), info.begin(), info.end());
  file.insert(file.end(), extra.begin(), extra.end());
  file.insert(file.end(), pixelData.begin(), pixelData.end());
  return file;
}

inline std::vector<uint8_t> Build(const Spec& s, const std::vector<uint32_t>& values, int) {
  return Build(s, PackRows(s, values));
}

// A 24-bit bottom-up picture from 0x00RRGGBB values.
inline std::vector<uint8_t> Rgb24(int w, int h, const std::vector<uint32_t>& rgb) {
  Spec s;
  s.width = w, s.height = h;
  return Build(s, PackRows(s, rgb));
}

// An 8-bit picture with a 256-entry table.
inline std::vector<uint8_t> Indexed8(int w, int h, const std::vector<uint32_t>& palette,
                                     const std::vector<uint32_t>& indices) {
  Spec s;
  s.width = w, s.height = h, s.bpp = 8, s.palette = palette;
  s.palette.resize(256, 0);
  return Build(s, PackRows(s, indices));
}

inline std::string AsString(const std::vector<uint8_t>& bytes) { return std::string(bytes.begin(), bytes.end()); }

}  // namespace testbmp
