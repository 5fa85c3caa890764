// The property frame: a modal dialog with a tab per page and OK, Cancel and Apply.
#include "forms/propertyframe.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QTabWidget>
#include <QThread>
#include <QVBoxLayout>
#include <functional>
#include <mutex>
#include <vector>

#include "com/com.h"
#include "com/object.h"
#include "com/interfaces.h"
#include "core/error.h"
#include "core/msgbox.h"
#include "forms/qt/font_qt.h"
#include "forms/qt/hwnd_qt.h"
#include "forms/qt/propertyframe_qt.h"

namespace {

std::mutex gPresenterLock;
PropertyFramePresenter& Presenter() {
  static PropertyFramePresenter presenter;
  return presenter;
}

bool RunModal(QDialog& dialog, OAHWND owner) {
  if (QWidget* parent = owner ? WidgetFromHwnd(static_cast<HWND>(owner)) : nullptr)
    dialog.setParent(parent, Qt::Dialog);
  dialog.setWindowModality(Qt::ApplicationModal);
  return dialog.exec() == QDialog::Accepted;
}

bool CanShowFrame() {
  auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
  return app && QThread::currentThread() == app->thread();
}

class FrameSite : public ComObject<IPropertyPageSite> {
 public:
  explicit FrameSite(LCID lcid) : lcid_(lcid) {}
  // Called when a page reports a change (the frame then offers Apply).
  std::function<void()> onDirty;
  HRESULT OnStatusChange(DWORD flags) override {
    if ((flags & PROPPAGESTATUS_DIRTY) && onDirty) onDirty();
    return S_OK;
  }
  HRESULT GetLocaleID(LCID* lcid) override {
    if (!lcid) return E_POINTER;
    *lcid = lcid_;
    return S_OK;
  }
  HRESULT GetPageContainer(IUnknown**) override { return E_NOTIMPL; }
  HRESULT TranslateAccelerator(void*) override { return S_FALSE; }

 private:
  LCID lcid_;
};

// Applies every changed page; a page that refuses shows the error's description and the frame
// stays open (false). Values applied before the refusal stay applied.
bool ApplyDirty(std::vector<ComPtr<IPropertyPage>>& pages) {
  for (auto& page : pages) {
    if (page->IsPageDirty() != S_OK) continue;
    HRESULT hr = page->Apply();
    if (FAILED(hr)) {
      std::string description;
      try {
        CheckWithInfo(hr);
      } catch (const VBError& e) {
        description = e.Description();
      }
      MsgBox(description, vbExclamation);
      return false;
    }
  }
  return true;
}

bool AnyDirty(std::vector<ComPtr<IPropertyPage>>& pages) {
  for (auto& page : pages)
    if (page->IsPageDirty() == S_OK) return true;
  return false;
}

}  // namespace

PropertyFramePresenter SetPropertyFramePresenter(PropertyFramePresenter presenter) {
  std::lock_guard lock(gPresenterLock);
  PropertyFramePresenter previous = std::move(Presenter());
  Presenter() = std::move(presenter);
  return previous;
}

HRESULT OleCreatePropertyFrame(OAHWND owner, UINT x, UINT y, const char16_t* caption, ULONG objectCount,
                               IUnknown** objects, ULONG pageCount, const CLSID* pages, LCID lcid,
                               DWORD, void*) {
  if ((objectCount && !objects) || (pageCount && !pages)) return E_POINTER;
  if (!CanShowFrame()) return E_UNEXPECTED;
  // The pages, given the objects.
  auto site = MakeComObject<FrameSite>(lcid);
  std::vector<ComPtr<IPropertyPage>> created;
  auto release = [&] {
    for (auto& p : created) {
      p->SetObjects(0, nullptr);
      p->SetPageSite(nullptr);
    }
  };
  for (ULONG i = 0; i < pageCount; ++i) {
    ComPtr<IPropertyPage> page;
    HRESULT hr = CoCreateInstance(pages[i], nullptr, CLSCTX_INPROC_SERVER, IPropertyPage::iid, page.put_void());
    if (SUCCEEDED(hr)) hr = page->SetPageSite(site.Get());
    if (SUCCEEDED(hr)) hr = page->SetObjects(objectCount, objects);
    if (FAILED(hr)) {
      if (page) page->SetPageSite(nullptr);
      release();
      return hr;
    }
    created.push_back(page);
  }
  QDialog frame;
  frame.setWindowTitle(caption ? QString::fromUtf16(caption) : QString());
  frame.setMinimumWidth(forms_detail::TitleBarWidth(frame.windowTitle()));
  frame.move(static_cast<int>(x), static_cast<int>(y));
  auto* layout = new QVBoxLayout(&frame);
  auto* tabs = new QTabWidget(&frame);
  tabs->setObjectName("pages");
  layout->addWidget(tabs);
  HRESULT result = S_OK;
  for (auto& page : created) {
    PROPPAGEINFO info;
    page->GetPageInfo(&info);
    auto* tab = new QWidget;
    new QVBoxLayout(tab);
    tabs->addTab(tab, info.pszTitle ? QString::fromUtf16(info.pszTitle) : QString());
    CoTaskMemFree(info.pszTitle);
    CoTaskMemFree(info.pszDocString);
    CoTaskMemFree(info.pszHelpFile);
    RECT area{0, 0, info.size.cx, info.size.cy};
    HRESULT hr = page->Activate(static_cast<OAHWND>(HwndFromWidget(tab)), &area, true);
    if (FAILED(hr)) result = hr;
  }
  if (SUCCEEDED(result)) {
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel |
                                         QDialogButtonBox::Apply);
    buttons->button(QDialogButtonBox::Ok)->setObjectName("ok");
    buttons->button(QDialogButtonBox::Cancel)->setObjectName("cancel");
    buttons->button(QDialogButtonBox::Apply)->setObjectName("apply");
    QPushButton* apply = buttons->button(QDialogButtonBox::Apply);
    apply->setEnabled(AnyDirty(created));
    site->onDirty = [apply] { apply->setEnabled(true); };
    QObject::connect(buttons, &QDialogButtonBox::accepted, &frame, [&frame, &created] {
      if (ApplyDirty(created)) frame.accept();
    });
    QObject::connect(buttons, &QDialogButtonBox::rejected, &frame, &QDialog::reject);
    QObject::connect(apply, &QPushButton::clicked, &frame, [&created, apply] {
      if (ApplyDirty(created)) apply->setEnabled(AnyDirty(created));
    });
    layout->addWidget(buttons);
    PropertyFramePresenter presenter;
    {
      std::lock_guard lock(gPresenterLock);
      presenter = Presenter();
    }
    if (presenter ? presenter(frame, owner) : RunModal(frame, owner)) ApplyDirty(created);
  }
  site->onDirty = nullptr;
  for (auto& page : created) {
    page->SetObjects(0, nullptr);  // before Deactivate: a cancelled frame applies nothing
    page->Deactivate();
    page->SetPageSite(nullptr);
  }
  return result;
}
