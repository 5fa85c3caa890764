// The encoder's property pages: the statistics page and the five configuration pages (sources,
// output, compression, attributes, summary), on Qt widgets.
#include <QComboBox>
#include <QFormLayout>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <cstring>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <type_traits>

#include "com/com.h"
#include "com/interfaces.h"
#include "com/object.h"
#include "com/propertypages.h"
#include "core/error.h"
#include "forms/qt/hwnd_qt.h"
#include "forms/responder.h"
#include "wmenc/wmenc.h"
#include "wmenc_internal.h"

namespace wmenc {

namespace {

constexpr const char* kSource = "WMEncoder";

char16_t* TaskText(const std::u16string& s) {
  auto* p = static_cast<char16_t*>(CoTaskMemAlloc((s.size() + 1) * sizeof(char16_t)));
  if (p) std::memcpy(p, s.c_str(), (s.size() + 1) * sizeof(char16_t));
  return p;
}

QString Q(const std::string& s) { return QString::fromStdString(s); }
QString Q(const Bstr& s) { return Q(s.Utf8()); }

std::string Hex(HRESULT hr) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%08X", static_cast<unsigned>(hr));
  return buf;
}

// The first source group, added when there is none and `add` is set.
ComPtr<IWMEncSourceGroup> FirstGroup(IWMEncoder* enc, bool add) {
  ComPtr<IWMEncSourceGroupCollection> groups;
  ComPtr<IWMEncSourceGroup> g;
  if (FAILED(enc->get_SourceGroupCollection(groups.put()))) return g;
  int32_t n = 0;
  groups->get_Count(&n);
  if (n > 0) groups->Item(0, g.put());
  else if (add) groups->Add(Bstr("Sources"), g.put());
  return g;
}

// Why an output cannot be used ("" when it can): it names the group's source file, which Start
// refuses.
std::string OutputRefusal(IWMEncSourceGroup* group, const std::string& output) {
  if (group && NamesSameFile(GroupSourceFile(group), output))
    return "The output file \"" + output + "\" is the source file. Choose another name.";
  return {};
}

// Why the group's profile cannot encode its source ("" when it can, or when there is no source
// or no profile yet): the profile has no stream of a type the source has.
std::string ProfileMisfit(IWMEncSourceGroup* group) {
  ComPtr<IWMEncProfile> p;
  if (!group || FAILED(group->get_Profile(p.put())) || !p) return {};
  int16_t a = 0, v = 0, pa = 0, pv = 0;
  group->get_SourceCount(WMENC_AUDIO, &a);
  group->get_SourceCount(WMENC_VIDEO, &v);
  p->get_MediaCount(WMENC_AUDIO, &pa);
  p->get_MediaCount(WMENC_VIDEO, &pv);
  if ((a == 0 || pa == 0) && (v == 0 || pv == 0) && (a || v)) return "The profile encodes no stream the source has.";
  return {};
}

// The refusal an Output page last gave for an encoder, until the page applies a name or lets go
// of the encoder: the Summary page tells it too, since the encoder itself never holds the name.
class PendingRefusals {
 public:
  static void Set(const void* owner, IWMEncoder* encoder, const std::string& why) {
    std::lock_guard lock(Lock());
    Map()[owner] = {encoder, why};
  }
  static void Clear(const void* owner) {
    std::lock_guard lock(Lock());
    Map().erase(owner);
  }
  // The refusal standing for the encoder ("" when none).
  static std::string For(IWMEncoder* encoder) {
    std::lock_guard lock(Lock());
    for (const auto& [owner, entry] : Map())
      if (entry.first == encoder) return entry.second;
    return {};
  }

 private:
  static std::mutex& Lock() {
    static std::mutex lock;
    return lock;
  }
  static std::map<const void*, std::pair<IWMEncoder*, std::string>>& Map() {
    static std::map<const void*, std::pair<IWMEncoder*, std::string>> map;
    return map;
  }
};

// What the pages share: the site, the encoder and the panel's life. Apply calls Commit, which
// answers an empty string or the reason it cannot apply (shown on the page).
class EncoderPage : public ComObject<IPropertyPage> {
 public:
  explicit EncoderPage(std::u16string title) : title_(std::move(title)) {}
  ~EncoderPage() override { delete panel_.data(); }

  HRESULT SetPageSite(IPropertyPageSite* site) override {
    site_ = site;
    return S_OK;
  }
  HRESULT Activate(OAHWND parent, const RECT*, bool) override {
    QWidget* host = WidgetFromHwnd(static_cast<HWND>(parent));
    if (!host) return E_INVALIDARG;
    delete panel_.data();
    panel_ = new QWidget(host);
    panel_->setObjectName(QString::fromUtf16(title_.c_str()));
    auto* layout = new QVBoxLayout(panel_);
    auto* form = new QFormLayout;
    layout->addLayout(form);
    problem_ = new QLabel(panel_);
    problem_->setObjectName("problem");
    problem_->setWordWrap(true);
    Build(form);
    layout->addWidget(problem_);
    layout->addStretch();
    if (host->layout()) host->layout()->addWidget(panel_);
    Load();
    dirty_ = false;
    panel_->show();
    return S_OK;
  }
  HRESULT Deactivate() override {
    delete panel_.data();
    return S_OK;
  }
  HRESULT GetPageInfo(PROPPAGEINFO* info) override {
    if (!info) return E_POINTER;
    *info = PROPPAGEINFO{};
    info->pszTitle = TaskText(title_);
    info->size = SIZE{400, 240};
    return info->pszTitle ? S_OK : E_OUTOFMEMORY;
  }
  HRESULT SetObjects(ULONG count, IUnknown** objects) override {
    encoder_ = nullptr;
    if (count == 0) return S_OK;
    if (!objects) return E_POINTER;
    if (count != 1 || !objects[0]) return E_INVALIDARG;
    HRESULT hr = objects[0]->QueryInterface(IWMEncoder::iid, encoder_.put_void());
    if (SUCCEEDED(hr) && panel_) Load();
    return hr;
  }
  HRESULT Show(UINT cmdShow) override {
    if (!panel_) return E_UNEXPECTED;
    if (cmdShow) Load();
    panel_->setVisible(cmdShow != 0);
    return S_OK;
  }
  HRESULT Move(const RECT* rect) override {
    if (!rect) return E_POINTER;
    if (!panel_) return E_UNEXPECTED;
    panel_->setGeometry(rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top);
    return S_OK;
  }
  HRESULT IsPageDirty() override { return dirty_ ? S_OK : S_FALSE; }
  HRESULT Apply() override {
    if (!encoder_) return ReportError(E_UNEXPECTED, "The page has no encoder to apply to.", kSource);
    if (!panel_) return S_OK;
    std::string why = Commit();
    if (problem_) problem_->setText(Q(why));
    if (!why.empty()) return ReportError(E_FAIL, why, kSource);
    dirty_ = false;
    if (site_) site_->OnStatusChange(PROPPAGESTATUS_CLEAN);
    return S_OK;
  }
  HRESULT Help(const char16_t*) override { return E_NOTIMPL; }
  HRESULT TranslateAccelerator(void*) override { return S_FALSE; }

 protected:
  virtual void Build(QFormLayout* form) = 0;
  // Fills the controls from the encoder.
  virtual void Load() {}
  virtual std::string Commit() { return {}; }
  void Changed() {
    dirty_ = true;
    if (site_) site_->OnStatusChange(PROPPAGESTATUS_DIRTY);
  }
  QLineEdit* Edit(QFormLayout* form, const char* name, const QString& label) {
    auto* e = new QLineEdit(panel_);
    e->setObjectName(name);
    form->addRow(label, e);
    QObject::connect(e, &QLineEdit::textEdited, panel_, [this] { Changed(); });
    return e;
  }
  QPushButton* Button(const char* name, const QString& text, std::function<void()> click) {
    auto* b = new QPushButton(text, panel_);
    b->setObjectName(name);
    QObject::connect(b, &QPushButton::clicked, panel_, [click] { click(); });
    return b;
  }

  std::u16string title_;
  ComPtr<IPropertyPageSite> site_;
  ComPtr<IWMEncoder> encoder_;
  QPointer<QWidget> panel_;
  QPointer<QLabel> problem_;
  bool dirty_ = false;
};

class SourcesPage : public EncoderPage {
 public:
  SourcesPage() : EncoderPage(u"Sources") {}

  // The file the program was started with, preset before the page shows.
  static std::string& Preset() {
    static std::string preset;
    return preset;
  }

 protected:
  void Build(QFormLayout* form) override {
    file_ = Edit(form, "file", "Source &file:");
    form->addRow(QString(), Button("browse", "&Browse...", [this] {
      DialogRequest r;
      r.kind = DialogKind::Open;
      r.title = "Source file";
      r.filter = "Media files|*.avi;*.mpg;*.mpeg;*.mov;*.mp4;*.wmv;*.asf;*.wav;*.mp3;*.wma;*.bmp;*.jpg;*.gif|All files|*.*";
      r.flags = 4096;
      DialogAnswer a = CurrentResponder()->Dialog(r);
      if (a.accepted && !a.text.empty()) {
        file_->setText(Q(a.text));
        Changed();
      }
    }));
    found_ = new QLabel(panel_);
    found_->setObjectName("found");
    form->addRow("Sources found:", found_);
  }
  void Load() override {
    if (!encoder_ || !file_) return;
    if (!Preset().empty() && file_->text().isEmpty()) {
      file_->setText(Q(Preset()));
      Changed();
    }
    Describe();
  }
  std::string Commit() override {
    std::string path = file_->text().trimmed().toStdString();
    if (path.empty()) return "Choose the source file.";
    ComPtr<IWMEncSourceGroup> g = FirstGroup(encoder_.Get(), true);
    if (!g) return "The encoder has no source group.";
    HRESULT hr = g->AutoSetFileSource(Bstr::FromUtf8(path));
    if (FAILED(hr)) return "The file \"" + path + "\" cannot be found or read.";
    Describe();
    return {};
  }

 private:
  void Describe() {
    ComPtr<IWMEncSourceGroup> g = FirstGroup(encoder_.Get(), false);
    int16_t audio = 0, video = 0;
    if (g) {
      g->get_SourceCount(WMENC_AUDIO, &audio);
      g->get_SourceCount(WMENC_VIDEO, &video);
    }
    found_->setText(QString("%1 video, %2 audio").arg(video).arg(audio));
  }
  QLineEdit* file_ = nullptr;
  QLabel* found_ = nullptr;
};

class OutputPage : public EncoderPage {
 public:
  OutputPage() : EncoderPage(u"Output") {}
  ~OutputPage() override { PendingRefusals::Clear(this); }
  HRESULT SetObjects(ULONG count, IUnknown** objects) override {
    PendingRefusals::Clear(this);
    return EncoderPage::SetObjects(count, objects);
  }

 protected:
  void Build(QFormLayout* form) override {
    file_ = Edit(form, "file", "&Output file:");
    form->addRow(QString(), Button("browse", "&Browse...", [this] {
      DialogRequest r;
      r.kind = DialogKind::Save;
      r.title = "Output file";
      r.filter = "Windows Media video (*.wmv)|*.wmv|Windows Media audio (*.wma)|*.wma|Windows Media (*.asf)|*.asf";
      DialogAnswer a = CurrentResponder()->Dialog(r);
      if (a.accepted && !a.text.empty()) {
        file_->setText(Q(a.text));
        Changed();
      }
    }));
  }
  void Load() override {
    if (!encoder_ || !file_ || dirty_) return;
    ComPtr<IWMEncFile> f;
    Bstr name;
    if (SUCCEEDED(encoder_->get_File(f.put())) && SUCCEEDED(f->get_LocalFileName(&name))) file_->setText(Q(name));
  }
  std::string Commit() override {
    std::string path = file_->text().trimmed().toStdString();
    if (path.empty()) return "Name the output file.";
    ComPtr<IWMEncFile> f;
    if (FAILED(encoder_->get_File(f.put()))) return "The encoder has no output file.";
    // Start would refuse it; the page says so now, while the name can still be changed.
    ComPtr<IWMEncSourceGroup> g = FirstGroup(encoder_.Get(), false);
    if (std::string refusal = OutputRefusal(g.Get(), path); !refusal.empty()) {
      PendingRefusals::Set(this, encoder_.Get(), refusal);
      return refusal;
    }
    PendingRefusals::Clear(this);
    f->put_LocalFileName(Bstr::FromUtf8(path));
    return {};
  }

 private:
  QLineEdit* file_ = nullptr;
};

std::string ProfileText(IWMEncProfile* p) {
  Bstr name, desc;
  p->get_Name(&name);
  p->get_Description(&desc);
  int16_t a = 0, v = 0;
  p->get_MediaCount(WMENC_AUDIO, &a);
  p->get_MediaCount(WMENC_VIDEO, &v);
  std::string text = desc.Utf8();
  text += v ? "\nVideo: Windows Media Video 8" : "\nNo video";
  text += a ? "\nAudio: Windows Media Audio 2" : "\nNo audio";
  return text;
}

class CompressionPage : public EncoderPage {
 public:
  CompressionPage() : EncoderPage(u"Compression") {}

 protected:
  void Build(QFormLayout* form) override {
    profiles_ = new QComboBox(panel_);
    profiles_->setObjectName("profile");
    form->addRow("&Profile:", profiles_);
    details_ = new QLabel(panel_);
    details_->setObjectName("details");
    form->addRow("Details:", details_);
    QObject::connect(profiles_, &QComboBox::activated, panel_, [this] { Changed(); });
    QObject::connect(profiles_, &QComboBox::currentIndexChanged, panel_, [this](int i) { Detail(i); });
  }
  void Load() override {
    if (!encoder_ || !profiles_ || profiles_->count() > 0) return;
    ComPtr<IWMEncProfileCollection> col;
    if (FAILED(encoder_->get_ProfileCollection(col.put()))) return;
    int32_t n = 0;
    col->get_Count(&n);
    QSignalBlocker block(profiles_);
    for (int32_t i = 0; i < n; ++i) {
      ComPtr<IWMEncProfile> p;
      Bstr name;
      if (SUCCEEDED(col->Item(i, p.put())) && SUCCEEDED(p->get_Name(&name))) profiles_->addItem(Q(name));
    }
    ComPtr<IWMEncSourceGroup> g = FirstGroup(encoder_.Get(), false);
    ComPtr<IWMEncProfile> current;
    if (g && SUCCEEDED(g->get_Profile(current.put())) && current) {
      Bstr name;
      current->get_Name(&name);
      profiles_->setCurrentText(Q(name));
    }
    Detail(profiles_->currentIndex());
  }
  std::string Commit() override {
    ComPtr<IWMEncProfileCollection> col;
    ComPtr<IWMEncProfile> p;
    if (profiles_->currentIndex() < 0 || FAILED(encoder_->get_ProfileCollection(col.put())) ||
        FAILED(col->Item(profiles_->currentIndex(), p.put())))
      return "Choose a profile.";
    ComPtr<IWMEncSourceGroup> g = FirstGroup(encoder_.Get(), true);
    if (!g) return "The encoder has no source group.";
    if (FAILED(g->put_Profile(Variant(static_cast<IDispatch*>(p.Get()))))) return "The profile cannot be used.";
    // Applied after the sources page: Start would refuse this pair, so the page says so now.
    return ProfileMisfit(g.Get());
  }

 private:
  void Detail(int i) {
    ComPtr<IWMEncProfileCollection> col;
    ComPtr<IWMEncProfile> p;
    if (i >= 0 && encoder_ && SUCCEEDED(encoder_->get_ProfileCollection(col.put())) && SUCCEEDED(col->Item(i, p.put())))
      details_->setText(Q(ProfileText(p.Get())));
  }
  QComboBox* profiles_ = nullptr;
  QLabel* details_ = nullptr;
};

class AttributesPage : public EncoderPage {
 public:
  AttributesPage() : EncoderPage(u"Attributes") {}

 protected:
  void Build(QFormLayout* form) override {
    const char* names[] = {"title", "author", "copyright", "description"};
    const char* labels[] = {"&Title:", "&Author:", "&Copyright:", "&Description:"};
    for (int i = 0; i < 4; ++i) fields_[i] = Edit(form, names[i], labels[i]);
  }
  void Load() override {
    if (!encoder_ || !fields_[0] || dirty_) return;
    ComPtr<IWMEncDisplayInfo> info;
    if (FAILED(encoder_->get_DisplayInfo(info.put()))) return;
    for (int i = 0; i < 4; ++i) {
      Bstr t;
      info->get_Field(i, &t);
      fields_[i]->setText(Q(t));
    }
  }
  std::string Commit() override {
    ComPtr<IWMEncDisplayInfo> info;
    if (FAILED(encoder_->get_DisplayInfo(info.put()))) return "The encoder keeps no attributes.";
    for (int i = 0; i < 4; ++i) info->put_Field(i, Bstr::FromUtf8(fields_[i]->text().toStdString()));
    return {};
  }

 private:
  QLineEdit* fields_[4] = {};
};

class SummaryPage : public EncoderPage {
 public:
  SummaryPage() : EncoderPage(u"Summary") {}

 protected:
  void Build(QFormLayout* form) override {
    text_ = new QLabel(panel_);
    text_->setObjectName("summary");
    text_->setWordWrap(true);
    form->addRow(text_);
    auto* timer = new QTimer(panel_);
    QObject::connect(timer, &QTimer::timeout, panel_, [this] { Load(); });
    timer->start(500);
  }
  void Load() override {
    if (!encoder_ || !text_) return;
    std::string missing, plan;
    ComPtr<IWMEncSourceGroup> g = FirstGroup(encoder_.Get(), false);
    ComPtr<IWMEncProfile> p;
    int16_t a = 0, v = 0, pa = 0, pv = 0;
    if (g) {
      g->get_SourceCount(WMENC_AUDIO, &a);
      g->get_SourceCount(WMENC_VIDEO, &v);
      g->get_Profile(p.put());
    }
    ComPtr<IWMEncFile> f;
    Bstr out;
    if (SUCCEEDED(encoder_->get_File(f.put()))) f->get_LocalFileName(&out);
    if (!g || (a == 0 && v == 0)) missing += "No source has been chosen.\n";
    if (!p) missing += "No profile has been chosen.\n";
    // An output that cannot be used keeps Start from running: the page says why, in the Output
    // page's words. Either the Output page refused the name it was given (the encoder keeps
    // its earlier one, or none), or the encoder holds a name that is the source (the source
    // chosen after it, or the name set by a program).
    std::string refusal = PendingRefusals::For(encoder_.Get());
    if (refusal.empty()) refusal = OutputRefusal(g.Get(), out.Utf8());
    if (out.Length() == 0 && refusal.empty()) missing += "No output file has been named.\n";
    if (p) {
      p->get_MediaCount(WMENC_AUDIO, &pa);
      p->get_MediaCount(WMENC_VIDEO, &pv);
      if (std::string misfit = ProfileMisfit(g.Get()); !misfit.empty()) missing += misfit + "\n";
    }
    if (missing.empty() && refusal.empty()) {
      Bstr name;
      p->get_Name(&name);
      plan = "Start will encode " + std::string(v && pv ? "the video" : "") + (v && pv && a && pa ? " and " : "") +
             std::string(a && pa ? "the audio" : "") + " of the source with the profile \"" + name.Utf8() +
             "\" into \"" + out.Utf8() + "\".";
    }
    if (!refusal.empty()) plan = refusal;
    text_->setText(Q(missing.empty() ? plan : "Missing before Start:\n" + missing + refusal));
  }
  // Applied after the other pages: shows what they left.
  std::string Commit() override {
    Load();
    return {};
  }

 private:
  QLabel* text_ = nullptr;
};

class StatisticsPage : public EncoderPage {
 public:
  StatisticsPage() : EncoderPage(u"Statistics") {}

 protected:
  void Build(QFormLayout* form) override {
    // Six rows in the short shell under the configuration pages: kept close so each is whole.
    form->setVerticalSpacing(2);
    if (panel_->layout()) panel_->layout()->setContentsMargins(9, 2, 9, 2);
    const char* names[] = {"state", "frames", "bitrates", "bytes", "error"};
    const char* labels[] = {"State:", "Frames:", "Bit rates:", "Bytes written:", "Last error:"};
    for (int i = 0; i < 5; ++i) {
      labels_[i] = new QLabel(panel_);
      labels_[i]->setObjectName(names[i]);
      form->addRow(labels[i], labels_[i]);
      if (i == 0) {
        progress_ = new QProgressBar(panel_);
        progress_->setObjectName("progress");
        progress_->setRange(0, 1000);
        form->addRow("Progress:", progress_);
      }
    }
    auto* timer = new QTimer(panel_);
    timer->setObjectName("refresh");
    QObject::connect(timer, &QTimer::timeout, panel_, [this] { Load(); });
    timer->start(500);
  }
  void Load() override {
    if (!encoder_ || !progress_) return;
    int32_t state = 0, error = 0;
    encoder_->get_RunState(&state);
    encoder_->get_ErrorState(&error);
    WMEncStatistics s;
    encoder_->GetStatistics(&s);
    static const char* states[] = {"", "Starting", "Running", "Paused", "Stopping", "Stopped"};
    labels_[0]->setText(state >= 1 && state <= 5 ? states[state] : "");
    progress_->setValue(s.sourceSeconds > 0 ? static_cast<int>(std::min(1.0, s.encodedSeconds / s.sourceSeconds) * 1000) : 0);
    progress_->setFormat(QString("%1 s of %2 s").arg(s.encodedSeconds, 0, 'f', 1).arg(s.sourceSeconds, 0, 'f', 1));
    labels_[1]->setText(QString("%1 video, %2 audio").arg(s.videoFrames).arg(s.audioFrames));
    labels_[2]->setText(QString("%1 kbit/s video, %2 kbit/s audio").arg(s.videoBitrate / 1000).arg(s.audioBitrate / 1000));
    labels_[3]->setText(QString::number(s.bytes));
    labels_[4]->setText(error ? Q(Hex(error)) : QString("None"));
  }

 private:
  QLabel* labels_[5] = {};
  QProgressBar* progress_ = nullptr;
};

void PresetSourceImpl(const std::string& path) { SourcesPage::Preset() = path; }

template <class Page>
void RegisterPage(REFCLSID clsid) {
  RegisterPlatformClass(clsid, "", [](IUnknown* outer, REFIID riid, void** ppv) -> HRESULT {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    if (!std::is_same_v<Page, StatisticsPage> && gConfigurationPagesFail) return REGDB_E_CLASSNOTREG;
    return MakeComObject<Page>()->QueryInterface(riid, ppv);
  });
}

}  // namespace

void PresetSource(const std::string& path) { PresetSourceImpl(path); }

void RegisterPages() {
  RegisterPage<StatisticsPage>(CLSID_WMEncStatisticsPage);
  RegisterPage<SourcesPage>(CLSID_WMEncSourcesPage);
  RegisterPage<OutputPage>(CLSID_WMEncOutputPage);
  RegisterPage<CompressionPage>(CLSID_WMEncCompressionPage);
  RegisterPage<AttributesPage>(CLSID_WMEncAttributesPage);
  RegisterPage<SummaryPage>(CLSID_WMEncSummaryPage);
}

}  // namespace wmenc

void WMEncPresetSourceFile(const std::string& path) { wmenc::PresetSource(path); }

namespace wmenc {

}  // namespace wmenc
