// Joining: five MPEG-4 (DX50) + MP3 AVIs (640x480, 25 fps, 10 s) laid out as the storyboard's
// transition builder lays them ("Fade" over each clip's first second, each clip on its own
// track above the earlier ones), rendered by the smart render engine through AVI Mux and File
// writer into RGB555 320x240 15 fps + 44.1 kHz 16-bit stereo PCM; against the ffmpeg program
// doing the same job (per input: fps=15, scale, a one-second fade in from black, aresample;
// concat; rawvideo rgb555le, pcm_s16le).
//
//   bench_join [movie]
//
// Without a movie, the fixture is generated first. The last line is "ratio <engine time /
// ffmpeg time>"; the target is at most 0.9.
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "com/com.h"
#include "des/timeline.h"
#include "dshow/dshow.h"
#include "dshow/filters.h"
#include "bench_filters.h"
#include "bench_render.h"
#include "bench_timing.h"
#include "fixtures.h"

namespace {

using bench::As;
using bench::Clock;
using bench::CreateFilter;
using bench::RenderTimelineToAvi;
using bench::Seconds;
using bench::TimeFfmpeg;

constexpr int kClips = 5;
constexpr double kSeconds = 10.0;

double TimeEngine(const std::string& movie, const std::string& target) {
  const auto start = Clock::now();
  ComPtr<IAMTimeline> tl = bench::FadedTimeline(movie, kClips, kSeconds, 1.0);
  if (!RenderTimelineToAvi(tl.Get(), target)) return -1;
  return Seconds(Clock::now() - start);
}

double TimeFfmpegJoin(const std::string& movie, const std::string& target) {
  std::vector<std::string> args = {"ffmpeg", "-v", "error", "-y"};
  for (int j = 0; j < kClips; ++j) args.insert(args.end(), {"-i", movie});
  std::string graph, inputs;
  for (int j = 0; j < kClips; ++j) {
    const std::string n = std::to_string(j);
    graph += "[" + n + ":v]fps=15,scale=320:240,fade=t=in:st=0:d=1[v" + n + "];[" + n +
             ":a]aresample=44100,aformat=channel_layouts=stereo[a" + n + "];";
    inputs += "[v" + n + "][a" + n + "]";
  }
  graph += inputs + "concat=n=" + std::to_string(kClips) + ":v=1:a=1[v][a]";
  args.insert(args.end(), {"-filter_complex", graph, "-map", "[v]", "-map", "[a]", "-c:v", "rawvideo",
                           "-pix_fmt", "rgb555le", "-c:a", "pcm_s16le", target});
  return TimeFfmpeg(args);
}

}  // namespace

int main(int argc, char** argv) {
  const std::string folder = fixtures::ScratchFolder("bench-join");
  std::string movie;
  if (argc > 1) {
    movie = argv[1];
  } else {
    fixtures::Options o;
    o.width = 640;
    o.height = 480;
    o.fps = 25;
    o.seconds = kSeconds;
    std::printf("generating the clip...\n");
    movie = fixtures::Make(fixtures::Kind::AviDx50, folder, o);
  }
  const std::string ours = folder + "/joined-engine.avi", theirs = folder + "/joined-ffmpeg.avi";
  const double engine = TimeEngine(movie, ours);
  const double ffmpeg = TimeFfmpegJoin(movie, theirs);
  if (engine <= 0 || ffmpeg <= 0) {
    std::fprintf(stderr, "a join failed (engine %.3f s, ffmpeg %.3f s)\n", engine, ffmpeg);
    return 1;
  }
  const fixtures::Probe a = fixtures::RunFfprobe(ours), b = fixtures::RunFfprobe(theirs);
  const long long framesA = a.First("video") ? a.First("video")->frames : -1;
  const long long framesB = b.First("video") ? b.First("video")->frames : -1;
  std::printf("engine: %.3f s, %lld frames\n", engine, framesA);
  std::printf("ffmpeg: %.3f s, %lld frames\n", ffmpeg, framesB);
  if (framesA != framesB) std::printf("the frame counts differ\n");
  std::printf("ratio %.3f\n", engine / ffmpeg);
  return 0;
}
