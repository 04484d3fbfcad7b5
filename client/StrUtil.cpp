#include "StrUtil.h"

#include "platform/DateTime.h"
#include "platform/Exceptions.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include <unicode/uchar.h>
#include <unicode/utf16.h>

namespace qnl {

namespace {

bool IsBlank(char c) { return static_cast<unsigned char>(c) < 33; }
char AsciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }
char LocaleUpper(char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); }

std::string UpperCopy(std::string_view S, bool LocaleCase) {
    std::string r(S);
    for (char& c : r) c = LocaleCase ? LocaleUpper(c) : AsciiUpper(c);
    return r;
}

bool HasPrefixNoCase(std::string_view Name, const char* Prefix) {
    if (Name.size() < 5 || Name[3] != '_') return false;
    for (int i = 0; i < 3; ++i)
        if (AsciiUpper(Name[static_cast<size_t>(i)]) != Prefix[i]) return false;
    return true;
}

// Finds Old in Search (a text of S's length, S itself or its upper-cased copy) and builds the
// result from S, so that only the search sees the case folding.
std::string ReplaceEngine(std::string_view S, std::string_view Search, std::string_view Old, std::string_view New) {
    if (Old.empty()) return std::string(S);
    size_t at = Search.find(Old);
    if (at == std::string_view::npos) return std::string(S);
    std::string r;
    r.reserve(S.size() + (New.size() > Old.size() ? New.size() - Old.size() : 0));
    size_t done = 0;
    while (at != std::string_view::npos) {
        r.append(S.substr(done, at - done));
        r.append(New);
        done = at + Old.size();
        at = Search.find(Old, done);
    }
    r.append(S.substr(done));
    return r;
}

} // namespace

TCharSet MakeCharSet(std::string_view Chars) {
    TCharSet set;
    for (char c : Chars) set.set(static_cast<unsigned char>(c));
    return set;
}

// --- Tests and comparisons ---

bool IsNumericStr(std::string_view S) {
    size_t i = 0;
    while (i < S.size() && (S[i] == '+' || S[i] == '-')) ++i;
    if (i == S.size()) return false;
    for (; i < S.size(); ++i)
        if (!std::isdigit(static_cast<unsigned char>(S[i])) && S[i] != '.') return false;
    return true;
}

bool EmptyOrBlank(std::string_view S) { return std::all_of(S.begin(), S.end(), IsBlank); }

bool IsBlankStr(std::string_view S) {
    for (size_t i = S.size(); i > 0; --i)
        if (!IsBlank(S[i - 1])) return false;
    return true;
}

bool IsEmptyStrings(const TStringList& Strings) {
    for (int i = 0; i < Strings.Count(); ++i)
        if (!EmptyOrBlank(Strings[i])) return false;
    return true;
}

bool IsOldParamName(std::string_view Name) { return HasPrefixNoCase(Name, "OLD"); }
bool IsNewParamName(std::string_view Name) { return HasPrefixNoCase(Name, "NEW"); }
bool IsMasParamName(std::string_view Name) { return HasPrefixNoCase(Name, "MAS"); }

bool StrStartsWith(std::string_view Prefix, std::string_view S) { return S.substr(0, Prefix.size()) == Prefix; }

bool WideStrStartsWith(std::u16string_view Prefix, std::u16string_view S) {
    return S.substr(0, Prefix.size()) == Prefix;
}

bool EqualStr(std::string_view A, std::string_view B, bool CaseSensitive) {
    if (CaseSensitive) return A == B;
    if (A.size() != B.size()) return false;
    // Only letters fold: characters such as '1' and 'Q', 32 apart, stay different.
    for (size_t i = 0; i < A.size(); ++i)
        if (AsciiUpper(A[i]) != AsciiUpper(B[i])) return false;
    return true;
}

bool SameLengthEqual(bool IgnoreCase, std::string_view A, std::string_view B) {
    if (A.size() != B.size()) return false;
    if (!IgnoreCase) return A == B;
    for (size_t i = 0; i < A.size(); ++i)
        if (LocaleUpper(A[i]) != LocaleUpper(B[i])) return false;
    return true;
}

bool StrInArray(std::string_view S, std::initializer_list<std::string_view> Strings) {
    return std::find(Strings.begin(), Strings.end(), S) != Strings.end();
}

// --- Trimming, copying, case ---

std::string FastTrim(std::string_view S) {
    int first, last;
    TrimBounds(S, first, last);
    if (first == 0 || last < first) return {};
    return std::string(S.substr(static_cast<size_t>(first - 1), static_cast<size_t>(last - first + 1)));
}

void TrimInPlace(std::string& S) { S = FastTrim(S); }

void TrimBounds(std::string_view S, int& First, int& Last) {
    Last = static_cast<int>(S.size());
    while (Last > 0 && IsBlank(S[static_cast<size_t>(Last - 1)])) --Last;
    First = S.empty() ? 0 : 1;
    while (First >= 1 && First <= Last && IsBlank(S[static_cast<size_t>(First - 1)])) ++First;
}

void TrimRightSpacesInPlace(std::string& S) {
    size_t n = S.size();
    while (n > 0 && S[n - 1] == ' ') --n;
    S.resize(n);
}

void WideTrimRightInPlace(std::u16string& WS) {
    size_t n = WS.size();
    while (n > 0 && WS[n - 1] == u' ') --n;
    WS.resize(n);
}

std::string FastCopy(std::string_view S, int Index, int Count) {
    if (Index < 1 || Count <= 0 || Index > static_cast<int>(S.size())) return {};
    return std::string(S.substr(static_cast<size_t>(Index - 1), static_cast<size_t>(Count)));
}

void CopyInto(std::string_view Src, std::string& Dest, int Index, int Count) {
    Dest.assign(FastCopy(Src, Index, Count));   // assign keeps Dest's buffer when it fits
}

std::string FastUpperCase(std::string_view S) { return UpperCopy(S, false); }

void UpperCaseRangeInPlace(std::string& S, int From, int To) {
    const int len = static_cast<int>(S.size());
    if (To == 0 || To > len) To = len;
    for (int i = std::max(From, 1); i <= To; ++i) S[static_cast<size_t>(i - 1)] = AsciiUpper(S[static_cast<size_t>(i - 1)]);
}

void LowerCaseInPlace(std::string& S) {
    for (char& c : S)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
}

void WideUpperCaseInPlace(std::u16string& WS) {
    // Unicode's simple upper-case mapping, the same in every locale: one code point for one, so
    // the length stays (a pair of surrogates maps to a pair, a lone surrogate stays as it is).
    for (size_t i = 0; i < WS.size();) {
        const size_t start = i;
        UChar32 c;
        U16_NEXT(WS.data(), i, WS.size(), c);
        const UChar32 upper = u_toupper(c);
        if (upper == c || U16_LENGTH(upper) != i - start) continue;
        size_t at = start;
        U16_APPEND_UNSAFE(WS.data(), at, upper);
    }
}

std::string ReplicateChar(char Ch, int N) { return N <= 0 ? std::string() : std::string(static_cast<size_t>(N), Ch); }

int PCharLen(const char* P) { return P ? static_cast<int>(std::strlen(P)) : 0; }

std::u16string Utf8DecodeStr(std::string_view S) {
    std::u16string r;
    r.reserve(S.size());
    size_t i = 0;
    while (i < S.size()) {
        const unsigned char c = static_cast<unsigned char>(S[i]);
        uint32_t cp;
        size_t extra;
        if (c < 0x80) { cp = c; extra = 0; }
        else if ((c & 0xE0) == 0xC0) { cp = c & 0x1F; extra = 1; }
        else if ((c & 0xF0) == 0xE0) { cp = c & 0x0F; extra = 2; }
        else if ((c & 0xF8) == 0xF0) { cp = c & 0x07; extra = 3; }
        else { r.push_back(u'?'); ++i; continue; }     // not a lead byte
        if (i + extra >= S.size() && extra > 0) {
            r.push_back(u'?');                           // cut short at the end
            break;
        }
        bool ok = true;
        for (size_t k = 1; k <= extra; ++k) {
            const unsigned char t = static_cast<unsigned char>(S[i + k]);
            if ((t & 0xC0) != 0x80) { ok = false; break; }
            cp = (cp << 6) | (t & 0x3F);
        }
        if (!ok) { r.push_back(u'?'); ++i; continue; }
        i += extra + 1;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            r.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            r.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            r.push_back(static_cast<char16_t>(cp));
        }
    }
    return r;
}

// --- Search and replace ---

int CharPos(char Ch, std::string_view S) { return CharPosFrom(Ch, S, 1); }

int CharPosFrom(char Ch, std::string_view S, int From) {
    if (From < 1) From = 1;
    if (From > static_cast<int>(S.size())) return 0;
    const size_t at = S.find(Ch, static_cast<size_t>(From - 1));
    return at == std::string_view::npos ? 0 : static_cast<int>(at) + 1;
}

int PosFromLimit(std::string_view Sub, std::string_view S, int From, int Limit) {
    if (Sub.empty() || S.empty()) return 0;
    if (From < 1) From = 1;
    const std::string_view within = S.substr(0, static_cast<size_t>(std::clamp(Limit, 0, static_cast<int>(S.size()))));
    if (From > static_cast<int>(within.size())) return 0;
    const size_t at = within.find(Sub, static_cast<size_t>(From - 1));
    return at == std::string_view::npos ? 0 : static_cast<int>(at) + 1;
}

int PosFrom(std::string_view Sub, std::string_view S, int From) {
    return PosFromLimit(Sub, S, From, static_cast<int>(S.size()));
}

int PosWholeWord(std::string_view Sub, std::string_view S, const TCharSet& BeforeSet, const TCharSet& AfterSet) {
    if (Sub.empty()) return 0;
    size_t from = 0;
    while (true) {
        const size_t at = S.find(Sub, from);
        if (at == std::string_view::npos) return 0;
        const size_t end = at + Sub.size();
        const bool beforeOk = at == 0 || IsCharInSet(S[at - 1], BeforeSet);
        const bool afterOk = end >= S.size() || IsCharInSet(S[end], AfterSet);
        if (beforeOk && afterOk) return static_cast<int>(at) + 1;
        from = end;
    }
}

int PosWholeWordUpper(std::string_view Sub, std::string_view S, const TCharSet& BeforeSet, const TCharSet& AfterSet,
                      bool LocaleCase) {
    return PosWholeWord(UpperCopy(Sub, LocaleCase), UpperCopy(S, LocaleCase), BeforeSet, AfterSet);
}

std::string ReplaceStr(std::string_view S, std::string_view Old, std::string_view New) {
    return ReplaceEngine(S, S, Old, New);
}

std::string ReplaceStrNoCase(std::string_view S, std::string_view Old, std::string_view New, bool LocaleCase) {
    const std::string search = UpperCopy(S, LocaleCase);
    return ReplaceEngine(S, search, UpperCopy(Old, LocaleCase), New);
}

std::string ReplaceInRange(std::string_view S, std::string_view Old, std::string_view New, int FromPos, int ToPos) {
    const int len = static_cast<int>(S.size());
    FromPos = std::max(FromPos, 1);
    ToPos = std::min(ToPos, len);
    if (FromPos > ToPos) return std::string(S);
    const size_t from = static_cast<size_t>(FromPos - 1);
    const size_t count = static_cast<size_t>(ToPos - FromPos + 1);
    std::string r(S.substr(0, from));
    r += ReplaceStr(S.substr(from, count), Old, New);
    r.append(S.substr(from + count));
    return r;
}

std::string ExtractWord(int N, std::string_view S, const TCharSet& Delimiters) {
    int word = 0;
    size_t i = 0;
    while (i < S.size()) {
        while (i < S.size() && IsCharInSet(S[i], Delimiters)) ++i;
        if (i >= S.size()) break;
        const size_t start = i;
        while (i < S.size() && !IsCharInSet(S[i], Delimiters)) ++i;
        if (++word == N) return std::string(S.substr(start, i - start));
    }
    // A text without any word is its own first word.
    if (word == 0 && N == 1) return std::string(S);
    return {};
}

int WordCount(std::string_view S, const TCharSet& Delimiters) {
    int count = 0;
    bool inWord = false;
    for (char c : S) {
        const bool delim = IsCharInSet(c, Delimiters);
        if (!delim && !inWord) ++count;
        inWord = !delim;
    }
    return count;
}

std::string ValueAfterEquals(std::string_view S) {
    const size_t at = S.find('=');
    return at == std::string_view::npos ? std::string() : std::string(S.substr(at + 1));
}

void SplitNameValue(std::string_view S, std::string& Name, std::string& Value) {
    const size_t at = S.find('=');
    if (at == std::string_view::npos) {
        Name = std::string(S);
        Value.clear();
    } else {
        Name = std::string(S.substr(0, at));
        Value = std::string(S.substr(at + 1));
    }
}

std::string SQLQuoted(std::string_view Text, char Quote) {
    std::string result(1, Quote);
    for (char c : Text) {
        result += c;
        if (c == Quote) result += Quote;
    }
    return result + Quote;
}

std::string StripQuotes(std::string_view S) {
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
    size_t last = S.size();
    while (last > 0 && blank(S[last - 1])) --last;
    if (last == 0) return std::string(S);
    const char quote = S[last - 1];
    if (quote != '"' && quote != '\'') return std::string(S);
    const char other = quote == '"' ? '\'' : '"';
    size_t first = 0;
    while (first < last - 1 && (blank(S[first]) || S[first] == other)) ++first;
    if (first >= last - 1 || S[first] != quote) return std::string(S);
    return std::string(S.substr(first + 1, last - 1 - first - 1));
}

void RemoveEmptyLines(TStringList& Strings) {
    for (int i = Strings.Count() - 1; i >= 0; --i)
        if (Strings[i].empty()) Strings.Delete(i);
}

int IndexOfExact(const TStringList& List, std::string_view S) {
    for (int i = 0; i < List.Count(); ++i)
        if (List[i] == S) return i;
    return -1;
}

void ExcludeStrings(const TStringList& Source, const TStringList& Filter, TStringList& Dest) {
    Dest.Clear();
    for (int i = 0; i < Source.Count(); ++i) {
        int index = -1;
        const bool held = Filter.Sorted() ? Filter.Find(Source[i], index) : Filter.IndexOf(Source[i]) >= 0;
        if (!held) Dest.AddObject(Source[i], Source.Objects(i));
    }
}

// --- GUIDs ---

namespace {

const char HexDigits[] = "0123456789ABCDEF";

void PutByte(char*& P, uint8_t B) {
    *P++ = HexDigits[B >> 4];
    *P++ = HexDigits[B & 15];
}

// The value of a hex digit; characters up to 'F' that are no digit count as 0, anything above
// 'F' (lower-case digits included) is invalid.
int HexValue(char c) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (u > 'F') return -1;
    if (u >= '0' && u <= '9') return u - '0';
    if (u >= 'A' && u <= 'F') return u - 'A' + 10;
    return 0;
}

} // namespace

bool GUIDsEqual(const TGUID& A, const TGUID& B) {
    return A.D1 == B.D1 && A.D2 == B.D2 && A.D3 == B.D3 && A.D4 == B.D4;
}

void GUIDToChars(const TGUID& GUID, char* Buffer) {
    char* p = Buffer;
    *p++ = '{';
    for (int shift = 24; shift >= 0; shift -= 8) PutByte(p, static_cast<uint8_t>(GUID.D1 >> shift));
    *p++ = '-';
    PutByte(p, static_cast<uint8_t>(GUID.D2 >> 8));
    PutByte(p, static_cast<uint8_t>(GUID.D2));
    *p++ = '-';
    PutByte(p, static_cast<uint8_t>(GUID.D3 >> 8));
    PutByte(p, static_cast<uint8_t>(GUID.D3));
    *p++ = '-';
    PutByte(p, GUID.D4[0]);
    PutByte(p, GUID.D4[1]);
    *p++ = '-';
    for (int i = 2; i < 8; ++i) PutByte(p, GUID.D4[static_cast<size_t>(i)]);
    *p = '}';
}

std::string GUIDAsString(const TGUID& GUID) {
    std::string r(38, ' ');
    GUIDToChars(GUID, r.data());
    return r;
}

TGUID StringAsGUID(std::string_view S) {
    auto fail = [&]() { throw EConvertError("'" + std::string(S) + "' is not a valid GUID value"); };
    if (S.size() != 38 || S[0] != '{' || S[37] != '}' || S[9] != '-' || S[14] != '-' || S[19] != '-' || S[24] != '-')
        fail();
    size_t pos = 1;
    auto byte = [&]() -> uint32_t {
        if (S[pos] == '-') ++pos;
        const int hi = HexValue(S[pos]);
        const int lo = HexValue(S[pos + 1]);
        if (hi < 0 || lo < 0) fail();
        pos += 2;
        return static_cast<uint32_t>(hi * 16 + lo);
    };
    TGUID g;
    for (int i = 0; i < 4; ++i) g.D1 = (g.D1 << 8) | byte();
    g.D2 = static_cast<uint16_t>(byte() << 8);
    g.D2 = static_cast<uint16_t>(g.D2 | byte());
    g.D3 = static_cast<uint16_t>(byte() << 8);
    g.D3 = static_cast<uint16_t>(g.D3 | byte());
    for (auto& b : g.D4) b = static_cast<uint8_t>(byte());
    return g;
}

int CompareGUIDWithStr(const TGUID& GUID, std::string_view S) {
    return CompareStr(S, GUIDAsString(GUID));
}

// --- Dates ---

double StrToDateTimeFmt(std::string_view S, std::string_view Format) {
    TFormatSettings& fs = FormatSettings;
    const std::string saved = fs.ShortDateFormat;
    fs.ShortDateFormat = std::string(Format);
    try {
        const double r = StrToDateTime(S);
        fs.ShortDateFormat = saved;
        return r;
    } catch (...) {
        fs.ShortDateFormat = saved;
        throw;
    }
}

std::string NormalizeDateTimeText(std::string_view S, int Kind) {
    if (EmptyOrBlank(S)) return {};
    TFormatSettings& fs = FormatSettings;
    const TFormatSettings saved = fs;
    struct Restore {
        TFormatSettings& Fs;
        const TFormatSettings& Saved;
        // Only what this routine changes goes back.
        ~Restore() {
            Fs.DateSeparator = Saved.DateSeparator;
            Fs.ShortDateFormat = Saved.ShortDateFormat;
            Fs.LongDateFormat = Saved.LongDateFormat;
            Fs.TimeSeparator = Saved.TimeSeparator;
            Fs.ShortTimeFormat = Saved.ShortTimeFormat;
        }
    } restore{fs, saved};

    std::string text(S);
    if (Kind == 0 || Kind == 1) {
        if (text.find('.') != std::string::npos) {
            fs.DateSeparator = '.';
            fs.ShortDateFormat = "dd.mm.yyyy";
        } else if (text.find('/') != std::string::npos) {
            fs.DateSeparator = '/';
            fs.ShortDateFormat = "mm/dd/yyyy";
        } else if (text.find('-') == std::string::npos) {
            return FastUpperCase(text);     // words such as NOW pass through
        } else {
            static const char* const months[12] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                                   "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
            int month = -1;
            for (int m = 0; m < 12 && month < 0; ++m)
                if (text.find(months[m]) != std::string::npos) month = m;
            if (month >= 0) {
                const char number[3] = {static_cast<char>('0' + (month + 1) / 10),
                                        static_cast<char>('0' + (month + 1) % 10), 0};
                text = ReplaceStr(text, months[month], number);
                text = ReplaceStr(text, "-", std::string(1, fs.DateSeparator));
                fs.ShortDateFormat = "dd.mm.yyyy";
            } else {
                text = ReplaceStr(text, "-", "/");
                fs.DateSeparator = '/';
                fs.ShortDateFormat = "yyyy/mm/dd";
            }
        }
    }
    fs.TimeSeparator = ':';
    fs.ShortTimeFormat = "h:m:s";
    switch (Kind) {
    case 0: return DateTimeToStr(StrToDateTime(text));
    case 1: return DateToStr(StrToDate(text));
    case 2: return TimeToStr(StrToTime(text));
    default: StrToDateTime(text); return {};
    }
}

// --- LIKE matching ---

namespace {

// Collapses runs of "*" and "?" after a "*"; SQL wildcards are copied as they are.
std::string CompressWildcards(std::string_view Mask) {
    if (Mask.size() <= 1) return std::string(Mask);
    std::string r;
    const size_t last = Mask.size() - 1;
    size_t i = 0;
    while (i < last) {
        const char c = Mask[i++];
        r += c;
        if (c == '*')
            while (i < last && (Mask[i] == '*' || Mask[i] == '?')) ++i;
    }
    if (Mask[last] != '*' || (!r.empty() && r.back() != '*')) r += Mask[last];
    return r;
}

bool IsWild(char c) { return c == '%' || c == '_'; }

bool MatchMask(std::string_view S, std::string_view M) {
    // A mask of nothing but "%" matches any text, the empty one included.
    if (!M.empty() && M.find_first_not_of('%') == std::string_view::npos) return true;
    if (S == M) return true;
    if (S.empty() || M.empty()) return false;
    if (!IsWild(M[0])) {
        if (M[0] != S[0]) return false;
        const size_t p = M.find_first_of("%_");
        if (p == std::string_view::npos) return S == M;
        if (S.size() < p || S.substr(0, p) != M.substr(0, p)) return false;
        return MatchMask(S.substr(p), M.substr(p));
    }
    if (M[0] == '%') {
        const std::string_view rest = M.substr(1);
        // A wildcard after "%" can start anywhere; a plain character only where S has it.
        for (size_t i = 0; i < S.size(); ++i)
            if ((IsWild(rest[0]) || S[i] == rest[0]) && MatchMask(S.substr(i), rest)) return true;
        return false;
    }
    return MatchMask(S.substr(1), M.substr(1));
}

std::string Narrow(std::u16string_view W) {
    std::string r;
    r.reserve(W.size());
    for (char16_t c : W) {
        if (c < 0x80) {
            r += static_cast<char>(c);
        } else if (c < 0x800) {
            r += static_cast<char>(0xC0 | (c >> 6));
            r += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            r += static_cast<char>(0xE0 | (c >> 12));
            r += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            r += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return r;
}

} // namespace

bool SQLMaskCompare(std::string_view S, std::string_view Mask) { return MatchMask(S, CompressWildcards(Mask)); }

bool SQLMaskCompareW(std::u16string_view S, std::u16string_view Mask) {
    return SQLMaskCompare(Narrow(S), Narrow(Mask));
}

// --- Reserved words and quoting ---

namespace {

const char* const ReservedFunctions[] = {"AVG", "CAST", "COUNT", "GEN_ID", "MAX", "MIN", "SUM", "UPPER", "IIF", "SUBSTRING"};

const char* const ReservedKeywords[] = {
    "ACTIVE", "ADD", "AFTER", "ALL", "ALTER", "AND", "ANY", "AS", "ASC", "ASCENDING", "AT", "AUTO", "AUTODDL",
    "BASED", "BASENAME", "BASE_NAME", "BEFORE", "BEGIN", "BETWEEN", "BLOBEDIT", "BUFFER", "BY", "CASE", "CACHE",
    "CHARACTER_LENGTH", "CHAR_LENGTH", "CHECK", "CHECK_POINT_LEN", "CHECK_POINT_LENGTH", "COLLATE", "COLLATION",
    "COLUMN", "COMMIT", "COMMITED", "COMPILETIME", "COMPUTED", "CROSS", "CLOSE", "CONDITIONAL", "CONNECT",
    "CONSTRAINT", "CONTAINING", "CONTINUE", "CREATE", "CURRENT", "CURRENT_DATE", "CURRENT_TIME",
    "CURRENT_TIMESTAMP", "CURSOR", "DATABASE", "DAY", "DB_KEY", "DEBUG", "DEC", "DECLARE", "DEFAULT", "DELETE",
    "DESC", "DESCENDING", "DESCRIBE", "DESCRIPTOR", "DISCONNECT", "DISTINCT", "DO", "DOMAIN", "DROP", "ECHO",
    "EDIT", "ELSE", "END", "ENTRY_POINT", "ESCAPE", "EVENT", "EXCEPTION", "EXECUTE", "EXISTS", "EXIT", "EXTERN",
    "EXTERNAL", "EXTRACT", "FALSE", "FETCH", "FILE", "FILTER", "FOR", "FOREIGN", "FOUND", "FROM", "FULL",
    "FUNCTION", "GDSCODE", "GENERATOR", "GLOBAL", "GOTO", "GRANT", "GROUP", "GROUP_COMMIT_WAIT",
    "GROUP_COMMIT_WAIT_TIME", "HAVING", "HELP", "HOUR", "IF", "IMMEDIATE", "IN", "INACTIVE", "INDEX", "INDICATOR",
    "INIT", "INNER", "INPUT", "INPUT_TYPE", "INSERT", "INT", "INTO", "IS", "ISOLATION", "ISQL", "JOIN", "KEY",
    "LC_MESSAGES", "LC_TYPE", "LEFT", "LENGTH", "LEV", "LEVEL", "LIKE", "LOGFILE", "LOG_BUFFER_SIZE",
    "LOG_BUF_SIZE", "LONG", "MANUAL", "MAXIMUM", "MAXIMUM_SEGMENT", "MAX_SEGMENT", "MERGE", "MESSAGE", "MINIMUM",
    "MINUTE", "MODULE_NAME", "MONTH", "NAMES", "NATIONAL", "NATURAL", "NCHAR", "NO", "NOAUTO", "NOT", "NULL",
    "NUM_LOG_BUFFS", "NUM_LOG_BUFFERS", "OCTET_LENGTH", "OF", "ON", "ONLY", "OPEN", "OPTION", "OR", "ORDER",
    "OUTER", "OUTPUT", "OUTPUT_TYPE", "OVERFLOW", "PAGE", "PAGELENGTH", "PAGES", "PAGE_SIZE", "PARAMETER",
    "PASSWORD", "PLAN", "POSITION", "POST_EVENT", "PRECISION", "PREPARE", "PROCEDURE", "PROTECTED", "PRIMARY",
    "PRIVILEGES", "PUBLIC", "QUIT", "RAW_PARTITIONS", "READ", "REAL", "RECORD_VERSION", "REFERENCES", "RELEASE",
    "RESERV", "RESERVING", "RETAIN", "RETURN", "RETURNING_VALUES", "RETURNS", "REVOKE", "RIGHT", "ROLLBACK",
    "ROWS", "RUNTIME", "SAVEPOINT", "SCHEMA", "SECOND", "SEGMENT", "SELECT", "SEQUENCE", "SET", "SHADOW",
    "SHARED", "SHELL", "SHOW", "SIMILAR", "SINGULAR", "SIZE", "SNAPSHOT", "SOME", "SORT", "SQL", "SQLCODE",
    "SQLERROR", "SQLWARNING", "STABILITY", "STARTING", "STARTS", "STATEMENT", "STATIC", "STATISTICS", "SUB_TYPE",
    "SUSPEND", "TABLE", "TERMINATOR", "THEN", "TO", "TRANSACTION", "TRANSLATE", "TRANSLATION", "TRIGGER", "TRIM",
    "TRUE", "TYPE", "UNCOMMITTED", "UNION", "UNIQUE", "UNKNOWN", "UPDATE", "USER", "USING", "VALUE", "VALUES",
    "VARIABLE", "VARYING", "VERSION", "VIEW", "WAIT", "WEEKDAY", "WHEN", "WHENEVER", "WHERE", "WHILE", "WITH",
    "WORK", "WRITE", "YEAR", "YEARDAY", "FIRST", "SKIP", "RECREATE", "CURRENT_USER", "CURRENT_ROLE", "PLANONLY",
    "LIMIT", "SECONDS", "ROWS", "PERCENT", "TIES", "NEW", "OLD", "CURRENT_CONNECTION", "CURRENT_TRANSACTION",
    "INSERTING", "UPDATING", "DELETING", "ROW_COUNT", "FREE_IT"};

const char* const ReservedTypes[] = {"BLOB",     "CHAR",    "CHARACTER", "DATE",    "DECIMAL", "DOUBLE",
                                     "FLOAT",    "INTEGER", "NUMERIC",   "SMALLINT", "TIME",   "TIMESTAMP",
                                     "VARCHAR",  "INT64",   "BIGINT",    "BOOLEAN", "CSTRING"};

struct ReservedTable {
    TStringList Words;
    TReservedWordRange Index[26][26];

    ReservedTable() {
        for (const char* w : ReservedFunctions) Words.Add(w);
        for (const char* w : ReservedKeywords) Words.Add(w);
        for (const char* w : ReservedTypes) Words.Add(w);
        // Sorted once, duplicates kept, in the same ASCII-folded byte order the search uses.
        Words.SetDuplicates(TDuplicates::dupAccept);
        Words.SetCaseSensitive(false);
        Words.SetSorted(true);
        int prevA = 0, prevB = 0;
        Index[0][0].From = 0;
        for (int i = 0; i < Words.Count(); ++i) {
            const std::string& w = Words[i];
            const int a = AsciiUpper(w[0]) - 'A';
            const int b = AsciiUpper(w[1]) - 'A';
            if (a != prevA || b != prevB) {
                Index[prevA][prevB].To = i - 1;
                Index[a][b].From = i;
                prevA = a;
                prevB = b;
            }
        }
        Index[prevA][prevB].To = Words.Count() - 1;
    }

    // Binary search over [From, To] with the list's case rule.
    bool FindInRange(std::string_view Identifier, int From, int To) const {
        int lo = std::max(From, 0);
        int hi = std::min(To, Words.Count() - 1);
        while (lo <= hi) {
            const int mid = (lo + hi) / 2;
            const int c = CompareText(Words[mid], Identifier);
            if (c == 0) return true;
            if (c > 0) hi = mid - 1;
            else lo = mid + 1;
        }
        return false;
    }
};

const ReservedTable& Reserved() {
    static const ReservedTable table;
    return table;
}

bool IsLetter(char c) { return c >= 'A' && c <= 'Z'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool NeedQuoteImpl(std::string_view Id, bool AllowLower) {
    if (Id.empty() || Id[0] == '"') return false;
    for (size_t i = 0; i < Id.size(); ++i) {
        const char c = Id[i];
        const bool ok = IsLetter(c) || IsDigit(c) || (AllowLower && c >= 'a' && c <= 'z') ||
                        (i > 0 && (c == '#' || c == '$' || c == '%' || c == '_'));
        if (!ok) return true;
    }
    if (IsDigit(Id[0])) return true;
    if (Id.size() == 1) return false;
    if (IsDigit(Id[1])) return false;   // no reserved word has a digit second
    const char a = AllowLower ? AsciiUpper(Id[0]) : Id[0];
    const char b = AllowLower ? AsciiUpper(Id[1]) : Id[1];
    if (!IsLetter(a) || !IsLetter(b)) return false;
    const TReservedWordRange r = ReservedWordRange(a, b);
    return Reserved().FindInRange(Id, r.From, r.To);
}

} // namespace

const TStringList& ReservedWords() { return Reserved().Words; }

TReservedWordRange ReservedWordRange(char First, char Second) {
    if (!IsLetter(First) || !IsLetter(Second)) return {};
    return Reserved().Index[First - 'A'][Second - 'A'];
}

bool NeedQuote(std::string_view Identifier) { return NeedQuoteImpl(Identifier, false); }

bool NeedQuoteNoCase(std::string_view Identifier) { return NeedQuoteImpl(Identifier, true); }

} // namespace qnl
