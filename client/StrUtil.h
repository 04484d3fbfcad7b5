#pragma once
// The data-access layer's string toolbox: character-set tests, trimming and copying, word
// extraction, whole-word search and replacing, GUID texts, date and time literal normalising,
// SQL LIKE matching, and the decision whether an identifier must be written in double quotes.
//
// Strings are 8-bit bytes. A "blank" is a character below code 33 unless said otherwise.
// Positions given to or answered by these routines are 1-based (0 means "none"), as in SQL text
// positions that the statement analysis reports.
#include "platform/StringList.h"

#include <array>
#include <bitset>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace qnl {

// The line break of every text the data-access layer writes.
inline constexpr std::string_view CRLF = "\r\n";

// A set of 8-bit characters.
using TCharSet = std::bitset<256>;
TCharSet MakeCharSet(std::string_view Chars);
inline bool IsCharInSet(char Ch, const TCharSet& Set) { return Set.test(static_cast<unsigned char>(Ch)); }

// --- Tests and comparisons ---

// After any leading "+" and "-", at least one character remains and all are digits or ".".
bool IsNumericStr(std::string_view S);
bool EmptyOrBlank(std::string_view S);
bool IsBlankStr(std::string_view S);
bool IsEmptyStrings(const TStringList& Strings);
// "OLD_x", "NEW_x", "MAS_x" in any case (at least one character after the underscore).
bool IsOldParamName(std::string_view Name);
bool IsNewParamName(std::string_view Name);
bool IsMasParamName(std::string_view Name);
bool StrStartsWith(std::string_view Prefix, std::string_view S);
bool WideStrStartsWith(std::u16string_view Prefix, std::u16string_view S);
// Without CaseSensitive only the ASCII letters fold: '@' and '`' stay different.
bool EqualStr(std::string_view A, std::string_view B, bool CaseSensitive);
bool SameLengthEqual(bool IgnoreCase, std::string_view A, std::string_view B);
bool StrInArray(std::string_view S, std::initializer_list<std::string_view> Strings);

// --- Trimming, copying, case ---

std::string FastTrim(std::string_view S);
void TrimInPlace(std::string& S);
// First and Last are 1-based positions of the first and last character above 32; an empty S
// gives 0, 0 and an all-blank S gives 1, 0.
void TrimBounds(std::string_view S, int& First, int& Last);
void TrimRightSpacesInPlace(std::string& S);              // code 32 only
void WideTrimRightInPlace(std::u16string& WS);            // code 32 only
// Characters Index .. Index + Count - 1 (Index from 1), clamped to the end.
std::string FastCopy(std::string_view S, int Index, int Count);
void CopyInto(std::string_view Src, std::string& Dest, int Index, int Count);
std::string FastUpperCase(std::string_view S);
// Upper-cases S[From..To] (1-based); To = 0 or beyond the end means the end.
void UpperCaseRangeInPlace(std::string& S, int From, int To);
void LowerCaseInPlace(std::string& S);
void WideUpperCaseInPlace(std::u16string& WS);
std::string ReplicateChar(char Ch, int N);
inline std::string IIfStr(bool Condition, std::string_view A, std::string_view B) {
    return std::string(Condition ? A : B);
}
int PCharLen(const char* P);
std::u16string Utf8DecodeStr(std::string_view S);

// --- Search and replace (positions 1-based, 0 = not found) ---

int CharPos(char Ch, std::string_view S);
int CharPosFrom(char Ch, std::string_view S, int From);
// First p >= From where Sub lies entirely within S[1 .. min(Limit, Length(S))].
int PosFromLimit(std::string_view Sub, std::string_view S, int From, int Limit);
int PosFrom(std::string_view Sub, std::string_view S, int From);
// The first occurrence of Sub whose neighbours (where there are any) are in the given sets.
int PosWholeWord(std::string_view Sub, std::string_view S, const TCharSet& BeforeSet, const TCharSet& AfterSet);
int PosWholeWordUpper(std::string_view Sub, std::string_view S, const TCharSet& BeforeSet, const TCharSet& AfterSet,
                      bool LocaleCase);
// Every occurrence of Old, left to right, not overlapping ("AAA" with "AA" -> "B" gives "BA").
std::string ReplaceStr(std::string_view S, std::string_view Old, std::string_view New);
std::string ReplaceStrNoCase(std::string_view S, std::string_view Old, std::string_view New, bool LocaleCase);
// ReplaceStr on S[FromPos..ToPos] only (1-based, inclusive).
std::string ReplaceInRange(std::string_view S, std::string_view Old, std::string_view New, int FromPos, int ToPos);
// The N-th (from 1) maximal run of characters not in Delimiters. A text without any word gives
// itself for N = 1.
std::string ExtractWord(int N, std::string_view S, const TCharSet& Delimiters);
int WordCount(std::string_view S, const TCharSet& Delimiters);
std::string ValueAfterEquals(std::string_view S);
void SplitNameValue(std::string_view S, std::string& Name, std::string& Value);
// The text between a closing quote (after trailing blanks) and the same opening quote.
std::string StripQuotes(std::string_view S);
// Text between two Quote characters, each Quote inside doubled: an SQL literal ('...') or a
// quoted name ("...").
std::string SQLQuoted(std::string_view Text, char Quote = '\'');
void RemoveEmptyLines(TStringList& Strings);
int IndexOfExact(const TStringList& List, std::string_view S);
void ExcludeStrings(const TStringList& Source, const TStringList& Filter, TStringList& Dest);

// --- GUIDs ---

struct TGUID {
    uint32_t D1 = 0;
    uint16_t D2 = 0;
    uint16_t D3 = 0;
    std::array<uint8_t, 8> D4{};
};
bool GUIDsEqual(const TGUID& A, const TGUID& B);
// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" with upper-case hex digits; Buffer takes 38 chars.
void GUIDToChars(const TGUID& GUID, char* Buffer);
std::string GUIDAsString(const TGUID& GUID);
// Throws EConvertError "'<text>' is not a valid GUID value" (lower-case hex digits included).
TGUID StringAsGUID(std::string_view S);
int CompareGUIDWithStr(const TGUID& GUID, std::string_view S);

// --- Dates, masks, identifiers ---

// Converts S to a date and time while the short date format is temporarily Format.
double StrToDateTimeFmt(std::string_view S, std::string_view Format);
// Rewrites a date/time literal under the current format settings. Kind 0 date and time, 1 date,
// 2 time. Throws EConvertError when the text does not convert.
std::string NormalizeDateTimeText(std::string_view S, int Kind);
// SQL LIKE with "%" and "_", case-sensitive.
bool SQLMaskCompare(std::string_view S, std::string_view Mask);
bool SQLMaskCompareW(std::u16string_view S, std::u16string_view Mask);
// Whether an identifier must be written in double quotes: it has a character that unquoted
// identifiers cannot have, starts with a digit, or is a reserved word. NeedQuoteNoCase accepts
// lower-case letters as unquoted ones (for connections that compare names without case).
bool NeedQuote(std::string_view Identifier);
bool NeedQuoteNoCase(std::string_view Identifier);

// The process-wide reserved words, sorted ASCII-case-insensitively (duplicates kept), and the
// first and last index of the words that start with each pair of letters A-Z.
const TStringList& ReservedWords();
struct TReservedWordRange {
    int From = 0;
    int To = 0;
};
TReservedWordRange ReservedWordRange(char First, char Second);

} // namespace qnl
