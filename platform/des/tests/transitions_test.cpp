// The transition table: identifiers and lookup, and what every effect promises of its pictures
// (exact ends, distinct middles, symmetry of the symmetric shapes, wipes that never take B back),
// on small pictures and on pictures large enough to be split over threads.
#include <cstdint>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "des/transitions.h"

namespace {

struct Picture {
  int w = 0, h = 0;
  std::vector<uint32_t> px;
  uint32_t at(int x, int y) const { return px[static_cast<size_t>(y) * w + x]; }
  friend bool operator==(const Picture&, const Picture&) = default;
};

// A textured picture: colour and brightness vary across it in both directions; with mirrored
// set, every row reads the same from either end.
Picture Texture(int w, int h, uint32_t seed, bool mirrored = false) {
  Picture pic{w, h, std::vector<uint32_t>(static_cast<size_t>(w) * h)};
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const uint32_t u = static_cast<uint32_t>(mirrored ? std::min(x, w - 1 - x) : x);
      const uint32_t v = static_cast<uint32_t>(y);
      const uint32_t r = (u * 5 + v * 3 + seed * 40) & 0xFF;
      const uint32_t g = ((u ^ v) * 7 + seed * 90) & 0xFF;
      const uint32_t b = (v * 4 + u * u + seed * 17) & 0xFF;
      pic.px[static_cast<size_t>(y) * w + x] = 0xFF000000u | (r << 16) | (g << 8) | b;
    }
  return pic;
}
Picture Plain(int w, int h, uint32_t colour) {
  return Picture{w, h, std::vector<uint32_t>(static_cast<size_t>(w) * h, colour)};
}

Picture Apply(const des::TransitionEffect& fx, const Picture& a, const Picture& b, double p) {
  Picture out{a.w, a.h, std::vector<uint32_t>(a.px.size(), 0x12345678u)};
  fx.apply(a.px.data(), b.px.data(), out.px.data(), a.w, a.h, p);
  return out;
}

// Share of pixels whose colour differs by more than a few levels in some channel.
double DifferentShare(const Picture& x, const Picture& y) {
  size_t differ = 0;
  for (size_t i = 0; i < x.px.size(); ++i)
    for (int shift : {0, 8, 16, 24}) {
      const int cx = static_cast<int>((x.px[i] >> shift) & 0xFF);
      const int cy = static_cast<int>((y.px[i] >> shift) & 0xFF);
      if (std::abs(cx - cy) > 4) {
        ++differ;
        break;
      }
    }
  return static_cast<double>(differ) / static_cast<double>(x.px.size());
}

const des::TransitionEffect& Effect(const std::string& name) {
  for (const auto& fx : des::TransitionEffects())
    if (name == fx.name) return fx;
  throw std::runtime_error("no effect " + name);
}

TEST(TransitionTable, HoldsTheThirtySevenEffectsEachFoundByItsIdentifier) {
  const auto effects = des::TransitionEffects();
  ASSERT_EQ(effects.size(), 37u);
  std::set<std::string> names;
  std::set<GUID> ids;
  for (const auto& fx : effects) {
    names.insert(fx.name);
    ids.insert(fx.clsid);
    EXPECT_EQ(des::FindTransition(fx.clsid), &fx) << fx.name;
    EXPECT_NE(fx.apply, nullptr) << fx.name;
  }
  EXPECT_EQ(names.size(), effects.size());
  EXPECT_EQ(ids.size(), effects.size());
  EXPECT_STREQ(effects.front().name, "Barn");
  EXPECT_STREQ(effects.back().name, "Zigzag");
  EXPECT_STREQ(des::FindTransition(MakeGuid("{de75d012-7a65-11d2-8cea-00a0c9441e20}"))->name,
               "SMPTE Wipe");
  EXPECT_STREQ(des::FindTransition(MakeGuid("{16B280C5-EE70-11D1-9066-00C04FD9189D}"))->name, "Fade");
  EXPECT_EQ(des::FindTransition(GUID_NULL), nullptr);
  EXPECT_EQ(des::FindTransition(MakeGuid("{16B280C5-EE70-11D1-9066-00C04FD9189E}")), nullptr);
}

// The one table test over every effect.
TEST(TransitionTable, EveryEffectKeepsItsPromises) {
  constexpr int kW = 96, kH = 64;
  const Picture a = Texture(kW, kH, 1), b = Texture(kW, kH, 2);
  const auto effects = des::TransitionEffects();
  std::vector<Picture> middles;
  for (const auto& fx : effects) {
    SCOPED_TRACE(fx.name);
    // The ends are the pictures exactly.
    EXPECT_EQ(Apply(fx, a, b, 0.0), a);
    EXPECT_EQ(Apply(fx, a, b, 1.0), b);
    // Halfway is neither.
    middles.push_back(Apply(fx, a, b, 0.5));
    EXPECT_GT(DifferentShare(middles.back(), a), 0.05);
    EXPECT_GT(DifferentShare(middles.back(), b), 0.05);
  }
  // ... and no two effects look alike halfway.
  for (size_t i = 0; i < effects.size(); ++i)
    for (size_t j = i + 1; j < effects.size(); ++j)
      EXPECT_GT(DifferentShare(middles[i], middles[j]), 0.05)
          << effects[i].name << " and " << effects[j].name;

  // Symmetric shapes keep left-right symmetric pictures symmetric, for even and odd widths.
  for (int w : {kW, kW - 1}) {
    const Picture sa = Texture(w, kH, 3, true), sb = Texture(w, kH, 4, true);
    for (const char* name : {"Barn", "Iris", "Curtains", "Blinds"})
      for (double p : {0.1, 0.3, 0.5, 0.7, 0.9}) {
        const Picture out = Apply(Effect(name), sa, sb, p);
        bool symmetric = true;
        for (int y = 0; y < kH && symmetric; ++y)
          for (int x = 0; x < w / 2 && symmetric; ++x) symmetric = out.at(x, y) == out.at(w - 1 - x, y);
        EXPECT_TRUE(symmetric) << name << " at " << p << ", width " << w;
      }
  }

  // Wipes only ever give more of each pixel to B: from black to white, no pixel darkens as p
  // grows, and B gains ground.
  const Picture black = Plain(kW, kH, 0xFF000000u), white = Plain(kW, kH, 0xFFFFFFFFu);
  for (const char* name : {"Barn", "Blinds", "Grid", "Inset", "Iris", "RadialWipe", "SMPTE Wipe",
                           "Spiral", "Wheel", "Wipe", "Zigzag"}) {
    Picture before = Apply(Effect(name), black, white, 0.0);
    for (int step = 1; step <= 40; ++step) {
      const double p = step / 40.0;
      const Picture now = Apply(Effect(name), black, white, p);
      size_t darker = 0;
      for (size_t i = 0; i < now.px.size(); ++i)
        if ((now.px[i] & 0xFF) < (before.px[i] & 0xFF)) ++darker;
      EXPECT_EQ(darker, 0u) << name << " at " << p;
      if (step == 20) {
        EXPECT_GT(DifferentShare(now, black), 0.2) << name;
      }
      before = now;
    }
  }
}

TEST(TransitionTable, EffectsHandleTinyAndThinPictures) {
  for (const auto& fx : des::TransitionEffects())
    for (auto [w, h] : {std::pair{1, 1}, {2, 1}, {1, 3}, {3, 2}, {7, 5}, {200, 1}, {1, 150}})
      for (double p : {0.001, 0.37, 0.5, 0.999}) {
        const Picture a = Texture(w, h, 5), b = Texture(w, h, 6);
        const Picture out = Apply(fx, a, b, p);
        // Every pixel written, each an opaque colour since both pictures are opaque.
        for (uint32_t c : out.px) ASSERT_EQ(c >> 24, 0xFFu) << fx.name << " " << w << "x" << h;
      }
}

TEST(TransitionTable, LargePicturesSplitOverThreadsGiveTheSameResultFromConcurrentCallers) {
  // Large enough to be cut into slices; four callers at once share the workers.
  constexpr int kW = 480, kH = 270;
  const Picture a = Texture(kW, kH, 7), b = Texture(kW, kH, 8);
  for (const char* name : {"BurnFilm", "PageCurl", "Ripple", "Pixelate", "Zigzag"}) {
    const Picture first = Apply(Effect(name), a, b, 0.4);
    std::vector<Picture> results(4);
    std::vector<std::thread> callers;
    for (auto& r : results) callers.emplace_back([&] { r = Apply(Effect(name), a, b, 0.4); });
    for (auto& t : callers) t.join();
    for (const auto& r : results) EXPECT_EQ(r, first) << name;
    EXPECT_GT(DifferentShare(first, a), 0.05) << name;
  }
}

}  // namespace
