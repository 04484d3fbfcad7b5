// Implements the registry value lists; see RegUtils.h.
#include "client/RegUtils.h"

#include <algorithm>

namespace qnl {

namespace {

// Opens the path one name at a time, as a path of keys is opened from the root.
bool OpenPath(TRegistry& Registry, const std::vector<std::string>& KeyPath, bool CanCreate) {
    if (KeyPath.empty()) return false;
    std::string path;
    for (const std::string& name : KeyPath) {
        if (!path.empty()) path += '\\';
        path += name;
        if (!Registry.OpenKey(path, CanCreate)) {
            Registry.CloseKey();
            return false;
        }
    }
    return true;
}

bool Writable(TVarType Kind) {
    switch (Kind) {
    case varSmallint:
    case varInteger:
    case varWord:
    case varLongWord:
    case varInt64:
    case varSingle:
    case varDouble:
    case varCurrency:
    case varDate:
    case varBoolean:
    case varString:
    case varOleStr: return true;
    default: return false;
    }
}

} // namespace

void WriteRegistryValues(HKEY Root, const std::vector<std::string>& KeyPath, const std::vector<std::string>& ValueNames,
                         const std::vector<Variant>& Values) {
    TRegistry registry;
    registry.RootKey = Root;
    if (!OpenPath(registry, KeyPath, true)) return;
    const size_t count = std::min(ValueNames.size(), Values.size());
    for (size_t i = 0; i < count; ++i)
        if (Writable(Values[i].VarType())) registry.WriteValue(ValueNames[i], Values[i]);
    registry.CloseKey();
}

void WriteRegistryValuesHKCU(const std::vector<std::string>& KeyPath, const std::vector<std::string>& ValueNames,
                             const std::vector<Variant>& Values) {
    WriteRegistryValues(HKEY_CURRENT_USER, KeyPath, ValueNames, Values);
}

Variant ReadRegistryValues(HKEY Root, const std::vector<std::string>& KeyPath, const std::vector<std::string>& ValueNames) {
    TRegistry registry;
    registry.RootKey = Root;
    if (!OpenPath(registry, KeyPath, false)) return Variant(false);
    const int count = static_cast<int>(ValueNames.size());
    Variant result = Variant::CreateArray({{0, 2}, {0, count}}, varVariant);
    for (int i = 0; i < count; ++i) {
        const std::string& name = ValueNames[static_cast<size_t>(i)];
        const bool exists = registry.ValueExists(name);
        result.PutElement({0, i}, exists ? registry.ReadValue(name) : Variant());
        result.PutElement({1, i}, Variant(exists));
    }
    registry.CloseKey();
    return result;
}

Variant ReadRegistryValuesHKCU(const std::vector<std::string>& KeyPath, const std::vector<std::string>& ValueNames) {
    return ReadRegistryValues(HKEY_CURRENT_USER, KeyPath, ValueNames);
}

Variant ReadRegistrySubKeyNames(HKEY Root, const std::vector<std::string>& KeyPath) {
    TRegistry registry;
    registry.RootKey = Root;
    std::vector<std::string> names;
    if (OpenPath(registry, KeyPath, false)) names = registry.GetKeyNames();
    registry.CloseKey();
    Variant result = Variant::CreateArray({{0, static_cast<int>(names.size())}}, varVariant);
    for (size_t i = 0; i < names.size(); ++i) result.PutElement({static_cast<int>(i)}, Variant(names[i]));
    return result;
}

Variant ReadRegistrySubKeyNamesHKCU(const std::vector<std::string>& KeyPath) {
    return ReadRegistrySubKeyNames(HKEY_CURRENT_USER, KeyPath);
}

std::string ReadSubKeyStringValues(const std::vector<std::string>& KeyPath, const std::string& ValueName,
                                   const std::string& WantedValue) {
    const Variant names = ReadRegistrySubKeyNamesHKCU(KeyPath);
    for (int i = 0; i < names.ElementCount(); ++i) {
        const std::string name = names.GetElement({i}).AsString();
        std::vector<std::string> path = KeyPath;
        path.push_back(name);
        const Variant values = ReadRegistryValuesHKCU(path, {ValueName});
        if (!values.IsArray() || !values.GetElement({1, 0}).AsBoolean()) continue;
        const Variant& value = values.GetElement({0, 0});
        if (value.VarType() == varString && value.AsString() == WantedValue) return name;
    }
    return {};
}

} // namespace qnl
