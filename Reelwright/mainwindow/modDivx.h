#pragma once
// The DivX check and repair of the preview pane's load: a movie decoded by a "divx" decoder other
// than the genuine "DivX Decoder Filter" is offered a repaired copy, "<name>_wz<.ext>" beside it,
// whose first video stream names the MPEG-4 version 3 codec ("mp43" handler, "MP43"
// compression). The original is never written.
#include <string>

#include "dshow/interfaces.h"

namespace modDivx {

// What the first filter whose name holds "divx" (letter case aside) says about a rendered file.
enum class DivxVerdict {
  NoCandidate,  // no such filter (the source filter, named by the file's path, does not count)
  Genuine,      // the first is "DivX Decoder Filter": the file is fine
  Illegal,      // the first is another one: the file is offered the repair
};

// Walks the graph's filters in the order of its FilterCollection; the first candidate decides.
// Raises the failure of a graph call.
DivxVerdict CheckDivxFilters(IMediaControl* graph, const std::string& loadedFileName);

// The repaired copy's path: "_wz" goes before the extension of the file name (the text from the
// name's last "."), or after a name that has none; the folder is never looked at.
std::string DivxRepairCopy(const std::string& path);

// The question put for an illegal DivX file (Yes / No, critical stop, the application's title).
extern const char* const kDivxQuestion;
// Asks it; true when the user answers Yes.
bool AskDivxRepair();

// Makes the repaired copy of original at copy: original is copied to a new name beside copy, the
// two codes are written where the AVI header reader finds the first video stream's handler and
// compression, and the finished file is renamed over copy (an older copy is replaced only then).
// False, with nothing left behind and an older copy untouched, when the headers cannot be read
// (no AVI, a damaged header) or the copy cannot be written. Never raises.
bool MakeDivxRepairCopy(const std::string& original, const std::string& copy);

// The notice of a finished repair: unless Init/DivXMessage reads "hide" (letter case aside),
// frmDivx names the copy (modal); a ticked "Don't show" stores "Hide".
void ShowDivxNotice(const std::string& copy);

}  // namespace modDivx
