#include "smart_stream.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <deque>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include "com/object.h"
#include "dshow/baseclasses.h"
#include "dshow/encoders.h"
#include "dshow/avbridge.h"
#include "dshow/filters.h"
#include "dshow/interfaces.h"
#include "dshow/uuids.h"
#include "graph_walk.h"
#include "shell/files.h"

namespace des_detail {

namespace {

constexpr CLSID CLSID_SmartFeed = MakeGuid("{7C1B3D20-5A4E-4F0B-9D8E-2E6F1A0B7C11}");
constexpr CLSID CLSID_SmartCollect = MakeGuid("{7C1B3D20-5A4E-4F0B-9D8E-2E6F1A0B7C12}");

// Hands composed pictures to a compressor outside any graph.
class Feeder final : public dshow::Filter {
 public:
  Feeder() : Filter(u"Smart feed", CLSID_SmartFeed), out(this, u"Output") {}
  int PinCount() override { return 1; }
  dshow::Pin* GetPin(int i) override { return i == 0 ? &out : nullptr; }
  dshow::OutputPin out;
};

// Takes the compressor's samples and passes them on.
class Collector final : public dshow::Filter {
 public:
  using Sink = std::function<HRESULT(IMediaSample*)>;
  explicit Collector(Sink sink)
      : Filter(u"Smart collect", CLSID_SmartCollect), in(this, u"Input", nullptr), sink_(std::move(sink)) {}
  int PinCount() override { return 1; }
  dshow::Pin* GetPin(int i) override { return i == 0 ? &in : nullptr; }
  HRESULT Receive(dshow::Pin*, IMediaSample* sample) override { return sink_(sample); }
  dshow::InputPin in;

 private:
  Sink sink_;
};

ComPtr<IPin> PinOf(IBaseFilter* f, PIN_DIRECTION want) {
  for (auto& pin : PinsOf(f)) {
    PIN_DIRECTION dir;
    if (SUCCEEDED(pin->QueryDirection(&dir)) && dir == want) return pin;
  }
  return nullptr;
}

// One compressor instance for one stretch of recompressed frames.
class EncoderChain {
 public:
  HRESULT Open(const CLSID& clsid, const MediaType& input, Collector::Sink sink) {
    HRESULT hr = dshow::CreateRegisteredFilter(clsid, comp_.put());
    if (FAILED(hr)) return hr;
    feed_ = MakeComObject<Feeder>();
    feed_->out.SetTypes({input});
    feed_->out.SetBufferSize(static_cast<LONG>(input.lSampleSize) + 1024);
    coll_ = MakeComObject<Collector>(std::move(sink));
    ComPtr<IPin> compIn = PinOf(comp_.Get(), PINDIR_INPUT), compOut = PinOf(comp_.Get(), PINDIR_OUTPUT);
    if (!compIn || !compOut) return E_UNEXPECTED;
    if (FAILED(hr = feed_->out.Connect(compIn.Get(), &input))) return hr;
    if (FAILED(hr = compOut->Connect(&coll_->in, nullptr))) return hr;
    if (FAILED(hr = coll_->Pause())) return hr;
    if (FAILED(hr = comp_->Pause())) return hr;
    if (FAILED(hr = feed_->Pause())) return hr;
    open_ = true;
    return S_OK;
  }
  HRESULT Feed(const std::vector<uint8_t>& picture, REFERENCE_TIME start, REFERENCE_TIME stop) {
    IMediaSample* sample = nullptr;
    HRESULT hr = feed_->out.GetDeliveryBuffer(static_cast<LONG>(picture.size()), &sample);
    if (FAILED(hr)) return hr;
    BYTE* p = nullptr;
    sample->GetPointer(&p);
    std::memcpy(p, picture.data(), picture.size());
    sample->SetActualDataLength(static_cast<LONG>(picture.size()));
    sample->SetTime(&start, &stop);
    sample->SetSyncPoint(true);
    hr = feed_->out.Deliver(sample);
    sample->Release();
    return hr;
  }
  // Drains the encoder (its last packets reach the sink) and takes the chain apart.
  void Finish() {
    if (open_) feed_->out.DeliverEndOfStream();
    open_ = false;
    Close();
  }
  ~EncoderChain() { Close(); }

 private:
  void Close() {
    if (feed_) feed_->Stop();
    if (comp_) comp_->Stop();
    if (coll_) coll_->Stop();
    if (feed_) feed_->out.Disconnect();
    if (comp_)
      for (PIN_DIRECTION d : {PINDIR_INPUT, PINDIR_OUTPUT})
        if (ComPtr<IPin> p = PinOf(comp_.Get(), d)) p->Disconnect();
    if (coll_) coll_->in.Disconnect();
    feed_ = nullptr;
    comp_ = nullptr;
    coll_ = nullptr;
  }
  ComPtr<Feeder> feed_;
  ComPtr<IBaseFilter> comp_;
  ComPtr<Collector> coll_;
  bool open_ = false;
};

}  // namespace

// A source's video packets, read forward from its media start as frames are asked for (only
// the packets around the frame asked for are held).
struct SmartStream::Packets {
  struct Packet {
    int64_t frame = 0;
    bool key = false;
    std::vector<uint8_t> data;
  };
  bool usable = false;
  REFERENCE_TIME frameTicks = 0;

  ~Packets() { avformat_close_input(&fmt); }

  bool Open(const std::string& path, REFERENCE_TIME mediaStart, REFERENCE_TIME frame) {
    if (!FileExists(path)) return false;  // a pipe or a device put in its place would never end
    AVDictionary* options = nullptr;
    av_dict_set(&options, "protocol_whitelist", "file", 0);
    const int err = avformat_open_input(&fmt, ("file:" + path).c_str(), nullptr, &options);
    av_dict_free(&options);
    if (err < 0 || avformat_find_stream_info(fmt, nullptr) < 0) return false;
    stream = av_find_best_stream(fmt, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (stream < 0) return false;
    for (unsigned i = 0; i < fmt->nb_streams; ++i)
      fmt->streams[i]->discard = static_cast<int>(i) == stream ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
    AVStream* st = fmt->streams[stream];
    base = st->start_time != AV_NOPTS_VALUE ? st->start_time : 0;
    frameTicks = frame;
    if (mediaStart > 0)
      av_seek_frame(fmt, stream, base + av_rescale_q(mediaStart, AVRational{1, 10000000}, st->time_base),
                    AVSEEK_FLAG_BACKWARD);
    return true;
  }

  // The packet of frame n; frames asked for never go backwards.
  const Packet* Get(int64_t n) {
    while (!held.empty() && held.front().frame < n) held.pop_front();
    while (!ended && (held.empty() || held.back().frame < n)) ReadOne();
    return !held.empty() && held.front().frame == n ? &held.front() : nullptr;
  }

 private:
  void ReadOne() {
    AVPacket* pkt = av_packet_alloc();
    while (pkt) {
      if (av_read_frame(fmt, pkt) < 0) {
        ended = true;
        break;
      }
      if (pkt->stream_index != stream) {
        av_packet_unref(pkt);
        continue;
      }
      AVStream* st = fmt->streams[stream];
      const int64_t ts = pkt->pts != AV_NOPTS_VALUE ? pkt->pts : pkt->dts;
      Packet p;
      p.frame = next;
      if (ts != AV_NOPTS_VALUE) {
        const int64_t ticks = av_rescale_q(ts - base, st->time_base, AVRational{1, 10000000});
        p.frame = (ticks + frameTicks / 2) / frameTicks;
      }
      next = p.frame + 1;
      p.key = (pkt->flags & AV_PKT_FLAG_KEY) != 0;
      p.data.assign(pkt->data, pkt->data + pkt->size);
      av_packet_unref(pkt);
      held.push_back(std::move(p));
      break;
    }
    av_packet_free(&pkt);
  }

  AVFormatContext* fmt = nullptr;
  int stream = -1;
  int64_t base = 0;
  int64_t next = 0;
  bool ended = false;
  std::deque<Packet> held;
};

SmartPlan PlanSmartGroup(GroupSnap* g) {
  SmartPlan plan;
  plan.output = g->type;
  if (!g->video || !g->recompression) return plan;
  const VIDEOINFOHEADER* rec = VideoInfo(*g->recompression);
  const VIDEOINFOHEADER* own = VideoInfo(g->type);
  if (!rec || !own || rec->bmiHeader.biWidth <= 0 || rec->bmiHeader.biHeight == 0) return plan;
  const int w = rec->bmiHeader.biWidth, h = std::abs(rec->bmiHeader.biHeight);
  const REFERENCE_TIME frame =
      rec->AvgTimePerFrame > 0 ? rec->AvgTimePerFrame : std::llround(1e7 / g->fps);
  g->fps = 1e7 / static_cast<double>(frame);
  g->type = dshow::MakeRgbVideoType(w, h, own->bmiHeader.biBitCount, frame, g->type.subtype);
  plan.output = g->type;
  // The compressor for the format: one writing its FOURCC, else one coding the same codec (the
  // MPEG-4 compressor writes what a DX50 or XVID stream holds).
  const uint32_t fourcc = rec->bmiHeader.biCompression;
  const AVCodecTag* const tags[] = {avformat_get_riff_video_tags(), nullptr};
  const AVCodecID codec = fourcc ? av_codec_get_id(tags, fourcc) : AV_CODEC_ID_NONE;
  const dshow::CompressorInfo* chosen = nullptr;
  for (const auto& c : dshow::Compressors())
    if (c.category == CLSID_VideoCompressorCategory && c.fourcc == fourcc && fourcc) chosen = &c;
  for (const auto& c : dshow::Compressors())
    if (!chosen && c.category == CLSID_VideoCompressorCategory && codec != AV_CODEC_ID_NONE &&
        av_codec_get_id(tags, c.fourcc) == codec)
      chosen = &c;
  if (chosen) {
    plan.compressed = true;
    plan.compressor = chosen->clsid;
    plan.output = *g->recompression;
  }
  return plan;
}

SmartStream::SmartStream(const GroupSnap& group, const SmartPlan& plan, bool transitionsEnabled)
    : group_(group), plan_(plan), transitions_(transitionsEnabled) {}

SmartStream::~SmartStream() = default;

// The packets of a source's video stream, when the stream is coded in the group's format.
SmartStream::Packets* SmartStream::PacketsOf(const SourceSnap* s) {
  auto& slot = packets_[s];
  if (slot) return slot.get();
  slot = std::make_unique<Packets>();
  MediaType mt;
  if (FAILED(StreamTypeOfFile(s->path, true, &mt))) return slot.get();
  const VIDEOINFOHEADER* a = VideoInfo(mt);
  const VIDEOINFOHEADER* b = VideoInfo(plan_.output);
  if (!a || !b || mt.subtype != plan_.output.subtype ||
      a->bmiHeader.biCompression != b->bmiHeader.biCompression ||
      a->bmiHeader.biWidth != b->bmiHeader.biWidth ||
      std::abs(a->bmiHeader.biHeight) != std::abs(b->bmiHeader.biHeight) ||
      std::llabs(a->AvgTimePerFrame - b->AvgTimePerFrame) > 1 || a->AvgTimePerFrame <= 0)
    return slot.get();
  slot->usable = slot->Open(s->path, s->hasMediaTimes ? s->mediaStart : 0, a->AvgTimePerFrame);
  return slot.get();
}

// The source frame shown unaltered at t, if any.
SmartStream::Pick SmartStream::Copyable(GroupRenderer& renderer, REFERENCE_TIME t) {
  // The packets of sources that are over are let go.
  for (auto it = packets_.begin(); it != packets_.end();)
    it = it->first->stop <= t ? packets_.erase(it) : std::next(it);
  bool transition = false;
  const SourceSnap* top = renderer.TopSourceAt(t, &transition);
  if (transition || !top) return {};
  Packets* p = PacketsOf(top);
  if (!p->usable) return {};
  const REFERENCE_TIME m = (top->hasMediaTimes ? top->mediaStart : 0) + (t - top->start);
  // Only frames that fall on the source's own frame times (within a thousandth of a frame) are
  // the source's frames unaltered.
  const REFERENCE_TIME slack = p->frameTicks / 1000 + 1;
  if (m % p->frameTicks > slack && p->frameTicks - m % p->frameTicks > slack) return {};
  const int64_t n = (m + p->frameTicks / 2) / p->frameTicks;
  if (!p->Get(n)) return {};
  return {top, n};
}

bool SmartStream::Run(GroupRenderer& renderer, REFERENCE_TIME segment,
                      const std::function<bool()>& stopping, const Sender& send,
                      const std::function<void(HRESULT)>& fail) {
  const MediaType feedType = dshow::MakeRgbVideoType(renderer.Width(), renderer.Height(), 24,
                                                     std::llround(1e7 / group_.fps), MEDIASUBTYPE_RGB24);
  std::vector<uint32_t> picture;
  std::vector<uint8_t> packed(feedType.lSampleSize);
  std::unique_ptr<EncoderChain> encoder;
  bool refused = false;
  auto sink = [&](IMediaSample* s) -> HRESULT {
    BYTE* d = nullptr;
    s->GetPointer(&d);
    REFERENCE_TIME a = 0, b = 0;
    s->GetTime(&a, &b);
    if (!send(d, static_cast<size_t>(s->GetActualDataLength()), a, b, s->IsSyncPoint() == S_OK)) {
      refused = true;
      return S_FALSE;
    }
    return S_OK;
  };
  const SourceSnap* copying = nullptr;
  int64_t lastFrame = -1;
  const int64_t count = renderer.FrameCount();
  for (int64_t k = renderer.FirstFrameAtOrAfter(segment); k < count; ++k) {
    if (stopping() || refused) return false;
    const REFERENCE_TIME t = renderer.FrameTime(k);
    const REFERENCE_TIME end = std::min(renderer.FrameTime(k + 1), std::max(t + 1, renderer.Duration()));
    const Pick pick = Copyable(renderer, t);
    const Packets::Packet* packet = nullptr;
    if (pick.source) {
      const auto& pk = *packets_[pick.source]->Get(pick.frame);
      const bool continues = copying == pick.source && pick.frame == lastFrame + 1;
      if (continues || pk.key) packet = &pk;
    }
    if (packet) {
      if (encoder) {
        encoder->Finish();
        encoder.reset();
        if (refused) return false;
      }
      copying = pick.source;
      lastFrame = pick.frame;
      if (!send(packet->data.data(), packet->data.size(), t - segment, end - segment, packet->key))
        return false;
      continue;
    }
    copying = nullptr;
    renderer.RenderPicture(t, picture);
    if (stopping()) return false;
    PackPicture(picture, feedType, packed.data());
    if (!encoder) {
      encoder = std::make_unique<EncoderChain>();
      if (HRESULT hr = encoder->Open(plan_.compressor, feedType, sink); FAILED(hr)) {
        fail(hr);
        return false;
      }
    }
    HRESULT hr = encoder->Feed(packed, t - segment, end - segment);
    if (refused) return false;
    if (FAILED(hr)) {
      fail(hr);
      return false;
    }
  }
  if (encoder) encoder->Finish();
  return !refused && !stopping();
}

}  // namespace des_detail
