// The table of the 37 transition effects: class identifier, name and body.
#include "des/transitions.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "transition_effects.h"

namespace des {
namespace {

// The ends are exact whatever the body does: p = 0 is A, p = 1 is B.
template <void (*Body)(const fx::Frame&)>
void Apply(const uint32_t* a, const uint32_t* b, uint32_t* out, int width, int height, double p) {
  if (width <= 0 || height <= 0) return;
  const size_t bytes = static_cast<size_t>(width) * static_cast<size_t>(height) * sizeof(uint32_t);
  if (!(p > 0.0)) {  // also NaN
    std::memcpy(out, a, bytes);
  } else if (p >= 1.0) {
    std::memcpy(out, b, bytes);
  } else {
    Body(fx::Frame{a, b, out, width, height, p});
  }
}

#define DES_EFFECT(name, clsid, body) \
  TransitionEffect { name, MakeGuid(clsid), &Apply<&fx::body> }

const std::array<TransitionEffect, 37> kEffects = {{
    DES_EFFECT("Barn", "{C3BDF740-0B58-11d2-A484-00C04F8EFB69}", Barn),
    DES_EFFECT("Blinds", "{00C429C0-0BA9-11d2-A484-00C04F8EFB69}", Blinds),
    DES_EFFECT("BurnFilm", "{107045D1-06E0-11D2-8D6D-00C04F8EF8E0}", BurnFilm),
    DES_EFFECT("CenterCurls", "{AA0D4D0C-06A3-11D2-8F98-00C04FB92EB7}", CenterCurls),
    DES_EFFECT("ColorFade", "{2A54C908-07AA-11D2-8D6D-00C04F8EF8E0}", ColorFade),
    DES_EFFECT("Compositor", "{9A43A844-0831-11D1-817F-0000F87557DB}", Compositor),
    DES_EFFECT("Curls", "{AA0D4D0E-06A3-11D2-8F98-00C04FB92EB7}", Curls),
    DES_EFFECT("Curtains", "{AA0D4D12-06A3-11D2-8F98-00C04FB92EB7}", Curtains),
    DES_EFFECT("Fade", "{16B280C5-EE70-11D1-9066-00C04FD9189D}", Fade),
    DES_EFFECT("FadeWhite", "{107045CC-06E0-11D2-8D6D-00C04F8EF8E0}", FadeWhite),
    DES_EFFECT("FlowMotion", "{2A54C90B-07AA-11D2-8D6D-00C04F8EF8E0}", FlowMotion),
    DES_EFFECT("GlassBlock", "{2A54C913-07AA-11D2-8D6D-00C04F8EF8E0}", GlassBlock),
    DES_EFFECT("Grid", "{2A54C911-07AA-11D2-8D6D-00C04F8EF8E0}", Grid),
    DES_EFFECT("Inset", "{93073C40-0BA5-11d2-A484-00C04F8EFB69}", Inset),
    DES_EFFECT("Iris", "{3F69F351-0379-11D2-A484-00C04F8EFB69}", Iris),
    DES_EFFECT("Jaws", "{2A54C904-07AA-11D2-8D6D-00C04F8EF8E0}", Jaws),
    DES_EFFECT("Lens", "{107045CA-06E0-11D2-8D6D-00C04F8EF8E0}", Lens),
    DES_EFFECT("LightWipe", "{107045C8-06E0-11D2-8D6D-00C04F8EF8E0}", LightWipe),
    DES_EFFECT("Liquid", "{AA0D4D0A-06A3-11D2-8F98-00C04FB92EB7}", Liquid),
    DES_EFFECT("PageCurl", "{AA0D4D08-06A3-11D2-8F98-00C04FB92EB7}", PageCurl),
    DES_EFFECT("PeelABCD", "{AA0D4D10-06A3-11D2-8F98-00C04FB92EB7}", PeelABCD),
    DES_EFFECT("Pixelate", "{4CCEA634-FBE0-11d1-906A-00C04FD9189D}", Pixelate),
    DES_EFFECT("RadialWipe", "{424B71AF-0695-11D2-A484-00C04F8EFB69}", RadialWipe),
    DES_EFFECT("Ripple", "{AA0D4D03-06A3-11D2-8F98-00C04FB92EB7}", Ripple),
    DES_EFFECT("RollDown", "{9C61F46E-0530-11D2-8F98-00C04FB92EB7}", RollDown),
    DES_EFFECT("Slide", "{810E402F-056B-11D2-A484-00C04F8EFB69}", Slide),
    DES_EFFECT("SMPTE Wipe", "{dE75D012-7A65-11D2-8CEA-00A0C9441E20}", SmpteWipe),
    DES_EFFECT("Spiral", "{ACA97E00-0C7D-11d2-A484-00C04F8EFB69}", Spiral),
    DES_EFFECT("Stretch", "{7658F2A2-0A83-11d2-A484-00C04F8EFB69}", Stretch),
    DES_EFFECT("Threshold", "{2A54C915-07AA-11D2-8D6D-00C04F8EF8E0}", Threshold),
    DES_EFFECT("Twister", "{107045CF-06E0-11D2-8D6D-00C04F8EF8E0}", Twister),
    DES_EFFECT("Vacuum", "{2A54C90D-07AA-11D2-8D6D-00C04F8EF8E0}", Vacuum),
    DES_EFFECT("Water", "{107045C5-06E0-11D2-8D6D-00C04F8EF8E0}", Water),
    DES_EFFECT("Wheel", "{5AE1DAE0-1461-11d2-A484-00C04F8EFB69}", Wheel),
    DES_EFFECT("Wipe", "{AF279B30-86EB-11D1-81BF-0000F87557DB}", Wipe),
    DES_EFFECT("WormHole", "{0E6AE022-0C83-11D2-8CD4-00104BC75D9A}", WormHole),
    DES_EFFECT("Zigzag", "{E6E73D20-0C8A-11d2-A484-00C04F8EFB69}", Zigzag),
}};

#undef DES_EFFECT

}  // namespace

std::span<const TransitionEffect> TransitionEffects() { return kEffects; }

const TransitionEffect* FindTransition(const GUID& clsid) {
  const auto it = std::find_if(kEffects.begin(), kEffects.end(),
                               [&](const TransitionEffect& e) { return e.clsid == clsid; });
  return it == kEffects.end() ? nullptr : &*it;
}

}  // namespace des
