// Present and restore: the Direct3D present with its pacing, the DirectDraw
// flip or blit of the frame step, the virtual back buffer, the restore of a
// lost device (main thread) and of lost DirectDraw surfaces (game thread).
#include <algorithm>
#include <cstring>
#include <functional>

#include "base/logs.h"
#include "base/timers.h"
#include "gfx/dd.h"
#include "platform/clock.h"
#include "platform/messages.h"
#include "platform/text.h"
#include "platform/window_host.h"

namespace {

// Window commands of the game window run on the main thread.
void ShowGameWindow(int command) {
  plat::RunOnMainThread([command]() -> int64_t {
    plat::WindowHost& host = plat::GetWindowHost();
    if (host.Exists()) host.Show(command);
    return 0;
  });
}

bool IsFileSurface(const DDSURFACEDATA* sd) {
  return sd->szFileName[0] != '\0' && std::strcmp(sd->szFileName, "E") != 0;
}

// What the DirectDraw present converts the picture with and hands to the
// window host. Game thread only.
plat::FramePresenter& Presenter() {
  static plat::FramePresenter presenter;
  return presenter;
}

}  // namespace

bool DDPresent(int nFps) {
  if (!lpDTCon || !DDState.lpDevice) return true;
  if (lpDTCon->bVirtualBackBuffer) DDCopyVirtualBackBuffer(DDBackBuffer(), DDVirBackBuffer());
  // Without vertical sync the present paces; it sleeps through to the due
  // time (on the platform clock, which a test's virtual clock replaces).
  if (!DDState.bVSync)
    while (!IsPresentDue(static_cast<uint32_t>(nFps)))
      plat::Sleep(std::max(1u, MillisecondsUntilPresentDue(static_cast<uint32_t>(nFps))));
  DDEndScene();
  if (DDState.lpDevice->Present() != plat::D3DERR_DEVICELOST) return true;
  if (!DDState.bWindowed) ShowGameWindow(plat::SW_MINIMIZE);
  return false;
}

bool DDPresentDirectDraw(uint32_t bNoFlip, uint32_t bLateFrame) {
  if (!lpDDCon || !DDPrimary()->lpDDS || !DDPrimary()->lpDDS->lpSurface) return true;
  plat::DrawSurface* primary = DDPrimary()->lpDDS->lpSurface;
  plat::DrawSurface* shown = primary;  // the surface whose picture the screen gets
  uint32_t hr = plat::DD_OK;
  if (!DDState.bWindowed) {
    if (!bNoFlip && !bLateFrame) {
      hr = primary->Flip(true);
    } else {
      DDBlt(DDPrimary(), 0, 0, 640, 480, DDBackBuffer(), 0, 0, 0);
      hr = primary->IsLost();
    }
  } else {
    if (!bLateFrame) plat::WaitVerticalBlank();
    // The window's picture is the whole back buffer (the same size and
    // format as the primary, which nothing reads in a window), so it is
    // converted straight into the frame: no copy onto the primary first.
    DDSURFACEDATA* back = DDBackBuffer();
    if (back->lpDDS && back->lpDDS->lpSurface) {
      plat::DrawSurface* backSurface = back->lpDDS->lpSurface;
      hr = primary->IsLost() != plat::DD_OK ? primary->IsLost() : backSurface->IsLost();
      shown = backSurface;
    }
  }
  if (hr == plat::DDERR_SURFACELOST) return false;
  const PALETTEENTRY* palette = DDState.lpDDPalette ? DDState.lpDDPalette->Entries() : DDState.DDPaletteWork;
  Presenter().Present(shown->Image(), palette);
  return true;
}

void DDSetVirtualBackBuffer(uint32_t bOn) {
  if (!lpDTCon) return;
  if (lpDTCon->bVirtualBackBuffer && !bOn && DDVirBackBuffer()->lpDT && DDVirBackBuffer()->lpDT->lpSurface)
    DDCopyVirtualBackBuffer(DDBackBuffer(), DDVirBackBuffer());
  lpDTCon->bVirtualBackBuffer = bOn ? 1 : 0;
  // "BackBuffer" while on, "VirBackBuffer" while off (the names the
  // surface table gives them); every draw sets its own target, so this only decides what
  // the target is between draws.
  lpDTCon->lpCurrentRT = bOn ? DDBackBuffer() : DDVirBackBuffer();
  if (lpDTCon->lpCurrentRT->lpDT && lpDTCon->lpCurrentRT->lpDT->lpSurface) DDSetRenderTarget(0, lpDTCon->lpCurrentRT);
}

bool DDRedirectBackBuffer(DDSURFACEDATA** lplpSD) {
  if (!lpDTCon || !lplpSD || !lpDTCon->bVirtualBackBuffer || *lplpSD != DDBackBuffer()) return false;
  *lplpSD = DDVirBackBuffer();
  return true;
}

void DDCopyVirtualBackBuffer(DDSURFACEDATA* lpDstSD, DDSURFACEDATA* lpSrcSD) {
  if (!lpDTCon || !lpDstSD || !lpSrcSD) return;
  lpDTCon->bCopyVirtualBackBuffer = 1;
  DDSetAlphaOp(1);  // the texture's alpha is not used: the copy is opaque
  DDBlt(lpDstSD, 0, 0, lpSrcSD->nWidth, lpSrcSD->nHeight, lpSrcSD, 0, 0, 0);
  DDSetAlphaOp(2);
  lpDTCon->bCopyVirtualBackBuffer = 0;
}

bool DDRestoreSurface() {
  WriteECLog("Restore In");
  if (!lpDTCon || !DDState.lpDevice) {
    WriteECLog("%s", plat::Sjis("DDではDDRestoreSurfaceは未対応").c_str());
    return true;
  }
  plat::Device& dev = *DDState.lpDevice;
  // A device that was never lost needs nothing: activation asks for a
  // restore every time, and re-making a working device would only fail (the
  // desktop full screen never loses it).
  if (!dev.Lost()) {
    WriteECLog("Restore Out");
    return true;
  }
  for (DDSURFACEDATA* sd : DDState.textureList) {
    DTDATA* dt = sd->lpDT;
    if (!dt || dt->dwMemoryType == DTMEMORYTYPE_SYSTEM) continue;
    if (dt->lpSurface) dt->lpSurface->Release();
    if (dt->lpTexture) dt->lpTexture->Release();
    dt->lpSurface = nullptr;
    dt->lpTexture = nullptr;
  }
  for (cDeviceFontHooks* font : DDState.fontList) {
    const uint32_t hr = font->OnLostDevice();
    if (hr != 0) WriteECLog("lpFont->OnLostDevice hr = %d", static_cast<int>(hr));
  }
  DDSURFACEDATA* back = DDBackBuffer();
  if (back->lpDT && back->lpDT->lpSurface) {
    back->lpDT->lpSurface->Release();
    back->lpDT->lpSurface = nullptr;
  }
  if (dev.TestCooperativeLevel() != plat::D3DERR_DEVICENOTRESET) {
    WriteECLog("%s", plat::Sjis("復旧失敗…リセット可能な状態ではありません…").c_str());
    return false;
  }
  plat::PresentParameters made = lpDTCon->d3dpp;
  made.backBufferWidth = static_cast<uint32_t>(DDState.nDispWidth);
  made.backBufferHeight = static_cast<uint32_t>(DDState.nDispHeight);
  if (dev.Reset(made) != plat::D3D_OK) return false;
  lpDTCon->bSceneOpen = 0;
  DDSetRenderStates();
  if (back->lpDT) dev.GetBackBuffer(&back->lpDT->lpSurface);
  // Iterates a copy: a mirrored sheet makes and frees a helper texture.
  const std::vector<DDSURFACEDATA*> list = DDState.textureList;
  for (DDSURFACEDATA* sd : list) {
    DTDATA* dt = sd->lpDT;
    if (!dt || dt->dwMemoryType == DTMEMORYTYPE_SYSTEM) continue;  // survived untouched
    if (IsFileSurface(sd)) {
      const uint32_t hadMap = dt->palNumMap.empty() ? 0 : 1;
      if (DDCreateSurfaceFromFile(sd, sd->szFileName, dt->bColorKey, DDState.nBpp, sd->dwMemoryType, dt->dwMemoryType,
                                  0, hadMap, sd->nMirrorCellW, sd->nMirrorCellH, 1) != 0)
        WriteECLog("Err");
    } else {
      if (!DDCreateSurface(sd, sd->nWidth, sd->nHeight, dt->bColorKey, sd->dwMemoryType, dt->dwMemoryType, 0, 1))
        WriteECLog("Err");
      sd->bLost = 1;
    }
  }
  for (cDeviceFontHooks* font : DDState.fontList) font->Restore();
  if (!DDState.bWindowed) {
    plat::WindowHost& host = plat::GetWindowHost();
    if (host.Exists()) host.Show(plat::SW_SHOWNORMAL);
  }
  WriteECLog("Restore Out");
  return true;
}

bool DDPrimaryLost() {
  if (lpDTCon || !DDPrimary()->lpDDS || !DDPrimary()->lpDDS->lpSurface) return false;
  return DDPrimary()->lpDDS->lpSurface->IsLost() == plat::DDERR_SURFACELOST;
}

bool DDRestore() {
  if (lpDTCon) {
    WriteECLog("%s", plat::Sjis("D3DではDDRestoreは未対応").c_str());
    return true;
  }
  if (!DDPrimaryLost()) return true;
  DDPrimary()->lpDDS->lpSurface->Restore();
  DDSURFACEDATA* back = DDBackBuffer();
  if (back->lpDDS && back->lpDDS->lpSurface && back->lpDDS->lpSurface->IsLost() == plat::DDERR_SURFACELOST)
    back->lpDDS->lpSurface->Restore();
  for (int i = 0; DDState.lpSDTable && i < DDState.nSDCount; ++i) {
    DDSURFACEDATA* sd = &DDState.lpSDTable[i];
    if (!sd->lpDDS || !sd->lpDDS->lpSurface || sd->lpDDS->lpSurface->IsLost() != plat::DDERR_SURFACELOST) continue;
    sd->lpDDS->lpSurface->Restore();
    if (sd->dwMemoryType != 0) continue;  // system memory keeps its picture
    if (IsFileSurface(sd)) DDRestoreSurfaceFromFile(sd, DDState.nBpp);
    else sd->bLost = 1;
  }
  if (DDState.nBpp == 8 && DDState.lpDDPalette) DDState.lpDDPalette->SetEntries(0, 256, DDState.DDPaletteWork);
  for (cDeviceFontHooks* font : DDState.fontList) font->Restore();
  return true;
}

void DDGetPixelFormat(uint32_t* block) {
  if (lpDTCon || !block || !DDPrimary()->lpDDS || !DDPrimary()->lpDDS->lpSurface) return;
  const plat::PixelFormat& f = DDPrimary()->lpDDS->lpSurface->Format();
  const uint32_t masks[3] = {f.redMask, f.greenMask, f.blueMask};
  for (int c = 0; c < 3; ++c) {
    block[c] = static_cast<uint32_t>(plat::MaskShift(masks[c]));
    block[c + 4] = plat::MaskMax(masks[c]);
  }
}

uint32_t DDPalToRGB16(const PALETTEENTRY* e) {
  if (lpDTCon) {
    WriteECLog("%s", plat::Sjis("D3DではDDPalToRGB16は未対応").c_str());
    return 0;
  }
  const uint32_t* f = DDState.TexFormat;
  return ((e->peRed & f[PF_RMAX]) << f[PF_RSHIFT]) | ((e->peGreen & f[PF_GMAX]) << f[PF_GSHIFT]) |
         ((e->peBlue & f[PF_BMAX]) << f[PF_BSHIFT]);
}
