// The graph procedures of modGeneral on the platform's filter graph manager.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "com/com.h"
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
