// Triangle set-up and point sampling of the software device, shared by its
// general rasteriser and its stepped road so that both work out every value
// identically. Internal to the device.
#pragma once

#include <algorithm>
#include <cmath>
#include <utility>

#include "platform/soft_pixels.h"

namespace plat::soft {

inline double EdgeValue(const QuadVertex& p, const QuadVertex& q, double x, double y) {
  return (static_cast<double>(q.x) - p.x) * (y - p.y) - (static_cast<double>(q.y) - p.y) * (x - p.x);
}

// A triangle wound so that its edge functions are positive inside; edge i
// runs from v[i + 1] to v[i + 2]. topLeft[i]: pixels exactly on edge i
// belong to the triangle.
struct TriangleSetup {
  const QuadVertex* v[3];
  double area;
  bool topLeft[3];
  int x0, x1, y0, y1;  // the pixel box to scan (inclusive), cut to the target
};

// False for a triangle without area (nothing is drawn).
inline bool SetUpTriangle(const QuadVertex& a, const QuadVertex& b, const QuadVertex& c, int width, int height,
                   TriangleSetup& t) {
  t.v[0] = &a, t.v[1] = &b, t.v[2] = &c;
  t.area = EdgeValue(a, b, c.x, c.y);
  if (t.area == 0) return false;
  if (t.area < 0) {
    std::swap(t.v[1], t.v[2]);
    t.area = -t.area;
  }
  // Top-left rule with y pointing down: an edge whose interior lies on its
  // positive side is a left edge when it runs upwards, a top edge when it
  // is horizontal and runs to the right.
  auto topLeft = [](const QuadVertex& p, const QuadVertex& q) {
    const double dy = static_cast<double>(q.y) - p.y, dx = static_cast<double>(q.x) - p.x;
    return dy < 0 || (dy == 0 && dx > 0);
  };
  for (int i = 0; i < 3; ++i) t.topLeft[i] = topLeft(*t.v[(i + 1) % 3], *t.v[(i + 2) % 3]);
  const QuadVertex* const* v = t.v;
  const double minX = std::min({v[0]->x, v[1]->x, v[2]->x}), maxX = std::max({v[0]->x, v[1]->x, v[2]->x});
  const double minY = std::min({v[0]->y, v[1]->y, v[2]->y}), maxY = std::max({v[0]->y, v[1]->y, v[2]->y});
  t.x0 = std::max(0, static_cast<int>(std::ceil(minX)));
  t.x1 = std::min(width - 1, static_cast<int>(std::floor(maxX)));
  t.y0 = std::max(0, static_cast<int>(std::ceil(minY)));
  t.y1 = std::min(height - 1, static_cast<int>(std::floor(maxY)));
  return true;
}

inline double EdgeAt(const TriangleSetup& t, int i, double x, double y) {
  return EdgeValue(*t.v[(i + 1) % 3], *t.v[(i + 2) % 3], x, y);
}

// Whether the pixel centre with edge value w lies on the triangle's side of edge i.
inline bool InsideEdge(const TriangleSetup& t, int i, double w) { return w > 0 || (w == 0 && t.topLeft[i]); }

// The barycentric weights of pixel (x, y).
inline void WeightsAt(const TriangleSetup& t, int x, int y, double (&b)[3]) {
  const double w0 = EdgeAt(t, 0, x, y), w1 = EdgeAt(t, 1, x, y), w2 = EdgeAt(t, 2, x, y);
  b[0] = w0 / t.area, b[1] = w1 / t.area, b[2] = w2 / t.area;
}

inline void TexCoordsFrom(const TriangleSetup& t, const double (&b)[3], double& u, double& v) {
  u = b[0] * t.v[0]->u + b[1] * t.v[1]->u + b[2] * t.v[2]->u;
  v = b[0] * t.v[0]->v + b[1] * t.v[1]->v + b[2] * t.v[2]->v;
}

// Point sampling: texel floor(t) of coordinate t (already multiplied by the
// texture size), wrapped. A coordinate within a hair of a texel edge is
// snapped to it so that float vertex data give the texel the exact
// arithmetic would.
inline int SampleTexel(double t, int size) {
  const double r = std::nearbyint(t);
  if (std::fabs(t - r) < 1e-4) t = r;
  return Wrap(static_cast<int>(std::floor(t)), size);
}

}  // namespace plat::soft
