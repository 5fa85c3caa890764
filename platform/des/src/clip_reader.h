#pragma once
// Clip readers of the render engines: each decodes one source's file on a thread of its own
// (libavformat, libavcodec with frame threads) from a media position on, ahead of the renderer
// into a bounded queue, converting to what the group composes in: video frames scaled to the
// group's size as 32-bit 0xAARRGGBB pixels, sound resampled to the group's rate and channels as
// 16-bit samples.
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/hresult.h"

namespace des_detail {

using Picture = std::shared_ptr<const std::vector<uint32_t>>;

class ClipReader {
 public:
  // Video: width x height pictures. Sound: rate and channels of the group's format.
  struct Target {
    bool video = true;
    int width = 0, height = 0;
    int rate = 0, channels = 0;
    // The file's size when the graph was built (-1: unknown): a file found shorter when its
    // data ends has failed mid-stream.
    int64_t fileSize = -1;
  };
  // Starts decoding the file's first stream of the target's kind from mediaStart (100-ns units
  // from the stream's start).
  ClipReader(std::string path, Target target, int64_t mediaStart, size_t queueFrames);
  ~ClipReader();
  ClipReader(const ClipReader&) = delete;
  ClipReader& operator=(const ClipReader&) = delete;

  // Video: the last picture at or before media time m (the first one when none is that early,
  // the last one past the end); null when the file gave no picture at all. Calls must ask for
  // times that do not go backwards. Returns early (null) once Abort was called.
  Picture PictureAt(int64_t m);
  // Sound: the next `frames` sample frames (interleaved 16-bit), silence past the data's end.
  void ReadSound(int16_t* out, size_t frames);
  // Ends the decoding thread's work and wakes waiting readers.
  void Abort();
  // S_OK, or why the file's data ended before its end: a read error, or the file became shorter
  // than it was when the graph was built (VFW_E_FILE_TOO_SHORT). Set once decoding has ended.
  HRESULT Failure();

 private:
  struct Item {
    int64_t pts = 0;
    Picture picture;
    std::vector<int16_t> sound;
  };
  void Run();
  // Decodes and queues; true when a seek landed past the media start (read again unseeked).
  bool Decode(bool seek);
  bool Push(Item item);  // false when aborted
  size_t Queued() const;    // pictures, or sample frames, queued (under lock_)
  size_t Capacity() const;  // how many the queue holds

  std::string path_;
  Target target_;
  int64_t mediaStart_;
  size_t capacity_;
  std::mutex lock_;
  std::condition_variable changed_;
  std::deque<Item> queue_;
  size_t queuedSound_ = 0;  // sample frames queued
  bool ended_ = false;
  bool aborted_ = false;
  HRESULT failure_ = S_OK;
  // consumer side
  int64_t currentPts_ = 0;
  Picture current_;
  size_t soundOffset_ = 0;  // sample frames of the queue's front item already read
  std::thread thread_;
};

}  // namespace des_detail
