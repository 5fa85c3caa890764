#pragma once
// What the transition effects share: the frame they work on, the row slices spread over worker
// threads, pixel arithmetic on 0xAARRGGBB words, bilinear sampling and a seeded value noise.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>

namespace des::fx {

inline constexpr double kPi = 3.14159265358979323846;

struct Frame {
  const uint32_t* a;
  const uint32_t* b;
  uint32_t* out;
  int w;
  int h;
  double p;  // strictly between 0 and 1

  double cx() const { return w * 0.5; }
  double cy() const { return h * 0.5; }
  // Distance from the centre to a corner: a circle of this radius covers the picture.
  double corner() const { return std::sqrt(cx() * cx() + cy() * cy()); }
  uint32_t* row(int y) const { return out + static_cast<size_t>(y) * w; }
  uint32_t A(int x, int y) const { return a[static_cast<size_t>(y) * w + x]; }
  uint32_t B(int x, int y) const { return b[static_cast<size_t>(y) * w + x]; }
};

// Runs body(y0, y1) over consecutive row ranges covering [0, height), on the shared worker
// threads and the calling thread; returns when every range is done. Safe to call from several
// threads at once.
void ForRowSlices(int width, int height, const std::function<void(int, int)>& body);

// body(y, row) for every row of the frame's output, slice-threaded.
template <class Body>
void ForRows(const Frame& f, Body&& body) {
  ForRowSlices(f.w, f.h, [&](int y0, int y1) {
    for (int y = y0; y < y1; ++y) body(y, f.row(y));
  });
}

inline double Clamp01(double v) { return v < 0 ? 0 : (v > 1 ? 1 : v); }
inline double SmoothStep(double e0, double e1, double v) {
  const double t = Clamp01((v - e0) / (e1 - e0));
  return t * t * (3 - 2 * t);
}

// Weight 0..256 of a fraction 0..1.
inline int Weight(double t) { return static_cast<int>(std::lround(Clamp01(t) * 256.0)); }

// x + (y - x) * w / 256 per channel, alpha included; w = 0 gives x, w = 256 gives y.
inline uint32_t Mix(uint32_t x, uint32_t y, int w) {
  if (w <= 0) return x;
  if (w >= 256) return y;
  const uint32_t rbx = x & 0x00FF00FFu, rby = y & 0x00FF00FFu;
  const uint32_t agx = (x >> 8) & 0x00FF00FFu, agy = (y >> 8) & 0x00FF00FFu;
  const uint32_t rb = (rbx * static_cast<uint32_t>(256 - w) + rby * static_cast<uint32_t>(w)) >> 8;
  const uint32_t ag = (agx * static_cast<uint32_t>(256 - w) + agy * static_cast<uint32_t>(w)) >> 8;
  return (rb & 0x00FF00FFu) | ((ag & 0x00FF00FFu) << 8);
}
inline uint32_t MixT(uint32_t x, uint32_t y, double t) { return Mix(x, y, Weight(t)); }

inline int Red(uint32_t c) { return static_cast<int>((c >> 16) & 0xFF); }
inline int Green(uint32_t c) { return static_cast<int>((c >> 8) & 0xFF); }
inline int Blue(uint32_t c) { return static_cast<int>(c & 0xFF); }
inline int Alpha(uint32_t c) { return static_cast<int>(c >> 24); }
inline uint32_t Pack(int a, int r, int g, int b) {
  auto c = [](int v) { return static_cast<uint32_t>(std::clamp(v, 0, 255)); };
  return (c(a) << 24) | (c(r) << 16) | (c(g) << 8) | c(b);
}
// Luma 0..255 (Rec. 601 weights).
inline int Luma(uint32_t c) { return (Red(c) * 77 + Green(c) * 150 + Blue(c) * 29) >> 8; }

// Colour channels times k (0 darkens to black, above 1 brightens), alpha kept.
inline uint32_t Shade(uint32_t c, double k) {
  const int m = static_cast<int>(std::lround(k * 256.0));
  return Pack(Alpha(c), (Red(c) * m) >> 8, (Green(c) * m) >> 8, (Blue(c) * m) >> 8);
}
// Colour channels moved towards a colour by t (0..1), alpha kept.
inline uint32_t Tint(uint32_t c, uint32_t to, double t) {
  return (MixT(c, to, t) & 0x00FFFFFFu) | (c & 0xFF000000u);
}

// Nearest pixel, coordinates clamped into the picture.
inline uint32_t At(const uint32_t* img, int w, int h, int x, int y) {
  x = std::clamp(x, 0, w - 1);
  y = std::clamp(y, 0, h - 1);
  return img[static_cast<size_t>(y) * w + x];
}
// Bilinear sample at a position in pixel units (u, v measured from the picture's top-left
// edge, so pixel (x, y) is centred on (x + 0.5, y + 0.5)); positions outside clamp to the edge.
uint32_t Sample(const uint32_t* img, int w, int h, double u, double v);
inline bool Inside(const Frame& f, double u, double v) {
  return u >= 0 && v >= 0 && u < f.w && v < f.h;
}

// Smooth value noise in [0, 1) on a lattice of the given cell size, fixed for a seed.
double ValueNoise(double x, double y, double cell, uint32_t seed);
// A deterministic number in [0, 1) for an integer pair and seed.
double Hash01(int32_t i, int32_t j, uint32_t seed);

}  // namespace des::fx
