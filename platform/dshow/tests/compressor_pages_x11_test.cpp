// A compressor's property pages ("About" and "Settings") on a real X11 desktop with a full window
// manager, clicked with xdotool's pointer as a user's hand: a click on the Settings tab shows the
// page, a click on a number field puts the caret there for typing, a click on OK applies it. The
// clicks run in this test program started again on the desktop's xcb platform; the test started
// on the offscreen platform only runs that second program and reports its outcome.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTabBar>
#include <QTabWidget>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "com/com.h"
#include "com/propertypages.h"
#include "dshow/encoders.h"
#include "dshow/filters.h"
#include "forms/propertyframe.h"
#include "com/moniker.h"
#include "dshow/dshow.h"
#include "x11_clicks.h"
#include "x11_desktop.h"

namespace {

using x11test::ClickOn;
using x11test::Exposed;
using x11test::WaitFor;
constexpr const char* kOnDesktop = "COMPRESSOR_PAGES_ON_DESKTOP";

bool OnDesktop() { return std::getenv(kOnDesktop) != nullptr; }

ComPtr<IBaseFilter> Compressor(const std::u16string& name) {
  ComPtr<IBindCtx> ctx;
  CreateBindCtx(0, ctx.put());
  ULONG eaten = 0;
  ComPtr<IMoniker> m;
  if (FAILED(MkParseDisplayName(ctx.Get(), dshow::DeviceDisplayName(CLSID_VideoCompressorCategory, name, GUID_NULL, true).c_str(),
                                &eaten, m.put())))
    return nullptr;
  ComPtr<IBaseFilter> f;
  m->BindToObject(nullptr, nullptr, IBaseFilter::iid, f.put_void());
  return f;
}

class CompressorPagesOnDesktop : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!OnDesktop()) GTEST_SKIP() << "runs inside CompressorPages.OnAnX11Desktop";
    if (!QCoreApplication::instance()) {
      static int argc = 1;
      static char name[] = "dshow_tests";
      static char* argv[] = {name, nullptr};
      new QApplication(argc, argv);  // lives as long as the test program
    }
  }
  void TearDown() override {
    if (!OnDesktop()) return;
    dshow::SetCompressorDialogPresenter({});
    for (const auto& c : dshow::Compressors()) dshow::SetDefaultCompressorSettings(c.clsid, {});
  }
};

}  // namespace

// ---- run on the desktop -------------------------------------------------------------------------

TEST_F(CompressorPagesOnDesktop, ClicksReachTheSettingsPage) {
  ComPtr<IBaseFilter> f = Compressor(u"MPEG-4 Video Compressor");
  ASSERT_TRUE(f);
  ComPtr<ISpecifyPropertyPages> spp = f.As<ISpecifyPropertyPages>();
  ASSERT_TRUE(spp);
  CAUUID pages;
  ASSERT_EQ(spp->GetPages(&pages), S_OK);
  IUnknown* objects[] = {f.Get()};
  std::vector<uint8_t> before(dshow::kCompressorStateSize), after(dshow::kCompressorStateSize);
  int32_t size = dshow::kCompressorStateSize;
  f.As<IAMVfwCompressDialogs>()->GetState(before.data(), &size);

  bool presented = false;
  dshow::SetCompressorDialogPresenter([&](QDialog& frame, OAHWND) {
    presented = true;
    frame.setWindowModality(Qt::ApplicationModal);
    frame.show();
    EXPECT_TRUE(WaitFor([&] { return Exposed(&frame); })) << "the sheet did not come on screen";
    auto* tabs = frame.findChild<QTabWidget*>("pages");
    auto* ok = frame.findChild<QPushButton*>("ok");
    if (!tabs || !ok) {
      ADD_FAILURE() << "the frame's tabs or OK are missing";
      return false;
    }
    const bool walked = [&] {
      int settings = -1;
      for (int i = 0; i < tabs->count(); ++i)
        if (tabs->tabText(i) == "Settings") settings = i;
      if (settings < 0 || !ClickOn(tabs->tabBar(), tabs->tabBar()->tabRect(settings).center()) ||
          !WaitFor([&] { return tabs->currentIndex() == settings && tabs->currentWidget()->isVisible(); })) {
        ADD_FAILURE() << "a click on the Settings tab did not show the page";
        return false;
      }
      auto* rate = tabs->currentWidget()->findChild<QSpinBox*>("dataRate");
      QLineEdit* edit = rate ? rate->findChild<QLineEdit*>() : nullptr;
      if (!edit) {
        ADD_FAILURE() << "the page has no data rate field";
        return false;
      }
      if (!ClickOn(edit) || !WaitFor([&] { return edit->hasFocus(); })) {
        ADD_FAILURE() << "a click on the field did not put the caret there";
        return false;
      }
      if (!x11test::RunXdotool({"key", "ctrl+a"}) || !x11test::RunXdotool({"type", "48"}) ||
          !WaitFor([&] { return rate->value() == 48; })) {
        ADD_FAILURE() << "typed into the field: " << edit->text().toStdString();
        return false;
      }
      if (!ClickOn(ok) || !WaitFor([&] { return !frame.isVisible(); })) {
        ADD_FAILURE() << "a click on OK did not close the frame";
        return false;
      }
      return true;
    }();
    if (!walked) frame.reject();
    return walked && frame.result() == QDialog::Accepted;
  });
  EXPECT_EQ(OleCreatePropertyFrame(0, 0, 0, u"MPEG-4 Video Compressor", 1, objects, pages.cElems, pages.pElems, 0,
                                   0, nullptr),
            S_OK);
  CoTaskMemFree(pages.pElems);
  EXPECT_TRUE(presented);
  f.As<IAMVfwCompressDialogs>()->GetState(after.data(), &size);
  int32_t rate = 0;
  std::memcpy(&rate, after.data() + 16, 4);  // the data rate's place in the state
  EXPECT_EQ(rate, 48) << "OK applies the typed data rate";
}

// ---- the test run on the offscreen platform -------------------------------------------------------

TEST(CompressorPages, OnAnX11Desktop) {
  if (OnDesktop()) GTEST_SKIP();
  x11test::Desktop desktop(x11test::WindowManager::Full);
  ASSERT_EQ(desktop.Error(), "");
  x11test::ExpectOneTestPassesOnDesktop(desktop, kOnDesktop, "CompressorPagesOnDesktop.*");
}
