// A form built from a control table stands at the table's twips positions (15 twips to a pixel),
// also when rendered offscreen to a picture.
#include <gtest/gtest.h>

#include <QImage>
#include <QStyle>
#include <QStyleOptionButton>
#include <QWidget>
#include <cstdlib>
#include <filesystem>

#include "forms/controls.h"
#include "forms/form.h"
#include "forms/qt/hwnd_qt.h"
#include "forms_test_support.h"

namespace fs = std::filesystem;

namespace {

constexpr OLE_COLOR kRed = 0x0000FF;
constexpr OLE_COLOR kGreen = 0x00FF00;
constexpr OLE_COLOR kBlue = 0xFF0000;
constexpr OLE_COLOR kWhite = 0xFFFFFF;

struct frmLayout : Form {
  frmLayout() : Form("frmLayout") {}
  void Design() override {
    Caption("Layout");
    BorderStyle(vbFixedSingle);
    Size(6000, 4500);
    BackColor(kWhite);
    Place({
        // type          name        index container  left   top   width  height caption
        {"Label", "lblTitle", -1, "", 150, 150, 2400, 255, "Title", {}, StdFont{"DejaVu Sans", 12, true}},
        {"PictureBox", "picRed", -1, "", 1500, 750, 1500, 750, "",
         {{"BorderStyle", Variant(int16_t{0})}, {"BackColor", Variant(int32_t{kRed})}}},
        {"Frame", "fraBox", -1, "", 3300, 750, 2400, 1800, "Box"},
        {"PictureBox", "picGreen", -1, "fraBox", 300, 450, 900, 600, "",
         {{"BorderStyle", Variant(int16_t{0})}, {"BackColor", Variant(int32_t{kGreen})}}},
        {"Label", "lblInBox", -1, "fraBox", 300, 1200, 1800, 300, "", {{"BackColor", Variant(int32_t{kWhite})}}},
        {"Shape", "shpBlue", -1, "", 150, 2700, 1200, 600, "",
         {{"FillStyle", Variant(int16_t{0})}, {"FillColor", Variant(int32_t{kBlue})},
          {"BorderColor", Variant(int32_t{kBlue})}}},
        {"CommandButton", "cmdOK", -1, "", 4500, 3600, 1215, 375, "OK"},
        {"TextBox", "txtName", -1, "", 150, 3600, 2400, 285, "name"},
    });
  }
};

struct Row {
  const char* name;
  int left, top, width, height;
  const char* container;
};

}  // namespace

TEST(Layout, ControlsStandAtTheTablesTwipsPositions) {
  frmLayout f;
  f.Show();
  const Row rows[] = {
      {"lblTitle", 150, 150, 2400, 255, ""},     {"picRed", 1500, 750, 1500, 750, ""},
      {"fraBox", 3300, 750, 2400, 1800, ""},    {"picGreen", 300, 450, 900, 600, "fraBox"},
      {"shpBlue", 150, 2700, 1200, 600, ""},     {"cmdOK", 4500, 3600, 1215, 375, ""},
      {"txtName", 150, 3600, 2400, 285, ""},
  };
  for (const Row& r : rows) {
    Control* c = f.FindControl(r.name);
    ASSERT_NE(c, nullptr) << r.name;
    EXPECT_EQ(c->Left(), r.left) << r.name;
    EXPECT_EQ(c->Top(), r.top) << r.name;
    EXPECT_EQ(c->Width(), r.width) << r.name;
    EXPECT_EQ(c->Height(), r.height) << r.name;
    QWidget* w = WidgetFromHwnd(c->hWnd());
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->geometry(), QRect(r.left / 15, r.top / 15, r.width / 15, r.height / 15)) << r.name;
    EXPECT_EQ(c->Container(), *r.container ? f.FindControl(r.container) : nullptr) << r.name;
  }
  EXPECT_EQ(f.Width(), 6000);
  EXPECT_EQ(f.Height(), 4500);
  StdFont font = f.FindControl("lblTitle")->Font();
  EXPECT_EQ(font.Size, 12.0f);
  EXPECT_TRUE(font.Bold);
  EXPECT_EQ(WidgetFromHwnd(f.FindControl("lblTitle")->hWnd())->font().pixelSize(), 12 * 96 / 72)
      << "12 points at 96 dots an inch";
  f.Unload();
}

TEST(Layout, RenderedPictureShowsControlsAtTheirPixels) {
  frmLayout f;
  f.Show();
  DoEvents();
  QWidget* window = WidgetFromHwnd(f.hWnd());
  ASSERT_NE(window, nullptr);
  QImage shot = window->grab().toImage();
  const char* scratch = std::getenv("SUITE_TEST_SCRATCH");
  fs::path dir = scratch ? fs::path(scratch) : fs::temp_directory_path();
  fs::create_directories(dir);
  ASSERT_TRUE(shot.save(QString::fromStdString((dir / "layout.png").string()), "PNG"));

  QImage png(QString::fromStdString((dir / "layout.png").string()));
  ASSERT_FALSE(png.isNull());
  // The picture is the inner area: the outer 6000 x 4500 twips less the window frame.
  EXPECT_EQ(png.size(), QSize(static_cast<int>(f.ScaleWidth()) / 15, static_cast<int>(f.ScaleHeight()) / 15));
  EXPECT_LE(png.width(), 400);
  auto at = [&](int x, int y) { return png.pixelColor(x, y).rgb() & 0xFFFFFF; };
  // picRed: 1500,750 twips = 100,50 pixels, 100 x 50 pixels.
  EXPECT_EQ(at(100, 50), 0xFF0000u);
  EXPECT_EQ(at(199, 99), 0xFF0000u);
  EXPECT_NE(at(99, 50), 0xFF0000u);
  EXPECT_NE(at(100, 49), 0xFF0000u);
  EXPECT_NE(at(200, 99), 0xFF0000u);
  EXPECT_NE(at(199, 100), 0xFF0000u);
  // picGreen inside the frame: (3300 + 300, 750 + 450) twips = 240,80 pixels, 60 x 40.
  EXPECT_EQ(at(240, 80), 0x00FF00u);
  EXPECT_EQ(at(299, 119), 0x00FF00u);
  EXPECT_NE(at(239, 80), 0x00FF00u);
  EXPECT_NE(at(300, 119), 0x00FF00u);
  // lblInBox, opaque in the form's colour: (3300 + 300, 750 + 1200) twips = 240,130 pixels,
  // 120 x 20. It shows no patch: the frame's inside beside, above and below it is the same colour.
  EXPECT_EQ(at(250, 135), at(232, 135));
  EXPECT_EQ(at(250, 135), at(250, 155));
  EXPECT_EQ(at(250, 135), at(300, 112));
  // shpBlue, filled: 150,2700 twips = 10,180 pixels, 80 x 40; its middle is blue.
  EXPECT_EQ(at(50, 200), 0x0000FFu);
  EXPECT_NE(at(50, 221), 0x0000FFu);
  // The form's own background elsewhere.
  EXPECT_EQ(at(5, 100), 0xFFFFFFu);
  f.Unload();
}

namespace {

struct frmWrap : Form {
  frmWrap() : Form("frmWrap") {}
  void Design() override {
    Caption("Wrap");
    Size(6000, 3000);
    const char* longer = "Start playing the animation when load is complete";
    Place({
        {"CheckBox", "chkLongTall", -1, "", 120, 120, 1500, 390, longer},
        {"CheckBox", "chkShortTall", -1, "", 1800, 120, 1500, 390, "Auto"},
        {"OptionButton", "optLongTall", -1, "", 120, 720, 1500, 390, longer},
        {"OptionButton", "optShortTall", -1, "", 1800, 720, 1500, 390, "Auto"},
        {"CheckBox", "chkLongShort", -1, "", 120, 1320, 1500, 255, longer},
    });
  }
};

// How many pixel rows of the caption's room, beside the indicator, hold any ink.
int InkRows(QWidget* w) {
  QStyleOptionButton opt;
  opt.initFrom(w);
  const bool check = w->inherits("QCheckBox");
  const QRect room = w->style()->subElementRect(check ? QStyle::SE_CheckBoxContents : QStyle::SE_RadioButtonContents, &opt, w);
  const QImage shot = w->grab().toImage();
  int top = -1, bottom = -1;
  for (int y = 0; y < shot.height(); ++y) {
    for (int x = room.left(); x < shot.width(); ++x) {
      if (shot.pixelColor(x, y).lightness() < 100) {
        if (top < 0) top = y;
        bottom = y;
        break;
      }
    }
  }
  return top < 0 ? 0 : bottom - top + 1;
}

}  // namespace

// A check box or option button tall enough for two lines wraps a caption wider than its room over
// them; a caption that fits stays on one line, and a control one line tall keeps one line.
TEST(Layout, CheckBoxesAndOptionButtonsWrapALongCaptionWhenTallEnough) {
  frmWrap f;
  f.Show();
  DoEvents();
  struct Case {
    const char* name;
    bool wrapped;
  };
  const Case cases[] = {
      {"chkLongTall", true}, {"chkShortTall", false}, {"optLongTall", true}, {"optShortTall", false}, {"chkLongShort", false},
  };
  for (const Case& c : cases) {
    QWidget* w = WidgetFromHwnd(f.FindControl(c.name)->hWnd());
    ASSERT_NE(w, nullptr) << c.name;
    const QFontMetrics fm(w->font());
    const int rows = InkRows(w);
    EXPECT_GT(rows, 0) << c.name;
    if (c.wrapped) {
      EXPECT_GT(rows, fm.lineSpacing()) << c.name << " draws its caption on two lines";
    } else {
      EXPECT_LE(rows, fm.height()) << c.name << " draws its caption on one line";
    }
  }
  f.Unload();
}
