// The animated-GIF control's load against giflib: a 200-frame 320x240 GIF made with ffmpeg is
// loaded by Flickgem hosted on a form (block walk, split, temporary files, one decode per frame,
// back buffer) and, in the same run, read with giflib's DGifSlurp with every frame expanded to
// 32-bit pixels.
//
//   bench_gif [frames]
//
// The library is registered with regsvr into a registry of the run's own. The last line is
// "ratio <Flickgem time / giflib time>"; the target is at most 1.5.
#include <gif_lib.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "Flickgem.h"
#include "../bench_flickgem.h"
#include "com/com.h"
#include "com/dispatch.h"
#include "forms/app.h"
#include "forms/form.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

class Host : public Form {
 public:
  Host() : Form("frmBench") {}

 protected:
  void Design() override {
    Size(6000, 5000);
    Place({{flickgem::kProgId, "gif1", -1, "", 0, 0, 4800, 3600, ""}});
  }
};

// DGifSlurp, then every frame composed into a 32-bit screen buffer.
double TimeGiflib(const std::string& path, int* frames) {
  const auto start = Clock::now();
  int error = 0;
  GifFileType* gif = DGifOpenFileName(path.c_str(), &error);
  if (!gif || DGifSlurp(gif) != GIF_OK) return -1;
  std::vector<uint32_t> screen(static_cast<size_t>(gif->SWidth) * gif->SHeight);
  for (int i = 0; i < gif->ImageCount; ++i) {
    const SavedImage& im = gif->SavedImages[i];
    const ColorMapObject* map = im.ImageDesc.ColorMap ? im.ImageDesc.ColorMap : gif->SColorMap;
    if (!map) continue;
    for (int y = 0; y < im.ImageDesc.Height; ++y)
      for (int x = 0; x < im.ImageDesc.Width; ++x) {
        const int sx = im.ImageDesc.Left + x, sy = im.ImageDesc.Top + y;
        if (sx >= gif->SWidth || sy >= gif->SHeight) continue;
        const GifColorType c = map->Colors[im.RasterBits[y * im.ImageDesc.Width + x] % map->ColorCount];
        screen[static_cast<size_t>(sy) * gif->SWidth + sx] = 0xFF000000u | (c.Red << 16) | (c.Green << 8) | c.Blue;
      }
  }
  *frames = gif->ImageCount;
  DGifCloseFile(gif, &error);
  return Seconds(Clock::now() - start);
}

double TimeFlickgem(const std::string& path, int* frames) {
  Host host;
  host.Show();
  Control* gif = host.FindControl("gif1");
  const auto start = Clock::now();
  Bstr name(path);
  InvokeDispatch(gif->DispatchObject(), flickgem::kLoadFile, DISPATCH_METHOD, {Variant::ByRef(VT_BSTR, &name)});
  const double t = Seconds(Clock::now() - start);
  *frames = CallByName(gif->DispatchObject(), "NumberofFrames", DISPATCH_PROPERTYGET).i4() + 1;
  host.Unload();
  return t;
}

}  // namespace

int main(int argc, char** argv) {
  const int count = argc > 1 ? std::atoi(argv[1]) : 200;
  if (count < 1 || count > 5000) {
    std::fprintf(stderr, "usage: bench_gif [frames 1..5000]\n");
    return 2;
  }
  const fs::path work = bench::FlickgemRun("bench_gif");
  if (work.empty()) return 1;
  const std::string gif = (work / "bench.gif").string();
  const std::string make = "ffmpeg -v error -y -f lavfi -i testsrc=size=320x240:rate=25 -frames:v " +
                           std::to_string(count) + " '" + gif + "'";
  if (std::system(make.c_str()) != 0) {
    std::fprintf(stderr, "ffmpeg could not make the GIF\n");
    return 1;
  }
  CoInitialize();
  int libFrames = 0, ourFrames = 0;
  const double lib = TimeGiflib(gif, &libFrames);
  const double ours = TimeFlickgem(gif, &ourFrames);
  CoUninitialize();
  fs::remove_all(work);
  if (lib <= 0 || ours <= 0 || libFrames != ourFrames) {
    std::fprintf(stderr, "the loads disagree: giflib %d frames, Flickgem %d frames\n", libFrames, ourFrames);
    return 1;
  }
  std::printf("giflib:   %d frames in %.3f s (DGifSlurp + 32-bit frames)\n", libFrames, lib);
  std::printf("Flickgem: %d frames in %.3f s (walk, split, files, decodes, back buffer)\n", ourFrames, ours);
  std::printf("ratio %.3f\n", ours / lib);
  return 0;
}
