// Started by the process tests. Writes what it was given to the file named by
// SHELL_CHILD_REPORT, one item per line, and renames it into place when complete. With
// SHELL_CHILD_INSTANCE it stands for another instance of a program instead.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "shell/files.h"
#include "shell/instance.h"
#include "shell/process.h"

int main(int argc, char** argv) {
  // As another instance of a program: claims its lock, answers "y" or "n" for whether another
  // instance ran, and holds the lock until its input closes.
  if (const char* program = std::getenv("SHELL_CHILD_INSTANCE")) {
    std::putchar(AnotherInstanceRuns(program) ? 'y' : 'n');
    std::fflush(stdout);
    while (std::getchar() != EOF) {
    }
    return 0;
  }
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
