#pragma once
// Property pages written with the forms runtime. A property page is a `Form` whose window is the
// page inside its frame's tab; it shares the form's control table (Design, Place) and handlers
// (On) and raises its own events under the name PropertyPage:
//
//   PropertyPage_SelectionChanged  the page is shown, or the objects it edits change
//   PropertyPage_ApplyChanges      the frame's OK or Apply while the page is changed
//
// `Changed(true)` tells the frame's site (which then offers Apply); applying clears it. The COM
// side is `PropertyPageObject<Dual>`: a DispatchObject of the page's dual interface answering
// IPropertyPage. A library serves it with SUITE_COM_SERVER (ServerClass::Of<T>).
#include <string>
#include <vector>

#include "com/dispatch.h"
#include "com/propertypages.h"
#include "forms/form.h"

class PropertyPage : public Form {
 public:
  explicit PropertyPage(std::string name);
  ~PropertyPage() override;

  bool Changed() const { return changed_; }
  void Changed(bool v);
  // The objects the page edits (the frame's selection), in order; raises 9 beyond them.
  ComPtr<IDispatch> SelectedControls(int32_t index) const;
  int32_t SelectedCount() const { return static_cast<int32_t>(objects_.size()); }

 protected:
  HRESULT PageSetSite(IPropertyPageSite* site);
  HRESULT PageActivate(OAHWND parent, const RECT* rect);
  HRESULT PageDeactivate();
  HRESULT PageInfo(PROPPAGEINFO* info);
  HRESULT PageSetObjects(ULONG count, IUnknown** objects);
  HRESULT PageShow(UINT cmdShow);
  HRESULT PageMove(const RECT* rect);
  HRESULT PageApply();

 private:
  ComPtr<IPropertyPageSite> site_;
  std::vector<ComPtr<IDispatch>> objects_;
  bool changed_ = false;
  bool active_ = false;
};

template <class Dual>
class PropertyPageObject : public DispatchObject<Dual, IPropertyPage>, public PropertyPage {
 public:
  PropertyPageObject(const std::string& name, REFGUID libid, uint16_t major, uint16_t minor)
      : DispatchObject<Dual, IPropertyPage>(libid, major, minor, Dual::iid), PropertyPage(name) {}

  HRESULT SetPageSite(IPropertyPageSite* site) override { return PageSetSite(site); }
  HRESULT Activate(OAHWND parent, const RECT* rect, bool) override { return PageActivate(parent, rect); }
  HRESULT Deactivate() override { return PageDeactivate(); }
  HRESULT GetPageInfo(PROPPAGEINFO* info) override { return PageInfo(info); }
  HRESULT SetObjects(ULONG count, IUnknown** objects) override { return PageSetObjects(count, objects); }
  HRESULT Show(UINT cmdShow) override { return PageShow(cmdShow); }
  HRESULT Move(const RECT* rect) override { return PageMove(rect); }
  HRESULT IsPageDirty() override { return Changed() ? S_OK : S_FALSE; }
  HRESULT Apply() override { return PageApply(); }
  HRESULT Help(const char16_t*) override { return E_NOTIMPL; }
  HRESULT TranslateAccelerator(void*) override { return S_FALSE; }

  using Form::Load;
  using Form::Show;
};
