#include "x11_desktop.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

extern char** environ;

namespace x11test {

namespace {

// How long any single wait may take before it counts as a hang: generous, since a desktop's
// first window waits for a virtual server and a window manager just started on a machine that
// may be busy with much else.
constexpr auto kHangGuard = std::chrono::seconds(120);

int MillisecondsLeft(std::chrono::steady_clock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
  return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

std::vector<std::string> MergedEnvironment(const std::vector<std::string>& overrides) {
  std::vector<std::string> out;
  for (char** e = environ; *e; ++e) {
    std::string entry = *e;
    std::string name = entry.substr(0, entry.find('=') + 1);
    bool replaced = false;
    for (const std::string& o : overrides) replaced = replaced || o.compare(0, name.size(), name) == 0;
    if (!replaced) out.push_back(entry);
  }
  out.insert(out.end(), overrides.begin(), overrides.end());
  return out;
}

std::vector<char*> Pointers(std::vector<std::string>& strings) {
  std::vector<char*> out;
  for (std::string& s : strings) out.push_back(s.data());
  out.push_back(nullptr);
  return out;
}

}  // namespace

std::string FindProgram(const std::string& name) {
  if (name.find('/') != std::string::npos) return access(name.c_str(), X_OK) == 0 ? name : std::string();
  const char* path = std::getenv("PATH");
  std::string dirs = path ? path : "/usr/local/bin:/usr/bin:/bin";
  size_t start = 0;
  while (start <= dirs.size()) {
    size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    std::string candidate = dirs.substr(start, end - start) + "/" + name;
    struct stat st {};
    if (end > start && stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(candidate.c_str(), X_OK) == 0)
      return candidate;
    start = end + 1;
  }
  return {};
}

// ---- Child -------------------------------------------------------------------------------------

Child::~Child() { Stop(); }

bool Child::Start(const std::vector<std::string>& argv, const Options& options, std::string* error) {
  std::string program = FindProgram(argv.at(0));
  if (program.empty()) {
    *error = argv[0] + " was not found";
    return false;
  }
  int inPipe[2] = {-1, -1};
  int outPipe[2] = {-1, -1};
  if ((options.pipeStdin && pipe2(inPipe, O_CLOEXEC) != 0) || (options.pipeStdout && pipe2(outPipe, O_CLOEXEC) != 0)) {
    *error = std::string("pipe: ") + std::strerror(errno);
    return false;
  }
  std::vector<std::string> args = argv;
  std::vector<std::string> env = MergedEnvironment(options.env);
  std::vector<char*> argp = Pointers(args);
  std::vector<char*> envp = Pointers(env);
  pid_t parent = getpid();
  pid_ = fork();
  if (pid_ == 0) {
    // Only async-signal-safe calls from here to exec. The child ends with the test process even
    // when that one dies without cleaning up (a crash, a killed hang), so no X server outlives it.
    if (prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || getppid() != parent) _exit(127);
    int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (options.pipeStdin) dup2(inPipe[0], 0);
    if (options.pipeStdout) dup2(outPipe[1], 1);
    if (options.quiet && !options.pipeStdout) dup2(null, 1);
    if (options.quiet) dup2(null, 2);
    if (options.passFd == passedFdNumber) fcntl(passedFdNumber, F_SETFD, 0);
    else if (options.passFd >= 0) dup2(options.passFd, passedFdNumber);
    execve(program.c_str(), argp.data(), envp.data());
    _exit(127);
  }
  int forkError = errno;
  if (options.pipeStdin) close(inPipe[0]);
  if (options.pipeStdout) close(outPipe[1]);
  if (pid_ < 0) {
    pid_ = 0;
    if (options.pipeStdin) close(inPipe[1]);
    if (options.pipeStdout) close(outPipe[0]);
    *error = "cannot start " + program + ": " + std::strerror(forkError);
    return false;
  }
  in_ = options.pipeStdin ? inPipe[1] : -1;
  out_ = options.pipeStdout ? outPipe[0] : -1;
  return true;
}

bool Child::Running() {
  if (pid_ <= 0) return false;
  int status = 0;
  if (waitpid(pid_, &status, WNOHANG) == pid_) {
    pid_ = 0;
    return false;
  }
  return true;
}

bool Child::WriteLine(const std::string& line) {
  if (in_ < 0) return false;
  std::string text = line + "\n";
  size_t done = 0;
  while (done < text.size()) {
    ssize_t n = write(in_, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

bool Child::Fill() {
  if (out_ < 0) return false;
  auto deadline = std::chrono::steady_clock::now() + kHangGuard;
  for (;;) {
    pollfd p{out_, POLLIN, 0};
    int ready = poll(&p, 1, MillisecondsLeft(deadline));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return false;
    char chunk[4096];
    ssize_t n = read(out_, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    buffer_.append(chunk, static_cast<size_t>(n));
    return true;
  }
}

bool Child::ReadLine(std::string& line) {
  for (;;) {
    size_t nl = buffer_.find('\n');
    if (nl != std::string::npos) {
      line = buffer_.substr(0, nl);
      buffer_.erase(0, nl + 1);
      return true;
    }
    if (!Fill()) return false;
  }
}

bool Child::ReadToEnd(std::string& text) {
  if (out_ < 0) return false;
  auto deadline = std::chrono::steady_clock::now() + kHangGuard;
  for (;;) {
    pollfd p{out_, POLLIN, 0};
    int ready = poll(&p, 1, MillisecondsLeft(deadline));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return false;
    char chunk[4096];
    ssize_t n = read(out_, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) break;
    buffer_.append(chunk, static_cast<size_t>(n));
  }
  text = std::move(buffer_);
  buffer_.clear();
  return true;
}

void Child::CloseStdin() {
  if (in_ >= 0) close(in_);
  in_ = -1;
}

int Child::Wait() {
  if (pid_ <= 0) return -1;
  auto deadline = std::chrono::steady_clock::now() + kHangGuard;
  for (;;) {
    int status = 0;
    pid_t r = waitpid(pid_, &status, WNOHANG);
    if (r == pid_) {
      pid_ = 0;
      return status;
    }
    if (r < 0 && errno != EINTR) return -1;
    if (MillisecondsLeft(deadline) == 0) return -1;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

void Child::Stop() {
  CloseStdin();
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    if (Wait() == -1 && pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    pid_ = 0;
  }
  if (out_ >= 0) close(out_);
  out_ = -1;
}

// ---- Desktop -----------------------------------------------------------------------------------

Desktop::Desktop(WindowManager manager) {
  if (StartServer()) StartWindowManager(manager);
  if (!error_.empty()) {
    windowManager_.Stop();
    server_.Stop();
  }
}

Desktop::~Desktop() {
  windowManager_.Stop();
  server_.Stop();
}

std::vector<std::string> Desktop::Environment() const {
  return {"DISPLAY=" + display_, "QT_QPA_PLATFORM=xcb"};
}

bool Desktop::StartServer() {
  if (FindProgram("Xvfb").empty()) {
    error_ = "Xvfb is not installed: the X11 tests run on a virtual X server of their own "
             "(Debian package xvfb; scripts/deps.sh installs it)";
    return false;
  }
  // The server picks a free display number itself and writes it to the descriptor we pass.
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) {
    error_ = std::string("pipe: ") + std::strerror(errno);
    return false;
  }
  Child::Options options;
  options.quiet = true;
  options.passFd = fds[1];
  bool started = server_.Start({"Xvfb", "-displayfd", std::to_string(Child::passedFdNumber), "-screen", "0",
                                "800x600x24", "-nolisten", "tcp", "-noreset", "-fp", "built-ins"},
                               options, &error_);
  close(fds[1]);
  std::string number;
  if (started) {
    auto deadline = std::chrono::steady_clock::now() + kHangGuard;
    for (;;) {
      pollfd p{fds[0], POLLIN, 0};
      int ready = poll(&p, 1, MillisecondsLeft(deadline));
      if (ready < 0 && errno == EINTR) continue;
      if (ready <= 0) break;
      char c = 0;
      ssize_t n = read(fds[0], &c, 1);
      if (n <= 0 || c == '\n') break;
      number += c;
    }
    if (number.empty()) error_ = "Xvfb did not report a display number";
  }
  close(fds[0]);
  if (!error_.empty()) return false;
  display_ = ":" + number;
  return true;
}

bool Desktop::StartWindowManager(WindowManager manager) {
  const bool full = manager == WindowManager::Full;
  if (FindProgram(full ? "openbox" : "evilwm").empty()) {
    error_ = full ? "openbox is not installed: the X11 tests of window states need a window manager with a "
                    "minimised state (Debian package openbox; scripts/deps.sh installs it)"
                  : "evilwm is not installed: the X11 tests need a window manager that keeps the desktop's "
                    "window lists (Debian package evilwm; scripts/deps.sh installs it)";
    return false;
  }
  int screenNumber = 0;
  xcb_connection_t* c = xcb_connect(display_.c_str(), &screenNumber);
  if (xcb_connection_has_error(c)) {
    xcb_disconnect(c);
    error_ = "cannot connect to the virtual X server on " + display_;
    return false;
  }
  Child::Options options;
  options.quiet = true;
  options.env = {"DISPLAY=" + display_};
  // evilwm's default font is not among the server's built-in ones; "fixed" is. openbox draws its
  // titles with the client-side fonts; it runs on its packaged settings (not the developer's own)
  // and without a session manager.
  std::vector<std::string> argv = full ? std::vector<std::string>{"openbox", "--sm-disable", "--config-file",
                                                                   "/etc/xdg/openbox/rc.xml"}
                                       : std::vector<std::string>{"evilwm", "-fn", "fixed"};
  if (windowManager_.Start(argv, options, &error_)) {
    // The window manager is ready once it has announced itself on the root window.
    xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    const char* name = "_NET_SUPPORTING_WM_CHECK";
    xcb_intern_atom_reply_t* atom =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr);
    xcb_atom_t check = atom ? atom->atom : 0;
    std::free(atom);
    auto deadline = std::chrono::steady_clock::now() + kHangGuard;
    bool ready = false;
    while (!ready && windowManager_.Running() && MillisecondsLeft(deadline) > 0) {
      xcb_get_property_reply_t* r =
          xcb_get_property_reply(c, xcb_get_property(c, 0, root, check, XCB_ATOM_WINDOW, 0, 1), nullptr);
      ready = r && r->format == 32 && xcb_get_property_value_length(r) == 4;
      std::free(r);
      if (!ready) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (!ready) error_ = "the window manager did not take over the virtual display";
  }
  xcb_disconnect(c);
  return error_.empty();
}

// ---- WindowProgram -----------------------------------------------------------------------------

std::string WindowProgramPath() { return X11_WINDOW_PROGRAM; }

WindowProgram::WindowProgram(const Desktop& desktop) {
  Child::Options options;
  options.pipeStdin = true;
  options.pipeStdout = true;
  options.env = desktop.Environment();
  // It stands in for a foreign program; what Qt's platform plugin keeps until exit is no concern here.
  options.env.push_back("ASAN_OPTIONS=detect_leaks=0");
  if (!child_.Start({WindowProgramPath()}, options, &error_)) return;
  std::string line;
  if (!child_.ReadLine(line) || line.rfind("created ", 0) != 0) {
    error_ = "the window program did not report its window (said \"" + line + "\")";
    return;
  }
  window_ = static_cast<uint32_t>(std::strtoul(line.c_str() + 8, nullptr, 10));
}

bool WindowProgram::Ask(const std::string& command, const std::string& expected, const std::string& what,
                        std::string& answer) {
  answer.clear();
  if (!child_.WriteLine(command)) {
    error_ = "the window program did not take the command " + command;
    return false;
  }
  return Report(expected, what, answer);
}

bool WindowProgram::Show() {
  std::string line;
  return Ask("show", "shown", "window shown", line);
}

uint32_t WindowProgram::ShowDialog() {
  std::string line;
  if (!Ask("dialog", "dialog ", "dialog shown", line)) return 0;
  return static_cast<uint32_t>(std::strtoul(line.c_str() + 7, nullptr, 10));
}

bool WindowProgram::Minimize() {
  std::string line;
  return Ask("minimize", "minimized", "window minimised", line);
}

bool WindowProgram::Hide() {
  std::string line;
  return Ask("hide", "hidden", "window hidden", line);
}

bool WindowProgram::ArmDrag(const std::vector<std::string>& files) {
  std::string command = "drag ";
  for (const std::string& f : files) command += f + "|";
  std::string line;
  return Ask(command, "armed", "drag armed", line);
}

bool WindowProgram::Report(const std::string& expected, const std::string& what, std::string& answer) {
  answer.clear();
  bool prefix = !expected.empty() && expected.back() == ' ';
  if (child_.ReadLine(answer) && (prefix ? answer.rfind(expected, 0) == 0 : answer == expected)) return true;
  error_ = "the window program did not report its " + what + " (said \"" + answer + "\")";
  return false;
}

bool RunXdotool(const std::vector<std::string>& args, const std::vector<std::string>& env) {
  std::vector<std::string> argv = {"xdotool"};
  argv.insert(argv.end(), args.begin(), args.end());
  Child tool;
  Child::Options options;
  options.env = env;
  std::string error;
  if (!tool.Start(argv, options, &error)) {
    ADD_FAILURE() << error << " (Debian package xdotool; scripts/deps.sh installs it)";
    return false;
  }
  int status = tool.Wait();
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool NextLineStartingWith(Child& child, const std::string& prefix, std::string& line) {
  while (child.ReadLine(line)) {
    if (line.rfind(prefix, 0) == 0) return true;
  }
  return false;
}

}  // namespace x11test
