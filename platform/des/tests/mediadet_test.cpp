// The media detector on generated media: stream description, frame grabbing (exact frames,
// stepping, the last frame), bitmap files, late binding and bad input.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "com/com.h"
#include "com/dispatch.h"
#include "core/error.h"
#include "des/mediadet.h"
#include "fixtures.h"

namespace {

namespace fs = std::filesystem;
using fixtures::Kind;

const std::string kVideo = "{73646976-0000-0010-8000-00AA00389B71}";
const std::string kAudio = "{73647561-0000-0010-8000-00AA00389B71}";

class MediaDetTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    folder_ = new std::string(fixtures::ScratchFolder("mediadet"));
    paths_ = new std::map<Kind, std::string>;
    for (Kind k : fixtures::AllKinds()) (*paths_)[k] = fixtures::Make(k, *folder_);
  }
  static void TearDownTestSuite() {
    delete paths_;
    delete folder_;
    paths_ = nullptr;
    folder_ = nullptr;
  }
  static const std::string& Path(Kind k) { return paths_->at(k); }
  static const std::string& Folder() { return *folder_; }

  static ComPtr<IMediaDet> NewDetector() {
    ComPtr<IMediaDet> det;
    EXPECT_EQ(CoCreateInstance(CLSID_MediaDet, nullptr, CLSCTX_INPROC_SERVER, IMediaDet::iid,
                               det.put_void()),
              S_OK);
    return det;
  }
  static ComPtr<IMediaDet> Open(const std::string& path) {
    ComPtr<IMediaDet> det = NewDetector();
    EXPECT_EQ(det->put_Filename(Bstr(path)), S_OK) << path;
    return det;
  }

  // Grabs the frame at time t at the given size and reads its frame number.
  static int GrabNumber(IMediaDet* det, double t, int width, int height, HRESULT* hr = nullptr) {
    LONG size = 0;
    EXPECT_EQ(det->GetBitmapBits(t, &size, nullptr, width, height), S_OK);
    std::vector<char> buffer(static_cast<size_t>(size));
    const HRESULT got = det->GetBitmapBits(t, &size, buffer.data(), width, height);
    if (hr) *hr = got;
    if (FAILED(got)) return -2;
    return NumberOfDib(reinterpret_cast<const uint8_t*>(buffer.data()), width, height);
  }

  static int NumberOfDib(const uint8_t* dib, int width, int height) {
    const int stride = DibStride(width, 24);
    const uint8_t* bits = dib + sizeof(BITMAPINFOHEADER);
    // Bottom-up rows: the picture's top row is stored last.
    return fixtures::ReadFrameNumber(bits + static_cast<size_t>(stride) * (height - 1), -stride,
                                     width, height);
  }

  static std::string* folder_;
  static std::map<Kind, std::string>* paths_;
};
std::string* MediaDetTest::folder_ = nullptr;
std::map<Kind, std::string>* MediaDetTest::paths_ = nullptr;

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  ASSERT_TRUE(out.good()) << path;
}

uint32_t Le32(const uint8_t* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// ---------------------------------------------------------------------------------------------
// Stream description

struct ProbeCase {
  Kind kind;
  std::vector<std::string> types;  // major type text of each stream, in order
  double videoLength;              // seconds; ignored without video
  double videoTolerance;
  double audioLength;              // seconds; ignored without sound
  double audioTolerance;
  uint32_t fourcc;                 // expected video FOURCC (biCompression); 0: not checked
};

const ProbeCase kProbeCases[] = {
    {Kind::AviMjpegPcm, {kVideo, kAudio}, 1.0, 1e-9, 1.0, 0.03, MakeFourCC('M', 'J', 'P', 'G')},
    {Kind::AviRgb, {kVideo, kAudio}, 1.0, 1e-9, 1.0, 0.03, BI_RGB},
    {Kind::AviDiv3, {kVideo, kAudio}, 1.0, 1e-9, 1.0, 0.08, MakeFourCC('D', 'I', 'V', '3')},
    {Kind::AviMp43, {kVideo, kAudio}, 1.0, 1e-9, 1.0, 0.08, MakeFourCC('M', 'P', '4', '3')},
    {Kind::AviDx50, {kVideo, kAudio}, 1.0, 1e-9, 1.0, 0.08, MakeFourCC('D', 'X', '5', '0')},
    {Kind::Mpeg1Ps, {kVideo, kAudio}, 1.0, 0.041, 1.0, 0.1, 0},
    {Kind::Mov, {kVideo, kAudio}, 1.0, 1e-6, 1.0, 0.03, 0},
    {Kind::Mp4, {kVideo, kAudio}, 1.0, 1e-6, 1.0, 0.05, 0},
    {Kind::Wav, {kAudio}, 0, 0, 1.0, 1e-3, 0},
    {Kind::Mp3, {kAudio}, 0, 0, 1.0, 0.08, 0},
    {Kind::Bmp, {kVideo}, 0, 0, 0, 0, 0},
    {Kind::Jpeg, {kVideo}, 0, 0, 0, 0, 0},
    {Kind::Gif, {kVideo}, 0, 0, 0, 0, 0},
};

TEST_F(MediaDetTest, DescribesTheStreamsOfEveryKindOfFile) {
  for (const ProbeCase& c : kProbeCases) {
    SCOPED_TRACE(fixtures::Name(c.kind));
    ComPtr<IMediaDet> det = Open(Path(c.kind));
    Bstr name;
    ASSERT_EQ(det->get_Filename(&name), S_OK);
    EXPECT_EQ(name.Utf8(), Path(c.kind));
    LONG count = -1;
    ASSERT_EQ(det->get_OutputStreams(&count), S_OK);
    ASSERT_EQ(count, static_cast<LONG>(c.types.size()));
    const bool still = fixtures::IsStill(c.kind);
    for (LONG i = 0; i < count; ++i) {
      SCOPED_TRACE(i);
      ASSERT_EQ(det->put_CurrentStream(i), S_OK);
      LONG current = -1;
      EXPECT_EQ(det->get_CurrentStream(&current), S_OK);
      EXPECT_EQ(current, i);
      Bstr typeText;
      ASSERT_EQ(det->get_StreamTypeB(&typeText), S_OK);
      EXPECT_EQ(typeText.Utf8(), c.types[i]);
      GUID major;
      ASSERT_EQ(det->get_StreamType(&major), S_OK);
      EXPECT_EQ(GuidToString(major), c.types[i]);

      const bool video = c.types[i] == kVideo;
      double length = -1, rate = -1;
      ASSERT_EQ(det->get_StreamLength(&length), S_OK);
      ASSERT_EQ(det->get_FrameRate(&rate), S_OK);
      if (still) {
        EXPECT_EQ(length, 0);
        EXPECT_EQ(rate, 0);
      } else if (video) {
        EXPECT_NEAR(length, c.videoLength, c.videoTolerance);
        EXPECT_DOUBLE_EQ(rate, 25.0);
      } else {
        EXPECT_NEAR(length, c.audioLength, c.audioTolerance);
        EXPECT_EQ(rate, 0);
      }

      MediaType mt;
      ASSERT_EQ(det->get_StreamMediaType(&mt), S_OK);
      EXPECT_EQ(mt.majortype, major);
      if (video) {
        const VIDEOINFOHEADER* vih = VideoInfo(mt);
        ASSERT_NE(vih, nullptr);
        EXPECT_EQ(vih->bmiHeader.biWidth, 160);
        // A negative height says the stored rows run top-down (the uncompressed fixture's do).
        EXPECT_EQ(vih->bmiHeader.biHeight, c.kind == fixtures::Kind::AviRgb ? -120 : 120);
        if (!still) {
          EXPECT_EQ(vih->AvgTimePerFrame, 400000);
        }
        if (c.fourcc) {
          EXPECT_EQ(vih->bmiHeader.biCompression, c.fourcc);
        }
        if (c.fourcc && c.fourcc != BI_RGB) {
          EXPECT_EQ(mt.subtype, FourCCSubtype(c.fourcc));
        }
      } else {
        const WAVEFORMATEX* wfx = WaveFormat(mt);
        ASSERT_NE(wfx, nullptr);
        EXPECT_EQ(wfx->nSamplesPerSec, 44100u);
        EXPECT_EQ(wfx->nChannels, 2);
        EXPECT_NE(wfx->wFormatTag, 0);
        EXPECT_EQ(mt.subtype, FourCCSubtype(wfx->wFormatTag));
      }
    }
  }
}

// The detector's count of frames (length x rate) agrees with an independent count.
TEST_F(MediaDetTest, FrameCountAgreesWithFfprobe) {
  for (Kind k : {Kind::AviMjpegPcm, Kind::AviDiv3, Kind::AviDx50, Kind::Mpeg1Ps, Kind::Mov,
                 Kind::Mp4}) {
    SCOPED_TRACE(fixtures::Name(k));
    const fixtures::Probe probe = fixtures::RunFfprobe(Path(k));
    ASSERT_TRUE(probe.ok) << probe.error;
    const fixtures::ProbedStream* v = probe.First("video");
    ASSERT_NE(v, nullptr);
    ComPtr<IMediaDet> det = Open(Path(k));
    double length = 0, rate = 0;
    ASSERT_EQ(det->get_StreamLength(&length), S_OK);
    ASSERT_EQ(det->get_FrameRate(&rate), S_OK);
    EXPECT_EQ(std::lround(length * rate), v->frames);
  }
}

// An 8-second movie of 200 frames, in each container: its length is 200 frames' time, and no
// more (the frame count is length x rate). MPEG streams stamp only some of their pictures.
TEST_F(MediaDetTest, LengthOfALongerMovieIsThatOfItsFrames) {
  fixtures::Options o;
  o.seconds = 8.0;
  for (Kind k : {Kind::AviMjpegPcm, Kind::AviMpeg4BFrames, Kind::Mpeg1Ps, Kind::Mpeg2Ps, Kind::MpegTs}) {
    SCOPED_TRACE(fixtures::Name(k));
    const std::string path = fixtures::Make(k, Folder(), o);
    const fixtures::Probe probe = fixtures::RunFfprobe(path);
    ASSERT_TRUE(probe.ok) << probe.error;
    ASSERT_NE(probe.First("video"), nullptr);
    EXPECT_EQ(probe.First("video")->frames, 200);
    ComPtr<IMediaDet> det = Open(path);
    double length = 0, rate = 0;
    ASSERT_EQ(det->get_StreamLength(&length), S_OK);
    ASSERT_EQ(det->get_FrameRate(&rate), S_OK);
    EXPECT_DOUBLE_EQ(rate, 25.0);
    EXPECT_NEAR(length, 8.0, 0.5 / 25) << "frames " << length * rate;
    EXPECT_EQ(std::lround(length * rate), 200);
  }
}

TEST_F(MediaDetTest, OtherFrameRatesAndSizes) {
  struct Case {
    Kind kind;
    fixtures::Options options;
  };
  const Case cases[] = {
      {Kind::AviMjpegPcm, {192, 144, 30, 2.0, true}},
      {Kind::Mp4, {176, 144, 15, 2.0, false}},
      {Kind::Mpeg1Ps, {160, 120, 30, 2.0, false}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(fixtures::Name(c.kind) + " " + std::to_string(c.options.fps));
    const std::string path = fixtures::Make(c.kind, Folder(), c.options);
    ComPtr<IMediaDet> det = Open(path);
    LONG count = 0;
    ASSERT_EQ(det->get_OutputStreams(&count), S_OK);
    EXPECT_EQ(count, c.options.audio ? 2 : 1);
    double length = 0, rate = 0;
    ASSERT_EQ(det->get_StreamLength(&length), S_OK);
    ASSERT_EQ(det->get_FrameRate(&rate), S_OK);
    EXPECT_DOUBLE_EQ(rate, c.options.fps);
    EXPECT_EQ(std::lround(length * rate), fixtures::FrameCount(c.options));
    MediaType mt;
    ASSERT_EQ(det->get_StreamMediaType(&mt), S_OK);
    ASSERT_NE(VideoInfo(mt), nullptr);
    EXPECT_EQ(VideoInfo(mt)->bmiHeader.biWidth, c.options.width);
    EXPECT_EQ(VideoInfo(mt)->bmiHeader.biHeight, c.options.height);

    // Every frame n sits at n / rate, also with a rate whose frame times are not exact.
    const std::vector<int> decoded = fixtures::DecodedFrameNumbers(path);
    ASSERT_EQ(static_cast<int>(decoded.size()), fixtures::FrameCount(c.options));
    for (int n = 0; n < static_cast<int>(decoded.size()); ++n)
      ASSERT_EQ(GrabNumber(det.Get(), n / rate, c.options.width, c.options.height), decoded[n])
          << "frame " << n;
  }
}

// Names are file names: blanks, letters beyond ASCII and colons are parts of them, and a name
// that looks like a protocol does not reach anything but the file.
TEST_F(MediaDetTest, NamesAreFileNames) {
  const std::string odd = Folder() + "/Ferien am Öresund: été #1.avi";
  fs::copy_file(Path(Kind::AviMjpegPcm), odd, fs::copy_options::overwrite_existing);
  ComPtr<IMediaDet> det = Open(odd);
  LONG count = 0;
  ASSERT_EQ(det->get_OutputStreams(&count), S_OK);
  EXPECT_EQ(count, 2);
  const std::string bmp = Folder() + "/Vorschau é.bmp";
  EXPECT_EQ(det->WriteBitmapBits(0, 32, 24, Bstr(bmp)), S_OK);
  EXPECT_TRUE(fs::exists(bmp));

  // A file whose name reads like a protocol is that file, and a protocol that is no file is
  // nothing.
  const std::string cwd = fs::current_path().string();
  fs::current_path(Folder());
  fs::copy_file(Path(Kind::Wav), "concat:x.wav", fs::copy_options::overwrite_existing);
  ComPtr<IMediaDet> local = NewDetector();
  EXPECT_EQ(local->put_Filename(Bstr("concat:x.wav")), S_OK);
  EXPECT_EQ(local->put_Filename(Bstr("concat:" + Path(Kind::Wav) + "|" + Path(Kind::Wav))),
            HRESULT_FILE_NOT_FOUND);
  EXPECT_EQ(local->put_Filename(Bstr("http://localhost:1/clip.avi")), HRESULT_FILE_NOT_FOUND);
  fs::current_path(cwd);
}

// ---------------------------------------------------------------------------------------------
// Frame grabbing

const Kind kMovies[] = {Kind::AviMjpegPcm, Kind::AviRgb, Kind::AviDiv3, Kind::AviMp43,
                        Kind::AviDx50, Kind::Mpeg1Ps, Kind::Mov, Kind::Mp4};

TEST_F(MediaDetTest, FrameNIsTheNthDecodedFrameInAnyOrder) {
  // Forward, backward, repeated, across key frames, the last frame, and scaled.
  const int order[] = {0, 7, 3, 24, 12, 11, 13, 1, 24, 0, 23, 5, 5, 18};
  for (Kind k : kMovies) {
    SCOPED_TRACE(fixtures::Name(k));
    const std::vector<int> decoded = fixtures::DecodedFrameNumbers(Path(k));
    ASSERT_EQ(decoded.size(), 25u);
    for (int n = 0; n < 25; ++n) ASSERT_EQ(decoded[n], n) << "fixture frame " << n;
    ComPtr<IMediaDet> det = Open(Path(k));
    double rate = 0;
    ASSERT_EQ(det->get_FrameRate(&rate), S_OK);
    for (int n : order) {
      EXPECT_EQ(GrabNumber(det.Get(), n / rate, 160, 120), decoded[n]) << "frame " << n;
      EXPECT_EQ(GrabNumber(det.Get(), n / rate, 80, 60), decoded[n]) << "frame " << n << " scaled";
    }
  }
}

TEST_F(MediaDetTest, SteppingForwardGivesConsecutiveFrames) {
  for (Kind k : kMovies) {
    SCOPED_TRACE(fixtures::Name(k));
    const std::vector<int> decoded = fixtures::DecodedFrameNumbers(Path(k));
    ComPtr<IMediaDet> det = Open(Path(k));
    double rate = 0;
    ASSERT_EQ(det->get_FrameRate(&rate), S_OK);
    for (int n = 0; n < static_cast<int>(decoded.size()); ++n)
      ASSERT_EQ(GrabNumber(det.Get(), n / rate, 160, 120), decoded[n]) << "frame " << n;
    for (int n = static_cast<int>(decoded.size()) - 1; n >= 0; --n)
      ASSERT_EQ(GrabNumber(det.Get(), n / rate, 160, 120), decoded[n]) << "back to frame " << n;
  }
}

TEST_F(MediaDetTest, TimesWithinAFrameAndAtOrBeyondTheEnd) {
  ComPtr<IMediaDet> det = Open(Path(Kind::AviDx50));
  double length = 0;
  ASSERT_EQ(det->get_StreamLength(&length), S_OK);
  const struct {
    double t;
    int frame;
  } cases[] = {
      {0.0, 0}, {0.039, 0}, {0.04, 1}, {0.079, 1}, {0.5, 12}, {0.96, 24},
      {length, 24}, {length + 0.02, 24}, {length + 100, 24},
  };
  for (const auto& c : cases)
    EXPECT_EQ(GrabNumber(det.Get(), c.t, 160, 120), c.frame) << "t=" << c.t;
}

TEST_F(MediaDetTest, GrabbingReadsTheVideoWhateverStreamIsCurrent) {
  ComPtr<IMediaDet> det = Open(Path(Kind::AviMjpegPcm));
  ASSERT_EQ(det->put_CurrentStream(1), S_OK);
  Bstr type;
  ASSERT_EQ(det->get_StreamTypeB(&type), S_OK);
  ASSERT_EQ(type.Utf8(), kAudio);
  EXPECT_EQ(GrabNumber(det.Get(), 0.2, 160, 120), 5);
}

TEST_F(MediaDetTest, StillPicturesAreOneFrame) {
  for (Kind k : {Kind::Bmp, Kind::Jpeg, Kind::Gif}) {
    SCOPED_TRACE(fixtures::Name(k));
    ComPtr<IMediaDet> det = Open(Path(k));
    for (double t : {0.0, 1.0, 3600.0}) EXPECT_EQ(GrabNumber(det.Get(), t, 120, 90), 0);
  }
}

TEST_F(MediaDetTest, EnterBitmapGrabModeThenGrab) {
  ComPtr<IMediaDet> det = Open(Path(Kind::Mp4));
  ASSERT_EQ(det->EnterBitmapGrabMode(0.4), S_OK);
  EXPECT_EQ(GrabNumber(det.Get(), 0.4, 160, 120), 10);
  EXPECT_EQ(GrabNumber(det.Get(), 0.44, 160, 120), 11);
  EXPECT_EQ(det->EnterBitmapGrabMode(-1), E_INVALIDARG);

  ComPtr<IMediaDet> sound = Open(Path(Kind::Wav));
  EXPECT_EQ(sound->EnterBitmapGrabMode(0), VFW_E_CANNOT_CONNECT);
}

// ---------------------------------------------------------------------------------------------
// Bitmap files

TEST_F(MediaDetTest, WriteBitmapBitsWritesABmpOfTheAskedSize) {
  ComPtr<IMediaDet> det = Open(Path(Kind::Mov));
  const struct {
    int width, height;
  } sizes[] = {{160, 120}, {177, 133}, {80, 60}, {321, 241}, {1, 1}, {13, 2}};
  for (const auto& s : sizes) {
    SCOPED_TRACE(std::to_string(s.width) + "x" + std::to_string(s.height));
    const std::string file = Folder() + "/grab_" + std::to_string(s.width) + ".bmp";
    ASSERT_EQ(det->WriteBitmapBits(0.48, s.width, s.height, Bstr(file)), S_OK);
    const std::vector<uint8_t> b = fixtures::ReadFile(file);
    const size_t stride = static_cast<size_t>((s.width * 3 + 3) / 4 * 4);
    ASSERT_EQ(b.size(), 54 + stride * s.height);
    EXPECT_EQ(b[0], 'B');
    EXPECT_EQ(b[1], 'M');
    EXPECT_EQ(Le32(&b[2]), b.size());
    EXPECT_EQ(Le32(&b[10]), 54u);
    EXPECT_EQ(Le32(&b[14]), 40u);
    EXPECT_EQ(static_cast<int32_t>(Le32(&b[18])), s.width);
    EXPECT_EQ(static_cast<int32_t>(Le32(&b[22])), s.height);  // positive: bottom-up
    EXPECT_EQ(b[28], 24);
    EXPECT_EQ(Le32(&b[30]), 0u);  // uncompressed
    if (s.width >= 40 && s.height >= 30) {
      EXPECT_EQ(fixtures::ReadFrameNumber(&b[54] + stride * (s.height - 1),
                                          -static_cast<std::ptrdiff_t>(stride), s.width, s.height),
                12);
      // An independent reader sees the same picture size.
      const fixtures::Probe probe = fixtures::RunFfprobe(file);
      ASSERT_TRUE(probe.ok) << probe.error;
      ASSERT_NE(probe.First("video"), nullptr);
      EXPECT_EQ(probe.First("video")->codecName, "bmp");
      EXPECT_EQ(probe.First("video")->width, s.width);
      EXPECT_EQ(probe.First("video")->height, s.height);
    }
  }
}

TEST_F(MediaDetTest, WriteBitmapBitsReplacesAnOlderFileAndReportsUnwritablePlaces) {
  ComPtr<IMediaDet> det = Open(Path(Kind::AviMjpegPcm));
  const std::string file = Folder() + "/replaced.bmp";
  ASSERT_EQ(det->WriteBitmapBits(0, 320, 240, Bstr(file)), S_OK);
  ASSERT_EQ(det->WriteBitmapBits(0.2, 40, 30, Bstr(file)), S_OK);
  EXPECT_EQ(fixtures::ReadFile(file).size(), 54u + 120 * 30);

  const std::string missingFolder = Folder() + "/no/such/folder/x.bmp";
  EXPECT_EQ(det->WriteBitmapBits(0, 40, 30, Bstr(missingFolder)), HRESULT_PATH_NOT_FOUND);
  EXPECT_FALSE(fs::exists(missingFolder));
  EXPECT_EQ(det->WriteBitmapBits(0, 40, 30, Bstr("")), E_INVALIDARG);
  // Nothing but the written bitmaps is left in the folder.
  for (const auto& entry : fs::directory_iterator(Folder()))
    EXPECT_EQ(entry.path().string().find(".part"), std::string::npos) << entry.path();
}

TEST_F(MediaDetTest, WriteBitmapBitsWritesThroughLinksAndNeverOverTheMovieOrADevice) {
  const std::string dir = Folder() + "/targets";
  fs::remove_all(dir);
  fs::create_directories(dir);
  const std::string movie = dir + "/movie.avi";
  fs::copy_file(Path(Kind::AviMjpegPcm), movie);
  const std::vector<uint8_t> movieBytes = fixtures::ReadFile(movie);
  fs::create_hard_link(movie, dir + "/hard-link-to-movie.avi");
  fs::create_symlink(movie, dir + "/link-to-movie.bmp");
  fs::create_symlink("/dev/null", dir + "/link-to-device.bmp");
  ASSERT_EQ(mkfifo((dir + "/fifo.bmp").c_str(), 0600), 0);
  fs::create_directories(dir + "/folder.bmp");
  std::ofstream(dir + "/real.bmp") << "old picture";
  fs::create_symlink("real.bmp", dir + "/link-to-real.bmp");
  fs::create_symlink(dir + "/later.bmp", dir + "/dangling.bmp");

  ComPtr<IMediaDet> det = Open(movie);
  struct Case {
    std::string target;
    HRESULT expected;
    std::string written;  // the file that must hold the picture; "" for a refusal
  } cases[] = {
      {dir + "/link-to-real.bmp", S_OK, dir + "/real.bmp"},
      {dir + "/dangling.bmp", S_OK, dir + "/later.bmp"},
      {movie, E_INVALIDARG, ""},
      {dir + "/hard-link-to-movie.avi", E_INVALIDARG, ""},
      {dir + "/link-to-movie.bmp", E_INVALIDARG, ""},
      {dir + "/link-to-device.bmp", E_INVALIDARG, ""},
      {dir + "/fifo.bmp", E_INVALIDARG, ""},
      {dir + "/folder.bmp", E_INVALIDARG, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.target);
    EXPECT_EQ(det->WriteBitmapBits(0.2, 40, 30, Bstr(c.target)), c.expected);
    if (!c.written.empty()) {
      const std::vector<uint8_t> b = fixtures::ReadFile(c.written);
      ASSERT_EQ(b.size(), 54u + 120 * 30);
      EXPECT_EQ(b[0], 'B');
      EXPECT_TRUE(fs::is_symlink(c.target)) << "the link stays a link";
    }
  }
  EXPECT_EQ(fixtures::ReadFile(movie), movieBytes) << "the movie is untouched";
  EXPECT_EQ(fs::status(dir + "/link-to-device.bmp").type(), fs::file_type::character);
  EXPECT_EQ(fs::status(dir + "/fifo.bmp").type(), fs::file_type::fifo);
  EXPECT_TRUE(fs::is_directory(dir + "/folder.bmp"));
  EXPECT_EQ(GrabNumber(det.Get(), 0.2, 160, 120), 5) << "the movie still reads";
  for (const auto& entry : fs::directory_iterator(dir))
    EXPECT_EQ(entry.path().string().find(".part"), std::string::npos) << entry.path();
}

// A grab into a shared folder (sticky, writable by all, as /tmp): a link another user planted at
// the picture's name is not followed, so the file it points at is never overwritten; the
// user's own link there is written through as before; and a side file a killed grab left is
// removed.
TEST_F(MediaDetTest, WriteBitmapBitsNeverFollowsAnotherUsersLinkInASharedFolder) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs to give a link to another user";
  const std::string shared = Folder() + "/shared";
  fs::remove_all(shared);
  fs::create_directories(shared);
  ::chmod(shared.c_str(), 01777);
  const std::string precious = Folder() + "/precious.txt";
  std::ofstream(precious) << "keep me";
  fs::create_symlink(precious, shared + "/bitmap.bmp");
  ASSERT_EQ(::lchown((shared + "/bitmap.bmp").c_str(), 65534, 65534), 0);
  std::ofstream(Folder() + "/mine.bmp") << "old picture";
  fs::create_symlink(Folder() + "/mine.bmp", shared + "/own.bmp");
  const pid_t child = ::fork();
  if (child == 0) ::_exit(0);
  ::waitpid(child, nullptr, 0);
  const std::string killed = Folder() + "/.mine.bmp.part-" + std::to_string(child) + "-1";
  std::ofstream(killed) << "half";
  ComPtr<IMediaDet> det = Open(Path(Kind::AviMjpegPcm));
  EXPECT_EQ(det->WriteBitmapBits(0.2, 40, 30, Bstr(shared + "/bitmap.bmp")), E_ACCESSDENIED);
  std::ifstream in(precious);
  std::string text;
  std::getline(in, text);
  EXPECT_EQ(text, "keep me");
  EXPECT_TRUE(fs::is_symlink(shared + "/bitmap.bmp"));
  ASSERT_EQ(det->WriteBitmapBits(0.2, 40, 30, Bstr(shared + "/own.bmp")), S_OK);
  EXPECT_EQ(fixtures::ReadFile(Folder() + "/mine.bmp").size(), 54u + 120 * 30);
  EXPECT_FALSE(fs::exists(killed)) << "a killed grab's side file stayed";
}

TEST_F(MediaDetTest, GetBitmapBitsSizeAndBufferRules) {
  ComPtr<IMediaDet> det = Open(Path(Kind::AviRgb));
  LONG size = 0;
  ASSERT_EQ(det->GetBitmapBits(0, &size, nullptr, 41, 10), S_OK);
  EXPECT_EQ(size, 40 + 124 * 10);
  EXPECT_EQ(det->GetBitmapBits(0, nullptr, nullptr, 41, 10), E_POINTER);
  std::vector<char> buffer(static_cast<size_t>(size));
  LONG small = size - 1;
  EXPECT_EQ(det->GetBitmapBits(0, &small, buffer.data(), 41, 10), E_INVALIDARG);
  ASSERT_EQ(det->GetBitmapBits(0, nullptr, buffer.data(), 41, 10), S_OK);
  const auto* h = reinterpret_cast<const uint8_t*>(buffer.data());
  EXPECT_EQ(Le32(h), 40u);
  EXPECT_EQ(Le32(h + 4), 41u);
  EXPECT_EQ(Le32(h + 8), 10u);
  EXPECT_EQ(Le32(h + 20), 1240u);
}

// A grab writes exactly the bitmap's bytes, whatever the picture's size (scaler rows are written
// in blocks that may reach past a row's end): the bytes after the buffer's size stay untouched.
TEST_F(MediaDetTest, GrabsWriteNothingPastTheBitmap) {
  constexpr size_t kGuard = 256;
  for (Kind kind : {Kind::AviMjpegPcm, Kind::AviDx50, Kind::AviRgb}) {
    ComPtr<IMediaDet> det = Open(Path(kind));
    for (int width = 1; width <= 700; width += width < 40 ? 1 : 37) {
      for (int height : {1, 2, 7, 120, 361}) {
        SCOPED_TRACE(fixtures::Name(kind) + " " + std::to_string(width) + "x" + std::to_string(height));
        LONG size = 0;
        ASSERT_EQ(det->GetBitmapBits(0, &size, nullptr, width, height), S_OK);
        std::vector<char> buffer(static_cast<size_t>(size) + kGuard, '\x5A');
        ASSERT_EQ(det->GetBitmapBits(0, &size, buffer.data(), width, height), S_OK);
        const auto past = std::find_if(buffer.begin() + size, buffer.end(), [](char c) { return c != '\x5A'; });
        EXPECT_EQ(past, buffer.end()) << "written " << (past - buffer.begin() - size) << " bytes past the end";
      }
    }
  }
}

TEST_F(MediaDetTest, GrabFailuresCarryTheirCodes) {
  ComPtr<IMediaDet> movie = Open(Path(Kind::AviMjpegPcm));
  ComPtr<IMediaDet> sound = Open(Path(Kind::Mp3));
  const std::string file = Folder() + "/failed.bmp";
  const struct {
    IMediaDet* det;
    double t;
    int width, height;
    HRESULT expected;
  } cases[] = {
      {sound.Get(), 0, 160, 120, VFW_E_CANNOT_CONNECT},  // no video stream
      {movie.Get(), 0, 0, 120, VFW_E_CANNOT_CONNECT},    // a picture of no size
      {movie.Get(), 0, 160, 0, VFW_E_CANNOT_CONNECT},
      {movie.Get(), 0, -5, -5, VFW_E_CANNOT_CONNECT},
      {movie.Get(), 0, 100000, 100000, E_INVALIDARG},  // beyond any bitmap
      {movie.Get(), -0.5, 160, 120, E_INVALIDARG},
      {movie.Get(), std::nan(""), 160, 120, E_INVALIDARG},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.t) + " " + std::to_string(c.width));
    EXPECT_EQ(c.det->WriteBitmapBits(c.t, c.width, c.height, Bstr(file)), c.expected);
    EXPECT_FALSE(fs::exists(file));
  }
}

// ---------------------------------------------------------------------------------------------
// Bad input and misuse

TEST_F(MediaDetTest, FilesThatCannotBeOpenedFailWithoutAFileLeftSet) {
  const std::string unreadable = Folder() + "/unreadable.avi";
  fs::copy_file(Path(Kind::AviMjpegPcm), unreadable, fs::copy_options::overwrite_existing);
  chmod(unreadable.c_str(), 0);
  const std::string pipe = Folder() + "/pipe.avi";
  fs::remove(pipe);
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);  // nobody writes to it: opening it would wait
  const std::string text = Folder() + "/notes.txt";
  std::ofstream(text) << "Plain words in a text file, which a media reader might take for art.\n";

  struct Case {
    std::string path;
    HRESULT expected;
  };
  std::vector<Case> cases = {
      {Folder() + "/missing.avi", HRESULT_FILE_NOT_FOUND},
      {Folder() + "/missing-folder/clip.avi", HRESULT_FILE_NOT_FOUND},
      {Path(Kind::AviMjpegPcm) + "/clip.avi", HRESULT_PATH_NOT_FOUND},
      {Folder(), E_ACCESSDENIED},
      {Path(Kind::TextAsAvi), VFW_E_UNKNOWN_FILE_TYPE},
      {text, VFW_E_UNKNOWN_FILE_TYPE},
      {Path(Kind::EmptyFile), VFW_E_FILE_TOO_SHORT},
      {Path(Kind::AviDamagedIndex), VFW_E_INVALID_FILE_FORMAT},
      {pipe, VFW_E_UNKNOWN_FILE_TYPE},
      {"", E_INVALIDARG},
  };
  if (geteuid() != 0) cases.push_back({unreadable, E_ACCESSDENIED});
  // A name is no picture: text under a picture's name is not media either.
  for (const char* extension : {".jpg", ".JPEG", ".bmp", ".png", ".tif", ".gif"}) {
    const std::string note = Folder() + "/note" + extension;
    std::ofstream(note) << "Shopping: bread, milk, film for the camera.\n";
    cases.push_back({note, VFW_E_UNKNOWN_FILE_TYPE});
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    ComPtr<IMediaDet> det = Open(Path(Kind::Wav));  // a file set before the failing one
    EXPECT_EQ(det->put_Filename(Bstr(c.path)), c.expected);
    Bstr name("x");
    EXPECT_EQ(det->get_Filename(&name), S_OK);
    EXPECT_EQ(name.Utf8(), "");
    LONG count = 7;
    EXPECT_EQ(det->get_OutputStreams(&count), E_INVALIDARG);
    EXPECT_EQ(det->WriteBitmapBits(0, 16, 16, Bstr(Folder() + "/bad.bmp")), E_INVALIDARG);
  }
  chmod(unreadable.c_str(), 0644);
}

// A movie cut off in the middle of its data (no index) is a shorter movie: its length is that
// of the frames it holds, they grab as decoded, and later times give the last of them.
TEST_F(MediaDetTest, ATruncatedMovieIsReadUpToItsCut) {
  ComPtr<IMediaDet> det = Open(Path(Kind::TruncatedAvi));
  const std::vector<int> decoded = fixtures::DecodedFrameNumbers(Path(Kind::TruncatedAvi));
  ASSERT_GE(decoded.size(), 5u);
  ASSERT_LT(decoded.size(), 25u);
  double length = 0;
  ASSERT_EQ(det->get_StreamLength(&length), S_OK);
  EXPECT_NEAR(length * 25, static_cast<double>(decoded.size()), 1.01);
  for (int n = static_cast<int>(decoded.size()) - 1; n >= 0; --n)
    EXPECT_EQ(GrabNumber(det.Get(), n / 25.0, 160, 120), decoded[n]) << "frame " << n;
  for (double t : {length, 0.96, 50.0})
    EXPECT_EQ(GrabNumber(det.Get(), t, 160, 120), decoded.back()) << "t=" << t;
}

// Garbage in the middle of a movie's data spoils the frame it hits: the frames before it grab
// as they are, the movie goes on behind it (the container may place the later frames one frame
// early, as the demuxer counts them), and no grab fails in another way than "no frame there".
TEST_F(MediaDetTest, DamagedDataInTheMiddleDoesNotStopTheMovie) {
  std::vector<uint8_t> bytes = fixtures::ReadFile(Path(Kind::AviMjpegPcm));
  ASSERT_GT(bytes.size(), 20000u);
  const size_t from = bytes.size() / 2;
  for (size_t i = from; i < from + 3000; ++i) bytes[i] = static_cast<uint8_t>(i * 131 + 7);
  const std::string path = Folder() + "/damaged_middle.avi";
  WriteBytes(path, bytes);
  ComPtr<IMediaDet> det = Open(path);
  for (int n = 0; n < 10; ++n) EXPECT_EQ(GrabNumber(det.Get(), n / 25.0, 160, 120), n);
  for (int n = 10; n < 25; ++n) {
    HRESULT hr = S_OK;
    const int number = GrabNumber(det.Get(), n / 25.0, 160, 120, &hr);
    if (hr == VFW_E_TIME_EXPIRED) continue;
    ASSERT_EQ(hr, S_OK) << "frame " << n;
    EXPECT_LE(std::abs(number - n), 1) << "frame " << n;
  }
  EXPECT_EQ(GrabNumber(det.Get(), 100, 160, 120), 24);
  EXPECT_EQ(GrabNumber(det.Get(), 0.04, 160, 120), 1);
}

// A movie whose data is blanked out from the middle to its index keeps its length (its headers
// and index say so), but the frames there cannot be had: grabbing them fails with
// VFW_E_TIME_EXPIRED, and the frames before the blank stay available. (A gap with frames behind
// it is no failure: its time shows the last frame before it.)
TEST_F(MediaDetTest, FramesTheDataCannotGiveFailWithTimeExpired) {
  std::vector<uint8_t> bytes = fixtures::ReadFile(Path(Kind::AviMjpegPcm));
  ASSERT_GT(bytes.size(), 20000u);
  std::fill(bytes.begin() + static_cast<std::ptrdiff_t>(bytes.size() * 6 / 10),
            bytes.begin() + static_cast<std::ptrdiff_t>(bytes.size() * 98 / 100), 0);
  const std::string path = Folder() + "/blanked.avi";
  WriteBytes(path, bytes);
  ComPtr<IMediaDet> det = Open(path);
  double length = 0;
  ASSERT_EQ(det->get_StreamLength(&length), S_OK);
  EXPECT_DOUBLE_EQ(length, 1.0);
  HRESULT hr = S_OK;
  GrabNumber(det.Get(), 0.8, 160, 120, &hr);
  EXPECT_EQ(hr, VFW_E_TIME_EXPIRED);
  for (int n = 0; n < 10; ++n) EXPECT_EQ(GrabNumber(det.Get(), n / 25.0, 160, 120), n);
  GrabNumber(det.Get(), 0.8, 160, 120, &hr);
  EXPECT_EQ(hr, VFW_E_TIME_EXPIRED);
}

// A detector that opens a file another detector only probed and let go reads the same movie;
// one whose file changed in between (rewritten in place or replaced) reads the new movie.
TEST_F(MediaDetTest, ASecondDetectorOfAProbedFileReadsItAsItIsNow) {
  const std::string folder = Folder() + "/probed";
  fs::create_directories(folder);
  fixtures::Options shortMovie, longMovie;
  shortMovie.seconds = 1.0;
  longMovie.seconds = 2.0;
  const std::string one = fixtures::Make(Kind::AviDx50, folder + "/one", shortMovie);
  const std::string two = fixtures::Make(Kind::AviDx50, folder + "/two", longMovie);
  const std::string movie = folder + "/movie.avi";
  struct Case {
    const char* rule;
    void (*change)(const std::string& movie, const std::string& other);
    bool longer;  // the file holds the two-second movie when the second detector opens it
  } cases[] = {
      {"unchanged", [](const std::string&, const std::string&) {}, false},
      {"rewritten in place",
       [](const std::string& m, const std::string& o) {
         std::ifstream in(o, std::ios::binary);
         std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
         std::ofstream(m, std::ios::binary | std::ios::trunc).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
       },
       true},
      {"replaced",
       [](const std::string& m, const std::string& o) {
         fs::copy_file(o, m + ".new", fs::copy_options::overwrite_existing);
         fs::rename(m + ".new", m);
       },
       true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.rule);
    fs::copy_file(one, movie, fs::copy_options::overwrite_existing);
    {
      ComPtr<IMediaDet> probe = Open(movie);
      LONG streams = 0;
      ASSERT_EQ(probe->get_OutputStreams(&streams), S_OK);
      ASSERT_EQ(streams, 2);
    }
    c.change(movie, two);
    ComPtr<IMediaDet> det = Open(movie);
    ASSERT_EQ(det->put_CurrentStream(0), S_OK);
    double length = 0;
    ASSERT_EQ(det->get_StreamLength(&length), S_OK);
    EXPECT_NEAR(length, c.longer ? 2.0 : 1.0, 1e-6);
    EXPECT_EQ(GrabNumber(det.Get(), 0.4, 160, 120), 10);
    EXPECT_EQ(GrabNumber(det.Get(), 0.0, 160, 120), 0);
  }
}

TEST_F(MediaDetTest, ADetectorWithoutAFileAndStreamBounds) {
  ComPtr<IMediaDet> det = NewDetector();
  LONG count = 0;
  EXPECT_EQ(det->get_OutputStreams(&count), E_INVALIDARG);
  Bstr type;
  EXPECT_EQ(det->get_StreamTypeB(&type), E_INVALIDARG);
  double v = 0;
  EXPECT_EQ(det->get_StreamLength(&v), E_INVALIDARG);
  EXPECT_EQ(det->get_FrameRate(&v), E_INVALIDARG);
  EXPECT_EQ(det->put_CurrentStream(0), E_INVALIDARG);
  LONG size = 0;
  EXPECT_EQ(det->GetBitmapBits(0, &size, nullptr, 16, 16), E_INVALIDARG);

  ASSERT_EQ(det->put_Filename(Bstr(Path(Kind::AviDiv3))), S_OK);
  for (LONG bad : {-1, 2, 1000}) EXPECT_EQ(det->put_CurrentStream(bad), E_INVALIDARG);
  LONG current = -1;
  EXPECT_EQ(det->get_CurrentStream(&current), S_OK);
  EXPECT_EQ(current, 0);
  EXPECT_EQ(det->get_OutputStreams(nullptr), E_POINTER);
  EXPECT_EQ(det->get_StreamMediaType(nullptr), E_POINTER);

  // A new file makes stream 0 current again.
  ASSERT_EQ(det->put_CurrentStream(1), S_OK);
  ASSERT_EQ(det->put_Filename(Bstr(Path(Kind::Mov))), S_OK);
  EXPECT_EQ(det->get_CurrentStream(&current), S_OK);
  EXPECT_EQ(current, 0);
}

// ---------------------------------------------------------------------------------------------
// Late binding

TEST_F(MediaDetTest, LateBoundCallsReachTheDetector) {
  ComPtr<IMediaDet> det = NewDetector();
  ComPtr<IDispatch> disp = det.As<IDispatch>();
  ASSERT_TRUE(disp);
  CallByName(disp.Get(), "Filename", DISPATCH_PROPERTYPUT, {Variant(Path(Kind::AviMjpegPcm))});
  EXPECT_EQ(CallByName(disp.Get(), "OutputStreams", DISPATCH_PROPERTYGET).i4(), 2);
  CallByName(disp.Get(), "CurrentStream", DISPATCH_PROPERTYPUT, {Variant(int32_t{1})});
  EXPECT_EQ(CallByName(disp.Get(), "streamtypeb", DISPATCH_PROPERTYGET).bstr().Utf8(), kAudio);
  CallByName(disp.Get(), "CurrentStream", DISPATCH_PROPERTYPUT, {Variant(int32_t{0})});
  EXPECT_DOUBLE_EQ(CallByName(disp.Get(), "FrameRate", DISPATCH_PROPERTYGET).r8(), 25.0);
  EXPECT_DOUBLE_EQ(CallByName(disp.Get(), "StreamLength", DISPATCH_PROPERTYGET).r8(), 1.0);
  const std::string file = Folder() + "/late.bmp";
  CallByName(disp.Get(), "WriteBitmapBits", DISPATCH_METHOD,
             {Variant(0.4), Variant(int32_t{64}), Variant(int32_t{48}), Variant(file)});
  EXPECT_EQ(fixtures::ReadFile(file).size(), 54u + 192 * 48);

  try {
    CallByName(disp.Get(), "Filename", DISPATCH_PROPERTYPUT,
               {Variant(Folder() + "/missing.avi")});
    FAIL() << "no error raised";
  } catch (const VBError& e) {
    EXPECT_EQ(e.Number(), HRESULT_FILE_NOT_FOUND);
  }
}

TEST_F(MediaDetTest, CreatedByProgId) {
  CLSID clsid;
  ASSERT_EQ(CLSIDFromProgID("DexterLib.MediaDet", &clsid), S_OK);
  EXPECT_EQ(clsid, CLSID_MediaDet);
  ComPtr<IUnknown> det;
  ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, det.put_void()),
            S_OK);
  EXPECT_TRUE(det.As<IMediaDet>());
}

}  // namespace

// A 30000/1001 movie: frame f at f / rate, also a time less than a thousandth of a frame below it,
// forwards one step at a time and backwards.
TEST_F(MediaDetTest, FractionalRatesGiveFrameFAtFOverRate) {
  fixtures::Options o;
  o.seconds = 2.0;
  o.fps = 30000;
  o.fpsDen = 1001;
  for (Kind k : {Kind::AviDx50, Kind::AviMjpegPcm}) {
    SCOPED_TRACE(fixtures::Name(k));
    const std::string path = fixtures::Make(k, Folder(), o);
    ComPtr<IMediaDet> det = Open(path);
    double rate = 0, length = 0;
    ASSERT_EQ(det->get_FrameRate(&rate), S_OK);
    ASSERT_EQ(det->get_StreamLength(&length), S_OK);
    EXPECT_NEAR(rate, 30000.0 / 1001, 1e-9);
    EXPECT_EQ(std::lround(length * rate), 60);
    for (int f = 0; f < 60; ++f) {
      ASSERT_EQ(GrabNumber(det.Get(), f / rate, 160, 120), f) << "frame " << f;
      if (f > 0) {
        ASSERT_EQ(GrabNumber(det.Get(), (f - 0.0009) / rate, 160, 120), f) << "just below frame " << f;
      }
    }
    for (int f : {45, 12, 59, 0, 31})
      EXPECT_EQ(GrabNumber(det.Get(), f / rate, 160, 120), f) << "back to " << f;
  }
}

