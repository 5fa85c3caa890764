#pragma once
// The Kitbroker library's interfaces as their callers use them: the codec manager control
// (IKitbrokerObj, its events _IKitbrokerObjEvents) and the string list (IStringList).
#include "core/bstr.h"
#include "core/unknown.h"
#include "core/variant.h"

namespace kitbroker {
constexpr GUID kLibId = MakeGuid("{73D77525-0DC4-41A9-9690-E34D2F21B339}");
constexpr IID DIID__IKitbrokerObjEvents = MakeGuid("{DF719711-BB78-4E1A-B265-2D0BFBCA08E1}");
constexpr CLSID CLSID_Kitbroker = MakeGuid("{22C86AA4-92CE-4620-8EA9-01C394F05CBC}");
constexpr CLSID CLSID_StringList = MakeGuid("{49BBAEE7-6F85-4E37-81F6-891BC4CDDBA6}");
// The event CompressionCodecListed(CodecName, CodecGuid, CodecCategory).
constexpr DISPID kCompressionCodecListed = 1;
}  // namespace kitbroker

enum tagMediaCategory : int32_t {
  CodecCategoryVideo = 0,
  CodecCategoryAudio = 1,
};

enum tagKitbrokerError : int32_t {
  kbErrorNoError = 0,
  kbErrorGeneric = 1,
  kbErrorException = 2,
  kbErrorSysDeviceEnumCreationFailed = 3,
  kbErrorCreateClassEnumeratorFailed = 4,
  kbErrorCreateGraphBuilderFailed = 5,
  kbErrorGraphRenderFailed = 6,
  kbErrorMediaControlNotRetrieved = 7,
  kbErrorGraphCouldNotBeRun = 8,
  kbErrorVideoFormatNotSupported = 9,
  kbErrorConversionFailed = 11,
  kbErrorInvalidFilesSpecified = 12,
  kbErrorAlreadyConverting = 13,
  kbErrorFileWriterFilterNotAdded = 14,
  kbErrorRendererNotAdded = 15,
  kbErrorTeeFilterNotInserted = 16,
  kbErrorGraphReorganizationFailed = 17,
  kbErrorCompressionFiltersNotAdded = 18,
  kbErrorGraphObjectUnavailable = 19,
  kbErrorAviMuxNotFound = 20,
  kbErrorAviMuxPinsNotRetrieved = 21,
  kbErrorCouldNotDisconnect = 22,
  kbErrorCouldNotCreateCompressor = 23,
  kbErrorAudioCompressorPinConnect = 24,
  kbErrorVideoCompressorPinConnect = 25,
  kbErrorVideoCompressorCouldNotBeAddedToGraph = 26,
  kbErrorAudioCompressorCouldNotBeAddedToGraph = 27,
};

class IKitbrokerObj : public IDispatch {
 public:
  static constexpr IID iid = MakeGuid("{AC14B81A-CB8E-4B37-885E-5713C0BF3B04}");
  virtual HRESULT ListAVICompressionCodecs(tagMediaCategory Category, tagKitbrokerError* pResult) = 0;
  virtual HRESULT TranslateError(tagKitbrokerError errNumber, Bstr* pResult) = 0;
  virtual HRESULT TranslateHRESULT(LONG hr, Bstr* pResult) = 0;
  virtual HRESULT DoesCodecHaveAboutBox(const Bstr& CodecGuid, VARIANT_BOOL* pResult) = 0;
  virtual HRESULT DoesCodecHaveConfigureBox(const Bstr& CodecGuid, VARIANT_BOOL* pResult) = 0;
  virtual HRESULT ShowCodecAboutBox(LONG HwndParent, const Bstr& CodecGuid) = 0;
  virtual HRESULT ShowCodecConfigureBox(LONG HwndParent, const Bstr& CodecGuid) = 0;
  virtual HRESULT InsertCompressorIntoRenderedGraph(IUnknown* pGraph, const Bstr& VideoCodecGuid,
                                                    const Bstr& AudioCodecGuid, tagKitbrokerError* pResult) = 0;
};

class IStringList : public IDispatch {
 public:
  static constexpr IID iid = MakeGuid("{38B76D9D-08C8-422A-9FE1-BD0E985B8082}");
  virtual HRESULT Add(const Bstr& Item) = 0;
  virtual HRESULT Get(LONG Index, Bstr* pResult) = 0;
  virtual HRESULT RemoveAll() = 0;
  virtual HRESULT RemoveTail() = 0;
  virtual HRESULT RemoveHead() = 0;
  virtual HRESULT Find(const Bstr& Item, LONG* pResult) = 0;
};
