// The test server end to end: regsvr registers it into this test's registry, a second process
// creates it by ProgID and calls it by name, this process calls it by name and by DISPID and
// sinks its event, and unregistration removes exactly the keys registration wrote.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "com/com.h"
#include "com/connection.h"
#include "com/dispatch.h"
#include "com/typeinfo.h"
#include "core/error.h"
#include "private_registry.h"
#include "broken_libraries.h"
#include "probe.h"
#include "registry/registry.h"

namespace {

namespace fs = std::filesystem;

struct RunResult {
  int exitCode = -1;
  std::string out;
  std::string err;
};

std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

std::string ReadFile(const fs::path& p) {
  std::ifstream in(p);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// Runs a program with this test's environment (its private registry included).
RunResult RunProgram(const std::string& program, const std::vector<std::string>& args) {
  const char* scratch = std::getenv("SUITE_TEST_SCRATCH");
  fs::path dir = scratch ? fs::path(scratch) : fs::temp_directory_path();
  fs::create_directories(dir);
  fs::path out = dir / "run.out", err = dir / "run.err";
  std::string cmd = Quote(program);
  for (const auto& a : args) cmd += " " + Quote(a);
  cmd += " >" + Quote(out.string()) + " 2>" + Quote(err.string());
  int status = std::system(cmd.c_str());
  RunResult r;
  r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  r.out = ReadFile(out);
  r.err = ReadFile(err);
  return r;
}

std::string Regsvr() {
  const char* bin = std::getenv("SUITE_BIN_DIR");
  return std::string(bin ? bin : ".") + "/regsvr";
}

// Every key and value below HKEY_CLASSES_ROOT, one line each.
void DumpKey(const std::string& path, std::vector<std::string>& lines) {
  lines.push_back("[" + path + "]");
  HKEY key = 0;
  if (RegOpenKeyEx(HKEY_CLASSES_ROOT, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return;
  for (DWORD i = 0;; ++i) {
    char name[512];
    BYTE data[4096];
    DWORD cchName = sizeof name, cbData = sizeof data, type = 0;
    if (RegEnumValue(key, i, name, &cchName, nullptr, &type, data, &cbData) != ERROR_SUCCESS) break;
    lines.push_back(path + " \"" + std::string(name, cchName) + "\"=" + std::to_string(type) + ":" +
                    std::string(reinterpret_cast<char*>(data), cbData));
  }
  RegCloseKey(key);
  for (const auto& sub : registry::SubKeys(HKEY_CLASSES_ROOT, path))
    DumpKey(path.empty() ? sub : path + "\\" + sub, lines);
}

std::vector<std::string> Dump() {
  std::vector<std::string> lines;
  DumpKey("", lines);
  return lines;
}

std::optional<std::string> Read(const std::string& path, const std::string& name = "") {
  return registry::ReadString(HKEY_CLASSES_ROOT, path, name);
}

class ServerTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // A registry of this run alone (an interrupted earlier run may have left its keys).
    registryFolder_ = new PrivateRegistryFolder;
    fs::remove_all(registry::Folder());
    // Registrations of other libraries that must survive ours.
    registry::WriteString(HKEY_CLASSES_ROOT, "CLSID\\{11111111-2222-3333-4444-555555555555}\\InprocServer32", "", "/x/Other.so");
    registry::WriteString(HKEY_CLASSES_ROOT, "Interface\\{11111111-2222-3333-4444-666666666666}", "", "IOther");
    registry::WriteString(HKEY_CLASSES_ROOT, "TypeLib\\{11111111-2222-3333-4444-777777777777}\\1.0", "", "Other");
    before_ = new std::vector<std::string>(Dump());
    RunResult r = RunProgram(Regsvr(), {"/s", COM_TEST_SERVER});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out + r.err, "") << "/s reports nothing";
  }
  static void TearDownTestSuite() {
    delete before_;
    before_ = nullptr;
    delete registryFolder_;
    registryFolder_ = nullptr;
  }
  static std::vector<std::string>* before_;
  static PrivateRegistryFolder* registryFolder_;
};
std::vector<std::string>* ServerTest::before_ = nullptr;
PrivateRegistryFolder* ServerTest::registryFolder_ = nullptr;

TEST_F(ServerTest, RegistrationWritesTheClassProgIdsAndTypeLibrary) {
  const std::string clsid = GuidToString(probe::kClsidProbe);
  const std::string libid = GuidToString(probe::kLibId);
  const std::string module = fs::canonical(COM_TEST_SERVER).string();
  struct Case {
    std::string key, value, expected;
  } cases[] = {
      {"SuiteTest.Probe.1", "", "Probe Class"},
      {"SuiteTest.Probe.1\\CLSID", "", clsid},
      {"SuiteTest.Probe", "", "Probe Class"},
      {"SuiteTest.Probe\\CLSID", "", clsid},
      {"SuiteTest.Probe\\CurVer", "", "SuiteTest.Probe.1"},
      {"CLSID\\" + clsid, "", "Probe Class"},
      {"CLSID\\" + clsid + "\\ProgID", "", "SuiteTest.Probe.1"},
      {"CLSID\\" + clsid + "\\VersionIndependentProgID", "", "SuiteTest.Probe"},
      {"CLSID\\" + clsid + "\\InprocServer32", "", module},
      {"CLSID\\" + clsid + "\\InprocServer32", "ThreadingModel", "Apartment"},
      {"CLSID\\" + clsid + "\\Programmable", "", ""},
      {"CLSID\\" + clsid + "\\TypeLib", "", libid},
      {"TypeLib\\" + libid + "\\1.0", "", "Suite test probe"},
      {"TypeLib\\" + libid + "\\1.0\\0\\linux", "", module},
      {"Interface\\" + GuidToString(probe::kIidProbe), "", "IProbe"},
      {"Interface\\" + GuidToString(probe::kIidProbe) + "\\TypeLib", "", libid},
      {"Interface\\" + GuidToString(probe::kDiidProbeEvents), "", "_IProbeEvents"},
  };
  for (const auto& c : cases) EXPECT_EQ(Read(c.key, c.value), c.expected) << c.key << " " << c.value;

  // Registering again leaves one clean set of keys.
  std::vector<std::string> once = Dump();
  RunResult r = RunProgram(Regsvr(), {COM_TEST_SERVER});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.out.find("DllRegisterServer"), std::string::npos);
  EXPECT_NE(r.out.find("succeeded"), std::string::npos);
  EXPECT_EQ(Dump(), once);
}

TEST_F(ServerTest, ASecondProcessCreatesItByProgIdAndCallsItByName) {
  RunResult r = RunProgram(PROBE_CLIENT, {});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out,
            "library SuiteTestProbeLib\n"
            "Add 42\n"
            "Greet Hello, World.\n"
            "Label from another process\n"
            "Twice 42\n"
            "Fail 1004 The probe failed as asked (code 1004)\n"
            "Explode 438\n");
}

TEST_F(ServerTest, CallsByNameAndByDispIdReachTheObject) {
  ComPtr<IDispatch> probeObject = CreateObject<IDispatch>(probe::kProgId);
  IDispatch* o = probeObject.Get();
  EXPECT_EQ(GetDispId(o, "announce"), probe::kAnnounce);
  EXPECT_EQ(InvokeDispatch(o, probe::kAdd, DISPATCH_METHOD, {Variant(int32_t{-5}), Variant("7")}), Variant(int32_t{2}));
  EXPECT_EQ(InvokeDispatch(o, probe::kGreet, DISPATCH_METHOD, {Variant("you"), Variant("?")}), Variant("Hello, you?"));
  InvokeDispatch(o, probe::kLabel, DISPATCH_PROPERTYPUT, {Variant("by id")});
  EXPECT_EQ(CallByName(o, "Label", DISPATCH_PROPERTYGET), Variant("by id"));
  Variant slot(int32_t{8});
  CallByName(o, "Twice", DISPATCH_METHOD, {Variant::ByRef(VT_VARIANT, &slot)});
  EXPECT_EQ(slot, Variant(int32_t{16}));

  // The early-bound slots of the dual interface reach the same object.
  ComPtr<IProbe> early;
  ASSERT_EQ(probeObject.As(early), S_OK);
  Bstr label;
  EXPECT_EQ(early->get_Label(&label), S_OK);
  EXPECT_EQ(label.Utf8(), "by id");
  int32_t big = 0x40000000;
  EXPECT_EQ(early->Twice(&big), MakeHResult(0x800A0006)) << "overflow";

  struct Case {
    const char* what;
    DISPID id;
    std::vector<Variant> args;
    int32_t number;
  } failures[] = {
      {"unknown DISPID", 77, {}, vbErrObjectDoesntSupport},
      {"type mismatch", probe::kAdd, {Variant("two"), Variant(int32_t{2})}, vbErrTypeMismatch},
      {"member's own failure", probe::kFail, {Variant(int32_t{5})}, 5},
      {"overflow inside the member", probe::kAdd, {Variant(int32_t{0x7FFFFFFF}), Variant(int32_t{1})}, vbErrOverflow},
  };
  for (const auto& c : failures) {
    SCOPED_TRACE(c.what);
    try {
      InvokeDispatch(o, c.id, DISPATCH_METHOD, c.args);
      ADD_FAILURE() << "no error raised";
    } catch (const VBError& e) {
      EXPECT_EQ(e.Number(), c.number);
    }
  }
}

TEST_F(ServerTest, TheEventReachesSinksWithItsArgumentsInOrder) {
  ComPtr<IDispatch> probeObject = CreateObject<IDispatch>(probe::kIndependentProgId);
  // The host learns the event interface from the object itself.
  ComPtr<IProvideClassInfo2> classInfo;
  ASSERT_EQ(probeObject.As(classInfo), S_OK);
  IID source;
  ASSERT_EQ(classInfo->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &source), S_OK);
  EXPECT_EQ(source, probe::kDiidProbeEvents);
  ComPtr<ITypeInfo> coclass;
  ASSERT_EQ(classInfo->GetClassInfo(coclass.put()), S_OK);
  EXPECT_EQ(coclass->Description().name, "Probe");

  std::vector<std::string> heard;
  auto first = MakeComObject<EventSink>(source);
  first->On(probe::kAnnounced, [&](SinkArgs& a) {
    ASSERT_EQ(a.Count(), 3u);
    heard.push_back("first " + a.String(0) + " " + std::to_string(a.Long(1)) + " " + (a.Bool(2) ? "T" : "F"));
    a.Set(2, Variant(true));
  });
  auto second = MakeComObject<EventSink>(source);
  second->On(probe::kAnnounced, [&](SinkArgs& a) {
    heard.push_back("second " + a.String(0) + " " + std::to_string(a.Long(1)) + " " + (a.Bool(2) ? "T" : "F"));
  });
  DWORD c1 = ConnectEvents(probeObject.Get(), source, first.Get());
  DWORD c2 = ConnectEvents(probeObject.Get(), source, second.Get());

  EXPECT_EQ(CallByName(probeObject.Get(), "Announce", DISPATCH_METHOD, {Variant("ready"), Variant(int32_t{3})}),
            Variant(true));
  EXPECT_EQ(heard, (std::vector<std::string>{"first ready 3 F", "second ready 3 T"}));

  DisconnectEvents(probeObject.Get(), source, c1);
  heard.clear();
  EXPECT_EQ(CallByName(probeObject.Get(), "Announce", DISPATCH_METHOD, {Variant("again"), Variant(int32_t{4})}),
            Variant(false));
  EXPECT_EQ(heard, (std::vector<std::string>{"second again 4 F"}));
  DisconnectEvents(probeObject.Get(), source, c2);
}

TEST_F(ServerTest, TheLibraryStaysLoadedWhileItsObjectsLive) {
  const std::string module = Read("CLSID\\" + GuidToString(probe::kClsidProbe) + "\\InprocServer32").value_or("");
  ComPtr<IDispatch> object = CreateObject<IDispatch>(probe::kProgId);
  CoFreeUnusedLibraries();
  EXPECT_TRUE(IsLibraryLoaded(module));
  object = nullptr;
  CoFreeUnusedLibraries();
  EXPECT_FALSE(IsLibraryLoaded(module));
  // And it comes back when asked again.
  EXPECT_EQ(CallByName(CreateObject<IDispatch>(probe::kProgId).Get(), "Add", DISPATCH_METHOD,
                       {Variant(int32_t{1}), Variant(int32_t{1})}),
            Variant(int32_t{2}));
}

// An object of the host that takes the probe in as a part of itself.
class IHolder : public IUnknown {
 public:
  static constexpr IID iid = MakeGuid("{E6F4A8B0-0000-4000-8000-000000000001}");
};
class Holder final : public ComObject<IHolder> {
 public:
  Holder() { hr = CoCreateInstance(probe::kClsidProbe, Unknown(), CLSCTX_INPROC_SERVER, IID_IUnknown, inner_.put_void()); }
  HRESULT hr;

 protected:
  HRESULT QueryOther(REFIID riid, void** ppv) override {
    return inner_ ? inner_->QueryInterface(riid, ppv) : E_NOINTERFACE;
  }

 private:
  ComPtr<IUnknown> inner_;
};

TEST_F(ServerTest, TheProbeCanBeAggregated) {
  const std::string module = Read("CLSID\\" + GuidToString(probe::kClsidProbe) + "\\InprocServer32").value_or("");
  auto holder = MakeComObject<Holder>();
  ASSERT_EQ(holder->hr, S_OK);
  ComPtr<IDispatch> asDispatch;
  ASSERT_EQ(holder->QueryInterface(IID_IDispatch, asDispatch.put_void()), S_OK);
  EXPECT_EQ(CallByName(asDispatch.Get(), "Add", DISPATCH_METHOD, {Variant(int32_t{20}), Variant(int32_t{22})}),
            Variant(int32_t{42}));
  // The probe's interfaces answer for the holder.
  ComPtr<IHolder> back;
  EXPECT_EQ(asDispatch.As(back), S_OK);
  EXPECT_TRUE(IsSameObject(back.Get(), holder.Get()));
  // Only IUnknown may be asked for when aggregating.
  ComPtr<IProbe> wrong;
  EXPECT_EQ(CoCreateInstance(probe::kClsidProbe, holder->Unknown(), CLSCTX_INPROC_SERVER, IProbe::iid,
                             wrong.put_void()),
            E_INVALIDARG);
  holder = nullptr;
  back = nullptr;
  CoFreeUnusedLibraries();
  EXPECT_TRUE(IsLibraryLoaded(module)) << "the aggregate is alive through the dispatch reference";
  asDispatch = nullptr;
  CoFreeUnusedLibraries();
  EXPECT_FALSE(IsLibraryLoaded(module));
}

TEST_F(ServerTest, RegsvrRefusesBadInputClearly) {
  struct Case {
    std::vector<std::string> args;
    int exitCode;
    std::string message;
  } cases[] = {
      {{}, 1, "Usage: regsvr"},
      {{"/x", COM_TEST_SERVER}, 1, "Usage: regsvr"},
      {{"/nowhere/Missing.so"}, 3, "Missing.so"},
      {{PLATFORM_CORE_LIBRARY}, 4, "DllRegisterServer was not found"},
      {{"/u", PLATFORM_CORE_LIBRARY}, 4, "DllUnregisterServer was not found"},
      {{"/s", "/nowhere/Missing.so"}, 3, ""},
  };
  for (const auto& c : cases) {
    RunResult r = RunProgram(Regsvr(), c.args);
    EXPECT_EQ(r.exitCode, c.exitCode) << r.err;
    if (c.message.empty()) {
      EXPECT_EQ(r.err, "");
    } else {
      EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    }
  }
}

// The usage is asked for with any of its switches, before or beside a library: printed on standard
// output, exit code 0, the registry untouched (not even the library named beside it unregistered).
TEST_F(ServerTest, RegsvrPrintsItsUsageWhenAsked) {
  const std::vector<std::string> registered = Dump();
  const std::vector<std::vector<std::string>> cases = {
      {"/?"}, {"-?"}, {"-h"}, {"/H"}, {"--help"}, {"--HELP"}, {"/help"}, {"/Help"}, {"/s", "/?"},
      {"/u", COM_TEST_SERVER, "/?"}, {"/u", COM_TEST_SERVER, "/HELP"},
  };
  for (const auto& args : cases) {
    std::string shown;
    for (const auto& a : args) shown += a + " ";
    RunResult r = RunProgram(Regsvr(), args);
    EXPECT_EQ(r.exitCode, 0) << shown << r.err;
    EXPECT_EQ(r.out.rfind("Usage: regsvr [/u] [/s] <library>\n", 0), 0u) << shown << r.out;
    EXPECT_EQ(r.err, "") << shown;
    EXPECT_EQ(Dump(), registered) << shown;
  }
}

// regsvr's own switches are read in either case.
TEST_F(ServerTest, RegsvrSwitchesAreCaseInsensitive) {
  struct Case {
    std::vector<std::string> args;
    bool registered;
  } cases[] = {
      {{"/U", "/S", COM_TEST_SERVER}, false},
      {{"/S", COM_TEST_SERVER}, true},
      {{"-U", "-S", COM_TEST_SERVER}, false},
      {{"-S", COM_TEST_SERVER}, true},
  };
  for (const auto& c : cases) {
    RunResult r = RunProgram(Regsvr(), c.args);
    EXPECT_EQ(r.exitCode, 0) << c.args[0] << " " << r.err;
    EXPECT_EQ(r.out + r.err, "") << c.args[0] << ": /S reports nothing";
    EXPECT_EQ(Read(std::string(probe::kProgId) + "\\CLSID").has_value(), c.registered) << c.args[0];
  }
}

// Damaged libraries and files that are no library: reported, exit code 3, never a signal.
TEST_F(ServerTest, RegsvrRefusesDamagedLibrariesWithoutASignal) {
  const char* scratch = std::getenv("SUITE_TEST_SCRATCH");
  const std::string folder = std::string(scratch ? scratch : "/tmp") + "/broken-libraries-regsvr";
  for (const BrokenLibrary& b : MakeBrokenLibraries(folder)) {
    const std::string path = folder + "/" + b.name;
    RunResult r = RunProgram(Regsvr(), {path});
    EXPECT_EQ(r.exitCode, 3) << b.name << ": " << r.err;
    EXPECT_NE(r.err.find(path), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(b.explanation), std::string::npos) << r.err;
  }
}

// Unregistration puts the registry back as it was; the test registers the library again at its
// end, so the suite's tests may run in any order.
TEST_F(ServerTest, UnregistrationRemovesExactlyItsKeys) {
  RunResult r = RunProgram(Regsvr(), {"/u", "/s", COM_TEST_SERVER});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(Dump(), *before_);
  ComPtr<IUnknown> gone;
  EXPECT_EQ(CreateObjectByName(probe::kProgId, IID_IUnknown, gone.put_void()), CO_E_CLASSSTRING);
  // Unregistering what is not registered is no failure.
  r = RunProgram(Regsvr(), {"/u", COM_TEST_SERVER});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(Dump(), *before_);
  r = RunProgram(Regsvr(), {"/s", COM_TEST_SERVER});
  ASSERT_EQ(r.exitCode, 0) << r.err;
}

}  // namespace
