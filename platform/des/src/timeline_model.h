#pragma once
// The timeline model as the engines and the writers read it: a snapshot taken under the model's
// lock, so that later edits of the timeline cannot race a render.
#include <optional>
#include <string>
#include <vector>

#include "des/timeline.h"

namespace des_detail {

struct SourceSnap {
  std::string path;
  REFERENCE_TIME start = 0, stop = 0;
  bool hasMediaTimes = false;
  REFERENCE_TIME mediaStart = 0, mediaStop = 0;
  int64_t fileSize = -1;  // the file's size when the engine's front end was connected (-1: unknown)
};

struct TransitionSnap {
  GUID clsid{};
  REFERENCE_TIME start = 0, stop = 0;
};

struct TrackSnap {
  std::vector<SourceSnap> sources;          // by start
  std::vector<TransitionSnap> transitions;  // by start
};

struct GroupSnap {
  std::string name;
  bool video = true;
  MediaType type;  // the uncompressed type the group composes in (rate set from fps)
  double fps = 15.0;
  bool previewMode = false;
  int buffering = 30;
  std::optional<MediaType> recompression;  // the smart engine's target format
  std::vector<TrackSnap> tracks;            // bottom first
};

struct TimelineSnap {
  bool transitionsEnabled = true;
  REFERENCE_TIME duration = 0;
  std::vector<GroupSnap> groups;
};

// The snapshot of a timeline made by this library (E_NOINTERFACE for any other object).
HRESULT SnapshotTimeline(IUnknown* timeline, TimelineSnap* out);

// Seconds <-> 100-ns units.
REFERENCE_TIME TicksFromSeconds(double seconds);
inline double SecondsFromTicks(REFERENCE_TIME t) { return static_cast<double>(t) / 1e7; }

// The media type of the first stream of a kind (video or sound) in a file, as the splitters
// describe it; the error of opening the file, or VFW_E_INVALIDMEDIATYPE when it has no such
// stream.
HRESULT StreamTypeOfFile(const std::string& path, bool video, MediaType* type);

}  // namespace des_detail
