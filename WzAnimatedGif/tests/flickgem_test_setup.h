#pragma once
// Set-up the Flickgem tests share: the control's library registered with regsvr (from the program
// folder) into the test's own registry, and a temporary folder of the test's own for the files
// the control writes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "fixtures.h"

// The test's scratch folder "<area>/<sub>", created.
inline std::string AreaScratch(const std::string& area, const std::string& sub) {
  return fixtures::ScratchFolder(area + "/" + sub);
}

// Registers FLICKGEM_LIBRARY and points TMPDIR at "<area>/tmp" in the test's scratch folder.
inline void RegisterFlickgemWithOwnTemp(const std::string& area) {
  const char* bin = std::getenv("SUITE_BIN_DIR");
  const std::string cmd = std::string(bin ? bin : ".") + "/regsvr /s '" + FLICKGEM_LIBRARY + "'";
  ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
  setenv("TMPDIR", AreaScratch(area, "tmp").c_str(), 1);
}
