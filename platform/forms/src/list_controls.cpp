// ListBox, ComboBox, the scroll bars, and the drive, folder and file lists.
#include <fnmatch.h>
#include <unistd.h>

#include <QComboBox>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QVBoxLayout>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QUtf8StringView>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "core/error.h"
#include "forms/controls.h"
#include "forms/form.h"
#include "forms/qt/control_qt.h"
#include "forms_internal.h"

using namespace forms_detail;
namespace fs = std::filesystem;

namespace {

// Where an item goes in a sorted list: after every item that compares less or equal, without
// regard to case.
int SortedPosition(const QStringList& items, const QString& item) {
  auto it = std::upper_bound(items.begin(), items.end(), item, [](const QString& a, const QString& b) {
    return QString::compare(a, b, Qt::CaseInsensitive) < 0;
  });
  return static_cast<int>(it - items.begin());
}

void CheckIndex(int16_t index, int count) {
  if (index < 0 || index >= count) ::Raise(vbErrInvalidPropertyValue, "Invalid property array index");
}

}  // namespace

// ---- ListBox -----------------------------------------------------------------------------------

namespace {

// A list box's window. With IntegralHeight (the default) its height is a whole number of rows of
// its font, at least one, plus its border: the height asked for shrinks to that, and a new font
// fits the last height asked for again.
class ListWindow : public QListWidget {
 public:
  ListWindow() {
    setUniformItemSizes(true);
    // As the classic list box: a line too long for the width is cut at the right edge; a
    // horizontal scroll bar would cover the last row.
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  }
  bool integral = true;

  // The height of one row as the list draws a line of text in its font.
  int RowHeight() const {
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    option.features |= QStyleOptionViewItem::HasDisplay;
    option.text = QStringLiteral("Ag");
    return std::max(1, style()->sizeFromContents(QStyle::CT_ItemViewItem, &option, QSize(), this).height());
  }
  // The height the list takes when asked for `height` pixels; remembers the height asked for.
  int Fit(int height) {
    asked_ = height;
    if (!integral) return height;
    const int border = 2 * frameWidth();
    const int row = RowHeight();
    return std::max(1, (height - border) / row) * row + border;
  }
  // Sets the height again from the last one asked for (the font or IntegralHeight changed).
  void Refit() {
    if (asked_ >= 0) resize(width(), Fit(asked_));
  }

 protected:
  void changeEvent(QEvent* e) override {
    QListWidget::changeEvent(e);
    if (e->type() == QEvent::FontChange || e->type() == QEvent::StyleChange) Refit();
  }

 private:
  int asked_ = -1;  // the height last asked for, in pixels; -1 before the first
};

}  // namespace

struct ListBox::Impl {
  ListWindow* list = nullptr;
  bool fromCode = false;
  bool sorted = false;
  int16_t multiSelect = vbMultiSelectNone;
  int16_t newIndex = -1;
  QStringList Items() const {
    QStringList out;
    for (int i = 0; i < list->count(); ++i) out << list->item(i)->text();
    return out;
  }
};

ListBox::ListBox(const ControlSite& site) : Control(site), d_(std::make_shared<Impl>()) {
  native().backColor = 0x80000005;
  native().foreColor = 0x80000008;
  auto* w = new ListWindow;
  d_->list = w;
  w->setSelectionMode(QAbstractItemView::SingleSelection);
  AttachWidget(*this, w);
  ApplyColors(w, ForeColor(), BackColor(), true);
  w->resize(1215 / 15, w->Fit(1035 / 15));
  native().fitHeight = [w](int asked) { return w->Fit(asked); };
  std::weak_ptr<Impl> weak = d_;
  QObject::connect(w, &QListWidget::itemSelectionChanged, w, [this, weak] {
    auto d = weak.lock();
    if (!d || d->fromCode) return;
    Guard([&] { Raise("Click"); });
  });
  QObject::connect(w, &QListWidget::itemDoubleClicked, w, [this](QListWidgetItem*) { Guard([&] { Raise("DblClick"); }); });
}

void ListBox::AddItem(const std::string& item, int16_t index) {
  QString text = Q(item);
  int pos;
  if (index >= 0) {
    if (index > d_->list->count()) ::Raise(vbErrInvalidProcedureCall);
    pos = index;
  } else {
    pos = d_->sorted ? SortedPosition(d_->Items(), text) : d_->list->count();
  }
  d_->fromCode = true;
  d_->list->insertItem(pos, text);
  d_->fromCode = false;
  d_->newIndex = static_cast<int16_t>(pos);
}
void ListBox::RemoveItem(int16_t index) {
  CheckIndex(index, d_->list->count());
  d_->fromCode = true;
  delete d_->list->takeItem(index);
  d_->fromCode = false;
}
void ListBox::Clear() {
  d_->fromCode = true;
  d_->list->clear();
  d_->fromCode = false;
  d_->newIndex = -1;
}
int16_t ListBox::ListCount() const { return static_cast<int16_t>(d_->list->count()); }
std::string ListBox::List(int16_t index) const {
  if (index < 0 || index >= d_->list->count()) return {};
  return S(d_->list->item(index)->text());
}
void ListBox::List(int16_t index, const std::string& v) {
  CheckIndex(index, d_->list->count());
  d_->list->item(index)->setText(Q(v));
}
int16_t ListBox::ListIndex() const {
  QListWidgetItem* cur = d_->list->currentItem();
  if (!cur) return -1;
  if (d_->multiSelect == vbMultiSelectNone && !cur->isSelected()) return -1;
  return static_cast<int16_t>(d_->list->row(cur));
}
void ListBox::ListIndex(int16_t v) {
  if (v < -1 || v >= d_->list->count()) ::Raise(vbErrInvalidPropertyValue);
  if (v == ListIndex()) return;
  d_->fromCode = true;
  if (v == -1) {
    d_->list->setCurrentRow(-1);
    d_->list->clearSelection();
  } else if (d_->multiSelect == vbMultiSelectNone) {
    d_->list->setCurrentRow(v);
  } else {
    d_->list->setCurrentRow(v, QItemSelectionModel::NoUpdate);
  }
  d_->fromCode = false;
  Raise("Click");
}
int32_t ListBox::ItemData(int16_t index) const {
  CheckIndex(index, d_->list->count());
  return d_->list->item(index)->data(Qt::UserRole).toInt();
}
void ListBox::ItemData(int16_t index, int32_t v) {
  CheckIndex(index, d_->list->count());
  d_->list->item(index)->setData(Qt::UserRole, v);
}
int16_t ListBox::NewIndex() const { return d_->newIndex; }
bool ListBox::Selected(int16_t index) const {
  CheckIndex(index, d_->list->count());
  return d_->list->item(index)->isSelected();
}
void ListBox::Selected(int16_t index, bool v) {
  CheckIndex(index, d_->list->count());
  QListWidgetItem* item = d_->list->item(index);
  if (item->isSelected() == v) return;
  d_->fromCode = true;
  if (d_->multiSelect == vbMultiSelectNone) {
    if (v) {
      d_->list->setCurrentRow(index);
    } else {
      d_->list->clearSelection();
    }
  } else {
    item->setSelected(v);
  }
  d_->fromCode = false;
  Raise("Click");
}
int16_t ListBox::SelCount() const { return static_cast<int16_t>(d_->list->selectedItems().size()); }
int16_t ListBox::TopIndex() const {
  QListWidgetItem* top = d_->list->itemAt(0, 0);
  return top ? static_cast<int16_t>(d_->list->row(top)) : 0;
}
void ListBox::TopIndex(int16_t v) {
  CheckIndex(v, d_->list->count());
  d_->list->scrollToItem(d_->list->item(v), QAbstractItemView::PositionAtTop);
}
std::string ListBox::Text() const {
  int16_t i = ListIndex();
  return i < 0 ? std::string() : List(i);
}
void ListBox::Text(const std::string& v) {
  QString want = Q(v);
  int16_t found = -1;
  for (Qt::CaseSensitivity cs : {Qt::CaseSensitive, Qt::CaseInsensitive}) {
    for (int16_t i = 0; found < 0 && i < ListCount(); ++i) {
      if (d_->list->item(i)->text().compare(want, cs) == 0) found = i;
    }
  }
  ListIndex(found);
}
bool ListBox::Sorted() const { return d_->sorted; }
void ListBox::Sorted(bool v) {
  d_->sorted = v;
  if (v) {
    // Items already there are put in order as well.
    QStringList items = d_->Items();
    std::vector<std::pair<QString, QVariant>> rows;
    for (int i = 0; i < d_->list->count(); ++i) rows.emplace_back(items[i], d_->list->item(i)->data(Qt::UserRole));
    std::stable_sort(rows.begin(), rows.end(), [](auto& a, auto& b) {
      return QString::compare(a.first, b.first, Qt::CaseInsensitive) < 0;
    });
    d_->fromCode = true;
    for (int i = 0; i < static_cast<int>(rows.size()); ++i) {
      d_->list->item(i)->setText(rows[i].first);
      d_->list->item(i)->setData(Qt::UserRole, rows[i].second);
    }
    d_->fromCode = false;
  }
}
int16_t ListBox::MultiSelect() const { return d_->multiSelect; }
void ListBox::MultiSelect(int16_t v) {
  if (v < vbMultiSelectNone || v > vbMultiSelectExtended) ::Raise(vbErrInvalidPropertyValue);
  d_->multiSelect = v;
  d_->list->setSelectionMode(v == vbMultiSelectSimple     ? QAbstractItemView::MultiSelection
                             : v == vbMultiSelectExtended ? QAbstractItemView::ExtendedSelection
                                                          : QAbstractItemView::SingleSelection);
}
void ListBox::SetProperty(const std::string& n, const Variant& v) {
  if (Is(n, "ListIndex")) return ListIndex(static_cast<int16_t>(LongOf(v)));
  if (Is(n, "Text")) return Text(StringOf(v));
  if (Is(n, "Sorted")) return Sorted(BoolOf(v));
  if (Is(n, "MultiSelect")) return MultiSelect(static_cast<int16_t>(LongOf(v)));
  if (Is(n, "TopIndex")) return TopIndex(static_cast<int16_t>(LongOf(v)));
  if (Is(n, "IntegralHeight")) {
    d_->list->integral = BoolOf(v);
    return d_->list->Refit();
  }
  Control::SetProperty(n, v);
}
Variant ListBox::GetProperty(const std::string& n) const {
  if (Is(n, "ListIndex")) return Variant(ListIndex());
  if (Is(n, "ListCount")) return Variant(ListCount());
  if (Is(n, "Text")) return Variant(Text());
  if (Is(n, "Sorted")) return Variant(Sorted());
  if (Is(n, "MultiSelect")) return Variant(MultiSelect());
  if (Is(n, "NewIndex")) return Variant(NewIndex());
  if (Is(n, "SelCount")) return Variant(SelCount());
  if (Is(n, "IntegralHeight")) return Variant(d_->list->integral);
  return Control::GetProperty(n);
}

// ---- ComboBox ----------------------------------------------------------------------------------

struct ComboBox::Impl {
  QWidget* frame = nullptr;   // the control's window: the combo, and below it the simple style's list
  QComboBox* box = nullptr;
  QListView* list = nullptr;  // the simple style's list, made when that style is first chosen
  void SyncList() {
    if (!list) return;
    if (box->currentIndex() >= 0) {
      list->setCurrentIndex(box->model()->index(box->currentIndex(), 0));
    } else {
      list->clearSelection();
    }
  }
  bool sorted = false;
  int16_t style = vbComboDropdown;
  int16_t newIndex = -1;
  bool locked = false;
  QStringList Items() const {
    QStringList out;
    for (int i = 0; i < box->count(); ++i) out << box->itemText(i);
    return out;
  }
};

ComboBox::ComboBox(const ControlSite& site) : Control(site), d_(std::make_shared<Impl>()) {
  native().backColor = 0x80000005;
  native().foreColor = 0x80000008;
  auto* frame = new QWidget;
  frame->setProperty(kTextFieldProperty, true);  // its colours are the field's
  AdoptWidget(*this, frame);
  auto* layout = new QVBoxLayout(frame);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  d_->frame = frame;
  d_->box = new QComboBox(frame);
  d_->box->setInsertPolicy(QComboBox::NoInsert);
  // Editable from the start. (setEditable would also make the drop-down list, which the box
  // makes when it first drops down: a form may hold many boxes whose lists are never opened.)
  auto* edit = new QLineEdit(d_->box);
  edit->setPalette(d_->box->palette());
  d_->box->setLineEdit(edit);
  // The box keeps its one line at the control's top however tall the control is made (a
  // drop-down combo box's height is its text line); only the simple style's list grows.
  layout->addWidget(d_->box, 0, Qt::AlignTop);
  AttachWidget(*this, frame);
  frame->resize(1215 / 15, 315 / 15);
  QObject::connect(d_->box, &QComboBox::activated, frame, [this](int) { Guard([&] { Raise("Click"); }); });
  ConnectEdit();
  d_->style = vbComboDropdown;
}

void ComboBox::MakeList() {
  if (d_->list) return;
  auto* list = new QListView(d_->frame);
  d_->list = list;
  list->setModel(d_->box->model());
  list->setEditTriggers(QAbstractItemView::NoEditTriggers);
  list->hide();
  static_cast<QBoxLayout*>(d_->frame->layout())->addWidget(list, 1);
  RouteEvents(*this, list);
  for (QWidget* child : list->findChildren<QWidget*>()) RouteEvents(*this, child);
  QObject::connect(list, &QListView::clicked, d_->frame, [this](const QModelIndex& index) {
    // Choosing a line of the simple style's list is choosing the entry.
    {
      QSignalBlocker block(d_->box);
      d_->box->setCurrentIndex(index.row());
    }
    Guard([&] { Raise("Click"); });
  });
}

void ComboBox::ConnectEdit() {
  if (QLineEdit* edit = d_->box->lineEdit()) {
    RouteEvents(*this, edit);
    edit->setReadOnly(d_->locked);
    QObject::connect(edit, &QLineEdit::textEdited, d_->frame, [this](const QString&) { Guard([&] { Raise("Change"); }); });
  }
}

void ComboBox::Style(int16_t v) {
  if (v < vbComboDropdown || v > vbComboDropdownList) ::Raise(vbErrInvalidPropertyValue);
  d_->style = v;
  bool editable = v != vbComboDropdownList;
  if (editable != d_->box->isEditable()) {
    d_->box->setEditable(editable);
    if (editable) ConnectEdit();
  }
  // The simple style shows its list all the time, under the text, instead of dropping it down.
  if (v == vbComboSimple) MakeList();
  if (d_->list) d_->list->setVisible(v == vbComboSimple);
  d_->box->setStyleSheet(v == vbComboSimple ? "QComboBox::drop-down { width: 0px; border: 0px; }" : "");
  d_->SyncList();
}
int16_t ComboBox::Style() const { return d_->style; }

void ComboBox::AddItem(const std::string& item, int16_t index) {
  QString text = Q(item);
  int pos;
  if (index >= 0) {
    if (index > d_->box->count()) ::Raise(vbErrInvalidProcedureCall);
    pos = index;
  } else {
    pos = d_->sorted ? SortedPosition(d_->Items(), text) : d_->box->count();
  }
  QSignalBlocker block(d_->box);
  QString keep = d_->box->currentText();
  int current = d_->box->currentIndex();
  d_->box->insertItem(pos, text);
  // Adding items neither chooses one nor changes the text (the combo chooses the first item
  // added to an empty list).
  if (current < 0 && d_->box->currentIndex() >= 0) {
    d_->box->setCurrentIndex(-1);
    if (d_->box->isEditable() && d_->box->currentText() != keep) d_->box->setEditText(keep);
  }
  d_->newIndex = static_cast<int16_t>(pos);
}
void ComboBox::RemoveItem(int16_t index) {
  CheckIndex(index, d_->box->count());
  QSignalBlocker block(d_->box);
  d_->box->removeItem(index);
}
void ComboBox::Clear() {
  QSignalBlocker block(d_->box);
  d_->box->clear();
  if (d_->box->isEditable()) d_->box->setEditText(QString());
  d_->newIndex = -1;
}
int16_t ComboBox::ListCount() const { return static_cast<int16_t>(d_->box->count()); }
std::string ComboBox::List(int16_t index) const {
  if (index < 0 || index >= d_->box->count()) return {};
  return S(d_->box->itemText(index));
}
int16_t ComboBox::ListIndex() const {
  int i = d_->box->currentIndex();
  if (i >= 0 && d_->box->isEditable() && d_->box->currentText() != d_->box->itemText(i)) return -1;
  return static_cast<int16_t>(i);
}
void ComboBox::ListIndex(int16_t v) {
  if (v < -1 || v >= d_->box->count()) ::Raise(vbErrInvalidPropertyValue);
  if (v == ListIndex()) return;
  std::string before = Text();
  {
    QSignalBlocker block(d_->box);
    d_->box->setCurrentIndex(v);
    if (v == -1 && d_->box->isEditable()) d_->box->setEditText(QString());
  }
  d_->SyncList();
  if (d_->style != vbComboDropdownList && Text() != before) Raise("Change");
  Raise("Click");
}
int32_t ComboBox::ItemData(int16_t index) const {
  CheckIndex(index, d_->box->count());
  return d_->box->itemData(index).toInt();
}
void ComboBox::ItemData(int16_t index, int32_t v) {
  CheckIndex(index, d_->box->count());
  d_->box->setItemData(index, v);
}
int16_t ComboBox::NewIndex() const { return d_->newIndex; }
std::string ComboBox::Text() const { return S(d_->box->currentText()); }
void ComboBox::Text(const std::string& v) {
  if (v == Text()) return;
  if (d_->style == vbComboDropdownList) {
    int i = d_->box->findText(Q(v), Qt::MatchFixedString);
    if (i < 0) ::Raise(383, "'Text' property is read-only");
    ListIndex(static_cast<int16_t>(i));
    return;
  }
  {
    QSignalBlocker block(d_->box);
    int i = d_->box->findText(Q(v), Qt::MatchExactly);
    d_->box->setCurrentIndex(i);
    d_->box->setEditText(Q(v));
  }
  d_->SyncList();
  Raise("Change");
}
bool ComboBox::Sorted() const { return d_->sorted; }
void ComboBox::Sorted(bool v) { d_->sorted = v; }
bool ComboBox::Locked() const { return d_->locked; }
void ComboBox::Locked(bool v) {
  d_->locked = v;
  if (d_->box->lineEdit()) d_->box->lineEdit()->setReadOnly(v);
}
void ComboBox::SetProperty(const std::string& n, const Variant& v) {
  if (Is(n, "Text") || Is(n, "Caption")) return Text(StringOf(v));
  if (Is(n, "ListIndex")) return ListIndex(static_cast<int16_t>(LongOf(v)));
  if (Is(n, "Sorted")) return Sorted(BoolOf(v));
  if (Is(n, "Style")) return Style(static_cast<int16_t>(LongOf(v)));
  if (Is(n, "Locked")) return Locked(BoolOf(v));
  Control::SetProperty(n, v);
}
Variant ComboBox::GetProperty(const std::string& n) const {
  if (Is(n, "Text")) return Variant(Text());
  if (Is(n, "ListIndex")) return Variant(ListIndex());
  if (Is(n, "ListCount")) return Variant(ListCount());
  if (Is(n, "Style")) return Variant(Style());
  if (Is(n, "NewIndex")) return Variant(NewIndex());
  return Control::GetProperty(n);
}

// ---- ScrollBar ---------------------------------------------------------------------------------

struct ScrollBar::Impl {
  QScrollBar* bar = nullptr;
  bool fromCode = false;
  int valueAtPress = 0;
  int16_t min = 0, max = 32767;
  // The runtime's Min may exceed Max (the bar then counts down); Qt's range always ascends.
  int ToQt(int16_t v) const { return min <= max ? v : min + max - v; }
  int16_t FromQt(int v) const { return static_cast<int16_t>(min <= max ? v : min + max - v); }
  void ApplyRange() { bar->setRange(std::min(min, max), std::max(min, max)); }
};

ScrollBar::ScrollBar(const ControlSite& site, bool horizontal) : Control(site), d_(std::make_shared<Impl>()) {
  auto* w = new QScrollBar(horizontal ? Qt::Horizontal : Qt::Vertical);
  d_->bar = w;
  d_->ApplyRange();
  w->setSingleStep(1);
  w->setPageStep(1);
  AttachWidget(*this, w);
  if (horizontal) {
    w->resize(1215 / 15, 255 / 15);
  } else {
    w->resize(255 / 15, 1215 / 15);
  }
  std::weak_ptr<Impl> weak = d_;
  QObject::connect(w, &QScrollBar::sliderPressed, w, [weak] {
    if (auto d = weak.lock()) d->valueAtPress = d->bar->value();
  });
  QObject::connect(w, &QScrollBar::sliderMoved, w, [this](int) { Guard([&] { Raise("Scroll"); }); });
  QObject::connect(w, &QScrollBar::valueChanged, w, [this, weak](int) {
    auto d = weak.lock();
    if (!d || d->fromCode || d->bar->isSliderDown()) return;
    Guard([&] { Raise("Change"); });
  });
  QObject::connect(w, &QScrollBar::sliderReleased, w, [this, weak] {
    auto d = weak.lock();
    if (!d || d->bar->value() == d->valueAtPress) return;
    Guard([&] { Raise("Change"); });
  });
}
int16_t ScrollBar::Min() const { return d_->min; }
void ScrollBar::Min(int16_t v) {
  int16_t value = Value();
  d_->min = v;
  d_->fromCode = true;
  d_->ApplyRange();
  if (value < std::min(d_->min, d_->max) || value > std::max(d_->min, d_->max)) d_->bar->setValue(d_->ToQt(v));
  d_->fromCode = false;
  if (Value() != value) Raise("Change");  // the value moved onto the new end
}
int16_t ScrollBar::Max() const { return d_->max; }
void ScrollBar::Max(int16_t v) {
  int16_t value = Value();
  d_->max = v;
  d_->fromCode = true;
  d_->ApplyRange();
  if (value < std::min(d_->min, d_->max) || value > std::max(d_->min, d_->max)) d_->bar->setValue(d_->ToQt(v));
  d_->fromCode = false;
  if (Value() != value) Raise("Change");  // the value moved onto the new end
}
int16_t ScrollBar::Value() const { return d_->FromQt(d_->bar->value()); }
void ScrollBar::Value(int16_t v) {
  if (v < std::min(d_->min, d_->max) || v > std::max(d_->min, d_->max)) ::Raise(vbErrInvalidPropertyValue);
  if (v == Value()) return;
  d_->fromCode = true;
  d_->bar->setValue(d_->ToQt(v));
  d_->fromCode = false;
  Raise("Change");
}
int16_t ScrollBar::SmallChange() const { return static_cast<int16_t>(d_->bar->singleStep()); }
void ScrollBar::SmallChange(int16_t v) { d_->bar->setSingleStep(v); }
int16_t ScrollBar::LargeChange() const { return static_cast<int16_t>(d_->bar->pageStep()); }
void ScrollBar::LargeChange(int16_t v) { d_->bar->setPageStep(v); }
void ScrollBar::SetProperty(const std::string& n, const Variant& v) {
  if (Is(n, "Min")) return Min(static_cast<int16_t>(LongOf(v)));
  if (Is(n, "Max")) return Max(static_cast<int16_t>(LongOf(v)));
  if (Is(n, "Value")) return Value(static_cast<int16_t>(LongOf(v)));
  if (Is(n, "SmallChange")) return SmallChange(static_cast<int16_t>(LongOf(v)));
  if (Is(n, "LargeChange")) return LargeChange(static_cast<int16_t>(LongOf(v)));
  Control::SetProperty(n, v);
}
Variant ScrollBar::GetProperty(const std::string& n) const {
  if (Is(n, "Min")) return Variant(Min());
  if (Is(n, "Max")) return Variant(Max());
  if (Is(n, "Value")) return Variant(Value());
  if (Is(n, "SmallChange")) return Variant(SmallChange());
  if (Is(n, "LargeChange")) return Variant(LargeChange());
  return Control::GetProperty(n);
}

// ---- DriveListBox ------------------------------------------------------------------------------

namespace {
// A mount table field: blanks, tabs, newlines and backslashes come as octal escapes ("\040").
std::string MountField(const std::string& field) {
  auto octal = [&](size_t i) { return i < field.size() && field[i] >= '0' && field[i] <= '7'; };
  std::string out;
  for (size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && octal(i + 1) && octal(i + 2) && octal(i + 3)) {
      out += static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0'));
      i += 3;
    } else {
      out += field[i];
    }
  }
  return out;
}

// The drives: the root file system, the mounted devices, network file systems and the user's
// mounted network folders (gvfs). Under the test harness SUITE_MOUNT_TABLE names the table read
// instead of /proc/mounts, so that a test can list a mount point that is gone.
QStringList MountPoints() {
  QStringList out{"/"};
  std::string table = "/proc/mounts";
  if (std::getenv("SUITE_TEST_SCRATCH") != nullptr) {
    if (const char* t = std::getenv("SUITE_MOUNT_TABLE"); t != nullptr && *t != '\0') table = t;
  }
  const std::string gvfs = "/run/user/" + std::to_string(::getuid()) + "/gvfs";
  static const std::set<std::string> networkTypes{"nfs", "nfs4", "cifs", "smb3", "fuse.sshfs", "fuse.rclone"};
  std::ifstream f(table);
  std::string line;
  std::set<std::string> seen{"/"};
  while (std::getline(f, line)) {
    std::istringstream in(line);
    std::string dev, dir, type;
    in >> dev >> dir >> type;
    dir = MountField(dir);
    if (dir.empty() || seen.count(dir)) continue;
    bool device = dev.rfind("/dev/", 0) == 0 && dir.rfind("/boot", 0) != 0 && dir.rfind("/snap", 0) != 0;
    if (!device && !networkTypes.count(type) && dir != gvfs) continue;
    seen.insert(dir);
    out << Q(dir);
  }
  return out;
}
}  // namespace

DriveListBox::DriveListBox(const ControlSite& site) : Control(site) {
  native().backColor = 0x80000005;
  native().foreColor = 0x80000008;
  auto* w = new QComboBox;
  w->addItems(MountPoints());
  AttachWidget(*this, w);
  w->resize(1455 / 15, 315 / 15);
  QObject::connect(w, &QComboBox::activated, w, [this](int) { Guard([&] { Raise("Change"); }); });
}
std::string DriveListBox::Drive() const { return S(static_cast<QComboBox*>(WidgetOf(*this))->currentText()); }
void DriveListBox::Drive(const std::string& v) {
  auto* w = static_cast<QComboBox*>(WidgetOf(*this));
  // A path names the drive that holds it: the longest mount point it starts with.
  int best = -1;
  int bestLen = -1;
  for (int i = 0; i < w->count(); ++i) {
    std::string m = S(w->itemText(i));
    bool holds = v == m || (v.rfind(m, 0) == 0 && (m == "/" || (v.size() > m.size() && v[m.size()] == '/')));
    if (holds && static_cast<int>(m.size()) > bestLen) {
      best = i;
      bestLen = static_cast<int>(m.size());
    }
  }
  if (best < 0) ::Raise(68, "Device unavailable");
  if (best == w->currentIndex()) return;
  {
    QSignalBlocker block(w);
    w->setCurrentIndex(best);
  }
  Raise("Change");
}
int16_t DriveListBox::ListCount() const { return static_cast<int16_t>(static_cast<QComboBox*>(WidgetOf(*this))->count()); }
std::string DriveListBox::List(int16_t index) const {
  return S(static_cast<QComboBox*>(WidgetOf(*this))->itemText(index));
}
int16_t DriveListBox::ListIndex() const {
  return static_cast<int16_t>(static_cast<QComboBox*>(WidgetOf(*this))->currentIndex());
}
void DriveListBox::ListIndex(int16_t v) {
  CheckIndex(v, ListCount());
  Drive(List(v));
}
void DriveListBox::SetProperty(const std::string& n, const Variant& v) {
  if (Is(n, "Drive")) return Drive(StringOf(v));
  if (Is(n, "ListIndex")) return ListIndex(static_cast<int16_t>(LongOf(v)));
  Control::SetProperty(n, v);
}
Variant DriveListBox::GetProperty(const std::string& n) const {
  if (Is(n, "Drive")) return Variant(Drive());
  if (Is(n, "ListIndex")) return Variant(ListIndex());
  if (Is(n, "ListCount")) return Variant(ListCount());
  return Control::GetProperty(n);
}

// ---- DirListBox --------------------------------------------------------------------------------

struct DirListBox::Impl {
  QListWidget* list = nullptr;
  std::string path;
  std::vector<std::string> chain;  // "/" .. path
  std::vector<std::string> subdirs;
  bool fromCode = false;
};

namespace {
std::string Normal(const std::string& p) {
  std::error_code ec;
  fs::path abs = fs::weakly_canonical(fs::absolute(p, ec), ec);
  std::string s = abs.string();
  while (s.size() > 1 && s.back() == '/') s.pop_back();
  return s;
}
}  // namespace

DirListBox::DirListBox(const ControlSite& site) : Control(site), d_(std::make_shared<Impl>()) {
  native().backColor = 0x80000005;
  native().foreColor = 0x80000008;
  auto* w = new ListWindow;
  d_->list = w;
  AttachWidget(*this, w);
  w->resize(1935 / 15, w->Fit(1515 / 15));
  native().fitHeight = [w](int asked) { return w->Fit(asked); };
  std::error_code ec;
  d_->path = Normal(fs::current_path(ec).string());
  Refresh();
  QObject::connect(w, &QListWidget::itemSelectionChanged, w, [this] {
    if (d_->fromCode) return;
    Guard([&] { Raise("Click"); });
  });
  QObject::connect(w, &QListWidget::itemDoubleClicked, w, [this](QListWidgetItem* item) {
    Guard([&] { Path(S(item->data(Qt::UserRole).toString())); });
  });
}
std::string DirListBox::Path() const { return d_->path; }
void DirListBox::Path(const std::string& v) {
  std::error_code ec;
  std::string p = Normal(v);
  if (v.empty() || !fs::is_directory(p, ec)) ::Raise(vbErrPathNotFound);
  if (p == d_->path) return;
  d_->path = p;
  Refresh();
  Raise("Change");
}
void DirListBox::Refresh() {
  d_->chain.clear();
  for (fs::path p = d_->path;; p = p.parent_path()) {
    d_->chain.insert(d_->chain.begin(), p.string());
    if (p == p.parent_path()) break;
  }
  d_->subdirs.clear();
  std::error_code ec;
  for (auto it = fs::directory_iterator(d_->path, fs::directory_options::skip_permission_denied, ec);
       !ec && it != fs::directory_iterator(); it.increment(ec)) {
    std::error_code e2;
    if (it->is_directory(e2)) d_->subdirs.push_back(it->path().string());
  }
  std::sort(d_->subdirs.begin(), d_->subdirs.end(), [](const std::string& a, const std::string& b) {
    return QString::compare(Q(a), Q(b), Qt::CaseInsensitive) < 0;
  });
  d_->fromCode = true;
  d_->list->clear();
  int depth = 0;
  for (const std::string& c : d_->chain) {
    fs::path p(c);
    auto* item = new QListWidgetItem(QString(depth * 2, ' ') + (p.has_filename() ? Q(p.filename().string()) : Q(c)));
    item->setData(Qt::UserRole, Q(c));
    d_->list->addItem(item);
    ++depth;
  }
  for (const std::string& s : d_->subdirs) {
    auto* item = new QListWidgetItem(QString(depth * 2, ' ') + Q(fs::path(s).filename().string()));
    item->setData(Qt::UserRole, Q(s));
    d_->list->addItem(item);
  }
  d_->list->setCurrentRow(static_cast<int>(d_->chain.size()) - 1);
  d_->fromCode = false;
}
int16_t DirListBox::ListCount() const { return static_cast<int16_t>(d_->subdirs.size()); }
std::string DirListBox::List(int16_t index) const {
  if (index >= 0) return index < ListCount() ? d_->subdirs[index] : std::string();
  int pos = static_cast<int>(d_->chain.size()) + index;  // -1 is the path itself
  return pos >= 0 ? d_->chain[pos] : std::string();
}
int16_t DirListBox::ListIndex() const {
  int row = d_->list->currentRow();
  int n = static_cast<int>(d_->chain.size());
  return static_cast<int16_t>(row - n);
}
void DirListBox::ListIndex(int16_t v) {
  int n = static_cast<int>(d_->chain.size());
  int row = v + n;
  if (row < 0 || row >= d_->list->count()) ::Raise(vbErrInvalidPropertyValue);
  d_->list->setCurrentRow(row);
}
void DirListBox::SetProperty(const std::string& n, const Variant& v) {
  if (Is(n, "Path")) return Path(StringOf(v));
  if (Is(n, "ListIndex")) return ListIndex(static_cast<int16_t>(LongOf(v)));
  Control::SetProperty(n, v);
}
Variant DirListBox::GetProperty(const std::string& n) const {
  if (Is(n, "Path")) return Variant(Path());
  if (Is(n, "ListIndex")) return Variant(ListIndex());
  if (Is(n, "ListCount")) return Variant(ListCount());
  return Control::GetProperty(n);
}

// ---- FileListBox -------------------------------------------------------------------------------

FileListBox::FileListBox(const ControlSite& site) : ListBox(site) {
  std::error_code ec;
  path_ = Normal(fs::current_path(ec).string());
  Refresh();
}
std::string FileListBox::Path() const { return path_; }
void FileListBox::Path(const std::string& v) {
  std::error_code ec;
  std::string p = Normal(v);
  if (v.empty() || !fs::is_directory(p, ec)) ::Raise(vbErrPathNotFound);
  if (p == path_) return;
  path_ = p;
  Refresh();
  Raise("PathChange");
}
std::string FileListBox::Pattern() const { return pattern_; }
void FileListBox::Pattern(const std::string& v) {
  if (v == pattern_) return;
  pattern_ = v.empty() ? "*.*" : v;
  Refresh();
  Raise("PatternChange");
}
void FileListBox::Refresh() {
  std::vector<std::string> masks;
  std::stringstream in(pattern_);
  for (std::string m; std::getline(in, m, ';');) {
    while (!m.empty() && m.front() == ' ') m.erase(m.begin());
    while (!m.empty() && m.back() == ' ') m.pop_back();
    if (m.empty()) continue;
    // "*.*" matches every name, also names without a dot.
    masks.push_back(m == "*.*" ? "*" : m);
  }
  std::vector<std::string> names;
  std::error_code ec;
  for (auto it = fs::directory_iterator(path_, fs::directory_options::skip_permission_denied, ec);
       !ec && it != fs::directory_iterator(); it.increment(ec)) {
    std::error_code e2;
    if (!it->is_regular_file(e2)) continue;
    std::string name = it->path().filename().string();
    // Hidden files (a leading ".") and names that are not UTF-8 text are not listed.
    if (name.empty() || name[0] == '.' || !QUtf8StringView(name).isValidUtf8()) continue;
    for (const std::string& m : masks) {
      if (fnmatch(m.c_str(), name.c_str(), FNM_CASEFOLD) == 0) {
        names.push_back(name);
        break;
      }
    }
  }
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    return QString::compare(Q(a), Q(b), Qt::CaseInsensitive) < 0;
  });
  Clear();
  for (const std::string& n : names) AddItem(n);
}
std::string FileListBox::FileName() const { return Text(); }
void FileListBox::FileName(const std::string& v) {
  fs::path p(v);
  if (p.has_parent_path() && v.find('/') != std::string::npos) Path(p.parent_path().string());
  std::string name = p.filename().string();
  if (name.find_first_of("*?") != std::string::npos) {
    Pattern(name);
    return;
  }
  for (int16_t i = 0; i < ListCount(); ++i) {
    if (List(i) == name) {
      ListIndex(i);
      return;
    }
  }
  ::Raise(vbErrFileNotFound);
}
void FileListBox::SetProperty(const std::string& n, const Variant& v) {
  if (Is(n, "Path")) return Path(StringOf(v));
  if (Is(n, "Pattern")) return Pattern(StringOf(v));
  if (Is(n, "FileName")) return FileName(StringOf(v));
  ListBox::SetProperty(n, v);
}
Variant FileListBox::GetProperty(const std::string& n) const {
  if (Is(n, "Path")) return Variant(Path());
  if (Is(n, "Pattern")) return Variant(Pattern());
  if (Is(n, "FileName")) return Variant(FileName());
  return ListBox::GetProperty(n);
}

namespace {
const bool kRegistered = RegisterControlClass<ListBox>("ListBox") && RegisterControlClass<ComboBox>("ComboBox") &&
                         RegisterControlClass<HScrollBar>("HScrollBar") &&
                         RegisterControlClass<VScrollBar>("VScrollBar") &&
                         RegisterControlClass<DriveListBox>("DriveListBox") &&
                         RegisterControlClass<DirListBox>("DirListBox") &&
                         RegisterControlClass<FileListBox>("FileListBox");
}  // namespace
