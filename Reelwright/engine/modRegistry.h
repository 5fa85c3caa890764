#pragma once
// modRegistry: reads of the system registry for the main program (the installed codec drivers,
// the encoder's install folder). Both procedures only read; neither writes or creates a key.
#include <cstdint>
#include <string>
#include <vector>

#include "core/variant.h"

// Fills names with the value names of root\subkey (indexes 0 to count - 1, in the registry's
// enumeration order) and sets count. A key that cannot be opened or asked leaves both as they
// were; a key without values sets count to 0 and leaves names alone.
void RegistryEnumerateValues(int32_t root, const std::string& subkey, std::vector<std::string>& names,
                             int32_t& count);

// One value of root\subkey: REG_SZ as text, REG_BINARY as a byte array with lower bound 0,
// REG_DWORD as a Long; any other type and any failure give the empty variant.
Variant RegistryGetKeyValue(int32_t root, const std::string& subkey, const std::string& valueName);
