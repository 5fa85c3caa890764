#pragma once
// The smart engine's video: a group with a recompression format renders at that format's size
// and rate. Frames that show a source's own frame unaltered (one source on top, no transition,
// the source coded in the same format at the same rate) are copied from the source's file as
// they are, from the first key frame of such a stretch on; every other frame is composed and
// recompressed with the platform's compressor for the format, a new encoder for each stretch so
// that each begins with a key frame.
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "group_renderer.h"
#include "timeline_model.h"

namespace des_detail {

// How a group with a recompression format is rendered by the smart engine: adjusts the group to
// the format's size and rate and tells what its output carries. compressor is the compressor for
// the format; without one (formats the platform cannot encode) the output is uncompressed.
struct SmartPlan {
  bool compressed = false;
  CLSID compressor{};
  MediaType output;  // the group's output type
};
SmartPlan PlanSmartGroup(GroupSnap* group);

class SmartStream {
 public:
  using Sender = std::function<bool(const uint8_t*, size_t, REFERENCE_TIME, REFERENCE_TIME, bool)>;
  SmartStream(const GroupSnap& group, const SmartPlan& plan, bool transitionsEnabled);
  ~SmartStream();
  // Streams frames from the one at or after segment to the end; false when it ended early
  // (stopped, refused downstream, failure reported through fail).
  bool Run(GroupRenderer& renderer, REFERENCE_TIME segment, const std::function<bool()>& stopping,
           const Sender& send, const std::function<void(HRESULT)>& fail);

 private:
  struct Packets;
  struct Pick {
    const SourceSnap* source = nullptr;
    int64_t frame = -1;  // the source's frame shown
  };
  Pick Copyable(GroupRenderer& renderer, REFERENCE_TIME t);
  Packets* PacketsOf(const SourceSnap* s);

  const GroupSnap& group_;
  SmartPlan plan_;
  bool transitions_;
  std::map<const SourceSnap*, std::unique_ptr<Packets>> packets_;  // of sources not yet over
};

}  // namespace des_detail
