#pragma once
// One registry hive in memory, and its text form on disk.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/hresult.h"

namespace registry::detail {

// The form names are compared in: letter case folded (upper case, as the registry compares).
std::string Fold(std::string_view name);

struct Value {
  std::string name;  // as first written
  DWORD type = 0;
  std::vector<uint8_t> data;
};

class Key {
 public:
  explicit Key(std::string name = {});

  const std::string& Name() const { return name_; }
  const std::string& Folded() const { return folded_; }

  // Subkeys, kept sorted by their folded names (the registry's enumeration order).
  const std::vector<std::unique_ptr<Key>>& SubKeys() const { return subkeys_; }
  Key* FindSubKey(std::string_view folded) const;
  // Returns the existing subkey of that name, or a new one spelled as given.
  Key* AddSubKey(const std::string& name, bool* created = nullptr);
  bool RemoveSubKey(std::string_view folded);

  // Values, kept in the order they were first written.
  const std::vector<Value>& Values() const { return values_; }
  const Value* FindValue(std::string_view folded) const;
  // Replaces the type and data of an existing value (its spelling stays) or appends a new one.
  void SetValue(const std::string& name, DWORD type, std::vector<uint8_t> data);
  bool RemoveValue(std::string_view folded);
  void ClearValues();
  void ClearSubKeys() { subkeys_.clear(); }

  // Last write time as a FILETIME count (100 ns units since 1601-01-01 UTC).
  uint64_t written = 0;

 private:
  std::string name_;
  std::string folded_;
  std::vector<std::unique_ptr<Key>> subkeys_;
  std::vector<Value> values_;
  std::unordered_map<std::string, size_t> valueIndex_;  // folded name -> index in values_
};

// The current time as a FILETIME count.
uint64_t FileTimeNow();

// The text form of a hive (see hive.cpp for its grammar).
std::string Serialize(const Key& root, std::string_view hiveName);

// Reads the text form into root (which must be empty). On damage returns false with a reason
// that names the line; root is then left empty.
bool Parse(std::string_view text, std::string_view hiveName, Key& root, std::string& reason);

}  // namespace registry::detail
