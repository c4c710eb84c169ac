#include "gfx/palette_tools.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "gfx/fx_colour.h"
#include "gfx/fx_frame.h"
#include "platform/files.h"

uint8_t g_BlendTable[kBlendTableBytes];

bool DDLoadBlendTable(uint8_t* lpTable, const char* szPath) {
  if (lpDTCon) return true;
  FILE* f = plat::OpenFile(szPath ? szPath : "", "rb");
  if (!f) return false;
  // Read aside first: a short file must not leave half a table behind.
  std::vector<uint8_t> bytes(kBlendTableBytes);
  const size_t n = std::fread(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
  return DDBlendTableFromBytes(lpTable, bytes.data(), n);
}

bool DDBlendTableFromBytes(uint8_t* lpTable, const uint8_t* bytes, size_t size) {
  if (size < kBlendTableBytes) return false;
  std::memcpy(lpTable, bytes, kBlendTableBytes);
  return true;
}

void DDRotatePalette(PALETTEENTRY* lpDst, int nFirst, int nLast, int nPlaces, int nDirection,
                     const PALETTEENTRY* lpSrc) {
  if (DDState.nBpp != 8 && DDState.nBpp != 16 && DDState.nBpp != 32) return;
  PALETTEENTRY source[256];
  std::memcpy(source, lpSrc, sizeof source);  // the source may be the destination
  std::memcpy(lpDst, source, sizeof source);
  if (nFirst < 0 || nLast > 255 || nFirst > nLast) return;
  const int span = nLast - nFirst + 1;
  const int n = ((nPlaces % span) + span) % span;
  if (nDirection != 0 && nDirection != 1) return;
  for (int i = 0; i < span; ++i) {
    // Direction 1: entry first + i takes the one n places further on.
    int from = nDirection == 1 ? (i + n) % span : (i - n + span) % span;
    lpDst[nFirst + i] = source[nFirst + from];
  }
}

void DDBlendPalette(PALETTEENTRY* lpDst, int nFirst, int nLast, int nWeight, uint8_t bRed, uint8_t bGreen,
                    uint8_t bBlue, const PALETTEENTRY* lpSrc) {
  if (!lpDst || !lpSrc) return;
  nFirst = std::max(nFirst, 0);
  nLast = std::min(nLast, 255);
  const int w = std::clamp(nWeight, 0, 256);
  auto mix = [w](int source, int colour) { return static_cast<uint8_t>((source * w + colour * (256 - w)) >> 8); };
  for (int i = nFirst; i <= nLast; ++i) {
    const PALETTEENTRY s = lpSrc[i];
    lpDst[i] = PALETTEENTRY{mix(s.peRed, bRed), mix(s.peGreen, bGreen), mix(s.peBlue, bBlue), PC_RESERVED};
  }
}

namespace {

// The picture's share of a fade frame at `angle` degrees: 0..256 in
// DirectDraw, 0..255 in Direct3D.
int FadeWeight(double angle) {
  const double scale = lpDTCon ? 255.0 : 256.0;
  return static_cast<int>(std::sin(angle * 3.141592653589793 / 180.0) * scale);
}

// Direct3D: the whole back buffer shaded (the virtual one while that is on).
bool ShadeBackBuffer(int weight) {
  DDSURFACEDATA* target = DDBackBuffer();
  DDRedirectBackBuffer(&target);
  return DDShadeToBlack(target, weight);
}

}  // namespace

bool DDShadeToBlack(DDSURFACEDATA* lpDstSD, int nWeight) {
  if (!lpDstSD) return false;
  const uint32_t diffuse = static_cast<uint32_t>(255 - std::clamp(nWeight, 0, 255)) << 24;
  const float x1 = static_cast<float>(lpDstSD->nWidth) - 0.5f, y1 = static_cast<float>(lpDstSD->nHeight) - 0.5f;
  const plat::QuadVertex v[4] = {{-0.5f, -0.5f, 0.0f, 1.0f, diffuse, 0.0f, 0.0f},
                                 {-0.5f, y1, 0.0f, 1.0f, diffuse, 0.0f, 0.0f},
                                 {x1, -0.5f, 0.0f, 1.0f, diffuse, 0.0f, 0.0f},
                                 {x1, y1, 0.0f, 1.0f, diffuse, 0.0f, 0.0f}};
  fx::QuadStage stage;
  stage.colorOp = stage.alphaOp = plat::D3DTOP_SELECTARG2;
  return fx::DrawQuad(lpDstSD, nullptr, v, stage);
}

namespace {

// One frame of either fade. `angle` runs from `start` toward `end`.
bool FadeStep(double& angle, double start, double end, PALETTEENTRY* lpDst, int nFirst, int nLast, uint8_t bRed,
              uint8_t bGreen, uint8_t bBlue, double dStep, const PALETTEENTRY* lpSrc, uint8_t bFinishNow) {
  // A damaged angle (never expected) starts the fade afresh rather than
  // turning into an undefined weight.
  if (!(angle >= 0.0 && angle <= 90.0)) angle = start;
  if (!lpDTCon && DDState.nBpp != 8 && angle == start)
    DDBlt(DDScreenCopy(), 0, 0, DDState.nDispWidth, DDState.nDispHeight, DDBackBuffer(), 0, 0, 0);
  if (bFinishNow) angle = end;
  const int weight = FadeWeight(angle);
  if (lpDTCon) {
    if (!ShadeBackBuffer(weight)) return false;
  } else if (DDState.nBpp == 8) {
    DDBlendPalette(lpDst, nFirst, nLast, weight, bRed, bGreen, bBlue, lpSrc);
    const int first = std::max(nFirst, 0), last = std::min(nLast, 255);
    if (lpDst && first <= last && DDState.lpDDPalette)
      DDState.lpDDPalette->SetEntries(first, last - first + 1, lpDst + first);
  } else {
    DDFade_UnPal(DDBackBuffer(), weight, bRed, bGreen, bBlue, DDScreenCopy());
  }
  if (angle != end) {
    // A step that is not a positive number would never reach the end.
    const double step = dStep > 0.0 ? dStep : 90.0;
    angle = end < start ? std::max(angle - step, end) : std::min(angle + step, end);
    return false;
  }
  angle = start;
  return true;
}

}  // namespace

bool DDFadePaletteOut(PALETTEENTRY* lpDst, int nFirst, int nLast, uint8_t bRed, uint8_t bGreen, uint8_t bBlue,
                      double dStep, const PALETTEENTRY* lpSrc, uint8_t bFinishNow) {
  double& angle = lpDTCon ? DDState.dFadeOutAngleD3D : DDState.dFadeOutAngleDD;
  return FadeStep(angle, 90.0, 0.0, lpDst, nFirst, nLast, bRed, bGreen, bBlue, dStep, lpSrc, bFinishNow);
}

bool DDFadePaletteIn(PALETTEENTRY* lpDst, int nFirst, int nLast, uint8_t bRed, uint8_t bGreen, uint8_t bBlue,
                     double dStep, const PALETTEENTRY* lpSrc, uint8_t bFinishNow) {
  double& angle = lpDTCon ? DDState.dFadeInAngleD3D : DDState.dFadeInAngleDD;
  return FadeStep(angle, 0.0, 90.0, lpDst, nFirst, nLast, bRed, bGreen, bBlue, dStep, lpSrc, bFinishNow);
}
