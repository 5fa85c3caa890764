#pragma once
// A rectangle by its edges (right and bottom exclusive), as drawing calls and video formats give it.
#include <cstdint>

struct RECT {
  int32_t left = 0;
  int32_t top = 0;
  int32_t right = 0;
  int32_t bottom = 0;
};
