#pragma once
// The AVIFile calls: reading AVI files (OpenDML included) stream by stream, the compression
// options dialog, compressed streams made with the platform's compressors, and saving streams
// into a new AVI file with a progress callback. Media work runs on the FFmpeg libraries; the
// compressors are dshow's (dshow::Compressors()), with their settings. Paths are UTF-8.
//
// Results are HRESULTs: AVIERR_OK (0) or one of the AVIERR_* codes below. Files and streams are
// reference counted: AVIFileRelease and AVIStreamRelease answer the count that remains. A stream
// holds its file, a compressed stream the stream it is made from.
#include <cstdint>
#include <functional>

#include "core/guid.h"
#include "core/hresult.h"
#include "core/unknown.h"

class QDialog;

using HWND = uint32_t;
using UINT = uint32_t;

// --- Result codes --------------------------------------------------------------------------

constexpr HRESULT MakeAviError(uint32_t code) {
  return static_cast<HRESULT>(0x80040000u | (0x4000u + code));
}
constexpr HRESULT AVIERR_OK = 0;
constexpr HRESULT AVIERR_UNSUPPORTED = MakeAviError(101);
constexpr HRESULT AVIERR_BADFORMAT = MakeAviError(102);
constexpr HRESULT AVIERR_MEMORY = MakeAviError(103);
constexpr HRESULT AVIERR_INTERNAL = MakeAviError(104);
constexpr HRESULT AVIERR_BADFLAGS = MakeAviError(105);
constexpr HRESULT AVIERR_BADPARAM = MakeAviError(106);
constexpr HRESULT AVIERR_BADSIZE = MakeAviError(107);
constexpr HRESULT AVIERR_BADHANDLE = MakeAviError(108);
constexpr HRESULT AVIERR_FILEREAD = MakeAviError(109);
constexpr HRESULT AVIERR_FILEWRITE = MakeAviError(110);
constexpr HRESULT AVIERR_FILEOPEN = MakeAviError(111);
constexpr HRESULT AVIERR_COMPRESSOR = MakeAviError(112);
constexpr HRESULT AVIERR_NOCOMPRESSOR = MakeAviError(113);
constexpr HRESULT AVIERR_READONLY = MakeAviError(114);
constexpr HRESULT AVIERR_NODATA = MakeAviError(115);
constexpr HRESULT AVIERR_BUFFERTOOSMALL = MakeAviError(116);
constexpr HRESULT AVIERR_CANTCOMPRESS = MakeAviError(117);
constexpr HRESULT AVIERR_USERABORT = MakeAviError(198);  // 0x800440C6
constexpr HRESULT AVIERR_ERROR = MakeAviError(199);
static_assert(static_cast<uint32_t>(AVIERR_USERABORT) == 0x800440C6u);

// --- Codes and flags -----------------------------------------------------------------------

constexpr uint32_t MakeAviFourCC(char a, char b, char c, char d) {
  return static_cast<uint32_t>(static_cast<uint8_t>(a)) |
         (static_cast<uint32_t>(static_cast<uint8_t>(b)) << 8) |
         (static_cast<uint32_t>(static_cast<uint8_t>(c)) << 16) |
         (static_cast<uint32_t>(static_cast<uint8_t>(d)) << 24);
}
constexpr uint32_t streamtypeVIDEO = MakeAviFourCC('v', 'i', 'd', 's');
constexpr uint32_t streamtypeAUDIO = MakeAviFourCC('a', 'u', 'd', 's');
constexpr uint32_t streamtypeMIDI = MakeAviFourCC('m', 'i', 'd', 's');
constexpr uint32_t streamtypeTEXT = MakeAviFourCC('t', 'x', 't', 's');
// The handler of uncompressed frames ("Full Frames (Uncompressed)").
constexpr uint32_t comptypeDIB = MakeAviFourCC('D', 'I', 'B', ' ');

// Open modes (only reading is offered; the share flags are accepted and have no effect).
constexpr UINT OF_READ = 0x0000;
constexpr UINT OF_WRITE = 0x0001;
constexpr UINT OF_READWRITE = 0x0002;
constexpr UINT OF_SHARE_EXCLUSIVE = 0x0010;
constexpr UINT OF_SHARE_DENY_WRITE = 0x0020;
constexpr UINT OF_SHARE_DENY_READ = 0x0030;
constexpr UINT OF_SHARE_DENY_NONE = 0x0040;
constexpr UINT OF_CREATE = 0x1000;

// AVISaveOptions flags: what the dialog offers besides the compressor and its quality.
constexpr UINT ICMF_CHOOSE_KEYFRAME = 0x0001;
constexpr UINT ICMF_CHOOSE_DATARATE = 0x0002;
constexpr UINT ICMF_CHOOSE_PREVIEW = 0x0004;
constexpr UINT ICMF_CHOOSE_ALLCOMPRESSORS = 0x0008;

// AVICOMPRESSOPTIONS dwFlags.
constexpr uint32_t AVICOMPRESSF_INTERLEAVE = 0x0001;
constexpr uint32_t AVICOMPRESSF_DATARATE = 0x0002;
constexpr uint32_t AVICOMPRESSF_KEYFRAMES = 0x0004;
constexpr uint32_t AVICOMPRESSF_VALID = 0x0008;

constexpr uint32_t ICQUALITY_LOW = 0;
constexpr uint32_t ICQUALITY_HIGH = 10000;
constexpr uint32_t ICQUALITY_DEFAULT = 0xFFFFFFFFu;

// The compression options of one stream, as the dialog fills them.
struct AVICOMPRESSOPTIONS {
  uint32_t fccType = 0;           // streamtypeVIDEO
  uint32_t fccHandler = 0;        // the compressor's FOURCC; comptypeDIB for full frames
  uint32_t dwKeyFrameEvery = 0;   // with AVICOMPRESSF_KEYFRAMES: a key frame every n frames
  uint32_t dwQuality = 0;         // 0 .. 10000, or ICQUALITY_DEFAULT
  uint32_t dwBytesPerSecond = 0;  // with AVICOMPRESSF_DATARATE
  uint32_t dwFlags = 0;           // AVICOMPRESSF_*
  void* lpFormat = nullptr;       // unused for video (kept null)
  uint32_t cbFormat = 0;
  void* lpParms = nullptr;        // the compressor's state (allocated by the dialog)
  uint32_t cbParms = 0;
  uint32_t dwInterleaveEvery = 0;
};
using LPAVICOMPRESSOPTIONS = AVICOMPRESSOPTIONS*;

// --- Files and streams ---------------------------------------------------------------------

// Information about one stream (the AVI stream header's values).
struct AVISTREAMINFO {
  uint32_t fccType = 0;
  uint32_t fccHandler = 0;
  uint32_t dwScale = 0;   // the rate is dwRate / dwScale units per second
  uint32_t dwRate = 0;
  uint32_t dwStart = 0;
  uint32_t dwLength = 0;  // in units of the rate (frames for video)
  int32_t width = 0;      // video: the frame size
  int32_t height = 0;
};

class IAVIStream : public IUnknown {
 public:
  static constexpr IID iid = MakeGuid("{00020021-0000-0000-C000-000000000046}");
  virtual HRESULT Info(AVISTREAMINFO* info) = 0;
};

class IAVIFile : public IUnknown {
 public:
  static constexpr IID iid = MakeGuid("{00020020-0000-0000-C000-000000000046}");
  // The stream of a type (0: any) with that index among the streams of the type; AVIERR_NODATA
  // when there is none.
  virtual HRESULT GetStream(IAVIStream** stream, uint32_t fccType, int32_t index) = 0;
};

using PAVIFILE = IAVIFile*;
using PAVISTREAM = IAVIStream*;

// Counted: every AVIFileInit is matched by one AVIFileExit; an extra Exit does nothing.
void AVIFileInit();
void AVIFileExit();

HRESULT AVIFileOpen(PAVIFILE* ppfile, const char* szFile, UINT uMode, const CLSID* lpHandler);
HRESULT AVIFileOpenA(PAVIFILE* ppfile, const char* szFile, UINT uMode, const CLSID* lpHandler);
HRESULT AVIFileGetStream(PAVIFILE pfile, PAVISTREAM* ppavi, uint32_t fccType, int32_t lParam);
uint32_t AVIFileRelease(PAVIFILE pfile);
uint32_t AVIStreamRelease(PAVISTREAM pavi);
HRESULT AVIStreamInfo(PAVISTREAM pavi, AVISTREAMINFO* info, int32_t size);

// The compression dialog over the window `hwnd`: answers 1 (OK, the records filled) or 0.
intptr_t AVISaveOptions(HWND hwnd, UINT uiFlags, int nStreams, PAVISTREAM* ppavi,
                        LPAVICOMPRESSOPTIONS* plpOptions);
// Frees what the dialog allocated in the records (safe on records it never filled).
HRESULT AVISaveOptionsFree(int nStreams, LPAVICOMPRESSOPTIONS* plpOptions);

HRESULT AVIMakeCompressedStream(PAVISTREAM* ppsCompressed, PAVISTREAM psSource,
                                const AVICOMPRESSOPTIONS* lpOptions, const CLSID* pclsidHandler);

// Progress: called with 0, each new percentage (and at least every 100 ms) and 100; a non-zero
// answer stops the save with AVIERR_USERABORT.
using AVISAVECALLBACK = std::function<intptr_t(int nPercent)>;
HRESULT AVISaveV(const char* szFile, const CLSID* pclsidHandler, AVISAVECALLBACK lpfnCallback,
                 int nStreams, PAVISTREAM* ppavi, LPAVICOMPRESSOPTIONS* plpOptions);
HRESULT AVISaveVA(const char* szFile, const CLSID* pclsidHandler, AVISAVECALLBACK lpfnCallback,
                  int nStreams, PAVISTREAM* ppavi, LPAVICOMPRESSOPTIONS* plpOptions);

namespace vfw {

// How many AVIFileInit calls are not yet matched by AVIFileExit.
int InitCount();

// How the compression dialog is shown: the presenter gets the finished dialog and the owner
// handle and answers true when the user accepted it. The default runs it modally over the
// owner. Object names of its parts: "compressor" (combo box: "Full Frames (Uncompressed)",
// then the video compressors by friendly name), "quality" (spin box 0..100), "keyFrames" (check
// box) with "keyFrameEvery" (spin box), "dataRate" (check box) with "dataRateKb" (spin box,
// kilobytes per second), "preview" (label with the first frame), "configure", "about", "ok",
// "cancel" (buttons). An empty presenter restores the default; the previous one is returned.
using SaveOptionsPresenter = std::function<bool(QDialog& dialog, HWND owner)>;
SaveOptionsPresenter SetSaveOptionsPresenter(SaveOptionsPresenter presenter);

// The driver list: one value "vidc.<FOURCC>" per video compressor under HKEY_LOCAL_MACHINE
// "SOFTWARE\Microsoft\Windows NT\CurrentVersion\drivers32" (data: the compressor's name).
// Unregistering removes exactly the values registering wrote.
HRESULT RegisterDriverList();
HRESULT UnregisterDriverList();
extern const char* const kDriversKey;

}  // namespace vfw
