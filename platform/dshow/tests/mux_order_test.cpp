// The file AVI Mux writes depends on the streams' samples alone: whichever stream's thread
// delivers first, or runs far ahead of the other, the chunks go into the file in the order of
// their times.
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "dshow/baseclasses.h"
#include "dshow_test_util.h"
#include "internal.h"

using namespace dshow_test;

namespace {

constexpr REFERENCE_TIME kSecond = 10000000;
constexpr int kTenths = 200;  // 20 seconds of each stream, in tenths of a second

enum class Order { Alternating, PicturesFirst, SoundFirst };

std::vector<char> Bytes(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

// Twenty seconds of pictures (10 a second) and of sound (8 kHz mono) in tenths of a second,
// delivered in the given order; the bytes of the file written.
std::vector<char> Write(Order order, const std::string& name) {
  auto g = NewGraph();
  auto video = MakeComObject<HandSource>(dshow::MakeRgbVideoType(16, 16, 24, kSecond / 10, MEDIASUBTYPE_RGB24));
  auto sound = MakeComObject<HandSource>(dshow::MakePcmAudioType(8000, 1, 16));
  EXPECT_EQ(g->AddFilter(video.Get(), u"Video"), S_OK);
  EXPECT_EQ(g->AddFilter(sound.Get(), u"Sound"), S_OK);
  const std::string target = Target(name);
  ComPtr<IBaseFilter> mux = AddMuxAndWriter(g.Get(), target);
  if (!mux) return {};
  EXPECT_EQ(g->ConnectDirect(PinNamed(video.Get(), "Out").Get(), PinNamed(mux.Get(), "Input 01").Get(), nullptr), S_OK);
  EXPECT_EQ(g->ConnectDirect(PinNamed(sound.Get(), "Out").Get(), PinNamed(mux.Get(), "Input 02").Get(), nullptr), S_OK);
  EXPECT_EQ(g->Render(PinNamed(mux.Get(), "AVI Out").Get()), S_OK);
  ComPtr<IMediaControl> mc = g.As<IMediaControl>();
  EXPECT_TRUE(SUCCEEDED(mc->Run()));
  auto picture = [&](int i) {
    EXPECT_EQ(DeliverBlank(*video, 16 * 16 * 3, i * kSecond / 10, (i + 1) * kSecond / 10), S_OK);
  };
  auto block = [&](int i) {
    EXPECT_EQ(DeliverBlank(*sound, 1600, i * kSecond / 10, (i + 1) * kSecond / 10), S_OK);
  };
  auto pictures = [&] {
    for (int i = 0; i < kTenths; ++i) picture(i);
    EXPECT_EQ(video->out_.DeliverEndOfStream(), S_OK);
  };
  auto blocks = [&] {
    for (int i = 0; i < kTenths; ++i) block(i);
    EXPECT_EQ(sound->out_.DeliverEndOfStream(), S_OK);
  };
  switch (order) {
    case Order::Alternating:
      for (int i = 0; i < kTenths; ++i) {
        picture(i);
        block(i);
      }
      EXPECT_EQ(video->out_.DeliverEndOfStream(), S_OK);
      EXPECT_EQ(sound->out_.DeliverEndOfStream(), S_OK);
      break;
    case Order::PicturesFirst:
      pictures();
      blocks();
      break;
    case Order::SoundFirst:
      blocks();
      pictures();
      break;
  }
  EXPECT_EQ(mc->Stop(), S_OK);
  return Bytes(target);
}

}  // namespace

TEST(MuxOrder, TheFileDoesNotDependOnWhichStreamDeliveredFirst) {
  const std::vector<char> reference = Write(Order::Alternating, "mux-order-alternating.avi");
  ASSERT_GT(reference.size(), size_t{kTenths} * (16 * 16 * 3 + 1600));
  const struct {
    Order order;
    const char* name;
  } cases[] = {
      {Order::PicturesFirst, "mux-order-pictures-first.avi"},
      {Order::SoundFirst, "mux-order-sound-first.avi"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_TRUE(Write(c.order, c.name) == reference) << "the file differs from the one written alternately";
  }
}
