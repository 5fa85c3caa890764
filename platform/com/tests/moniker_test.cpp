// The Running Object Table, item monikers and display-name parsing; the task allocator.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "com/com.h"
#include "com/moniker.h"
#include "com/object.h"

namespace {

class IThing : public IUnknown {
 public:
  static constexpr IID iid = MakeGuid("{C4D2E6F8-0000-4000-8000-000000000001}");
};
class Thing final : public ComObject<IThing> {};

ComPtr<IMoniker> Item(const std::u16string& name) {
  ComPtr<IMoniker> m;
  EXPECT_EQ(CreateItemMoniker(u"!", name.c_str(), m.put()), S_OK);
  return m;
}

std::u16string DisplayName(IMoniker* m) {
  char16_t* name = nullptr;
  EXPECT_EQ(m->GetDisplayName(nullptr, nullptr, &name), S_OK);
  std::u16string out = name ? name : u"";
  CoTaskMemFree(name);
  return out;
}

TEST(RunningObjectTableTest, RegisteredObjectsAreFoundByNameUntilRevoked) {
  ComPtr<IRunningObjectTable> rot;
  ASSERT_EQ(GetRunningObjectTable(0, rot.put()), S_OK);
  auto graph = MakeComObject<Thing>();
  auto name = Item(u"FilterGraph 0000beef pid 00001234");
  EXPECT_EQ(DisplayName(name.Get()), u"!FilterGraph 0000beef pid 00001234");

  DWORD cookie = 0;
  ASSERT_EQ(rot->Register(0, graph.Get(), name.Get(), &cookie), S_OK);
  EXPECT_NE(cookie, 0u);
  EXPECT_EQ(rot->IsRunning(Item(u"filtergraph 0000BEEF PID 00001234").Get()), S_OK) << "names ignore letter case";

  // Another process's tool attaches through the display name.
  ComPtr<IBindCtx> ctx;
  ASSERT_EQ(CreateBindCtx(0, ctx.put()), S_OK);
  ComPtr<IMoniker> parsed;
  ULONG eaten = 0;
  ASSERT_EQ(MkParseDisplayName(ctx.Get(), u"!FilterGraph 0000beef pid 00001234", &eaten, parsed.put()), S_OK);
  EXPECT_EQ(eaten, 34u);
  EXPECT_EQ(parsed->IsRunning(ctx.Get(), nullptr, nullptr), S_OK);
  ComPtr<IUnknown> bound;
  ASSERT_EQ(parsed->BindToObject(ctx.Get(), nullptr, IID_IUnknown, bound.put_void()), S_OK);
  EXPECT_TRUE(IsSameObject(bound.Get(), graph.Get()));

  ComPtr<IEnumMoniker> running;
  ASSERT_EQ(rot->EnumRunning(running.put()), S_OK);
  bool listed = false;
  IMoniker* m = nullptr;
  while (running->Next(1, &m, nullptr) == S_OK) {
    listed |= m->IsEqual(name.Get()) == S_OK;
    m->Release();
  }
  EXPECT_TRUE(listed);

  DWORD second = 0;
  EXPECT_EQ(rot->Register(0, graph.Get(), name.Get(), &second), MK_S_MONIKERALREADYREGISTERED);
  EXPECT_EQ(rot->Revoke(second), S_OK);

  EXPECT_EQ(rot->Revoke(cookie), S_OK);
  EXPECT_EQ(rot->Revoke(cookie), E_INVALIDARG);
  EXPECT_EQ(rot->IsRunning(name.Get()), S_FALSE);
  ComPtr<IUnknown> gone;
  EXPECT_EQ(rot->GetObject(name.Get(), gone.put()), MK_E_UNAVAILABLE);
  EXPECT_EQ(parsed->BindToObject(ctx.Get(), nullptr, IID_IUnknown, gone.put_void()), MK_E_NOOBJECT);
}

TEST(RunningObjectTableTest, TheTableHoldsItsObjectsUntilRevoked) {
  ComPtr<IRunningObjectTable> rot;
  GetRunningObjectTable(0, rot.put());
  auto* raw = new Thing;
  ComPtr<IUnknown> object(raw);
  DWORD cookie = 0;
  ASSERT_EQ(rot->Register(ROTFLAGS_REGISTRATIONKEEPSALIVE, object.Get(), Item(u"kept").Get(), &cookie), S_OK);
  object = nullptr;
  ComPtr<IUnknown> again;
  ASSERT_EQ(rot->GetObject(Item(u"KEPT").Get(), again.put()), S_OK);
  EXPECT_TRUE(IsSameObject(again.Get(), raw->Unknown()));
  EXPECT_EQ(rot->Revoke(cookie), S_OK);
  EXPECT_EQ(rot->Register(0, nullptr, Item(u"x").Get(), &cookie), E_INVALIDARG);
}

// A moniker of another kind that knows only itself.
class FixedMoniker final : public ComObject<IMoniker> {
 public:
  HRESULT BindToObject(IBindCtx*, IMoniker*, REFIID, void**) override { return E_NOTIMPL; }
  HRESULT BindToStorage(IBindCtx*, IMoniker*, REFIID, void**) override { return E_NOTIMPL; }
  HRESULT GetDisplayName(IBindCtx*, IMoniker*, char16_t** name) override {
    static const std::u16string text = u"!Shared Name";
    *name = static_cast<char16_t*>(CoTaskMemAlloc((text.size() + 1) * sizeof(char16_t)));
    std::memcpy(*name, text.c_str(), (text.size() + 1) * sizeof(char16_t));
    return S_OK;
  }
  HRESULT IsEqual(IMoniker* other) override { return other == this ? S_OK : S_FALSE; }
  HRESULT Hash(DWORD* h) override {
    *h = 1;
    return S_OK;
  }
  HRESULT IsRunning(IBindCtx*, IMoniker*, IMoniker*) override { return S_FALSE; }
};

TEST(RunningObjectTableTest, MonikersOfDifferentKindsMatchByDisplayName) {
  ComPtr<IRunningObjectTable> rot;
  GetRunningObjectTable(0, rot.put());
  auto object = MakeComObject<Thing>();
  DWORD cookie = 0;
  ASSERT_EQ(rot->Register(0, object.Get(), MakeComObject<FixedMoniker>().Get(), &cookie), S_OK);
  ComPtr<IUnknown> found;
  EXPECT_EQ(rot->GetObject(Item(u"Shared Name").Get(), found.put()), S_OK);
  EXPECT_EQ(rot->GetObject(Item(u"Other Name").Get(), found.put()), MK_E_UNAVAILABLE);
  EXPECT_EQ(rot->Revoke(cookie), S_OK);
}

TEST(DisplayNameTest, ParsesItemsAndRegisteredPrefixesAndRefusesTheRest) {
  ComPtr<IBindCtx> ctx;
  CreateBindCtx(0, ctx.put());
  struct Case {
    std::u16string text;
    HRESULT hr;
    std::u16string display;
  } cases[] = {
      {u"!stream", S_OK, u"!stream"},
      {u"/item", S_OK, u"/item"},
      {u"!", MK_E_SYNTAX, u""},
      {u"", MK_E_SYNTAX, u""},
      {u"plain words", MK_E_SYNTAX, u""},
  };
  for (const auto& c : cases) {
    ComPtr<IMoniker> m;
    ULONG eaten = 99;
    EXPECT_EQ(MkParseDisplayName(ctx.Get(), c.text.c_str(), &eaten, m.put()), c.hr);
    if (c.hr == S_OK) {
      EXPECT_EQ(DisplayName(m.Get()), c.display);
      EXPECT_EQ(eaten, c.text.size());
    } else {
      EXPECT_FALSE(m);
      EXPECT_EQ(eaten, 0u);
    }
  }
  std::u16string seen;
  RegisterDisplayNameParser(u"@thing:", [&](IBindCtx*, std::u16string_view name, ULONG* eaten, IMoniker** out) {
    seen = name;
    *eaten = static_cast<ULONG>(name.size());
    return CreateItemMoniker(u"!", name.data() + 7, out);
  });
  ComPtr<IMoniker> m;
  ULONG eaten = 0;
  ASSERT_EQ(MkParseDisplayName(ctx.Get(), u"@THING:cm:{1}", &eaten, m.put()), S_OK);
  EXPECT_EQ(seen, u"@THING:cm:{1}");
  EXPECT_EQ(DisplayName(m.Get()), u"!cm:{1}");
}

TEST(TaskMemoryTest, AllocatesGrowsAndFrees) {
  auto* p = static_cast<char*>(CoTaskMemAlloc(4));
  ASSERT_NE(p, nullptr);
  std::memcpy(p, "abc", 4);
  p = static_cast<char*>(CoTaskMemRealloc(p, 4096));
  ASSERT_NE(p, nullptr);
  EXPECT_STREQ(p, "abc");
  CoTaskMemFree(p);
  CoTaskMemFree(nullptr);
  void* empty = CoTaskMemAlloc(0);
  EXPECT_NE(empty, nullptr);
  CoTaskMemFree(empty);
}

}  // namespace
