#pragma once
// A test fixture that gives each test an empty registry of its own (below the test's scratch
// folder) and records every message box instead of showing it. The registry folder and the
// message box handler in force before the test are put back after it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "core/msgbox.h"

class PrivateRegistry : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const char* old = std::getenv("SUITE_REGISTRY_DIR")) savedFolder_ = old;
    const char* scratch = std::getenv("SUITE_TEST_SCRATCH");
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "." + info->name();
    for (char& c : name)
      if (c == '/') c = '_';
    folder_ = std::filesystem::path(scratch ? scratch : std::filesystem::temp_directory_path().string()) /
              "private-registries" / name;
    std::filesystem::remove_all(folder_);
    setenv("SUITE_REGISTRY_DIR", folder_.c_str(), 1);
    savedHandler_ = SetMsgBoxHandler([this](const MsgBoxRequest& r) {
      boxes_.push_back(r);
      return DefaultMsgBoxAnswer(r.buttons);
    });
  }

  void TearDown() override {
    SetMsgBoxHandler(savedHandler_);
    if (savedFolder_) {
      setenv("SUITE_REGISTRY_DIR", savedFolder_->c_str(), 1);
    } else {
      unsetenv("SUITE_REGISTRY_DIR");
    }
  }

  std::filesystem::path folder_;
  std::vector<MsgBoxRequest> boxes_;

 private:
  std::optional<std::string> savedFolder_;
  MsgBoxHandler savedHandler_;
};
