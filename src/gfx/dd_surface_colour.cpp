// The transparent colour (given, or read from a picture's top-left pixel),
// the palette read from a bitmap (its colour table, or its 16 x 16 grid of
// colours) and a surface's map of palette numbers.
#include <cstdint>
#include <cstring>
#include <vector>

#include "base/errors.h"
#include "base/logs.h"
#include "gfx/dd.h"
#include "gfx/dd_surface_picture.h"
#include "platform/image_decode.h"
#include "platform/text.h"

using namespace dd_detail;

void DDSetTransmit(uint8_t r, uint8_t g, uint8_t b) {
  if (lpDTCon) {
    lpDTCon->rgbTransmit = RGBTRIPLE{b, g, r};
    WriteECLog("SetTrans lpDTCon->rgbTransmit.rgbtRed = %d,lpDTCon->rgbTransmit.rgbtGreen = %d,"
               "lpDTCon->rgbTransmit.rgbtBlue = %d", r, g, b);
    lpDTCon->dwPalZeroColor = 0;
    lpDTCon->dwTransmitARGB = 0xFF000000u | (uint32_t{r} << 16) | (uint32_t{g} << 8) | b;
    lpDTCon->wTransmit_16 = 0;
    if (DDState.nBpp == 16) {
      const uint32_t* f = DDState.TexFormat;
      lpDTCon->wTransmitPacked16 = static_cast<uint16_t>(
          ((r & f[PF_RMAX]) << f[PF_RSHIFT]) | ((g & f[PF_GMAX]) << f[PF_GSHIFT]) |
          ((b & f[PF_BMAX]) << f[PF_BSHIFT]) | ((f[PF_AMAX] & 1) << f[PF_ASHIFT]));
    } else {
      lpDTCon->wTransmitPacked16 = 0;
      DDState.dwColorKey = 0;
    }
    return;
  }
  if (DDState.nBpp == 16) {
    const uint32_t* f = DDState.TexFormat;
    const uint32_t key = (((b * f[PF_BMAX] / 255) << f[PF_BSHIFT]) | ((g * f[PF_GMAX] / 255) << f[PF_GSHIFT]) |
                          ((r * f[PF_RMAX] / 255) << f[PF_RSHIFT])) & 0xFFFF;
    DDState.dwColorKey = key;
    WriteECLog("%s", plat::Sjis("※16bit色で　DDSetTransmit(BYTE cbRed,BYTE cbGreen,BYTE cbBlue)　は未対応！").c_str());
    auto widen = [&](int c) {
      return f[PF_RMAX + c] ? Channel(key, f, c) * 255 / f[PF_RMAX + c] : 0;
    };
    ShowDebugError("Tr %d RGB32(%d,%d,%d) -> RGB16(%d,%d,%d)", static_cast<int>(key), r, g, b, widen(0), widen(1),
                   widen(2));
  } else if (DDState.nBpp == 32) {
    DDState.dwColorKey = (uint32_t{r} << 16) | (uint32_t{g} << 8) | b;
    if (lpDDCon) lpDDCon->rgbTransmit = RGBTRIPLE{b, g, r};
  }
}

bool DDSetTransmitFromFile(const char* szFile) {
  DDSURFACEDATA temp;
  const uint32_t r = CreateSurfaceFromFile(&temp, szFile, 0, DDState.nBpp, 1, DTMEMORYTYPE_SYSTEM, 0, 0, 0, 0, 0,
                                           false);
  if (r != 0) {
    DDReleaseSurface(&temp);
    WriteECLog(plat::Sjis("%s 作成失敗！").c_str(), szFile ? szFile : "");
    return false;
  }
  uint32_t pixel = 0;
  {
    cSurfaceLock lock(&temp);
    if (!lock.Locked()) {
      lock.Unlock();
      DDReleaseSurface(&temp);
      WriteECLog("%s", plat::Sjis("Lock 失敗！").c_str());
      return false;
    }
    std::memcpy(&pixel, lock.Bits(), static_cast<size_t>(lock.m_nBytesPerPixel));
    if (lock.m_nBytesPerPixel == 1) pixel &= 0xFF;
    if (lock.m_nBytesPerPixel == 2) pixel &= 0xFFFF;
  }
  DDReleaseSurface(&temp);
  // The key at 8-bit precision, which the 16-bit loaders compare pixels
  // with: colour-table entry 0 of an 8-bit picture, else the top-left
  // pixel's own colour (a deeper picture has no colour table, and black
  // would be the wrong key).
  RGBTRIPLE key8;
  bool haveKey8 = false;
  if (DDState.nBpp == 16) {
    plat::DecodedImage img;
    if (LoadPicture(szFile, img) && img.width > 0 && img.height > 0) {
      const uint32_t e = (!img.palette.empty() && img.fileBitsPerPixel == 8) ? img.palette[0] : img.argb[0];
      key8 = RGBTRIPLE{static_cast<uint8_t>(e), static_cast<uint8_t>(e >> 8), static_cast<uint8_t>(e >> 16)};
      haveKey8 = true;
    }
  }
  if (!lpDTCon) {
    DDState.dwColorKey = pixel;
    if (haveKey8 && lpDDCon) lpDDCon->rgbTransmit8 = key8;
    if (DDState.nBpp == 32 && lpDDCon)
      lpDDCon->rgbTransmit = RGBTRIPLE{static_cast<uint8_t>(pixel), static_cast<uint8_t>(pixel >> 8),
                                       static_cast<uint8_t>(pixel >> 16)};
    return true;
  }
  if (DDState.nBpp == 32) {
    DDSetTransmit(static_cast<uint8_t>(pixel >> 16), static_cast<uint8_t>(pixel >> 8), static_cast<uint8_t>(pixel));
  } else {
    DDState.dwColorKey = pixel;
    if (haveKey8) lpDTCon->rgbTransmit8 = key8;
    const uint32_t* f = DDState.TexFormat;
    DDSetTransmit(static_cast<uint8_t>(Channel(pixel, f, 0)), static_cast<uint8_t>(Channel(pixel, f, 1)),
                  static_cast<uint8_t>(Channel(pixel, f, 2)));
    WriteECLog("SetTrans(filename) lpDTCon->wTransmit_16 = (%x)", lpDTCon->wTransmit_16);
  }
  return true;
}

bool DDLoadPaletteFromFile(PALETTEENTRY* lpPalette, const char* szFile) {
  if (!lpPalette) return false;
  plat::DecodedImage img;
  if (!LoadPicture(szFile, img)) return false;
  const bool table = img.fileBitsPerPixel == 8 && !img.palette.empty();
  auto entry = [&](int i) {
    const uint32_t e = i < static_cast<int>(img.palette.size()) ? img.palette[i] : 0;
    return PALETTEENTRY{static_cast<uint8_t>(e >> 16), static_cast<uint8_t>(e >> 8), static_cast<uint8_t>(e), 0};
  };
  if (lpDTCon && table) {
    for (int i = 0; i < 256; ++i) {
      lpPalette[i] = entry(i);
      lpPalette[i].peFlags = 255;
    }
    return true;
  }
  if (!lpDTCon && DDState.nBpp == 8 && table) {
    for (int i = 0; i < 256; ++i) {
      lpPalette[i] = entry(i);
      lpPalette[i].peFlags = (i < 10 || i >= 246) ? PC_EXPLICIT : PC_RESERVED;
    }
    if (DDState.lpDDPalette) DDState.lpDDPalette->SetEntries(0, 256, lpPalette);
    return true;
  }
  // An 8-bit display has no colours but those of the table: from a picture
  // without one every frame would be black.
  if (!lpDTCon && DDState.nBpp == 8) return false;
  if (!lpDTCon && table) {
    // Deeper DirectDraw displays take the same colour table, so that a
    // palette number shows one colour in every mode whatever the picture's
    // pixels hold (palette pictures that lay out no colour grid, or another
    // one, are common). A 16-bit display keeps each channel in its own
    // range, as its pictures' pixels hold it.
    const uint32_t* f = DDState.TexFormat;
    for (int i = 0; i < 256; ++i) {
      PALETTEENTRY e = entry(i);
      if (DDState.nBpp == 16) {
        e.peRed = static_cast<uint8_t>(e.peRed * f[PF_RMAX] / 255);
        e.peGreen = static_cast<uint8_t>(e.peGreen * f[PF_GMAX] / 255);
        e.peBlue = static_cast<uint8_t>(e.peBlue * f[PF_BMAX] / 255);
      }
      lpPalette[i] = e;
    }
    return true;
  }
  // Pictures without a colour table: the 16 × 16 colour grid of the picture.
  DDSURFACEDATA temp;
  if (CreateSurfaceFromFile(&temp, szFile, 0, DDState.nBpp, 1, DTMEMORYTYPE_SYSTEM, 0, 0, 0, 0, 0, false) == 0)
    DDSetPalette_UnPal(lpPalette, &temp);
  DDReleaseSurface(&temp);
  return true;
}

std::string DDPaletteFromFileProblem(const char* szFile) {
  plat::DecodedImage img;
  if (lpDTCon || DDState.nBpp != 8 || !LoadPicture(szFile, img) || (img.fileBitsPerPixel == 8 && !img.palette.empty()))
    return {};
  return plat::Sjis("8ビットカラーの画面は、色を8ビットの画像のカラーテーブルから取ります。\n"
                    "この画像はカラーテーブルのある8ビットの画像ではありません。");
}

bool DDSetPalette_UnPal(PALETTEENTRY* lpPalette, DDSURFACEDATA* lpSD) {
  DDSubstituteMirror(&lpSD);
  DDRedirectBackBuffer(&lpSD);
  cSurfaceLock lock(lpSD);
  if (!lock.Locked()) {
    if (lpDTCon) WriteECLog("DDSetPalette_UnPal Lock Err");
    return true;
  }
  const uint32_t* f = DDState.TexFormat;
  // Only the part of the grid that lies inside the picture is read (a
  // smaller picture must not be read past its end).
  for (int r = 0; r < 16; ++r) {
    const int y = 8 + r;
    if (y >= lock.Height()) break;
    const uint8_t* row = lock.Bits() + static_cast<size_t>(y) * lock.Pitch();
    for (int c = 0; c < 16 && c < lock.Width(); ++c) {
      PALETTEENTRY& e = lpPalette[16 * r + c];
      if (lock.m_nBitsPerPixel == 16) {
        uint16_t p;
        std::memcpy(&p, row + c * 2, 2);
        if (!lpDTCon) {
          e.peRed = static_cast<uint8_t>(Channel(p, f, 0));
          e.peGreen = static_cast<uint8_t>(Channel(p, f, 1));
          e.peBlue = static_cast<uint8_t>(Channel(p, f, 2));
        } else if (Channel(p, f, 3) != 0) {
          e.peRed = static_cast<uint8_t>(Channel(p, f, 0) * 255 / f[PF_RMAX]);
          e.peGreen = static_cast<uint8_t>(Channel(p, f, 1) * 255 / f[PF_GMAX]);
          e.peBlue = static_cast<uint8_t>(Channel(p, f, 2) * 255 / f[PF_BMAX]);
        }
      } else if (lock.m_nBitsPerPixel == 32) {
        const uint8_t* p = row + c * 4;
        if (!lpDTCon) {
          e = PALETTEENTRY{p[2], p[1], p[0], p[3]};
        } else if (p[3] != 0) {
          e.peRed = p[2];
          e.peGreen = p[1];
          e.peBlue = p[0];
        }
      }
    }
  }
  return true;
}

void DDCreatePalNumMap(std::vector<uint8_t>& map, DDSURFACEDATA* lpSD) {
  map.clear();
  cSurfaceLock lock(lpSD);
  if (!lock.Locked()) return;
  const int rowPixels = lock.Pitch() / lock.m_nBytesPerPixel;
  map.assign(static_cast<size_t>(rowPixels) * lock.Height(), 0);
  const uint32_t* f = DDState.TexFormat;
  const bool keyed = lpSD->lpDT && lpSD->lpDT->bColorKey;
  for (int y = 0; y < lock.Height(); ++y) {
    const uint8_t* row = lock.Bits() + static_cast<size_t>(y) * lock.Pitch();
    for (int x = 0; x < lock.Width(); ++x) {
      uint32_t p = 0;
      std::memcpy(&p, row + x * lock.m_nBytesPerPixel, static_cast<size_t>(lock.m_nBytesPerPixel));
      uint8_t number = 0;  // a colour of no entry maps to 0
      if (lock.m_nBitsPerPixel == 8) {
        number = static_cast<uint8_t>(p);
      } else {
        for (int i = 0; i < 256; ++i) {
          const PALETTEENTRY& e = DDState.DDPalette[i];
          bool same;
          if (lock.m_nBitsPerPixel == 16 && lpDTCon) {
            if (p == 0 && keyed) break;
            // Compared in the texture's precision: the entry as loading
            // would have stored it (widening the pixel instead would miss
            // most colours).
            same = Channel(p, f, 0) == e.peRed * f[PF_RMAX] / 255 && Channel(p, f, 1) == e.peGreen * f[PF_GMAX] / 255 &&
                   Channel(p, f, 2) == e.peBlue * f[PF_BMAX] / 255;
          } else if (lock.m_nBitsPerPixel == 16) {
            same = (p & 0xFFFF) == DDPalToRGB16(&e);
          } else {
            same = ((p >> 16) & 0xFF) == e.peRed && ((p >> 8) & 0xFF) == e.peGreen && (p & 0xFF) == e.peBlue;
          }
          if (same) {
            number = static_cast<uint8_t>(i);
            break;
          }
        }
      }
      map[static_cast<size_t>(y) * rowPixels + x] = number;
    }
  }
}
