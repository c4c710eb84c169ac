#include "platform/soft_device.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <utility>

#include "platform/soft_loops.h"
#include "platform/soft_raster.h"

namespace plat {
using namespace soft;

namespace {

DeviceConfig g_config;

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

namespace {

uint64_t NextSurfaceVersion() {
  static std::atomic<uint64_t> next{0};
  return next.fetch_add(1, std::memory_order_relaxed) + 1;
}

}  // namespace

DeviceSurface::DeviceSurface() : version_(NextSurfaceVersion()) {}

void DeviceSurface::Touch() {
  version_ = NextSurfaceVersion();
  // The processor may write anywhere in the back buffer (the frame is then
  // drawn as it comes), or change a texture that kept draws read.
  if (device_ && (backBuffer_ || keptReads_ > 0)) device_->FlushKept();
}

const PixelImage& DeviceSurface::Image() const {
  if (backBuffer_ && device_ && !device_->kept_.empty()) device_->FlushKept();
  return image_;
}

uint32_t DeviceSurface::LockRect(uint8_t*& bits, int& pitch) {
  bits = nullptr;
  pitch = 0;
  // Render targets in the default pool cannot be read by the processor; the
  // layer goes through a system-memory copy (the back buffer is lockable).
  if (!lockable_ || locked_) return D3DERR_INVALIDCALL;
  Touch();
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
      if (level_.keptReads_ > 0) device_->FlushKept();  // the kept draws read it: drawn while it lives
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
  // Kept beside a texture for locking: most are never touched.
  if (!surface->image_.Allocate(width, height, D3DFormatPixels(format), PixelImage::Use::Seldom)) {
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
  const PixelImage& image = renderTarget_->image_;
  const Rect whole{0, 0, image.Width(), image.Height()};
  const bool keep = KeepsDraw();
  for (int i = 0; i < (rects ? count : 1); ++i) {
    const Rect& r = rects ? rects[i] : whole;
    if (keep) Keep(KeptKind::Clear, nullptr, 0, r, raw);
    else ClearNow(r, raw);
  }
  return D3D_OK;
}

void Device::ClearNow(const Rect& rect, uint32_t raw) {
  Rect r = rect;
  r.left = std::max(r.left, clipLeft_);
  r.top = std::max(r.top, clipTop_);
  r.right = std::min(r.right, clipRight_ + 1);
  r.bottom = std::min(r.bottom, clipBottom_ + 1);
  if (r.left < r.right && r.top < r.bottom) renderTarget_->image_.Fill(r, raw);
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

uint32_t Device::GetRenderTargetData(DeviceSurface* rt, DeviceSurface* copy) {
  if (!rt || !copy || !rt->image_.SameSize(copy->image_) || rt->format_ != copy->format_) return D3DERR_INVALIDCALL;
  const PixelImage& from = std::as_const(*rt).Image();  // the back buffer with every draw made so far
  copy->Touch();
  for (int y = 0; y < rt->Height(); ++y)
    std::memcpy(copy->image_.Row(y), from.Row(y), static_cast<size_t>(rt->Width()) * from.BytesPerPixel());
  return D3D_OK;
}

uint32_t Device::UpdateSurface(DeviceSurface* copy, DeviceSurface* target) {
  if (!copy || !target || !copy->image_.SameSize(target->image_) || copy->format_ != target->format_)
    return D3DERR_INVALIDCALL;
  target->Touch();
  for (int y = 0; y < copy->Height(); ++y)
    std::memcpy(target->image_.Row(y), copy->image_.Row(y),
                static_cast<size_t>(copy->Width()) * copy->image_.BytesPerPixel());
  return D3D_OK;
}

uint32_t Device::Present() {
  if (lost_) {
    // Drawn as they came onto the lost back buffer; nothing to compare with.
    FlushKept();
    frameAsItCame_ = false;
    return D3DERR_DEVICELOST;
  }
  if (!backBuffer_) return D3DERR_INVALIDCALL;
  FinishFrame(mayDiffer_);
  if (params_.presentationInterval != D3DPRESENT_INTERVAL_IMMEDIATE) WaitVerticalBlank();
  presenter_.Present(backBuffer_->image_, nullptr, &mayDiffer_);
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
  // Every default-pool object and every reference to the back buffer must
  // be gone first: the drawing code releases and re-makes them around a reset.
  if (defaultObjects_ > 0 || (backBuffer_ && backBuffer_->refs_ > 1)) return D3DERR_INVALIDCALL;
  ForgetKept();
  lastKeptValid_ = false;
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
  FlushKept();
  lastKeptValid_ = false;
  lost_ = true;
  lostChecks_ = g_config.notResetAfterLoss;
  if (backBuffer_) backBuffer_->image_.Scribble(0xCD);
  // Default-pool pictures are garbage now; the layer must re-create them.
  for (DeviceTexture* t : defaultTextures_) t->level_.image_.Scribble(0xCD);
}

uint32_t Device::Release() {
  ForgetKept();
  if (backBuffer_) {
    backBuffer_->refs_ = 1;
    backBuffer_->Release();
  }
  const int left = liveObjects_;
  delete this;
  return static_cast<uint32_t>(left);
}

}  // namespace plat
