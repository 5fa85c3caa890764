#pragma once
// Helpers of the small windows' tests: a recording stand-in for the desktop's opener and a file
// placed in the program folder for one test.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "forms/app.h"
#include "shell/files.h"
#include "shell/process.h"

namespace windows_test {

inline std::filesystem::path Scratch(const std::string& name) {
  const char* s = std::getenv("SUITE_TEST_SCRATCH");
  std::filesystem::path dir = std::filesystem::path(s ? s : std::filesystem::temp_directory_path().string()) / name;
  std::filesystem::create_directories(dir);
  return dir;
}

// SUITE_SHELL_OPENER names a script that appends each target it is handed to a file.
class RecordingOpener {
 public:
  RecordingOpener() {
    auto dir = Scratch("opener");
    record_ = dir / "opened.txt";
    std::filesystem::remove(record_);
    script_ = dir / "record-opener";
    std::ofstream(script_) << "#!/bin/sh\nprintf '%s\\n' \"$1\" >> '" << record_.string() << "'\n";
    ::chmod(script_.c_str(), 0755);
    setenv("SUITE_SHELL_OPENER", script_.c_str(), 1);
  }
  ~RecordingOpener() { unsetenv("SUITE_SHELL_OPENER"); }
  // The targets opened so far, once there are at least `count` (the opener runs detached).
  std::vector<std::string> Opened(size_t count) const {
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    std::vector<std::string> lines;
    for (;;) {
      lines.clear();
      std::ifstream in(record_);
      for (std::string l; std::getline(in, l);) lines.push_back(l);
      if (lines.size() >= count || std::chrono::steady_clock::now() > end) return lines;
      DoEvents();
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }

 private:
  std::filesystem::path record_, script_;
};

// The tutorial in the program folder for the life of the object: the help folder that the suite's
// name "\ReelwrightWiz.chm" stands for, with its default page.
class ProgramFolderTutorial {
 public:
  ProgramFolderTutorial() : path_(AppFile("\\ReelwrightWiz.chm")) {
    std::filesystem::create_directories(path_);
    std::ofstream(std::filesystem::path(path_) / "index.html") << "<html><body>Tutorial</body></html>\n";
  }
  ~ProgramFolderTutorial() { std::filesystem::remove_all(path_); }
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

// Help folders handed to the shell's opener are recorded here instead of being shown (a
// document viewer of the test's own); everything else goes on to the opener.
class RecordingHelpViewer {
 public:
  RecordingHelpViewer() {
    Shown().clear();
    SetDocumentViewer([](const std::string& target) {
      if (target.size() < 5 || target.compare(target.size() - 5, 5, ".help") != 0) return false;
      Shown().push_back(target);
      return true;
    });
  }
  ~RecordingHelpViewer() { SetDocumentViewer(nullptr); }
  static std::vector<std::string>& Shown() {
    static std::vector<std::string> shown;
    return shown;
  }
};

}  // namespace windows_test
