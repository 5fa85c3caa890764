// General: the control's property page. It reads nine properties of the first selected control
// by name and writes them back when the frame applies its changes.
#include "Flickgem.h"
#include "Resources.h"
#include "com/dispatch.h"
#include "core/error.h"
#include "core/runtime.h"
#include "forms/commondialog.h"
#include "forms/controls.h"
#include "forms/picture_object.h"
#include "forms/propertypage.h"
#include "shell/files.h"

using namespace flickgem;

namespace {

template <class F>
void Trapped(F&& body) {
  if (!EndQuietly(std::forward<F>(body))) Err().Clear();
}

class General : public PropertyPageObject<_General> {
 public:
  General() : PropertyPageObject("General", kLibId, kMajor, kMinor) { BindHandlers(); }

 protected:
  void Design() override {
    Caption("General");
    Size(4920, 4395);
    const Variant none;
    Place({
        {"PictureBox", "Picture3", -1, "", 0, 0, 4920, 375, "", {{"BackColor", Variant(int32_t(0x80000002))}}},
        {"Label", "Label1", -1, "Picture3", 120, 60, 4500, 255, "WzAnimatedGif.Flickgem"},
        {"Label", "Label2", -1, "", 0, 390, 4920, 15, ""},
        {"Label", "lblGifFileName", -1, "", 120, 510, 1200, 255, "GifFileName:"},
        {"TextBox", "txtGifFileName", -1, "", 120, 765, 3990, 285, ""},
        {"CommandButton", "Command1", -1, "", 4170, 765, 375, 285, "...",
         {{"ToolTipText", Variant("Change the default GIF File location")}}},
        {"Image", "Image2", -1, "", 4170, 1110, 600, 600, "", {{"Stretch", Variant(true)}}},
        {"CheckBox", "chkAutoSize", -1, "", 120, 1110, 3990, 390, "AutoSize (Sizes the control to the size of the image)"},
        {"CheckBox", "chkAutoPlay", -1, "", 120, 1500, 3990, 390,
         "AutoPlay (Start playing the animation when load is complete)"},
        {"Label", "Label5", -1, "", 120, 1980, 1200, 255, "NumberOfPlays"},
        {"TextBox", "txtNumberOfPlays", -1, "", 1380, 1950, 900, 285, "0"},
        {"Label", "lblBorderStyle", -1, "", 120, 2340, 1200, 255, "BorderStyle:",
         {{"ToolTipText", Variant("Set the border around the control")}}},
        {"PictureBox", "Picture1", -1, "", 1380, 2310, 3000, 300, "", {{"BorderStyle", Variant(int16_t{0})}}},
        {"OptionButton", "Option1", 0, "Picture1", 0, 0, 1200, 255, "None", {{"ToolTipText", Variant("No Border")}}},
        {"OptionButton", "Option1", 1, "Picture1", 1320, 0, 1600, 255, "Fixed Single",
         {{"ToolTipText", Variant("Show a border around the control")}}},
        {"Label", "lblAppearance", -1, "", 120, 2700, 1200, 255, "Appearance:",
         {{"ToolTipText", Variant("Set the appeaance of the control")}}},
        {"PictureBox", "Picture2", -1, "", 1380, 2670, 3000, 300, "", {{"BorderStyle", Variant(int16_t{0})}}},
        {"OptionButton", "Option2", 0, "Picture2", 0, 0, 1200, 255, "Flat",
         {{"ToolTipText", Variant("Show the control as flat")}}},
        {"OptionButton", "Option2", 1, "Picture2", 1320, 0, 1600, 255, "3D",
         {{"ToolTipText", Variant("Show the control as 3D")}}},
        {"Label", "Label3", 0, "", 120, 3000, 3300, 390, "BackColor (The color of the control when no file is loaded)"},
        {"Label", "lblBackColor", -1, "", 3480, 3060, 600, 255, "", {{"BorderStyle", Variant(int16_t{1})}}},
        {"CommandButton", "Command3", -1, "", 4170, 3045, 375, 285, "...",
         {{"ToolTipText", Variant("Change the BackColor")}}},
        {"Label", "Label3", 1, "", 120, 3390, 3300, 390, "ImageBackColor (Color behind a transparent GIF)"},
        {"Label", "lblImageBackColor", -1, "", 3480, 3420, 600, 255, "", {{"BorderStyle", Variant(int16_t{1})}}},
        {"CommandButton", "Command4", -1, "", 4170, 3405, 375, 285, "...",
         {{"ToolTipText", Variant("Change the color behind the image")}}},
        {"Label", "Label4", -1, "", 120, 3810, 1200, 255, "Picture:"},
        {"Image", "Image3", -1, "", 1380, 3780, 600, 600, "", {{"Stretch", Variant(true)}}},
        {"CommandButton", "Command2", -1, "", 4170, 3795, 375, 285, "...",
         {{"ToolTipText", Variant("Change the default picture")}}},
        {"CommonDialog", "CommonDialog1", -1, "", 0, 0, 0, 0, ""},
        {"TextBox", "txtBorderStyle", -1, "", 6000, 0, 600, 285, ""},
        {"TextBox", "txtAppearance", -1, "", 6000, 400, 600, 285, ""},
    });
    (void)none;
  }

 private:
  IDispatch* Selected() { return SelectedControls(0).Get(); }
  Variant Read(const char* name) { return CallByName(Selected(), name, DISPATCH_PROPERTYGET); }
  void Write(const char* name, const Variant& v, WORD how = DISPATCH_PROPERTYPUT) {
    CallByName(Selected(), name, how, {v});
  }

  void BindHandlers() {
    On("PropertyPage_SelectionChanged", [this] {
      if (SelectedCount() == 0) return;
      txtAppearance->Text(CStr(Read("Appearance")));
      chkAutoPlay->Value(static_cast<int16_t>(CBool(Read("AutoPlay")) ? 1 : 0));
      chkAutoSize->Value(static_cast<int16_t>(CBool(Read("AutoSize")) ? 1 : 0));
      txtGifFileName->Text(CStr(Read("GifFileName")));
      txtBorderStyle->Text(CStr(Read("BorderStyle")));
      lblImageBackColor->BackColor(static_cast<OLE_COLOR>(CLng(Read("ImageBackColor"))));
      lblBackColor->BackColor(static_cast<OLE_COLOR>(CLng(Read("BackColor"))));
      Image3->SetPicture(PictureFromVariant(Read("Picture")));
      txtNumberOfPlays->Text(CStr(Read("NumberOfPlays")));
    });
    On("PropertyPage_ApplyChanges", [this] {
      if (SelectedCount() == 0) return;
      Write("Appearance", Variant(txtAppearance->Text()));
      Write("AutoPlay", Variant(chkAutoPlay->Value() == 1));
      Write("AutoSize", Variant(chkAutoSize->Value() == 1));
      Write("GifFileName", Variant(txtGifFileName->Text()));
      Write("BorderStyle", Variant(txtBorderStyle->Text()));
      Write("ImageBackColor", Variant(static_cast<int32_t>(lblImageBackColor->BackColor())));
      Write("BackColor", Variant(static_cast<int32_t>(lblBackColor->BackColor())));
      Write("Picture", PictureVariant(Image3->GetPicture()), DISPATCH_PROPERTYPUTREF);
      Write("NumberOfPlays", Variant(Val(txtNumberOfPlays->Text())));
    });
    auto changed = [this] { Changed(true); };
    On("txtNumberOfPlays_Change", changed);
    On("chkAutoPlay_Click", changed);
    On("chkAutoSize_Click", changed);
    On("txtGifFileName_Change", [this] { CheckGifFile(); });
    On("txtBorderStyle_Change", [this] {
      Changed(true);
      SelectPair(Option1.Name(), txtBorderStyle->Text());
    });
    On("txtAppearance_Change", [this] {
      Changed(true);
      SelectPair(Option2.Name(), txtAppearance->Text());
    });
    On("Option1_Click", [this](int16_t Index) { SetIfDifferent(*txtBorderStyle, Index == 0 ? "0" : "1"); });
    On("Option2_Click", [this](int16_t Index) { SetIfDifferent(*txtAppearance, Index == 0 ? "0" : "1"); });
    On("Command1_Click", [this] {
      Trapped([&] {
        CommonDialogObject& d = CommonDialog1->Dialog();
        d.CancelError = true;
        d.Filter = "Animated Gif (*.GIF)|*.gif";
        d.ShowOpen();
        txtGifFileName->Text(d.FileName);
      });
    });
    On("Command2_Click", [this] {
      Trapped([&] {
        CommonDialogObject& d = CommonDialog1->Dialog();
        d.CancelError = true;
        d.Filter = "Pictures (*.bmp;*.dib;*.wmf;*.emf;*.jpg;*.gif;*.ico)|*.bmp;*.dib;*.wmf;*.emf;*.jpg;*.gif;*.ico";
        d.ShowOpen();
        Picture p = LoadPicture(d.FileName);  // a metafile or anything else that is no picture fails here
        if (!p.IsEmpty()) Image3->SetPicture(p);
      });
    });
    auto colour = [this](Ctl<Label>& swatch) {
      Trapped([&] {
        CommonDialogObject& d = CommonDialog1->Dialog();
        d.CancelError = true;
        d.ShowColor();
        swatch->BackColor(d.Color);
      });
    };
    On("Command3_Click", [this, colour] { colour(lblBackColor); });
    On("Command4_Click", [this, colour] { colour(lblImageBackColor); });
  }

  // The option pair follows its value field: 0 the first button, 1 the second, else neither.
  void SelectPair(const std::string& array, const std::string& text) {
    const double v = Val(text);
    auto& first = dynamic_cast<OptionButton&>(*FindControl(array, 0));
    auto& second = dynamic_cast<OptionButton&>(*FindControl(array, 1));
    if (v == 0 && !first.Value()) first.Value(true);
    if (v == 1 && !second.Value()) second.Value(true);
    if (v != 0 && v != 1) {
      first.Value(false);
      second.Value(false);
    }
  }
  static void SetIfDifferent(TextBox& box, const std::string& text) {
    if (box.Text() != text) box.Text(text);
  }

  void CheckGifFile() {
    const std::string name = txtGifFileName->Text();
    bool shown = false;
    if (!name.empty()) {
      Trapped([&] {
        if (!FileExists(name)) return;
        Picture p = LoadPicture(name);
        Image2->SetPicture(p);
        shown = !p.IsEmpty();
      });
    }
    if (!shown) {
      Image2->SetPicture(Picture());
      if (!name.empty()) txtGifFileName->Text("");
    }
    Changed(true);
  }

  Ctl<TextBox> txtGifFileName{this, "txtGifFileName"};
  Ctl<TextBox> txtNumberOfPlays{this, "txtNumberOfPlays"};
  Ctl<TextBox> txtBorderStyle{this, "txtBorderStyle"};
  Ctl<TextBox> txtAppearance{this, "txtAppearance"};
  Ctl<CheckBox> chkAutoSize{this, "chkAutoSize"};
  Ctl<CheckBox> chkAutoPlay{this, "chkAutoPlay"};
  Ctl<Label> lblBackColor{this, "lblBackColor"};
  Ctl<Label> lblImageBackColor{this, "lblImageBackColor"};
  Ctl<Image> Image2{this, "Image2"};
  Ctl<Image> Image3{this, "Image3"};
  Ctl<CommonDialog> CommonDialog1{this, "CommonDialog1"};
  CtlArray<OptionButton> Option1{this, "Option1"};
  CtlArray<OptionButton> Option2{this, "Option2"};
};

}  // namespace

ServerClass GeneralServerClass() { return ServerClass::Of<General>(PageRegistration()); }
