#pragma once
// The test control library "SuiteTestControls": a user control written with the forms runtime
// (SuiteTest.Counter) and a control written without it (SuiteTest.Plain). Not shipped: built
// beside the tests and registered with regsvr into a test's private registry.
#include "com/olecontrol.h"
#include "core/unknown.h"
#include "core/variant.h"

namespace testcontrols {
constexpr GUID kLibId = MakeGuid("{7C3A1E50-5D2B-4A61-9E0F-31B2C4D5E601}");
constexpr IID kIidCounter = MakeGuid("{7C3A1E50-5D2B-4A61-9E0F-31B2C4D5E602}");
constexpr IID kIidCounterOld = MakeGuid("{7C3A1E50-5D2B-4A61-9E0F-31B2C4D5E603}");
constexpr IID kDiidCounterEvents = MakeGuid("{7C3A1E50-5D2B-4A61-9E0F-31B2C4D5E604}");
constexpr IID kDiidCounterEventsOld = MakeGuid("{7C3A1E50-5D2B-4A61-9E0F-31B2C4D5E605}");
constexpr CLSID kClsidCounter = MakeGuid("{7C3A1E50-5D2B-4A61-9E0F-31B2C4D5E606}");
constexpr IID kIidPlain = MakeGuid("{7C3A1E50-5D2B-4A61-9E0F-31B2C4D5E607}");
constexpr IID kDiidPlainEvents = MakeGuid("{7C3A1E50-5D2B-4A61-9E0F-31B2C4D5E608}");
constexpr CLSID kClsidPlain = MakeGuid("{7C3A1E50-5D2B-4A61-9E0F-31B2C4D5E609}");

// _Counter
enum CounterId : DISPID {
  kCaption = 1,   // BSTR; by-reference setter that trims the caller's text and writes it back
  kValue = 2,     // Long; notifies "Value"
  kBump = 3,      // Bump(ByRef amount As Long) As Long: adds, doubles the caller's amount, returns the sum
  kFail = 4,      // Fail(): raises error 5 "Counter refuses"
  kUnloadMe = 5,  // raises Changed (its handler may unload the control) and then reads its own state
  kUserMode = 6,  // the ambient UserMode the control sees
  kExtName = 7,   // its extender's Name
  kInits = 8,     // "I" for Initialize, "N" for InitProperties, "R" for ReadProperties (in order)
  kAmbient = 9,   // AmbientValue(name As String): the ambient property as UserControl.Ambient reads it;
                  // the Font as "Name,Size,Bold,Italic,Underline,Strikethrough" (flags 0 or 1),
                  // FontObject the font object itself
};
// __Counter events: Changed(ByRef value As Long, ByRef Cancel As Boolean), Clicked().
constexpr DISPID kChanged = 1;
constexpr DISPID kClicked = 2;

// _Plain (no forms runtime): Log (BSTR, the container calls in order), Level (Long, persisted).
enum PlainId : DISPID { kLog = 1, kLevel = 2, kPing = 3 };
constexpr DISPID kPinged = 1;  // Pinged(ByRef text As String)
}  // namespace testcontrols
