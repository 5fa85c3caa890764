#include "options/modOptions.h"

#include <algorithm>
#include <cctype>

#include "core/error.h"
#include "core/runtime_convert.h"
#include "com/com.h"
#include "core/runtime_strings.h"
#include "dshow/uuids.h"
#include "forms/form.h"
#include "shell/process.h"

namespace modOptions {

namespace {
template <class I>
ComPtr<I> Cast(IUnknown* p) {
  ComPtr<I> out;
  if (!p) Raise(vbErrObjectNotSet);
  Check(p->QueryInterface(IidOf<I>(), out.put_void()));
  return out;
}
}  // namespace

void RefreshRegFilters(ListBox& list, ComPtr<IMediaControl>& graph, ComPtr<IAMCollection>& filters) {
  ComPtr<IMediaControl> made;
  Check(CoCreateInstance(CLSID_FilgraphManager, nullptr, CLSCTX_INPROC_SERVER, IMediaControl::iid, made.put_void()));
  graph = made;
  filters = nullptr;
  ComPtr<IDispatch> collection;
  Check(graph->get_RegFilterCollection(collection.put()));
  if (collection) filters = Cast<IAMCollection>(collection.Get());
  list.Clear();
  if (!filters) return;
  LONG count = 0;
  Check(filters->get_Count(&count));
  for (LONG i = 0; i < count; ++i) {
    ComPtr<IUnknown> item;
    Check(filters->Item(i, item.put()));
    auto info = Cast<IRegFilterInfo>(item.Get());
    Bstr name;
    Check(info->get_Name(&name));
    const std::string trimmed = Trim(name.Utf8());
    if (LCase(trimmed).find("video") != std::string::npos) list.AddItem(trimmed);
  }
}

std::string GetPaintPath() {
  const std::string found = Trim(FindExecutable("mspaint.exe"));
  const std::string lower = LCase(found);
  const size_t at = lower.find("mspaint.exe");
  if (at != std::string::npos) return found.substr(0, at + 11);
  const size_t slash = lower.find_last_of('/');
  if (lower.substr(slash == std::string::npos ? 0 : slash + 1) == "mspaint") return found;
  return "";
}

void ReadBoolean(const std::string& text, bool& global) { global = ValueOr(global, [&] { return CBool(Variant(text)); }); }

void ReadWhole(const std::string& text, int32_t& global) { global = ValueOr(global, [&] { return CLng(Variant(text)); }); }

void ListValue::Set(ListBox& list, const std::string& text) {
  kept_ = text;
  list.Text(text);
}

std::string ListValue::Get(ListBox& list) const { return list.ListIndex() >= 0 ? list.List(list.ListIndex()) : kept_; }

std::string ActiveWindowValue(const std::string& shown) {
  std::string compact;
  for (char c : shown)
    if (c != ' ') compact += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return compact == "320X240" ? compact : shown;
}

namespace {
MainWindowServices& Services() {
  static MainWindowServices services;
  return services;
}

IDispatch* TileObject(Form& main, int16_t index) {
  Control* c = main.FindControl("ctrlSourceClip", index);
  IDispatch* object = c ? c->DispatchObject() : nullptr;
  if (!object) Raise(vbErrObjectNotSet);
  return object;
}
}  // namespace

void SetMainWindowServices(MainWindowServices services) { Services() = std::move(services); }
const MainWindowServices& MainWindowCalls() { return Services(); }

Variant TileGet(Form& main, int16_t index, DISPID id) {
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  Variant result;
  Check(TileObject(main, index)->Invoke(id, GUID_NULL, 0, DISPATCH_PROPERTYGET, &none, &result, nullptr, nullptr));
  return result;
}

void TilePut(Form& main, int16_t index, DISPID id, const Variant& value) {
  Variant arg = value;
  DISPID named = DISPID_PROPERTYPUT;
  DISPPARAMS params{&arg, &named, 1, 1};
  Check(TileObject(main, index)->Invoke(id, GUID_NULL, 0, DISPATCH_PROPERTYPUT, &params, nullptr, nullptr, nullptr));
}

}  // namespace modOptions
