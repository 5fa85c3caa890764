// Lotkiln's windows driven in process: the queue, the run, the hand-off, the batch list and the
// timed session.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QTimer>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <fstream>
#include <set>
#include <thread>

#include "FrmAddFiles.h"
#include "FrmKilnhandIn.h"
#include "caption_fit.h"
#include "core/clock.h"
#include "core/msgbox.h"
#include "fixtures.h"
#include "hang_guard.h"
#include "forms/app.h"
#include "forms/qt/control_qt.h"
#include "frmBrowse.h"
#include "frmReport.h"
#include "registry/settings.h"
#include "modKilnhand.h"
#include "scripted_responder.h"
#include "window_driver.h"

using namespace kilnhand;

namespace {

void Click(Control& c) {
  auto* b = qobject_cast<QAbstractButton*>(forms_detail::WidgetOf(c));
  ASSERT_TRUE(b) << c.Name();
  b->click();
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), {});
}

class Lotkiln : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    SetAppTitle("Kilnhand");
    folder_ = new std::string(fixtures::ScratchFolder("program"));
    SetProgramFolderForTesting(*folder_);
    media_ = new std::string(fixtures::ScratchFolder("clips ä;b"));
    fixtures::Options o;
    movie_ = new std::string(fixtures::Make(fixtures::Kind::AviMjpegPcm, *media_, o));
    sound_ = new std::string(fixtures::Make(fixtures::Kind::Mp3, *media_, o));
    o.width = 320;
    o.height = 240;
    o.seconds = 8;
    long_ = new std::string(fixtures::Make(fixtures::Kind::AviMjpegPcm, *media_, o));
  }
  void SetUp() override {
    for (const auto& e : std::filesystem::directory_iterator(*folder_)) std::filesystem::remove_all(e.path());
    std::remove(DropFile().c_str());
    std::remove(MarkerFile().c_str());
    form_ = MakeForm<FrmKilnhandIn>();
    form_->Load();
  }
  void TearDown() override {
    if (form_->IsLoaded()) form_->Unload();
    form_.reset();
  }
  int Rows() { return form_->LvwKilnhand->ListItemsOf().Count(); }
  std::string Cell(int row, int col) {
    ListItem& item = form_->LvwKilnhand->ListItemsOf().Item(row);
    return col == 0 ? item.Text() : item.SubItems(static_cast<int16_t>(col));
  }
  void Add(const std::string& in, std::string out, const std::string& profile) {
    int16_t hr = -1;
    form_->Populate_List(in, out, profile, hr);
    ASSERT_EQ(hr, 0) << in;
  }
  // A button's Click as the window raises it (for buttons the test's shortcuts left disabled).
  void Press(const std::string& button) {
    EventArgs none;
    form_->RaiseEvent(button + "_Click", none);
  }
  void Tick() {
    EventArgs none;
    form_->RaiseEvent("Timer3_Timer", none);
  }
  static std::string* folder_;
  static std::string* media_;
  static std::string* movie_;
  static std::string* sound_;
  static std::string* long_;
  FormPtr<FrmKilnhandIn> form_;
};
std::string* Lotkiln::folder_ = nullptr;
std::string* Lotkiln::media_ = nullptr;
std::string* Lotkiln::movie_ = nullptr;
std::string* Lotkiln::sound_ = nullptr;
std::string* Lotkiln::long_ = nullptr;

TEST(Naming, HandOffAndDerivedNames) {
  const std::pair<const char*, const char*> handOff[] = {
      {"/Movies/clip.avi", "/Movies/clip.wmv"},       {"/Movies/song.wma", "/Movies/song.wma_1.wma"},
      {"/Movies/SONG.WMA", "/Movies/SONG.WMA_1.wma"}, {"/Movies/clip.mpeg", "/Movies/clip.mwmv"},
      {"/Movies/clip.wmv", "/Movies/clip.wmv"},       {"ab", "ab.wmv"},
      {"", ".wmv"}};
  for (auto& [in, out] : handOff) EXPECT_EQ(HandOffOutput(in), out) << in;
  struct Derived {
    const char* in;
    bool soundOnly;
    const char* out;
  };
  const Derived derived[] = {{"/Movies/song.mp3", true, "/Movies/song.wma"},
                             {"/Movies/clip.avi", false, "/Movies/clip.wmv"},
                             {"/Movies/clip", false, "/Movies/clip.wmv"},
                             {"/My.Clips/intro", false, "/My.Clips/intro.wmv"},
                             {"/My.Clips/intro", true, "/My.Clips/intro.wma"},
                             {"/My.Clips/a.b.avi", false, "/My.Clips/a.b.wmv"}};
  for (const auto& d : derived) EXPECT_EQ(DerivedOutput(d.in, d.soundOnly), d.out) << d.in;
  // A folder or a hidden file is no file for the command line.
  const std::string folder = fixtures::ScratchFolder("found");
  std::ofstream(folder + "/.hidden.avi") << "x";
  std::ofstream(folder + "/shown.avi") << "x";
  EXPECT_FALSE(FileFound(folder + "/.hidden.avi"));
  EXPECT_TRUE(FileFound(folder + "/shown.avi"));
  EXPECT_FALSE(FileFound(folder));
  EXPECT_FALSE(FileFound(folder + "/missing.avi"));
  EXPECT_EQ(MountPointOf("/"), "/");
  EXPECT_EQ(MountPointOf("/proc/self"), "/proc");
  EXPECT_EQ(MountPointOf("relative/path"), "/");
  const std::pair<int32_t, const char*> codes[] = {
      {0x5B, "Error:5B"}, {1, "Error:1"}, {static_cast<int32_t>(0x80004004), "Error:80004004"},
      {static_cast<int32_t>(0xC00D1B71), "Error:C00D1B71"}, {0xABC, "Error:ABC"}};
  for (auto& [code, text] : codes) EXPECT_EQ(ErrorResult(code), text);
}

TEST_F(Lotkiln, StartUpMarksAndDisablesAndFillsTheLists) {
  EXPECT_TRUE(FileFound(MarkerFile()));
  const std::string marker = ReadAll(MarkerFile());
  EXPECT_EQ(marker.front(), '"');
  EXPECT_EQ(marker.substr(marker.size() - 3), "\"\r\n");
  EXPECT_EQ(form_->Caption(), "Kilnqueue");
  EXPECT_EQ(form_->StaEncoderStat->SimpleText(), "Encoder Stopped");
  EXPECT_FALSE(form_->CmdStart->Enabled());
  EXPECT_FALSE(form_->CmdStop->Enabled());
  EXPECT_FALSE(form_->CmdSave->Enabled());
  EXPECT_TRUE(form_->cmdMultiAdd->Enabled());
  EXPECT_TRUE(form_->CmdAdd->Enabled());
  EXPECT_EQ(form_->CmbProfile->Text(), kPreferredProfile);
  EXPECT_EQ(form_->CmbProfile->ListCount(), 6);
  EXPECT_EQ(form_->lstHour->ListCount(), 24);
  EXPECT_EQ(form_->lstMinute->ListCount(), 60);
  // Closing deletes the marker, also one this instance did not make.
  form_->Unload();
  EXPECT_FALSE(FileFound(MarkerFile()));
}

TEST_F(Lotkiln, ARunEncodesEachRowAndMarksItsResult) {
  const std::string out = fixtures::ScratchFolder("run out;ü");
  const std::string same = out + "/same.wmv";
  std::ofstream(same) << "not media, kept";
  Add(*movie_, std::string(out + "/movie.wmv"), "wz movie tools 320x240");  // letter case of the profile
  Add(*sound_, std::string("None"), "Wz Audio 32Kbps (22 kHz, mono)");
  Add(out + "/missing.avi", std::string(out + "/missing.wmv"), kPreferredProfile);
  Add(*movie_, std::string(out + "/x.wmv"), "No such profile");
  Add(same, std::string(same), kPreferredProfile);
  EXPECT_EQ(Cell(2, 1), DerivedOutput(*sound_, true));
  form_->CmdStart_Click();
  EXPECT_EQ(Cell(1, 3), "Done");
  EXPECT_EQ(Cell(2, 3), "Done");
  EXPECT_EQ(Cell(3, 3), "Error:C00D1B71");
  EXPECT_EQ(Cell(4, 3), "Error:1");
  EXPECT_EQ(Cell(5, 3), "Error:C00D1B79");  // not media: no stream to encode
  EXPECT_EQ(ReadAll(same), "not media, kept");
  fixtures::Probe p = fixtures::RunFfprobe(out + "/movie.wmv");
  ASSERT_TRUE(p.ok) << p.error;
  EXPECT_EQ(p.formatName, "asf");
  ASSERT_TRUE(p.First("video"));
  EXPECT_EQ(p.First("video")->codecName, "wmv2");
  p = fixtures::RunFfprobe(DerivedOutput(*sound_, true));
  ASSERT_TRUE(p.ok) << p.error;
  EXPECT_FALSE(p.First("video"));
  ASSERT_TRUE(p.First("audio"));
  EXPECT_EQ(p.First("audio")->codecName, "wmav2");
  // After the run: Start stays off until something enables it; Done rows are skipped.
  EXPECT_FALSE(form_->CmdStart->Enabled());
  EXPECT_FALSE(form_->CmdStop->Enabled());
  EXPECT_TRUE(form_->CmdAdd->Enabled());
  EXPECT_EQ(form_->StaEncoderStat->SimpleText(), "Encoder Stopped");
}

TEST_F(Lotkiln, AnOutputThatIsTheInputIsRefused) {
  const std::string folder = fixtures::ScratchFolder("self");
  const std::string clip = folder + "/clip.wmv";
  {
    fixtures::Options o;
    std::string made = fixtures::Make(fixtures::Kind::AviMjpegPcm, folder, o);
    std::rename(made.c_str(), clip.c_str());
  }
  const std::string before = ReadAll(clip);
  Add(clip, HandOffOutput(clip), kPreferredProfile);
  EXPECT_EQ(Cell(1, 1), clip);
  form_->CmdStart_Click();
  EXPECT_EQ(Cell(1, 3), "Error:C00D1B76");
  EXPECT_EQ(ReadAll(clip), before);
}

TEST_F(Lotkiln, StopEndsTheRunAndMarksTheStoppedRow) {
  const std::string out = fixtures::ScratchFolder("stop");
  Add(*long_, std::string(out + "/long.wmv"), "Wz Movie Tools 640X480");
  Add(*movie_, std::string(out + "/next.wmv"), kPreferredProfile);
  // Stop as soon as the first file runs.
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (form_->StaEncoderStat->SimpleText() == "Encoder Running") {
      poll.stop();
      Click(*form_->CmdStop);
    }
  });
  poll.start(0);
  form_->CmdStart_Click();
  EXPECT_EQ(Cell(1, 3), "Error:80004004");
  EXPECT_EQ(Cell(2, 3), "");
  EXPECT_TRUE(form_->CmdStart->Enabled());
  EXPECT_FALSE(form_->CmdStop->Enabled());
  fixtures::Probe p = fixtures::RunFfprobe(out + "/long.wmv");
  ASSERT_TRUE(p.ok) << p.error;  // the stopped file is complete, only shorter
  EXPECT_LT(p.duration, 8.0);
  EXPECT_FALSE(FileFound(out + "/next.wmv"));
}

// After Stop the run's loop still waits for the encoder to end its file: Remove All and Start,
// clicked in the window then, do nothing; the buttons come back when the loop has ended.
TEST_F(Lotkiln, AfterStopTheQueueWaitsForTheRunToEnd) {
  const std::string out = fixtures::ScratchFolder("stop wait");
  Add(*long_, std::string(out + "/long.wmv"), "Wz Movie Tools 640X480");
  Add(*movie_, std::string(out + "/next.wmv"), kPreferredProfile);
  form_->Show();
  bool clicked = false;
  std::vector<bool> enabledInWait;
  int rowsInWait = -1;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (form_->StaEncoderStat->SimpleText() != "Encoder Running") return;
    poll.stop();
    driver::Click(*form_->CmdStop);
    for (CommandButton* b : {&*form_->CmdStart, &*form_->CmdRemoveAll, &*form_->CmdAdd, &*form_->CmdLoad,
                             &*form_->CmdRemove, &*form_->CmdSave})
      enabledInWait.push_back(b->Enabled());
    driver::Click(*form_->CmdRemoveAll);
    driver::Click(*form_->CmdStart);
    rowsInWait = Rows();
    clicked = true;
  });
  poll.start(0);
  form_->CmdStart_Click();
  ASSERT_TRUE(clicked);
  EXPECT_EQ(enabledInWait, std::vector<bool>(6, false));
  EXPECT_EQ(rowsInWait, 2);
  ASSERT_EQ(Rows(), 2);
  EXPECT_EQ(Cell(1, 3), "Error:80004004");
  EXPECT_EQ(Cell(2, 3), "");
  EXPECT_FALSE(FileFound(out + "/next.wmv"));  // no second run
  EXPECT_TRUE(form_->CmdStart->Enabled());
  EXPECT_TRUE(form_->CmdRemoveAll->Enabled());
  EXPECT_TRUE(form_->CmdLoad->Enabled());
  EXPECT_FALSE(form_->CmdStop->Enabled());
}

// A stopped, closed or failed run never replaces a file of the output's name; where none was,
// a stopped or closed run leaves its shorter, valid file and a failed one leaves nothing.
TEST_F(Lotkiln, AnUnfinishedRunNeverReplacesAnOlderFile) {
  const std::string failing = fixtures::ScratchFolder("failing");
  {
    fixtures::Options o;
    const std::string part = fixtures::Make(fixtures::Kind::Mpeg1Ps, failing, o);
    std::ofstream(failing + "/list.ffconcat")
        << "ffconcat version 1.0\nfile '" << part.substr(part.rfind('/') + 1) << "'\nfile 'gone.mpg'\n";
  }
  enum class End { Stop, Close, Failure };
  for (End end : {End::Stop, End::Close, End::Failure}) {
    for (bool existed : {false, true}) {
      const std::string name = std::string(end == End::Stop ? "stop" : end == End::Close ? "close" : "failure") +
                               (existed ? " existed" : " new");
      SCOPED_TRACE(name);
      const std::string out = fixtures::ScratchFolder("unfinished " + name);
      const std::string target = out + "/target.wmv";
      std::remove(target.c_str());
      if (existed) std::ofstream(target) << "older file, kept";
      if (!form_->IsLoaded()) {
        form_ = MakeForm<FrmKilnhandIn>();
        form_->Load();
      }
      Add(end == End::Failure ? failing + "/list.ffconcat" : *long_, std::string(target), "Wz Movie Tools 640X480");
      QTimer poll;
      QObject::connect(&poll, &QTimer::timeout, [&] {
        if (form_->StaEncoderStat->SimpleText() != "Encoder Running") return;
        poll.stop();
        if (end == End::Stop) Click(*form_->CmdStop);
        else form_->Unload();
      });
      if (end != End::Failure) poll.start(0);
      form_->CmdStart_Click();
      poll.stop();
      if (end == End::Stop) {
        EXPECT_EQ(Cell(1, 3), "Error:80004004");
      } else if (end == End::Failure) {
        EXPECT_EQ(Cell(1, 3), "Error:C00D1B7D");
      }
      if (existed) {
        EXPECT_EQ(ReadAll(target), "older file, kept");
      } else if (end == End::Failure) {
        EXPECT_FALSE(FileFound(target));
      } else {
        fixtures::Probe p = fixtures::RunFfprobe(target);
        ASSERT_TRUE(p.ok) << p.error;
        EXPECT_LT(p.duration, 8.0);
      }
      for (const auto& e : std::filesystem::directory_iterator(out))
        EXPECT_EQ(e.path().filename().string(), "target.wmv");
      if (form_->IsLoaded()) form_->Unload();
    }
  }
}

TEST_F(Lotkiln, ClosingDuringARunStopsItFirst) {
  const std::string out = fixtures::ScratchFolder("close");
  Add(*long_, std::string(out + "/long.wmv"), "Wz Movie Tools 640X480");
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (form_->StaEncoderStat->SimpleText() == "Encoder Running") {
      poll.stop();
      form_->Unload();
    }
  });
  poll.start(0);
  form_->CmdStart_Click();
  EXPECT_FALSE(form_->IsLoaded());
  EXPECT_FALSE(FileFound(MarkerFile()));
  fixtures::Probe p = fixtures::RunFfprobe(out + "/long.wmv");
  ASSERT_TRUE(p.ok) << p.error;
  EXPECT_EQ(p.formatName, "asf");
}

TEST_F(Lotkiln, QueueButtonsAndTheirBoxes) {
  ScriptScope script;
  script->AnswerMsgBox(vbOK).AnswerMsgBox(vbOK).AnswerMsgBox(vbOK);
  Press("CmdClearResults");  // "Nothing to clear"
  form_->CmdStart_Click();          // "No files to encode"
  Add(*movie_, std::string("/tmp/a.wmv"), kPreferredProfile);
  Add(*movie_, std::string("/tmp/b.wmv"), kPreferredProfile);
  form_->LvwKilnhand->ListItemsOf().Item(2).SubItems(3, "Done");
  Press("CmdClearResults");
  EXPECT_EQ(Cell(2, 3), "");
  form_->LvwKilnhand->SelectedItem(&form_->LvwKilnhand->ListItemsOf().Item(2));
  Press("CmdRemove");
  EXPECT_EQ(Rows(), 1);
  form_->LvwKilnhand->SelectedItem(nullptr);
  Press("CmdRemove");  // nothing selected
  Press("CmdRemoveAll");
  EXPECT_EQ(Rows(), 0);
  auto boxes = script->MsgBoxes();
  ASSERT_EQ(boxes.size(), 3u);
  EXPECT_EQ(boxes[0].prompt, "Nothing to clear");
  EXPECT_EQ(boxes[1].prompt, "No files to encode");
  EXPECT_EQ(boxes[2].prompt, "Error Removing Selected Entry From List");
  EXPECT_EQ(boxes[2].buttons, vbOKOnly | vbExclamation);
}

TEST_F(Lotkiln, SaveAndLoadTheBatchList) {
  const std::string folder = fixtures::ScratchFolder("lists ü");
  const std::string list = folder + "/queue.bwm";
  Add("/a b/c.avi", std::string("/a b/c.wmv"), kPreferredProfile);
  Add("/ä/d.mpg", std::string("/ä/d.wmv"), "Wz Video Only 320X240");
  form_->LvwKilnhand->ListItemsOf().Item(1).SubItems(3, "Done");
  {
    ScriptScope script;
    script->AnswerDialog(DialogKind::Save, DialogAnswer::Ok(list));
    Press("CmdSave");
    EXPECT_EQ(script->Dialogs().at(0).filter, "Kilnhand Files (*.bwm) | *.bwm");
    EXPECT_EQ(script->Dialogs().at(0).title, "Save File");
  }
  EXPECT_EQ(ReadAll(list), "/a b/c.avi;/a b/c.wmv;" + std::string(kPreferredProfile) +
                               ";\r\n/ä/d.mpg;/ä/d.wmv;Wz Video Only 320X240;\r\n");
  // A field holding ";" cannot load back: refused before anything is written.
  Add("/x;y.avi", std::string("/x.wmv"), kPreferredProfile);
  {
    ScriptScope script;
    script->AnswerDialog(DialogKind::Save, DialogAnswer::Ok(list)).AnswerMsgBox(vbOK);
    Press("CmdSave");
    ASSERT_EQ(script->MsgBoxes().size(), 1u);
    EXPECT_EQ(script->MsgBoxes()[0].prompt, "Error Saving List Entries");
    EXPECT_EQ(script->MsgBoxes()[0].title, "Error-5");
  }
  EXPECT_EQ(ReadAll(list).find("x;y"), std::string::npos);
  {
    ScriptScope script;
    script->AnswerDialog(DialogKind::Open, DialogAnswer::Ok(list));
    Press("CmdLoad");
  }
  ASSERT_EQ(Rows(), 2);
  EXPECT_EQ(Cell(1, 0), "/a b/c.avi");
  EXPECT_EQ(Cell(1, 3), "");
  EXPECT_EQ(Cell(2, 2), "Wz Video Only 320X240");
  EXPECT_TRUE(form_->CmdStart->Enabled());
  // A third line with two ";" only: two rows stay, error 5.
  const std::string bad = folder + "/bad.bwm";
  std::ofstream(bad) << "a;b;c;extra\r\nd;e;f;\r\ng;h\r\ni;j;k;\r\n";
  {
    ScriptScope script;
    script->AnswerDialog(DialogKind::Open, DialogAnswer::Ok(bad)).AnswerMsgBox(vbOK);
    Press("CmdLoad");
    EXPECT_EQ(script->MsgBoxes().at(0).prompt, "Error Loading Saved Configuration");
    EXPECT_EQ(script->MsgBoxes().at(0).title, "Error-5");
  }
  ASSERT_EQ(Rows(), 2);
  EXPECT_EQ(Cell(1, 2), "c");
  // Cancel touches nothing.
  {
    ScriptScope script;
    script->AnswerDialog(DialogKind::Open, DialogAnswer::Cancel());
    Press("CmdLoad");
  }
  EXPECT_EQ(Rows(), 2);
}

// A folder others may write: a link planted at the save's side-file name (the one an earlier
// save used) is never followed, and side files that killed saves left are removed.
TEST_F(Lotkiln, SavingTheListNeverWritesThroughALinkAtItsSideFileName) {
  const std::string folder = fixtures::ScratchFolder("shared lists");
  for (const auto& e : std::filesystem::directory_iterator(folder)) std::filesystem::remove_all(e.path());
  ::chmod(folder.c_str(), 01777);
  const std::string list = folder + "/queue.bwm";
  const std::string precious = fixtures::ScratchFolder("own") + "/precious.txt";
  std::ofstream(precious) << "keep me";
  const std::string ended = std::to_string(fixtures::EndedProcessId());
  struct Case {
    std::string name;
    bool link;
    bool stays;
  } cases[] = {
      {".queue.bwm.saving-" + std::to_string(::getpid()), true, true},
      {".queue.bwm.saving-" + std::to_string(::getpid()) + "-0", true, true},
      {".queue.bwm.saving-" + ended + "-7f", false, false},  // a killed save's
  };
  for (const Case& c : cases) {
    if (c.link) {
      std::filesystem::create_symlink(precious, folder + "/" + c.name);
    } else {
      std::ofstream(folder + "/" + c.name) << "half a list";
    }
  }
  Add("/a/c.avi", std::string("/a/c.wmv"), kPreferredProfile);
  {
    ScriptScope script;
    script->AnswerDialog(DialogKind::Save, DialogAnswer::Ok(list));
    Press("CmdSave");
    EXPECT_TRUE(script->MsgBoxes().empty());
  }
  EXPECT_EQ(ReadAll(list), "/a/c.avi;/a/c.wmv;" + std::string(kPreferredProfile) + ";\r\n");
  EXPECT_EQ(ReadAll(precious), "keep me");
  for (const Case& c : cases) {
    EXPECT_EQ(std::filesystem::symlink_status(folder + "/" + c.name).type() != std::filesystem::file_type::not_found,
              c.stays)
        << c.name;
  }
  int sideFiles = 0;
  for (const auto& e : std::filesystem::directory_iterator(folder)) {
    sideFiles += e.path().filename().string().find(".saving-") != std::string::npos ? 1 : 0;
  }
  EXPECT_EQ(sideFiles, 2) << "only the planted links stay beside the list";
}

// A list that is no file (a FIFO, a device, a folder) or holds a line no list has: the load
// returns with the load's error box instead of waiting or reading for ever.
TEST_F(Lotkiln, LoadingSomethingThatIsNoListEndsWithTheLoadsError) {
  const std::string folder = fixtures::ScratchFolder("odd lists");
  const std::string fifo = folder + "/queue.bwm";
  ::unlink(fifo.c_str());
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::string overlong = folder + "/long.bwm";
  std::ofstream(overlong, std::ios::binary) << "a;b;c;\r\n" << std::string((1 << 20) + 5, 'x') << ";y;z;\r\n";
  for (const std::string& path : {fifo, std::string("/dev/zero"), folder, overlong}) {
    SCOPED_TRACE(path);
    Add("/a/kept.avi", std::string("/a/kept.wmv"), kPreferredProfile);
    ScriptScope script;
    script->AnswerDialog(DialogKind::Open, DialogAnswer::Ok(path)).AnswerMsgBox(vbOK);
    {
      HangGuard guard("loading " + path);
      Press("CmdLoad");
    }
    ASSERT_EQ(script->MsgBoxes().size(), 1u);
    EXPECT_EQ(script->MsgBoxes()[0].prompt, "Error Loading Saved Configuration");
    EXPECT_EQ(script->MsgBoxes()[0].title, "Error-75");
  }
}

TEST_F(Lotkiln, DropFileLinesBecomeRowsAtTheNextIdleTick) {
  {
    std::ofstream drop(DropFile(), std::ios::binary);
    drop << "  /m/clip.avi  \r\n\r\nab\r\n/M/CLIP.AVI\r\n/m/song.wma\r\n";
  }
  Add("/m/queued.avi", std::string("/m/queued.wmv"), kPreferredProfile);
  form_->CmbProfile->Text("Wz Video Only 320X240");
  Tick();  // takes the file
  EXPECT_FALSE(FileFound(DropFile()));
  EXPECT_EQ(Rows(), 1);
  std::ofstream(DropFile(), std::ios::binary) << "/m/queued.avi\r\n";
  Tick();  // imports the first file, takes the second
  // The same path twice in one file gives two rows; a blank line none.
  ASSERT_EQ(Rows(), 5);
  EXPECT_EQ(Cell(2, 0), "/m/clip.avi");
  EXPECT_EQ(Cell(2, 1), "/m/clip.wmv");
  EXPECT_EQ(Cell(2, 2), "Wz Video Only 320X240");
  EXPECT_EQ(Cell(3, 0), "ab");
  EXPECT_EQ(Cell(3, 1), "ab.wmv");
  EXPECT_EQ(Cell(4, 0), "/M/CLIP.AVI");
  EXPECT_EQ(Cell(5, 1), "/m/song.wma_1.wma");
  Tick();
  EXPECT_EQ(Rows(), 5);  // a queued path is skipped, whatever its case
}

TEST_F(Lotkiln, WritersInOtherProcessesLoseNoLine) {
  const std::string writer = std::string(std::getenv("SUITE_BIN_DIR")) + "/../tests/kiln_writer";
  std::vector<std::thread> writers;
  for (int w = 0; w < 3; ++w)
    writers.emplace_back([&, w] {
      std::string cmd = "'" + writer + "' '" + DropFile() + "' /w" + std::to_string(w) + " 500";
      EXPECT_EQ(std::system(cmd.c_str()), 0);
    });
  writers.emplace_back([&] {
    std::string cmd = "for i in $(seq 0 499); do printf '/plain-%s\\r\\n' $i >> '" + DropFile() + "'; done";
    EXPECT_EQ(std::system(cmd.c_str()), 0);
  });
  // The window's import ticks through the taker; it is driven here directly, as fast as it goes.
  DropFileTaker taker;
  std::vector<std::string> queued;
  std::atomic<int> done{0};
  std::thread watcher([&] {
    for (auto& t : writers) t.join();
    done = 1;
  });
  bool idle = false;
  while (!done) {
    for (auto& line : taker.Tick(idle)) queued.push_back(line);
    idle = !idle;  // every other tick a run is under way
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  watcher.join();
  // The writers are done: idle ticks take what is left until neither the drop file nor a taken
  // one waits in the program folder.
  auto waiting = [] {
    if (FileFound(DropFile())) return true;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(ProgramFolder(), ec)) {
      if (e.path().filename().string().rfind(".lotkiln-taken-", 0) == 0) return true;
    }
    return false;
  };
  {
    HangGuard guard("taking the writers' lines");
    while (waiting()) {
      for (auto& line : taker.Tick(true)) queued.push_back(line);
    }
  }
  std::set<std::string> seen;
  for (const auto& line : queued) EXPECT_TRUE(seen.insert(line).second) << "twice: " << line;
  EXPECT_EQ(seen.size(), 2000u);
  EXPECT_FALSE(FileFound(DropFile()));
}

TEST_F(Lotkiln, TheTimerImportsByItself) {
  std::ofstream(DropFile(), std::ios::binary) << "/m/by-itself.avi\r\n";
  {
    // Two ticks of the import timer: one takes the drop file, the next idle one imports it.
    HangGuard guard("the import timer's rows");
    while (Rows() == 0) {
      DoEvents();
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  ASSERT_EQ(Rows(), 1);
  EXPECT_EQ(Cell(1, 0), "/m/by-itself.avi");
}

// The Timed Session button, pressed again while a session waits, stops it after a Yes: the
// buttons, the clock and the caption come back.
TEST_F(Lotkiln, TheTimedSessionButtonStopsAWaitingSession) {
  Add(*movie_, std::string(fixtures::ScratchFolder("stopsession") + "/s.wmv"), kPreferredProfile);
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  form_->lstHour->ListIndex((local.tm_hour + 2) % 24);  // never the current minute
  {
    ScriptScope script;
    script->AnswerMsgBox(vbYes);
    Click(*form_->Command1);
  }
  ASSERT_FALSE(form_->picButtons->Visible());
  EXPECT_EQ(form_->lblTimerStatus->Caption(), "The timer is running");
  {
    ScriptScope script;
    script->AnswerMsgBox(vbNo).AnswerMsgBox(vbYes);
    Click(*form_->Command1);  // No: the session keeps waiting
    EXPECT_FALSE(form_->picButtons->Visible());
    Click(*form_->Command1);  // Yes
    auto boxes = script->MsgBoxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[1].prompt, "Do you want to stop the scheduled encoding session?");
  }
  EXPECT_TRUE(form_->picButtons->Visible());
  EXPECT_EQ(form_->lblTimerStatus->Caption(), "The timer is not running");
  EXPECT_EQ(form_->Label2->Caption(), "System Time:");
  EXPECT_TRUE(form_->Timer1->Enabled());
  EXPECT_FALSE(form_->Timer2->Enabled());
  EXPECT_EQ(form_->Caption(), "Kilnqueue");
  EXPECT_EQ(Cell(1, 3), "") << "nothing was encoded";
}

TEST_F(Lotkiln, TimedSessionSchedulesCountsDownAndReports) {
  using namespace std::chrono;
  // The clock stands at 09:03:30 local time today.
  auto today = floor<days>(system_clock::now());
  std::time_t t = system_clock::to_time_t(today);
  std::tm local{};
  localtime_r(&t, &local);
  local.tm_hour = 9;
  local.tm_min = 3;
  local.tm_sec = 30;
  system_clock::time_point at = system_clock::from_time_t(std::mktime(&local));
  struct ClockScope {
    ClockFunction previous;
    ~ClockScope() { SetClockForTesting(previous); }
  } clock{SetClockForTesting([&] { return at; })};
  form_->Unload();
  form_->Load();
  EXPECT_EQ(form_->lstHour->Text(), "10");
  EXPECT_EQ(form_->lstMinute->Text(), "3");
  {
    ScriptScope script;
    script->AnswerMsgBox(vbOK).AnswerMsgBox(vbOK).AnswerMsgBox(vbNo);
    Click(*form_->Command1);  // empty queue
    Add(*movie_, std::string(fixtures::ScratchFolder("session") + "/s.wmv"), kPreferredProfile);
    form_->lstHour->ListIndex(9);
    form_->lstMinute->ListIndex(3);
    Click(*form_->Command1);  // the current minute: refused
    EXPECT_EQ(form_->lstHour->Text(), "10");
    form_->lstHour->ListIndex(9);
    form_->lstMinute->ListIndex(5);
    Click(*form_->Command1);  // No
    auto boxes = script->MsgBoxes();
    ASSERT_EQ(boxes.size(), 3u);
    EXPECT_EQ(boxes[0].prompt, "Please add some files to encode before starting the timer.");
    EXPECT_EQ(boxes[1].prompt, "Please set the start time for a time in the future.");
    EXPECT_EQ(boxes[2].prompt, "Do you want to start an encoding session at 9:5:00");
    EXPECT_EQ(boxes[2].buttons, vbYesNo);
    EXPECT_TRUE(form_->picButtons->Visible());
  }
  {
    ScriptScope script;
    script->AnswerMsgBox(vbYes);
    Click(*form_->Command1);
  }
  EXPECT_FALSE(form_->picButtons->Visible());
  EXPECT_EQ(form_->Caption(), "Encoder session will start in 00:01:30");
  EXPECT_EQ(form_->lblTimerStatus->Caption(), "The timer is running");
  // An earlier time of day counts down to tomorrow.
  form_->lstHour->ListIndex(9);
  form_->lstMinute->ListIndex(2);
  EventArgs none;
  form_->RaiseEvent("Timer2_Timer", none);
  EXPECT_EQ(form_->lblSysTime->Caption(), "23:58:30");
  // The start minute comes: the run, then the report.
  form_->lstMinute->ListIndex(5);
  at += seconds(90);
  form_->RaiseEvent("Timer2_Timer", none);
  EXPECT_EQ(Cell(1, 3), "Done");
  EXPECT_EQ(form_->Caption(), "Kilnqueue");
  EXPECT_TRUE(form_->picButtons->Visible());
  ASSERT_TRUE(TheReport().IsLoaded());
  EXPECT_EQ(TheReport().List1->ListCount(), 1);
  EXPECT_EQ(TheReport().List1->List(0), "File: " + Cell(1, 1) + " Result: Done");
  EXPECT_EQ(TheReport().lblStart->Caption().rfind("Session start time: ", 0), 0u);
  EXPECT_EQ(TheReport().lblEndTime->Caption().rfind("Session end time: ", 0), 0u);
  TheReport().Unload();
}

TEST_F(Lotkiln, CommandLineRunWritesTheMovie) {
  const std::string folder = fixtures::ScratchFolder("command line");
  fixtures::Options o;
  const std::string clip = fixtures::Make(fixtures::Kind::AviMjpegPcm, folder, o);
  form_->Unload();
  setenv("SUITE_COMMAND_TAIL", ("<RUN> " + clip + "  ").c_str(), 1);
  setenv("SUITE_COMMAND_PID", std::to_string(getpid()).c_str(), 1);
  form_->Load();
  unsetenv("SUITE_COMMAND_TAIL");
  unsetenv("SUITE_COMMAND_PID");
  ASSERT_EQ(Rows(), 1);
  EXPECT_EQ(Cell(1, 3), "Done");
  fixtures::Probe p = fixtures::RunFfprobe(HandOffOutput(clip));
  ASSERT_TRUE(p.ok) << p.error;
  EXPECT_EQ(p.formatName, "asf");
}

// The add dialog: the profile list, the analysis of the input and the results after closing.
TEST_F(Lotkiln, AddDialogAnalysesTheInput) {
  FrmAddFiles& dialog = TheAddFiles();
  EventArgs none;
  std::vector<std::string> after;
  ScriptScope script;
  script->AnswerDialog(DialogKind::Open, DialogAnswer::Ok(*sound_)).AnswerMsgBox(vbOK);
  QTimer::singleShot(0, [&] {
    EXPECT_EQ(dialog.CmbProfile->Text(), kPreferredProfile);
    EXPECT_EQ(dialog.CmbProfile->ListCount(), 6);
    Click(*dialog.FindControl("CmdBrowse", 0));
    EXPECT_EQ(dialog.TxtInput->Text(), *sound_);
    EXPECT_EQ(dialog.TxtOutput->Text(), sound_->substr(0, sound_->size() - 3) + "wmv");
    dialog.RaiseEvent("TxtInput_LostFocus", none);  // leaving the box analyses the file
    for (int i = 0; i < dialog.CmbProfile->ListCount(); ++i) after.push_back(dialog.CmbProfile->List(static_cast<int16_t>(i)));
    EXPECT_EQ(dialog.CmbProfile->Text(), "");
    Click(*dialog.FindControl("CmdOk"));  // "Please enter a profile"
    EXPECT_TRUE(dialog.IsLoaded());
    dialog.CmbProfile->Text("Wz Audio 32Kbps (22 kHz, mono)");
    dialog.TxtOutput->Text("");
    Click(*dialog.FindControl("CmdOk"));
  });
  Click(*form_->CmdAdd);
  EXPECT_EQ(after, (std::vector<std::string>{"Wz Audio 64Kbps (44 kHz, stereo)", "Wz Audio 32Kbps (22 kHz, mono)"}));
  ASSERT_EQ(script->MsgBoxes().size(), 1u);
  EXPECT_EQ(script->MsgBoxes()[0].prompt, "Please enter a profile");
  EXPECT_EQ(dialog.GetOutputFile(), "None");
  ASSERT_EQ(Rows(), 1);
  EXPECT_EQ(Cell(1, 1), DerivedOutput(*sound_, true));
  EXPECT_EQ(Cell(1, 2), "Wz Audio 32Kbps (22 kHz, mono)");
}

TEST_F(Lotkiln, AddDialogCancelAndAMissingFile) {
  FrmAddFiles& dialog = TheAddFiles();
  EventArgs none;
  ScriptScope script;
  script->AnswerMsgBox(vbOK);
  QTimer::singleShot(0, [&] {
    dialog.TxtInput->Text("/no/such/clip.avi");
    dialog.RaiseEvent("TxtInput_LostFocus", none);  // the encoder's own description; the dialog closes
  });
  Click(*form_->CmdAdd);
  EXPECT_FALSE(dialog.IsLoaded());
  EXPECT_EQ(dialog.GetInputFile(), "");
  EXPECT_EQ(Rows(), 0);
  ASSERT_EQ(script->MsgBoxes().size(), 1u);
  EXPECT_NE(script->MsgBoxes()[0].prompt.find("/no/such/clip.avi"), std::string::npos);
  QTimer::singleShot(0, [&] {
    dialog.TxtInput->Text(*movie_);
    Click(*dialog.FindControl("CmdCancel"));
  });
  Click(*form_->CmdAdd);
  EXPECT_EQ(dialog.GetInputFile(), "");
  EXPECT_EQ(Rows(), 0);
}

TEST(PickerNames, OutputNamePartsAndNumbers) {
  struct Case {
    const char* text;
    const char* root;
    const char* extension;
  };
  const Case cases[] = {{"Clip.wmv", "Clip", ".wmv"}, {"Output", "Output", ".wmv"}, {"", "Output", ".wmv"},
                        {"Show.part.wma", "Show", ".part.wma"}, {".wma", "Output", ".wma"}};
  for (const auto& c : cases) {
    std::string root, ext;
    frmBrowse::SplitOutputName(c.text, &root, &ext);
    EXPECT_EQ(root, c.root) << c.text;
    EXPECT_EQ(ext, c.extension) << c.text;
  }
  const std::pair<const char*, int32_t> numbers[] = {{"0", 1}, {"abc", 1}, {"-2", 1}, {"7", 7}, {"2.5", 2}, {"3.5", 4}};
  for (auto& [text, n] : numbers) EXPECT_EQ(frmBrowse::StartNumber(text), n) << text;
  EXPECT_EQ(frmBrowse::FolderOf("/out"), "/out/");
  EXPECT_EQ(frmBrowse::FolderOf("/out/"), "/out/");
}

// Add Batch through the picker: numbered outputs, an empty file skipped without a number, the
// settings remembered, the next number offered again.
TEST_F(Lotkiln, AddBatchNumbersTheOutputs) {
  const std::string pick = fixtures::ScratchFolder("pick ü");
  for (const char* name : {"a.avi", "b.avi", "c.avi", "notes.txt"}) std::ofstream(pick + "/" + name) << "data";
  std::ofstream(pick + "/b.avi", std::ios::trunc).close();  // empty
  const std::string out = fixtures::ScratchFolder("pick out");
  Step([] { DeleteSetting(kSettingsApp, kSettingsSection); });
  SaveSetting(kSettingsApp, kSettingsSection, "LastPath", pick);
  frmBrowse& picker = ThePicker();
  ScriptScope script;
  script->AnswerMsgBox(vbOK);
  QTimer::singleShot(0, [&] {
    EXPECT_EQ(picker.lbPath->Caption(), pick);
    EXPECT_EQ(picker.txtStart->Text(), "1");
    EXPECT_EQ(picker.TxtOutput->Text(), "Output");
    EXPECT_EQ(picker.CmbProfile->Text(), kPreferredProfile);
    EXPECT_EQ(picker.File1->ListCount(), 3);  // the multimedia pattern leaves the text file out
    for (int16_t i = 0; i < picker.File1->ListCount(); ++i) picker.File1->Selected(i, true);
    picker.TxtOutput->Text("Clip.wmv");
    picker.txtFilePath->Text(out);
    Click(*picker.FindControl("cmdOK"));
  });
  Click(*form_->cmdMultiAdd);
  ASSERT_EQ(Rows(), 2);
  EXPECT_EQ(Cell(1, 0), pick + "/a.avi");
  EXPECT_EQ(Cell(1, 1), out + "/Clip1.wmv");
  EXPECT_EQ(Cell(2, 0), pick + "/c.avi");
  EXPECT_EQ(Cell(2, 1), out + "/Clip2.wmv");
  EXPECT_EQ(Cell(2, 2), kPreferredProfile);
  ASSERT_EQ(script->MsgBoxes().size(), 1u);
  EXPECT_EQ(script->MsgBoxes()[0].prompt, "The file " + pick + "/b.avi is empty.");
  EXPECT_FALSE(picker.IsLoaded());
  EXPECT_EQ(GetSetting(kSettingsApp, kSettingsSection, "FileName", ""), "Clip.wmv");
  EXPECT_EQ(GetSetting(kSettingsApp, kSettingsSection, "FilePath", ""), out);
  // The next opening offers 3; an existing first output asks, and No keeps the picker open.
  std::ofstream(out + "/Clip3.wmv") << "x";
  script->AnswerMsgBox(vbNo);
  QTimer::singleShot(0, [&] {
    EXPECT_EQ(picker.txtStart->Text(), "3");
    picker.File1->Selected(0, true);
    Click(*picker.FindControl("cmdOK"));
    EXPECT_TRUE(picker.Visible());
    Click(*picker.FindControl("Command2"));  // Cancel
  });
  Click(*form_->cmdMultiAdd);
  EXPECT_EQ(Rows(), 2);
  EXPECT_EQ(script->MsgBoxes().back().prompt,
            "A file named " + out + "/Clip3.wmv already exists.\r\nDo you want to replace it and all other files in this sequence?");
}

// A second Lotkiln ends at once: no window, the marker untouched, its path queued nowhere.
TEST(SecondInstance, EndsAtOnce) {
  const std::string folder = fixtures::ScratchFolder("instances");
  const std::string program = std::string(std::getenv("SUITE_BIN_DIR")) + "/Lotkiln";
  std::remove((folder + "/KilnhandRunning").c_str());
  setenv("SUITE_PROGRAM_FOLDER", folder.c_str(), 1);
  // Instance locks of this test's own: a Lotkiln that another test run on the machine started
  // holds the user's, and the first here would end as a second one.
  const char* userRuntime = std::getenv("XDG_RUNTIME_DIR");
  const std::string savedRuntime = userRuntime ? userRuntime : "";
  const std::string runtime = fixtures::ScratchFolder("instances-runtime");
  ::chmod(runtime.c_str(), 0700);
  setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
  const pid_t first = fork();
  if (first == 0) {
    execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  ASSERT_GT(first, 0);
  const std::string marker = folder + "/KilnhandRunning";
  // The first makes the marker, then writes its line: it is whole once it ends in a line break.
  std::string before;
  {
    HangGuard guard("the first Lotkiln's marker");
    while ((before = FileFound(marker) ? ReadAll(marker) : std::string()).empty() || before.back() != '\n')
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  std::remove(marker.c_str());  // the second must not make it again
  const std::string cmd = "'" + program + "' /nowhere/clip.avi";
  EXPECT_EQ(std::system(cmd.c_str()), 0);
  EXPECT_FALSE(FileFound(marker));
  kill(first, SIGTERM);
  int status = 0;
  waitpid(first, &status, 0);
  unsetenv("SUITE_PROGRAM_FOLDER");
  if (userRuntime) {
    setenv("XDG_RUNTIME_DIR", savedRuntime.c_str(), 1);
  } else {
    unsetenv("XDG_RUNTIME_DIR");
  }
  EXPECT_FALSE(before.empty());
}

// The report's OK restores the minimised main window and closes the report.
TEST_F(Lotkiln, ReportOkRestoresTheMainWindow) {
  FrmKilnhandIn& main = TheMainWindow();
  main.Show();
  main.WindowState(vbMinimized);
  ASSERT_EQ(main.WindowState(), vbMinimized);
  TheReport().Show();
  Click(*TheReport().FindControl("Command1"));
  EXPECT_EQ(main.WindowState(), vbNormal);
  EXPECT_FALSE(TheReport().IsLoaded());
  main.Unload();
}

}  // namespace

// Every window of the program as it loads: no caption needs more room than its control has.
TEST_F(Lotkiln, EveryWindowsCaptionsFitTheirControls) {
  ScriptScope script;
  EXPECT_EQ(fit::CutCaptions(*form_), std::vector<std::string>{}) << "FrmKilnhandIn";
  struct Case {
    const char* name;
    std::function<FormPtr<Form>()> make;
  };
  const Case cases[] = {
      {"FrmAddFiles", [] { return FormPtr<Form>(MakeForm<FrmAddFiles>().release()); }},
      {"frmReport", [] { return FormPtr<Form>(MakeForm<frmReport>().release()); }},
      {"frmBrowse", [] { return FormPtr<Form>(MakeForm<frmBrowse>().release()); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FormPtr<Form> f = c.make();
    f->Load();
    ASSERT_TRUE(f->IsLoaded());
    EXPECT_EQ(fit::CutCaptions(*f), std::vector<std::string>{});
    f->Unload();
  }
}
