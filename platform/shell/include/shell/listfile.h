#pragma once
// The list-file hand-off between programs: writers append one line at a time to a shared list
// file, a reader takes every line at once. All three calls take an exclusive advisory lock
// (flock) on the file itself, so that
//   - an appended line is never torn, lost or read twice, however many writers and readers run
//     at once, in one process or in several;
//   - a reader that takes the file takes whole lines only, and a writer that opened the file
//     just before it was taken writes into a new file instead (each writer re-checks, once it
//     holds the lock, that the path still names the file it locked).
// Writers that append without these calls (a plain `>>` of another program) are not covered.
// Failures throw VBError with the file errors of shell/files.h.
#include <string>
#include <string_view>
#include <vector>

// Appends line followed by CR LF in one write, under the lock, and closes the file at once.
// The file is created (0666 less the umask) when absent.
void AppendLine(const std::string& path, std::string_view line);

// Reads every line of the file under the lock, then removes the file. An absent file gives no
// lines. Lines end with CR LF, CR or LF; a last line without a line end counts as well.
std::vector<std::string> TakeLines(const std::string& path);

// Renames the file to privatePath under the lock (privatePath must be on the same file system,
// normally a name in the same folder; an existing privatePath is replaced). Returns whether a
// file was taken; false when there is none at path. The caller reads the private file at leisure
// (TakeLines(privatePath) reads and removes it).
bool TakeFile(const std::string& path, const std::string& privatePath);
