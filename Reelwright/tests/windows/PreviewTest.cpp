// The preview player: FileOpen per fixture kind (bad files give the box and a fresh window),
// Play at the end rewinds, the rate chosen before opening, the sliders reaching the graph, the
// layout by Options/ActiveWindow, Open from the menu, closing, and Add to Storyboard without a
// storyboard.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>

#include "PrivateRegistry.h"
#include "WindowsTestSupport.h"
#include "com/object.h"
#include "core/error.h"
#include "core/runtime_convert.h"
#include "mainwindow/modMain.h"
#include "mainwindow/modSettings.h"
#include "fixtures.h"
#include "forms/hwnd.h"
#include "forms/responder.h"
#include "registry/settings.h"
#include "scripted_responder.h"
#include "window_driver.h"
#include "windows/frmPreview.h"

namespace fs = std::filesystem;
using fixtures::Kind;

namespace {

// A stand-in storyboard tile: its automation object reports each property set by dispatch
// identifier to the test.
using PutRecorder = std::function<void(int16_t tile, DISPID id, const Variant& value)>;
PutRecorder& Recorder() {
  static PutRecorder recorder;
  return recorder;
}

class RecordingTileObject : public ComObject<IDispatch> {
 public:
  explicit RecordingTileObject(int16_t tile) : tile_(tile) {}
  HRESULT GetTypeInfoCount(uint32_t* count) override {
    *count = 0;
    return S_OK;
  }
  HRESULT GetTypeInfo(uint32_t, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT GetIDsOfNames(REFIID, const char16_t**, uint32_t, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT*, EXCEPINFO*, uint32_t*) override {
    if (!(flags & DISPATCH_PROPERTYPUT) || !params || params->cArgs != 1) return DISP_E_MEMBERNOTFOUND;
    if (Recorder()) Recorder()(tile_, id, params->rgvarg[0]);
    return S_OK;
  }

 private:
  int16_t tile_;
};

class RecordingTile : public Control {
 public:
  explicit RecordingTile(const ControlSite& site) : Control(site), object_(MakeComObject<RecordingTileObject>(site.index)) {}
  IDispatch* DispatchObject() const override { return object_.Get(); }

 private:
  ComPtr<RecordingTileObject> object_;
};
const bool kTileRegistered = RegisterControlClass<RecordingTile>("RecordingTile");

// The storyboard's side: tile 0 filled, tile 1 the drop tile; a file set on the last tile loads
// the next drop tile, as the main window's ImportFile handler does.
class StandInStoryboard : public Form {
 public:
  StandInStoryboard() : Form("frmShow") {}

 protected:
  void Design() override {
    Place({{"RecordingTile", "ctrlSourceClip", 0, "", 0, 0, 0, 0, ""},
           {"RecordingTile", "ctrlSourceClip", 1, "", 0, 0, 0, 0, ""}});
  }
};

class Preview : public PrivateRegistry {
 protected:
  void SetUp() override {
    PrivateRegistry::SetUp();
    SetMsgBoxHandler([](const MsgBoxRequest& r) { return CurrentResponder()->MessageBox(r); });
    media_ = (windows_test::Scratch("preview") / "media").string();
  }
  void TearDown() override {
    f_.Unload();
    PrivateRegistry::TearDown();
  }
  // The main window's calling order: caption, FileOpen.
  void Open(const std::string& path) {
    f_.Caption("Previewing " + path);
    std::string p = path;
    f_.FileOpen(p);
  }
  std::string media_;
  frmPreview f_;
};

}  // namespace

TEST_F(Preview, FileOpenPerKind) {
  struct Case {
    Kind kind;
    bool plays;
  };
  // Files that do not render (a text file named .avi, an empty file) reach the box once graphs
  // without a renderer refuse their position; the graph answers 0 today, so their Play runs on
  // an empty graph. The failing Play itself is tested below.
  const Case cases[] = {{Kind::AviMjpegPcm, true}, {Kind::Mpeg1Ps, true}, {Kind::Mov, true}, {Kind::Wav, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(fixtures::Name(c.kind));
    ScriptScope script;
    std::string path = fixtures::Make(c.kind, media_);
    if (!c.plays) script->AnswerMsgBox(vbOK);
    Open(path);
    if (c.plays) {
      EXPECT_TRUE(f_.IsLoaded());
      EXPECT_TRUE(f_.bPlaying);
      EXPECT_FALSE(f_.cmdPlay->Enabled());
      EXPECT_TRUE(f_.cmdPause->Enabled());
      EXPECT_TRUE(f_.cmdStop->Enabled());
      EXPECT_NEAR(f_.dDuration, 1.0, 0.1);
      EXPECT_EQ(f_.txtRate->Text(), "1");
      f_.Show();  // as the caller does: the layout rule sizes the video area
      EXPECT_EQ(f_.picVideoWindow->Width(), 320) << "the small preview area by default";
      EXPECT_EQ(f_.picVideoWindow->Height(), 240);
      EXPECT_EQ(f_.Caption(), "Previewing " + path);
      EXPECT_TRUE(script->MsgBoxes().empty());
      driver::Click(*f_.cmdPause);
      EXPECT_FALSE(f_.bPlaying);
      EXPECT_TRUE(f_.cmdPlay->Enabled());
      driver::Click(*f_.cmdStop);
      EXPECT_EQ(f_.txtElapsed->Text(), "0.0");
      EXPECT_FALSE(f_.cmdStop->Enabled());
      f_.Unload();
      EXPECT_EQ(f_.objMediaControl.Get(), nullptr) << "the graph goes with the window";
    } else {
      ASSERT_EQ(script->MsgBoxes().size(), 1u);
      EXPECT_EQ(script->MsgBoxes()[0].prompt, "Error the file is empty.");
      EXPECT_EQ(script->MsgBoxes()[0].buttons, vbOKOnly);
      EXPECT_FALSE(f_.IsLoaded()) << "the window unloads itself";
      f_.Show();
      EXPECT_FALSE(f_.cmdPlay->Enabled()) << "the caller's show gets a fresh, empty window";
      EXPECT_FALSE(f_.cmdStop->Enabled());
      EXPECT_EQ(f_.Caption(), "Preview");
      f_.Unload();
    }
  }
}

TEST_F(Preview, AFailingPlayShowsTheBoxAndUnloads) {
  ScriptScope script;
  std::string path = fixtures::Make(Kind::AviMjpegPcm, media_);
  Open(path);
  driver::Click(*f_.cmdPause);
  f_.objMediaPosition = nullptr;  // the position cannot be read
  script->AnswerMsgBox(vbOK);
  driver::Click(*f_.cmdPlay);
  ASSERT_EQ(script->MsgBoxes().size(), 1u);
  EXPECT_EQ(script->MsgBoxes()[0].prompt, "Error the file is empty.");
  EXPECT_EQ(script->MsgBoxes()[0].buttons, vbOKOnly);
  EXPECT_FALSE(f_.IsLoaded());
  EXPECT_EQ(f_.objMediaControl.Get(), nullptr);
  f_.Show();
  EXPECT_FALSE(f_.cmdPlay->Enabled()) << "a fresh, empty window";
  EXPECT_EQ(f_.Caption(), "Preview");
}

TEST_F(Preview, PlayAtTheEndsWholeSecondRewinds) {
  ScriptScope script;
  fixtures::Options o;
  o.seconds = 10;
  o.fps = 5;
  o.audio = false;
  std::string path = fixtures::Make(Kind::AviMjpegPcm, media_, o);
  Open(path);
  EXPECT_DOUBLE_EQ(f_.dDuration, 10.0);
  driver::Click(*f_.cmdPause);
  ASSERT_EQ(f_.objMediaPosition->put_CurrentPosition(9.5), S_OK);
  driver::Click(*f_.cmdPlay);
  double position = -1;
  ASSERT_EQ(f_.objMediaPosition->get_CurrentPosition(&position), S_OK);
  EXPECT_LT(position, 1.0) << "9.5 rounds to 10, the length: Play starts again";
  driver::Click(*f_.cmdPause);
  ASSERT_EQ(f_.objMediaPosition->put_CurrentPosition(4.4), S_OK);
  driver::Click(*f_.cmdPlay);
  ASSERT_EQ(f_.objMediaPosition->get_CurrentPosition(&position), S_OK);
  EXPECT_GE(position, 4.0) << "elsewhere Play goes on from there";
}

TEST_F(Preview, TheRateChosenBeforeOpeningAndTheSlidersReachTheGraph) {
  ScriptScope script;
  std::string path = fixtures::Make(Kind::AviMjpegPcm, media_);
  f_.Show();
  driver::ClickAt(f_.optPlaybackRate(2), 6, 6);  // no graph yet: nothing but the choice
  EXPECT_EQ(f_.txtRate->Text(), "");
  Open(path);
  EXPECT_EQ(f_.txtRate->Text(), "2");
  double rate = 0;
  ASSERT_EQ(f_.objMediaPosition->get_Rate(&rate), S_OK);
  EXPECT_EQ(rate, 2.0);
  driver::ClickAt(f_.optPlaybackRate(0), 6, 6);
  EXPECT_EQ(f_.txtRate->Text(), "0.5");

  f_.slVolume->Value(-2500);
  f_.slBalance->Value(1500);
  LONG volume = 0, balance = 0;
  ASSERT_EQ(f_.objBasicAudio->get_Volume(&volume), S_OK);
  ASSERT_EQ(f_.objBasicAudio->get_Balance(&balance), S_OK);
  EXPECT_EQ(volume, -2500);
  EXPECT_EQ(balance, 1500);
}

TEST_F(Preview, LayoutByTheStoredPreviewSize) {
  struct Case {
    const char* stored;  // nullptr: absent
    int32_t width;
  };
  const Case cases[] = {{"320X240", 320}, {"320x240", 320}, {"320 x 240", 320}, {"640 x 480", 640}, {nullptr, 320}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.stored ? c.stored : "absent");
    Step([] { DeleteSetting("Reelwright", "Options", "ActiveWindow"); });
    Err().Clear();
    if (c.stored) SaveSetting("Reelwright", "Options", "ActiveWindow", c.stored);
    f_.Show();
    f_.Width(f_.Width() + 150);
    EXPECT_EQ(f_.picVideoWindow->Width(), c.width);
    EXPECT_EQ(f_.picVideoWindow->Height(), c.width * 3 / 4);
    EXPECT_EQ(f_.Width(), c.width <= 375 ? 5625 : c.width * 15);
    EXPECT_EQ(f_.Label3->Caption(), std::to_string(f_.Width() / 15));
    EXPECT_EQ(f_.picVideoWindow->Left(), f_.Width() / 15 / 2 - c.width / 2);
    EXPECT_EQ(f_.Picture1->Top() + f_.Picture1->Height(), static_cast<int32_t>(f_.ScaleHeight()))
        << "the button bar at the window's foot";
    EXPECT_EQ(f_.Picture1->Width(), static_cast<int32_t>(f_.ScaleWidth()));
    f_.Unload();
  }
}

TEST_F(Preview, OpenFromTheMenuNamesTheNewFileAndClosingReleasesTheGraph) {
  ScriptScope script;
  std::string first = fixtures::Make(Kind::AviMjpegPcm, media_);
  std::string second = fixtures::Make(Kind::Wav, media_);
  Open(first);
  script->AnswerDialog(DialogKind::Open, DialogAnswer::Ok(second));
  EventArgs none;
  f_.RaiseEvent("mnuOpen_Click", none);
  EXPECT_EQ(script->Dialogs().back().filter,
            "Movies (*.avi;*.mov;*.mpg;*.mpeg;*.wza;*.wzm)|*.avi;*.mov;*.mpg;*.mpeg;*.wza;*.wzm");
  EXPECT_EQ(f_.sFileName, second);
  EXPECT_EQ(f_.Caption(), "Previewing " + second);
  EXPECT_TRUE(f_.bPlaying);
  // Cancel leaves the file loaded and stopped.
  script->AnswerDialog(DialogKind::Open, DialogAnswer::Cancel());
  f_.RaiseEvent("mnuOpen_Click", none);
  EXPECT_FALSE(f_.bPlaying);
  EXPECT_EQ(f_.sFileName, second);
  SendMessage(f_.hWnd(), WM_CLOSE, 0, 0);
  EXPECT_FALSE(f_.IsLoaded());
  EXPECT_EQ(f_.objMediaControl.Get(), nullptr);
}

TEST_F(Preview, AddToStoryboardWithoutAStoryboardJustCloses) {
  ScriptScope script;
  std::string path = fixtures::Make(Kind::AviMjpegPcm, media_);
  Open(path);
  driver::Click(*f_.FindControl("Command2"));
  EXPECT_FALSE(f_.IsLoaded());
  EXPECT_TRUE(script->MsgBoxes().empty());
}

TEST_F(Preview, PlayedToTheEndTheTickShowsTheLengthAndLeavesTheGraphRunning) {
  ScriptScope script;
  std::string path = fixtures::Make(Kind::AviMjpegPcm, media_);
  f_.Show();
  driver::ClickAt(f_.optPlaybackRate(2), 6, 6);  // twice as fast: half a second
  Open(path);
  ASSERT_TRUE(f_.bPlaying);
  auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (f_.bPlaying && std::chrono::steady_clock::now() < end) DoEvents();  // the 250 ms ticks run
  ASSERT_FALSE(f_.bPlaying) << "the tick saw the end";
  EXPECT_EQ(f_.txtElapsed->Text(), f_.txtDuration->Text());
  EXPECT_TRUE(f_.cmdPlay->Enabled());
  EXPECT_FALSE(f_.cmdPause->Enabled());
  OAFilterState state = 0;
  ASSERT_EQ(f_.objMediaControl->GetState(0, &state), S_OK);
  EXPECT_EQ(state, State_Running) << "the graph is not stopped";
  driver::Click(*f_.cmdPlay);
  double position = -1;
  ASSERT_EQ(f_.objMediaPosition->get_CurrentPosition(&position), S_OK);
  EXPECT_LT(position, 0.5) << "Play after the end starts again";
}

TEST_F(Preview, ShowControlsPausesAndShowVideoPlaysAgain) {
  ScriptScope script;
  std::string path = fixtures::Make(Kind::AviMjpegPcm, media_);
  Open(path);
  f_.Show();
  ASSERT_TRUE(f_.bPlaying);
  driver::Click(*f_.FindControl("Command3"));  // Show Controls
  EXPECT_EQ(f_.mnuControls->Caption(), "Show Video");
  EXPECT_FALSE(f_.bPlaying) << "paused";
  EXPECT_TRUE(f_.cmdPlay->Enabled());
  EXPECT_TRUE(f_.Picture2->Visible());
  EXPECT_FALSE(f_.picVideoWindow->Visible());
  EXPECT_EQ(f_.Height(), 6000);
  EXPECT_NEAR(f_.FindControl("Command1")->Top(), f_.Picture2->Height() * 15 - 1000, 15) << "Close near the foot";
  driver::Click(*f_.FindControl("Command1"));  // Close: back to the video
  EXPECT_EQ(f_.mnuControls->Caption(), "Show Controls");
  EXPECT_TRUE(f_.bPlaying);
  EXPECT_FALSE(f_.Picture2->Visible());
  EXPECT_TRUE(f_.picVideoWindow->Visible());
}

TEST_F(Preview, AddToStoryboardFillsTheDropTileAndGivesTheNewOneItsThreeProperties) {
  ASSERT_TRUE(kTileRegistered);
  ScriptScope script;
  std::string path = fixtures::Make(Kind::AviMjpegPcm, media_);
  StandInStoryboard main;
  main.Load();
  SetMainWindow([&main]() -> Form& { return main; });
  struct Put {
    int16_t tile;
    DISPID id;
    Variant value;
    bool operator==(const Put&) const = default;
  };
  std::vector<Put> puts;
  Recorder() = [&](int16_t tile, DISPID id, const Variant& value) {
    puts.push_back({tile, id, value});
    if (id == 0x6803000A && tile == main.ElementIndexes("ctrlSourceClip").back()) {
      main.LoadElement("ctrlSourceClip", static_cast<int16_t>(tile + 1));
    }
  };
  TransitionsEnabled = true;
  DragDropEnabled = false;
  DefaultTransition = "Fade";
  Open(path);
  driver::Click(*f_.FindControl("Command2"));
  Recorder() = nullptr;
  SetMainWindow(nullptr);
  EXPECT_EQ(puts, (std::vector<Put>{{1, 0x6803000A, Variant(path)},
                                    {2, 0x68030001, Variant(true)},
                                    {2, 0x68030000, Variant(false)},
                                    {2, 0x68030004, Variant("Fade")}}))
      << "the file on the drop tile, then the three properties on the new drop tile; no duration";
  EXPECT_FALSE(f_.IsLoaded());
  EXPECT_TRUE(script->MsgBoxes().empty());
  main.Unload();
}

// The picture fills the video area exactly (no band beside or under it), at either stored size,
// after the open and after a later layout.
TEST_F(Preview, TheVideoWindowFillsThePictureAreaExactly) {
  for (const char* stored : {"320X240", "640X480"}) {
    SCOPED_TRACE(stored);
    SaveSetting("Reelwright", "Options", "ActiveWindow", stored);
    Open(fixtures::Make(Kind::AviMjpegPcm, media_));
    ASSERT_TRUE(f_.objVideoWindow);
    for (const char* moment : {"opened", "laid out again"}) {
      SCOPED_TRACE(moment);
      LONG left = -1, top = -1, width = 0, height = 0;
      ASSERT_EQ(f_.objVideoWindow->GetWindowPosition(&left, &top, &width, &height), S_OK);
      EXPECT_EQ(left, 0);
      EXPECT_EQ(top, 0);
      EXPECT_EQ(width, f_.picVideoWindow->Width());
      EXPECT_EQ(height, f_.picVideoWindow->Height());
      f_.Width(f_.Width() + 150);
    }
    f_.Unload();
  }
}

// Every button of the bar shows its caption and lies whole inside the bar (a button cut at the
// bar's foot leaves the gaps between the buttons looking like buttons without a caption).
TEST_F(Preview, EveryBarButtonShowsItsCaptionWholeInsideTheBar) {
  f_.Show();
  const int32_t barWidth = static_cast<int32_t>(f_.Picture1->ScaleWidth());
  const int32_t barHeight = static_cast<int32_t>(f_.Picture1->ScaleHeight());
  for (const char* name : {"cmdPlay", "cmdPause", "cmdStop", "Command3", "Command2", "cmdExit"}) {
    SCOPED_TRACE(name);
    Control* b = f_.FindControl(name);
    ASSERT_NE(b, nullptr);
    EXPECT_FALSE(CStr(b->GetProperty("Caption")).empty());
    EXPECT_GE(b->Left(), 0);
    EXPECT_GE(b->Top(), 0);
    EXPECT_LE(b->Left() + b->Width(), barWidth);
    EXPECT_LE(b->Top() + b->Height(), barHeight) << "cut at the bar's foot";
  }
}
