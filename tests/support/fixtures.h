#pragma once
// Media fixtures for tests, generated at test time with the FFmpeg libraries.
//
// Every video frame shows a frame-number code (a row of black and white blocks along the top
// edge, one bit per block, least significant bit first; the number modulo 256), a bar that moves one step per frame and
// a colour gradient; audio is a sine tone. ReadFrameNumber recovers the number from a decoded or
// grabbed picture of any size, so tests can tell frames apart after scaling and lossy coding.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace fixtures {

enum class Kind {
  AviMjpegPcm,      // AVI: Motion JPEG + 16-bit PCM
  AviRgb,           // AVI: uncompressed 24-bit RGB + PCM
  AviDiv3,          // AVI: MPEG-4 version 3 (Microsoft variant) tagged DIV3 + MP3
  AviMp43,          // AVI: the same coding tagged MP43 + MP3
  AviDx50,          // AVI: MPEG-4 part 2 tagged DX50 + MP3
  Mpeg1Ps,          // MPEG-1 program stream: MPEG-1 video + MPEG layer 2
  Mov,              // QuickTime: MPEG-4 part 2 (with B-frames) + PCM
  Mp4,              // MP4: H.264 (with B-frames) + AAC
  Wav,              // WAV: 16-bit PCM only
  Mp3,              // MP3 only
  Bmp,              // still picture: 24-bit BMP
  Jpeg,             // still picture: JPEG
  Gif,              // still picture: GIF
  TruncatedAvi,     // an AviMjpegPcm cut off in the middle of its movie data (no index)
  TextAsAvi,        // a text file named .avi
  EmptyFile,        // a file of no bytes named .avi
  AviDamagedIndex,  // an AviMjpegPcm whose index entries point at garbage
  // Header layouts (not in AllKinds):
  AviAudioFirst,         // an AviMjpegPcm whose first stream is the sound
  AviLongStreamHeader,   // an AviMjpegPcm whose video stream header is 64 bytes (not 56): its
                         // bitmap header lies 8 bytes further on
  AviIv50Tagged,         // an AviMjpegPcm relabelled IV50 (handler and compression): it does not
                         // decode as IV50
  WavAsAvi,              // a RIFF WAVE file named .avi
  // Further codings (not in AllKinds):
  Mpeg2Ps,               // MPEG-2 program stream: MPEG-2 video (with B-frames) + MPEG layer 2
  MpegTs,                // MPEG transport stream: MPEG-2 video (with B-frames) + MPEG layer 2
  AviMpeg4BFrames,       // AVI: MPEG-4 part 2 with B-frames tagged XVID + MP3
};

struct Options {
  int width = 160;
  int height = 120;
  int fps = 25;
  double seconds = 1.0;
  bool audio = true;  // movies only; sound-only kinds always have sound
  int fpsDen = 1;     // the rate is fps / fpsDen frames a second (30000 / 1001 for NTSC)
};

// File extension of a kind, with the dot (".avi", ".mpg", ...).
std::string Extension(Kind kind);
// A readable name of a kind ("AviMjpegPcm", ...), for test names and messages.
std::string Name(Kind kind);
// Every kind up to AviDamagedIndex, in declaration order.
const std::vector<Kind>& AllKinds();
// Whether a kind is a still picture, sound only, or a bad file.
bool IsStill(Kind kind);
bool IsSoundOnly(Kind kind);
bool IsBad(Kind kind);

// Writes a fixture of the kind into folder (created when missing) and returns its path. The file
// name tells kind and options apart, so the same call twice reuses the folder's file name; the
// file is rewritten each time. Throws std::runtime_error when FFmpeg cannot make it.
std::string Make(Kind kind, const std::string& folder, const Options& options = {});

// Number of video frames Make writes for a movie: round(seconds * fps / fpsDen), at least 1.
int FrameCount(const Options& options);

// The frame number drawn into a picture. row0 points at the top row's first pixel, stride is
// the distance between rows in bytes (negative for bottom-up pictures: pass the pointer to the
// top row as stored, i.e. the last row in memory), pixels are 3 bytes (RGB or BGR: only
// brightness counts). Returns the number modulo 256, or -1 when the blocks cannot be read.
int ReadFrameNumber(const uint8_t* row0, std::ptrdiff_t stride, int width, int height);

// The frame numbers of every video frame of a file, decoded in presentation order with the
// FFmpeg libraries (reference for grabbing tests).
std::vector<int> DecodedFrameNumbers(const std::string& path);

// What ffprobe (run as a separate program) reports about a file.
struct ProbedStream {
  int index = -1;
  std::string codecType;   // "video", "audio"
  std::string codecName;   // "mjpeg", "pcm_s16le", ...
  std::string codecTag;    // "DIV3", "[0][0][0][0]", ...
  std::string pixFmt;      // video: "rgb555le", "yuvj420p", ...
  int width = 0;
  int height = 0;
  long long frames = -1;   // frames read with -count_frames; -1 when unknown
  double duration = -1;    // seconds; -1 when unknown
  double frameRate = 0;    // average frame rate
  int sampleRate = 0;
  int channels = 0;
};
struct Probe {
  bool ok = false;          // ffprobe ran and read the file
  std::string error;        // its error text otherwise
  std::string formatName;   // "avi", "mpeg", "mov,mp4,m4a,3gp,3g2,mj2", ...
  double duration = -1;     // seconds
  std::vector<ProbedStream> streams;
  // The first stream of a type, or nullptr.
  const ProbedStream* First(const std::string& codecType) const;
};
Probe RunFfprobe(const std::string& path);

// Reads a whole file; empty when it cannot be read.
std::vector<uint8_t> ReadFile(const std::string& path);

// The scratch folder of the running test (SUITE_TEST_SCRATCH, else a folder under /tmp),
// with sub appended and created.
std::string ScratchFolder(const std::string& sub = {});

// The id of a process that has ended (a child that exited and was reaped): side files named with
// it belong to no running process.
int EndedProcessId();

// A movie whose codec has no decoder: an uncompressed AVI (no sound) whose video stream names the
// unknown FOURCC "QZQZ"; its video stream is found, but no frame can be decoded.
std::string MakeUndecodableAvi(const std::string& folder);

// Sets or clears the immutable flag of a folder or a file (as chattr +i does): nobody, root
// included, may then create or change files in the folder, or change the file. False when it is
// missing or its file system has no such flag.
bool SetImmutable(const std::string& path, bool on);

// A file-size limit for this process while the object lives (a full disk stands in), SIGXFSZ
// ignored meanwhile, so a write past it fails with EFBIG instead of ending the process.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(unsigned long long bytes);
  ~FileSizeLimit();
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  unsigned long long oldSoft_ = 0;
  void (*oldHandler_)(int) = nullptr;
};

// While the object lives, another user holds every fixed name of the user's private temp folder
// (reelwright-<uid>, -1 ... -99) inside $TMPDIR and inside the shared temp folder: folders of uid
// 65534 (without the superuser's rights to give a folder away, links, which are refused for
// anyone). Both are scratch folders open to all, SUITE_SHARED_TEMP standing in for /tmp;
// $XDG_RUNTIME_DIR is unset. With noFolder neither exists, so no temp folder can be had at all.
class TempNamesTaken {
 public:
  explicit TempNamesTaken(bool noFolder = false);
  ~TempNamesTaken();
  TempNamesTaken(const TempNamesTaken&) = delete;
  TempNamesTaken& operator=(const TempNamesTaken&) = delete;
  const std::string& Tmpdir() const { return tmpdir_; }

 private:
  std::string base_, tmpdir_;
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

}  // namespace fixtures
