#include "engine/modDexterProbe.h"

#include "com/com.h"
#include "core/error.h"
#include "core/runtime_strings.h"
#include "des/mediadet.h"
#include "shell/files.h"

namespace {

// Stream kinds by the text form of their major type.
constexpr const char* kPictureStream = "{73646976-0000-0010-8000-00AA00389B71}";
constexpr const char* kSoundStream = "{73647561-0000-0010-8000-00AA00389B71}";

ComPtr<IMediaDet> NewDetector(const std::string& path) {
  ComPtr<IMediaDet> det;
  Check(CoCreateInstance(CLSID_MediaDet, nullptr, CLSCTX_INPROC_SERVER, IMediaDet::iid,
                         det.put_void()));
  Check(det->put_Filename(Bstr(path)));
  return det;
}

LONG StreamCount(IMediaDet* det) {
  LONG count = 0;
  Check(det->get_OutputStreams(&count));
  return count;
}

// Whether any stream of the file has the major type given as text (letter case aside). With
// readBack the detector's file name is read back first and the streams are walked only when it
// is not empty.
bool HasStreamOfType(const std::string& path, const char* majorType, bool readBack = false) {
  bool found = false;
  if (path.empty() && !readBack) return found;
  // Every failure ends the probe quietly; the answer is what it held at that moment.
  if (!EndQuietly([&] {
        ComPtr<IMediaDet> det = NewDetector(path);
        if (readBack) {
          Bstr name;
          Check(det->get_Filename(&name));
          if (name.Utf8().empty()) return;
        }
        if (StreamCount(det.Get()) <= 0) return;
        const LONG count = StreamCount(det.Get());
        for (LONG i = 0; i < count; ++i) {
          Check(det->put_CurrentStream(i));
          Bstr type;
          Check(det->get_StreamTypeB(&type));
          if (StrComp(type.Utf8(), majorType, vbTextCompare) == 0) {
            found = true;
            return;
          }
        }
      })) {
    Err().Clear();
  }
  return found;
}

}  // namespace

bool IsMediaFile(const std::string& path) {
  bool media = false;
  if (path.empty()) return media;
  if (!EndQuietly([&] {
        ComPtr<IMediaDet> det = NewDetector(path);
        media = StreamCount(det.Get()) > 0;
      })) {
    Err().Clear();
  }
  return media;
}

bool HasVideoStream(const std::string& path) { return HasStreamOfType(path, kPictureStream); }

bool HasVideoStreamReadBack(const std::string& path) {
  return HasStreamOfType(path, kPictureStream, /*readBack=*/true);
}

bool HasAudioStream(const std::string& path) { return HasStreamOfType(path, kSoundStream); }

std::string GetShortPath(const std::string& path) { return ShortPathName(path); }
