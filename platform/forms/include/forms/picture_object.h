#pragma once
// Pictures as automation objects (the standard picture type, IPictureDisp), so that a picture
// can cross IDispatch: as a property of a hosted control, a Variant argument, a late-bound value.
// Properties: Handle (Long), Type (Integer: 0 none, 1 bitmap, 3 icon), Width and Height (Long,
// HIMETRIC).
#include "core/unknown.h"
#include "core/variant.h"
#include "forms/picture.h"

class IPictureDisp : public IDispatch {
 public:
  static constexpr IID iid = MakeGuid("{7BF80981-BF32-101A-8BBB-00AA00300CAB}");
};

// The picture as an object (each call makes a new object around the same picture); nullptr for
// the empty picture.
ComPtr<IPictureDisp> PictureObject(const Picture& picture);
// The picture behind an object made by PictureObject; the empty picture for nullptr; raises 481
// for an object that is no picture of ours.
Picture PictureFromObject(IUnknown* object);

// As Variants: VT_DISPATCH (Nothing for the empty picture), and back from an object Variant
// (Empty and Nothing give the empty picture; anything else raises 13).
Variant PictureVariant(const Picture& picture);
Picture PictureFromVariant(const Variant& value);
