#pragma once
// The timeline of the join benchmarks (one movie over and over, each clip opened by a fade) and
// the render engine writing its two groups (pictures, sound) through AVI Mux and File writer, as
// the storyboard's join does.
#include <cstdio>
#include <string>

#include "bench_filters.h"
#include "com/com.h"
#include "des/timeline.h"
#include "dshow/dshow.h"
#include "dshow/filters.h"

namespace bench {

inline ComPtr<IAMTimelineObj> NewNode(IAMTimeline* tl, LONG kind) {
  ComPtr<IAMTimelineObj> n;
  tl->CreateEmptyNode(n.put(), kind);
  return n;
}

// Two groups (sound, pictures) at 15 frames a second; clips times the movie, clipSeconds each, one
// after another, each on a track of its own and the pictures' clip opened by a fade of
// fadeSeconds.
inline ComPtr<IAMTimeline> FadedTimeline(const std::string& movie, int clips, double clipSeconds, double fadeSeconds) {
  static const char* const kFade = "{16B280C5-EE70-11D1-9066-00C04FD9189D}";
  ComPtr<IAMTimeline> tl;
  CoCreateInstance(CLSID_AMTimeline, nullptr, CLSCTX_INPROC_SERVER, IAMTimeline::iid, tl.put_void());
  tl->EnableTransitions(1);
  ComPtr<IAMTimelineObj> groups[2];
  for (int i = 0; i < 2; ++i) {
    groups[i] = NewNode(tl.Get(), TIMELINE_MAJOR_TYPE_GROUP);
    auto g = As<IAMTimelineGroup>(groups[i].Get());
    g->SetGroupName(Bstr(i == 0 ? "AUDIO" : "VIDEO"));
    g->SetMediaTypeForVB(i == 0 ? 1 : 0);
    g->SetOutputBuffering(32);
    g->SetPreviewMode(0);
    g->SetOutputFPS(15.0);
    tl->AddGroup(groups[i].Get());
  }
  for (int j = 0; j < clips; ++j) {
    const double start = j * clipSeconds, stop = start + clipSeconds;
    for (int i : {1, 0}) {
      auto track = NewNode(tl.Get(), TIMELINE_MAJOR_TYPE_TRACK);
      As<IAMTimelineComp>(groups[i].Get())->VTrackInsBefore(track.Get(), -1);
      auto src = NewNode(tl.Get(), TIMELINE_MAJOR_TYPE_SOURCE);
      As<IAMTimelineSrc>(src.Get())->SetMediaName(Bstr(movie));
      src->SetStartStop2(start, stop);
      As<IAMTimelineTrack>(track.Get())->SrcAdd(src.Get());
      if (i == 1) {
        auto trans = NewNode(tl.Get(), TIMELINE_MAJOR_TYPE_TRANSITION);
        trans->SetSubObjectGUIDB(Bstr(kFade));
        trans->SetStartStop2(start, start + fadeSeconds);
        As<IAMTimelineTransable>(track.Get())->TransAdd(trans.Get());
      }
    }
  }
  return tl;
}

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
