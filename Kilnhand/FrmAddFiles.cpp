#include "FrmAddFiles.h"

#include "core/error.h"
#include "core/msgbox.h"
#include "core/runtime.h"
#include "forms/app.h"
#include "modKilnhand.h"
#include "modProfiles.h"

using namespace kilnhand;

FrmAddFiles::FrmAddFiles() : Form("FrmAddFiles") {
  On("Form_Load", [this] { FormLoad(); });
  On("CmdBrowse_Click", [this](int16_t Index) { Browse(Index); });
  On("TxtInput_LostFocus", [this] { Analyse(); });
  On("CmdOk_Click", [this] { Ok(); });
  On("CmdCancel_Click", [this] {
    input_.clear();
    Unload();
  });
  // A box holding exactly one blank is emptied at once.
  On("TxtInput_Change", [this] {
    if (TxtInput->Text() == " ") TxtInput->Text("");
  });
  On("TxtOutput_Change", [this] {
    if (TxtOutput->Text() == " ") TxtOutput->Text("");
  });
  On("CmbProfile_Change", [this] {
    if (CmbProfile->Text() == " ") CmbProfile->Text("");
  });
}

void FrmAddFiles::Design() {
  Caption("Add Batch Items");
  Size(6585, 2955);
  BorderStyle(vbFixedDouble);
  Place({
      {"Frame", "FraInput", -1, "", 120, 60, 6255, 1815, "INPUT"},
      {"Label", "LblInput", -1, "FraInput", 120, 330, 1215, 255, "&Input File :"},
      {"TextBox", "TxtInput", -1, "FraInput", 1380, 285, 3675, 315, ""},
      {"CommandButton", "CmdBrowse", 0, "FraInput", 5145, 285, 975, 315, "Browse"},
      {"Label", "LblOutput", -1, "FraInput", 120, 780, 1215, 255, "&Output File :"},
      {"TextBox", "TxtOutput", -1, "FraInput", 1380, 735, 3675, 315, ""},
      {"CommandButton", "CmdBrowse", 1, "FraInput", 5145, 735, 975, 315, "Browse"},
      {"Label", "LblProfile", -1, "FraInput", 120, 1230, 1215, 255, "&Profile :"},
      {"ComboBox", "CmbProfile", -1, "FraInput", 1380, 1185, 4740, 315, ""},
      {"CommandButton", "CmdOk", -1, "", 3900, 2010, 1155, 375, "Ok", {{"Default", Variant(true)}}},
      {"CommandButton", "CmdCancel", -1, "", 5220, 2010, 1155, 375, "Cancel", {{"Cancel", Variant(true)}}},
      {"CommonDialog", "DlgInOut", -1, "", 0, 0, 0, 0, ""},
  });
}

void FrmAddFiles::FormLoad() {
  Top((Screen().Height() - Height()) / 2);
  Left((Screen().Width() - Width()) / 2);
  input_.clear();
  output_.clear();
  profile_.clear();
  try {
    FillProfileList(*CmbProfile);
  } catch (const VBError& e) {
    MsgBox("Error Getting Profiles of Encoder", vbCritical, "Error-" + std::to_string(e.Number()));
  }
}

void FrmAddFiles::Browse(int16_t index) {
  try {
    if (index == 0) {
      DlgInOut->Dialog().DialogTitle = "Input File";
      DlgInOut->Dialog().Filter =
          "Video Files(*.asf,*.avi,*.bmp,*.mpg,*.wmv)|*.asf;*.avi;*.bmp;*.mpg;*.wmv|Audio "
          "Files(*.asf,*.avi,*.mp3,*.mpg,*.wav,*.wma)|*.asf;*.avi;*.mp3;*.mpg;*.wav;*.wma";
      DlgInOut->Dialog().Flags = 4096;
      DlgInOut->ShowOpen();
      TxtInput->Text(DlgInOut->Dialog().FileName);
      DlgInOut->Dialog().FileName.clear();
      std::string in = TxtInput->Text();
      if (in.size() < 3) return;
      TxtOutput->Text(in.substr(0, in.size() - 3) + "wmv");
      TxtInput->SetFocus();
    } else {
      DlgInOut->Dialog().DialogTitle = "output file";
      DlgInOut->Dialog().Filter =
          "Windows Media  files(*.wmv;*.wma)|*.wmv;*.wma|Windows Media  video files(*.wmv)|*.wmv|Windows Media  "
          "audio files(*.wma)|*.wma|Windows Media (*.asf)|*.asf";
      DlgInOut->Dialog().Flags = 4;
      DlgInOut->ShowSave();
      TxtOutput->Text(DlgInOut->Dialog().FileName);
      DlgInOut->Dialog().FileName.clear();
    }
  } catch (const VBError&) {
    // the handler stops where it failed
  }
}

void FrmAddFiles::Analyse() {
  const std::string path = TxtInput->Text();
  if (path.empty()) return;
  try {
    ComPtr<IWMEncoder> enc = NewEncoder();
    ComPtr<IWMEncSourceGroupCollection> groups;
    CheckWithInfo(enc->get_SourceGroupCollection(groups.put()));
    ComPtr<IWMEncSourceGroup> group;
    CheckWithInfo(groups->Add(Bstr("SrcList"), group.put()));
    CheckWithInfo(group->AutoSetFileSource(Bstr::FromUtf8(path)));
    ComPtr<IWMEncProfileCollection> col;
    CheckWithInfo(enc->get_ProfileCollection(col.put()));
    int16_t audio = 0, video = 0;
    CheckWithInfo(group->get_SourceCount(WMENC_AUDIO, &audio));
    CheckWithInfo(group->get_SourceCount(WMENC_VIDEO, &video));
    const std::string previous = CmbProfile->Text();
    if (audio == 0 && video == 0) {
      MsgBox("The input file doesnot contain Either an audio or a video", vbOKOnly);
      return;
    }
    if (audio == 0) return;  // video only: nothing changes
    CmbProfile->Clear();
    int32_t n = 0;
    CheckWithInfo(col->get_Count(&n));
    for (int32_t i = 0; i < n; ++i) {
      ComPtr<IWMEncProfile> p;
      CheckWithInfo(col->Item(i, p.put()));
      int16_t pa = 0, pv = 0;
      CheckWithInfo(p->get_MediaCount(WMENC_AUDIO, &pa));
      CheckWithInfo(p->get_MediaCount(WMENC_VIDEO, &pv));
      bool fits = video >= 1 ? (pv > 0 && pa > 0) : (pv == 0 && pa > 0);
      if (fits) {
        Bstr name;
        CheckWithInfo(p->get_Name(&name));
        CmbProfile->AddItem(name.Utf8());
      }
    }
    if (video >= 1) CmbProfile->Text(CmbProfile->ListCount() > 0 ? CmbProfile->List(0) : "");
    else CmbProfile->Text("");
    for (int16_t i = static_cast<int16_t>(CmbProfile->ListCount() - 1); i >= 0; --i) {
      if (UCase(CmbProfile->List(i)) == UCase(previous)) {
        CmbProfile->Text(CmbProfile->List(i));
        break;
      }
    }
  } catch (const VBError& e) {
    if (static_cast<uint32_t>(e.Number()) == 0xC00D1B71u) {
      MsgBox(e.Description(), vbOKOnly);
      input_.clear();
      Unload();
    }
  }
}

void FrmAddFiles::Ok() {
  try {
    if (TxtInput->Text().empty()) {
      MsgBox("Please enter the input file", vbOKOnly);
      TxtInput->SetFocus();
      return;
    }
    if (CmbProfile->Text().empty()) {
      MsgBox("Please enter a profile", vbOKOnly);
      CmbProfile->SetFocus();
      return;
    }
    output_ = TxtOutput->Text().empty() ? "None" : TxtOutput->Text();
    input_ = TxtInput->Text();
    profile_ = CmbProfile->Text();
    Unload();
  } catch (const VBError&) {
    MsgBox("Error In Input", vbOKOnly);
  }
}

FrmAddFiles& TheAddFiles() {
  // Lives as long as the program, past the forms runtime's own end.
  static FrmAddFiles* form = MakeForm<FrmAddFiles>().release();
  return *form;
}
