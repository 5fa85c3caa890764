// Hosted tiles: a form's control array of 100 Tilecard.MediaClip tiles, each loading its own
// 640x480 MPEG-4 AVI (thumbnail grab, captions, type), against the media detector alone making
// the same 100 thumbnail grabs at the tile's thumbnail size.
//
//   bench_tiles [count [rounds]]
//
// The two take turns, rounds times (7 unless told; a new storyboard each round), so that both see
// the same load of the machine; each round gives a ratio and the run's ratio is their median.
// The library is registered with regsvr into a registry of the run's own. The last line is
// "ratio <tiles time / detector time>"; the target is at most 1.25.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "../bench_timing.h"
#include "MediaClip.h"
#include "com/com.h"
#include "com/dispatch.h"
#include "des/mediadet.h"
#include "fixtures.h"
#include "forms/app.h"
#include "forms/form.h"

namespace {

namespace fs = std::filesystem;
using bench::Clock;
using bench::Median;
using bench::Seconds;

class Storyboard : public Form {
 public:
  Storyboard() : Form("frmStoryboard") {}

 protected:
  void Design() override {
    Size(12000, 9000);
    Place({{tilecard::kProgId, "ctrlSourceClip", 0, "", 0, 0, 2835, 3330, ""}});
  }
};

double TimeDetector(const std::vector<std::string>& movies, const std::string& folder) {
  const auto start = Clock::now();
  for (size_t i = 0; i < movies.size(); ++i) {
    ComPtr<IMediaDet> det;
    if (FAILED(CoCreateInstance(CLSID_MediaDet, nullptr, CLSCTX_INPROC_SERVER, IMediaDet::iid, det.put_void())) ||
        FAILED(det->put_Filename(Bstr(movies[i]))) ||
        FAILED(det->WriteBitmapBits(0.0, 177, 121, Bstr(folder + "/grab" + std::to_string(i) + ".bmp")))) {
      std::fprintf(stderr, "the detector cannot grab %s\n", movies[i].c_str());
      return -1;
    }
  }
  return Seconds(Clock::now() - start);
}

// What a tile's load asks of the detector: a probe for a video stream (a detector of its own),
// then the grab with a new detector.
double TimeProbeAndGrab(const std::vector<std::string>& movies, const std::string& folder) {
  const auto start = Clock::now();
  for (size_t i = 0; i < movies.size(); ++i) {
    ComPtr<IMediaDet> probe;
    LONG streams = 0;
    if (FAILED(CoCreateInstance(CLSID_MediaDet, nullptr, CLSCTX_INPROC_SERVER, IMediaDet::iid, probe.put_void())) ||
        FAILED(probe->put_Filename(Bstr(movies[i]))) || FAILED(probe->get_OutputStreams(&streams))) {
      return -1;
    }
    probe = nullptr;
    ComPtr<IMediaDet> det;
    if (FAILED(CoCreateInstance(CLSID_MediaDet, nullptr, CLSCTX_INPROC_SERVER, IMediaDet::iid, det.put_void())) ||
        FAILED(det->put_Filename(Bstr(movies[i]))) ||
        FAILED(det->WriteBitmapBits(0.0, 177, 121, Bstr(folder + "/probe" + std::to_string(i) + ".bmp")))) {
      return -1;
    }
  }
  return Seconds(Clock::now() - start);
}

double TimeTiles(const std::vector<std::string>& movies) {
  Storyboard board;
  board.Show();
  const auto start = Clock::now();
  std::vector<Control*> tiles;
  for (size_t i = 0; i < movies.size(); ++i) {
    const int16_t index = static_cast<int16_t>(i);
    tiles.push_back(index == 0 ? board.FindControl("ctrlSourceClip", 0) : &board.LoadElement("ctrlSourceClip", index));
  }
  std::printf("tile creation:  %zu tiles in %.3f s (counted in the tiles' time)\n", tiles.size(),
              Seconds(Clock::now() - start));
  for (size_t i = 0; i < movies.size(); ++i) {
    Control* tile = tiles[i];
    Bstr name(movies[i]);
    InvokeDispatch(tile->DispatchObject(), tilecard::kMediaFile, DISPATCH_PROPERTYPUT, {Variant::ByRef(VT_BSTR, &name)});
  }
  const double t = Seconds(Clock::now() - start);
  board.Unload();
  DoEvents();  // the unloaded board's windows go now, not inside the next round's loads
  return t;
}

}  // namespace

int main(int argc, char** argv) {
  const int count = argc > 1 ? std::atoi(argv[1]) : 100;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 7;
  if (count < 1 || count > 1000 || rounds < 1 || rounds > 50) {
    std::fprintf(stderr, "usage: bench_tiles [count 1..1000 [rounds 1..50]]\n");
    return 2;
  }
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  const fs::path work = fs::temp_directory_path() / ("bench_tiles." + std::to_string(getpid()));
  fs::create_directories(work / "registry");
  fs::create_directories(work / "tmp");
  setenv("SUITE_REGISTRY_DIR", (work / "registry").c_str(), 1);
  setenv("SUITE_TEST_SCRATCH", work.c_str(), 1);
  setenv("TMPDIR", (work / "tmp").c_str(), 1);
  const std::string reg = std::string("'") + REGSVR + "' /s '" + TILECARD_LIBRARY + "'";
  if (std::system(reg.c_str()) != 0) {
    std::fprintf(stderr, "regsvr could not register %s\n", TILECARD_LIBRARY);
    return 1;
  }
  fixtures::Options o;
  o.width = 640;
  o.height = 480;
  o.seconds = 2;
  const std::string source = fixtures::Make(fixtures::Kind::AviDx50, (work / "media").string(), o);
  std::vector<std::string> movies;
  for (int i = 0; i < count; ++i) {
    std::string m = (work / "media" / ("clip" + std::to_string(i) + ".avi")).string();
    fs::copy_file(source, m, fs::copy_options::overwrite_existing);
    movies.push_back(m);
  }
  CoInitialize();
  std::vector<double> detector, probeAndGrab, tiles, ratios;
  for (int r = 0; r < rounds; ++r) {
    const double d = TimeDetector(movies, (work / "tmp").string());
    const double p = TimeProbeAndGrab(movies, (work / "tmp").string());
    const double t = TimeTiles(movies);
    if (d <= 0 || p <= 0 || t <= 0) break;
    std::printf("round %d: detector %.3f s, probe + grab %.3f s, tiles %.3f s, ratio %.3f\n", r + 1, d, p, t,
                t / d);
    detector.push_back(d);
    probeAndGrab.push_back(p);
    tiles.push_back(t);
    ratios.push_back(t / d);
  }
  CoUninitialize();
  fs::remove_all(work);
  if (ratios.size() != static_cast<size_t>(rounds)) return 1;
  std::printf("detector alone: %d grabs in %.3f s (median of %d rounds)\n", count, Median(detector), rounds);
  std::printf("probe + grab:   %d in %.3f s (the detector work a tile's load asks for)\n", count,
              Median(probeAndGrab));
  std::printf("hosted tiles:   %d loads in %.3f s\n", count, Median(tiles));
  std::printf("ratio %.3f\n", Median(ratios));
  return 0;
}
