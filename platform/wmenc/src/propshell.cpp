// The property-page shell control ("MSPROPSHELLLibCtl.MSPropShell"): shows property pages as
// tabs for one object. Bound late through its automation object: 4 gives it the object the pages
// edit, 1 adds a page (one whose title is already shown replaces it), 6 applies the pages in
// order and fails with the first page's failure.
#include <QTabWidget>
#include <QVBoxLayout>
#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

#include "com/com.h"
#include "com/dispatch.h"
#include "com/object.h"
#include "com/propertypages.h"
#include "com/typeinfo.h"
#include "core/error.h"
#include "forms/control.h"
#include "forms/qt/control_qt.h"
#include "forms/qt/hwnd_qt.h"
#include "wmenc/wmenc.h"

namespace {

constexpr GUID LIBID_MSPropShell = MakeGuid("{A2F8E3C0-5B1D-4C47-9E0C-3B1E2D7A9F10}");
class IMSPropShell : public IDispatch {
 public:
  static constexpr IID iid = MakeGuid("{A2F8E3C1-5B1D-4C47-9E0C-3B1E2D7A9F10}");
};

enum : DISPID { kAddPage = 1, kEditObject = 4, kApply = 6 };

void Publish() {
  static std::once_flag once;
  std::call_once(once, [] {
    using namespace desc;
    TypeLibDesc lib;
    lib.libid = LIBID_MSPropShell;
    lib.name = "MSPROPSHELLLib";
    lib.helpString = "Property page shell";
    lib.types = {DualInterface(IMSPropShell::iid, "IMSPropShell",
                               {Method("AddPage", kAddPage, {In("Page", VT_UNKNOWN)}),
                                Method("EditObject", kEditObject, {In("Object", VT_DISPATCH)}),
                                Method("Apply", kApply)},
                               {}, TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION)};
    PublishTypeLib(lib);
  });
}

class ShellSite : public ComObject<IPropertyPageSite> {
 public:
  HRESULT OnStatusChange(DWORD) override { return S_OK; }
  HRESULT GetLocaleID(LCID* lcid) override { return lcid ? (*lcid = 0, S_OK) : E_POINTER; }
  HRESULT GetPageContainer(IUnknown**) override { return E_NOTIMPL; }
  HRESULT TranslateAccelerator(void*) override { return S_FALSE; }
};

struct ShellState {
  QPointer<QTabWidget> tabs;
  ComPtr<IUnknown> object;
  ComPtr<ShellSite> site = MakeComObject<ShellSite>();
  struct Entry {
    std::u16string title;
    ComPtr<IPropertyPage> page;
  };
  std::vector<Entry> pages;

  void Release(Entry& e) {
    e.page->SetObjects(0, nullptr);
    e.page->Deactivate();
    e.page->SetPageSite(nullptr);
  }
  ~ShellState() {
    for (auto& e : pages) Release(e);
  }

  void EditObject(IUnknown* obj) {
    object = obj;
    IUnknown* objects[] = {object.Get()};
    for (auto& e : pages) CheckWithInfo(e.page->SetObjects(object ? 1 : 0, objects));
  }

  void AddPage(IUnknown* unk) {
    ComPtr<IPropertyPage> page;
    if (!unk || FAILED(unk->QueryInterface(IPropertyPage::iid, page.put_void())))
      Raise(13, "The object is no property page.");
    PROPPAGEINFO info;
    CheckWithInfo(page->GetPageInfo(&info));
    std::u16string title = info.pszTitle ? info.pszTitle : u"";
    CoTaskMemFree(info.pszTitle);
    CoTaskMemFree(info.pszDocString);
    CoTaskMemFree(info.pszHelpFile);
    CheckWithInfo(page->SetPageSite(site.Get()));
    if (object) {
      IUnknown* objects[] = {object.Get()};
      CheckWithInfo(page->SetObjects(1, objects));
    }
    int at = -1;
    for (size_t i = 0; i < pages.size(); ++i)
      if (pages[i].title == title) at = static_cast<int>(i);
    auto* tab = new QWidget;
    new QVBoxLayout(tab);
    if (at >= 0) {
      Release(pages[at]);
      QWidget* old = tabs->widget(at);
      tabs->removeTab(at);
      delete old;
      tabs->insertTab(at, tab, QString::fromUtf16(title.c_str()));
      pages[at] = Entry{title, page};
    } else {
      tabs->addTab(tab, QString::fromUtf16(title.c_str()));
      pages.push_back(Entry{title, page});
    }
    RECT area{0, 0, tab->width(), tab->height()};
    CheckWithInfo(page->Activate(static_cast<OAHWND>(HwndFromWidget(tab)), &area, false));
  }

  void Apply() {
    for (auto& e : pages) CheckWithInfo(e.page->Apply());
  }
};

class ShellObject final : public DispatchObject<IMSPropShell> {
 public:
  explicit ShellObject(std::weak_ptr<ShellState> state)
      : DispatchObject(LIBID_MSPropShell, 1, 0, IMSPropShell::iid), state_(std::move(state)) {
    Dispatch()
        .Method(kAddPage, [this](DispatchArgs& a) {
          State().AddPage(a.Unknown(0).Get());
          return Variant();
        })
        .Method(kEditObject, [this](DispatchArgs& a) {
          ComPtr<IDispatch> d = a.Dispatch(0);
          State().EditObject(d.Get());
          return Variant();
        })
        .Method(kApply, [this](DispatchArgs&) {
          State().Apply();
          return Variant();
        });
  }

 private:
  ShellState& State() {
    auto s = state_.lock();
    if (!s || !s->tabs) Raise(91, "The shell control is gone.");
    return *s;
  }
  std::weak_ptr<ShellState> state_;
};

class MSPropShell : public Control {
 public:
  explicit MSPropShell(const ControlSite& site) : Control(site), state_(std::make_shared<ShellState>()) {
    Publish();
    auto* tabs = new QTabWidget;
    state_->tabs = tabs;
    forms_detail::AttachWidget(*this, tabs);
    object_ = MakeComObject<ShellObject>(state_);
  }
  IDispatch* DispatchObject() const override { return object_.Get(); }
  void Visible(bool v) override {
    if (gVisibilityFails) ::Raise(vbErrInvalidProcedureCall, "The property-page shell cannot be shown or hidden.");
    Control::Visible(v);
  }
  using Control::Visible;
  static inline std::atomic<bool> gVisibilityFails{false};

 private:
  std::shared_ptr<ShellState> state_;
  ComPtr<ShellObject> object_;
};

const bool registered = RegisterControlClass<MSPropShell>("MSPROPSHELLLibCtl.MSPropShell");

}  // namespace

void SetWMEncShellVisibilityFailsForTesting(bool fails) { MSPropShell::gVisibilityFails = fails; }

namespace wmenc_detail {
extern const bool kShellRegistered;
const bool kShellRegistered = registered;
}  // namespace wmenc_detail
