#include "SampleGrabber.h"

#include <new>

namespace sizewarden {

namespace {

// The input pin proposes one empty type of its own, so that the upstream pin connects with a
// type of its choosing; once the output is connected it offers what lies downstream.
class SampleGrabberInputPin : public dshow::InPlaceInputPin {
 public:
  explicit SampleGrabberInputPin(dshow::InPlaceTransformFilter* filter) : InPlaceInputPin(filter, u"Input") {}

  HRESULT GetMediaType(int position, MediaType* mt) override {
    if (position < 0) return E_INVALIDARG;
    if (position > 0) return VFW_S_NO_MORE_ITEMS;
    if (!mt) return E_POINTER;
    *mt = MediaType();
    return S_OK;
  }

  HRESULT EnumMediaTypes(IEnumMediaTypes** ppEnum) override {
    if (!ppEnum) return E_POINTER;
    *ppEnum = nullptr;
    ComPtr<IPin> downstream = transform_->OutputPin()->Peer();
    if (downstream) return downstream->EnumMediaTypes(ppEnum);
    try {
      *ppEnum = dshow::MakeMediaTypeEnum({MediaType()}).Detach();
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    }
    return *ppEnum ? S_OK : E_OUTOFMEMORY;
  }
};

}  // namespace

SampleGrabber::SampleGrabber(HRESULT* hr) : InPlaceTransformFilter(u"SampleGrabber", CLSID_SampleGrabber, false) {
  HRESULT result = S_OK;
  try {
    SetInputPin(std::make_unique<SampleGrabberInputPin>(this));
  } catch (const std::bad_alloc&) {
    result = E_OUTOFMEMORY;
  }
  if (hr) *hr = result;
}

HRESULT SampleGrabber::Receive(dshow::Pin*, IMediaSample* sample) {
  if (!sample) return E_POINTER;
  AM_SAMPLE2_PROPERTIES props;
  ComPtr<IMediaSample2> s2;
  if (SUCCEEDED(sample->QueryInterface(IMediaSample2::iid, s2.put_void())) && s2 &&
      SUCCEEDED(s2->GetProperties(sizeof props, reinterpret_cast<BYTE*>(&props))) &&
      props.dwStreamId != AM_STREAM_MEDIA) {
    return OutputPin()->IsConnected() ? OutputPin()->Deliver(sample) : S_OK;
  }
  ComPtr<IMediaSample> copy;
  IMediaSample* work = sample;
  if (UsingDifferentAllocators()) {
    copy = ComPtr<IMediaSample>::Attach(Copy(sample));
    if (!copy) return E_UNEXPECTED;
    work = copy.Get();
  }
  Transform(work);
  if (!OutputPin()->IsConnected()) return S_OK;
  HRESULT hr = OutputPin()->Deliver(work);
  if (FAILED(hr) && hr != VFW_E_WRONG_STATE) {
    HWND window = notify_;
    if (window) SendMessage(window, WM_STREAMRESIZE_DELIVERY_FAILED, 0, 0);
  }
  return hr;
}

}  // namespace sizewarden
