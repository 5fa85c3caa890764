// Paper effects: a picture printed on paper that lifts off round a cylinder. A "turn" lifts the
// paper from its free edge over a cylinder and lays it face down on top of itself, showing its
// back; a "roll" winds it round and round the cylinder like a scroll.
#include "transition_effects.h"

namespace des::fx {
namespace {

struct Paper {
  const uint32_t* face;    // the picture on the paper
  const uint32_t* ground;  // what lies under the paper
  double x0, y0, x1, y1;   // where the paper lies flat
  double ox, oy;           // origin of the paper's own axis
  double dx, dy;           // unit direction of that axis, towards the edge that lifts first
  double fold;             // distance along the axis where the paper leaves the ground
  double radius;           // of the cylinder
  bool roll;
  double rollEnd;          // a roll's free edge along the axis (rolls run along a picture side)
};

constexpr uint32_t kPaperBack = 0xFFF2EEE4u;

// The lifted paper (on the cylinder, or turned over on top) seen at output point (u, v), if any.
bool Lifted(const Frame& f, const Paper& pp, double u, double v, uint32_t* seen) {
  const double s = (u - pp.ox) * pp.dx + (v - pp.oy) * pp.dy;
  const double t = -(u - pp.ox) * pp.dy + (v - pp.oy) * pp.dx;
  const double c = pp.fold, r = pp.radius;
  // The paper point at distance sp along the axis on this line, if the paper is there.
  auto at = [&](double sp, double& su, double& sv) {
    su = pp.ox + sp * pp.dx - t * pp.dy;
    sv = pp.oy + sp * pp.dy + t * pp.dx;
    return su >= pp.x0 && su < pp.x1 && sv >= pp.y0 && sv < pp.y1;
  };
  auto front = [&](double su, double sv, double light) {
    return Shade(Sample(pp.face, f.w, f.h, su, sv), light);
  };
  auto back = [&](double su, double sv, double light) {
    // A turned sheet shows its pale back with the print showing through; a roll's windings
    // show more of the print.
    return Shade(Tint(Sample(pp.face, f.w, f.h, su, sv), kPaperBack, pp.roll ? 0.3 : 0.6), light);
  };
  double su = 0, sv = 0;
  if (pp.roll) {
    if (s >= c - r && s < c + r) {
      const double a = std::asin(std::clamp((s - c) / r, -1.0, 1.0));
      const double theta = kPi - a;  // on the upper half of the cylinder
      const double length = pp.rollEnd - c;
      const double turn = 2 * kPi * r;
      if (length >= r * theta) {
        // The outermost winding seen here.
        const double l = r * theta + std::floor((length - r * theta) / turn) * turn;
        if (at(c + l, su, sv)) return *seen = back(su, sv, 0.5 + 0.5 * std::cos(a)), true;
      } else if (s >= c && length >= r * a && at(c + r * a, su, sv)) {
        return *seen = front(su, sv, 0.45 + 0.55 * std::cos(a)), true;
      }
    }
  } else {
    if (s < c) {
      // Turned over and lying face down on top.
      if (at(c + kPi * r + (c - s), su, sv)) return *seen = back(su, sv, 0.96), true;
    } else if (s < c + r) {
      const double a = std::asin(std::clamp((s - c) / r, -1.0, 1.0));
      if (at(c + r * (kPi - a), su, sv)) return *seen = back(su, sv, 0.55 + 0.45 * std::cos(a)), true;
      if (at(c + r * a, su, sv)) return *seen = front(su, sv, 0.5 + 0.5 * std::cos(a)), true;
    }
  }
  return false;
}

// What lies flat at output pixel (x, y) of its sheet: the paper not yet lifted, or the bare
// ground, shadowed next to the cylinder.
uint32_t Flat(const Frame& f, const Paper& pp, double u, double v, int x, int y) {
  const double s = (u - pp.ox) * pp.dx + (v - pp.oy) * pp.dy;
  const size_t at = static_cast<size_t>(y) * f.w + x;
  if (s < pp.fold && u >= pp.x0 && u < pp.x1 && v >= pp.y0 && v < pp.y1) return pp.face[at];
  const double shadow = Clamp01(1 - (s - pp.fold) / (1.5 * pp.radius));
  return Shade(pp.ground[at], 1 - 0.45 * shadow * shadow);
}

uint32_t Look(const Frame& f, const Paper& pp, double u, double v, int x, int y) {
  uint32_t seen = 0;
  return Lifted(f, pp, u, v, &seen) ? seen : Flat(f, pp, u, v, x, y);
}

// A turn of a rectangle of A from its corner (cx, cy) in direction (dx, dy) (unit, pointing out
// of the rectangle through that corner).
Paper CornerTurn(const Frame& f, double x0, double y0, double x1, double y1, double ox, double oy,
                 double dx, double dy, double radius) {
  Paper pp{f.a, f.b, x0, y0, x1, y1, ox, oy, dx, dy, 0, radius, false, 0};
  // The far ends of the sheet and of the picture along the axis. Turned over about a fold at c,
  // the sheet point at sp lies at 2c + pi r - sp: the whole sheet has left the picture once
  // that is short of the picture's far end for the sheet's far end.
  auto far = [&](double ax, double ay, double bx, double by) {
    double m = 0;
    for (double cx : {ax, bx})
      for (double cy : {ay, by}) m = std::min(m, (cx - ox) * dx + (cy - oy) * dy);
    return m;
  };
  const double sheet = far(x0, y0, x1, y1), picture = far(0, 0, f.w, f.h);
  pp.fold = f.p * ((sheet + picture - kPi * radius) / 2 - 1);
  return pp;
}

// Each quarter of the picture peels as its own sheet, lifting at the corner given by corner():
// +1 the picture's outer corner, -1 the centre.
void Quarters(const Frame& f, double toward) {
  const double radius = std::max(2.0, std::min(f.w, f.h) * 0.07);
  const double inv = 1 / std::sqrt(2.0);
  Paper sheets[2][2];
  for (int qy = 0; qy < 2; ++qy)
    for (int qx = 0; qx < 2; ++qx) {
      const double x0 = qx * f.cx(), x1 = x0 + f.cx(), y0 = qy * f.cy(), y1 = y0 + f.cy();
      const double sx = (qx == 0 ? -1 : 1) * toward, sy = (qy == 0 ? -1 : 1) * toward;
      const double ox = sx < 0 ? x0 : x1, oy = sy < 0 ? y0 : y1;
      sheets[qy][qx] = CornerTurn(f, x0, y0, x1, y1, ox, oy, sx * inv, sy * inv, radius);
    }
  ForRows(f, [&](int y, uint32_t* out) {
    const double v = y + 0.5;
    const int qy = v < f.cy() ? 0 : 1;
    for (int x = 0; x < f.w; ++x) {
      const double u = x + 0.5;
      const int qx = u < f.cx() ? 0 : 1;
      // A sheet's turned-over part may reach over its neighbours: its own sheet first, then the
      // others.
      uint32_t seen = 0;
      bool lifted = Lifted(f, sheets[qy][qx], u, v, &seen);
      for (int k = 0; k < 4 && !lifted; ++k)
        if (k != qy * 2 + qx) lifted = Lifted(f, sheets[k / 2][k % 2], u, v, &seen);
      out[x] = lifted ? seen : Flat(f, sheets[qy][qx], u, v, x, y);
    }
  });
}

}  // namespace

void PageCurl(const Frame& f) {
  // A turns over like a page, from the bottom-right corner towards the top-left.
  const double inv = 1 / std::sqrt(2.0);
  const Paper pp = CornerTurn(f, 0, 0, f.w, f.h, f.w, f.h, inv, inv,
                              std::max(3.0, std::min(f.w, f.h) * 0.1));
  ForRows(f, [&](int y, uint32_t* out) {
    for (int x = 0; x < f.w; ++x) out[x] = Look(f, pp, x + 0.5, y + 0.5, x, y);
  });
}

void PeelABCD(const Frame& f) { Quarters(f, 1); }     // the four quarters peel from the corners
void CenterCurls(const Frame& f) { Quarters(f, -1); }  // ... and here from the middle

void Curls(const Frame& f) {
  // A rolls up from its right edge into a scroll that travels to the left.
  const double radius = std::max(3.0, f.w * 0.06);
  Paper pp{f.a, f.b, 0, 0, static_cast<double>(f.w), static_cast<double>(f.h), 0, 0, 1, 0, 0,
           radius, true, static_cast<double>(f.w)};
  pp.fold = f.w - f.p * (f.w + radius + 1);
  ForRows(f, [&](int y, uint32_t* out) {
    for (int x = 0; x < f.w; ++x) out[x] = Look(f, pp, x + 0.5, y + 0.5, x, y);
  });
}

void RollDown(const Frame& f) {
  // B unrolls from the top downwards over A, the roll travelling down the picture.
  const double radius = std::max(3.0, f.h * 0.07);
  Paper pp{f.b, f.a, 0, 0, static_cast<double>(f.w), static_cast<double>(f.h), 0, 0, 0, 1, 0,
           radius, true, static_cast<double>(f.h)};
  // The share still rolled up is 1 - p.
  pp.fold = f.h - (1 - f.p) * (f.h + radius + 1);
  ForRows(f, [&](int y, uint32_t* out) {
    for (int x = 0; x < f.w; ++x) out[x] = Look(f, pp, x + 0.5, y + 0.5, x, y);
  });
}

}  // namespace des::fx
