// The library's type description, class registration and resources.
#include "TilecardResources.h"

#include <cstring>

#include "MediaClip.h"
#include "com/resources.h"

namespace tilecard {

TypeLibDesc Description() {
  using namespace desc;
  TypeLibDesc lib;
  lib.libid = kLibId;
  lib.name = "Tilecard";
  lib.majorVersion = kMajor;
  lib.minorVersion = kMinor;
  lib.lcid = 0;
  lib.helpString = "Tilecard storyboard clip tile";
  const std::string filterHelp =
      "Returns or assigns a semi colon delimited filter string for media MediaFile/export.  Similar to the common "
      "dialog filter property.  Valid Filter String Example:  \".avi;.mpg;.bmp\"";
  TypeDesc itf = DualInterface(
      kIidMediaClip, "_MediaClip",
      {
          OfType(PropertyGet("BorderColor", kBorderColor, VT_I4, "Returns or assigns the controls border color."),
                 kTypeOleColor),
          OfType(PropertyPut("BorderColor", kBorderColor, VT_I4 | VT_BYREF), kTypeOleColor),
          PropertyGet("BorderSize", kBorderSize, VT_R4, "Returns or assigns the width of the controls border, in pixels."),
          PropertyPut("BorderSize", kBorderSize, VT_R4 | VT_BYREF),
          PropertyGet("Filter", kFilter, VT_BSTR, filterHelp),
          PropertyPut("Filter", kFilter, VT_BSTR | VT_BYREF),
          PropertyPut("MediaFile", kMediaFile, VT_BSTR | VT_BYREF),
          PropertyGet("MediaFile", kMediaFile, VT_BSTR),
          OfType(PropertyGet("ShowMediaInfo", kShowMediaInfo, VT_BOOL,
                             "Returns or assigns a value indicating if the media info is displayed for the given clip."),
                 kTypeVariantBool),
          OfType(PropertyPut("ShowMediaInfo", kShowMediaInfo, VT_BOOL | VT_BYREF), kTypeVariantBool),
          PropertyGet("hWnd", kHWnd, VT_I4, "Returns a handle (from Microsoft Windows) to an object's window."),
          PropertyGet("Duration", kDuration, VT_R8),
          PropertyPut("Duration", kDuration, VT_R8),
          PropertyGet("MediaType", kMediaType, VT_BSTR),
          PropertyPut("MediaType", kMediaType, VT_BSTR),
          PropertyGet("ClipNumber", kClipNumber, VT_I4),
          PropertyPut("ClipNumber", kClipNumber, VT_I4),
          PropertyGet("Transition", kTransition, VT_BSTR),
          PropertyPut("Transition", kTransition, VT_BSTR),
          PropertyGet("BackStyle", kBackStyle, VT_I2, "Returns/sets the border style for an object."),
          PropertyPut("BackStyle", kBackStyle, VT_I2),
          PropertyGet("Enabled", kEnabled, VT_BOOL,
                      "Returns/sets a value that determines whether an object can respond to user-generated events."),
          PropertyPut("Enabled", kEnabled, VT_BOOL),
          PropertyGet("ShowTransitions", kShowTransitions, VT_BOOL),
          PropertyPut("ShowTransitions", kShowTransitions, VT_BOOL),
          PropertyGet("AllowDragDrop", kAllowDragDrop, VT_BOOL),
          PropertyPut("AllowDragDrop", kAllowDragDrop, VT_BOOL),
          Method("KillTime", kKillTime, {InOut("dTimeToKill", VT_R8)}),
      },
      {}, TYPEFLAG_FHIDDEN | TYPEFLAG_FDUAL | TYPEFLAG_FNONEXTENSIBLE | TYPEFLAG_FOLEAUTOMATION);
  lib.types = {
      Enumeration(kBorderStyleEnum, "SRCClipBorderStyleConstants", {{"None", 0}, {"FixedSingle", 1}}),
      itf,
      HiddenCopy(itf, kIidMediaClipV0, "MediaClip___v0"),
      DispInterface(kDiidMediaClipEvents, "__MediaClip",
                    {Method("ImportFile", kImportFile, {InOut("bstrFileName", VT_BSTR), InOut("Cancel", VT_BOOL)}),
                     Method("Click", kClick), Method("MenuClick", kMenuClick),
                     Method("TransitionChanged", kTransitionChanged), Method("MediaError", kMediaError)},
                    {}, TYPEFLAG_FHIDDEN),
      ControlClass(kClsidMediaClip, "MediaClip",
                   {{kIidMediaClip, IMPLTYPEFLAG_FDEFAULT},
                    {kDiidMediaClipEvents, IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE}}),
  };
  return lib;
}

ClassRegistration Registration() {
  ClassRegistration r{kClsidMediaClip, "Tilecard.MediaClip", kProgId, kProgId};
  r.threadingModel = "Apartment";
  r.control = true;
  r.insertable = true;
  r.toolboxBitmap = kToolboxBitmap;
  r.miscStatus = kMiscStatus;
  r.version = "11.1";
  return r;
}

namespace {

void Put16(std::vector<uint8_t>& b, uint16_t v) {
  b.push_back(static_cast<uint8_t>(v));
  b.push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(std::vector<uint8_t>& b, uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// A bottom-up BMP file: bits 4 (16-colour palette) or 24; pixel(x, y) gives the palette index
// or the 0xRRGGBB colour.
template <class Pixel>
std::vector<uint8_t> Bmp(int w, int h, int bits, const std::vector<uint32_t>& palette, Pixel pixel) {
  const int stride = ((w * bits + 31) / 32) * 4;
  const uint32_t paletteBytes = static_cast<uint32_t>(palette.size() * 4);
  const uint32_t offset = 14 + 40 + paletteBytes;
  std::vector<uint8_t> b;
  b.push_back('B');
  b.push_back('M');
  Put32(b, offset + static_cast<uint32_t>(stride * h));
  Put32(b, 0);
  Put32(b, offset);
  Put32(b, 40);
  Put32(b, static_cast<uint32_t>(w));
  Put32(b, static_cast<uint32_t>(h));
  Put16(b, 1);
  Put16(b, static_cast<uint16_t>(bits));
  Put32(b, 0);
  Put32(b, static_cast<uint32_t>(stride * h));
  Put32(b, 3780);
  Put32(b, 3780);
  Put32(b, static_cast<uint32_t>(palette.size()));
  Put32(b, 0);
  for (uint32_t c : palette) Put32(b, c);
  for (int y = h - 1; y >= 0; --y) {
    std::vector<uint8_t> row(static_cast<size_t>(stride), 0);
    for (int x = 0; x < w; ++x) {
      uint32_t v = pixel(x, y);
      if (bits == 4) {
        row[static_cast<size_t>(x / 2)] |= static_cast<uint8_t>((v & 0xF) << (x % 2 ? 0 : 4));
      } else {
        row[static_cast<size_t>(x * 3)] = static_cast<uint8_t>(v);
        row[static_cast<size_t>(x * 3 + 1)] = static_cast<uint8_t>(v >> 8);
        row[static_cast<size_t>(x * 3 + 2)] = static_cast<uint8_t>(v >> 16);
      }
    }
    b.insert(b.end(), row.begin(), row.end());
  }
  return b;
}

void PutGuid(std::vector<uint8_t>& b, const GUID& g) {
  uint8_t raw[16];
  static_assert(sizeof(GUID) == 16);
  std::memcpy(raw, &g, 16);
  b.insert(b.end(), raw, raw + 16);
}

}  // namespace

std::vector<uint8_t> FallbackPictureBytes() {
  // The 16 standard colours; a dark film frame with sprocket holes and a grey "no picture" cross.
  const std::vector<uint32_t> palette = {0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080,
                                         0x008080, 0xC0C0C0, 0x808080, 0xFF0000, 0x00FF00, 0xFFFF00,
                                         0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF};
  const int w = 177, h = 113;
  return Bmp(w, h, 4, palette, [&](int x, int y) -> uint32_t {
    bool band = y < 12 || y >= h - 12;
    if (band) return (x % 12 >= 3 && x % 12 < 9 && (y % 12 >= 3 && y % 12 < 9)) ? 15 : 0;
    int dx = x - w / 2, dy = (y - h / 2) * w / h;
    if (std::abs(dx - dy) < 3 || std::abs(dx + dy) < 3) return (std::abs(dx) < 40) ? 7 : 8;
    return 8;
  });
}

std::vector<uint8_t> ToolboxBitmapBytes() {
  return Bmp(16, 15, 24, {}, [](int x, int y) -> uint32_t {
    if (y < 2 || y > 12) return (x % 3 == 1) ? 0xFFFFFF : 0x202020;
    if (x < 1 || x > 14) return 0x202020;
    return 0x3060C0 + static_cast<uint32_t>(y * 4);
  });
}

std::vector<uint8_t> MenuIconBytes() {
  // An ICO with one 16 x 16 32-bit image: a down-pointing triangle on a transparent ground.
  const int n = 16;
  std::vector<uint8_t> image;
  Put32(image, 40);
  Put32(image, n);
  Put32(image, n * 2);
  Put16(image, 1);
  Put16(image, 32);
  Put32(image, 0);
  Put32(image, n * n * 4 + n * 4);
  for (int i = 0; i < 4; ++i) Put32(image, 0);
  for (int y = n - 1; y >= 0; --y)
    for (int x = 0; x < n; ++x) {
      bool in = y >= 5 && y <= 11 && x >= 3 + (y - 5) && x <= 12 - (y - 5);
      uint32_t argb = in ? 0xFF000000 : 0x00000000;
      Put32(image, argb);
    }
  for (int y = 0; y < n; ++y) Put32(image, 0);  // AND mask rows (alpha decides)
  std::vector<uint8_t> b;
  Put16(b, 0);
  Put16(b, 1);
  Put16(b, 1);
  b.push_back(n);
  b.push_back(n);
  b.push_back(0);
  b.push_back(0);
  Put16(b, 1);
  Put16(b, 32);
  Put32(b, static_cast<uint32_t>(image.size()));
  Put32(b, 22);
  b.insert(b.end(), image.begin(), image.end());
  return b;
}

std::vector<uint8_t> IidPairBytes(const GUID& earlier, const GUID& current) {
  std::vector<uint8_t> b;
  Put32(b, 32);
  PutGuid(b, earlier);
  PutGuid(b, current);
  return b;
}

}  // namespace tilecard

using namespace tilecard;

SUITE_MODULE_RESOURCES({
    {RT_BITMAP, ResourceId(kToolboxBitmap), ToolboxBitmapBytes()},
    {"CUSTOM", "_IID_MEDIACLIP", IidPairBytes(kIidMediaClipV0, kIidMediaClip)},
    {"CUSTOM", "_SRCIID_MEDIACLIP", IidPairBytes(kDiidMediaClipEventsV0, kDiidMediaClipEvents)},
})
