// The fuzz entry point run over mutations of a corpus made at test time, with a fixed seed: byte
// flips, cuts at block boundaries, lengths 0/1/255, sizes 0/0xFFFF, and 0x21/0x2C/0x3B inserted
// or removed. Any fault shows as a sanitizer report; no file may be left behind.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <iostream>
#include <random>

#include "GifFile.h"
#include "gif_fuzz.h"
#include "gifwriter.h"

namespace {

namespace fs = std::filesystem;
using namespace flickgem;

constexpr uint32_t kSeed = 190101;
constexpr int kMutations = 600;

std::string Scratch() {
  const char* s = std::getenv("SUITE_TEST_SCRATCH");
  fs::path dir = (s ? fs::path(s) : fs::temp_directory_path()) / "giffuzz";
  fs::create_directories(dir);
  return dir.string();
}

std::vector<std::vector<uint8_t>> Corpus() {
  const std::vector<uint8_t> table = {255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255};
  std::vector<std::vector<uint8_t>> out;
  gifw::Gif a = gifw::Screen(8, 6, table);
  gifw::Image f0 = gifw::Solid(0, 0, 8, 6, 0);
  f0.before = {gifw::Looping(0), gifw::Comment("corpus"), gifw::GraphicControl(10)};
  gifw::Image f1 = gifw::Solid(2, 1, 3, 2, 1);
  f1.pixels[1] = 3;
  f1.before = {gifw::GraphicControl(20, 1, true, 3)};
  gifw::Image f2 = gifw::Solid(5, 3, 2, 2, 2);
  f2.localTable = {1, 2, 3, 4, 5, 6, 1, 2, 3};
  f2.interlace = true;
  f2.before = {gifw::GraphicControl(30, 2, true, 2)};
  a.images = {f0, f1, f2};
  out.push_back(gifw::Encode(a));
  a.trailer = false;
  out.push_back(gifw::Encode(a));
  gifw::Gif b = gifw::Screen(5, 5);
  gifw::Image only = gifw::Solid(1, 1, 3, 3, 1);
  only.localTable = {0, 0, 0, 255, 255, 255};
  only.before = {gifw::GraphicControl(0, 3)};
  b.images = {only};
  out.push_back(gifw::Encode(b));
  return out;
}

// Offsets where blocks begin or end in a file the walk accepts.
std::vector<size_t> Boundaries(std::vector<uint8_t> bytes) {
  GifLayout layout;
  std::vector<size_t> at = {0, 6, 10, 13};
  if (!WalkGif(bytes, layout)) return at;
  for (const GifFrame& f : layout.frames) {
    at.push_back(f.start);
    at.push_back(f.end);
    at.push_back(f.end + 1);
  }
  for (size_t i = 0; i < bytes.size(); ++i)
    if (bytes[i] == 0x21 || bytes[i] == 0x2C) at.push_back(i);
  return at;
}

TEST(GifFuzz, MutationsOfTheCorpusLoadOrAreRefusedCleanly) {
  const std::string scratch = Scratch();
  std::cout << "gif mutation run: seed " << kSeed << ", " << kMutations << " mutations" << std::endl;
  std::mt19937 rng(kSeed);
  const auto corpus = Corpus();
  for (const auto& file : corpus) {
    std::vector<uint8_t> copy = file;
    GifLayout layout;
    ASSERT_TRUE(WalkGif(copy, layout));
    EXPECT_EQ(FuzzGifLoad(file.data(), file.size(), scratch), static_cast<int>(layout.frames.size()));
  }
  for (int m = 0; m < kMutations; ++m) {
    std::vector<uint8_t> bytes = corpus[rng() % corpus.size()];
    const std::vector<size_t> cuts = Boundaries(bytes);
    auto pick = [&](size_t n) { return n ? rng() % n : 0; };
    switch (rng() % 6) {
      case 0:  // byte flips
        for (int i = 0, n = 1 + static_cast<int>(rng() % 3); i < n; ++i)
          bytes[pick(bytes.size())] ^= static_cast<uint8_t>(1 + rng() % 255);
        break;
      case 1:  // a cut at a block boundary
        bytes.resize(std::min(bytes.size(), cuts[pick(cuts.size())]));
        break;
      case 2: {  // a length byte of 0, 1 or 255
        const uint8_t lengths[] = {0, 1, 255};
        size_t at = std::min(bytes.size() - 1, cuts[pick(cuts.size())] + 2);
        bytes[at] = lengths[rng() % 3];
        break;
      }
      case 3: {  // a 16-bit size of 0 or 0xFFFF: the screen's or a descriptor's
        std::vector<size_t> fields = {6, 8};
        for (size_t i = 13; i + 8 < bytes.size(); ++i)
          if (bytes[i] == 0x2C) fields.insert(fields.end(), {i + 5, i + 7});
        size_t at = fields[pick(fields.size())];
        uint8_t v = rng() % 2 ? 0xFF : 0x00;
        if (at + 1 < bytes.size()) bytes[at] = bytes[at + 1] = v;
        break;
      }
      case 4: {  // an inserted block label
        const uint8_t labels[] = {0x21, 0x2C, 0x3B};
        bytes.insert(bytes.begin() + static_cast<std::ptrdiff_t>(pick(bytes.size() + 1)), labels[rng() % 3]);
        break;
      }
      default: {  // a removed block label
        std::vector<size_t> labels;
        for (size_t i = 0; i < bytes.size(); ++i)
          if (bytes[i] == 0x21 || bytes[i] == 0x2C || bytes[i] == 0x3B) labels.push_back(i);
        if (!labels.empty()) bytes.erase(bytes.begin() + static_cast<std::ptrdiff_t>(labels[pick(labels.size())]));
        break;
      }
    }
    std::vector<uint8_t> walked = bytes;
    GifLayout layout;
    const bool accepted = WalkGif(walked, layout);
    const int composed = FuzzGifLoad(bytes.data(), bytes.size(), scratch);
    ASSERT_LE(composed, accepted ? static_cast<int>(layout.frames.size()) : 0) << "mutation " << m;
    for (const GifFrame& f : layout.frames) {
      ASSERT_LE(f.start, f.end) << "mutation " << m;
      ASSERT_LT(f.end, bytes.size()) << "mutation " << m;
    }
  }
  EXPECT_TRUE(fs::is_empty(scratch)) << "files left behind";
}

// Files libFuzzer found (and hand-made cases of mended faults) load or are refused cleanly.
TEST(GifFuzz, RegressionFiles) {
  const std::string scratch = Scratch();
  int seen = 0;
  for (const auto& e : fs::directory_iterator(FLICKGEM_REGRESSIONS)) {
    std::vector<uint8_t> bytes;
    {
      std::ifstream in(e.path(), std::ios::binary);
      bytes.assign(std::istreambuf_iterator<char>(in), {});
    }
    std::vector<uint8_t> walked = bytes;
    GifLayout layout;
    const bool accepted = WalkGif(walked, layout);
    EXPECT_LE(FuzzGifLoad(bytes.data(), bytes.size(), scratch), accepted ? static_cast<int>(layout.frames.size()) : 0)
        << e.path();
    if (accepted) {
      for (const GifFrame& f : layout.frames) EXPECT_LE(f.width, layout.screenWidth) << e.path();
    }
    ++seen;
  }
  EXPECT_GT(seen, 0);
  EXPECT_TRUE(fs::is_empty(scratch));
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
