// Saves <count> settings "<prefix><n>" = "value <n>" into one section, one call each.
// Usage: registry_setting_writer <app> <section> <prefix> <count>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "registry/settings.h"

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: %s app section prefix count\n", argv[0]);
    return 2;
  }
  int count = std::atoi(argv[4]);
  try {
    for (int i = 0; i < count; ++i)
      SaveSetting(argv[1], argv[2], argv[3] + std::to_string(i), "value " + std::to_string(i));
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  return 0;
}
