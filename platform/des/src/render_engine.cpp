// The render engines: one source filter per group of a timeline snapshot in a filter graph.
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <map>
#include <thread>

#include "com/com.h"
#include "com/object.h"
#include "dshow/avbridge.h"
#include "dshow/filters.h"
#include "dshow/interfaces.h"
#include "com/interfaces.h"
#include "dshow/baseclasses.h"
#include "dshow/uuids.h"
#include "graph_walk.h"
#include "group_renderer.h"
#include "smart_stream.h"
#include "timeline_model.h"

namespace des_detail {

namespace {

constexpr CLSID CLSID_GroupSource = MakeGuid("{7C1B3D20-5A4E-4F0B-9D8E-2E6F1A0B7C10}");

// Keeps the streaming groups of one front end within a second of one another: a group about to
// deliver further ahead waits for the others, so that a writer putting their samples in order
// holds little of the faster one. Only the group in front waits; one that stops or ends leaves.
class Pacer {
 public:
  static constexpr REFERENCE_TIME kWindow = 10000000;

  void Join(const void* group, REFERENCE_TIME t) {
    {
      std::lock_guard lock(lock_);
      at_[group] = t;
    }
    changed_.notify_all();
  }
  void Leave(const void* group) {
    {
      std::lock_guard lock(lock_);
      at_.erase(group);
    }
    changed_.notify_all();
  }
  // The group is about to deliver at t: waits while another group still streaming is more than
  // the window behind it, or until stop() says so.
  void Reach(const void* group, REFERENCE_TIME t, const std::function<bool()>& stop) {
    std::unique_lock lock(lock_);
    at_[group] = t;
    changed_.notify_all();
    auto ahead = [&] {
      for (const auto& [other, when] : at_)
        if (other != group && t - when > kWindow) return true;
      return false;
    };
    // The stop flag is also set by the graph's own stop, which does not wake this wait: it is
    // looked at now and then.
    while (ahead() && !stop()) changed_.wait_for(lock, std::chrono::milliseconds(50));
  }
  void Wake() { changed_.notify_all(); }

 private:
  std::mutex lock_;
  std::condition_variable changed_;
  std::map<const void*, REFERENCE_TIME> at_;
};

// A group's output: renders the group on its own delivery thread.
class GroupSource final : public dshow::Filter {
 public:
  GroupSource(const GroupSnap& group, const TimelineSnap& timeline, bool smart, std::shared_ptr<Pacer> pacer)
      : Filter(Utf8ToUtf16(group.name), CLSID_GroupSource),
        out_(this, u"Output"),
        pacer_(std::move(pacer)),
        group_(group),
        transitions_(timeline.transitionsEnabled),
        duration_(timeline.duration),
        smart_(smart && group.recompression.has_value() && group.video) {
    // The smart engine renders a group with a recompression format in that format.
    if (smart_) plan_ = PlanSmartGroup(&group_);
    out_.SetTypes({smart_ ? plan_.output : group_.type});
    if (group.video) {
      const VIDEOINFOHEADER* vih = VideoInfo(group_.type);
      out_.SetBufferSize(static_cast<LONG>(vih->bmiHeader.biSizeImage) + 1024);
    } else {
      out_.SetBufferSize(1 << 18);
    }
  }
  ~GroupSource() override { StopThread(); }

  int PinCount() override { return 1; }
  dshow::Pin* GetPin(int i) override { return i == 0 ? &out_ : nullptr; }
  REFERENCE_TIME SourceDuration() const override { return duration_; }
  HRESULT SetSourcePosition(REFERENCE_TIME t) override {
    position_ = std::clamp<REFERENCE_TIME>(t, 0, duration_);
    return S_OK;
  }

 protected:
  HRESULT OnPause() override {
    if (thread_.joinable()) return S_OK;
    if (!out_.IsConnected()) return S_OK;
    done_ = false;
    thread_ = std::thread([this] {
      Stream();
      done_ = true;
    });
    return S_OK;
  }
  HRESULT OnStop() override {
    StopThread();
    return S_OK;
  }

 private:
  bool ShouldStop() const { return stopRequested_ || stopping_; }

  void StopThread() {
    if (!thread_.joinable()) return;
    stopRequested_ = true;
    {
      std::lock_guard lock(rendererLock_);
      if (renderer_) renderer_->Abort();
    }
    pacer_->Wake();
    while (!done_) {
      dshow::RunStreamingWaitPump();
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    if (thread_.joinable()) thread_.join();
    stopRequested_ = false;
  }

  // A source that failed mid-stream ends the run with its reason.
  bool Failed(const GroupRenderer& renderer) {
    const HRESULT hr = renderer.Failure();
    if (SUCCEEDED(hr)) return false;
    if (!ShouldStop()) NotifyEvent(EC_ERRORABORT, hr, 0);
    return true;
  }

  // Delivers one sample; false when the stream ends here (stop, refusal, failure reported).
  bool Send(const uint8_t* data, size_t size, REFERENCE_TIME start, REFERENCE_TIME stop,
            bool sync) {
    pacer_->Reach(this, segment_ + start, [this] { return ShouldStop(); });
    if (ShouldStop()) return false;
    IMediaSample* sample = nullptr;
    HRESULT hr = out_.GetDeliveryBuffer(static_cast<LONG>(size), &sample);
    if (FAILED(hr)) {
      if (!ShouldStop()) NotifyEvent(EC_ERRORABORT, hr, 0);
      return false;
    }
    BYTE* p = nullptr;
    sample->GetPointer(&p);
    std::memcpy(p, data, size);
    sample->SetActualDataLength(static_cast<LONG>(size));
    sample->SetTime(&start, &stop);
    sample->SetSyncPoint(sync);
    hr = out_.Deliver(sample);
    sample->Release();
    if (hr == S_FALSE) return false;
    if (FAILED(hr)) {
      if (!ShouldStop() && hr != VFW_E_WRONG_STATE) NotifyEvent(EC_ERRORABORT, hr, 0);
      return false;
    }
    return true;
  }

  void Stream() {
    auto renderer = std::make_shared<GroupRenderer>(group_, transitions_, duration_);
    {
      std::lock_guard lock(rendererLock_);
      renderer_ = renderer;
    }
    const REFERENCE_TIME segment = position_;
    segment_ = segment;
    pacer_->Join(this, segment);
    out_.DeliverNewSegment(segment, duration_, 1.0);
    bool ended = false;
    if (smart_ && plan_.compressed) {
      SmartStream smart(group_, plan_, transitions_);
      ended = !smart.Run(
          *renderer, segment, [this] { return ShouldStop(); },
          [this](const uint8_t* d, size_t n, REFERENCE_TIME a, REFERENCE_TIME b, bool key) {
            return Send(d, n, a, b, key);
          },
          [this](HRESULT hr) {
            if (!ShouldStop()) NotifyEvent(EC_ERRORABORT, hr, 0);
          });
    } else if (group_.video) {
      MediaType type = out_.CurrentType();
      const VIDEOINFOHEADER* vih = VideoInfo(type);
      std::vector<uint8_t> packed(vih->bmiHeader.biSizeImage);
      std::vector<uint32_t> picture;
      const int64_t count = renderer->FrameCount();
      for (int64_t k = renderer->FirstFrameAtOrAfter(segment); k < count && !ended; ++k) {
        if (ShouldStop()) { ended = true; break; }
        const REFERENCE_TIME t = renderer->FrameTime(k);
        renderer->RenderPicture(t, picture);
        if (ShouldStop() || Failed(*renderer)) { ended = true; break; }
        PackPicture(picture, type, packed.data());
        const REFERENCE_TIME stop = std::min(renderer->FrameTime(k + 1), std::max(duration_, t + 1));
        if (!Send(packed.data(), packed.size(), t - segment, stop - segment, true)) ended = true;
      }
    } else {
      const size_t block = static_cast<size_t>(std::max(1, renderer->Rate() / 10));
      const size_t ch = static_cast<size_t>(renderer->Channels());
      std::vector<int16_t> pcm(block * ch);
      const int64_t total = renderer->SampleCount();
      MediaType type = out_.CurrentType();
      const WAVEFORMATEX* wf = WaveFormat(type);
      std::vector<uint8_t> bytes;
      for (int64_t i = renderer->SampleAt(segment); i < total && !ended;) {
        if (ShouldStop()) { ended = true; break; }
        const size_t n = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(block), total - i));
        renderer->RenderSound(i, n, pcm.data());
        if (ShouldStop() || Failed(*renderer)) { ended = true; break; }
        const uint8_t* data = reinterpret_cast<const uint8_t*>(pcm.data());
        size_t size = n * ch * sizeof(int16_t);
        if (wf && wf->wBitsPerSample == 8) {
          bytes.resize(n * ch);
          for (size_t j = 0; j < n * ch; ++j) bytes[j] = static_cast<uint8_t>((pcm[j] >> 8) + 128);
          data = bytes.data();
          size = bytes.size();
        }
        // No sample reaches past the duration: positions stay within it.
        const REFERENCE_TIME stop =
            std::min(renderer->SampleTime(i + static_cast<int64_t>(n)), std::max(duration_, renderer->SampleTime(i) + 1));
        if (!Send(data, size, renderer->SampleTime(i) - segment, stop - segment, true))
          ended = true;
        i += static_cast<int64_t>(n);
      }
    }
    {
      std::lock_guard lock(rendererLock_);
      renderer_.reset();
    }
    pacer_->Leave(this);
    if (!ended && !ShouldStop()) out_.DeliverEndOfStream();
  }

  dshow::OutputPin out_;
  std::shared_ptr<Pacer> pacer_;
  REFERENCE_TIME segment_ = 0;  // the running stream's segment start
  GroupSnap group_;
  bool transitions_;
  REFERENCE_TIME duration_;
  bool smart_;
  SmartPlan plan_;
  std::atomic<REFERENCE_TIME> position_{0};
  std::thread thread_;
  std::atomic<bool> done_{true};
  std::atomic<bool> stopRequested_{false};
  std::mutex rendererLock_;
  std::shared_ptr<GroupRenderer> renderer_;
};

const char* KindName(bool video) { return video ? "video" : "sound"; }

std::string OpenFailureText(const std::string& path, HRESULT hr, bool video) {
  if (hr == VFW_E_INVALIDMEDIATYPE)
    return "The file \"" + path + "\" has no " + KindName(video) + " stream.";
  return "The file \"" + path + "\" cannot be opened as a media file.";
}

class RenderEngine final : public ComObject<IRenderEngine> {
 public:
  explicit RenderEngine(bool smart) : smart_(smart) {}
  // The graph outlives the engine when its user still holds it (its last release stops it).
  ~RenderEngine() override = default;

  HRESULT SetTimelineObject(IAMTimeline* timeline) override {
    std::lock_guard lock(lock_);
    if (timeline) {
      TimelineSnap probe;
      if (FAILED(SnapshotTimeline(timeline, &probe))) return E_INVALIDARG;
    }
    if (timeline_.Get() != timeline) ScrapLocked();
    timeline_ = ComPtr<IAMTimeline>(timeline);
    return S_OK;
  }
  HRESULT GetTimelineObject(IAMTimeline** timeline) override {
    if (!timeline) return E_POINTER;
    std::lock_guard lock(lock_);
    *timeline = timeline_.Get();
    if (*timeline) (*timeline)->AddRef();
    return S_OK;
  }
  HRESULT GetFilterGraph(IGraphBuilder** graph) override {
    if (!graph) return E_POINTER;
    std::lock_guard lock(lock_);
    *graph = graph_.Get();
    if (!*graph) return E_UNEXPECTED;
    (*graph)->AddRef();
    return S_OK;
  }

  HRESULT ConnectFrontEnd() override {
    std::lock_guard lock(lock_);
    if (!timeline_) return E_UNEXPECTED;
    TimelineSnap snap;
    if (HRESULT hr = SnapshotTimeline(timeline_.Get(), &snap); FAILED(hr)) return hr;
    // Every file must open with a stream of its group's kind before anything is built; its size
    // now is what its readers expect to find.
    for (auto& g : snap.groups)
      for (auto& t : g.tracks)
        for (auto& s : t.sources) {
          struct stat info {};
          if (::stat(s.path.c_str(), &info) == 0) s.fileSize = info.st_size;
          MediaType mt;
          if (HRESULT hr = StreamTypeOfFile(s.path, g.video, &mt); FAILED(hr)) {
            RemoveGroupFilters();
            return ReportError(FAILED(hr) ? hr : E_FAIL, OpenFailureText(s.path, hr, g.video),
                               "RenderEngine", IRenderEngine::iid);
          }
        }
    RemoveGroupFilters();
    if (!graph_) {
      HRESULT hr = CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER,
                                    IGraphBuilder::iid, graph_.put_void());
      if (FAILED(hr)) return hr;
    }
    auto pacer = std::make_shared<Pacer>();
    for (const auto& g : snap.groups) {
      ComPtr<GroupSource> f = MakeComObject<GroupSource>(g, snap, smart_, pacer);
      HRESULT hr = graph_->AddFilter(f.Get(), Utf8ToUtf16(g.name).c_str());
      if (FAILED(hr)) {
        RemoveGroupFilters();
        return hr;
      }
      filters_.push_back(f);
    }
    return S_OK;
  }

  HRESULT RenderOutputPins() override {
    std::lock_guard lock(lock_);
    if (!graph_) return E_UNEXPECTED;
    HRESULT result = S_OK;
    for (auto& f : filters_) {
      dshow::Pin* pin = f->GetPin(0);
      if (pin->IsConnected()) continue;
      HRESULT hr = graph_->Render(pin);
      if (FAILED(hr) && SUCCEEDED(result)) result = hr;
    }
    return result;
  }

  HRESULT GetGroupOutputPin(LONG group, IPin** pin) override {
    if (!pin) return E_POINTER;
    *pin = nullptr;
    std::lock_guard lock(lock_);
    if (group < 0 || group >= static_cast<LONG>(filters_.size())) return E_INVALIDARG;
    dshow::Pin* p = filters_[static_cast<size_t>(group)]->GetPin(0);
    p->AddRef();
    *pin = p;
    return S_OK;
  }

  HRESULT ScrapIt() override {
    std::lock_guard lock(lock_);
    ScrapLocked();
    return S_OK;
  }

 private:
  void RemoveGroupFilters() {
    if (graph_) {
      // A running graph is stopped first, so that a writer downstream completes its file.
      ComPtr<IMediaControl> control;
      if (!filters_.empty() && SUCCEEDED(graph_->QueryInterface(IMediaControl::iid, control.put_void())))
        control->Stop();
      for (auto& f : filters_) graph_->RemoveFilter(f.Get());
    }
    filters_.clear();
  }

  void ScrapLocked() {
    if (graph_) {
      ComPtr<IMediaControl> control;
      if (SUCCEEDED(graph_->QueryInterface(IMediaControl::iid, control.put_void()))) control->Stop();
      for (auto& f : FiltersOf(graph_.Get())) graph_->RemoveFilter(f.Get());
    }
    filters_.clear();
    graph_ = nullptr;
  }

  bool smart_;
  std::mutex lock_;
  ComPtr<IAMTimeline> timeline_;
  ComPtr<IGraphBuilder> graph_;
  std::vector<ComPtr<GroupSource>> filters_;
};

}  // namespace

HRESULT CreateRenderEngine(bool smart, REFIID riid, void** ppv) {
  return MakeComObject<RenderEngine>(smart)->QueryInterface(riid, ppv);
}

}  // namespace des_detail
