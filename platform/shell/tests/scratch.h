#pragma once
// A fresh folder per test below the suite's scratch folder, and small file helpers.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

class ScratchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* scratch = std::getenv("SUITE_TEST_SCRATCH");
    std::filesystem::path base = scratch != nullptr ? scratch : std::filesystem::temp_directory_path() / "shell_test";
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
