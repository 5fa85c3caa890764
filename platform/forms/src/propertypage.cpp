// Property pages: a form shown as a page of the property frame.
#include "forms/propertypage.h"

#include <QLayout>
#include <QWidget>

#include "com/com.h"
#include "com/interfaces.h"
#include "core/error.h"
#include "forms/qt/hwnd_qt.h"
#include "forms_internal.h"

using namespace forms_detail;

// The page's window goes into the frame's tab: made as a window of the window system first (a
// design that sets the page's size would make one for a form with a border), it would keep that
// unmapped window after the move, and clicks would not reach the page's controls.
PropertyPage::PropertyPage(std::string name) : Form(std::move(name)) { BorderlessAtLoad(); }
PropertyPage::~PropertyPage() = default;

void PropertyPage::Changed(bool v) {
  changed_ = v;
  if (v && site_) site_->OnStatusChange(PROPPAGESTATUS_DIRTY);
}

ComPtr<IDispatch> PropertyPage::SelectedControls(int32_t index) const {
  if (index < 0 || index >= SelectedCount()) ::Raise(vbErrSubscriptOutOfRange);
  return objects_[static_cast<size_t>(index)];
}

HRESULT PropertyPage::PageSetSite(IPropertyPageSite* site) {
  site_ = site;
  return S_OK;
}

HRESULT PropertyPage::PageActivate(OAHWND parent, const RECT* rect) {
  return ComCall([&] {
    BorderStyle(0);  // loads the page's form
    // A page's window is not one of the program's forms.
    auto& loaded = LoadedForms();
    loaded.erase(std::remove(loaded.begin(), loaded.end(), static_cast<Form*>(this)), loaded.end());
    QWidget* surface = WidgetFromHwnd(hWnd());
    QWidget* into = WidgetFromHwnd(static_cast<HWND>(parent));
    if (!surface || !into) ::Raise(vbErrObjectNotLoaded);
    surface->setParent(into, Qt::Widget);
    if (into->layout()) into->layout()->addWidget(surface);
    if (rect) {
      // The frame's tab takes the page's own size.
      surface->setMinimumSize(rect->right - rect->left, rect->bottom - rect->top);
      surface->resize(rect->right - rect->left, rect->bottom - rect->top);
    }
    surface->show();
    active_ = true;
    EventArgs a;
    RaiseEvent("PropertyPage_SelectionChanged", a);
  });
}

HRESULT PropertyPage::PageDeactivate() {
  return ComCall([&] {
    active_ = false;
    if (QWidget* surface = IsLoaded() ? WidgetFromHwnd(hWnd()) : nullptr) {
      surface->hide();
      surface->setParent(nullptr, Qt::Widget);
    }
    if (IsLoaded()) Unload();
  });
}

HRESULT PropertyPage::PageInfo(PROPPAGEINFO* info) {
  if (!info) return E_POINTER;
  return ComCall([&] {
    std::u16string title = Utf8ToUtf16(Caption());
    info->pszTitle = static_cast<char16_t*>(CoTaskMemAlloc((title.size() + 1) * sizeof(char16_t)));
    std::copy(title.begin(), title.end(), info->pszTitle);
    info->pszTitle[title.size()] = 0;
    info->size.cx = static_cast<int32_t>(Width() / 15);
    info->size.cy = static_cast<int32_t>(Height() / 15);
  });
}

HRESULT PropertyPage::PageSetObjects(ULONG count, IUnknown** objects) {
  if (count && !objects) return E_POINTER;
  objects_.clear();
  for (ULONG i = 0; i < count; ++i) {
    ComPtr<IDispatch> d;
    if (objects[i]) objects[i]->QueryInterface(IDispatch::iid, d.put_void());
    if (d) objects_.push_back(d);
  }
  if (active_ && count) {
    return ComCall([&] {
      EventArgs a;
      RaiseEvent("PropertyPage_SelectionChanged", a);
    });
  }
  return S_OK;
}

HRESULT PropertyPage::PageShow(UINT cmdShow) {
  return ComCall([&] { Visible(cmdShow != 0); });
}

HRESULT PropertyPage::PageMove(const RECT* rect) {
  if (!rect) return E_POINTER;
  return ComCall([&] {
    if (QWidget* surface = WidgetFromHwnd(hWnd()))
      surface->setGeometry(rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top);
  });
}

HRESULT PropertyPage::PageApply() {
  if (!changed_) return S_OK;
  return ComCall([&] {
    EventArgs a;
    RaiseEvent("PropertyPage_ApplyChanges", a);
    changed_ = false;
  });
}
