#include "transition_support.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

namespace des::fx {
namespace {

// Worker threads shared by every effect. A call queues one batch of slices; workers and the
// caller take slices of the oldest batch under one lock, so a batch never outlives its caller.
class SlicePool {
 public:
  SlicePool() {
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    const unsigned workers = std::min(cores, 16u) - 1;
    for (unsigned i = 0; i < workers; ++i) threads_.emplace_back([this] { Work(); });
  }
  ~SlicePool() {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    wake_.notify_all();
    for (auto& t : threads_) t.join();
  }
  size_t threads() const { return threads_.size() + 1; }

  void Run(int count, const std::function<void(int)>& task) {
    Batch batch{&task, count};
    {
      std::lock_guard lock(mutex_);
      queue_.push_back(&batch);
    }
    wake_.notify_all();
    std::unique_lock lock(mutex_);
    while (TakeFrom(batch, lock)) {
    }
    done_.wait(lock, [&] { return batch.finished == batch.count; });
  }

 private:
  struct Batch {
    const std::function<void(int)>* task;
    int count;
    int next = 0;
    int finished = 0;
  };

  // Runs one slice of the batch (lock released meanwhile); false when none was left to take.
  bool TakeFrom(Batch& batch, std::unique_lock<std::mutex>& lock) {
    if (batch.next >= batch.count) return false;
    const int index = batch.next++;
    if (batch.next == batch.count) queue_.erase(std::find(queue_.begin(), queue_.end(), &batch));
    lock.unlock();
    (*batch.task)(index);
    lock.lock();
    if (++batch.finished == batch.count) done_.notify_all();
    return true;
  }

  void Work() {
    std::unique_lock lock(mutex_);
    for (;;) {
      wake_.wait(lock, [&] { return stopping_ || !queue_.empty(); });
      if (stopping_) return;
      TakeFrom(*queue_.front(), lock);
    }
  }

  std::mutex mutex_;
  std::condition_variable wake_, done_;
  std::deque<Batch*> queue_;
  std::vector<std::thread> threads_;
  bool stopping_ = false;
};

SlicePool& Pool() {
  static SlicePool pool;
  return pool;
}

uint32_t Mix3(uint32_t x) {
  x ^= x >> 16;
  x *= 0x7FEB352Du;
  x ^= x >> 15;
  x *= 0x846CA68Bu;
  x ^= x >> 16;
  return x;
}

}  // namespace

void ForRowSlices(int width, int height, const std::function<void(int, int)>& body) {
  if (height <= 0 || width <= 0) return;
  // Small pictures are not worth the hand-over.
  constexpr long kMinPixelsPerSlice = 16 * 1024;
  const long pixels = static_cast<long>(width) * height;
  const long wanted = std::min<long>({static_cast<long>(Pool().threads()) * 2,
                                      pixels / kMinPixelsPerSlice, height});
  if (wanted <= 1) {
    body(0, height);
    return;
  }
  const int slices = static_cast<int>(wanted);
  Pool().Run(slices, [&](int i) {
    const int y0 = static_cast<int>(static_cast<long>(height) * i / slices);
    const int y1 = static_cast<int>(static_cast<long>(height) * (i + 1) / slices);
    if (y0 < y1) body(y0, y1);
  });
}

uint32_t Sample(const uint32_t* img, int w, int h, double u, double v) {
  double fx = std::clamp(u - 0.5, 0.0, static_cast<double>(w - 1));
  double fy = std::clamp(v - 0.5, 0.0, static_cast<double>(h - 1));
  const int x0 = static_cast<int>(fx), y0 = static_cast<int>(fy);
  const int x1 = std::min(x0 + 1, w - 1), y1 = std::min(y0 + 1, h - 1);
  const int wx = static_cast<int>((fx - x0) * 256.0), wy = static_cast<int>((fy - y0) * 256.0);
  const uint32_t* r0 = img + static_cast<size_t>(y0) * w;
  const uint32_t* r1 = img + static_cast<size_t>(y1) * w;
  return Mix(Mix(r0[x0], r0[x1], wx), Mix(r1[x0], r1[x1], wx), wy);
}

double Hash01(int32_t i, int32_t j, uint32_t seed) {
  const uint32_t hsh =
      Mix3(static_cast<uint32_t>(i) * 0x9E3779B1u ^ Mix3(static_cast<uint32_t>(j) + seed * 0x85EBCA77u));
  return (hsh >> 8) * (1.0 / 16777216.0);
}

double ValueNoise(double x, double y, double cell, uint32_t seed) {
  const double gx = x / cell, gy = y / cell;
  const double fx = std::floor(gx), fy = std::floor(gy);
  const int32_t ix = static_cast<int32_t>(fx), iy = static_cast<int32_t>(fy);
  double tx = gx - fx, ty = gy - fy;
  tx = tx * tx * (3 - 2 * tx);
  ty = ty * ty * (3 - 2 * ty);
  const double v00 = Hash01(ix, iy, seed), v10 = Hash01(ix + 1, iy, seed);
  const double v01 = Hash01(ix, iy + 1, seed), v11 = Hash01(ix + 1, iy + 1, seed);
  const double top = v00 + (v10 - v00) * tx, bottom = v01 + (v11 - v01) * tx;
  return top + (bottom - top) * ty;
}

}  // namespace des::fx
