#pragma once
// The runtime's error model. Platform calls report failure by throwing VBError (number,
// description, source); a handler states its error regime with the helpers below.
//
//   Step([&] { ... });            a failing step is skipped and the next step runs
//   if (Met([&] { return ...; }))  a condition whose evaluation fails counts as met
//   EndQuietly([&] { ... });       the handler ends quietly at its first failing step
//   (plain code)                   nothing is trapped: the failure goes to the caller
//
// Each trapping helper leaves the failure in Err() (number, description, source), as the
// runtime's "On Error" statements do; Err().Clear() forgets it.
#include <cstdint>
#include <exception>
#include <new>
#include <stdexcept>
#include <string>
#include <string_view>

#include "core/hresult.h"

class VBError : public std::exception {
 public:
  explicit VBError(int32_t number, std::string description = {}, std::string source = {});
  int32_t Number() const { return number_; }
  const std::string& Description() const { return description_; }
  const std::string& Source() const { return source_; }
  const char* what() const noexcept override { return what_.c_str(); }

 private:
  int32_t number_;
  std::string description_;
  std::string source_;
  std::string what_;
};

// Standard error numbers of the runtime.
enum VbErrorNumber : int32_t {
  vbErrReturnWithoutGoSub = 3,
  vbErrInvalidProcedureCall = 5,
  vbErrOverflow = 6,
  vbErrOutOfMemory = 7,
  vbErrSubscriptOutOfRange = 9,
  vbErrDivisionByZero = 11,
  vbErrTypeMismatch = 13,
  vbErrOutOfStringSpace = 14,
  vbErrBadFileNameOrNumber = 52,
  vbErrFileNotFound = 53,
  vbErrBadFileMode = 54,
  vbErrFileAlreadyOpen = 55,
  vbErrDeviceIO = 57,
  vbErrFileAlreadyExists = 58,
  vbErrDiskFull = 61,
  vbErrInputPastEnd = 62,
  vbErrBadFileName = 64,
  vbErrPermissionDenied = 70,
  vbErrPathFileAccess = 75,
  vbErrPathNotFound = 76,
  vbErrObjectNotSet = 91,
  vbErrInvalidPropertyValue = 380,
  vbErrObjectNotLoaded = 364,
  vbErrCantCreateObject = 429,
  vbErrObjectDoesntSupport = 438,
  vbErrNamedArgNotFound = 448,
  vbErrWrongArgCount = 450,
  vbErrInvalidPicture = 481,
  vbErrUserDefined = 1004,  // "Application-defined or object-defined error"
  vbErrCancel = 32755,      // common dialog: Cancel was selected
};

// The runtime's text for a standard error number; "Automation error" for HRESULT numbers;
// "Application-defined or object-defined error" for anything else.
std::string ErrorDescription(int32_t number);

// Raises a runtime error; without a description the standard text is used.
[[noreturn]] void Raise(int32_t number, std::string description = {}, std::string source = {});

// Turns a failed HRESULT into a raised error whose number is the HRESULT; returns a success as is.
HRESULT Check(HRESULT hr, std::string_view source = {});

// The Err object: the last trapped failure of this thread.
class ErrObject {
 public:
  int32_t Number = 0;
  std::string Description;
  std::string Source;
  void Clear() { Number = 0; Description.clear(); Source.clear(); }
  [[noreturn]] void Raise(int32_t number, std::string description = {}, std::string source = {});
  void Set(const VBError& e) { Number = e.Number(); Description = e.Description(); Source = e.Source(); }
};
ErrObject& Err();

namespace core_detail {
// Records the exception in flight into Err(); returns false for exceptions that are not runtime
// failures (none today: every std::exception is mapped to a runtime error number).
void TrapCurrentException();
}  // namespace core_detail

// a failing step is skipped and the next step runs; returns whether the step succeeded.
template <class F>
bool Step(F&& step) {
  try {
    step();
    return true;
  } catch (...) {
    core_detail::TrapCurrentException();
    return false;
  }
}

// a condition whose evaluation fails counts as met.
template <class F>
bool Met(F&& condition) {
  try {
    return static_cast<bool>(condition());
  } catch (...) {
    core_detail::TrapCurrentException();
    return true;
  }
}

// Evaluates an expression; on failure records it in Err() and returns the fallback (the
// "variable keeps its old value" case of the skip regime).
template <class T, class F>
T ValueOr(T fallback, F&& expression) {
  try {
    return expression();
  } catch (...) {
    core_detail::TrapCurrentException();
    return fallback;
  }
}

// the handler ends quietly at its first failing step; returns whether the body ran to its end.
template <class F>
bool EndQuietly(F&& body) {
  try {
    body();
    return true;
  } catch (...) {
    core_detail::TrapCurrentException();
    return false;
  }
}
