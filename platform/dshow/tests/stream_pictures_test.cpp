// The pictures of MPEG program and transport streams (and of an AVI file beside them) come
// through the graph (splitter, decoder, renderer) as coded: every picture shows the frame number
// of its time.
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <string>
#include <vector>

extern "C" {
#include <libavformat/avformat.h>
}

#include "dshow/avbridge.h"
#include "dshow/baseclasses.h"
#include "dshow_test_util.h"
#include "hang_guard.h"

using namespace dshow_test;
using fixtures::Kind;

namespace {

// A pass-through in front of the video renderer: reads the frame number drawn into each picture.
class PictureReader : public dshow::InPlaceTransformFilter {
 public:
  PictureReader()
      : InPlaceTransformFilter(u"Picture Reader", MakeGuid("{5B2E8D41-7C3A-4F19-B6E0-2D9A4C7F1E63}"), false) {}
  HRESULT CheckInputType(const AM_MEDIA_TYPE& mt) override {
    const VIDEOINFOHEADER* v = VideoInfo(mt);
    if (mt.majortype != MEDIATYPE_Video || !v) return VFW_E_TYPE_NOT_ACCEPTED;
    return v->bmiHeader.biBitCount == 24 || v->bmiHeader.biBitCount == 32 ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
  }
  HRESULT Transform(IMediaSample* sample) override {
    MediaType mt = InputPin()->CurrentType();
    const VIDEOINFOHEADER* v = VideoInfo(mt);
    BYTE* data = nullptr;
    REFERENCE_TIME start = 0, stop = 0;
    if (!v || FAILED(sample->GetPointer(&data)) || FAILED(sample->GetTime(&start, &stop))) return E_UNEXPECTED;
    const int width = v->bmiHeader.biWidth, height = std::abs(v->bmiHeader.biHeight);
    const int bytes = v->bmiHeader.biBitCount / 8;
    const int stride = DibStride(width, v->bmiHeader.biBitCount);
    // Three bytes a pixel, top row first.
    std::vector<uint8_t> rgb(static_cast<size_t>(width) * height * 3);
    for (int y = 0; y < height; ++y) {
      const BYTE* row = data + static_cast<size_t>(stride) * (v->bmiHeader.biHeight > 0 ? height - 1 - y : y);
      for (int x = 0; x < width; ++x)
        for (int c = 0; c < 3; ++c) rgb[(static_cast<size_t>(y) * width + x) * 3 + c] = row[x * bytes + c];
    }
    std::lock_guard lock(lock_);
    seen_.push_back({start, fixtures::ReadFrameNumber(rgb.data(), width * 3, width, height)});
    return S_OK;
  }
  struct Picture {
    REFERENCE_TIME start;
    int number;
  };
  std::vector<Picture> Seen() {
    std::lock_guard lock(lock_);
    return seen_;
  }
  void Clear() {
    std::lock_guard lock(lock_);
    seen_.clear();
  }

 private:
  std::mutex lock_;
  std::vector<Picture> seen_;
};

TEST(StreamPictures, EveryPictureThroughTheGraphShowsTheFrameOfItsTime) {
  // AVI packets carry only their decoding times: with B-frames the decoder gives them out in the
  // order it shows the pictures.
  const Kind kinds[] = {Kind::Mpeg1Ps, Kind::Mpeg2Ps, Kind::MpegTs, Kind::AviMjpegPcm, Kind::AviMpeg4BFrames};
  const fixtures::Options options;  // 25 frames a second, groups of 12 pictures with B-frames
  const int frames = fixtures::FrameCount(options);
  const REFERENCE_TIME frameTime = UNITS / options.fps;
  // Each file plays from the start to the end, then again from a picture inside its second group
  // (a seek after a whole run: nothing of the run before may stay in the times).
  struct Run {
    int from;                 // the first frame of the run
    std::vector<int> wanted;  // frames that must be there at their time
  };
  const Run runs[] = {
      // The first picture, pictures inside a group (after the first key frame and in the second
      // group) and the last.
      {0, {0, 5, 17, frames - 1}},
      {15, {15, 17, frames - 1}},
  };
  for (Kind kind : kinds) {
    SCOPED_TRACE(fixtures::Name(kind));
    const std::string path = Fixture(kind, options);
    auto g = NewGraph();
    ASSERT_GE(g->RenderFile(U(path).c_str(), nullptr), 0);
    auto reader = MakeComObject<PictureReader>();
    SpliceBefore(g.Get(), "Video Renderer", reader.Get(), u"Picture Reader");
    if (HasFatalFailure()) return;
    for (const Run& run : runs) {
      SCOPED_TRACE("from frame " + std::to_string(run.from));
      reader->Clear();
      // Sample times count from the position the run starts at.
      const REFERENCE_TIME from = run.from * frameTime;
      ASSERT_EQ(g.As<IMediaPosition>()->put_CurrentPosition(static_cast<double>(from) / UNITS), S_OK);
      EXPECT_EQ(RunToEnd(g.Get()), EC_COMPLETE);
      const auto seen = reader->Seen();
      // Every frame from the start of the run on, once (an MPEG stream's pictures may start a
      // little after its sound: the picture still on the screen at the start comes too).
      size_t fromStart = 0;
      for (const auto& p : seen)
        if (p.start > -frameTime / 2) ++fromStart;
      EXPECT_EQ(fromStart, static_cast<size_t>(frames - run.from));
      EXPECT_LE(seen.size(), fromStart + 1);
      std::string wrong;  // "time: number shown" of each picture that shows another frame
      for (const auto& p : seen) {
        const int at = static_cast<int>((from + p.start + frameTime / 2) / frameTime);
        if (p.number != at % 256)
          wrong += " " + std::to_string((from + p.start) / 1e7) + ": " + std::to_string(p.number);
      }
      EXPECT_EQ(wrong, "");
      for (int wanted : run.wanted) {
        bool found = false;
        for (const auto& p : seen)
          if (p.number == wanted && std::llabs(from + p.start - wanted * frameTime) < frameTime / 2) found = true;
        EXPECT_TRUE(found) << "frame " << wanted;
      }
    }
  }
}

// The video packets of a file in decoding order, and the media type of their stream.
struct CodedVideo {
  MediaType type;
  std::vector<std::vector<uint8_t>> packets;
  std::vector<bool> keys;
};
CodedVideo ReadCodedVideo(const std::string& path, REFERENCE_TIME frameTime) {
  CodedVideo v;
  AVFormatContext* ic = nullptr;
  if (avformat_open_input(&ic, path.c_str(), nullptr, nullptr) < 0) return v;
  const int stream = avformat_find_stream_info(ic, nullptr) >= 0
                         ? av_find_best_stream(ic, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0)
                         : -1;
  if (stream >= 0 && dshow::MediaTypeFromCodec(ic->streams[stream]->codecpar, frameTime, &v.type)) {
    AVPacket* pkt = av_packet_alloc();
    while (pkt && av_read_frame(ic, pkt) >= 0) {
      if (pkt->stream_index == stream) {
        v.packets.emplace_back(pkt->data, pkt->data + pkt->size);
        v.keys.push_back((pkt->flags & AV_PKT_FLAG_KEY) != 0);
      }
      av_packet_unref(pkt);
    }
    av_packet_free(&pkt);
  }
  avformat_close_input(&ic);
  return v;
}

// A hand source that tells when the graph has paused it (on the way to running): samples can go
// out from then on.
class PausingSource : public HandSource {
 public:
  using HandSource::HandSource;
  void WaitPaused() {
    std::unique_lock lock(pauseLock_);
    pauseCond_.wait(lock, [this] { return paused_; });
  }

 protected:
  HRESULT OnPause() override {
    std::lock_guard lock(pauseLock_);
    paused_ = true;
    pauseCond_.notify_all();
    return S_OK;
  }
  HRESULT OnStop() override {
    std::lock_guard lock(pauseLock_);
    paused_ = false;
    return S_OK;
  }

 private:
  std::mutex pauseLock_;
  std::condition_variable pauseCond_;
  bool paused_ = false;
};

// Pictures that come without a time follow the picture before them; a stop (as before every
// seek) ends that run of times, and the next run counts from its own start.
TEST(StreamPictures, UntimedPicturesCountFromTheStartOfEachRun) {
  const fixtures::Options options;
  const int frames = fixtures::FrameCount(options);
  const REFERENCE_TIME frameTime = UNITS / options.fps;
  const CodedVideo coded = ReadCodedVideo(Fixture(Kind::Mpeg1Ps, options), frameTime);
  ASSERT_FALSE(coded.packets.empty());
  auto g = NewGraph();
  auto source = MakeComObject<PausingSource>(coded.type);
  source->out_.SetBufferSize(1 << 20);
  auto reader = MakeComObject<PictureReader>();
  ASSERT_EQ(g->AddFilter(source.Get(), u"Source"), S_OK);
  ComPtr<IBaseFilter> decoder = AddRegistered(g.Get(), "MPEG Video Decoder");
  ASSERT_TRUE(decoder);
  ASSERT_EQ(g->AddFilter(reader.Get(), u"Picture Reader"), S_OK);
  ComPtr<IBaseFilter> sink = AddRegistered(g.Get(), "Null Renderer");
  ASSERT_TRUE(sink);
  ASSERT_EQ(g->ConnectDirect(PinNamed(source.Get(), "Out").Get(), PinNamed(decoder.Get(), "XForm In").Get(), nullptr), S_OK);
  ASSERT_GE(g->Connect(PinNamed(decoder.Get(), "XForm Out").Get(), reader->InputPin()), 0);
  ASSERT_GE(g->Connect(reader->OutputPin(), PinsOf(sink.Get())[0].Get()), 0);
  ComPtr<IMediaControl> mc = g.As<IMediaControl>();
  ComPtr<IMediaEvent> ev = g.As<IMediaEvent>();
  for (int run = 0; run < 2; ++run) {
    SCOPED_TRACE("run " + std::to_string(run));
    reader->Clear();
    HangGuard guard("a run of untimed pictures");
    // The run waits for the renderer's first picture: the pictures go out from another thread.
    std::thread feeder([&] {
      source->WaitPaused();
      for (size_t i = 0; i < coded.packets.size(); ++i) {
        IMediaSample* sample = nullptr;
        const LONG size = static_cast<LONG>(coded.packets[i].size());
        if (source->out_.GetDeliveryBuffer(size, &sample) != S_OK) break;
        BYTE* data = nullptr;
        sample->GetPointer(&data);
        std::copy(coded.packets[i].begin(), coded.packets[i].end(), data);
        sample->SetActualDataLength(size);
        sample->SetTime(nullptr, nullptr);
        sample->SetSyncPoint(coded.keys[i]);
        const HRESULT hr = source->out_.Deliver(sample);
        sample->Release();
        if (hr != S_OK) break;
      }
      source->out_.DeliverEndOfStream();
    });
    EXPECT_TRUE(SUCCEEDED(mc->Run()));
    LONG code = 0;
    EXPECT_EQ(ev->WaitForCompletion(30000, &code), S_OK);
    EXPECT_EQ(code, EC_COMPLETE);
    mc->Stop();
    feeder.join();
    const auto seen = reader->Seen();
    ASSERT_EQ(seen.size(), static_cast<size_t>(frames));
    for (size_t i = 0; i < seen.size(); ++i) {
      EXPECT_EQ(seen[i].start, static_cast<REFERENCE_TIME>(i) * frameTime) << "picture " << i;
      EXPECT_EQ(seen[i].number, static_cast<int>(i)) << "picture " << i;
    }
  }
}

}  // namespace
