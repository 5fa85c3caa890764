// The thread's error object: how a failing callee tells a late-bound caller what went wrong.
#include <new>
#include <stdexcept>

#include "com/interfaces.h"
#include "com/object.h"
#include "core/error.h"

namespace {

class ErrorInfo final : public ComObject<IErrorInfo, ICreateErrorInfo> {
 public:
  HRESULT GetGUID(GUID* out) override {
    if (!out) return E_POINTER;
    *out = guid_;
    return S_OK;
  }
  HRESULT GetSource(Bstr* out) override { return Give(source_, out); }
  HRESULT GetDescription(Bstr* out) override { return Give(description_, out); }
  HRESULT GetHelpFile(Bstr* out) override { return Give(helpFile_, out); }
  HRESULT GetHelpContext(DWORD* out) override {
    if (!out) return E_POINTER;
    *out = helpContext_;
    return S_OK;
  }
  HRESULT SetGUID(REFGUID guid) override {
    guid_ = guid;
    return S_OK;
  }
  HRESULT SetSource(const char16_t* s) override { source_ = Bstr(s); return S_OK; }
  HRESULT SetDescription(const char16_t* s) override { description_ = Bstr(s); return S_OK; }
  HRESULT SetHelpFile(const char16_t* s) override { helpFile_ = Bstr(s); return S_OK; }
  HRESULT SetHelpContext(DWORD c) override {
    helpContext_ = c;
    return S_OK;
  }

 private:
  static HRESULT Give(const Bstr& value, Bstr* out) {
    if (!out) return E_POINTER;
    *out = value;
    return S_OK;
  }
  GUID guid_;
  Bstr source_, description_, helpFile_;
  DWORD helpContext_ = 0;
};

ComPtr<IErrorInfo>& Current() {
  thread_local ComPtr<IErrorInfo> current;
  return current;
}

}  // namespace

HRESULT CreateErrorInfo(ICreateErrorInfo** out) {
  if (!out) return E_POINTER;
  *out = MakeComObject<ErrorInfo>().Detach();
  return S_OK;
}

HRESULT SetErrorInfo(DWORD, IErrorInfo* info) {
  Current() = ComPtr<IErrorInfo>(info);
  return S_OK;
}

HRESULT GetErrorInfo(DWORD, IErrorInfo** out) {
  if (!out) return E_POINTER;
  *out = Current().Detach();
  return *out ? S_OK : S_FALSE;
}

HRESULT ReportError(HRESULT hr, const std::string& description, const std::string& source, REFIID iid) {
  ComPtr<ICreateErrorInfo> create;
  if (FAILED(CreateErrorInfo(create.put()))) return hr;
  create->SetGUID(iid);
  create->SetDescription(Bstr::FromUtf8(description).Utf16().c_str());
  create->SetSource(Bstr::FromUtf8(source).Utf16().c_str());
  SetErrorInfo(0, create.As<IErrorInfo>().Get());
  return hr;
}

HRESULT HResultFromErrorNumber(int32_t number) {
  if (number < 0) return number;
  return MakeHResult(0x800A0000u | (static_cast<uint32_t>(number) & 0xFFFFu));
}

int32_t ErrorNumberFromHResult(HRESULT hr) {
  if ((static_cast<uint32_t>(hr) & 0xFFFF0000u) == 0x800A0000u) return hr & 0xFFFF;
  return hr;
}

HRESULT HResultFromCurrentException(const std::string& source) {
  try {
    throw;
  } catch (const VBError& e) {
    return ReportError(HResultFromErrorNumber(e.Number()), e.Description(),
                       e.Source().empty() ? source : e.Source());
  } catch (const std::bad_alloc&) {
    return ReportError(E_OUTOFMEMORY, ErrorDescription(vbErrOutOfMemory), source);
  } catch (const std::exception& e) {
    return ReportError(E_FAIL, e.what(), source);
  } catch (...) {
    return ReportError(E_FAIL, "Unknown failure", source);
  }
}

HRESULT CheckWithInfo(HRESULT hr, const std::string& source) {
  if (SUCCEEDED(hr)) return hr;
  ComPtr<IErrorInfo> info;
  std::string description, from = source;
  if (GetErrorInfo(0, info.put()) == S_OK && info) {
    Bstr d, s;
    info->GetDescription(&d);
    info->GetSource(&s);
    description = d.Utf8();
    if (!s.Utf8().empty()) from = s.Utf8();
  }
  Raise(ErrorNumberFromHResult(hr), description, from);
}
