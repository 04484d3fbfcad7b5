#include "platform/IniFiles.h"

#include "platform/Files.h"
#include "platform/IntText.h"
#include "platform/StringList.h"

#include <fstream>

namespace qnl {


TMemIniFile::TMemIniFile(std::string FileName) : FFileName(std::move(FileName)) { Reload(); }

void TMemIniFile::Reload() {
    FSections.clear();
    std::string bytes;
    if (!FFileName.empty() && ReadFileBytes(FFileName, bytes)) SetText(bytes);
}

void TMemIniFile::SetText(std::string_view Text) {
    FSections.clear();
    Section* current = nullptr;
    for (const std::string& raw : SplitLines(Text)) {
        std::string line = Trim(raw);
        if (line.empty() || line[0] == ';') continue;
        if (line.front() == '[' && line.back() == ']') {
            current = &AddSection(Trim(std::string_view(line).substr(1, line.size() - 2)));
            continue;
        }
        if (!current) continue;
        size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        std::string key = Trim(std::string_view(line).substr(0, eq));
        std::string value = Trim(std::string_view(line).substr(eq + 1));
        bool found = false;
        for (Entry& e : current->Entries)
            if (SameText(e.Key, key)) {
                found = true;   // the first line of a key wins, as the framework reads it
                break;
            }
        if (!found) current->Entries.push_back({std::move(key), std::move(value)});
    }
}

std::string TMemIniFile::Text() const {
    std::string text;
    bool first = true;
    for (const Section& s : FSections) {
        if (!first) text += "\n";
        first = false;
        text += "[" + s.Name + "]\n";
        for (const Entry& e : s.Entries) text += e.Key + "=" + e.Value + "\n";
    }
    return text;
}

bool TMemIniFile::UpdateFile() const {
    if (FFileName.empty()) return false;
    std::ofstream out(FFileName, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    const std::string text = Text();
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.close();
    return !out.fail();
}

const TMemIniFile::Section* TMemIniFile::FindSection(std::string_view Name) const {
    for (const Section& s : FSections)
        if (SameText(s.Name, Name)) return &s;
    return nullptr;
}

TMemIniFile::Section& TMemIniFile::AddSection(std::string_view Name) {
    for (Section& s : FSections)
        if (SameText(s.Name, Name)) return s;
    FSections.push_back({std::string(Name), {}});
    return FSections.back();
}

const TMemIniFile::Entry* TMemIniFile::FindEntry(std::string_view SectionName, std::string_view Key) const {
    const Section* s = FindSection(SectionName);
    if (!s) return nullptr;
    for (const Entry& e : s->Entries)
        if (SameText(e.Key, Key)) return &e;
    return nullptr;
}

std::string TMemIniFile::ReadString(std::string_view Section, std::string_view Key, const std::string& Default) const {
    const Entry* e = FindEntry(Section, Key);
    return e ? e->Value : Default;
}

int32_t TMemIniFile::ReadInteger(std::string_view Section, std::string_view Key, int32_t Default) const {
    const Entry* e = FindEntry(Section, Key);
    int32_t value = 0;
    return e && TryStrToInt(e->Value, value) ? value : Default;
}

int64_t TMemIniFile::ReadInt64(std::string_view Section, std::string_view Key, int64_t Default) const {
    const Entry* e = FindEntry(Section, Key);
    int64_t value = 0;
    return e && TryStrToInt64(e->Value, value) ? value : Default;
}

bool TMemIniFile::ReadBool(std::string_view Section, std::string_view Key, bool Default) const {
    const Entry* e = FindEntry(Section, Key);
    int32_t value = 0;
    return e && TryStrToInt(e->Value, value) ? value != 0 : Default;
}

void TMemIniFile::WriteString(std::string_view SectionName, std::string_view Key, const std::string& Value) {
    Section& s = AddSection(Trim(SectionName));
    bool done = false;
    for (Entry& e : s.Entries)
        if (SameText(e.Key, Key)) {
            e.Value = Value;
            done = true;
            break;
        }
    if (!done) s.Entries.push_back({Trim(Key), Value});
    Changed();
}

void TMemIniFile::WriteInteger(std::string_view Section, std::string_view Key, int32_t Value) {
    WriteString(Section, Key, std::to_string(Value));
}

void TMemIniFile::WriteInt64(std::string_view Section, std::string_view Key, int64_t Value) {
    WriteString(Section, Key, std::to_string(Value));
}

void TMemIniFile::WriteBool(std::string_view Section, std::string_view Key, bool Value) {
    WriteString(Section, Key, Value ? "1" : "0");
}

bool TMemIniFile::SectionExists(std::string_view Section) const { return FindSection(Section) != nullptr; }

bool TMemIniFile::ValueExists(std::string_view Section, std::string_view Key) const {
    return FindEntry(Section, Key) != nullptr;
}

std::vector<std::string> TMemIniFile::ReadSections() const {
    std::vector<std::string> names;
    for (const Section& s : FSections) names.push_back(s.Name);
    return names;
}

std::vector<std::string> TMemIniFile::ReadSection(std::string_view SectionName) const {
    std::vector<std::string> keys;
    if (const Section* s = FindSection(SectionName))
        for (const Entry& e : s->Entries) keys.push_back(e.Key);
    return keys;
}

void TMemIniFile::EraseSection(std::string_view SectionName) {
    for (auto it = FSections.begin(); it != FSections.end(); ++it)
        if (SameText(it->Name, SectionName)) {
            FSections.erase(it);
            Changed();
            return;
        }
}

void TMemIniFile::DeleteKey(std::string_view SectionName, std::string_view Key) {
    for (Section& s : FSections) {
        if (!SameText(s.Name, SectionName)) continue;
        for (auto it = s.Entries.begin(); it != s.Entries.end(); ++it)
            if (SameText(it->Key, Key)) {
                s.Entries.erase(it);
                Changed();
                return;
            }
    }
}

void TMemIniFile::Clear() {
    FSections.clear();
    Changed();
}

} // namespace qnl
