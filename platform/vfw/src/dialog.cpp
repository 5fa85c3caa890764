// AVISaveOptions: the compression dialog (a modal Qt dialog over the given window) and
// AVISaveOptionsFree.
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include "com/com.h"
#include "dshow/encoders.h"
#include "dshow/uuids.h"
#include "forms/qt/hwnd_qt.h"
#include "vfw_internal.h"

using namespace vfw_detail;

namespace {

std::mutex gPresenterLock;
vfw::SaveOptionsPresenter& Presenter() {
  static vfw::SaveOptionsPresenter presenter;
  return presenter;
}

bool RunModal(QDialog& dialog, HWND owner) {
  if (QWidget* parent = owner ? WidgetFromHwnd(owner) : nullptr) dialog.setParent(parent, Qt::Dialog);
  dialog.setWindowModality(Qt::ApplicationModal);
  return dialog.exec() == QDialog::Accepted;
}

QString Text(const std::u16string& s) {
  return QString::fromUtf16(s.data(), static_cast<qsizetype>(s.size()));
}

// The first picture of a stream, for the preview.
QImage FirstPicture(IAVIStream* stream) {
  auto* file = dynamic_cast<FileStream*>(stream);
  if (!file || file->Entry().info.fccType != streamtypeVIDEO) return {};
  FrameReader reader;
  AVFrame* frame = nullptr;
  if (reader.Open(file->Path(), file->Entry().index) != AVIERR_OK || reader.Next(&frame) != AVIERR_OK)
    return {};
  RgbConverter rgb;
  std::vector<uint8_t> picture;
  if (!rgb.Convert(frame, &picture)) return {};
  QImage image(picture.data(), frame->width, frame->height, RgbStride(frame->width), QImage::Format_BGR888);
  return image.copy();
}

// The dialog with its state: the chosen compressor's instance (for its boxes and its state).
class SaveOptionsDialog {
 public:
  SaveOptionsDialog(UINT flags, IAVIStream* stream, const AVICOMPRESSOPTIONS& current) {
    dialog_.setWindowTitle(QStringLiteral("Video Compression"));
    auto* layout = new QVBoxLayout(&dialog_);
    auto* form = new QFormLayout;
    layout->addLayout(form);

    combo_ = new QComboBox;
    combo_->setObjectName("compressor");
    combo_->addItem(QStringLiteral("Full Frames (Uncompressed)"));
    for (const dshow::CompressorInfo& c : dshow::Compressors())
      if (c.category == CLSID_VideoCompressorCategory) {
        combo_->addItem(Text(c.name));
        compressors_.push_back(c);
      }
    form->addRow(QStringLiteral("&Compressor:"), combo_);

    auto* boxes = new QHBoxLayout;
    configure_ = new QPushButton(QStringLiteral("Configure..."));
    configure_->setObjectName("configure");
    about_ = new QPushButton(QStringLiteral("About..."));
    about_->setObjectName("about");
    boxes->addWidget(configure_);
    boxes->addWidget(about_);
    form->addRow(QString(), boxes);

    quality_ = new QSpinBox;
    quality_->setObjectName("quality");
    quality_->setRange(0, 100);
    form->addRow(QStringLiteral("Compression &Quality:"), quality_);

    keyFrames_ = new QCheckBox(QStringLiteral("&Key Frame Every"));
    keyFrames_->setObjectName("keyFrames");
    keyEvery_ = new QSpinBox;
    keyEvery_->setObjectName("keyFrameEvery");
    keyEvery_->setRange(1, 1000);
    keyEvery_->setSuffix(QStringLiteral(" frames"));
    form->addRow(keyFrames_, keyEvery_);
    keyFrames_->setVisible(flags & ICMF_CHOOSE_KEYFRAME);
    keyEvery_->setVisible(flags & ICMF_CHOOSE_KEYFRAME);

    dataRate_ = new QCheckBox(QStringLiteral("&Data Rate"));
    dataRate_->setObjectName("dataRate");
    dataRateKb_ = new QSpinBox;
    dataRateKb_->setObjectName("dataRateKb");
    dataRateKb_->setRange(1, 100000);
    dataRateKb_->setSuffix(QStringLiteral(" KB/sec"));
    form->addRow(dataRate_, dataRateKb_);
    dataRate_->setVisible(flags & ICMF_CHOOSE_DATARATE);
    dataRateKb_->setVisible(flags & ICMF_CHOOSE_DATARATE);

    if (flags & ICMF_CHOOSE_PREVIEW) {
      auto* preview = new QLabel;
      preview->setObjectName("preview");
      QImage first = FirstPicture(stream);
      if (!first.isNull())
        preview->setPixmap(QPixmap::fromImage(first.width() > 320 ? first.scaledToWidth(320) : first));
      else
        preview->setText(QStringLiteral("No preview"));
      layout->addWidget(preview);
    }

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    buttons->button(QDialogButtonBox::Ok)->setObjectName("ok");
    buttons->button(QDialogButtonBox::Cancel)->setObjectName("cancel");
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog_, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog_, &QDialog::reject);
    layout->addWidget(buttons);

    // The record's earlier choice is offered again.
    int start = 0;
    for (size_t i = 0; i < compressors_.size(); ++i)
      if ((current.dwFlags & AVICOMPRESSF_VALID) && compressors_[i].fourcc == current.fccHandler)
        start = static_cast<int>(i) + 1;
    Select(start);
    if (current.dwFlags & AVICOMPRESSF_VALID) {
      if (current.dwQuality <= 10000) quality_->setValue(static_cast<int>(current.dwQuality / 100));
      keyFrames_->setChecked(current.dwFlags & AVICOMPRESSF_KEYFRAMES);
      if (current.dwKeyFrameEvery > 0) keyEvery_->setValue(static_cast<int>(std::min<uint32_t>(current.dwKeyFrameEvery, 1000)));
      dataRate_->setChecked(current.dwFlags & AVICOMPRESSF_DATARATE);
      if (current.dwBytesPerSecond > 0) dataRateKb_->setValue(static_cast<int>(std::min<uint32_t>(current.dwBytesPerSecond / 1024, 100000)));
    }

    QObject::connect(combo_, &QComboBox::currentIndexChanged, &dialog_, [this](int i) { Select(i); });
    QObject::connect(configure_, &QPushButton::clicked, &dialog_, [this] { ShowBox(VfwCompressDialog_Config); });
    QObject::connect(about_, &QPushButton::clicked, &dialog_, [this] { ShowBox(VfwCompressDialog_About); });
  }

  QDialog& Dialog() { return dialog_; }

  // Fills the record from the dialog's values.
  bool Fill(AVICOMPRESSOPTIONS* o) {
    std::memset(static_cast<void*>(o), 0, sizeof *o);
    o->fccType = streamtypeVIDEO;
    o->dwQuality = static_cast<uint32_t>(quality_->value()) * 100;
    o->dwFlags = AVICOMPRESSF_VALID;
    if (keyFrames_->isChecked()) {
      o->dwFlags |= AVICOMPRESSF_KEYFRAMES;
      o->dwKeyFrameEvery = static_cast<uint32_t>(keyEvery_->value());
    }
    if (dataRate_->isChecked()) {
      o->dwFlags |= AVICOMPRESSF_DATARATE;
      o->dwBytesPerSecond = static_cast<uint32_t>(dataRateKb_->value()) * 1024;
    }
    int i = combo_->currentIndex();
    if (i <= 0 || !instance_) {
      o->fccHandler = comptypeDIB;
      return true;
    }
    o->fccHandler = compressors_[static_cast<size_t>(i - 1)].fourcc;
    ComPtr<IAMVfwCompressDialogs> dialogs;
    int32_t size = 0;
    if (SUCCEEDED(instance_->QueryInterface(IAMVfwCompressDialogs::iid, dialogs.put_void())) && dialogs &&
        SUCCEEDED(dialogs->GetState(nullptr, &size)) && size > 0) {
      void* state = std::calloc(1, static_cast<size_t>(size));
      if (!state) return false;
      if (FAILED(dialogs->GetState(state, &size))) {
        std::free(state);
        return false;
      }
      o->lpParms = state;
      o->cbParms = static_cast<uint32_t>(size);
    }
    return true;
  }

 private:
  void Select(int index) {
    instance_ = nullptr;
    if (combo_->currentIndex() != index) combo_->setCurrentIndex(index);
    bool full = index <= 0;
    if (!full) {
      const dshow::CompressorInfo& c = compressors_[static_cast<size_t>(index - 1)];
      CoCreateInstance(c.clsid, nullptr, CLSCTX_INPROC_SERVER, IBaseFilter::iid, instance_.put_void());
    }
    ComPtr<IAMVfwCompressDialogs> dialogs = Dialogs();
    configure_->setEnabled(dialogs && dialogs->ShowDialog(VfwCompressDialog_QueryConfig, 0) == S_OK);
    about_->setEnabled(dialogs && dialogs->ShowDialog(VfwCompressDialog_QueryAbout, 0) == S_OK);
    quality_->setEnabled(!full);
    keyFrames_->setEnabled(!full);
    keyEvery_->setEnabled(!full);
    dataRate_->setEnabled(!full);
    dataRateKb_->setEnabled(!full);
    TakeSettings();
  }

  // The compressor's own settings shown in the dialog's fields.
  void TakeSettings() {
    dshow::CompressorSettings s;
    if (!instance_ || FAILED(dshow::GetCompressorSettings(instance_.Get(), &s))) return;
    quality_->setValue(std::clamp(s.quality, 0, 100));
    keyFrames_->setChecked(s.keyFrameInterval > 0);
    if (s.keyFrameInterval > 0) keyEvery_->setValue(std::min(s.keyFrameInterval, 1000));
    dataRate_->setChecked(s.dataRate > 0);
    if (s.dataRate > 0) dataRateKb_->setValue(std::max(1, s.dataRate * 1000 / 8 / 1024));
  }

  ComPtr<IAMVfwCompressDialogs> Dialogs() {
    ComPtr<IAMVfwCompressDialogs> dialogs;
    if (instance_) instance_->QueryInterface(IAMVfwCompressDialogs::iid, dialogs.put_void());
    return dialogs;
  }

  void ShowBox(int32_t which) {
    ComPtr<IAMVfwCompressDialogs> dialogs = Dialogs();
    if (!dialogs) return;
    if (dialogs->ShowDialog(which, HwndFromWidget(&dialog_)) == S_OK && which == VfwCompressDialog_Config)
      TakeSettings();
  }

  QDialog dialog_;
  QComboBox* combo_ = nullptr;
  QPushButton* configure_ = nullptr;
  QPushButton* about_ = nullptr;
  QSpinBox* quality_ = nullptr;
  QCheckBox* keyFrames_ = nullptr;
  QSpinBox* keyEvery_ = nullptr;
  QCheckBox* dataRate_ = nullptr;
  QSpinBox* dataRateKb_ = nullptr;
  std::vector<dshow::CompressorInfo> compressors_;
  ComPtr<IBaseFilter> instance_;
};

}  // namespace

namespace vfw {
SaveOptionsPresenter SetSaveOptionsPresenter(SaveOptionsPresenter presenter) {
  std::lock_guard lock(gPresenterLock);
  SaveOptionsPresenter previous = std::move(Presenter());
  Presenter() = std::move(presenter);
  return previous;
}
}  // namespace vfw

intptr_t AVISaveOptions(HWND hwnd, UINT uiFlags, int nStreams, PAVISTREAM* ppavi,
                        LPAVICOMPRESSOPTIONS* plpOptions) {
  if (nStreams < 1 || !ppavi || !plpOptions) return 0;
  // One page per stream: the video stream's options are chosen here; others keep their record.
  int video = -1;
  for (int i = 0; i < nStreams && video < 0; ++i) {
    AVISTREAMINFO info;
    if (ppavi[i] && plpOptions[i] && ppavi[i]->Info(&info) == AVIERR_OK && info.fccType == streamtypeVIDEO)
      video = i;
  }
  if (video < 0) return 0;
  forms_detail::EnsureApplication();
  SaveOptionsDialog box(uiFlags, ppavi[video], *plpOptions[video]);
  vfw::SaveOptionsPresenter presenter;
  {
    std::lock_guard lock(gPresenterLock);
    presenter = Presenter();
  }
  bool accepted = presenter ? presenter(box.Dialog(), hwnd) : RunModal(box.Dialog(), hwnd);
  if (!accepted) return 0;
  AVISaveOptionsFree(1, &plpOptions[video]);
  return box.Fill(plpOptions[video]) ? 1 : 0;
}

HRESULT AVISaveOptionsFree(int nStreams, LPAVICOMPRESSOPTIONS* plpOptions) {
  if (!plpOptions) return AVIERR_OK;
  for (int i = 0; i < nStreams; ++i) {
    AVICOMPRESSOPTIONS* o = plpOptions[i];
    if (!o) continue;
    std::free(o->lpParms);
    o->lpParms = nullptr;
    o->cbParms = 0;
    std::free(o->lpFormat);
    o->lpFormat = nullptr;
    o->cbFormat = 0;
  }
  return AVIERR_OK;
}
