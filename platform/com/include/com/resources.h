#pragma once
// Module resources: the bitmaps, icons, strings, dialog templates, version data and named custom
// resources a library carries. A library declares them in one table that its module exports:
//
//   SUITE_MODULE_RESOURCES({
//       {RT_BITMAP, ResourceId(30000), ToolboxBitmapBytes()},
//       {"CUSTOM", "_IID_MEDIACLIP", IidPairBytes()},
//   })
//
// and anyone finds them by the module's path, as the resource functions of the original platform
// find them by module handle: FindResource, then LoadResource and SizeofResource.
#include <cstdint>
#include <string>
#include <vector>

struct ModuleResource {
  std::string type;  // RT_* or a custom type's name
  std::string name;  // a name, or "#<id>" for a numeric identifier (ResourceId)
  std::vector<uint8_t> data;
};
using ModuleResourceTable = std::vector<ModuleResource>;

inline constexpr const char* RT_BITMAP = "BITMAP";      // a BMP file's bytes
inline constexpr const char* RT_ICON = "ICON";          // an ICO or PNG file's bytes
inline constexpr const char* RT_STRING = "STRING";      // UTF-8 text
inline constexpr const char* RT_DIALOG = "DIALOG";      // a dialog template
inline constexpr const char* RT_VERSION = "VERSION";    // version data
inline std::string ResourceId(int id) { return "#" + std::to_string(id); }

// A found resource; null when none.
using HRSRC = const ModuleResource*;

// The resource of that name and type (letter case aside) in the library at modulePath, which is
// loaded when it is not yet (and stays loaded). Null when the module, its table or the entry is
// missing.
HRSRC FindResource(const std::string& modulePath, const std::string& name, const std::string& type);
// The resource's bytes, valid while the process runs; null for a null resource.
const uint8_t* LoadResource(const std::string& modulePath, HRSRC resource);
uint32_t SizeofResource(const std::string& modulePath, HRSRC resource);

// The bitmap a class's ToolboxBitmap32 value "<module>, <id>" names; empty when there is none.
std::vector<uint8_t> LoadToolboxBitmap(const std::string& toolboxBitmap32);

// The name of the exported table function.
inline constexpr const char* kModuleResourcesExport = "SuiteModuleResources";

#define SUITE_MODULE_RESOURCES(...)                                                               \
  extern "C" __attribute__((visibility("default"))) const ModuleResourceTable* SuiteModuleResources() { \
    static const ModuleResourceTable table = ModuleResourceTable __VA_ARGS__;                    \
    return &table;                                                                                \
  }
