// Opening AVI files, their streams, reference counts, and reading a stream's frames or packets.
// A file opens when it starts as RIFF "AVI " and libavformat's AVI demuxer reads its headers; an
// index that points outside the file is refused; a file cut short opens with the frames it has.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}

#include "vfw_internal.h"

namespace {

std::mutex gInitLock;
int gInitCount = 0;

// The first twelve bytes of an AVI file: "RIFF", a size, "AVI ".
bool HasAviSignature(const std::string& path, bool* readable) {
  *readable = false;
  // Opened without waiting (a FIFO's writer) and read only when it is a regular file: a FIFO,
  // a device or a folder cannot be opened as a movie file.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    return false;
  }
  *readable = true;
  unsigned char head[12] = {};
  size_t got = 0;
  while (got < sizeof head) {
    const ssize_t n = ::read(fd, head + got, sizeof head - got);
    if (n > 0) {
      got += static_cast<size_t>(n);
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else {
      break;
    }
  }
  ::close(fd);
  return got == sizeof head && std::memcmp(head, "RIFF", 4) == 0 && std::memcmp(head + 8, "AVI ", 4) == 0;
}

uint32_t StreamType(int mediaType) {
  switch (mediaType) {
    case AVMEDIA_TYPE_VIDEO: return streamtypeVIDEO;
    case AVMEDIA_TYPE_AUDIO: return streamtypeAUDIO;
    case AVMEDIA_TYPE_SUBTITLE: return streamtypeTEXT;
    default: return 0;
  }
}

using namespace vfw_detail;

// The packets of a file's stream as they are stored.
class CopySource : public PacketSource {
 public:
  CopySource(std::string path, int index) : path_(std::move(path)), index_(index) {}
  ~CopySource() override {
    if (pkt_) av_packet_free(&pkt_);
    if (fmt_) avformat_close_input(&fmt_);
  }
  HRESULT Start(AVCodecParameters* par, bool* bottomUpRgb) override {
    HRESULT error = AVIERR_OK;
    fmt_ = OpenContainer(path_, &error);
    if (!fmt_) return error;
    if (index_ < 0 || index_ >= static_cast<int>(fmt_->nb_streams)) return AVIERR_NODATA;
    pkt_ = av_packet_alloc();
    if (!pkt_) return AVIERR_MEMORY;
    if (avcodec_parameters_copy(par, fmt_->streams[index_]->codecpar) < 0) return AVIERR_MEMORY;
    // Uncompressed RGB of an AVI file is stored bottom-up (a positive height).
    *bottomUpRgb = par->codec_id == AV_CODEC_ID_RAWVIDEO && par->codec_tag == 0;
    return AVIERR_OK;
  }
  HRESULT Next(Packet* packet) override {
    while (av_read_frame(fmt_, pkt_) >= 0) {
      if (pkt_->stream_index != index_) {
        av_packet_unref(pkt_);
        continue;
      }
      packet->data.assign(pkt_->data, pkt_->data + pkt_->size);
      packet->key = (pkt_->flags & AV_PKT_FLAG_KEY) != 0;
      av_packet_unref(pkt_);
      ++consumed_;
      return AVIERR_OK;
    }
    return S_FALSE;
  }
  int64_t Consumed() const override { return consumed_; }

 private:
  std::string path_;
  int index_;
  AVFormatContext* fmt_ = nullptr;
  AVPacket* pkt_ = nullptr;
  int64_t consumed_ = 0;
};

}  // namespace

namespace vfw_detail {

AVFormatContext* OpenContainer(const std::string& path, HRESULT* error) {
  bool readable = false;
  if (!HasAviSignature(path, &readable)) {
    *error = readable ? AVIERR_BADFORMAT : AVIERR_FILEOPEN;
    return nullptr;
  }
  AVFormatContext* fmt = avformat_alloc_context();
  if (!fmt) {
    *error = AVIERR_MEMORY;
    return nullptr;
  }
  // The path names a local file, whatever it looks like ("name:with colons" is no protocol).
  AVDictionary* options = nullptr;
  av_dict_set(&options, "protocol_whitelist", "file", 0);
  int err = avformat_open_input(&fmt, ("file:" + path).c_str(), av_find_input_format("avi"), &options);
  av_dict_free(&options);
  if (err < 0) {
    *error = AVIERR_BADFORMAT;  // avformat_open_input freed the context
    return nullptr;
  }
  // An index that points outside the file: the file's structure is damaged.
  struct stat st {};
  const int64_t size = ::stat(path.c_str(), &st) == 0 ? static_cast<int64_t>(st.st_size) : 0;
  for (unsigned i = 0; i < fmt->nb_streams; ++i) {
    const int n = avformat_index_get_entries_count(fmt->streams[i]);
    for (int e = 0; e < n; ++e) {
      const AVIndexEntry* entry = avformat_index_get_entry(fmt->streams[i], e);
      if (entry && (entry->pos < 0 || entry->pos >= size)) {
        avformat_close_input(&fmt);
        *error = AVIERR_BADFORMAT;
        return nullptr;
      }
    }
  }
  *error = AVIERR_OK;
  return fmt;
}

HRESULT AviFile::GetStream(IAVIStream** stream, uint32_t fccType, int32_t index) {
  if (!stream) return AVIERR_BADPARAM;
  *stream = nullptr;
  int32_t seen = 0;
  for (const StreamEntry& e : streams_) {
    if (fccType != 0 && e.info.fccType != fccType) continue;
    if (seen++ != index) continue;
    *stream = MakeComObject<FileStream>(this, e).Detach();
    return AVIERR_OK;
  }
  return AVIERR_NODATA;
}

HRESULT FileStream::Info(AVISTREAMINFO* info) {
  if (!info) return AVIERR_BADPARAM;
  *info = entry_.info;
  return AVIERR_OK;
}

std::unique_ptr<PacketSource> FileStream::MakeSource() {
  return std::make_unique<CopySource>(file_->Path(), entry_.index);
}

FrameReader::~FrameReader() {
  if (frame_) av_frame_free(&frame_);
  if (pkt_) av_packet_free(&pkt_);
  if (dec_) avcodec_free_context(&dec_);
  if (fmt_) avformat_close_input(&fmt_);
}

HRESULT FrameReader::Open(const std::string& path, int streamIndex) {
  HRESULT error = AVIERR_OK;
  fmt_ = OpenContainer(path, &error);
  if (!fmt_) return error;
  if (streamIndex < 0 || streamIndex >= static_cast<int>(fmt_->nb_streams)) return AVIERR_NODATA;
  index_ = streamIndex;
  // The other streams' packets are not read at all.
  for (unsigned i = 0; i < fmt_->nb_streams; ++i)
    if (static_cast<int>(i) != index_) fmt_->streams[i]->discard = AVDISCARD_ALL;
  const AVCodecParameters* par = fmt_->streams[index_]->codecpar;
  const AVCodec* codec = avcodec_find_decoder(par->codec_id);
  if (!codec) return AVIERR_UNSUPPORTED;
  dec_ = avcodec_alloc_context3(codec);
  pkt_ = av_packet_alloc();
  frame_ = av_frame_alloc();
  if (!dec_ || !pkt_ || !frame_) return AVIERR_MEMORY;
  if (avcodec_parameters_to_context(dec_, par) < 0) return AVIERR_MEMORY;
  dec_->thread_count = 0;
  dec_->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
  if (avcodec_open2(dec_, codec, nullptr) < 0) return AVIERR_UNSUPPORTED;
  return AVIERR_OK;
}

HRESULT FrameReader::Next(AVFrame** frame) {
  if (!dec_) return S_FALSE;
  // A decoder that fails over and over (not frame by frame) ends the stream.
  for (int failures = 0; failures < 64;) {
    av_frame_unref(frame_);
    int err = avcodec_receive_frame(dec_, frame_);
    if (err >= 0) {
      *frame = frame_;
      return AVIERR_OK;
    }
    if (err == AVERROR_EOF) return S_FALSE;
    if (err != AVERROR(EAGAIN)) {  // a damaged frame: the next one
      ++failures;
      continue;
    }
    failures = 0;
    if (draining_) return S_FALSE;
    err = av_read_frame(fmt_, pkt_);
    if (err < 0) {
      draining_ = true;
      avcodec_send_packet(dec_, nullptr);
      continue;
    }
    if (pkt_->stream_index == index_) avcodec_send_packet(dec_, pkt_);  // damaged data is skipped
    av_packet_unref(pkt_);
  }
  return S_FALSE;
}

RgbConverter::~RgbConverter() {
  if (sws_) sws_freeContext(sws_);
}

bool RgbConverter::Convert(const AVFrame* frame, std::vector<uint8_t>* buffer) {
  if (frame->width <= 0 || frame->height <= 0) return false;
  if (!sws_ || frame->width != width_ || frame->height != height_ || frame->format != format_) {
    if (sws_) sws_freeContext(sws_);
    width_ = frame->width;
    height_ = frame->height;
    format_ = frame->format;
    sws_ = sws_getContext(width_, height_, static_cast<AVPixelFormat>(format_), width_, height_,
                          AV_PIX_FMT_BGR24, SWS_BICUBIC, nullptr, nullptr, nullptr);
    if (!sws_) return false;
  }
  const int stride = RgbStride(width_);
  buffer->resize(static_cast<size_t>(stride) * height_);
  uint8_t* dst[4] = {buffer->data(), nullptr, nullptr, nullptr};
  int dstStride[4] = {stride, 0, 0, 0};
  return sws_scale(sws_, frame->data, frame->linesize, 0, height_, dst, dstStride) == height_;
}

}  // namespace vfw_detail

void AVIFileInit() {
  std::lock_guard lock(gInitLock);
  ++gInitCount;
}

void AVIFileExit() {
  std::lock_guard lock(gInitLock);
  if (gInitCount > 0) --gInitCount;
}

namespace vfw {
int InitCount() {
  std::lock_guard lock(gInitLock);
  return gInitCount;
}
}  // namespace vfw

HRESULT AVIFileOpen(PAVIFILE* ppfile, const char* szFile, UINT uMode, const CLSID*) {
  if (!ppfile) return AVIERR_BADPARAM;
  *ppfile = nullptr;
  if (!szFile) return AVIERR_BADPARAM;
  // Only reading is offered: a request to create or write a file is refused.
  if (uMode & (OF_WRITE | OF_READWRITE | OF_CREATE)) return AVIERR_READONLY;
  const std::string path = szFile;
  struct stat st {};
  if (path.empty() || ::stat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return AVIERR_FILEOPEN;
  HRESULT error = AVIERR_OK;
  AVFormatContext* fmt = OpenContainer(path, &error);
  if (!fmt) return error;
  std::vector<StreamEntry> streams;
  for (unsigned i = 0; i < fmt->nb_streams; ++i) {
    const AVStream* s = fmt->streams[i];
    StreamEntry e;
    e.index = static_cast<int>(i);
    e.info.fccType = StreamType(s->codecpar->codec_type);
    if (!e.info.fccType) continue;
    if (e.info.fccType == streamtypeVIDEO) e.info.fccHandler = s->codecpar->codec_tag;
    e.info.dwScale = static_cast<uint32_t>(s->time_base.num);
    e.info.dwRate = static_cast<uint32_t>(s->time_base.den);
    e.info.dwStart = s->start_time > 0 && s->start_time != AV_NOPTS_VALUE ? static_cast<uint32_t>(s->start_time) : 0;
    int64_t length = s->nb_frames > 0 ? s->nb_frames : (s->duration > 0 ? s->duration : 0);
    e.info.dwLength = static_cast<uint32_t>(std::min<int64_t>(length, UINT32_MAX));
    e.info.width = s->codecpar->width;
    e.info.height = s->codecpar->height;
    streams.push_back(e);
  }
  avformat_close_input(&fmt);
  *ppfile = MakeComObject<vfw_detail::AviFile>(path, std::move(streams)).Detach();
  return AVIERR_OK;
}

HRESULT AVIFileOpenA(PAVIFILE* ppfile, const char* szFile, UINT uMode, const CLSID* lpHandler) {
  return AVIFileOpen(ppfile, szFile, uMode, lpHandler);
}

HRESULT AVIFileGetStream(PAVIFILE pfile, PAVISTREAM* ppavi, uint32_t fccType, int32_t lParam) {
  if (!ppavi) return AVIERR_BADPARAM;
  *ppavi = nullptr;
  if (!pfile) return AVIERR_BADHANDLE;
  return pfile->GetStream(ppavi, fccType, lParam);
}

uint32_t AVIFileRelease(PAVIFILE pfile) { return pfile ? pfile->Release() : 0; }

uint32_t AVIStreamRelease(PAVISTREAM pavi) { return pavi ? pavi->Release() : 0; }

HRESULT AVIStreamInfo(PAVISTREAM pavi, AVISTREAMINFO* info, int32_t size) {
  if (!pavi) return AVIERR_BADHANDLE;
  if (!info || size < static_cast<int32_t>(sizeof(AVISTREAMINFO))) return AVIERR_BADSIZE;
  return pavi->Info(info);
}
