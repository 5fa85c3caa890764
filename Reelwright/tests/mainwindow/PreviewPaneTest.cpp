// The storyboard window's preview pane (loads of every fixture kind, play to the end, pause and
// play, stop, the portrait notice), the DivX road of a file put into a tile, picture editing from
// the window, and the menu commands that start programs and open windows.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

#include "core/msgbox.h"
#include "core/runtime_convert.h"
#include "core/runtime_math.h"
#include "MainWindowFixture.h"
#include "fixtures.h"
#include "forms/app.h"
#include "forms/responder.h"
#include "mainwindow/FormInstances.h"
#include "mainwindow/frmShow.h"
#include "mainwindow/modSettings.h"
#include "registry/settings.h"
#include "scripted_responder.h"
#include "shell/files.h"
#include "window_driver.h"
#include "windows/frmDivx.h"

namespace fs = std::filesystem;
using fixtures::Kind;

namespace {

class Pane : public MainWindowFixture {
 protected:
  std::string Media(Kind kind, const std::string& name, fixtures::Options o = {}) {
    const std::string made = fixtures::Make(kind, (root_ / "made").string(), o);
    const fs::path target = media_ / name;
    fs::copy_file(made, target, fs::copy_options::overwrite_existing);
    return target.string();
  }
  // Puts a file into the drop tile, as every way of adding a file ends.
  void Add(frmShow& w, const std::string& path) { w.TilePut(w.TileUBound(), tile::kMediaFile, Variant(path)); }
  // Lets the window's timers run until the pane stops playing (guarded against hangs).
  bool PlayUntilStopped(frmShow& w) {
    for (int i = 0; i < 600 && w.PreviewPanePlaying; ++i) {
      DoEvents();
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return !w.PreviewPanePlaying;
  }
  // A program in the program folder that writes its arguments to <name>.args and ends.
  std::string Recorder(const std::string& relative) {
    const fs::path path = program_ / relative;
    fs::create_directories(path.parent_path());
    std::ofstream(path) << "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" << path.string() << ".part'\nmv '" << path.string()
                        << ".part' '" << path.string() << ".args'\n";
    ::chmod(path.c_str(), 0755);
    return path.string();
  }
  std::vector<std::string> ArgsOf(const std::string& program) {
    for (int i = 0; i < 1000 && !fs::exists(program + ".args"); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::vector<std::string> lines;
    std::ifstream in(program + ".args");
    for (std::string l; std::getline(in, l);) lines.push_back(l);
    return lines;
  }

};

}  // namespace

TEST_F(Pane, LoadsOfEveryKind) {
  ScriptScope script;  // no file gives a box from the pane but the DivX question
  frmShow& w = Window();
  DefaultClipDuration = 7;
  for (Kind kind : fixtures::AllKinds()) {
    SCOPED_TRACE(fixtures::Name(kind));
    const std::string path = Media(kind, "clip" + fixtures::Extension(kind));
    // What a load that fails leaves as it was.
    w.txtDuration->Text("keep");
    w.txtRate->Text("keep");
    w.sLoadedFileName = path;
    w.SelectedClipIndex = 0;
    // The DIV3 movie is questioned; No loads it as it is.
    if (kind == Kind::AviDiv3) script->AnswerMsgBox(vbNo);
    w.LoadFile();
    EXPECT_FALSE(DivxConverted);
    if (kind == Kind::TextAsAvi || kind == Kind::EmptyFile) {
      EXPECT_EQ(w.txtDuration->Text(), "keep");
      EXPECT_EQ(w.txtRate->Text(), "keep");
      continue;
    }
    if (fixtures::IsBad(kind)) {
      // Damaged movies: whatever plays of them, or the texts as they were; never a box.
      if (w.txtDuration->Text() != "keep") {
        EXPECT_GT(Val(w.txtDuration->Text()), 0) << w.txtDuration->Text();
      }
      continue;
    }
    EXPECT_EQ(w.lblFileName->Caption(), path);
    EXPECT_EQ(w.txtRate->Text(), "1");
    if (fixtures::IsStill(kind)) {
      EXPECT_EQ(w.txtDuration->Text(), "0");
      EXPECT_DOUBLE_EQ(CDbl(w.TileGet(0, tile::kDuration)), 7.0);
      EXPECT_FALSE(w.cmdPlayLoaded->Enabled());
    } else {
      EXPECT_NEAR(CDbl(Variant(w.txtDuration->Text())), 1.0, 0.15) << w.txtDuration->Text();
      EXPECT_DOUBLE_EQ(CDbl(w.TileGet(0, tile::kDuration)), w.PreviewPaneDuration);
      EXPECT_TRUE(w.cmdPlayLoaded->Enabled());
    }
    EXPECT_FALSE(w.cmdPause->Enabled());
    EXPECT_FALSE(w.cmdStop->Enabled());
    EXPECT_FALSE(w.picPrev->Visible());
    if (!fixtures::IsSoundOnly(kind)) {
      EXPECT_EQ(w.PreviewVideoWidth, 160);
      EXPECT_EQ(w.PreviewVideoHeight, 120);
    }
  }
  // An empty name changes nothing but the repair flag.
  DivxConverted = true;
  w.txtDuration->Text("keep");
  w.sLoadedFileName = "";
  w.LoadFile();
  EXPECT_FALSE(DivxConverted);
  EXPECT_EQ(w.txtDuration->Text(), "keep");
}

TEST_F(Pane, PlayToTheEndThenPauseAndStop) {
  ScriptScope script;
  frmShow& w = Window();
  const std::string movie = Media(Kind::AviMjpegPcm, "movie.avi");
  Add(w, movie);
  ASSERT_EQ(w.TileFile(0), movie);
  EXPECT_EQ(w.lblSelected->Caption(), "Selected clip: movie.avi Duration: " + CStr(w.TileGet(0, tile::kDuration)));

  w.cmdPlayLoaded_Click();
  EXPECT_TRUE(w.PreviewPanePlaying);
  EXPECT_TRUE(w.picPrev->Visible());
  EXPECT_FALSE(w.cmdPlayLoaded->Enabled());
  EXPECT_TRUE(w.cmdPause->Enabled());
  EXPECT_TRUE(w.cmdStop->Enabled());
  EXPECT_FALSE(w.cmdPlayVideoWindow->Enabled());
  ASSERT_TRUE(PlayUntilStopped(w));
  EXPECT_EQ(w.txtElapsed->Text(), w.txtDuration->Text());
  EXPECT_TRUE(w.cmdPlayLoaded->Enabled());
  EXPECT_FALSE(w.cmdPause->Enabled());
  EXPECT_FALSE(w.cmdStop->Enabled());
  EXPECT_FALSE(w.picPrev->Visible());
  EXPECT_FALSE(w.ProgressBar1->Visible());
  EXPECT_FLOAT_EQ(w.ProgressBar1->Max(), 1.0f);
  EXPECT_FLOAT_EQ(w.ProgressBar1->Value(), 1.0f);

  // Pause, then Play: the clip begins again.
  w.cmdPlayLoaded_Click();
  w.cmdPause_Click();
  EXPECT_FALSE(w.PreviewPanePlaying);
  EXPECT_TRUE(w.cmdPlayLoaded->Enabled());
  EXPECT_TRUE(w.cmdStop->Enabled());
  EXPECT_FALSE(w.cmdPause->Enabled());
  EXPECT_FALSE(w.ProgressBar1->Visible());
  w.cmdPlayLoaded_Click();
  double position = -1;
  ASSERT_EQ(w.PreviewPanePosition->get_CurrentPosition(&position), S_OK);
  EXPECT_LT(position, 0.5);
  w.cmdStop_Click();
  EXPECT_EQ(w.txtElapsed->Text(), "0.0");
  EXPECT_FALSE(w.PreviewPanePlaying);
  EXPECT_TRUE(w.cmdPlayLoaded->Enabled());
  EXPECT_FALSE(w.picPrev->Visible());
  EXPECT_TRUE(w.cmdPlayVideoWindow->Enabled());
  // Texts that are no number, or past the bar's end, leave the bar.
  w.txtElapsed->Text("abc");
  w.txtElapsed->Text("99");
  EXPECT_FLOAT_EQ(w.ProgressBar1->Value(), 0.0f);
}

TEST_F(Pane, SelectingATilePlaysAMovieAndShowsAPicture) {
  const std::string movie = Media(Kind::AviMjpegPcm, "movie.avi");
  const std::string picture = Media(Kind::Jpeg, "still.jpg");
  ScriptScope script;
  frmShow& w = Window();
  Add(w, movie);
  Add(w, picture);
  ASSERT_EQ(w.TileUBound(), 2);
  const struct {
    int16_t index;
    bool plays;
    bool showsPicture;
  } cases[] = {{0, true, false}, {1, false, true}, {0, true, false}, {2, false, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE("tile " + std::to_string(c.index));
    w.ctrlSourceClip_Click(c.index);
    EXPECT_EQ(w.SelectedClipIndex, c.index);
    EXPECT_EQ(w.PreviewPanePlaying, c.plays);
    EXPECT_EQ(w.picPrev->Visible(), c.plays);
    EXPECT_EQ(w.cmdPause->Enabled(), c.plays);
    EXPECT_EQ(w.cmdStop->Enabled(), c.plays);
    EXPECT_FALSE(w.cmdPlayLoaded->Enabled());
    EXPECT_EQ(w.Image2->Visible(), c.showsPicture);
    if (c.showsPicture) {
      EXPECT_EQ(w.Image2->ToolTipText(), "Double Click to Edit");
    }
  }
  EXPECT_EQ(script->MsgBoxes().size(), 0u);
}

// A tile whose file no longer loads (deleted, emptied, overwritten with text) selected after a
// movie: no box, the tile keeps its own duration (not the movie's), the pane's buttons stay off
// and it does not go on playing; the movie plays again afterwards.
TEST_F(Pane, SelectingATileWhoseFileNoLongerLoadsKeepsItsDuration) {
  ScriptScope script;
  frmShow& w = Window();
  fixtures::Options twoSeconds;
  twoSeconds.seconds = 2.0;
  const std::string movie = Media(Kind::AviMjpegPcm, "movie.avi", twoSeconds);
  struct Case {
    const char* name;
    std::function<void(const fs::path&)> spoil;
  };
  const Case cases[] = {
      {"deleted", [](const fs::path& f) { fs::remove(f); }},
      {"emptied", [](const fs::path& f) { std::ofstream(f, std::ios::trunc); }},
      {"overwritten with text", [](const fs::path& f) { std::ofstream(f, std::ios::trunc) << "not a movie\n"; }},
  };
  Add(w, movie);
  for (const Case& c : cases) {
    const fs::path spoilt = media_ / (std::string(c.name) + ".avi");
    fs::copy_file(movie, spoilt, fs::copy_options::overwrite_existing);
    Add(w, spoilt.string());
  }
  ASSERT_EQ(w.TileUBound(), 4);
  int16_t index = 1;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path spoilt = media_ / (std::string(c.name) + ".avi");
    c.spoil(spoilt);
    w.TilePut(index, tile::kDuration, Variant(4.0));

    w.ctrlSourceClip_Click(0);
    ASSERT_TRUE(w.PreviewPanePlaying);
    ASSERT_NEAR(w.PreviewPaneDuration, 2.0, 0.15);
    w.ctrlSourceClip_Click(index);
    EXPECT_EQ(w.SelectedClipIndex, index);
    EXPECT_EQ(w.lblFileName->Caption(), spoilt.string());
    EXPECT_DOUBLE_EQ(CDbl(w.TileGet(index, tile::kDuration)), 4.0) << "not the movie's duration";
    EXPECT_FALSE(w.cmdPause->Enabled());
    EXPECT_FALSE(w.cmdStop->Enabled());
    // The pane does not stay playing a file it could not load.
    EXPECT_TRUE(driver::RunUntil([&] { return !w.PreviewPanePlaying; }));
    EXPECT_FALSE(w.cmdStop->Enabled());
    EXPECT_FALSE(w.ProgressBar1->Visible());
    ++index;
  }
  // The movie afterwards: loaded and played as before.
  w.ctrlSourceClip_Click(0);
  EXPECT_TRUE(w.PreviewPanePlaying);
  EXPECT_NEAR(CDbl(w.TileGet(0, tile::kDuration)), 2.0, 0.15);
  w.cmdStop_Click();
  EXPECT_EQ(script->MsgBoxes().size(), 0u);
}

TEST_F(Pane, AnAddedPortraitPictureGetsItsNoticeWhileErrorsAreShown) {
  fixtures::Options tall, square;
  tall.width = 120;
  tall.height = 160;
  square.width = square.height = 120;
  const std::string bmp = Media(Kind::Bmp, "tall.bmp", tall);
  const std::string jpg = Media(Kind::Jpeg, "tall.jpg", tall);
  const std::string gif = Media(Kind::Gif, "tall.gif", tall);
  const std::string wide = Media(Kind::Bmp, "wide.bmp");
  const std::string even = Media(Kind::Bmp, "square.bmp", square);
  const std::string movie = Media(Kind::AviMjpegPcm, "tall.avi", tall);
  const struct {
    std::string file;
    bool showErrors;  // False while a project file is read
    bool notice;
  } cases[] = {{bmp, true, true},   {jpg, true, true},    {gif, true, true},     {bmp, false, false},
               {wide, true, false}, {even, true, false}, {movie, true, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file + (c.showErrors ? " added" : " read from a project"));
    ScriptScope script;
    if (c.notice) script->AnswerMsgBox(vbOK);
    frmShow& w = Window();
    w.bShowErrors = c.showErrors;
    Add(w, c.file);
    ASSERT_EQ(script->MsgBoxes().size(), c.notice ? 1u : 0u);
    EXPECT_EQ(w.TileFile(0), c.file);
    EXPECT_EQ(w.TileUBound(), 1);
    if (c.notice) {
      EXPECT_EQ(script->MsgBoxes()[0].prompt,
                "The height of this clip is greater than the width.\r\n\r\nUnless you resize it to standard "
                "dimensions\r\nit will be distorted to match the size of movie clips.");
      EXPECT_EQ(script->MsgBoxes()[0].buttons, vbOKOnly | vbInformation);
      EXPECT_EQ(script->MsgBoxes()[0].title, App().Title());
    }
    w_.reset();
  }
}

TEST_F(Pane, ADivxMovieIsOfferedTheRepairedCopy) {
  const std::string div3 = Media(Kind::AviDiv3, "party.avi");
  const std::string copy = (media_ / "party_wz.avi").string();
  const struct {
    int answer;
    const char* setting;
    bool notice;
  } cases[] = {{vbNo, nullptr, false}, {vbYes, nullptr, true}, {vbYes, "HIDE", false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.answer == vbYes ? (c.setting ? "Yes, hidden" : "Yes") : "No");
    fs::remove(copy);
    if (c.setting) SaveSetting("Reelwright", "Init", "DivXMessage", c.setting);
    ScriptScope script;
    script->AnswerMsgBox(c.answer);
    int notices = 0;
    auto watch = driver::WhenShownModally("frmDivx", [&](Form& f) {
      ++notices;
      EXPECT_EQ(static_cast<frmDivx&>(f).Label1->Caption(), copy);
      driver::Click(*static_cast<frmDivx&>(f).Command1);
    });
    frmShow& w = Window();
    Add(w, div3);
    ASSERT_GE(script->MsgBoxes().size(), 1u);
    EXPECT_NE(script->MsgBoxes()[0].prompt.find("illegal DivX codec"), std::string::npos);
    EXPECT_EQ(notices, c.notice ? 1 : 0);
    if (c.answer == vbNo) {
      EXPECT_FALSE(fs::exists(copy));
      EXPECT_EQ(w.TileFile(0), div3);
      EXPECT_EQ(w.sLoadedFileName, div3);
    } else {
      ASSERT_TRUE(fs::exists(copy));
      EXPECT_EQ(fixtures::RunFfprobe(copy).First("video")->codecTag, "MP43");
      EXPECT_EQ(DivxOriginalFile, div3);
      EXPECT_EQ(w.sLoadedFileName, copy);
      EXPECT_EQ(w.TileFile(0), copy);
      EXPECT_EQ(w.TileUBound(), 1);
      EXPECT_EQ(w.lblFileName->Caption(), copy);
      EXPECT_TRUE(w.cmdPlayLoaded->Enabled());
      EXPECT_FALSE(DivxConverted);
      EXPECT_EQ(fixtures::RunFfprobe(div3).First("video")->codecTag, "DIV3");
    }
    EXPECT_EQ(script->MsgBoxes().size(), 1u);
    w_.reset();
  }
  // A genuine DivX movie gets no question.
  ScriptScope quiet;
  frmShow& w = Window();
  Add(w, Media(Kind::AviDx50, "genuine.avi"));
  EXPECT_EQ(w.TileUBound(), 1);
}

TEST_F(Pane, EditStartsTheEditorOnTheSelectedPicture) {
  const std::string picture = Media(Kind::Bmp, "my pic.bmp");
  const std::string movie = Media(Kind::AviMjpegPcm, "m.avi");
  const std::string editor = Recorder("tools/editor");
  ScriptScope script;
  frmShow& w = Window();
  Add(w, movie);
  Add(w, picture);
  // A movie selected: nothing.
  w.ctrlSourceClip_Click(0);
  SaveSetting("Reelwright", "Options", "ImageEditor", editor);
  w.mnuEdit_Click();
  EXPECT_FALSE(fs::exists(editor + ".args"));
  // The picture selected shows in Image2; the edit button starts the editor on it.
  w.ctrlSourceClip_Click(1);
  ASSERT_TRUE(w.Image2->Visible());
  EXPECT_TRUE(w.cmdEdit->Enabled());
  driver::Click(*w.cmdEdit);
  EXPECT_EQ(ArgsOf(editor), std::vector<std::string>{picture});
  EXPECT_TRUE(w.Visible()) << "no window to watch: the main window stays";

  // The Paint setting looks for the program mspaint.
  SaveSetting("Reelwright", "Options", "ImageEditor", "C:\\Windows\\MSPAINT.EXE");
  script->AnswerMsgBox(vbOK);
  w.mnuEdit_Click();
  ASSERT_EQ(script->MsgBoxes().size(), 1u);
  EXPECT_EQ(script->MsgBoxes()[0].prompt, "Can't find mspaint.exe on your system.");
}

TEST_F(Pane, MenusThatStartProgramsSayWhatIsMissing) {
  ScriptScope script;
  frmShow& w = Window();
  const std::string folder = program_.string();
  script->AnswerMsgBox(vbOK).AnswerMsgBox(vbOK).AnswerMsgBox(vbOK);
  w.mnuBatch_Click();
  w.mnuVirtualDub_Click();
  w.mnuCapture_Click();
  ASSERT_EQ(script->MsgBoxes().size(), 3u);
  EXPECT_EQ(script->MsgBoxes()[0].prompt, "Can't find " + folder + "/Lotkiln.");
  EXPECT_EQ(script->MsgBoxes()[1].prompt, "Can't find " + folder + "/VirtualDub/VirtualDub.");
  EXPECT_EQ(script->MsgBoxes()[2].prompt,
            "The capture add in is not installed.\r\nYou can download the Microsoft Windows Media Resource Kit "
            "from\r\nhttps://www.example.com/reelwright/capture.\r\nThen copy wmcap.exe to " +
                folder + ".");
  for (const auto& box : script->MsgBoxes()) EXPECT_EQ(box.buttons, vbOKOnly);

  // Present: started bare; a capture tool that ends without a window ends the wait.
  const std::string batch = Recorder("Lotkiln");
  const std::string dub = Recorder("VirtualDub/VirtualDub");
  const std::string capture = Recorder("wmcap");
  w.mnuBatch_Click();
  w.mnuVirtualDub_Click();
  w.mnuCapture_Click();
  EXPECT_EQ(ArgsOf(batch), std::vector<std::string>{""});
  EXPECT_EQ(ArgsOf(dub), std::vector<std::string>{""});
  EXPECT_EQ(ArgsOf(capture), std::vector<std::string>{""});
  EXPECT_EQ(Screen().MousePointer(), 0);
}

TEST_F(Pane, MenusThatOpenWindows) {
  ScriptScope script;
  frmShow& w = Window();
  int abouts = 0, supports = 0;
  auto about = driver::WhenShownModally("frmAbout", [&](Form& f) {
    ++abouts;
    driver::Click(*f.FindControl("Command1"));
  });
  auto support = driver::WhenShownModally("frmSupport", [&](Form& f) {
    ++supports;
    driver::Click(*f.FindControl("Command4"));
  });
  w.mnuAbout_Click();
  w.mnuSupport_Click();
  EXPECT_EQ(abouts, 1);
  EXPECT_EQ(supports, 1);

  // General Help: the help folder of the program folder, or the help message.
  script->AnswerMsgBox(vbOK);
  w.mnuGenHelp_Click();
  ASSERT_EQ(script->MsgBoxes().size(), 1u);
  EXPECT_EQ(script->MsgBoxes()[0].prompt.rfind("Cannot open the help file ", 0), 0u) << script->MsgBoxes()[0].prompt;
  fs::create_directories(program_ / "Reelwright.help");
  std::ofstream(program_ / "Reelwright.help" / "index.html") << "<html><body>Help</body></html>\n";
  w.mnuGenHelp_Click();
  EXPECT_EQ(script->MsgBoxes().size(), 1u);
  EXPECT_EQ(w.mnuGenHelp->Caption(), "General Help");
  EXPECT_EQ(w.mnuGenHelp->Shortcut(), "F1");

  // Preview Movie File cancelled: the main window is never hidden.
  script->AnswerDialog(DialogKind::Open, DialogAnswer::Cancel());
  w.mnuMoviePreview_Click();
  EXPECT_TRUE(w.Visible());
  EXPECT_TRUE(w.CommonDialog1->Dialog().CancelError);
}
