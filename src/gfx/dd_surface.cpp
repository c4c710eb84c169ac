// Surfaces and textures: making them (empty, from a file, a whole table of
// them at once), adding them to lists and freeing them, the texture size
// rules, the fills and the processor lock. Pictures are drawn into them in
// dd_surface_picture.cpp, the transparent colour and palette in dd_surface_colour.cpp.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "base/errors.h"
#include "base/logs.h"
#include "gfx/dd.h"
#include "gfx/dd_surface_picture.h"
#include "platform/image_decode.h"
#include "platform/text.h"

using namespace dd_detail;

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

// ---- texture and picture sizes ----

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
