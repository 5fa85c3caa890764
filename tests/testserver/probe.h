#pragma once
// The test server's class "SuiteTest.Probe": a dual interface with by-value, by-reference,
// optional and retval parameters, a property, a member that fails, and an event.
#include "core/unknown.h"
#include "core/variant.h"

namespace probe {
constexpr GUID kLibId = MakeGuid("{5B1E7A52-6C0D-4F3B-9A51-2E8C4D7F1A01}");
constexpr IID kIidProbe = MakeGuid("{5B1E7A52-6C0D-4F3B-9A51-2E8C4D7F1A02}");
constexpr IID kDiidProbeEvents = MakeGuid("{5B1E7A52-6C0D-4F3B-9A51-2E8C4D7F1A03}");
constexpr CLSID kClsidProbe = MakeGuid("{5B1E7A52-6C0D-4F3B-9A51-2E8C4D7F1A04}");
constexpr const char* kProgId = "SuiteTest.Probe.1";
constexpr const char* kIndependentProgId = "SuiteTest.Probe";

enum DispId : DISPID {
  kAdd = 1,
  kTwice = 2,
  kGreet = 3,
  kLabel = 4,
  kFail = 5,
  kAnnounce = 6,
};
// The event Announced(text As String, number As Long, Cancel As Boolean) of the event interface.
constexpr DISPID kAnnounced = 1;
}  // namespace probe

class IProbe : public IDispatch {
 public:
  static constexpr IID iid = probe::kIidProbe;
  // a + b.
  virtual HRESULT Add(int32_t a, int32_t b, int32_t* result) = 0;
  // Doubles the caller's value in place.
  virtual HRESULT Twice(int32_t* value) = 0;
  // "Hello, " & name & punctuation; punctuation is optional (".").
  virtual HRESULT Greet(const Bstr& name, const Variant& punctuation, Bstr* result) = 0;
  virtual HRESULT get_Label(Bstr* value) = 0;
  virtual HRESULT put_Label(const Bstr& value) = 0;
  // Always fails with the runtime error number code.
  virtual HRESULT Fail(int32_t code) = 0;
  // Raises Announced(text, number, Cancel) to every sink; answers whether a sink set Cancel.
  virtual HRESULT Announce(const Bstr& text, int32_t number, VARIANT_BOOL* cancelled) = 0;
};
