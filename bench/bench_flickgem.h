#pragma once
// The run of a benchmark of the animated-GIF control: a work folder of its own under the system's
// temporary folder (registry, temp folder and scratch inside it, set for this process) and the
// control's library registered there. Needs FLICKGEM_LIBRARY and REGSVR defined by the build.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace bench {

// The run's work folder, or an empty path when the library could not be registered (said on
// standard error).
inline std::filesystem::path FlickgemRun(const std::string& name) {
  namespace fs = std::filesystem;
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  const fs::path work = fs::temp_directory_path() / (name + "." + std::to_string(getpid()));
  fs::create_directories(work / "registry");
  fs::create_directories(work / "tmp");
  setenv("SUITE_REGISTRY_DIR", (work / "registry").c_str(), 1);
  setenv("SUITE_TEST_SCRATCH", work.c_str(), 1);
  setenv("TMPDIR", (work / "tmp").c_str(), 1);
  const std::string reg = std::string("'") + REGSVR + "' /s '" + FLICKGEM_LIBRARY + "'";
  if (std::system(reg.c_str()) != 0) {
    std::fprintf(stderr, "regsvr could not register %s\n", FLICKGEM_LIBRARY);
    return {};
  }
  return work;
}

}  // namespace bench
