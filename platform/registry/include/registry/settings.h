#pragma once
// The runtime's per-user settings store, kept in the registry under
// HKEY_CURRENT_USER\Software\VB and VBA Program Settings\<app>\<section>\<key>.
#include <optional>
#include <string>
#include <utility>
#include <vector>

// The stored text, or def when the key is absent; a key stored empty reads as "".
std::string GetSetting(const std::string& appName, const std::string& section, const std::string& key,
                       const std::string& def = "");
void SaveSetting(const std::string& appName, const std::string& section, const std::string& key,
                 const std::string& setting);
// Without key: the whole section; raises error 5 when nothing is there to delete.
void DeleteSetting(const std::string& appName, const std::string& section,
                   const std::optional<std::string>& key = std::nullopt);
// All keys of a section with their values, in stored order; empty when the section is absent.
std::vector<std::pair<std::string, std::string>> GetAllSettings(const std::string& appName,
                                                                const std::string& section);
