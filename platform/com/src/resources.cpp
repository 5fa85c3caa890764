// Module resources: the exported table of a library, found by the library's path.
#include "com/resources.h"

#include <dlfcn.h>
#include <strings.h>

#include <cctype>
#include <map>
#include <mutex>

namespace {

using TableFunction = const ModuleResourceTable* (*)();

const ModuleResourceTable* TableOf(const std::string& modulePath) {
  static std::mutex mutex;
  static std::map<std::string, const ModuleResourceTable*> tables;
  std::lock_guard lock(mutex);
  auto it = tables.find(modulePath);
  if (it != tables.end()) return it->second;
  const ModuleResourceTable* table = nullptr;
  // The module stays loaded: the resources it hands out live as long as the process.
  if (void* handle = dlopen(modulePath.c_str(), RTLD_NOW | RTLD_LOCAL)) {
    if (auto fn = reinterpret_cast<TableFunction>(dlsym(handle, kModuleResourcesExport))) table = fn();
  }
  if (table) tables[modulePath] = table;
  return table;
}

bool Same(const std::string& a, const std::string& b) { return strcasecmp(a.c_str(), b.c_str()) == 0; }

std::string Trim(std::string s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.pop_back();
  size_t i = 0;
  while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i]))) ++i;
  return s.substr(i);
}

}  // namespace

HRSRC FindResource(const std::string& modulePath, const std::string& name, const std::string& type) {
  const ModuleResourceTable* table = TableOf(modulePath);
  if (!table) return nullptr;
  for (const ModuleResource& r : *table)
    if (Same(r.type, type) && Same(r.name, name)) return &r;
  return nullptr;
}

const uint8_t* LoadResource(const std::string&, HRSRC resource) {
  return resource ? resource->data.data() : nullptr;
}

uint32_t SizeofResource(const std::string&, HRSRC resource) {
  return resource ? static_cast<uint32_t>(resource->data.size()) : 0;
}

std::vector<uint8_t> LoadToolboxBitmap(const std::string& value) {
  size_t comma = value.rfind(',');
  if (comma == std::string::npos) return {};
  std::string module = Trim(value.substr(0, comma));
  std::string id = Trim(value.substr(comma + 1));
  if (module.empty() || id.empty()) return {};
  for (char c : id)
    if (!std::isdigit(static_cast<unsigned char>(c))) return {};
  HRSRC r = FindResource(module, "#" + id, RT_BITMAP);
  if (!r) return {};
  return r->data;
}
