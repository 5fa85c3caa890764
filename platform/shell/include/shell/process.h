#pragma once
// Starting programs and handing documents and addresses to the desktop.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Show styles of a started program's first window (the runtime's vbAppWinStyle).
enum VbAppWinStyle : int16_t {
  vbHide = 0,
  vbNormalFocus = 1,
  vbMinimizedFocus = 2,
  vbMaximizedFocus = 3,
  vbNormalNoFocus = 4,
  vbMinimizedNoFocus = 6,
};

// A command line cut the way the system cuts it: the program, then the tail.
struct CommandLineParts {
  std::string Program;  // without its quotes
  std::string Tail;     // the rest, blanks and tabs after the program left off, otherwise as written
};

// A program in double quotes ends at the closing quote; an unquoted one at the first blank or tab.
CommandLineParts SplitCommandLine(std::string_view commandLine);

// Splits a command tail into arguments by the rules the system's C runtime uses: blanks and
// tabs separate; double quotes group (a doubled quote inside quotes is a literal quote);
// 2n backslashes before a quote give n backslashes, 2n+1 give n and a literal quote; other
// backslashes are literal.
std::vector<std::string> CommandLineToArgv(std::string_view tail);

// Quotes one argument so that CommandLineToArgv gives it back unchanged.
std::string QuoteArgument(std::string_view argument);

// Starts a program (Shell) and returns its process id without waiting for it. The program is
// looked up as the system does: a name with a "/" as given, a bare name in the program folder,
// the current folder and then $PATH; "Name.exe" is the program "Name". An unquoted program path
// with blanks is tried at each blank in turn, shortest first. The tail reaches the program as
// its arguments (see CommandLineToArgv) and whole, unchanged, through CommandTail(); the show
// style through StartupWindowStyle(). The program runs on independently of the suite.
// 5 for an empty command line or an unknown style; 53 when the program cannot be started.
int32_t Shell(const std::string& commandLine, int16_t windowStyle = vbMinimizedFocus);

// The program Shell would start for a name (FindExecutable): its full path, "" when there is none.
std::string FindExecutable(const std::string& name);

// Whether a process started through Shell is still running (it has not ended); false for 0 or a
// negative id. Never throws.
bool ProcessIsRunning(int32_t processId);

// Opens a document, a web address or a "mailto:" link with the desktop's default handler
// (xdg-open; SUITE_SHELL_OPENER names another opener program). The opener runs detached; its
// outcome is not awaited. Returns whether the opener could be started.
bool ShellOpen(const std::string& target);

// A viewer of the program's own for some documents, asked by ShellOpen before the opener: true
// when it showed the target (the forms library shows help folders in its help window this way).
// nullptr removes it.
using DocumentViewer = bool (*)(const std::string& target);
void SetDocumentViewer(DocumentViewer viewer);

// For a program of the suite: its command tail (Command), exactly as the starting program wrote
// it when started through Shell, else its arguments joined by blanks, quoted where needed.
std::string CommandTail();

// For a program of the suite: the show style it was started with through Shell; vbNormalFocus
// when it was started some other way.
int16_t StartupWindowStyle();
