// The Direct3D sprite batch (queued quads, optionally sorted by texture),
// the bitmap-glyph debug text and the message box that works in full screen.
#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <list>
#include <map>
#include <tuple>
#include <unordered_map>

#include "base/logs.h"
#include "gfx/dd.h"
#include "platform/dialogs.h"
#include "platform/text.h"

namespace {

struct DDDRAWCMD {
  int32_t nSeq = 0;
  int32_t nKey = 0;
  DDSURFACEDATA* lpDst = nullptr;
  DDSURFACEDATA* lpSrc = nullptr;
  int32_t dx = 0, dy = 0, dw = 0, dh = 0;
  int32_t sx = 0, sy = 0, sw = 0, sh = 0;
  uint32_t dwFlags = 0;
  uint32_t dwColor = 0;
  uint32_t dwColorOp = 0, dwAlphaOp = 0;
  uint32_t dwReserved = 0;
  uint32_t bAreaMatch = 0;
};

struct TEXTUREORDER {
  DDSURFACEDATA* lpSD = nullptr;
  uint32_t bArea = 0;
  int32_t sx = 0, sy = 0;
  int32_t nKey = 0;
};

// Where a sorted batch finds the key a new draw of a source shares: the
// first queued draw of that source that matched no area, and the first
// per source position among those that matched one (sequence, key).
struct FIRSTDRAWS {
  std::unordered_map<const DDSURFACEDATA*, std::pair<int32_t, int32_t>> plain;
  std::map<std::tuple<const DDSURFACEDATA*, int32_t, int32_t>, std::pair<int32_t, int32_t>> area;
};

struct DDDRAWBATCH {
  uint32_t bEnabled = 0;
  std::vector<DDDRAWCMD> cmds;
  int32_t nKeyCounter = 0;
  uint32_t bSort = 0;
  std::vector<TEXTUREORDER> order;
  FIRSTDRAWS first;
  // The last source found among the first plain draws, and its entry (the
  // map's entries stay where they are while the batch lasts, and a found
  // entry never changes): most draws follow a draw of the same source.
  const DDSURFACEDATA* lpLastPlainSrc = nullptr;
  const std::pair<int32_t, int32_t>* lpLastPlain = nullptr;
};

constexpr int kMaxBatches = 100;

std::list<DDDRAWBATCH> g_batches;
// Begins refused because 100 batches were open: their ends are refused too
// (so such an end cannot close the enclosing batch early).
int g_ignoredBegins = 0;

// The command list of the last batch drawn, emptied, so that the next
// batch reuses its storage instead of growing a new list every frame.
std::vector<DDDRAWCMD> g_spareCmds;

DDDRAWBATCH* Current() { return g_batches.empty() ? nullptr : &g_batches.back(); }

void Register(DDSURFACEDATA* lpSD, bool area, int sx, int sy) {
  DDDRAWBATCH* b = Current();
  if (!lpDTCon || !b || !b->bEnabled || !b->bSort) return;
  for (const TEXTUREORDER& e : b->order) {
    if (e.lpSD != lpSD) continue;
    if (e.bArea && area) {
      if (e.sx == sx && e.sy == sy) return;
    } else {
      return;
    }
  }
  TEXTUREORDER e;
  e.lpSD = lpSD;
  e.bArea = area ? 1 : 0;
  e.sx = sx;
  e.sy = sy;
  e.nKey = (static_cast<int32_t>(b->order.size()) + 1) * 100000;
  b->order.push_back(e);
}

bool SameRun(const DDDRAWCMD& a, const DDDRAWCMD& b) {
  return a.lpDst == b.lpDst && a.lpSrc == b.lpSrc && a.dwFlags == b.dwFlags && a.dwColor == b.dwColor &&
         a.dwColorOp == b.dwColorOp && a.dwAlphaOp == b.dwAlphaOp && a.dwReserved == b.dwReserved;
}

// The vertex buffer of the runs, kept from run to run and frame to frame
// and grown when a longer run comes (each quad is drawn as a strip of its
// own four vertices). Plain device buffers outlive a device loss; they go
// before the device does (DDReleaseBatchBuffers).
struct RUNBUFFERS {
  plat::DeviceBuffer* lpVB = nullptr;
  size_t nQuads = 0;  // quads the vertex buffer holds
};
RUNBUFFERS g_runBuffers;

// A vertex buffer for n quads (the kept one, or a larger one in its place);
// false when the device could not make one.
bool RunBuffersFor(plat::Device& dev, size_t n) {
  RUNBUFFERS& rb = g_runBuffers;
  if (rb.lpVB && rb.nQuads >= n) return true;
  const size_t quads = std::max(n, rb.nQuads * 2);
  plat::DeviceBuffer* vb = nullptr;
  if (dev.CreateVertexBuffer(quads * 112, &vb) != plat::D3D_OK) return false;
  if (rb.lpVB) rb.lpVB->Release();
  rb.lpVB = vb;
  rb.nQuads = quads;
  return true;
}

// One vertex of a run written straight into the vertex buffer, member by
// member (QuadVertex: x, y, z, rhw, diffuse, u, v).
inline void PutVertex(uint8_t* p, float x, float y, uint32_t diffuse, float u, float v) {
  const float z = 0.0f, rhw = 1.0f;
  std::memcpy(p, &x, 4);
  std::memcpy(p + 4, &y, 4);
  std::memcpy(p + 8, &z, 4);
  std::memcpy(p + 12, &rhw, 4);
  std::memcpy(p + 16, &diffuse, 4);
  std::memcpy(p + 20, &u, 4);
  std::memcpy(p + 24, &v, 4);
}
static_assert(sizeof(plat::QuadVertex) == 28);

// Whether no two of the run's rectangles share a pixel (runs longer than
// a background's tiles are not looked at: false).
bool RectsApart(const DDDRAWCMD* const* run, size_t n) {
  constexpr size_t kMostLookedAt = 128;
  if (n > kMostLookedAt) return false;
  for (size_t i = 0; i < n; ++i) {
    const DDDRAWCMD& a = *run[i];
    if (a.dw <= 0 || a.dh <= 0) continue;
    for (size_t j = i + 1; j < n; ++j) {
      const DDDRAWCMD& b = *run[j];
      if (b.dw > 0 && b.dh > 0 && a.dx < b.dx + b.dw && b.dx < a.dx + a.dw && a.dy < b.dy + b.dh &&
          b.dy < a.dy + a.dh)
        return false;
    }
  }
  return true;
}

// Draws the n commands at run[0..n) as one run; returns how many of them
// the walk is done with (one when the run could not start: the walk goes
// on with the next command).
size_t DrawRun(const DDDRAWCMD* const* run, size_t n) {
  plat::Device& dev = *DDState.lpDevice;
  const DDDRAWCMD& first = *run[0];
  if (!RunBuffersFor(dev, n)) {
    WriteReportAndECLog("CreateVertexBuffer Err");
    return 1;
  }
  plat::DeviceBuffer* vb = g_runBuffers.lpVB;
  uint8_t* bytes = nullptr;
  if (vb->Lock(bytes) != plat::D3D_OK) {
    DDSetRenderTarget(0, lpDTCon->lpCurrentRT);
    return n;
  }
  // The vertices of the run, written straight into the buffer.
  for (size_t k = 0; k < n; ++k) {
    const DDDRAWCMD& c = *run[k];
    const float tw = static_cast<float>(c.lpSrc->nTexWidth), th = static_cast<float>(c.lpSrc->nTexHeight);
    const float x0 = static_cast<float>(c.dx) - 0.5f, y0 = static_cast<float>(c.dy) - 0.5f;
    const float x1 = static_cast<float>(c.dx + c.dw) - 0.5f, y1 = static_cast<float>(c.dy + c.dh) - 0.5f;
    const float u0 = static_cast<float>(c.sx) / tw, v0 = static_cast<float>(c.sy) / th;
    const float u1 = static_cast<float>(c.sx + c.sw) / tw, v1 = static_cast<float>(c.sy + c.sh) / th;
    uint8_t* q = bytes + k * 112;
    PutVertex(q, x0, y0, c.dwColor, u0, v0);
    PutVertex(q + 28, x0, y1, c.dwColor, u0, v1);
    PutVertex(q + 56, x1, y0, c.dwColor, u1, v0);
    PutVertex(q + 84, x1, y1, c.dwColor, u1, v1);
  }
  vb->Unlock();
  if (!DDBeginScene() || !DDSetRenderTarget(0, first.lpDst)) return 1;
  // Unkeyed, a keyed picture's transparent texels leave the key colour: the
  // run's rectangles are filled with it before any is drawn. Rectangles
  // apart from each other are each filled and drawn in turn instead (the
  // device does both in one pass), which leaves the same pixels.
  const bool keyFill = first.dwFlags == 0 && first.lpSrc->lpDT->bColorKey;
  const uint32_t keyValue = keyFill ? DDKeyClearValue(first.lpDst) : 0;
  const bool fillEach = keyFill && RectsApart(run, n);
  auto rectOf = [](const DDDRAWCMD& c) { return plat::Rect{c.dx, c.dy, c.dx + c.dw, c.dy + c.dh}; };
  if (keyFill && !fillEach)
    for (size_t k = 0; k < n; ++k) {
      const plat::Rect r = rectOf(*run[k]);
      dev.ClearRaw(&r, 1, keyValue);
    }
  dev.SetColorStage(first.dwColorOp, plat::D3DTA_TEXTURE, plat::D3DTA_DIFFUSE);
  dev.SetAlphaStage(first.dwAlphaOp, plat::D3DTA_TEXTURE, plat::D3DTA_DIFFUSE);
  dev.SetTexture(first.lpSrc->lpDT->lpTexture);
  dev.SetStreamSource(vb);
  // Each quad is a strip of its own four vertices.
  for (size_t k = 0; k < n; ++k) {
    if (fillEach) dev.DrawPrimitiveStripOverFill(static_cast<int>(k * 4), 2, rectOf(*run[k]), keyValue);
    else dev.DrawPrimitiveStrip(static_cast<int>(k * 4), 2);
  }
  DDSetRenderTarget(0, lpDTCon->lpCurrentRT);
  return n;
}

// The drawing order of a batch (pointers into its commands) and, for a
// sorted batch, the sort keys: storage kept from frame to frame.
std::vector<const DDDRAWCMD*> g_drawOrder;
std::vector<uint64_t> g_sortKeys;

}  // namespace

void DDReleaseBatchBuffers() {
  RUNBUFFERS& rb = g_runBuffers;
  if (rb.lpVB) rb.lpVB->Release();
  rb = RUNBUFFERS{};
}

void DDBeginBatch(uint8_t bSort) {
  if (!lpDTCon) return;
  if (static_cast<int>(g_batches.size()) >= kMaxBatches) {
    ++g_ignoredBegins;
    return;
  }
  DDDRAWBATCH b;
  b.bEnabled = 1;
  b.bSort = bSort;
  b.cmds.swap(g_spareCmds);
  b.cmds.clear();
  g_batches.push_back(std::move(b));
}

void DDEndBatch() {
  if (!lpDTCon || g_batches.empty()) return;
  if (g_ignoredBegins > 0) {
    --g_ignoredBegins;
    return;
  }
  std::vector<DDDRAWCMD> cmds = std::move(g_batches.back().cmds);
  const bool sort = g_batches.back().bSort != 0;
  // The batch leaves the stack before its commands are drawn: draws made
  // while drawing (none today) would go to the enclosing batch.
  g_batches.pop_back();
  // Key, then queueing order: a total order, so a queue already in it (most
  // frames queue each source's draws together) is left as it stands. The
  // queue holds the commands in sequence order, so the order is that of one
  // 64-bit number a command (key above, place in the queue below), sorted
  // instead of the commands themselves; the pass that makes the numbers
  // also tells whether they already rise.
  std::vector<const DDDRAWCMD*> order = std::move(g_drawOrder);
  order.resize(cmds.size());
  bool inOrder = true;
  if (sort) {
    std::vector<uint64_t> keys = std::move(g_sortKeys);
    keys.resize(cmds.size());
    uint64_t last = 0;
    for (size_t k = 0; k < cmds.size(); ++k) {
      // Keys as unsigned numbers in their own order.
      const uint32_t key = static_cast<uint32_t>(cmds[k].nKey) ^ 0x80000000u;
      const uint64_t number = (uint64_t{key} << 32) | k;
      if (k > 0 && number < last) inOrder = false;
      keys[k] = last = number;
    }
    if (!inOrder) {
      std::sort(keys.begin(), keys.end());
      for (size_t k = 0; k < cmds.size(); ++k) order[k] = &cmds[static_cast<uint32_t>(keys[k])];
    }
    g_sortKeys = std::move(keys);
  }
  if (inOrder)
    for (size_t k = 0; k < cmds.size(); ++k) order[k] = &cmds[k];
  size_t i = 0;
  while (i < order.size()) {
    size_t end = i + 1;
    while (end < order.size() && SameRun(*order[end], *order[i])) ++end;
    i += DrawRun(order.data() + i, end - i);
  }
  order.clear();
  if (order.capacity() > g_drawOrder.capacity()) g_drawOrder = std::move(order);
  cmds.clear();
  if (cmds.capacity() > g_spareCmds.capacity()) g_spareCmds.swap(cmds);
}

void DDBatchOff() {
  if (DDDRAWBATCH* b = Current()) b->bEnabled = 0;
}

void DDBatchOn() {
  if (DDDRAWBATCH* b = Current()) b->bEnabled = 1;
}

void DDBatchAddTexture(DDSURFACEDATA* lpSD) { Register(lpSD, false, 0, 0); }

void DDBatchAddTextureArea(DDSURFACEDATA* lpSD, int sx, int sy) { Register(lpSD, true, sx, sy); }

int DDBatchDepth() { return static_cast<int>(g_batches.size()); }

bool DDBatchQueue(DDSURFACEDATA* lpDst, int dx, int dy, int dw, int dh, DDSURFACEDATA* lpSrc, int sx, int sy, int sw,
                  int sh, uint32_t dwFlags) {
  DDDRAWBATCH* b = Current();
  if (!lpDTCon || !b || !b->bEnabled) return false;
  const int32_t nSeq = static_cast<int32_t>(b->cmds.size());
  int32_t nKey = 0;
  uint32_t bAreaMatch = 0;
  bool keyed = false;
  bool plainHeld = false;  // the source has its first plain draw already
  if (b->bSort) {
    // The earliest queued draw of this source that either matched no area
    // or matched one at this very source position gives its key.
    const std::pair<int32_t, int32_t>* found = nullptr;
    if (lpSrc == b->lpLastPlainSrc) {
      found = b->lpLastPlain;
      plainHeld = true;
    } else if (auto it = b->first.plain.find(lpSrc); it != b->first.plain.end()) {
      found = &it->second;
      plainHeld = true;
      b->lpLastPlainSrc = lpSrc;
      b->lpLastPlain = found;
    }
    if (!b->first.area.empty())
      if (auto it = b->first.area.find({lpSrc, sx, sy}); it != b->first.area.end())
        if (!found || it->second.first < found->first) found = &it->second;
    if (found) {
      nKey = found->second;
      keyed = true;
    }
  }
  if (!keyed) {
    nKey = b->nKeyCounter++;
    for (const TEXTUREORDER& e : b->order) {
      if (e.lpSD != lpSrc) continue;
      if (e.bArea) {
        if (e.sx != sx || e.sy != sy) continue;
        bAreaMatch = 1;
      }
      nKey += e.nKey;
      break;
    }
  }
  if (b->bSort) {
    // The first draw of a key stays; try_emplace makes no node for a key
    // already held (most draws share their source's key).
    if (bAreaMatch) b->first.area.try_emplace(std::make_tuple(lpSrc, sx, sy), nSeq, nKey);
    else if (!plainHeld) {
      b->lpLastPlainSrc = lpSrc;
      b->lpLastPlain = &b->first.plain.try_emplace(lpSrc, nSeq, nKey).first->second;
    }
  }
  // The command is written where it stays, member by member (a copy built
  // aside and moved in whole reads back stores still on their way).
  DDDRAWCMD& c = b->cmds.emplace_back();
  c.nSeq = nSeq;
  c.nKey = nKey;
  c.lpDst = lpDst;
  c.lpSrc = lpSrc;
  c.dx = dx;
  c.dy = dy;
  c.dw = dw;
  c.dh = dh;
  c.sx = sx;
  c.sy = sy;
  c.sw = sw;
  c.sh = sh;
  c.dwFlags = dwFlags;
  c.dwColor = lpDTCon->dwDrawColor;
  c.dwColorOp = lpDTCon->dwColorOp;
  c.dwAlphaOp = lpDTCon->dwAlphaOp;
  c.bAreaMatch = bAreaMatch;
  return true;
}

void DDDrawDebugText(DDSURFACEDATA* lpDst, int x, int y, int nGlyphW, int nGlyphH, DDSURFACEDATA* lpStrip,
                     const char* szText) {
  DDBeginBatch(0);
  int column = 0;
  const int lineWidth = DDState.nDispWidth > 0 ? DDState.nDispWidth : 640;
  for (const char* p = szText ? szText : ""; *p; ++p) {
    const uint8_t b = static_cast<uint8_t>(*p);
    if (b == '\n') {
      y += nGlyphH;
      column = 0;
      continue;
    }
    int row = b >> 4;
    const int col = b & 15;
    if (b >= 0xA6 && b <= 0xBF) row = (b >> 4) - 10;
    else if (b >= 0xC0 && b <= 0xDD) row = (b >> 4) - 4;
    DDBlt(lpDst, x + column, y, nGlyphW, nGlyphH, lpStrip, col * nGlyphW, row * nGlyphH, 1);
    column += nGlyphW;
    if (nGlyphW > 0 && column >= lineWidth) {
      y += nGlyphH;
      column = 0;
    }
  }
  DDEndBatch();
}

void DDDrawDebugTextF(DDSURFACEDATA* lpDst, int x, int y, int nGlyphW, int nGlyphH, DDSURFACEDATA* lpStrip,
                      const char* szFormat, ...) {
  char text[256];
  va_list args;
  va_start(args, szFormat);
  std::vsnprintf(text, sizeof text, szFormat, args);  // cut at 255 characters
  va_end(args);
  DDDrawDebugText(lpDst, x, y, nGlyphW, nGlyphH, lpStrip, text);
}

int DDSetDialogMode(uint32_t bOn) {
  if (DDState.bWindowed || (!lpDTCon && !lpDDCon)) return 1;
  if (bOn) {
    // Direct3D ends its scene first; the dialog box mode and the flip to
    // the desktop surface always succeed with our presenter, which shows
    // boxes over the last frame.
    if (lpDTCon) DDEndScene();
    plat::ShowCursor(true);
    return 1;
  }
  while (plat::ShowCursor(false) >= 0) {
  }
  return 1;
}

int DDMesBox(const char* szText, const char* szCaption, uint32_t uType) {
  if (!DDSetDialogMode(1)) {
    WriteECLog("%s", (plat::Sjis("DDMesBox 失敗! ") + (szText ? szText : "") + ", " + (szCaption ? szCaption : ""))
                         .c_str());
    return 0;
  }
  plat::MessageBox(szText ? szText : "", szCaption ? szCaption : "", uType);
  DDSetDialogMode(0);
  return 1;
}
