// The codec dialog on the real codec-manager control: the information text and its layout, the
// lists in the control's order with their identifiers, and Popup's outcomes on a rendered join
// graph (Cancel, OK without a video line, no compression, MPEG-4 + MP3 inserted and written, a
// failed insertion answered No or Yes, the title bar).
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <QDialog>
#include <QSpinBox>
#include <filesystem>
#include <map>

#include <cstdlib>

#include "PrivateRegistry.h"
#include "core/error.h"
#include "forms/app.h"
#include "forms/end_requests.h"
#include "forms/qt/hwnd_qt.h"
#include "forms/responder.h"
#include "join_graph.h"
#include "mainwindow/modSettings.h"
#include "options/frmCodecDialog.h"
#include "registry/settings.h"
#include "scripted_responder.h"
#include "window_driver.h"

using namespace graphparts_test;

namespace {

// regsvr's exit code for a library of the program folder, registered into the test's registry.
int Regsvr(const std::string& library) {
  const char* bin = std::getenv("SUITE_BIN_DIR");
  const std::string dir = bin ? bin : ".";
  const std::string cmd = "'" + dir + "/regsvr' /s '" + dir + "/" + library + ".so'";
  const int status = std::system(cmd.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

ComPtr<IUnknown> NewGraphManager() {
  ComPtr<IMediaControl> g;
  EXPECT_EQ(CoCreateInstance(CLSID_FilgraphManager, nullptr, CLSCTX_INPROC_SERVER, IMediaControl::iid, g.put_void()),
            S_OK);
  return ComPtr<IUnknown>(g.Get());
}

constexpr const char* kNoCompression = "<<< No Compression >>>";

class CodecDialog : public PrivateRegistry {
 protected:
  void SetUp() override {
    PrivateRegistry::SetUp();
    SetMsgBoxHandler([](const MsgBoxRequest& r) { return CurrentResponder()->MessageBox(r); });
    forms_detail::EnsureApplication();
    ASSERT_EQ(Regsvr("Kitbroker"), 0);
    ResizeStreamEnabled = false;
  }
  void TearDown() override {
    if (f_.IsLoaded()) f_.Unload();
    PrivateRegistry::TearDown();
  }
  static int16_t LineOf(ListBox& list, const std::string& name) {
    for (int16_t i = 0; i < list.ListCount(); ++i)
      if (list.List(i) == name) return i;
    ADD_FAILURE() << "no line " << name;
    return -1;
  }
  frmCodecDialog f_;
};

}  // namespace

TEST_F(CodecDialog, InformationTextAndLayout) {
  struct Case {
    std::optional<std::string> stored;
    bool hidden;
    int height;
  };
  for (const Case& c : {Case{std::nullopt, false, 6975}, Case{"False", false, 6975}, Case{"TRUE", true, 4700},
                        Case{"", true, 4700}, Case{"false", true, 4700}}) {
    SCOPED_TRACE(c.stored.value_or("(missing)"));
    Step([] { DeleteSetting(kSettingsApp, kSectionInit); });
    Err().Clear();
    if (c.stored) SaveSetting(kSettingsApp, kSectionInit, kKeyHideCodecMsg, *c.stored);
    f_.Load();
    EXPECT_EQ(f_.Caption(), "Select a Compression Codec");
    EXPECT_EQ(f_.Text1->Visible(), !c.hidden);
    EXPECT_NEAR(f_.Height(), c.height, 15);  // whole pixels
    EXPECT_EQ(f_.FrameCodecs->Top(), c.hidden ? 60 : 2595);
    EXPECT_EQ(GetSetting(kSettingsApp, kSectionInit, kKeyHideCodecMsg, ""), c.hidden ? "True" : "False");
    f_.Unload();
  }
  const std::string text = frmCodecDialog::InformationText();
  EXPECT_NE(text.find("technology.\r\n\r\nThe size"), std::string::npos);
  EXPECT_NE(text.find("system.\r\n\r\nTo use"), std::string::npos);
  EXPECT_NE(text.find("select ''Do not compress'' from"), std::string::npos);
  // A click on the box changes the layout and the setting; closing saves it too.
  SaveSetting(kSettingsApp, kSectionInit, kKeyHideCodecMsg, "False");
  f_.Load();
  EXPECT_NE(f_.Text1->Text().find("Cutwright has no control"), std::string::npos);
  driver::Click(*f_.Check1);
  EXPECT_FALSE(f_.Text1->Visible());
  EXPECT_EQ(GetSetting(kSettingsApp, kSectionInit, kKeyHideCodecMsg, ""), "True");
}

TEST_F(CodecDialog, ListsIdentifiersAndButtons) {
  f_.Load();
  ASSERT_GT(f_.ListVideoCodecs->ListCount(), 1);
  ASSERT_GT(f_.ListAudioCodecs->ListCount(), 1);
  EXPECT_EQ(f_.ListVideoCodecs->List(0), kNoCompression);
  EXPECT_EQ(f_.ListAudioCodecs->List(0), kNoCompression);
  EXPECT_TRUE(f_.ListVideoCodecs->Visible());
  EXPECT_FALSE(f_.ListAudioCodecs->Visible());
  EXPECT_FALSE(f_.CmdAbout->Enabled());
  EXPECT_FALSE(f_.CmdConfig->Enabled());
  EXPECT_EQ(f_.GetSelectedItemGuid(1), "");
  driver::ClickListItem(*f_.ListVideoCodecs, LineOf(*f_.ListVideoCodecs, "MPEG-4 Video Compressor"));
  const std::string mpeg4 = f_.GetSelectedItemGuid(1);
  EXPECT_EQ(mpeg4.rfind("@device:", 0), 0u) << mpeg4;
  EXPECT_EQ(f_.GetSelectedItemGuid(0), mpeg4);
  EXPECT_TRUE(f_.CmdConfig->Enabled());
  for (int32_t other : {3, -1}) EXPECT_EQ(f_.GetSelectedItemGuid(other), "");
  // The audio tab: the list shows, the buttons keep the video choice's state until a click.
  f_.TabStripCodecs->SelectedItem(f_.TabStripCodecs->TabsOf().Item(2));
  EXPECT_TRUE(f_.ListAudioCodecs->Visible());
  EXPECT_FALSE(f_.ListVideoCodecs->Visible());
  EXPECT_TRUE(f_.CmdConfig->Enabled());
  EXPECT_EQ(f_.GetSelectedItemGuid(0), "");
  driver::ClickListItem(*f_.ListAudioCodecs, 0);
  EXPECT_EQ(f_.GetSelectedItemGuid(2), "");
  EXPECT_FALSE(f_.CmdConfig->Enabled());
  EXPECT_EQ(f_.GetSelectedItemGuid(1), mpeg4);
}

// Popup on the rendered join graph, one showing per action, with the answers of the boxes.
TEST_F(CodecDialog, PopupOutcomes) {
  using Action = std::function<void(frmCodecDialog&)>;
  auto choose = [this](const char* video, const char* audio) -> Action {
    return [this, video, audio](frmCodecDialog& d) {
      if (video) driver::ClickListItem(*d.ListVideoCodecs, LineOf(*d.ListVideoCodecs, video));
      if (audio) driver::ClickListItem(*d.ListAudioCodecs, LineOf(*d.ListAudioCodecs, audio));
      driver::Click(*d.CmdOK);
    };
  };
  Action cancel = [](frmCodecDialog& d) { driver::Click(*d.CmdCancel); };
  // The close box's request (the only loaded form is the dialog).
  Action titleBar = [](frmCodecDialog&) { AskFormsToClose(vbFormControlMenu); };
  struct Case {
    const char* name;
    bool muxless;                  // a graph without the multiplexer: every insertion fails
    std::vector<Action> showings;  // one action per showing
    std::vector<int> answers;      // the question's answers
    bool result;
    bool videoSelected;            // m_bVideoCodecSelected afterwards (starts true)
  };
  const std::vector<Case> cases = {
      {"Cancel", false, {cancel}, {}, false, true},
      {"OK with no video line", false, {choose(nullptr, "MPEG Layer-3")}, {}, true, true},
      {"no compression", false, {choose(kNoCompression, kNoCompression)}, {}, true, false},
      {"failure, No", true, {choose("MPEG-4 Video Compressor", nullptr)}, {vbNo}, false, true},
      {"failure, Yes, then Cancel", true, {choose("MPEG-4 Video Compressor", nullptr), cancel}, {vbYes}, false, true},
      {"failure, Yes, then OK without video", true, {choose("MPEG-4 Video Compressor", nullptr), choose(nullptr, nullptr)},
       {vbYes}, true, true},
      {"title bar after an earlier OK", false, {titleBar}, {}, false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Join j(nullptr, "codec-dialog-outcome.avi");
    j.Wire(nullptr);
    ComPtr<IUnknown> graph = c.muxless ? NewGraphManager() : ComPtr<IUnknown>(j.graph.Get());
    f_.m_bVideoCodecSelected = true;
    ScriptScope script;
    for (int a : c.answers) script->AnswerMsgBox(a);
    size_t showing = 0;
    auto watch = driver::WhenShownModally("frmCodecDialog", [&](Form&) {
      ASSERT_LT(showing, c.showings.size());
      c.showings[showing++](f_);
    });
    bool result = !c.result;
    f_.Popup(graph.Get(), nullptr, result);
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(showing, c.showings.size());
    EXPECT_EQ(f_.m_bVideoCodecSelected, c.videoSelected);
    EXPECT_FALSE(f_.IsLoaded());
    if (!c.answers.empty()) {
      ASSERT_EQ(script->MsgBoxes().size(), c.answers.size());
      const MsgBoxRequest box = script->MsgBoxes()[0];
      EXPECT_EQ(box.buttons, vbCritical | vbYesNo);
      EXPECT_EQ(box.prompt.rfind("There was an error inserting the codec into the graph:\r\n", 0), 0u) << box.prompt;
      EXPECT_NE(box.prompt.find("\r\nWould you like to select aother codec?"), std::string::npos);
    }
  }
}

TEST_F(CodecDialog, TheResizeVariantOfTheQuestion) {
  ResizeStreamEnabled = true;
  auto graph = NewGraphManager();
  ScriptScope script;
  script->AnswerMsgBox(vbNo);
  auto watch = driver::WhenShownModally("frmCodecDialog", [&](Form&) {
    driver::ClickListItem(*f_.ListVideoCodecs, LineOf(*f_.ListVideoCodecs, "Motion JPEG Compressor"));
    driver::Click(*f_.CmdOK);
  });
  EXPECT_FALSE(f_.Popup(graph.Get(), nullptr));
  ASSERT_EQ(script->MsgBoxes().size(), 1u);
  EXPECT_EQ(script->MsgBoxes()[0].prompt,
            "There was an error inserting the codec into the graph.\r\n\r\nThere is either a problem with the codec "
            "or\r\nyour system does not support stream resizing.\r\nPlease try another codec or if you believe "
            "that\r\nthe codec is not at fault, try turning off the resize\r\noption in your settings and "
            "preferences.\r\n\r\nWould you like to select aother codec?");
}

// MPEG-4 and MP3 chosen in the dialog are inserted by the control, and the join written through
// them reads back with both.
TEST_F(CodecDialog, Mpeg4AndMp3InsertedAndWritten) {
  Join j(nullptr, "codec-dialog-join.avi");
  j.Wire(nullptr);
  ScriptScope script;
  auto watch = driver::WhenShownModally("frmCodecDialog", [&](Form&) {
    driver::ClickListItem(*f_.ListVideoCodecs, LineOf(*f_.ListVideoCodecs, "MPEG-4 Video Compressor"));
    driver::ClickListItem(*f_.ListAudioCodecs, LineOf(*f_.ListAudioCodecs, "MPEG Layer-3"));
    driver::Click(*f_.CmdOK);
  });
  f_.m_bVideoCodecSelected = false;
  ASSERT_TRUE(f_.Popup(j.graph.Get(), nullptr));
  EXPECT_TRUE(f_.m_bVideoCodecSelected);
  ASSERT_EQ(RunToEnd(j.graph.Get()), EC_COMPLETE);
  j.engine->ScrapIt();
  j.engine = nullptr;
  const fixtures::Probe p = fixtures::RunFfprobe(j.target);
  ASSERT_TRUE(p.ok) << p.error;
  ASSERT_TRUE(p.First("video"));
  ASSERT_TRUE(p.First("audio"));
  EXPECT_EQ(p.First("video")->codecName, "mpeg4");
  EXPECT_EQ(p.First("video")->codecTag, "FMP4");
  EXPECT_EQ(p.First("audio")->codecName, "mp3");
}

// The quality set through "Configure..." is the one the inserted compressor codes with: a join
// at low quality is smaller than the same join at high quality.
TEST_F(CodecDialog, TheConfiguredQualityIsInEffect) {
  std::map<int, uintmax_t> sizes;
  for (int quality : {100, 5}) {
    SCOPED_TRACE(quality);
    Join j(nullptr, "codec-dialog-quality-" + std::to_string(quality) + ".avi");
    j.Wire(nullptr);
    int configured = 0;
    auto previous = dshow::SetCompressorDialogPresenter([&](QDialog& d, OAHWND) {
      auto* box = d.findChild<QSpinBox*>("quality");
      if (!box) return false;
      box->setValue(quality);
      ++configured;
      return true;
    });
    ScriptScope script;
    auto watch = driver::WhenShownModally("frmCodecDialog", [&](Form&) {
      driver::ClickListItem(*f_.ListVideoCodecs, LineOf(*f_.ListVideoCodecs, "MPEG-4 Video Compressor"));
      ASSERT_TRUE(f_.CmdConfig->Enabled());
      driver::Click(*f_.CmdConfig);
      driver::ClickListItem(*f_.ListAudioCodecs, LineOf(*f_.ListAudioCodecs, "MPEG Layer-3"));
      driver::Click(*f_.CmdOK);
    });
    const bool joined = f_.Popup(j.graph.Get(), nullptr);
    dshow::SetCompressorDialogPresenter(std::move(previous));
    ASSERT_TRUE(joined);
    EXPECT_EQ(configured, 1);
    ASSERT_EQ(RunToEnd(j.graph.Get()), EC_COMPLETE);
    j.engine->ScrapIt();
    j.engine = nullptr;
    const fixtures::Probe p = fixtures::RunFfprobe(j.target);
    ASSERT_TRUE(p.ok) << p.error;
    ASSERT_TRUE(p.First("video") && p.First("audio"));
    EXPECT_EQ(p.First("video")->codecTag, "FMP4");
    EXPECT_EQ(p.First("audio")->codecName, "mp3");
    sizes[quality] = std::filesystem::file_size(j.target);
  }
  EXPECT_LT(sizes[5], sizes[100]);
}
