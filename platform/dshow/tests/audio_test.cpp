// The audio renderer's conversion for the output device: playback rate, volume and balance.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "audio_out.h"

namespace {

std::vector<int16_t> Tone(int frames, int amplitude) {
  std::vector<int16_t> s(static_cast<size_t>(frames));
  for (int i = 0; i < frames; ++i)
    s[static_cast<size_t>(i)] = static_cast<int16_t>(amplitude * std::sin(2 * M_PI * 440 * i / 44100.0));
  return s;
}

int Peak(const std::vector<int16_t>& s, int channel, int channels) {
  int peak = 0;
  for (size_t i = static_cast<size_t>(channel); i < s.size(); i += static_cast<size_t>(channels))
    peak = std::max(peak, std::abs(static_cast<int>(s[i])));
  return peak;
}

TEST(AudioFeed, ThePlaybackRateChangesHowManySamplesArePlayed) {
  struct Case {
    double rate;
    double expectedRatio;  // output frames per input frame
  };
  for (const Case& c : {Case{1.0, 1.0}, Case{2.0, 0.5}, Case{0.5, 2.0}}) {
    dshow::AudioFeed feed(44100, 1, 16, 44100, 2);
    auto in = Tone(44100, 10000);
    size_t out = 0;
    // In pieces, as samples arrive.
    for (int i = 0; i < 10; ++i)
      out += feed.Convert(reinterpret_cast<const uint8_t*>(in.data() + i * 4410), 4410 * 2, c.rate, 0, 0).size();
    double frames = static_cast<double>(out) / 2;
    EXPECT_NEAR(frames / 44100.0, c.expectedRatio, 0.02) << c.rate;
  }
}

TEST(AudioFeed, VolumeAndBalanceAttenuateInHundredthsOfADecibel) {
  struct Case {
    int32_t volume, balance;
    double left, right;  // expected gain of each channel
  };
  const Case cases[] = {
      {0, 0, 1.0, 1.0},         {-2000, 0, 0.1, 0.1},  {-10000, 0, 0.0, 0.0},
      {0, 10000, 0.0, 1.0},     {0, -10000, 1.0, 0.0}, {0, 2000, 0.1, 1.0},
      {-2000, -2000, 0.1, 0.01},
  };
  for (const Case& c : cases) {
    dshow::AudioFeed feed(44100, 1, 16, 44100, 2);
    auto in = Tone(44100, 20000);
    auto out = feed.Convert(reinterpret_cast<const uint8_t*>(in.data()), 44100 * 2, 1.0, c.volume, c.balance);
    ASSERT_GT(out.size(), 40000u);
    int reference = 20000;
    EXPECT_NEAR(Peak(out, 0, 2), reference * c.left, reference * 0.02 + 2) << c.volume << " " << c.balance;
    EXPECT_NEAR(Peak(out, 1, 2), reference * c.right, reference * 0.02 + 2) << c.volume << " " << c.balance;
  }
}

}  // namespace
