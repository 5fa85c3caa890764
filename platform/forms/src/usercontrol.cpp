// User controls: a form whose window is an ActiveX control's surface in its container's site.
#include "forms/usercontrol.h"

#include <QEvent>
#include <QLayout>
#include <QPainter>
#include <QPixmap>
#include <QPointer>
#include <QTimer>
#include <algorithm>

#include "core/error.h"
#include "forms/font_object.h"
#include "forms/qt/control_qt.h"
#include "forms/qt/gdi_qt.h"
#include "forms/qt/picture_qt.h"
#include "forms/qt/hwnd_qt.h"
#include "forms/qt/oledrop_qt.h"
#include "forms_internal.h"

using namespace forms_detail;

// ---- PropertyBag --------------------------------------------------------------------------------

PropertyBag::PropertyBag(const Variant& propBag) {
  Variant v = propBag.Deref();
  if (v.IsObject() && v.punk()) v.punk()->QueryInterface(IPropertyBag::iid, bag_.put_void());
  if (!bag_) ::Raise(vbErrObjectNotSet);
}

Variant PropertyBag::ReadProperty(const std::string& name, const Variant& defaultValue) const {
  Variant value;
  // Ask for the default's type, so a stored text reads as the number the default is.
  if (!defaultValue.IsEmpty()) value = defaultValue;
  Bstr key(name);
  HRESULT hr = bag_->Read(key.Utf16().c_str(), &value, nullptr);
  if (FAILED(hr)) return defaultValue;
  return value;
}

void PropertyBag::WriteProperty(const std::string& name, const Variant& value, const Variant& defaultValue) {
  Variant v = value.Deref();
  if (!defaultValue.IsEmpty()) {
    Variant asDefault;
    if (SUCCEEDED(VariantChangeType(&asDefault, v, 0, defaultValue.vt())) && asDefault == defaultValue) return;
  }
  Bstr key(name);
  CheckWithInfo(bag_->Write(key.Utf16().c_str(), &v));
}

// ---- AmbientProperties --------------------------------------------------------------------------

Variant AmbientProperties::Property(DISPID id) const {
  ComPtr<IDispatch> d;
  if (!site_ || FAILED(site_->QueryInterface(IDispatch::iid, d.put_void()))) return Variant();
  DISPPARAMS none;
  Variant result;
  if (FAILED(d->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, &result, nullptr, nullptr)))
    return Variant();
  return result;
}

bool AmbientProperties::UserMode() const {
  Variant v = Property(DISPID_AMBIENT_USERMODE);
  return v.IsEmpty() ? true : BoolOf(v);
}
OLE_COLOR AmbientProperties::BackColor() const {
  Variant v = Property(DISPID_AMBIENT_BACKCOLOR);
  return v.IsEmpty() ? 0x8000000F : static_cast<OLE_COLOR>(LongOf(v));
}
OLE_COLOR AmbientProperties::ForeColor() const {
  Variant v = Property(DISPID_AMBIENT_FORECOLOR);
  return v.IsEmpty() ? 0x80000012 : static_cast<OLE_COLOR>(LongOf(v));
}
StdFont AmbientProperties::Font() const {
  Variant v = Property(DISPID_AMBIENT_FONT);
  return v.IsObject() && v.punk() ? FontFromObject(v.punk()) : StdFont();
}
std::string AmbientProperties::DisplayName() const { return StringOf(Property(DISPID_AMBIENT_DISPLAYNAME)); }
int32_t AmbientProperties::LocaleID() const {
  Variant v = Property(DISPID_AMBIENT_LOCALEID);
  return v.IsEmpty() ? 0x0409 : LongOf(v);
}

// ---- UserControl --------------------------------------------------------------------------------

UserControl::UserControl(std::string name) : Form(std::move(name)) {
  // The surface's form events are the control's.
  SetHandler("Form_Resize", [this](EventArgs& a) { RaiseEvent("UserControl_Resize", a); });
  for (const char* event : {"Click", "DblClick", "MouseDown", "MouseUp", "MouseMove"}) {
    std::string name = event;
    SetHandler("Form_" + name, [this, name](EventArgs& a) { RaiseEvent("UserControl_" + name, a); });
  }
}

// ---- the persistent surface -----------------------------------------------------------------------

// The pixels of a user control's persistent device context: what the client area shows. The
// client's paint only copies them; erasing and the Paint event come from the event loop.
struct UserControl::PaintSurface : QObject {
  UserControl* owner = nullptr;
  QPointer<QWidget> client;
  HWND hwnd = 0;
  HDC dc = 0;
  QImage image;
  bool pending = false;

  bool eventFilter(QObject* watched, QEvent* e) override {
    if (watched != client) return false;
    switch (e->type()) {
      case QEvent::Paint: {
        QPainter p(client);
        p.drawImage(0, 0, image);
        return true;  // no Paint from inside the window system's painting
      }
      case QEvent::Resize:
      case QEvent::Show:
        Invalidate();
        return false;
      default:
        return false;
    }
  }

  void Invalidate() {
    if (pending || !client) return;
    pending = true;
    QTimer::singleShot(0, this, [this] {
      pending = false;
      if (!owner || !client) return;
      UserControl* uc = owner;
      Erase();
      Guard([&] {
        EventArgs a;
        uc->RaiseEvent("UserControl_Paint", a);
      });
    });
  }

  void Erase() {
    QSize size = client->size().expandedTo(QSize(1, 1));
    if (image.size() != size) image = QImage(size, QImage::Format_RGB32);
    image.fill(ColorFromOle(owner->BackColor()));
    QImage picture = ImageOf(owner->picture_);
    if (!picture.isNull()) {
      QPainter p(&image);
      p.drawImage(0, 0, picture);
    }
    client->update();
  }
};

// ---- the border ------------------------------------------------------------------------------------

// The control's border, painted on the control's window around its client area, which the
// window's layout insets by the border's width.
struct UserControl::BorderPainter : QObject {
  QPointer<QWidget> window;
  int width = 0;  // pixels: 0 none, 1 flat, 2 the sunken 3-D edge

  static QColor System(uint32_t index) { return ColorFromOle(0x80000000u | index); }
  // One ring of an edge: its top and left lines in one colour, its bottom and right lines (and
  // the two corners they reach) in the other.
  static void Ring(QPainter& p, const QRect& r, const QColor& topLeft, const QColor& bottomRight) {
    p.setPen(topLeft);
    p.drawLine(r.left(), r.top(), r.right() - 1, r.top());
    p.drawLine(r.left(), r.top(), r.left(), r.bottom() - 1);
    p.setPen(bottomRight);
    p.drawLine(r.left(), r.bottom(), r.right(), r.bottom());
    p.drawLine(r.right(), r.top(), r.right(), r.bottom());
  }

  bool eventFilter(QObject* watched, QEvent* e) override {
    if (watched != window || e->type() != QEvent::Paint || width == 0) return false;
    QPainter p(window);
    const QRect r = window->rect();
    if (width == 1) {
      p.setPen(System(6));  // window frame
      p.drawRect(r.adjusted(0, 0, -1, -1));
    } else {
      Ring(p, r, System(16), System(20));                       // button shadow, button highlight
      Ring(p, r.adjusted(1, 1, -1, -1), System(21), System(22));  // 3-D dark shadow, 3-D light
    }
    return true;
  }
};

int16_t UserControl::BorderStyle() { return borderStyle_; }
void UserControl::BorderStyle(int16_t v) {
  if (v != 0 && v != 1) ::Raise(vbErrInvalidPropertyValue);
  borderStyle_ = v;
  ApplyBorder();
}

void UserControl::ApplyBorder() {
  if (!IsLoaded()) return;  // the load applies it
  QWidget* window = WidgetFromHwnd(hWnd());
  if (!window) return;
  if (!border_ || border_->window != window) {
    if (border_ && border_->window) border_->window->removeEventFilter(border_.get());
    border_ = std::make_shared<BorderPainter>();
    border_->window = window;
    window->installEventFilter(border_.get());
  }
  const int width = borderStyle_ == 0 ? 0 : (appearance_ == 1 ? 2 : 1);
  border_->width = width;
  if (QLayout* layout = window->layout()) layout->setContentsMargins(width, width, width, width);
  window->update();
}

UserControl::~UserControl() {
  if (border_ && border_->window) border_->window->removeEventFilter(border_.get());
  if (paint_) {
    paint_->owner = nullptr;
    if (paint_->client) paint_->client->removeEventFilter(paint_.get());
    SetWindowSurface(paint_->hwnd, {});
  }
}

HDC UserControl::hDC() {
  EnsureSurface();
  if (!paint_) {
    auto p = std::make_shared<PaintSurface>();
    p->owner = this;
    p->client = ClientOf(*this, nullptr);
    p->hwnd = hWnd();
    p->image = QImage(p->client->size().expandedTo(QSize(1, 1)), QImage::Format_RGB32);
    p->image.fill(ColorFromOle(BackColor()));
    PaintSurface* raw = p.get();
    WindowSurface surface;
    surface.image = [raw] { return &raw->image; };
    surface.changed = [raw](const QRect& r) {
      if (raw->client) raw->client->update(r);
    };
    SetWindowSurface(p->hwnd, std::move(surface));
    p->client->installEventFilter(raw);
    p->dc = GetDC(p->hwnd);
    paint_ = std::move(p);
  }
  return paint_->dc;
}

void UserControl::Refresh() {
  hDC();
  paint_->Invalidate();
}

Picture UserControl::GetPicture() { return picture_; }
void UserControl::SetPicture(const Picture& p) {
  picture_ = p;
  if (paint_) paint_->Invalidate();
}
int16_t UserControl::Appearance() { return appearance_; }
void UserControl::Appearance(int16_t v) {
  if (v != 0 && v != 1) ::Raise(vbErrInvalidPropertyValue);
  appearance_ = v;
  ApplyBorder();
}
OLE_COLOR UserControl::MaskColor() { return maskColor_; }
void UserControl::MaskColor(OLE_COLOR c) { maskColor_ = c; }
Picture UserControl::GetMaskPicture() { return maskPicture_; }
void UserControl::SetMaskPicture(const Picture& p) { maskPicture_ = p; }

void UserControl::EnsureSurface() {
  if (IsLoaded()) return;
  Form::BorderStyle(vbBSNone);  // loads the form: Initialize, Design
  // A control's surface is not one of the program's forms.
  auto& loaded = LoadedForms();
  loaded.erase(std::remove(loaded.begin(), loaded.end(), static_cast<Form*>(this)), loaded.end());
  ApplyBorder();
  // Initialize comes once the surface's controls exist.
  EventArgs a;
  RaiseEvent("UserControl_Initialize", a);
}

int16_t UserControl::OLEDropMode() {
  EnsureSurface();
  return OleDropModeOf(WidgetFromHwnd(hWnd()));
}

void UserControl::OLEDropMode(int16_t v) {
  EnsureSurface();
  OleDropHooks hooks;
  hooks.raise = [this](const std::string& event, EventArgs& args) { RaiseEvent("UserControl_" + event, args); };
  SetOleDropTarget(WidgetFromHwnd(hWnd()), v, std::move(hooks));
}

AmbientProperties UserControl::Ambient() const { return AmbientProperties(site_.Get()); }

ComPtr<IDispatch> UserControl::Extender() const {
  ComPtr<IOleControlSite> cs;
  ComPtr<IDispatch> ext;
  if (site_ && SUCCEEDED(site_->QueryInterface(IOleControlSite::iid, cs.put_void())))
    cs->GetExtendedControl(ext.put());
  return ext;
}

void UserControl::PropertyChanged(const std::string& name) {
  DISPID id = DISPID_UNKNOWN;
  if (link_.itf) {
    for (const MemberDesc& m : link_.itf->members)
      if (SameName(Utf8ToUtf16(m.name), Utf8ToUtf16(name))) {
        id = m.id;
        break;
      }
  }
  if (id == DISPID_UNKNOWN) ::Raise(vbErrObjectDoesntSupport, "Object doesn't support this property or method");
  if (!link_.notify) return;
  // (not while the object is being destroyed: a hold would destroy it a second time)
  ComPtr<IUnknown> hold(terminated_ ? nullptr : link_.self);
  link_.notify->ForEach<IPropertyNotifySink>([&](IPropertyNotifySink* s) { CheckWithInfo(s->OnChanged(id)); });
}

void UserControl::RaiseEvent(DISPID event, std::vector<Variant> args) {
  if (!link_.events || frozen_) return;
  // The control lives until its event returns, whatever the container does meanwhile.
  // (not while the object is being destroyed: a hold would destroy it a second time)
  ComPtr<IUnknown> hold(terminated_ ? nullptr : link_.self);
  link_.events->FireDispatch(event, std::move(args));
}

void UserControl::EndControl() {
  if (terminated_) return;
  terminated_ = true;
  site_ = nullptr;
  Guard([&] {
    if (IsLoaded()) Unload();
    EventArgs a;
    RaiseEvent("UserControl_Terminate", a);
  });
}

HRESULT UserControl::OleSetClientSite(IOleClientSite* site) {
  site_ = site;
  return S_OK;
}

HRESULT UserControl::OleDoVerb(int32_t verb, HWND parent, const RECT* pos) {
  return ComCall([&] {
    EnsureSurface();
    QWidget* surface = WidgetFromHwnd(hWnd());
    if (!surface) ::Raise(vbErrObjectNotLoaded);
    if (parent) {
      QWidget* into = WidgetFromHwnd(parent);
      if (!into) ::Raise(vbErrInvalidProcedureCall, "The container window does not exist");
      if (surface->parentWidget() != into) {
        surface->setParent(into, Qt::Widget);
      }
    }
    if (pos) OleSetObjectRects(pos);
    switch (verb) {
      case OLEIVERB_HIDE:
        surface->hide();
        break;
      case OLEIVERB_PRIMARY:
      case OLEIVERB_SHOW:
      case OLEIVERB_INPLACEACTIVATE:
      case OLEIVERB_UIACTIVATE:
        surface->show();
        break;
      default:
        ::Raise(OLEOBJ_E_NOVERBS);
    }
  });
}

HRESULT UserControl::OleClose() {
  if (!IsLoaded()) return S_OK;
  // The surface leaves the container's window, which may go before this object does. When the
  // container's window was deleted first (its form unloaded inside its own handler), it took the
  // surface with it: there is nothing left to take out.
  QWidget* surface = nullptr;
  try {
    surface = WidgetFromHwnd(hWnd());
  } catch (const VBError&) {
    return S_OK;
  }
  if (surface) {
    surface->hide();
    surface->setParent(nullptr, Qt::Widget);
  }
  return S_OK;
}

HRESULT UserControl::OleSetExtent(const SIZEL* size) {
  if (!size) return E_POINTER;
  return ComCall([&] {
    EnsureSurface();
    QWidget* surface = WidgetFromHwnd(hWnd());
    surface->resize(std::max(0, HimetricToPixels(size->cx)), std::max(0, HimetricToPixels(size->cy)));
  });
}

HRESULT UserControl::OleGetExtent(SIZEL* size) {
  if (!size) return E_POINTER;
  return ComCall([&] {
    EnsureSurface();
    QWidget* surface = WidgetFromHwnd(hWnd());
    size->cx = PixelsToHimetric(surface->width());
    size->cy = PixelsToHimetric(surface->height());
  });
}

HRESULT UserControl::OleSetObjectRects(const RECT* pos) {
  if (!pos) return E_POINTER;
  return ComCall([&] {
    EnsureSurface();
    QWidget* surface = WidgetFromHwnd(hWnd());
    surface->setGeometry(pos->left, pos->top, std::max(0, pos->right - pos->left),
                         std::max(0, pos->bottom - pos->top));
  });
}

HRESULT UserControl::OleGetWindow(HWND* hwnd) {
  if (!hwnd) return E_POINTER;
  return ComCall([&] {
    EnsureSurface();
    *hwnd = hWnd();
  });
}

HRESULT UserControl::OleDeactivate() {
  if (IsLoaded())
    if (QWidget* surface = WidgetFromHwnd(hWnd())) surface->hide();
  return S_OK;
}

HRESULT UserControl::OleInitNew() {
  return ComCall([&] {
    EnsureSurface();
    EventArgs a;
    RaiseEvent("UserControl_InitProperties", a);
  });
}

HRESULT UserControl::OleLoad(IPropertyBag* bag) {
  if (!bag) return E_POINTER;
  return ComCall([&] {
    EnsureSurface();
    EventArgs a{Variant(static_cast<IUnknown*>(bag))};
    RaiseEvent("UserControl_ReadProperties", a);
  });
}

HRESULT UserControl::OleSave(IPropertyBag* bag) {
  if (!bag) return E_POINTER;
  return ComCall([&] {
    EnsureSurface();
    EventArgs a{Variant(static_cast<IUnknown*>(bag))};
    RaiseEvent("UserControl_WriteProperties", a);
  });
}

HRESULT UserControl::OleLoadStream(IStream* stream) {
  if (!stream) return E_POINTER;
  PropertyList list;
  HRESULT hr = ReadPropertyListFromStream(stream, &list);
  if (FAILED(hr)) return hr;
  return OleLoad(CreateMemoryPropertyBag(std::move(list)).Get());
}

HRESULT UserControl::OleSaveStream(IStream* stream) {
  if (!stream) return E_POINTER;
  ComPtr<IPropertyBag> bag = CreateMemoryPropertyBag();
  HRESULT hr = OleSave(bag.Get());
  if (FAILED(hr)) return hr;
  return WritePropertyListToStream(stream, MemoryPropertyBagContents(bag.Get()));
}

HRESULT UserControl::OleAmbientChanged(DISPID) { return S_OK; }

HRESULT UserControl::OleDrawToFile(const char16_t* path, int32_t width, int32_t height) {
  if (!path) return E_POINTER;
  return ComCall([&] {
    EnsureSurface();
    QWidget* surface = WidgetFromHwnd(hWnd());
    QPixmap pm = surface->grab();
    if (width > 0 && height > 0 && (pm.width() != width || pm.height() != height))
      pm = pm.scaled(width, height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    if (!pm.save(QString::fromStdU16String(path))) ::Raise(75, "Path/File access error");
  });
}
