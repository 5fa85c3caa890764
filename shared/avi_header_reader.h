#pragma once
// The AVI header reader: where the first video stream's codes lie in an AVI file — its stream
// header's handler (strh fccHandler) and its bitmap header's compression (strf biCompression) —
// found by walking RIFF "AVI ", LIST "hdrl" and each LIST "strl" with every chunk's size checked
// against its parent and the file. One source, compiled into each program that changes those codes.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

struct AviCodeOffsets {
  int64_t handler = -1;      // the 4 bytes of the stream header's handler
  int64_t compression = -1;  // the 4 bytes of the bitmap header's compression
};

// From a file's bytes (size: the whole file). Nothing when the bytes are no RIFF "AVI ", a chunk
// runs past its parent or the file, the movie data comes before the header list, or no stream is
// a video stream with both headers.
std::optional<AviCodeOffsets> FindAviCodeOffsets(const uint8_t* data, size_t size);
// The same for a file, reading only its headers; nothing when it cannot be read.
std::optional<AviCodeOffsets> FindAviCodeOffsetsInFile(const std::string& path);
