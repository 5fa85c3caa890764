#pragma once
// Stand-ins for the system calls the suite names, with their buffer conventions: a caller passes
// a buffer and its size; the text comes back NUL-terminated. Failures return 0 and set the
// thread's last error (core/system_messages.h: GetLastError).
#include <cstdint>

// Makes a unique temporary file name in pathName ("/" added when missing; an empty pathName is
// the current folder): up to the first three characters of prefix, the number in upper-case
// hexadecimal without leading zeros, and ".TMP". With unique 0 the number is chosen so that the
// name is new, and the empty file is created exclusively (owner-only, never through a link);
// on a clash the next number is tried. With another unique (its low 16 bits) only the name is
// made, nothing is created. tempFileName must hold 260 characters. Returns the number used;
// 0 on failure, with the last error 3 for a missing folder, 5 when the folder refuses the file,
// 111 when the name would not fit.
uint32_t GetTempFileNameA(const char* pathName, const char* prefix, uint32_t unique, char* tempFileName);

// The system folder: the folder of the platform's libraries (build/lib), or the folder named by
// SUITE_SYSTEM_FOLDER when that is set (tests), without a trailing "/". Writes it with its NUL
// when it fits in size characters and returns its length; otherwise writes nothing and returns
// the size needed (length + 1).
uint32_t GetSystemDirectoryA(char* buffer, uint32_t size);
