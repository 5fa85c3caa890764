// Pictures: LoadPicture of every supported file kind, SavePicture, HIMETRIC sizes, and the
// picture box's drawing with and without a persistent image.
#include <gtest/gtest.h>

#include <QBuffer>
#include <algorithm>
#include <QImage>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "forms/controls.h"
#include "forms/form.h"
#include "com/dispatch.h"
#include "forms/picture.h"
#include "forms/picture_object.h"
#include "forms/qt/picture_qt.h"
#include "forms_test_support.h"

namespace fs = std::filesystem;

namespace {

fs::path Scratch() {
  const char* s = std::getenv("SUITE_TEST_SCRATCH");
  fs::path dir = (s ? fs::path(s) : fs::temp_directory_path()) / "pictures";
  fs::create_directories(dir);
  return dir;
}

fs::path WriteImage(const std::string& name, const char* format, QSize size) {
  QImage img(size, QImage::Format_RGB32);
  img.fill(QColor(10, 200, 30));
  fs::path p = Scratch() / name;
  EXPECT_TRUE(img.save(QString::fromStdString(p.string()), format)) << name;
  return p;
}

// A 1 x 1 GIF whose only pixel is red.
fs::path WriteGif() {
  static const unsigned char gif[] = {0x47, 0x49, 0x46, 0x38, 0x39, 0x61, 0x01, 0x00, 0x01, 0x00, 0x80, 0x00,
                                      0x00, 0xFF, 0x00, 0x00, 0x00, 0x00, 0x00, 0x2C, 0x00, 0x00, 0x00, 0x00,
                                      0x01, 0x00, 0x01, 0x00, 0x00, 0x02, 0x02, 0x44, 0x01, 0x00, 0x3B};
  fs::path p = Scratch() / "dot.gif";
  std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(gif), sizeof gif);
  return p;
}

}  // namespace

TEST(Pictures, LoadPictureReadsEveryKind) {
  struct Case {
    fs::path file;
    int w, h;
    int16_t type;
  };
  fs::path bmp = WriteImage("a.bmp", "BMP", {96, 48});
  fs::path dib = Scratch() / "a.dib";
  fs::copy_file(bmp, dib, fs::copy_options::overwrite_existing);
  const Case cases[] = {
      {bmp, 96, 48, 1},
      {dib, 96, 48, 1},
      {WriteImage("a.jpg", "JPG", {40, 30}), 40, 30, 1},
      {WriteImage("a.ico", "ICO", {32, 32}), 32, 32, 3},
      {WriteGif(), 1, 1, 1},
  };
  for (const Case& c : cases) {
    Picture p = LoadPicture(c.file.string());
    ASSERT_FALSE(p.IsEmpty()) << c.file;
    EXPECT_EQ(p.PixelWidth(), c.w) << c.file;
    EXPECT_EQ(p.PixelHeight(), c.h) << c.file;
    EXPECT_EQ(p.Type(), c.type) << c.file;
    EXPECT_EQ(p.Width(), HimetricFromPixels(c.w));
  }
  EXPECT_EQ(HimetricFromPixels(96), 2540) << "96 pixels are one inch";
  EXPECT_EQ(LoadPicture().Type(), 0);
  EXPECT_TRUE(LoadPicture("").IsEmpty());
}

// Bitmap files of every row layout load with the pixels Qt's own reader gives them: 24-bit
// ones (padded rows, bottom-up and top-down) and the other depths.
TEST(Pictures, BitmapsLoadPixelForPixel) {
  struct Case {
    const char* name;
    QSize size;
    QImage::Format format;  // of the image saved as the file
    bool topDown;           // rows stored top first (negative height)
  } cases[] = {
      {"one.bmp", {1, 1}, QImage::Format_RGB32, false},
      {"odd.bmp", {3, 2}, QImage::Format_RGB32, false},
      {"thumb.bmp", {177, 121}, QImage::Format_RGB32, false},
      {"topdown.bmp", {5, 3}, QImage::Format_RGB32, true},
      {"indexed.bmp", {7, 4}, QImage::Format_Indexed8, false},
      {"alpha.bmp", {4, 4}, QImage::Format_ARGB32, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    QImage img(c.size, QImage::Format_RGB32);
    for (int y = 0; y < c.size.height(); ++y)
      for (int x = 0; x < c.size.width(); ++x) img.setPixel(x, y, qRgb(x * 37 % 256, y * 53 % 256, (x + y) * 11 % 256));
    if (c.format == QImage::Format_Indexed8) img = img.convertToFormat(c.format, Qt::ThresholdDither);
    if (c.format == QImage::Format_ARGB32) img = img.convertToFormat(c.format);
    const fs::path p = Scratch() / c.name;
    QByteArray bytes;
    {
      QBuffer buffer(&bytes);
      buffer.open(QIODevice::WriteOnly);
      ASSERT_TRUE(img.save(&buffer, "BMP"));
    }
    if (c.topDown) {
      // Flip the stored rows and make the height negative.
      const int rows = c.size.height();
      const int stride = (c.size.width() * 3 + 3) & ~3;
      const int off = static_cast<uchar>(bytes[10]) | (static_cast<uchar>(bytes[11]) << 8);
      QByteArray flipped = bytes;
      for (int y = 0; y < rows; ++y)
        std::copy_n(bytes.constData() + off + stride * (rows - 1 - y), stride, flipped.data() + off + stride * y);
      const int32_t negative = -rows;
      for (int i = 0; i < 4; ++i) flipped[22 + i] = static_cast<char>((static_cast<uint32_t>(negative) >> (8 * i)) & 0xFF);
      bytes = flipped;
    }
    std::ofstream(p, std::ios::binary).write(bytes.constData(), bytes.size());
    const QImage expected = QImage(QString::fromStdString(p.string()), "BMP").convertToFormat(QImage::Format_RGB32);
    ASSERT_FALSE(expected.isNull());
    Picture pic = LoadPicture(p.string());
    EXPECT_EQ(pic.Type(), 1);
    EXPECT_EQ(ImageOf(pic).convertToFormat(QImage::Format_RGB32), expected);
    if (c.format == QImage::Format_RGB32 && !c.topDown) {
      EXPECT_EQ(expected, img) << "the file holds the image";
    }
  }
}

TEST(Pictures, LoadAndSaveReportBadInput) {
  fs::path junk = Scratch() / "junk.bmp";
  std::ofstream(junk) << "this is no picture";
  EXPECT_EQ(ErrorOf([&] { LoadPicture((Scratch() / "missing.bmp").string()); }), 53);
  EXPECT_EQ(ErrorOf([&] { LoadPicture(junk.string()); }), 481);
  EXPECT_EQ(ErrorOf([&] { SavePicture(Picture(), (Scratch() / "x.bmp").string()); }), 380);
  EXPECT_EQ(ErrorOf([&] { SavePicture(LoadPicture(WriteGif().string()), "/nonexistent/dir/x.bmp"); }), 75);
}

TEST(Pictures, SavePictureWritesABitmapThatLoadsBack) {
  Picture p = LoadPicture(WriteImage("src.jpg", "JPG", {64, 32}).string());
  fs::path out = Scratch() / "saved.bmp";
  SavePicture(p, out.string());
  std::ifstream f(out, std::ios::binary);
  char magic[2] = {};
  f.read(magic, 2);
  EXPECT_EQ(std::string(magic, 2), "BM");
  Picture back = LoadPicture(out.string());
  EXPECT_EQ(back.PixelWidth(), 64);
  EXPECT_EQ(back.PixelHeight(), 32);
}

TEST(PictureBoxDrawing, PersistentImageKeepsWhatWasDrawn) {
  TestForm f("frmDraw", [](TestForm& f) {
    f.Place({{"PictureBox", "picCanvas", -1, "", 0, 0, 1500, 1500, "",
              {{"BorderStyle", Variant(int16_t{0})}, {"BackColor", Variant(int32_t{0xFFFFFF})},
               {"AutoRedraw", Variant(true)}}}});
  });
  Ctl<PictureBox> pic(&f, "picCanvas");
  EXPECT_EQ(pic->ScaleWidth(), 1500.0f);
  pic->ScaleMode(vbPixels);
  EXPECT_EQ(pic->ScaleWidth(), 100.0f);
  pic->Line(10, 10, 30, 20, 0x0000FF, 2);  // filled red box
  pic->PSet(50, 50, 0xFF0000);
  EXPECT_EQ(pic->CurrentX(), 50.0f);
  Picture img = pic->Image();
  EXPECT_EQ(img.PixelWidth(), 100);
  EXPECT_EQ(pic->Point(20, 15), 0x0000FFu);
  EXPECT_EQ(pic->Point(50, 50), 0xFF0000u);
  EXPECT_EQ(pic->Point(5, 5), 0xFFFFFFu);
  // Print moves to the next line and back to the left.
  pic->CurrentX(5);
  pic->CurrentY(60);
  float h = pic->TextHeight("Preview Window");
  pic->Print("Preview Window");
  EXPECT_EQ(pic->CurrentX(), 0.0f);
  EXPECT_FLOAT_EQ(pic->CurrentY(), 60 + h);
  pic->Cls();
  EXPECT_EQ(pic->Point(20, 15), 0xFFFFFFu);
  EXPECT_EQ(pic->CurrentY(), 0.0f);
  // A user scale: 0..10 across the box.
  pic->Scale(0, 0, 10, 10);
  pic->Line(0, 0, 5, 5, 0x00FF00, 2);
  EXPECT_EQ(pic->Point(2, 2), 0x00FF00u);
  EXPECT_EQ(pic->Point(7, 7), 0xFFFFFFu);
  f.Unload();
}

TEST(PictureBoxDrawing, PaintRunsWithoutPersistentImage) {
  TestForm f("frmPaint", [](TestForm& f) {
    f.Place({{"PictureBox", "picPrev", -1, "", 0, 0, 1500, 1500, ""}});
  });
  int paints = 0;
  f.On("picPrev_Paint", [&] { ++paints; });
  f.Show();
  Ctl<PictureBox> pic(&f, "picPrev");
  EXPECT_TRUE(PumpUntil([&] { return paints >= 1; })) << "showing the box paints it";
  pic->AutoRedraw(true);
  int before = paints;
  pic->Refresh();
  DoEvents();
  EXPECT_EQ(paints, before) << "with a persistent image the control repaints itself";
  f.Unload();
}

TEST(ImageControl, TakesThePicturesSizeUnlessStretched) {
  TestForm f("frmImage", [](TestForm& f) { f.Place({{"Image", "imgPreview", -1, "", 0, 0, 3000, 3000, ""}}); });
  Ctl<Image> img(&f, "imgPreview");
  Picture p = LoadPicture(WriteImage("img.bmp", "BMP", {20, 10}).string());
  img->SetPicture(p);
  EXPECT_EQ(img->Width(), 300);
  EXPECT_EQ(img->Height(), 150);
  img->Stretch(true);
  img->Move(0, 0, 3000, 3000);
  img->SetPicture(p);
  EXPECT_EQ(img->Width(), 3000);
  EXPECT_EQ(img->GetPicture(), p);
  f.Unload();
}

TEST(PictureObjects, CrossAutomationAndLateBoundProperties) {
  Picture p = LoadPicture(WriteImage("obj.bmp", "BMP", {96, 48}).string());
  ComPtr<IPictureDisp> obj = PictureObject(p);
  ASSERT_TRUE(obj);
  EXPECT_EQ(CallByName(obj.Get(), "Width", DISPATCH_PROPERTYGET), Variant(int32_t{2540}));
  EXPECT_EQ(CallByName(obj.Get(), "Height", DISPATCH_PROPERTYGET), Variant(int32_t{1270}));
  EXPECT_EQ(CallByName(obj.Get(), "Type", DISPATCH_PROPERTYGET), Variant(int16_t{1}));
  EXPECT_EQ(CallByName(obj.Get(), "Handle", DISPATCH_PROPERTYGET), Variant(static_cast<int32_t>(p.Handle())));
  EXPECT_EQ(PictureFromObject(obj.Get()), p) << "the object gives back the same picture";
  EXPECT_FALSE(PictureObject(Picture()));
  EXPECT_TRUE(PictureFromVariant(Variant()).IsEmpty());
  EXPECT_EQ(ErrorOf([] { PictureFromVariant(Variant("not a picture")); }), 13);

  TestForm f("frmPictures", [](TestForm& f) {
    f.Place({{"Image", "imgThumb", -1, "", 0, 0, 1500, 1500, ""},
             {"PictureBox", "picFrame", -1, "", 1500, 0, 1500, 1500, ""},
             {"CommandButton", "cmdPlay", -1, "", 0, 1500, 1500, 600, "", {{"Style", Variant(int16_t{1})}}}});
  });
  for (const char* name : {"imgThumb", "picFrame", "cmdPlay"}) {
    Control* c = f.FindControl(name);
    c->SetProperty("Picture", PictureVariant(p));
    EXPECT_EQ(PictureFromVariant(c->GetProperty("Picture")), p) << name;
    c->SetProperty("Picture", Variant());
    EXPECT_TRUE(PictureFromVariant(c->GetProperty("Picture")).IsEmpty()) << name;
  }
  Picture image = PictureFromVariant(f.FindControl("picFrame")->GetProperty("Image"));
  EXPECT_EQ(image.PixelWidth(), 96) << "the drawing area of a box of 1500 twips with its border";
  f.Unload();
}

TEST(Pictures, PictureStoredWithAWindowLoadsFromItsBytes) {
  QImage img(381, 205, QImage::Format_RGB32);
  img.fill(QColor(1, 2, 3));
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  ASSERT_TRUE(img.save(&buffer, "BMP"));
  Picture p = LoadPictureData(reinterpret_cast<const unsigned char*>(bytes.constData()), static_cast<size_t>(bytes.size()));
  EXPECT_EQ(p.Type(), 1);
  EXPECT_EQ(p.PixelWidth(), 381);
  EXPECT_EQ(p.PixelHeight(), 205);
  const unsigned char junk[] = {'n', 'o', 't', ' ', 'a', ' ', 'p', 'i', 'c'};
  EXPECT_EQ(ErrorOf([&] { LoadPictureData(junk, sizeof junk); }), 481);
  EXPECT_EQ(ErrorOf([&] { LoadPictureData(junk, 0); }), 481);
}
