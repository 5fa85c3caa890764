// Message boxes on a real X11 desktop are drawn when they come up: a box asked for over a working
// window (from the window's timer, while the window runs modally or not, or as it unloads) shows
// its face, not the black of a window the program never painted. The box's pixels are read back
// from the X server once the window manager has framed it.
//
// The box is shown in a probe: this test program started again with "--box <case>" on the
// desktop's xcb platform, with the program's own responder (real windows).
#include <gtest/gtest.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <QApplication>
#include <QMessageBox>
#include <QPalette>
#include <QSocketNotifier>
#include <QTimer>
#include <QWidget>
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
#include "forms/controls.h"
#include "forms/form.h"
#include "forms/responder.h"
#include "forms_test_support.h"
#include "x11_desktop.h"

namespace {

// ---- the probe ---------------------------------------------------------------------------------

// A window like the suite's working windows: a clock label and a black picture (a movie frame's
// surround) redrawn by a fast timer, and a second timer whose first tick asks the box (or unloads
// the window, whose QueryUnload asks it, as a window's Exit does). A box the program never draws
// shows the black beneath it.
class BoxOwner : public Form {
 public:
  explicit BoxOwner(std::string which) : Form("frmBoxOwner"), which_(std::move(which)) {
    On("tmrAsk_Timer", [this] { Ask(); });
    On("tmrClock_Timer", [this] { Tick(); });
    SetHandler("Form_QueryUnload", [this](EventArgs&) {
      if (which_ == "unload" && !asked_) Box();
    });
  }
  Ctl<TimerControl> tmrAsk{this, "tmrAsk"};
  Ctl<Label> lblClock{this, "lblClock"};
  Ctl<PictureBox> picFrame{this, "picFrame"};

 protected:
  void Design() override {
    Caption("Box owner");
    Size(7500, 5000);
    Place({{"Timer", "tmrAsk", -1, "", 0, 0, 0, 0, "", {{"Interval", Variant(int32_t{50})}}},
           {"Timer", "tmrClock", -1, "", 0, 0, 0, 0, "", {{"Interval", Variant(int32_t{20})}}},
           {"PictureBox", "picFrame", -1, "", 0, 0, 7500, 5000, "",
            {{"AutoRedraw", Variant(true)}, {"BackColor", Variant(int32_t{0})}}},
           {"Label", "lblClock", -1, "", 120, 120, 3000, 255, "0"}});
  }

 private:
  void Ask() {
    tmrAsk->Enabled(false);
    if (which_ != "unload") Box();
    Unload();
  }
  // The box; "box <window> <face colour>" goes out once it is up, and a line on the standard input
  // closes it.
  void Box() {
    asked_ = true;
    watch_ = std::make_unique<QTimer>();
    watch_->setInterval(5);
    QObject::connect(watch_.get(), &QTimer::timeout, [this] {
      QWidget* box = QApplication::activeModalWidget();
      if (!qobject_cast<QMessageBox*>(box) || !box->isVisible()) return;
      watch_->stop();
      std::printf("box %llu %u\n", static_cast<unsigned long long>(box->winId()),
                  static_cast<unsigned>(box->palette().color(QPalette::Window).rgb() & 0xFFFFFFu));
      std::fflush(stdout);
      input_ = std::make_unique<QSocketNotifier>(0, QSocketNotifier::Read);
      QObject::connect(input_.get(), &QSocketNotifier::activated, [this] {
        input_->setEnabled(false);
        if (QWidget* box = QApplication::activeModalWidget()) box->close();
      });
    });
    watch_->start();
    MsgBox("The piece could not be saved as /nowhere/piece.avi.", vbOKOnly | vbExclamation, "Box probe");
  }
  void Tick() {
    ++ticks_;
    lblClock->Caption(std::to_string(ticks_));
    picFrame->Cls();
    picFrame->Line(0, 0, static_cast<float>(ticks_ % 7500), 5000, 0x0000FF);
  }
  std::string which_;
  std::unique_ptr<QTimer> watch_;
  std::unique_ptr<QSocketNotifier> input_;
  int ticks_ = 0;
  bool asked_ = false;
};

// "--box <case>": shows the window ("modal": modally) and runs until it is ended.
int BoxProbe(const std::string& which) {
  SetResponder(MakeWindowResponder());
  auto form = MakeForm<BoxOwner>(which);
  if (which == "modal") {
    form->Show(vbModal);
  } else {
    form->Show();
    RunMessageLoop();
  }
  return 0;
}

// ---- looking at the desktop --------------------------------------------------------------------

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

bool WaitFor(const std::function<bool()>& condition) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

// Whether the window manager has framed the window (WM_STATE normal).
bool Managed(xcb_connection_t* c, xcb_window_t w) {
  xcb_atom_t state = Atom(c, "WM_STATE");
  std::vector<uint32_t> v = Values32(c, w, state, state);
  return !v.empty() && v.front() == 1;
}

// Returns once the window manager has handled everything that reached it before: it answers a
// frame-extents request (the answer is a property on a window of our own) in its order.
bool WindowManagerCaughtUp(xcb_connection_t* c) {
  xcb_window_t w = xcb_generate_id(c);
  xcb_create_window(c, XCB_COPY_FROM_PARENT, w, Root(c), 0, 0, 10, 10, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                    XCB_COPY_FROM_PARENT, 0, nullptr);
  xcb_client_message_event_t m{};
  m.response_type = XCB_CLIENT_MESSAGE;
  m.format = 32;
  m.window = w;
  m.type = Atom(c, "_NET_REQUEST_FRAME_EXTENTS");
  xcb_send_event(c, 0, Root(c), XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
                 reinterpret_cast<const char*>(&m));
  xcb_flush(c);
  xcb_atom_t extents = Atom(c, "_NET_FRAME_EXTENTS");
  bool answered = WaitFor([&] { return !Values32(c, w, extents, XCB_ATOM_CARDINAL).empty(); });
  xcb_destroy_window(c, w);
  xcb_flush(c);
  return answered;
}

// The share (0..1) of the window's pixels, as the X server holds them, that have the colour (RGB);
// -1 when the window cannot be read.
double ShareOf(xcb_connection_t* c, xcb_window_t w, uint32_t rgb) {
  xcb_get_geometry_reply_t* g = xcb_get_geometry_reply(c, xcb_get_geometry(c, w), nullptr);
  if (!g) return -1;
  const uint16_t width = g->width, height = g->height;
  std::free(g);
  xcb_get_image_reply_t* r =
      xcb_get_image_reply(c, xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, w, 0, 0, width, height, ~0u), nullptr);
  if (!r) return -1;
  const int length = xcb_get_image_data_length(r);
  const auto* data = xcb_get_image_data(r);
  const int pixels = length / 4;  // 24-bit depth: 32 bits a pixel
  int same = 0;
  for (int i = 0; i < pixels; ++i) {  // blue, green, red, unused
    const uint32_t p = data[4 * i] | (data[4 * i + 1] << 8) | (data[4 * i + 2] << 16);
    if (p == rgb) ++same;
  }
  std::free(r);
  return pixels > 0 ? static_cast<double>(same) / pixels : -1;
}

// ---- the cases ---------------------------------------------------------------------------------

struct Case {
  const char* name;
  x11test::WindowManager manager;
  const char* owner;  // "modal": the window runs modally; "modeless": it does not; "unload": the
                      // box comes from the window's QueryUnload
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class MessageBoxOnX11 : public ::testing::TestWithParam<Case> {
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

TEST_P(MessageBoxOnX11, ABoxOverAWindowIsDrawnWhenItComesUp) {
  const Case& k = GetParam();
  x11test::Desktop& desktop = DesktopOf(k.manager);
  ASSERT_EQ(desktop.Error(), "") << "no X11 desktop for the test";
  Connection c(xcb_connect(desktop.Display().c_str(), nullptr), &xcb_disconnect);
  ASSERT_FALSE(xcb_connection_has_error(c.get()));

  char self[4096] = {};
  ASSERT_GT(readlink("/proc/self/exe", self, sizeof self - 1), 0);
  x11test::Child probe;
  x11test::Child::Options options;
  options.pipeStdin = true;
  options.pipeStdout = true;
  options.env = desktop.Environment();
  std::string error;
  ASSERT_TRUE(probe.Start({self, "--box", k.owner}, options, &error)) << error;
  std::string line;
  ASSERT_TRUE(x11test::NextLineStartingWith(probe, "box ", line)) << "the probe showed no box";
  char* rest = nullptr;
  auto box = static_cast<xcb_window_t>(std::strtoul(line.c_str() + 4, &rest, 10));
  const auto face = static_cast<uint32_t>(std::strtoul(rest, nullptr, 10));
  ASSERT_NE(box, 0u);

  ASSERT_TRUE(WaitFor([&] { return Managed(c.get(), box); })) << "the window manager did not take the box";
  ASSERT_TRUE(WindowManagerCaughtUp(c.get()));
  // A box that is drawn is mostly its face colour; one that is not shows black or what lay there.
  double share = 0;
  EXPECT_TRUE(WaitFor([&] {
    share = ShareOf(c.get(), box, face);
    return share > 0.5;
  })) << "the box is not drawn on the screen (" << share * 100 << "% of its pixels have its face colour)";
  // The box answers, and the window unloads after it.
  ASSERT_TRUE(probe.WriteLine("close"));
  EXPECT_EQ(probe.Wait(), 0) << "the probe did not end after its box";
}

using x11test::WindowManager;

INSTANTIATE_TEST_SUITE_P(
    Owners, MessageBoxOnX11,
    ::testing::Values(Case{"Full_OverAModalWindow", WindowManager::Full, "modal"},
                      Case{"Full_OverAWindow", WindowManager::Full, "modeless"},
                      Case{"Full_AsTheWindowUnloads", WindowManager::Full, "unload"},
                      Case{"Minimal_OverAModalWindow", WindowManager::Minimal, "modal"}),
    [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 3 && std::strcmp(argv[1], "--box") == 0) return BoxProbe(argv[2]);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
