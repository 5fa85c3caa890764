#include "core/system_messages.h"

#include <cstring>
#include <iterator>
#include <string_view>

namespace {

thread_local DWORD t_lastError = 0;

struct Message {
  DWORD code;
  const char* text;  // without the line end
};

// Win32 codes the platform uses (file, registry and argument errors).
constexpr Message kWin32Messages[] = {
    {0, "The operation succeeded."},
    {2, "The file cannot be found."},
    {3, "The path cannot be found."},
    {5, "Access is denied."},
    {6, "The handle is not valid."},
    {14, "There is not enough memory to complete the operation."},
    {19, "The file system is read-only."},
    {87, "A parameter is not valid."},
    {112, "There is not enough space on the disk."},
    {122, "The buffer passed to the call is too small."},
    {206, "The file name or extension is too long."},
    {234, "More data is available than the buffer holds."},
    {259, "There are no more items."},
    {317, "There is no text for this message number in the message table."},
    {1009, "The registry database is damaged."},
    {1018, "The registry key has been marked for deletion; the operation is not allowed on it."},
    {1117, "The request could not be carried out because of a device error."},
};

// COM codes outside the Win32 facility.
constexpr Message kComMessages[] = {
    {0x80004001, "The requested operation is not implemented."},
    {0x80004002, "The object does not support the requested interface."},
    {0x80004003, "A required pointer is not valid."},
    {0x80004004, "The operation was cancelled."},
    {0x80004005, "The operation failed for an unspecified reason."},
    {0x8000FFFF, "An unexpected failure occurred."},
    {0x80040110, "This class cannot be created as part of an aggregate."},
    {0x80040111, "The class factory cannot supply the requested class."},
    {0x80040150, "The class registration could not be read from the registry."},
    {0x80040154, "The class is not registered."},
    {0x800401E3, "The operation is not available."},
    {0x800401E4, "The name could not be parsed."},
    {0x800401E5, "The object the name refers to could not be found."},
    {0x800401F3, "The text is not a valid class identifier or program name."},
    {0x800401F8, "The library of the in-process server could not be found."},
    {0x800401F9, "The library of the in-process server could not be loaded or is damaged."},
    {0x80020001, "The interface identifier is not known."},
    {0x80020003, "The member was not found."},
    {0x80020004, "A parameter was not found."},
    {0x80020005, "An argument has the wrong type."},
    {0x80020006, "The name is not known."},
    {0x80020007, "Named arguments are not supported."},
    {0x80020008, "A variant has a type that is not valid."},
    {0x80020009, "An exception occurred."},
    {0x8002000A, "A value is out of the range of its type."},
    {0x8002000B, "An index is out of range."},
    {0x8002000D, "The array is locked."},
    {0x8002000E, "The number of arguments is wrong."},
    {0x8002000F, "A required argument is missing."},
    {0x80020011, "The object does not support enumeration."},
    {0x80020012, "Division by zero."},
    {0x8002801D, "The type library is not registered."},
    {0x8002802B, "The element was not found in the type library."},
};

const char* Find(const Message* begin, const Message* end, DWORD code) {
  for (const Message* m = begin; m != end; ++m) {
    if (m->code == code) return m->text;
  }
  return nullptr;
}

const char* SystemText(DWORD code) {
  if (const char* text = Find(std::begin(kComMessages), std::end(kComMessages), code)) return text;
  // A failure HRESULT of the Win32 facility carries a Win32 code in its low word.
  if ((code & 0xFFFF0000u) == 0x80070000u) code &= 0xFFFFu;
  return Find(std::begin(kWin32Messages), std::end(kWin32Messages), code);
}

}  // namespace

DWORD FormatMessageA(DWORD flags, const void* /*source*/, DWORD messageId, DWORD /*languageId*/, char* buffer,
                     DWORD size, void* /*arguments*/) {
  const DWORD served = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_MAX_WIDTH_MASK;
  if ((flags & FORMAT_MESSAGE_FROM_SYSTEM) == 0 || (flags & ~served) != 0 || buffer == nullptr) {
    SetLastError(87);
    return 0;
  }
  const char* text = SystemText(messageId);
  if (text == nullptr) {
    SetLastError(ERROR_MR_MID_NOT_FOUND);
    return 0;
  }
  std::string_view body(text);
  const size_t length = body.size() + 2;  // CR LF
  if (length + 1 > size) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::memcpy(buffer, body.data(), body.size());
  std::memcpy(buffer + body.size(), "\r\n", 3);
  return static_cast<DWORD>(length);
}

DWORD GetLastError() { return t_lastError; }

void SetLastError(DWORD code) { t_lastError = code; }
