#pragma once
// The media types of FFmpeg streams, for the media areas built on the filter graph (the editing
// services, AVIFile): they describe streams with the same types as the splitters' pins, so what
// they write or read joins a graph without conversion. Platform areas only; suite code never
// sees an FFmpeg type.
#include <cstdint>

#include "core/hresult.h"
#include "dshow/mediatype.h"

extern "C" {
struct AVCodecParameters;
}

namespace dshow {

// A media type for an FFmpeg stream's parameters (compressed as carried in AVI: FOURCC or wave
// format tag subtypes, codec data behind the header); false when the stream cannot be described.
bool MediaTypeFromCodec(const AVCodecParameters* par, int64_t avgTimePerFrame, MediaType* mt);
// The codec of a media type: fills codec id, tag, size, rate, channels and extradata.
bool CodecFromMediaType(const AM_MEDIA_TYPE& mt, AVCodecParameters* par);
// An uncompressed RGB video type of the given size, bit depth (16 = RGB555, 24, 32) and rate.
MediaType MakeRgbVideoType(int width, int height, int bitCount, REFERENCE_TIME avgTimePerFrame,
                           const GUID& subtype);
MediaType MakePcmAudioType(int sampleRate, int channels, int bits);
// An FFmpeg error as a result code.
HRESULT HResultFromAv(int averror);

}  // namespace dshow
