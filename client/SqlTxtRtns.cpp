#include "client/SqlTxtRtns.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace qnl {

namespace {

constexpr std::string_view CRLF = "\r\n";

// Character classes of the scanner.
const TCharSet kBlank = MakeCharSet("\t\n\r ");
const TCharSet kKeywordBefore = MakeCharSet("\t\n\r \")");
const TCharSet kKeywordAfter = MakeCharSet(std::string_view("\0\t\n\r \"(-/;^", 12));
const TCharSet kNameEnd = MakeCharSet(std::string_view("\0\t\n\r (-/;^", 11));
// SkipSpacesAndComments: what may start a run, and what is skipped outright.
const TCharSet kSkipStart = MakeCharSet(std::string_view("\0\t\n\r (-/;^", 11));
const TCharSet kSkipBlank = MakeCharSet(std::string_view("\0\t\n\r (;^", 9));
// Lead-in and trailing characters of clause texts.
const TCharSet kWhereLead = MakeCharSet(std::string_view("\0\t\n\r ;^", 7));
const TCharSet kWhereTrail = MakeCharSet(std::string_view("\0\t\n\r -;^", 8));
const TCharSet kPlanLead = MakeCharSet(std::string_view("\0\t\n\r \"-/;^", 11));
// Runs collapsed to one blank in a FROM list.
const TCharSet kCollapse = MakeCharSet(std::string_view("\0\t\n\r -/;^", 10));
const TCharSet kComma = MakeCharSet(",");
const TCharSet kDot = MakeCharSet(".");
const TCharSet kWordDelims = MakeCharSet(std::string_view("\0\t\n\r \"(-/;^", 12));

// Around a ":Name" parameter: what may stand before it, and after it.
TCharSet ParamBefore() {
    TCharSet s = MakeCharSet("\t\n\r !\"/^|~");
    for (char c = '('; c <= '-'; ++c) s.set(static_cast<unsigned char>(c));
    for (char c = ';'; c <= '>'; ++c) s.set(static_cast<unsigned char>(c));
    return s;
}
const TCharSet kParamBefore = ParamBefore();
const TCharSet kParamAfter = kParamBefore | MakeCharSet(std::string_view("\0", 1));
// Moving back from a ":Name" parameter to the field: blanks, operators, brackets, quotes, colons.
TCharSet ColonBack() {
    TCharSet s = MakeCharSet("\t\n\r !\"/^|~");
    for (char c = '('; c <= '-'; ++c) s.set(static_cast<unsigned char>(c));
    for (char c = ':'; c <= '>'; ++c) s.set(static_cast<unsigned char>(c));
    return s;
}
const TCharSet kColonBack = ColonBack();
const TCharSet kColonCollect = kColonBack | kDot;
// The same for "?Name"; here a qualifier stays part of the field.
TCharSet QuestionBack() {
    TCharSet s = MakeCharSet("\t\n\r !\"/^|~");
    for (char c = '('; c <= '-'; ++c) s.set(static_cast<unsigned char>(c));
    for (char c = ';'; c <= '?'; ++c) s.set(static_cast<unsigned char>(c));
    return s;
}
const TCharSet kQuestionBack = QuestionBack();

inline bool In(char c, const TCharSet& Set) { return IsCharInSet(c, Set); }
inline unsigned char U(char c) { return static_cast<unsigned char>(c); }
inline char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }

// 1-based character access; #0 outside the text.
inline char CharAt(std::string_view S, int Pos) {
    return (Pos >= 1 && Pos <= static_cast<int>(S.size())) ? S[static_cast<size_t>(Pos - 1)] : '\0';
}

// Characters From..To (1-based, inclusive), clamped to the text.
std::string CopyRange(std::string_view S, int From, int To) {
    From = std::max(From, 1);
    To = std::min(To, static_cast<int>(S.size()));
    if (From > To) return {};
    return std::string(S.substr(static_cast<size_t>(From - 1), static_cast<size_t>(To - From + 1)));
}

// The lexical state at the end of a text: 0 plain, 1 quoted name, 2 block comment, 3 line
// comment, 4 string.
int EndState(std::string_view S) {
    int state = 0;
    for (size_t i = 0; i < S.size(); ++i) {
        const char c = S[i];
        const char next = i + 1 < S.size() ? S[i + 1] : '\0';
        switch (state) {
        case 0:
            if (c == '"') state = 1;
            else if (c == '\'') state = 4;
            else if (c == '-' && next == '-') state = 3, ++i;
            else if (c == '/' && next == '*') state = 2, ++i;
            break;
        case 1: if (c == '"') state = 0; break;
        case 4: if (c == '\'') state = 0; break;
        case 2: if (c == '*' && next == '/') state = 0, ++i; break;
        case 3: if (c == '\r' || c == '\n') state = 0; break;
        }
    }
    return state;
}

// Joins a clause to a text: with Separator, or with a line break when the text ends inside a
// "--" comment that would swallow the clause.
std::string JoinClause(std::string_view Head, std::string_view Separator, std::string_view Clause) {
    std::string r(Head);
    r += EndState(Head) == 3 ? CRLF : Separator;
    r += Clause;
    return r;
}

bool AnyKeywordAt(std::string_view Text, int Pos, std::initializer_list<std::string_view> Keywords) {
    for (std::string_view k : Keywords)
        if (IsKeywordAt(k, Text, Pos)) return true;
    return false;
}

// --- FROM list helpers ---

// Runs of blanks and separators outside double quotes become one blank; none at either end.
std::string CollapseBlanks(std::string_view S) {
    std::string r;
    bool quoted = false, pending = false;
    for (char c : S) {
        if (!quoted && In(c, kCollapse)) {
            pending = true;
            continue;
        }
        if (pending && !r.empty()) r += ' ';
        pending = false;
        r += c;
        if (c == '"') quoted = !quoted;
    }
    return r;
}

// The end (exclusive, 0-based) of a join condition starting at From: the next comma outside
// brackets, or the end of the text.
size_t JoinConditionEnd(const std::string& S, size_t From) {
    int depth = 0;
    for (size_t i = From; i < S.size(); ++i) {
        if (S[i] == '(') ++depth;
        else if (S[i] == ')') depth = std::max(depth - 1, 0);
        else if (S[i] == ',' && depth == 0) return i;
    }
    return S.size();
}

// "A LEFT JOIN B ON ..." becomes "A , B ".
std::string JoinsToCommaList(std::string S) {
    const int j = PosKeyword("JOIN", S);
    if (j == 0) return S;
    S = CopyRange(S, 1, j - 1) + ", " + CopyRange(S, j + 5, static_cast<int>(S.size()));
    for (const char* word : {" LEFT ", " RIGHT ", " FULL ", " INNER ", " OUTER "}) S = ReplaceStrNoCase(S, word, " ", false);
    S = ReplaceStrNoCase(S, " JOIN ", " , ", false);
    // A join condition may hold commas of its own (IN lists, function calls): cut up to the
    // next comma outside brackets.
    for (int o; (o = PosKeyword("ON", S)) != 0;) {
        const size_t from = static_cast<size_t>(o - 1);
        S.erase(from, JoinConditionEnd(S, from + 2) - from);
    }
    return S;
}

std::string RemoveBracketedParts(std::string S, bool KeepBracketEntries) {
    for (;;) {
        const size_t open = S.find('(');
        if (open == std::string::npos) return S;
        size_t close = std::string::npos;
        int depth = 0;
        for (size_t i = open; i < S.size(); ++i) {
            if (S[i] == '(') ++depth;
            else if (S[i] == ')' && --depth == 0) {
                close = i;
                break;
            }
        }
        if (close == std::string::npos) return S;
        if (KeepBracketEntries) {
            S.erase(open, close - open + 1);
        } else {
            const size_t before = S.rfind(',', open);
            const size_t from = before == std::string::npos ? 0 : before;
            const size_t after = S.find(',', close);
            S.erase(from, (after == std::string::npos ? S.size() : after) - from);
        }
    }
}

// Unquoted parts of a table-list entry are upper-cased.
std::string UpperOutsideQuotes(const std::string& Entry) {
    const size_t q = Entry.find('"', 1);
    if (q == std::string::npos) return FastUpperCase(Entry);
    const size_t q2 = Entry.find('"', q + 1);
    std::string before = Entry.substr(0, q);
    if (Entry[0] != '"') before = FastUpperCase(before);
    std::string after = Entry.substr(q);
    if (q2 == std::string::npos) after = '"' + FastUpperCase(Entry.substr(q + 1));
    return before + after;
}

// The field in front of a parameter at Pos (1-based) of Where: move back over BackSet, then
// collect back to the previous character of CollectSet.
std::string FieldBefore(std::string_view Where, int Pos, const TCharSet& BackSet, const TCharSet& CollectSet) {
    int i = Pos - 1;
    while (i >= 1 && In(CharAt(Where, i), BackSet)) --i;
    if (i < 1) return {};
    int j = i;
    while (j >= 1 && !In(CharAt(Where, j), CollectSet)) --j;
    return CopyRange(Where, j + 1, i);
}

std::string QuoteIfNeeded(std::string_view Name) {
    if (!NeedQuote(Name)) return std::string(Name);
    // A double quote inside the name is doubled, so the name cannot end the quoted part early.
    return '"' + ReplaceStr(Name, "\"", "\"\"") + '"';
}

} // namespace

// --- Low-level text routines ---

bool IsKeywordAt(std::string_view Keyword, std::string_view Text, int Pos) {
    const int len = static_cast<int>(Text.size());
    const int l = static_cast<int>(Keyword.size() % 256);
    if (Pos < 1) return false;
    if (Pos > 1 && !In(Text[static_cast<size_t>(Pos - 2)], kKeywordBefore)) return false;
    if (l > len - Pos + 1) return false;
    for (int i = 0; i < l; ++i) {
        const unsigned char k = U(Keyword[static_cast<size_t>(i)]);
        const unsigned char t = U(Text[static_cast<size_t>(Pos - 1 + i)]);
        if (k != t && k != static_cast<unsigned char>(t - 32)) return false;
    }
    if (Pos + l - 1 == len) return true;
    const char after = Text[static_cast<size_t>(Pos - 1 + l)];
    return U(after) <= 95 && In(after, kKeywordAfter);
}

void SkipSpacesAndComments(std::string_view Text, int Len, int& Pos) {
    Len = std::min(Len, static_cast<int>(Text.size()));
    while (Pos < Len && In(CharAt(Text, Pos), kSkipStart)) {
        while (Pos <= Len && In(CharAt(Text, Pos), kSkipBlank)) ++Pos;
        if (Pos < Len && CharAt(Text, Pos) == '-' && CharAt(Text, Pos + 1) == '-') {
            while (Pos <= Len && CharAt(Text, Pos) != '\n' && CharAt(Text, Pos) != '\r') ++Pos;
            continue;
        }
        if (Pos < Len && CharAt(Text, Pos) == '/' && CharAt(Text, Pos + 1) == '*') {
            const size_t end = Text.substr(0, static_cast<size_t>(Len)).find("*/", static_cast<size_t>(Pos + 1));
            Pos = end == std::string_view::npos ? Len + 1 : static_cast<int>(end) + 3;
            continue;
        }
        const char c = CharAt(Text, Pos);
        if (c == '-' || c == '/') break;
    }
}

int PosKeyword(std::string_view Keyword, std::string_view Text) {
    return PosWholeWordUpper(Keyword, Text, kKeywordBefore, kKeywordAfter, false);
}

std::string StripComments(std::string_view Text) {
    std::string r;
    r.reserve(Text.size());
    const size_t n = Text.size();
    size_t i = 0;
    while (i < n) {
        const char c = Text[i];
        if (c == '"' || c == '\'') {
            const size_t close = Text.find(c, i + 1);
            const size_t end = close == std::string_view::npos ? n : close + 1;
            r.append(Text.substr(i, end - i));
            i = end;
        } else if (c == '-' && i + 1 < n && Text[i + 1] == '-') {
            // A line comment ends at CR or LF; the line break goes with it.
            size_t j = i + 2;
            while (j < n && Text[j] != '\r' && Text[j] != '\n') ++j;
            if (j >= n) break;
            if (Text[j] == '\r' && j + 1 < n && Text[j + 1] == '\n') ++j;
            r += ' ';
            i = j + 1;
        } else if (c == '/' && i + 1 < n && Text[i + 1] == '*') {
            const size_t close = Text.find("*/", i + 2);
            if (close == std::string_view::npos) break;
            r += ' ';
            i = close + 2;
        } else {
            r += c;
            ++i;
        }
    }
    return r;
}

bool SameIdentifiers(std::string_view A, std::string_view B) {
    if (A.empty() || B.empty()) return true;
    if (A[0] == '"') {
        if (B[0] == '"') return A == B;
        return CopyRange(A, 2, static_cast<int>(A.size()) - 1) == FastUpperCase(B);
    }
    if (B[0] == '"') {
        const std::string a(A);
        return B == '"' + a + '"' || B == '"' + FastUpperCase(a) + '"';
    }
    return FastUpperCase(A) == FastUpperCase(B);
}

int TableAliasPos(std::string_view Entry) {
    const int len = static_cast<int>(Entry.size());
    bool inDouble = false, inSingle = false;
    for (int i = 1; i <= len; ++i) {
        const char c = CharAt(Entry, i);
        if (c == '"' && !inSingle) inDouble = !inDouble;
        else if (c == '\'' && !inDouble) inSingle = !inSingle;
        else if (!inDouble && !inSingle && In(c, kBlank)) {
            int p = i;
            while (p < len && In(CharAt(Entry, p), kNameEnd)) ++p;
            return p;
        }
    }
    return 0;
}

std::string ExtractTableName(std::string_view Entry, int AliasPos) {
    if (AliasPos == 0) AliasPos = TableAliasPos(Entry);
    if (AliasPos == 0) return Trim(Entry);
    return Trim(CopyRange(Entry, 1, AliasPos - 1));
}

std::string ExtractTableAlias(std::string_view Entry, int AliasPos) {
    if (AliasPos == 0) AliasPos = TableAliasPos(Entry);
    if (AliasPos == 0) return Trim(Entry);
    const int len = static_cast<int>(Entry.size());
    if (len >= AliasPos + 3 && Upper(CharAt(Entry, AliasPos)) == 'A' && Upper(CharAt(Entry, AliasPos + 1)) == 'S' &&
        In(CharAt(Entry, AliasPos + 2), kNameEnd))
        AliasPos += 3;
    return Trim(CopyRange(Entry, AliasPos, len));
}

void SplitMacro(std::string_view Text, char MacroChar, std::string& DefaultValue, std::string& Name) {
    const size_t m = Text.find('%');
    if (m == std::string_view::npos) {
        Name = std::string(Text);
    } else {
        Name = std::string(Text.substr(0, m));
        DefaultValue = std::string(Text.substr(m + 1));
    }
    if (Text.empty() || Text[0] != MacroChar) Name.insert(Name.begin(), MacroChar);
}

const std::array<const char*, CharSetNameCount> CharSetNames = {
    "NONE",      "OCTETS",    "ASCII",     "UNICODE_FSS", "UTF8",      "SJIS_0208", "EUCJ_0208", "UNKNOWN",
    "UNKNOWN",   "DOS737",    "DOS437",    "DOS850",      "DOS865",    "DOS860",    "DOS863",    "DOS775",
    "DOS858",    "DOS862",    "DOS864",    "NEXT",        "UNKNOWN",   "ISO8859_1", "ISO8859_2", "ISO8859_3",
    "UNKNOWN",   "UNKNOWN",   "UNKNOWN",   "UNKNOWN",     "UNKNOWN",   "UNKNOWN",   "UNKNOWN",   "UNKNOWN",
    "UNKNOWN",   "UNKNOWN",   "ISO8859_4", "ISO8859_5",   "ISO8859_6", "ISO8859_7", "ISO8859_8", "ISO8859_9",
    "ISO8859_13", "UNKNOWN",  "UNKNOWN",   "UNKNOWN",     "KSC_5601",  "DOS852",    "DOS857",    "DOS861",
    "DOS866",    "DOS869",    "CYRL",      "WIN1250",     "WIN1251",   "WIN1252",   "WIN1253",   "WIN1254",
    "BIG_5",     "GB_2312",   "WIN1255",   "WIN1256",     "WIN1257",
};

// --- TSQLParser: text access ---

TSQLParser::TSQLParser() = default;

TSQLParser::TSQLParser(std::string_view SQL) { SetSQLText(SQL); }

char TSQLParser::At(int Pos) const { return CharAt(FText, Pos); }
std::string TSQLParser::Copy(int From, int To) const { return CopyRange(FText, From, To); }
std::string TSQLParser::Rest(int From) const { return CopyRange(FText, From, FTextLength); }

void TSQLParser::ResetScan() {
    FDepth = 0;
    FFoundPos = 0;
}

uint8_t TSQLParser::SetSQLText(std::string_view SQL) {
    FText = std::string(SQL);
    FTables.Clear();
    FTextLength = static_cast<int>(FText.size());
    FStartPos = 1;
    SkipSpacesAndComments(FText, FTextLength, FStartPos);
    FStatementKind = GetStatementKind();
    FNotDDL = FStatementKind != skDDL;
    return FStatementKind;
}

// --- The scan ---

void TSQLParser::ScanText(int FromPos, TScanStopTest StopTest) {
    if (StopTest == nullptr) return;
    FScanState = 0;
    FFoundPos = 0;
    FStoppedAtBracket = false;
    FScanStartDepth = FDepth;
    const char* s = FText.data();
    const int n = FTextLength;
    for (int p = std::max(FromPos, 1); p <= n; ++p) {
        FCurrentPos = p;
        const char c = s[p - 1];
        switch (c) {
        case '"':
            if (FScanState == 1) FScanState = 0;
            else if (FScanState == 0) FScanState = 1;
            break;
        case '\'':
            if (FScanState == 4) FScanState = 0;
            else if (FScanState == 0) FScanState = 4;
            break;
        case '(':
            if (FScanState == 0) ++FDepth;
            break;
        case ')':
            if (FScanState == 0) {
                if (FStopAtCloseBracket && FDepth - 1 < FScanStartDepth) {
                    FFoundPos = p;
                    FStoppedAtBracket = true;
                    FTargetOccurrence = 0;
                    return;
                }
                --FDepth;
            }
            break;
        case '*':
            if (FScanState == 2) {
                if (p < n && s[p] == '/') FScanState = 0;
            } else if (FScanState == 0 && p > 1 && s[p - 2] == '/') {
                FScanState = 2;
            }
            break;
        case '-':
            if (FScanState == 0 && p < n && s[p] == '-') FScanState = 3;
            break;
        default:
            // A "--" comment ends at CR or LF; the line break itself is plain text again, so a
            // clause keyword on the next line is seen the same after CR LF and after LF alone.
            if (FScanState == 3 && (c == '\r' || c == '\n')) FScanState = 0;
            if (FScanState == 0 && (this->*StopTest)(p)) {
                FFoundPos = p;
                FTargetOccurrence = 0;
                return;
            }
        }
    }
    // The end of the text also ends a "--" comment that runs up to it.
    if (FScanState == 0 || FScanState == 3) {
        FCurrentPos = n;
        if ((this->*StopTest)(n)) FFoundPos = n;
    }
    FTargetOccurrence = 0;
}

int TSQLParser::LastCodePos(int From, int To) const {
    int last = From - 1;
    int state = 0;
    for (int i = From; i <= To; ++i) {
        const char c = At(i);
        switch (state) {
        case 0:
            if (c == '-' && i < To && At(i + 1) == '-') {
                state = 3;
                ++i;
            } else if (c == '/' && i < To && At(i + 1) == '*') {
                state = 2;
                ++i;
            } else if (U(c) > 32) {
                last = i;
                if (c == '"') state = 1;
                else if (c == '\'') state = 4;
            }
            break;
        case 1:
        case 4:
            last = i;
            if (c == (state == 1 ? '"' : '\'')) state = 0;
            break;
        case 2:
            if (c == '*' && i < To && At(i + 1) == '/') {
                state = 0;
                ++i;
            }
            break;
        case 3:
            if (c == '\r' || c == '\n') state = 0;
            break;
        }
    }
    return last;
}

int TSQLParser::ClauseTextEnd(int From, int Stop, const TCharSet& TrailingSet) const {
    int e = Stop;
    if (e != FTextLength || FStoppedAtBracket) --e;
    // A comment after the clause is not part of it: edits that add text behind the clause
    // must not land inside a "--" comment.
    e = std::min(e, LastCodePos(From, e));
    while (e >= From && In(At(e), TrailingSet)) --e;
    return e;
}

// --- Stop tests ---

bool TSQLParser::StopAtFrom(int Pos) { return IsKeywordAt("FROM", FText, Pos); }
bool TSQLParser::StopAtFromDepth0(int Pos) { return FDepth == 0 && StopAtFrom(Pos); }
bool TSQLParser::StopAtInto(int Pos) { return IsKeywordAt("INTO", FText, Pos); }
bool TSQLParser::StopAtOrder(int Pos) { return IsKeywordAt("ORDER", FText, Pos); }
bool TSQLParser::StopAtOrderDepth0(int Pos) { return FDepth == 0 && StopAtOrder(Pos); }
bool TSQLParser::StopAtBy(int Pos) { return IsKeywordAt("BY", FText, Pos); }

bool TSQLParser::StopAtNthPlan(int Pos) {
    if (!IsKeywordAt("PLAN", FText, Pos)) return false;
    if (FTargetOccurrence < 1) return true;
    return ++FOccurrenceCount == FTargetOccurrence;
}

bool TSQLParser::StopAtNthWhere(int Pos) {
    if (Pos < 2 || !In(At(Pos - 1), kKeywordBefore) || !IsKeywordAt("WHERE", FText, Pos)) return false;
    if (FTargetOccurrence < 1) return true;
    return ++FOccurrenceCount == FTargetOccurrence;
}

bool TSQLParser::StopAtFromListEnd(int Pos) {
    if (!TopLevel()) return false;
    if (Pos == FTextLength) return true;
    if (!In(At(Pos), kBlank) || FTextLength - Pos < 2) return false;
    return AnyKeywordAt(FText, Pos + 1, {"FOR", "GROUP", "HAVING", "ORDER", "PLAN", "UNION", "WHERE"}) ||
           IsTailClauseAt(Pos + 1);
}

bool TSQLParser::StopAtWhereTextEnd(int Pos) {
    if (!TopLevel()) return false;
    if (Pos == FTextLength) return true;
    if (Pos < 2 || Pos >= FTextLength || !In(At(Pos - 1), kKeywordBefore)) return false;
    return AnyKeywordAt(FText, Pos, {"FOR", "GROUP", "HAVING", "ORDER", "PLAN", "START", "UNION"}) ||
           IsTailClauseAt(Pos);
}

bool TSQLParser::StopAtPlanTextEnd(int Pos) {
    if (!TopLevel()) return false;
    if (Pos == FTextLength) return true;
    if (!In(At(Pos), kBlank) || FTextLength - Pos <= 1) return false;
    return AnyKeywordAt(FText, Pos + 1, {"ORDER", "UNION"}) || IsTailClauseAt(Pos + 1);
}

bool TSQLParser::StopAtTailClause(int Pos) { return TopLevel() && IsTailClauseAt(Pos); }

bool TSQLParser::IsTailClauseAt(int Pos) const {
    auto nextWord = [this](int P) {
        while (P <= FTextLength && In(At(P), kBlank)) ++P;
        return P;
    };
    switch (Upper(At(Pos))) {
    case 'R':
        return IsKeywordAt("ROWS", FText, Pos);
    case 'F':
        if (IsKeywordAt("FOR", FText, Pos)) return IsKeywordAt("UPDATE", FText, nextWord(Pos + 3));
        if (IsKeywordAt("FETCH", FText, Pos)) {
            const int p = nextWord(Pos + 5);
            return IsKeywordAt("FIRST", FText, p) || IsKeywordAt("NEXT", FText, p);
        }
        return false;
    case 'W':
        return IsKeywordAt("WITH", FText, Pos) && IsKeywordAt("LOCK", FText, nextWord(Pos + 4));
    case 'O': {
        if (!IsKeywordAt("OFFSET", FText, Pos)) return false;
        // OFFSET <value> ROW(S): the value is one word or a bracketed expression.
        int p = nextWord(Pos + 6);
        if (At(p) == '(') {
            for (int depth = 0; p <= FTextLength; ++p) {
                if (At(p) == '(') ++depth;
                else if (At(p) == ')' && --depth == 0) break;
            }
            ++p;
        } else {
            while (p <= FTextLength && !In(At(p), kBlank)) ++p;
        }
        p = nextWord(p);
        return IsKeywordAt("ROW", FText, p) || IsKeywordAt("ROWS", FText, p);
    }
    default:
        return false;
    }
}

bool TSQLParser::StopAtCountChanger(int Pos) {
    if (FDepth != 0) return false;
    switch (Upper(At(Pos))) {
    case 'D': return IsKeywordAt("DISTINCT", FText, Pos);
    case 'G': return IsKeywordAt("GROUP", FText, Pos);
    case 'H': return IsKeywordAt("HAVING", FText, Pos);
    case 'U': return IsKeywordAt("UNION", FText, Pos);
    case 'S': return IsKeywordAt("SKIP", FText, Pos);
    case 'F': return IsKeywordAt("FIRST", FText, Pos) || (IsTailClauseAt(Pos) && !IsKeywordAt("FOR", FText, Pos));
    case 'R':
    case 'O': return IsTailClauseAt(Pos);
    default: return false;
    }
}

int TSQLParser::TailClausePos() {
    ResetScan();
    ScanText(FStartPos, &TSQLParser::StopAtTailClause);
    return FFoundPos;
}

int TSQLParser::SelectListColumnCount(int FromPos) const {
    const std::string list = StripComments(Copy(FStartPos + 6, FromPos - 1));
    // Items at the top level, split at commas outside brackets, quotes and strings.
    std::vector<std::string> items(1);
    int depth = 0;
    char quote = 0;
    for (char c : list) {
        if (quote != 0) {
            if (c == quote) quote = 0;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '(') {
            ++depth;
        } else if (c == ')') {
            --depth;
        } else if (c == ',' && depth == 0) {
            items.emplace_back();
            continue;
        }
        items.back() += c;
    }
    // The first item may start with DISTINCT, ALL, FIRST n and SKIP n.
    std::string& first = items.front();
    for (bool more = true; more;) {
        first = Trim(first);
        more = false;
        for (std::string_view word : {"DISTINCT", "ALL"})
            if (IsKeywordAt(word, first, 1)) {
                first.erase(0, word.size());
                more = true;
            }
        for (std::string_view word : {"FIRST", "SKIP"})
            if (IsKeywordAt(word, first, 1)) {
                std::string rest = TrimLeft(first.substr(word.size()));
                size_t end = 0;
                if (!rest.empty() && rest[0] == '(') {
                    for (int d = 0; end < rest.size(); ++end) {
                        if (rest[end] == '(') ++d;
                        else if (rest[end] == ')' && --d == 0) break;
                    }
                    ++end;
                } else {
                    while (end < rest.size() && !In(rest[end], kBlank)) ++end;
                }
                first = rest.substr(std::min(end, rest.size()));
                more = true;
            }
    }
    for (const std::string& item : items) {
        const std::string t = Trim(item);
        if (t == "*" || (t.size() >= 2 && t.back() == '*' && TrimRight(t.substr(0, t.size() - 1)).back() == '.'))
            return -1;
    }
    return static_cast<int>(items.size());
}

bool TSQLParser::NeedsDerivedCount() {
    ResetScan();
    ScanText(FStartPos + 6, &TSQLParser::StopAtCountChanger);
    return FFoundPos != 0;
}

// --- Statement kind ---

uint8_t TSQLParser::GetStatementKind() {
    const int s = FStartPos;
    if (IsKeywordAt("SELECT", FText, s) || IsKeywordAt("MERGE", FText, s)) return skSelect;
    if (IsKeywordAt("UPDATE", FText, s)) {
        int p = s + 6;
        SkipSpacesAndComments(FText, FTextLength, p);
        return IsKeywordAt("OR", FText, p) ? skUpdateOrInsert : skUpdate;
    }
    if (IsKeywordAt("DELETE", FText, s)) return skDelete;
    if (IsKeywordAt("INSERT", FText, s)) return skInsert;
    if (IsKeywordAt("EXECUTE", FText, s)) {
        int p = s + 7;
        SkipSpacesAndComments(FText, FTextLength, p);
        if (IsKeywordAt("PROCEDURE", FText, p)) return skExecProc;
        if (IsKeywordAt("BLOCK", FText, p)) return skExecBlock;
    }
    return IsDDLStatement() ? skDDL : skOther;
}

bool TSQLParser::IsDDLStatement() {
    const int s = FStartPos;
    if (FText.empty()) return false;
    if (s != 1 && !In(At(s - 1), kKeywordBefore)) return false;
    auto is = [this, s](std::string_view K) { return IsKeywordAt(K, FText, s); };
    switch (Upper(At(s))) {
    case 'A': return is("ALTER");
    case 'C': return is("CREATE") || is("COMMENT");
    case 'D': return is("DROP") || is("DECLARE");
    case 'G': return is("GRANT");
    case 'R': return is("RECREATE") || is("REVOKE");
    case 'S': {
        if (!is("SET")) return false;
        int p = s + 4;
        while (p <= FTextLength && In(At(p), kKeywordBefore)) ++p;
        return IsKeywordAt("GENERATOR", FText, p);
    }
    default: return false;
    }
}

// --- Clauses ---

void TSQLParser::GetFromClausePos(int& FromPos, int& EndPos) {
    FromPos = 0;
    EndPos = 0;
    ResetScan();
    ScanText(FStartPos, &TSQLParser::StopAtFromDepth0);
    if (FFoundPos == 0) return;
    FromPos = FFoundPos;
    ScanText(FromPos + 5, &TSQLParser::StopAtFromListEnd);
    EndPos = FFoundPos != 0 ? FFoundPos : FTextLength;
}

void TSQLParser::GetOrderByPos(int& OrderPos, int& EndPos, std::string& OrderText) {
    OrderText.clear();
    OrderPos = 0;
    EndPos = 0;
    ResetScan();
    ScanText(FStartPos, &TSQLParser::StopAtOrderDepth0);
    if (FFoundPos == 0) return;
    OrderPos = FFoundPos;
    ScanText(OrderPos + 5, &TSQLParser::StopAtBy);
    if (FFoundPos == 0) return;
    const int listStart = FFoundPos + 2;
    // ROWS, FOR UPDATE and the like may follow the list; they are not part of it.
    ScanText(listStart, &TSQLParser::StopAtTailClause);
    if (FFoundPos != 0) {
        EndPos = LastCodePos(listStart, FFoundPos - 1);
        OrderText = Copy(listStart, EndPos);
    } else {
        EndPos = FTextLength;
        OrderText = Rest(listStart);
    }
}

std::string TSQLParser::AfterOrderList(int OrderPos, int EndPos) const {
    // An ORDER without BY has no list end: nothing of it is kept.
    return EndPos >= OrderPos ? Rest(EndPos + 1) : std::string();
}

std::string TSQLParser::GetOrderByText() {
    int o, e;
    std::string text;
    GetOrderByPos(o, e, text);
    return text;
}

int TSQLParser::MainWhereIndex() {
    ResetScan();
    int count = 0;
    for (;;) {
        ScanText(FFoundPos + 1, &TSQLParser::StopAtNthWhere);
        if (FFoundPos == 0) return -1;
        ++count;
        if (FDepth == 0) return count;
    }
}

int TSQLParser::WhereCount() {
    FTargetOccurrence = 0;
    ResetScan();
    int count = 0;
    for (;;) {
        ScanText(FFoundPos + 5, &TSQLParser::StopAtNthWhere);
        if (FFoundPos == 0) return count;
        ++count;
    }
}

void TSQLParser::GetWhereClause(int N, int& WhereStart, int& EndPos, std::string& WhereText) {
    if (N < 0) {
        WhereText.clear();
        WhereStart = 0;
        EndPos = 0;
        return;
    }
    ResetScan();
    FTargetOccurrence = N;
    FOccurrenceCount = 0;
    ScanText(FStartPos, &TSQLParser::StopAtNthWhere);
    if (FFoundPos == 0) return;
    WhereStart = FFoundPos;
    // A WHERE inside brackets ends at the bracket that closes its sub-query.
    FStopAtCloseBracket = FDepth > 0;
    int p = WhereStart + 5;
    while (p <= FTextLength && In(At(p), kWhereLead)) ++p;
    ScanText(p, &TSQLParser::StopAtWhereTextEnd);
    FStopAtCloseBracket = false;
    if (FFoundPos < 1) {
        WhereStart = 0;
        EndPos = FFoundPos;
        return;
    }
    EndPos = ClauseTextEnd(p, FFoundPos, kWhereTrail);
    WhereText = Copy(p, EndPos);
}

void TSQLParser::GetMainWhereClause(int& WhereStart, int& EndPos, std::string& WhereText) {
    FFoundPos = 0;
    GetWhereClause(MainWhereIndex(), WhereStart, EndPos, WhereText);
}

int TSQLParser::MainPlanIndex() {
    FTargetOccurrence = 0;
    FOccurrenceCount = 0;
    ResetScan();
    int count = 0;
    int from = FStartPos + 5;
    for (;;) {
        ScanText(from, &TSQLParser::StopAtNthPlan);
        if (FFoundPos == 0) return -1;
        ++count;
        if (FDepth == 0) return count;
        from = FFoundPos + 5;
    }
}

void TSQLParser::FindPlan(int N, int& KeywordPos, int& PlanStart, int& EndPos, std::string& PlanText) {
    if (N < 0) {
        PlanText.clear();
        PlanStart = 0;
        EndPos = 0;
        return;
    }
    FOccurrenceCount = 0;
    ResetScan();
    FTargetOccurrence = N;
    ScanText(FStartPos, &TSQLParser::StopAtNthPlan);
    if (FFoundPos == 0) return;
    KeywordPos = FFoundPos;
    int s = KeywordPos + 5;
    while (s <= FTextLength && In(At(s), kPlanLead)) ++s;
    FStopAtCloseBracket = FDepth > 0;
    ScanText(s, &TSQLParser::StopAtPlanTextEnd);
    FStopAtCloseBracket = false;
    if (FFoundPos < 1) {
        PlanStart = 0;
        EndPos = FFoundPos;
        return;
    }
    PlanStart = s;
    EndPos = ClauseTextEnd(s, FFoundPos, kKeywordAfter);
    PlanText = Copy(s, EndPos);
}

void TSQLParser::GetPlanClauseN(int N, int& PlanStart, int& EndPos, std::string& PlanText) {
    int keyword = 0;
    FindPlan(N, keyword, PlanStart, EndPos, PlanText);
}

void TSQLParser::GetPlanClause(int& PlanStart, int& EndPos, std::string& PlanText) {
    GetPlanClauseN(MainPlanIndex(), PlanStart, EndPos, PlanText);
}

// --- Tables ---

std::string TSQLParser::ReadWord(int& Pos) {
    SkipSpacesAndComments(FText, FTextLength, Pos);
    const int start = Pos;
    bool quoted = false;
    int i = Pos;
    while (i <= FTextLength) {
        const char c = At(i);
        if (c == '"') {
            ++i;
            if (quoted) break;
            quoted = true;
            continue;
        }
        if (!quoted && (c == '(' || c == '-' || c == '/' || In(c, kKeywordAfter))) break;
        ++i;
    }
    Pos = i;
    return Copy(start, i - 1);
}

std::string TSQLParser::GetModifiedTableName() {
    switch (FStatementKind) {
    case skUpdate: {
        int p = FStartPos + 6;
        const std::string table = ReadWord(p);
        const std::string next = ReadWord(p);
        return FastUpperCase(next) != "SET" ? table + " " + next : table;
    }
    case skInsert:
    case skUpdateOrInsert: {
        ResetScan();
        ScanText(FStartPos + (FStatementKind == skInsert ? 7 : 6), &TSQLParser::StopAtInto);
        if (FFoundPos == 0) return "Unknown";
        int p = FFoundPos + 5;
        return ReadWord(p);
    }
    case skDelete: {
        ResetScan();
        ScanText(FStartPos, &TSQLParser::StopAtFrom);
        if (FFoundPos == 0) return "Unknown";
        int p = FFoundPos + 4;
        const std::string table = ReadWord(p);
        const std::string next = ReadWord(p);
        return FastUpperCase(next) != "WHERE" ? table + " " + next : table;
    }
    default:
        return {};
    }
}

void TSQLParser::FillTableList(bool KeepBracketEntries) {
    FTables.Clear();
    int fromPos, endPos;
    GetFromClausePos(fromPos, endPos);
    if (fromPos == 0) return;
    std::string list = endPos == FTextLength ? Rest(fromPos + 5) : Copy(fromPos + 5, endPos - 1);
    if (list.empty()) return;
    list = CollapseBlanks(StripComments(list));
    list = JoinsToCommaList(std::move(list));
    if (list.find('(') != std::string::npos) list = RemoveBracketedParts(std::move(list), KeepBracketEntries);
    const int count = WordCount(list, kComma);
    for (int i = 1; i <= count; ++i) {
        const std::string entry = Trim(ExtractWord(i, list, kComma));
        if (!entry.empty()) FTables.Add(UpperOutsideQuotes(entry));
    }
}

const TStringList& TSQLParser::GetTableList(bool KeepBracketEntries) {
    if (FTables.Count() == 0) {
        if (FStatementKind == skSelect) FillTableList(KeepBracketEntries);
        else FTables.SetText(GetModifiedTableName());
    }
    return FTables;
}

void TSQLParser::GetOrderFields(bool DefaultNullsFirst, Variant& Fields) {
    const std::string order = Trim(StripComments(GetOrderByText()));
    const int n = WordCount(order, kComma);
    if (n == 0) {
        Fields = Variant::Null();
        return;
    }
    Fields = Variant::CreateArray({{0, n}, {0, 3}}, varVariant);
    for (int k = 1; k <= n; ++k) {
        std::string item = Trim(ExtractWord(k, order, kComma));
        if (WordCount(item, kDot) >= 2) {
            std::string w1 = ExtractWord(1, item, kDot);
            std::string w2 = Trim(ExtractWord(2, item, kDot));
            if (!w1.empty() && w1[0] != '"') w1 = FastUpperCase(w1);
            if (!w2.empty() && w2[0] != '"') w2 = FastUpperCase(w2);
            item = w1 + "." + w2;
        }
        if (WordCount(item, kWordDelims) == 0) continue;
        const int row = k - 1;
        if (const int nulls = PosKeyword("NULLS", item); nulls != 0) {
            int p = nulls + 5;
            while (p <= static_cast<int>(item.size()) && In(CharAt(item, p), kKeywordAfter)) ++p;
            if (p < static_cast<int>(item.size())) Fields.PutElement({row, 2}, Variant(Upper(CharAt(item, p)) == 'F'));
            item = CopyRange(item, 1, nulls - 1);
        } else {
            Fields.PutElement({row, 2}, Variant(DefaultNullsFirst));
        }
        int d = PosKeyword("DESC", item);
        if (d == 0) d = PosKeyword("DESCENDING", item);
        Fields.PutElement({row, 1}, Variant(d == 0));
        if (d != 0) {
            item = CopyRange(item, 1, d - 1);
        } else {
            int a = PosKeyword("ASC", item);
            if (a == 0) a = PosKeyword("ASCENDING", item);
            if (a != 0) item = CopyRange(item, 1, a - 1);
        }
        if (const int c = PosKeyword("COLLATE", item); c != 0) item = CopyRange(item, 1, c - 1);
        Fields.PutElement({row, 0}, Variant(Trim(item)));
    }
}

// --- Editing ---

std::string TSQLParser::CountSelect() {
    if (FStatementKind != skSelect) return {};
    int fromPos, endPos;
    GetFromClausePos(fromPos, endPos);
    if (fromPos == 0) return {};
    if (NeedsDerivedCount()) {
        // Grouped, distinct, united or limited rows: count the rows of the statement itself.
        // The server wants a name for every column of a derived table; unless a "*" brings the
        // tables' own names, the columns are named C1, C2, ...
        const int columns = SelectListColumnCount(fromPos);
        int orderPos, orderEnd;
        std::string order;
        GetOrderByPos(orderPos, orderEnd, order);
        const std::string body = orderPos != 0 ? Copy(1, orderPos - 1) + AfterOrderList(orderPos, orderEnd) : FText;
        std::string r = "Select Count(*) FROM (" + std::string(CRLF) + body + std::string(CRLF) + ")";
        if (columns > 0) {
            r += " Q (";
            for (int i = 1; i <= columns; ++i) r += (i > 1 ? ", C" : "C") + std::to_string(i);
            r += ")";
        }
        return r;
    }
    std::string r = "Select Count(*) " + Copy(fromPos, endPos);
    int whereStart = 0, whereEnd = 0;
    std::string where;
    GetMainWhereClause(whereStart, whereEnd, where);
    if (!where.empty()) r += std::string(CRLF) + " WHERE " + where;
    return r;
}

std::string TSQLParser::SetOrderByClause(std::string_view NewOrder) {
    int orderPos, endPos;
    std::string old;
    GetOrderByPos(orderPos, endPos, old);
    const bool clear = Trim(NewOrder).empty();
    if (orderPos != 0) {
        std::string r = Copy(1, orderPos - 1);
        if (!clear) {
            if (At(orderPos - 1) != '\n') r += CRLF;
            r += "ORDER BY ";
            r += NewOrder;
        }
        return r + AfterOrderList(orderPos, endPos);
    }
    if (clear) return FText;
    if (const int tail = TailClausePos(); tail != 0)
        return TrimRight(Copy(1, tail - 1)) + std::string(CRLF) + "ORDER BY " + std::string(NewOrder) +
               std::string(CRLF) + Rest(tail);
    return Trim(FText) + std::string(CRLF) + "ORDER BY " + std::string(NewOrder);
}

std::string TSQLParser::SetWhereClause(int N, std::string_view NewCondition) {
    int whereStart = 0, endPos = 0;
    std::string where;
    GetWhereClause(N, whereStart, endPos, where);
    if (whereStart == 0) return FText;
    std::string r = Copy(1, whereStart - 1);
    if (EmptyOrBlank(NewCondition)) return r + std::string(CRLF) + Rest(endPos + 1);
    if (At(whereStart - 1) != '\n') r += CRLF;
    r += "WHERE ";
    r += NewCondition;
    if (At(endPos + 1) != '\r') r += CRLF;
    return r + Rest(endPos + 1);
}

std::string TSQLParser::SetMainWhereClause(std::string_view NewCondition) {
    const int n = MainWhereIndex();
    if (n < 1) return AddCondition(NewCondition, false);
    return SetWhereClause(n, NewCondition);
}

std::string TSQLParser::AddCondition(std::string_view Condition, bool Indent) {
    if (EmptyOrBlank(Condition)) return FText;
    const std::string prefix = Indent ? std::string(CRLF) + "    " : std::string();
    const int n = MainWhereIndex();
    if (n < 0) {
        int fromPos, endPos;
        GetFromClausePos(fromPos, endPos);
        return Copy(1, endPos) + std::string(CRLF) + " WHERE " + prefix + std::string(Condition) + std::string(CRLF) +
               Rest(endPos + 1);
    }
    int whereStart = 0, endPos = 0;
    std::string where;
    GetWhereClause(n, whereStart, endPos, where);
    // Without a readable clause (the text ends inside a string or comment) nothing can be
    // joined safely.
    if (whereStart == 0) return FText;
    return Copy(1, whereStart + 4) + "( " + Copy(whereStart + 5, endPos) + prefix + " ) and ( " + std::string(Condition) +
           " )" + prefix + Rest(endPos + 1);
}

std::string TSQLParser::SetPlanClause(std::string_view NewPlan) {
    int keywordPos = 0, planStart = 0, endPos = 0;
    std::string plan;
    FindPlan(MainPlanIndex(), keywordPos, planStart, endPos, plan);
    const bool clear = EmptyOrBlank(NewPlan);
    if (planStart != 0) {
        // Removing takes the keyword with it, however many blanks stand before the plan.
        if (clear) return Copy(1, keywordPos - 1) + Rest(endPos + 1);
        return Copy(1, planStart - 1) + std::string(NewPlan) + Rest(endPos + 1);
    }
    if (clear) return FText;
    int orderPos, orderEnd;
    std::string order;
    GetOrderByPos(orderPos, orderEnd, order);
    int before = orderPos;
    if (before == 0) before = TailClausePos();
    if (before == 0) {
        std::string r = FText;
        if (r.empty() || r.back() != '\n') r += CRLF;
        return r + "PLAN " + std::string(NewPlan);
    }
    std::string r = Copy(1, before - 1);
    if (r.empty() || r.back() != '\n') r += CRLF;
    return r + "PLAN " + std::string(NewPlan) + std::string(CRLF) + Rest(before);
}

// --- Free functions ---

std::string GetMainTableName(std::string_view SQL, bool AsIs) {
    TSQLParser parser(SQL);
    std::string r = Trim(parser.GetModifiedTableName());
    if (AsIs || r.empty()) return r;
    if (r[0] == '"') {
        const size_t close = r.find('"', 1);
        return close == std::string::npos ? r.substr(1) : r.substr(1, close - 1);
    }
    size_t end = 1;
    while (end < r.size() && !In(r[end], kNameEnd)) ++end;
    return FastUpperCase(r.substr(0, end));
}

void GetSelectTableNames(std::string_view SQL, TStringList& Strings, bool KeepBracketEntries, bool WithAliases) {
    TSQLParser parser(SQL);
    parser.FillTableList(KeepBracketEntries);
    Strings.Assign(parser.Tables());
    if (!WithAliases) RemoveAliases(Strings);
}

void GetTableNames(std::string_view SQL, TStringList& Strings, bool KeepBracketEntries, bool WithAliases) {
    TSQLParser parser(SQL);
    Strings.Assign(parser.GetTableList(KeepBracketEntries));
    if (!WithAliases) RemoveAliases(Strings);
}

void RemoveAliases(TStringList& Strings) {
    for (int i = 0; i < Strings.Count(); ++i) Strings.SetString(i, ExtractTableName(Strings[i], 0));
}

namespace {
struct TEntryParts {
    std::string Table;
    std::string Alias;
};
TEntryParts SplitEntry(const std::string& Entry) {
    const int aliasPos = TableAliasPos(Entry);
    return {aliasPos != 0 ? ExtractTableName(Entry, aliasPos) : Trim(Entry), ExtractTableAlias(Entry, aliasPos)};
}
} // namespace

std::string AliasByTableName(std::string_view SQL, std::string_view TableName) {
    TStringList tables;
    GetSelectTableNames(SQL, tables, true, true);
    for (int i = 0; i < tables.Count(); ++i) {
        const TEntryParts parts = SplitEntry(tables[i]);
        if (SameIdentifiers(parts.Table, TableName)) return parts.Alias;
    }
    return std::string(TableName);
}

std::string TableByAlias(std::string_view SQL, std::string_view Alias) {
    TStringList tables;
    GetSelectTableNames(SQL, tables, true, true);
    std::string byTable;
    bool tableMatched = false;
    for (int i = 0; i < tables.Count(); ++i) {
        const TEntryParts parts = SplitEntry(tables[i]);
        if (SameIdentifiers(parts.Alias, Alias)) return parts.Table;
        if (!tableMatched && SameIdentifiers(parts.Table, Alias)) {
            byTable = parts.Table;
            tableMatched = true;
        }
    }
    return byTable;
}

std::string AliasFieldToTableField(std::string_view SQL, std::string_view AliasField) {
    const size_t dot = AliasField.find('.');
    if (dot == std::string_view::npos) return std::string(AliasField);
    std::string table = TableByAlias(SQL, AliasField.substr(0, dot));
    if (table.empty()) return std::string(AliasField);
    auto bare = [](std::string s) {
        s = Trim(s);
        if (!s.empty() && s[0] == '"') return s.size() >= 2 ? s.substr(1, s.size() - 2) : std::string();
        return FastUpperCase(s);
    };
    return bare(table) + "." + bare(std::string(AliasField.substr(dot + 1)));
}

int MainWhereIndex(std::string_view SQL) { return TSQLParser(SQL).MainWhereIndex(); }
int WhereCount(std::string_view SQL) { return TSQLParser(SQL).WhereCount(); }

void GetOrderByPos(std::string_view SQL, int& OrderPos, int& EndPos, std::string& OrderText) {
    TSQLParser(SQL).GetOrderByPos(OrderPos, EndPos, OrderText);
}

void GetWhereClause(std::string_view SQL, int N, int& WhereStart, int& EndPos, std::string& WhereText) {
    TSQLParser(SQL).GetWhereClause(N, WhereStart, EndPos, WhereText);
}

void GetOrderFields(std::string_view SQL, bool DefaultNullsFirst, Variant& Fields) {
    TSQLParser(SQL).GetOrderFields(DefaultNullsFirst, Fields);
}

std::string FieldNameForParam(std::string_view SQL, std::string_view ParamName) {
    TSQLParser parser(SQL);
    const int count = parser.WhereCount();
    const std::string name(ParamName);
    for (int n = 1; n <= count; ++n) {
        int whereStart = 0, endPos = 0;
        std::string where;
        parser.GetWhereClause(n, whereStart, endPos, where);
        int pos = PosWholeWordUpper(":" + name, where, kParamBefore, kParamAfter, true);
        if (pos == 0) pos = PosWholeWord(":\"" + name + "\"", where, kParamBefore, kParamAfter);
        if (pos != 0) {
            std::string field = FieldBefore(where, pos, kColonBack, kColonCollect);
            if (!field.empty()) return field;
        }
        pos = PosWholeWordUpper("?" + name, where, kParamBefore, kParamAfter, true);
        if (pos != 0) return FieldBefore(where, pos, kQuestionBack, kQuestionBack);
    }
    return {};
}

std::string CountSelect(std::string_view SQL) { return TSQLParser(SQL).CountSelect(); }

std::string AddFirstClause(std::string_view SQL, int Count) {
    TSQLParser parser(SQL);
    std::string r(SQL);
    // Only a SELECT takes FIRST right after its first word (a MERGE does not); a statement
    // limited already by ROWS or OFFSET/FETCH (which always come with ROW(S) or FETCH) keeps its
    // own limit, as one with FIRST does: the server refuses FIRST beside them.
    if (parser.StatementKind() == skSelect && IsKeywordAt("SELECT", SQL, parser.StartPos()) &&
        PosKeyword("FIRST", SQL) == 0 && PosKeyword("ROWS", SQL) == 0 && PosKeyword("FETCH", SQL) == 0)
        r.insert(static_cast<size_t>(parser.StartPos() + 5), " FIRST " + std::to_string(Count) + " ");
    return r;
}

std::string SetOrderClause(std::string_view SQL, std::string_view NewOrder) {
    TSQLParser parser(SQL);
    int orderPos, endPos;
    std::string old;
    parser.GetOrderByPos(orderPos, endPos, old);
    const int len = static_cast<int>(SQL.size());
    if (orderPos == 0) {
        if (NewOrder.empty()) return std::string(SQL);
        const std::string clause = "ORDER BY " + std::string(NewOrder);
        if (const int tail = parser.TailClausePos(); tail != 0) {
            std::string head = CopyRange(SQL, 1, tail - 1);
            if (head.empty() || !In(head.back(), kBlank)) head += ' ';
            return head + clause + " " + CopyRange(SQL, tail, len);
        }
        return JoinClause(SQL, " ", clause);
    }
    if (NewOrder.empty())
        return CopyRange(SQL, 1, orderPos - 1) + " " + (endPos >= orderPos ? CopyRange(SQL, endPos + 1, len) : "");
    // The old list runs from after BY up to EndPos.
    const int listStart = endPos - static_cast<int>(old.size()) + 1;
    return ReplaceInRange(SQL, old, " " + std::string(NewOrder) + " ", listStart, endPos);
}

std::string AddWhereCondition(std::string_view SQL, std::string_view Condition, bool Indent) {
    return TSQLParser(SQL).AddCondition(Condition, Indent);
}

std::string InvertOrderClause(std::string_view L) {
    if (EmptyOrBlank(L)) return {};
    const size_t n = L.size();
    auto blank = [](char c) { return c == '\t' || c == '\n' || c == '\r' || c == ' '; };
    auto letter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
    std::string r;
    size_t i = 0;
    auto skipBlanks = [&] {
        while (i < n && blank(L[i])) ++i;
    };
    auto wordLength = [&](size_t from) {
        size_t j = from;
        while (j < n && letter(L[j])) ++j;
        return j - from;
    };
    auto wordIs = [&](size_t length, std::string_view W) {
        return length == W.size() && EqualStr(L.substr(i, length), W, false);
    };
    enum { cmNone, cmBlock, cmLine } comment = cmNone;
    int state = 0;   // 0 expression, 1 after it, 2 after a comma, 3/4 COLLATE, 5 quoted name, 6 after NULLS
    int depth = 0;   // brackets of the expression: their commas and blanks belong to it
    bool ascending = true;
    auto endItem = [&] {
        r += ascending ? " desc," : ",";
        ascending = true;
    };
    skipBlanks();
    while (i < n) {
        const char c = L[i];
        if (comment == cmNone && state != 5 && i + 1 < n) {
            if (c == '-' && L[i + 1] == '-') {
                comment = cmLine;
                i += 2;
                continue;
            }
            if (c == '/' && L[i + 1] == '*') {
                comment = cmBlock;
                i += 2;
                continue;
            }
        }
        if (comment != cmNone) {
            const bool ends = comment == cmLine ? (c == '\n' || c == '\r') : (c == '*' && i + 1 < n && L[i + 1] == '/');
            if (!ends) {
                ++i;
                continue;
            }
            i += comment == cmLine ? 1 : 2;
            comment = cmNone;
            skipBlanks();
            // A comment separates like a blank.
            if (state == 0 && depth == 0) state = 1;
            continue;
        }
        switch (state) {
        case 0:
            if (depth == 0 && blank(c)) {
                state = 1;
                ++i;
            } else if (c == '"') {
                r += c;
                state = 5;
                ++i;
            } else if (c == ',' && depth == 0) {
                endItem();
                ++i;
                skipBlanks();
            } else {
                if (c == '(') ++depth;
                else if (c == ')' && depth > 0) --depth;
                r += c;
                ++i;
            }
            break;
        case 1: {
            if (blank(c)) {
                ++i;
                break;
            }
            if (c == ',') {
                endItem();
                state = 2;
                ++i;
                break;
            }
            const size_t length = wordLength(i);
            if (wordIs(length, "ASC") || wordIs(length, "ASCENDING")) {
                i += length;
            } else if (wordIs(length, "DESC") || wordIs(length, "DESCENDING")) {
                ascending = false;
                i += length;
            } else if (wordIs(length, "COLLATE")) {
                r += blank(L[i - 1]) ? L[i - 1] : ' ';
                r += c;
                state = 3;
                ++i;
            } else if (wordIs(length, "NULLS")) {
                if (ascending) r += " desc ";
                i += length;
                skipBlanks();
                const bool first = i < n && (L[i] == 'F' || L[i] == 'f');
                r += first ? " NULLS LAST" : " NULLS FIRST";
                i += wordLength(i);
                ascending = true;
                state = 6;
            } else {
                // Not a modifier: the expression goes on after the blank.
                r += ' ';
                state = 0;
            }
            break;
        }
        case 2:
            if (blank(c)) ++i;
            else state = 0;
            break;
        case 3:
            if (c != ',') r += c;
            if (blank(c) || c == ',') state = 4;
            ++i;
            break;
        case 4:
            if (blank(c) || c == ',') {
                state = 1;
            } else {
                r += c;
                ++i;
            }
            break;
        case 5:
            r += c;
            ++i;
            if (c == '"') state = 0;
            break;
        case 6:
            ++i;
            if (c == ',') {
                r += ',';
                skipBlanks();
                state = 0;
                ascending = true;
            }
            break;
        }
    }
    if (ascending && state != 6) r += " desc";
    return r;
}

std::string FormatFullFieldName(std::string_view TableName, std::string_view FieldName) {
    const std::string field = QuoteIfNeeded(FieldName);
    if (TableName.empty()) return field;
    return QuoteIfNeeded(TableName) + "." + field;
}

} // namespace qnl
