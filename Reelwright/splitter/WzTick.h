#pragma once
// WzTick ("Reelwright.WzTick"): the time ruler of the splitter window, a user control of the main
// program. It draws a row of evenly spaced black ticks (the label array Line1), one per frame or
// one per several frames when they would not fit, each with a tool tip naming its frame, and
// reports a click on a tick with TickClick(Button, Index, X), X being the tick's Left in twips.
// Hosts bind it late, by the dispatch identifiers below.
#include <cstdint>

#include "core/unknown.h"

namespace wztick {
constexpr GUID kLibId = MakeGuid("{3C7A1E52-8B04-4D6F-9E21-5A0F6B3D2C10}");
constexpr CLSID kClsid = MakeGuid("{3C7A1E52-8B04-4D6F-9E21-5A0F6B3D2C11}");
constexpr IID kIid = MakeGuid("{3C7A1E52-8B04-4D6F-9E21-5A0F6B3D2C12}");
constexpr IID kDiidEvents = MakeGuid("{3C7A1E52-8B04-4D6F-9E21-5A0F6B3D2C13}");
constexpr const char* kProgId = "Reelwright.WzTick";

enum DispId : DISPID {
  kTickSpace = 0x40030000,
  kCreateTicks = 0x60030001,
  kResizeTicks = 0x60030002,
  kClearTicks = 0x60030003,
  kAutoRedraw = 0x68030004,
  kRefresh = 0x60030008,
};
enum EventId : DISPID { kTickClick = 1 };

// The container's extender properties of a hosted control (twips; Visible a Boolean).
enum ExtenderId : DISPID {
  kExtLeft = static_cast<DISPID>(0x80010003),
  kExtTop = static_cast<DISPID>(0x80010004),
  kExtWidth = static_cast<DISPID>(0x80010005),
  kExtHeight = static_cast<DISPID>(0x80010006),
  kExtVisible = static_cast<DISPID>(0x80010007),
};
}  // namespace wztick

// Makes "Reelwright.WzTick" creatable in this process (its type description published and its
// class registered); the main program calls it at start. Further calls do nothing.
void RegisterWzTick();
