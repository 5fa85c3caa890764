// 16-bit RGB through the AVI mux: FFmpeg decodes what was written with its own colours and
// orientation (5-6-5 as bit fields, 5-5-5 as plain RGB), and the AVI splitter reads it back as the
// same format.
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include "dshow/baseclasses.h"
#include "dshow_test_util.h"
#include "internal.h"

using namespace dshow_test;

namespace {

struct Rgb {
  int r, g, b;
};

struct Format {
  const char* name;
  GUID subtype;
  AVPixelFormat decoded;  // what FFmpeg must report for the written stream
  int redBits, greenBits, blueBits;
};

const Format k565{"565", MEDIASUBTYPE_RGB565, AV_PIX_FMT_RGB565LE, 5, 6, 5};
const Format k555{"555", MEDIASUBTYPE_RGB555, AV_PIX_FMT_RGB555LE, 5, 5, 5};

// Four quadrants (top-left, top-right, bottom-left, bottom-right) as fractions of full scale:
// channels whose top bit alone is set tell 5-6-5 from 5-5-5 and a swapped order.
const int kLevels[4][3] = {{2, 0, 0}, {0, 2, 0}, {0, 0, 2}, {1, 1, 1}};  // 2 = full, 1 = half

uint16_t Pack(const Format& f, const int* level) {
  auto value = [](int bits, int l) { return l == 2 ? (1 << bits) - 1 : l == 1 ? 1 << (bits - 1) : 0; };
  return static_cast<uint16_t>(value(f.redBits, level[0]) << (f.greenBits + f.blueBits) |
                               value(f.greenBits, level[1]) << f.blueBits | value(f.blueBits, level[2]));
}

Rgb Expected(const int* level) {
  auto eight = [](int l) { return l == 2 ? 255 : l == 1 ? 130 : 0; };
  return {eight(level[0]), eight(level[1]), eight(level[2])};
}

int Quadrant(int x, int y, int width, int height) { return (y < height / 2 ? 0 : 2) + (x < width / 2 ? 0 : 1); }

// The DIB of the quadrant picture in the type's row order.
std::vector<uint8_t> Picture(const Format& f, int width, int height) {
  const int stride = DibStride(width, 16);
  std::vector<uint8_t> dib(static_cast<size_t>(stride) * std::abs(height), 0);
  const int rows = std::abs(height);
  for (int y = 0; y < rows; ++y) {
    const int stored = height > 0 ? rows - 1 - y : y;
    for (int x = 0; x < width; ++x) {
      uint16_t v = Pack(f, kLevels[Quadrant(x, y, width, rows)]);
      dib[static_cast<size_t>(stored) * stride + 2 * x] = static_cast<uint8_t>(v);
      dib[static_cast<size_t>(stored) * stride + 2 * x + 1] = static_cast<uint8_t>(v >> 8);
    }
  }
  return dib;
}

// Writes `frames` copies of the picture through AVI Mux and File writer.
void WriteThroughMux(const MediaType& type, const std::vector<uint8_t>& dib, int frames, const std::string& target) {
  auto g = NewGraph();
  auto source = MakeComObject<HandSource>(type);
  ASSERT_EQ(g->AddFilter(source.Get(), u"Hand Source"), S_OK);
  ComPtr<IBaseFilter> mux = AddMuxAndWriter(g.Get(), target);
  ASSERT_TRUE(mux);
  ASSERT_EQ(g->ConnectDirect(PinNamed(source.Get(), "Out").Get(), PinNamed(mux.Get(), "Input 01").Get(), nullptr), S_OK);
  ComPtr<IPin> muxOut = PinNamed(mux.Get(), "AVI Out");
  ASSERT_EQ(g->Render(muxOut.Get()), S_OK);
  ComPtr<IMediaControl> mc = g.As<IMediaControl>();
  ASSERT_TRUE(SUCCEEDED(mc->Pause()));
  for (int i = 0; i < frames; ++i) {
    IMediaSample* sample = nullptr;
    ASSERT_EQ(source->out_.GetDeliveryBuffer(static_cast<LONG>(dib.size()), &sample), S_OK);
    BYTE* data = nullptr;
    sample->GetPointer(&data);
    std::memcpy(data, dib.data(), dib.size());
    sample->SetActualDataLength(static_cast<LONG>(dib.size()));
    REFERENCE_TIME start = i * 400000LL, stop = start + 400000LL;
    sample->SetTime(&start, &stop);
    EXPECT_EQ(source->out_.Deliver(sample), S_OK);
    sample->Release();
  }
  EXPECT_EQ(source->out_.DeliverEndOfStream(), S_OK);
  EXPECT_EQ(mc->Stop(), S_OK);
}

struct Decoded {
  AVPixelFormat format = AV_PIX_FMT_NONE;
  int width = 0, height = 0, frames = 0;
  std::vector<uint8_t> rgb;  // the first frame, top-down RGB24
};

Decoded DecodeWithFfmpeg(const std::string& path) {
  Decoded d;
  AVFormatContext* ic = nullptr;
  if (avformat_open_input(&ic, path.c_str(), nullptr, nullptr) < 0) return d;
  avformat_find_stream_info(ic, nullptr);
  const int index = av_find_best_stream(ic, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  const AVCodec* codec = index >= 0 ? avcodec_find_decoder(ic->streams[index]->codecpar->codec_id) : nullptr;
  AVCodecContext* ctx = codec ? avcodec_alloc_context3(codec) : nullptr;
  if (ctx && avcodec_parameters_to_context(ctx, ic->streams[index]->codecpar) >= 0 &&
      avcodec_open2(ctx, codec, nullptr) >= 0) {
    AVPacket* pkt = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    auto take = [&] {
      while (avcodec_receive_frame(ctx, frame) >= 0) {
        if (d.frames++ == 0) {
          d.format = static_cast<AVPixelFormat>(frame->format);
          d.width = frame->width;
          d.height = frame->height;
          d.rgb.assign(static_cast<size_t>(frame->width) * frame->height * 3, 0);
          SwsContext* sws = sws_getContext(frame->width, frame->height, d.format, frame->width, frame->height,
                                           AV_PIX_FMT_RGB24, SWS_POINT, nullptr, nullptr, nullptr);
          uint8_t* dst[1] = {d.rgb.data()};
          int dstStride[1] = {frame->width * 3};
          sws_scale(sws, frame->data, frame->linesize, 0, frame->height, dst, dstStride);
          sws_freeContext(sws);
        }
      }
    };
    while (av_read_frame(ic, pkt) >= 0) {
      if (pkt->stream_index == index && avcodec_send_packet(ctx, pkt) >= 0) take();
      av_packet_unref(pkt);
    }
    avcodec_send_packet(ctx, nullptr);
    take();
    av_frame_free(&frame);
    av_packet_free(&pkt);
  }
  avcodec_free_context(&ctx);
  avformat_close_input(&ic);
  return d;
}

// Every pixel decodes to its quadrant's colour (within the 5- and 6-bit steps).
void ExpectQuadrants(const Decoded& d, int width, int height, const std::string& what) {
  ASSERT_EQ(d.width, width) << what;
  ASSERT_EQ(d.height, height) << what;
  int wrong = 0;
  for (int y = 0; y < height && wrong < 4; ++y)
    for (int x = 0; x < width && wrong < 4; ++x) {
      const uint8_t* p = &d.rgb[(static_cast<size_t>(y) * width + x) * 3];
      Rgb want = Expected(kLevels[Quadrant(x, y, width, height)]);
      if (std::abs(p[0] - want.r) > 6 || std::abs(p[1] - want.g) > 6 || std::abs(p[2] - want.b) > 6) {
        ++wrong;
        ADD_FAILURE() << what << " at (" << x << "," << y << "): " << int(p[0]) << "," << int(p[1]) << ","
                      << int(p[2]) << " instead of " << want.r << "," << want.g << "," << want.b;
      }
    }
}

TEST(MuxRgb16, FfmpegDecodesTheColoursWrittenAndTheSplitterReadsTheFormatBack) {
  struct Case {
    const Format* format;
    int width, height;  // a negative height is a top-down picture
  };
  const Case cases[] = {
      {&k565, 20, 8}, {&k565, 21, -8}, {&k565, 20, -6}, {&k555, 20, 8}, {&k555, 21, -8},
  };
  for (const Case& c : cases) {
    const std::string what = std::string(c.format->name) + " " + std::to_string(c.width) + "x" +
                             std::to_string(c.height);
    const std::string written = Target("rgb16-" + std::string(c.format->name) + "-" + std::to_string(c.width) + "x" +
                                       std::to_string(c.height) + ".avi");
    MediaType type = dshow::MakeRgbVideoType(c.width, c.height, 16, 400000, c.format->subtype);
    WriteThroughMux(type, Picture(*c.format, c.width, c.height), 3, written);
    if (HasFatalFailure()) return;
    Decoded d = DecodeWithFfmpeg(written);
    EXPECT_EQ(d.format, c.format->decoded) << what << ": " << av_get_pix_fmt_name(d.format);
    EXPECT_EQ(d.frames, 3) << what;
    ExpectQuadrants(d, c.width, std::abs(c.height), what);

    // The splitter offers the written format; copied through the mux again it keeps its colours.
    auto g = NewGraph();
    ComPtr<IBaseFilter> src;
    ASSERT_EQ(g->AddSourceFilter(U(written).c_str(), nullptr, src.put()), S_OK) << what;
    ComPtr<IBaseFilter> splitter = AddRegistered(g.Get(), "AVI Splitter");
    ASSERT_TRUE(splitter);
    ASSERT_EQ(g->ConnectDirect(PinNamed(src.Get(), "Output").Get(), PinsOf(splitter.Get())[0].Get(), nullptr), S_OK);
    ComPtr<IPin> out;
    for (auto& p : PinsOf(splitter.Get())) {
      PIN_DIRECTION dir;
      p->QueryDirection(&dir);
      if (dir == PINDIR_OUTPUT) out = p;
    }
    ASSERT_TRUE(out) << what;
    const std::string copy = Target("rgb16-copy-" + std::string(c.format->name) + "-" + std::to_string(c.width) + ".avi");
    ComPtr<IBaseFilter> mux = AddMuxAndWriter(g.Get(), copy);
    ASSERT_EQ(g->ConnectDirect(out.Get(), PinNamed(mux.Get(), "Input 01").Get(), nullptr), S_OK) << what;
    MediaType offered;
    ASSERT_EQ(out->ConnectionMediaType(&offered), S_OK);
    EXPECT_EQ(offered.subtype, c.format->subtype) << what;
    ASSERT_TRUE(VideoInfo(offered));
    EXPECT_EQ(VideoInfo(offered)->bmiHeader.biBitCount, 16) << what;
    ASSERT_EQ(g->Render(PinNamed(mux.Get(), "AVI Out").Get()), S_OK);
    EXPECT_EQ(RunToEnd(g.Get()), EC_COMPLETE) << what;
    g = nullptr;
    Decoded back = DecodeWithFfmpeg(copy);
    EXPECT_EQ(back.format, c.format->decoded) << what;
    ExpectQuadrants(back, c.width, std::abs(c.height), what + " (copied)");
  }
}

}  // namespace
