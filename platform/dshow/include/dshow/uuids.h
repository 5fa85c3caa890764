#pragma once
// Class identifiers of the filter graph manager, the system filters and the device categories.
#include "core/guid.h"

constexpr CLSID CLSID_FilterGraph = MakeGuid("{E436EBB3-524F-11CE-9F53-0020AF0BA770}");
constexpr CLSID CLSID_FilgraphManager = CLSID_FilterGraph;
constexpr CLSID CLSID_AsyncReader = MakeGuid("{E436EBB5-524F-11CE-9F53-0020AF0BA770}");
constexpr CLSID CLSID_AviSplitter = MakeGuid("{1B544C20-FD0B-11CE-8C63-00AA0044B51E}");
constexpr CLSID CLSID_MPEG1Splitter = MakeGuid("{336475D0-942A-11CE-A870-00AA002FEAB5}");
constexpr CLSID CLSID_WAVEParser = MakeGuid("{D51BD5A1-7548-11CF-A520-0080C77EF58A}");
constexpr CLSID CLSID_AviDest = MakeGuid("{E2510970-F137-11CE-8B67-00AA00A3F1A6}");  // "AVI Mux"
constexpr CLSID CLSID_FileWriter = MakeGuid("{8596E5F0-0DA5-11D0-BD21-00A0C911CE86}");
constexpr CLSID CLSID_InfTee = MakeGuid("{F8388A40-D5BB-11D0-BE5A-0080C706568E}");
constexpr CLSID CLSID_VideoRenderer = MakeGuid("{70E102B0-5556-11CE-97C0-00AA0055595A}");
constexpr CLSID CLSID_AudioRender = MakeGuid("{79376820-07D0-11CF-A24D-0020AFD79767}");
constexpr CLSID CLSID_NullRenderer = MakeGuid("{C1F400A4-3F08-11D3-9F0B-006008039E37}");
constexpr CLSID CLSID_Colour = MakeGuid("{1643E180-90F5-11CE-97D5-00AA0055595A}");
constexpr CLSID CLSID_ACMWrapper = MakeGuid("{6A08CF80-0E18-11CF-A24D-0020AFD79767}");

constexpr CLSID CLSID_SystemDeviceEnum = MakeGuid("{62BE5D10-60EB-11D0-BD3B-00A0C911CE86}");
constexpr CLSID CLSID_VideoCompressorCategory = MakeGuid("{33D9A760-90C8-11D0-BD43-00A0C911CE86}");
constexpr CLSID CLSID_AudioCompressorCategory = MakeGuid("{33D9A761-90C8-11D0-BD43-00A0C911CE86}");
constexpr CLSID CLSID_LegacyAmFilterCategory = MakeGuid("{083863F1-70DE-11D0-BD40-00A0C911CE86}");
constexpr CLSID CLSID_VideoInputDeviceCategory = MakeGuid("{860BB310-5D01-11D0-BD3B-00A0C911CE86}");
constexpr CLSID CLSID_AudioInputDeviceCategory = MakeGuid("{33D9A762-90C8-11D0-BD43-00A0C911CE86}");
constexpr CLSID CLSID_AudioRendererCategory = MakeGuid("{E0F158E1-CB04-11D0-BD4E-00A0C911CE86}");

namespace dshow {
void RegisterGraphClasses();
}  // namespace dshow
// A program that names these classes links the filter graph library and finds its classes
// registered with the COM runtime (CoCreateInstance of CLSID_FilterGraph and the system filters).
inline const bool kFilterGraphClassesRegistered = (dshow::RegisterGraphClasses(), true);
