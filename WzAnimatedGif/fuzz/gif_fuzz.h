#pragma once
// The fuzz entry point over a GIF load: the block walk with its re-colouring and the cut into
// one-image files; for an accepted file each frame is decoded by the picture loader and composed
// into a back buffer the way the control composes it (disposal, colour key mask, clipping).
// Answers the number of frames composed (0 for a refused file).
#include <cstddef>
#include <cstdint>
#include <string>

namespace flickgem {
int FuzzGifLoad(const uint8_t* data, size_t size, const std::string& scratchFolder);
}
