// The compression-method chooser, the still-duration window and the installed-codecs window:
// stored method → selected option → "Set as Default"'s stored value, availability, "Next" on
// every element; duration list, note, OK and title-bar close; the filter list and its preselection.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "OptionsTestSupport.h"
#include "PrivateRegistry.h"
#include "core/error.h"
#include "core/runtime_strings.h"
#include "forms/app.h"
#include "forms/responder.h"
#include "mainwindow/FormInstances.h"
#include "mainwindow/modSettings.h"
#include "options/frmCodecs.h"
#include "options/frmCompOpt.h"
#include "options/frmCompress.h"
#include "options/frmDuration.h"
#include "registry/settings.h"
#include "scripted_responder.h"
#include "window_driver.h"

using namespace options_test;
namespace fs = std::filesystem;

namespace {

class SmallWindows : public PrivateRegistry {
 protected:
  void SetUp() override {
    PrivateRegistry::SetUp();
    SetMsgBoxHandler([](const MsgBoxRequest& r) { return CurrentResponder()->MessageBox(r); });
    program_.emplace();
    EncoderInstallDir.clear();
  }
  void TearDown() override {
    for (Form* f : std::initializer_list<Form*>{&chooser_, &duration_, &codecs_})
      if (f->IsLoaded()) f->Unload();
    program_.reset();
    PrivateRegistry::TearDown();
  }
  // A program that records its start in <name>.started beside it.
  std::string RecordingProgram(const std::string& relative, const std::string& folder = {}) {
    const fs::path p = fs::path(folder.empty() ? program_->Path() : folder) / relative;
    fs::create_directories(p.parent_path());
    std::ofstream(p) << "#!/bin/sh\ntouch '" << p.string() << ".started'\n";
    ::chmod(p.c_str(), 0755);
    return p.string();
  }
  static bool Started(const std::string& program) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!fs::exists(program + ".started")) {
      if (std::chrono::steady_clock::now() > end) return false;
      DoEvents();
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
  }
  std::string Stored() { return GetSetting(kSettingsApp, kSectionOptions, kKeyCompression, "(missing)"); }
  std::optional<ProgramFolder> program_;
  frmCompOpt chooser_;
  frmDuration duration_;
  frmCodecs codecs_;
};

}  // namespace

TEST_F(SmallWindows, ChooserStoredMethodToOptionToDefault) {
  struct Case {
    const char* name;
    std::optional<std::string> stored;
    bool allPrograms;
    int16_t selected;       // -1 none
    bool helpChanged;       // Label2 no longer the first text
    std::string setAsDefault;  // stored by "Set as Default"
  };
  const Case cases[] = {
      {"missing: Manual keeps the first help", std::nullopt, false, 6, false, "Manual"},
      {"Crunchbox there", "Crunchbox", true, 0, true, "Crunchbox"},
      {"Crunchbox missing: selected, then cleared", "Crunchbox", false, -1, true, ""},
      {"WME there", "WME", true, 1, true, "WME"},
      {"WME missing", "WME", false, -1, true, ""},
      {"other case not recognised", "wme", true, 6, false, "Manual"},
      {"VirtualDub there", "VirtualDub", true, 4, true, "VirtualDub"},
      {"Batch needs the encoder and Lotkiln", "Batch", true, 5, true, "Batch"},
      {"Batch without Lotkiln", "Batch", false, -1, true, ""},
  };
  const std::string first = "Windows Media files are smaller than Crunchbox encoded files";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Step([] { DeleteSetting(kSettingsApp, kSectionOptions); });
    Err().Clear();
    fs::remove_all(program_->Path());
    fs::create_directories(program_->Path());
    EncoderInstallDir.clear();
    if (c.allPrograms) {
      for (const char* p : {"Crunchbox", "Lotkiln", "VirtualDub/VirtualDub", "enc/WMEnc"}) program_->AddProgram(p);
      EncoderInstallDir = program_->Path() + "/enc";
    }
    if (c.stored) SaveSetting(kSettingsApp, kSectionOptions, kKeyCompression, *c.stored);
    ScriptScope script;
    chooser_.Load();
    EXPECT_EQ(chooser_.Caption(), "Compression Tools");
    EXPECT_EQ(chooser_.SelectedElement(), c.selected);
    EXPECT_EQ(chooser_.Label2->Caption().rfind(first, 0) != 0, c.helpChanged);
    if (c.helpChanged && c.selected >= 0) {
      EXPECT_EQ(chooser_.Label2->Caption(), frmCompOpt::HelpText(c.selected));
    }
    for (int16_t e : {0, 1, 4, 5}) EXPECT_EQ(chooser_.Option1(e).Enabled(), c.allPrograms) << e;
    EXPECT_TRUE(chooser_.Option1(3).Enabled());
    EXPECT_TRUE(chooser_.Option1(6).Enabled());
    driver::Click(*chooser_.Command3);
    EXPECT_EQ(Stored(), c.setAsDefault);
    EXPECT_TRUE(chooser_.IsLoaded());
    chooser_.Unload();
  }
}

TEST_F(SmallWindows, ChooserClickingOptions) {
  ScriptScope script;
  SaveSetting(kSettingsApp, kSectionOptions, kKeyCompression, "Manual");
  chooser_.Load();
  driver::Click(chooser_.Option1(3));
  EXPECT_EQ(chooser_.Label2->Caption(), frmCompOpt::HelpText(3));
  EXPECT_FALSE(chooser_.Command3->Enabled());
  chooser_.Command3->Enabled(true);  // pressed anyway: nothing stored
  driver::Click(*chooser_.Command3);
  EXPECT_EQ(Stored(), "Manual");
  driver::Click(chooser_.Option1(6));
  EXPECT_EQ(chooser_.Label2->Caption(), frmCompOpt::HelpText(6));
  EXPECT_TRUE(chooser_.Command3->Enabled());
  driver::Click(*chooser_.Command2);
  EXPECT_FALSE(chooser_.IsLoaded());
}

TEST_F(SmallWindows, ChooserNextOnEveryElement) {
  const std::string pf = program_->Path();
  // Programs missing: the messages (with "/" in the paths) and the window stays.
  struct Missing {
    int16_t element;
    std::string message;  // "" none
  };
  const Missing missing[] = {
      {0, "Can't find Crunchbox.exe. Please resinstall the Crunchbox encoder."},
      {4, "Can't find " + pf + "/VirtualDub/VirtualDub.exe."},
      {5, "Can't find " + pf + "/Lotkiln.exe."},
      {1, ""},
  };
  for (const Missing& m : missing) {
    SCOPED_TRACE(m.element);
    ScriptScope script;
    EncoderInstallDir = pf + "/enc";
    chooser_.Load();
    chooser_.Option1(m.element).Enabled(true);
    chooser_.Option1(m.element).Value(true);
    if (!m.message.empty()) script->AnswerMsgBox(vbOK);
    driver::Click(*chooser_.Command1);
    if (!m.message.empty()) {
      ASSERT_EQ(script->MsgBoxes().size(), 1u);
      EXPECT_EQ(script->MsgBoxes()[0].prompt, m.message);
    } else {
      EXPECT_EQ(EncoderInstallDir, "");
    }
    EXPECT_TRUE(chooser_.IsLoaded());
    chooser_.Unload();
  }
  // Programs there: started; the compressor leaves the chooser open, the others close it.
  const std::string crunchbox = RecordingProgram("Crunchbox");
  const std::string vdub = RecordingProgram("VirtualDub/VirtualDub");
  const std::string lotkiln = RecordingProgram("Lotkiln");
  const std::string wme = RecordingProgram("enc/WMEnc");
  struct There {
    int16_t element;
    std::string program;
    bool staysOpen;
  };
  for (const There& t : {There{0, crunchbox, true}, There{4, vdub, false}, There{5, lotkiln, false}, There{1, wme, false}}) {
    SCOPED_TRACE(t.element);
    EncoderInstallDir = pf + "/enc";
    ScriptScope script;
    chooser_.Load();
    chooser_.Option1(t.element).Value(true);
    driver::Click(*chooser_.Command1);
    EXPECT_TRUE(Started(t.program));
    EXPECT_EQ(chooser_.IsLoaded(), t.staysOpen);
    if (chooser_.IsLoaded()) chooser_.Unload();
  }
  // 3 and 6: the next window modally, the chooser hidden meanwhile, closed afterwards.
  for (int16_t e : {3, 6}) {
    SCOPED_TRACE(e);
    ScriptScope script;
    chooser_.Load();
    chooser_.Show();
    chooser_.Option1(e).Value(true);
    bool chooserHidden = false;
    auto watch = driver::WhenShownModally(e == 3 ? "frmCompress" : "frmCodecs", [&](Form& f) {
      chooserHidden = !chooser_.Visible();
      driver::Click(*f.FindControl("Command1"));  // Exit / OK
    });
    driver::Click(*chooser_.Command1);
    EXPECT_EQ(watch.Count(), 1);
    EXPECT_TRUE(chooserHidden);
    EXPECT_FALSE(chooser_.IsLoaded());
  }
}

TEST_F(SmallWindows, DurationListNoteAndOk) {
  struct Case {
    int32_t defaultDuration;
    int16_t click;          // list index clicked before OK, -1 none, -2 closed by the title bar
    int16_t selectedAtLoad;
    int32_t chosen;
    bool ok;
  };
  const Case cases[] = {
      {5, -1, 4, 5, true},     // OK on the preselected default
      {5, 11, 4, 12, true},    // another line
      {75, -1, -1, 0, true},   // a default above 60: no line, OK stores 0
      {7, -2, 6, 0, false},    // the title bar: nothing chosen, nothing applied
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.defaultDuration);
    ChosenClipDuration = 0;
    DefaultClipDuration = c.defaultDuration;
    ScriptScope script;
    duration_.Load();
    EXPECT_EQ(duration_.Caption(), "Change Duration");
    EXPECT_EQ(duration_.lstDelay->ListCount(), 60);
    EXPECT_EQ(duration_.lstDelay->List(0), "1");
    EXPECT_EQ(duration_.lstDelay->ListIndex(), c.selectedAtLoad);
    EXPECT_EQ(duration_.Label2->Caption(),
              "All other still images in the Storyboard will be unchanged.\r\n\r\nThe default setting for new still "
              "images is currently set to " +
                  std::to_string(c.defaultDuration) +
                  " seconds. You may change this in Settings and Preferences from the main menu.");
    if (c.click >= 0) driver::ClickListItem(*duration_.lstDelay, c.click);
    if (c.click == -2) {
      ChosenClipDuration = 33;  // an earlier choice
      duration_.Unload();
      EXPECT_EQ(ChosenClipDuration, 33);
    } else {
      driver::Click(*duration_.Command1);
      EXPECT_EQ(ChosenClipDuration, c.chosen);
    }
    EXPECT_EQ(duration_.OkPressed(), c.ok);
    EXPECT_FALSE(duration_.IsLoaded());
  }
}

TEST_F(SmallWindows, InstalledCodecsListAndPreselection) {
  struct Case {
    std::optional<std::string> stored;
    std::string selected;
  };
  for (const Case& c : {Case{std::nullopt, ""}, Case{"Video Renderer", "Video Renderer"}, Case{"video renderer", "Video Renderer"}}) {
    SCOPED_TRACE(c.stored.value_or("(missing)"));
    Step([] { DeleteSetting(kSettingsApp, kSectionInit); });
    Err().Clear();
    if (c.stored) SaveSetting(kSettingsApp, kSectionInit, kKeyDefaultCodec, *c.stored);
    ScriptScope script;
    codecs_.Load();
    EXPECT_EQ(codecs_.Caption(), "Installed Codecs");
    ASSERT_GT(codecs_.List2->ListCount(), 0);
    for (int16_t i = 0; i < codecs_.List2->ListCount(); ++i) {
      const std::string name = codecs_.List2->List(i);
      EXPECT_NE(LCase(name).find("video"), std::string::npos) << name;
      EXPECT_EQ(name, Trim(name));
    }
    EXPECT_EQ(codecs_.List2->Text(), c.selected);
    driver::Click(*codecs_.Command1);
    EXPECT_FALSE(codecs_.IsLoaded());
    EXPECT_EQ(GetSetting(kSettingsApp, kSectionInit, kKeyDefaultCodec, "(missing)"), c.stored.value_or("(missing)"));
  }
}
