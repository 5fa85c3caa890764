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
    const char* tmp = std::getenv("TMPDIR");
    std::filesystem::path dir = std::filesystem::path(tmp && *tmp ? tmp : "/tmp") / "flickgem-fuzz";
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    return dir.string();
  }();
  flickgem::FuzzGifLoad(data, size, scratch);
  return 0;
}
