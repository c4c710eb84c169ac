// Writes the demo project's bitmaps: BITMAPINFOHEADER files, rows
// bottom-up, padded to four bytes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tool {

// An 8-bit picture: `palette` of 256 colours 0x00RRGGBB, one index a pixel
// (rows from the top). Written to a Linux path; false when it cannot be.
bool WriteBmp8(const std::string& path, int width, int height, const std::vector<uint32_t>& palette,
               const std::vector<uint8_t>& indices);
// A 24-bit picture from 0x00RRGGBB pixels (rows from the top).
bool WriteBmp24(const std::string& path, int width, int height, const std::vector<uint32_t>& rgb);

}  // namespace tool
