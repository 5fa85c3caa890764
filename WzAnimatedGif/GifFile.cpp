// The GIF block walk: frame ranges and fields, unique transparent colours, one-image files.
#include "GifFile.h"

#include <cmath>

namespace flickgem {
namespace {

// Bounds-checked reads over the file image: any read past the end fails the walk.
struct Reader {
  const std::vector<uint8_t>& b;
  bool ok = true;
  uint8_t U8(uint64_t p) {
    if (p >= b.size()) {
      ok = false;
      return 0;
    }
    return b[static_cast<size_t>(p)];
  }
  uint16_t U16(uint64_t p) { return static_cast<uint16_t>(U8(p) | (U8(p + 1) << 8)); }
};

uint64_t TableBytes(uint8_t sizeField) { return uint64_t{3} << ((sizeField & 7) + 1); }

// The offset just past a chain of data sub-blocks starting at p (after its 0 terminator);
// 0 when the chain runs past the end.
uint64_t SkipSubBlocks(Reader& r, uint64_t p) {
  for (;;) {
    uint8_t n = r.U8(p);
    if (!r.ok) return 0;
    if (n == 0) return p + 1;
    p += uint64_t{n} + 1;
  }
}

std::vector<uint32_t> Entries(const std::vector<uint8_t>& image, uint64_t offset, uint32_t count) {
  std::vector<uint32_t> e(count);
  for (uint32_t j = 0; j < count; ++j) {
    size_t at = static_cast<size_t>(offset + 3u * j);
    e[j] = image[at] | (image[at + 1] << 8) | (static_cast<uint32_t>(image[at + 2]) << 16);
  }
  return e;
}

// Makes entry t of the table at offset unique (only inside an existing table).
void MakeKeyUnique(std::vector<uint8_t>& image, uint64_t offset, uint32_t count, uint8_t t) {
  if (t >= count) return;
  std::vector<uint32_t> e = Entries(image, offset, count);
  bool clash = false;
  for (uint32_t j = 0; j < count; ++j)
    if (j != t && e[j] == e[t]) clash = true;
  if (!clash) return;
  uint32_t n = UniqueKey(e, t);
  size_t at = static_cast<size_t>(offset + 3u * t);
  image[at] = static_cast<uint8_t>(n & 0xFF);
  image[at + 1] = static_cast<uint8_t>((n >> 8) & 0xFF);
  image[at + 2] = static_cast<uint8_t>((n >> 16) & 0xFF);
}

}  // namespace

uint32_t UniqueKey(const std::vector<uint32_t>& entries, size_t t) {
  uint32_t a = 0, b = 0;
  for (uint32_t v : entries) {
    if (v > a) {
      b = a;
      a = v;
    } else if (v > b) {
      b = v;
    }
  }
  uint32_t n = static_cast<uint32_t>(std::nearbyint(static_cast<double>(b) / 2.0));  // halves to even
  for (;;) {
    bool taken = false;
    for (size_t j = 0; j < entries.size(); ++j)
      if (j != t && entries[j] == n) taken = true;
    if (!taken) return n;
    n = (n + 1) & 0xFFFFFF;
  }
}

bool WalkGif(std::vector<uint8_t>& image, GifLayout& layout) {
  layout = GifLayout();
  const uint64_t L = image.size();
  if (L < 13 || L >= kMaxFileBytes) return false;
  if (image[0] != 'G' || image[1] != 'I' || image[2] != 'F' || image[3] != '8') return false;
  Reader r{image};
  layout.screenWidth = r.U16(6);
  layout.screenHeight = r.U16(8);
  const uint8_t packed = r.U8(10);
  layout.globalTable = (packed & 0x80) != 0;
  layout.globalTableSize = packed & 7;
  const uint32_t w = layout.screenWidth, h = layout.screenHeight;
  if (w == 0 || h == 0 || w > kMaxScreenSide || h > kMaxScreenSide) return false;
  if (uint64_t{(w + 31) & ~31u} * h * 4 > kMaxBackBufferBytes) return false;
  const uint64_t globalOffset = 13;
  const uint64_t globalBytes = layout.globalTable ? TableBytes(layout.globalTableSize) : 0;
  if (globalOffset + globalBytes > L) return false;

  // Where each frame's transparent entry lies, for reading the keys once every change is made.
  struct KeyAt {
    uint64_t offset;
    uint32_t count;
  };
  std::vector<KeyAt> keyAt;
  uint64_t p = globalOffset + globalBytes;
  bool done = false;
  while (!done) {
    if (p >= L) break;
    const uint64_t start = p;
    GifFrame f;
    // Extensions and stray bytes up to the image descriptor.
    bool image_found = false;
    while (p < L) {
      const uint8_t b = r.U8(p);
      if (b == 0x2C) {
        image_found = true;
        break;
      }
      if (b == 0x3B) break;
      if (b != 0x21) {
        ++p;  // a stray byte between blocks
        continue;
      }
      const uint8_t label = r.U8(p + 1);
      if (!r.ok) return false;
      if (label == 0xF9 && r.U8(p + 2) >= 4) {
        const uint8_t gce = r.U8(p + 3);
        f.disposal = (gce >> 2) & 7;
        f.transparent = (gce & 1) != 0;
        f.delay = r.U16(p + 4);
        f.transparentIndex = r.U8(p + 6);
        if (!r.ok) return false;
      }
      // Every extension: its label, then sub-blocks (the fixed part is the first of them).
      p = SkipSubBlocks(r, p + 2);
      if (!r.ok) return false;
    }
    if (!image_found) break;  // the trailer, or the file's end after the last image

    // Image descriptor, local table, LZW minimum code size, image data.
    f.left = r.U16(p + 1);
    f.top = r.U16(p + 3);
    f.width = r.U16(p + 5);
    f.height = r.U16(p + 7);
    const uint8_t ipacked = r.U8(p + 9);
    if (!r.ok) return false;
    f.localTable = (ipacked & 0x80) != 0;
    f.localTableSize = ipacked & 7;
    const uint64_t localOffset = p + 10;
    const uint64_t localBytes = f.localTable ? TableBytes(f.localTableSize) : 0;
    if (localOffset + localBytes > L) return false;
    const uint64_t q = localOffset + localBytes;
    const uint8_t codeSize = r.U8(q);
    if (!r.ok || codeSize < 2 || codeSize > 8) return false;
    const uint64_t after = SkipSubBlocks(r, q + 1);
    if (!r.ok) return false;
    const uint64_t end = after - 1;

    if (f.transparent) {
      if (f.localTable) {
        keyAt.push_back({localOffset, static_cast<uint32_t>(localBytes / 3)});
      } else if (layout.globalTable) {
        keyAt.push_back({globalOffset, static_cast<uint32_t>(globalBytes / 3)});
      } else {
        keyAt.push_back({0, 0});
      }
      MakeKeyUnique(image, keyAt.back().offset, keyAt.back().count, f.transparentIndex);
    } else {
      keyAt.push_back({0, 0});
    }
    f.start = static_cast<uint32_t>(start);
    f.end = static_cast<uint32_t>(end);
    layout.frames.push_back(f);
    p = end + 1;
    if (p >= L || image[static_cast<size_t>(p)] == 0x3B) done = true;
  }
  if (layout.frames.empty()) return false;
  for (size_t k = 0; k < layout.frames.size(); ++k) {
    GifFrame& f = layout.frames[k];
    if (f.transparent && f.transparentIndex < keyAt[k].count) {
      f.key = Entries(image, keyAt[k].offset + 3u * f.transparentIndex, 1)[0];
      f.hasKey = true;
    }
  }
  return true;
}

std::vector<uint8_t> FrameFileBytes(const std::vector<uint8_t>& image, const GifLayout& layout, size_t k) {
  const GifFrame& first = layout.frames.at(0);
  const GifFrame& f = layout.frames.at(k);
  std::vector<uint8_t> out(image.begin(), image.begin() + first.start);
  out.insert(out.end(), image.begin() + f.start, image.begin() + f.end);
  const uint8_t tail[] = {0x00, 0x21, 0xF9, 0x3B};
  out.insert(out.end(), tail, tail + 4);
  return out;
}

}  // namespace flickgem
