// Container storage (memory streams and property bags), alias types by GUID and module resources.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "com/dispatch.h"
#include "com/olecontrol.h"
#include "com/resources.h"
#include "com/typeinfo.h"

namespace {

TEST(MemoryStream, ReadsWhatWasWrittenAndReportsShortReads) {
  ComPtr<IStream> s = CreateMemoryStream();
  ULONG n = 0;
  ASSERT_EQ(s->Write("abcdef", 6, &n), S_OK);
  EXPECT_EQ(n, 6u);
  uint64_t pos = 99;
  ASSERT_EQ(s->Seek(2, STREAM_SEEK_SET, &pos), S_OK);
  EXPECT_EQ(pos, 2u);
  char buf[8] = {};
  EXPECT_EQ(s->Read(buf, 3, &n), S_OK);
  EXPECT_EQ(std::string(buf, n), "cde");
  EXPECT_EQ(s->Read(buf, 5, &n), S_FALSE);
  EXPECT_EQ(std::string(buf, n), "f");
  EXPECT_EQ(s->Seek(-1, STREAM_SEEK_SET, nullptr), STG_E_INVALIDFUNCTION);
  ASSERT_EQ(s->Seek(-2, STREAM_SEEK_END, nullptr), S_OK);
  ASSERT_EQ(s->Write("XYZ", 3, &n), S_OK);
  std::vector<uint8_t> bytes = MemoryStreamBytes(s.Get());
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "abcdXYZ");
}

TEST(MemoryPropertyBag, ReadsByNameConvertsAndRefusesAbsentKeys) {
  ComPtr<IPropertyBag> bag = CreateMemoryPropertyBag({{"Filter", Variant(".avi")}, {"Count", Variant(int16_t{3})}});
  Variant v;
  ASSERT_EQ(bag->Read(u"filter", &v, nullptr), S_OK);
  EXPECT_EQ(v.bstr().Utf8(), ".avi");
  Variant asLong = Variant(int32_t{0});
  ASSERT_EQ(bag->Read(u"Count", &asLong, nullptr), S_OK);
  EXPECT_EQ(asLong.vt(), VT_I4);
  EXPECT_EQ(asLong.i4(), 3);
  Variant absent;
  EXPECT_EQ(bag->Read(u"MediaFile", &absent, nullptr), E_INVALIDARG);
  Variant bad = Variant(int32_t{0});
  EXPECT_TRUE(FAILED(bag->Read(u"Filter", &bad, nullptr)));
  Variant w(true);
  ASSERT_EQ(bag->Write(u"COUNT", &w), S_OK);
  PropertyList list = MemoryPropertyBagContents(bag.Get());
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[1].first, "Count");
  EXPECT_EQ(list[1].second.vt(), VT_BOOL);
}

TEST(PropertyListStream, RoundTripsEveryStoredType) {
  PropertyList in = {{"I2", Variant(int16_t{-7})},     {"I4", Variant(int32_t{0x404040})},
                     {"R4", Variant(2.5f)},             {"R8", Variant(1e-3)},
                     {"Bool", Variant(true)},           {"Text", Variant("ä/b")},
                     {"Bytes", Variant(std::vector<uint8_t>{0, 255, 7})}, {"Empty", Variant()}};
  ComPtr<IStream> s = CreateMemoryStream();
  ASSERT_EQ(WritePropertyListToStream(s.Get(), in), S_OK);
  ASSERT_EQ(s->Seek(0, STREAM_SEEK_SET, nullptr), S_OK);
  PropertyList out;
  ASSERT_EQ(ReadPropertyListFromStream(s.Get(), &out), S_OK);
  ASSERT_EQ(out.size(), in.size());
  for (size_t i = 0; i < in.size(); ++i) {
    EXPECT_EQ(out[i].first, in[i].first);
    EXPECT_EQ(out[i].second.vt(), in[i].second.vt()) << in[i].first;
    if (in[i].second.vt() != (VT_ARRAY | VT_UI1)) {
      EXPECT_TRUE(out[i].second == in[i].second) << in[i].first;
    }
  }
  EXPECT_EQ(out[6].second.array()->bytes, (std::vector<uint8_t>{0, 255, 7}));
  // A stream cut short is refused, not read as a shorter list.
  std::vector<uint8_t> bytes = MemoryStreamBytes(s.Get());
  bytes.resize(bytes.size() - 3);
  ComPtr<IStream> cut = CreateMemoryStream(bytes);
  EXPECT_EQ(ReadPropertyListFromStream(cut.Get(), &out), STG_E_READFAULT);
}

TEST(TypeDescriptions, AnAliasMayNameAnUnnamedEnumerationOfItsLibrary) {
  using namespace desc;
  constexpr GUID kLib = MakeGuid("{0B6F2E1A-2222-4C2B-9D7E-5A1F3C9B0001}");
  constexpr GUID kEnum = MakeGuid("{0B6F2E1A-2222-4C2B-9D7E-5A1F3C9B0002}");
  constexpr GUID kAlias = MakeGuid("{0B6F2E1A-2222-4C2B-9D7E-5A1F3C9B0003}");
  constexpr GUID kPlain = MakeGuid("{0B6F2E1A-2222-4C2B-9D7E-5A1F3C9B0004}");
  TypeLibDesc lib;
  lib.libid = kLib;
  lib.name = "EnumAliasLib";
  lib.types = {Enumeration(kEnum, "", {{"First", 0}, {"Second", 7}}), Alias(kAlias, "Outcome", kEnum),
               Alias(kPlain, "Count", VT_I4)};
  PublishTypeLib(lib);
  ComPtr<ITypeInfo> alias;
  ASSERT_EQ(GetRegisteredTypeInfo(kLib, 1, 0, kAlias, alias.put()), S_OK);
  TYPEATTR attr;
  ASSERT_EQ(alias->GetTypeAttr(&attr), S_OK);
  EXPECT_EQ(attr.typekind, TKIND_ALIAS);
  EXPECT_EQ(attr.tdescAlias, VT_USERDEFINED);
  EXPECT_EQ(attr.tdescAliasType, kEnum);
  ComPtr<ITypeInfo> named;
  ASSERT_EQ(GetRefTypeInfo(alias.Get(), attr.tdescAliasType, named.put()), S_OK);
  TYPEATTR enumAttr;
  ASSERT_EQ(named->GetTypeAttr(&enumAttr), S_OK);
  EXPECT_EQ(enumAttr.typekind, TKIND_ENUM);
  ASSERT_EQ(enumAttr.cVars, 2);
  Bstr name;
  ASSERT_EQ(named->GetDocumentation(MEMBERID_NIL, &name, nullptr, nullptr, nullptr), S_OK);
  EXPECT_EQ(name.Utf8(), "");
  const EnumValue* v = nullptr;
  ASSERT_EQ(named->GetVarDesc(1, &v), S_OK);
  EXPECT_EQ(v->name, "Second");
  EXPECT_EQ(v->value, 7);
  // An alias of an automation type names no type of the library.
  ComPtr<ITypeInfo> plain;
  ASSERT_EQ(GetRegisteredTypeInfo(kLib, 1, 0, kPlain, plain.put()), S_OK);
  ASSERT_EQ(plain->GetTypeAttr(&attr), S_OK);
  EXPECT_EQ(attr.tdescAlias, VT_I4);
  EXPECT_EQ(attr.tdescAliasType, GUID_NULL);
}

TEST(TypeDescriptions, ParametersTypedByStandardAliasesResolveByGuid) {
  using namespace desc;
  constexpr GUID kLib = MakeGuid("{0B6F2E1A-1111-4C2B-9D7E-5A1F3C9B0001}");
  constexpr IID kItf = MakeGuid("{0B6F2E1A-1111-4C2B-9D7E-5A1F3C9B0002}");
  constexpr IID kOld = MakeGuid("{0B6F2E1A-1111-4C2B-9D7E-5A1F3C9B0003}");
  constexpr GUID kEnum = MakeGuid("{0B6F2E1A-1111-4C2B-9D7E-5A1F3C9B0004}");
  TypeLibDesc lib;
  lib.libid = kLib;
  lib.name = "AliasLib";
  TypeDesc itf = DualInterface(kItf, "_Tile",
                               {OfType(PropertyPut("BorderColor", 1, VT_I4 | VT_BYREF), kTypeOleColor),
                                OfType(PropertyGet("ShowInfo", 2, VT_BOOL), kTypeVariantBool),
                                OfType(PropertyGet("Style", 3, VT_I2), kEnum)});
  lib.types = {Enumeration(kEnum, "StyleConstants", {{"None", 0}, {"FixedSingle", 1}}), itf,
               HiddenCopy(itf, kOld, "Tile___v0")};
  PublishTypeLib(lib);
  ComPtr<ITypeInfo> info;
  ASSERT_EQ(GetRegisteredTypeInfo(kLib, 1, 0, kItf, info.put()), S_OK);
  struct Case {
    uint32_t member;
    const char* typeName;
    TYPEKIND kind;
  } cases[] = {{0, "OLE_COLOR", TKIND_ALIAS}, {1, "VARIANT_BOOL", TKIND_ALIAS}, {2, "StyleConstants", TKIND_ENUM}};
  for (const Case& c : cases) {
    const MemberDesc* m = nullptr;
    ASSERT_EQ(info->GetFuncDesc(c.member, &m), S_OK);
    ComPtr<ITypeInfo> ref;
    ASSERT_EQ(GetRefTypeInfo(info.Get(), m->params.back().userType, ref.put()), S_OK) << c.typeName;
    TYPEATTR attr;
    ref->GetTypeAttr(&attr);
    EXPECT_EQ(attr.typekind, c.kind);
    EXPECT_EQ(ref->Description().name, c.typeName);
  }
  ComPtr<ITypeInfo> old;
  ASSERT_EQ(GetRegisteredTypeInfo(kLib, 1, 0, kOld, old.put()), S_OK);
  TYPEATTR attr;
  old->GetTypeAttr(&attr);
  EXPECT_TRUE(attr.wTypeFlags & TYPEFLAG_FHIDDEN);
  EXPECT_EQ(attr.cFuncs, 3);
  ComPtr<ITypeInfo> none;
  EXPECT_EQ(GetRefTypeInfo(info.Get(), MakeGuid("{0B6F2E1A-1111-4C2B-9D7E-5A1F3C9B0009}"), none.put()),
            TYPE_E_ELEMENTNOTFOUND);
}

TEST(ModuleResources, FoundByModulePathNameAndType) {
  const std::string module = COM_TEST_SERVER;
  HRSRC r = FindResource(module, "probe_data", "custom");
  ASSERT_NE(r, nullptr);
  ASSERT_EQ(SizeofResource(module, r), 7u);
  const uint8_t* p = LoadResource(module, r);
  EXPECT_EQ(p[0], 0x20);
  EXPECT_EQ(p[6], 3);
  EXPECT_NE(FindResource(module, ResourceId(7), RT_STRING), nullptr);
  EXPECT_EQ(FindResource(module, ResourceId(7), RT_BITMAP), nullptr);
  EXPECT_EQ(FindResource("/nonexistent/lib.so", "PROBE_DATA", "CUSTOM"), nullptr);
  EXPECT_EQ(LoadResource(module, nullptr), nullptr);
  struct Case {
    std::string value;
    size_t size;
  } cases[] = {{module + ", 101", 4}, {module + ",101", 4}, {module + ", 102", 0}, {module, 0},
               {module + ", x1", 0}, {"/nonexistent/lib.so, 101", 0}};
  for (const Case& c : cases) EXPECT_EQ(LoadToolboxBitmap(c.value).size(), c.size) << c.value;
}

}  // namespace
