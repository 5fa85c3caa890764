#include "shell/process.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <linux/close_range.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "core/error.h"
#include "programname.h"
#include "shell/files.h"

extern char** environ;

namespace {

constexpr const char* kTailVariable = "SUITE_COMMAND_TAIL";
constexpr const char* kStyleVariable = "SUITE_SHOW_STYLE";
// The process the two variables above are meant for; a program started some other way by a
// program that got them must not take them for its own.
constexpr const char* kPidVariable = "SUITE_COMMAND_PID";

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

bool IsValidStyle(long style) {
  return style == vbHide || style == vbNormalFocus || style == vbMinimizedFocus ||
         style == vbMaximizedFocus || style == vbNormalNoFocus || style == vbMinimizedNoFocus;
}

bool IsProgramFile(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

// The path itself, or the path without ".exe", whichever is a program.
std::string ProgramAt(const std::string& path) {
  if (IsProgramFile(path)) return path;
  std::string bare = shell_detail::WithoutExeExtension(path);
  if (bare != path && IsProgramFile(bare)) return bare;
  return {};
}

std::vector<std::string> PathFolders() {
  std::vector<std::string> folders;
  const char* path = std::getenv("PATH");
  std::string_view rest = path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin";
  for (;;) {
    size_t colon = rest.find(':');
    std::string_view folder = rest.substr(0, colon);
    folders.emplace_back(folder.empty() ? "." : folder);
    if (colon == std::string_view::npos) break;
    rest.remove_prefix(colon + 1);
  }
  return folders;
}

// Looks a program up: a name with a "/" as given; a bare name in the given folders, in order.
std::string FindProgram(const std::string& name, const std::vector<std::string>& folders) {
  if (name.empty()) return {};
  if (name.find('/') != std::string::npos) return ProgramAt(name);
  for (const std::string& folder : folders) {
    std::string found = ProgramAt(folder + "/" + name);
    if (!found.empty()) return found;
  }
  return {};
}

// The program folder, the current folder, then $PATH: where the system looks for a program.
std::vector<std::string> ProgramSearchFolders() {
  std::vector<std::string> folders;
  for (std::string (*where)() : {&AppPath, &CurDir}) {
    try {
      folders.push_back(where());
    } catch (const VBError&) {
      // a folder that cannot be told is not searched
    }
  }
  for (std::string& folder : PathFolders()) folders.push_back(std::move(folder));
  return folders;
}

void WriteDecimal(char* out, long value) {
  char digits[24];
  int n = 0;
  do {
    digits[n++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value > 0 && n < 23);
  while (n > 0) *out++ = digits[--n];
  *out = '\0';
}

struct StartRequest {
  std::string program;
  std::vector<std::string> arguments;  // argv, program included
  std::vector<std::string> variables;  // NAME=VALUE added to the environment
  bool markPid = false;                // add SUITE_COMMAND_PID for the started process
};

bool IsOwnVariable(const char* entry) {
  for (const char* name : {kTailVariable, kStyleVariable, kPidVariable}) {
    size_t n = std::strlen(name);
    if (std::strncmp(entry, name, n) == 0 && entry[n] == '=') return true;
  }
  return false;
}

void ClosePipe(int fds[2]) {
  if (fds[0] >= 0) ::close(fds[0]);
  if (fds[1] >= 0) ::close(fds[1]);
}

// Starts the program as a process of its own: a short-lived middle process starts it and ends
// at once, so the program belongs to the system's reaper and never lingers as a zombie of ours.
// Returns the program's process id, or minus the errno of the failed start.
pid_t StartDetached(const StartRequest& request) {
  // Everything the child needs is prepared before the fork.
  std::vector<char*> argv;
  for (const std::string& arg : request.arguments) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);

  std::vector<char*> envp;
  for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
    if (!IsOwnVariable(*entry)) envp.push_back(*entry);
  }
  for (const std::string& variable : request.variables) envp.push_back(const_cast<char*>(variable.c_str()));
  std::string pidPrefix = std::string(kPidVariable) + "=";
  std::vector<char> pidEntry(pidPrefix.begin(), pidPrefix.end());
  pidEntry.resize(pidPrefix.size() + 24, '\0');
  if (request.markPid) envp.push_back(pidEntry.data());
  envp.push_back(nullptr);

  int pidPipe[2] = {-1, -1};
  int errPipe[2] = {-1, -1};
  if (::pipe2(pidPipe, O_CLOEXEC) != 0) return -errno;
  if (::pipe2(errPipe, O_CLOEXEC) != 0) {
    int err = errno;
    ClosePipe(pidPipe);
    return -err;
  }

  pid_t middle = ::fork();
  if (middle < 0) {
    int err = errno;
    ClosePipe(pidPipe);
    ClosePipe(errPipe);
    return -err;
  }
  if (middle == 0) {
    // Only async-signal-safe calls from here on.
    pid_t program = ::fork();
    if (program == 0) {
      ::setsid();
      if (request.markPid) WriteDecimal(pidEntry.data() + pidPrefix.size(), static_cast<long>(::getpid()));
      sigset_t none;
      sigemptyset(&none);
      ::sigprocmask(SIG_SETMASK, &none, nullptr);
      ::signal(SIGPIPE, SIG_DFL);
      // Descriptors of the suite are not inherited by the programs it starts.
      ::close_range(3, ~0U, CLOSE_RANGE_CLOEXEC);
      ::execve(request.program.c_str(), argv.data(), envp.data());
      int err = errno;
      ssize_t ignored = ::write(errPipe[1], &err, sizeof err);
      (void)ignored;
      ::_exit(127);
    }
    int32_t value = program < 0 ? -errno : program;
    ssize_t ignored = ::write(pidPipe[1], &value, sizeof value);
    (void)ignored;
    ::_exit(0);
  }

  ::close(pidPipe[1]);
  ::close(errPipe[1]);
  int status = 0;
  while (::waitpid(middle, &status, 0) < 0 && errno == EINTR) {
  }
  int32_t value = -ECHILD;
  ssize_t n;
  do {
    n = ::read(pidPipe[0], &value, sizeof value);
  } while (n < 0 && errno == EINTR);
  if (n != static_cast<ssize_t>(sizeof value)) value = -ECHILD;
  if (value > 0) {
    int execErr = 0;
    do {
      n = ::read(errPipe[0], &execErr, sizeof execErr);
    } while (n < 0 && errno == EINTR);
    if (n == static_cast<ssize_t>(sizeof execErr)) value = -execErr;
  }
  ::close(pidPipe[0]);
  ::close(errPipe[0]);
  return value;
}

bool StartedThroughShell() {
  const char* pid = std::getenv(kPidVariable);
  return pid != nullptr && std::to_string(::getpid()) == pid;
}

}  // namespace

CommandLineParts SplitCommandLine(std::string_view commandLine) {
  CommandLineParts parts;
  size_t i = 0;
  if (!commandLine.empty() && commandLine[0] == '"') {
    size_t close = commandLine.find('"', 1);
    parts.Program = std::string(
        commandLine.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1));
    i = close == std::string_view::npos ? commandLine.size() : close + 1;
  } else {
    while (i < commandLine.size() && !IsBlank(commandLine[i])) ++i;
    parts.Program = std::string(commandLine.substr(0, i));
  }
  while (i < commandLine.size() && IsBlank(commandLine[i])) ++i;
  parts.Tail = std::string(commandLine.substr(i));
  return parts;
}

std::vector<std::string> CommandLineToArgv(std::string_view tail) {
  std::vector<std::string> args;
  std::string current;
  bool inArgument = false;
  bool inQuotes = false;
  size_t i = 0;
  while (i < tail.size()) {
    char c = tail[i];
    if (IsBlank(c) && !inQuotes) {
      if (inArgument) args.push_back(std::move(current));
      current.clear();
      inArgument = false;
      ++i;
      continue;
    }
    inArgument = true;
    if (c == '\\') {
      size_t run = 0;
      while (i < tail.size() && tail[i] == '\\') {
        ++run;
        ++i;
      }
      if (i < tail.size() && tail[i] == '"') {
        current.append(run / 2, '\\');
        if (run % 2 == 1) {
          current.push_back('"');
          ++i;
        }
        // With an even run the quote is handled as a quote by the next turn.
      } else {
        current.append(run, '\\');
      }
    } else if (c == '"') {
      if (inQuotes && i + 1 < tail.size() && tail[i + 1] == '"') {
        current.push_back('"');
        i += 2;
      } else {
        inQuotes = !inQuotes;
        ++i;
      }
    } else {
      current.push_back(c);
      ++i;
    }
  }
  if (inArgument) args.push_back(std::move(current));
  return args;
}

std::string QuoteArgument(std::string_view argument) {
  if (!argument.empty() && argument.find_first_of(" \t\"") == std::string_view::npos)
    return std::string(argument);
  std::string quoted = "\"";
  size_t backslashes = 0;
  for (char c : argument) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    if (c == '"') {
      quoted.append(backslashes * 2 + 1, '\\');
    } else {
      quoted.append(backslashes, '\\');
    }
    backslashes = 0;
    quoted.push_back(c);
  }
  quoted.append(backslashes * 2, '\\');
  quoted.push_back('"');
  return quoted;
}

int32_t Shell(const std::string& commandLine, int16_t windowStyle) {
  if (!IsValidStyle(windowStyle)) Raise(vbErrInvalidProcedureCall);
  std::string_view line = commandLine;
  while (!line.empty() && IsBlank(line.front())) line.remove_prefix(1);
  if (line.empty()) Raise(vbErrInvalidProcedureCall);

  // The ways the line can be cut into program and tail, in the order they are tried.
  std::vector<CommandLineParts> cuts;
  if (line.front() == '"') {
    cuts.push_back(SplitCommandLine(line));
  } else {
    for (size_t i = 1; i <= line.size(); ++i) {
      if (i == line.size() || (IsBlank(line[i]) && !IsBlank(line[i - 1]))) {
        std::string_view rest = line.substr(i);
        while (!rest.empty() && IsBlank(rest.front())) rest.remove_prefix(1);
        cuts.push_back({std::string(line.substr(0, i)), std::string(rest)});
      }
    }
  }

  const std::vector<std::string> folders = ProgramSearchFolders();
  for (const CommandLineParts& cut : cuts) {
    std::string program = FindProgram(cut.Program, folders);
    if (program.empty()) continue;
    StartRequest request;
    request.program = program;
    request.arguments.push_back(program);
    for (std::string& arg : CommandLineToArgv(cut.Tail)) request.arguments.push_back(std::move(arg));
    request.variables.push_back(std::string(kTailVariable) + "=" + cut.Tail);
    request.variables.push_back(std::string(kStyleVariable) + "=" + std::to_string(windowStyle));
    request.markPid = true;
    pid_t pid = StartDetached(request);
    if (pid <= 0) Raise(vbErrFileNotFound);
    return static_cast<int32_t>(pid);
  }
  Raise(vbErrFileNotFound);
}

std::string FindExecutable(const std::string& name) { return FindProgram(name, ProgramSearchFolders()); }

bool ProcessIsRunning(int32_t processId) {
  if (processId <= 0) return false;
  if (::kill(static_cast<pid_t>(processId), 0) != 0 && errno != EPERM) return false;
  // A program that ended but was not yet collected by its reaper has ended all the same.
  std::ifstream stat("/proc/" + std::to_string(processId) + "/stat");
  std::string line;
  if (!std::getline(stat, line)) return true;
  const size_t close = line.rfind(')');
  if (close == std::string::npos || close + 2 >= line.size()) return true;
  const char state = line[close + 2];
  return state != 'Z' && state != 'X';
}

namespace {
std::atomic<DocumentViewer> g_viewer{nullptr};
}  // namespace

void SetDocumentViewer(DocumentViewer viewer) { g_viewer = viewer; }

bool ShellOpen(const std::string& target) {
  if (target.empty()) return false;
  if (DocumentViewer viewer = g_viewer.load(); viewer && viewer(target)) return true;
  const char* opener = std::getenv("SUITE_SHELL_OPENER");
  std::string program =
      FindProgram((opener != nullptr && *opener != '\0') ? opener : "xdg-open", PathFolders());
  if (program.empty()) return false;
  StartRequest request;
  request.program = program;
  request.arguments.push_back(program);
  // A document whose name begins with "-" must not be taken for an option of the opener.
  request.arguments.push_back(target[0] == '-' ? "./" + target : target);
  return StartDetached(request) > 0;
}

std::string CommandTail() {
  if (StartedThroughShell()) {
    const char* tail = std::getenv(kTailVariable);
    return tail != nullptr ? tail : "";
  }
  std::ifstream in("/proc/self/cmdline", std::ios::binary);
  std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::string tail;
  size_t start = all.find('\0');  // past the program
  while (start != std::string::npos && start + 1 < all.size()) {
    size_t end = all.find('\0', start + 1);
    std::string_view arg = std::string_view(all).substr(
        start + 1, end == std::string::npos ? std::string::npos : end - start - 1);
    if (!tail.empty()) tail += ' ';
    tail += QuoteArgument(arg);
    start = end;
  }
  return tail;
}

int16_t StartupWindowStyle() {
  if (StartedThroughShell()) {
    if (const char* text = std::getenv(kStyleVariable); text != nullptr && *text != '\0') {
      char* end = nullptr;
      long style = std::strtol(text, &end, 10);
      if (*end == '\0' && IsValidStyle(style)) return static_cast<int16_t>(style);
    }
  }
  return vbNormalFocus;
}
