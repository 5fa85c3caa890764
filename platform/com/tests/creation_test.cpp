// Class creation: platform classes registered in the process, classes named by the registry,
// ProgIDs in both forms, aggregation, and the failures a caller must be able to tell apart.
#include <gtest/gtest.h>

#include <string>

#include "com/aggregate.h"
#include "com/com.h"
#include "com/interfaces.h"
#include "broken_libraries.h"
#include "core/error.h"
#include "private_registry.h"
#include "registry/registry.h"

namespace {

class IWidget : public IUnknown {
 public:
  static constexpr IID iid = MakeGuid("{D5E3F7A9-0000-4000-8000-000000000001}");
  virtual int32_t Spin() = 0;
};

class IGadget : public IUnknown {
 public:
  static constexpr IID iid = MakeGuid("{D5E3F7A9-0000-4000-8000-000000000002}");
  virtual int32_t Count() = 0;
};

constexpr CLSID kWidget = MakeGuid("{D5E3F7A9-0000-4000-8000-000000000010}");
constexpr CLSID kPlainWidget = MakeGuid("{D5E3F7A9-0000-4000-8000-000000000011}");
constexpr CLSID kMissingLibrary = MakeGuid("{D5E3F7A9-0000-4000-8000-000000000012}");
constexpr CLSID kNoExport = MakeGuid("{D5E3F7A9-0000-4000-8000-000000000013}");
constexpr CLSID kNowhere = MakeGuid("{D5E3F7A9-0000-4000-8000-000000000014}");

int livingWidgets = 0;

class Widget : public ComObject<IWidget> {
 public:
  Widget() { ++livingWidgets; }
  ~Widget() override { --livingWidgets; }
  int32_t Spin() override { return ++spins_; }

 private:
  int32_t spins_ = 0;
};

// An outer object that takes a Widget in and answers IWidget through it.
class Gadget final : public ComObject<IGadget> {
 public:
  Gadget() {
    HRESULT hr = CoCreateInstance(kWidget, Unknown(), CLSCTX_INPROC_SERVER, IID_IUnknown, inner_.put_void());
    EXPECT_EQ(hr, S_OK);
  }
  int32_t Count() override { return 1; }

 protected:
  HRESULT QueryOther(REFIID riid, void** ppv) override {
    if (riid == IWidget::iid && inner_) return inner_->QueryInterface(riid, ppv);
    return E_NOINTERFACE;
  }

 private:
  ComPtr<IUnknown> inner_;
};

std::string LastErrorDescription() {
  ComPtr<IErrorInfo> info;
  if (GetErrorInfo(0, info.put()) != S_OK) return {};
  Bstr d;
  info->GetDescription(&d);
  return d.Utf8();
}

class CreationTest : public ::testing::Test {
 protected:
  static void TearDownTestSuite() {
    delete registryFolder_;
    registryFolder_ = nullptr;
  }
  static void SetUpTestSuite() {
    registryFolder_ = new PrivateRegistryFolder;
    RegisterPlatformClass(kWidget, "Platform.Widget.1", AggregatableCreator<Widget>());
    RegisterPlatformClass(kPlainWidget, "Platform.PlainWidget", PlainCreator<Widget>());
  }
  static void RegisterServer(REFCLSID clsid, const std::string& progId, const std::string& module) {
    const std::string key = "CLSID\\" + GuidToString(clsid);
    ASSERT_TRUE(registry::WriteString(HKEY_CLASSES_ROOT, key + "\\InprocServer32", "", module));
    ASSERT_TRUE(registry::WriteString(HKEY_CLASSES_ROOT, progId + "\\CLSID", "", GuidToString(clsid)));
  }
  static PrivateRegistryFolder* registryFolder_;
};
PrivateRegistryFolder* CreationTest::registryFolder_ = nullptr;

TEST_F(CreationTest, PlatformClassesAreCreatedByClassIdAndByEitherProgId) {
  for (const std::string& name : std::vector<std::string>{"Platform.Widget.1", "platform.widget", GuidToString(kWidget)}) {
    SCOPED_TRACE(name);
    CLSID clsid;
    ASSERT_EQ(CLSIDFromString(name, &clsid), S_OK);
    EXPECT_EQ(clsid, kWidget);
    auto widget = CreateObject<IWidget>(name);
    ASSERT_TRUE(widget);
    EXPECT_EQ(widget->Spin(), 1);
  }
  std::string progId;
  EXPECT_EQ(ProgIDFromCLSID(kWidget, &progId), S_OK);
  EXPECT_EQ(progId, "Platform.Widget.1");
  EXPECT_EQ(livingWidgets, 0);
}

TEST_F(CreationTest, AggregationDelegatesToTheOuterObject) {
  auto gadget = MakeComObject<Gadget>();
  ComPtr<IWidget> widget;
  ASSERT_EQ(gadget->QueryInterface(IWidget::iid, widget.put_void()), S_OK);
  EXPECT_EQ(widget->Spin(), 1);
  // The inner object's interfaces answer for the outer object's identity.
  ComPtr<IGadget> back;
  ASSERT_EQ(widget->QueryInterface(IGadget::iid, back.put_void()), S_OK);
  EXPECT_TRUE(IsSameObject(back.Get(), gadget.Get()));
  EXPECT_EQ(livingWidgets, 1);
  gadget = nullptr;
  back = nullptr;
  EXPECT_EQ(livingWidgets, 1) << "the widget reference keeps the whole object";
  widget = nullptr;
  EXPECT_EQ(livingWidgets, 0);

  // COM's rules: an aggregate asks for IUnknown; a class without aggregation refuses it.
  auto outer = MakeComObject<Gadget>();
  ComPtr<IWidget> direct;
  EXPECT_EQ(CoCreateInstance(kWidget, outer->Unknown(), CLSCTX_ALL, IWidget::iid, direct.put_void()), E_INVALIDARG);
  ComPtr<IUnknown> refused;
  EXPECT_EQ(CoCreateInstance(kPlainWidget, outer->Unknown(), CLSCTX_ALL, IID_IUnknown, refused.put_void()),
            CLASS_E_NOAGGREGATION);
  EXPECT_NE(LastErrorDescription().find("cannot be aggregated"), std::string::npos);
}

TEST_F(CreationTest, FailuresAreToldApartAndExplained) {
  RegisterServer(kMissingLibrary, "Broken.Missing", "/nonexistent/folder/Missing.so");
  RegisterServer(kNoExport, "Broken.NoExport", PLATFORM_CORE_LIBRARY);
  struct Case {
    std::string name;
    HRESULT hr;
    std::string explanation;
  } cases[] = {
      {"Broken.Missing", CO_E_DLLNOTFOUND, "/nonexistent/folder/Missing.so"},
      {"Broken.NoExport", CO_E_ERRORINDLL, "does not export DllGetClassObject"},
      {"Nobody.Registered", CO_E_CLASSSTRING, "Nobody.Registered is not registered"},
      {"{not a guid}", CO_E_CLASSSTRING, "Invalid class string"},
      {GuidToString(kNowhere), REGDB_E_CLASSNOTREG, "Class not registered"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ComPtr<IUnknown> object;
    EXPECT_EQ(CreateObjectByName(c.name, IID_IUnknown, object.put_void()), c.hr);
    EXPECT_FALSE(object);
    EXPECT_NE(LastErrorDescription().find(c.explanation), std::string::npos);
    try {
      CreateObject<IUnknown>(c.name);
      ADD_FAILURE() << "no error raised";
    } catch (const VBError& e) {
      EXPECT_EQ(e.Number(), vbErrCantCreateObject);
      EXPECT_EQ(e.Description(), "ActiveX component can't create object");
      EXPECT_EQ(e.Source(), c.name);
    }
  }
  ComPtr<IWidget> wrong;
  EXPECT_EQ(CoCreateInstance(kPlainWidget, nullptr, CLSCTX_ALL, IGadget::iid, wrong.put_void()), E_NOINTERFACE);
  EXPECT_EQ(CoCreateInstance(kWidget, nullptr, CLSCTX_ALL, IWidget::iid, nullptr), E_POINTER);
}

// A library cut short used to kill the process inside the loader (SIGBUS), a FIFO to block it.
TEST_F(CreationTest, DamagedLibrariesAndNonFilesAreRefusedWithAReason) {
  const char* scratch = std::getenv("SUITE_TEST_SCRATCH");
  const std::string folder = std::string(scratch ? scratch : "/tmp") + "/broken-libraries";
  ASSERT_FALSE(SystemLibraryPath().empty());
  int n = 0;
  for (const BrokenLibrary& b : MakeBrokenLibraries(folder)) {
    SCOPED_TRACE(b.name);
    const CLSID clsid = *GuidFromString("{D5E3F7A9-0000-4000-8000-0000000001" + std::to_string(10 + n++) + "}");
    const std::string path = folder + "/" + b.name;
    RegisterServer(clsid, "Broken." + b.name.substr(0, b.name.size() - 3), path);
    ComPtr<IUnknown> object;
    EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, object.put_void()), b.hr);
    EXPECT_FALSE(object);
    const std::string description = LastErrorDescription();
    EXPECT_NE(description.find(path), std::string::npos) << description;
    EXPECT_NE(description.find(b.explanation), std::string::npos) << description;
    EXPECT_FALSE(IsLibraryLoaded(path));
  }
}

TEST_F(CreationTest, VersionIndependentProgIdsFollowTheirCurrentVersion) {
  RegisterServer(kMissingLibrary, "Chain.Thing.2", "/nonexistent/Chain.so");
  ASSERT_TRUE(registry::WriteString(HKEY_CLASSES_ROOT, "Chain.Thing\\CurVer", "", "Chain.Thing.2"));
  CLSID clsid;
  ASSERT_EQ(CLSIDFromProgID("Chain.Thing", &clsid), S_OK);
  EXPECT_EQ(clsid, kMissingLibrary);
  ASSERT_TRUE(registry::WriteString(HKEY_CLASSES_ROOT, "Chain.Bad\\CLSID", "", "garbage"));
  EXPECT_EQ(CLSIDFromProgID("Chain.Bad", &clsid), CO_E_CLASSSTRING);
}

}  // namespace
