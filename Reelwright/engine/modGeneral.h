#pragma once
// modGeneral: small file, window and system procedures that windows of every part of the main
// program call. (The graph procedures of the module are in modGeneralGraph.h.)
//
// The procedures live in the namespace modGeneral and are also reachable without it, except
// FileExists, whose name the platform's file functions use as well: modGeneral::FileExists.
#include <cstdint>
#include <string>

namespace modGeneral {

// The suite's support web page and its support mail address.
inline constexpr const char* kSupportPageAddress = "https://www.example.com/reelwright/support";
inline constexpr const char* kSupportMailAddress = "support@example.com";

// Hands the support page to the desktop's web browser; the outcome is not looked at.
void OpenSupportPage();
// Opens a new mail to the support address in the user's mail program; the outcome is not looked at.
void SendMailToMaker();

// The text without its NUL characters, the others kept in their order.
std::string StripNulls(const std::string& text);

// The user's temporary folder with a trailing "/", so that a file name can be appended directly;
// the empty string when it cannot be had.
std::string GetTempFolder();

// Whether a file of that name exists (a folder is no file; the empty path is none). Never fails.
bool FileExists(const std::string& path);

// Deletes a file or a folder with its contents: into the desktop's trash when allowUndo, else for
// good. One trailing "/" is removed from the caller's variable first; a path that still ends with
// "/" names nothing. confirm asks the user before anything happens; showProgress has nothing to
// show for a single item. Returns 0 when done or when nothing has that name, 1223 when the user
// declined, otherwise the failure's error number; nothing is reported.
int32_t DeleteToRecycleBin(std::string& path, bool allowUndo, bool confirm, bool showProgress);

// Asks for a file to save through the save dialog (initial folder, default extension appended to
// a typed name without one, filter "description|pattern|..."); the chosen path, or the empty
// string when the user cancelled or the dialog failed.
std::string ShowSaveDialog(const std::string& initialFolder, const std::string& defaultExtension,
                           const std::string& filter);

// A new empty side file for a render's work in progress beside its target: stem (the folder and
// the start of the name) followed by "<pid>-<unique>" and suffix, made as NewSideFile makes it.
// "" when no such file can be made there or the folder would not let it replace the target
// afterwards (a folder without any write permission counts as read-only for the superuser as
// well), with why: the system's text for the cause ("Access is denied.", "The file system is
// read-only.", "The file name or extension is too long.", ...). Never throws.
// A target whose own name is longer than its folder takes is refused here as too long (the side
// file's name is made to fit beside any name the folder can hold, so it would not tell).
std::string NewRenderSideFile(const std::string& target, const std::string& stem, const std::string& suffix,
                              std::string& why);

// Waits the given seconds with the arrow-and-hourglass pointer while window events keep running;
// returns at once for 0 or less. The wait ends on time also when it spans midnight. The pointer
// is the default one afterwards.
void Pause(double seconds);

// The part of a path after its last "/": the whole path when it holds none, the empty string for
// an empty path or one that ends with "/".
std::string GetFileNameFromPath(const std::string& path);

// The process that owns a window; 0 for a handle that names no window.
int32_t GetWindowProcessId(int32_t window);

// The first top-level window without a parent or owner that belongs to the process. For this
// program: its own windows (hidden ones included), as handles. For another program: the windows
// the desktop's window manager lists (topmost first; shown or minimised, since a window is listed
// from its first showing until it is hidden), as the window system's ids, which
// GetWindowProcessId takes back; 0 when the process has none (yet), and always 0 where the
// desktop lists no windows (no X11 display).
int32_t FindWindowOfProcess(int32_t processId);

}  // namespace modGeneral

using modGeneral::DeleteToRecycleBin;
using modGeneral::FindWindowOfProcess;
using modGeneral::GetFileNameFromPath;
using modGeneral::GetTempFolder;
using modGeneral::GetWindowProcessId;
using modGeneral::NewRenderSideFile;
using modGeneral::kSupportMailAddress;
using modGeneral::kSupportPageAddress;
using modGeneral::OpenSupportPage;
using modGeneral::Pause;
using modGeneral::SendMailToMaker;
using modGeneral::ShowSaveDialog;
using modGeneral::StripNulls;
