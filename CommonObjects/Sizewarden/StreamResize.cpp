#include "StreamResize.h"

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

#include "FindPin.h"
#include "SampleGrabber.h"
#include "com/moniker.h"
#include "com/server.h"
#include "core/msgbox.h"
#include "des/timeline.h"
#include "forms/dialogbox.h"

namespace sizewarden {

namespace {

struct SizeRow {
  LONG width;
  LONG height;
  const char* description;
};

constexpr SizeRow kSizes[] = {
    {160, 120, "160 x 120"},
    {240, 180, "240 x 180"},
    {320, 240, "320 x 240"},
    {640, 480, "640 x 480"},
    {704, 576, "704 x 576 (PAL DVD)"},
    {720, 576, "720 x 576 (PAL DVD)"},
    {352, 576, "352 x 576 (PAL DVD)"},
    {480, 576, "480 x 576 (PAL SVCD)"},
    {352, 288, "352 x 288 (PAL VCD/DVD)"},
    {720, 480, "720 x 480 (NTSC DVD)"},
    {704, 480, "704 x 480 (NTSC DVD)"},
    {352, 480, "352 x 480 (NTSC DVD)"},
    {480, 480, "480 x 480 (NTSC SVCD)"},
    {352, 240, "352 x 240 (NTSC VCD/DVD)"},
};
constexpr LONG kTableRows = sizeof kSizes / sizeof kSizes[0];

constexpr DISPID kOnError = 1;

enum DispId : DISPID {
  kTimelineGroup = 1,
  kDestroyObjects = 2,
  kChangeMediaType = 3,
  kSizeCount = 5,
  kQuerySize = 6,
  kPromptForGraph = 7,
  kCheckIfSizeIsSupported = 8,
  kAbout = 9,
};

// The item name a graph editor looks for: the pointer in 16 upper-case hex digits, the process
// id in 8 lower-case ones.
std::u16string RotItemName(const void* graph) {
  char text[64];
  std::snprintf(text, sizeof text, "FilterGraph %016llX pid %08x",
                static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(graph)),
                static_cast<unsigned>(getpid()));
  std::u16string wide;
  for (const char* p = text; *p; ++p) wide += static_cast<char16_t>(*p);
  return wide;
}

HRESULT RegisterGraphInRot(IUnknown* graph, DWORD* cookie) {
  *cookie = 0;
  ComPtr<IRunningObjectTable> rot;
  if (FAILED(GetRunningObjectTable(0, rot.put())) || !rot) return E_FAIL;
  ComPtr<IMoniker> moniker;
  HRESULT hr = CreateItemMoniker(u"!", RotItemName(graph).c_str(), moniker.put());
  if (FAILED(hr)) return hr;
  return rot->Register(0, graph, moniker.Get(), cookie);
}

void RevokeGraphFromRot(DWORD cookie) {
  ComPtr<IRunningObjectTable> rot;
  if (SUCCEEDED(GetRunningObjectTable(0, rot.put())) && rot) rot->Revoke(cookie);
}

}  // namespace

StreamResize::StreamResize()
    : DispatchObject(kLibId, 1, 0, IStreamResize::iid),
      events_(AddConnectionPoint(Unknown(), DIID__IStreamResizeEvents)) {
  Dispatch()
      .Get(kTimelineGroup, [this](DispatchArgs&) {
        ComPtr<IUnknown> g;
        CheckWithInfo(get_TimelineGroup(g.put()));
        return Variant(g.Get());
      })
      .Put(kTimelineGroup, [this](DispatchArgs& a) {
        CheckWithInfo(put_TimelineGroup(a.Unknown(0).Get()));
        return Variant();
      })
      .Method(kDestroyObjects, [this](DispatchArgs&) {
        CheckWithInfo(DestroyObjects());
        return Variant();
      })
      .Method(kChangeMediaType, [this](DispatchArgs& a) {
        ErrorValue r = errVal_NoError;
        CheckWithInfo(ChangeMediaType(a.Long(0), a.Long(1), a.Long(2), a.Long(3), &r));
        return Variant(static_cast<int32_t>(r));
      })
      .Get(kSizeCount, [this](DispatchArgs&) {
        LONG n = 0;
        CheckWithInfo(get_SizeCount(&n));
        return Variant(static_cast<int32_t>(n));
      })
      .Method(kQuerySize, [this](DispatchArgs& a) {
        LONG cx = 0, cy = 0;
        Bstr d;
        ErrorValue r = errVal_NoError;
        CheckWithInfo(QuerySize(a.Long(0), &cx, &cy, &d, &r));
        a.Set(1, Variant(static_cast<int32_t>(cx)));
        a.Set(2, Variant(static_cast<int32_t>(cy)));
        a.Set(3, Variant(d));
        return Variant(static_cast<int32_t>(r));
      })
      .Method(kPromptForGraph, [this](DispatchArgs& a) {
        CheckWithInfo(PromptForGraph(a.Unknown(0).Get()));
        return Variant();
      })
      .Method(kCheckIfSizeIsSupported, [this](DispatchArgs& a) {
        VARIANT_BOOL b = VARIANT_FALSE;
        CheckWithInfo(CheckIfSizeIsSupported(a.Unknown(0).Get(), &b));
        return Variant(b != VARIANT_FALSE);
      })
      .Method(kAbout, [this](DispatchArgs&) {
        CheckWithInfo(About());
        return Variant();
      });
}

StreamResize::~StreamResize() {
  DestroyNotifyWindow();
  graph_ = nullptr;
  group_ = nullptr;
}

HRESULT StreamResize::get_TimelineGroup(IUnknown** pVal) {
  if (!pVal) return E_POINTER;
  *pVal = group_ ? ComPtr<IUnknown>(group_).Detach() : nullptr;
  return S_OK;
}

HRESULT StreamResize::put_TimelineGroup(IUnknown* group) {
  // The group of a new join discards the previous join's graph, watch filter and window.
  if (group_) static_cast<IStreamResize*>(this)->DestroyObjects();
  // Held with a reference: the caller may drop its timeline while the group is still asked for.
  group_ = ComPtr<IUnknown>(group);
  return S_OK;
}

HRESULT StreamResize::DestroyObjects() {
  group_ = nullptr;
  if (graph_ && grabber_) graph_->RemoveFilter(grabber_);
  grabber_ = nullptr;
  graph_ = nullptr;
  DestroyNotifyWindow();
  return S_OK;
}

HRESULT StreamResize::ChangeMediaType(LONG biWidth, LONG biHeight, LONG, LONG, ErrorValue* pResult) {
  if (!pResult) return E_POINTER;
  if (!group_) {
    *pResult = errVal_InvalidPtr;
    return S_OK;
  }
  // Sizes are computed in 64 bits: a size the image size field cannot hold is refused.
  const int64_t width = biWidth, height = biHeight;
  const int64_t stride = ((width * 16 + 31) / 32) * 4;
  const int64_t rows = height < 0 ? -height : height;
  if (width <= 0 || height == 0 || stride * rows > INT64_C(0xFFFFFFFF)) {
    *pResult = errVal_VideoSizeInvalid;
    return S_OK;
  }
  ComPtr<IAMTimelineGroup> group = group_.As<IAMTimelineGroup>();
  if (!group) {
    *pResult = errVal_VideoSizeInvalid;
    return S_OK;
  }
  VIDEOINFOHEADER vih{};
  vih.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  vih.bmiHeader.biWidth = biWidth;
  vih.bmiHeader.biHeight = biHeight;
  vih.bmiHeader.biPlanes = 1;
  vih.bmiHeader.biBitCount = 16;
  vih.bmiHeader.biCompression = BI_RGB;
  vih.bmiHeader.biSizeImage = static_cast<uint32_t>(stride * rows);
  MediaType mt;
  mt.majortype = MEDIATYPE_Video;
  mt.subtype = MEDIASUBTYPE_RGB555;
  mt.formattype = FORMAT_VideoInfo;
  mt.bFixedSizeSamples = true;
  mt.bTemporalCompression = false;
  mt.lSampleSize = vih.bmiHeader.biSizeImage;
  std::memcpy(SetFormatBuffer(mt, sizeof vih), &vih, sizeof vih);
  mediaType_ = mt;
  *pResult = FAILED(group->SetMediaType(&mediaType_)) ? errVal_VideoSizeInvalid : errVal_NoError;
  return S_OK;
}

HRESULT StreamResize::get_SizeCount(LONG* pVal) {
  if (!pVal) return E_POINTER;
  *pVal = kTableRows;
  return S_OK;
}

HRESULT StreamResize::QuerySize(int32_t nIndex, LONG* Cx, LONG* Cy, Bstr* description, ErrorValue* pResult) {
  const uint32_t index = static_cast<uint32_t>(nIndex);
  if (index == 0) return CTL_E_INVALIDPROPERTYARRAYINDEX;
  SizeRow row{0, 0, "Unknown"};
  if (index <= static_cast<uint32_t>(kTableRows)) row = kSizes[index - 1];
  if (Cx) *Cx = row.width;
  if (Cy) *Cy = row.height;
  if (description) *description = Bstr::FromUtf8(row.description);
  if (pResult) *pResult = errVal_NoError;
  return S_OK;
}

HRESULT StreamResize::PromptForGraph(IUnknown* pGraph) {
  if (!pGraph) return S_OK;
  return ComCall([&] {
    DWORD cookie = 0;
    RegisterGraphInRot(pGraph, &cookie);
    MsgBox("You can connect to the stream Graph right now. This is NOT an error.",
           vbInformation | vbSystemModal | vbMsgBoxSetForeground, std::string("Developer information"));
    if (cookie) RevokeGraphFromRot(cookie);
  });
}

HRESULT StreamResize::CheckIfSizeIsSupported(IUnknown* pGraph, VARIANT_BOOL* pbResult) {
  graph_ = nullptr;
  grabber_ = nullptr;
  ComPtr<IFilterGraph> graph;
  if (pGraph && SUCCEEDED(pGraph->QueryInterface(IFilterGraph::iid, graph.put_void())) && graph) {
    InsertGrabberBeforeMux(graph.Get());
    graph_ = graph;
  }
  if (pbResult) *pbResult = VARIANT_TRUE;
  return S_OK;
}

HRESULT StreamResize::About() {
  return ComCall([&] {
    DialogBoxParam(ThisComServer().ModulePath(), 102, GetActiveWindow(),
                   [](HWND dialog, UINT msg, WPARAM wParam, LPARAM) -> intptr_t {
                     if (msg == WM_INITDIALOG) return 1;
                     if (msg == WM_COMMAND && ((wParam & 0xFFFF) == IDOK || (wParam & 0xFFFF) == IDCANCEL)) {
                       EndDialog(dialog, static_cast<intptr_t>(wParam & 0xFFFF));
                       return 1;
                     }
                     return 0;
                   },
                   0);
  });
}

void StreamResize::InsertGrabberBeforeMux(IFilterGraph* graph) {
  // The splice adds filters: walk the graph's filters as they were.
  const std::vector<ComPtr<IBaseFilter>> all = graphparts::FiltersOf(graph);
  for (auto& filter : all) {
    FILTER_INFO info;
    if (FAILED(filter->QueryFilterInfo(&info))) continue;
    if (info.pGraph) info.pGraph->Release();
    if (info.achName != u"AVI Mux") continue;
    ComPtr<IEnumPins> pins;
    if (FAILED(filter->EnumPins(pins.put())) || !pins) continue;
    for (;;) {
      ComPtr<IPin> pin;
      ULONG fetched = 0;
      if (pins->Next(1, pin.put(), &fetched) != S_OK || fetched != 1 || !pin) break;
      PIN_DIRECTION dir = PINDIR_OUTPUT;
      if (FAILED(pin->QueryDirection(&dir)) || dir != PINDIR_INPUT) continue;
      ComPtr<IPin> up;
      if (pin->ConnectedTo(up.put()) != S_OK || !up) continue;
      MediaType mt;
      if (FAILED(up->ConnectionMediaType(&mt)) || mt.formattype != FORMAT_VideoInfo) continue;
      PIN_INFO pinInfo;
      if (SUCCEEDED(up->QueryPinInfo(&pinInfo)) && pinInfo.pFilter) {
        ComPtr<IBaseFilter> compressor = ComPtr<IBaseFilter>::Attach(pinInfo.pFilter);
        SpliceGrabber(graph, compressor.Get());
      }
      break;
    }
  }
}

HRESULT StreamResize::SpliceGrabber(IFilterGraph* graph, IBaseFilter* compressor) {
  if (!notify_) {
    notify_ = CreateMessageWindow(
        [this](HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) -> LRESULT {
          return RouteNotifyMessage(hwnd, msg, wParam, lParam, [this](HWND h, UINT m, WPARAM w, LPARAM l) {
            return OnNotifyMessage(h, m, w, l, this);
          });
        },
        "NotifyWnd");
  }
  ComPtr<IPin> pin;
  graphparts::FindPin(compressor, PINDIR_INPUT, 0, true, pin.put());
  if (!pin) return S_FALSE;
  ComPtr<IPin> up;
  if (pin->ConnectedTo(up.put()) != S_OK || !up) return S_FALSE;
  graph->Disconnect(up.Get());
  graph->Disconnect(pin.Get());

  HRESULT created = S_OK;
  ComPtr<SampleGrabber> grabber = MakeComObject<SampleGrabber>(&created);
  grabber->SetNotifyWindow(notify_);
  HRESULT hr = FAILED(created) ? created : graph->AddFilter(grabber.Get(), u"Sample Grabber");
  ComPtr<IPin> wIn, wOut;
  if (SUCCEEDED(hr)) {
    graphparts::FindPin(grabber.Get(), PINDIR_INPUT, 0, false, wIn.put());
    graphparts::FindPin(grabber.Get(), PINDIR_OUTPUT, 0, false, wOut.put());
    hr = wIn && wOut ? graph->ConnectDirect(up.Get(), wIn.Get(), nullptr) : VFW_E_NOT_FOUND;
    if (SUCCEEDED(hr)) hr = graph->ConnectDirect(wOut.Get(), pin.Get(), nullptr);
  }
  if (FAILED(hr)) {
    // The compressor must not be left cut off: take the watch filter out and join the two pins
    // again as they were.
    graph->RemoveFilter(grabber.Get());
    graph->ConnectDirect(up.Get(), pin.Get(), nullptr);
    return hr;
  }
  grabber_ = grabber.Get();
  return hr;
}

LRESULT StreamResize::OnNotifyMessage(HWND, UINT msg, WPARAM, LPARAM, StreamResize* owner) {
  if (msg == WM_STREAMRESIZE_DELIVERY_FAILED && owner) owner->FireOnError(errVal_VideoSizeInvalid, kSizeErrorText);
  return 0;
}

void StreamResize::FireOnError(ErrorValue value, const std::string& description) {
  events_.FireDispatch(kOnError, {Variant(static_cast<int32_t>(value)), Variant(Bstr::FromUtf8(description))});
}

void StreamResize::DestroyNotifyWindow() {
  if (notify_) DestroyWindow(std::exchange(notify_, 0));
}

}  // namespace sizewarden
