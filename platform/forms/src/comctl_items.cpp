// Items and keyed collections of the common controls; the ImageList; alignment to an edge.
#include <QEvent>
#include <QPointer>
#include <map>

#include "comctl_internal.h"
#include "forms/form.h"
#include "forms/qt/control_qt.h"
#include "forms/qt/picture_qt.h"
#include "forms_internal.h"

using namespace forms_detail;

// ---- items -----------------------------------------------------------------------------------

HRESULT CollectionItem::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  if (riid == IID_IUnknown || riid == CollectionItem::iid) {
    *ppv = static_cast<IUnknown*>(this);
    AddRef();
    return S_OK;
  }
  *ppv = nullptr;
  return E_NOINTERFACE;
}
ULONG CollectionItem::AddRef() { return ++refs_; }
ULONG CollectionItem::Release() {
  ULONG n = --refs_;
  if (n == 0) delete this;
  return n;
}
void CollectionItem::Changed() {
  if (owner_) owner_->ItemChanged(*this);
}

namespace forms_detail {
void CheckKey(const std::string& key) {
  if (key.empty()) return;
  for (char c : key) {
    if (c < '0' || c > '9') return;
  }
  ::Raise(ccErrInvalidKey, "Invalid key");
}
}  // namespace forms_detail

// ---- alignment -------------------------------------------------------------------------------

namespace {

// Follows the container's size for an aligned control.
class AlignKeeper : public QObject {
 public:
  AlignKeeper(QWidget* target, QObject* parent) : QObject(parent), target_(target) {}
  int16_t align = vbAlignNone;

  void Apply() {
    if (!target_ || align == vbAlignNone) return;
    QWidget* p = target_->parentWidget();
    if (!p) return;
    QRect g = target_->geometry();
    switch (align) {
      case vbAlignTop: g = QRect(0, 0, p->width(), g.height()); break;
      case vbAlignBottom: g = QRect(0, p->height() - g.height(), p->width(), g.height()); break;
      case vbAlignLeft: g = QRect(0, 0, g.width(), p->height()); break;
      case vbAlignRight: g = QRect(p->width() - g.width(), 0, g.width(), p->height()); break;
      default: break;
    }
    if (g != target_->geometry()) target_->setGeometry(g);
  }

  bool eventFilter(QObject* obj, QEvent* e) override {
    // The container's new size, and the control's own place or size being set.
    (void)obj;
    if (e->type() == QEvent::Resize || e->type() == QEvent::Move) Apply();
    return false;
  }

 private:
  QPointer<QWidget> target_;
};

}  // namespace

namespace forms_detail {
void ApplyAlign(Control& control, int16_t align) {
  if (align < vbAlignNone || align > vbAlignRight) ::Raise(vbErrInvalidPropertyValue);
  QWidget* w = WidgetOf(control);
  if (!w) return;
  auto* keeper = dynamic_cast<AlignKeeper*>(w->findChild<QObject*>("alignKeeper", Qt::FindDirectChildrenOnly));
  if (!keeper) {
    keeper = new AlignKeeper(w, w);
    keeper->setObjectName("alignKeeper");
    w->installEventFilter(keeper);
    if (w->parentWidget()) w->parentWidget()->installEventFilter(keeper);
  }
  keeper->align = align;
  keeper->Apply();
}

void ApplyAlignedControls(QWidget* container) {
  if (!container) return;
  for (QWidget* child : container->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    auto* keeper = dynamic_cast<AlignKeeper*>(child->findChild<QObject*>("alignKeeper", Qt::FindDirectChildrenOnly));
    if (keeper) keeper->Apply();
  }
}

int16_t AlignOf(const Control& control) {
  QWidget* w = WidgetOf(control);
  auto* keeper = w ? dynamic_cast<AlignKeeper*>(w->findChild<QObject*>("alignKeeper", Qt::FindDirectChildrenOnly))
                   : nullptr;
  return keeper ? keeper->align : int16_t{vbAlignNone};
}
}  // namespace forms_detail

// ---- ImageList -------------------------------------------------------------------------------

ListImage& ListImages::Add(const Variant& index, const std::string& key, const Picture& picture) {
  if (picture.IsEmpty()) ::Raise(vbErrInvalidPropertyValue, "Invalid picture");
  ComPtr<ListImage> item(new ListImage);
  item->picture_ = picture;
  return Insert(IndexArg(index), key, item);
}

struct ImageList::Impl : ItemOwner {
  ListImages images{this};
  int32_t width = 0, height = 0;
  void ItemChanged(CollectionItem&) override {}
  void ItemsChanged() override {
    if (width == 0 && images.Count() > 0) {
      Picture p = images.Item(1).GetPicture();
      width = p.PixelWidth();
      height = p.PixelHeight();
    }
  }
};

ImageList::ImageList(const ControlSite& site) : Control(site), d_(std::make_shared<Impl>()) {}
ImageList::~ImageList() = default;
ListImages& ImageList::ListImagesOf() const { return d_->images; }
int32_t ImageList::ImageWidth() const { return d_->width ? d_->width : 16; }
int32_t ImageList::ImageHeight() const { return d_->height ? d_->height : 16; }
void ImageList::ImageWidth(int32_t v) {
  if (v <= 0) ::Raise(vbErrInvalidPropertyValue);
  if (d_->images.Count() > 0 && v != d_->width) ::Raise(vbErrInvalidPropertyValue, "The image list holds images");
  d_->width = v;
}
void ImageList::ImageHeight(int32_t v) {
  if (v <= 0) ::Raise(vbErrInvalidPropertyValue);
  if (d_->images.Count() > 0 && v != d_->height) ::Raise(vbErrInvalidPropertyValue, "The image list holds images");
  d_->height = v;
}
Picture ImageList::PictureOf(const Variant& indexOrKey) const {
  Variant v = indexOrKey.Deref();
  // The control stands for its image of that index or key; a key that is missing is "not found".
  if (v.vt() == VT_BSTR) {
    ListImage* img = d_->images.Find(v.bstr().Utf8());
    if (!img) ::Raise(ccErrElementNotFound, "Element not found");
    return img->GetPicture();
  }
  return d_->images.Item(LongOf(v)).GetPicture();
}
void ImageList::SetProperty(const std::string& n, const Variant& v) {
  if (Is(n, "ImageWidth")) return ImageWidth(LongOf(v));
  if (Is(n, "ImageHeight")) return ImageHeight(LongOf(v));
  if (Is(n, "Tag")) return Tag(StringOf(v));
  ::Raise(vbErrObjectDoesntSupport, "Object doesn't support property '" + n + "'");
}
Variant ImageList::GetProperty(const std::string& n) const {
  if (Is(n, "ImageWidth")) return Variant(ImageWidth());
  if (Is(n, "ImageHeight")) return Variant(ImageHeight());
  if (Is(n, "Name")) return Variant(Name());
  if (Is(n, "Index")) return Variant(Index());
  if (Is(n, "Tag")) return Variant(Tag());
  ::Raise(vbErrObjectDoesntSupport, "Object doesn't support property '" + n + "'");
}
