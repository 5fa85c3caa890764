#pragma once
// The tutorial help file that the tips and support windows open, and the forum's address.
#include <string>

namespace modTutorial {

// The discussion forum's web address (named by the tips window's tip 12).
inline constexpr const char* kForumAddress = "http://www.example.com/forum";

// The tutorial help file: the program folder's "\ReelwrightWiz.chm" by the suite's file naming.
std::string TutorialPath();
// Whether the directory look-up finds the tutorial (a file, or the help folder that stands for it).
bool TutorialExists();

}  // namespace modTutorial
