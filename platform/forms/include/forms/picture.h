#pragma once
// Picture objects: a bitmap or an icon, or the empty picture. Sizes are in HIMETRIC (0.01 mm),
// as picture objects report them. Copies share the picture, as object references do.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

class Picture {
 public:
  Picture() = default;  // the empty picture (what LoadPicture() with no file answers)
  bool IsEmpty() const { return !d_; }
  explicit operator bool() const { return !IsEmpty(); }
  // 0 none, 1 bitmap, 3 icon.
  int16_t Type() const;
  // Size in HIMETRIC; 0 for the empty picture.
  int32_t Width() const;
  int32_t Height() const;
  // Size in pixels.
  int32_t PixelWidth() const;
  int32_t PixelHeight() const;
  // A number that names the picture (0 for the empty one), as a picture's handle does.
  uintptr_t Handle() const;
  friend bool operator==(const Picture& a, const Picture& b) { return a.d_ == b.d_; }

  struct Data;
  explicit Picture(std::shared_ptr<const Data> d) : d_(std::move(d)) {}
  const std::shared_ptr<const Data>& data() const { return d_; }

 private:
  std::shared_ptr<const Data> d_;
};

// Loads a bmp, dib, jpg, gif or ico file; the empty path gives the empty picture. Raises 53 for
// a missing file and 481 for a file that is no picture.
Picture LoadPicture(const std::string& path = {});
// A picture stored with a window: the bytes of a bmp, jpg, gif or ico file; raises 481 for bytes
// that are no picture.
Picture LoadPictureData(const unsigned char* data, size_t size);
// Saves a picture as a bitmap file; raises 380 for the empty picture and 75 when the file cannot
// be written.
void SavePicture(const Picture& picture, const std::string& path);

// HIMETRIC from pixels at 96 pixels to the inch (one pixel = 15 twips = 26.46 HIMETRIC).
int32_t HimetricFromPixels(int32_t pixels);
int32_t PixelsFromHimetric(int32_t himetric);
