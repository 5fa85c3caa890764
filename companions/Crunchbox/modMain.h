#pragma once
// Crunchbox's start and the program's default window instances.
#include <string>

// The name pattern under which the IV50 compression filter is registered (the runtime's Like).
inline constexpr const char* CompressorNamePattern = "Crunchbox Video 5*";
// The program's name, the title of its boxes.
inline constexpr const char* kCrunchboxTitle = "Crunchbox";

// The program's default instance of a window class: made on first use, living as long as the
// program, loaded and unloaded like any form.
template <class T>
T& DefaultForm() {
  static T* form = new T();
  return *form;
}

// Loads the main window, opens the command tail (when there is one) as the movie to preview,
// proposes the tail followed by "_out.avi" as the output, and shows the window.
void Main();
