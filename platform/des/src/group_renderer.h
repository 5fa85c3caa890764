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

  // The source shown at t (on the highest track with one there; null for none), and whether a
  // transition of any track is under way at t; starts no reader. Times never go backwards, also
  // across this and the render calls.
  const SourceSnap* TopSourceAt(REFERENCE_TIME t, bool* transition);

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
  // The tracks the last render call composed or mixed: those with a source or a transition in the
  // picture's time or the sound block's span, not all of the group's tracks.
  size_t TracksVisited() const { return tracksVisited_; }

 private:
  struct Clip {
    const SourceSnap* source;
    size_t track;
    std::unique_ptr<ClipReader> reader;
    bool done = false;
  };
  struct Transition {
    const TransitionSnap* transition;
    size_t track;
  };
  // The work of one call: the clips and transitions of the tracks that take part in [t, until),
  // by track (bottom first).
  struct TrackWork {
    size_t track;
    std::vector<Clip*> clips;
    std::vector<const TransitionSnap*> transitions;
  };
  // Moves on to time t (times never go backwards): ends the readers of sources that are over,
  // starts those of sources due soon (when told) and notes the clips and transitions met in
  // [t, until).
  void Prepare(REFERENCE_TIME t, REFERENCE_TIME until, bool startReaders);
  ClipReader* ReaderFor(Clip& clip, REFERENCE_TIME firstNeeded);

  GroupSnap group_;
  bool transitions_;
  REFERENCE_TIME duration_;
  int width_ = 0, height_ = 0, rate_ = 0, channels_ = 0;
  // Every clip and transition of the group by start (then track); the render walks forward
  // through them, so that a call looks only at those near its time.
  std::vector<Clip> clips_;
  std::vector<Transition> transitionList_;
  size_t nextClip_ = 0, nextTransition_ = 0;           // the first ones not yet met
  std::vector<Clip*> liveClips_;                       // met, not yet over
  std::vector<const Transition*> liveTransitions_;     // met, not yet over
  std::vector<TrackWork> work_;                        // the current call's, by track
  size_t tracksVisited_ = 0;
  std::vector<uint32_t> black_, scratch_;
  std::atomic<bool> aborted_{false};
  std::atomic<HRESULT> failure_{S_OK};
  std::mutex readersLock_;  // guards making, dropping and aborting the readers
};

// Packs top-down 0xAARRGGBB pixels into an uncompressed RGB sample of the given type (16-bit
// 555/565, 24 or 32 bits; DIB rows padded to 4 bytes, bottom-up for a positive height).
void PackPicture(const std::vector<uint32_t>& pixels, const AM_MEDIA_TYPE& type, uint8_t* out);

}  // namespace des_detail
