// Recompression: a movie's video recompressed through AVIFileOpen, AVIMakeCompressedStream and
// AVISaveV to MPEG-4 part 2 (FMP4) and to Motion JPEG, against the ffmpeg program doing the same
// video-only conversions (same encoders, FOURCC, quantiser, key-frame interval and threads).
//
//   bench_recompress [movie]
//
// Without a movie, a 60-second 640x480 25 fps MPEG-4 (DX50) + MP3 AVI is generated first. Each
// conversion prints its times; the last line is "ratio <AVIFile time / ffmpeg time>" over all
// conversions; the target is at most 1.15.
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "bench_movie.h"
#include "bench_timing.h"
#include "fixtures.h"
#include "vfw/vfw.h"

namespace {

using bench::Clock;
using bench::Seconds;
using bench::TimeFfmpeg;

// The quality of the options record that gives the compressors' quantiser 8 (1 + (100 - q) * 30 / 99).
constexpr uint32_t kQuality = 7500;
constexpr int kQuantiser = 8;
constexpr uint32_t kKeyFrameEvery = 25;

double TimeAviFile(const std::string& movie, const std::string& target, uint32_t fourcc) {
  const auto start = Clock::now();
  AVIFileInit();
  PAVIFILE file = nullptr;
  PAVISTREAM video = nullptr, compressed = nullptr;
  HRESULT hr = AVIFileOpen(&file, movie.c_str(), OF_SHARE_DENY_WRITE, nullptr);
  if (hr == AVIERR_OK) hr = AVIFileGetStream(file, &video, streamtypeVIDEO, 0);
  AVICOMPRESSOPTIONS o;
  o.fccType = streamtypeVIDEO;
  o.fccHandler = fourcc;
  o.dwQuality = kQuality;
  o.dwKeyFrameEvery = kKeyFrameEvery;
  o.dwFlags = AVICOMPRESSF_VALID | AVICOMPRESSF_KEYFRAMES;
  LPAVICOMPRESSOPTIONS list[1] = {&o};
  if (hr == AVIERR_OK) hr = AVIMakeCompressedStream(&compressed, video, &o, nullptr);
  if (hr == AVIERR_OK) hr = AVISaveV(target.c_str(), nullptr, [](int) -> intptr_t { return 0; }, 1, &compressed, list);
  AVIStreamRelease(compressed);
  AVIStreamRelease(video);
  AVIFileRelease(file);
  AVIFileExit();
  if (hr != AVIERR_OK) {
    std::fprintf(stderr, "the AVIFile save failed: 0x%08X\n", static_cast<unsigned>(hr));
    return -1;
  }
  return Seconds(Clock::now() - start);
}

}  // namespace

int main(int argc, char** argv) {
  const std::string folder = fixtures::ScratchFolder("bench-recompress");
  const std::string movie = bench::MovieOrSixtySeconds(argc, argv, folder);
  struct Job {
    const char* name;
    uint32_t fourcc;
    std::vector<std::string> ffmpegCodec;
  };
  const std::string q = std::to_string(kQuantiser), g = std::to_string(kKeyFrameEvery);
  const std::vector<Job> jobs = {
      {"mpeg4", MakeAviFourCC('F', 'M', 'P', '4'), {"-c:v", "mpeg4", "-vtag", "FMP4", "-q:v", q, "-g", g}},
      {"mjpeg", MakeAviFourCC('M', 'J', 'P', 'G'),
       {"-c:v", "mjpeg", "-vtag", "MJPG", "-pix_fmt", "yuvj420p", "-q:v", q}},
  };
  double ours = 0, theirs = 0;
  for (const auto& job : jobs) {
    const std::string a = folder + "/avifile-" + job.name + ".avi";
    const std::string b = folder + "/ffmpeg-" + job.name + ".avi";
    const double ta = TimeAviFile(movie, a, job.fourcc);
    std::vector<std::string> args = {"ffmpeg", "-nostdin", "-v", "error", "-y", "-threads", "0", "-i", movie, "-an"};
    args.insert(args.end(), job.ffmpegCodec.begin(), job.ffmpegCodec.end());
    args.insert(args.end(), {"-threads", "0", b});
    const double tf = TimeFfmpeg(args);
    if (ta < 0 || tf < 0) {
      std::printf("%s: failed\n", job.name);
      return 1;
    }
    std::printf("%s: AVIFile %.3f s, ffmpeg %.3f s, ratio %.3f\n", job.name, ta, tf, ta / tf);
    ours += ta;
    theirs += tf;
  }
  std::printf("ratio %.3f\n", ours / theirs);
  return 0;
}
