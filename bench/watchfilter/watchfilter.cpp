// The watch filter's cost: a movie decoded and written through Motion JPEG, AVI Mux and File
// writer, with and without the watch filter spliced in front of the compressor, in one run
// (alternating, three times each).
//
//   bench_watchfilter [movie]
//
// Without a movie, a 60-second 640x480 25 fps MPEG-4 (DX50) + MP3 AVI is generated first. The
// last line is "ratio <time with the watch filter / time without>"; the target is at most 1.05.
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "SampleGrabber.h"
#include "com/com.h"
#include "dshow/dshow.h"
#include "dshow/encoders.h"
#include "dshow/filters.h"
#include "fixtures.h"

namespace {

using Clock = std::chrono::steady_clock;

ComPtr<IPin> FirstPin(IBaseFilter* f, PIN_DIRECTION want, bool connected) {
  ComPtr<IEnumPins> e;
  f->EnumPins(e.put());
  for (;;) {
    ComPtr<IPin> pin;
    ULONG got = 0;
    if (e->Next(1, pin.put(), &got) != S_OK || got != 1) return nullptr;
    PIN_DIRECTION d;
    pin->QueryDirection(&d);
    ComPtr<IPin> other;
    if (d == want && (pin->ConnectedTo(other.put()) == S_OK) == connected) return pin;
  }
}

ComPtr<IBaseFilter> Create(const std::u16string& name) {
  for (auto& t : dshow::RegisteredFilters()) {
    if (t.name != name) continue;
    ComPtr<IBaseFilter> f;
    if (SUCCEEDED(t.create(f.put()))) return f;
  }
  return nullptr;
}

ComPtr<IBaseFilter> MotionJpeg() {
  for (const auto& c : dshow::Compressors()) {
    if (c.fourcc != MakeFourCC('M', 'J', 'P', 'G')) continue;
    ComPtr<IBaseFilter> f;
    if (SUCCEEDED(CoCreateInstance(c.clsid, nullptr, CLSCTX_INPROC_SERVER, IBaseFilter::iid, f.put_void()))) return f;
  }
  return nullptr;
}

// Decodes the movie into the target through the compressor (and the watch filter in front of it
// when asked); the wall time of building and running the graph, -1 on failure.
double TimeJoin(const std::string& movie, const std::string& target, bool watch) {
  const auto start = Clock::now();
  ComPtr<IGraphBuilder> g;
  if (FAILED(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IGraphBuilder::iid, g.put_void())) ||
      FAILED(g->RenderFile(Utf8ToUtf16(movie).c_str(), nullptr)))
    return -1;
  ComPtr<IBaseFilter> mux = Create(u"AVI Mux"), writer = Create(u"File writer"), mjpeg = MotionJpeg();
  if (!mux || !writer || !mjpeg) return -1;
  g->AddFilter(mux.Get(), u"AVI Mux");
  g->AddFilter(writer.Get(), u"File writer");
  g->AddFilter(mjpeg.Get(), u"Video Compressor Filter");
  ComPtr<IFileSinkFilter> sink;
  writer->QueryInterface(IFileSinkFilter::iid, sink.put_void());
  sink->SetFileName(Utf8ToUtf16(target).c_str(), nullptr);
  for (const char16_t* name : {u"Video Renderer", u"Audio Renderer"}) {
    ComPtr<IBaseFilter> r;
    if (FAILED(g->FindFilterByName(name, r.put())) || !r) continue;
    ComPtr<IPin> up;
    FirstPin(r.Get(), PINDIR_INPUT, true)->ConnectedTo(up.put());
    g->RemoveFilter(r.Get());
    HRESULT hr = S_OK;
    if (std::u16string(name) == u"Video Renderer") {
      hr = g->Connect(up.Get(), FirstPin(mjpeg.Get(), PINDIR_INPUT, false).Get());
      if (SUCCEEDED(hr))
        hr = g->ConnectDirect(FirstPin(mjpeg.Get(), PINDIR_OUTPUT, false).Get(),
                              FirstPin(mux.Get(), PINDIR_INPUT, false).Get(), nullptr);
    } else {
      hr = g->ConnectDirect(up.Get(), FirstPin(mux.Get(), PINDIR_INPUT, false).Get(), nullptr);
    }
    if (FAILED(hr)) return -1;
  }
  g->ConnectDirect(FirstPin(mux.Get(), PINDIR_OUTPUT, false).Get(), FirstPin(writer.Get(), PINDIR_INPUT, false).Get(),
                   nullptr);
  if (watch) {
    ComPtr<IPin> in = FirstPin(mjpeg.Get(), PINDIR_INPUT, true), up;
    in->ConnectedTo(up.put());
    g->Disconnect(up.Get());
    g->Disconnect(in.Get());
    ComPtr<sizewarden::SampleGrabber> grabber = MakeComObject<sizewarden::SampleGrabber>();
    g->AddFilter(grabber.Get(), u"Sample Grabber");
    if (FAILED(g->ConnectDirect(up.Get(), FirstPin(grabber.Get(), PINDIR_INPUT, false).Get(), nullptr)) ||
        FAILED(g->ConnectDirect(FirstPin(grabber.Get(), PINDIR_OUTPUT, false).Get(), in.Get(), nullptr)))
      return -1;
  }
  ComPtr<IMediaControl> mc;
  ComPtr<IMediaEvent> ev;
  g->QueryInterface(IMediaControl::iid, mc.put_void());
  g->QueryInterface(IMediaEvent::iid, ev.put_void());
  if (FAILED(mc->Run())) return -1;
  LONG code = 0;
  ev->WaitForCompletion(-1, &code);
  mc->Stop();
  if (code != EC_COMPLETE) return -1;
  return std::chrono::duration<double>(Clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  const std::string folder = fixtures::ScratchFolder("bench-watchfilter");
  std::string movie;
  if (argc > 1) {
    movie = argv[1];
  } else {
    fixtures::Options o;
    o.width = 640;
    o.height = 480;
    o.fps = 25;
    o.seconds = 60;
    std::printf("making a 60 s 640x480 MPEG-4 + MP3 movie...\n");
    movie = fixtures::Make(fixtures::Kind::AviDx50, folder, o);
  }
  double without = 0, with = 0;
  for (int round = 0; round < 3; ++round) {
    for (bool watch : {false, true}) {
      double t = TimeJoin(movie, folder + (watch ? "/with.avi" : "/without.avi"), watch);
      if (t < 0) {
        std::printf("the %s run failed\n", watch ? "watched" : "plain");
        return 1;
      }
      std::printf("round %d %s: %.3f s\n", round + 1, watch ? "with the watch filter" : "without", t);
      (watch ? with : without) += t;
    }
  }
  std::printf("ratio %.3f\n", with / without);
  return 0;
}
