// The media detector object: IMediaDet over the reader, with its automation description.
#include "des/mediadet.h"

#include <cerrno>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "com/com.h"
#include "com/dispatch.h"
#include "com/typeinfo.h"
#include "core/error.h"
#include "media_reader.h"
#include "shell/files.h"

namespace {

using des_detail::MediaReader;

enum MediaDetDispId : DISPID {
  kDispOutputStreams = 1,
  kDispCurrentStream,
  kDispStreamTypeB,
  kDispStreamLength,
  kDispFilename,
  kDispWriteBitmapBits,
  kDispFrameRate,
  kDispEnterBitmapGrabMode,
};

TypeLibDesc DexterLibDescription() {
  using namespace desc;
  TypeLibDesc lib;
  lib.libid = LIBID_DexterLib;
  lib.name = "DexterLib";
  lib.helpString = "Editing services media detector";
  lib.types = {
      DualInterface(IMediaDet::iid, "IMediaDet",
                    {PropertyGet("OutputStreams", kDispOutputStreams, VT_I4),
                     PropertyGet("CurrentStream", kDispCurrentStream, VT_I4),
                     PropertyPut("CurrentStream", kDispCurrentStream, VT_I4),
                     PropertyGet("StreamTypeB", kDispStreamTypeB, VT_BSTR),
                     PropertyGet("StreamLength", kDispStreamLength, VT_R8),
                     PropertyGet("Filename", kDispFilename, VT_BSTR),
                     PropertyPut("Filename", kDispFilename, VT_BSTR),
                     Method("WriteBitmapBits", kDispWriteBitmapBits,
                            {In("StreamTime", VT_R8), In("Width", VT_I4), In("Height", VT_I4),
                             In("Filename", VT_BSTR)}),
                     PropertyGet("FrameRate", kDispFrameRate, VT_R8),
                     Method("EnterBitmapGrabMode", kDispEnterBitmapGrabMode,
                            {In("SeekTime", VT_R8)})},
                    {}, TYPEFLAG_FOLEAUTOMATION),
      CoClass(CLSID_MediaDet, "MediaDet", {ImplType{IMediaDet::iid, IMPLTYPEFLAG_FDEFAULT}}),
  };
  return lib;
}

void PublishDescription() {
  static std::once_flag once;
  std::call_once(once, [] { PublishTypeLib(DexterLibDescription()); });
}

HRESULT ErrnoResult(int err) {
  switch (err) {
    case ENOENT:
    case ENOTDIR: return HRESULT_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR: return E_ACCESSDENIED;
    case ENOSPC:
    case EDQUOT: return HRESULT_DISK_FULL;
    default: return E_FAIL;
  }
}

// Writes a BMP file: the file header, then the bitmap (info header and rows) as it stands. The
// picture goes to a temporary file beside the target first and is then renamed over it, so that
// a failed write leaves the previous file whole. A target that is a symbolic link is written
// through: the file it names is replaced and the link stays; but a link that another user left in
// a shared folder (sticky, writable by all) is refused with E_ACCESSDENIED. Only a regular file (or a new name)
// is a target: a device, a FIFO or a folder is refused with E_INVALIDARG and never replaced, and
// so is the movie the detector reads (movie: its device and inode).
HRESULT WriteBmpFile(const std::string& path, const std::vector<uint8_t>& bitmap, const struct stat* movie) {
  uint8_t fileHeader[14] = {'B', 'M'};
  const uint32_t total = static_cast<uint32_t>(sizeof fileHeader + bitmap.size());
  const uint32_t offBits = static_cast<uint32_t>(sizeof fileHeader + sizeof(BITMAPINFOHEADER));
  for (int i = 0; i < 4; ++i) {
    fileHeader[2 + i] = static_cast<uint8_t>(total >> (8 * i));
    fileHeader[10 + i] = static_cast<uint8_t>(offBits >> (8 * i));
  }
  std::string target;
  try {
    // A link planted by another user in a shared folder is not followed (70).
    target = ResolveLinksForWriting(path);
  } catch (const VBError& e) {
    return e.Number() == vbErrPermissionDenied ? E_ACCESSDENIED : E_INVALIDARG;  // or links in a loop
  }
  struct stat existing;
  const bool exists = ::stat(target.c_str(), &existing) == 0;
  if (!exists && errno != ENOENT) return ErrnoResult(errno);
  if (exists && !S_ISREG(existing.st_mode)) return E_INVALIDARG;
  if (exists && movie && existing.st_dev == movie->st_dev && existing.st_ino == movie->st_ino) return E_INVALIDARG;

  // A new file of its own beside the target (made exclusively, never through a link).
  std::string temp;
  int fd = -1;
  try {
    const size_t slash = target.rfind('/');
    temp = NewSideFile(target.substr(0, slash == std::string::npos ? 0 : slash + 1) + "." +
                       target.substr(slash == std::string::npos ? 0 : slash + 1) + ".part-");
    fd = ::open(temp.c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
      const int err = errno;
      std::remove(temp.c_str());
      return ErrnoResult(err);
    }
  } catch (const VBError& e) {
    if (e.Number() == vbErrPathNotFound) return ErrnoResult(ENOENT);
    return e.Number() == vbErrDiskFull ? ErrnoResult(ENOSPC) : E_ACCESSDENIED;
  }
  ::fchmod(fd, exists ? (existing.st_mode & 07777) : static_cast<mode_t>(NewFilePermissions()));
  FILE* f = ::fdopen(fd, "wb");
  if (!f) {
    const int err = errno;
    ::close(fd);
    std::remove(temp.c_str());
    return ErrnoResult(err);
  }
  bool ok = std::fwrite(fileHeader, 1, sizeof fileHeader, f) == sizeof fileHeader &&
            std::fwrite(bitmap.data(), 1, bitmap.size(), f) == bitmap.size();
  int err = ok ? 0 : errno;
  if (std::fclose(f) != 0 && ok) {
    ok = false;
    err = errno;
  }
  if (ok && std::rename(temp.c_str(), target.c_str()) != 0) {
    ok = false;
    err = errno;
  }
  if (!ok) {
    std::remove(temp.c_str());
    return ErrnoResult(err);
  }
  return S_OK;
}

class MediaDet final : public DispatchObject<IMediaDet> {
 public:
  MediaDet() : DispatchObject(LIBID_DexterLib, 1, 0, IMediaDet::iid) {
    Dispatch()
        .Get(kDispOutputStreams, [this](DispatchArgs&) {
          LONG n = 0;
          Check(get_OutputStreams(&n));
          return Variant(n);
        })
        .Get(kDispCurrentStream, [this](DispatchArgs&) {
          LONG n = 0;
          Check(get_CurrentStream(&n));
          return Variant(n);
        })
        .Put(kDispCurrentStream, [this](DispatchArgs& a) {
          Check(put_CurrentStream(a.Long(0)));
          return Variant();
        })
        .Get(kDispStreamTypeB, [this](DispatchArgs&) {
          Bstr type;
          Check(get_StreamTypeB(&type));
          return Variant(type);
        })
        .Get(kDispStreamLength, [this](DispatchArgs&) {
          double v = 0;
          Check(get_StreamLength(&v));
          return Variant(v);
        })
        .Get(kDispFilename, [this](DispatchArgs&) {
          Bstr name;
          Check(get_Filename(&name));
          return Variant(name);
        })
        .Put(kDispFilename, [this](DispatchArgs& a) {
          Check(put_Filename(a.BString(0)));
          return Variant();
        })
        .Method(kDispWriteBitmapBits, [this](DispatchArgs& a) {
          Check(WriteBitmapBits(a.Double(0), a.Long(1), a.Long(2), a.BString(3)));
          return Variant();
        })
        .Get(kDispFrameRate, [this](DispatchArgs&) {
          double v = 0;
          Check(get_FrameRate(&v));
          return Variant(v);
        })
        .Method(kDispEnterBitmapGrabMode, [this](DispatchArgs& a) {
          Check(EnterBitmapGrabMode(a.Double(0)));
          return Variant();
        });
  }

  HRESULT get_OutputStreams(LONG* count) override {
    if (!count) return E_POINTER;
    std::lock_guard lock(m_);
    if (!open_) return E_INVALIDARG;
    *count = static_cast<LONG>(reader_.Streams().size());
    return S_OK;
  }

  HRESULT get_CurrentStream(LONG* index) override {
    if (!index) return E_POINTER;
    std::lock_guard lock(m_);
    *index = current_;
    return S_OK;
  }

  HRESULT put_CurrentStream(LONG index) override {
    std::lock_guard lock(m_);
    if (!open_ || index < 0 || static_cast<size_t>(index) >= reader_.Streams().size())
      return E_INVALIDARG;
    current_ = index;
    return S_OK;
  }

  HRESULT get_StreamType(GUID* majorType) override {
    if (!majorType) return E_POINTER;
    std::lock_guard lock(m_);
    if (HRESULT hr = CheckStream(); FAILED(hr)) return hr;
    *majorType = reader_.Streams()[current_].video ? MEDIATYPE_Video : MEDIATYPE_Audio;
    return S_OK;
  }

  HRESULT get_StreamTypeB(Bstr* majorType) override {
    if (!majorType) return E_POINTER;
    GUID type;
    if (HRESULT hr = get_StreamType(&type); FAILED(hr)) return hr;
    *majorType = Bstr(GuidToString(type));
    return S_OK;
  }

  HRESULT get_StreamLength(double* seconds) override {
    if (!seconds) return E_POINTER;
    std::lock_guard lock(m_);
    if (HRESULT hr = CheckStream(); FAILED(hr)) return hr;
    *seconds = reader_.Length(static_cast<size_t>(current_));
    return S_OK;
  }

  HRESULT get_Filename(Bstr* path) override {
    if (!path) return E_POINTER;
    std::lock_guard lock(m_);
    *path = filename_;
    return S_OK;
  }

  HRESULT put_Filename(const Bstr& path) override {
    std::lock_guard lock(m_);
    open_ = false;
    current_ = 0;
    filename_ = Bstr();
    const HRESULT hr = reader_.Open(path.Utf8());
    if (FAILED(hr)) return hr;
    // The movie itself is never a target of WriteBitmapBits (by any of its names).
    movieKnown_ = ::stat(path.Utf8().c_str(), &movie_) == 0;
    open_ = true;
    filename_ = path;
    return S_OK;
  }

  HRESULT GetBitmapBits(double streamTime, LONG* bufferSize, char* buffer, LONG width,
                        LONG height) override {
    std::lock_guard lock(m_);
    if (!open_) return E_INVALIDARG;
    if (HRESULT hr = MediaReader::CheckBitmapSize(width, height); FAILED(hr)) return hr;
    const size_t needed = MediaReader::BitmapSize(width, height);
    if (!buffer) {
      if (!bufferSize) return E_POINTER;
      *bufferSize = static_cast<LONG>(needed);
      return S_OK;
    }
    if (bufferSize && (*bufferSize < 0 || static_cast<size_t>(*bufferSize) < needed))
      return E_INVALIDARG;
    return reader_.GetBitmap(streamTime, width, height, reinterpret_cast<uint8_t*>(buffer));
  }

  HRESULT WriteBitmapBits(double streamTime, LONG width, LONG height, const Bstr& path) override {
    std::lock_guard lock(m_);
    if (!open_) return E_INVALIDARG;
    if (HRESULT hr = MediaReader::CheckBitmapSize(width, height); FAILED(hr)) return hr;
    if (path.Length() == 0) return E_INVALIDARG;
    std::vector<uint8_t> bitmap(MediaReader::BitmapSize(width, height));
    if (HRESULT hr = reader_.GetBitmap(streamTime, width, height, bitmap.data()); FAILED(hr))
      return hr;
    return WriteBmpFile(path.Utf8(), bitmap, movieKnown_ ? &movie_ : nullptr);
  }

  HRESULT get_StreamMediaType(AM_MEDIA_TYPE* type) override {
    if (!type) return E_POINTER;
    std::lock_guard lock(m_);
    if (HRESULT hr = CheckStream(); FAILED(hr)) return hr;
    return reader_.MediaTypeOf(static_cast<size_t>(current_), type);
  }

  HRESULT get_FrameRate(double* rate) override {
    if (!rate) return E_POINTER;
    std::lock_guard lock(m_);
    if (HRESULT hr = CheckStream(); FAILED(hr)) return hr;
    *rate = reader_.FrameRate(static_cast<size_t>(current_));
    return S_OK;
  }

  HRESULT EnterBitmapGrabMode(double seekTime) override {
    std::lock_guard lock(m_);
    if (!open_) return E_INVALIDARG;
    return reader_.Seek(seekTime);
  }

 private:
  HRESULT CheckStream() const {
    if (!open_ || current_ < 0 || static_cast<size_t>(current_) >= reader_.Streams().size())
      return E_INVALIDARG;
    return S_OK;
  }

  std::mutex m_;
  MediaReader reader_;
  Bstr filename_;
  LONG current_ = 0;
  bool open_ = false;
  struct stat movie_ {};
  bool movieKnown_ = false;
};

}  // namespace

void RegisterMediaDetClass() {
  static std::once_flag once;
  std::call_once(once, [] {
    PublishDescription();
    RegisterPlatformClass(CLSID_MediaDet, "DexterLib.MediaDet",
                          [](IUnknown* outer, REFIID riid, void** ppv) -> HRESULT {
                            if (!ppv) return E_POINTER;
                            *ppv = nullptr;
                            if (outer) return CLASS_E_NOAGGREGATION;
                            try {
                              ComPtr<MediaDet> det = MakeComObject<MediaDet>();
                              return det->QueryInterface(riid, ppv);
                            } catch (const std::bad_alloc&) {
                              return E_OUTOFMEMORY;
                            } catch (const std::exception&) {
                              return E_FAIL;
                            }
                          });
  });
}

// The class is there as soon as the library is loaded.
extern const bool des_detail::kMediaDetClassRegistered = (RegisterMediaDetClass(), true);
