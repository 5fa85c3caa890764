#pragma once
// The common controls: ImageList, Toolbar, ProgressBar, Slider, StatusBar, TabStrip, the tabbed
// dialog SSTab and ListView (report view). Their items (buttons, images, tabs, panels, column
// headers, list items and sub-items) are objects kept in keyed collections: 1-based indexes, keys
// unique within a collection and compared exactly. An event that names an item passes it as an
// object Variant; ItemOf<Button>(arg) gives the item back.
//
// Events, raised to the form's handlers "<control>_<event>" (Index first for array elements):
//   Toolbar     ButtonClick(Button): a user's click on a default or check button (a check
//               button's Value has already changed); never for separators and placeholders, and
//               never from code
//   ProgressBar none
//   Slider      Scroll (only while the user moves the thumb, by mouse or keys), Change (the Value
//               changed by the user or by code), Click, mouse events
//   StatusBar   PanelClick(Panel), Click
//   TabStrip    Click (the user chose another tab, or SelectedItem set from code to another tab)
//   SSTab       Click(PreviousTab) (the user chose another tab, or Tab set from code to another tab)
//   ListView    ItemClick(Item) (the user chose a row), Click, DblClick, ColumnClick(ColumnHeader)
//
// Failures raise the controls' own error numbers: 35600 index out of bounds, 35601 element not
// found, 35602 key not unique, 35603 invalid key (a key of digits only), 35613 no image list;
// 380 for a property value out of its range.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/error.h"
#include "core/unknown.h"
#include "core/variant.h"
#include "forms/control.h"
#include "forms/picture.h"

enum ComctlErrors : int32_t {
  ccErrIndexOutOfBounds = 35600,
  ccErrElementNotFound = 35601,
  ccErrKeyNotUnique = 35602,
  ccErrInvalidKey = 35603,
  ccErrNoImageList = 35613,
};


// ---- items and their collections -------------------------------------------------------------

class CollectionItem;

// Told by its items when they change (the owning control redraws them).
class ItemOwner {
 public:
  virtual void ItemChanged(CollectionItem& item) = 0;
  virtual void ItemsChanged() = 0;
  // One item added (already at its index) or removed (from oldIndex); an owner that can show
  // just that change overrides these, the others redraw everything.
  virtual void ItemAdded(CollectionItem&) { ItemsChanged(); }
  virtual void ItemRemoved(CollectionItem&, int16_t /*oldIndex*/) { ItemsChanged(); }

 protected:
  ~ItemOwner() = default;
};

// An item of a collection: a reference-counted object with a key, an index and a tag.
class CollectionItem : public IUnknown {
 public:
  static constexpr IID iid = MakeGuid("{7C1A3E52-5B0D-4F7A-9C61-2D8E4B3F0A17}");
  virtual ~CollectionItem() = default;
  HRESULT QueryInterface(REFIID riid, void** ppv) override;
  ULONG AddRef() override;
  ULONG Release() override;

  const std::string& Key() const { return key_; }
  // The 1-based position in its collection; 0 once removed.
  int16_t Index() const { return index_; }
  const std::string& Tag() const { return tag_; }
  void Tag(const std::string& v) { tag_ = v; }

 protected:
  CollectionItem() = default;
  // Tells the owning control (when there still is one) that this item changed.
  void Changed();

 private:
  template <class T>
  friend class ItemCollection;
  std::atomic<ULONG> refs_{0};
  std::string key_;
  std::string tag_;
  int16_t index_ = 0;
  ItemOwner* owner_ = nullptr;
};

// The item an event argument holds; raises 13 for anything else.
template <class T>
T& ItemOf(const Variant& arg) {
  Variant v = arg.Deref();
  if (v.IsObject() && v.punk()) {
    void* p = nullptr;
    if (SUCCEEDED(v.punk()->QueryInterface(CollectionItem::iid, &p)) && p) {
      auto* item = static_cast<CollectionItem*>(p);
      item->Release();
      if (auto* t = dynamic_cast<T*>(item)) return *t;
    }
  }
  Raise(vbErrTypeMismatch);
}

namespace forms_detail {
// Checks a new key: "" is no key; a key of digits only raises 35603.
void CheckKey(const std::string& key);
}  // namespace forms_detail

// A keyed collection: Item(index) with 1-based indexes, Item(key), Add, Remove, Clear.
template <class T>
class ItemCollection {
 public:
  explicit ItemCollection(ItemOwner* owner) : owner_(owner) {}
  ~ItemCollection() { Detach(); }
  ItemCollection(const ItemCollection&) = delete;
  ItemCollection& operator=(const ItemCollection&) = delete;

  int16_t Count() const { return static_cast<int16_t>(items_.size()); }
  T& Item(int32_t index) const {
    if (index < 1 || index > static_cast<int32_t>(items_.size())) Raise(ccErrIndexOutOfBounds, "Index out of bounds");
    return *items_[index - 1].Get();
  }
  T& Item(const std::string& key) const {
    if (T* t = Find(key)) return *t;
    Raise(ccErrElementNotFound, "Element not found");
  }
  T& Item(const char* key) const { return Item(std::string(key)); }
  // By a number (index) or a text (key), as late-bound callers pass it.
  T& ItemOf(const Variant& indexOrKey) const {
    Variant v = indexOrKey.Deref();
    if (v.vt() == VT_BSTR) return Item(v.bstr().Utf8());
    return Item(forms_detail::LongOf(v));
  }
  T& operator()(int32_t index) const { return Item(index); }
  T& operator()(const std::string& key) const { return Item(key); }
  T& operator()(const char* key) const { return Item(std::string(key)); }
  T* Find(const std::string& key) const {
    if (key.empty()) return nullptr;
    for (const auto& p : items_) {
      if (p->key_ == key) return p.Get();
    }
    return nullptr;
  }
  // The items in order.
  std::vector<T*> Items() const {
    std::vector<T*> out;
    for (const auto& p : items_) out.push_back(p.Get());
    return out;
  }
  void Remove(int32_t index) { RemoveAt(&Item(index)); }
  void Remove(const std::string& key) { RemoveAt(&Item(key)); }
  void Remove(const char* key) { RemoveAt(&Item(std::string(key))); }
  void Clear() {
    Detach();
    items_.clear();
    if (owner_) owner_->ItemsChanged();
  }

 protected:
  // Puts a new item at a 1-based position (0: at the end) under a key.
  T& Insert(int32_t index, const std::string& key, ComPtr<T> item) {
    forms_detail::CheckKey(key);
    if (Find(key)) Raise(ccErrKeyNotUnique, "Key is not unique in collection");
    if (index < 0 || index > static_cast<int32_t>(items_.size()) + 1) Raise(ccErrIndexOutOfBounds, "Index out of bounds");
    if (items_.size() >= 32767) Raise(vbErrOverflow);
    item->key_ = key;
    item->owner_ = owner_;
    size_t at = index == 0 ? items_.size() : static_cast<size_t>(index - 1);
    items_.insert(items_.begin() + static_cast<std::ptrdiff_t>(at), item);
    Renumber();
    if (owner_) owner_->ItemAdded(*item.Get());
    return *item.Get();
  }
  static int32_t IndexArg(const Variant& index) {
    Variant v = index.Deref();
    return v.vt() == VT_EMPTY || v.vt() == VT_ERROR ? 0 : forms_detail::LongOf(v);
  }

 private:
  void RemoveAt(T* item) {
    ComPtr<T> keep(item);  // alive while the owner is told
    const int16_t oldIndex = item->index_;
    for (auto it = items_.begin(); it != items_.end(); ++it) {
      if (it->Get() == item) {
        item->owner_ = nullptr;
        item->index_ = 0;
        items_.erase(it);
        break;
      }
    }
    Renumber();
    if (owner_) owner_->ItemRemoved(*item, oldIndex);
  }
  void Renumber() {
    for (size_t i = 0; i < items_.size(); ++i) items_[i]->index_ = static_cast<int16_t>(i + 1);
  }
  void Detach() {
    for (auto& p : items_) {
      p->owner_ = nullptr;
      p->index_ = 0;
    }
  }
  ItemOwner* owner_;
  std::vector<ComPtr<T>> items_;
};

// ---- ImageList -------------------------------------------------------------------------------

class ListImage : public CollectionItem {
 public:
  Picture GetPicture() const { return picture_; }

 private:
  friend class ListImages;
  Picture picture_;
};

class ListImages : public ItemCollection<ListImage> {
 public:
  using ItemCollection::ItemCollection;
  // Adds a picture (index 0 or empty: at the end); the empty picture raises 380.
  ListImage& Add(const Variant& index = {}, const std::string& key = {}, const Picture& picture = {});
};

// The pictures other controls take by key or index; no window of its own.
class ImageList : public Control {
 public:
  explicit ImageList(const ControlSite& site);
  ~ImageList() override;
  ListImages& ListImagesOf() const;
  // The size of the images in pixels (taken from the first picture unless set).
  int32_t ImageWidth() const;
  void ImageWidth(int32_t v);
  int32_t ImageHeight() const;
  void ImageHeight(int32_t v);
  // The picture of an image named by key (text) or 1-based index (number).
  Picture PictureOf(const Variant& indexOrKey) const;
  void SetProperty(const std::string& name, const Variant& value) override;
  Variant GetProperty(const std::string& name) const override;

  struct Impl;
 private:
  std::shared_ptr<Impl> d_;
};

// ---- Toolbar ---------------------------------------------------------------------------------

enum ButtonStyleConstants : int16_t {
  tbrDefault = 0,
  tbrCheck = 1,
  tbrButtonGroup = 2,
  tbrSeparator = 3,
  tbrPlaceholder = 4,
};
enum ValueConstants : int16_t { tbrUnpressed = 0, tbrPressed = 1 };

class Button : public CollectionItem {
 public:
  const std::string& Caption() const { return caption_; }
  void Caption(const std::string& v);
  int16_t Style() const { return style_; }
  void Style(int16_t v);
  // The image list entry: a key (text) or a 1-based index (number); empty for none. Raises 35613
  // when the toolbar has no image list and 35601 for an image it does not hold.
  const Variant& Image() const { return image_; }
  void Image(const Variant& v);
  const std::string& ToolTipText() const { return toolTip_; }
  void ToolTipText(const std::string& v);
  bool Enabled() const { return enabled_; }
  void Enabled(bool v);
  bool Visible() const { return visible_; }
  void Visible(bool v);
  // tbrPressed or tbrUnpressed (check and group buttons); setting it raises no event.
  int16_t Value() const { return value_; }
  void Value(int16_t v);
  // The width of a placeholder, in twips.
  float Width() const { return width_; }
  void Width(float v);

 private:
  friend class Buttons;
  friend class Toolbar;
  std::string caption_;
  int16_t style_ = tbrDefault;
  Variant image_;
  std::string toolTip_;
  bool enabled_ = true;
  bool visible_ = true;
  int16_t value_ = tbrUnpressed;
  float width_ = 0;
  std::function<void(Button&, const Variant&)> checkImage_;
};

class Buttons : public ItemCollection<Button> {
 public:
  using ItemCollection::ItemCollection;
  Button& Add(const Variant& index = {}, const std::string& key = {}, const std::string& caption = {},
              int16_t style = tbrDefault, const Variant& image = {});

 private:
  friend class Toolbar;
  std::function<void(Button&, const Variant&)> checkImage_;
};

// A bar of buttons; aligned to the top of the form by default (its width follows the form's).
// It can hold other controls (a picture box at its right end).
class Toolbar : public Control {
 public:
  explicit Toolbar(const ControlSite& site);
  ~Toolbar() override;
  bool IsContainer() const override { return true; }
  Buttons& ButtonsOf() const;
  ImageList* GetImageList() const;
  void SetImageList(ImageList* list);
  int16_t Align() const;
  void Align(int16_t v);
  void SetProperty(const std::string& name, const Variant& value) override;
  Variant GetProperty(const std::string& name) const override;

  struct Impl;
 private:
  std::shared_ptr<Impl> d_;
};

// ---- ProgressBar -----------------------------------------------------------------------------

class ProgressBar : public Control {
 public:
  explicit ProgressBar(const ControlSite& site);
  float Min() const;
  // Raises 380 when not below Max; a Value below the new Min moves up to it.
  void Min(float v);
  float Max() const;
  // Raises 380 when not above Min; a Value above the new Max moves down to it.
  void Max(float v);
  float Value() const;
  // Raises 380 outside Min..Max and leaves the bar as it was.
  void Value(float v);
  void SetProperty(const std::string& name, const Variant& value) override;
  Variant GetProperty(const std::string& name) const override;

  struct Impl;
 private:
  std::shared_ptr<Impl> d_;
};

// ---- Slider ----------------------------------------------------------------------------------

enum TickStyleConstants : int16_t { sldBottomRight = 0, sldTopLeft = 1, sldBoth = 2, sldNoTicks = 3 };
enum OrientationConstants : int16_t { ccOrientationHorizontal = 0, ccOrientationVertical = 1 };

// A thumb on a scale with tick marks and a selected range (SelStart, SelLength) drawn on the
// channel. Value outside Min..Max raises 380.
class Slider : public Control {
 public:
  explicit Slider(const ControlSite& site);
  int32_t Min() const;
  void Min(int32_t v);
  int32_t Max() const;
  void Max(int32_t v);
  int32_t Value() const;
  void Value(int32_t v);
  int32_t SelStart() const;
  // Raises 380 outside Min..Max.
  void SelStart(int32_t v);
  int32_t SelLength() const;
  // Raises 380 when negative.
  void SelLength(int32_t v);
  int32_t SmallChange() const;
  void SmallChange(int32_t v);
  int32_t LargeChange() const;
  void LargeChange(int32_t v);
  // 0 draws no ticks between the ends.
  int32_t TickFrequency() const;
  void TickFrequency(int32_t v);
  int16_t TickStyle() const;
  void TickStyle(int16_t v);
  int16_t Orientation() const;
  void Orientation(int16_t v);
  // Whether the selected range is drawn (SelectRange).
  bool SelectRange() const;
  void SelectRange(bool v);
  void SetProperty(const std::string& name, const Variant& value) override;
  Variant GetProperty(const std::string& name) const override;

  struct Impl;
 private:
  std::shared_ptr<Impl> d_;
};

// ---- StatusBar -------------------------------------------------------------------------------

enum SbarStyleConstants : int16_t { sbrNormal = 0, sbrSimple = 1 };

class Panel : public CollectionItem {
 public:
  const std::string& Text() const { return text_; }
  void Text(const std::string& v);
  // Width in twips.
  float Width() const { return width_; }
  void Width(float v);
  int16_t Alignment() const { return alignment_; }
  void Alignment(int16_t v);

 private:
  friend class Panels;
  std::string text_;
  float width_ = 1440;
  int16_t alignment_ = 0;
};

class Panels : public ItemCollection<Panel> {
 public:
  using ItemCollection::ItemCollection;
  Panel& Add(const Variant& index = {}, const std::string& key = {}, const std::string& text = {});
};

// A bar of panels, or one line of text (Style sbrSimple shows SimpleText); aligned to the bottom
// of the form by default. It starts with one panel.
class StatusBar : public Control {
 public:
  explicit StatusBar(const ControlSite& site);
  ~StatusBar() override;
  Panels& PanelsOf() const;
  int16_t Style() const;
  void Style(int16_t v);
  std::string SimpleText() const;
  void SimpleText(const std::string& v);
  int16_t Align() const;
  void Align(int16_t v);
  void SetProperty(const std::string& name, const Variant& value) override;
  Variant GetProperty(const std::string& name) const override;

  struct Impl;
 private:
  std::shared_ptr<Impl> d_;
};

// ---- TabStrip --------------------------------------------------------------------------------

class Tab : public CollectionItem {
 public:
  const std::string& Caption() const { return caption_; }
  void Caption(const std::string& v);
  const std::string& ToolTipText() const { return toolTip_; }
  void ToolTipText(const std::string& v);
  // Whether this tab is the selected one; setting True selects it (Click when it changes).
  bool Selected() const;
  void Selected(bool v);

 private:
  friend class Tabs;
  std::string caption_;
  std::string toolTip_;
  std::function<bool(const Tab&)> isSelected_;
  std::function<void(Tab&)> select_;
};

class Tabs : public ItemCollection<Tab> {
 public:
  using ItemCollection::ItemCollection;
  Tab& Add(const Variant& index = {}, const std::string& key = {}, const std::string& caption = {});

 private:
  friend class TabStrip;
  std::function<bool(const Tab&)> isSelected_;
  std::function<void(Tab&)> select_;
};

// A row of tabs. The first tab added becomes the selected one; removing the selected tab selects
// the first remaining one.
class TabStrip : public Control {
 public:
  explicit TabStrip(const ControlSite& site);
  ~TabStrip() override;
  Tabs& TabsOf() const;
  // nullptr when there are no tabs.
  Tab* SelectedItem() const;
  void SelectedItem(Tab& tab);
  void SetProperty(const std::string& name, const Variant& value) override;
  Variant GetProperty(const std::string& name) const override;

  struct Impl;
 private:
  std::shared_ptr<Impl> d_;
};

// ---- SSTab -----------------------------------------------------------------------------------

// The tabbed dialog: tabs numbered from 0, each a container of its own. A control placed into the
// SSTab goes onto the tab that is current when it is placed (as at design time) or onto the tab
// MoveToTab names; only the current tab's controls can be seen, whatever their own Visible says.
// Positions inside are relative to the SSTab's top-left corner, tab row included.
class SSTab : public Control {
 public:
  explicit SSTab(const ControlSite& site);
  ~SSTab() override;
  bool IsContainer() const override { return true; }
  int16_t Tabs() const;
  // At least 1; removing tabs moves their controls to the last remaining tab.
  void Tabs(int16_t n);
  int16_t Tab() const;
  // Raises 380 outside 0..Tabs-1; Click(PreviousTab) when the tab changes.
  void Tab(int16_t v);
  std::string TabCaption(int16_t index) const;
  void TabCaption(int16_t index, const std::string& v);
  bool TabEnabled(int16_t index) const;
  void TabEnabled(int16_t index, bool v);
  bool TabVisible(int16_t index) const;
  void TabVisible(int16_t index, bool v);
  // Height of the tab row in twips.
  float TabHeight() const;
  // The tab a contained control is on; -1 for a control not in this SSTab.
  int16_t TabOf(const Control& control) const;
  void MoveToTab(Control& control, int16_t tab);
  void SetProperty(const std::string& name, const Variant& value) override;
  Variant GetProperty(const std::string& name) const override;

  struct Impl;
 private:
  std::shared_ptr<Impl> d_;
};

// ---- ListView --------------------------------------------------------------------------------

enum ListViewViewConstants : int16_t { lvwIcon = 0, lvwSmallIcon = 1, lvwList = 2, lvwReport = 3 };

class ColumnHeader : public CollectionItem {
 public:
  const std::string& Text() const { return text_; }
  void Text(const std::string& v);
  // Width in twips.
  float Width() const { return width_; }
  void Width(float v);
  int16_t Alignment() const { return alignment_; }
  void Alignment(int16_t v);
  // The position among the columns counted from 0 (the column of sub-item n is n).
  int16_t SubItemIndex() const { return static_cast<int16_t>(Index() - 1); }

 private:
  friend class ColumnHeaders;
  std::string text_;
  float width_ = 1440;
  int16_t alignment_ = 0;
};

class ColumnHeaders : public ItemCollection<ColumnHeader> {
 public:
  using ItemCollection::ItemCollection;
  ColumnHeader& Add(const Variant& index = {}, const std::string& key = {}, const std::string& text = {},
                    float width = -1, int16_t alignment = 0);
};

class ListSubItem : public CollectionItem {
 public:
  const std::string& Text() const { return text_; }
  void Text(const std::string& v);

 private:
  friend class ListSubItems;
  std::string text_;
};

class ListSubItems : public ItemCollection<ListSubItem> {
 public:
  using ItemCollection::ItemCollection;
  ListSubItem& Add(const Variant& index = {}, const std::string& key = {}, const std::string& text = {});
};

class ListItem : public CollectionItem, private ItemOwner {
 public:
  ListItem();
  ~ListItem() override;
  // The text of the first column.
  const std::string& Text() const { return text_; }
  void Text(const std::string& v);
  ListSubItems& ListSubItemsOf() { return subItems_; }
  // The text of column n (1-based among the sub-items); "" when there is none.
  std::string SubItems(int16_t n) const;
  // Sets column n's text, adding empty sub-items up to it.
  void SubItems(int16_t n, const std::string& v);
  bool Selected() const;
  void Selected(bool v);

 private:
  friend class ListItems;
  void ItemChanged(CollectionItem& item) override;
  void ItemsChanged() override;
  std::string text_;
  ListSubItems subItems_;
  std::function<bool(const ListItem&)> isSelected_;
  std::function<void(ListItem&, bool)> select_;
};

class ListItems : public ItemCollection<ListItem> {
 public:
  using ItemCollection::ItemCollection;
  ListItem& Add(const Variant& index = {}, const std::string& key = {}, const std::string& text = {});

 private:
  friend class ListView;
  std::function<bool(const ListItem&)> isSelected_;
  std::function<void(ListItem&, bool)> select_;
};

// A list of rows in columns (report view): a header row from ColumnHeaders, then ListItems with
// their sub-items. One row is selected at a time; DropHighlight marks a row of its own.
class ListView : public Control {
 public:
  explicit ListView(const ControlSite& site);
  ~ListView() override;
  ColumnHeaders& ColumnHeadersOf() const;
  ListItems& ListItemsOf() const;
  int16_t View() const;
  void View(int16_t v);
  // nullptr when no row is selected. Setting it from code raises no event.
  ListItem* SelectedItem() const;
  void SelectedItem(ListItem* item);
  ListItem* DropHighlight() const;
  void DropHighlight(ListItem* item);
  bool HideSelection() const;
  void HideSelection(bool v);
  bool FullRowSelect() const;
  void FullRowSelect(bool v);
  void SetProperty(const std::string& name, const Variant& value) override;
  Variant GetProperty(const std::string& name) const override;

  struct Impl;
 private:
  std::shared_ptr<Impl> d_;
};
