// The averaging effects: box blur and mosaic, processor-side in both back
// ends, one template per depth and transparency flag.
#if defined(__GNUC__) && defined(__x86_64__)
#include <immintrin.h>
#endif
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "gfx/fx_colour.h"
#include "gfx/fx_frame.h"

// The packed blur loops are also compiled for processors with AVX2 (twice
// the lanes), chosen when the program starts (not under ThreadSanitizer,
// whose runtime is not up yet when the loader runs the chooser).
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__) && !defined(__SANITIZE_THREAD__)
#define PELMORA_WIDE_CLONES __attribute__((target_clones("arch=x86-64-v4", "avx2", "default")))
#define PELMORA_ALWAYS_INLINE __attribute__((always_inline))
#else
#define PELMORA_WIDE_CLONES
#define PELMORA_ALWAYS_INLINE
#endif

namespace {

using fx::EffectFrame;
using fx::Plane;

// Channel sums of opaque pixels and their count.
struct Sums {
  uint64_t r = 0, g = 0, b = 0;
  uint32_t n = 0;
  void Add(const fx::Rgba& c) {
    r += c.r;
    g += c.g;
    b += c.b;
    ++n;
  }
};

// Truncating division by a count that changes rarely along a row: the
// quotient by multiplication with a 64-bit reciprocal, exact for 32-bit
// dividends (larger ones divide the plain way).
class CountDivider {
 public:
  uint32_t Divide(uint64_t sum, uint32_t count) {
    if (count != count_) {
      count_ = count;
      magic_ = count > 1 ? UINT64_MAX / count + 1 : 0;
    }
    if (count == 1) return static_cast<uint32_t>(sum);
    if (sum > UINT32_MAX) return static_cast<uint32_t>(sum / count);
    return static_cast<uint32_t>((static_cast<unsigned __int128>(magic_) * sum) >> 64);
  }

 private:
  uint32_t count_ = 0;
  uint64_t magic_ = 0;
};

int Clamp(long long v, int lo, int hi) { return static_cast<int>(std::clamp<long long>(v, lo, hi)); }

// ---- blur ----

struct BlurArea {
  int dx, dy, w, h, rx, ry, sx, sy;
  // Rectangle columns and rows whose source pixel lies inside the source.
  int c0, c1, r0, r1;
  // Rectangle columns and rows whose destination pixel lies inside the destination.
  int oc0, oc1, or0, or1;
};

template <typename D>
uint32_t MeanPixel(const Sums& s, CountDivider& div, const fx::AddColour& add) {
  uint32_t p = fx::Pack<D>(fx::Rgba{div.Divide(s.r, s.n), div.Divide(s.g, s.n), div.Divide(s.b, s.n), 0});
  return fx::ApplyAdd<D>(p, add);
}

// A destination apart from the pixels read: running column sums over the
// window's rows, then prefix sums along the row, give each window's sums
// exactly as adding its pixels one by one would (any window size; the
// packed form below is quicker for the usual ones).
template <typename D, bool kKeyed>
void BlurRunning(const EffectFrame& f, const BlurArea& a, const fx::AddColour& add) {
  using P = typename D::Pixel;
  using S = uint64_t;
  const int cols = a.c1 - a.c0;
  const size_t n = static_cast<size_t>(cols);
  std::vector<S> sr(n), sg(n), sb(n), pr(n + 1), pg(n + 1), pb(n + 1);
  std::vector<uint32_t> sn(n), pn(n + 1);
  // Each output column's window as prefix indexes.
  std::vector<int> lo(static_cast<size_t>(a.oc1 - a.oc0)), hi(lo.size());
  for (int i = a.oc0; i < a.oc1; ++i) {
    lo[static_cast<size_t>(i - a.oc0)] = Clamp(static_cast<long long>(i) - a.rx, a.c0, a.c1) - a.c0;
    hi[static_cast<size_t>(i - a.oc0)] = Clamp(static_cast<long long>(i) + a.rx, a.c0, a.c1) - a.c0;
  }
  // Adds (sign 1) or takes away (sign −1, wrapping) one source row.
  auto addRow = [&](int row, S sign) {
    const uint8_t* in = f.src.Row(a.sy + row) + static_cast<size_t>(a.sx + a.c0) * sizeof(P);
    for (size_t c = 0; c < n; ++c) {
      const uint32_t p = Plane::Load<P>(in, static_cast<int>(c));
      const S m = (kKeyed && f.Transparent(p)) ? 0 : sign;
      sr[c] += m * ((p >> D::kRShift) & D::kRMax);
      sg[c] += m * ((p >> D::kGShift) & D::kGMax);
      sb[c] += m * ((p >> D::kBShift) & D::kBMax);
      sn[c] += static_cast<uint32_t>(m);
    }
  };
  int wa = a.r0, wb = a.r0;  // rows [wa, wb) are in the column sums
  CountDivider div;
  for (int j = a.or0; j < a.or1; ++j) {
    const int na = Clamp(static_cast<long long>(j) - a.ry, a.r0, a.r1);
    const int nb = Clamp(static_cast<long long>(j) + a.ry, a.r0, a.r1);
    if (na >= wb) {
      // The windows do not overlap: start afresh.
      wa = wb = na;
      std::fill(sr.begin(), sr.end(), 0), std::fill(sg.begin(), sg.end(), 0);
      std::fill(sb.begin(), sb.end(), 0), std::fill(sn.begin(), sn.end(), 0);
    }
    for (; wb < nb; ++wb) addRow(wb, 1);
    for (; wa < na; ++wa) addRow(wa, static_cast<S>(-1));
    // Plain pointers: the stores below must not make the compiler reload them.
    S* const PR = pr.data();
    S* const PG = pg.data();
    S* const PB = pb.data();
    uint32_t* const PN = pn.data();
    for (size_t c = 0; c < n; ++c) {
      PR[c + 1] = PR[c] + sr[c];
      PG[c + 1] = PG[c] + sg[c];
      PB[c + 1] = PB[c] + sb[c];
      PN[c + 1] = PN[c] + sn[c];
    }
    const bool centreRow = j >= a.r0 && j < a.r1;
    const uint8_t* centre = centreRow ? f.src.Row(a.sy + j) : nullptr;
    uint8_t* out = f.dst.Row(a.dy + j);
    const int* const LO = lo.data() - a.oc0;
    const int* const HI = hi.data() - a.oc0;
    const uint32_t keyMask = f.keyMask, keyValue = f.keyValue, alpha = f.computedAlpha;
    for (int i = a.oc0; i < a.oc1; ++i) {
      if (kKeyed) {
        // The pixel itself decides whether it is drawn; one outside the
        // source cannot be tested and is left.
        if (!centre || i < a.c0 || i >= a.c1 || (Plane::Load<P>(centre, a.sx + i) & keyMask) == keyValue) continue;
      }
      const size_t l = static_cast<size_t>(LO[i]), h = static_cast<size_t>(HI[i]);
      const uint32_t count = PN[h] - PN[l];
      if (count == 0) continue;
      uint32_t p = fx::Pack<D>(fx::Rgba{div.Divide(PR[h] - PR[l], count), div.Divide(PG[h] - PG[l], count),
                                        div.Divide(PB[h] - PB[l], count), 0});
      p = fx::ApplyAdd<D>(p, add);
      if constexpr (D::kBits == 16) f.Put<D>(out, a.dx + i, p | alpha);
      else Plane::Store<P>(out, a.dx + i, static_cast<P>(p | alpha));
    }
  }
}

// The same sums for windows of at most kPackedCells pixels, with the three
// channels in 21-bit lanes of one 64-bit word: a window's channel sum stays
// below 2^21, so sums and differences of packed words are the packed
// sums and differences (a lane may borrow on the way; the end result has
// every lane in range).
constexpr long long kPackedCells = 4096;
constexpr uint64_t kLane = (uint64_t{1} << 21) - 1;

template <typename D>
inline uint64_t PackLanes(uint32_t p) {
  return (uint64_t{(p >> D::kRShift) & D::kRMax} << 42) | (uint64_t{(p >> D::kGShift) & D::kGMax} << 21) |
         ((p >> D::kBShift) & D::kBMax);
}

// Each pixel of a run from its window's packed sums and count. For sum ≤
// max × count and count ≤ kPackedCells the float quotient truncates to the
// exact integer quotient: a true quotient that is not whole lies at least
// 1 / count below the next integer, far more than the float division's
// rounding (max × 2^-24). No branches, so the compiler vectorises the loop.
template <typename D, bool kKeyed, bool kAdd>
PELMORA_WIDE_CLONES void BlurOutRun(const uint64_t* sums, const uint32_t* counts, int count, const uint8_t* centre, uint8_t* out,
                const fx::AddColour& add, uint32_t keyMask, uint32_t keyValue, uint32_t alpha, bool flipBack) {
  using P = typename D::Pixel;
  const uint32_t ar = add.r, ag = add.g, ab = add.b;
  const uint32_t flipMask = flipBack ? ~0u : 0u;
  for (int i = 0; i < count; ++i) {
    const uint32_t n = counts[i];
    const uint64_t w = sums[i];
    const float div = static_cast<float>(static_cast<int32_t>(std::max(n, 1u)));
    auto mean = [div](uint64_t lane) {
      return static_cast<uint32_t>(static_cast<int32_t>(static_cast<float>(static_cast<int32_t>(lane)) / div));
    };
    uint32_t r = mean(w >> 42), g = mean((w >> 21) & kLane), b = mean(w & kLane);
    if constexpr (kAdd) {
      r = std::min(r + ar, D::kRMax);
      g = std::min(g + ag, D::kGMax);
      b = std::min(b + ab, D::kBMax);
    }
    uint32_t p = (r << D::kRShift) | (g << D::kGShift) | (b << D::kBShift) | alpha;
    if constexpr (D::kBits == 16) {
      const uint32_t wide = ((p & 0x7FE0u) << 1) | (p & 0x1Fu);  // 555 to 565: green widened by one bit
      p = (wide & flipMask) | (p & ~flipMask);
    }
    // Pixels without a window, and keyed ones whose own pixel is
    // transparent, keep what the destination holds.
    uint32_t keep = n == 0;
    if constexpr (kKeyed) keep |= (Plane::Load<P>(centre, i) & keyMask) == keyValue;
    const uint32_t keepMask = 0u - keep;
    Plane::Store<P>(out, i, static_cast<P>((Plane::Load<P>(out, i) & keepMask) | (p & ~keepMask)));
  }
}

template <typename D, bool kKeyed>
PELMORA_WIDE_CLONES void BlurPacked(const EffectFrame& f, const BlurArea& a, const fx::AddColour& add) {
  using P = typename D::Pixel;
  const size_t n = static_cast<size_t>(a.c1 - a.c0);
  // Column sums over the window's rows (packed) and their opaque counts.
  std::vector<uint64_t> cs(n);
  std::vector<uint32_t> cn(n);
  // Each output column's window as column-sum indexes [lo, hi): both grow
  // by at most one from a column to the next.
  const size_t outs = static_cast<size_t>(a.oc1 - a.oc0);
  std::vector<uint32_t> lo(outs), hi(outs);
  for (int i = a.oc0; i < a.oc1; ++i) {
    lo[static_cast<size_t>(i - a.oc0)] = static_cast<uint32_t>(Clamp(static_cast<long long>(i) - a.rx, a.c0, a.c1) - a.c0);
    hi[static_cast<size_t>(i - a.oc0)] = static_cast<uint32_t>(Clamp(static_cast<long long>(i) + a.rx, a.c0, a.c1) - a.c0);
  }
  // Output columns [inner0, inner1) (as indexes) have whole windows inside
  // the source columns: [i − rx, i + rx) − c0.
  const size_t inner0 = static_cast<size_t>(std::clamp<long long>(static_cast<long long>(a.c0) + a.rx, a.oc0, a.oc1) - a.oc0);
  const size_t inner1 = std::max(inner0, static_cast<size_t>(std::clamp<long long>(static_cast<long long>(a.c1) - a.rx + 1,
                                                                                  a.oc0, a.oc1) - a.oc0));
  std::vector<uint64_t> ws(outs);
  std::vector<uint32_t> wn(outs);
  uint64_t* const CS = cs.data();
  uint32_t* const CN = cn.data();
  const uint32_t keyMask = f.keyMask, keyValue = f.keyValue, alpha = f.computedAlpha;
  auto opaque = [&](uint32_t p) PELMORA_ALWAYS_INLINE -> uint32_t { return kKeyed ? (p & keyMask) != keyValue : 1u; };
  // Adds one source row to the column sums and takes another away (either may be absent).
  auto slide = [&](const uint8_t* in, const uint8_t* outRow) PELMORA_ALWAYS_INLINE {
    const ptrdiff_t first = static_cast<ptrdiff_t>(a.sx + a.c0) * ptrdiff_t{sizeof(P)};
    if (in) in += first;
    if (outRow) outRow += first;
    for (size_t c = 0; c < n; ++c) {
      uint64_t v = 0;
      uint32_t one = 0;
      if (in) {
        const uint32_t p = Plane::Load<P>(in, static_cast<int>(c));
        const uint32_t k = opaque(p);
        v += PackLanes<D>(p) & (0 - uint64_t{k}), one += k;
      }
      if (outRow) {
        const uint32_t p = Plane::Load<P>(outRow, static_cast<int>(c));
        const uint32_t k = opaque(p);
        v -= PackLanes<D>(p) & (0 - uint64_t{k}), one -= k;
      }
      CS[c] += v;
      CN[c] += one;
    }
  };
  int wa = a.r0, wb = a.r0;  // rows [wa, wb) are in the column sums
  for (int j = a.or0; j < a.or1; ++j) {
    const int na = Clamp(static_cast<long long>(j) - a.ry, a.r0, a.r1);
    const int nb = Clamp(static_cast<long long>(j) + a.ry, a.r0, a.r1);
    if (na >= wb) {
      // The windows do not overlap: start afresh.
      wa = wb = na;
      std::fill(cs.begin(), cs.end(), 0);
      std::fill(cn.begin(), cn.end(), 0);
    }
    for (; wb < nb && wa < na; ++wb, ++wa) slide(f.src.Row(a.sy + wb), f.src.Row(a.sy + wa));
    for (; wb < nb; ++wb) slide(f.src.Row(a.sy + wb), nullptr);
    for (; wa < na; ++wa) slide(nullptr, f.src.Row(a.sy + wa));
    // The pixel itself decides whether a keyed pixel is drawn; a row outside
    // the source cannot be tested and is left.
    const bool centreRow = j >= a.r0 && j < a.r1;
    if (kKeyed && !centreRow) continue;
    // Window sums along the row, sliding; locals so that the stores cannot
    // make the compiler reload them.
    {
      uint64_t w = 0;
      uint32_t count = 0;
      size_t l = lo[0], h = lo[0];
      const uint32_t* const LO = lo.data();
      const uint32_t* const HI = hi.data();
      uint64_t* const WS = ws.data();
      uint32_t* const WN = wn.data();
      auto general = [&](size_t from, size_t to) {
        for (size_t k = from; k < to; ++k) {
          for (; h < HI[k]; ++h) w += CS[h], count += CN[h];
          for (; l < LO[k]; ++l) w -= CS[l], count -= CN[l];
          WS[k] = w, WN[k] = count;
        }
      };
      // Past the first whole window each column adds one column sum and
      // drops one, until the window meets the far edge.
      general(0, std::min(inner0 + 1, outs));
      // The changes first (no carried value: vectorised), then one running
      // addition each.
      if (inner0 + 1 < inner1) {
        const size_t first = inner0 + 1, len = inner1 - first;
        for (size_t k = 0; k < len; ++k) {
          WS[first + k] = CS[h + k] - CS[l + k];
          WN[first + k] = CN[h + k] - CN[l + k];
        }
        for (size_t k = first; k < inner1; ++k) {
          w += WS[k], count += WN[k];
          WS[k] = w, WN[k] = count;
        }
        h += len, l += len;
      }
      general(std::max(inner0 + 1, inner1), outs);
    }
    // Keyed pixels are drawn only where their own source pixel lies in the
    // source: the columns [c0, c1).
    int from = a.oc0, to = a.oc1;
    if (kKeyed) from = std::max(from, a.c0), to = std::min(to, a.c1);
    if (from >= to) continue;
    const uint8_t* centre = centreRow ? f.src.Row(a.sy + j) + static_cast<ptrdiff_t>(a.sx + from) * ptrdiff_t{sizeof(P)}
                                      : nullptr;
    uint8_t* out = f.dst.Row(a.dy + j) + static_cast<ptrdiff_t>(a.dx + from) * ptrdiff_t{sizeof(P)};
    const size_t at = static_cast<size_t>(from - a.oc0);
    (add.on ? BlurOutRun<D, kKeyed, true> : BlurOutRun<D, kKeyed, false>)(ws.data() + at, wn.data() + at, to - from,
                                                                        centre, out, add, keyMask, keyValue, alpha,
                                                                        D::kBits == 16 && f.flipBack);
  }
}

constexpr int kLaneRun = 256;  // pixels of cut windows worked out at a time

// Pixels of a run from window sums (red, green, blue, count), each given
// as the sum of two parts (sums + more): the mean by one reciprocal, exact
// because (s + ½) / n lies at least 1 / 2n from a whole number while the
// float product errs by less than 2^-15 for means below 256 and n ≤ 4,096.
// Keyed pixels whose own source pixel is transparent, and pixels without a
// window, keep what they hold.
template <typename D, bool kKeyed, bool kAdd, typename S>
PELMORA_WIDE_CLONES void LaneMeans(const S* const* sums, const S* const* more, int count, const uint8_t* centre,
                                   uint8_t* out, const fx::AddColour& add, uint32_t keyMask, uint32_t keyValue,
                                   uint32_t alpha, bool flipBack) {
  using P = typename D::Pixel;
  const uint32_t ar = add.r, ag = add.g, ab = add.b;
  const uint32_t flipMask = flipBack ? ~0u : 0u;
  const S *rs0 = sums[0], *gs0 = sums[1], *bs0 = sums[2], *ns0 = sums[3];
  const S *rs1 = more[0], *gs1 = more[1], *bs1 = more[2], *ns1 = more[3];
  for (int i = 0; i < count; ++i) {
    // Each sum is the sum of its two parts (in the arrays' own width).
    const S rsi = static_cast<S>(rs0[i] + rs1[i]), gsi = static_cast<S>(gs0[i] + gs1[i]);
    const S bsi = static_cast<S>(bs0[i] + bs1[i]);
    const uint32_t n = static_cast<S>(ns0[i] + ns1[i]);
    const float rcp = 1.0f / static_cast<float>(static_cast<int32_t>(std::max(n, 1u)));
    auto mean = [rcp](uint32_t sum) {
      return static_cast<uint32_t>(static_cast<int32_t>((static_cast<float>(static_cast<int32_t>(sum)) + 0.5f) * rcp));
    };
    uint32_t r = mean(rsi), g = mean(gsi), b = mean(bsi);
    if constexpr (kAdd) {
      r = std::min(r + ar, D::kRMax);
      g = std::min(g + ag, D::kGMax);
      b = std::min(b + ab, D::kBMax);
    }
    uint32_t p = (r << D::kRShift) | (g << D::kGShift) | (b << D::kBShift) | alpha;
    if constexpr (D::kBits == 16) {
      const uint32_t wide = ((p & 0x7FE0u) << 1) | (p & 0x1Fu);  // 555 to 565: green widened by one bit
      p = (wide & flipMask) | (p & ~flipMask);
    }
    uint32_t keep = n == 0;
    if constexpr (kKeyed) keep |= (Plane::Load<P>(centre, i) & keyMask) == keyValue;
    const uint32_t keepMask = 0u - keep;
    Plane::Store<P>(out, i, static_cast<P>((Plane::Load<P>(out, i) & keepMask) | (p & ~keepMask)));
  }
}

// The same sums for windows whose sums stay below 2^16 (max × cells ≤
// 65535), in 16-bit lanes: one array each for the red, green and blue sums
// and the opaque count of each source column, sixteen columns to a vector
// register. Column sums slide down the rows; a row's window sums come from
// the column sums by doubling (sums of 2, 4, 8 … columns, and the window
// made of those), with no running sum along the row to wait on. The arrays
// wrap modulo 2^16 on the way, which the true sums never reach.
constexpr int kChannels = 4;  // red, green, blue, count

// Each array holds the four channels one after another, `stride` apart, so
// that one pass of the doubling covers all of them.
struct BlurLanes {
  std::vector<uint16_t> column;     // column sums of the window's rows
  std::vector<uint16_t> even, odd;  // sums over runs of columns (the doubling)
  std::vector<uint16_t> window;     // window sums of the output columns
  std::vector<uint16_t> zeros;      // a part that adds nothing
};

// The source row `in` added to the column sums (kSign 1) or taken away (−1).
template <typename D, bool kKeyed, int kSign>
PELMORA_WIDE_CLONES void SlideLanes(const uint8_t* __restrict in, size_t n, uint16_t* __restrict R,
                                    uint16_t* __restrict G, uint16_t* __restrict B, uint16_t* __restrict N,
                                    uint32_t keyMask, uint32_t keyValue) {
  using P = typename D::Pixel;
  for (size_t c = 0; c < n; ++c) {
    P v;
    std::memcpy(&v, in + c * sizeof(P), sizeof v);
    const uint32_t p = v;
    const uint32_t one = kKeyed ? static_cast<uint32_t>((p & keyMask) != keyValue) : 1u;
    const uint32_t mask = 0u - one;
    const uint16_t r = static_cast<uint16_t>(((p >> D::kRShift) & D::kRMax) & mask);
    const uint16_t g = static_cast<uint16_t>(((p >> D::kGShift) & D::kGMax) & mask);
    const uint16_t b = static_cast<uint16_t>(((p >> D::kBShift) & D::kBMax) & mask);
    if constexpr (kSign > 0) {
      R[c] = static_cast<uint16_t>(R[c] + r), G[c] = static_cast<uint16_t>(G[c] + g);
      B[c] = static_cast<uint16_t>(B[c] + b), N[c] = static_cast<uint16_t>(N[c] + one);
    } else {
      R[c] = static_cast<uint16_t>(R[c] - r), G[c] = static_cast<uint16_t>(G[c] - g);
      B[c] = static_cast<uint16_t>(B[c] - b), N[c] = static_cast<uint16_t>(N[c] - one);
    }
  }
}

// One source row added to the column sums and another taken away, in one pass.
template <typename D, bool kKeyed>
PELMORA_WIDE_CLONES void ExchangeLanes(const uint8_t* __restrict in, const uint8_t* __restrict leaving, size_t n,
                                       uint16_t* __restrict R, uint16_t* __restrict G, uint16_t* __restrict B,
                                       uint16_t* __restrict N, uint32_t keyMask, uint32_t keyValue) {
  using P = typename D::Pixel;
  for (size_t c = 0; c < n; ++c) {
    P v, w;
    std::memcpy(&v, in + c * sizeof(P), sizeof v);
    std::memcpy(&w, leaving + c * sizeof(P), sizeof w);
    const uint32_t p = v, q = w;
    const uint32_t one = kKeyed ? static_cast<uint32_t>((p & keyMask) != keyValue) : 1u;
    const uint32_t gone = kKeyed ? static_cast<uint32_t>((q & keyMask) != keyValue) : 1u;
    const uint32_t pm = 0u - one, qm = 0u - gone;
    R[c] = static_cast<uint16_t>(R[c] + (((p >> D::kRShift) & D::kRMax) & pm) - (((q >> D::kRShift) & D::kRMax) & qm));
    G[c] = static_cast<uint16_t>(G[c] + (((p >> D::kGShift) & D::kGMax) & pm) - (((q >> D::kGShift) & D::kGMax) & qm));
    B[c] = static_cast<uint16_t>(B[c] + (((p >> D::kBShift) & D::kBMax) & pm) - (((q >> D::kBShift) & D::kBMax) & qm));
    N[c] = static_cast<uint16_t>(N[c] + one - gone);
  }
}

// to[k] = a[k] + b[k] for k < n (to apart from both).
PELMORA_WIDE_CLONES void SumLanes(uint16_t* __restrict to, const uint16_t* __restrict a, const uint16_t* __restrict b,
                                  size_t n) {
  for (size_t k = 0; k < n; ++k) to[k] = static_cast<uint16_t>(a[k] + b[k]);
}

// to[k] = a[k] + a[k + p] + a[k + 2p] + a[k + 3p] for k < n (to apart from a).
PELMORA_WIDE_CLONES void SumLanes4(uint16_t* __restrict to, const uint16_t* __restrict a, size_t p, size_t n) {
  for (size_t k = 0; k < n; ++k)
    to[k] = static_cast<uint16_t>(static_cast<uint16_t>(a[k] + a[k + p]) + static_cast<uint16_t>(a[k + 2 * p] + a[k + 3 * p]));
}

// to[k] += b[k] for k < n (to apart from b).
PELMORA_WIDE_CLONES void AddLanes(uint16_t* __restrict to, const uint16_t* __restrict b, size_t n) {
  for (size_t k = 0; k < n; ++k) to[k] = static_cast<uint16_t>(to[k] + b[k]);
}

// The window sums col[k] + … + col[k + len − 1] for k ≤ n − len of each of
// the four channels (`stride` apart), as two parts, by doubling: sums of p
// columns for p = 1, 2, 4 … (each from the one before, alternating between
// the buffers `even` and `odd`, all channels in one pass, skipping to 4p
// where 2p is not wanted; a channel's last entries then take in the next
// channel's first ones, and are never read), and the window made of the
// spans of len's set bits. The last span is left as the second part, the
// others are summed into `out` (or, when there are none, the first part is
// `zeros`, or a window of two equal spans is left as those two).
struct WindowParts {
  const uint16_t* first;
  const uint16_t* second;
};
WindowParts WindowSums(const uint16_t* col, size_t n, size_t stride, size_t len, uint16_t* even, uint16_t* odd,
                       uint16_t* out, const uint16_t* zeros) {
  const size_t m = n - len + 1, all = (kChannels - 1) * stride;
  const uint16_t* span = col;
  size_t at = 0;  // columns the window already covers
  bool started = false;
  for (size_t p = 1;; p *= 2) {
    if (len & p) {
      if ((len & ~(2 * p - 1)) == 0) return {started ? out : zeros, span + at};  // the last span
      if (!started) std::memcpy(out, span + at, (all + m) * sizeof(uint16_t)), started = true;
      else AddLanes(out, span + at, all + m);
      at += p;
    }
    // Only a span of 2p left, and nothing summed yet: two spans of p.
    if (!started && (len & ~(2 * p - 1)) == 2 * p) return {span + at, span + at + p};
    uint16_t* next = span == even ? odd : even;
    if ((len & (2 * p)) == 0 && 4 * p <= len) {
      // No span of 2p is wanted: straight to sums of 4p columns.
      SumLanes4(next, span, p, all + n - 3 * p);
      span = next;
      p *= 2;
      continue;
    }
    SumLanes(next, span, span + p, all + n - p);
    span = next;
  }
}

template <typename D, bool kKeyed>
void BlurInLanes(const EffectFrame& f, const BlurArea& a, const fx::AddColour& add) {
  using P = typename D::Pixel;
  const size_t n = static_cast<size_t>(a.c1 - a.c0);
  const size_t len = static_cast<size_t>(2) * static_cast<size_t>(a.rx);
  thread_local BlurLanes lanes;
  const size_t stride = (n + 15) & ~size_t{15};
  lanes.column.assign(kChannels * stride, 0);
  lanes.even.resize(kChannels * stride), lanes.odd.resize(kChannels * stride), lanes.window.resize(kChannels * stride);
  lanes.zeros.assign(kChannels * std::max<size_t>(stride, kLaneRun), 0);
  uint16_t* C[kChannels];
  for (int c = 0; c < kChannels; ++c) C[c] = lanes.column.data() + c * stride;
  const std::vector<uint16_t>& zeros = lanes.zeros;
  const uint32_t keyMask = f.keyMask, keyValue = f.keyValue, alpha = f.computedAlpha;
  const bool flip = D::kBits == 16 && f.flipBack;
  const ptrdiff_t first = static_cast<ptrdiff_t>(a.sx + a.c0) * ptrdiff_t{sizeof(P)};
  auto means = add.on ? LaneMeans<D, kKeyed, true, uint16_t> : LaneMeans<D, kKeyed, false, uint16_t>;
  // Output columns whose window lies whole inside the source columns:
  // [i − rx, i + rx) − c0 = [k, k + len) with k = i − rx − c0.
  const int inner0 = static_cast<int>(std::clamp<long long>(static_cast<long long>(a.c0) + a.rx, a.oc0, a.oc1));
  const int inner1 = std::max(inner0, static_cast<int>(std::clamp<long long>(static_cast<long long>(a.c1) - a.rx + 1,
                                                                             a.oc0, a.oc1)));
  // Windows cut by the source's edge: their sums, worked out one by one.
  uint16_t edge[kChannels][kLaneRun];
  auto at = [](auto* row, int i) { return row ? row + static_cast<ptrdiff_t>(i) * ptrdiff_t{sizeof(P)} : nullptr; };
  int wa = a.r0, wb = a.r0;  // rows [wa, wb) are in the column sums
  for (int j = a.or0; j < a.or1; ++j) {
    const int na = Clamp(static_cast<long long>(j) - a.ry, a.r0, a.r1);
    const int nb = Clamp(static_cast<long long>(j) + a.ry, a.r0, a.r1);
    if (na >= wb) {
      // The windows do not overlap: start afresh.
      wa = wb = na;
      std::fill(lanes.column.begin(), lanes.column.end(), uint16_t{0});
    }
    for (; wb < nb && wa < na; ++wb, ++wa)
      ExchangeLanes<D, kKeyed>(f.src.Row(a.sy + wb) + first, f.src.Row(a.sy + wa) + first, n, C[0], C[1], C[2], C[3],
                               keyMask, keyValue);
    for (; wb < nb; ++wb)
      SlideLanes<D, kKeyed, 1>(f.src.Row(a.sy + wb) + first, n, C[0], C[1], C[2], C[3], keyMask, keyValue);
    for (; wa < na; ++wa)
      SlideLanes<D, kKeyed, -1>(f.src.Row(a.sy + wa) + first, n, C[0], C[1], C[2], C[3], keyMask, keyValue);
    // The pixel itself decides whether a keyed pixel is drawn; a row outside
    // the source cannot be tested and is left.
    const bool centreRow = j >= a.r0 && j < a.r1;
    if (kKeyed && !centreRow) continue;
    // Keyed pixels are drawn only where their own source pixel lies in the
    // source: the columns [c0, c1).
    int from = a.oc0, to = a.oc1;
    if (kKeyed) from = std::max(from, a.c0), to = std::min(to, a.c1);
    if (from >= to) continue;
    const uint8_t* centre = centreRow ? f.src.Row(a.sy + j) : nullptr;
    uint8_t* out = f.dst.Row(a.dy + j);
    const int w0 = std::clamp(inner0, from, to), w1 = std::clamp(inner1, w0, to);
    if (w0 < w1) {
      const size_t k = static_cast<size_t>(w0 - a.rx - a.c0);
      const uint16_t *win[kChannels], *more[kChannels];
      const WindowParts parts = WindowSums(C[0], n, stride, len, lanes.even.data(), lanes.odd.data(),
                                           lanes.window.data(), zeros.data());
      for (int c = 0; c < kChannels; ++c) win[c] = parts.first + c * stride + k, more[c] = parts.second + c * stride + k;
      means(win, more, w1 - w0, at(centre, a.sx + w0), at(out, a.dx + w0), add, keyMask, keyValue, alpha, flip);
    }
    auto cut = [&](int i0, int i1) {
      // Both ends of the window only move right from one pixel to the
      // next: the sums slide along (modulo 2^16 on the way).
      uint16_t sum[kChannels] = {};
      int l = 0, h = 0;  // columns [l, h) are in `sum`
      if (i0 < i1) l = h = Clamp(static_cast<long long>(i0) - a.rx, a.c0, a.c1) - a.c0;
      for (int i = i0; i < i1; i += kLaneRun) {
        const int part = std::min(kLaneRun, i1 - i);
        for (int q = 0; q < part; ++q) {
          const int nl = Clamp(static_cast<long long>(i + q) - a.rx, a.c0, a.c1) - a.c0;
          const int nh = Clamp(static_cast<long long>(i + q) + a.rx, a.c0, a.c1) - a.c0;
          for (; h < nh; ++h)
            for (int c = 0; c < kChannels; ++c) sum[c] = static_cast<uint16_t>(sum[c] + C[c][h]);
          for (; l < nl; ++l)
            for (int c = 0; c < kChannels; ++c) sum[c] = static_cast<uint16_t>(sum[c] - C[c][l]);
          for (int c = 0; c < kChannels; ++c) edge[c][q] = sum[c];
        }
        const uint16_t* win[kChannels] = {edge[0], edge[1], edge[2], edge[3]};
        const uint16_t* none[kChannels] = {zeros.data(), zeros.data(), zeros.data(), zeros.data()};
        means(win, none, part, at(centre, a.sx + i), at(out, a.dx + i), add, keyMask, keyValue, alpha, flip);
      }
    };
    cut(from, w0);
    cut(w1, to);
  }
}

// A blur onto the pixels it reads: pixel by pixel in row order, each window
// read from the surface as it is at that moment.
template <typename D, bool kKeyed>
void BlurInPlace(const EffectFrame& f, const BlurArea& a, const fx::AddColour& add) {
  using P = typename D::Pixel;
  CountDivider div;
  for (int j = a.or0; j < a.or1; ++j) {
    const int ra = Clamp(static_cast<long long>(j) - a.ry, a.r0, a.r1);
    const int rb = Clamp(static_cast<long long>(j) + a.ry, a.r0, a.r1);
    uint8_t* out = f.dst.Row(a.dy + j);
    for (int i = a.oc0; i < a.oc1; ++i) {
      if (kKeyed) {
        if (j < a.r0 || j >= a.r1 || i < a.c0 || i >= a.c1) continue;
        if (f.Transparent(f.src.Get<P>(a.sx + i, a.sy + j))) continue;
      }
      const int ca = Clamp(static_cast<long long>(i) - a.rx, a.c0, a.c1);
      const int cb = Clamp(static_cast<long long>(i) + a.rx, a.c0, a.c1);
      Sums s;
      for (int t = ra; t < rb; ++t) {
        const uint8_t* in = f.src.Row(a.sy + t);
        for (int u = ca; u < cb; ++u) {
          const uint32_t p = Plane::Load<P>(in, a.sx + u);
          if (kKeyed && f.Transparent(p)) continue;
          s.Add(fx::Unpack<D>(p));
        }
      }
      if (s.n == 0) continue;
      f.PutComputed<D>(out, a.dx + i, MeanPixel<D>(s, div, add));
    }
  }
}

bool Overlap(int a, int an, int b, int bn) {
  return static_cast<long long>(a) < static_cast<long long>(b) + bn &&
         static_cast<long long>(b) < static_cast<long long>(a) + an;
}

// ---- mosaic ----

// The source row `row` added to a band's column sums: each channel on
// 0..255 and the opaque count, in vector steps.
template <typename D, bool kKeyed>
PELMORA_WIDE_CLONES void MosaicColumnSums(const uint8_t* __restrict row, int n, uint32_t* __restrict R,
                                          uint32_t* __restrict G, uint32_t* __restrict B, uint32_t* __restrict N,
                                          uint32_t keyMask, uint32_t keyValue) {
  using P = typename D::Pixel;
  for (int x = 0; x < n; ++x) {
    P v;
    std::memcpy(&v, row + static_cast<size_t>(x) * sizeof(P), sizeof v);
    const uint32_t p = v;
    const uint32_t one = kKeyed ? static_cast<uint32_t>((p & keyMask) != keyValue) : 1u;
    const uint32_t mask = 0u - one;
    R[x] += fx::To255Of<D::kRMax>((p >> D::kRShift) & D::kRMax) & mask;
    G[x] += fx::To255Of<D::kGMax>((p >> D::kGShift) & D::kGMax) & mask;
    B[x] += fx::To255Of<D::kBMax>((p >> D::kBShift) & D::kBMax) & mask;
    N[x] += one;
  }
}

// MosaicLoop's blocks for 16- and 32-bit colour onto another surface: a band
// of blocks' rows summed column by column first (every source pixel read
// once, in vector steps), then each block's sums taken from its columns.
template <typename D, bool kKeyed>
void MosaicBands(const EffectFrame& f, int dx, int dy, int w, int h, int size, int sx, int sy,
                 const fx::AddColour& add) {
  using P = typename D::Pixel;
  int oc0, oc1, or0, or1, c0, c1, r0, r1;
  fx::ClipSpan(dx, w, f.dst.width, oc0, oc1);
  fx::ClipSpan(dy, h, f.dst.height, or0, or1);
  fx::ClipSpan(sx, w, f.src.width, c0, c1);
  fx::ClipSpan(sy, h, f.src.height, r0, r1);
  if (oc0 >= oc1 || or0 >= or1) return;
  const long long first = static_cast<long long>(oc0 / size) * size;
  const long long lastStart = static_cast<long long>((oc1 - 1) / size) * size;
  const int xa = static_cast<int>(std::max<long long>(first, c0));
  const int xb = static_cast<int>(std::min<long long>(std::min<long long>(lastStart + size, w), c1));
  const int n = std::max(0, xb - xa);
  thread_local std::vector<uint32_t> sums;
  sums.resize(static_cast<size_t>(n) * 4);
  uint32_t* const R = sums.data();
  uint32_t* const G = R + n;
  uint32_t* const B = G + n;
  uint32_t* const N = B + n;
  const uint32_t keyMask = f.keyMask, keyValue = f.keyValue;
  for (long long top = static_cast<long long>(or0 / size) * size; top < or1; top += size) {
    const int bottom = static_cast<int>(std::min<long long>(top + size, h));
    const int ya = static_cast<int>(std::max<long long>(top, r0)), yb = std::min(bottom, r1);
    std::fill(sums.begin(), sums.end(), 0u);
    for (int y = ya; y < yb && n > 0; ++y)
      MosaicColumnSums<D, kKeyed>(f.src.Row(sy + y) + static_cast<ptrdiff_t>(sx + xa) * ptrdiff_t{sizeof(P)}, n, R, G,
                                  B, N, keyMask, keyValue);
    for (long long left = first; left < oc1; left += size) {
      const int right = static_cast<int>(std::min<long long>(left + size, w));
      const int la = static_cast<int>(std::max<long long>(left, c0)) - xa, lb = std::min(right, c1) - xa;
      uint64_t sr = 0, sg = 0, sb = 0, count = 0;
      for (int x = std::max(la, 0); x < lb; ++x) sr += R[x], sg += G[x], sb += B[x], count += N[x];
      if (count == 0) continue;
      uint32_t colour = fx::Pack<D>(fx::Rgba{fx::From255Of<D::kRMax>(static_cast<uint32_t>(sr / count)),
                                             fx::From255Of<D::kGMax>(static_cast<uint32_t>(sg / count)),
                                             fx::From255Of<D::kBMax>(static_cast<uint32_t>(sb / count)), 0});
      // A mean that happens to be the colour key would read as a hole.
      if (kKeyed && !f.direct3d && colour == f.keyValue) continue;
      colour = fx::ApplyAdd<D>(colour, add) | f.computedAlpha;
      if constexpr (D::kBits == 16) {
        if (f.flipBack) colour = ((colour & 0x7FE0u) << 1) | (colour & 0x1Fu);  // 555 to 565: green widened by one bit
      }
      const P raw = static_cast<P>(colour);
      const int x0 = static_cast<int>(std::max<long long>(left, oc0)), x1 = std::min(right, oc1);
      for (int y = static_cast<int>(std::max<long long>(top, or0)); y < std::min(bottom, or1); ++y) {
        uint8_t* out = f.dst.Row(dy + y);
        for (int x = x0; x < x1; ++x) Plane::Store<P>(out, dx + x, raw);
      }
    }
  }
}

template <typename D, bool kKeyed>
void MosaicLoop(const EffectFrame& f, int dx, int dy, int w, int h, int size, int sx, int sy,
                const fx::AddColour& add) {
  using P = typename D::Pixel;
  int oc0, oc1, or0, or1, c0, c1, r0, r1;
  fx::ClipSpan(dx, w, f.dst.width, oc0, oc1);
  fx::ClipSpan(dy, h, f.dst.height, or0, or1);
  fx::ClipSpan(sx, w, f.src.width, c0, c1);
  fx::ClipSpan(sy, h, f.src.height, r0, r1);
  if (oc0 >= oc1 || or0 >= or1) return;
  // Only the blocks that reach into the destination are worked out.
  for (long long by = static_cast<long long>(or0 / size) * size; by < or1; by += size) {
    const int top = static_cast<int>(by), bottom = static_cast<int>(std::min<long long>(by + size, h));
    for (long long bx = static_cast<long long>(oc0 / size) * size; bx < oc1; bx += size) {
      const int left = static_cast<int>(bx), right = static_cast<int>(std::min<long long>(bx + size, w));
      uint32_t colour;
      if constexpr (D::kIndexed) {
        // The block's top-left source pixel (none outside the source).
        if (left < c0 || left >= c1 || top < r0 || top >= r1) continue;
        colour = f.src.Get<P>(sx + left, sy + top);
        if (kKeyed && f.Transparent(colour)) continue;
      } else {
        Sums s;
        for (int y = std::max(top, r0); y < std::min(bottom, r1); ++y) {
          const uint8_t* in = f.src.Row(sy + y);
          for (int x = std::max(left, c0); x < std::min(right, c1); ++x) {
            const uint32_t p = Plane::Load<P>(in, sx + x);
            if (kKeyed && f.Transparent(p)) continue;
            const fx::Rgba c = fx::Unpack<D>(p);
            s.r += fx::To255(c.r, D::kRMax);
            s.g += fx::To255(c.g, D::kGMax);
            s.b += fx::To255(c.b, D::kBMax);
            ++s.n;
          }
        }
        if (s.n == 0) continue;
        colour = fx::Pack<D>(fx::Rgba{fx::From255(static_cast<uint32_t>(s.r / s.n), D::kRMax),
                                      fx::From255(static_cast<uint32_t>(s.g / s.n), D::kGMax),
                                      fx::From255(static_cast<uint32_t>(s.b / s.n), D::kBMax), 0});
        // A mean that happens to be the colour key would read as a hole.
        if (kKeyed && !f.direct3d && colour == f.keyValue) continue;
        colour = fx::ApplyAdd<D>(colour, add);
      }
      const int x0 = std::max(left, oc0), x1 = std::min(right, oc1);
      for (int y = std::max(top, or0); y < std::min(bottom, or1); ++y) {
        uint8_t* out = f.dst.Row(dy + y);
        for (int x = x0; x < x1; ++x) {
          if constexpr (D::kIndexed) f.Put<D>(out, dx + x, colour);
          else f.PutComputed<D>(out, dx + x, colour);
        }
      }
    }
  }
}

}  // namespace

int DDBltBlur(DDSURFACEDATA* lpDstSD, int dx, int dy, int w, int h, int rx, int ry, DDSURFACEDATA* lpSrcSD, int sx,
              int sy, uint32_t dwFlags, const DDDRAWSTATE* lpState) {
  if (rx <= 0 || ry <= 0 || w <= 0 || h <= 0 || !lpDstSD || !lpSrcSD) return 0;
  if (fx::EffectDepthCode() == 8) return 0;  // no blur of palette numbers
  return fx::RunEffect(lpDstSD, lpSrcSD, dwFlags == 1, fx::KeyRule::Table,
                       [&]<typename D, bool kKeyed>(const EffectFrame& f) {
                         if constexpr (!D::kIndexed) {
                           BlurArea a{dx, dy, w, h, rx, ry, sx, sy, 0, 0, 0, 0, 0, 0, 0, 0};
                           fx::ClipSpan(sx, w, f.src.width, a.c0, a.c1);
                           fx::ClipSpan(sy, h, f.src.height, a.r0, a.r1);
                           fx::ClipSpan(dx, w, f.dst.width, a.oc0, a.oc1);
                           fx::ClipSpan(dy, h, f.dst.height, a.or0, a.or1);
                           if (a.c0 >= a.c1 || a.r0 >= a.r1 || a.oc0 >= a.oc1 || a.or0 >= a.or1) return;
                           const fx::AddColour add = f.direct3d ? fx::MakeAddColour<D>(lpState) : fx::AddColour{};
                           // The largest window sum: 255 for each pixel the window can hold.
                           const long long cells = std::min<long long>(2LL * rx, a.c1 - a.c0) *
                                                   std::min<long long>(2LL * ry, a.r1 - a.r0);
                           if (f.sameSurface && Overlap(dx, w, sx, w) && Overlap(dy, h, sy, h))
                             BlurInPlace<D, kKeyed>(f, a, add);
                           else if (cells * D::kRMax <= 65535 && cells * D::kGMax <= 65535)
                             BlurInLanes<D, kKeyed>(f, a, add);
                           else if (cells <= kPackedCells)
                             BlurPacked<D, kKeyed>(f, a, add);
                           else
                             BlurRunning<D, kKeyed>(f, a, add);
                         }
                       });
}

int DDBltMosaic(DDSURFACEDATA* lpDstSD, int dx, int dy, int w, int h, int nSize, DDSURFACEDATA* lpSrcSD, int sx,
                int sy, uint32_t dwFlags, const DDDRAWSTATE* lpState) {
  if (nSize <= 0 || w <= 0 || h <= 0 || !lpDstSD || !lpSrcSD) return 0;
  return fx::RunEffect(lpDstSD, lpSrcSD, dwFlags == 1, fx::KeyRule::Table,
                       [&]<typename D, bool kKeyed>(const EffectFrame& f) {
                         const fx::AddColour add = f.direct3d ? fx::MakeAddColour<D>(lpState) : fx::AddColour{};
                         if constexpr (!D::kIndexed) {
                           // A mosaic onto its own source reads blocks it may have drawn.
                           if (!f.sameSurface) {
                             MosaicBands<D, kKeyed>(f, dx, dy, w, h, nSize, sx, sy, add);
                             return;
                           }
                         }
                         MosaicLoop<D, kKeyed>(f, dx, dy, w, h, nSize, sx, sy, add);
                       });
}
