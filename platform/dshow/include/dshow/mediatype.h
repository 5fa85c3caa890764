#pragma once
// Media types of the filter graph: the AM_MEDIA_TYPE record with its format blocks
// (VIDEOINFOHEADER with BITMAPINFOHEADER, WAVEFORMATEX) and the well-known type identifiers.
// Format blocks are allocated with the task allocator (CoTaskMemAlloc) and freed with
// FreeMediaType; a media type handed out by a pin belongs to the caller.
#include <cstdint>
#include <string>

#include "core/guid.h"
#include "core/hresult.h"
#include "core/rect.h"
#include "core/unknown.h"

#pragma pack(push, 2)
struct BITMAPINFOHEADER {
  uint32_t biSize = 40;
  int32_t biWidth = 0;
  int32_t biHeight = 0;
  uint16_t biPlanes = 1;
  uint16_t biBitCount = 0;
  uint32_t biCompression = 0;
  uint32_t biSizeImage = 0;
  int32_t biXPelsPerMeter = 0;
  int32_t biYPelsPerMeter = 0;
  uint32_t biClrUsed = 0;
  uint32_t biClrImportant = 0;
};
static_assert(sizeof(BITMAPINFOHEADER) == 40);

struct WAVEFORMATEX {
  uint16_t wFormatTag = 0;
  uint16_t nChannels = 0;
  uint32_t nSamplesPerSec = 0;
  uint32_t nAvgBytesPerSec = 0;
  uint16_t nBlockAlign = 0;
  uint16_t wBitsPerSample = 0;
  uint16_t cbSize = 0;  // bytes of codec data that follow the structure
};
static_assert(sizeof(WAVEFORMATEX) == 18);
#pragma pack(pop)

struct VIDEOINFOHEADER {
  RECT rcSource;
  RECT rcTarget;
  uint32_t dwBitRate = 0;
  uint32_t dwBitErrorRate = 0;
  REFERENCE_TIME AvgTimePerFrame = 0;
  BITMAPINFOHEADER bmiHeader;
};
static_assert(sizeof(VIDEOINFOHEADER) == 88);

constexpr uint32_t BI_RGB = 0;
constexpr uint32_t BI_BITFIELDS = 3;
constexpr uint16_t WAVE_FORMAT_PCM = 1;
constexpr uint16_t WAVE_FORMAT_IEEE_FLOAT = 3;

struct AM_MEDIA_TYPE {
  GUID majortype;
  GUID subtype;
  bool bFixedSizeSamples = false;
  bool bTemporalCompression = false;
  uint32_t lSampleSize = 0;
  GUID formattype;
  IUnknown* pUnk = nullptr;
  uint32_t cbFormat = 0;
  uint8_t* pbFormat = nullptr;  // CoTaskMemAlloc'ed
};

// FOURCC code of four characters, first character in the lowest byte.
constexpr uint32_t MakeFourCC(char a, char b, char c, char d) {
  return static_cast<uint32_t>(static_cast<uint8_t>(a)) |
         (static_cast<uint32_t>(static_cast<uint8_t>(b)) << 8) |
         (static_cast<uint32_t>(static_cast<uint8_t>(c)) << 16) |
         (static_cast<uint32_t>(static_cast<uint8_t>(d)) << 24);
}
// The subtype of a FOURCC (or a wave format tag): {XXXXXXXX-0000-0010-8000-00AA00389B71}.
constexpr GUID FourCCSubtype(uint32_t fourcc) {
  GUID g = MakeGuid("{00000000-0000-0010-8000-00AA00389B71}");
  g.Data1 = fourcc;
  return g;
}
// True when the subtype is of the FOURCC form; *fourcc receives its code.
bool IsFourCCSubtype(REFGUID subtype, uint32_t* fourcc = nullptr);

// Major types.
constexpr GUID MEDIATYPE_Video = MakeGuid("{73646976-0000-0010-8000-00AA00389B71}");
constexpr GUID MEDIATYPE_Audio = MakeGuid("{73647561-0000-0010-8000-00AA00389B71}");
constexpr GUID MEDIATYPE_Stream = MakeGuid("{E436EB83-524F-11CE-9F53-0020AF0BA770}");

// Subtypes.
constexpr GUID MEDIASUBTYPE_None = MakeGuid("{E436EB8E-524F-11CE-9F53-0020AF0BA770}");
constexpr GUID MEDIASUBTYPE_RGB8 = MakeGuid("{E436EB7A-524F-11CE-9F53-0020AF0BA770}");
constexpr GUID MEDIASUBTYPE_RGB565 = MakeGuid("{E436EB7B-524F-11CE-9F53-0020AF0BA770}");
constexpr GUID MEDIASUBTYPE_RGB555 = MakeGuid("{E436EB7C-524F-11CE-9F53-0020AF0BA770}");
constexpr GUID MEDIASUBTYPE_RGB24 = MakeGuid("{E436EB7D-524F-11CE-9F53-0020AF0BA770}");
constexpr GUID MEDIASUBTYPE_RGB32 = MakeGuid("{E436EB7E-524F-11CE-9F53-0020AF0BA770}");
constexpr GUID MEDIASUBTYPE_ARGB32 = MakeGuid("{773C9AC0-3274-11D0-B724-00AA006C1A01}");
constexpr GUID MEDIASUBTYPE_YUY2 = FourCCSubtype(MakeFourCC('Y', 'U', 'Y', '2'));
constexpr GUID MEDIASUBTYPE_YV12 = FourCCSubtype(MakeFourCC('Y', 'V', '1', '2'));
constexpr GUID MEDIASUBTYPE_IYUV = FourCCSubtype(MakeFourCC('I', 'Y', 'U', 'V'));
constexpr GUID MEDIASUBTYPE_PCM = FourCCSubtype(WAVE_FORMAT_PCM);
constexpr GUID MEDIASUBTYPE_IEEE_FLOAT = FourCCSubtype(WAVE_FORMAT_IEEE_FLOAT);
constexpr GUID MEDIASUBTYPE_MPEG1System = MakeGuid("{E436EB84-524F-11CE-9F53-0020AF0BA770}");
constexpr GUID MEDIASUBTYPE_MPEG1VideoCD = MakeGuid("{E436EB85-524F-11CE-9F53-0020AF0BA770}");
constexpr GUID MEDIASUBTYPE_MPEG1Video = MakeGuid("{E436EB86-524F-11CE-9F53-0020AF0BA770}");
constexpr GUID MEDIASUBTYPE_MPEG1Audio = MakeGuid("{E436EB87-524F-11CE-9F53-0020AF0BA770}");
constexpr GUID MEDIASUBTYPE_Avi = MakeGuid("{E436EB88-524F-11CE-9F53-0020AF0BA770}");
constexpr GUID MEDIASUBTYPE_QTMovie = MakeGuid("{E436EB89-524F-11CE-9F53-0020AF0BA770}");
constexpr GUID MEDIASUBTYPE_WAVE = MakeGuid("{E436EB8B-524F-11CE-9F53-0020AF0BA770}");
constexpr GUID MEDIASUBTYPE_MPEG2_PROGRAM = MakeGuid("{E06D8022-DB46-11CF-B4D1-00805F6CBBEA}");
// Still pictures read by the platform's picture splitter (one frame, no duration).
constexpr GUID MEDIASUBTYPE_StillImage = MakeGuid("{6C3D9A52-4E1B-4C8F-9A43-0B5E2D7F1C11}");

// Format types.
constexpr GUID FORMAT_None = MakeGuid("{0F6417D6-C318-11D0-A43F-00A0C9223196}");
constexpr GUID FORMAT_VideoInfo = MakeGuid("{05589F80-C356-11CE-BF01-00AA0055595A}");
constexpr GUID FORMAT_VideoInfo2 = MakeGuid("{F72A76A0-EB0A-11D0-ACE4-0000C0CC16BA}");
constexpr GUID FORMAT_WaveFormatEx = MakeGuid("{05589F81-C356-11CE-BF01-00AA0055595A}");

// Frees the format block and the pUnk reference of a media type, leaving it empty.
void FreeMediaType(AM_MEDIA_TYPE& mt);
// Deep copy (format block reallocated with the task allocator).
HRESULT CopyMediaType(AM_MEDIA_TYPE* target, const AM_MEDIA_TYPE* source);
// A media type allocated with the task allocator, as enumerators hand them out.
AM_MEDIA_TYPE* CreateMediaType(const AM_MEDIA_TYPE* source);
// FreeMediaType, then CoTaskMemFree of the record itself.
void DeleteMediaType(AM_MEDIA_TYPE* mt);
// Allocates (or replaces) the format block of a media type; returns the block or null.
uint8_t* SetFormatBuffer(AM_MEDIA_TYPE& mt, uint32_t size);

// The video or wave header of a media type, or null when its format is of another kind.
const VIDEOINFOHEADER* VideoInfo(const AM_MEDIA_TYPE& mt);
const WAVEFORMATEX* WaveFormat(const AM_MEDIA_TYPE& mt);

// Owning media type with value semantics, for code that keeps types around.
class MediaType : public AM_MEDIA_TYPE {
 public:
  MediaType() = default;
  MediaType(const AM_MEDIA_TYPE& mt) { CopyMediaType(this, &mt); }
  MediaType(const MediaType& o) : AM_MEDIA_TYPE() { CopyMediaType(this, &o); }
  MediaType& operator=(const AM_MEDIA_TYPE& o) {
    if (this != &o) { FreeMediaType(*this); CopyMediaType(this, &o); }
    return *this;
  }
  MediaType& operator=(const MediaType& o) { return *this = static_cast<const AM_MEDIA_TYPE&>(o); }
  ~MediaType() { FreeMediaType(*this); }
  bool IsEmpty() const { return majortype == GUID_NULL; }
};

// True when two types are the same (major type, subtype, format type and format bytes).
bool MediaTypesEqual(const AM_MEDIA_TYPE& a, const AM_MEDIA_TYPE& b);
// True when `type` matches the partial type `pattern` (GUID_NULL fields match anything).
bool MediaTypeMatchesPartial(const AM_MEDIA_TYPE& type, const AM_MEDIA_TYPE& pattern);
// Bytes of one row of an uncompressed picture, rounded up to whole 32-bit words.
inline int32_t DibStride(int32_t width, int bitCount) { return ((width * bitCount + 31) / 32) * 4; }
