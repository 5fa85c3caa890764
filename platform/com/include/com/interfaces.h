#pragma once
// The standard COM interfaces the platform's objects and their hosts talk through: connection
// points, class information, property change notification and rich error information.
#include <cstdint>
#include <string>

#include "core/unknown.h"

constexpr IID IID_NULL = GUID_NULL;

class ITypeInfo;
class IConnectionPointContainer;

struct CONNECTDATA {
  IUnknown* pUnk = nullptr;  // the sink, with a reference the receiver releases
  DWORD dwCookie = 0;
};

class IEnumConnections : public IUnknown {
 public:
  static constexpr IID iid = MakeGuid("{B196B287-BAB4-101A-B69C-00AA00341D07}");
  virtual HRESULT Next(ULONG count, CONNECTDATA* items, ULONG* fetched) = 0;
  virtual HRESULT Skip(ULONG count) = 0;
  virtual HRESULT Reset() = 0;
  virtual HRESULT Clone(IEnumConnections** out) = 0;
};

class IConnectionPoint : public IUnknown {
 public:
  static constexpr IID iid = MakeGuid("{B196B286-BAB4-101A-B69C-00AA00341D07}");
  virtual HRESULT GetConnectionInterface(IID* iid) = 0;
  virtual HRESULT GetConnectionPointContainer(IConnectionPointContainer** out) = 0;
  virtual HRESULT Advise(IUnknown* sink, DWORD* cookie) = 0;
  virtual HRESULT Unadvise(DWORD cookie) = 0;
  virtual HRESULT EnumConnections(IEnumConnections** out) = 0;
};

class IEnumConnectionPoints : public IUnknown {
 public:
  static constexpr IID iid = MakeGuid("{B196B285-BAB4-101A-B69C-00AA00341D07}");
  virtual HRESULT Next(ULONG count, IConnectionPoint** items, ULONG* fetched) = 0;
  virtual HRESULT Skip(ULONG count) = 0;
  virtual HRESULT Reset() = 0;
  virtual HRESULT Clone(IEnumConnectionPoints** out) = 0;
};

class IConnectionPointContainer : public IUnknown {
 public:
  static constexpr IID iid = MakeGuid("{B196B284-BAB4-101A-B69C-00AA00341D07}");
  virtual HRESULT EnumConnectionPoints(IEnumConnectionPoints** out) = 0;
  virtual HRESULT FindConnectionPoint(REFIID riid, IConnectionPoint** out) = 0;
};

class IProvideClassInfo : public IUnknown {
 public:
  static constexpr IID iid = MakeGuid("{B196B283-BAB4-101A-B69C-00AA00341D07}");
  virtual HRESULT GetClassInfo(ITypeInfo** out) = 0;
};

constexpr DWORD GUIDKIND_DEFAULT_SOURCE_DISP_IID = 1;

class IProvideClassInfo2 : public IProvideClassInfo {
 public:
  static constexpr IID iid = MakeGuid("{A6BC3AC0-DBAA-11CE-9DE3-00AA004BB851}");
  virtual HRESULT GetGUID(DWORD guidKind, GUID* out) = 0;
};

class IPropertyNotifySink : public IUnknown {
 public:
  static constexpr IID iid = MakeGuid("{9BFBBC02-EFF1-101A-84ED-00AA00341D07}");
  virtual HRESULT OnChanged(DISPID dispId) = 0;
  virtual HRESULT OnRequestEdit(DISPID dispId) = 0;
};

class ISupportErrorInfo : public IUnknown {
 public:
  static constexpr IID iid = MakeGuid("{DF0B3D60-548F-101B-8E65-08002B2BD119}");
  virtual HRESULT InterfaceSupportsErrorInfo(REFIID riid) = 0;
};

class IErrorInfo : public IUnknown {
 public:
  static constexpr IID iid = MakeGuid("{1CF2B120-547D-101B-8E65-08002B2BD119}");
  virtual HRESULT GetGUID(GUID* out) = 0;
  virtual HRESULT GetSource(Bstr* out) = 0;
  virtual HRESULT GetDescription(Bstr* out) = 0;
  virtual HRESULT GetHelpFile(Bstr* out) = 0;
  virtual HRESULT GetHelpContext(DWORD* out) = 0;
};

class ICreateErrorInfo : public IUnknown {
 public:
  static constexpr IID iid = MakeGuid("{22F03340-547D-101B-8E65-08002B2BD119}");
  virtual HRESULT SetGUID(REFGUID guid) = 0;
  virtual HRESULT SetSource(const char16_t* source) = 0;
  virtual HRESULT SetDescription(const char16_t* description) = 0;
  virtual HRESULT SetHelpFile(const char16_t* helpFile) = 0;
  virtual HRESULT SetHelpContext(DWORD helpContext) = 0;
};

// The error object of the calling thread: set by a failing callee, taken (and cleared) by the
// caller. GetErrorInfo answers S_FALSE and null when none is set.
HRESULT CreateErrorInfo(ICreateErrorInfo** out);
HRESULT SetErrorInfo(DWORD reserved, IErrorInfo* info);
HRESULT GetErrorInfo(DWORD reserved, IErrorInfo** out);

// Records a failure for the caller (SetErrorInfo with a new error object) and returns hr.
HRESULT ReportError(HRESULT hr, const std::string& description, const std::string& source = {},
                    REFIID iid = IID_NULL);

// The HRESULT a runtime error travels as: error numbers that are already failure HRESULTs stay as
// they are; the runtime's own numbers become 0x800A0000 | number (FACILITY_CONTROL).
HRESULT HResultFromErrorNumber(int32_t number);
// The reverse, as the runtime shows a failed call in Err.Number.
int32_t ErrorNumberFromHResult(HRESULT hr);

// To be called inside a catch block at a COM boundary: records the exception in flight as the
// thread's error object and returns its HRESULT (VBError by its number, bad_alloc as
// E_OUTOFMEMORY, anything else as E_FAIL with its text).
HRESULT HResultFromCurrentException(const std::string& source = {});

// Runs body at a COM boundary: S_OK when it returns, the failure's HRESULT (with the thread's
// error object set) when it throws.
template <class F>
HRESULT ComCall(F&& body, const std::string& source = {}) {
  try {
    body();
    return S_OK;
  } catch (...) {
    return HResultFromCurrentException(source);
  }
}

// Turns a failed HRESULT into a raised runtime error whose description comes from the thread's
// error object when the callee left one (else the runtime's text); a success is returned as is.
HRESULT CheckWithInfo(HRESULT hr, const std::string& source = {});
