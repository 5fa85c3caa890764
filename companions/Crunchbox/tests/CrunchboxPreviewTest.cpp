// Crunchbox's preview on a screen of a desktop's size (1280 by 1024; the offscreen platform's
// own screen of 800 by 600 is smaller than a 640 by 480 preview needs): the window grows until
// the whole video window shows, and never beyond the screen.
#include <QWidget>
#include <cstdlib>
#include <fstream>
#include <string>

#include "CrunchboxSupport.h"
#include "forms/qt/hwnd_qt.h"

using fixtures::Kind;
using namespace crunchbox_test;

namespace {

// Before the application starts: the offscreen platform with a screen of 1280 by 1024.
class LargerScreen : public ::testing::Environment {
 public:
  void SetUp() override {
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (!platform || std::string(platform) != "offscreen") return;
    const std::string config = fixtures::ScratchFolder("screen") + "/screen.json";
    std::ofstream(config) << R"({"windowFrameMargins": true, "screens": [{"name": "Desktop", "x": 0, "y": 0,
        "width": 1280, "height": 1024, "logicalDpiX": 96, "logicalDpiY": 96, "logicalBaseDpi": 96, "dpr": 1}]})";
    ::setenv("QT_QPA_PLATFORM", ("offscreen:configfile=" + config).c_str(), 1);
  }
};
const auto* const kLargerScreen = ::testing::AddGlobalTestEnvironment(new LargerScreen);

}  // namespace

// The video window lies at Picture1's corner in the movie's own size; the main window grows,
// when it must, until the whole of it shows, and never beyond the screen. A small movie leaves
// the window at its design size.
TEST_F(CrunchboxTest, ThePreviewShowsWhole) {
  struct Case {
    int width, height;
    bool grows;
  };
  const int screenW = Screen().Width() / 15, screenH = Screen().Height() / 15;
  ASSERT_EQ(screenW, 1280) << "the desktop-sized screen";
  const Case cases[] = {{160, 120, false}, {640, 480, true}, {screenW + 64, screenH + 48, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
    fixtures::Options o;
    o.width = c.width;
    o.height = c.height;
    o.seconds = 0.2;
    o.audio = false;
    const std::string movie = Movie(Kind::AviMjpegPcm, o);
    ScriptScope script;
    Start(movie);
    frmCrunchbox& m = MainForm();
    ASSERT_TRUE(m.play_video->Enabled()) << "opened";
    DoEvents();
    QWidget* box = WidgetFromHwnd(m.Picture1->hWnd());
    ASSERT_NE(box, nullptr);
    QWidget* video = nullptr;
    for (QWidget* w : box->findChildren<QWidget*>()) {
      if (w->size() == QSize(c.width, c.height)) video = w;
    }
    ASSERT_NE(video, nullptr) << "the video window in the movie's size";
    QWidget* top = box->window();
    const QRect shown(video->mapTo(top, QPoint(0, 0)), video->size());
    // Movies that fit the screen show whole; a larger one as far as the screen allows.
    if (c.width < screenW - 40 && c.height < screenH - 200) {
      EXPECT_TRUE(top->rect().contains(shown)) << "the window shows the whole preview";
      EXPECT_TRUE(box->rect().contains(video->geometry())) << "so does Picture1";
    }
    EXPECT_LE(m.Width(), Screen().Width());
    EXPECT_LE(m.Height(), Screen().Height());
    EXPECT_GE(m.Left(), 0);
    EXPECT_GE(m.Top(), 0);
    if (c.grows) {
      EXPECT_TRUE(m.Width() > 9600 || m.Height() > 7200);
    } else {
      EXPECT_EQ(m.Width(), 9600);
      EXPECT_EQ(m.Height(), 7200);
    }
    m.Unload();
  }
}

