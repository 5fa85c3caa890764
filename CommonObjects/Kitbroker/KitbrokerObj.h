#pragma once
// The codec manager control: lists the compressors of a category, shows their boxes, inserts
// the chosen ones into a rendered join graph, and gives its error numbers' texts.
#include "IKitbrokerObj.h"
#include "com/connectionpoint.h"
#include "com/dispatch.h"
#include "dshow/devenum.h"
#include "dshow/interfaces.h"

namespace kitbroker {

// The text of a control error number ("Unspecified Error" outside the table).
const char* ErrorText(int32_t errNumber);
// "" for a success code; the media framework's text, else the system's, else "Unknown Error".
std::string HResultText(HRESULT hr);
// The filter a codec identifier (a device moniker's display name) binds to.
HRESULT CreateFilterFromDisplayName(const Bstr& identifier, IBaseFilter** filter);
// Puts the compressors between the AVI multiplexer and the pins that fed it; undoes every
// change when a step fails.
tagKitbrokerError InsertCompressors(IUnknown* pGraph, const Bstr& videoCodec, const Bstr& audioCodec);

// The control's automation members over a base that serves IKitbrokerObj's IDispatch and the
// connection points (the control base, ActiveXControl<IKitbrokerObj>).
template <class Base>
class KitbrokerCore : public Base {
 public:
  HRESULT ListAVICompressionCodecs(tagMediaCategory Category, tagKitbrokerError* pResult) override;
  HRESULT TranslateError(tagKitbrokerError errNumber, Bstr* pResult) override;
  HRESULT TranslateHRESULT(LONG hr, Bstr* pResult) override;
  HRESULT DoesCodecHaveAboutBox(const Bstr& CodecGuid, VARIANT_BOOL* pResult) override;
  HRESULT DoesCodecHaveConfigureBox(const Bstr& CodecGuid, VARIANT_BOOL* pResult) override;
  HRESULT ShowCodecAboutBox(LONG HwndParent, const Bstr& CodecGuid) override;
  HRESULT ShowCodecConfigureBox(LONG HwndParent, const Bstr& CodecGuid) override;
  HRESULT InsertCompressorIntoRenderedGraph(IUnknown* pGraph, const Bstr& VideoCodecGuid,
                                            const Bstr& AudioCodecGuid, tagKitbrokerError* pResult) override;

 protected:
  template <class... Args>
  explicit KitbrokerCore(Args&&... args);
  void FireCompressionCodecListed(const Bstr& name, const Bstr& identifier, int32_t category);
  ConnectionPoint& Events() { return *events_; }

 private:
  ConnectionPoint* events_ = nullptr;
};

// Answers whether the codec has the box (query: VfwCompressDialog_QueryAbout or _QueryConfig).
bool CodecHasBox(const Bstr& identifier, int32_t query);
// Shows the codec's about box (about = true) or its configuration box over the owner window.
void ShowCodecBox(LONG owner, const Bstr& identifier, bool about);
// Lists a category, raising the event through fire; returns the error number and sets *hr.
tagKitbrokerError ListCodecs(int32_t category, const std::function<void(const Bstr&, const Bstr&)>& fire,
                             HRESULT* hr);

// How the listing makes the system device enumerator. A test puts its own maker in to make the
// creation fail or throw; null puts the system's back.
using DeviceEnumeratorMaker = HRESULT (*)(ICreateDevEnum** out);
void SetDeviceEnumeratorMaker(DeviceEnumeratorMaker maker);

}  // namespace kitbroker

#include "KitbrokerCore.inl"
