#include "audio_out.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QCoreApplication>
#include <QIODevice>
#include <QMediaDevices>
#include <QThread>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <deque>
#include <mutex>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
}

namespace dshow {

AudioFeed::AudioFeed(int inRate, int inChannels, int inBits, int outRate, int outChannels)
    : inRate_(inRate), inChannels_(inChannels), inBits_(inBits), outRate_(outRate), outChannels_(outChannels) {}

AudioFeed::~AudioFeed() {
  if (swr_) swr_free(&swr_);
}

bool AudioFeed::Setup(double rate) {
  if (swr_ && rate == rate_) return true;
  if (swr_) swr_free(&swr_);
  rate_ = rate;
  AVChannelLayout in, out;
  av_channel_layout_default(&in, inChannels_);
  // One or two channels keep their layout through the resampler (and are mapped to the device's
  // channels afterwards, a single channel at full level on both sides); more are mixed down.
  av_channel_layout_default(&out, MixedChannels());
  // Played faster, the stream's samples stand for a higher rate: resampling to the device's rate
  // gives fewer samples (and a higher pitch), as a faster tape would.
  int asRate = std::max(1, static_cast<int>(std::lround(inRate_ * rate)));
  AVSampleFormat fmt = inBits_ == 8 ? AV_SAMPLE_FMT_U8 : AV_SAMPLE_FMT_S16;
  if (swr_alloc_set_opts2(&swr_, &out, AV_SAMPLE_FMT_S16, outRate_, &in, fmt, asRate, 0, nullptr) < 0 ||
      swr_init(swr_) < 0) {
    if (swr_) swr_free(&swr_);
    return false;
  }
  return true;
}

std::vector<int16_t> AudioFeed::Convert(const uint8_t* data, int bytes, double rate, int32_t volume,
                                        int32_t balance) {
  std::vector<int16_t> out;
  if (!(rate > 0) || !Setup(rate)) return out;
  int frameBytes = inChannels_ * (inBits_ / 8);
  int frames = frameBytes > 0 ? bytes / frameBytes : 0;
  int room = swr_get_out_samples(swr_, frames);
  if (room <= 0) return out;
  const size_t mixed = static_cast<size_t>(MixedChannels());
  std::vector<int16_t> resampled(static_cast<size_t>(room) * mixed);
  uint8_t* outPlanes[1] = {reinterpret_cast<uint8_t*>(resampled.data())};
  const uint8_t* inPlanes[1] = {data};
  int got = swr_convert(swr_, outPlanes, room, inPlanes, frames);
  size_t count = got > 0 ? static_cast<size_t>(got) : 0;
  const size_t channels = static_cast<size_t>(outChannels_);
  out.resize(count * channels);
  for (size_t f = 0; f < count; ++f)
    for (size_t c = 0; c < channels; ++c) {
      if (mixed == channels) {
        out[f * channels + c] = resampled[f * mixed + c];
      } else if (mixed == 1) {
        out[f * channels + c] = resampled[f];
      } else {  // two channels into one
        out[f * channels + c] =
            static_cast<int16_t>((resampled[f * mixed] + resampled[f * mixed + 1]) / 2);
      }
    }
  double gain = volume <= -10000 ? 0.0 : std::pow(10.0, volume / 2000.0);
  double left = gain, right = gain;
  // Balance attenuates the other side by as many hundredths of a decibel.
  if (balance > 0) left *= balance >= 10000 ? 0.0 : std::pow(10.0, -balance / 2000.0);
  if (balance < 0) right *= balance <= -10000 ? 0.0 : std::pow(10.0, balance / 2000.0);
  if (left == 1.0 && right == 1.0) return out;
  for (size_t i = 0; i < out.size(); ++i) {
    double g = outChannels_ >= 2 ? (i % static_cast<size_t>(outChannels_) == 0 ? left : right) : gain;
    out[i] = static_cast<int16_t>(std::clamp(std::lround(out[i] * g), -32768L, 32767L));
  }
  return out;
}

namespace {

// The ring the output device pulls from; missing sound is played as silence.
class Ring : public QIODevice {
 public:
  explicit Ring(size_t capacityBytes) : capacity_(capacityBytes) {}
  bool isSequential() const override { return true; }
  qint64 bytesAvailable() const override { return 1 << 16; }
  void Push(const char* data, size_t n) {
    std::lock_guard lock(lock_);
    bytes_.insert(bytes_.end(), data, data + n);
    if (bytes_.size() > capacity_) bytes_.erase(bytes_.begin(), bytes_.begin() + (bytes_.size() - capacity_));
  }
  void Clear() {
    std::lock_guard lock(lock_);
    bytes_.clear();
  }

 protected:
  qint64 readData(char* data, qint64 max) override {
    std::lock_guard lock(lock_);
    size_t n = std::min<size_t>(static_cast<size_t>(max), bytes_.size());
    n -= n % 4;
    std::copy(bytes_.begin(), bytes_.begin() + static_cast<ptrdiff_t>(n), data);
    bytes_.erase(bytes_.begin(), bytes_.begin() + static_cast<ptrdiff_t>(n));
    std::memset(data + n, 0, static_cast<size_t>(max) - n);
    return max;
  }
  qint64 writeData(const char*, qint64) override { return -1; }

 private:
  std::mutex lock_;
  std::deque<char> bytes_;
  size_t capacity_;
};

class QtAudioDevice : public AudioDevice {
 public:
  QtAudioDevice(const QAudioDevice& device, const QAudioFormat& format)
      : format_(format), ring_(static_cast<size_t>(format.bytesForDuration(1000000))) {
    thread_.start();
    worker_.moveToThread(&thread_);
    ring_.moveToThread(&thread_);
    QMetaObject::invokeMethod(
        &worker_,
        [this, device] {
          ring_.open(QIODevice::ReadOnly);
          sink_ = new QAudioSink(device, format_);
          sink_->setBufferSize(format_.bytesForDuration(100000));
          sink_->start(&ring_);
        },
        Qt::BlockingQueuedConnection);
  }
  ~QtAudioDevice() override {
    QThread* owner = QThread::currentThread();
    QMetaObject::invokeMethod(
        &worker_,
        [this, owner] {
          sink_->stop();
          delete sink_;
          sink_ = nullptr;
          ring_.close();
          ring_.moveToThread(owner);
          worker_.moveToThread(owner);
        },
        Qt::BlockingQueuedConnection);
    thread_.quit();
    thread_.wait();
  }
  int Rate() const override { return format_.sampleRate(); }
  int Channels() const override { return format_.channelCount(); }
  void Write(const int16_t* samples, size_t count) override {
    ring_.Push(reinterpret_cast<const char*>(samples), count * sizeof(int16_t));
  }
  void Clear() override { ring_.Clear(); }
  void Suspend() override {
    QMetaObject::invokeMethod(&worker_, [this] { if (sink_) sink_->suspend(); }, Qt::QueuedConnection);
  }
  void Resume() override {
    QMetaObject::invokeMethod(&worker_, [this] { if (sink_) sink_->resume(); }, Qt::QueuedConnection);
  }

 private:
  QAudioFormat format_;
  Ring ring_;
  QThread thread_;
  QObject worker_;
  QAudioSink* sink_ = nullptr;
};

}  // namespace

std::unique_ptr<AudioDevice> AudioDevice::OpenDefault(int rate, int channels) {
  if (!QCoreApplication::instance()) return nullptr;
  QAudioDevice device = QMediaDevices::defaultAudioOutput();
  if (device.isNull()) return nullptr;
  QAudioFormat format;
  format.setSampleRate(rate);
  format.setChannelCount(std::min(channels, 2));
  format.setSampleFormat(QAudioFormat::Int16);
  if (!device.isFormatSupported(format)) {
    format = device.preferredFormat();
    format.setSampleFormat(QAudioFormat::Int16);
    if (!device.isFormatSupported(format)) return nullptr;
  }
  return std::make_unique<QtAudioDevice>(device, format);
}

}  // namespace dshow
