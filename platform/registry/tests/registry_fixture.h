#pragma once
// Gives each test an empty registry folder of its own below the test's scratch folder.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "registry/registry.h"

class RegistryFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* scratch = std::getenv("SUITE_TEST_SCRATCH");
    base_ = std::filesystem::path(scratch ? scratch : std::filesystem::temp_directory_path().string()) /
            "registry-cases";
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "." + info->name();
    for (char& c : name)
      if (c == '/') c = '_';
    folder_ = base_ / name;
    std::filesystem::remove_all(folder_);
    UseFolder(folder_);
  }

  // Points the registry at another folder (another user's, or a copy of this one).
  static void UseFolder(const std::filesystem::path& folder) {
    setenv("SUITE_REGISTRY_DIR", folder.c_str(), 1);
  }

  // Re-reads everything from the files, as a newly started process would: the files are copied
  // to a fresh folder and the registry pointed at it.
  void ReopenFromDisk() {
    auto copy = base_ / (folder_.filename().string() + "-reopened-" + std::to_string(++reopened_));
    std::filesystem::remove_all(copy);
    std::filesystem::create_directories(copy);
    if (std::filesystem::exists(folder_))
      for (const auto& e : std::filesystem::directory_iterator(folder_))
        std::filesystem::copy(e.path(), copy / e.path().filename());
    folder_ = copy;
    UseFolder(folder_);
  }

  std::filesystem::path HiveFile(const std::string& hive = "HKEY_CURRENT_USER") const {
    return folder_ / (hive + ".reg");
  }

  static std::string ReadFile(const std::filesystem::path& p) {
    std::ifstream f(p, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
  }

  static void WriteFile(const std::filesystem::path& p, const std::string& text) {
    std::ofstream f(p, std::ios::binary | std::ios::trunc);
    f << text;
  }

  std::filesystem::path base_;
  std::filesystem::path folder_;
  int reopened_ = 0;
};
