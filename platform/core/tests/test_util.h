#pragma once
// Helpers shared by the core tests.
#include <cstdint>
#include <optional>

#include "core/error.h"

// Runs f and returns the error number it raised, or nullopt when it raised none.
template <class F>
std::optional<int32_t> ErrorOf(F&& f) {
  try {
    f();
  } catch (const VBError& e) {
    return e.Number();
  }
  return std::nullopt;
}
