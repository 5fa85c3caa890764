#pragma once
// The media detector's reader: opens a file with libavformat, describes its video and sound
// streams, and decodes single video frames with a forward-decoding cache (stepping to the next
// frame costs one decode; the reader seeks only when going backwards or past a key frame).
#include <sys/stat.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/hresult.h"
#include "dshow/mediatype.h"

namespace des_detail {

struct StreamInfo {
  bool video = false;
  int formatIndex = -1;  // the stream's index in the container
};

class MediaReader {
 public:
  MediaReader();
  ~MediaReader();
  MediaReader(const MediaReader&) = delete;
  MediaReader& operator=(const MediaReader&) = delete;

  // Opens and parses a file. Failure codes: HRESULT_FILE_NOT_FOUND / HRESULT_PATH_NOT_FOUND (no
  // such file), E_ACCESSDENIED (unreadable, or a folder), VFW_E_FILE_TOO_SHORT (empty),
  // VFW_E_UNKNOWN_FILE_TYPE (not a media file the platform reads), VFW_E_INVALID_FILE_FORMAT
  // (a media file whose headers or index are damaged).
  HRESULT Open(const std::string& path);

  const std::vector<StreamInfo>& Streams() const { return streams_; }
  // A still picture: one video stream of one frame.
  bool IsStill() const { return still_; }
  // Length in seconds of stream i (0 for a still picture).
  double Length(size_t i);
  // Frames per second of stream i (0 for sound and for a still picture).
  double FrameRate(size_t i) const;
  // The media type of stream i, its format block allocated with the task allocator.
  HRESULT MediaTypeOf(size_t i, AM_MEDIA_TYPE* type) const;

  // Bytes GetBitmap fills for a picture of that size (header and pixel rows).
  static size_t BitmapSize(int width, int height);
  // Validates a requested picture size: VFW_E_CANNOT_CONNECT for a size below one pixel,
  // E_INVALIDARG for a size beyond what a bitmap may hold.
  static HRESULT CheckBitmapSize(int width, int height);
  // The frame at time seconds of the first video stream, scaled to width x height, as a
  // BITMAPINFOHEADER followed by bottom-up 24-bit rows, into out (BitmapSize bytes). Failure
  // codes: VFW_E_CANNOT_CONNECT (no video stream, no decoder, or a size below one pixel),
  // E_INVALIDARG (a negative or undefined time, a size too large), VFW_E_TIME_EXPIRED (no frame
  // can be decoded at that time: the data ends early or is damaged).
  HRESULT GetBitmap(double seconds, int width, int height, uint8_t* out);
  // Opens the video decoder and positions it at the frame of that time.
  HRESULT Seek(double seconds);

  // What the grabbing has cost since the file was opened: seeks of the demuxer, video packets
  // read, frames decoded and handed out of the decoder.
  struct Stats {
    int seeks = 0;
    int packets = 0;
    int frames = 0;
  };
  Stats DecodingStats() const;

 private:
  struct State;
  struct Parked;
  // Lets the file go, leaving it for the next reader of the same file when it was only parsed.
  void Park();
  bool TakeParked(const std::string& path, const struct stat& file);
  std::unique_ptr<State> s_;
  std::vector<StreamInfo> streams_;
  bool still_ = false;
};

}  // namespace des_detail
