// The fuzz entry point over a GIF load.
#include "gif_fuzz.h"

#include <algorithm>
#include <vector>

#include "GifFile.h"
#include "core/error.h"
#include "forms/gdi.h"
#include "forms/picture.h"
#include "shell/files.h"

namespace flickgem {

int FuzzGifLoad(const uint8_t* data, size_t size, const std::string& scratchFolder) {
  std::vector<uint8_t> image(data, data + size);
  GifLayout layout;
  if (!WalkGif(image, layout)) return 0;
  const int32_t bw = (layout.screenWidth + 31) & ~31, bh = layout.screenHeight;
  HDC back = CreateCompatibleDC(0);
  HDC screen = GetDC(0);
  HBITMAP buffer = CreateCompatibleBitmap(screen, bw, bh);
  ReleaseDC(0, screen);
  HGDIOBJ initial = SelectObject(back, buffer);
  HBRUSH brush = CreateSolidBrush(GetSysColor(15));
  int composed = 0;
  const std::string path = scratchFolder + "/fuzz-frame.gif";
  for (size_t k = 0; k < layout.frames.size(); ++k) {
    const GifFrame& f = layout.frames[k];
    std::vector<uint8_t> bytes = FrameFileBytes(image, layout, k);
    if (f.width == 0 || f.height == 0) continue;
    Picture picture;
    try {
      if (FileExists(path)) Kill(path);
      CreateNewFile(path);
      WriteFileBytes(path, bytes);
      picture = LoadPicture(path);
      Kill(path);
    } catch (const VBError&) {
      if (FileExists(path)) Kill(path);
      break;  // the control takes its error path here
    }
    if (f.disposal == 2) {
      RECT all{0, 0, bw, bh};
      FillRect(back, &all, brush);
    }
    HDC frameDc = CreateCompatibleDC(back);
    HGDIOBJ old = SelectObject(frameDc, picture.Handle());
    const int32_t w = std::max(0, std::min<int32_t>(f.width, layout.screenWidth - f.left));
    const int32_t h = std::max(0, std::min<int32_t>(f.height, layout.screenHeight - f.top));
    if (w > 0 && h > 0) {
      if (f.transparent && f.hasKey) {
        HDC a = CreateCompatibleDC(back), c = CreateCompatibleDC(back);
        HBITMAP ab = CreateCompatibleBitmap(back, w, h), mask = CreateBitmap(w, h, 1, 1, nullptr);
        HGDIOBJ oa = SelectObject(a, ab), oc = SelectObject(c, mask);
        BitBlt(a, 0, 0, w, h, frameDc, f.left, f.top, SRCCOPY);
        SetBkColor(a, f.key);
        BitBlt(c, 0, 0, w, h, a, 0, 0, SRCCOPY);
        BitBlt(back, f.left, f.top, w, h, a, 0, 0, SRCINVERT);
        BitBlt(back, f.left, f.top, w, h, c, 0, 0, SRCAND);
        BitBlt(back, f.left, f.top, w, h, a, 0, 0, SRCINVERT);
        SelectObject(a, oa);
        SelectObject(c, oc);
        DeleteObject(ab);
        DeleteObject(mask);
        DeleteDC(a);
        DeleteDC(c);
      } else {
        BitBlt(back, f.left, f.top, w, h, frameDc, f.left, f.top, SRCCOPY);
      }
    }
    SelectObject(frameDc, old);
    DeleteDC(frameDc);
    ++composed;
  }
  DeleteObject(brush);
  SelectObject(back, initial);
  DeleteObject(buffer);
  DeleteDC(back);
  return composed;
}

}  // namespace flickgem
