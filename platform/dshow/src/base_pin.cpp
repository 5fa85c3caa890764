// Pins: connection with media-type negotiation, allocator agreement, delivery.
#include <cstring>

#include "com/com.h"
#include "dshow/baseclasses.h"

namespace dshow {

namespace {

char16_t* TaskString(const std::u16string& s) {
  auto* p = static_cast<char16_t*>(CoTaskMemAlloc((s.size() + 1) * sizeof(char16_t)));
  if (!p) return nullptr;
  std::memcpy(p, s.c_str(), (s.size() + 1) * sizeof(char16_t));
  return p;
}

class MediaTypeEnum : public ComObject<IEnumMediaTypes> {
 public:
  explicit MediaTypeEnum(std::shared_ptr<std::vector<MediaType>> types, size_t pos = 0)
      : types_(std::move(types)), pos_(pos) {}
  HRESULT Next(ULONG count, AM_MEDIA_TYPE** out, ULONG* fetched) override {
    if (!out) return E_POINTER;
    ULONG n = 0;
    while (n < count && pos_ < types_->size()) {
      out[n] = CreateMediaType(&(*types_)[pos_]);
      if (!out[n]) break;
      ++n;
      ++pos_;
    }
    if (fetched) *fetched = n;
    return n == count ? S_OK : S_FALSE;
  }
  HRESULT Skip(ULONG count) override {
    pos_ += count;
    if (pos_ > types_->size()) { pos_ = types_->size(); return S_FALSE; }
    return S_OK;
  }
  HRESULT Reset() override { pos_ = 0; return S_OK; }
  HRESULT Clone(IEnumMediaTypes** ppEnum) override {
    if (!ppEnum) return E_POINTER;
    *ppEnum = MakeComObject<MediaTypeEnum>(types_, pos_).Detach();
    return S_OK;
  }

 private:
  std::shared_ptr<std::vector<MediaType>> types_;
  size_t pos_;
};

}  // namespace

ComPtr<IEnumMediaTypes> MakeMediaTypeEnum(std::vector<MediaType> types) {
  return ComPtr<IEnumMediaTypes>(
      MakeComObject<MediaTypeEnum>(std::make_shared<std::vector<MediaType>>(std::move(types))).Get());
}

Pin::Pin(Filter* filter, std::u16string name, PIN_DIRECTION dir)
    : filter_(filter), name_(std::move(name)), dir_(dir) {}

Pin::~Pin() = default;

HRESULT Pin::QueryInterface(REFIID riid, void** ppv) {
  if (riid == IMemInputPin::iid && dir_ == PINDIR_OUTPUT) {
    if (ppv) *ppv = nullptr;
    return E_NOINTERFACE;
  }
  return ComObject::QueryInterface(riid, ppv);
}

ULONG Pin::AddRef() { return filter_->AddRef(); }
ULONG Pin::Release() { return filter_->Release(); }

bool Pin::IsConnected() const {
  std::lock_guard lock(pinLock_);
  return static_cast<bool>(peer_);
}

ComPtr<IPin> Pin::Peer() const {
  std::lock_guard lock(pinLock_);
  return peer_;
}

MediaType Pin::CurrentType() const {
  std::lock_guard lock(pinLock_);
  return mt_;
}

HRESULT Pin::Connect(IPin* receivePin, const AM_MEDIA_TYPE* pmt) {
  if (!receivePin) return E_POINTER;
  if (dir_ != PINDIR_OUTPUT) return E_UNEXPECTED;
  if (IsConnected()) return VFW_E_ALREADY_CONNECTED;
  if (filter_->State() != State_Stopped) return VFW_E_NOT_STOPPED;
  PIN_DIRECTION other;
  if (FAILED(receivePin->QueryDirection(&other)) || other != PINDIR_INPUT)
    return VFW_E_INVALID_DIRECTION;

  bool complete = pmt && pmt->majortype != GUID_NULL && pmt->subtype != GUID_NULL &&
                  pmt->formattype != GUID_NULL;
  if (complete) return AttemptConnection(receivePin, *pmt);

  HRESULT last = VFW_E_NO_ACCEPTABLE_TYPES;
  // Our own preferred types first, then the receiver's.
  for (int i = 0;; ++i) {
    MediaType mt;
    HRESULT hr = GetMediaType(i, &mt);
    if (hr != S_OK) break;
    if (pmt && !MediaTypeMatchesPartial(mt, *pmt)) continue;
    hr = AttemptConnection(receivePin, mt);
    if (SUCCEEDED(hr)) return hr;
    last = hr;
  }
  ComPtr<IEnumMediaTypes> e;
  if (SUCCEEDED(receivePin->EnumMediaTypes(e.put())) && e) {
    AM_MEDIA_TYPE* mt = nullptr;
    ULONG got = 0;
    while (e->Next(1, &mt, &got) == S_OK && got == 1) {
      MediaType owned(*mt);
      DeleteMediaType(mt);
      if (owned.majortype == GUID_NULL) continue;
      if (pmt && !MediaTypeMatchesPartial(owned, *pmt)) continue;
      HRESULT hr = AttemptConnection(receivePin, owned);
      if (SUCCEEDED(hr)) return hr;
      last = hr;
    }
  }
  return last == VFW_E_NO_ACCEPTABLE_TYPES || FAILED(last) ? VFW_E_NO_ACCEPTABLE_TYPES : last;
}

HRESULT Pin::AttemptConnection(IPin* receivePin, const AM_MEDIA_TYPE& mt) {
  HRESULT hr = CheckMediaType(mt);
  if (hr != S_OK) return FAILED(hr) ? hr : VFW_E_TYPE_NOT_ACCEPTED;
  {
    std::lock_guard lock(pinLock_);
    peer_ = receivePin;
    mt_ = mt;
  }
  hr = SetMediaType(mt);
  if (SUCCEEDED(hr)) hr = receivePin->ReceiveConnection(this, &mt);
  if (SUCCEEDED(hr)) {
    hr = CompleteConnect(receivePin);
    if (FAILED(hr)) receivePin->Disconnect();
  }
  if (FAILED(hr)) {
    ClearConnection();
    return hr;
  }
  filter_->PinConnected(this);
  return S_OK;
}

HRESULT Pin::ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* pmt) {
  if (!connector || !pmt) return E_POINTER;
  if (dir_ != PINDIR_INPUT) return E_UNEXPECTED;
  if (IsConnected()) return VFW_E_ALREADY_CONNECTED;
  if (filter_->State() != State_Stopped) return VFW_E_NOT_STOPPED;
  HRESULT hr = CheckMediaType(*pmt);
  if (hr != S_OK) return FAILED(hr) ? hr : VFW_E_TYPE_NOT_ACCEPTED;
  {
    std::lock_guard lock(pinLock_);
    peer_ = connector;
    mt_ = *pmt;
  }
  hr = SetMediaType(*pmt);
  if (SUCCEEDED(hr)) hr = CompleteConnect(connector);
  if (FAILED(hr)) {
    ClearConnection();
    return hr;
  }
  filter_->PinConnected(this);
  return S_OK;
}

void Pin::ClearConnection() {
  BreakConnect();
  std::lock_guard lock(pinLock_);
  peer_ = nullptr;
  peerInput_ = nullptr;
  allocator_ = nullptr;
  FreeMediaType(mt_);
  mt_ = MediaType();
}

HRESULT Pin::Disconnect() {
  if (filter_->State() != State_Stopped) return VFW_E_NOT_STOPPED;
  if (!IsConnected()) return S_FALSE;
  if (allocator_) allocator_->Decommit();
  ClearConnection();
  filter_->PinDisconnected(this);
  return S_OK;
}

HRESULT Pin::ConnectedTo(IPin** pin) {
  if (!pin) return E_POINTER;
  std::lock_guard lock(pinLock_);
  *pin = peer_.Get();
  if (!*pin) return VFW_E_NOT_CONNECTED;
  (*pin)->AddRef();
  return S_OK;
}

HRESULT Pin::ConnectionMediaType(AM_MEDIA_TYPE* pmt) {
  if (!pmt) return E_POINTER;
  std::lock_guard lock(pinLock_);
  if (!peer_) {
    *pmt = AM_MEDIA_TYPE();
    return VFW_E_NOT_CONNECTED;
  }
  return CopyMediaType(pmt, &mt_);
}

HRESULT Pin::QueryPinInfo(PIN_INFO* info) {
  if (!info) return E_POINTER;
  info->pFilter = filter_;
  filter_->AddRef();
  info->dir = dir_;
  info->achName = name_;
  return S_OK;
}

HRESULT Pin::QueryDirection(PIN_DIRECTION* dir) {
  if (!dir) return E_POINTER;
  *dir = dir_;
  return S_OK;
}

HRESULT Pin::QueryId(char16_t** id) {
  if (!id) return E_POINTER;
  *id = TaskString(name_);
  return *id ? S_OK : E_OUTOFMEMORY;
}

HRESULT Pin::QueryAccept(const AM_MEDIA_TYPE* pmt) {
  if (!pmt) return E_POINTER;
  return CheckMediaType(*pmt) == S_OK ? S_OK : S_FALSE;
}

HRESULT Pin::EnumMediaTypes(IEnumMediaTypes** ppEnum) {
  if (!ppEnum) return E_POINTER;
  std::vector<MediaType> types;
  for (int i = 0; i < 64; ++i) {
    MediaType mt;
    if (GetMediaType(i, &mt) != S_OK) break;
    types.push_back(mt);
  }
  *ppEnum = MakeMediaTypeEnum(std::move(types)).Detach();
  return S_OK;
}

HRESULT Pin::QueryInternalConnections(IPin**, ULONG*) { return E_NOTIMPL; }

HRESULT Pin::EndOfStream() {
  if (dir_ != PINDIR_INPUT) return E_UNEXPECTED;
  if (flushing_) return S_FALSE;
  endOfStream_ = true;
  HRESULT hr = filter_->EndOfStream(this);
  pinCued_ = true;
  filter_->MarkCued();
  return hr;
}

HRESULT Pin::BeginFlush() {
  if (dir_ != PINDIR_INPUT) return E_UNEXPECTED;
  flushing_ = true;
  filter_->WakeWaiters();
  return filter_->BeginFlush(this);
}

HRESULT Pin::EndFlush() {
  if (dir_ != PINDIR_INPUT) return E_UNEXPECTED;
  HRESULT hr = filter_->EndFlush(this);
  endOfStream_ = false;
  flushing_ = false;
  return hr;
}

HRESULT Pin::NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double rate) {
  if (dir_ != PINDIR_INPUT) return E_UNEXPECTED;
  return filter_->NewSegment(this, tStart, tStop, rate);
}

HRESULT Pin::GetMediaType(int position, MediaType*) {
  return position < 0 ? E_INVALIDARG : VFW_S_NO_MORE_ITEMS;
}

HRESULT Pin::SetMediaType(const AM_MEDIA_TYPE&) { return S_OK; }

HRESULT Pin::CompleteConnect(IPin* peer) {
  if (dir_ != PINDIR_OUTPUT) return S_OK;
  ComPtr<IMemInputPin> input;
  if (FAILED(peer->QueryInterface(IMemInputPin::iid, input.put_void())) || !input) {
    return S_OK;  // a pin without sample transport (a byte-stream reader)
  }
  HRESULT hr = DecideAllocator(input.Get());
  if (FAILED(hr)) return hr;
  std::lock_guard lock(pinLock_);
  peerInput_ = input;
  return S_OK;
}

HRESULT Pin::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* props) {
  if (props->cBuffers < 1) props->cBuffers = 1;
  if (props->cbBuffer < 1) props->cbBuffer = 65536;
  ALLOCATOR_PROPERTIES actual;
  return allocator->SetProperties(props, &actual);
}

HRESULT Pin::DecideAllocator(IMemInputPin* peer) {
  ALLOCATOR_PROPERTIES props;
  peer->GetAllocatorRequirements(&props);
  if (props.cbAlign == 0) props.cbAlign = 1;
  ComPtr<IMemAllocator> alloc;
  HRESULT hr = peer->GetAllocator(alloc.put());
  if (SUCCEEDED(hr) && alloc) {
    hr = DecideBufferSize(alloc.Get(), &props);
    if (SUCCEEDED(hr)) hr = peer->NotifyAllocator(alloc.Get(), false);
    if (SUCCEEDED(hr)) {
      allocator_ = alloc;
      return S_OK;
    }
  }
  alloc = ComPtr<IMemAllocator>(MakeComObject<MemAllocator>().Get());
  hr = DecideBufferSize(alloc.Get(), &props);
  if (SUCCEEDED(hr)) hr = peer->NotifyAllocator(alloc.Get(), false);
  if (FAILED(hr)) return hr;
  allocator_ = alloc;
  return S_OK;
}

HRESULT Pin::GetAllocator(IMemAllocator** allocator) {
  if (!allocator) return E_POINTER;
  if (dir_ != PINDIR_INPUT) return E_UNEXPECTED;
  std::lock_guard lock(pinLock_);
  if (!allocator_) allocator_ = ComPtr<IMemAllocator>(MakeComObject<MemAllocator>().Get());
  *allocator = allocator_.Get();
  (*allocator)->AddRef();
  return S_OK;
}

HRESULT Pin::NotifyAllocator(IMemAllocator* allocator, bool readOnly) {
  if (!allocator) return E_POINTER;
  if (dir_ != PINDIR_INPUT) return E_UNEXPECTED;
  std::lock_guard lock(pinLock_);
  allocator_ = allocator;
  readOnly_ = readOnly;
  return S_OK;
}

HRESULT Pin::GetAllocatorRequirements(ALLOCATOR_PROPERTIES*) { return E_NOTIMPL; }

HRESULT Pin::Receive(IMediaSample* sample) {
  if (!sample) return E_POINTER;
  if (dir_ != PINDIR_INPUT) return E_UNEXPECTED;
  if (filter_->State() == State_Stopped || filter_->Stopping()) return VFW_E_WRONG_STATE;
  if (flushing_) return S_FALSE;
  if (endOfStream_) return VFW_E_SAMPLE_REJECTED_EOS;
  // A sample taken counts towards the pause that starts a run; a refused one does not (its
  // failure ends the stream with an error event instead).
  HRESULT hr = filter_->Receive(this, sample);
  if (SUCCEEDED(hr)) {
    pinCued_ = true;
    filter_->MarkCued();
  }
  return hr;
}

HRESULT Pin::ReceiveMultiple(IMediaSample** samples, LONG count, LONG* processed) {
  if (!samples) return E_POINTER;
  HRESULT hr = S_OK;
  LONG n = 0;
  for (; n < count; ++n) {
    hr = Receive(samples[n]);
    if (hr != S_OK) break;
  }
  if (processed) *processed = n;
  return hr;
}

HRESULT Pin::ReceiveCanBlock() { return S_OK; }

HRESULT Pin::GetDeliveryBuffer(LONG size, IMediaSample** sample) {
  if (!sample) return E_POINTER;
  *sample = nullptr;
  ComPtr<IMemAllocator> alloc;
  {
    std::lock_guard lock(pinLock_);
    alloc = allocator_;
  }
  if (!alloc) return VFW_E_NO_ALLOCATOR;
  return AllocateSample(alloc.Get(), size, sample);
}

HRESULT Pin::Deliver(IMediaSample* sample) {
  ComPtr<IMemInputPin> input;
  {
    std::lock_guard lock(pinLock_);
    input = peerInput_;
  }
  if (!input) return VFW_E_NOT_CONNECTED;
  return input->Receive(sample);
}

HRESULT Pin::DeliverEndOfStream() {
  ComPtr<IPin> peer = Peer();
  return peer ? peer->EndOfStream() : VFW_E_NOT_CONNECTED;
}

HRESULT Pin::DeliverBeginFlush() {
  ComPtr<IPin> peer = Peer();
  return peer ? peer->BeginFlush() : VFW_E_NOT_CONNECTED;
}

HRESULT Pin::DeliverEndFlush() {
  ComPtr<IPin> peer = Peer();
  return peer ? peer->EndFlush() : VFW_E_NOT_CONNECTED;
}

HRESULT Pin::DeliverNewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double rate) {
  ComPtr<IPin> peer = Peer();
  return peer ? peer->NewSegment(tStart, tStop, rate) : VFW_E_NOT_CONNECTED;
}

HRESULT Pin::Active() {
  endOfStream_ = false;
  pinCued_ = false;
  flushing_ = false;
  ComPtr<IMemAllocator> alloc;
  {
    std::lock_guard lock(pinLock_);
    alloc = allocator_;
  }
  if (alloc && dir_ == PINDIR_OUTPUT) return alloc->Commit();
  return S_OK;
}

HRESULT Pin::Inactive() {
  ComPtr<IMemAllocator> alloc;
  {
    std::lock_guard lock(pinLock_);
    alloc = allocator_;
  }
  if (alloc) alloc->Decommit();
  return S_OK;
}

// --- OutputPin ---

HRESULT OutputPin::CheckMediaType(const AM_MEDIA_TYPE& mt) {
  for (const auto& t : types_)
    if (MediaTypesEqual(t, mt) || (t.majortype == mt.majortype && t.subtype == mt.subtype &&
                                   t.formattype == mt.formattype))
      return S_OK;
  return VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT OutputPin::GetMediaType(int position, MediaType* mt) {
  if (position < 0) return E_INVALIDARG;
  if (static_cast<size_t>(position) >= types_.size()) return VFW_S_NO_MORE_ITEMS;
  *mt = types_[static_cast<size_t>(position)];
  return S_OK;
}

HRESULT OutputPin::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* props) {
  if (props->cBuffers < 4) props->cBuffers = 4;
  if (props->cbBuffer < bufferSize_) props->cbBuffer = bufferSize_;
  ALLOCATOR_PROPERTIES actual;
  return allocator->SetProperties(props, &actual);
}

}  // namespace dshow
