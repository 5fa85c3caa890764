// libFuzzer's entry over a GIF load (built with -DSUITE_FUZZ=ON).
#include <QApplication>
#include <cstdlib>
#include <filesystem>

#include "gif_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static int argc = 1;
  static char name[] = "flickgem_fuzz";
  static char* argv[] = {name, nullptr};
  static QApplication* app = [] {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    return new QApplication(argc, argv);
  }();
  (void)app;
  static const std::string scratch = [] {
    auto dir = std::filesystem::temp_directory_path() / "flickgem-fuzz";
    std::filesystem::create_directories(dir);
    return dir.string();
  }();
  flickgem::FuzzGifLoad(data, size, scratch);
  return 0;
}
