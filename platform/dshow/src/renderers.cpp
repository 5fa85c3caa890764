// Renderers: the video renderer (its own top-level window, or a child of a form's window given
// by handle), the audio renderer (keeps time on the system clock) and the null renderer.
#include <QImage>
#include <QMetaObject>
#include <QPainter>
#include <QPointer>
#include <QThread>
#include <QWidget>
#include <QCloseEvent>
#include <algorithm>
#include <atomic>
#include <cstring>
#include <deque>

#include "forms/qt/hwnd_qt.h"
#include "audio_out.h"
#include "internal.h"

namespace dshow {

namespace {

#define DSHOW_NO_TYPEINFO                                                                  \
  HRESULT GetTypeInfoCount(uint32_t* n) override {                                         \
    if (!n) return E_POINTER;                                                              \
    *n = 0;                                                                                \
    return S_OK;                                                                           \
  }                                                                                        \
  HRESULT GetTypeInfo(uint32_t, LCID, ITypeInfo**) override { return E_NOTIMPL; }         \
  HRESULT GetIDsOfNames(REFIID, const char16_t**, uint32_t, LCID, DISPID*) override {      \
    return E_NOTIMPL;                                                                      \
  }                                                                                        \
  HRESULT Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, uint32_t*) \
      override {                                                                           \
    return E_NOTIMPL;                                                                      \
  }

// A renderer's input: presents each sample at its time on the graph's clock.
class Renderer : public Filter {
 public:
  Renderer(std::u16string name, const CLSID& clsid, std::u16string pinName,
           InputPin::Check check, bool paced)
      : Filter(std::move(name), clsid), in_(this, std::move(pinName), std::move(check)),
        paced_(paced) {}

  int PinCount() override { return 1; }
  Pin* GetPin(int i) override { return i == 0 ? &in_ : nullptr; }
  bool IsRenderer() const override { return true; }
  bool IsPaced() const override { return paced_; }

  HRESULT Receive(Pin*, IMediaSample* sample) override {
    REFERENCE_TIME start = 0, stop = 0;
    bool timed = SUCCEEDED(sample->GetTime(&start, &stop));
    if (timed && stop <= 0) return S_OK;
    if (!firstShown_ && PresentsWhilePaused()) {
      // The first picture shows while paused (a paused graph shows where it stands).
      Present(sample);
      firstShown_ = true;
      if (!WaitUntil(timed ? Due(start) : 0)) return in_.IsFlushing() ? S_FALSE : VFW_E_WRONG_STATE;
      return S_OK;
    }
    // While paused, samples are kept for the run instead of holding the streaming thread at
    // once: the thread may feed other renderers too (a movie's sound and its picture, whose
    // first frame must still reach a paused video window), so it is held only once a stretch
    // of media is waiting here.
    if (timed && !PresentsWhilePaused() && Keep(sample, start, stop)) return S_OK;
    if (!PresentKept()) return in_.IsFlushing() ? S_FALSE : VFW_E_WRONG_STATE;
    if (timed && !WaitUntil(Due(start))) return in_.IsFlushing() ? S_FALSE : VFW_E_WRONG_STATE;
    Present(sample);
    if (Services() && timed) Services()->ReportProgress(stop);
    lastStop_ = timed ? stop : lastStop_;
    return S_OK;
  }

  HRESULT EndOfStream(Pin*) override {
    // Completion is reported when the end of the last sample is due.
    if (!PresentKept()) return S_OK;
    if (!WaitUntil(Due(lastStop_))) return S_OK;
    NotifyEvent(EC_COMPLETE, S_OK, 0);
    return S_OK;
  }

  HRESULT BeginFlush(Pin*) override {
    Forget();
    return S_OK;
  }

  HRESULT NewSegment(Pin*, REFERENCE_TIME start, REFERENCE_TIME stop, double) override {
    segmentLength_ = stop > start ? stop - start : -1;
    return S_OK;
  }

 protected:
  virtual void Present(IMediaSample*) {}
  virtual bool PresentsWhilePaused() const { return false; }

  HRESULT OnStop() override {
    Forget();
    firstShown_ = false;
    lastStop_ = 0;
    return S_OK;
  }

  // Keeps a sample that arrives while paused, unless the samples kept already span the most a
  // paused renderer holds (then the streaming thread waits here for the run, as for any
  // sample). Marks the renderer cued: it has what the run starts with. False when not paused.
  bool Keep(IMediaSample* sample, REFERENCE_TIME start, REFERENCE_TIME stop) {
    constexpr REFERENCE_TIME kMostKept = 20'000'000;  // two seconds of media
    constexpr size_t kMostSamples = 1024;
    {
      std::lock_guard lock(keptLock_);
      // (A stop forgets what was kept once stopping_ is set, so nothing is kept after it.)
      if (stopping_ || state_ != State_Paused || in_.IsFlushing()) return false;
      if (!kept_.empty() && (stop - kept_.front().start > kMostKept || kept_.size() >= kMostSamples)) return false;
      kept_.push_back({ComPtr<IMediaSample>(sample), start, stop});
    }
    MarkCued();
    return true;
  }

  // Presents the samples kept while paused, in order and each at its time; false when the
  // filter stops or flushes first (what is left is forgotten).
  bool PresentKept() {
    while (true) {
      KeptSample next;
      {
        std::lock_guard lock(keptLock_);
        if (kept_.empty()) return true;
        next = kept_.front();
      }
      if (!WaitUntil(Due(next.start))) {
        Forget();
        return false;
      }
      {
        std::lock_guard lock(keptLock_);
        // A stop or flush meanwhile has forgotten it.
        if (kept_.empty() || kept_.front().sample.Get() != next.sample.Get()) continue;
        kept_.pop_front();
      }
      Present(next.sample.Get());
      if (Services()) Services()->ReportProgress(next.stop);
      lastStop_ = next.stop;
    }
  }

  void Forget() {
    std::lock_guard lock(keptLock_);
    kept_.clear();
  }

  // When a sample is due: at its time, but never much later than the end of the segment (the
  // media's length) when that is known. Times far beyond it come from damaged headers; waiting
  // for them would keep the graph from ever completing once its data has ended.
  REFERENCE_TIME Due(REFERENCE_TIME t) const {
    constexpr REFERENCE_TIME kLateness = 10'000'000;  // one second
    return segmentLength_ > 0 ? std::min(t, segmentLength_ + kLateness) : t;
  }

  // Waits until the graph runs and its stream time reaches t; false when the filter stops or
  // flushes first.
  bool WaitUntil(REFERENCE_TIME t) {
    std::unique_lock lock(stateLock_);
    // While paused the streaming thread is held here: the graph hears of it, since a run
    // waiting for every renderer's first sample waits in vain for those behind this one.
    GraphServices* held = nullptr;
    struct Release {
      GraphServices*& held;
      ~Release() {
        if (held) held->StreamHeld(false);
      }
    } release{held};
    while (true) {
      if (stopping_ || state_ == State_Stopped || in_.IsFlushing()) return false;
      if (state_ == State_Running) {
        if (held) {
          held->StreamHeld(false);
          held = nullptr;
        }
        if (!paced_ || !Services()) return true;
        REFERENCE_TIME now = Services()->StreamTime();
        if (now >= t) return true;
        int64_t wait = std::min<int64_t>((t - now) / 10, 20000);
        stateChanged_.wait_for(lock, std::chrono::microseconds(std::max<int64_t>(wait, 500)));
      } else {
        if (!held && (held = Services())) {
          MarkCued();  // it holds a sample (or the end) while it waits
          held->StreamHeld(true);
        }
        stateChanged_.wait_for(lock, std::chrono::milliseconds(20));
      }
    }
  }

  struct KeptSample {
    ComPtr<IMediaSample> sample;
    REFERENCE_TIME start = 0, stop = 0;
  };

  InputPin in_;
  bool paced_;
  std::mutex keptLock_;
  std::deque<KeptSample> kept_;  // samples taken while paused, not yet presented
  bool firstShown_ = false;
  REFERENCE_TIME lastStop_ = 0;
  std::atomic<REFERENCE_TIME> segmentLength_{-1};
};

// --- Audio renderer ---------------------------------------------------------------------

// Plays through the machine's default output when it has one; without one (or without an
// application object) it only keeps time on the clock, so that graphs still run and complete.
class AudioRenderer : public Renderer, public IBasicAudio {
 public:
  AudioRenderer()
      : Renderer(u"Audio Renderer", CLSID_AudioRender, u"Audio Input pin (rendered)",
                 [](const AM_MEDIA_TYPE& mt) { return IsPcmAudio(mt) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED; },
                 true) {}
  DSHOW_FORWARD_IUNKNOWN(Renderer)
  DSHOW_NO_TYPEINFO

  HRESULT put_Volume(LONG v) override {
    if (v < -10000 || v > 0) return E_INVALIDARG;
    volume_ = v;
    return S_OK;
  }
  HRESULT get_Volume(LONG* v) override {
    if (!v) return E_POINTER;
    *v = volume_;
    return S_OK;
  }
  HRESULT put_Balance(LONG v) override {
    if (v < -10000 || v > 10000) return E_INVALIDARG;
    balance_ = v;
    return S_OK;
  }
  HRESULT get_Balance(LONG* v) override {
    if (!v) return E_POINTER;
    *v = balance_;
    return S_OK;
  }

 protected:
  void Present(IMediaSample* sample) override {
    std::lock_guard lock(deviceLock_);
    if (!device_ || !feed_) return;
    BYTE* data = nullptr;
    sample->GetPointer(&data);
    double rate = Services() ? Services()->Rate() : 1.0;
    auto samples = feed_->Convert(data, sample->GetActualDataLength(), rate, volume_, balance_);
    if (!samples.empty()) device_->Write(samples.data(), samples.size());
  }
  HRESULT OnPause() override {
    std::lock_guard lock(deviceLock_);
    if (State() == State_Stopped && !device_) {
      MediaType mt = in_.CurrentType();
      if (const WAVEFORMATEX* wf = WaveFormat(mt)) {
        device_ = AudioDevice::OpenDefault(static_cast<int>(wf->nSamplesPerSec), wf->nChannels);
        if (device_)
          feed_ = std::make_unique<AudioFeed>(static_cast<int>(wf->nSamplesPerSec), wf->nChannels,
                                              wf->wBitsPerSample, device_->Rate(), device_->Channels());
      }
    }
    if (device_ && State() == State_Running) device_->Suspend();
    return S_OK;
  }
  HRESULT OnRun(REFERENCE_TIME) override {
    std::lock_guard lock(deviceLock_);
    if (device_) device_->Resume();
    return S_OK;
  }
  HRESULT OnStop() override {
    {
      std::lock_guard lock(deviceLock_);
      device_.reset();
      feed_.reset();
    }
    return Renderer::OnStop();
  }
  HRESULT QueryOther(REFIID riid, void** ppv) override {
    if (riid == IBasicAudio::iid) {
      *ppv = static_cast<IBasicAudio*>(this);
    } else {
      return Filter::QueryOther(riid, ppv);
    }
    AddRef();
    return S_OK;
  }

 private:
  std::atomic<LONG> volume_{0};
  std::atomic<LONG> balance_{0};
  std::mutex deviceLock_;
  std::unique_ptr<AudioDevice> device_;
  std::unique_ptr<AudioFeed> feed_;
};

// --- Video renderer ---------------------------------------------------------------------

class VideoWidget : public QWidget {
 public:
  std::function<void()> onClose;
  QImage frame;

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    if (frame.isNull()) {
      p.fillRect(rect(), Qt::black);
      return;
    }
    p.drawImage(rect(), frame);
  }
  void closeEvent(QCloseEvent* e) override {
    e->ignore();
    hide();
    if (onClose) onClose();
  }
};

class VideoRenderer : public Renderer, public IVideoWindow, public IBasicVideo {
 public:
  VideoRenderer()
      : Renderer(u"Video Renderer", CLSID_VideoRenderer, u"Input",
                 [](const AM_MEDIA_TYPE& mt) {
                   const VIDEOINFOHEADER* v = VideoInfo(mt);
                   if (!v || mt.majortype != MEDIATYPE_Video) return VFW_E_TYPE_NOT_ACCEPTED;
                   if (mt.subtype == MEDIASUBTYPE_RGB32 || mt.subtype == MEDIASUBTYPE_RGB24 ||
                       mt.subtype == MEDIASUBTYPE_RGB565 || mt.subtype == MEDIASUBTYPE_RGB555)
                     return S_OK;
                   return VFW_E_TYPE_NOT_ACCEPTED;
                 },
                 true) {}
  ~VideoRenderer() override {
    if (!widget_) return;
    if (QThread::currentThread() == widget_->thread()) delete widget_.data();
    else widget_->deleteLater();
  }
  DSHOW_FORWARD_IUNKNOWN(Renderer)
  DSHOW_NO_TYPEINFO

  void PinConnected(Pin*) override {
    MediaType mt = in_.CurrentType();
    if (const VIDEOINFOHEADER* v = VideoInfo(mt)) {
      videoWidth_ = v->bmiHeader.biWidth;
      videoHeight_ = std::abs(v->bmiHeader.biHeight);
      avgTimePerFrame_ = v->AvgTimePerFrame;
      if (!sized_) {
        width_ = videoWidth_;
        height_ = videoHeight_;
      }
    }
  }

  // IVideoWindow
  HRESULT put_Caption(const Bstr& caption) override {
    if (!Connected()) return VFW_E_NOT_CONNECTED;
    caption_ = caption.Utf8();
    Apply();
    return S_OK;
  }
  HRESULT get_Caption(Bstr* caption) override {
    if (!caption) return E_POINTER;
    if (!Connected()) return VFW_E_NOT_CONNECTED;
    *caption = Bstr(caption_);
    return S_OK;
  }
  HRESULT put_WindowStyle(LONG v) override { return SetLong(style_, v); }
  HRESULT get_WindowStyle(LONG* v) override { return GetLong(style_, v); }
  HRESULT put_WindowStyleEx(LONG v) override { return SetLong(styleEx_, v); }
  HRESULT get_WindowStyleEx(LONG* v) override { return GetLong(styleEx_, v); }
  HRESULT put_AutoShow(LONG v) override { return SetLong(autoShow_, v ? OATRUE : OAFALSE); }
  HRESULT get_AutoShow(LONG* v) override { return GetLong(autoShow_, v); }
  HRESULT put_WindowState(LONG v) override { return SetLong(windowState_, v); }
  HRESULT get_WindowState(LONG* v) override { return GetLong(windowState_, v); }
  HRESULT put_Visible(LONG v) override {
    if (v != OATRUE && v != OAFALSE) return E_INVALIDARG;
    return SetLong(visible_, v);
  }
  HRESULT get_Visible(LONG* v) override {
    if (widget_) visible_ = widget_->isVisible() ? OATRUE : OAFALSE;
    return GetLong(visible_, v);
  }
  HRESULT put_Left(LONG v) override { return SetLong(left_, Coordinate(v)); }
  HRESULT get_Left(LONG* v) override { return GetLong(left_, v); }
  HRESULT put_Width(LONG v) override {
    if (v < 0) return E_INVALIDARG;
    sized_ = true;
    return SetLong(width_, Coordinate(v));
  }
  HRESULT get_Width(LONG* v) override { return GetLong(width_, v); }
  HRESULT put_Top(LONG v) override { return SetLong(top_, Coordinate(v)); }
  HRESULT get_Top(LONG* v) override { return GetLong(top_, v); }
  HRESULT put_Height(LONG v) override {
    if (v < 0) return E_INVALIDARG;
    sized_ = true;
    return SetLong(height_, Coordinate(v));
  }
  HRESULT get_Height(LONG* v) override { return GetLong(height_, v); }
  HRESULT put_Owner(OAHWND v) override {
    if (!Connected()) return VFW_E_NOT_CONNECTED;
    owner_ = v;
    Apply();
    return S_OK;
  }
  HRESULT get_Owner(OAHWND* v) override {
    if (!v) return E_POINTER;
    if (!Connected()) return VFW_E_NOT_CONNECTED;
    *v = owner_;
    return S_OK;
  }
  HRESULT put_MessageDrain(OAHWND v) override {
    drain_ = v;
    return S_OK;
  }
  HRESULT get_MessageDrain(OAHWND* v) override {
    if (!v) return E_POINTER;
    *v = drain_;
    return S_OK;
  }
  HRESULT SetWindowPosition(LONG l, LONG t, LONG w, LONG h) override {
    if (!Connected()) return VFW_E_NOT_CONNECTED;
    if (w < 0 || h < 0) return E_INVALIDARG;
    left_ = Coordinate(l);
    top_ = Coordinate(t);
    width_ = Coordinate(w);
    height_ = Coordinate(h);
    sized_ = true;
    Apply();
    return S_OK;
  }
  HRESULT GetWindowPosition(LONG* l, LONG* t, LONG* w, LONG* h) override {
    if (!l || !t || !w || !h) return E_POINTER;
    if (!Connected()) return VFW_E_NOT_CONNECTED;
    *l = left_;
    *t = top_;
    *w = width_;
    *h = height_;
    return S_OK;
  }
  HRESULT SetWindowForeground(LONG) override {
    if (widget_) widget_->raise();
    return S_OK;
  }

  // IBasicVideo
  HRESULT get_AvgTimePerFrame(REFTIME* t) override {
    if (!t) return E_POINTER;
    if (!Connected()) return VFW_E_NOT_CONNECTED;
    *t = static_cast<double>(avgTimePerFrame_) / UNITS;
    return S_OK;
  }
  HRESULT get_BitRate(LONG* r) override {
    if (!r) return E_POINTER;
    if (!Connected()) return VFW_E_NOT_CONNECTED;
    MediaType mt = in_.CurrentType();
    *r = VideoInfo(mt) ? static_cast<LONG>(VideoInfo(mt)->dwBitRate) : 0;
    return S_OK;
  }
  HRESULT get_VideoWidth(LONG* w) override { return GetVideo(videoWidth_, w); }
  HRESULT get_VideoHeight(LONG* h) override { return GetVideo(videoHeight_, h); }
  HRESULT GetVideoSize(LONG* w, LONG* h) override {
    HRESULT hr = GetVideo(videoWidth_, w);
    return FAILED(hr) ? hr : GetVideo(videoHeight_, h);
  }

 protected:
  HRESULT QueryOther(REFIID riid, void** ppv) override {
    if (riid == IVideoWindow::iid) {
      *ppv = static_cast<IVideoWindow*>(this);
    } else if (riid == IBasicVideo::iid) {
      *ppv = static_cast<IBasicVideo*>(this);
    } else {
      return Filter::QueryOther(riid, ppv);
    }
    AddRef();
    return S_OK;
  }

  bool PresentsWhilePaused() const override { return true; }

  HRESULT OnPause() override {
    if (State() == State_Stopped && autoShow_ == OATRUE) {
      visible_ = OATRUE;
      Apply();
    }
    return S_OK;
  }

  void Present(IMediaSample* sample) override {
    // The streaming thread only copies the handle to the window (which the window thread makes
    // and deletes); the picture is handed over on the window thread, which alone may look at it.
    QPointer<VideoWidget> w;
    {
      std::lock_guard lock(widgetLock_);
      w = widget_;
    }
    if (!w) return;
    MediaType mt = in_.CurrentType();
    const VIDEOINFOHEADER* v = VideoInfo(mt);
    if (!v) return;
    int width = v->bmiHeader.biWidth, height = std::abs(v->bmiHeader.biHeight);
    QImage::Format fmt = QImage::Format_RGB32;
    if (mt.subtype == MEDIASUBTYPE_RGB24) fmt = QImage::Format_BGR888;
    else if (mt.subtype == MEDIASUBTYPE_RGB565) fmt = QImage::Format_RGB16;
    else if (mt.subtype == MEDIASUBTYPE_RGB555) fmt = QImage::Format_RGB555;
    int stride = DibStride(width, v->bmiHeader.biBitCount);
    if (sample->GetActualDataLength() < stride * height) return;
    BYTE* data = nullptr;
    sample->GetPointer(&data);
    QImage image = QImage(data, width, height, stride, fmt).copy();
    if (v->bmiHeader.biHeight > 0) image = image.mirrored(false, true);
    QMetaObject::invokeMethod(
        qApp,
        [w, image] {
          if (!w) return;
          w->frame = image;
          w->update();
        },
        Qt::QueuedConnection);
  }

 private:
  bool Connected() const { return in_.IsConnected(); }
  // The desktop's coordinates are 16-bit: a place beyond them is clamped to their edge, where a
  // window put far off the screen stays off it (rather than wrapping round onto it).
  static LONG Coordinate(LONG v) { return std::clamp<LONG>(v, -32768, 32767); }
  HRESULT SetLong(LONG& field, LONG v) {
    if (!Connected()) return VFW_E_NOT_CONNECTED;
    field = v;
    Apply();
    return S_OK;
  }
  HRESULT GetLong(LONG field, LONG* v) {
    if (!v) return E_POINTER;
    if (!Connected()) return VFW_E_NOT_CONNECTED;
    *v = field;
    return S_OK;
  }
  HRESULT GetVideo(LONG field, LONG* v) {
    if (!v) return E_POINTER;
    if (!Connected()) return VFW_E_NOT_CONNECTED;
    *v = field;
    return S_OK;
  }

  // Brings the window in line with the properties (on the window thread only).
  void Apply() {
    if (!qApp || QThread::currentThread() != qApp->thread()) return;
    if (!widget_) {
      if (visible_ != OATRUE && owner_ == 0) return;
      std::lock_guard lock(widgetLock_);
      widget_ = new VideoWidget;
      widget_->setAttribute(Qt::WA_OpaquePaintEvent);
      widget_->onClose = [this] {
        visible_ = OAFALSE;
        NotifyEvent(EC_USERABORT, 0, 0);
      };
    }
    QWidget* parent = owner_ ? WidgetFromHwnd(static_cast<HWND>(owner_)) : nullptr;
    if (widget_->parentWidget() != parent) {
      bool shown = visible_ == OATRUE;
      widget_->setParent(parent, parent ? Qt::Widget : Qt::Window);
      widget_->setVisible(shown);
    }
    widget_->setWindowTitle(QString::fromStdString(caption_));
    widget_->setGeometry(left_, top_, std::max<LONG>(width_, 1), std::max<LONG>(height_, 1));
    widget_->setVisible(visible_ == OATRUE);
  }

  std::mutex widgetLock_;  // guards widget_ itself (set on the window thread, read when presenting)
  QPointer<VideoWidget> widget_;
  std::string caption_ = "Video Window";
  LONG style_ = 0x06CF0000, styleEx_ = 0, autoShow_ = OATRUE, windowState_ = 1;
  LONG visible_ = OAFALSE;
  LONG left_ = 0, top_ = 0, width_ = 0, height_ = 0;
  bool sized_ = false;
  OAHWND owner_ = 0, drain_ = 0;
  LONG videoWidth_ = 0, videoHeight_ = 0;
  REFERENCE_TIME avgTimePerFrame_ = 0;
};

class NullRenderer : public Renderer {
 public:
  NullRenderer()
      : Renderer(u"Null Renderer", CLSID_NullRenderer, u"In", [](const AM_MEDIA_TYPE&) { return S_OK; },
                 false) {}
};

}  // namespace

void RegisterRendererFilters() {
  FilterTemplate v;
  v.name = u"Video Renderer";
  v.clsid = CLSID_VideoRenderer;
  v.category = CLSID_LegacyAmFilterCategory;
  v.merit = MERIT_PREFERRED + 1;
  v.hasOutputs = false;
  v.inputs = {{MEDIATYPE_Video, GUID_NULL}};
  v.create = [](IBaseFilter** out) -> HRESULT {
    *out = MakeComObject<VideoRenderer>().Detach();
    return S_OK;
  };
  AddSystemTemplate(std::move(v));
  FilterTemplate a;
  a.name = u"Audio Renderer";
  a.clsid = CLSID_AudioRender;
  a.category = CLSID_LegacyAmFilterCategory;
  a.merit = MERIT_PREFERRED + 1;
  a.hasOutputs = false;
  a.inputs = {{MEDIATYPE_Audio, MEDIASUBTYPE_PCM}};
  a.create = [](IBaseFilter** out) -> HRESULT {
    *out = MakeComObject<AudioRenderer>().Detach();
    return S_OK;
  };
  AddSystemTemplate(std::move(a));
  FilterTemplate n;
  n.name = u"Null Renderer";
  n.clsid = CLSID_NullRenderer;
  n.category = CLSID_LegacyAmFilterCategory;
  n.merit = MERIT_DO_NOT_USE;
  n.autoConnect = false;
  n.hasOutputs = false;
  n.inputs = {{GUID_NULL, GUID_NULL}};
  n.create = [](IBaseFilter** out) -> HRESULT {
    *out = MakeComObject<NullRenderer>().Detach();
    return S_OK;
  };
  AddSystemTemplate(std::move(n));
}

}  // namespace dshow
