// Toolbar, ProgressBar, Slider and StatusBar.
#include <QAction>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QProgressBar>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QToolBar>
#include <cmath>

#include "comctl_internal.h"
#include "forms/controls.h"
#include "forms/form.h"
#include "forms/qt/control_qt.h"
#include "forms/qt/picture_qt.h"
#include "forms_internal.h"

using namespace forms_detail;

// ---- Toolbar ---------------------------------------------------------------------------------

void Button::Caption(const std::string& v) {
  caption_ = v;
  Changed();
}
void Button::Style(int16_t v) {
  if (v < tbrDefault || v > tbrPlaceholder) ::Raise(vbErrInvalidPropertyValue);
  style_ = v;
  if (v != tbrCheck && v != tbrButtonGroup) value_ = tbrUnpressed;
  Changed();
}
void Button::Image(const Variant& v) {
  Variant value = v.Deref();
  if (value.vt() != VT_EMPTY && checkImage_) checkImage_(*this, value);
  image_ = value;
  Changed();
}
void Button::ToolTipText(const std::string& v) {
  toolTip_ = v;
  Changed();
}
void Button::Enabled(bool v) {
  enabled_ = v;
  Changed();
}
void Button::Visible(bool v) {
  visible_ = v;
  Changed();
}
void Button::Value(int16_t v) {
  if (v != tbrUnpressed && v != tbrPressed) ::Raise(vbErrInvalidPropertyValue);
  value_ = v;
  Changed();
}
void Button::Width(float v) {
  if (v < 0) ::Raise(vbErrInvalidPropertyValue);
  width_ = v;
  Changed();
}

Button& Buttons::Add(const Variant& index, const std::string& key, const std::string& caption, int16_t style,
                     const Variant& image) {
  if (style < tbrDefault || style > tbrPlaceholder) ::Raise(vbErrInvalidPropertyValue);
  ComPtr<Button> b(new Button);
  b->caption_ = caption;
  b->style_ = style;
  b->checkImage_ = checkImage_;
  Variant img = image.Deref();
  if (img.vt() != VT_EMPTY && checkImage_) checkImage_(*b.Get(), img);
  b->image_ = img;
  return Insert(IndexArg(index), key, b);
}

struct Toolbar::Impl : ItemOwner {
  Toolbar* self = nullptr;
  Buttons buttons{this};
  QPointer<QToolBar> bar;
  ImageList* imageList = nullptr;
  int16_t align = vbAlignTop;
  std::vector<QPointer<QAction>> actions;

  void ItemChanged(CollectionItem&) override { Rebuild(); }
  void ItemsChanged() override { Rebuild(); }

  QIcon IconOf(const Button& b) const {
    if (!imageList || b.Image().vt() == VT_EMPTY) return {};
    Picture p;
    try {
      p = imageList->PictureOf(b.Image());
    } catch (const VBError&) {
      return {};  // the image went from the list after it was given
    }
    return QIcon(QPixmap::fromImage(ImageOf(p)));
  }

  void Rebuild() {
    if (!bar) return;
    // The old actions go later: a handler may rebuild the bar from inside a button's click.
    for (auto& a : actions) {
      if (!a) continue;
      bar->removeAction(a);
      a->deleteLater();
    }
    actions.clear();
    if (imageList) bar->setIconSize(QSize(imageList->ImageWidth(), imageList->ImageHeight()));
    std::weak_ptr<Impl> weak = self->d_;
    for (Button* b : buttons.Items()) {
      QAction* a = nullptr;
      if (b->Style() == tbrSeparator) {
        a = bar->addSeparator();
      } else if (b->Style() == tbrPlaceholder) {
        auto* space = new QWidget;
        space->setFixedWidth(PixelsOf(b->Width()));
        a = bar->addWidget(space);
      } else {
        a = bar->addAction(IconOf(*b), MnemonicText(b->Caption()));
        a->setToolTip(Q(b->ToolTipText()));
        a->setCheckable(b->Style() == tbrCheck || b->Style() == tbrButtonGroup);
        a->setChecked(b->Value() == tbrPressed);
        a->setEnabled(b->Enabled());
        ComPtr<Button> keep(b);
        QObject::connect(a, &QAction::triggered, a, [weak, keep](bool checked) {
          auto d = weak.lock();
          if (!d || Ended()) return;
          Guard([&] { d->Clicked(*keep.Get(), checked); });
        });
      }
      a->setVisible(b->Visible());
      actions.emplace_back(a);
    }
  }

  void Clicked(Button& b, bool checked) {
    if (b.Index() == 0) return;  // removed meanwhile
    if (b.Style() == tbrCheck) {
      b.value_ = checked ? tbrPressed : tbrUnpressed;
    } else if (b.Style() == tbrButtonGroup) {
      // One pressed button in a run of adjacent group buttons.
      auto all = buttons.Items();
      int i = b.Index() - 1;
      int first = i, last = i;
      while (first > 0 && all[first - 1]->Style() == tbrButtonGroup) --first;
      while (last + 1 < static_cast<int>(all.size()) && all[last + 1]->Style() == tbrButtonGroup) ++last;
      for (int k = first; k <= last; ++k) all[k]->value_ = k == i ? tbrPressed : tbrUnpressed;
      Rebuild();
    }
    self->Raise("ButtonClick", {ItemArg(b)});
  }
};

Toolbar::Toolbar(const ControlSite& site) : Control(site), d_(std::make_shared<Impl>()) {
  d_->self = this;
  auto* w = new QToolBar;
  w->setMovable(false);
  w->setFloatable(false);
  w->setToolButtonStyle(Qt::ToolButtonIconOnly);
  d_->bar = w;
  AttachWidget(*this, w);
  // A window of its own: what lies beneath (tiles scrolled up under the bar) does not show through.
  w->setAutoFillBackground(true);
  w->resize(w->width(), PixelsOf(420));
  std::weak_ptr<Impl> weak = d_;
  d_->buttons.checkImage_ = [weak](Button&, const Variant& image) {
    auto d = weak.lock();
    if (!d || !d->imageList) ::Raise(ccErrNoImageList, "ImageList must be initialized before it can be used");
    d->imageList->PictureOf(image);
  };
  ApplyAlign(*this, d_->align);
}
Toolbar::~Toolbar() = default;

Buttons& Toolbar::ButtonsOf() const { return d_->buttons; }
ImageList* Toolbar::GetImageList() const { return d_->imageList; }
void Toolbar::SetImageList(ImageList* list) {
  d_->imageList = list;
  d_->Rebuild();
}
int16_t Toolbar::Align() const { return d_->align; }
void Toolbar::Align(int16_t v) {
  ApplyAlign(*this, v);
  d_->align = v;
}
void Toolbar::SetProperty(const std::string& n, const Variant& v) {
  if (Is(n, "Align")) return Align(Int16Of(v));
  if (Is(n, "ImageList")) {
    std::string name = StringOf(v);
    if (name.empty()) return SetImageList(nullptr);
    auto* list = dynamic_cast<ImageList*>(Parent().FindControl(name));
    if (!list) ::Raise(vbErrInvalidPropertyValue, "No image list named '" + name + "'");
    return SetImageList(list);
  }
  Control::SetProperty(n, v);
}
Variant Toolbar::GetProperty(const std::string& n) const {
  if (Is(n, "Align")) return Variant(Align());
  if (Is(n, "ImageList")) return Variant(d_->imageList ? d_->imageList->Name() : std::string());
  return Control::GetProperty(n);
}

// ---- ProgressBar -----------------------------------------------------------------------------

namespace {
constexpr int kProgressSteps = 10000;
}

struct ProgressBar::Impl {
  QPointer<QProgressBar> bar;
  float min = 0, max = 100, value = 0;
  void Show() {
    if (!bar) return;
    double share = max > min ? (static_cast<double>(value) - min) / (static_cast<double>(max) - min) : 0;
    bar->setValue(static_cast<int>(std::lround(share * kProgressSteps)));
  }
};

ProgressBar::ProgressBar(const ControlSite& site) : Control(site), d_(std::make_shared<Impl>()) {
  auto* w = new QProgressBar;
  w->setRange(0, kProgressSteps);
  w->setTextVisible(false);
  d_->bar = w;
  AttachWidget(*this, w);
  w->resize(PixelsOf(1935), PixelsOf(255));
  native().clickOnRelease = true;
  d_->Show();
}
float ProgressBar::Min() const { return d_->min; }
void ProgressBar::Min(float v) {
  if (!(v < d_->max)) ::Raise(vbErrInvalidPropertyValue, "Min must be less than Max");
  d_->min = v;
  if (d_->value < v) d_->value = v;
  d_->Show();
}
float ProgressBar::Max() const { return d_->max; }
void ProgressBar::Max(float v) {
  if (!(v > d_->min)) ::Raise(vbErrInvalidPropertyValue, "Max must be greater than Min");
  d_->max = v;
  if (d_->value > v) d_->value = v;
  d_->Show();
}
float ProgressBar::Value() const { return d_->value; }
void ProgressBar::Value(float v) {
  if (!(v >= d_->min && v <= d_->max)) ::Raise(vbErrInvalidPropertyValue);
  d_->value = v;
  d_->Show();
}
void ProgressBar::SetProperty(const std::string& n, const Variant& v) {
  if (Is(n, "Min")) return Min(static_cast<float>(DoubleOf(v)));
  if (Is(n, "Max")) return Max(static_cast<float>(DoubleOf(v)));
  if (Is(n, "Value")) return Value(static_cast<float>(DoubleOf(v)));
  Control::SetProperty(n, v);
}
Variant ProgressBar::GetProperty(const std::string& n) const {
  if (Is(n, "Min")) return Variant(Min());
  if (Is(n, "Max")) return Variant(Max());
  if (Is(n, "Value")) return Variant(Value());
  return Control::GetProperty(n);
}

// ---- Slider ----------------------------------------------------------------------------------

namespace {

// A slider that draws its selected range on the channel and its own tick marks.
class RangeSlider : public QSlider {
 public:
  using QSlider::QSlider;
  int selStart = 0, selLength = 0;
  bool selectRange = true;
  int tickFrequency = 1;

  // The runtime's slider keys: Right, Down and Page Down move towards Max in both orientations.
  void keyPressEvent(QKeyEvent* e) override {
    SliderAction action = SliderNoAction;
    switch (e->key()) {
      case Qt::Key_Right:
      case Qt::Key_Down: action = SliderSingleStepAdd; break;
      case Qt::Key_Left:
      case Qt::Key_Up: action = SliderSingleStepSub; break;
      case Qt::Key_PageDown: action = SliderPageStepAdd; break;
      case Qt::Key_PageUp: action = SliderPageStepSub; break;
      case Qt::Key_Home: action = SliderToMinimum; break;
      case Qt::Key_End: action = SliderToMaximum; break;
      default: QSlider::keyPressEvent(e); return;
    }
    triggerAction(action);
    e->accept();
  }

  // The channel positions (pixels along the slider) of a value.
  int PositionOf(const QStyleOptionSlider& opt, const QRect& groove, int value) const {
    QRect handle = style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderHandle, this);
    bool horizontal = orientation() == Qt::Horizontal;
    int handleLen = horizontal ? handle.width() : handle.height();
    int span = (horizontal ? groove.width() : groove.height()) - handleLen;
    int pos = QStyle::sliderPositionFromValue(minimum(), maximum(), std::clamp(value, minimum(), maximum()),
                                              std::max(span, 0), opt.upsideDown);
    return (horizontal ? groove.left() : groove.top()) + pos + handleLen / 2;
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QStyleOptionSlider opt;
    initStyleOption(&opt);
    QPainter p(this);
    QRect groove = style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderGroove, this);
    bool horizontal = orientation() == Qt::Horizontal;
    // The style draws the channel and the thumb (leaving room for the ticks); the ticks are
    // drawn here, at the ends and every TickFrequency between them.
    if (tickPosition() != QSlider::NoTicks) {
      p.setPen(palette().color(QPalette::WindowText));
      std::vector<int> values{minimum(), maximum()};
      if (tickFrequency > 0) {
        for (int64_t v = static_cast<int64_t>(minimum()) + tickFrequency; v < maximum(); v += tickFrequency) {
          values.push_back(static_cast<int>(v));
        }
      }
      for (int v : values) {
        int at = PositionOf(opt, groove, v);
        if (horizontal) {
          if (tickPosition() & QSlider::TicksAbove) p.drawLine(at, 0, at, 3);
          if (tickPosition() & QSlider::TicksBelow) p.drawLine(at, height() - 4, at, height() - 1);
        } else {
          if (tickPosition() & QSlider::TicksLeft) p.drawLine(0, at, 3, at);
          if (tickPosition() & QSlider::TicksRight) p.drawLine(width() - 4, at, width() - 1, at);
        }
      }
    }
    // The channel, the selected range on it, then the thumb over both.
    opt.subControls = QStyle::SC_SliderGroove;
    style()->drawComplexControl(QStyle::CC_Slider, &opt, &p, this);
    if (selectRange && selLength > 0) {
      int a = PositionOf(opt, groove, selStart);
      int b = PositionOf(opt, groove, selStart + selLength);
      // A band in the channel, with a mark beside the channel at each end of the range.
      QColor c = palette().color(QPalette::Highlight);
      QRect r = horizontal ? QRect(a, groove.center().y() - 3, std::max(b - a, 1), 7)
                           : QRect(groove.center().x() - 3, a, 7, std::max(b - a, 1));
      p.fillRect(r, c);
      p.setPen(c.darker(150));
      p.drawRect(r.adjusted(0, 0, -1, -1));
      for (int end : {a, b}) {
        if (horizontal) {
          p.drawLine(end, r.top() - 4, end, r.top() - 1);
        } else {
          p.drawLine(r.left() - 4, end, r.left() - 1, end);
        }
      }
    }
    opt.subControls = QStyle::SC_SliderHandle;
    if (isSliderDown()) {
      opt.activeSubControls = QStyle::SC_SliderHandle;
      opt.state |= QStyle::State_Sunken;
    }
    style()->drawComplexControl(QStyle::CC_Slider, &opt, &p, this);
  }
};

}  // namespace

struct Slider::Impl {
  QPointer<RangeSlider> slider;
  bool fromCode = false;
  bool userAction = false;
  int valueAtPress = 0;
  int16_t tickStyle = sldBottomRight;
  void ApplyTicks() {
    if (!slider) return;
    bool horizontal = slider->orientation() == Qt::Horizontal;
    switch (tickStyle) {
      case sldTopLeft: slider->setTickPosition(horizontal ? QSlider::TicksAbove : QSlider::TicksLeft); break;
      case sldBoth: slider->setTickPosition(QSlider::TicksBothSides); break;
      case sldNoTicks: slider->setTickPosition(QSlider::NoTicks); break;
      default: slider->setTickPosition(horizontal ? QSlider::TicksBelow : QSlider::TicksRight); break;
    }
    slider->update();
  }
};

Slider::Slider(const ControlSite& site) : Control(site), d_(std::make_shared<Impl>()) {
  auto* w = new RangeSlider(Qt::Horizontal);
  d_->slider = w;
  w->setRange(0, 10);
  w->setSingleStep(1);
  w->setPageStep(5);
  AttachWidget(*this, w);
  w->resize(PixelsOf(2400), PixelsOf(630));
  native().clickOnRelease = true;
  d_->ApplyTicks();
  std::weak_ptr<Impl> weak = d_;
  // A user's move (mouse or keys) announces itself before the value changes.
  QObject::connect(w, &QSlider::actionTriggered, w, [weak](int action) {
    if (auto d = weak.lock(); d && action != QAbstractSlider::SliderNoAction) d->userAction = true;
  });
  QObject::connect(w, &QSlider::sliderPressed, w, [weak] {
    if (auto d = weak.lock()) d->valueAtPress = d->slider->value();
  });
  QObject::connect(w, &QSlider::valueChanged, w, [this, weak](int) {
    auto d = weak.lock();
    if (!d || Ended()) return;
    bool user = d->userAction && !d->fromCode;
    d->userAction = false;
    Guard([&] {
      if (user) Raise("Scroll");
      // While the thumb is held, Change waits for its release.
      if (!d->slider->isSliderDown()) Raise("Change");
    });
  });
  QObject::connect(w, &QSlider::sliderReleased, w, [this, weak] {
    auto d = weak.lock();
    if (!d || Ended() || d->slider->value() == d->valueAtPress) return;
    Guard([&] { Raise("Change"); });
  });
}
int32_t Slider::Min() const { return d_->slider->minimum(); }
void Slider::Min(int32_t v) {
  d_->fromCode = true;
  d_->slider->setMinimum(v);
  d_->fromCode = false;
  d_->slider->update();
}
int32_t Slider::Max() const { return d_->slider->maximum(); }
void Slider::Max(int32_t v) {
  d_->fromCode = true;
  d_->slider->setMaximum(v);
  d_->fromCode = false;
  d_->slider->update();
}
int32_t Slider::Value() const { return d_->slider->value(); }
void Slider::Value(int32_t v) {
  if (v < Min() || v > Max()) ::Raise(vbErrInvalidPropertyValue);
  d_->fromCode = true;
  d_->userAction = false;
  d_->slider->setValue(v);
  d_->fromCode = false;
}
int32_t Slider::SelStart() const { return d_->slider->selStart; }
void Slider::SelStart(int32_t v) {
  if (v < Min() || v > Max()) ::Raise(vbErrInvalidPropertyValue);
  d_->slider->selStart = v;
  d_->slider->update();
}
int32_t Slider::SelLength() const { return d_->slider->selLength; }
void Slider::SelLength(int32_t v) {
  if (v < 0) ::Raise(vbErrInvalidPropertyValue);
  d_->slider->selLength = v;
  d_->slider->update();
}
int32_t Slider::SmallChange() const { return d_->slider->singleStep(); }
void Slider::SmallChange(int32_t v) {
  if (v < 0) ::Raise(vbErrInvalidPropertyValue);
  d_->slider->setSingleStep(v);
}
int32_t Slider::LargeChange() const { return d_->slider->pageStep(); }
void Slider::LargeChange(int32_t v) {
  if (v < 0) ::Raise(vbErrInvalidPropertyValue);
  d_->slider->setPageStep(v);
}
int32_t Slider::TickFrequency() const { return d_->slider->tickFrequency; }
void Slider::TickFrequency(int32_t v) {
  if (v < 0) ::Raise(vbErrInvalidPropertyValue);
  d_->slider->tickFrequency = v;
  d_->slider->update();
}
int16_t Slider::TickStyle() const { return d_->tickStyle; }
void Slider::TickStyle(int16_t v) {
  if (v < sldBottomRight || v > sldNoTicks) ::Raise(vbErrInvalidPropertyValue);
  d_->tickStyle = v;
  d_->ApplyTicks();
}
int16_t Slider::Orientation() const {
  return d_->slider->orientation() == Qt::Horizontal ? ccOrientationHorizontal : ccOrientationVertical;
}
void Slider::Orientation(int16_t v) {
  if (v != ccOrientationHorizontal && v != ccOrientationVertical) ::Raise(vbErrInvalidPropertyValue);
  d_->slider->setOrientation(v == ccOrientationHorizontal ? Qt::Horizontal : Qt::Vertical);
  // A vertical slider has its Min at the top.
  d_->slider->setInvertedAppearance(v == ccOrientationVertical);
  d_->ApplyTicks();
}
bool Slider::SelectRange() const { return d_->slider->selectRange; }
void Slider::SelectRange(bool v) {
  d_->slider->selectRange = v;
  d_->slider->update();
}
void Slider::SetProperty(const std::string& n, const Variant& v) {
  if (Is(n, "Min")) return Min(LongOf(v));
  if (Is(n, "Max")) return Max(LongOf(v));
  if (Is(n, "Value")) return Value(LongOf(v));
  if (Is(n, "SelStart")) return SelStart(LongOf(v));
  if (Is(n, "SelLength")) return SelLength(LongOf(v));
  if (Is(n, "SmallChange")) return SmallChange(LongOf(v));
  if (Is(n, "LargeChange")) return LargeChange(LongOf(v));
  if (Is(n, "TickFrequency")) return TickFrequency(LongOf(v));
  if (Is(n, "TickStyle")) return TickStyle(Int16Of(v));
  if (Is(n, "Orientation")) return Orientation(Int16Of(v));
  if (Is(n, "SelectRange")) return SelectRange(BoolOf(v));
  Control::SetProperty(n, v);
}
Variant Slider::GetProperty(const std::string& n) const {
  if (Is(n, "Min")) return Variant(Min());
  if (Is(n, "Max")) return Variant(Max());
  if (Is(n, "Value")) return Variant(Value());
  if (Is(n, "SelStart")) return Variant(SelStart());
  if (Is(n, "SelLength")) return Variant(SelLength());
  if (Is(n, "SmallChange")) return Variant(SmallChange());
  if (Is(n, "LargeChange")) return Variant(LargeChange());
  if (Is(n, "TickFrequency")) return Variant(TickFrequency());
  if (Is(n, "TickStyle")) return Variant(TickStyle());
  if (Is(n, "Orientation")) return Variant(Orientation());
  if (Is(n, "SelectRange")) return Variant(SelectRange());
  return Control::GetProperty(n);
}

// ---- StatusBar -------------------------------------------------------------------------------

void Panel::Text(const std::string& v) {
  text_ = v;
  Changed();
}
void Panel::Width(float v) {
  if (v < 0) ::Raise(vbErrInvalidPropertyValue);
  width_ = v;
  Changed();
}
void Panel::Alignment(int16_t v) {
  if (v < vbLeftJustify || v > vbCenter) ::Raise(vbErrInvalidPropertyValue);
  alignment_ = v;
  Changed();
}

Panel& Panels::Add(const Variant& index, const std::string& key, const std::string& text) {
  ComPtr<Panel> p(new Panel);
  p->text_ = text;
  return Insert(IndexArg(index), key, p);
}

namespace {

// Raises PanelClick for a click on a panel's label.
class PanelClicks : public QObject {
 public:
  using QObject::QObject;
  std::function<void(QObject*)> clicked;
  bool eventFilter(QObject* obj, QEvent* e) override {
    if (e->type() == QEvent::MouseButtonRelease && clicked) clicked(obj);
    return false;
  }
};

}  // namespace

struct StatusBar::Impl : ItemOwner {
  StatusBar* self = nullptr;
  Panels panels{this};
  QPointer<QWidget> bar;
  QPointer<QLabel> simple;
  std::vector<std::pair<QPointer<QLabel>, ComPtr<Panel>>> labels;
  PanelClicks* clicks = nullptr;
  int16_t style = sbrNormal;
  std::string simpleText;
  int16_t align = vbAlignBottom;

  void ItemChanged(CollectionItem&) override { Rebuild(); }
  void ItemsChanged() override { Rebuild(); }

  void Rebuild() {
    if (!bar) return;
    auto* layout = static_cast<QHBoxLayout*>(bar->layout());
    for (auto& [label, panel] : labels) {
      if (label) {
        layout->removeWidget(label);
        label->hide();
        label->deleteLater();
      }
    }
    labels.clear();
    simple->setText(Q(simpleText));
    simple->setVisible(style == sbrSimple);
    if (style == sbrSimple) return;
    for (Panel* p : panels.Items()) {
      auto* label = new QLabel(Q(p->Text()), bar);
      label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
      label->setFixedWidth(PixelsOf(p->Width()));
      label->setAlignment(Qt::AlignVCenter | (p->Alignment() == vbRightJustify ? Qt::AlignRight
                                               : p->Alignment() == vbCenter   ? Qt::AlignHCenter
                                                                                : Qt::AlignLeft));
      label->installEventFilter(clicks);
      label->show();
      layout->insertWidget(static_cast<int>(labels.size()), label);
      labels.emplace_back(label, ComPtr<Panel>(p));
    }
  }
};

StatusBar::StatusBar(const ControlSite& site) : Control(site), d_(std::make_shared<Impl>()) {
  d_->self = this;
  auto* w = new QWidget;
  auto* layout = new QHBoxLayout(w);
  layout->setContentsMargins(2, 2, 2, 2);
  layout->setSpacing(2);
  d_->simple = new QLabel(w);
  d_->simple->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  layout->addWidget(d_->simple, 1);
  layout->addStretch(0);
  d_->bar = w;
  d_->clicks = new PanelClicks(w);
  std::weak_ptr<Impl> weak = d_;
  d_->clicks->clicked = [this, weak](QObject* label) {
    auto d = weak.lock();
    if (!d || Ended()) return;
    for (auto& [l, panel] : d->labels) {
      if (l.data() == label) {
        ComPtr<Panel> keep = panel;
        Guard([&] { Raise("PanelClick", {ItemArg(*keep.Get())}); });
        return;
      }
    }
  };
  AttachWidget(*this, w);
  native().clickOnRelease = true;
  w->resize(w->width(), PixelsOf(375));
  d_->panels.Add();
  ApplyAlign(*this, d_->align);
}
StatusBar::~StatusBar() = default;
Panels& StatusBar::PanelsOf() const { return d_->panels; }
int16_t StatusBar::Style() const { return d_->style; }
void StatusBar::Style(int16_t v) {
  if (v != sbrNormal && v != sbrSimple) ::Raise(vbErrInvalidPropertyValue);
  d_->style = v;
  d_->Rebuild();
}
std::string StatusBar::SimpleText() const { return d_->simpleText; }
void StatusBar::SimpleText(const std::string& v) {
  d_->simpleText = v;
  d_->simple->setText(Q(v));
}
int16_t StatusBar::Align() const { return d_->align; }
void StatusBar::Align(int16_t v) {
  ApplyAlign(*this, v);
  d_->align = v;
}
void StatusBar::SetProperty(const std::string& n, const Variant& v) {
  if (Is(n, "Style")) return Style(Int16Of(v));
  if (Is(n, "SimpleText")) return SimpleText(StringOf(v));
  if (Is(n, "Align")) return Align(Int16Of(v));
  Control::SetProperty(n, v);
}
Variant StatusBar::GetProperty(const std::string& n) const {
  if (Is(n, "Style")) return Variant(Style());
  if (Is(n, "SimpleText")) return Variant(SimpleText());
  if (Is(n, "Align")) return Variant(Align());
  return Control::GetProperty(n);
}

namespace {
const bool kRegistered = RegisterControlClass<ImageList>("ImageList") && RegisterControlClass<Toolbar>("Toolbar") &&
                         RegisterControlClass<ProgressBar>("ProgressBar") && RegisterControlClass<Slider>("Slider") &&
                         RegisterControlClass<StatusBar>("StatusBar");
}  // namespace
