// Class creation: platform classes of this process first, then in-process servers named by the
// registry (HKCR\CLSID\{...}\InprocServer32), loaded with dlopen.
#include "com/com.h"

#include <dlfcn.h>

#include <cstdlib>
#include <map>
#include <mutex>

#include "com/interfaces.h"
#include "com/library.h"
#include "com/object.h"
#include "core/error.h"
#include "registry/registry.h"

namespace {

using GetClassObjectFn = HRESULT (*)(REFCLSID, REFIID, void**);
using CanUnloadNowFn = HRESULT (*)();

struct PlatformClass {
  std::string progId;
  PlatformClassCreator creator;
};

struct LoadedLibrary {
  void* handle = nullptr;
  GetClassObjectFn getClassObject = nullptr;
  CanUnloadNowFn canUnloadNow = nullptr;
};

struct Runtime {
  std::recursive_mutex mutex;
  std::map<CLSID, PlatformClass> classes;
  std::map<std::string, CLSID> progIds;  // upper-cased ProgIDs of platform classes
  std::map<std::string, LoadedLibrary> libraries;  // by path
};

Runtime& State() {
  static Runtime* runtime = new Runtime;  // used until the very end of the process
  return *runtime;
}

std::string Upper(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  return s;
}

// "Lib.Class.1" -> "Lib.Class"; a ProgID without a version number has no other form.
std::string VersionIndependent(const std::string& progId) {
  size_t dot = progId.find_last_of('.');
  if (dot == std::string::npos || dot + 1 == progId.size() || progId.find('.') == dot) return {};
  for (size_t i = dot + 1; i < progId.size(); ++i)
    if (progId[i] < '0' || progId[i] > '9') return {};
  return progId.substr(0, dot);
}

class ClassFactory final : public ComObject<IClassFactory> {
 public:
  ClassFactory(PlatformClassCreator creator, std::function<void(bool)> serverLock)
      : creator_(std::move(creator)), serverLock_(std::move(serverLock)) {
    if (serverLock_) serverLock_(true);
  }
  ~ClassFactory() override {
    if (serverLock_) serverLock_(false);
  }
  HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    try {
      return creator_(outer, riid, ppv);
    } catch (...) {
      return HResultFromCurrentException();
    }
  }
  HRESULT LockServer(bool lock) override {
    if (serverLock_) serverLock_(lock);
    return S_OK;
  }

 private:
  PlatformClassCreator creator_;
  std::function<void(bool)> serverLock_;
};

HRESULT LoadLibraryOf(const std::string& clsidText, LoadedLibrary* out) {
  auto path = registry::ReadString(HKEY_CLASSES_ROOT, "CLSID\\" + clsidText + "\\InprocServer32");
  if (!path || path->empty()) {
    if (registry::KeyExists(HKEY_CLASSES_ROOT, "CLSID\\" + clsidText))
      return ReportError(REGDB_E_CLASSNOTREG, "The class " + clsidText + " has no in-process server registered");
    return ReportError(REGDB_E_CLASSNOTREG, "Class not registered: " + clsidText);
  }
  auto& s = State();
  std::lock_guard lock(s.mutex);
  auto it = s.libraries.find(*path);
  if (it != s.libraries.end()) {
    *out = it->second;
    return S_OK;
  }
  HRESULT failure = S_OK;
  std::string why;
  void* handle = OpenLibraryChecked(*path, &failure, &why);
  if (!handle) {
    return ReportError(failure, "Can't load the library " + *path + " of the class " + clsidText + ": " + why);
  }
  LoadedLibrary lib;
  lib.handle = handle;
  lib.getClassObject = reinterpret_cast<GetClassObjectFn>(dlsym(handle, "DllGetClassObject"));
  lib.canUnloadNow = reinterpret_cast<CanUnloadNowFn>(dlsym(handle, "DllCanUnloadNow"));
  if (!lib.getClassObject) {
    dlclose(handle);
    return ReportError(CO_E_ERRORINDLL, "The library " + *path + " of the class " + clsidText +
                                            " does not export DllGetClassObject");
  }
  s.libraries[*path] = lib;
  *out = lib;
  return S_OK;
}

}  // namespace

HRESULT CoInitialize(void*) {
  thread_local int depth = 0;
  return depth++ == 0 ? S_OK : S_FALSE;
}

void CoUninitialize() {}

void RegisterPlatformClass(REFCLSID clsid, const std::string& progId, PlatformClassCreator creator) {
  auto& s = State();
  std::lock_guard lock(s.mutex);
  s.classes[clsid] = PlatformClass{progId, std::move(creator)};
  if (!progId.empty()) {
    s.progIds[Upper(progId)] = clsid;
    std::string independent = VersionIndependent(progId);
    if (!independent.empty()) s.progIds[Upper(independent)] = clsid;
  }
}

HRESULT CoGetClassObject(REFCLSID clsid, DWORD context, void*, REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  {
    auto& s = State();
    std::lock_guard lock(s.mutex);
    auto it = s.classes.find(clsid);
    if (it != s.classes.end()) {
      try {
        // Platform classes are never unloaded: their class objects hold no lock.
        return MakeClassFactory(it->second.creator)->QueryInterface(riid, ppv);
      } catch (...) {
        return HResultFromCurrentException();
      }
    }
  }
  if (!(context & CLSCTX_INPROC_SERVER))
    return ReportError(REGDB_E_CLASSNOTREG, "Only in-process servers are available: " + GuidToString(clsid));
  // Held until the library has handed out its class object (which keeps it loaded): otherwise
  // CoFreeUnusedLibraries on another thread could unload it between the loading and the call.
  auto& s = State();
  std::lock_guard lock(s.mutex);
  LoadedLibrary lib;
  HRESULT hr = LoadLibraryOf(GuidToString(clsid), &lib);
  if (FAILED(hr)) return hr;
  try {
    hr = lib.getClassObject(clsid, riid, ppv);
  } catch (...) {
    return HResultFromCurrentException();
  }
  if (FAILED(hr) && hr == CLASS_E_CLASSNOTAVAILABLE)
    return ReportError(hr, "The library registered for " + GuidToString(clsid) + " does not serve that class");
  return hr;
}

HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  // Aggregation: the outer object must ask for IUnknown.
  if (outer && riid != IID_IUnknown)
    return ReportError(E_INVALIDARG, "An aggregating object must ask " + GuidToString(clsid) + " for IUnknown");
  ComPtr<IClassFactory> factory;
  HRESULT hr = CoGetClassObject(clsid, context, nullptr, IClassFactory::iid, factory.put_void());
  if (FAILED(hr)) return hr;
  SetErrorInfo(0, nullptr);  // what the class leaves is the class's own explanation
  hr = factory->CreateInstance(outer, riid, ppv);
  if (FAILED(hr)) {
    ComPtr<IErrorInfo> left;
    if (GetErrorInfo(0, left.put()) == S_OK) {
      SetErrorInfo(0, left.Get());  // the class's own explanation stands
    } else if (hr == CLASS_E_NOAGGREGATION) {
      ReportError(hr, "The class " + GuidToString(clsid) + " cannot be aggregated");
    } else if (hr == E_NOINTERFACE) {
      ReportError(hr, "The class " + GuidToString(clsid) + " does not support the interface " + GuidToString(riid));
    }
  }
  return hr;
}

HRESULT CLSIDFromString(const std::string& text, CLSID* clsid) {
  if (!clsid) return E_POINTER;
  if (!text.empty() && text.front() == '{') {
    auto g = GuidFromString(text);
    if (!g) return ReportError(CO_E_CLASSSTRING, "Invalid class string: " + text);
    *clsid = *g;
    return S_OK;
  }
  return CLSIDFromProgID(text, clsid);
}

HRESULT CLSIDFromProgID(const std::string& progId, CLSID* clsid) {
  if (!clsid) return E_POINTER;
  *clsid = GUID_NULL;
  if (!progId.empty() && progId.front() == '{') return CLSIDFromString(progId, clsid);
  {
    auto& s = State();
    std::lock_guard lock(s.mutex);
    auto it = s.progIds.find(Upper(progId));
    if (it != s.progIds.end()) {
      *clsid = it->second;
      return S_OK;
    }
  }
  if (!progId.empty() && progId.find('\\') == std::string::npos) {
    auto text = registry::ReadString(HKEY_CLASSES_ROOT, progId + "\\CLSID");
    if (!text) {
      // A version-independent ProgID may name only its current version.
      if (auto current = registry::ReadString(HKEY_CLASSES_ROOT, progId + "\\CurVer"); current && *current != progId)
        text = registry::ReadString(HKEY_CLASSES_ROOT, *current + "\\CLSID");
    }
    if (text) {
      if (auto g = GuidFromString(*text)) {
        *clsid = *g;
        return S_OK;
      }
      return ReportError(CO_E_CLASSSTRING, "The ProgID " + progId + " names an invalid class identifier " + *text);
    }
  }
  return ReportError(CO_E_CLASSSTRING, "Invalid class string: " + progId + " is not registered");
}

HRESULT ProgIDFromCLSID(REFCLSID clsid, std::string* progId) {
  if (!progId) return E_POINTER;
  {
    auto& s = State();
    std::lock_guard lock(s.mutex);
    auto it = s.classes.find(clsid);
    if (it != s.classes.end() && !it->second.progId.empty()) {
      *progId = it->second.progId;
      return S_OK;
    }
  }
  if (auto text = registry::ReadString(HKEY_CLASSES_ROOT, "CLSID\\" + GuidToString(clsid) + "\\ProgID")) {
    *progId = *text;
    return S_OK;
  }
  return REGDB_E_CLASSNOTREG;
}

void CoFreeUnusedLibraries() {
  auto& s = State();
  std::lock_guard lock(s.mutex);
  for (auto it = s.libraries.begin(); it != s.libraries.end();) {
    const LoadedLibrary& lib = it->second;
    if (lib.canUnloadNow && lib.canUnloadNow() == S_OK) {
      dlclose(lib.handle);
      it = s.libraries.erase(it);
    } else {
      ++it;
    }
  }
}

bool IsLibraryLoaded(const std::string& path) {
  auto& s = State();
  std::lock_guard lock(s.mutex);
  return s.libraries.count(path) != 0;
}

ComPtr<IClassFactory> MakeClassFactory(PlatformClassCreator creator, std::function<void(bool)> serverLock) {
  return MakeComObject<ClassFactory>(std::move(creator), std::move(serverLock));
}

void* CoTaskMemAlloc(size_t size) { return std::malloc(size ? size : 1); }
void* CoTaskMemRealloc(void* p, size_t size) { return std::realloc(p, size ? size : 1); }
void CoTaskMemFree(void* p) { std::free(p); }

HRESULT CreateObjectByName(const std::string& progIdOrClsid, REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  CLSID clsid;
  HRESULT hr = CLSIDFromString(progIdOrClsid, &clsid);
  if (FAILED(hr)) return hr;
  return CoCreateInstance(clsid, nullptr, CLSCTX_ALL, riid, ppv);
}

void RaiseCantCreate(const std::string& name, HRESULT) {
  // The runtime's own text; the reason stays in the thread's error object for who wants it.
  Raise(vbErrCantCreateObject, {}, name);
}
