// The splitter through the main window's own road, on real hosted tiles: a movie added by the
// open dialog, its tile clicked, the preview pane's Split button, frames marked and saved in the
// splitter; the tile then holds the saved piece. A Stop during the save changes no tile and
// leaves no file.
#include <gtest/gtest.h>

#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "SplitterTestSupport.h"
#include "core/msgbox.h"
#include "core/runtime_convert.h"
#include "fixtures.h"
#include "forms/app.h"
#include "forms/qt/hwnd_qt.h"
#include "forms/responder.h"
#include "mainwindow/FormInstances.h"
#include "mainwindow/MainWindowFixture.h"
#include "mainwindow/frmShow.h"
#include "registry/settings.h"
#include "scripted_responder.h"
#include "splitter/WzTick.h"
#include "splitter/frmSplitter.h"
#include "window_driver.h"

namespace fs = std::filesystem;
using fixtures::Kind;

namespace {

class SplitterRoad : public MainWindowFixture {
 protected:
  void SetUp() override {
    MainWindowFixture::SetUp();
    RegisterWzTick();
    SaveSetting("Reelwright", "Init", "MultiSelect", "false");  // adding asks the open dialog
    fs::create_directories(root_ / "tmp");
    Keep("TMPDIR", (root_ / "tmp").string());
    out_ = root_ / "pieces";
    fs::create_directories(out_);
  }
  void TearDown() override {
    frmSplitter& splitter = DefaultForm<frmSplitter>();
    SelectionUnsaved = false;
    if (splitter.IsLoaded()) splitter.Unload();
    MainWindowFixture::TearDown();
    SetLoadedFileNameHolder(nullptr);  // the main window's variable is gone
  }
  std::string Movie(Kind kind, double seconds, const std::string& name) {
    fixtures::Options o;
    o.seconds = seconds;
    o.fps = 25;
    const fs::path target = media_ / name;
    fs::copy_file(fixtures::Make(kind, (root_ / "made").string(), o), target, fs::copy_options::overwrite_existing);
    return target.string();
  }
  // Adds the movie by the open dialog into the empty last tile and clicks that tile; its index.
  int16_t AddAndSelect(frmShow& w, const std::string& movie) {
    const auto index = static_cast<int16_t>(w.TileUBound());
    {
      ScriptScope script;
      script->AnswerDialog(DialogKind::Open, DialogAnswer::Ok(movie));
      w.mnuImport_Click();
    }
    EXPECT_EQ(CStr(w.TileGet(index, tile::kMediaFile)), movie);
    driver::Click(*w.FindControl("ctrlSourceClip", index));
    EXPECT_EQ(w.sLoadedFileName, movie);
    EXPECT_TRUE(w.cmdSplit->Visible());
    EXPECT_TRUE(w.cmdSplit->Enabled());
    return index;
  }
  // Clicks Split; `inside` runs in the splitter while it is shown modally.
  int Split(frmShow& w, const std::function<void(frmSplitter&)>& inside) {
    int shown = 0;
    auto watch = driver::WhenShownModally("frmSplitter", [&](Form& f) {
      ++shown;
      inside(static_cast<frmSplitter&>(f));
    });
    driver::Click(*w.cmdSplit);
    return shown;
  }
  // Types the end and the start frame and presses their buttons, as a user does: once the window
  // has settled (its load timer, a second after opening, clears the marks' unsaved state; on a busy
  // machine a save started sooner would still be running when it fires).
  static void Mark(frmSplitter& s, int start, int end) {
    for (int i = 0; i < 2000 && s.Timer1->Enabled(); ++i) {
      DoEvents();
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_FALSE(s.Timer1->Enabled());
    s.txtEnd->Text(std::to_string(end));
    driver::Click(*s.cmdSetStop);
    s.txtStart->Text(std::to_string(start));
    driver::Click(*s.cmdSelStart);
  }
  static void PressTool(frmSplitter& s, const char* key) {
    Button& b = s.Toolbar1->ButtonsOf().Item(key);
    EventArgs click{Variant(static_cast<IUnknown*>(&b))};
    s.RaiseEvent("Toolbar1_ButtonClick", click);
  }
  std::vector<std::string> OutFiles() {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(out_)) names.push_back(e.path().filename().string());
    return names;
  }

  fs::path out_;
};

}  // namespace

// Frames 25 to 74 of a 4 s 25 fps movie (start 25, end mark 75) saved through the main window's
// road: the tile holds the piece, which holds exactly those frames and their 2 s of sound.
TEST_F(SplitterRoad, ThePieceSavedInTheSplitterIsTheTilesMovie) {
  frmShow& w = Window();
  for (Kind kind : {Kind::AviMjpegPcm, Kind::AviDx50}) {
    SCOPED_TRACE(fixtures::Name(kind));
    const std::string movie = Movie(kind, 4, fixtures::Name(kind) + ".avi");
    const int16_t index = AddAndSelect(w, movie);
    const std::string target = (out_ / (fixtures::Name(kind) + " piece.avi")).string();
    ScriptScope script;
    script->AnswerDialog(DialogKind::Save, DialogAnswer::Ok(target));
    bool stillOpenAfterSave = true;
    const int shown = Split(w, [&](frmSplitter& s) {
      EXPECT_EQ(s.sSourceFile, movie);
      EXPECT_EQ(s.lFrameCount, 100);
      Mark(s, 25, 75);
      EXPECT_EQ(s.lStartFrame, 25);
      EXPECT_EQ(s.lEndFrame, 75);
      PressTool(s, "SaveAs");
      stillOpenAfterSave = s.IsLoaded();
    });
    EXPECT_EQ(shown, 1);
    EXPECT_FALSE(stillOpenAfterSave) << "a save closes the splitter";

    EXPECT_EQ(w.sLoadedFileName, target);
    EXPECT_EQ(CStr(w.TileGet(index, tile::kMediaFile)), target);
    std::vector<int> expected;
    for (int n = 25; n < 75; ++n) expected.push_back(n);
    EXPECT_EQ(fixtures::DecodedFrameNumbers(target), expected);
    const fixtures::Probe probe = fixtures::RunFfprobe(target);
    ASSERT_TRUE(probe.ok) << probe.error;
    ASSERT_NE(probe.First("video"), nullptr);
    EXPECT_EQ(probe.First("video")->frames, 50);
    ASSERT_NE(probe.First("audio"), nullptr);
    const int rate = probe.First("audio")->sampleRate;
    EXPECT_NEAR(AudioSamples(target, rate), 2.0 * rate, 1.0);
  }
  EXPECT_EQ(OutFiles().size(), 2u);
}

// Two 4 s pieces split from a 10 s movie, each replacing its tile's movie: each tile takes the
// piece's duration, the pane and the status line show the piece as a choice in the clip list does,
// and the join of the two tiles lasts their 8 s (and the one second a join adds), not the movie's
// 10 s twice.
TEST_F(SplitterRoad, ASplitTileTakesThePiecesDurationAndTheJoinItsLength) {
  frmShow& w = Window();
  TransitionsEnabled = false;
  SaveSetting("Reelwright", "Options", "Compression", "Batch");  // no batch encoder: nothing handed on
  const std::string movie = Movie(Kind::AviMjpegPcm, 10, "ten.avi");
  const struct {
    int start, end;
  } marks[] = {{0, 100}, {125, 225}};
  std::vector<std::string> pieces;
  for (const auto& m : marks) {
    SCOPED_TRACE(m.start);
    const int16_t index = AddAndSelect(w, movie);
    EXPECT_NEAR(CDbl(w.TileGet(index, tile::kDuration)), 10.0, 0.1) << "the movie's own";
    const std::string target = (out_ / ("piece " + std::to_string(m.start) + ".avi")).string();
    ScriptScope script;
    script->AnswerDialog(DialogKind::Save, DialogAnswer::Ok(target));
    const int shown = Split(w, [&](frmSplitter& s) {
      Mark(s, m.start, m.end);
      PressTool(s, "SaveAs");
    });
    ASSERT_EQ(shown, 1);
    ASSERT_EQ(CStr(w.TileGet(index, tile::kMediaFile)), target);
    pieces.push_back(target);
    const double duration = CDbl(w.TileGet(index, tile::kDuration));
    EXPECT_NEAR(duration, 4.0, 0.05) << "the piece's duration";
    EXPECT_EQ(w.SelectedClipIndex, index);
    EXPECT_EQ(w.sLoadedFileName, target);
    EXPECT_EQ(w.Combo1->Text(), target);
    EXPECT_EQ(w.lblFileName->Caption(), target);
    EXPECT_EQ(w.lblSelected->Caption(), "Selected clip: " + fs::path(target).filename().string() +
                                            " Duration: " + CStr(w.TileGet(index, tile::kDuration)));
  }
  ASSERT_EQ(w.TileUBound(), 2);
  // The join of the two pieces.
  const std::string joined = (root_ / "joined.avi").string();
  {
    ScriptScope script;
    script->AnswerDialog(DialogKind::Save, DialogAnswer::Ok(joined));
    Button& join = w.Toolbar1->ButtonsOf().Item("Join");
    EventArgs click{Variant(static_cast<IUnknown*>(&join))};
    w.RaiseEvent("Toolbar1_ButtonClick", click);
  }
  // Without transitions the joined movie lasts the tiles' durations and one second.
  const fixtures::Probe probe = fixtures::RunFfprobe(joined);
  ASSERT_TRUE(probe.ok) << probe.error;
  EXPECT_NEAR(probe.duration, 4.0 + 4.0 + 1.0, 0.2);
  ASSERT_NE(probe.First("audio"), nullptr);
  const int rate = probe.First("audio")->sampleRate;
  EXPECT_NEAR(AudioSamples(joined, rate), 9.0 * rate, 0.2 * rate);
}

// A Stop pressed while the piece is written: the splitter stays open with its marks, and once it
// is closed the tile still holds the movie and no file was left behind.
TEST_F(SplitterRoad, AStopDuringTheSaveChangesNoTileAndLeavesNoFile) {
  frmShow& w = Window();
  const std::string movie = Movie(Kind::AviDx50, 8, "long.avi");
  const int16_t index = AddAndSelect(w, movie);
  const std::string target = (out_ / "stopped.avi").string();
  ScriptScope script;
  script->AnswerDialog(DialogKind::Save, DialogAnswer::Ok(target));
  script->AnswerMsgBox(vbNo);  // the close question: the marks are not saved
  QTimer stopper;
  stopper.setInterval(0);
  bool stopped = false;
  QObject::connect(&stopper, &QTimer::timeout, [&] {
    frmSplitter& s = DefaultForm<frmSplitter>();
    if (stopped || !s.bRendering) return;
    stopped = true;
    PressTool(s, "Stop");
  });
  stopper.start();
  const int shown = Split(w, [&](frmSplitter& s) {
    Mark(s, 5, 195);
    PressTool(s, "SaveAs");
    EXPECT_TRUE(s.IsLoaded());
    EXPECT_EQ(s.lStartFrame, 5);
    EXPECT_EQ(s.lEndFrame, 195);
    EXPECT_TRUE(s.mnuSave->Enabled());
    EXPECT_TRUE(OutFiles().empty());
    s.Unload();
  });
  stopper.stop();
  EXPECT_EQ(shown, 1);
  EXPECT_TRUE(stopped);
  ASSERT_EQ(script->MsgBoxes().size(), 1u);
  EXPECT_EQ(script->MsgBoxes()[0].prompt, "Do you want to save your file?");
  EXPECT_FALSE(DefaultForm<frmSplitter>().IsLoaded());
  EXPECT_EQ(w.sLoadedFileName, movie);
  EXPECT_EQ(CStr(w.TileGet(index, tile::kMediaFile)), movie);
  EXPECT_TRUE(OutFiles().empty());
  EXPECT_EQ(fixtures::DecodedFrameNumbers(movie).size(), 200u);
}

// Exit pressed as the trimmed preview comes to its end (the window's controls are enabled again
// while the preview still lays out the panel), the save question answered No: the splitter closes
// and stays closed, the main window goes on, and the preview's last steps touch no window that
// went with it.
TEST_F(SplitterRoad, ExitAsTheTrimmedPreviewEndsClosesTheSplitter) {
  frmShow& w = Window();
  const std::string movie = Movie(Kind::AviDx50, 4, "preview.avi");
  const int16_t index = AddAndSelect(w, movie);
  ScriptScope script;
  script->AnswerMsgBox(vbNo);  // the close question: the marks are not saved
  bool previewing = false, framesShown = false, pressed = false, goneInside = false;
  QPointer<QWidget> window;
  QTimer exiter;
  exiter.setInterval(0);
  QObject::connect(&exiter, &QTimer::timeout, [&] {
    frmSplitter& s = DefaultForm<frmSplitter>();
    if (pressed || !previewing || !s.IsLoaded()) return;
    if (s.bPreviewRunning) framesShown = true;
    Button* exit = nullptr;
    for (int32_t i = 1; i <= s.Toolbar1->ButtonsOf().Count(); ++i)
      if (s.Toolbar1->ButtonsOf().Item(i).Key() == "Exit") exit = &s.Toolbar1->ButtonsOf().Item(i);
    if (!framesShown || s.bPreviewRunning || !exit || !exit->Enabled()) return;
    pressed = true;
    window = WidgetFromHwnd(s.hWnd());
    PressTool(s, "Exit");
  });
  exiter.start();
  const int shown = Split(w, [&](frmSplitter& s) {
    Mark(s, 10, 20);
    previewing = true;
    PressTool(s, "PreviewTrimmed");
    goneInside = pressed && window.isNull();
    previewing = false;
  });
  exiter.stop();
  EXPECT_EQ(shown, 1);
  EXPECT_TRUE(pressed);
  EXPECT_FALSE(goneInside) << "the window was deleted while its toolbar's click still ran";
  ASSERT_EQ(script->MsgBoxes().size(), 1u);
  EXPECT_EQ(script->MsgBoxes()[0].prompt, "Do you want to save your file?");
  EXPECT_FALSE(DefaultForm<frmSplitter>().IsLoaded());
  EXPECT_EQ(w.sLoadedFileName, movie);
  EXPECT_EQ(CStr(w.TileGet(index, tile::kMediaFile)), movie);
  // The main window carries on: its own timers and events run with the splitter gone.
  EXPECT_TRUE(driver::RunUntil([&] { return !DefaultForm<frmSplitter>().IsLoaded() && w.IsLoaded(); }));
  EXPECT_FALSE(DefaultForm<frmSplitter>().IsLoaded());
}
