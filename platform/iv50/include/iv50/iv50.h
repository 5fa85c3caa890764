#pragma once
// The IV50 codec's stand-in: a compression filter "Crunchbox Video 5 stand-in (MPEG-4 Part 2)"
// (libavcodec's MPEG-4 part 2 encoder, FOURCC "FMP4", stream name the filter's name) and the
// codec's option objects, with their class and interface identifiers and members in interface
// order. Members the programs do not call answer E_NOTIMPL. Values outside a member's range fail
// with E_INVALIDARG. The classes exist only in programs that load this library.
#include <cstdint>

#include "core/guid.h"
#include "core/hresult.h"
#include "core/unknown.h"

namespace iv50 {

constexpr const char16_t* kCompressorName = u"Crunchbox Video 5 stand-in (MPEG-4 Part 2)";
constexpr CLSID CLSID_StandInCompressor = MakeGuid("{4E3C1B7A-92D5-4F0E-8A6C-3D71B95E20F4}");

}  // namespace iv50

constexpr CLSID CLSID_IV50DecodeOptions = MakeGuid("{665A4448-D905-11D0-A30E-444553540000}");
constexpr CLSID CLSID_IV50EncodeOptions = MakeGuid("{665A444A-D905-11D0-A30E-444553540000}");
constexpr CLSID CLSID_IV50OutputNamer = MakeGuid("{39699FD0-0184-11D2-AB4E-00A0C969F20B}");

// The encode options: bound to the stand-in compressor of a graph, committed by the apply pair.
class IV50EncodeOptions : public IUnknown {
 public:
  static constexpr IID iid = MakeGuid("{665A4449-D905-11D0-A30E-444553540000}");
  virtual HRESULT ApplyFinish() = 0;
  virtual HRESULT Reserved1() = 0;
  virtual HRESULT ApplyBegin() = 0;
  virtual HRESULT Reserved2() = 0;
  virtual HRESULT AttachGraph(IUnknown* graph) = 0;
  virtual HRESULT get_KeyFrameRate(int32_t* value) = 0;  // the key-frame interval; 0: the codec's
  virtual HRESULT put_KeyFrameRate(int32_t value) = 0;
  virtual HRESULT get_DataRate(int32_t* value) = 0;  // kb/s; 0: coded by quality
  virtual HRESULT put_DataRate(int32_t value) = 0;
  virtual HRESULT get_Quality(int32_t* value) = 0;  // 0 .. 10000
  virtual HRESULT put_Quality(int32_t value) = 0;
  virtual HRESULT get_AccessKey(int32_t* value) = 0;
  virtual HRESULT put_AccessKey(int32_t value) = 0;
  virtual HRESULT get_ViewportSize1(int32_t* value) = 0;  // 0, 64, 128, 256
  virtual HRESULT put_ViewportSize1(int32_t value) = 0;
  virtual HRESULT get_ViewportSize2(int32_t* value) = 0;
  virtual HRESULT put_ViewportSize2(int32_t value) = 0;
  virtual HRESULT Unused1(int32_t*) = 0;
  virtual HRESULT Unused2(int32_t) = 0;
  virtual HRESULT Unused3(int32_t*) = 0;
  virtual HRESULT Unused4(int32_t) = 0;
  virtual HRESULT Unused5(int32_t*) = 0;
  virtual HRESULT Unused6(int32_t) = 0;
  virtual HRESULT Unused7(int32_t*) = 0;
  virtual HRESULT Unused8(int32_t) = 0;
  virtual HRESULT Unused9(int32_t*) = 0;
  virtual HRESULT Unused10(int32_t) = 0;
  virtual HRESULT Unused11(int32_t*) = 0;
  virtual HRESULT Unused12(int32_t) = 0;
  virtual HRESULT get_Transparency(int16_t* value) = 0;  // 1 none, 2 first-frame analysis, 3 alpha
  virtual HRESULT put_Transparency(int16_t value) = 0;
  virtual HRESULT get_AccessKeyEnabled(int32_t* value) = 0;  // 1 or 0 (-1 taken as 1)
  virtual HRESULT put_AccessKeyEnabled(int32_t value) = 0;
  virtual HRESULT get_Scalability(int16_t* value) = 0;  // written -1 or 0
  virtual HRESULT put_Scalability(int16_t value) = 0;
  virtual HRESULT get_QuickCompress(int32_t* value) = 0;  // 1: faster motion search and modes
  virtual HRESULT put_QuickCompress(int32_t value) = 0;
};

// The decode options: bound to the video decoder of a graph that plays an IV50 stream or a stream
// the stand-in wrote; the apply pair commits brightness, saturation and contrast to the decoder's
// picture adjustment, the default pair restores every value to 0 (and commits that).
class IV50DecodeOptions : public IUnknown {
 public:
  static constexpr IID iid = MakeGuid("{665A4447-D905-11D0-A30E-444553540000}");
  virtual HRESULT ApplyFinish() = 0;
  virtual HRESULT DefaultFinish() = 0;
  virtual HRESULT ApplyBegin() = 0;
  virtual HRESULT DefaultBegin() = 0;
  virtual HRESULT AttachGraph(IUnknown* graph) = 0;
  virtual HRESULT get_AccessKey(int32_t* value) = 0;
  virtual HRESULT put_AccessKey(int32_t value) = 0;
  virtual HRESULT get_AccessKeyEnabled(int32_t* value) = 0;  // 0 or 1
  virtual HRESULT put_AccessKeyEnabled(int32_t value) = 0;   // -1 (or 1) or 0
  virtual HRESULT get_Scalability(int32_t* value) = 0;       // 0 .. 3
  virtual HRESULT put_Scalability(int32_t value) = 0;
  // Eleven pairs the programs do not call.
  virtual HRESULT Unused1(int32_t*) = 0;
  virtual HRESULT Unused2(int32_t) = 0;
  virtual HRESULT Unused3(int32_t*) = 0;
  virtual HRESULT Unused4(int32_t) = 0;
  virtual HRESULT Unused5(int32_t*) = 0;
  virtual HRESULT Unused6(int32_t) = 0;
  virtual HRESULT Unused7(int32_t*) = 0;
  virtual HRESULT Unused8(int32_t) = 0;
  virtual HRESULT Unused9(int32_t*) = 0;
  virtual HRESULT Unused10(int32_t) = 0;
  virtual HRESULT Unused11(int32_t*) = 0;
  virtual HRESULT Unused12(int32_t) = 0;
  virtual HRESULT Unused13(int32_t*) = 0;
  virtual HRESULT Unused14(int32_t) = 0;
  virtual HRESULT Unused15(int32_t*) = 0;
  virtual HRESULT Unused16(int32_t) = 0;
  virtual HRESULT Unused17(int32_t*) = 0;
  virtual HRESULT Unused18(int32_t) = 0;
  virtual HRESULT Unused19(int32_t*) = 0;
  virtual HRESULT Unused20(int32_t) = 0;
  virtual HRESULT Unused21(int32_t*) = 0;
  virtual HRESULT Unused22(int32_t) = 0;
  virtual HRESULT get_Brightness(int32_t* value) = 0;  // -255 .. 255, 0 neutral
  virtual HRESULT put_Brightness(int32_t value) = 0;
  virtual HRESULT get_Saturation(int32_t* value) = 0;
  virtual HRESULT put_Saturation(int32_t value) = 0;
  virtual HRESULT get_Contrast(int32_t* value) = 0;
  virtual HRESULT put_Contrast(int32_t value) = 0;
};

// Names the output file of a compression graph's file writer.
class IV50OutputNamer : public IUnknown {
 public:
  static constexpr IID iid = MakeGuid("{39699FCF-0184-11D2-AB4E-00A0C969F20B}");
  virtual HRESULT Reserved1() = 0;
  virtual HRESULT SetFileName(const char16_t* fileName) = 0;
  virtual HRESULT SetGraph(IUnknown* graph) = 0;
  virtual HRESULT ApplyToGraph(IUnknown* graph) = 0;
};
