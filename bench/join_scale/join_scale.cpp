// Joins of many short clips: 50, 200 and 400 copies of a generated one-second MPEG-4 (DX50) + MP3
// AVI (320x240, 25 fps) laid out as the storyboard's transition builder lays them (a sound track
// and a video track a clip, each clip's video fading in from black over its first half second),
// rendered by the smart render engine through AVI Mux and File writer into RGB555 320x240 15 fps
// + 44.1 kHz 16-bit stereo PCM; against the ffmpeg program doing the same job in one process (the
// concat demuxer over the same list of files, each cut at one second, fps=15, scale, a black veil fading out over each
// clip's first half second, aresample; rawvideo rgb555le, pcm_s16le).
//
//   bench_join_scale [rounds]
//
// For each size the two sides take turns, rounds times (3 unless told), the side that goes first
// alternating; a line per size gives the medians of both times, the engine's time per clip and
// the peak memory of each side during that size (the engine's is this process's resident peak).
// The last line is "ratio <engine time / ffmpeg time at 400 clips>"; the targets are a ratio of at
// most 1.0 and an engine time per clip at 400 clips at most 1.2 times the one at 50.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench_filters.h"
#include "bench_render.h"
#include "bench_timing.h"
#include "com/com.h"
#include "des/timeline.h"
#include "dshow/dshow.h"
#include "dshow/filters.h"
#include "fixtures.h"

namespace {

using bench::As;
using bench::Clock;
using bench::CreateFilter;
using bench::RenderTimelineToAvi;
using bench::Seconds;
using bench::TimeFfmpeg;

constexpr double kClipSeconds = 1.0;
constexpr double kFadeSeconds = 0.5;

// This process's resident peak in MB since the last reset (which the kernel allows through
// clear_refs).
void ResetPeak() { std::ofstream("/proc/self/clear_refs") << "5"; }
double PeakMb() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmHWM:", 0) == 0) return std::atof(line.c_str() + 6) / 1024.0;
  return -1;
}

double TimeEngine(const std::string& movie, int clips, const std::string& target) {
  const auto start = Clock::now();
  ComPtr<IAMTimeline> tl = bench::FadedTimeline(movie, clips, kClipSeconds, kFadeSeconds);
  if (!RenderTimelineToAvi(tl.Get(), target)) return -1;
  return Seconds(Clock::now() - start);
}

// ffmpeg over the concat list; its wall time (-1 when it failed) and its peak memory in MB.
double TimeFfmpegJoin(const std::string& list, const std::string& target, double* peakMb) {
  const std::string fps = "15", frames = std::to_string(static_cast<int>(kClipSeconds * 15));
  const std::string graph =
      "[0:v]fps=15,scale=320:240[base];color=c=black:s=320x240:r=15:d=" + std::to_string(kClipSeconds) +
      ",format=yuva420p,fade=t=out:st=0:d=" + std::to_string(kFadeSeconds) + ":alpha=1,loop=loop=-1:size=" +
      frames + ":start=0[veil];[base][veil]overlay=shortest=1[v];[0:a]aresample=44100,aformat=channel_layouts=stereo[a]";
  const std::vector<std::string> args = {"ffmpeg", "-v", "error", "-y", "-f", "concat", "-safe", "0",
                                         "-i", list, "-filter_complex", graph, "-map", "[v]", "-map", "[a]",
                                         "-c:v", "rawvideo", "-pix_fmt", "rgb555le", "-c:a", "pcm_s16le", target};
  return TimeFfmpeg(args, peakMb);
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::atoi(argv[1]) : 3;
  if (rounds < 1 || rounds > 20) {
    std::fprintf(stderr, "usage: bench_join_scale [rounds 1..20]\n");
    return 2;
  }
  namespace fs = std::filesystem;
  const std::string folder = fixtures::ScratchFolder("bench-join-scale");
  fixtures::Options o;
  o.width = 320;
  o.height = 240;
  o.fps = 25;
  o.seconds = kClipSeconds;
  std::printf("generating the clip...\n");
  const std::string movie = fixtures::Make(fixtures::Kind::AviDx50, folder, o);
  const std::string ours = folder + "/joined-engine.avi", theirs = folder + "/joined-ffmpeg.avi";
  double perClip50 = 0, ratio = 0, perClip400 = 0;
  for (int clips : {50, 200, 400}) {
    const std::string list = folder + "/list" + std::to_string(clips) + ".txt";
    {
      std::ofstream f(list);
      for (int j = 0; j < clips; ++j) f << "file '" << movie << "'\noutpoint " << kClipSeconds << "\n";
    }
    std::vector<double> engineTimes, ffmpegTimes;
    double enginePeak = 0, ffmpegPeak = 0;
    for (int r = 0; r < rounds; ++r) {
      double e = -1, f = -1, fPeak = 0;
      auto engine = [&] {
        fs::remove(ours);
        ResetPeak();
        e = TimeEngine(movie, clips, ours);
        enginePeak = std::max(enginePeak, PeakMb());
        fs::remove(ours);
      };
      auto ffmpeg = [&] {
        fs::remove(theirs);
        f = TimeFfmpegJoin(list, theirs, &fPeak);
        ffmpegPeak = std::max(ffmpegPeak, fPeak);
        fs::remove(theirs);
      };
      if (r % 2) {
        ffmpeg();
        engine();
      } else {
        engine();
        ffmpeg();
      }
      if (e <= 0 || f <= 0) {
        std::fprintf(stderr, "a join of %d clips failed (engine %.3f s, ffmpeg %.3f s)\n", clips, e, f);
        return 1;
      }
      engineTimes.push_back(e);
      ffmpegTimes.push_back(f);
    }
    const double e = bench::Median(engineTimes), f = bench::Median(ffmpegTimes);
    std::printf("%3d clips: engine %.3f s, ffmpeg %.3f s, engine per clip %.4f s, peak memory engine %.0f MB, ffmpeg %.0f MB, ratio %.3f\n",
                clips, e, f, e / clips, enginePeak, ffmpegPeak, e / f);
    std::fflush(stdout);
    if (clips == 50) perClip50 = e / clips;
    if (clips == 400) {
      perClip400 = e / clips;
      ratio = e / f;
    }
  }
  std::printf("per-clip growth %.3f (time per clip at 400 clips over that at 50)\n", perClip400 / perClip50);
  std::printf("ratio %.3f\n", ratio);
  return 0;
}
