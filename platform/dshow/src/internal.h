#pragma once
// Internal helpers shared by the platform's filters and graph.
#include <memory>
#include <string>

#include "com/com.h"
#include "core/bstr.h"
#include "dshow/avbridge.h"
#include "dshow/baseclasses.h"
#include "dshow/filters.h"
#include "dshow/uuids.h"

#include <cstdint>
#include <vector>

extern "C" {
struct AVFormatContext;
struct AVCodecParameters;
struct SwsContext;
}

namespace dshow {

inline std::u16string U16(const std::string& utf8) { return Utf8ToUtf16(utf8); }
inline std::string U8(const std::u16string& s) { return Utf16ToUtf8(s); }

// Registration of the system filters, module by module.
void RegisterSourceFilters();
void RegisterDecoderFilters();
void RegisterMuxFilters();
void RegisterRendererFilters();
void RegisterTeeFilters();
// Adds a system filter's template (only from the Register*Filters functions above).
void AddSystemTemplate(FilterTemplate t);

// Uncompressed video subtypes and their FFmpeg pixel formats.
int PixelFormatOfSubtype(const GUID& subtype, int bitCount);  // AV_PIX_FMT_NONE if compressed
bool IsUncompressedVideo(const AM_MEDIA_TYPE& mt);
bool IsPcmAudio(const AM_MEDIA_TYPE& mt);

// The byte-stream link between a file source and a splitter: the splitter learns the file and
// may take over the source's already opened container.
class FileStreamProvider {
 public:
  virtual std::string FilePath() const = 0;
  // The opened container, handed over once (null afterwards).
  virtual AVFormatContext* TakeOpenedContainer() = 0;

 protected:
  ~FileStreamProvider() = default;
};

// Creates the file source for a path (probing its format): the source's filter name is the path
// and its one output pin "Output" carries MEDIATYPE_Stream with the container's subtype.
HRESULT CreateFileSource(const std::string& path, IBaseFilter** filter);

// Scales a picture with the scaler into a device-independent bitmap of `height` rows of `stride`
// bytes at dst, bottom-up or top-down, writing nothing outside it: the scaler may write past a
// row's end (past the buffer's end for a bottom-up bitmap's top row, or a very narrow picture's
// last row), so such pictures go through the padded `scratch` first. Returns the scaler's row
// count.
int ScaleIntoDib(SwsContext* sws, const uint8_t* const src[], const int srcStride[], int srcHeight, uint8_t* dst,
                 int stride, int height, bool bottomUp, std::vector<uint8_t>& scratch);


}  // namespace dshow
