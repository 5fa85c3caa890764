// Every Lotkiln these tests start, in process or as a child, takes its single-instance lock in a
// runtime folder of this test program's own, so another Lotkiln of the same user (a desktop
// session, a test program running beside this one) can never hold it and make a start end at
// once. The signal tests set their own folder over this one where they need it.
#include <sys/stat.h>

#include <cstdlib>
#include <string>

#include "fixtures.h"

namespace {

const std::string kPrivateRuntime = [] {
  const std::string folder = fixtures::ScratchFolder("runtime");
  ::chmod(folder.c_str(), 0700);
  ::setenv("XDG_RUNTIME_DIR", folder.c_str(), 1);
  return folder;
}();

}  // namespace
