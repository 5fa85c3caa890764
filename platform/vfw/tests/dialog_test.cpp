// AVISaveOptions driven through its presenter: the list, the fields, the compressor's own boxes,
// OK and Cancel, and AVISaveOptionsFree.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>

#include "caption_fit.h"
#include "dshow/encoders.h"
#include "vfw_test_util.h"

using namespace vfw_test;
using fixtures::Kind;

namespace {

// Installs a presenter for one test and puts the previous one back.
class PresenterScope {
 public:
  explicit PresenterScope(vfw::SaveOptionsPresenter p) : previous_(vfw::SetSaveOptionsPresenter(std::move(p))) {}
  ~PresenterScope() { vfw::SetSaveOptionsPresenter(std::move(previous_)); }

 private:
  vfw::SaveOptionsPresenter previous_;
};

TEST(SaveOptions, ListsFullFramesThenTheVideoCompressors) {
  Source s(Fixture(Kind::AviMjpegPcm));
  ASSERT_EQ(s.status, AVIERR_OK);
  QStringList listed;
  bool preview = false;
  PresenterScope scope([&](QDialog& d, HWND) {
    auto* combo = d.findChild<QComboBox*>("compressor");
    for (int i = 0; combo && i < combo->count(); ++i) listed << combo->itemText(i);
    auto* label = d.findChild<QLabel*>("preview");
    preview = label && !label->pixmap().isNull();
    return false;
  });
  AVICOMPRESSOPTIONS o;
  LPAVICOMPRESSOPTIONS list[1] = {&o};
  EXPECT_EQ(AVISaveOptions(0, ICMF_CHOOSE_KEYFRAME | ICMF_CHOOSE_DATARATE | ICMF_CHOOSE_PREVIEW, 1, &s.video, list), 0);
  QStringList expected{"Full Frames (Uncompressed)"};
  for (const auto& c : dshow::Compressors())
    if (c.category == CLSID_VideoCompressorCategory)
      expected << QString::fromUtf16(c.name.data(), static_cast<qsizetype>(c.name.size()));
  EXPECT_EQ(listed, expected);
  EXPECT_TRUE(preview);
  EXPECT_EQ(o.fccHandler, 0u);  // Cancel leaves the record as it was
  EXPECT_EQ(o.lpParms, nullptr);
}

TEST(SaveOptions, OkFillsTheRecordWithTheChoices) {
  Source s(Fixture(Kind::AviMjpegPcm));
  ASSERT_EQ(s.status, AVIERR_OK);
  struct Case {
    QString compressor;
    int quality;
    int keyEvery;  // 0: box unticked
    int dataRateKb;
    uint32_t fourcc;
    bool configure;
  };
  const Case cases[] = {
      {"MPEG-4 Video Compressor", 40, 12, 0, MakeAviFourCC('F', 'M', 'P', '4'), true},
      {"Motion JPEG Compressor", 90, 0, 0, MakeAviFourCC('M', 'J', 'P', 'G'), true},
      {"MPEG-4 Video Compressor", 70, 0, 100, MakeAviFourCC('F', 'M', 'P', '4'), true},
      {"Full Frames (Uncompressed)", 0, 0, 0, comptypeDIB, false},
  };
  for (const Case& c : cases) {
    bool configureEnabled = false, aboutEnabled = false;
    PresenterScope scope([&](QDialog& d, HWND) {
      auto* combo = d.findChild<QComboBox*>("compressor");
      combo->setCurrentIndex(combo->findText(c.compressor));
      configureEnabled = d.findChild<QPushButton*>("configure")->isEnabled();
      aboutEnabled = d.findChild<QPushButton*>("about")->isEnabled();
      if (c.fourcc != comptypeDIB) d.findChild<QSpinBox*>("quality")->setValue(c.quality);
      d.findChild<QCheckBox*>("keyFrames")->setChecked(c.keyEvery > 0);
      if (c.keyEvery > 0) d.findChild<QSpinBox*>("keyFrameEvery")->setValue(c.keyEvery);
      d.findChild<QCheckBox*>("dataRate")->setChecked(c.dataRateKb > 0);
      if (c.dataRateKb > 0) d.findChild<QSpinBox*>("dataRateKb")->setValue(c.dataRateKb);
      return true;
    });
    AVICOMPRESSOPTIONS o;
    LPAVICOMPRESSOPTIONS list[1] = {&o};
    ASSERT_EQ(AVISaveOptions(0, 7, 1, &s.video, list), 1) << c.compressor.toStdString();
    EXPECT_EQ(o.fccType, streamtypeVIDEO);
    EXPECT_EQ(o.fccHandler, c.fourcc);
    EXPECT_EQ(configureEnabled, c.configure);
    EXPECT_EQ(aboutEnabled, c.fourcc != comptypeDIB);
    if (c.fourcc != comptypeDIB) {
      EXPECT_EQ(o.dwQuality, static_cast<uint32_t>(c.quality) * 100);
      EXPECT_EQ(o.cbParms, static_cast<uint32_t>(dshow::kCompressorStateSize));
      EXPECT_NE(o.lpParms, nullptr);
      EXPECT_EQ((o.dwFlags & AVICOMPRESSF_KEYFRAMES) != 0, c.keyEvery > 0);
      if (c.keyEvery > 0) {
        EXPECT_EQ(o.dwKeyFrameEvery, static_cast<uint32_t>(c.keyEvery));
      }
      EXPECT_EQ((o.dwFlags & AVICOMPRESSF_DATARATE) != 0, c.dataRateKb > 0);
      if (c.dataRateKb > 0) {
        EXPECT_EQ(o.dwBytesPerSecond, static_cast<uint32_t>(c.dataRateKb) * 1024);
      }
    } else {
      EXPECT_EQ(o.lpParms, nullptr);
    }
    EXPECT_TRUE(o.dwFlags & AVICOMPRESSF_VALID);
    EXPECT_EQ(AVISaveOptionsFree(1, list), AVIERR_OK);
    EXPECT_EQ(o.lpParms, nullptr);
    EXPECT_EQ(AVISaveOptionsFree(1, list), AVIERR_OK);  // a second free does nothing
  }
}

TEST(SaveOptions, ConfigureShowsTheCompressorsOwnBoxAndItsStateTravels) {
  Source s(Fixture(Kind::AviMjpegPcm));
  ASSERT_EQ(s.status, AVIERR_OK);
  int shownQuality = -1;
  auto previous = dshow::SetCompressorDialogPresenter([](QDialog& box, OAHWND) {
    if (auto* key = box.findChild<QSpinBox*>("keyFrameInterval")) key->setValue(7);
    if (auto* q = box.findChild<QSpinBox*>("quality")) q->setValue(33);
    return true;
  });
  PresenterScope scope([&](QDialog& d, HWND) {
    auto* combo = d.findChild<QComboBox*>("compressor");
    combo->setCurrentIndex(combo->findText("MPEG-4 Video Compressor"));
    d.findChild<QPushButton*>("configure")->click();
    shownQuality = d.findChild<QSpinBox*>("quality")->value();
    return true;
  });
  AVICOMPRESSOPTIONS o;
  LPAVICOMPRESSOPTIONS list[1] = {&o};
  ASSERT_EQ(AVISaveOptions(0, 7, 1, &s.video, list), 1);
  dshow::SetCompressorDialogPresenter(std::move(previous));
  EXPECT_EQ(shownQuality, 33);
  EXPECT_EQ(o.dwQuality, 3300u);
  EXPECT_EQ(o.dwKeyFrameEvery, 7u);  // the box's key frames show in the dialog's field
  // The state carries the configured key-frame interval into the save.
  o.dwFlags &= ~AVICOMPRESSF_KEYFRAMES;
  PAVISTREAM compressed = nullptr;
  ASSERT_EQ(AVIMakeCompressedStream(&compressed, s.video, &o, nullptr), AVIERR_OK);
  const std::string target = Folder("configured") + "/out.avi";
  ASSERT_EQ(AVISaveV(target.c_str(), nullptr, {}, 1, &compressed, list), AVIERR_OK);
  AVIStreamRelease(compressed);
  AVISaveOptionsFree(1, list);
  EXPECT_TRUE(fixtures::RunFfprobe(target).ok);
}

// The dialog with every part it can show, with "Full Frames" and with each video compressor
// chosen, and the boxes its Configure... and About... open: no caption needs more room than its
// control has.
TEST(SaveOptions, TheDialogsAndItsBoxesCaptionsFitTheirControls) {
  Source s(Fixture(Kind::AviMjpegPcm));
  ASSERT_EQ(s.status, AVIERR_OK);
  std::vector<std::string> cut;
  int boxes = 0;
  auto previous = dshow::SetCompressorDialogPresenter([&](QDialog& box, OAHWND) {
    ++boxes;
    for (const std::string& c : fit::CutCaptionsShown(box)) cut.push_back(box.windowTitle().toStdString() + ": " + c);
    return false;
  });
  PresenterScope scope([&](QDialog& d, HWND) {
    auto* combo = d.findChild<QComboBox*>("compressor");
    EXPECT_TRUE(combo);
    for (int i = 0; combo && i < combo->count(); ++i) {
      combo->setCurrentIndex(i);
      const std::string chosen = combo->currentText().toStdString();
      for (const std::string& c : fit::CutCaptionsShown(d)) cut.push_back(chosen + ": " + c);
      for (const char* button : {"configure", "about"}) {
        auto* b = d.findChild<QPushButton*>(button);
        if (b && b->isEnabled()) b->click();
      }
    }
    return false;
  });
  AVICOMPRESSOPTIONS o;
  LPAVICOMPRESSOPTIONS list[1] = {&o};
  EXPECT_EQ(AVISaveOptions(0, ICMF_CHOOSE_KEYFRAME | ICMF_CHOOSE_DATARATE | ICMF_CHOOSE_PREVIEW, 1, &s.video, list), 0);
  dshow::SetCompressorDialogPresenter(std::move(previous));
  EXPECT_GT(boxes, 0);
  EXPECT_EQ(cut, std::vector<std::string>{});
}

TEST(SaveOptionsFree, IsSafeOnAnUnfilledRecord) {
  AVICOMPRESSOPTIONS o;
  LPAVICOMPRESSOPTIONS list[1] = {&o};
  EXPECT_EQ(AVISaveOptionsFree(1, list), AVIERR_OK);
  LPAVICOMPRESSOPTIONS none[1] = {nullptr};
  EXPECT_EQ(AVISaveOptionsFree(1, none), AVIERR_OK);
  EXPECT_EQ(AVISaveOptionsFree(0, nullptr), AVIERR_OK);
}

}  // namespace
