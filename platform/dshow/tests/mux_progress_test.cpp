// The position of a graph that writes a file through AVI Mux: how far every stream still running
// has been written, so a fast stream (sound) does not run the position ahead of a slow one.
#include <string>

#include "dshow/baseclasses.h"
#include "dshow_test_util.h"
#include "internal.h"

using namespace dshow_test;

TEST(MuxProgress, ThePositionIsWhereTheSlowestStreamStillRunningHasBeenWritten) {
  auto g = NewGraph();
  constexpr REFERENCE_TIME kSecond = 10000000;
  auto video = MakeComObject<HandSource>(dshow::MakeRgbVideoType(16, 16, 24, kSecond / 10, MEDIASUBTYPE_RGB24));
  auto sound = MakeComObject<HandSource>(dshow::MakePcmAudioType(8000, 1, 16));
  video->duration = 20 * kSecond;
  ASSERT_EQ(g->AddFilter(video.Get(), u"Video"), S_OK);
  ASSERT_EQ(g->AddFilter(sound.Get(), u"Sound"), S_OK);
  ComPtr<IBaseFilter> mux = AddMuxAndWriter(g.Get(), Target("mux-progress.avi"));
  ASSERT_TRUE(mux);
  ASSERT_EQ(g->ConnectDirect(PinNamed(video.Get(), "Out").Get(), PinNamed(mux.Get(), "Input 01").Get(), nullptr), S_OK);
  ASSERT_EQ(g->ConnectDirect(PinNamed(sound.Get(), "Out").Get(), PinNamed(mux.Get(), "Input 02").Get(), nullptr), S_OK);
  ASSERT_EQ(g->Render(PinNamed(mux.Get(), "AVI Out").Get()), S_OK);
  ComPtr<IMediaControl> mc = g.As<IMediaControl>();
  ComPtr<IMediaPosition> position = g.As<IMediaPosition>();
  ASSERT_TRUE(SUCCEEDED(mc->Run()));
  auto now = [&] {
    REFTIME t = -1;
    EXPECT_EQ(position->get_CurrentPosition(&t), S_OK);
    return t;
  };
  const LONG picture = 16 * 16 * 3;
  // Ten seconds of sound, one of pictures: one second is written in full.
  for (int i = 0; i < 10; ++i) ASSERT_EQ(DeliverBlank(*sound, 16000, i * kSecond, (i + 1) * kSecond), S_OK);
  EXPECT_EQ(now(), 0.0) << "no picture written yet";
  for (int i = 0; i < 10; ++i)
    ASSERT_EQ(DeliverBlank(*video, picture, i * kSecond / 10, (i + 1) * kSecond / 10), S_OK);
  EXPECT_DOUBLE_EQ(now(), 1.0);
  for (int i = 10; i < 25; ++i)
    ASSERT_EQ(DeliverBlank(*video, picture, i * kSecond / 10, (i + 1) * kSecond / 10), S_OK);
  EXPECT_DOUBLE_EQ(now(), 2.5);
  // The pictures end at 2.5 s: the sound alone goes on.
  ASSERT_EQ(video->out_.DeliverEndOfStream(), S_OK);
  ASSERT_EQ(DeliverBlank(*sound, 16000, 10 * kSecond, 11 * kSecond), S_OK);
  EXPECT_DOUBLE_EQ(now(), 11.0);
  EXPECT_EQ(mc->Stop(), S_OK);
}
