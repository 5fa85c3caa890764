#pragma once
// Single-instance locks: each program of the suite holds a lock of its name for this user while
// it runs (an advisory lock on "<name>.instance" in $XDG_RUNTIME_DIR/reelwright, or, without
// XDG_RUNTIME_DIR, in the user's own folder below /tmp (see TempFolder)). The lock goes with the
// process, however it ends, so a program that crashed never counts as running.
#include <string>

// For the running program (App.PrevInstance): whether another process of this user holds the
// lock of programName. The first call for a name takes the lock when it is free and keeps it
// for the life of the process, so this process then counts as the running one; every later call
// for that name answers as the first did.
bool AnotherInstanceRuns(const std::string& programName);

// Whether a program of that name runs for this user, e.g. ProgramRuns("Lotkiln"): tries its
// lock without keeping it. True as well when this process itself holds it. Never throws.
bool ProgramRuns(const std::string& programName);
