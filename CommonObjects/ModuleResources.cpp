#include "ModuleResources.h"

namespace graphparts {

std::vector<uint8_t> Text(const std::string& text) { return {text.begin(), text.end()}; }

std::vector<uint8_t> VersionData(const std::vector<std::pair<std::string, std::string>>& entries,
                                 bool selfRegister) {
  std::string text;
  for (const auto& [name, value] : entries) text += name + "=" + value + "\n";
  if (selfRegister) text += "OLESelfRegister\n";
  return Text(text);
}

namespace {

void Put16(std::vector<uint8_t>& b, uint32_t v) {
  for (int i = 0; i < 2; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void Put32(std::vector<uint8_t>& b, uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// BITMAPINFOHEADER, palette and bottom-up 4-bit rows; heightField is the header's height (an
// icon's counts its mask too).
void PutDib(std::vector<uint8_t>& b, int w, int h, int heightField, const std::function<int(int, int)>& index) {
  const int stride = ((w * 4 + 31) / 32) * 4;
  Put32(b, 40);
  Put32(b, static_cast<uint32_t>(w));
  Put32(b, static_cast<uint32_t>(heightField));
  Put16(b, 1);
  Put16(b, 4);
  Put32(b, 0);
  Put32(b, static_cast<uint32_t>(stride * h));
  Put32(b, 0);
  Put32(b, 0);
  Put32(b, 16);
  Put32(b, 0);
  for (uint32_t c : StandardPalette()) Put32(b, c);
  for (int y = h - 1; y >= 0; --y) {
    std::vector<uint8_t> row(static_cast<size_t>(stride), 0);
    for (int x = 0; x < w; ++x) {
      int v = index(x, y) & 0xF;
      row[static_cast<size_t>(x / 2)] |= static_cast<uint8_t>(v << (x % 2 ? 0 : 4));
    }
    b.insert(b.end(), row.begin(), row.end());
  }
}

}  // namespace

const std::vector<uint32_t>& StandardPalette() {
  static const std::vector<uint32_t> palette = {0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080,
                                                0x008080, 0xC0C0C0, 0x808080, 0xFF0000, 0x00FF00, 0xFFFF00,
                                                0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF};
  return palette;
}

std::vector<uint8_t> Bitmap16(int width, int height, const std::function<int(int, int)>& index) {
  std::vector<uint8_t> dib;
  PutDib(dib, width, height, height, index);
  std::vector<uint8_t> b = {'B', 'M'};
  Put32(b, static_cast<uint32_t>(14 + dib.size()));
  Put32(b, 0);
  Put32(b, 14 + 40 + 16 * 4);
  b.insert(b.end(), dib.begin(), dib.end());
  return b;
}

std::vector<uint8_t> Icon16(int size, const std::function<int(int, int)>& index) {
  std::vector<uint8_t> image;
  PutDib(image, size, size, size * 2, [&](int x, int y) { int v = index(x, y); return v > 15 ? 0 : v; });
  const int maskStride = ((size + 31) / 32) * 4;
  for (int y = size - 1; y >= 0; --y) {
    std::vector<uint8_t> row(static_cast<size_t>(maskStride), 0);
    for (int x = 0; x < size; ++x)
      if (index(x, y) > 15) row[static_cast<size_t>(x / 8)] |= static_cast<uint8_t>(0x80 >> (x % 8));
    image.insert(image.end(), row.begin(), row.end());
  }
  std::vector<uint8_t> b;
  Put16(b, 0);
  Put16(b, 1);
  Put16(b, 1);
  b.push_back(static_cast<uint8_t>(size));
  b.push_back(static_cast<uint8_t>(size));
  b.push_back(16);
  b.push_back(0);
  Put16(b, 1);
  Put16(b, 4);
  Put32(b, static_cast<uint32_t>(image.size()));
  Put32(b, 22);
  b.insert(b.end(), image.begin(), image.end());
  return b;
}

}  // namespace graphparts
