// Media fixtures generated with libavformat/libavcodec: synthetic frames that carry their own
// frame number, a sine tone, and deliberately broken files.
#include "fixtures.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <stdexcept>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

namespace fixtures {
namespace {

namespace fs = std::filesystem;

// Frame-number code: a white start block, kBits bits (LSB first), a black end block. At the
// default width of 160 each block is 16 pixels wide and the band 16 rows high, so the block edges
// fall on the codecs' macroblock edges and survive lossy coding.
constexpr int kBits = 8;
constexpr int kBlocks = kBits + 2;
constexpr int kCodeRange = 1 << kBits;

std::string AvError(int err) {
  char buf[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(err, buf, sizeof buf);
  return buf;
}

[[noreturn]] void Fail(const std::string& what, int err = 0) {
  throw std::runtime_error("fixture: " + what + (err ? ": " + AvError(err) : std::string()));
}

void CheckAv(int err, const std::string& what) {
  if (err < 0) Fail(what, err);
}

struct Deleter {
  void operator()(AVCodecContext* p) const { avcodec_free_context(&p); }
  void operator()(AVFrame* p) const { av_frame_free(&p); }
  void operator()(AVPacket* p) const { av_packet_free(&p); }
  void operator()(SwsContext* p) const { sws_freeContext(p); }
  void operator()(AVFormatContext* p) const {
    if (p->oformat) {
      if (!(p->oformat->flags & AVFMT_NOFILE) && p->pb) avio_closep(&p->pb);
      avformat_free_context(p);
    } else {
      avformat_close_input(&p);
    }
  }
};
template <class T>
using Ptr = std::unique_ptr<T, Deleter>;

int BandHeight(int height) { return std::max(2, height * 2 / 15); }

// Draws frame n as RGB24 into buf (stride = width * 3).
void DrawFrame(std::vector<uint8_t>& buf, int width, int height, int n) {
  buf.assign(static_cast<size_t>(width) * height * 3, 0);
  const int band = BandHeight(height);
  const int barWidth = std::max(2, width / 16);
  const int barX = (n * std::max(1, width / 25)) % std::max(1, width - barWidth);
  for (int y = 0; y < height; ++y) {
    uint8_t* row = buf.data() + static_cast<size_t>(y) * width * 3;
    for (int x = 0; x < width; ++x) {
      uint8_t* px = row + x * 3;
      if (y < band) {
        const int block = x * kBlocks / width;
        bool white;
        if (block == 0) white = true;
        else if (block == kBlocks - 1) white = false;
        else white = ((n % kCodeRange) >> (block - 1)) & 1;
        px[0] = px[1] = px[2] = white ? 255 : 0;
      } else if (x >= barX && x < barX + barWidth) {
        px[0] = 230; px[1] = 220; px[2] = 30;
      } else {
        px[0] = static_cast<uint8_t>(40 + x * 120 / width);
        px[1] = static_cast<uint8_t>(40 + (y - band) * 120 / std::max(1, height - band));
        px[2] = static_cast<uint8_t>(90 + (n * 5) % 80);
      }
    }
  }
}

struct VideoSpec {
  const char* encoder = nullptr;
  AVPixelFormat pixFmt = AV_PIX_FMT_YUV420P;
  uint32_t tag = 0;
  int maxBFrames = -1;  // -1: the encoder's default
  std::map<std::string, std::string> privateOptions;
  int64_t bitRate = 0;
  bool still = false;
  // Constant quantiser 3 instead of a bit rate: keeps the frame-number blocks crisp.
  bool fixedQuality = false;
};
struct AudioSpec {
  const char* encoder = nullptr;
  int sampleRate = 44100;
  int64_t bitRate = 0;
};
struct Recipe {
  const char* format = nullptr;
  VideoSpec video;
  AudioSpec audio;
};

constexpr uint32_t Tag(char a, char b, char c, char d) {
  return static_cast<uint32_t>(static_cast<uint8_t>(a)) |
         (static_cast<uint32_t>(static_cast<uint8_t>(b)) << 8) |
         (static_cast<uint32_t>(static_cast<uint8_t>(c)) << 16) |
         (static_cast<uint32_t>(static_cast<uint8_t>(d)) << 24);
}

Recipe RecipeFor(Kind kind) {
  Recipe r;
  switch (kind) {
    case Kind::AviMjpegPcm:
    case Kind::TruncatedAvi:
    case Kind::AviDamagedIndex:
    case Kind::AviAudioFirst:
    case Kind::AviLongStreamHeader:
    case Kind::AviIv50Tagged:
      r.format = "avi";
      r.video = {"mjpeg", AV_PIX_FMT_YUVJ420P, 0, -1, {}, 0, false, true};
      r.audio = {"pcm_s16le", 44100, 0};
      break;
    case Kind::AviRgb:
      r.format = "avi";
      r.video = {"rawvideo", AV_PIX_FMT_BGR24, 0, -1, {}, 0, false};
      r.audio = {"pcm_s16le", 44100, 0};
      break;
    case Kind::AviDiv3:
    case Kind::AviMp43:
      r.format = "avi";
      r.video = {"msmpeg4", AV_PIX_FMT_YUV420P,
                 kind == Kind::AviDiv3 ? Tag('D', 'I', 'V', '3') : Tag('M', 'P', '4', '3'), 0,
                 {}, 0, false, true};
      r.audio = {"libmp3lame", 44100, 128000};
      break;
    case Kind::AviDx50:
      r.format = "avi";
      r.video = {"mpeg4", AV_PIX_FMT_YUV420P, Tag('D', 'X', '5', '0'), 0, {}, 0, false, true};
      r.audio = {"libmp3lame", 44100, 128000};
      break;
    case Kind::Mpeg1Ps:
      r.format = "mpeg";
      r.video = {"mpeg1video", AV_PIX_FMT_YUV420P, 0, 2, {}, 0, false, true};
      r.audio = {"mp2", 44100, 128000};
      break;
    case Kind::Mpeg2Ps:
    case Kind::MpegTs:
      r.format = kind == Kind::Mpeg2Ps ? "vob" : "mpegts";
      r.video = {"mpeg2video", AV_PIX_FMT_YUV420P, 0, 2, {}, 0, false, true};
      r.audio = {"mp2", 48000, 128000};
      break;
    case Kind::AviMpeg4BFrames:
      r.format = "avi";
      r.video = {"mpeg4", AV_PIX_FMT_YUV420P, Tag('X', 'V', 'I', 'D'), 2, {}, 0, false, true};
      r.audio = {"libmp3lame", 44100, 128000};
      break;
    case Kind::Mov:
      r.format = "mov";
      r.video = {"mpeg4", AV_PIX_FMT_YUV420P, 0, 2, {}, 0, false, true};
      r.audio = {"pcm_s16le", 44100, 0};
      break;
    case Kind::Mp4:
      r.format = "mp4";
      r.video = {"libx264", AV_PIX_FMT_YUV420P, 0, -1, {{"preset", "veryfast"}}, 0, false};
      r.audio = {"aac", 44100, 128000};
      break;
    case Kind::Wav:
    case Kind::WavAsAvi:
      r.format = "wav";
      r.audio = {"pcm_s16le", 44100, 0};
      break;
    case Kind::Mp3:
      r.format = "mp3";
      r.audio = {"libmp3lame", 44100, 128000};
      break;
    case Kind::Bmp:
      r.format = "image2";
      r.video = {"bmp", AV_PIX_FMT_BGR24, 0, -1, {}, 0, true};
      break;
    case Kind::Jpeg:
      r.format = "image2";
      r.video = {"mjpeg", AV_PIX_FMT_YUVJ420P, 0, -1, {}, 0, true};
      break;
    case Kind::Gif:
      r.format = "gif";
      r.video = {"gif", AV_PIX_FMT_RGB8, 0, -1, {}, 0, true};
      break;
    case Kind::TextAsAvi:
    case Kind::EmptyFile:
      break;
  }
  return r;
}

// Writes interleaved audio samples of a sine tone into frame (any of the common formats).
void FillTone(AVFrame* frame, int64_t firstSample, int sampleRate) {
  const int channels = frame->ch_layout.nb_channels;
  const auto fmt = static_cast<AVSampleFormat>(frame->format);
  const bool planar = av_sample_fmt_is_planar(fmt);
  for (int i = 0; i < frame->nb_samples; ++i) {
    const double t = static_cast<double>(firstSample + i) / sampleRate;
    const double v = 0.3 * std::sin(2 * M_PI * 440.0 * t);
    for (int c = 0; c < channels; ++c) {
      const int idx = planar ? i : i * channels + c;
      uint8_t* plane = frame->data[planar ? c : 0];
      switch (fmt) {
        case AV_SAMPLE_FMT_S16:
        case AV_SAMPLE_FMT_S16P:
          reinterpret_cast<int16_t*>(plane)[idx] = static_cast<int16_t>(v * 32767);
          break;
        case AV_SAMPLE_FMT_S32:
        case AV_SAMPLE_FMT_S32P:
          reinterpret_cast<int32_t*>(plane)[idx] = static_cast<int32_t>(v * 2147483647.0);
          break;
        case AV_SAMPLE_FMT_FLT:
        case AV_SAMPLE_FMT_FLTP:
          reinterpret_cast<float*>(plane)[idx] = static_cast<float>(v);
          break;
        default:
          Fail("unsupported sample format");
      }
    }
  }
}

AVSampleFormat PickSampleFormat(const AVCodec* codec) {
  if (!codec->sample_fmts) return AV_SAMPLE_FMT_S16;
  for (auto want : {AV_SAMPLE_FMT_S16, AV_SAMPLE_FMT_S16P, AV_SAMPLE_FMT_FLTP, AV_SAMPLE_FMT_FLT,
                    AV_SAMPLE_FMT_S32P, AV_SAMPLE_FMT_S32}) {
    for (const AVSampleFormat* f = codec->sample_fmts; *f != AV_SAMPLE_FMT_NONE; ++f)
      if (*f == want) return want;
  }
  Fail(std::string("no usable sample format for ") + codec->name);
}

class Writer {
 public:
  Writer(const Recipe& recipe, const std::string& path, const Options& o, bool withVideo,
         bool withAudio)
      : recipe_(recipe), o_(o) {
    AVFormatContext* oc = nullptr;
    CheckAv(avformat_alloc_output_context2(&oc, nullptr, recipe.format, path.c_str()),
            "output format " + std::string(recipe.format));
    oc_.reset(oc);
    shiftPriming_ = std::string(recipe.format) == "avi";
    if (withVideo) OpenVideo();
    if (withAudio) OpenAudio();
    if (!(oc_->oformat->flags & AVFMT_NOFILE))
      CheckAv(avio_open(&oc_->pb, path.c_str(), AVIO_FLAG_WRITE), "open " + path);
    AVDictionary* opts = nullptr;
    if (std::string(recipe.format) == "image2") av_dict_set(&opts, "update", "1", 0);
    const int err = avformat_write_header(oc_.get(), &opts);
    av_dict_free(&opts);
    CheckAv(err, "write header");
  }

  void Run() {
    const int64_t frames = recipe_.video.still ? 1 : FrameCount(o_);
    const int64_t samples =
        static_cast<int64_t>(std::llround(o_.seconds * recipe_.audio.sampleRate));
    int64_t nextFrame = 0, nextSample = 0;
    for (;;) {
      const bool videoLeft = venc_ && nextFrame < frames;
      const bool audioLeft = aenc_ && nextSample < samples;
      if (!videoLeft && !audioLeft) break;
      bool doVideo = videoLeft;
      if (videoLeft && audioLeft)
        doVideo = av_compare_ts(nextFrame, venc_->time_base, nextSample, aenc_->time_base) <= 0;
      if (doVideo) {
        WriteVideo(static_cast<int>(nextFrame));
        ++nextFrame;
      } else {
        const int n = static_cast<int>(std::min<int64_t>(AudioFrameSize(), samples - nextSample));
        WriteAudio(nextSample, n);
        nextSample += n;
      }
    }
    if (venc_) Encode(venc_.get(), vst_, nullptr);
    if (aenc_) Encode(aenc_.get(), ast_, nullptr);
    CheckAv(av_write_trailer(oc_.get()), "write trailer");
  }

 private:
  void OpenVideo() {
    const AVCodec* codec = avcodec_find_encoder_by_name(recipe_.video.encoder);
    if (!codec) Fail(std::string("no encoder ") + recipe_.video.encoder);
    vst_ = avformat_new_stream(oc_.get(), nullptr);
    if (!vst_) Fail("new stream");
    venc_.reset(avcodec_alloc_context3(codec));
    venc_->width = o_.width;
    venc_->height = o_.height;
    venc_->pix_fmt = recipe_.video.pixFmt;
    venc_->time_base = AVRational{o_.fpsDen, o_.fps};
    venc_->framerate = AVRational{o_.fps, o_.fpsDen};
    venc_->gop_size = 12;
    if (recipe_.video.pixFmt == AV_PIX_FMT_YUVJ420P) venc_->color_range = AVCOL_RANGE_JPEG;
    if (recipe_.video.maxBFrames >= 0) venc_->max_b_frames = recipe_.video.maxBFrames;
    if (recipe_.video.bitRate) venc_->bit_rate = recipe_.video.bitRate;
    if (recipe_.video.fixedQuality) {
      venc_->flags |= AV_CODEC_FLAG_QSCALE;
      venc_->global_quality = FF_QP2LAMBDA * 3;
    }
    if (oc_->oformat->flags & AVFMT_GLOBALHEADER) venc_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    AVDictionary* opts = nullptr;
    for (const auto& [k, v] : recipe_.video.privateOptions) av_dict_set(&opts, k.c_str(), v.c_str(), 0);
    const int err = avcodec_open2(venc_.get(), codec, &opts);
    av_dict_free(&opts);
    CheckAv(err, std::string("open encoder ") + codec->name);
    CheckAv(avcodec_parameters_from_context(vst_->codecpar, venc_.get()), "stream parameters");
    if (recipe_.video.tag) vst_->codecpar->codec_tag = recipe_.video.tag;
    vst_->time_base = venc_->time_base;
    vst_->avg_frame_rate = venc_->framerate;

    sws_.reset(sws_getContext(o_.width, o_.height, AV_PIX_FMT_RGB24, o_.width, o_.height,
                              recipe_.video.pixFmt, SWS_BICUBIC, nullptr, nullptr, nullptr));
    if (!sws_) Fail("colour conversion");
    vframe_.reset(av_frame_alloc());
    vframe_->format = recipe_.video.pixFmt;
    vframe_->width = o_.width;
    vframe_->height = o_.height;
    CheckAv(av_frame_get_buffer(vframe_.get(), 0), "video frame");
  }

  void OpenAudio() {
    const AVCodec* codec = avcodec_find_encoder_by_name(recipe_.audio.encoder);
    if (!codec) Fail(std::string("no encoder ") + recipe_.audio.encoder);
    ast_ = avformat_new_stream(oc_.get(), nullptr);
    if (!ast_) Fail("new stream");
    aenc_.reset(avcodec_alloc_context3(codec));
    aenc_->sample_rate = recipe_.audio.sampleRate;
    aenc_->sample_fmt = PickSampleFormat(codec);
    av_channel_layout_default(&aenc_->ch_layout, 2);
    aenc_->time_base = AVRational{1, recipe_.audio.sampleRate};
    if (recipe_.audio.bitRate) aenc_->bit_rate = recipe_.audio.bitRate;
    if (oc_->oformat->flags & AVFMT_GLOBALHEADER) aenc_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    CheckAv(avcodec_open2(aenc_.get(), codec, nullptr), std::string("open encoder ") + codec->name);
    CheckAv(avcodec_parameters_from_context(ast_->codecpar, aenc_.get()), "stream parameters");
    ast_->time_base = aenc_->time_base;
  }

  int AudioFrameSize() const {
    if (aenc_->frame_size > 0 &&
        !(aenc_->codec->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE))
      return aenc_->frame_size;
    return 1024;
  }

  void WriteVideo(int n) {
    DrawFrame(rgb_, o_.width, o_.height, n);
    CheckAv(av_frame_make_writable(vframe_.get()), "frame writable");
    const uint8_t* src[1] = {rgb_.data()};
    const int srcStride[1] = {o_.width * 3};
    sws_scale(sws_.get(), src, srcStride, 0, o_.height, vframe_->data, vframe_->linesize);
    vframe_->pts = n;
    Encode(venc_.get(), vst_, vframe_.get());
  }

  void WriteAudio(int64_t first, int n) {
    Ptr<AVFrame> f(av_frame_alloc());
    f->format = aenc_->sample_fmt;
    f->nb_samples = n;
    f->sample_rate = aenc_->sample_rate;
    CheckAv(av_channel_layout_copy(&f->ch_layout, &aenc_->ch_layout), "channel layout");
    CheckAv(av_frame_get_buffer(f.get(), 0), "audio frame");
    FillTone(f.get(), first, aenc_->sample_rate);
    f->pts = first;
    Encode(aenc_.get(), ast_, f.get());
  }

  void Encode(AVCodecContext* enc, AVStream* st, AVFrame* frame) {
    CheckAv(avcodec_send_frame(enc, frame), "encode");
    Ptr<AVPacket> pkt(av_packet_alloc());
    for (;;) {
      const int err = avcodec_receive_packet(enc, pkt.get());
      if (err == AVERROR(EAGAIN) || err == AVERROR_EOF) return;
      CheckAv(err, "encode");
      if (enc->codec_type == AVMEDIA_TYPE_AUDIO && shiftPriming_ && enc->initial_padding > 0) {
        // The container has no negative times: start the sound at 0 instead of letting the muxer
        // delay every stream by the encoder's priming samples.
        if (pkt->pts != AV_NOPTS_VALUE) pkt->pts += enc->initial_padding;
        if (pkt->dts != AV_NOPTS_VALUE) pkt->dts += enc->initial_padding;
      }
      av_packet_rescale_ts(pkt.get(), enc->time_base, st->time_base);
      pkt->stream_index = st->index;
      CheckAv(av_interleaved_write_frame(oc_.get(), pkt.get()), "write packet");
    }
  }

  Recipe recipe_;
  Options o_;
  bool shiftPriming_ = false;
  Ptr<AVFormatContext> oc_;
  Ptr<AVCodecContext> venc_, aenc_;
  AVStream* vst_ = nullptr;
  AVStream* ast_ = nullptr;
  Ptr<SwsContext> sws_;
  Ptr<AVFrame> vframe_;
  std::vector<uint8_t> rgb_;
};

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out) Fail("cannot write " + path);
}

uint32_t Le32(const uint8_t* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
void PutLe32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// The same streams with the sound first (packets copied, interleaved again).
void RemuxSoundFirst(const std::string& from, const std::string& to) {
  AVFormatContext* raw = nullptr;
  CheckAv(avformat_open_input(&raw, from.c_str(), nullptr, nullptr), "open " + from);
  Ptr<AVFormatContext> in(raw);
  CheckAv(avformat_find_stream_info(in.get(), nullptr), "stream info");
  AVFormatContext* outRaw = nullptr;
  CheckAv(avformat_alloc_output_context2(&outRaw, nullptr, "avi", to.c_str()), "output");
  Ptr<AVFormatContext> out(outRaw);
  std::vector<int> map(in->nb_streams, -1);
  int next = 0;
  for (AVMediaType type : {AVMEDIA_TYPE_AUDIO, AVMEDIA_TYPE_VIDEO})
    for (unsigned i = 0; i < in->nb_streams; ++i) {
      if (in->streams[i]->codecpar->codec_type != type) continue;
      AVStream* st = avformat_new_stream(out.get(), nullptr);
      if (!st) Fail("stream");
      CheckAv(avcodec_parameters_copy(st->codecpar, in->streams[i]->codecpar), "parameters");
      st->time_base = in->streams[i]->time_base;
      map[i] = next++;
    }
  CheckAv(avio_open(&out->pb, to.c_str(), AVIO_FLAG_WRITE), "open " + to);
  CheckAv(avformat_write_header(out.get(), nullptr), "header");
  Ptr<AVPacket> pkt(av_packet_alloc());
  while (av_read_frame(in.get(), pkt.get()) >= 0) {
    const int target = map[static_cast<size_t>(pkt->stream_index)];
    if (target >= 0) {
      av_packet_rescale_ts(pkt.get(), in->streams[pkt->stream_index]->time_base, out->streams[target]->time_base);
      pkt->stream_index = target;
      pkt->pos = -1;
      CheckAv(av_interleaved_write_frame(out.get(), pkt.get()), "write");
    }
    av_packet_unref(pkt.get());
  }
  CheckAv(av_write_trailer(out.get()), "trailer");
  avio_closep(&out->pb);
}

// The position of the first chunk with the id at or after from (0 when there is none).
size_t FindChunk(const std::vector<uint8_t>& b, const char* id, size_t from) {
  for (size_t i = from; i + 8 <= b.size(); ++i)
    if (std::memcmp(&b[i], id, 4) == 0) return i;
  return 0;
}

// Makes the first stream header 64 bytes long; the padding chunk after the header list gives up
// the 8 bytes, so that nothing behind it moves.
void LengthenStreamHeader(std::vector<uint8_t>& b) {
  const size_t strh = FindChunk(b, "strh", 12);
  if (!strh || Le32(&b[strh + 4]) != 56 || std::memcmp(&b[strh - 12], "LIST", 4) != 0 ||
      std::memcmp(&b[strh - 4], "strl", 4) != 0 || std::memcmp(&b[12], "LIST", 4) != 0)
    Fail("unexpected header layout");
  const size_t hdrlEnd = 20 + Le32(&b[16]);
  const size_t junk = FindChunk(b, "JUNK", hdrlEnd);
  if (!junk || Le32(&b[junk + 4]) < 8) Fail("no padding behind the header list");
  std::vector<uint8_t> out(b.begin(), b.begin() + static_cast<std::ptrdiff_t>(strh + 8 + 56));
  out.insert(out.end(), 8, 0);
  out.insert(out.end(), b.begin() + static_cast<std::ptrdiff_t>(strh + 8 + 56), b.begin() + static_cast<std::ptrdiff_t>(junk + 8));
  out.insert(out.end(), b.begin() + static_cast<std::ptrdiff_t>(junk + 16), b.end());
  PutLe32(&out[strh + 4], 64);
  PutLe32(&out[strh - 8], Le32(&b[strh - 8]) + 8);  // the stream list
  PutLe32(&out[16], Le32(&b[16]) + 8);              // the header list
  PutLe32(&out[junk + 8 + 4], Le32(&b[junk + 4]) - 8);
  b = std::move(out);
}

// Writes the code into the first video stream's handler and its bitmap header's compression.
void Relabel(std::vector<uint8_t>& b, const char code[4]) {
  for (size_t strh = FindChunk(b, "strh", 12); strh; strh = FindChunk(b, "strh", strh + 4)) {
    if (std::memcmp(&b[strh + 8], "vids", 4) != 0) continue;
    const size_t strf = FindChunk(b, "strf", strh + 8);
    if (!strf) break;
    std::memcpy(&b[strh + 12], code, 4);
    std::memcpy(&b[strf + 8 + 16], code, 4);
    return;
  }
  Fail("no video stream header");
}

// Points every entry of the legacy index (idx1) and of the standard index chunks (ix##) at
// offsets far beyond the file, with odd sizes.
void DamageIndex(std::vector<uint8_t>& b) {
  int damaged = 0;
  uint32_t junk = 0x7F3A9C11;
  auto next = [&] { junk = junk * 1103515245u + 12345u; return junk | 0x40000000u; };
  for (size_t i = 0; i + 8 <= b.size(); ++i) {
    if (std::memcmp(&b[i], "idx1", 4) == 0) {
      const uint32_t size = Le32(&b[i + 4]);
      if (i + 8 + size > b.size() || size % 16) continue;
      for (size_t e = i + 8; e + 16 <= i + 8 + size; e += 16) {
        PutLe32(&b[e + 8], next());
        PutLe32(&b[e + 12], next() & 0xFFFFF);
      }
      ++damaged;
    } else if (b[i] == 'i' && b[i + 1] == 'x' && std::isdigit(b[i + 2]) && std::isdigit(b[i + 3])) {
      const uint32_t size = Le32(&b[i + 4]);
      if (size < 24 || i + 8 + size > b.size()) continue;
      const uint8_t* h = &b[i + 8];
      const int longsPerEntry = h[0] | (h[1] << 8);
      const uint32_t entries = Le32(h + 4);
      if (longsPerEntry != 2 || h[3] != 1 /* index of chunks */) continue;
      for (uint32_t e = 0; e < entries && i + 8 + 24 + 8 * (e + 1) <= b.size(); ++e) {
        uint8_t* entry = &b[i + 8 + 24 + 8 * e];
        PutLe32(entry, next());
        PutLe32(entry + 4, next() & 0xFFFFF);
      }
      ++damaged;
    }
  }
  if (!damaged) Fail("no index found to damage");
}

std::string FileName(Kind kind, const Options& o) {
  std::ostringstream name;
  name << Name(kind);
  if (!IsBad(kind) || kind == Kind::TruncatedAvi || kind == Kind::AviDamagedIndex ||
      kind == Kind::AviAudioFirst || kind == Kind::AviLongStreamHeader || kind == Kind::AviIv50Tagged ||
      kind == Kind::WavAsAvi) {
    name << "_" << o.width << "x" << o.height << "_" << o.fps;
    if (o.fpsDen != 1) name << "over" << o.fpsDen;
    name << "fps_"
         << static_cast<long long>(std::llround(o.seconds * 1000)) << "ms";
    if (!o.audio) name << "_mute";
  }
  name << Extension(kind);
  return name.str();
}

void MakeMedia(Kind kind, const std::string& path, const Options& o) {
  const Recipe recipe = RecipeFor(kind);
  const bool video = recipe.video.encoder != nullptr;
  const bool audio = recipe.audio.encoder != nullptr && (!video || (o.audio && !recipe.video.still));
  Writer w(recipe, path, o, video, audio);
  w.Run();
}

}  // namespace

std::string Extension(Kind kind) {
  switch (kind) {
    case Kind::Mpeg1Ps: return ".mpg";
    case Kind::Mpeg2Ps: return ".vob";
    case Kind::MpegTs: return ".ts";
    case Kind::Mov: return ".mov";
    case Kind::Mp4: return ".mp4";
    case Kind::Wav: return ".wav";
    case Kind::Mp3: return ".mp3";
    case Kind::Bmp: return ".bmp";
    case Kind::Jpeg: return ".jpg";
    case Kind::Gif: return ".gif";
    default: return ".avi";
  }
}

std::string Name(Kind kind) {
  switch (kind) {
    case Kind::AviMjpegPcm: return "AviMjpegPcm";
    case Kind::AviRgb: return "AviRgb";
    case Kind::AviDiv3: return "AviDiv3";
    case Kind::AviMp43: return "AviMp43";
    case Kind::AviDx50: return "AviDx50";
    case Kind::Mpeg1Ps: return "Mpeg1Ps";
    case Kind::Mov: return "Mov";
    case Kind::Mp4: return "Mp4";
    case Kind::Wav: return "Wav";
    case Kind::Mp3: return "Mp3";
    case Kind::Bmp: return "Bmp";
    case Kind::Jpeg: return "Jpeg";
    case Kind::Gif: return "Gif";
    case Kind::TruncatedAvi: return "TruncatedAvi";
    case Kind::TextAsAvi: return "TextAsAvi";
    case Kind::EmptyFile: return "EmptyFile";
    case Kind::AviDamagedIndex: return "AviDamagedIndex";
    case Kind::AviAudioFirst: return "AviAudioFirst";
    case Kind::AviLongStreamHeader: return "AviLongStreamHeader";
    case Kind::AviIv50Tagged: return "AviIv50Tagged";
    case Kind::WavAsAvi: return "WavAsAvi";
    case Kind::Mpeg2Ps: return "Mpeg2Ps";
    case Kind::MpegTs: return "MpegTs";
    case Kind::AviMpeg4BFrames: return "AviMpeg4BFrames";
  }
  return "Unknown";
}

const std::vector<Kind>& AllKinds() {
  static const std::vector<Kind> all = {
      Kind::AviMjpegPcm, Kind::AviRgb, Kind::AviDiv3, Kind::AviMp43, Kind::AviDx50,
      Kind::Mpeg1Ps, Kind::Mov, Kind::Mp4, Kind::Wav, Kind::Mp3, Kind::Bmp, Kind::Jpeg,
      Kind::Gif, Kind::TruncatedAvi, Kind::TextAsAvi, Kind::EmptyFile, Kind::AviDamagedIndex};
  return all;
}

bool IsStill(Kind kind) { return kind == Kind::Bmp || kind == Kind::Jpeg || kind == Kind::Gif; }
bool IsSoundOnly(Kind kind) { return kind == Kind::Wav || kind == Kind::Mp3; }
bool IsBad(Kind kind) {
  return kind == Kind::TruncatedAvi || kind == Kind::TextAsAvi || kind == Kind::EmptyFile ||
         kind == Kind::AviDamagedIndex;
}

int FrameCount(const Options& o) {
  return std::max(1, static_cast<int>(std::lround(o.seconds * o.fps / o.fpsDen)));
}

std::string Make(Kind kind, const std::string& folder, const Options& o) {
  if (o.width < 16 || o.height < 16 || o.fps < 1 || o.fpsDen < 1 || !(o.seconds > 0))
    Fail("options out of range");
  av_log_set_level(AV_LOG_ERROR);
  fs::create_directories(folder);
  const std::string path = (fs::path(folder) / FileName(kind, o)).string();
  switch (kind) {
    case Kind::TextAsAvi:
    {
      const std::string text = "This is a plain text file.\nIt only pretends to be a movie.\n";
      WriteBytes(path, std::vector<uint8_t>(text.begin(), text.end()));
      return path;
    }
    case Kind::EmptyFile:
      WriteBytes(path, {});
      return path;
    case Kind::TruncatedAvi: {
      MakeMedia(Kind::AviMjpegPcm, path, o);
      std::vector<uint8_t> bytes = ReadFile(path);
      bytes.resize(bytes.size() * 55 / 100);
      WriteBytes(path, bytes);
      return path;
    }
    case Kind::AviDamagedIndex: {
      MakeMedia(Kind::AviMjpegPcm, path, o);
      std::vector<uint8_t> bytes = ReadFile(path);
      DamageIndex(bytes);
      WriteBytes(path, bytes);
      return path;
    }
    case Kind::AviAudioFirst: {
      Options withSound = o;
      withSound.audio = true;
      const std::string source = path + ".source.avi";
      MakeMedia(Kind::AviMjpegPcm, source, withSound);
      RemuxSoundFirst(source, path);
      fs::remove(source);
      return path;
    }
    case Kind::AviLongStreamHeader:
    case Kind::AviIv50Tagged: {
      MakeMedia(Kind::AviMjpegPcm, path, o);
      std::vector<uint8_t> bytes = ReadFile(path);
      if (kind == Kind::AviLongStreamHeader) LengthenStreamHeader(bytes);
      else Relabel(bytes, "IV50");
      WriteBytes(path, bytes);
      return path;
    }
    case Kind::WavAsAvi:
      MakeMedia(Kind::Wav, path, o);
      return path;
    default:
      MakeMedia(kind, path, o);
      return path;
  }
}

int ReadFrameNumber(const uint8_t* row0, std::ptrdiff_t stride, int width, int height) {
  if (!row0 || width < kBlocks || height < 6) return -1;
  const int band = BandHeight(height);
  const int y = band / 2;
  int number = 0;
  for (int block = 0; block < kBlocks; ++block) {
    const int x = (2 * block + 1) * width / (2 * kBlocks);
    const uint8_t* px = row0 + y * stride + x * 3;
    const int brightness = (px[0] + px[1] + px[2]) / 3;
    const bool white = brightness >= 128;
    if (brightness > 80 && brightness < 176) return -1;  // neither black nor white
    if (block == 0 && !white) return -1;
    if (block == kBlocks - 1 && white) return -1;
    if (block > 0 && block < kBlocks - 1 && white) number |= 1 << (block - 1);
  }
  return number;
}

std::vector<int> DecodedFrameNumbers(const std::string& path) {
  AVFormatContext* ic = nullptr;
  CheckAv(avformat_open_input(&ic, path.c_str(), nullptr, nullptr), "open " + path);
  Ptr<AVFormatContext> in(ic);
  CheckAv(avformat_find_stream_info(ic, nullptr), "stream info");
  const AVCodec* codec = nullptr;
  const int vs = av_find_best_stream(ic, AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
  CheckAv(vs, "video stream");
  Ptr<AVCodecContext> dec(avcodec_alloc_context3(codec));
  CheckAv(avcodec_parameters_to_context(dec.get(), ic->streams[vs]->codecpar), "decoder parameters");
  CheckAv(avcodec_open2(dec.get(), codec, nullptr), "open decoder");
  Ptr<AVPacket> pkt(av_packet_alloc());
  Ptr<AVFrame> frame(av_frame_alloc());
  Ptr<SwsContext> sws;
  std::vector<uint8_t> rgb;
  std::vector<int> numbers;
  auto drain = [&] {
    while (avcodec_receive_frame(dec.get(), frame.get()) == 0) {
      const int w = frame->width, h = frame->height;
      sws.reset(sws_getCachedContext(sws.release(), w, h, static_cast<AVPixelFormat>(frame->format),
                                     w, h, AV_PIX_FMT_RGB24, SWS_BICUBIC, nullptr, nullptr, nullptr));
      if (!sws) Fail("colour conversion");
      rgb.resize(static_cast<size_t>(w) * h * 3);
      uint8_t* dst[1] = {rgb.data()};
      const int dstStride[1] = {w * 3};
      sws_scale(sws.get(), frame->data, frame->linesize, 0, h, dst, dstStride);
      numbers.push_back(ReadFrameNumber(rgb.data(), w * 3, w, h));
      av_frame_unref(frame.get());
    }
  };
  while (av_read_frame(ic, pkt.get()) >= 0) {
    if (pkt->stream_index == vs && avcodec_send_packet(dec.get(), pkt.get()) >= 0) drain();
    av_packet_unref(pkt.get());
  }
  avcodec_send_packet(dec.get(), nullptr);
  drain();
  return numbers;
}

const ProbedStream* Probe::First(const std::string& codecType) const {
  for (const auto& s : streams)
    if (s.codecType == codecType) return &s;
  return nullptr;
}

namespace {

double ParseRate(const std::string& v) {
  const auto slash = v.find('/');
  if (slash == std::string::npos) return std::atof(v.c_str());
  const double den = std::atof(v.c_str() + slash + 1);
  return den ? std::atof(v.substr(0, slash).c_str()) / den : 0;
}

double ParseNumber(const std::string& v, double fallback) {
  if (v.empty() || v == "N/A") return fallback;
  char* end = nullptr;
  const double d = std::strtod(v.c_str(), &end);
  return end && *end == 0 ? d : fallback;
}

// Runs a program without a shell; returns its exit status and its standard output and error.
int RunProgram(const std::vector<std::string>& argv, std::string& output) {
  int fds[2];
  if (pipe(fds) != 0) return -1;
  const pid_t pid = fork();
  if (pid < 0) {
    close(fds[0]);
    close(fds[1]);
    return -1;
  }
  if (pid == 0) {
    dup2(fds[1], 1);
    dup2(fds[1], 2);
    close(fds[0]);
    close(fds[1]);
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
  }
  close(fds[1]);
  char buf[4096];
  for (;;) {
    const ssize_t n = read(fds[0], buf, sizeof buf);
    if (n > 0) output.append(buf, static_cast<size_t>(n));
    else if (n == 0 || errno != EINTR) break;
  }
  close(fds[0]);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {}
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

Probe RunFfprobe(const std::string& path) {
  Probe probe;
  std::string out;
  const int status = RunProgram(
      {"ffprobe", "-v", "error", "-count_frames", "-show_entries",
       "stream=index,codec_type,codec_name,codec_tag_string,pix_fmt,width,height,nb_read_frames,"
       "duration,avg_frame_rate,sample_rate,channels:format=format_name,duration",
       "-of", "flat", path},
      out);
  if (status != 0) {
    probe.error = status == 127 ? "ffprobe could not be started" : out;
    return probe;
  }
  probe.ok = true;
  std::istringstream lines(out);
  std::string line;
  while (std::getline(lines, line)) {
    const auto eq = line.find('=');
    if (eq == std::string::npos) continue;
    const std::string key = line.substr(0, eq);
    std::string value = line.substr(eq + 1);
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
      value = value.substr(1, value.size() - 2);
    if (key == "format.format_name") { probe.formatName = value; continue; }
    if (key == "format.duration") { probe.duration = ParseNumber(value, -1); continue; }
    const std::string prefix = "streams.stream.";
    if (key.compare(0, prefix.size(), prefix) != 0) continue;
    const auto dot = key.find('.', prefix.size());
    if (dot == std::string::npos) continue;
    const size_t index = static_cast<size_t>(std::atoi(key.substr(prefix.size(), dot - prefix.size()).c_str()));
    if (probe.streams.size() <= index) probe.streams.resize(index + 1);
    ProbedStream& s = probe.streams[index];
    const std::string field = key.substr(dot + 1);
    if (field == "index") s.index = std::atoi(value.c_str());
    else if (field == "codec_type") s.codecType = value;
    else if (field == "codec_name") s.codecName = value;
    else if (field == "codec_tag_string") s.codecTag = value;
    else if (field == "pix_fmt") s.pixFmt = value;
    else if (field == "width") s.width = std::atoi(value.c_str());
    else if (field == "height") s.height = std::atoi(value.c_str());
    else if (field == "nb_read_frames") s.frames = static_cast<long long>(ParseNumber(value, -1));
    else if (field == "duration") s.duration = ParseNumber(value, -1);
    else if (field == "avg_frame_rate") s.frameRate = ParseRate(value);
    else if (field == "sample_rate") s.sampleRate = std::atoi(value.c_str());
    else if (field == "channels") s.channels = std::atoi(value.c_str());
  }
  return probe;
}

std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string ScratchFolder(const std::string& sub) {
  const char* env = std::getenv("SUITE_TEST_SCRATCH");
  fs::path base = env && *env ? fs::path(env) : fs::temp_directory_path() /
                                                    ("suite-test-" + std::to_string(getpid()));
  if (!sub.empty()) base /= sub;
  fs::create_directories(base);
  return base.string();
}

std::string MakeUndecodableAvi(const std::string& folder) {
  Options o;
  o.audio = false;
  std::vector<uint8_t> b = ReadFile(Make(Kind::AviRgb, folder, o));
  for (size_t i = 0; i + 28 < b.size(); ++i) {
    if (std::memcmp(&b[i], "strh", 4) == 0 && std::memcmp(&b[i + 8], "vids", 4) == 0) std::memcpy(&b[i + 12], "QZQZ", 4);
    if (std::memcmp(&b[i], "strf", 4) == 0) {
      std::memcpy(&b[i + 8 + 16], "QZQZ", 4);  // the BITMAPINFOHEADER's compression
      break;
    }
  }
  std::string path = folder + "/undecodable.avi";
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
  return path;
}

bool SetImmutable(const std::string& path, bool on) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK);
  if (fd < 0) return false;
  int flags = 0;
  bool ok = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
  if (ok) {
    flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
    ok = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
  }
  ::close(fd);
  return ok;
}

FileSizeLimit::FileSizeLimit(unsigned long long bytes) {
  struct rlimit limit {};
  getrlimit(RLIMIT_FSIZE, &limit);
  oldSoft_ = limit.rlim_cur;
  oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
  limit.rlim_cur = bytes;
  setrlimit(RLIMIT_FSIZE, &limit);
}

FileSizeLimit::~FileSizeLimit() {
  struct rlimit limit {};
  getrlimit(RLIMIT_FSIZE, &limit);
  limit.rlim_cur = oldSoft_;
  setrlimit(RLIMIT_FSIZE, &limit);
  std::signal(SIGXFSZ, oldHandler_);
}

TempNamesTaken::TempNamesTaken(bool noFolder) {
  base_ = ScratchFolder("temp-names-taken");
  std::filesystem::remove_all(base_);
  tmpdir_ = base_ + "/tmpdir";
  const std::string shared = base_ + "/shared";
  if (!noFolder) {
    const std::string name = "reelwright-" + std::to_string(::getuid());
    for (const std::string& folder : {tmpdir_, shared}) {
      std::filesystem::create_directories(folder);
      ::chmod(folder.c_str(), 01777);
      for (int n = 0; n < 100; ++n) {
        const std::string at = folder + "/" + name + (n == 0 ? "" : "-" + std::to_string(n));
        if (::geteuid() == 0) {
          ::mkdir(at.c_str(), 0700);
          if (::lchown(at.c_str(), 65534, 65534) != 0) throw std::runtime_error("cannot give away " + at);
        } else {
          std::filesystem::create_symlink("/nowhere", at);
        }
      }
    }
  }
  const std::pair<const char*, const char*> values[] = {
      {"TMPDIR", tmpdir_.c_str()}, {"SUITE_SHARED_TEMP", shared.c_str()}, {"XDG_RUNTIME_DIR", nullptr}};
  for (const auto& [name, value] : values) {
    const char* old = std::getenv(name);
    saved_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
    if (value) {
      ::setenv(name, value, 1);
    } else {
      ::unsetenv(name);
    }
  }
}

TempNamesTaken::~TempNamesTaken() {
  for (const auto& [name, value] : saved_) {
    if (value) {
      ::setenv(name.c_str(), value->c_str(), 1);
    } else {
      ::unsetenv(name.c_str());
    }
  }
  std::error_code ec;
  std::filesystem::remove_all(base_, ec);
}

int EndedProcessId() {
  const pid_t child = ::fork();
  if (child == 0) ::_exit(0);
  int status = 0;
  ::waitpid(child, &status, 0);
  return child;
}

}  // namespace fixtures
