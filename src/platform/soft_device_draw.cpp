// The device's drawing: a pixel shaded through the texture stages, the
// general triangle rasteriser, the stepped road of turned quads, strips,
// the shade tables and the aligned-quad road of sprites and fills.
#include "platform/soft_device.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/soft_loops.h"
#include "platform/soft_raster.h"

namespace plat {
using namespace soft;

namespace {

// A 32-bit texture under tables that keep the colour and make every alpha
// 255 (Device::shadeOpaqueColour_) draws as an opaque X8R8G8B8 texture with
// the identity and no blend: Encode(tables(Decode(p))) is
// Encode(p | 0xFF000000) either way, and an alpha of 255 blends to the
// source itself.
void TakeOpaqueColourRoad(bool opaqueColour, PixelKind& texKind, bool& identity, bool& blend) {
  if (!opaqueColour || (texKind != PixelKind::A8R8G8B8 && texKind != PixelKind::X8R8G8B8)) return;
  texKind = PixelKind::X8R8G8B8;
  identity = true;
  blend = false;
}

}  // namespace

void Device::ShadePixel(int x, int y, uint32_t diffuse, double u, double v) {
  PixelImage& target = renderTarget_->image_;
  Argb texel{255, 0, 0, 0};
  if (texture_) {
    const PixelImage& tex = texture_->level_.image_;
    const int ix = SampleTexel(u * tex.Width(), tex.Width());
    const int iy = SampleTexel(v * tex.Height(), tex.Height());
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
  const PixelImage& target = renderTarget_->image_;
  TriangleSetup t;
  if (!SetUpTriangle(a0, b0, c0, target.Width(), target.Height(), t)) return;
  const QuadVertex* const* v = t.v;
  const bool flat = v[0]->diffuse == v[1]->diffuse && v[1]->diffuse == v[2]->diffuse;
  for (int y = std::max(t.y0, clipTop_); y <= std::min(t.y1, clipBottom_); ++y) {
    for (int x = std::max(t.x0, clipLeft_); x <= std::min(t.x1, clipRight_); ++x) {
      const double w0 = EdgeAt(t, 0, x, y), w1 = EdgeAt(t, 1, x, y), w2 = EdgeAt(t, 2, x, y);
      if (w0 < 0 || w1 < 0 || w2 < 0) continue;
      if ((w0 == 0 && !t.topLeft[0]) || (w1 == 0 && !t.topLeft[1]) || (w2 == 0 && !t.topLeft[2])) continue;
      double b[3];
      WeightsAt(t, x, y, b);
      double u, vv;
      TexCoordsFrom(t, b, u, vv);
      uint32_t diffuse = v[0]->diffuse;
      if (!flat) {
        const Argb c0 = Split(v[0]->diffuse), c1 = Split(v[1]->diffuse), c2 = Split(v[2]->diffuse);
        auto lerp = [&](uint32_t p, uint32_t q, uint32_t r) {
          return static_cast<uint32_t>(std::clamp(std::lround(b[0] * p + b[1] * q + b[2] * r), 0L, 255L));
        };
        diffuse = Join({lerp(c0.a, c1.a, c2.a), lerp(c0.r, c1.r, c2.r), lerp(c0.g, c1.g, c2.g), lerp(c0.b, c1.b, c2.b)});
      }
      ShadePixel(x, y, diffuse, u, vv);
    }
  }
}

bool Device::DrawSteppedTriangle(const QuadVertex& a0, const QuadVertex& b0, const QuadVertex& c0) {
  if (!texture_ || a0.diffuse != b0.diffuse || b0.diffuse != c0.diffuse) return false;
  PixelImage& target = renderTarget_->image_;
  const PixelImage& tex = texture_->level_.image_;
  const PixelKind outKind = KindOf(target.Format());
  PixelKind texKind = KindOf(tex.Format());
  if (outKind == PixelKind::Other || texKind == PixelKind::Other) return false;
  const int texW = tex.Width(), texH = tex.Height();
  if (texW <= 0 || texH <= 0 || static_cast<double>(tex.Pitch()) * texH >= 4294967296.0) return false;
  const double tw = texW, th = texH;
  // Positions and texel coordinates small enough for the error bound below
  // (this also turns away infinities and NaNs).
  double reach = 0, uMax = 0, vMax = 0;
  for (const QuadVertex* p : {&a0, &b0, &c0}) {
    if (!(std::fabs(p->x) < 4194304.0f && std::fabs(p->y) < 4194304.0f)) return false;
    if (!(std::fabs(p->u) * tw < 1048576.0 && std::fabs(p->v) * th < 1048576.0)) return false;
    reach = std::max({reach, std::fabs(static_cast<double>(p->x)), std::fabs(static_cast<double>(p->y))});
    uMax = std::max(uMax, std::fabs(p->u) * tw);
    vMax = std::max(vMax, std::fabs(p->v) * th);
  }
  bool blend = false;
  if (renderStates_[D3DRS_ALPHABLENDENABLE]) {
    const uint32_t src = renderStates_[D3DRS_SRCBLEND], dst = renderStates_[D3DRS_DESTBLEND];
    if (src == D3DBLEND_SRCALPHA && dst == D3DBLEND_INVSRCALPHA) blend = true;
    else if (src == D3DBLEND_ZERO && dst == D3DBLEND_ONE) return true;  // nothing reaches the target
  }
  TriangleSetup t;
  if (!SetUpTriangle(a0, b0, c0, target.Width(), target.Height(), t)) return true;
  if (t.x0 > t.x1 || t.y0 > t.y1) return true;
  UpdateShadeTables(a0.diffuse);
  bool identity = shadeIdentity_;
  TakeOpaqueColourRoad(shadeOpaqueColour_, texKind, identity, blend);
  const GatherRowFn shade = PickGatherRow(texKind, outKind, identity, blend);
  const SelectRectFn rect = identity && &tex != &target ? PickSelectRect(texKind, outKind, blend) : nullptr;
  if (rect) gathered_.resize(static_cast<size_t>(t.x1 - t.x0 + 1) * tex.BytesPerPixel());
  if (!shade) return false;

  // The texel coordinates change by a fixed step per pixel to the right.
  // Each run starts from the rasteriser's own value at its first pixel and
  // steps in 24.40 fixed point. The stepped value stays within `slack` of
  // the rasteriser's (bounded from its rounding: edge values good to
  // reach² × 2^-46, weights to that over the area plus 2^-51, and the
  // stepping's rounding); where floor(t + 1e-4), the texel the rasteriser's
  // snap gives, is not decided by more than that, the pixel's coordinates
  // are worked out exactly as the rasteriser does.
  const QuadVertex* const* v = t.v;
  double du = 0, dv = 0, stepSize = 0;
  for (int i = 0; i < 3; ++i) {
    const double dw = -(static_cast<double>(v[(i + 2) % 3]->y) - v[(i + 1) % 3]->y);  // d(edge i)/dx
    du += dw * v[i]->u;
    dv += dw * v[i]->v;
    stepSize += std::fabs(dw) * std::max(std::fabs(v[i]->u) * tw, std::fabs(v[i]->v) * th);
  }
  du = du / t.area * tw;
  dv = dv / t.area * th;
  if (!(std::fabs(du) < 1048576.0 && std::fabs(dv) < 1048576.0)) return false;
  reach += std::max(t.x1, t.y1) + 2.0;
  const double tMax = std::max(uMax, vMax);
  const double weightError = reach * reach * 0x1p-46 / t.area + 0x1p-51;
  const double startError = tMax * (6 * weightError + 0x1p-50);
  const double stepError = 0x1p-41 + stepSize / t.area * 0x1p-49;
  const double slack = 2 * startError + 0x1p-40 + (t.x1 - t.x0 + 1.0) * stepError;
  if (!(slack < 0x1p-24)) return false;
  constexpr int kFrac = 40;
  constexpr double kOne = 0x1p40;
  const int64_t window = static_cast<int64_t>(slack * kOne * 2) + 2;
  const int64_t fracMask = (int64_t{1} << kFrac) - 1;
  const int64_t snap = std::llround(1e-4 * kOne);
  const int64_t uStep = std::llround(du * kOne), vStep = std::llround(dv * kOne);
  const uint8_t* texBits = tex.Row(0);
  const uint32_t texPitch = static_cast<uint32_t>(tex.Pitch()), texBytes = static_cast<uint32_t>(tex.BytesPerPixel());
  const size_t outBytes = static_cast<size_t>(target.BytesPerPixel());
  texelOffsets_.resize(static_cast<size_t>(t.x1 - t.x0) + 1);
  texelUndecided_.resize(texelOffsets_.size());
  for (int y = std::max(t.y0, clipTop_); y <= std::min(t.y1, clipBottom_); ++y) {
    // The run of covered pixels: every edge value is monotonic along the
    // row, so each edge keeps one side of some column; the column is found
    // from the line's crossing and settled by the rasteriser's own test.
    int lo = t.x0, hi = t.x1;
    for (int i = 0; i < 3 && lo <= hi; ++i) {
      const QuadVertex &p = *v[(i + 1) % 3], &q = *v[(i + 2) % 3];
      const double dy = static_cast<double>(q.y) - p.y;
      auto in = [&](int x) { return InsideEdge(t, i, EdgeAt(t, i, x, y)); };
      if (dy == 0) {
        if (!in(lo)) hi = lo - 1;
        continue;
      }
      const double cross = p.x + (static_cast<double>(q.x) - p.x) * (y - p.y) / dy;
      if (dy < 0) {  // inside to the right of the crossing
        int x = static_cast<int>(std::clamp(std::ceil(cross), lo + 0.0, hi + 1.0));
        while (x > lo && in(x - 1)) --x;
        while (x <= hi && !in(x)) ++x;
        lo = x;
      } else {  // inside to the left
        int x = static_cast<int>(std::clamp(std::floor(cross), lo - 1.0, hi + 0.0));
        while (x < hi && in(x + 1)) ++x;
        while (x >= lo && !in(x)) --x;
        hi = x;
      }
    }
    // Each pixel's texel is the rasteriser's own wherever the run starts.
    lo = std::max(lo, clipLeft_);
    hi = std::min(hi, clipRight_);
    if (lo > hi) continue;
    double b[3], u, vv;
    WeightsAt(t, lo, y, b);
    TexCoordsFrom(t, b, u, vv);
    const StepRun run{std::llround(u * tw * kOne) + snap, std::llround(vv * th * kOne) + snap, uStep, vStep,
                      window, fracMask - window, texW, texH, texPitch, texBytes};
    uint32_t* const offsets = texelOffsets_.data();
    uint8_t* const undecided = texelUndecided_.data();
    if (StepOffsets(run, hi - lo + 1, offsets, undecided)) {
      for (int x = lo; x <= hi; ++x) {
        if (!undecided[x - lo]) continue;
        const int64_t fu = run.fu + (x - lo) * uStep, fv = run.fv + (x - lo) * vStep;
        int ix, iy;
        if ((fu & fracMask) >= window && (fu & fracMask) <= fracMask - window && (fv & fracMask) >= window &&
            (fv & fracMask) <= fracMask - window) {
          // Decided, only outside the texture: wrapped.
          ix = Wrap(static_cast<int>(fu >> kFrac), texW), iy = Wrap(static_cast<int>(fv >> kFrac), texH);
        } else {
          // Too near the snapping threshold: the rasteriser's own way.
          WeightsAt(t, x, y, b);
          TexCoordsFrom(t, b, u, vv);
          ix = SampleTexel(u * tw, texW), iy = SampleTexel(vv * th, texH);
        }
        offsets[x - lo] = static_cast<uint32_t>(iy) * texPitch + static_cast<uint32_t>(ix) * texBytes;
      }
    }
    uint8_t* const out = target.Row(y) + static_cast<size_t>(lo) * outBytes;
    if (rect) {
      // Texels as they are onto a separate picture: gathered into a run,
      // then drawn by the select loop.
      GatherTexelsAt(texBits, offsets, hi - lo + 1, texBytes, gathered_.data());
      const uint8_t* const run = gathered_.data();
      rect(TexelRows{nullptr, run, 0}, 1, hi - lo + 1, out, 0, shadeTables_);
    } else {
      shade(texBits, offsets, hi - lo + 1, out, shadeTables_);
    }
  }
  return true;
}

void Device::DrawStrip(const QuadVertex* v, int count) {
  if (count == 4 && DrawFastPaths() && DrawAlignedQuad(v)) return;
  for (int i = 0; i + 2 < count; ++i)
    if (!DrawFastPaths() || !DrawSteppedTriangle(v[i], v[i + 1], v[i + 2])) DrawTriangle(v[i], v[i + 1], v[i + 2]);
}

namespace {

// The vertices of one strip, copied out of the stream: on the stack for the
// quads the drawing code sends, on the heap for longer strips.
struct StripVertices {
  explicit StripVertices(size_t n) : data(small) {
    if (n > 8) {
      large.resize(n);
      data = large.data();
    }
  }
  StripVertices(const StripVertices&) = delete;
  QuadVertex small[8];
  std::vector<QuadVertex> large;
  QuadVertex* data;
};

}  // namespace

uint32_t Device::DrawPrimitiveStrip(int startVertex, int primitiveCount) {
  if (!renderTarget_ || !stream_ || startVertex < 0 || primitiveCount <= 0) return D3DERR_INVALIDCALL;
  const size_t count = stream_->Size() / kQuadVertexBytes;
  if (static_cast<size_t>(startVertex) + primitiveCount + 2 > count) return D3DERR_INVALIDCALL;
  // The vertices are copied out (a strip of a quad on the stack).
  const size_t n = static_cast<size_t>(primitiveCount) + 2;
  StripVertices strip(n);
  QuadVertex* v = strip.data;
  std::memcpy(v, stream_->Data() + static_cast<size_t>(startVertex) * kQuadVertexBytes, n * kQuadVertexBytes);
  if (KeepsDraw()) Keep(KeptKind::Strip, v, static_cast<int>(n), Rect{}, 0);
  else DrawStrip(v, static_cast<int>(n));
  return D3D_OK;
}

uint32_t Device::DrawPrimitiveStripOverFill(int startVertex, int primitiveCount, const Rect& fill, uint32_t raw) {
  if (!renderTarget_) return D3DERR_INVALIDCALL;
  if (primitiveCount == 2 && stream_ && startVertex >= 0 && DrawFastPaths() &&
      static_cast<size_t>(startVertex) + 4 <= stream_->Size() / kQuadVertexBytes) {
    QuadVertex v[4];
    std::memcpy(v, stream_->Data() + static_cast<size_t>(startVertex) * kQuadVertexBytes, sizeof v);
    if (KeepsDraw()) {
      Keep(KeptKind::StripOverFill, v, 4, fill, raw);
      return D3D_OK;
    }
    const FillUnder under{fill, raw};
    if (DrawAlignedQuad(v, &under)) return D3D_OK;
  }
  ClearRaw(&fill, 1, raw);
  return DrawPrimitiveStrip(startVertex, primitiveCount);
}

uint32_t Device::DrawIndexedPrimitiveStrip(int baseVertex, int startIndex, int primitiveCount) {
  if (!renderTarget_ || !stream_ || !indices_ || startIndex < 0 || primitiveCount <= 0) return D3DERR_INVALIDCALL;
  const size_t indexCount = indices_->Size() / 2, vertexCount = stream_->Size() / kQuadVertexBytes;
  if (static_cast<size_t>(startIndex) + primitiveCount + 2 > indexCount) return D3DERR_INVALIDCALL;
  const size_t n = static_cast<size_t>(primitiveCount) + 2;
  StripVertices strip(n);
  QuadVertex* v = strip.data;
  for (size_t i = 0; i < n; ++i) {
    uint16_t index;
    std::memcpy(&index, indices_->Data() + (startIndex + i) * 2, 2);
    const size_t at = static_cast<size_t>(baseVertex) + index;
    if (at >= vertexCount) return D3DERR_INVALIDCALL;
    std::memcpy(&v[i], stream_->Data() + at * kQuadVertexBytes, kQuadVertexBytes);
  }
  if (KeepsDraw()) Keep(KeptKind::Strip, v, static_cast<int>(n), Rect{}, 0);
  else DrawStrip(v, static_cast<int>(n));
  return D3D_OK;
}

void Device::UpdateShadeTables(uint32_t diffuse) {
  const uint32_t state[8] = {colorOp_, colorArg1_, colorArg2_, alphaOp_, alphaArg1_, alphaArg2_, diffuse, textureFactor_};
  if (shadeValid_ && std::equal(state, state + 8, shadeState_)) return;
  std::copy(state, state + 8, shadeState_);
  shadeValid_ = true;
  for (int i = 0; i < shadeSetCount_; ++i) {
    const ShadeSet& set = shadeSets_[i];
    if (!std::equal(state, state + 8, set.state)) continue;
    std::memcpy(shadeTables_, set.tables, sizeof shadeTables_);
    std::copy(set.mul, set.mul + 4, shadeMul_);
    std::copy(set.add, set.add + 4, shadeAdd_);
    shadeIdentity_ = set.identity, shadeConstant_ = set.constant, shadeAffine_ = set.affine;
    shadeOpaqueColour_ = set.opaqueColour;
    return;
  }
  MakeShadeTables();
  ShadeSet& set = shadeSets_[shadeSetNext_];
  shadeSetNext_ = (shadeSetNext_ + 1) % kShadeSets;
  shadeSetCount_ = std::min(shadeSetCount_ + 1, kShadeSets);
  std::copy(state, state + 8, set.state);
  std::memcpy(set.tables, shadeTables_, sizeof set.tables);
  std::copy(shadeMul_, shadeMul_ + 4, set.mul);
  std::copy(shadeAdd_, shadeAdd_ + 4, set.add);
  set.identity = shadeIdentity_, set.constant = shadeConstant_, set.affine = shadeAffine_;
  set.opaqueColour = shadeOpaqueColour_;
}

void Device::MakeShadeTables() {
  const uint32_t diffuse = shadeState_[6];
  const Argb dif = Split(diffuse), tf = Split(textureFactor_);
  // The same choice of argument as ShadePixel, one channel at a time.
  auto pick = [](uint32_t which, uint32_t texel, uint32_t d, uint32_t f) {
    return which == D3DTA_TEXTURE ? texel : which == D3DTA_TFACTOR ? f : d;
  };
  const uint32_t difs[4] = {dif.a, dif.r, dif.g, dif.b}, tfs[4] = {tf.a, tf.r, tf.g, tf.b};
  shadeIdentity_ = true;
  shadeConstant_ = true;
  shadeAffine_ = true;
  for (int ch = 0; ch < 4; ++ch) {
    const uint32_t op = ch == 0 ? alphaOp_ : colorOp_;
    const uint32_t a1 = ch == 0 ? alphaArg1_ : colorArg1_, a2 = ch == 0 ? alphaArg2_ : colorArg2_;
    bool constant = true;
    for (uint32_t t = 0; t < 256; ++t) {
      const uint32_t v = Combine(op, pick(a1, t, difs[ch], tfs[ch]), pick(a2, t, difs[ch], tfs[ch]), difs[ch], tf.a);
      shadeTables_[ch][t] = static_cast<uint8_t>(v);
      if (v != t) shadeIdentity_ = false;
      if (v != shadeTables_[ch][0]) constant = false;
    }
    if (!constant) shadeConstant_ = false;
    // The operations whose result is affine in the texel, as mul and add.
    const bool t1 = a1 == D3DTA_TEXTURE, t2 = a2 == D3DTA_TEXTURE;
    const uint32_t x1 = pick(a1, 0, difs[ch], tfs[ch]), x2 = pick(a2, 0, difs[ch], tfs[ch]);
    uint32_t mul = 0, add = 0;
    if (constant) {
      add = 255u * shadeTables_[ch][0];
    } else if ((op == D3DTOP_SELECTARG1 && t1) || (op == D3DTOP_SELECTARG2 && t2)) {
      mul = 255;
    } else if (op == D3DTOP_MODULATE && t1 != t2) {
      mul = t1 ? x2 : x1;
    } else if (op == D3DTOP_BLENDFACTORALPHA && t1 != t2) {
      mul = t1 ? tf.a : 255 - tf.a;
      add = t1 ? x2 * (255 - tf.a) : x1 * tf.a;
    } else {
      shadeAffine_ = false;
    }
    shadeMul_[ch] = mul;
    shadeAdd_[ch] = add;
    for (uint32_t t = 0; t < 256 && shadeAffine_; ++t)
      if (Div255(t * mul + add) != shadeTables_[ch][t]) shadeAffine_ = false;
  }
  shadeOpaqueColour_ = true;
  for (uint32_t t = 0; t < 256; ++t)
    if (shadeTables_[0][t] != 255 || shadeTables_[1][t] != t || shadeTables_[2][t] != t || shadeTables_[3][t] != t)
      shadeOpaqueColour_ = false;
}

bool Device::DrawAlignedQuad(const QuadVertex* q, const FillUnder* under) {
  const QuadVertex &a = q[0], &b = q[1], &c = q[2], &d = q[3];
  // The strip's triangles share the edge b–c: for a rectangle that is a
  // diagonal, and a and d are the other two corners.
  if (a.diffuse != b.diffuse || b.diffuse != c.diffuse || c.diffuse != d.diffuse) return false;
  if (!(b.x != c.x && b.y != c.y)) return false;
  auto at = [](const QuadVertex& p, float x, float y) { return p.x == x && p.y == y; };
  if (!((at(a, b.x, c.y) && at(d, c.x, b.y)) || (at(a, c.x, b.y) && at(d, b.x, c.y)))) return false;
  if (!OnPixelEdge(b.x) || !OnPixelEdge(c.x) || !OnPixelEdge(b.y) || !OnPixelEdge(c.y)) return false;
  // u may change only across, v only down: equal at corners of one column
  // / row. With b and c apart in both x and y, the corners sharing a column
  // are a–b and c–d when a lies in b's column, else a–c and b–d; the other
  // pairs of each share a row.
  if (a.x == b.x) {
    if (!(a.u == b.u && c.u == d.u && a.v == c.v && b.v == d.v)) return false;
  } else if (!(a.u == c.u && b.u == d.u && a.v == b.v && c.v == d.v)) {
    return false;
  }
  const QuadVertex& left = b.x < c.x ? b : c;
  const QuadVertex& right = b.x < c.x ? c : b;
  const QuadVertex& top = b.y < c.y ? b : c;
  const QuadVertex& bottom = b.y < c.y ? c : b;

  PixelImage& target = renderTarget_->image_;
  const PixelKind outKind = KindOf(target.Format());
  if (outKind == PixelKind::Other) return false;
  bool blend = false;
  if (renderStates_[D3DRS_ALPHABLENDENABLE]) {
    const uint32_t src = renderStates_[D3DRS_SRCBLEND], dst = renderStates_[D3DRS_DESTBLEND];
    if (src == D3DBLEND_SRCALPHA && dst == D3DBLEND_INVSRCALPHA) blend = true;
    else if (src == D3DBLEND_ZERO && dst == D3DBLEND_ONE) return !under;  // nothing reaches the target
  }
  // Pixel centres strictly inside the rectangle; each belongs to exactly one
  // of the two triangles under the top-left rule, so the union is the box.
  const int x0 = std::max({0, clipLeft_, static_cast<int>(left.x + 0.5f)});
  const int x1 = std::min({target.Width() - 1, clipRight_, static_cast<int>(right.x - 0.5f)});
  const int y0 = std::max({0, clipTop_, static_cast<int>(top.y + 0.5f)});
  const int y1 = std::min({target.Height() - 1, clipBottom_, static_cast<int>(bottom.y - 0.5f)});
  UpdateShadeTables(a.diffuse);
  if (x0 > x1 || y0 > y1) return !under;
  if (under) {
    // The fill goes with the draw only where it covers the quad's pixels
    // exactly.
    const Rect& f = under->rect;
    if (std::max({f.left, 0, clipLeft_}) != x0 || std::min({f.right, target.Width(), clipRight_ + 1}) != x1 + 1 ||
        std::max({f.top, 0, clipTop_}) != y0 || std::min({f.bottom, target.Height(), clipBottom_ + 1}) != y1 + 1)
      return false;
  }
  if (!texture_ || shadeConstant_) {
    if (under) return false;
    // No texture reads as opaque black; constant tables ignore the texel.
    const uint32_t colour = ApplyTables(shadeTables_, 0xFF000000u);
    return SolidRectFor(outKind, target, x0, x1, y0, y1, colour, blend);
  }
  const PixelImage& tex = texture_->level_.image_;
  PixelKind texKind = KindOf(tex.Format());
  if (texKind == PixelKind::Other) return false;
  bool identity = shadeIdentity_;
  TakeOpaqueColourRoad(shadeOpaqueColour_, texKind, identity, blend);
  const double tw = tex.Width(), th = tex.Height();
  // Coordinates this small keep the rasteriser's rounding far below the
  // threshold window TexelIndex leaves out.
  if (!(std::max(std::fabs(left.u), std::fabs(right.u)) * tw < 1048576.0) ||
      !(std::max(std::fabs(top.v), std::fabs(bottom.v)) * th < 1048576.0))
    return false;
  const double xl = left.x, xr = right.x, ul = left.u, ur = right.u;
  const double yt = top.y, yb = bottom.y, vt = top.v, vb = bottom.v;
  // The column and row lists only grow: every road reads the first `count`
  // columns and rows alone.
  if (texelColumns_.size() < static_cast<size_t>(x1 - x0) + 1) texelColumns_.resize(static_cast<size_t>(x1 - x0) + 1);
  if (texelRows_.size() < static_cast<size_t>(y1 - y0) + 1) texelRows_.resize(static_cast<size_t>(y1 - y0) + 1);
  // One texel per pixel, starting on a texel edge (the copy of a picture):
  // pixel k's coordinate is exactly edge + k + 0.5, half-way between texel
  // edges, so it reads texel edge + k (wrapped) — what TexelIndex would
  // give, without working it out for each column.
  auto unitSteps = [](double from, double to, double lo, double hi, double size) {
    // from × size lies below 2^20 (checked above).
    return (to - from) * size == hi - lo && WholeSmall(from * size);
  };
  bool unitColumns = unitSteps(ul, ur, xl, xr, tw), unitRows = unitSteps(vt, vb, yt, yb, th);
  const int count = x1 - x0 + 1;
  bool contiguous = true;
  int32_t nextColumn = unitColumns ? Wrap(static_cast<int>(ul * tw) + static_cast<int>(x0 - (xl + 0.5)), tex.Width()) : 0;
  int32_t nextRow = unitRows ? Wrap(static_cast<int>(vt * th) + static_cast<int>(y0 - (yt + 0.5)), tex.Height()) : 0;
  // One texel per pixel up to float rounding (a picture whose texture
  // coordinates are inexact in float): over the whole run the coordinate
  // drifts from first + k by at most `drift`; with the first one's snapped
  // fraction further than that (and a margin far above the rounding of
  // each pixel's own coordinate) from a whole number, pixel k reads texel
  // first + k, as working out each pixel would give.
  // The same for steps of −1 (`dir`), a picture drawn mirrored: pixel k
  // reads texel first − k.
  // The answer depends on lo, hi and p0 only through p0 − lo and hi − lo,
  // so a memo of those and the rest gives back exactly what working it out
  // again would.
  auto nearUnit = [this](int use, double lo, double hi, double from, double to, double size, int p0, int n,
                         int32_t& start, double dir = 1.0) {
    const double offset = p0 - lo, extent = hi - lo;
    NearUnitMemo& memo = nearUnitMemo_[use];
    if (memo.n == n && memo.offset == offset && memo.extent == extent && memo.from == from && memo.to == to &&
        memo.size == size && memo.dir == dir) {
      if (memo.unit) start = memo.start;
      return memo.unit;
    }
    memo = NearUnitMemo{offset, extent, from, to, size, dir, n, false, 0};
    const double first = (from + offset / extent * (to - from)) * size;
    const double step = (to - from) * size / extent;
    if (!(std::fabs(first) < 1048576.0)) return false;
    const double snapped = first + 1e-4, whole = FloorSmall(snapped), frac = snapped - whole;
    const double drift = std::fabs(step - dir) * n, margin = drift + 1e-5;
    if (!(drift < 0.01 && frac > margin && frac < 1.0 - margin)) return false;
    start = Wrap(static_cast<int>(whole), static_cast<int>(size));
    memo.unit = true;
    memo.start = start;
    return true;
  };
  if (!unitColumns) unitColumns = nearUnit(0, xl, xr, ul, ur, tw, x0, count, nextColumn);
  const bool mirroredColumns = !unitColumns && ur < ul && nearUnit(1, xl, xr, ul, ur, tw, x0, count, nextColumn, -1.0);
  if (!unitRows) unitRows = nearUnit(2, yt, yb, vt, vb, th, y0, y1 - y0 + 1, nextRow);
  // A run of unit steps that does not wrap needs only its first column.
  const bool plainRun = unitColumns && nextColumn + count <= tex.Width();
  // Mirrored unit steps that do not wrap: pixel k reads texel mirrorStart − k.
  const int32_t mirrorStart = nextColumn;
  const bool mirroredRun = mirroredColumns && mirrorStart - (count - 1) >= 0;
  // A mirrored picture whose rows follow each other, texels as they are onto
  // a separate picture: read backwards where it lies, the whole quad in one
  // call, without lists of its columns and rows.
  if (!under && mirroredRun && count > 1 && identity && &tex != &target && unitRows &&
      nextRow + (y1 - y0 + 1) <= tex.Height())
    if (const SelectRectFn backwards = PickSelectRectBackwards(texKind, outKind, blend)) {
      const size_t texBytes = static_cast<size_t>(tex.BytesPerPixel());
      const uint8_t* first = tex.Row(nextRow) + static_cast<size_t>(mirrorStart) * texBytes;
      backwards(TexelRows{nullptr, first, tex.Pitch()}, y1 - y0 + 1, count,
                target.Row(y0) + x0 * static_cast<size_t>(target.BytesPerPixel()), target.Pitch(), shadeTables_);
      return true;
    }
  if (plainRun) texelColumns_[0] = nextColumn;
  for (int x = x0; x <= x1 && !plainRun; ++x) {
    int32_t& column = texelColumns_[x - x0];
    if (unitColumns) {
      column = nextColumn;
      if (++nextColumn == tex.Width()) nextColumn = 0;
    } else if (mirroredColumns) {
      column = nextColumn;
      if (--nextColumn < 0) nextColumn = tex.Width() - 1;
    } else {
      const double u = ul + (x - xl) / (xr - xl) * (ur - ul);
      if (!TexelIndex(u * tw, tex.Width(), column)) return false;
    }
    if (x > x0 && column != texelColumns_[x - x0 - 1] + 1) contiguous = false;
  }
  // Unit steps that do not wrap: the rows follow each other.
  const bool plainRows = unitRows && nextRow + (y1 - y0 + 1) <= tex.Height();
  // Those rows are written out only for the roads that look them up one by
  // one; the whole-quad select needs only the first.
  const int32_t firstRow = nextRow;
  auto listPlainRows = [&] {
    if (plainRows)
      for (int r = 0; r <= y1 - y0; ++r) texelRows_[r] = firstRow + r;
  };
  for (int y = y0; y <= y1 && !plainRows; ++y) {
    int32_t& row = texelRows_[y - y0];
    if (unitRows) {
      row = nextRow;
      if (++nextRow == tex.Height()) nextRow = 0;
    } else {
      const double v = vt + (y - yt) / (yb - yt) * (vb - vt);
      if (!TexelIndex(v * th, tex.Height(), row)) return false;
    }
  }
  if (under) {
    // Fill and draw as one: only through the whole-quad select.
    const SelectRectOverFillFn overFill =
        identity && contiguous && &tex != &target ? PickSelectRectOverFill(texKind, outKind, blend) : nullptr;
    if (!overFill) return false;
    const size_t texBytes = static_cast<size_t>(tex.BytesPerPixel());
    const int rows = y1 - y0 + 1;
    uint8_t* const out = target.Row(y0) + x0 * static_cast<size_t>(target.BytesPerPixel());
    if (plainRows) {
      const uint8_t* first = tex.Row(firstRow) + static_cast<size_t>(texelColumns_[0]) * texBytes;
      overFill(TexelRows{nullptr, first, tex.Pitch()}, rows, count, out, target.Pitch(), shadeTables_, under->raw);
      return true;
    }
    texelRowStarts_.resize(static_cast<size_t>(rows));
    for (int r = 0; r < rows; ++r)
      texelRowStarts_[r] = tex.Row(texelRows_[r]) + static_cast<size_t>(texelColumns_[0]) * texBytes;
    overFill(TexelRows{texelRowStarts_.data(), nullptr, 0}, rows, count, out, target.Pitch(), shadeTables_,
             under->raw);
    return true;
  }
  if (blend && contiguous && shadeAffine_ && !identity) {
    if (const AffineRowFn affine = PickAffineRow(texKind, outKind)) {
      listPlainRows();
      const size_t outBytes = static_cast<size_t>(target.BytesPerPixel());
      for (int y = y0; y <= y1; ++y)
        affine(tex.Row(texelRows_[y - y0]) + static_cast<size_t>(texelColumns_[0]) * tex.BytesPerPixel(), count,
               target.Row(y) + x0 * outBytes, shadeMul_, shadeAdd_);
      return true;
    }
  }
  const size_t outBytes = static_cast<size_t>(target.BytesPerPixel());
  const SelectRectFn rect = identity && &tex != &target ? PickSelectRect(texKind, outKind, blend) : nullptr;
  if (rect) {
    // Texels as they are onto a separate picture: the whole quad in one call.
    const size_t texBytes = static_cast<size_t>(tex.BytesPerPixel());
    const int rows = y1 - y0 + 1;
    uint8_t* const out = target.Row(y0) + x0 * outBytes;
    if (contiguous) {
      if (plainRows) {
        const uint8_t* first = tex.Row(firstRow) + static_cast<size_t>(texelColumns_[0]) * texBytes;
        rect(TexelRows{nullptr, first, tex.Pitch()}, rows, count, out, target.Pitch(), shadeTables_);
        return true;
      }
      texelRowStarts_.resize(static_cast<size_t>(rows));
      for (int r = 0; r < rows; ++r)
        texelRowStarts_[r] = tex.Row(texelRows_[r]) + static_cast<size_t>(texelColumns_[0]) * texBytes;
      rect(TexelRows{texelRowStarts_.data(), nullptr, 0}, rows, count, out, target.Pitch(), shadeTables_);
      return true;
    }
    // Scattered columns (an enlargement, a mirrored picture): each texel row's texels gathered
    // once into a run, drawn onto every pixel row that reads that texel row.
    listPlainRows();
    gathered_.resize(static_cast<size_t>(count) * texBytes);
    const TexelRows run{nullptr, gathered_.data(), 0};
    for (int r = 0; r < rows;) {
      int end = r + 1;
      while (end < rows && texelRows_[end] == texelRows_[r]) ++end;
      if (mirroredRun) ReverseTexels(tex.Row(texelRows_[r]), mirrorStart, count, texBytes, gathered_.data());
      else GatherTexels(tex.Row(texelRows_[r]), texelColumns_.data(), count, texBytes, gathered_.data());
      rect(run, end - r, count, out + static_cast<ptrdiff_t>(r) * target.Pitch(), target.Pitch(), shadeTables_);
      r = end;
    }
    return true;
  }
  const ShadeRowFn row = PickShadeRow(texKind, outKind, identity, contiguous, blend);
  if (!row) return false;
  listPlainRows();
  for (int y = y0; y <= y1; ++y)
    row(tex.Row(texelRows_[y - y0]), texelColumns_.data(), count, target.Row(y) + x0 * outBytes, shadeTables_);
  return true;
}

}  // namespace plat
