// The common dialog as the automation object "MSComDlg.CommonDialog.1", created through
// CoCreateInstance like any other class. Its members are bound by name.
#include "com/com.h"
#include "com/dispatch.h"
#include "com/typeinfo.h"
#include "forms/commondialog.h"

namespace {

constexpr GUID kLibId = MakeGuid("{EB89C181-CDEB-4EBD-8EBE-DF2AE8B4BB81}");
constexpr CLSID kClsid = MakeGuid("{06F07A0A-B330-43EF-A314-FD0666379789}");

class ICommonDialogDisp : public IDispatch {
 public:
  static constexpr IID iid = MakeGuid("{3ED810D0-29DD-415A-A2B0-8F4D51F1DE54}");
};

enum : DISPID {
  kShowOpen = 1,
  kShowSave,
  kShowColor,
  kShowFont,
  kCancelError = 10,
  kDialogTitle,
  kFilter,
  kFilterIndex,
  kFileName,
  kFileTitle,
  kDefaultExt,
  kInitDir,
  kFlags,
  kColor,
  kFontName,
  kFontSize,
  kFontBold,
  kFontItalic,
  kFontUnderline,
  kFontStrikethru,
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

class CommonDialogAutomation : public DispatchObject<ICommonDialogDisp> {
 public:
  CommonDialogAutomation() : DispatchObject(kLibId, 1, 0, ICommonDialogDisp::iid) {
    CommonDialogObject& d = d_;
    Dispatch()
        .Method(kShowOpen, [&d](DispatchArgs&) { d.ShowOpen(); return Variant(); })
        .Method(kShowSave, [&d](DispatchArgs&) { d.ShowSave(); return Variant(); })
        .Method(kShowColor, [&d](DispatchArgs&) { d.ShowColor(); return Variant(); })
        .Method(kShowFont, [&d](DispatchArgs&) { d.ShowFont(); return Variant(); })
        .Get(kFileTitle, [&d](DispatchArgs&) { return Variant(d.FileTitle); });
    Bind(kCancelError, d.CancelError);
    Bind(kDialogTitle, d.DialogTitle);
    Bind(kFilter, d.Filter);
    Bind(kFilterIndex, d.FilterIndex);
    Bind(kFileName, d.FileName);
    Bind(kDefaultExt, d.DefaultExt);
    Bind(kInitDir, d.InitDir);
    Bind(kFlags, d.Flags);
    Dispatch()
        .Get(kColor, [&d](DispatchArgs&) { return Variant(static_cast<int32_t>(d.Color)); })
        .Put(kColor, [&d](DispatchArgs& a) { d.Color = static_cast<OLE_COLOR>(a.Long(0)); return Variant(); });
    Bind(kFontName, d.FontName);
    Bind(kFontSize, d.FontSize);
    Bind(kFontBold, d.FontBold);
    Bind(kFontItalic, d.FontItalic);
    Bind(kFontUnderline, d.FontUnderline);
    Bind(kFontStrikethru, d.FontStrikethru);
  }

 private:
  template <class T>
  void Bind(DISPID id, T& field) {
    Dispatch()
        .Get(id, [&field](DispatchArgs&) { return Variant(field); })
        .Put(id, [&field](DispatchArgs& a) {
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
  CommonDialogObject d_;
};

const bool kRegistered = [] {
  PublishTypeLib(MakeLibrary());
  RegisterPlatformClass(kClsid, "MSComDlg.CommonDialog.1", [](IUnknown* outer, REFIID riid, void** ppv) -> HRESULT {
    if (outer) return CLASS_E_NOAGGREGATION;
    ComPtr<ICommonDialogDisp> obj = MakeComObject<CommonDialogAutomation>();
    return obj->QueryInterface(riid, ppv);
  });
  return true;
}();

}  // namespace
