// Dissolves: A turns into B in place, through a blend, white, blocks, fire or glass.
#include "transition_effects.h"

namespace des::fx {

void Fade(const Frame& f) {
  // A plain cross-fade.
  const int w = Weight(f.p);
  ForRows(f, [&](int y, uint32_t* out) {
    for (int x = 0; x < f.w; ++x) out[x] = Mix(f.A(x, y), f.B(x, y), w);
  });
}

void FadeWhite(const Frame& f) {
  // A fades to white, then white fades to B.
  const bool first = f.p < 0.5;
  const double t = first ? 2 * f.p : 2 * f.p - 1;
  ForRows(f, [&](int y, uint32_t* out) {
    for (int x = 0; x < f.w; ++x)
      out[x] = first ? Tint(f.A(x, y), 0xFFFFFFFFu, t) : Tint(f.B(x, y), 0xFFFFFFFFu, 1 - t);
  });
}

void ColorFade(const Frame& f) {
  // A dissolve whose colour channels are staggered: red changes first, then green, then blue.
  const int wr = Weight(f.p * 1.6), wg = Weight(f.p * 1.6 - 0.3), wb = Weight(f.p * 1.6 - 0.6);
  const int wa = Weight(f.p);
  auto mix = [](int x, int y, int w) { return x + (((y - x) * w) >> 8); };
  ForRows(f, [&](int y, uint32_t* out) {
    for (int x = 0; x < f.w; ++x) {
      const uint32_t a = f.A(x, y), b = f.B(x, y);
      out[x] = Pack(mix(Alpha(a), Alpha(b), wa), mix(Red(a), Red(b), wr),
                    mix(Green(a), Green(b), wg), mix(Blue(a), Blue(b), wb));
    }
  });
}

void Pixelate(const Frame& f) {
  // A breaks into ever larger blocks, which turn into B's blocks and shrink back to B.
  const double peak = 1 - std::abs(2 * f.p - 1);  // 0 at the ends, 1 halfway
  const int largest = std::max(2, std::min(f.w, f.h) / 8);
  const int block = std::max(1, static_cast<int>(std::lround(1 + (largest - 1) * peak)));
  const int w = Weight(SmoothStep(0.4, 0.6, f.p));
  // The block's colour: the mean of a 4 x 4 sample grid inside it.
  auto blockColour = [&](const uint32_t* img, int bx, int by) {
    int sum[4] = {0, 0, 0, 0};
    for (int j = 0; j < 4; ++j)
      for (int i = 0; i < 4; ++i) {
        const uint32_t c = At(img, f.w, f.h, bx + (2 * i + 1) * block / 8, by + (2 * j + 1) * block / 8);
        sum[0] += Alpha(c), sum[1] += Red(c), sum[2] += Green(c), sum[3] += Blue(c);
      }
    return Pack(sum[0] / 16, sum[1] / 16, sum[2] / 16, sum[3] / 16);
  };
  ForRows(f, [&](int y, uint32_t* out) {
    const int by = y / block * block;
    uint32_t colour = 0;
    for (int x = 0; x < f.w; ++x) {
      if (x % block == 0) {
        const int bx = x / block * block;
        colour = block == 1 ? 0 : Mix(blockColour(f.a, bx, by), blockColour(f.b, bx, by), w);
      }
      out[x] = block == 1 ? Mix(f.A(x, y), f.B(x, y), w) : colour;
    }
  });
}

void BurnFilm(const Frame& f) {
  // The film burns through from the middle: a ragged hole with a glowing rim and a scorched
  // border spreads, B showing through the hole.
  constexpr uint32_t kSeed = 0xB0F1u;
  const double cell = std::max(4.0, std::min(f.w, f.h) / 6.0);
  const double front = -0.15 + f.p * 1.35;
  constexpr double kRim = 0.035, kScorch = 0.09;
  ForRows(f, [&](int y, uint32_t* out) {
    const double v = y + 0.5, dy = (v - f.cy()) / f.corner();
    for (int x = 0; x < f.w; ++x) {
      const double u = x + 0.5, dx = (u - f.cx()) / f.corner();
      const double noise = 0.65 * ValueNoise(u, v, cell, kSeed) +
                           0.35 * ValueNoise(u, v, cell / 3, kSeed + 1);
      const double burnt = 0.7 * std::sqrt(dx * dx + dy * dy) + 0.3 * noise;
      const double t = front - burnt;  // > 0 inside the hole
      if (t >= kRim) {
        out[x] = f.B(x, y);
      } else if (t >= 0) {
        // Glowing rim: yellow at the hole, deep orange towards the film.
        const uint32_t fire = MixT(0xFFFF5A00u, 0xFFFFE080u, t / kRim);
        out[x] = Tint(f.B(x, y), fire, 0.85);
      } else if (t > -kScorch) {
        const double s = 1 + t / kScorch;  // 1 at the rim, 0 at the untouched film
        out[x] = Tint(f.A(x, y), 0xFF2A1200u, s * s * 0.9);
      } else {
        out[x] = f.A(x, y);
      }
    }
  });
}

void GlassBlock(const Frame& f) {
  // The picture is seen through a wall of glass blocks: each block bends what is behind it, most
  // strongly halfway, while A dissolves into B behind the glass.
  constexpr uint32_t kSeed = 0x61A55u;
  const double size = std::max(4.0, std::min(f.w, f.h) / 6.0);
  const double strength = std::sin(kPi * f.p);
  const int w = Weight(SmoothStep(0.25, 0.75, f.p));
  ForRows(f, [&](int y, uint32_t* out) {
    const double v = y + 0.5;
    const double by = std::floor(v / size), ly = v / size - by - 0.5;  // -0.5 .. 0.5 in the block
    for (int x = 0; x < f.w; ++x) {
      const double u = x + 0.5;
      const double bx = std::floor(u / size), lx = u / size - bx - 0.5;
      const int ix = static_cast<int>(bx), iy = static_cast<int>(by);
      // Each block magnifies its middle and shifts by its own small amount.
      const double ox = (Hash01(ix, iy, kSeed) - 0.5) * 0.5, oy = (Hash01(ix, iy, kSeed + 7) - 0.5) * 0.5;
      const double k = 1 - 0.55 * strength;
      const double su = (bx + 0.5 + lx * k + ox * strength) * size;
      const double sv = (by + 0.5 + ly * k + oy * strength) * size;
      const uint32_t seen = Mix(Sample(f.a, f.w, f.h, su, sv), Sample(f.b, f.w, f.h, su, sv), w);
      // Bevelled edges: lit on the top-left, shadowed on the bottom-right.
      const double edge = std::max(std::abs(lx), std::abs(ly));
      const double bevel = SmoothStep(0.38, 0.5, edge) * strength;
      const double light = (lx + ly < 0) ? 1 + 0.35 * bevel : 1 - 0.35 * bevel;
      out[x] = Shade(seen, light);
    }
  });
}

}  // namespace des::fx
