// Recompression: a movie's video recompressed through AVIFileOpen, AVIMakeCompressedStream and
// AVISaveV to MPEG-4 part 2 (FMP4) and to Motion JPEG, against the ffmpeg program doing the same
// video-only conversions (same encoders, FOURCC, quantiser, key-frame interval and threads).
//
//   bench_recompress [movie|-] [rounds]
//
// Without a movie (or with "-"), a 60-second 640x480 25 fps MPEG-4 (DX50) + MP3 AVI is generated
// first. After one warm-up round (not counted) the two sides take turns, rounds times (7 unless
// told), the side that goes first alternating, so that both see the same load of the machine.
// Each round times both conversions on both sides; its ratio is the AVIFile time over the ffmpeg
// time of the two conversions together. Each conversion prints the median of its own rounds'
// ratios; the last line is "ratio <median of the rounds' ratios>"; the target is at most 1.15.
// The files of the last round are compared with ffprobe (codec, FOURCC, frame count).
#include <chrono>
#include <cstdio>
#include <cstdlib>
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

struct Job {
  const char* name;
  uint32_t fourcc;
  const char* tag;
  const char* codec;
  std::vector<std::string> ffmpegCodec;
  std::vector<double> ours, theirs, ratios;
};

// Both outputs of a job hold the same stream: codec, FOURCC, frame count, size.
bool SameStreams(const Job& job, const std::string& a, const std::string& b) {
  const fixtures::Probe pa = fixtures::RunFfprobe(a), pb = fixtures::RunFfprobe(b);
  const fixtures::ProbedStream* va = pa.ok ? pa.First("video") : nullptr;
  const fixtures::ProbedStream* vb = pb.ok ? pb.First("video") : nullptr;
  if (!va || !vb) {
    std::printf("%s: ffprobe could not read the outputs\n", job.name);
    return false;
  }
  std::printf("%s: AVIFile %s %s %lld frames %dx%d, ffmpeg %s %s %lld frames %dx%d\n", job.name,
              va->codecName.c_str(), va->codecTag.c_str(), va->frames, va->width, va->height, vb->codecName.c_str(),
              vb->codecTag.c_str(), vb->frames, vb->width, vb->height);
  return va->codecName == job.codec && va->codecTag == job.tag && va->codecName == vb->codecName &&
         va->codecTag == vb->codecTag && va->frames == vb->frames && va->frames > 0 && va->width == vb->width &&
         va->height == vb->height;
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 7;
  if (rounds < 1 || rounds > 50) {
    std::fprintf(stderr, "usage: bench_recompress [movie|-] [rounds 1..50]\n");
    return 2;
  }
  const std::string folder = fixtures::ScratchFolder("bench-recompress");
  const bool given = argc > 1 && std::string(argv[1]) != "-";
  const std::string movie = bench::MovieOrSixtySeconds(given ? 2 : 1, argv, folder);
  const std::string q = std::to_string(kQuantiser), g = std::to_string(kKeyFrameEvery);
  std::vector<Job> jobs = {
      {"mpeg4", MakeAviFourCC('F', 'M', 'P', '4'), "FMP4", "mpeg4",
       {"-c:v", "mpeg4", "-vtag", "FMP4", "-q:v", q, "-g", g}, {}, {}, {}},
      {"mjpeg", MakeAviFourCC('M', 'J', 'P', 'G'), "MJPG", "mjpeg",
       {"-c:v", "mjpeg", "-vtag", "MJPG", "-pix_fmt", "yuvj420p", "-q:v", q}, {}, {}, {}},
  };
  std::vector<double> ratios;
  // Round 0 warms up (the movie in the page cache, libraries loaded) and is not counted.
  for (int r = 0; r <= rounds; ++r) {
    double ours = 0, theirs = 0;
    for (Job& job : jobs) {
      const std::string a = folder + "/avifile-" + job.name + ".avi";
      const std::string b = folder + "/ffmpeg-" + job.name + ".avi";
      std::vector<std::string> args = {"ffmpeg", "-nostdin", "-v", "error", "-y", "-threads", "0", "-i", movie, "-an"};
      args.insert(args.end(), job.ffmpegCodec.begin(), job.ffmpegCodec.end());
      args.insert(args.end(), {"-threads", "0", b});
      double ta = -1, tf = -1;
      if (r % 2) {
        ta = TimeAviFile(movie, a, job.fourcc);
        tf = TimeFfmpeg(args);
      } else {
        tf = TimeFfmpeg(args);
        ta = TimeAviFile(movie, a, job.fourcc);
      }
      if (ta <= 0 || tf <= 0) {
        std::printf("%s: failed in round %d\n", job.name, r);
        return 1;
      }
      if (r == 0) {
        std::printf("warm-up %s: AVIFile %.3f s, ffmpeg %.3f s\n", job.name, ta, tf);
        continue;
      }
      std::printf("round %d (%s first) %s: AVIFile %.3f s, ffmpeg %.3f s, ratio %.3f\n", r,
                  r % 2 ? "AVIFile" : "ffmpeg", job.name, ta, tf, ta / tf);
      job.ours.push_back(ta);
      job.theirs.push_back(tf);
      job.ratios.push_back(ta / tf);
      ours += ta;
      theirs += tf;
    }
    if (r > 0) ratios.push_back(ours / theirs);
  }
  bool same = true;
  for (const Job& job : jobs)
    same = SameStreams(job, folder + "/avifile-" + job.name + ".avi", folder + "/ffmpeg-" + job.name + ".avi") && same;
  if (!same) {
    std::printf("the outputs differ\n");
    return 1;
  }
  for (const Job& job : jobs)
    std::printf("%s: AVIFile %.3f s, ffmpeg %.3f s (medians of %d rounds), median ratio %.3f\n", job.name,
                bench::Median(job.ours), bench::Median(job.theirs), rounds, bench::Median(job.ratios));
  std::printf("ratio %.3f\n", bench::Median(ratios));
  return 0;
}
