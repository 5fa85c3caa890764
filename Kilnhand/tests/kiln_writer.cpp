// A writer of the drop file for the hand-off tests: kiln_writer FILE PREFIX COUNT appends
// COUNT lines "PREFIX-n" through the shell's locked append.
#include <cstdlib>
#include <string>

#include "shell/listfile.h"

int main(int argc, char** argv) {
  if (argc != 4) return 2;
  const int count = std::atoi(argv[3]);
  for (int i = 0; i < count; ++i) AppendLine(argv[1], std::string(argv[2]) + "-" + std::to_string(i));
  return 0;
}
