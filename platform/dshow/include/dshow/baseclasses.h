#pragma once
// Base classes for writing filters on the platform: pins with media-type negotiation and
// allocator agreement, the filter with its states and events, samples and allocators, and the
// transform bases (a copying transform with input "XForm In" and output "XForm Out", and the
// in-place pass-through transform).
//
// Pins share the reference count of their filter: a reference to a pin keeps its filter alive.
// Streaming runs on the threads of the source filters; a filter's Receive runs on the thread
// of the filter upstream.
#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "com/object.h"
#include "dshow/interfaces.h"

namespace dshow {

class Filter;
class GraphServices;

// --- Samples and allocators ---------------------------------------------------------------

// The platform's allocator: samples are recycled through a pool; GetBuffer never waits (the
// pipeline's depth bounds the samples in flight).
class MemAllocator : public ComObject<IMemAllocator> {
 public:
  MemAllocator();
  HRESULT SetProperties(ALLOCATOR_PROPERTIES* request, ALLOCATOR_PROPERTIES* actual) override;
  HRESULT GetProperties(ALLOCATOR_PROPERTIES* props) override;
  HRESULT Commit() override;
  HRESULT Decommit() override;
  HRESULT GetBuffer(IMediaSample** sample, REFERENCE_TIME* start, REFERENCE_TIME* stop,
                    DWORD flags) override;
  HRESULT ReleaseBuffer(IMediaSample* sample) override;
  // A sample of at least `size` bytes (larger than the agreed buffer size if need be).
  HRESULT GetSizedBuffer(IMediaSample** sample, LONG size);

  struct Pool;

 private:
  std::shared_ptr<Pool> pool_;
};

// A sample of `size` bytes from any allocator: the platform's allocator gives one of any size,
// another allocator one of its agreed size (VFW_E_BUFFER_OVERFLOW when that is too small).
HRESULT AllocateSample(IMemAllocator* allocator, LONG size, IMediaSample** sample);
// Copies data, times and flags of one sample into another (VFW_E_BUFFER_OVERFLOW if too small).
HRESULT CopySample(IMediaSample* from, IMediaSample* to);

// --- Pins ----------------------------------------------------------------------------------

class Pin : public ComObject<IPin, IMemInputPin> {
 public:
  Pin(Filter* filter, std::u16string name, PIN_DIRECTION dir);
  ~Pin() override;

  // Pins live and die with their filter.
  HRESULT QueryInterface(REFIID riid, void** ppv) override;
  ULONG AddRef() override;
  ULONG Release() override;

  // IPin
  HRESULT Connect(IPin* receivePin, const AM_MEDIA_TYPE* pmt) override;
  HRESULT ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* pmt) override;
  HRESULT Disconnect() override;
  HRESULT ConnectedTo(IPin** pin) override;
  HRESULT ConnectionMediaType(AM_MEDIA_TYPE* pmt) override;
  HRESULT QueryPinInfo(PIN_INFO* info) override;
  HRESULT QueryDirection(PIN_DIRECTION* dir) override;
  HRESULT QueryId(char16_t** id) override;
  HRESULT QueryAccept(const AM_MEDIA_TYPE* pmt) override;
  HRESULT EnumMediaTypes(IEnumMediaTypes** ppEnum) override;
  HRESULT QueryInternalConnections(IPin** pins, ULONG* count) override;
  HRESULT EndOfStream() override;
  HRESULT BeginFlush() override;
  HRESULT EndFlush() override;
  HRESULT NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double rate) override;

  // IMemInputPin (input pins only; output pins answer E_UNEXPECTED)
  HRESULT GetAllocator(IMemAllocator** allocator) override;
  HRESULT NotifyAllocator(IMemAllocator* allocator, bool readOnly) override;
  HRESULT GetAllocatorRequirements(ALLOCATOR_PROPERTIES* props) override;
  HRESULT Receive(IMediaSample* sample) override;
  HRESULT ReceiveMultiple(IMediaSample** samples, LONG count, LONG* processed) override;
  HRESULT ReceiveCanBlock() override;

  // Hooks.
  virtual HRESULT CheckMediaType(const AM_MEDIA_TYPE& mt) = 0;
  // The pin's preferred types by position from 0; VFW_S_NO_MORE_ITEMS past the last.
  virtual HRESULT GetMediaType(int position, MediaType* mt);
  virtual HRESULT SetMediaType(const AM_MEDIA_TYPE& mt);
  virtual HRESULT CompleteConnect(IPin* peer);
  virtual void BreakConnect() {}
  // Output pins: the buffer size for the agreed allocator.
  virtual HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* props);

  // Helpers.
  const std::u16string& Name() const { return name_; }
  PIN_DIRECTION Direction() const { return dir_; }
  Filter* Owner() const { return filter_; }
  bool IsConnected() const;
  ComPtr<IPin> Peer() const;
  MediaType CurrentType() const;
  bool IsFlushing() const { return flushing_; }
  bool AtEndOfStream() const { return endOfStream_; }
  IMemAllocator* Allocator() const { return allocator_.Get(); }
  bool ReadOnly() const { return readOnly_; }
  // Input pins: whether the pin has taken a sample or the end of its stream since its filter
  // left the stopped state.
  bool Cued() const { return pinCued_; }

  // Output pins: delivery downstream.
  HRESULT GetDeliveryBuffer(LONG size, IMediaSample** sample);
  HRESULT Deliver(IMediaSample* sample);
  HRESULT DeliverEndOfStream();
  HRESULT DeliverBeginFlush();
  HRESULT DeliverEndFlush();
  HRESULT DeliverNewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double rate);

  // State changes of the owning filter (allocator commit and the end-of-stream flag).
  virtual HRESULT Active();
  virtual HRESULT Inactive();

 protected:
  HRESULT AttemptConnection(IPin* receivePin, const AM_MEDIA_TYPE& mt);
  HRESULT DecideAllocator(IMemInputPin* peer);
  void ClearConnection();

  Filter* filter_;
  std::u16string name_;
  PIN_DIRECTION dir_;
  mutable std::mutex pinLock_;
  ComPtr<IPin> peer_;
  ComPtr<IMemInputPin> peerInput_;
  MediaType mt_;
  ComPtr<IMemAllocator> allocator_;
  bool readOnly_ = false;
  std::atomic<bool> flushing_{false};
  std::atomic<bool> endOfStream_{false};
  std::atomic<bool> pinCued_{false};
};

// --- Filters -------------------------------------------------------------------------------

class Filter : public ComObject<IBaseFilter> {
 public:
  Filter(std::u16string defaultName, const CLSID& clsid);
  ~Filter() override;

  // IPersist
  HRESULT GetClassID(CLSID* clsid) override;
  // IMediaFilter
  HRESULT Stop() override;
  HRESULT Pause() override;
  HRESULT Run(REFERENCE_TIME tStart) override;
  HRESULT GetState(DWORD msTimeout, FILTER_STATE* state) override;
  HRESULT SetSyncSource(IReferenceClock* clock) override;
  HRESULT GetSyncSource(IReferenceClock** clock) override;
  // IBaseFilter
  HRESULT EnumPins(IEnumPins** ppEnum) override;
  HRESULT FindPin(const char16_t* id, IPin** ppPin) override;
  HRESULT QueryFilterInfo(FILTER_INFO* info) override;
  HRESULT JoinFilterGraph(IFilterGraph* graph, const char16_t* name) override;
  HRESULT QueryVendorInfo(char16_t** vendorInfo) override;

  // Pins, in enumeration order.
  virtual int PinCount() = 0;
  virtual Pin* GetPin(int index) = 0;

  // Input-side hooks, called by the input pins.
  virtual HRESULT Receive(Pin* pin, IMediaSample* sample);
  virtual HRESULT EndOfStream(Pin* pin);
  virtual HRESULT BeginFlush(Pin* pin);
  virtual HRESULT EndFlush(Pin* pin);
  virtual HRESULT NewSegment(Pin* pin, REFERENCE_TIME tStart, REFERENCE_TIME tStop, double rate);
  // Connection hooks, called after a pin connected or disconnected.
  virtual void PinConnected(Pin*) {}
  virtual void PinDisconnected(Pin*) {}

  // Graph-facing traits.
  // A renderer reports EC_COMPLETE at the end of its stream; the graph waits for every one.
  virtual bool IsRenderer() const { return false; }
  // A renderer paced by the clock (presents samples at their time).
  virtual bool IsPaced() const { return false; }
  // Source filters: the length of the media and repositioning; streaming starts at the position.
  virtual REFERENCE_TIME SourceDuration() const { return -1; }
  virtual HRESULT SetSourcePosition(REFERENCE_TIME) { return E_NOTIMPL; }
  // Called by the graph before stopping: wakes streaming waits so that threads can end.
  virtual void BeginStop();
  // Whether an input pin has taken a sample or the end of the stream since the filter left the
  // stopped state (the graph's run waits for its renderers to have one).
  bool Cued() const { return cued_; }
  void MarkCued() { cued_ = true; }

  FILTER_STATE State() const { return state_; }
  bool Stopping() const { return stopping_; }
  REFERENCE_TIME StartTime() const { return start_; }
  const std::u16string& Name() const { return name_; }
  IFilterGraph* Graph() const { return graph_; }
  GraphServices* Services() const { return services_; }
  // Reports an event to the graph (EC_COMPLETE, EC_ERRORABORT, ...).
  void NotifyEvent(LONG code, LONG_PTR param1, LONG_PTR param2);
  // Waits on the filter's condition until pred() holds or the filter stops or flushes;
  // returns pred()'s last value.
  bool WaitFor(std::unique_lock<std::mutex>& lock, const std::function<bool()>& pred,
               int64_t maxWaitMicroseconds = -1);
  // Wakes the threads in WaitFor. Callers change what the waits look at (the state, the stop
  // request, a pin's flushing) before calling, and must not hold StateLock().
  void WakeWaiters() {
    // Passing through the lock orders the change before any waiter's next look at it: a waiter
    // that has just found nothing to do is then either already asleep (and is woken) or has not
    // looked yet (and sees the change); without it the wakeup can fall between the two.
    { std::lock_guard lock(stateLock_); }
    stateChanged_.notify_all();
  }

  std::mutex& StateLock() { return stateLock_; }

 protected:
  // IMediaFilter and IPersist (derived filters answer their further interfaces first and pass
  // the rest on to this).
  HRESULT QueryOther(REFIID riid, void** ppv) override;

  // State hooks, called with no lock held.
  virtual HRESULT OnPause() { return S_OK; }   // Stopped -> Paused (also Running -> Paused)
  virtual HRESULT OnRun(REFERENCE_TIME) { return S_OK; }
  virtual HRESULT OnStop() { return S_OK; }

  std::mutex stateLock_;
  std::condition_variable stateChanged_;
  std::atomic<FILTER_STATE> state_{State_Stopped};
  std::atomic<bool> stopping_{false};
  std::atomic<bool> cued_{false};
  REFERENCE_TIME start_ = 0;
  ComPtr<IReferenceClock> clock_;
  IFilterGraph* graph_ = nullptr;  // weak: the graph holds the filter
  GraphServices* services_ = nullptr;
  std::u16string name_;
  std::u16string defaultName_;
  CLSID clsid_;
};

// Forwards a further interface's IUnknown methods to a filter's own.
#define DSHOW_FORWARD_IUNKNOWN(Base)                                                        \
  HRESULT QueryInterface(REFIID riid, void** ppv) override { return Base::QueryInterface(riid, ppv); } \
  ULONG AddRef() override { return Base::AddRef(); }                                        \
  ULONG Release() override { return Base::Release(); }

// What the platform's graph offers its filters beyond the standard interfaces.
class GraphServices {
 public:
  // The stream time: how far the run has advanced (100 ns units), scaled by the rate; the
  // position of a paused graph stays still.
  virtual REFERENCE_TIME StreamTime() = 0;
  // The playback rate (1 = normal speed).
  virtual double Rate() = 0;
  // A sink filter's progress through the media (clockless graphs report positions with it).
  virtual void ReportProgress(REFERENCE_TIME t) = 0;
  // An event of a filter (the graph's IMediaEventSink without reference counting, so that
  // filters may report while the graph takes itself apart).
  virtual void PostEvent(LONG code, LONG_PTR param1, LONG_PTR param2) = 0;
  // A streaming thread starts (true) or stops (false) waiting in a paused renderer for the run:
  // it delivers nothing further until then.
  virtual void StreamHeld(bool) {}

 protected:
  ~GraphServices() = default;
};

// --- Simple pins -----------------------------------------------------------------------------

// An input pin that accepts what its check function accepts.
class InputPin : public Pin {
 public:
  using Check = std::function<HRESULT(const AM_MEDIA_TYPE&)>;
  InputPin(Filter* filter, std::u16string name, Check check)
      : Pin(filter, std::move(name), PINDIR_INPUT), check_(std::move(check)) {}
  HRESULT CheckMediaType(const AM_MEDIA_TYPE& mt) override { return check_ ? check_(mt) : S_OK; }

 private:
  Check check_;
};

// An output pin offering a fixed list of types.
class OutputPin : public Pin {
 public:
  OutputPin(Filter* filter, std::u16string name) : Pin(filter, std::move(name), PINDIR_OUTPUT) {}
  void SetTypes(std::vector<MediaType> types) { types_ = std::move(types); }
  void SetBufferSize(LONG size) { bufferSize_ = size; }
  HRESULT CheckMediaType(const AM_MEDIA_TYPE& mt) override;
  HRESULT GetMediaType(int position, MediaType* mt) override;
  HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* props) override;

 private:
  std::vector<MediaType> types_;
  LONG bufferSize_ = 65536;
};

// --- Transform filters ---------------------------------------------------------------------

// A transform with its own output samples: input "XForm In", output "XForm Out".
class TransformFilter : public Filter {
 public:
  TransformFilter(std::u16string name, const CLSID& clsid);
  int PinCount() override { return 2; }
  Pin* GetPin(int index) override;

  virtual HRESULT CheckInputType(const AM_MEDIA_TYPE& mt) = 0;
  virtual HRESULT CheckTransform(const AM_MEDIA_TYPE& in, const AM_MEDIA_TYPE& out) = 0;
  // Output types for the connected input type.
  virtual HRESULT GetOutputType(int position, MediaType* mt) = 0;
  virtual LONG OutputBufferSize() = 0;

  HRESULT EndOfStream(Pin* pin) override;
  HRESULT BeginFlush(Pin* pin) override;
  HRESULT EndFlush(Pin* pin) override;
  HRESULT NewSegment(Pin* pin, REFERENCE_TIME tStart, REFERENCE_TIME tStop, double rate) override;

  Pin* Input() { return input_.get(); }
  Pin* Output() { return output_.get(); }

 protected:
  // Drains data held back at the end of the stream (before end-of-stream passes on).
  virtual void Drain() {}
  // Forgets data held back (flush, stop).
  virtual void Reset() {}
  HRESULT OnStop() override { Reset(); return S_OK; }

  std::unique_ptr<Pin> input_;
  std::unique_ptr<Pin> output_;
};

// --- In-place transform ------------------------------------------------------------------

class InPlaceTransformFilter;

// The in-place input pin: no allocator of its own (it passes on the downstream allocator).
class InPlaceInputPin : public Pin {
 public:
  InPlaceInputPin(InPlaceTransformFilter* filter, std::u16string name = u"Input");
  HRESULT CheckMediaType(const AM_MEDIA_TYPE& mt) override;
  HRESULT EnumMediaTypes(IEnumMediaTypes** ppEnum) override;
  HRESULT GetAllocator(IMemAllocator** allocator) override;
  HRESULT NotifyAllocator(IMemAllocator* allocator, bool readOnly) override;
  HRESULT CompleteConnect(IPin* peer) override;

 protected:
  InPlaceTransformFilter* transform_;
};

// The in-place output pin ("Output"): offers the input's type downstream.
class InPlaceOutputPin : public Pin {
 public:
  InPlaceOutputPin(InPlaceTransformFilter* filter, std::u16string name = u"Output");
  HRESULT CheckMediaType(const AM_MEDIA_TYPE& mt) override;
  HRESULT GetMediaType(int position, MediaType* mt) override;
  HRESULT EnumMediaTypes(IEnumMediaTypes** ppEnum) override;
  HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* props) override;
  HRESULT CompleteConnect(IPin* peer) override;

 protected:
  InPlaceTransformFilter* transform_;
};

// Pass-through transform: samples travel on unchanged (Transform may alter them in place when
// the filter modifies data). Pins: the input pin (its own class if the filter sets one with
// SetInputPin in its constructor), then the output pin, created on first use.
class InPlaceTransformFilter : public Filter {
 public:
  InPlaceTransformFilter(std::u16string name, const CLSID& clsid, bool modifiesData);
  int PinCount() override { return 2; }
  Pin* GetPin(int index) override;

  virtual HRESULT CheckInputType(const AM_MEDIA_TYPE& mt) = 0;
  virtual HRESULT Transform(IMediaSample* sample) = 0;

  // The default: non-media samples pass straight on; a sample from another allocator is copied
  // into one of the output's; the transform runs; the sample is delivered.
  HRESULT Receive(Pin* pin, IMediaSample* sample) override;
  HRESULT EndOfStream(Pin* pin) override;
  HRESULT BeginFlush(Pin* pin) override;
  HRESULT EndFlush(Pin* pin) override;
  HRESULT NewSegment(Pin* pin, REFERENCE_TIME tStart, REFERENCE_TIME tStop, double rate) override;

  InPlaceInputPin* InputPin();
  InPlaceOutputPin* OutputPin();
  bool ModifiesData() const { return modifiesData_; }
  // True when the input received another allocator than the output delivers into.
  bool UsingDifferentAllocators();
  // A copy of the sample in a buffer of the output's allocator (null when none can be had).
  IMediaSample* Copy(IMediaSample* source);

 protected:
  void SetInputPin(std::unique_ptr<InPlaceInputPin> pin) { input_ = std::move(pin); }

 private:
  std::unique_ptr<InPlaceInputPin> input_;
  std::unique_ptr<InPlaceOutputPin> output_;
  bool modifiesData_;
};

// --- Enumerators ------------------------------------------------------------------------

ComPtr<IEnumMediaTypes> MakeMediaTypeEnum(std::vector<MediaType> types);

// --- Waiting on the window thread --------------------------------------------------------

// Streaming threads may wait on the thread that stops the graph (a synchronous window message);
// while a graph operation waits for its streaming threads it calls this pump regularly so that
// such messages are handled. The window layer installs it.
void SetStreamingWaitPump(std::function<void()> pump);
void RunStreamingWaitPump();
// Ends a filter's streaming thread once it has been asked to stop: waits until `done` is set,
// answering window messages meanwhile, then joins it. A stop made inside the handler of that
// thread's own synchronous message lets the thread go on with an answer of 0, so that neither
// waits for the other.
void EndStreamingThread(std::thread& thread, const std::atomic<bool>& done);

}  // namespace dshow
