// Tagswapper's window: the codes and codec names per generated movie, Change relabelling exactly
// the video stream's 8 bytes (standard layout, sound first, a longer stream header), the codec
// table's spellings, and files it must leave alone (no AVI, empty, cut short, read-only).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "Form1.h"
#include "avi_header_reader.h"
#include "caption_fit.h"
#include "core/msgbox.h"
#include "fixtures.h"
#include "forms/responder.h"
#include "scripted_responder.h"
#include "window_driver.h"

namespace fs = std::filesystem;
using fixtures::Kind;

namespace {

using Bytes = std::vector<uint8_t>;

void WriteBytes(const std::string& path, const Bytes& b) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

std::string At(const Bytes& b, size_t offset) {
  return offset + 4 <= b.size() ? std::string(reinterpret_cast<const char*>(b.data() + offset), 4) : "";
}

// The offsets where two files differ.
std::vector<size_t> Differences(const Bytes& a, const Bytes& b) {
  std::vector<size_t> d;
  for (size_t i = 0; i < std::min(a.size(), b.size()); ++i) {
    if (a[i] != b[i]) d.push_back(i);
  }
  return d;
}

std::vector<size_t> Range8(size_t handler, size_t compression) {
  std::vector<size_t> r;
  for (size_t i = 0; i < 4; ++i) r.push_back(handler + i);
  for (size_t i = 0; i < 4; ++i) r.push_back(compression + i);
  return r;
}

class Tagswapper : public ::testing::Test {
 protected:
  void SetUp() override {
    SetMsgBoxHandler([](const MsgBoxRequest& r) { return CurrentResponder()->MessageBox(r); });
    media_ = fixtures::ScratchFolder("media");
    work_ = fixtures::ScratchFolder("work");
  }
  void TearDown() override {
    f_.Unload();
    SetMsgBoxHandler(nullptr);
  }
  // A private copy of a fixture, so that changes never reach the next case.
  std::string Copy(Kind kind, const std::string& name, const fixtures::Options& o = {}) {
    const std::string source = fixtures::Make(kind, media_, o);
    const std::string target = work_ + "/" + name + fixtures::Extension(kind);
    fs::copy_file(source, target, fs::copy_options::overwrite_existing);
    fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write);
    return target;
  }
  // Opens the file through "Open" and its dialog.
  void Open(ScriptScope& script, const std::string& path) {
    script->AnswerDialog(DialogKind::Open, DialogAnswer::Ok(path));
    driver::Click(*f_.Command2);
  }
  void Change(int16_t option) {
    if (option >= 0) driver::Click(f_.Option2(option));
    driver::Click(*f_.Command4);
  }
  std::string media_, work_;
  Form1 f_;
};

TEST_F(Tagswapper, WindowAtStart) {
  f_.Show();
  EXPECT_EQ(f_.Caption(), "AVI Header-Writer");
  EXPECT_EQ(f_.ScaleWidth(), 5475);
  EXPECT_EQ(f_.ScaleHeight(), 3390);
  for (int16_t i = 0; i <= 2; ++i) EXPECT_FALSE(f_.Option2(i).Enabled());
  EXPECT_FALSE(f_.Command4->Enabled());
  EXPECT_TRUE(f_.Command2->Enabled());
  EXPECT_EQ(f_.Option2(1).Caption(), "DivX ;-) V3 Low");
}

// Each recognised codec: its name, its own option greyed; Change to another writes lower case
// into the stream header and upper case into the bitmap header, nothing else, and the movie
// still decodes with the new label.
TEST_F(Tagswapper, ChangeRelabelsExactlyTheEightBytes) {
  struct Case {
    Kind kind;
    const char* shown;
    int16_t own;        // the disabled option
    int16_t chosen;     // the option clicked
    const char* handler;
    const char* compression;
  };
  const Case cases[] = {
      {Kind::AviDiv3, "DivX ;-) V 3 Low", 1, 0, "mp43", "MP43"},
      {Kind::AviMp43, "Microsoft MPEG-4 V3", 0, 1, "div3", "DIV3"},
      {Kind::AviDiv3, "DivX ;-) V 3 Low", 1, 2, "ap41", "AP41"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(fixtures::Name(c.kind)) + " to " + c.handler);
    ScriptScope script;
    const std::string path = Copy(c.kind, fixtures::Name(c.kind) + "_" + c.handler);
    const Bytes before = fixtures::ReadFile(path);
    f_.Show();
    Open(script, path);
    EXPECT_EQ(f_.lblFileName->Caption(), path);
    EXPECT_EQ(f_.lblExp->Caption(), c.shown);
    EXPECT_EQ(f_.lblFourC(0).Caption(), At(before, 112));
    EXPECT_EQ(f_.lblFourC(1).Caption(), At(before, 188));
    for (int16_t i = 0; i <= 2; ++i) EXPECT_EQ(f_.Option2(i).Enabled(), i != c.own) << i;
    EXPECT_TRUE(f_.Command4->Enabled());
    Change(c.chosen);
    const Bytes after = fixtures::ReadFile(path);
    ASSERT_EQ(after.size(), before.size());
    for (size_t d : Differences(before, after)) {
      EXPECT_TRUE((d >= 112 && d < 116) || (d >= 188 && d < 192)) << "byte " << d << " changed";
    }
    EXPECT_EQ(At(after, 112), c.handler);
    EXPECT_EQ(At(after, 188), c.compression);
    EXPECT_EQ(f_.lblFourC(0).Caption(), c.handler) << "the file is shown again";
    EXPECT_FALSE(f_.Option2(c.chosen).Enabled()) << "the new codec's option is the greyed one";
    const fixtures::Probe probe = fixtures::RunFfprobe(path);
    ASSERT_TRUE(probe.ok) << probe.error;
    ASSERT_NE(probe.First("video"), nullptr);
    EXPECT_EQ(probe.First("video")->codecTag, c.compression);
    if (std::string(c.handler) != "ap41") {
      EXPECT_EQ(fixtures::DecodedFrameNumbers(path).size(), static_cast<size_t>(fixtures::FrameCount({})))
          << "the relabelled movie decodes";
    }
    EXPECT_TRUE(script->MsgBoxes().empty());
    f_.Unload();
  }
}

// Sound first and a 64-byte stream header: the video stream's own codes are read and written,
// wherever they lie, and no other byte changes.
TEST_F(Tagswapper, OtherLayoutsChangeOnlyTheVideoStreamsCodes) {
  for (Kind kind : {Kind::AviAudioFirst, Kind::AviLongStreamHeader, Kind::AviMjpegPcm}) {
    SCOPED_TRACE(fixtures::Name(kind));
    ScriptScope script;
    const std::string path = Copy(kind, fixtures::Name(kind) + "_layout");
    const Bytes before = fixtures::ReadFile(path);
    const auto at = FindAviCodeOffsets(before.data(), before.size());
    ASSERT_TRUE(at.has_value());
    if (kind == Kind::AviLongStreamHeader) {
      EXPECT_EQ(at->handler, 112);
      EXPECT_EQ(at->compression, 196) << "the bitmap header lies 8 bytes further on";
    }
    if (kind == Kind::AviAudioFirst) {
      EXPECT_GT(at->handler, 188);
    }
    f_.Show();
    Open(script, path);
    EXPECT_EQ(At(before, static_cast<size_t>(at->handler)), "MJPG");
    EXPECT_EQ(f_.lblFourC(0).Caption(), "") << "Motion JPEG is no codec of the table";
    EXPECT_FALSE(f_.Command4->Enabled());
    f_.WriteDiVx(path, "DIV3");
    const Bytes after = fixtures::ReadFile(path);
    ASSERT_EQ(after.size(), before.size());
    const std::vector<size_t> allowed = Range8(static_cast<size_t>(at->handler), static_cast<size_t>(at->compression));
    for (size_t d : Differences(before, after)) {
      EXPECT_NE(std::find(allowed.begin(), allowed.end(), d), allowed.end()) << "byte " << d << " changed";
    }
    EXPECT_EQ(At(after, static_cast<size_t>(at->handler)), "div3");
    EXPECT_EQ(At(after, static_cast<size_t>(at->compression)), "DIV3");
    const fixtures::Probe probe = fixtures::RunFfprobe(path);
    ASSERT_TRUE(probe.ok) << probe.error;
    ASSERT_NE(probe.First("video"), nullptr);
    EXPECT_EQ(probe.First("video")->codecTag, "DIV3");
    ASSERT_NE(probe.First("audio"), nullptr);
    EXPECT_EQ(probe.First("audio")->codecName, "pcm_s16le") << "the sound stream is untouched";
    f_.LoadFile(path);
    EXPECT_EQ(f_.lblExp->Caption(), "DivX ;-) V 3 Low");
    EXPECT_EQ(f_.lblFourC(0).Caption(), "div3");
    EXPECT_EQ(f_.lblFourC(1).Caption(), "DIV3");
    EXPECT_TRUE(f_.Command4->Enabled());
    f_.Unload();
  }
}

// The table's spellings: upper-case handlers, Angel Potion's version digit, unknown codes.
TEST_F(Tagswapper, CodecNamesFromTheHandlerCode) {
  struct Case {
    const char* handler;
    const char* shown;  // "" for an unknown code
    int16_t own;
  };
  const Case cases[] = {{"DIV3", "DivX ;-) V 3 Low", 1}, {"Mp43", "Microsoft MPEG-4 V3", 0},
                        {"ap42", "Angel Potion V2", 2},  {"AP4x", "Angel Potion Vx", 2},
                        {"div4", "", -1},                {"MJPG", "", -1}};
  const std::string base = Copy(Kind::AviMjpegPcm, "names");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.handler);
    ScriptScope script;
    Bytes b = fixtures::ReadFile(base);
    std::memcpy(b.data() + 112, c.handler, 4);
    const std::string path = work_ + "/names_" + c.handler + ".avi";
    WriteBytes(path, b);
    f_.LoadFile(path);
    EXPECT_EQ(f_.lblExp->Caption(), c.shown);
    if (c.own < 0) {
      EXPECT_EQ(f_.lblFourC(0).Caption(), "");
      EXPECT_EQ(f_.lblFourC(1).Caption(), "");
      EXPECT_FALSE(f_.Command4->Enabled());
      for (int16_t i = 0; i <= 2; ++i) EXPECT_FALSE(f_.Option2(i).Enabled());
    } else {
      EXPECT_EQ(f_.lblFourC(0).Caption(), c.handler);
      EXPECT_TRUE(f_.Command4->Enabled());
      for (int16_t i = 0; i <= 2; ++i) EXPECT_EQ(f_.Option2(i).Enabled(), i != c.own);
    }
    EXPECT_TRUE(script->MsgBoxes().empty());
  }
}

// Files that are no AVI with a video stream: the box, the display of an unknown code, and the
// file as it was. A cancelled dialog changes nothing.
TEST_F(Tagswapper, FilesThatAreNoAviWithVideo) {
  f_.Show();
  {
    ScriptScope script;
    const std::string good = Copy(Kind::AviDiv3, "shown");
    Open(script, good);
    script->AnswerDialog(DialogKind::Open, DialogAnswer::Cancel());
    driver::Click(*f_.Command2);
    EXPECT_EQ(f_.lblFileName->Caption(), good) << "a cancelled dialog changes nothing";
    EXPECT_EQ(f_.lblExp->Caption(), "DivX ;-) V 3 Low");
    ASSERT_EQ(script->Dialogs().size(), 2u);
    EXPECT_EQ(script->Dialogs()[1].filter, "AVI Movies(*.avi)|*.avi");
  }
  for (Kind kind : {Kind::WavAsAvi, Kind::TextAsAvi, Kind::EmptyFile, Kind::Wav}) {
    SCOPED_TRACE(fixtures::Name(kind));
    ScriptScope script;
    const std::string path = Copy(kind, fixtures::Name(kind) + "_bad");
    const Bytes before = fixtures::ReadFile(path);
    script->AnswerDialog(DialogKind::Open, DialogAnswer::Ok(path)).AnswerMsgBox(vbOK);
    driver::Click(*f_.Command2);
    ASSERT_EQ(script->MsgBoxes().size(), 1u);
    EXPECT_EQ(script->MsgBoxes()[0].prompt, "The file " + path + " is not an AVI file with a video stream.");
    EXPECT_EQ(script->MsgBoxes()[0].buttons, vbOKOnly);
    EXPECT_EQ(script->MsgBoxes()[0].title, "Tagswapper");
    EXPECT_EQ(f_.lblFileName->Caption(), path);
    EXPECT_EQ(f_.lblExp->Caption(), "");
    EXPECT_EQ(f_.lblFourC(0).Caption(), "");
    EXPECT_FALSE(f_.Command4->Enabled());
    driver::Click(*f_.Command4);  // disabled: nothing
    script->AnswerMsgBox(vbOK);
    f_.WriteDiVx(path, "MP43");
    EXPECT_EQ(script->MsgBoxes().size(), 2u);
    EXPECT_EQ(fixtures::ReadFile(path), before) << "the file is byte-identical";
  }
  {
    ScriptScope script;  // an AVI with sound only
    const std::string path = Copy(Kind::AviAudioFirst, "soundonly");
    Bytes b = fixtures::ReadFile(path);
    // Relabel the "vids" stream type as "txts": no stream is video any more.
    int relabelled = 0;
    for (size_t i = 0; i + 4 <= b.size(); ++i) {
      if (std::memcmp(b.data() + i, "movi", 4) == 0) break;
      if (std::memcmp(b.data() + i, "vids", 4) == 0) std::memcpy(b.data() + i, "txts", 4), ++relabelled;
    }
    ASSERT_GT(relabelled, 0);
    WriteBytes(path, b);
    script->AnswerMsgBox(vbOK);
    f_.LoadFile(path);
    EXPECT_EQ(script->MsgBoxes().size(), 1u);
    EXPECT_EQ(fixtures::ReadFile(path), b);
  }
  {
    ScriptScope script;  // headers cut short
    const std::string path = Copy(Kind::AviDiv3, "cut");
    fs::resize_file(path, 150);
    const Bytes before = fixtures::ReadFile(path);
    script->AnswerMsgBox(vbOK);
    f_.LoadFile(path);
    EXPECT_EQ(script->MsgBoxes().size(), 1u);
    EXPECT_EQ(fixtures::ReadFile(path), before);
  }
}

TEST_F(Tagswapper, ChangeWithoutAChoiceOrAFile) {
  ScriptScope script;
  const std::string path = Copy(Kind::AviDiv3, "nochoice");
  f_.Show();
  driver::Click(*f_.Command4);  // nothing loaded: disabled
  Open(script, path);
  script->AnswerMsgBox(vbOK);
  Change(-1);
  ASSERT_EQ(script->MsgBoxes().size(), 1u);
  EXPECT_EQ(script->MsgBoxes()[0].prompt, "Please select an option");
  EXPECT_EQ(script->MsgBoxes()[0].title, "Tagswapper");
  fs::remove(path);
  driver::Click(f_.Option2(0));
  driver::Click(*f_.Command4);  // the file went away: nothing happens, nothing is made
  EXPECT_FALSE(fs::exists(path));
  f_.WriteDiVx(path, "XVID");  // no such code: nothing
  EXPECT_FALSE(fs::exists(path));
}

// A file that cannot be opened for writing: the box with the system's reason, nothing written.
TEST_F(Tagswapper, ReadOnlyFileIsLeftAlone) {
  ScriptScope script;
  const std::string path = Copy(Kind::AviDiv3, "readonly");
  const Bytes before = fixtures::ReadFile(path);
  fs::permissions(path, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  bool immutable = false;
  if (::access(path.c_str(), W_OK) == 0) {
    // The super-user writes through permissions: make the file immutable instead.
    immutable = fixtures::SetImmutable(path, true);
    if (!immutable) GTEST_SKIP() << "no way to make a file unwritable here";
  }
  f_.Show();
  Open(script, path);
  script->AnswerMsgBox(vbOK);
  Change(0);
  ASSERT_EQ(script->MsgBoxes().size(), 1u);
  EXPECT_EQ(script->MsgBoxes()[0].prompt.rfind("The file " + path + " could not be changed: ", 0), 0u)
      << script->MsgBoxes()[0].prompt;
  EXPECT_GT(script->MsgBoxes()[0].prompt.size(), ("The file " + path + " could not be changed: ").size());
  EXPECT_EQ(fixtures::ReadFile(path), before);
  EXPECT_EQ(f_.lblExp->Caption(), "DivX ;-) V 3 Low") << "shown again, unchanged";
  if (immutable) fixtures::SetImmutable(path, false);
}

// Links in a shared sticky folder: one the user made is followed, as the system follows it for a
// writer; one planted there by another user is refused with a box and its target stays as it was.
TEST_F(Tagswapper, ChangeFollowsOnlyLinksTheSystemFollowsForAWriter) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs to give a link to another user";
  constexpr uid_t kOtherUser = 65534;
  const std::string shared = work_ + "/shared";
  fs::create_directories(shared);
  ::chmod(shared.c_str(), 01777);
  struct Case {
    const char* name;
    uid_t owner;
    bool followed;
  } cases[] = {{"mine", ::geteuid(), true}, {"planted", kOtherUser, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptScope script;
    const std::string target = Copy(Kind::AviDiv3, std::string(c.name) + "-target");
    const Bytes before = fixtures::ReadFile(target);
    const std::string link = shared + "/" + c.name + ".avi";
    fs::remove(link);
    fs::create_symlink(target, link);
    ASSERT_EQ(::lchown(link.c_str(), c.owner, c.owner), 0);
    f_.Show();
    Open(script, link);
    EXPECT_EQ(f_.lblExp->Caption(), "DivX ;-) V 3 Low");
    if (!c.followed) script->AnswerMsgBox(vbOK);
    Change(0);
    const Bytes after = fixtures::ReadFile(target);
    if (c.followed) {
      EXPECT_EQ(At(after, 112), "mp43");
      EXPECT_EQ(script->MsgBoxes().size(), 0u);
    } else {
      EXPECT_EQ(after, before);
      ASSERT_EQ(script->MsgBoxes().size(), 1u);
      EXPECT_EQ(script->MsgBoxes()[0].prompt.rfind("The file " + link + " could not be changed: ", 0), 0u)
          << script->MsgBoxes()[0].prompt;
    }
    EXPECT_TRUE(fs::is_symlink(link));
  }
}

}  // namespace

// The window as it loads: no caption needs more room than its control has.
TEST_F(Tagswapper, CaptionsFitTheirControls) {
  f_.Load();
  EXPECT_EQ(fit::CutCaptions(f_), std::vector<std::string>{});
}
