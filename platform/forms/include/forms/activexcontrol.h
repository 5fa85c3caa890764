#pragma once
// The base of ActiveX controls written without the forms runtime (no Form, no UserControl): the
// container-facing interfaces of a full control around a class's dual interface.
//
//   class MyControl : public ActiveXControl<IMyControl> {
//    public:
//     MyControl() : ActiveXControl(kLibId, 1, 0, IMyControl::iid, CLSID_My, {32, 32, true, kMisc}) {}
//     void OnDraw(HDC hdc, const RECT& bounds) override { DrawIcon(hdc, bounds.left, bounds.top, icon_); }
//   };
//
// It answers IUnknown, the dual interface, IDispatch, IViewObjectEx, IViewObject2, IViewObject,
// IOleInPlaceObjectWindowless, IOleInPlaceObject, IOleWindow, IOleInPlaceActiveObject,
// IOleControl, IOleObject, IPersistStreamInit, IPersist, IConnectionPointContainer,
// ISpecifyPropertyPages, IQuickActivate, IPersistStorage, IDataObject, IProvideClassInfo and
// IProvideClassInfo2, with a connection point for IPropertyNotifySink (the class adds its events').
//
// - Extent: the natural extent is the class's size in pixels, in HIMETRIC; with auto-size on,
//   SetExtent takes only the natural extent (S_OK) and refuses any other (E_FAIL).
// - Persistence (IPersistStreamInit): the extent as "_cx" and "_cy", unsigned 32-bit HIMETRIC
//   values (stored in 32-bit integer entries of the stream's property list).
// - Drawing: IViewObject draws through OnDraw into a memory surface of the size asked and saves it.
// - A control activated in place with a window gets a window of its own; its procedure passes
//   reflected notifications (a child's message + 0x2000: WM_COMMAND, WM_NOTIFY, WM_PARENTNOTIFY,
//   WM_DRAWITEM, WM_MEASUREITEM, WM_COMPAREITEM, WM_DELETEITEM, WM_VKEYTOITEM, WM_CHARTOITEM,
//   WM_HSCROLL, WM_VSCROLL, WM_CTLCOLOR*) to the default procedure as the message less 0x2000.
#include <string>

#include "com/connectionpoint.h"
#include "com/dispatch.h"
#include "com/olecontrolex.h"
#include "com/propertypages.h"
#include "forms/gdi.h"
#include "forms/hwnd.h"

struct ActiveXTraits {
  int32_t widthPx = 32;
  int32_t heightPx = 32;
  bool autoSize = true;
  DWORD miscStatus = 0;  // OLEMISC_* for DVASPECT_CONTENT
};

namespace forms_detail {
// Whether msg is a reflected notification (OCM_*), and the message it reflects.
bool IsReflectedMessage(UINT msg);
// Draws through draw into a white memory surface of width × height pixels and saves it as a
// picture file (the format from the extension: PNG or BMP).
HRESULT DrawToPictureFile(const std::function<void(HDC, const RECT&)>& draw, const std::u16string& path,
                          int32_t width, int32_t height);
}  // namespace forms_detail

template <class Dual>
class ActiveXControl
    : public DispatchObject<Dual, ConnectionPointContainerImpl, ProvideClassInfoImpl, IViewObjectEx,
                            IOleInPlaceObjectWindowless, IOleInPlaceActiveObject, IOleControl, IOleObject,
                            IPersistStreamInit, ISpecifyPropertyPages, IQuickActivate, IPersistStorage, IDataObject> {
  using Base = DispatchObject<Dual, ConnectionPointContainerImpl, ProvideClassInfoImpl, IViewObjectEx,
                              IOleInPlaceObjectWindowless, IOleInPlaceActiveObject, IOleControl, IOleObject,
                              IPersistStreamInit, ISpecifyPropertyPages, IQuickActivate, IPersistStorage,
                              IDataObject>;

 public:
  // IOleObject
  HRESULT SetClientSite(IOleClientSite* site) override {
    site_ = ComPtr<IOleClientSite>(site);
    return S_OK;
  }
  HRESULT GetClientSite(IOleClientSite** site) override {
    if (!site) return E_POINTER;
    *site = ComPtr<IOleClientSite>(site_).Detach();
    return S_OK;
  }
  HRESULT SetHostNames(const char16_t*, const char16_t*) override { return S_OK; }
  HRESULT Close(DWORD) override {
    InPlaceDeactivate();
    return S_OK;
  }
  HRESULT DoVerb(int32_t verb, IOleClientSite*, HWND parent, const RECT* pos) override {
    switch (verb) {
      case OLEIVERB_PRIMARY:
      case OLEIVERB_SHOW:
      case OLEIVERB_INPLACEACTIVATE:
      case OLEIVERB_UIACTIVATE:
        if (!window_) {
          parent_ = parent;
          window_ = CreateMessageWindow(
              [this](HWND hwnd, UINT msg, WPARAM w, LPARAM l) { return WindowProc(hwnd, msg, w, l); });
        }
        if (pos) rect_ = *pos;
        return S_OK;
      case OLEIVERB_HIDE:
        return InPlaceDeactivate();
      default:
        return OLEOBJ_E_NOVERBS;
    }
  }
  HRESULT GetUserClassID(CLSID* clsid) override { return GetClassID(clsid); }
  HRESULT SetExtent(DWORD aspect, const SIZEL* size) override {
    if (!size) return E_POINTER;
    if (aspect != DVASPECT_CONTENT) return E_FAIL;
    if (autoSize_ && (size->cx != natural_.cx || size->cy != natural_.cy)) return E_FAIL;
    if (extent_.cx != size->cx || extent_.cy != size->cy) dirty_ = true;
    extent_ = *size;
    return S_OK;
  }
  HRESULT GetExtent(DWORD aspect, SIZEL* size) override {
    if (!size) return E_POINTER;
    if (aspect != DVASPECT_CONTENT) return E_FAIL;
    *size = extent_;
    return S_OK;
  }
  HRESULT GetMiscStatus(DWORD aspect, DWORD* status) override {
    if (!status) return E_POINTER;
    *status = aspect == DVASPECT_CONTENT ? traits_.miscStatus : 0;
    return S_OK;
  }

  // IOleWindow, IOleInPlaceObject(Windowless), IOleInPlaceActiveObject
  HRESULT GetWindow(HWND* hwnd) override {
    if (!hwnd) return E_POINTER;
    *hwnd = window_;
    return window_ ? S_OK : E_FAIL;
  }
  HRESULT ContextSensitiveHelp(bool) override { return E_NOTIMPL; }
  HRESULT InPlaceDeactivate() override {
    if (window_) DestroyWindow(std::exchange(window_, 0));
    return S_OK;
  }
  HRESULT UIDeactivate() override { return S_OK; }
  HRESULT SetObjectRects(const RECT* pos, const RECT*) override {
    if (!pos) return E_POINTER;
    rect_ = *pos;
    return S_OK;
  }
  HRESULT ReactivateAndUndo() override { return E_NOTIMPL; }
  HRESULT OnWindowMessage(UINT msg, uintptr_t wParam, intptr_t lParam, intptr_t* result) override {
    intptr_t r = WindowProc(window_, msg, wParam, lParam);
    if (result) *result = r;
    return S_OK;
  }
  HRESULT GetDropTarget(IUnknown**) override { return E_NOTIMPL; }
  HRESULT TranslateAccelerator(void*) override { return S_FALSE; }
  HRESULT OnFrameWindowActivate(bool) override { return S_OK; }
  HRESULT OnDocWindowActivate(bool) override { return S_OK; }
  HRESULT ResizeBorder(const RECT*, IUnknown*, bool) override { return S_OK; }
  HRESULT EnableModeless(bool) override { return S_OK; }

  // IOleControl
  HRESULT OnMnemonic(int32_t) override { return S_OK; }
  HRESULT OnAmbientPropertyChange(DISPID) override { return S_OK; }
  HRESULT FreezeEvents(bool) override { return S_OK; }

  // IViewObject, IViewObject2, IViewObjectEx
  HRESULT DrawToFile(DWORD aspect, const char16_t* path, int32_t width, int32_t height) override {
    if (!path) return E_POINTER;
    if (aspect != DVASPECT_CONTENT) return DV_E_FORMATETC;
    return forms_detail::DrawToPictureFile([this](HDC hdc, const RECT& bounds) { OnDraw(hdc, bounds); }, path, width,
                                           height);
  }
  HRESULT GetRect(DWORD, RECT*) override { return E_NOTIMPL; }
  HRESULT GetViewStatus(DWORD* status) override {
    if (!status) return E_POINTER;
    *status = 0;  // transparent: only the picture is drawn
    return S_OK;
  }
  HRESULT QueryHitPoint(DWORD aspect, const RECT* bounds, POINT p, int32_t, DWORD* hit) override {
    if (!bounds || !hit) return E_POINTER;
    if (aspect != DVASPECT_CONTENT) return E_FAIL;
    *hit = (p.x >= bounds->left && p.x < bounds->right && p.y >= bounds->top && p.y < bounds->bottom)
               ? HITRESULT_HIT
               : HITRESULT_OUTSIDE;
    return S_OK;
  }
  HRESULT GetNaturalExtent(DWORD aspect, SIZEL* size) override {
    if (!size) return E_POINTER;
    if (aspect != DVASPECT_CONTENT) return E_FAIL;
    *size = natural_;
    return S_OK;
  }

  // IPersist, IPersistStreamInit, IPersistStorage
  HRESULT GetClassID(CLSID* clsid) override {
    if (!clsid) return E_POINTER;
    *clsid = clsid_;
    return S_OK;
  }
  HRESULT IsDirty() override { return dirty_ ? S_OK : S_FALSE; }
  HRESULT Load(IStream* stream) override {
    PropertyList list;
    HRESULT hr = ReadPropertyListFromStream(stream, &list);
    if (FAILED(hr)) return hr;
    SIZEL size = extent_;
    for (const auto& [name, value] : list) {
      if (value.vt() != VT_I4) continue;
      if (name == "_cx") size.cx = static_cast<int32_t>(static_cast<uint32_t>(value.i4()));
      if (name == "_cy") size.cy = static_cast<int32_t>(static_cast<uint32_t>(value.i4()));
    }
    // An auto-sized control keeps its natural extent whatever was stored.
    if (!autoSize_) extent_ = size;
    dirty_ = false;
    return S_OK;
  }
  HRESULT Save(IStream* stream, bool clearDirty) override {
    PropertyList list = {{"_cx", Variant(static_cast<int32_t>(static_cast<uint32_t>(extent_.cx)))},
                         {"_cy", Variant(static_cast<int32_t>(static_cast<uint32_t>(extent_.cy)))}};
    HRESULT hr = WritePropertyListToStream(stream, list);
    if (SUCCEEDED(hr) && clearDirty) dirty_ = false;
    return hr;
  }
  HRESULT GetSizeMax(uint64_t* size) override {
    if (!size) return E_POINTER;
    *size = 64;
    return S_OK;
  }
  HRESULT InitNew() override {
    extent_ = natural_;
    dirty_ = false;
    return S_OK;
  }
  HRESULT InitNew(IStorage*) override { return InitNew(); }
  HRESULT Load(IStorage*) override { return E_NOTIMPL; }
  HRESULT Save(IStorage*, bool) override { return E_NOTIMPL; }
  HRESULT SaveCompleted(IStorage*) override { return S_OK; }
  HRESULT HandsOffStorage() override { return S_OK; }

  // ISpecifyPropertyPages: the control has no pages of its own.
  HRESULT GetPages(CAUUID* pages) override {
    if (!pages) return E_POINTER;
    pages->cElems = 0;
    pages->pElems = nullptr;
    return S_OK;
  }

  // IQuickActivate
  HRESULT QuickActivate(QACONTAINER*, QACONTROL*) override { return E_NOTIMPL; }
  HRESULT SetContentExtent(const SIZEL* size) override { return SetExtent(DVASPECT_CONTENT, size); }
  HRESULT GetContentExtent(SIZEL* size) override { return GetExtent(DVASPECT_CONTENT, size); }

  // IDataObject: the control offers no data.
  HRESULT GetData(FORMATETC*, STGMEDIUM*) override { return DV_E_FORMATETC; }
  HRESULT GetDataHere(FORMATETC*, STGMEDIUM*) override { return DV_E_FORMATETC; }
  HRESULT QueryGetData(FORMATETC*) override { return DV_E_FORMATETC; }
  HRESULT GetCanonicalFormatEtc(FORMATETC*, FORMATETC*) override { return E_NOTIMPL; }
  HRESULT SetData(FORMATETC*, STGMEDIUM*, bool) override { return E_NOTIMPL; }
  HRESULT EnumFormatEtc(DWORD, IUnknown**) override { return E_NOTIMPL; }
  HRESULT DAdvise(FORMATETC*, DWORD, IUnknown*, DWORD*) override { return OLE_E_ADVISENOTSUPPORTED; }
  HRESULT DUnadvise(DWORD) override { return OLE_E_ADVISENOTSUPPORTED; }
  HRESULT EnumDAdvise(IUnknown**) override { return OLE_E_ADVISENOTSUPPORTED; }

  // The place the container gave the control, in pixels.
  const RECT& PositionRect() const { return rect_; }
  bool AutoSize() const { return autoSize_; }

 protected:
  ActiveXControl(REFGUID libid, uint16_t major, uint16_t minor, REFIID iid, REFCLSID clsid, ActiveXTraits traits)
      : Base(libid, major, minor, iid), clsid_(clsid), traits_(traits) {
    this->SetClassInfoSource(libid, major, minor, clsid);
    propertyNotify_ = &this->AddConnectionPoint(this->Unknown(), IPropertyNotifySink::iid);
    natural_ = {PixelsToHimetric(traits.widthPx), PixelsToHimetric(traits.heightPx)};
    // The natural extent goes through the control's own SetExtent before auto-size is on.
    autoSize_ = false;
    SetExtent(DVASPECT_CONTENT, &natural_);
    autoSize_ = traits.autoSize;
    rect_ = {0, 0, traits.widthPx, traits.heightPx};
    dirty_ = false;
  }
  ~ActiveXControl() override {
    if (window_) DestroyWindow(window_);
  }

  // Draws the control into bounds (pixels).
  virtual void OnDraw(HDC, const RECT&) {}
  // The control window's procedure: reflected notifications go to the default procedure as the
  // message they reflect; everything else too.
  virtual LRESULT WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (forms_detail::IsReflectedMessage(msg)) return DefaultProc(hwnd, msg - 0x2000, wParam, lParam);
    return DefaultProc(hwnd, msg, wParam, lParam);
  }
  virtual LRESULT DefaultProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    return DefWindowProc(hwnd, msg, wParam, lParam);
  }
  // Tells IPropertyNotifySink sinks that a property changed.
  void PropertyChanged(DISPID id) {
    propertyNotify_->template ForEach<IPropertyNotifySink>([id](IPropertyNotifySink* s) { s->OnChanged(id); });
  }
  ConnectionPoint& PropertyNotifyPoint() { return *propertyNotify_; }

  HRESULT QueryOther(REFIID riid, void** ppv) override {
    IUnknown* p = nullptr;
    if (riid == IProvideClassInfo::iid) p = static_cast<IProvideClassInfo*>(static_cast<ProvideClassInfoImpl*>(this));
    else if (riid == IViewObject2::iid) p = static_cast<IViewObject2*>(this);
    else if (riid == IViewObject::iid) p = static_cast<IViewObject*>(this);
    else if (riid == IOleInPlaceObject::iid) p = static_cast<IOleInPlaceObject*>(this);
    else if (riid == IOleWindow::iid) p = static_cast<IOleWindow*>(static_cast<IOleInPlaceObject*>(this));
    else if (riid == IPersist::iid) p = static_cast<IPersist*>(static_cast<IPersistStreamInit*>(this));
    if (!p) return E_NOINTERFACE;
    p->AddRef();
    *ppv = p;
    return S_OK;
  }

 private:
  CLSID clsid_;
  ActiveXTraits traits_;
  SIZEL natural_;
  SIZEL extent_;
  bool autoSize_ = false;
  bool dirty_ = false;
  RECT rect_;
  HWND window_ = 0;
  HWND parent_ = 0;
  ComPtr<IOleClientSite> site_;
  ConnectionPoint* propertyNotify_ = nullptr;
};
