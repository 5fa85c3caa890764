// bench_paneload [rounds]: loads each fixture kind the way the storyboard window's preview pane
// does (a new graph manager, RenderFile, Duration, the picture's size, the walk over the graph's
// filters for a DivX decoder) and, in the same run, opens the same files with the FFmpeg libraries
// (format, stream information, a decoder opened per stream). Rounds alternate the two; the last
// line is the ratio of the medians of the round totals (target: at most 2).
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "../bench_timing.h"
#include "com/com.h"
#include "dshow/dshow.h"
#include "fixtures.h"
#include "mainwindow/modDivx.h"

namespace {

using fixtures::Kind;

bool PaneLoad(const std::string& path) {
  ComPtr<IMediaControl> graph;
  if (FAILED(CoCreateInstance(CLSID_FilgraphManager, nullptr, CLSCTX_INPROC_SERVER, IMediaControl::iid,
                              graph.put_void()))) {
    return false;
  }
  if (FAILED(graph->RenderFile(Bstr(path)))) return false;
  try {
    modDivx::CheckDivxFilters(graph.Get(), path);
  } catch (...) {
    return false;
  }
  ComPtr<IMediaPosition> position;
  double duration = 0;
  if (FAILED(graph->QueryInterface(IMediaPosition::iid, position.put_void())) ||
      FAILED(position->get_Duration(&duration))) {
    return false;
  }
  ComPtr<IBasicVideo> video;
  LONG width = 0, height = 0;
  if (SUCCEEDED(graph->QueryInterface(IBasicVideo::iid, video.put_void()))) {
    video->get_VideoWidth(&width);
    video->get_VideoHeight(&height);
  }
  return true;
}

bool FfmpegOpen(const std::string& path) {
  AVFormatContext* format = nullptr;
  if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0) return false;
  bool ok = avformat_find_stream_info(format, nullptr) >= 0;
  for (unsigned i = 0; ok && i < format->nb_streams; ++i) {
    const AVCodec* codec = avcodec_find_decoder(format->streams[i]->codecpar->codec_id);
    if (!codec) continue;
    AVCodecContext* context = avcodec_alloc_context3(codec);
    if (avcodec_parameters_to_context(context, format->streams[i]->codecpar) < 0 ||
        avcodec_open2(context, codec, nullptr) < 0) {
      ok = false;
    }
    avcodec_free_context(&context);
  }
  avformat_close_input(&format);
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  av_log_set_level(AV_LOG_QUIET);
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  const std::string folder = (std::filesystem::temp_directory_path() / "bench_paneload").string();
  const Kind kinds[] = {Kind::AviMjpegPcm, Kind::AviRgb, Kind::AviDiv3, Kind::AviMp43, Kind::AviDx50, Kind::Mpeg1Ps,
                        Kind::Mov,         Kind::Mp4,    Kind::Wav,     Kind::Mp3,     Kind::Bmp,     Kind::Jpeg,
                        Kind::Gif};
  fixtures::Options options;
  options.width = 320;
  options.height = 240;
  std::vector<std::string> files;
  for (Kind k : kinds) files.push_back(fixtures::Make(k, folder, options));

  std::vector<double> pane, ffmpeg;
  for (int r = 0; r < rounds; ++r) {
    auto start = bench::Clock::now();
    for (const std::string& f : files) {
      if (!PaneLoad(f)) std::fprintf(stderr, "pane load failed: %s\n", f.c_str());
    }
    pane.push_back(bench::Seconds(bench::Clock::now() - start));
    start = bench::Clock::now();
    for (const std::string& f : files) {
      if (!FfmpegOpen(f)) std::fprintf(stderr, "ffmpeg open failed: %s\n", f.c_str());
    }
    ffmpeg.push_back(bench::Seconds(bench::Clock::now() - start));
  }
  const double p = bench::Median(pane), f = bench::Median(ffmpeg);
  std::printf("%zu files, %d rounds: pane loads %.4f s, FFmpeg opens %.4f s (medians)\n", files.size(), rounds, p, f);
  std::printf("ratio %.3f\n", p / f);
  return 0;
}
