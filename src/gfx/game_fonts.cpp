#include "gfx/game_fonts.h"

#include <cstdio>

#include "base/logs.h"
#include "data/labels.h"
#include "data/settings.h"
#include "data/system_data.h"

cFont* const GameFonts = new cFont[kGameFontCount];

namespace {

// Redraws the digit strips after a Direct3D device restore: listed with the
// fonts, after them, so the strips are drawn with restored sheets.
class DigitStripRestore : public cDeviceFontHooks {
 public:
  uint32_t OnLostDevice() override { return 0; }
  bool Restore() override {
    if (lpDTCon) RestoreDigitSurfaces();
    return true;
  }
} g_DigitStripRestore;

}  // namespace

GameFontOptions GameFontOptionsFromSettings() {
  GameFontOptions o;
  o.nFontIndex = SystemData.Num(kSysFontFace);
  o.bDirect3D = lpDTCon ? 1 : 0;
  o.nD3DFontCache = GameSettings.nD3DFontCache;
  o.nDDFontCache = GameSettings.nDDFontCache;
  o.nPictureLetters = SystemData.Num(kSysPictureLetters);
  o.nCentred = SystemData.Num(kSysCentredLetters);
  return o;
}

bool CreateGameFonts(const GameFontOptions& options) {
  const std::string& face = FontFaceName(options.nFontIndex);
  for (FONTSETTING& s : GameFontSettings) {
    std::snprintf(s.szFaceName, sizeof s.szFaceName, "%s", face.c_str());
    if (s.nGlyphMode == 2) s.nGlyphMode = options.bDirect3D ? options.nD3DFontCache : options.nDDFontCache;
  }
  if (!CreateFonts(GameFonts, GameFontSettings, kGameFontCount)) return false;
  GameFonts[0].m_bPicLetters = 0;
  GameFonts[1].m_bPicLetters = options.nPictureLetters ? 1 : 0;
  GameFonts[1].m_bCentre = options.nCentred ? 1 : 0;
  GameFonts[2].m_bPicLetters = 0;
  if (!CreateDigitSurfaces(DigitSurfaces, DigitSurfaceInfo, kGameFontCount, GameFonts, GameFontSettings)) return false;
  DDRegisterFont(&g_DigitStripRestore);
  WriteECLog("3");
  return true;
}

void WriteGameFontReport() {
  if (!lpDTCon && !lpDDCon) return;
  const char* names[2] = {"Font10", "Font16"};
  for (int i = 0; i < 2; ++i)
    if (GameFonts[i].m_lpFastFont_FullAdd) WriteReportLog("%s : %d", names[i], GameFonts[i].AddedFullWidthCount());
}

void ReleaseGameFonts() {
  DDUnregisterFont(&g_DigitStripRestore);
  for (int i = 0; i < kGameFontCount; ++i) GameFonts[i].Release();
  for (DDSURFACEDATA& sd : DigitSurfaces) DDReleaseSurface(&sd);
}

void RestoreDigitSurfaces() {
  for (int i = 0; i < kGameFontCount; ++i) {
    DDSURFACEDATA& sd = DigitSurfaces[i];
    if (lpDTCon) {
      if (!sd.lpDT || !sd.bLost) continue;
    } else {
      if (!sd.lpDDS || !sd.lpDDS->lpSurface || sd.lpDDS->lpSurface->IsLost() != plat::DDERR_SURFACELOST) continue;
      sd.lpDDS->lpSurface->Restore();
      if (sd.dwMemoryType != 0) continue;  // system memory keeps its picture
    }
    DrawDigitStrip(&sd, &GameFonts[i]);
    sd.bLost = 0;
  }
}

void DrawFrameRateDisplay(int32_t nShowFps, uint32_t nFramesLastSecond, uint32_t nAverageWorkTime) {
  if (nShowFps == 0) return;
  const int fps = static_cast<int>(nFramesLastSecond), work = static_cast<int>(nAverageWorkTime);
  if (nShowFps == 2) {
    if (GameFonts[0].Created()) GameFonts[0].DrawTextF(DDBackBuffer(), 549, 469, "FPS%2d(%2d)", fps, work);
  } else if (GameFonts[1].Created()) {
    GameFonts[1].DrawTextBoxF(DDBackBuffer(), 495, 463, 0, 0, "FPS%2d(%2d)", fps, work);
  }
}
