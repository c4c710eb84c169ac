// Surfaces and textures: making, loading, reloading and freeing them, the
// transparent colour, the palette from a bitmap, the palette-number map, the
// fills and the processor lock.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "base/errors.h"
#include "base/logs.h"
#include "base/program.h"
#include "gfx/dd.h"
#include "platform/image_decode.h"
#include "platform/text.h"

namespace {

// True while CreateSurfaceFromFile makes a surface that its picture covers
// whole (the fill that clears a new surface would be overwritten at once),
// and while DDCreateWorkSurface makes one.
bool g_pictureCoversNewSurface = false;

void SetText(char (&field)[260], const char* text) { std::snprintf(field, sizeof field, "%s", text ? text : ""); }

uint32_t Channel(uint32_t pixel, const uint32_t* block, int channel) {
  return (pixel >> block[channel]) & block[channel + 4];
}

void CloseOnFailure() {
  if (lpDTCon && !lpDTCon->strErrorText.empty()) ShowErrorText(lpDTCon->strErrorText.c_str());
  RequestQuit();
}

bool LoadPicture(const char* szFile, plat::DecodedImage& image) {
  std::string error;
  return szFile && szFile[0] && plat::LoadImageFile(szFile, image, error);
}

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

void ReadLevel(DTDATA* dt) {
  plat::DeviceSurface* s = dt->lpSurface;
  dt->desc = DTSURFACEDESC{s->Format(), 3, dt->lpTexture->Usage(), s->Pool(), 0, 0,
                           static_cast<uint32_t>(s->Width()), static_cast<uint32_t>(s->Height())};
}

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

// Loading a file surface, with the switch that leaves the key colour as it
// is (the transparent colour is read from such a surface).
// `decoded`, when given, is the file's picture already read (the mirror
// image of a sheet is made from the picture its texture was made from).
uint32_t CreateSurfaceFromFile(DDSURFACEDATA* lpSD, const char* szFile, uint32_t bColorKey, int nBpp,
                               uint32_t dwDDMemType, uint32_t dwD3DMemType, uint32_t bShare, uint32_t bPalNumMap,
                               int nMirrorCellW, int nMirrorCellH, uint32_t bRestore, bool applyKey,
                               const plat::DecodedImage* decoded = nullptr) {
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

}  // namespace

// ---- creation ----

bool DDCreateSurface(DDSURFACEDATA* lpSD, int nWidth, int nHeight, uint32_t bColorKey, uint32_t dwDDMemType,
                     uint32_t dwD3DMemType, uint32_t bShare, uint32_t bRestore) {
  if (!lpSD) return false;
  DDAllocSurfaceRecord(lpSD);
  if (!lpDTCon) {
    if (!DDState.lpDD || !lpSD->lpDDS) return false;
    if (lpSD->lpDDS->lpSurface) {
      lpSD->lpDDS->lpSurface->Release();
      lpSD->lpDDS->lpSurface = nullptr;
    }
    plat::DrawSurface* s = nullptr;
    if (dwDDMemType == 0) {
      if (DDState.lpDD->CreateSurface(nWidth, nHeight, plat::MemoryPlace::Video, &s) != plat::DD_OK) {
        if (DDState.lpDD->CreateSurface(nWidth, nHeight, plat::MemoryPlace::System, &s) != plat::DD_OK) {
          WriteReportAndECLog("CreateSurface Video -> System Err");
          return false;
        }
        dwDDMemType = 1;
      }
    } else if (DDState.lpDD->CreateSurface(nWidth, nHeight, plat::MemoryPlace::System, &s) != plat::DD_OK) {
      WriteReportAndECLog("CreateSurface System Err");
      return false;
    }
    lpSD->lpDDS->lpSurface = s;
    if (bColorKey == 1 && s->SetColorKey(DDState.dwColorKey) != plat::DD_OK) WriteReportAndECLog("SetColorKey Err");
    lpSD->nWidth = lpSD->nTexWidth = nWidth;
    lpSD->nHeight = lpSD->nTexHeight = nHeight;
    lpSD->dwMemoryType = dwDDMemType;
    if (!g_pictureCoversNewSurface) DDFillRect(lpSD, 0, 0, nWidth, nHeight, 0);
    return true;
  }
  DTDATA* dt = lpSD->lpDT;
  if (!dt || !DDState.lpDevice) return false;
  if (!bRestore) {
    SetText(lpSD->szKind, "OffScreen");
    SetText(lpSD->szFileName, "E");
    dt->dwMemoryType = dwD3DMemType;
    dt->bColorKey = bColorKey == 1 ? 1 : 0;
    if (!bShare) {
      dt->dwSerial = lpDTCon->dwTextureSerial++;
      if (DDState.lpDevice->CreateVertexBuffer(112, &dt->lpVB) != plat::D3D_OK) {
        WriteReportAndECLog("CreateVertexBuffer Err");
        return false;
      }
    }
  }
  if (bShare) {
    lpSD->nWidth = lpSD->nTexWidth = nWidth;
    lpSD->nHeight = lpSD->nTexHeight = nHeight;
    lpSD->dwMemoryType = dwDDMemType;
    return true;
  }
  int tw = nWidth, th = nHeight;
  DDRoundTextureSize(&tw, &th);
  if (!DDCheckTextureSize(tw, th))
    WriteReportAndECLog("%s", plat::Sjis("上記の理由でテクスチャの描画が失敗する可能性があります。(空)").c_str());
  if (dt->dwMemoryType == DTMEMORYTYPE_VIDEO_NORT) dt->dwMemoryType = DTMEMORYTYPE_VIDEO_RT;
  plat::Device* dev = DDState.lpDevice;
  if (dt->dwMemoryType == DTMEMORYTYPE_VIDEO_RT) {
    dt->bRenderTarget = 1;
    const uint32_t hr = dev->CreateTexture(tw, th, plat::D3DUSAGE_RENDERTARGET, lpDTCon->dwTextureFormat,
                                           plat::D3DPOOL_DEFAULT, &dt->lpTexture);
    if (hr == plat::D3DERR_OUTOFVIDEOMEMORY) {
      WriteReportAndECLog("%s", plat::Sjis("VRAM不足のためシステムメモリにテクスチャを作成します。(空)").c_str());
      dt->dwMemoryType = DTMEMORYTYPE_SYSTEM;
    } else if (hr != plat::D3D_OK) {
      return false;
    }
  }
  if (dt->dwMemoryType == DTMEMORYTYPE_SYSTEM && !bRestore) {
    dt->bRenderTarget = 0;
    const uint32_t hr = dev->CreateTexture(tw, th, plat::D3DUSAGE_DYNAMIC, lpDTCon->dwTextureFormat,
                                           plat::D3DPOOL_SYSTEMMEM, &dt->lpTexture);
    if (hr != plat::D3D_OK) {
      WriteReportAndECLog("D3DXCreateTexture Err hr = %x", hr);
      CloseOnFailure();
      return false;
    }
  }
  if (!dt->lpTexture) return false;
  uint32_t hr = dt->lpTexture->GetSurfaceLevel(0, &dt->lpSurface);
  if (hr != plat::D3D_OK) {
    WriteReportAndECLog("GetSurfaceLevel Err hr = %x", hr);
    return false;
  }
  ReadLevel(dt);
  if (dt->dwMemoryType == DTMEMORYTYPE_VIDEO_RT && !bRestore) {
    hr = dev->CreateOffscreenPlainSurface(dt->lpSurface->Width(), dt->lpSurface->Height(), dt->lpSurface->Format(),
                                          plat::D3DPOOL_SYSTEMMEM, &dt->lpSystemSurface);
    if (hr != plat::D3D_OK) {
      WriteReportAndECLog("CreateOffscreenPlainSurface Err hr = %x", hr);
      CloseOnFailure();
      return false;
    }
  }
  lpSD->nWidth = nWidth;
  lpSD->nHeight = nHeight;
  lpSD->nTexWidth = dt->lpSurface->Width();
  lpSD->nTexHeight = dt->lpSurface->Height();
  if (dt->bRenderTarget) {
    plat::DeviceSurface* previous = dev->RenderTarget();
    dev->SetRenderTarget(dt->lpSurface);
    dev->Clear(nullptr, 0, lpDTCon->dwTransmitARGB);
    if (previous) dev->SetRenderTarget(previous);
  }
  if (!bRestore) DDState.textureList.push_back(lpSD);
  return true;
}

bool DDCreateWorkSurface(DDSURFACEDATA* lpSD, int nWidth, int nHeight, uint32_t bColorKey, uint32_t dwDDMemType,
                         uint32_t dwD3DMemType) {
  g_pictureCoversNewSurface = true;
  const bool made = DDCreateSurface(lpSD, nWidth, nHeight, bColorKey, dwDDMemType, dwD3DMemType, 0, 0);
  g_pictureCoversNewSurface = false;
  return made;
}

uint32_t DDCreateSurfaceFromFile(DDSURFACEDATA* lpSD, const char* szFile, uint32_t bColorKey, int nBpp,
                                 uint32_t dwDDMemType, uint32_t dwD3DMemType, uint32_t bShare, uint32_t bPalNumMap,
                                 int nMirrorCellW, int nMirrorCellH, uint32_t bRestore) {
  return CreateSurfaceFromFile(lpSD, szFile, bColorKey, nBpp, dwDDMemType, dwD3DMemType, bShare, bPalNumMap,
                               nMirrorCellW, nMirrorCellH, bRestore, true);
}

bool DDCheckResult(uint32_t nCode) {
  switch (nCode) {
    case 4: WriteECLog("CREATESURFACE_ERR"); return false;
    case 8: WriteECLog("LOADIMAGE_ERR"); return false;
    case 9: WriteECLog("SETCOLORKEY_ERR"); return false;
    default: return true;
  }
}

bool DDLoadSurfaces(DDSURFACEDATA* lpSDTable, const int* lpIndexList, int nCount) {
  if (!lpSDTable || !lpIndexList || !DDState.lpSDInfoTable) return false;
  // Several entries often name one file (a sheet, and the entries that share
  // its texture or its size): each file is read and decoded once for the
  // whole list and kept until the last entry that names it is made. A file
  // that does not decode is tried again by each entry, which reports it.
  auto fileOf = [&](int i) -> const char* {
    const int index = lpIndexList[i];
    if (index < 0 || index >= DDState.nSDCount) return nullptr;
    const char* name = DDState.lpSDInfoTable[index].szFileName;
    return std::strcmp(name, "E") != 0 && name[0] != '\0' ? name : nullptr;
  };
  struct Picture {
    std::string file;
    int lastUse = 0;
    bool tried = false;
    bool decoded = false;
    plat::DecodedImage image;
  };
  std::vector<Picture> pictures;
  for (int i = 0; i < nCount; ++i) {
    const char* file = fileOf(i);
    if (!file) continue;
    auto it = std::find_if(pictures.begin(), pictures.end(), [&](const Picture& p) { return p.file == file; });
    if (it == pictures.end()) pictures.push_back(Picture{file, i, false, false, {}});
    else it->lastUse = i;
  }
  for (int i = 0; i < nCount; ++i) {
    const int index = lpIndexList[i];
    if (index < 0 || index >= DDState.nSDCount) continue;
    DDSURFACEDATA* sd = &lpSDTable[index];
    const DDSURFACEINFO& info = DDState.lpSDInfoTable[index];
    DDReleaseSurface(sd);
    if (std::strcmp(info.szFileName, "E") != 0) {
      Picture* picture = nullptr;
      if (const char* file = fileOf(i)) {
        auto it = std::find_if(pictures.begin(), pictures.end(), [&](const Picture& p) { return p.file == file; });
        if (it != pictures.end()) picture = &*it;
      }
      if (picture && !picture->tried) {
        picture->tried = true;
        picture->decoded = LoadPicture(picture->file.c_str(), picture->image);
      }
      const uint32_t r = CreateSurfaceFromFile(sd, info.szFileName, info.bColorKey, DDState.nBpp, info.dwDDMemType,
                                               info.dwD3DMemType, info.bShare, info.bPalNumMap, info.nMirrorCellW,
                                               info.nMirrorCellH, 0, true,
                                               picture && picture->decoded ? &picture->image : nullptr);
      if (picture && picture->lastUse == i) picture->image = plat::DecodedImage{};
      DDCheckResult(r);
      // Every failure counts, the mirror's code 1 and the device's own
      // results too: a texture that failed must not be drawn from later.
      if (r != 0) {
        DDReleaseSurface(sd);
        if (!info.bOptional) {
          ShowError(plat::Sjis("%s の読み込みに失敗！").c_str(), info.szFileName);
          return false;
        }
      }
    } else if (!DDCreateSurface(sd, info.nWidth, info.nHeight, info.bColorKey, info.dwDDMemType, info.dwD3DMemType,
                                info.bShare, 0)) {
      DDReleaseSurface(sd);
      if (!info.bOptional) {
        ShowOutOfMemory();
        return false;
      }
    }
  }
  return true;
}

namespace {

DDSURFACEINFO EmptyInfo(int w, int h, uint32_t key, uint32_t dd, uint32_t d3d, uint32_t share) {
  DDSURFACEINFO info;
  info.bColorKey = key;
  info.dwDDMemType = dd;
  info.dwD3DMemType = d3d;
  info.bShare = share;
  info.nWidth = w;
  info.nHeight = h;
  return info;
}

// After a vector moved its records, the texture list must follow them.
void FollowMovedRecords(const DDSURFACEDATA* oldBegin, size_t oldCount, DDSURFACEDATA* newBegin) {
  if (oldBegin == newBegin || !oldBegin) return;
  for (DDSURFACEDATA*& entry : DDState.textureList)
    if (entry >= oldBegin && entry < oldBegin + oldCount) entry = newBegin + (entry - oldBegin);
}

}  // namespace

bool DDAddSurface(cSafeVector<DDSURFACEDATA>& sd, cSafeVector<DDSURFACEINFO>& info, int nWidth, int nHeight,
                  uint32_t bColorKey, uint32_t dwDDMemType, uint32_t dwD3DMemType, uint32_t bShare) {
  info.push_back(EmptyInfo(nWidth, nHeight, bColorKey, dwDDMemType, dwD3DMemType, bShare));
  const DDSURFACEDATA* oldBegin = sd.data();
  const size_t oldCount = sd.size();
  sd.emplace_back();
  FollowMovedRecords(oldBegin, oldCount, sd.data());
  return DDCreateSurface(&sd.back(), nWidth, nHeight, bColorKey, dwDDMemType, dwD3DMemType, bShare, 0);
}

bool DDAddSurfaceToList(cSafeList<DDSURFACEDATA>& sd, cSafeList<DDSURFACEINFO>& info, int nWidth, int nHeight,
                        uint32_t bColorKey, uint32_t dwDDMemType, uint32_t dwD3DMemType, uint32_t bShare) {
  info.push_back(EmptyInfo(nWidth, nHeight, bColorKey, dwDDMemType, dwD3DMemType, bShare));
  sd.emplace_back();
  return DDCreateSurface(&sd.back(), nWidth, nHeight, bColorKey, dwDDMemType, dwD3DMemType, bShare, 0);
}

bool DDInsertSurface(cSafeList<DDSURFACEDATA>& sd, cSafeList<DDSURFACEINFO>& info, int nPos, int nWidth,
                     int nHeight, uint32_t bColorKey, uint32_t dwDDMemType, uint32_t dwD3DMemType, uint32_t bShare) {
  // The position goes through the checked access: a bad one is reported and
  // the insert happens before the first element.
  auto sdIt = sd.begin();
  auto infoIt = info.begin();
  if (nPos >= 0 && static_cast<size_t>(nPos) <= sd.size() && static_cast<size_t>(nPos) <= info.size()) {
    std::advance(sdIt, nPos);
    std::advance(infoIt, nPos);
  } else {
    sd.At(nPos);
  }
  info.insert(infoIt, EmptyInfo(nWidth, nHeight, bColorKey, dwDDMemType, dwD3DMemType, bShare));
  auto made = sd.insert(sdIt, DDSURFACEDATA{});
  return DDCreateSurface(&*made, nWidth, nHeight, bColorKey, dwDDMemType, dwD3DMemType, bShare, 0);
}

bool DDDeleteSurface(cSafeList<DDSURFACEDATA>& sd, cSafeList<DDSURFACEINFO>& info, DDSURFACEDATA* lpSD) {
  auto infoIt = info.begin();
  for (auto it = sd.begin(); it != sd.end(); ++it) {
    if (&*it == lpSD) {
      DDReleaseSurface(lpSD);
      sd.erase(it);
      if (infoIt != info.end()) info.erase(infoIt);
      return true;
    }
    if (infoIt != info.end()) ++infoIt;
  }
  return false;
}

void DDReleaseSurfaceObjects(DDSURFACEDATA* lpSD) {
  if (!lpSD) return;
  if (DTDATA* dt = lpSD->lpDT) {
    if (!lpSD->lpShareSD) {
      if (dt->lpTexture) dt->lpTexture->Release();
      if (dt->lpVB) dt->lpVB->Release();
      if (dt->lpSystemSurface) dt->lpSystemSurface->Release();
      if (dt->lpSurface) dt->lpSurface->Release();
      auto& list = DDState.textureList;
      list.erase(std::remove_if(list.begin(), list.end(),
                                [&](DDSURFACEDATA* e) {
                                  return e == lpSD || (dt->dwSerial != 0 && e->lpDT && e->lpDT->dwSerial == dt->dwSerial);
                                }),
                 list.end());
    }
    delete dt;
    lpSD->lpDT = nullptr;
  }
  if (DDSURFACERECORD* dds = lpSD->lpDDS) {
    if (dds->lpSurface) dds->lpSurface->Release();
    delete dds;
    lpSD->lpDDS = nullptr;
  }
}

void DDReleaseSurface(DDSURFACEDATA* lpSD) { DDReleaseSurfaceObjects(lpSD); }

void DDReleaseSurfaces(cSafeVector<DDSURFACEDATA>& sd) {
  for (DDSURFACEDATA& s : sd) DDReleaseSurface(&s);
}

void DDReleaseSurfaceList(cSafeList<DDSURFACEDATA>& sd) {
  for (DDSURFACEDATA& s : sd) DDReleaseSurface(&s);
}

// ---- transparent colour and palette ----

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

void DDRoundTextureSize(int* w, int* h) {
  if (!lpDTCon) return;
  auto round = [](int v) {
    if (v <= 0 || (v & (v - 1)) == 0) return v;
    int top = 1;
    while ((top << 1) <= v) top <<= 1;
    return top * 2;
  };
  if (lpDTCon->bPow2) {
    *w = round(*w);
    *h = round(*h);
  }
  if (lpDTCon->bSquareOnly) *w = *h = std::max(*w, *h);
}

bool DDCheckTextureSize(int w, int h) {
  if (!lpDTCon) return true;
  bool ok = true;
  if (w > lpDTCon->caps.maxTextureWidth) {
    WriteReportAndECLog(plat::Sjis("このビデオカードでは横幅%dを超える画像はサポートされていません！").c_str(),
                        lpDTCon->caps.maxTextureWidth);
    ok = false;
  }
  if (h > lpDTCon->caps.maxTextureHeight) {
    WriteReportAndECLog(plat::Sjis("このビデオカードでは縦幅%dを超える画像はサポートされていません！").c_str(),
                        lpDTCon->caps.maxTextureHeight);
    ok = false;
  }
  return ok;
}

bool DDBitmapFits(uint32_t* lpTooBig, const char* szFile, int w, int h) {
  if (lpDTCon) {
    if (lpTooBig) *lpTooBig = 0;  // always written: callers read it
    return true;
  }
  int fw = 0, fh = 0;
  if (!szFile || !plat::ReadImageSize(szFile, fw, fh)) {
    if (lpTooBig) *lpTooBig = 0;
    return false;
  }
  if (lpTooBig) *lpTooBig = (fw <= w && fh <= h) ? 0 : 1;
  return true;
}

// ---- fills ----

void DDFillRect(DDSURFACEDATA* lpSD, int x, int y, int w, int h, uint32_t dwPalNum) {
  DDFillRectColor(lpSD, x, y, w, h, PalNumToRGB(dwPalNum));
}

void DDFillSurface(DDSURFACEDATA* lpSD, uint32_t dwPalNum) {
  if (lpSD) DDFillRect(lpSD, 0, 0, lpSD->nWidth, lpSD->nHeight, dwPalNum);
}

void DDFillSurfaceColor(DDSURFACEDATA* lpSD, uint32_t dwColor) {
  if (lpSD) DDFillRectColor(lpSD, 0, 0, lpSD->nWidth, lpSD->nHeight, dwColor);
}

void DDFillRectDevice(DDSURFACEDATA* lpSD, int x, int y, int w, int h, uint32_t dwColor);  // dd_blit.cpp

void DDFillRectColor(DDSURFACEDATA* lpSD, int x, int y, int w, int h, uint32_t dwColor) {
  if (!lpSD) return;
  if (!lpDTCon) {
    if (!lpSD->lpDDS || !lpSD->lpDDS->lpSurface) return;
    plat::DrawSurface* s = lpSD->lpDDS->lpSurface;
    plat::Rect r{x, y, x + w, y + h};
    r.left = std::max(r.left, 0);
    r.top = std::max(r.top, 0);
    r.right = std::min(r.right, s->Width());
    r.bottom = std::min(r.bottom, s->Height());
    if (r.left >= r.right || r.top >= r.bottom) return;
    s->Blt(&r, nullptr, nullptr, plat::DDBLT_COLORFILL | plat::DDBLT_WAIT, dwColor);
    return;
  }
  DDFillRectDevice(lpSD, x, y, w, h, dwColor);
}

// ---- the processor lock ----

cSurfaceLock::cSurfaceLock(DDSURFACEDATA* lpSD, bool /*bReadOnly*/) {
  DDSubstituteMirror(&lpSD);
  DDRedirectBackBuffer(&lpSD);
  if (!lpSD) return;
  m_nBitsPerPixel = DDState.nBpp;
  m_nBytesPerPixel = std::max(1, DDState.nBpp / 8);
  if (!lpDTCon) {
    if (!lpSD->lpDDS || !lpSD->lpDDS->lpSurface) return;
    if (!DDLock(lpSD, &m_nPitch, &m_lpBits, DDState.nBpp)) return;
    m_lpSD = lpSD;
    m_nWidth = lpSD->lpDDS->lpSurface->Width();
    m_nHeight = lpSD->lpDDS->lpSurface->Height();
    return;
  }
  DTDATA* dt = lpSD->lpDT;
  if (!dt || !dt->lpSurface) return;
  const bool back = lpSD == DDBackBuffer();
  if (!dt->bRenderTarget || back) {
    if (dt->lpSurface->LockRect(m_lpBits, m_nPitch) != plat::D3D_OK) {
      ShowDebugError("FAILED( lpSD->lpDT->lpSurface->LockRect(&(lock), NULL, 0) )");
      return;
    }
    m_bBackBuffer = back;
  } else {
    // A render target is locked through its system-memory surface, which
    // stays locked meanwhile (so a second lock is refused), but the pixels
    // handed out are the target's own, read and written in place: with
    // every picture in our memory, copying the target into that surface and
    // back at the unlock would give the same pixels for two frames' worth of
    // copying. Nothing draws into a target while the processor holds it.
    plat::DeviceSurface* copy = dt->lpSystemSurface;
    if (!copy || !copy->Image().SameSize(dt->lpSurface->Image()) || copy->Format() != dt->lpSurface->Format()) {
      WriteECLog("FAILED( lpDevice->GetRenderTargetData(lpSD->lpDT->lpSurface,lpSD->lpDT->lpSystemSurface) )");
      return;
    }
    uint8_t* copyBits = nullptr;
    int copyPitch = 0;
    if (copy->LockRect(copyBits, copyPitch) != plat::D3D_OK) {
      WriteECLog("FAILED( lpSD->lpDT->lpSystemSurface->LockRect(&lock, NULL, 0) )");
      return;
    }
    m_lpBits = dt->lpSurface->Image().Bits();
    m_nPitch = dt->lpSurface->Image().Pitch();
    m_bSystemCopy = true;
  }
  m_lpSD = lpSD;
  m_nWidth = dt->lpSurface->Width();
  m_nHeight = dt->lpSurface->Height();
}

void cSurfaceLock::Unlock() {
  if (!m_lpSD) return;
  if (!lpDTCon) {
    if (m_lpSD->lpDDS && m_lpSD->lpDDS->lpSurface) m_lpSD->lpDDS->lpSurface->Unlock();
  } else if (DTDATA* dt = m_lpSD->lpDT) {
    if (m_bBackBuffer) {
      if (dt->lpSurface->UnlockRect() != plat::D3D_OK)
        WriteECLog("Back :: D3D_OK != m_lpSD->lpDT->lpSurface->UnlockRect();");
    } else if (!m_bSystemCopy) {
      if (dt->lpSurface->UnlockRect() != plat::D3D_OK)
        WriteECLog("D3D_OK != m_lpSD->lpDT->lpSurface->UnlockRect();");
    } else if (dt->lpSystemSurface->UnlockRect() != plat::D3D_OK) {
      WriteECLog("D3D_OK != m_lpSD->lpDT->lpSystemSurface->UnlockRect();");
    }
  }
  m_lpSD = nullptr;
  m_lpBits = nullptr;
}
