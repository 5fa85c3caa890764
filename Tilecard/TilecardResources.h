#pragma once
// The library's description (type library, class registration) and its design pictures.
#include <cstdint>
#include <vector>

#include "com/server.h"
#include "com/typeinfo.h"

namespace tilecard {
TypeLibDesc Description();
ClassRegistration Registration();
// The fallback picture: a 177 x 113 bitmap of 16 colours (BMP file bytes).
std::vector<uint8_t> FallbackPictureBytes();
// The menu glyph: a 16 x 16 icon (ICO file bytes).
std::vector<uint8_t> MenuIconBytes();
// The toolbox bitmap: 16 x 15 pixels, 24 bits (BMP file bytes).
std::vector<uint8_t> ToolboxBitmapBytes();
// A resource listing an interface's earlier and current identifiers: the 32-bit value 32, then
// the two GUIDs.
std::vector<uint8_t> IidPairBytes(const GUID& earlier, const GUID& current);
}  // namespace tilecard
