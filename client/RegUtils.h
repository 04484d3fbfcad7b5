#pragma once
// Lists of registry values under one key path, for the database aliases and transaction kinds
// of the extended database and transaction (pFIBDatabase.h). Every operation opens the path from
// the root and closes it again.
#include "platform/Registry.h"
#include "platform/Variant.h"

#include <string>
#include <vector>

namespace qnl {

// Opens Path name by name from Root, creating missing keys, and writes each value under its
// name: integers of 16, 32 and 64 bits (signed or not) as integers, Single and Double as
// floats, Currency, Date, Boolean and text as their own kinds. Other kinds (the 8-bit integers
// among them) are skipped. As many values as both lists have.
void WriteRegistryValues(HKEY Root, const std::vector<std::string>& KeyPath, const std::vector<std::string>& ValueNames,
                         const std::vector<Variant>& Values);
void WriteRegistryValuesHKCU(const std::vector<std::string>& KeyPath, const std::vector<std::string>& ValueNames,
                             const std::vector<Variant>& Values);

// Boolean false when a key of the path cannot be opened; else a two-row array
// [0..1, 0..Count-1]: row 0 each value as stored (Empty when missing), row 1 whether it exists.
Variant ReadRegistryValues(HKEY Root, const std::vector<std::string>& KeyPath, const std::vector<std::string>& ValueNames);
Variant ReadRegistryValuesHKCU(const std::vector<std::string>& KeyPath, const std::vector<std::string>& ValueNames);

// The subkey names of the path as a one-dimensional array of strings (empty when the path
// cannot be opened).
Variant ReadRegistrySubKeyNames(HKEY Root, const std::vector<std::string>& KeyPath);
Variant ReadRegistrySubKeyNamesHKCU(const std::vector<std::string>& KeyPath);

// The name of the first subkey of the current user's KeyPath whose string value ValueName
// equals WantedValue; empty when none.
std::string ReadSubKeyStringValues(const std::vector<std::string>& KeyPath, const std::string& ValueName,
                                   const std::string& WantedValue);

} // namespace qnl
