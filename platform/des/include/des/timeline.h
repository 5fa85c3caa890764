#pragma once
// The editing services' timeline and its render engines.
//
// A timeline (AMTimeline, IAMTimeline) holds groups; a group (IAMTimelineGroup, also a
// composition IAMTimelineComp) is one output stream of a media type and holds tracks, bottom
// first; a track (IAMTimelineTrack, IAMTimelineTransable) holds sources (IAMTimelineSrc: a piece
// of a media file at a span of the timeline) and transitions (IAMTimelineTrans: an effect over a
// span of the track). Every node is an IAMTimelineObj (start and stop times, the effect class).
//
//   ComPtr<IAMTimeline> tl;           // CoCreateInstance(CLSID_AMTimeline, ...)
//   ComPtr<IAMTimelineObj> g;
//   tl->CreateEmptyNode(g.put(), TIMELINE_MAJOR_TYPE_GROUP);
//   ... SetMediaTypeForVB(0), AddGroup(g), VTrackInsBefore(track, -1), SrcAdd(src) ...
//   ComPtr<IRenderEngine> engine;     // CoCreateInstance(CLSID_RenderEngine, ...)
//   engine->SetTimelineObject(tl); engine->ConnectFrontEnd(); engine->RenderOutputPins();
//
// Times are in 100-ns units (REFERENCE_TIME) or, for the members ending in 2, seconds. Refused
// arguments answer E_INVALIDARG and leave the node unchanged.
//
// What a group renders: video frame k is the picture at t = k / fps. Tracks are layered, higher
// ones covering lower ones; an empty place is black. A source shows its file's last frame at or
// before media start + (t - start) at normal speed (a still, or a span longer than the media,
// holds the last frame), stretched to the group's size. A transition over [ts, te) turns its
// track's layer into effect(A, B, p): A everything below, B the track's own picture (black
// without a source), p = (t - ts) / (te - ts); with transitions disabled the layer shows B.
// Sound tracks are summed (clipped) and converted to the group's format, gaps are silent, and an
// audio transition crossfades from everything below to the track's own sound.
#include "core/bstr.h"
#include "core/unknown.h"
#include "dshow/interfaces.h"
#include "dshow/mediatype.h"

constexpr CLSID CLSID_AMTimeline = MakeGuid("{78530B75-61F9-11D2-8CAD-00A024580902}");
constexpr CLSID CLSID_RenderEngine = MakeGuid("{64D8A8E0-80A2-11D2-8CF3-00A0C9441E20}");
constexpr CLSID CLSID_SmartRenderEngine = MakeGuid("{498B0949-BBE9-4072-98BE-6CCAEB79DC6F}");
constexpr CLSID CLSID_Xml2Dex = MakeGuid("{18C628EE-962A-11D2-8D08-00A0C9441E20}");

// Node kinds of CreateEmptyNode.
enum TIMELINE_MAJOR_TYPE : LONG {
  TIMELINE_MAJOR_TYPE_COMPOSITE = 1,
  TIMELINE_MAJOR_TYPE_TRACK = 2,
  TIMELINE_MAJOR_TYPE_SOURCE = 4,
  TIMELINE_MAJOR_TYPE_TRANSITION = 8,
  TIMELINE_MAJOR_TYPE_EFFECT = 16,
  TIMELINE_MAJOR_TYPE_GROUP = 128,
};

class IAMTimelineObj;

class IAMTimeline : public IUnknown {
 public:
  static constexpr IID iid = MakeGuid("{7C1B3D20-5A4E-4F0B-9D8E-2E6F1A0B7C01}");
  // A new node of a kind: group 128, track 2, source 4, transition 8 (others E_INVALIDARG).
  virtual HRESULT CreateEmptyNode(IAMTimelineObj** node, LONG type) = 0;
  // Places a group made by this timeline and not yet placed; it becomes the last group.
  virtual HRESULT AddGroup(IAMTimelineObj* group) = 0;
  virtual HRESULT GetGroupCount(LONG* count) = 0;
  // The group at a 0-based index (E_INVALIDARG outside 0..count-1).
  virtual HRESULT GetGroup(IAMTimelineObj** group, LONG index) = 0;
  // Transitions render as effects when enabled (the default); otherwise the layer shows its own
  // picture during a transition.
  virtual HRESULT EnableTransitions(LONG enabled) = 0;
  virtual HRESULT TransitionsEnabled(LONG* enabled) = 0;
  // The latest stop of anything placed in a group of the timeline.
  virtual HRESULT GetDuration(REFERENCE_TIME* duration) = 0;
  virtual HRESULT GetDuration2(double* duration) = 0;
};

class IAMTimelineObj : public IUnknown {
 public:
  static constexpr IID iid = MakeGuid("{7C1B3D20-5A4E-4F0B-9D8E-2E6F1A0B7C02}");
  virtual HRESULT GetStartStop(REFERENCE_TIME* start, REFERENCE_TIME* stop) = 0;
  virtual HRESULT GetStartStop2(double* start, double* stop) = 0;
  // 0 <= start <= stop; a placed node may not come to overlap its neighbours.
  virtual HRESULT SetStartStop(REFERENCE_TIME start, REFERENCE_TIME stop) = 0;
  virtual HRESULT SetStartStop2(double start, double stop) = 0;
  virtual HRESULT GetTimelineType(LONG* type) = 0;
  // The effect of a transition: the class identifier of one of the transition effects, as
  // "{...}" text in any letter case; empty or unknown text is refused.
  virtual HRESULT GetSubObjectGUID(GUID* clsid) = 0;
  virtual HRESULT SetSubObjectGUID(const GUID& clsid) = 0;
  virtual HRESULT GetSubObjectGUIDB(Bstr* clsid) = 0;
  virtual HRESULT SetSubObjectGUIDB(const Bstr& clsid) = 0;
  // The timeline that made the node (no reference added).
  virtual HRESULT GetTimelineNoRef(IAMTimeline** timeline) = 0;
};

class IAMTimelineSrc;

class IAMTimelineGroup : public IUnknown {
 public:
  static constexpr IID iid = MakeGuid("{7C1B3D20-5A4E-4F0B-9D8E-2E6F1A0B7C03}");
  virtual HRESULT SetGroupName(const Bstr& name) = 0;
  virtual HRESULT GetGroupName(Bstr* name) = 0;
  // 0: 320 x 240 RGB555 video; 1: 44.1 kHz 16-bit stereo PCM.
  virtual HRESULT SetMediaTypeForVB(LONG type) = 0;
  // Uncompressed RGB 555/565/24/32 (FORMAT_VideoInfo, 1..4096 pixels a side, either row order)
  // or PCM (FORMAT_WaveFormatEx, 8 or 16 bits, 1..8 channels).
  virtual HRESULT SetMediaType(const AM_MEDIA_TYPE* type) = 0;
  // The uncompressed type the group renders in (its recompression format aside).
  virtual HRESULT GetMediaType(AM_MEDIA_TYPE* type) = 0;
  virtual HRESULT SetOutputFPS(double fps) = 0;  // > 0; 15 by default
  virtual HRESULT GetOutputFPS(double* fps) = 0;
  virtual HRESULT SetPreviewMode(LONG preview) = 0;
  virtual HRESULT GetPreviewMode(LONG* preview) = 0;
  // Frames (video) or blocks (sound) the group's renderer prepares ahead.
  virtual HRESULT SetOutputBuffering(int frames) = 0;
  virtual HRESULT GetOutputBuffering(int* frames) = 0;
  // Takes the format of the stream of the group's own kind in the source's file (size, rate and
  // codec for video; the codec header travels in the type): the smart engine renders the group
  // in that format, copying samples that nothing alters.
  virtual HRESULT SetRecompFormatFromSource(IAMTimelineSrc* source) = 0;
  // The recompression format (S_FALSE and an empty type when none is set).
  virtual HRESULT GetSmartRecompressFormat(AM_MEDIA_TYPE* type) = 0;
  virtual HRESULT GetPriority(LONG* index) = 0;  // the group's index in its timeline
};

class IAMTimelineComp : public IUnknown {
 public:
  static constexpr IID iid = MakeGuid("{7C1B3D20-5A4E-4F0B-9D8E-2E6F1A0B7C04}");
  // Inserts a track made by the same timeline and not yet placed at a layer index (0 the
  // bottom); -1 puts it on top.
  virtual HRESULT VTrackInsBefore(IAMTimelineObj* track, LONG priority) = 0;
  virtual HRESULT VTrackGetCount(LONG* count) = 0;
  virtual HRESULT GetVTrack(IAMTimelineObj** track, LONG priority) = 0;
};

class IAMTimelineTrack : public IUnknown {
 public:
  static constexpr IID iid = MakeGuid("{7C1B3D20-5A4E-4F0B-9D8E-2E6F1A0B7C05}");
  // Places a source that overlaps none already on the track.
  virtual HRESULT SrcAdd(IAMTimelineObj* source) = 0;
  virtual HRESULT GetSourcesCount(LONG* count) = 0;
};

class IAMTimelineTransable : public IUnknown {
 public:
  static constexpr IID iid = MakeGuid("{7C1B3D20-5A4E-4F0B-9D8E-2E6F1A0B7C06}");
  // Places a transition that has its effect and overlaps no other transition of the track.
  virtual HRESULT TransAdd(IAMTimelineObj* transition) = 0;
  virtual HRESULT TransGetCount(LONG* count) = 0;
};

class IAMTimelineSrc : public IUnknown {
 public:
  static constexpr IID iid = MakeGuid("{7C1B3D20-5A4E-4F0B-9D8E-2E6F1A0B7C07}");
  virtual HRESULT SetMediaName(const Bstr& path) = 0;
  virtual HRESULT GetMediaName(Bstr* path) = 0;
  // The piece of the file played (0 <= start <= stop); without it the file from its beginning.
  virtual HRESULT SetMediaTimes(REFERENCE_TIME start, REFERENCE_TIME stop) = 0;
  virtual HRESULT SetMediaTimes2(double start, double stop) = 0;
  virtual HRESULT GetMediaTimes(REFERENCE_TIME* start, REFERENCE_TIME* stop) = 0;
  virtual HRESULT GetMediaTimes2(double* start, double* stop) = 0;
};

// A transition has only IAMTimelineObj's members (its effect and span).
class IAMTimelineTrans : public IUnknown {
 public:
  static constexpr IID iid = MakeGuid("{7C1B3D20-5A4E-4F0B-9D8E-2E6F1A0B7C08}");
};

// Render engines: RenderEngine renders every group uncompressed in its own type; the smart
// engine (SmartRenderEngine) renders a group with a recompression format in that format.
class IRenderEngine : public IUnknown {
 public:
  static constexpr IID iid = MakeGuid("{7C1B3D20-5A4E-4F0B-9D8E-2E6F1A0B7C09}");
  // A new timeline drops the graph built for the old one.
  virtual HRESULT SetTimelineObject(IAMTimeline* timeline) = 0;
  virtual HRESULT GetTimelineObject(IAMTimeline** timeline) = 0;
  // The engine's filter graph (a FilgraphManager), once the front end is connected.
  virtual HRESULT GetFilterGraph(IGraphBuilder** graph) = 0;
  // Takes a snapshot of the timeline and puts one source filter per group into the graph,
  // named after the group, with one output pin "Output" offering the group's type. E_UNEXPECTED
  // without a timeline; a source file that cannot be opened, or lacks a stream of its group's
  // kind, fails the call (the error's description names the file) and leaves the graph empty.
  virtual HRESULT ConnectFrontEnd() = 0;
  // Renders every group output not yet connected to the default renderers.
  virtual HRESULT RenderOutputPins() = 0;
  // The output pin of a group (the pin object itself).
  virtual HRESULT GetGroupOutputPin(LONG group, IPin** pin) = 0;
  // Stops a running graph, removes its filters and drops it.
  virtual HRESULT ScrapIt() = 0;
};

// Writes a timeline as an XML timeline file, or a filter graph as a graph file.
class IXml2Dex : public IUnknown {
 public:
  static constexpr IID iid = MakeGuid("{7C1B3D20-5A4E-4F0B-9D8E-2E6F1A0B7C0A}");
  virtual HRESULT WriteXMLFile(IUnknown* timeline, const Bstr& path) = 0;
  virtual HRESULT WriteGrfFile(IUnknown* graph, const Bstr& path) = 0;
};

// Makes the four classes creatable through CoCreateInstance (done when the library loads).
void RegisterTimelineClasses();

namespace des_detail {
extern const bool kTimelineClassesRegistered;
[[gnu::used]] static const bool* const kTimelineClassesLink = &kTimelineClassesRegistered;
}  // namespace des_detail
