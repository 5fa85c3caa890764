// A second process for the server test: finds the test server's type library and class through
// the registry alone, then calls the object by name and prints what it answered, one line each.
#include <cstdio>
#include <string>

#include "com/com.h"
#include "com/dispatch.h"
#include "com/typeinfo.h"
#include "core/error.h"
#include "core/runtime_convert.h"
#include "probe.h"

namespace {
void Say(const std::string& line) { std::printf("%s\n", line.c_str()); }
}  // namespace

int main() {
  try {
    ComPtr<ITypeLib> lib;
    Check(LoadRegTypeLib(probe::kLibId, 1, 0, 0, lib.put()));
    Bstr name;
    Check(lib->GetDocumentation(-1, &name, nullptr, nullptr, nullptr));
    Say("library " + name.Utf8());

    ComPtr<IDispatch> object = CreateObject<IDispatch>(probe::kIndependentProgId);
    Say("Add " + CStr(CallByName(object.Get(), "add", DISPATCH_METHOD, {Variant(int32_t{2}), Variant(int32_t{40})})));
    Say("Greet " + CStr(CallByName(object.Get(), "Greet", DISPATCH_METHOD, {Variant("World")})));
    CallByName(object.Get(), "Label", DISPATCH_PROPERTYPUT, {Variant("from another process")});
    Say("Label " + CStr(CallByName(object.Get(), "LABEL", DISPATCH_PROPERTYGET)));
    int32_t value = 21;
    CallByName(object.Get(), "Twice", DISPATCH_METHOD, {Variant::ByRef(VT_I4, &value)});
    Say("Twice " + std::to_string(value));
    try {
      CallByName(object.Get(), "Fail", DISPATCH_METHOD, {Variant(int32_t{1004})});
      Say("Fail did not fail");
    } catch (const VBError& e) {
      Say("Fail " + std::to_string(e.Number()) + " " + e.Description());
    }
    try {
      CallByName(object.Get(), "Explode", DISPATCH_METHOD);
      Say("Explode was found");
    } catch (const VBError& e) {
      Say("Explode " + std::to_string(e.Number()));
    }
  } catch (const VBError& e) {
    std::fprintf(stderr, "probe client: error %d: %s\n", e.Number(), e.Description().c_str());
    return 2;
  }
  return 0;
}
