#pragma once
// Helpers of the AVIFile tests: fixtures, one whole recompression, files in a folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "fixtures.h"
#include "dshow/uuids.h"
#include "vfw/vfw.h"

namespace vfw_test {

namespace fs = std::filesystem;

inline fixtures::Options SmallMovie() {
  fixtures::Options o;
  o.seconds = 0.6;  // 15 frames at 25 fps
  return o;
}

inline std::string Fixture(fixtures::Kind kind, const fixtures::Options& o = SmallMovie()) {
  return fixtures::Make(kind, fixtures::ScratchFolder("fixtures"), o);
}

// Owns an opened file and its first video stream.
struct Source {
  PAVIFILE file = nullptr;
  PAVISTREAM video = nullptr;
  HRESULT status = AVIERR_OK;
  explicit Source(const std::string& path) {
    status = AVIFileOpen(&file, path.c_str(), OF_SHARE_DENY_WRITE, nullptr);
    if (status == AVIERR_OK) status = AVIFileGetStream(file, &video, streamtypeVIDEO, 0);
  }
  ~Source() {
    AVIStreamRelease(video);
    AVIFileRelease(file);
  }
  Source(const Source&) = delete;
  Source& operator=(const Source&) = delete;
};

inline AVICOMPRESSOPTIONS OptionsFor(uint32_t fourcc, uint32_t quality = 7500) {
  AVICOMPRESSOPTIONS o;
  o.fccType = streamtypeVIDEO;
  o.fccHandler = fourcc;
  o.dwQuality = quality;
  o.dwFlags = AVICOMPRESSF_VALID;
  return o;
}

// Source → compressed stream with the options → AVISaveV to target; the first failure's code.
inline HRESULT Recompress(const std::string& source, const std::string& target, AVICOMPRESSOPTIONS options,
                          AVISAVECALLBACK callback = {}) {
  Source s(source);
  if (s.status != AVIERR_OK) return s.status;
  PAVISTREAM compressed = nullptr;
  HRESULT hr = AVIMakeCompressedStream(&compressed, s.video, &options, nullptr);
  if (hr != AVIERR_OK) return hr;
  LPAVICOMPRESSOPTIONS list[1] = {&options};
  hr = AVISaveV(target.c_str(), nullptr, std::move(callback), 1, &compressed, list);
  AVIStreamRelease(compressed);
  return hr;
}

inline std::vector<std::string> FilesIn(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

inline std::string Folder(const std::string& name) {
  std::string f = fixtures::ScratchFolder(name);
  for (const auto& e : fs::directory_iterator(f)) fs::remove_all(e.path());
  return f;
}

inline std::string FourCCText(uint32_t code) {
  std::string s;
  for (int i = 0; i < 4; ++i) s += static_cast<char>((code >> (8 * i)) & 0xFF);
  return s;
}

}  // namespace vfw_test
