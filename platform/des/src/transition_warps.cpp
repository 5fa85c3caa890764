// Distortions: the pictures are bent by lenses, liquid, ripples, water and whirls.
#include "transition_effects.h"

namespace des::fx {
namespace {

// Sample of img at the point turned by angle about the centre and moved to distance r' = r * zoom.
inline uint32_t SwirlSample(const Frame& f, const uint32_t* img, double dx, double dy, double angle,
                            double zoom) {
  const double c = std::cos(angle), s = std::sin(angle);
  return Sample(img, f.w, f.h, f.cx() + (dx * c - dy * s) * zoom, f.cy() + (dx * s + dy * c) * zoom);
}

}  // namespace

void Lens(const Frame& f) {
  // A round lens grows from the centre; through it B is seen magnified, the magnification
  // relaxing as the lens fills the picture.
  const double ring = std::max(2.0, std::min(f.w, f.h) / 40.0);
  const double radius = f.p * (f.corner() + ring);
  const double strength = 0.6 * (1 - f.p);
  ForRows(f, [&](int y, uint32_t* out) {
    const double dy = y + 0.5 - f.cy();
    for (int x = 0; x < f.w; ++x) {
      const double dx = x + 0.5 - f.cx();
      const double r = std::sqrt(dx * dx + dy * dy);
      if (r >= radius) {
        // The lens casts a faint shadow just outside its rim.
        const double shadow = Clamp01(1 - (r - radius) / (2 * ring));
        out[x] = Shade(f.A(x, y), 1 - 0.35 * shadow * shadow);
        continue;
      }
      const double t = r / radius;
      const double m = 1 - strength * (1 - t * t);
      uint32_t seen = Sample(f.b, f.w, f.h, f.cx() + dx * m, f.cy() + dy * m);
      // A bright glint along the rim.
      const double rim = Clamp01(1 - (radius - r) / ring);
      out[x] = Tint(seen, 0xFFFFFFFFu, 0.5 * rim * rim);
    }
  });
}

void Liquid(const Frame& f) {
  // B rises from the bottom like a liquid with a sloshing surface; below the surface it wavers.
  const double amp = std::max(2.0, f.h / 18.0);
  const double level = (f.h + amp) - f.p * (f.h + 2 * amp);
  const double phase = 2 * kPi * f.p * 1.5;
  const double waver = std::max(1.0, f.w / 120.0) * (1 - f.p);
  ForRows(f, [&](int y, uint32_t* out) {
    const double v = y + 0.5;
    for (int x = 0; x < f.w; ++x) {
      const double u = x + 0.5;
      const double surface = level + amp * (0.6 * std::sin(2 * kPi * u / (f.w * 0.45) + phase) +
                                            0.4 * std::sin(2 * kPi * u / (f.w * 0.23) - 1.7 * phase));
      const double depth = v - surface;
      if (depth < 0) {
        out[x] = f.A(x, y);
        continue;
      }
      const double du = waver * std::sin(2 * kPi * v / 14.0 + phase * 2);
      const uint32_t seen = Sample(f.b, f.w, f.h, u + du, v);
      // Foam on the surface, a little darker just beneath it.
      const double foam = Clamp01(1 - depth / 2.0) * (1 - f.p);
      const double under = Clamp01(1 - depth / (amp * 1.5)) * (1 - f.p);
      out[x] = Tint(Shade(seen, 1 - 0.25 * under), 0xFFFFFFFFu, 0.7 * foam);
    }
  });
}

void Ripple(const Frame& f) {
  // A wave front of ripples spreads from the centre, B following it.
  const double scale = std::min(f.w, f.h);
  const double band = 0.15 * f.corner();
  const double front = f.p * (f.corner() + band);
  const double amp = std::max(1.5, scale / 30.0) * std::sin(kPi * f.p);
  const double wave = std::max(4.0, scale / 10.0);
  ForRows(f, [&](int y, uint32_t* out) {
    const double dy = y + 0.5 - f.cy();
    for (int x = 0; x < f.w; ++x) {
      const double dx = x + 0.5 - f.cx();
      const double r = std::sqrt(dx * dx + dy * dy);
      const double from = (r - front) / (2 * wave);
      const double envelope = std::exp(-from * from);
      const double arg = 2 * kPi * (r - front) / wave;
      const double d = amp * std::sin(arg) * envelope;
      const double k = r > 0 ? (r + d) / r : 1;
      const double su = f.cx() + dx * k, sv = f.cy() + dy * k;
      const uint32_t seen =
          MixT(Sample(f.a, f.w, f.h, su, sv), Sample(f.b, f.w, f.h, su, sv), (front - r) / band);
      out[x] = Shade(seen, 1 + 0.25 * std::cos(arg) * envelope * std::sin(kPi * f.p));
    }
  });
}

void Water(const Frame& f) {
  // As if seen through moving water: the picture wavers and takes a watery tint while A
  // dissolves into B.
  const double strength = std::sin(kPi * f.p);
  const double amp = std::max(1.5, std::min(f.w, f.h) / 35.0) * strength;
  const int w = Weight(SmoothStep(0.2, 0.8, f.p));
  const double t = f.p * 2 * kPi;
  ForRows(f, [&](int y, uint32_t* out) {
    const double v = y + 0.5;
    for (int x = 0; x < f.w; ++x) {
      const double u = x + 0.5;
      const double du = amp * (std::sin(v / f.h * 9.0 + t * 1.3) + 0.5 * std::sin((u + v) / f.w * 17.0 - t));
      const double dv = amp * (std::cos(u / f.w * 11.0 - t * 1.1) + 0.5 * std::sin((u - v) / f.h * 13.0 + t));
      const uint32_t seen =
          Mix(Sample(f.a, f.w, f.h, u + du, v + dv), Sample(f.b, f.w, f.h, u + du, v + dv), w);
      const double caustic = 0.5 + 0.5 * std::sin((du + dv) / std::max(amp, 1e-9) * 2.0);
      out[x] = Tint(seen, 0xFF2080B0u, strength * (0.18 + 0.12 * caustic));
    }
  });
}

void Twister(const Frame& f) {
  // A twists up into a whirl about the centre, and B untwists out of it.
  const double turns = 2 * kPi * 1.25;
  const int w = Weight(SmoothStep(0.35, 0.65, f.p));
  ForRows(f, [&](int y, uint32_t* out) {
    const double dy = y + 0.5 - f.cy();
    for (int x = 0; x < f.w; ++x) {
      const double dx = x + 0.5 - f.cx();
      const double near = Clamp01(1 - std::sqrt(dx * dx + dy * dy) / f.corner());
      const double twist = near * near * turns;
      out[x] = Mix(SwirlSample(f, f.a, dx, dy, f.p * twist, 1.0),
                   SwirlSample(f, f.b, dx, dy, -(1 - f.p) * twist, 1.0), w);
    }
  });
}

void WormHole(const Frame& f) {
  // A spirals into the centre, shrinking as it turns, while B spirals out around it.
  const double keep = 1 - f.p;  // A's remaining size
  const double turns = 2 * kPi * 1.5;
  ForRows(f, [&](int y, uint32_t* out) {
    const double dy = y + 0.5 - f.cy();
    for (int x = 0; x < f.w; ++x) {
      const double dx = x + 0.5 - f.cx();
      const double r = std::sqrt(dx * dx + dy * dy) / f.corner();
      // A: shrunk to keep and turned more the closer to the hole.
      const double angleA = f.p * turns * (1 + Clamp01(1 - r / keep));
      const double c = std::cos(angleA), s = std::sin(angleA);
      const double ua = f.cx() + (dx * c - dy * s) / keep, va = f.cy() + (dx * s + dy * c) / keep;
      if (Inside(f, ua, va)) {
        out[x] = Shade(Sample(f.a, f.w, f.h, ua, va), 1 - 0.5 * f.p * Clamp01(1 - r / keep));
        continue;
      }
      // B: unwinding and growing to its full size.
      const double angleB = -(1 - f.p) * turns * (1 - Clamp01(r));
      out[x] = SwirlSample(f, f.b, dx, dy, angleB, 0.5 + 0.5 * f.p);
    }
  });
}

void Vacuum(const Frame& f) {
  // A is sucked into a point at the centre: it shrinks, pinched hardest near the point,
  // uncovering B.
  const double reach = f.corner() * std::pow(1 - f.p, 1.2);  // A's remaining radius
  const double pinch = 1 / (1 + 2.5 * f.p);
  ForRows(f, [&](int y, uint32_t* out) {
    const double dy = y + 0.5 - f.cy();
    for (int x = 0; x < f.w; ++x) {
      const double dx = x + 0.5 - f.cx();
      const double r = std::sqrt(dx * dx + dy * dy);
      if (r < reach && r > 0) {
        const double k = f.corner() * std::pow(r / reach, pinch) / r;
        const double ua = f.cx() + dx * k, va = f.cy() + dy * k;
        if (Inside(f, ua, va)) {
          out[x] = Shade(Sample(f.a, f.w, f.h, ua, va), 1 - 0.4 * f.p * (1 - r / reach));
          continue;
        }
      } else if (r == 0 && reach > 0) {
        out[x] = Shade(f.A(x, y), 1 - 0.4 * f.p);
        continue;
      }
      out[x] = f.B(x, y);
    }
  });
}

}  // namespace des::fx
