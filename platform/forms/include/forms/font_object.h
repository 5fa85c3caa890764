#pragma once
// Fonts as automation objects (the standard font type, IFontDisp), so that a font can cross
// IDispatch: the container's ambient Font, a Variant argument, a late-bound value. Properties, at
// the standard DISPIDs: Name (String, 0), Size (Single, points, 2), Bold 3, Italic 4, Underline 5,
// Strikethrough 6 (Boolean). The object is a snapshot: it is read, not written.
#include "core/unknown.h"
#include "core/variant.h"
#include "forms/font.h"

class IFontDisp : public IDispatch {
 public:
  static constexpr IID iid = MakeGuid("{BEF6E003-A874-101A-8BBB-00AA00300CAB}");
};

// The font as a new object.
ComPtr<IFontDisp> FontObject(const StdFont& font);
// Reads a font object's properties through its IDispatch, by DISPID (any font object, not only
// ours); a member the object does not answer keeps StdFont's default. Raises 13 for an object
// without IDispatch.
StdFont FontFromObject(IUnknown* object);

// As a Variant: VT_DISPATCH.
Variant FontVariant(const StdFont& font);
