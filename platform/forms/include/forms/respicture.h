#pragma once
// Pictures a library carries in its module resources (com/resources.h): a control's design-time
// pictures and toolbox bitmap.
#include <cstdint>
#include <string>
#include <vector>

#include "forms/picture.h"

enum LoadResConstants : int16_t { vbResBitmap = 0, vbResIcon = 1 };

// A picture from a picture file's bytes (bmp, jpg, gif, ico, png); raises 481 for bytes that are
// no picture.
Picture LoadPictureFromBytes(const std::vector<uint8_t>& bytes);
// The library's bitmap (RT_BITMAP) or icon (RT_ICON) resource with that id; raises 326 when the
// module has no such resource.
Picture LoadResPicture(const std::string& modulePath, int id, int16_t type);
