// Device contexts, bitmaps and brushes on Qt images. Colour bitmaps are RGB32 images, monochrome
// ones Indexed8 images holding 0 and 1. Every call runs on the window thread.
#include "forms/gdi.h"

#include <QEvent>
#include <QPainter>
#include <QPointer>
#include <QWidget>
#include <algorithm>
#include <map>
#include <optional>
#include <variant>

#include "forms/qt/gdi_qt.h"
#include "forms/qt/hwnd_qt.h"
#include "forms/qt/picture_qt.h"
#include "forms_internal.h"

using namespace forms_detail;

namespace {

constexpr COLORREF kWhite = 0xFFFFFF;
constexpr COLORREF kBlack = 0x000000;
// Bitmaps past this size are refused, as an allocation the window system cannot make.
constexpr int64_t kMaxBitmapBytes = int64_t{256} << 20;

struct Bitmap {
  QImage image;
  bool mono = false;
  HDC selectedInto = 0;
  bool stock = false;
};

struct Brush {
  COLORREF color = kWhite;
  int selections = 0;
  bool stock = false;
};

enum class DcKind { Memory, Window, Screen };

struct Dc {
  DcKind kind = DcKind::Memory;
  HWND hwnd = 0;
  HBITMAP bitmap = 0;                  // memory contexts: the selected bitmap
  std::optional<Bitmap> picture;       // ... or a picture's pixels, when a picture's handle is selected
  HBRUSH brush = 0;
  COLORREF bk = kWhite;
  COLORREF text = kBlack;
};

using Object = std::variant<Dc, Bitmap, Brush>;

struct Table {
  std::map<uintptr_t, Object> objects;
  uintptr_t next = 0;
  HBITMAP stockBitmap = 0;
  HBRUSH stockBrush = 0;
  std::map<HWND, WindowSurface> surfaces;

  // Handles of our own never look like a picture's handle (those are multiples of 4).
  uintptr_t Add(Object o) {
    uintptr_t h = 0x40000002u + (next++ << 2);
    objects.emplace(h, std::move(o));
    return h;
  }
  template <class T>
  T* Find(uintptr_t h) {
    auto it = objects.find(h);
    return it == objects.end() ? nullptr : std::get_if<T>(&it->second);
  }
};

Table& Gdi() {
  static Table* t = [] {
    auto* table = new Table;
    Bitmap stock;
    stock.image = QImage(1, 1, QImage::Format_Indexed8);
    stock.image.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
    stock.image.fill(0);
    stock.mono = true;
    stock.stock = true;
    table->stockBitmap = table->Add(std::move(stock));
    Brush white;
    white.stock = true;
    table->stockBrush = table->Add(white);
    return table;
  }();
  return *t;
}

QRgb RgbOf(COLORREF c) { return qRgb(static_cast<int>(c & 0xFF), static_cast<int>((c >> 8) & 0xFF), static_cast<int>((c >> 16) & 0xFF)); }
bool NearerWhite(COLORREF c) {
  return (c & 0xFF) * 299 + ((c >> 8) & 0xFF) * 587 + ((c >> 16) & 0xFF) * 114 >= 128 * 1000;
}

std::optional<Bitmap> NewBitmap(int32_t width, int32_t height, bool mono) {
  Bitmap b;
  b.mono = mono;
  if (width == 0 || height == 0) {
    // The window system's answer to an empty size: a 1×1 monochrome bitmap.
    width = height = 1;
    b.mono = mono = true;
  }
  if (width < 0 || height < 0 || int64_t{width} * height * 4 > kMaxBitmapBytes) return std::nullopt;
  b.image = QImage(width, height, mono ? QImage::Format_Indexed8 : QImage::Format_RGB32);
  if (b.image.isNull()) return std::nullopt;
  if (mono) {
    b.image.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
    b.image.fill(0);
  } else {
    b.image.fill(qRgb(0, 0, 0));
  }
  return b;
}

// A picture's pixels as an opaque RGB image: the colour of every pixel, transparent ones
// included, without premultiplying.
QImage OpaqueRgb(const QImage& source) {
  QImage img = source;
  if (img.format() == QImage::Format_Indexed8 || img.format() == QImage::Format_Mono ||
      img.format() == QImage::Format_MonoLSB) {
    QList<QRgb> table = img.colorTable();
    for (QRgb& c : table) c = qRgb(qRed(c), qGreen(c), qBlue(c));
    img.setColorTable(table);
    return img.convertToFormat(QImage::Format_RGB32);
  }
  if (img.format() != QImage::Format_ARGB32) img = img.convertToFormat(QImage::Format_ARGB32);
  for (int y = 0; y < img.height(); ++y) {
    auto* row = reinterpret_cast<QRgb*>(img.scanLine(y));
    for (int x = 0; x < img.width(); ++x) row[x] |= 0xFF000000u;
  }
  return img.reinterpretAsFormat(QImage::Format_RGB32) ? img : img.convertToFormat(QImage::Format_RGB32);
}

// ---- windows' drawing --------------------------------------------------------------------------

// A transparent layer over a window that shows what was drawn on the window's context.
class WindowLayer : public QWidget {
 public:
  explicit WindowLayer(QWidget* window) : QWidget(window) {
    setObjectName("GdiWindowLayer");
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    window->installEventFilter(this);
    Fit();
    show();
  }
  QImage image;

  void Fit() {
    QWidget* w = parentWidget();
    setGeometry(w->rect());
    raise();
    QSize size = w->size().expandedTo(QSize(1, 1));
    if (image.size() == size) return;
    QImage grown(size, QImage::Format_ARGB32_Premultiplied);
    grown.fill(Qt::transparent);
    if (!image.isNull()) QPainter(&grown).drawImage(0, 0, image);
    image = grown;
  }

 protected:
  void paintEvent(QPaintEvent*) override { QPainter(this).drawImage(0, 0, image); }
  bool eventFilter(QObject* obj, QEvent* e) override {
    if (obj == parentWidget() && (e->type() == QEvent::Resize || e->type() == QEvent::ChildAdded)) Fit();
    return false;
  }
};

struct Surface {
  QImage* image = nullptr;
  bool mono = false;
  std::function<void(const QRect&)> changed;
};

Surface SurfaceOf(HDC h, Dc& dc) {
  Surface s;
  Table& t = Gdi();
  switch (dc.kind) {
    case DcKind::Memory:
      if (dc.picture) {
        s.image = &dc.picture->image;
      } else if (Bitmap* b = t.Find<Bitmap>(dc.bitmap)) {
        s.image = &b->image;
        s.mono = b->mono;
      }
      break;
    case DcKind::Window: {
      auto it = t.surfaces.find(dc.hwnd);
      if (it != t.surfaces.end()) {
        s.image = it->second.image();
        s.changed = it->second.changed;
        break;
      }
      QWidget* w = WidgetFromHwnd(dc.hwnd);
      if (!w) break;
      auto* layer = w->findChild<WindowLayer*>("GdiWindowLayer", Qt::FindDirectChildrenOnly);
      if (!layer) layer = new WindowLayer(w);
      layer->Fit();
      s.image = &layer->image;
      QPointer<WindowLayer> guarded(layer);
      s.changed = [guarded](const QRect& r) {
        if (guarded) guarded->update(r);
      };
      break;
    }
    case DcKind::Screen:
      break;
  }
  (void)h;
  return s;
}

// Selected bitmaps tell which context holds them; a picture's pixels belong to the context.
void Deselect(HDC h, Dc& dc) {
  if (Bitmap* b = Gdi().Find<Bitmap>(dc.bitmap); b && !b->stock && b->selectedInto == h) b->selectedInto = 0;
  dc.picture.reset();
}

void Store(const Surface& s, int x, int y, uint32_t v) {
  uchar* row = s.image->scanLine(y);
  if (s.mono) {
    row[x] = static_cast<uchar>(v & 1u);
  } else {
    reinterpret_cast<QRgb*>(row)[x] = 0xFF000000u | (v & 0xFFFFFFu);
  }
}

}  // namespace

// ---- contexts ------------------------------------------------------------------------------------

HDC CreateCompatibleDC(HDC hdc) {
  Table& t = Gdi();
  if (hdc != 0 && !t.Find<Dc>(hdc)) return 0;
  Dc dc;
  dc.kind = DcKind::Memory;
  dc.bitmap = t.stockBitmap;
  dc.brush = t.stockBrush;
  t.Find<Brush>(t.stockBrush)->selections++;
  return static_cast<HDC>(t.Add(std::move(dc)));
}

bool DeleteDC(HDC hdc) {
  Table& t = Gdi();
  Dc* dc = t.Find<Dc>(hdc);
  if (!dc) return false;
  Deselect(hdc, *dc);
  if (Brush* b = t.Find<Brush>(dc->brush)) b->selections--;
  t.objects.erase(hdc);
  return true;
}

HDC GetDC(HWND hwnd) {
  Table& t = Gdi();
  if (hwnd != 0 && !IsWindow(hwnd)) return 0;
  Dc dc;
  dc.kind = hwnd ? DcKind::Window : DcKind::Screen;
  dc.hwnd = hwnd;
  dc.brush = t.stockBrush;
  t.Find<Brush>(t.stockBrush)->selections++;
  return static_cast<HDC>(t.Add(std::move(dc)));
}

int32_t ReleaseDC(HWND hwnd, HDC hdc) {
  Dc* dc = Gdi().Find<Dc>(hdc);
  if (!dc || dc->kind == DcKind::Memory || dc->hwnd != hwnd) return 0;
  return DeleteDC(hdc) ? 1 : 0;
}

// ---- objects -------------------------------------------------------------------------------------

HBITMAP CreateCompatibleBitmap(HDC hdc, int32_t width, int32_t height) {
  Table& t = Gdi();
  bool mono = false;
  if (hdc != 0) {
    Dc* dc = t.Find<Dc>(hdc);
    if (!dc) return 0;
    if (dc->kind == DcKind::Memory && !dc->picture) {
      Bitmap* b = t.Find<Bitmap>(dc->bitmap);
      mono = b && b->mono;
    }
  }
  std::optional<Bitmap> b = NewBitmap(width, height, mono);
  return b ? t.Add(std::move(*b)) : 0;
}

HBITMAP CreateBitmap(int32_t width, int32_t height, uint32_t planes, uint32_t bitsPerPixel, const void* bits) {
  if (planes != 1 || (bitsPerPixel != 1 && bitsPerPixel != 24 && bitsPerPixel != 32)) return 0;
  std::optional<Bitmap> b = NewBitmap(width, height, bitsPerPixel == 1);
  if (!b) return 0;
  if (bits && width > 0 && height > 0) {
    const auto* src = static_cast<const uint8_t*>(bits);
    // Rows are padded to 16-bit words.
    size_t stride = ((static_cast<size_t>(width) * bitsPerPixel + 15) / 16) * 2;
    for (int y = 0; y < height; ++y) {
      const uint8_t* row = src + stride * static_cast<size_t>(y);
      uchar* out = b->image.scanLine(y);
      for (int x = 0; x < width; ++x) {
        if (bitsPerPixel == 1) {
          out[x] = (row[x / 8] >> (7 - x % 8)) & 1;
        } else {
          size_t n = bitsPerPixel / 8;
          const uint8_t* p = row + static_cast<size_t>(x) * n;  // blue, green, red
          reinterpret_cast<QRgb*>(out)[x] = qRgb(p[2], p[1], p[0]);
        }
      }
    }
  }
  return Gdi().Add(std::move(*b));
}

HBRUSH CreateSolidBrush(COLORREF color) {
  Brush b;
  b.color = color & 0xFFFFFF;
  return Gdi().Add(b);
}

HGDIOBJ SelectObject(HDC hdc, HGDIOBJ object) {
  Table& t = Gdi();
  Dc* dc = t.Find<Dc>(hdc);
  if (!dc) return 0;
  if (Brush* brush = t.Find<Brush>(object)) {
    HGDIOBJ previous = dc->brush;
    if (Brush* old = t.Find<Brush>(previous)) old->selections--;
    brush->selections++;
    dc->brush = object;
    return previous;
  }
  if (dc->kind != DcKind::Memory) return 0;
  HGDIOBJ previous = dc->bitmap;
  if (Bitmap* bitmap = t.Find<Bitmap>(object)) {
    // A bitmap is in one context at a time.
    if (!bitmap->stock && bitmap->selectedInto != 0 && bitmap->selectedInto != hdc) return 0;
    Deselect(hdc, *dc);
    if (!bitmap->stock) bitmap->selectedInto = hdc;
    dc->bitmap = object;
    return previous;
  }
  Picture picture = PictureFromHandle(object);
  if (picture.IsEmpty()) return 0;
  Bitmap pixels;
  // A 32-bit picture is read in place (a pixel's colour is its low 24 bits whatever its alpha;
  // drawing on it copies it first), so selecting a picture costs no conversion.
  const QImage& source = ImageOf(picture);
  pixels.image = source.format() == QImage::Format_RGB32 || source.format() == QImage::Format_ARGB32
                     ? source
                     : OpaqueRgb(source);
  Deselect(hdc, *dc);
  dc->picture = std::move(pixels);
  dc->bitmap = object;
  return previous;
}

bool DeleteObject(HGDIOBJ object) {
  Table& t = Gdi();
  if (Bitmap* b = t.Find<Bitmap>(object)) {
    if (b->stock) return true;
    if (b->selectedInto != 0) return false;
  } else if (Brush* br = t.Find<Brush>(object)) {
    if (br->stock) return true;
    if (br->selections > 0) return false;
  } else {
    return false;
  }
  t.objects.erase(object);
  return true;
}

// ---- colours -------------------------------------------------------------------------------------

COLORREF SetBkColor(HDC hdc, COLORREF color) {
  Dc* dc = Gdi().Find<Dc>(hdc);
  if (!dc) return CLR_INVALID;
  return std::exchange(dc->bk, color & 0xFFFFFF);
}

COLORREF SetTextColor(HDC hdc, COLORREF color) {
  Dc* dc = Gdi().Find<Dc>(hdc);
  if (!dc) return CLR_INVALID;
  return std::exchange(dc->text, color & 0xFFFFFF);
}

COLORREF GetSysColor(int32_t index) {
  if (index < 0 || index > 24) return 0;
  EnsureApplication();
  return OleFromColor(ColorFromOle(0x80000000u | static_cast<uint32_t>(index)));
}

COLORREF GetNearestColor(HDC hdc, COLORREF color) {
  Table& t = Gdi();
  Dc* dc = t.Find<Dc>(hdc);
  if (!dc) return CLR_INVALID;
  color &= 0xFFFFFF;
  if (dc->kind == DcKind::Memory && !dc->picture) {
    Bitmap* b = t.Find<Bitmap>(dc->bitmap);
    if (b && b->mono) return NearerWhite(color) ? kWhite : kBlack;
  }
  return color;
}

// ---- drawing -------------------------------------------------------------------------------------

int32_t FillRect(HDC hdc, const RECT* rect, HBRUSH brush) {
  Table& t = Gdi();
  Dc* dc = t.Find<Dc>(hdc);
  Brush* b = t.Find<Brush>(brush);
  if (!dc || !b || !rect) return 0;
  Surface s = SurfaceOf(hdc, *dc);
  if (!s.image) return 0;
  QRect r = QRect(QPoint(rect->left, rect->top), QPoint(rect->right - 1, rect->bottom - 1)) & s.image->rect();
  uint32_t v = s.mono ? (NearerWhite(b->color) ? 1u : 0u) : (RgbOf(b->color) & 0xFFFFFFu);
  for (int y = r.top(); y <= r.bottom() && !r.isEmpty(); ++y) {
    uchar* row = s.image->scanLine(y);
    if (s.mono) {
      std::fill(row + r.left(), row + r.right() + 1, static_cast<uchar>(v));
    } else {
      auto* px = reinterpret_cast<QRgb*>(row);
      std::fill(px + r.left(), px + r.right() + 1, 0xFF000000u | v);
    }
  }
  if (s.changed && !r.isEmpty()) s.changed(r);
  return 1;
}

bool BitBlt(HDC dest, int32_t x, int32_t y, int32_t width, int32_t height, HDC src, int32_t srcX, int32_t srcY,
            DWORD_ROP rop) {
  if (rop != SRCCOPY && rop != SRCINVERT && rop != SRCAND) return false;
  Table& t = Gdi();
  Dc* d = t.Find<Dc>(dest);
  Dc* s = t.Find<Dc>(src);
  if (!d || !s) return false;
  Surface ds = SurfaceOf(dest, *d);
  Surface ss = SurfaceOf(src, *s);
  if (!ds.image || !ss.image) return false;
  // Clip to both bitmaps, moving the other side's corner along.
  int64_t w = width, h = height, dx = x, dy = y, sx = srcX, sy = srcY;
  auto clipLow = [](int64_t& a, int64_t& b, int64_t& size) {
    int64_t cut = std::max<int64_t>({0, -a, -b});
    a += cut;
    b += cut;
    size -= cut;
  };
  clipLow(dx, sx, w);
  clipLow(dy, sy, h);
  w = std::min({w, ds.image->width() - dx, ss.image->width() - sx});
  h = std::min({h, ds.image->height() - dy, ss.image->height() - sy});
  if (w <= 0 || h <= 0) return true;

  // Row by row: a source row is read into the destination's terms (colour, or 0 and 1), then
  // combined. One bitmap on both sides is read whole first, as the rectangles may overlap.
  const QRgb keyed = RgbOf(s->bk) & 0xFFFFFFu;
  const uint32_t zero = RgbOf(d->text) & 0xFFFFFFu, one = RgbOf(d->bk) & 0xFFFFFFu;
  const bool same = ds.image == ss.image;
  if (!same) ds.image->bits();  // detaches a destination that shares the source's pixels
  static thread_local std::vector<uint32_t> values;
  values.resize(static_cast<size_t>(same ? w * h : w));
  auto readRow = [&](int64_t row, uint32_t* out) {
    const uchar* src = ss.image->constScanLine(static_cast<int>(sy + row));
    if (ss.mono) {
      src += sx;
      if (ds.mono) {
        for (int64_t c = 0; c < w; ++c) out[c] = src[c] ? 1u : 0u;
      } else {
        for (int64_t c = 0; c < w; ++c) out[c] = src[c] ? one : zero;
      }
    } else {
      const QRgb* px = reinterpret_cast<const QRgb*>(src) + sx;
      if (ds.mono) {
        for (int64_t c = 0; c < w; ++c) out[c] = (px[c] & 0xFFFFFFu) == keyed ? 1u : 0u;
      } else {
        for (int64_t c = 0; c < w; ++c) out[c] = px[c] & 0xFFFFFFu;
      }
    }
  };
  if (same) {
    for (int64_t row = 0; row < h; ++row) readRow(row, values.data() + row * w);
  }
  for (int64_t row = 0; row < h; ++row) {
    uint32_t* v = values.data() + (same ? row * w : 0);
    if (!same) readRow(row, v);
    uchar* dst = ds.image->scanLine(static_cast<int>(dy + row));
    if (ds.mono) {
      uchar* out = dst + dx;
      if (rop == SRCINVERT) {
        for (int64_t c = 0; c < w; ++c) out[c] = static_cast<uchar>((v[c] ^ (out[c] ? 1u : 0u)) & 1u);
      } else if (rop == SRCAND) {
        for (int64_t c = 0; c < w; ++c) out[c] = static_cast<uchar>(v[c] & (out[c] ? 1u : 0u) & 1u);
      } else {
        for (int64_t c = 0; c < w; ++c) out[c] = static_cast<uchar>(v[c] & 1u);
      }
    } else {
      QRgb* out = reinterpret_cast<QRgb*>(dst) + dx;
      if (rop == SRCINVERT) {
        for (int64_t c = 0; c < w; ++c) out[c] = 0xFF000000u | ((v[c] ^ out[c]) & 0xFFFFFFu);
      } else if (rop == SRCAND) {
        for (int64_t c = 0; c < w; ++c) out[c] = 0xFF000000u | (v[c] & out[c] & 0xFFFFFFu);
      } else {
        for (int64_t c = 0; c < w; ++c) out[c] = 0xFF000000u | v[c];
      }
    }
  }
  if (ds.changed) ds.changed(QRect(static_cast<int>(dx), static_cast<int>(dy), static_cast<int>(w), static_cast<int>(h)));
  return true;
}

// ---- the platform's side -------------------------------------------------------------------------

namespace forms_detail {

QImage ImageOfDc(HDC hdc) {
  Dc* dc = Gdi().Find<Dc>(hdc);
  if (!dc) return QImage();
  Surface s = SurfaceOf(hdc, *dc);
  if (!s.image) return QImage();
  QImage copy = s.image->convertToFormat(QImage::Format_RGB32);
  return copy;
}

void SetWindowSurface(HWND hwnd, WindowSurface surface) {
  if (surface.image) {
    Gdi().surfaces[hwnd] = std::move(surface);
  } else {
    Gdi().surfaces.erase(hwnd);
  }
}

}  // namespace forms_detail

bool DrawIcon(HDC hdc, int32_t x, int32_t y, HICON icon) {
  Table& t = Gdi();
  Dc* dc = t.Find<Dc>(hdc);
  if (!dc) return false;
  Picture picture = PictureFromHandle(icon);
  if (picture.IsEmpty()) return false;
  const QImage image = ImageOf(picture).convertToFormat(QImage::Format_ARGB32);
  Surface s = SurfaceOf(hdc, *dc);
  if (!s.image || image.isNull()) return false;
  const QRect target = QRect(x, y, image.width(), image.height()) & s.image->rect();
  for (int py = target.top(); py <= target.bottom() && !target.isEmpty(); ++py) {
    for (int px = target.left(); px <= target.right(); ++px) {
      const QRgb c = image.pixel(px - x, py - y);
      if (qAlpha(c) < 128) continue;
      const COLORREF color = RGB(static_cast<uint8_t>(qRed(c)), static_cast<uint8_t>(qGreen(c)),
                                 static_cast<uint8_t>(qBlue(c)));
      Store(s, px, py, s.mono ? (NearerWhite(color) ? 1u : 0u) : (c & 0xFFFFFFu));
    }
  }
  if (s.changed && !target.isEmpty()) s.changed(target);
  return true;
}
