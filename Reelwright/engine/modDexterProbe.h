#pragma once
// Media probes of modDexter: questions about a file asked before the suite hands it on (is it
// media at all, does it hold a picture stream, a sound stream), and the short form of a path
// for command lines of outside programs.
//
// The three probes each create their own media detector and release it at their end; nothing
// is remembered between probes. They trap every failure (no detector, a missing or unreadable
// file, a stream that cannot be asked), clear it and answer False.
#include <string>

// True when the media detector finds any stream in the file. An empty path is False without a
// probe.
bool IsMediaFile(const std::string& path);
// True when the detector finds a picture stream (a movie's video, a still picture) in the file.
bool HasVideoStream(const std::string& path);
// The tile control's variant of HasVideoStream: also asked for an empty path, and after setting
// the detector's file it reads the file name back and walks the streams only when that name is
// not empty.
bool HasVideoStreamReadBack(const std::string& path);
// True when the detector finds a sound stream in the file.
bool HasAudioStream(const std::string& path);

// The path in the short form the system gives it, for a command line; "" when the system cannot
// give one (no such file or folder). A long path comes back whole, never cut or padded.
std::string GetShortPath(const std::string& path);
