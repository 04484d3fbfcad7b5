#pragma once
// File services: whole-file reads, path pieces, wildcard search and the program's own folder.
#include <string>
#include <vector>

namespace qnl {

// Reads the whole file as bytes. A file that starts with FF FE is UTF-16LE text and comes back
// as UTF-8. Answers false when the file cannot be opened.
bool ReadFileBytes(const std::string& FileName, std::string& Bytes);
// Narrows UTF-16LE bytes (without the FF FE mark) to UTF-8.
std::string Utf16LeToUtf8(const std::string& Bytes);

bool FileExists(const std::string& FileName);          // regular files only
bool DirectoryExists(const std::string& Dir);
std::string ExtractFilePath(const std::string& FileName);   // with the trailing "/"
std::string ExtractFileName(const std::string& FileName);
std::string ExtractFileExt(const std::string& FileName);    // with the dot
std::string ChangeFileExt(const std::string& FileName, const std::string& Ext);
std::string IncludeTrailingPathDelimiter(const std::string& Dir);

// The regular files that match a mask with "*" and "?" in its name part, sorted by name.
std::vector<std::string> FindFiles(const std::string& Mask);
bool MatchesMask(const std::string& Name, const std::string& Mask);

// The folder of the running program, with a trailing "/".
std::string ProgramDir();

} // namespace qnl
