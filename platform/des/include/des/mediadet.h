#pragma once
// The media detector: what streams a media file holds (their types, lengths and frame rates) and
// single video frames of it as 24-bit bitmaps.
//
//   ComPtr<IMediaDet> det;
//   CoCreateInstance(CLSID_MediaDet, nullptr, CLSCTX_INPROC_SERVER, IMediaDet::iid, det.put_void());
//   det->put_Filename(Bstr("clip.avi"));
//   det->WriteBitmapBits(2.0, 160, 120, Bstr("frame.bmp"));
//
// Streams are the file's video and sound streams in file order; a still picture (BMP, JPEG, GIF)
// is one video stream of no length. Frame times are seconds from the stream's start: frame n of
// a stream of rate r is the picture at n / r; a time at or beyond the end gives the last frame.
// Grabbing always reads the file's first video stream, whatever stream is current.
#include <cstdint>

#include "core/bstr.h"
#include "core/unknown.h"
#include "dshow/mediatype.h"

constexpr CLSID CLSID_MediaDet = MakeGuid("{65BD0711-24D2-4FF7-9324-ED2E5D3ABAFA}");
// The editing-services type library that describes the detector to late-bound callers.
constexpr GUID LIBID_DexterLib = MakeGuid("{78530B68-61F9-11D2-8CAD-00A024580902}");

class IMediaDet : public IDispatch {
 public:
  static constexpr IID iid = MakeGuid("{65BD0710-24D2-4FF7-9324-ED2E5D3ABAFA}");

  // Number of video and sound streams of the file.
  virtual HRESULT get_OutputStreams(LONG* count) = 0;
  // The stream the type, length, rate and media type questions are about (0-based).
  virtual HRESULT get_CurrentStream(LONG* index) = 0;
  virtual HRESULT put_CurrentStream(LONG index) = 0;
  // Major type of the current stream (MEDIATYPE_Video or MEDIATYPE_Audio), and as "{...}" text.
  virtual HRESULT get_StreamType(GUID* majorType) = 0;
  virtual HRESULT get_StreamTypeB(Bstr* majorType) = 0;
  // Length of the current stream in seconds (0 for a still picture).
  virtual HRESULT get_StreamLength(double* seconds) = 0;
  // The file; setting it opens and parses the file and makes stream 0 current. Setting fails
  // (and leaves the detector without a file) for a missing, unreadable or unknown file.
  virtual HRESULT get_Filename(Bstr* path) = 0;
  virtual HRESULT put_Filename(const Bstr& path) = 0;
  // The frame at streamTime scaled to width x height as a BITMAPINFOHEADER followed by 24-bit
  // bottom-up pixel rows (each padded to 4 bytes). With buffer null, *bufferSize receives the size
  // needed; otherwise the buffer is filled, and a bufferSize given says how large the buffer is.
  virtual HRESULT GetBitmapBits(double streamTime, LONG* bufferSize, char* buffer, LONG width,
                                LONG height) = 0;
  // The same picture written as a BMP file.
  virtual HRESULT WriteBitmapBits(double streamTime, LONG width, LONG height,
                                  const Bstr& path) = 0;
  // Media type of the current stream; the caller frees it with FreeMediaType.
  virtual HRESULT get_StreamMediaType(AM_MEDIA_TYPE* type) = 0;
  // Frames per second of the current stream (0 for sound and for a still picture).
  virtual HRESULT get_FrameRate(double* rate) = 0;
  // Prepares frame grabbing and positions the video decoder at seekTime.
  virtual HRESULT EnterBitmapGrabMode(double seekTime) = 0;
};

// Makes the detector creatable through CoCreateInstance (class CLSID_MediaDet, ProgID
// "DexterLib.MediaDet") and publishes its type description; runs once when the library loads and
// may be called again without effect.
void RegisterMediaDetClass();

namespace des_detail {
// True once the library has registered the class at its load. A program that includes this
// header refers to it, so the linker keeps the library (and with it the class) even when the
// program calls nothing of it directly but creates the detector through CoCreateInstance.
extern const bool kMediaDetClassRegistered;
[[gnu::used]] static const bool* const kMediaDetClassLink = &kMediaDetClassRegistered;
}  // namespace des_detail
