#pragma once
// Helpers of the editing-services tests: timelines built node by node.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "com/com.h"
#include "des/timeline.h"
#include "timeline_model.h"

namespace timeline_test {

using des_detail::TimelineSnap;

inline constexpr const char* kFade = "{16B280C5-EE70-11D1-9066-00C04FD9189D}";

inline ComPtr<IAMTimeline> NewTimeline() {
  ComPtr<IAMTimeline> tl;
  EXPECT_EQ(CoCreateInstance(CLSID_AMTimeline, nullptr, CLSCTX_INPROC_SERVER, IAMTimeline::iid,
                             tl.put_void()),
            S_OK);
  return tl;
}

inline ComPtr<IAMTimelineObj> Node(IAMTimeline* tl, LONG kind) {
  ComPtr<IAMTimelineObj> n;
  EXPECT_EQ(tl->CreateEmptyNode(n.put(), kind), S_OK);
  return n;
}

template <class I>
inline ComPtr<I> As(IUnknown* p) {
  ComPtr<I> out;
  EXPECT_EQ(p->QueryInterface(I::iid, out.put_void()), S_OK);
  return out;
}

// A timeline under construction: one group with tracks, sources and transitions.
struct Builder {
  ComPtr<IAMTimeline> tl;
  ComPtr<IAMTimelineObj> group;
  std::vector<ComPtr<IAMTimelineObj>> tracks;

  explicit Builder(LONG vbType = 0, double fps = 15, const char* name = "")
      : Builder(NewTimeline(), vbType, fps, name) {}
  // A further group of an existing timeline.
  Builder(ComPtr<IAMTimeline> timeline, LONG vbType, double fps, const char* name) : tl(timeline) {
    group = Node(tl.Get(), TIMELINE_MAJOR_TYPE_GROUP);
    auto g = As<IAMTimelineGroup>(group.Get());
    EXPECT_EQ(g->SetGroupName(Bstr(name)), S_OK);
    EXPECT_EQ(g->SetMediaTypeForVB(vbType), S_OK);
    EXPECT_EQ(g->SetOutputFPS(fps), S_OK);
    EXPECT_EQ(tl->AddGroup(group.Get()), S_OK);
  }
  IAMTimelineObj* Track(size_t i) {
    while (tracks.size() <= i) {
      auto t = Node(tl.Get(), TIMELINE_MAJOR_TYPE_TRACK);
      EXPECT_EQ(As<IAMTimelineComp>(group.Get())->VTrackInsBefore(t.Get(), -1), S_OK);
      tracks.push_back(t);
    }
    return tracks[i].Get();
  }
  HRESULT Source(size_t track, const std::string& path, double start, double stop,
                 double mstart = -1, double mstop = -1) {
    auto s = Node(tl.Get(), TIMELINE_MAJOR_TYPE_SOURCE);
    As<IAMTimelineSrc>(s.Get())->SetMediaName(Bstr(path));
    EXPECT_EQ(s->SetStartStop2(start, stop), S_OK);
    if (mstart >= 0) {
      EXPECT_EQ(As<IAMTimelineSrc>(s.Get())->SetMediaTimes2(mstart, mstop), S_OK);
    }
    return As<IAMTimelineTrack>(Track(track))->SrcAdd(s.Get());
  }
  HRESULT Transition(size_t track, const char* clsid, double start, double stop) {
    auto x = Node(tl.Get(), TIMELINE_MAJOR_TYPE_TRANSITION);
    EXPECT_EQ(x->SetSubObjectGUIDB(Bstr(clsid)), S_OK);
    EXPECT_EQ(x->SetStartStop2(start, stop), S_OK);
    return As<IAMTimelineTransable>(Track(track))->TransAdd(x.Get());
  }
  TimelineSnap Snap() {
    TimelineSnap s;
    EXPECT_EQ(des_detail::SnapshotTimeline(tl.Get(), &s), S_OK);
    return s;
  }
};

}  // namespace timeline_test
