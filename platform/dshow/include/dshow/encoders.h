#pragma once
// The platform's compressors (video and audio encoders of the FFmpeg libraries, as transform
// filters with pins "XForm In" and "XForm Out") and the system device enumerator that lists
// them, with their option pages and about boxes.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "dshow/devenum.h"
#include "dshow/interfaces.h"

class QDialog;
extern "C" {
struct AVCodecContext;
}

namespace dshow {

// Settings of a compressor, as its option page edits them and IAMVfwCompressDialogs GetState /
// SetState carry them. A value the compressor does not use is kept but has no effect.
struct CompressorSettings {
  int32_t quality = 75;          // 1 (smallest output) .. 100 (best picture or sound)
  int32_t keyFrameInterval = 0;  // a key frame at least every n frames; 0: the codec's default
  int32_t dataRate = 0;          // kilobits per second; 0: coded by quality
  bool operator==(const CompressorSettings&) const = default;
};

// What a compressor offers on its option page.
enum CompressorOption : uint32_t {
  kOptionQuality = 1,
  kOptionKeyFrames = 2,
  kOptionDataRate = 4,
};

struct CompressorInfo {
  std::u16string name;  // the friendly name, unique among the registered filters
  CLSID clsid;
  CLSID category;       // CLSID_VideoCompressorCategory or CLSID_AudioCompressorCategory
  uint32_t fourcc = 0;  // video: the FOURCC written into the stream; audio: the wave format tag
  uint32_t options = 0; // CompressorOption bits; 0 for a compressor without an option page
  std::u16string note;  // a further paragraph of the About box (empty: none)
};

// The compressors this machine's FFmpeg libraries can run, video first, in listing order.
const std::vector<CompressorInfo>& Compressors();

// The settings a new instance of a compressor starts with (what its option page last accepted).
CompressorSettings DefaultCompressorSettings(REFCLSID clsid);
void SetDefaultCompressorSettings(REFCLSID clsid, const CompressorSettings& settings);

// The settings of one compressor instance, read and changed without touching the defaults of
// new instances (E_NOINTERFACE for a filter that is not one of the platform's compressors;
// E_INVALIDARG for values out of range).
HRESULT GetCompressorSettings(IBaseFilter* compressor, CompressorSettings* settings);
HRESULT SetCompressorSettings(IBaseFilter* compressor, const CompressorSettings& settings);

// How a compressor's option page or about box is shown. The presenter gets the finished dialog
// and the owner window handle given to ShowDialog, and answers true when the user accepted it.
// The default runs the dialog modally; a host may show it its own way, a test may fill in the
// page's fields and accept it. The fields carry object names: "quality", "keyFrameInterval",
// "dataRate" (spin boxes) and "ok", "cancel" (buttons).
using CompressorDialogPresenter = std::function<bool(QDialog& dialog, OAHWND owner)>;
// Installs a presenter (an empty one restores the default); returns the previous one.
CompressorDialogPresenter SetCompressorDialogPresenter(CompressorDialogPresenter presenter);

// A video compressor that another platform area adds on this machinery (pins "XForm In" /
// "XForm Out", picture conversion, settings, dialogs, refusal of sizes), registered under the video
// compressor category and creatable by class identifier. It is not one of Compressors().
struct VideoCompressorKind {
  std::u16string name;
  CLSID clsid;
  std::string encoder;        // libavcodec's encoder name
  uint32_t fourcc = 0;        // written into the stream header and the bitmap header
  uint32_t options = 0;       // CompressorOption bits
  std::u16string streamName;  // the stream name (strn) the AVI mux writes; empty: none
  std::u16string note;        // a further paragraph of its About box
};
HRESULT RegisterVideoCompressor(const VideoCompressorKind& kind);

// Further adjustment of one compressor instance's encoder: the function runs on each encoder it
// opens, after the settings are applied and before the encoder opens (an empty one: none).
class IEncoderTuning : public IUnknown {
 public:
  static constexpr IID iid = MakeGuid("{B04E71C2-5A3D-4F86-9C1E-27D8A6F3E915}");
  virtual HRESULT SetTuning(std::function<void(AVCodecContext*)> tune) = 0;
};

// The name a filter gives the stream it delivers (the AVI mux writes it as the stream's "strn").
class IStreamName : public IUnknown {
 public:
  static constexpr IID iid = MakeGuid("{7C2A9E14-3B6F-4D58-A1E0-95F4C8B2D367}");
  virtual std::u16string StreamName() = 0;
};

// Size of the settings blob of IAMVfwCompressDialogs GetState / SetState.
constexpr int32_t kCompressorStateSize = 20;

// Display names of device monikers: "@device:cm:{category}\<friendly name>" for compressors,
// "@device:sw:{category}\{CLSID}" for the other filters of a category.
std::u16string DeviceDisplayName(REFCLSID category, const std::u16string& friendlyName,
                                 REFCLSID clsid, bool compressor);

// Makes the system device enumerator and the compressors creatable by class identifier (done
// when the library loads; calling it again does nothing).
void RegisterDeviceEnumeration();

}  // namespace dshow
