// The core types: GUID text, BSTR, VARIANT, the error regime helpers and the message box entry.
#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "core/bstr.h"
#include "core/error.h"
#include "core/guid.h"
#include "core/msgbox.h"
#include "core/runtime.h"
#include "core/variant.h"
#include "test_util.h"

namespace {

// ---- GUID ----

TEST(Guid, ParseAndFormatRoundTrip) {
  const char* texts[] = {
      "{65BD0711-24D2-4FF7-9324-ED2E5D3ABAFA}",
      "{65bd0711-24d2-4ff7-9324-ed2e5d3abafa}",
      "65BD0711-24D2-4FF7-9324-ED2E5D3ABAFA",
      "{00000000-0000-0000-C000-000000000046}",
  };
  for (const char* t : texts) {
    SCOPED_TRACE(t);
    auto g = GuidFromString(t);
    ASSERT_TRUE(g.has_value());
    std::string upper = GuidToString(*g);
    EXPECT_EQ(GuidFromString(upper), g);
    std::string expected = t[0] == '{' ? t : std::string("{") + t + "}";
    for (char& c : expected) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    EXPECT_EQ(upper, expected);
  }
  auto g = GuidFromString("{65BD0711-24D2-4FF7-9324-ED2E5D3ABAFA}");
  EXPECT_EQ(g->Data1, 0x65BD0711u);
  EXPECT_EQ(g->Data2, 0x24D2);
  EXPECT_EQ(g->Data3, 0x4FF7);
  EXPECT_EQ(g->Data4[0], 0x93);
  EXPECT_EQ(g->Data4[7], 0xFA);
  EXPECT_EQ(*g, MakeGuid("{65BD0711-24D2-4FF7-9324-ED2E5D3ABAFA}"));
  EXPECT_EQ(GuidToString(GUID_NULL), "{00000000-0000-0000-0000-000000000000}");
}

TEST(Guid, BadTextIsRefused) {
  const char* bad[] = {
      "",
      "{}",
      "{65BD0711-24D2-4FF7-9324-ED2E5D3ABAF}",    // one digit short
      "{65BD0711-24D2-4FF7-9324-ED2E5D3ABAFA",    // no closing brace
      "65BD0711-24D2-4FF7-9324-ED2E5D3ABAFA}",    // no opening brace
      "(65BD0711-24D2-4FF7-9324-ED2E5D3ABAFA)",
      "{65BD0711_24D2-4FF7-9324-ED2E5D3ABAFA}",
      "{65BD0711-24D2-4FF7-9324-ED2E5D3ABAFG}",
      "{65BD071G-24D2-4FF7-9324-ED2E5D3ABAFA}",
      " {65BD0711-24D2-4FF7-9324-ED2E5D3ABAFA}",
      "{+5BD0711-24D2-4FF7-9324-ED2E5D3ABAFA}",
      "{65BD0711-24D2-4FF7-9324-ED2E5D3ABAFA}x",
  };
  for (const char* t : bad) {
    SCOPED_TRACE(t);
    EXPECT_FALSE(GuidFromString(t).has_value());
  }
}

// ---- BSTR ----

TEST(Bstr, NullStaysDistinctFromEmpty) {
  Bstr null;
  Bstr fromNullPointer(static_cast<const char*>(nullptr));
  Bstr empty("");
  Bstr emptyUtf16(u"");
  EXPECT_TRUE(null.IsNull());
  EXPECT_TRUE(fromNullPointer.IsNull());
  EXPECT_FALSE(empty.IsNull());
  EXPECT_FALSE(emptyUtf16.IsNull());
  EXPECT_FALSE(Bstr(std::string()).IsNull());
  EXPECT_NE(null, empty);
  EXPECT_EQ(empty, emptyUtf16);
  EXPECT_EQ(null.Length(), 0u);
  EXPECT_EQ(null.Utf8(), "");
  EXPECT_TRUE(null.Utf16().empty());
  // A Variant keeps the distinction.
  Variant v{Bstr()};
  EXPECT_TRUE(v.bstr().IsNull());
  EXPECT_EQ(CStr(v), "");
}

TEST(Bstr, Utf8AndUtf16RoundTrip) {
  struct Case {
    const char* utf8;
    std::u16string utf16;
  };
  const Case cases[] = {
      {"plain", u"plain"},
      {"\xC3\xA9t\xC3\xA9", u"\u00E9t\u00E9"},
      {"\xE2\x82\xAC", u"\u20AC"},
      {"\xF0\x9D\x84\x9E", u"\U0001D11E"},  // outside the BMP: a surrogate pair
      {"a\xF0\x9F\x98\x80z", u"a\U0001F600z"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.utf8);
    Bstr b(c.utf8);
    EXPECT_EQ(b.Utf16(), c.utf16);
    EXPECT_EQ(b.Utf8(), c.utf8);
    EXPECT_EQ(Bstr(c.utf16).Utf8(), c.utf8);
  }
  EXPECT_EQ(Bstr("\xF0\x9D\x84\x9E").Length(), 2u);
}

TEST(Bstr, MalformedTextBecomesReplacementCharacters) {
  struct Case {
    std::string utf8;
    std::u16string utf16;
  };
  const Case cases[] = {
      {"a\xFF" "b", u"a\uFFFDb"},
      {"\xC3", u"\uFFFD"},                 // cut short
      {"\xC0\xAF", u"\uFFFD\uFFFD"},       // overlong "/"
      {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},  // an encoded surrogate
      {"\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},  // beyond U+10FFFF
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.utf8));
    EXPECT_EQ(Utf8ToUtf16(c.utf8), c.utf16);
  }
  // A lone surrogate in UTF-16 text reads as U+FFFD.
  EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD");
}

// ---- VARIANT ----

TEST(Variant, CopiesAreIndependentAndArraysAreCopied) {
  Variant text("abc");
  Variant copy = text;
  EXPECT_EQ(copy, text);
  Variant bytes(std::vector<uint8_t>{1, 2, 3}, 1);
  Variant bytesCopy = bytes;
  ASSERT_TRUE(bytesCopy.IsArray());
  EXPECT_NE(bytesCopy.array().get(), bytes.array().get());
  bytesCopy.array()->bytes[0] = 9;
  EXPECT_EQ(bytes.array()->bytes[0], 1);
  EXPECT_EQ(bytesCopy.array()->lowerBound, 1);
  Variant assigned;
  assigned = bytes;
  assigned.array()->bytes[1] = 7;
  EXPECT_EQ(bytes.array()->bytes[1], 2);
  Variant moved = std::move(assigned);
  EXPECT_EQ(moved.array()->bytes[1], 7);
  EXPECT_TRUE(assigned.IsEmpty());  // NOLINT: a moved-from Variant is Empty
  // Self-assignment keeps the value.
  Variant& self = moved;
  moved = self;
  EXPECT_EQ(moved.array()->bytes[1], 7);
}

TEST(Variant, ByReferenceAssignConvertsWithTheRuntimesRules) {
  int16_t i2 = 0;
  int32_t i4 = 0;
  float r4 = 0;
  double r8 = 0;
  VARIANT_BOOL b = 0;
  uint8_t ui1 = 0;
  Bstr text;
  struct Case {
    Variant target;
    Variant value;
    int32_t error;
  };
  const Case cases[] = {
      {Variant::ByRef(VT_I2, &i2), Variant(2.5), 0},
      {Variant::ByRef(VT_I4, &i4), Variant("1,234"), 0},
      {Variant::ByRef(VT_R4, &r4), Variant("0.5"), 0},
      {Variant::ByRef(VT_R8, &r8), Variant(int16_t{-3}), 0},
      {Variant::ByRef(VT_BOOL, &b), Variant("True"), 0},
      {Variant::ByRef(VT_UI1, &ui1), Variant(254.5), 0},
      {Variant::ByRef(VT_BSTR, &text), Variant(1.5), 0},
  };
  for (const auto& c : cases) {
    Variant target = c.target;
    target.Assign(c.value);
  }
  EXPECT_EQ(i2, 2);
  EXPECT_EQ(i4, 1234);
  EXPECT_EQ(r4, 0.5f);
  EXPECT_EQ(r8, -3.0);
  EXPECT_EQ(b, VARIANT_TRUE);
  EXPECT_EQ(ui1, 254);
  EXPECT_EQ(text.Utf8(), "1.5");
  // Deref reads the storage back.
  EXPECT_EQ(Variant::ByRef(VT_I2, &i2).Deref(), Variant(int16_t{2}));
  EXPECT_EQ(Variant::ByRef(VT_BOOL, &b).Deref(), Variant(true));

  // Failures leave the target as it was.
  const Case failing[] = {
      {Variant::ByRef(VT_I2, &i2), Variant(32767.5), vbErrOverflow},
      {Variant::ByRef(VT_I2, &i2), Variant("40000"), vbErrOverflow},
      {Variant::ByRef(VT_I4, &i4), Variant(3e9), vbErrOverflow},
      {Variant::ByRef(VT_UI1, &ui1), Variant(-1), vbErrOverflow},
      {Variant::ByRef(VT_R4, &r4), Variant(1e300), vbErrOverflow},
      {Variant::ByRef(VT_I4, &i4), Variant("abc"), vbErrTypeMismatch},
      {Variant::ByRef(VT_I4, &i4), Variant::Null(), 94},
      {Variant::ByRef(VT_BSTR, &text), Variant::Null(), 94},
  };
  for (const auto& c : failing) {
    SCOPED_TRACE(testing::Message() << "target vt " << c.target.vt());
    Variant target = c.target;
    EXPECT_EQ(ErrorOf([&] { target.Assign(c.value); }), c.error);
  }
  EXPECT_EQ(i2, 2);
  EXPECT_EQ(i4, 1234);
  EXPECT_EQ(ui1, 254);
  EXPECT_EQ(r4, 0.5f);
  EXPECT_EQ(text.Utf8(), "1.5");

  // A by-reference Variant slot takes the value as it is; a plain Variant is replaced.
  Variant slot;
  Variant ref = Variant::ByRef(VT_VARIANT, &slot);
  ref.Assign(Variant("x"));
  EXPECT_EQ(slot, Variant("x"));
  Variant plain(5);
  plain.Assign(Variant(2.5));
  EXPECT_EQ(plain, Variant(2.5));
  // A by-reference array receives a copy.
  std::shared_ptr<SafeArray> arr;
  Variant source(std::vector<uint8_t>{4, 5});
  Variant::ByRef(static_cast<VARTYPE>(VT_ARRAY | VT_UI1), &arr).Assign(source);
  ASSERT_TRUE(arr);
  arr->bytes[0] = 0;
  EXPECT_EQ(source.array()->bytes[0], 4);
  EXPECT_EQ(ErrorOf([] { Variant::ByRef(VT_I4, nullptr).Assign(Variant(1)); }), vbErrObjectNotSet);
}

// A dispatch object with a default value, counting its references.
class ValueObject : public IDispatch {
 public:
  explicit ValueObject(Variant value) : value_(std::move(value)) {}
  HRESULT QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDispatch) {
      *ppv = static_cast<IDispatch*>(this);
      AddRef();
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return ++refs_; }
  ULONG Release() override { return --refs_; }
  HRESULT GetTypeInfoCount(uint32_t* n) override { *n = 0; return S_OK; }
  HRESULT GetTypeInfo(uint32_t, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT GetIDsOfNames(REFIID, const char16_t**, uint32_t, LCID, DISPID*) override { return DISP_E_UNKNOWNNAME; }
  HRESULT Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT* result, EXCEPINFO*, uint32_t*) override {
    if (id != DISPID_VALUE || value_.IsEmpty()) return DISP_E_MEMBERNOTFOUND;
    if (result) *result = value_;
    return S_OK;
  }
  ULONG refs() const { return refs_; }

 private:
  Variant value_;
  ULONG refs_ = 0;
};

TEST(Variant, ObjectsConvertThroughTheirDefaultValue) {
  ValueObject withValue(Variant("42"));
  ValueObject without{Variant()};
  {
    Variant v(static_cast<IDispatch*>(&withValue));
    EXPECT_EQ(withValue.refs(), 1u);
    EXPECT_EQ(CStr(v), "42");
    EXPECT_EQ(CLng(v), 42);
    Variant w(static_cast<IDispatch*>(&without));
    EXPECT_EQ(ErrorOf([&] { CStr(w); }), vbErrObjectDoesntSupport);
    ComPtr<IDispatch> slot;
    Variant::ByRef(VT_DISPATCH, &slot).Assign(Variant(static_cast<IUnknown*>(&withValue)));
    EXPECT_EQ(slot.Get(), &withValue);
  }
  EXPECT_EQ(withValue.refs(), 0u);
  EXPECT_EQ(without.refs(), 0u);
  EXPECT_EQ(ErrorOf([] { CStr(Variant(static_cast<IDispatch*>(nullptr))); }), vbErrObjectNotSet);
}

// ---- error regime ----

TEST(ErrorRegime, HelpersTrapIntoErr) {
  Err().Clear();
  int after = 0;
  EXPECT_FALSE(Step([] { Raise(vbErrFileNotFound); }));
  EXPECT_EQ(Err().Number, vbErrFileNotFound);
  EXPECT_EQ(Err().Description, "File not found");
  after = 1;  // the next step runs
  EXPECT_TRUE(Step([&] { after = 2; }));
  EXPECT_EQ(after, 2);

  Err().Clear();
  EXPECT_TRUE(Met([]() -> bool { Raise(vbErrOverflow); }));
  EXPECT_EQ(Err().Number, vbErrOverflow);
  EXPECT_FALSE(Met([] { return false; }));
  EXPECT_TRUE(Met([] { return 1; }));

  int16_t kept = 7;
  kept = ValueOr(kept, [] { return CInt("99999"); });
  EXPECT_EQ(kept, 7);
  kept = ValueOr(kept, [] { return CInt("12"); });
  EXPECT_EQ(kept, 12);

  int reached = 0;
  EXPECT_FALSE(EndQuietly([&] {
    reached = 1;
    Check(E_FAIL, "Graph");
    reached = 2;
  }));
  EXPECT_EQ(reached, 1);
  EXPECT_EQ(Err().Number, E_FAIL);
  EXPECT_EQ(Err().Description, "Automation error");
  EXPECT_EQ(Err().Source, "Graph");
  EXPECT_TRUE(EndQuietly([] {}));

  Err().Clear();
  EXPECT_EQ(Err().Number, 0);
  EXPECT_TRUE(Err().Description.empty());
}

TEST(ErrorRegime, OtherExceptionsBecomeRuntimeErrors) {
  Step([] { throw std::bad_alloc(); });
  EXPECT_EQ(Err().Number, vbErrOutOfMemory);
  Step([] { throw std::out_of_range("index"); });
  EXPECT_EQ(Err().Number, vbErrSubscriptOutOfRange);
  Step([] { throw std::runtime_error("odd"); });
  EXPECT_EQ(Err().Number, vbErrInvalidProcedureCall);
}

TEST(ErrorRegime, RaiseCheckAndDescriptions) {
  EXPECT_EQ(Check(S_FALSE), S_FALSE);
  EXPECT_EQ(ErrorOf([] { Check(VFW_E_NOT_CONNECTED); }), VFW_E_NOT_CONNECTED);
  try {
    Err().Raise(vbErrUserDefined + 5, "custom", "Module1");
    FAIL() << "no error raised";
  } catch (const VBError& e) {
    EXPECT_EQ(e.Number(), 1009);
    EXPECT_EQ(e.Description(), "custom");
    EXPECT_EQ(e.Source(), "Module1");
    EXPECT_STREQ(e.what(), "error 1009: custom");
  }
  struct Case {
    int32_t number;
    const char* text;
  };
  const Case cases[] = {
      {5, "Invalid procedure call or argument"}, {6, "Overflow"},  {13, "Type mismatch"},
      {93, "Invalid pattern string"},            {94, "Invalid use of Null"},
      {E_FAIL, "Automation error"},              {30000, "Application-defined or object-defined error"},
  };
  for (const auto& c : cases) EXPECT_EQ(ErrorDescription(c.number), c.text);
}

// ---- message box ----

TEST(MsgBox, DefaultAnswerPerButtonSet) {
  struct Case {
    int buttons;
    int answer;
  };
  const Case cases[] = {
      {vbOKOnly, vbOK},
      {vbOKCancel, vbOK},
      {vbOKCancel | vbDefaultButton2, vbCancel},
      {vbAbortRetryIgnore, vbAbort},
      {vbAbortRetryIgnore | vbDefaultButton2, vbRetry},
      {vbAbortRetryIgnore | vbDefaultButton3, vbIgnore},
      {vbYesNoCancel | vbQuestion, vbYes},
      {vbYesNoCancel | vbDefaultButton3, vbCancel},
      {vbYesNo | vbCritical, vbYes},
      {vbYesNo | vbDefaultButton2, vbNo},
      {vbRetryCancel, vbRetry},
      {vbRetryCancel | vbDefaultButton2, vbCancel},
      {vbOKOnly | vbInformation | vbSystemModal, vbOK},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.buttons);
    EXPECT_EQ(DefaultMsgBoxAnswer(c.buttons), c.answer);
  }
}

TEST(MsgBox, HandlerReceivesTheBoxAndAnswers) {
  std::vector<MsgBoxRequest> seen;
  MsgBoxHandler previous = SetMsgBoxHandler([&](const MsgBoxRequest& r) {
    seen.push_back(r);
    return vbNo;
  });
  SetAppTitle("Reelwright");
  EXPECT_EQ(MsgBox("Save changes?", vbYesNo | vbQuestion), vbNo);
  EXPECT_EQ(MsgBox("Done", vbOKOnly, std::string("Title")), vbNo);
  EXPECT_EQ(MsgBox("Empty title", vbOKOnly, std::string()), vbNo);
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_EQ(seen[0].prompt, "Save changes?");
  EXPECT_EQ(seen[0].buttons, vbYesNo | vbQuestion);
  EXPECT_EQ(seen[0].title, "Reelwright");  // no title: the application's title
  EXPECT_EQ(seen[1].title, "Title");
  EXPECT_EQ(seen[2].title, "");

  // Restoring the default: no handler answers with the default button.
  MsgBoxHandler mine = SetMsgBoxHandler(previous);
  EXPECT_TRUE(static_cast<bool>(mine));
  SetMsgBoxHandler({});
  testing::internal::CaptureStderr();
  EXPECT_EQ(MsgBox("Proceed?", vbYesNo | vbDefaultButton2), vbNo);
  std::string printed = testing::internal::GetCapturedStderr();
  EXPECT_NE(printed.find("Proceed?"), std::string::npos);
  SetMsgBoxHandler(previous);
}

}  // namespace
