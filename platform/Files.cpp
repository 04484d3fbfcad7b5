#include "Files.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

namespace fs = std::filesystem;

namespace qnl {

std::string Utf16LeToUtf8(const std::string& Bytes) {
    std::string out;
    out.reserve(Bytes.size() / 2);
    for (size_t i = 0; i + 1 < Bytes.size(); i += 2) {
        uint32_t cp = static_cast<unsigned char>(Bytes[i]) | (static_cast<unsigned char>(Bytes[i + 1]) << 8);
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 3 < Bytes.size()) {
            uint32_t lo = static_cast<unsigned char>(Bytes[i + 2]) | (static_cast<unsigned char>(Bytes[i + 3]) << 8);
            if (lo >= 0xDC00 && lo <= 0xDFFF) {
                cp = 0x10000 + ((cp - 0xD800) << 10) + (lo - 0xDC00);
                i += 2;
            }
        }
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (cp >> 18));
            out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    return out;
}

bool ReadFileBytes(const std::string& FileName, std::string& Bytes) {
    std::error_code ec;
    if (!fs::is_regular_file(FileName, ec)) return false;
    std::ifstream f(FileName, std::ios::binary);
    if (!f) return false;
    Bytes.assign(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
    if (Bytes.size() >= 2 && static_cast<unsigned char>(Bytes[0]) == 0xFF && static_cast<unsigned char>(Bytes[1]) == 0xFE)
        Bytes = Utf16LeToUtf8(Bytes.substr(2));
    return true;
}

bool FileExists(const std::string& FileName) {
    std::error_code ec;
    return !FileName.empty() && fs::is_regular_file(FileName, ec);
}

bool DirectoryExists(const std::string& Dir) {
    std::error_code ec;
    return !Dir.empty() && fs::is_directory(Dir, ec);
}

std::string ExtractFilePath(const std::string& FileName) {
    size_t p = FileName.find_last_of('/');
    return p == std::string::npos ? std::string() : FileName.substr(0, p + 1);
}

std::string ExtractFileName(const std::string& FileName) {
    size_t p = FileName.find_last_of('/');
    return p == std::string::npos ? FileName : FileName.substr(p + 1);
}

std::string ExtractFileExt(const std::string& FileName) {
    std::string name = ExtractFileName(FileName);
    size_t p = name.find_last_of('.');
    return p == std::string::npos ? std::string() : name.substr(p);
}

std::string ChangeFileExt(const std::string& FileName, const std::string& Ext) {
    std::string ext = ExtractFileExt(FileName);
    return FileName.substr(0, FileName.size() - ext.size()) + Ext;
}

std::string IncludeTrailingPathDelimiter(const std::string& Dir) {
    return (!Dir.empty() && Dir.back() == '/') ? Dir : Dir + "/";
}

bool MatchesMask(const std::string& Name, const std::string& Mask) {
    // Iterative "*" / "?" matching with one back-track point.
    size_t n = 0, m = 0, starM = std::string::npos, starN = 0;
    while (n < Name.size()) {
        if (m < Mask.size() && (Mask[m] == '?' || Mask[m] == Name[n])) {
            ++n;
            ++m;
        } else if (m < Mask.size() && Mask[m] == '*') {
            starM = m++;
            starN = n;
        } else if (starM != std::string::npos) {
            m = starM + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (m < Mask.size() && Mask[m] == '*') ++m;
    return m == Mask.size();
}

std::vector<std::string> FindFiles(const std::string& Mask) {
    std::vector<std::string> found;
    std::string dir = ExtractFilePath(Mask);
    std::string pattern = ExtractFileName(Mask);
    std::error_code ec;
    fs::directory_iterator it(dir.empty() ? fs::path(".") : fs::path(dir), ec), end;
    for (; !ec && it != end; it.increment(ec)) {
        std::error_code ec2;
        if (!it->is_regular_file(ec2)) continue;
        std::string name = it->path().filename().string();
        if (MatchesMask(name, pattern)) found.push_back(dir + name);
    }
    std::sort(found.begin(), found.end());
    return found;
}

std::string ProgramDir() {
    std::error_code ec;
    fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (ec) return "./";
    return IncludeTrailingPathDelimiter(exe.parent_path().string());
}

} // namespace qnl
