// Transcoding: a movie rendered through the platform's filter graph into an AVI of 16-bit RGB
// video and PCM sound (and, when a Motion JPEG compressor is registered, into Motion JPEG),
// against the ffmpeg program doing the same conversion.
//
//   bench_transcode [movie]
//
// Without a movie, a 60-second 640x480 25 fps MPEG-4 (DX50) + MP3 AVI is generated first. Each
// conversion prints its times; the last line is "ratio <graph time / ffmpeg time>" over all
// conversions; the target is at most 1.15.
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "com/com.h"
#include "dshow/dshow.h"
#include "dshow/filters.h"
#include "bench_filters.h"
#include "bench_movie.h"
#include "bench_timing.h"
#include "fixtures.h"

namespace {

using bench::Clock;
using bench::CreateFilter;
using bench::Seconds;
using bench::TimeFfmpeg;

std::vector<ComPtr<IPin>> Pins(IBaseFilter* f, PIN_DIRECTION want, bool connected) {
  std::vector<ComPtr<IPin>> out;
  ComPtr<IEnumPins> e;
  f->EnumPins(e.put());
  IPin* p = nullptr;
  ULONG got = 0;
  while (e->Next(1, &p, &got) == S_OK && got == 1) {
    ComPtr<IPin> pin = ComPtr<IPin>::Attach(p);
    PIN_DIRECTION d;
    pin->QueryDirection(&d);
    ComPtr<IPin> other;
    bool isConnected = pin->ConnectedTo(other.put()) == S_OK;
    if (d == want && isConnected == connected) out.push_back(pin);
  }
  return out;
}

ComPtr<IBaseFilter> Named(IGraphBuilder* g, const std::u16string& name) {
  ComPtr<IBaseFilter> f;
  g->FindFilterByName(name.c_str(), f.put());
  return f;
}

// The Motion JPEG compressor among the registered video compressors, if any.
std::u16string MotionJpegCompressor() {
  for (auto& t : dshow::RegisteredFilters()) {
    if (t.category != CLSID_VideoCompressorCategory) continue;
    std::string name = Utf16ToUtf8(t.name);
    if (name.find("JPEG") != std::string::npos || name.find("MJPEG") != std::string::npos) return t.name;
  }
  return {};
}

// Renders the movie, takes the renderers out and writes the decoded streams into the target:
// video as 16-bit RGB (or through the compressor), sound as PCM. Returns the wall time.
double TimeGraph(const std::string& movie, const std::string& target, const std::u16string& compressor) {
  const auto start = Clock::now();
  ComPtr<IGraphBuilder> g;
  if (FAILED(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IGraphBuilder::iid,
                              g.put_void())) ||
      FAILED(g->RenderFile(Utf8ToUtf16(movie).c_str(), nullptr))) {
    std::fprintf(stderr, "the graph cannot render %s\n", movie.c_str());
    return -1;
  }
  ComPtr<IBaseFilter> mux = CreateFilter(u"AVI Mux");
  ComPtr<IBaseFilter> writer = CreateFilter(u"File writer");
  g->AddFilter(mux.Get(), u"AVI Mux");
  g->AddFilter(writer.Get(), u"File writer");
  ComPtr<IFileSinkFilter> sink;
  writer->QueryInterface(IFileSinkFilter::iid, sink.put_void());
  sink->SetFileName(Utf8ToUtf16(target).c_str(), nullptr);
  for (const char16_t* renderer : {u"Video Renderer", u"Audio Renderer"}) {
    ComPtr<IBaseFilter> r = Named(g.Get(), renderer);
    if (!r) continue;
    ComPtr<IPin> in = Pins(r.Get(), PINDIR_INPUT, true).at(0);
    ComPtr<IPin> up;
    in->ConnectedTo(up.put());
    g->RemoveFilter(r.Get());
    ComPtr<IPin> spare = Pins(mux.Get(), PINDIR_INPUT, false).at(0);
    HRESULT hr;
    if (std::u16string(renderer) == u"Video Renderer") {
      if (!compressor.empty()) {
        ComPtr<IBaseFilter> c = CreateFilter(compressor);
        g->AddFilter(c.Get(), u"Video Compressor Filter");
        hr = g->Connect(up.Get(), Pins(c.Get(), PINDIR_INPUT, false).at(0).Get());
        if (SUCCEEDED(hr)) hr = g->ConnectDirect(Pins(c.Get(), PINDIR_OUTPUT, false).at(0).Get(), spare.Get(), nullptr);
      } else {
        MediaType rgb555;
        rgb555.majortype = MEDIATYPE_Video;
        rgb555.subtype = MEDIASUBTYPE_RGB555;
        hr = g->ConnectDirect(up.Get(), spare.Get(), &rgb555);
      }
    } else {
      hr = g->ConnectDirect(up.Get(), spare.Get(), nullptr);
    }
    if (FAILED(hr)) {
      std::fprintf(stderr, "cannot connect the stream into the mux: 0x%08X\n", static_cast<unsigned>(hr));
      return -1;
    }
  }
  g->ConnectDirect(Pins(mux.Get(), PINDIR_OUTPUT, false).at(0).Get(), Pins(writer.Get(), PINDIR_INPUT, false).at(0).Get(),
                   nullptr);
  ComPtr<IMediaControl> mc;
  ComPtr<IMediaEvent> ev;
  g->QueryInterface(IMediaControl::iid, mc.put_void());
  g->QueryInterface(IMediaEvent::iid, ev.put_void());
  if (FAILED(mc->Run())) return -1;
  LONG code = 0;
  ev->WaitForCompletion(-1, &code);
  mc->Stop();
  if (code != EC_COMPLETE) {
    std::fprintf(stderr, "the run ended with event %d\n", static_cast<int>(code));
    return -1;
  }
  return Seconds(Clock::now() - start);
}

}  // namespace

int main(int argc, char** argv) {
  const std::string folder = fixtures::ScratchFolder("bench-transcode");
  const std::string movie = bench::MovieOrSixtySeconds(argc, argv, folder);
  double ours = 0, theirs = 0;
  struct Job {
    const char* name;
    std::u16string compressor;
    std::vector<std::string> ffmpegCodec;
  };
  std::vector<Job> jobs = {{"rgb16+pcm", u"", {"-c:v", "rawvideo", "-pix_fmt", "rgb555le"}}};
  std::u16string mjpeg = MotionJpegCompressor();
  if (!mjpeg.empty()) jobs.push_back({"mjpeg+pcm", mjpeg, {"-c:v", "mjpeg", "-pix_fmt", "yuvj420p"}});
  else std::printf("no Motion JPEG compressor is registered: uncompressed only\n");
  for (const auto& job : jobs) {
    std::string a = folder + "/graph-" + job.name + ".avi";
    std::string b = folder + "/ffmpeg-" + job.name + ".avi";
    double tg = TimeGraph(movie, a, job.compressor);
    std::vector<std::string> args = {"ffmpeg", "-nostdin", "-v", "error", "-y", "-i", movie};
    args.insert(args.end(), job.ffmpegCodec.begin(), job.ffmpegCodec.end());
    args.insert(args.end(), {"-c:a", "pcm_s16le", b});
    double tf = TimeFfmpeg(args);
    if (tg < 0 || tf < 0) {
      std::printf("%s: failed\n", job.name);
      return 1;
    }
    std::printf("%s: graph %.3f s, ffmpeg %.3f s, ratio %.3f\n", job.name, tg, tf, tg / tf);
    ours += tg;
    theirs += tf;
  }
  std::printf("ratio %.3f\n", ours / theirs);
  return 0;
}
