// The encoder object: profiles, sources, refusals, the run's states and the files it writes.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "com/com.h"
#include "com/connection.h"
#include "com/dispatch.h"
#include "com/interfaces.h"
#include "core/error.h"
#include "fixtures.h"
#include "hang_guard.h"
#include "forms/app.h"
#include "registry/registry.h"
#include "wmenc/wmenc.h"

namespace {

ComPtr<IWMEncoder> NewEncoder() {
  ComPtr<IWMEncoder> enc;
  EXPECT_EQ(CoCreateInstance(CLSID_WMEncoder, nullptr, CLSCTX_INPROC_SERVER, IWMEncoder::iid, enc.put_void()), S_OK);
  return enc;
}

ComPtr<IWMEncProfile> ProfileNamed(IWMEncoder* enc, const std::string& name) {
  ComPtr<IWMEncProfileCollection> col;
  enc->get_ProfileCollection(col.put());
  int32_t n = 0;
  col->get_Count(&n);
  for (int32_t i = 0; i < n; ++i) {
    ComPtr<IWMEncProfile> p;
    Bstr b;
    col->Item(i, p.put());
    p->get_Name(&b);
    if (b.Utf8() == name) return p;
  }
  return nullptr;
}

std::string ErrorText() {
  ComPtr<IErrorInfo> info;
  if (GetErrorInfo(0, info.put()) != S_OK || !info) return {};
  Bstr d;
  info->GetDescription(&d);
  return d.Utf8();
}

// An encoder set up for one file: group "Main" with the source, the profile and the output.
struct Rig {
  ComPtr<IWMEncoder> enc = NewEncoder();
  ComPtr<IWMEncSourceGroup> group;
  HRESULT Prepare(const std::string& source, const std::string& profile, const std::string& output) {
    ComPtr<IWMEncSourceGroupCollection> groups;
    enc->get_SourceGroupCollection(groups.put());
    groups->Add(Bstr("Main"), group.put());
    if (HRESULT hr = group->AutoSetFileSource(Bstr::FromUtf8(source)); FAILED(hr)) return hr;
    if (!profile.empty()) group->put_Profile(Variant(static_cast<IDispatch*>(ProfileNamed(enc.Get(), profile).Get())));
    ComPtr<IWMEncFile> file;
    enc->get_File(file.put());
    file->put_LocalFileName(Bstr::FromUtf8(output));
    return S_OK;
  }
  int32_t State() {
    int32_t s = 0;
    enc->get_RunState(&s);
    return s;
  }
  // Lets messages run until the encoder reports the stopped state.
  void WaitStopped() {
    for (long i = 0; i < 20000000 && State() != WMENC_ENCODER_STOPPED; ++i) {
      DoEvents();
      std::this_thread::yield();
    }
    ASSERT_EQ(State(), WMENC_ENCODER_STOPPED);
  }
};

std::string Scratch(const std::string& sub) { return fixtures::ScratchFolder(sub); }

class Encoder : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    DoEvents();  // the window system, for the encoder's message window
    fixtures::Options o;
    o.seconds = 2.0;
    movie_ = new std::string(fixtures::Make(fixtures::Kind::AviMjpegPcm, Scratch("src a ü;b"), o));
    o.audio = false;
    silent_ = new std::string(fixtures::Make(fixtures::Kind::AviMjpegPcm, Scratch("silent"), o));
    sound_ = new std::string(fixtures::Make(fixtures::Kind::Wav, Scratch("src a ü;b")));
  }
  static std::string* movie_;
  static std::string* silent_;
  static std::string* sound_;
};
std::string* Encoder::movie_ = nullptr;
std::string* Encoder::silent_ = nullptr;
std::string* Encoder::sound_ = nullptr;

TEST_F(Encoder, OffersTheProfilesInOrder) {
  auto enc = NewEncoder();
  ComPtr<IWMEncProfileCollection> col;
  ASSERT_EQ(enc->get_ProfileCollection(col.put()), S_OK);
  struct Row {
    const char* name;
    int16_t audio, video;
  };
  const Row rows[] = {{"WM8 Video for LAN Delivery (100Kbps, 240x180, 15fps)", 1, 1},
                      {"Wz Movie Tools 320X240", 1, 1},
                      {"Wz Movie Tools 640X480", 1, 1},
                      {"Wz Video Only 320X240", 0, 1},
                      {"Wz Audio 64Kbps (44 kHz, stereo)", 1, 0},
                      {"Wz Audio 32Kbps (22 kHz, mono)", 1, 0}};
  int32_t n = 0;
  col->get_Count(&n);
  ASSERT_EQ(n, 6);
  for (int32_t i = 0; i < n; ++i) {
    ComPtr<IWMEncProfile> p;
    ASSERT_EQ(col->Item(i, p.put()), S_OK);
    Bstr name;
    p->get_Name(&name);
    int16_t a = -1, v = -1;
    p->get_MediaCount(WMENC_AUDIO, &a);
    p->get_MediaCount(WMENC_VIDEO, &v);
    EXPECT_EQ(name.Utf8(), rows[i].name);
    EXPECT_EQ(a, rows[i].audio) << rows[i].name;
    EXPECT_EQ(v, rows[i].video) << rows[i].name;
  }
  ComPtr<IWMEncProfile> none;
  EXPECT_TRUE(FAILED(col->Item(6, none.put())));
}

TEST_F(Encoder, LateBoundMembersFollowTheTypeDescription) {
  auto enc = NewEncoder();
  EXPECT_EQ(CallByName(enc.Get(), "RunState", DISPATCH_PROPERTYGET).i4(), 5);
  Variant profiles = CallByName(enc.Get(), "ProfileCollection", DISPATCH_PROPERTYGET);
  EXPECT_EQ(CallByName(profiles.pdisp(), "Count", DISPATCH_PROPERTYGET).i4(), 6);
  Variant first = CallByName(profiles.pdisp(), "Item", DISPATCH_METHOD, {Variant(int32_t{0})});
  EXPECT_EQ(CallByName(first.pdisp(), "Name", DISPATCH_PROPERTYGET).bstr().Utf8(),
            "WM8 Video for LAN Delivery (100Kbps, 240x180, 15fps)");
  Variant groups = CallByName(enc.Get(), "SourceGroupCollection", DISPATCH_PROPERTYGET);
  Variant group = CallByName(groups.pdisp(), "Add", DISPATCH_METHOD, {Variant("Kilnhand")});
  CallByName(group.pdisp(), "AutoSetFileSource", DISPATCH_METHOD, {Variant(*movie_)});
  EXPECT_EQ(CallByName(group.pdisp(), "SourceCount", DISPATCH_PROPERTYGET, {Variant(int16_t{1})}).i2(), 1);
  CallByName(group.pdisp(), "Profile", DISPATCH_PROPERTYPUT, {first});
  Variant again = CallByName(groups.pdisp(), "Item", DISPATCH_METHOD, {Variant(int32_t{0})});
  EXPECT_EQ(CallByName(again.pdisp(), "Name", DISPATCH_PROPERTYGET).bstr().Utf8(), "Kilnhand");
  Variant file = CallByName(enc.Get(), "File", DISPATCH_PROPERTYGET);
  CallByName(file.pdisp(), "LocalFileName", DISPATCH_PROPERTYPUT, {Variant("/tmp/x.wmv")});
  EXPECT_EQ(CallByName(file.pdisp(), "LocalFileName", DISPATCH_PROPERTYGET).bstr().Utf8(), "/tmp/x.wmv");
  // A missing source raises the encoder's own number and description.
  try {
    CallByName(group.pdisp(), "AutoSetFileSource", DISPATCH_METHOD, {Variant("/no/such/file.avi")});
    ADD_FAILURE() << "no error";
  } catch (const VBError& e) {
    EXPECT_EQ(static_cast<uint32_t>(e.Number()), 0xC00D1B71u);
    EXPECT_NE(e.Description().find("/no/such/file.avi"), std::string::npos) << e.Description();
  }
}

TEST_F(Encoder, SourcesCountTheirStreams) {
  const std::string folder = Scratch("sources");
  const std::string hidden = folder + "/.hidden.avi";
  std::ofstream(hidden) << "x";
  struct Case {
    std::string path;
    HRESULT hr;
    int16_t audio, video;
  };
  const Case cases[] = {{*movie_, S_OK, 1, 1},
                        {*silent_, S_OK, 0, 1},
                        {*sound_, S_OK, 1, 0},
                        {fixtures::Make(fixtures::Kind::Bmp, folder), S_OK, 0, 1},
                        {fixtures::Make(fixtures::Kind::TextAsAvi, folder), S_OK, 0, 0},
                        {folder + "/missing.avi", WMENC_E_SOURCE_NOT_FOUND, 0, 0},
                        {folder, WMENC_E_SOURCE_NOT_FOUND, 0, 0},
                        {"", WMENC_E_SOURCE_NOT_FOUND, 0, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    auto enc = NewEncoder();
    ComPtr<IWMEncSourceGroupCollection> groups;
    enc->get_SourceGroupCollection(groups.put());
    ComPtr<IWMEncSourceGroup> g;
    groups->Add(Bstr("SrcList"), g.put());
    EXPECT_EQ(g->AutoSetFileSource(Bstr::FromUtf8(c.path)), c.hr);
    if (FAILED(c.hr)) {
      EXPECT_NE(ErrorText(), "");
    }
    int16_t a = -1, v = -1;
    g->get_SourceCount(WMENC_AUDIO, &a);
    g->get_SourceCount(WMENC_VIDEO, &v);
    EXPECT_EQ(a, c.audio);
    EXPECT_EQ(v, c.video);
  }
}

// Every profile writes what it promises: ASF, WMV8 at its size and rate, WMA2 at its rate and
// channels, as long as the source.
TEST_F(Encoder, EachProfileWritesItsStreams) {
  struct Case {
    const char* profile;
    int width, height, fps, sampleRate, channels;
  };
  const Case cases[] = {{"WM8 Video for LAN Delivery (100Kbps, 240x180, 15fps)", 240, 180, 15, 22050, 1},
                        {"Wz Movie Tools 320X240", 320, 240, 25, 44100, 2},
                        {"Wz Movie Tools 640X480", 640, 480, 25, 44100, 2},
                        {"Wz Video Only 320X240", 320, 240, 25, 0, 0},
                        {"Wz Audio 64Kbps (44 kHz, stereo)", 0, 0, 0, 44100, 2},
                        {"Wz Audio 32Kbps (22 kHz, mono)", 0, 0, 0, 22050, 1}};
  const std::string out = Scratch("out ü;x");
  int i = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.profile);
    Rig s;
    std::string target = out + "/clip " + std::to_string(i++) + (c.width ? ".wmv" : ".wma");
    ASSERT_EQ(s.Prepare(*movie_, c.profile, target), S_OK);
    ASSERT_EQ(s.enc->Start(), S_OK) << ErrorText();
    EXPECT_EQ(s.State(), WMENC_ENCODER_RUNNING);
    s.WaitStopped();
    int32_t err = -1;
    s.enc->get_ErrorState(&err);
    EXPECT_EQ(err, 0);
    fixtures::Probe p = fixtures::RunFfprobe(target);
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_EQ(p.formatName, "asf");
    EXPECT_NEAR(p.duration, 2.0, 0.3);
    const fixtures::ProbedStream* v = p.First("video");
    const fixtures::ProbedStream* a = p.First("audio");
    ASSERT_EQ(v != nullptr, c.width > 0);
    ASSERT_EQ(a != nullptr, c.sampleRate > 0);
    if (v) {
      EXPECT_EQ(v->codecName, "wmv2");
      EXPECT_EQ(v->width, c.width);
      EXPECT_EQ(v->height, c.height);
      EXPECT_NEAR(v->frameRate, c.fps, 0.01);
      EXPECT_NEAR(static_cast<double>(v->frames), 2.0 * c.fps, 1.0);
    }
    if (a) {
      EXPECT_EQ(a->codecName, "wmav2");
      EXPECT_EQ(a->sampleRate, c.sampleRate);
      EXPECT_EQ(a->channels, c.channels);
    }
  }
}

TEST_F(Encoder, FramesKeepTheirOrderAcrossRates) {
  Rig s;
  const std::string target = Scratch("rates") + "/lan.wmv";
  ASSERT_EQ(s.Prepare(*movie_, "WM8 Video for LAN Delivery (100Kbps, 240x180, 15fps)", target), S_OK);
  ASSERT_EQ(s.enc->Start(), S_OK);
  s.WaitStopped();
  std::vector<int> got = fixtures::DecodedFrameNumbers(target);
  ASSERT_EQ(got.size(), 30u);
  for (size_t n = 0; n < got.size(); ++n) EXPECT_EQ(got[n], static_cast<int>(n * 25 / 15)) << "frame " << n;
  // 25 to 25 keeps every frame.
  Rig t;
  const std::string same = Scratch("rates") + "/same.wmv";
  ASSERT_EQ(t.Prepare(*silent_, "Wz Video Only 320X240", same), S_OK);
  ASSERT_EQ(t.enc->Start(), S_OK);
  t.WaitStopped();
  got = fixtures::DecodedFrameNumbers(same);
  ASSERT_EQ(got.size(), 50u);
  for (size_t n = 0; n < got.size(); ++n) EXPECT_EQ(got[n], static_cast<int>(n)) << "frame " << n;
}

// Every decoded picture of the source takes its own output slot, in order, none twice: also the
// last pictures of MPEG streams (which carry no time stamp) and B-frame movies in AVI (whose
// first picture is stamped one frame late).
TEST_F(Encoder, EveryFrameOfTheSourceTakesOneSlot) {
  const fixtures::Kind kinds[] = {fixtures::Kind::Mpeg1Ps, fixtures::Kind::Mpeg2Ps, fixtures::Kind::MpegTs,
                                  fixtures::Kind::AviMpeg4BFrames};
  fixtures::Options o;
  o.seconds = 5.0;  // 125 frames at 25 a second
  for (fixtures::Kind kind : kinds) {
    SCOPED_TRACE(fixtures::Name(kind));
    const std::string folder = Scratch("slots " + fixtures::Name(kind));
    const std::string source = fixtures::Make(kind, folder, o);
    const std::vector<int> want = fixtures::DecodedFrameNumbers(source);
    ASSERT_EQ(want.size(), 125u);
    Rig s;
    const std::string target = folder + "/out.wmv";
    ASSERT_EQ(s.Prepare(source, "Wz Video Only 320X240", target), S_OK);
    ASSERT_EQ(s.enc->Start(), S_OK);
    s.WaitStopped();
    const std::vector<int> got = fixtures::DecodedFrameNumbers(target);
    EXPECT_EQ(got, want);
  }
}

// A source whose reading fails part-way (a list whose second part is gone) fails the run with
// its own code: no shorter file is made, an older file of the name stays, no side file is left.
TEST_F(Encoder, AReadErrorFailsTheRun) {
  for (bool existed : {false, true}) {
    SCOPED_TRACE(existed ? "target existed" : "no target");
    const std::string folder = Scratch(existed ? "read error old" : "read error new");
    fixtures::Options o;
    const std::string part = fixtures::Make(fixtures::Kind::Mpeg1Ps, folder, o);
    const std::string list = folder + "/list.ffconcat";
    std::ofstream(list) << "ffconcat version 1.0\nfile '" << part.substr(part.rfind('/') + 1)
                        << "'\nfile 'gone.mpg'\n";
    const std::string target = folder + "/out.wmv";
    std::remove(target.c_str());
    if (existed) std::ofstream(target) << "previous contents";
    Rig s;
    ASSERT_EQ(s.Prepare(list, "Wz Movie Tools 320X240", target), S_OK);
    ASSERT_EQ(s.enc->Start(), S_OK);
    s.WaitStopped();
    int32_t err = 0;
    s.enc->get_ErrorState(&err);
    EXPECT_EQ(err, WMENC_E_READ_FAILED);
    struct stat st {};
    if (existed) {
      std::ifstream in(target);
      EXPECT_EQ(std::string((std::istreambuf_iterator<char>(in)), {}), "previous contents");
    } else {
      EXPECT_NE(stat(target.c_str(), &st), 0) << "a file was made";
    }
    for (const auto& e : std::filesystem::directory_iterator(folder))
      EXPECT_EQ(e.path().filename().string().find("encoding"), std::string::npos) << e.path();
  }
}

// A stopped run gives its shorter file the target's name only where no file had it.
TEST_F(Encoder, AStopNeverReplacesAnOlderFile) {
  fixtures::Options o;
  o.width = 320;
  o.height = 240;
  o.seconds = 8;
  const std::string folder = Scratch("stop keeps");
  const std::string source = fixtures::Make(fixtures::Kind::AviMjpegPcm, folder, o);
  const std::string target = folder + "/kept.wmv";
  std::ofstream(target) << "previous contents";
  Rig s;
  ASSERT_EQ(s.Prepare(source, "Wz Movie Tools 640X480", target), S_OK);
  ASSERT_EQ(s.enc->Start(), S_OK);
  EXPECT_EQ(s.enc->Stop(), S_OK);
  s.WaitStopped();
  std::ifstream in(target);
  EXPECT_EQ(std::string((std::istreambuf_iterator<char>(in)), {}), "previous contents");
  for (const auto& e : std::filesystem::directory_iterator(folder))
    EXPECT_EQ(e.path().filename().string().find("encoding"), std::string::npos) << e.path();
}

TEST_F(Encoder, StillPictureIsOneFrameAndAttributesReachTheHeader) {
  Rig s;
  const std::string target = Scratch("still") + "/still.wmv";
  ASSERT_EQ(s.Prepare(fixtures::Make(fixtures::Kind::Jpeg, Scratch("still")), "Wz Movie Tools 320X240", target), S_OK);
  ComPtr<IWMEncDisplayInfo> info;
  s.enc->get_DisplayInfo(info.put());
  info->put_Field(0, Bstr("Trip ü"));
  info->put_Field(1, Bstr("Ann"));
  ASSERT_EQ(s.enc->Start(), S_OK);
  s.WaitStopped();
  fixtures::Probe p = fixtures::RunFfprobe(target);
  ASSERT_TRUE(p.ok) << p.error;
  ASSERT_TRUE(p.First("video"));
  EXPECT_FALSE(p.First("audio"));
  EXPECT_EQ(p.First("video")->frames, 1);
  std::string header(8192, '\0');
  std::ifstream(target, std::ios::binary).read(header.data(), 8192);
  std::u16string title = u"Trip ü";
  std::string raw(reinterpret_cast<const char*>(title.data()), title.size() * 2);
  EXPECT_NE(header.find(raw), std::string::npos);
}

TEST_F(Encoder, StartRefusesWhatItCanCheck) {
  const std::string folder = Scratch("refusals");
  const std::string link = folder + "/link.avi";
  unlink(link.c_str());
  ASSERT_EQ(symlink(movie_->c_str(), link.c_str()), 0);
  struct Case {
    const char* what;
    std::string source, profile, output;
    bool group;
    HRESULT hr;
  };
  const Case cases[] = {
      {"no group", *movie_, "Wz Movie Tools 320X240", folder + "/a.wmv", false, WMENC_E_NO_GROUP},
      {"no profile", *movie_, "", folder + "/a.wmv", true, WMENC_E_NO_PROFILE},
      {"no output", *movie_, "Wz Movie Tools 320X240", "", true, WMENC_E_NO_OUTPUT},
      {"missing folder", *movie_, "Wz Movie Tools 320X240", folder + "/nope/a.wmv", true, WMENC_E_OUTPUT_FOLDER},
      {"output is a folder", *movie_, "Wz Movie Tools 320X240", folder, true, WMENC_E_OUTPUT_FOLDER},
      {"output is the source", *movie_, "Wz Movie Tools 320X240", *movie_, true, WMENC_E_OUTPUT_IS_SOURCE},
      {"output is a link to the source", *movie_, "Wz Movie Tools 320X240", link, true, WMENC_E_OUTPUT_IS_SOURCE},
      {"source through a link, output the file", link, "Wz Movie Tools 320X240", *movie_, true,
       WMENC_E_OUTPUT_IS_SOURCE},
      {"sound profile, silent movie", *silent_, "Wz Audio 64Kbps (44 kHz, stereo)", folder + "/a.wma", true,
       WMENC_E_NO_MATCHING_STREAM},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Rig s;
    if (c.group) {
      ASSERT_EQ(s.Prepare(c.source, c.profile, c.output), S_OK);
    }
    EXPECT_EQ(s.enc->Start(), c.hr);
    EXPECT_NE(ErrorText(), "");
    EXPECT_EQ(s.State(), WMENC_ENCODER_STOPPED);
  }
  struct stat st {};
  EXPECT_EQ(stat(movie_->c_str(), &st), 0);
  EXPECT_GT(st.st_size, 1000);
  // A group without a source.
  Rig empty;
  ComPtr<IWMEncSourceGroupCollection> groups;
  empty.enc->get_SourceGroupCollection(groups.put());
  ComPtr<IWMEncSourceGroup> g;
  groups->Add(Bstr("Empty"), g.put());
  EXPECT_EQ(empty.enc->Start(), WMENC_E_NO_SOURCE);
}

// A source named by the user that is no regular file (a pipe nobody writes to, an endless
// device, a folder) is refused at once instead of blocking the encoder's inspection for good.
TEST_F(Encoder, ASourceThatIsNoRegularFileIsRefusedWithoutWaiting) {
  const std::string fifo = Scratch("nofile") + "/pipe.avi";
  ::unlink(fifo.c_str());
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  for (const std::string& source : {fifo, std::string("/dev/zero"), Scratch("nofile")}) {
    SCOPED_TRACE(source);
    Rig r;
    HangGuard guard("setting " + source + " as the source");
    EXPECT_EQ(r.Prepare(source, "", Scratch("nofile") + "/out.wmv"), WMENC_E_SOURCE_NOT_FOUND);
  }
}

TEST_F(Encoder, StopEndsWithAValidShorterFile) {
  fixtures::Options o;
  o.width = 320;
  o.height = 240;
  o.seconds = 8;
  const std::string source = fixtures::Make(fixtures::Kind::AviMjpegPcm, Scratch("long"), o);
  Rig s;
  const std::string target = Scratch("long") + "/stopped.wmv";
  // A stopped run keeps an older file of its name, so none may be left from an earlier run.
  std::remove(target.c_str());
  ASSERT_EQ(s.Prepare(source, "Wz Movie Tools 640X480", target), S_OK);
  EXPECT_EQ(s.enc->Stop(), S_OK);  // stopped: nothing to do
  EXPECT_EQ(s.State(), WMENC_ENCODER_STOPPED);
  ASSERT_EQ(s.enc->Start(), S_OK);
  EXPECT_EQ(s.enc->Start(), WMENC_E_RUNNING);
  EXPECT_EQ(s.enc->Stop(), S_OK);
  int32_t state = s.State();
  EXPECT_TRUE(state == WMENC_ENCODER_STOPPING || state == WMENC_ENCODER_STOPPED) << state;
  s.WaitStopped();
  int32_t err = -1;
  s.enc->get_ErrorState(&err);
  EXPECT_EQ(err, 0);
  fixtures::Probe p = fixtures::RunFfprobe(target);
  ASSERT_TRUE(p.ok) << p.error;
  EXPECT_EQ(p.formatName, "asf");
  EXPECT_LT(p.duration, 8.0);
  // The same object runs again to the end.
  ASSERT_EQ(s.enc->Start(), S_OK);
  s.WaitStopped();
  p = fixtures::RunFfprobe(target);
  ASSERT_TRUE(p.ok) << p.error;
  EXPECT_NEAR(p.duration, 8.0, 0.3);
}

// A write failure during the run: the old file stays, no temporary file is left, and OnError
// reaches the creating thread while the state still reads 4.
TEST_F(Encoder, FailedRunKeepsTheOldFileAndReportsFirst) {
  const std::string folder = Scratch("failed");
  const std::string target = folder + "/keep.wmv";
  std::ofstream(target) << "previous contents";
  Rig s;
  ASSERT_EQ(s.Prepare(*movie_, "Wz Movie Tools 640X480", target), S_OK);
  auto sink = MakeComObject<EventSink>(DIID__IWMEncoderEvents);
  std::vector<std::pair<int32_t, int32_t>> seen;  // (argument, RunState at the event)
  std::thread::id eventThread;
  sink->On(DISPID_WMENC_ONERROR, [&](SinkArgs& a) {
    seen.emplace_back(a.Long(0), s.State());
    eventThread = std::this_thread::get_id();
  });
  DWORD cookie = ConnectEvents(s.enc.Get(), DIID__IWMEncoderEvents, sink.Get());
  // A file size limit stands in for a full disk.
  {
    fixtures::FileSizeLimit full(16 * 1024);
    ASSERT_EQ(s.enc->Start(), S_OK);
    s.WaitStopped();
  }
  DisconnectEvents(s.enc.Get(), DIID__IWMEncoderEvents, cookie);
  int32_t err = 0;
  s.enc->get_ErrorState(&err);
  EXPECT_EQ(err, WMENC_E_WRITE_FAILED);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].first, WMENC_E_WRITE_FAILED);
  EXPECT_EQ(seen[0].second, WMENC_ENCODER_STOPPING);
  EXPECT_EQ(eventThread, std::this_thread::get_id());
  std::ifstream in(target);
  std::string text((std::istreambuf_iterator<char>(in)), {});
  EXPECT_EQ(text, "previous contents");
  int others = 0;
  std::string cmd = "ls -A '" + folder + "' | grep -c encoding";
  FILE* ls = popen(cmd.c_str(), "r");
  if (ls) {
    if (fscanf(ls, "%d", &others) != 1) others = -1;
    pclose(ls);
  }
  EXPECT_EQ(others, 0) << "a temporary file was left";
}

TEST_F(Encoder, CreationCanBeMadeToFail) {
  SetWMEncCreationFailsForTesting(true);
  ComPtr<IWMEncoder> enc;
  EXPECT_TRUE(FAILED(CoCreateInstance(CLSID_WMEncoder, nullptr, CLSCTX_INPROC_SERVER, IWMEncoder::iid, enc.put_void())));
  SetWMEncCreationFailsForTesting(false);
  const WMEncProfileSpec one[] = {{"Only", "one", 160, 120, 10, 100000, 0, 0, 0}};
  SetWMEncProfilesForTesting(one, 1);
  enc = NewEncoder();
  ComPtr<IWMEncProfileCollection> col;
  enc->get_ProfileCollection(col.put());
  int32_t n = 0;
  col->get_Count(&n);
  EXPECT_EQ(n, 1);
  SetWMEncProfilesForTesting(nullptr, 0);
}

}  // namespace

namespace {

std::string InstallDir() {
  HKEY key = 0;
  if (RegOpenKeyEx(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows Media\\Encoder", 0, KEY_READ, &key) != ERROR_SUCCESS)
    return "<no key>";
  char buf[4096] = {};
  DWORD size = sizeof buf, type = 0;
  LSTATUS s = RegQueryValueEx(key, "InstallDir", nullptr, &type, reinterpret_cast<BYTE*>(buf), &size);
  RegCloseKey(key);
  return s == ERROR_SUCCESS ? std::string(buf) : "<no value>";
}

void SetInstallDir(const std::string& dir) {
  HKEY key = 0;
  ASSERT_EQ(RegCreateKeyEx(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows Media\\Encoder", 0, nullptr, 0,
                           KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(RegSetValueEx(key, "InstallDir", 0, REG_SZ, reinterpret_cast<const BYTE*>(dir.c_str()),
                          static_cast<DWORD>(dir.size() + 1)),
            ERROR_SUCCESS);
  RegCloseKey(key);
}

std::string ReadText(const std::string& path) {
  std::ifstream in(path);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The program's switches, in any case, and its usage: each row starts from a recorded folder of
// another program. The usage is printed without a window and leaves the record alone; a program
// that opened its window instead would be ended by the hang guard (exit code 124).
TEST(EncoderProgram, SwitchesInAnyCaseAndTheUsage) {
  const char* bin = std::getenv("SUITE_BIN_DIR");
  ASSERT_TRUE(bin);
  const std::string program = std::string(bin) + "/WMEnc";
  const std::string folder = fixtures::ScratchFolder("switches");
  const std::string elsewhere = "/elsewhere/encoder";
  struct Case {
    const char* argument;
    std::string usage;  // what standard output begins with
    std::string installDir;
  } cases[] = {
      {"/?", "Usage: WMEnc [file]", elsewhere},
      {"-?", "Usage: WMEnc [file]", elsewhere},
      {"-h", "Usage: WMEnc [file]", elsewhere},
      {"--help", "Usage: WMEnc [file]", elsewhere},
      {"--HELP", "Usage: WMEnc [file]", elsewhere},
      {"/help", "Usage: WMEnc [file]", elsewhere},
      {"/HELP", "Usage: WMEnc [file]", elsewhere},
      {"/h", "Usage: WMEnc [file]", elsewhere},
      {"/H", "Usage: WMEnc [file]", elsewhere},
      {"/regserver", "", bin},
      {"/REGSERVER", "", bin},
      {"/RegServer", "", bin},
      {"/unregserver", "", "<no value>"},
      {"/UnRegServer", "", "<no value>"},
      {"/UNREGSERVER", "", "<no value>"},
  };
  for (const Case& c : cases) {
    SetInstallDir(elsewhere);
    const std::string out = folder + "/out.txt";
    const int status = std::system(("timeout 120 '" + program + "' '" + c.argument + "' >'" + out + "'").c_str());
    ASSERT_TRUE(WIFEXITED(status)) << c.argument;
    EXPECT_EQ(WEXITSTATUS(status), 0) << c.argument;
    const std::string text = ReadText(out);
    if (c.usage.empty())
      EXPECT_EQ(text, "") << c.argument;
    else
      EXPECT_EQ(text.rfind(c.usage, 0), 0u) << c.argument << ": " << text;
    EXPECT_EQ(InstallDir(), c.installDir) << c.argument;
  }
}

TEST(EncoderProgram, RegistersItsInstallFolder) {
  const char* bin = std::getenv("SUITE_BIN_DIR");
  ASSERT_TRUE(bin);
  const std::string program = std::string(bin) + "/WMEnc";
  ASSERT_EQ(std::system(("'" + program + "' /regserver").c_str()), 0);
  EXPECT_EQ(InstallDir(), bin);
  ASSERT_EQ(std::system(("'" + program + "' /unregserver").c_str()), 0);
  EXPECT_EQ(InstallDir(), "<no value>");
}

}  // namespace
