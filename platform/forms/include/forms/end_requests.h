#pragma once
// Requests to end the program that come from the desktop rather than from one window. Each asks
// the loaded forms, in the order of the Forms collection, to close with its unload mode:
//   vbAppWindows (2)     the desktop session ends (the session manager's quit request);
//   vbAppTaskManager (3) a termination request (SIGTERM), handled on the window thread.
// A form's QueryUnload or Unload that cancels stops the round: the forms after it stay loaded
// (and the session manager is told the quit was cancelled). The close box gives
// vbFormControlMenu (0), Unload from code vbFormCode (1). The message loop (RunMessageLoop)
// installs both sources; a second SIGTERM while the first is still waiting for the window
// thread ends the process at once.
#include <cstdint>

// Runs one such round; answers whether every form unloaded.
bool AskFormsToClose(int16_t unloadMode);
