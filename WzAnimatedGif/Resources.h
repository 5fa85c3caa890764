#pragma once
// The library's description (type library, class registrations) and its toolbox bitmap.
#include <cstdint>
#include <vector>

#include "com/server.h"
#include "com/typeinfo.h"

namespace flickgem {
TypeLibDesc Description();
ClassRegistration ControlRegistration();
ClassRegistration PageRegistration();
// The toolbox bitmap: 16 x 15 pixels, 16 colours (BMP file bytes).
std::vector<uint8_t> ToolboxBitmapBytes();
}  // namespace flickgem
