#pragma once
// Resource bytes both graph component libraries carry: dialog templates, version data and the
// 16-colour pictures of the control library.
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace graphparts {

std::vector<uint8_t> Text(const std::string& text);
// Version data: one "Name=Value" line per entry (the entries in their order), "OLESelfRegister"
// alone on its line for a self-registering library.
std::vector<uint8_t> VersionData(const std::vector<std::pair<std::string, std::string>>& entries,
                                 bool selfRegister);

// The 16 standard colours (0xRRGGBB) and 16-colour pictures drawn by index(x, y) (0..15, y from
// the top): a BMP file, and an ICO file with one image whose index 16 and above are transparent.
const std::vector<uint32_t>& StandardPalette();
std::vector<uint8_t> Bitmap16(int width, int height, const std::function<int(int, int)>& index);
std::vector<uint8_t> Icon16(int size, const std::function<int(int, int)>& index);

}  // namespace graphparts
