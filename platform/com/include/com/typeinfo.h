#pragma once
// Type descriptions: what a type library says about a COM library (its enumerations, interfaces,
// dispinterfaces and classes), declared in C++ by the library that serves them. ITypeLib and
// ITypeInfo give hosts the same view a type library gives them.
//
// A library publishes its description in the process (PublishTypeLib) and records it in the
// registry (RegisterTypeLib, under HKCR\TypeLib\{LIBID}\<major.minor> and HKCR\Interface\{IID});
// LoadRegTypeLib finds a description by LIBID, loading the registered library when it is not yet
// in the process.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/unknown.h"
#include "core/variant.h"

class ITypeLib;

using MEMBERID = DISPID;
constexpr MEMBERID MEMBERID_NIL = DISPID_UNKNOWN;

enum TYPEKIND : int32_t {
  TKIND_ENUM = 0,
  TKIND_RECORD = 1,
  TKIND_MODULE = 2,
  TKIND_INTERFACE = 3,
  TKIND_DISPATCH = 4,
  TKIND_COCLASS = 5,
  TKIND_ALIAS = 6,
};

enum INVOKEKIND : int32_t {
  INVOKE_FUNC = DISPATCH_METHOD,
  INVOKE_PROPERTYGET = DISPATCH_PROPERTYGET,
  INVOKE_PROPERTYPUT = DISPATCH_PROPERTYPUT,
  INVOKE_PROPERTYPUTREF = DISPATCH_PROPERTYPUTREF,
};

// Parameter flags.
constexpr uint16_t PARAMFLAG_NONE = 0;
constexpr uint16_t PARAMFLAG_FIN = 0x1;
constexpr uint16_t PARAMFLAG_FOUT = 0x2;
constexpr uint16_t PARAMFLAG_FRETVAL = 0x8;
constexpr uint16_t PARAMFLAG_FOPT = 0x10;
constexpr uint16_t PARAMFLAG_FHASDEFAULT = 0x20;

// Type flags.
constexpr uint16_t TYPEFLAG_FAPPOBJECT = 0x1;
constexpr uint16_t TYPEFLAG_FCANCREATE = 0x2;
constexpr uint16_t TYPEFLAG_FHIDDEN = 0x10;
constexpr uint16_t TYPEFLAG_FCONTROL = 0x20;
constexpr uint16_t TYPEFLAG_FDUAL = 0x40;
constexpr uint16_t TYPEFLAG_FNONEXTENSIBLE = 0x80;
constexpr uint16_t TYPEFLAG_FOLEAUTOMATION = 0x100;

// Member flags.
constexpr uint16_t FUNCFLAG_FRESTRICTED = 0x1;
constexpr uint16_t FUNCFLAG_FSOURCE = 0x2;
constexpr uint16_t FUNCFLAG_FBINDABLE = 0x4;
constexpr uint16_t FUNCFLAG_FHIDDEN = 0x40;

// Flags of a class's implemented interfaces.
constexpr int32_t IMPLTYPEFLAG_FDEFAULT = 0x1;
constexpr int32_t IMPLTYPEFLAG_FSOURCE = 0x2;
constexpr int32_t IMPLTYPEFLAG_FRESTRICTED = 0x4;

struct ParamDesc {
  std::string name;
  // The declared type; VT_BYREF in it marks a by-reference ([in, out] or [out]) parameter.
  // VT_VARIANT takes any value.
  VARTYPE vt = VT_VARIANT;
  uint16_t flags = PARAMFLAG_FIN;
  // The value of an omitted optional parameter with PARAMFLAG_FHASDEFAULT.
  Variant defaultValue;
  // A parameter typed by an alias or enumeration: that type's GUID (in the member's library or
  // the standard OLE types, GetRefTypeInfo); vt then holds the type it stands for. GUID_NULL
  // for a plain automation type.
  GUID userType{};

  bool IsRetval() const { return (flags & PARAMFLAG_FRETVAL) != 0; }
  bool IsOptional() const { return (flags & (PARAMFLAG_FOPT | PARAMFLAG_FHASDEFAULT)) != 0; }
  bool IsByRef() const { return (vt & VT_BYREF) != 0; }
  VARTYPE BaseType() const { return static_cast<VARTYPE>(vt & ~VT_BYREF); }
};

struct MemberDesc {
  std::string name;
  DISPID id = DISPID_UNKNOWN;
  INVOKEKIND kind = INVOKE_FUNC;
  // In declaration order; an [out, retval] parameter comes last. For a property put the value
  // is the last parameter.
  std::vector<ParamDesc> params;
  std::string helpString;
  uint16_t flags = 0;

  // The type of the [out, retval] parameter, or VT_EMPTY when the member returns nothing.
  VARTYPE ResultType() const;
  // The parameters a caller passes (all but the retval).
  size_t ArgumentCount() const;
};

struct EnumValue {
  std::string name;
  int32_t value = 0;
};

struct ImplType {
  IID iid;
  int32_t flags = 0;  // IMPLTYPEFLAG_*
};

// One type of a library: an enumeration, an interface (dual when TYPEFLAG_FDUAL), a
// dispinterface or a class.
struct TypeDesc {
  TYPEKIND kind = TKIND_INTERFACE;
  GUID guid;  // IID, DIID or CLSID; may be null for an enumeration
  std::string name;
  std::string helpString;
  uint16_t flags = 0;
  std::vector<MemberDesc> members;   // interfaces and dispinterfaces, in slot order
  std::vector<EnumValue> values;     // enumerations
  std::vector<ImplType> implTypes;   // classes
  VARTYPE aliasOf = VT_EMPTY;        // aliases: the type the alias names
  // Aliases of a type of their library (aliasOf is then VT_USERDEFINED): that type's GUID, which
  // GetRefTypeInfo resolves. GUID_NULL otherwise.
  GUID aliasType{};

  // The class's default interface or default source; IID_NULL when it has none.
  IID DefaultInterface() const;
  IID DefaultSource() const;
  // Members with that identifier (a property has one per access kind).
  std::vector<const MemberDesc*> MembersWithId(DISPID id) const;
};

struct TypeLibDesc {
  GUID libid;
  std::string name;
  uint16_t majorVersion = 1;
  uint16_t minorVersion = 0;
  LCID lcid = 0;
  std::string helpString;
  std::string helpFile;   // the library's help file name ("Name.chm"); empty for none
  uint16_t libFlags = 0;  // LIBFLAG_*
  std::vector<TypeDesc> types;

  const TypeDesc* Find(REFGUID guid) const;
  const TypeDesc* FindByName(const std::string& name) const;  // without regard to letter case
};

// Shorthands for declaring a library:
//   using namespace desc;
//   lib.types = {DualInterface(IID_IFoo, "IFoo", {Method("Add", 1, {In("a", VT_I4), Retval(VT_I4)}),
//                                                  PropertyGet("Label", 2, VT_BSTR),
//                                                  PropertyPut("Label", 2, VT_BSTR)}), ...};
namespace desc {
ParamDesc In(std::string name, VARTYPE vt);
ParamDesc InOut(std::string name, VARTYPE vt);  // by reference
ParamDesc Out(std::string name, VARTYPE vt);    // by reference, written by the callee only
ParamDesc Optional(std::string name, VARTYPE vt = VT_VARIANT);
ParamDesc OptionalWithDefault(std::string name, VARTYPE vt, Variant defaultValue);
ParamDesc Retval(VARTYPE vt, std::string name = "pVal");

MemberDesc Method(std::string name, DISPID id, std::vector<ParamDesc> params = {}, std::string help = {});
// A property get returning vt; a put or putref taking vt (with VT_BYREF for a by-reference setter).
MemberDesc PropertyGet(std::string name, DISPID id, VARTYPE vt, std::string help = {});
MemberDesc PropertyPut(std::string name, DISPID id, VARTYPE vt, std::string help = {});
MemberDesc PropertyPutRef(std::string name, DISPID id, VARTYPE vt, std::string help = {});

TypeDesc DualInterface(REFIID iid, std::string name, std::vector<MemberDesc> members, std::string help = {},
                       uint16_t flags = 0);
TypeDesc DispInterface(REFIID iid, std::string name, std::vector<MemberDesc> members, std::string help = {},
                       uint16_t flags = 0);
TypeDesc Enumeration(REFGUID guid, std::string name, std::vector<EnumValue> values, std::string help = {},
                     uint16_t flags = 0);
TypeDesc CoClass(REFCLSID clsid, std::string name, std::vector<ImplType> implTypes, std::string help = {},
                 uint16_t flags = TYPEFLAG_FCANCREATE);
// An ActiveX control's class: creatable, flagged as a control.
TypeDesc ControlClass(REFCLSID clsid, std::string name, std::vector<ImplType> implTypes, std::string help = {});
TypeDesc Alias(REFGUID guid, std::string name, VARTYPE aliasOf, std::string help = {}, uint16_t flags = 0);
// An alias of a type the library declares (an enumeration, which may be unnamed), by its GUID.
TypeDesc Alias(REFGUID guid, std::string name, REFGUID aliasType, std::string help = {}, uint16_t flags = 0);
// A copy of an interface's description under another identifier and name (an earlier version of
// an interface that a library keeps as a hidden alias).
TypeDesc HiddenCopy(const TypeDesc& of, REFIID iid, std::string name);
// The member with its value (the put's last parameter, the get's retval) typed by an alias or
// enumeration.
MemberDesc OfType(MemberDesc member, REFGUID userType);
}  // namespace desc

// The standard OLE types every library may use by GUID (their library is published in every
// process): OLE_COLOR (an unsigned 32-bit colour) and the automation Boolean VARIANT_BOOL.
constexpr GUID kTypeOleColor = MakeGuid("{66504301-BE0F-101A-8BBB-00AA00300CAB}");
constexpr GUID kTypeVariantBool = MakeGuid("{BF030644-9069-101B-AE2D-08002B2EC713}");
constexpr GUID kTypePictureDisp = MakeGuid("{7BF80981-BF32-101A-8BBB-00AA00300CAB}");  // "Picture"
constexpr GUID kLibStdOle = MakeGuid("{00020430-0000-0000-C000-000000000046}");
// The type a parameter names by GUID: an alias or enumeration of the library that holds
// `from`, or a standard OLE type. TYPE_E_ELEMENTNOTFOUND when neither has it.
HRESULT GetRefTypeInfo(ITypeInfo* from, REFGUID type, ITypeInfo** out);

struct TYPEATTR {
  GUID guid;
  LCID lcid = 0;
  TYPEKIND typekind = TKIND_INTERFACE;
  uint16_t cFuncs = 0;
  uint16_t cVars = 0;
  uint16_t cImplTypes = 0;
  uint16_t wTypeFlags = 0;
  uint16_t wMajorVerNum = 0;
  uint16_t wMinorVerNum = 0;
  uint16_t wLibFlags = 0;
  // Aliases: the type named (VT_USERDEFINED for a type of a library, whose GUID is
  // tdescAliasType).
  VARTYPE tdescAlias = VT_EMPTY;
  GUID tdescAliasType{};
};

// Library flags.
constexpr uint16_t LIBFLAG_FRESTRICTED = 0x1;
constexpr uint16_t LIBFLAG_FCONTROL = 0x2;
constexpr uint16_t LIBFLAG_FHIDDEN = 0x4;

struct TLIBATTR {
  GUID guid;
  LCID lcid = 0;
  uint16_t wMajorVerNum = 0;
  uint16_t wMinorVerNum = 0;
};

// One type of a library. The pointers it hands out (members, enumeration values) live as long
// as the ITypeInfo.
class ITypeInfo : public IUnknown {
 public:
  static constexpr IID iid = IID_ITypeInfo;
  virtual HRESULT GetTypeAttr(TYPEATTR* attr) = 0;
  // The index-th member (interfaces and dispinterfaces).
  virtual HRESULT GetFuncDesc(uint32_t index, const MemberDesc** out) = 0;
  // The index-th value (enumerations).
  virtual HRESULT GetVarDesc(uint32_t index, const EnumValue** out) = 0;
  // The member's name followed by its parameters' names.
  virtual HRESULT GetNames(MEMBERID id, Bstr* names, uint32_t maxNames, uint32_t* count) = 0;
  virtual HRESULT GetIDsOfNames(const char16_t** names, uint32_t count, MEMBERID* ids) = 0;
  // MEMBERID_NIL documents the type itself.
  virtual HRESULT GetDocumentation(MEMBERID id, Bstr* name, Bstr* docString, DWORD* helpContext,
                                   Bstr* helpFile) = 0;
  // The index-th interface a class implements, with its IMPLTYPEFLAG_* flags.
  virtual HRESULT GetImplType(uint32_t index, ITypeInfo** out, int32_t* implTypeFlags) = 0;
  virtual HRESULT GetContainingTypeLib(ITypeLib** lib, uint32_t* index) = 0;
  // The description itself, for code of the platform.
  virtual const TypeDesc& Description() = 0;
};

class ITypeLib : public IUnknown {
 public:
  static constexpr IID iid = MakeGuid("{00020402-0000-0000-C000-000000000046}");
  virtual uint32_t GetTypeInfoCount() = 0;
  virtual HRESULT GetTypeInfo(uint32_t index, ITypeInfo** out) = 0;
  virtual HRESULT GetTypeInfoType(uint32_t index, TYPEKIND* kind) = 0;
  virtual HRESULT GetTypeInfoOfGuid(REFGUID guid, ITypeInfo** out) = 0;
  virtual HRESULT GetLibAttr(TLIBATTR* attr) = 0;
  // index -1 documents the library itself.
  virtual HRESULT GetDocumentation(int32_t index, Bstr* name, Bstr* docString, DWORD* helpContext,
                                   Bstr* helpFile) = 0;
  virtual std::shared_ptr<const TypeLibDesc> Description() = 0;
};

// Makes a description known in this process (a library does it when it is loaded). A later
// description of the same LIBID and version replaces the earlier.
void PublishTypeLib(const TypeLibDesc& lib);
// The published description of that LIBID with the same major and at least that minor version
// (the highest such), or null.
std::shared_ptr<const TypeLibDesc> FindPublishedTypeLib(REFGUID libid, uint16_t major, uint16_t minor);

// ITypeLib over a description.
ComPtr<ITypeLib> MakeTypeLib(std::shared_ptr<const TypeLibDesc> lib);

// Writes HKCR\TypeLib\{LIBID}\<major.minor> (with the module that holds the description) and
// HKCR\Interface\{IID} of each interface and dispinterface; publishes the description.
HRESULT RegisterTypeLib(const TypeLibDesc& lib, const std::string& modulePath);
// Removes what RegisterTypeLib wrote for that LIBID and version.
HRESULT UnRegisterTypeLib(REFGUID libid, uint16_t major, uint16_t minor, LCID lcid);
// Finds a registered library by LIBID: published in this process, or else loaded from the module
// the registry names. TYPE_E_LIBNOTREGISTERED when neither knows it.
HRESULT LoadRegTypeLib(REFGUID libid, uint16_t major, uint16_t minor, LCID lcid, ITypeLib** out);
// ITypeInfo of one type of a registered library.
HRESULT GetRegisteredTypeInfo(REFGUID libid, uint16_t major, uint16_t minor, REFGUID guid,
                              ITypeInfo** out);

// Name comparison of automation: without regard to letter case.
bool SameName(std::u16string_view a, std::u16string_view b);
