#pragma once
// Timeline procedures of modDexter: a timeline, its four kinds of node, group lookups, placing
// nodes into their parents, and writing a timeline as a timeline file or a graph file.
//
// Every procedure is fail-quiet: it checks that the objects it was given are present, makes its
// platform calls in a fixed order, and turns any failure into an empty result (no object, 0) or
// a silent stop, clearing the error. Nodes are taken as any of their interfaces.
#include <cstdint>
#include <functional>
#include <string>

#include "des/timeline.h"
#include "engine/IStreamResize.h"

ComPtr<IAMTimeline> CreateTimeline();
// A new group (not yet added to the timeline): name, media type (0 video, 1 audio), then, for a
// video group with the resize option on, the chosen output size, then buffering, preview mode
// and frame rate.
ComPtr<IAMTimelineGroup> CreateGroup(IAMTimeline* timeline, const std::string& name,
                                     int32_t mediaType, double fps, int32_t previewMode,
                                     int32_t buffering);
ComPtr<IAMTimelineTrack> CreateTrack(IAMTimeline* timeline);
ComPtr<IAMTimelineTrans> CreateTransition(IAMTimeline* timeline);
ComPtr<IAMTimelineSrc> CreateSource(IAMTimeline* timeline);
// The group at a 0-based index; pending window messages run before and after the lookup.
ComPtr<IAMTimelineGroup> GetGroup(IAMTimeline* timeline, int32_t index);
int32_t GetGroupCount(IAMTimeline* timeline);
void AddGroup(IAMTimeline* timeline, IUnknown* group);
// -1 puts the track above every track of the group.
void InsertTrack(IUnknown* track, IUnknown* group, int32_t priority);
// Media times are set only when mediaStart >= 0 and mediaStop != 0.
void AddSourceToTrack(IUnknown* track, IUnknown* source, const std::string& path, double start,
                      double stop, double mediaStart, double mediaStop);
void AddTransition(IUnknown* transition, IUnknown* track, const std::string& effectClsid,
                   double start, double stop);
// Format 0: the timeline file; 1: the graph file of the timeline rendered to the default
// renderers; other formats, or no timeline, write nothing. The target is replaced only by a
// complete file.
void SaveTimelineFile(IAMTimeline* timeline, const std::string& path, int32_t format);

// What CreateGroup's size step reads from the main window: the frame-size list's ListIndex
// (-1 without a selection) and the window's stream resizer (gobjStreamSize, may be empty).
struct StreamSizeSources {
  std::function<int32_t()> videoSizeListIndex;
  std::function<ComPtr<IStreamResize>()> streamSize;
};
void SetStreamSizeSources(StreamSizeSources sources);
