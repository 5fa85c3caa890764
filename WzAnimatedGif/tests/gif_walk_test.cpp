// The GIF block walk: frame ranges and fields, the files it refuses, re-colouring of clashing
// transparent entries and the one-image files cut from it, on files written byte by byte.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>

#include "GifFile.h"
#include "fixtures.h"
#include "gifwriter.h"

using namespace flickgem;

namespace {

const std::vector<uint8_t> kTable = {255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255};

std::vector<uint8_t> ThreeFrames() {
  gifw::Gif g = gifw::Screen(8, 6, kTable);
  gifw::Image a = gifw::Solid(0, 0, 8, 6, 0);
  a.before = {gifw::Looping(3), gifw::Comment("made for a test"), gifw::GraphicControl(10, 1)};
  gifw::Image b = gifw::Solid(2, 1, 3, 2, 1);
  b.before = {gifw::GraphicControl(20, 2, true, 3)};
  gifw::Image c = gifw::Solid(1, 1, 2, 2, 2);
  c.localTable = {9, 9, 9, 10, 10, 10};
  c.interlace = true;
  g.images = {a, b, c};
  return gifw::Encode(g);
}

TEST(GifWalk, FrameFieldsAndRanges) {
  std::vector<uint8_t> bytes = ThreeFrames();
  GifLayout layout;
  ASSERT_TRUE(WalkGif(bytes, layout));
  EXPECT_EQ(layout.screenWidth, 8);
  EXPECT_EQ(layout.screenHeight, 6);
  ASSERT_EQ(layout.frames.size(), 3u);
  EXPECT_EQ(layout.frames[0].start, 13u + 12u);  // after the 4-entry global table
  struct Want {
    uint16_t left, top, width, height, delay;
    uint8_t disposal;
    bool transparent, localTable;
  } want[] = {{0, 0, 8, 6, 10, 1, false, false}, {2, 1, 3, 2, 20, 2, true, false}, {1, 1, 2, 2, 0, 0, false, true}};
  for (size_t k = 0; k < 3; ++k) {
    const GifFrame& f = layout.frames[k];
    SCOPED_TRACE(k);
    EXPECT_EQ(f.left, want[k].left);
    EXPECT_EQ(f.top, want[k].top);
    EXPECT_EQ(f.width, want[k].width);
    EXPECT_EQ(f.height, want[k].height);
    EXPECT_EQ(f.delay, want[k].delay);
    EXPECT_EQ(f.disposal, want[k].disposal);
    EXPECT_EQ(f.transparent, want[k].transparent);
    EXPECT_EQ(f.localTable, want[k].localTable);
    EXPECT_EQ(bytes[f.end], 0);  // the image data terminator
    if (k > 0) {
      EXPECT_EQ(f.start, layout.frames[k - 1].end + 1);
    }
  }
  EXPECT_EQ(bytes[layout.frames[2].end + 1], 0x3B);
}

TEST(GifWalk, FrameFilesAreTheHeaderTheFramesBytesAndAClosingTail) {
  std::vector<uint8_t> bytes = ThreeFrames();
  GifLayout layout;
  ASSERT_TRUE(WalkGif(bytes, layout));
  for (size_t k = 0; k < layout.frames.size(); ++k) {
    std::vector<uint8_t> want(bytes.begin(), bytes.begin() + layout.frames[0].start);
    want.insert(want.end(), bytes.begin() + layout.frames[k].start, bytes.begin() + layout.frames[k].end);
    want.insert(want.end(), {0x00, 0x21, 0xF9, 0x3B});
    EXPECT_EQ(FrameFileBytes(bytes, layout, k), want) << k;
  }
}

// Files the walk refuses, and mended faults it must get through.
TEST(GifWalk, RefusedAndAcceptedFiles) {
  auto one = [](std::function<void(gifw::Gif&)> change) {
    gifw::Gif g = gifw::Screen(4, 4, kTable);
    g.images = {gifw::Solid(0, 0, 4, 4, 0)};
    change(g);
    return gifw::Encode(g);
  };
  std::vector<uint8_t> plain = one([](gifw::Gif&) {});
  auto cut = [](std::vector<uint8_t> b, size_t n) {
    b.resize(n);
    return b;
  };
  auto with = [](std::vector<uint8_t> b, size_t at, uint8_t v) {
    b[at] = v;
    return b;
  };
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
    bool accepted;
    size_t frames;
  } cases[] = {
      {"plain", plain, true, 1},
      {"empty", {}, false, 0},
      {"12 bytes", cut(plain, 12), false, 0},
      {"not GIF8", with(plain, 3, '7'), false, 0},
      {"header only", cut(plain, 13 + 12), false, 0},
      {"table cut", cut(plain, 20), false, 0},
      {"descriptor cut", cut(plain, 13 + 12 + 5), false, 0},
      {"data cut", cut(plain, plain.size() - 3), false, 0},
      {"no trailer", cut(plain, plain.size() - 1), true, 1},
      {"zero width screen", with(plain, 6, 0), false, 0},
      {"screen wider than 32736", one([](gifw::Gif& g) { g.width = 32737; }), false, 0},
      {"screen 32736 wide", one([](gifw::Gif& g) { g.width = 32736; g.height = 2; }), true, 1},
      {"screen higher than 32736", one([](gifw::Gif& g) { g.height = 65535; }), false, 0},
      {"back buffer past 256 MiB", one([](gifw::Gif& g) { g.width = 32736; g.height = 32736; }), false, 0},
      {"code size 1", one([](gifw::Gif& g) { g.images[0].codeSize = 1; }), false, 0},
      {"code size 9", one([](gifw::Gif& g) { g.images[0].codeSize = 9; }), false, 0},
      {"empty comment", one([](gifw::Gif& g) { g.images[0].before = {gifw::Extension{0xFE, {}}}; }), true, 1},
      {"application extension without data",
       one([](gifw::Gif& g) { g.images[0].before = {gifw::Extension{0xFF, {}}}; }), true, 1},
      {"unknown label holding 2C",
       one([](gifw::Gif& g) { g.images[0].before = {gifw::Extension{0x42, {{0x2C, 0x21, 0xFF, 0xFF}}}}; }), true, 1},
      {"short graphic control",
       one([](gifw::Gif& g) { g.images[0].before = {gifw::Extension{0xF9, {{0x05, 0x2C}}}}; }), true, 1},
      {"zero-size frame", one([](gifw::Gif& g) { g.images.push_back(gifw::Solid(1, 1, 0, 0, 0)); }), true, 2},
  };
  for (Case& c : cases) {
    GifLayout layout;
    EXPECT_EQ(WalkGif(c.bytes, layout), c.accepted) << c.name;
    if (c.accepted) {
      EXPECT_EQ(layout.frames.size(), c.frames) << c.name;
    }
  }
}

TEST(GifWalk, ClashingTransparentEntriesBecomeUniqueOnlyInsideTheirTable) {
  struct Case {
    const char* name;
    std::vector<uint8_t> table;
    uint8_t index;
    uint32_t wantKey;
  } cases[] = {
      // entries 0x0000FF, 0x00FF00, 0xFF0000, 0x0000FF: B is 0x00FF00, N = 0x7F80
      {"second largest halved", {255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 0, 0}, 3, 0x7F80},
      // largest value twice: B equals it; 0xFFFFFF / 2 = 8388607.5 goes to the even 8388608
      {"largest twice, half to even", {255, 255, 255, 255, 255, 255, 1, 1, 1, 1, 1, 1}, 3, 0x800000},
      // N = 0x000080 / 2 = 0x40 is taken by entry 1: the next free value
      {"half taken", {0x80, 0, 0, 0x40, 0, 0, 0x80, 0, 0, 0x41, 0, 0}, 2, 0x42},
      {"unique untouched", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}, 1, 0x060504},
  };
  for (const Case& c : cases) {
    gifw::Gif g = gifw::Screen(2, 2, c.table);
    gifw::Image im = gifw::Solid(0, 0, 2, 2, 0);
    im.before = {gifw::GraphicControl(0, 0, true, c.index)};
    g.images = {im};
    std::vector<uint8_t> bytes = gifw::Encode(g);
    const std::vector<uint8_t> before = bytes;
    GifLayout layout;
    ASSERT_TRUE(WalkGif(bytes, layout)) << c.name;
    ASSERT_TRUE(layout.frames[0].hasKey) << c.name;
    EXPECT_EQ(layout.frames[0].key, c.wantKey) << c.name;
    const size_t at = 13 + 3u * c.index;
    EXPECT_EQ(bytes[at] | (bytes[at + 1] << 8) | (bytes[at + 2] << 16), static_cast<int>(c.wantKey)) << c.name;
    for (size_t i = 0; i < bytes.size(); ++i)
      if (i < at || i >= at + 3) {
        ASSERT_EQ(bytes[i], before[i]) << c.name << " byte " << i;
      }
  }
  // An index beyond the table, and a frame without any table: nothing is written.
  for (bool table : {true, false}) {
    gifw::Gif g = gifw::Screen(2, 2, table ? std::vector<uint8_t>{0, 0, 0, 0, 0, 0} : std::vector<uint8_t>{});
    gifw::Image im = gifw::Solid(0, 0, 2, 2, 0);
    im.before = {gifw::GraphicControl(0, 0, true, 200)};
    g.images = {im};
    std::vector<uint8_t> bytes = gifw::Encode(g);
    const std::vector<uint8_t> before = bytes;
    GifLayout layout;
    ASSERT_TRUE(WalkGif(bytes, layout));
    EXPECT_EQ(bytes, before);
    EXPECT_FALSE(layout.frames[0].hasKey);
  }
}

TEST(GifWalk, EachFrameKeepsItsOwnKey) {
  gifw::Gif g = gifw::Screen(2, 2, kTable);
  gifw::Image a = gifw::Solid(0, 0, 2, 2, 0);
  a.localTable = {10, 0, 0, 20, 0, 0};
  a.before = {gifw::GraphicControl(0, 0, true, 1)};
  gifw::Image b = gifw::Solid(0, 0, 2, 2, 0);
  b.localTable = {0, 30, 0, 0, 40, 0};
  b.before = {gifw::GraphicControl(0, 0, true, 0)};
  g.images = {a, b};
  std::vector<uint8_t> bytes = gifw::Encode(g);
  GifLayout layout;
  ASSERT_TRUE(WalkGif(bytes, layout));
  EXPECT_EQ(layout.frames[0].key, 20u);
  EXPECT_EQ(layout.frames[1].key, 30u << 8);
}

// The writer's files are real GIFs: ffprobe reads each with its frame count and size.
TEST(GifWalk, FfprobeReadsTheWrittenFixtures) {
  const char* scratch = std::getenv("SUITE_TEST_SCRATCH");
  const std::string folder = std::string(scratch ? scratch : "/tmp") + "/gifwalk";
  std::filesystem::create_directories(folder);
  gifw::Gif one = gifw::Screen(5, 3, kTable);
  one.images = {gifw::Solid(0, 0, 5, 3, 1)};
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
    int frames, width, height;
  } cases[] = {{"three.gif", ThreeFrames(), 3, 8, 6}, {"one.gif", gifw::Encode(one), 1, 5, 3}};
  for (const Case& c : cases) {
    const std::string path = folder + "/" + c.name;
    gifw::WriteFile(path, c.bytes);
    fixtures::Probe probe = fixtures::RunFfprobe(path);
    ASSERT_TRUE(probe.ok) << c.name << ": " << probe.error;
    const fixtures::ProbedStream* v = probe.First("video");
    ASSERT_NE(v, nullptr) << c.name;
    EXPECT_EQ(v->frames, c.frames) << c.name;
    EXPECT_EQ(v->width, c.width) << c.name;
    EXPECT_EQ(v->height, c.height) << c.name;
  }
}

}  // namespace
