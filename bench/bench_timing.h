#pragma once
// Timing shared by the benchmarks: wall-clock seconds, the median of rounds and one timed run of
// the ffmpeg program.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

namespace bench {

using Clock = std::chrono::steady_clock;

inline double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// The median of the values (the mean of the middle two for an even count); 0 for none.
inline double Median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  const size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// Runs ffmpeg with the arguments (args[0] is "ffmpeg"); its wall time, or -1 when it failed. With
// peakMb, also its peak resident memory in MB.
inline double TimeFfmpeg(const std::vector<std::string>& args, double* peakMb = nullptr) {
  std::vector<char*> argv;
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  const auto start = Clock::now();
  const pid_t pid = fork();
  if (pid < 0) return -1;
  if (pid == 0) {
    execvp("ffmpeg", argv.data());
    _exit(127);
  }
  int status = 0;
  struct rusage usage {};
  wait4(pid, &status, 0, &usage);
  const double t = Seconds(Clock::now() - start);
  if (peakMb) *peakMb = static_cast<double>(usage.ru_maxrss) / 1024.0;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? t : -1;
}

}  // namespace bench
