// The library's type description, class registrations and toolbox bitmap.
#include "Resources.h"

#include "Flickgem.h"
#include "com/resources.h"

#include <cstdlib>

namespace flickgem {

namespace {
constexpr const char* kVersionHelp = "Animated Gif Ctl Ver 2.0";
}

TypeLibDesc Description() {
  using namespace desc;
  TypeLibDesc lib;
  lib.libid = kLibId;
  lib.name = "WzAnimatedGif";
  lib.majorVersion = kMajor;
  lib.minorVersion = kMinor;
  lib.lcid = 0x409;
  lib.helpFile = "Flickgem.chm";
  lib.libFlags = LIBFLAG_FCONTROL;
  const uint16_t hiddenDual = TYPEFLAG_FHIDDEN | TYPEFLAG_FDUAL | TYPEFLAG_FNONEXTENSIBLE | TYPEFLAG_FOLEAUTOMATION;
  auto color = [](MemberDesc m) { return OfType(std::move(m), kTypeOleColor); };
  auto picture = [](MemberDesc m) { return OfType(std::move(m), kTypePictureDisp); };
  const std::string pictureHelp = "Returns/sets a graphic to be displayed in a control.";
  const std::string borderHelp = "Returns/sets the border style for an object.";
  const std::string appearanceHelp =
      "Returns/sets whether or not an object is painted at run time with 3-D effects.";
  const std::string backColorHelp =
      "Returns/sets the background color used to display text and graphics in an object.";
  TypeDesc control = DualInterface(
      kIidFlickgem, "_Flickgem",
      {
          PropertyGet("NumberofFrames", kNumberofFrames, VT_I4),
          PropertyPut("NumberofFrames", kNumberofFrames, VT_I4 | VT_BYREF),
          Method("ClearImage", kClearImage),
          picture(PropertyGet("Picture", kPicture, VT_DISPATCH, pictureHelp)),
          picture(PropertyPutRef("Picture", kPicture, VT_DISPATCH, pictureHelp)),
          PropertyGet("BorderStyle", kBorderStyle, VT_I2, borderHelp),
          PropertyPut("BorderStyle", kBorderStyle, VT_I2, borderHelp),
          Method("Refresh", kRefresh, {}, "Forces a complete repaint of a object."),
          PropertyGet("GifFileName", kGifFileName, VT_BSTR),
          PropertyPut("GifFileName", kGifFileName, VT_BSTR),
          Method("ShowGifImage", kShowGifImage, {InOut("FrameNumber", VT_I4), Retval(VT_VARIANT)}),
          PropertyGet("AutoSize", kAutoSize, VT_BOOL),
          PropertyPut("AutoSize", kAutoSize, VT_BOOL),
          PropertyGet("AutoPlay", kAutoPlay, VT_BOOL),
          PropertyPut("AutoPlay", kAutoPlay, VT_BOOL),
          Method("LoadFile", kLoadFile,
                 {[] {
                    ParamDesc p = Optional("sFileName", VT_BSTR | VT_BYREF);
                    return p;
                  }(),
                  Retval(VT_VARIANT)}),
          PropertyGet("Appearance", kAppearance, VT_I2, appearanceHelp),
          PropertyPut("Appearance", kAppearance, VT_I2, appearanceHelp),
          Method("StartPlay", kStartPlay, {Retval(VT_VARIANT)}),
          Method("StopPlay", kStopPlay),
          color(PropertyGet("ImageBackColor", kImageBackColor, VT_I4)),
          color(PropertyPut("ImageBackColor", kImageBackColor, VT_I4)),
          color(PropertyGet("BackColor", kBackColor, VT_I4, backColorHelp)),
          color(PropertyPut("BackColor", kBackColor, VT_I4, backColorHelp)),
          PropertyGet("NumberOfPlays", kNumberOfPlays, VT_I4),
          PropertyPut("NumberOfPlays", kNumberOfPlays, VT_I4),
      },
      kVersionHelp, hiddenDual);
  auto mouse = [](const char* name, DISPID id, const char* help) {
    return Method(name, id,
                  {InOut("Button", VT_I2), InOut("Shift", VT_I2), InOut("x", VT_R4), InOut("y", VT_R4)}, help);
  };
  lib.types = {
      control,
      ControlClass(kClsidFlickgem, "Flickgem",
                   {{kIidFlickgem, IMPLTYPEFLAG_FDEFAULT},
                    {kDiidFlickgemEvents, IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE}},
                   kVersionHelp),
      DualInterface(kIidGeneral, "_General", {}, {}, hiddenDual),
      CoClass(kClsidGeneral, "General", {{kIidGeneral, IMPLTYPEFLAG_FDEFAULT}}),
      DispInterface(
          kDiidFlickgemEvents, "__Flickgem",
          {Method("PlayEnded", kPlayEnded, {InOut("EndTime", VT_DATE)}),
           Method("PlayStarted", kPlayStarted, {InOut("StartTime", VT_DATE)}), Method("Resize", kResize),
           Method("Paint", kPaint),
           Method("Click", kClick, {}, "Occurs when the user presses and then releases a mouse button over an object."),
           Method("DblClick", kDblClick, {},
                  "Occurs when the user presses and releases a mouse button and then presses and releases it "
                  "again over an object."),
           mouse("MouseDown", kMouseDown, "Occurs when the user presses the mouse button while an object has the focus."),
           mouse("MouseUp", kMouseUp, "Occurs when the user releases the mouse button while an object has the focus."),
           mouse("MouseMove", kMouseMove, "Occurs when the user moves the mouse.")},
          kVersionHelp, TYPEFLAG_FHIDDEN),
  };
  return lib;
}

ClassRegistration ControlRegistration() {
  ClassRegistration r{kClsidFlickgem, "WzAnimatedGif.Flickgem", kProgId, kProgId};
  r.threadingModel = "Apartment";
  r.control = true;
  r.toolboxBitmap = kToolboxBitmap;
  r.miscStatus = kMiscStatus;
  r.version = "11.0";
  return r;
}

ClassRegistration PageRegistration() {
  ClassRegistration r{kClsidGeneral, "WzAnimatedGif.General", kPageProgId, kPageProgId};
  r.threadingModel = "Apartment";
  r.version = "11.0";
  return r;
}

std::vector<uint8_t> ToolboxBitmapBytes() {
  // A 16 x 15 bitmap of 16 colours: a film strip with a play arrow.
  const int w = 16, h = 15, stride = 8;
  const uint32_t palette[16] = {0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080, 0x008080, 0xC0C0C0,
                                0x808080, 0xFF0000, 0x00FF00, 0xFFFF00, 0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF};
  std::vector<uint8_t> b;
  auto put = [&](uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
  };
  const uint32_t offset = 14 + 40 + 64;
  b.push_back('B');
  b.push_back('M');
  put(offset + stride * h, 4);
  put(0, 4);
  put(offset, 4);
  put(40, 4);
  put(w, 4);
  put(h, 4);
  put(1, 2);
  put(4, 2);
  put(0, 4);
  put(stride * h, 4);
  put(3780, 4);
  put(3780, 4);
  put(16, 4);
  put(0, 4);
  for (uint32_t c : palette) put(c, 4);
  for (int y = h - 1; y >= 0; --y) {
    uint8_t row[stride] = {};
    for (int x = 0; x < w; ++x) {
      int v = 7;
      if (y < 2 || y > 12) v = (x % 3 == 1) ? 15 : 0;
      else if (x >= 5 && x <= 10 && std::abs(y - 7) <= (10 - x)) v = 12;
      row[x / 2] |= static_cast<uint8_t>(v << (x % 2 ? 0 : 4));
    }
    b.insert(b.end(), row, row + stride);
  }
  return b;
}

}  // namespace flickgem

SUITE_MODULE_RESOURCES({
    {RT_BITMAP, ResourceId(flickgem::kToolboxBitmap), flickgem::ToolboxBitmapBytes()},
})

ServerClass FlickgemServerClass();  // Flickgem.cpp
ServerClass GeneralServerClass();   // General.cpp

SUITE_COM_SERVER(flickgem::Description(), {FlickgemServerClass(), GeneralServerClass()})
