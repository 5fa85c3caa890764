// The render engines in filter graphs: the front end (one source filter per group), failures
// that name the file, positions, rendering to the default renderers, writing through AVI Mux and
// File writer (read back with ffprobe), repeatable output, stopping and scrapping mid-run.
#include <cctype>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <optional>
#include <thread>

#include <gtest/gtest.h>

#include "com/com.h"
#include "com/interfaces.h"
#include "des/timeline.h"
#include "dshow/avbridge.h"
#include "dshow/baseclasses.h"
#include "dshow/filters.h"
#include "dshow/uuids.h"
#include "dshow/interfaces.h"
#include "dshow/tests/dshow_test_util.h"
#include "fixtures.h"
#include "timeline_test_util.h"

namespace {

using namespace timeline_test;
using namespace dshow_test;
namespace fs = std::filesystem;

ComPtr<IRenderEngine> NewEngine(const CLSID& clsid = CLSID_RenderEngine) {
  ComPtr<IRenderEngine> e;
  EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IRenderEngine::iid, e.put_void()),
            S_OK);
  return e;
}

std::string Clip(double seconds = 1.0, bool audio = true) {
  fixtures::Options o;
  o.width = 96;
  o.height = 64;
  o.seconds = seconds;
  o.audio = audio;
  return Fixture(fixtures::Kind::AviMjpegPcm, o);
}

// A timeline as the storyboard builder lays out two clips: "AUDIO" and "VIDEO" groups, a track
// per clip, a fade at each clip's start.
struct TwoClips {
  Builder audio{1, 15, "AUDIO"};
  Builder video{audio.tl, 0, 15, "VIDEO"};
  TwoClips(const std::string& a, const std::string& b, bool bHasSound = true, double d = 1.0) {
    EXPECT_EQ(video.Source(0, a, 0, d), S_OK);
    EXPECT_EQ(video.Transition(0, kFade, 0, 0.4), S_OK);
    EXPECT_EQ(audio.Source(0, a, 0, d), S_OK);
    EXPECT_EQ(video.Source(1, b, d, 2 * d), S_OK);
    EXPECT_EQ(video.Transition(1, kFade, d, d + 0.4), S_OK);
    if (bHasSound) {
      EXPECT_EQ(audio.Source(1, b, d, 2 * d), S_OK);
    }
  }
  IAMTimeline* Timeline() { return audio.tl.Get(); }
};

ComPtr<IGraphBuilder> GraphOf(IRenderEngine* e) {
  ComPtr<IGraphBuilder> g;
  EXPECT_EQ(e->GetFilterGraph(g.put()), S_OK);
  return g;
}

// Writes the timeline's groups into an AVI file through a new engine; returns the event code.
// afterFrontEnd runs once the front end is connected; reason receives an abort's param1.
LONG WriteAvi(IAMTimeline* tl, const std::string& target, const CLSID& engine = CLSID_RenderEngine,
              const std::function<void()>& afterFrontEnd = {}, LONG_PTR* reason = nullptr) {
  auto e = NewEngine(engine);
  EXPECT_EQ(e->SetTimelineObject(tl), S_OK);
  EXPECT_EQ(e->ConnectFrontEnd(), S_OK);
  if (afterFrontEnd) afterFrontEnd();
  auto g = GraphOf(e.Get());
  AddMuxAndWriter(g.Get(), target);
  LONG groups = 0;
  tl->GetGroupCount(&groups);
  for (LONG i = 0; i < groups; ++i) {
    ComPtr<IPin> pin;
    EXPECT_EQ(e->GetGroupOutputPin(i, pin.put()), S_OK);
    EXPECT_EQ(g->Render(pin.Get()), S_OK);
  }
  LONG code = RunToEnd(g.Get());
  if (reason) {
    *reason = S_OK;
    auto events = g.As<IMediaEvent>();
    LONG c = 0;
    LONG_PTR p1 = 0, p2 = 0;
    while (SUCCEEDED(events->GetEvent(&c, &p1, &p2, 0)))
      if (c == EC_ERRORABORT && *reason == S_OK) *reason = p1;
  }
  e->ScrapIt();
  return code;
}

TEST(RenderEngine, CallsOutOfOrderAreRefused) {
  auto e = NewEngine();
  EXPECT_EQ(e->ConnectFrontEnd(), E_UNEXPECTED);
  ComPtr<IGraphBuilder> g;
  EXPECT_EQ(e->GetFilterGraph(g.put()), E_UNEXPECTED);
  ComPtr<IPin> pin;
  EXPECT_EQ(e->GetGroupOutputPin(0, pin.put()), E_INVALIDARG);
  EXPECT_EQ(e->ScrapIt(), S_OK);
}

TEST(RenderEngine, TheFrontEndIsOneSourceFilterPerGroup) {
  TwoClips t(Clip(), Clip());
  auto e = NewEngine();
  ASSERT_EQ(e->SetTimelineObject(t.Timeline()), S_OK);
  ASSERT_EQ(e->ConnectFrontEnd(), S_OK);
  auto g = GraphOf(e.Get());
  EXPECT_EQ(FilterNames(g.Get()), (std::vector<std::string>{"AUDIO", "VIDEO"}));
  for (LONG i = 0; i < 2; ++i) {
    auto f = FiltersOf(g.Get())[static_cast<size_t>(i)];
    auto pins = PinsOf(f.Get());
    ASSERT_EQ(pins.size(), 1u);
    EXPECT_EQ(PinName(pins[0].Get()), "Output");
    PIN_DIRECTION dir;
    pins[0]->QueryDirection(&dir);
    EXPECT_EQ(dir, PINDIR_OUTPUT);
    ComPtr<IPin> groupPin;
    ASSERT_EQ(e->GetGroupOutputPin(i, groupPin.put()), S_OK);
    EXPECT_TRUE(IsSameObject(groupPin.Get(), pins[0].Get()));
    // It offers the group's type and only that.
    ComPtr<IEnumMediaTypes> types;
    ASSERT_EQ(pins[0]->EnumMediaTypes(types.put()), S_OK);
    AM_MEDIA_TYPE* mt = nullptr;
    ULONG got = 0;
    ASSERT_EQ(types->Next(1, &mt, &got), S_OK);
    EXPECT_EQ(mt->subtype, i == 0 ? MEDIASUBTYPE_PCM : MEDIASUBTYPE_RGB555);
    DeleteMediaType(mt);
    EXPECT_NE(types->Next(1, &mt, &got), S_OK);
  }
  // Rendered, the graph's duration is the timeline's.
  ASSERT_EQ(e->RenderOutputPins(), S_OK);
  auto pos = g.As<IMediaPosition>();
  double d = 0;
  ASSERT_EQ(pos->get_Duration(&d), S_OK);
  EXPECT_DOUBLE_EQ(d, 2.0);
  // Edits after the front end was connected do not reach the render.
  EXPECT_EQ(t.video.Source(2, Clip(), 2, 9), S_OK);
  ASSERT_EQ(pos->get_Duration(&d), S_OK);
  EXPECT_DOUBLE_EQ(d, 2.0);
  // Connecting again builds the front end anew from the timeline as it is now.
  ASSERT_EQ(e->ConnectFrontEnd(), S_OK);
  ASSERT_EQ(e->RenderOutputPins(), S_OK);
  auto names = FilterNames(g.Get());
  EXPECT_EQ(std::count(names.begin(), names.end(), "VIDEO"), 1);
  ASSERT_EQ(pos->get_Duration(&d), S_OK);
  EXPECT_DOUBLE_EQ(d, 9.0);
  // A graph kept by its user outlives the engine.
  {
    auto kept = NewEngine();
    ASSERT_EQ(kept->SetTimelineObject(t.Timeline()), S_OK);
    ASSERT_EQ(kept->ConnectFrontEnd(), S_OK);
    auto graph = GraphOf(kept.Get());
    kept = nullptr;
    EXPECT_EQ(FilterNames(graph.Get()), (std::vector<std::string>{"AUDIO", "VIDEO"}));
  }
  // A new timeline drops the old graph.
  Builder other;
  ASSERT_EQ(e->SetTimelineObject(other.tl.Get()), S_OK);
  ComPtr<IGraphBuilder> none;
  EXPECT_EQ(e->GetFilterGraph(none.put()), E_UNEXPECTED);
  EXPECT_TRUE(FiltersOf(g.Get()).empty());
}

TEST(RenderEngine, AFileThatCannotServeItsGroupFailsTheFrontEndNamingIt) {
  const std::string folder = fixtures::ScratchFolder("engine-bad");
  const std::string missing = folder + "/gone & <lost>.avi";
  const std::string text = fixtures::Make(fixtures::Kind::TextAsAvi, folder);
  const std::string wav = fixtures::Make(fixtures::Kind::Wav, folder);
  for (const std::string& path : {missing, text, wav}) {
    Builder b(0, 15, "VIDEO");
    ASSERT_EQ(b.Source(0, Clip(), 0, 1), S_OK);
    ASSERT_EQ(b.Source(1, path, 0.5, 1), S_OK);
    auto e = NewEngine();
    ASSERT_EQ(e->SetTimelineObject(b.tl.Get()), S_OK);
    ComPtr<IErrorInfo> stale;
    GetErrorInfo(0, stale.put());
    EXPECT_TRUE(FAILED(e->ConnectFrontEnd())) << path;
    ComPtr<IErrorInfo> info;
    ASSERT_EQ(GetErrorInfo(0, info.put()), S_OK) << path;
    Bstr description;
    info->GetDescription(&description);
    EXPECT_NE(description.Utf8().find(path), std::string::npos) << description.Utf8();
    ComPtr<IGraphBuilder> g;
    if (SUCCEEDED(e->GetFilterGraph(g.put()))) {
      EXPECT_TRUE(FiltersOf(g.Get()).empty());
    }
  }
}

TEST(RenderEngine, WritesTheGroupsThroughAviMuxAsFfprobeReadsThem) {
  TwoClips t(Clip(1.0), Clip(2.0, false), false);  // the second clip has no sound
  const std::string a = Target("engine-join-a.avi"), b = Target("engine-join-b.avi");
  ASSERT_EQ(WriteAvi(t.Timeline(), a), EC_COMPLETE);
  ASSERT_EQ(WriteAvi(t.Timeline(), b), EC_COMPLETE);
  fixtures::Probe p = fixtures::RunFfprobe(a);
  ASSERT_TRUE(p.ok) << p.error;
  const auto* v = p.First("video");
  const auto* s = p.First("audio");
  ASSERT_TRUE(v && s);
  EXPECT_EQ(v->codecName, "rawvideo");
  EXPECT_EQ(v->width, 320);
  EXPECT_EQ(v->height, 240);
  EXPECT_EQ(v->frames, 30);
  EXPECT_DOUBLE_EQ(v->frameRate, 15.0);
  EXPECT_EQ(s->codecName, "pcm_s16le");
  EXPECT_EQ(s->sampleRate, 44100);
  EXPECT_EQ(s->channels, 2);
  EXPECT_NEAR(p.duration, 2.0, 0.01);
  // Two renders of one timeline give the same file.
  EXPECT_EQ(fixtures::ReadFile(a), fixtures::ReadFile(b));
}

// The stream chunks of an AVI file's first 'movi' list in file order: stream number and whether
// it holds sound, with the chunk's data size.
struct AviChunk {
  int stream;
  bool sound;
  uint32_t size;
};
std::vector<AviChunk> MoviChunks(const std::vector<uint8_t>& file) {
  auto u32 = [&](size_t at) {
    return static_cast<uint32_t>(file[at]) | static_cast<uint32_t>(file[at + 1]) << 8 |
           static_cast<uint32_t>(file[at + 2]) << 16 | static_cast<uint32_t>(file[at + 3]) << 24;
  };
  auto is = [&](size_t at, const char* tag) { return at + 4 <= file.size() && std::memcmp(&file[at], tag, 4) == 0; };
  std::vector<AviChunk> out;
  // RIFF header (12 bytes), then chunks and lists up to the 'movi' list.
  for (size_t at = 12; at + 12 <= file.size();) {
    const uint32_t size = u32(at + 4);
    if (is(at, "LIST") && is(at + 8, "movi")) {
      const size_t end = std::min(file.size(), at + 8 + size);
      for (size_t c = at + 12; c + 8 <= end; c += 8 + ((u32(c + 4) + 1) & ~1u)) {
        const char* id = reinterpret_cast<const char*>(&file[c]);
        if (std::isdigit(static_cast<unsigned char>(id[0])) && std::isdigit(static_cast<unsigned char>(id[1])))
          out.push_back({(id[0] - '0') * 10 + (id[1] - '0'), id[2] == 'w' && id[3] == 'b', u32(c + 4)});
      }
      return out;
    }
    at += 8 + ((size + 1) & ~1u);
  }
  return out;
}

// A join's file follows from its timeline alone: the sound group renders far faster than the
// pictures, yet the chunks go into the file in the order of their times, so that two renders give
// the same bytes.
TEST(RenderEngine, AJoinsChunksFollowTheirTimesWhicheverGroupRendersFaster) {
  Builder audio{1, 15, "AUDIO"};
  Builder video{audio.tl, 0, 15, "VIDEO"};
  const std::string clip = Clip(3.0);
  for (int i = 0; i < 5; ++i) {
    ASSERT_EQ(video.Source(static_cast<size_t>(i), clip, 3.0 * i, 3.0 * (i + 1)), S_OK);
    ASSERT_EQ(video.Transition(static_cast<size_t>(i), kFade, 3.0 * i, 3.0 * i + 1), S_OK);
    ASSERT_EQ(audio.Source(static_cast<size_t>(i), clip, 3.0 * i, 3.0 * (i + 1)), S_OK);
  }
  const std::string a = Target("engine-order-a.avi"), b = Target("engine-order-b.avi");
  ASSERT_EQ(WriteAvi(audio.tl.Get(), a), EC_COMPLETE);
  ASSERT_EQ(WriteAvi(audio.tl.Get(), b), EC_COMPLETE);
  const std::vector<uint8_t> bytes = fixtures::ReadFile(a);
  const std::vector<AviChunk> chunks = MoviChunks(bytes);
  ASSERT_GT(chunks.size(), size_t{225}) << "225 pictures and the sound";
  // Each chunk's start in 1/(15 * 44100) s: a picture's is its number, a sound block's its first
  // sample (4 bytes a sample frame); in the file they never go back.
  int64_t pictures = 0, samples = 0, last = -1;
  for (size_t i = 0; i < chunks.size(); ++i) {
    const int64_t at = chunks[i].sound ? samples * 15 : pictures * 44100;
    EXPECT_GE(at, last) << "chunk " << i << " (stream " << chunks[i].stream << ") comes before an earlier one";
    if (at < last) break;
    last = at;
    if (chunks[i].sound) samples += chunks[i].size / 4;
    else ++pictures;
  }
  EXPECT_EQ(pictures, 225);
  EXPECT_EQ(samples, 15 * 44100);
  EXPECT_TRUE(fixtures::ReadFile(b) == bytes) << "two renders of one timeline differ";
}

TEST(RenderEngine, AZeroLengthTimelineCompletesAtOnce) {
  Builder b(0, 15, "VIDEO");
  ASSERT_EQ(b.Source(0, Clip(), 0, 0), S_OK);
  const std::string out = Target("engine-empty.avi");
  ASSERT_EQ(WriteAvi(b.tl.Get(), out), EC_COMPLETE);
  fixtures::Probe p = fixtures::RunFfprobe(out);
  ASSERT_TRUE(p.ok) << p.error;
}

// A source file cut short after the graph was built fails mid-stream: the run ends with an
// abort giving the reason; one cut short before is rendered as far as it reads (its last picture
// held) and completes.
TEST(RenderEngine, ASourceCutShortAfterTheGraphWasBuiltAbortsTheRun) {
  struct Case {
    const char* name;
    bool cutAfterFrontEnd;
    bool audio;
    LONG code;
    LONG_PTR reason;
  };
  const Case cases[] = {
      {"cut after: video and sound", true, true, EC_ERRORABORT, VFW_E_FILE_TOO_SHORT},
      {"cut after: video only", true, false, EC_ERRORABORT, VFW_E_FILE_TOO_SHORT},
      {"cut before", false, true, EC_COMPLETE, S_OK},
  };
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string clip = Target("engine-cut" + std::to_string(n) + ".avi");
    const std::string out = Target("engine-cut-out" + std::to_string(n++) + ".avi");
    fs::copy_file(Clip(3.0, c.audio), clip, fs::copy_options::overwrite_existing);
    auto cut = [&] { fs::resize_file(clip, fs::file_size(clip) / 3); };
    Builder video(0, 15, "VIDEO");
    ASSERT_EQ(video.Source(0, clip, 0, 3), S_OK);
    std::optional<Builder> audio;
    if (c.audio) {
      audio.emplace(video.tl, 1, 15, "AUDIO");
      ASSERT_EQ(audio->Source(0, clip, 0, 3), S_OK);
    }
    if (!c.cutAfterFrontEnd) cut();
    LONG_PTR reason = S_OK;
    EXPECT_EQ(WriteAvi(video.tl.Get(), out, CLSID_RenderEngine, c.cutAfterFrontEnd ? cut : std::function<void()>(),
                       &reason),
              c.code);
    EXPECT_EQ(reason, c.reason);
    if (c.code == EC_COMPLETE) {
      const fixtures::Probe p = fixtures::RunFfprobe(out);
      ASSERT_TRUE(p.ok) << p.error;
      EXPECT_NEAR(p.duration, 3.0, 0.01);
    }
  }
}

TEST(RenderEngine, StopScrapAndLastReleaseMidRunLeaveAValidFile) {
  for (int way = 0; way < 3; ++way) {
    Builder b(0, 15, "VIDEO");
    ASSERT_EQ(b.Source(0, Clip(), 0, 60), S_OK);  // a still end: a long run
    ASSERT_EQ(b.Transition(0, kFade, 0, 60), S_OK);
    auto e = NewEngine();
    ASSERT_EQ(e->SetTimelineObject(b.tl.Get()), S_OK);
    ASSERT_EQ(e->ConnectFrontEnd(), S_OK);
    auto g = GraphOf(e.Get());
    const std::string out = Target("engine-stop" + std::to_string(way) + ".avi");
    AddMuxAndWriter(g.Get(), out);
    ComPtr<IPin> pin;
    e->GetGroupOutputPin(0, pin.put());
    ASSERT_EQ(g->Render(pin.Get()), S_OK);
    auto mc = g.As<IMediaControl>();
    ASSERT_EQ(mc->Run(), S_OK);
    while (!fs::exists(out) || fs::file_size(out) < 200000)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    if (way == 0) {
      EXPECT_EQ(mc->Stop(), S_OK);
    } else if (way == 1) {
      EXPECT_EQ(e->ScrapIt(), S_OK);
    }
    mc = nullptr;
    g = nullptr;
    pin = nullptr;
    e = nullptr;  // way 2: the last release of a running graph
    fixtures::Probe p = fixtures::RunFfprobe(out);
    ASSERT_TRUE(p.ok) << way << p.error;
    ASSERT_TRUE(p.First("video"));
    EXPECT_GT(p.First("video")->frames, 0);
    EXPECT_LT(p.First("video")->frames, 900);
  }
}

TEST(RenderEngine, RenderOutputPinsUsesTheDefaultRenderers) {
  TwoClips t(Clip(), Clip());
  auto e = NewEngine();
  ASSERT_EQ(e->SetTimelineObject(t.Timeline()), S_OK);
  ASSERT_EQ(e->ConnectFrontEnd(), S_OK);
  ASSERT_EQ(e->RenderOutputPins(), S_OK);
  auto names = FilterNames(GraphOf(e.Get()).Get());
  EXPECT_NE(std::find(names.begin(), names.end(), "Video Renderer"), names.end());
  EXPECT_NE(std::find(names.begin(), names.end(), "Audio Renderer"), names.end());
  EXPECT_EQ(e->ScrapIt(), S_OK);
}

}  // namespace

extern "C" {
#include <libavformat/avformat.h>
}

namespace {

using namespace timeline_test;
using namespace dshow_test;

// The video packets of a file in file order.
std::vector<std::vector<uint8_t>> VideoPackets(const std::string& path, std::vector<bool>* keys = nullptr) {
  std::vector<std::vector<uint8_t>> out;
  AVFormatContext* fmt = nullptr;
  if (avformat_open_input(&fmt, path.c_str(), nullptr, nullptr) < 0) return out;
  avformat_find_stream_info(fmt, nullptr);
  const int si = av_find_best_stream(fmt, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  AVPacket* pkt = av_packet_alloc();
  while (si >= 0 && av_read_frame(fmt, pkt) >= 0) {
    if (pkt->stream_index == si && pkt->size > 0) {
      out.emplace_back(pkt->data, pkt->data + pkt->size);
      if (keys) keys->push_back((pkt->flags & AV_PKT_FLAG_KEY) != 0);
    }
    av_packet_unref(pkt);
  }
  av_packet_free(&pkt);
  avformat_close_input(&fmt);
  return out;
}

// A piece of a movie cut as the splitter cuts it: timeline 0..length, media first..first+length,
// the video group's recompression format taken from the source made last.
ComPtr<IAMTimeline> Cut(const std::string& movie, int first, int frames, double fps, bool sound) {
  const double start = first / fps, length = frames / fps;
  Builder video(0, 15, "VIDEO");
  EXPECT_EQ(video.Source(0, movie, 0, length, start, start + length), S_OK);
  std::unique_ptr<Builder> audio;
  if (sound) {
    audio = std::make_unique<Builder>(video.tl, 1, 15, "AUDIO");
    EXPECT_EQ(audio->Source(0, movie, 0, length, start, start + length), S_OK);
  }
  // The source made last: a new node naming the same file (the model reads only its file).
  auto probe = Node(video.tl.Get(), TIMELINE_MAJOR_TYPE_SOURCE);
  As<IAMTimelineSrc>(probe.Get())->SetMediaName(Bstr(movie));
  EXPECT_EQ(As<IAMTimelineGroup>(video.group.Get())
                ->SetRecompFormatFromSource(As<IAMTimelineSrc>(probe.Get()).Get()),
            S_OK);
  return video.tl;
}

TEST(SmartRenderEngine, ADx50PieceCopiesTheSourcesPacketsFromItsFirstKeyFrame) {
  fixtures::Options o;
  o.width = 160;
  o.height = 120;
  o.seconds = 2.0;
  const std::string movie = Fixture(fixtures::Kind::AviDx50, o);
  auto tl = Cut(movie, 5, 25, 25.0, true);
  {
    // The group keeps its own type and holds the source's format beside it; a source without a
    // file, or a file without a picture stream, gives no format.
    ComPtr<IAMTimelineObj> g;
    ASSERT_EQ(tl->GetGroup(g.put(), 0), S_OK);
    auto group = As<IAMTimelineGroup>(g.Get());
    AM_MEDIA_TYPE mt{};
    ASSERT_EQ(group->GetSmartRecompressFormat(&mt), S_OK);
    ASSERT_TRUE(VideoInfo(mt));
    EXPECT_EQ(VideoInfo(mt)->bmiHeader.biCompression, MakeFourCC('D', 'X', '5', '0'));
    FreeMediaType(mt);
    ASSERT_EQ(group->GetMediaType(&mt), S_OK);
    EXPECT_EQ(mt.subtype, MEDIASUBTYPE_RGB555);
    FreeMediaType(mt);
    auto nameless = Node(tl.Get(), TIMELINE_MAJOR_TYPE_SOURCE);
    EXPECT_EQ(group->SetRecompFormatFromSource(As<IAMTimelineSrc>(nameless.Get()).Get()), E_INVALIDARG);
    EXPECT_EQ(group->SetRecompFormatFromSource(nullptr), E_INVALIDARG);
    auto sound = Node(tl.Get(), TIMELINE_MAJOR_TYPE_SOURCE);
    As<IAMTimelineSrc>(sound.Get())->SetMediaName(Bstr(fixtures::Make(fixtures::Kind::Wav, fixtures::ScratchFolder("fixtures"))));
    EXPECT_TRUE(FAILED(group->SetRecompFormatFromSource(As<IAMTimelineSrc>(sound.Get()).Get())));
  }
  const std::string out = Target("smart-dx50.avi");
  ASSERT_EQ(WriteAvi(tl.Get(), out, CLSID_SmartRenderEngine), EC_COMPLETE);
  fixtures::Probe p = fixtures::RunFfprobe(out);
  ASSERT_TRUE(p.ok) << p.error;
  const auto* v = p.First("video");
  ASSERT_TRUE(v);
  EXPECT_EQ(v->codecTag, "DX50");
  EXPECT_EQ(v->width, 160);
  EXPECT_EQ(v->height, 120);
  EXPECT_EQ(v->frames, 25);
  EXPECT_DOUBLE_EQ(v->frameRate, 25.0);
  ASSERT_TRUE(p.First("audio"));
  std::vector<int> expected;
  for (int n = 5; n < 30; ++n) expected.push_back(n);
  EXPECT_EQ(fixtures::DecodedFrameNumbers(out), expected);
  // From the source's first key frame inside the piece on, the packets are the source's own.
  std::vector<bool> keys;
  const auto source = VideoPackets(movie, &keys);
  const auto written = VideoPackets(out);
  ASSERT_EQ(written.size(), 25u);
  int firstKey = 5;
  while (firstKey < 30 && !keys[static_cast<size_t>(firstKey)]) ++firstKey;
  ASSERT_LT(firstKey, 30);
  for (int n = firstKey; n < 30; ++n)
    EXPECT_EQ(written[static_cast<size_t>(n - 5)], source[static_cast<size_t>(n)]) << n;
  // Without a recompression format the smart engine renders like the plain one.
  Builder plain(0, 15, "VIDEO");
  ASSERT_EQ(plain.Source(0, movie, 0, 1), S_OK);
  const std::string a = Target("smart-plain.avi"), b = Target("plain.avi");
  ASSERT_EQ(WriteAvi(plain.tl.Get(), a, CLSID_SmartRenderEngine), EC_COMPLETE);
  ASSERT_EQ(WriteAvi(plain.tl.Get(), b, CLSID_RenderEngine), EC_COMPLETE);
  EXPECT_EQ(fixtures::ReadFile(a), fixtures::ReadFile(b));
}

TEST(SmartRenderEngine, AnAlteredStretchIsRecompressedAndCopyingResumesAtTheNextKeyFrame) {
  fixtures::Options o;
  o.width = 160;
  o.height = 120;
  o.seconds = 2.0;
  const std::string movie = Fixture(fixtures::Kind::AviDx50, o);
  auto tl = Cut(movie, 0, 40, 25.0, false);
  // A transition over timeline frames 14..17 on a track of its own: those frames are altered.
  ComPtr<IAMTimelineObj> group;
  ASSERT_EQ(tl->GetGroup(group.put(), 0), S_OK);
  auto track = Node(tl.Get(), TIMELINE_MAJOR_TYPE_TRACK);
  ASSERT_EQ(As<IAMTimelineComp>(group.Get())->VTrackInsBefore(track.Get(), -1), S_OK);
  auto x = Node(tl.Get(), TIMELINE_MAJOR_TYPE_TRANSITION);
  ASSERT_EQ(x->SetSubObjectGUIDB(Bstr(kFade)), S_OK);
  ASSERT_EQ(x->SetStartStop2(14 / 25.0, 18 / 25.0), S_OK);
  ASSERT_EQ(As<IAMTimelineTransable>(track.Get())->TransAdd(x.Get()), S_OK);
  const std::string out = Target("smart-altered.avi");
  ASSERT_EQ(WriteAvi(tl.Get(), out, CLSID_SmartRenderEngine), EC_COMPLETE);
  std::vector<bool> keys, outKeys;
  const auto source = VideoPackets(movie, &keys);
  const auto written = VideoPackets(out, &outKeys);
  ASSERT_EQ(written.size(), 40u);
  EXPECT_TRUE(outKeys[0]);
  // Before the transition the source's packets; under it others; from the next key frame on the
  // source's again.
  for (int n = 0; n < 14; ++n) EXPECT_EQ(written[static_cast<size_t>(n)], source[static_cast<size_t>(n)]) << n;
  for (int n = 14; n < 18; ++n) EXPECT_NE(written[static_cast<size_t>(n)], source[static_cast<size_t>(n)]) << n;
  int nextKey = 18;
  while (nextKey < 40 && !keys[static_cast<size_t>(nextKey)]) ++nextKey;
  ASSERT_LT(nextKey, 40);
  for (int n = 18; n < nextKey; ++n) EXPECT_NE(written[static_cast<size_t>(n)], source[static_cast<size_t>(n)]) << n;
  for (int n = nextKey; n < 40; ++n) EXPECT_EQ(written[static_cast<size_t>(n)], source[static_cast<size_t>(n)]) << n;
  // The whole piece decodes to its frames; under the fade the picture is darker, not another frame.
  const auto numbers = fixtures::DecodedFrameNumbers(out);
  ASSERT_EQ(numbers.size(), 40u);
  for (int n = 0; n < 40; ++n) {
    if (n < 14 || n > 17) {
      EXPECT_EQ(numbers[static_cast<size_t>(n)], n);
    }
  }
}

TEST(SmartRenderEngine, AnMpeg1PieceComesOutUncompressedWithTheRightFrames) {
  fixtures::Options o;
  o.width = 160;
  o.height = 120;
  o.seconds = 2.0;
  const std::string movie = Fixture(fixtures::Kind::Mpeg1Ps, o);
  auto tl = Cut(movie, 10, 20, 25.0, false);
  const std::string out = Target("smart-mpeg1.avi");
  ASSERT_EQ(WriteAvi(tl.Get(), out, CLSID_SmartRenderEngine), EC_COMPLETE);
  fixtures::Probe p = fixtures::RunFfprobe(out);
  ASSERT_TRUE(p.ok) << p.error;
  const auto* v = p.First("video");
  ASSERT_TRUE(v);
  EXPECT_EQ(v->codecName, "rawvideo");
  EXPECT_EQ(v->width, 160);
  EXPECT_EQ(v->height, 120);
  std::vector<int> expected;
  for (int n = 10; n < 30; ++n) expected.push_back(n);
  EXPECT_EQ(fixtures::DecodedFrameNumbers(out), expected);
}

}  // namespace

namespace {

using namespace timeline_test;
using namespace dshow_test;

TEST(RenderEngine, EveryGroupFormatIsWrittenUprightWithItsFrames) {
  struct Case {
    int width, height, bits;
    GUID subtype;
  };
  const Case cases[] = {
      {320, 240, 16, MEDIASUBTYPE_RGB555},
      {352, -240, 16, MEDIASUBTYPE_RGB555},
      {161, 120, 16, MEDIASUBTYPE_RGB565},
      {176, 144, 24, MEDIASUBTYPE_RGB24},
      {160, 120, 32, MEDIASUBTYPE_RGB32},
  };
  const std::string clip = Clip(1.0, false);
  for (const auto& c : cases) {
    Builder b(0, 25, "VIDEO");
    MediaType mt = dshow::MakeRgbVideoType(c.width, c.height, c.bits, 0, c.subtype);
    ASSERT_EQ(As<IAMTimelineGroup>(b.group.Get())->SetMediaType(&mt), S_OK);
    ASSERT_EQ(b.Source(0, clip, 0, 0.4), S_OK);
    const std::string out = Target("format-" + std::to_string(c.width) + "x" + std::to_string(c.bits) + ".avi");
    ASSERT_EQ(WriteAvi(b.tl.Get(), out), EC_COMPLETE) << c.width;
    EXPECT_EQ(fixtures::DecodedFrameNumbers(out), (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}))
        << c.width << "x" << c.height << " " << c.bits;
    fixtures::Probe p = fixtures::RunFfprobe(out);
    ASSERT_TRUE(p.ok && p.First("video")) << p.error;
    EXPECT_EQ(p.First("video")->width, c.width);
    EXPECT_EQ(p.First("video")->height, std::abs(c.height));
  }
}

TEST(RenderEngine, APreviewPlaysToTheEndOnTheDefaultRenderers) {
  Builder audio(1, 15, "AUDIO");
  Builder video(audio.tl, 0, 15, "VIDEO");
  ASSERT_EQ(video.Source(0, Clip(), 0, 0.5), S_OK);
  ASSERT_EQ(video.Transition(0, kFade, 0, 0.5), S_OK);
  ASSERT_EQ(audio.Source(0, Clip(), 0, 0.5), S_OK);
  auto e = NewEngine();
  ASSERT_EQ(e->SetTimelineObject(audio.tl.Get()), S_OK);
  ASSERT_EQ(e->ConnectFrontEnd(), S_OK);
  ASSERT_EQ(e->RenderOutputPins(), S_OK);
  EXPECT_EQ(RunToEnd(GraphOf(e.Get()).Get()), EC_COMPLETE);
  EXPECT_EQ(e->ScrapIt(), S_OK);
}

}  // namespace

namespace {

// Media times from start to stop give exactly the source frames n with start <= n / rate < stop;
// a start less than a thousandth of a frame below a frame's own time still counts as that frame,
// so a movie of 30000/1001 frames a second described by a double rate cuts exactly.
TEST(SmartRenderEngine, CutsAreFrameExactAtFractionalRatesAndJustBelowAFrame) {
  struct Case {
    fixtures::Kind kind;
    int fps, den;
    int first, frames;
    double below;  // how far (in frames) the start and stop lie below their frames' times
  };
  const Case cases[] = {
      {fixtures::Kind::AviDx50, 30000, 1001, 7, 20, 0},
      {fixtures::Kind::AviDx50, 30000, 1001, 13, 17, 0.0009},
      {fixtures::Kind::AviMjpegPcm, 30000, 1001, 3, 30, 0.0009},
      {fixtures::Kind::AviMjpegPcm, 25, 1, 10, 40, 0.0009},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(fixtures::Name(c.kind) + " " + std::to_string(c.fps) + " from " + std::to_string(c.first));
    fixtures::Options o;
    o.width = 96;
    o.height = 64;
    o.seconds = 2.2;
    o.fps = c.fps;
    o.fpsDen = c.den;
    const std::string movie = Fixture(c.kind, o);
    const double rate = static_cast<double>(c.fps) / c.den;
    const double start = (c.first - c.below) / rate, stop = (c.first + c.frames - c.below) / rate;
    Builder video(0, 15, "VIDEO");
    ASSERT_EQ(video.Source(0, movie, 0, stop - start, start, stop), S_OK);
    auto probe = Node(video.tl.Get(), TIMELINE_MAJOR_TYPE_SOURCE);
    As<IAMTimelineSrc>(probe.Get())->SetMediaName(Bstr(movie));
    ASSERT_EQ(As<IAMTimelineGroup>(video.group.Get())->SetRecompFormatFromSource(As<IAMTimelineSrc>(probe.Get()).Get()),
              S_OK);
    const std::string out = Target("fractional.avi");
    ASSERT_EQ(WriteAvi(video.tl.Get(), out, CLSID_SmartRenderEngine), EC_COMPLETE);
    std::vector<int> expected;
    for (int n = c.first; n < c.first + c.frames; ++n) expected.push_back(n);
    EXPECT_EQ(fixtures::DecodedFrameNumbers(out), expected);
    fixtures::Probe p = fixtures::RunFfprobe(out);
    ASSERT_TRUE(p.ok) << p.error;
    ASSERT_TRUE(p.First("video"));
    EXPECT_EQ(p.First("video")->frames, c.frames);
    EXPECT_NEAR(p.First("video")->frameRate, rate, 1e-4);  // the rate as whole 100 ns frame times
  }
}

}  // namespace
