// Two roads of the main window driven through its real controls: "Reload File" from a tile's
// menu glyph (a new file for that tile, or the "not valid for this type of operation" message),
// and Yes to the save question from the close box and from Exit (the project saved, the window
// kept, the next close going through without a question).
#include <gtest/gtest.h>

#include <QWidget>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "MainWindowFixture.h"
#include "core/msgbox.h"
#include "core/runtime_convert.h"
#include "fixtures.h"
#include "forms/end_requests.h"
#include "forms/form.h"
#include "forms/qt/hwnd_qt.h"
#include "forms/responder.h"
#include "mainwindow/frmShow.h"
#include "mainwindow/modSettings.h"
#include "registry/settings.h"
#include "scripted_responder.h"
#include "window_driver.h"

namespace fs = std::filesystem;

namespace {

class MainWindowRoads : public MainWindowFixture {
 protected:
  std::string Media(fixtures::Kind kind, const std::string& name, double seconds = 1.0) {
    fixtures::Options o;
    o.seconds = seconds;
    const std::string made = fixtures::Make(kind, (root_ / "made").string(), o);
    const fs::path target = media_ / name;
    fs::copy_file(made, target, fs::copy_options::overwrite_existing);
    return target.string();
  }
  // Adds a file through the open dialog.
  void Add(frmShow& w, const std::string& path) {
    ScriptScope script;
    AddByDialog(script, w, path);
  }
  // Chooses "Reload File" from tile i's menu glyph.
  void ReloadFromTile(frmShow& w, int16_t i) {
    driver::ChooseNextPopupItem("Reload File");
    driver::ClickInner(*w.FindControl("ctrlSourceClip", i), "Image2");
  }
  static std::string ReadAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
};

const char* const kNotValid =
    "The media file selected is not valid for this type of operation.\r\n"
    "Streaming media must be at least as long as the minimum slide duration.";

}  // namespace

// Reload File on the second of three tiles: the chosen file replaces that tile's file only, the
// tile takes the default transition and keeps a duration it has, the project counts as changed;
// a cancelled dialog changes nothing but the changed mark.
TEST_F(MainWindowRoads, ReloadFileReplacesTheChosenTilesFile) {
  frmShow& w = Window();
  const std::string a = Media(fixtures::Kind::AviMjpegPcm, "a.avi", 1.0);
  const std::string b = Media(fixtures::Kind::AviMjpegPcm, "b.avi", 2.0);
  const std::string c = Media(fixtures::Kind::Bmp, "c.bmp");
  const std::string d = Media(fixtures::Kind::AviMjpegPcm, "d.avi", 3.0);
  for (const auto& f : {a, b, c}) Add(w, f);
  ASSERT_EQ(Files(w), (std::vector<std::string>{a, b, c}));
  w.TilePut(1, tile::kTransition, Variant(std::string("Barn")));
  const double kept = CDbl(w.TileGet(1, tile::kDuration));
  ASSERT_GT(kept, 0);
  DefaultTransition = "Fade";
  {  // Cancelled: nothing changes but the changed mark.
    w.ProjectChanged = false;
    ScriptScope script;
    script->AnswerDialog(DialogKind::Open, DialogAnswer::Cancel());
    ReloadFromTile(w, 1);
    ASSERT_EQ(script->Dialogs().size(), 1u);
    EXPECT_EQ(script->Dialogs()[0].filter, frmShow::kMultimediaFilter);
    EXPECT_EQ(script->Dialogs()[0].fileName, "");
    EXPECT_EQ(Files(w), (std::vector<std::string>{a, b, c}));
    EXPECT_EQ(CStr(w.TileGet(1, tile::kTransition)), "Barn");
    EXPECT_TRUE(w.ProjectChanged);
    EXPECT_TRUE(w.mnuSaveProject->Enabled());
  }
  {  // Chosen: tile 1 takes d.avi.
    w.ProjectChanged = false;
    ScriptScope script;
    script->AnswerDialog(DialogKind::Open, DialogAnswer::Ok(d));
    ReloadFromTile(w, 1);
    EXPECT_TRUE(script->MsgBoxes().empty());
    EXPECT_EQ(Files(w), (std::vector<std::string>{a, d, c}));
    EXPECT_EQ(w.TileUBound(), 3) << "no tile added";
    EXPECT_EQ(CStr(w.TileGet(1, tile::kTransition)), "Fade");
    EXPECT_TRUE(w.ProjectChanged);
    std::vector<std::string> listed;
    for (int16_t i = 0; i < w.Combo1->ListCount(); ++i) listed.push_back(w.Combo1->List(i));
    EXPECT_NE(std::find(listed.begin(), listed.end(), d), listed.end()) << "the clip list names the new file";
  }
}

// Answers as the script does, running an action while the first file dialog is up (what the
// window does meanwhile, behind the dialog).
class WhileTheDialogIsUp : public Responder {
 public:
  WhileTheDialogIsUp(std::shared_ptr<Responder> script, std::function<void()> action)
      : script_(std::move(script)), action_(std::move(action)) {}
  int MessageBox(const MsgBoxRequest& request) override { return script_->MessageBox(request); }
  DialogAnswer Dialog(const DialogRequest& request) override {
    if (action_) std::exchange(action_, nullptr)();
    return script_->Dialog(request);
  }

 private:
  std::shared_ptr<Responder> script_;
  std::function<void()> action_;
};

// Reload File whose file cannot be put into the tile (the tile the window selected is no longer
// there once the name is chosen, so the first tile write fails): the "not valid for this type
// of operation" message, OK only, and nothing put anywhere. A file the tile takes but cannot read
// gets the tile's media-error box instead, and the tile keeps the name.
TEST_F(MainWindowRoads, ReloadFileThatFailsSaysTheFileIsNotValid) {
  frmShow& w = Window();
  const std::string a = Media(fixtures::Kind::AviMjpegPcm, "a.avi");
  const std::string b = Media(fixtures::Kind::AviMjpegPcm, "b.avi");
  const std::string c = Media(fixtures::Kind::AviMjpegPcm, "c.avi");
  Add(w, a);
  Add(w, b);
  {
    ScriptScope script;
    script->AnswerDialog(DialogKind::Open, DialogAnswer::Ok(c)).AnswerMsgBox(vbOK);
    auto previous = SetResponder(std::make_shared<WhileTheDialogIsUp>(CurrentResponder(), [&] { w.SelectedClipIndex = 5; }));
    ReloadFromTile(w, 1);
    SetResponder(previous);
    ASSERT_EQ(script->MsgBoxes().size(), 1u);
    EXPECT_EQ(script->MsgBoxes()[0].prompt, kNotValid);
    EXPECT_EQ(script->MsgBoxes()[0].buttons, vbOKOnly);
    EXPECT_EQ(Files(w), (std::vector<std::string>{a, b})) << "the file went into no tile";
    EXPECT_TRUE(w.ProjectChanged);
  }
  {  // A file the tile cannot read: the media-error box, no "not valid" message.
    Add(w, a);
    const fs::path junk = media_ / "junk.avi";
    std::ofstream(junk) << "not a movie";
    ScriptScope script;
    script->AnswerDialog(DialogKind::Open, DialogAnswer::Ok(junk.string())).AnswerMsgBox(vbOK);
    ReloadFromTile(w, 0);
    ASSERT_EQ(script->MsgBoxes().size(), 1u);
    EXPECT_EQ(script->MsgBoxes()[0].prompt.rfind("The file " + junk.string() + "\r\n may be corrupt.", 0), 0u)
        << script->MsgBoxes()[0].prompt;
    EXPECT_EQ(Files(w), (std::vector<std::string>{junk.string(), b, a}));
  }
}

// Yes to the save question, from the close box and from Exit: the project is saved under the
// name chosen, the window stays shown and usable, and the next close or Exit goes through
// without a question (the save cleared the changed mark).
TEST_F(MainWindowRoads, YesToTheSaveQuestionSavesAndKeepsTheWindow) {
  SaveSetting("Reelwright", "Init", "ShowProject", "TRUE");
  const std::string movie = Media(fixtures::Kind::AviMjpegPcm, "clip.avi");
  struct Case {
    std::string name;
    bool exitButton;
    std::string question;
  };
  const Case cases[] = {
      {"close box", false, "Do you want to save your changes?"},
      {"Exit", true, "Your project has changed.\r\nDo you want to save your changes?"},
  };
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    frmShow& w = Window();
    ASSERT_TRUE(ShowProjectEnabled);
    Add(w, movie);
    ASSERT_EQ(w.TileUBound(), 1);
    ASSERT_TRUE(w.ProjectChanged);
    const fs::path project = root_ / ("story " + std::to_string(n++) + ".wzj");
    auto close = [&] {
      if (c.exitButton) {
        driver::Click(*w.cmdExit);
      } else {
        WidgetFromHwnd(w.hWnd())->close();  // the window's close box
      }
    };
    {
      ScriptScope script;
      script->AnswerMsgBox(vbYes).AnswerDialog(DialogKind::Save, DialogAnswer::Ok(project.string()));
      close();
      ASSERT_EQ(script->MsgBoxes().size(), 1u);
      EXPECT_EQ(script->MsgBoxes()[0].prompt, c.question);
      EXPECT_EQ(script->MsgBoxes()[0].buttons, vbYesNoCancel);
      ASSERT_EQ(script->Dialogs().size(), 1u);
      EXPECT_EQ(script->Dialogs()[0].kind, DialogKind::Save);
    }
    EXPECT_EQ(ReadAll(project), movie + ";" + CStr(w.TileGet(0, tile::kTransition)) + "\r\n");
    EXPECT_TRUE(w.IsLoaded());
    EXPECT_TRUE(w.Visible());
    EXPECT_FALSE(w.ProjectChanged);
    EXPECT_TRUE(w.cmdExit->Visible());
    EXPECT_TRUE(w.cmdExit->Enabled());
    EXPECT_EQ(w.lblProject->Caption(), project.string());
    {  // The next close asks nothing and ends the program.
      ScriptScope script;
      close();
      EXPECT_TRUE(script->MsgBoxes().empty());
    }
    EXPECT_FALSE(w.IsLoaded());
    EXPECT_TRUE(Forms().empty()) << "every window unloaded";
    w_.reset();
  }
}
