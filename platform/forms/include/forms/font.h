#pragma once
// A font as forms, controls and the font dialog describe it.
#include <string>

struct StdFont {
  std::string Name = "MS Sans Serif";
  float Size = 8.25f;  // points
  bool Bold = false;
  bool Italic = false;
  bool Underline = false;
  bool Strikethrough = false;
  friend bool operator==(const StdFont&, const StdFont&) = default;
};
