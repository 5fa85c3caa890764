// The start: Main with the splash window, its design and version line, the road to the main
// window, and the splash's watchdog with its two boxes (the second ends the process).
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>

#include "core/clock.h"
#include "core/error.h"
#include "engine/modGeneral.h"
#include "forms/app.h"
#include "forms/form.h"
#include "forms/responder.h"
#include "mainwindow/FormInstances.h"
#include "mainwindow/frmSplash.h"
#include "mainwindow/modMain.h"
#include "scripted_responder.h"
#include "shell/files.h"

namespace fs = std::filesystem;

extern const unsigned char kSplashPicture[];
extern const size_t kSplashPictureSize;

namespace {

// A clock that moves on a quarter second at every reading, so that Main's pause of two seconds
// passes at once.
class FastClock {
 public:
  FastClock() {
    auto start = std::chrono::system_clock::now();
    auto readings = std::make_shared<int>(0);
    previous_ = SetClockForTesting([start, readings] { return start + std::chrono::milliseconds(250 * (*readings)++); });
  }
  ~FastClock() { SetClockForTesting(previous_); }

 private:
  ClockFunction previous_;
};

// A stand-in main window: its load shows it and unloads the splash, as the storyboard window's
// does; `failLoad` makes its load fail before it shows itself, `hidden` leaves it hidden.
class StandInMain : public Form {
 public:
  StandInMain() : Form("frmShow") {
    On("Form_Load", [this] {
      ++loads;
      if (failLoad) Raise(vbErrCantCreateObject, "no storyboard");
      if (hidden) return;
      Show();
      DefaultForm<frmSplash>().Unload();
    });
    On("Form_QueryUnload", [this](int16_t&, int16_t) {
      if (!marker.empty()) std::ofstream(marker) << "asked";
    });
  }
  int loads = 0;
  bool failLoad = false;
  bool hidden = false;
  std::string marker;
};

class Startup : public ::testing::Test {
 protected:
  void TearDown() override {
    SetMainWindow(nullptr);
    DefaultForm<frmSplash>().Unload();
    if (main_) main_->Unload();
  }
  StandInMain& RegisterMain() {
    main_ = std::make_unique<StandInMain>();
    StandInMain* m = main_.get();
    SetMainWindow([m]() -> Form& { return *m; });
    return *m;
  }
  std::unique_ptr<StandInMain> main_;
};

frmSplash& Splash() { return DefaultForm<frmSplash>(); }

std::string Version() { return std::string("Version: ") + SUITE_PROJECT_VERSION; }

}  // namespace

TEST_F(Startup, SplashDesignAndVersionLine) {
  frmSplash& s = Splash();
  s.Load();
  EXPECT_EQ(s.Left(), Screen().Width() / 2 - 5850 / 2) << "centred by its design width";
  EXPECT_NEAR(s.Top(), Screen().Height() / 2 - s.Height() / 2, 15) << "to the pixel";
  EXPECT_EQ(s.Picture1->GetPicture().PixelWidth(), 381);
  EXPECT_EQ(s.Picture1->GetPicture().PixelHeight(), 205);
  EXPECT_EQ(s.Picture1->Width(), 381 * 15);
  ASSERT_GT(kSplashPictureSize, 30u);
  EXPECT_EQ(kSplashPicture[0], 'B');
  EXPECT_EQ(kSplashPicture[1], 'M');
  EXPECT_EQ(kSplashPicture[28], 24) << "a 24-bit bitmap";
  for (int16_t i : {0, 1}) {
    EXPECT_EQ(s.Label2(i).Caption(), Version());
    EXPECT_EQ(s.Label2(i).Font().Name, "MS Sans Serif");
    EXPECT_EQ(s.Label2(i).Font().Size, 12.0f);
    EXPECT_TRUE(s.Label2(i).Font().Bold);
  }
  EXPECT_EQ(s.Label2(0).ForeColor(), OLE_COLOR{0x000000});
  EXPECT_EQ(s.Label2(1).ForeColor(), OLE_COLOR{0x0000FF});
  EXPECT_EQ(s.Label2(1).Left(), s.Label2(0).Left() - 15);
  EXPECT_EQ(s.Label2(1).Top(), s.Label2(0).Top());
  EXPECT_FALSE(s.Label1->Caption().empty());
  EXPECT_EQ(s.Timer2->Interval(), 15000);
  EXPECT_TRUE(s.Timer2->Enabled());
  EXPECT_FALSE(s.Visible()) << "loading does not show it";
}

TEST_F(Startup, MainWithoutAMainWindowShowsTheSplashAndEndsQuietly) {
  ScriptScope script;  // no box at all
  FastClock clock;
  ChDir(fs::temp_directory_path().string());
  Main();
  frmSplash& s = Splash();
  EXPECT_TRUE(s.IsLoaded());
  EXPECT_TRUE(s.Visible());
  EXPECT_EQ(s.Width(), 381 * 15) << "the picture's width";
  EXPECT_EQ(s.Left(), Screen().Width() / 2 - 5850 / 2) << "the left edge of the design width's centring";
  EXPECT_EQ(fs::path(CurDir()), fs::path(App().Path())) << "the program folder is the current folder";
}

TEST_F(Startup, MainLoadsTheMainWindowWhichEndsTheSplash) {
  ScriptScope script;
  FastClock clock;
  StandInMain& m = RegisterMain();
  Main();
  EXPECT_EQ(m.loads, 1);
  EXPECT_TRUE(m.Visible());
  EXPECT_FALSE(Splash().IsLoaded());
}

TEST_F(Startup, AFailingMainWindowLoadEndsMainQuietlyAndLeavesTheSplash) {
  ScriptScope script;
  FastClock clock;
  StandInMain& m = RegisterMain();
  m.failLoad = true;
  EXPECT_NO_THROW(Main());
  EXPECT_EQ(Err().Number, 0) << "the failure is cleared";
  EXPECT_TRUE(Splash().Visible());
  EXPECT_FALSE(m.Visible());
}

TEST_F(Startup, WatchdogTicks) {
  struct Case {
    const char* name;
    bool registerMain, mainVisible;
  };
  const Case cases[] = {{"no main window", false, false}, {"main window hidden", true, false},
                        {"main window shown", true, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptScope script;
    if (c.registerMain) {
      StandInMain& m = RegisterMain();
      m.hidden = true;
      m.Load();
      if (c.mainVisible) m.Show();
    }
    Splash().Show();
    if (!c.mainVisible) script->AnswerMsgBox(vbNo);
    EventArgs none;
    Splash().RaiseEvent("Timer2_Timer", none);
    if (c.mainVisible) {
      EXPECT_FALSE(Splash().IsLoaded()) << "a visible main window ends the splash";
      EXPECT_TRUE(script->MsgBoxes().empty());
    } else {
      EXPECT_TRUE(Splash().IsLoaded()) << "No waits another 15 seconds";
      ASSERT_EQ(script->MsgBoxes().size(), 1u);
      const MsgBoxRequest box = script->MsgBoxes()[0];
      EXPECT_EQ(box.title, "Windows COM Object Failure");
      EXPECT_EQ(box.buttons, vbYesNo + vbCritical);
      EXPECT_EQ(box.prompt,
                "The Microsoft DirectX version 8 engine or an ActiveX component has failed to initialize.\r\n"
                "Do you want to end this program now? (Press ''No'' to wait 15 more seconds.)");
    }
    TearDown();
  }
}

TEST(StartupTexts, TheExplanationHasTwelveLinesEndingWithTheSupportAddress) {
  std::string text = frmSplash::FailureExplanation();
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t crlf; (crlf = text.find("\r\n", start)) != std::string::npos; start = crlf + 2) {
    lines.push_back(text.substr(start, crlf - start));
  }
  lines.push_back(text.substr(start));
  ASSERT_EQ(lines.size(), 12u);
  EXPECT_EQ(lines[0], "The most likely cause of this error is Microsoft DirectX.");
  EXPECT_EQ(lines[1], "Microsoft DirectX version 8 must be installed, repaired or reinstalled");
  EXPECT_EQ(lines[2], "on your computer or this application will not operate.");
  EXPECT_EQ(lines[3], "");
  EXPECT_EQ(lines[4], "See DirectX help for information about diagnosing DirectX problems.");
  EXPECT_EQ(lines[5], "There is also a less likely possibility of a missing, unregistered or incorrect");
  EXPECT_EQ(lines[6], "version of an ActiveX component.");
  EXPECT_EQ(lines[7], "If you have just installed this product, open the install.log in the");
  EXPECT_EQ(lines[8], "installation folder and look for any objects that failed to register");
  EXPECT_EQ(lines[9], "during the installation.");
  EXPECT_EQ(lines[10], "");
  EXPECT_NE(lines[11].find(kSupportMailAddress), std::string::npos);
  EXPECT_EQ(lines[11].find("\r"), std::string::npos);
}

namespace {
// Prints each box to standard error and answers Yes, then OK: what the death test's parent reads.
class PrintingResponder : public Responder {
 public:
  int MessageBox(const MsgBoxRequest& r) override {
    std::fprintf(stderr, "BOX[%s|%d] %s\n", r.title.c_str(), r.buttons, r.prompt.c_str());
    return (r.buttons & 7) == vbYesNo ? vbYes : vbOK;
  }
  DialogAnswer Dialog(const DialogRequest&) override { return DialogAnswer::Cancel(); }
};
}  // namespace

TEST_F(Startup, AnyAnswerButNoExplainsAndEndsTheProcessWithoutQueryUnload) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const char* scratch = std::getenv("SUITE_TEST_SCRATCH");
  fs::path marker = fs::path(scratch ? scratch : fs::temp_directory_path().string()) / "watchdog-queryunload";
  fs::create_directories(marker.parent_path());
  fs::remove(marker);
  EXPECT_EXIT(
      {
        SetResponder(std::make_shared<PrintingResponder>());
        StandInMain& m = RegisterMain();
        m.hidden = true;
        m.marker = marker.string();
        m.Load();
        Splash().Show();
        EventArgs none;
        Splash().RaiseEvent("Timer2_Timer", none);
        std::fprintf(stderr, "still running\n");
        std::exit(3);
      },
      ::testing::ExitedWithCode(0),
      "BOX\\[Windows COM Object Failure\\|20\\] The Microsoft DirectX version 8 engine(.|\n)*"
      "BOX\\[Windows COM Object Failure\\|16\\] The most likely cause of this error is Microsoft DirectX\\.");
  EXPECT_FALSE(fs::exists(marker)) << "no window is asked to close";
}
