#pragma once
// Helpers of the splitter's tests.
#include <cstdio>
#include <string>

// The sound of a file decoded by ffmpeg (a separate program), in samples of one channel at the
// given rate; -1 when ffmpeg cannot be run.
inline long AudioSamples(const std::string& path, int rate) {
  const std::string command = "ffmpeg -v error -i '" + path + "' -map 0:a -ac 1 -ar " + std::to_string(rate) +
                              " -f s16le - | wc -c";
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return -1;
  long bytes = -1;
  if (std::fscanf(pipe, "%ld", &bytes) != 1) bytes = -1;
  ::pclose(pipe);
  return bytes / 2;
}
