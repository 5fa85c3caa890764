// The test server library: one class, SuiteTest.Probe, served and self-registered.
#include "probe.h"

#include <string>

#include "com/connection.h"
#include "com/dispatch.h"
#include "com/resources.h"
#include "com/server.h"
#include "core/error.h"

namespace {

TypeLibDesc Description() {
  using namespace desc;
  TypeLibDesc lib;
  lib.libid = probe::kLibId;
  lib.name = "SuiteTestProbeLib";
  lib.helpString = "Suite test probe";
  lib.types = {
      DualInterface(probe::kIidProbe, "IProbe",
                    {Method("Add", probe::kAdd, {In("a", VT_I4), In("b", VT_I4), Retval(VT_I4)}),
                     Method("Twice", probe::kTwice, {InOut("value", VT_I4)}),
                     Method("Greet", probe::kGreet, {In("name", VT_BSTR), Optional("punctuation"), Retval(VT_BSTR)}),
                     PropertyGet("Label", probe::kLabel, VT_BSTR, "Returns or assigns the probe's label."),
                     PropertyPut("Label", probe::kLabel, VT_BSTR),
                     Method("Fail", probe::kFail, {In("code", VT_I4)}),
                     Method("Announce", probe::kAnnounce, {In("text", VT_BSTR), In("number", VT_I4), Retval(VT_BOOL)})},
                    "IProbe Interface"),
      DispInterface(probe::kDiidProbeEvents, "_IProbeEvents",
                    {Method("Announced", probe::kAnnounced,
                            {In("text", VT_BSTR), In("number", VT_I4), InOut("Cancel", VT_BOOL)})}),
      CoClass(probe::kClsidProbe, "Probe",
              {{probe::kIidProbe, IMPLTYPEFLAG_FDEFAULT},
               {probe::kDiidProbeEvents, IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE}},
              "Probe Class"),
  };
  return lib;
}

class Probe : public DispatchObject<IProbe, ConnectionPointContainerImpl, ProvideClassInfoImpl, ISupportErrorInfo> {
 public:
  Probe()
      : DispatchObject(probe::kLibId, 1, 0, probe::kIidProbe),
        events_(AddConnectionPoint(Unknown(), probe::kDiidProbeEvents)) {
    SetClassInfoSource(probe::kLibId, 1, 0, probe::kClsidProbe);
    Dispatch()
        .Method(probe::kAdd, [this](DispatchArgs& a) {
          int32_t r = 0;
          CheckWithInfo(Add(a.Long(0), a.Long(1), &r));
          return Variant(r);
        })
        .Method(probe::kTwice, [this](DispatchArgs& a) {
          int32_t v = a.Long(0);
          CheckWithInfo(Twice(&v));
          a.Set(0, Variant(v));
          return Variant();
        })
        .Method(probe::kGreet, [this](DispatchArgs& a) {
          Bstr r;
          CheckWithInfo(Greet(a.BString(0), a[1], &r));
          return Variant(r);
        })
        .Get(probe::kLabel, [this](DispatchArgs&) {
          Bstr r;
          CheckWithInfo(get_Label(&r));
          return Variant(r);
        })
        .Put(probe::kLabel, [this](DispatchArgs& a) {
          CheckWithInfo(put_Label(a.BString(0)));
          return Variant();
        })
        .Method(probe::kFail, [this](DispatchArgs& a) {
          CheckWithInfo(Fail(a.Long(0)));
          return Variant();
        })
        .Method(probe::kAnnounce, [this](DispatchArgs& a) {
          VARIANT_BOOL cancelled = VARIANT_FALSE;
          CheckWithInfo(Announce(a.BString(0), a.Long(1), &cancelled));
          return Variant(cancelled != VARIANT_FALSE);
        });
  }

  HRESULT Add(int32_t a, int32_t b, int32_t* result) override {
    if (!result) return E_POINTER;
    return ComCall([&] {
      int64_t sum = int64_t{a} + b;
      if (sum < INT32_MIN || sum > INT32_MAX) Raise(vbErrOverflow);
      *result = static_cast<int32_t>(sum);
    }, kSource);
  }
  HRESULT Twice(int32_t* value) override {
    if (!value) return E_POINTER;
    return ComCall([&] {
      int64_t twice = int64_t{*value} * 2;
      if (twice < INT32_MIN || twice > INT32_MAX) Raise(vbErrOverflow);
      *value = static_cast<int32_t>(twice);
    }, kSource);
  }
  HRESULT Greet(const Bstr& name, const Variant& punctuation, Bstr* result) override {
    if (!result) return E_POINTER;
    return ComCall([&] {
      std::string tail = punctuation.IsMissing() ? "." : CStrOf(punctuation);
      *result = Bstr::FromUtf8("Hello, " + name.Utf8() + tail);
    }, kSource);
  }
  HRESULT get_Label(Bstr* value) override {
    if (!value) return E_POINTER;
    *value = label_;
    return S_OK;
  }
  HRESULT put_Label(const Bstr& value) override {
    label_ = value;
    return S_OK;
  }
  HRESULT Fail(int32_t code) override {
    return ComCall([&] { Raise(code, "The probe failed as asked (code " + std::to_string(code) + ")"); }, kSource);
  }
  HRESULT Announce(const Bstr& text, int32_t number, VARIANT_BOOL* cancelled) override {
    if (!cancelled) return E_POINTER;
    *cancelled = VARIANT_FALSE;
    return ComCall([&] {
      events_.FireDispatch(probe::kAnnounced, {Variant(text), Variant(number),
                                                Variant::ByRef(VT_BOOL, cancelled)});
    }, kSource);
  }
  HRESULT InterfaceSupportsErrorInfo(REFIID riid) override {
    return riid == probe::kIidProbe ? S_OK : S_FALSE;
  }

 protected:
  HRESULT QueryOther(REFIID riid, void** ppv) override {
    if (riid != IProvideClassInfo::iid) return E_NOINTERFACE;
    *ppv = static_cast<IProvideClassInfo*>(static_cast<ProvideClassInfoImpl*>(this));
    AddRef();
    return S_OK;
  }

 private:
  static constexpr const char* kSource = "SuiteTest.Probe";
  static std::string CStrOf(const Variant& v) {
    Variant text;
    Check(VariantChangeType(&text, v, 0, VT_BSTR));
    return text.bstr().Utf8();
  }
  ConnectionPoint& events_;
  Bstr label_;
};

}  // namespace

SUITE_COM_SERVER(Description(), {
    ServerClass::Of<Probe, /*Aggregatable=*/true>({probe::kClsidProbe, "Probe Class", probe::kProgId, probe::kIndependentProgId}),
})

// Resources of the library: a named custom resource and a numbered bitmap and string.
SUITE_MODULE_RESOURCES({
    {"CUSTOM", "PROBE_DATA", {0x20, 0, 0, 0, 1, 2, 3}},
    {RT_BITMAP, ResourceId(101), {'B', 'M', 1, 2}},
    {RT_STRING, ResourceId(7), {'p', 'r', 'o', 'b', 'e'}},
})
