// The control's automation members (included by KitbrokerObj.h).
#pragma once

namespace kitbroker {

namespace core_detail {
enum DispId : DISPID {
  kList = 1,
  kTranslateError = 2,
  kTranslateHResult = 3,
  kHasAbout = 4,
  kHasConfigure = 5,
  kShowAbout = 6,
  kShowConfigure = 7,
  kInsert = 8,
};
}  // namespace core_detail

template <class Base>
template <class... Args>
KitbrokerCore<Base>::KitbrokerCore(Args&&... args) : Base(std::forward<Args>(args)...) {
  using namespace core_detail;
  events_ = &this->AddConnectionPoint(this->Unknown(), DIID__IKitbrokerObjEvents);
  this->Dispatch()
      .Method(kList, [this](DispatchArgs& a) {
        tagKitbrokerError r = kbErrorNoError;
        CheckWithInfo(ListAVICompressionCodecs(static_cast<tagMediaCategory>(a.Long(0)), &r));
        return Variant(static_cast<int32_t>(r));
      })
      .Method(kTranslateError, [this](DispatchArgs& a) {
        Bstr r;
        CheckWithInfo(TranslateError(static_cast<tagKitbrokerError>(a.Long(0)), &r));
        return Variant(r);
      })
      .Method(kTranslateHResult, [this](DispatchArgs& a) {
        Bstr r;
        CheckWithInfo(TranslateHRESULT(a.Long(0), &r));
        return Variant(r);
      })
      .Method(kHasAbout, [this](DispatchArgs& a) {
        VARIANT_BOOL r = VARIANT_FALSE;
        CheckWithInfo(DoesCodecHaveAboutBox(a.BString(0), &r));
        return Variant(r != VARIANT_FALSE);
      })
      .Method(kHasConfigure, [this](DispatchArgs& a) {
        VARIANT_BOOL r = VARIANT_FALSE;
        CheckWithInfo(DoesCodecHaveConfigureBox(a.BString(0), &r));
        return Variant(r != VARIANT_FALSE);
      })
      .Method(kShowAbout, [this](DispatchArgs& a) {
        CheckWithInfo(ShowCodecAboutBox(a.Long(0), a.BString(1)));
        return Variant();
      })
      .Method(kShowConfigure, [this](DispatchArgs& a) {
        CheckWithInfo(ShowCodecConfigureBox(a.Long(0), a.BString(1)));
        return Variant();
      })
      .Method(kInsert, [this](DispatchArgs& a) {
        tagKitbrokerError r = kbErrorNoError;
        CheckWithInfo(InsertCompressorIntoRenderedGraph(a.Unknown(0).Get(), a.BString(1), a.BString(2), &r));
        return Variant(static_cast<int32_t>(r));
      });
}

template <class Base>
void KitbrokerCore<Base>::FireCompressionCodecListed(const Bstr& name, const Bstr& identifier,
                                                        int32_t category) {
  events_->FireDispatch(kCompressionCodecListed, {Variant(name), Variant(identifier), Variant(category)});
}

template <class Base>
HRESULT KitbrokerCore<Base>::ListAVICompressionCodecs(tagMediaCategory Category, tagKitbrokerError* pResult) {
  if (!pResult) return E_POINTER;
  HRESULT hr = S_OK;
  *pResult = ListCodecs(
      Category, [&](const Bstr& name, const Bstr& id) { FireCompressionCodecListed(name, id, Category); }, &hr);
  return hr;
}

template <class Base>
HRESULT KitbrokerCore<Base>::TranslateError(tagKitbrokerError errNumber, Bstr* pResult) {
  if (!pResult) return E_POINTER;
  *pResult = Bstr::FromUtf8(ErrorText(errNumber));
  return S_OK;
}

template <class Base>
HRESULT KitbrokerCore<Base>::TranslateHRESULT(LONG hr, Bstr* pResult) {
  if (!pResult) return E_POINTER;
  *pResult = Bstr::FromUtf8(HResultText(static_cast<HRESULT>(hr)));
  return S_OK;
}

template <class Base>
HRESULT KitbrokerCore<Base>::DoesCodecHaveAboutBox(const Bstr& CodecGuid, VARIANT_BOOL* pResult) {
  if (!pResult) return E_POINTER;
  *pResult = CodecHasBox(CodecGuid, 0x08) ? VARIANT_TRUE : VARIANT_FALSE;
  return S_OK;
}

template <class Base>
HRESULT KitbrokerCore<Base>::DoesCodecHaveConfigureBox(const Bstr& CodecGuid, VARIANT_BOOL* pResult) {
  if (!pResult) return E_POINTER;
  *pResult = CodecHasBox(CodecGuid, 0x04) ? VARIANT_TRUE : VARIANT_FALSE;
  return S_OK;
}

template <class Base>
HRESULT KitbrokerCore<Base>::ShowCodecAboutBox(LONG HwndParent, const Bstr& CodecGuid) {
  ShowCodecBox(HwndParent, CodecGuid, true);
  return S_OK;
}

template <class Base>
HRESULT KitbrokerCore<Base>::ShowCodecConfigureBox(LONG HwndParent, const Bstr& CodecGuid) {
  ShowCodecBox(HwndParent, CodecGuid, false);
  return S_OK;
}

template <class Base>
HRESULT KitbrokerCore<Base>::InsertCompressorIntoRenderedGraph(IUnknown* pGraph, const Bstr& VideoCodecGuid,
                                                                  const Bstr& AudioCodecGuid,
                                                                  tagKitbrokerError* pResult) {
  if (!pResult) return E_POINTER;
  *pResult = InsertCompressors(pGraph, VideoCodecGuid, AudioCodecGuid);
  return S_OK;
}

}  // namespace kitbroker
