#include "client/SqlTxtRtns.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace qnl {

namespace {

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
const TCharSet kWordDelims = MakeCharSet(std::string_view("\0\t\n\r \"(-/;^", 12));

inline bool In(char c, const TCharSet& Set) { return IsCharInSet(c, Set); }
inline unsigned char U(char c) { return static_cast<unsigned char>(c); }
inline char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }
inline bool IsWordChar(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '$' ||
           c == '#' || U(c) > 127;
}

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
            if (c == '"') {
                state = 1;
            } else if (c == '\'') {
                // A Q string ends on its closing quote; one that is never closed runs to the end.
                const size_t q = QStringClose(S, i);
                if (q == std::string_view::npos) {
                    state = 4;
                } else if (q >= S.size()) {
                    state = 4;
                    i = S.size();
                } else {
                    i = q;
                }
            } else if (c == '-' && next == '-') state = 3, ++i;
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
    r += EndsInLineComment(Head) ? CRLF : Separator;
    r += Clause;
    return r;
}

// --- Lexical helpers over comment-free text (0-based indexes) ---

// The index after the quoted run that starts at From (a double-quoted name or a string literal;
// a doubled quote stays inside it); the end of the text when it is not closed.
size_t QuotedEnd(std::string_view S, size_t From) {
    if (const size_t q = QStringClose(S, From); q != std::string_view::npos) return std::min(q + 1, S.size());
    const char quote = S[From];
    for (size_t i = From + 1; i < S.size(); ++i)
        if (S[i] == quote) {
            if (i + 1 < S.size() && S[i + 1] == quote) ++i;
            else return i + 1;
        }
    return S.size();
}

// The index after the bracket that closes the one at From, quotes respected; the end of the
// text when it is not closed.
size_t BracketEnd(std::string_view S, size_t From) {
    int depth = 0;
    for (size_t i = From; i < S.size();) {
        const char c = S[i];
        if (c == '"' || c == '\'') {
            i = QuotedEnd(S, i);
            continue;
        }
        if (c == '(') ++depth;
        else if (c == ')' && --depth == 0) return i + 1;
        ++i;
    }
    return S.size();
}

// Calls Visit(index, depth) for every character outside quoted names and string literals, until
// Visit answers true; answers that index, or npos.
template <class F>
size_t FindPlain(std::string_view S, F Visit) {
    int depth = 0;
    for (size_t i = 0; i < S.size();) {
        const char c = S[i];
        if (c == '"' || c == '\'') {
            i = QuotedEnd(S, i);
            continue;
        }
        if (c == ')') depth = std::max(depth - 1, 0);
        if (Visit(i, depth)) return i;
        if (c == '(') ++depth;
        ++i;
    }
    return std::string_view::npos;
}

// S split at every Separator outside brackets, quoted names and string literals.
std::vector<std::string> SplitTopLevel(std::string_view S, char Separator) {
    std::vector<std::string> parts;
    size_t from = 0;
    FindPlain(S, [&](size_t i, int depth) {
        if (depth == 0 && S[i] == Separator) {
            parts.emplace_back(S.substr(from, i - from));
            from = i + 1;
        }
        return false;
    });
    parts.emplace_back(S.substr(from));
    return parts;
}

// The 1-based position of Keyword as a whole word outside brackets, quoted names and string
// literals; 0 when there is none.
int TopLevelKeywordPos(std::string_view S, std::string_view Keyword) {
    const size_t at = FindPlain(S, [&](size_t i, int depth) {
        return depth == 0 && IsKeywordAt(Keyword, S, static_cast<int>(i) + 1);
    });
    return at == std::string_view::npos ? 0 : static_cast<int>(at) + 1;
}

// ASCII upper-case outside quoted names and string literals.
std::string UpperPlain(std::string_view S) {
    std::string r(S);
    for (size_t i = 0; i < r.size();) {
        if (r[i] == '"' || r[i] == '\'') {
            i = QuotedEnd(r, i);
            continue;
        }
        r[i] = Upper(r[i]);
        ++i;
    }
    return r;
}

// An aggregate function called in a select list outside its sub-queries: such a SELECT gives
// one row per group, or one row in all without GROUP BY.
bool CallsAggregate(std::string_view List) {
    std::vector<bool> brackets;   // per open bracket: whether it opens a sub-query
    int subQueries = 0;
    auto nextCode = [&](size_t P) {
        while (P < List.size() && In(List[P], kBlank)) ++P;
        return P;
    };
    return FindPlain(List, [&](size_t i, int) {
               const char c = List[i];
               if (c == '(') {
                   const std::string_view inner = List.substr(nextCode(i + 1));
                   brackets.push_back(IsKeywordAt("SELECT", inner, 1) || IsKeywordAt("WITH", inner, 1));
                   subQueries += brackets.back();
                   return false;
               }
               if (c == ')') {
                   if (!brackets.empty()) {
                       subQueries -= brackets.back();
                       brackets.pop_back();
                   }
                   return false;
               }
               if (subQueries > 0 || (i > 0 && (IsWordChar(List[i - 1]) || List[i - 1] == '.'))) return false;
               for (std::string_view name : {"COUNT", "SUM", "AVG", "MIN", "MAX", "LIST"})
                   if (IsKeywordAt(name, List.substr(i), 1)) {
                       const size_t p = nextCode(i + name.size());
                       return p < List.size() && List[p] == '(';
                   }
               return false;
           }) != std::string_view::npos;
}

// --- FROM list ---

// The index after the join words that start at From ("JOIN", "LEFT OUTER JOIN", "CROSS JOIN",
// "NATURAL JOIN", ...), or 0 when no join starts there. LEFT and RIGHT without JOIN are the
// string functions.
size_t JoinEnd(std::string_view S, size_t From) {
    size_t p = From;
    for (bool more = true; more;) {
        more = false;
        for (std::string_view word : {"NATURAL", "INNER", "LEFT", "RIGHT", "FULL", "OUTER", "CROSS"})
            if (IsKeywordAt(word, S, static_cast<int>(p) + 1)) {
                p += word.size();
                while (p < S.size() && In(S[p], kBlank)) ++p;
                more = true;
                break;
            }
    }
    return IsKeywordAt("JOIN", S, static_cast<int>(p) + 1) ? p + 4 : 0;
}

// The entries of a FROM list (comments stripped): each a table, view or procedure, optionally
// followed by an alias. Joins separate entries like commas; ON and USING conditions are
// dropped; a bracketed part (procedure arguments, a derived table) is dropped, and with it the
// whole entry unless KeepBracketEntries. Runs of blanks and separators become one blank.
std::vector<std::string> FromListEntries(std::string_view S, bool KeepBracketEntries) {
    std::vector<std::string> entries;
    std::string entry;
    bool condition = false, bracketed = false, blank = false;
    auto endEntry = [&] {
        if (!entry.empty() && (KeepBracketEntries || !bracketed)) entries.push_back(entry);
        entry.clear();
        condition = bracketed = blank = false;
    };
    auto add = [&](std::string_view Piece) {
        if (condition) return;
        if (blank && !entry.empty()) entry += ' ';
        blank = false;
        entry += Piece;
    };
    for (size_t i = 0; i < S.size();) {
        const char c = S[i];
        if (c == '"' || c == '\'') {
            const size_t end = QuotedEnd(S, i);
            add(S.substr(i, end - i));
            i = end;
        } else if (c == '(') {
            if (!condition) bracketed = true;
            i = BracketEnd(S, i);
        } else if (c == ',') {
            endEntry();
            ++i;
        } else if (In(c, kCollapse)) {
            blank = true;
            ++i;
        } else if (const size_t join = JoinEnd(S, i); join != 0) {
            endEntry();
            i = join;
        } else if (!condition && (IsKeywordAt("ON", S, static_cast<int>(i) + 1) ||
                                  IsKeywordAt("USING", S, static_cast<int>(i) + 1))) {
            condition = true;
            ++i;
        } else {
            add(S.substr(i, 1));
            ++i;
        }
    }
    endEntry();
    return entries;
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

// --- Tokens of a condition ---

// One token of a condition: a name (possibly qualified, parts as written), a parameter, a
// literal, an operator or a single punctuation character.
struct TCondToken {
    enum TKind : uint8_t { tkName, tkParam, tkLiteral, tkOperator, tkOther } Kind = tkOther;
    std::string Text;       // as written; for a parameter its name without ":" or "?"
    std::string LastPart;   // a name's last part
    bool Quoted = false;    // a name with a quoted part, a parameter written :"Name"
    char Mark = 0;          // a parameter's ":" or "?"
};

std::vector<TCondToken> ConditionTokens(std::string_view S) {
    std::vector<TCondToken> tokens;
    const size_t n = S.size();
    auto namePart = [&](size_t& i, TCondToken& t) {
        const size_t from = i;
        if (S[i] == '"') {
            i = QuotedEnd(S, i);
            t.Quoted = true;
        } else {
            while (i < n && IsWordChar(S[i])) ++i;
        }
        t.LastPart = std::string(S.substr(from, i - from));
        t.Text += t.LastPart;
    };
    for (size_t i = 0; i < n;) {
        const char c = S[i];
        const char next = i + 1 < n ? S[i + 1] : '\0';
        TCondToken t;
        if (In(c, kBlank) || c == '\0') {
            ++i;
            continue;
        }
        if (c == '-' && next == '-') {
            while (i < n && S[i] != '\r' && S[i] != '\n') ++i;
            continue;
        }
        if (c == '/' && next == '*') {
            const size_t close = S.find("*/", i + 2);
            i = close == std::string_view::npos ? n : close + 2;
            continue;
        }
        if (c == '\'') {
            const size_t end = QuotedEnd(S, i);
            t.Kind = TCondToken::tkLiteral;
            t.Text = std::string(S.substr(i, end - i));
            i = end;
        } else if (c >= '0' && c <= '9') {
            const size_t from = i;
            while (i < n && (IsWordChar(S[i]) || S[i] == '.')) ++i;
            t.Kind = TCondToken::tkLiteral;
            t.Text = std::string(S.substr(from, i - from));
        } else if (c == '"' || IsWordChar(c)) {
            t.Kind = TCondToken::tkName;
            namePart(i, t);
            while (i + 1 < n && S[i] == '.' && (S[i + 1] == '"' || IsWordChar(S[i + 1]))) {
                t.Text += '.';
                ++i;
                namePart(i, t);
            }
        } else if ((c == ':' || c == '?') && (next == '"' || IsWordChar(next))) {
            t.Kind = TCondToken::tkParam;
            t.Mark = c;
            ++i;
            if (S[i] == '"') {
                const size_t end = QuotedEnd(S, i);
                t.Text = std::string(S.substr(i + 1, end - i - 2));
                t.Quoted = true;
                i = end;
            } else {
                const size_t from = i;
                while (i < n && IsWordChar(S[i])) ++i;
                t.Text = std::string(S.substr(from, i - from));
            }
        } else if (std::string_view("<>=!~^").find(c) != std::string_view::npos) {
            const size_t from = i;
            while (i < n && std::string_view("<>=!~^").find(S[i]) != std::string_view::npos) ++i;
            t.Kind = TCondToken::tkOperator;
            t.Text = std::string(S.substr(from, i - from));
        } else {
            t.Text = std::string(1, c);
            ++i;
        }
        tokens.push_back(std::move(t));
    }
    return tokens;
}

bool IsWord(const TCondToken& T, std::string_view Word) {
    return T.Kind == TCondToken::tkName && !T.Quoted && EqualStr(T.Text, Word, false);
}

// The words that can stand where a field could, but are none.
bool IsConditionWord(const TCondToken& T) {
    for (std::string_view w : {"AND", "OR", "NOT", "NULL", "TRUE", "FALSE", "UNKNOWN", "IS", "IN", "BETWEEN", "LIKE",
                               "CONTAINING", "STARTING", "WITH", "SIMILAR", "TO", "DISTINCT", "FROM", "WHERE", "ON",
                               "WHEN", "THEN", "ELSE", "END", "EXISTS", "SINGULAR", "ANY", "SOME", "ALL", "ESCAPE"})
        if (IsWord(T, w)) return true;
    return false;
}

// The field that the parameter token at Index is compared with: the name before a comparison
// operator, LIKE, CONTAINING, STARTING WITH, SIMILAR TO, IS DISTINCT FROM, BETWEEN (either
// bound) or IN (any item of the list); empty where the other side is no plain field (an
// expression, a function call) or where nothing compares. Whole names answer the reference as
// written, else its last part.
std::string ComparedField(const std::vector<TCondToken>& Tokens, int Index, bool WholeName) {
    auto at = [&](int I) -> const TCondToken* { return I >= 0 ? &Tokens[static_cast<size_t>(I)] : nullptr; };
    auto word = [&](int I, std::string_view W) { return at(I) && IsWord(*at(I), W); };
    auto skipNot = [&](int I) { return word(I, "NOT") ? I - 1 : I; };
    auto operand = [&](int I) {
        return at(I) && (at(I)->Kind == TCondToken::tkName || at(I)->Kind == TCondToken::tkParam ||
                         at(I)->Kind == TCondToken::tkLiteral);
    };
    auto field = [&](int I) -> std::string {
        const TCondToken* t = at(I);
        if (!t || t->Kind != TCondToken::tkName || IsConditionWord(*t)) return {};
        return WholeName ? t->Text : t->LastPart;
    };
    const int p = Index - 1;
    if (!at(p)) return {};
    if (at(p)->Kind == TCondToken::tkOperator) return field(p - 1);
    if (word(p, "LIKE") || word(p, "CONTAINING") || word(p, "STARTING") || word(p, "BETWEEN"))
        return field(skipNot(p - 1));
    if ((word(p, "WITH") && word(p - 1, "STARTING")) || (word(p, "TO") && word(p - 1, "SIMILAR")))
        return field(skipNot(p - 2));
    if (word(p, "FROM") && word(p - 1, "DISTINCT")) {
        const int is = skipNot(p - 2);
        return word(is, "IS") ? field(is - 1) : std::string();
    }
    if (word(p, "AND") && operand(p - 1) && word(p - 2, "BETWEEN")) return field(skipNot(p - 3));
    // An item of an IN list: back over the items before it to the opening bracket.
    int i = p;
    while (at(i) && at(i)->Text == "," && operand(i - 1)) i -= 2;
    if (at(i) && at(i)->Kind == TCondToken::tkOther && at(i)->Text == "(" && word(i - 1, "IN"))
        return field(skipNot(i - 2));
    return {};
}

std::string QuoteIfNeeded(std::string_view Name) {
    if (!NeedQuote(Name)) return std::string(Name);
    // A double quote inside the name is doubled, so the name cannot end the quoted part early.
    return '"' + ReplaceStr(Name, "\"", "\"\"") + '"';
}

} // namespace

// --- Low-level text routines ---

size_t QStringClose(std::string_view Text, size_t Quote) {
    const size_t n = Text.size();
    if (Quote == 0 || Quote + 1 >= n || Text[Quote] != '\'' || (Text[Quote - 1] != 'q' && Text[Quote - 1] != 'Q'))
        return std::string_view::npos;
    if (Quote >= 2 && (IsWordChar(Text[Quote - 2]) || Text[Quote - 2] == '"')) return std::string_view::npos;
    const char open = Text[Quote + 1];
    const char close = open == '(' ? ')' : open == '[' ? ']' : open == '{' ? '}' : open == '<' ? '>' : open;
    for (size_t i = Quote + 2; i + 1 < n; ++i)
        if (Text[i] == close && Text[i + 1] == '\'') return i + 1;
    return n;
}

bool IsKeywordAt(std::string_view Keyword, std::string_view Text, int Pos) {
    const int len = static_cast<int>(Text.size());
    const int l = static_cast<int>(Keyword.size() % 256);
    // The length first: a position past the end has no character before it to look at.
    if (Pos < 1 || l > len - Pos + 1) return false;
    if (Pos > 1 && !In(Text[static_cast<size_t>(Pos - 2)], kKeywordBefore)) return false;
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
            size_t close = c == '\'' ? QStringClose(Text, i) : std::string_view::npos;
            if (close == std::string_view::npos) close = Text.find(c, i + 1);
            const size_t end = close >= n ? n : close + 1;
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

bool EndsInLineComment(std::string_view Text) { return EndState(Text) == 3; }

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
        else if (const size_t q = c == '\'' && !inDouble && !inSingle ? QStringClose(Entry, static_cast<size_t>(i - 1))
                                                                     : std::string_view::npos;
                 q != std::string_view::npos)
            i = static_cast<int>(q) + 1;
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
    FNotDDL = FStatementKind != sqkDDL;
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
            if (FScanState == 4) {
                FScanState = 0;
            } else if (FScanState == 0) {
                const size_t q = QStringClose(std::string_view(FText).substr(0, static_cast<size_t>(n)), static_cast<size_t>(p - 1));
                if (q == std::string_view::npos || q >= static_cast<size_t>(n))
                    FScanState = 4;
                else
                    p = static_cast<int>(q) + 1;  // on its closing quote
            }
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
                const size_t q = c == '\'' ? QStringClose(std::string_view(FText).substr(0, static_cast<size_t>(To)),
                                                          static_cast<size_t>(i - 1))
                                           : std::string_view::npos;
                if (c == '"') state = 1;
                else if (q != std::string_view::npos && q < static_cast<size_t>(To)) last = i = static_cast<int>(q) + 1;
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

bool TSQLParser::KeywordAt(std::string_view Keyword, int Pos) const {
    if (IsKeywordAt(Keyword, FText, Pos)) return true;
    // A comment separates words like a blank: "T/* c */WHERE" has its WHERE. Stop tests look at
    // plain text only, so a "*/" right before Pos is the end of a comment.
    return Pos > 2 && At(Pos - 1) == '/' && At(Pos - 2) == '*' &&
           IsKeywordAt(Keyword, std::string_view(FText).substr(static_cast<size_t>(Pos - 1)), 1);
}

bool TSQLParser::AnyKeywordAt(int Pos, std::initializer_list<std::string_view> Keywords) const {
    for (std::string_view k : Keywords)
        if (KeywordAt(k, Pos)) return true;
    return false;
}

bool TSQLParser::SeparatorAt(int Pos) const {
    return In(At(Pos), kBlank) || (At(Pos) == '/' && At(Pos - 1) == '*');
}

bool TSQLParser::StopAtFrom(int Pos) { return KeywordAt("FROM", Pos); }
bool TSQLParser::StopAtFromDepth0(int Pos) { return FDepth == 0 && StopAtFrom(Pos); }
bool TSQLParser::StopAtInto(int Pos) { return KeywordAt("INTO", Pos); }
bool TSQLParser::StopAtOrder(int Pos) { return KeywordAt("ORDER", Pos); }
bool TSQLParser::StopAtOrderDepth0(int Pos) { return FDepth == 0 && StopAtOrder(Pos); }
bool TSQLParser::StopAtBy(int Pos) { return KeywordAt("BY", Pos); }
bool TSQLParser::StopAtSelectDepth0(int Pos) { return FDepth == 0 && KeywordAt("SELECT", Pos); }

bool TSQLParser::StopAtNthPlan(int Pos) {
    if (!KeywordAt("PLAN", Pos)) return false;
    if (FTargetOccurrence < 1) return true;
    return ++FOccurrenceCount == FTargetOccurrence;
}

bool TSQLParser::StopAtNthWhere(int Pos) {
    if (Pos < 2 || !KeywordAt("WHERE", Pos)) return false;
    if (FTargetOccurrence < 1) return true;
    return ++FOccurrenceCount == FTargetOccurrence;
}

bool TSQLParser::StopAtFromListEnd(int Pos) {
    if (!TopLevel()) return false;
    if (Pos == FTextLength) return true;
    if (!SeparatorAt(Pos) || FTextLength - Pos < 2) return false;
    return AnyKeywordAt(Pos + 1, {"FOR", "GROUP", "HAVING", "ORDER", "PLAN", "UNION", "WHERE"}) ||
           IsTailClauseAt(Pos + 1);
}

bool TSQLParser::StopAtWhereTextEnd(int Pos) {
    if (!TopLevel()) return false;
    if (Pos == FTextLength) return true;
    if (Pos < 2 || Pos >= FTextLength) return false;
    return AnyKeywordAt(Pos, {"FOR", "GROUP", "HAVING", "ORDER", "PLAN", "START", "UNION"}) || IsTailClauseAt(Pos);
}

bool TSQLParser::StopAtPlanTextEnd(int Pos) {
    if (!TopLevel()) return false;
    if (Pos == FTextLength) return true;
    if (!SeparatorAt(Pos) || FTextLength - Pos <= 1) return false;
    return AnyKeywordAt(Pos + 1, {"ORDER", "UNION"}) || IsTailClauseAt(Pos + 1);
}

bool TSQLParser::StopAtTailClause(int Pos) { return TopLevel() && IsTailClauseAt(Pos); }

bool TSQLParser::IsTailClauseAt(int Pos) const {
    auto nextWord = [this](int P) {
        while (P <= FTextLength && In(At(P), kBlank)) ++P;
        return P;
    };
    switch (Upper(At(Pos))) {
    case 'R':
        return KeywordAt("ROWS", Pos);
    case 'F':
        if (KeywordAt("FOR", Pos)) return KeywordAt("UPDATE", nextWord(Pos + 3));
        if (KeywordAt("FETCH", Pos)) {
            const int p = nextWord(Pos + 5);
            return KeywordAt("FIRST", p) || KeywordAt("NEXT", p);
        }
        return false;
    case 'W':
        return KeywordAt("WITH", Pos) && KeywordAt("LOCK", nextWord(Pos + 4));
    case 'O': {
        if (!KeywordAt("OFFSET", Pos)) return false;
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
        return KeywordAt("ROW", p) || KeywordAt("ROWS", p);
    }
    default:
        return false;
    }
}

bool TSQLParser::StopAtCountChanger(int Pos) {
    if (FDepth != 0) return false;
    switch (Upper(At(Pos))) {
    case 'D': return KeywordAt("DISTINCT", Pos);
    case 'G': return KeywordAt("GROUP", Pos);
    case 'H': return KeywordAt("HAVING", Pos);
    case 'U': return KeywordAt("UNION", Pos);
    case 'S': return KeywordAt("SKIP", Pos);
    case 'F': return KeywordAt("FIRST", Pos) || (IsTailClauseAt(Pos) && !KeywordAt("FOR", Pos));
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

int TSQLParser::MainSelectPos() {
    if (!IsKeywordAt("WITH", FText, FStartPos)) return FStartPos;
    ResetScan();
    ScanText(FStartPos + 4, &TSQLParser::StopAtSelectDepth0);
    return FFoundPos;
}

int TSQLParser::SelectListColumnCount(std::string_view List) const {
    std::vector<std::string> items = SplitTopLevel(List, ',');
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
                const std::string rest = TrimLeft(first.substr(word.size()));
                size_t end = 0;
                if (!rest.empty() && rest[0] == '(') {
                    end = BracketEnd(rest, 0);
                } else {
                    while (end < rest.size() && !In(rest[end], kBlank)) ++end;
                }
                first = rest.substr(end);
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
    if (IsKeywordAt("SELECT", FText, s) || IsKeywordAt("MERGE", FText, s)) return sqkSelect;
    if (IsKeywordAt("UPDATE", FText, s)) {
        int p = s + 6;
        SkipSpacesAndComments(FText, FTextLength, p);
        return IsKeywordAt("OR", FText, p) ? sqkUpdateOrInsert : sqkUpdate;
    }
    if (IsKeywordAt("DELETE", FText, s)) return sqkDelete;
    if (IsKeywordAt("INSERT", FText, s)) return sqkInsert;
    if (IsKeywordAt("EXECUTE", FText, s)) {
        int p = s + 7;
        SkipSpacesAndComments(FText, FTextLength, p);
        if (IsKeywordAt("PROCEDURE", FText, p)) return sqkExecProc;
        if (IsKeywordAt("BLOCK", FText, p)) return sqkExecBlock;
    }
    return IsDDLStatement() ? sqkDDL : sqkOther;
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
    case sqkUpdate: {
        int p = FStartPos + 6;
        const std::string table = ReadWord(p);
        const std::string next = ReadWord(p);
        return FastUpperCase(next) != "SET" ? table + " " + next : table;
    }
    case sqkInsert:
    case sqkUpdateOrInsert: {
        ResetScan();
        ScanText(FStartPos + (FStatementKind == sqkInsert ? 7 : 6), &TSQLParser::StopAtInto);
        if (FFoundPos == 0) return "Unknown";
        int p = FFoundPos + 5;
        return ReadWord(p);
    }
    case sqkDelete: {
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
    // The list runs up to the blank or the comment that ends it.
    const std::string list = StripComments(Copy(fromPos + 5, endPos));
    for (const std::string& entry : FromListEntries(list, KeepBracketEntries)) FTables.Add(UpperOutsideQuotes(entry));
}

const TStringList& TSQLParser::GetTableList(bool KeepBracketEntries) {
    if (FTables.Count() == 0) {
        if (FStatementKind == sqkSelect) FillTableList(KeepBracketEntries);
        else FTables.SetText(GetModifiedTableName());
    }
    return FTables;
}

void TSQLParser::GetOrderFields(bool DefaultNullsFirst, Variant& Fields) {
    const std::string order = Trim(StripComments(GetOrderByText()));
    // Items are split at commas outside brackets and quotes: "COALESCE(A, B)" and "Last, First"
    // are one item each.
    std::vector<std::string> items = SplitTopLevel(order, ',');
    std::erase_if(items, [](const std::string& Item) { return Item.empty(); });
    const int n = static_cast<int>(items.size());
    if (n == 0) {
        Fields = Variant::Null();
        return;
    }
    Fields = Variant::CreateArray({{0, n}, {0, 3}}, varVariant);
    for (int k = 1; k <= n; ++k) {
        std::string item = Trim(items[static_cast<size_t>(k - 1)]);
        // A qualified name: its unquoted parts are upper-cased. Every part is kept, so an
        // expression such as "A.X + B.Y" stays whole.
        if (const std::vector<std::string> parts = SplitTopLevel(item, '.'); parts.size() >= 2) {
            item.clear();
            for (size_t i = 0; i < parts.size(); ++i) {
                const std::string part = i == 0 ? parts[i] : Trim(parts[i]);
                item += (i == 0 ? "" : ".") + (!part.empty() && part[0] == '"' ? part : UpperPlain(part));
            }
        }
        if (WordCount(item, kWordDelims) == 0) continue;
        const int row = k - 1;
        // Modifiers count only as words of their own at the top level: "DESC" in double quotes
        // is a name.
        if (const int nulls = TopLevelKeywordPos(item, "NULLS"); nulls != 0) {
            int p = nulls + 5;
            while (p <= static_cast<int>(item.size()) && In(CharAt(item, p), kKeywordAfter)) ++p;
            if (p < static_cast<int>(item.size())) Fields.PutElement({row, 2}, Variant(Upper(CharAt(item, p)) == 'F'));
            item = CopyRange(item, 1, nulls - 1);
        } else {
            Fields.PutElement({row, 2}, Variant(DefaultNullsFirst));
        }
        int d = TopLevelKeywordPos(item, "DESC");
        if (d == 0) d = TopLevelKeywordPos(item, "DESCENDING");
        Fields.PutElement({row, 1}, Variant(d == 0));
        if (d != 0) {
            item = CopyRange(item, 1, d - 1);
        } else {
            int a = TopLevelKeywordPos(item, "ASC");
            if (a == 0) a = TopLevelKeywordPos(item, "ASCENDING");
            if (a != 0) item = CopyRange(item, 1, a - 1);
        }
        if (const int c = TopLevelKeywordPos(item, "COLLATE"); c != 0) item = CopyRange(item, 1, c - 1);
        Fields.PutElement({row, 0}, Variant(Trim(item)));
    }
}

// --- Editing ---

std::string TSQLParser::CountSelect() {
    const bool withClause = IsKeywordAt("WITH", FText, FStartPos);
    if (FStatementKind != sqkSelect && !withClause) return {};
    int fromPos, endPos;
    GetFromClausePos(fromPos, endPos);
    if (fromPos == 0) return {};
    const int selectPos = MainSelectPos();
    if (selectPos == 0 || selectPos > fromPos) return {};
    const std::string list = StripComments(Copy(selectPos + 6, fromPos - 1));
    if (withClause || NeedsDerivedCount() || CallsAggregate(list)) {
        // Common table expressions, aggregates, grouped, distinct, united or limited rows:
        // count the rows of the statement itself. The server wants a name for every column of
        // a derived table; unless a "*" brings the tables' own names, the columns are named
        // C1, C2, ...
        const int columns = SelectListColumnCount(list);
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
    // A ":Name" matches in any case, a ':"Name"' exactly.
    auto find = [&](const std::vector<TCondToken>& Tokens, char Mark) {
        for (size_t i = 0; i < Tokens.size(); ++i) {
            const TCondToken& t = Tokens[i];
            if (t.Kind == TCondToken::tkParam && t.Mark == Mark &&
                (t.Quoted ? t.Text == ParamName : EqualStr(t.Text, ParamName, false)))
                return static_cast<int>(i);
        }
        return -1;
    };
    for (int n = 1; n <= count; ++n) {
        int whereStart = 0, endPos = 0;
        std::string where;
        parser.GetWhereClause(n, whereStart, endPos, where);
        const std::vector<TCondToken> tokens = ConditionTokens(where);
        // A ":Name" answers the field without its qualifier, a "?Name" the whole reference.
        if (const int k = find(tokens, ':'); k >= 0)
            if (std::string field = ComparedField(tokens, k, false); !field.empty()) return field;
        if (const int k = find(tokens, '?'); k >= 0) return ComparedField(tokens, k, true);
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
    if (parser.StatementKind() == sqkSelect && IsKeywordAt("SELECT", SQL, parser.StartPos()) &&
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
