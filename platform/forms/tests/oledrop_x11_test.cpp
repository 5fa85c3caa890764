// Files dragged from another program onto a control, on a real X11 desktop: the test window
// program drags readme.txt and clip.MOV (as a file manager does, by XDND) and the drop target,
// this test program started again with "--drop-target" on the xcb platform of that desktop,
// raises OLEDragOver and OLEDragDrop with the file list. The pointer is moved and pressed by
// xdotool, as a user's hand would.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QWidget>
#include <QWindow>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "forms/controls.h"
#include "forms/form.h"
#include "forms/oledrop.h"
#include "forms/qt/hwnd_qt.h"
#include "fixtures.h"
#include "forms_test_support.h"
#include "x11_desktop.h"

namespace {

void Say(const std::string& line) {
  std::printf("%s\n", line.c_str());
  std::fflush(stdout);
}

std::string Joined(DataObject& d) {
  std::string out;
  for (int32_t i = 1; i <= d.Files().Count(); ++i) out += (i > 1 ? "|" : "") + d.Files().Item(i);
  return out;
}

// ---- the drop target (a process of its own on the desktop) ------------------------------------

// Shows a form whose picture box takes drops, says "target <X11 window id>" once it is on screen,
// then "over <state> <files>" at each OLEDragOver and "drop <files>" at the drop, and ends.
int DropTarget() {
  TestForm f("frmTarget", [](TestForm& f) {
    f.Caption("drop target");
    f.Place({{"PictureBox", "picDrop", -1, "", 0, 0, 3000, 3000, "",
              {{"OLEDropMode", Variant(int16_t{1})}, {"BorderStyle", Variant(int16_t{0})}}}});
  });
  f.Size(3300, 3600);
  bool dropped = false;
  // As the clip tile does: keep the first movie, offer a copy only for it.
  f.On("picDrop_OLEDragOver", [](Variant Data, int32_t& Effect, int16_t, int16_t, float, float, int16_t State) {
    DataObject& d = DataObjectOf(Data);
    Effect = vbDropEffectNone;
    for (int32_t i = 1; i <= d.Files().Count(); ++i) {
      std::string file = d.Files().Item(i);
      if (file.size() >= 4 && file.compare(file.size() - 4, 4, ".MOV") == 0) {
        d.Files().Clear();
        d.Files().Add(file);
        Effect = vbDropEffectCopy;
        break;
      }
    }
    Say("over " + std::to_string(State) + " " + Joined(d));
  });
  f.On("picDrop_OLEDragDrop", [&dropped](Variant Data, int32_t&, int16_t, int16_t, float, float) {
    Say("drop " + Joined(DataObjectOf(Data)));
    dropped = true;
  });
  f.Show();
  QWidget* window = WidgetFromHwnd(f.hWnd());
  if (!PumpUntil([&] { return window->windowHandle() && window->windowHandle()->isExposed(); },
                 std::chrono::seconds(30))) {
    Say("not shown");
    return 1;
  }
  Say("target " + std::to_string(window->winId()));
  bool ok = PumpUntil([&] { return dropped; }, std::chrono::seconds(60));
  f.Unload();
  return ok ? 0 : 1;
}

// ---- the test -------------------------------------------------------------------------------------

class OleDropOnX11 : public x11test::DesktopSuite {
 protected:
  // Runs xdotool on the desktop; true when it succeeded.
  bool Xdotool(const std::vector<std::string>& args) {
    return x11test::RunXdotool(args, desktop_->Environment());
  }
};

bool NextLine(x11test::Child& target, const std::string& prefix, std::string& line) {
  return x11test::NextLineStartingWith(target, prefix, line);
}

TEST_F(OleDropOnX11, ADragOfATextAndAMovieFromAnotherProgramDropsTheMovie) {
  std::filesystem::path dir = fixtures::ScratchFolder("oledrop");
  std::string readme = (dir / "readme.txt").string(), movie = (dir / "clip.MOV").string();
  for (const std::string& p : {readme, movie}) std::fclose(std::fopen(p.c_str(), "w"));

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
  ASSERT_TRUE(target.Start({self, "--drop-target"}, options, &error)) << error;
  ASSERT_TRUE(NextLine(target, "target ", line)) << line;
  std::string targetWindow = line.substr(7);

  // Press on the other program's window: it starts dragging.
  ASSERT_TRUE(Xdotool({"mousemove", "--sync", "--window", std::to_string(source.Window()), "40", "40"}));
  ASSERT_TRUE(Xdotool({"mousedown", "1"}));
  ASSERT_TRUE(source.Report("dragging", "drag start", line)) << source.Error();
  // Over the picture box: entering, then over, with the list reduced to the movie.
  ASSERT_TRUE(Xdotool({"mousemove", "--window", targetWindow, "60", "60"}));
  ASSERT_TRUE(NextLine(target, "over ", line));
  EXPECT_EQ(line, "over 0 " + movie);
  ASSERT_TRUE(Xdotool({"mousemove", "--window", targetWindow, "70", "70"}));
  ASSERT_TRUE(NextLine(target, "over 2 ", line));
  EXPECT_EQ(line, "over 2 " + movie);
  ASSERT_TRUE(Xdotool({"mouseup", "1"}));
  ASSERT_TRUE(NextLine(target, "drop ", line));
  EXPECT_EQ(line, "drop " + movie);
  EXPECT_TRUE(source.Report("dragged 1", "drag end (copied)", line)) << source.Error();
  int status = target.Wait();
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "target wait status " << status;
  std::filesystem::remove_all(dir);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && std::strcmp(argv[1], "--drop-target") == 0) return DropTarget();
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
