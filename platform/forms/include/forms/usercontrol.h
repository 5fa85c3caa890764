#pragma once
// User controls: ActiveX controls written with the forms runtime. A user control is a `Form`
// whose window is the control's surface inside its container's site; it shares the form's control
// table (Design, Place) and handlers (On), and raises its own events under the name UserControl:
//
//   UserControl_Initialize, _InitProperties, _ReadProperties(PropBag), _WriteProperties(PropBag),
//   _Resize, _Terminate; its child controls' events as on a form.
//
// The COM side is `UserControlObject<Dual>`: a DispatchObject of the control's dual interface
// with the container interfaces (IOleObject, IOleControl, IOleInPlaceObject, IPersistPropertyBag,
// IPersistStreamInit, IViewObject2, IProvideClassInfo2, connection points for its events and for
// IPropertyNotifySink). A library serves it with SUITE_COM_SERVER (ServerClass::Of<T>, control
// registration); the program's own user controls register in-process with
// RegisterUserControlClass<T>.
#include <cstdint>
#include <string>
#include <vector>

#include "com/com.h"
#include "com/connectionpoint.h"
#include "com/dispatch.h"
#include "com/olecontrol.h"
#include "forms/form.h"
#include "forms/gdi.h"
#include "forms/picture.h"

// The PropBag argument of UserControl_ReadProperties and UserControl_WriteProperties.
class PropertyBag {
 public:
  explicit PropertyBag(const Variant& propBag);
  // The stored value, or the default when the bag has no such key (or its value does not convert
  // to the default's type).
  Variant ReadProperty(const std::string& name, const Variant& defaultValue = Variant()) const;
  // Stores the value; a value equal to its default is not stored.
  void WriteProperty(const std::string& name, const Variant& value, const Variant& defaultValue = Variant());

 private:
  ComPtr<IPropertyBag> bag_;
};

// The container's ambient properties as a user control reads them (UserControl.Ambient).
class AmbientProperties {
 public:
  explicit AmbientProperties(IOleClientSite* site) : site_(site) {}
  // True without a container.
  bool UserMode() const;
  OLE_COLOR BackColor() const;
  OLE_COLOR ForeColor() const;
  // The container's font (its font object read by DISPID); the default font without one.
  StdFont Font() const;
  std::string DisplayName() const;
  int32_t LocaleID() const;
  // Any ambient property by DISPID; Empty when the container does not answer it.
  Variant Property(DISPID id) const;

 private:
  ComPtr<IOleClientSite> site_;
};

class UserControl : public Form {
 public:
  explicit UserControl(std::string name);
  ~UserControl() override;

  AmbientProperties Ambient() const;
  // The container's extender object for this control (Name, Left, Tag, ...); null outside a
  // container.
  ComPtr<IDispatch> Extender() const;
  // Tells the container that a property of the control's interface changed
  // (IPropertyNotifySink::OnChanged with the member's DISPID). Raises 438 for a name the
  // interface does not have.
  void PropertyChanged(const std::string& name);
  // Raises one of the control's events to its container, through the connection point of its
  // event interface; by-reference arguments (Variant::ByRef) come back as the sinks left them.
  void RaiseEvent(DISPID event, std::vector<Variant> args = {});
  using Form::RaiseEvent;
  // The control's surface, loaded at first use.
  void EnsureSurface();
  // 1 (manual): files dragged from other programs over the control's surface raise
  // UserControl_OLEDragOver and UserControl_OLEDragDrop (forms/oledrop.h); 0 none.
  int16_t OLEDropMode();
  void OLEDropMode(int16_t v);

  // The control's persistent device context (the same handle for the control's life). Drawing
  // on it shows at once and raises no Paint. Whenever the surface is invalidated (shown,
  // resized, Refresh) it is erased to BackColor and Picture and UserControl_Paint is raised
  // from the event loop, outside the window system's painting, so its handler may let
  // messages run.
  HDC hDC();
  // Invalidates the surface (see hDC); the Paint follows from the event loop.
  void Refresh();
  // The background picture drawn at the top left of the surface at every erase.
  Picture GetPicture();
  void SetPicture(const Picture& p);
  // The control's border: 0 none, 1 fixed single; other values raise 380. The border lies
  // inside the control's extent and the surface (hDC, ScaleWidth, ScaleHeight, Paint) inside it:
  // with Appearance 1 it is the sunken 3-D edge (two pixels: button shadow over 3-D dark shadow
  // at the top and left, button highlight over 3-D light at the bottom and right), with
  // Appearance 0 one pixel of the window frame colour. (The surface's own window keeps no frame.)
  int16_t BorderStyle();
  void BorderStyle(int16_t v);
  // 0 flat, 1 3-D: how a border is drawn; other values raise 380.
  int16_t Appearance();
  void Appearance(int16_t v);
  // Held for the container (the transparent parts of a windowless look are not drawn here).
  OLE_COLOR MaskColor();
  void MaskColor(OLE_COLOR c);
  Picture GetMaskPicture();
  void SetMaskPicture(const Picture& p);

 protected:
  // Set by UserControlObject.
  struct Link {
    IUnknown* self = nullptr;
    ConnectionPoint* events = nullptr;
    ConnectionPoint* notify = nullptr;
    const TypeDesc* itf = nullptr;
    CLSID clsid{};
    DWORD miscStatus = 0;
  };
  Link link_;
  ComPtr<IOleClientSite> site_;
  bool frozen_ = false;

  // The container interfaces' work (UserControlObject forwards to these).
  HRESULT OleSetClientSite(IOleClientSite* site);
  HRESULT OleDoVerb(int32_t verb, HWND parent, const RECT* pos);
  HRESULT OleClose();
  HRESULT OleSetExtent(const SIZEL* size);
  HRESULT OleGetExtent(SIZEL* size);
  HRESULT OleSetObjectRects(const RECT* pos);
  HRESULT OleGetWindow(HWND* hwnd);
  HRESULT OleDeactivate();
  HRESULT OleInitNew();
  HRESULT OleLoad(IPropertyBag* bag);
  HRESULT OleSave(IPropertyBag* bag);
  HRESULT OleLoadStream(IStream* stream);
  HRESULT OleSaveStream(IStream* stream);
  HRESULT OleAmbientChanged(DISPID id);
  HRESULT OleDrawToFile(const char16_t* path, int32_t width, int32_t height);
  // Unloads the surface and raises UserControl_Terminate (once).
  void EndControl();

 private:
  bool terminated_ = false;
  struct PaintSurface;
  std::shared_ptr<PaintSurface> paint_;
  Picture picture_;
  Picture maskPicture_;
  struct BorderPainter;
  std::shared_ptr<BorderPainter> border_;
  int16_t borderStyle_ = 0;
  int16_t appearance_ = 1;
  void ApplyBorder();
  OLE_COLOR maskColor_ = 0x8000000F;
};

// The COM object of a user control whose default interface is Dual. T derives from it, binds its
// members in its constructor (Dispatch().Get(...)) and designs its surface in Design().
template <class Dual>
class UserControlObject
    : public DispatchObject<Dual, ConnectionPointContainerImpl, ProvideClassInfoImpl, ISupportErrorInfo,
                            IOleObject, IOleControl, IOleInPlaceObject, IPersistPropertyBag,
                            IPersistStreamInit, IViewObject2>,
      public UserControl {
  using Base = DispatchObject<Dual, ConnectionPointContainerImpl, ProvideClassInfoImpl, ISupportErrorInfo,
                              IOleObject, IOleControl, IOleInPlaceObject, IPersistPropertyBag,
                              IPersistStreamInit, IViewObject2>;

 public:
  struct Identity {
    std::string name;             // the control's name ("MediaClip")
    GUID libid;
    uint16_t major = 1, minor = 0;
    CLSID clsid;
    IID iid;                      // the default interface
    std::vector<IID> iidAliases;  // further identifiers of the same interface
    IID eventIid;                 // the default source
    std::vector<IID> eventAliases;
    DWORD miscStatus = 0;
  };

  explicit UserControlObject(const Identity& id)
      : Base(id.libid, id.major, id.minor, id.iid), UserControl(id.name), iidAliases_(id.iidAliases) {
    this->SetClassInfoSource(id.libid, id.major, id.minor, id.clsid);
    link_.self = this->Unknown();
    link_.events = &this->AddConnectionPoint(this->Unknown(), id.eventIid, id.eventAliases);
    link_.notify = &this->AddConnectionPoint(this->Unknown(), IPropertyNotifySink::iid);
    link_.itf = &this->Dispatch().Interface();
    link_.clsid = id.clsid;
    link_.miscStatus = id.miscStatus;
  }

  // ISupportErrorInfo
  HRESULT InterfaceSupportsErrorInfo(REFIID riid) override {
    if (riid == Dual::iid) return S_OK;
    for (const IID& a : iidAliases_)
      if (a == riid) return S_OK;
    return S_FALSE;
  }
  // IPersist
  HRESULT GetClassID(CLSID* clsid) override {
    if (!clsid) return E_POINTER;
    *clsid = link_.clsid;
    return S_OK;
  }
  // IOleObject
  HRESULT SetClientSite(IOleClientSite* site) override { return OleSetClientSite(site); }
  HRESULT GetClientSite(IOleClientSite** site) override {
    if (!site) return E_POINTER;
    *site = ComPtr<IOleClientSite>(site_).Detach();
    return S_OK;
  }
  HRESULT SetHostNames(const char16_t*, const char16_t*) override { return S_OK; }
  HRESULT Close(DWORD) override { return OleClose(); }
  HRESULT DoVerb(int32_t verb, IOleClientSite*, HWND parent, const RECT* pos) override {
    return OleDoVerb(verb, parent, pos);
  }
  HRESULT GetUserClassID(CLSID* clsid) override { return GetClassID(clsid); }
  HRESULT SetExtent(DWORD, const SIZEL* size) override { return OleSetExtent(size); }
  HRESULT GetExtent(DWORD, SIZEL* size) override { return OleGetExtent(size); }
  HRESULT GetMiscStatus(DWORD, DWORD* status) override {
    if (!status) return E_POINTER;
    *status = link_.miscStatus;
    return S_OK;
  }
  // IOleControl
  HRESULT OnMnemonic(int32_t) override { return E_NOTIMPL; }
  HRESULT OnAmbientPropertyChange(DISPID id) override { return OleAmbientChanged(id); }
  HRESULT FreezeEvents(bool freeze) override {
    frozen_ = freeze;
    return S_OK;
  }
  // IOleInPlaceObject
  HRESULT GetWindow(HWND* hwnd) override { return OleGetWindow(hwnd); }
  HRESULT ContextSensitiveHelp(bool) override { return E_NOTIMPL; }
  HRESULT InPlaceDeactivate() override { return OleDeactivate(); }
  HRESULT UIDeactivate() override { return S_OK; }
  HRESULT SetObjectRects(const RECT* pos, const RECT*) override { return OleSetObjectRects(pos); }
  HRESULT ReactivateAndUndo() override { return E_NOTIMPL; }
  // IPersistPropertyBag and IPersistStreamInit
  HRESULT InitNew() override { return OleInitNew(); }
  HRESULT Load(IPropertyBag* bag, IErrorLog*) override { return OleLoad(bag); }
  HRESULT Save(IPropertyBag* bag, bool, bool) override { return OleSave(bag); }
  HRESULT IsDirty() override { return S_FALSE; }
  HRESULT Load(IStream* stream) override { return OleLoadStream(stream); }
  HRESULT Save(IStream* stream, bool) override { return OleSaveStream(stream); }
  HRESULT GetSizeMax(uint64_t*) override { return E_NOTIMPL; }
  // IViewObject2
  HRESULT DrawToFile(DWORD, const char16_t* path, int32_t width, int32_t height) override {
    return OleDrawToFile(path, width, height);
  }

  using Form::Load;
  using Form::Name;

 protected:
  HRESULT QueryOther(REFIID riid, void** ppv) override {
    IUnknown* p = nullptr;
    if (riid == IProvideClassInfo::iid) {
      p = static_cast<IProvideClassInfo*>(static_cast<ProvideClassInfoImpl*>(this));
    } else if (riid == IPersist::iid) {
      p = static_cast<IPersist*>(static_cast<IPersistPropertyBag*>(this));
    } else if (riid == IOleWindow::iid) {
      p = static_cast<IOleWindow*>(static_cast<IOleInPlaceObject*>(this));
    } else if (riid == IViewObject::iid) {
      p = static_cast<IViewObject*>(static_cast<IViewObject2*>(this));
    } else {
      for (const IID& a : iidAliases_)
        if (a == riid) p = static_cast<Dual*>(this);
    }
    if (!p) return E_NOINTERFACE;
    p->AddRef();
    *ppv = p;
    return S_OK;
  }
  void FinalRelease() override { EndControl(); }

 private:
  std::vector<IID> iidAliases_;
};

// Registers a user control class of the program itself: created by CoCreateInstance with that
// class identifier and ProgID, without a library file, and hosted like any other.
template <class T>
void RegisterUserControlClass(REFCLSID clsid, const std::string& progId) {
  RegisterPlatformClass(clsid, progId, [](IUnknown* outer, REFIID riid, void** ppv) -> HRESULT {
    if (outer) return CLASS_E_NOAGGREGATION;
    try {
      ComPtr<T> p = MakeComObject<T>();
      return p->QueryInterface(riid, ppv);
    } catch (...) {
      return HResultFromCurrentException();
    }
  });
}
