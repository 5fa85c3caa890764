#pragma once
// Turning a failed system call into the runtime's file error numbers.
#include <cstddef>
#include <cstdint>
#include <string>

namespace shell_detail {

// What a missing name means for the call that failed: the file itself is missing (53) or a
// folder on the way to it is (76).
enum class Missing { File, Path };

int32_t VbErrorFromErrno(int err, Missing missing);

// The system's code for a failed call's errno, for the thread's last error: 3 a missing folder,
// 5 access denied, 19 a read-only file system, 112 a full disk, 206 a name too long, 1117 a
// device error; 0 when the system has no code of its own for it.
uint32_t LastErrorFromErrno(int err);

[[noreturn]] void RaiseErrno(int err, Missing missing);

// Opens a file with open(2) flags (close-on-exec added) without waiting: an empty name is 52,
// a folder, a FIFO or a device 75, and a missing name is what `missing` says. Returns the
// descriptor of the regular file.
int OpenFileDescriptor(const std::string& path, int flags, Missing missing);

// Writes all of size bytes; returns 0 or the errno of the failing write.
int WriteAll(int fd, const char* data, size_t size);

// A failed write: 61 when the disk is full, 57 otherwise.
[[noreturn]] void RaiseWriteFailure(int err);

// The path of a regular file, folder, link or anything else at that name (not following a link).
bool AnythingAt(const std::string& path);

// Whether the last part of a path (trailing "/" ignored) is "." or "..": such a path names a
// folder by way of itself or its parent, never one item to delete or move.
bool EndsInDotPart(const std::string& path);

}  // namespace shell_detail
