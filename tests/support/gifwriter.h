#pragma once
// A byte-level GIF writer for tests: any colour tables, extensions and sub-blocks, images with
// LZW data of a chosen minimum code size, a trailer or none. Nothing is checked, so a test can
// write files a GIF reader must refuse.
#include <cstdint>
#include <string>
#include <vector>

namespace gifw {

// An extension block: 0x21, the label, then the sub-blocks as given and a 0 terminator.
struct Extension {
  uint8_t label = 0xFE;
  std::vector<std::vector<uint8_t>> blocks;
};

// A graphic control extension's sub-block (4 bytes).
Extension GraphicControl(uint16_t delay, uint8_t disposal = 0, bool transparent = false, uint8_t index = 0);
Extension Comment(const std::string& text);
// The looping application extension (NETSCAPE2.0 with a loop count).
Extension Looping(uint16_t loops);

struct Image {
  uint16_t left = 0, top = 0, width = 0, height = 0;
  std::vector<uint8_t> localTable;  // RGB triplets; empty: none (padded to a power of two)
  bool interlace = false;
  std::vector<uint8_t> pixels;      // width * height colour indexes
  int codeSize = -1;                // LZW minimum code size written; -1: from the table size
  std::vector<Extension> before;    // blocks written before the image descriptor
};

struct Gif {
  std::string version = "89a";
  uint16_t width = 0, height = 0;
  std::vector<uint8_t> globalTable;  // RGB triplets; empty: none
  uint8_t background = 0;
  std::vector<Image> images;
  bool trailer = true;
};

// A GIF of that logical screen and global table, without images yet.
Gif Screen(uint16_t width, uint16_t height, std::vector<uint8_t> globalTable = {});

// Table bytes padded to 2^(n+1) entries, and the size field n.
std::vector<uint8_t> PaddedTable(const std::vector<uint8_t>& rgb, uint8_t* sizeField);
// LZW data of indexes for a code size (2 to 8), as sub-blocks with their terminator.
std::vector<uint8_t> LzwSubBlocks(const std::vector<uint8_t>& indexes, int codeSize);
std::vector<uint8_t> Encode(const Gif& gif);
void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes);
// An image of one colour index.
Image Solid(uint16_t left, uint16_t top, uint16_t width, uint16_t height, uint8_t index);

}  // namespace gifw
