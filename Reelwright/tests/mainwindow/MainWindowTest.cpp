// The storyboard main window on real hosted tiles: design and load, toolbar, control state,
// closing by answer and mode, hand-off files, tiles, drag and drop, project files, media errors,
// layout and adding files. Each test has a registry and a program folder of its own.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QGroupBox>
#include <QImage>
#include <QWidget>
#include <algorithm>
#include <cstdlib>
#include <functional>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <thread>
#include <utility>

#include "core/clock.h"
#include "core/msgbox.h"
#include "core/runtime_convert.h"
#include "MainWindowFixture.h"
#include "caption_fit.h"
#include "fixtures.h"
#include "hang_guard.h"
#include "forms/app.h"
#include "forms/end_requests.h"
#include "forms/form.h"
#include "forms/qt/hwnd_qt.h"
#include "forms/responder.h"
#include "mainwindow/FormInstances.h"
#include "mainwindow/frmShow.h"
#include "mainwindow/frmSplash.h"
#include "mainwindow/modMain.h"
#include "mainwindow/modSettings.h"
#include "options/frmCompOpt.h"
#include "registry/registry.h"
#include "registry/settings.h"
#include "scripted_responder.h"
#include "shell/files.h"
#include "shell/instance.h"
#include "window_driver.h"

namespace fs = std::filesystem;

namespace {

std::string ReadAll(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

class MainWindow : public MainWindowFixture {
 protected:
  std::string Movie(const std::string& name, double seconds = 1.0) {
    fixtures::Options o;
    o.seconds = seconds;
    const std::string made = fixtures::Make(fixtures::Kind::AviMjpegPcm, (root_ / "made").string(), o);
    const fs::path target = media_ / name;
    fs::copy_file(made, target, fs::copy_options::overwrite_existing);
    return target.string();
  }
  std::string Still(fixtures::Kind kind, const std::string& name) {
    const std::string made = fixtures::Make(kind, (root_ / "made").string());
    const fs::path target = media_ / name;
    fs::copy_file(made, target, fs::copy_options::overwrite_existing);
    return target.string();
  }
  double Duration(frmShow& w, int16_t i) { return CDbl(w.TileGet(i, tile::kDuration)); }
  std::string Transition(frmShow& w, int16_t i) { return CStr(w.TileGet(i, tile::kTransition)); }

};

std::vector<std::string> ToolbarKeys(frmShow& w) {
  std::vector<std::string> keys;
  Buttons& b = w.Toolbar1->ButtonsOf();
  for (int32_t i = 1; i <= b.Count(); ++i) keys.push_back(b.Item(i).Key());
  return keys;
}

}  // namespace

TEST_F(MainWindow, LoadGivesTheDesignTheToolbarAndTheStartState) {
  ScriptScope script;
  frmShow& w = Window();
  EXPECT_TRUE(w.Visible());
  EXPECT_EQ(w.Caption(), "Reelwright");
  // Image list: the 14 keyed pictures.
  const std::vector<std::string> keys = {"New", "Split", "Floppy", "Open", "Join", "Help", "Add",
                                         "Preview", "Compression", "Edit", "Save", "Options", "Exit", "Title"};
  ASSERT_EQ(w.ImageList1->ListImagesOf().Count(), 14);
  for (size_t i = 0; i < keys.size(); ++i) {
    EXPECT_EQ(w.ImageList1->ListImagesOf().Item(static_cast<int32_t>(i + 1)).Key(), keys[i]);
    EXPECT_EQ(w.ImageList1->PictureOf(Variant(keys[i])).PixelWidth(), 16);
  }
  // Without project files the toolbar starts with Add; separators have no key.
  EXPECT_EQ(ToolbarKeys(w), (std::vector<std::string>{"Add", "Join", "", "Compression", "Preview", "Options",
                                                      "Title", "", "Help", "Exit"}));
  Buttons& b = w.Toolbar1->ButtonsOf();
  EXPECT_EQ(b.Item("Add").ToolTipText(), "Add new media to the project storyboard");
  EXPECT_EQ(b.Item("Exit").ToolTipText(), "Exit Reelwright");
  EXPECT_EQ(b.Item("Add").Caption(), "");
  EXPECT_EQ(b.Item(3).Style(), tbrSeparator);
  EXPECT_FALSE(b.Item("Join").Enabled()) << "an empty storyboard joins nothing";
  EXPECT_FALSE(w.mnuNew->Visible());
  EXPECT_FALSE(w.mnuSaveProject->Visible());
  // Design values the later commands need.
  EXPECT_EQ(w.cmdWriteAVI->Caption(), "&Write AVI");
  EXPECT_EQ(w.cmdWriteXTL->Caption(), "Write &XTL");
  EXPECT_EQ(w.cmdExit->Caption(), "&Exit");
  EXPECT_EQ(w.txtMaxMediaLength->Text(), "2");
  EXPECT_EQ(w.cmdPlayLoaded->ToolTipText(), "Play selected clip");
  EXPECT_EQ(w.cmdSplit->ToolTipText(), "Split or trim movie");
  EXPECT_EQ(w.mnuExit->Caption(), "E&xit");
  EXPECT_EQ(w.mnuImport->Caption(), "Add File to Storyboard");
  EXPECT_EQ(w.mnuLoadNew->Caption(), "Reload File");
  EXPECT_FALSE(w.mnuHidden->Visible());
  EXPECT_FALSE(w.mnuVirtualDub->Visible()) << "no VirtualDub in the program folder";
  EXPECT_FALSE(w.mnuBatch->Visible());
  EXPECT_FALSE(w.mnuCapture->Visible());
  EXPECT_FALSE(w.mnuSplitter->Visible());
  // Start state.
  EXPECT_FALSE(w.cmdWriteAVI->Enabled());
  EXPECT_FALSE(w.Combo1->Enabled());
  EXPECT_TRUE(w.cmdExit->Enabled());
  EXPECT_TRUE(w.m_boolEnableDragDrop);
  EXPECT_TRUE(CBool(w.TileGet(0, tile::kEnabled))) << "tile 0 is enabled again after the first layout";
  EXPECT_FALSE(w.Label10->Visible()) << "the frame-size list is off without Init/ResizeStream";
  EXPECT_TRUE(w.bShowErrors);
  EXPECT_FALSE(w.ProjectChanged);
  EXPECT_TRUE(fs::is_directory(program_ / "Output"));
  EXPECT_EQ(w.lblWriteFileName->Caption(), (program_ / "Output" / "Output.avi").string());
  EXPECT_TRUE(w.gobjStreamSize) << "the frame-size object was made through the registry";
  EXPECT_EQ(w.TileUBound(), 0);
  EXPECT_EQ(GetSetting("Reelwright", "Init", "MultiSelect", "(none)"), "(none)") << "an absent value is not written";
}

TEST_F(MainWindow, ProjectFilesAddTheirButtonsAndMenusAndTheSizeListFills) {
  ScriptScope script;
  SaveSetting("Reelwright", "Init", "ShowProject", "");
  SaveSetting("Reelwright", "Init", "ResizeStream", "TRUE");
  SaveSetting("Reelwright", "Init", "MultiSelect", "");
  frmShow& w = Window();
  const std::vector<std::string> keys = ToolbarKeys(w);
  ASSERT_GE(keys.size(), 4u);
  EXPECT_EQ((std::vector<std::string>(keys.begin(), keys.begin() + 5)),
            (std::vector<std::string>{"New", "Open", "Save", "", "Add"}));
  EXPECT_TRUE(w.mnuNew->Visible());
  EXPECT_TRUE(w.mnuOpen->Visible());
  EXPECT_FALSE(w.mnuSaveProject->Enabled());
  EXPECT_EQ(GetSetting("Reelwright", "Init", "MultiSelect", "(none)"), "TRUE") << "an empty value is rewritten";
  EXPECT_TRUE(w.Label10->Visible());
  ASSERT_GE(w.CmbVideoSizes->ListCount(), 3);
  EXPECT_EQ(w.CmbVideoSizes->ListIndex(), 2);
  EXPECT_EQ(w.CmbVideoSizes->Text(), w.CmbVideoSizes->List(2));
}

TEST_F(MainWindow, AStoredValueThatDoesNotConvertTakesItsDefaultForThisRun) {
  ScriptScope script;
  SaveSetting("Reelwright", "Options", "DefaultDuration", "five");
  SaveSetting("Reelwright", "Options", "AllowTranstions", "maybe");
  frmShow& w = Window();
  EXPECT_TRUE(w.Visible()) << "the window still shows";
  EXPECT_EQ(DefaultClipDuration, 5);
  EXPECT_FALSE(TransitionsEnabled);
  EXPECT_EQ(GetSetting("Reelwright", "Options", "DefaultDuration", ""), "five") << "nothing is rewritten";
}

TEST(MainWindowTexts, HackedCodecWarningTakesTheFirstMatchingName) {
  const std::string divx = frmShow::HackedCodecMessage({"vidc.DIV3"});
  const std::string angel = frmShow::HackedCodecMessage({"vidc.angelpotion"});
  EXPECT_EQ(divx,
            "There is a hacked video codec installed on your machine called DivX ;-).\r\nThis file can damage your "
            "system.\r\nIf you choose not to remove this codec please remove\r\nthis software from your computer.");
  EXPECT_EQ(angel.substr(0, angel.find("\r\n")),
            "There is a hacked video codec installed on your machine called AngelPotion.");
  struct Row {
    std::vector<std::string> names;
    std::string expected;
  } rows[] = {
      {{}, ""},
      {{"vidc.FMP4", "vidc.MJPG", "msacm.pcm"}, ""},
      {{"vidc.Div3"}, divx},
      {{"vidc.xdiv3angelpotion"}, angel},
      {{"vidc.div3", "vidc.angelpotion"}, divx},
      {{"vidc.AngelPotion", "vidc.DIV3"}, angel},
  };
  for (const Row& r : rows) EXPECT_EQ(frmShow::HackedCodecMessage(r.names), r.expected) << r.names.size();
}

TEST_F(MainWindow, HackedCodecInTheRegistryIsReportedOnceWithoutIcon) {
  ASSERT_TRUE(registry::WriteString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\drivers32",
                                    "vidc.DIV3", "divx.dll"));
  ScriptScope script;
  script->AnswerMsgBox(vbOK);
  frmShow& w = Window();
  ASSERT_EQ(script->MsgBoxes().size(), 1u);
  EXPECT_EQ(script->MsgBoxes()[0].buttons, vbOKOnly);
  EXPECT_EQ(script->MsgBoxes()[0].prompt, frmShow::HackedCodecMessage({"div3"}));
  EXPECT_TRUE(w.Visible()) << "the load goes on after OK";
}

TEST_F(MainWindow, HandOffFilesAreKeptWhileABatchEncoderRuns) {
  for (bool running : {false, true}) {
    SCOPED_TRACE(running);
    std::ofstream(program_ / "KilnhandRunning") << "1";
    std::ofstream(program_ / "lotkiln.lst") << "/movies/a.avi\r\n";
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    pid_t child = -1;
    if (running) {
      child = fork();
      if (child == 0) {
        // A batch encoder of this user: it holds its instance lock until it is ended.
        const bool other = AnotherInstanceRuns("Lotkiln");
        char c = other ? 'n' : 'y';
        (void)!write(ready[1], &c, 1);
        pause();
        _exit(0);
      }
      char c = 0;
      ASSERT_EQ(read(ready[0], &c, 1), 1);
      ASSERT_EQ(c, 'y');
    }
    {
      ScriptScope script;
      Window();
      w_->ProjectChanged = false;
      w_.reset();
    }
    if (child > 0) {
      kill(child, SIGTERM);
      waitpid(child, nullptr, 0);
    }
    close(ready[0]);
    close(ready[1]);
    EXPECT_EQ(fs::exists(program_ / "KilnhandRunning"), running);
    EXPECT_EQ(fs::exists(program_ / "lotkiln.lst"), running);
  }
}

TEST_F(MainWindow, ProgramsPresentShowTheirMenus) {
  const fs::path encoder = program_ / "encoder";
  ASSERT_TRUE(registry::WriteString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows Media\\Encoder\\", "InstallDir",
                                    encoder.string()));
  const struct {
    const char* name;
    std::vector<const char*> programs;
    bool batch;
    bool encoderOption;
  } rows[] = {
      {"every program", {"VirtualDub/VirtualDub", "Lotkiln", "wmcap", "encoder/WMEnc"}, true, true},
      {"no batch encoder", {"VirtualDub/VirtualDub", "wmcap", "encoder/WMEnc"}, false, true},
      {"no media encoder", {"VirtualDub/VirtualDub", "Lotkiln", "wmcap"}, false, false},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.name);
    fs::remove_all(program_);
    fs::create_directories(program_);
    for (const char* p : r.programs) {
      fs::create_directories((program_ / p).parent_path());
      std::ofstream(program_ / p) << "#!/bin/sh\n";
    }
    ScriptScope script;
    frmShow& w = Window();
    EXPECT_TRUE(w.mnuVirtualDub->Visible());
    EXPECT_TRUE(w.mnuCapture->Visible());
    EXPECT_EQ(w.mnuBatch->Visible(), r.batch);
    EXPECT_EQ(EncoderInstallDir, r.encoderOption ? encoder.string() : "");
    // The compression chooser was loaded for its encoder option, and stays hidden.
    frmCompOpt& chooser = DefaultForm<frmCompOpt>();
    ASSERT_TRUE(chooser.IsLoaded());
    EXPECT_FALSE(chooser.Visible());
    EXPECT_EQ(chooser.Option1(1).Enabled(), r.encoderOption);
    w_.reset();
    chooser.Unload();
  }
}

namespace {
struct CloseRow {
  const char* name;
  bool exitButton;
  bool projects;
  bool changed;
  int answer;  // 0: no question expected
  bool closes;
};
}  // namespace

TEST_F(MainWindow, CloseBoxAndExitByAnswerAndProjectState) {
  const std::string movie = Movie("clip.avi");
  const CloseRow rows[] = {
      {"close unchanged", false, true, false, 0, true},
      {"close changed, No", false, true, true, vbNo, true},
      {"close changed, Cancel", false, true, true, vbCancel, false},
      {"close changed, projects off", false, false, true, 0, true},
      {"exit changed, No", true, true, true, vbNo, true},
      {"exit changed, Cancel", true, true, true, vbCancel, false},
      {"exit unchanged", true, true, false, 0, true},
      {"session end changed, No", false, true, true, vbNo, true},
  };
  for (const CloseRow& r : rows) {
    SCOPED_TRACE(r.name);
    SaveSetting("Reelwright", "Init", "ShowProject", r.projects ? "TRUE" : "FALSE");
    ScriptScope script;
    frmShow& w = Window();
    AddByDialog(script, w, movie);
    ASSERT_EQ(w.TileUBound(), 1);
    w.ProjectChanged = r.changed;
    if (r.answer) script->AnswerMsgBox(r.answer);
    if (r.exitButton) {
      driver::Click(*w.cmdExit);
    } else {
      AskFormsToClose(std::string(r.name).rfind("session", 0) == 0 ? vbAppWindows : vbFormControlMenu);
    }
    EXPECT_EQ(!w.IsLoaded(), r.closes);
    if (r.answer) {
      ASSERT_EQ(script->MsgBoxes().size(), 1u);
      EXPECT_EQ(script->MsgBoxes()[0].prompt, r.exitButton
                                                  ? "Your project has changed.\r\nDo you want to save your changes?"
                                                  : "Do you want to save your changes?");
      EXPECT_EQ(script->MsgBoxes()[0].buttons, vbYesNoCancel);
    } else {
      EXPECT_TRUE(script->MsgBoxes().empty());
    }
    if (r.closes) {
      EXPECT_TRUE(Forms().empty()) << "every window unloaded";
    }
    if (r.closes && !r.exitButton) {
      EXPECT_FALSE(w.gobjStreamSize) << "released by the close request";
    }
    w_->ProjectChanged = false;
    w_.reset();
  }
}

TEST_F(MainWindow, CloseDuringARunIsCarriedOutWhenTheRunEnds) {
  ScriptScope script;
  frmShow& w = Window();
  RenderCancelRequested = false;
  w.BeginRun();
  AskFormsToClose(vbFormControlMenu);
  EXPECT_TRUE(w.IsLoaded()) << "the run's cleanup still finds its window";
  EXPECT_TRUE(RenderCancelRequested);
  EXPECT_TRUE(w.CloseDeferred());
  w.EndRun();
  EXPECT_FALSE(w.IsLoaded());
}

TEST_F(MainWindow, LayoutPicksThePreviewSizeByWidthAndKeepsTheMinimum) {
  ScriptScope script;
  frmShow& w = Window();
  w.Width(1023 * 15);
  EXPECT_EQ(w.picPrev->Width(), 320 * 15);
  EXPECT_EQ(w.picPrev->Height(), 240 * 15);
  w.Width(1024 * 15);
  EXPECT_EQ(w.picPrev->Width(), 640 * 15);
  EXPECT_EQ(w.picPrev->Height(), 480 * 15);
  EXPECT_EQ(w.picPrev->Left(),
            w.Width() / 2 - w.picPrev->Width() / 2 + (w.VScroll1->Left() + w.VScroll1->Width()) / 2);
  EXPECT_EQ(w.pnlVideoFile->Top(), w.picPrev->Top() + w.picPrev->Height() + 60);
  EXPECT_EQ(w.pnlVideoFile->Width(), w.picTop->Width());
  EXPECT_EQ(w.picTop->Width(), w.Width() - w.picTop->Left() - 120);
  EXPECT_EQ(w.cmdStop->Left(), w.pnlVideoFile->Width() - w.cmdStop->Width() - 60);
  EXPECT_EQ(w.cmdPause->Left(), w.cmdStop->Left() - w.cmdPause->Width() - 30);
  EXPECT_EQ(w.Combo1->Width(), w.picTop->Width() - 75);
  w.Width(6000);
  EXPECT_EQ(w.Width(), 9600) << "the minimum width";
  w.Height(3000);
  EXPECT_GE(w.Height(), std::min(8190, Screen().Height())) << "the minimum height, no taller than the screen";
  EXPECT_LE(w.Height(), Screen().Height());
}

TEST_F(MainWindow, AResizeWhileAClipPlaysPlaysItAgainFromItsStart) {
  ScriptScope script;
  const std::string movie = Movie("m.avi", 4.0);
  frmShow& w = Window();
  AddByDialog(script, w, movie);
  auto position = [&] {
    double p = -1;
    if (w.PreviewPanePosition) w.PreviewPanePosition->get_CurrentPosition(&p);
    return p;
  };
  for (bool playing : {false, true}) {
    SCOPED_TRACE(playing ? "playing" : "stopped");
    w.cmdStop_Click();
    double before = 0;
    if (playing) {
      driver::Click(*w.cmdPlayLoaded);
      ASSERT_TRUE(w.PreviewPanePlaying);
      ASSERT_TRUE(driver::RunUntil([&] { return (before = position()) >= 0.5; }));
    }
    const IMediaControl* graph = w.PreviewPaneGraph.Get();
    w.Width(w.Width() + 150);
    EXPECT_EQ(w.PreviewPanePlaying, playing);
    if (playing) {
      EXPECT_NE(w.PreviewPaneGraph.Get(), graph) << "the clip was loaded again";
      EXPECT_LT(position(), before) << "and plays from its start";
      EXPECT_TRUE(w.cmdStop->Enabled());
      EXPECT_FALSE(w.cmdPlayLoaded->Enabled());
    } else {
      EXPECT_EQ(w.PreviewPaneGraph.Get(), graph) << "a stopped clip is left alone";
    }
  }
  w.cmdStop_Click();
}

TEST_F(MainWindow, TilesGrowWithFilesAndDeleteKeepsTheOthersOwnValues) {
  ScriptScope script;
  const std::string a = Movie("a.avi", 1.0), b = Movie("b.avi", 2.0), c = Movie("c.avi", 1.0);
  frmShow& w = Window();
  for (const std::string& f : {a, b, c}) AddByDialog(script, w, f);
  ASSERT_EQ(Files(w), (std::vector<std::string>{a, b, c}));
  EXPECT_EQ(w.TileFile(3), "") << "the drop tile";
  EXPECT_EQ(w.StoryboardTileCounter, 3);
  EXPECT_NEAR(Duration(w, 1), 2.0, 0.05) << "the duration the pane found";
  EXPECT_EQ(CLng(w.TileGet(2, tile::kClipNumber)), 3);
  EXPECT_TRUE(w.ProjectChanged);
  EXPECT_TRUE(w.cmdWriteAVI->Enabled());
  EXPECT_EQ(w.Combo1->ListCount(), 3);
  // Each tile stands under the one above it.
  for (int16_t i = 1; i <= 3; ++i) {
    EXPECT_FLOAT_EQ(CSng(w.TileGet(i, tile::kTop)),
                    CSng(w.TileGet(static_cast<int16_t>(i - 1), tile::kTop)) + CSng(w.TileGet(0, tile::kHeight)));
  }
  w.TilePut(0, tile::kDuration, Variant(7.0));
  w.TilePut(2, tile::kTransition, Variant(std::string("Barn")));
  fs::remove(program_ / "~temp.tmp");
  fs::create_directory(program_ / "~temp.tmp");  // the list file cannot be written
  w.DeleteClip(1);
  EXPECT_EQ(Files(w), (std::vector<std::string>{a, c})) << "rebuilt from memory";
  EXPECT_DOUBLE_EQ(Duration(w, 0), 7.0);
  EXPECT_EQ(Transition(w, 1), "Barn");
  EXPECT_EQ(w.SelectedClipIndex, 1);
  fs::remove(program_ / "~temp.tmp");
  w.DeleteClip(0);
  EXPECT_EQ(ReadAll(program_ / "~temp.tmp"), c + "\r\n") << "one path per line, CR LF";
  w.DeleteClip(w.TileUBound());
  EXPECT_EQ(Files(w), (std::vector<std::string>{c})) << "the drop tile is not deleted";
  w.DeleteClip(0);
  EXPECT_EQ(w.TileUBound(), 0);
  EXPECT_DOUBLE_EQ(Duration(w, 0), DefaultClipDuration);
  EXPECT_EQ(Transition(w, 0), DefaultTransition);
  EXPECT_FALSE(w.Toolbar1->ButtonsOf().Item("Join").Enabled());
}

TEST_F(MainWindow, MoveUpAndDownSwapFilesDurationsAndTransitions) {
  ScriptScope script;
  const std::string a = Movie("a.avi", 1.0), b = Movie("b.avi", 2.0);
  frmShow& w = Window();
  AddByDialog(script, w, a);
  AddByDialog(script, w, b);
  w.TilePut(0, tile::kTransition, Variant(std::string("Fade")));
  const struct {
    int16_t menuIndex;
    bool up;
    bool moves;
  } rows[] = {{0, true, false}, {1, false, false}, {2, true, false}, {1, true, true}, {0, false, true}};
  for (const auto& r : rows) {
    const std::vector<std::string> before = Files(w);
    w.MenuClipIndex = r.menuIndex;
    if (r.up) {
      w.mnuMoveUp_Click();
    } else {
      w.mnuMoveDown_Click();
    }
    const std::vector<std::string> after = Files(w);
    EXPECT_EQ(after != before, r.moves) << r.menuIndex << r.up;
  }
  EXPECT_EQ(Files(w), (std::vector<std::string>{a, b})) << "moved up, then down again";
  EXPECT_EQ(Transition(w, 0), "Fade");
  EXPECT_NEAR(Duration(w, 1), 2.0, 0.05);
}

TEST_F(MainWindow, DragHighlightWritesOnlyChangedBordersAndTheDropTileStartsNoDrag) {
  ScriptScope script;
  const std::string a = Movie("a.avi");
  frmShow& w = Window();
  AddByDialog(script, w, a);
  EXPECT_EQ(w.FindControl("ctrlSourceClip", 0)->DragMode(), 1);
  EXPECT_EQ(w.FindControl("ctrlSourceClip", 1)->DragMode(), 0) << "the empty drop tile is not dragged";
  EventArgs first{Variant(int16_t{0}), Variant(int16_t{0}), Variant(0.0f), Variant(0.0f)};
  w.RaiseEvent("Form_MouseMove", first);
  const int64_t before = w.borderWrites;
  for (int i = 0; i < 3; ++i) {
    EventArgs move{Variant(int16_t{0}), Variant(int16_t{0}), Variant(0.0f), Variant(0.0f)};
    w.RaiseEvent("Form_MouseMove", move);
  }
  EXPECT_EQ(w.borderWrites, before) << "normal borders are not written again";
  // Dragging tile 0 onto the drop tile appends a copy.
  driver::DragOnto(*w.FindControl("ctrlSourceClip", 0), *w.FindControl("ctrlSourceClip", 1));
  EXPECT_EQ(Files(w), (std::vector<std::string>{a, a}));
  EXPECT_EQ(CLng(w.TileGet(1, tile::kBorderColor)), tile::kNormalBorder) << "the mark is cleared after the drop";
  // An empty dragged tile changes nothing.
  EventArgs drop{Variant(int16_t{0}), Variant(w.FindControl("ctrlSourceClip", 2)->DispatchObject()), Variant(0.0f),
                 Variant(0.0f)};
  w.RaiseEvent("ctrlSourceClip_DragDrop", drop);
  EXPECT_EQ(Files(w), (std::vector<std::string>{a, a}));
}

TEST_F(MainWindow, EveryTileNamesItsFileOnTheFramesOwnFaceAfterADragAndADelete) {
  ScriptScope script;
  const std::string a = Movie("a.avi");
  const std::string pic = Still(fixtures::Kind::Bmp, "Garden Picture.bmp");
  const std::string b = Movie("b.avi");
  frmShow& w = Window();
  for (const std::string& f : {a, pic, b}) AddByDialog(script, w, f);
  driver::DragOnto(*w.FindControl("ctrlSourceClip", 0), *w.FindControl("ctrlSourceClip", 2));
  w.MenuClipIndex = 0;
  w.mnuDelete_Click();
  ASSERT_EQ(Files(w), (std::vector<std::string>{pic, a}));
  const std::vector<std::string> captions = {"garden picture.bmp", "a.avi"};
  // The tile's face is its border colour (dark grey); the frame over it is transparent, but the
  // frame's caption lies on the frame's own back colour (button face), as a frame's caption does,
  // so the file's name stays readable where it breaks the frame's top edge.
  const QColor buttonFace = QApplication::palette().color(QPalette::Button);
  for (int16_t i = 0; i < w.TileUBound(); ++i) {
    SCOPED_TRACE(i);
    auto* frame = WidgetFromHwnd(w.FindControl("ctrlSourceClip", i)->hWnd())->findChild<QGroupBox*>("fraFixture");
    ASSERT_NE(frame, nullptr);
    ASSERT_EQ(frame->title().toStdString(), captions[i]);
    const QRect label = fit::FrameTitleRect(*frame);
    ASSERT_FALSE(label.isEmpty());
    const QImage face = frame->grab().toImage();
    ASSERT_TRUE(face.rect().contains(label)) << "the caption lies inside its tile";
    std::map<QRgb, int> count;
    for (int y = label.top(); y <= label.bottom(); ++y)
      for (int x = label.left(); x <= label.right(); ++x) ++count[face.pixel(x, y) & 0xFFFFFF];
    const auto most = std::max_element(count.begin(), count.end(),
                                       [](const auto& l, const auto& r) { return l.second < r.second; });
    EXPECT_EQ(most->first, buttonFace.rgb() & 0xFFFFFF) << "behind the caption: " << std::hex << most->first;
    // The name is drawn there in the frame's text colour (button text, black), standing out.
    int text = 0;
    for (const auto& [rgb, n] : count)
      if (std::abs(qGray(rgb) - qGray(most->first)) > 128) text += n;
    EXPECT_GT(text, 20) << "the caption's text stands out from what lies behind it";
  }
}

TEST_F(MainWindow, ProjectSaveWritesTheExpectedBytesAndOpenReadsThemBack) {
  SaveSetting("Reelwright", "Init", "ShowProject", "TRUE");
  ScriptScope script;
  const std::string a = Movie("a.avi", 1.0), b = Movie("with blank ü.avi", 2.0);
  frmShow& w = Window();
  AddByDialog(script, w, a);
  AddByDialog(script, w, b);
  w.TilePut(1, tile::kTransition, Variant(std::string("Barn")));
  const fs::path project = root_ / "p.wzj";
  std::ofstream(project) << "old project\r\n";
  script->AnswerDialog(DialogKind::Save, DialogAnswer::Ok(project.string())).AnswerMsgBox(vbYes);
  w.mnuSaveProject_Click();
  const std::string expected = a + ";" + Transition(w, 0) + "\r\n" + b + ";Barn\r\n";
  EXPECT_EQ(ReadAll(project), expected);
  EXPECT_EQ(script->MsgBoxes().back().prompt,
            "A file named " + project.string() + " already exists.\r\nreplace it with this file?");
  EXPECT_FALSE(w.ProjectChanged);
  EXPECT_EQ(w.lblProject->Caption(), project.string());
  for (const auto& e : fs::directory_iterator(root_)) EXPECT_EQ(e.path().string().find(".part"), std::string::npos);
  // New, then Open: same paths, order and transitions, durations from the media.
  w.TilePut(0, tile::kDuration, Variant(9.0));
  script->AnswerDialog(DialogKind::Open, DialogAnswer::Ok(project.string()));
  w.mnuOpen_Click();
  EXPECT_EQ(Files(w), (std::vector<std::string>{a, b}));
  EXPECT_EQ(Transition(w, 1), "Barn");
  EXPECT_NEAR(Duration(w, 0), 1.0, 0.05);
  EXPECT_NEAR(Duration(w, 1), 2.0, 0.05);
  EXPECT_TRUE(w.bShowErrors);
  // A save that is refused keeps the old file: answer No.
  script->AnswerDialog(DialogKind::Save, DialogAnswer::Ok(project.string())).AnswerMsgBox(vbNo);
  w.mnuSaveProject_Click();
  EXPECT_EQ(ReadAll(project), expected);
}

TEST_F(MainWindow, ProjectReaderToleranceAndBadFiles) {
  ScriptScope script;
  const std::string a = Movie("a;b.avi", 1.0), plain = Movie("plain.avi", 1.0);
  frmShow& w = Window();
  const fs::path project = root_ / "q.wzj";
  // A path holding ";" reopens whole; a line of only a transition changes the tile above.
  std::ofstream(project, std::ios::binary) << a << ";Fade\r\n" << plain << "\r\n;Barn\r\n\r\n";
  script->AnswerDialog(DialogKind::Open, DialogAnswer::Ok(project.string()));
  w.mnuOpen_Click();
  EXPECT_EQ(Files(w), (std::vector<std::string>{a, plain}));
  EXPECT_EQ(Transition(w, 0), "Fade");
  EXPECT_EQ(Transition(w, 1), "Barn");
  // NUL bytes: refused before any tile is made.
  const fs::path bad = root_ / "bad.wzj";
  {
    std::ofstream out(bad, std::ios::binary);
    out << a << ";None\r\n";
    out.put('\0');
    out << "x\r\n";
  }
  script->AnswerDialog(DialogKind::Open, DialogAnswer::Ok(bad.string())).AnswerMsgBox(vbOK);
  w.mnuOpen_Click();
  EXPECT_EQ(script->MsgBoxes().back().prompt, "The file " + bad.string() + " is not a Reelwright project.");
  EXPECT_EQ(w.TileUBound(), 0);
  // A file that cannot be opened: its failure's description.
  script->AnswerDialog(DialogKind::Open, DialogAnswer::Ok((root_ / "missing.wzj").string())).AnswerMsgBox(vbOK);
  w.mnuOpen_Click();
  EXPECT_FALSE(script->MsgBoxes().back().prompt.empty());
  EXPECT_EQ(w.TileUBound(), 0);
  // Missing media still give tiles.
  std::ofstream(project, std::ios::binary) << (media_ / "gone.avi").string() << ";None\r\n";
  script->AnswerDialog(DialogKind::Open, DialogAnswer::Ok(project.string())).AnswerMsgBox(vbOK);
  w.mnuOpen_Click();
  EXPECT_EQ(w.TileUBound(), 1);
  EXPECT_EQ(script->MsgBoxes().back().prompt, frmShow::MediaErrorMessage('c', (media_ / "gone.avi").string()));
}

// Saves killed between the write and the rename left side files: they never make a save fail,
// and the ones of processes that no longer run are removed by the next save.
TEST_F(MainWindow, LeftoverSideFilesOfKilledSavesNeverMakeASaveFail) {
  SaveSetting("Reelwright", "Init", "ShowProject", "TRUE");
  ScriptScope script;
  const std::string a = Movie("a.avi", 1.0);
  frmShow& w = Window();
  AddByDialog(script, w, a);
  const fs::path project = root_ / "p.wzj";
  const std::string ended = std::to_string(fixtures::EndedProcessId());
  const std::string running = std::to_string(::getppid());
  std::vector<fs::path> killed, kept;
  for (int n = 0; n < 120; ++n) {
    kept.push_back(root_ / ("p.wzj.part" + std::to_string(n)));  // counted names of earlier saves
    std::ofstream(kept.back()) << "half";
  }
  for (int n = 0; n < 40; ++n) {
    killed.push_back(root_ / ("p.wzj.part-" + ended + "-" + std::to_string(n)));
    std::ofstream(killed.back()) << "half";
  }
  kept.push_back(root_ / ("p.wzj.part-" + running + "-1"));  // a save under way elsewhere
  std::ofstream(kept.back()) << "half";
  script->AnswerDialog(DialogKind::Save, DialogAnswer::Ok(project.string()));
  const size_t boxes = script->MsgBoxes().size();
  w.mnuSaveProject_Click();
  EXPECT_EQ(script->MsgBoxes().size(), boxes) << script->MsgBoxes().back().prompt;
  EXPECT_EQ(ReadAll(project), a + ";" + Transition(w, 0) + "\r\n");
  EXPECT_FALSE(w.ProjectChanged);
  for (const fs::path& p : killed) EXPECT_FALSE(fs::exists(p)) << p;
  for (const fs::path& p : kept) EXPECT_TRUE(fs::exists(p)) << p;
  int own = 0;
  for (const auto& e : fs::directory_iterator(root_)) {
    own += e.path().filename().string().rfind("p.wzj.part-" + std::to_string(::getpid()), 0) == 0 ? 1 : 0;
  }
  EXPECT_EQ(own, 0) << "the save left its own side file";
}

// A project that is no file (a FIFO, a device, a folder) or holds a line no project has: Open
// returns with a box instead of waiting or reading for ever, and makes no tile.
TEST_F(MainWindow, OpeningSomethingThatIsNoProjectReturnsWithABox) {
  ScriptScope script;
  frmShow& w = Window();
  const fs::path fifo = root_ / "fifo.wzj";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const fs::path folder = root_ / "folder.wzj";
  fs::create_directories(folder);
  const fs::path overlong = root_ / "long.wzj";
  std::ofstream(overlong, std::ios::binary) << Movie("a.avi", 1.0) << ";None\r\n"
                                            << std::string((1 << 20) + 5, 'x') << "\r\n";
  struct Case {
    std::string path;
    std::string prompt;
  } cases[] = {
      {fifo.string(), "Path/File access error"},
      {"/dev/zero", "Path/File access error"},
      {folder.string(), "Path/File access error"},
      {overlong.string(), "The file " + overlong.string() + " is not a Reelwright project."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    script->AnswerDialog(DialogKind::Open, DialogAnswer::Ok(c.path)).AnswerMsgBox(vbOK);
    const size_t boxes = script->MsgBoxes().size();
    {
      HangGuard guard("opening " + c.path + " as a project");
      w.mnuOpen_Click();
    }
    ASSERT_EQ(script->MsgBoxes().size(), boxes + 1);
    EXPECT_EQ(script->MsgBoxes().back().prompt, c.prompt);
    EXPECT_EQ(w.TileUBound(), 0);
  }
}

// New (answered Yes or No), Open Project and Delete on a storyboard scrolled by the scroll bar's
// down arrow: the scroll bar goes back with the storyboard, and the tile whose index is the bar's
// value stands where tile 0 stands unscrolled, the others in one column around it; so does the
// tile of a file added afterwards.
TEST_F(MainWindow, NewOpenAndDeleteOnAScrolledStoryboardKeepTheTilesInView) {
  SaveSetting("Reelwright", "Init", "ShowProject", "TRUE");
  ScriptScope script;
  const std::string still = Still(fixtures::Kind::Bmp, "still.bmp");
  const fs::path one = root_ / "one.wzj", two = root_ / "two.wzj";
  std::ofstream(one) << still << ";None\r\n";
  std::ofstream(two) << still << ";None\r\n" << still << ";None\r\n";
  struct Case {
    std::string name;
    std::function<void(frmShow&)> act;
    int16_t tiles;  // filled tiles afterwards
  };
  const Case cases[] = {
      {"New, No", [&](frmShow& w) { script->AnswerMsgBox(vbNo); w.mnuNew_Click(); }, 0},
      {"New, Yes",
       [&](frmShow& w) {
         script->AnswerMsgBox(vbYes).AnswerDialog(DialogKind::Save, DialogAnswer::Ok((root_ / "saved.wzj").string()));
         w.mnuNew_Click();
       },
       0},
      {"Open Project of one file",
       [&](frmShow& w) {
         script->AnswerMsgBox(vbNo).AnswerDialog(DialogKind::Open, DialogAnswer::Ok(one.string()));
         w.mnuOpen_Click();
       },
       1},
      {"Open Project of two files",
       [&](frmShow& w) {
         script->AnswerMsgBox(vbNo).AnswerDialog(DialogKind::Open, DialogAnswer::Ok(two.string()));
         w.mnuOpen_Click();
       },
       2},
      {"Delete", [&](frmShow& w) { w.DeleteClip(1); }, 3},
      {"Delete down to one tile",
       [&](frmShow& w) {
         for (int n = 0; n < 3; ++n) w.DeleteClip(0);
       },
       1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    frmShow& w = Window();
    const float top0 = CSng(w.TileGet(0, tile::kTop));
    const float step = CSng(w.TileGet(0, tile::kHeight));
    // Every tile in its place for the scroll bar's value.
    auto expectInPlace = [&](const char* when) {
      SCOPED_TRACE(when);
      const int16_t value = w.VScroll1->Value();
      EXPECT_EQ(w.StoryboardScrollOffset, static_cast<int32_t>(std::lround(step * value)));
      for (int16_t i = 0; i <= w.TileUBound(); ++i) {
        EXPECT_FLOAT_EQ(CSng(w.TileGet(i, tile::kTop)), top0 + step * static_cast<float>(i - value)) << i;
        EXPECT_TRUE(CBool(w.TileGet(i, tile::kVisible))) << i;
      }
    };
    for (int n = 0; n < 4; ++n) AddByDialog(script, w, still);
    ASSERT_EQ(w.TileUBound(), 4);
    // Two clicks on the down arrow at the bar's lower end.
    const int width = static_cast<int>(w.VScroll1->Width() / 15), height = static_cast<int>(w.VScroll1->Height() / 15);
    for (int n = 0; n < 2; ++n) driver::ClickAt(*w.VScroll1, width / 2, height - 3);
    ASSERT_EQ(w.VScroll1->Value(), 4) << "scrolled to the drop tile";
    expectInPlace("scrolled");
    c.act(w);
    ASSERT_EQ(w.TileUBound(), c.tiles);
    EXPECT_EQ(w.VScroll1->Max(), c.tiles);
    if (c.tiles == 0) {
      EXPECT_EQ(w.VScroll1->Value(), 0);
    }
    expectInPlace("afterwards");
    AddByDialog(script, w, still);
    ASSERT_EQ(w.TileUBound(), c.tiles + 1);
    expectInPlace("a file added afterwards");
    EXPECT_FLOAT_EQ(CSng(w.TileGet(c.tiles, tile::kTop)), top0) << "the added file's tile at the top";
    w.ProjectChanged = false;
  }
}

TEST_F(MainWindow, NewAfterAFailedSaveKeepsTheStoryboard) {
  SaveSetting("Reelwright", "Init", "ShowProject", "TRUE");
  ScriptScope script;
  const std::string a = Movie("a.avi");
  frmShow& w = Window();
  AddByDialog(script, w, a);
  script->AnswerMsgBox(vbYes).AnswerDialog(DialogKind::Save, DialogAnswer::Cancel());
  w.mnuNew_Click();
  EXPECT_EQ(w.TileUBound(), 1) << "the save did not complete";
  script->AnswerMsgBox(vbNo);
  w.mnuNew_Click();
  EXPECT_EQ(w.TileUBound(), 0);
  EXPECT_DOUBLE_EQ(Duration(w, 0), 0.0);
  EXPECT_EQ(Transition(w, 0), "None");
  EXPECT_EQ(w.lblSelected->Caption(), "No file selected");
}

TEST_F(MainWindow, MediaErrorsByRowWithARecordingVirtualDub) {
  const fs::path text = media_ / "text.avi";
  std::ofstream(text) << "not a movie at all";
  const fs::path unknown = media_ / "odd name.xyz";
  std::ofstream(unknown) << "not a movie either";
  const fs::path wmv = media_ / "clip.WMV";
  std::ofstream(wmv) << "no video here";
  {
    ScriptScope script;
    frmShow& w = Window();
    SaveSetting("Reelwright", "Init", "MultiSelect", "false");
    script->AnswerDialog(DialogKind::Open, DialogAnswer::Ok(text.string())).AnswerMsgBox(vbOK);
    w.mnuImport_Click();
    EXPECT_EQ(script->MsgBoxes().back().prompt, frmShow::MediaErrorMessage('c', text.string()));
    EXPECT_EQ(script->MsgBoxes().back().buttons, vbOKOnly);
    EXPECT_EQ(w.TileUBound(), 1) << "the file stays";
    AddByDialog(script, w, wmv.string());
    EXPECT_EQ(script->MsgBoxes().size(), 1u) << "nothing for WMV";
    w_->ProjectChanged = false;
    w_.reset();
  }
  // VirtualDub present: Yes starts it with both paths and removes only that tile.
  fs::create_directories(program_ / "VirtualDub");
  const fs::path record = root_ / "virtualdub.txt";
  {
    std::ofstream s(program_ / "VirtualDub" / "VirtualDub");
    s << "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > '" << record.string() << ".tmp'\nmv '"
      << record.string() << ".tmp' '" << record.string() << "'\n";
  }
  fs::permissions(program_ / "VirtualDub" / "VirtualDub", fs::perms::owner_all);
  ScriptScope script;
  const std::string good = Movie("good.avi");
  frmShow& w = Window();
  AddByDialog(script, w, good);
  script->AnswerDialog(DialogKind::Open, DialogAnswer::Ok(unknown.string())).AnswerMsgBox(vbYes);
  w.mnuImport_Click();
  EXPECT_EQ(script->MsgBoxes().back().prompt, frmShow::MediaErrorMessage('U', unknown.string()));
  EXPECT_EQ(Files(w), (std::vector<std::string>{good})) << "removed after the add ended";
  for (int i = 0; i < 200 && !fs::exists(record); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(25));
  EXPECT_EQ(ReadAll(record), unknown.string() + "\n") << "the blank-holding path arrives as one argument";
}

TEST(MainWindowTexts, MediaErrorRows) {
  EXPECT_EQ(frmShow::MediaErrorMessage('C', "f"),
            "The file f\r\n may be corrupt. Try compressing it using another Codec.\r\nThe results of using it as is "
            "will be unpredictable.\r\nWould you like to load the file in VirtualDub?");
  EXPECT_EQ(frmShow::MediaErrorMessage('u', "f"),
            "The file f\r\nis not a supported file type. Try compressing it using another Codec.\r\nThe results of "
            "using it as is will be unpredictable.");
  EXPECT_EQ(frmShow::MediaErrorMessage('r', "f"),
            "The DivX conversion failed.\r\nWould you like to remove it from your storyboard?");
}

TEST_F(MainWindow, AddingFilesByTheBrowserInListOrderSkipsEmptyFiles) {
  ScriptScope script;
  const std::string b = Movie("b.avi", 1.0), a = Movie("a.avi", 2.0);
  const std::string pic = Still(fixtures::Kind::Bmp, "c.bmp");
  std::ofstream(media_ / "d.avi").close();  // empty
  SaveSetting("Reelwright", "Browse", "LastPath", media_.string());
  frmShow& w = Window();
  auto watch = driver::WhenShownModally("frmBrowse", [&](Form& f) {
    Control& list = *f.FindControl("File1");
    auto& files = dynamic_cast<FileListBox&>(list);
    for (int16_t i = 0; i < files.ListCount(); ++i) files.Selected(i, true);
    driver::Click(*f.FindControl("Command1"));
  });
  script->AnswerMsgBox(vbOK);
  w.mnuImport_Click();
  EXPECT_EQ(watch.Count(), 1);
  EXPECT_EQ(Files(w), (std::vector<std::string>{(media_ / "a.avi").string(), b, pic}));
  EXPECT_EQ(script->MsgBoxes().back().prompt, "The file " + (media_ / "d.avi").string() + " is empty.");
  EXPECT_DOUBLE_EQ(Duration(w, 2), DefaultClipDuration) << "a picture gets the default duration";
  EXPECT_TRUE(w.mnuEdit->Enabled()) << "a picture was added last";
  EXPECT_FALSE(w.cmdSplit->Enabled());
  EXPECT_EQ(GetSetting("Reelwright", "Browse", "LastPath", ""), media_.string());
  EXPECT_TRUE(w.ProjectChanged);
}

namespace {

// A clock that moves on a quarter second at every reading, so that Main's pause passes at once.
class QuickClock {
 public:
  QuickClock() {
    auto start = std::chrono::system_clock::now();
    auto readings = std::make_shared<int>(0);
    previous_ = SetClockForTesting([start, readings] { return start + std::chrono::milliseconds(250 * (*readings)++); });
  }
  ~QuickClock() { SetClockForTesting(previous_); }

 private:
  ClockFunction previous_;
};

class MainProgram : public MainWindow {
 protected:
  void TearDown() override {
    SetMainWindow(nullptr);
    for (Form* f : std::vector<Form*>(Forms())) f->Unload();
    MainWindow::TearDown();
  }
};

}  // namespace

TEST_F(MainProgram, AnUnregisteredTileControlLeavesTheMainWindowHidden) {
  const std::string cmd = std::string("'") + REGSVR + "' /s /u '" + TILECARD_LIBRARY + "'";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  ScriptScope script;
  QuickClock clock;
  frmShow w;
  SetMainWindow([&w]() -> Form& { return w; });
  Main();
  EXPECT_FALSE(w.IsLoaded()) << "a window whose tiles cannot be made is taken down again";
  ASSERT_TRUE(DefaultForm<frmSplash>().IsLoaded());
  // The watchdog's tick finds no main window and asks its question; No waits on.
  script->AnswerMsgBox(vbNo);
  EventArgs none;
  DefaultForm<frmSplash>().RaiseEvent("Timer2_Timer", none);
  ASSERT_EQ(script->MsgBoxes().size(), 1u);
  EXPECT_EQ(script->MsgBoxes()[0].prompt, frmSplash::FailureQuestion());
  EXPECT_FALSE(w.IsLoaded());
}

TEST_F(MainProgram, EndToEndThroughMain) {
  ScriptScope script;
  QuickClock clock;
  SaveSetting("Reelwright", "Init", "ShowProject", "TRUE");
  SaveSetting("Reelwright", "Options", "AllowTranstions", "TRUE");  // each tile offers its transitions
  const std::string clip1 = Movie("a clip.avi", 1.0), clip2 = Movie("b.avi", 2.0);
  const std::string bmp = Still(fixtures::Kind::Bmp, "c.bmp");
  const fs::path other = root_ / "other";
  fs::create_directories(other);
  const std::string jpeg = (other / "d.jpg").string();
  fs::copy_file(Still(fixtures::Kind::Jpeg, "d.jpg"), jpeg);
  fs::remove(media_ / "d.jpg");
  SaveSetting("Reelwright", "Browse", "LastPath", media_.string());
  frmShow w;
  SetMainWindow([&w]() -> Form& { return w; });
  Main();
  ASSERT_TRUE(w.Visible());
  EXPECT_FALSE(DefaultForm<frmSplash>().IsLoaded()) << "the main window ended the splash";

  // Add by the browser: every file of the folder, in the list's order.
  {
    auto watch = driver::WhenShownModally("frmBrowse", [&](Form& f) {
      auto& files = dynamic_cast<FileListBox&>(*f.FindControl("File1"));
      for (int16_t i = 0; i < files.ListCount(); ++i) files.Selected(i, true);
      driver::Click(*f.FindControl("Command1"));
    });
    w.mnuImport_Click();
    ASSERT_EQ(watch.Count(), 1);
  }
  ASSERT_EQ(Files(w), (std::vector<std::string>{clip1, clip2, bmp}));
  // Add by the open dialog.
  SaveSetting("Reelwright", "Init", "MultiSelect", "False");
  script->AnswerDialog(DialogKind::Open, DialogAnswer::Ok(jpeg));
  w.mnuImport_Click();
  ASSERT_EQ(Files(w), (std::vector<std::string>{clip1, clip2, bmp, jpeg}));
  // Files dropped on the drop tile.
  EXPECT_TRUE(driver::DropFiles(*w.FindControl("ctrlSourceClip", w.TileUBound()), {clip2}));
  ASSERT_EQ(Files(w), (std::vector<std::string>{clip1, clip2, bmp, jpeg, clip2}));
  // A tile dragged onto the drop tile appends a copy; onto a filled tile replaces its file and
  // keeps its duration and transition.
  driver::DragOnto(*w.FindControl("ctrlSourceClip", 0), *w.FindControl("ctrlSourceClip", w.TileUBound()));
  ASSERT_EQ(Files(w).size(), 6u);
  EXPECT_EQ(Files(w)[5], clip1);
  w.VScroll1->Value(4);  // the target tile in view
  driver::ChooseInnerComboItem(*w.FindControl("ctrlSourceClip", 4), "cmbTransitions", "Barn");
  const double kept = Duration(w, 4);
  driver::DragOnto(*w.FindControl("ctrlSourceClip", 0), *w.FindControl("ctrlSourceClip", 4));
  EXPECT_EQ(Files(w)[4], clip1);
  EXPECT_EQ(Transition(w, 4), "Barn");
  EXPECT_DOUBLE_EQ(Duration(w, 4), kept);
  // Move Up from a tile's menu glyph.
  w.VScroll1->Value(0);  // back to the top
  driver::ChooseNextPopupItem("Move Up");
  driver::ClickInner(*w.FindControl("ctrlSourceClip", 1), "Image2");
  ASSERT_EQ(Files(w), (std::vector<std::string>{clip2, clip1, bmp, jpeg, clip1, clip1}));
  // Transitions chosen in two tiles.
  driver::ChooseInnerComboItem(*w.FindControl("ctrlSourceClip", 0), "cmbTransitions", "Fade");
  driver::ChooseInnerComboItem(*w.FindControl("ctrlSourceClip", 2), "cmbTransitions", "Barn");
  EXPECT_EQ(Transition(w, 0), "Fade");
  EXPECT_EQ(Transition(w, 2), "Barn");
  // Save.
  const fs::path project = root_ / "story.wzj";
  script->AnswerDialog(DialogKind::Save, DialogAnswer::Ok(project.string()));
  w.mnuSaveProject_Click();
  std::string expected;
  for (int16_t i = 0; i < w.TileUBound(); ++i) expected += w.TileFile(i) + ";" + Transition(w, i) + "\r\n";
  EXPECT_EQ(ReadAll(project), expected);
  EXPECT_EQ(expected.substr(0, clip2.size() + 6), clip2 + ";Fade\r");
  const std::vector<std::string> saved = Files(w);
  std::vector<std::string> transitions;
  for (int16_t i = 0; i < w.TileUBound(); ++i) transitions.push_back(Transition(w, i));
  // New, then Open.
  w.mnuNew_Click();
  EXPECT_EQ(w.TileUBound(), 0);
  script->AnswerDialog(DialogKind::Open, DialogAnswer::Ok(project.string()));
  w.mnuOpen_Click();
  ASSERT_EQ(Files(w), saved);
  for (int16_t i = 0; i < w.TileUBound(); ++i) EXPECT_EQ(Transition(w, i), transitions[static_cast<size_t>(i)]);
  EXPECT_NEAR(Duration(w, 0), 2.0, 0.05);
  EXPECT_NEAR(Duration(w, 1), 1.0, 0.05);
  // Delete: the rest keep order, durations and transitions.
  std::vector<double> durations;
  for (int16_t i = 0; i < w.TileUBound(); ++i) durations.push_back(Duration(w, i));
  driver::ChooseNextPopupItem("Delete");
  driver::ClickInner(*w.FindControl("ctrlSourceClip", 1), "Image2");
  std::vector<std::string> rest = saved;
  rest.erase(rest.begin() + 1);
  ASSERT_EQ(Files(w), rest);
  for (int16_t i = 1; i < w.TileUBound(); ++i) {
    EXPECT_EQ(Transition(w, i), transitions[static_cast<size_t>(i + 1)]);
    EXPECT_DOUBLE_EQ(Duration(w, i), durations[static_cast<size_t>(i + 1)]);
  }
  // One more Add, then the close box with the save question answered No.
  script->AnswerDialog(DialogKind::Open, DialogAnswer::Ok(clip2));
  w.mnuImport_Click();
  EXPECT_EQ(Files(w).back(), clip2);
  ASSERT_TRUE(w.ProjectChanged);
  script->AnswerMsgBox(vbNo);
  AskFormsToClose(vbFormControlMenu);
  EXPECT_TRUE(Forms().empty()) << "every window unloaded";
  RunMessageLoop();  // ends at once: no window is loaded
  EXPECT_EQ(script->MsgBoxes().back().prompt, "Do you want to save your changes?");
}

TEST_F(MainWindow, ASaveThatCannotBeWrittenSaysWhyAndKeepsTheProjectChanged) {
  SaveSetting("Reelwright", "Init", "ShowProject", "TRUE");
  ScriptScope script;
  const std::string a = Movie("a.avi");
  frmShow& w = Window();
  AddByDialog(script, w, a);
  const std::string target = (root_ / "no such folder" / "p.wzj").string();
  script->AnswerDialog(DialogKind::Save, DialogAnswer::Ok(target)).AnswerMsgBox(vbOK);
  w.mnuSaveProject_Click();
  EXPECT_FALSE(script->MsgBoxes().back().prompt.empty()) << "the failure's description";
  EXPECT_TRUE(w.ProjectChanged);
  EXPECT_FALSE(fs::exists(root_ / "no such folder"));
}

// A program folder nobody may write, root included (the immutable flag; permissions alone do not
// stop root): the load leaves out the Output folder, a delete rebuilds from memory without its list
// file and keeps each tile's own values, a project saved elsewhere is written, and the close box
// closes. No step crashes, shows a box it would not show otherwise, or leaves a file behind.
TEST_F(MainWindow, AReadOnlyProgramFolderSkipsItsWritesAndLosesNothing) {
  SaveSetting("Reelwright", "Init", "ShowProject", "TRUE");
  ScriptScope script;
  const std::string a = Movie("a.avi", 1.0), b = Movie("b.avi", 2.0), c = Movie("c.avi", 1.0);
  SetImmutable(program_, false);
  if (!SetImmutable(program_, true)) GTEST_SKIP() << "no immutable flag on this file system";
  struct Restore {
    Path folder;
    ~Restore() { SetImmutable(folder, false); }
  } restore{program_};
  ASSERT_FALSE(std::ofstream(program_ / "probe.txt")) << "the program folder can still be written";
  const fs::path project = root_ / "p.wzj";
  frmShow* w = nullptr;
  struct Step {
    const char* name;
    std::function<void()> run;
    std::function<void()> check;
  };
  const Step steps[] = {
      {"load", [&] { w = &Window(); },
       [&] {
         EXPECT_TRUE(w->Visible());
         EXPECT_FALSE(fs::exists(program_ / "Output")) << "the folder could not be made";
       }},
      {"add three clips",
       [&] {
         for (const std::string& f : {a, b, c}) AddByDialog(script, *w, f);
       },
       [&] {
         EXPECT_EQ(Files(*w), (std::vector<std::string>{a, b, c}));
         EXPECT_TRUE(w->ProjectChanged);
       }},
      {"delete the middle tile",
       [&] {
         w->TilePut(0, tile::kDuration, Variant(7.0));
         w->TilePut(2, tile::kTransition, Variant(std::string("Barn")));
         w->DeleteClip(1);
       },
       [&] {
         EXPECT_EQ(Files(*w), (std::vector<std::string>{a, c})) << "rebuilt from the list in memory";
         EXPECT_DOUBLE_EQ(Duration(*w, 0), 7.0);
         EXPECT_EQ(Transition(*w, 1), "Barn");
         EXPECT_EQ(w->TileFile(2), "") << "the drop tile";
         EXPECT_EQ(w->StoryboardTileCounter, 2);
         EXPECT_FALSE(fs::exists(program_ / "~temp.tmp"));
       }},
      {"save elsewhere",
       [&] {
         script->AnswerDialog(DialogKind::Save, DialogAnswer::Ok(project.string()));
         w->mnuSaveProject_Click();
       },
       [&] {
         EXPECT_EQ(ReadAll(project), a + ";" + Transition(*w, 0) + "\r\n" + c + ";Barn\r\n");
         EXPECT_FALSE(w->ProjectChanged);
       }},
      {"close box", [&] { AskFormsToClose(vbFormControlMenu); },
       [&] {
         EXPECT_FALSE(w->IsLoaded());
         EXPECT_TRUE(Forms().empty()) << "every window unloaded";
       }},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.name);
    step.run();
    step.check();
    EXPECT_TRUE(script->MsgBoxes().empty()) << "no box: " << (script->MsgBoxes().empty() ? "" : script->MsgBoxes()[0].prompt);
    EXPECT_TRUE(fs::is_empty(program_)) << "nothing written into the program folder";
  }
  std::vector<std::string> besides;
  for (const auto& e : fs::directory_iterator(root_)) besides.push_back(e.path().filename().string());
  std::sort(besides.begin(), besides.end());
  EXPECT_EQ(besides, (std::vector<std::string>{"made", "media", "p.wzj", "program", "registry", "runtime"}));
}

namespace {
// Answers as the test's script does; at the first message box, before its answer, it runs what
// the user does while the box is up.
class ActsAtTheNextBox : public Responder {
 public:
  ActsAtTheNextBox(std::shared_ptr<Responder> answers, std::function<void()> act)
      : answers_(std::move(answers)), act_(std::move(act)) {}
  int MessageBox(const MsgBoxRequest& request) override {
    if (auto act = std::exchange(act_, nullptr)) act();
    return answers_->MessageBox(request);
  }
  DialogAnswer Dialog(const DialogRequest& request) override { return answers_->Dialog(request); }

 private:
  std::shared_ptr<Responder> answers_;
  std::function<void()> act_;
};
}  // namespace

TEST_F(MainWindow, CommandsArrivingWhileAStoryboardChangeRunsAreIgnored) {
  SaveSetting("Reelwright", "Init", "ShowProject", "TRUE");
  ScriptScope script;
  const std::string a = Movie("a.avi"), dropped = Movie("dropped.avi");
  fixtures::Options tall;
  tall.width = 120;
  tall.height = 160;
  const std::string portrait = (media_ / "tall.bmp").string();
  fs::copy_file(fixtures::Make(fixtures::Kind::Bmp, (root_ / "made").string(), tall), portrait);
  frmShow& w = Window();
  AddByDialog(script, w, a);
  // What the user does while a change runs: drops a file from a file manager on the drop tile and
  // uses the storyboard's commands.
  auto meddle = [&] {
    driver::DropFiles(*w.FindControl("ctrlSourceClip", w.TileUBound()), {dropped});
    w.DeleteClip(0);
    w.mnuNew_Click();
    w.MenuClipIndex = 0;
    w.mnuDelete_Click();
  };
  const std::shared_ptr<Responder> answers = CurrentResponder();
  auto meddleAtTheNextBox = [&] { SetResponder(std::make_shared<ActsAtTheNextBox>(answers, meddle)); };
  const struct {
    const char* name;
    std::function<void()> run;
    std::vector<std::string> after;
  } rows[] = {
      {"the browser is up while files are added",
       [&] {
         SaveSetting("Reelwright", "Init", "MultiSelect", "TRUE");
         auto watch = driver::WhenShownModally("frmBrowse", [&](Form& f) {
           meddle();
           driver::Click(*f.FindControl("Command2"));
         });
         w.mnuImport_Click();
         EXPECT_EQ(watch.Count(), 1);
       },
       {a}},
      {"an added picture's notice is up while it loads",
       [&] {
         SaveSetting("Reelwright", "Init", "MultiSelect", "FALSE");
         script->AnswerDialog(DialogKind::Open, DialogAnswer::Ok(portrait)).AnswerMsgBox(vbOK);
         meddleAtTheNextBox();
         w.mnuImport_Click();
       },
       {a, portrait}},
      {"New asks whether to save",
       [&] {
         w.ProjectChanged = true;
         script->AnswerMsgBox(vbCancel);
         meddleAtTheNextBox();
         w.mnuNew_Click();
       },
       {a, portrait}},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.name);
    r.run();
    SetResponder(answers);
    EXPECT_EQ(Files(w), r.after);
    EXPECT_EQ(w.TileFile(w.TileUBound()), "") << "the drop tile kept nothing";
    EXPECT_EQ(w.StoryboardTileCounter, static_cast<int32_t>(r.after.size()));
  }
  // Once the change has ended, drops and commands run again.
  EXPECT_TRUE(driver::DropFiles(*w.FindControl("ctrlSourceClip", w.TileUBound()), {dropped}));
  EXPECT_EQ(Files(w), (std::vector<std::string>{a, portrait, dropped}));
  script->AnswerMsgBox(vbOK);  // the rebuild loads the picture again, with its notice
  w.DeleteClip(0);
  EXPECT_EQ(Files(w), (std::vector<std::string>{portrait, dropped}));
}

TEST_F(MainWindow, ControlStateFollowsThePictureRulesAndTheDragOption) {
  ScriptScope script;
  const std::string movie = Movie("m.avi");
  const std::string picture = Still(fixtures::Kind::Jpeg, "p.JPG");
  frmShow& w = Window();
  AddByDialog(script, w, movie);
  AddByDialog(script, w, picture);
  EXPECT_TRUE(w.Toolbar1->Visible()) << "the toolbar shows whatever Options/ShowToolbar says";
  struct Row {
    int32_t selected;
    std::string loaded;
    bool enable;
    bool playJoinedBefore;
    bool playJoined;
    bool playLoaded;
  } rows[] = {
      {1, picture, false, true, false, false},  // a picture in the selected tile: follows bEnable
      {1, picture, true, false, true, false},   // the loaded picture keeps the clip's Play off
      {0, movie, false, true, true, false},     // a movie in the selected tile: unchanged
      {0, movie, true, false, false, true},
  };
  for (const Row& r : rows) {
    w.SelectedClipIndex = r.selected;
    w.sLoadedFileName = r.loaded;
    w.cmdPlayVideoWindow->Enabled(r.playJoinedBefore);
    w.SetControlState(r.enable, true, true);
    EXPECT_EQ(w.cmdPlayVideoWindow->Enabled(), r.playJoined) << r.selected << r.enable;
    EXPECT_EQ(w.cmdPlayLoaded->Enabled(), r.playLoaded) << r.selected << r.enable;
    EXPECT_EQ(w.cmdWriteAVI->Enabled(), r.enable);
    EXPECT_EQ(CBool(w.TileGet(2, tile::kEnabled)), r.enable);
    EXPECT_FALSE(w.cmdPause->Enabled());
  }
  SaveSetting("Reelwright", "Options", "DrapDrag", "FALSE");
  w.SetControlState(true, true, false);
  EXPECT_FALSE(w.m_boolEnableDragDrop);
  EXPECT_FALSE(w.cmdExit->Enabled());
  SaveSetting("Reelwright", "Options", "DrapDrag", "1");
  w.SetControlState(true, false, true);
  EXPECT_FALSE(w.m_boolEnableDragDrop);
  w.SetControlState(true, true, true);
  EXPECT_TRUE(w.m_boolEnableDragDrop);
}

// While the controls are disabled (a join runs), the greyed tiles take no click: the selected
// clip stays; enabled again, a click on a tile's picture selects it.
TEST_F(MainWindow, DisabledTilesTakeNoClicks) {
  ScriptScope script;
  frmShow& w = Window();
  AddByDialog(script, w, Still(fixtures::Kind::Bmp, "a.bmp"));
  AddByDialog(script, w, Still(fixtures::Kind::Bmp, "b.bmp"));
  w.SelectedClipIndex = 0;
  w.SetControlState(false, true, true);
  driver::ClickInner(*w.FindControl("ctrlSourceClip", 1), "imgSourceClip");
  EXPECT_EQ(w.SelectedClipIndex, 0) << "a disabled tile selects nothing";
  w.SetControlState(true, true, true);
  driver::ClickInner(*w.FindControl("ctrlSourceClip", 1), "imgSourceClip");
  EXPECT_EQ(w.SelectedClipIndex, 1);
}

TEST_F(MainWindow, ToolbarKeysDispatchWithoutLetterCase) {
  ScriptScope script;
  frmShow& w = Window();
  Button& odd = w.Toolbar1->ButtonsOf().Add(Variant(), "eXIT");
  EventArgs click{Variant(static_cast<IUnknown*>(&odd))};
  w.RaiseEvent("Toolbar1_ButtonClick", click);
  EXPECT_FALSE(w.IsLoaded()) << "Exit ran";
}
