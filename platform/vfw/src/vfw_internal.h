#pragma once
// Shared inside the AVIFile library: files and streams, the frame reader, and what a save reads
// from a stream (its coded packets and their format).
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "com/object.h"
#include "vfw/vfw.h"

extern "C" {
struct AVFormatContext;
struct AVCodecContext;
struct AVCodecParameters;
struct AVFrame;
struct AVPacket;
struct SwsContext;
}

namespace vfw_detail {

// One stream of an opened file.
struct StreamEntry {
  int index = -1;  // the container's stream index
  AVISTREAMINFO info;
};

class AviFile : public ComObject<IAVIFile> {
 public:
  AviFile(std::string path, std::vector<StreamEntry> streams)
      : path_(std::move(path)), streams_(std::move(streams)) {}
  HRESULT GetStream(IAVIStream** stream, uint32_t fccType, int32_t index) override;
  const std::string& Path() const { return path_; }
  ULONG Count() const { return RefCount(); }

 private:
  std::string path_;
  std::vector<StreamEntry> streams_;
};

// A coded packet on its way into the new file.
struct Packet {
  std::vector<uint8_t> data;
  bool key = false;
};

// What a save reads from one stream: the format of the packets (codec parameters the muxer
// takes), then the packets in order.
class PacketSource {
 public:
  virtual ~PacketSource() = default;
  // Opens the source; fills *par (allocated by the caller). AVIERR codes on failure.
  virtual HRESULT Start(AVCodecParameters* par, bool* bottomUpRgb) = 0;
  // The next packet; S_FALSE after the last.
  virtual HRESULT Next(Packet* packet) = 0;
  // Frames of the source consumed so far (for the progress).
  virtual int64_t Consumed() const = 0;
};

// Streams of this library: a file's stream or a compressed stream.
class StreamBase : public ComObject<IAVIStream> {
 public:
  virtual std::unique_ptr<PacketSource> MakeSource() = 0;
  ULONG Count() const { return RefCount(); }
};

class FileStream : public StreamBase {
 public:
  FileStream(AviFile* file, StreamEntry entry) : file_(file), entry_(std::move(entry)) {}
  HRESULT Info(AVISTREAMINFO* info) override;
  std::unique_ptr<PacketSource> MakeSource() override;  // the packets as they are
  const std::string& Path() const { return file_->Path(); }
  const StreamEntry& Entry() const { return entry_; }

 private:
  ComPtr<AviFile> file_;
  StreamEntry entry_;
};

// Decodes one stream of a file in order.
class FrameReader {
 public:
  FrameReader() = default;
  FrameReader(const FrameReader&) = delete;
  FrameReader& operator=(const FrameReader&) = delete;
  ~FrameReader();
  HRESULT Open(const std::string& path, int streamIndex);
  // The next decoded frame (valid until the next call); S_FALSE at the end.
  HRESULT Next(AVFrame** frame);

 private:
  AVFormatContext* fmt_ = nullptr;
  AVCodecContext* dec_ = nullptr;
  AVPacket* pkt_ = nullptr;
  AVFrame* frame_ = nullptr;
  int index_ = -1;
  bool draining_ = false;
};

// Opens a file's container (AVI only); null on failure, with the AVIERR code in *error.
AVFormatContext* OpenContainer(const std::string& path, HRESULT* error);

// Converts decoded frames into packed 24-bit BGR, rows top-down, each padded to whole words.
class RgbConverter {
 public:
  ~RgbConverter();
  // Fills buffer with the picture (stride DibStride(width, 24)); false when it cannot.
  bool Convert(const AVFrame* frame, std::vector<uint8_t>* buffer);

 private:
  SwsContext* sws_ = nullptr;
  int width_ = 0, height_ = 0, format_ = -1;
};

inline int32_t RgbStride(int32_t width) { return ((width * 24 + 31) / 32) * 4; }

}  // namespace vfw_detail
