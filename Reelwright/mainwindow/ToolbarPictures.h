#pragma once
// The main window's image list pictures: 16 x 16, 24-bit BMP images drawn by the program itself,
// one per key, in the image list's order.
#include <cstdint>
#include <string>
#include <vector>

const std::vector<std::string>& ToolbarPictureKeys();
std::vector<uint8_t> ToolbarPictureBmp(const std::string& key);
