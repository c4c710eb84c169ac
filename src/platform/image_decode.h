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

// Decoding ahead: the pictures (program paths) a scene is about to load are
// read and decoded by worker threads while the program does other work;
// LoadImageFile then takes each one, decoded, instead of reading it (once,
// and only while the file is the one that was read; one not started yet is
// read by LoadImageFile itself). Only BMP files are decoded ahead.
void DecodeAhead(const std::vector<std::string>& programPaths);
// Drops what was decoded ahead and not taken (and what is still queued),
// after waiting for the pictures being decoded.
void ForgetDecodedAhead();

// Only the size, from the header (for the "does it fit the screen" checks).
bool ReadImageSize(const std::string& programPath, int& width, int& height);

}  // namespace plat
