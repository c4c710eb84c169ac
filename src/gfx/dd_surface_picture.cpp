// Surfaces and textures from picture files: a decoded picture drawn into a
// DirectDraw surface or filled into a texture (the key colour made clear, a
// sheet's cells mirrored), a DirectDraw surface drawn again from its file,
// and the mirror image of a sheet.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "base/errors.h"
#include "base/logs.h"
#include "base/program.h"
#include "gfx/dd.h"
#include "gfx/dd_surface_picture.h"
#include "platform/image_decode.h"
#include "platform/text.h"

namespace dd_detail {

// True while CreateSurfaceFromFile makes a surface that its picture covers
// whole (the fill that clears a new surface would be overwritten at once),
// and while DDCreateWorkSurface makes one.
bool g_pictureCoversNewSurface = false;

void SetText(char (&field)[260], const char* text) { std::snprintf(field, sizeof field, "%s", text ? text : ""); }

void CloseOnFailure() {
  if (lpDTCon && !lpDTCon->strErrorText.empty()) ShowErrorText(lpDTCon->strErrorText.c_str());
  RequestQuit();
}

bool LoadPicture(const char* szFile, plat::DecodedImage& image) {
  std::string error;
  return szFile && szFile[0] && plat::LoadImageFile(szFile, image, error);
}

namespace {

// Destination column (or row) of source column x for a sheet mirrored by
// cells of w: each cell is turned around in place.
int MirrorIndex(int x, int w) { return (x / w + 1) * w - x % w - 1; }

// A picture pixel in the DirectDraw display format.
uint32_t PictureToDisplay(const plat::DecodedImage& img, int x, int y) {
  const uint32_t argb = img.argb[static_cast<size_t>(y) * img.width + x];
  const uint32_t r = (argb >> 16) & 0xFF, g = (argb >> 8) & 0xFF, b = argb & 0xFF;
  switch (DDState.nBpp) {
    case 8: {
      if (!img.indices.empty()) return img.indices[static_cast<size_t>(y) * img.width + x];
      // A picture without a colour table: the first palette entry of that
      // colour, else the nearest one.
      int best = 0;
      uint32_t bestDistance = UINT32_MAX;
      for (int i = 0; i < 256; ++i) {
        const PALETTEENTRY& e = DDState.DDPalette[i];
        const int dr = int(e.peRed) - int(r), dg = int(e.peGreen) - int(g), db = int(e.peBlue) - int(b);
        const uint32_t d = static_cast<uint32_t>(dr * dr + dg * dg + db * db);
        if (d < bestDistance) {
          bestDistance = d;
          best = i;
          if (d == 0) break;
        }
      }
      return static_cast<uint32_t>(best);
    }
    case 16: {
      const uint32_t* f = DDState.TexFormat;
      if (lpDDCon && r == lpDDCon->rgbTransmit8.rgbtRed && g == lpDDCon->rgbTransmit8.rgbtGreen &&
          b == lpDDCon->rgbTransmit8.rgbtBlue)
        return DDState.dwColorKey;
      uint32_t v = ((b * f[PF_BMAX] / 255) << f[PF_BSHIFT]) | ((g * f[PF_GMAX] / 255) << f[PF_GSHIFT]) |
                   ((r * f[PF_RMAX] / 255) << f[PF_RSHIFT]);
      // No opaque pixel may come out as the key.
      if (v == DDState.dwColorKey) v = Channel(v, f, 2) == f[PF_BMAX] ? v - 1 : v + 1;
      return v & 0xFFFF;
    }
    default:
      return (r << 16) | (g << 8) | b;
  }
}

// Draws a decoded picture into a DirectDraw surface (with the cell
// mirroring); pixels outside either size are skipped.
bool DrawPictureDD(DDSURFACEDATA* lpSD, const plat::DecodedImage& img, const char* szFile, int cellW, int cellH) {
  if (!lpSD->lpDDS || !lpSD->lpDDS->lpSurface) return false;
  plat::DrawSurface* s = lpSD->lpDDS->lpSurface;
  if (s->Width() != img.width || s->Height() != img.height)
    WriteECLog("CopyBitmap Err %s Surface(%d,%d) Bmp(%d,%d)", szFile, s->Width(), s->Height(), img.width,
               img.height);
  uint8_t* bits = nullptr;
  int pitch = 0;
  if (s->Lock(bits, pitch) != plat::DD_OK) return false;
  plat::PixelImage& image = s->Image();
  // A 32-bit display takes the picture's colour bits as they are: written a
  // row at a time instead of through the general conversion.
  const bool direct32 = DDState.nBpp == 32 && image.BytesPerPixel() == 4;
  std::vector<int> columns;  // a mirrored sheet's target column of each picture column
  if (direct32 && cellW > 0) {
    columns.resize(static_cast<size_t>(img.width));
    for (int x = 0; x < img.width; ++x) columns[static_cast<size_t>(x)] = MirrorIndex(x, cellW);
  }
  const int plainWidth = std::min(img.width, image.Width());
  for (int y = 0; y < img.height; ++y) {
    const int ty = cellH > 0 ? MirrorIndex(y, cellH) : y;
    if (ty >= image.Height()) continue;
    if (direct32) {
      const uint32_t* from = img.argb.data() + static_cast<size_t>(y) * img.width;
      uint8_t* row = image.Row(ty);
      if (columns.empty()) {
        for (int x = 0; x < plainWidth; ++x) {
          const uint32_t v = from[x] & 0xFFFFFFu;
          std::memcpy(row + static_cast<size_t>(x) * 4, &v, 4);
        }
      } else {
        for (int x = 0; x < img.width; ++x) {
          const int tx = columns[static_cast<size_t>(x)];
          if (tx >= image.Width()) continue;
          const uint32_t v = from[x] & 0xFFFFFFu;
          std::memcpy(row + static_cast<size_t>(tx) * 4, &v, 4);
        }
      }
      continue;
    }
    for (int x = 0; x < img.width; ++x) {
      const int tx = cellW > 0 ? MirrorIndex(x, cellW) : x;
      if (tx >= image.Width()) continue;
      image.Set(tx, ty, PictureToDisplay(img, x, y));
    }
  }
  s->Unlock();
  return true;
}

// A picture pixel in the texture format, the key colour made transparent black.
uint32_t PictureToTexture(uint32_t argb, uint32_t key, bool applyKey) {
  if (applyKey && argb == key) return 0;
  if (lpDTCon->dwTextureFormat == plat::D3DFMT_A8R8G8B8) return argb;
  const uint32_t a = argb >> 24, r = (argb >> 16) & 0xFF, g = (argb >> 8) & 0xFF, b = argb & 0xFF;
  return (a >= 128 ? 0x8000u : 0u) | ((r * 31 / 255) << 10) | ((g * 31 / 255) << 5) | (b * 31 / 255);
}

// `cleared`: the texture was just made, so every pixel is 0 already.
bool FillTexture(DDSURFACEDATA* lpSD, const plat::DecodedImage& img, bool applyKey, bool cleared) {
  plat::PixelImage& tex = lpSD->lpDT->lpSurface->Image();
  uint32_t key;
  if (DDState.nBpp == 16)
    key = 0xFF000000u | (uint32_t{lpDTCon->rgbTransmit8.rgbtRed} << 16) |
          (uint32_t{lpDTCon->rgbTransmit8.rgbtGreen} << 8) | lpDTCon->rgbTransmit8.rgbtBlue;
  else
    key = 0xFF000000u | (uint32_t{lpDTCon->rgbTransmit.rgbtRed} << 16) |
          (uint32_t{lpDTCon->rgbTransmit.rgbtGreen} << 8) | lpDTCon->rgbTransmit.rgbtBlue;
  const int w = std::min(img.width, tex.Width()), h = std::min(img.height, tex.Height());
  // What the picture does not cover (the rounding up to the texture's size)
  // is cleared, unless it is clear already: a new texture's memory comes
  // zeroed, and its pages past the picture are then never touched. The rest
  // is written once, a row at a time.
  if (!cleared) {
    tex.Fill(plat::Rect{w, 0, tex.Width(), h}, 0);
    tex.Fill(plat::Rect{0, h, tex.Width(), tex.Height()}, 0);
  }
  const bool direct32 = lpDTCon->dwTextureFormat == plat::D3DFMT_A8R8G8B8 && tex.BytesPerPixel() == 4;
  for (int y = 0; y < h; ++y) {
    const uint32_t* from = img.argb.data() + static_cast<size_t>(y) * img.width;
    uint8_t* row = tex.Row(y);
    if (direct32) {
      for (int x = 0; x < w; ++x) {
        const uint32_t v = applyKey && from[x] == key ? 0u : from[x];
        std::memcpy(row + static_cast<size_t>(x) * 4, &v, 4);
      }
    } else {
      for (int x = 0; x < w; ++x) tex.Set(x, y, PictureToTexture(from[x], key, applyKey));
    }
  }
  return true;
}

}  // namespace

void ReadLevel(DTDATA* dt) {
  plat::DeviceSurface* s = dt->lpSurface;
  dt->desc = DTSURFACEDESC{s->Format(), 3, dt->lpTexture->Usage(), s->Pool(), 0, 0,
                           static_cast<uint32_t>(s->Width()), static_cast<uint32_t>(s->Height())};
}

namespace {

// The texture of a picture file (Direct3D); 0 or the device's result.
uint32_t MakeFileTexture(DDSURFACEDATA* lpSD, const plat::DecodedImage& img, const char* szFile, uint32_t bRestore,
                         bool applyKey) {
  DTDATA* dt = lpSD->lpDT;
  int tw = img.width, th = img.height;
  DDRoundTextureSize(&tw, &th);
  if (!DDCheckTextureSize(tw, th))
    WriteReportAndECLog(plat::Sjis("上記の理由でテクスチャの描画が失敗する可能性があります。(%s)").c_str(), szFile);
  if (dt->dwMemoryType == DTMEMORYTYPE_VIDEO_NORT) {
    WriteECLog("%s", plat::Sjis("DDCreateSurfaceFromFile Err DTMEMORYTYPE_VIDEO_NORTの指定は未対応です。"
                                "DTMEMORYTYPE_VIDEO_RTでテクスチャを作成します。").c_str());
    dt->dwMemoryType = DTMEMORYTYPE_VIDEO_RT;
  }
  plat::Device* dev = DDState.lpDevice;
  bool made = false;  // a texture made here (its pixels all 0), not one kept for a restore
  if (dt->dwMemoryType == DTMEMORYTYPE_VIDEO_RT) {
    const uint32_t hr = dev->CreateTexture(tw, th, 0, lpDTCon->dwTextureFormat, plat::D3DPOOL_MANAGED, &dt->lpTexture);
    made = hr == plat::D3D_OK;
    if (hr == plat::D3DERR_OUTOFVIDEOMEMORY) {
      WriteReportAndECLog(plat::Sjis("VRAM不足のためシステムメモリにテクスチャを作成します。(%s)").c_str(), szFile);
      dt->dwMemoryType = DTMEMORYTYPE_SYSTEM;
    } else if (hr != plat::D3D_OK) {
      WriteReportAndECLog(plat::Sjis("テクスチャの作成に失敗。(%s)").c_str(), szFile);
      return hr;
    }
  }
  if (dt->dwMemoryType == DTMEMORYTYPE_SYSTEM && !bRestore) {
    const uint32_t hr = dev->CreateTexture(tw, th, plat::D3DUSAGE_DYNAMIC, lpDTCon->dwTextureFormat,
                                           plat::D3DPOOL_SYSTEMMEM, &dt->lpTexture);
    if (hr != plat::D3D_OK) {
      WriteReportAndECLog("D3DXCreateTextureFromFileEx Err %x %s", hr, szFile);
      CloseOnFailure();
      return hr;
    }
    made = true;
  }
  if (!dt->lpTexture) return plat::D3DERR_INVALIDCALL;
  dt->lpTexture->GetSurfaceLevel(0, &dt->lpSurface);
  ReadLevel(dt);
  FillTexture(lpSD, img, applyKey, made);
  lpSD->nTexWidth = dt->lpSurface->Width();
  lpSD->nTexHeight = dt->lpSurface->Height();
  return 0;
}

}  // namespace

// Loading a file surface, with the switch that leaves the key colour as it
// is (the transparent colour is read from such a surface).
// `decoded`, when given, is the file's picture already read (the mirror
// image of a sheet is made from the picture its texture was made from).
uint32_t CreateSurfaceFromFile(DDSURFACEDATA* lpSD, const char* szFile, uint32_t bColorKey, int nBpp,
                               uint32_t dwDDMemType, uint32_t dwD3DMemType, uint32_t bShare, uint32_t bPalNumMap,
                               int nMirrorCellW, int nMirrorCellH, uint32_t bRestore, bool applyKey,
                               const plat::DecodedImage* decoded) {
  if (!lpSD) return 4;
  DDAllocSurfaceRecord(lpSD);
  plat::DecodedImage loaded;
  const plat::DecodedImage& img = decoded ? *decoded : loaded;
  if (!lpDTCon) {
    if (!decoded && !LoadPicture(szFile, loaded)) {
      WriteECLog("%s", szFile ? szFile : "");
      return 8;
    }
    // Mirrored cells that divide the picture evenly leave no pixel unwritten.
    g_pictureCoversNewSurface = (nMirrorCellW <= 0 || img.width % nMirrorCellW == 0) &&
                                (nMirrorCellH <= 0 || img.height % nMirrorCellH == 0);
    const bool made = DDCreateSurface(lpSD, img.width, img.height, bColorKey, dwDDMemType, dwD3DMemType, 0, 0);
    g_pictureCoversNewSurface = false;
    if (!made) return 4;
    if (!DrawPictureDD(lpSD, img, szFile, nMirrorCellW, nMirrorCellH)) return 8;
    lpSD->nWidth = lpSD->nTexWidth = img.width;
    lpSD->nHeight = lpSD->nTexHeight = img.height;
    lpSD->nMirrorCellW = nMirrorCellW;
    lpSD->nMirrorCellH = nMirrorCellH;
    SetText(lpSD->szFileName, szFile);
    lpSD->lpDDS->palNumMap.clear();
    if (bPalNumMap) DDCreatePalNumMap(lpSD->lpDDS->palNumMap, lpSD);
    return 0;
  }
  if (!lpSD->lpDT) return 4;
  DTDATA* dt = lpSD->lpDT;
  if (!bRestore) {
    SetText(lpSD->szKind, "OffScreenFromFile");
    SetText(lpSD->szFileName, szFile);
    dt->dwMemoryType = dwD3DMemType;
    dt->bColorKey = bColorKey == 1 ? 1 : 0;
    if (!bShare) {
      dt->dwSerial = lpDTCon->dwTextureSerial++;
      const uint32_t hr = DDState.lpDevice->CreateVertexBuffer(112, &dt->lpVB);
      if (hr != plat::D3D_OK) {
        WriteReportAndECLog("CreateVertexBuffer Err %x", hr);
        return 4;  // nothing can be drawn without a vertex buffer
      }
    }
  }
  if (!decoded && !LoadPicture(szFile, loaded)) {
    if (szFile && szFile[0]) WriteReportAndECLog("LoadImage Err %s", szFile);
    return 8;
  }
  if (!bShare) {
    const uint32_t hr = MakeFileTexture(lpSD, img, szFile, bRestore, applyKey);
    if (hr != 0) return hr;
    if (nMirrorCellW > 0 || nMirrorCellH > 0) {
      DDSURFACEDATA temp;
      const uint32_t r = CreateSurfaceFromFile(&temp, szFile, bColorKey, nBpp, dwDDMemType, dwD3DMemType, 0, 0, 0, 0,
                                               0, applyKey, &img);
      const bool mirrored = r == 0 && CreateMirror(lpSD, &temp, nMirrorCellW, nMirrorCellH);
      DDReleaseSurface(&temp);
      if (!mirrored) {
        WriteReportAndECLog("CreateMirror Err");
        return 1;
      }
    }
    if (!bRestore) DDState.textureList.push_back(lpSD);
  }
  lpSD->nWidth = img.width;
  lpSD->nHeight = img.height;
  if (bShare) {
    lpSD->nTexWidth = img.width;
    lpSD->nTexHeight = img.height;
  }
  lpSD->nMirrorCellW = nMirrorCellW;
  lpSD->nMirrorCellH = nMirrorCellH;
  lpSD->dwMemoryType = dwDDMemType;
  dt->palNumMap.clear();
  if (bPalNumMap && nBpp != 8 && !bShare) DDCreatePalNumMap(dt->palNumMap, lpSD);
  return 0;
}

}  // namespace dd_detail

using namespace dd_detail;

bool CopyBitmap(DDSURFACEDATA* lpSD, const char* szFile, int, uint32_t bPalNumMap, int nMirrorCellW,
                int nMirrorCellH) {
  if (lpDTCon || !szFile || !szFile[0]) return true;
  plat::DecodedImage img;
  if (!LoadPicture(szFile, img)) return false;
  if (!DrawPictureDD(lpSD, img, szFile, nMirrorCellW, nMirrorCellH)) return false;
  if (bPalNumMap && lpSD->lpDDS) DDCreatePalNumMap(lpSD->lpDDS->palNumMap, lpSD);
  return true;
}

bool DDRestoreSurfaceFromFile(DDSURFACEDATA* lpSD, int nBpp) {
  if (lpDTCon) return true;
  if (!lpSD || !lpSD->lpDDS) return false;
  const bool hadMap = !lpSD->lpDDS->palNumMap.empty();
  return CopyBitmap(lpSD, lpSD->szFileName, nBpp, hadMap ? 1 : 0, lpSD->nMirrorCellW, lpSD->nMirrorCellH);
}

bool CreateMirror(DDSURFACEDATA* lpSD, DDSURFACEDATA* lpSrcSD, int nCellW, int nCellH) {
  if (!(nCellW > 0 && nCellH == 0)) return true;
  if (!lpSD || !lpSrcSD) return false;
  DDFillRect(lpSD, 0, 0, lpSD->nWidth, lpSD->nHeight, 0);
  const int cells = lpSrcSD->nWidth / nCellW;
  for (int i = 0; i < cells; ++i)
    DDBltStretch(lpSD, i * nCellW, 0, nCellW, lpSrcSD->nHeight, lpSrcSD, i * nCellW + nCellW, 0, -nCellW,
                 lpSrcSD->nHeight, 0);
  return true;
}
