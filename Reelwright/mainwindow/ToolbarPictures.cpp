#include "mainwindow/ToolbarPictures.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <string>

namespace {

constexpr int kSize = 16;

struct Rgb {
  uint8_t r, g, b;
};

class Canvas {
 public:
  explicit Canvas(Rgb back) { px_.fill(back); }
  void Set(int x, int y, Rgb c) {
    if (x >= 0 && y >= 0 && x < kSize && y < kSize) px_[static_cast<size_t>(y * kSize + x)] = c;
  }
  void Rect(int x0, int y0, int x1, int y1, Rgb c) {
    for (int y = y0; y <= y1; ++y)
      for (int x = x0; x <= x1; ++x) Set(x, y, c);
  }
  void Frame(int x0, int y0, int x1, int y1, Rgb c) {
    for (int x = x0; x <= x1; ++x) Set(x, y0, c), Set(x, y1, c);
    for (int y = y0; y <= y1; ++y) Set(x0, y, c), Set(x1, y, c);
  }
  void Line(int x0, int y0, int x1, int y1, Rgb c) {
    const int n = std::max(std::abs(x1 - x0), std::abs(y1 - y0));
    for (int i = 0; i <= n; ++i) {
      const double t = n ? static_cast<double>(i) / n : 0;
      Set(static_cast<int>(std::lround(x0 + (x1 - x0) * t)), static_cast<int>(std::lround(y0 + (y1 - y0) * t)), c);
    }
  }
  void Disc(int cx, int cy, int r, Rgb c) {
    for (int y = cy - r; y <= cy + r; ++y)
      for (int x = cx - r; x <= cx + r; ++x)
        if ((x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r) Set(x, y, c);
  }
  // A 24-bit bottom-up BMP of the canvas.
  std::vector<uint8_t> Bmp() const {
    const uint32_t rowBytes = kSize * 3;  // 48: already a multiple of four
    const uint32_t dataSize = rowBytes * kSize;
    std::vector<uint8_t> b;
    auto u16 = [&](uint32_t v) { b.push_back(v & 0xFF), b.push_back((v >> 8) & 0xFF); };
    auto u32 = [&](uint32_t v) { u16(v & 0xFFFF), u16(v >> 16); };
    b.push_back('B'), b.push_back('M');
    u32(54 + dataSize), u32(0), u32(54);
    u32(40), u32(kSize), u32(kSize), u16(1), u16(24), u32(0), u32(dataSize), u32(2835), u32(2835), u32(0), u32(0);
    for (int y = kSize - 1; y >= 0; --y) {
      for (int x = 0; x < kSize; ++x) {
        const Rgb& c = px_[static_cast<size_t>(y * kSize + x)];
        b.push_back(c.b), b.push_back(c.g), b.push_back(c.r);
      }
    }
    return b;
  }

 private:
  std::array<Rgb, kSize * kSize> px_{};
};

constexpr Rgb kFace{192, 192, 192};
constexpr Rgb kBlack{0, 0, 0};
constexpr Rgb kWhite{255, 255, 255};
constexpr Rgb kBlue{0, 0, 160};
constexpr Rgb kGreen{0, 140, 0};
constexpr Rgb kRed{200, 0, 0};
constexpr Rgb kYellow{240, 200, 40};
constexpr Rgb kGrey{110, 110, 110};

std::vector<uint8_t> Draw(const std::string& key) {
  Canvas c(kFace);
  if (key == "New") {
    c.Rect(3, 1, 12, 14, kWhite), c.Frame(3, 1, 12, 14, kBlack), c.Line(9, 1, 12, 4, kBlack);
  } else if (key == "Open") {
    c.Rect(1, 5, 14, 13, kYellow), c.Frame(1, 5, 14, 13, kBlack), c.Rect(2, 3, 6, 5, kYellow), c.Frame(2, 3, 6, 5, kBlack);
  } else if (key == "Save" || key == "Floppy") {
    c.Rect(1, 1, 14, 14, key == "Save" ? kBlue : kGrey), c.Rect(4, 2, 11, 7, kWhite), c.Rect(5, 10, 10, 14, kBlack);
  } else if (key == "Add") {
    c.Rect(6, 2, 9, 13, kGreen), c.Rect(2, 6, 13, 9, kGreen);
  } else if (key == "Join") {
    c.Rect(1, 3, 6, 12, kBlue), c.Rect(9, 3, 14, 12, kBlue), c.Rect(6, 7, 9, 8, kRed);
  } else if (key == "Compression") {
    c.Rect(2, 2, 13, 13, kGrey), c.Line(4, 4, 7, 7, kWhite), c.Line(11, 4, 8, 7, kWhite), c.Line(4, 11, 7, 8, kWhite),
        c.Line(11, 11, 8, 8, kWhite);
  } else if (key == "Preview") {
    for (int x = 4; x <= 12; ++x) c.Line(x, 2 + (x - 4) / 2, x, 13 - (x - 4) / 2, kGreen);
  } else if (key == "Options") {
    c.Disc(7, 7, 6, kGrey), c.Disc(7, 7, 2, kFace), c.Rect(6, 0, 8, 15, kGrey), c.Rect(0, 6, 15, 8, kGrey), c.Disc(7, 7, 2, kFace);
  } else if (key == "Title") {
    c.Rect(2, 2, 13, 4, kBlack), c.Rect(6, 2, 9, 14, kBlack);
  } else if (key == "Help") {
    c.Disc(7, 7, 7, kBlue), c.Rect(6, 3, 9, 4, kWhite), c.Rect(8, 5, 9, 8, kWhite), c.Rect(7, 11, 8, 12, kWhite);
  } else if (key == "Exit") {
    c.Line(2, 2, 13, 13, kRed), c.Line(3, 2, 14, 13, kRed), c.Line(13, 2, 2, 13, kRed), c.Line(14, 2, 3, 13, kRed);
  } else if (key == "Edit") {
    c.Line(3, 12, 12, 3, kYellow), c.Line(4, 12, 13, 3, kYellow), c.Line(3, 13, 12, 4, kBlack), c.Set(2, 13, kBlack);
  } else if (key == "Split") {
    c.Rect(1, 4, 14, 11, kBlue), c.Rect(7, 1, 8, 14, kRed);
  }
  return c.Bmp();
}

}  // namespace

const std::vector<std::string>& ToolbarPictureKeys() {
  static const std::vector<std::string> keys = {"New",         "Split",  "Floppy", "Open", "Join", "Help", "Add",
                                                "Preview",     "Compression", "Edit", "Save", "Options", "Exit", "Title"};
  return keys;
}

std::vector<uint8_t> ToolbarPictureBmp(const std::string& key) { return Draw(key); }
