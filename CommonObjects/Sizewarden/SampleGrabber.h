#pragma once
// The watch filter: a read-only pass-through put in front of a compressor. A sample the
// compressor refuses (for any reason but the graph's stopping) is reported at once, by a
// synchronous message to the owner's notify window, before the failure travels upstream.
#include "dshow/baseclasses.h"
#include "forms/hwnd.h"

namespace sizewarden {

// {2FA4F053-6D60-4CB0-9503-8E89234F3F73}: reported by GetClassID; never served by a class factory.
constexpr CLSID CLSID_SampleGrabber = MakeGuid("{2FA4F053-6D60-4CB0-9503-8E89234F3F73}");
// Sent (wParam 0, lParam 0) for every failed delivery.
constexpr UINT WM_STREAMRESIZE_DELIVERY_FAILED = WM_USER + 113;

class SampleGrabber : public dshow::InPlaceTransformFilter {
 public:
  // hr: E_OUTOFMEMORY when the input pin could not be made.
  explicit SampleGrabber(HRESULT* hr = nullptr);
  void SetNotifyWindow(HWND hwnd) { notify_ = hwnd; }
  HWND NotifyWindow() const { return notify_; }

  HRESULT CheckInputType(const AM_MEDIA_TYPE&) override { return S_OK; }
  HRESULT Transform(IMediaSample*) override { return S_OK; }
  HRESULT Receive(dshow::Pin* pin, IMediaSample* sample) override;

 private:
  std::atomic<HWND> notify_{0};
};

}  // namespace sizewarden
