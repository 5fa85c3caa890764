// The detector's pictures of streams whose first frame is stamped later than time 0 (MPEG
// program and transport streams, an MP4 whose picture starts after its sound): the time 0, and
// every time before the second frame, is the first frame, on a fresh detector and after others.
#include <sys/wait.h>

#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "com/com.h"
#include "des/mediadet.h"
#include "fixtures.h"

namespace {

using fixtures::Kind;

// An MP4 (H.264 with B-frames, AAC) whose picture begins `late` seconds after its sound, made from
// the source by the ffmpeg program.
std::string MakeLateMp4(const std::string& source, const std::string& folder, double late) {
  const std::string out = folder + "/late.mp4";
  const std::string cmd = "ffmpeg -v error -nostdin -y -i '" + source + "' -itsoffset " + std::to_string(late) +
                          " -i '" + source + "' -map 1:v -map 0:a -c:v libx264 -preset veryfast -bf 2 -g 12 " +
                          "-pix_fmt yuv420p -c:a aac '" + out + "'";
  const int rc = std::system(cmd.c_str());
  return WIFEXITED(rc) && WEXITSTATUS(rc) == 0 ? out : std::string();
}

int NumberOfGrab(IMediaDet* det, double t, int width, int height) {
  LONG size = 0;
  if (det->GetBitmapBits(t, &size, nullptr, width, height) != S_OK) return -2;
  std::vector<char> buffer(static_cast<size_t>(size));
  if (det->GetBitmapBits(t, &size, buffer.data(), width, height) != S_OK) return -2;
  const int stride = DibStride(width, 24);
  const uint8_t* bits = reinterpret_cast<const uint8_t*>(buffer.data()) + sizeof(BITMAPINFOHEADER);
  return fixtures::ReadFrameNumber(bits + static_cast<size_t>(stride) * (height - 1), -stride, width, height);
}

TEST(FirstFrames, ALateFirstFrameIsThePictureOfTimeZero) {
  const std::string folder = fixtures::ScratchFolder("first frames");
  fixtures::Options o;
  o.width = 320;
  o.height = 240;
  o.seconds = 5.0;  // 125 frames, groups of 12 pictures
  struct Case {
    std::string name;
    std::string path;
  };
  std::vector<Case> cases;
  for (Kind k : {Kind::Mpeg1Ps, Kind::Mpeg2Ps, Kind::MpegTs}) cases.push_back({fixtures::Name(k), fixtures::Make(k, folder, o)});
  const std::string late = MakeLateMp4(fixtures::Make(Kind::AviMjpegPcm, folder, o), folder, 0.6);
  ASSERT_FALSE(late.empty()) << "the ffmpeg program made no MP4";
  cases.push_back({"Mp4 with late video", late});

  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<int> decoded = fixtures::DecodedFrameNumbers(c.path);
    ASSERT_GE(decoded.size(), 100u);
    const int last = static_cast<int>(decoded.size()) - 1;
    // Frame 0 first on a fresh detector (as a tile's thumbnail is taken), then the second frame,
    // one inside a group of pictures, the last, and the first again after them.
    const int order[] = {0, 1, 17, last, 0};
    ComPtr<IMediaDet> det;
    ASSERT_EQ(CoCreateInstance(CLSID_MediaDet, nullptr, CLSCTX_INPROC_SERVER, IMediaDet::iid, det.put_void()),
              S_OK);
    ASSERT_EQ(det->put_Filename(Bstr(c.path)), S_OK);
    double rate = 0;
    ASSERT_EQ(det->get_FrameRate(&rate), S_OK);
    ASSERT_GT(rate, 0);
    for (int n : order) EXPECT_EQ(NumberOfGrab(det.Get(), n / rate, 160, 120), decoded[n] % 256) << "frame " << n;
    // A time inside the first frame is that frame too.
    EXPECT_EQ(NumberOfGrab(det.Get(), 0.5 / rate, 160, 120), decoded[0] % 256) << "half a frame in";
  }
}

}  // namespace
