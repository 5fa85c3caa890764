#pragma once
// Connecting a network folder (the network drive dialog). On Linux a network folder is mounted
// by the desktop's virtual file system: the dialog asks for its address (smb://host/share,
// sftp://host/path, ...) and OK mounts it with `gio mount`, after which it shows among the user's
// mounts (/run/user/<uid>/gvfs) and in the drive list. A failed mount shows gio's own error text
// (OK only); Cancel does nothing.
#include <cstdint>

#include "forms/hwnd.h"

constexpr uint32_t RESOURCETYPE_DISK = 1;
constexpr uint32_t NO_ERROR_RESULT = 0;
constexpr uint32_t ERROR_NOT_SUPPORTED_RESULT = 50;
constexpr uint32_t ERROR_EXTENDED_ERROR_RESULT = 1208;
constexpr uint32_t WNET_CANCELLED = 0xFFFFFFFF;

// Shows the dialog owned by `owner` for folders (type RESOURCETYPE_DISK; other types answer
// ERROR_NOT_SUPPORTED_RESULT without a dialog). Answers NO_ERROR_RESULT once mounted,
// WNET_CANCELLED on Cancel (or an empty address), ERROR_EXTENDED_ERROR_RESULT after the box of a
// failed mount.
uint32_t WNetConnectionDialog(HWND owner, uint32_t type);
