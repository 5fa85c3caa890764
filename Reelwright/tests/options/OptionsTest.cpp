// The options window: every setting from the store through its control to what "Save and Exit"
// writes and the global it sets (a table), the tiles and the main window's services on saving,
// the transition-time checks, "Allow Resize" with Cancel, the tools found, the two "..." buttons.
#include <gtest/gtest.h>

#include <functional>
#include <optional>

#include "OptionsTestSupport.h"
#include "PrivateRegistry.h"
#include "core/error.h"
#include "core/runtime_convert.h"
#include "forms/responder.h"
#include "mainwindow/modSettings.h"
#include "options/frmOptions.h"
#include "registry/settings.h"
#include "scripted_responder.h"
#include "window_driver.h"

using namespace options_test;

namespace {

std::string Ticked(CheckBox& box) { return box.Value() == vbChecked ? "ticked" : "cleared"; }
std::string Bool(bool b) { return b ? "True" : "False"; }

class OptionsWindow : public PrivateRegistry {
 protected:
  void SetUp() override {
    PrivateRegistry::SetUp();
    SetMsgBoxHandler([](const MsgBoxRequest& r) { return CurrentResponder()->MessageBox(r); });
    program_.emplace();
    main_ = std::make_unique<StandInStoryboard>();
    SetMainWindow([this]() -> Form& { return *main_; });
    EncoderInstallDir.clear();
  }
  void TearDown() override {
    if (f_.IsLoaded()) f_.Unload();
    SetMainWindow(nullptr);
    if (main_->IsLoaded()) main_->Unload();
    main_.reset();
    program_.reset();
    PrivateRegistry::TearDown();
  }
  static std::optional<std::string> Stored(const char* section, const char* key) {
    const std::string v = GetSetting(kSettingsApp, section, key, "(missing)");
    if (v == "(missing)") return std::nullopt;
    return v;
  }
  static void ClearStore() {
    for (const char* section : {kSectionInit, kSectionOptions}) Step([&] { DeleteSetting(kSettingsApp, section); });
    Err().Clear();
  }
  std::optional<ProgramFolder> program_;
  std::unique_ptr<StandInStoryboard> main_;
  RecordedServices services_;
  frmOptions f_;
};

}  // namespace

TEST_F(OptionsWindow, EverySettingFromStoreToControlToSavedValueAndGlobal) {
  const std::string pf = program_->Path();
  const std::string longFolder = "/media/" + std::string(300, 'o') + "/Output";
  struct Row {
    std::string name;
    const char* section;
    const char* key;
    std::optional<std::string> stored;
    std::function<void()> before;
    std::function<std::string()> shown;
    std::string expectShown;
    std::optional<std::string> written;  // nullopt: the key stays missing
    std::function<std::string()> global;
    std::string expectGlobal;
  };
  auto nothing = [] {};
  auto noGlobal = [] { return std::string(); };
  auto paint = [&] { program_->AddProgram("mspaint"); };
  auto noPaint = [&] { std::filesystem::remove(pf + "/mspaint"); };
  auto option = [&] {
    for (int16_t e : {0, 1, 3, 5, 6})
      if (f_.Option1(e).Value()) return std::to_string(e);
    return std::string("none");
  };
  auto delay = [&] { return f_.DelayValue(); };
  auto clipDuration = [] { return std::to_string(DefaultClipDuration); };
  const std::vector<Row> rows = {
      {"codec missing: no line", kSectionInit, kKeyDefaultCodec, std::nullopt, nothing,
       [&] { return std::to_string(f_.List2->ListIndex()); }, "-1", std::nullopt, noGlobal, ""},
      {"codec of the list", kSectionInit, kKeyDefaultCodec, "Video Renderer", nothing, [&] { return f_.List2->Text(); },
       "Video Renderer", "Video Renderer", noGlobal, ""},
      {"delay missing", kSectionOptions, kKeyDefaultDuration, std::nullopt, [] { DefaultClipDuration = 9; }, delay, "5",
       "5", clipDuration, "5"},
      {"delay 7.5 rounds to even 8", kSectionOptions, kKeyDefaultDuration, "7.5", nothing, delay, "8", "8", clipDuration,
       "8"},
      {"delay 6.5 rounds to even 6", kSectionOptions, kKeyDefaultDuration, "6.5", nothing, delay, "6", "6", clipDuration,
       "6"},
      {"delay off the list kept", kSectionOptions, kKeyDefaultDuration, "3", nothing, delay, "3", "3", clipDuration, "3"},
      {"delay above 60", kSectionOptions, kKeyDefaultDuration, "75", nothing, delay, "75", "60", clipDuration, "60"},
      {"delay no number: the global", kSectionOptions, kKeyDefaultDuration, "soon", [] { DefaultClipDuration = 12; },
       delay, "12", "12", clipDuration, "12"},
      {"transition missing", kSectionOptions, kKeyTransition, std::nullopt, nothing, [&] { return f_.Combo1->Text(); },
       "None", "None", [] { return DefaultTransition; }, "None"},
      {"transition stored", kSectionOptions, kKeyTransition, "Fade", nothing, [&] { return f_.Combo1->Text(); }, "Fade",
       "Fade", [] { return DefaultTransition; }, "Fade"},
      {"output missing", kSectionOptions, kKeyOutput, std::nullopt, nothing, [&] { return f_.Text1->Text(); },
       pf + "/Output", pf + "/Output", [] { return OutputFolder; }, pf + "/Output"},
      {"output longer than 260", kSectionOptions, kKeyOutput, longFolder, nothing, [&] { return f_.Text1->Text(); },
       longFolder, longFolder, [] { return OutputFolder; }, longFolder},
      {"drag missing", kSectionOptions, kKeyDragDrop, std::nullopt, [] { DragDropEnabled = false; },
       [&] { return Ticked(*f_.Check2); }, "ticked", "TRUE", [] { return Bool(DragDropEnabled); }, "True"},
      {"drag false any case", kSectionOptions, kKeyDragDrop, "fAlSe", nothing, [&] { return Ticked(*f_.Check2); },
       "cleared", "FALSE", [] { return Bool(DragDropEnabled); }, "False"},
      {"drag number 0", kSectionOptions, kKeyDragDrop, "0", nothing, [&] { return Ticked(*f_.Check2); }, "cleared",
       "FALSE", [] { return Bool(DragDropEnabled); }, "False"},
      {"drag garbage: the global", kSectionOptions, kKeyDragDrop, "maybe", [] { DragDropEnabled = true; },
       [&] { return Ticked(*f_.Check2); }, "ticked", "TRUE", [] { return Bool(DragDropEnabled); }, "True"},
      {"compression missing: Manual", kSectionOptions, kKeyCompression, std::nullopt, nothing, option, "6", "Manual",
       noGlobal, ""},
      {"compression other case, program there", kSectionOptions, kKeyCompression, "virtualdub",
       [&] { program_->AddProgram("VirtualDub/VirtualDub"); }, option, "3", "VirtualDub", noGlobal, ""},
      {"compression of a missing program: none", kSectionOptions, kKeyCompression, "Crunchbox", nothing, option, "none",
       "", noGlobal, ""},
      {"batch needs the encoder only", kSectionOptions, kKeyCompression, "Batch",
       [&] {
         EncoderInstallDir = pf + "/encoder";
         program_->AddProgram("encoder/WMEnc");
       },
       option, "5", "Batch", noGlobal, ""},
      {"batch without the encoder: none", kSectionOptions, kKeyCompression, "Batch",
       [&] { program_->AddProgram("Lotkiln"); }, option, "none", "", noGlobal, ""},
      {"compression unknown: Manual", kSectionOptions, kKeyCompression, "Zip", nothing, option, "6", "Manual", noGlobal,
       ""},
      {"transitions missing", kSectionOptions, kKeyAllowTransitions, std::nullopt, [] { TransitionsEnabled = true; },
       [&] { return Ticked(*f_.Check1) + (f_.Combo1->Enabled() ? " on" : " off"); }, "cleared off", "False",
       [] { return Bool(TransitionsEnabled); }, "False"},
      {"transitions TRUE", kSectionOptions, kKeyAllowTransitions, "TRUE", nothing,
       [&] { return Ticked(*f_.Check1) + (f_.lstDelay->Enabled() ? " on" : " off"); }, "ticked on", "True",
       [] { return Bool(TransitionsEnabled); }, "True"},
      {"transition time missing: 1 kept", kSectionOptions, kKeyTransitionTime, std::nullopt, nothing,
       [&] { return f_.TransitionTimeValue(); }, "1", "1", [] { return std::to_string(TransitionSeconds); }, "1"},
      {"transition time 5", kSectionOptions, kKeyTransitionTime, "5", nothing, [&] { return f_.List1->Text(); }, "5",
       "5", [] { return std::to_string(TransitionSeconds); }, "5"},
      {"editor missing, Paint there", kSectionOptions, kKeyImageEditor, std::nullopt, paint,
       [&] { return f_.Text2->Text(); }, pf + "/mspaint", pf + "/mspaint", [] { return ImageEditorPath; },
       pf + "/mspaint"},
      {"editor missing, no Paint: no editor saved", kSectionOptions, kKeyImageEditor, std::nullopt, noPaint,
       [&] { return f_.Text2->Text(); }, "", "", [] { return ImageEditorPath; }, "mspaint.exe"},
      {"editor no file: Paint saved, global as read", kSectionOptions, kKeyImageEditor, "/no/such/editor", paint,
       [&] { return f_.Text2->Text(); }, "/no/such/editor", pf + "/mspaint", [] { return ImageEditorPath; },
       "/no/such/editor"},
      {"toolbar true", kSectionOptions, kKeyShowToolbar, "true", nothing, [&] { return Ticked(*f_.Check3); }, "ticked",
       "True", [] { return Bool(ShowToolbarEnabled); }, "True"},
      {"size missing", kSectionOptions, kKeyActiveWindow, std::nullopt, nothing, [&] { return f_.Combo2->Text(); },
       "320X240", "320X240", noGlobal, ""},
      {"size as listed", kSectionOptions, kKeyActiveWindow, "320 x 240", nothing, [&] { return f_.Combo2->Text(); },
       "320 x 240", "320X240", noGlobal, ""},
      {"size off the list", kSectionOptions, kKeyActiveWindow, "1", nothing, [&] { return f_.Combo2->Text(); }, "1", "1",
       noGlobal, ""},
      {"DivX missing reads as cleared", kSectionInit, kKeyDivXMessage, std::nullopt, nothing,
       [&] { return Ticked(*f_.chkShowDivX) + (f_.chkShowDivX->Enabled() ? " on" : " off"); }, "cleared off", "Hide",
       noGlobal, ""},
      {"DivX show any case", kSectionInit, kKeyDivXMessage, "sHoW", nothing, [&] { return Ticked(*f_.chkShowDivX); },
       "ticked", "Show", noGlobal, ""},
      {"DivX hide", kSectionInit, kKeyDivXMessage, "hide", nothing, [&] { return Ticked(*f_.chkShowDivX); }, "cleared",
       "Hide", noGlobal, ""},
      {"tips missing", kSectionInit, kKeyStartTips, std::nullopt, nothing, [&] { return Ticked(*f_.chkTips); }, "ticked",
       "Show", noGlobal, ""},
      {"tips HIDE", kSectionInit, kKeyStartTips, "HIDE", nothing, [&] { return Ticked(*f_.chkTips); }, "cleared", "Hide",
       noGlobal, ""},
      {"auto-fit missing", kSectionInit, kKeyAutoFit, std::nullopt, nothing, [&] { return Ticked(*f_.Check4); },
       "cleared", "FALSE", noGlobal, ""},
      {"auto-fit true", kSectionInit, kKeyAutoFit, "true", nothing, [&] { return Ticked(*f_.Check4); }, "ticked", "TRUE",
       noGlobal, ""},
      {"multi-select missing reads as on", kSectionInit, kKeyMultiSelect, std::nullopt, nothing,
       [&] { return Ticked(*f_.Check5); }, "ticked", "TRUE", noGlobal, ""},
      {"multi-select false", kSectionInit, kKeyMultiSelect, "false", nothing, [&] { return Ticked(*f_.Check5); },
       "cleared", "FALSE", noGlobal, ""},
      {"resize TRUE", kSectionInit, kKeyResizeStream, "TRUE", [] { ResizeStreamEnabled = false; },
       [&] { return Ticked(*f_.chkResize); }, "ticked", "TRUE",
       [&] { return Bool(ResizeStreamEnabled) + (main_->FindControl("Label10")->Visible() ? " shown" : " hidden"); },
       "True shown"},
      {"resize missing", kSectionInit, kKeyResizeStream, std::nullopt, [] { ResizeStreamEnabled = true; },
       [&] { return Ticked(*f_.chkResize); }, "cleared", "FALSE",
       [&] { return Bool(ResizeStreamEnabled) + (main_->FindControl("CmbVideoSizes")->Visible() ? " shown" : " hidden"); },
       "False hidden"},
      {"projects from the global", kSectionInit, kKeyShowProject, "FALSE", [] { ShowProjectEnabled = true; },
       [&] { return Ticked(*f_.chkProject); }, "ticked", "TRUE", [] { return Bool(ShowProjectEnabled); }, "True"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    ClearStore();
    DefaultClipDuration = 5;
    TransitionSeconds = 1;
    EncoderInstallDir.clear();
    std::filesystem::remove_all(pf);
    std::filesystem::create_directories(pf);
    if (r.stored) SaveSetting(kSettingsApp, r.section, r.key, *r.stored);
    r.before();
    ScriptScope script;  // no box expected
    main_->Load();
    f_.Load();
    EXPECT_EQ(r.shown(), r.expectShown);
    driver::Click(*f_.Command1);
    EXPECT_FALSE(f_.IsLoaded());
    EXPECT_EQ(Stored(r.section, r.key), r.written);
    EXPECT_EQ(r.global(), r.expectGlobal);
  }
}

// An editor set before, its box emptied by the user and saved: the Paint program's path is stored,
// or "" when there is none, so the editor is cleared; the global keeps the value read at load.
TEST_F(OptionsWindow, AnEmptiedEditorBoxStoresThePaintProgramOrNothing) {
  const std::string pf = program_->Path();
  for (const bool paintThere : {true, false}) {
    SCOPED_TRACE(paintThere ? "Paint there" : "no Paint");
    ClearStore();
    std::filesystem::remove_all(pf);
    std::filesystem::create_directories(pf);
    const std::string editor = program_->AddProgram("tools/editor");
    if (paintThere) program_->AddProgram("mspaint");
    const std::string expected = paintThere ? pf + "/mspaint" : "";
    SaveSetting(kSettingsApp, kSectionOptions, kKeyImageEditor, editor);
    ScriptScope script;  // no box expected
    main_->Load();
    f_.Load();
    ASSERT_EQ(f_.Text2->Text(), editor);
    f_.Text2->Text("");
    driver::Click(*f_.Command1);
    EXPECT_FALSE(f_.IsLoaded());
    EXPECT_EQ(Stored(kSectionOptions, kKeyImageEditor), expected);
    EXPECT_EQ(ImageEditorPath, editor);
  }
}

TEST_F(OptionsWindow, SavingUpdatesTheTilesAndTheMainWindow) {
  SaveSetting(kSettingsApp, kSectionOptions, kKeyDefaultDuration, "5");
  SaveSetting(kSettingsApp, kSectionOptions, kKeyAllowTransitions, "True");
  SaveSetting(kSettingsApp, kSectionOptions, kKeyTransition, "Iris");
  SaveSetting(kSettingsApp, kSectionOptions, kKeyDragDrop, "FALSE");
  SaveSetting(kSettingsApp, kSectionOptions, kKeyShowToolbar, "False");
  main_->Load();
  const double durations[] = {3, 8, 0};
  for (int16_t i = 0; i < 3; ++i) main_->Tile(i).values[modOptions::tile::kDuration] = Variant(durations[i]);
  ScriptScope script;
  f_.Load();
  EXPECT_EQ(services_.calls, std::vector<std::string>{"FillHeightWidthCombo"});
  EXPECT_EQ(f_.Combo2->ListCount(), 3);
  driver::Click(*f_.Command1);
  const double raised[] = {5, 8, 5};
  for (int16_t i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    auto& t = main_->Tile(i);
    EXPECT_EQ(CBool(t.values[modOptions::tile::kShowTransitions]), true);
    EXPECT_EQ(CBool(t.values[modOptions::tile::kAllowDragDrop]), false);
    EXPECT_DOUBLE_EQ(CDbl(t.values[modOptions::tile::kDuration]), raised[i]);
    EXPECT_EQ(t.values.count(modOptions::tile::kTransition), i == 2 ? 1u : 0u);  // only the drop tile
  }
  EXPECT_EQ(CStr(main_->Tile(2).values[modOptions::tile::kTransition]), "Iris");
  EXPECT_EQ(services_.calls, (std::vector<std::string>{"FillHeightWidthCombo", "m_boolEnableDragDrop=False",
                                                       "ShowHideToolbar False", "LoadToolBar"}));
}

TEST_F(OptionsWindow, TransitionTimeAgainstStillDelay) {
  SaveSetting(kSettingsApp, kSectionOptions, kKeyDefaultDuration, "6");
  SaveSetting(kSettingsApp, kSectionOptions, kKeyTransitionTime, "5");
  SaveSetting(kSettingsApp, kSectionOptions, kKeyAllowTransitions, "True");  // the delay list usable
  main_->Load();
  ScriptScope script;
  f_.Load();
  const std::string message = "Transition time cannot exceed the delay time of a still slide.";
  // A transition time above the delay clicked: the clicked list takes the delay.
  script->AnswerMsgBox(vbOK);
  driver::ClickListItem(*f_.List1, 3);  // "8"
  ASSERT_EQ(script->MsgBoxes().size(), 1u);
  EXPECT_EQ(script->MsgBoxes()[0].prompt, message);
  EXPECT_EQ(script->MsgBoxes()[0].buttons, vbOKOnly);
  EXPECT_EQ(f_.TransitionTimeValue(), "6");
  // A delay below the transition time clicked: the delay takes the transition time.
  script->AnswerMsgBox(vbOK);
  driver::ClickListItem(*f_.lstDelay, 0);  // "5"
  EXPECT_EQ(f_.DelayValue(), "6");
  EXPECT_EQ(script->MsgBoxes().size(), 2u);
  // Save with the delay below the time: both lists "1", nothing saved, the window stays.
  f_.lstDelay->ListIndex(-1);
  f_.Unload();
  SaveSetting(kSettingsApp, kSectionOptions, kKeyDefaultDuration, "5");
  SaveSetting(kSettingsApp, kSectionOptions, kKeyTransitionTime, "10");
  script->AnswerMsgBox(vbOK);  // the load's own check, when the time is set after the delay
  f_.Load();
  EXPECT_EQ(f_.TransitionTimeValue(), "5");
  f_.Unload();
  SaveSetting(kSettingsApp, kSectionOptions, kKeyDefaultDuration, "3");
  SaveSetting(kSettingsApp, kSectionOptions, kKeyTransitionTime, "4");
  f_.Load();
  script->AnswerMsgBox(vbOK);
  driver::Click(*f_.Command1);
  EXPECT_TRUE(f_.IsLoaded());
  EXPECT_EQ(script->MsgBoxes().back().prompt, message);
  EXPECT_EQ(f_.DelayValue(), "1");
  EXPECT_EQ(f_.TransitionTimeValue(), "1");
  EXPECT_EQ(GetSetting(kSettingsApp, kSectionOptions, kKeyDefaultDuration, ""), "3");
  EXPECT_EQ(services_.calls.back(), "FillHeightWidthCombo");  // nothing of the save ran
  driver::Click(*f_.Command1);  // 1 is not below 1: saved
  EXPECT_FALSE(f_.IsLoaded());
  EXPECT_EQ(GetSetting(kSettingsApp, kSectionOptions, kKeyDefaultDuration, ""), "1");
  EXPECT_EQ(GetSetting(kSettingsApp, kSectionOptions, kKeyTransitionTime, ""), "1");
}

TEST_F(OptionsWindow, AllowResizeActsAtOnceAndCancelSavesNothing) {
  main_->Load();
  ScriptScope script;
  ResizeStreamEnabled = true;
  f_.Load();
  EXPECT_FALSE(ResizeStreamEnabled);  // read from the store ("FALSE")
  driver::Click(*f_.chkResize);
  EXPECT_TRUE(ResizeStreamEnabled);
  const bool labelShown = main_->FindControl("Label10")->Visible();
  driver::Click(*f_.Command2);
  EXPECT_FALSE(f_.IsLoaded());
  EXPECT_TRUE(ResizeStreamEnabled);
  EXPECT_EQ(GetSetting(kSettingsApp, kSectionInit, kKeyResizeStream, "(missing)"), "(missing)");
  EXPECT_EQ(main_->FindControl("Label10")->Visible(), labelShown);
  // Transitions cleared grey the default transition and the still delay, not the time list.
  f_.Load();
  EXPECT_FALSE(f_.Combo1->Enabled());
  EXPECT_FALSE(f_.lstDelay->Enabled());
  EXPECT_TRUE(f_.List1->Enabled());
  driver::Click(*f_.Check1);
  EXPECT_TRUE(f_.Combo1->Enabled());
  EXPECT_TRUE(f_.lstDelay->Enabled());
  EXPECT_EQ(f_.Combo1->ListCount(), 38);
  EXPECT_EQ(f_.Combo1->List(0), "Barn");
  EXPECT_EQ(f_.Combo1->List(37), "None");
}

TEST_F(OptionsWindow, TheToolsFound) {
  const std::string pf = program_->Path();
  struct Case {
    std::vector<std::string> programs;
    bool encoder;
    std::vector<std::string> listed;
  };
  const std::vector<Case> cases = {
      {{}, false, {"Tagswapper", "Crunchbox Video Encoder", "Title Maker"}},
      {{"VirtualDub/VirtualDub", "Lotkiln", "wmcap"}, true,
       {"Tagswapper", "Crunchbox Video Encoder", "Title Maker", "VirtualDub", "Lotkiln", "Windows Media Encoder",
        "Video Capture"}},
  };
  main_->Load();
  for (const Case& c : cases) {
    std::filesystem::remove_all(pf);
    std::filesystem::create_directories(pf);
    for (const auto& p : c.programs) program_->AddProgram(p);
    EncoderInstallDir = c.encoder ? pf + "/enc" : "";
    if (c.encoder) program_->AddProgram("enc/WMEnc");
    ScriptScope script;
    f_.Load();
    std::vector<std::string> listed;
    for (int16_t i = 0; i < f_.List3->ListCount(); ++i) listed.push_back(f_.List3->List(i));
    EXPECT_EQ(listed, c.listed);
    EXPECT_EQ(f_.Option1(1).Enabled(), c.encoder);
    EXPECT_EQ(f_.Option1(5).Enabled(), c.encoder);
    EXPECT_EQ(f_.Option1(3).Enabled(), !c.programs.empty());
    EXPECT_FALSE(f_.Option1(0).Enabled());
    f_.Unload();
  }
}

TEST_F(OptionsWindow, TheTwoBrowseButtons) {
  main_->Load();
  ScriptScope script;
  f_.Load();
  const std::string folder = "/media/" + std::string(280, 'f');
  script->AnswerDialog(DialogKind::Folder, DialogAnswer::Ok(folder));
  driver::Click(*f_.Command3);
  EXPECT_EQ(f_.Text1->Text(), folder);
  script->AnswerDialog(DialogKind::Folder, DialogAnswer::Cancel());
  driver::Click(*f_.Command3);
  EXPECT_EQ(f_.Text1->Text(), folder);
  script->AnswerDialog(DialogKind::Open, DialogAnswer::Ok("/opt/tools/editor"));
  driver::Click(*f_.Command4);
  EXPECT_EQ(f_.Text2->Text(), "/opt/tools/editor");
  script->AnswerDialog(DialogKind::Open, DialogAnswer::Cancel());
  driver::Click(*f_.Command4);
  EXPECT_EQ(f_.Text2->Text(), "/opt/tools/editor");
  const auto dialogs = script->Dialogs();
  ASSERT_EQ(dialogs.size(), 4u);
  EXPECT_EQ(dialogs[0].prompt, "Browse for folder");
  EXPECT_EQ(dialogs[0].flags, 3);
  EXPECT_EQ(dialogs[0].owner, f_.hWnd());
  EXPECT_EQ(dialogs[2].filter, "Programs (*.exe)|*.exe");
  // A double click on the editor box looks for Paint.
  program_->AddProgram("mspaint");
  ASSERT_EQ(modOptions::GetPaintPath(), program_->Path() + "/mspaint");
  driver::DblClick(*f_.Text2);
  EXPECT_EQ(f_.Text2->Text(), program_->Path() + "/mspaint");
}
