// Moves: the pictures themselves slide, stretch, part or stream away.
#include "transition_effects.h"

namespace des::fx {

void Slide(const Frame& f) {
  // B slides in from the left over A.
  const int shift = static_cast<int>(std::lround((1 - f.p) * f.w));
  ForRows(f, [&](int y, uint32_t* out) {
    for (int x = 0; x < f.w; ++x) out[x] = x + shift < f.w ? f.B(x + shift, y) : f.A(x, y);
  });
}

void Stretch(const Frame& f) {
  // B stretches in from the left edge while A is squeezed out to the right.
  const double edge = f.p * f.w;
  ForRows(f, [&](int y, uint32_t* out) {
    const double v = y + 0.5;
    for (int x = 0; x < f.w; ++x) {
      const double u = x + 0.5;
      out[x] = u < edge ? Sample(f.b, f.w, f.h, u / f.p, v)
                        : Sample(f.a, f.w, f.h, (u - edge) / (1 - f.p), v);
    }
  });
}

void Compositor(const Frame& f) {
  // B, scaled down whole, grows from the centre over A.
  const double hw = f.p * f.cx(), hh = f.p * f.cy();
  ForRows(f, [&](int y, uint32_t* out) {
    const double dy = y + 0.5 - f.cy();
    const bool rowIn = std::abs(dy) < hh;
    for (int x = 0; x < f.w; ++x) {
      const double dx = x + 0.5 - f.cx();
      out[x] = rowIn && std::abs(dx) < hw
                   ? Sample(f.b, f.w, f.h, f.cx() + dx / f.p, f.cy() + dy / f.p)
                   : f.A(x, y);
    }
  });
}

void Jaws(const Frame& f) {
  // A splits along a line of interlocking teeth; the upper jaw opens upwards and the lower
  // downwards, uncovering B.
  const double tooth = std::max(4.0, f.w / 12.0);
  const double depth = std::max(3.0, f.h / 10.0);
  const double open = f.p * (f.cy() + depth);
  ForRows(f, [&](int y, uint32_t* out) {
    const double v = y + 0.5;
    for (int x = 0; x < f.w; ++x) {
      const double phase = std::fmod((x + 0.5) / tooth, 1.0);
      const double edge = f.cy() + depth * (std::abs(2 * phase - 1) - 0.5);
      if (v < edge - open) {
        out[x] = At(f.a, f.w, f.h, x, static_cast<int>(std::floor(v + open)));
      } else if (v >= edge + open) {
        out[x] = At(f.a, f.w, f.h, x, static_cast<int>(std::floor(v - open)));
      } else {
        // A thin shadow along the jaws' edges.
        const double gap = std::min(v - (edge - open), edge + open - v);
        out[x] = Shade(f.B(x, y), 0.55 + 0.45 * Clamp01(gap / (depth * 0.6)));
      }
    }
  });
}

void Curtains(const Frame& f) {
  // A's halves are drawn aside like curtains, gathering into folds at the sides. The right half
  // is the mirror image of the left, pixel for pixel.
  const int half = f.w / 2;
  const double open = 1 - f.p;  // share of each half still covered
  const double span = open * f.cx();
  const double folds = 6;
  ForRows(f, [&](int y, uint32_t* out) {
    for (int x = 0; x < f.w; ++x) {
      const bool right = x >= f.w - half;
      const int m = right ? f.w - 1 - x : x;  // mirrored column, counted from the nearer side
      const double u = m + 0.5;
      if (u >= span) {
        out[x] = f.B(x, y);
        continue;
      }
      const double s = u / open;  // position in the flat curtain
      const int col = std::min(half > 0 ? half - 1 : 0, static_cast<int>(s));
      const double wave = std::cos(2 * kPi * folds * s / f.cx());
      const double shade = 1 - 0.45 * f.p * (0.5 + 0.5 * wave) - 0.25 * f.p * (u / span);
      out[x] = Shade(f.A(right ? f.w - 1 - col : col, y), shade);
    }
  });
}

void FlowMotion(const Frame& f) {
  // A streams away to the right like a current, faster in some bands than in others and
  // blurred by its speed, leaving B behind a thinning trail of A's colours.
  constexpr uint32_t kSeed = 0xF10Eu;
  const double trail = 0.35 * f.w;
  const double ease = f.p * f.p * (3 - 2 * f.p);
  ForRows(f, [&](int y, uint32_t* out) {
    const double v = y + 0.5;
    const double speed = 0.7 + 0.6 * ValueNoise(0.5, v, std::max(4.0, f.h / 5.0), kSeed) +
                         0.2 * ValueNoise(0.5, v, std::max(2.0, f.h / 40.0), kSeed + 1);
    const double d = ease * speed * (f.w + trail);
    const double blur = 0.12 * d;
    for (int x = 0; x < f.w; ++x) {
      const double u = x + 0.5;
      if (u >= d) {
        int sum[4] = {0, 0, 0, 0};
        for (int j = 0; j < 4; ++j) {
          const uint32_t c = Sample(f.a, f.w, f.h, u - d - j * blur / 3, v);
          sum[0] += Alpha(c), sum[1] += Red(c), sum[2] += Green(c), sum[3] += Blue(c);
        }
        out[x] = Pack(sum[0] / 4, sum[1] / 4, sum[2] / 4, sum[3] / 4);
      } else {
        const double behind = (d - u) / trail;
        const double streak = 1 - Clamp01(behind);
        out[x] = MixT(f.B(x, y), Sample(f.a, f.w, f.h, 0.5, v), streak * streak * (1 - f.p));
      }
    }
  });
}

}  // namespace des::fx
