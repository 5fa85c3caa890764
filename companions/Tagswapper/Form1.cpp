#include "Form1.h"

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "avi_header_reader.h"
#include "core/error.h"
#include "core/msgbox.h"
#include "core/runtime_strings.h"
#include "forms/app.h"
#include "shell/files.h"
#include "shell/textfile.h"

namespace {

struct Codec {
  const char* code;      // the chosen code, as Command4 names it
  const char* handler;   // written into the stream header
  const char* compression;  // written into the bitmap header
};
constexpr std::array<Codec, 3> kCodecs = {{{"MP43", "mp43", "MP43"}, {"DIV3", "div3", "DIV3"}, {"AP41", "ap41", "AP41"}}};

// Four header bytes as text, one character per byte (Latin-1); a NUL shows as nothing.
std::string CodeText(const std::vector<uint8_t>& bytes) {
  std::string s;
  for (uint8_t b : bytes) {
    if (b == 0) continue;
    if (b < 0x80) {
      s += static_cast<char>(b);
    } else {
      s += static_cast<char>(0xC0 | (b >> 6));
      s += static_cast<char>(0x80 | (b & 0x3F));
    }
  }
  return s;
}

void NotAnAvi(const std::string& path) {
  MsgBox("The file " + path + " is not an AVI file with a video stream.", vbOKOnly, kTagswapperTitle);
}

// Places the client area at width x height twips.
void ClientSize(Form& f, int32_t width, int32_t height) {
  f.Size(width, height);
  f.Size(width + (f.Width() - static_cast<int32_t>(f.ScaleWidth())),
         height + (f.Height() - static_cast<int32_t>(f.ScaleHeight())));
}

}  // namespace

Form1::Form1() : Form("Form1") {
  On("Form_Load", [this] {
    Top((Screen().Height() - Height()) / 2);
    Left((Screen().Width() - Width()) / 2);
  });
  On("Command2_Click", [this] { Command2_Click(); });
  On("Command4_Click", [this] { Command4_Click(); });
  On("Command5_Click", [this] { Unload(); });
}

void Form1::Design() {
  Caption("AVI Header-Writer");
  BorderStyle(vbFixedSingle);
  ClientSize(*this, 5475, 3390);
  const Variant no(false);
  const std::pair<std::string, Variant> bordered{"BorderStyle", Variant(int16_t{1})};
  Place({
      {"Label", "Label5", -1, "", 180, 105, 810, 195, "File Name:"},
      {"Label", "lblFileName", -1, "", 1080, 105, 4065, 195, ""},
      {"Label", "Label6", 0, "", 195, 435, 5040, 45, "", {bordered}},
      {"Label", "Label6", 2, "", 180, 1575, 5040, 45, "", {bordered}},
      {"Label", "Label6", 1, "", 180, 2745, 5040, 45, "", {bordered}},
      {"Label", "Label1", -1, "", 2235, 705, 2190, 195, "Video Format FOURCC Code"},
      {"Label", "lblFourC", 0, "", 4560, 645, 675, 285, "", {bordered}},
      {"Label", "Label2", -1, "", 1650, 1005, 2775, 195, "Video Codec Handler FOURCC Code"},
      {"Label", "lblFourC", 1, "", 4560, 960, 675, 285, "", {bordered}},
      {"Label", "Label3", -1, "", 180, 1320, 1755, 195, "Current FOURCC Code"},
      {"Label", "Label4", -1, "", 3330, 1320, 1530, 195, "New FOURCC Code"},
      {"Label", "lblExp", -1, "", 180, 1755, 2355, 285, "", {bordered}},
      {"OptionButton", "Option2", 0, "", 3315, 1710, 1920, 285, "Microsoft MPEG-4 V3", {{"Enabled", no}}},
      {"OptionButton", "Option2", 1, "", 3570, 2025, 1665, 285, "DivX ;-) V3 Low", {{"Enabled", no}}},
      {"OptionButton", "Option2", 2, "", 3315, 2310, 1920, 285, "Angel Potion V1", {{"Enabled", no}}},
      {"CommandButton", "Command2", -1, "", 195, 2910, 1410, 315, "Open"},
      {"CommandButton", "Command4", -1, "", 2085, 2910, 1410, 315, "Change", {{"Enabled", no}}},
      {"CommandButton", "Command5", -1, "", 3825, 2910, 1410, 315, "Exit"},
      {"CommonDialog", "CommonDialog1", -1, "", 0, 0, 0, 0, ""},
  });
}

void Form1::ShowUnknownCode() {
  lblExp->Caption("");
  lblFourC(0).Caption("");
  lblFourC(1).Caption("");
  for (int16_t i = 0; i <= 2; ++i) Option2(i).Enabled(false);
  Command4->Enabled(false);
}

void Form1::LoadFile(const std::string& sFile) {
  // The codes are the video stream's own, found by walking the file's header lists; a file that
  // cannot be read raises here and changes nothing on the window.
  BinaryFile file(sFile, BinaryAccess::Read);
  const std::optional<AviCodeOffsets> at = FindAviCodeOffsetsInFile(sFile);
  if (!at) {
    file.Close();
    ShowUnknownCode();
    NotAnAvi(sFile);
    return;
  }
  const std::vector<uint8_t> handler = file.ReadAt(at->handler, 4);
  const std::vector<uint8_t> compression = file.ReadAt(at->compression, 4);
  file.Close();

  Command4->Enabled(true);
  lblFourC(0).Caption(CodeText(handler));
  lblFourC(1).Caption(CodeText(compression));
  for (int16_t i = 0; i <= 2; ++i) Option2(i).Enabled(true);

  // The handler code decides, without regard to case.
  std::string code;
  for (uint8_t b : handler) code += static_cast<char>(b >= 'A' && b <= 'Z' ? b - 'A' + 'a' : b);
  if (code == "mp43") {
    lblExp->Caption("Microsoft MPEG-4 V3");
    Option2(0).Enabled(false);
  } else if (code == "div3") {
    lblExp->Caption("DivX ;-) V 3 Low");
    Option2(1).Enabled(false);
  } else if (code.size() == 4 && code.compare(0, 3, "ap4") == 0) {
    lblExp->Caption("Angel Potion V" + CodeText({handler[3]}));
    Option2(2).Enabled(false);
  } else {
    ShowUnknownCode();
  }
}

void Form1::WriteDiVx(const std::string& sLoadedFileName, const std::string& sCodec) {
  const Codec* codec = nullptr;
  for (const Codec& c : kCodecs) {
    if (sCodec == c.code) codec = &c;
  }
  if (!codec) return;
  auto refuse = [&](const std::string& reason) {
    MsgBox("The file " + sLoadedFileName + " could not be changed: " + reason, vbOKOnly, kTagswapperTitle);
  };
  // Opened for reading first: a file that is missing is not made here.
  try {
    BinaryFile(sLoadedFileName, BinaryAccess::Read).Close();
  } catch (const VBError& e) {
    refuse(e.Description());
    return;
  }
  const std::optional<AviCodeOffsets> at = FindAviCodeOffsetsInFile(sLoadedFileName);
  if (!at) {
    NotAnAvi(sLoadedFileName);
    return;
  }
  try {
    // The file a link names is changed only where the system itself would follow the link for a
    // writer (never another user's link in a shared sticky folder), and never made anew.
    BinaryFile file(ResolveLinksForWriting(sLoadedFileName), BinaryAccess::Modify);
    file.WriteAt(at->handler, std::string_view(codec->handler, 4));
    file.WriteAt(at->compression, std::string_view(codec->compression, 4));
    file.Close();
  } catch (const VBError& e) {
    refuse(e.Description());
    return;
  }
  DoEvents();
}

void Form1::Command2_Click() {
  EndQuietly([&] {
    CommonDialogObject& dialog = CommonDialog1->Dialog();
    dialog.CancelError = true;
    dialog.FileName = "";
    dialog.Filter = "AVI Movies(*.avi)|*.avi";
    CommonDialog1->ShowOpen();
    lblFileName->Caption(dialog.FileName);
    LoadFile(lblFileName->Caption());
  });
}

void Form1::Command4_Click() {
  const std::string path = lblFileName->Caption();
  if (path.empty() || !FileExists(path)) return;
  std::string code;
  if (Option2(0).Value()) {
    code = "MP43";
  } else if (Option2(1).Value()) {
    code = "DIV3";
  } else if (Option2(2).Value()) {
    code = "AP41";
  } else {
    MsgBox("Please select an option", vbOKOnly, kTagswapperTitle);
    return;
  }
  WriteDiVx(path, code);
  LoadFile(path);
}
