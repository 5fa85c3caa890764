// In-process servers: class objects, the unload rule and self-registration.
#include "com/server.h"

#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>

#include "com/interfaces.h"
#include "registry/registry.h"

namespace {

std::string ModuleOf(const void* anchor) {
  Dl_info info{};
  if (!dladdr(anchor, &info) || !info.dli_fname) return {};
  char resolved[PATH_MAX];
  if (realpath(info.dli_fname, resolved)) return resolved;
  return info.dli_fname;
}

bool Write(const std::string& path, const std::string& name, const std::string& value) {
  return registry::WriteString(HKEY_CLASSES_ROOT, path, name, value);
}

bool WriteProgId(const std::string& progId, const ClassRegistration& c, const std::string& clsid,
                 const std::string& curVer) {
  if (progId.empty()) return true;
  bool ok = Write(progId, "", c.description) && Write(progId + "\\CLSID", "", clsid);
  if (ok && !curVer.empty()) ok = Write(progId + "\\CurVer", "", curVer);
  return ok;
}

}  // namespace

ComServer::ComServer(const void* anchor, std::optional<TypeLibDesc> typeLib, std::vector<ServerClass> classes)
    : modulePath_(ModuleOf(anchor)), typeLib_(std::move(typeLib)), classes_(std::move(classes)) {
  if (typeLib_) PublishTypeLib(*typeLib_);
}

ComServer::~ComServer() = default;

HRESULT ComServer::GetClassObject(REFCLSID clsid, REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  for (const auto& c : classes_) {
    if (c.registration.clsid != clsid) continue;
    try {
      // The class object holds the library while it lives or is locked.
      return MakeClassFactory(c.creator, [this](bool lock) { lock ? Lock() : Unlock(); })->QueryInterface(riid, ppv);
    } catch (...) {
      return HResultFromCurrentException();
    }
  }
  return CLASS_E_CLASSNOTAVAILABLE;
}

HRESULT ComServer::CanUnloadNow() const { return locks_ == 0 ? S_OK : S_FALSE; }

HRESULT ComServer::RegisterServer() {
  if (modulePath_.empty()) return ReportError(E_UNEXPECTED, "The library cannot find its own file");
  for (const auto& entry : classes_) {
    const ClassRegistration& c = entry.registration;
    const std::string clsid = GuidToString(c.clsid);
    const std::string key = "CLSID\\" + clsid;
    bool ok = WriteProgId(c.progId, c, clsid, "") &&
              WriteProgId(c.versionIndependentProgId, c, clsid, c.progId);
    // The class key is written whole: whatever an earlier registration left goes first.
    registry::DeleteTree(HKEY_CLASSES_ROOT, key);
    ok = ok && Write(key, "", c.description);
    if (ok && !c.progId.empty()) ok = Write(key + "\\ProgID", "", c.progId);
    if (ok && !c.versionIndependentProgId.empty())
      ok = Write(key + "\\VersionIndependentProgID", "", c.versionIndependentProgId);
    if (ok && c.programmable) ok = Write(key + "\\Programmable", "", "");
    ok = ok && Write(key + "\\InprocServer32", "", modulePath_);
    if (ok && !c.threadingModel.empty()) ok = Write(key + "\\InprocServer32", "ThreadingModel", c.threadingModel);
    if (ok && typeLib_) ok = Write(key + "\\TypeLib", "", GuidToString(typeLib_->libid));
    if (ok && c.control) ok = Write(key + "\\Control", "", "");
    if (ok && c.insertable) ok = Write(key + "\\Insertable", "", "");
    if (ok && c.toolboxBitmap)
      ok = Write(key + "\\ToolboxBitmap32", "", modulePath_ + ", " + std::to_string(*c.toolboxBitmap));
    if (ok && c.miscStatus)
      ok = Write(key + "\\MiscStatus", "", "0") && Write(key + "\\MiscStatus\\1", "", std::to_string(*c.miscStatus));
    if (ok && !c.version.empty()) ok = Write(key + "\\Version", "", c.version);
    if (!ok) return ReportError(SELFREG_E_CLASS, "The class " + clsid + " could not be written to the registry");
  }
  if (typeLib_) {
    HRESULT hr = RegisterTypeLib(*typeLib_, modulePath_);
    if (FAILED(hr)) return ReportError(SELFREG_E_TYPELIB, "The type library " + typeLib_->name + " could not be registered");
  }
  return S_OK;
}

HRESULT ComServer::UnregisterServer() {
  HRESULT result = S_OK;
  for (const auto& entry : classes_) {
    const ClassRegistration& c = entry.registration;
    const std::string clsid = GuidToString(c.clsid);
    for (const std::string& progId : {c.progId, c.versionIndependentProgId}) {
      // Only a ProgID that still names this class is ours to remove.
      if (progId.empty()) continue;
      auto named = registry::ReadString(HKEY_CLASSES_ROOT, progId + "\\CLSID");
      if (named && GuidFromString(*named) == c.clsid) registry::DeleteTree(HKEY_CLASSES_ROOT, progId);
    }
    const std::string key = "CLSID\\" + clsid;
    if (registry::KeyExists(HKEY_CLASSES_ROOT, key) && !registry::DeleteTree(HKEY_CLASSES_ROOT, key))
      result = ReportError(SELFREG_E_CLASS, "The class " + clsid + " could not be removed from the registry");
  }
  if (typeLib_) {
    HRESULT hr = UnRegisterTypeLib(typeLib_->libid, typeLib_->majorVersion, typeLib_->minorVersion, typeLib_->lcid);
    if (FAILED(hr) && hr != TYPE_E_LIBNOTREGISTERED && SUCCEEDED(result)) result = SELFREG_E_TYPELIB;
  }
  return result;
}
