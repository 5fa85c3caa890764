#pragma once
// The encoding engine: one source file into WMV8 / WMA2 in ASF on the FFmpeg libraries, on a
// thread of its own.
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "core/hresult.h"
#include "wmenc/wmenc.h"

namespace wmenc {

struct Profile {
  std::string name, description;
  int width = 0, height = 0, fps = 0, videoBitrate = 0;
  int audioBitrate = 0, sampleRate = 0, channels = 0;
  bool HasVideo() const { return width > 0; }
  bool HasAudio() const { return audioBitrate > 0; }
};

// What a file offers as sources.
struct SourceInfo {
  bool readable = false;
  int audio = 0;  // 0 or 1
  int video = 0;
  double seconds = 0;
};
SourceInfo InspectSource(const std::string& path);

struct Job {
  std::string source, target, temp;
  Profile profile;
  bool useVideo = false, useAudio = false;
  std::string title, author, copyright, description;
};

// One run. Start spawns the thread; done is called on it once the run has ended (hr S_OK when
// the target file is complete, E_ABORT never: a stop completes the file too, which takes the
// target's name only where no file had it; a failure removes its file and leaves the target).
class Run {
 public:
  Run(Job job, std::function<void(HRESULT)> done);
  ~Run();
  void Start();
  void RequestStop() { stop_ = true; }
  void Join();
  WMEncStatistics Statistics() const;

 private:
  HRESULT Encode(bool* stopped);
  HRESULT Deliver(bool stopped);
  Job job_;
  std::function<void(HRESULT)> done_;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  mutable std::mutex m_;
  WMEncStatistics stats_;
  friend struct EncodeState;
};

}  // namespace wmenc
