// The system's message table and the thread's last error.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>

#include "core/hresult.h"
#include "core/system_messages.h"

namespace {

// The text FormatMessageA gives for a code the way the suite asks for it; "" when none.
std::string TextOf(DWORD code) {
  char buffer[2046] = {};
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0x0400, buffer,
                           sizeof buffer, nullptr);
  EXPECT_EQ(n, std::strlen(buffer)) << std::hex << code;
  return std::string(buffer, n);
}

TEST(SystemMessages, EveryCodeThePlatformDefinesHasItsText) {
  struct Case {
    HRESULT code;
    const char* text;
  } cases[] = {
      {E_FAIL, "The operation failed for an unspecified reason.\r\n"},
      {E_NOINTERFACE, "The object does not support the requested interface.\r\n"},
      {E_ABORT, "The operation was cancelled.\r\n"},
      {REGDB_E_CLASSNOTREG, "The class is not registered.\r\n"},
      {CO_E_ERRORINDLL, "The library of the in-process server could not be loaded or is damaged.\r\n"},
      {DISP_E_TYPEMISMATCH, "An argument has the wrong type.\r\n"},
      {TYPE_E_LIBNOTREGISTERED, "The type library is not registered.\r\n"},
      // Win32 codes, alone and as failure HRESULTs of the Win32 facility.
      {2, "The file cannot be found.\r\n"},
      {HRESULT_FILE_NOT_FOUND, "The file cannot be found.\r\n"},
      {E_ACCESSDENIED, "Access is denied.\r\n"},
      {E_INVALIDARG, "A parameter is not valid.\r\n"},
      {HRESULT_DISK_FULL, "There is not enough space on the disk.\r\n"},
      // The causes a failed file creation leaves as the last error.
      {5, "Access is denied.\r\n"},
      {19, "The file system is read-only.\r\n"},
      {206, "The file name or extension is too long.\r\n"},
      {1117, "The request could not be carried out because of a device error.\r\n"},
      {0, "The operation succeeded.\r\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(TextOf(static_cast<DWORD>(c.code)), c.text) << std::hex << c.code;
  // Every other code the platform's headers name that is no media code has a text too.
  for (HRESULT code : {E_NOTIMPL, E_POINTER, E_UNEXPECTED, E_HANDLE, E_OUTOFMEMORY, HRESULT_PATH_NOT_FOUND,
                       CLASS_E_NOAGGREGATION, CLASS_E_CLASSNOTAVAILABLE, REGDB_E_READREGDB, CO_E_CLASSSTRING,
                       CO_E_DLLNOTFOUND, MK_E_UNAVAILABLE, MK_E_SYNTAX, MK_E_NOOBJECT, TYPE_E_ELEMENTNOTFOUND,
                       DISP_E_UNKNOWNINTERFACE, DISP_E_MEMBERNOTFOUND, DISP_E_PARAMNOTFOUND, DISP_E_UNKNOWNNAME,
                       DISP_E_NONAMEDARGS, DISP_E_BADVARTYPE, DISP_E_EXCEPTION, DISP_E_OVERFLOW, DISP_E_BADINDEX,
                       DISP_E_ARRAYISLOCKED, DISP_E_BADPARAMCOUNT, DISP_E_PARAMNOTOPTIONAL,
                       DISP_E_NOTACOLLECTION, DISP_E_DIVBYZERO}) {
    std::string text = TextOf(static_cast<DWORD>(code));
    ASSERT_GE(text.size(), 3u) << std::hex << code;
    EXPECT_EQ(text.substr(text.size() - 3), ".\r\n") << std::hex << code;
  }
}

TEST(SystemMessages, FailuresSetTheLastError) {
  struct Case {
    DWORD flags;
    DWORD code;
    DWORD size;
    DWORD lastError;
  } cases[] = {
      {FORMAT_MESSAGE_FROM_SYSTEM, static_cast<DWORD>(VFW_E_NOT_CONNECTED), 2046, ERROR_MR_MID_NOT_FOUND},
      {FORMAT_MESSAGE_FROM_SYSTEM, 12345, 2046, ERROR_MR_MID_NOT_FOUND},
      {FORMAT_MESSAGE_FROM_SYSTEM, 0x80070999, 2046, ERROR_MR_MID_NOT_FOUND},
      {FORMAT_MESSAGE_FROM_SYSTEM, 2, 10, ERROR_INSUFFICIENT_BUFFER},
      {FORMAT_MESSAGE_FROM_SYSTEM, 2, 27, ERROR_INSUFFICIENT_BUFFER},  // text and CR LF fit, the NUL not
      {FORMAT_MESSAGE_FROM_STRING, 2, 2046, 87},
      {FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER, 2, 2046, 87},
  };
  for (const Case& c : cases) {
    char buffer[2046];
    std::memset(buffer, 'x', sizeof buffer);
    SetLastError(0);
    EXPECT_EQ(FormatMessageA(c.flags, nullptr, c.code, 0, buffer, c.size, nullptr), 0u) << std::hex << c.code;
    EXPECT_EQ(GetLastError(), c.lastError) << std::hex << c.code;
    EXPECT_EQ(buffer[0], 'x') << "nothing written";
  }
  char buffer[28];
  SetLastError(ERROR_MR_MID_NOT_FOUND);
  EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 2, 0, buffer, sizeof buffer, nullptr), 27u);
  EXPECT_EQ(GetLastError(), ERROR_MR_MID_NOT_FOUND) << "a success leaves the last error alone";
}

TEST(SystemMessages, EachThreadHasItsOwnLastError) {
  SetLastError(5);
  DWORD seenByOther = 99;
  std::thread other([&] {
    seenByOther = GetLastError();
    SetLastError(317);
  });
  other.join();
  EXPECT_EQ(seenByOther, 0u);
  EXPECT_EQ(GetLastError(), 5u);
}

}  // namespace
