// Picture objects: IPictureDisp around a Picture.
#include "forms/picture_object.h"

#include "com/dispatch.h"
#include "com/typeinfo.h"
#include "core/error.h"

namespace {

constexpr GUID kLibId = MakeGuid("{6D6990BB-D172-488F-9E2E-5B1812C66CE3}");

// Hands the Picture back to this library from an object it made.
class IPictureSource : public IUnknown {
 public:
  static constexpr IID iid = MakeGuid("{C9B4BE9C-A6FA-4F70-8AF6-FCEC74E7E5FB}");
  virtual const Picture& Get() const = 0;
};

enum : DISPID { kHandle = 0, kHPal = 2, kType = 3, kWidth = 4, kHeight = 5 };

const bool kPublished = [] {
  using namespace desc;
  TypeLibDesc lib;
  lib.libid = kLibId;
  lib.name = "StdPicture";
  lib.types = {DispInterface(IPictureDisp::iid, "IPictureDisp",
                             {PropertyGet("Handle", kHandle, VT_I4), PropertyGet("hPal", kHPal, VT_I4),
                              PropertyGet("Type", kType, VT_I2), PropertyGet("Width", kWidth, VT_I4),
                              PropertyGet("Height", kHeight, VT_I4)})};
  PublishTypeLib(lib);
  return true;
}();

class PictureDisp : public DispatchObject<IPictureDisp, IPictureSource> {
 public:
  explicit PictureDisp(Picture p) : DispatchObject(kLibId, 1, 0, IPictureDisp::iid), picture_(std::move(p)) {
    (void)kPublished;
    Dispatch()
        .Get(kHandle, [this](DispatchArgs&) { return Variant(static_cast<int32_t>(picture_.Handle())); })
        .Get(kHPal, [](DispatchArgs&) { return Variant(int32_t{0}); })
        .Get(kType, [this](DispatchArgs&) { return Variant(picture_.Type()); })
        .Get(kWidth, [this](DispatchArgs&) { return Variant(picture_.Width()); })
        .Get(kHeight, [this](DispatchArgs&) { return Variant(picture_.Height()); });
  }
  const Picture& Get() const override { return picture_; }

 private:
  Picture picture_;
};

}  // namespace

ComPtr<IPictureDisp> PictureObject(const Picture& picture) {
  if (picture.IsEmpty()) return nullptr;
  (void)kPublished;
  return MakeComObject<PictureDisp>(picture);
}

Picture PictureFromObject(IUnknown* object) {
  if (!object) return Picture();
  ComPtr<IPictureSource> source;
  if (FAILED(object->QueryInterface(IPictureSource::iid, source.put_void())) || !source) {
    Raise(vbErrInvalidPicture, {}, "Picture");
  }
  return source->Get();
}

Variant PictureVariant(const Picture& picture) {
  ComPtr<IPictureDisp> p = PictureObject(picture);
  return Variant(static_cast<IDispatch*>(p.Get()));
}

Picture PictureFromVariant(const Variant& value) {
  Variant v = value.Deref();
  if (v.IsEmpty()) return Picture();
  if (!v.IsObject()) Raise(vbErrTypeMismatch, {}, "Picture");
  return PictureFromObject(v.punk());
}
