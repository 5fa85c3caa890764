#include "transition_effects.h"
namespace des::fx {
namespace {
void Blend(const Frame& f) {
  const int w = Weight(f.p);
  ForRows(f, [&](int y, uint32_t* out) {
    for (int x = 0; x < f.w; ++x) out[x] = Mix(f.A(x, y), f.B(x, y), w);
  });
}
}  // namespace
void Slide(const Frame& f) { Blend(f); }
void Stretch(const Frame& f) { Blend(f); }
void Compositor(const Frame& f) { Blend(f); }
void Jaws(const Frame& f) { Blend(f); }
void Curtains(const Frame& f) { Blend(f); }
void FlowMotion(const Frame& f) { Blend(f); }
void Fade(const Frame& f) { Blend(f); }
void FadeWhite(const Frame& f) { Blend(f); }
void ColorFade(const Frame& f) { Blend(f); }
void Pixelate(const Frame& f) { Blend(f); }
void BurnFilm(const Frame& f) { Blend(f); }
void GlassBlock(const Frame& f) { Blend(f); }
void Lens(const Frame& f) { Blend(f); }
void Liquid(const Frame& f) { Blend(f); }
void Ripple(const Frame& f) { Blend(f); }
void Water(const Frame& f) { Blend(f); }
void Twister(const Frame& f) { Blend(f); }
void WormHole(const Frame& f) { Blend(f); }
void Vacuum(const Frame& f) { Blend(f); }
void CenterCurls(const Frame& f) { Blend(f); }
void Curls(const Frame& f) { Blend(f); }
void PageCurl(const Frame& f) { Blend(f); }
void PeelABCD(const Frame& f) { Blend(f); }
void RollDown(const Frame& f) { Blend(f); }
}  // namespace des::fx
