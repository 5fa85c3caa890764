#include "options/frmCompOpt.h"

#include "core/error.h"
#include "core/msgbox.h"
#include "engine/modGeneral.h"
#include "forms/app.h"
#include "mainwindow/FormInstances.h"
#include "mainwindow/modSettings.h"
#include "options/frmCodecs.h"
#include "options/frmCompress.h"
#include "registry/settings.h"
#include "shell/files.h"
#include "shell/process.h"

namespace {

constexpr const char* kFirstHelp =
    "Windows Media files are smaller than Crunchbox encoded files but they cannot be played in applications that do "
    "not support Windows media. Use this Quick Compress option to create highly compressed, high quality, 320 X 240 "
    "with stereo sound. (To be played from a local hard drive or over a fast local area network).";

// Stored method per element ("" for the slide-show element, which cannot be the default).
const char* Method(int16_t element) {
  switch (element) {
    case 0: return "Crunchbox";
    case 1: return "WME";
    case 4: return "VirtualDub";
    case 5: return "Batch";
    case 6: return "Manual";
    default: return "";
  }
}

bool There(const std::string& path) { return !path.empty() && modGeneral::FileExists(path); }
std::string Encoder() { return EncoderInstallDir.empty() ? "" : FolderFile(EncoderInstallDir, "\\WMEnc.exe"); }
std::string Quoted(const std::string& path) { return QuoteArgument(path); }

}  // namespace

const int16_t frmCompOpt::kElements[6] = {0, 1, 3, 4, 5, 6};

const std::string& frmCompOpt::HelpText(int16_t element) {
  static const std::string texts[7] = {
      "Crunchbox Video files are smaller than uncompressed AVI movies and they can be played in any AVI capable "
      "application so long as the Crunchbox Codec is installed on the target computer.",
      "Windows Media Files are smaller than Crunchbox Encoded files but they cannot be played in applications that do "
      "not support Windows media. Use this Windows Media Encoder option to get the maximum control over your output "
      "media or to create custom profiles.",
      "",
      "Choose this option only if you want your output movie to have no sound. You cannot select this option as your "
      "default compression method.",
      "Choose this option to use the Video Compression in VirtualDub. Use this option to see every standard installed "
      "compression codec.",
      "Choose this option to use the batch encoder. Set this as your default compression tool to automatically "
      "compress all files in your session at the session's end.",
      "Choose this option to select any DirectX supported codec that's installed on your computer.",
  };
  return texts[element >= 0 && element <= 6 ? element : 2];
}

frmCompOpt::frmCompOpt() : Form("frmCompOpt") {
  On("Form_Load", [this] { Form_Load(); });
  On("Option1_Click", [this](int16_t) { Option1_Click(); });
  On("Command1_Click", [this] { Command1_Click(); });
  On("Command3_Click", [this] { Command3_Click(); });
  On("Command2_Click", [this] { Unload(); });
}

void frmCompOpt::Design() {
  Caption("Compression Tools");
  BorderStyle(vbFixedDouble);
  Size(6630, 5085);
  StdFont bold;
  bold.Name = "MS Sans Serif";
  bold.Size = 8;
  bold.Bold = true;
  Place({
      {"Label", "Label1", -1, "", 120, 120, 6255, 255, "Please select a compression tool and click next", {}, bold},
      {"OptionButton", "Option1", 0, "", 240, 480, 6135, 255, "Compress an AVI file to an Crunchbox 5 AVI"},
      {"OptionButton", "Option1", 1, "", 240, 780, 6135, 255, "Compress an AVI file using Windows Media Encoder"},
      {"OptionButton", "Option1", 3, "", 240, 1080, 6135, 255, "Compress a slide show AVI file (No Sound)."},
      {"OptionButton", "Option1", 4, "", 240, 1380, 6135, 255, "Compress using VirtualDub"},
      {"OptionButton", "Option1", 5, "", 240, 1680, 6135, 255, "Compress using Batch Encoder"},
      {"OptionButton", "Option1", 6, "", 240, 1980, 6135, 255, "Manually Select a Codec with Each Save.",
       {{"Value", Variant(true)}}},
      {"Label", "Label2", -1, "", 240, 2400, 6135, 1335, kFirstHelp, {{"WordWrap", Variant(true)}}},
      {"Label", "Line1", -1, "", 120, 3840, 6255, 15, "", {{"BackColor", Variant(int32_t{0x808080})}}},
      {"CommandButton", "Command3", -1, "", 120, 4080, 1455, 375, "Set as Default"},
      {"CommandButton", "Command2", -1, "", 3600, 4080, 1335, 375, "Cancel"},
      {"CommandButton", "Command1", -1, "", 5040, 4080, 1335, 375, "Next", {{"Default", Variant(true)}}},
  });
}

int16_t frmCompOpt::SelectedElement() {
  for (int16_t e : kElements)
    if (Option1(e).Value()) return e;
  return -1;
}

void frmCompOpt::Form_Load() {
  Top((Screen().Height() - Height()) / 2);
  Left((Screen().Width() - Width()) / 2);
  // The stored method, compared exactly; selecting an option runs its click.
  const std::string method = GetSetting(kSettingsApp, kSectionOptions, kKeyCompression, kDefaultCompression);
  for (int16_t e : kElements)
    if (e != 3 && method == Method(e)) Option1(e).Value(true);
  // Tools that are not there cannot be chosen.
  auto off = [&](int16_t e) {
    Option1(e).Enabled(false);
    Option1(e).Value(false);
  };
  if (!There(Encoder())) {
    off(1);
    off(5);
  }
  if (!There(AppFile("\\Lotkiln.exe"))) off(5);
  if (!There(AppFile("\\Crunchbox.exe"))) off(0);
  if (!There(AppFile("\\VirtualDub\\VirtualDub.exe"))) off(4);
}

void frmCompOpt::Option1_Click() {
  const int16_t e = SelectedElement();
  if (e < 0) return;
  Label2->Caption(HelpText(e));
  Command3->Enabled(e != 3);
}

void frmCompOpt::Command1_Click() {
  switch (SelectedElement()) {
    case 0: {
      const std::string program = AppFile("\\Crunchbox.exe");
      if (There(program)) {
        Shell(Quoted(program), vbMinimizedFocus);
      } else {
        MsgBox("Can't find Crunchbox.exe. Please resinstall the Crunchbox encoder.", vbOKOnly);
      }
      break;
    }
    case 1: {
      const std::string program = Encoder();
      if (There(program)) {
        Screen().MousePointer(vbArrowHourglass);
        Shell(Quoted(program), vbNormalFocus);
        Pause(2);
        Screen().MousePointer(vbDefault);
        Unload();
      } else {
        EncoderInstallDir.clear();
      }
      break;
    }
    case 3:
    case 6: {
      Form& next = SelectedElement() == 3 ? static_cast<Form&>(DefaultForm<frmCompress>())
                                          : static_cast<Form&>(DefaultForm<frmCodecs>());
      next.Load();
      Hide();
      next.Show(vbModal);
      Unload();
      break;
    }
    case 4:
    case 5: {
      const char* suffix = SelectedElement() == 4 ? "\\VirtualDub\\VirtualDub.exe" : "\\Lotkiln.exe";
      const std::string program = AppFile(suffix);
      if (There(program)) {
        Shell(Quoted(program), vbNormalFocus);
        Unload();
      } else {
        std::string shown = suffix;  // the name as the suite writes it, with "/"
        for (char& c : shown)
          if (c == '\\') c = '/';
        MsgBox("Can't find " + AppPath() + shown + ".", vbOKOnly);
      }
      break;
    }
    default:
      break;
  }
}

void frmCompOpt::Command3_Click() {
  const int16_t e = SelectedElement();
  if (e == 3) return;
  SaveSetting(kSettingsApp, kSectionOptions, kKeyCompression, e < 0 ? "" : Method(e));
}
