#pragma once
// The GIF block walk of the animated-GIF control: where each frame's blocks lie in the file, how
// the frame is shown, the transparent colour made unique in its table, and the one-image GIF
// file cut for each frame. Every read is checked against the file's end; nothing here decodes
// image data.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace flickgem {

// The largest logical screen side the back buffer takes, and the largest back buffer (bytes).
constexpr uint32_t kMaxScreenSide = 32736;
constexpr uint64_t kMaxBackBufferBytes = uint64_t{256} << 20;
// Files of this size or more are refused unread.
constexpr uint64_t kMaxFileBytes = uint64_t{1} << 31;

struct GifFrame {
  uint32_t start = 0;  // first byte of the frame's blocks
  uint32_t end = 0;    // the image data terminator
  uint16_t left = 0, top = 0, width = 0, height = 0;
  bool localTable = false;
  uint8_t localTableSize = 0;
  uint16_t delay = 0;  // hundredths of a second
  uint8_t disposal = 0;
  bool transparent = false;
  uint8_t transparentIndex = 0;
  // The colour (red + 256 green + 65536 blue) of the transparent entry as its file carries it;
  // meaningful when transparent and hasKey.
  uint32_t key = 0;
  bool hasKey = false;
};

struct GifLayout {
  uint16_t screenWidth = 0, screenHeight = 0;
  bool globalTable = false;
  uint8_t globalTableSize = 0;
  std::vector<GifFrame> frames;
};

// Walks the file image, re-colouring clashing transparent entries in place. False for a file
// the control refuses (the error path): no "GIF8" signature, shorter than 13 bytes, a screen
// side of 0 or above kMaxScreenSide or a back buffer above kMaxBackBufferBytes, a table,
// descriptor or block running past the end, an LZW minimum code size outside 2 to 8, no frame.
bool WalkGif(std::vector<uint8_t>& image, GifLayout& layout);

// Frame k's one-image file: the header and global table, the frame's blocks, then 00 21 F9 3B.
std::vector<uint8_t> FrameFileBytes(const std::vector<uint8_t>& image, const GifLayout& layout, size_t k);

// The new colour of a clashing transparent entry: half the second largest entry value (halves to
// even), moved up to the next value no other entry holds.
uint32_t UniqueKey(const std::vector<uint32_t>& entries, size_t t);

}  // namespace flickgem
