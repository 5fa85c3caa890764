// Hosting ActiveX controls: creation from a control-table row, the client site with its ambient
// properties, the extender, events raised as form events, and the container's drag.
#include "forms/activex.h"

#include <QApplication>
#include <QLocale>
#include <QMouseEvent>
#include <QPointer>
#include <QResizeEvent>
#include <map>
#include <set>

#include "com/com.h"
#include "com/connectionpoint.h"
#include "com/dispatch.h"
#include "com/typeinfo.h"
#include "core/error.h"
#include "forms/font_object.h"
#include "forms/form.h"
#include "forms/qt/control_qt.h"
#include "forms/qt/hwnd_qt.h"
#include "forms_internal.h"

using namespace forms_detail;

namespace {

struct ExtenderMember {
  const char* name;
  DISPID id;
};
constexpr ExtenderMember kExtenderMembers[] = {
    {"Name", kExtName},       {"Index", kExtIndex},       {"Tag", kExtTag},
    {"Left", kExtLeft},       {"Top", kExtTop},           {"Width", kExtWidth},
    {"Height", kExtHeight},   {"Visible", kExtVisible},   {"TabIndex", kExtTabIndex},
    {"ToolTipText", kExtToolTipText}, {"Container", kExtContainer}, {"DragMode", kExtDragMode},
    {"Drag", kExtDrag},       {"ZOrder", kExtZOrder},
};

const ExtenderMember* ExtenderByName(std::u16string_view name) {
  for (const auto& m : kExtenderMembers)
    if (SameName(Utf8ToUtf16(m.name), name)) return &m;
  return nullptr;
}

bool IsExtenderName(const std::string& name) { return ExtenderByName(Utf8ToUtf16(name)) != nullptr; }

std::string ErrorText(HRESULT hr) {
  ComPtr<IErrorInfo> info;
  if (GetErrorInfo(0, info.put()) == S_OK && info) {
    Bstr d;
    info->GetDescription(&d);
    if (!d.Utf8().empty()) return d.Utf8();
  }
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%08X", static_cast<unsigned>(hr));
  return std::string("error ") + buf;
}

}  // namespace

// ---- the host's shared state -----------------------------------------------------------------

class HostSite;
class HostSink;
class Extender;

struct ActiveXHost::State {
  ActiveXHost* host = nullptr;  // null once the host is gone
  Form* form = nullptr;
  std::string progId;
  ComPtr<IUnknown> object;
  ComPtr<IDispatch> dispatch;
  ComPtr<IOleObject> ole;
  DWORD misc = 0;
  ComPtr<IOleClientSite> site;
  ComPtr<IDispatch> extender;
  ComPtr<IDispatch> sink;
  IID sourceIid{};
  DWORD sinkCookie = 0;
  DWORD notifyCookie = 0;
  std::map<DISPID, std::string> eventNames;
  bool visible = true;

  void Resize(QSize size) {
    ComPtr<IUnknown> hold = object;
    if (!hold) return;
    ComPtr<IOleInPlaceObject> ip;
    if (SUCCEEDED(hold->QueryInterface(IOleInPlaceObject::iid, ip.put_void()))) {
      RECT r{0, 0, size.width(), size.height()};
      ip->SetObjectRects(&r, &r);
    }
    if (ole) {
      SIZEL s{PixelsToHimetric(size.width()), PixelsToHimetric(size.height())};
      ole->SetExtent(DVASPECT_CONTENT, &s);
    }
  }
};

namespace {

// The site widget: the control's parent window; its size is the control's.
class SiteWidget : public QWidget {
 public:
  explicit SiteWidget(std::weak_ptr<ActiveXHost::State> state) : state_(std::move(state)) {}

 protected:
  void resizeEvent(QResizeEvent* e) override {
    QWidget::resizeEvent(e);
    if (auto s = state_.lock()) Guard([&] { s->Resize(e->size()); });
  }

 private:
  std::weak_ptr<ActiveXHost::State> state_;
};

}  // namespace

// The client site: IOleClientSite, IOleControlSite, the ambient properties (IDispatch) and the
// property-change sink (notifications are ignored at run time).
class HostSite : public ComObject<IOleClientSite, IOleControlSite, IDispatch, IPropertyNotifySink> {
 public:
  explicit HostSite(std::weak_ptr<ActiveXHost::State> state) : state_(std::move(state)) {}

  HRESULT SaveObject() override { return S_OK; }
  HRESULT GetContainer(IUnknown** c) override {
    if (c) *c = nullptr;
    return E_NOINTERFACE;
  }
  HRESULT ShowObject() override { return S_OK; }
  HRESULT OnShowWindow(bool) override { return S_OK; }
  HRESULT RequestNewObjectLayout() override { return E_NOTIMPL; }

  HRESULT OnControlInfoChanged() override { return S_OK; }
  HRESULT LockInPlaceActive(bool) override { return S_OK; }
  HRESULT GetExtendedControl(IDispatch** out) override {
    if (!out) return E_POINTER;
    auto s = state_.lock();
    *out = s ? ComPtr<IDispatch>(s->extender).Detach() : nullptr;
    return *out ? S_OK : E_UNEXPECTED;
  }
  HRESULT OnFocus(bool) override { return S_OK; }

  HRESULT OnChanged(DISPID) override { return S_OK; }
  HRESULT OnRequestEdit(DISPID) override { return S_OK; }

  HRESULT GetTypeInfoCount(uint32_t* count) override {
    if (count) *count = 0;
    return S_OK;
  }
  HRESULT GetTypeInfo(uint32_t, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT GetIDsOfNames(REFIID, const char16_t**, uint32_t, LCID, DISPID*) override { return DISP_E_UNKNOWNNAME; }
  HRESULT Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS*, VARIANT* result, EXCEPINFO*, uint32_t*) override {
    if (!(flags & DISPATCH_PROPERTYGET)) return DISP_E_MEMBERNOTFOUND;
    auto s = state_.lock();
    if (!s || !s->form) return DISP_E_MEMBERNOTFOUND;
    Variant v;
    bool known = true;
    HRESULT hr = ComCall([&] {
      switch (id) {
        case DISPID_AMBIENT_USERMODE: v = Variant(AmbientUserMode(*s->form)); break;
        case DISPID_AMBIENT_BACKCOLOR: v = Variant(static_cast<int32_t>(s->form->BackColor())); break;
        case DISPID_AMBIENT_FORECOLOR: v = Variant(static_cast<int32_t>(s->form->ForeColor())); break;
        case DISPID_AMBIENT_FONT: v = FontVariant(s->form->Font()); break;
        case DISPID_AMBIENT_LOCALEID: v = Variant(UserLocaleID()); break;
        case DISPID_AMBIENT_DISPLAYNAME:
          if (s->host) {
            std::string n = s->host->Name();
            if (s->host->Index() >= 0) n += "(" + std::to_string(s->host->Index()) + ")";
            v = Variant(n);
          }
          break;
        default: known = false;
      }
    });
    if (!known) return DISP_E_MEMBERNOTFOUND;
    if (FAILED(hr)) return hr;
    if (result) *result = v;
    return S_OK;
  }

 private:
  std::weak_ptr<ActiveXHost::State> state_;
};

// The event sink on the control's default source: every event becomes the form event
// "<control>_<member>" with the arguments as the control passed them (by-reference ones write
// back to the control).
class HostSink : public ComObject<IDispatch> {
 public:
  HostSink(std::weak_ptr<ActiveXHost::State> state, IID iid) : state_(std::move(state)), iid_(iid) {}

  HRESULT GetTypeInfoCount(uint32_t* count) override {
    if (count) *count = 0;
    return S_OK;
  }
  HRESULT GetTypeInfo(uint32_t, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT GetIDsOfNames(REFIID, const char16_t**, uint32_t, LCID, DISPID*) override { return DISP_E_UNKNOWNNAME; }
  HRESULT Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*, uint32_t*) override {
    auto s = state_.lock();
    if (!s || !s->host) return S_OK;
    auto it = s->eventNames.find(id);
    if (it == s->eventNames.end()) return S_OK;
    // The control lives until its event has returned.
    ComPtr<IUnknown> hold = s->object;
    EventArgs args;
    if (params)
      for (uint32_t i = params->cArgs; i > 0; --i) args.push_back(params->rgvarg[i - 1]);
    ActiveXHost* host = s->host;
    LiftQuiet loud(*s->form);
    Guard([&] { host->Raise(it->second, std::move(args)); });
    return S_OK;
  }

 protected:
  HRESULT QueryOther(REFIID riid, void** ppv) override {
    if (riid != iid_) return E_NOINTERFACE;
    AddRef();
    *ppv = static_cast<IDispatch*>(this);
    return S_OK;
  }

 private:
  std::weak_ptr<ActiveXHost::State> state_;
  IID iid_;
};

// The extender: Name, Index, position, visibility and the container's other members; any other
// DISPID or name goes unchanged to the control's IDispatch (by-reference arguments, the failure
// HRESULT and the thread's error object come back as the control left them).
class Extender : public ComObject<IDispatch> {
 public:
  explicit Extender(std::weak_ptr<ActiveXHost::State> state) : state_(std::move(state)) {}

  HRESULT GetTypeInfoCount(uint32_t* count) override {
    auto d = Target();
    if (d) return d->GetTypeInfoCount(count);
    if (count) *count = 0;
    return S_OK;
  }
  HRESULT GetTypeInfo(uint32_t index, LCID lcid, ITypeInfo** out) override {
    auto d = Target();
    return d ? d->GetTypeInfo(index, lcid, out) : E_NOTIMPL;
  }
  HRESULT GetIDsOfNames(REFIID riid, const char16_t** names, uint32_t count, LCID lcid, DISPID* ids) override {
    if (!names || !ids || count == 0) return E_INVALIDARG;
    if (const ExtenderMember* m = names[0] ? ExtenderByName(names[0]) : nullptr) {
      ids[0] = m->id;
      for (uint32_t i = 1; i < count; ++i) ids[i] = DISPID_UNKNOWN;
      return count == 1 ? S_OK : DISP_E_UNKNOWNNAME;
    }
    auto d = Target();
    if (!d) return DISP_E_UNKNOWNNAME;
    return d->GetIDsOfNames(riid, names, count, lcid, ids);
  }
  HRESULT Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                 EXCEPINFO* excepInfo, uint32_t* argErr) override {
    for (const auto& m : kExtenderMembers)
      if (m.id == id) return InvokeOwn(id, flags, params, result, excepInfo);
    // The control lives until the call returns, even if the call unloads its host.
    ComPtr<IDispatch> d = Target();
    if (!d) return E_UNEXPECTED;
    return d->Invoke(id, riid, lcid, flags, params, result, excepInfo, argErr);
  }

 private:
  ComPtr<IDispatch> Target() const {
    auto s = state_.lock();
    return s ? s->dispatch : nullptr;
  }
  HRESULT InvokeOwn(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* excepInfo) {
    auto s = state_.lock();
    if (!s || !s->host) return E_UNEXPECTED;
    ActiveXHost& h = *s->host;
    const uint32_t argc = params ? params->cArgs : 0;
    auto arg = [&](uint32_t natural) -> Variant { return params->rgvarg[argc - 1 - natural].Deref(); };
    Variant out;
    HRESULT hr = ComCall([&] {
      const bool put = (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;
      if (put && argc < 1) ::Raise(DISP_E_BADPARAMCOUNT);
      switch (id) {
        case kExtName:
          if (put) ::Raise(383, "'Name' property is read-only");
          out = Variant(h.Name());
          break;
        case kExtIndex:
          if (put) ::Raise(383, "'Index' property is read-only");
          out = Variant(h.Index());
          break;
        case kExtLeft:
        case kExtTop:
        case kExtWidth:
        case kExtHeight: {
          const char* n = id == kExtLeft ? "Left" : id == kExtTop ? "Top" : id == kExtWidth ? "Width" : "Height";
          if (put) {
            h.Control::SetProperty(n, Variant(static_cast<int32_t>(std::lround(DoubleOf(arg(0))))));
          } else {
            out = Variant(static_cast<float>(LongOf(h.Control::GetProperty(n))));
          }
          break;
        }
        case kExtVisible:
          if (put) h.Visible(BoolOf(arg(0)));
          else out = Variant(h.Visible());
          break;
        case kExtTabIndex:
          if (put) h.TabIndex(static_cast<int16_t>(LongOf(arg(0))));
          else out = Variant(h.TabIndex());
          break;
        case kExtTag:
          if (put) h.Tag(StringOf(arg(0)));
          else out = Variant(h.Tag());
          break;
        case kExtToolTipText:
          if (put) h.ToolTipText(StringOf(arg(0)));
          else out = Variant(h.ToolTipText());
          break;
        case kExtDragMode:
          if (put) h.DragMode(static_cast<int16_t>(LongOf(arg(0))));
          else out = Variant(h.DragMode());
          break;
        case kExtContainer:
          if (put) ::Raise(383, "'Container' property is read-only");
          out = Variant(h.Container() ? h.Container()->DispatchObject() : static_cast<IDispatch*>(nullptr));
          break;
        case kExtDrag:
          h.Drag(argc > 0 && !arg(0).IsMissing() ? static_cast<int16_t>(LongOf(arg(0))) : int16_t{1});
          break;
        case kExtZOrder:
          h.ZOrder(argc > 0 && !arg(0).IsMissing() ? static_cast<int16_t>(LongOf(arg(0))) : int16_t{0});
          break;
        default:
          break;
      }
    });
    if (FAILED(hr)) {
      if (excepInfo) {
        excepInfo->scode = hr;
        ComPtr<IErrorInfo> info;
        if (GetErrorInfo(0, info.put()) == S_OK && info) {
          info->GetDescription(&excepInfo->bstrDescription);
          info->GetSource(&excepInfo->bstrSource);
          SetErrorInfo(0, info.Get());
        }
        return DISP_E_EXCEPTION;
      }
      return hr;
    }
    if (result) *result = out;
    return S_OK;
  }
  std::weak_ptr<ActiveXHost::State> state_;
};

// ---- the container's drag: DragMode 1 starts once the pointer moved past the drag distance ----

namespace {

ActiveXHost* HostAt(QWidget* w) {
  for (; w; w = w->parentWidget()) {
    if (auto* h = dynamic_cast<ActiveXHost*>(ControlOfWidget(w)); h && WidgetOf(*h) == w) return h;
  }
  return nullptr;
}

class DragStarter : public QObject {
 public:
  static void Install() {
    static DragStarter* starter = [] {
      auto* d = new DragStarter;
      qApp->installEventFilter(d);
      return d;
    }();
    (void)starter;
  }

 protected:
  bool eventFilter(QObject* obj, QEvent* e) override {
    switch (e->type()) {
      case QEvent::MouseButtonPress: {
        auto* me = static_cast<QMouseEvent*>(e);
        pending_ = nullptr;
        if (me->button() != Qt::LeftButton || !obj->isWidgetType()) break;
        // A disabled control (or one in a disabled container) starts no drag.
        if (!static_cast<QWidget*>(obj)->isEnabled()) break;
        ActiveXHost* h = HostAt(static_cast<QWidget*>(obj));
        if (h && h->DragMode() == 1) {
          pending_ = WidgetOf(*h);
          start_ = me->globalPosition().toPoint();
        }
        break;
      }
      case QEvent::MouseMove: {
        auto* me = static_cast<QMouseEvent*>(e);
        if (!pending_ || !(me->buttons() & Qt::LeftButton)) break;
        if ((me->globalPosition().toPoint() - start_).manhattanLength() < QApplication::startDragDistance()) break;
        QPointer<QWidget> w = pending_;
        pending_ = nullptr;
        if (auto* h = dynamic_cast<ActiveXHost*>(ControlOfWidget(w)); h && h->DragMode() == 1) {
          Guard([&] { BeginDrag(*h); });
          // The move that started the drag is the drag's first.
          QMouseEvent again(me->type(), me->position(), me->globalPosition(), me->button(), me->buttons(),
                            me->modifiers());
          QApplication::sendEvent(obj, &again);
          return true;
        }
        break;
      }
      case QEvent::MouseButtonRelease:
        pending_ = nullptr;
        break;
      default:
        break;
    }
    return false;
  }

 private:
  QPointer<QWidget> pending_;
  QPoint start_;
};

}  // namespace

// ---- ActiveXHost --------------------------------------------------------------------------------

ActiveXHost::ActiveXHost(const ControlSite& site) : Control(site), state_(std::make_shared<State>()) {
  State& s = *state_;
  s.host = this;
  s.form = site.form;
  s.progId = site.typeName;
  DragStarter::Install();
  native().dragPastDistance = true;
  native().rowPropsTaken = true;

  // Creation.
  HRESULT hr = CreateObjectByName(s.progId, IID_IUnknown, s.object.put_void());
  if (FAILED(hr) || !s.object) {
    ::Raise(vbErrCantCreateObject, "ActiveX component can't create object '" + s.progId + "': " + ErrorText(hr));
  }
  s.object->QueryInterface(IDispatch::iid, s.dispatch.put_void());
  s.object->QueryInterface(IOleObject::iid, s.ole.put_void());
  if (s.ole) s.ole->GetMiscStatus(DVASPECT_CONTENT, &s.misc);

  auto* widget = new SiteWidget(state_);
  AttachWidget(*this, widget);
  if (site.row) {
    const ControlDef& row = *site.row;
    Move(row.left, row.top, row.width > 0 ? row.width : -1, row.height > 0 ? row.height : -1);
    // The row's extender properties are the container's; the rest make the control's bag.
    for (const auto& [name, value] : row.props)
      if (IsExtenderName(name)) Control::SetProperty(name, value);
  }

  s.site = MakeComObject<HostSite>(state_);
  s.extender = MakeComObject<Extender>(state_);
  const bool siteFirst = (s.misc & OLEMISC_SETCLIENTSITEFIRST) != 0;
  if (s.ole && siteFirst) Check(s.ole->SetClientSite(s.site.Get()));

  // Events (before the load: loading may raise them): the default source, named by the class's
  // type information.
  ComPtr<IProvideClassInfo2> pci;
  if (SUCCEEDED(s.object->QueryInterface(IProvideClassInfo2::iid, pci.put_void())) &&
      SUCCEEDED(pci->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &s.sourceIid))) {
    ComPtr<ITypeInfo> cls;
    if (SUCCEEDED(pci->GetClassInfo(cls.put()))) {
      ComPtr<ITypeLib> lib;
      uint32_t index = 0;
      ComPtr<ITypeInfo> src;
      if (SUCCEEDED(cls->GetContainingTypeLib(lib.put(), &index)) &&
          SUCCEEDED(lib->GetTypeInfoOfGuid(s.sourceIid, src.put()))) {
        for (const MemberDesc& m : src->Description().members) s.eventNames[m.id] = m.name;
      }
    }
    s.sink = MakeComObject<HostSink>(state_, s.sourceIid);
    s.sinkCookie = ConnectEvents(s.object.Get(), s.sourceIid, s.sink.Get());
  }
  ComPtr<IConnectionPointContainer> cpc;
  ComPtr<IConnectionPoint> cp;
  if (SUCCEEDED(s.object->QueryInterface(IConnectionPointContainer::iid, cpc.put_void())) &&
      SUCCEEDED(cpc->FindConnectionPoint(IPropertyNotifySink::iid, cp.put())))
    cp->Advise(s.site.Get(), &s.notifyCookie);

  // Persistence: the row's bag (even an empty one), else a new instance.
  const bool fromBag = site.row && !site.row->newInstance;
  PropertyList bag;
  if (site.row) {
    for (const auto& [name, value] : site.row->props)
      if (!IsExtenderName(name)) bag.emplace_back(name, value);
  }
  ComPtr<IPersistPropertyBag> ppb;
  ComPtr<IPersistStreamInit> psi;
  s.object->QueryInterface(IPersistPropertyBag::iid, ppb.put_void());
  if (!ppb) s.object->QueryInterface(IPersistStreamInit::iid, psi.put_void());
  if (fromBag) {
    if (ppb) {
      CheckWithInfo(ppb->Load(CreateMemoryPropertyBag(bag).Get(), nullptr));
    } else if (psi) {
      ComPtr<IStream> stream = CreateMemoryStream();
      Check(WritePropertyListToStream(stream.Get(), bag));
      Check(stream->Seek(0, STREAM_SEEK_SET, nullptr));
      CheckWithInfo(psi->Load(stream.Get()));
    }
  } else if (ppb) {
    CheckWithInfo(ppb->InitNew());
  } else if (psi) {
    CheckWithInfo(psi->InitNew());
  }
  if (s.ole && !siteFirst) Check(s.ole->SetClientSite(s.site.Get()));

  // Activation into the site's window.
  if (s.misc & OLEMISC_INVISIBLEATRUNTIME) {
    widget->hide();
  } else if (s.ole) {
    RECT r{0, 0, widget->width(), widget->height()};
    CheckWithInfo(s.ole->DoVerb(OLEIVERB_INPLACEACTIVATE, s.site.Get(), HwndFromWidget(widget), &r));
    s.Resize(widget->size());
  }
}

ActiveXHost::~ActiveXHost() {
  State& s = *state_;
  s.host = nullptr;
  ComPtr<IUnknown> object = std::move(s.object);
  if (!object) return;
  if (s.sinkCookie) {
    try {
      DisconnectEvents(object.Get(), s.sourceIid, s.sinkCookie);
    } catch (const VBError&) {
    }
  }
  if (s.notifyCookie) {
    ComPtr<IConnectionPointContainer> cpc;
    ComPtr<IConnectionPoint> cp;
    if (SUCCEEDED(object->QueryInterface(IConnectionPointContainer::iid, cpc.put_void())) &&
        SUCCEEDED(cpc->FindConnectionPoint(IPropertyNotifySink::iid, cp.put())))
      cp->Unadvise(s.notifyCookie);
  }
  if (s.ole) {
    s.ole->SetClientSite(nullptr);
    s.ole->Close(OLECLOSE_NOSAVE);
  }
  s.ole = nullptr;
  s.dispatch = nullptr;
  s.sink = nullptr;
  s.site = nullptr;
  s.extender = nullptr;
  object = nullptr;  // Release; calls still running keep their own reference
}

IDispatch* ActiveXHost::DispatchObject() const { return state_->extender.Get(); }
ComPtr<IUnknown> ActiveXHost::Object() const { return state_->object; }
ComPtr<IDispatch> ActiveXHost::ObjectDispatch() const { return state_->dispatch; }
DWORD ActiveXHost::MiscStatus() const { return state_->misc; }

PropertyList ActiveXHost::SaveProperties() {
  ComPtr<IUnknown> object = state_->object;
  if (!object) ::Raise(vbErrObjectNotLoaded);
  ComPtr<IPersistPropertyBag> ppb;
  if (SUCCEEDED(object->QueryInterface(IPersistPropertyBag::iid, ppb.put_void()))) {
    ComPtr<IPropertyBag> bag = CreateMemoryPropertyBag();
    CheckWithInfo(ppb->Save(bag.Get(), true, false));
    return MemoryPropertyBagContents(bag.Get());
  }
  ComPtr<IPersistStreamInit> psi;
  if (SUCCEEDED(object->QueryInterface(IPersistStreamInit::iid, psi.put_void()))) {
    ComPtr<IStream> stream = CreateMemoryStream();
    CheckWithInfo(psi->Save(stream.Get(), true));
    Check(stream->Seek(0, STREAM_SEEK_SET, nullptr));
    PropertyList list;
    Check(ReadPropertyListFromStream(stream.Get(), &list));
    return list;
  }
  ::Raise(vbErrObjectDoesntSupport, "The control does not save its properties");
}

bool ActiveXHost::Visible() const {
  if (state_->misc & OLEMISC_INVISIBLEATRUNTIME) return state_->visible;
  return Control::Visible();
}

void ActiveXHost::Visible(bool v) {
  state_->visible = v;
  if (state_->misc & OLEMISC_INVISIBLEATRUNTIME) return;
  Control::Visible(v);
}

void ActiveXHost::SetProperty(const std::string& name, const Variant& value) {
  if (IsExtenderName(name)) return Control::SetProperty(name, value);
  ComPtr<IDispatch> d = state_->dispatch;
  if (!d) ::Raise(vbErrObjectDoesntSupport);
  CallByName(d.Get(), name, DISPATCH_PROPERTYPUT, {value});
}

Variant ActiveXHost::GetProperty(const std::string& name) const {
  if (IsExtenderName(name)) return Control::GetProperty(name);
  ComPtr<IDispatch> d = state_->dispatch;
  if (!d) ::Raise(vbErrObjectDoesntSupport);
  return CallByName(d.Get(), name, DISPATCH_PROPERTYGET);
}

// ---- ambient UserMode --------------------------------------------------------------------------

void SetAmbientUserMode(Form& form, bool userMode) {
  AmbientUserModeOf(form) = userMode;
  if (!form.IsLoaded()) return;
  for (Control* c : form.Controls()) {
    auto* h = dynamic_cast<ActiveXHost*>(c);
    if (!h) continue;
    ComPtr<IOleControl> oc;
    if (h->Object() && SUCCEEDED(h->Object()->QueryInterface(IOleControl::iid, oc.put_void())))
      oc->OnAmbientPropertyChange(DISPID_AMBIENT_USERMODE);
  }
}

bool AmbientUserMode(Form& form) { return AmbientUserModeOf(form); }

// ---- ambient LocaleID --------------------------------------------------------------------------

int32_t UserLocaleID() {
  struct Lcid {
    const char* name;  // "ll_TT" or, for a language's primary locale, "ll"
    int32_t id;
  };
  static constexpr Lcid kLocales[] = {
      {"en", 0x0409},    {"en_US", 0x0409}, {"en_GB", 0x0809}, {"en_AU", 0x0C09}, {"en_CA", 0x1009},
      {"en_NZ", 0x1409}, {"en_IE", 0x1809}, {"en_ZA", 0x1C09}, {"en_IN", 0x4009}, {"en_SG", 0x4809},
      {"de", 0x0407},    {"de_CH", 0x0807}, {"de_AT", 0x0C07}, {"de_LU", 0x1007}, {"de_LI", 0x1407},
      {"fr", 0x040C},    {"fr_BE", 0x080C}, {"fr_CA", 0x0C0C}, {"fr_CH", 0x100C}, {"fr_LU", 0x140C},
      {"es", 0x0C0A},    {"es_MX", 0x080A}, {"es_AR", 0x2C0A}, {"es_CO", 0x240A}, {"es_CL", 0x340A},
      {"es_US", 0x540A}, {"it", 0x0410},    {"it_CH", 0x0810}, {"nl", 0x0413},    {"nl_BE", 0x0813},
      {"pt", 0x0816},    {"pt_BR", 0x0416}, {"sv", 0x041D},    {"sv_FI", 0x081D}, {"da", 0x0406},
      {"nb", 0x0414},    {"nn", 0x0814},    {"fi", 0x040B},    {"is", 0x040F},    {"pl", 0x0415},
      {"cs", 0x0405},    {"sk", 0x041B},    {"hu", 0x040E},    {"ro", 0x0418},    {"bg", 0x0402},
      {"hr", 0x041A},    {"sl", 0x0424},    {"el", 0x0408},    {"tr", 0x041F},    {"ru", 0x0419},
      {"uk", 0x0422},    {"ja", 0x0411},    {"ko", 0x0412},    {"zh", 0x0804},    {"zh_TW", 0x0404},
      {"zh_HK", 0x0C04}, {"zh_SG", 0x1004}, {"he", 0x040D},    {"ar", 0x0401},    {"hi", 0x0439},
      {"th", 0x041E},    {"vi", 0x042A},    {"id", 0x0421},    {"ca", 0x0403},    {"et", 0x0425},
      {"lv", 0x0426},    {"lt", 0x0427},
  };
  const QLocale locale;
  const std::string language = QLocale::languageToCode(locale.language()).toStdString();
  const std::string full = language + "_" + QLocale::territoryToCode(locale.territory()).toStdString();
  for (const std::string& key : {full, language})
    for (const Lcid& l : kLocales)
      if (key == l.name) return l.id;
  return 0x0409;
}

namespace forms_detail {
// Rows whose type is no control type of the runtime name a class to host.
std::unique_ptr<Control> CreateHostedControl(const ControlSite& site) {
  return std::make_unique<ActiveXHost>(site);
}
}  // namespace forms_detail
