// A byte-level GIF writer for tests.
#include "gifwriter.h"

#include <algorithm>
#include <fstream>
#include <stdexcept>

namespace gifw {

namespace {
void Put16(std::vector<uint8_t>& b, uint16_t v) {
  b.push_back(static_cast<uint8_t>(v));
  b.push_back(static_cast<uint8_t>(v >> 8));
}
}  // namespace

Extension GraphicControl(uint16_t delay, uint8_t disposal, bool transparent, uint8_t index) {
  Extension e;
  e.label = 0xF9;
  e.blocks.push_back({static_cast<uint8_t>(((disposal & 7) << 2) | (transparent ? 1 : 0)),
                      static_cast<uint8_t>(delay), static_cast<uint8_t>(delay >> 8), index});
  return e;
}

Extension Comment(const std::string& text) {
  Extension e;
  e.label = 0xFE;
  for (size_t i = 0; i < text.size(); i += 255)
    e.blocks.emplace_back(text.begin() + static_cast<std::ptrdiff_t>(i),
                          text.begin() + static_cast<std::ptrdiff_t>(std::min(text.size(), i + 255)));
  return e;
}

Extension Looping(uint16_t loops) {
  Extension e;
  e.label = 0xFF;
  std::string id = "NETSCAPE2.0";
  e.blocks.emplace_back(id.begin(), id.end());
  e.blocks.push_back({1, static_cast<uint8_t>(loops), static_cast<uint8_t>(loops >> 8)});
  return e;
}

std::vector<uint8_t> PaddedTable(const std::vector<uint8_t>& rgb, uint8_t* sizeField) {
  size_t entries = rgb.size() / 3;
  uint8_t n = 0;
  while ((size_t{2} << n) < entries && n < 7) ++n;
  std::vector<uint8_t> t = rgb;
  t.resize((size_t{2} << n) * 3, 0);
  if (sizeField) *sizeField = n;
  return t;
}

std::vector<uint8_t> LzwSubBlocks(const std::vector<uint8_t>& indexes, int codeSize) {
  // Plain codes with a clear code often enough that the code width never grows.
  const int cs = codeSize < 2 ? 2 : (codeSize > 8 ? 8 : codeSize);
  const uint32_t clear = 1u << cs, stop = clear + 1;
  const int width = cs + 1;
  const uint32_t mask = (1u << cs) - 1;
  std::vector<uint8_t> data;
  uint32_t acc = 0;
  int bits = 0;
  auto emit = [&](uint32_t code) {
    acc |= code << bits;
    bits += width;
    while (bits >= 8) {
      data.push_back(static_cast<uint8_t>(acc));
      acc >>= 8;
      bits -= 8;
    }
  };
  // Literals between clears: the decoder's table stays well below 2^(cs+1) entries.
  const size_t run = std::max<size_t>(1, (size_t{1} << cs) - 3);
  size_t since = 0;
  emit(clear);
  for (uint8_t v : indexes) {
    if (since == run) {
      emit(clear);
      since = 0;
    }
    emit(v & mask);
    ++since;
  }
  emit(stop);
  if (bits > 0) data.push_back(static_cast<uint8_t>(acc));
  std::vector<uint8_t> out;
  for (size_t i = 0; i < data.size(); i += 255) {
    size_t n = std::min<size_t>(255, data.size() - i);
    out.push_back(static_cast<uint8_t>(n));
    out.insert(out.end(), data.begin() + static_cast<std::ptrdiff_t>(i),
               data.begin() + static_cast<std::ptrdiff_t>(i + n));
  }
  out.push_back(0);
  return out;
}

std::vector<uint8_t> Encode(const Gif& gif) {
  std::vector<uint8_t> b = {'G', 'I', 'F'};
  b.insert(b.end(), gif.version.begin(), gif.version.end());
  Put16(b, gif.width);
  Put16(b, gif.height);
  uint8_t n = 0;
  std::vector<uint8_t> global;
  if (!gif.globalTable.empty()) global = PaddedTable(gif.globalTable, &n);
  b.push_back(static_cast<uint8_t>((global.empty() ? 0 : 0x80) | 0x70 | n));
  b.push_back(gif.background);
  b.push_back(0);
  b.insert(b.end(), global.begin(), global.end());
  for (const Image& im : gif.images) {
    for (const Extension& e : im.before) {
      b.push_back(0x21);
      b.push_back(e.label);
      for (const auto& block : e.blocks) {
        b.push_back(static_cast<uint8_t>(block.size()));
        b.insert(b.end(), block.begin(), block.end());
      }
      b.push_back(0);
    }
    b.push_back(0x2C);
    Put16(b, im.left);
    Put16(b, im.top);
    Put16(b, im.width);
    Put16(b, im.height);
    uint8_t ln = 0;
    std::vector<uint8_t> local;
    if (!im.localTable.empty()) local = PaddedTable(im.localTable, &ln);
    b.push_back(static_cast<uint8_t>((local.empty() ? 0 : 0x80) | (im.interlace ? 0x40 : 0) | ln));
    b.insert(b.end(), local.begin(), local.end());
    const uint8_t tableBits = static_cast<uint8_t>((local.empty() ? n : ln) + 1);
    const int cs = im.codeSize >= 0 ? im.codeSize : std::max<int>(2, tableBits);
    b.push_back(static_cast<uint8_t>(cs));
    std::vector<uint8_t> data = LzwSubBlocks(im.pixels, cs);
    b.insert(b.end(), data.begin(), data.end());
  }
  if (gif.trailer) b.push_back(0x3B);
  return b;
}

void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!f) throw std::runtime_error("cannot write " + path);
}

Gif Screen(uint16_t width, uint16_t height, std::vector<uint8_t> globalTable) {
  Gif g;
  g.width = width;
  g.height = height;
  g.globalTable = std::move(globalTable);
  return g;
}

Image Solid(uint16_t left, uint16_t top, uint16_t width, uint16_t height, uint8_t index) {
  Image im;
  im.left = left;
  im.top = top;
  im.width = width;
  im.height = height;
  im.pixels.assign(static_cast<size_t>(width) * height, index);
  return im;
}

}  // namespace gifw
