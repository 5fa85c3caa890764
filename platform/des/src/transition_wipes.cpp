// Wipes and reveals: B shows through a shape that grows with p while A stays where it is. A pixel
// once shown as B stays B for every larger p.
#include <array>

#include "transition_effects.h"

namespace des::fx {
namespace {

// Output pixel from a B-share 0..1.
inline uint32_t Reveal(const Frame& f, int x, int y, double share) {
  return MixT(f.A(x, y), f.B(x, y), share);
}
inline uint32_t Pick(const Frame& f, int x, int y, bool showB) {
  return showB ? f.B(x, y) : f.A(x, y);
}
// Angle of (dx, dy) measured clockwise from straight up, in [0, 2 pi).
inline double ClockAngle(double dx, double dy) {
  const double a = std::atan2(dx, -dy);
  return a < 0 ? a + 2 * kPi : a;
}

// Cells of a picture split into cols x rows, visited in some order; cell k is covered between
// p = k / n and (k + 1) / n, filling from the side the path enters it.
struct CellPath {
  int cols, rows;
  struct Step {
    int col, row;
    int dir;  // side the fill starts from: 0 left, 1 top, 2 right, 3 bottom
  };
  std::array<int, 4096> orderOf{};  // cell index (row * cols + col) -> step
  std::array<int8_t, 4096> dirOf{};
};

// The share of a cell pixel (fractions fx, fy across the cell) covered when the fill that starts
// from side dir has advanced q (0..1) of the cell.
inline bool CellFilled(double fx, double fy, int dir, double q) {
  switch (dir) {
    case 0: return fx < q;
    case 1: return fy < q;
    case 2: return 1 - fx < q;
    default: return 1 - fy < q;
  }
}

// A clockwise spiral from the top-left cell inwards.
CellPath MakeSpiral(int cols, int rows) {
  CellPath path{cols, rows};
  int top = 0, bottom = rows - 1, left = 0, right = cols - 1, k = 0;
  auto put = [&](int c, int r, int dir) {
    path.orderOf[static_cast<size_t>(r * cols + c)] = k++;
    path.dirOf[static_cast<size_t>(r * cols + c)] = static_cast<int8_t>(dir);
  };
  while (top <= bottom && left <= right) {
    for (int c = left; c <= right; ++c) put(c, top, 0);
    for (int r = top + 1; r <= bottom; ++r) put(right, r, 1);
    if (top < bottom)
      for (int c = right - 1; c >= left; --c) put(c, bottom, 2);
    if (left < right)
      for (int r = bottom - 1; r > top; --r) put(left, r, 3);
    ++top, --bottom, ++left, --right;
  }
  return path;
}

}  // namespace

void Barn(const Frame& f) {
  // Two doors open from the middle outwards.
  const double half = f.p * f.cx();
  ForRows(f, [&](int y, uint32_t* out) {
    for (int x = 0; x < f.w; ++x) out[x] = Pick(f, x, y, std::abs(x + 0.5 - f.cx()) < half);
  });
}

void Blinds(const Frame& f) {
  // Ten horizontal slats turn together, each opening from its top edge.
  constexpr int kSlats = 10;
  const double slat = static_cast<double>(f.h) / kSlats;
  ForRows(f, [&](int y, uint32_t* out) {
    const double within = std::fmod(y + 0.5, slat) / slat;
    const bool open = within < f.p;
    for (int x = 0; x < f.w; ++x) out[x] = Pick(f, x, y, open);
  });
}

void Grid(const Frame& f) {
  // An 8 x 6 grid: each cell opens as a box from its centre, the cells starting one diagonal
  // after another from the top-left corner.
  constexpr int kCols = 8, kRows = 6;
  constexpr double kStagger = 0.6;  // share of the run over which the starts are spread
  const double cw = static_cast<double>(f.w) / kCols, ch = static_cast<double>(f.h) / kRows;
  ForRows(f, [&](int y, uint32_t* out) {
    const double v = y + 0.5;
    const int row = std::min(kRows - 1, static_cast<int>(v / ch));
    const double fy = std::abs((v - row * ch) / ch - 0.5) * 2;  // 0 centre .. 1 edge
    for (int x = 0; x < f.w; ++x) {
      const double u = x + 0.5;
      const int col = std::min(kCols - 1, static_cast<int>(u / cw));
      const double fx = std::abs((u - col * cw) / cw - 0.5) * 2;
      const double start = kStagger * (col + row) / (kCols + kRows - 2);
      const double q = Clamp01((f.p - start) / (1 - kStagger));
      out[x] = Pick(f, x, y, std::max(fx, fy) < q);
    }
  });
}

void Inset(const Frame& f) {
  // B's rectangle grows from the top-left corner.
  const double w = f.p * f.w, h = f.p * f.h;
  ForRows(f, [&](int y, uint32_t* out) {
    const bool rowIn = y + 0.5 < h;
    for (int x = 0; x < f.w; ++x) out[x] = Pick(f, x, y, rowIn && x + 0.5 < w);
  });
}

void Iris(const Frame& f) {
  // A round opening grows from the centre.
  const double r = f.p * f.corner(), r2 = r * r;
  ForRows(f, [&](int y, uint32_t* out) {
    const double dy = y + 0.5 - f.cy();
    for (int x = 0; x < f.w; ++x) {
      const double dx = std::abs(x + 0.5 - f.cx());
      out[x] = Pick(f, x, y, dx * dx + dy * dy < r2);
    }
  });
}

void RadialWipe(const Frame& f) {
  // A clock hand sweeps clockwise from twelve o'clock.
  const double sweep = f.p * 2 * kPi;
  ForRows(f, [&](int y, uint32_t* out) {
    const double dy = y + 0.5 - f.cy();
    for (int x = 0; x < f.w; ++x) out[x] = Pick(f, x, y, ClockAngle(x + 0.5 - f.cx(), dy) < sweep);
  });
}

void Wheel(const Frame& f) {
  // Four spokes turn clockwise about the centre, each uncovering its quarter.
  constexpr int kSpokes = 4;
  const double sector = 2 * kPi / kSpokes, sweep = f.p * sector;
  ForRows(f, [&](int y, uint32_t* out) {
    const double dy = y + 0.5 - f.cy();
    for (int x = 0; x < f.w; ++x)
      out[x] = Pick(f, x, y, std::fmod(ClockAngle(x + 0.5 - f.cx(), dy), sector) < sweep);
  });
}

void SmpteWipe(const Frame& f) {
  // A bar wipe from the left with a soft edge a tenth of the width wide.
  const double soft = std::max(1.0, f.w * 0.1);
  const double edge = -soft / 2 + f.p * (f.w + soft);
  ForRows(f, [&](int y, uint32_t* out) {
    for (int x = 0; x < f.w; ++x) out[x] = Reveal(f, x, y, (edge - (x + 0.5)) / soft + 0.5);
  });
}

void Wipe(const Frame& f) {
  // A hard-edged bar wipe from the left.
  const double edge = f.p * f.w;
  ForRows(f, [&](int y, uint32_t* out) {
    for (int x = 0; x < f.w; ++x) out[x] = Pick(f, x, y, x + 0.5 < edge);
  });
}

void Spiral(const Frame& f) {
  // Blocks turn over one by one along a clockwise spiral from the top-left corner inwards.
  constexpr int kCols = 8, kRows = 6;
  static const CellPath path = MakeSpiral(kCols, kRows);
  const double cw = static_cast<double>(f.w) / kCols, ch = static_cast<double>(f.h) / kRows;
  const double done = f.p * kCols * kRows;
  ForRows(f, [&](int y, uint32_t* out) {
    const double v = y + 0.5;
    const int row = std::min(kRows - 1, static_cast<int>(v / ch));
    const double fy = (v - row * ch) / ch;
    for (int x = 0; x < f.w; ++x) {
      const double u = x + 0.5;
      const int col = std::min(kCols - 1, static_cast<int>(u / cw));
      const size_t cell = static_cast<size_t>(row * kCols + col);
      const double q = done - path.orderOf[cell];
      out[x] = Pick(f, x, y, q >= 1 || (q > 0 && CellFilled((u - col * cw) / cw, fy, path.dirOf[cell], q)));
    }
  });
}

void Zigzag(const Frame& f) {
  // Seven bands are wiped one after another, left to right then right to left, top to bottom.
  constexpr int kBands = 7;
  const double band = static_cast<double>(f.h) / kBands;
  ForRows(f, [&](int y, uint32_t* out) {
    const int k = std::min(kBands - 1, static_cast<int>((y + 0.5) / band));
    const double q = f.p * kBands - k;
    for (int x = 0; x < f.w; ++x) {
      const double along = (x + 0.5) / f.w;
      out[x] = Pick(f, x, y, q > (k % 2 == 0 ? along : 1 - along));
    }
  });
}

void LightWipe(const Frame& f) {
  // A soft wipe from the left led by a band of light.
  const double band = std::max(2.0, f.w * 0.12);
  const double edge = -band + f.p * (f.w + 2 * band);
  const double glow = 0.85 * std::sin(kPi * f.p) + 0.15 * (1 - std::abs(2 * f.p - 1));
  ForRows(f, [&](int y, uint32_t* out) {
    for (int x = 0; x < f.w; ++x) {
      const double t = (edge - (x + 0.5)) / band;  // 1 behind the light, -1 ahead of it
      if (t >= 1) {
        out[x] = f.B(x, y);
      } else if (t <= -1) {
        out[x] = f.A(x, y);
      } else {
        const double light = 1 - std::abs(t);
        out[x] = Tint(Reveal(f, x, y, (t + 1) / 2), 0xFFFFFFF0u, glow * light * light);
      }
    }
  });
}

void Threshold(const Frame& f) {
  // B appears brightest parts first, as a threshold on its brightness falls from white to black.
  const double level = (1 - f.p) * 256.0;
  ForRows(f, [&](int y, uint32_t* out) {
    for (int x = 0; x < f.w; ++x) out[x] = Pick(f, x, y, Luma(f.B(x, y)) + 0.5 >= level);
  });
}

}  // namespace des::fx
