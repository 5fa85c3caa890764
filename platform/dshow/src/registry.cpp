// The filter registry and the graph manager's class registration.
#include <mutex>

#include "com/com.h"
#include "graph.h"

namespace dshow {

namespace {
std::mutex gLock;
std::vector<FilterTemplate>& Templates() {
  static std::vector<FilterTemplate> templates;
  return templates;
}
std::once_flag gSystemOnce;

void EnsureSystemFilters() {
  std::call_once(gSystemOnce, [] {
    RegisterSourceFilters();
    RegisterDecoderFilters();
    RegisterMuxFilters();
    RegisterRendererFilters();
    RegisterTeeFilters();
  });
}
}  // namespace

void RegisterFilter(FilterTemplate t) {
  EnsureSystemFilters();
  std::lock_guard lock(gLock);
  for (auto& existing : Templates())
    if (existing.clsid == t.clsid && existing.name == t.name) {
      existing = std::move(t);
      return;
    }
  Templates().push_back(std::move(t));
}

std::vector<FilterTemplate> RegisteredFilters() {
  EnsureSystemFilters();
  std::lock_guard lock(gLock);
  return Templates();
}

HRESULT CreateRegisteredFilter(REFCLSID clsid, IBaseFilter** filter) {
  if (!filter) return E_POINTER;
  for (auto& t : RegisteredFilters())
    if (t.clsid == clsid) return t.create(filter);
  return VFW_E_NOT_FOUND;
}

// Called by the system filter modules during EnsureSystemFilters (no recursion into it).
void AddSystemTemplate(FilterTemplate t) {
  std::lock_guard lock(gLock);
  Templates().push_back(std::move(t));
}

void RegisterGraphClasses() {
  static std::once_flag once;
  std::call_once(once, [] {
    auto createGraph = [](IUnknown* outer, REFIID riid, void** ppv) -> HRESULT {
      if (outer) return CLASS_E_NOAGGREGATION;
      auto graph = MakeComObject<FilterGraph>();
      return graph->QueryInterface(riid, ppv);
    };
    // By its class name and by the type library's "library.class" name.
    RegisterPlatformClass(CLSID_FilterGraph, "FilgraphManager", createGraph);
    RegisterPlatformClass(CLSID_FilterGraph, "FilterGraphAutomation.FilgraphManager.1", createGraph);
    for (auto& t : RegisteredFilters()) {
      FilterTemplate copy = t;
      RegisterPlatformClass(t.clsid, "", [copy](IUnknown* outer, REFIID riid, void** ppv) -> HRESULT {
        if (outer) return CLASS_E_NOAGGREGATION;
        ComPtr<IBaseFilter> f;
        HRESULT hr = copy.create(f.put());
        if (FAILED(hr)) return hr;
        return f->QueryInterface(riid, ppv);
      });
    }
  });
}

namespace {
// Registers the graph classes when the library is loaded.
struct AutoRegister {
  AutoRegister() { RegisterGraphClasses(); }
} gAutoRegister;
}  // namespace

}  // namespace dshow
