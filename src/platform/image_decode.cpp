#include "platform/image_decode.h"

#include <SDL.h>
#include <SDL_image.h>

#include <sys/stat.h>

#include <algorithm>
#include <bit>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <limits>
#include <list>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

#include "platform/files.h"

namespace plat {

namespace {

// Files above this are not pictures a game ships; refusing them keeps a
// mistaken path (a movie, a disk image) from being read into memory.
constexpr uint64_t kMaxImageFileBytes = 256u << 20;

// Beyond what the bytes themselves can hold, a compressed picture may claim
// this many pixels (16 MB of ARGB) whatever its size...
constexpr uint64_t kFreeCompressedPixels = 4u << 20;
// ...plus this many per byte of compressed data (RLE runs give at most 255
// pixels per two bytes; deflate and JPEG stay well below 1100 per byte for
// anything but a degenerate file).
constexpr uint64_t kRlePixelsPerByte = 256;
constexpr uint64_t kCodecPixelsPerByte = 1100;

// BMP compression kinds.
constexpr uint32_t BI_RGB = 0, BI_RLE8 = 1, BI_RLE4 = 2, BI_BITFIELDS = 3, BI_ALPHABITFIELDS = 6;

uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t Le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}
uint32_t Be32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 | static_cast<uint32_t>(p[2]) << 8 |
         static_cast<uint32_t>(p[3]);
}

bool Fail(std::string& error, const char* reason) {
  error = reason;
  return false;
}

// One channel of a bit-field pixel format.
struct Channel {
  uint32_t mask = 0;
  int shift = 0;
  int bits = 0;

  bool Set(uint32_t m) {
    mask = m;
    if (m == 0) return true;
    shift = std::countr_zero(m);
    const uint32_t v = m >> shift;
    bits = std::popcount(v);
    return (v & (v + 1)) == 0;  // contiguous
  }
  // The channel widened (or narrowed) to 8 bits by repeating its bit
  // pattern, so the largest value becomes 255 and 0 stays 0.
  uint32_t Extract(uint32_t pixel) const {
    if (mask == 0) return 0;
    uint32_t v = (pixel & mask) >> shift;
    if (bits >= 8) return v >> (bits - 8);
    uint32_t out = 0;
    int filled = 0;
    while (filled < 8) {
      out = (out << bits) | v;
      filled += bits;
    }
    return out >> (filled - 8);
  }
};

// Everything the header of a BMP tells, checked against the file's size.
struct BmpHeader {
  int width = 0;
  int height = 0;
  bool topDown = false;
  int bpp = 0;
  uint32_t compression = BI_RGB;
  uint64_t pixelOffset = 0;  // from the start of the file
  uint64_t pixelBytes = 0;   // bytes available for the pixel data
  size_t stride = 0;         // bytes per row (uncompressed kinds)
  Channel r, g, b, a;
  bool hasAlphaMask = false;
  std::vector<uint32_t> palette;  // 0x00RRGGBB
};

// Parses and checks the headers. `data` holds at least the headers; `fileSize`
// is the size of the whole file (may exceed `size` when only a prefix was read).
bool ParseBmpHeader(const uint8_t* data, size_t size, uint64_t fileSize, BmpHeader& h, std::string& error) {
  if (size < 18 || data[0] != 'B' || data[1] != 'M') return Fail(error, "not a BMP file");
  const uint32_t offBits = Le32(data + 10);
  const uint32_t headerSize = Le32(data + 14);
  const uint64_t headerEnd = 14ull + headerSize;
  if (headerSize < 12 || headerEnd > size) return Fail(error, "BMP header truncated");

  const uint8_t* ih = data + 14;
  int64_t width = 0, height = 0;
  uint32_t clrUsed = 0;
  size_t paletteEntrySize = 4;
  bool masksInHeader = false;
  if (headerSize == 12) {  // BITMAPCOREHEADER (OS/2 1.x)
    width = Le16(ih + 4);
    height = Le16(ih + 6);
    h.bpp = Le16(ih + 10);
    paletteEntrySize = 3;
  } else if (headerSize == 16 || headerSize == 40 || headerSize == 52 || headerSize == 56 || headerSize == 64 ||
             headerSize == 108 || headerSize == 124) {
    // BITMAPINFOHEADER and its successors (V2, V3, V4, V5), and the OS/2 2.x
    // header, whose first fields have the same layout.
    width = static_cast<int32_t>(Le32(ih + 4));
    height = static_cast<int32_t>(Le32(ih + 8));
    h.bpp = Le16(ih + 14);
    if (headerSize >= 20) h.compression = Le32(ih + 16);
    if (headerSize >= 36) clrUsed = Le32(ih + 32);
    masksInHeader = headerSize >= 52 && headerSize != 64;
    if (headerSize == 64 && h.compression > BI_RLE4) return Fail(error, "unsupported OS/2 BMP compression");
  } else {
    return Fail(error, "unsupported BMP header size");
  }

  if (height < 0) {
    h.topDown = true;
    height = -height;
  }
  if (width <= 0 || height <= 0) return Fail(error, "BMP has no pixels");
  if (width > kMaxImageSide || height > kMaxImageSide) return Fail(error, "BMP is too large");
  h.width = static_cast<int>(width);
  h.height = static_cast<int>(height);

  switch (h.compression) {
    case BI_RGB:
      if (h.bpp != 1 && h.bpp != 4 && h.bpp != 8 && h.bpp != 16 && h.bpp != 24 && h.bpp != 32)
        return Fail(error, "unsupported BMP bit depth");
      break;
    case BI_RLE8:
      if (h.bpp != 8) return Fail(error, "RLE8 BMP must have 8 bits per pixel");
      break;
    case BI_RLE4:
      if (h.bpp != 4) return Fail(error, "RLE4 BMP must have 4 bits per pixel");
      break;
    case BI_BITFIELDS:
    case BI_ALPHABITFIELDS:
      if (h.bpp != 16 && h.bpp != 32) return Fail(error, "bit-field BMP must have 16 or 32 bits per pixel");
      break;
    default:
      return Fail(error, "unsupported BMP compression");
  }
  if ((h.compression == BI_RLE8 || h.compression == BI_RLE4) && h.topDown)
    return Fail(error, "RLE BMP cannot be top-down");

  // Colour masks: in the header from V2 on, else after a 40-byte header.
  uint64_t tableStart = headerEnd;
  uint32_t masks[4] = {0, 0, 0, 0};
  if (h.compression == BI_BITFIELDS || h.compression == BI_ALPHABITFIELDS) {
    if (masksInHeader) {
      for (int i = 0; i < 3; ++i) masks[i] = Le32(ih + 40 + 4 * i);
      if (headerSize >= 56) masks[3] = Le32(ih + 52);
    } else {
      const int count = h.compression == BI_ALPHABITFIELDS ? 4 : 3;
      if (headerEnd + 4ull * count > size) return Fail(error, "BMP colour masks truncated");
      for (int i = 0; i < count; ++i) masks[i] = Le32(data + headerEnd + 4 * i);
      tableStart += 4ull * count;
    }
  } else if (h.bpp == 16) {
    masks[0] = 0x7C00, masks[1] = 0x03E0, masks[2] = 0x001F;
  } else if (h.bpp == 24 || h.bpp == 32) {
    masks[0] = 0xFF0000, masks[1] = 0xFF00, masks[2] = 0xFF;
    // The fourth byte of a plain 32-bit pixel is alpha when the writer
    // filled it (an all-zero channel is taken as opaque below).
    if (h.bpp == 32) masks[3] = 0xFF000000u;
  }
  if (h.bpp == 16) {
    for (uint32_t& m : masks) m &= 0xFFFF;
  }
  if (!h.r.Set(masks[0]) || !h.g.Set(masks[1]) || !h.b.Set(masks[2]) || !h.a.Set(masks[3]))
    return Fail(error, "BMP colour masks are not contiguous");
  if (h.bpp >= 16 && masks[0] == 0 && masks[1] == 0 && masks[2] == 0) return Fail(error, "BMP colour masks are empty");
  h.hasAlphaMask = masks[3] != 0;

  // Colour table: biClrUsed entries (0 = all), never more than the depth can
  // index; a core header's table is always full.
  if (h.bpp <= 8) {
    const uint32_t full = 1u << h.bpp;
    uint32_t count = (clrUsed == 0 || clrUsed > full) ? full : clrUsed;
    // A table cut short by the pixel offset keeps the entries that fit.
    if (offBits > tableStart && offBits < tableStart + uint64_t{count} * paletteEntrySize)
      count = static_cast<uint32_t>((offBits - tableStart) / paletteEntrySize);
    if (count == 0) return Fail(error, "BMP colour table is empty");
    if (tableStart + uint64_t{count} * paletteEntrySize > size) return Fail(error, "BMP colour table truncated");
    h.palette.resize(count);
    for (uint32_t i = 0; i < count; ++i) {
      const uint8_t* e = data + tableStart + uint64_t{i} * paletteEntrySize;
      h.palette[i] = static_cast<uint32_t>(e[2]) << 16 | static_cast<uint32_t>(e[1]) << 8 | e[0];
    }
  }

  if (offBits < headerEnd || offBits >= fileSize) return Fail(error, "BMP pixel offset out of range");
  h.pixelOffset = offBits;
  h.pixelBytes = fileSize - offBits;
  h.stride = ((static_cast<size_t>(h.width) * static_cast<size_t>(h.bpp) + 31) / 32) * 4;
  const uint64_t pixels = uint64_t(h.width) * uint64_t(h.height);
  if (h.compression == BI_RLE8 || h.compression == BI_RLE4) {
    if (pixels > kFreeCompressedPixels + h.pixelBytes * kRlePixelsPerByte)
      return Fail(error, "RLE BMP claims more pixels than its data can hold");
  } else {
    // The last row need not carry its padding.
    const uint64_t needed = uint64_t(h.stride) * uint64_t(h.height - 1) +
                            (uint64_t(h.width) * uint64_t(h.bpp) + 7) / 8;
    if (needed > h.pixelBytes) return Fail(error, "BMP pixel data truncated");
  }
  return true;
}

// Decodes RLE8/RLE4 into one index per pixel, rows from the top; `indices`
// holds w × h zeros (pixels the data skips keep index 0). The codes run
// from the bottom row up.
// Writers encode whole padded rows (ImageMagick's runs reach into the row's
// padding), so a run or a delta that goes past the row's end is cut there,
// and codes past the last row end the picture: what fits is kept, the rest
// is dropped, so such files show as their authors saw them in their tools.
bool DecodeRle(const uint8_t* src, size_t size, const BmpHeader& h, std::vector<uint8_t>& indices, std::string& error) {
  const bool four = h.compression == BI_RLE4;
  const size_t w = static_cast<size_t>(h.width);
  const size_t height = static_cast<size_t>(h.height);
  size_t x = 0, y = 0, pos = 0;
  // Only called while y < height; a pixel past the row's end is dropped.
  auto put = [&](uint8_t index) {
    if (x < w) indices[(height - 1 - y) * w + x++] = index;
  };
  while (y < height) {
    if (pos + 2 > size) return Fail(error, "RLE data truncated");
    const uint8_t count = src[pos], value = src[pos + 1];
    pos += 2;
    if (count > 0) {  // a run of one index (RLE4: two alternating)
      for (unsigned i = 0; i < count && x < w; ++i) put(four ? ((i & 1) ? (value & 0x0F) : (value >> 4)) : value);
      continue;
    }
    switch (value) {
      case 0:  // end of line
        x = 0;
        ++y;
        break;
      case 1:  // end of bitmap
        return true;
      case 2: {  // delta: move right dx and up dy rows
        if (pos + 2 > size) return Fail(error, "RLE delta truncated");
        x = std::min(w, x + src[pos]);
        y += src[pos + 1];
        pos += 2;
        break;
      }
      default: {  // absolute run of `value` indices, padded to a 16-bit boundary
        const size_t n = value;
        const size_t bytes = four ? (n + 1) / 2 : n;
        const size_t padded = (bytes + 1) & ~size_t{1};
        if (pos + bytes > size) return Fail(error, "RLE absolute run truncated");
        for (size_t i = 0; i < n && x < w; ++i)
          put(four ? ((i & 1) ? (src[pos + i / 2] & 0x0F) : (src[pos + i / 2] >> 4)) : src[pos + i]);
        pos = std::min(size, pos + padded);
        break;
      }
    }
  }
  return true;  // every row ended: codes after the last row are not part of the picture
}

bool DecodeBmp(const uint8_t* bytes, size_t size, DecodedImage& out, std::string& error) {
  BmpHeader h;
  if (!ParseBmpHeader(bytes, size, size, h, error)) return false;
  const size_t w = static_cast<size_t>(h.width);
  const size_t height = static_cast<size_t>(h.height);
  const uint8_t* pixels = bytes + h.pixelOffset;
  const size_t count = w * height;

  DecodedImage img;
  img.width = h.width;
  img.height = h.height;
  img.fileBitsPerPixel = h.bpp;
  img.argb.resize(count);

  // File row of the picture's row y (from the top).
  auto fileRow = [&](size_t y) { return h.topDown ? y : height - 1 - y; };

  if (h.bpp <= 8) {
    img.palette = h.palette;
    img.indices.resize(count);
    if (h.compression == BI_RLE8 || h.compression == BI_RLE4) {
      if (!DecodeRle(pixels, static_cast<size_t>(h.pixelBytes), h, img.indices, error)) return false;
    } else if (h.bpp == 8) {
      // One byte a pixel: the rows as they stand.
      for (size_t y = 0; y < height; ++y) std::memcpy(&img.indices[y * w], pixels + fileRow(y) * h.stride, w);
    } else {
      const unsigned mask = (1u << h.bpp) - 1;
      for (size_t y = 0; y < height; ++y) {
        const uint8_t* row = pixels + fileRow(y) * h.stride;
        uint8_t* dst = &img.indices[y * w];
        for (size_t x = 0; x < w; ++x) {
          const size_t bit = x * h.bpp;
          dst[x] = static_cast<uint8_t>((row[bit / 8] >> (8 - h.bpp - bit % 8)) & mask);
        }
      }
    }
    // An index beyond a short colour table shows black.
    uint32_t colours[256];
    for (size_t i = 0; i < 256; ++i) colours[i] = 0xFF000000u | (i < h.palette.size() ? h.palette[i] : 0);
    for (size_t i = 0; i < count; ++i) img.argb[i] = colours[img.indices[i]];
  } else {
    const size_t bytesPerPixel = static_cast<size_t>(h.bpp / 8);
    bool anyAlpha = false;
    // The usual 24-bit layout (blue, green, red bytes) read directly.
    const bool plain24 = bytesPerPixel == 3 && !h.hasAlphaMask && h.r.mask == 0xFF0000u && h.g.mask == 0xFF00u &&
                         h.b.mask == 0xFFu;
    for (size_t y = 0; y < height && plain24; ++y) {
      const uint8_t* row = pixels + fileRow(y) * h.stride;
      uint32_t* dst = &img.argb[y * w];
      for (size_t x = 0; x < w; ++x, row += 3)
        dst[x] = 0xFF000000u | uint32_t{row[2]} << 16 | uint32_t{row[1]} << 8 | row[0];
    }
    for (size_t y = 0; y < height && !plain24; ++y) {
      const uint8_t* row = pixels + fileRow(y) * h.stride;
      uint32_t* dst = &img.argb[y * w];
      for (size_t x = 0; x < w; ++x) {
        const uint8_t* p = row + x * bytesPerPixel;
        const uint32_t v = bytesPerPixel == 2 ? Le16(p) : bytesPerPixel == 3 ? (p[0] | p[1] << 8 | p[2] << 16) : Le32(p);
        const uint32_t alpha = h.hasAlphaMask ? h.a.Extract(v) : 0xFF;
        anyAlpha |= alpha != 0;
        dst[x] = alpha << 24 | h.r.Extract(v) << 16 | h.g.Extract(v) << 8 | h.b.Extract(v);
      }
    }
    // A file whose alpha channel is zero everywhere was written by a program
    // that did not fill it: the picture is opaque.
    if (h.hasAlphaMask && !anyAlpha) {
      for (uint32_t& p : img.argb) p |= 0xFF000000u;
    }
  }
  out = std::move(img);
  return true;
}

// Width and height from a PNG's IHDR chunk.
bool PngSize(const uint8_t* bytes, size_t size, uint32_t& w, uint32_t& h) {
  static const uint8_t kSig[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  if (size < 24 || std::memcmp(bytes, kSig, 8) != 0 || std::memcmp(bytes + 12, "IHDR", 4) != 0) return false;
  w = Be32(bytes + 16);
  h = Be32(bytes + 20);
  return true;
}

// Width and height from a JPEG's first start-of-frame marker.
bool JpegSize(const uint8_t* bytes, size_t size, uint32_t& w, uint32_t& h) {
  if (size < 4 || bytes[0] != 0xFF || bytes[1] != 0xD8) return false;
  size_t pos = 2;
  while (pos + 4 <= size) {
    if (bytes[pos] != 0xFF) return false;
    const uint8_t marker = bytes[pos + 1];
    if (marker == 0xFF) {  // fill byte
      ++pos;
      continue;
    }
    if (marker == 0xD8 || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {  // no length
      pos += 2;
      continue;
    }
    const size_t length = static_cast<size_t>(bytes[pos + 2]) << 8 | bytes[pos + 3];
    if (length < 2) return false;
    const bool sof = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
    if (sof) {
      if (pos + 9 > size || length < 7) return false;
      h = static_cast<uint32_t>(bytes[pos + 5]) << 8 | bytes[pos + 6];
      w = static_cast<uint32_t>(bytes[pos + 7]) << 8 | bytes[pos + 8];
      return true;
    }
    if (marker == 0xDA || marker == 0xD9) return false;  // scan before any frame
    pos += 2 + length;
  }
  return false;
}

bool SizeIsAcceptable(uint32_t w, uint32_t h, size_t fileBytes, std::string& error) {
  if (w == 0 || h == 0) return Fail(error, "picture has no pixels");
  if (w > static_cast<uint32_t>(kMaxImageSide) || h > static_cast<uint32_t>(kMaxImageSide))
    return Fail(error, "picture is too large");
  if (uint64_t{w} * h > kFreeCompressedPixels + uint64_t{fileBytes} * kCodecPixelsPerByte)
    return Fail(error, "picture claims more pixels than its data can hold");
  return true;
}

// PNG and JPG through SDL2_image, after the header's size passed our checks.
bool DecodeWithSdlImage(const uint8_t* bytes, size_t size, bool png, DecodedImage& out, std::string& error) {
  uint32_t w = 0, h = 0;
  if (!(png ? PngSize(bytes, size, w, h) : JpegSize(bytes, size, w, h)))
    return Fail(error, png ? "PNG header broken" : "JPEG header broken");
  if (!SizeIsAcceptable(w, h, size, error)) return false;

  SDL_RWops* rw = SDL_RWFromConstMem(bytes, static_cast<int>(size));
  if (rw == nullptr) return Fail(error, "cannot read picture from memory");
  SDL_Surface* surface = png ? IMG_LoadPNG_RW(rw) : IMG_LoadJPG_RW(rw);
  SDL_RWclose(rw);
  if (surface == nullptr) {
    error = std::string(png ? "PNG" : "JPEG") + " cannot be decoded: " + IMG_GetError();
    return false;
  }
  if (surface->w <= 0 || surface->h <= 0 || surface->w > kMaxImageSide || surface->h > kMaxImageSide) {
    SDL_FreeSurface(surface);
    return Fail(error, "picture has a bad size");
  }

  DecodedImage img;
  img.width = surface->w;
  img.height = surface->h;
  const size_t count = static_cast<size_t>(img.width) * static_cast<size_t>(img.height);
  img.argb.resize(count);
  bool ok = true;
  if (surface->format->format == SDL_PIXELFORMAT_INDEX8 && surface->format->palette != nullptr) {
    const SDL_Palette* pal = surface->format->palette;
    img.fileBitsPerPixel = 8;
    const int entries = std::min(pal->ncolors, 256);
    img.palette.resize(static_cast<size_t>(entries));
    std::vector<uint32_t> alpha(static_cast<size_t>(entries));
    for (int i = 0; i < entries; ++i) {
      const SDL_Color& c = pal->colors[i];
      img.palette[i] = static_cast<uint32_t>(c.r) << 16 | static_cast<uint32_t>(c.g) << 8 | c.b;
      alpha[i] = c.a;
    }
    // A transparent index named by the file becomes SDL's colour key.
    uint32_t key = 0;
    const bool keyed = SDL_GetColorKey(surface, &key) == 0;
    img.indices.resize(count);
    SDL_LockSurface(surface);
    for (int y = 0; y < img.height; ++y) {
      const uint8_t* row = static_cast<const uint8_t*>(surface->pixels) + static_cast<size_t>(y) * surface->pitch;
      for (int x = 0; x < img.width; ++x) {
        const uint8_t index = row[x];
        const size_t i = static_cast<size_t>(y) * img.width + x;
        img.indices[i] = index;
        uint32_t a = index < entries ? alpha[index] : 0xFF;
        if (keyed && index == key) a = 0;
        img.argb[i] = a << 24 | (index < entries ? img.palette[index] : 0);
      }
    }
    SDL_UnlockSurface(surface);
  } else {
    img.fileBitsPerPixel = SDL_ISPIXELFORMAT_ALPHA(surface->format->format) ? 32 : 24;
    SDL_Surface* argb = SDL_ConvertSurfaceFormat(surface, SDL_PIXELFORMAT_ARGB8888, 0);
    if (argb == nullptr) {
      ok = Fail(error, "picture cannot be converted");
    } else {
      SDL_LockSurface(argb);
      for (int y = 0; y < img.height; ++y) {
        std::memcpy(&img.argb[static_cast<size_t>(y) * img.width],
                    static_cast<const uint8_t*>(argb->pixels) + static_cast<size_t>(y) * argb->pitch,
                    static_cast<size_t>(img.width) * 4);
      }
      SDL_UnlockSurface(argb);
      SDL_FreeSurface(argb);
    }
  }
  SDL_FreeSurface(surface);
  if (ok) out = std::move(img);
  return ok;
}

bool IsPng(const uint8_t* bytes, size_t size) { return size >= 8 && bytes[0] == 0x89 && std::memcmp(bytes + 1, "PNG", 3) == 0; }
bool IsJpeg(const uint8_t* bytes, size_t size) { return size >= 3 && bytes[0] == 0xFF && bytes[1] == 0xD8 && bytes[2] == 0xFF; }

// Reads at most `limit` bytes of an open file; `total` gets the file's size.
bool ReadPrefix(FILE* f, size_t limit, std::vector<uint8_t>& bytes, uint64_t& total) {
  if (std::fseek(f, 0, SEEK_END) != 0) return false;
  const long end = std::ftell(f);
  if (end < 0 || std::fseek(f, 0, SEEK_SET) != 0) return false;
  total = static_cast<uint64_t>(end);
  const size_t want = static_cast<size_t>(std::min<uint64_t>(total, limit));
  bytes.resize(want);
  return want == 0 || std::fread(bytes.data(), 1, want, f) == want;
}

}  // namespace

bool DecodeImage(const uint8_t* bytes, size_t size, DecodedImage& out, std::string& error) {
  if (bytes == nullptr || size == 0) return Fail(error, "empty file");
  if (size >= 2 && bytes[0] == 'B' && bytes[1] == 'M') return DecodeBmp(bytes, size, out, error);
  if (size > static_cast<size_t>(std::numeric_limits<int>::max())) return Fail(error, "file too large");
  if (IsPng(bytes, size)) return DecodeWithSdlImage(bytes, size, true, out, error);
  if (IsJpeg(bytes, size)) return DecodeWithSdlImage(bytes, size, false, out, error);
  return Fail(error, "not a BMP, PNG or JPEG file");
}

namespace {

// Which file was read: the same name may meanwhile name another file, or the
// file may have been written again.
struct FileStamp {
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  timespec modified{};
  bool operator==(const FileStamp& o) const {
    return device == o.device && inode == o.inode && size == o.size && modified.tv_sec == o.modified.tv_sec &&
           modified.tv_nsec == o.modified.tv_nsec;
  }
};
FileStamp StampOf(const struct stat& st) { return FileStamp{st.st_dev, st.st_ino, st.st_size, st.st_mtim}; }

// Reads and decodes the file; `stamp` gets the file as it was opened.
// `onlyBmp`: other kinds are left undecoded (false, no reason given).
bool ReadAndDecode(const std::string& programPath, DecodedImage& out, std::string& error, FileStamp* stamp,
                   bool onlyBmp) {
  FILE* f = OpenFile(programPath, "rb");
  if (f == nullptr) return Fail(error, "cannot open file");
  struct stat st;
  if (stamp != nullptr && fstat(fileno(f), &st) == 0) *stamp = StampOf(st);
  std::vector<uint8_t> bytes;
  uint64_t total = 0;
  const bool read = ReadPrefix(f, kMaxImageFileBytes, bytes, total);
  std::fclose(f);
  if (!read) return Fail(error, "cannot read file");
  if (total > kMaxImageFileBytes) return Fail(error, "file too large");
  if (onlyBmp && !(bytes.size() >= 2 && bytes[0] == 'B' && bytes[1] == 'M')) return false;
  return DecodeImage(bytes.data(), bytes.size(), out, error);
}

// ---- decoding ahead ----

constexpr int kAheadWorkers = 2;

struct AheadPicture {
  std::string path;
  enum State { kQueued, kDecoding, kDone } state = kQueued;
  bool decoded = false;
  FileStamp stamp{};
  DecodedImage image{};
};

struct AheadStore {
  std::mutex mutex;
  std::condition_variable changed;
  std::list<AheadPicture> pictures;  // in the order asked for
  int workers = 0;                   // running
};

// Never destroyed: a worker may still hold it while the program ends.
AheadStore& Ahead() {
  static AheadStore* store = new AheadStore;
  return *store;
}

void DecodeAheadWorker() {
  AheadStore& store = Ahead();
  std::unique_lock<std::mutex> lock(store.mutex);
  for (;;) {
    auto next = std::find_if(store.pictures.begin(), store.pictures.end(),
                             [](const AheadPicture& p) { return p.state == AheadPicture::kQueued; });
    if (next == store.pictures.end()) break;
    next->state = AheadPicture::kDecoding;
    const std::string path = next->path;
    lock.unlock();
    DecodedImage image;
    FileStamp stamp;
    std::string error;
    bool decoded = false;
    // Memory that runs out here leaves the picture to its loader, which
    // decodes it again and says so when it fails there too.
    try {
      decoded = ReadAndDecode(path, image, error, &stamp, true);
    } catch (const std::bad_alloc&) {
      image = DecodedImage();
    }
    lock.lock();
    // The entry stays where it is while it is being decoded (a take waits
    // for it; a forget waits for every decoding to end).
    next->decoded = decoded;
    next->stamp = stamp;
    next->image = std::move(image);
    next->state = AheadPicture::kDone;
    store.changed.notify_all();
  }
  --store.workers;
  store.changed.notify_all();
}

// The picture decoded ahead for `programPath`, when there is one and the
// file is still the one decoded. A picture still waiting in the queue is
// taken out of it (the caller decodes it at once itself); one being decoded
// is waited for.
bool TakeDecodedAhead(const std::string& programPath, DecodedImage& out) {
  AheadStore& store = Ahead();
  AheadPicture picture;
  {
    std::unique_lock<std::mutex> lock(store.mutex);
    auto it = std::find_if(store.pictures.begin(), store.pictures.end(),
                           [&](const AheadPicture& p) { return p.path == programPath; });
    if (it == store.pictures.end()) return false;
    store.changed.wait(lock, [&] { return it->state != AheadPicture::kDecoding; });
    picture = std::move(*it);
    store.pictures.erase(it);
  }
  if (picture.state != AheadPicture::kDone || !picture.decoded) return false;
  struct stat st;
  const std::string resolved = ResolvePath(programPath);
  if (resolved.empty() || ::stat(resolved.c_str(), &st) != 0 || !(StampOf(st) == picture.stamp)) return false;
  out = std::move(picture.image);
  return true;
}

}  // namespace

void DecodeAhead(const std::vector<std::string>& programPaths) {
  AheadStore& store = Ahead();
  std::lock_guard<std::mutex> lock(store.mutex);
  for (const std::string& path : programPaths) {
    if (path.empty()) continue;
    const bool listed = std::any_of(store.pictures.begin(), store.pictures.end(),
                                    [&](const AheadPicture& p) { return p.path == path; });
    if (!listed) store.pictures.push_back(AheadPicture{path});
  }
  while (store.workers < kAheadWorkers) {
    // A worker that cannot start (no memory for its stack) leaves its
    // pictures to their loaders.
    try {
      std::thread(DecodeAheadWorker).detach();
    } catch (const std::system_error&) {
      break;
    }
    ++store.workers;
  }
}

void ForgetDecodedAhead() {
  AheadStore& store = Ahead();
  std::list<AheadPicture> dropped;  // freed outside the lock
  std::unique_lock<std::mutex> lock(store.mutex);
  for (AheadPicture& p : store.pictures)
    if (p.state == AheadPicture::kQueued) p.state = AheadPicture::kDone;  // no worker starts it now
  store.changed.wait(lock, [&] { return store.workers == 0; });
  dropped.swap(store.pictures);
}

bool LoadImageFile(const std::string& programPath, DecodedImage& out, std::string& error) {
  if (TakeDecodedAhead(programPath, out)) return true;
  return ReadAndDecode(programPath, out, error, nullptr, false);
}

bool ReadImageSize(const std::string& programPath, int& width, int& height) {
  FILE* f = OpenFile(programPath, "rb");
  if (f == nullptr) return false;
  std::vector<uint8_t> bytes;
  uint64_t total = 0;
  // Headers sit at the front; a JPEG's frame marker may follow large
  // metadata blocks, hence the generous prefix.
  const bool read = ReadPrefix(f, 1u << 20, bytes, total);
  std::fclose(f);
  if (!read || bytes.empty() || total > kMaxImageFileBytes) return false;
  std::string error;
  if (bytes.size() >= 2 && bytes[0] == 'B' && bytes[1] == 'M') {
    BmpHeader h;
    if (!ParseBmpHeader(bytes.data(), bytes.size(), total, h, error)) return false;
    width = h.width;
    height = h.height;
    return true;
  }
  uint32_t w = 0, h = 0;
  bool found = false;
  if (IsPng(bytes.data(), bytes.size())) found = PngSize(bytes.data(), bytes.size(), w, h);
  else if (IsJpeg(bytes.data(), bytes.size())) found = JpegSize(bytes.data(), bytes.size(), w, h);
  if (!found || !SizeIsAcceptable(w, h, static_cast<size_t>(total), error)) return false;
  width = static_cast<int>(w);
  height = static_cast<int>(h);
  return true;
}

}  // namespace plat
