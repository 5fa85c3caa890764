// Another program that uses the tile control: creates Tilecard.MediaClip by its ProgID through
// the registry and prints its type information, one member a line ("<name> <kind> <dispid>").
#include <cstdio>

#include "com/com.h"
#include "com/dispatch.h"
#include "com/typeinfo.h"
#include "core/error.h"

int main() {
  CoInitialize();
  try {
    ComPtr<IDispatch> tile = CreateObject<IDispatch>("Tilecard.MediaClip");
    ComPtr<ITypeInfo> info;
    Check(tile->GetTypeInfo(0, 0, info.put()));
    Bstr name, doc;
    info->GetDocumentation(MEMBERID_NIL, &name, &doc, nullptr, nullptr);
    std::printf("interface %s\n", name.Utf8().c_str());
    for (uint32_t i = 0;; ++i) {
      const MemberDesc* m = nullptr;
      if (info->GetFuncDesc(i, &m) != S_OK) break;
      const char* kind = m->kind == INVOKE_PROPERTYGET ? "get" : m->kind == INVOKE_PROPERTYPUT ? "let" : "method";
      std::printf("%s %s 0x%08X\n", m->name.c_str(), kind, static_cast<unsigned>(m->id));
    }
    std::printf("Filter=%s\n", CallByName(tile.Get(), "Filter", DISPATCH_PROPERTYGET).bstr().Utf8().c_str());
  } catch (const VBError& e) {
    std::fprintf(stderr, "%d %s\n", e.Number(), e.Description().c_str());
    return 1;
  }
  CoUninitialize();
  return 0;
}
