// Blits and fills of both back ends, the stretch blit they end in, the scene
// and render-target helpers and the fill batch.
#include <cmath>
#include <cstring>

#include "base/logs.h"
#include "gfx/dd.h"
#include "gfx/fx_geom.h"
#include "platform/text.h"

namespace {

struct DDFILLCMD {
  DDSURFACEDATA* lpSD;
  int32_t x, y, w, h;
  uint32_t dwColor;
};

struct FillBatch {
  bool open = false;
  std::vector<DDFILLCMD> cmds;
} g_fillBatch;

int Trunc(double v) { return static_cast<int>(v); }

void Quad(plat::QuadVertex* v, int dx, int dy, int dw, int dh, uint32_t diffuse, float u0, float v0, float u1,
          float v1) {
  const float x0 = static_cast<float>(dx) - 0.5f, y0 = static_cast<float>(dy) - 0.5f;
  const float x1 = static_cast<float>(dx + dw) - 0.5f, y1 = static_cast<float>(dy + dh) - 0.5f;
  v[0] = {x0, y0, 0.0f, 1.0f, diffuse, u0, v0};
  v[1] = {x0, y1, 0.0f, 1.0f, diffuse, u0, v1};
  v[2] = {x1, y0, 0.0f, 1.0f, diffuse, u1, v0};
  v[3] = {x1, y1, 0.0f, 1.0f, diffuse, u1, v1};
}

bool WriteVertices(plat::DeviceBuffer* vb, const plat::QuadVertex* v, size_t count) {
  uint8_t* bytes = nullptr;
  if (!vb || vb->Lock(bytes) != plat::D3D_OK || vb->Size() < count * sizeof(plat::QuadVertex)) return false;
  std::memcpy(bytes, v, count * sizeof(plat::QuadVertex));
  vb->Unlock();
  return true;
}

bool HasDrawSurface(DDSURFACEDATA* sd) {
  if (!sd) return false;
  if (lpDTCon) return sd->lpDT && sd->lpDT->lpSurface;
  return sd->lpDDS && sd->lpDDS->lpSurface;
}

}  // namespace

uint32_t DDKeyClearValue(DDSURFACEDATA* dst) {
  const DTCONTEXT& con = *lpDTCon;
  if (dst == DDBackBuffer()) {
    if (DDState.nBpp == 16) {
      // The key's channels are held at the texture's 5-bit precision; the
      // back buffer's green may have six bits.
      const uint32_t* t = DDState.TexFormat;
      const uint32_t* b = DDState.BackFormat;
      const uint32_t r = con.rgbTransmit.rgbtRed & t[PF_RMAX], g = con.rgbTransmit.rgbtGreen & t[PF_GMAX],
                     bl = con.rgbTransmit.rgbtBlue & t[PF_BMAX];
      const uint32_t g6 = b[PF_GMAX] == 63 ? g << 1 : g;
      return (r << b[PF_RSHIFT]) | (g6 << b[PF_GSHIFT]) | (bl << b[PF_BSHIFT]) | ((b[PF_AMAX] & 1) << b[PF_ASHIFT]);
    }
    return con.dwTransmitARGB;
  }
  return DDState.nBpp == 16 ? con.wTransmit_16 : con.dwPalZeroColor;
}

// ---- palette numbers ----

uint32_t PalNumToRGB(uint32_t dwPalNum) {
  if (dwPalNum >= 256) {
    WriteECLog("PalNumToRGB(DWORD dwPalNum) Err dwPalNum = %d", static_cast<int>(dwPalNum));
    return 0;
  }
  const PALETTEENTRY& e = DDState.DDPalette[dwPalNum];
  const uint32_t r = e.peRed, g = e.peGreen, b = e.peBlue;
  if (lpDTCon) {
    switch (DDState.nBpp) {
      case 8: return dwPalNum;
      case 16:
      case 32: return dwPalNum == 0 ? lpDTCon->dwPalZeroColor : 0xFF000000u | (r << 16) | (g << 8) | b;
      case 24: return (b << 16) | (g << 8) | r;
      default: return 0;
    }
  }
  switch (DDState.nBpp) {
    case 8: return dwPalNum;
    case 16: return DDPalToRGB16(&e) & 0xFFFF;
    case 24:
    case 32: return (r << 16) | (g << 8) | b;
    default: return 0;
  }
}

// ---- scene and render target ----

int DDBeginScene() {
  if (!lpDTCon || !DDState.lpDevice) return 0;
  if (lpDTCon->bSceneOpen) return 1;
  const uint32_t hr = DDState.lpDevice->BeginScene();
  if (hr != plat::D3D_OK) {
    WriteReportLog("BeginScene Err %x", hr);
    return 0;
  }
  lpDTCon->bSceneOpen = 1;
  return 1;
}

void DDEndScene() {
  if (!lpDTCon || !lpDTCon->bSceneOpen || !DDState.lpDevice) return;
  DDState.lpDevice->EndScene();
  lpDTCon->bSceneOpen = 0;
}

int DDSetRenderTarget(uint32_t, DDSURFACEDATA* lpSD) {
  if (!lpDTCon || !lpSD || !lpSD->lpDT || !lpSD->lpDT->bRenderTarget || !lpSD->lpDT->lpSurface) return 0;
  const uint32_t hr = DDState.lpDevice->SetRenderTarget(lpSD->lpDT->lpSurface);
  if (hr != plat::D3D_OK) {
    WriteReportAndECLog("SetRenderTarget Err %x (%s)", hr, lpSD->szFileName);
    return 0;
  }
  return 1;
}

// ---- clipping ----

void DDMirrorSourceRect(DDSURFACEDATA* lpSD, int* x, int* y, int* w, int* h) {
  if (!lpDTCon || !lpSD || !lpSD->lpShareSD) return;
  const int cw = lpSD->nMirrorCellW, ch = lpSD->nMirrorCellH;
  if (cw != 0) {
    if (*w == cw) {
      *x += *w;
      *w = -*w;
    } else if (*w < cw) {
      *x = *x - 2 * (*x % cw) + cw;
      *w = -*w;
    }
  }
  if (ch != 0) {
    if (*h == ch) {
      *y += *h;
      *h = -*h;
    } else if (*h < ch) {
      *y = *y - 2 * (*y % ch) + ch;
      *h = -*h;
    }
  }
}

int DDClipBlt(DDSURFACEDATA* lpDst, int* x, int* y, int* w, int* h, DDSURFACEDATA* lpSrc, int* sx, int* sy, int* sw,
              int* sh) {
  if (!lpDst || !lpSrc) return 0;
  int dw = *w, dh = *h, sW = *sw, sH = *sh;
  if (dw < 1 || dh < 1 || sW == 0 || sH == 0) return 0;
  // Positions and sizes this far out come only from damaged data; refusing
  // them keeps every sum below in range (surfaces are at most 16,384 wide).
  constexpr int kFar = 1 << 24;
  for (int v : {*x, *y, dw, dh, *sx, *sy, sW, sH})
    if (v > kFar || v < -kFar) return 0;
  const int dstW = lpDst->nWidth, dstH = lpDst->nHeight, srcW = lpSrc->nWidth, srcH = lpSrc->nHeight;
  const bool d3d = lpDTCon != nullptr;
  const int givenSw = sW, givenSh = sH;
  if (sW == dw && sH == dh) {
    int sx2 = *sx + sW, sy2 = *sy + sH;
    *sx = std::max(*sx, 0);
    *sy = std::max(*sy, 0);
    sx2 = std::min(sx2, srcW);
    sy2 = std::min(sy2, srcH);
    if (*x >= 0) {
      if (*x + (sx2 - *sx) > dstW) sx2 = dstW - *x + *sx;
    } else {
      *sx -= *x;
      *x = 0;
    }
    if (*y >= 0) {
      if (*y + (sy2 - *sy) > dstH) sy2 = dstH - *y + *sy;
    } else {
      *sy -= *y;
      *y = 0;
    }
    sW = dw = sx2 - *sx;
    sH = dh = sy2 - *sy;
  } else {
    const double rx = static_cast<double>(sW) / dw, ry = static_cast<double>(sH) / dh;
    if (rx == 0 || ry == 0) return 0;
    int sx2 = *sx + sW, sy2 = *sy + sH;
    const bool swapX = d3d && sW < 0, swapY = d3d && sH < 0;
    if (swapX) std::swap(*sx, sx2);
    if (swapY) std::swap(*sy, sy2);
    *sx = std::max(*sx, 0);
    *sy = std::max(*sy, 0);
    sx2 = std::min(sx2, srcW);
    sy2 = std::min(sy2, srcH);
    const double fx = static_cast<double>(sx2 - *sx) / (swapX ? -sW : sW);
    const double fy = static_cast<double>(sy2 - *sy) / (swapY ? -sH : sH);
    if (swapX) std::swap(*sx, sx2);
    if (swapY) std::swap(*sy, sy2);
    sW = sx2 - *sx;
    sH = sy2 - *sy;
    dw = Trunc(dw * fx);
    dh = Trunc(dh * fy);
    if (!d3d) {
      if (*x < 0) {
        if (*x + dw < 0 || dw == 0) return 0;
        const int nsx = Trunc(-static_cast<double>(*x) / dw * sW + *sx);
        sW -= nsx - *sx;
        *sx = nsx;
        dw += *x;
        *x = 0;
      }
      if (*x + dw > dstW) {
        if (*x >= dstW || dw == 0) return 0;
        sW = Trunc(static_cast<double>(dstW - *x) / dw * sW);
        dw = dstW - *x;
      }
      if (*y < 0) {
        if (*y + dh < 0 || dh == 0) return 0;
        const int nsy = Trunc(-static_cast<double>(*y) / dh * sH + *sy);
        sH -= nsy - *sy;
        *sy = nsy;
        dh += *y;
        *y = 0;
      }
      if (*y + dh > dstH) {
        if (*y >= dstH || dh == 0) return 0;
        sH = Trunc(static_cast<double>(dstH - *y) / dh * sH);
        dh = dstH - *y;
      }
    }
  }
  *w = dw;
  *h = dh;
  *sw = sW;
  *sh = sH;
  const bool signKept = (sW > 0) == (givenSw > 0) && (sH > 0) == (givenSh > 0);
  return (signKept && sW != 0 && sH != 0 && dw >= 1 && dh >= 1) ? 1 : 0;
}

// ---- blits ----

int DDBlt(DDSURFACEDATA* lpDst, int x, int y, int w, int h, DDSURFACEDATA* lpSrc, int sx, int sy, uint32_t flags) {
  if (lpDTCon) return DDBltStretch(lpDst, x, y, w, h, lpSrc, sx, sy, w, h, flags);
  // A surface that failed to load has no picture: nothing is drawn.
  if (!HasDrawSurface(lpDst) || !HasDrawSurface(lpSrc)) return 0;
  int sw = w, sh = h;
  if (!DDClipBlt(lpDst, &x, &y, &w, &h, lpSrc, &sx, &sy, &sw, &sh)) return 0;
  const plat::Rect r{sx, sy, sx + sw, sy + sh};
  return static_cast<int>(lpDst->lpDDS->lpSurface->BltFast(
      x, y, lpSrc->lpDDS->lpSurface, r, (flags == 1 ? plat::DDBLTFAST_SRCCOLORKEY : 0) | plat::DDBLTFAST_WAIT));
}

int DDBltEx(DDSURFACEDATA* lpDst, int x, int y, int w, int h, DDSURFACEDATA* lpSrc, int sx, int sy, uint32_t flags,
            const DDDRAWSTATE* lpState) {
  return DDBltStretchEx(lpDst, x, y, w, h, lpSrc, sx, sy, w, h, flags, lpState);
}

int DDBltStretchEx(DDSURFACEDATA* lpDst, int dx, int dy, int dw, int dh, DDSURFACEDATA* lpSrc, int sx, int sy,
                   int sw, int sh, uint32_t flags, const DDDRAWSTATE* lpState) {
  if (!lpDTCon || !lpState) {
    if (!lpDTCon && dw == sw && dh == sh) return DDBlt(lpDst, dx, dy, dw, dh, lpSrc, sx, sy, flags);
    return DDBltStretch(lpDst, dx, dy, dw, dh, lpSrc, sx, sy, sw, sh, flags);
  }
  DDSetDrawColor(lpState->dwColor);
  DDSetColorOp(lpState->dwColorOp);
  const int r = DDBltStretch(lpDst, dx, dy, dw, dh, lpSrc, sx, sy, sw, sh, flags);
  DDResetDrawColor();
  DDResetColorOp();
  return r;
}

int DDBltStretch(DDSURFACEDATA* lpDst, int dx, int dy, int dw, int dh, DDSURFACEDATA* lpSrc, int sx, int sy, int sw,
                 int sh, uint32_t flags) {
  DDMirrorSourceRect(lpSrc, &sx, &sy, &sw, &sh);
  if (!lpDTCon) {
    if (!HasDrawSurface(lpDst) || !HasDrawSurface(lpSrc)) return 0;
    if (!DDClipBlt(lpDst, &dx, &dy, &dw, &dh, lpSrc, &sx, &sy, &sw, &sh)) return 0;
    const plat::Rect d{dx, dy, dx + dw, dy + dh}, s{sx, sy, sx + sw, sy + sh};
    return static_cast<int>(lpDst->lpDDS->lpSurface->Blt(&d, lpSrc->lpDDS->lpSurface, &s,
                                                          plat::DDBLT_WAIT | (flags == 1 ? plat::DDBLT_KEYSRC : 0)));
  }
  if (!lpDst || !lpSrc) return 0;
  DDSubstituteMirror(&lpDst);
  DDSubstituteMirror(&lpSrc);
  if (lpDTCon->bCopyVirtualBackBuffer) {
    lpDst = DDBackBuffer();
    lpSrc = DDVirBackBuffer();
  } else {
    DDRedirectBackBuffer(&lpDst);
    DDRedirectBackBuffer(&lpSrc);
  }
  if (!HasDrawSurface(lpDst) || !HasDrawSurface(lpSrc)) return 0;
  DTDATA* ddt = lpDst->lpDT;
  DTDATA* sdt = lpSrc->lpDT;
  if (ddt->bRenderTarget && sdt->dwMemoryType != DTMEMORYTYPE_SYSTEM) {
    if (!sdt->lpTexture) return 0;  // the back buffer is no texture
    if (!DDClipBlt(lpDst, &dx, &dy, &dw, &dh, lpSrc, &sx, &sy, &sw, &sh)) return 0;
    if (DDBatchQueue(lpDst, dx, dy, dw, dh, lpSrc, sx, sy, sw, sh, flags)) return 0;
    plat::QuadVertex v[4];
    const float tw = static_cast<float>(lpSrc->nTexWidth), th = static_cast<float>(lpSrc->nTexHeight);
    Quad(v, dx, dy, dw, dh, lpDTCon->dwDrawColor, static_cast<float>(sx) / tw, static_cast<float>(sy) / th,
         static_cast<float>(sx + sw) / tw, static_cast<float>(sy + sh) / th);
    if (!WriteVertices(sdt->lpVB, v, 4)) return 0;
    if (!DDBeginScene() || !DDSetRenderTarget(0, lpDst)) return 0;
    plat::Device& dev = *DDState.lpDevice;
    dev.SetColorStage(lpDTCon->dwColorOp, plat::D3DTA_TEXTURE, plat::D3DTA_DIFFUSE);
    dev.SetAlphaStage(lpDTCon->dwAlphaOp, plat::D3DTA_TEXTURE, plat::D3DTA_DIFFUSE);
    dev.SetTexture(sdt->lpTexture);
    dev.SetStreamSource(sdt->lpVB);
    // Unkeyed, a keyed picture's transparent texels leave the key colour.
    if (flags == 0 && sdt->bColorKey)
      dev.DrawPrimitiveStripOverFill(0, 2, plat::Rect{dx, dy, dx + dw, dy + dh}, DDKeyClearValue(lpDst));
    else
      dev.DrawPrimitiveStrip(0, 2);
    DDSetRenderTarget(0, lpDTCon->lpCurrentRT);
    return 0;
  }
  fx::ProcessorStretch(lpDst, dx, dy, dw, dh, lpSrc, sx, sy, sw, sh, flags);
  return 0;
}

bool DDIsFlipBackBuffer(DDSURFACEDATA* lpSD) { return lpSD == DDBackBuffer() && !DDState.bWindowed; }

// ---- Direct3D fills ----

namespace {

// The fill colour a 16-bit render target is given, so that the device writes
// each channel as c × max / 255, as every other road writes a colour into 16
// bits (pictures, fills of textures, the DirectDraw display): the device
// narrows to the nearest step, and a colour already on a step stays on it.
uint32_t FillColourForTarget(const DTDATA* dt, uint32_t argb) {
  const plat::PixelFormat& f = dt->lpSurface->Image().Format();
  if (f.bitsPerPixel != 16) return argb;
  auto onStep = [argb](uint32_t mask, int place) -> uint32_t {
    const uint32_t max = plat::MaskMax(mask);
    if (max == 0) return 0;
    const uint32_t step = ((argb >> place) & 0xFF) * max / 255;
    return (step * 255 / max) << place;
  };
  return (argb & 0xFF000000u) | onStep(f.redMask, 16) | onStep(f.greenMask, 8) | onStep(f.blueMask, 0);
}

}  // namespace

void DDFillRectDevice(DDSURFACEDATA* lpSD, int x, int y, int w, int h, uint32_t dwColor) {
  DDSubstituteMirror(&lpSD);
  DDRedirectBackBuffer(&lpSD);
  if (!HasDrawSurface(lpSD)) return;
  DTDATA* dt = lpSD->lpDT;
  if (!dt->bRenderTarget) {
    cSurfaceLock lock(lpSD);
    if (!lock.Locked()) return;
    const uint32_t* f = DDState.TexFormat;
    uint32_t value = dwColor;
    if (lock.m_nBitsPerPixel == 16) {
      const uint32_t a = dwColor >> 24, r = (dwColor >> 16) & 0xFF, g = (dwColor >> 8) & 0xFF, b = dwColor & 0xFF;
      value = ((a * f[PF_AMAX] / 255) << f[PF_ASHIFT]) | ((r * f[PF_RMAX] / 255) << f[PF_RSHIFT]) |
              ((g * f[PF_GMAX] / 255) << f[PF_GSHIFT]) | ((b * f[PF_BMAX] / 255) << f[PF_BSHIFT]);
    }
    const int bpp = lock.m_nBytesPerPixel;
    const int x0 = std::max(x, 0), x1 = std::min(x + w, lock.Width());
    if (plat::DrawFastPaths() && (bpp == 2 || bpp == 4)) {
      for (int ty = std::max(y, 0); ty < std::min(y + h, lock.Height()); ++ty) {
        uint8_t* row = lock.Bits() + static_cast<size_t>(ty) * lock.Pitch();
        if (bpp == 2) {
          const uint16_t v = static_cast<uint16_t>(value);
          for (int tx = x0; tx < x1; ++tx) std::memcpy(row + static_cast<size_t>(tx) * 2, &v, 2);
        } else {
          for (int tx = x0; tx < x1; ++tx) std::memcpy(row + static_cast<size_t>(tx) * 4, &value, 4);
        }
      }
      return;
    }
    for (int ty = std::max(y, 0); ty < std::min(y + h, lock.Height()); ++ty)
      for (int tx = x0; tx < x1; ++tx)
        std::memcpy(lock.Bits() + static_cast<size_t>(ty) * lock.Pitch() + static_cast<size_t>(tx) * bpp, &value, bpp);
    return;
  }
  const int x0 = std::max(x, 0), y0 = std::max(y, 0);
  const int x1 = std::min(x + w, lpSD->nWidth), y1 = std::min(y + h, lpSD->nHeight);
  if (x0 >= x1 || y0 >= y1) return;
  plat::Device& dev = *DDState.lpDevice;
  const uint32_t key = lpSD == DDBackBuffer() ? lpDTCon->dwTransmitARGB : lpDTCon->dwPalZeroColor;
  if (dt->bColorKey && (DDState.nBpp == 16 || DDState.nBpp == 32) && dwColor == key) {
    if (!DDBeginScene() || !DDSetRenderTarget(0, lpSD)) return;
    const plat::Rect r{x0, y0, x1, y1};
    dev.Clear(&r, 1, dwColor);
    DDSetRenderTarget(0, lpDTCon->lpCurrentRT);
    return;
  }
  dwColor = FillColourForTarget(dt, dwColor);
  if (g_fillBatch.open) {
    g_fillBatch.cmds.push_back(DDFILLCMD{lpSD, x0, y0, x1 - x0, y1 - y0, dwColor});
    return;
  }
  plat::QuadVertex v[4];
  Quad(v, x0, y0, x1 - x0, y1 - y0, dwColor, 0, 0, 0, 0);
  if (!WriteVertices(dt->lpVB, v, 4)) return;
  if (!DDBeginScene() || !DDSetRenderTarget(0, lpSD)) return;
  dev.SetTextureFactor(dwColor);
  dev.SetColorStage(plat::D3DTOP_SELECTARG2, plat::D3DTA_TEXTURE, plat::D3DTA_TFACTOR);
  dev.SetAlphaStage(plat::D3DTOP_SELECTARG2, plat::D3DTA_TEXTURE, plat::D3DTA_TFACTOR);
  dev.SetTexture(nullptr);
  dev.SetStreamSource(dt->lpVB);
  dev.DrawPrimitiveStrip(0, 2);
  DDSetRenderTarget(0, lpDTCon->lpCurrentRT);
}

void DDBeginFillBatch() {
  g_fillBatch.open = true;
  g_fillBatch.cmds.clear();
}

void DDEndFillBatch() {
  if (!lpDTCon || g_fillBatch.cmds.empty()) {
    g_fillBatch.open = false;
    g_fillBatch.cmds.clear();
    return;
  }
  // The fills are drawn after the flag is cleared so that nothing queues again.
  g_fillBatch.open = false;
  std::vector<DDFILLCMD> cmds;
  cmds.swap(g_fillBatch.cmds);
  plat::Device& dev = *DDState.lpDevice;
  size_t i = 0;
  while (i < cmds.size()) {
    size_t end = i + 1;
    while (end < cmds.size() && cmds[end].lpSD == cmds[i].lpSD) ++end;
    const size_t n = end - i;
    std::vector<plat::QuadVertex> vertices(n * 4);
    for (size_t k = 0; k < n; ++k) {
      const DDFILLCMD& c = cmds[i + k];
      Quad(&vertices[k * 4], c.x, c.y, c.w, c.h, c.dwColor, 0, 0, static_cast<float>(c.w), 0);
      vertices[k * 4 + 1].v = vertices[k * 4 + 3].v = static_cast<float>(c.h);
    }
    plat::DeviceBuffer* vb = nullptr;
    plat::DeviceBuffer* ib = nullptr;
    if (dev.CreateVertexBuffer(n * 112, &vb) != plat::D3D_OK) {
      WriteReportAndECLog("CreateVertexBuffer Err");
      i += 1;  // the walk goes on with the next entry
      continue;
    }
    bool drawn = WriteVertices(vb, vertices.data(), vertices.size()) && dev.CreateIndexBuffer(n * 8, &ib) == plat::D3D_OK;
    if (drawn) {
      uint8_t* bytes = nullptr;
      ib->Lock(bytes);
      for (size_t k = 0; k < n * 4; ++k) {
        const uint16_t index = static_cast<uint16_t>(k);
        std::memcpy(bytes + k * 2, &index, 2);
      }
      ib->Unlock();
      drawn = DDBeginScene() && DDSetRenderTarget(0, cmds[i].lpSD);
    }
    if (drawn) {
      dev.SetColorStage(plat::D3DTOP_SELECTARG2, plat::D3DTA_TEXTURE, plat::D3DTA_DIFFUSE);
      dev.SetAlphaStage(plat::D3DTOP_DISABLE, plat::D3DTA_TEXTURE, plat::D3DTA_DIFFUSE);
      dev.SetTexture(DDWorkSD()->lpDT ? DDWorkSD()->lpDT->lpTexture : nullptr);
      dev.SetStreamSource(vb);
      dev.SetIndices(ib);
      // Each quad is its own strip; one index buffer beyond 16384 quads
      // would wrap the 16-bit indices, so the base vertex moves instead.
      for (size_t k = 0; k < n; ++k) dev.DrawIndexedPrimitiveStrip(0, static_cast<int>(k * 4), 2);
    }
    if (ib) ib->Release();
    vb->Release();
    DDSetRenderTarget(0, lpDTCon->lpCurrentRT);
    i = end;
  }
}

// ---- pixels, circles, numbers, lock ----

void DDSetPixel(DDSURFACEDATA* lpSD, int x, int y, uint32_t dwPalNum) {
  if (!HasDrawSurface(lpSD) || x < 0 || y < 0 || x >= lpSD->nWidth || y >= lpSD->nHeight) return;
  if (lpDTCon) {
    DDFillRect(lpSD, x, y, 1, 1, dwPalNum);
    return;
  }
  const plat::Rect r{x, y, x + 1, y + 1};
  lpSD->lpDDS->lpSurface->Blt(&r, nullptr, nullptr, plat::DDBLT_COLORFILL | plat::DDBLT_WAIT, PalNumToRGB(dwPalNum));
}

void DDDrawCircle(DDSURFACEDATA* lpSD, int cx, int cy, int r, uint32_t dwPalNum) {
  if (r <= 0 || !lpSD) return;
  int x = 0, y = r, d = 3 - 2 * r;
  while (x <= y) {
    const int px[8] = {cx + x, cx - x, cx + x, cx - x, cx + y, cx - y, cx + y, cx - y};
    const int py[8] = {cy + y, cy + y, cy - y, cy - y, cy + x, cy + x, cy - x, cy - x};
    for (int i = 0; i < 8; ++i) DDSetPixel(lpSD, px[i], py[i], dwPalNum);
    if (d < 0) {
      d += 4 * x + 6;
    } else {
      d += 4 * (x - y) + 10;
      y -= 1;
    }
    x += 1;
  }
}

bool DDLock(DDSURFACEDATA* lpSD, int* lpPitch, uint8_t** lplpBits, int nBpp) {
  if (lpDTCon) {
    WriteECLog("%s", plat::Sjis("D3DではDDLockは未対応").c_str());
    return false;
  }
  if (!HasDrawSurface(lpSD)) return false;
  uint8_t* bits = nullptr;
  int pitch = 0;
  if (lpSD->lpDDS->lpSurface->Lock(bits, pitch) != plat::DD_OK) return false;
  if (nBpp == 8 || nBpp == 16 || nBpp == 24 || nBpp == 32) {
    if (lplpBits) *lplpBits = bits;
    if (lpPitch) *lpPitch = pitch;
  }
  return true;
}

void DDDrawNumber(DDSURFACEDATA* lpDst, int x, int y, int nDigitW, int nDigitH, DDSURFACEDATA* lpStrip, int sx,
                  int sy, uint32_t dwFlags, int nValue, int nFieldWidth, uint32_t bCentre) {
  if (nValue < 0) return;  // the strip has no minus sign
  int digits[12];
  int count = 0;
  int v = nValue;
  do {
    digits[count++] = v % 10;
    v /= 10;
  } while (v > 0);
  int offset = 0;
  if (count < nFieldWidth) {
    offset = (nFieldWidth - count) * nDigitW;
    if (bCentre) offset /= 2;
  }
  for (int i = 0; i < count; ++i) {
    const int digit = digits[count - 1 - i];
    DDBlt(lpDst, x + offset + i * nDigitW, y, nDigitW, nDigitH, lpStrip, sx + digit * nDigitW, sy, dwFlags);
  }
}
