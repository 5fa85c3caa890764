// The timeline model: the timeline object and its nodes (groups, tracks, sources, transitions).
#include <algorithm>
#include <cmath>
#include <memory>
#include <mutex>

#include "com/com.h"
#include "com/object.h"
#include "dshow/avbridge.h"
#include "dshow/baseclasses.h"
#include "dshow/filters.h"
#include "dshow/uuids.h"
#include "dshow/interfaces.h"
#include "des/transitions.h"
#include "media_reader.h"
#include "timeline_model.h"

namespace des_detail {

REFERENCE_TIME TicksFromSeconds(double seconds) { return std::llround(seconds * 1e7); }

HRESULT StreamTypeOfFile(const std::string& path, bool video, MediaType* type) {
  MediaReader reader;
  if (HRESULT hr = reader.Open(path); FAILED(hr)) return hr;
  const auto& streams = reader.Streams();
  for (size_t i = 0; i < streams.size(); ++i) {
    if (streams[i].video != video) continue;
    AM_MEDIA_TYPE mt{};
    if (HRESULT hr = reader.MediaTypeOf(i, &mt); FAILED(hr)) return hr;
    *type = mt;
    FreeMediaType(mt);
    return S_OK;
  }
  return VFW_E_INVALIDMEDIATYPE;
}

}  // namespace des_detail

namespace {

using namespace des_detail;

// Every edit and every snapshot of every timeline happens under this one lock.
std::mutex& ModelLock() {
  static std::mutex m;
  return m;
}

// Longest time a node may take: keeps every sum of times far from overflowing.
constexpr REFERENCE_TIME kMaxTime = REFERENCE_TIME{1000000} * 3600 * 10000000;

bool ValidSpan(REFERENCE_TIME start, REFERENCE_TIME stop) {
  return start >= 0 && start <= stop && stop <= kMaxTime;
}

bool ValidSeconds(double start, double stop) {
  return std::isfinite(start) && std::isfinite(stop) && start >= 0 && start <= stop &&
         stop <= static_cast<double>(kMaxTime) / 1e7;
}

bool Overlap(REFERENCE_TIME a0, REFERENCE_TIME a1, REFERENCE_TIME b0, REFERENCE_TIME b1) {
  return a0 < b1 && b0 < a1;
}

MediaType DefaultVideoType(double fps) {
  return dshow::MakeRgbVideoType(320, 240, 16, std::llround(1e7 / fps), MEDIASUBTYPE_RGB555);
}
MediaType DefaultAudioType() { return dshow::MakePcmAudioType(44100, 2, 16); }

// An uncompressed RGB type a group composes in, or PCM sound.
bool AcceptableGroupType(const AM_MEDIA_TYPE& mt) {
  if (mt.majortype == MEDIATYPE_Video) {
    if (mt.formattype != FORMAT_VideoInfo) return false;
    const VIDEOINFOHEADER* vih = VideoInfo(mt);
    if (!vih) return false;
    const auto& bi = vih->bmiHeader;
    int bits = 0;
    if (mt.subtype == MEDIASUBTYPE_RGB555 || mt.subtype == MEDIASUBTYPE_RGB565) bits = 16;
    else if (mt.subtype == MEDIASUBTYPE_RGB24) bits = 24;
    else if (mt.subtype == MEDIASUBTYPE_RGB32) bits = 32;
    else return false;
    if (bi.biBitCount != bits || (bi.biCompression != BI_RGB && bi.biCompression != 3))
      return false;
    const int64_t h = bi.biHeight < 0 ? -int64_t{bi.biHeight} : bi.biHeight;
    return bi.biWidth >= 1 && bi.biWidth <= 4096 && h >= 1 && h <= 4096;
  }
  if (mt.majortype == MEDIATYPE_Audio) {
    if (mt.formattype != FORMAT_WaveFormatEx) return false;
    const WAVEFORMATEX* wf = WaveFormat(mt);
    if (!wf || wf->wFormatTag != WAVE_FORMAT_PCM) return false;
    return (wf->wBitsPerSample == 8 || wf->wBitsPerSample == 16) && wf->nChannels >= 1 &&
           wf->nChannels <= 8 && wf->nSamplesPerSec >= 1000 && wf->nSamplesPerSec <= 192000;
  }
  return false;
}

struct TimelineCore;

class Node final : public ComObject<IAMTimelineObj, IAMTimelineGroup, IAMTimelineComp,
                                    IAMTimelineTrack, IAMTimelineTransable, IAMTimelineSrc,
                                    IAMTimelineTrans> {
 public:
  Node(LONG kind, std::weak_ptr<TimelineCore> core) : kind_(kind), core_(std::move(core)) {
    if (kind_ == TIMELINE_MAJOR_TYPE_GROUP) type_ = DefaultVideoType(fps_);
  }
  ~Node() override {
    std::lock_guard lock(ModelLock());
    for (auto& c : children_) c->parent_ = nullptr;
    for (auto& c : transitions_) c->parent_ = nullptr;
  }

  HRESULT QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    const bool group = kind_ == TIMELINE_MAJOR_TYPE_GROUP;
    const bool track = kind_ == TIMELINE_MAJOR_TYPE_TRACK;
    if (((riid == IAMTimelineGroup::iid || riid == IAMTimelineComp::iid) && !group) ||
        ((riid == IAMTimelineTrack::iid || riid == IAMTimelineTransable::iid) && !track) ||
        (riid == IAMTimelineSrc::iid && kind_ != TIMELINE_MAJOR_TYPE_SOURCE) ||
        (riid == IAMTimelineTrans::iid && kind_ != TIMELINE_MAJOR_TYPE_TRANSITION))
      return E_NOINTERFACE;
    return ComObject::QueryInterface(riid, ppv);
  }

  // --- IAMTimelineObj
  HRESULT GetStartStop(REFERENCE_TIME* start, REFERENCE_TIME* stop) override {
    if (!start || !stop) return E_POINTER;
    std::lock_guard lock(ModelLock());
    *start = start_;
    *stop = stop_;
    return S_OK;
  }
  HRESULT GetStartStop2(double* start, double* stop) override {
    if (!start || !stop) return E_POINTER;
    std::lock_guard lock(ModelLock());
    *start = SecondsFromTicks(start_);
    *stop = SecondsFromTicks(stop_);
    return S_OK;
  }
  HRESULT SetStartStop(REFERENCE_TIME start, REFERENCE_TIME stop) override {
    if (!ValidSpan(start, stop)) return E_INVALIDARG;
    std::lock_guard lock(ModelLock());
    if (parent_ && parent_->Collides(this, start, stop)) return E_INVALIDARG;
    start_ = start;
    stop_ = stop;
    return S_OK;
  }
  HRESULT SetStartStop2(double start, double stop) override {
    if (!ValidSeconds(start, stop)) return E_INVALIDARG;
    return SetStartStop(TicksFromSeconds(start), TicksFromSeconds(stop));
  }
  HRESULT GetTimelineType(LONG* type) override {
    if (!type) return E_POINTER;
    *type = kind_;
    return S_OK;
  }
  HRESULT GetSubObjectGUID(GUID* clsid) override {
    if (!clsid) return E_POINTER;
    std::lock_guard lock(ModelLock());
    *clsid = effect_;
    return S_OK;
  }
  HRESULT SetSubObjectGUID(const GUID& clsid) override {
    if (kind_ != TIMELINE_MAJOR_TYPE_TRANSITION || !des::FindTransition(clsid))
      return E_INVALIDARG;
    std::lock_guard lock(ModelLock());
    effect_ = clsid;
    return S_OK;
  }
  HRESULT GetSubObjectGUIDB(Bstr* clsid) override {
    if (!clsid) return E_POINTER;
    std::lock_guard lock(ModelLock());
    *clsid = Bstr(GuidToString(effect_));
    return S_OK;
  }
  HRESULT SetSubObjectGUIDB(const Bstr& clsid) override {
    const std::string text = clsid.Utf8();
    // The registry form only: braces around the identifier.
    if (text.size() != 38 || text.front() != '{' || text.back() != '}') return E_INVALIDARG;
    auto guid = GuidFromString(text);
    if (!guid) return E_INVALIDARG;
    return SetSubObjectGUID(*guid);
  }
  HRESULT GetTimelineNoRef(IAMTimeline** timeline) override;

  // --- IAMTimelineGroup
  HRESULT SetGroupName(const Bstr& name) override {
    std::lock_guard lock(ModelLock());
    name_ = name.Utf8();
    return S_OK;
  }
  HRESULT GetGroupName(Bstr* name) override {
    if (!name) return E_POINTER;
    std::lock_guard lock(ModelLock());
    *name = Bstr(name_);
    return S_OK;
  }
  HRESULT SetMediaTypeForVB(LONG type) override {
    if (type != 0 && type != 1) return E_INVALIDARG;
    std::lock_guard lock(ModelLock());
    type_ = type == 0 ? DefaultVideoType(fps_) : DefaultAudioType();
    recomp_.reset();
    return S_OK;
  }
  HRESULT SetMediaType(const AM_MEDIA_TYPE* type) override {
    if (!type || !AcceptableGroupType(*type)) return E_INVALIDARG;
    std::lock_guard lock(ModelLock());
    type_ = *type;
    if (type_.majortype == MEDIATYPE_Video) {
      auto* vih = reinterpret_cast<VIDEOINFOHEADER*>(type_.pbFormat);
      vih->AvgTimePerFrame = std::llround(1e7 / fps_);
    }
    recomp_.reset();
    return S_OK;
  }
  HRESULT GetMediaType(AM_MEDIA_TYPE* type) override {
    if (!type) return E_POINTER;
    std::lock_guard lock(ModelLock());
    return CopyMediaType(type, &type_);
  }
  HRESULT SetOutputFPS(double fps) override {
    if (!std::isfinite(fps) || fps <= 0 || fps > 1000) return E_INVALIDARG;
    std::lock_guard lock(ModelLock());
    fps_ = fps;
    if (type_.majortype == MEDIATYPE_Video)
      reinterpret_cast<VIDEOINFOHEADER*>(type_.pbFormat)->AvgTimePerFrame = std::llround(1e7 / fps);
    return S_OK;
  }
  HRESULT GetOutputFPS(double* fps) override {
    if (!fps) return E_POINTER;
    std::lock_guard lock(ModelLock());
    *fps = fps_;
    return S_OK;
  }
  HRESULT SetPreviewMode(LONG preview) override {
    std::lock_guard lock(ModelLock());
    preview_ = preview != 0;
    return S_OK;
  }
  HRESULT GetPreviewMode(LONG* preview) override {
    if (!preview) return E_POINTER;
    std::lock_guard lock(ModelLock());
    *preview = preview_ ? 1 : 0;
    return S_OK;
  }
  HRESULT SetOutputBuffering(int frames) override {
    if (frames < 0 || frames > 1000) return E_INVALIDARG;
    std::lock_guard lock(ModelLock());
    buffering_ = frames;
    return S_OK;
  }
  HRESULT GetOutputBuffering(int* frames) override {
    if (!frames) return E_POINTER;
    std::lock_guard lock(ModelLock());
    *frames = buffering_;
    return S_OK;
  }
  HRESULT SetRecompFormatFromSource(IAMTimelineSrc* source) override;
  HRESULT GetSmartRecompressFormat(AM_MEDIA_TYPE* type) override {
    if (!type) return E_POINTER;
    std::lock_guard lock(ModelLock());
    *type = AM_MEDIA_TYPE();
    if (!recomp_) return S_FALSE;
    return CopyMediaType(type, &*recomp_);
  }
  HRESULT GetPriority(LONG* index) override;

  // --- IAMTimelineComp
  HRESULT VTrackInsBefore(IAMTimelineObj* track, LONG priority) override {
    Node* t = Own(track);
    std::lock_guard lock(ModelLock());
    if (!t || t->kind_ != TIMELINE_MAJOR_TYPE_TRACK || t->parent_ ||
        t->core_.lock() != core_.lock())
      return E_INVALIDARG;
    if (priority < -1 || priority > static_cast<LONG>(children_.size())) return E_INVALIDARG;
    auto at = priority == -1 ? children_.end() : children_.begin() + priority;
    children_.insert(at, ComPtr<Node>(t));
    t->parent_ = this;
    return S_OK;
  }
  HRESULT VTrackGetCount(LONG* count) override {
    if (!count) return E_POINTER;
    std::lock_guard lock(ModelLock());
    *count = static_cast<LONG>(children_.size());
    return S_OK;
  }
  HRESULT GetVTrack(IAMTimelineObj** track, LONG priority) override {
    if (!track) return E_POINTER;
    *track = nullptr;
    std::lock_guard lock(ModelLock());
    if (priority < 0 || priority >= static_cast<LONG>(children_.size())) return E_INVALIDARG;
    Node* n = children_[static_cast<size_t>(priority)].Get();
    n->AddRef();
    *track = n;
    return S_OK;
  }

  // --- IAMTimelineTrack
  HRESULT SrcAdd(IAMTimelineObj* source) override {
    return Place(source, TIMELINE_MAJOR_TYPE_SOURCE, children_);
  }
  HRESULT GetSourcesCount(LONG* count) override {
    if (!count) return E_POINTER;
    std::lock_guard lock(ModelLock());
    *count = static_cast<LONG>(children_.size());
    return S_OK;
  }
  // --- IAMTimelineTransable
  HRESULT TransAdd(IAMTimelineObj* transition) override {
    return Place(transition, TIMELINE_MAJOR_TYPE_TRANSITION, transitions_);
  }
  HRESULT TransGetCount(LONG* count) override {
    if (!count) return E_POINTER;
    std::lock_guard lock(ModelLock());
    *count = static_cast<LONG>(transitions_.size());
    return S_OK;
  }

  // --- IAMTimelineSrc
  HRESULT SetMediaName(const Bstr& path) override {
    std::lock_guard lock(ModelLock());
    path_ = path.Utf8();
    return S_OK;
  }
  HRESULT GetMediaName(Bstr* path) override {
    if (!path) return E_POINTER;
    std::lock_guard lock(ModelLock());
    *path = Bstr(path_);
    return S_OK;
  }
  HRESULT SetMediaTimes(REFERENCE_TIME start, REFERENCE_TIME stop) override {
    if (!ValidSpan(start, stop)) return E_INVALIDARG;
    std::lock_guard lock(ModelLock());
    hasMediaTimes_ = true;
    mstart_ = start;
    mstop_ = stop;
    return S_OK;
  }
  HRESULT SetMediaTimes2(double start, double stop) override {
    if (!ValidSeconds(start, stop)) return E_INVALIDARG;
    return SetMediaTimes(TicksFromSeconds(start), TicksFromSeconds(stop));
  }
  HRESULT GetMediaTimes(REFERENCE_TIME* start, REFERENCE_TIME* stop) override {
    if (!start || !stop) return E_POINTER;
    std::lock_guard lock(ModelLock());
    *start = hasMediaTimes_ ? mstart_ : 0;
    *stop = hasMediaTimes_ ? mstop_ : stop_ - start_;
    return S_OK;
  }
  HRESULT GetMediaTimes2(double* start, double* stop) override {
    if (!start || !stop) return E_POINTER;
    REFERENCE_TIME a = 0, b = 0;
    GetMediaTimes(&a, &b);
    *start = SecondsFromTicks(a);
    *stop = SecondsFromTicks(b);
    return S_OK;
  }

  // --- Model internals (called with the model lock held unless noted)
  static Node* Own(IUnknown* p) {
    if (!p) return nullptr;
    ComPtr<IAMTimelineObj> obj;
    if (FAILED(p->QueryInterface(IAMTimelineObj::iid, obj.put_void()))) return nullptr;
    return dynamic_cast<Node*>(obj.Get());  // the caller's reference keeps it alive
  }

  bool Collides(const Node* who, REFERENCE_TIME start, REFERENCE_TIME stop) const {
    const auto& list = who->kind_ == TIMELINE_MAJOR_TYPE_TRANSITION ? transitions_ : children_;
    if (kind_ != TIMELINE_MAJOR_TYPE_TRACK) return false;
    for (const auto& n : list)
      if (n.Get() != who && Overlap(start, stop, n->start_, n->stop_)) return true;
    return false;
  }

  REFERENCE_TIME LatestStop() const {
    REFERENCE_TIME latest = 0;
    for (const auto& c : children_) {
      if (c->kind_ == TIMELINE_MAJOR_TYPE_TRACK) latest = std::max(latest, c->LatestStop());
      else latest = std::max(latest, c->stop_);
    }
    for (const auto& t : transitions_) latest = std::max(latest, t->stop_);
    return latest;
  }

  void Snap(GroupSnap* g) const {
    g->name = name_;
    g->video = type_.majortype == MEDIATYPE_Video;
    g->type = type_;
    g->fps = fps_;
    g->previewMode = preview_;
    g->buffering = buffering_;
    g->recompression = recomp_;
    for (const auto& t : children_) {
      TrackSnap ts;
      for (const auto& s : t->children_)
        ts.sources.push_back(
            SourceSnap{s->path_, s->start_, s->stop_, s->hasMediaTimes_, s->mstart_, s->mstop_});
      for (const auto& x : t->transitions_)
        ts.transitions.push_back(TransitionSnap{x->effect_, x->start_, x->stop_});
      auto byStart = [](const auto& a, const auto& b) { return a.start < b.start; };
      std::sort(ts.sources.begin(), ts.sources.end(), byStart);
      std::sort(ts.transitions.begin(), ts.transitions.end(), byStart);
      g->tracks.push_back(std::move(ts));
    }
  }

  LONG kind_;
  std::weak_ptr<TimelineCore> core_;
  Node* parent_ = nullptr;     // the track or group holding the node
  bool placedAsGroup_ = false;  // a group added to its timeline
  REFERENCE_TIME start_ = 0, stop_ = 0;
  GUID effect_{};
  // group
  std::string name_;
  MediaType type_;
  double fps_ = 15.0;
  bool preview_ = false;
  int buffering_ = 30;
  std::optional<MediaType> recomp_;
  std::vector<ComPtr<Node>> children_;     // group: tracks bottom first; track: sources
  std::vector<ComPtr<Node>> transitions_;  // track: transitions
  // source
  std::string path_;
  bool hasMediaTimes_ = false;
  REFERENCE_TIME mstart_ = 0, mstop_ = 0;

 private:
  HRESULT Place(IAMTimelineObj* obj, LONG kind, std::vector<ComPtr<Node>>& list) {
    Node* n = Own(obj);
    std::lock_guard lock(ModelLock());
    if (!n || n->kind_ != kind || n->parent_ || n == this) return E_INVALIDARG;
    if (n->core_.lock() != core_.lock()) return E_INVALIDARG;
    if (kind == TIMELINE_MAJOR_TYPE_TRANSITION && !des::FindTransition(n->effect_))
      return E_INVALIDARG;
    for (const auto& other : list)
      if (Overlap(n->start_, n->stop_, other->start_, other->stop_)) return E_INVALIDARG;
    list.push_back(ComPtr<Node>(n));
    n->parent_ = this;
    return S_OK;
  }
};

struct TimelineCore {
  IAMTimeline* self = nullptr;  // cleared when the timeline object goes
  std::vector<ComPtr<Node>> groups;
  bool transitions = true;
};

class Timeline final : public ComObject<IAMTimeline> {
 public:
  Timeline() : core_(std::make_shared<TimelineCore>()) { core_->self = this; }
  ~Timeline() override {
    std::vector<ComPtr<Node>> groups;
    {
      std::lock_guard lock(ModelLock());
      core_->self = nullptr;
      groups.swap(core_->groups);
      for (auto& g : groups) g->placedAsGroup_ = false;
    }
  }

  HRESULT CreateEmptyNode(IAMTimelineObj** node, LONG type) override {
    if (!node) return E_POINTER;
    *node = nullptr;
    if (type != TIMELINE_MAJOR_TYPE_GROUP && type != TIMELINE_MAJOR_TYPE_TRACK &&
        type != TIMELINE_MAJOR_TYPE_SOURCE && type != TIMELINE_MAJOR_TYPE_TRANSITION)
      return E_INVALIDARG;
    *node = MakeComObject<Node>(type, core_).Detach();
    return S_OK;
  }
  HRESULT AddGroup(IAMTimelineObj* group) override {
    Node* g = Node::Own(group);
    std::lock_guard lock(ModelLock());
    if (!g || g->kind_ != TIMELINE_MAJOR_TYPE_GROUP || g->placedAsGroup_ ||
        g->core_.lock() != core_)
      return E_INVALIDARG;
    core_->groups.push_back(ComPtr<Node>(g));
    g->placedAsGroup_ = true;
    return S_OK;
  }
  HRESULT GetGroupCount(LONG* count) override {
    if (!count) return E_POINTER;
    std::lock_guard lock(ModelLock());
    *count = static_cast<LONG>(core_->groups.size());
    return S_OK;
  }
  HRESULT GetGroup(IAMTimelineObj** group, LONG index) override {
    if (!group) return E_POINTER;
    *group = nullptr;
    std::lock_guard lock(ModelLock());
    if (index < 0 || index >= static_cast<LONG>(core_->groups.size())) return E_INVALIDARG;
    Node* g = core_->groups[static_cast<size_t>(index)].Get();
    g->AddRef();
    *group = g;
    return S_OK;
  }
  HRESULT EnableTransitions(LONG enabled) override {
    std::lock_guard lock(ModelLock());
    core_->transitions = enabled != 0;
    return S_OK;
  }
  HRESULT TransitionsEnabled(LONG* enabled) override {
    if (!enabled) return E_POINTER;
    std::lock_guard lock(ModelLock());
    *enabled = core_->transitions ? 1 : 0;
    return S_OK;
  }
  HRESULT GetDuration(REFERENCE_TIME* duration) override {
    if (!duration) return E_POINTER;
    std::lock_guard lock(ModelLock());
    *duration = DurationLocked();
    return S_OK;
  }
  HRESULT GetDuration2(double* duration) override {
    if (!duration) return E_POINTER;
    REFERENCE_TIME d = 0;
    GetDuration(&d);
    *duration = SecondsFromTicks(d);
    return S_OK;
  }

  REFERENCE_TIME DurationLocked() const {
    REFERENCE_TIME d = 0;
    for (const auto& g : core_->groups) d = std::max(d, g->LatestStop());
    return d;
  }

  void Snap(TimelineSnap* out) const {
    std::lock_guard lock(ModelLock());
    out->transitionsEnabled = core_->transitions;
    out->duration = DurationLocked();
    out->groups.clear();
    for (const auto& g : core_->groups) {
      GroupSnap gs;
      g->Snap(&gs);
      out->groups.push_back(std::move(gs));
    }
  }

  const std::shared_ptr<TimelineCore>& Core() const { return core_; }

 private:
  std::shared_ptr<TimelineCore> core_;
};

HRESULT Node::GetTimelineNoRef(IAMTimeline** timeline) {
  if (!timeline) return E_POINTER;
  std::lock_guard lock(ModelLock());
  auto core = core_.lock();
  *timeline = core ? core->self : nullptr;
  return *timeline ? S_OK : E_NOINTERFACE;
}

HRESULT Node::GetPriority(LONG* index) {
  if (!index) return E_POINTER;
  std::lock_guard lock(ModelLock());
  *index = -1;
  if (auto core = core_.lock())
    for (size_t i = 0; i < core->groups.size(); ++i)
      if (core->groups[i].Get() == this) *index = static_cast<LONG>(i);
  return S_OK;
}

HRESULT Node::SetRecompFormatFromSource(IAMTimelineSrc* source) {
  if (!source) return E_INVALIDARG;
  Node* src = Own(source);
  std::string path;
  bool video = true;
  {
    std::lock_guard lock(ModelLock());
    if (!src || src->kind_ != TIMELINE_MAJOR_TYPE_SOURCE || src->path_.empty())
      return E_INVALIDARG;
    path = src->path_;
    video = type_.majortype == MEDIATYPE_Video;
  }
  MediaType mt;
  if (HRESULT hr = StreamTypeOfFile(path, video, &mt); FAILED(hr)) return hr;
  std::lock_guard lock(ModelLock());
  recomp_ = mt;
  return S_OK;
}

}  // namespace

namespace des_detail {

HRESULT SnapshotTimeline(IUnknown* timeline, TimelineSnap* out) {
  if (!timeline || !out) return E_POINTER;
  ComPtr<IAMTimeline> tl;
  if (FAILED(timeline->QueryInterface(IAMTimeline::iid, tl.put_void()))) return E_NOINTERFACE;
  auto* own = dynamic_cast<Timeline*>(tl.Get());
  if (!own) return E_NOINTERFACE;
  own->Snap(out);
  return S_OK;
}

HRESULT CreateTimelineObject(REFIID riid, void** ppv) {
  return MakeComObject<Timeline>()->QueryInterface(riid, ppv);
}

}  // namespace des_detail
