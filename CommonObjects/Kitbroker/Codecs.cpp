// The control's codec work: listing a category, codec boxes, and the texts of error numbers
// and failure codes.
#include <cstring>
#include <exception>

#include "KitbrokerObj.h"
#include "com/com.h"
#include "com/moniker.h"
#include "core/system_messages.h"
#include "dshow/devenum.h"
#include "dshow/propertypages.h"
#include "dshow/uuids.h"

namespace kitbroker {

namespace {

constexpr const char* kGraphBuilderText =
    "The Graph Builder could not be created. Please check that DirectX8 is installed, and is working properly.";
constexpr const char* kInitialisationText = "There was an error during conversion initialisation";
constexpr const char* kUnspecified = "Unspecified Error";

}  // namespace

const char* ErrorText(int32_t errNumber) {
  switch (errNumber) {
    case 0: return "No Error.";
    case 1: return "General Application Error";
    case 2:
      return "There was a handled exception in the program. The conversion can probably not procceed.";
    case 3:
    case 4:
    case 5: return kGraphBuilderText;
    case 6:
      return "The file could not be rendered. Please check that the format is supported, and that the "
             "compression codecs are compatible!";
    case 7:
    case 17: return kInitialisationText;
    case 8: return "The conversion was properly initaliased, but could not be started.";
    case 9: return "The selected video format is not supported";
    case 11: return "The conversion could not be started";
    case 12: return "Not all the files required have been specified. Please select target and source files!";
    case 14: return "The file writer component could not be created.";
    case 18: return "The compression filters could not be added.";
    case 19: return "The graph object could not be retrieved from the sent in pointer";
    case 20: return "The AVI Mux filter could not be found in the graph";
    case 21: return "The AVI mux pins could not be retrived from the AVI mux filter";
    case 22: return "The graph could not disconnect the pins";
    case 23: return "The compression codec could not be instanciated";
    case 24: return "The audio compressor pins could not be connected";
    case 25: return "The video compressor pins could not be connected";
    case 26: return "The video compressor codec could not be inserted into the graph";
    case 27: return "The audio compressor codec could not be inserted into the graph";
    default: return kUnspecified;
  }
}

std::string HResultText(HRESULT hr) {
  if (hr >= 0) return {};
  char buffer[2046];
  std::memset(buffer, 0, sizeof buffer);
  DWORD n = AMGetErrorTextA(hr, buffer, sizeof buffer);
  if (n > 0) return std::string(buffer, std::strlen(buffer));
  std::memset(buffer, 0, sizeof buffer);
  // A last error left by an earlier call must not be taken for this one's.
  SetLastError(0);
  n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, static_cast<DWORD>(hr),
                     0x0400, buffer, sizeof buffer, nullptr);
  if (n == 0 || GetLastError() == ERROR_MR_MID_NOT_FOUND) return "Unknown Error";
  return std::string(buffer, std::min<size_t>(n, sizeof buffer - 1));
}

HRESULT CreateFilterFromDisplayName(const Bstr& identifier, IBaseFilter** filter) {
  if (!filter) return E_POINTER;
  *filter = nullptr;
  ComPtr<IBindCtx> ctx;
  HRESULT hr = CreateBindCtx(0, ctx.put());
  if (FAILED(hr)) return hr;
  ComPtr<IMoniker> moniker;
  ULONG eaten = 0;
  const std::u16string name = identifier.IsNull() ? std::u16string() : identifier.Utf16();
  hr = MkParseDisplayName(ctx.Get(), name.c_str(), &eaten, moniker.put());
  if (FAILED(hr)) return hr;
  if (!moniker) return E_FAIL;
  hr = moniker->BindToObject(nullptr, nullptr, IBaseFilter::iid, reinterpret_cast<void**>(filter));
  if (SUCCEEDED(hr) && !*filter) hr = E_FAIL;
  return hr;
}

bool CodecHasBox(const Bstr& identifier, int32_t query) {
  try {
    ComPtr<IBaseFilter> filter;
    if (FAILED(CreateFilterFromDisplayName(identifier, filter.put())) || !filter) return false;
    if (filter.As<ISpecifyPropertyPages>()) return true;
    ComPtr<IAMVfwCompressDialogs> dialogs = filter.As<IAMVfwCompressDialogs>();
    return dialogs && dialogs->ShowDialog(query, 0) == S_OK;
  } catch (...) {
    return false;
  }
}

void ShowCodecBox(LONG owner, const Bstr& identifier, bool about) {
  try {
    ComPtr<IBaseFilter> filter;
    if (FAILED(CreateFilterFromDisplayName(identifier, filter.put())) || !filter) return;
    if (ComPtr<ISpecifyPropertyPages> pages = filter.As<ISpecifyPropertyPages>()) {
      FILTER_INFO info;
      filter->QueryFilterInfo(&info);
      if (info.pGraph) info.pGraph->Release();
      CAUUID list;
      if (FAILED(pages->GetPages(&list))) return;
      if (list.cElems > 0 && list.pElems) {
        IUnknown* object = filter.Get();
        OleCreatePropertyFrame(static_cast<OAHWND>(owner), 0, 0, info.achName.c_str(), 1, &object,
                               about ? 1 : list.cElems, list.pElems, 0, 0, nullptr);
      }
      CoTaskMemFree(list.pElems);
      return;
    }
    if (ComPtr<IAMVfwCompressDialogs> dialogs = filter.As<IAMVfwCompressDialogs>())
      dialogs->ShowDialog(about ? VfwCompressDialog_About : VfwCompressDialog_Config, static_cast<OAHWND>(owner));
  } catch (...) {
  }
}

namespace {
HRESULT SystemDeviceEnumerator(ICreateDevEnum** out) {
  return CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER, ICreateDevEnum::iid,
                          reinterpret_cast<void**>(out));
}
DeviceEnumeratorMaker g_deviceEnumeratorMaker = SystemDeviceEnumerator;
}  // namespace

void SetDeviceEnumeratorMaker(DeviceEnumeratorMaker maker) {
  g_deviceEnumeratorMaker = maker ? maker : SystemDeviceEnumerator;
}

tagKitbrokerError ListCodecs(int32_t category, const std::function<void(const Bstr&, const Bstr&)>& fire,
                             HRESULT* hr) {
  *hr = S_OK;
  try {
    fire(Bstr::FromUtf8("<<< No Compression >>>"), Bstr(u""));
    ComPtr<ICreateDevEnum> devEnum;
    HRESULT created = g_deviceEnumeratorMaker(devEnum.put());
    if (FAILED(created) || !devEnum) {
      *hr = FAILED(created) ? created : E_NOINTERFACE;
      return kbErrorSysDeviceEnumCreationFailed;
    }
    ComPtr<IEnumMoniker> monikers;
    HRESULT listed = devEnum->CreateClassEnumerator(
        category == 0 ? CLSID_VideoCompressorCategory : CLSID_AudioCompressorCategory, monikers.put(), 0);
    if (FAILED(listed)) {
      *hr = listed;
      return kbErrorCreateClassEnumeratorFailed;
    }
    if (!monikers) return kbErrorNoError;  // a category without members
    for (;;) {
      ComPtr<IMoniker> moniker;
      ULONG fetched = 0;
      if (monikers->Next(1, moniker.put(), &fetched) != S_OK || fetched != 1 || !moniker) break;
      ComPtr<IPropertyBag> bag;
      if (FAILED(moniker->BindToStorage(nullptr, nullptr, IPropertyBag::iid, bag.put_void())) || !bag) continue;
      Variant name{Bstr()};
      if (FAILED(bag->Read(u"FriendlyName", &name, nullptr)) || name.vt() != VT_BSTR) continue;
      ComPtr<IBindCtx> ctx;
      CreateBindCtx(0, ctx.put());
      char16_t* display = nullptr;
      if (FAILED(moniker->GetDisplayName(ctx.Get(), nullptr, &display)) || !display) continue;
      Bstr identifier(display);
      CoTaskMemFree(display);
      fire(name.bstr(), identifier);
    }
    return kbErrorNoError;
  } catch (...) {
    *hr = S_OK;
    return kbErrorException;
  }
}

}  // namespace kitbroker
