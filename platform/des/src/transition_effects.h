#pragma once
// The effects' bodies. Each is called only with 0 < p < 1 (the table's wrapper gives the ends);
// each writes every pixel of f.out.
#include "transition_support.h"

namespace des::fx {

// Wipes and reveals: a shape of B grows over A (transition_wipes.cpp).
void Barn(const Frame& f);
void Blinds(const Frame& f);
void Grid(const Frame& f);
void Inset(const Frame& f);
void Iris(const Frame& f);
void RadialWipe(const Frame& f);
void SmpteWipe(const Frame& f);
void Spiral(const Frame& f);
void Wheel(const Frame& f);
void Wipe(const Frame& f);
void Zigzag(const Frame& f);
void LightWipe(const Frame& f);
void Threshold(const Frame& f);
// Moves: pictures slide, stretch or part (transition_moves.cpp).
void Slide(const Frame& f);
void Stretch(const Frame& f);
void Compositor(const Frame& f);
void Jaws(const Frame& f);
void Curtains(const Frame& f);
void FlowMotion(const Frame& f);
// Dissolves (transition_dissolves.cpp).
void Fade(const Frame& f);
void FadeWhite(const Frame& f);
void ColorFade(const Frame& f);
void Pixelate(const Frame& f);
void BurnFilm(const Frame& f);
void GlassBlock(const Frame& f);
// Distortions (transition_warps.cpp).
void Lens(const Frame& f);
void Liquid(const Frame& f);
void Ripple(const Frame& f);
void Water(const Frame& f);
void Twister(const Frame& f);
void WormHole(const Frame& f);
void Vacuum(const Frame& f);
// Paper: curls, peels and rolls (transition_curls.cpp).
void CenterCurls(const Frame& f);
void Curls(const Frame& f);
void PageCurl(const Frame& f);
void PeelABCD(const Frame& f);
void RollDown(const Frame& f);

}  // namespace des::fx
