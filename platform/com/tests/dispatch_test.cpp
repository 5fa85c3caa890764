// The generic IDispatch served from a type description: names, argument order and conversion,
// optional and by-reference arguments, retvals and failures; and the late-bound call helpers.
#include <gtest/gtest.h>

#include "com/dispatch.h"
#include "core/error.h"

namespace {

constexpr GUID kLib = MakeGuid("{A7C1D2E3-0000-4000-8000-000000000001}");
constexpr IID kIid = MakeGuid("{A7C1D2E3-0000-4000-8000-000000000002}");

enum : DISPID { kAdd = 1, kScale = 2, kGreet = 3, kLabel = 4, kFail = 5, kIsBig = 6, kBlend = 7 };

void PublishCalculator() {
  using namespace desc;
  TypeLibDesc lib;
  lib.libid = kLib;
  lib.name = "CalcLib";
  lib.types = {DualInterface(
      kIid, "ICalc",
      {Method("Add", kAdd, {In("a", VT_I4), In("b", VT_I4), Retval(VT_I4)}),
       Method("Scale", kScale, {InOut("value", VT_I4), OptionalWithDefault("factor", VT_I2, Variant(int16_t{2}))}),
       Method("Greet", kGreet, {In("name", VT_BSTR), Optional("punctuation"), Retval(VT_BSTR)}),
       PropertyGet("Label", kLabel, VT_BSTR), PropertyPut("Label", kLabel, VT_BSTR),
       Method("Fail", kFail, {In("code", VT_I4)}),
       Method("IsBig", kIsBig, {In("value", VT_R8), Retval(VT_BOOL)}),
       Method("Blend", kBlend, {In("what", VT_VARIANT), InOut("into", VT_BSTR)})})};
  PublishTypeLib(lib);
}

// A class bound to the description with one handler per member.
class Calculator final : public DispatchObject<IDispatch> {
 public:
  Calculator() : DispatchObject(kLib, 1, 0, kIid) {
    Dispatch()
        .Method(kAdd, [](DispatchArgs& a) { return Variant(a.Long(0) + a.Long(1)); })
        .Method(kScale, [](DispatchArgs& a) {
          a.Set(0, Variant(a.Long(0) * a.Integer(1)));
          return Variant();
        })
        .Method(kGreet, [](DispatchArgs& a) {
          return Variant("Hello, " + a.String(0) + (a.IsMissing(1) ? std::string(".") : a.String(1)));
        })
        .Get(kLabel, [this](DispatchArgs&) { return Variant(label_); })
        .Put(kLabel, [this](DispatchArgs& a) {
          label_ = a.String(0);
          return Variant();
        })
        .Method(kFail, [](DispatchArgs& a) -> Variant {
          Raise(a.Long(0), "Calculator refused (" + std::to_string(a.Long(0)) + ")", "CalcLib.Calculator");
        })
        .Method(kIsBig, [](DispatchArgs& a) { return Variant(a.Double(0) > 1000 ? int32_t{1} : int32_t{0}); })
        .Method(kBlend, [](DispatchArgs& a) {
          a.Set(1, Variant(a.String(1) + "+" + a.String(0)));
          a.Set(0, Variant(0.0));  // a by-value parameter: the caller never sees this
          return Variant();
        });
  }
  std::string label_;
};

class DispatchTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { PublishCalculator(); }
  void SetUp() override { calc_ = MakeComObject<Calculator>(); }

  // Invokes with the arguments given in natural order; returns the HRESULT.
  HRESULT Call(DISPID id, WORD flags, std::vector<Variant> args, Variant* result = nullptr,
               uint32_t* argErr = nullptr, EXCEPINFO* info = nullptr) {
    std::vector<Variant> reversed(args.rbegin(), args.rend());
    DISPPARAMS p;
    p.rgvarg = reversed.empty() ? nullptr : reversed.data();
    p.cArgs = static_cast<uint32_t>(reversed.size());
    DISPID put = DISPID_PROPERTYPUT;
    if ((flags & DISPATCH_PROPERTYPUT) && !reversed.empty()) {
      p.rgdispidNamedArgs = &put;
      p.cNamedArgs = 1;
    }
    Variant ignored;
    EXCEPINFO ei;
    uint32_t ae = 0;
    HRESULT hr = calc_->Invoke(id, IID_NULL, 0, flags, &p, result ? result : &ignored, info ? info : &ei,
                               argErr ? argErr : &ae);
    return hr;
  }

  ComPtr<Calculator> calc_;
};

TEST_F(DispatchTest, NamesResolveWithoutRegardToCase) {
  struct Case {
    std::vector<std::u16string> names;
    HRESULT hr;
    std::vector<DISPID> ids;
  } cases[] = {
      {{u"Add"}, S_OK, {kAdd}},
      {{u"aDD"}, S_OK, {kAdd}},
      {{u"LABEL"}, S_OK, {kLabel}},
      {{u"greet", u"PUNCTUATION", u"name"}, S_OK, {kGreet, 1, 0}},
      {{u"Greet", u"nope"}, DISP_E_UNKNOWNNAME, {kGreet, DISPID_UNKNOWN}},
      {{u"Subtract"}, DISP_E_UNKNOWNNAME, {DISPID_UNKNOWN}},
  };
  for (const auto& c : cases) {
    std::vector<const char16_t*> names;
    for (const auto& n : c.names) names.push_back(n.c_str());
    std::vector<DISPID> ids(names.size(), 12345);
    EXPECT_EQ(calc_->GetIDsOfNames(IID_NULL, names.data(), static_cast<uint32_t>(names.size()), 0, ids.data()), c.hr);
    EXPECT_EQ(ids, c.ids);
  }
}

TEST_F(DispatchTest, ArgumentsArriveReversedAndAreConvertedToTheirDeclaredTypes) {
  struct Case {
    const char* what;
    DISPID id;
    WORD flags;
    std::vector<Variant> args;
    HRESULT hr;
    Variant result;
    uint32_t argErr;
  } cases[] = {
      {"longs", kAdd, DISPATCH_METHOD, {Variant(int32_t{2}), Variant(int32_t{40})}, S_OK, Variant(int32_t{42}), 0},
      {"text and rounding half to even", kAdd, DISPATCH_METHOD, {Variant("2"), Variant(2.5)}, S_OK, Variant(int32_t{4}), 0},
      {"integer and boolean", kAdd, DISPATCH_METHOD, {Variant(int16_t{7}), Variant(true)}, S_OK, Variant(int32_t{6}), 0},
      {"method flags with get", kAdd, DISPATCH_METHOD | DISPATCH_PROPERTYGET, {Variant(int32_t{1}), Variant(int32_t{1})}, S_OK, Variant(int32_t{2}), 0},
      {"first argument not a number", kAdd, DISPATCH_METHOD, {Variant("x"), Variant(int32_t{1})}, DISP_E_TYPEMISMATCH, Variant(), 1},
      {"second argument not a number", kAdd, DISPATCH_METHOD, {Variant(int32_t{1}), Variant("y")}, DISP_E_TYPEMISMATCH, Variant(), 0},
      {"null is no number", kAdd, DISPATCH_METHOD, {Variant::Null(), Variant(int32_t{1})}, DISP_E_TYPEMISMATCH, Variant(), 1},
      {"too big for a Long", kAdd, DISPATCH_METHOD, {Variant(3e10), Variant(int32_t{1})}, DISP_E_OVERFLOW, Variant(), 1},
      {"too few", kAdd, DISPATCH_METHOD, {Variant(int32_t{1})}, DISP_E_BADPARAMCOUNT, Variant(), 0},
      {"too many", kAdd, DISPATCH_METHOD, {Variant(int32_t{1}), Variant(int32_t{2}), Variant(int32_t{3})}, DISP_E_BADPARAMCOUNT, Variant(), 0},
      {"optional omitted", kGreet, DISPATCH_METHOD, {Variant("Ann")}, S_OK, Variant("Hello, Ann."), 0},
      {"optional given", kGreet, DISPATCH_METHOD, {Variant("Ann"), Variant("!")}, S_OK, Variant("Hello, Ann!"), 0},
      {"optional passed as missing", kGreet, DISPATCH_METHOD, {Variant("Ann"), Variant::Missing()}, S_OK, Variant("Hello, Ann."), 0},
      {"required passed as missing", kGreet, DISPATCH_METHOD, {Variant::Missing()}, DISP_E_PARAMNOTOPTIONAL, Variant(), 0},
      {"number to text", kGreet, DISPATCH_METHOD, {Variant(1.5)}, S_OK, Variant("Hello, 1.5."), 0},
      {"retval converted to its type", kIsBig, DISPATCH_METHOD, {Variant(5000.0)}, S_OK, Variant(true), 0},
      {"unknown member", 99, DISPATCH_METHOD, {}, DISP_E_MEMBERNOTFOUND, Variant(), 0},
      {"method called as a put", kAdd, DISPATCH_PROPERTYPUT, {Variant(int32_t{1})}, DISP_E_MEMBERNOTFOUND, Variant(), 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Variant result;
    uint32_t argErr = 77;
    EXPECT_EQ(Call(c.id, c.flags, c.args, &result, &argErr), c.hr);
    if (c.hr == S_OK) {
      EXPECT_EQ(result, c.result);
    }
    if (c.hr == DISP_E_TYPEMISMATCH || c.hr == DISP_E_OVERFLOW) {
      EXPECT_EQ(argErr, c.argErr);
    }
  }
}

TEST_F(DispatchTest, PropertyPutTakesTheNamedValueAndGetReturnsIt) {
  EXPECT_EQ(Call(kLabel, DISPATCH_PROPERTYPUT, {Variant("first")}), S_OK);
  Variant v;
  EXPECT_EQ(Call(kLabel, DISPATCH_PROPERTYGET, {}, &v), S_OK);
  EXPECT_EQ(v, Variant("first"));
  // Named arguments other than the put's value are refused.
  Variant arg("x");
  DISPID named = 0;
  DISPPARAMS p{&arg, &named, 1, 1};
  EXPECT_EQ(calc_->Invoke(kGreet, IID_NULL, 0, DISPATCH_METHOD, &p, nullptr, nullptr, nullptr), DISP_E_NONAMEDARGS);
  // A put needs its value.
  EXPECT_EQ(Call(kLabel, DISPATCH_PROPERTYPUT, {}), DISP_E_BADPARAMCOUNT);
}

TEST_F(DispatchTest, ByReferenceArgumentsAreWrittenBack) {
  int32_t value = 21;
  EXPECT_EQ(Call(kScale, DISPATCH_METHOD, {Variant::ByRef(VT_I4, &value)}), S_OK);
  EXPECT_EQ(value, 42) << "default factor 2";

  int32_t tripled = 5;
  EXPECT_EQ(Call(kScale, DISPATCH_METHOD, {Variant::ByRef(VT_I4, &tripled), Variant("3")}), S_OK);
  EXPECT_EQ(tripled, 15);

  // A by-reference argument of another type is converted in and out.
  Bstr text(u"12");
  EXPECT_EQ(Call(kScale, DISPATCH_METHOD, {Variant::ByRef(VT_BSTR, &text)}), S_OK);
  EXPECT_EQ(text.Utf8(), "24");

  // A Variant passed by reference takes the written value.
  Variant slot(int16_t{4});
  EXPECT_EQ(Call(kScale, DISPATCH_METHOD, {Variant::ByRef(VT_VARIANT, &slot)}), S_OK);
  EXPECT_EQ(slot, Variant(int32_t{8}));

  // A value passed by value is converted, used, and nothing is written anywhere.
  EXPECT_EQ(Call(kScale, DISPATCH_METHOD, {Variant(int32_t{3})}), S_OK);
  // A variable passed by reference to a by-value parameter keeps its value.
  double what = 1.5;
  Bstr blended(u"x");
  EXPECT_EQ(Call(kBlend, DISPATCH_METHOD, {Variant::ByRef(VT_R8, &what), Variant::ByRef(VT_BSTR, &blended)}), S_OK);
  EXPECT_EQ(what, 1.5);
  EXPECT_EQ(blended.Utf8(), "x+1.5");

  Bstr into(u"base");
  EXPECT_EQ(Call(kBlend, DISPATCH_METHOD, {Variant(2.5), Variant::ByRef(VT_BSTR, &into)}), S_OK);
  EXPECT_EQ(into.Utf8(), "base+2.5");

  // A by-reference slot of a type automation does not carry is refused, not read.
  int64_t currency = 5;
  uint32_t badArg = 9;
  EXPECT_EQ(Call(kScale, DISPATCH_METHOD, {Variant::ByRef(VT_CY, &currency), Variant(int16_t{2})}, nullptr, &badArg),
            DISP_E_TYPEMISMATCH);
  EXPECT_EQ(badArg, 1u);

  // A written value that does not fit the caller's storage is a type mismatch, not a crash.
  int16_t small = 30000;
  uint32_t argErr = 9;
  EXPECT_EQ(Call(kScale, DISPATCH_METHOD, {Variant::ByRef(VT_I2, &small)}, nullptr, &argErr), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(argErr, 0u);
  EXPECT_EQ(small, 30000);
}

TEST_F(DispatchTest, AFailingMemberReachesTheCallerWithItsDescription) {
  EXCEPINFO info;
  EXPECT_EQ(Call(kFail, DISPATCH_METHOD, {Variant(int32_t{1004})}, nullptr, nullptr, &info), DISP_E_EXCEPTION);
  EXPECT_EQ(info.scode, MakeHResult(0x800A03EC));
  EXPECT_EQ(info.bstrDescription.Utf8(), "Calculator refused (1004)");
  EXPECT_EQ(info.bstrSource.Utf8(), "CalcLib.Calculator");
  // The thread's error object carries the same for callers through the interface's slots.
  ComPtr<IErrorInfo> error;
  ASSERT_EQ(GetErrorInfo(0, error.put()), S_OK);
  Bstr d;
  error->GetDescription(&d);
  EXPECT_EQ(d.Utf8(), "Calculator refused (1004)");

  // Without an EXCEPINFO the failure's own HRESULT comes back.
  Variant arg(int32_t{5});
  DISPPARAMS p{&arg, nullptr, 1, 0};
  EXPECT_EQ(calc_->Invoke(kFail, IID_NULL, 0, DISPATCH_METHOD, &p, nullptr, nullptr, nullptr), MakeHResult(0x800A0005));
}

TEST_F(DispatchTest, LateBoundCallsRaiseTheRuntimesErrors) {
  IDispatch* d = calc_.Get();
  EXPECT_EQ(CallByName(d, "add", DISPATCH_METHOD, {Variant(int32_t{1}), Variant(int32_t{2})}), Variant(int32_t{3}));
  CallByName(d, "Label", DISPATCH_PROPERTYPUT, {Variant("via name")});
  EXPECT_EQ(InvokeDispatch(d, kLabel, DISPATCH_PROPERTYGET), Variant("via name"));
  struct Case {
    const char* what;
    std::string name;
    std::vector<Variant> args;
    int32_t number;
    std::string description;
  } cases[] = {
      {"unknown name", "Subtract", {}, vbErrObjectDoesntSupport, "Object doesn't support this property or method"},
      {"type mismatch", "Add", {Variant("one"), Variant(int32_t{2})}, vbErrTypeMismatch, "Type mismatch"},
      {"argument count", "Add", {Variant(int32_t{2})}, vbErrWrongArgCount, "Wrong number of arguments or invalid property assignment"},
      {"member's own error", "Fail", {Variant(int32_t{1004})}, 1004, "Calculator refused (1004)"},
      {"member's HRESULT error", "Fail", {Variant(E_INVALIDARG)}, E_INVALIDARG, "Calculator refused (-2147024809)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    try {
      CallByName(d, c.name, DISPATCH_METHOD, c.args);
      ADD_FAILURE() << "no error raised";
    } catch (const VBError& e) {
      EXPECT_EQ(e.Number(), c.number);
      EXPECT_EQ(e.Description(), c.description);
    }
  }
  EXPECT_THROW(InvokeDispatch(nullptr, kAdd, DISPATCH_METHOD), VBError);
}

TEST_F(DispatchTest, TypeInformationDescribesTheInterface) {
  uint32_t count = 0;
  EXPECT_EQ(calc_->GetTypeInfoCount(&count), S_OK);
  EXPECT_EQ(count, 1u);
  ComPtr<ITypeInfo> info;
  ASSERT_EQ(calc_->GetTypeInfo(0, 0, info.put()), S_OK);
  TYPEATTR attr;
  info->GetTypeAttr(&attr);
  EXPECT_EQ(attr.guid, kIid);
  EXPECT_EQ(attr.cFuncs, 8);
  EXPECT_TRUE(attr.wTypeFlags & TYPEFLAG_FDUAL);
  Bstr names[4];
  uint32_t n = 0;
  ASSERT_EQ(info->GetNames(kGreet, names, 4, &n), S_OK);
  ASSERT_EQ(n, 3u);
  EXPECT_EQ(names[0].Utf8(), "Greet");
  EXPECT_EQ(names[2].Utf8(), "punctuation");
  EXPECT_EQ(calc_->GetTypeInfo(1, 0, info.put()), DISP_E_BADINDEX);
}

TEST_F(DispatchTest, BindingAMemberTheDescriptionLacksIsRefused) {
  Dispatcher d(kLib, 1, 0, kIid);
  EXPECT_THROW(d.Method(42, [](DispatchArgs&) { return Variant(); }), std::logic_error);
  EXPECT_THROW(d.Put(kAdd, [](DispatchArgs&) { return Variant(); }), std::logic_error);
  EXPECT_THROW(d.On("Nothing", INVOKE_FUNC, [](DispatchArgs&) { return Variant(); }), std::logic_error);
  EXPECT_THROW(Dispatcher(kLib, 2, 0, kIid), VBError) << "no such version";
}

TEST(VariantChangeTypeTest, ConvertsAsAutomationDoes) {
  struct Case {
    const char* what;
    Variant in;
    VARTYPE to;
    HRESULT hr;
    Variant out;
  } cases[] = {
      {"long to text", Variant(int32_t{5}), VT_BSTR, S_OK, Variant("5")},
      {"double to text", Variant(0.1), VT_BSTR, S_OK, Variant("0.1")},
      {"boolean to text", Variant(true), VT_BSTR, S_OK, Variant("True")},
      {"half to even", Variant(3.5), VT_I2, S_OK, Variant(int16_t{4})},
      {"text to boolean", Variant("true"), VT_BOOL, S_OK, Variant(true)},
      {"boolean to long", Variant(true), VT_I4, S_OK, Variant(int32_t{-1})},
      {"empty to text", Variant(), VT_BSTR, S_OK, Variant("")},
      {"empty to long", Variant(), VT_I4, S_OK, Variant(int32_t{0})},
      {"variant keeps the value", Variant(int16_t{3}), VT_VARIANT, S_OK, Variant(int16_t{3})},
      {"null to long", Variant::Null(), VT_I4, DISP_E_TYPEMISMATCH, Variant()},
      {"words to double", Variant("abc"), VT_R8, DISP_E_TYPEMISMATCH, Variant()},
      {"too big for an integer", Variant(int32_t{70000}), VT_I2, DISP_E_OVERFLOW, Variant()},
      {"negative byte", Variant(int32_t{-1}), VT_UI1, DISP_E_OVERFLOW, Variant()},
      {"number to object", Variant(int32_t{1}), VT_DISPATCH, DISP_E_TYPEMISMATCH, Variant()},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Variant out;
    EXPECT_EQ(VariantChangeType(&out, c.in, 0, c.to), c.hr);
    if (c.hr == S_OK) {
      EXPECT_EQ(out, c.out);
    }
  }
  // Objects: an IUnknown that answers IDispatch converts; a by-reference value is read through.
  auto calc = MakeComObject<Calculator>();
  Variant out;
  EXPECT_EQ(VariantChangeType(&out, Variant(static_cast<IUnknown*>(static_cast<IDispatch*>(calc.Get()))), 0, VT_DISPATCH), S_OK);
  EXPECT_EQ(out.vt(), VT_DISPATCH);
  EXPECT_EQ(VariantChangeType(&out, out, 0, VT_I4), DISP_E_TYPEMISMATCH);
  double d = 2.25;
  EXPECT_EQ(VariantChangeType(&out, Variant::ByRef(VT_R8, &d), 0, VT_BSTR), S_OK);
  EXPECT_EQ(out, Variant("2.25"));
}

}  // namespace

namespace {

TEST(TypeLibraryTest, DescribesEnumerationsClassesAndTheirInterfaces) {
  using namespace desc;
  constexpr GUID kLibId = MakeGuid("{A7C1D2E3-0000-4000-8000-000000000100}");
  constexpr GUID kEnum = MakeGuid("{A7C1D2E3-0000-4000-8000-000000000101}");
  constexpr IID kItf = MakeGuid("{A7C1D2E3-0000-4000-8000-000000000102}");
  constexpr IID kEvents = MakeGuid("{A7C1D2E3-0000-4000-8000-000000000103}");
  constexpr CLSID kClass = MakeGuid("{A7C1D2E3-0000-4000-8000-000000000104}");
  TypeLibDesc lib;
  lib.libid = kLibId;
  lib.name = "ShapesLib";
  lib.majorVersion = 2;
  lib.minorVersion = 3;
  lib.lcid = 0x409;
  lib.helpString = "Shapes";
  lib.types = {Enumeration(kEnum, "ShapeKind", {{"skNone", 0}, {"skRound", 1}, {"skSquare", 7}}),
               DualInterface(kItf, "IShape", {PropertyGet("Kind", 1, VT_I4, "The kind of shape.")}),
               DispInterface(kEvents, "_IShapeEvents", {Method("Moved", 1, {In("x", VT_I4), In("y", VT_I4)})}),
               CoClass(kClass, "Shape", {{kItf, IMPLTYPEFLAG_FDEFAULT}, {kEvents, IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE}},
                       "Shape Class")};
  PublishTypeLib(lib);

  ComPtr<ITypeLib> found;
  ASSERT_EQ(LoadRegTypeLib(kLibId, 2, 1, 0, found.put()), S_OK) << "a higher minor version serves";
  EXPECT_EQ(LoadRegTypeLib(kLibId, 2, 4, 0, found.put()), TYPE_E_LIBNOTREGISTERED);
  EXPECT_EQ(LoadRegTypeLib(kLibId, 1, 0, 0, found.put()), TYPE_E_LIBNOTREGISTERED);
  ASSERT_EQ(LoadRegTypeLib(kLibId, 2, 3, 0, found.put()), S_OK);
  TLIBATTR attr;
  found->GetLibAttr(&attr);
  EXPECT_EQ(attr.lcid, 0x409u);
  Bstr name, doc;
  found->GetDocumentation(-1, &name, &doc, nullptr, nullptr);
  EXPECT_EQ(name.Utf8(), "ShapesLib");
  EXPECT_EQ(doc.Utf8(), "Shapes");
  EXPECT_EQ(found->GetTypeInfoCount(), 4u);

  ComPtr<ITypeInfo> kinds;
  ASSERT_EQ(found->GetTypeInfoOfGuid(kEnum, kinds.put()), S_OK);
  const EnumValue* value = nullptr;
  ASSERT_EQ(kinds->GetVarDesc(2, &value), S_OK);
  EXPECT_EQ(value->name, "skSquare");
  EXPECT_EQ(value->value, 7);
  EXPECT_EQ(kinds->GetVarDesc(3, &value), TYPE_E_ELEMENTNOTFOUND);

  ComPtr<ITypeInfo> shape;
  ASSERT_EQ(found->GetTypeInfoOfGuid(kClass, shape.put()), S_OK);
  EXPECT_EQ(shape->Description().DefaultInterface(), kItf);
  EXPECT_EQ(shape->Description().DefaultSource(), kEvents);
  ComPtr<ITypeInfo> events;
  int32_t flags = 0;
  ASSERT_EQ(shape->GetImplType(1, events.put(), &flags), S_OK);
  EXPECT_EQ(flags, IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE);
  const MemberDesc* moved = nullptr;
  ASSERT_EQ(events->GetFuncDesc(0, &moved), S_OK);
  EXPECT_EQ(moved->name, "Moved");
  EXPECT_EQ(moved->ArgumentCount(), 2u);
  uint32_t index = 99;
  ComPtr<ITypeLib> container;
  events->GetContainingTypeLib(container.put(), &index);
  EXPECT_EQ(index, 2u);

  ComPtr<ITypeInfo> itf;
  ASSERT_EQ(found->GetTypeInfoOfGuid(kItf, itf.put()), S_OK);
  itf->GetDocumentation(1, &name, &doc, nullptr, nullptr);
  EXPECT_EQ(name.Utf8(), "Kind");
  EXPECT_EQ(doc.Utf8(), "The kind of shape.");
  EXPECT_EQ(found->GetTypeInfoOfGuid(MakeGuid("{A7C1D2E3-0000-4000-8000-0000000001FF}"), itf.put()),
            TYPE_E_ELEMENTNOTFOUND);
}

}  // namespace
