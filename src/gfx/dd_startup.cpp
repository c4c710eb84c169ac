// The display steps of start-up, and the DirectDraw pieces of the frame
// step's restore and of the window handler.
#include <cstring>
#include <string>

#include "base/errors.h"
#include "base/logs.h"
#include "data/settings.h"
#include "gfx/dd.h"
#include "platform/text.h"
#include "platform/window_host.h"

bool DDDecideDisplay(GameSettingsRecord& s, int32_t nSysDepthDD, int32_t nSysDepthD3D, uint32_t bFixedKey,
                     int32_t nDesktopBits, DDDISPLAYCHOICE& out) {
  out = DDDISPLAYCHOICE{};
  if (s.nDirect3D == 0) {
    if (s.nWindowMode == 0) {
      out.bWindowed = 0;
      // Windows 6 and later: no vertical sync by default in full screen.
      if (s.nVSync > 1) s.nVSync = 0;
    } else {
      out.bWindowed = 1;
      s.nVSync = 0;
    }
  } else {
    out.bWindowed = s.nWindowMode != 0 ? 1 : 0;
    if (s.nVSync > 1) s.nVSync = 1;
  }
  int bpp;
  if (s.nBpp != 0) {
    bpp = s.nBpp;
  } else if (out.bWindowed) {
    bpp = nDesktopBits;
  } else if (s.nDirect3D == 0) {
    bpp = nSysDepthDD == 1 ? 16 : nSysDepthDD == 2 ? (bFixedKey == 0 ? 8 : 32) : 32;
  } else {
    bpp = nSysDepthD3D == 1 ? 16 : 32;
  }
  s.nBpp = bpp;
  bool allowed = bpp == 16 || bpp == 32 || (bpp == 8 && s.nDirect3D == 0 && !out.bWindowed && bFixedKey == 0);
  if (out.bWindowed && bpp != nDesktopBits) allowed = false;
  out.bSizingBorder = (s.nDirect3D != 0 && s.nWindowMode == 2) ? 1 : 0;
  out.nBpp = bpp;
  if (!allowed) {
    if (out.bWindowed && (bpp == 16 || bpp == 32))
      ShowErrorText(plat::Sjis("画面モードが不正です！\nウインドウモードではSystem.iniの設定と画面の色の設定を合わせて下さい！").c_str());
    else
      ShowErrorText(plat::Sjis("画面モードが不正です！\nSystem.iniと画面の設定を見直して下さい！").c_str());
    return false;
  }
  return true;
}

bool DDInitWithFallback(GameSettingsRecord& s, plat::WindowHandle hWnd, const DDDISPLAYCHOICE& choice,
                        DDSURFACEDATA* lpSDTable, DDSURFACEINFO* lpSDInfoTable, int nCount, int showCommand) {
  if (choice.nBpp == 8) s.nDDVideoStretch = 0;
  const uint32_t vsync = s.nVSync != 0 ? 1 : 0;
  bool ok = DDInit(s.nDirect3D != 0 ? 1 : 0, hWnd, 640, 480, choice.nBpp, vsync, choice.bWindowed, 1, 60, vsync,
                   lpSDTable, lpSDInfoTable, nCount);
  if (!ok && s.nDirect3D != 0) {
    DDRelease();
    s.nDirect3D = 0;
    plat::WindowHost& host = plat::GetWindowHost();
    if (host.Exists()) host.Show(s.nWindowMode != 0 ? showCommand : plat::SW_MAXIMIZE);
    ok = DDInit(0, hWnd, 640, 480, choice.nBpp, vsync, choice.bWindowed, 1, 60, vsync, lpSDTable, lpSDInfoTable,
                nCount);
  }
  if (!ok) {
    WriteReportAndECLog("%s", plat::Sjis("DDInit失敗").c_str());  // in the report too: the player would see nothing else
    return false;
  }
  if (lpDTCon)
    lpDTCon->strErrorText = plat::Sjis(
        "テクスチャの作成に失敗しました！\nビデオカードの性能が十分ではないかもしれません。\n"
        "System.iniファイルで「Direct3D=0」に変更してDirect3Dを無効にすれば改善される可能性があります。");
  return true;
}

bool DDSetupPaletteAndKey(const char* szPaletteBitmap, uint32_t bFixedKey, uint8_t r, uint8_t g, uint8_t b) {
  if (!lpDTCon && !DDState.lpDDPalette) return true;
  // A failure names the picture: shown, as a start that ends here must say
  // why, and in both logs.
  if (!DDLoadPaletteFromFile(DDState.DDPalette, szPaletteBitmap)) {
    const std::string why = DDPaletteFromFileProblem(szPaletteBitmap);
    WriteReportAndShowError(plat::Sjis("DDLoadPaletteFromFile失敗：%s%s%s").c_str(), szPaletteBitmap,
                            why.empty() ? "" : "\n", why.c_str());
    return false;
  }
  std::memcpy(DDState.DDPaletteWork, DDState.DDPalette, sizeof DDState.DDPalette);
  bool ok = true;
  if (bFixedKey == 0) {
    ok = DDSetTransmitFromFile(szPaletteBitmap);
  } else if (DDState.nBpp == 16) {
    ok = DDSetTransmitFromFile(szPaletteBitmap);
    if (ok) {
      const RGBTRIPLE key{b, g, r};
      if (lpDTCon) lpDTCon->rgbTransmit8 = key;
      else if (lpDDCon) lpDDCon->rgbTransmit8 = key;
    }
  } else {
    DDSetTransmit(r, g, b);
  }
  if (!ok) {
    WriteReportAndShowError(plat::Sjis("DDSetTransmit失敗：%s").c_str(), szPaletteBitmap);
    return false;
  }
  WriteECLog("1");
  return true;
}

uint32_t DDNoFlipFlag(uint32_t bVSync, uint32_t nFrameRate) {
  // The emulated display runs at 60 Hz.
  const uint32_t monitorRate = 60;
  return (!DDState.bWindowed && bVSync && monitorRate >= nFrameRate) ? 0 : 1;
}

bool DDRestoreLostSurface(DDSURFACEDATA* lpSD) {
  if (lpDTCon || !lpSD || !lpSD->lpDDS || !lpSD->lpDDS->lpSurface) return true;
  plat::DrawSurface* s = lpSD->lpDDS->lpSurface;
  if (s->IsLost() == plat::DDERR_SURFACELOST) s->Restore();
  if (lpSD->dwMemoryType == 0) {
    lpSD->bLost = 1;
    if (!DDRestoreSurfaceFromFile(lpSD, DDState.nBpp)) return false;
  }
  return true;
}

void DDRepaint() {
  if (!lpDDCon || !DDPrimary()->lpDDS || !DDPrimary()->lpDDS->lpSurface) return;
  DDSURFACEDATA* back = DDBackBuffer();
  if (!back->lpDDS || !back->lpDDS->lpSurface) return;
  plat::DrawSurface* primary = DDPrimary()->lpDDS->lpSurface;
  const plat::Rect whole{0, 0, primary->Width(), primary->Height()};
  primary->Blt(&whole, back->lpDDS->lpSurface, nullptr, plat::DDBLT_WAIT);
}

void DDRestoreBasePalette() {
  if (DDState.nBpp != 8 || !DDState.lpDDPalette) return;
  std::memcpy(DDState.DDPaletteWork, DDState.DDPalette, sizeof DDState.DDPaletteWork);
  DDState.lpDDPalette->SetEntries(0, 256, DDState.DDPaletteWork);
}

void DDRealizePalette() {
  if (!lpDDCon || !DDState.lpDDPalette || !DDPrimary()->lpDDS || !DDPrimary()->lpDDS->lpSurface) return;
  DDPrimary()->lpDDS->lpSurface->SetPalette(DDState.lpDDPalette);
}
