// The transition table: identifiers and lookup, and what every effect promises of its pictures.
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "des/transitions.h"

namespace {

using Picture = std::vector<uint32_t>;

constexpr int kW = 96, kH = 64;

// A textured picture with colour, brightness and alpha varying across it.
Picture Texture(uint32_t seed) {
  Picture pic(static_cast<size_t>(kW) * kH);
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x) {
      const uint32_t r = (x * 5 + y * 3 + seed * 40) & 0xFF;
      const uint32_t g = ((x ^ y) * 7 + seed * 90) & 0xFF;
      const uint32_t b = (y * 4 + seed * 17) & 0xFF;
      pic[static_cast<size_t>(y) * kW + x] = 0xFF000000u | (r << 16) | (g << 8) | b;
    }
  return pic;
}

Picture Apply(const des::TransitionEffect& fx, const Picture& a, const Picture& b, double p) {
  Picture out(a.size(), 0x12345678u);
  fx.apply(a.data(), b.data(), out.data(), kW, kH, p);
  return out;
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
  }
  EXPECT_EQ(names.size(), effects.size());
  EXPECT_EQ(ids.size(), effects.size());
  EXPECT_STREQ(effects.front().name, "Barn");
  EXPECT_STREQ(effects.back().name, "Zigzag");
  EXPECT_STREQ(des::FindTransition(MakeGuid("{de75d012-7a65-11d2-8cea-00a0c9441e20}"))->name,
               "SMPTE Wipe");
  EXPECT_EQ(des::FindTransition(GUID_NULL), nullptr);
  EXPECT_EQ(des::FindTransition(MakeGuid("{16B280C5-EE70-11D1-9066-00C04FD9189E}")), nullptr);
}

TEST(TransitionTable, EveryEffectGivesAAtTheStartAndBAtTheEnd) {
  const Picture a = Texture(1), b = Texture(2);
  for (const auto& fx : des::TransitionEffects()) {
    EXPECT_EQ(Apply(fx, a, b, 0.0), a) << fx.name;
    EXPECT_EQ(Apply(fx, a, b, 1.0), b) << fx.name;
  }
}

}  // namespace
