#pragma once
// Property pages: an object answering ISpecifyPropertyPages names its pages by class
// identifier; a page (IPropertyPage) edits the objects it is given inside a window its site
// hands it. The frame that shows pages as tabs of one modal dialog is the forms layer's
// OleCreatePropertyFrame (forms/propertyframe.h); the encoder's shell control hosts them too.
#include <cstdint>

#include "core/guid.h"
#include "core/hresult.h"
#include "core/rect.h"
#include "core/unknown.h"

using UINT = uint32_t;
using OAHWND = intptr_t;  // a window handle as the automation interfaces carry it

struct SIZE {
  int32_t cx = 0;
  int32_t cy = 0;
};

struct PROPPAGEINFO {
  ULONG cb = sizeof(PROPPAGEINFO);
  char16_t* pszTitle = nullptr;      // CoTaskMemAlloc'ed; the caller frees the texts
  SIZE size;                         // pixels
  char16_t* pszDocString = nullptr;
  char16_t* pszHelpFile = nullptr;
  DWORD dwHelpContext = 0;
};

constexpr DWORD PROPPAGESTATUS_DIRTY = 0x1;
constexpr DWORD PROPPAGESTATUS_VALIDATE = 0x2;
constexpr DWORD PROPPAGESTATUS_CLEAN = 0x4;

class IPropertyPageSite : public IUnknown {
 public:
  static constexpr IID iid = MakeGuid("{B196B28C-BAB4-101A-B69C-00AA00341D07}");
  virtual HRESULT OnStatusChange(DWORD flags) = 0;
  virtual HRESULT GetLocaleID(LCID* lcid) = 0;
  virtual HRESULT GetPageContainer(IUnknown** container) = 0;
  virtual HRESULT TranslateAccelerator(void* msg) = 0;
};

class IPropertyPage : public IUnknown {
 public:
  static constexpr IID iid = MakeGuid("{B196B28D-BAB4-101A-B69C-00AA00341D07}");
  virtual HRESULT SetPageSite(IPropertyPageSite* site) = 0;
  // Creates the page's controls inside the parent window (a handle of the forms layer).
  virtual HRESULT Activate(OAHWND parent, const RECT* rect, bool modal) = 0;
  virtual HRESULT Deactivate() = 0;
  virtual HRESULT GetPageInfo(PROPPAGEINFO* info) = 0;
  // The objects the page edits; count 0 releases them.
  virtual HRESULT SetObjects(ULONG count, IUnknown** objects) = 0;
  virtual HRESULT Show(UINT cmdShow) = 0;
  virtual HRESULT Move(const RECT* rect) = 0;
  // S_OK when the page has changes not yet applied, S_FALSE otherwise.
  virtual HRESULT IsPageDirty() = 0;
  virtual HRESULT Apply() = 0;
  virtual HRESULT Help(const char16_t* helpDir) = 0;
  virtual HRESULT TranslateAccelerator(void* msg) = 0;
};

struct CAUUID {
  ULONG cElems = 0;
  GUID* pElems = nullptr;  // CoTaskMemAlloc'ed
};

class ISpecifyPropertyPages : public IUnknown {
 public:
  static constexpr IID iid = MakeGuid("{B196B28B-BAB4-101A-B69C-00AA00341D07}");
  virtual HRESULT GetPages(CAUUID* pages) = 0;
};
