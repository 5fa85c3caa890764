#pragma once
// The platform's filter registry: every filter a graph can create by name or by intelligent
// connection is registered here (the system filters register themselves; compressors and other
// filters of the platform add theirs with RegisterFilter).
#include <functional>
#include <string>
#include <vector>

#include "dshow/interfaces.h"

namespace dshow {

// Merit: the higher, the earlier intelligent connection tries a filter.
constexpr uint32_t MERIT_PREFERRED = 0x800000;
constexpr uint32_t MERIT_NORMAL = 0x600000;
constexpr uint32_t MERIT_UNLIKELY = 0x400000;
constexpr uint32_t MERIT_DO_NOT_USE = 0x200000;

struct FilterTemplate {
  std::u16string name;  // the registered (friendly) name
  CLSID clsid;
  CLSID category;       // CLSID_LegacyAmFilterCategory, a compressor category, ...
  uint32_t merit = MERIT_DO_NOT_USE;
  // Input types (major type, subtype; GUID_NULL matches anything) intelligent connection looks at.
  std::vector<std::pair<GUID, GUID>> inputs;
  bool hasOutputs = true;
  // Used by intelligent connection (Connect, Render, RenderFile) when the merit allows.
  bool autoConnect = true;
  std::function<HRESULT(IBaseFilter**)> create;
};

void RegisterFilter(FilterTemplate t);
// Every registered filter, in registration order.
std::vector<FilterTemplate> RegisteredFilters();
// Creates a registered filter by class identifier (VFW_E_NOT_FOUND when none).
HRESULT CreateRegisteredFilter(REFCLSID clsid, IBaseFilter** filter);

// Makes the graph manager's class (FilgraphManager) creatable through CoCreateInstance.
void RegisterGraphClasses();

}  // namespace dshow
