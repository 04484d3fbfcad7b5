// Implements the ini-file registry store; see Registry.h.
#include "platform/Registry.h"

#include "platform/IniFiles.h"
#include "platform/IntText.h"
#include "platform/StringList.h"
#include "platform/VariantConv.h"

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace qnl {

namespace {

constexpr char PathSeparator = '\\';

// The ini reader trims lines and splits at the first "=": line breaks, backslashes, an "=" in
// a name and blanks at either end are written as escapes.
std::string Escape(std::string_view Text, bool InName) {
    std::string out;
    for (size_t i = 0; i < Text.size(); ++i) {
        const char c = Text[i];
        const bool atEnd = i == 0 || i + 1 == Text.size();
        if (c == '\\') out += "\\\\";
        else if (c == '\r') out += "\\r";
        else if (c == '\n') out += "\\n";
        else if (c == '=' && InName) out += "\\q";
        else if ((c == ';' || c == '[') && i == 0 && InName) (out += '\\') += c;
        else if ((c == ' ' || c == '\t') && atEnd) out += c == ' ' ? "\\s" : "\\t";
        else out += c;
    }
    return out;
}

std::string Unescape(std::string_view Text) {
    std::string out;
    for (size_t i = 0; i < Text.size(); ++i) {
        if (Text[i] != '\\' || i + 1 == Text.size()) {
            out += Text[i];
            continue;
        }
        switch (Text[++i]) {
        case 'r': out += '\r'; break;
        case 'n': out += '\n'; break;
        case 'q': out += '='; break;
        case 's': out += ' '; break;
        case 't': out += '\t'; break;
        default: out += Text[i]; break;
        }
    }
    return out;
}

// The path without separators at either end, or empty when a name of it cannot be a key.
std::string NormalisePath(const std::string& Key) {
    size_t first = 0, last = Key.size();
    while (first < last && Key[first] == PathSeparator) ++first;
    while (last > first && Key[last - 1] == PathSeparator) --last;
    const std::string path = Key.substr(first, last - first);
    if (path.empty()) return {};
    size_t start = 0;
    for (;;) {
        const size_t end = path.find(PathSeparator, start);
        const std::string name = path.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (Trim(name).empty() || name != Trim(name)) return {};
        if (name.find_first_of("]\r\n") != std::string::npos) return {};
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return path;
}

bool IsPrefixPath(const std::string& Prefix, const std::string& Path) {
    return Path.size() > Prefix.size() && Path[Prefix.size()] == PathSeparator &&
           SameText(std::string_view(Path).substr(0, Prefix.size()), Prefix);
}

bool KeyInFile(const TMemIniFile& Ini, const std::string& Path) {
    if (Ini.SectionExists(Path)) return true;
    for (const std::string& section : Ini.ReadSections())
        if (IsPrefixPath(Path, section)) return true;
    return false;
}

// Writes the whole file through a temporary one beside it, so that a failed write never leaves
// a half-written registry.
void SaveIni(const TMemIniFile& Ini) {
    const std::filesystem::path file(Ini.FileName());
    std::error_code ec;
    if (file.has_parent_path()) std::filesystem::create_directories(file.parent_path(), ec);
    const std::string temp = Ini.FileName() + ".tmp" + std::to_string(::getpid());
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        const std::string text = Ini.Text();
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
        out.close();
        if (!out) {
            std::filesystem::remove(temp, ec);
            throw ERegistryException("Cannot write the registry file " + Ini.FileName());
        }
    }
    std::filesystem::rename(temp, file, ec);
    if (ec) {
        std::filesystem::remove(temp, ec);
        throw ERegistryException("Cannot write the registry file " + Ini.FileName());
    }
}

std::string DoubleText(double Value) {
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, Value);
    return std::string(buffer, result.ptr);
}

bool ParseDouble(std::string_view Text, double& Value) {
    const auto result = std::from_chars(Text.data(), Text.data() + Text.size(), Value);
    return result.ec == std::errc() && result.ptr == Text.data() + Text.size();
}

// "kind:text" of a value; false for a kind the store does not keep.
bool Encode(const Variant& Value, std::string& Line) {
    switch (Value.VarType()) {
    case varSmallint:
    case varInteger:
    case varShortInt:
    case varByte:
    case varWord:
    case varLongWord:
    case varInt64: Line = "int:" + std::to_string(Value.AsInt64()); return true;
    case varSingle:
    case varDouble: Line = "float:" + DoubleText(Value.AsDouble()); return true;
    case varCurrency: Line = "currency:" + std::to_string(Value.AsCurrency().Scaled); return true;
    case varDate: Line = "datetime:" + DoubleText(Value.AsDouble()); return true;
    case varBoolean: Line = Value.AsBoolean() ? "bool:1" : "bool:0"; return true;
    case varString: Line = "string:" + Escape(Value.AsString(), false); return true;
    case varOleStr: Line = "string:" + Escape(WideToUtf8(Value.AsWideString()), false); return true;
    default: return false;
    }
}

// A value whose kind or text this store did not write reads as a string of the whole line.
Variant Decode(const std::string& Line) {
    const size_t colon = Line.find(':');
    const std::string kind = colon == std::string::npos ? std::string() : Line.substr(0, colon);
    const std::string text = colon == std::string::npos ? Line : Line.substr(colon + 1);
    int64_t number = 0;
    double real = 0;
    if (kind == "string") return Variant(Unescape(text));
    if (kind == "int" && TryStrToInt64(text, number)) {
        if (number >= INT32_MIN && number <= INT32_MAX) return Variant(static_cast<int32_t>(number));
        return Variant(number);
    }
    if (kind == "float" && ParseDouble(text, real)) return Variant(real);
    if (kind == "currency" && TryStrToInt64(text, number)) return Variant(Currency::FromScaled(number));
    if (kind == "datetime" && ParseDouble(text, real)) return Variant::FromDate(real);
    if (kind == "bool" && (text == "0" || text == "1")) return Variant(text == "1");
    return Variant(Unescape(Line));
}

} // namespace

std::string RegistryFileName() {
    if (const char* file = std::getenv("QNL_REGISTRY_FILE"); file && *file) return file;
    std::string base;
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && *config) base = config;
    else if (const char* home = std::getenv("HOME"); home && *home) base = std::string(home) + "/.config";
    else base = ".config";
    return base + "/ZERA_Vezoduri/registry.ini";
}

bool TRegistry::OpenKey(const std::string& Key, bool CanCreate) {
    if (RootKey != HKEY_CURRENT_USER) return false;
    const std::string path = NormalisePath(Key);
    if (path.empty()) return false;
    TMemIniFile ini(RegistryFileName());
    if (!KeyInFile(ini, path)) {
        if (!CanCreate) return false;
        ini.WriteString(path, "", "");   // creates the section...
        ini.DeleteKey(path, "");         // ...and leaves it empty
        SaveIni(ini);
    }
    FCurrentPath = path;
    return true;
}

bool TRegistry::KeyExists(const std::string& Key) const {
    if (RootKey != HKEY_CURRENT_USER) return false;
    const std::string path = NormalisePath(Key);
    return !path.empty() && KeyInFile(TMemIniFile(RegistryFileName()), path);
}

std::vector<std::string> TRegistry::GetKeyNames() const {
    std::vector<std::string> names;
    if (FCurrentPath.empty()) return names;
    for (const std::string& section : TMemIniFile(RegistryFileName()).ReadSections()) {
        if (!IsPrefixPath(FCurrentPath, section)) continue;
        const std::string rest = section.substr(FCurrentPath.size() + 1);
        const std::string name = rest.substr(0, rest.find(PathSeparator));
        bool seen = false;
        for (const std::string& n : names) seen = seen || SameText(n, name);
        if (!seen) names.push_back(name);
    }
    return names;
}

bool TRegistry::ValueExists(const std::string& Name) const {
    return !FCurrentPath.empty() && TMemIniFile(RegistryFileName()).ValueExists(FCurrentPath, Escape(Name, true));
}

Variant TRegistry::ReadValue(const std::string& Name) const {
    if (FCurrentPath.empty()) return Variant();
    const TMemIniFile ini(RegistryFileName());
    const std::string key = Escape(Name, true);
    if (!ini.ValueExists(FCurrentPath, key)) return Variant();
    return Decode(ini.ReadString(FCurrentPath, key, ""));
}

bool TRegistry::WriteValue(const std::string& Name, const Variant& Value) {
    if (FCurrentPath.empty()) throw ERegistryException("No registry key is open to write \"" + Name + "\" in");
    std::string line;
    if (!Encode(Value, line)) return false;
    TMemIniFile ini(RegistryFileName());
    ini.WriteString(FCurrentPath, Escape(Name, true), line);
    SaveIni(ini);
    return true;
}

bool TRegistry::DeleteValue(const std::string& Name) {
    if (FCurrentPath.empty()) return false;
    TMemIniFile ini(RegistryFileName());
    const std::string key = Escape(Name, true);
    if (!ini.ValueExists(FCurrentPath, key)) return false;
    ini.DeleteKey(FCurrentPath, key);
    SaveIni(ini);
    return true;
}

} // namespace qnl
