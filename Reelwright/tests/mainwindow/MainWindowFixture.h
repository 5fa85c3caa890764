#pragma once
// The storyboard window's tests: each test gets a registry and a program folder of its own (below
// the test's scratch folder) and a runtime folder of its own, the clip tile and frame-size libraries registered there, message
// boxes routed to the test's responder, and the window made on demand.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/msgbox.h"
#include "fixtures.h"
#include "forms/responder.h"
#include "mainwindow/frmShow.h"
#include "mainwindow/modSettings.h"
#include "registry/settings.h"
#include "scripted_responder.h"

class MainWindowFixture : public ::testing::Test {
 protected:
  using Path = std::filesystem::path;
  void SetUp() override {
    namespace fs = std::filesystem;
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "." + info->name();
    for (char& c : name)
      if (c == '/') c = '_';
    root_ = fs::path(fixtures::ScratchFolder("mainwindow")) / name;
    program_ = root_ / "program";
    SetImmutable(program_, false);  // a run that crashed may have left a read-only program folder
    fs::remove_all(root_);
    media_ = root_ / "media";
    fs::create_directories(program_);
    fs::create_directories(media_);
    fs::create_directories(root_ / "registry");
    Keep("SUITE_REGISTRY_DIR", (root_ / "registry").string());
    Keep("SUITE_PROGRAM_FOLDER", program_.string());
    // Instance locks of a runtime folder of the test's own: programs of other test runs of this
    // user do not count as running here.
    fs::create_directories(root_ / "runtime");
    fs::permissions(root_ / "runtime", fs::perms::owner_all, fs::perm_options::replace);
    Keep("XDG_RUNTIME_DIR", (root_ / "runtime").string());
    previousBoxes_ = SetMsgBoxHandler([](const MsgBoxRequest& r) { return CurrentResponder()->MessageBox(r); });
    for (const char* lib : {TILECARD_LIBRARY, SIZEWARDEN_LIBRARY}) {
      const std::string cmd = std::string("'") + REGSVR + "' /s '" + lib + "'";
      ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
    }
    SaveSetting("Reelwright", "Init", "StartTips", "Hide");
    ShowProjectEnabled = false;
  }
  void TearDown() override {
    if (w_) {
      w_->ProjectChanged = false;
      w_.reset();
    }
    // Windows the main window loaded and left hidden (the compression chooser) go as well.
    for (Form* f : std::vector<Form*>(Forms())) f->Unload();
    SetMsgBoxHandler(previousBoxes_);
    for (auto& [k, v] : saved_) {
      if (v) {
        setenv(k.c_str(), v->c_str(), 1);
      } else {
        unsetenv(k.c_str());
      }
    }
  }
  void Keep(const std::string& key, const std::string& value) {
    const char* old = std::getenv(key.c_str());
    saved_.emplace_back(key, old ? std::optional<std::string>(old) : std::nullopt);
    setenv(key.c_str(), value.c_str(), 1);
  }
  frmShow& Window() {
    w_ = MakeForm<frmShow>();
    w_->Load();
    return *w_;
  }
  // Adds a file through the open-dialog road (one file at a time), the dialog answered by script.
  static void AddByDialog(ScriptScope& script, frmShow& w, const std::string& path) {
    SaveSetting("Reelwright", "Init", "MultiSelect", "false");
    script->AnswerDialog(DialogKind::Open, DialogAnswer::Ok(path));
    w.mnuImport_Click();
  }
  // The files of the storyboard's tiles, in order.
  static std::vector<std::string> Files(frmShow& w) {
    std::vector<std::string> out;
    for (int16_t i = 0; i < w.TileUBound(); ++i) out.push_back(w.TileFile(i));
    return out;
  }

  // Sets or clears a folder's immutable flag (as chattr +i does): nobody, root included, may create
  // or change files in it then. False when the folder is missing or its file system has no such flag.
  static bool SetImmutable(const Path& folder, bool on) { return fixtures::SetImmutable(folder.string(), on); }

  Path root_, program_, media_;
  FormPtr<frmShow> w_;

 private:
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
  MsgBoxHandler previousBoxes_;
};
