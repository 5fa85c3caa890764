#include "engine/modGeneralGraph.h"

#include <algorithm>
#include <cctype>

#include "core/error.h"
#include "core/system_messages.h"
#include "engine/ObjectCast.h"

namespace modGeneral {

namespace {

std::string LowerTrimmed(std::string s) {
  auto blank = [](unsigned char c) { return c == ' '; };
  while (!s.empty() && blank(static_cast<unsigned char>(s.front()))) s.erase(s.begin());
  while (!s.empty() && blank(static_cast<unsigned char>(s.back()))) s.pop_back();
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

}  // namespace

ComPtr<IPinInfo> FindPinInfo(IMediaControl* graph, IPin* pin) {
  ComPtr<IPinInfo> result;
  bool found = false;
  EndQuietly([&] {
    if (!graph) Raise(vbErrObjectNotSet);
    ComPtr<IDispatch> filtersDisp;
    Check(graph->get_FilterCollection(filtersDisp.put()));
    auto filters = Cast<IAMCollection>(filtersDisp.Get());
    LONG filterCount = 0;
    Check(filters->get_Count(&filterCount));
    for (LONG i = 0; i < filterCount && !found; ++i) {
      ComPtr<IUnknown> item;
      Check(filters->Item(i, item.put()));
      auto filterInfo = Cast<IFilterInfo>(item.Get());
      ComPtr<IDispatch> pinsDisp;
      Check(filterInfo->get_Pins(pinsDisp.put()));
      auto pins = Cast<IAMCollection>(pinsDisp.Get());
      LONG pinCount = 0;
      Check(pins->get_Count(&pinCount));
      for (LONG j = 0; j < pinCount; ++j) {
        ComPtr<IUnknown> pinItem;
        Check(pins->Item(j, pinItem.put()));
        auto pinInfo = Cast<IPinInfo>(pinItem.Get());
        ComPtr<IUnknown> candidate;
        Check(pinInfo->get_Pin(candidate.put()));
        auto asPin = Cast<IPin>(candidate.Get());
        if (IsSameObject(asPin.Get(), pin)) {
          result = pinInfo;
          found = true;
          break;
        }
      }
    }
  });
  Err().Clear();
  return found ? result : nullptr;
}

void AddFileWriterAndMux(IMediaControl* graph, const std::string& target) {
  EndQuietly([&] {
    if (!graph) Raise(vbErrObjectNotSet);
    ComPtr<IDispatch> regsDisp;
    Check(graph->get_RegFilterCollection(regsDisp.put()));
    auto regs = Cast<IAMCollection>(regsDisp.Get());
    LONG count = 0;
    Check(regs->get_Count(&count));
    ComPtr<IFilterInfo> writer;
    ComPtr<IFilterInfo> mux;
    for (LONG i = 0; i < count; ++i) {
      ComPtr<IUnknown> item;
      Check(regs->Item(i, item.put()));
      auto reg = Cast<IRegFilterInfo>(item.Get());
      Bstr name;
      Check(reg->get_Name(&name));
      std::string lowered = LowerTrimmed(name.Utf8());
      if (lowered == "file writer") {
        ComPtr<IDispatch> added;
        Check(reg->Filter(added.put()));
        writer = Cast<IFilterInfo>(added.Get());
      } else if (lowered == "avi mux") {
        ComPtr<IDispatch> added;
        Check(reg->Filter(added.put()));
        mux = Cast<IFilterInfo>(added.Get());
      }
    }
    if (!writer) Raise(vbErrObjectNotSet);
    ComPtr<IUnknown> filter;
    Check(writer->get_Filter(filter.put()));
    auto sink = Cast<IFileSinkFilter>(filter.Get());
    Check(sink->SetFileName(Utf8ToUtf16(target).c_str(), nullptr));
  });
  Err().Clear();
}

void RenderGroupOutputs(IRenderEngine* engine, IAMTimeline* timeline) {
  if (!timeline || !engine) return;
  LONG count = 0;
  Step([&] { Check(timeline->GetGroupCount(&count)); });
  if (count == 0) {
    Err().Clear();
    return;
  }
  ComPtr<IMediaControl> graph;
  Step([&] {
    ComPtr<IGraphBuilder> builder;
    Check(engine->GetFilterGraph(builder.put()));
    graph = Cast<IMediaControl>(builder.Get());
  });
  for (LONG i = 0; i < count; ++i) {
    ComPtr<IPin> pin;
    Step([&] { Check(engine->GetGroupOutputPin(i, pin.put())); });
    if (!pin) continue;
    ComPtr<IPinInfo> info = FindPinInfo(graph.Get(), pin.Get());
    if (info) Step([&] { Check(info->Render()); });
  }
  Err().Clear();
}

std::string GraphErrorText(HRESULT hr) {
  char buffer[512] = {};
  if (AMGetErrorText(hr, buffer, sizeof buffer) > 0) return buffer;
  const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                 static_cast<DWORD>(hr), 0x0400, buffer, sizeof buffer, nullptr);
  std::string text(buffer, n);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text.empty() ? ErrorDescription(hr) : text;
}

HRESULT AbortResult(IMediaControl* graph) {
  ComPtr<IMediaEvent> events;
  if (!graph || FAILED(graph->QueryInterface(IMediaEvent::iid, events.put_void()))) return E_FAIL;
  LONG code = 0;
  LONG_PTR p1 = 0, p2 = 0;
  HRESULT found = E_FAIL;
  while (SUCCEEDED(events->GetEvent(&code, &p1, &p2, 0))) {
    if ((code == EC_ERRORABORT || code == EC_STREAM_ERROR_STOPPED) && found == E_FAIL && FAILED(static_cast<HRESULT>(p1)))
      found = static_cast<HRESULT>(p1);
    events->FreeEventParams(code, p1, p2);
  }
  return found;
}

}  // namespace modGeneral
