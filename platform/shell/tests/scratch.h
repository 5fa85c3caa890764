#pragma once
// A fresh folder per test below the suite's scratch folder, small file helpers and
// environment overrides.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>

#include "core/error.h"

// The error number a call raises; 0 when it returns normally.
inline int32_t ErrorOf(const std::function<void()>& call) {
  try {
    call();
    return 0;
  } catch (const VBError& e) {
    return e.Number();
  }
}

// Sets (or, given nullptr, removes) an environment variable for the life of the object.
class EnvOverride {
 public:
  EnvOverride(const char* name, const char* value) : name_(name) {
    const char* old = std::getenv(name);
    had_ = old != nullptr;
    if (had_) old_ = old;
    if (value != nullptr) {
      ::setenv(name, value, 1);
    } else {
      ::unsetenv(name);
    }
  }
  EnvOverride(const char* name, const std::string& value) : EnvOverride(name, value.c_str()) {}
  ~EnvOverride() {
    if (had_) {
      ::setenv(name_, old_.c_str(), 1);
    } else {
      ::unsetenv(name_);
    }
  }
  EnvOverride(const EnvOverride&) = delete;
  EnvOverride& operator=(const EnvOverride&) = delete;

 private:
  const char* name_;
  bool had_ = false;
  std::string old_;
};

class ScratchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* scratch = std::getenv("SUITE_TEST_SCRATCH");
    std::filesystem::path base =
        scratch != nullptr ? scratch : std::filesystem::temp_directory_path() / "shell_test";
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    folder_ = (base / (std::string(info->test_suite_name()) + "." + info->name())).string();
    std::filesystem::remove_all(folder_);
    std::filesystem::create_directories(folder_);
  }

  // The path of a name in the test's folder.
  std::string At(const std::string& name) const { return folder_ + "/" + name; }

  static void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
  }

  static std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  }

  std::string folder_;
};
