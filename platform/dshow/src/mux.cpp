// "AVI Mux" on libavformat's AVI muxer, writing its byte stream through "AVI Out" as positioned
// samples, and the "File writer" that puts them into a file.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cerrno>
#include <cstring>
#include <deque>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include "dshow/encoders.h"
#include "internal.h"
#include "shell/files.h"

namespace dshow {

constexpr CLSID CLSID_FileWriterFilter = CLSID_FileWriter;

namespace {

class AviMux;

// A 5-6-5 stream is written as BI_BITFIELDS with its three masks (red, green, blue) after the
// bitmap header; without them a reader takes 16-bit RGB for 5-5-5. Rows are bottom-up.
bool DescribeBitFields565(AVCodecParameters* par) {
  static constexpr uint32_t kMasks[3] = {0xF800, 0x07E0, 0x001F};
  av_freep(&par->extradata);
  par->extradata_size = 0;
  par->extradata = static_cast<uint8_t*>(av_mallocz(sizeof kMasks + AV_INPUT_BUFFER_PADDING_SIZE));
  if (!par->extradata) return false;
  for (size_t i = 0; i < 3; ++i)
    for (size_t b = 0; b < 4; ++b) par->extradata[i * 4 + b] = static_cast<uint8_t>(kMasks[i] >> (8 * b));
  par->extradata_size = static_cast<int>(sizeof kMasks);
  par->codec_tag = BI_BITFIELDS;
  return true;
}

class MuxInput : public Pin {
 public:
  MuxInput(AviMux* mux, std::u16string name);
  HRESULT CheckMediaType(const AM_MEDIA_TYPE& mt) override;
  int stream = -1;            // index in the output container while running
  int64_t nextPts = 0;        // next pts of uncompressed audio (in samples) or video (frames)
  bool ended = false;
  REFERENCE_TIME reached = 0;  // the end time of the last sample written
  // Packets taken but not yet in the file: they go in by their times across the streams, so the
  // file does not depend on which stream's thread delivered first.
  std::deque<AVPacket*> waiting;
  // 16-bit 5-6-5 pictures are stored bottom-up (a bit-field DIB has no top-down form in the
  // file); top-down samples have their rows turned over on the way in.
  bool flipRows = false;
  size_t rowBytes = 0;
  int rows = 0;
};

class AviMux : public Filter, public IConfigAviMux {
 public:
  AviMux() : Filter(u"AVI Mux", CLSID_AviDest), out_(this, u"AVI Out") {
    MediaType mt;
    mt.majortype = MEDIATYPE_Stream;
    mt.subtype = MEDIASUBTYPE_Avi;
    mt.formattype = FORMAT_None;
    out_.SetTypes({mt});
    out_.SetBufferSize(1 << 20);
    inputs_.push_back(std::make_unique<MuxInput>(this, u"Input 01"));
  }
  ~AviMux() override { CloseContainer(); }
  DSHOW_FORWARD_IUNKNOWN(Filter)

  int PinCount() override {
    std::lock_guard lock(pinsLock_);
    return 1 + static_cast<int>(inputs_.size());
  }
  Pin* GetPin(int i) override {
    if (i == 0) return &out_;
    std::lock_guard lock(pinsLock_);
    if (i < 0 || static_cast<size_t>(i - 1) >= inputs_.size()) return nullptr;
    return inputs_[static_cast<size_t>(i - 1)].get();
  }

  // There is always one spare unconnected input after the connected ones.
  void PinConnected(Pin* pin) override {
    if (pin == &out_) return;
    std::lock_guard lock(pinsLock_);
    for (auto& in : inputs_)
      if (!in->IsConnected()) return;
    char name[32];
    std::snprintf(name, sizeof name, "Input %02d", static_cast<int>(inputs_.size()) + 1);
    inputs_.push_back(std::make_unique<MuxInput>(this, U16(name)));
  }

  // IConfigAviMux
  HRESULT SetMasterStream(LONG stream) override {
    if (State() != State_Stopped) return VFW_E_NOT_STOPPED;
    master_ = stream;
    return S_OK;
  }
  HRESULT GetMasterStream(LONG* stream) override {
    if (!stream) return E_POINTER;
    *stream = master_;
    return S_OK;
  }
  HRESULT SetOutputCompatibilityIndex(bool oldIndex) override {
    if (State() != State_Stopped) return VFW_E_NOT_STOPPED;
    oldIndex_ = oldIndex;
    return S_OK;
  }
  HRESULT GetOutputCompatibilityIndex(bool* oldIndex) override {
    if (!oldIndex) return E_POINTER;
    *oldIndex = oldIndex_;
    return S_OK;
  }

  HRESULT Stop() override {
    {
      std::lock_guard lock(muxLock_);
      FinishLocked(false);
    }
    return Filter::Stop();
  }

  HRESULT Receive(Pin* pin, IMediaSample* sample) override {
    auto* in = static_cast<MuxInput*>(pin);
    std::lock_guard lock(muxLock_);
    if (!ctx_ || in->stream < 0 || trailerWritten_) return VFW_E_WRONG_STATE;
    if (FAILED(error_)) return error_;
    AVStream* st = ctx_->streams[in->stream];
    MediaType mt = in->CurrentType();
    BYTE* data = nullptr;
    sample->GetPointer(&data);
    LONG size = sample->GetActualDataLength();
    REFERENCE_TIME start = 0, stop = 0;
    bool timed = SUCCEEDED(sample->GetTime(&start, &stop));
    if (timed && stop <= 0) return S_OK;  // preroll before the segment
    AVPacket* pkt = av_packet_alloc();
    if (av_new_packet(pkt, size) < 0) {
      av_packet_free(&pkt);
      return E_OUTOFMEMORY;
    }
    if (in->flipRows && static_cast<size_t>(size) == in->rowBytes * static_cast<size_t>(in->rows)) {
      for (int y = 0; y < in->rows; ++y)
        std::memcpy(pkt->data + in->rowBytes * static_cast<size_t>(in->rows - 1 - y),
                    data + in->rowBytes * static_cast<size_t>(y), in->rowBytes);
    } else {
      std::memcpy(pkt->data, data, static_cast<size_t>(size));
    }
    pkt->stream_index = in->stream;
    const WAVEFORMATEX* wf = WaveFormat(mt);
    if (st->codecpar->codec_type == AVMEDIA_TYPE_AUDIO && wf && IsPcmAudio(mt)) {
      int64_t samples = size / std::max<int>(1, wf->nBlockAlign);
      pkt->pts = pkt->dts = in->nextPts;
      pkt->duration = samples;
      in->nextPts += samples;
      pkt->flags |= AV_PKT_FLAG_KEY;
    } else if (st->codecpar->codec_type == AVMEDIA_TYPE_VIDEO) {
      int64_t pts = timed ? av_rescale_q(start, AVRational{1, static_cast<int>(UNITS)}, st->time_base)
                          : in->nextPts;
      if (pts < in->nextPts) pts = in->nextPts;
      pkt->pts = pkt->dts = pts;
      pkt->duration = 1;
      in->nextPts = pts + 1;
      if (sample->IsSyncPoint() == S_OK || st->codecpar->codec_id == AV_CODEC_ID_RAWVIDEO)
        pkt->flags |= AV_PKT_FLAG_KEY;
    } else {
      int64_t pts = timed ? av_rescale_q(start, AVRational{1, static_cast<int>(UNITS)}, st->time_base)
                          : in->nextPts;
      if (pts < in->nextPts) pts = in->nextPts;
      pkt->pts = pkt->dts = pts;
      in->nextPts = pts + 1;
      pkt->flags |= AV_PKT_FLAG_KEY;
    }
    in->waiting.push_back(pkt);
    if (HRESULT hr = WriteWaitingLocked(false); FAILED(hr)) return hr;
    if (timed) {
      in->reached = std::max(in->reached, stop);
      if (Services()) Services()->ReportProgress(WrittenThrough());
    }
    return S_OK;
  }

  // The time up to which every stream still running has been written: the progress of the file.
  REFERENCE_TIME WrittenThrough() const {
    REFERENCE_TIME through = -1;
    for (const auto& i : inputs_)
      if (i->stream >= 0 && !i->ended && (through < 0 || i->reached < through)) through = i->reached;
    return std::max<REFERENCE_TIME>(through, 0);
  }

  HRESULT EndOfStream(Pin* pin) override {
    auto* in = static_cast<MuxInput*>(pin);
    std::lock_guard lock(muxLock_);
    in->ended = true;
    if (ctx_ && !trailerWritten_ && SUCCEEDED(error_))
      if (HRESULT hr = WriteWaitingLocked(false); FAILED(hr)) return hr;
    for (auto& i : inputs_)
      if (i->stream >= 0 && !i->ended) return S_OK;
    HRESULT hr = FinishLocked(true);
    return hr;
  }

  // The byte stream's writes, delivered as positioned samples.
  int WriteBytes(const uint8_t* buf, int size) {
    IMediaSample* sample = nullptr;
    HRESULT hr = out_.GetDeliveryBuffer(size, &sample);
    if (FAILED(hr)) {
      writeError_ = hr;
      return AVERROR(EIO);
    }
    BYTE* dst = nullptr;
    sample->GetPointer(&dst);
    std::memcpy(dst, buf, static_cast<size_t>(size));
    sample->SetActualDataLength(size);
    REFERENCE_TIME s = pos_, e = pos_ + size;
    sample->SetTime(&s, &e);
    hr = out_.Deliver(sample);
    sample->Release();
    if (FAILED(hr)) {
      writeError_ = hr;
      return hr == HRESULT_DISK_FULL ? AVERROR(ENOSPC) : AVERROR(EIO);
    }
    pos_ += size;
    size_ = std::max(size_, pos_);
    return size;
  }
  int64_t SeekBytes(int64_t offset, int whence) {
    if (whence & AVSEEK_SIZE) return size_;
    whence &= ~AVSEEK_FORCE;
    if (whence == SEEK_SET) pos_ = offset;
    else if (whence == SEEK_CUR) pos_ += offset;
    else if (whence == SEEK_END) pos_ = size_ + offset;
    else return AVERROR(EINVAL);
    return pos_;
  }

 protected:
  HRESULT QueryOther(REFIID riid, void** ppv) override {
    if (riid == IConfigAviMux::iid) {
      *ppv = static_cast<IConfigAviMux*>(this);
    } else {
      return Filter::QueryOther(riid, ppv);
    }
    AddRef();
    return S_OK;
  }

  HRESULT OnPause() override {
    std::lock_guard lock(muxLock_);
    if (ctx_) return S_OK;
    return OpenContainer();
  }

 private:
  HRESULT OpenContainer() {
    if (!out_.IsConnected()) return VFW_E_NOT_CONNECTED;
    error_ = S_OK;
    writeError_ = S_OK;
    pos_ = size_ = 0;
    trailerWritten_ = false;
    if (avformat_alloc_output_context2(&ctx_, nullptr, "avi", nullptr) < 0 || !ctx_) return E_OUTOFMEMORY;
    int n = 0;
    for (auto& in : inputs_) {
      in->stream = -1;
      in->nextPts = 0;
      in->ended = false;
      in->reached = 0;
      if (!in->IsConnected()) continue;
      MediaType mt = in->CurrentType();
      AVStream* st = avformat_new_stream(ctx_, nullptr);
      if (!st || !CodecFromMediaType(mt, st->codecpar)) {
        CloseContainer();
        return VFW_E_INVALIDMEDIATYPE;
      }
      // The stream's name (strn), when the filter feeding it gives one.
      if (ComPtr<IPin> up = in->Peer()) {
        PIN_INFO info;
        if (SUCCEEDED(up->QueryPinInfo(&info)) && info.pFilter) {
          ComPtr<IStreamName> named;
          if (SUCCEEDED(info.pFilter->QueryInterface(IStreamName::iid, named.put_void())) && named) {
            std::u16string name = named->StreamName();
            if (!name.empty()) av_dict_set(&st->metadata, "title", U8(name).c_str(), 0);
          }
          info.pFilter->Release();
        }
      }
      if (const VIDEOINFOHEADER* vih = VideoInfo(mt)) {
        REFERENCE_TIME frame = vih->AvgTimePerFrame > 0 ? vih->AvgTimePerFrame : 400000;
        AVRational tb;
        av_reduce(&tb.num, &tb.den, frame, UNITS, INT32_MAX);
        // A frame time rounded to 100 ns (666667 for 15 frames a second) stands for the rate it
        // was rounded from: the stream header carries that rate exactly.
        for (int den = 1; den <= 1001; ++den) {
          const int64_t num = std::llround(static_cast<double>(UNITS) * den / static_cast<double>(frame));
          if (num > 0 && num < INT32_MAX &&
              std::llround(static_cast<double>(UNITS) * den / static_cast<double>(num)) == frame) {
            av_reduce(&tb.num, &tb.den, den, num, INT32_MAX);
            break;
          }
        }
        st->time_base = tb;
        st->avg_frame_rate = AVRational{tb.den, tb.num};
        if (st->codecpar->codec_id == AV_CODEC_ID_RAWVIDEO) {
          st->codecpar->bits_per_coded_sample = vih->bmiHeader.biBitCount;
          st->codecpar->codec_tag = 0;
          in->flipRows = false;
          if (st->codecpar->format == AV_PIX_FMT_RGB565LE) {
            if (!DescribeBitFields565(st->codecpar)) {
              CloseContainer();
              return E_OUTOFMEMORY;
            }
            in->flipRows = vih->bmiHeader.biHeight < 0;
            in->rowBytes = static_cast<size_t>(DibStride(vih->bmiHeader.biWidth, 16));
            in->rows = std::abs(vih->bmiHeader.biHeight);
          }
        }
      } else if (const WAVEFORMATEX* wf = WaveFormat(mt)) {
        st->time_base = AVRational{1, static_cast<int>(std::max<uint32_t>(1, wf->nSamplesPerSec))};
        if (IsPcmAudio(mt)) {
          st->codecpar->bit_rate = static_cast<int64_t>(wf->nAvgBytesPerSec) * 8;
          st->codecpar->block_align = wf->nBlockAlign;
        } else if (st->codecpar->codec_id == AV_CODEC_ID_MP3 || st->codecpar->codec_id == AV_CODEC_ID_MP2) {
          st->codecpar->frame_size = st->codecpar->codec_id == AV_CODEC_ID_MP3 ? 1152 : 1152;
        }
      }
      in->stream = n++;
    }
    if (n == 0) {
      CloseContainer();
      return VFW_E_NOT_CONNECTED;
    }
    constexpr int kBuffer = 1 << 20;
    auto* buffer = static_cast<uint8_t*>(av_malloc(kBuffer));
    ctx_->pb = avio_alloc_context(
        buffer, kBuffer, 1, this, nullptr,
        [](void* opaque, uint8_t* buf, int size) {
          return static_cast<AviMux*>(opaque)->WriteBytes(buf, size);
        },
        [](void* opaque, int64_t offset, int whence) {
          return static_cast<AviMux*>(opaque)->SeekBytes(offset, whence);
        });
    if (!ctx_->pb) {
      av_free(buffer);
      CloseContainer();
      return E_OUTOFMEMORY;
    }
    ctx_->flags |= AVFMT_FLAG_BITEXACT;
    int err = avformat_write_header(ctx_, nullptr);
    if (err < 0) {
      HRESULT hr = FAILED(writeError_) ? writeError_ : HResultFromAv(err);
      CloseContainer();
      return FAILED(hr) ? hr : E_FAIL;
    }
    return S_OK;
  }

  // Writes the waiting packets in the order of their times (a tie goes to the lower stream), as
  // long as every stream still running has one waiting (all of them when `all`): the order of the
  // packets in the file follows from the streams alone.
  HRESULT WriteWaitingLocked(bool all) {
    while (true) {
      MuxInput* next = nullptr;
      for (auto& in : inputs_) {
        if (in->stream < 0) continue;
        if (in->waiting.empty()) {
          if (!in->ended && !all) return S_OK;
          continue;
        }
        if (!next) {
          next = in.get();
          continue;
        }
        const AVPacket* a = in->waiting.front();
        const AVPacket* b = next->waiting.front();
        const int order = av_compare_ts(a->dts, ctx_->streams[in->stream]->time_base, b->dts,
                                        ctx_->streams[next->stream]->time_base);
        if (order < 0 || (order == 0 && in->stream < next->stream)) next = in.get();
      }
      if (!next) return S_OK;
      AVPacket* pkt = next->waiting.front();
      next->waiting.pop_front();
      const int err = av_write_frame(ctx_, pkt);
      av_packet_free(&pkt);
      if (err < 0) {
        error_ = FAILED(writeError_) ? writeError_ : HResultFromAv(err);
        return error_;
      }
    }
  }

  void DropWaiting() {
    for (auto& in : inputs_)
      for (AVPacket*& pkt : in->waiting) av_packet_free(&pkt);
    for (auto& in : inputs_) in->waiting.clear();
  }

  // Completes the file (index and headers) once; at the end of all streams also passes the
  // end of the stream on to the writer.
  HRESULT FinishLocked(bool endOfStream) {
    HRESULT hr = S_OK;
    if (ctx_ && !trailerWritten_) {
      trailerWritten_ = true;
      if (SUCCEEDED(error_)) hr = WriteWaitingLocked(true);
      DropWaiting();
      int err = av_write_trailer(ctx_);
      if (err >= 0) avio_flush(ctx_->pb);
      if (err < 0) hr = FAILED(writeError_) ? writeError_ : HResultFromAv(err);
      if (endOfStream) out_.DeliverEndOfStream();
    }
    if (!endOfStream) CloseContainer();
    return hr;
  }

  void CloseContainer() {
    DropWaiting();
    if (!ctx_) return;
    if (ctx_->pb) {
      av_freep(&ctx_->pb->buffer);
      avio_context_free(&ctx_->pb);
    }
    avformat_free_context(ctx_);
    ctx_ = nullptr;
  }

  OutputPin out_;
  std::mutex pinsLock_;
  std::vector<std::unique_ptr<MuxInput>> inputs_;
  std::mutex muxLock_;
  AVFormatContext* ctx_ = nullptr;
  bool trailerWritten_ = false;
  HRESULT error_ = S_OK;
  HRESULT writeError_ = S_OK;
  int64_t pos_ = 0, size_ = 0;
  LONG master_ = -1;
  bool oldIndex_ = false;
};

MuxInput::MuxInput(AviMux* mux, std::u16string name) : Pin(mux, std::move(name), PINDIR_INPUT) {}

HRESULT MuxInput::CheckMediaType(const AM_MEDIA_TYPE& mt) {
  if (mt.majortype != MEDIATYPE_Video && mt.majortype != MEDIATYPE_Audio) return VFW_E_TYPE_NOT_ACCEPTED;
  AVCodecParameters* par = avcodec_parameters_alloc();
  bool ok = CodecFromMediaType(mt, par);
  avcodec_parameters_free(&par);
  return ok ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

// --- File writer ----------------------------------------------------------------------------

class FileWriter;

class WriterInput : public Pin {
 public:
  WriterInput(FileWriter* f);
  HRESULT CheckMediaType(const AM_MEDIA_TYPE& mt) override {
    return mt.majortype == MEDIATYPE_Stream ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
  }
  // Writes are taken until the writer itself stops: an upstream multiplexer completes its file
  // while the graph is stopping.
  HRESULT Receive(IMediaSample* sample) override;
};

class FileWriter : public Filter, public IFileSinkFilter {
 public:
  FileWriter() : Filter(u"File writer", CLSID_FileWriterFilter), in_(this) {}
  ~FileWriter() override { CloseFile(); }
  DSHOW_FORWARD_IUNKNOWN(Filter)

  int PinCount() override { return 1; }
  Pin* GetPin(int i) override { return i == 0 ? &in_ : nullptr; }
  bool IsRenderer() const override { return true; }

  HRESULT SetFileName(const char16_t* fileName, const AM_MEDIA_TYPE*) override {
    if (!fileName) return E_POINTER;
    if (!*fileName) return E_INVALIDARG;
    if (State() != State_Stopped) return VFW_E_NOT_STOPPED;
    std::lock_guard lock(fileLock_);
    path_ = U8(fileName);
    return S_OK;
  }
  HRESULT GetCurFile(char16_t** fileName, AM_MEDIA_TYPE* pmt) override {
    if (!fileName) return E_POINTER;
    std::lock_guard lock(fileLock_);
    *fileName = nullptr;
    if (pmt) *pmt = AM_MEDIA_TYPE();
    if (path_.empty()) return E_FAIL;
    std::u16string s = U16(path_);
    *fileName = static_cast<char16_t*>(CoTaskMemAlloc((s.size() + 1) * sizeof(char16_t)));
    if (!*fileName) return E_OUTOFMEMORY;
    std::memcpy(*fileName, s.c_str(), (s.size() + 1) * sizeof(char16_t));
    return S_OK;
  }

  HRESULT Write(IMediaSample* sample) {
    std::lock_guard lock(fileLock_);
    if (fd_ < 0) return VFW_E_WRONG_STATE;
    if (FAILED(error_)) return error_;
    REFERENCE_TIME start = 0, stop = 0;
    if (FAILED(sample->GetTime(&start, &stop))) start = written_;
    BYTE* data = nullptr;
    sample->GetPointer(&data);
    size_t left = static_cast<size_t>(sample->GetActualDataLength());
    off_t at = static_cast<off_t>(start);
    while (left > 0) {
      ssize_t n = ::pwrite(fd_, data, left, at);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        // A full disk, a quota or a file-size limit: no room for the movie.
        const bool noRoom = n == 0 || errno == ENOSPC || errno == EDQUOT || errno == EFBIG;
        error_ = noRoom ? HRESULT_DISK_FULL : E_FAIL;
        NotifyEvent(EC_ERRORABORT, error_, 0);
        return error_;
      }
      data += n;
      at += n;
      left -= static_cast<size_t>(n);
    }
    written_ = std::max<int64_t>(written_, at);
    return S_OK;
  }

  HRESULT EndOfStream(Pin*) override {
    {
      std::lock_guard lock(fileLock_);
      if (fd_ >= 0) ::fdatasync(fd_);
    }
    if (State() == State_Running || State() == State_Paused) NotifyEvent(EC_COMPLETE, S_OK, 0);
    return S_OK;
  }

 protected:
  HRESULT QueryOther(REFIID riid, void** ppv) override {
    if (riid == IFileSinkFilter::iid) {
      *ppv = static_cast<IFileSinkFilter*>(this);
    } else {
      return Filter::QueryOther(riid, ppv);
    }
    AddRef();
    return S_OK;
  }
  HRESULT OnPause() override {
    std::lock_guard lock(fileLock_);
    if (fd_ >= 0) return S_OK;
    // Nothing will be written: no file is made (nor emptied).
    if (!in_.IsConnected()) return S_OK;
    if (path_.empty()) return E_INVALIDARG;
    fd_ = OpenTarget(path_);
    if (fd_ < 0) {
      if (errno == ENOENT) return HRESULT_PATH_NOT_FOUND;
      if (errno == ENOSPC) return HRESULT_DISK_FULL;
      return E_ACCESSDENIED;
    }
    error_ = S_OK;
    written_ = 0;
    return S_OK;
  }
  HRESULT OnStop() override {
    CloseFile();
    return S_OK;
  }

 private:
  // The named file, never through a link: a new name is created exclusively (the permissions
  // of any new file), an existing name (the side file a caller made for the writer) is opened
  // without following a link or waiting for a FIFO's reader. -1 with errno set on failure.
  static int OpenTarget(const std::string& path) {
    for (int attempt = 0; attempt < 8; ++attempt) {
      int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                      static_cast<mode_t>(NewFilePermissions()));
      if (fd >= 0 || errno != EEXIST) return fd;
      fd = ::open(path.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
      if (fd < 0) {
        if (errno == ENOENT) continue;  // removed meanwhile: create it after all
        if (errno == ELOOP) errno = EACCES;
        return -1;
      }
      // A regular file is emptied; a character device (/dev/full, /dev/null) is written as it is;
      // a FIFO (which would wait for a reader), a folder or anything else is refused.
      struct stat st;
      if (::fstat(fd, &st) != 0 || !(S_ISREG(st.st_mode) || S_ISCHR(st.st_mode)) ||
          (S_ISREG(st.st_mode) && ::ftruncate(fd, 0) != 0)) {
        ::close(fd);
        errno = EACCES;
        return -1;
      }
      ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
      return fd;
    }
    errno = EACCES;
    return -1;
  }

  void CloseFile() {
    std::lock_guard lock(fileLock_);
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

  WriterInput in_;
  std::mutex fileLock_;
  std::string path_;
  int fd_ = -1;
  HRESULT error_ = S_OK;
  int64_t written_ = 0;
};

WriterInput::WriterInput(FileWriter* f) : Pin(f, u"in", PINDIR_INPUT) {}

HRESULT WriterInput::Receive(IMediaSample* sample) {
  if (!sample) return E_POINTER;
  if (filter_->State() == State_Stopped) return VFW_E_WRONG_STATE;
  HRESULT hr = static_cast<FileWriter*>(filter_)->Write(sample);
  if (SUCCEEDED(hr)) filter_->MarkCued();
  return hr;
}

}  // namespace

void RegisterMuxFilters() {
  FilterTemplate mux;
  mux.name = u"AVI Mux";
  mux.clsid = CLSID_AviDest;
  mux.category = CLSID_LegacyAmFilterCategory;
  mux.merit = MERIT_DO_NOT_USE;
  mux.autoConnect = false;
  mux.inputs = {{MEDIATYPE_Video, GUID_NULL}, {MEDIATYPE_Audio, GUID_NULL}};
  mux.create = [](IBaseFilter** out) -> HRESULT {
    *out = MakeComObject<AviMux>().Detach();
    return S_OK;
  };
  AddSystemTemplate(std::move(mux));
  FilterTemplate fw;
  fw.name = u"File writer";
  fw.clsid = CLSID_FileWriterFilter;
  fw.category = CLSID_LegacyAmFilterCategory;
  fw.merit = MERIT_DO_NOT_USE;
  fw.autoConnect = false;
  fw.hasOutputs = false;
  fw.inputs = {{MEDIATYPE_Stream, GUID_NULL}};
  fw.create = [](IBaseFilter** out) -> HRESULT {
    *out = MakeComObject<FileWriter>().Detach();
    return S_OK;
  };
  AddSystemTemplate(std::move(fw));
}

}  // namespace dshow
