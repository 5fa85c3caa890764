#pragma once
// The render engine writing a timeline's two groups (pictures, sound) through AVI Mux and File
// writer, as the storyboard's join does.
#include <cstdio>
#include <string>

#include "bench_filters.h"
#include "com/com.h"
#include "des/timeline.h"
#include "dshow/dshow.h"
#include "dshow/filters.h"

namespace bench {

// Renders the timeline into target with the smart render engine; false (and why, on stderr) when
// the engine, the graph or the run fails.
inline bool RenderTimelineToAvi(IAMTimeline* tl, const std::string& target) {
  ComPtr<IRenderEngine> engine;
  CoCreateInstance(CLSID_SmartRenderEngine, nullptr, CLSCTX_INPROC_SERVER, IRenderEngine::iid,
                   engine.put_void());
  if (!engine || FAILED(engine->SetTimelineObject(tl)) || FAILED(engine->ConnectFrontEnd())) {
    std::fprintf(stderr, "the engine cannot take the timeline\n");
    return false;
  }
  ComPtr<IGraphBuilder> g;
  engine->GetFilterGraph(g.put());
  ComPtr<IBaseFilter> writer = CreateFilter(u"File writer");
  ComPtr<IBaseFilter> mux = CreateFilter(u"AVI Mux");
  g->AddFilter(writer.Get(), u"File writer");
  g->AddFilter(mux.Get(), u"AVI Mux");
  As<IFileSinkFilter>(writer.Get())->SetFileName(Utf8ToUtf16(target).c_str(), nullptr);
  for (LONG i = 0; i < 2; ++i) {
    ComPtr<IPin> pin;
    engine->GetGroupOutputPin(i, pin.put());
    if (FAILED(g->Render(pin.Get()))) {
      std::fprintf(stderr, "group %d cannot be rendered into the mux\n", static_cast<int>(i));
      return false;
    }
  }
  auto mc = As<IMediaControl>(g.Get());
  auto ev = As<IMediaEvent>(g.Get());
  if (FAILED(mc->Run())) return false;
  LONG code = 0;
  ev->WaitForCompletion(-1, &code);
  mc->Stop();
  engine->ScrapIt();
  if (code != EC_COMPLETE) {
    std::fprintf(stderr, "the run ended with event %d\n", static_cast<int>(code));
    return false;
  }
  return true;
}

}  // namespace bench
