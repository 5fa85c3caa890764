// The compressors' option pages and about boxes, as Qt dialogs.
#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QThread>
#include <QVBoxLayout>
#include <algorithm>
#include <mutex>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include "encoders/encoders_internal.h"
#include "forms/qt/font_qt.h"
#include "forms/qt/propertyframe_qt.h"
#include "forms/qt/hwnd_qt.h"

namespace dshow {

namespace {

std::mutex gPresenterLock;
CompressorDialogPresenter& Presenter() {
  static CompressorDialogPresenter presenter;
  return presenter;
}

// The default: a modal dialog owned by the window of the handle (when it names one).
bool RunModal(QDialog& dialog, OAHWND owner) {
  if (QWidget* parent = owner ? WidgetFromHwnd(static_cast<HWND>(owner)) : nullptr)
    dialog.setParent(parent, Qt::Dialog);
  dialog.setWindowModality(Qt::ApplicationModal);
  return dialog.exec() == QDialog::Accepted;
}

QString Text(const std::u16string& s) {
  return QString::fromUtf16(s.data(), static_cast<qsizetype>(s.size()));
}

QSpinBox* AddSpin(QFormLayout* form, const char* objectName, const QString& label, int min, int max,
                  int value, const QString& suffix, const QString& specialText) {
  auto* spin = new QSpinBox;
  spin->setObjectName(objectName);
  spin->setRange(min, max);
  spin->setValue(std::clamp(value, min, max));
  if (!suffix.isEmpty()) spin->setSuffix(suffix);
  if (!specialText.isEmpty()) spin->setSpecialValueText(specialText);
  form->addRow(label, spin);
  return spin;
}

QDialogButtonBox* AddButtons(QDialog* dialog, QVBoxLayout* layout, bool withCancel) {
  auto* buttons = new QDialogButtonBox(withCancel ? QDialogButtonBox::Ok | QDialogButtonBox::Cancel
                                                  : QDialogButtonBox::Ok);
  buttons->button(QDialogButtonBox::Ok)->setObjectName("ok");
  if (withCancel) buttons->button(QDialogButtonBox::Cancel)->setObjectName("cancel");
  QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
  layout->addWidget(buttons);
  return buttons;
}

}  // namespace

CompressorDialogPresenter SetCompressorDialogPresenter(CompressorDialogPresenter presenter) {
  std::lock_guard lock(gPresenterLock);
  CompressorDialogPresenter previous = std::move(Presenter());
  Presenter() = std::move(presenter);
  // The pages' frame is a compressor dialog too.
  if (Presenter())
    SetPropertyFramePresenter([](QDialog& dialog, OAHWND owner) { return PresentCompressorDialog(dialog, owner); });
  else
    SetPropertyFramePresenter({});
  return previous;
}

bool PresentCompressorDialog(QDialog& dialog, OAHWND owner) {
  CompressorDialogPresenter presenter;
  {
    std::lock_guard lock(gPresenterLock);
    presenter = Presenter();
  }
  return presenter ? presenter(dialog, owner) : RunModal(dialog, owner);
}

bool CanShowDialogs() {
  auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
  return app && QThread::currentThread() == app->thread();
}

QWidget* MakeOptionsPanel(const CompressorInfo& info, const CompressorSettings& settings, QWidget* parent) {
  auto* panel = new QWidget(parent);
  auto* form = new QFormLayout(panel);
  if (info.options & kOptionQuality)
    AddSpin(form, "quality", QStringLiteral("&Quality:"), 1, 100, settings.quality, {}, {});
  if (info.options & kOptionKeyFrames)
    AddSpin(form, "keyFrameInterval", QStringLiteral("&Key frame every:"), 0, 1000,
            settings.keyFrameInterval, QStringLiteral(" frames"), QStringLiteral("Automatic"));
  if (info.options & kOptionDataRate)
    AddSpin(form, "dataRate", QStringLiteral("&Data rate:"), 0, 100000, settings.dataRate,
            QStringLiteral(" kbit/s"), QStringLiteral("By quality"));
  return panel;
}

QWidget* MakeAboutPanel(const CompressorInfo& info, const std::string& encoderName, QWidget* parent) {
  auto* panel = new QWidget(parent);
  auto* layout = new QVBoxLayout(panel);
  auto* title = new QLabel(QStringLiteral("<b>%1</b>").arg(Text(info.name).toHtmlEscaped()));
  title->setObjectName("name");
  layout->addWidget(title);
  const AVCodec* codec = avcodec_find_encoder_by_name(encoderName.c_str());
  unsigned version = avcodec_version();
  auto* details = new QLabel(
      QStringLiteral("Encoder: %1\nlibavcodec %2.%3.%4")
          .arg(QString::fromUtf8(codec && codec->long_name ? codec->long_name : encoderName.c_str()))
          .arg(version >> 16)
          .arg((version >> 8) & 0xFF)
          .arg(version & 0xFF));
  details->setObjectName("details");
  layout->addWidget(details);
  if (!info.note.empty()) {
    auto* note = new QLabel(Text(info.note));
    note->setObjectName("note");
    note->setWordWrap(true);
    layout->addWidget(note);
  }
  layout->addStretch();
  return panel;
}

std::unique_ptr<QDialog> MakeOptionsDialog(const CompressorInfo& info,
                                           const CompressorSettings& settings) {
  auto dialog = std::make_unique<QDialog>();
  dialog->setWindowTitle(Text(info.name) + QStringLiteral(" Settings"));
  dialog->setMinimumWidth(forms_detail::TitleBarWidth(dialog->windowTitle()));
  auto* layout = new QVBoxLayout(dialog.get());
  layout->addWidget(MakeOptionsPanel(info, settings, dialog.get()));
  AddButtons(dialog.get(), layout, true);
  return dialog;
}

CompressorSettings ReadOptions(QWidget& panel, const CompressorSettings& base) {
  CompressorSettings s = base;
  if (auto* q = panel.findChild<QSpinBox*>("quality")) s.quality = q->value();
  if (auto* k = panel.findChild<QSpinBox*>("keyFrameInterval")) s.keyFrameInterval = k->value();
  if (auto* d = panel.findChild<QSpinBox*>("dataRate")) s.dataRate = d->value();
  return s;
}

std::unique_ptr<QDialog> MakeAboutDialog(const CompressorInfo& info, const std::string& encoderName) {
  auto dialog = std::make_unique<QDialog>();
  dialog->setWindowTitle(QStringLiteral("About ") + Text(info.name));
  dialog->setMinimumWidth(forms_detail::TitleBarWidth(dialog->windowTitle()));
  auto* layout = new QVBoxLayout(dialog.get());
  layout->addWidget(MakeAboutPanel(info, encoderName, dialog.get()));
  AddButtons(dialog.get(), layout, false);
  return dialog;
}

}  // namespace dshow
