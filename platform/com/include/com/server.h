#pragma once
// An in-process COM server library: its classes and type description, declared once, and the
// four exports through which it is registered, asked for class objects and unloaded.
//
//   // in one source file of the library
//   SUITE_COM_SERVER(MakeTypeLibDesc(), {
//       ServerClass::Of<Probe>({CLSID_Probe, "Probe Class", "SuiteTest.Probe.1", "SuiteTest.Probe"}),
//   })
//
// DllRegisterServer writes, under HKEY_CLASSES_ROOT, for each class:
//   <ProgID>            = description, \CLSID = {clsid}
//   <VersionIndependentProgID> = description, \CLSID = {clsid}, \CurVer = <ProgID>
//   CLSID\{clsid}       = description (rewritten whole), \ProgID, \VersionIndependentProgID,
//                         \Programmable, \InprocServer32 = module path (ThreadingModel),
//                         \TypeLib = {LIBID}; for controls also \Control, \Insertable,
//                         \ToolboxBitmap32 = "<module path>, <id>", \MiscStatus = "0" with
//                         \MiscStatus\1 = <flags>, \Version = "<major.minor>"
// and the type description (RegisterTypeLib). DllUnregisterServer removes exactly these keys;
// the key CLSID itself stays.
#include <atomic>
#include <optional>
#include <string>
#include <vector>

#include "com/aggregate.h"
#include "com/com.h"
#include "com/typeinfo.h"

struct ClassRegistration {
  ClassRegistration() = default;
  ClassRegistration(REFCLSID clsid, std::string description, std::string progId,
                    std::string versionIndependentProgId)
      : clsid(clsid), description(std::move(description)), progId(std::move(progId)),
        versionIndependentProgId(std::move(versionIndependentProgId)) {}

  CLSID clsid;
  std::string description;               // default value of the keys, "StreamResize Class"
  std::string progId;                    // "Lib.Class.1"; empty for none
  std::string versionIndependentProgId;  // "Lib.Class"; empty for none
  std::string threadingModel = "Apartment";
  bool programmable = true;
  // ActiveX controls.
  bool control = false;
  bool insertable = false;
  std::optional<int> toolboxBitmap;      // resource id written as "<module>, <id>"
  std::optional<uint32_t> miscStatus;    // OLEMISC_* flags for DVASPECT_CONTENT
  std::string version;                   // "1.0"; empty for none
};

class ComServer;

// Creates an object of the class; it receives the library's lock so that the library stays
// loaded while the object lives.
using ServerCreator = PlatformClassCreator;

struct ServerClass {
  ClassRegistration registration;
  ServerCreator creator;

  // T is created plain, or aggregated when T supports it (Aggregatable = true).
  template <class T, bool Aggregatable = false>
  static ServerClass Of(ClassRegistration registration);
};

class ComServer {
 public:
  // anchor: the address of anything in the library (to find its file).
  ComServer(const void* anchor, std::optional<TypeLibDesc> typeLib, std::vector<ServerClass> classes);
  ComServer(const ComServer&) = delete;
  ComServer& operator=(const ComServer&) = delete;
  ~ComServer();

  HRESULT GetClassObject(REFCLSID clsid, REFIID riid, void** ppv);
  HRESULT CanUnloadNow() const;
  HRESULT RegisterServer();
  HRESULT UnregisterServer();

  // The lock count: raised by every live object and by IClassFactory::LockServer(true).
  void Lock() { ++locks_; }
  void Unlock() { --locks_; }
  long LockCount() const { return locks_; }
  // The library file (absolute path).
  const std::string& ModulePath() const { return modulePath_; }
  const std::vector<ServerClass>& Classes() const { return classes_; }

 private:
  std::string modulePath_;
  std::optional<TypeLibDesc> typeLib_;
  std::vector<ServerClass> classes_;
  std::atomic<long> locks_{0};
};

// The server of the library being compiled (each library has its own; SUITE_COM_SERVER defines it).
__attribute__((visibility("hidden"))) ComServer& ThisComServer();

// The library's lock, held by an object of a served class T (a base of ServerObject<T>, one
// type per class so that each library's copy reaches its own server).
template <class T>
class ServerLock {
 protected:
  ServerLock() { ThisComServer().Lock(); }
  ~ServerLock() { ThisComServer().Unlock(); }
  ServerLock(const ServerLock&) = delete;
  ServerLock& operator=(const ServerLock&) = delete;
};

// An object of a served class: holds the library's lock while it lives, taken before the object
// is built and lowered only after its teardown (the lock is its first base), so that
// DllCanUnloadNow never answers S_OK while the library's code still runs for it.
template <class T>
class ServerObject : private ServerLock<T>, public T {
 public:
  template <class... Args>
  explicit ServerObject(Args&&... args) : T(std::forward<Args>(args)...) {}
};

template <class T, bool Aggregatable>
ServerClass ServerClass::Of(ClassRegistration registration) {
  ServerClass c;
  c.registration = std::move(registration);
  c.creator = [](IUnknown* outer, REFIID riid, void** ppv) -> HRESULT {
    if constexpr (Aggregatable) {
      return CreateAggregatable<ServerObject<T>>(outer, riid, ppv);
    } else {
      return CreatePlain<ServerObject<T>>(outer, riid, ppv);
    }
  };
  return c;
}

// Defines the library's server and its four exports: DllGetClassObject, DllCanUnloadNow,
// DllRegisterServer and DllUnregisterServer.
#define SUITE_COM_SERVER(typeLib, ...)                                                         \
  __attribute__((visibility("hidden"))) ComServer& ThisComServer() {                           \
    static ComServer server(reinterpret_cast<const void*>(&ThisComServer), typeLib,            \
                            std::vector<ServerClass> __VA_ARGS__);                             \
    return server;                                                                             \
  }                                                                                            \
  namespace {                                                                                  \
  /* Publishes the type description as soon as the library is loaded. */                       \
  [[maybe_unused]] const bool suite_com_server_loaded = (ThisComServer(), true);               \
  }                                                                                            \
  extern "C" __attribute__((visibility("default"))) HRESULT DllGetClassObject(                 \
      REFCLSID clsid, REFIID riid, void** ppv) {                                               \
    return ThisComServer().GetClassObject(clsid, riid, ppv);                                   \
  }                                                                                            \
  extern "C" __attribute__((visibility("default"))) HRESULT DllCanUnloadNow() {                \
    return ThisComServer().CanUnloadNow();                                                     \
  }                                                                                            \
  extern "C" __attribute__((visibility("default"))) HRESULT DllRegisterServer() {              \
    return ThisComServer().RegisterServer();                                                   \
  }                                                                                            \
  extern "C" __attribute__((visibility("default"))) HRESULT DllUnregisterServer() {            \
    return ThisComServer().UnregisterServer();                                                 \
  }
