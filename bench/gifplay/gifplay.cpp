// The animated-GIF control's playback against the time its frames ask for: a 640x480 GIF made
// with ffmpeg (every frame 5 hundredths of a second) is loaded by Flickgem hosted on a shown
// form and played once through; the wall time from StartPlay to PlayEnded is set against the
// schedule the control's timer keeps when drawing costs nothing: 250 ms to the first tick, then
// for every later frame its delay plus the control's extra millisecond. Drawing time adds to
// every frame (each interval counts from the end of the tick that drew the frame before).
//
//   bench_gifplay [frames] [size]        (defaults 120 and 640x480)
//
// The library is registered with regsvr into a registry of the run's own. The last line is
// "ratio <played / scheduled>"; the target is at most 1.05.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>
#include <unistd.h>

#include "Flickgem.h"
#include "../bench_flickgem.h"
#include "GifFile.h"
#include "com/com.h"
#include "com/dispatch.h"
#include "forms/app.h"
#include "forms/form.h"
#include "shell/files.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

class Host : public Form {
 public:
  Host() : Form("frmBench") {
    On("gif1_PlayEnded", [this](Variant) { ended = true; });
  }
  bool ended = false;

 protected:
  void Design() override {
    Size(10500, 8100);
    Place({{flickgem::kProgId, "gif1", -1, "", 0, 0, 9900, 7500, ""}});
  }
};

}  // namespace

int main(int argc, char** argv) {
  const int count = argc > 1 ? std::atoi(argv[1]) : 120;
  const std::string size = argc > 2 ? argv[2] : "640x480";
  if (count < 2 || count > 2000) {
    std::fprintf(stderr, "usage: bench_gifplay [frames 2..2000] [WxH]\n");
    return 2;
  }
  const fs::path work = bench::FlickgemRun("bench_gifplay");
  if (work.empty()) return 1;
  const std::string gif = (work / "play.gif").string();
  const std::string make = "ffmpeg -v error -y -f lavfi -i testsrc=size=" + size + ":rate=20 -frames:v " +
                           std::to_string(count) + " '" + gif + "'";
  if (std::system(make.c_str()) != 0) {
    std::fprintf(stderr, "ffmpeg could not make the GIF\n");
    return 1;
  }
  // The frames' delays as the control reads them.
  std::vector<uint8_t> bytes = ReadFileBytes(gif);
  flickgem::GifLayout layout;
  if (!flickgem::WalkGif(bytes, layout) || layout.frames.size() < 2) {
    std::fprintf(stderr, "the GIF does not walk\n");
    return 1;
  }
  double delays = 0, scheduled = 250;
  for (size_t k = 0; k < layout.frames.size(); ++k) {
    const int d = layout.frames[k].delay;
    delays += d * 10.0;
    if (k > 0) scheduled += (d >= 500 ? 100 : d * 10) + 1;
  }
  size_t transparent = 0;
  for (const auto& f : layout.frames) transparent += f.transparent ? 1 : 0;

  CoInitialize();
  double played = 0;
  {
    Host host;
    host.Show();
    Control* c = host.FindControl("gif1");
    IDispatch* d = c->DispatchObject();
    Bstr name(gif);
    InvokeDispatch(d, flickgem::kLoadFile, DISPATCH_METHOD, {Variant::ByRef(VT_BSTR, &name)});
    CallByName(d, "NumberOfPlays", DISPATCH_PROPERTYPUT, {Variant(int32_t{1})});
    for (int i = 0; i < 10; ++i) DoEvents();
    const auto start = Clock::now();
    CallByName(d, "StartPlay", DISPATCH_METHOD);
    while (!host.ended) {
      DoEvents();
      usleep(200);  // a waiting message loop, not a spinning one
    }
    played = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    host.Unload();
  }
  CoUninitialize();
  fs::remove_all(work);
  std::printf("%zu frames of %s (%zu with a transparent colour), delays %.0f ms in all\n", layout.frames.size(),
              size.c_str(), transparent, delays);
  std::printf("scheduled: %.0f ms (250 ms to the first tick, each later frame its delay + 1 ms)\n", scheduled);
  std::printf("played:    %.0f ms, %.2f ms a frame over the schedule\n", played,
              (played - scheduled) / static_cast<double>(layout.frames.size() - 1));
  std::printf("ratio %.3f\n", played / scheduled);
  return 0;
}
