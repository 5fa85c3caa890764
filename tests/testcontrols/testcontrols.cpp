// The test control library: a user control and a control without the forms runtime.
#include "testcontrols.h"

#include <string>

#include "com/connectionpoint.h"
#include "com/dispatch.h"
#include "com/server.h"
#include "core/error.h"
#include "core/runtime.h"
#include "forms/controls.h"
#include "forms/oledrop.h"
#include "forms/usercontrol.h"

using namespace testcontrols;

namespace {

TypeLibDesc Description() {
  using namespace desc;
  TypeLibDesc lib;
  lib.libid = kLibId;
  lib.name = "SuiteTestControls";
  lib.helpString = "Suite test controls";
  TypeDesc counter = DualInterface(
      kIidCounter, "_Counter",
      {PropertyGet("Caption", kCaption, VT_BSTR), PropertyPut("Caption", kCaption, VT_BSTR | VT_BYREF),
       PropertyGet("Value", kValue, VT_I4), PropertyPut("Value", kValue, VT_I4),
       Method("Bump", kBump, {InOut("amount", VT_I4), Retval(VT_I4)}), Method("Fail", kFail),
       Method("UnloadMe", kUnloadMe, {Retval(VT_BSTR)}),
       OfType(PropertyGet("UserMode", kUserMode, VT_BOOL), kTypeVariantBool),
       PropertyGet("ExtenderName", kExtName, VT_BSTR), PropertyGet("Inits", kInits, VT_BSTR),
       Method("AmbientValue", kAmbient, {In("name", VT_BSTR), Retval(VT_VARIANT)})});
  TypeDesc events = DispInterface(kDiidCounterEvents, "__Counter",
                                  {Method("Changed", kChanged, {InOut("value", VT_I4), InOut("Cancel", VT_BOOL)}),
                                   Method("Clicked", kClicked)});
  lib.types = {
      counter,
      HiddenCopy(counter, kIidCounterOld, "Counter___v0"),
      events,
      ControlClass(kClsidCounter, "Counter",
                   {{kIidCounter, IMPLTYPEFLAG_FDEFAULT},
                    {kDiidCounterEvents, IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE}}),
      DualInterface(kIidPlain, "_Plain",
                    {PropertyGet("Log", kLog, VT_BSTR), PropertyGet("Level", kLevel, VT_I4),
                     PropertyPut("Level", kLevel, VT_I4), Method("Ping", kPing, {Retval(VT_BSTR)})}),
      DispInterface(kDiidPlainEvents, "__Plain", {Method("Pinged", kPinged, {InOut("text", VT_BSTR)})}),
      ControlClass(kClsidPlain, "Plain",
                   {{kIidPlain, IMPLTYPEFLAG_FDEFAULT}, {kDiidPlainEvents, IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE}}),
  };
  return lib;
}

class ICounter : public IDispatch {
 public:
  static constexpr IID iid = kIidCounter;
};

// A user control: a caption label and a button on its surface.
class Counter : public UserControlObject<ICounter> {
 public:
  Counter()
      : UserControlObject({"Counter", kLibId, 1, 0, kClsidCounter, kIidCounter, {kIidCounterOld},
                           kDiidCounterEvents, {kDiidCounterEventsOld},
                           OLEMISC_SETCLIENTSITEFIRST | OLEMISC_ACTIVATEWHENVISIBLE | OLEMISC_RECOMPOSEONRESIZE}) {
    Dispatch()
        .Get(kCaption, [this](DispatchArgs&) { return Variant(caption_); })
        .Put(kCaption, [this](DispatchArgs& a) {
          caption_ = Trim(a.String(0));
          a.Set(0, Variant(caption_));
          lblCaption->Caption(caption_);
          return Variant();
        })
        .Get(kValue, [this](DispatchArgs&) { return Variant(value_); })
        .Put(kValue, [this](DispatchArgs& a) {
          value_ = a.Long(0);
          PropertyChanged("Value");
          return Variant();
        })
        .Method(kBump, [this](DispatchArgs& a) {
          int32_t amount = a.Long(0);
          value_ += amount;
          a.Set(0, Variant(amount * 2));
          return Variant(value_);
        })
        .Method(kFail, [](DispatchArgs&) -> Variant { ::Raise(5, "Counter refuses"); })
        .Method(kUnloadMe, [this](DispatchArgs&) {
          int32_t v = value_;
          VARIANT_BOOL cancel = VARIANT_FALSE;
          RaiseEvent(kChanged, {Variant::ByRef(VT_I4, &v), Variant::ByRef(VT_BOOL, &cancel)});
          // Still alive after the container unloaded it inside the event.
          return Variant(caption_ + ":" + std::to_string(v));
        })
        .Get(kUserMode, [this](DispatchArgs&) { return Variant(Ambient().UserMode()); })
        .Get(kExtName, [this](DispatchArgs&) {
          ComPtr<IDispatch> ext = Extender();
          return ext ? CallByName(ext.Get(), "Name", DISPATCH_PROPERTYGET) : Variant("");
        })
        .Get(kInits, [this](DispatchArgs&) { return Variant(inits_); })
        .Method(kAmbient, [this](DispatchArgs& a) -> Variant {
          const std::string name = a.String(0);
          AmbientProperties ambient = Ambient();
          if (name == "UserMode") return Variant(ambient.UserMode());
          if (name == "BackColor") return Variant(static_cast<int32_t>(ambient.BackColor()));
          if (name == "ForeColor") return Variant(static_cast<int32_t>(ambient.ForeColor()));
          if (name == "DisplayName") return Variant(ambient.DisplayName());
          if (name == "LocaleID") return Variant(ambient.LocaleID());
          if (name == "FontObject") return ambient.Property(DISPID_AMBIENT_FONT);
          if (name == "Font") {
            StdFont f = ambient.Font();
            auto flag = [](bool b) { return std::string(b ? "1" : "0"); };
            return Variant(f.Name + "," + CStr(Variant(f.Size)) + "," + flag(f.Bold) + "," + flag(f.Italic) + "," +
                           flag(f.Underline) + "," + flag(f.Strikethrough));
          }
          ::Raise(5, "no ambient " + name);
        });

    On("UserControl_Initialize", [this] {
      inits_ += "I";
      OLEDropMode(1);  // files dropped on the surface become the caption
    });
    On("UserControl_OLEDragOver", [](Variant Data, int32_t& Effect, int16_t, int16_t, float, float, int16_t) {
      Effect = DataObjectOf(Data).GetFormat(vbCFFiles) ? vbDropEffectCopy : vbDropEffectNone;
    });
    On("UserControl_OLEDragDrop", [this](Variant Data, int32_t&, int16_t, int16_t, float, float) {
      caption_ = DataObjectOf(Data).Files().Item(1);
      RaiseEvent(kClicked);
    });
    On("UserControl_InitProperties", [this] {
      inits_ += "N";
      if (!Ambient().UserMode()) caption_ = "Fresh";
    });
    On("UserControl_ReadProperties", [this](Variant PropBag) {
      inits_ += "R";
      PropertyBag bag(PropBag);
      caption_ = StringOf(bag.ReadProperty("Caption", Variant("Counter")));
      value_ = static_cast<int32_t>(DoubleOf(bag.ReadProperty("Value", Variant(int32_t{0}))));
      lblCaption->Caption(caption_);
    });
    On("UserControl_WriteProperties", [this](Variant PropBag) {
      if (Ambient().UserMode()) return;
      PropertyBag bag(PropBag);
      bag.WriteProperty("Caption", Variant(caption_), Variant("Counter"));
      bag.WriteProperty("Value", Variant(value_), Variant(int32_t{0}));
    });
    On("UserControl_Resize", [this] { cmdBump->Move(0, ScaleHeight() > 600 ? static_cast<int32_t>(ScaleHeight()) - 375 : 0); });
    On("cmdBump_Click", [this] {
      ++value_;
      RaiseEvent(kClicked);
    });
  }

 protected:
  void Design() override {
    Place({
        {"Label", "lblCaption", -1, "", 0, 0, 1500, 255, "Counter"},
        {"CommandButton", "cmdBump", -1, "", 0, 300, 1200, 375, "Bump"},
    });
  }

 private:
  static std::string StringOf(const Variant& v) {
    Variant t;
    Check(VariantChangeType(&t, v, 0, VT_BSTR));
    return t.bstr().Utf8();
  }
  static double DoubleOf(const Variant& v) {
    Variant t;
    Check(VariantChangeType(&t, v, 0, VT_R8));
    return t.r8();
  }
  Ctl<Label> lblCaption{this, "lblCaption"};
  Ctl<CommandButton> cmdBump{this, "cmdBump"};
  std::string caption_;
  int32_t value_ = 0;
  std::string inits_;
};

class IPlain : public IDispatch {
 public:
  static constexpr IID iid = kIidPlain;
};

// A control without the forms runtime: invisible at run time, persisted through a stream, and
// logging the order of the container's calls.
class Plain : public DispatchObject<IPlain, ConnectionPointContainerImpl, ProvideClassInfoImpl, IOleObject,
                                    IPersistStreamInit> {
 public:
  Plain() : DispatchObject(kLibId, 1, 0, kIidPlain), events_(AddConnectionPoint(Unknown(), kDiidPlainEvents)) {
    SetClassInfoSource(kLibId, 1, 0, kClsidPlain);
    Dispatch()
        .Get(kLog, [this](DispatchArgs&) { return Variant(log_); })
        .Get(kLevel, [this](DispatchArgs&) { return Variant(level_); })
        .Put(kLevel, [this](DispatchArgs& a) {
          level_ = a.Long(0);
          return Variant();
        })
        .Method(kPing, [this](DispatchArgs&) {
          Bstr text("ping");
          events_.FireDispatch(kPinged, {Variant::ByRef(VT_BSTR, &text)});
          return Variant(text);
        });
  }

  HRESULT SetClientSite(IOleClientSite* site) override {
    Note(site ? "site" : "nosite");
    site_ = site;
    return S_OK;
  }
  HRESULT GetClientSite(IOleClientSite** site) override {
    if (!site) return E_POINTER;
    *site = ComPtr<IOleClientSite>(site_).Detach();
    return S_OK;
  }
  HRESULT SetHostNames(const char16_t*, const char16_t*) override { return S_OK; }
  HRESULT Close(DWORD) override {
    Note("close");
    return S_OK;
  }
  HRESULT DoVerb(int32_t, IOleClientSite*, HWND, const RECT*) override {
    Note("verb");
    return S_OK;
  }
  HRESULT GetUserClassID(CLSID* clsid) override { return GetClassID(clsid); }
  HRESULT SetExtent(DWORD, const SIZEL*) override { return E_NOTIMPL; }
  HRESULT GetExtent(DWORD, SIZEL*) override { return E_NOTIMPL; }
  HRESULT GetMiscStatus(DWORD, DWORD* status) override {
    if (!status) return E_POINTER;
    *status = OLEMISC_INVISIBLEATRUNTIME;
    return S_OK;
  }
  HRESULT GetClassID(CLSID* clsid) override {
    if (!clsid) return E_POINTER;
    *clsid = kClsidPlain;
    return S_OK;
  }
  HRESULT IsDirty() override { return S_FALSE; }
  HRESULT Load(IStream* stream) override {
    PropertyList list;
    HRESULT hr = ReadPropertyListFromStream(stream, &list);
    if (FAILED(hr)) return hr;
    level_ = -1;
    for (const auto& [name, value] : list)
      if (name == "Level") {
        Variant v;
        if (SUCCEEDED(VariantChangeType(&v, value, 0, VT_I4))) level_ = v.i4();
      }
    Note("load");
    return S_OK;
  }
  HRESULT Save(IStream* stream, bool) override {
    Note("save");
    return WritePropertyListToStream(stream, {{"Level", Variant(level_)}});
  }
  HRESULT GetSizeMax(uint64_t*) override { return E_NOTIMPL; }
  HRESULT InitNew() override {
    Note("new");
    level_ = 7;
    return S_OK;
  }

 protected:
  HRESULT QueryOther(REFIID riid, void** ppv) override {
    IUnknown* p = nullptr;
    if (riid == IProvideClassInfo::iid) p = static_cast<IProvideClassInfo*>(static_cast<ProvideClassInfoImpl*>(this));
    if (riid == IPersist::iid) p = static_cast<IPersist*>(this);
    if (!p) return E_NOINTERFACE;
    p->AddRef();
    *ppv = p;
    return S_OK;
  }

 private:
  void Note(const std::string& s) { log_ += log_.empty() ? s : "," + s; }
  ConnectionPoint& events_;
  ComPtr<IOleClientSite> site_;
  std::string log_;
  int32_t level_ = 0;
};

ClassRegistration ControlEntry(const CLSID& clsid, const char* name, const char* progId, DWORD misc) {
  ClassRegistration r{clsid, name, std::string(progId) + ".1", progId};
  r.control = true;
  r.insertable = true;
  r.miscStatus = misc;
  r.toolboxBitmap = 1;
  r.version = "1.0";
  return r;
}

}  // namespace

SUITE_COM_SERVER(Description(), {
    ServerClass::Of<Counter>(ControlEntry(kClsidCounter, "Counter Control", "SuiteTest.Counter",
                                     OLEMISC_SETCLIENTSITEFIRST | OLEMISC_ACTIVATEWHENVISIBLE |
                                         OLEMISC_RECOMPOSEONRESIZE)),
    ServerClass::Of<Plain>(ControlEntry(kClsidPlain, "Plain Control", "SuiteTest.Plain", OLEMISC_INVISIBLEATRUNTIME)),
})
