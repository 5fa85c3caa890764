#pragma once
// ControlHost: one form hosting one ActiveX control by ProgID, with buttons for its file, play
// and property page, and a list of the events it raises. The control's properties live in the
// settings store (application "ControlHost", section = ProgID; pictures as Base64 BMP): a new
// instance when the section is absent, written back when the form closes. When the form loads,
// the control loads its file: the one given, else the control's stored GifFileName.
#include <string>
#include <vector>

#include "forms/form.h"

class ControlHostForm : public Form {
 public:
  explicit ControlHostForm(std::string progId, std::string startFile = {});
  const std::string& ProgId() const { return progId_; }
  // The hosted control (its extender: the control's members by name).
  Control& Hosted();
  // Loads a file into the control (its LoadFile method).
  void LoadFile(const std::string& path);

 protected:
  void Design() override;

 private:
  void LogEvent(const std::string& name, EventArgs& args);
  void SaveProperties();
  void LoadStartFile();
  std::string progId_;
  std::string startFile_;
};

// What the command line asks for: `ControlHost [ProgID] [file]`. A lone argument that names an
// existing file is that file, hosted by the default control. A usage switch (/?, -?, -h, /h,
// --help, /help, in any case) asks for the usage; a lone argument that is neither a file nor a
// registered ProgID, or more than two arguments, name nothing to host (the usage, as an error).
struct ControlHostCommand {
  std::string progId = "WzAnimatedGif.Flickgem";
  std::string file;
  bool help = false;
  bool wrong = false;
};
ControlHostCommand ReadControlHostCommand(const std::vector<std::string>& args);
extern const char* const kControlHostUsage;

// Base64 of bytes and back (used for pictures in the settings store).
std::string Base64Encode(const std::vector<uint8_t>& bytes);
std::vector<uint8_t> Base64Decode(const std::string& text);
