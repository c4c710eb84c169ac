#include "bmp_file_writer.h"

#include "tool.h"

namespace tool {

namespace {

void Put16(std::string& s, uint32_t v) {
  s.push_back(static_cast<char>(v & 0xFF));
  s.push_back(static_cast<char>((v >> 8) & 0xFF));
}
void Put32(std::string& s, uint32_t v) {
  Put16(s, v & 0xFFFF);
  Put16(s, v >> 16);
}

std::string Headers(int width, int height, int bpp, uint32_t tableBytes, uint32_t pixelBytes) {
  const uint32_t offset = 14 + 40 + tableBytes;
  std::string s = "BM";
  Put32(s, offset + pixelBytes);
  Put32(s, 0);
  Put32(s, offset);
  Put32(s, 40);
  Put32(s, static_cast<uint32_t>(width));
  Put32(s, static_cast<uint32_t>(height));
  Put16(s, 1);
  Put16(s, static_cast<uint32_t>(bpp));
  Put32(s, 0);  // BI_RGB
  Put32(s, pixelBytes);
  Put32(s, 2835);  // 72 dpi
  Put32(s, 2835);
  Put32(s, bpp == 8 ? 256 : 0);
  Put32(s, 0);
  return s;
}

}  // namespace

bool WriteBmp8(const std::string& path, int width, int height, const std::vector<uint32_t>& palette,
               const std::vector<uint8_t>& indices) {
  if (width <= 0 || height <= 0 || palette.size() != 256 || indices.size() != size_t(width) * size_t(height))
    return false;
  const size_t stride = (static_cast<size_t>(width) + 3) & ~size_t{3};
  std::string s = Headers(width, height, 8, 1024, static_cast<uint32_t>(stride * height));
  for (uint32_t c : palette) Put32(s, c & 0xFFFFFF);  // blue, green, red, 0
  for (int y = height - 1; y >= 0; --y) {
    s.append(reinterpret_cast<const char*>(&indices[static_cast<size_t>(y) * width]), static_cast<size_t>(width));
    s.append(stride - static_cast<size_t>(width), '\0');
  }
  return WriteWholeFile(path, s);
}

bool WriteBmp24(const std::string& path, int width, int height, const std::vector<uint32_t>& rgb) {
  if (width <= 0 || height <= 0 || rgb.size() != size_t(width) * size_t(height)) return false;
  const size_t stride = (static_cast<size_t>(width) * 3 + 3) & ~size_t{3};
  std::string s = Headers(width, height, 24, 0, static_cast<uint32_t>(stride * height));
  for (int y = height - 1; y >= 0; --y) {
    for (int x = 0; x < width; ++x) {
      const uint32_t c = rgb[static_cast<size_t>(y) * width + x];
      s.push_back(static_cast<char>(c & 0xFF));
      s.push_back(static_cast<char>((c >> 8) & 0xFF));
      s.push_back(static_cast<char>((c >> 16) & 0xFF));
    }
    s.append(stride - static_cast<size_t>(width) * 3, '\0');
  }
  return WriteWholeFile(path, s);
}

}  // namespace tool
