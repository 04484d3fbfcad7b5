#pragma once
// Ini files with the framework's rules: "[Section]" headers and "Key=Value" lines, section and
// key names compared ASCII-case-insensitively, Booleans written as "1" and "0", numbers in
// decimal. The whole file is held in memory; TMemIniFile writes it back on UpdateFile, TIniFile
// after every change.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qnl {

class TMemIniFile {
public:
    // Reads FileName when it exists; a missing or unreadable file gives an empty ini file.
    explicit TMemIniFile(std::string FileName);
    virtual ~TMemIniFile() = default;
    TMemIniFile(const TMemIniFile&) = delete;
    TMemIniFile& operator=(const TMemIniFile&) = delete;

    const std::string& FileName() const { return FFileName; }

    std::string ReadString(std::string_view Section, std::string_view Key, const std::string& Default) const;
    // Values that are not whole numbers (or do not fit) give Default; "$" and "0x" hexadecimal
    // are read (platform/IntText.h).
    int32_t ReadInteger(std::string_view Section, std::string_view Key, int32_t Default) const;
    int64_t ReadInt64(std::string_view Section, std::string_view Key, int64_t Default) const;
    // "0" is false, any other number is true, anything else gives Default.
    bool ReadBool(std::string_view Section, std::string_view Key, bool Default) const;

    void WriteString(std::string_view Section, std::string_view Key, const std::string& Value);
    void WriteInteger(std::string_view Section, std::string_view Key, int32_t Value);
    void WriteInt64(std::string_view Section, std::string_view Key, int64_t Value);
    void WriteBool(std::string_view Section, std::string_view Key, bool Value);

    bool SectionExists(std::string_view Section) const;
    bool ValueExists(std::string_view Section, std::string_view Key) const;
    // Names in file order.
    std::vector<std::string> ReadSections() const;
    std::vector<std::string> ReadSection(std::string_view Section) const;
    void EraseSection(std::string_view Section);
    void DeleteKey(std::string_view Section, std::string_view Key);
    void Clear();

    // Reads the file again, dropping changes not written.
    void Reload();
    // Writes every section; false when the file cannot be written.
    bool UpdateFile() const;
    // The file's text: lines end with LF.
    std::string Text() const;
    void SetText(std::string_view Text);

protected:
    virtual void Changed() {}

private:
    struct Entry {
        std::string Key;
        std::string Value;
    };
    struct Section {
        std::string Name;
        std::vector<Entry> Entries;
    };
    const Section* FindSection(std::string_view Name) const;
    Section& AddSection(std::string_view Name);
    const Entry* FindEntry(std::string_view Section, std::string_view Key) const;

    std::string FFileName;
    std::vector<Section> FSections;
};

// Every write, erase and delete goes to the file at once.
class TIniFile : public TMemIniFile {
public:
    using TMemIniFile::TMemIniFile;

protected:
    void Changed() override { UpdateFile(); }
};

} // namespace qnl
