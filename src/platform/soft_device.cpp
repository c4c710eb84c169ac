#include "platform/soft_device.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace plat {
namespace {

DeviceConfig g_config;

struct Argb {
  uint32_t a, r, g, b;
};

Argb Split(uint32_t v) { return {v >> 24, (v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF}; }
uint32_t Join(const Argb& c) { return (c.a << 24) | (c.r << 16) | (c.g << 8) | c.b; }

uint32_t Widen(uint32_t pixel, uint32_t mask) {
  const uint32_t max = MaskMax(mask);
  if (max == 0) return 0;
  return ((pixel & mask) >> MaskShift(mask)) * 255 / max;
}

uint32_t Narrow(uint32_t value, uint32_t mask) {
  const uint32_t max = MaskMax(mask);
  if (max == 0) return 0;
  return ((value * max + 127) / 255) << MaskShift(mask);
}

// A raw pixel of a device format as 8-bit ARGB (formats without alpha are opaque).
Argb ReadArgb(const PixelFormat& f, uint32_t pixel) {
  Argb c{255, Widen(pixel, f.redMask), Widen(pixel, f.greenMask), Widen(pixel, f.blueMask)};
  if (f.alphaMask == 0x8000) c.a = (pixel & 0x8000) ? 255 : 0;
  else if (f.alphaMask) c.a = Widen(pixel, f.alphaMask);
  return c;
}

uint32_t WriteArgb(const PixelFormat& f, const Argb& c) {
  uint32_t v = Narrow(c.r, f.redMask) | Narrow(c.g, f.greenMask) | Narrow(c.b, f.blueMask);
  if (f.alphaMask == 0x8000) v |= c.a >= 128 ? 0x8000u : 0u;
  else if (f.alphaMask) v |= Narrow(c.a, f.alphaMask);
  else if (f.bitsPerPixel == 32) v |= 0xFF000000u;  // X8R8G8B8 keeps its spare byte set
  return v;
}

uint32_t Mul(uint32_t a, uint32_t b) { return (a * b + 127) / 255; }

uint32_t Combine(uint32_t op, uint32_t a1, uint32_t a2, uint32_t diffuse, uint32_t factorAlpha) {
  switch (op) {
    case D3DTOP_DISABLE: return diffuse;
    case D3DTOP_SELECTARG1: return a1;
    case D3DTOP_SELECTARG2: return a2;
    case D3DTOP_MODULATE: return Mul(a1, a2);
    case D3DTOP_MODULATE2X: return std::min(255u, (a1 * a2 * 2 + 127) / 255);
    case D3DTOP_ADD: return std::min(255u, a1 + a2);
    case D3DTOP_SUBTRACT: return a1 > a2 ? a1 - a2 : 0;
    case D3DTOP_BLENDFACTORALPHA: return (a1 * factorAlpha + a2 * (255 - factorAlpha) + 127) / 255;
    default: return Mul(a1, a2);
  }
}

bool IsPowerOfTwo(int v) { return v > 0 && (v & (v - 1)) == 0; }

// Positive remainder.
int Wrap(int v, int n) {
  const int m = v % n;
  return m < 0 ? m + n : m;
}

}  // namespace

DeviceConfig& DeviceConfiguration() { return g_config; }

PixelFormat D3DFormatPixels(uint32_t format) {
  switch (format) {
    case D3DFMT_A8R8G8B8: return FormatA8R8G8B8();
    case D3DFMT_X8R8G8B8: return FormatX8R8G8B8();
    case D3DFMT_R5G6B5: return FormatR5G6B5();
    case D3DFMT_A1R5G5B5: return FormatA1R5G5B5();
    default: return PixelFormat{0, 0, 0, 0, 0};
  }
}

// ---- surfaces, textures, buffers ----

uint32_t DeviceSurface::LockRect(uint8_t*& bits, int& pitch) {
  bits = nullptr;
  pitch = 0;
  // Render targets in the default pool cannot be read by the processor; the
  // layer goes through a system-memory copy (the back buffer is lockable).
  if (!lockable_ || locked_) return D3DERR_INVALIDCALL;
  locked_ = true;
  bits = image_.Bits();
  pitch = image_.Pitch();
  return D3D_OK;
}

uint32_t DeviceSurface::UnlockRect() {
  if (!locked_) return D3DERR_INVALIDCALL;
  locked_ = false;
  return D3D_OK;
}

uint32_t DeviceSurface::Release() {
  if (texture_) return texture_->Release();
  if (refs_ == 0) return 0;
  const uint32_t left = --refs_;
  if (left == 0) {
    if (device_) {
      if (pool_ == D3DPOOL_DEFAULT && !backBuffer_) --device_->defaultObjects_;
      --device_->liveObjects_;
      if (device_->renderTarget_ == this) device_->renderTarget_ = nullptr;
      if (device_->backBuffer_ == this) device_->backBuffer_ = nullptr;
    }
    delete this;
  }
  return left;
}

uint32_t DeviceTexture::GetSurfaceLevel(int level, DeviceSurface** out) {
  if (level != 0 || !out) return D3DERR_INVALIDCALL;
  ++refs_;
  *out = &level_;
  return D3D_OK;
}

uint32_t DeviceTexture::Release() {
  const uint32_t left = --refs_;
  if (left == 0) {
    if (device_) {
      if (level_.pool_ == D3DPOOL_DEFAULT) {
        --device_->defaultObjects_;
        auto& list = device_->defaultTextures_;
        list.erase(std::remove(list.begin(), list.end(), this), list.end());
      }
      --device_->liveObjects_;
      if (device_->renderTarget_ == &level_) device_->renderTarget_ = device_->backBuffer_;
      if (device_->texture_ == this) device_->texture_ = nullptr;
    }
    delete this;
  }
  return left;
}

uint32_t DeviceBuffer::Lock(uint8_t*& bytes) {
  if (g_config.failVertexLock) {
    bytes = nullptr;
    return D3DERR_INVALIDCALL;
  }
  bytes = bytes_.data();
  return D3D_OK;
}

uint32_t DeviceBuffer::Unlock() { return D3D_OK; }

uint32_t DeviceBuffer::Release() {
  if (device_) {
    --device_->liveObjects_;
    if (device_->stream_ == this) device_->stream_ = nullptr;
    if (device_->indices_ == this) device_->indices_ = nullptr;
  }
  delete this;
  return 0;
}

// ---- the Direct3D object ----

Direct3D* Direct3D::Create() { return g_config.available ? new Direct3D() : nullptr; }

uint32_t Direct3D::GetDeviceCaps(DeviceCaps& caps) const {
  if (g_config.failCaps) return D3DERR_INVALIDCALL;
  caps = g_config.caps;
  return D3D_OK;
}

uint32_t Direct3D::CreateDevice(const PresentParameters& params, bool hardware, Device** out) {
  *out = nullptr;
  if (hardware ? g_config.failHardwareDevice : g_config.failSoftwareDevice) return D3DERR_NOTAVAILABLE;
  auto* device = new Device();
  device->caps_ = g_config.caps;
  device->params_ = params;
  if (!device->MakeBackBuffer()) {
    delete device;
    return D3DERR_INVALIDCALL;
  }
  *out = device;
  return D3D_OK;
}

uint32_t Direct3D::Release() {
  delete this;
  return 0;
}

// ---- the device ----

bool Device::MakeBackBuffer() {
  const int w = params_.backBufferWidth ? static_cast<int>(params_.backBufferWidth) : kScreenWidth;
  const int h = params_.backBufferHeight ? static_cast<int>(params_.backBufferHeight) : kScreenHeight;
  auto* surface = new DeviceSurface();
  if (!surface->image_.Allocate(w, h, D3DFormatPixels(params_.backBufferFormat))) {
    delete surface;
    return false;
  }
  surface->device_ = this;
  surface->format_ = params_.backBufferFormat;
  surface->pool_ = D3DPOOL_DEFAULT;
  surface->renderTarget_ = true;
  surface->backBuffer_ = true;
  ++liveObjects_;
  backBuffer_ = surface;
  renderTarget_ = surface;
  return true;
}

uint32_t Device::CreateTexture(int width, int height, uint32_t usage, uint32_t format, uint32_t pool,
                               DeviceTexture** out) {
  *out = nullptr;
  if (width <= 0 || height <= 0 || width > caps_.maxTextureWidth || height > caps_.maxTextureHeight)
    return D3DERR_INVALIDCALL;
  if ((caps_.textureCaps & D3DPTEXTURECAPS_POW2) && (!IsPowerOfTwo(width) || !IsPowerOfTwo(height)))
    return D3DERR_INVALIDCALL;
  if ((caps_.textureCaps & D3DPTEXTURECAPS_SQUAREONLY) && width != height) return D3DERR_INVALIDCALL;
  if ((usage & D3DUSAGE_RENDERTARGET) && pool != D3DPOOL_DEFAULT) return D3DERR_INVALIDCALL;
  if (pool == D3DPOOL_DEFAULT && g_config.outOfVideoMemory) return D3DERR_OUTOFVIDEOMEMORY;
  if (pool == D3DPOOL_MANAGED && g_config.failManagedTexture) return E_OUTOFMEMORY;
  if (pool == D3DPOOL_SYSTEMMEM && g_config.failSystemTexture) return E_OUTOFMEMORY;
  if (lost_ && pool == D3DPOOL_DEFAULT) return D3DERR_DEVICELOST;
  auto* texture = new DeviceTexture();
  if (!texture->level_.image_.Allocate(width, height, D3DFormatPixels(format))) {
    delete texture;
    return D3DERR_INVALIDCALL;
  }
  texture->device_ = this;
  texture->usage_ = usage;
  texture->level_.texture_ = texture;
  texture->level_.device_ = this;
  texture->level_.format_ = format;
  texture->level_.pool_ = pool;
  texture->level_.renderTarget_ = (usage & D3DUSAGE_RENDERTARGET) != 0;
  texture->level_.lockable_ = !texture->level_.renderTarget_;
  if (pool == D3DPOOL_DEFAULT) {
    ++defaultObjects_;
    defaultTextures_.push_back(texture);
  }
  ++liveObjects_;
  *out = texture;
  return D3D_OK;
}

uint32_t Device::CreateOffscreenPlainSurface(int width, int height, uint32_t format, uint32_t pool,
                                             DeviceSurface** out) {
  *out = nullptr;
  if (pool == D3DPOOL_SYSTEMMEM && g_config.failSystemTexture) return E_OUTOFMEMORY;
  auto* surface = new DeviceSurface();
  if (!surface->image_.Allocate(width, height, D3DFormatPixels(format))) {
    delete surface;
    return D3DERR_INVALIDCALL;
  }
  surface->device_ = this;
  surface->format_ = format;
  surface->pool_ = pool;
  if (pool == D3DPOOL_DEFAULT) ++defaultObjects_;
  ++liveObjects_;
  *out = surface;
  return D3D_OK;
}

uint32_t Device::CreateVertexBuffer(size_t bytes, DeviceBuffer** out) {
  *out = nullptr;
  if (g_config.failVertexBuffers > 0) {
    --g_config.failVertexBuffers;
    return E_OUTOFMEMORY;
  }
  auto* buffer = new DeviceBuffer();
  buffer->device_ = this;
  buffer->bytes_.assign(bytes, 0);
  ++liveObjects_;
  *out = buffer;
  return D3D_OK;
}

uint32_t Device::CreateIndexBuffer(size_t bytes, DeviceBuffer** out) {
  auto* buffer = new DeviceBuffer();
  buffer->device_ = this;
  buffer->bytes_.assign(bytes, 0);
  ++liveObjects_;
  *out = buffer;
  return D3D_OK;
}

uint32_t Device::GetBackBuffer(DeviceSurface** out) {
  *out = nullptr;
  if (!backBuffer_) return D3DERR_INVALIDCALL;
  backBuffer_->AddRef();
  *out = backBuffer_;
  return D3D_OK;
}

uint32_t Device::SetRenderTarget(DeviceSurface* surface) {
  if (!surface || !surface->renderTarget_) return D3DERR_INVALIDCALL;
  renderTarget_ = surface;
  return D3D_OK;
}

uint32_t Device::BeginScene() {
  if (inScene_ || g_config.failBeginScene) return D3DERR_INVALIDCALL;
  inScene_ = true;
  return D3D_OK;
}

uint32_t Device::EndScene() {
  if (!inScene_) return D3DERR_INVALIDCALL;
  inScene_ = false;
  return D3D_OK;
}

uint32_t Device::Clear(const Rect* rects, int count, uint32_t argb) {
  if (!renderTarget_) return D3DERR_INVALIDCALL;
  return ClearRaw(rects, count, WriteArgb(renderTarget_->image_.Format(), Split(argb)));
}

uint32_t Device::ClearRaw(const Rect* rects, int count, uint32_t raw) {
  if (!renderTarget_) return D3DERR_INVALIDCALL;
  PixelImage& image = renderTarget_->image_;
  if (!rects) {
    image.Fill(Rect{0, 0, image.Width(), image.Height()}, raw);
    return D3D_OK;
  }
  for (int i = 0; i < count; ++i) image.Fill(rects[i], raw);
  return D3D_OK;
}

void Device::SetRenderState(uint32_t state, uint32_t value) {
  if (state < 256) renderStates_[state] = value;
}

uint32_t Device::GetRenderState(uint32_t state) const { return state < 256 ? renderStates_[state] : 0; }

void Device::SetColorStage(uint32_t op, uint32_t arg1, uint32_t arg2) {
  colorOp_ = op;
  colorArg1_ = arg1;
  colorArg2_ = arg2;
}

void Device::SetAlphaStage(uint32_t op, uint32_t arg1, uint32_t arg2) {
  alphaOp_ = op;
  alphaArg1_ = arg1;
  alphaArg2_ = arg2;
}

void Device::ShadePixel(int x, int y, uint32_t diffuse, double u, double v) {
  PixelImage& target = renderTarget_->image_;
  Argb texel{255, 0, 0, 0};
  if (texture_) {
    const PixelImage& tex = texture_->level_.image_;
    // Point sampling: texel floor(u × width), wrapped. A coordinate within a
    // hair of a texel edge is snapped to it so that float vertex data give
    // the texel the exact arithmetic would.
    double tu = u * tex.Width(), tv = v * tex.Height();
    const double ru = std::nearbyint(tu), rv = std::nearbyint(tv);
    if (std::fabs(tu - ru) < 1e-4) tu = ru;
    if (std::fabs(tv - rv) < 1e-4) tv = rv;
    const int ix = Wrap(static_cast<int>(std::floor(tu)), tex.Width());
    const int iy = Wrap(static_cast<int>(std::floor(tv)), tex.Height());
    texel = ReadArgb(tex.Format(), tex.Get(ix, iy));
  }
  const Argb dif = Split(diffuse);
  const Argb tf = Split(textureFactor_);
  auto arg = [&](uint32_t which, int channel) -> uint32_t {
    const Argb& c = which == D3DTA_TEXTURE ? texel : which == D3DTA_TFACTOR ? tf : dif;
    switch (channel) {
      case 0: return c.a;
      case 1: return c.r;
      case 2: return c.g;
      default: return c.b;
    }
  };
  Argb out;
  out.r = Combine(colorOp_, arg(colorArg1_, 1), arg(colorArg2_, 1), dif.r, tf.a);
  out.g = Combine(colorOp_, arg(colorArg1_, 2), arg(colorArg2_, 2), dif.g, tf.a);
  out.b = Combine(colorOp_, arg(colorArg1_, 3), arg(colorArg2_, 3), dif.b, tf.a);
  out.a = Combine(alphaOp_, arg(alphaArg1_, 0), arg(alphaArg2_, 0), dif.a, tf.a);

  const PixelFormat& f = target.Format();
  if (renderStates_[D3DRS_ALPHABLENDENABLE]) {
    const uint32_t src = renderStates_[D3DRS_SRCBLEND], dst = renderStates_[D3DRS_DESTBLEND];
    if (src == D3DBLEND_SRCALPHA && dst == D3DBLEND_INVSRCALPHA) {
      if (out.a == 0) return;  // nothing of the source shows
      if (out.a < 255) {
        const Argb d = ReadArgb(f, target.Get(x, y));
        const uint32_t sa = out.a;
        auto mix = [sa](uint32_t s, uint32_t dv) { return (s * sa + dv * (255 - sa) + 127) / 255; };
        out = Argb{mix(out.a, d.a), mix(out.r, d.r), mix(out.g, d.g), mix(out.b, d.b)};
      }
    } else if (src == D3DBLEND_ZERO && dst == D3DBLEND_ONE) {
      return;
    }
  }
  target.Set(x, y, WriteArgb(f, out));
}

void Device::DrawTriangle(const QuadVertex& a0, const QuadVertex& b0, const QuadVertex& c0) {
  const QuadVertex* v[3] = {&a0, &b0, &c0};
  auto edge = [](const QuadVertex& p, const QuadVertex& q, double x, double y) {
    return (static_cast<double>(q.x) - p.x) * (y - p.y) - (static_cast<double>(q.y) - p.y) * (x - p.x);
  };
  double area = edge(*v[0], *v[1], v[2]->x, v[2]->y);
  if (area == 0) return;
  if (area < 0) {
    std::swap(v[1], v[2]);
    area = -area;
  }
  // Top-left rule with y pointing down: an edge whose interior lies on its
  // positive side is a left edge when it runs upwards, a top edge when it
  // is horizontal and runs to the right.
  auto topLeft = [](const QuadVertex& p, const QuadVertex& q) {
    const double dy = static_cast<double>(q.y) - p.y, dx = static_cast<double>(q.x) - p.x;
    return dy < 0 || (dy == 0 && dx > 0);
  };
  const bool tl0 = topLeft(*v[1], *v[2]), tl1 = topLeft(*v[2], *v[0]), tl2 = topLeft(*v[0], *v[1]);
  const PixelImage& target = renderTarget_->image_;
  const double minX = std::min({v[0]->x, v[1]->x, v[2]->x}), maxX = std::max({v[0]->x, v[1]->x, v[2]->x});
  const double minY = std::min({v[0]->y, v[1]->y, v[2]->y}), maxY = std::max({v[0]->y, v[1]->y, v[2]->y});
  const int x0 = std::max(0, static_cast<int>(std::ceil(minX))), x1 = std::min(target.Width() - 1, static_cast<int>(std::floor(maxX)));
  const int y0 = std::max(0, static_cast<int>(std::ceil(minY))), y1 = std::min(target.Height() - 1, static_cast<int>(std::floor(maxY)));
  const bool flat = v[0]->diffuse == v[1]->diffuse && v[1]->diffuse == v[2]->diffuse;
  for (int y = y0; y <= y1; ++y) {
    for (int x = x0; x <= x1; ++x) {
      const double w0 = edge(*v[1], *v[2], x, y), w1 = edge(*v[2], *v[0], x, y), w2 = edge(*v[0], *v[1], x, y);
      if (w0 < 0 || w1 < 0 || w2 < 0) continue;
      if ((w0 == 0 && !tl0) || (w1 == 0 && !tl1) || (w2 == 0 && !tl2)) continue;
      const double b0 = w0 / area, b1 = w1 / area, b2 = w2 / area;
      const double u = b0 * v[0]->u + b1 * v[1]->u + b2 * v[2]->u;
      const double vv = b0 * v[0]->v + b1 * v[1]->v + b2 * v[2]->v;
      uint32_t diffuse = v[0]->diffuse;
      if (!flat) {
        const Argb c0 = Split(v[0]->diffuse), c1 = Split(v[1]->diffuse), c2 = Split(v[2]->diffuse);
        auto lerp = [&](uint32_t p, uint32_t q, uint32_t r) {
          return static_cast<uint32_t>(std::clamp(std::lround(b0 * p + b1 * q + b2 * r), 0L, 255L));
        };
        diffuse = Join({lerp(c0.a, c1.a, c2.a), lerp(c0.r, c1.r, c2.r), lerp(c0.g, c1.g, c2.g), lerp(c0.b, c1.b, c2.b)});
      }
      ShadePixel(x, y, diffuse, u, vv);
    }
  }
}

uint32_t Device::DrawPrimitiveStrip(int startVertex, int primitiveCount) {
  if (!renderTarget_ || !stream_ || startVertex < 0 || primitiveCount <= 0) return D3DERR_INVALIDCALL;
  const size_t count = stream_->Size() / kQuadVertexBytes;
  if (static_cast<size_t>(startVertex) + primitiveCount + 2 > count) return D3DERR_INVALIDCALL;
  std::vector<QuadVertex> v(static_cast<size_t>(primitiveCount) + 2);
  std::memcpy(v.data(), stream_->Data() + static_cast<size_t>(startVertex) * kQuadVertexBytes,
              v.size() * kQuadVertexBytes);
  for (int i = 0; i < primitiveCount; ++i) DrawTriangle(v[i], v[i + 1], v[i + 2]);
  return D3D_OK;
}

uint32_t Device::DrawIndexedPrimitiveStrip(int baseVertex, int startIndex, int primitiveCount) {
  if (!renderTarget_ || !stream_ || !indices_ || startIndex < 0 || primitiveCount <= 0) return D3DERR_INVALIDCALL;
  const size_t indexCount = indices_->Size() / 2, vertexCount = stream_->Size() / kQuadVertexBytes;
  if (static_cast<size_t>(startIndex) + primitiveCount + 2 > indexCount) return D3DERR_INVALIDCALL;
  std::vector<QuadVertex> v(static_cast<size_t>(primitiveCount) + 2);
  for (size_t i = 0; i < v.size(); ++i) {
    uint16_t index;
    std::memcpy(&index, indices_->Data() + (startIndex + i) * 2, 2);
    const size_t at = static_cast<size_t>(baseVertex) + index;
    if (at >= vertexCount) return D3DERR_INVALIDCALL;
    std::memcpy(&v[i], stream_->Data() + at * kQuadVertexBytes, kQuadVertexBytes);
  }
  for (int i = 0; i < primitiveCount; ++i) DrawTriangle(v[i], v[i + 1], v[i + 2]);
  return D3D_OK;
}

uint32_t Device::GetRenderTargetData(DeviceSurface* rt, DeviceSurface* copy) {
  if (!rt || !copy || !rt->image_.SameSize(copy->image_) || rt->format_ != copy->format_) return D3DERR_INVALIDCALL;
  for (int y = 0; y < rt->Height(); ++y)
    std::memcpy(copy->image_.Row(y), rt->image_.Row(y), static_cast<size_t>(rt->Width()) * rt->image_.BytesPerPixel());
  return D3D_OK;
}

uint32_t Device::UpdateSurface(DeviceSurface* copy, DeviceSurface* target) {
  if (!copy || !target || !copy->image_.SameSize(target->image_) || copy->format_ != target->format_)
    return D3DERR_INVALIDCALL;
  for (int y = 0; y < copy->Height(); ++y)
    std::memcpy(target->image_.Row(y), copy->image_.Row(y),
                static_cast<size_t>(copy->Width()) * copy->image_.BytesPerPixel());
  return D3D_OK;
}

uint32_t Device::Present() {
  if (lost_) return D3DERR_DEVICELOST;
  if (!backBuffer_) return D3DERR_INVALIDCALL;
  if (params_.presentationInterval != D3DPRESENT_INTERVAL_IMMEDIATE) WaitVerticalBlank();
  ImageToFrame(backBuffer_->image_, nullptr, frame_);
  GetWindowHost().Present(frame_);
  return D3D_OK;
}

uint32_t Device::TestCooperativeLevel() {
  if (!lost_) return D3D_OK;
  if (lostChecks_ > 0) {
    --lostChecks_;
    return D3DERR_DEVICELOST;
  }
  return D3DERR_DEVICENOTRESET;
}

uint32_t Device::Reset(const PresentParameters& params) {
  // The original's rule: every default-pool object and every reference to
  // the back buffer must be gone first.
  if (defaultObjects_ > 0 || (backBuffer_ && backBuffer_->refs_ > 1)) return D3DERR_INVALIDCALL;
  if (backBuffer_) {
    backBuffer_->refs_ = 1;
    backBuffer_->Release();
  }
  params_ = params;
  if (!MakeBackBuffer()) return D3DERR_INVALIDCALL;
  lost_ = false;
  inScene_ = false;
  texture_ = nullptr;
  return D3D_OK;
}

void Device::SimulateDeviceLoss() {
  lost_ = true;
  lostChecks_ = g_config.notResetAfterLoss;
  if (backBuffer_) backBuffer_->image_.Scribble(0xCD);
  // Default-pool pictures are garbage now; the layer must re-create them.
  for (DeviceTexture* t : defaultTextures_) t->level_.image_.Scribble(0xCD);
}

uint32_t Device::Release() {
  if (backBuffer_) {
    backBuffer_->refs_ = 1;
    backBuffer_->Release();
  }
  const int left = liveObjects_;
  delete this;
  return static_cast<uint32_t>(left);
}

}  // namespace plat
