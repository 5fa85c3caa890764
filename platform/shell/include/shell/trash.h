#pragma once
// The desktop's trash (the freedesktop.org trash in $XDG_DATA_HOME/Trash, by default
// ~/.local/share/Trash): the recycle bin of this platform.
#include <string>

// Moves a file or a folder (with its contents) into the trash, recording its original path and
// the time of deletion in an info file so that the desktop can restore it. A name already in
// the trash gets a number added ("clip.2.avi"). Returns the item's path inside the trash.
// 53 when nothing has that name or the last part is "." or ".."; the other file errors when it cannot be moved, in which case
// the original stays where it was.
std::string MoveToTrash(const std::string& path);

// The trash folder in use ($XDG_DATA_HOME/Trash, or ~/.local/share/Trash), without a trailing "/".
std::string TrashFolder();
