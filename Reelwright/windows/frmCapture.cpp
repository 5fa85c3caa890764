#include "windows/frmCapture.h"

#include <sstream>

#include "com/com.h"
#include "core/error.h"
#include "core/msgbox.h"
#include "core/runtime_convert.h"
#include "core/runtime_strings.h"
#include "engine/modGeneral.h"
#include "forms/app.h"
#include "mainwindow/modSettings.h"
#include "registry/settings.h"
#include "shell/files.h"

std::string TitleFileName;

namespace {

constexpr const char* kOpenFilter =
    "Video Files (*.avi;*.mov;*.wza;*.mpeg)|*.avi;*.mov;*.wza;*.mpeg|Pictures (*.bmp;*.jpg;*.gif;*.wmf)|"
    "*.bmp;*.jpg;*.gif;*.wmf|";
constexpr const char* kSaveFilter = "Title Bitmap (*.bmp)|*.bmp|";
constexpr GUID kMajorTypeVideo = MakeGuid("{73646976-0000-0010-8000-00AA00389B71}");

// A stored colour: the text as a number, rounded to a 32-bit integer (system colours negative).
OLE_COLOR ColorFromText(const std::string& text) { return static_cast<OLE_COLOR>(CLng(Variant(CDbl(Variant(text))))); }
std::string TextFromColor(OLE_COLOR c) { return std::to_string(static_cast<int32_t>(c)); }

// The picture test of the title maker: bmp, jpg, gif and wmf by the name's last three letters.
bool IsPictureName(const std::string& name) {
  std::string tail = LCase(Right(name, 3));
  return tail == "bmp" || tail == "jpg" || tail == "gif" || tail == "wmf";
}

StdFont TitleFont() {
  StdFont f;
  f.Name = "MS Sans Serif";
  f.Size = 18;
  return f;
}

}  // namespace

std::string frmCapture::FramePictureFile() {
  const std::string folder = GetTempFolder();
  if (folder.empty()) Raise(vbErrPathNotFound);  // no temporary folder: no frame picture anywhere else
  return folder + "bitmap.bmp";
}

frmCapture::frmCapture() : Form("frmCapture") {
  On("Form_Load", [this] { Form_Load(); });
  On("Form_QueryUnload", [this](int16_t&, int16_t) { Form_QueryUnload(); });
  On("Command1_Click", [this] {  // Load File
    LoadSourceFile();
    DoEvents();
    ctrlSlider->Value(0);
    SliderScroll();
  });
  On("ctrlSlider_Scroll", [this] { SliderScroll(); });
  On("ctrlSlider_MouseDown", [this](int16_t, int16_t, float, float) { tmrTimer->Enabled(false); });
  On("ctrlSlider_MouseUp", [this](int16_t, int16_t, float, float) {
    DoEvents();
    tmrTimer->Enabled(true);
  });
  On("tmrTimer_Timer", [this] { RefreshFrame(); });
  On("Timer1_Timer", [this] { SetTitleText(); });
  On("Command3_Click", [this] { SetTitleText(); });
  On("Command6_Click", [this] { picPreview->Cls(); });  // Clear Title Text
  // The colour and font dialogs report Cancel as an error, which ends the command unchanged.
  On("Command4_Click", [this] {  // title colour
    EndQuietly([&] {
      CommonDialogObject& d = CommonDialog1->Dialog();
      d.CancelError = true;
      d.Flags = 1;
      d.Color = Label4->BackColor();
      CommonDialog1->ShowColor();
      Label4->BackColor(d.Color);
      Text1->ForeColor(d.Color);
    });
  });
  On("Command8_Click", [this] {  // background colour
    EndQuietly([&] {
      CommonDialogObject& d = CommonDialog1->Dialog();
      d.CancelError = true;
      d.Flags = 1;
      d.Color = lblBackColor->BackColor();
      CommonDialog1->ShowColor();
      lblBackColor->BackColor(d.Color);
      Text1->BackColor(d.Color);
      picBMP->BackColor(d.Color);
      picPreview->BackColor(d.Color);
    });
  });
  On("Command5_Click", [this] {  // font: name, bold and italic preset, not the size
    EndQuietly([&] {
      CommonDialogObject& d = CommonDialog1->Dialog();
      d.CancelError = true;
      d.Flags = 1;
      StdFont f = Text1->Font();
      d.FontBold = f.Bold;
      d.FontItalic = f.Italic;
      d.FontName = f.Name;
      CommonDialog1->ShowFont();
      f.Name = d.FontName;
      f.Bold = d.FontBold;
      f.Italic = d.FontItalic;
      f.Size = d.FontSize;
      Text1->Font(f);
      Check1->Value(f.Bold ? vbChecked : vbUnchecked);
      Check2->Value(f.Italic ? vbChecked : vbUnchecked);
      Label6->Caption(f.Name);
      Label7->Caption(CStr(Variant(f.Size)));
    });
  });
  On("Check1_Click", [this] { Text1->FontBold(Check1->Value() == vbChecked); });
  On("Check2_Click", [this] { Text1->FontItalic(Check2->Value() == vbChecked); });
  On("Command7_Click", [this] { SaveTitleSlide(); });
  On("Command2_Click", [this] { Unload(); });  // Exit
}

void frmCapture::Design() {
  Caption("Title Maker");
  BorderStyle(vbFixedSingle);
  Size(10230, 6525);
  const Variant yes(true), no(false);
  Place({
      {"Label", "Label1", -1, "", 120, 120, 2000, 255, "Movie or Picture:"},
      {"CommandButton", "Command1", -1, "", 120, 390, 1455, 375, "Load File",
       {{"ToolTipText", Variant("Browse for Movie or Picture")}}},
      {"Label", "lblReadFileName", -1, "", 1680, 450, 8300, 255, "No file loaded"},
      {"Label", "Label2", -1, "", 120, 870, 2000, 255, "Title Image"},
      // Borderless, so that the drawing area, which is what a slide saves, is 320 x 240 pixels.
      {"PictureBox", "picPreview", -1, "", 120, 1110, 4800, 3600, "",
       {{"AutoRedraw", yes}, {"BorderStyle", Variant(int16_t{0})}}},
      {"PictureBox", "picBMP", -1, "", 120, 1110, 4800, 3600, "",
       {{"AutoRedraw", yes}, {"BorderStyle", Variant(int16_t{0})}, {"Visible", no}}},
      {"Frame", "Frame1", -1, "", 120, 4800, 4800, 1095, " Selected Frame Data "},
      {"Slider", "ctrlSlider", -1, "Frame1", 120, 240, 4560, 375, ""},
      {"Label", "Label8", -1, "Frame1", 120, 720, 600, 255, "Frame:"},
      {"Label", "lblCurrentFrameValue", -1, "Frame1", 720, 720, 720, 255, "0"},
      {"Label", "Label9", -1, "Frame1", 1440, 720, 300, 255, "of"},
      {"Label", "lblFrameCount", -1, "Frame1", 1740, 720, 720, 255, "0"},
      {"Label", "Label10", -1, "Frame1", 2640, 720, 900, 255, "Run Time:"},
      {"Label", "lblCurrentTimeValue", -1, "Frame1", 3540, 720, 1140, 255, "0"},
      {"Frame", "Frame4", -1, "", 120, 5940, 4800, 1095, " Picture Options "},
      {"Label", "Label11", -1, "Frame4", 120, 360, 1200, 255, "Back Color"},
      {"Label", "lblBackColor", -1, "Frame4", 1320, 300, 1200, 375, "",
       {{"BorderStyle", Variant(int16_t{1})}, {"BackColor", Variant(int32_t{-2147483633})}}},
      {"CommandButton", "Command8", -1, "Frame4", 2640, 300, 495, 375, "..."},
      {"Label", "Label3", -1, "", 5160, 870, 2000, 255, "Title Text"},
      {"TextBox", "Text1", -1, "", 5160, 1110, 4920, 2160, "",
       {{"MultiLine", yes},
        {"ForeColor", Variant(int32_t{65535})},
        {"BackColor", Variant(int32_t{-2147483633})},
        {"ToolTipText", Variant("Type your title in here. Use spaces and carriage returns to align.")}},
       TitleFont()},
      {"Frame", "Frame2", -1, "", 5160, 3360, 4920, 1455, " Title Font "},
      {"CommandButton", "Command4", -1, "Frame2", 120, 300, 495, 375, "...",
       {{"ToolTipText", Variant("Change Font Color")}}},
      {"Label", "Label12", -1, "Frame2", 720, 360, 1000, 255, "Fore Color:"},
      {"Label", "Label4", -1, "Frame2", 1740, 300, 1200, 375, "",
       {{"BorderStyle", Variant(int16_t{1})}, {"BackColor", Variant(int32_t{65535})}}},
      {"CommandButton", "Command5", -1, "Frame2", 120, 840, 495, 375, "...", {{"ToolTipText", Variant("Change Font")}}},
      {"CheckBox", "Check1", -1, "Frame2", 3180, 300, 1500, 255, "Bold"},
      {"CheckBox", "Check2", -1, "Frame2", 3180, 600, 1500, 255, "Italic"},
      {"Label", "Label13", -1, "Frame2", 720, 900, 600, 255, "Name:"},
      {"Label", "Label6", -1, "Frame2", 1320, 900, 2000, 255, ""},
      {"Label", "Label14", -1, "Frame2", 3360, 900, 500, 255, "Size:"},
      {"Label", "Label7", -1, "Frame2", 3900, 900, 800, 255, ""},
      {"CommandButton", "Command3", -1, "", 5160, 4920, 2355, 375, "<< Set Title Text"},
      {"CommandButton", "Command6", -1, "", 7725, 4920, 2355, 375, "Clear Title Text >>"},
      {"CommandButton", "Command7", -1, "", 5160, 5400, 2355, 375, "Save Title Slide"},
      {"CommandButton", "Command2", -1, "", 7725, 5400, 2355, 375, "Exit"},
      {"Timer", "Timer1", -1, "", 0, 0, 0, 0, "", {{"Interval", Variant(int32_t{1000})}}},
      {"Timer", "tmrTimer", -1, "", 0, 0, 0, 0, "", {{"Interval", Variant(int32_t{1000})}}},
      {"CommonDialog", "ctrlCommonDialog", -1, "", 0, 0, 0, 0, ""},
      {"CommonDialog", "CommonDialog1", -1, "", 0, 0, 0, 0, ""},
      {"CommonDialog", "CommonDialog2", -1, "", 0, 0, 0, 0, ""},
  });
  Text1->Text("\r\n\r\n\r\n\r\n            Sample Text\r\n");
  Label6->Caption(Text1->Font().Name);
  Label7->Caption(CStr(Variant(Text1->Font().Size)));
}

void frmCapture::Form_Load() {
  bTitleSaved = false;
  Frame4->Top(Frame1->Top());
  Frame4->Visible(true);
  Frame1->Visible(false);
  Height(6525);
  Top(Screen().Height() / 2 - Height() / 2);
  Left(Screen().Width() / 2 - Width() / 2);
  picBMP->Move(picPreview->Left(), picPreview->Top());
  // Each setting carried on past a failure: a value that is no number keeps the design value.
  Step([&] {
    OLE_COLOR c = ColorFromText(GetSetting(kSettingsApp, kSectionColors, kKeyBackColor, "-2147483633 "));
    lblBackColor->BackColor(c);
    picBMP->BackColor(c);
    picPreview->BackColor(c);
    Text1->BackColor(c);
  });
  Step([&] {
    OLE_COLOR c = ColorFromText(GetSetting(kSettingsApp, kSectionFont, kKeyForeColor, "65535"));
    Label4->BackColor(c);
    Text1->ForeColor(c);
  });
  Step([&] {
    std::string name = GetSetting(kSettingsApp, kSectionFont, kKeyFontName, Text1->Font().Name);
    Label6->Caption(name);
    Text1->FontName(name);
  });
  Step([&] {
    std::string text = GetSetting(kSettingsApp, kSectionFont, kKeyFontSize, CStr(Variant(Text1->Font().Size)));
    float size = CSng(Variant(text));
    Label7->Caption(text);
    Text1->FontSize(size);
  });
  Step([&] {
    Check1->Value(LCase(GetSetting(kSettingsApp, kSectionFont, kKeyFontBold, "False")) == "true" ? vbChecked
                                                                                               : vbUnchecked);
    Text1->FontBold(Check1->Value() == vbChecked);
  });
  Step([&] {
    Check2->Value(LCase(GetSetting(kSettingsApp, kSectionFont, kKeyFontItalic, "False")) == "true" ? vbChecked
                                                                                                 : vbUnchecked);
    Text1->FontItalic(Check2->Value() == vbChecked);
  });
  Timer1->Enabled(true);
  tmrTimer->Enabled(true);
}

void frmCapture::Form_QueryUnload() {
  if (bTitleSaved) {
    if (MsgBox("Do you want to add the file " + TitleFileName + " to your storyboard?", vbYesNo) == vbNo) {
      TitleFileName.clear();
    }
  }
  const StdFont f = Text1->Font();
  SaveSetting(kSettingsApp, kSectionFont, kKeyForeColor, TextFromColor(Label4->BackColor()));
  SaveSetting(kSettingsApp, kSectionFont, kKeyFontName, f.Name);
  SaveSetting(kSettingsApp, kSectionFont, kKeyFontSize, CStr(Variant(f.Size)));
  SaveSetting(kSettingsApp, kSectionFont, kKeyFontBold, f.Bold ? "True" : "False");
  SaveSetting(kSettingsApp, kSectionFont, kKeyFontItalic, f.Italic ? "True" : "False");
  SaveSetting(kSettingsApp, kSectionColors, kKeyBackColor, TextFromColor(lblBackColor->BackColor()));
}

void frmCapture::LoadSourceFile() {
  Screen().MousePointer(vbArrowHourglass);
  CommonDialog& dialog = *ctrlCommonDialog;
  // The name chosen last time stays when the user cancels.
  Step([&] {
    dialog->CancelError = true;
    dialog->Filter = kOpenFilter;
    dialog.ShowOpen();
  });
  const std::string name = dialog->FileName;
  if (name.empty()) {
    Screen().MousePointer(vbDefault);
    return;
  }
  if (IsPictureName(name)) {
    if (modGeneral::FileExists(name)) {
      Step([&] {
        picBMP->Visible(true);
        picPreview->Visible(false);
      });
      Step([&] { picBMP->SetPicture(LoadPicture(name)); });  // a picture it cannot read leaves the old one
      Step([&] { lblReadFileName->Caption(name); });
      Step([&] {
        Frame1->Visible(false);
        Frame4->Visible(true);
      });
    }
    Screen().MousePointer(vbDefault);
    return;
  }
  if (!modGeneral::FileExists(name)) {
    Screen().MousePointer(vbDefault);
    return;
  }
  ComPtr<IMediaDet> det;
  Step([&] {
    Check(CoCreateInstance(CLSID_MediaDet, nullptr, CLSCTX_INPROC_SERVER, IMediaDet::iid, det.put_void()));
    Check(det->put_Filename(Bstr(name)));
  });
  Step([&] {
    Frame1->Visible(true);
    Frame4->Visible(false);
    picBMP->Visible(false);
    picPreview->Visible(true);
    lblReadFileName->Caption(name);
  });
  LONG video = -1;
  Step([&] {
    if (!det) return;
    LONG count = 0;
    Check(det->get_OutputStreams(&count));
    for (LONG i = 0; i < count; ++i) {
      GUID major{};
      Check(det->put_CurrentStream(i));
      Check(det->get_StreamType(&major));
      if (major != kMajorTypeVideo) continue;
      // A later video stream replaces an earlier one.
      video = i;
      double seconds = 0, rate = 0;
      Check(det->get_StreamLength(&seconds));
      Check(det->get_FrameRate(&rate));
      SetupFrameSlider(seconds, rate);
    }
  });
  if (video < 0) {
    MsgBox("The Selected File does not contain an editable video stream.", vbOKOnly + vbExclamation);
    Screen().MousePointer(vbDefault);
    return;
  }
  objMediaDet = det;
  Step([&] { Check(objMediaDet->put_CurrentStream(video)); });
  Step([&] { WriteFrame(0); });
  Step([&] { picPreview->SetPicture(LoadPicture(FramePictureFile())); });
  bMovieLoaded = true;
  Step([&] {
    Frame1->Enabled(true);
    ctrlSlider->Visible(true);
  });
  Screen().MousePointer(vbDefault);
  Step([&] { lblFrameCount->Caption(CStr(Variant(lFrameCount))); });
  Step([&] { SliderScroll(); });
}

void frmCapture::WriteFrame(double seconds) {
  const LONG width = CLng(Variant(picPreview->Width() / 15.0));
  const LONG height = CLng(Variant(picPreview->Height() / 15.0));
  Check(objMediaDet->WriteBitmapBits(seconds, width, height, Bstr(FramePictureFile())));
}

void frmCapture::SetupFrameSlider(double seconds, double rate) {
  dFrameRate = rate;
  lFrameCount = CLng(Variant(seconds * rate));
  ctrlSlider->Min(0);
  ctrlSlider->Max(lFrameCount);
  ctrlSlider->LargeChange(CLng(Variant(lFrameCount / 10.0)));
  ctrlSlider->SmallChange(CLng(Variant(lFrameCount / 100.0)));
  ctrlSlider->TickFrequency(CLng(Variant(lFrameCount / 100.0)));
}

void frmCapture::SliderScroll() {
  if (!bMovieLoaded) return;
  const int32_t value = ctrlSlider->Value();
  lblCurrentFrameValue->Caption(CStr(Variant(value)));
  if (dFrameRate != 0) lblCurrentTimeValue->Caption(CStr(Variant(value / dFrameRate)));
  bSliderMoved = true;
}

void frmCapture::RefreshFrame() {
  if (!modGeneral::FileExists(FramePictureFile()) || !bSliderMoved) return;
  bSliderMoved = false;
  const double seconds = dFrameRate != 0 ? ctrlSlider->Value() / dFrameRate : 0;
  Step([&] { WriteFrame(seconds); });
  DoEvents();
  Step([&] { picPreview->SetPicture(LoadPicture(FramePictureFile())); });
  Step([&] { SetTitleText(); });
}

PictureBox& frmCapture::TitleTarget() {
  return IsPictureName(lblReadFileName->Caption()) ? *picBMP : *picPreview;
}

void frmCapture::SetTitleText() {
  PictureBox& target = TitleTarget();
  target.Cls();
  target.Font(Text1->Font());
  target.ForeColor(Label4->BackColor());
  std::istringstream lines(Text1->Text());
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    target.Print(line);
  }
}

bool frmCapture::WriteSlide(PictureBox& box, const std::string& path) {
  // The slide is written into a fresh side file beside the target (never through a link planted
  // at its name) and replaces it only when complete: a failed save never costs the old file.
  std::string finished;
  bool written = Step([&] {
    finished = NewSideFile(path + ".saving-");
    {
      CreatedFile side(finished);
      SavePicture(box.Image(), side.Name());
      if (side.Close() != 0) Raise(vbErrPathFileAccess, {}, "SavePicture");
    }
    ReplaceFile(finished, path);
  });
  if (written) return true;
  Err().Clear();
  Step([&] {
    if (!finished.empty() && FileExists(finished)) Kill(finished);
  });
  Err().Clear();
  MsgBox("The title slide could not be saved to " + path + ".", vbOKOnly + vbExclamation);
  return false;
}

void frmCapture::ShowSavedSlide() {
  Step([&] { picBMP->SetPicture(LoadPicture(TitleFileName)); });
  Step([&] { lblReadFileName->Caption(TitleFileName); });
  Step([&] {
    picBMP->Visible(true);
    picPreview->Visible(false);
    Frame1->Visible(false);
    Frame4->Visible(true);
  });
  Screen().MousePointer(vbDefault);
  Step([&] { Text1->Text(""); });
  bTitleSaved = true;
}

void frmCapture::SaveTitleSlide() {
  if (bTitleSaved) {
    // A re-save writes picBMP's image over the same file, without a dialog.
    if (WriteSlide(*picBMP, TitleFileName)) ShowSavedSlide();
    return;
  }
  CommonDialog& dialog = *CommonDialog2;
  dialog->CancelError = true;
  dialog->Filter = kSaveFilter;
  dialog->DefaultExt = "bmp";
  if (!Step([&] { dialog.ShowSave(); })) {
    Err().Clear();
    return;
  }
  const std::string chosen = dialog->FileName;
  if (modGeneral::FileExists(chosen)) {
    const std::string prompt = "A file named " + GetFileNameFromPath(chosen) + " already exists.\r\n" +
                               "Do you want to replace it with your file?";
    if (MsgBox(prompt, vbYesNo) == vbNo) return;
  }
  if (!WriteSlide(TitleTarget(), chosen)) return;
  TitleFileName = chosen;
  ShowSavedSlide();
}
