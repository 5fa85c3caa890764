#include "group_renderer.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "des/transitions.h"

namespace des_detail {

namespace {
// How far ahead of its start a source begins decoding.
constexpr REFERENCE_TIME kLookahead = 3 * 10000000LL;

template <class T>
const T* Covering(const std::vector<T>& list, REFERENCE_TIME t) {
  for (const auto& x : list)
    if (x.start <= t && t < x.stop) return &x;
  return nullptr;
}

double Progress(const TransitionSnap& tr, REFERENCE_TIME t) {
  const double span = static_cast<double>(tr.stop - tr.start);
  return span > 0 ? std::clamp(static_cast<double>(t - tr.start) / span, 0.0, 1.0) : 1.0;
}
}  // namespace

GroupRenderer::GroupRenderer(const GroupSnap& group, bool transitionsEnabled,
                             REFERENCE_TIME duration)
    : group_(group), transitions_(transitionsEnabled), duration_(duration) {
  if (group_.video) {
    const VIDEOINFOHEADER* vih = VideoInfo(group_.type);
    width_ = vih ? vih->bmiHeader.biWidth : 320;
    height_ = vih ? std::abs(vih->bmiHeader.biHeight) : 240;
    black_.assign(static_cast<size_t>(width_) * height_, 0xFF000000u);
  } else {
    const WAVEFORMATEX* wf = WaveFormat(group_.type);
    rate_ = wf ? static_cast<int>(wf->nSamplesPerSec) : 44100;
    channels_ = wf ? wf->nChannels : 2;
  }
  for (const auto& track : group_.tracks) {
    std::vector<Clip> clips;
    for (const auto& s : track.sources)
      if (s.stop > s.start) clips.push_back(Clip{&s, nullptr, false});
    clips_.push_back(std::move(clips));
  }
}

GroupRenderer::~GroupRenderer() { Abort(); }

void GroupRenderer::Abort() {
  std::lock_guard lock(readersLock_);
  aborted_ = true;
  for (auto& track : clips_)
    for (auto& c : track)
      if (c.reader) c.reader->Abort();
}

REFERENCE_TIME GroupRenderer::FrameTime(int64_t k) const {
  return std::llround(static_cast<double>(k) * 1e7 / group_.fps);
}

int64_t GroupRenderer::FirstFrameAtOrAfter(REFERENCE_TIME t) const {
  int64_t k = static_cast<int64_t>(std::floor(static_cast<double>(t) * group_.fps / 1e7));
  k = std::max<int64_t>(0, k - 1);
  while (FrameTime(k) < t) ++k;
  return k;
}

int64_t GroupRenderer::FrameCount() const { return FirstFrameAtOrAfter(duration_); }

REFERENCE_TIME GroupRenderer::SampleTime(int64_t i) const {
  return static_cast<REFERENCE_TIME>(i * 10000000LL / rate_);
}

int64_t GroupRenderer::SampleAt(REFERENCE_TIME t) const {
  return static_cast<int64_t>((static_cast<__int128>(t) * rate_ + 9999999) / 10000000);
}

int64_t GroupRenderer::SampleCount() const { return SampleAt(duration_); }

ClipReader* GroupRenderer::ReaderFor(Clip& clip, REFERENCE_TIME firstNeeded) {
  if (clip.done || aborted_) return nullptr;
  if (!clip.reader) {
    const SourceSnap& s = *clip.source;
    const REFERENCE_TIME mstart = s.hasMediaTimes ? s.mediaStart : 0;
    const REFERENCE_TIME at = mstart + std::max<REFERENCE_TIME>(0, firstNeeded - s.start);
    ClipReader::Target target;
    target.video = group_.video;
    target.width = width_;
    target.height = height_;
    target.rate = rate_;
    target.channels = channels_;
    target.fileSize = s.fileSize;
    // Frames decoded ahead: the group's buffering, at most about 64 MB of pictures.
    size_t ahead = static_cast<size_t>(std::clamp(group_.buffering, 4, 64));
    if (group_.video)
      ahead = std::min(ahead, std::max<size_t>(2, (size_t{64} << 20) / (static_cast<size_t>(width_) * height_ * 4)));
    auto reader = std::make_unique<ClipReader>(s.path, target, at, ahead);
    std::lock_guard lock(readersLock_);
    if (aborted_) reader->Abort();
    clip.reader = std::move(reader);
  }
  return clip.reader.get();
}

// Starts the readers of sources due soon and ends those of sources that are over.
void GroupRenderer::Prepare(REFERENCE_TIME t) {
  for (auto& track : clips_)
    for (auto& c : track) {
      if (c.done) continue;
      if (t >= c.source->stop) {
        std::unique_ptr<ClipReader> old;
        {
          std::lock_guard lock(readersLock_);
          old = std::move(c.reader);
        }
        c.done = true;
      } else if (!c.reader && t >= c.source->start - kLookahead) {
        ReaderFor(c, t);
      }
    }
}

void GroupRenderer::RenderPicture(REFERENCE_TIME t, std::vector<uint32_t>& out) {
  Prepare(t);
  out = black_;
  for (size_t ti = 0; ti < clips_.size(); ++ti) {
    const auto& track = group_.tracks[ti];
    Picture pic;
    bool covered = false;
    for (auto& c : clips_[ti]) {
      if (c.source->start <= t && t < c.source->stop) {
        covered = true;
        if (ClipReader* r = ReaderFor(c, t)) {
          const REFERENCE_TIME mstart = c.source->hasMediaTimes ? c.source->mediaStart : 0;
          pic = r->PictureAt(mstart + (t - c.source->start));
          if (const HRESULT hr = r->Failure(); FAILED(hr)) failure_ = hr;
        }
        break;
      }
    }
    const std::vector<uint32_t>& own = pic ? *pic : black_;
    if (const TransitionSnap* tr = Covering(track.transitions, t)) {
      const des::TransitionEffect* fx = des::FindTransition(tr->clsid);
      if (transitions_ && fx) {
        scratch_.resize(out.size());
        fx->apply(out.data(), own.data(), scratch_.data(), width_, height_, Progress(*tr, t));
        out.swap(scratch_);
      } else {
        out = own;
      }
    } else if (covered) {
      out = own;
    }
  }
}

void GroupRenderer::RenderSound(int64_t first, size_t count, int16_t* out) {
  const size_t ch = static_cast<size_t>(channels_);
  std::vector<int32_t> mix(count * ch, 0);
  std::vector<int16_t> own(count * ch);
  Prepare(SampleTime(first));
  for (size_t ti = 0; ti < clips_.size(); ++ti) {
    std::fill(own.begin(), own.end(), 0);
    for (auto& c : clips_[ti]) {
      const int64_t a = std::max(first, SampleAt(c.source->start));
      const int64_t b = std::min(first + static_cast<int64_t>(count), SampleAt(c.source->stop));
      if (a >= b) continue;
      if (ClipReader* r = ReaderFor(c, SampleTime(a))) {
        r->ReadSound(own.data() + static_cast<size_t>(a - first) * ch, static_cast<size_t>(b - a));
        if (const HRESULT hr = r->Failure(); FAILED(hr)) failure_ = hr;
      }
    }
    const auto& transitions = group_.tracks[ti].transitions;
    for (size_t i = 0; i < count; ++i) {
      const REFERENCE_TIME t = SampleTime(first + static_cast<int64_t>(i));
      const TransitionSnap* tr = transitions.empty() ? nullptr : Covering(transitions, t);
      for (size_t c = 0; c < ch; ++c) {
        int32_t& m = mix[i * ch + c];
        const int32_t o = own[i * ch + c];
        if (!tr) {
          m += o;
        } else if (transitions_) {
          const double p = Progress(*tr, t);
          m = static_cast<int32_t>(std::lround(m * (1.0 - p) + o * p));
        } else {
          m = o;
        }
        m = std::clamp<int32_t>(m, -32768, 32767);
      }
    }
  }
  for (size_t i = 0; i < mix.size(); ++i) out[i] = static_cast<int16_t>(mix[i]);
}

void PackPicture(const std::vector<uint32_t>& pixels, const AM_MEDIA_TYPE& type, uint8_t* out) {
  const VIDEOINFOHEADER* vih = VideoInfo(type);
  const int w = vih->bmiHeader.biWidth;
  const int h = std::abs(vih->bmiHeader.biHeight);
  const bool bottomUp = vih->bmiHeader.biHeight > 0;
  const int bits = vih->bmiHeader.biBitCount;
  const int stride = DibStride(w, bits);
  const bool is565 = type.subtype == MEDIASUBTYPE_RGB565;
  for (int y = 0; y < h; ++y) {
    const uint32_t* src = pixels.data() + static_cast<size_t>(y) * w;
    uint8_t* row = out + static_cast<size_t>(bottomUp ? h - 1 - y : y) * stride;
    std::memset(row + static_cast<size_t>(w) * bits / 8, 0, static_cast<size_t>(stride - w * bits / 8));
    for (int x = 0; x < w; ++x) {
      const uint32_t p = src[x];
      const uint32_t r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
      if (bits == 16) {
        const uint16_t v = is565 ? static_cast<uint16_t>(((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3))
                                 : static_cast<uint16_t>(((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3));
        row[2 * x] = static_cast<uint8_t>(v);
        row[2 * x + 1] = static_cast<uint8_t>(v >> 8);
      } else if (bits == 24) {
        row[3 * x] = static_cast<uint8_t>(b);
        row[3 * x + 1] = static_cast<uint8_t>(g);
        row[3 * x + 2] = static_cast<uint8_t>(r);
      } else {
        std::memcpy(row + 4 * x, &p, 4);
      }
    }
  }
}

}  // namespace des_detail
