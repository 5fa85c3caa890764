// The picture box: a container that draws text and graphics in its own scale.
#include <QFontMetricsF>
#include <QPainter>
#include <cmath>

#include "core/error.h"
#include "forms/controls.h"
#include "forms/form.h"
#include "forms/qt/control_qt.h"
#include "forms/qt/font_qt.h"
#include "forms/picture_object.h"
#include "forms/qt/picture_qt.h"
#include "comctl_internal.h"
#include "forms_internal.h"

using namespace forms_detail;

struct PictureBox::Impl {
  PictureBox* self = nullptr;
  Picture picture;
  QImage layer;  // what has been drawn (transparent where nothing is)
  bool autoRedraw = false;
  bool autoSize = false;
  int16_t border = 1;
  int16_t scaleMode = vbTwips;
  double scaleLeft = 0, scaleTop = 0, scaleW = 0, scaleH = 0;  // vbUser
  double currentX = 0, currentY = 0;
  int16_t drawWidth = 1;
  bool inPaint = false;

  int BorderPx() const { return border ? 2 : 0; }
  QWidget* W() const { return WidgetOf(*self); }
  QSize Inner() const {
    QSize s = W()->size();
    return QSize(std::max(0, s.width() - 2 * BorderPx()), std::max(0, s.height() - 2 * BorderPx()));
  }
  // Units per pixel and origin of the drawing area.
  ScaleInfo Scale() const { return ScaleFor(scaleMode, scaleLeft, scaleTop, scaleW, scaleH, Inner()); }
  QPointF ToPx(double x, double y) const {
    ScaleInfo s = Scale();
    return QPointF((x - s.left) / s.unitsPerPixelX, (y - s.top) / s.unitsPerPixelY);
  }
  void EnsureLayer() {
    QSize in = Inner();
    if (in.isEmpty()) in = QSize(1, 1);
    if (layer.size() == in) return;
    QImage grown(in, QImage::Format_ARGB32_Premultiplied);
    grown.fill(Qt::transparent);
    if (!layer.isNull()) {
      QPainter p(&grown);
      p.drawImage(0, 0, layer);
    }
    layer = grown;
  }
  QColor Color(int64_t c) const {
    return ColorFromOle(c < 0 ? self->ForeColor() : static_cast<OLE_COLOR>(c));
  }
  void Changed() {
    if (!inPaint) W()->update();
  }
  // Background, picture and drawing, as the control shows its inner area.
  QImage Composite() {
    EnsureLayer();
    QImage out(layer.size(), QImage::Format_RGB32);
    out.fill(ColorFromOle(self->BackColor()));
    QPainter p(&out);
    if (!picture.IsEmpty()) p.drawImage(0, 0, ImageOf(picture));
    p.drawImage(0, 0, layer);
    return out;
  }
};

namespace {

class Canvas : public QWidget {
 public:
  explicit Canvas(PictureBox::Impl* d) : d_(d) {}
  void Forget() { d_ = nullptr; }

 protected:
  void paintEvent(QPaintEvent*) override {
    if (!d_) return;
    if (!d_->autoRedraw) {
      // Without a persistent image the program redraws in its Paint handler.
      d_->inPaint = true;
      Guard([&] { d_->self->Raise("Paint"); });
      d_->inPaint = false;
    }
    QPainter p(this);
    int b = d_->BorderPx();
    p.drawImage(b, b, d_->Composite());
    if (b) {
      p.setPen(palette().color(QPalette::Dark));
      p.drawRect(0, 0, width() - 1, height() - 1);
      p.setPen(palette().color(QPalette::Shadow));
      p.drawRect(1, 1, width() - 3, height() - 3);
    }
  }
  void resizeEvent(QResizeEvent*) override {
    if (!d_) return;
    d_->EnsureLayer();
    Guard([&] { d_->self->Raise("Resize"); });
  }

 private:
  PictureBox::Impl* d_;
};

}  // namespace

PictureBox::PictureBox(const ControlSite& site) : Control(site), d_(std::make_shared<Impl>()) {
  d_->self = this;
  native().backColor = 0x8000000F;
  native().foreColor = 0x80000012;
  auto* w = new Canvas(d_.get());
  AttachWidget(*this, w);
  native().clickOnRelease = true;
  native().dblClick = true;
  w->resize(1215 / 15, 1215 / 15);
  std::weak_ptr<Impl> weak = d_;
  SetContainerScale(*this, [weak] {
    auto d = weak.lock();
    if (!d) return ScaleInfo{};
    ScaleInfo s = d->Scale();
    s.left -= d->BorderPx() * s.unitsPerPixelX;
    s.top -= d->BorderPx() * s.unitsPerPixelY;
    return s;
  });
  native().toEventUnits = [weak](QPointF px) {
    auto d = weak.lock();
    if (!d) return px;
    ScaleInfo s = d->Scale();
    return QPointF((px.x() - d->BorderPx()) * s.unitsPerPixelX + s.left, (px.y() - d->BorderPx()) * s.unitsPerPixelY + s.top);
  };
  d_->EnsureLayer();
}

PictureBox::~PictureBox() {
  if (auto* c = dynamic_cast<Canvas*>(WidgetOf(*this))) c->Forget();
}

Picture PictureBox::GetPicture() const { return d_->picture; }
void PictureBox::SetPicture(const Picture& p) {
  d_->picture = p;
  if (d_->autoSize && !p.IsEmpty()) {
    d_->W()->resize(p.PixelWidth() + 2 * d_->BorderPx(), p.PixelHeight() + 2 * d_->BorderPx());
  }
  d_->Changed();
}
Picture PictureBox::Image() const { return PictureFromImage(d_->Composite()); }
bool PictureBox::AutoRedraw() const { return d_->autoRedraw; }
void PictureBox::AutoRedraw(bool v) { d_->autoRedraw = v; }
bool PictureBox::AutoSize() const { return d_->autoSize; }
void PictureBox::AutoSize(bool v) {
  d_->autoSize = v;
  if (v) SetPicture(d_->picture);
}
int16_t PictureBox::BorderStyle() const { return d_->border; }
void PictureBox::BorderStyle(int16_t v) {
  d_->border = v ? 1 : 0;
  d_->EnsureLayer();
  d_->Changed();
}
int16_t PictureBox::ScaleMode() const { return d_->scaleMode; }
void PictureBox::ScaleMode(int16_t v) {
  if (v < vbUser || v > vbPixels) ::Raise(vbErrInvalidPropertyValue);
  if (v == vbUser && d_->scaleMode != vbUser) {
    ScaleInfo s = d_->Scale();
    d_->scaleLeft = d_->scaleTop = 0;
    d_->scaleW = d_->Inner().width() * s.unitsPerPixelX;
    d_->scaleH = d_->Inner().height() * s.unitsPerPixelY;
  }
  d_->scaleMode = v;
}
float PictureBox::ScaleLeft() const { return static_cast<float>(d_->Scale().left); }
float PictureBox::ScaleTop() const { return static_cast<float>(d_->Scale().top); }
float PictureBox::ScaleWidth() const { return static_cast<float>(d_->Inner().width() * d_->Scale().unitsPerPixelX); }
float PictureBox::ScaleHeight() const { return static_cast<float>(d_->Inner().height() * d_->Scale().unitsPerPixelY); }
void PictureBox::ScaleLeft(float v) {
  ScaleMode(vbUser);
  d_->scaleLeft = v;
}
void PictureBox::ScaleTop(float v) {
  ScaleMode(vbUser);
  d_->scaleTop = v;
}
void PictureBox::ScaleWidth(float v) {
  if (v == 0) ::Raise(vbErrInvalidPropertyValue);
  ScaleMode(vbUser);
  d_->scaleW = v;
}
void PictureBox::ScaleHeight(float v) {
  if (v == 0) ::Raise(vbErrInvalidPropertyValue);
  ScaleMode(vbUser);
  d_->scaleH = v;
}
void PictureBox::Scale(float x1, float y1, float x2, float y2) {
  if (x1 == x2 || y1 == y2) ::Raise(vbErrInvalidProcedureCall);
  d_->scaleMode = vbUser;
  d_->scaleLeft = x1;
  d_->scaleTop = y1;
  d_->scaleW = x2 - x1;
  d_->scaleH = y2 - y1;
}
float PictureBox::CurrentX() const { return static_cast<float>(d_->currentX); }
void PictureBox::CurrentX(float v) { d_->currentX = v; }
float PictureBox::CurrentY() const { return static_cast<float>(d_->currentY); }
void PictureBox::CurrentY(float v) { d_->currentY = v; }
int16_t PictureBox::DrawWidth() const { return d_->drawWidth; }
void PictureBox::DrawWidth(int16_t v) {
  if (v < 1) ::Raise(vbErrInvalidPropertyValue);
  d_->drawWidth = v;
}

void PictureBox::Cls() {
  d_->EnsureLayer();
  d_->layer.fill(Qt::transparent);
  ScaleInfo s = d_->Scale();
  d_->currentX = s.left;
  d_->currentY = s.top;
  d_->Changed();
}

namespace {
QFont FontOf(const StdFont& f) { return forms_detail::QtFont(f); }
}  // namespace

void PictureBox::Print(const std::string& text) {
  d_->EnsureLayer();
  QFont font = FontOf(Font());
  QFontMetricsF fm(font, &d_->layer);
  QPointF at = d_->ToPx(d_->currentX, d_->currentY);
  {
    QPainter p(&d_->layer);
    p.setFont(font);
    p.setPen(d_->Color(-1));
    p.drawText(QPointF(at.x(), at.y() + fm.ascent()), Q(text));
  }
  ScaleInfo s = d_->Scale();
  d_->currentX = s.left;
  d_->currentY += fm.height() * s.unitsPerPixelY;
  d_->Changed();
}

float PictureBox::TextWidth(const std::string& text) const {
  QFontMetricsF fm(FontOf(Font()));
  return static_cast<float>(fm.horizontalAdvance(Q(text)) * d_->Scale().unitsPerPixelX);
}
float PictureBox::TextHeight(const std::string& text) const {
  QFontMetricsF fm(FontOf(Font()));
  int lines = 1 + static_cast<int>(std::count(text.begin(), text.end(), '\n'));
  return static_cast<float>(fm.height() * lines * d_->Scale().unitsPerPixelY);
}

void PictureBox::Line(float x1, float y1, float x2, float y2, int64_t color, int16_t box) {
  d_->EnsureLayer();
  QPointF a = d_->ToPx(x1, y1);
  QPointF b = d_->ToPx(x2, y2);
  QColor c = d_->Color(color);
  {
    QPainter p(&d_->layer);
    QPen pen(c, d_->drawWidth);
    pen.setCapStyle(Qt::SquareCap);
    p.setPen(pen);
    QRectF r = QRectF(a, b).normalized();
    if (box == 2) {
      p.fillRect(QRectF(r.topLeft(), r.size() + QSizeF(1, 1)), c);
    } else if (box == 1) {
      p.drawRect(r);
    } else {
      p.drawLine(a, b);
    }
  }
  d_->currentX = x2;
  d_->currentY = y2;
  d_->Changed();
}

void PictureBox::PSet(float x, float y, int64_t color) {
  d_->EnsureLayer();
  QPointF a = d_->ToPx(x, y);
  QColor c = d_->Color(color);
  int px = static_cast<int>(std::floor(a.x()));
  int py = static_cast<int>(std::floor(a.y()));
  if (d_->drawWidth <= 1) {
    if (d_->layer.rect().contains(px, py)) d_->layer.setPixelColor(px, py, c);
  } else {
    QPainter p(&d_->layer);
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawEllipse(a, d_->drawWidth / 2.0, d_->drawWidth / 2.0);
  }
  d_->currentX = x;
  d_->currentY = y;
  d_->Changed();
}

OLE_COLOR PictureBox::Point(float x, float y) const {
  QImage img = d_->Composite();
  QPointF a = d_->ToPx(x, y);
  int px = static_cast<int>(std::floor(a.x()));
  int py = static_cast<int>(std::floor(a.y()));
  if (!img.rect().contains(px, py)) return static_cast<OLE_COLOR>(-1);
  return OleFromColor(img.pixelColor(px, py));
}

void PictureBox::PaintPicture(const Picture& pic, float x, float y, float width, float height) {
  if (pic.IsEmpty()) ::Raise(vbErrInvalidPicture);
  d_->EnsureLayer();
  QPointF a = d_->ToPx(x, y);
  ScaleInfo s = d_->Scale();
  double w = width < 0 ? pic.PixelWidth() : width / s.unitsPerPixelX;
  double h = height < 0 ? pic.PixelHeight() : height / s.unitsPerPixelY;
  {
    QPainter p(&d_->layer);
    p.drawImage(QRectF(a, QSizeF(w, h)), ImageOf(pic));
  }
  d_->Changed();
}

void PictureBox::Refresh() { d_->W()->repaint(); }

int16_t PictureBox::Align() const { return AlignOf(*this); }
void PictureBox::Align(int16_t v) { ApplyAlign(*this, v); }

void PictureBox::SetProperty(const std::string& n, const Variant& v) {
  if (Is(n, "OLEDropMode")) return OLEDropMode(static_cast<int16_t>(LongOf(v)));
  if (Is(n, "Align")) return Align(static_cast<int16_t>(LongOf(v)));
  if (Is(n, "AutoRedraw")) return AutoRedraw(BoolOf(v));
  if (Is(n, "Picture")) return SetPicture(PictureFromVariant(v));
  if (Is(n, "AutoSize")) return AutoSize(BoolOf(v));
  if (Is(n, "BorderStyle")) return BorderStyle(static_cast<int16_t>(LongOf(v)));
  if (Is(n, "ScaleMode")) return ScaleMode(static_cast<int16_t>(LongOf(v)));
  if (Is(n, "ScaleLeft")) return ScaleLeft(static_cast<float>(DoubleOf(v)));
  if (Is(n, "ScaleTop")) return ScaleTop(static_cast<float>(DoubleOf(v)));
  if (Is(n, "ScaleWidth")) return ScaleWidth(static_cast<float>(DoubleOf(v)));
  if (Is(n, "ScaleHeight")) return ScaleHeight(static_cast<float>(DoubleOf(v)));
  if (Is(n, "CurrentX")) return CurrentX(static_cast<float>(DoubleOf(v)));
  if (Is(n, "CurrentY")) return CurrentY(static_cast<float>(DoubleOf(v)));
  if (Is(n, "DrawWidth")) return DrawWidth(static_cast<int16_t>(LongOf(v)));
  if (Is(n, "BackColor")) {
    Control::SetProperty(n, v);
    return d_->Changed();
  }
  Control::SetProperty(n, v);
}
Variant PictureBox::GetProperty(const std::string& n) const {
  if (Is(n, "OLEDropMode")) return Variant(OLEDropMode());
  if (Is(n, "Align")) return Variant(Align());
  if (Is(n, "AutoRedraw")) return Variant(AutoRedraw());
  if (Is(n, "Picture")) return PictureVariant(GetPicture());
  if (Is(n, "Image")) return PictureVariant(Image());
  if (Is(n, "AutoSize")) return Variant(AutoSize());
  if (Is(n, "BorderStyle")) return Variant(BorderStyle());
  if (Is(n, "ScaleMode")) return Variant(ScaleMode());
  if (Is(n, "ScaleWidth")) return Variant(ScaleWidth());
  if (Is(n, "ScaleHeight")) return Variant(ScaleHeight());
  if (Is(n, "CurrentX")) return Variant(CurrentX());
  if (Is(n, "CurrentY")) return Variant(CurrentY());
  return Control::GetProperty(n);
}

namespace {
const bool kRegistered = RegisterControlClass<PictureBox>("PictureBox");
}
