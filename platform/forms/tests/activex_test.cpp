// Hosting ActiveX controls: a user control and a control without the forms runtime from the test
// control library, registered with regsvr into this test's registry.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QLocale>
#include <QMimeData>
#include <QMouseEvent>
#include <QPushButton>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "com/com.h"
#include "com/connectionpoint.h"
#include "com/dispatch.h"
#include "core/runtime.h"
#include "forms/activex.h"
#include "forms/font.h"
#include "forms/usercontrol.h"
#include "forms/qt/hwnd_qt.h"
#include "forms_test_support.h"
#include "registry/registry.h"
#include "testcontrols.h"

namespace {

using Log = std::vector<std::string>;
using namespace testcontrols;

class ActiveXTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    const char* bin = std::getenv("SUITE_BIN_DIR");
    std::string cmd = std::string(bin ? bin : ".") + "/regsvr /s '" + TEST_CONTROLS + "'";
    ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
  }
  ScriptScope responder_;
};

IDispatch* Ext(Control* c) { return c->DispatchObject(); }

Variant Get(Control* c, const std::string& name) { return CallByName(Ext(c), name, DISPATCH_PROPERTYGET); }

ControlDef CounterRow(const std::string& name, int16_t index, int32_t left, PropertyList props = {}) {
  return ControlDef{"SuiteTest.Counter", name, index, "", left, 120, 1800, 1200, "", std::move(props)};
}

TEST_F(ActiveXTest, RowBagLoadsTheControlAndExtenderPropertiesStayTheContainers) {
  TestForm f("frmHost", [](TestForm& f) {
    f.Size(6000, 3000);
    f.Add(CounterRow("ctlA", -1, 120, {{"Caption", Variant("Hello")}, {"Tag", Variant("t1")}}));
    f.Add(CounterRow("ctlB", -1, 2400));  // an empty bag: every key reads its default
  });
  f.Load();
  Control* a = f.FindControl("ctlA");
  Control* b = f.FindControl("ctlB");
  ASSERT_NE(dynamic_cast<ActiveXHost*>(a), nullptr);
  struct Case {
    Control* control;
    const char* member;
    Variant expected;
  } cases[] = {
      {a, "Caption", Variant("Hello")}, {a, "Value", Variant(int32_t{0})}, {a, "Inits", Variant("IR")},
      {a, "Tag", Variant("t1")},        {a, "ExtenderName", Variant("ctlA")}, {a, "UserMode", Variant(true)},
      {b, "Caption", Variant("Counter")}, {b, "Inits", Variant("IR")},      {b, "Name", Variant("ctlB")},
      {a, "Left", Variant(120.0f)},     {a, "Width", Variant(1800.0f)},     {a, "Visible", Variant(true)},
  };
  for (const Case& c : cases) {
    Variant v = Get(c.control, c.member);
    EXPECT_TRUE(v == c.expected) << c.member << " of " << c.control->Name();
    EXPECT_EQ(v.vt(), c.expected.vt()) << c.member;
  }
  // The object answers both identifiers of its interface with one interface.
  ComPtr<IUnknown> obj = static_cast<ActiveXHost*>(a)->Object();
  ComPtr<IUnknown> cur, old;
  obj->QueryInterface(kIidCounter, cur.put_void());
  obj->QueryInterface(kIidCounterOld, old.put_void());
  EXPECT_TRUE(cur && cur.Get() == old.Get());
  f.Unload();
}

// The ambient properties as a hosted user control reads them are the host form's.
TEST_F(ActiveXTest, AHostedControlReadsEveryAmbientPropertyAsTheHostFormHasIt) {
  TestForm f("frmAmbient", [](TestForm& f) { f.Place({CounterRow("ctl", -1, 0), CounterRow("ctlArr", 2, 2000)}); });
  SetAmbientUserMode(f, false);
  f.Load();
  f.BackColor(0x00336699);
  f.ForeColor(0x00102030);
  f.Font(StdFont{"Courier New", 12.0f, true, false, true, true});
  Control* ctl = f.FindControl("ctl");
  Control* element = f.FindControl("ctlArr", 2);
  auto ambient = [](Control* c, const char* name) {
    return CallByName(Ext(c), "AmbientValue", DISPATCH_METHOD, {Variant(name)});
  };
  const StdFont font = f.Font();
  const std::string fontText = font.Name + "," + CStr(Variant(font.Size)) + "," + (font.Bold ? "1" : "0") + "," +
                               (font.Italic ? "1" : "0") + "," + (font.Underline ? "1" : "0") + "," +
                               (font.Strikethrough ? "1" : "0");
  EXPECT_EQ(fontText, "Courier New,12,1,0,1,1");
  struct Case {
    Control* control;
    const char* name;
    Variant expected;
  } cases[] = {
      {ctl, "UserMode", Variant(false)},
      {element, "UserMode", Variant(false)},
      {ctl, "BackColor", Variant(static_cast<int32_t>(f.BackColor()))},
      {ctl, "ForeColor", Variant(static_cast<int32_t>(f.ForeColor()))},
      {element, "BackColor", Variant(int32_t{0x00336699})},
      {ctl, "Font", Variant(fontText)},
      {element, "Font", Variant(fontText)},
      {ctl, "DisplayName", Variant("ctl")},
      {element, "DisplayName", Variant("ctlArr(2)")},
      {ctl, "LocaleID", Variant(UserLocaleID())},
  };
  for (const Case& c : cases) {
    Variant v = ambient(c.control, c.name);
    EXPECT_TRUE(v == c.expected) << c.name << " of " << c.control->Name() << ": " << CStr(v);
    EXPECT_EQ(v.vt(), c.expected.vt()) << c.name;
  }
  // The ambient Font is a font object, read by name like any other.
  Variant fontObject = ambient(ctl, "FontObject");
  ASSERT_TRUE(fontObject.IsObject() && fontObject.pdisp());
  struct Member {
    const char* name;
    Variant expected;
  } members[] = {{"Name", Variant(font.Name)},   {"Size", Variant(font.Size)},           {"Bold", Variant(true)},
                 {"Italic", Variant(false)},     {"Underline", Variant(true)},           {"Strikethrough", Variant(true)}};
  for (const Member& m : members)
    EXPECT_TRUE(CallByName(fontObject.pdisp(), m.name, DISPATCH_PROPERTYGET) == m.expected) << m.name;
  // The LocaleID follows the user's locale; a locale without a mapping is 0x0409.
  struct Locale {
    QLocale locale;
    int32_t lcid;
  } locales[] = {{QLocale::c(), 0x0409},
                 {QLocale(QLocale::German, QLocale::Germany), 0x0407},
                 {QLocale(QLocale::German, QLocale::Austria), 0x0C07},
                 {QLocale(QLocale::English, QLocale::UnitedKingdom), 0x0809},
                 {QLocale(QLocale::French, QLocale::Canada), 0x0C0C},
                 {QLocale(QLocale::Portuguese, QLocale::Brazil), 0x0416},
                 {QLocale(QLocale::Japanese, QLocale::Japan), 0x0411},
                 {QLocale(QLocale::French, QLocale::Senegal), 0x040C},
                 {QLocale(QLocale::Swahili, QLocale::Kenya), 0x0409}};
  const QLocale previous;
  for (const Locale& l : locales) {
    QLocale::setDefault(l.locale);
    EXPECT_TRUE(ambient(ctl, "LocaleID") == Variant(l.lcid)) << l.locale.name().toStdString();
  }
  QLocale::setDefault(previous);
  // Back in run mode (announced to the loaded controls).
  SetAmbientUserMode(f, true);
  EXPECT_TRUE(ambient(ctl, "UserMode") == Variant(true));
  f.Unload();
}

TEST_F(ActiveXTest, ExtenderCallsByDispIdWriteBackAndKeepTheControlsErrors) {
  TestForm f("frmCalls", [](TestForm& f) {
    f.Size(6000, 4000);
    f.Add({"Frame", "fraBox", -1, "", 0, 0, 4500, 3000, "Box"});
    f.Add({"SuiteTest.Counter", "ctl", -1, "fraBox", 120, 240, 1800, 1200, ""});
    // A button over the control's lower right corner (placed later: in front).
    f.Add({"CommandButton", "cmdOver", -1, "fraBox", 1500, 1000, 1200, 600, "Over"});
  });
  f.Show();
  Control* c = f.FindControl("ctl");
  IDispatch* ext = Ext(c);
  struct Id {
    const char* name;
    DISPID id;
  } ids[] = {{"Left", static_cast<DISPID>(0x80010003)}, {"Top", static_cast<DISPID>(0x80010004)},
             {"Width", static_cast<DISPID>(0x80010005)}, {"Height", static_cast<DISPID>(0x80010006)},
             {"Visible", static_cast<DISPID>(0x80010007)}, {"TabIndex", kExtTabIndex},
             {"ToolTipText", kExtToolTipText},              {"Container", kExtContainer},
             {"DragMode", kExtDragMode},                    {"ZOrder", kExtZOrder},
             {"Value", kValue},                             {"Bump", kBump}};
  for (const Id& i : ids) EXPECT_EQ(GetDispId(ext, i.name), i.id) << i.name;
  // The container's own members, written by DISPID and by name, land on the host and read back
  // both ways.
  struct Member {
    const char* name;
    DISPID id;
    Variant byId, byName;  // the values written
    std::function<Variant()> onHost;
  } members[] = {
      {"TabIndex", kExtTabIndex, Variant(int16_t{2}), Variant(int16_t{1}), [&] { return Variant(c->TabIndex()); }},
      {"ToolTipText", kExtToolTipText, Variant("Bumps"), Variant("Counts"), [&] { return Variant(c->ToolTipText()); }},
      {"DragMode", kExtDragMode, Variant(int16_t{1}), Variant(int16_t{0}), [&] { return Variant(c->DragMode()); }},
      {"Tag", kExtTag, Variant("by id"), Variant("by name"), [&] { return Variant(c->Tag()); }},
  };
  for (const Member& m : members) {
    InvokeDispatch(ext, m.id, DISPATCH_PROPERTYPUT, {m.byId});
    EXPECT_TRUE(m.onHost() == m.byId) << m.name << " by DISPID";
    EXPECT_TRUE(CallByName(ext, m.name, DISPATCH_PROPERTYGET) == m.byId) << m.name;
    CallByName(ext, m.name, DISPATCH_PROPERTYPUT, {m.byName});
    EXPECT_TRUE(m.onHost() == m.byName) << m.name << " by name";
    Variant got = InvokeDispatch(ext, m.id, DISPATCH_PROPERTYGET);
    EXPECT_TRUE(got == m.byName) << m.name;
    EXPECT_EQ(got.vt(), m.byName.vt()) << m.name;
  }
  // Container: an object (intrinsic containers have none yet: Nothing), read-only.
  for (Variant box : {InvokeDispatch(ext, kExtContainer, DISPATCH_PROPERTYGET),
                      CallByName(ext, "Container", DISPATCH_PROPERTYGET)})
    EXPECT_EQ(box.vt(), VT_DISPATCH);
  EXPECT_EQ(ErrorOf([&] { CallByName(ext, "Container", DISPATCH_PROPERTYPUT, {Variant("fraBox")}); }), 383);
  // ZOrder 1 sends the control behind the button, ZOrder (0 by default) brings it to the front.
  QWidget* site = WidgetFromHwnd(c->hWnd());
  QWidget* over = WidgetFromHwnd(f.FindControl("cmdOver")->hWnd());
  const QPoint overlap = over->geometry().topLeft() + QPoint(2, 2);
  auto inFront = [&] {
    QWidget* w = site->parentWidget()->childAt(overlap);
    return w == site || site->isAncestorOf(w);
  };
  ASSERT_FALSE(inFront());
  struct Order {
    bool byName;
    std::vector<Variant> args;
    bool front;
  } orders[] = {{false, {}, true}, {false, {Variant(int16_t{1})}, false},
                {true, {Variant(int16_t{0})}, true}, {true, {Variant(int16_t{1})}, false}};
  for (const Order& o : orders) {
    if (o.byName) CallByName(ext, "ZOrder", DISPATCH_METHOD, o.args);
    else InvokeDispatch(ext, kExtZOrder, DISPATCH_METHOD, o.args);
    EXPECT_EQ(inFront(), o.front) << (o.byName ? "by name " : "by DISPID ") << o.args.size();
  }
  // Extender members in twips, as Single.
  InvokeDispatch(ext, kExtWidth, DISPATCH_PROPERTYPUT, {Variant(2400.0f)});
  EXPECT_EQ(c->Width(), 2400);
  EXPECT_TRUE(InvokeDispatch(ext, kExtHeight, DISPATCH_PROPERTYGET) == Variant(1200.0f));
  // By value.
  InvokeDispatch(ext, kValue, DISPATCH_PROPERTYPUT, {Variant(int32_t{5})});
  EXPECT_TRUE(InvokeDispatch(ext, kValue, DISPATCH_PROPERTYGET) == Variant(int32_t{5}));
  // By reference with a retval.
  int32_t amount = 3;
  Variant sum = InvokeDispatch(ext, kBump, DISPATCH_METHOD, {Variant::ByRef(VT_I4, &amount)});
  EXPECT_TRUE(sum == Variant(int32_t{8}));
  EXPECT_EQ(amount, 6) << "the control's write reaches the caller's variable";
  // A by-reference setter that writes back.
  Bstr text("  spaced  ");
  InvokeDispatch(ext, kCaption, DISPATCH_PROPERTYPUT, {Variant::ByRef(VT_BSTR, &text)});
  EXPECT_EQ(text.Utf8(), "spaced");
  // The control's failure with its own number and description.
  try {
    InvokeDispatch(ext, kFail, DISPATCH_METHOD);
    ADD_FAILURE() << "Fail raised nothing";
  } catch (const VBError& e) {
    EXPECT_EQ(e.Number(), 5);
    EXPECT_EQ(e.Description(), "Counter refuses");
  }
  EXPECT_EQ(ErrorOf([&] { CallByName(ext, "NoSuchMember", DISPATCH_METHOD); }), 438);
  // Late-bound property access of the form's code goes the same way.
  c->SetProperty("Value", Variant(int32_t{9}));
  EXPECT_TRUE(c->GetProperty("value") == Variant(int32_t{9}));
  f.Unload();
}

TEST_F(ActiveXTest, EventsReachTheFormAndWriteBackAndAnElementMayUnloadInsideItsOwnEvent) {
  TestForm f("frmEvents", [](TestForm& f) {
    f.Place({CounterRow("ctl", -1, 0, {{"Caption", Variant("One")}}), CounterRow("ctlArr", 0, 2000)});
  });
  Log log;
  f.On("ctl_Changed", [&](int32_t& value, int16_t& Cancel) {
    log.push_back("changed " + std::to_string(value));
    value = 42;
    Cancel = -1;
  });
  f.On("ctlArr_Changed", [&](int16_t Index, int32_t& value, int16_t&) {
    log.push_back("element " + std::to_string(Index));
    value = 7;
    if (Index > 0) CtlArray<Control>(&f, "ctlArr").Unload(Index);
  });
  f.Load();
  EXPECT_TRUE(CallByName(Ext(f.FindControl("ctl")), "UnloadMe", DISPATCH_METHOD) == Variant("One:42"));
  // A loaded element of the array, unloaded by the form inside the event its own call raised.
  Control& e = f.LoadElement("ctlArr", 1);
  EXPECT_FALSE(e.Visible()) << "a loaded element starts invisible";
  EXPECT_TRUE(CallByName(Ext(&e), "Inits", DISPATCH_PROPERTYGET) == Variant("IR"));
  ComPtr<IDispatch> ext(Ext(&e));
  EXPECT_TRUE(CallByName(ext.Get(), "UnloadMe", DISPATCH_METHOD) == Variant("Counter:7"));
  EXPECT_EQ(f.FindControl("ctlArr", 1), nullptr);
  EXPECT_EQ(log, (Log{"changed 0", "element 1"}));
  // Once the host is gone, the extender a caller kept answers with a failure, not a crash.
  EXPECT_TRUE(PumpUntil([&] { return ErrorOf([&] { CallByName(ext.Get(), "Name", DISPATCH_PROPERTYGET); }) != 0; }));
  f.Unload();
}

TEST_F(ActiveXTest, SaveAndInitNewActOnlyUnderUserModeFalse) {
  for (bool userMode : {true, false}) {
    SCOPED_TRACE(userMode ? "run mode" : "design mode");
    TestForm f("frmDesign", [](TestForm& f) {
      f.Add(CounterRow("ctl", -1, 0, {{"Caption", Variant("Kept")}, {"Value", Variant(int32_t{0})}}));
    });
    SetAmbientUserMode(f, userMode);
    f.Load();
    auto* host = static_cast<ActiveXHost*>(f.FindControl("ctl"));
    EXPECT_TRUE(Get(host, "UserMode") == Variant(userMode));
    PropertyList saved = host->SaveProperties();
    if (userMode) {
      EXPECT_TRUE(saved.empty());
    } else {
      ASSERT_EQ(saved.size(), 1u) << "a value equal to its default is not stored";
      EXPECT_EQ(saved[0].first, "Caption");
      EXPECT_TRUE(saved[0].second == Variant("Kept"));
    }
    // A control made without a row initialises a new instance.
    ControlSite site{&f, "ctlNew", -1, nullptr, "SuiteTest.Counter"};
    ActiveXHost fresh(site);
    EXPECT_TRUE(Get(&fresh, "Inits") == Variant("IN"));
    EXPECT_TRUE(Get(&fresh, "Caption") == Variant(userMode ? "" : "Fresh"));
    f.Unload();
  }
}

TEST_F(ActiveXTest, ControlWithoutTheFormsRuntimeLoadsFromAStreamAndStaysInvisible) {
  TestForm f("frmPlain", [](TestForm& f) {
    f.Add({"SuiteTest.Plain", "plain", -1, "", 0, 0, 480, 480, "", {{"Level", Variant(int32_t{3})}}});
  });
  Log log;
  f.On("plain_Pinged", [&](std::string& text) {
    log.push_back(text);
    text = "pong";
  });
  f.Show();
  auto* host = static_cast<ActiveXHost*>(f.FindControl("plain"));
  ComPtr<IDispatch> obj = host->ObjectDispatch();
  EXPECT_TRUE(CallByName(obj.Get(), "Level", DISPATCH_PROPERTYGET) == Variant(int32_t{3}));
  EXPECT_TRUE(CallByName(obj.Get(), "Log", DISPATCH_PROPERTYGET) == Variant("load,site"))
      << "without OLEMISC_SETCLIENTSITEFIRST the site comes after the load; no activation";
  EXPECT_FALSE(WidgetFromHwnd(host->hWnd())->isVisible());
  EXPECT_TRUE(host->Visible()) << "the extender's Visible is kept for an invisible-at-run-time control";
  EXPECT_TRUE(CallByName(Ext(host), "Ping", DISPATCH_METHOD) == Variant("pong"));
  EXPECT_EQ(log, (Log{"ping"}));
  f.Unload();
  EXPECT_TRUE(CallByName(obj.Get(), "Log", DISPATCH_PROPERTYGET) == Variant("load,site,nosite,close"));
}

TEST_F(ActiveXTest, ClassesThatCannotBeCreatedFailTheLoadWith429AndLeaveNoForm) {
  registry::WriteString(HKEY_CLASSES_ROOT, "SuiteTest.Missing\\CLSID", "", "{7C3A1E50-5D2B-4A61-9E0F-31B2C4D5E6FF}");
  registry::WriteString(HKEY_CLASSES_ROOT, "CLSID\\{7C3A1E50-5D2B-4A61-9E0F-31B2C4D5E6FF}\\InprocServer32", "",
                        "/nonexistent/Missing.so");
  // A library that does not serve the class its registration names: DllGetClassObject fails.
  registry::WriteString(HKEY_CLASSES_ROOT, "SuiteTest.Unserved\\CLSID", "", "{7C3A1E50-5D2B-4A61-9E0F-31B2C4D5E6FE}");
  registry::WriteString(HKEY_CLASSES_ROOT, "CLSID\\{7C3A1E50-5D2B-4A61-9E0F-31B2C4D5E6FE}\\InprocServer32", "",
                        TEST_CONTROLS);
  struct Case {
    const char* progId;
    const char* reason;
  } cases[] = {{"SuiteTest.Unregistered", "not registered"},
               {"SuiteTest.Missing", "Missing.so"},
               {"SuiteTest.Unserved", "does not serve that class"}};
  for (const Case& c : cases) {
    TestForm f("frmBad", [&](TestForm& f) {
      f.Add({"Label", "lblFirst", -1, "", 0, 0, 900, 255, "first"});
      f.Add({c.progId, "ctl", -1, "", 0, 300, 900, 900, ""});
    });
    try {
      f.Show();
      ADD_FAILURE() << c.progId << " was created";
    } catch (const VBError& e) {
      EXPECT_EQ(e.Number(), 429);
      EXPECT_NE(e.Description().find(c.progId), std::string::npos) << e.Description();
      EXPECT_NE(e.Description().find(c.reason), std::string::npos) << e.Description();
    }
    EXPECT_FALSE(f.IsLoaded());
    for (Form* loaded : Forms()) EXPECT_NE(loaded, &f);
  }
}

TEST_F(ActiveXTest, ContainerDragStartsPastTheDragDistanceAndCarriesTheSourceObject) {
  TestForm f("frmDrag", [](TestForm& f) {
    f.Size(6000, 3000);
    f.Place({CounterRow("tile", 0, 120, {{"Caption", Variant("first")}, {"DragMode", Variant(int16_t{1})}}),
             CounterRow("tile", 1, 3000, {{"Caption", Variant("second")}, {"DragMode", Variant(int16_t{1})}})});
  });
  Log log;
  f.On("tile_Clicked", [&](int16_t Index) { log.push_back("clicked " + std::to_string(Index)); });
  f.On("tile_DragOver", [&](int16_t Index, Variant Source, float, float, int16_t State) {
    log.push_back("over " + std::to_string(Index) + " state " + std::to_string(State) + " from " +
                  forms_detail::StringOf(CallByName(Source.pdisp(), "Caption", DISPATCH_PROPERTYGET)));
  });
  f.On("tile_DragDrop", [&](int16_t Index, Variant Source, float, float) {
    log.push_back("drop on " + std::to_string(Index) + " of " +
                  forms_detail::StringOf(CallByName(Source.Deref().pdisp(), "Caption", DISPATCH_PROPERTYGET)));
  });
  f.Show();
  EXPECT_EQ(f.FindControl("tile", 0)->DragMode(), 1);
  QWidget* from = WidgetFromHwnd(f.FindControl("tile", 0)->hWnd())->findChild<QPushButton*>();
  QWidget* to = WidgetFromHwnd(f.FindControl("tile", 1)->hWnd());
  ASSERT_NE(from, nullptr);
  auto send = [&](QWidget* w, QEvent::Type type, QPoint local, Qt::MouseButtons buttons) {
    QMouseEvent e(type, QPointF(local), QPointF(w->mapToGlobal(local)), Qt::LeftButton, buttons, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
  };
  // A click that stays within the drag distance reaches the control.
  send(from, QEvent::MouseButtonPress, {5, 5}, Qt::LeftButton);
  send(from, QEvent::MouseMove, {6, 6}, Qt::LeftButton);
  EXPECT_EQ(DragSource(), nullptr);
  send(from, QEvent::MouseButtonRelease, {6, 6}, Qt::NoButton);
  EXPECT_EQ(log, (Log{"clicked 0"}));
  log.clear();
  // Past the distance the container's drag starts; the target sees the dragged tile's object.
  send(from, QEvent::MouseButtonPress, {5, 5}, Qt::LeftButton);
  QPoint far = from->mapFromGlobal(to->mapToGlobal(QPoint(10, 10)));
  send(from, QEvent::MouseMove, far, Qt::LeftButton);
  EXPECT_EQ(DragSource(), f.FindControl("tile", 0));
  send(from, QEvent::MouseMove, far + QPoint(1, 1), Qt::LeftButton);
  send(from, QEvent::MouseButtonRelease, far + QPoint(1, 1), Qt::NoButton);
  EXPECT_EQ(log, (Log{"over 1 state 0 from first", "over 1 state 2 from first", "drop on 1 of first"}));
  EXPECT_EQ(DragSource(), nullptr);
  f.Unload();
}

TEST_F(ActiveXTest, FilesDroppedOnAUserControlsSurfaceReachItsHandlers) {
  TestForm f("frmDropHost", [](TestForm& f) { f.Add(CounterRow("ctl", -1, 0)); });
  Log log;
  f.On("ctl_Clicked", [&] { log.push_back("dropped"); });
  f.Show();
  Control* c = f.FindControl("ctl");
  QWidget* surface = nullptr;
  for (QWidget* w : WidgetFromHwnd(c->hWnd())->findChildren<QWidget*>())
    if (w->acceptDrops()) surface = w;
  ASSERT_NE(surface, nullptr) << "the user control's OLEDropMode 1 makes its surface a drop target";
  QMimeData mime;
  mime.setUrls({QUrl("https://example.com/not-a-file.avi"), QUrl::fromLocalFile("/data/clip.MOV")});
  QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(surface, &enter);
  QDragMoveEvent move(QPoint(6, 6), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(surface, &move);
  EXPECT_TRUE(move.isAccepted());
  QDropEvent drop(QPointF(7, 7), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(surface, &drop);
  EXPECT_EQ(log, (Log{"dropped"}));
  EXPECT_TRUE(Get(c, "Caption") == Variant("/data/clip.MOV")) << "only local files are files";
  f.Unload();
}

// A user control of the program itself: registered in-process, hosted by ProgID like any other.
constexpr GUID kRulerLib = MakeGuid("{5E0C4A11-93B2-4F7D-8A6C-2D1E0B9F7A01}");
constexpr IID kIidRuler = MakeGuid("{5E0C4A11-93B2-4F7D-8A6C-2D1E0B9F7A02}");
constexpr IID kDiidRulerEvents = MakeGuid("{5E0C4A11-93B2-4F7D-8A6C-2D1E0B9F7A03}");
constexpr CLSID kClsidRuler = MakeGuid("{5E0C4A11-93B2-4F7D-8A6C-2D1E0B9F7A04}");

class IRuler : public IDispatch {
 public:
  static constexpr IID iid = kIidRuler;
};

class Ruler : public UserControlObject<IRuler> {
 public:
  Ruler()
      : UserControlObject({"Ruler", kRulerLib, 1, 0, kClsidRuler, kIidRuler, {}, kDiidRulerEvents, {},
                           OLEMISC_SETCLIENTSITEFIRST}) {
    Dispatch()
        .Get(1, [this](DispatchArgs&) { return Variant(marks_); })
        .Put(1, [this](DispatchArgs& a) {
          marks_ = a.Long(0);
          PropertyChanged("Marks");
          RaiseEvent(1, {Variant(marks_)});
          return Variant();
        });
  }

 protected:
  void Design() override { Place({{"Label", "lblMarks", -1, "", 0, 0, 900, 255, "0"}}); }

 private:
  int32_t marks_ = 0;
};

class NotifySink : public ComObject<IPropertyNotifySink> {
 public:
  std::vector<DISPID> changed;
  HRESULT OnChanged(DISPID id) override {
    changed.push_back(id);
    return S_OK;
  }
  HRESULT OnRequestEdit(DISPID) override { return S_OK; }
};

TEST_F(ActiveXTest, TheProgramsOwnUserControlsRegisterInProcessAndNotifyPropertyChanges) {
  using namespace desc;
  TypeLibDesc lib;
  lib.libid = kRulerLib;
  lib.name = "RulerLib";
  lib.types = {DualInterface(kIidRuler, "_Ruler", {PropertyGet("Marks", 1, VT_I4), PropertyPut("Marks", 1, VT_I4)}),
               DispInterface(kDiidRulerEvents, "__Ruler", {Method("MarksChanged", 1, {In("marks", VT_I4)})}),
               ControlClass(kClsidRuler, "Ruler",
                            {{kIidRuler, IMPLTYPEFLAG_FDEFAULT}, {kDiidRulerEvents, IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE}})};
  PublishTypeLib(lib);
  RegisterUserControlClass<Ruler>(kClsidRuler, "Suite.Ruler");
  TestForm f("frmRuler", [](TestForm& f) { f.Add({"Suite.Ruler", "ruler", -1, "", 0, 0, 1500, 600, ""}); });
  Log log;
  f.On("ruler_MarksChanged", [&](int32_t marks) { log.push_back("marks " + std::to_string(marks)); });
  f.Load();
  auto* host = dynamic_cast<ActiveXHost*>(f.FindControl("ruler"));
  ASSERT_NE(host, nullptr);
  auto sink = MakeComObject<NotifySink>();
  DWORD cookie = ConnectEvents(host->Object().Get(), IPropertyNotifySink::iid, sink.Get());
  CallByName(Ext(host), "Marks", DISPATCH_PROPERTYPUT, {Variant(int32_t{4})});
  EXPECT_EQ(sink->changed, (std::vector<DISPID>{1}));
  EXPECT_EQ(log, (Log{"marks 4"}));
  DisconnectEvents(host->Object().Get(), IPropertyNotifySink::iid, cookie);
  f.Unload();
}

}  // namespace
