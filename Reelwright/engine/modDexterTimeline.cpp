#include "engine/modDexterTimeline.h"

#include "com/com.h"
#include "com/interfaces.h"
#include "core/error.h"
#include "core/msgbox.h"
#include "engine/ObjectCast.h"
#include "forms/app.h"
#include "mainwindow/modSettings.h"

namespace {

StreamSizeSources& SizeSources() {
  static StreamSizeSources sources;
  return sources;
}

using modGeneral::Cast;

template <class I>
ComPtr<I> NewNode(IAMTimeline* timeline, LONG kind) {
  if (!timeline) Raise(vbErrObjectNotSet);
  ComPtr<IAMTimelineObj> node;
  Check(timeline->CreateEmptyNode(node.put(), kind));
  return Cast<I>(node.Get());
}

// Runs a procedure body fail-quiet: the first failure ends it and is cleared.
template <class F>
void Quietly(F&& body) {
  if (!EndQuietly(std::forward<F>(body))) Err().Clear();
}

// The output size the user chose, given to a video group through the stream resizer. A size that
// cannot be had (no resizer, no selection, a refused size) leaves the group at its default size
// and says so; the group is kept either way.
void ApplyChosenSize(IAMTimelineGroup* group) {
  bool sized = false;
  Step([&] {
    const StreamSizeSources& src = SizeSources();
    ComPtr<IStreamResize> resizer = src.streamSize ? src.streamSize() : nullptr;
    if (!resizer) Raise(vbErrObjectNotSet);
    const int32_t entry = (src.videoSizeListIndex ? src.videoSizeListIndex() : -1) + 1;
    LONG cx = 0, cy = 0;
    Bstr description;
    ErrorValue queried = errVal_NoError;
    Check(resizer->QuerySize(entry, &cx, &cy, &description, &queried));
    Check(resizer->put_TimelineGroup(group));
    ErrorValue changed = errVal_NoError;
    Check(resizer->ChangeMediaType(cx, cy, 1, 16, &changed));
    sized = changed == errVal_NoError;
  });
  Err().Clear();
  if (!sized) MsgBox("Could not specify different size", vbOKOnly);
}

}  // namespace

void SetStreamSizeSources(StreamSizeSources sources) { SizeSources() = std::move(sources); }

ComPtr<IAMTimeline> CreateTimeline() {
  ComPtr<IAMTimeline> result;
  Quietly([&] {
    ComPtr<IAMTimeline> tl;
    Check(CoCreateInstance(CLSID_AMTimeline, nullptr, CLSCTX_INPROC_SERVER, IAMTimeline::iid,
                           tl.put_void()));
    result = tl;
  });
  return result;
}

ComPtr<IAMTimelineGroup> CreateGroup(IAMTimeline* timeline, const std::string& name,
                                     int32_t mediaType, double fps, int32_t previewMode,
                                     int32_t buffering) {
  ComPtr<IAMTimelineGroup> result;
  Quietly([&] {
    auto group = NewNode<IAMTimelineGroup>(timeline, TIMELINE_MAJOR_TYPE_GROUP);
    Check(group->SetGroupName(Bstr(name)));
    Check(group->SetMediaTypeForVB(mediaType));
    if (ResizeStreamEnabled && mediaType == 0) ApplyChosenSize(group.Get());
    Check(group->SetOutputBuffering(buffering));
    Check(group->SetPreviewMode(previewMode));
    Check(group->SetOutputFPS(fps));
    result = group;
  });
  return result;
}

ComPtr<IAMTimelineTrack> CreateTrack(IAMTimeline* timeline) {
  ComPtr<IAMTimelineTrack> result;
  Quietly([&] { result = NewNode<IAMTimelineTrack>(timeline, TIMELINE_MAJOR_TYPE_TRACK); });
  return result;
}

ComPtr<IAMTimelineTrans> CreateTransition(IAMTimeline* timeline) {
  ComPtr<IAMTimelineTrans> result;
  Quietly([&] { result = NewNode<IAMTimelineTrans>(timeline, TIMELINE_MAJOR_TYPE_TRANSITION); });
  return result;
}

ComPtr<IAMTimelineSrc> CreateSource(IAMTimeline* timeline) {
  ComPtr<IAMTimelineSrc> result;
  Quietly([&] { result = NewNode<IAMTimelineSrc>(timeline, TIMELINE_MAJOR_TYPE_SOURCE); });
  return result;
}

ComPtr<IAMTimelineGroup> GetGroup(IAMTimeline* timeline, int32_t index) {
  ComPtr<IAMTimelineGroup> result;
  Quietly([&] {
    if (!timeline) Raise(vbErrObjectNotSet);
    DoEvents();
    ComPtr<IAMTimelineObj> obj;
    Check(timeline->GetGroup(obj.put(), index));
    DoEvents();
    result = Cast<IAMTimelineGroup>(obj.Get());
  });
  return result;
}

int32_t GetGroupCount(IAMTimeline* timeline) {
  int32_t count = 0;
  Quietly([&] {
    if (!timeline) Raise(vbErrObjectNotSet);
    LONG n = 0;
    Check(timeline->GetGroupCount(&n));
    count = n;
  });
  return count;
}

void AddGroup(IAMTimeline* timeline, IUnknown* group) {
  if (!timeline || !group) return;
  Quietly([&] { Check(timeline->AddGroup(Cast<IAMTimelineObj>(group).Get())); });
}

void InsertTrack(IUnknown* track, IUnknown* group, int32_t priority) {
  if (!track || !group) return;
  Quietly([&] {
    Check(Cast<IAMTimelineComp>(group)->VTrackInsBefore(Cast<IAMTimelineObj>(track).Get(), priority));
  });
}

void AddSourceToTrack(IUnknown* track, IUnknown* source, const std::string& path, double start,
                      double stop, double mediaStart, double mediaStop) {
  if (!track || !source) return;
  Quietly([&] {
    auto src = Cast<IAMTimelineSrc>(source);
    auto obj = Cast<IAMTimelineObj>(source);
    Check(src->SetMediaName(Bstr(path)));
    Check(obj->SetStartStop2(start, stop));
    if (mediaStart >= 0 && mediaStop != 0) Check(src->SetMediaTimes2(mediaStart, mediaStop));
    Check(Cast<IAMTimelineTrack>(track)->SrcAdd(obj.Get()));
  });
}

void AddTransition(IUnknown* transition, IUnknown* track, const std::string& effectClsid,
                   double start, double stop) {
  if (!transition || !track) return;
  Quietly([&] {
    auto obj = Cast<IAMTimelineObj>(transition);
    Check(obj->SetSubObjectGUIDB(Bstr(effectClsid)));
    Check(obj->SetStartStop2(start, stop));
    Check(Cast<IAMTimelineTransable>(track)->TransAdd(obj.Get()));
  });
}

void SaveTimelineFile(IAMTimeline* timeline, const std::string& path, int32_t format) {
  if (!timeline) return;
  Quietly([&] {
    if (format != 0 && format != 1) return;
    ComPtr<IXml2Dex> writer;
    Check(CoCreateInstance(CLSID_Xml2Dex, nullptr, CLSCTX_INPROC_SERVER, IXml2Dex::iid,
                           writer.put_void()));
    if (format == 0) {
      CheckWithInfo(writer->WriteXMLFile(timeline, Bstr(path)));
      return;
    }
    ComPtr<IRenderEngine> engine;
    Check(CoCreateInstance(CLSID_RenderEngine, nullptr, CLSCTX_INPROC_SERVER, IRenderEngine::iid,
                           engine.put_void()));
    Check(engine->SetTimelineObject(timeline));
    CheckWithInfo(engine->ConnectFrontEnd());
    Check(engine->RenderOutputPins());
    ComPtr<IGraphBuilder> graph;
    Check(engine->GetFilterGraph(graph.put()));
    CheckWithInfo(writer->WriteGrfFile(graph.Get(), Bstr(path)));
  });
}
