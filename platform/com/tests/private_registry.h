#pragma once
// Tests that write the registry write a private one: the folder CTest gives them
// (SUITE_REGISTRY_DIR), or, when started by hand, a temporary folder removed at the end.
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

class PrivateRegistryFolder {
 public:
  PrivateRegistryFolder() {
    if (std::getenv("SUITE_REGISTRY_DIR")) return;
    own_ = std::filesystem::temp_directory_path() / ("com-test-registry-" + std::to_string(getpid()));
    setenv("SUITE_REGISTRY_DIR", own_.c_str(), 1);
  }
  ~PrivateRegistryFolder() {
    if (!own_.empty()) std::filesystem::remove_all(own_);
  }
  PrivateRegistryFolder(const PrivateRegistryFolder&) = delete;
  PrivateRegistryFolder& operator=(const PrivateRegistryFolder&) = delete;

 private:
  std::filesystem::path own_;
};
