// The common dialog as the automation object "MSComDlg.CommonDialog.1", created through
// CoCreateInstance like any other class. Its members are bound by name.
#include "com/com.h"
#include "com/dispatch.h"
#include "com/typeinfo.h"
#include "core/error.h"
#include "forms/commondialog.h"

namespace {

constexpr GUID kLibId = MakeGuid("{EB89C181-CDEB-4EBD-8EBE-DF2AE8B4BB81}");
constexpr CLSID kClsid = MakeGuid("{06F07A0A-B330-43EF-A314-FD0666379789}");

class ICommonDialogDisp : public IDispatch {
 public:
  static constexpr IID iid = MakeGuid("{3ED810D0-29DD-415A-A2B0-8F4D51F1DE54}");
};

// FilterIndex answers at 23, where programs written for the original control set it by number.
enum : DISPID {
  kShowOpen = 1,
  kShowSave = 2,
  kShowColor = 3,
  kShowFont = 4,
  kCancelError = 10,
  kDialogTitle = 11,
  kFilter = 12,
  kFontItalic = 13,
  kFileName = 14,
  kFileTitle = 15,
  kDefaultExt = 16,
  kInitDir = 17,
  kFlags = 18,
  kColor = 19,
  kFontName = 20,
  kFontSize = 21,
  kFontBold = 22,
  kFilterIndex = 23,
  kFontUnderline = 24,
  kFontStrikethru = 25,
};

TypeLibDesc MakeLibrary() {
  using namespace desc;
  TypeLibDesc lib;
  lib.libid = kLibId;
  lib.name = "MSComDlg";
  std::vector<MemberDesc> members = {
      Method("ShowOpen", kShowOpen),
      Method("ShowSave", kShowSave),
      Method("ShowColor", kShowColor),
      Method("ShowFont", kShowFont),
      PropertyGet("FileTitle", kFileTitle, VT_BSTR),
  };
  auto property = [&](const char* name, DISPID id, VARTYPE vt) {
    members.push_back(PropertyGet(name, id, vt));
    members.push_back(PropertyPut(name, id, vt));
  };
  property("CancelError", kCancelError, VT_BOOL);
  property("DialogTitle", kDialogTitle, VT_BSTR);
  property("Filter", kFilter, VT_BSTR);
  property("FilterIndex", kFilterIndex, VT_I2);
  property("FileName", kFileName, VT_BSTR);
  property("DefaultExt", kDefaultExt, VT_BSTR);
  property("InitDir", kInitDir, VT_BSTR);
  property("Flags", kFlags, VT_I4);
  property("Color", kColor, VT_I4);
  property("FontName", kFontName, VT_BSTR);
  property("FontSize", kFontSize, VT_R4);
  property("FontBold", kFontBold, VT_BOOL);
  property("FontItalic", kFontItalic, VT_BOOL);
  property("FontUnderline", kFontUnderline, VT_BOOL);
  property("FontStrikethru", kFontStrikethru, VT_BOOL);
  lib.types = {DispInterface(ICommonDialogDisp::iid, "ICommonDialog", members),
               CoClass(kClsid, "CommonDialog", {{ICommonDialogDisp::iid, IMPLTYPEFLAG_FDEFAULT}})};
  return lib;
}

const bool kPublished = [] {
  PublishTypeLib(MakeLibrary());
  return true;
}();

// The automation face of a dialog object: its own (the class "MSComDlg.CommonDialog.1"), or a
// control's, which lives while the control does (afterwards every call raises 364).
class CommonDialogAutomation : public DispatchObject<ICommonDialogDisp>, public CommonDialogDispatch {
 public:
  explicit CommonDialogAutomation(CommonDialogObject* external = nullptr)
      : DispatchObject(kLibId, 1, 0, ICommonDialogDisp::iid), d_(external ? external : &own_) {
    (void)kPublished;
    Dispatch()
        .Method(kShowOpen, [this](DispatchArgs&) { D().ShowOpen(); return Variant(); })
        .Method(kShowSave, [this](DispatchArgs&) { D().ShowSave(); return Variant(); })
        .Method(kShowColor, [this](DispatchArgs&) { D().ShowColor(); return Variant(); })
        .Method(kShowFont, [this](DispatchArgs&) { D().ShowFont(); return Variant(); })
        .Get(kFileTitle, [this](DispatchArgs&) { return Variant(D().FileTitle); });
    Bind(kCancelError, &CommonDialogObject::CancelError);
    Bind(kDialogTitle, &CommonDialogObject::DialogTitle);
    Bind(kFilter, &CommonDialogObject::Filter);
    Bind(kFilterIndex, &CommonDialogObject::FilterIndex);
    Bind(kFileName, &CommonDialogObject::FileName);
    Bind(kDefaultExt, &CommonDialogObject::DefaultExt);
    Bind(kInitDir, &CommonDialogObject::InitDir);
    Bind(kFlags, &CommonDialogObject::Flags);
    Dispatch()
        .Get(kColor, [this](DispatchArgs&) { return Variant(static_cast<int32_t>(D().Color)); })
        .Put(kColor, [this](DispatchArgs& a) { D().Color = static_cast<OLE_COLOR>(a.Long(0)); return Variant(); });
    Bind(kFontName, &CommonDialogObject::FontName);
    Bind(kFontSize, &CommonDialogObject::FontSize);
    Bind(kFontBold, &CommonDialogObject::FontBold);
    Bind(kFontItalic, &CommonDialogObject::FontItalic);
    Bind(kFontUnderline, &CommonDialogObject::FontUnderline);
    Bind(kFontStrikethru, &CommonDialogObject::FontStrikethru);
  }
  void Detach() override { d_ = nullptr; }

 private:
  CommonDialogObject& D() {
    if (!d_) Raise(vbErrObjectNotLoaded, "The common dialog control is unloaded.");
    return *d_;
  }
  template <class T>
  void Bind(DISPID id, T CommonDialogObject::*member) {
    Dispatch()
        .Get(id, [this, member](DispatchArgs&) { return Variant(D().*member); })
        .Put(id, [this, member](DispatchArgs& a) {
          T& field = D().*member;
          if constexpr (std::is_same_v<T, bool>) {
            field = a.Bool(0);
          } else if constexpr (std::is_same_v<T, std::string>) {
            field = a.String(0);
          } else if constexpr (std::is_same_v<T, int16_t>) {
            field = a.Integer(0);
          } else if constexpr (std::is_same_v<T, int32_t>) {
            field = a.Long(0);
          } else {
            field = a.Single(0);
          }
          return Variant();
        });
  }
  CommonDialogObject own_;
  CommonDialogObject* d_;
};

const bool kRegistered = [] {
  (void)kPublished;
  RegisterPlatformClass(kClsid, "MSComDlg.CommonDialog.1", [](IUnknown* outer, REFIID riid, void** ppv) -> HRESULT {
    if (outer) return CLASS_E_NOAGGREGATION;
    ComPtr<ICommonDialogDisp> obj = MakeComObject<CommonDialogAutomation>();
    return obj->QueryInterface(riid, ppv);
  });
  return true;
}();

}  // namespace

ComPtr<IDispatch> MakeCommonDialogDispatch(CommonDialogObject& dialog, CommonDialogDispatch** detach) {
  ComPtr<CommonDialogAutomation> obj = MakeComObject<CommonDialogAutomation>(&dialog);
  *detach = obj.Get();
  return ComPtr<IDispatch>(static_cast<IDispatch*>(static_cast<ICommonDialogDisp*>(obj.Get())));
}
