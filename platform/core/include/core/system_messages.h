#pragma once
// The system's message table and the calling thread's last error.
//
//   char text[2046] = {};
//   SetLastError(0);
//   DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
//                            static_cast<DWORD>(hr), 0x0400, text, sizeof text, nullptr);
//   // n == 0: no text; GetLastError() == ERROR_MR_MID_NOT_FOUND for a code without one.
//
// The table holds a text for each COM code (core/hresult.h: the general, class, registry,
// moniker, type library and automation codes) and each Win32 code the platform defines, in
// plain English, each ending in CR LF. A failure HRESULT of the Win32 facility (0x8007xxxx)
// gives the text of its Win32 code. The media framework's own codes (0x8004xxxx interface codes)
// are not the system's: their texts come from the media layer.
#include <cstdint>

#include "core/hresult.h"

constexpr DWORD FORMAT_MESSAGE_ALLOCATE_BUFFER = 0x00000100;
constexpr DWORD FORMAT_MESSAGE_IGNORE_INSERTS = 0x00000200;
constexpr DWORD FORMAT_MESSAGE_FROM_STRING = 0x00000400;
constexpr DWORD FORMAT_MESSAGE_FROM_HMODULE = 0x00000800;
constexpr DWORD FORMAT_MESSAGE_FROM_SYSTEM = 0x00001000;
constexpr DWORD FORMAT_MESSAGE_ARGUMENT_ARRAY = 0x00002000;
constexpr DWORD FORMAT_MESSAGE_MAX_WIDTH_MASK = 0x000000FF;

// Win32 codes of the last error.
constexpr DWORD ERROR_INSUFFICIENT_BUFFER = 122;
constexpr DWORD ERROR_MR_MID_NOT_FOUND = 317;

// Writes the text of messageId from the system's table into buffer (size bytes, the final NUL
// included) and returns its length without the NUL. Only FORMAT_MESSAGE_FROM_SYSTEM is served
// (with or without FORMAT_MESSAGE_IGNORE_INSERTS; the texts hold no inserts, the width mask is
// ignored); source and arguments are not used; any language gives the English text. Returns 0
// and sets the last error: ERROR_MR_MID_NOT_FOUND for a code without a text,
// ERROR_INSUFFICIENT_BUFFER when the text and its NUL do not fit (nothing written then),
// 87 (invalid parameter) for other flags or no buffer. A success leaves the last error
// as it was.
DWORD FormatMessageA(DWORD flags, const void* source, DWORD messageId, DWORD languageId, char* buffer,
                     DWORD size, void* arguments);

// The calling thread's last error, as the platform's system-style calls leave it (0 at the
// start of every thread).
DWORD GetLastError();
void SetLastError(DWORD code);
