// Lotkiln ended from outside during a command-line run: a termination signal closes it in order
// (the encode stopped, its unfinished file removed, an older output kept, the marker deleted);
// a killed run's unfinished file is removed by the next run that writes the same output.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <thread>

#include "FrmKilnhandIn.h"
#include "core/msgbox.h"
#include "fixtures.h"
#include "forms/app.h"
#include "hang_guard.h"
#include "modKilnhand.h"

using namespace kilnhand;
namespace fs = std::filesystem;

namespace {

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), {});
}

std::set<std::string> Names(const std::string& folder) {
  std::set<std::string> names;
  for (const auto& e : fs::directory_iterator(folder)) names.insert(e.path().filename().string());
  return names;
}

// The unfinished file of an encode into target's folder, "" while there is none.
std::string UnfinishedFile(const std::string& folder, const std::string& targetName) {
  for (const std::string& n : Names(folder)) {
    if (n.rfind("." + targetName + ".encoding-", 0) == 0) return n;
  }
  return {};
}

// A 60 s movie in its own folder, and Lotkiln started on it with "<RUN>", its program folder
// beside it; returns once the encode has made its unfinished file (its name in `unfinished`).
struct CommandLineRun {
  std::string folder, program, clip, target, unfinished;
  pid_t pid = -1;
  explicit CommandLineRun(const std::string& name) {
    folder = fixtures::ScratchFolder("signal " + name);
    program = fixtures::ScratchFolder("signal program " + name);
    for (const std::string& f : {folder, program})
      for (const auto& e : fs::directory_iterator(f)) fs::remove_all(e.path());
    fixtures::Options o;
    o.width = 320;
    o.height = 240;
    o.seconds = 60;
    const std::string made = fixtures::Make(fixtures::Kind::AviMjpegPcm, folder, o);
    clip = folder + "/clip.avi";
    fs::rename(made, clip);
    target = HandOffOutput(clip);
  }
  void Start() {
    const std::string binary = std::string(std::getenv("SUITE_BIN_DIR")) + "/Lotkiln";
    const std::string tail = clip + " <RUN>";
    // Instance locks of a runtime folder of its own: batch encoders that other runs of this user
    // keep going elsewhere do not count here.
    const std::string runtime = program + "/runtime";
    fs::create_directories(runtime);
    fs::permissions(runtime, fs::perms::owner_all, fs::perm_options::replace);
    pid = fork();
    if (pid == 0) {
      setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
      setenv("SUITE_PROGRAM_FOLDER", program.c_str(), 1);
      setenv("SUITE_COMMAND_TAIL", tail.c_str(), 1);
      setenv("SUITE_COMMAND_PID", std::to_string(getpid()).c_str(), 1);
      execl(binary.c_str(), binary.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    ASSERT_GT(pid, 0);
    HangGuard guard("waiting for Lotkiln's encode to begin");
    const std::string name = target.substr(target.rfind('/') + 1);
    while ((unfinished = UnfinishedFile(folder, name)).empty()) {
      int status = 0;
      ASSERT_EQ(waitpid(pid, &status, WNOHANG), 0) << "Lotkiln ended before its encode began";
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }
  // Waits for the program's end; its wait status.
  int Wait() {
    HangGuard guard("waiting for Lotkiln to end");
    int status = 0;
    waitpid(pid, &status, 0);
    return status;
  }
};

TEST(LotkilnSignals, ATerminationRequestClosesInOrderAndLeavesNothingBehind) {
  for (int sig : {SIGTERM, SIGINT, SIGHUP}) {
    SCOPED_TRACE(strsignal(sig));
    CommandLineRun run(std::to_string(sig));
    std::ofstream(run.target) << "older file, kept";
    run.Start();
    ASSERT_FALSE(::testing::Test::HasFatalFailure());
    EXPECT_TRUE(fs::exists(run.program + "/KilnhandRunning"));
    kill(run.pid, sig);
    const int status = run.Wait();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "ended by the signal itself: " << status;
    EXPECT_EQ(Names(run.folder), (std::set<std::string>{"clip.avi", "clip.wmv"}));
    EXPECT_EQ(ReadAll(run.target), "older file, kept");
    EXPECT_FALSE(fs::exists(run.program + "/KilnhandRunning")) << "the marker is deleted as at a close";
  }
}

TEST(LotkilnSignals, AKilledRunsUnfinishedFileIsRemovedByTheNextRun) {
  CommandLineRun run("killed");
  run.Start();
  ASSERT_FALSE(::testing::Test::HasFatalFailure());
  kill(run.pid, SIGKILL);
  run.Wait();
  ASSERT_TRUE(fs::exists(run.folder + "/" + run.unfinished)) << "a killed run cleans up nothing itself";
  // A later run in this process writes the same output from a short movie.
  SetAppTitle("Kilnhand");
  SetProgramFolderForTesting(run.program);
  const std::string shortClip = fixtures::Make(fixtures::Kind::AviMjpegPcm, fixtures::ScratchFolder("signal short"), {});
  // This process's instance lock in the runtime folder of the run's own, as for the program.
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  const std::string previous = runtime ? runtime : "";
  setenv("XDG_RUNTIME_DIR", (run.program + "/runtime").c_str(), 1);
  FormPtr<FrmKilnhandIn> form = MakeForm<FrmKilnhandIn>();
  form->Load();
  if (runtime) {
    setenv("XDG_RUNTIME_DIR", previous.c_str(), 1);
  } else {
    unsetenv("XDG_RUNTIME_DIR");
  }
  ASSERT_TRUE(form->IsLoaded());
  std::string out = run.target;
  int16_t hr = -1;
  form->Populate_List(shortClip, out, "Wz Movie Tools 640X480", hr);
  ASSERT_EQ(hr, 0);
  form->CmdStart_Click();
  EXPECT_EQ(form->LvwKilnhand->ListItemsOf().Item(1).SubItems(3), "Done");
  form->Unload();
  EXPECT_EQ(Names(run.folder), (std::set<std::string>{"clip.avi", "clip.wmv"}));
}

}  // namespace
