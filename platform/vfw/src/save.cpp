// AVISaveV: the streams' packets written through libavformat's AVI muxer under a temporary name
// beside the target, renamed to the target only when the file is complete.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include "core/error.h"
#include "shell/files.h"
#include "vfw_internal.h"

using namespace vfw_detail;

namespace {

using Clock = std::chrono::steady_clock;

// Reports progress: 0 first, each new percentage, the same one again after 100 ms, and 100 at
// the end; remembers an answer that asks to stop.
class Progress {
 public:
  explicit Progress(const AVISAVECALLBACK& callback) : callback_(callback) {}
  // False when the callback asked to stop.
  bool Report(int percent, bool force = false) {
    if (!callback_) return true;
    const Clock::time_point now = Clock::now();
    if (!force && percent == last_ && now - lastTime_ < std::chrono::milliseconds(100)) return true;
    last_ = percent;
    lastTime_ = now;
    return callback_(percent) == 0;
  }

 private:
  const AVISAVECALLBACK& callback_;
  int last_ = -1;
  Clock::time_point lastTime_{};
};

// The output file: removed unless it was completed and renamed.
class Output {
 public:
  ~Output() {
    if (packet_) av_packet_free(&packet_);
    if (fmt_) {
      if (fmt_->pb) avio_closep(&fmt_->pb);
      avformat_free_context(fmt_);
    }
    if (!temp_.empty()) ::unlink(temp_.c_str());
  }

  // A fresh temporary file beside the target (target.<pid>-<hex>, its name made to fit the folder
  // however long the target's; those of killed saves go first).
  HRESULT Create(const std::string& target) {
    try {
      temp_ = NewSideFile(target + ".");
    } catch (const VBError&) {
      return AVIERR_FILEOPEN;
    }
    if (avformat_alloc_output_context2(&fmt_, nullptr, "avi", temp_.c_str()) < 0 || !fmt_)
      return AVIERR_MEMORY;
    return AVIERR_OK;
  }

  HRESULT AddStream(const AVCodecParameters* par, const AVISTREAMINFO& info) {
    AVStream* st = avformat_new_stream(fmt_, nullptr);
    if (!st || avcodec_parameters_copy(st->codecpar, par) < 0) return AVIERR_MEMORY;
    AVRational tb{static_cast<int>(info.dwScale ? info.dwScale : 1),
                  static_cast<int>(info.dwRate ? info.dwRate : 25)};
    st->time_base = tb;
    st->avg_frame_rate = AVRational{tb.den, tb.num};
    st->r_frame_rate = st->avg_frame_rate;
    timeBase_.push_back(tb);
    return AVIERR_OK;
  }

  HRESULT Begin() {
    // Opened again through the file made above, never through a link planted at its name.
    try {
      CreatedFile held(temp_);
      if (avio_open(&fmt_->pb, held.Name().c_str(), AVIO_FLAG_WRITE) < 0) return AVIERR_FILEOPEN;
    } catch (const VBError&) {
      return AVIERR_FILEOPEN;
    }
    if (avformat_write_header(fmt_, nullptr) < 0) return Failed();
    packet_ = av_packet_alloc();
    return packet_ ? AVIERR_OK : AVIERR_MEMORY;
  }

  HRESULT Write(int stream, int64_t number, const Packet& p) {
    if (av_new_packet(packet_, static_cast<int>(p.data.size())) < 0) return AVIERR_MEMORY;
    if (!p.data.empty()) std::memcpy(packet_->data, p.data.data(), p.data.size());
    packet_->stream_index = stream;
    packet_->pts = packet_->dts = number;
    packet_->duration = 1;
    if (p.key) packet_->flags |= AV_PKT_FLAG_KEY;
    av_packet_rescale_ts(packet_, timeBase_[stream], fmt_->streams[stream]->time_base);
    int err = av_write_frame(fmt_, packet_);
    av_packet_unref(packet_);
    if (err < 0 || fmt_->pb->error < 0) return Failed();
    return AVIERR_OK;
  }

  // Completes the file and puts it in the target's place.
  HRESULT Finish(const std::string& target) {
    av_packet_free(&packet_);
    if (av_write_trailer(fmt_) < 0) return Failed();
    avio_flush(fmt_->pb);
    if (fmt_->pb->error < 0) return Failed();
    if (avio_closep(&fmt_->pb) < 0) return Failed();
    if (std::rename(temp_.c_str(), target.c_str()) != 0) return AVIERR_FILEWRITE;
    temp_.clear();
    return AVIERR_OK;
  }

 private:
  HRESULT Failed() { return AVIERR_FILEWRITE; }

  std::string temp_;
  AVFormatContext* fmt_ = nullptr;
  AVPacket* packet_ = nullptr;
  std::vector<AVRational> timeBase_;
};

}  // namespace

HRESULT AVISaveV(const char* szFile, const CLSID*, AVISAVECALLBACK lpfnCallback, int nStreams,
                 PAVISTREAM* ppavi, LPAVICOMPRESSOPTIONS* plpOptions) {
  if (!szFile || !*szFile || !ppavi || nStreams < 1) return AVIERR_BADPARAM;
  // One stream at a time: the save writes a single video (or copied) stream.
  if (nStreams != 1) return AVIERR_UNSUPPORTED;
  auto* stream = dynamic_cast<StreamBase*>(ppavi[0]);
  if (!stream) return AVIERR_BADHANDLE;

  // A file stream with options of its own is compressed by them on the way.
  ComPtr<IAVIStream> compressed;
  const AVICOMPRESSOPTIONS* options = plpOptions ? plpOptions[0] : nullptr;
  if (auto* file = dynamic_cast<FileStream*>(stream);
      file && options && options->fccHandler != 0 && file->Entry().info.fccType == streamtypeVIDEO) {
    HRESULT hr = AVIMakeCompressedStream(compressed.put(), file, options, nullptr);
    if (FAILED(hr)) return hr;
    stream = dynamic_cast<StreamBase*>(compressed.Get());
  }
  AVISTREAMINFO info;
  stream->Info(&info);

  Progress progress(lpfnCallback);
  if (!progress.Report(0, true)) return AVIERR_USERABORT;

  std::unique_ptr<PacketSource> source = stream->MakeSource();
  AVCodecParameters* par = avcodec_parameters_alloc();
  if (!par) return AVIERR_MEMORY;
  bool bottomUp = false;  // carried by the parameters' own mark
  HRESULT hr = source->Start(par, &bottomUp);
  Output out;
  if (SUCCEEDED(hr)) hr = out.Create(szFile);
  if (SUCCEEDED(hr)) hr = out.AddStream(par, info);
  avcodec_parameters_free(&par);
  if (SUCCEEDED(hr)) hr = out.Begin();
  if (FAILED(hr)) return hr;

  const int64_t length = info.dwLength;
  int64_t written = 0;
  while (true) {
    Packet p;
    hr = source->Next(&p);
    if (FAILED(hr)) return hr;
    if (hr != AVIERR_OK) break;
    hr = out.Write(0, written++, p);
    if (FAILED(hr)) return hr;
    int percent = length > 0 ? static_cast<int>(std::min<int64_t>(99, source->Consumed() * 100 / length)) : 0;
    if (!progress.Report(percent)) return AVIERR_USERABORT;
  }
  if (!progress.Report(100, true)) return AVIERR_USERABORT;
  return out.Finish(szFile);
}

HRESULT AVISaveVA(const char* szFile, const CLSID* pclsidHandler, AVISAVECALLBACK lpfnCallback,
                  int nStreams, PAVISTREAM* ppavi, LPAVICOMPRESSOPTIONS* plpOptions) {
  return AVISaveV(szFile, pclsidHandler, lpfnCallback, nStreams, ppavi, plpOptions);
}
