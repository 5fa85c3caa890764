// A user control's persistent device context: drawing shows at once without Paint; invalidation
// (show, resize, Refresh) erases to BackColor and raises UserControl_Paint from the event loop;
// mouse capture.
#include <gtest/gtest.h>

#include <QImage>
#include <QTimer>
#include <QWidget>
#include <string>
#include <vector>

#include "com/com.h"
#include "com/dispatch.h"
#include "forms/activex.h"
#include "forms/app.h"
#include "forms/gdi.h"
#include "forms/hwnd.h"
#include "forms/qt/hwnd_qt.h"
#include "forms/usercontrol.h"
#include "forms_test_support.h"

namespace {

constexpr GUID kCanvasLib = MakeGuid("{7A31C0D2-5B44-4E1F-9C2A-1F3E5D7B9A01}");
constexpr IID kIidCanvas = MakeGuid("{7A31C0D2-5B44-4E1F-9C2A-1F3E5D7B9A02}");
constexpr IID kDiidCanvasEvents = MakeGuid("{7A31C0D2-5B44-4E1F-9C2A-1F3E5D7B9A03}");
constexpr CLSID kClsidCanvas = MakeGuid("{7A31C0D2-5B44-4E1F-9C2A-1F3E5D7B9A04}");

class ICanvas : public IDispatch {
 public:
  static constexpr IID iid = kIidCanvas;
};

// Records its Paint events with what the surface showed when each began.
class Canvas : public UserControlObject<ICanvas> {
 public:
  Canvas() : UserControlObject({"Canvas", kCanvasLib, 1, 0, kClsidCanvas, kIidCanvas, {}, kDiidCanvasEvents, {}, 0}) {
    // Its size, as a control's layout reads it while the surface is made.
    On("UserControl_Initialize", [this] { initialWidth = Width(); });
    On("UserControl_Paint", [this] {
      paints.push_back(Pixel(1, 1));
      DoEvents();  // a Paint handler may let messages run
    });
  }
  QRgb Pixel(int x, int y) {
    QWidget* w = WidgetFromHwnd(hWnd());
    return w->grab().toImage().pixel(x, y) | 0xFF000000u;
  }
  std::vector<QRgb> paints;
  int32_t initialWidth = -1;
};

// Reads its own size while its surface is still a window of its own (Initialize) and again once
// it sits in its container (Resize), as controls that lay themselves out do.
class SizedCanvas : public Canvas {
 public:
  SizedCanvas() {
    On("UserControl_Initialize", [this] { sizes.push_back(Width()); });
    On("UserControl_Resize", [this] { sizes.push_back(Height()); });
  }
  std::vector<int32_t> sizes;
};

// The widgets under `top` that have a window-system window of their own.
std::vector<std::string> NativeChildren(QWidget* top) {
  std::vector<std::string> found;
  for (QWidget* w : top->findChildren<QWidget*>()) {
    if (w->testAttribute(Qt::WA_NativeWindow) || w->internalWinId())
      found.push_back(w->objectName().toStdString() + " (" + w->metaObject()->className() + ")");
  }
  return found;
}

class UserControlSurfaceTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    using namespace desc;
    TypeLibDesc lib;
    lib.libid = kCanvasLib;
    lib.name = "CanvasLib";
    lib.types = {DualInterface(kIidCanvas, "_Canvas", {}), DispInterface(kDiidCanvasEvents, "__Canvas", {}),
                 ControlClass(kClsidCanvas, "Canvas",
                              {{kIidCanvas, IMPLTYPEFLAG_FDEFAULT},
                               {kDiidCanvasEvents, IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE}})};
    PublishTypeLib(lib);
    RegisterUserControlClass<Canvas>(kClsidCanvas, "Suite.Canvas");
    RegisterUserControlClass<SizedCanvas>(kClsidSizedCanvas, "Suite.SizedCanvas");
  }
  // The form's hosted canvas; obj keeps it alive.
  static Canvas* HostedCanvas(Form& f, ComPtr<IUnknown>& obj) {
    auto* host = dynamic_cast<ActiveXHost*>(f.FindControl("canvas"));
    if (!host) return nullptr;
    obj = host->Object();
    return dynamic_cast<Canvas*>(dynamic_cast<UserControl*>(obj.Get()));
  }
  static constexpr CLSID kClsidSizedCanvas = MakeGuid("{7A31C0D2-5B44-4E1F-9C2A-1F3E5D7B9A05}");
};

TEST_F(UserControlSurfaceTest, DrawingShowsAtOnceAndPaintComesFromTheEventLoop) {
  TestForm f("frmCanvas", [](TestForm& f) { f.Add({"Suite.Canvas", "canvas", -1, "", 0, 0, 1500, 900, ""}); });
  f.Show();
  ComPtr<IUnknown> obj;
  Canvas* canvas = HostedCanvas(f, obj);
  ASSERT_NE(canvas, nullptr);
  const HDC dc = canvas->hDC();
  EXPECT_EQ(canvas->hDC(), dc) << "the device context is persistent";
  canvas->BackColor(0x00FF00);  // green, as an OLE colour (0xBBGGRR)
  for (int i = 0; i < 3; ++i) DoEvents();
  canvas->paints.clear();

  HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
  RECT r{0, 0, 20, 20};
  FillRect(dc, &r, red);
  DeleteObject(red);
  EXPECT_EQ(canvas->Pixel(5, 5), qRgb(255, 0, 0)) << "drawing shows at once";
  DoEvents();
  EXPECT_TRUE(canvas->paints.empty()) << "drawing raises no Paint";

  canvas->Refresh();
  EXPECT_TRUE(canvas->paints.empty()) << "Paint is not raised inside Refresh";
  DoEvents();
  ASSERT_EQ(canvas->paints.size(), 1u);
  EXPECT_EQ(canvas->paints[0], qRgb(0, 255, 0)) << "erased to BackColor before Paint";

  canvas->paints.clear();
  WidgetFromHwnd(canvas->hWnd())->resize(120, 80);
  DoEvents();
  DoEvents();
  EXPECT_EQ(canvas->paints.size(), 1u) << "a resize invalidates";

  EXPECT_EQ(SetCapture(canvas->hWnd()), 0u);
  EXPECT_EQ(GetCapture(), canvas->hWnd());
  ReleaseCapture();
  EXPECT_EQ(GetCapture(), 0u);
  obj = nullptr;
  f.Unload();
}

// The surface is a plain child widget of the container's site, not a window of its own, even
// when the control reads its size before it goes into the site.
TEST_F(UserControlSurfaceTest, TheSurfaceIsAChildWidgetOfTheSite) {
  TestForm f("frmCanvas", [](TestForm& f) { f.Add({"Suite.Canvas", "canvas", -1, "", 0, 0, 1500, 900, ""}); });
  f.Show();
  ComPtr<IUnknown> obj;
  Canvas* canvas = HostedCanvas(f, obj);
  ASSERT_NE(canvas, nullptr);
  EXPECT_GE(canvas->initialWidth, 0);
  QWidget* surface = WidgetFromHwnd(canvas->hWnd());
  ASSERT_NE(surface, nullptr);
  EXPECT_FALSE(surface->isWindow());
  EXPECT_EQ(surface->window(), WidgetFromHwnd(f.hWnd())->window());
  for (QWidget* w = surface; w; w = w->parentWidget()) {
    if (w->isWindow()) break;
    EXPECT_EQ(w->internalWinId(), 0u) << w->objectName().toStdString() << " became a native window";
  }
  EXPECT_EQ(canvas->Width(), 1500);
  obj = nullptr;
  f.Unload();
}

// A hosted control's surface, whatever it asked of its own size before and after it went into
// its container, is an ordinary child there: no window of the form but the form's own has a
// window-system window (a native child makes its siblings and ancestors native, whose paints can
// be lost on X11), and the surface still draws.
TEST_F(UserControlSurfaceTest, HostedSurfacesMakeNoNativeChildWindows) {
  struct Case {
    const char* container;
    const char* progId;
  };
  const Case cases[] = {{"", "Suite.SizedCanvas"}, {"pnl", "Suite.SizedCanvas"}, {"pnl", "Suite.Canvas"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.progId) + " in '" + c.container + "'");
    TestForm f("frmNative", [&](TestForm& f) {
      f.Add({"WzPanel", "pnl", -1, "", 60, 60, 3000, 2400, ""});
      f.Add({"CommandButton", "cmd", -1, "", 3300, 60, 1200, 400, "OK"});
      f.Add({c.progId, "canvas", -1, c.container, 120, 120, 1500, 900, ""});
    });
    f.Show();
    for (int i = 0; i < 3; ++i) DoEvents();
    auto* host = dynamic_cast<ActiveXHost*>(f.FindControl("canvas"));
    ASSERT_NE(host, nullptr);
    ComPtr<IUnknown> obj = host->Object();
    auto* canvas = dynamic_cast<Canvas*>(dynamic_cast<UserControl*>(obj.Get()));
    ASSERT_NE(canvas, nullptr);
    if (auto* sized = dynamic_cast<SizedCanvas*>(canvas)) {
      EXPECT_GE(sized->sizes.size(), 2u);
    }
    canvas->Height();
    canvas->Left(0);
    QWidget* top = WidgetFromHwnd(f.hWnd());
    ASSERT_NE(top, nullptr);
    EXPECT_EQ(NativeChildren(top), std::vector<std::string>{});
    canvas->BackColor(0x0000FF);  // red, as an OLE colour
    canvas->Refresh();
    DoEvents();
    EXPECT_EQ(canvas->Pixel(3, 3), qRgb(255, 0, 0));
    obj = nullptr;
    f.Unload();
  }
}

// A form shown modally and unloaded by one of its own handlers: its window goes (taking the
// hosted control's surface with it) before the unloaded controls are deleted. Closing the
// control then finds its surface gone instead of failing, and the control's surface, windowless,
// takes no other window down with it.
TEST_F(UserControlSurfaceTest, AFormUnloadedInsideItsModalShowTakesItsControlsDownCleanly) {
  TestForm other("frmOtherTopLevel");
  other.Show();
  TestForm f("frmCanvasModal", [](TestForm& f) { f.Add({"Suite.Canvas", "canvas", -1, "", 0, 0, 1500, 900, ""}); });
  f.SetHandler("Closer", [&f](EventArgs&) { f.Unload(); });
  f.Load();
  ASSERT_NE(dynamic_cast<ActiveXHost*>(f.FindControl("canvas")), nullptr);
  QTimer::singleShot(0, [&f] {
    EventArgs none;
    f.RaiseEvent("Closer", none);
  });
  f.Show(vbModal);
  EXPECT_FALSE(f.IsLoaded());
  for (int i = 0; i < 5; ++i) DoEvents();
  EXPECT_TRUE(other.IsLoaded());
  // The same form loads and shows its control again.
  f.Show();
  EXPECT_NE(dynamic_cast<ActiveXHost*>(f.FindControl("canvas")), nullptr);
  f.Unload();
  other.Unload();
}

}  // namespace
