#pragma once
// Shared pieces of the common controls' sources.
#include <QWidget>
#include <memory>

#include "forms/comctl.h"

namespace forms_detail {

// Keeps an aligned control at the top, bottom, left or right edge of its container, across the
// whole width or height, as the container is resized; vbAlignNone leaves it where it is placed.
void ApplyAlign(Control& control, int16_t align);
// The alignment ApplyAlign last gave the control (vbAlignNone when none).
int16_t AlignOf(const Control& control);
// Brings the aligned controls directly inside the container to its present size at once (before
// its own resize event arrives).
void ApplyAlignedControls(QWidget* container);

// An object Variant holding an item, for event arguments.
inline Variant ItemArg(CollectionItem& item) { return Variant(static_cast<IUnknown*>(&item)); }

// An Integer property value from a late-bound set; 6 beyond its range.
inline int16_t Int16Of(const Variant& v) {
  int32_t n = LongOf(v);
  if (n < -32768 || n > 32767) ::Raise(vbErrOverflow);
  return static_cast<int16_t>(n);
}

// Twips and pixels (15 twips to a pixel).
inline int PixelsOf(double twips) { return static_cast<int>(twips / 15.0 + 0.5); }

}  // namespace forms_detail
