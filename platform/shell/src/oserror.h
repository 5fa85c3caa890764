#pragma once
// Turning a failed system call into the runtime's file error numbers.
#include <cstdint>
#include <string>

namespace shell_detail {

// What a missing name means for the call that failed: the file itself is missing (53) or a
// folder on the way to it is (76).
enum class Missing { File, Path };

int32_t VbErrorFromErrno(int err, Missing missing);

[[noreturn]] void RaiseErrno(int err, Missing missing);

// The path of a regular file, folder, link or anything else at that name (not following a link).
bool AnythingAt(const std::string& path);

}  // namespace shell_detail
