// A clip tile hosted on a form takes a real XDND drag from another program on an X11 desktop of
// the test's own: the test window program drags readme.txt and clip.MOV (as a file manager does)
// onto the tile's thumbnail, pressed and moved by xdotool, and the tile loads clip.MOV. The form
// is this test program started again with "--tile-target" on the xcb platform of that desktop.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QLineEdit>
#include <QWidget>
#include <QWindow>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "MediaClip.h"
#include "com/dispatch.h"
#include "fixtures.h"
#include "forms/activex.h"
#include "forms/qt/hwnd_qt.h"
#include "forms_test_support.h"
#include "x11_desktop.h"

namespace {

namespace fs = std::filesystem;
using namespace tilecard;

void Say(const std::string& line) {
  std::printf("%s\n", line.c_str());
  std::fflush(stdout);
}

// ---- the form hosting the tile (a process of its own on the desktop) ---------------------------

// Shows a form with one tile that allows drops, says "target <X11 window id> <x> <y>" (the
// thumbnail's middle in the window) once it is on screen, then "import <file>" at each
// ImportFile and "loaded <MediaFile> <full path text>" once a file is loaded, and ends.
int TileTarget() {
  TestForm f("frmTiles", [](TestForm& f) {
    f.Caption("tile target");
    f.Size(3300, 4000);
    f.Place({{kProgId, "ctrlSourceClip", 0, "", 0, 0, 2835, 3330, ""}});
  });
  f.On("ctrlSourceClip_ImportFile", [](int16_t, std::string& bstrFileName, int16_t&) { Say("import " + bstrFileName); });
  f.Show();
  IDispatch* tile = f.FindControl("ctrlSourceClip", 0)->DispatchObject();
  InvokeDispatch(tile, kAllowDragDrop, DISPATCH_PROPERTYPUT, {Variant(true)});
  QWidget* window = WidgetFromHwnd(f.hWnd());
  QWidget* surface = WidgetFromHwnd(static_cast<HWND>(InvokeDispatch(tile, kHWnd, DISPATCH_PROPERTYGET).i4()));
  QWidget* thumb = surface ? surface->findChild<QWidget*>("imgSourceClip") : nullptr;
  if (!thumb) {
    Say("no thumbnail");
    return 1;
  }
  if (!PumpUntil([&] { return window->windowHandle() && window->windowHandle()->isExposed() && thumb->isVisible(); },
                 std::chrono::seconds(30))) {
    Say("not shown");
    return 1;
  }
  QPoint middle = thumb->mapTo(window, thumb->rect().center());
  Say("target " + std::to_string(window->winId()) + " " + std::to_string(middle.x()) + " " + std::to_string(middle.y()));
  auto mediaFile = [&] { return InvokeDispatch(tile, kMediaFile, DISPATCH_PROPERTYGET).bstr().Utf8(); };
  bool ok = PumpUntil([&] { return !mediaFile().empty(); }, std::chrono::seconds(60));
  QLineEdit* path = surface->findChild<QLineEdit*>("txtFullPath");
  if (!path) path = surface->findChild<QWidget*>("txtFullPath") ? surface->findChild<QWidget*>("txtFullPath")->findChild<QLineEdit*>() : nullptr;
  Say("loaded " + mediaFile() + " " + (path ? path->text().toStdString() : "<no path box>"));
  f.Unload();
  return ok ? 0 : 1;
}

// ---- the test -------------------------------------------------------------------------------------

class TileDropOnX11 : public x11test::DesktopSuite {
 protected:
  static void SetUpTestSuite() {
    x11test::DesktopSuite::SetUpTestSuite();
    const char* bin = std::getenv("SUITE_BIN_DIR");
    std::string cmd = std::string(bin ? bin : ".") + "/regsvr /s '" + TILECARD_LIBRARY + "'";
    ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
    static std::string temp = fixtures::ScratchFolder("tmp");
    setenv("TMPDIR", temp.c_str(), 1);
  }
  // Runs xdotool on the desktop; true when it succeeded.
  bool Xdotool(const std::vector<std::string>& args) {
    return x11test::RunXdotool(args, desktop_->Environment());
  }
};

bool NextLine(x11test::Child& target, const std::string& prefix, std::string& line) {
  return x11test::NextLineStartingWith(target, prefix, line);
}

TEST_F(TileDropOnX11, ADragOfATextAndAMovieFromAnotherProgramLoadsTheMovieIntoTheTile) {
  const std::string dir = fixtures::ScratchFolder("tiledrop");
  const std::string readme = dir + "/readme.txt", movie = dir + "/clip.MOV";
  std::fclose(std::fopen(readme.c_str(), "w"));
  fixtures::Options o;
  o.seconds = 0.2;
  fs::copy_file(fixtures::Make(fixtures::Kind::Mov, dir, o), movie, fs::copy_options::overwrite_existing);

  x11test::WindowProgram source(*desktop_);
  ASSERT_EQ(source.Error(), "");
  ASSERT_TRUE(source.Show()) << source.Error();
  ASSERT_TRUE(source.ArmDrag({readme, movie})) << source.Error();

  char self[4096] = {};
  ASSERT_GT(readlink("/proc/self/exe", self, sizeof self - 1), 0);
  x11test::Child target;
  x11test::Child::Options options;
  options.pipeStdout = true;
  options.env = desktop_->Environment();
  options.env.push_back("ASAN_OPTIONS=detect_leaks=0");
  std::string error, line;
  ASSERT_TRUE(target.Start({self, "--tile-target"}, options, &error)) << error;
  ASSERT_TRUE(NextLine(target, "target ", line)) << line;
  std::vector<std::string> words;
  for (size_t at = 0; at != std::string::npos;) {
    size_t space = line.find(' ', at);
    words.push_back(line.substr(at, space == std::string::npos ? space : space - at));
    at = space == std::string::npos ? space : space + 1;
  }
  ASSERT_EQ(words.size(), 4u) << line;

  // Press on the other program's window: it starts dragging; then over the thumbnail and let go.
  ASSERT_TRUE(Xdotool({"mousemove", "--sync", "--window", std::to_string(source.Window()), "40", "40"}));
  ASSERT_TRUE(Xdotool({"mousedown", "1"}));
  ASSERT_TRUE(source.Report("dragging", "drag start", line)) << source.Error();
  ASSERT_TRUE(Xdotool({"mousemove", "--window", words[1], words[2], words[3]}));
  ASSERT_TRUE(Xdotool({"mousemove", "--window", words[1], std::to_string(std::stoi(words[2]) + 5),
                       std::to_string(std::stoi(words[3]) + 5)}));
  ASSERT_TRUE(Xdotool({"mousemove", "--window", words[1], words[2], words[3]}));
  ASSERT_TRUE(Xdotool({"mouseup", "1"}));
  ASSERT_TRUE(NextLine(target, "import ", line));
  EXPECT_EQ(line, "import " + movie) << "only the movie is imported, never readme.txt";
  ASSERT_TRUE(NextLine(target, "loaded ", line));
  EXPECT_EQ(line, "loaded " + movie + " " + movie);
  EXPECT_TRUE(source.Report("dragged 1", "drag end (copied)", line)) << source.Error();
  int status = target.Wait();
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "target wait status " << status;
  fs::remove_all(dir);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && std::strcmp(argv[1], "--tile-target") == 0) return TileTarget();
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
