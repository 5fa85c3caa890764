#pragma once
// A join graph as the main program builds it: two clips on the editing services' timeline, the
// video group at the stream resizer's size (when one is given), rendered by the render engine
// into AVI Mux and File writer.
#include <algorithm>
#include <cstdio>
#include <string>

#include "IStreamResize.h"
#include "des/timeline.h"
#include "dshow/encoders.h"
#include "dshow_test_util.h"
#include "fixtures.h"
#include "graphparts_test_util.h"
#include "timeline_test_util.h"

namespace graphparts_test {

using namespace dshow_test;

// A join graph of the render engine: the timeline's video group at the resizer's size, written
// through a compressor (or none), AVI Mux and File writer.
struct Join {
  timeline_test::Builder audio{1, 15, "AUDIO"};
  timeline_test::Builder video{audio.tl, 0, 15, "VIDEO"};
  ComPtr<IRenderEngine> engine;
  ComPtr<IGraphBuilder> graph;
  ComPtr<IBaseFilter> mux;
  std::string target;

  Join(IStreamResize* resizer, const std::string& name, double seconds = 1.0) {
    fixtures::Options o;
    o.width = 96;
    o.height = 64;
    o.seconds = seconds;
    std::string clip = Fixture(fixtures::Kind::AviMjpegPcm, o);
    EXPECT_EQ(video.Source(0, clip, 0, seconds), S_OK);
    EXPECT_EQ(video.Source(1, clip, seconds, 2 * seconds), S_OK);
    EXPECT_EQ(audio.Source(0, clip, 0, 2 * seconds), S_OK);
    if (resizer) {
      LONG cx = 0, cy = 0;
      ErrorValue e = errVal_FatalError;
      EXPECT_EQ(resizer->QuerySize(14, &cx, &cy, nullptr, &e), S_OK);
      EXPECT_EQ(resizer->put_TimelineGroup(video.group.Get()), S_OK);
      EXPECT_EQ(resizer->ChangeMediaType(cx, cy, 1, 16, &e), S_OK);
      EXPECT_EQ(e, errVal_NoError);
    }
    EXPECT_EQ(CoCreateInstance(CLSID_RenderEngine, nullptr, CLSCTX_INPROC_SERVER, IRenderEngine::iid,
                               engine.put_void()),
              S_OK);
    EXPECT_EQ(engine->SetTimelineObject(audio.tl.Get()), S_OK);
    EXPECT_EQ(engine->ConnectFrontEnd(), S_OK);
    EXPECT_EQ(engine->GetFilterGraph(graph.put()), S_OK);
    target = Target(name);
    std::remove(target.c_str());
    mux = AddMuxAndWriter(graph.Get(), target);
  }
  ~Join() {
    if (engine) engine->ScrapIt();
  }
  ComPtr<IPin> GroupPin(LONG i) {
    ComPtr<IPin> pin;
    EXPECT_EQ(engine->GetGroupOutputPin(i, pin.put()), S_OK);
    return pin;
  }
  // The video group through the filter into the mux, the sound group straight in.
  void Wire(IBaseFilter* videoCompressor, const char16_t* name = u"Video Compressor Filter") {
    ComPtr<IPin> v = GroupPin(1), a = GroupPin(0);
    if (videoCompressor) {
      ASSERT_EQ(graph->AddFilter(videoCompressor, name), S_OK);
      ASSERT_EQ(graph->Connect(v.Get(), PinsOf(videoCompressor)[0].Get()), S_OK);
      ASSERT_EQ(graph->Render(PinsOf(videoCompressor)[1].Get()), S_OK);
    } else {
      ASSERT_EQ(graph->Render(v.Get()), S_OK);
    }
    ASSERT_EQ(graph->Render(a.Get()), S_OK);
  }
};

inline ComPtr<IBaseFilter> MjpegCompressor() {
  for (const auto& c : dshow::Compressors()) {
    if (c.fourcc != MakeFourCC('M', 'J', 'P', 'G')) continue;
    ComPtr<IBaseFilter> f;
    if (SUCCEEDED(CoCreateInstance(c.clsid, nullptr, CLSCTX_INPROC_SERVER, IBaseFilter::iid, f.put_void()))) return f;
  }
  return nullptr;
}


}  // namespace graphparts_test

namespace graphparts_test {

// The graph's filters (by name) and connections ("Filter.Pin -> Filter.Pin", outputs only), sorted.
inline std::vector<std::string> GraphShape(IGraphBuilder* g) {
  std::vector<std::string> shape;
  for (auto& f : FiltersOf(g)) {
    shape.push_back(NameOf(f.Get()));
    for (auto& p : PinsOf(f.Get())) {
      PIN_DIRECTION dir = PINDIR_INPUT;
      p->QueryDirection(&dir);
      ComPtr<IPin> peer = Peer(p.Get());
      if (dir != PINDIR_OUTPUT || !peer) continue;
      PIN_INFO info;
      peer->QueryPinInfo(&info);
      ComPtr<IBaseFilter> owner = ComPtr<IBaseFilter>::Attach(info.pFilter);
      shape.push_back(NameOf(f.Get()) + "." + PinName(p.Get()) + " -> " + NameOf(owner.Get()) + "." +
                      PinName(peer.Get()));
    }
  }
  std::sort(shape.begin(), shape.end());
  return shape;
}

}  // namespace graphparts_test

namespace graphparts_test {

// What a run of a join whose compressor refuses its samples gave: the resizer's OnError events,
// whether the first came inside Run, and the run's end event.
struct RefusedRun {
  std::vector<Heard> heard;
  bool heardInRun = false;
  LONG code = 0;
};

inline RefusedRun RunRefused(IGraphBuilder* graph, IStreamResize* resizer, REFIID events) {
  RefusedRun r;
  Recorder errors(resizer, events, 1);
  bool inRun = false;
  errors.onEvent = [&] { r.heardInRun = r.heardInRun || inRun; };
  auto mc = ComPtr<IGraphBuilder>(graph).As<IMediaControl>();
  inRun = true;
  EXPECT_TRUE(SUCCEEDED(mc->Run()));
  inRun = false;
  ComPtr<IGraphBuilder>(graph).As<IMediaEvent>()->WaitForCompletion(30000, &r.code);
  mc->Stop();
  r.heard = errors.heard;
  return r;
}

}  // namespace graphparts_test
