#pragma once
// The interfaces between an ActiveX control and its container: embedding (IOleObject and the
// client site), in-place activation into the container's window, the control's side of ambient
// properties and keyboard mnemonics (IOleControl / IOleControlSite), persistence (property bags,
// streams) and drawing (IViewObject2). Members that no container of this platform calls answer
// E_NOTIMPL in the objects the platform makes.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "com/interfaces.h"
#include "core/rect.h"
#include "core/unknown.h"
#include "core/variant.h"

// A window handle (the forms runtime's HWND).
using HWND = uint32_t;

// ---- sizes and rectangles -----------------------------------------------------------------------

struct SIZEL {
  int32_t cx = 0;
  int32_t cy = 0;
};

// HIMETRIC (0.01 mm) and pixels at 96 pixels to the inch.
inline int32_t PixelsToHimetric(int32_t px) { return static_cast<int32_t>((px * 2540LL + 48) / 96); }
inline int32_t HimetricToPixels(int32_t hm) { return static_cast<int32_t>((hm * 96LL + 1270) / 2540); }

// ---- constants ----------------------------------------------------------------------------------

constexpr DWORD DVASPECT_CONTENT = 1;

// OLEMISC flags of a class's MiscStatus.
constexpr DWORD OLEMISC_RECOMPOSEONRESIZE = 0x1;
constexpr DWORD OLEMISC_ONLYICONIC = 0x2;
constexpr DWORD OLEMISC_INSERTNOTREPLACE = 0x4;
constexpr DWORD OLEMISC_STATIC = 0x8;
constexpr DWORD OLEMISC_CANTLINKINSIDE = 0x10;
constexpr DWORD OLEMISC_CANLINKBYOLE1 = 0x20;
constexpr DWORD OLEMISC_ISLINKOBJECT = 0x40;
constexpr DWORD OLEMISC_INSIDEOUT = 0x80;
constexpr DWORD OLEMISC_ACTIVATEWHENVISIBLE = 0x100;
constexpr DWORD OLEMISC_RENDERINGISDEVICEINDEPENDENT = 0x200;
constexpr DWORD OLEMISC_INVISIBLEATRUNTIME = 0x400;
constexpr DWORD OLEMISC_ALWAYSRUN = 0x800;
constexpr DWORD OLEMISC_ACTSLIKEBUTTON = 0x1000;
constexpr DWORD OLEMISC_ACTSLIKELABEL = 0x2000;
constexpr DWORD OLEMISC_NOUIACTIVATE = 0x4000;
constexpr DWORD OLEMISC_ALIGNABLE = 0x8000;
constexpr DWORD OLEMISC_SIMPLEFRAME = 0x10000;
constexpr DWORD OLEMISC_SETCLIENTSITEFIRST = 0x20000;

// Verbs.
constexpr int32_t OLEIVERB_PRIMARY = 0;
constexpr int32_t OLEIVERB_SHOW = -1;
constexpr int32_t OLEIVERB_HIDE = -3;
constexpr int32_t OLEIVERB_UIACTIVATE = -4;
constexpr int32_t OLEIVERB_INPLACEACTIVATE = -5;

// IOleObject::Close.
constexpr DWORD OLECLOSE_SAVEIFDIRTY = 0;
constexpr DWORD OLECLOSE_NOSAVE = 1;

// Ambient properties of a container's site (its IDispatch answers them).
constexpr DISPID DISPID_AMBIENT_BACKCOLOR = -701;
constexpr DISPID DISPID_AMBIENT_DISPLAYNAME = -702;
constexpr DISPID DISPID_AMBIENT_FONT = -703;
constexpr DISPID DISPID_AMBIENT_FORECOLOR = -704;
constexpr DISPID DISPID_AMBIENT_LOCALEID = -705;
constexpr DISPID DISPID_AMBIENT_USERMODE = -709;
constexpr DISPID DISPID_UNKNOWN_AMBIENT = DISPID_UNKNOWN;

// Failure codes of the control interfaces.
constexpr HRESULT OLE_E_NOTRUNNING = static_cast<HRESULT>(0x80040005);
constexpr HRESULT OLEOBJ_E_NOVERBS = static_cast<HRESULT>(0x80040180);
constexpr HRESULT STG_E_INVALIDFUNCTION = static_cast<HRESULT>(0x80030001);
constexpr HRESULT STG_E_READFAULT = static_cast<HRESULT>(0x8003001E);
constexpr HRESULT CO_E_NOTINITIALIZED = static_cast<HRESULT>(0x800401F0);

// ---- persistence ---------------------------------------------------------------------------------

class IErrorLog : public IUnknown {
 public:
  static constexpr IID iid = MakeGuid("{3127CA40-446E-11CE-8135-00AA004BB851}");
  // An error found while a property was read (excepInfo may be null).
  virtual HRESULT AddError(const char16_t* propName, EXCEPINFO* excepInfo) = 0;
};

class IPropertyBag : public IUnknown {
 public:
  static constexpr IID iid = MakeGuid("{55272A00-42CB-11CE-8135-00AA004BB851}");
  // *value's type on entry asks for a type (VT_EMPTY: the stored type). E_INVALIDARG when the bag
  // holds no such property.
  virtual HRESULT Read(const char16_t* name, Variant* value, IUnknown* errorLog) = 0;
  virtual HRESULT Write(const char16_t* name, const Variant* value) = 0;
};

class IPersist : public IUnknown {
 public:
  static constexpr IID iid = MakeGuid("{0000010C-0000-0000-C000-000000000046}");
  virtual HRESULT GetClassID(CLSID* clsid) = 0;
};

class IPersistPropertyBag : public IPersist {
 public:
  static constexpr IID iid = MakeGuid("{37D84F60-42CB-11CE-8135-00AA004BB851}");
  virtual HRESULT InitNew() = 0;
  virtual HRESULT Load(IPropertyBag* bag, IErrorLog* errorLog) = 0;
  virtual HRESULT Save(IPropertyBag* bag, bool clearDirty, bool saveAllProperties) = 0;
};

constexpr DWORD STREAM_SEEK_SET = 0;
constexpr DWORD STREAM_SEEK_CUR = 1;
constexpr DWORD STREAM_SEEK_END = 2;

class IStream : public IUnknown {
 public:
  static constexpr IID iid = MakeGuid("{0000000C-0000-0000-C000-000000000046}");
  virtual HRESULT Read(void* buffer, ULONG size, ULONG* read) = 0;
  virtual HRESULT Write(const void* buffer, ULONG size, ULONG* written) = 0;
  virtual HRESULT Seek(int64_t move, DWORD origin, uint64_t* newPosition) = 0;
  virtual HRESULT SetSize(uint64_t size) = 0;
};

class IPersistStreamInit : public IPersist {
 public:
  static constexpr IID iid = MakeGuid("{7FD52380-4E07-101B-AE2D-08002B2EC713}");
  virtual HRESULT IsDirty() = 0;
  virtual HRESULT Load(IStream* stream) = 0;
  virtual HRESULT Save(IStream* stream, bool clearDirty) = 0;
  virtual HRESULT GetSizeMax(uint64_t* size) = 0;
  virtual HRESULT InitNew() = 0;
};

// ---- embedding -------------------------------------------------------------------------------------

class IOleObject;

class IOleClientSite : public IUnknown {
 public:
  static constexpr IID iid = MakeGuid("{00000118-0000-0000-C000-000000000046}");
  virtual HRESULT SaveObject() = 0;
  virtual HRESULT GetContainer(IUnknown** container) = 0;
  virtual HRESULT ShowObject() = 0;
  virtual HRESULT OnShowWindow(bool show) = 0;
  virtual HRESULT RequestNewObjectLayout() = 0;
};

class IOleObject : public IUnknown {
 public:
  static constexpr IID iid = MakeGuid("{00000112-0000-0000-C000-000000000046}");
  virtual HRESULT SetClientSite(IOleClientSite* site) = 0;
  virtual HRESULT GetClientSite(IOleClientSite** site) = 0;
  virtual HRESULT SetHostNames(const char16_t* containerApp, const char16_t* containerObj) = 0;
  virtual HRESULT Close(DWORD saveOption) = 0;
  // verb: OLEIVERB_*; parent: the container window the object activates into; pos in pixels.
  virtual HRESULT DoVerb(int32_t verb, IOleClientSite* site, HWND parent, const RECT* pos) = 0;
  virtual HRESULT GetUserClassID(CLSID* clsid) = 0;
  virtual HRESULT SetExtent(DWORD aspect, const SIZEL* size) = 0;  // HIMETRIC
  virtual HRESULT GetExtent(DWORD aspect, SIZEL* size) = 0;        // HIMETRIC
  virtual HRESULT GetMiscStatus(DWORD aspect, DWORD* status) = 0;
};

class IOleWindow : public IUnknown {
 public:
  static constexpr IID iid = MakeGuid("{00000114-0000-0000-C000-000000000046}");
  virtual HRESULT GetWindow(HWND* hwnd) = 0;
  virtual HRESULT ContextSensitiveHelp(bool enterMode) = 0;
};

class IOleInPlaceObject : public IOleWindow {
 public:
  static constexpr IID iid = MakeGuid("{00000113-0000-0000-C000-000000000046}");
  virtual HRESULT InPlaceDeactivate() = 0;
  virtual HRESULT UIDeactivate() = 0;
  // The object's position inside its parent window, in pixels.
  virtual HRESULT SetObjectRects(const RECT* pos, const RECT* clip) = 0;
  virtual HRESULT ReactivateAndUndo() = 0;
};

class IOleControl : public IUnknown {
 public:
  static constexpr IID iid = MakeGuid("{B196B288-BAB4-101A-B69C-00AA00341D07}");
  virtual HRESULT OnMnemonic(int32_t key) = 0;
  // The container tells the control that an ambient property changed (DISPID_UNKNOWN: several).
  virtual HRESULT OnAmbientPropertyChange(DISPID dispId) = 0;
  virtual HRESULT FreezeEvents(bool freeze) = 0;
};

class IOleControlSite : public IUnknown {
 public:
  static constexpr IID iid = MakeGuid("{B196B289-BAB4-101A-B69C-00AA00341D07}");
  virtual HRESULT OnControlInfoChanged() = 0;
  virtual HRESULT LockInPlaceActive(bool lock) = 0;
  // The extender object: the container's properties of the control (Name, Left, ...) and,
  // through it, the control's own members.
  virtual HRESULT GetExtendedControl(IDispatch** extender) = 0;
  virtual HRESULT OnFocus(bool gotFocus) = 0;
};

class IViewObject : public IUnknown {
 public:
  static constexpr IID iid = MakeGuid("{0000010D-0000-0000-C000-000000000046}");
  // Draws the object into the picture file (a PNG or BMP) at the given size in pixels.
  virtual HRESULT DrawToFile(DWORD aspect, const char16_t* path, int32_t width, int32_t height) = 0;
};

class IViewObject2 : public IViewObject {
 public:
  static constexpr IID iid = MakeGuid("{00000127-0000-0000-C000-000000000046}");
  virtual HRESULT GetExtent(DWORD aspect, SIZEL* size) = 0;  // HIMETRIC
};

// ---- platform objects --------------------------------------------------------------------------

// An in-memory stream (HGLOBAL's stand-in): grows as it is written; Read answers S_FALSE when
// fewer bytes were left than asked for.
ComPtr<IStream> CreateMemoryStream(std::vector<uint8_t> initial = {});
std::vector<uint8_t> MemoryStreamBytes(IStream* stream);

// An in-memory property bag: names compare without regard to letter case; Read converts the
// stored value to the type asked for; Write replaces. Entries keep their first-write order.
using PropertyList = std::vector<std::pair<std::string, Variant>>;
ComPtr<IPropertyBag> CreateMemoryPropertyBag(PropertyList initial = {});
PropertyList MemoryPropertyBagContents(IPropertyBag* bag);

// A bag's contents written to and read from a stream (a control's IPersistStreamInit data):
// numbers, Booleans, texts and byte arrays.
HRESULT WritePropertyListToStream(IStream* stream, const PropertyList& list);
HRESULT ReadPropertyListFromStream(IStream* stream, PropertyList* list);
