// The graph procedures of modGeneral on the platform's filter graph manager.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "com/com.h"
#include "com/object.h"
#include "dshow/dshow.h"
#include "engine/modGeneralGraph.h"
#include "fixtures.h"

namespace {

using fixtures::Kind;

ComPtr<IMediaControl> NewGraph() {
  ComPtr<IMediaControl> g;
  EXPECT_EQ(CoCreateInstance(CLSID_FilgraphManager, nullptr, CLSCTX_INPROC_SERVER, IMediaControl::iid,
                             g.put_void()),
            S_OK);
  return g;
}

struct Named {
  std::string name;
  ComPtr<IBaseFilter> filter;
};

std::vector<Named> Filters(IMediaControl* g) {
  std::vector<Named> out;
  ComPtr<IFilterGraph> fg;
  g->QueryInterface(IFilterGraph::iid, fg.put_void());
  ComPtr<IEnumFilters> e;
  fg->EnumFilters(e.put());
  IBaseFilter* f = nullptr;
  ULONG got = 0;
  while (e->Next(1, &f, &got) == S_OK && got == 1) {
    FILTER_INFO info;
    f->QueryFilterInfo(&info);
    if (info.pGraph) info.pGraph->Release();
    out.push_back({Utf16ToUtf8(info.achName), ComPtr<IBaseFilter>::Attach(f)});
  }
  return out;
}

bool AnyPinConnected(IBaseFilter* f) {
  ComPtr<IEnumPins> e;
  f->EnumPins(e.put());
  IPin* p = nullptr;
  ULONG got = 0;
  bool any = false;
  while (e->Next(1, &p, &got) == S_OK && got == 1) {
    ComPtr<IPin> pin = ComPtr<IPin>::Attach(p);
    ComPtr<IPin> other;
    if (pin->ConnectedTo(other.put()) == S_OK) any = true;
  }
  return any;
}

std::string CurrentFile(IBaseFilter* writer) {
  ComPtr<IFileSinkFilter> sink;
  if (FAILED(writer->QueryInterface(IFileSinkFilter::iid, sink.put_void()))) return "";
  char16_t* name = nullptr;
  if (FAILED(sink->GetCurFile(&name, nullptr))) return "";
  std::string s = Utf16ToUtf8(name);
  CoTaskMemFree(name);
  return s;
}

// A movie's file source added by name, and its output pin.
ComPtr<IPin> AddSourceOutput(IMediaControl* g) {
  ComPtr<IDispatch> src;
  EXPECT_EQ(g->AddSourceFilter(Bstr(fixtures::Make(Kind::AviMjpegPcm, fixtures::ScratchFolder("graph"))), src.put()),
            S_OK);
  if (!src) return nullptr;
  ComPtr<IFilterInfo> srcInfo;
  src->QueryInterface(IFilterInfo::iid, srcInfo.put_void());
  ComPtr<IUnknown> unk;
  srcInfo->get_Filter(unk.put());
  ComPtr<IBaseFilter> filter;
  unk->QueryInterface(IBaseFilter::iid, filter.put_void());
  ComPtr<IPin> output;
  EXPECT_EQ(filter->FindPin(u"Output", output.put()), S_OK);
  return output;
}

TEST(AddFileWriterAndMux, AddsTheWriterWithTheTargetAndTheMuxUnconnected) {
  auto g = NewGraph();
  std::string target = fixtures::ScratchFolder("graph") + "/joined.avi";
  modGeneral::AddFileWriterAndMux(g.Get(), target);
  auto filters = Filters(g.Get());
  ASSERT_EQ(filters.size(), 2u);
  int writers = 0, muxes = 0;
  for (auto& f : filters) {
    EXPECT_FALSE(AnyPinConnected(f.filter.Get())) << f.name;
    if (f.name == "File writer") {
      ++writers;
      EXPECT_EQ(CurrentFile(f.filter.Get()), target);
    }
    if (f.name == "AVI Mux") ++muxes;
  }
  EXPECT_EQ(writers, 1);
  EXPECT_EQ(muxes, 1);

  // A second call adds a second pair; the second writer gets the new name.
  modGeneral::AddFileWriterAndMux(g.Get(), target + ".2");
  filters = Filters(g.Get());
  EXPECT_EQ(filters.size(), 4u);
  std::vector<std::string> files;
  for (auto& f : filters)
    if (f.name == "File writer") files.push_back(CurrentFile(f.filter.Get()));
  EXPECT_EQ(files, (std::vector<std::string>{target, target + ".2"}));
}

// ---------------------------------------------------------------------------------------------
// A graph whose list of registered filters is given by the test: each entry forwards to one of
// the real graph's registered filters under a name of the test's choosing, so that names with
// other letter cases, blanks around them and several filters of one name can be tried.

class RenamedRegFilter final : public ComObject<IRegFilterInfo> {
 public:
  RenamedRegFilter(ComPtr<IRegFilterInfo> real, std::string name) : real_(std::move(real)), name_(std::move(name)) {}
  HRESULT GetTypeInfoCount(uint32_t* n) override { return real_->GetTypeInfoCount(n); }
  HRESULT GetTypeInfo(uint32_t i, LCID l, ITypeInfo** t) override { return real_->GetTypeInfo(i, l, t); }
  HRESULT GetIDsOfNames(REFIID r, const char16_t** n, uint32_t c, LCID l, DISPID* d) override {
    return real_->GetIDsOfNames(r, n, c, l, d);
  }
  HRESULT Invoke(DISPID id, REFIID r, LCID l, WORD f, DISPPARAMS* p, VARIANT* v, EXCEPINFO* e,
                 uint32_t* a) override {
    return real_->Invoke(id, r, l, f, p, v, e, a);
  }
  HRESULT get_Name(Bstr* name) override {
    *name = Bstr(name_);
    return S_OK;
  }
  HRESULT Filter(IDispatch** filterInfo) override { return real_->Filter(filterInfo); }

 private:
  ComPtr<IRegFilterInfo> real_;
  std::string name_;
};

class ListCollection final : public ComObject<IAMCollection> {
 public:
  explicit ListCollection(std::vector<ComPtr<IUnknown>> items) : items_(std::move(items)) {}
  HRESULT GetTypeInfoCount(uint32_t* n) override {
    *n = 0;
    return S_OK;
  }
  HRESULT GetTypeInfo(uint32_t, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT GetIDsOfNames(REFIID, const char16_t**, uint32_t, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, uint32_t*) override {
    return E_NOTIMPL;
  }
  HRESULT get_Count(LONG* count) override {
    *count = static_cast<LONG>(items_.size());
    return S_OK;
  }
  HRESULT Item(LONG index, IUnknown** item) override {
    if (index < 0 || index >= static_cast<LONG>(items_.size())) return E_INVALIDARG;
    *item = items_[static_cast<size_t>(index)].Get();
    (*item)->AddRef();
    return S_OK;
  }
  HRESULT get__NewEnum(IUnknown**) override { return E_NOTIMPL; }

 private:
  std::vector<ComPtr<IUnknown>> items_;
};

class GraphWithRegisteredNames final : public ComObject<IMediaControl> {
 public:
  GraphWithRegisteredNames(ComPtr<IMediaControl> real, std::vector<ComPtr<IUnknown>> registered)
      : real_(std::move(real)), registered_(std::move(registered)) {}
  HRESULT GetTypeInfoCount(uint32_t* n) override { return real_->GetTypeInfoCount(n); }
  HRESULT GetTypeInfo(uint32_t i, LCID l, ITypeInfo** t) override { return real_->GetTypeInfo(i, l, t); }
  HRESULT GetIDsOfNames(REFIID r, const char16_t** n, uint32_t c, LCID l, DISPID* d) override {
    return real_->GetIDsOfNames(r, n, c, l, d);
  }
  HRESULT Invoke(DISPID id, REFIID r, LCID l, WORD f, DISPPARAMS* p, VARIANT* v, EXCEPINFO* e,
                 uint32_t* a) override {
    return real_->Invoke(id, r, l, f, p, v, e, a);
  }
  HRESULT Run() override { return real_->Run(); }
  HRESULT Pause() override { return real_->Pause(); }
  HRESULT Stop() override { return real_->Stop(); }
  HRESULT GetState(LONG ms, OAFilterState* state) override { return real_->GetState(ms, state); }
  HRESULT RenderFile(const Bstr& name) override { return real_->RenderFile(name); }
  HRESULT AddSourceFilter(const Bstr& name, IDispatch** unk) override { return real_->AddSourceFilter(name, unk); }
  HRESULT get_FilterCollection(IDispatch** unk) override { return real_->get_FilterCollection(unk); }
  HRESULT get_RegFilterCollection(IDispatch** unk) override {
    ComPtr<IAMCollection> list = MakeComObject<ListCollection>(registered_);
    return list->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(unk));
  }
  HRESULT StopWhenReady() override { return real_->StopWhenReady(); }

 private:
  ComPtr<IMediaControl> real_;
  std::vector<ComPtr<IUnknown>> registered_;
};

// The real graph's registered filter of that name.
ComPtr<IRegFilterInfo> RegisteredFilter(IMediaControl* g, const std::string& name) {
  ComPtr<IDispatch> disp;
  EXPECT_EQ(g->get_RegFilterCollection(disp.put()), S_OK);
  ComPtr<IAMCollection> regs;
  disp->QueryInterface(IAMCollection::iid, regs.put_void());
  LONG count = 0;
  regs->get_Count(&count);
  for (LONG i = 0; i < count; ++i) {
    ComPtr<IUnknown> item;
    regs->Item(i, item.put());
    ComPtr<IRegFilterInfo> reg;
    item->QueryInterface(IRegFilterInfo::iid, reg.put_void());
    Bstr n;
    reg->get_Name(&n);
    if (n.Utf8() == name) return reg;
  }
  ADD_FAILURE() << "no registered filter " << name;
  return nullptr;
}

TEST(AddFileWriterAndMux, NamesAreTrimmedAndCaselessAndEveryFilterOfTheNamesIsAdded) {
  auto real = NewGraph();
  ComPtr<IRegFilterInfo> writer = RegisteredFilter(real.Get(), "File writer");
  ComPtr<IRegFilterInfo> mux = RegisteredFilter(real.Get(), "AVI Mux");
  ComPtr<IRegFilterInfo> tee = RegisteredFilter(real.Get(), "Infinite Pin Tee Filter");
  ASSERT_TRUE(writer && mux && tee);
  auto entry = [](const ComPtr<IRegFilterInfo>& r, const char* name) -> ComPtr<IUnknown> {
    ComPtr<IRegFilterInfo> renamed = MakeComObject<RenamedRegFilter>(r, name);
    ComPtr<IUnknown> unk;
    renamed->QueryInterface(IID_IUnknown, unk.put_void());
    return unk;
  };
  ComPtr<IMediaControl> g = MakeComObject<GraphWithRegisteredNames>(
      real, std::vector<ComPtr<IUnknown>>{
                entry(writer, " FILE WRITER "), entry(tee, "File writers"), entry(mux, " AVI Mux "),
                entry(tee, "avi  mux"), entry(writer, "file writer"), entry(mux, "\tAVI Mux"),
            });
  std::string target = fixtures::ScratchFolder("graph") + "/renamed.avi";
  modGeneral::AddFileWriterAndMux(g.Get(), target);

  // Two writers and one multiplexer; near-miss names bring nothing in.
  auto filters = Filters(real.Get());
  std::vector<std::string> files;
  int muxes = 0;
  for (auto& f : filters) {
    EXPECT_FALSE(AnyPinConnected(f.filter.Get())) << f.name;
    if (f.name.rfind("File writer", 0) == 0) files.push_back(CurrentFile(f.filter.Get()));
    if (f.name.rfind("AVI Mux", 0) == 0) ++muxes;
  }
  EXPECT_EQ(filters.size(), 3u);
  EXPECT_EQ(muxes, 1);
  // The target goes to the writer added last; the first stays without a file name.
  ASSERT_EQ(files.size(), 2u);
  EXPECT_EQ(files[0], "");
  EXPECT_EQ(files[1], target);
}

TEST(AddFileWriterAndMux, WithoutAGraphNothingHappensAndNothingIsRaised) {
  modGeneral::AddFileWriterAndMux(nullptr, "/tmp/x.avi");
  EXPECT_FALSE(modGeneral::FindPinInfo(nullptr, nullptr));
}

TEST(FindPinInfo, FindsTheGraphsDescriptionOfThePinAndNothingForAForeignPin) {
  auto g = NewGraph();
  ComPtr<IPin> output = AddSourceOutput(g.Get());
  ASSERT_TRUE(output);

  ComPtr<IPinInfo> info = modGeneral::FindPinInfo(g.Get(), output.Get());
  ASSERT_TRUE(info);
  Bstr name;
  info->get_Name(&name);
  EXPECT_EQ(name.Utf8(), "Output");
  ComPtr<IUnknown> pin;
  info->get_Pin(pin.put());
  EXPECT_TRUE(IsSameObject(pin.Get(), output.Get()));

  auto other = NewGraph();
  EXPECT_FALSE(modGeneral::FindPinInfo(other.Get(), output.Get()));
}

TEST(FindPinInfo, RenderingThroughTheFoundPinGoesIntoTheMuxAndWritesTheFile) {
  // The join pipeline's order: mux and writer first, then the rendering of an output pin.
  auto g = NewGraph();
  std::string target = fixtures::ScratchFolder("graph") + "/rendered.avi";
  modGeneral::AddFileWriterAndMux(g.Get(), target);
  ComPtr<IPin> pin = AddSourceOutput(g.Get());
  ASSERT_TRUE(pin);
  ComPtr<IPinInfo> found = modGeneral::FindPinInfo(g.Get(), pin.Get());
  ASSERT_TRUE(found);
  ASSERT_GE(found->Render(), 0);
  for (auto& f : Filters(g.Get())) {
    EXPECT_NE(f.name, "Video Renderer");
    EXPECT_NE(f.name, "Audio Renderer");
  }
  ASSERT_EQ(g->Run(), S_OK);
  ComPtr<IMediaEvent> ev;
  g->QueryInterface(IMediaEvent::iid, ev.put_void());
  LONG code = 0;
  EXPECT_EQ(ev->WaitForCompletion(20000, &code), S_OK);
  EXPECT_EQ(code, 1);
  g->Stop();
  auto probe = fixtures::RunFfprobe(target);
  ASSERT_TRUE(probe.ok) << probe.error;
  ASSERT_TRUE(probe.First("video"));
  EXPECT_EQ(probe.First("video")->frames, fixtures::FrameCount({}));
  EXPECT_TRUE(probe.First("audio"));
}

}  // namespace
