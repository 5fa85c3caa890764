#pragma once
// Internal to the platform: the images behind device contexts.
#include <QImage>
#include <functional>

#include "forms/gdi.h"

namespace forms_detail {

// A copy of the context's bitmap as an RGB32 image (a monochrome bitmap black and white); a
// window's context gives what was drawn on it. Null for an unknown context.
QImage ImageOfDc(HDC hdc);

// A window that keeps its own drawing surface (a user control's persistent device context)
// registers it: GetDC(hwnd) then draws into `image` and calls `changed` with the pixels drawn.
// Windows without one get a transparent layer over the window.
struct WindowSurface {
  std::function<QImage*()> image;
  std::function<void(const QRect&)> changed;
};
void SetWindowSurface(HWND hwnd, WindowSurface surface);

}  // namespace forms_detail
