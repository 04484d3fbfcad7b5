#pragma once
// The per-user registry: keys (paths of names separated by "\") holding typed named values,
// kept in one ini file. Each key is a section named by its full path; each value a line
// "name=kind:text", so a value reads back with the kind it was written with (string, integer,
// float, currency, date-time, Boolean).
//
// The file is $QNL_REGISTRY_FILE when that is set (tests point it at a temporary file), else
// $XDG_CONFIG_HOME/ZERA_Vezoduri/registry.ini, else ~/.config/ZERA_Vezoduri/registry.ini.
// Every read looks at the file as it is now and every write goes to it at once (through a
// temporary file that replaces it), so two registry objects never overwrite each other's keys.
// Only the current user's root exists; names compare ASCII-case-insensitively.
#include "platform/Variant.h"

#include <cstdint>
#include <string>
#include <vector>

namespace qnl {

using HKEY = uintptr_t;
inline constexpr HKEY HKEY_CURRENT_USER = 0x80000001u;

std::string RegistryFileName();

class ERegistryException : public std::exception {
public:
    explicit ERegistryException(std::string Message) : FMessage(std::move(Message)) {}
    const char* what() const noexcept override { return FMessage.c_str(); }

private:
    std::string FMessage;
};

class TRegistry {
public:
    TRegistry() = default;
    HKEY RootKey = HKEY_CURRENT_USER;

    // Key is a path from the root ("Software\ZERA_Vezoduri\Aliases\Main"); leading and
    // trailing separators are ignored. False when the root is not the current user's, a name of
    // the path is empty or holds "]" or a line break, or the key is missing and CanCreate is
    // false. Creating writes the key (and so every key on its path) to the file.
    bool OpenKey(const std::string& Key, bool CanCreate);
    void CloseKey() { FCurrentPath.clear(); }
    bool HasCurrentKey() const { return !FCurrentPath.empty(); }
    const std::string& CurrentPath() const { return FCurrentPath; }
    bool KeyExists(const std::string& Key) const;
    // The names of the current key's direct subkeys, in the file's order.
    std::vector<std::string> GetKeyNames() const;

    bool ValueExists(const std::string& Name) const;
    // The value with its stored kind: Integer (or Int64 beyond 32 bits), Double, Currency, Date,
    // Boolean or String; Empty when there is no such value (or no current key).
    Variant ReadValue(const std::string& Name) const;
    // Integers of every kind, Single and Double, Currency, Date, Boolean and both text kinds
    // (wide text is stored as UTF-8). False for any other kind, which is not written.
    // ERegistryException without a current key or when the file cannot be written.
    bool WriteValue(const std::string& Name, const Variant& Value);
    bool DeleteValue(const std::string& Name);

private:
    std::string FCurrentPath;
};

} // namespace qnl
