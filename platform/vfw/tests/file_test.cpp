// Opening files and streams: result codes for bad files, reference counts, AVIFileInit
// counting, compressors by FOURCC and the frame sizes they refuse.
#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>

#include "dshow/encoders.h"
#include "hang_guard.h"
#include "registry/registry.h"
#include "vfw_test_util.h"

using namespace vfw_test;
using fixtures::Kind;

namespace {

TEST(Init, IsCounted) {
  const int start = vfw::InitCount();
  AVIFileInit();
  AVIFileInit();
  EXPECT_EQ(vfw::InitCount(), start + 2);
  AVIFileExit();
  EXPECT_EQ(vfw::InitCount(), start + 1);
  AVIFileExit();
  EXPECT_EQ(vfw::InitCount(), start);
  for (int i = 0; i < start + 1; ++i) AVIFileExit();  // one more than was initialised
  EXPECT_EQ(vfw::InitCount(), 0);
}

struct BadFile {
  const char* name;
  std::string path;
  HRESULT expected;
};

TEST(Open, BadFilesGetTheirCodes) {
  const std::string folder = Folder("bad");
  const std::string fifo = folder + "/fifo.avi";
  ::unlink(fifo.c_str());
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  HangGuard guard("opening a FIFO or a device as an AVI file");
  const BadFile cases[] = {
      {"missing", folder + "/none.avi", AVIERR_FILEOPEN},
      {"folder", folder, AVIERR_FILEOPEN},
      {"fifo", fifo, AVIERR_FILEOPEN},
      {"device", "/dev/zero", AVIERR_FILEOPEN},
      {"empty", Fixture(Kind::EmptyFile), AVIERR_BADFORMAT},
      {"text", Fixture(Kind::TextAsAvi), AVIERR_BADFORMAT},
      {"wave", Fixture(Kind::Wav), AVIERR_BADFORMAT},
      {"mpeg", Fixture(Kind::Mpeg1Ps), AVIERR_BADFORMAT},
      {"quicktime", Fixture(Kind::Mov), AVIERR_BADFORMAT},
  };
  for (const BadFile& c : cases) {
    PAVIFILE file = reinterpret_cast<PAVIFILE>(&file);
    EXPECT_EQ(AVIFileOpen(&file, c.path.c_str(), OF_SHARE_DENY_WRITE, nullptr), c.expected) << c.name;
    EXPECT_EQ(file, nullptr) << c.name;
  }
  PAVIFILE file = nullptr;
  EXPECT_EQ(AVIFileOpen(&file, Fixture(Kind::AviMjpegPcm).c_str(), OF_WRITE | OF_CREATE, nullptr),
            AVIERR_READONLY);
}

// A file cut at every length from its header on opens or is refused, never crashes or hangs;
// what opens can be saved.
TEST(Open, ACutFileNeverCrashes) {
  const std::vector<uint8_t> whole = fixtures::ReadFile(Fixture(Kind::AviMjpegPcm));
  const std::string folder = Folder("cut");
  const std::string path = folder + "/cut.avi";
  int opened = 0;
  for (size_t length = 0; length < whole.size(); length += std::max<size_t>(1, whole.size() / 40)) {
    { std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(whole.data()), static_cast<std::streamsize>(length)); }
    Source s(path);
    if (s.status != AVIERR_OK) {
      EXPECT_TRUE(s.status == AVIERR_BADFORMAT || s.status == AVIERR_NODATA) << length;
      continue;
    }
    ++opened;
    AVICOMPRESSOPTIONS o = OptionsFor(MakeAviFourCC('M', 'J', 'P', 'G'));
    PAVISTREAM compressed = nullptr;
    HRESULT hr = AVIMakeCompressedStream(&compressed, s.video, &o, nullptr);
    if (hr == AVIERR_OK) {
      const std::string out = folder + "/out.avi";
      hr = AVISaveV(out.c_str(), nullptr, {}, 1, &compressed, nullptr);
      EXPECT_TRUE(hr == AVIERR_OK || hr == AVIERR_NODATA) << length << " " << std::hex << hr;
      AVIStreamRelease(compressed);
    }
  }
  EXPECT_GT(opened, 0);
}

TEST(Open, ATruncatedFileOpensWithItsFrames) {
  const std::string target = Folder("truncated") + "/out.avi";
  ASSERT_EQ(Recompress(Fixture(Kind::TruncatedAvi), target, OptionsFor(MakeAviFourCC('M', 'J', 'P', 'G'))),
            AVIERR_OK);
  std::vector<int> numbers = fixtures::DecodedFrameNumbers(target);
  ASSERT_FALSE(numbers.empty());
  EXPECT_LT(static_cast<int>(numbers.size()), fixtures::FrameCount(SmallMovie()));
  for (size_t i = 0; i < numbers.size(); ++i) EXPECT_EQ(numbers[i], static_cast<int>(i));
}

uint32_t Le32(const uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24); }

std::vector<uint8_t> Riff(const char* outer, const char* type, const std::vector<uint8_t>& body) {
  std::vector<uint8_t> out(outer, outer + 4);
  const auto size = static_cast<uint32_t>(body.size() + 4);
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(size >> (8 * i)));
  out.insert(out.end(), type, type + 4);
  out.insert(out.end(), body.begin(), body.end());
  return out;
}

// An OpenDML file: the movie's headers, then its frames in two RIFF parts ("AVI " and "AVIX"),
// without the legacy index (the OpenDML index is blanked out, so the data itself is walked).
std::string OpenDmlCopy(const std::string& source) {
  const std::vector<uint8_t> b = fixtures::ReadFile(source);
  size_t movi = 0, moviEnd = 0;
  for (size_t pos = 12; pos + 12 <= b.size();) {
    const uint32_t size = Le32(&b[pos + 4]);
    if (std::memcmp(&b[pos], "LIST", 4) == 0 && std::memcmp(&b[pos + 8], "movi", 4) == 0) {
      movi = pos;
      moviEnd = pos + 8 + size;
      break;
    }
    pos += 8 + size + (size & 1);
  }
  EXPECT_GT(movi, 0u);
  std::vector<uint8_t> head(b.begin() + 12, b.begin() + static_cast<std::ptrdiff_t>(movi));
  for (size_t i = 0; i + 4 <= head.size(); ++i)
    if (std::memcmp(&head[i], "indx", 4) == 0) std::memcpy(&head[i], "JUNK", 4);
  std::vector<std::vector<uint8_t>> chunks;
  for (size_t pos = movi + 12; pos + 8 <= moviEnd;) {
    const uint32_t size = Le32(&b[pos + 4]);
    const size_t end = pos + 8 + size + (size & 1);
    if (!(b[pos] == 'i' && b[pos + 1] == 'x')) chunks.emplace_back(b.begin() + static_cast<std::ptrdiff_t>(pos), b.begin() + static_cast<std::ptrdiff_t>(end));
    pos = end;
  }
  auto join = [&](size_t from, size_t to) {
    std::vector<uint8_t> out;
    for (size_t i = from; i < to; ++i) out.insert(out.end(), chunks[i].begin(), chunks[i].end());
    return out;
  };
  std::vector<uint8_t> first = head;
  const std::vector<uint8_t> movi1 = Riff("LIST", "movi", join(0, chunks.size() / 2));
  first.insert(first.end(), movi1.begin(), movi1.end());
  std::vector<uint8_t> file = Riff("RIFF", "AVI ", first);
  const std::vector<uint8_t> second = Riff("RIFF", "AVIX", Riff("LIST", "movi", join(chunks.size() / 2, chunks.size())));
  file.insert(file.end(), second.begin(), second.end());
  const std::string path = Folder("opendml") + "/opendml.avi";
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
  return path;
}

TEST(Open, AnOpenDmlFileGivesTheFramesOfEveryPart) {
  const std::string source = OpenDmlCopy(Fixture(Kind::AviMjpegPcm));
  const int n = fixtures::FrameCount(SmallMovie());
  {
    Source s(source);
    ASSERT_EQ(s.status, AVIERR_OK);
    AVISTREAMINFO info;
    ASSERT_EQ(AVIStreamInfo(s.video, &info, sizeof info), AVIERR_OK);
    EXPECT_EQ(info.dwLength, static_cast<uint32_t>(n));
  }
  const std::string target = fixtures::ScratchFolder("opendml") + "/out.avi";
  ASSERT_EQ(Recompress(source, target, OptionsFor(MakeAviFourCC('F', 'M', 'P', '4'))), AVIERR_OK);
  std::vector<int> expected(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) expected[static_cast<size_t>(i)] = i;
  EXPECT_EQ(fixtures::DecodedFrameNumbers(target), expected);
}

TEST(Open, AnIndexPointingOutsideTheFileIsRefused) {
  PAVIFILE file = nullptr;
  EXPECT_EQ(AVIFileOpen(&file, Fixture(Kind::AviDamagedIndex).c_str(), OF_SHARE_DENY_WRITE, nullptr),
            AVIERR_BADFORMAT);
  EXPECT_EQ(file, nullptr);
}

TEST(Streams, AreFoundByTypeAndIndex) {
  Source s(Fixture(Kind::AviMjpegPcm));
  ASSERT_EQ(s.status, AVIERR_OK);
  AVISTREAMINFO info;
  ASSERT_EQ(AVIStreamInfo(s.video, &info, sizeof info), AVIERR_OK);
  EXPECT_EQ(info.fccType, streamtypeVIDEO);
  EXPECT_EQ(info.fccHandler, MakeAviFourCC('M', 'J', 'P', 'G'));
  EXPECT_EQ(info.dwRate / info.dwScale, 25u);
  EXPECT_EQ(info.dwLength, static_cast<uint32_t>(fixtures::FrameCount(SmallMovie())));
  EXPECT_EQ(info.width, 160);
  PAVISTREAM audio = nullptr;
  ASSERT_EQ(AVIFileGetStream(s.file, &audio, streamtypeAUDIO, 0), AVIERR_OK);
  ASSERT_EQ(AVIStreamInfo(audio, &info, sizeof info), AVIERR_OK);
  EXPECT_EQ(info.fccType, streamtypeAUDIO);
  AVIStreamRelease(audio);
  PAVISTREAM none = reinterpret_cast<PAVISTREAM>(&none);
  EXPECT_EQ(AVIFileGetStream(s.file, &none, streamtypeVIDEO, 1), AVIERR_NODATA);
  EXPECT_EQ(none, nullptr);
  EXPECT_EQ(AVIFileGetStream(s.file, &none, streamtypeTEXT, 0), AVIERR_NODATA);
}

TEST(Release, AnswersTheRemainingCount) {
  PAVIFILE file = nullptr;
  ASSERT_EQ(AVIFileOpen(&file, Fixture(Kind::AviMjpegPcm).c_str(), OF_SHARE_DENY_WRITE, nullptr), AVIERR_OK);
  PAVISTREAM video = nullptr;
  ASSERT_EQ(AVIFileGetStream(file, &video, streamtypeVIDEO, 0), AVIERR_OK);
  AVICOMPRESSOPTIONS o = OptionsFor(MakeAviFourCC('M', 'J', 'P', 'G'));
  PAVISTREAM compressed = nullptr;
  ASSERT_EQ(AVIMakeCompressedStream(&compressed, video, &o, nullptr), AVIERR_OK);
  EXPECT_EQ(AVIFileRelease(file), 1u);        // the stream holds the file
  EXPECT_EQ(AVIStreamRelease(video), 1u);     // the compressed stream holds its source
  EXPECT_EQ(AVIStreamRelease(compressed), 0u);
  EXPECT_EQ(AVIFileRelease(nullptr), 0u);
  EXPECT_EQ(AVIStreamRelease(nullptr), 0u);
}

TEST(Compressors, AreMatchedByFourCCWithoutRegardToCase) {
  Source s(Fixture(Kind::AviMjpegPcm));
  ASSERT_EQ(s.status, AVIERR_OK);
  struct Case {
    uint32_t fourcc;
    HRESULT expected;
  };
  const Case cases[] = {
      {MakeAviFourCC('f', 'm', 'p', '4'), AVIERR_OK},
      {MakeAviFourCC('M', 'J', 'P', 'G'), AVIERR_OK},
      {MakeAviFourCC('m', 'j', 'p', 'g'), AVIERR_OK},
      {comptypeDIB, AVIERR_OK},
      {MakeAviFourCC('X', 'Y', 'Z', 'W'), AVIERR_NOCOMPRESSOR},
      {MakeAviFourCC('I', 'V', '5', '0'), AVIERR_NOCOMPRESSOR},
  };
  for (const Case& c : cases) {
    AVICOMPRESSOPTIONS o = OptionsFor(c.fourcc);
    PAVISTREAM compressed = nullptr;
    EXPECT_EQ(AVIMakeCompressedStream(&compressed, s.video, &o, nullptr), c.expected) << FourCCText(c.fourcc);
    AVISTREAMINFO info;
    if (compressed) {
      ASSERT_EQ(AVIStreamInfo(compressed, &info, sizeof info), AVIERR_OK);
      EXPECT_EQ(info.fccHandler == comptypeDIB ? comptypeDIB : info.fccHandler | 0x20202020u,
                c.fourcc == comptypeDIB ? comptypeDIB : c.fourcc | 0x20202020u);
    }
    AVIStreamRelease(compressed);
  }
  // An audio stream has no video compressor.
  PAVISTREAM audio = nullptr;
  ASSERT_EQ(AVIFileGetStream(s.file, &audio, streamtypeAUDIO, 0), AVIERR_OK);
  AVICOMPRESSOPTIONS o = OptionsFor(MakeAviFourCC('M', 'J', 'P', 'G'));
  PAVISTREAM compressed = nullptr;
  EXPECT_EQ(AVIMakeCompressedStream(&compressed, audio, &o, nullptr), AVIERR_NOCOMPRESSOR);
  AVIStreamRelease(audio);
}

TEST(Compressors, AFrameSizeTheCodecRefusesGivesCantCompress) {
  bool haveVideo1 = false;
  for (const auto& c : dshow::Compressors()) haveVideo1 |= c.fourcc == MakeAviFourCC('M', 'S', 'V', 'C');
  if (!haveVideo1) GTEST_SKIP() << "no msvideo1 encoder in this FFmpeg";
  fixtures::Options odd = SmallMovie();
  odd.width = 162;  // the MSVC coder codes whole 4x4 blocks only
  odd.height = 122;
  Source s(Fixture(Kind::AviRgb, odd));
  ASSERT_EQ(s.status, AVIERR_OK);
  AVICOMPRESSOPTIONS o = OptionsFor(MakeAviFourCC('M', 'S', 'V', 'C'));
  PAVISTREAM compressed = nullptr;
  EXPECT_EQ(AVIMakeCompressedStream(&compressed, s.video, &o, nullptr), AVIERR_CANTCOMPRESS);
  EXPECT_EQ(compressed, nullptr);
  o = OptionsFor(MakeAviFourCC('M', 'J', 'P', 'G'));
  EXPECT_EQ(AVIMakeCompressedStream(&compressed, s.video, &o, nullptr), AVIERR_OK);
  AVIStreamRelease(compressed);
}

// The registration module of the program folder, loaded as regsvr loads it.
TEST(DriverList, RegistrationAddsAndRemovesExactlyItsValues) {
  const char* bin = std::getenv("SUITE_BIN_DIR");
  ASSERT_NE(bin, nullptr);
  void* module = dlopen((std::string(bin) + "/VfwDrivers.so").c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(module, nullptr) << dlerror();
  using Entry = HRESULT (*)();
  auto reg = reinterpret_cast<Entry>(dlsym(module, "DllRegisterServer"));
  auto unreg = reinterpret_cast<Entry>(dlsym(module, "DllUnregisterServer"));
  ASSERT_TRUE(reg && unreg);

  const std::string key = vfw::kDriversKey;
  registry::DeleteTree(HKEY_LOCAL_MACHINE, key);
  EXPECT_EQ(unreg(), S_OK);  // no key: nothing to remove
  EXPECT_FALSE(registry::KeyExists(HKEY_LOCAL_MACHINE, key));
  // Another driver's values, one of them for a code the platform also has.
  ASSERT_TRUE(registry::WriteString(HKEY_LOCAL_MACHINE, key, "msacm.other", "other.acm"));
  ASSERT_TRUE(registry::WriteString(HKEY_LOCAL_MACHINE, key, "vidc.MJPG", "someone else's"));
  auto values = [&] {
    std::map<std::string, std::string> out;
    HKEY k = 0;
    if (RegOpenKeyEx(HKEY_LOCAL_MACHINE, key, 0, KEY_READ, &k) != ERROR_SUCCESS) return out;
    for (DWORD i = 0;; ++i) {
      char name[256];
      DWORD len = sizeof name;
      if (RegEnumValue(k, i, name, &len, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
      out[name] = registry::ReadString(HKEY_LOCAL_MACHINE, key, name).value_or("?");
    }
    RegCloseKey(k);
    return out;
  };
  const auto before = values();

  ASSERT_EQ(reg(), S_OK);
  std::map<std::string, std::string> expected = before;
  for (const auto& c : dshow::Compressors())
    if (c.category == CLSID_VideoCompressorCategory && c.fourcc != MakeAviFourCC('M', 'J', 'P', 'G'))
      expected["vidc." + FourCCText(c.fourcc)] = Utf16ToUtf8(c.name);
  EXPECT_EQ(values(), expected);
  EXPECT_EQ(values().count("vidc.FMP4"), 1u);

  ASSERT_EQ(unreg(), S_OK);
  EXPECT_EQ(values(), before);
  dlclose(module);
}

}  // namespace
