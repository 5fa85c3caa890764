#pragma once
// Loading in-process server libraries safely: the file is checked before the system loader sees
// it. The loader maps a library's segments as its program headers describe them; a library cut
// short (an interrupted copy) would have segments reaching past the end of the file, and touching
// them kills the process with SIGBUS. A FIFO or device would block the loader's first read.
#include <string>

#include "core/hresult.h"

// Checks that path names a complete shared library of this machine: a regular file (a FIFO or
// device is not opened for reading), an ELF header, and program headers and loadable segments
// that lie inside the file. Answers S_OK, or with the reason (without the path) in *why: CO_E_DLLNOTFOUND when the file is missing or is not a library at all, and
// CO_E_ERRORINDLL when it is a damaged (truncated) library. A bare name without "/" is the
// loader's to find and is not checked.
HRESULT CheckLibraryFile(const std::string& path, std::string* why);

// CheckLibraryFile, then dlopen(path, RTLD_NOW | RTLD_LOCAL). Returns the handle, or nullptr with
// *failure set to the HRESULT above (CO_E_DLLNOTFOUND when the loader refuses the file) and the
// reason in *why (the loader's own words name the path).
void* OpenLibraryChecked(const std::string& path, HRESULT* failure, std::string* why);
