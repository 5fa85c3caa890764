// Font objects: IFontDisp around a StdFont.
#include "forms/font_object.h"

#include "com/dispatch.h"
#include "com/typeinfo.h"
#include "core/error.h"
#include "forms/qt/control_qt.h"

namespace {

constexpr GUID kLibId = MakeGuid("{3A0F7C52-6B1E-4D89-A2C4-7E5B9D0F1A63}");

enum : DISPID { kName = 0, kSize = 2, kBold = 3, kItalic = 4, kUnderline = 5, kStrikethrough = 6 };

const bool kPublished = [] {
  using namespace desc;
  TypeLibDesc lib;
  lib.libid = kLibId;
  lib.name = "StdFont";
  lib.types = {DispInterface(IFontDisp::iid, "IFontDisp",
                             {PropertyGet("Name", kName, VT_BSTR), PropertyGet("Size", kSize, VT_R4),
                              PropertyGet("Bold", kBold, VT_BOOL), PropertyGet("Italic", kItalic, VT_BOOL),
                              PropertyGet("Underline", kUnderline, VT_BOOL),
                              PropertyGet("Strikethrough", kStrikethrough, VT_BOOL)})};
  PublishTypeLib(lib);
  return true;
}();

class FontDisp : public DispatchObject<IFontDisp> {
 public:
  explicit FontDisp(StdFont f) : DispatchObject(kLibId, 1, 0, IFontDisp::iid), font_(std::move(f)) {
    (void)kPublished;
    Dispatch()
        .Get(kName, [this](DispatchArgs&) { return Variant(font_.Name); })
        .Get(kSize, [this](DispatchArgs&) { return Variant(font_.Size); })
        .Get(kBold, [this](DispatchArgs&) { return Variant(font_.Bold); })
        .Get(kItalic, [this](DispatchArgs&) { return Variant(font_.Italic); })
        .Get(kUnderline, [this](DispatchArgs&) { return Variant(font_.Underline); })
        .Get(kStrikethrough, [this](DispatchArgs&) { return Variant(font_.Strikethrough); });
  }

 private:
  StdFont font_;
};

}  // namespace

ComPtr<IFontDisp> FontObject(const StdFont& font) {
  (void)kPublished;
  return MakeComObject<FontDisp>(font);
}

StdFont FontFromObject(IUnknown* object) {
  ComPtr<IDispatch> d;
  if (!object || FAILED(object->QueryInterface(IDispatch::iid, d.put_void())) || !d) {
    Raise(vbErrTypeMismatch, {}, "Font");
  }
  StdFont f;
  auto read = [&](DISPID id, auto apply) {
    DISPPARAMS none{};
    Variant v;
    if (SUCCEEDED(d->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, &v, nullptr, nullptr)))
      apply(v);
  };
  using namespace forms_detail;
  read(kName, [&](const Variant& v) { f.Name = StringOf(v); });
  read(kSize, [&](const Variant& v) { f.Size = static_cast<float>(DoubleOf(v)); });
  read(kBold, [&](const Variant& v) { f.Bold = BoolOf(v); });
  read(kItalic, [&](const Variant& v) { f.Italic = BoolOf(v); });
  read(kUnderline, [&](const Variant& v) { f.Underline = BoolOf(v); });
  read(kStrikethrough, [&](const Variant& v) { f.Strikethrough = BoolOf(v); });
  return f;
}

Variant FontVariant(const StdFont& font) {
  ComPtr<IFontDisp> f = FontObject(font);
  return Variant(static_cast<IDispatch*>(f.Get()));
}
