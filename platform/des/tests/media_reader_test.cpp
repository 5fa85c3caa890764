// The reader's forward-decoding cache: what stepping, repeating, jumping and going back cost in
// seeks and decoded frames.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fixtures.h"
#include "media_reader.h"

namespace {

using des_detail::MediaReader;
using fixtures::Kind;

// Grabs frame n (160x120) and returns its frame number.
int Grab(MediaReader& reader, int n, double rate = 25.0) {
  std::vector<uint8_t> dib(MediaReader::BitmapSize(160, 120));
  if (FAILED(reader.GetBitmap(n / rate, 160, 120, dib.data()))) return -2;
  const int stride = DibStride(160, 24);
  return fixtures::ReadFrameNumber(dib.data() + sizeof(BITMAPINFOHEADER) + stride * 119, -stride,
                                   160, 120);
}

class ReaderCache : public ::testing::TestWithParam<Kind> {};

TEST_P(ReaderCache, SteppingDecodesEachFrameOnceWithoutSeeking) {
  fixtures::Options o;
  o.seconds = 4.0;  // 100 frames, a key frame every 12
  const std::string path = fixtures::Make(GetParam(), fixtures::ScratchFolder("cache"), o);
  MediaReader reader;
  ASSERT_EQ(reader.Open(path), S_OK);
  for (int n = 0; n < 100; ++n) ASSERT_EQ(Grab(reader, n), n);
  MediaReader::Stats s = reader.DecodingStats();
  // At most one seek (back to the start after the length was read from the file's tail) and
  // one frame decoded ahead of the last one asked for.
  EXPECT_LE(s.seeks, 1);
  EXPECT_LE(s.frames, 101);

  // Asking again for the frame at hand costs nothing.
  const MediaReader::Stats before = reader.DecodingStats();
  ASSERT_EQ(Grab(reader, 99), 99);
  s = reader.DecodingStats();
  EXPECT_EQ(s.frames, before.frames);
  EXPECT_EQ(s.seeks, before.seeks);

  // Going back seeks once and decodes from the key frame at or before the frame.
  ASSERT_EQ(Grab(reader, 50), 50);
  const MediaReader::Stats back = reader.DecodingStats();
  EXPECT_GE(back.seeks, s.seeks + 1);
  EXPECT_LE(back.frames - s.frames, 30);

  // Stepping on from there decodes one frame a step.
  for (int n = 51; n < 60; ++n) ASSERT_EQ(Grab(reader, n), n);
  const MediaReader::Stats on = reader.DecodingStats();
  EXPECT_EQ(on.seeks, back.seeks);
  EXPECT_LE(on.frames - back.frames, 9);
}

INSTANTIATE_TEST_SUITE_P(Movies, ReaderCache,
                         ::testing::Values(Kind::AviDx50, Kind::AviDiv3, Kind::Mp4, Kind::Mov,
                                           Kind::Mpeg1Ps, Kind::AviMjpegPcm),
                         [](const auto& info) { return fixtures::Name(info.param); });

// Jumping ahead past key frames seeks to the last key frame before the target instead of
// decoding everything in between.
TEST(ReaderCacheJumps, FarForwardSeeksToTheNearestKeyFrame) {
  fixtures::Options o;
  o.seconds = 4.0;
  const std::string path = fixtures::Make(Kind::AviDx50, fixtures::ScratchFolder("cache"), o);
  MediaReader reader;
  ASSERT_EQ(reader.Open(path), S_OK);
  ASSERT_EQ(Grab(reader, 0), 0);
  const MediaReader::Stats start = reader.DecodingStats();
  ASSERT_EQ(Grab(reader, 95), 95);
  const MediaReader::Stats jump = reader.DecodingStats();
  EXPECT_EQ(jump.seeks, start.seeks + 1);
  EXPECT_LE(jump.frames - start.frames, 13);  // from key frame 84 to 95, and one ahead
}

}  // namespace
