// Started by the process tests. Writes what it was given to the file named by
// SHELL_CHILD_REPORT, one item per line, and renames it into place when complete.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "shell/files.h"
#include "shell/process.h"

int main(int argc, char** argv) {
  const char* report = std::getenv("SHELL_CHILD_REPORT");
  if (report == nullptr) return 2;
  std::string partial = std::string(report) + ".part";
  std::FILE* out = std::fopen(partial.c_str(), "wb");
  if (out == nullptr) return 3;
  const char* rawTail = std::getenv("SUITE_COMMAND_TAIL");
  std::fprintf(out, "pid=%ld\n", static_cast<long>(::getpid()));
  std::fprintf(out, "argc=%d\n", argc);
  for (int i = 1; i < argc; ++i) std::fprintf(out, "arg=%s\n", argv[i]);
  std::fprintf(out, "envtail=%s\n", rawTail != nullptr ? rawTail : "(unset)");
  std::fprintf(out, "tail=%s\n", CommandTail().c_str());
  std::fprintf(out, "style=%d\n", static_cast<int>(StartupWindowStyle()));
  std::fprintf(out, "cwd=%s\n", CurDir().c_str());
  std::fclose(out);
  return std::rename(partial.c_str(), report) == 0 ? 0 : 4;
}
