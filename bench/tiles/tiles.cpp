// Hosted tiles: a form's control array of 100 Tilecard.MediaClip tiles, each loading its own
// 640x480 MPEG-4 AVI (thumbnail grab, captions, type), against the media detector alone making
// the same 100 thumbnail grabs at the tile's thumbnail size.
//
//   bench_tiles [count [rounds]]
//
// Each round (7 unless told) makes a new storyboard with its tiles, then takes the movies one by
// one: the detector's grab and the tile's load of the same movie follow each other, so that both
// meet the same load of the machine and the same state of its caches (grabs made back to back
// keep the decoder warm, which a tile's load, with its window work between two grabs, never
// has). Each round gives a ratio; the run's ratio is their median.
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

// The detector alone: one grab of the movie at the tile's thumbnail size, as a new detector.
bool DetectorGrab(const std::string& movie, const std::string& bitmap) {
  ComPtr<IMediaDet> det;
  return SUCCEEDED(CoCreateInstance(CLSID_MediaDet, nullptr, CLSCTX_INPROC_SERVER, IMediaDet::iid, det.put_void())) &&
         SUCCEEDED(det->put_Filename(Bstr(movie))) && SUCCEEDED(det->WriteBitmapBits(0.0, 177, 121, Bstr(bitmap)));
}

// What a tile's load asks of the detector: a probe for a video stream (a detector of its own),
// then the grab with a new detector.
bool ProbeAndGrab(const std::string& movie, const std::string& bitmap) {
  ComPtr<IMediaDet> probe;
  LONG streams = 0;
  if (FAILED(CoCreateInstance(CLSID_MediaDet, nullptr, CLSCTX_INPROC_SERVER, IMediaDet::iid, probe.put_void())) ||
      FAILED(probe->put_Filename(Bstr(movie))) || FAILED(probe->get_OutputStreams(&streams))) {
    return false;
  }
  probe = nullptr;
  return DetectorGrab(movie, bitmap);
}

struct Round {
  double detector = 0, probeAndGrab = 0, tiles = 0, creation = 0;
};

// One round: a new storyboard whose tiles are made first (counted in the tiles' time), then,
// movie by movie, the detector's grab and the tile's load, then the probe and grab, so that a
// change in the machine's load between them meets all three alike.
bool TimeRound(const std::vector<std::string>& movies, const std::string& folder, Round& r) {
  Storyboard board;
  board.Show();
  DoEvents();  // the window's first painting belongs to the storyboard, not to a tile's load
  const auto made = Clock::now();
  std::vector<Control*> tiles;
  for (size_t i = 0; i < movies.size(); ++i) {
    const int16_t index = static_cast<int16_t>(i);
    tiles.push_back(index == 0 ? board.FindControl("ctrlSourceClip", 0) : &board.LoadElement("ctrlSourceClip", index));
  }
  r.creation = Seconds(Clock::now() - made);
  r.tiles = r.creation;
  bool ok = true;
  for (size_t i = 0; i < movies.size() && ok; ++i) {
    const std::string n = std::to_string(i);
    auto grab = [&] {
      const auto t = Clock::now();
      ok = ok && DetectorGrab(movies[i], folder + "/grab" + n + ".bmp");
      r.detector += Seconds(Clock::now() - t);
    };
    auto load = [&] {
      const auto t = Clock::now();
      Bstr name(movies[i]);
      InvokeDispatch(tiles[i]->DispatchObject(), tilecard::kMediaFile, DISPATCH_PROPERTYPUT, {Variant::ByRef(VT_BSTR, &name)});
      r.tiles += Seconds(Clock::now() - t);
    };
    // Whichever goes second finds the movie's data fresh from the first: they take turns going
    // first.
    if (i % 2 == 0) {
      grab();
      load();
    } else {
      load();
      grab();
    }
    const auto t = Clock::now();
    ok = ok && ProbeAndGrab(movies[i], folder + "/probe" + n + ".bmp");
    r.probeAndGrab += Seconds(Clock::now() - t);
  }
  if (!ok) std::fprintf(stderr, "the detector cannot grab the movies\n");
  board.Unload();
  DoEvents();  // the unloaded board's windows go now, not inside the next round's loads
  return ok;
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
    Round t;
    if (!TimeRound(movies, (work / "tmp").string(), t)) break;
    std::printf("round %d: detector %.3f s, probe + grab %.3f s, tiles %.3f s (%.3f s of it making them), ratio %.3f\n",
                r + 1, t.detector, t.probeAndGrab, t.tiles, t.creation, t.tiles / t.detector);
    detector.push_back(t.detector);
    probeAndGrab.push_back(t.probeAndGrab);
    tiles.push_back(t.tiles);
    ratios.push_back(t.tiles / t.detector);
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
