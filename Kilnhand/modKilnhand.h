#pragma once
// Shared procedures of the batch encoder: the program folder and its two hand-off files, the
// output names of handed-over files, result codes, the folder chooser and the encoder's events.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "com/interfaces.h"
#include "core/unknown.h"
#include "wmenc/wmenc.h"

namespace kilnhand {

constexpr const char* kAppTitle = "Kilnhand";
constexpr const char* kSettingsApp = "WzKilnhand";
constexpr const char* kSettingsSection = "Browse";
constexpr const char* kPreferredProfile = "Wz Movie Tools 320X240";
constexpr const char* kLanProfile = "WM8 Video for LAN Delivery (100Kbps, 240x180, 15fps)";

// The program folder (App.Path); tests point it elsewhere.
std::string ProgramFolder();
void SetProgramFolderForTesting(const std::string& folder);
std::string MarkerFile();  // program folder & "/KilnhandRunning"
std::string DropFile();    // program folder & "/lotkiln.lst"

// The output name of a file handed over by command line or drop file: the last three letters
// become "wmv", or "_1.wma" is appended to a ".wma" input; a name shorter than three letters
// gets ".wmv" appended.
std::string HandOffOutput(const std::string& input);

// The output name the queue derives for "None": the path without the file name's extension
// (a "." in a folder name does not count) followed by ".wma" for sound only, else ".wmv".
std::string DerivedOutput(const std::string& input, bool soundOnly);

// "Error:" followed by the code in upper-case hexadecimal without leading zeros.
std::string ErrorResult(int32_t code);

// Whether a plain file of that name exists: folders and hidden files (a leading ".") do not count.
bool FileFound(const std::string& path);

// The mount point that holds the folder (the "drive" of a path); "/" when none is found.
std::string MountPointOf(const std::string& folder);

// The folder dialog: the chosen folder (the whole path), "" on Cancel.
std::string BrowseForFolder(uint32_t ownerHwnd, const std::string& prompt);

// A fresh encoder; raises the creation's failure.
ComPtr<IWMEncoder> NewEncoder();
// The names of the encoder's profiles, in order; raises the first failure (names read so far
// are in `names`).
void ProfileNames(std::vector<std::string>& names);

// The encoder's OnError, connected for the life of the object.
class EncoderEvents {
 public:
  EncoderEvents(IWMEncoder* encoder, std::function<void(int32_t)> onError);
  ~EncoderEvents();
  EncoderEvents(const EncoderEvents&) = delete;
  EncoderEvents& operator=(const EncoderEvents&) = delete;

 private:
  ComPtr<IWMEncoder> encoder_;
  ComPtr<IUnknown> sink_;
  uint32_t cookie_ = 0;
};

// The drop-file hand-off: each call takes the drop file (if any) to a private name in the
// program folder under the writers' lock; files taken by earlier calls (also by an earlier run
// of the program that ended before importing them) are returned when `idle`, oldest first,
// as lines, and deleted.
class DropFileTaker {
 public:
  std::vector<std::string> Tick(bool idle);

 private:
  uint32_t sequence_ = 0;
};

}  // namespace kilnhand
