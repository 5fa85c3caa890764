#pragma once
// Helpers of the graph component tests: event sinks that record what they hear and on which
// thread, and a pass-through filter that refuses every sample as a compressor that cannot take
// the frame size does.
#include <atomic>
#include <functional>
#include <thread>

#include "com/connection.h"
#include "dshow/baseclasses.h"
#include "graphparts_registry.h"

namespace graphparts_test {

// One event as a sink heard it.
struct Heard {
  std::vector<Variant> args;  // natural order
  std::thread::id thread;
};

// Advises a recording sink on an object's event interface for as long as it lives.
class Recorder {
 public:
  Recorder(IUnknown* source, REFIID events, DISPID id) : source_(source), iid_(events) {
    sink_ = MakeComObject<EventSink>(events);
    sink_->On(id, [this](EventArgs& a) {
      Heard h;
      for (size_t i = 0; i < a.Count(); ++i) h.args.push_back(a.Get(i));
      h.thread = std::this_thread::get_id();
      heard.push_back(std::move(h));
      if (onEvent) onEvent();
    });
    cookie_ = ConnectEvents(source, events, sink_.Get());
  }
  ~Recorder() {
    if (cookie_) DisconnectEvents(source_.Get(), iid_, cookie_);
  }
  std::vector<Heard> heard;
  std::function<void()> onEvent;

 private:
  ComPtr<IUnknown> source_;
  IID iid_;
  ComPtr<EventSink> sink_;
  DWORD cookie_ = 0;
};

// A pass-through "compressor" whose every sample is refused downstream-style: Receive fails
// with VFW_E_UNSUPPORTED_VIDEO (pins "XForm In" / "XForm Out").
class RefusingFilter : public dshow::InPlaceTransformFilter {
 public:
  RefusingFilter() : InPlaceTransformFilter(u"Refusing Compressor", GUID_NULL, false) {}
  HRESULT CheckInputType(const AM_MEDIA_TYPE&) override { return S_OK; }
  HRESULT Transform(IMediaSample*) override { return S_OK; }
  HRESULT Receive(dshow::Pin*, IMediaSample*) override {
    ++refused;
    return refuseWith;
  }
  std::atomic<int> refused{0};
  HRESULT refuseWith = static_cast<HRESULT>(0x80040242);
};

}  // namespace graphparts_test
