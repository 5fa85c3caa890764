#pragma once
// The property frame: the pages of one or more objects as the tabs of one modal dialog with OK,
// Cancel and Apply. Apply applies every page that has changes and keeps the frame open; OK
// applies them and closes it; Cancel closes it and applies nothing more.
#include "com/propertypages.h"

// Shows the pages for the objects in a modal frame owned by the window `owner` at (x, y), with
// the caption. S_OK whether the user pressed OK or Cancel; a failure when a page cannot be
// created or given the objects, or the frame cannot be shown (no window system on this thread).
// The frame is shown through the frame presenter (forms/qt/propertyframe_qt.h), so that a test
// can press its buttons.
HRESULT OleCreatePropertyFrame(OAHWND owner, UINT x, UINT y, const char16_t* caption, ULONG objectCount,
                               IUnknown** objects, ULONG pageCount, const CLSID* pages, LCID lcid,
                               DWORD reserved, void* reservedPointer);
