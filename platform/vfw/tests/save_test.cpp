// Recompression through the AVIFile calls: every AVI fixture with every video compressor and as
// full frames, read back with ffprobe; rate and scale, key frames, progress, cancel, quality,
// a full disk.

#include <fstream>
#include <numeric>
#include <thread>

extern "C" {
#include <libavformat/avformat.h>
}

#include "dshow/encoders.h"
#include "vfw_test_util.h"

using namespace vfw_test;
using fixtures::Kind;

namespace {

struct Codec {
  std::string name;
  uint32_t fourcc;
};

std::vector<Codec> Codecs() {
  std::vector<Codec> out = {{"FullFrames", comptypeDIB}};
  for (const dshow::CompressorInfo& c : dshow::Compressors())
    if (c.category == CLSID_VideoCompressorCategory) out.push_back({FourCCText(c.fourcc), c.fourcc});
  return out;
}

const Kind kSources[] = {Kind::AviMjpegPcm, Kind::AviRgb, Kind::AviDx50, Kind::AviDiv3, Kind::AviMp43};

class EveryCodec : public ::testing::TestWithParam<std::tuple<Kind, Codec>> {};

TEST_P(EveryCodec, WritesTheVideoOnlyUprightWithItsTag) {
  const auto& [kind, codec] = GetParam();
  const std::string source = Fixture(kind);
  const std::string target = fixtures::ScratchFolder("matrix") + "/" + fixtures::Name(kind) + "_" +
                             (codec.fourcc == comptypeDIB ? std::string("DIB") : codec.name) + ".avi";
  ASSERT_EQ(Recompress(source, target, OptionsFor(codec.fourcc)), AVIERR_OK);

  const fixtures::Probe probe = fixtures::RunFfprobe(target);
  ASSERT_TRUE(probe.ok) << probe.error;
  EXPECT_EQ(probe.formatName, "avi");
  EXPECT_EQ(probe.First("audio"), nullptr);
  const fixtures::ProbedStream* v = probe.First("video");
  ASSERT_NE(v, nullptr);
  EXPECT_EQ(v->codecTag, codec.fourcc == comptypeDIB ? "[0][0][0][0]" : codec.name);
  if (codec.fourcc == comptypeDIB) {
    EXPECT_EQ(v->codecName, "rawvideo");
  }
  EXPECT_EQ(v->width, 160);
  EXPECT_EQ(v->height, 120);
  const int n = fixtures::FrameCount(SmallMovie());
  EXPECT_EQ(v->frames, n);
  EXPECT_NEAR(v->frameRate, 25.0, 1e-9);
  std::vector<int> expected(static_cast<size_t>(n));
  std::iota(expected.begin(), expected.end(), 0);
  EXPECT_EQ(fixtures::DecodedFrameNumbers(target), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Fixtures, EveryCodec, ::testing::Combine(::testing::ValuesIn(kSources), ::testing::ValuesIn(Codecs())),
    [](const ::testing::TestParamInfo<std::tuple<Kind, Codec>>& info) {
      return fixtures::Name(std::get<0>(info.param)) + "_" + std::get<1>(info.param).name;
    });

// A copy of a fixture's video stream with the frame rate 30000/1001.
std::string NtscCopy(const std::string& source) {
  const std::string path = fixtures::ScratchFolder("ntsc") + "/ntsc.avi";
  AVFormatContext* in = nullptr;
  EXPECT_GE(avformat_open_input(&in, source.c_str(), nullptr, nullptr), 0);
  avformat_find_stream_info(in, nullptr);
  int vi = av_find_best_stream(in, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  AVFormatContext* out = nullptr;
  avformat_alloc_output_context2(&out, nullptr, "avi", path.c_str());
  AVStream* st = avformat_new_stream(out, nullptr);
  avcodec_parameters_copy(st->codecpar, in->streams[vi]->codecpar);
  st->time_base = AVRational{1001, 30000};
  avio_open(&out->pb, path.c_str(), AVIO_FLAG_WRITE);
  EXPECT_GE(avformat_write_header(out, nullptr), 0);
  AVPacket* pkt = av_packet_alloc();
  int64_t n = 0;
  while (av_read_frame(in, pkt) >= 0) {
    if (pkt->stream_index == vi) {
      pkt->stream_index = 0;
      pkt->pts = pkt->dts = av_rescale_q(n++, AVRational{1001, 30000}, st->time_base);
      pkt->duration = 0;
      av_write_frame(out, pkt);
    }
    av_packet_unref(pkt);
  }
  av_write_trailer(out);
  av_packet_free(&pkt);
  avio_closep(&out->pb);
  avformat_free_context(out);
  avformat_close_input(&in);
  return path;
}

TEST(Save, KeepsTheExactRateAndScale) {
  const std::string source = NtscCopy(Fixture(Kind::AviMjpegPcm));
  const std::string target = Folder("rate") + "/out.avi";
  ASSERT_EQ(Recompress(source, target, OptionsFor(MakeAviFourCC('F', 'M', 'P', '4'))), AVIERR_OK);
  Source back(target);
  ASSERT_EQ(back.status, AVIERR_OK);
  AVISTREAMINFO info;
  ASSERT_EQ(AVIStreamInfo(back.video, &info, sizeof info), AVIERR_OK);
  EXPECT_EQ(info.dwScale, 1001u);
  EXPECT_EQ(info.dwRate, 30000u);
  EXPECT_EQ(info.fccHandler, MakeAviFourCC('F', 'M', 'P', '4'));
  EXPECT_EQ(info.dwLength, static_cast<uint32_t>(fixtures::FrameCount(SmallMovie())));
  const fixtures::Probe probe = fixtures::RunFfprobe(target);
  ASSERT_TRUE(probe.ok);
  EXPECT_NEAR(probe.First("video")->frameRate, 30000.0 / 1001.0, 1e-6);
}

// The key-frame flags of a file's video packets.
std::vector<bool> KeyFlags(const std::string& path) {
  std::vector<bool> keys;
  AVFormatContext* in = nullptr;
  if (avformat_open_input(&in, path.c_str(), nullptr, nullptr) < 0) return keys;
  AVPacket* pkt = av_packet_alloc();
  while (av_read_frame(in, pkt) >= 0) {
    keys.push_back((pkt->flags & AV_PKT_FLAG_KEY) != 0);
    av_packet_unref(pkt);
  }
  av_packet_free(&pkt);
  avformat_close_input(&in);
  return keys;
}

TEST(Save, WritesTheKeyFramesTheOptionsAskFor) {
  AVICOMPRESSOPTIONS o = OptionsFor(MakeAviFourCC('F', 'M', 'P', '4'));
  o.dwFlags |= AVICOMPRESSF_KEYFRAMES;
  o.dwKeyFrameEvery = 5;
  const std::string target = Folder("keys") + "/out.avi";
  ASSERT_EQ(Recompress(Fixture(Kind::AviMjpegPcm), target, o), AVIERR_OK);
  std::vector<bool> keys = KeyFlags(target);
  ASSERT_EQ(keys.size(), static_cast<size_t>(fixtures::FrameCount(SmallMovie())));
  for (size_t i = 0; i < keys.size(); ++i) EXPECT_EQ(keys[i], i % 5 == 0) << "frame " << i;
}

TEST(Save, ReportsProgressOnTheCallersThread) {
  std::vector<int> seen;
  std::vector<std::thread::id> threads;
  const std::string target = Folder("progress") + "/out.avi";
  ASSERT_EQ(Recompress(Fixture(Kind::AviDx50), target, OptionsFor(MakeAviFourCC('M', 'J', 'P', 'G')),
                       [&](int percent) -> intptr_t {
                         seen.push_back(percent);
                         threads.push_back(std::this_thread::get_id());
                         return 0;
                       }),
            AVIERR_OK);
  ASSERT_GE(seen.size(), 3u);
  EXPECT_EQ(seen.front(), 0);
  EXPECT_EQ(seen.back(), 100);
  EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
  // Frames come out of the encoder a few at a time: most of the 15 give a new percentage.
  EXPECT_GE(seen.size(), 8u);
  for (const auto& id : threads) EXPECT_EQ(id, std::this_thread::get_id());
}

TEST(Save, AnAbortLeavesTheOldTargetAndNoPartialFile) {
  const std::string folder = Folder("abort");
  const std::string target = folder + "/out.avi";
  { std::ofstream(target) << "the old target"; }
  const std::vector<uint8_t> before = fixtures::ReadFile(target);
  int last = -1;
  EXPECT_EQ(Recompress(Fixture(Kind::AviMjpegPcm), target, OptionsFor(MakeAviFourCC('F', 'M', 'P', '4')),
                       [&](int percent) -> intptr_t {
                         last = percent;
                         return percent >= 30 ? 1 : 0;
                       }),
            AVIERR_USERABORT);
  EXPECT_GE(last, 30);
  EXPECT_LT(last, 50);  // stopped within a frame of the answer
  EXPECT_EQ(fixtures::ReadFile(target), before);
  EXPECT_EQ(FilesIn(folder), std::vector<std::string>{"out.avi"});
}

TEST(Save, ACompletedSaveReplacesTheOldTarget) {
  const std::string folder = Folder("replace");
  const std::string target = folder + "/out.avi";
  { std::ofstream(target) << "the old target"; }
  ASSERT_EQ(Recompress(Fixture(Kind::AviMjpegPcm), target, OptionsFor(MakeAviFourCC('M', 'J', 'P', 'G'))),
            AVIERR_OK);
  EXPECT_TRUE(fixtures::RunFfprobe(target).ok);
  EXPECT_EQ(FilesIn(folder), std::vector<std::string>{"out.avi"});
}

// A target's name as long as the folder takes: the file being written beside it still fits, and
// the finished file gets exactly that name.
TEST(Save, TargetsWithTheLongestNamesGetTheirExactName) {
  const std::string folder = Folder("long");
  for (const size_t length : {250u, 255u}) {
    SCOPED_TRACE(length);
    const std::string name = std::string(length - 4, 'v') + ".avi";
    ASSERT_EQ(Recompress(Fixture(Kind::AviMjpegPcm), folder + "/" + name, OptionsFor(MakeAviFourCC('M', 'J', 'P', 'G'))),
              AVIERR_OK);
    EXPECT_TRUE(fixtures::RunFfprobe(folder + "/" + name).ok);
    EXPECT_EQ(FilesIn(folder), std::vector<std::string>{name});
    fs::remove(folder + "/" + name);
  }
}

TEST(Save, LowerQualityGivesASmallerFile) {
  const std::string folder = Folder("quality");
  const std::string source = Fixture(Kind::AviMjpegPcm);
  for (uint32_t fourcc : {MakeAviFourCC('F', 'M', 'P', '4'), MakeAviFourCC('M', 'J', 'P', 'G')}) {
    ASSERT_EQ(Recompress(source, folder + "/q10.avi", OptionsFor(fourcc, 1000)), AVIERR_OK);
    ASSERT_EQ(Recompress(source, folder + "/q100.avi", OptionsFor(fourcc, 10000)), AVIERR_OK);
    EXPECT_LT(fs::file_size(folder + "/q10.avi"), fs::file_size(folder + "/q100.avi")) << FourCCText(fourcc);
  }
}

TEST(Save, AFullDiskGivesFileWriteAndKeepsTheOldTarget) {
  const std::string folder = Folder("fulldisk");
  const std::string target = folder + "/out.avi";
  { std::ofstream(target) << "the old target"; }
  const std::vector<uint8_t> before = fixtures::ReadFile(target);
  const std::string source = Fixture(Kind::AviMjpegPcm);
  HRESULT hr;
  {
    fixtures::FileSizeLimit full(100 * 1024);  // room for a few full frames only
    hr = Recompress(source, target, OptionsFor(comptypeDIB));
  }
  EXPECT_EQ(hr, AVIERR_FILEWRITE);
  EXPECT_EQ(fixtures::ReadFile(target), before);
  EXPECT_EQ(FilesIn(folder), std::vector<std::string>{"out.avi"});
}

TEST(Save, AFolderThatCannotBeWrittenGivesFileOpen) {
  const std::string target = Folder("nofolder") + "/missing/out.avi";
  EXPECT_EQ(Recompress(Fixture(Kind::AviMjpegPcm), target, OptionsFor(MakeAviFourCC('M', 'J', 'P', 'G'))),
            AVIERR_FILEOPEN);
  EXPECT_FALSE(fs::exists(target));
}

TEST(Save, AFileStreamWithoutOptionsIsCopied) {
  const std::string source = Fixture(Kind::AviDx50);
  const std::string target = Folder("copy") + "/out.avi";
  Source s(source);
  ASSERT_EQ(s.status, AVIERR_OK);
  ASSERT_EQ(AVISaveV(target.c_str(), nullptr, {}, 1, &s.video, nullptr), AVIERR_OK);
  const fixtures::Probe probe = fixtures::RunFfprobe(target);
  ASSERT_TRUE(probe.ok);
  EXPECT_EQ(probe.First("video")->codecTag, "DX50");
  EXPECT_EQ(probe.First("audio"), nullptr);
  EXPECT_EQ(probe.First("video")->frames, fixtures::FrameCount(SmallMovie()));
}

}  // namespace
