#include "windows/modTutorial.h"

#include "shell/files.h"

namespace modTutorial {

std::string TutorialPath() { return AppFile("\\ReelwrightWiz.chm"); }

bool TutorialExists() {
  const std::string path = TutorialPath();
  return !Dir(path).empty() || FolderExists(path);
}

}  // namespace modTutorial
