// TabStrip and the tabbed dialog SSTab.
#include <QChildEvent>
#include <QPainter>
#include <QPointer>
#include <QResizeEvent>
#include <QStyleOptionTabWidgetFrame>
#include <QTabBar>

#include "comctl_internal.h"
#include "forms/form.h"
#include "forms/qt/control_qt.h"
#include "forms_internal.h"

using namespace forms_detail;

namespace {

// A row of tabs over a framed client area.
class TabFrame : public QWidget {
 public:
  explicit TabFrame(QWidget* parent = nullptr) : QWidget(parent) {
    internal_ = true;
    bar = new QTabBar(this);
    bar->setDrawBase(false);
    bar->setExpanding(false);
    internal_ = false;
  }
  QTabBar* bar = nullptr;

  int BarHeight() const { return bar->sizeHint().height(); }

 protected:
  void resizeEvent(QResizeEvent* e) override {
    bar->setGeometry(0, 0, width(), BarHeight());
    Layout();
    QWidget::resizeEvent(e);
  }
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    QStyleOptionTabWidgetFrame opt;
    opt.initFrom(this);
    opt.rect = QRect(0, BarHeight() - 1, width(), height() - BarHeight() + 1);
    style()->drawPrimitive(QStyle::PE_FrameTabWidget, &opt, &p, this);
  }
  virtual void Layout() {}
  bool internal_ = false;
};

}  // namespace

// ---- TabStrip --------------------------------------------------------------------------------

void Tab::Caption(const std::string& v) {
  caption_ = v;
  Changed();
}
void Tab::ToolTipText(const std::string& v) {
  toolTip_ = v;
  Changed();
}
bool Tab::Selected() const { return isSelected_ && isSelected_(*this); }
void Tab::Selected(bool v) {
  if (v && select_ && Index() > 0) select_(*this);
}

Tab& Tabs::Add(const Variant& index, const std::string& key, const std::string& caption) {
  ComPtr<Tab> t(new Tab);
  t->caption_ = caption;
  t->isSelected_ = isSelected_;
  t->select_ = select_;
  return Insert(IndexArg(index), key, t);
}

struct TabStrip::Impl : ItemOwner {
  TabStrip* self = nullptr;
  Tabs tabs{this};
  QPointer<TabFrame> frame;
  ComPtr<Tab> selected;
  bool fromCode = false;

  void ItemChanged(CollectionItem&) override { Rebuild(); }
  void ItemsChanged() override {
    if (selected && selected->Index() == 0) selected = nullptr;  // removed
    if (!selected && tabs.Count() > 0) selected = &tabs.Item(1);
    Rebuild();
  }
  void Rebuild() {
    if (!frame) return;
    QTabBar* bar = frame->bar;
    fromCode = true;
    while (bar->count() > 0) bar->removeTab(bar->count() - 1);
    for (Tab* t : tabs.Items()) {
      int i = bar->addTab(MnemonicText(t->Caption()));
      bar->setTabToolTip(i, Q(t->ToolTipText()));
    }
    if (selected) bar->setCurrentIndex(selected->Index() - 1);
    fromCode = false;
  }
  void Select(Tab& t) {
    if (selected.Get() == &t) return;
    selected = &t;
    fromCode = true;
    if (frame) frame->bar->setCurrentIndex(t.Index() - 1);
    fromCode = false;
    self->Raise("Click");
  }
};

TabStrip::TabStrip(const ControlSite& site) : Control(site), d_(std::make_shared<Impl>()) {
  d_->self = this;
  auto* w = new TabFrame;
  d_->frame = w;
  std::weak_ptr<Impl> weak = d_;
  d_->tabs.isSelected_ = [weak](const Tab& t) {
    auto d = weak.lock();
    return d && d->selected.Get() == &t;
  };
  d_->tabs.select_ = [weak](Tab& t) {
    if (auto d = weak.lock()) d->Select(t);
  };
  QObject::connect(w->bar, &QTabBar::currentChanged, w, [weak](int index) {
    auto d = weak.lock();
    if (!d || d->fromCode || Ended() || index < 0 || index >= d->tabs.Count()) return;
    Guard([&] {
      d->selected = &d->tabs.Item(index + 1);
      d->self->Raise("Click");
    });
  });
  AttachWidget(*this, w);
  w->resize(PixelsOf(3600), PixelsOf(2400));
}
TabStrip::~TabStrip() = default;
Tabs& TabStrip::TabsOf() const { return d_->tabs; }
Tab* TabStrip::SelectedItem() const { return d_->selected.Get(); }
void TabStrip::SelectedItem(Tab& tab) {
  if (tab.Index() == 0 || &d_->tabs.Item(tab.Index()) != &tab) ::Raise(vbErrInvalidPropertyValue);
  d_->Select(tab);
}
void TabStrip::SetProperty(const std::string& n, const Variant& v) { Control::SetProperty(n, v); }
Variant TabStrip::GetProperty(const std::string& n) const {
  if (Is(n, "SelectedItem")) return d_->selected ? Variant(static_cast<IUnknown*>(d_->selected.Get())) : Variant();
  return Control::GetProperty(n);
}

// ---- SSTab -----------------------------------------------------------------------------------

namespace {

// The SSTab's window: the tab row, then one page per tab that holds the tab's controls. A control
// the form places into the SSTab arrives as a child of this widget and moves onto the current page.
class SSTabFrame : public TabFrame {
 public:
  SSTabFrame() = default;
  std::vector<QWidget*> pages;
  int current = 0;

  QWidget* AddPage() {
    internal_ = true;
    auto* page = new QWidget(this);
    internal_ = false;
    page->setAttribute(Qt::WA_NoSystemBackground);
    pages.push_back(page);
    Layout();
    page->setVisible(static_cast<int>(pages.size()) - 1 == current);
    return page;
  }
  void ShowPage(int index) {
    current = index;
    for (size_t i = 0; i < pages.size(); ++i) pages[i]->setVisible(static_cast<int>(i) == index);
  }
  void Layout() override {
    for (QWidget* p : pages) p->setGeometry(0, BarHeight(), width(), std::max(0, height() - BarHeight()));
  }

 protected:
  void childEvent(QChildEvent* e) override {
    TabFrame::childEvent(e);
    if (e->type() != QEvent::ChildAdded || internal_ || !e->child()->isWidgetType() || pages.empty()) return;
    auto* w = static_cast<QWidget*>(e->child());
    if (w == bar) return;
    for (QWidget* p : pages) {
      if (p == w) return;
    }
    // Coordinates stay relative to the SSTab: the page starts below the tab row.
    QRect g = w->geometry();
    w->setParent(pages[static_cast<size_t>(current)]);
    w->setGeometry(g.translated(0, -BarHeight()));
  }
};

}  // namespace

struct SSTab::Impl {
  SSTab* self = nullptr;
  QPointer<SSTabFrame> frame;
  bool fromCode = false;
  struct TabInfo {
    std::string caption;
    bool enabled = true;
    bool visible = true;
  };
  std::vector<TabInfo> tabs;

  void Check(int16_t index) const {
    if (index < 0 || index >= static_cast<int16_t>(tabs.size())) ::Raise(vbErrInvalidPropertyValue);
  }
  void ShowTabs() {
    QTabBar* bar = frame->bar;
    fromCode = true;
    while (bar->count() > static_cast<int>(tabs.size())) bar->removeTab(bar->count() - 1);
    while (bar->count() < static_cast<int>(tabs.size())) bar->addTab(QString());
    for (size_t i = 0; i < tabs.size(); ++i) {
      int ix = static_cast<int>(i);
      bar->setTabText(ix, MnemonicText(tabs[i].caption));
      bar->setTabEnabled(ix, tabs[i].enabled);
      bar->setTabVisible(ix, tabs[i].visible);
    }
    bar->setCurrentIndex(frame->current);
    fromCode = false;
  }
  void Switch(int16_t to) {
    int16_t previous = static_cast<int16_t>(frame->current);
    if (to == previous) return;
    frame->ShowPage(to);
    fromCode = true;
    frame->bar->setCurrentIndex(to);
    fromCode = false;
    self->Raise("Click", {Variant(previous)});
  }
};

SSTab::SSTab(const ControlSite& site) : Control(site), d_(std::make_shared<Impl>()) {
  d_->self = this;
  auto* w = new SSTabFrame;
  d_->frame = w;
  std::weak_ptr<Impl> weak = d_;
  QObject::connect(w->bar, &QTabBar::currentChanged, w, [weak](int index) {
    auto d = weak.lock();
    if (!d || d->fromCode || Ended() || index < 0) return;
    Guard([&] { d->Switch(static_cast<int16_t>(index)); });
  });
  AttachWidget(*this, w);
  w->resize(PixelsOf(4800), PixelsOf(3000));
  // Contained controls measure from the SSTab's corner while they sit on a page below the tabs.
  SetContainerScale(*this, [weak] {
    ScaleInfo s;
    if (auto d = weak.lock(); d && d->frame) s.top = d->frame->BarHeight() * 15.0;
    return s;
  });
  Tabs(3);
}
SSTab::~SSTab() = default;

int16_t SSTab::Tabs() const { return static_cast<int16_t>(d_->tabs.size()); }
void SSTab::Tabs(int16_t n) {
  if (n < 1) ::Raise(vbErrInvalidPropertyValue);
  SSTabFrame* f = d_->frame;
  while (static_cast<int16_t>(d_->tabs.size()) < n) {
    d_->tabs.push_back({"Tab " + std::to_string(d_->tabs.size()), true, true});
    f->AddPage();
  }
  while (static_cast<int16_t>(d_->tabs.size()) > n) {
    QWidget* gone = f->pages.back();
    f->pages.pop_back();
    d_->tabs.pop_back();
    QWidget* last = f->pages.back();
    for (QWidget* child : gone->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
      QRect g = child->geometry();
      bool shown = !child->isHidden();
      child->setParent(last);
      child->setGeometry(g);
      child->setVisible(shown);
    }
    gone->deleteLater();
  }
  if (f->current >= n) {
    f->current = n - 1;
  }
  f->ShowPage(f->current);
  d_->ShowTabs();
}
int16_t SSTab::Tab() const { return static_cast<int16_t>(d_->frame->current); }
void SSTab::Tab(int16_t v) {
  d_->Check(v);
  d_->Switch(v);
}
std::string SSTab::TabCaption(int16_t index) const {
  d_->Check(index);
  return d_->tabs[static_cast<size_t>(index)].caption;
}
void SSTab::TabCaption(int16_t index, const std::string& v) {
  d_->Check(index);
  d_->tabs[static_cast<size_t>(index)].caption = v;
  d_->ShowTabs();
}
bool SSTab::TabEnabled(int16_t index) const {
  d_->Check(index);
  return d_->tabs[static_cast<size_t>(index)].enabled;
}
void SSTab::TabEnabled(int16_t index, bool v) {
  d_->Check(index);
  d_->tabs[static_cast<size_t>(index)].enabled = v;
  d_->ShowTabs();
}
bool SSTab::TabVisible(int16_t index) const {
  d_->Check(index);
  return d_->tabs[static_cast<size_t>(index)].visible;
}
void SSTab::TabVisible(int16_t index, bool v) {
  d_->Check(index);
  d_->tabs[static_cast<size_t>(index)].visible = v;
  d_->ShowTabs();
}
float SSTab::TabHeight() const { return static_cast<float>(d_->frame->BarHeight() * 15); }
int16_t SSTab::TabOf(const Control& control) const {
  QWidget* w = WidgetOf(control);
  if (!w) return -1;
  const auto& pages = d_->frame->pages;
  for (size_t i = 0; i < pages.size(); ++i) {
    if (w->parentWidget() == pages[i]) return static_cast<int16_t>(i);
  }
  return -1;
}
void SSTab::MoveToTab(Control& control, int16_t tab) {
  d_->Check(tab);
  if (TabOf(control) < 0) ::Raise(vbErrInvalidPropertyValue, "The control is not in this tabbed dialog");
  QWidget* w = WidgetOf(control);
  QRect g = w->geometry();
  w->setParent(d_->frame->pages[static_cast<size_t>(tab)]);
  w->setGeometry(g);
  w->setVisible(control.Visible());
}
void SSTab::SetProperty(const std::string& n, const Variant& v) {
  if (Is(n, "Tabs")) return Tabs(Int16Of(v));
  if (Is(n, "Tab")) return Tab(Int16Of(v));
  if (Is(n, "Caption")) return TabCaption(Tab(), StringOf(v));
  Control::SetProperty(n, v);
}
Variant SSTab::GetProperty(const std::string& n) const {
  if (Is(n, "Tabs")) return Variant(Tabs());
  if (Is(n, "Tab")) return Variant(Tab());
  if (Is(n, "Caption")) return Variant(TabCaption(Tab()));
  if (Is(n, "TabHeight")) return Variant(TabHeight());
  return Control::GetProperty(n);
}

namespace {
const bool kRegistered = RegisterControlClass<TabStrip>("TabStrip") && RegisterControlClass<SSTab>("SSTab");
}  // namespace
