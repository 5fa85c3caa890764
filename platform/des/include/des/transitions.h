#pragma once
// The editing services' transitions: each effect, identified by its class identifier, turns two
// pictures and a progress into the picture between them.
//
//   if (const des::TransitionEffect* fx = des::FindTransition(clsid))
//     fx->apply(below, above, out, width, height, progress);
//
// The functions are deterministic (their random patterns use fixed seeds) and split the picture
// into row slices worked on by several threads.
#include <cstdint>
#include <span>

#include "core/guid.h"

namespace des {

// a, b, out: width*height 32-bit pixels 0xAARRGGBB (native uint32), rows top-down, no padding; out
// never aliases a or b; p in [0, 1]; p = 0 gives a exactly, p = 1 gives b exactly.
using TransitionFunction = void (*)(const uint32_t* a, const uint32_t* b, uint32_t* out, int width,
                                    int height, double p);

struct TransitionEffect {
  const char* name;
  GUID clsid;
  TransitionFunction apply;
};

// The 37 effects, in the suite's table order (by display name).
std::span<const TransitionEffect> TransitionEffects();
// The effect of a class identifier; nullptr for any other identifier.
const TransitionEffect* FindTransition(const GUID& clsid);

}  // namespace des
