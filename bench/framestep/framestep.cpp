// Frame stepping: the media detector hands out N frames one by one (each a grab at frame n's
// time, at the movie's own size), against the ffmpeg program decoding the same N frames once.
//
//   bench_framestep [movie] [frames]
//
// Without a movie, a 640x480 25 fps MPEG-4 (DX50) + MP3 AVI is generated first. The last line
// is "ratio <detector time / ffmpeg time>"; the target is at most 2.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench_timing.h"
#include "com/com.h"
#include "des/mediadet.h"
#include "fixtures.h"

namespace {

using bench::Clock;
using bench::Seconds;

// Runs the ffmpeg program and returns its wall time, or a negative value when it fails.
double TimeFfmpeg(const std::string& movie, int frames) {
  return bench::TimeFfmpeg({"ffmpeg", "-nostdin", "-v", "error", "-i", movie, "-map", "0:v:0", "-frames:v",
                            std::to_string(frames), "-f", "null", "-"});
}

// Opens the movie in a new detector and grabs frames 0 to frames - 1 in order; returns the wall
// time, or a negative value on failure.
double TimeDetector(const std::string& movie, int frames) {
  const auto start = Clock::now();
  ComPtr<IMediaDet> det;
  if (FAILED(CoCreateInstance(CLSID_MediaDet, nullptr, CLSCTX_INPROC_SERVER, IMediaDet::iid,
                              det.put_void())) ||
      FAILED(det->put_Filename(Bstr(movie)))) {
    std::fprintf(stderr, "the detector cannot open %s\n", movie.c_str());
    return -1;
  }
  double rate = 0;
  AM_MEDIA_TYPE mt{};
  if (FAILED(det->get_FrameRate(&rate)) || rate <= 0 || FAILED(det->get_StreamMediaType(&mt))) {
    std::fprintf(stderr, "stream 0 of %s is no movie stream\n", movie.c_str());
    return -1;
  }
  const VIDEOINFOHEADER* vih = VideoInfo(mt);
  const int width = vih ? vih->bmiHeader.biWidth : 0;
  const int height = vih ? std::abs(vih->bmiHeader.biHeight) : 0;
  FreeMediaType(mt);
  LONG size = 0;
  if (FAILED(det->GetBitmapBits(0, &size, nullptr, width, height))) return -1;
  std::vector<char> buffer(static_cast<size_t>(size));
  for (int n = 0; n < frames; ++n) {
    const HRESULT hr = det->GetBitmapBits(n / rate, nullptr, buffer.data(), width, height);
    if (FAILED(hr)) {
      std::fprintf(stderr, "frame %d: error 0x%08X\n", n, static_cast<unsigned>(hr));
      return -1;
    }
  }
  return Seconds(Clock::now() - start);
}

}  // namespace

int main(int argc, char** argv) {
  int frames = 250;
  std::string movie;
  if (argc > 1) movie = argv[1];
  if (argc > 2) frames = std::atoi(argv[2]);
  if (frames < 1) {
    std::fprintf(stderr, "usage: bench_framestep [movie] [frames]\n");
    return 2;
  }
  std::string generatedFolder;
  if (movie.empty()) {
    generatedFolder = (std::filesystem::temp_directory_path() /
                       ("bench-framestep-" + std::to_string(getpid())))
                          .string();
    fixtures::Options o;
    o.width = 640;
    o.height = 480;
    o.fps = 25;
    o.seconds = (frames + 10) / 25.0;
    movie = fixtures::Make(fixtures::Kind::AviDx50, generatedFolder, o);
  }
  std::printf("movie: %s, %d frames\n", movie.c_str(), frames);

  // The better of three runs each, so that a cold file cache counts for neither.
  double ours = -1, theirs = -1;
  for (int run = 0; run < 3; ++run) {
    const double d = TimeDetector(movie, frames);
    const double f = TimeFfmpeg(movie, frames);
    if (d < 0 || f < 0) {
      std::fprintf(stderr, "a run failed\n");
      ours = theirs = -1;
      break;
    }
    if (ours < 0 || d < ours) ours = d;
    if (theirs < 0 || f < theirs) theirs = f;
  }
  if (!generatedFolder.empty()) {
    std::error_code ignored;
    std::filesystem::remove_all(generatedFolder, ignored);
  }
  if (ours < 0) return 1;
  std::printf("media detector, frame by frame: %.3f s (%.2f ms a frame)\n", ours,
              1000 * ours / frames);
  std::printf("ffmpeg, one decode:             %.3f s\n", theirs);
  std::printf("ratio %.2f\n", ours / theirs);
  return 0;
}
