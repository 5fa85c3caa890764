// Type descriptions: the published table of this process, ITypeLib/ITypeInfo over them, and
// their records in the registry.
#include "com/typeinfo.h"

#include <dlfcn.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <mutex>

#include "com/interfaces.h"
#include "com/library.h"
#include "com/object.h"
#include "registry/registry.h"

// ---- Declaration shorthands --------------------------------------------------------------------

namespace desc {

ParamDesc In(std::string name, VARTYPE vt) { return ParamDesc{std::move(name), vt, PARAMFLAG_FIN, {}}; }
ParamDesc InOut(std::string name, VARTYPE vt) {
  return ParamDesc{std::move(name), static_cast<VARTYPE>(vt | VT_BYREF), PARAMFLAG_FIN | PARAMFLAG_FOUT, {}};
}
ParamDesc Out(std::string name, VARTYPE vt) {
  return ParamDesc{std::move(name), static_cast<VARTYPE>(vt | VT_BYREF), PARAMFLAG_FOUT, {}};
}
ParamDesc Optional(std::string name, VARTYPE vt) {
  return ParamDesc{std::move(name), vt, PARAMFLAG_FIN | PARAMFLAG_FOPT, {}};
}
ParamDesc OptionalWithDefault(std::string name, VARTYPE vt, Variant defaultValue) {
  return ParamDesc{std::move(name), vt, PARAMFLAG_FIN | PARAMFLAG_FOPT | PARAMFLAG_FHASDEFAULT,
                   std::move(defaultValue)};
}
ParamDesc Retval(VARTYPE vt, std::string name) {
  return ParamDesc{std::move(name), static_cast<VARTYPE>(vt | VT_BYREF), PARAMFLAG_FOUT | PARAMFLAG_FRETVAL, {}};
}

namespace {
MemberDesc Member(std::string name, DISPID id, INVOKEKIND kind, std::vector<ParamDesc> params, std::string help) {
  MemberDesc m;
  m.name = std::move(name);
  m.id = id;
  m.kind = kind;
  m.params = std::move(params);
  m.helpString = std::move(help);
  return m;
}
TypeDesc Type(TYPEKIND kind, REFGUID guid, std::string name, std::string help, uint16_t flags) {
  TypeDesc t;
  t.kind = kind;
  t.guid = guid;
  t.name = std::move(name);
  t.helpString = std::move(help);
  t.flags = flags;
  return t;
}
}  // namespace

MemberDesc Method(std::string name, DISPID id, std::vector<ParamDesc> params, std::string help) {
  return Member(std::move(name), id, INVOKE_FUNC, std::move(params), std::move(help));
}
MemberDesc PropertyGet(std::string name, DISPID id, VARTYPE vt, std::string help) {
  return Member(std::move(name), id, INVOKE_PROPERTYGET, {Retval(vt)}, std::move(help));
}
MemberDesc PropertyPut(std::string name, DISPID id, VARTYPE vt, std::string help) {
  ParamDesc value = (vt & VT_BYREF) ? InOut("newValue", static_cast<VARTYPE>(vt & ~VT_BYREF)) : In("newValue", vt);
  return Member(std::move(name), id, INVOKE_PROPERTYPUT, {value}, std::move(help));
}
MemberDesc PropertyPutRef(std::string name, DISPID id, VARTYPE vt, std::string help) {
  MemberDesc m = PropertyPut(std::move(name), id, vt, std::move(help));
  m.kind = INVOKE_PROPERTYPUTREF;
  return m;
}

TypeDesc DualInterface(REFIID iid, std::string name, std::vector<MemberDesc> members, std::string help,
                       uint16_t flags) {
  TypeDesc t = Type(TKIND_INTERFACE, iid, std::move(name), std::move(help),
                    static_cast<uint16_t>(flags | TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION));
  t.members = std::move(members);
  return t;
}
TypeDesc DispInterface(REFIID iid, std::string name, std::vector<MemberDesc> members, std::string help,
                       uint16_t flags) {
  TypeDesc t = Type(TKIND_DISPATCH, iid, std::move(name), std::move(help), flags);
  t.members = std::move(members);
  return t;
}
TypeDesc Enumeration(REFGUID guid, std::string name, std::vector<EnumValue> values, std::string help,
                     uint16_t flags) {
  TypeDesc t = Type(TKIND_ENUM, guid, std::move(name), std::move(help), flags);
  t.values = std::move(values);
  return t;
}
TypeDesc CoClass(REFCLSID clsid, std::string name, std::vector<ImplType> implTypes, std::string help,
                 uint16_t flags) {
  TypeDesc t = Type(TKIND_COCLASS, clsid, std::move(name), std::move(help), flags);
  t.implTypes = std::move(implTypes);
  return t;
}

TypeDesc ControlClass(REFCLSID clsid, std::string name, std::vector<ImplType> implTypes, std::string help) {
  return CoClass(clsid, std::move(name), std::move(implTypes), std::move(help),
                 TYPEFLAG_FCANCREATE | TYPEFLAG_FCONTROL);
}

TypeDesc Alias(REFGUID guid, std::string name, VARTYPE aliasOf, std::string help, uint16_t flags) {
  TypeDesc t = Type(TKIND_ALIAS, guid, std::move(name), std::move(help), flags);
  t.aliasOf = aliasOf;
  return t;
}

TypeDesc Alias(REFGUID guid, std::string name, REFGUID aliasType, std::string help, uint16_t flags) {
  TypeDesc t = Type(TKIND_ALIAS, guid, std::move(name), std::move(help), flags);
  t.aliasOf = VT_USERDEFINED;
  t.aliasType = aliasType;
  return t;
}

TypeDesc HiddenCopy(const TypeDesc& of, REFIID iid, std::string name) {
  TypeDesc t = of;
  t.guid = iid;
  t.name = std::move(name);
  t.flags = static_cast<uint16_t>(t.flags | TYPEFLAG_FHIDDEN);
  return t;
}

MemberDesc OfType(MemberDesc member, REFGUID userType) {
  if (!member.params.empty()) member.params.back().userType = userType;
  return member;
}

}  // namespace desc

namespace {
// The standard OLE types, published once in every process that asks for them.
std::shared_ptr<const TypeLibDesc> StandardOleTypes() {
  static const std::shared_ptr<const TypeLibDesc> lib = [] {
    TypeLibDesc d;
    d.libid = kLibStdOle;
    d.name = "stdole";
    d.majorVersion = 2;
    d.minorVersion = 0;
    d.helpString = "OLE Automation";
    d.types = {desc::Alias(kTypeOleColor, "OLE_COLOR", VT_I4),
               desc::Alias(kTypeVariantBool, "VARIANT_BOOL", VT_BOOL),
               desc::DispInterface(kTypePictureDisp, "Picture", {})};
    PublishTypeLib(d);
    return std::make_shared<const TypeLibDesc>(d);
  }();
  return lib;
}
}  // namespace

HRESULT GetRefTypeInfo(ITypeInfo* from, REFGUID type, ITypeInfo** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (from) {
    ComPtr<ITypeLib> lib;
    uint32_t index = 0;
    if (SUCCEEDED(from->GetContainingTypeLib(lib.put(), &index)) && lib &&
        SUCCEEDED(lib->GetTypeInfoOfGuid(type, out)))
      return S_OK;
  }
  return MakeTypeLib(StandardOleTypes())->GetTypeInfoOfGuid(type, out);
}

VARTYPE MemberDesc::ResultType() const {
  if (!params.empty() && params.back().IsRetval()) return params.back().BaseType();
  return VT_EMPTY;
}

size_t MemberDesc::ArgumentCount() const {
  return (!params.empty() && params.back().IsRetval()) ? params.size() - 1 : params.size();
}

namespace {
IID ImplWith(const TypeDesc& t, int32_t flags) {
  for (const auto& i : t.implTypes)
    if ((i.flags & (IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE)) == flags) return i.iid;
  // Without an explicit default, the first interface of the kind is the default.
  for (const auto& i : t.implTypes)
    if ((i.flags & IMPLTYPEFLAG_FSOURCE) == (flags & IMPLTYPEFLAG_FSOURCE)) return i.iid;
  return IID_NULL;
}
}  // namespace

IID TypeDesc::DefaultInterface() const { return ImplWith(*this, IMPLTYPEFLAG_FDEFAULT); }
IID TypeDesc::DefaultSource() const { return ImplWith(*this, IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE); }

std::vector<const MemberDesc*> TypeDesc::MembersWithId(DISPID id) const {
  std::vector<const MemberDesc*> out;
  for (const auto& m : members)
    if (m.id == id) out.push_back(&m);
  return out;
}

bool SameName(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  auto fold = [](char16_t c) -> char16_t {
    if ((c >= u'A' && c <= u'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7)) return static_cast<char16_t>(c + 32);
    return c;
  };
  for (size_t i = 0; i < a.size(); ++i)
    if (fold(a[i]) != fold(b[i])) return false;
  return true;
}

const TypeDesc* TypeLibDesc::Find(REFGUID guid) const {
  for (const auto& t : types)
    if (t.guid == guid && guid != GUID_NULL) return &t;
  return nullptr;
}

const TypeDesc* TypeLibDesc::FindByName(const std::string& n) const {
  std::u16string wanted = Utf8ToUtf16(n);
  for (const auto& t : types)
    if (SameName(Utf8ToUtf16(t.name), wanted)) return &t;
  return nullptr;
}

// ---- The published descriptions -----------------------------------------------------------------

namespace {
struct Published {
  std::mutex mutex;
  std::map<std::tuple<GUID, uint16_t, uint16_t>, std::shared_ptr<const TypeLibDesc>> libs;
};
Published& Table() {
  static Published* table = new Published;  // lives to the end of the process
  return *table;
}
}  // namespace

void PublishTypeLib(const TypeLibDesc& lib) {
  auto copy = std::make_shared<const TypeLibDesc>(lib);
  auto& t = Table();
  std::lock_guard lock(t.mutex);
  t.libs[{lib.libid, lib.majorVersion, lib.minorVersion}] = std::move(copy);
}

std::shared_ptr<const TypeLibDesc> FindPublishedTypeLib(REFGUID libid, uint16_t major, uint16_t minor) {
  auto& t = Table();
  std::lock_guard lock(t.mutex);
  std::shared_ptr<const TypeLibDesc> best;
  for (auto& [key, lib] : t.libs) {
    if (std::get<0>(key) != libid || std::get<1>(key) != major || std::get<2>(key) < minor) continue;
    if (!best || lib->minorVersion > best->minorVersion) best = lib;
  }
  return best;
}

// ---- ITypeLib and ITypeInfo ------------------------------------------------------------------------

namespace {

HRESULT GiveText(const std::string& text, Bstr* out) {
  if (out) *out = Bstr::FromUtf8(text);
  return S_OK;
}

class TypeInfo final : public ComObject<ITypeInfo> {
 public:
  TypeInfo(std::shared_ptr<const TypeLibDesc> lib, uint32_t index)
      : lib_(std::move(lib)), index_(index), type_(lib_->types[index]) {}

  HRESULT GetTypeAttr(TYPEATTR* attr) override {
    if (!attr) return E_POINTER;
    *attr = TYPEATTR{};
    attr->guid = type_.guid;
    attr->lcid = lib_->lcid;
    attr->typekind = type_.kind;
    attr->cFuncs = static_cast<uint16_t>(type_.members.size());
    attr->cVars = static_cast<uint16_t>(type_.values.size());
    attr->cImplTypes = static_cast<uint16_t>(type_.implTypes.size());
    attr->wTypeFlags = type_.flags;
    attr->wMajorVerNum = lib_->majorVersion;
    attr->wMinorVerNum = lib_->minorVersion;
    attr->wLibFlags = lib_->libFlags;
    attr->tdescAlias = type_.aliasOf;
    attr->tdescAliasType = type_.aliasType;
    return S_OK;
  }
  HRESULT GetFuncDesc(uint32_t index, const MemberDesc** out) override {
    if (!out) return E_POINTER;
    if (index >= type_.members.size()) return TYPE_E_ELEMENTNOTFOUND;
    *out = &type_.members[index];
    return S_OK;
  }
  HRESULT GetVarDesc(uint32_t index, const EnumValue** out) override {
    if (!out) return E_POINTER;
    if (index >= type_.values.size()) return TYPE_E_ELEMENTNOTFOUND;
    *out = &type_.values[index];
    return S_OK;
  }
  HRESULT GetNames(MEMBERID id, Bstr* names, uint32_t maxNames, uint32_t* count) override {
    if (!names || !count) return E_POINTER;
    auto members = type_.MembersWithId(id);
    if (members.empty()) return TYPE_E_ELEMENTNOTFOUND;
    // The get (or method) form names the parameters a caller passes.
    const MemberDesc* m = members.front();
    std::vector<std::string> all{m->name};
    for (size_t i = 0; i < m->ArgumentCount(); ++i) all.push_back(m->params[i].name);
    *count = 0;
    for (const auto& n : all) {
      if (*count >= maxNames) break;
      names[(*count)++] = Bstr::FromUtf8(n);
    }
    return S_OK;
  }
  HRESULT GetIDsOfNames(const char16_t** names, uint32_t count, MEMBERID* ids) override {
    if (!names || !ids || count == 0) return E_INVALIDARG;
    for (uint32_t i = 0; i < count; ++i) ids[i] = MEMBERID_NIL;
    const MemberDesc* found = nullptr;
    for (const auto& m : type_.members)
      if (names[0] && SameName(Utf8ToUtf16(m.name), names[0])) { found = &m; break; }
    if (!found) return DISP_E_UNKNOWNNAME;
    ids[0] = found->id;
    HRESULT hr = S_OK;
    for (uint32_t i = 1; i < count; ++i) {
      // Parameter names: the first member of that id that names it.
      bool matched = false;
      for (const MemberDesc* m : type_.MembersWithId(found->id)) {
        for (size_t p = 0; p < m->ArgumentCount() && !matched; ++p)
          if (names[i] && SameName(Utf8ToUtf16(m->params[p].name), names[i])) {
            ids[i] = static_cast<MEMBERID>(p);
            matched = true;
          }
        if (matched) break;
      }
      if (!matched) hr = DISP_E_UNKNOWNNAME;
    }
    return hr;
  }
  HRESULT GetDocumentation(MEMBERID id, Bstr* name, Bstr* doc, DWORD* helpContext, Bstr* helpFile) override {
    if (helpContext) *helpContext = 0;
    if (helpFile) *helpFile = Bstr();
    if (id == MEMBERID_NIL) {
      GiveText(type_.name, name);
      return GiveText(type_.helpString, doc);
    }
    auto members = type_.MembersWithId(id);
    if (members.empty()) return TYPE_E_ELEMENTNOTFOUND;
    std::string help;
    for (const MemberDesc* m : members)
      if (!m->helpString.empty()) { help = m->helpString; break; }
    GiveText(members.front()->name, name);
    return GiveText(help, doc);
  }
  HRESULT GetImplType(uint32_t index, ITypeInfo** out, int32_t* implTypeFlags) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (index >= type_.implTypes.size()) return TYPE_E_ELEMENTNOTFOUND;
    const ImplType& impl = type_.implTypes[index];
    if (implTypeFlags) *implTypeFlags = impl.flags;
    for (uint32_t i = 0; i < lib_->types.size(); ++i)
      if (lib_->types[i].guid == impl.iid) {
        *out = MakeComObject<TypeInfo>(lib_, i).Detach();
        return S_OK;
      }
    return TYPE_E_ELEMENTNOTFOUND;
  }
  HRESULT GetContainingTypeLib(ITypeLib** lib, uint32_t* index) override {
    if (index) *index = index_;
    if (lib) *lib = MakeTypeLib(lib_).Detach();
    return S_OK;
  }
  const TypeDesc& Description() override { return type_; }

 private:
  std::shared_ptr<const TypeLibDesc> lib_;
  uint32_t index_;
  const TypeDesc& type_;
};

class TypeLib final : public ComObject<ITypeLib> {
 public:
  explicit TypeLib(std::shared_ptr<const TypeLibDesc> lib) : lib_(std::move(lib)) {}
  uint32_t GetTypeInfoCount() override { return static_cast<uint32_t>(lib_->types.size()); }
  HRESULT GetTypeInfo(uint32_t index, ITypeInfo** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (index >= lib_->types.size()) return TYPE_E_ELEMENTNOTFOUND;
    *out = MakeComObject<TypeInfo>(lib_, index).Detach();
    return S_OK;
  }
  HRESULT GetTypeInfoType(uint32_t index, TYPEKIND* kind) override {
    if (!kind) return E_POINTER;
    if (index >= lib_->types.size()) return TYPE_E_ELEMENTNOTFOUND;
    *kind = lib_->types[index].kind;
    return S_OK;
  }
  HRESULT GetTypeInfoOfGuid(REFGUID guid, ITypeInfo** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    for (uint32_t i = 0; i < lib_->types.size(); ++i)
      if (lib_->types[i].guid == guid && guid != GUID_NULL) return GetTypeInfo(i, out);
    return TYPE_E_ELEMENTNOTFOUND;
  }
  HRESULT GetLibAttr(TLIBATTR* attr) override {
    if (!attr) return E_POINTER;
    attr->guid = lib_->libid;
    attr->lcid = lib_->lcid;
    attr->wMajorVerNum = lib_->majorVersion;
    attr->wMinorVerNum = lib_->minorVersion;
    return S_OK;
  }
  HRESULT GetDocumentation(int32_t index, Bstr* name, Bstr* doc, DWORD* helpContext, Bstr* helpFile) override {
    if (helpContext) *helpContext = 0;
    if (helpFile) *helpFile = Bstr();
    if (index == -1) {
      if (helpFile) *helpFile = Bstr(lib_->helpFile);
      GiveText(lib_->name, name);
      return GiveText(lib_->helpString, doc);
    }
    if (index < 0 || static_cast<size_t>(index) >= lib_->types.size()) return TYPE_E_ELEMENTNOTFOUND;
    GiveText(lib_->types[index].name, name);
    return GiveText(lib_->types[index].helpString, doc);
  }
  std::shared_ptr<const TypeLibDesc> Description() override { return lib_; }

 private:
  std::shared_ptr<const TypeLibDesc> lib_;
};

}  // namespace

ComPtr<ITypeLib> MakeTypeLib(std::shared_ptr<const TypeLibDesc> lib) {
  if (!lib) return nullptr;
  return MakeComObject<TypeLib>(std::move(lib));
}

// ---- Registry records --------------------------------------------------------------------------

namespace {

constexpr const char* kPlatformKey = "linux";  // the key naming the module, beside the LCID
// Marshalling classes recorded for dispinterfaces and for dual/automation interfaces.
constexpr const char* kDualProxy = "{00020424-0000-0000-C000-000000000046}";
constexpr const char* kDispProxy = "{00020420-0000-0000-C000-000000000046}";

std::string VersionText(uint16_t major, uint16_t minor) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%x.%x", major, minor);
  return buf;
}

std::string LcidText(LCID lcid) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%x", lcid);
  return buf;
}

bool Write(const std::string& path, const std::string& name, const std::string& value) {
  return registry::WriteString(HKEY_CLASSES_ROOT, path, name, value);
}

}  // namespace

HRESULT RegisterTypeLib(const TypeLibDesc& lib, const std::string& modulePath) {
  PublishTypeLib(lib);
  const std::string libid = GuidToString(lib.libid);
  const std::string version = VersionText(lib.majorVersion, lib.minorVersion);
  const std::string key = "TypeLib\\" + libid + "\\" + version;
  std::string folder = modulePath.substr(0, modulePath.find_last_of('/') + 1);
  bool ok = Write(key, "", lib.helpString.empty() ? lib.name : lib.helpString) &&
            Write(key + "\\" + LcidText(lib.lcid) + "\\" + kPlatformKey, "", modulePath) &&
            Write(key + "\\FLAGS", "", std::to_string(lib.libFlags)) && Write(key + "\\HELPDIR", "", folder);
  for (const auto& t : lib.types) {
    if (!ok) break;
    if (t.kind != TKIND_INTERFACE && t.kind != TKIND_DISPATCH) continue;
    const std::string ikey = "Interface\\" + GuidToString(t.guid);
    ok = Write(ikey, "", t.name) &&
         Write(ikey + "\\ProxyStubClsid32", "", t.kind == TKIND_DISPATCH ? kDispProxy : kDualProxy) &&
         Write(ikey + "\\TypeLib", "", libid) && Write(ikey + "\\TypeLib", "Version", VersionText(lib.majorVersion, lib.minorVersion));
  }
  if (!ok) return ReportError(E_ACCESSDENIED, "The type library " + lib.name + " could not be written to the registry");
  return S_OK;
}

HRESULT UnRegisterTypeLib(REFGUID libid, uint16_t major, uint16_t minor, LCID) {
  const std::string id = GuidToString(libid);
  const std::string root = "TypeLib\\" + id;
  const std::string key = root + "\\" + VersionText(major, minor);
  if (!registry::KeyExists(HKEY_CLASSES_ROOT, key)) return TYPE_E_LIBNOTREGISTERED;
  // The interfaces this library recorded: those whose TypeLib names it at this version.
  auto lib = FindPublishedTypeLib(libid, major, minor);
  if (lib) {
    for (const auto& t : lib->types) {
      if (t.kind != TKIND_INTERFACE && t.kind != TKIND_DISPATCH) continue;
      const std::string ikey = "Interface\\" + GuidToString(t.guid);
      auto owner = registry::ReadString(HKEY_CLASSES_ROOT, ikey + "\\TypeLib");
      auto version = registry::ReadString(HKEY_CLASSES_ROOT, ikey + "\\TypeLib", "Version");
      if (owner && GuidFromString(*owner) == libid && version == VersionText(major, minor))
        registry::DeleteTree(HKEY_CLASSES_ROOT, ikey);
    }
  }
  registry::DeleteTree(HKEY_CLASSES_ROOT, key);
  if (registry::SubKeys(HKEY_CLASSES_ROOT, root).empty()) registry::DeleteTree(HKEY_CLASSES_ROOT, root);
  return S_OK;
}

namespace {
// The module the registry names for a library version, any locale.
std::optional<std::string> RegisteredModule(const std::string& versionKey, LCID lcid) {
  std::vector<std::string> candidates{LcidText(lcid), "0", "409"};
  for (const auto& sub : registry::SubKeys(HKEY_CLASSES_ROOT, versionKey)) candidates.push_back(sub);
  for (const auto& c : candidates)
    if (auto path = registry::ReadString(HKEY_CLASSES_ROOT, versionKey + "\\" + c + "\\" + kPlatformKey))
      return path;
  return std::nullopt;
}

std::optional<std::pair<uint16_t, uint16_t>> ParseVersion(const std::string& text) {
  unsigned major = 0, minor = 0;
  if (std::sscanf(text.c_str(), "%x.%x", &major, &minor) != 2) return std::nullopt;
  return std::make_pair(static_cast<uint16_t>(major), static_cast<uint16_t>(minor));
}
}  // namespace

HRESULT LoadRegTypeLib(REFGUID libid, uint16_t major, uint16_t minor, LCID lcid, ITypeLib** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  auto lib = FindPublishedTypeLib(libid, major, minor);
  if (!lib) {
    // The highest registered version with that major and at least that minor.
    const std::string root = "TypeLib\\" + GuidToString(libid);
    std::optional<std::pair<uint16_t, uint16_t>> best;
    std::string bestKey;
    for (const auto& sub : registry::SubKeys(HKEY_CLASSES_ROOT, root)) {
      auto v = ParseVersion(sub);
      if (!v || v->first != major || v->second < minor) continue;
      if (!best || v->second > best->second) { best = v; bestKey = root + "\\" + sub; }
    }
    if (!best)
      return ReportError(TYPE_E_LIBNOTREGISTERED, "Library not registered: " + GuidToString(libid));
    auto module = RegisteredModule(bestKey, lcid);
    if (!module)
      return ReportError(TYPE_E_LIBNOTREGISTERED, "No module is registered for the library " + GuidToString(libid));
    // Loading the module publishes its description; it stays loaded for the life of the process.
    HRESULT failure = S_OK;
    std::string why;
    if (!OpenLibraryChecked(*module, &failure, &why)) {
      return ReportError(failure, "Can't load the library " + *module + " of the type library " +
                                      GuidToString(libid) + ": " + why);
    }
    lib = FindPublishedTypeLib(libid, major, minor);
    if (!lib)
      return ReportError(TYPE_E_LIBNOTREGISTERED, "The module " + *module + " does not describe the library " +
                                                      GuidToString(libid));
  }
  *out = MakeTypeLib(lib).Detach();
  return S_OK;
}

HRESULT GetRegisteredTypeInfo(REFGUID libid, uint16_t major, uint16_t minor, REFGUID guid, ITypeInfo** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  ComPtr<ITypeLib> lib;
  HRESULT hr = LoadRegTypeLib(libid, major, minor, 0, lib.put());
  if (FAILED(hr)) return hr;
  return lib->GetTypeInfoOfGuid(guid, out);
}
