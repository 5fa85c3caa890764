#pragma once
// The movie a benchmark works on: the one named first on its command line, or else a generated
// 60-second 640x480 25 fps MPEG-4 (DX50) + MP3 AVI in the given folder.
#include <cstdio>
#include <string>

#include "fixtures.h"

namespace bench {

inline std::string MovieOrSixtySeconds(int argc, char** argv, const std::string& folder) {
  if (argc > 1) return argv[1];
  fixtures::Options o;
  o.width = 640;
  o.height = 480;
  o.fps = 25;
  o.seconds = 60;
  std::printf("making a 60 s 640x480 MPEG-4 + MP3 movie...\n");
  return fixtures::Make(fixtures::Kind::AviDx50, folder, o);
}

}  // namespace bench
