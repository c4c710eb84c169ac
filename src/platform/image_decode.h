// Decoding the picture files a game ships (BMP of every common kind, PNG,
// JPG) into memory, bounded against hostile files: a header that lies about
// sizes, offsets or colour tables fails cleanly, never reads past the bytes
// given and never allocates more than the file could describe.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace plat {

struct DecodedImage {
  int width = 0;
  int height = 0;
  // Bits per pixel of the file (1, 4, 8, 16, 24, 32 for BMP; 8 for a
  // paletted PNG, 24 or 32 otherwise).
  int fileBitsPerPixel = 0;
  // For files with a colour table (1, 4 or 8 bits): the table as 0x00RRGGBB,
  // up to 256 entries, and each pixel's index, row after row from the top.
  std::vector<uint32_t> palette;
  std::vector<uint8_t> indices;
  // Always: every pixel as 0xAARRGGBB, row after row from the top (alpha
  // 0xFF unless the file carries real alpha).
  std::vector<uint32_t> argb;
};

// Largest picture accepted (either side), whatever the file claims.
inline constexpr int kMaxImageSide = 16384;

// Decodes `bytes` (the whole file). False with a short English reason in
// `error` when the file is not a picture this can read or is broken.
bool DecodeImage(const uint8_t* bytes, size_t size, DecodedImage& out, std::string& error);

// Reads and decodes a file by program path (CP932, "\" separators, resolved
// through the path layer). False with a reason when it cannot be read.
bool LoadImageFile(const std::string& programPath, DecodedImage& out, std::string& error);

// Only the size, from the header (for the "does it fit the screen" checks).
bool ReadImageSize(const std::string& programPath, int& width, int& height);

}  // namespace plat
