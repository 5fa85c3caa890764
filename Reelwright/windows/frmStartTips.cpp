#include "windows/frmStartTips.h"

#include "core/runtime_math.h"
#include "forms/app.h"
#include "mainwindow/modSettings.h"
#include "registry/settings.h"
#include "shell/shell.h"
#include "windows/modTutorial.h"

namespace {

StdFont Font18(bool bold) {
  StdFont f;
  f.Name = "MS Sans Serif";
  f.Size = 18;
  f.Bold = bold;
  return f;
}

}  // namespace

const std::vector<std::string>& frmStartTips::Tips() {
  static const std::vector<std::string> tips = {
      "that movie files compressed to Windows Media are typically 1/3 the size of MPEG videos? Use the Windows Media "
      "Encoder to encode your newly joined files.",
      "that early versions of the DivX codec were illegal hacks of the Microsoft MPEG-4 compression? Use the included "
      "DivX converter to make Angel Potion and DivX ;-) encoded media files DirectX compatible. Note: DivX 4.x and "
      "higher are said to be new, original works.",
      "that you can optionally turn on and off drag and drop features of your Reelwright Storyboard clips? Select "
      "Tools/Settings and Preferences to change your drag and drop options.",
      "that you can configure a still image editor from within Reelwright and then call that editor whenever a still "
      "image is selected in your storyboard? Select Tools/Settings and Preferences to change your drag and drop "
      "options.",
      "that you can create custom Profiles in Windows Media Encoder to resize and resample your video files? Select "
      "Tools/Compression Tools and Windows Media Encoder.",
      "that you can set the default transition (or none) so that your transition is automatically added to each new "
      "clip in your storyboard? Select Tools/Settings and Preferences to change your default transition.",
      "that you can specify the default transition time so that your transition time is automatically set on each new "
      "clip you add to your storyboard? Select Tools/Settings and Preferences to change your default transition time.",
      "that you can specify the default delay time for any still image so that your delay time is automatically set "
      "for each new still image that you add to your storyboard? Select Tools/Settings and Preferences to change your "
      "default still image delay.",
      "that you can rearrange the contents of a movie? Just cut your source into chunks with the splitter trimmer then "
      "rejoin the chunks in a new sequence.",
      "that you can get free updates to this version of Reelwright? Go to Help/About and click the ''Web Site'' button "
      "to see if there's a newer version posted.",
      "that you can get free support by email or from our moderated peer to peer forum on the Internet? Go to "
      "Help/Customer Support on the main menu to see the options available.",
      std::string("that you can share information with others by joining our free Audio/Visual discussion forum?  Just "
                  "point your browser to ") +
          modTutorial::kForumAddress +
          " or press the Audio/Visual Forum button in the Help/Customer Support window.",
      "that you can encode movies in batches during times when you don't need your computer? Just select Batch "
      "Encoder from the Tools menu.",
      "that you can convert and sometimes even repair badly formatted movies or sound files with VirtualDub? Just "
      "select VirtualDub from the Tools menu.",
      "that you can add titles, graphs and notations to single frames of any loaded movie? Just select Title Maker "
      "from the tools menu.",
      "that you can capture single frames from any loaded movie? Just select Title Maker from the tools menu.",
      "that you can use any DirectX enabled capture card from Reelwright? Just select Capture Video from the tools "
      "menu.",
      "that you can create a movie from still images in Reelwright (Slide Show) and then add sound to it with "
      "VirtualDub?",
      "that you can automatically compress your output files if you select Lotkiln as your default compression tool?",
  };
  return tips;
}

frmStartTips::frmStartTips() : Form("frmStartTips") {
  On("Form_Load", [this] { Form_Load(); });
  On("Command3_Click", [this] {  // Previous Tip
    if (tip_ > 1) --tip_;
    ShowTip();
  });
  On("Command4_Click", [this] {  // Next Tip
    if (tip_ < 19) ++tip_;
    ShowTip();
  });
  On("Command1_Click", [this] {  // OK
    StoreChoice();
    Unload();
  });
  On("Command2_Click", [this] {  // View Tutorial
    if (!modTutorial::TutorialExists()) return;
    Hide();
    ShellOpen(modTutorial::TutorialPath());
    StoreChoice();
    Unload();
  });
}

void frmStartTips::Design() {
  Caption("Tips and Tricks");
  BorderStyle(vbFixedDouble);
  Size(6990, 4710);
  Place({
      {"Image", "Image1", -1, "", 120, 120, 1455, 1215, ""},
      {"Label", "Label3", 0, "", 240, 240, 2640, 435, "Lumenhall", {{"BackStyle", Variant(int16_t{0})}}, Font18(true)},
      {"Label", "Label3", 1, "", 210, 210, 2640, 435, "Lumenhall",
       {{"BackStyle", Variant(int16_t{0})}, {"ForeColor", Variant(int32_t{0x0000FF})}}, Font18(true)},
      {"Label", "Label2", -1, "", 1800, 840, 4800, 435, "Did you know", {{"BackStyle", Variant(int16_t{0})}},
       Font18(false)},
      {"Label", "Label4", 0, "", 120, 1440, 6630, 15, "", {{"BackColor", Variant(int32_t{0x808080})}}},
      {"Label", "Label4", 1, "", 120, 1455, 6630, 15, "", {{"BackColor", Variant(int32_t{0xFFFFFF})}}},
      {"Label", "Label1", -1, "", 1800, 1560, 4950, 1800, "", {{"WordWrap", Variant(true)}}},
      {"CheckBox", "Check1", -1, "", 120, 3480, 3600, 255, "Show these Tips at Startup",
       {{"Value", Variant(int16_t{1})}}},
      {"CommandButton", "Command3", -1, "", 120, 3840, 1455, 375, "Previous Tip"},
      {"CommandButton", "Command4", -1, "", 1680, 3840, 1455, 375, "Next Tip"},
      {"CommandButton", "Command2", -1, "", 3600, 3840, 1455, 375, "View Tutorial"},
      {"CommandButton", "Command1", -1, "", 5295, 3840, 1455, 375, "OK", {{"Default", Variant(true)}}},
  });
}

void frmStartTips::Form_Load() {
  Top(Screen().Height() / 2 - Height() / 2);
  Left(Screen().Width() / 2 - Width() / 2);
  Randomize();
  Label3(0).ZOrder(0);
  Label3(1).ZOrder(0);
  Label2->ZOrder(0);
  tip_ = static_cast<int16_t>(Int(19 * Rnd() + 1));
  ShowTip();
}

void frmStartTips::ShowTip() {
  if (tip_ >= 1 && tip_ <= 19) Label1->Caption(Tips()[static_cast<size_t>(tip_ - 1)]);
}

void frmStartTips::StoreChoice() {
  SaveSetting(kSettingsApp, kSectionInit, kKeyStartTips, Check1->Value() == vbChecked ? "Show" : "Hide");
}
