// The tips window (its nineteen texts, the random first tip, stepping without wrap-around, what
// each way of closing stores) and the support window (what each button hands to the opener).
#include <gtest/gtest.h>

#include <chrono>
#include <set>

#include "PrivateRegistry.h"
#include "WindowsTestSupport.h"
#include "core/clock.h"
#include "core/error.h"
#include "engine/modGeneral.h"
#include "forms/hwnd.h"
#include "registry/settings.h"
#include "window_driver.h"
#include "windows/frmStartTips.h"
#include "windows/frmSupport.h"
#include "windows/modTutorial.h"

using windows_test::ProgramFolderTutorial;
using windows_test::RecordingHelpViewer;
using windows_test::RecordingOpener;

namespace {

std::string StoredStartTips() { return GetSetting("Reelwright", "Init", "StartTips", "(none)"); }

void Click(Form& f, const char* name) { driver::Click(*f.FindControl(name)); }

}  // namespace

class TipsWindow : public PrivateRegistry {};

TEST_F(TipsWindow, TheNineteenTipsAsWritten) {
  const std::vector<std::string> expected = {
      "that movie files compressed to Windows Media are typically 1/3 the size of MPEG videos? Use the Windows Media Encoder to encode your newly joined files.",
      "that early versions of the DivX codec were illegal hacks of the Microsoft MPEG-4 compression? Use the included DivX converter to make Angel Potion and DivX ;-) encoded media files DirectX compatible. Note: DivX 4.x and higher are said to be new, original works.",
      "that you can optionally turn on and off drag and drop features of your Reelwright Storyboard clips? Select Tools/Settings and Preferences to change your drag and drop options.",
      "that you can configure a still image editor from within Reelwright and then call that editor whenever a still image is selected in your storyboard? Select Tools/Settings and Preferences to change your drag and drop options.",
      "that you can create custom Profiles in Windows Media Encoder to resize and resample your video files? Select Tools/Compression Tools and Windows Media Encoder.",
      "that you can set the default transition (or none) so that your transition is automatically added to each new clip in your storyboard? Select Tools/Settings and Preferences to change your default transition.",
      "that you can specify the default transition time so that your transition time is automatically set on each new clip you add to your storyboard? Select Tools/Settings and Preferences to change your default transition time.",
      "that you can specify the default delay time for any still image so that your delay time is automatically set for each new still image that you add to your storyboard? Select Tools/Settings and Preferences to change your default still image delay.",
      "that you can rearrange the contents of a movie? Just cut your source into chunks with the splitter trimmer then rejoin the chunks in a new sequence.",
      "that you can get free updates to this version of Reelwright? Go to Help/About and click the ''Web Site'' button to see if there's a newer version posted.",
      "that you can get free support by email or from our moderated peer to peer forum on the Internet? Go to Help/Customer Support on the main menu to see the options available.",
      "that you can share information with others by joining our free Audio/Visual discussion forum?  Just point your browser to http://www.example.com/forum or press the Audio/Visual Forum button in the Help/Customer Support window.",
      "that you can encode movies in batches during times when you don't need your computer? Just select Batch Encoder from the Tools menu.",
      "that you can convert and sometimes even repair badly formatted movies or sound files with VirtualDub? Just select VirtualDub from the Tools menu.",
      "that you can add titles, graphs and notations to single frames of any loaded movie? Just select Title Maker from the tools menu.",
      "that you can capture single frames from any loaded movie? Just select Title Maker from the tools menu.",
      "that you can use any DirectX enabled capture card from Reelwright? Just select Capture Video from the tools menu.",
      "that you can create a movie from still images in Reelwright (Slide Show) and then add sound to it with VirtualDub?",
      "that you can automatically compress your output files if you select Lotkiln as your default compression tool?",
  };
  ASSERT_EQ(frmStartTips::Tips().size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(frmStartTips::Tips()[i], expected[i]) << "tip " << i + 1;
}

TEST_F(TipsWindow, LoadShowsARandomTipOverThePicture) {
  std::set<int> seen;
  for (int i = 0; i < 40; ++i) {
    auto base = std::chrono::system_clock::now();
    ClockFunction previous = SetClockForTesting([base, i] { return base + std::chrono::milliseconds(i * 370); });
    frmStartTips f;
    f.Load();
    SetClockForTesting(previous);
    ASSERT_GE(f.TipNumber(), 1);
    ASSERT_LE(f.TipNumber(), 19);
    EXPECT_EQ(f.Label1->Caption(), frmStartTips::Tips()[static_cast<size_t>(f.TipNumber() - 1)]);
    seen.insert(f.TipNumber());
    if (i == 0) {
      EXPECT_EQ(f.Caption(), "Tips and Tricks");
      EXPECT_EQ(f.Label2->Caption(), "Did you know");
      EXPECT_EQ(f.Check1->Value(), vbChecked);
      EXPECT_EQ(f.Check1->Caption(), "Show these Tips at Startup");
      EXPECT_EQ(f.Label3(0).Caption(), "Lumenhall");
      EXPECT_EQ(f.Label3(1).Caption(), "Lumenhall");
      EXPECT_EQ(f.Label3(1).ForeColor(), OLE_COLOR{0x0000FF});
      EXPECT_EQ(f.Label3(1).Left(), f.Label3(0).Left() - 30);
      EXPECT_EQ(f.Label3(1).Top(), f.Label3(0).Top() - 30);
      EXPECT_TRUE(f.Label3(1).Font().Bold);
      EXPECT_EQ(f.Label3(1).Font().Size, 18.0f);
    }
    f.Unload();
  }
  EXPECT_GE(seen.size(), 5u) << "the seed comes from the timer";
}

TEST_F(TipsWindow, PreviousAndNextStopAtTheEnds) {
  frmStartTips f;
  f.Show();
  for (int i = 0; i < 20; ++i) Click(f, "Command4");
  EXPECT_EQ(f.TipNumber(), 19);
  EXPECT_EQ(f.Label1->Caption(), frmStartTips::Tips()[18]);
  Click(f, "Command3");
  EXPECT_EQ(f.TipNumber(), 18) << "one press back from tip 19";
  for (int i = 0; i < 20; ++i) Click(f, "Command3");
  EXPECT_EQ(f.TipNumber(), 1);
  EXPECT_EQ(f.Label1->Caption(), frmStartTips::Tips()[0]);
  Click(f, "Command4");
  EXPECT_EQ(f.TipNumber(), 2);
  f.Unload();
}

TEST_F(TipsWindow, WhatEachWayOfClosingStores) {
  struct Case {
    const char* name;
    bool ticked;
    const char* action;  // "OK", "Tutorial", "close box"
    bool tutorialThere;
    const char* stored;
    bool unloaded;
  };
  const Case cases[] = {
      {"OK ticked", true, "OK", false, "Show", true},
      {"OK unticked", false, "OK", false, "Hide", true},
      {"close box unticked", false, "close box", false, "(none)", true},
      {"tutorial missing", false, "Tutorial", false, "(none)", false},
      {"tutorial ticked", true, "Tutorial", true, "Show", true},
      {"tutorial unticked", false, "Tutorial", true, "Hide", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Step([] { DeleteSetting("Reelwright", "Init", "StartTips"); });  // absent at first
    RecordingHelpViewer viewer;
    std::unique_ptr<ProgramFolderTutorial> tutorial;
    if (c.tutorialThere) tutorial = std::make_unique<ProgramFolderTutorial>();
    frmStartTips f;
    f.Show();
    if (!c.ticked) Click(f, "Check1");
    EXPECT_EQ(f.Check1->Value(), c.ticked ? vbChecked : vbUnchecked);
    if (std::string(c.action) == "OK") Click(f, "Command1");
    if (std::string(c.action) == "Tutorial") Click(f, "Command2");
    if (std::string(c.action) == "close box") SendMessage(f.hWnd(), WM_CLOSE, 0, 0);
    EXPECT_EQ(StoredStartTips(), c.stored);
    EXPECT_EQ(f.IsLoaded(), !c.unloaded);
    EXPECT_EQ(RecordingHelpViewer::Shown(),
              c.tutorialThere ? std::vector<std::string>{modTutorial::TutorialPath()} : std::vector<std::string>{});
    f.Unload();
  }
}

class SupportWindow : public PrivateRegistry {};

TEST_F(SupportWindow, EachButtonHandsItsTargetToTheOpenerAndTheWindowStays) {
  RecordingOpener opener;
  RecordingHelpViewer viewer;
  frmSupport f;
  f.Show();
  EXPECT_EQ(f.Caption(), "Customer Support");
  EXPECT_EQ(dynamic_cast<CommandButton&>(*f.FindControl("Command1")).Caption(), "Audi/Visual Forum");
  EXPECT_EQ(dynamic_cast<CommandButton&>(*f.FindControl("Command4")).Caption(), "E&xit");
  Click(f, "Command1");  // the forum button has no action
  Click(f, "Command3");  // no tutorial in the program folder: nothing
  Click(f, "Command2");
  EXPECT_EQ(opener.Opened(1), std::vector<std::string>{std::string("mailto:") + kSupportMailAddress});
  Click(f, "Command5");
  EXPECT_EQ(opener.Opened(2).back(), kSupportPageAddress);
  EXPECT_TRUE(RecordingHelpViewer::Shown().empty()) << "no tutorial, nothing shown";
  {
    ProgramFolderTutorial tutorial;
    Click(f, "Command3");
    EXPECT_EQ(RecordingHelpViewer::Shown(), std::vector<std::string>{modTutorial::TutorialPath()});
  }
  EXPECT_EQ(opener.Opened(2).size(), 2u) << "the forum button and the missing tutorial opened nothing";
  EXPECT_TRUE(f.Visible()) << "the window stays open";
  EXPECT_TRUE(boxes_.empty());
  Click(f, "Command4");
  EXPECT_FALSE(f.IsLoaded());
}

TEST_F(SupportWindow, WithoutAnOpenerNothingHappensAndNothingHangs) {
  setenv("SUITE_SHELL_OPENER", "/nonexistent/opener", 1);
  frmSupport f;
  f.Show();
  Click(f, "Command2");
  Click(f, "Command5");
  EXPECT_TRUE(boxes_.empty());
  EXPECT_TRUE(f.Visible());
  f.Unload();
  unsetenv("SUITE_SHELL_OPENER");
}
