// Pictures scaled into device-independent bitmaps: bottom-up or top-down, 16, 24 or 32 bits, any
// width, nothing written outside the bitmap and the rows in the bitmap's order.
#include <gtest/gtest.h>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "dshow/mediatype.h"
#include "internal.h"

namespace {

TEST(DibScale, NothingIsWrittenOutsideTheBitmapAndRowsKeepTheirOrder) {
  // A 64 x 48 picture, white in its top quarter and black below.
  AVFrame* frame = av_frame_alloc();
  frame->width = 64;
  frame->height = 48;
  frame->format = AV_PIX_FMT_YUV420P;
  ASSERT_EQ(av_frame_get_buffer(frame, 0), 0);
  for (int y = 0; y < 48; ++y) std::memset(frame->data[0] + y * frame->linesize[0], y < 12 ? 235 : 16, 64);
  for (int p = 1; p < 3; ++p)
    for (int y = 0; y < 24; ++y) std::memset(frame->data[p] + y * frame->linesize[p], 128, 32);
  struct Format {
    AVPixelFormat format;
    int bits;
  };
  const Format formats[] = {{AV_PIX_FMT_BGR24, 24}, {AV_PIX_FMT_BGRA, 32}, {AV_PIX_FMT_RGB565LE, 16},
                            {AV_PIX_FMT_RGB555LE, 16}};
  constexpr size_t kGuard = 256;
  std::vector<uint8_t> scratch;
  for (const Format& f : formats) {
    for (bool bottomUp : {true, false}) {
      for (int width = 1; width <= 200; width += width < 20 ? 1 : 13) {
        const int height = 20;
        SCOPED_TRACE(std::to_string(f.bits) + (bottomUp ? " bottom-up " : " top-down ") + std::to_string(width));
        SwsContext* sws = sws_getContext(64, 48, AV_PIX_FMT_YUV420P, width, height, f.format, SWS_BILINEAR, nullptr,
                                         nullptr, nullptr);
        ASSERT_NE(sws, nullptr);
        const int stride = DibStride(width, f.bits);
        std::vector<uint8_t> bitmap(static_cast<size_t>(stride) * height + kGuard, 0x5A);
        EXPECT_EQ(dshow::ScaleIntoDib(sws, frame->data, frame->linesize, 48, bitmap.data(), stride, height, bottomUp,
                                      scratch),
                  height);
        sws_freeContext(sws);
        EXPECT_TRUE(std::all_of(bitmap.begin() + stride * height, bitmap.end(), [](uint8_t b) { return b == 0x5A; }))
            << "written past the bitmap";
        // The picture's top row is the bitmap's last row when it is bottom-up.
        const uint8_t* top = bitmap.data() + static_cast<size_t>(stride) * (bottomUp ? height - 1 : 0);
        const uint8_t* bottom = bitmap.data() + static_cast<size_t>(stride) * (bottomUp ? 0 : height - 1);
        EXPECT_GT(top[0] | top[1], 0x80) << "the top row is white";
        EXPECT_LT(bottom[0] & 0x7F, 0x20) << "the bottom row is black";
      }
    }
  }
  av_frame_free(&frame);
}

}  // namespace
