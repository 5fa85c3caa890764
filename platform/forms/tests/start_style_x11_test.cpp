// The show style a program is started with, on real X11 desktops: another program's window has the
// focus, then a program shows its first form in one of the styles. Under a full window manager
// the form starts iconic, maximised or normal as asked and leaves the focus where it was when
// asked to; under a minimal one that has no iconic state and focuses every new window, a form
// that was to stay in the background gives the focus back and goes below.
//
// The form is shown in a probe: this test program started again with "--show <style>" on the
// desktop's xcb platform, as a program started with that style (its first Show takes it).
//
// A check of where the focus is comes after the window manager has handled the form's map (it
// has answered a request sent after it), so a focus the manager gives late cannot pass unseen.
#include <gtest/gtest.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "forms/app.h"
#include "forms/form.h"
#include "forms/qt/hwnd_qt.h"
#include "shell/process.h"
#include "x11_desktop.h"

namespace {

// ---- the probe ---------------------------------------------------------------------------------

class Plain : public Form {
 public:
  Plain() : Form("frmStartStyleProbe") {}

 protected:
  void Design() override {
    Size(4500, 3000);
    Caption("Start style probe");
  }
};

// "--show <style>": shows a form as the first window of a program started with that style,
// prints "shown <window>" and runs until it is told to end.
int ShowProbe(const char* style) {
  setenv("SUITE_COMMAND_PID", std::to_string(getpid()).c_str(), 1);
  setenv("SUITE_SHOW_STYLE", style, 1);
  auto form = MakeForm<Plain>();
  // As a program's start form often does: it reads its place on the screen (which makes its
  // native window) and sizes itself before it is shown.
  form->Load();
  (void)form->Top();
  form->Size(6000, 4000);
  form->Show();
  QWidget* widget = WidgetFromHwnd(form->hWnd());
  std::printf("shown %llu\n", widget ? static_cast<unsigned long long>(widget->winId()) : 0ull);
  std::fflush(stdout);
  RunMessageLoop();
  return 0;
}

// ---- looking at the desktop --------------------------------------------------------------------

constexpr uint32_t kNormalState = 1;
constexpr uint32_t kIconicState = 3;

using Connection = std::unique_ptr<xcb_connection_t, decltype(&xcb_disconnect)>;

xcb_atom_t Atom(xcb_connection_t* c, const char* name) {
  xcb_intern_atom_reply_t* r =
      xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr);
  xcb_atom_t a = r ? r->atom : 0;
  std::free(r);
  return a;
}

std::vector<uint32_t> Values32(xcb_connection_t* c, xcb_window_t w, xcb_atom_t prop, xcb_atom_t type) {
  std::vector<uint32_t> out;
  xcb_get_property_reply_t* r = xcb_get_property_reply(c, xcb_get_property(c, 0, w, prop, type, 0, 64), nullptr);
  if (r && r->format == 32) {
    const auto* v = static_cast<const uint32_t*>(xcb_get_property_value(r));
    out.assign(v, v + xcb_get_property_value_length(r) / 4);
  }
  std::free(r);
  return out;
}

xcb_window_t Root(xcb_connection_t* c) { return xcb_setup_roots_iterator(xcb_get_setup(c)).data->root; }

// WM_STATE's state; 0 while the window manager has not taken the window (or has let it go).
uint32_t WmState(xcb_connection_t* c, xcb_window_t w) {
  xcb_atom_t state = Atom(c, "WM_STATE");
  std::vector<uint32_t> v = Values32(c, w, state, state);
  return v.empty() ? 0 : v.front();
}

xcb_window_t InputFocus(xcb_connection_t* c) {
  xcb_get_input_focus_reply_t* r = xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr);
  xcb_window_t w = r ? r->focus : 0;
  std::free(r);
  return w;
}

bool HasNetState(xcb_connection_t* c, xcb_window_t w, const char* name) {
  std::vector<uint32_t> v = Values32(c, w, Atom(c, "_NET_WM_STATE"), XCB_ATOM_ATOM);
  return std::find(v.begin(), v.end(), Atom(c, name)) != v.end();
}

bool Mapped(xcb_connection_t* c, xcb_window_t w) {
  xcb_get_window_attributes_reply_t* r = xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, w), nullptr);
  bool mapped = r && r->map_state != XCB_MAP_STATE_UNMAPPED;
  std::free(r);
  return mapped;
}

// The child of the root window that holds w (the window manager's frame, or w itself).
xcb_window_t TopOf(xcb_connection_t* c, xcb_window_t w) {
  xcb_window_t root = Root(c);
  for (;;) {
    xcb_query_tree_reply_t* r = xcb_query_tree_reply(c, xcb_query_tree(c, w), nullptr);
    if (!r) return 0;
    xcb_window_t parent = r->parent;
    std::free(r);
    if (parent == root || parent == 0) return w;
    w = parent;
  }
}

// Whether a is stacked above b on the screen.
bool Above(xcb_connection_t* c, xcb_window_t a, xcb_window_t b) {
  xcb_window_t ta = TopOf(c, a), tb = TopOf(c, b);
  xcb_query_tree_reply_t* r = xcb_query_tree_reply(c, xcb_query_tree(c, Root(c)), nullptr);
  if (!r) return false;
  const xcb_window_t* children = xcb_query_tree_children(r);
  int n = xcb_query_tree_children_length(r);
  int ia = -1, ib = -1;
  for (int i = 0; i < n; ++i) {  // bottom to top
    if (children[i] == ta) ia = i;
    if (children[i] == tb) ib = i;
  }
  std::free(r);
  return ia >= 0 && ib >= 0 && ia > ib;
}

// Waits until the condition holds; false when it does not within the hang guard.
bool WaitFor(const std::function<bool()>& condition) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

// Returns once the window manager has handled everything that reached it before: it answers a
// frame-extents request (the answer is a property on a window of our own) in its order.
bool WindowManagerCaughtUp(xcb_connection_t* c) {
  xcb_window_t root = Root(c);
  xcb_window_t w = xcb_generate_id(c);
  xcb_create_window(c, XCB_COPY_FROM_PARENT, w, root, 0, 0, 10, 10, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                    XCB_COPY_FROM_PARENT, 0, nullptr);
  xcb_client_message_event_t m{};
  m.response_type = XCB_CLIENT_MESSAGE;
  m.format = 32;
  m.window = w;
  m.type = Atom(c, "_NET_REQUEST_FRAME_EXTENTS");
  xcb_send_event(c, 0, root, XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
                 reinterpret_cast<const char*>(&m));
  xcb_flush(c);
  xcb_atom_t extents = Atom(c, "_NET_FRAME_EXTENTS");
  bool answered = WaitFor([&] { return !Values32(c, w, extents, XCB_ATOM_CARDINAL).empty(); });
  xcb_destroy_window(c, w);
  xcb_flush(c);
  return answered;
}

// ---- the cases ---------------------------------------------------------------------------------

enum class Focus { Kept, Taken, Any };
enum class State { Normal, Iconic, Maximized, NeverShown };

struct Case {
  const char* name;
  x11test::WindowManager manager;
  int16_t style;
  State state;
  Focus focus;
  bool below;  // the form ends below the window that had the focus
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class StartStyleOnX11 : public ::testing::TestWithParam<Case> {
 protected:
  static void TearDownTestSuite() {
    for (auto*& d : desktops_) {
      delete d;
      d = nullptr;
    }
  }
  static x11test::Desktop& DesktopOf(x11test::WindowManager manager) {
    x11test::Desktop*& d = desktops_[manager == x11test::WindowManager::Full ? 1 : 0];
    if (!d) d = new x11test::Desktop(manager);
    return *d;
  }
  static inline x11test::Desktop* desktops_[2] = {nullptr, nullptr};
};

TEST_P(StartStyleOnX11, TheFirstFormTakesTheStyleItsProgramWasStartedWith) {
  const Case& k = GetParam();
  x11test::Desktop& desktop = DesktopOf(k.manager);
  ASSERT_EQ(desktop.Error(), "") << "no X11 desktop for the test";
  Connection c(xcb_connect(desktop.Display().c_str(), nullptr), &xcb_disconnect);
  ASSERT_FALSE(xcb_connection_has_error(c.get()));
  // The pointer out of the way: a window manager that focuses the window under the pointer would
  // otherwise decide by where a window happens to be placed.
  std::vector<std::string> env = desktop.Environment();
  ASSERT_TRUE(x11test::RunXdotool({"mousemove", "799", "599"}, env));

  // Another program, in front and with the focus.
  x11test::WindowProgram other(desktop);
  ASSERT_EQ(other.Error(), "");
  ASSERT_TRUE(other.Show()) << other.Error();
  ASSERT_TRUE(x11test::RunXdotool({"windowactivate", "--sync", std::to_string(other.Window())}, env));
  ASSERT_TRUE(WaitFor([&] { return InputFocus(c.get()) == other.Window(); })) << "the other program has no focus";

  char self[4096] = {};
  ASSERT_GT(readlink("/proc/self/exe", self, sizeof self - 1), 0);
  x11test::Child probe;
  x11test::Child::Options options;
  options.pipeStdout = true;
  options.env = env;
  std::string error;
  ASSERT_TRUE(probe.Start({self, "--show", std::to_string(k.style)}, options, &error)) << error;
  std::string line;
  ASSERT_TRUE(x11test::NextLineStartingWith(probe, "shown ", line)) << "the probe did not show its form";
  auto form = static_cast<xcb_window_t>(std::strtoul(line.c_str() + 6, nullptr, 10));
  ASSERT_NE(form, 0u);

  if (k.state == State::NeverShown) {
    ASSERT_TRUE(WindowManagerCaughtUp(c.get()));
    EXPECT_FALSE(Mapped(c.get(), form));
    EXPECT_EQ(WmState(c.get(), form), 0u);
    EXPECT_EQ(InputFocus(c.get()), other.Window());
    return;
  }

  // Taken by the window manager, in the state asked for (or the nearest the manager has).
  uint32_t wanted = k.state == State::Iconic ? kIconicState : kNormalState;
  EXPECT_TRUE(WaitFor([&] { return WmState(c.get(), form) == wanted; }))
      << "WM_STATE " << WmState(c.get(), form) << ", not " << wanted;
  if (k.state == State::Maximized) {
    EXPECT_TRUE(WaitFor([&] {
      return HasNetState(c.get(), form, "_NET_WM_STATE_MAXIMIZED_VERT") &&
             HasNetState(c.get(), form, "_NET_WM_STATE_MAXIMIZED_HORZ");
    })) << "not maximised";
  }
  ASSERT_TRUE(WindowManagerCaughtUp(c.get()));

  if (k.focus == Focus::Kept) {
    EXPECT_TRUE(WaitFor([&] { return InputFocus(c.get()) == other.Window(); }))
        << "the focus went to " << InputFocus(c.get()) << " (the form is " << form << ")";
  } else if (k.focus == Focus::Taken) {
    EXPECT_TRUE(WaitFor([&] { return InputFocus(c.get()) == form; }))
        << "the focus stayed at " << InputFocus(c.get()) << " (the form is " << form << ")";
  }
  if (k.below) {
    EXPECT_TRUE(WaitFor([&] { return Above(c.get(), other.Window(), form); })) << "the form covers the other window";
  }
  // Nothing undoes it once the window manager is done.
  ASSERT_TRUE(WindowManagerCaughtUp(c.get()));
  EXPECT_EQ(WmState(c.get(), form), wanted);
  if (k.focus == Focus::Kept) {
    EXPECT_EQ(InputFocus(c.get()), other.Window());
  }
  probe.Stop();
}

using x11test::WindowManager;

INSTANTIATE_TEST_SUITE_P(
    Styles, StartStyleOnX11,
    ::testing::Values(
        Case{"Full_MinimizedNoFocus", WindowManager::Full, vbMinimizedNoFocus, State::Iconic, Focus::Kept, false},
        Case{"Full_MinimizedFocus", WindowManager::Full, vbMinimizedFocus, State::Iconic, Focus::Any, false},
        Case{"Full_NormalNoFocus", WindowManager::Full, vbNormalNoFocus, State::Normal, Focus::Kept, false},
        Case{"Full_NormalFocus", WindowManager::Full, vbNormalFocus, State::Normal, Focus::Taken, false},
        Case{"Full_MaximizedFocus", WindowManager::Full, vbMaximizedFocus, State::Maximized, Focus::Taken, false},
        Case{"Full_Hide", WindowManager::Full, vbHide, State::NeverShown, Focus::Kept, false},
        // No iconic state: the form that was to be minimised stays normal, behind, without focus.
        Case{"Minimal_MinimizedNoFocus", WindowManager::Minimal, vbMinimizedNoFocus, State::Normal, Focus::Kept, true},
        Case{"Minimal_NormalNoFocus", WindowManager::Minimal, vbNormalNoFocus, State::Normal, Focus::Kept, false},
        Case{"Minimal_NormalFocus", WindowManager::Minimal, vbNormalFocus, State::Normal, Focus::Taken, false}),
    [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 3 && std::strcmp(argv[1], "--show") == 0) return ShowProbe(argv[2]);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
