#pragma once
// The stream resizer: the frame-size table, the timeline group's output type, and the watch
// filter spliced in front of the compressor that feeds each AVI Mux; a refused sample becomes
// the event OnError on the creating thread.
#include <functional>
#include <string>

#include "IStreamResize.h"
#include "com/connection.h"
#include "com/dispatch.h"
#include "dshow/interfaces.h"
#include "dshow/mediatype.h"
#include "forms/hwnd.h"

namespace sizewarden {

constexpr GUID kLibId = MakeGuid("{9D8424DA-3111-49BB-BEC2-AC6B13706DB2}");
constexpr IID DIID__IStreamResizeEvents = MakeGuid("{A9E6DFD3-5122-4C70-91D3-40B6FCE1D9D8}");
constexpr CLSID CLSID_StreamResize = MakeGuid("{8E8DA354-142E-4028-AFEA-C9DBD4AA7661}");
constexpr HRESULT CTL_E_INVALIDPROPERTYARRAYINDEX = static_cast<HRESULT>(0x800A017D);
constexpr const char* kSizeErrorText =
    "The Compressor filter could not proccess the video sample. The Video size is probably invalid.";

class SampleGrabber;

constexpr UINT WM_ERASEBKGND = 0x0014;

// The notify window's procedure: messages up to 0xBFFF go to `notify` first (only
// WM_ERASEBKGND takes its answer), then to DefWindowProc; registered messages (0xC000 and up)
// go to DefWindowProc alone.
inline LRESULT RouteNotifyMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam,
                                  const std::function<LRESULT(HWND, UINT, WPARAM, LPARAM)>& notify) {
  if (msg <= 0xBFFF) {
    LRESULT answer = notify(hwnd, msg, wParam, lParam);
    if (msg == WM_ERASEBKGND) return answer;
  }
  return DefWindowProc(hwnd, msg, wParam, lParam);
}

class StreamResize : public DispatchObject<IStreamResize, ConnectionPointContainerImpl> {
 public:
  StreamResize();
  ~StreamResize() override;

  HRESULT get_TimelineGroup(IUnknown** pVal) override;
  HRESULT put_TimelineGroup(IUnknown* group) override;
  HRESULT DestroyObjects() override;
  HRESULT ChangeMediaType(LONG biWidth, LONG biHeight, LONG biPlanes, LONG biBitCount,
                          ErrorValue* pResult) override;
  HRESULT get_SizeCount(LONG* pVal) override;
  HRESULT QuerySize(int32_t nIndex, LONG* Cx, LONG* Cy, Bstr* description, ErrorValue* pResult) override;
  HRESULT PromptForGraph(IUnknown* pGraph) override;
  HRESULT CheckIfSizeIsSupported(IUnknown* pGraph, VARIANT_BOOL* pbResult) override;
  HRESULT About() override;

  // The hidden window the watch filters report to (0 before the first splice); the type last
  // built by ChangeMediaType.
  HWND NotifyWindow() const { return notify_; }
  const MediaType& LastMediaType() const { return mediaType_; }

 private:
  void InsertGrabberBeforeMux(IFilterGraph* graph);
  HRESULT SpliceGrabber(IFilterGraph* graph, IBaseFilter* compressor);
  static LRESULT OnNotifyMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, StreamResize* owner);
  void FireOnError(ErrorValue value, const std::string& description);
  void DestroyNotifyWindow();

  ConnectionPoint& events_;
  ComPtr<IUnknown> group_;
  ComPtr<IFilterGraph> graph_;
  IBaseFilter* grabber_ = nullptr;  // held by its graph
  HWND notify_ = 0;
  MediaType mediaType_;
};

}  // namespace sizewarden
