#include "windows/BrowseCore.h"

#include "core/error.h"
#include "core/msgbox.h"
#include "forms/app.h"
#include "forms/hwnd.h"
#include "forms/netdialog.h"

BrowseCore::BrowseCore(const std::string& formName, std::string okButton, int32_t panelWidth, int32_t panelHeight)
    : Form(formName), okButton_(std::move(okButton)), panelWidth_(panelWidth), panelHeight_(panelHeight) {
  On("Form_Load", [this] { Form_Load(); });
  On("Combo1_Click", [this] {
    Text1->Text(Combo1->ListIndex() == 0 ? kMultimediaPattern : kAllFilesPattern);
    File1->Pattern(Text1->Text());
  });
  On("Dir1_Change", [this] {
    File1->Path(Dir1->Path());
    lbPath->Caption(File1->Path());
  });
  On("Drive1_Change", [this] { Drive1_Change(); });
  On(okButton_ + "_Click", [this] { Confirm(); });
  On("File1_DblClick", [this] { Confirm(); });
  On("Command2_Click", [this] { Dismiss(); });
  On("Command4_Click", [this] { Dismiss(); });
  // Network: the network folder dialog for disks, owned by this window.
  On("Command3_Click", [this] { WNetConnectionDialog(hWnd(), RESOURCETYPE_DISK); });
  // The window has no title bar: the hint strip moves it, with any mouse button.
  On("Label4_MouseDown", [this](int16_t, int16_t, float, float) {
    ReleaseCapture();
    SendMessage(hWnd(), WM_NCLBUTTONDOWN, HTCAPTION, 0);
  });
}

void BrowseCore::Design() {
  Caption("Open");
  BorderStyle(vbBSNone);
  StdFont bold;
  bold.Bold = true;
  Place({
      {"WzPanel", "Panel1", -1, "", 0, 0, panelWidth_, panelHeight_, ""},
      {"WzPanel", "Panel2", -1, "Panel1", 0, 0, panelWidth_, 375, ""},
      {"Label", "Label4", -1, "Panel2", 120, 75, panelWidth_ - 720, 255,
       "Hold down the Ctrl key and left click to select multiple files. Hold down the shift and click for a range.",
       {{"BackStyle", Variant(int16_t{0})}, {"ForeColor", Variant(int32_t{0xFFFFFF})}}, bold},
      {"CommandButton", "Command4", -1, "Panel2", panelWidth_ - 480, 45, 375, 285, "X"},
      {"Label", "Label1", -1, "Panel1", 120, 480, 2895, 255, "File name:"},
      {"TextBox", "Text1", -1, "Panel1", 120, 735, 3495, 315, ""},
      {"FileListBox", "File1", -1, "Panel1", 120, 1080, 3495, 3180, "", {{"MultiSelect", Variant(int16_t{2})}}},
      {"Label", "Label2", -1, "Panel1", 120, 4380, 2895, 255, "List files of types"},
      {"ComboBox", "Combo1", -1, "Panel1", 120, 4635, 3495, 315, "", {{"Style", Variant(int16_t{2})}}},
      {"Label", "Label3", -1, "Panel1", 3840, 480, 2895, 255, "Folders:"},
      {"Label", "lbPath", -1, "Panel1", 3840, 735, 3495, 315, ""},
      {"DirListBox", "Dir1", -1, "Panel1", 3840, 1080, 3495, 3180, ""},
      {"Label", "Label5", -1, "Panel1", 3840, 4380, 2895, 255, "Drives:"},
      {"DriveListBox", "Drive1", -1, "Panel1", 3840, 4635, 3495, 315, ""},
      {"CommandButton", okButton_, -1, "Panel1", 7680, 735, 1455, 375, "OK", {{"Default", Variant(true)}}},
      {"CommandButton", "Command2", -1, "Panel1", 7680, 1215, 1455, 375, "Cancel"},
      {"CommandButton", "Command3", -1, "Panel1", 7680, 1695, 1455, 375, "Network"},
      {"CheckBox", "Check1", -1, "Panel1", 7680, 2280, 1455, 255, "Read Only"},
  });
  Panel2->BackColor(0x800000);  // a dark blue strip under its picture
  Panel2->SetPicture(StripPicture());
  Combo1->AddItem(kMultimediaEntry);
  Combo1->AddItem(kAllFilesEntry);
  DesignExtras();
}

void BrowseCore::Form_Load() {
  // Each step ignores its own failure.
  Step([&] {
    Width(Panel1->Width() - 15);
    Height(Panel1->Height());
  });
  Step([&] { PlaceWindow(); });
  Step([&] { Combo1->ListIndex(0); });
}

void BrowseCore::Drive1_Change() {
  if (restoringDrive_) return;
  // The whole folder shown is remembered: it names its drive, the mount point holding it.
  const std::string folder = Dir1->Path();
  if (Step([&] { Dir1->Path(Drive1->Drive()); })) return;
  MsgBox(Err().Description, vbOKOnly);
  Err().Clear();
  // The drive list goes back to the drive of the folder still shown; the folder stays.
  restoringDrive_ = true;
  Step([&] { Drive1->Drive(folder); });
  restoringDrive_ = false;
}

void BrowseCore::Confirm() {
  bNoCancel = true;
  Hide();
}

void BrowseCore::Dismiss() {
  bNoCancel = false;
  Hide();
}
