// The AVI recompression window: its design and the AVIFile counting, the source and target
// choices (proposal, replacement question, the source refused as target), a whole
// recompression read back, the compression dialog declined, a cancel and an exit during a save,
// sources that cannot be read and a save that cannot be written.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QSpinBox>

#include <filesystem>
#include <fstream>

#include "PrivateRegistry.h"
#include "core/runtime_convert.h"
#include "fixtures.h"
#include "forms/responder.h"
#include "mainwindow/FormInstances.h"
#include "options/frmCompress.h"
#include "options/modCompress.h"
#include "scripted_responder.h"
#include "shell/files.h"
#include "vfw/vfw.h"
#include "window_driver.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kMpeg4 = "MPEG-4 Video Compressor";

// Answers the compression dialog for one test: picks a compressor and a quality (OK), or
// cancels when the compressor is empty. Counts its showings.
class OptionsAnswer {
 public:
  explicit OptionsAnswer(std::string compressor, int quality = 75)
      : previous_(vfw::SetSaveOptionsPresenter([this, compressor, quality](QDialog& d, HWND) {
          ++shown;
          if (compressor.empty()) return false;
          auto* combo = d.findChild<QComboBox*>("compressor");
          const int at = combo ? combo->findText(QString::fromStdString(compressor)) : -1;
          if (at < 0) {
            ADD_FAILURE() << "no compressor " << compressor;
            return false;
          }
          combo->setCurrentIndex(at);
          if (auto* q = d.findChild<QSpinBox*>("quality")) q->setValue(quality);
          return true;
        })) {}
  ~OptionsAnswer() { vfw::SetSaveOptionsPresenter(std::move(previous_)); }
  int shown = 0;

 private:
  vfw::SaveOptionsPresenter previous_;
};

std::string Bytes(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class CompressWindow : public PrivateRegistry {
 protected:
  void SetUp() override {
    PrivateRegistry::SetUp();
    SetMsgBoxHandler([](const MsgBoxRequest& r) { return CurrentResponder()->MessageBox(r); });
    dir_ = fixtures::ScratchFolder("compress-window");
    for (const auto& e : fs::directory_iterator(dir_)) fs::remove_all(e.path());
    work_ = dir_ / "work";
    fs::create_directories(work_);
    oldDir_ = CurDir();
    ChDir(work_.string());
    fixtures::Options o;
    o.seconds = 0.6;  // 15 frames
    source_ = fixtures::Make(fixtures::Kind::AviMjpegPcm, (dir_ / "src").string(), o);
  }
  void TearDown() override {
    // The window's own handler again, in place of a test's watching one.
    f_.On("txtStatus_Change", [] { DefaultForm<frmCompress>().txtStatus_Change(); });
    if (f_.IsLoaded()) {
      f_.cmdCancelSave->Enabled(false);
      f_.Unload();
    }
    ChDir(oldDir_);
    PrivateRegistry::TearDown();
  }
  void ChooseSource(ScriptScope& script, const std::string& path) {
    script->AnswerDialog(DialogKind::Open, DialogAnswer::Ok(path));
    driver::Click(*f_.cmdOpenAVIFile);
  }
  // The save dialog's choice, then the answers of the boxes that follow it.
  void ChooseTarget(ScriptScope& script, const std::string& path, std::vector<int> boxAnswers = {}) {
    script->AnswerDialog(DialogKind::Save, DialogAnswer::Ok(path));
    for (int a : boxAnswers) script->AnswerMsgBox(a);
    driver::Click(*f_.Command3);
  }
  // The files of the work folder and of the target folder, names only.
  static std::vector<std::string> Names(const fs::path& folder) {
    std::vector<std::string> n;
    for (const auto& e : fs::directory_iterator(folder)) n.push_back(e.path().filename().string());
    std::sort(n.begin(), n.end());
    return n;
  }
  frmCompress& f_ = DefaultForm<frmCompress>();
  fs::path dir_, work_;
  std::string oldDir_, source_;
};

}  // namespace

TEST_F(CompressWindow, DesignAndTheAviFileCount) {
  const int before = vfw::InitCount();
  f_.Load();
  EXPECT_EQ(f_.Caption(), "Video for Windows Compression");
  EXPECT_EQ(f_.txtStatus->Text(), "Ready...");
  EXPECT_FALSE(f_.Label3->Visible());
  EXPECT_FALSE(f_.ProgressBar1->Visible());
  EXPECT_FALSE(f_.Command2->Enabled());
  EXPECT_FALSE(f_.cmdCancelSave->Enabled());
  EXPECT_TRUE(f_.Command1->Enabled());
  EXPECT_EQ(vfw::InitCount(), before + 1);
  // The "%" label follows the status box: shown exactly while it holds a number.
  for (auto [text, shown] : std::vector<std::pair<std::string, bool>>{{"42", true}, {"Finished.", false}, {"0", true}, {"", false}}) {
    f_.txtStatus->Text(text);
    EXPECT_EQ(f_.Label3->Visible(), shown) << text;
  }
  f_.Unload();
  EXPECT_EQ(vfw::InitCount(), before);
}

TEST_F(CompressWindow, SourceChoiceAndTheProposedTarget) {
  const std::string proposal = "clip.avi_1.avi";
  fs::copy_file(source_, dir_ / "clip.avi");
  const std::string clip = (dir_ / "clip.avi").string();
  struct Case {
    const char* name;
    bool proposalExists;
  };
  for (const Case& c : {Case{"free name: proposed", false}, Case{"name taken: no proposal", true}}) {
    SCOPED_TRACE(c.name);
    fs::remove(work_ / proposal);
    if (c.proposalExists) std::ofstream(work_ / proposal) << "x";
    f_.m_sTargetFile.clear();  // the window object keeps its variables between showings
    f_.Load();
    ScriptScope script;
    ChooseSource(script, clip);
    ASSERT_EQ(script->Dialogs().size(), 1u);
    EXPECT_EQ(script->Dialogs()[0].title, "Choose an AVI input file");
    EXPECT_EQ(script->Dialogs()[0].filter, "AVI Files|*.avi");
    EXPECT_EQ(f_.Text1->Text(), clip);
    EXPECT_EQ(f_.m_sSourceFile, clip);
    EXPECT_EQ(f_.Text2->Text(), c.proposalExists ? "" : proposal);
    EXPECT_EQ(f_.m_sTargetFile, c.proposalExists ? "" : proposal);
    EXPECT_EQ(f_.Command2->Enabled(), !c.proposalExists);
    f_.Unload();
  }
  // A cancelled open dialog empties the box and disables "Compress".
  fs::remove(work_ / proposal);
  f_.Load();
  ScriptScope script;
  ChooseSource(script, clip);
  ASSERT_TRUE(f_.Command2->Enabled());
  script->AnswerDialog(DialogKind::Open, DialogAnswer::Cancel());
  driver::Click(*f_.cmdOpenAVIFile);
  EXPECT_EQ(f_.Text1->Text(), "");
  EXPECT_FALSE(f_.Command2->Enabled());
  EXPECT_EQ(f_.Text2->Text(), proposal);
}

TEST_F(CompressWindow, TargetChoice) {
  const fs::path existing = dir_ / "old.avi";
  fs::create_symlink(source_, dir_ / "link-to-source.avi");
  struct Case {
    const char* name;
    std::string chosen;
    std::vector<int> answers;   // the boxes' answers, in order
    std::string boxPrompt;      // the first box's prompt ("" none)
    bool taken;
  };
  const std::vector<Case> cases = {
      {"new name", (dir_ / "new.avi").string(), {}, "", true},
      {"existing, No", existing.string(), {vbNo}, "The file already exist. Do you want to replace it?", false},
      {"existing, Yes: kept until a save replaces it", existing.string(), {vbYes},
       "The file already exist. Do you want to replace it?", true},
      {"the source", source_, {vbOK},
       "The compressed file cannot be written over its own source.\r\nPlease choose another target file.", false},
      {"a link to the source", (dir_ / "link-to-source.avi").string(), {vbOK},
       "The compressed file cannot be written over its own source.\r\nPlease choose another target file.", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::ofstream(existing, std::ios::trunc) << "old contents";
    const std::string sourceBytes = Bytes(source_);
    f_.m_sTargetFile.clear();
    f_.Load();
    ScriptScope script;
    std::ofstream(work_ / (fs::path(source_).filename().string() + "_1.avi")) << "taken";  // no proposal
    ChooseSource(script, source_);
    ChooseTarget(script, c.chosen, c.answers);
    const auto dialogs = script->Dialogs();
    ASSERT_EQ(dialogs.size(), 2u);
    EXPECT_EQ(dialogs[1].title, "Choose an AVI target file");
    EXPECT_EQ(dialogs[1].defaultExt, "avi");
    const auto boxes = script->MsgBoxes();
    ASSERT_EQ(boxes.size(), c.boxPrompt.empty() ? 0u : 1u);
    if (!c.boxPrompt.empty()) {
      EXPECT_EQ(boxes[0].prompt, c.boxPrompt);
    }
    EXPECT_EQ(f_.m_sTargetFile, c.taken ? c.chosen : "");
    EXPECT_EQ(f_.Text2->Text(), c.taken ? c.chosen : "");
    EXPECT_EQ(f_.Command2->Enabled(), c.taken);
    EXPECT_EQ(Bytes(existing), "old contents");  // nothing deleted by the choice
    EXPECT_EQ(Bytes(source_), sourceBytes);
    f_.Unload();
  }
}

TEST_F(CompressWindow, RecompressesWithMpeg4AndReplacesTheOldTargetWhenDone) {
  const fs::path target = dir_ / "out" / "clip.avi";
  fs::create_directories(target.parent_path());
  std::ofstream(target) << "an older file";
  f_.Load();
  std::vector<std::string> statuses;
  std::vector<bool> percentShown;
  bool buttonsOffDuringSave = true;
  f_.On("txtStatus_Change", [&] {
    f_.txtStatus_Change();
    statuses.push_back(f_.txtStatus->Text());
    percentShown.push_back(f_.Label3->Visible());
    if (IsNumeric(Variant(f_.txtStatus->Text())))
      buttonsOffDuringSave = buttonsOffDuringSave && !f_.Command2->Enabled() && !f_.Command3->Enabled() &&
                             !f_.cmdOpenAVIFile->Enabled() && f_.cmdCancelSave->Enabled() &&
                             f_.ProgressBar1->Visible();
  });
  ScriptScope script;
  ChooseSource(script, source_);
  ChooseTarget(script, target.string(), {vbYes});
  OptionsAnswer answer(kMpeg4, 80);
  driver::Click(*f_.Command2);
  EXPECT_EQ(answer.shown, 1);
  EXPECT_EQ(f_.txtStatus->Text(), "Finished.");
  EXPECT_FALSE(f_.Label3->Visible());
  EXPECT_FALSE(f_.ProgressBar1->Visible());
  EXPECT_EQ(f_.Text1->Text(), "");
  EXPECT_EQ(f_.Text2->Text(), "");
  EXPECT_FALSE(f_.Command2->Enabled());
  EXPECT_FALSE(f_.cmdCancelSave->Enabled());
  EXPECT_TRUE(f_.cmdOpenAVIFile->Enabled());
  EXPECT_TRUE(f_.Command3->Enabled());
  EXPECT_TRUE(f_.IsLoaded());
  EXPECT_TRUE(buttonsOffDuringSave);
  EXPECT_EQ(CompressPercent, 100);
  ASSERT_GE(statuses.size(), 3u);
  EXPECT_EQ(statuses.front(), "0");
  EXPECT_EQ(statuses[statuses.size() - 2], "100");
  EXPECT_EQ(statuses.back(), "Finished.");
  for (size_t i = 0; i + 1 < statuses.size(); ++i) EXPECT_TRUE(percentShown[i]) << statuses[i];
  EXPECT_EQ(Names(target.parent_path()), std::vector<std::string>{"clip.avi"});  // no temporary left
  const fixtures::Probe p = fixtures::RunFfprobe(target.string());
  ASSERT_TRUE(p.ok) << p.error;
  ASSERT_EQ(p.streams.size(), 1u);  // video only
  EXPECT_EQ(p.streams[0].codecName, "mpeg4");
  EXPECT_EQ(p.streams[0].codecTag, "FMP4");
  EXPECT_EQ(p.streams[0].frames, 15);
  EXPECT_NEAR(p.streams[0].frameRate, 25.0, 0.01);
  std::vector<int> expected(15);
  for (int i = 0; i < 15; ++i) expected[static_cast<size_t>(i)] = i;
  EXPECT_EQ(fixtures::DecodedFrameNumbers(target.string()), expected);
}

TEST_F(CompressWindow, DecliningTheCompressionDialogEndsQuietly) {
  f_.Load();
  ScriptScope script;
  ChooseSource(script, source_);
  const std::string proposal = f_.m_sTargetFile;
  ASSERT_FALSE(proposal.empty());
  OptionsAnswer answer("");
  driver::Click(*f_.Command2);
  EXPECT_EQ(answer.shown, 1);
  EXPECT_TRUE(script->MsgBoxes().empty());
  EXPECT_TRUE(f_.IsLoaded());
  EXPECT_EQ(f_.txtStatus->Text(), "Ready...");
  EXPECT_EQ(f_.Text1->Text(), source_);
  EXPECT_EQ(f_.Text2->Text(), proposal);
  EXPECT_TRUE(f_.Command2->Enabled());
  EXPECT_FALSE(f_.cmdCancelSave->Enabled());
  EXPECT_TRUE(Names(work_).empty());
}

// "Cancel" or "Exit" pressed once the save reached 30%: the save stops, the old target stays as
// it was, no partial file is left, the window stays open; a later "Exit" closes it.
TEST_F(CompressWindow, CancelAndExitDuringASave) {
  fixtures::Options o;
  o.seconds = 2.0;  // 50 frames
  const std::string longer = fixtures::Make(fixtures::Kind::AviMjpegPcm, (dir_ / "long").string(), o);
  const fs::path out = dir_ / "out";
  fs::create_directories(out);
  const fs::path target = out / "target.avi";
  for (const char* button : {"cmdCancelSave", "Command1"}) {
    SCOPED_TRACE(button);
    std::ofstream(target, std::ios::trunc) << "the old target";
    f_.Load();
    bool pressed = false;
    f_.On("txtStatus_Change", [&] {
      f_.txtStatus_Change();
      if (!pressed && IsNumeric(Variant(f_.txtStatus->Text())) && CompressPercent >= 30) {
        pressed = true;
        driver::Click(*f_.FindControl(button));
      }
    });
    ScriptScope script;
    ChooseSource(script, longer);
    ChooseTarget(script, target.string(), {vbYes});
    OptionsAnswer answer(kMpeg4);
    driver::Click(*f_.Command2);
    EXPECT_TRUE(pressed);
    EXPECT_EQ(f_.txtStatus->Text(), "User cancelled.");
    EXPECT_TRUE(script->MsgBoxes().size() == 1u);  // only the replacement question
    EXPECT_TRUE(f_.IsLoaded());                   // an exit during the save was refused
    EXPECT_LT(CompressPercent, 100);
    EXPECT_EQ(Bytes(target), "the old target");
    EXPECT_EQ(Names(out), std::vector<std::string>{"target.avi"});
    EXPECT_FALSE(f_.cmdCancelSave->Enabled());
    f_.On("txtStatus_Change", [&] { f_.txtStatus_Change(); });
    driver::Click(*f_.Command1);  // Exit now closes
    EXPECT_FALSE(f_.IsLoaded());
  }
}

TEST_F(CompressWindow, SourcesThatCannotBeRecompressed) {
  struct Case {
    const char* name;
    std::string path;
  };
  const std::string folder = (dir_ / "bad").string();
  const std::vector<Case> cases = {
      {"text named .avi", fixtures::Make(fixtures::Kind::TextAsAvi, folder)},
      {"empty file", fixtures::Make(fixtures::Kind::EmptyFile, folder)},
      {"wave named .avi", fixtures::Make(fixtures::Kind::WavAsAvi, folder)},
      {"gone after the choice", (dir_ / "gone.avi").string()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    f_.Load();
    ScriptScope script;
    ChooseSource(script, c.path);
    ASSERT_TRUE(f_.Command2->Enabled());
    OptionsAnswer answer(kMpeg4);
    script->AnswerMsgBox(vbOK);
    driver::Click(*f_.Command2);
    EXPECT_EQ(answer.shown, 0);
    ASSERT_EQ(script->MsgBoxes().size(), 1u);
    EXPECT_EQ(script->MsgBoxes()[0].prompt, "There was an error opening the file:\r\n" + c.path);
    EXPECT_EQ(script->MsgBoxes()[0].buttons, vbOKOnly | vbInformation);
    EXPECT_EQ(f_.txtStatus->Text(), "Ready...");
    EXPECT_TRUE(f_.cmdOpenAVIFile->Enabled());
    EXPECT_FALSE(f_.cmdCancelSave->Enabled());
    EXPECT_TRUE(Names(work_).empty());
    f_.Unload();
  }
}

TEST_F(CompressWindow, ASaveThatCannotBeWrittenSaysFailedAndNamesTheTarget) {
  const std::string target = (dir_ / "no-such-folder" / "out.avi").string();
  f_.Load();
  ScriptScope script;
  ChooseSource(script, source_);
  ChooseTarget(script, target);
  OptionsAnswer answer(kMpeg4);
  script->AnswerMsgBox(vbOK);
  driver::Click(*f_.Command2);
  EXPECT_EQ(f_.txtStatus->Text(), "Failed.");
  ASSERT_EQ(script->MsgBoxes().size(), 1u);
  const std::string prompt = script->MsgBoxes()[0].prompt;
  EXPECT_EQ(prompt.rfind("The compressed file could not be written:\r\n" + target + "\r\n", 0), 0u) << prompt;
  EXPECT_EQ(prompt.find(source_), std::string::npos);
  EXPECT_FALSE(fs::exists(target));
  EXPECT_TRUE(f_.IsLoaded());
  EXPECT_FALSE(f_.cmdCancelSave->Enabled());
}

TEST_F(CompressWindow, ASourceChosenAfterItsOwnTargetCannotBeCompressedOverItself) {
  // The target is chosen first; then the same file is chosen as source while its proposal is
  // taken: the old target stays but "Compress" stays disabled and does nothing.
  const fs::path clip = dir_ / "same.avi";
  fs::copy_file(source_, clip);
  std::ofstream(work_ / "same.avi_1.avi") << "taken";
  const std::string before = Bytes(clip);
  f_.m_sTargetFile.clear();
  f_.Load();
  ScriptScope script;
  ChooseTarget(script, clip.string(), {vbYes});
  ASSERT_EQ(f_.m_sTargetFile, clip.string());
  ChooseSource(script, clip.string());
  EXPECT_EQ(f_.m_sTargetFile, clip.string());
  EXPECT_FALSE(f_.Command2->Enabled());
  OptionsAnswer answer(kMpeg4);
  driver::Click(*f_.Command2);
  EXPECT_EQ(answer.shown, 0);
  EXPECT_EQ(Bytes(clip), before);
}

TEST_F(CompressWindow, TextTypedIntoTheBoxesIsNoPath) {
  f_.m_sTargetFile.clear();
  f_.Load();
  ScriptScope script;
  ChooseSource(script, source_);
  const std::string proposal = f_.m_sTargetFile;
  ASSERT_FALSE(proposal.empty());
  f_.Text1->Text((dir_ / "typed-source.avi").string());
  f_.Text2->Text("typed-target.avi");
  OptionsAnswer answer(kMpeg4);
  driver::Click(*f_.Command2);
  EXPECT_EQ(f_.txtStatus->Text(), "Finished.");
  EXPECT_EQ(Names(work_), std::vector<std::string>{proposal});  // the proposal, not the typed name
  const fixtures::Probe p = fixtures::RunFfprobe((work_ / proposal).string());
  ASSERT_TRUE(p.ok) << p.error;
  EXPECT_EQ(p.streams.size(), 1u);
  EXPECT_EQ(p.streams[0].frames, 15);
}
