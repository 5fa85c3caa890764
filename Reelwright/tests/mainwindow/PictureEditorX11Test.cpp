// The picture editor's watch on a real X11 desktop: the test window program stands in for the
// image editor (it writes its arguments to a file and takes commands from a FIFO). The watch runs
// in this test program started again on the desktop's xcb platform; the test started on the
// offscreen platform only runs that second program and reports its outcome.
#include <gtest/gtest.h>
#include <QTimer>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "MainWindowFixture.h"
#include "core/runtime_convert.h"
#include "fixtures.h"
#include "forms/app.h"
#include "forms/desktop_windows.h"
#include "forms/hwnd.h"
#include "mainwindow/PictureEditor.h"
#include "mainwindow/frmShow.h"
#include "scripted_responder.h"
#include "x11_desktop.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kOnDesktop = "PICTURE_EDITOR_ON_DESKTOP";

bool OnDesktop() { return std::getenv(kOnDesktop) != nullptr; }

// The editor of one test: the test window program with its argument file, its FIFO and the
// caption and showing it starts with.
class Editor {
 public:
  Editor(const std::string& name, const std::string& caption, bool late) {
    folder_ = fixtures::ScratchFolder("editor-x11/" + name);
    fs::remove_all(folder_);
    fs::create_directories(folder_);
    fifo_ = folder_ + "/commands";
    EXPECT_EQ(::mkfifo(fifo_.c_str(), 0600), 0);
    setenv("SUITE_WINDOW_PROGRAM_ARGS", Args().c_str(), 1);
    setenv("SUITE_WINDOW_PROGRAM_FIFO", fifo_.c_str(), 1);
    setenv("SUITE_WINDOW_PROGRAM_CAPTION", caption.c_str(), 1);
    setenv("SUITE_WINDOW_PROGRAM_LATE", late ? "1" : "0", 1);
    setenv("ASAN_OPTIONS", "detect_leaks=0", 1);
  }
  ~Editor() {
    later_.reset();
    Command("close", false);
  }
  std::string Path() const { return x11test::WindowProgramPath(); }
  std::string Args() const { return folder_ + "/args"; }
  std::string Picture() const { return folder_ + "/my picture.bmp"; }
  // Writes a command to the editor's FIFO. The editor opens its FIFO only after its window is
  // shown, so a first command may have to wait for it (guarded against hangs); `wait` false
  // gives up at once (an editor that has ended).
  void Command(const std::string& line, bool wait = true) {
    int fd = ::open(fifo_.c_str(), O_WRONLY | O_NONBLOCK);
    for (int i = 0; wait && fd < 0 && i < 6000; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      fd = ::open(fifo_.c_str(), O_WRONLY | O_NONBLOCK);
    }
    if (fd < 0) return;
    std::string text = line + "\n";
    ssize_t ignored = ::write(fd, text.data(), text.size());
    (void)ignored;
    ::close(fd);
  }
  // Sends a command from inside the request's wait for the window: the first time events are
  // handled while the watch is busy, which is in its pause after a look that found no window.
  void CommandWhileLooking(const PictureEditor& watch, const std::string& line) {
    later_ = std::make_unique<QTimer>();
    QObject::connect(later_.get(), &QTimer::timeout, [this, &watch, line] {
      if (!watch.Busy()) return;
      later_->stop();
      Command(line);
    });
    later_->start(0);
  }
  std::vector<std::string> ArgsWritten() const {
    std::vector<std::string> lines;
    std::ifstream in(Args());
    for (std::string l; std::getline(in, l);) lines.push_back(l);
    return lines;
  }

 private:
  std::string folder_;
  std::string fifo_;
  std::unique_ptr<QTimer> later_;
};

// Waits until some top-level window has the caption (guarded against hangs).
bool WindowWithCaptionShows(const char* caption) {
  for (int i = 0; i < 3000; ++i) {
    if (FindWindow(nullptr, caption) != 0) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

// Ticks the watch until it reports the window gone (guarded against hangs).
bool WatchUntilGone(PictureEditor& watch) {
  for (int i = 0; i < 1200; ++i) {
    if (watch.EditorWindowGone()) return true;
    DoEvents();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return false;
}

}  // namespace

// ---- run on the desktop -------------------------------------------------------------------------

class EditorOnDesktop : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!OnDesktop()) GTEST_SKIP() << "runs inside EditorWatch.OnAnX11Desktop";
  }
};

TEST_F(EditorOnDesktop, ACaptionChangeKeepsTheWatchUntilTheWindowCloses) {
  Editor editor("caption", "my picture.bmp - Editor", false);
  ScriptScope script;
  PictureEditor watch;
  std::string picture = editor.Picture();
  std::string program = editor.Path();
  ASSERT_TRUE(watch.EditPicture(picture, program));
  EXPECT_EQ(editor.ArgsWritten(), std::vector<std::string>{picture});
  EXPECT_EQ(watch.EditorWindowTitle, "my picture.bmp - Editor");
  EXPECT_TRUE(watch.Busy());
  EXPECT_FALSE(watch.EditorWindowGone());
  // A second request while the first is watched does nothing.
  std::string other = editor.Picture();
  EXPECT_FALSE(watch.EditPicture(other, program));
  EXPECT_TRUE(watch.Watching());
  EXPECT_FALSE(watch.EditorWindowGone());
  // The editor marks the picture changed in its caption: the window is still the one watched.
  editor.Command("caption *my picture.bmp - Editor");
  ASSERT_TRUE(WindowWithCaptionShows("*my picture.bmp - Editor"));
  EXPECT_EQ(FindWindow(nullptr, "my picture.bmp - Editor"), 0);
  EXPECT_FALSE(watch.EditorWindowGone());
  EXPECT_TRUE(watch.Watching());
  editor.Command("close");
  EXPECT_TRUE(WatchUntilGone(watch));
  EXPECT_FALSE(watch.Busy());
}

TEST_F(EditorOnDesktop, ALongCaptionIsKeptWholeAndClosingEndsTheWatch) {
  const std::string caption = std::string(300, 'x') + " - Editor";
  Editor editor("long", caption, false);
  ScriptScope script;
  PictureEditor watch;
  std::string picture = editor.Picture();
  std::string program = editor.Path();
  ASSERT_TRUE(watch.EditPicture(picture, program));
  EXPECT_EQ(watch.EditorWindowTitle, caption);
  EXPECT_FALSE(watch.EditorWindowGone());
  EXPECT_FALSE(watch.EditorWindowGone());
  editor.Command("close");
  EXPECT_TRUE(WatchUntilGone(watch));
}

TEST_F(EditorOnDesktop, AWindowThatShowsLateIsWaitedFor) {
  Editor editor("late", "late editor", true);
  ScriptScope script;
  PictureEditor watch;
  std::string picture = editor.Picture();
  std::string program = editor.Path();
  editor.CommandWhileLooking(watch, "show");
  ASSERT_TRUE(watch.EditPicture(picture, program));
  EXPECT_EQ(watch.EditorWindowTitle, "late editor");
  editor.Command("close");
  EXPECT_TRUE(WatchUntilGone(watch));
}

TEST_F(EditorOnDesktop, AnEditorThatEndsWithoutAWindowEndsTheWait) {
  Editor editor("ends", "never shown", true);
  ScriptScope script;  // no message
  PictureEditor watch;
  std::string picture = editor.Picture();
  std::string program = editor.Path();
  editor.CommandWhileLooking(watch, "close");
  EXPECT_FALSE(watch.EditPicture(picture, program));
  EXPECT_FALSE(watch.Busy());
  EXPECT_EQ(watch.EditorWindowTitle, "");
}

// The storyboard window hides itself while the editor's window is open and, once it has
// closed, shows itself again with the saved picture in the tile and the preview.
class WindowOnDesktop : public MainWindowFixture {
 protected:
  void SetUp() override {
    if (!OnDesktop()) GTEST_SKIP() << "runs inside EditorWatch.OnAnX11Desktop";
    MainWindowFixture::SetUp();
  }
};

TEST_F(WindowOnDesktop, EditingAPictureTileHidesTheWindowUntilTheEditorCloses) {
  Editor editor("window", "tile picture - Editor", false);
  const std::string picture = (media_ / "tile picture.bmp").string();
  fs::copy_file(fixtures::Make(fixtures::Kind::Bmp, (root_ / "made").string()), picture);
  SaveSetting("Reelwright", "Options", "ImageEditor", editor.Path());
  ScriptScope script;
  frmShow& w = Window();
  w.TilePut(w.TileUBound(), tile::kMediaFile, Variant(picture));
  w.ctrlSourceClip_Click(0);
  ASSERT_TRUE(w.Image2->Visible());
  w.mnuEdit_Click();  // what the edit button runs
  EXPECT_EQ(editor.ArgsWritten(), std::vector<std::string>{picture});
  EXPECT_EQ(w.EditorWindowTitle, "tile picture - Editor");
  EXPECT_TRUE(w.Timer1->Enabled());
  EXPECT_FALSE(w.Visible());
  // The user draws: the editor marks the picture changed in its caption; the window stays hidden.
  editor.Command("caption *tile picture - Editor");
  ASSERT_TRUE(WindowWithCaptionShows("*tile picture - Editor"));
  w.Timer1_Timer();
  EXPECT_FALSE(w.Visible());
  EXPECT_TRUE(w.Timer1->Enabled());
  // The user saves a changed picture and closes the editor.
  fixtures::Options wider;
  wider.width = 200;
  wider.height = 100;
  fs::copy_file(fixtures::Make(fixtures::Kind::Bmp, (root_ / "made").string(), wider), picture,
                fs::copy_options::overwrite_existing);
  editor.Command("close");
  for (int i = 0; i < 1200 && !w.Visible(); ++i) {
    DoEvents();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  EXPECT_TRUE(w.Visible());
  EXPECT_FALSE(w.Timer1->Enabled());
  EXPECT_EQ(w.TileFile(0), picture);
  EXPECT_EQ(w.Picture2->GetPicture().PixelWidth(), 200);
}

// ---- the test run on the offscreen platform -------------------------------------------------------

TEST(EditorWatch, OnAnX11Desktop) {
  if (OnDesktop()) GTEST_SKIP();
  x11test::Desktop desktop;
  ASSERT_EQ(desktop.Error(), "");
  char self[4096] = {};
  ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  ASSERT_GT(n, 0);
  x11test::Child inner;
  x11test::Child::Options options;
  options.pipeStdout = true;
  options.env = desktop.Environment();
  options.env.push_back(std::string(kOnDesktop) + "=1");
  std::string error;
  ASSERT_TRUE(inner.Start({self, "--gtest_filter=EditorOnDesktop.*:WindowOnDesktop.*"}, options, &error)) << error;
  std::string text;
  EXPECT_TRUE(inner.ReadToEnd(text));
  int status = inner.Wait();
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the run on the desktop failed:\n" << text;
  EXPECT_NE(text.find("[  PASSED  ] 5 tests"), std::string::npos) << text;
}
