// ListView in report view: column headers, rows with sub-items, the selected and the
// drop-highlighted row.
#include <QHeaderView>
#include <QPainter>
#include <QPointer>
#include <QStyledItemDelegate>
#include <QTreeWidget>

#include "comctl_internal.h"
#include "forms/form.h"
#include "forms/qt/control_qt.h"
#include "forms_internal.h"

using namespace forms_detail;

// ---- items -----------------------------------------------------------------------------------

void ColumnHeader::Text(const std::string& v) {
  text_ = v;
  Changed();
}
void ColumnHeader::Width(float v) {
  if (v < 0) ::Raise(vbErrInvalidPropertyValue);
  width_ = v;
  Changed();
}
void ColumnHeader::Alignment(int16_t v) {
  if (v < 0 || v > 2) ::Raise(vbErrInvalidPropertyValue);
  alignment_ = v;
  Changed();
}
ColumnHeader& ColumnHeaders::Add(const Variant& index, const std::string& key, const std::string& text, float width,
                                 int16_t alignment) {
  if (alignment < 0 || alignment > 2) ::Raise(vbErrInvalidPropertyValue);
  ComPtr<ColumnHeader> c(new ColumnHeader);
  c->text_ = text;
  if (width >= 0) c->width_ = width;
  c->alignment_ = alignment;
  return Insert(IndexArg(index), key, c);
}

void ListSubItem::Text(const std::string& v) {
  text_ = v;
  Changed();
}
ListSubItem& ListSubItems::Add(const Variant& index, const std::string& key, const std::string& text) {
  ComPtr<ListSubItem> s(new ListSubItem);
  s->text_ = text;
  return Insert(IndexArg(index), key, s);
}

ListItem::ListItem() : subItems_(this) {}
ListItem::~ListItem() = default;
void ListItem::Text(const std::string& v) {
  text_ = v;
  Changed();
}
std::string ListItem::SubItems(int16_t n) const {
  if (n < 1) ::Raise(ccErrIndexOutOfBounds, "Index out of bounds");
  return n <= subItems_.Count() ? subItems_.Item(n).Text() : std::string();
}
void ListItem::SubItems(int16_t n, const std::string& v) {
  if (n < 1) ::Raise(ccErrIndexOutOfBounds, "Index out of bounds");
  while (subItems_.Count() < n) subItems_.Add();
  subItems_.Item(n).Text(v);
}
bool ListItem::Selected() const { return isSelected_ && isSelected_(*this); }
void ListItem::Selected(bool v) {
  if (select_ && Index() > 0) select_(*this, v);
}
void ListItem::ItemChanged(CollectionItem&) { Changed(); }
void ListItem::ItemsChanged() { Changed(); }

ListItem& ListItems::Add(const Variant& index, const std::string& key, const std::string& text) {
  ComPtr<ListItem> item(new ListItem);
  item->text_ = text;
  item->isSelected_ = isSelected_;
  item->select_ = select_;
  return Insert(IndexArg(index), key, item);
}

// ---- the view --------------------------------------------------------------------------------

namespace {

constexpr int kDropRole = Qt::UserRole + 1;

// Paints the drop-highlighted row like a selected one.
class DropDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  void paint(QPainter* p, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QStyleOptionViewItem o = option;
    if (index.data(kDropRole).toBool()) {
      o.state |= QStyle::State_Selected | QStyle::State_Active;
    }
    QStyledItemDelegate::paint(p, o, index);
  }
};

}  // namespace

struct ListView::Impl : ItemOwner {
  ListView* self = nullptr;
  ColumnHeaders columns{this};
  ListItems items{this};
  QPointer<QTreeWidget> tree;
  ComPtr<ListItem> selected;
  ComPtr<ListItem> drop;
  int16_t view = lvwReport;
  bool hideSelection = true;
  bool fullRowSelect = false;
  bool fromCode = false;

  // A row's own change redraws that row; column changes and whole-list changes rebuild.
  void ItemChanged(CollectionItem& changed) override {
    auto* item = dynamic_cast<ListItem*>(&changed);
    if (!item || !tree || item->Index() < 1 || item->Index() > tree->topLevelItemCount()) return Rebuild();
    bool was = fromCode;
    fromCode = true;
    FillRow(tree->topLevelItem(item->Index() - 1), *item);
    fromCode = was;
  }
  void ItemsChanged() override {
    if (selected && selected->Index() == 0) selected = nullptr;
    if (drop && drop->Index() == 0) drop = nullptr;
    Rebuild();
  }
  void ItemAdded(CollectionItem& added) override {
    auto* item = dynamic_cast<ListItem*>(&added);
    if (!item || !tree || tree->topLevelItemCount() != items.Count() - 1) return ItemsChanged();
    bool was = fromCode;
    fromCode = true;
    auto* row = new QTreeWidgetItem;
    FillRow(row, *item);
    tree->insertTopLevelItem(item->Index() - 1, row);
    ShowSelection();
    fromCode = was;
  }
  void ItemRemoved(CollectionItem& removed, int16_t oldIndex) override {
    auto* item = dynamic_cast<ListItem*>(&removed);
    if (!item || !tree || tree->topLevelItemCount() != items.Count() + 1 || oldIndex < 1) return ItemsChanged();
    if (selected.Get() == item) selected = nullptr;
    if (drop.Get() == item) drop = nullptr;
    bool was = fromCode;
    fromCode = true;
    delete tree->takeTopLevelItem(oldIndex - 1);
    ShowSelection();
    fromCode = was;
  }

  // The row's texts under the columns and its drop mark.
  void FillRow(QTreeWidgetItem* row, ListItem& item) {
    const int n = tree->columnCount();
    row->setText(0, Q(item.Text()));
    for (int s = 1; s < n; ++s)
      row->setText(s, s <= item.ListSubItemsOf().Count() ? Q(item.ListSubItemsOf().Item(s).Text()) : QString());
    for (int col = 0; col < n; ++col) row->setData(col, kDropRole, drop.Get() == &item);
  }

  void Rebuild() {
    if (!tree) return;
    fromCode = true;
    tree->clear();
    int n = std::max<int>(1, columns.Count());
    tree->setColumnCount(n);
    QStringList labels;
    for (ColumnHeader* c : columns.Items()) labels << Q(c->Text());
    tree->setHeaderLabels(labels);
    for (ColumnHeader* c : columns.Items()) {
      int col = c->Index() - 1;
      tree->setColumnWidth(col, PixelsOf(c->Width()));
      Qt::Alignment a = c->Alignment() == 1 ? Qt::AlignRight : c->Alignment() == 2 ? Qt::AlignHCenter : Qt::AlignLeft;
      tree->headerItem()->setTextAlignment(col, a | Qt::AlignVCenter);
    }
    for (ListItem* item : items.Items()) FillRow(new QTreeWidgetItem(tree), *item);
    ShowView();
    ShowSelection();
    fromCode = false;
  }

  // The other views show the rows' first column only.
  void ShowView() {
    tree->setHeaderHidden(view != lvwReport);
    for (int col = 1; col < tree->columnCount(); ++col) tree->setColumnHidden(col, view != lvwReport);
  }

  void ShowSelection() {
    bool was = fromCode;
    fromCode = true;
    tree->clearSelection();
    if (selected && selected->Index() > 0) {
      QTreeWidgetItem* row = tree->topLevelItem(selected->Index() - 1);
      tree->setCurrentItem(row, 0);
      if (fullRowSelect) {
        row->setSelected(true);
      } else {
        tree->selectionModel()->select(tree->model()->index(selected->Index() - 1, 0),
                                       QItemSelectionModel::ClearAndSelect);
      }
    } else {
      tree->setCurrentItem(nullptr);
    }
    fromCode = was;
  }

  void ShowDrop() {
    if (!tree) return;
    for (int r = 0; r < tree->topLevelItemCount(); ++r) {
      for (int col = 0; col < tree->columnCount(); ++col) {
        tree->topLevelItem(r)->setData(col, kDropRole, drop && drop->Index() == r + 1);
      }
    }
  }

  void ApplyHideSelection() {
    if (!tree) return;
    QPalette p = tree->palette();
    QPalette base = tree->style()->standardPalette();
    p.setColor(QPalette::Inactive, QPalette::Highlight,
               hideSelection ? p.color(QPalette::Inactive, QPalette::Base) : base.color(QPalette::Active, QPalette::Highlight));
    p.setColor(QPalette::Inactive, QPalette::HighlightedText,
               hideSelection ? p.color(QPalette::Inactive, QPalette::Text)
                             : base.color(QPalette::Active, QPalette::HighlightedText));
    tree->setPalette(p);
  }
};

ListView::ListView(const ControlSite& site) : Control(site), d_(std::make_shared<Impl>()) {
  d_->self = this;
  auto* w = new QTreeWidget;
  w->setRootIsDecorated(false);
  w->setUniformRowHeights(true);
  w->setItemsExpandable(false);
  w->setSelectionMode(QAbstractItemView::SingleSelection);
  w->setSelectionBehavior(QAbstractItemView::SelectItems);
  w->setItemDelegate(new DropDelegate(w));
  w->header()->setSectionsClickable(true);
  w->header()->setStretchLastSection(false);
  d_->tree = w;
  std::weak_ptr<Impl> weak = d_;
  d_->items.isSelected_ = [weak](const ListItem& item) {
    auto d = weak.lock();
    return d && d->selected.Get() == &item;
  };
  d_->items.select_ = [weak](ListItem& item, bool on) {
    auto d = weak.lock();
    if (!d) return;
    if (on) {
      d->selected = &item;
    } else if (d->selected.Get() == &item) {
      d->selected = nullptr;
    }
    d->ShowSelection();
  };
  QObject::connect(w, &QTreeWidget::currentItemChanged, w, [weak](QTreeWidgetItem* current, QTreeWidgetItem*) {
    auto d = weak.lock();
    if (!d || d->fromCode || Ended() || !current) return;
    int row = d->tree->indexOfTopLevelItem(current);
    if (row < 0 || row >= d->items.Count()) return;
    Guard([&] {
      ComPtr<ListItem> item(&d->items.Item(row + 1));
      d->selected = item;
      if (!d->fullRowSelect) d->ShowSelection();
      d->self->Raise("ItemClick", {ItemArg(*item.Get())});
    });
  });
  QObject::connect(w->header(), &QHeaderView::sectionClicked, w, [weak](int section) {
    auto d = weak.lock();
    if (!d || Ended() || section < 0 || section >= d->columns.Count()) return;
    Guard([&] {
      ComPtr<ColumnHeader> c(&d->columns.Item(section + 1));
      d->self->Raise("ColumnClick", {ItemArg(*c.Get())});
    });
  });
  AttachWidget(*this, w);
  native().clickOnRelease = true;
  native().dblClick = true;
  native().backColor = 0x80000005;
  native().foreColor = 0x80000008;
  w->resize(PixelsOf(3600), PixelsOf(2400));
  d_->ApplyHideSelection();
  d_->Rebuild();
}
ListView::~ListView() = default;
ColumnHeaders& ListView::ColumnHeadersOf() const { return d_->columns; }
ListItems& ListView::ListItemsOf() const { return d_->items; }
int16_t ListView::View() const { return d_->view; }
void ListView::View(int16_t v) {
  if (v < lvwIcon || v > lvwReport) ::Raise(vbErrInvalidPropertyValue);
  d_->view = v;
  d_->ShowView();
}
ListItem* ListView::SelectedItem() const { return d_->selected.Get(); }
void ListView::SelectedItem(ListItem* item) {
  if (item && (item->Index() == 0 || &d_->items.Item(item->Index()) != item)) ::Raise(vbErrInvalidPropertyValue);
  d_->selected = item;
  d_->ShowSelection();
}
ListItem* ListView::DropHighlight() const { return d_->drop.Get(); }
void ListView::DropHighlight(ListItem* item) {
  if (item && (item->Index() == 0 || &d_->items.Item(item->Index()) != item)) ::Raise(vbErrInvalidPropertyValue);
  d_->drop = item;
  d_->ShowDrop();
}
bool ListView::HideSelection() const { return d_->hideSelection; }
void ListView::HideSelection(bool v) {
  d_->hideSelection = v;
  d_->ApplyHideSelection();
}
bool ListView::FullRowSelect() const { return d_->fullRowSelect; }
void ListView::FullRowSelect(bool v) {
  d_->fullRowSelect = v;
  d_->tree->setSelectionBehavior(v ? QAbstractItemView::SelectRows : QAbstractItemView::SelectItems);
  d_->ShowSelection();
}
void ListView::SetProperty(const std::string& n, const Variant& v) {
  if (Is(n, "View")) return View(static_cast<int16_t>(LongOf(v)));
  if (Is(n, "HideSelection")) return HideSelection(BoolOf(v));
  if (Is(n, "FullRowSelect")) return FullRowSelect(BoolOf(v));
  Control::SetProperty(n, v);
}
Variant ListView::GetProperty(const std::string& n) const {
  if (Is(n, "View")) return Variant(View());
  if (Is(n, "HideSelection")) return Variant(HideSelection());
  if (Is(n, "FullRowSelect")) return Variant(FullRowSelect());
  return Control::GetProperty(n);
}

namespace {
const bool kRegistered = RegisterControlClass<ListView>("ListView");
}  // namespace
