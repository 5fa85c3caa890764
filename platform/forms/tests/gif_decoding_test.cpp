// GIF decoding behind LoadPicture (Qt's gif plugin): what a picture of a GIF holds, and the files
// it refuses with 481.
#include <gtest/gtest.h>

#include <QImage>
#include <cstdlib>
#include <filesystem>

#include "core/error.h"
#include "forms/picture.h"
#include "forms/qt/picture_qt.h"
#include "gifwriter.h"

namespace fs = std::filesystem;

namespace {

const std::vector<uint8_t> kTable = {255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255};  // red green blue white

std::string Save(const std::string& name, const std::vector<uint8_t>& bytes) {
  const char* s = std::getenv("SUITE_TEST_SCRATCH");
  fs::path dir = (s ? fs::path(s) : fs::temp_directory_path()) / "gifdecoding";
  fs::create_directories(dir);
  std::string path = (dir / name).string();
  gifw::WriteFile(path, bytes);
  return path;
}

QRgb Pixel(const Picture& p, int x, int y) { return ImageOf(p).pixel(x, y) | 0xFF000000u; }

TEST(GifDecoding, OnlyTheFirstImageIsDecodedAndABareGraphicControlLabelIsIgnored) {
  gifw::Gif g = gifw::Screen(4, 4, kTable);
  g.images = {gifw::Solid(0, 0, 4, 4, 0), gifw::Solid(0, 0, 4, 4, 1)};
  Picture two = LoadPicture(Save("two.gif", gifw::Encode(g)));
  EXPECT_EQ(Pixel(two, 2, 2), qRgb(255, 0, 0));

  g.images.resize(1);
  g.trailer = false;
  std::vector<uint8_t> bytes = gifw::Encode(g);
  bytes.insert(bytes.end(), {0x21, 0xF9, 0x3B});
  Picture bare = LoadPicture(Save("bare.gif", bytes));
  EXPECT_EQ(bare.PixelWidth(), 4);
  EXPECT_EQ(Pixel(bare, 0, 0), qRgb(255, 0, 0));
}

TEST(GifDecoding, ThePictureHasTheLogicalScreenWithTheImageAtItsPosition) {
  struct Case {
    uint16_t screenW, screenH, left, top, w, h;
    int pictureW, pictureH, probeX, probeY;
  } cases[] = {
      {10, 8, 3, 2, 4, 3, 10, 8, 4, 3},  // the image at (3, 2) of a 10 x 8 screen
      {0, 0, 0, 0, 5, 6, 5, 6, 4, 5},    // a 0 x 0 screen takes the image's size
  };
  int i = 0;
  for (const Case& c : cases) {
    gifw::Gif g = gifw::Screen(c.screenW, c.screenH, kTable);
    g.images = {gifw::Solid(c.left, c.top, c.w, c.h, 2)};
    Picture p = LoadPicture(Save("screen" + std::to_string(i++) + ".gif", gifw::Encode(g)));
    EXPECT_EQ(p.PixelWidth(), c.pictureW);
    EXPECT_EQ(p.PixelHeight(), c.pictureH);
    EXPECT_EQ(Pixel(p, c.probeX, c.probeY), qRgb(0, 0, 255));
  }
}

TEST(GifDecoding, TransparentPixelsKeepTheirEntrysColour) {
  gifw::Gif g = gifw::Screen(3, 3, kTable);
  gifw::Image im = gifw::Solid(0, 0, 3, 3, 1);
  im.pixels[4] = 3;
  im.before = {gifw::GraphicControl(0, 0, true, 3)};
  g.images = {im};
  QImage image = ImageOf(LoadPicture(Save("transparent.gif", gifw::Encode(g))));
  EXPECT_EQ(image.pixel(1, 1) & 0xFFFFFFu, 0xFFFFFFu);
  EXPECT_EQ(image.pixel(0, 0) | 0xFF000000u, qRgb(0, 255, 0));
}

TEST(GifDecoding, CodeSizesOutsideTwoToEightAndHugeScreensRaise481) {
  for (int cs : {0, 1, 9, 12}) {
    gifw::Gif g = gifw::Screen(2, 2, kTable);
    gifw::Image im = gifw::Solid(0, 0, 2, 2, 0);
    im.codeSize = cs;
    g.images = {im};
    std::string path = Save("cs" + std::to_string(cs) + ".gif", gifw::Encode(g));
    try {
      LoadPicture(path);
      ADD_FAILURE() << "code size " << cs << " loaded";
    } catch (const VBError& e) {
      EXPECT_EQ(e.Number(), vbErrInvalidPicture) << cs;
    }
  }
  for (int cs : {2, 8}) {
    gifw::Gif g = gifw::Screen(2, 2, kTable);
    gifw::Image im = gifw::Solid(0, 0, 2, 2, 0);
    im.codeSize = cs;
    g.images = {im};
    EXPECT_EQ(LoadPicture(Save("ok" + std::to_string(cs) + ".gif", gifw::Encode(g))).PixelWidth(), 2) << cs;
  }
  gifw::Gif huge = gifw::Screen(65535, 65535, kTable);
  huge.images = {gifw::Solid(0, 0, 2, 2, 0)};
  try {
    LoadPicture(Save("huge.gif", gifw::Encode(huge)));
    ADD_FAILURE() << "a 65535 x 65535 screen loaded";
  } catch (const VBError& e) {
    EXPECT_EQ(e.Number(), vbErrInvalidPicture);
  }
}

}  // namespace
