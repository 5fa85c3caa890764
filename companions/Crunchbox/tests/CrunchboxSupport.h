#pragma once
// Helpers of Crunchbox's tests: a fixture with boxes routed to the scripted responder, waiting
// for the windows' timers, and driving a compression through the encode window.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>

#include <unistd.h>

#include "FrmCrunchboxDecodeOptions.h"
#include "FrmCrunchboxEncodeOptions.h"
#include "core/msgbox.h"
#include "fixtures.h"
#include "forms/app.h"
#include "forms/responder.h"
#include "frmCrunchbox.h"
#include "modMain.h"
#include "scripted_responder.h"
#include "window_driver.h"

namespace crunchbox_test {

inline frmCrunchbox& MainForm() { return DefaultForm<frmCrunchbox>(); }
inline FrmCrunchboxEncodeOptions& Encoder() { return DefaultForm<FrmCrunchboxEncodeOptions>(); }
inline FrmCrunchboxDecodeOptions& Decoder() { return DefaultForm<FrmCrunchboxDecodeOptions>(); }

// Lets the windows' timers and the graphs run until the condition holds; a guard of a minute
// keeps a broken run from hanging the suite.
using driver::RunUntil;

// Lets a window that was just shown become the active one (its Activate handler runs then).
inline void WaitActive(Form& f) {
  EXPECT_TRUE(RunUntil([&] { return Screen().ActiveForm() == &f; })) << f.Name() << " never became active";
}

class CrunchboxTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetMsgBoxHandler([](const MsgBoxRequest& r) { return CurrentResponder()->MessageBox(r); });
    App().Title(kCrunchboxTitle);
    media_ = fixtures::ScratchFolder("media");
    // Each test writes into a folder of its own, emptied first: outputs of an earlier run must
    // not stand in for this run's.
    const std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    std::filesystem::remove_all(fixtures::ScratchFolder(name));
    out_ = fixtures::ScratchFolder(name);
  }
  void TearDown() override {
    MainForm().Unload();
    DoEvents();
    SetMsgBoxHandler(nullptr);
    ::unsetenv("SUITE_COMMAND_TAIL");
    ::unsetenv("SUITE_COMMAND_PID");
  }
  std::string Movie(fixtures::Kind kind, const fixtures::Options& o = {}) { return fixtures::Make(kind, media_, o); }
  // Main with the command tail, as the program starts.
  void Start(const std::string& tail) {
    // As the suite's shell starts a program: the exact tail, for this process.
    ::setenv("SUITE_COMMAND_TAIL", tail.c_str(), 1);
    ::setenv("SUITE_COMMAND_PID", std::to_string(::getpid()).c_str(), 1);
    // A new start of the program: nothing left over from the last.
    MainForm().EncodedFile.clear();
    MainForm().sNewName.clear();
    MainForm().g_CompressionActive = false;
    ::Main();
  }
  // Compress through the toolbar: the encode window opens, `prepare` sets its controls, Encode
  // starts the run. Returns once the window has hidden itself for the run (or closed).
  void StartCompression(const std::string& output, const std::function<void(FrmCrunchboxEncodeOptions&)>& prepare = {}) {
    auto watch = driver::WhenShownModally("FrmCrunchboxEncodeOptions", [&](Form& f) {
      auto& encode = static_cast<FrmCrunchboxEncodeOptions&>(f);
      WaitActive(f);
      encode.OutFile->Text(output);
      if (prepare) prepare(encode);
      driver::Click(*encode.Encode);
    });
    driver::Click(*MainForm().Compress_video);
  }
  // Waits for the run's end: the encode window unloads by itself.
  bool WaitForRunEnd() { return RunUntil([] { return !Encoder().IsLoaded(); }); }
  std::string media_, out_;
};

}  // namespace crunchbox_test
