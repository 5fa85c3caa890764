#include "options/frmCompress.h"

#include <filesystem>
#include <system_error>

#include "core/error.h"
#include "core/msgbox.h"
#include "core/runtime_convert.h"
#include "engine/modGeneral.h"
#include "forms/app.h"
#include "options/modCompress.h"
#include "vfw/vfw.h"

namespace {

constexpr const char* kCrLf = "\r\n";

// Whether two names reach the same file (links followed); false when either is missing.
bool SameFile(const std::string& a, const std::string& b) {
  std::error_code ec;
  return !a.empty() && !b.empty() && std::filesystem::equivalent(a, b, ec) && !ec;
}

void RefuseSourceAsTarget() {
  MsgBox(std::string("The compressed file cannot be written over its own source.") + kCrLf +
             "Please choose another target file.",
         vbExclamation);
}

// What one run holds, released in reverse order of creation whatever way the run ends.
struct CompressRun {
  PAVIFILE file = nullptr;
  PAVISTREAM video = nullptr;
  PAVISTREAM compressed = nullptr;
  AVICOMPRESSOPTIONS options;
  LPAVICOMPRESSOPTIONS optionsList[1] = {&options};
  CompressRun() = default;
  CompressRun(const CompressRun&) = delete;
  CompressRun& operator=(const CompressRun&) = delete;
  ~CompressRun() {
    AVISaveOptionsFree(1, optionsList);
    if (compressed) AVIStreamRelease(compressed);
    if (video) AVIStreamRelease(video);
    if (file) AVIFileRelease(file);
  }
};

}  // namespace

frmCompress::frmCompress() : Form("frmCompress") {
  On("Form_Load", [this] {
    Left((Screen().Width() - Width()) / 2);
    Top((Screen().Height() - Height()) / 2);
    AVIFileInit();
  });
  On("Form_Unload", [](int16_t&) { AVIFileExit(); });
  // No close while a save runs, whatever asks for it.
  On("Form_QueryUnload", [this](int16_t& Cancel, int16_t) {
    if (cmdCancelSave->Enabled()) Cancel = 1;
  });
  On("cmdOpenAVIFile_Click", [this] { cmdOpenAVIFile_Click(); });
  On("Command3_Click", [this] { Command3_Click(); });
  On("Command2_Click", [this] { Command2_Click(); });
  On("cmdCancelSave_Click", [] { CompressCancelRequested = true; });
  On("Command1_Click", [this] {
    CompressCancelRequested = true;
    DoEvents();
    Unload();
  });
  On("txtStatus_Change", [this] { txtStatus_Change(); });
}

void frmCompress::Design() {
  Caption("Video for Windows Compression");
  BorderStyle(vbFixedDouble);
  Size(6060, 3195);
  Place({
      {"Label", "Label1", -1, "", 120, 180, 735, 255, "Source:"},
      {"TextBox", "Text1", -1, "", 900, 120, 4215, 315, ""},
      {"CommandButton", "cmdOpenAVIFile", -1, "", 5175, 120, 615, 315, "..."},
      {"Label", "Label2", -1, "", 120, 600, 735, 255, "Target:"},
      {"TextBox", "Text2", -1, "", 900, 540, 4215, 315, ""},
      {"CommandButton", "Command3", -1, "", 5175, 540, 615, 315, "..."},
      {"Label", "Label4", -1, "", 120, 1020, 735, 255, "Status:"},
      {"TextBox", "txtStatus", -1, "", 900, 960, 1335, 315, "Ready...", {{"Locked", Variant(true)}}},
      {"Label", "Label3", -1, "", 2295, 1020, 255, 255, "%", {{"Visible", Variant(false)}}},
      {"ProgressBar", "ProgressBar1", -1, "", 2640, 960, 3150, 315, "", {{"Visible", Variant(false)}}},
      {"Label", "Label5", -1, "", 120, 1440, 5670, 495,
       "This is a video only tool for slide shows and other movies where no sound is desired..",
       {{"WordWrap", Variant(true)}}},
      {"CommandButton", "Command2", -1, "", 1935, 2160, 1215, 375, "Compress", {{"Enabled", Variant(false)}}},
      {"CommandButton", "cmdCancelSave", -1, "", 3255, 2160, 1215, 375, "Cancel", {{"Enabled", Variant(false)}}},
      {"CommandButton", "Command1", -1, "", 4575, 2160, 1215, 375, "Exit"},
      {"CommonDialog", "CommonDialog1", -1, "", 0, 0, 0, 0, ""},
  });
}

void frmCompress::EnableCompress() { Command2->Enabled(!Text1->Text().empty() && !Text2->Text().empty()); }

void frmCompress::txtStatus_Change() {
  if (IsNumeric(Variant(txtStatus->Text()))) {
    Step([&] { ProgressBar1->Value(static_cast<float>(CompressPercent)); });
    Label3->Visible(true);
  } else {
    Label3->Visible(false);
  }
}

void frmCompress::cmdOpenAVIFile_Click() {
  Text1->Text("");
  Command2->Enabled(false);
  CommonDialogObject& d = CommonDialog1->Dialog();
  d.CancelError = true;
  d.Filter = "AVI Files|*.avi";
  d.FileName = "";
  d.DialogTitle = "Choose an AVI input file";
  if (!Step([&] { CommonDialog1->ShowOpen(); })) {
    Err().Clear();
    return;
  }
  m_sSourceFile = d.FileName;
  Text1->Text(m_sSourceFile);
  // The proposal: the source's name and "_1.avi", in the current folder, unless that name is taken.
  const std::string proposal = GetFileNameFromPath(m_sSourceFile) + "_1.avi";
  if (!modGeneral::FileExists(proposal)) {
    m_sTargetFile = proposal;
    Text2->Text(proposal);
    Command2->Enabled(true);
  }
}

void frmCompress::Command3_Click() {
  CommonDialogObject& d = CommonDialog1->Dialog();
  d.CancelError = true;
  d.DialogTitle = "Choose an AVI target file";
  d.DefaultExt = "avi";
  d.FileName = "";
  if (!Step([&] { CommonDialog1->ShowSave(); })) {
    Err().Clear();
    return;
  }
  const std::string chosen = d.FileName;
  if (SameFile(chosen, m_sSourceFile)) {
    RefuseSourceAsTarget();
    return;
  }
  // An existing file is replaced only when a save has completed its new one.
  if (modGeneral::FileExists(chosen) &&
      MsgBox("The file already exist. Do you want to replace it?", vbYesNo) == vbNo) {
    return;
  }
  m_sTargetFile = chosen;
  Text2->Text(chosen);
  EnableCompress();
}

void frmCompress::Command2_Click() {
  if (running_ || Text1->Text().empty() || Text2->Text().empty()) return;
  if (SameFile(m_sTargetFile, m_sSourceFile)) {
    RefuseSourceAsTarget();
    return;
  }
  running_ = true;
  bool declined = false;  // the compression dialog was not accepted
  bool saved = false;     // the save function ran
  std::string failedTarget;
  HRESULT status = AVIERR_OK;
  {
    CompressRun run;
    status = AVIFileOpen(&run.file, m_sSourceFile.c_str(), OF_SHARE_DENY_WRITE, nullptr);
    if (status == AVIERR_OK) status = AVIFileGetStream(run.file, &run.video, streamtypeVIDEO, 0);
    if (status == AVIERR_OK) {
      DoEvents();
      declined = AVISaveOptions(hWnd(), ICMF_CHOOSE_KEYFRAME | ICMF_CHOOSE_DATARATE | ICMF_CHOOSE_PREVIEW, 1,
                                &run.video, run.optionsList) != 1;
    }
    if (status == AVIERR_OK && !declined) {
      DoEvents();
      status = AVIMakeCompressedStream(&run.compressed, run.video, &run.options, nullptr);
    }
    if (status == AVIERR_OK && !declined) {
      CompressCancelRequested = false;
      Step([&] {
        cmdOpenAVIFile->Enabled(false);
        Command2->Enabled(false);
        Command3->Enabled(false);
        cmdCancelSave->Enabled(true);
        ProgressBar1->Visible(true);
      });
      const std::string target = m_sTargetFile;
      status = AVISaveV(target.c_str(), nullptr, modCompress::AviSaveCallback, 1, &run.compressed,
                        run.optionsList);
      saved = true;
      Step([&] {
        txtStatus->Text(status == AVIERR_OK ? "Finished." : status == AVIERR_USERABORT ? "User cancelled." : "Failed.");
      });
      Step([&] {
        ProgressBar1->Visible(false);
        Command2->Enabled(false);
        Text1->Text("");
        Text2->Text("");
      });
      m_sTargetFile.clear();
      if (status != AVIERR_OK && status != AVIERR_USERABORT) failedTarget = target;
    }
  }  // everything the run held is released here
  Step([&] {
    cmdCancelSave->Enabled(false);
    cmdOpenAVIFile->Enabled(true);
    Command3->Enabled(true);
  });
  running_ = false;
  if (saved && !failedTarget.empty()) {
    Step([&] {
      MsgBox(std::string("The compressed file could not be written:") + kCrLf + failedTarget + kCrLf +
                 modCompress::AviErrorText(status) + kCrLf + "No file was written; an existing file was left as it was.",
             vbInformation);
    });
  }
  if (!saved && !declined && status != AVIERR_OK) {
    Step([&] { MsgBox(std::string("There was an error opening the file:") + kCrLf + m_sSourceFile, vbInformation); });
  }
}
