#pragma once
// The COM runtime: class creation through the registry, in-process classes of the platform,
// the task allocator, and the class factory interface.
#include <functional>
#include <string>

#include "core/unknown.h"
#include "core/variant.h"

constexpr DWORD CLSCTX_INPROC_SERVER = 0x1;
constexpr DWORD CLSCTX_INPROC_HANDLER = 0x2;
constexpr DWORD CLSCTX_LOCAL_SERVER = 0x4;
constexpr DWORD CLSCTX_ALL = 0x17;
constexpr DWORD CLSCTX_INPROC = 0x3;

class IClassFactory : public IUnknown {
 public:
  static constexpr IID iid = MakeGuid("{00000001-0000-0000-C000-000000000046}");
  virtual HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** ppv) = 0;
  virtual HRESULT LockServer(bool lock) = 0;
};

HRESULT CoInitialize(void* reserved = nullptr);
void CoUninitialize();

// Creates an object by class identifier: a class of the platform registered with
// RegisterPlatformClass, or a library named by HKCR\CLSID\{...}\InprocServer32 (loaded with
// dlopen and asked through its exported DllGetClassObject).
HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID riid, void** ppv);
HRESULT CoGetClassObject(REFCLSID clsid, DWORD context, void* reserved, REFIID riid, void** ppv);
// ProgID ("Library.Class" or "Library.Class.1") or "{...}" text to class identifier.
HRESULT CLSIDFromProgID(const std::string& progId, CLSID* clsid);
HRESULT CLSIDFromString(const std::string& text, CLSID* clsid);
HRESULT ProgIDFromCLSID(REFCLSID clsid, std::string* progId);
// Unloads libraries whose DllCanUnloadNow answers S_OK.
void CoFreeUnusedLibraries();
// Whether the in-process server at that path is loaded by class creation.
bool IsLibraryLoaded(const std::string& path);

// Typed convenience: creates by ProgID or "{...}" text; raises error 429 ("ActiveX component can't
// create object", the name as its source) when the class cannot be created; the reason is left
// in the thread's error object (GetErrorInfo).
template <class T>
ComPtr<T> CreateObject(const std::string& progIdOrClsid);

// A class of the platform itself (media objects and the like): created through CoCreateInstance
// like any other, without a library file. The creator receives the outer unknown (may be null).
using PlatformClassCreator = std::function<HRESULT(IUnknown* outer, REFIID riid, void** ppv)>;
void RegisterPlatformClass(REFCLSID clsid, const std::string& progId, PlatformClassCreator creator);

// A class object over a creator. serverLock, when given, is called with true when the class
// object comes to life and on LockServer(true), with false when it ends and on LockServer(false).
ComPtr<IClassFactory> MakeClassFactory(PlatformClassCreator creator, std::function<void(bool)> serverLock = {});

// Task allocator.
void* CoTaskMemAlloc(size_t size);
void* CoTaskMemRealloc(void* p, size_t size);
void CoTaskMemFree(void* p);

// Implemented in com.cpp; declared here so CreateObject can be a template.
HRESULT CreateObjectByName(const std::string& progIdOrClsid, REFIID riid, void** ppv);
// Raises error 429 "ActiveX component can't create object" for a class that could not be created;
// hr is the creation's failure, whose explanation stays in the thread's error object.
[[noreturn]] void RaiseCantCreate(const std::string& name, HRESULT hr);

template <class T>
ComPtr<T> CreateObject(const std::string& progIdOrClsid) {
  ComPtr<T> p;
  HRESULT hr = CreateObjectByName(progIdOrClsid, IidOf<T>(), p.put_void());
  if (FAILED(hr)) RaiseCantCreate(progIdOrClsid, hr);
  return p;
}
