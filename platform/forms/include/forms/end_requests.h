#pragma once
// Requests to end the program that come from the desktop rather than from one window. Each asks
// the loaded forms, in the order of the Forms collection, to close with its unload mode:
//   vbAppWindows (2)     the desktop session ends (the session manager's quit request);
//   vbAppTaskManager (3) a termination request (SIGTERM, SIGINT or SIGHUP), handled on the window
//                        thread; forms close then without asking anything (a running job is
//                        stopped and its unfinished file removed), and when every form has
//                        unloaded the program ends (End), also from inside a loop of its own.
// A form's QueryUnload or Unload that cancels stops the round: the forms after it stay loaded
// (and the session manager is told the quit was cancelled). The close box gives
// vbFormControlMenu (0), Unload from code vbFormCode (1). The message loop (RunMessageLoop)
// installs both sources; a program that writes files before its message loop runs (a run
// started from its command line inside the first window's load) installs them first thing in
// main with InstallEndRequests. A second signal while the first is still waiting for the window
// thread ends the process at once.
#include <cstdint>

// Runs one such round; answers whether every form unloaded.
bool AskFormsToClose(int16_t unloadMode);

// Whether a termination request's round is closing the forms: a form that another form's close
// unloads by code in that round ends without asking anything as well.
bool TerminationRequested();

// Takes SIGTERM, SIGINT and SIGHUP, and the session manager's quit request, onto the window
// thread as above. Installed once; later calls do nothing.
void InstallEndRequests();
