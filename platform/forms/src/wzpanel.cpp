// The panel control WzPanel.
#include "forms/wzpanel.h"

#include <QPainter>
#include <QWidget>

#include "forms/picture_object.h"
#include "forms/qt/control_qt.h"
#include "forms/qt/picture_qt.h"

using namespace forms_detail;

namespace {

class PanelWidget : public QWidget {
 public:
  Picture picture;

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    QImage img = ImageOf(picture);
    if (!img.isNull()) p.drawImage(0, 0, img);
    // A thin raised edge: light along the top and left, shadow along the bottom and right.
    const QRect r = rect();
    p.setPen(palette().color(QPalette::Light));
    p.drawLine(r.topLeft(), r.topRight());
    p.drawLine(r.topLeft(), r.bottomLeft());
    p.setPen(palette().color(QPalette::Dark));
    p.drawLine(r.bottomLeft(), r.bottomRight());
    p.drawLine(r.topRight(), r.bottomRight());
  }
};

PanelWidget* PanelOf(const Control& c) { return static_cast<PanelWidget*>(WidgetOf(c)); }

}  // namespace

WzPanel::WzPanel(const ControlSite& site) : Control(site) {
  auto* w = new PanelWidget;
  AttachWidget(*this, w);
  // The panel itself reports nothing; the controls it holds get their own events.
  w->removeEventFilter(native().events);
  w->setMouseTracking(false);
  ApplyColors(w, native().foreColor, native().backColor, true);
  w->resize(1215 / 15, 615 / 15);
}

Picture WzPanel::GetPicture() const { return PanelOf(*this)->picture; }

void WzPanel::SetPicture(const Picture& p) {
  PanelWidget* w = PanelOf(*this);
  w->picture = p;
  w->update();
}

void WzPanel::SetProperty(const std::string& n, const Variant& v) {
  if (Is(n, "Picture")) return SetPicture(PictureFromVariant(v));
  Control::SetProperty(n, v);
}

Variant WzPanel::GetProperty(const std::string& n) const {
  if (Is(n, "Picture")) return PictureVariant(GetPicture());
  return Control::GetProperty(n);
}

namespace {
const bool kRegistered = RegisterControlClass<WzPanel>("WzPanel");
}
