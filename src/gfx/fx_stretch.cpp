// The processor road of the stretch blit.
#include <vector>

#include "gfx/fx_frame.h"
#include "gfx/fx_geom.h"

namespace fx {

void ProcessorStretch(DDSURFACEDATA* lpDst, int dx, int dy, int dw, int dh, DDSURFACEDATA* lpSrc, int sx, int sy,
                      int sw, int sh, uint32_t dwFlags) {
  if (DDState.nBpp != 16 && DDState.nBpp != 32) return;
  if (dw <= 0 || dh <= 0) return;
  const bool same = dw == sw && dh == sh;
  const float rx = static_cast<float>(sw) / static_cast<float>(dw);
  const float ry = static_cast<float>(sh) / static_cast<float>(dh);
  RunEffect(lpDst, lpSrc, dwFlags == 1, KeyRule::Table, [&]<typename D, bool kKeyed>(const EffectFrame& f) {
    using P = typename D::Pixel;
    if constexpr (D::kBits == 8) {
      return;  // the device draws no 8-bit pictures
    } else {
      // The source column of every destination column, worked out once: -1
      // where the column or its source lies outside.
      int c0 = 0, c1 = 0;
      ClipSpan(dx, dw, f.dst.width, c0, c1);
      thread_local std::vector<int> from;
      from.assign(static_cast<size_t>(c1 > c0 ? c1 - c0 : 0), -1);
      for (int c = c0; c < c1; ++c) {
        long long fxc;
        if (same) {
          fxc = static_cast<long long>(sx) + c;
        } else {
          int k = static_cast<int>(static_cast<float>(c) * rx);
          if (sw < 0) {
            if (!(sw < k && k <= 0)) continue;
            k -= 1;
          } else if (!(k >= 0 && k < sw)) {
            continue;
          }
          fxc = static_cast<long long>(sx) + k;
        }
        if (fxc >= 0 && fxc < f.src.width) from[static_cast<size_t>(c - c0)] = static_cast<int>(fxc);
      }
      int r0 = 0, r1 = 0;
      ClipSpan(dy, dh, f.dst.height, r0, r1);
      for (int r = r0; r < r1; ++r) {
        const long long fy = static_cast<long long>(sy) + (same ? r : static_cast<int>(static_cast<float>(r) * ry));
        if (fy < 0 || fy >= f.src.height) continue;
        const uint8_t* in = f.src.Row(static_cast<int>(fy));
        uint8_t* out = f.dst.Row(dy + r);
        for (int c = c0; c < c1; ++c) {
          const int col = from[static_cast<size_t>(c - c0)];
          if (col < 0) continue;
          const uint32_t p = Plane::Load<P>(in, col);
          if constexpr (kKeyed) {
            if (f.Transparent(p)) continue;
          }
          f.template Put<D>(out, dx + c, p);
        }
      }
    }
  });
}

}  // namespace fx
