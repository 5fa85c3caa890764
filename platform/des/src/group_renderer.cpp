#include "group_renderer.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "des/transitions.h"

namespace des_detail {

namespace {
// How far ahead of its start a source begins decoding.
constexpr REFERENCE_TIME kLookahead = 3 * 10000000LL;

const TransitionSnap* Covering(const std::vector<const TransitionSnap*>& list, REFERENCE_TIME t) {
  for (const TransitionSnap* x : list)
    if (x->start <= t && t < x->stop) return x;
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
  for (size_t ti = 0; ti < group_.tracks.size(); ++ti) {
    for (const auto& src : group_.tracks[ti].sources)
      if (src.stop > src.start) clips_.push_back(Clip{&src, ti, nullptr, false});
    for (const auto& tr : group_.tracks[ti].transitions)
      if (tr.stop > tr.start) transitionList_.push_back(Transition{&tr, ti});
  }
  std::stable_sort(clips_.begin(), clips_.end(),
                   [](const Clip& a, const Clip& b) { return a.source->start < b.source->start; });
  std::stable_sort(transitionList_.begin(), transitionList_.end(), [](const Transition& a, const Transition& b) {
    return a.transition->start < b.transition->start;
  });
}

GroupRenderer::~GroupRenderer() { Abort(); }

void GroupRenderer::Abort() {
  std::lock_guard lock(readersLock_);
  aborted_ = true;
  for (auto& c : clips_)
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

void GroupRenderer::Prepare(REFERENCE_TIME t, REFERENCE_TIME until, bool startReaders) {
  // Sources met: those due within the lookahead and those starting before `until`.
  while (nextClip_ < clips_.size()) {
    Clip& c = clips_[nextClip_];
    if (c.source->start - kLookahead > t && c.source->start >= until) break;
    liveClips_.push_back(&c);
    ++nextClip_;
  }
  size_t kept = 0;
  for (Clip* c : liveClips_) {
    if (t >= c->source->stop) {
      std::unique_ptr<ClipReader> old;
      {
        std::lock_guard lock(readersLock_);
        old = std::move(c->reader);
      }
      c->done = true;
      continue;
    }
    liveClips_[kept++] = c;
  }
  liveClips_.resize(kept);
  if (startReaders)
    for (Clip* c : liveClips_)
      if (!c->reader && t >= c->source->start - kLookahead) ReaderFor(*c, t);

  while (nextTransition_ < transitionList_.size() && transitionList_[nextTransition_].transition->start < until)
    liveTransitions_.push_back(&transitionList_[nextTransition_++]);
  liveTransitions_.erase(std::remove_if(liveTransitions_.begin(), liveTransitions_.end(),
                                        [&](const Transition* x) { return x->transition->stop <= t; }),
                         liveTransitions_.end());

  // The tracks taking part in [t, until), bottom first.
  work_.clear();
  auto slot = [&](size_t track) -> TrackWork& {
    for (auto& w : work_)
      if (w.track == track) return w;
    work_.push_back(TrackWork{track, {}, {}});
    return work_.back();
  };
  for (Clip* c : liveClips_)
    if (c->source->start < until) slot(c->track).clips.push_back(c);
  for (const Transition* x : liveTransitions_) slot(x->track).transitions.push_back(x->transition);
  std::sort(work_.begin(), work_.end(), [](const TrackWork& a, const TrackWork& b) { return a.track < b.track; });
  tracksVisited_ = work_.size();
}

const SourceSnap* GroupRenderer::TopSourceAt(REFERENCE_TIME t, bool* transition) {
  Prepare(t, t + 1, false);
  const SourceSnap* top = nullptr;
  *transition = false;
  for (const TrackWork& w : work_) {
    for (const Clip* c : w.clips)
      if (c->source->start <= t && t < c->source->stop) top = c->source;
    if (Covering(w.transitions, t)) *transition = true;
  }
  return top;
}

void GroupRenderer::RenderPicture(REFERENCE_TIME t, std::vector<uint32_t>& out) {
  Prepare(t, t + 1, true);
  // What the tracks so far show: black, a source's own picture (held), or a blend in `out`;
  // copied into `out` once at the end.
  const std::vector<uint32_t>* shown = &black_;
  Picture held;
  for (const TrackWork& w : work_) {
    Picture pic;
    bool covered = false;
    for (Clip* c : w.clips) {
      if (c->source->start <= t && t < c->source->stop) {
        covered = true;
        if (ClipReader* r = ReaderFor(*c, t)) {
          const REFERENCE_TIME mstart = c->source->hasMediaTimes ? c->source->mediaStart : 0;
          pic = r->PictureAt(mstart + (t - c->source->start));
          if (const HRESULT hr = r->Failure(); FAILED(hr)) failure_ = hr;
        }
        break;
      }
    }
    const std::vector<uint32_t>& own = pic ? *pic : black_;
    if (const TransitionSnap* tr = Covering(w.transitions, t)) {
      const des::TransitionEffect* fx = des::FindTransition(tr->clsid);
      if (transitions_ && fx) {
        scratch_.resize(black_.size());
        fx->apply(shown->data(), own.data(), scratch_.data(), width_, height_, Progress(*tr, t));
        out.swap(scratch_);
        shown = &out;
        held.reset();
        continue;
      }
      covered = true;
    }
    if (covered) {
      held = pic;
      shown = pic ? pic.get() : &black_;
    }
  }
  if (shown != &out) out = *shown;
}

void GroupRenderer::RenderSound(int64_t first, size_t count, int16_t* out) {
  const size_t ch = static_cast<size_t>(channels_);
  const int64_t end = first + static_cast<int64_t>(count);
  std::vector<int32_t> mix(count * ch, 0);
  std::vector<int16_t> own(count * ch);
  Prepare(SampleTime(first), SampleTime(end) + 1, true);
  for (const TrackWork& w : work_) {
    // A track without a transition in the block adds its sources where they play (silence
    // elsewhere adds nothing); one with a transition mixes sample by sample.
    const bool fading = !w.transitions.empty();
    if (fading) std::fill(own.begin(), own.end(), 0);
    for (Clip* c : w.clips) {
      const int64_t a = std::max(first, SampleAt(c->source->start));
      const int64_t b = std::min(end, SampleAt(c->source->stop));
      if (a >= b) continue;
      const size_t from = static_cast<size_t>(a - first) * ch, to = static_cast<size_t>(b - first) * ch;
      ClipReader* r = ReaderFor(*c, SampleTime(a));
      if (r) {
        r->ReadSound(own.data() + from, static_cast<size_t>(b - a));
        if (const HRESULT hr = r->Failure(); FAILED(hr)) failure_ = hr;
      } else {
        std::fill(own.begin() + static_cast<std::ptrdiff_t>(from), own.begin() + static_cast<std::ptrdiff_t>(to), 0);
      }
      if (!fading)
        for (size_t i = from; i < to; ++i) mix[i] = std::clamp<int32_t>(mix[i] + own[i], -32768, 32767);
    }
    if (!fading) continue;
    for (size_t i = 0; i < count; ++i) {
      const REFERENCE_TIME t = SampleTime(first + static_cast<int64_t>(i));
      const TransitionSnap* tr = Covering(w.transitions, t);
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
