// Media types for FFmpeg codec parameters and back; result codes and their texts.
#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/pixfmt.h>
}

#include "internal.h"

namespace dshow {

namespace {

// Codecs without a FOURCC or wave tag travel under a subtype of our own that carries the codec
// id: {codec-id-0000-4656-8000-4D5045475F4E}.
constexpr GUID kPrivateCodecBase = MakeGuid("{00000000-0000-4656-8000-4D5045475F4E}");

GUID PrivateCodecSubtype(AVCodecID id) {
  GUID g = kPrivateCodecBase;
  g.Data1 = static_cast<uint32_t>(id);
  return g;
}

bool IsPrivateCodecSubtype(const GUID& g, AVCodecID* id) {
  GUID base = kPrivateCodecBase;
  base.Data1 = g.Data1;
  if (base != g) return false;
  *id = static_cast<AVCodecID>(g.Data1);
  return true;
}

struct RgbSubtype {
  GUID subtype;
  int bits;
  AVPixelFormat fmt;
};
const RgbSubtype kRgb[] = {
    {MEDIASUBTYPE_RGB32, 32, AV_PIX_FMT_BGRA},  {MEDIASUBTYPE_ARGB32, 32, AV_PIX_FMT_BGRA},
    {MEDIASUBTYPE_RGB24, 24, AV_PIX_FMT_BGR24}, {MEDIASUBTYPE_RGB565, 16, AV_PIX_FMT_RGB565LE},
    {MEDIASUBTYPE_RGB555, 16, AV_PIX_FMT_RGB555LE},
};

const AVCodecTag* const kVideoTags[] = {avformat_get_riff_video_tags(), nullptr};
const AVCodecTag* const kAudioTags[] = {avformat_get_riff_audio_tags(), nullptr};

}  // namespace

int PixelFormatOfSubtype(const GUID& subtype, int) {
  for (const auto& r : kRgb)
    if (r.subtype == subtype) return r.fmt;
  if (subtype == MEDIASUBTYPE_YUY2) return AV_PIX_FMT_YUYV422;
  if (subtype == MEDIASUBTYPE_YV12) return AV_PIX_FMT_YUV420P;  // planes swapped by the user
  if (subtype == MEDIASUBTYPE_IYUV) return AV_PIX_FMT_YUV420P;
  return AV_PIX_FMT_NONE;
}

bool IsUncompressedVideo(const AM_MEDIA_TYPE& mt) {
  return mt.majortype == MEDIATYPE_Video && VideoInfo(mt) &&
         PixelFormatOfSubtype(mt.subtype, VideoInfo(mt)->bmiHeader.biBitCount) != AV_PIX_FMT_NONE;
}

bool IsPcmAudio(const AM_MEDIA_TYPE& mt) {
  const WAVEFORMATEX* wf = WaveFormat(mt);
  return mt.majortype == MEDIATYPE_Audio && wf && wf->wFormatTag == WAVE_FORMAT_PCM &&
         (wf->wBitsPerSample == 8 || wf->wBitsPerSample == 16);
}

MediaType MakeRgbVideoType(int width, int height, int bitCount, REFERENCE_TIME avgTimePerFrame,
                           const GUID& subtype) {
  MediaType mt;
  mt.majortype = MEDIATYPE_Video;
  mt.subtype = subtype;
  mt.formattype = FORMAT_VideoInfo;
  mt.bFixedSizeSamples = true;
  auto* vih = reinterpret_cast<VIDEOINFOHEADER*>(SetFormatBuffer(mt, sizeof(VIDEOINFOHEADER)));
  vih->AvgTimePerFrame = avgTimePerFrame;
  vih->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  vih->bmiHeader.biWidth = width;
  vih->bmiHeader.biHeight = height;
  vih->bmiHeader.biPlanes = 1;
  vih->bmiHeader.biBitCount = static_cast<uint16_t>(bitCount);
  vih->bmiHeader.biCompression = BI_RGB;
  vih->bmiHeader.biSizeImage = static_cast<uint32_t>(DibStride(width, bitCount) * std::abs(height));
  mt.lSampleSize = vih->bmiHeader.biSizeImage;
  if (avgTimePerFrame > 0)
    vih->dwBitRate = static_cast<uint32_t>(
        std::min<double>(4e9, vih->bmiHeader.biSizeImage * 8.0 * UNITS / avgTimePerFrame));
  return mt;
}

MediaType MakePcmAudioType(int sampleRate, int channels, int bits) {
  MediaType mt;
  mt.majortype = MEDIATYPE_Audio;
  mt.subtype = MEDIASUBTYPE_PCM;
  mt.formattype = FORMAT_WaveFormatEx;
  mt.bFixedSizeSamples = true;
  auto* wf = reinterpret_cast<WAVEFORMATEX*>(SetFormatBuffer(mt, sizeof(WAVEFORMATEX)));
  wf->wFormatTag = WAVE_FORMAT_PCM;
  wf->nChannels = static_cast<uint16_t>(channels);
  wf->nSamplesPerSec = static_cast<uint32_t>(sampleRate);
  wf->wBitsPerSample = static_cast<uint16_t>(bits);
  wf->nBlockAlign = static_cast<uint16_t>(channels * bits / 8);
  wf->nAvgBytesPerSec = wf->nBlockAlign * wf->nSamplesPerSec;
  mt.lSampleSize = wf->nBlockAlign;
  return mt;
}

namespace {
// FFmpeg's mark of bottom-up raw video, with its terminating NUL.
constexpr char kBottomUpMark[9] = {'B', 'o', 't', 't', 'o', 'm', 'U', 'p', '\0'};

bool HasBottomUpMark(const AVCodecParameters* par) {
  return par->extradata && par->extradata_size >= static_cast<int>(sizeof kBottomUpMark) &&
         std::memcmp(par->extradata + par->extradata_size - sizeof kBottomUpMark, kBottomUpMark,
                     sizeof kBottomUpMark) == 0;
}
}  // namespace

bool MediaTypeFromCodec(const AVCodecParameters* par, int64_t avgTimePerFrame, MediaType* out) {
  MediaType mt;
  int extra = par->extradata_size > 0 && par->extradata ? par->extradata_size : 0;
  if (par->codec_type == AVMEDIA_TYPE_VIDEO) {
    if (par->width <= 0 || par->height <= 0) return false;
    uint32_t tag = par->codec_tag;
    if (par->codec_id == AV_CODEC_ID_RAWVIDEO) {
      GUID sub = GUID_NULL;
      int bits = 0;
      switch (par->format) {
        case AV_PIX_FMT_BGRA: case AV_PIX_FMT_BGR0: sub = MEDIASUBTYPE_RGB32; bits = 32; break;
        case AV_PIX_FMT_BGR24: sub = MEDIASUBTYPE_RGB24; bits = 24; break;
        case AV_PIX_FMT_RGB555LE: sub = MEDIASUBTYPE_RGB555; bits = 16; break;
        case AV_PIX_FMT_RGB565LE: sub = MEDIASUBTYPE_RGB565; bits = 16; break;
        default: break;
      }
      // A 16-bit bit-field stream says by its masks whether it is 5-6-5 or 5-5-5.
      if (bits == 16 && par->codec_tag == BI_BITFIELDS && par->extradata && par->extradata_size >= 12) {
        const uint32_t red = static_cast<uint32_t>(par->extradata[0]) | par->extradata[1] << 8 |
                             par->extradata[2] << 16 | static_cast<uint32_t>(par->extradata[3]) << 24;
        if (red == 0x7C00) sub = MEDIASUBTYPE_RGB555;
        if (red == 0xF800) sub = MEDIASUBTYPE_RGB565;
      }
      if (bits) {
        // The demuxer marks bottom-up rows (a positive height in the file's header) with a
        // trailing "BottomUp" in the extradata; without it the rows are stored top-down, which a
        // negative height says. Bit-field pictures are always stored bottom-up.
        const bool bottomUp = HasBottomUpMark(par) || par->codec_tag == BI_BITFIELDS;
        int height = bottomUp ? par->height : -par->height;
        *out = MakeRgbVideoType(par->width, height, bits, avgTimePerFrame, sub);
        return true;
      }
    }
    // A container's own code that names another codec as a bitmap compression (a transport
    // stream's stream type 2, MPEG-2 video, is the code of run-length bitmaps) is no compression
    // code: the stream travels under the code of its own codec.
    if (tag) {
      const AVCodecID named = av_codec_get_id(kVideoTags, tag);
      if (named != AV_CODEC_ID_NONE && named != par->codec_id) tag = 0;
    }
    if (tag == 0) tag = av_codec_get_tag(kVideoTags, par->codec_id);
    mt.majortype = MEDIATYPE_Video;
    mt.subtype = tag ? FourCCSubtype(tag) : PrivateCodecSubtype(par->codec_id);
    if (tag && !av_codec_get_id(kVideoTags, tag))
      mt.subtype = PrivateCodecSubtype(par->codec_id);
    mt.formattype = FORMAT_VideoInfo;
    mt.bTemporalCompression = true;
    auto* vih = reinterpret_cast<VIDEOINFOHEADER*>(
        SetFormatBuffer(mt, static_cast<uint32_t>(sizeof(VIDEOINFOHEADER) + extra)));
    vih->AvgTimePerFrame = avgTimePerFrame;
    vih->dwBitRate = static_cast<uint32_t>(std::max<int64_t>(0, std::min<int64_t>(par->bit_rate, 0xFFFFFFFF)));
    vih->bmiHeader.biSize = static_cast<uint32_t>(sizeof(BITMAPINFOHEADER) + extra);
    vih->bmiHeader.biWidth = par->width;
    vih->bmiHeader.biHeight = par->height;
    vih->bmiHeader.biPlanes = 1;
    vih->bmiHeader.biBitCount = static_cast<uint16_t>(par->bits_per_coded_sample ? par->bits_per_coded_sample : 24);
    vih->bmiHeader.biCompression = tag;
    vih->bmiHeader.biSizeImage = static_cast<uint32_t>(par->width * par->height * 3);
    if (extra) std::memcpy(mt.pbFormat + sizeof(VIDEOINFOHEADER), par->extradata, static_cast<size_t>(extra));
    *out = mt;
    return true;
  }
  if (par->codec_type == AVMEDIA_TYPE_AUDIO) {
    int channels = par->ch_layout.nb_channels;
    if (channels <= 0 || par->sample_rate <= 0) return false;
    uint32_t tag = av_codec_get_tag(kAudioTags, par->codec_id);
    if (par->codec_id == AV_CODEC_ID_PCM_S16LE || par->codec_id == AV_CODEC_ID_PCM_U8) {
      *out = MakePcmAudioType(par->sample_rate, channels, par->codec_id == AV_CODEC_ID_PCM_U8 ? 8 : 16);
      return true;
    }
    mt.majortype = MEDIATYPE_Audio;
    mt.subtype = tag ? FourCCSubtype(tag) : PrivateCodecSubtype(par->codec_id);
    mt.formattype = FORMAT_WaveFormatEx;
    auto* wf = reinterpret_cast<WAVEFORMATEX*>(
        SetFormatBuffer(mt, static_cast<uint32_t>(sizeof(WAVEFORMATEX) + extra)));
    wf->wFormatTag = static_cast<uint16_t>(tag ? tag : 0xFFFE);
    wf->nChannels = static_cast<uint16_t>(channels);
    wf->nSamplesPerSec = static_cast<uint32_t>(par->sample_rate);
    wf->nAvgBytesPerSec = static_cast<uint32_t>(par->bit_rate / 8);
    wf->nBlockAlign = static_cast<uint16_t>(par->block_align ? par->block_align : 1);
    wf->wBitsPerSample = static_cast<uint16_t>(par->bits_per_coded_sample);
    wf->cbSize = static_cast<uint16_t>(extra);
    if (extra) std::memcpy(mt.pbFormat + sizeof(WAVEFORMATEX), par->extradata, static_cast<size_t>(extra));
    *out = mt;
    return true;
  }
  return false;
}

bool CodecFromMediaType(const AM_MEDIA_TYPE& mt, AVCodecParameters* par) {
  const uint8_t* extra = nullptr;
  size_t extraSize = 0;
  AVCodecID privateId = AV_CODEC_ID_NONE;
  bool isPrivate = IsPrivateCodecSubtype(mt.subtype, &privateId);
  if (mt.majortype == MEDIATYPE_Video) {
    const VIDEOINFOHEADER* vih = VideoInfo(mt);
    if (!vih) return false;
    par->codec_type = AVMEDIA_TYPE_VIDEO;
    par->width = vih->bmiHeader.biWidth;
    par->height = std::abs(vih->bmiHeader.biHeight);
    int pix = PixelFormatOfSubtype(mt.subtype, vih->bmiHeader.biBitCount);
    if (pix != AV_PIX_FMT_NONE) {
      par->codec_id = AV_CODEC_ID_RAWVIDEO;
      par->format = pix;
      par->codec_tag = 0;
      par->bits_per_coded_sample = vih->bmiHeader.biBitCount;
      // Bottom-up rows carry FFmpeg's "BottomUp" mark, so that the muxer writes a positive height
      // and the raw decoder turns the picture upright.
      av_freep(&par->extradata);
      par->extradata_size = 0;
      if (vih->bmiHeader.biHeight > 0) {
        par->extradata = static_cast<uint8_t*>(av_mallocz(sizeof kBottomUpMark + AV_INPUT_BUFFER_PADDING_SIZE));
        if (!par->extradata) return false;
        std::memcpy(par->extradata, kBottomUpMark, sizeof kBottomUpMark);
        par->extradata_size = static_cast<int>(sizeof kBottomUpMark);
      }
      return true;
    }
    if (isPrivate) {
      par->codec_id = privateId;
    } else {
      uint32_t tag = vih->bmiHeader.biCompression;
      par->codec_tag = tag;
      par->codec_id = av_codec_get_id(kVideoTags, tag);
      if (par->codec_id == AV_CODEC_ID_NONE) return false;
    }
    par->bits_per_coded_sample = vih->bmiHeader.biBitCount;
    if (mt.cbFormat > sizeof(VIDEOINFOHEADER)) {
      extra = mt.pbFormat + sizeof(VIDEOINFOHEADER);
      extraSize = mt.cbFormat - sizeof(VIDEOINFOHEADER);
    }
  } else if (mt.majortype == MEDIATYPE_Audio) {
    const WAVEFORMATEX* wf = WaveFormat(mt);
    if (!wf) return false;
    par->codec_type = AVMEDIA_TYPE_AUDIO;
    par->sample_rate = static_cast<int>(wf->nSamplesPerSec);
    av_channel_layout_uninit(&par->ch_layout);
    av_channel_layout_default(&par->ch_layout, wf->nChannels);
    par->block_align = wf->nBlockAlign;
    par->bit_rate = static_cast<int64_t>(wf->nAvgBytesPerSec) * 8;
    par->bits_per_coded_sample = wf->wBitsPerSample;
    if (isPrivate) {
      par->codec_id = privateId;
    } else if (wf->wFormatTag == WAVE_FORMAT_PCM) {
      par->codec_id = wf->wBitsPerSample == 8 ? AV_CODEC_ID_PCM_U8 : AV_CODEC_ID_PCM_S16LE;
      if (wf->wBitsPerSample == 24) par->codec_id = AV_CODEC_ID_PCM_S24LE;
      if (wf->wBitsPerSample == 32) par->codec_id = AV_CODEC_ID_PCM_S32LE;
    } else {
      par->codec_tag = wf->wFormatTag;
      par->codec_id = av_codec_get_id(kAudioTags, wf->wFormatTag);
      if (par->codec_id == AV_CODEC_ID_NONE) return false;
    }
    if (wf->cbSize && mt.cbFormat >= sizeof(WAVEFORMATEX) + wf->cbSize) {
      extra = mt.pbFormat + sizeof(WAVEFORMATEX);
      extraSize = wf->cbSize;
    }
  } else {
    return false;
  }
  if (extraSize) {
    av_freep(&par->extradata);
    par->extradata = static_cast<uint8_t*>(av_mallocz(extraSize + AV_INPUT_BUFFER_PADDING_SIZE));
    if (!par->extradata) return false;
    std::memcpy(par->extradata, extra, extraSize);
    par->extradata_size = static_cast<int>(extraSize);
  }
  return true;
}

HRESULT HResultFromAv(int averror) {
  if (averror >= 0) return S_OK;
  if (averror == AVERROR(ENOENT)) return HRESULT_FILE_NOT_FOUND;
  if (averror == AVERROR(EACCES)) return E_ACCESSDENIED;
  if (averror == AVERROR(ENOMEM)) return E_OUTOFMEMORY;
  if (averror == AVERROR(ENOSPC)) return HRESULT_DISK_FULL;
  if (averror == AVERROR_INVALIDDATA) return VFW_E_INVALID_FILE_FORMAT;
  if (averror == AVERROR_EOF) return VFW_E_FILE_TOO_SHORT;
  if (averror == AVERROR_DECODER_NOT_FOUND || averror == AVERROR_ENCODER_NOT_FOUND)
    return VFW_E_NO_DECOMPRESSOR;
  return E_FAIL;
}

}  // namespace dshow

namespace {
struct ErrorText {
  HRESULT hr;
  const char* text;
};
const ErrorText kErrorTexts[] = {
    {VFW_E_INVALIDMEDIATYPE, "An invalid media type was specified."},
    {VFW_E_INVALIDSUBTYPE, "An invalid media subtype was specified."},
    {VFW_E_ALREADY_CONNECTED, "The operation could not be performed because the pin is already connected."},
    {VFW_E_FILTER_ACTIVE, "The operation could not be performed because the filter is active."},
    {VFW_E_NO_TYPES, "One of the specified pins supports no media types."},
    {VFW_E_NO_ACCEPTABLE_TYPES, "There is no common media type between these pins."},
    {VFW_E_INVALID_DIRECTION, "Two pins of the same direction cannot be connected together."},
    {VFW_E_NOT_CONNECTED, "The operation cannot be performed because the pins are not connected."},
    {VFW_E_NO_ALLOCATOR, "No sample buffer allocator is available."},
    {VFW_E_RUNTIME_ERROR, "A run-time error occurred."},
    {VFW_E_BUFFER_OVERFLOW, "The buffer is not big enough."},
    {VFW_E_NOT_COMMITTED, "Cannot allocate a sample when the allocator is not active."},
    {VFW_E_NO_CLOCK, "No clock has been defined."},
    {VFW_E_NOT_FOUND, "The requested object was not found."},
    {VFW_E_CANNOT_CONNECT, "No combination of intermediate filters could be found to make the connection."},
    {VFW_E_CANNOT_RENDER, "No combination of filters could be found to render the stream."},
    {VFW_E_NOT_STOPPED, "The operation could not be performed because the filter is not stopped."},
    {VFW_E_NOT_PAUSED, "The operation could not be performed because the filter is not paused."},
    {VFW_E_NOT_RUNNING, "The operation could not be performed because the filter is not running."},
    {VFW_E_WRONG_STATE, "The operation could not be performed because the filter is in the wrong state."},
    {VFW_E_TYPE_NOT_ACCEPTED, "This media type is not accepted by the pin."},
    {VFW_E_SAMPLE_REJECTED, "The sample was rejected."},
    {VFW_E_SAMPLE_REJECTED_EOS, "The sample was rejected because the stream has ended."},
    {VFW_E_DUPLICATE_NAME, "A filter with this name already exists in the graph."},
    {VFW_E_TIMEOUT, "A time-out has expired."},
    {VFW_E_INVALID_FILE_FORMAT, "The file format is invalid."},
    {VFW_E_CIRCULAR_GRAPH, "The graph would be circular."},
    {VFW_E_UNKNOWN_FILE_TYPE, "The media type of this file is not recognized."},
    {VFW_E_CANNOT_LOAD_SOURCE_FILTER, "The source filter for this file could not be loaded."},
    {VFW_E_FILE_TOO_SHORT, "The file is shorter than it should be."},
    {VFW_E_NO_DECOMPRESSOR, "No decompressor could be found for the stream."},
    {VFW_E_NO_AUDIO_HARDWARE, "No audio output device is available."},
    {VFW_E_UNSUPPORTED_AUDIO, "The audio stream is in an unsupported format."},
    {VFW_E_UNSUPPORTED_VIDEO, "The video stream is in an unsupported format."},
    {VFW_E_NOT_IN_GRAPH, "The filter is not in a filter graph."},
    {VFW_E_UNSUPPORTED_STREAM, "The stream is in an unsupported format."},
    {VFW_E_SAMPLE_TIME_NOT_SET, "No time stamp has been set for this sample."},
    {VFW_E_MEDIA_TIME_NOT_SET, "No media time stamp has been set for this sample."},
    {VFW_S_PARTIAL_RENDER, "Some of the streams in this movie are in an unsupported format."},
    {VFW_S_NO_MORE_ITEMS, "The end of the list has been reached."},
};
}  // namespace

DWORD AMGetErrorTextA(HRESULT hr, char* buffer, DWORD maxLength) {
  if (!buffer || maxLength == 0) return 0;
  for (const auto& e : kErrorTexts) {
    if (e.hr != hr) continue;
    size_t n = std::strlen(e.text);
    if (n + 1 > maxLength) n = maxLength - 1;
    std::memcpy(buffer, e.text, n);
    buffer[n] = 0;
    return static_cast<DWORD>(n);
  }
  return 0;
}
