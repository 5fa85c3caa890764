#pragma once
// A guard for a call that must return: while it lives, a watchdog waits; if the guarded code has
// not finished within the bound (generous, never a measure of speed), the test program reports
// the hang and ends with a failure instead of blocking the whole test run for good.
//
//   { HangGuard guard("reading a FIFO as a project"); window.ReadProject(fifo); }
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

class HangGuard {
 public:
  explicit HangGuard(std::string what, std::chrono::seconds bound = std::chrono::seconds(60))
      : what_(std::move(what)), watchdog_([this, bound] {
          std::unique_lock lock(mutex_);
          if (!done_.wait_for(lock, bound, [this] { return finished_; })) {
            std::fprintf(stderr, "FAILED: %s did not return (hung)\n", what_.c_str());
            std::fflush(stderr);
            std::_Exit(3);
          }
        }) {}
  ~HangGuard() {
    {
      std::lock_guard lock(mutex_);
      finished_ = true;
    }
    done_.notify_all();
    watchdog_.join();
  }
  HangGuard(const HangGuard&) = delete;
  HangGuard& operator=(const HangGuard&) = delete;

 private:
  std::string what_;
  std::mutex mutex_;
  std::condition_variable done_;
  bool finished_ = false;
  std::thread watchdog_;
};
