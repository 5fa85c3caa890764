#pragma once
// Files and folders: the program folder, the current and temporary folders, existence tests and
// the runtime's file statements. Paths use "/" as separator. Failures throw VBError with the
// runtime's numbers: 53 file not found, 76 path not found, 70 permission denied, 75 path/file
// access error, 58 file already exists, 61 disk full.
#include <cstdint>
#include <string>
#include <vector>

// The folder of the running program (App.Path), without a trailing "/". SUITE_PROGRAM_FOLDER,
// when set, names another folder instead (tests use it to keep companions and lists of their
// own off the build's program folder); programs started by name are looked up there too.
std::string AppPath();

// The current folder (CurDir) and changing it (ChDir; 76 when there is no such folder).
std::string CurDir();
void ChDir(const std::string& path);

// The user's private temporary folder with a trailing "/": reelwright-<uid>/ inside $TMPDIR when
// set, else inside /tmp ($SUITE_SHARED_TEMP names another shared folder in tests); made with mode
// 0700 when missing. Where that name is a link, no folder, or a folder of another user, the next
// free name is taken (reelwright-<uid>-1/, ... -99/); a folder of this user with wider
// permissions is narrowed to 0700. When no such folder can be had inside $TMPDIR, the one inside
// /tmp is taken. When every such name is taken: reelwright/ inside $XDG_RUNTIME_DIR when that is
// the user's own folder closed to others, else a folder of this process's own made with mkdtemp
// (reelwright-<uid>.<pid>.XXXXXX/ inside $TMPDIR, else /tmp; those of ended processes are removed
// when the next one is made). 76 when no such folder can be made at all; callers then make no
// file rather than one without a folder.
std::string TempFolder();

// The system folder (GetSystemDirectoryA's stand-in): the folder of the platform's libraries
// (build/lib), or $SUITE_SYSTEM_FOLDER when set (tests); no trailing "/". The buffer form is
// GetSystemDirectoryA in shell/system.h.
std::string SystemDirectory();

// True for an existing normal file (a link is followed); a folder is not a file. Never throws.
bool FileExists(const std::string& path);
// True for an existing folder (a link is followed). Never throws.
bool FolderExists(const std::string& path);
// True when anything at all has that name, a dangling link included. Never throws.
bool PathExists(const std::string& path);

// Deletes one file (Kill). 53 when no file has that name (a folder included).
void Kill(const std::string& path);
// Deletes a file or a whole folder with everything in it, for good. 53 when nothing has that name,
// and for a path whose last part is "." or ".." (it names no single item: "dir/." is not "dir").
void DeletePath(const std::string& path);

// Creates one folder (MkDir): 75 when the name exists already, 76 when its parent is missing.
void MkDir(const std::string& path);
// Removes an empty folder (RmDir): 76 when it is missing, 75 when it is not empty.
void RmDir(const std::string& path);

// The length of a file in bytes (FileLen); 53 when no file has that name. Wider than the
// runtime's Long, so that movies of more than 2 GB report their true length.
int64_t FileLen(const std::string& path);

// Copies a file (FileCopy), replacing the target. 53 when the source is missing, 76 when the
// target's folder is missing, 70 when source and target are the same file. A copy that fails
// part-way leaves no partial target behind.
void FileCopy(const std::string& source, const std::string& target);

// Renames or moves a file or folder (Name ... As ...). 53 when the old name is missing, 58 when
// the new name exists already; a file is moved across file systems by copying it, a folder is not
// (74).
void Name(const std::string& oldPath, const std::string& newPath);

// The directory look-up (Dir): the name (without its folder) of the first normal file that
// matches the last part of the pattern, "" when none does. The last part may hold the
// wildcards * and ?; with wildcards, letter case is ignored, files whose names start with "."
// are skipped and the first name in sorted order is returned; "*.*" matches every name.
std::string Dir(const std::string& pattern);

// The short path of a file or folder (GetShortPathName): the path itself when something of that
// name exists, "" otherwise. Never padded, never truncated.
std::string ShortPathName(const std::string& path);

// A companion file or program given as a folder and a suffix that begins with a backslash, as
// the suite names them ("\Lotkiln.exe", "\VirtualDub\VirtualDub.exe", "\lotkiln.lst"):
// backslashes become "/", a program "Name.exe" is the file "Name", and a help file "Name.chm" is
// the folder of help pages "Name.help".
std::string FolderFile(const std::string& folder, const std::string& backslashSuffix);
// A path whose name ends in ".chm" (any case) as the help folder "<name>.help"; others unchanged.
std::string HelpFolderName(const std::string& path);
// The same below the program folder: AppFile("\\VirtualDub\\VirtualDub.exe") is
// AppPath() + "/VirtualDub/VirtualDub".
std::string AppFile(const std::string& backslashSuffix);

// The file a path finally names: symbolic links are followed (a relative link from its own
// folder) until a name that is no link, which is returned even when nothing has that name (a
// dangling link gives its target). A path that is no link comes back unchanged. 75 for a loop.
std::string ResolveLinks(const std::string& path);

// ResolveLinks for a file about to be written: a link on the way is followed only where the
// system would follow it in a shared folder, that is unless the link lies in a folder that every
// user may write and that keeps others' entries (sticky), and belongs neither to this user nor to
// the folder's owner. Such a link (planted by another user) is refused with 70.
std::string ResolveLinksForWriting(const std::string& path);

// Replaces target by a finished file (the way to write a file without ever leaving a partial
// one: write a new file next to the target, then replace). The finished file is renamed over
// the target, so the target is at every moment either the old file or the new one, complete.
// A target that is a symbolic link keeps pointing at the replaced file: the file it names is
// replaced. A finished file on another file system is copied next to that file first. The
// replaced file's permission bits pass to the new one; a new target gets a new file's usual
// permissions (0666 less the umask), however the finished file was made. A target that exists but is no regular
// file (a folder, a device, a FIFO) is refused with 75 and left alone, as is the finished file;
// 53 when the finished file is missing.
void ReplaceFile(const std::string& finished, const std::string& target);

// Whether ReplaceFile could replace target: its (resolved) folder is writable by this user and
// an existing target is a regular file writable by this user. Never throws.
bool CanReplace(const std::string& target);

// The permission bits of a file the user makes: 0666 less the process's umask (read without
// changing the mask, which is shared by every thread).
unsigned NewFilePermissions();

// A new side file for work in progress: stem + "<pid>-<unique>" + suffix, where stem holds the
// folder and the start of the name (for example "/movies/.clip.avi.joining-"). Side files of the
// same stem and suffix whose process no longer runs are removed first (they were left by a killed
// writer and will never be renamed into place). The file is made empty and owner-only, never
// through a link, and a taken name is passed over for a fresh one, so leftovers never make it
// fail. However long the target's name, the side file's name fits the folder: the middle of the
// stem's name part is left out where needed (its start and its last 16 bytes stay), the same way
// for the same stem and suffix. One still at its name when the program ends (exit, End: a run
// stopped by the program's end) is removed then. Returns the name; the file errors when the folder
// cannot take a new file.
std::string NewSideFile(const std::string& stem, const std::string& suffix = "");

// Removes the side files stem + "<pid>-<unique>" + suffix of processes that no longer run (only
// regular files; links and folders of such names are left alone). Never throws.
void RemoveStaleSideFiles(const std::string& stem, const std::string& suffix = "");

// A file this program made (CreateNewFile, NewSideFile, GetTempFileNameA), opened again for
// writing without following a link: refused with 75 when the name is a link, no regular file, a
// file of another user or one with other names (hard links). Name() names the open file itself
// (/proc/self/fd/<n>), for a library that opens files only by name: whatever is planted at the
// path meanwhile, that name reaches this file. With truncate, whatever it held is emptied.
class CreatedFile {
 public:
  explicit CreatedFile(const std::string& path, bool truncate = true);
  ~CreatedFile();
  CreatedFile(const CreatedFile&) = delete;
  CreatedFile& operator=(const CreatedFile&) = delete;
  int Descriptor() const { return fd_; }
  const std::string& Name() const { return name_; }
  // Closes the file; 0, or the errno of a write that failed on its way to the disk.
  int Close();

 private:
  int fd_ = -1;
  std::string name_;
};

// Copies a regular file (opened without waiting: a FIFO or a device is refused with 53) into a
// file this program made, as CreatedFile opens it (never through a link).
void CopyIntoCreatedFile(const std::string& source, const std::string& created);

// Creates an empty file that did not exist (owner-only permissions; a name that is a link,
// dangling or not, counts as existing and is never followed). Returns false when something
// already has that name; other failures throw the file errors (76 for a missing folder) and
// leave the system's code for the cause as the thread's last error (core/system_messages.h: 5
// access denied, 19 a read-only file system, 206 a name too long, ...).
bool CreateNewFile(const std::string& path);

// The whole file's bytes (53 for a missing file, 75 for a folder or an unreadable file; 7 when
// the file holds more than maxBytes).
std::vector<uint8_t> ReadFileBytes(const std::string& path, uint64_t maxBytes = UINT64_MAX);
// Writes bytes as the whole content of a file this program created (CreateNewFile), never
// through a link; a write failure (a full disk) raises 61 or 75.
void WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes);
