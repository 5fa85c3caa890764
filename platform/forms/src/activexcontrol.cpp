// The non-template parts of the ActiveX control base.
#include "forms/activexcontrol.h"

#include <QImage>

#include "forms/qt/gdi_qt.h"
#include "forms/qt/hwnd_qt.h"

namespace forms_detail {

bool IsReflectedMessage(UINT msg) {
  if (msg < 0x2000) return false;
  switch (msg - 0x2000) {
    case 0x0111:  // WM_COMMAND
    case 0x004E:  // WM_NOTIFY
    case 0x0210:  // WM_PARENTNOTIFY
    case 0x002B:  // WM_DRAWITEM
    case 0x002C:  // WM_MEASUREITEM
    case 0x0039:  // WM_COMPAREITEM
    case 0x002D:  // WM_DELETEITEM
    case 0x002E:  // WM_VKEYTOITEM
    case 0x002F:  // WM_CHARTOITEM
    case 0x0114:  // WM_HSCROLL
    case 0x0115:  // WM_VSCROLL
      return true;
    default:
      // WM_CTLCOLORMSGBOX .. WM_CTLCOLORSTATIC
      return msg - 0x2000 >= 0x0132 && msg - 0x2000 <= 0x0138;
  }
}

HRESULT DrawToPictureFile(const std::function<void(HDC, const RECT&)>& draw, const std::u16string& path,
                          int32_t width, int32_t height) {
  if (width <= 0 || height <= 0 || int64_t{width} * height > (int64_t{1} << 26)) return E_INVALIDARG;
  EnsureApplication();
  HDC screen = GetDC(0);
  HDC dc = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
  ReleaseDC(0, screen);
  if (!dc || !bitmap) {
    if (dc) DeleteDC(dc);
    if (bitmap) DeleteObject(bitmap);
    return E_OUTOFMEMORY;
  }
  HGDIOBJ old = SelectObject(dc, bitmap);
  HBRUSH white = CreateSolidBrush(RGB(255, 255, 255));
  RECT bounds{0, 0, width, height};
  FillRect(dc, &bounds, white);
  draw(dc, bounds);
  const QImage image = ImageOfDc(dc);
  SelectObject(dc, old);
  DeleteObject(white);
  DeleteObject(bitmap);
  DeleteDC(dc);
  return image.save(QString::fromStdU16String(path)) ? S_OK : STG_E_INVALIDFUNCTION;
}

}  // namespace forms_detail
