// The device's kept frame: draws onto the back buffer are kept until
// Present, which draws them only where the frame's draws differ from the
// frame before's (the rest of the back buffer holds their pixels already).
#include "platform/soft_device.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <utility>

#include "platform/soft_loops.h"
#include "platform/soft_raster.h"

namespace plat {
using namespace soft;

namespace {
// A frame keeps no more than this many draws: in one of more (thousands of
// sprites), keeping them costs more than it spares; the rest of it and the
// next frames (Device::keepPause_) are drawn as they come.
constexpr size_t kMostKeptDraws = 4096;
constexpr int kPausedFrames = 60;
}  // namespace

void Device::StopKeepingIfFull() {
  if (kept_.size() < kMostKeptDraws) return;
  FlushKept();
  keepPause_ = kPausedFrames;
}

bool Device::KeepsDraw() {
  if (!renderTarget_) return false;
  StopKeepingIfFull();
  if (renderTarget_ != backBuffer_) {
    renderTarget_->Touch();  // drawn into now, after the kept draws that read it
    return false;
  }
  // A texture held locked may still change under a kept draw: drawn now.
  const bool lockedTexture = texture_ && texture_->level_.locked_;
  if (DrawFastPaths() && !frameAsItCame_ && keepPause_ == 0 && !lockedTexture) return true;
  FlushKept();  // this draw and the rest of the frame as they come
  return false;
}

void Device::Keep(KeptKind kind, const QuadVertex* v, int count, const Rect& rect, uint32_t raw) {
  const int width = backBuffer_->image_.Width(), height = backBuffer_->image_.Height();
  KeptDraw d{};
  d.kind = kind;
  d.blend = renderStates_[D3DRS_ALPHABLENDENABLE];
  d.srcBlend = renderStates_[D3DRS_SRCBLEND];
  d.destBlend = renderStates_[D3DRS_DESTBLEND];
  d.colorOp = colorOp_, d.colorArg1 = colorArg1_, d.colorArg2 = colorArg2_;
  d.alphaOp = alphaOp_, d.alphaArg1 = alphaArg1_, d.alphaArg2 = alphaArg2_;
  d.textureFactor = textureFactor_;
  d.rect = rect;
  d.raw = raw;
  d.firstVertex = static_cast<uint32_t>(keptVertices_.size());
  d.vertexCount = static_cast<uint32_t>(count);
  keptVertices_.insert(keptVertices_.end(), v, v + count);
  if (kind != KeptKind::Clear && texture_) {
    d.texture = texture_;
    d.textureVersion = texture_->level_.version_;
    ++texture_->level_.keptReads_;
  }
  // The pixels it may reach: those of its rectangle, and those whose
  // centres (whole positions) lie within its vertices' outermost positions,
  // as the triangles' bounds are worked out; all of them when a position is
  // not a number.
  const bool strip = kind == KeptKind::Strip;
  int left = strip ? width : rect.left, right = strip ? -1 : rect.right - 1;
  int top = strip ? height : rect.top, bottom = strip ? -1 : rect.bottom - 1;
  for (int i = 0; i < count; ++i) {
    if (!(std::fabs(v[i].x) < 1e6f && std::fabs(v[i].y) < 1e6f)) {
      left = top = 0, right = width - 1, bottom = height - 1;
      break;
    }
    left = std::min(left, static_cast<int>(std::ceil(v[i].x)));
    right = std::max(right, static_cast<int>(std::floor(v[i].x)));
    top = std::min(top, static_cast<int>(std::ceil(v[i].y)));
    bottom = std::max(bottom, static_cast<int>(std::floor(v[i].y)));
  }
  d.left = std::max(left, 0);
  d.right = std::min(right, width - 1);
  d.top = std::max(top, 0);
  d.bottom = std::min(bottom, height - 1);
  kept_.push_back(d);
}

bool Device::KeepProcessorDraw(const DeviceSurface* target, const Rect& reach, const void* key, size_t size,
                               ProcessorDrawFn draw) {
  StopKeepingIfFull();
  if (!target || target != backBuffer_ || !DrawFastPaths() || frameAsItCame_ || keepPause_ > 0) return false;
  KeptDraw d{};
  d.kind = KeptKind::Processor;
  d.left = std::max(reach.left, 0);
  d.top = std::max(reach.top, 0);
  d.right = std::min(reach.right, backBuffer_->image_.Width()) - 1;
  d.bottom = std::min(reach.bottom, backBuffer_->image_.Height()) - 1;
  d.processorDraw = draw;
  d.firstVertex = static_cast<uint32_t>(keptVertices_.size());
  d.firstKeyByte = static_cast<uint32_t>(keptKeys_.size());
  d.keySize = static_cast<uint32_t>(size);
  const auto* bytes = static_cast<const uint8_t*>(key);
  keptKeys_.insert(keptKeys_.end(), bytes, bytes + size);
  kept_.push_back(d);
  return true;
}

void Device::DrawKept(const KeptDraw& d, const QuadVertex* v) {
  if (d.kind == KeptKind::Processor) {
    const Rect clip{std::max(d.left, clipLeft_), std::max(d.top, clipTop_), std::min(d.right, clipRight_) + 1,
                    std::min(d.bottom, clipBottom_) + 1};
    if (clip.left < clip.right && clip.top < clip.bottom)
      d.processorDraw(keptKeys_.data() + d.firstKeyByte, d.keySize, backBuffer_->image_, clip);
    return;
  }
  renderStates_[D3DRS_ALPHABLENDENABLE] = d.blend;
  renderStates_[D3DRS_SRCBLEND] = d.srcBlend;
  renderStates_[D3DRS_DESTBLEND] = d.destBlend;
  colorOp_ = d.colorOp, colorArg1_ = d.colorArg1, colorArg2_ = d.colorArg2;
  alphaOp_ = d.alphaOp, alphaArg1_ = d.alphaArg1, alphaArg2_ = d.alphaArg2;
  textureFactor_ = d.textureFactor;
  texture_ = d.texture;
  switch (d.kind) {
    case KeptKind::Clear: ClearNow(d.rect, d.raw); break;
    case KeptKind::Processor: break;
    case KeptKind::Strip: DrawStrip(v, static_cast<int>(d.vertexCount)); break;
    case KeptKind::StripOverFill: {
      const FillUnder under{d.rect, d.raw};
      if (DrawFastPaths() && DrawAlignedQuad(v, &under)) break;
      ClearNow(d.rect, d.raw);
      DrawStrip(v, 4);
      break;
    }
  }
}

// Draws the kept draws that reach the rectangle, only there, with the live
// state put back after.
void Device::DrawKeptRect(int left, int top, int right, int bottom) {
  const uint32_t states[3] = {renderStates_[D3DRS_ALPHABLENDENABLE], renderStates_[D3DRS_SRCBLEND],
                              renderStates_[D3DRS_DESTBLEND]};
  const uint32_t stages[7] = {colorOp_, colorArg1_, colorArg2_, alphaOp_, alphaArg1_, alphaArg2_, textureFactor_};
  DeviceTexture* const texture = texture_;
  DeviceSurface* const target = renderTarget_;
  renderTarget_ = backBuffer_;
  clipLeft_ = left, clipTop_ = top, clipRight_ = right, clipBottom_ = bottom;
  for (const KeptDraw& d : kept_)
    if (d.top <= bottom && d.bottom >= top && d.left <= right && d.right >= left)
      DrawKept(d, keptVertices_.data() + d.firstVertex);
  clipLeft_ = clipTop_ = 0, clipRight_ = clipBottom_ = 1 << 30;
  renderStates_[D3DRS_ALPHABLENDENABLE] = states[0];
  renderStates_[D3DRS_SRCBLEND] = states[1];
  renderStates_[D3DRS_DESTBLEND] = states[2];
  colorOp_ = stages[0], colorArg1_ = stages[1], colorArg2_ = stages[2];
  alphaOp_ = stages[3], alphaArg1_ = stages[4], alphaArg2_ = stages[5];
  textureFactor_ = stages[6];
  texture_ = texture;
  renderTarget_ = target;
}

void Device::ForgetKept() {
  for (const KeptDraw& d : kept_)
    if (d.texture) --d.texture->level_.keptReads_;
  kept_.clear();
  keptVertices_.clear();
  keptKeys_.clear();
}

void Device::FlushKept() {
  frameAsItCame_ = true;
  if (kept_.empty() || !backBuffer_) {
    ForgetKept();
    return;
  }
  DrawKeptRect(0, 0, backBuffer_->image_.Width() - 1, backBuffer_->image_.Height() - 1);
  ForgetKept();
}

uint32_t Device::TileMask(int left, int right) const {
  if (left > right) return 0;
  const int first = left / tileWidth_, last = right / tileWidth_;
  const uint32_t upTo = last >= kTilesInRow - 1 ? ~0u : (1u << (last + 1)) - 1;
  return upTo & ~((1u << first) - 1);
}

void Device::FinishFrame(FrameChanges& mayDiffer) {
  const PixelImage& image = backBuffer_->image_;
  const int height = image.Height(), width = image.Width();
  tileWidth_ = std::max(1, (width + kTilesInRow - 1) / kTilesInRow);
  const uint32_t wholeRow = TileMask(0, width - 1);
  std::vector<uint32_t>& dirty = dirty_;
  dirty.assign(static_cast<size_t>(height), wholeRow);
  const bool compare = !frameAsItCame_ && lastKeptValid_ && lastDirty_.size() == dirty.size();
  if (compare) {
    std::fill(dirty.begin(), dirty.end(), 0u);
    auto mark = [&](std::vector<uint32_t>& rows, const KeptDraw& d) {
      const uint32_t tiles = TileMask(d.left, d.right);
      if (tiles == 0 || d.top > d.bottom) return;
      uint32_t* const from = rows.data() + d.top;
      const size_t count = static_cast<size_t>(d.bottom - d.top) + 1;
      for (size_t i = 0; i < count; ++i) from[i] |= tiles;
    };
    auto same = [&](size_t i, size_t j) {
      const KeptDraw &a = kept_[i], &b = lastKept_[j];
      auto sameBytes = [](const void* x, const void* y, size_t n) { return n == 0 || std::memcmp(x, y, n) == 0; };
      return a.SameAs(b) &&
             sameBytes(keptVertices_.data() + a.firstVertex, lastKeptVertices_.data() + b.firstVertex,
                       a.vertexCount * sizeof(QuadVertex)) &&
             sameBytes(keptKeys_.data() + a.firstKeyByte, lastKeptKeys_.data() + b.firstKeyByte, a.keySize);
    };
    // Draws that differ mark their tiles in both frames. Lists of one
    // length are compared draw by draw; else past their common start and end.
    size_t first = 0, endNew = kept_.size(), endOld = lastKept_.size();
    if (kept_.size() == lastKept_.size()) {
      for (size_t i = 0; i < kept_.size(); ++i)
        if (!same(i, i)) mark(dirty, kept_[i]), mark(dirty, lastKept_[i]);
      endNew = endOld = 0;
    } else {
      while (first < endNew && first < endOld && same(first, first)) ++first;
      while (endNew > first && endOld > first && same(endNew - 1, endOld - 1)) --endNew, --endOld;
    }
    for (size_t i = first; i < endNew; ++i) mark(dirty, kept_[i]);
    for (size_t j = first; j < endOld; ++j) mark(dirty, lastKept_[j]);
    // The tiles the frame before changed may change again where this frame
    // draws, unless its clears and fills cover them wholly (those leave the
    // same pixels whatever was there). Tiles no draw reaches stay as they are.
    std::vector<uint32_t>& touched = touched_;
    touched.assign(static_cast<size_t>(height), 0u);
    std::vector<Rect>& fills = fills_;
    fills.clear();
    for (const KeptDraw& d : kept_) {
      mark(touched, d);
      if ((d.kind == KeptKind::Clear || d.kind == KeptKind::StripOverFill) && d.rect.left < d.rect.right)
        fills.push_back(d.rect);
    }
    std::vector<std::pair<int, int>>& covers = covers_;  // a row's spans of clears and fills
    for (int y = 0; y < height; ++y) {
      const uint32_t open = lastDirty_[y] & touched[y] & ~dirty[y];
      if (open == 0) continue;
      covers.clear();
      for (const Rect& r : fills)
        if (r.top <= y && y < r.bottom) covers.emplace_back(r.left, r.right);
      std::sort(covers.begin(), covers.end());
      // The tiles wholly inside a run of spans without a gap (the last
      // tile ends at the row's end).
      uint32_t covered = 0;
      for (size_t i = 0; i < covers.size();) {
        const int from = std::max(covers[i].first, 0);
        int to = covers[i].second;
        for (++i; i < covers.size() && covers[i].first <= to; ++i) to = std::max(to, covers[i].second);
        const int firstTile = (from + tileWidth_ - 1) / tileWidth_;
        const int endTile = to >= width ? kTilesInRow : to / tileWidth_;
        if (firstTile < endTile) covered |= TileMask(firstTile * tileWidth_, endTile * tileWidth_ - 1);
      }
      dirty[y] |= open & ~covered;
    }
  }
  // Each band of rows that may change is drawn once, in the runs of tiles
  // any of its rows has, with every draw that reaches them. A tile drawn
  // that its row did not need gets the pixels it holds (drawing the frame
  // over the frame before's pixels gives them there).
  int rowsDrawn = 0, pixelsDrawn = 0;
  for (int y = 0; y < height;) {
    if (dirty[y] == 0) {
      ++y;
      continue;
    }
    int end = y;
    uint32_t tiles = dirty[y];
    while (end + 1 < height && dirty[end + 1] != 0) tiles |= dirty[++end];
    for (uint32_t rest = tiles; rest != 0;) {
      const int from = std::countr_zero(rest);
      const int run = std::countr_one(rest >> from);
      const int left = from * tileWidth_, right = std::min(width, (from + run) * tileWidth_) - 1;
      if (!frameAsItCame_) DrawKeptRect(left, y, right, end);
      pixelsDrawn += (right - left + 1) * (end - y + 1);
      rest = run + from >= kTilesInRow ? 0 : rest & ~((1u << (from + run)) - 1);
    }
    rowsDrawn += end - y + 1;
    y = end + 1;
  }
  rowsDrawnAtLastPresent_ = frameAsItCame_ ? -1 : rowsDrawn;
  pixelsDrawnAtLastPresent_ = frameAsItCame_ ? -1 : pixelsDrawn;
  constexpr int kWholeFramesBeforePause = 3;
  if (keepPause_ > 0) {
    --keepPause_;
  } else if (!compare) {
    wholeFramesInARow_ = 0;  // nothing to compare with: it had to draw everything
  } else {
    wholeFramesInARow_ = pixelsDrawn == width * height ? wholeFramesInARow_ + 1 : 0;
    if (wholeFramesInARow_ >= kWholeFramesBeforePause) {
      wholeFramesInARow_ = 0;
      keepPause_ = kPausedFrames;
    }
  }
  mayDiffer.rows.reset();
  for (int y = 0; y < std::min(height, kScreenHeight); ++y) {
    const uint32_t tiles = dirty[y];
    if (tiles == 0) continue;
    mayDiffer.rows.set(static_cast<size_t>(y));
    mayDiffer.columns[static_cast<size_t>(y)] = FrameChanges::Columns{
        static_cast<int16_t>(std::min(std::countr_zero(tiles) * tileWidth_, kScreenWidth)),
        static_cast<int16_t>(std::min((kTilesInRow - std::countl_zero(tiles)) * tileWidth_, kScreenWidth))};
  }
  lastKeptValid_ = !frameAsItCame_;
  std::swap(lastDirty_, dirty_);
  // The kept draws become the frame before's (their texture reads end now).
  for (const KeptDraw& d : kept_)
    if (d.texture) --d.texture->level_.keptReads_;
  std::swap(kept_, lastKept_);
  std::swap(keptVertices_, lastKeptVertices_);
  std::swap(keptKeys_, lastKeptKeys_);
  kept_.clear();
  keptVertices_.clear();
  keptKeys_.clear();
  frameAsItCame_ = false;
}

bool Device::KeptDraw::SameAs(const KeptDraw& b) const {
  const KeptDraw& a = *this;
  return a.kind == b.kind && a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom &&
         a.blend == b.blend &&
         a.srcBlend == b.srcBlend && a.destBlend == b.destBlend && a.colorOp == b.colorOp &&
         a.colorArg1 == b.colorArg1 && a.colorArg2 == b.colorArg2 && a.alphaOp == b.alphaOp &&
         a.alphaArg1 == b.alphaArg1 && a.alphaArg2 == b.alphaArg2 && a.textureFactor == b.textureFactor &&
         a.texture == b.texture && a.textureVersion == b.textureVersion && a.rect.left == b.rect.left &&
         a.rect.top == b.rect.top && a.rect.right == b.rect.right && a.rect.bottom == b.rect.bottom &&
         a.raw == b.raw && a.vertexCount == b.vertexCount && a.processorDraw == b.processorDraw &&
         a.keySize == b.keySize;
}
}  // namespace plat
