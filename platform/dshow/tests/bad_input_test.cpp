// Bad input and failures while streaming: clear result codes and error events, never a crash
// or a hang.
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <iterator>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "dshow/baseclasses.h"
#include "dshow_test_util.h"

using namespace dshow_test;
using fixtures::Kind;

namespace {

TEST(BadInput, FilesThatCannotBeRenderedFailWithAResultCode) {
  struct BadCase {
    std::string path;
    HRESULT expected;  // 0: any failure
  };
  std::vector<BadCase> cases = {
      {fixtures::ScratchFolder("bad") + "/missing.avi", HRESULT_FILE_NOT_FOUND},
      {Fixture(Kind::EmptyFile), VFW_E_FILE_TOO_SHORT},
      {Fixture(Kind::TextAsAvi), VFW_E_UNKNOWN_FILE_TYPE},
      {fixtures::ScratchFolder("bad"), E_ACCESSDENIED},  // a folder
      {fixtures::ScratchFolder("bad") + "/no-folder/clip.avi", HRESULT_PATH_NOT_FOUND},
      {Fixture(Kind::AviDamagedIndex), VFW_E_INVALID_FILE_FORMAT},
      {"", E_INVALIDARG},
  };
  // A pipe nobody writes to: opening it for reading would wait for ever.
  std::string pipe = fixtures::ScratchFolder("bad") + "/pipe.avi";
  std::filesystem::remove(pipe);
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  cases.push_back({pipe, VFW_E_UNKNOWN_FILE_TYPE});
  // A file whose name looks like a protocol is a file all the same.
  std::string colon = fixtures::ScratchFolder("bad") + "/concat:a|b.avi";
  std::filesystem::copy_file(Fixture(Kind::TextAsAvi), colon, std::filesystem::copy_options::overwrite_existing);
  cases.push_back({colon, VFW_E_UNKNOWN_FILE_TYPE});
  for (const auto& c : cases) {
    auto g = NewGraph();
    HRESULT hr = g->RenderFile(U(c.path).c_str(), nullptr);
    EXPECT_TRUE(FAILED(hr)) << c.path;
    if (c.expected) {
      EXPECT_EQ(hr, c.expected) << c.path;
    }
    EXPECT_TRUE(FilterNames(g.Get()).empty()) << "a failed render leaves nothing behind: " << c.path;
    // The automation call fails the same way.
    auto mc = g.As<IMediaControl>();
    EXPECT_TRUE(FAILED(mc->RenderFile(Bstr(c.path)))) << c.path;
    ComPtr<IDispatch> info;
    EXPECT_TRUE(FAILED(mc->AddSourceFilter(Bstr(c.path), info.put()))) << c.path;
    EXPECT_FALSE(info);
  }
}

TEST(BadInput, AMovieCutOffInItsDataPlaysUpToTheCut) {
  auto g = NewGraph();
  ASSERT_EQ(g->RenderFile(U(Fixture(Kind::TruncatedAvi)).c_str(), nullptr), S_OK);
  double duration = 0;
  g.As<IMediaPosition>()->get_Duration(&duration);
  EXPECT_GT(duration, 0.0);
  EXPECT_LE(duration, 1.0);
  g.As<IMediaPosition>()->put_Rate(2.0);
  EXPECT_EQ(RunToEnd(g.Get(), 20000), EC_COMPLETE);
}

TEST(BadInput, ASourceThatDiesMidStreamEndsWithAnErrorEvent) {
  fixtures::Options longer;
  longer.seconds = 2;
  std::string original = Fixture(Kind::AviMjpegPcm, longer);
  std::string copy = fixtures::ScratchFolder("dying") + "/dying.avi";
  std::filesystem::copy_file(original, copy, std::filesystem::copy_options::overwrite_existing);
  auto g = NewGraph();
  ASSERT_EQ(g->RenderFile(U(copy).c_str(), nullptr), S_OK);
  auto mc = g.As<IMediaControl>();
  auto ev = g.As<IMediaEvent>();
  ASSERT_EQ(mc->Run(), S_OK);
  LONG code = 0;
  EXPECT_EQ(ev->WaitForCompletion(300, &code), E_ABORT);
  EXPECT_EQ(code, 0) << "a time-out means: not finished yet";
  ASSERT_EQ(::truncate(copy.c_str(), 8192), 0);
  EXPECT_EQ(ev->WaitForCompletion(10000, &code), S_OK);
  EXPECT_EQ(code, EC_ERRORABORT);
  mc->Stop();
}

// A sink that takes a few samples and then refuses the rest, as an encoder refuses a frame size
// it cannot take.
class RefusingSink : public dshow::Filter {
 public:
  RefusingSink()
      : Filter(u"Refuser", MakeGuid("{0E7B3C52-94A1-4F6D-8E2B-5C1A9D3F7B40}")),
        in_(this, u"In", [](const AM_MEDIA_TYPE& mt) {
          return mt.majortype == MEDIATYPE_Video ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
        }) {}
  int PinCount() override { return 1; }
  dshow::Pin* GetPin(int i) override { return i == 0 ? &in_ : nullptr; }
  bool IsRenderer() const override { return true; }
  HRESULT Receive(dshow::Pin*, IMediaSample*) override {
    return ++received > 3 ? VFW_E_SAMPLE_REJECTED : S_OK;
  }
  std::atomic<int> received{0};

 private:
  dshow::InputPin in_;
};

TEST(BadInput, ASampleRefusedDownstreamEndsTheRunWithItsError) {
  auto g = NewGraph();
  ASSERT_EQ(g->RenderFile(U(Fixture(Kind::AviMjpegPcm)).c_str(), nullptr), S_OK);
  ComPtr<IBaseFilter> vr = FilterNamed(g.Get(), "Video Renderer");
  ComPtr<IPin> up = Peer(PinsOf(vr.Get())[0].Get());
  ASSERT_EQ(g->RemoveFilter(vr.Get()), S_OK);
  auto sink = MakeComObject<RefusingSink>();
  ASSERT_EQ(g->AddFilter(sink.Get(), u"Refuser"), S_OK);
  ASSERT_EQ(g->Connect(up.Get(), PinNamed(sink.Get(), "In").Get()), S_OK);
  auto ev = g.As<IMediaEvent>();
  ASSERT_EQ(g.As<IMediaControl>()->Run(), S_OK);
  LONG code = 0;
  EXPECT_EQ(ev->WaitForCompletion(10000, &code), S_OK);
  EXPECT_EQ(code, EC_ERRORABORT);
  LONG c = 0;
  LONG_PTR p1 = 0, p2 = 0;
  bool refused = false;
  while (ev->GetEvent(&c, &p1, &p2, 0) == S_OK) refused = refused || (c == EC_ERRORABORT && p1 == VFW_E_SAMPLE_REJECTED);
  EXPECT_TRUE(refused);
  EXPECT_EQ(sink->received, 4) << "the source stops delivering at the first refusal";
  g.As<IMediaControl>()->Stop();
}

TEST(BadInput, AFullDiskIsReportedByTheFileWriter) {
  auto g = NewGraph();
  AddMuxAndWriter(g.Get(), "/dev/full");
  ASSERT_GE(g->RenderFile(U(Fixture(Kind::AviMjpegPcm)).c_str(), nullptr), 0);
  auto mc = g.As<IMediaControl>();
  auto ev = g.As<IMediaEvent>();
  HRESULT run = mc->Run();
  if (SUCCEEDED(run)) {
    LONG code = 0;
    EXPECT_EQ(ev->WaitForCompletion(10000, &code), S_OK);
    EXPECT_EQ(code, EC_ERRORABORT);
    LONG c = 0;
    LONG_PTR p1 = 0, p2 = 0;
    bool sawDiskFull = false;
    while (ev->GetEvent(&c, &p1, &p2, 0) == S_OK)
      if (c == EC_ERRORABORT && p1 == HRESULT_DISK_FULL) sawDiskFull = true;
    EXPECT_TRUE(sawDiskFull);
  } else {
    EXPECT_EQ(run, HRESULT_DISK_FULL) << "the header cannot be written either";
  }
  mc->Stop();
}

TEST(Stopping, AStopInMidRunLeavesACompleteShorterFile) {
  // Source -> decoder -> tee: the first branch plays on the clock, the second is written, so the
  // run lasts as long as the movie and can be stopped half-way.
  fixtures::Options longer;
  longer.seconds = 2;
  std::string path = Fixture(Kind::AviMjpegPcm, longer);
  std::string target = Target("stopped.avi");
  auto g = NewGraph();
  auto mc = g.As<IMediaControl>();
  ComPtr<IDispatch> srcInfo;
  ASSERT_EQ(mc->AddSourceFilter(Bstr(path), srcInfo.put()), S_OK);
  ComPtr<IUnknown> unk;
  srcInfo.As<IFilterInfo>()->get_Filter(unk.put());
  ComPtr<IBaseFilter> src = unk.As<IBaseFilter>();
  ComPtr<IBaseFilter> splitter = AddRegistered(g.Get(), "AVI Splitter");
  ASSERT_EQ(g->ConnectDirect(PinNamed(src.Get(), "Output").Get(), PinNamed(splitter.Get(), "input pin").Get(),
                             nullptr),
            S_OK);
  ComPtr<IPin> video;
  for (auto& p : PinsOf(splitter.Get())) {
    MediaType mt;
    ComPtr<IEnumMediaTypes> e;
    p->EnumMediaTypes(e.put());
    AM_MEDIA_TYPE* t = nullptr;
    ULONG got = 0;
    if (e && e->Next(1, &t, &got) == S_OK) {
      if (t->majortype == MEDIATYPE_Video) video = p;
      DeleteMediaType(t);
    }
  }
  ASSERT_TRUE(video);
  ComPtr<IBaseFilter> tee = AddRegistered(g.Get(), "Infinite Pin Tee Filter");
  ASSERT_TRUE(tee);
  EXPECT_FALSE(PinNamed(tee.Get(), "Output2")) << "Output2 comes after Output1 connects";
  ASSERT_EQ(g->Connect(video.Get(), PinNamed(tee.Get(), "Input").Get()), S_OK);
  ASSERT_EQ(g->Render(PinNamed(tee.Get(), "Output1").Get()), S_OK);
  ASSERT_TRUE(PinNamed(tee.Get(), "Output2"));
  ComPtr<IBaseFilter> mux = AddMuxAndWriter(g.Get(), target);
  ASSERT_EQ(g->Connect(PinNamed(tee.Get(), "Output2").Get(), PinNamed(mux.Get(), "Input 01").Get()), S_OK);
  ASSERT_EQ(g->Connect(PinNamed(mux.Get(), "AVI Out").Get(),
                       PinNamed(FilterNamed(g.Get(), "File writer").Get(), "in").Get()),
            S_OK);
  ASSERT_EQ(mc->Run(), S_OK);
  LONG code = 0;
  g.As<IMediaEvent>()->WaitForCompletion(900, &code);
  EXPECT_EQ(code, 0);
  double at = 0;
  g.As<IMediaPosition>()->get_CurrentPosition(&at);
  EXPECT_GT(at, 0.3);
  EXPECT_LT(at, 1.9);
  ASSERT_EQ(mc->Stop(), S_OK);
  auto probe = fixtures::RunFfprobe(target);
  ASSERT_TRUE(probe.ok) << probe.error;
  const auto* v = probe.First("video");
  ASSERT_TRUE(v);
  EXPECT_GT(v->frames, 5);
  EXPECT_LT(v->frames, 50);
}

// Counts the video samples passing on.
class VideoCounter : public dshow::InPlaceTransformFilter {
 public:
  VideoCounter() : InPlaceTransformFilter(u"Counter", MakeGuid("{3C7E5A19-2D84-4B6F-8E01-9A4D6C2B7F35}"), false) {}
  HRESULT CheckInputType(const AM_MEDIA_TYPE& mt) override {
    return mt.majortype == MEDIATYPE_Video ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
  }
  HRESULT Transform(IMediaSample*) override {
    ++samples;
    return S_OK;
  }
  std::atomic<int> samples{0};
};

TEST(Stopping, ReleasingARunningGraphStopsItAndClosesTheFile) {
  std::string target = Target("released.avi");
  {
    auto g = NewGraph();
    ASSERT_GE(g->RenderFile(U(Fixture(Kind::AviMjpegPcm)).c_str(), nullptr), 0);
    ComPtr<IBaseFilter> mux = AddMuxAndWriter(g.Get(), target);
    ComPtr<IBaseFilter> vr = FilterNamed(g.Get(), "Video Renderer");
    ComPtr<IPin> up = Peer(PinsOf(vr.Get())[0].Get());
    g->Disconnect(up.Get());
    g->Disconnect(PinsOf(vr.Get())[0].Get());
    auto counter = MakeComObject<VideoCounter>();
    ASSERT_EQ(g->AddFilter(counter.Get(), u"Counter"), S_OK);
    ASSERT_EQ(g->Connect(up.Get(), PinNamed(counter.Get(), "Input").Get()), S_OK);
    ASSERT_EQ(g->Connect(PinNamed(counter.Get(), "Output").Get(), PinNamed(mux.Get(), "Input 01").Get()), S_OK);
    ASSERT_EQ(g->Connect(PinNamed(mux.Get(), "AVI Out").Get(),
                         PinNamed(FilterNamed(g.Get(), "File writer").Get(), "in").Get()),
              S_OK);
    ASSERT_EQ(g.As<IMediaControl>()->Run(), S_OK);
    // Released while frames are on their way to the file.
    AwaitStreaming("frames on their way to the file", [&] { return counter->samples.load() >= 3; });
  }
  auto probe = fixtures::RunFfprobe(target);
  ASSERT_TRUE(probe.ok) << probe.error;
  ASSERT_TRUE(probe.First("video"));
}

// A copy of an AVI whose sound stream header gives a scale and rate of 0 (as broken writers
// leave them).
std::string WithoutSoundTiming(const std::string& original, const std::string& name) {
  std::ifstream in(original, std::ios::binary);
  std::string b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  for (size_t at = b.find("strh"); at != std::string::npos; at = b.find("strh", at + 4)) {
    if (b.compare(at + 8, 4, "auds") == 0) std::memset(&b[at + 8 + 20], 0, 8);  // dwScale, dwRate
  }
  std::string copy = fixtures::ScratchFolder("timing") + "/" + name;
  std::ofstream(copy, std::ios::binary | std::ios::trunc) << b;
  return copy;
}

// Records the end time of the last sample that passes.
class EndRecorder : public dshow::InPlaceTransformFilter {
 public:
  EndRecorder() : InPlaceTransformFilter(u"Recorder", MakeGuid("{5B1D8E0A-7C34-4F19-A2E6-3D9C0B7A1E21}"), false) {}
  HRESULT CheckInputType(const AM_MEDIA_TYPE& mt) override {
    return mt.majortype == MEDIATYPE_Audio ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
  }
  HRESULT Transform(IMediaSample* sample) override {
    REFERENCE_TIME start = 0, stop = 0;
    if (SUCCEEDED(sample->GetTime(&start, &stop))) lastStop = stop;
    return S_OK;
  }
  std::atomic<REFERENCE_TIME> lastStop{0};
};

TEST(BadInput, ASoundStreamWithoutHeaderTimingStillLetsTheMovieComplete) {
  struct Case {
    Kind kind;
    bool soundPlays;  // PCM takes its time from the format; other sound is left out
  } cases[] = {{Kind::AviMjpegPcm, true}, {Kind::AviDx50, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(fixtures::Name(c.kind));
    const std::string path = WithoutSoundTiming(Fixture(c.kind), fixtures::Name(c.kind) + "-no-timing.avi");
    auto g = NewGraph();
    ASSERT_EQ(g->RenderFile(U(path).c_str(), nullptr), S_OK);
    auto names = FilterNames(g.Get());
    ASSERT_EQ(std::count(names.begin(), names.end(), "Audio Renderer"), c.soundPlays ? 1 : 0);
    ComPtr<EndRecorder> recorder = MakeComObject<EndRecorder>();
    if (c.soundPlays) {
      SpliceBefore(g.Get(), "Audio Renderer", recorder.Get(), u"Recorder");
      if (HasFatalFailure()) return;
    }
    double duration = 0;
    g.As<IMediaPosition>()->get_Duration(&duration);
    EXPECT_NEAR(duration, 1.0, 0.05);
    g.As<IMediaPosition>()->put_Rate(2.0);
    EXPECT_EQ(RunToEnd(g.Get(), 20000), EC_COMPLETE);
    if (c.soundPlays) {
      EXPECT_NEAR(recorder->lastStop / 1e7, 1.0, 0.1) << "the sound ends with the movie";
    }
  }
}

// A sound source of one second whose last sample is stamped a hundred seconds on, as damaged
// headers can make it.
class FarStampSource : public dshow::Filter {
 public:
  FarStampSource() : Filter(u"Far Stamps", MakeGuid("{8C3A5E71-0B2D-4F6A-9E14-7D5C2B9A3F60}")), out_(this, u"Out") {
    MediaType mt;
    mt.majortype = MEDIATYPE_Audio;
    mt.subtype = MEDIASUBTYPE_PCM;
    mt.formattype = FORMAT_WaveFormatEx;
    auto* wf = reinterpret_cast<WAVEFORMATEX*>(SetFormatBuffer(mt, sizeof(WAVEFORMATEX)));
    *wf = WAVEFORMATEX{WAVE_FORMAT_PCM, 1, 22050, 44100, 2, 16, 0};
    out_.SetTypes({mt});
    out_.SetBufferSize(1 << 16);
  }
  ~FarStampSource() override { Join(); }
  int PinCount() override { return 1; }
  dshow::Pin* GetPin(int i) override { return i == 0 ? &out_ : nullptr; }
  REFERENCE_TIME SourceDuration() const override { return 10'000'000; }
  HRESULT SetSourcePosition(REFERENCE_TIME) override { return S_OK; }

 protected:
  HRESULT OnPause() override {
    if (!thread_.joinable()) thread_ = std::thread([this] { Stream(); });
    return S_OK;
  }
  HRESULT OnStop() override {
    Join();
    return S_OK;
  }

 private:
  void Join() {
    if (thread_.joinable()) thread_.join();
  }
  void Stream() {
    out_.DeliverNewSegment(0, 10'000'000, 1.0);
    const REFERENCE_TIME starts[] = {0, 5'000'000, 1'000'000'000};
    for (REFERENCE_TIME start : starts) {
      IMediaSample* sample = nullptr;
      if (FAILED(out_.GetDeliveryBuffer(4410, &sample))) return;
      BYTE* data = nullptr;
      sample->GetPointer(&data);
      std::memset(data, 0, 4410);
      sample->SetActualDataLength(4410);
      REFERENCE_TIME stop = start + 1'000'000;
      sample->SetTime(&start, &stop);
      const HRESULT hr = out_.Deliver(sample);
      sample->Release();
      if (hr != S_OK) return;
    }
    out_.DeliverEndOfStream();
  }
  dshow::OutputPin out_;
  std::thread thread_;
};

TEST(BadInput, SamplesStampedFarBeyondTheEndDoNotHoldBackCompletion) {
  auto g = NewGraph();
  auto source = MakeComObject<FarStampSource>();
  ASSERT_EQ(g->AddFilter(source.Get(), u"Far Stamps"), S_OK);
  ASSERT_EQ(g->Render(PinNamed(source.Get(), "Out").Get()), S_OK);
  ASSERT_EQ(FilterNames(g.Get()).size(), 2u);
  EXPECT_EQ(RunToEnd(g.Get(), 20000), EC_COMPLETE);
  for (auto& f : FiltersOf(g.Get())) g->RemoveFilter(f.Get());
}

}  // namespace
