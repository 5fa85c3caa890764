#pragma once
// What a group renders, frame by frame (video) or block by block (sound), from a snapshot of its
// timeline. Sources due within a few seconds decode ahead on their own threads.
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "clip_reader.h"
#include "timeline_model.h"

namespace des_detail {

class GroupRenderer {
 public:
  GroupRenderer(const GroupSnap& group, bool transitionsEnabled, REFERENCE_TIME duration);
  ~GroupRenderer();

  int Width() const { return width_; }
  int Height() const { return height_; }
  int Rate() const { return rate_; }
  int Channels() const { return channels_; }
  REFERENCE_TIME Duration() const { return duration_; }

  // Video: frame k shows the timeline at FrameTime(k); FrameCount frames fit the duration.
  REFERENCE_TIME FrameTime(int64_t k) const;
  int64_t FrameCount() const;
  int64_t FirstFrameAtOrAfter(REFERENCE_TIME t) const;
  // The picture at time t, top-down 0xAARRGGBB pixels.
  void RenderPicture(REFERENCE_TIME t, std::vector<uint32_t>& out);

  // Sound: sample frame i lies at SampleTime(i); SampleCount frames fit the duration.
  REFERENCE_TIME SampleTime(int64_t i) const;
  int64_t SampleCount() const;
  int64_t SampleAt(REFERENCE_TIME t) const;  // first sample frame at or after t
  // Sample frames [first, first + count) mixed, interleaved 16-bit.
  void RenderSound(int64_t first, size_t count, int16_t* out);

  // Ends the decoding threads (a waiting render call returns at once); may be called from another
  // thread than the one rendering.
  void Abort();
  // S_OK, or the failure of a source met while rendering (ClipReader::Failure).
  HRESULT Failure() const { return failure_.load(); }

 private:
  struct Clip {
    const SourceSnap* source;
    std::unique_ptr<ClipReader> reader;
    bool done = false;
  };
  void Prepare(REFERENCE_TIME t);
  ClipReader* ReaderFor(Clip& clip, REFERENCE_TIME firstNeeded);

  GroupSnap group_;
  bool transitions_;
  REFERENCE_TIME duration_;
  int width_ = 0, height_ = 0, rate_ = 0, channels_ = 0;
  std::vector<std::vector<Clip>> clips_;  // per track, by start
  std::vector<uint32_t> black_, scratch_;
  std::atomic<bool> aborted_{false};
  std::atomic<HRESULT> failure_{S_OK};
  std::mutex readersLock_;  // guards making, dropping and aborting the readers
};

// Packs top-down 0xAARRGGBB pixels into an uncompressed RGB sample of the given type (16-bit
// 555/565, 24 or 32 bits; DIB rows padded to 4 bytes, bottom-up for a positive height).
void PackPicture(const std::vector<uint32_t>& pixels, const AM_MEDIA_TYPE& type, uint8_t* out);

}  // namespace des_detail
