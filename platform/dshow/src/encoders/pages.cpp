// The compressors' property pages ("About" and "Settings"); the forms layer's property frame
// shows them.
#include <QLayout>
#include <QPointer>
#include <cstring>
#include <mutex>

#include "com/com.h"
#include "com/object.h"
#include "dshow/propertypages.h"
#include "encoders/encoders_internal.h"
#include "forms/qt/hwnd_qt.h"

namespace dshow {

namespace {

char16_t* TaskText(const std::u16string& s) {
  auto* p = static_cast<char16_t*>(CoTaskMemAlloc((s.size() + 1) * sizeof(char16_t)));
  if (p) std::memcpy(p, s.c_str(), (s.size() + 1) * sizeof(char16_t));
  return p;
}

// What the two pages share: the site, the compressor and the panel's life.
class CompressorPage : public ComObject<IPropertyPage> {
 public:
  explicit CompressorPage(std::u16string title) : title_(std::move(title)) {}
  ~CompressorPage() override { delete panel_.data(); }

  HRESULT SetPageSite(IPropertyPageSite* site) override {
    site_ = site;
    return S_OK;
  }

  HRESULT Activate(OAHWND parent, const RECT*, bool) override {
    if (!control_) return E_UNEXPECTED;
    QWidget* host = WidgetFromHwnd(static_cast<HWND>(parent));
    if (!host) return E_INVALIDARG;
    delete panel_.data();
    panel_ = MakePanel(host);
    if (host->layout()) host->layout()->addWidget(panel_);
    panel_->show();
    return S_OK;
  }

  HRESULT Deactivate() override {
    if (panel_ && IsPageDirty() == S_OK) Apply();
    delete panel_.data();
    return S_OK;
  }

  HRESULT GetPageInfo(PROPPAGEINFO* info) override {
    if (!info) return E_POINTER;
    *info = PROPPAGEINFO{};
    info->pszTitle = TaskText(title_);
    info->size = SIZE{320, 160};
    return info->pszTitle ? S_OK : E_OUTOFMEMORY;
  }

  HRESULT SetObjects(ULONG count, IUnknown** objects) override {
    control_ = nullptr;
    if (count == 0) return S_OK;
    if (!objects) return E_POINTER;
    if (count != 1 || !objects[0]) return E_INVALIDARG;
    return objects[0]->QueryInterface(ICompressorControl::iid, control_.put_void());
  }

  HRESULT Show(UINT cmdShow) override {
    if (!panel_) return E_UNEXPECTED;
    panel_->setVisible(cmdShow != 0);
    return S_OK;
  }

  HRESULT Move(const RECT* rect) override {
    if (!rect) return E_POINTER;
    if (!panel_) return E_UNEXPECTED;
    panel_->setGeometry(rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top);
    return S_OK;
  }

  HRESULT IsPageDirty() override { return S_FALSE; }
  HRESULT Apply() override { return S_OK; }
  HRESULT Help(const char16_t*) override { return E_NOTIMPL; }
  HRESULT TranslateAccelerator(void*) override { return S_FALSE; }

 protected:
  virtual QWidget* MakePanel(QWidget* host) = 0;

  std::u16string title_;
  ComPtr<IPropertyPageSite> site_;
  ComPtr<ICompressorControl> control_;
  QPointer<QWidget> panel_;
};

class AboutPage : public CompressorPage {
 public:
  AboutPage() : CompressorPage(u"About") {}

 protected:
  QWidget* MakePanel(QWidget* host) override {
    return MakeAboutPanel(control_->Info(), control_->EncoderName(), host);
  }
};

class SettingsPage : public CompressorPage {
 public:
  SettingsPage() : CompressorPage(u"Settings") {}

  HRESULT IsPageDirty() override {
    if (!panel_ || !control_) return S_FALSE;
    CompressorSettings now = control_->CurrentSettings();
    return ReadOptions(*panel_, now) == now ? S_FALSE : S_OK;
  }

  HRESULT Apply() override {
    if (!control_) return E_UNEXPECTED;
    if (!panel_) return S_OK;
    control_->TakeSettings(ReadOptions(*panel_, control_->CurrentSettings()));
    if (site_) site_->OnStatusChange(PROPPAGESTATUS_CLEAN);
    return S_OK;
  }

 protected:
  QWidget* MakePanel(QWidget* host) override {
    return MakeOptionsPanel(control_->Info(), control_->CurrentSettings(), host);
  }
};

template <class Page>
void RegisterPage(REFCLSID clsid) {
  RegisterPlatformClass(clsid, "", [](IUnknown* outer, REFIID riid, void** ppv) -> HRESULT {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    return MakeComObject<Page>()->QueryInterface(riid, ppv);
  });
}

}  // namespace

void RegisterCompressorPages() {
  static std::once_flag once;
  std::call_once(once, [] {
    RegisterPage<AboutPage>(CLSID_CompressorAboutPage);
    RegisterPage<SettingsPage>(CLSID_CompressorSettingsPage);
  });
}

}  // namespace dshow
