#pragma once
// Asfkiln's start.

// The program's name, the title of its boxes.
inline constexpr const char* kAsfkilnTitle = "Asfkiln";

class frmEncode;
// The program's window.
frmEncode& EncodeWindow();

// Loads frmEncode and lets window messages run until it shows. False when its load failed (the
// box has been shown): the program then ends.
bool Main();
