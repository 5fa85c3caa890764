#pragma once
// Helpers of the filter graph tests: graphs, filters and pins by name, running to the end.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "com/com.h"
#include "dshow/baseclasses.h"
#include "dshow/dshow.h"
#include "fixtures.h"
#include "hang_guard.h"

namespace dshow_test {

// An output pin of one type, delivering samples by hand.
class HandSource : public dshow::Filter {
 public:
  explicit HandSource(MediaType type)
      : Filter(u"Hand Source", MakeGuid("{3C7A9E21-5D48-4B06-A1F3-8E2D6C0B9F47}")), out_(this, u"Out") {
    out_.SetTypes({std::move(type)});
  }
  int PinCount() override { return 1; }
  dshow::Pin* GetPin(int i) override { return i == 0 ? &out_ : nullptr; }
  REFERENCE_TIME SourceDuration() const override { return duration; }
  dshow::OutputPin out_;
  REFERENCE_TIME duration = -1;  // the graph's duration as this source tells it (-1: none)
};

// Delivers one sample of `size` zero bytes for [start, stop) (100-ns units).
inline HRESULT DeliverBlank(HandSource& source, LONG size, REFERENCE_TIME start, REFERENCE_TIME stop) {
  IMediaSample* sample = nullptr;
  HRESULT hr = source.out_.GetDeliveryBuffer(size, &sample);
  if (FAILED(hr)) return hr;
  BYTE* data = nullptr;
  sample->GetPointer(&data);
  std::fill(data, data + size, BYTE{0});
  sample->SetActualDataLength(size);
  sample->SetTime(&start, &stop);
  hr = source.out_.Deliver(sample);
  sample->Release();
  return hr;
}

inline ComPtr<IGraphBuilder> NewGraph() {
  ComPtr<IGraphBuilder> g;
  HRESULT hr = CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IGraphBuilder::iid,
                                g.put_void());
  EXPECT_EQ(hr, S_OK);
  return g;
}

inline std::u16string U(const std::string& s) { return Utf8ToUtf16(s); }

inline std::vector<ComPtr<IBaseFilter>> FiltersOf(IGraphBuilder* g) {
  std::vector<ComPtr<IBaseFilter>> out;
  ComPtr<IEnumFilters> e;
  if (FAILED(g->EnumFilters(e.put()))) return out;
  IBaseFilter* f = nullptr;
  ULONG got = 0;
  while (e->Next(1, &f, &got) == S_OK && got == 1) out.push_back(ComPtr<IBaseFilter>::Attach(f));
  return out;
}

inline std::string NameOf(IBaseFilter* f) {
  FILTER_INFO info;
  f->QueryFilterInfo(&info);
  if (info.pGraph) info.pGraph->Release();
  return Utf16ToUtf8(info.achName);
}

inline std::vector<std::string> FilterNames(IGraphBuilder* g) {
  std::vector<std::string> names;
  for (auto& f : FiltersOf(g)) names.push_back(NameOf(f.Get()));
  return names;
}

inline ComPtr<IBaseFilter> FilterNamed(IGraphBuilder* g, const std::string& name) {
  for (auto& f : FiltersOf(g))
    if (NameOf(f.Get()) == name) return f;
  return nullptr;
}

inline std::vector<ComPtr<IPin>> PinsOf(IBaseFilter* f) {
  std::vector<ComPtr<IPin>> pins;
  ComPtr<IEnumPins> e;
  if (FAILED(f->EnumPins(e.put()))) return pins;
  IPin* p = nullptr;
  ULONG got = 0;
  while (e->Next(1, &p, &got) == S_OK && got == 1) pins.push_back(ComPtr<IPin>::Attach(p));
  return pins;
}

inline std::string PinName(IPin* p) {
  PIN_INFO info;
  p->QueryPinInfo(&info);
  if (info.pFilter) info.pFilter->Release();
  return Utf16ToUtf8(info.achName);
}

inline ComPtr<IPin> PinNamed(IBaseFilter* f, const std::string& name) {
  for (auto& p : PinsOf(f))
    if (PinName(p.Get()) == name) return p;
  return nullptr;
}

inline ComPtr<IPin> Peer(IPin* p) {
  ComPtr<IPin> other;
  p->ConnectedTo(other.put());
  return other;
}

// A registered filter by its name, added to the graph.
inline ComPtr<IBaseFilter> AddRegistered(IGraphBuilder* g, const std::string& name) {
  ComPtr<IMediaControl> mc = ComPtr<IGraphBuilder>(g).As<IMediaControl>();
  ComPtr<IDispatch> regs;
  if (FAILED(mc->get_RegFilterCollection(regs.put()))) return nullptr;
  ComPtr<IAMCollection> coll = regs.As<IAMCollection>();
  LONG n = 0;
  coll->get_Count(&n);
  for (LONG i = 0; i < n; ++i) {
    ComPtr<IUnknown> item;
    coll->Item(i, item.put());
    ComPtr<IRegFilterInfo> reg = item.As<IRegFilterInfo>();
    Bstr regName;
    reg->get_Name(&regName);
    if (regName.Utf8() != name) continue;
    ComPtr<IDispatch> info;
    if (FAILED(reg->Filter(info.put()))) return nullptr;
    ComPtr<IUnknown> unk;
    info.As<IFilterInfo>()->get_Filter(unk.put());
    return unk.As<IBaseFilter>();
  }
  return nullptr;
}

// Puts a pass-through filter (pins "Input" and "Output") in front of a renderer already in the
// graph: the link into the renderer is cut and made through the filter.
inline void SpliceBefore(IGraphBuilder* g, const std::string& renderer, IBaseFilter* filter,
                         const char16_t* name) {
  ComPtr<IBaseFilter> r = FilterNamed(g, renderer);
  ASSERT_TRUE(r) << renderer;
  ComPtr<IPin> in = PinsOf(r.Get())[0];
  ComPtr<IPin> up = Peer(in.Get());
  ASSERT_TRUE(up);
  ASSERT_EQ(g->Disconnect(up.Get()), S_OK);
  ASSERT_EQ(g->Disconnect(in.Get()), S_OK);
  ASSERT_EQ(g->AddFilter(filter, name), S_OK);
  ASSERT_EQ(g->ConnectDirect(up.Get(), PinNamed(filter, "Input").Get(), nullptr), S_OK);
  ASSERT_EQ(g->ConnectDirect(PinNamed(filter, "Output").Get(), in.Get(), nullptr), S_OK);
}

// Adds "AVI Mux" and "File writer" with the target, unconnected; returns the mux.
inline ComPtr<IBaseFilter> AddMuxAndWriter(IGraphBuilder* g, const std::string& target) {
  ComPtr<IBaseFilter> writer = AddRegistered(g, "File writer");
  ComPtr<IBaseFilter> mux = AddRegistered(g, "AVI Mux");
  EXPECT_TRUE(writer && mux);
  if (!writer || !mux) return nullptr;
  EXPECT_EQ(writer.As<IFileSinkFilter>()->SetFileName(U(target).c_str(), nullptr), S_OK);
  return mux;
}

// Runs the graph and waits for its end; returns the event code (0 when it did not end in time).
inline LONG RunToEnd(IGraphBuilder* g, LONG timeoutMs = 30000) {
  ComPtr<IMediaControl> mc = ComPtr<IGraphBuilder>(g).As<IMediaControl>();
  ComPtr<IMediaEvent> ev = ComPtr<IGraphBuilder>(g).As<IMediaEvent>();
  EXPECT_EQ(mc->Run(), S_OK);
  LONG code = 0;
  ev->WaitForCompletion(timeoutMs, &code);
  mc->Stop();
  return code;
}

// Fixtures, made once per test program.
inline std::string Fixture(fixtures::Kind kind, fixtures::Options options = {}) {
  static std::map<std::string, std::string> made;
  std::string key = fixtures::Name(kind) + std::to_string(options.seconds) +
                    std::to_string(options.width) + (options.audio ? "a" : "") + "@" +
                    std::to_string(options.fps) + "/" + std::to_string(options.fpsDen);
  auto it = made.find(key);
  if (it != made.end()) return it->second;
  std::string path = fixtures::Make(kind, fixtures::ScratchFolder("fixtures"), options);
  made[key] = path;
  return path;
}

inline std::string Target(const std::string& name) { return fixtures::ScratchFolder("out") + "/" + name; }

// Waits for what a streaming thread brings about (a filter's flag, a count reached), however
// busy the machine is; only the hang guard ends a wait that never ends.
template <class Condition>
void AwaitStreaming(const std::string& what, Condition done) {
  HangGuard guard(what);
  while (!done()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

}  // namespace dshow_test
