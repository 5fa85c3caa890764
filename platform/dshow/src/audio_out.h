#pragma once
// Sound output of the audio renderer: the conversion of the stream's PCM for the output device
// (playback rate by resampling, device rate and channels, volume and balance), and the default
// output device of Qt Multimedia fed from a ring of samples.
#include <cstdint>
#include <memory>
#include <vector>

extern "C" {
struct SwrContext;
}

namespace dshow {

class AudioFeed {
 public:
  AudioFeed(int inRate, int inChannels, int inBits, int outRate, int outChannels);
  ~AudioFeed();
  AudioFeed(const AudioFeed&) = delete;
  AudioFeed& operator=(const AudioFeed&) = delete;

  // The samples (16-bit, interleaved, outChannels) for PCM bytes of the stream, played at the
  // rate (0.5 = half speed: twice the samples), with volume (hundredths of a decibel, -10000 to
  // 0) and balance (-10000 left only to 10000 right only) applied.
  std::vector<int16_t> Convert(const uint8_t* data, int bytes, double rate, int32_t volume, int32_t balance);
  int OutChannels() const { return outChannels_; }

 private:
  bool Setup(double rate);
  int MixedChannels() const { return inChannels_ <= 2 ? inChannels_ : outChannels_; }
  int inRate_, inChannels_, inBits_, outRate_, outChannels_;
  double rate_ = 0;
  SwrContext* swr_ = nullptr;
};

// The machine's default sound output, or none.
class AudioDevice {
 public:
  // Null when there is no output device (or no application object to run it).
  static std::unique_ptr<AudioDevice> OpenDefault(int rate, int channels);
  virtual ~AudioDevice() = default;
  virtual int Rate() const = 0;
  virtual int Channels() const = 0;
  // Queues samples for playing; beyond a second of queued sound the oldest are dropped.
  virtual void Write(const int16_t* samples, size_t count) = 0;
  // Drops what is queued (stop, seek).
  virtual void Clear() = 0;
  virtual void Suspend() = 0;
  virtual void Resume() = 0;
};

}  // namespace dshow
