#pragma once
// A stand-in smart render engine, put in place of the platform's for one test. Everything goes to
// a real engine and its real graph, except that
//  - one chosen call of the engine fails with a chosen result, after doing its work or instead
//    of it, and
//  - the graph it hands out may claim a shorter duration than it plays, and tells each reading of
//    its position to the test (the render reads the position once per turn of its loop), and
//  - the graph may be paced by its readings instead of the machine: each reading of the position
//    tells one step more (up to the real duration), and the graph's completion is held back until
//    a reading has told the end, so a render takes the same turns however fast the machine works.
#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <utility>

#include "com/com.h"
#include "com/interfaces.h"
#include "com/object.h"
#include "des/timeline.h"
#include "dshow/interfaces.h"

namespace standin {

struct EngineScript {
  std::string failingCall;  // "SetTimelineObject", "ConnectFrontEnd" or "GetFilterGraph"; empty: none
  HRESULT result = S_OK;    // what the failing call answers
  bool afterWork = false;   // the call does its work first
  double durationScale = 1;  // the graph's duration as it tells it, against the real one
  std::function<void(double position)> onPosition;  // each reading of the position
  double positionStep = 0;  // seconds the position moves per reading; 0: the real graph's position
};

inline EngineScript& Script() {
  static EngineScript script;
  return script;
}

// The pace of one graph: the readings of its position so far and whether the last one told the end.
struct Pace {
  int readings = 0;
  bool toldTheEnd = false;
};

// A stand-in for one of the graph's automation interfaces: IDispatch goes to the real object.
template <class I>
class ForwardingDispatch : public ComObject<I> {
 public:
  explicit ForwardingDispatch(ComPtr<I> real) : real_(std::move(real)) {}
  HRESULT GetTypeInfoCount(uint32_t* n) override { return real_->GetTypeInfoCount(n); }
  HRESULT GetTypeInfo(uint32_t i, LCID l, ITypeInfo** t) override { return real_->GetTypeInfo(i, l, t); }
  HRESULT GetIDsOfNames(REFIID r, const char16_t** n, uint32_t c, LCID l, DISPID* d) override {
    return real_->GetIDsOfNames(r, n, c, l, d);
  }
  HRESULT Invoke(DISPID id, REFIID r, LCID l, WORD f, DISPPARAMS* p, VARIANT* v, EXCEPINFO* e, uint32_t* a) override {
    return real_->Invoke(id, r, l, f, p, v, e, a);
  }

 protected:
  ComPtr<I> real_;
};

class Position final : public ForwardingDispatch<IMediaPosition> {
 public:
  Position(ComPtr<IMediaPosition> real, std::shared_ptr<Pace> pace)
      : ForwardingDispatch(std::move(real)), pace_(std::move(pace)) {}
  HRESULT get_Duration(REFTIME* length) override {
    const HRESULT hr = real_->get_Duration(length);
    if (SUCCEEDED(hr)) *length *= Script().durationScale;
    return hr;
  }
  HRESULT put_CurrentPosition(REFTIME t) override { return real_->put_CurrentPosition(t); }
  HRESULT get_CurrentPosition(REFTIME* t) override {
    HRESULT hr = S_OK;
    if (const double step = Script().positionStep; step > 0) {
      // The paced position: one step per reading, up to the real duration.
      if (!t) return E_POINTER;
      REFTIME end = 0;
      hr = real_->get_Duration(&end);
      if (SUCCEEDED(hr)) {
        *t = std::min(++pace_->readings * step, end);
        pace_->toldTheEnd = *t >= end;
      }
    } else {
      hr = real_->get_CurrentPosition(t);
    }
    if (SUCCEEDED(hr) && Script().onPosition) Script().onPosition(*t);
    return hr;
  }
  HRESULT get_StopTime(REFTIME* t) override { return real_->get_StopTime(t); }
  HRESULT put_StopTime(REFTIME t) override { return real_->put_StopTime(t); }
  HRESULT get_PrerollTime(REFTIME* t) override { return real_->get_PrerollTime(t); }
  HRESULT put_PrerollTime(REFTIME t) override { return real_->put_PrerollTime(t); }
  HRESULT put_Rate(double r) override { return real_->put_Rate(r); }
  HRESULT get_Rate(double* r) override { return real_->get_Rate(r); }
  HRESULT CanSeekForward(LONG* c) override { return real_->CanSeekForward(c); }
  HRESULT CanSeekBackward(LONG* c) override { return real_->CanSeekBackward(c); }

 private:
  std::shared_ptr<Pace> pace_;
};

// The real graph's events, except that on a paced graph a completion waits for the reading that
// tells the end: until then a wait ends as a time-out does.
class Events final : public ForwardingDispatch<IMediaEvent> {
 public:
  Events(ComPtr<IMediaEvent> real, std::shared_ptr<Pace> pace)
      : ForwardingDispatch(std::move(real)), pace_(std::move(pace)) {}
  HRESULT GetEventHandle(OAEVENT* h) override { return real_->GetEventHandle(h); }
  HRESULT GetEvent(LONG* c, LONG_PTR* p1, LONG_PTR* p2, LONG ms) override { return real_->GetEvent(c, p1, p2, ms); }
  HRESULT WaitForCompletion(LONG ms, LONG* code) override {
    // Before the end has been told the real graph is not asked (it may be done already): the
    // wait is over at once, as if its time had run out.
    if (!pace_->toldTheEnd) {
      if (!code) return E_POINTER;
      *code = 0;
      return E_ABORT;
    }
    return real_->WaitForCompletion(ms, code);
  }
  HRESULT CancelDefaultHandling(LONG c) override { return real_->CancelDefaultHandling(c); }
  HRESULT RestoreDefaultHandling(LONG c) override { return real_->RestoreDefaultHandling(c); }
  HRESULT FreeEventParams(LONG c, LONG_PTR p1, LONG_PTR p2) override { return real_->FreeEventParams(c, p1, p2); }

 private:
  std::shared_ptr<Pace> pace_;
};

// The real graph, whose position interface is the stand-in's; every other interface is the real
// graph's own.
class Graph final : public ComObject<IGraphBuilder> {
 public:
  explicit Graph(ComPtr<IGraphBuilder> real) : real_(std::move(real)) {}
  HRESULT AddFilter(IBaseFilter* f, const char16_t* n) override { return real_->AddFilter(f, n); }
  HRESULT RemoveFilter(IBaseFilter* f) override { return real_->RemoveFilter(f); }
  HRESULT EnumFilters(IEnumFilters** e) override { return real_->EnumFilters(e); }
  HRESULT FindFilterByName(const char16_t* n, IBaseFilter** f) override { return real_->FindFilterByName(n, f); }
  HRESULT ConnectDirect(IPin* o, IPin* i, const AM_MEDIA_TYPE* mt) override { return real_->ConnectDirect(o, i, mt); }
  HRESULT Reconnect(IPin* p) override { return real_->Reconnect(p); }
  HRESULT Disconnect(IPin* p) override { return real_->Disconnect(p); }
  HRESULT SetDefaultSyncSource() override { return real_->SetDefaultSyncSource(); }
  HRESULT Connect(IPin* o, IPin* i) override { return real_->Connect(o, i); }
  HRESULT Render(IPin* o) override { return real_->Render(o); }
  HRESULT RenderFile(const char16_t* f, const char16_t* p) override { return real_->RenderFile(f, p); }
  HRESULT AddSourceFilter(const char16_t* f, const char16_t* n, IBaseFilter** b) override {
    return real_->AddSourceFilter(f, n, b);
  }
  HRESULT SetLogFile(intptr_t f) override { return real_->SetLogFile(f); }
  HRESULT Abort() override { return real_->Abort(); }
  HRESULT ShouldOperationContinue() override { return real_->ShouldOperationContinue(); }

 protected:
  HRESULT QueryOther(REFIID riid, void** ppv) override {
    if (riid == IMediaPosition::iid) {
      ComPtr<IMediaPosition> real;
      if (HRESULT hr = real_->QueryInterface(IMediaPosition::iid, real.put_void()); FAILED(hr)) return hr;
      return MakeComObject<Position>(real, pace_)->QueryInterface(riid, ppv);
    }
    if (riid == IMediaEvent::iid && Script().positionStep > 0) {
      ComPtr<IMediaEvent> real;
      if (HRESULT hr = real_->QueryInterface(IMediaEvent::iid, real.put_void()); FAILED(hr)) return hr;
      return MakeComObject<Events>(real, pace_)->QueryInterface(riid, ppv);
    }
    return real_->QueryInterface(riid, ppv);
  }

 private:
  ComPtr<IGraphBuilder> real_;
  std::shared_ptr<Pace> pace_ = std::make_shared<Pace>();
};

class Engine final : public ComObject<IRenderEngine> {
 public:
  explicit Engine(ComPtr<IRenderEngine> real) : real_(std::move(real)) {}
  HRESULT SetTimelineObject(IAMTimeline* t) override {
    return Call("SetTimelineObject", [&] { return real_->SetTimelineObject(t); });
  }
  HRESULT GetTimelineObject(IAMTimeline** t) override { return real_->GetTimelineObject(t); }
  HRESULT GetFilterGraph(IGraphBuilder** graph) override {
    return Call("GetFilterGraph", [&] {
      ComPtr<IGraphBuilder> real;
      const HRESULT hr = real_->GetFilterGraph(real.put());
      if (FAILED(hr)) return hr;
      *graph = MakeComObject<Graph>(real).Detach();
      return S_OK;
    });
  }
  HRESULT ConnectFrontEnd() override {
    return Call("ConnectFrontEnd", [&] { return real_->ConnectFrontEnd(); });
  }
  HRESULT RenderOutputPins() override { return real_->RenderOutputPins(); }
  HRESULT GetGroupOutputPin(LONG g, IPin** p) override { return real_->GetGroupOutputPin(g, p); }
  HRESULT ScrapIt() override { return real_->ScrapIt(); }

 private:
  template <class F>
  HRESULT Call(const char* name, F&& work) {
    const EngineScript& s = Script();
    if (s.failingCall != name) return work();
    if (s.afterWork)
      if (HRESULT hr = work(); FAILED(hr)) return hr;
    SetErrorInfo(0, nullptr);
    return s.result;
  }
  ComPtr<IRenderEngine> real_;
};

// Puts the stand-in in place of the platform's smart render engine (or, named, of its plain
// render engine), and back again.
class EngineScope {
 public:
  explicit EngineScope(EngineScript script, const CLSID& clsid = CLSID_SmartRenderEngine,
                       const char* progId = "DexterLib.SmartRenderEngine")
      : clsid_(clsid), progId_(progId) {
    Script() = std::move(script);
    CoGetClassObject(clsid_, CLSCTX_INPROC_SERVER, nullptr, IClassFactory::iid, real_.put_void());
    ComPtr<IClassFactory> real = real_;
    RegisterPlatformClass(clsid_, progId_, [real](IUnknown*, REFIID riid, void** ppv) -> HRESULT {
      if (!real) return E_UNEXPECTED;
      ComPtr<IRenderEngine> engine;
      if (HRESULT hr = real->CreateInstance(nullptr, IRenderEngine::iid, engine.put_void()); FAILED(hr)) return hr;
      return MakeComObject<Engine>(engine)->QueryInterface(riid, ppv);
    });
  }
  ~EngineScope() {
    ComPtr<IClassFactory> real = real_;
    RegisterPlatformClass(clsid_, progId_, [real](IUnknown* outer, REFIID riid, void** ppv) {
      return real ? real->CreateInstance(outer, riid, ppv) : E_UNEXPECTED;
    });
    Script() = EngineScript{};
  }
  EngineScope(const EngineScope&) = delete;
  EngineScope& operator=(const EngineScope&) = delete;

 private:
  CLSID clsid_;
  const char* progId_;
  ComPtr<IClassFactory> real_;
};

}  // namespace standin
