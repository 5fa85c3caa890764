// Device contexts, bitmaps and block transfers on Qt images, checked pixel by pixel on small
// bitmaps.
#include <gtest/gtest.h>

#include <QApplication>
#include <QPalette>
#include <QWidget>
#include <filesystem>
#include <fstream>
#include <vector>

#include "forms/form.h"
#include "forms/gdi.h"
#include "forms/picture.h"
#include "forms/qt/gdi_qt.h"
#include "forms/qt/hwnd_qt.h"
#include "forms/qt/picture_qt.h"
#include "fixtures.h"
#include "forms_test_support.h"

namespace {

constexpr COLORREF kRed = RGB(255, 0, 0), kGreen = RGB(0, 255, 0), kBlue = RGB(0, 0, 255);
constexpr COLORREF kWhite = RGB(255, 255, 255), kBlack = 0, kKey = RGB(0x12, 0x34, 0x56);

COLORREF At(HDC dc, int x, int y) {
  QImage img = forms_detail::ImageOfDc(dc);
  QRgb c = img.pixel(x, y);
  return RGB(static_cast<uint8_t>(qRed(c)), static_cast<uint8_t>(qGreen(c)), static_cast<uint8_t>(qBlue(c)));
}

// A memory context holding a new colour bitmap of the given size, filled with one colour (or,
// made with MonoDc, a monochrome bitmap of zeros).
struct ColorDc {
  HDC dc = 0;
  HBITMAP bitmap = 0;
  HGDIOBJ initial = 0;
  ColorDc(int w, int h, COLORREF fill) : ColorDc(w, h, false) { Fill(0, 0, w, h, fill); }
  ColorDc(int w, int h, bool mono) {
    HDC screen = GetDC(0);
    dc = CreateCompatibleDC(screen);
    bitmap = mono ? CreateBitmap(w, h, 1, 1, nullptr) : CreateCompatibleBitmap(screen, w, h);
    ReleaseDC(0, screen);
    initial = SelectObject(dc, bitmap);
  }
  void Fill(int l, int t, int r, int b, COLORREF c) const {
    HBRUSH brush = CreateSolidBrush(c);
    RECT rect{l, t, r, b};
    FillRect(dc, &rect, brush);
    DeleteObject(brush);
  }
  ColorDc(const ColorDc&) = delete;
  ColorDc& operator=(const ColorDc&) = delete;
  ~ColorDc() {
    SelectObject(dc, initial);
    DeleteObject(bitmap);
    DeleteDC(dc);
  }
};

struct MonoDc : ColorDc {
  MonoDc(int w, int h) : ColorDc(w, h, true) {}
};

TEST(Gdi, ANewMemoryContextHoldsAOneByOneMonochromeBitmap) {
  HDC dc = CreateCompatibleDC(0);
  ASSERT_NE(dc, 0u);
  EXPECT_EQ(forms_detail::ImageOfDc(dc).size(), QSize(1, 1));
  EXPECT_EQ(GetNearestColor(dc, RGB(200, 190, 180)), kWhite);
  EXPECT_EQ(GetNearestColor(dc, RGB(20, 90, 10)), kBlack);
  // A bitmap compatible with it is monochrome too; one compatible with the screen is colour.
  HBITMAP mono = CreateCompatibleBitmap(dc, 3, 2);
  HDC screen = GetDC(0);
  EXPECT_EQ(GetNearestColor(screen, kKey), kKey);
  HBITMAP color = CreateCompatibleBitmap(screen, 3, 2);
  ReleaseDC(0, screen);
  HGDIOBJ initial = SelectObject(dc, mono);
  EXPECT_NE(initial, 0u);
  EXPECT_EQ(forms_detail::ImageOfDc(dc).size(), QSize(3, 2));
  EXPECT_EQ(GetNearestColor(dc, kRed), kBlack);
  EXPECT_EQ(SelectObject(dc, color), mono);
  EXPECT_EQ(GetNearestColor(dc, kRed), kRed);
  // A selected bitmap is not deleted; deselected it is.
  EXPECT_FALSE(DeleteObject(color));
  EXPECT_EQ(SelectObject(dc, initial), color);
  EXPECT_TRUE(DeleteObject(color));
  EXPECT_TRUE(DeleteObject(mono));
  EXPECT_TRUE(DeleteDC(dc));
  EXPECT_FALSE(DeleteDC(dc));
}

TEST(Gdi, RasterOperationsCombineColoursBitwise) {
  struct Case {
    DWORD_ROP rop;
    COLORREF dest, src, expected;
  };
  for (const Case& c : std::vector<Case>{{SRCCOPY, kRed, kBlue, kBlue},
                                         {SRCINVERT, RGB(0xF0, 0x0F, 0xFF), RGB(0xFF, 0xFF, 0x0F),
                                          RGB(0x0F, 0xF0, 0xF0)},
                                         {SRCAND, RGB(0xF0, 0x0F, 0xFF), RGB(0x3C, 0xFF, 0x0F),
                                          RGB(0x30, 0x0F, 0x0F)}}) {
    SCOPED_TRACE(c.rop);
    ColorDc dest(2, 2, c.dest), src(2, 2, c.src);
    EXPECT_TRUE(BitBlt(dest.dc, 0, 0, 2, 2, src.dc, 0, 0, c.rop));
    EXPECT_EQ(At(dest.dc, 1, 1), c.expected);
  }
  ColorDc dest(2, 2, kRed), src(2, 2, kBlue);
  EXPECT_FALSE(BitBlt(dest.dc, 0, 0, 2, 2, src.dc, 0, 0, 0x00EE0086)) << "an operation not supported";
  EXPECT_EQ(At(dest.dc, 0, 0), kRed);
}

TEST(Gdi, TransfersAreClippedToBothBitmaps) {
  struct Case {
    int x, y, w, h, sx, sy;
    std::vector<QPoint> green;  // the destination pixels that take the source's green
  };
  // The source: 3×3, green only at (1, 1).
  for (const Case& c : std::vector<Case>{
           {0, 0, 3, 3, 0, 0, {{1, 1}}},
           {-1, -1, 3, 3, 0, 0, {{0, 0}}},   // destination corner outside: the source moves along
           {0, 0, 3, 3, -1, 0, {{2, 1}}},    // source corner outside: the destination moves along
           {2, 2, 9, 9, 1, 1, {{2, 2}}},     // too large: cut at both far edges
           {0, 0, 0, 3, 0, 0, {}},           // an empty size copies nothing
           {0, 0, 3, -2, 0, 0, {}},
           {5, 5, 3, 3, 0, 0, {}},           // wholly outside
       }) {
    SCOPED_TRACE(::testing::Message() << c.x << "," << c.y << " " << c.w << "x" << c.h << " from " << c.sx << ","
                                      << c.sy);
    // Outside the green pixel both are blue: where the green lands tells where each pixel went.
    ColorDc dest(3, 3, kBlue), src(3, 3, kBlue);
    src.Fill(1, 1, 2, 2, kGreen);
    EXPECT_TRUE(BitBlt(dest.dc, c.x, c.y, c.w, c.h, src.dc, c.sx, c.sy, SRCCOPY));
    for (int y = 0; y < 3; ++y) {
      for (int x = 0; x < 3; ++x) {
        bool green = std::find(c.green.begin(), c.green.end(), QPoint(x, y)) != c.green.end();
        EXPECT_EQ(At(dest.dc, x, y), green ? kGreen : kBlue) << x << "," << y;
      }
    }
  }
}

TEST(Gdi, ColourToMonochromeKeysTheBackgroundColourAndBackTurnsIntoTextAndBackground) {
  ColorDc frame(3, 1, kRed);
  frame.Fill(1, 0, 2, 1, kKey);
  MonoDc maskDc(3, 1);
  HDC mask = maskDc.dc;
  EXPECT_EQ(SetBkColor(frame.dc, kKey), kWhite);
  ASSERT_TRUE(BitBlt(mask, 0, 0, 3, 1, frame.dc, 0, 0, SRCCOPY));
  EXPECT_EQ(At(mask, 0, 0), kBlack);
  EXPECT_EQ(At(mask, 1, 0), kWhite) << "the key colour becomes 1";
  EXPECT_EQ(At(mask, 2, 0), kBlack);

  // Back to colour: 0 is the destination's text colour, 1 its background colour.
  ColorDc out(3, 1, kBlue);
  ASSERT_TRUE(BitBlt(out.dc, 0, 0, 3, 1, mask, 0, 0, SRCCOPY));
  EXPECT_EQ(At(out.dc, 0, 0), kBlack);
  EXPECT_EQ(At(out.dc, 1, 0), kWhite);
  SetTextColor(out.dc, kGreen);
  SetBkColor(out.dc, kRed);
  ASSERT_TRUE(BitBlt(out.dc, 0, 0, 3, 1, mask, 0, 0, SRCCOPY));
  EXPECT_EQ(At(out.dc, 0, 0), kGreen);
  EXPECT_EQ(At(out.dc, 1, 0), kRed);
}

TEST(Gdi, AMaskedTransferShowsTheBackgroundWhereTheFrameHasItsKeyColour) {
  // The frame: key, red, key, blue over a green background, composed by XOR, AND and XOR.
  ColorDc back(4, 1, kGreen), frame(4, 1, kKey);
  frame.Fill(1, 0, 2, 1, kRed);
  frame.Fill(3, 0, 4, 1, kBlue);
  ColorDc a(4, 1, kBlack), b(4, 1, kBlack);
  MonoDc mask(4, 1);
  HDC c = mask.dc;
  BitBlt(a.dc, 0, 0, 4, 1, frame.dc, 0, 0, SRCCOPY);
  BitBlt(b.dc, 0, 0, 4, 1, back.dc, 0, 0, SRCCOPY);
  COLORREF old = SetBkColor(a.dc, kKey);
  BitBlt(c, 0, 0, 4, 1, a.dc, 0, 0, SRCCOPY);
  SetBkColor(a.dc, old);
  BitBlt(b.dc, 0, 0, 4, 1, a.dc, 0, 0, SRCINVERT);
  BitBlt(b.dc, 0, 0, 4, 1, c, 0, 0, SRCAND);
  BitBlt(b.dc, 0, 0, 4, 1, a.dc, 0, 0, SRCINVERT);
  BitBlt(back.dc, 0, 0, 4, 1, b.dc, 0, 0, SRCCOPY);
  EXPECT_EQ(At(back.dc, 0, 0), kGreen);
  EXPECT_EQ(At(back.dc, 1, 0), kRed);
  EXPECT_EQ(At(back.dc, 2, 0), kGreen);
  EXPECT_EQ(At(back.dc, 3, 0), kBlue);
}

TEST(Gdi, MonochromeBitsAreReadWordAlignedAndColourBitsBlueFirst) {
  const uint8_t mono[] = {0xA0, 0x00, 0x40, 0x00};  // rows 10 / 01 of a 2×2 bitmap
  HBITMAP m = CreateBitmap(2, 2, 1, 1, mono);
  const uint8_t color[] = {0x56, 0x34, 0x12, 0x00, 0x00, 0xFF, 0, 0};  // 2×1 of 24 bits
  HBITMAP c = CreateBitmap(2, 1, 1, 24, color);
  HDC dc = CreateCompatibleDC(0);
  HGDIOBJ initial = SelectObject(dc, m);
  EXPECT_EQ(At(dc, 0, 0), kWhite);
  EXPECT_EQ(At(dc, 1, 0), kBlack);
  EXPECT_EQ(At(dc, 0, 1), kBlack);
  EXPECT_EQ(At(dc, 1, 1), kWhite);
  SelectObject(dc, c);
  EXPECT_EQ(At(dc, 0, 0), kKey);
  EXPECT_EQ(At(dc, 1, 0), kRed);
  SelectObject(dc, initial);
  DeleteObject(m);
  DeleteObject(c);
  DeleteDC(dc);
  EXPECT_EQ(CreateBitmap(2, 2, 1, 8, nullptr), 0u) << "an unsupported depth";
  EXPECT_EQ(CreateBitmap(70000, 70000, 1, 32, nullptr), 0u) << "past the allocation limit";
  EXPECT_EQ(CreateBitmap(-1, 2, 1, 32, nullptr), 0u);
}

// A 2×1 GIF whose second pixel is transparent, of the colour 12 34 56.
std::string WriteTransparentGif() {
  const uint8_t gif[] = {'G', 'I', 'F', '8', '9', 'a', 2, 0, 1, 0, 0x80, 0, 0,  // screen, 2-colour table
                         0xFF, 0x00, 0x00, 0x12, 0x34, 0x56,                    // red, key
                         0x21, 0xF9, 4, 0x01, 0, 0, 1, 0,                       // transparent index 1
                         0x2C, 0, 0, 0, 0, 2, 0, 1, 0, 0,                       // the image
                         2, 2, 0x44, 0x0A, 0,                                   // LZW: clear 0 1 end
                         0x3B};
  std::string path = (std::filesystem::path(fixtures::ScratchFolder("gdi")) / "transparent.gif").string();
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(gif), sizeof gif);
  return path;
}

TEST(Gdi, APicturesBitmapSelectsAsOpaqueRgbKeepingTransparentPixelsColours) {
  std::string path = WriteTransparentGif();
  Picture picture = LoadPicture(path);
  std::filesystem::remove(path);
  ASSERT_EQ(qAlpha(ImageOf(picture).pixel(1, 0)), 0) << "the loader keeps the pixel transparent";
  HDC dc = CreateCompatibleDC(0);
  HGDIOBJ initial = SelectObject(dc, static_cast<HGDIOBJ>(picture.Handle()));
  ASSERT_NE(initial, 0u);
  EXPECT_EQ(At(dc, 0, 0), kRed);
  EXPECT_EQ(At(dc, 1, 0), kKey);
  // Two contexts may hold the same picture (a nested draw of the same frame); drawing into one
  // leaves the picture as it was.
  HDC other = CreateCompatibleDC(0);
  HGDIOBJ otherInitial = SelectObject(other, static_cast<HGDIOBJ>(picture.Handle()));
  ASSERT_NE(otherInitial, 0u);
  HBRUSH brush = CreateSolidBrush(kGreen);
  RECT all{0, 0, 2, 1};
  FillRect(other, &all, brush);
  EXPECT_EQ(At(dc, 0, 0), kRed);
  EXPECT_EQ(qRed(ImageOf(picture).pixel(0, 0)), 255);
  EXPECT_EQ(SelectObject(dc, initial), static_cast<HGDIOBJ>(picture.Handle()));
  SelectObject(other, otherInitial);
  DeleteObject(brush);
  DeleteDC(dc);
  DeleteDC(other);
  // A handle of a picture that is gone selects nothing.
  uintptr_t gone = picture.Handle();
  picture = Picture();
  HDC third = CreateCompatibleDC(0);
  EXPECT_EQ(SelectObject(third, gone), 0u);
  DeleteDC(third);
}

TEST(Gdi, SystemColoursComeFromThePalette) {
  forms_detail::EnsureApplication();
  QColor face = QApplication::palette().color(QPalette::Button);
  EXPECT_EQ(GetSysColor(15), RGB(static_cast<uint8_t>(face.red()), static_cast<uint8_t>(face.green()),
                                 static_cast<uint8_t>(face.blue())));
  QColor text = QApplication::palette().color(QPalette::ButtonText);
  EXPECT_EQ(GetSysColor(18), RGB(static_cast<uint8_t>(text.red()), static_cast<uint8_t>(text.green()),
                                 static_cast<uint8_t>(text.blue())));
  EXPECT_EQ(GetSysColor(-1), 0u);
}

TEST(Gdi, AWindowsContextDrawsOnTheWindowAtOnce) {
  TestForm f("frmGdi");
  f.Size(3000, 3000);
  f.Show();
  HWND hwnd = f.hWnd();
  HDC dc = GetDC(hwnd);
  ASSERT_NE(dc, 0u);
  ColorDc src(10, 10, kBlue);
  ASSERT_TRUE(BitBlt(dc, 5, 5, 10, 10, src.dc, 0, 0, SRCCOPY));
  QImage shown = WidgetFromHwnd(hwnd)->grab().toImage();
  EXPECT_EQ(shown.pixelColor(7, 7), QColor(0, 0, 255));
  EXPECT_NE(shown.pixelColor(30, 30), QColor(0, 0, 255));
  // What was drawn reads back through the context.
  ColorDc back(2, 2, kRed);
  ASSERT_TRUE(BitBlt(back.dc, 0, 0, 2, 2, dc, 6, 6, SRCCOPY));
  EXPECT_EQ(At(back.dc, 0, 0), kBlue);
  EXPECT_EQ(ReleaseDC(hwnd, dc), 1);
  EXPECT_FALSE(BitBlt(dc, 0, 0, 1, 1, src.dc, 0, 0, SRCCOPY)) << "a released context";
  EXPECT_EQ(GetDC(0xFFFFFF0u), 0u) << "no such window";
  f.Unload();
}

}  // namespace
