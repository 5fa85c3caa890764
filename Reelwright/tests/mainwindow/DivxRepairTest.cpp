// The DivX check and repair of the preview pane: which graphs are questioned, the question, the
// repaired copy (its name, its two codes where the headers really hold them, the original left
// alone, bad input refused without damage) and the notice window with its setting.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <optional>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "PrivateRegistry.h"
#include "avi_header_reader.h"
#include "com/com.h"
#include "dshow/dshow.h"
#include "fixtures.h"
#include "hang_guard.h"
#include "forms/app.h"
#include "mainwindow/FormInstances.h"
#include "mainwindow/modDivx.h"
#include "registry/settings.h"
#include "scripted_responder.h"
#include "window_driver.h"
#include "windows/frmDivx.h"

namespace fs = std::filesystem;
using fixtures::Kind;
using modDivx::DivxVerdict;

namespace {

std::string Folder(const std::string& sub) {
  std::string f = fixtures::ScratchFolder("divx/" + sub);
  fs::remove_all(f);
  fs::create_directories(f);
  return f;
}

ComPtr<IMediaControl> Rendered(const std::string& path) {
  ComPtr<IMediaControl> g;
  EXPECT_EQ(CoCreateInstance(CLSID_FilgraphManager, nullptr, CLSCTX_INPROC_SERVER, IMediaControl::iid, g.put_void()),
            S_OK);
  if (g) {
    EXPECT_TRUE(SUCCEEDED(g->RenderFile(Bstr(path)))) << path;
  }
  return g;
}

// The same DIV3 movie with the sound as its first stream, remuxed by the ffmpeg program.
std::string Div3AudioFirst(const std::string& folder) {
  std::string video = fixtures::Make(Kind::AviDiv3, folder);
  std::string out = folder + "/audiofirst.avi";
  std::string command = "ffmpeg -loglevel error -y -i '" + video + "' -map 0:a -map 0:v -c copy -tag:v DIV3 '" + out + "'";
  EXPECT_EQ(std::system(command.c_str()), 0) << command;
  return out;
}

std::vector<std::string> FolderEntries(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace

TEST(DivxRepairCopy, UnderscoreWzGoesBeforeTheFileNamesExtension) {
  const struct {
    const char* path;
    const char* copy;
  } cases[] = {
      {"/v/clips/party.avi", "/v/clips/party_wz.avi"},
      {"/v/clips/party_wz.avi", "/v/clips/party_wz_wz.avi"},
      {"/v/clips.old/party", "/v/clips.old/party_wz"},  // a "." of the folder is not the extension
      {"/v/a.b.AVI", "/v/a.b_wz.AVI"},
      {"party", "party_wz"},
      {"party.avi", "party_wz.avi"},
  };
  for (const auto& c : cases) EXPECT_EQ(modDivx::DivxRepairCopy(c.path), c.copy) << c.path;
}

TEST(DivxCheck, TheFirstDivxFilterOfTheGraphDecides) {
  const std::string plain = Folder("check");
  const std::string divxFolder = Folder("check/divx-clips");
  const struct {
    Kind kind;
    std::string folder;
    DivxVerdict verdict;
  } cases[] = {
      {Kind::AviDiv3, plain, DivxVerdict::Illegal},           // an illegal DivX decoder
      {Kind::AviDx50, plain, DivxVerdict::Genuine},           // "DivX Decoder Filter"
      {Kind::AviMp43, plain, DivxVerdict::NoCandidate},       // the repaired kind
      {Kind::AviMjpegPcm, divxFolder, DivxVerdict::NoCandidate},  // only the source's path says divx
  };
  for (const auto& c : cases) {
    std::string path = fixtures::Make(c.kind, c.folder);
    ComPtr<IMediaControl> graph = Rendered(path);
    ASSERT_TRUE(graph);
    EXPECT_EQ(modDivx::CheckDivxFilters(graph.Get(), path), c.verdict) << fixtures::Name(c.kind) << " " << path;
    // The source's name is compared without letter case.
    std::string upper = path;
    for (char& ch : upper) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    EXPECT_EQ(modDivx::CheckDivxFilters(graph.Get(), upper), c.verdict) << path;
  }
  EXPECT_THROW(modDivx::CheckDivxFilters(nullptr, "x"), VBError);
}

TEST(DivxCheck, TheQuestionAndItsAnswers) {
  for (int answer : {vbYes, vbNo}) {
    ScriptScope script;
    script->AnswerMsgBox(answer);
    EXPECT_EQ(modDivx::AskDivxRepair(), answer == vbYes);
    ASSERT_EQ(script->MsgBoxes().size(), 1u);
    EXPECT_EQ(script->MsgBoxes()[0].prompt,
              "This clip uses an illegal DivX codec that may cause serious problems with DirectX if left as is.\r\n"
              "Converting the header to MPEG-4 will allow it to work in DirectX 90% of the time.\r\n"
              "Do you want to try to convert it to MPEG-4?");
    EXPECT_EQ(script->MsgBoxes()[0].buttons, vbYesNo | vbCritical);
  }
}

// The copy of a DIV3 movie (video first, sound first): tagged MP43, decodable, the same streams;
// the original unchanged; the two differ in the two codes only.
TEST(DivxRepair, TheCopyNamesMp43WhereTheHeadersHoldTheCodes) {
  const std::string folder = Folder("repair");
  const std::vector<std::string> originals = {fixtures::Make(Kind::AviDiv3, folder), Div3AudioFirst(folder)};
  for (const std::string& original : originals) {
    SCOPED_TRACE(original);
    const std::vector<uint8_t> before = fixtures::ReadFile(original);
    std::optional<AviCodeOffsets> at = FindAviCodeOffsetsInFile(original);
    ASSERT_TRUE(at);
    const std::string copy = modDivx::DivxRepairCopy(original);
    ASSERT_TRUE(modDivx::MakeDivxRepairCopy(original, copy));

    EXPECT_EQ(fixtures::ReadFile(original), before) << "the original was written";
    const std::vector<uint8_t> after = fixtures::ReadFile(copy);
    ASSERT_EQ(after.size(), before.size());
    for (size_t i = 0; i < before.size(); ++i) {
      const bool handler = static_cast<int64_t>(i) >= at->handler && static_cast<int64_t>(i) < at->handler + 4;
      const bool compression =
          static_cast<int64_t>(i) >= at->compression && static_cast<int64_t>(i) < at->compression + 4;
      if (!handler && !compression) {
        ASSERT_EQ(after[i], before[i]) << "byte " << i;
      }
    }
    EXPECT_EQ(std::string(after.begin() + at->handler, after.begin() + at->handler + 4), "mp43");
    EXPECT_EQ(std::string(after.begin() + at->compression, after.begin() + at->compression + 4), "MP43");

    fixtures::Probe was = fixtures::RunFfprobe(original);
    fixtures::Probe now = fixtures::RunFfprobe(copy);
    ASSERT_TRUE(was.ok) << was.error;
    ASSERT_TRUE(now.ok) << now.error;
    ASSERT_EQ(now.streams.size(), was.streams.size());
    ASSERT_TRUE(now.First("video") && now.First("audio"));
    EXPECT_EQ(was.First("video")->codecTag, "DIV3");
    EXPECT_EQ(now.First("video")->codecTag, "MP43");
    EXPECT_EQ(now.First("video")->frames, was.First("video")->frames);
    EXPECT_EQ(now.First("video")->width, was.First("video")->width);
    EXPECT_EQ(now.First("audio")->codecName, was.First("audio")->codecName);
    EXPECT_EQ(now.First("audio")->sampleRate, was.First("audio")->sampleRate);
    EXPECT_EQ(now.First("audio")->channels, was.First("audio")->channels);
    EXPECT_EQ(fixtures::DecodedFrameNumbers(copy), fixtures::DecodedFrameNumbers(original));

    // The copy decodes through a decoder that is not questioned.
    ComPtr<IMediaControl> graph = Rendered(copy);
    ASSERT_TRUE(graph);
    EXPECT_EQ(modDivx::CheckDivxFilters(graph.Get(), copy), DivxVerdict::NoCandidate);
  }
  // Nothing but the originals, the copies and the remuxer's source is left in the folder.
  for (const std::string& name : FolderEntries(folder)) EXPECT_NE(name[0], '.') << name;
}

TEST(DivxRepair, AnOlderCopyIsReplacedOnlyByAFinishedOne) {
  const std::string folder = Folder("older");
  const std::string original = fixtures::Make(Kind::AviDiv3, folder);
  const std::string copy = modDivx::DivxRepairCopy(original);
  std::ofstream(copy) << "an older copy";
  ASSERT_TRUE(modDivx::MakeDivxRepairCopy(original, copy));
  EXPECT_EQ(fixtures::RunFfprobe(copy).First("video")->codecTag, "MP43");

  // A source whose headers cannot be read leaves the copy there as it was.
  const std::string text = fixtures::Make(Kind::TextAsAvi, folder);
  const std::vector<uint8_t> kept = fixtures::ReadFile(copy);
  EXPECT_FALSE(modDivx::MakeDivxRepairCopy(text, copy));
  EXPECT_EQ(fixtures::ReadFile(copy), kept);
}

TEST(DivxRepair, BadInputLeavesNoFileAndTheOriginalAsItWas) {
  const std::string folder = Folder("bad");
  struct Case {
    std::string name;
    std::string original;
    std::string copy;
  };
  std::vector<Case> cases;
  for (Kind kind : {Kind::TextAsAvi, Kind::EmptyFile, Kind::WavAsAvi}) {
    std::string path = fixtures::Make(kind, folder);
    cases.push_back({fixtures::Name(kind), path, modDivx::DivxRepairCopy(path)});
  }
  // A DIV3 movie cut inside its header list.
  const std::string div3 = fixtures::Make(Kind::AviDiv3, folder);
  {
    std::vector<uint8_t> bytes = fixtures::ReadFile(div3);
    bytes.resize(150);
    std::ofstream(folder + "/cut.avi", std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), 150);
    cases.push_back({"cut", folder + "/cut.avi", folder + "/cut_wz.avi"});
  }
  // A sound DIV3 movie whose copy's name is held by a folder.
  fs::create_directories(modDivx::DivxRepairCopy(div3));
  cases.push_back({"folder holds the name", div3, modDivx::DivxRepairCopy(div3)});
  // A missing original.
  cases.push_back({"missing", folder + "/missing.avi", folder + "/missing_wz.avi"});

  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<uint8_t> before = fixtures::ReadFile(c.original);
    const std::vector<std::string> entries = FolderEntries(folder);
    EXPECT_FALSE(modDivx::MakeDivxRepairCopy(c.original, c.copy));
    EXPECT_EQ(fixtures::ReadFile(c.original), before);
    EXPECT_EQ(FolderEntries(folder), entries) << "a file was left behind";
  }
  EXPECT_TRUE(fs::is_directory(modDivx::DivxRepairCopy(div3)));
}

// An original that is no file (a FIFO, a device, a folder): the copy is refused at once, and no
// side file stays beside the copy's name; one that a killed repair left is removed.
TEST(DivxRepair, AnOriginalThatIsNoFileIsRefusedWithoutWaiting) {
  const std::string folder = Folder("nofile");
  const std::string fifo = folder + "/x.avi";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  fs::create_directories(folder + "/dir.avi");
  const pid_t child = ::fork();
  if (child == 0) ::_exit(0);
  ::waitpid(child, nullptr, 0);
  const std::string killed = folder + "/.x_wz.avi.repair-" + std::to_string(child) + "-1";
  std::ofstream(killed) << "half";
  for (const std::string& original : {fifo, std::string("/dev/zero"), folder + "/dir.avi"}) {
    SCOPED_TRACE(original);
    {
      HangGuard guard("the repair copy of " + original);
      EXPECT_FALSE(modDivx::MakeDivxRepairCopy(original, folder + "/x_wz.avi"));
    }
    EXPECT_EQ(FolderEntries(folder), (std::vector<std::string>{"dir.avi", "x.avi"})) << "a file was left behind";
  }
}

class DivxNotice : public PrivateRegistry {
 protected:
  std::string Stored() { return GetSetting("Reelwright", "Init", "DivXMessage", "(none)"); }
};

TEST_F(DivxNotice, TheWindowAsDesigned) {
  frmDivx& f = DefaultForm<frmDivx>();
  f.Load();
  EXPECT_EQ(f.Caption(), "DivX to MPEG Conversion");
  EXPECT_EQ(f.Label2->Caption(), "The new, repaired file: ");
  EXPECT_EQ(f.Label3->Caption(), "will replace the original in your storyboard.");
  EXPECT_EQ(f.Label5->Caption(),
            "If the repaired file generates an error or does not play, try repairing it with VirtualDub from the main "
            "menu.");
  EXPECT_EQ(f.Check1->Caption(), "Don't show this screen in the future.");
  EXPECT_EQ(f.Command1->Caption(), "OK");
  EXPECT_FALSE(f.Check1->Visible());
  EXPECT_EQ(f.Check1->Value(), vbUnchecked);
  for (Label* l : {&*f.Label1, &*f.Label2, &*f.Label3, &*f.Label4, &*f.Label5}) {
    EXPECT_FLOAT_EQ(l->Font().Size, 9.75f) << l->Name();
    EXPECT_EQ(l->Font().Bold, l == &*f.Label5) << l->Name();
  }
  EXPECT_NEAR(f.Top(), Screen().Height() / 2.0 - f.Height() / 2.0, 15);
  EXPECT_NEAR(f.Left(), Screen().Width() / 2.0 - f.Width() / 2.0, 15);
  f.Unload();
}

TEST_F(DivxNotice, ShownUnlessHiddenAndATickIsStored) {
  enum class Close { Ok, CloseBox };
  const struct {
    const char* setting;  // nullptr: no value
    std::vector<int> clicks;  // how often the box is clicked
    Close close;
    bool shown;
    const char* stored;
  } cases[] = {
      {nullptr, {}, Close::Ok, true, "(none)"},
      {nullptr, {1}, Close::Ok, true, "Hide"},
      {nullptr, {1, 1}, Close::Ok, true, "(none)"},  // ticked and unticked
      {"Show", {1}, Close::CloseBox, true, "Hide"},  // the close box keeps the tick
      {"hide", {}, Close::Ok, false, "hide"},
      {"HIDE", {}, Close::Ok, false, "HIDE"},
  };
  const std::string copy = "/v/clips/party_wz.avi";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.setting ? c.setting : "(none)");
    if (Stored() != "(none)") DeleteSetting("Reelwright", "Init", "DivXMessage");
    if (c.setting) SaveSetting("Reelwright", "Init", "DivXMessage", c.setting);
    DivxMessageHidden = true;
    int shows = 0;
    auto watch = driver::WhenShownModally("frmDivx", [&](Form& form) {
      ++shows;
      auto& f = static_cast<frmDivx&>(form);
      EXPECT_EQ(f.Label1->Caption(), copy);
      EXPECT_TRUE(f.Check1->Visible());
      EXPECT_FALSE(DivxMessageHidden);
      for (size_t i = 0; i < c.clicks.size(); ++i) driver::Click(*f.Check1);
      if (c.close == Close::Ok) {
        driver::Click(*f.Command1);
      } else {
        f.Unload();
      }
    });
    modDivx::ShowDivxNotice(copy);
    EXPECT_EQ(shows, c.shown ? 1 : 0);
    EXPECT_EQ(Stored(), c.stored);
    EXPECT_FALSE(DefaultForm<frmDivx>().IsLoaded());
  }
}
