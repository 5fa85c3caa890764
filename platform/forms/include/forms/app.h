#pragma once
// The application object, the screen, DoEvents, End and Beep.
#include <cstdint>
#include <string>

class Form;

// Mouse pointer codes of forms, controls and the screen.
enum MousePointerConstants : int16_t {
  vbDefault = 0,
  vbArrow = 1,
  vbCrosshair = 2,
  vbIbeam = 3,
  vbSizePointer = 5,
  vbSizeNESW = 6,
  vbSizeNS = 7,
  vbSizeNWSE = 8,
  vbSizeWE = 9,
  vbUpArrow = 10,
  vbHourglass = 11,
  vbNoDrop = 12,
  vbArrowHourglass = 13,
  vbArrowQuestion = 14,
  vbSizeAll = 15,
  vbCustom = 99,
};

class AppObject {
 public:
  // The program folder (the folder of the running program), without a trailing "/".
  std::string Path() const;
  // The program's file name without folder and extension.
  std::string EXEName() const;
  // The title message boxes carry when they give none; the program's name unless set.
  std::string Title() const;
  void Title(const std::string& title);
  // Whether another instance of this program runs for the same user (decided on first ask;
  // this instance then counts as running until it ends).
  bool PrevInstance() const;
  // The suite's version: the build's project version, the same for every program.
  int16_t Major = 0;
  int16_t Minor = 0;
  int16_t Revision = 0;
};
AppObject& App();

// The raw command tail (Command$): SUITE_COMMAND_TAIL when set, else the arguments joined by
// blanks.
std::string Command();

class ScreenObject {
 public:
  // Size of the primary screen in twips.
  int32_t Width() const;
  int32_t Height() const;
  float TwipsPerPixelX() const { return 15.0f; }
  float TwipsPerPixelY() const { return 15.0f; }
  // The pointer shown over every window of the program (vbDefault gives control back to the
  // forms and controls).
  int16_t MousePointer() const;
  void MousePointer(int16_t pointer);
  // The form whose window is active, nullptr when none.
  Form* ActiveForm() const;
};
ScreenObject& Screen();

// Lets pending window messages, timers, cross-thread sends and deferred deletions run, then
// returns the number of loaded forms.
int16_t DoEvents();

// Runs the program's message loop until End is called or no form is loaded any more; closing a
// window alone never ends it.
void RunMessageLoop();

// Ends the program at once: no further events (no QueryUnload, Unload or Terminate) run.
[[noreturn]] void End();

// Sounds the bell.
void Beep();
