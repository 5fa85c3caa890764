// Lotkiln's start as the program runs it: the main window's load (with a command-line run inside
// it) and its show.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QTimer>
#include <QWidget>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

#include "FrmKilnhandIn.h"
#include "core/msgbox.h"
#include "fixtures.h"
#include "forms/app.h"
#include "forms/qt/hwnd_qt.h"
#include "hang_guard.h"
#include "modKilnhand.h"

using namespace kilnhand;

namespace {

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), {});
}

// The close box pressed while the command line's run encodes: the run stops, its partial file
// goes, the older output stays, and the start ends quietly with the window unloaded (nothing
// raised, nothing shown again), so the message loop finds no window and the program ends.
TEST(LotkilnStart, TheCloseBoxDuringTheCommandLineRunEndsTheStartInOrder) {
  SetAppTitle("Kilnhand");
  const std::string program = fixtures::ScratchFolder("start program");
  SetProgramFolderForTesting(program);
  const std::string media = fixtures::ScratchFolder("start media");
  fixtures::Options o;
  o.width = 320;
  o.height = 240;
  o.seconds = 8;
  const std::string clip = fixtures::Make(fixtures::Kind::AviMjpegPcm, media, o);
  const std::string target = HandOffOutput(clip);
  std::ofstream(target) << "older file, kept";

  setenv("SUITE_COMMAND_TAIL", (clip + " <RUN>").c_str(), 1);
  setenv("SUITE_COMMAND_PID", std::to_string(getpid()).c_str(), 1);
  DoEvents();  // the application object, before the test's own timer
  auto form = MakeForm<FrmKilnhandIn>();
  bool closed = false;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    // Only a loaded window is read: touching an unloaded one would load it again.
    if (closed || !form->IsLoaded() || form->StaEncoderStat->SimpleText() != "Encoder Running") return;
    closed = true;
    poll.stop();
    WidgetFromHwnd(form->hWnd())->close();  // the window's close box
  });
  poll.start(0);
  {
    HangGuard guard("the start with a close during its run");
    EXPECT_NO_THROW(StartMainWindow(*form));
  }
  poll.stop();
  unsetenv("SUITE_COMMAND_TAIL");
  unsetenv("SUITE_COMMAND_PID");

  EXPECT_TRUE(closed);
  EXPECT_FALSE(form->IsLoaded());
  EXPECT_FALSE(FileFound(MarkerFile()));
  EXPECT_TRUE(ReadAll(target) == "older file, kept") << "the older output was replaced";
  std::set<std::string> left;
  for (const auto& e : std::filesystem::directory_iterator(media)) left.insert(e.path().string());
  EXPECT_EQ(left, (std::set<std::string>{clip, target}));
  form.reset();
}

}  // namespace
