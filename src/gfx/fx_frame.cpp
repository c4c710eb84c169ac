// The shared frame of the pixel effect blits: locks, formats and the quad.
#include "gfx/fx_frame.h"

#include <cstring>

namespace fx {

namespace {

DDSURFACEDATA* Resolved(DDSURFACEDATA* sd) {
  DDSubstituteMirror(&sd);
  DDRedirectBackBuffer(&sd);
  return sd;
}

Plane PlaneOf(const cSurfaceLock& lock) {
  Plane p;
  p.bits = lock.Bits();
  p.pitch = lock.Pitch();
  p.width = lock.Width();
  p.height = lock.Height();
  return p;
}

}  // namespace

int EffectDepthCode() {
  switch (DDState.nBpp) {
    case 8: return lpDTCon ? 0 : 8;  // the device has no 8-bit loops
    case 16: return DDState.TexFormat[PF_GMAX] == 63 ? 16 : 15;
    case 32: return 32;
    default: return 0;
  }
}

cEffectLocks::cEffectLocks(DDSURFACEDATA* dst, DDSURFACEDATA* src, KeyRule rule) {
  if (!dst || !src) return;
  dst_.emplace(dst);
  if (!dst_->Locked()) {
    Unlock();
    return;
  }
  // One surface on both sides is locked once: a second lock would fail.
  const bool same = Resolved(dst) == Resolved(src);
  if (!same) {
    src_.emplace(src, true);  // effects only read their source
    if (!src_->Locked()) {
      Unlock();
      return;
    }
  }
  EffectFrame& f = frame;
  f.dst = PlaneOf(*dst_);
  f.src = same ? f.dst : PlaneOf(*src_);
  f.sameSurface = same;
  f.bits = DDState.nBpp;
  f.direct3d = lpDTCon != nullptr;
  f.flipBack = f.direct3d && f.bits == 16 && DDIsFlipBackBuffer(dst_->Surface());
  const uint32_t all = f.bits == 8 ? 0xFFu : f.bits == 16 ? 0xFFFFu : 0xFFFFFFFFu;
  if (!f.direct3d) {
    f.keyMask = all;
    f.keyValue = DDState.dwColorKey & all;
    f.computedAlpha = 0;
  } else if (rule == KeyRule::ColourKey) {
    f.keyMask = all;
    f.keyValue = 0;
  } else {
    f.keyMask = f.bits == 16 ? 0xA000u : 0xFF000000u;
    f.keyValue = 0;
  }
  if (f.direct3d) f.computedAlpha = f.bits == 16 ? (f.flipBack ? 0u : 0x8000u) : 0xFF000000u;
  locked_ = true;
}

void cEffectLocks::Unlock() {
  locked_ = false;
  if (src_) src_.reset();
  if (dst_) dst_.reset();
}

void ResolveDeviceSurfaces(DDSURFACEDATA** dst, DDSURFACEDATA** src) {
  if (dst && *dst) *dst = Resolved(*dst);
  if (src && *src) *src = Resolved(*src);
}

bool UseQuadPath(DDSURFACEDATA* dst, DDSURFACEDATA* src) {
  if (!lpDTCon || !dst || !dst->lpDT || !dst->lpDT->lpSurface || !dst->lpDT->bRenderTarget) return false;
  if (!src) return true;
  return src->lpDT && src->lpDT->dwMemoryType != DTMEMORYTYPE_SYSTEM;
}

bool DrawQuad(DDSURFACEDATA* dst, DDSURFACEDATA* src, const plat::QuadVertex (&v)[4], const QuadStage& stage) {
  if (!lpDTCon || !DDState.lpDevice || !dst || !dst->lpDT) return false;
  DTDATA* owner = src && src->lpDT && src->lpDT->lpVB ? src->lpDT : dst->lpDT;
  plat::DeviceBuffer* vb = owner->lpVB;
  uint8_t* bytes = nullptr;
  if (!vb || vb->Size() < sizeof v || vb->Lock(bytes) != plat::D3D_OK) return false;
  std::memcpy(bytes, v, sizeof v);
  vb->Unlock();
  if (!DDBeginScene() || !DDSetRenderTarget(0, dst)) return false;
  plat::Device& dev = *DDState.lpDevice;
  if (stage.setFactor) dev.SetTextureFactor(stage.factor);
  dev.SetColorStage(stage.colorOp, stage.colorArg1, stage.colorArg2);
  dev.SetAlphaStage(stage.alphaOp, stage.alphaArg1, stage.alphaArg2);
  dev.SetTexture(src && src->lpDT ? src->lpDT->lpTexture : nullptr);
  dev.SetStreamSource(vb);
  dev.DrawPrimitiveStrip(0, 2);
  DDSetRenderTarget(0, lpDTCon->lpCurrentRT);
  return true;
}

}  // namespace fx
