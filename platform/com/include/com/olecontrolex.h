#pragma once
// The further interfaces a full ActiveX control answers beside those of com/olecontrol.h:
// windowless in-place activation, the active object's frame calls, quick activation, storage
// persistence, data transfer and the extended view. The platform's containers call few of them;
// the members a control cannot serve here answer E_NOTIMPL.
#include "com/olecontrol.h"

using UINT = uint32_t;

struct POINT {
  int32_t x = 0;
  int32_t y = 0;
};

// IViewObjectEx::QueryHitPoint answers.
constexpr DWORD HITRESULT_OUTSIDE = 0;
constexpr DWORD HITRESULT_HIT = 3;
// IViewObjectEx::GetViewStatus flags.
constexpr DWORD VIEWSTATUS_OPAQUE = 0x1;
constexpr DWORD VIEWSTATUS_SOLIDBKGND = 0x2;

class IViewObjectEx : public IViewObject2 {
 public:
  static constexpr IID iid = MakeGuid("{3AF24292-0C96-11CE-A0CF-00AA00600AB8}");
  virtual HRESULT GetRect(DWORD aspect, RECT* rect) = 0;
  virtual HRESULT GetViewStatus(DWORD* status) = 0;
  // Whether the point (in the bounds' coordinates) hits the object drawn into the bounds.
  virtual HRESULT QueryHitPoint(DWORD aspect, const RECT* bounds, POINT location, int32_t closeHint,
                                DWORD* hitResult) = 0;
  virtual HRESULT GetNaturalExtent(DWORD aspect, SIZEL* size) = 0;  // HIMETRIC
};

class IOleInPlaceObjectWindowless : public IOleInPlaceObject {
 public:
  static constexpr IID iid = MakeGuid("{1C2056CC-5EF4-101B-8BC8-00AA003E3B29}");
  // A message the container passes to a windowless object; S_FALSE when it did not handle it.
  virtual HRESULT OnWindowMessage(UINT msg, uintptr_t wParam, intptr_t lParam, intptr_t* result) = 0;
  virtual HRESULT GetDropTarget(IUnknown** target) = 0;
};

class IOleInPlaceActiveObject : public IOleWindow {
 public:
  static constexpr IID iid = MakeGuid("{00000117-0000-0000-C000-000000000046}");
  // S_FALSE: the object did not use the keystroke.
  virtual HRESULT TranslateAccelerator(void* msg) = 0;
  virtual HRESULT OnFrameWindowActivate(bool activate) = 0;
  virtual HRESULT OnDocWindowActivate(bool activate) = 0;
  virtual HRESULT ResizeBorder(const RECT* border, IUnknown* frame, bool frameWindow) = 0;
  virtual HRESULT EnableModeless(bool enable) = 0;
};

struct QACONTAINER;  // the container's side of quick activation (not used on this platform)
struct QACONTROL;

class IQuickActivate : public IUnknown {
 public:
  static constexpr IID iid = MakeGuid("{CF51ED10-62FE-11CF-BF86-00A0C9034836}");
  virtual HRESULT QuickActivate(QACONTAINER* container, QACONTROL* control) = 0;
  virtual HRESULT SetContentExtent(const SIZEL* size) = 0;  // HIMETRIC
  virtual HRESULT GetContentExtent(SIZEL* size) = 0;
};

class IStorage;  // compound storage (not on this platform)

class IPersistStorage : public IPersist {
 public:
  static constexpr IID iid = MakeGuid("{0000010A-0000-0000-C000-000000000046}");
  virtual HRESULT IsDirty() = 0;
  virtual HRESULT InitNew(IStorage* storage) = 0;
  virtual HRESULT Load(IStorage* storage) = 0;
  virtual HRESULT Save(IStorage* storage, bool sameAsLoad) = 0;
  virtual HRESULT SaveCompleted(IStorage* storage) = 0;
  virtual HRESULT HandsOffStorage() = 0;
};

struct FORMATETC;
struct STGMEDIUM;
constexpr HRESULT OLE_E_ADVISENOTSUPPORTED = static_cast<HRESULT>(0x80040003);
constexpr HRESULT DV_E_FORMATETC = static_cast<HRESULT>(0x80040064);

class IDataObject : public IUnknown {
 public:
  static constexpr IID iid = MakeGuid("{0000010E-0000-0000-C000-000000000046}");
  virtual HRESULT GetData(FORMATETC* format, STGMEDIUM* medium) = 0;
  virtual HRESULT GetDataHere(FORMATETC* format, STGMEDIUM* medium) = 0;
  virtual HRESULT QueryGetData(FORMATETC* format) = 0;
  virtual HRESULT GetCanonicalFormatEtc(FORMATETC* in, FORMATETC* out) = 0;
  virtual HRESULT SetData(FORMATETC* format, STGMEDIUM* medium, bool release) = 0;
  virtual HRESULT EnumFormatEtc(DWORD direction, IUnknown** formats) = 0;
  virtual HRESULT DAdvise(FORMATETC* format, DWORD flags, IUnknown* sink, DWORD* connection) = 0;
  virtual HRESULT DUnadvise(DWORD connection) = 0;
  virtual HRESULT EnumDAdvise(IUnknown** advises) = 0;
};
