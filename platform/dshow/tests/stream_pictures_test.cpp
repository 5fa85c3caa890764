// The pictures of MPEG program and transport streams (and of an AVI file beside them) come
// through the graph (splitter, decoder, renderer) as coded: every picture shows the frame number
// of its time.
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include "dshow/baseclasses.h"
#include "dshow_test_util.h"

using namespace dshow_test;
using fixtures::Kind;

namespace {

// A pass-through in front of the video renderer: reads the frame number drawn into each picture.
class PictureReader : public dshow::InPlaceTransformFilter {
 public:
  PictureReader()
      : InPlaceTransformFilter(u"Picture Reader", MakeGuid("{5B2E8D41-7C3A-4F19-B6E0-2D9A4C7F1E63}"), false) {}
  HRESULT CheckInputType(const AM_MEDIA_TYPE& mt) override {
    const VIDEOINFOHEADER* v = VideoInfo(mt);
    if (mt.majortype != MEDIATYPE_Video || !v) return VFW_E_TYPE_NOT_ACCEPTED;
    return v->bmiHeader.biBitCount == 24 || v->bmiHeader.biBitCount == 32 ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
  }
  HRESULT Transform(IMediaSample* sample) override {
    MediaType mt = InputPin()->CurrentType();
    const VIDEOINFOHEADER* v = VideoInfo(mt);
    BYTE* data = nullptr;
    REFERENCE_TIME start = 0, stop = 0;
    if (!v || FAILED(sample->GetPointer(&data)) || FAILED(sample->GetTime(&start, &stop))) return E_UNEXPECTED;
    const int width = v->bmiHeader.biWidth, height = std::abs(v->bmiHeader.biHeight);
    const int bytes = v->bmiHeader.biBitCount / 8;
    const int stride = DibStride(width, v->bmiHeader.biBitCount);
    // Three bytes a pixel, top row first.
    std::vector<uint8_t> rgb(static_cast<size_t>(width) * height * 3);
    for (int y = 0; y < height; ++y) {
      const BYTE* row = data + static_cast<size_t>(stride) * (v->bmiHeader.biHeight > 0 ? height - 1 - y : y);
      for (int x = 0; x < width; ++x)
        for (int c = 0; c < 3; ++c) rgb[(static_cast<size_t>(y) * width + x) * 3 + c] = row[x * bytes + c];
    }
    std::lock_guard lock(lock_);
    seen_.push_back({start, fixtures::ReadFrameNumber(rgb.data(), width * 3, width, height)});
    return S_OK;
  }
  struct Picture {
    REFERENCE_TIME start;
    int number;
  };
  std::vector<Picture> Seen() {
    std::lock_guard lock(lock_);
    return seen_;
  }

 private:
  std::mutex lock_;
  std::vector<Picture> seen_;
};

TEST(StreamPictures, EveryPictureThroughTheGraphShowsTheFrameOfItsTime) {
  const Kind kinds[] = {Kind::Mpeg1Ps, Kind::Mpeg2Ps, Kind::MpegTs, Kind::AviMjpegPcm};
  const fixtures::Options options;  // 25 frames a second, groups of 12 pictures with B-frames
  const int frames = fixtures::FrameCount(options);
  const REFERENCE_TIME frameTime = UNITS / options.fps;
  for (Kind kind : kinds) {
    SCOPED_TRACE(fixtures::Name(kind));
    const std::string path = Fixture(kind, options);
    auto g = NewGraph();
    ASSERT_GE(g->RenderFile(U(path).c_str(), nullptr), 0);
    auto reader = MakeComObject<PictureReader>();
    SpliceBefore(g.Get(), "Video Renderer", reader.Get(), u"Picture Reader");
    if (HasFatalFailure()) return;
    EXPECT_EQ(RunToEnd(g.Get()), EC_COMPLETE);
    const auto seen = reader->Seen();
    EXPECT_EQ(seen.size(), static_cast<size_t>(frames));
    std::string wrong;  // "time: number shown" of each picture that shows another frame
    for (const auto& p : seen) {
      const int at = static_cast<int>((p.start + frameTime / 2) / frameTime);
      if (p.number != at % 256) wrong += " " + std::to_string(p.start / 1e7) + ": " + std::to_string(p.number);
    }
    EXPECT_EQ(wrong, "");
    // The first picture, pictures inside a group (after the first key frame and in the second
    // group) and the last are all there.
    for (int wanted : {0, 5, 17, frames - 1}) {
      bool found = false;
      for (const auto& p : seen)
        if (p.number == wanted && std::llabs(p.start - wanted * frameTime) < frameTime / 2) found = true;
      EXPECT_TRUE(found) << "frame " << wanted;
    }
  }
}

}  // namespace
