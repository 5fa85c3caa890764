#pragma once
// Picture adjustment of the platform's video decoders: brightness, contrast and saturation
// applied in their conversion to RGB (YUV sources), from the next frame they deliver on.
#include <cstdint>

#include "core/guid.h"
#include "core/hresult.h"
#include "core/unknown.h"

namespace dshow {

struct PictureAdjustment {
  int32_t brightness = 0;  // -255 .. 255, 0 neutral
  int32_t contrast = 0;
  int32_t saturation = 0;
  bool operator==(const PictureAdjustment&) const = default;
};

class IPictureAdjustment : public IUnknown {
 public:
  static constexpr IID iid = MakeGuid("{E5A1C3D7-6B2F-4E90-8D47-1F3A5C9B7E26}");
  // E_INVALIDARG for a value outside -255 .. 255.
  virtual HRESULT SetAdjustment(const PictureAdjustment& adjustment) = 0;
  virtual HRESULT GetAdjustment(PictureAdjustment* adjustment) = 0;
};

}  // namespace dshow
