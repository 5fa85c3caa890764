// The application object, the screen, message boxes and dialogs through the responder.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "forms/app.h"
#include "forms/responder.h"
#include "forms_test_support.h"

namespace fs = std::filesystem;

TEST(App, PathAndNameAreThoseOfTheRunningProgram) {
  EXPECT_EQ(App().EXEName(), "forms_app_test");
  EXPECT_TRUE(fs::exists(fs::path(App().Path()) / "forms_app_test"));
  EXPECT_NE(App().Path().back(), '/');
}

TEST(App, TitleIsSharedWithMessageBoxes) {
  ScriptScope script;
  script->AnswerMsgBox(vbOK);
  std::string old = App().Title();
  App().Title("Kilnhand");
  MsgBox("hello");
  App().Title(old);
  ASSERT_EQ(script->MsgBoxes().size(), 1u);
  EXPECT_EQ(script->MsgBoxes()[0].title, "Kilnhand");
}

TEST(App, CommandTailComesFromTheEnvironmentWhenSet) {
  // The starter hands the tail over together with the process it is meant for.
  ::setenv("SUITE_COMMAND_TAIL", "/media/my movie.avi <RUN>", 1);
  ::setenv("SUITE_COMMAND_PID", std::to_string(::getpid()).c_str(), 1);
  EXPECT_EQ(Command(), "/media/my movie.avi <RUN>");
  // A tail inherited from a process started earlier is not this program's.
  ::setenv("SUITE_COMMAND_PID", std::to_string(::getpid() + 1).c_str(), 1);
  EXPECT_EQ(Command().find("my movie"), std::string::npos);
  ::unsetenv("SUITE_COMMAND_PID");
  ::unsetenv("SUITE_COMMAND_TAIL");
  // Without it: the program's own arguments (gtest leaves none it does not know of here).
  EXPECT_EQ(Command().find("forms_app_test"), std::string::npos);
}

// Run as a second process by the test below: reports through its exit code whether it saw a
// previous instance.
TEST(App, ChildReportsPrevInstance) {
  if (!std::getenv("FORMS_PREV_INSTANCE_CHILD")) GTEST_SKIP() << "only as a child process";
  std::_Exit(App().PrevInstance() ? 10 : 20);
}

TEST(App, PrevInstanceSeesAnotherProcessOfTheSameProgram) {
  EXPECT_FALSE(App().PrevInstance());
  std::string self = (fs::path(App().Path()) / App().EXEName()).string();
  std::string cmd = "FORMS_PREV_INSTANCE_CHILD=1 '" + self + "' --gtest_filter=App.ChildReportsPrevInstance >/dev/null 2>&1";
  int status = std::system(cmd.c_str());
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 10);
  EXPECT_FALSE(App().PrevInstance()) << "the first instance stays the first";
}

TEST(Screen, MeasuresInTwips) {
  EXPECT_EQ(Screen().TwipsPerPixelX(), 15.0f);
  EXPECT_EQ(Screen().TwipsPerPixelY(), 15.0f);
  EXPECT_GT(Screen().Width(), 0);
  EXPECT_EQ(Screen().Width() % 15, 0);
  EXPECT_EQ(Screen().Height() % 15, 0);
}

TEST(Screen, MousePointerIsKeptUntilReset) {
  Screen().MousePointer(vbHourglass);
  EXPECT_EQ(Screen().MousePointer(), vbHourglass);
  Screen().MousePointer(vbArrowHourglass);
  EXPECT_EQ(Screen().MousePointer(), vbArrowHourglass);
  Screen().MousePointer(vbDefault);
  EXPECT_EQ(Screen().MousePointer(), vbDefault);
}

TEST(Responder, AnswersInOrderAndRecordsEveryRequest) {
  ScriptScope script;
  script->AnswerMsgBox(vbNo).AnswerDialog(DialogKind::Input, DialogAnswer::Ok("typed")).AnswerMsgBox(vbCancel);
  EXPECT_EQ(MsgBox("Save?", vbYesNoCancel | vbQuestion | vbDefaultButton2, std::string("Mine")), vbNo);
  EXPECT_EQ(InputBox("Name:", "", "def"), "typed");
  EXPECT_EQ(MsgBox("Again?", vbOKCancel | vbCritical), vbCancel);

  const auto& asked = script->Requests();
  ASSERT_EQ(asked.size(), 3u);
  EXPECT_TRUE(asked[0].isMsgBox);
  EXPECT_EQ(asked[0].msgBox.prompt, "Save?");
  EXPECT_EQ(asked[0].msgBox.title, "Mine");
  EXPECT_EQ(asked[0].msgBox.buttons & 7, vbYesNoCancel);
  EXPECT_EQ(asked[0].msgBox.buttons & 0x70, vbQuestion);
  EXPECT_EQ(asked[0].msgBox.buttons & 0x300, vbDefaultButton2);
  EXPECT_FALSE(asked[1].isMsgBox);
  EXPECT_EQ(asked[1].dialog.kind, DialogKind::Input);
  EXPECT_EQ(asked[1].dialog.prompt, "Name:");
  EXPECT_EQ(asked[1].dialog.title, App().Title()) << "no title: the program's";
  EXPECT_EQ(asked[1].dialog.defaultText, "def");
  EXPECT_EQ(asked[2].msgBox.title, App().Title());
}

TEST(Responder, CancelledInputBoxAndFolderAnswerEmpty) {
  ScriptScope script;
  script->AnswerDialog(DialogKind::Input, DialogAnswer::Cancel()).AnswerDialog(DialogKind::Folder, DialogAnswer::Cancel());
  EXPECT_EQ(InputBox("Name:", "T", "default"), "");
  EXPECT_EQ(BrowseForFolder("Pick a folder"), "");
  EXPECT_EQ(script->Dialogs().at(1).prompt, "Pick a folder");
}

TEST(Responder, UnexpectedRequestsAreReported) {
  struct Case {
    const char* what;
    std::function<void(ScriptedResponder&)> script;
    std::function<void()> ask;
  };
  const Case cases[] = {
      {"box with an empty script", [](ScriptedResponder&) {}, [] { MsgBox("surprise", vbYesNo); }},
      {"dialog where a box was expected", [](ScriptedResponder& s) { s.AnswerMsgBox(vbOK); },
       [] { InputBox("what?"); }},
      {"dialog of another kind", [](ScriptedResponder& s) { s.AnswerDialog(DialogKind::Open, DialogAnswer::Ok("/x")); },
       [] { BrowseForFolder("where?"); }},
  };
  for (const Case& c : cases) {
    auto script = std::make_shared<ScriptedResponder>();
    std::vector<std::string> reported;
    script->OnUnexpected([&](const std::string& what) { reported.push_back(what); });
    c.script(*script);
    auto previous = SetResponder(script);
    c.ask();
    SetResponder(previous);
    EXPECT_EQ(reported.size(), 1u) << c.what;
  }
}

TEST(Responder, UnexpectedBoxAnswersItsDefaultButton) {
  auto script = std::make_shared<ScriptedResponder>();
  script->OnUnexpected([](const std::string&) {});
  auto previous = SetResponder(script);
  EXPECT_EQ(MsgBox("q", vbYesNo | vbDefaultButton2), vbNo);
  SetResponder(previous);
}

TEST(ResponderDeathTest, UnexpectedBoxFailsByDefault) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(
      {
        SetResponder(std::make_shared<ScriptedResponder>());
        MsgBox("nobody expects this");
      },
      "unexpected message box \"nobody expects this\"");
}

TEST(ResponderDeathTest, UnscriptedBoxUnderTheHarnessEndsTheRun) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  ::setenv("SUITE_TEST_SCRATCH", "/tmp", 0);
  EXPECT_DEATH(
      {
        SetResponder(nullptr);
        MsgBox("no script for this", vbYesNo);
      },
      "unexpected message box \"no script for this\"");
}

TEST(App, VersionIsTheProjectVersion) {
  std::string version = std::to_string(App().Major) + "." + std::to_string(App().Minor) + "." +
                        std::to_string(App().Revision);
  EXPECT_EQ(version, SUITE_PROJECT_VERSION);
}
