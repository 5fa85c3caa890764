// Asfkiln: the five pages filled by their fields' object names, OK, Start: a WMV that ffprobe
// reads; pages that say what is missing or unfit; how often OK, tab clicks and "Configure" apply;
// Exit during a run stops the encoder and ends; the load boxes and those of Start and Configure.
#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QComboBox>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <chrono>
#include <filesystem>
#include <functional>
#include <thread>

#include "Module1.h"
#include "caption_fit.h"
#include "com/object.h"
#include "core/msgbox.h"
#include "fixtures.h"
#include "forms/app.h"
#include "forms/qt/control_qt.h"
#include "forms/responder.h"
#include "frmEncode.h"
#include "scripted_responder.h"
#include "window_driver.h"

namespace {

frmEncode& F() { return EncodeWindow(); }

QTabWidget* Pages(const char* shell) {
  return qobject_cast<QTabWidget*>(forms_detail::WidgetOf(*F().FindControl(shell)));
}

template <class W>
W* Field(const char* page, const char* name) {
  QWidget* panel = Pages("PropPageShell")->findChild<QWidget*>(page);
  return panel ? panel->findChild<W*>(name) : nullptr;
}

int32_t RunState(IWMEncoder* encoder) {
  int32_t state = 0;
  encoder->get_RunState(&state);
  return state;
}

using driver::RunUntil;

// The window's encoder seen through a counter: every call goes on to it, and each setting of
// AutoStop (the last step of applying the pages) is counted.
class CountingEncoder : public ComObject<IWMEncoder> {
 public:
  explicit CountingEncoder(IWMEncoder* encoder) : encoder_(encoder) {}
  int autoStopPuts = 0;

  HRESULT GetTypeInfoCount(uint32_t* n) override { return encoder_->GetTypeInfoCount(n); }
  HRESULT GetTypeInfo(uint32_t i, LCID lcid, ITypeInfo** info) override { return encoder_->GetTypeInfo(i, lcid, info); }
  HRESULT GetIDsOfNames(REFIID riid, const char16_t** names, uint32_t n, LCID lcid, DISPID* ids) override {
    return encoder_->GetIDsOfNames(riid, names, n, lcid, ids);
  }
  HRESULT Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                 EXCEPINFO* info, uint32_t* argErr) override {
    return encoder_->Invoke(id, riid, lcid, flags, params, result, info, argErr);
  }
  HRESULT Start() override { return encoder_->Start(); }
  HRESULT Stop() override { return encoder_->Stop(); }
  HRESULT get_AutoStop(VARIANT_BOOL* on) override { return encoder_->get_AutoStop(on); }
  HRESULT put_AutoStop(VARIANT_BOOL on) override {
    ++autoStopPuts;
    return encoder_->put_AutoStop(on);
  }
  HRESULT get_SourceGroupCollection(IWMEncSourceGroupCollection** groups) override {
    return encoder_->get_SourceGroupCollection(groups);
  }
  HRESULT get_ProfileCollection(IWMEncProfileCollection** profiles) override {
    return encoder_->get_ProfileCollection(profiles);
  }
  HRESULT get_File(IWMEncFile** file) override { return encoder_->get_File(file); }
  HRESULT get_DisplayInfo(IWMEncDisplayInfo** info) override { return encoder_->get_DisplayInfo(info); }
  HRESULT get_RunState(int32_t* state) override { return encoder_->get_RunState(state); }
  HRESULT get_ErrorState(int32_t* hr) override { return encoder_->get_ErrorState(hr); }
  HRESULT GetStatistics(WMEncStatistics* stats) override { return encoder_->GetStatistics(stats); }

 private:
  ComPtr<IWMEncoder> encoder_;
};

// A user's click on a tab of SSTab1.
void ClickTab(int index) {
  QTabBar* bar = forms_detail::WidgetOf(*F().SSTab1)->findChild<QTabBar*>(QString(), Qt::FindDirectChildrenOnly);
  ASSERT_TRUE(bar);
  bar->setCurrentIndex(index);
}

class Asfkiln : public ::testing::Test {
 protected:
  void SetUp() override {
    SetMsgBoxHandler([](const MsgBoxRequest& r) { return CurrentResponder()->MessageBox(r); });
    App().Title(kAsfkilnTitle);
    const std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    std::filesystem::remove_all(fixtures::ScratchFolder(name));  // nothing left from an earlier run
    folder_ = fixtures::ScratchFolder(name);
  }
  void TearDown() override {
    F().Unload();
    DoEvents();
    SetWMEncCreationFailsForTesting(false);
    SetWMEncConfigurationPagesFailForTesting(false);
    SetWMEncShellVisibilityFailsForTesting(false);
    SetMsgBoxHandler(nullptr);
  }
  // Fills the pages: the source through Browse, the output typed, the named profile (the second
  // one when none is named).
  void Configure(ScriptScope& script, const std::string& source, const std::string& output,
                 const char* profile = nullptr) {
    script->AnswerDialog(DialogKind::Open, DialogAnswer::Ok(source));
    Field<QPushButton>("Sources", "browse")->click();
    Field<QLineEdit>("Output", "file")->setText(QString::fromStdString(output));
    auto* profiles = Field<QComboBox>("Compression", "profile");
    ASSERT_TRUE(profiles);
    const int index = profile ? profiles->findText(profile) : 1;
    ASSERT_GE(index, 0) << profile;
    profiles->setCurrentIndex(index);
  }
  std::string folder_;
};

TEST_F(Asfkiln, ConfigureOkStartWritesAWmv) {
  const std::string source = fixtures::Make(fixtures::Kind::AviMjpegPcm, folder_);
  const std::string output = folder_ + "/out.wmv";
  ScriptScope script;
  ASSERT_TRUE(Main());
  EXPECT_TRUE(F().Visible());
  EXPECT_EQ(F().Caption(), "Windows Media Encoder");
  EXPECT_EQ(F().SSTab1->Tab(), 0);
  EXPECT_EQ(F().SSTab1->TabCaption(1), "Encoder");
  EXPECT_EQ(Pages("PropPageShell")->count(), 5);
  EXPECT_EQ(Pages("PageShell")->count(), 1);
  EXPECT_EQ(F().SSTab1->TabOf(*F().CmdStart), 1);
  EXPECT_FALSE(F().CmdStop->Enabled());
  Configure(script, source, output);
  driver::Click(*F().CmdOk);
  EXPECT_EQ(F().SSTab1->Tab(), 1) << "OK moves to the encoder tab";
  VARIANT_BOOL autoStop = VARIANT_FALSE;
  F().EncoderMain()->get_AutoStop(&autoStop);
  EXPECT_EQ(autoStop, VARIANT_TRUE);
  ComPtr<IWMEncoder> encoder(F().objEncoder());
  driver::Click(*F().CmdStart);
  EXPECT_FALSE(F().CmdStart->Enabled());
  EXPECT_TRUE(F().CmdStop->Enabled());
  ASSERT_TRUE(RunUntil([&] { return RunState(encoder.Get()) == WMENC_ENCODER_STOPPED; }));
  // The run ended by itself: Stop on the stopped encoder brings the buttons back.
  driver::Click(*F().CmdStop);
  EXPECT_TRUE(F().CmdStart->Enabled());
  EXPECT_FALSE(F().CmdStop->Enabled());
  const fixtures::Probe probe = fixtures::RunFfprobe(output);
  ASSERT_TRUE(probe.ok) << probe.error;
  EXPECT_EQ(probe.formatName, "asf");
  ASSERT_NE(probe.First("video"), nullptr);
  EXPECT_GT(probe.First("video")->frames, 0);
  EXPECT_NE(probe.First("audio"), nullptr);
  EXPECT_TRUE(script->MsgBoxes().empty());
  // "Configure" returns to the pages without applying anything.
  driver::Click(*F().CmdConfigure);
  EXPECT_EQ(F().SSTab1->Tab(), 0);
}

// A page missing its source says why, and OK (or leaving the tab) stays on "Configure"; so does
// an output naming the source, refused by the Output page. An output that becomes a link to the
// source after OK fails at Start with "Error starting the encoder".
TEST_F(Asfkiln, PagesThatAreNotReady) {
  const std::string source = fixtures::Make(fixtures::Kind::AviMjpegPcm, folder_);
  ScriptScope script;
  ASSERT_TRUE(Main());
  driver::Click(*F().CmdOk);
  EXPECT_EQ(F().SSTab1->Tab(), 0);
  EXPECT_EQ(Field<QLabel>("Sources", "problem")->text(), "Choose the source file.");
  F().SSTab1->Tab(1);  // a tab click from "Configure" applies too
  EXPECT_EQ(F().SSTab1->Tab(), 0);
  // An output naming the source: the Output page refuses it.
  const auto before = fixtures::ReadFile(source);
  Configure(script, source, source);
  driver::Click(*F().CmdOk);
  EXPECT_EQ(F().SSTab1->Tab(), 0);
  EXPECT_EQ(Field<QLabel>("Output", "problem")->text().toStdString(),
            "The output file \"" + source + "\" is the source file. Choose another name.");
  EXPECT_TRUE(script->MsgBoxes().empty());
  // A name that is no link when OK applies it, and a link to the source by Start.
  const std::string link = folder_ + "/link.wmv";
  Field<QLineEdit>("Output", "file")->setText(QString::fromStdString(link));
  driver::Click(*F().CmdOk);
  ASSERT_EQ(F().SSTab1->Tab(), 1);
  EXPECT_EQ(Field<QLabel>("Output", "problem")->text(), "");
  std::filesystem::create_symlink(source, link);
  script->AnswerMsgBox(vbOK);
  driver::Click(*F().CmdStart);
  ASSERT_EQ(script->MsgBoxes().size(), 1u);
  EXPECT_EQ(script->MsgBoxes()[0].prompt, "Error starting the encoder");
  EXPECT_EQ(script->MsgBoxes()[0].title, "Asfkiln");
  EXPECT_TRUE(F().CmdStart->Enabled()) << "the buttons stay as they were";
  EXPECT_FALSE(F().CmdStop->Enabled());
  EXPECT_EQ(fixtures::ReadFile(source), before) << "the source is untouched";
  EXPECT_TRUE(std::filesystem::is_symlink(link)) << "the link is left as it was";
}

// A source the profile cannot encode, or no output: OK stays on "Configure" and the page that
// refuses says why.
TEST_F(Asfkiln, PagesThatRefuseKeepConfigure) {
  fixtures::Options silent;
  silent.audio = false;
  const struct {
    const char* name;
    std::string source;
    std::string output;
    const char* profile;
    const char* page;
    const char* why;
  } cases[] = {
      {"silent movie, sound profile", fixtures::Make(fixtures::Kind::AviMjpegPcm, folder_, silent), folder_ + "/a.wma",
       "Wz Audio 64Kbps (44 kHz, stereo)", "Compression", "The profile encodes no stream the source has."},
      {"sound file, picture profile", fixtures::Make(fixtures::Kind::Wav, folder_), folder_ + "/v.wmv",
       "Wz Video Only 320X240", "Compression", "The profile encodes no stream the source has."},
      {"no output", fixtures::Make(fixtures::Kind::AviMjpegPcm, folder_), "", nullptr, "Output",
       "Name the output file."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptScope script;
    ASSERT_TRUE(Main());
    Configure(script, c.source, c.output, c.profile);
    driver::Click(*F().CmdOk);
    EXPECT_EQ(F().SSTab1->Tab(), 0);
    EXPECT_EQ(Field<QLabel>(c.page, "problem")->text().toStdString(), c.why);
    ClickTab(1);  // leaving the tab refuses the same way
    EXPECT_EQ(F().SSTab1->Tab(), 0);
    EXPECT_TRUE(script->MsgBoxes().empty());
    F().Unload();
    DoEvents();
  }
}

// OK on "Configure" applies twice (OK itself, then leaving the tab); a tab click from
// "Configure" applies once; going back to "Configure" applies nothing.
TEST_F(Asfkiln, ApplyCounts) {
  const std::string source = fixtures::Make(fixtures::Kind::AviMjpegPcm, folder_);
  const struct {
    const char* name;
    bool fromEncoderTab;
    std::function<void()> act;
    int applies;
    int16_t tab;
  } cases[] = {
      {"OK", false, [] { driver::Click(*F().CmdOk); }, 2, 1},
      {"tab click from Configure", false, [] { ClickTab(1); }, 1, 1},
      {"Configure", true, [] { driver::Click(*F().CmdConfigure); }, 0, 0},
      {"tab click from Encoder", true, [] { ClickTab(0); }, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptScope script;
    ASSERT_TRUE(Main());
    Configure(script, source, folder_ + "/out.wmv");
    if (c.fromEncoderTab) {
      driver::Click(*F().CmdOk);
      ASSERT_EQ(F().SSTab1->Tab(), 1);
    }
    auto counting = MakeComObject<CountingEncoder>(F().objEncoder());
    F().EncoderMain(ComPtr<IWMEncoder>(counting.Get()));
    c.act();
    EXPECT_EQ(counting->autoStopPuts, c.applies);
    EXPECT_EQ(F().SSTab1->Tab(), c.tab);
    EXPECT_TRUE(script->MsgBoxes().empty());
    F().Unload();
    DoEvents();
  }
}

// "Configure" whose tab change fails (the shells cannot be hidden) says so.
TEST_F(Asfkiln, ConfigureThatFailsSaysSo) {
  const std::string source = fixtures::Make(fixtures::Kind::AviMjpegPcm, folder_);
  ScriptScope script;
  ASSERT_TRUE(Main());
  Configure(script, source, folder_ + "/out.wmv");
  driver::Click(*F().CmdOk);
  ASSERT_EQ(F().SSTab1->Tab(), 1);
  SetWMEncShellVisibilityFailsForTesting(true);
  script->AnswerMsgBox(vbOK);
  driver::Click(*F().CmdConfigure);
  ASSERT_EQ(script->MsgBoxes().size(), 1u);
  EXPECT_EQ(script->MsgBoxes()[0].prompt, "Error configuring the property pages");
  EXPECT_EQ(script->MsgBoxes()[0].buttons, vbOKOnly);
  EXPECT_EQ(script->MsgBoxes()[0].title, "Asfkiln");
}

TEST_F(Asfkiln, ExitDuringARunStopsTheEncoderAndEnds) {
  fixtures::Options o;
  o.seconds = 20;
  o.fps = 10;
  const std::string source = fixtures::Make(fixtures::Kind::AviMjpegPcm, folder_, o);
  const std::string output = folder_ + "/stopped.wmv";
  ScriptScope script;
  ASSERT_TRUE(Main());
  Configure(script, source, output);
  driver::Click(*F().CmdOk);
  ASSERT_EQ(F().SSTab1->Tab(), 1);
  ComPtr<IWMEncoder> encoder(F().objEncoder());
  driver::Click(*F().CmdStart);
  ASSERT_TRUE(RunUntil([&] { return RunState(encoder.Get()) == WMENC_ENCODER_RUNNING; }));
  driver::Click(*F().CmdExit);
  EXPECT_FALSE(F().IsLoaded());
  EXPECT_EQ(RunState(encoder.Get()), WMENC_ENCODER_STOPPED);
  EXPECT_FALSE(F().EncoderMain());
  const fixtures::Probe probe = fixtures::RunFfprobe(output);
  ASSERT_TRUE(probe.ok) << probe.error;
  ASSERT_NE(probe.First("video"), nullptr);
  EXPECT_LT(probe.duration, 20.0) << "a shorter, complete file";
}

// The encoder and its statistics page are made, the configuration pages are not: the second
// load box, and the program ends after it.
TEST_F(Asfkiln, PagesThatCannotBeAddedEndTheStart) {
  ScriptScope script;
  SetWMEncConfigurationPagesFailForTesting(true);
  script->AnswerMsgBox(vbOK);
  EXPECT_FALSE(Main()) << "the program ends after the box instead of waiting";
  ASSERT_EQ(script->MsgBoxes().size(), 1u);
  EXPECT_EQ(script->MsgBoxes()[0].prompt, "Error adding encoder property pages");
  EXPECT_EQ(script->MsgBoxes()[0].title, "Asfkiln");
  EXPECT_FALSE(F().IsLoaded());
}

TEST_F(Asfkiln, AnEncoderThatCannotBeMadeEndsTheStart) {
  ScriptScope script;
  SetWMEncCreationFailsForTesting(true);
  script->AnswerMsgBox(vbOK);
  EXPECT_FALSE(Main()) << "the program ends after the box instead of waiting";
  ASSERT_EQ(script->MsgBoxes().size(), 1u);
  EXPECT_EQ(script->MsgBoxes()[0].prompt, "Error loading the statistics page");
  EXPECT_FALSE(F().IsLoaded());
}

}  // namespace

// The window and its pages as they load: no caption needs more room than its control has.
TEST_F(Asfkiln, CaptionsFitTheirControls) {
  ScriptScope script;
  F().Show();
  ASSERT_TRUE(F().IsLoaded());
  EXPECT_EQ(fit::CutCaptions(F()), std::vector<std::string>{});
  // Each page as its tab shows it (the pages lay their fields out when they show).
  for (const char* shell : {"PropPageShell", "PageShell"}) {
    QTabWidget* pages = Pages(shell);
    ASSERT_TRUE(pages) << shell;
    for (int i = 0; i < pages->count(); ++i) {
      pages->setCurrentIndex(i);
      DoEvents();
      EXPECT_EQ(fit::CutCaptions(F()), std::vector<std::string>{}) << shell << " " << pages->tabText(i).toStdString();
    }
  }
}
