// Filters, samples and allocators, the transform bases.
#include <algorithm>
#include <chrono>
#include <cstring>

#include <QCoreApplication>
#include <QThread>

#include "com/com.h"
#include "dshow/baseclasses.h"
#include "forms/qt/hwnd_qt.h"

namespace dshow {

// --- Samples and allocator ---------------------------------------------------------------

struct MemAllocator::Pool {
  std::mutex lock;
  ALLOCATOR_PROPERTIES props;
  bool committed = false;
  std::vector<std::vector<uint8_t>> free;
};

namespace {

class MediaSample : public ComObject<IMediaSample2> {
 public:
  MediaSample(std::shared_ptr<MemAllocator::Pool> pool, std::vector<uint8_t> buffer)
      : pool_(std::move(pool)), buffer_(std::move(buffer)) {}

  HRESULT QueryOther(REFIID riid, void** ppv) override {
    if (riid == IMediaSample::iid) {
      *ppv = static_cast<IMediaSample*>(this);
      AddRef();
      return S_OK;
    }
    return E_NOINTERFACE;
  }
  HRESULT GetPointer(BYTE** buffer) override {
    if (!buffer) return E_POINTER;
    *buffer = buffer_.data();
    return S_OK;
  }
  LONG GetSize() override { return static_cast<LONG>(buffer_.size()); }
  HRESULT GetTime(REFERENCE_TIME* start, REFERENCE_TIME* stop) override {
    if (!hasStart_) return VFW_E_SAMPLE_TIME_NOT_SET;
    if (start) *start = start_;
    if (!hasStop_) {
      if (stop) *stop = start_ + 1;
      return VFW_S_NO_STOP_TIME;
    }
    if (stop) *stop = stop_;
    return S_OK;
  }
  HRESULT SetTime(const REFERENCE_TIME* start, const REFERENCE_TIME* stop) override {
    hasStart_ = start != nullptr;
    hasStop_ = start && stop;
    if (start) start_ = *start;
    if (stop) stop_ = *stop;
    return S_OK;
  }
  HRESULT IsSyncPoint() override { return sync_ ? S_OK : S_FALSE; }
  HRESULT SetSyncPoint(bool sync) override { sync_ = sync; return S_OK; }
  HRESULT IsPreroll() override { return preroll_ ? S_OK : S_FALSE; }
  HRESULT SetPreroll(bool preroll) override { preroll_ = preroll; return S_OK; }
  LONG GetActualDataLength() override { return actual_; }
  HRESULT SetActualDataLength(LONG length) override {
    if (length < 0 || static_cast<size_t>(length) > buffer_.size()) return VFW_E_BUFFER_OVERFLOW;
    actual_ = length;
    return S_OK;
  }
  HRESULT GetMediaType(AM_MEDIA_TYPE** ppType) override {
    if (!ppType) return E_POINTER;
    *ppType = nullptr;
    if (!type_) return S_FALSE;
    *ppType = CreateMediaType(type_.get());
    return *ppType ? S_OK : E_OUTOFMEMORY;
  }
  HRESULT SetMediaType(const AM_MEDIA_TYPE* pType) override {
    if (pType) type_ = std::make_unique<MediaType>(*pType);
    else type_.reset();
    return S_OK;
  }
  HRESULT IsDiscontinuity() override { return discontinuity_ ? S_OK : S_FALSE; }
  HRESULT SetDiscontinuity(bool d) override { discontinuity_ = d; return S_OK; }
  HRESULT GetMediaTime(int64_t* start, int64_t* stop) override {
    if (!hasMediaTime_) return VFW_E_MEDIA_TIME_NOT_SET;
    if (start) *start = mediaStart_;
    if (stop) *stop = mediaStop_;
    return S_OK;
  }
  HRESULT SetMediaTime(const int64_t* start, const int64_t* stop) override {
    hasMediaTime_ = start && stop;
    if (start) mediaStart_ = *start;
    if (stop) mediaStop_ = *stop;
    return S_OK;
  }
  HRESULT GetProperties(DWORD cb, BYTE* out) override {
    if (!out) return E_POINTER;
    AM_SAMPLE2_PROPERTIES p;
    p.lActual = actual_;
    p.tStart = start_;
    p.tStop = stop_;
    p.dwStreamId = streamId_;
    p.pbBuffer = buffer_.data();
    p.cbBuffer = static_cast<LONG>(buffer_.size());
    std::memcpy(out, &p, std::min<size_t>(cb, sizeof p));
    return S_OK;
  }
  HRESULT SetProperties(DWORD cb, const BYTE* in) override {
    if (!in) return E_POINTER;
    AM_SAMPLE2_PROPERTIES p;
    std::memcpy(&p, in, std::min<size_t>(cb, sizeof p));
    if (cb >= offsetof(AM_SAMPLE2_PROPERTIES, pMediaType)) streamId_ = p.dwStreamId;
    return S_OK;
  }

 protected:
  void FinalRelease() override {
    std::lock_guard lock(pool_->lock);
    if (pool_->committed && buffer_.size() == static_cast<size_t>(pool_->props.cbBuffer) &&
        pool_->free.size() < 64)
      pool_->free.push_back(std::move(buffer_));
  }

 private:
  std::shared_ptr<MemAllocator::Pool> pool_;
  std::vector<uint8_t> buffer_;
  LONG actual_ = 0;
  REFERENCE_TIME start_ = 0, stop_ = 0;
  int64_t mediaStart_ = 0, mediaStop_ = 0;
  bool hasStart_ = false, hasStop_ = false, hasMediaTime_ = false;
  bool sync_ = false, preroll_ = false, discontinuity_ = false;
  DWORD streamId_ = AM_STREAM_MEDIA;
  std::unique_ptr<MediaType> type_;
};

}  // namespace

MemAllocator::MemAllocator() : pool_(std::make_shared<Pool>()) {}

HRESULT MemAllocator::SetProperties(ALLOCATOR_PROPERTIES* request, ALLOCATOR_PROPERTIES* actual) {
  if (!request || !actual) return E_POINTER;
  if (request->cbBuffer < 0 || request->cBuffers < 0) return E_INVALIDARG;
  std::lock_guard lock(pool_->lock);
  pool_->props = *request;
  if (pool_->props.cBuffers < 1) pool_->props.cBuffers = 1;
  if (pool_->props.cbAlign < 1) pool_->props.cbAlign = 1;
  pool_->free.clear();
  *actual = pool_->props;
  return S_OK;
}

HRESULT MemAllocator::GetProperties(ALLOCATOR_PROPERTIES* props) {
  if (!props) return E_POINTER;
  std::lock_guard lock(pool_->lock);
  *props = pool_->props;
  return S_OK;
}

HRESULT MemAllocator::Commit() {
  std::lock_guard lock(pool_->lock);
  pool_->committed = true;
  return S_OK;
}

HRESULT MemAllocator::Decommit() {
  std::lock_guard lock(pool_->lock);
  pool_->committed = false;
  pool_->free.clear();
  return S_OK;
}

HRESULT MemAllocator::GetSizedBuffer(IMediaSample** sample, LONG size) {
  if (!sample) return E_POINTER;
  *sample = nullptr;
  std::vector<uint8_t> buffer;
  {
    std::lock_guard lock(pool_->lock);
    if (!pool_->committed) return VFW_E_NOT_COMMITTED;
    if (size <= pool_->props.cbBuffer) {
      size = pool_->props.cbBuffer;
      if (!pool_->free.empty()) {
        buffer = std::move(pool_->free.back());
        pool_->free.pop_back();
      }
    }
  }
  try {
    if (buffer.size() != static_cast<size_t>(size)) buffer.resize(static_cast<size_t>(size));
    *sample = MakeComObject<MediaSample>(pool_, std::move(buffer)).Detach();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  return S_OK;
}

HRESULT MemAllocator::GetBuffer(IMediaSample** sample, REFERENCE_TIME*, REFERENCE_TIME*, DWORD) {
  return GetSizedBuffer(sample, 0);
}

HRESULT MemAllocator::ReleaseBuffer(IMediaSample*) { return S_OK; }

HRESULT AllocateSample(IMemAllocator* allocator, LONG size, IMediaSample** sample) {
  if (!allocator || !sample) return E_POINTER;
  if (auto* ours = dynamic_cast<MemAllocator*>(allocator)) return ours->GetSizedBuffer(sample, size);
  HRESULT hr = allocator->GetBuffer(sample, nullptr, nullptr, 0);
  if (FAILED(hr)) return hr;
  if ((*sample)->GetSize() < size) {
    (*sample)->Release();
    *sample = nullptr;
    return VFW_E_BUFFER_OVERFLOW;
  }
  return S_OK;
}

HRESULT CopySample(IMediaSample* from, IMediaSample* to) {
  BYTE* src = nullptr;
  BYTE* dst = nullptr;
  from->GetPointer(&src);
  to->GetPointer(&dst);
  LONG n = from->GetActualDataLength();
  if (n > to->GetSize()) return VFW_E_BUFFER_OVERFLOW;
  if (n > 0) std::memcpy(dst, src, static_cast<size_t>(n));
  to->SetActualDataLength(n);
  REFERENCE_TIME s, e;
  HRESULT hr = from->GetTime(&s, &e);
  if (hr == S_OK) to->SetTime(&s, &e);
  else if (hr == VFW_S_NO_STOP_TIME) to->SetTime(&s, nullptr);
  to->SetSyncPoint(from->IsSyncPoint() == S_OK);
  to->SetPreroll(from->IsPreroll() == S_OK);
  to->SetDiscontinuity(from->IsDiscontinuity() == S_OK);
  AM_MEDIA_TYPE* mt = nullptr;
  if (from->GetMediaType(&mt) == S_OK && mt) {
    to->SetMediaType(mt);
    DeleteMediaType(mt);
  }
  return S_OK;
}

// --- Pin enumerator -------------------------------------------------------------------------

namespace {

class PinEnum : public ComObject<IEnumPins> {
 public:
  PinEnum(Filter* filter, size_t pos = 0) : filter_(filter), keep_(filter), pos_(pos) {
    for (int i = 0; i < filter->PinCount(); ++i) pins_.emplace_back(filter->GetPin(i));
  }
  HRESULT Next(ULONG count, IPin** out, ULONG* fetched) override {
    if (!out) return E_POINTER;
    ULONG n = 0;
    while (n < count && pos_ < pins_.size()) {
      out[n] = pins_[pos_++].Get();
      out[n]->AddRef();
      ++n;
    }
    if (fetched) *fetched = n;
    return n == count ? S_OK : S_FALSE;
  }
  HRESULT Skip(ULONG count) override {
    pos_ += count;
    if (pos_ > pins_.size()) { pos_ = pins_.size(); return S_FALSE; }
    return S_OK;
  }
  HRESULT Reset() override {
    // Pins may have come or gone (a spare input, a further tee output): take them afresh.
    pins_.clear();
    for (int i = 0; i < filter_->PinCount(); ++i) pins_.emplace_back(filter_->GetPin(i));
    pos_ = 0;
    return S_OK;
  }
  HRESULT Clone(IEnumPins** ppEnum) override {
    if (!ppEnum) return E_POINTER;
    *ppEnum = MakeComObject<PinEnum>(filter_, pos_).Detach();
    return S_OK;
  }

 private:
  Filter* filter_;
  ComPtr<IBaseFilter> keep_;
  std::vector<ComPtr<IPin>> pins_;
  size_t pos_;
};

std::mutex gPumpLock;
std::function<void()> gPump;

}  // namespace

void SetStreamingWaitPump(std::function<void()> pump) {
  std::lock_guard lock(gPumpLock);
  gPump = std::move(pump);
}

void RunStreamingWaitPump() {
  std::function<void()> pump;
  {
    std::lock_guard lock(gPumpLock);
    pump = gPump;
  }
  if (pump) {
    pump();
    return;
  }
  // By default: a streaming thread waiting in a synchronous message to a window of this thread
  // gets its answer.
  if (QCoreApplication::instance() && QThread::currentThread() == QCoreApplication::instance()->thread())
    forms_detail::DrainThreadMessages();
}

void EndStreamingThread(std::thread& thread, const std::atomic<bool>& done) {
  if (!thread.joinable()) return;
  const std::thread::id id = thread.get_id();
  while (!done) {
    forms_detail::ReleaseSendersFrom(id);
    RunStreamingWaitPump();
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  // A message answered while waiting may have stopped the graph again, which ended and joined
  // the thread already.
  if (thread.joinable()) thread.join();
}

// --- Filter ---------------------------------------------------------------------------------

Filter::Filter(std::u16string defaultName, const CLSID& clsid)
    : name_(defaultName), defaultName_(std::move(defaultName)), clsid_(clsid) {}

Filter::~Filter() = default;

HRESULT Filter::QueryOther(REFIID riid, void** ppv) {
  if (riid != IMediaFilter::iid && riid != IPersist::iid) return E_NOINTERFACE;
  *ppv = static_cast<IBaseFilter*>(this);
  AddRef();
  return S_OK;
}

HRESULT Filter::GetClassID(CLSID* clsid) {
  if (!clsid) return E_POINTER;
  *clsid = clsid_;
  return S_OK;
}

HRESULT Filter::Stop() {
  if (state_ == State_Stopped) return S_OK;
  stopping_ = true;
  WakeWaiters();
  for (int i = 0; i < PinCount(); ++i)
    if (Pin* p = GetPin(i); p && p->IsConnected()) p->Inactive();
  HRESULT hr = OnStop();
  {
    std::lock_guard lock(stateLock_);
    state_ = State_Stopped;
    stopping_ = false;
  }
  WakeWaiters();
  return hr;
}

HRESULT Filter::Pause() {
  if (state_ == State_Stopped) {
    stopping_ = false;
    cued_ = false;
    for (int i = 0; i < PinCount(); ++i)
      if (Pin* p = GetPin(i); p && p->IsConnected()) {
        HRESULT hr = p->Active();
        if (FAILED(hr)) return hr;
      }
  }
  HRESULT hr = OnPause();
  if (FAILED(hr)) return hr;
  {
    std::lock_guard lock(stateLock_);
    state_ = State_Paused;
  }
  WakeWaiters();
  return S_OK;
}

HRESULT Filter::Run(REFERENCE_TIME tStart) {
  if (state_ == State_Stopped) {
    HRESULT hr = Pause();
    if (FAILED(hr)) return hr;
  }
  {
    std::lock_guard lock(stateLock_);
    start_ = tStart;
  }
  HRESULT hr = OnRun(tStart);
  if (FAILED(hr)) return hr;
  {
    std::lock_guard lock(stateLock_);
    state_ = State_Running;
  }
  WakeWaiters();
  return S_OK;
}

void Filter::BeginStop() {
  stopping_ = true;
  WakeWaiters();
}

HRESULT Filter::GetState(DWORD, FILTER_STATE* state) {
  if (!state) return E_POINTER;
  *state = state_;
  return S_OK;
}

HRESULT Filter::SetSyncSource(IReferenceClock* clock) {
  std::lock_guard lock(stateLock_);
  clock_ = clock;
  return S_OK;
}

HRESULT Filter::GetSyncSource(IReferenceClock** clock) {
  if (!clock) return E_POINTER;
  std::lock_guard lock(stateLock_);
  *clock = clock_.Get();
  if (*clock) (*clock)->AddRef();
  return S_OK;
}

HRESULT Filter::EnumPins(IEnumPins** ppEnum) {
  if (!ppEnum) return E_POINTER;
  *ppEnum = MakeComObject<PinEnum>(this).Detach();
  return S_OK;
}

HRESULT Filter::FindPin(const char16_t* id, IPin** ppPin) {
  if (!id || !ppPin) return E_POINTER;
  *ppPin = nullptr;
  for (int i = 0; i < PinCount(); ++i) {
    Pin* p = GetPin(i);
    if (p && p->Name() == id) {
      *ppPin = p;
      p->AddRef();
      return S_OK;
    }
  }
  return VFW_E_NOT_FOUND;
}

HRESULT Filter::QueryFilterInfo(FILTER_INFO* info) {
  if (!info) return E_POINTER;
  info->achName = name_;
  info->pGraph = graph_;
  if (graph_) graph_->AddRef();
  return S_OK;
}

HRESULT Filter::JoinFilterGraph(IFilterGraph* graph, const char16_t* name) {
  std::lock_guard lock(stateLock_);
  graph_ = graph;
  services_ = graph ? dynamic_cast<GraphServices*>(graph) : nullptr;
  name_ = name && *name ? std::u16string(name) : (graph ? defaultName_ : name_);
  return S_OK;
}

HRESULT Filter::QueryVendorInfo(char16_t**) { return E_NOTIMPL; }

HRESULT Filter::Receive(Pin*, IMediaSample*) { return S_OK; }
HRESULT Filter::EndOfStream(Pin*) { return S_OK; }
HRESULT Filter::BeginFlush(Pin*) { return S_OK; }
HRESULT Filter::EndFlush(Pin*) { return S_OK; }
HRESULT Filter::NewSegment(Pin*, REFERENCE_TIME, REFERENCE_TIME, double) { return S_OK; }

void Filter::NotifyEvent(LONG code, LONG_PTR param1, LONG_PTR param2) {
  if (GraphServices* services = services_) {
    services->PostEvent(code, param1, param2);
    return;
  }
  IFilterGraph* graph = graph_;
  if (!graph) return;
  ComPtr<IMediaEventSink> sink;
  if (SUCCEEDED(graph->QueryInterface(IMediaEventSink::iid, sink.put_void())) && sink)
    sink->Notify(code, param1, param2);
}

bool Filter::WaitFor(std::unique_lock<std::mutex>& lock, const std::function<bool()>& pred,
                     int64_t maxWaitMicroseconds) {
  auto abort = [&] { return stopping_ || state_ == State_Stopped; };
  if (maxWaitMicroseconds < 0) {
    stateChanged_.wait(lock, [&] { return pred() || abort(); });
  } else {
    stateChanged_.wait_for(lock, std::chrono::microseconds(maxWaitMicroseconds),
                           [&] { return pred() || abort(); });
  }
  return pred();
}

// --- TransformFilter ------------------------------------------------------------------------

namespace {

class TransformInputPin : public Pin {
 public:
  TransformInputPin(TransformFilter* f) : Pin(f, u"XForm In", PINDIR_INPUT), t_(f) {}
  HRESULT CheckMediaType(const AM_MEDIA_TYPE& mt) override { return t_->CheckInputType(mt); }

 private:
  TransformFilter* t_;
};

class TransformOutputPin : public Pin {
 public:
  TransformOutputPin(TransformFilter* f) : Pin(f, u"XForm Out", PINDIR_OUTPUT), t_(f) {}
  HRESULT CheckMediaType(const AM_MEDIA_TYPE& mt) override {
    if (!t_->Input()->IsConnected()) return VFW_E_NOT_CONNECTED;
    return t_->CheckTransform(t_->Input()->CurrentType(), mt);
  }
  HRESULT GetMediaType(int position, MediaType* mt) override {
    if (position < 0) return E_INVALIDARG;
    if (!t_->Input()->IsConnected()) return VFW_S_NO_MORE_ITEMS;
    return t_->GetOutputType(position, mt);
  }
  HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* props) override {
    if (props->cBuffers < 2) props->cBuffers = 2;
    props->cbBuffer = std::max<LONG>(props->cbBuffer, t_->OutputBufferSize());
    ALLOCATOR_PROPERTIES actual;
    return allocator->SetProperties(props, &actual);
  }

 private:
  TransformFilter* t_;
};

}  // namespace

TransformFilter::TransformFilter(std::u16string name, const CLSID& clsid)
    : Filter(std::move(name), clsid),
      input_(std::make_unique<TransformInputPin>(this)),
      output_(std::make_unique<TransformOutputPin>(this)) {}

Pin* TransformFilter::GetPin(int index) {
  if (index == 0) return input_.get();
  if (index == 1) return output_.get();
  return nullptr;
}

HRESULT TransformFilter::EndOfStream(Pin*) {
  Drain();
  return output_->IsConnected() ? output_->DeliverEndOfStream() : S_OK;
}

HRESULT TransformFilter::BeginFlush(Pin*) {
  return output_->IsConnected() ? output_->DeliverBeginFlush() : S_OK;
}

HRESULT TransformFilter::EndFlush(Pin*) {
  Reset();
  return output_->IsConnected() ? output_->DeliverEndFlush() : S_OK;
}

HRESULT TransformFilter::NewSegment(Pin*, REFERENCE_TIME s, REFERENCE_TIME e, double rate) {
  return output_->IsConnected() ? output_->DeliverNewSegment(s, e, rate) : S_OK;
}

// --- In-place transform ------------------------------------------------------------------

InPlaceInputPin::InPlaceInputPin(InPlaceTransformFilter* filter, std::u16string name)
    : Pin(filter, std::move(name), PINDIR_INPUT), transform_(filter) {}

HRESULT InPlaceInputPin::CheckMediaType(const AM_MEDIA_TYPE& mt) {
  HRESULT hr = transform_->CheckInputType(mt);
  if (hr != S_OK) return hr;
  Pin* out = transform_->OutputPin();
  if (out->IsConnected()) {
    ComPtr<IPin> down = out->Peer();
    if (down && down->QueryAccept(&mt) != S_OK) return VFW_E_TYPE_NOT_ACCEPTED;
  }
  return S_OK;
}

HRESULT InPlaceInputPin::EnumMediaTypes(IEnumMediaTypes** ppEnum) {
  if (!ppEnum) return E_POINTER;
  Pin* out = transform_->OutputPin();
  if (out->IsConnected()) {
    ComPtr<IPin> down = out->Peer();
    if (down) return down->EnumMediaTypes(ppEnum);
  }
  return Pin::EnumMediaTypes(ppEnum);
}

HRESULT InPlaceInputPin::GetAllocator(IMemAllocator** allocator) {
  if (!allocator) return E_POINTER;
  *allocator = nullptr;
  Pin* out = transform_->OutputPin();
  if (out->IsConnected()) {
    ComPtr<IPin> down = out->Peer();
    ComPtr<IMemInputPin> input;
    if (down && SUCCEEDED(down->QueryInterface(IMemInputPin::iid, input.put_void())))
      return input->GetAllocator(allocator);
  }
  return VFW_E_NO_ALLOCATOR;
}

HRESULT InPlaceInputPin::NotifyAllocator(IMemAllocator* allocator, bool readOnly) {
  if (!allocator) return E_POINTER;
  std::lock_guard lock(pinLock_);
  allocator_ = allocator;
  readOnly_ = readOnly;
  return S_OK;
}

HRESULT InPlaceInputPin::CompleteConnect(IPin* peer) {
  HRESULT hr = Pin::CompleteConnect(peer);
  if (FAILED(hr)) return hr;
  // An output connected before the input: make its type agree with the input's.
  Pin* out = transform_->OutputPin();
  if (out->IsConnected()) {
    MediaType now = CurrentType();
    MediaType before = out->CurrentType();
    if (!MediaTypesEqual(now, before)) {
      ComPtr<IPin> down = out->Peer();
      if (down && down->QueryAccept(&now) != S_OK) return VFW_E_TYPE_NOT_ACCEPTED;
    }
  }
  return S_OK;
}

InPlaceOutputPin::InPlaceOutputPin(InPlaceTransformFilter* filter, std::u16string name)
    : Pin(filter, std::move(name), PINDIR_OUTPUT), transform_(filter) {}

HRESULT InPlaceOutputPin::CheckMediaType(const AM_MEDIA_TYPE& mt) {
  Pin* in = transform_->InputPin();
  if (!in->IsConnected()) return VFW_E_NOT_CONNECTED;
  MediaType inType = in->CurrentType();
  if (!MediaTypesEqual(inType, mt)) return VFW_E_TYPE_NOT_ACCEPTED;
  return S_OK;
}

HRESULT InPlaceOutputPin::GetMediaType(int position, MediaType* mt) {
  if (position < 0) return E_INVALIDARG;
  Pin* in = transform_->InputPin();
  if (position > 0 || !in->IsConnected()) return VFW_S_NO_MORE_ITEMS;
  *mt = in->CurrentType();
  return S_OK;
}

HRESULT InPlaceOutputPin::EnumMediaTypes(IEnumMediaTypes** ppEnum) {
  if (!ppEnum) return E_POINTER;
  Pin* in = transform_->InputPin();
  if (!in->IsConnected()) return VFW_E_NOT_CONNECTED;
  return Pin::EnumMediaTypes(ppEnum);
}

HRESULT InPlaceOutputPin::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* props) {
  ALLOCATOR_PROPERTIES upstream;
  IMemAllocator* inAlloc = transform_->InputPin()->Allocator();
  if (inAlloc && SUCCEEDED(inAlloc->GetProperties(&upstream))) {
    props->cBuffers = std::max(props->cBuffers, upstream.cBuffers);
    props->cbBuffer = std::max(props->cbBuffer, upstream.cbBuffer);
  }
  if (props->cbBuffer < 1) props->cbBuffer = 65536;
  if (props->cBuffers < 1) props->cBuffers = 1;
  ALLOCATOR_PROPERTIES actual;
  return allocator->SetProperties(props, &actual);
}

HRESULT InPlaceOutputPin::CompleteConnect(IPin* peer) {
  HRESULT hr = Pin::CompleteConnect(peer);
  if (FAILED(hr)) return hr;
  // Samples pass through: when the input already has its upstream allocator, downstream is given
  // that one (if it takes it), so that no sample needs copying on the way. A filter that changes
  // the data keeps its own buffers when upstream's are read-only.
  InPlaceInputPin* in = transform_->InputPin();
  ComPtr<IMemAllocator> upstream(in->Allocator());
  if (!upstream || upstream.Get() == Allocator() || (transform_->ModifiesData() && in->ReadOnly())) return S_OK;
  ComPtr<IMemInputPin> down;
  if (!peer || FAILED(peer->QueryInterface(IMemInputPin::iid, down.put_void())) || !down) return S_OK;
  if (SUCCEEDED(down->NotifyAllocator(upstream.Get(), in->ReadOnly()))) {
    std::lock_guard lock(pinLock_);
    allocator_ = upstream;
  }
  return S_OK;
}

InPlaceTransformFilter::InPlaceTransformFilter(std::u16string name, const CLSID& clsid,
                                               bool modifiesData)
    : Filter(std::move(name), clsid), modifiesData_(modifiesData) {}

InPlaceInputPin* InPlaceTransformFilter::InputPin() {
  if (!input_) input_ = std::make_unique<InPlaceInputPin>(this);
  return input_.get();
}

InPlaceOutputPin* InPlaceTransformFilter::OutputPin() {
  if (!output_) output_ = std::make_unique<InPlaceOutputPin>(this);
  return output_.get();
}

Pin* InPlaceTransformFilter::GetPin(int index) {
  if (index == 0) return InputPin();
  if (index == 1) return OutputPin();
  return nullptr;
}

bool InPlaceTransformFilter::UsingDifferentAllocators() {
  IMemAllocator* in = InputPin()->Allocator();
  IMemAllocator* out = OutputPin()->Allocator();
  return in != out;
}

IMediaSample* InPlaceTransformFilter::Copy(IMediaSample* source) {
  IMediaSample* copy = nullptr;
  if (FAILED(OutputPin()->GetDeliveryBuffer(source->GetActualDataLength(), &copy)) || !copy)
    return nullptr;
  if (FAILED(CopySample(source, copy))) {
    copy->Release();
    return nullptr;
  }
  return copy;
}

HRESULT InPlaceTransformFilter::Receive(Pin*, IMediaSample* sample) {
  AM_SAMPLE2_PROPERTIES props;
  ComPtr<IMediaSample2> s2;
  if (SUCCEEDED(sample->QueryInterface(IMediaSample2::iid, s2.put_void())) && s2 &&
      SUCCEEDED(s2->GetProperties(sizeof props, reinterpret_cast<BYTE*>(&props))) &&
      props.dwStreamId != AM_STREAM_MEDIA) {
    return OutputPin()->IsConnected() ? OutputPin()->Deliver(sample) : S_OK;
  }
  ComPtr<IMediaSample> copy;
  IMediaSample* work = sample;
  if (UsingDifferentAllocators()) {
    copy = ComPtr<IMediaSample>::Attach(Copy(sample));
    if (!copy) return E_UNEXPECTED;
    work = copy.Get();
  }
  HRESULT hr = Transform(work);
  if (FAILED(hr)) return hr;
  if (!OutputPin()->IsConnected()) return S_OK;
  return OutputPin()->Deliver(work);
}

HRESULT InPlaceTransformFilter::EndOfStream(Pin*) {
  return OutputPin()->IsConnected() ? OutputPin()->DeliverEndOfStream() : S_OK;
}

HRESULT InPlaceTransformFilter::BeginFlush(Pin*) {
  return OutputPin()->IsConnected() ? OutputPin()->DeliverBeginFlush() : S_OK;
}

HRESULT InPlaceTransformFilter::EndFlush(Pin*) {
  return OutputPin()->IsConnected() ? OutputPin()->DeliverEndFlush() : S_OK;
}

HRESULT InPlaceTransformFilter::NewSegment(Pin*, REFERENCE_TIME s, REFERENCE_TIME e, double rate) {
  return OutputPin()->IsConnected() ? OutputPin()->DeliverNewSegment(s, e, rate) : S_OK;
}

}  // namespace dshow
