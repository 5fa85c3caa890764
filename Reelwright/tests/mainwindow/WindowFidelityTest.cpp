// What the user sees of the storyboard window: the shared file dialog after the join's, the
// frame-size list in the window's layout, the joined preview's cover and the pane's text, the
// pointer of a new tile's load, a new tile's border, and the storyboard collections that pass
// over a tile that cannot be read.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "MainWindowFixture.h"
#include "core/runtime_convert.h"
#include "fixtures.h"
#include "forms/app.h"
#include "forms/responder.h"
#include "mainwindow/frmShow.h"
#include "registry/settings.h"
#include "scripted_responder.h"

namespace fs = std::filesystem;

namespace {

class WindowFidelity : public MainWindowFixture {
 protected:
  void SetUp() override {
    MainWindowFixture::SetUp();
    SaveSetting("Reelwright", "Init", "MultiSelect", "false");
    frmShow::CodecDialog = nullptr;
  }
  void TearDown() override {
    frmShow::CodecDialog = nullptr;
    MainWindowFixture::TearDown();
  }
  std::string Made(fixtures::Kind kind, const std::string& name, int width = 96, int height = 64) {
    fixtures::Options o;
    o.width = width;
    o.height = height;
    o.fps = 15;
    o.seconds = 2.0;
    const std::string made = fixtures::Make(kind, (root_ / "made").string(), o);
    const fs::path target = media_ / name;
    fs::copy_file(made, target, fs::copy_options::overwrite_existing);
    return target.string();
  }
  void Add(frmShow& w, const std::string& path) {
    ScriptScope script;
    script->AnswerDialog(DialogKind::Open, DialogAnswer::Ok(path));
    w.mnuImport_Click();
  }
  // The toolbar's Join with its save dialog cancelled.
  void CancelledJoinDialog(frmShow& w) {
    ScriptScope script;
    script->AnswerDialog(DialogKind::Save, DialogAnswer::Cancel());
    PressJoin(w);
  }
  void PressJoin(frmShow& w) {
    Button& join = w.Toolbar1->ButtonsOf().Item("Join");
    EventArgs click{Variant(static_cast<IUnknown*>(&join))};
    w.RaiseEvent("Toolbar1_ButtonClick", click);
  }
};

// A control shows when it and every container around it are visible.
bool Shows(Control& c) {
  for (Control* k = &c; k; k = k->Container()) {
    if (!k->Visible()) return false;
  }
  return c.Parent().Visible();
}

struct Rect {
  int32_t left, top, right, bottom;
};
Rect RectOf(Control& c) { return {c.Left(), c.Top(), c.Left() + c.Width(), c.Top() + c.Height()}; }
bool Overlap(const Rect& a, const Rect& b) {
  return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

// Records the screen's mouse pointer at every message box, then answers from a script.
class PointerAtBoxes : public ScriptedResponder {
 public:
  std::vector<int16_t> pointers;
  int MessageBox(const MsgBoxRequest& request) override {
    pointers.push_back(Screen().MousePointer());
    return ScriptedResponder::MessageBox(request);
  }
};

}  // namespace

// Every road that shows the window's common file dialog after the join's save dialog (which asks
// for the extension "avi") sets what it relies on: no default extension, so a name is used
// exactly as chosen.
TEST_F(WindowFidelity, EachUseOfTheSharedFileDialogAfterTheJoinsUsesTheNameAsChosen) {
  frmShow& w = Window();
  const std::string clip = Made(fixtures::Kind::AviMjpegPcm, "clip.avi");
  Add(w, clip);
  ASSERT_EQ(w.TileUBound(), 1);
  // A movie and a project without an extension.
  const std::string bare = (media_ / "bare movie").string();
  fs::copy_file(clip, bare);
  const std::string project = (root_ / "story").string();

  struct Road {
    const char* name;
    DialogKind kind;
    std::string answer;
    std::function<void()> run;
    std::function<void()> check;
  };
  const Road roads[] = {
      {"Save Project", DialogKind::Save, project, [&] { w.mnuSaveProject_Click(); },
       [&] {
         EXPECT_TRUE(fs::exists(project));
         EXPECT_FALSE(fs::exists(project + ".avi"));
       }},
      {"Open Project", DialogKind::Open, project, [&] { w.mnuOpen_Click(); },
       [&] {
         ASSERT_EQ(w.TileUBound(), 1);
         EXPECT_EQ(w.TileFile(0), clip);
       }},
      {"Add File to Storyboard", DialogKind::Open, bare, [&] { w.mnuImport_Click(); },
       [&] {
         ASSERT_EQ(w.TileUBound(), 2);
         EXPECT_EQ(w.TileFile(1), bare);
       }},
      {"Reload File", DialogKind::Open, clip,
       [&] {
         w.SelectedClipIndex = 1;
         w.mnuLoadNew_Click();
       },
       [&] {
         ASSERT_EQ(w.TileUBound(), 2);
         EXPECT_EQ(w.TileFile(1), clip);
       }},
  };
  for (const Road& road : roads) {
    SCOPED_TRACE(road.name);
    CancelledJoinDialog(w);
    ScriptScope script;
    script->AnswerDialog(road.kind, DialogAnswer::Ok(road.answer));
    road.run();
    ASSERT_EQ(script->Dialogs().size(), 1u);
    EXPECT_EQ(script->Dialogs().at(0).defaultExt, "");
    road.check();
  }
}

// "Video Size:" and its list show in the window's right column, under the clip list, exactly
// while the output frame-size option is on; they cover nothing else of the column.
TEST_F(WindowFidelity, TheFrameSizeListShowsExactlyWhileTheOptionIsOn) {
  struct Case {
    const char* stored;
    bool shows;
  };
  for (const Case& c : {Case{"TRUE", true}, Case{"FALSE", false}}) {
    SCOPED_TRACE(c.stored);
    SaveSetting("Reelwright", "Init", "ResizeStream", c.stored);
    frmShow& w = Window();
    EXPECT_EQ(Shows(*w.Label10), c.shows);
    EXPECT_EQ(Shows(*w.CmbVideoSizes), c.shows);
    ASSERT_GE(w.CmbVideoSizes->ListCount(), 3);
    EXPECT_EQ(w.CmbVideoSizes->ListIndex(), 2);
    const Rect label = RectOf(*w.Label10), list = RectOf(*w.CmbVideoSizes);
    EXPECT_GE(label.left, w.picTop->Left());
    EXPECT_LE(list.right, static_cast<int32_t>(w.ScaleWidth()));
    EXPECT_LE(list.bottom, w.Picture1->Top()) << "above the status bar";
    EXPECT_LE(label.bottom, w.Picture1->Top());
    Rect comboLine = RectOf(*w.Combo1);
    comboLine.bottom = comboLine.top + 315;
    for (Control* other : {static_cast<Control*>(&*w.picPrev), static_cast<Control*>(&*w.pnlVideoFile),
                           static_cast<Control*>(&*w.lblProject), static_cast<Control*>(&*w.lblLabelProj)}) {
      SCOPED_TRACE(other->Name());
      EXPECT_FALSE(Overlap(label, RectOf(*other)));
      EXPECT_FALSE(Overlap(list, RectOf(*other)));
    }
    EXPECT_FALSE(Overlap(label, comboLine));
    EXPECT_FALSE(Overlap(list, comboLine));
    EXPECT_FALSE(Overlap(label, list));
    w_.reset();
    for (Form* f : std::vector<Form*>(Forms())) f->Unload();
  }
}

// The size chosen in the list is the joined movie's frame size.
TEST_F(WindowFidelity, TheSizeChosenInTheListIsTheJoinedMoviesSize) {
  SaveSetting("Reelwright", "Init", "ResizeStream", "TRUE");
  frmShow& w = Window();
  ResizeStreamEnabled = true;
  Add(w, Made(fixtures::Kind::AviMjpegPcm, "a.avi"));
  frmShow::CodecDialog = [](frmShow&, IMediaControl*, bool& videoSelected) {
    videoSelected = false;
    return true;
  };
  struct Case {
    std::string size;
    int width, height;
  };
  for (const Case& c : {Case{"160 x 120", 160, 120}, Case{"320 x 240", 320, 240}}) {
    SCOPED_TRACE(c.size);
    int16_t line = -1;
    for (int16_t i = 0; i < w.CmbVideoSizes->ListCount(); ++i) {
      if (w.CmbVideoSizes->List(i) == c.size) line = i;
    }
    ASSERT_GE(line, 0);
    w.CmbVideoSizes->ListIndex(line);
    const std::string target = (root_ / ("joined " + std::to_string(c.width) + ".avi")).string();
    ScriptScope script;
    script->AnswerDialog(DialogKind::Save, DialogAnswer::Ok(target));
    PressJoin(w);
    const fixtures::Probe p = fixtures::RunFfprobe(target);
    ASSERT_TRUE(p.ok) << p.error;
    ASSERT_NE(p.First("video"), nullptr);
    EXPECT_EQ(p.First("video")->width, c.width);
    EXPECT_EQ(p.First("video")->height, c.height);
  }
}

// The joined preview's blank and an edited picture (Picture2) lie over the preview pane, and
// "Preview Window" is drawn into the pane's picture box, not laid over the pictures it shows.
TEST_F(WindowFidelity, ThePanesCoverAndTextBelongToThePreviewBox) {
  frmShow& w = Window();
  for (int pass = 0; pass < 2; ++pass) {
    SCOPED_TRACE(pass == 0 ? "after the load" : "after a wider layout");
    if (pass == 1) w.Width(16500);
    EXPECT_EQ(w.Picture2->Left(), w.picPrev->Left());
    EXPECT_EQ(w.Picture2->Top(), w.picPrev->Top());
    EXPECT_EQ(w.Picture2->Width(), w.picPrev->Width());
    EXPECT_EQ(w.Picture2->Height(), w.picPrev->Height());
  }
  EXPECT_EQ(w.lblPreview->Caption(), "") << "no text over the pane's pictures";
  bool lit = false;
  for (int y = 0; y < 450 && !lit; y += 15) {
    for (int x = 0; x < 2400 && !lit; x += 15) lit = w.picPrev->Point(static_cast<float>(x), static_cast<float>(y)) != 0;
  }
  EXPECT_TRUE(lit) << "the text is drawn in the preview box";
}

// A new tile's load shows the arrow and hourglass; the new tile, like tile 0 at the load, carries
// the window's normal border, on which its menu glyph shows.
TEST_F(WindowFidelity, ANewTilesLoadShowsArrowAndHourglassAndTheNormalBorder) {
  frmShow& w = Window();
  EXPECT_EQ(CLng(w.TileGet(0, tile::kBorderColor)), tile::kNormalBorder);
  auto responder = std::make_shared<PointerAtBoxes>();
  responder->OnUnexpected([](const std::string& what) { ADD_FAILURE() << "unexpected " << what; });
  const std::string portrait = Made(fixtures::Kind::Bmp, "portrait.bmp", 64, 96);
  responder->AnswerDialog(DialogKind::Open, DialogAnswer::Ok(portrait)).AnswerMsgBox(vbOK);
  std::shared_ptr<Responder> previous = SetResponder(responder);
  w.mnuImport_Click();
  SetResponder(previous);
  ASSERT_EQ(responder->MsgBoxes().size(), 1u);
  EXPECT_NE(responder->MsgBoxes().at(0).prompt.find("The height of this clip is greater than the width."),
            std::string::npos);
  ASSERT_EQ(responder->pointers.size(), 1u);
  EXPECT_EQ(responder->pointers.at(0), vbArrowHourglass);
  EXPECT_EQ(Screen().MousePointer(), vbDefault);
  ASSERT_EQ(w.TileUBound(), 1);
  EXPECT_EQ(CLng(w.TileGet(1, tile::kBorderColor)), tile::kNormalBorder);
}

// The join and the joined preview read each tile's transition and duration as steps of their own:
// a tile that cannot be read is passed over and the tiles after it are still collected. The
// preview's bar takes its value and shows even when its maximum is refused.
TEST_F(WindowFidelity, TheCollectionsPassOverATileThatCannotBeRead) {
  frmShow& w = Window();
  for (const char* name : {"a.avi", "b.avi", "c.avi"}) Add(w, Made(fixtures::Kind::AviMjpegPcm, name));
  ASSERT_EQ(w.TileUBound(), 3);
  w.TilePut(2, tile::kTransition, Variant(std::string("Barn")));
  const double last = CDbl(w.TileGet(2, tile::kDuration));
  ASSERT_GT(last, 0);
  w.UnloadElement("ctrlSourceClip", 1);  // tile 1 can no longer be read

  struct Case {
    const char* name;
    std::function<void()> run;
  };
  const Case cases[] = {
      {"join",
       [&] {
         frmShow::CodecDialog = [](frmShow&, IMediaControl*, bool&) { return false; };  // cancelled
         ScriptScope script;
         // The storyboard with a tile that cannot be read gives no timeline, so no graph: the
         // join ends saying so instead of calling on a graph that was never made.
         script->AnswerDialog(DialogKind::Save, DialogAnswer::Ok((root_ / "never.avi").string()))
             .AnswerMsgBox(vbOK);
         PressJoin(w);
         ASSERT_EQ(script->MsgBoxes().size(), 1u);
         EXPECT_EQ(script->MsgBoxes().at(0).prompt.rfind("The joined movie could not be written.", 0), 0u);
         EXPECT_FALSE(std::filesystem::exists(root_ / "never.avi"));
       }},
      {"joined preview", [&] { w.cmdPrev_Click(0); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ClipTransitions.assign(3, "(old)");
    c.run();
    ASSERT_EQ(ClipTransitions.size(), 3u);
    EXPECT_EQ(ClipTransitions[2], "Barn");
  }
  // The preview's bar counts the tiles that could be read.
  EXPECT_EQ(w.ProgressBar1->Max(), static_cast<float>(std::nearbyint(CDbl(w.TileGet(0, tile::kDuration)) + last)));
}

TEST_F(WindowFidelity, TheJoinedPreviewsBarTakesItsValueWhenItsMaximumIsRefused) {
  frmShow& w = Window();
  w.ProgressBar1->Max(10);
  w.ProgressBar1->Value(5);
  w.cmdPrev_Click(0);  // an empty storyboard: a maximum of 0 is refused
  EXPECT_EQ(w.ProgressBar1->Max(), 10.0f);
  EXPECT_EQ(w.ProgressBar1->Value(), 0.0f) << "the later assignments still ran";
}
