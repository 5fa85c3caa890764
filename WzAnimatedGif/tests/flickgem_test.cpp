// The animated-GIF control hosted on a test form: the load road and its boxes, temporary files,
// composition read back from the window, playback intervals and events, the type description,
// persistence and registration.
#include <gtest/gtest.h>

#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QImage>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QWidget>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <unistd.h>

#include "Flickgem.h"
#include "com/com.h"
#include "com/dispatch.h"
#include "com/typeinfo.h"
#include "core/clock.h"
#include "core/msgbox.h"
#include "core/runtime.h"
#include "flickgem_test_setup.h"
#include "forms/activex.h"
#include "forms/app.h"
#include "forms/controls.h"
#include "forms/gdi.h"
#include "forms/propertyframe.h"
#include "forms/qt/file_dialog_qt.h"
#include "forms/qt/propertyframe_qt.h"
#include "shell/files.h"
#include "com/propertypages.h"
#include "forms/qt/hwnd_qt.h"
#include "forms/usercontrol.h"
#include "forms_test_support.h"
#include "fixtures.h"
#include "shell/files.h"
#include "gifwriter.h"
#include "registry/registry.h"
#include "scripted_responder.h"

namespace {

namespace fs = std::filesystem;
using namespace flickgem;

const std::vector<uint8_t> kTable = {255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255};  // red green blue white
constexpr QRgb kRed = 0xFFFF0000, kGreen = 0xFF00FF00, kBlue = 0xFF0000FF, kWhite = 0xFFFFFFFF;

std::string Scratch(const std::string& sub) { return AreaScratch("flickgem", sub); }

// Regular files in $TMPDIR and in the suite's private temporary folder inside it (Qt keeps a
// runtime folder of its own there).
bool NoTemporaryFiles() {
  for (const std::string& folder : {Scratch("tmp"), TempFolder()}) {
    for (const auto& e : fs::directory_iterator(folder))
      if (e.is_regular_file() || e.is_symlink()) return false;
  }
  return true;
}

std::string Save(const std::string& name, const gifw::Gif& g) {
  std::string path = Scratch("gifs") + "/" + name;
  gifw::WriteFile(path, gifw::Encode(g));
  return path;
}

// Three frames on an 8 x 6 screen with delays 10, 20, 30: red all over; a green 3 x 2 block at
// (2, 1) whose middle column is transparent (white, which also stands at entry 3 of the table);
// blue 2 x 2 at (5, 3) after clearing the whole buffer (disposal 2).
std::string ThreeFrames() {
  gifw::Gif g = gifw::Screen(8, 6, {255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255, 255, 255, 255});
  gifw::Image a = gifw::Solid(0, 0, 8, 6, 0);
  a.before = {gifw::GraphicControl(10)};
  gifw::Image b = gifw::Solid(2, 1, 3, 2, 1);
  b.pixels[1] = b.pixels[4] = 3;
  b.before = {gifw::GraphicControl(20, 1, true, 3)};
  gifw::Image c = gifw::Solid(5, 3, 2, 2, 2);
  c.before = {gifw::GraphicControl(30, 2)};
  g.images = {a, b, c};
  return Save("three.gif", g);
}

// The translated BackColor (button face) as the window shows it.
QRgb ShownBackColor() {
  const COLORREF c = GetSysColor(15);
  return 0xFF000000u | (c & 0xFF) << 16 | (c & 0xFF00) | ((c >> 16) & 0xFF);
}

class FlickgemTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    RegisterFlickgemWithOwnTemp("flickgem");
  }

  void SetUp() override {
    form_ = std::make_unique<TestForm>("frmGif", [](TestForm& f) {
      f.Size(6000, 4000);
      f.Place({{kProgId, "gif1", -1, "", 0, 0, 1500, 1200, ""}});
    });
    for (const char* e : {"PlayStarted", "PlayEnded"}) {
      std::string name = e;
      form_->SetHandler(std::string("gif1_") + e, [this, name](EventArgs& a) {
        Variant d = a.empty() ? Variant() : a[0].Deref();
        log_.push_back(name + (d.vt() == VT_DATE && d.r8() < 1.0 ? " time" : " ?"));
      });
    }
    form_->Show();
  }
  void TearDown() override {
    if (form_) form_->Unload();
    EXPECT_TRUE(NoTemporaryFiles()) << "temporary files left behind";
  }

  Control* Gif() { return form_->FindControl("gif1"); }
  IDispatch* Ext() { return Gif()->DispatchObject(); }
  UserControl* Uc() {
    ComPtr<IUnknown> obj = static_cast<ActiveXHost*>(Gif())->Object();
    return dynamic_cast<UserControl*>(obj.Get());
  }
  Variant Get(const char* name) { return CallByName(Ext(), name, DISPATCH_PROPERTYGET); }
  void Put(const char* name, const Variant& v) { CallByName(Ext(), name, DISPATCH_PROPERTYPUT, {v}); }
  void Load(const std::string& path) {
    Bstr name(path);
    InvokeDispatch(Ext(), kLoadFile, DISPATCH_METHOD, {Variant::ByRef(VT_BSTR, &name)});
  }
  void Show(int32_t n) { InvokeDispatch(Ext(), kShowGifImage, DISPATCH_METHOD, {Variant::ByRef(VT_I4, &n)}); }
  void Tick() {
    EventArgs none;
    Uc()->RaiseEvent("Timer1_Timer", none);
  }
  int32_t Interval() { return static_cast<TimerControl*>(Uc()->FindControl("Timer1"))->Interval(); }
  QImage Shown() {
    QWidget* w = WidgetFromHwnd(Uc()->hWnd());
    return w ? w->grab().toImage().convertToFormat(QImage::Format_RGB32) : QImage();
  }

  ScriptScope responder_;
  std::unique_ptr<TestForm> form_;
  std::vector<std::string> log_;
};

TEST_F(FlickgemTest, LoadRoadBoxesAndNames) {
  const std::string gif = ThreeFrames();
  const std::string upper = Scratch("gifs") + "/UPPER.GIF";
  fs::copy_file(gif, upper, fs::copy_options::overwrite_existing);
  const std::string gifs = Scratch("gifs") + "/x.gifs";
  fs::copy_file(gif, gifs, fs::copy_options::overwrite_existing);
  const std::string missing = Scratch("gifs") + "/missing.gif";
  struct Case {
    std::string name;
    std::string prompt;  // "" when the file loads
    int flags;
    std::string title;
    int32_t frames;
  } cases[] = {
      {missing, "The file " + missing + " can not be found.", vbOKOnly, "WzAnimatedGif", 0},
      {Scratch("gifs"), "The file " + Scratch("gifs") + " can not be found.", vbOKOnly, "WzAnimatedGif", 0},
      {gifs, "Only files with the extension GIF are supported.", vbOKOnly, "WzAnimatedGif", 0},
      {upper, "", 0, "", 2},
      {gif, "", 0, "", 2},
  };
  for (const Case& c : cases) {
    if (!c.prompt.empty()) responder_->AnswerMsgBox(vbOK);
    size_t before = responder_->MsgBoxes().size();
    Load(c.name);
    auto boxes = responder_->MsgBoxes();
    if (c.prompt.empty()) {
      EXPECT_EQ(boxes.size(), before) << c.name;
      EXPECT_EQ(CStr(Get("GifFileName")), c.name);
      EXPECT_EQ(Get("NumberofFrames").i4(), c.frames);
    } else {
      ASSERT_EQ(boxes.size(), before + 1) << c.name;
      EXPECT_EQ(boxes.back().prompt, c.prompt);
      EXPECT_EQ(boxes.back().buttons, c.flags);
      EXPECT_EQ(boxes.back().title, c.title);
    }
  }
}

TEST_F(FlickgemTest, InvalidFilesTakeTheErrorPathWithoutLeavingFiles) {
  const std::string good = ThreeFrames();
  std::vector<uint8_t> bytes = fixtures::ReadFile(good);
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
  } cases[] = {
      {"empty.gif", {}},
      {"short.gif", std::vector<uint8_t>(bytes.begin(), bytes.begin() + 12)},
      {"png.gif", {0x89, 'P', 'N', 'G', 13, 10, 26, 10, 0, 0, 0, 0, 0, 0, 0, 0}},
      {"cut.gif", std::vector<uint8_t>(bytes.begin(), bytes.end() - 10)},
      {"huge.gif", [] {
         gifw::Gif g = gifw::Screen(100, 65535, kTable);
         g.images = {gifw::Solid(0, 0, 2, 2, 0)};
         return gifw::Encode(g);
       }()},
  };
  for (Case& c : cases) {
    std::string path = Scratch("gifs") + "/" + c.name;
    gifw::WriteFile(path, c.bytes);
    responder_->AnswerMsgBox(vbOK);
    Load(path);
    auto box = responder_->MsgBoxes().back();
    EXPECT_EQ(box.prompt, "Not a valid GIF file.") << c.name;
    EXPECT_EQ(box.title, "Gif File Error!");
    EXPECT_EQ(box.buttons, vbOKOnly | vbCritical);
    EXPECT_EQ(CStr(Get("GifFileName")), "") << c.name;
    EXPECT_TRUE(NoTemporaryFiles()) << c.name;
  }
}

TEST_F(FlickgemTest, CompositionReadBackFromTheWindow) {
  Load(ThreeFrames());
  QImage img = Shown();
  ASSERT_FALSE(img.isNull());
  EXPECT_EQ(img.pixel(0, 0), kRed);
  EXPECT_EQ(img.pixel(7, 5), kRed);
  // The back buffer is 32 pixels wide: the extra columns show the translated BackColor.
  EXPECT_EQ(img.pixel(20, 2), ShownBackColor());
  Show(1);
  img = Shown();
  EXPECT_EQ(img.pixel(2, 1), kGreen);
  EXPECT_EQ(img.pixel(3, 1), kRed) << "the transparent column shows what lay under it";
  EXPECT_EQ(img.pixel(4, 2), kGreen);
  EXPECT_EQ(img.pixel(1, 1), kRed);
  Show(2);
  img = Shown();
  EXPECT_EQ(img.pixel(5, 3), kBlue);
  EXPECT_NE(img.pixel(0, 0), kRed) << "disposal 2 cleared the whole buffer";
  EXPECT_NE(img.pixel(2, 1), kGreen);
  try {
    Show(-1);
    ADD_FAILURE() << "ShowGifImage -1 succeeded";
  } catch (const VBError& e) {
    EXPECT_EQ(e.Number(), 9);
  }
  (void)kWhite;
}

// BorderStyle and Appearance reach the control's window: no border; Fixed Single drawn flat as
// one pixel of the window frame colour, or in 3-D as the sunken two-pixel edge. The frame is
// drawn inside the border. Read from the window's pixels, after the property page's way of
// setting them (the put operations by name) and after a saved bag is read back.
TEST_F(FlickgemTest, BorderStyleAndAppearanceAreDrawnOnTheWindow) {
  auto sys = [](int i) {
    const COLORREF c = GetSysColor(i);
    return QRgb(0xFF000000u | (c & 0xFF) << 16 | (c & 0xFF00) | ((c >> 16) & 0xFF));
  };
  const QRgb frame = sys(6), shadow = sys(16), highlight = sys(20), dark = sys(21), light = sys(22);
  // The test's system colours must tell the rings from each other and from the picture.
  ASSERT_NE(shadow, dark);
  ASSERT_NE(highlight, light);
  struct Case {
    int16_t border, appearance;
    int inset;                            // where the picture begins
    QRgb topLeft, inner, bottomRight, innerBottomRight;  // (0,0), (1,1), (w-1,h-1), (w-2,h-2)
  } cases[] = {
      {0, 0, 0, kRed, kRed, 0, 0},
      {0, 1, 0, kRed, kRed, 0, 0},
      {1, 0, 1, frame, kRed, frame, 0},
      {1, 1, 2, shadow, dark, highlight, light},
  };
  Load(ThreeFrames());
  for (const Case& c : cases) {
    const std::string label = "BorderStyle " + std::to_string(c.border) + ", Appearance " + std::to_string(c.appearance);
    Put("BorderStyle", Variant(c.border));
    Put("Appearance", Variant(c.appearance));
    for (int i = 0; i < 5; ++i) DoEvents();  // the new client area's erase and Paint
    Show(0);
    QImage img = Shown();
    ASSERT_GE(img.width(), 40) << label;
    const int w = img.width(), h = img.height();
    EXPECT_EQ(img.pixel(0, 0), c.topLeft) << label;
    EXPECT_EQ(img.pixel(1, 1), c.inner) << label;
    if (c.border) {
      EXPECT_EQ(img.pixel(w - 1, h - 1), c.bottomRight) << label;
      EXPECT_EQ(img.pixel(w / 2, h - 1), c.bottomRight) << label << ": the bottom line";
      EXPECT_EQ(img.pixel(w - 1, h / 2), c.bottomRight) << label << ": the right line";
      EXPECT_EQ(img.pixel(w / 2, 0), c.topLeft) << label << ": the top line";
      EXPECT_EQ(img.pixel(0, h / 2), c.topLeft) << label << ": the left line";
      if (c.appearance) {
        EXPECT_EQ(img.pixel(w - 2, h - 2), c.innerBottomRight) << label;
      }
    } else {
      EXPECT_EQ(img.pixel(w - 1, h - 1), ShownBackColor()) << label << ": the surface reaches the edge";
    }
    // The picture lies inside the border: the 8 x 6 red screen, then the back buffer's fill.
    EXPECT_EQ(img.pixel(c.inset, c.inset), kRed) << label;
    EXPECT_EQ(img.pixel(c.inset + 7, c.inset + 5), kRed) << label;
    EXPECT_EQ(img.pixel(c.inset + 8, c.inset), ShownBackColor()) << label;
    EXPECT_EQ(CStr(Get("BorderStyle")), std::to_string(c.border)) << label;
    EXPECT_EQ(CStr(Get("Appearance")), std::to_string(c.appearance)) << label;
  }

  // Values read from a bag reach the window as well.
  TestForm other("frmBordered", [](TestForm& f) {
    f.Place({{kProgId, "gif2", -1, "", 0, 0, 600, 600, "",
              {{"BorderStyle", Variant(int16_t{1})}, {"Appearance", Variant(int16_t{0})}}}});
  });
  other.Show();
  for (int i = 0; i < 5; ++i) DoEvents();
  ComPtr<IUnknown> obj = static_cast<ActiveXHost*>(other.FindControl("gif2"))->Object();
  auto* uc = dynamic_cast<UserControl*>(obj.Get());
  ASSERT_NE(uc, nullptr);
  QWidget* window = WidgetFromHwnd(uc->hWnd());
  ASSERT_NE(window, nullptr);
  const QImage img = window->grab().toImage().convertToFormat(QImage::Format_RGB32);
  EXPECT_EQ(img.pixel(0, 0), frame);
  EXPECT_EQ(img.pixel(img.width() - 1, img.height() - 1), frame);
  EXPECT_EQ(img.pixel(1, 1), ShownBackColor());
  EXPECT_EQ(uc->ScaleWidth(), static_cast<float>(img.width() - 2)) << "the surface lies inside the border";
  other.Unload();

  // A value the window does not take is refused and changes nothing.
  EXPECT_THROW(Put("BorderStyle", Variant(int16_t{2})), VBError);
  EXPECT_THROW(Put("Appearance", Variant(int16_t{3})), VBError);
  EXPECT_EQ(CStr(Get("BorderStyle")), "1");
  EXPECT_EQ(CStr(Get("Appearance")), "1");
}

// A frame's drawing copies to the window only what changed in the back buffer: the frame's
// rectangle, or everything after a disposal 2 fill or an erase of the surface.
TEST_F(FlickgemTest, AFrameCopiesOnlyWhatChangedToTheWindow) {
  Load(ThreeFrames());
  const HDC dc = Uc()->hDC();
  const QRgb mark = qRgb(1, 2, 3);
  auto paintMarker = [&] {
    const HBRUSH marker = CreateSolidBrush(RGB(1, 2, 3));
    const RECT all{0, 0, 40, 40};
    FillRect(dc, &all, marker);
    DeleteObject(marker);
  };
  paintMarker();
  Show(1);  // a 3 x 2 frame at (2, 1)
  QImage img = Shown();
  EXPECT_EQ(img.pixel(2, 1), kGreen);
  EXPECT_EQ(img.pixel(3, 1), kRed) << "the transparent column shows the back buffer";
  EXPECT_EQ(img.pixel(0, 0), mark) << "outside the frame the window keeps what it had";
  EXPECT_EQ(img.pixel(7, 5), mark);
  Show(2);  // disposal 2 clears the whole buffer
  img = Shown();
  EXPECT_EQ(img.pixel(5, 3), kBlue);
  EXPECT_EQ(img.pixel(0, 0), ShownBackColor());
  EXPECT_EQ(img.pixel(20, 2), ShownBackColor());
  paintMarker();
  Uc()->Refresh();  // erased to BackColor; its Paint draws frame 0 over the whole buffer
  for (int i = 0; i < 5; ++i) DoEvents();
  img = Shown();
  EXPECT_EQ(img.pixel(0, 0), kRed);
  EXPECT_EQ(img.pixel(20, 2), ShownBackColor());
}

// Disposal runs before a frame by that frame's own method. Method 3 fills Image1's area: its
// design size (32 x 32 pixels) until the AutoSize step gives it the picture's size; method 2
// fills the whole back buffer; methods 0 and 1 leave what the earlier frames drew.
TEST_F(FlickgemTest, DisposalBeforeAFrameFillsByItsOwnMethod) {
  struct Case {
    uint8_t disposal;
    bool autoSize;
    QRgb inside;  // (1, 1), within 32 x 32
    QRgb right;   // (35, 2), right of it
    QRgb below;   // (2, 33), below it
  } cases[] = {
      {0, false, kRed, kRed, kRed},
      {1, false, kRed, kRed, kRed},
      {2, false, ShownBackColor(), ShownBackColor(), ShownBackColor()},
      {3, false, ShownBackColor(), kRed, kRed},
      {3, true, ShownBackColor(), ShownBackColor(), ShownBackColor()},
  };
  for (const Case& c : cases) {
    const std::string label = "disposal " + std::to_string(c.disposal) + (c.autoSize ? " after AutoSize" : "");
    // A red 40 x 36 screen, then a blue 2 x 2 frame at (36, 34) with the method under test.
    gifw::Gif g = gifw::Screen(40, 36, kTable);
    gifw::Image a = gifw::Solid(0, 0, 40, 36, 0);
    a.before = {gifw::GraphicControl(10)};
    gifw::Image b = gifw::Solid(36, 34, 2, 2, 2);
    b.before = {gifw::GraphicControl(10, c.disposal)};
    g.images = {a, b};
    const std::string path = Save("disposal" + std::to_string(c.disposal) + (c.autoSize ? "a" : "") + ".gif", g);
    Put("AutoSize", Variant(c.autoSize));
    Load(path);
    ASSERT_EQ(Get("NumberofFrames").i4(), 1) << label;
    QImage img = Shown();
    ASSERT_FALSE(img.isNull()) << label;
    EXPECT_EQ(img.pixel(1, 1), kRed) << label;
    EXPECT_EQ(img.pixel(35, 2), kRed) << label;
    Show(1);
    img = Shown();
    ASSERT_GE(img.width(), 40) << label;
    ASSERT_GE(img.height(), 36) << label;
    EXPECT_EQ(img.pixel(36, 34), kBlue) << label;
    EXPECT_EQ(img.pixel(37, 35), kBlue) << label;
    EXPECT_EQ(img.pixel(1, 1), c.inside) << label;
    EXPECT_EQ(img.pixel(31, 31), c.inside) << label;
    EXPECT_EQ(img.pixel(35, 2), c.right) << label;
    EXPECT_EQ(img.pixel(2, 33), c.below) << label;
    EXPECT_EQ(img.pixel(39, 35), c.right) << label << ": the corner beside the frame";
  }
}

// LoadFile without a name goes through the Open dialog. Its patterns ignore case: "X.GIF" and
// "x.gif" pass, "x.gifs" does not; the chosen upper-case name loads.
TEST_F(FlickgemTest, TheOpenDialogsPatternsIgnoreCase) {
  const std::string folder = Scratch("open");
  for (const auto& e : fs::directory_iterator(folder)) fs::remove(e.path());
  const std::string gif = ThreeFrames();
  struct Case {
    const char* name;
    bool listed;
  } cases[] = {
      {"UPPER.GIF", true}, {"lower.gif", true}, {"Mixed.Gif", true}, {"x.gifs", false}, {"x.png", false}, {"GIF", false},
  };
  for (const Case& c : cases) fs::copy_file(gif, folder + "/" + c.name, fs::copy_options::overwrite_existing);
  const std::string upper = folder + "/UPPER.GIF";
  responder_->AnswerDialog(DialogKind::Open, DialogAnswer::Ok(upper));
  Load("");
  ASSERT_EQ(responder_->Dialogs().size(), 1u);
  const DialogRequest r = responder_->Dialogs().at(0);
  EXPECT_EQ(r.kind, DialogKind::Open);
  EXPECT_EQ(r.title, "Please Select an Animated Gif File");
  EXPECT_EQ(r.filter, "Animated Gif (*.GIF)|*.GIF");
  EXPECT_EQ(CStr(Get("GifFileName")), upper);
  EXPECT_EQ(Get("NumberofFrames").i4(), 2);

  // The dialog the request makes lists what its selected filter's patterns match.
  std::unique_ptr<QFileDialog> dialog = forms_detail::MakeFileDialog(r, nullptr);
  const QString selected = dialog->selectedNameFilter();
  const qsizetype open = selected.lastIndexOf('('), close = selected.lastIndexOf(')');
  ASSERT_TRUE(open >= 0 && close > open) << selected.toStdString();
  const QStringList patterns = selected.mid(open + 1, close - open - 1).split(' ', Qt::SkipEmptyParts);
  EXPECT_FALSE(dialog->filter() & QDir::CaseSensitive) << "the dialog's name filters heed case";
  QDir dir(QString::fromStdString(folder));
  dir.setNameFilters(patterns);
  dir.setFilter((dialog->filter() & QDir::CaseSensitive) | QDir::Files);
  const QStringList shown = dir.entryList();
  for (const Case& c : cases) EXPECT_EQ(shown.contains(c.name), c.listed) << c.name;
}

TEST_F(FlickgemTest, IntervalsPlaysAndEvents) {
  Load(ThreeFrames());
  Put("NumberOfPlays", Variant(int32_t{1}));
  CallByName(Ext(), "StartPlay", DISPATCH_METHOD);
  EXPECT_EQ(Interval(), 250);
  std::vector<int32_t> intervals;
  for (int i = 0; i < 3; ++i) {
    Tick();
    intervals.push_back(Interval());
  }
  // frame 0 shown, frame 1 next (delay 20); frame 1 shown, frame 2 next (30); frame 2 shown and the
  // pass is complete: NumberOfPlays 1 stops playback.
  EXPECT_EQ(intervals, (std::vector<int32_t>{201, 301, 0}));
  EXPECT_EQ(log_, (std::vector<std::string>{"PlayStarted time", "PlayEnded time"}));
  Put("NumberOfPlays", Variant(int32_t{0}));
  CallByName(Ext(), "StartPlay", DISPATCH_METHOD);
  for (int i = 0; i < 3; ++i) Tick();
  EXPECT_EQ(Interval(), 101);  // frame 0 (delay 10) next, with the extra millisecond
  CallByName(Ext(), "StopPlay", DISPATCH_METHOD);
  EXPECT_EQ(Interval(), 0);
  EXPECT_EQ(Get("BackColor").i4(), 0xFFFFFF) << "a play makes ImageBackColor the BackColor";
}

TEST_F(FlickgemTest, AHandlerMayUnloadTheControlInsideATick) {
  Load(ThreeFrames());
  Put("NumberOfPlays", Variant(int32_t{1}));
  bool unloaded = false;
  form_->SetHandler("gif1_PlayEnded", [&](EventArgs&) {
    if (unloaded) return;
    unloaded = true;
    form_->Unload();  // the control goes while its tick runs
  });
  CallByName(Ext(), "StartPlay", DISPATCH_METHOD);
  UserControl* uc = Uc();
  for (int i = 0; i < 3 && !unloaded; ++i) {
    EventArgs none;
    uc->RaiseEvent("Timer1_Timer", none);
  }
  EXPECT_TRUE(unloaded);
  for (int i = 0; i < 3; ++i) DoEvents();
}

TEST_F(FlickgemTest, ATickBeyondTheFramesReloadsTheFile) {
  const std::string gif = ThreeFrames();
  Load(gif);
  Put("NumberofFrames", Variant(int32_t{5}));
  CallByName(Ext(), "StartPlay", DISPATCH_METHOD);
  for (int i = 0; i < 4; ++i) Tick();  // the fourth shows frame 3: recovery
  EXPECT_EQ(Get("NumberofFrames").i4(), 2);
  EXPECT_EQ(CStr(Get("GifFileName")), gif);
}

// Frame files a killed process left in the private temporary folder are removed by the next
// load; those of a process that still runs are kept.
TEST_F(FlickgemTest, FrameFilesOfDeadProcessesAreRemovedByTheNextLoad) {
  const std::string folder = TempFolder();
  struct Case {
    std::string name;
    bool kept;
  };
  const std::vector<Case> cases{
      {" 0-999999999-1.GIF", false},
      {" 1-999999999-2a.GIF", false},
      {" 0-" + std::to_string(getppid()) + "-3.GIF", true},
  };
  for (const Case& c : cases) std::ofstream(folder + c.name) << "GIF89a";
  Load(ThreeFrames());
  for (const Case& c : cases) {
    EXPECT_EQ(fs::exists(folder + c.name), c.kept) << c.name;
    fs::remove(folder + c.name);
  }
}

// Another user holds every fixed name of the private temp folder: a valid GIF still loads, its
// frame files made in a folder of the user's own. Where no temp folder can be had at all, the box
// says what is missing instead of calling the file invalid, and no frame file is made anywhere.
TEST_F(FlickgemTest, AValidGifLoadsWhenOthersHoldTheTempNamesAndNoFolderIsNamedAsSuch) {
  const std::string gif = ThreeFrames();
  const std::string current = Scratch("current");
  const fs::path before = fs::current_path();
  fs::current_path(current);
  for (const bool noFolder : {false, true}) {
    SCOPED_TRACE(noFolder ? "no temp folder at all" : "every fixed name taken");
    {
      fixtures::TempNamesTaken taken(noFolder);
      const size_t boxes = responder_->MsgBoxes().size();
      if (noFolder) responder_->AnswerMsgBox(vbOK);
      Load(gif);
      if (noFolder) {
        ASSERT_EQ(responder_->MsgBoxes().size(), boxes + 1);
        EXPECT_EQ(responder_->MsgBoxes().back().prompt, "Path not found");
        EXPECT_EQ(responder_->MsgBoxes().back().title, "Gif File Error!");
        EXPECT_EQ(CStr(Get("GifFileName")), "");
      } else {
        EXPECT_EQ(responder_->MsgBoxes().size(), boxes);
        EXPECT_EQ(CStr(Get("GifFileName")), gif);
        EXPECT_EQ(Get("NumberofFrames").i4(), 2);
        const std::string folder = TempFolder();
        EXPECT_EQ(folder.rfind(taken.Tmpdir() + "/", 0), 0u) << folder;
        EXPECT_EQ(fs::status(folder).permissions(), fs::perms::owner_all);
        for (const auto& e : fs::directory_iterator(folder)) ADD_FAILURE() << "left behind: " << e.path();
      }
    }
    EXPECT_TRUE(fs::is_empty(current)) << "nothing in the current folder";
  }
  fs::current_path(before);
}

TEST_F(FlickgemTest, BagDefaultsAreNotWrittenAndValuesComeBack) {
  EXPECT_TRUE(static_cast<ActiveXHost*>(Gif())->SaveProperties().empty());
  EXPECT_EQ(CStr(Get("Appearance")), "1");
  EXPECT_EQ(CStr(Get("BorderStyle")), "0");
  EXPECT_EQ(Get("ImageBackColor").i4(), 0xFFFFFF);
  EXPECT_EQ(static_cast<uint32_t>(Get("BackColor").i4()), 0x8000000Fu);
  Put("NumberOfPlays", Variant(int32_t{2}));
  Put("AutoPlay", Variant(true));
  Put("GifFileName", Variant("/nowhere/a.gif"));
  PropertyList saved = static_cast<ActiveXHost*>(Gif())->SaveProperties();
  std::vector<std::string> keys;
  for (const auto& p : saved) keys.push_back(p.first);
  EXPECT_EQ(keys, (std::vector<std::string>{"GifFileName", "AutoPlay", "NumberOfPlays"}));
}

TEST_F(FlickgemTest, ABagValueOfTheWrongTypeReadsAsItsDefault) {
  testing::internal::CaptureStderr();
  TestForm other("frmOther", [](TestForm& f) {
    f.Place({{kProgId, "gif2", -1, "", 0, 0, 600, 600, "",
              {{"NumberOfPlays", Variant("many")}, {"AutoPlay", Variant(true)}, {"ImageBackColor", Variant(int32_t{255})}}}});
  });
  other.Show();
  const std::string err = testing::internal::GetCapturedStderr();
  IDispatch* gif2 = other.FindControl("gif2")->DispatchObject();
  EXPECT_EQ(CallByName(gif2, "NumberOfPlays", DISPATCH_PROPERTYGET).i4(), 0);
  EXPECT_TRUE(CBool(CallByName(gif2, "AutoPlay", DISPATCH_PROPERTYGET)));
  EXPECT_EQ(CallByName(gif2, "ImageBackColor", DISPATCH_PROPERTYGET).i4(), 255);
  EXPECT_NE(err.find("NumberOfPlays"), std::string::npos) << err;
  other.Unload();
}

TEST_F(FlickgemTest, TypeDescriptionAndRegistration) {
  auto lib = FindPublishedTypeLib(kLibId, 11, 0);
  ASSERT_TRUE(lib);
  EXPECT_EQ(lib->helpFile, "Flickgem.chm");
  EXPECT_EQ(lib->lcid, 0x409u);
  const TypeDesc* itf = lib->Find(kIidFlickgem);
  ASSERT_TRUE(itf);
  struct Row {
    const char* name;
    DISPID id;
    INVOKEKIND kind;
  } rows[] = {
      {"NumberofFrames", kNumberofFrames, INVOKE_PROPERTYGET}, {"NumberofFrames", kNumberofFrames, INVOKE_PROPERTYPUT},
      {"ClearImage", kClearImage, INVOKE_FUNC},                {"Picture", kPicture, INVOKE_PROPERTYGET},
      {"Picture", kPicture, INVOKE_PROPERTYPUTREF},            {"BorderStyle", kBorderStyle, INVOKE_PROPERTYGET},
      {"BorderStyle", kBorderStyle, INVOKE_PROPERTYPUT},       {"Refresh", kRefresh, INVOKE_FUNC},
      {"GifFileName", kGifFileName, INVOKE_PROPERTYGET},       {"GifFileName", kGifFileName, INVOKE_PROPERTYPUT},
      {"ShowGifImage", kShowGifImage, INVOKE_FUNC},            {"AutoSize", kAutoSize, INVOKE_PROPERTYGET},
      {"AutoSize", kAutoSize, INVOKE_PROPERTYPUT},             {"AutoPlay", kAutoPlay, INVOKE_PROPERTYGET},
      {"AutoPlay", kAutoPlay, INVOKE_PROPERTYPUT},             {"LoadFile", kLoadFile, INVOKE_FUNC},
      {"Appearance", kAppearance, INVOKE_PROPERTYGET},         {"Appearance", kAppearance, INVOKE_PROPERTYPUT},
      {"StartPlay", kStartPlay, INVOKE_FUNC},                  {"StopPlay", kStopPlay, INVOKE_FUNC},
      {"ImageBackColor", kImageBackColor, INVOKE_PROPERTYGET}, {"ImageBackColor", kImageBackColor, INVOKE_PROPERTYPUT},
      {"BackColor", kBackColor, INVOKE_PROPERTYGET},           {"BackColor", kBackColor, INVOKE_PROPERTYPUT},
      {"NumberOfPlays", kNumberOfPlays, INVOKE_PROPERTYGET},   {"NumberOfPlays", kNumberOfPlays, INVOKE_PROPERTYPUT},
  };
  ASSERT_EQ(itf->members.size(), std::size(rows));
  for (size_t i = 0; i < std::size(rows); ++i) {
    EXPECT_EQ(itf->members[i].name, rows[i].name) << i;
    EXPECT_EQ(itf->members[i].id, rows[i].id) << i;
    EXPECT_EQ(itf->members[i].kind, rows[i].kind) << i;
  }
  EXPECT_EQ(itf->helpString, "Animated Gif Ctl Ver 2.0");
  const std::string clsid = "CLSID\\" + GuidToString(kClsidFlickgem);
  EXPECT_EQ(registry::ReadString(HKEY_CLASSES_ROOT, clsid + "\\MiscStatus\\1", "").value_or("<none>"), "131473");
  EXPECT_EQ(registry::ReadString(HKEY_CLASSES_ROOT, clsid + "\\Version", "").value_or("<none>"), "11.0");
  EXPECT_EQ(registry::ReadString(HKEY_CLASSES_ROOT, clsid + "\\InprocServer32", "ThreadingModel").value_or("<none>"), "Apartment");
  EXPECT_EQ(registry::ReadString(HKEY_CLASSES_ROOT, clsid + "\\ToolboxBitmap32", "").value_or("<none>"),
            std::string(FLICKGEM_LIBRARY) + ", 30000");
  EXPECT_EQ(registry::ReadString(HKEY_CLASSES_ROOT, std::string(kPageProgId) + "\\CLSID").value_or("<none>"), GuidToString(kClsidGeneral));
}

TEST_F(FlickgemTest, UnregisteringRemovesExactlyWhatRegisteringWrote) {
  const char* bin = std::getenv("SUITE_BIN_DIR");
  const std::string regsvr = std::string(bin ? bin : ".") + "/regsvr /s ";
  const std::vector<std::string> keys = {"CLSID\\" + GuidToString(kClsidFlickgem), "CLSID\\" + GuidToString(kClsidGeneral),
                                         kProgId, kPageProgId, "TypeLib\\" + GuidToString(kLibId),
                                         "Interface\\" + GuidToString(kIidFlickgem)};
  const std::vector<std::string> before = registry::SubKeys(HKEY_CLASSES_ROOT, "");
  for (const std::string& k : keys) EXPECT_TRUE(registry::KeyExists(HKEY_CLASSES_ROOT, k)) << k;
  ASSERT_EQ(std::system((regsvr + "/u '" + FLICKGEM_LIBRARY + "'").c_str()), 0);
  for (const std::string& k : keys) EXPECT_FALSE(registry::KeyExists(HKEY_CLASSES_ROOT, k)) << k;
  ASSERT_EQ(std::system((regsvr + "'" + FLICKGEM_LIBRARY + "'").c_str()), 0);
  EXPECT_EQ(registry::SubKeys(HKEY_CLASSES_ROOT, ""), before);
}

TEST_F(FlickgemTest, AnotherProcessCreatesBothClasses) {
  const std::string out = Scratch("client") + "/out.txt";
  const std::string cmd = std::string("'") + FLICKGEM_CLIENT + "' >'" + out + "' 2>&1";
  EXPECT_EQ(std::system(cmd.c_str()), 0);
  std::ifstream in(out);
  std::string text((std::istreambuf_iterator<char>(in)), {});
  EXPECT_NE(text.find("Flickgem NumberOfPlays=0"), std::string::npos) << text;
  EXPECT_NE(text.find("General IPropertyPage=yes"), std::string::npos) << text;
}

TEST_F(FlickgemTest, PropertyPageReadsAndAppliesTheControl) {
  Put("BorderStyle", Variant(int16_t{1}));
  Put("Appearance", Variant(int16_t{0}));
  Put("GifFileName", Variant("/nowhere/gone.gif"));
  ComPtr<IUnknown> obj = static_cast<ActiveXHost*>(Gif())->Object();
  ComPtr<ISpecifyPropertyPages> specify;
  ASSERT_EQ(obj->QueryInterface(ISpecifyPropertyPages::iid, specify.put_void()), S_OK);
  CAUUID pages;
  ASSERT_EQ(specify->GetPages(&pages), S_OK);
  ASSERT_EQ(pages.cElems, 1u);
  EXPECT_EQ(pages.pElems[0], kClsidGeneral);
  CoTaskMemFree(pages.pElems);

  auto lineEdit = [](QDialog& f, const char* name) {
    QWidget* w = f.findChild<QWidget*>(name);
    auto* e = qobject_cast<QLineEdit*>(w);
    return e ? e : (w ? w->findChild<QLineEdit*>() : nullptr);
  };
  auto previous = SetPropertyFramePresenter([&](QDialog& frame, OAHWND) {
    EXPECT_TRUE(frame.findChild<QPushButton*>("apply")->isEnabled()) << "the page is changed at once";
    auto border = frame.findChildren<QRadioButton*>("Option1");
    auto look = frame.findChildren<QRadioButton*>("Option2");
    EXPECT_EQ(border.size(), 2);
    EXPECT_EQ(look.size(), 2);
    if (border.size() != 2 || look.size() != 2) return false;
    EXPECT_TRUE(border[1]->isChecked()) << "Fixed Single";
    EXPECT_TRUE(look[0]->isChecked()) << "Flat";
    EXPECT_EQ(frame.findChild<QWidget*>("lblAppearance")->toolTip().toStdString(), "Set the appeaance of the control");
    EXPECT_EQ(lineEdit(frame, "txtGifFileName")->text().toStdString(), "") << "a missing file empties the box";
    look[1]->click();  // 3D
    EXPECT_EQ(lineEdit(frame, "txtAppearance")->text().toStdString(), "1");
    lineEdit(frame, "txtNumberOfPlays")->setText("2.5");
    frame.findChild<QPushButton*>("ok")->click();
    return frame.result() == QDialog::Accepted;
  });
  IUnknown* objects[] = {obj.Get()};
  EXPECT_EQ(OleCreatePropertyFrame(0, 0, 0, u"gif1", 1, objects, 1, &kClsidGeneral, 0x409, 0, nullptr), S_OK);
  EXPECT_EQ(CStr(Get("Appearance")), "1");
  EXPECT_EQ(CStr(Get("BorderStyle")), "1");
  EXPECT_EQ(Get("NumberOfPlays").i4(), 2) << "2.5 rounds half to even";
  EXPECT_EQ(CStr(Get("GifFileName")), "");

  // A value the control refuses: the frame shows the error's description and stays open.
  responder_->AnswerMsgBox(vbOK);
  SetPropertyFramePresenter([&](QDialog& frame, OAHWND) {
    lineEdit(frame, "txtAppearance")->setText("7");
    frame.findChild<QPushButton*>("ok")->click();
    EXPECT_NE(frame.result(), QDialog::Accepted);
    return false;
  });
  EXPECT_EQ(OleCreatePropertyFrame(0, 0, 0, u"gif1", 1, objects, 1, &kClsidGeneral, 0x409, 0, nullptr), S_OK);
  ASSERT_FALSE(responder_->MsgBoxes().empty());
  EXPECT_EQ(responder_->MsgBoxes().back().prompt, "Invalid property value");
  SetPropertyFramePresenter(previous);
}

}  // namespace
