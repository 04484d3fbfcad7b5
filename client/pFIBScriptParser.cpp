#include "client/pFIBScriptParser.h"

#include "platform/Exceptions.h"

#include <algorithm>
#include <array>
#include <utility>

namespace qnl {

namespace {

bool IsBlank(char C) { return C == ' ' || C == '\t' || C == '\r' || C == '\n'; }

// What may follow a keyword or a terminator for it to stand alone.
bool IsKeywordDelimiter(char C) {
    return IsBlank(C) || C == ',' || C == '-' || C == '/' || C == ';' || C == '^' || C == '}';
}

bool IsWordChar(char C) {
    return (C >= 'A' && C <= 'Z') || (C >= 'a' && C <= 'z') || (C >= '0' && C <= '9') || C == '_' || C == '$' ||
           static_cast<unsigned char>(C) >= 0x80;
}

char Upper(char C) { return C >= 'a' && C <= 'z' ? static_cast<char>(C - 32) : C; }

bool SameWord(std::string_view A, std::string_view Keyword) {
    if (A.size() != Keyword.size()) return false;
    for (size_t i = 0; i < A.size(); ++i)
        if (Upper(A[i]) != Keyword[i]) return false;
    return true;
}

// The closing character of a Q'x...x' literal opened by X.
char AlternativeCloser(char X) {
    switch (X) {
        case '(': return ')';
        case '[': return ']';
        case '{': return '}';
        case '<': return '>';
        default: return X;
    }
}

std::string Unquoted(const std::string& Token) {
    if (Token.size() >= 2 && (Token.front() == '"' || Token.front() == '\'') && Token.back() == Token.front())
        return Token.substr(1, Token.size() - 2);
    return Token;
}

[[noreturn]] void ParseError(const std::string& Text) { throw Exception("Parse script error.\r\n" + Text); }

struct TKeyword {
    const char* Word;
    uint8_t Code;
};

constexpr std::array<TKeyword, 23> StatementKeywords{{
    {"ALTER", sskAlter},       {"BATCH", sskBatch},         {"CREATE", sskCreate},       {"COMMIT", sskCommit},
    {"COMMENT", sskCommentOn}, {"CONNECT", sskConnect},     {"DROP", sskDrop},           {"DECLARE", sskDeclare},
    {"DESCRIBE", sskDescribe}, {"DELETE", sskDML},          {"DISCONNECT", sskDisconnect}, {"EXECUTE", sskExecute},
    {"GRANT", sskGrant},       {"INSERT", sskInsert},       {"INPUT", sskInput},         {"MERGE", sskDML},
    {"RECREATE", sskRecreate}, {"ROLLBACK", sskRollback},   {"RECONNECT", sskReconnect}, {"REVOKE", sskGrant},
    {"REINSERT", sskReinsert}, {"SET", sskSet},             {"UPDATE", sskDML},
}};

constexpr std::array<TKeyword, 17> ObjectKeywords{{
    {"CONSTRAINT", sotConstraint}, {"COLUMN", sotColumn},       {"DATABASE", sotDatabase}, {"DOMAIN", sotDomain},
    {"EXCEPTION", sotException},   {"FIELD", sotColumn},        {"FUNCTION", sotFunction}, {"FILTER", sotFilter},
    {"GENERATOR", sotGenerator},   {"INDEX", sotIndex},         {"PROCEDURE", sotProcedure}, {"PARAMETER", sotParameter},
    {"ROLE", sotRole},             {"TABLE", sotTable},         {"TRIGGER", sotTrigger},   {"USER", sotUser},
    {"VIEW", sotView},
}};

template <size_t N>
uint8_t Lookup(const std::array<TKeyword, N>& Table, std::string_view Word, uint8_t Default) {
    for (const TKeyword& k : Table)
        if (SameWord(Word, k.Word)) return k.Code;
    return Default;
}

bool Before(TScriptPosition A, TScriptPosition B) { return A.Line < B.Line || (A.Line == B.Line && A.Pos < B.Pos); }

} // namespace

TStringList ScriptText(const TStringList& Lines, TScriptPosition Start, TScriptPosition End) {
    TStringList result;
    for (int32_t line = Start.Line; line <= End.Line && line < Lines.Count(); ++line) {
        const std::string& s = Lines[line];
        const size_t from = line == Start.Line ? static_cast<size_t>(Start.Pos - 1) : 0;
        const size_t to = line == End.Line ? static_cast<size_t>(End.Pos) : s.size();
        result.Add(from < to && from < s.size() ? s.substr(from, to - from) : std::string());
    }
    return result;
}

bool TpFIBScriptParser::StartsAt(int Line, int Pos, std::string_view Keyword) const {
    const std::string& s = (*FLines)[Line];
    if (Pos < 1 || static_cast<size_t>(Pos - 1) + Keyword.size() > s.size()) return false;
    for (size_t i = 0; i < Keyword.size(); ++i)
        if (Upper(s[static_cast<size_t>(Pos - 1) + i]) != Keyword[i]) return false;
    return true;
}

// Only letters fold: a ";" terminator must not match "[", which is ";" plus 32.
bool TpFIBScriptParser::MatchKeyword(std::string_view Keyword, int Line, int Pos) const {
    const std::string& s = (*FLines)[Line];
    if (Keyword.empty()) return Pos >= 1 && static_cast<size_t>(Pos) <= s.size() && IsKeywordDelimiter(s[Pos - 1]);
    if (!StartsAt(Line, Pos, Keyword)) return false;
    const size_t after = static_cast<size_t>(Pos - 1) + Keyword.size();
    return after >= s.size() || IsKeywordDelimiter(s[after]);
}

bool TpFIBScriptParser::CharAt(int& Line, int& Pos, TScriptPosition Limit, char& C, char& Next) const {
    for (; Line < FLines->Count() && !Before(Limit, {Pos, Line}); ++Line, Pos = 1) {
        const std::string& s = (*FLines)[Line];
        if (static_cast<size_t>(Pos) <= s.size()) {
            C = s[Pos - 1];
            Next = static_cast<size_t>(Pos) < s.size() ? s[Pos] : '\0';
            return true;
        }
    }
    return false;
}

std::optional<TpFIBScriptParser::TToken> TpFIBScriptParser::NextToken(TScriptPosition From,
                                                                      TScriptPosition Limit) const {
    int line = From.Line;
    int pos = From.Pos;
    bool inComment = false;
    char c = '\0';
    char next = '\0';
    while (CharAt(line, pos, Limit, c, next)) {
        const std::string& s = (*FLines)[line];
        if (inComment) {
            if (c == '*' && next == '/') {
                inComment = false;
                ++pos;
            }
            ++pos;
        } else if (IsBlank(c)) {
            ++pos;
        } else if (c == '/' && next == '*') {
            inComment = true;
            pos += 2;
        } else if (c == '-' && next == '-') {
            pos = static_cast<int>(s.size()) + 1;
        } else {
            TToken token;
            token.Pos = {pos, line};
            if (c == '"' || c == '\'') {
                // A quoted token may go on over the next lines; the text joins them with LF.
                size_t from = static_cast<size_t>(pos);
                token.Text = std::string(1, c);
                for (;;) {
                    const std::string& l = (*FLines)[line];
                    const size_t close = l.find(c, from);
                    if (close != std::string::npos) {
                        token.Text += l.substr(from, close + 1 - from);
                        token.After = {static_cast<int32_t>(close) + 2, line};
                        return token;
                    }
                    token.Text += l.substr(std::min(from, l.size())) + "\n";
                    if (++line >= FLines->Count()) throw Exception("Can't find end token");
                    from = 0;
                }
            }
            size_t end = static_cast<size_t>(pos);  // 0-based index after the token
            if (c != '(' && c != ',' && c != ';') {
                const size_t limit = line == Limit.Line ? static_cast<size_t>(Limit.Pos) : s.size();
                while (end < limit && !IsBlank(s[end]) && s[end] != '(' && s[end] != ',' && s[end] != ';' &&
                       s[end] != '^' && !(s[end] == '-' && end + 1 < s.size() && s[end + 1] == '-') &&
                       !(s[end] == '/' && end + 1 < s.size() && s[end + 1] == '*'))
                    ++end;
            }
            token.Text = s.substr(static_cast<size_t>(pos - 1), end - static_cast<size_t>(pos - 1));
            token.After = {static_cast<int32_t>(end) + 1, line};
            return token;
        }
    }
    return std::nullopt;
}

std::vector<TpFIBScriptParser::TToken> TpFIBScriptParser::Tokens(const TStatementDesc& Statement,
                                                                 size_t Count) const {
    std::vector<TToken> tokens;
    TScriptPosition at = Statement.StartPos;
    while (tokens.size() < Count) {
        std::optional<TToken> token = NextToken(at, Statement.EndPos);
        if (!token) break;
        at = token->After;
        tokens.push_back(std::move(*token));
    }
    return tokens;
}

void TpFIBScriptParser::Classify(TStatementDesc& S) {
    // Enough words for every rule below; FindObjectType-style searches read further on demand.
    std::vector<TToken> t = Tokens(S, 6);
    const auto word = [&](size_t i) { return i < t.size() ? t[i].Text : std::string(); };
    S.Kind = t.empty() ? sskOther : Lookup(StatementKeywords, t[0].Text, sskOther);
    S.ObjectType = sotNone;
    S.ObjectName.clear();
    switch (S.Kind) {
        case sskConnect:
            S.ObjectType = sotDatabase;
            S.ObjectName = Unquoted(word(1));
            FDatabaseName = S.ObjectName;
            FHasConnect = true;
            break;
        case sskDisconnect:
        case sskReconnect:
        case sskCommit:
        case sskRollback:
            S.ObjectType = sotDatabase;
            S.ObjectName = FDatabaseName;
            break;
        case sskCreate:
        case sskAlter:
        case sskRecreate:
        case sskDrop: {
            S.ObjectType = Lookup(ObjectKeywords, word(1), sotNone);
            size_t typeAt = 1;
            if (S.ObjectType == sotNone) {
                // CREATE OR ALTER PROCEDURE, CREATE UNIQUE INDEX: the first word that names a type.
                t = Tokens(S, 2);
                for (std::optional<TToken> token = t.size() == 2 ? NextToken(t[1].After, S.EndPos) : std::nullopt;
                     token; token = NextToken(token->After, S.EndPos)) {
                    t.push_back(*token);
                    if (uint8_t type = Lookup(ObjectKeywords, token->Text, sotNone)) {
                        S.ObjectType = type;
                        typeAt = t.size() - 1;
                        if (std::optional<TToken> name = NextToken(token->After, S.EndPos)) t.push_back(*name);
                        break;
                    }
                }
            }
            S.ObjectName = S.ObjectType == sotNone ? std::string() : word(typeAt + 1);
            if (S.ObjectType == sotDatabase && S.Kind == sskCreate) {
                S.Kind = sskCreateDatabase;
                S.ObjectName = Unquoted(S.ObjectName);
                FDatabaseName = S.ObjectName;
                FHasConnect = true;
            } else if (S.ObjectType == sotDatabase && S.Kind == sskDrop) {
                S.Kind = sskDropDatabase;
                S.ObjectName = FDatabaseName;
            }
            break;
        }
        case sskExecute:
            S.Kind = sskDML;
            if (SameWord(word(1), "BLOCK")) S.ObjectType = sotExecuteBlock;
            break;
        case sskSet:
            if (SameWord(word(1), "GENERATOR")) {
                S.Kind = sskSetGenerator;
                S.ObjectType = sotGenerator;
                S.ObjectName = word(2);
            } else if (SameWord(word(1), "STATISTICS")) {
                S.Kind = sskSetStatistics;
                S.ObjectType = sotIndex;
                S.ObjectName = word(3);
            }
            break;
        case sskDescribe:
            S.ObjectType = Lookup(ObjectKeywords, word(1), sotNone);
            S.ObjectName = word(2);
            // DESCRIBE FIELD name TABLE owner 'text'
            if (S.ObjectType == sotColumn || S.ObjectType == sotParameter) S.ObjectName = word(4) + "." + word(2);
            break;
        case sskCommentOn:
            S.ObjectType = Lookup(ObjectKeywords, word(2), sotNone);
            S.ObjectName = word(3);
            break;
        case sskDeclare:
            if (SameWord(word(1), "EXTERNAL")) {
                S.ObjectType = sotFunction;
                S.ObjectName = word(3);
            } else if (SameWord(word(1), "FILTER")) {
                S.ObjectType = sotFilter;
                S.ObjectName = word(2);
            }
            break;
        case sskGrant: {
            // The object after ON: GRANT SELECT ON [TABLE] T TO ...
            std::optional<TToken> token = NextToken(S.StartPos, S.EndPos);
            while (token && !SameWord(token->Text, "ON")) token = NextToken(token->After, S.EndPos);
            std::optional<TToken> object = token ? NextToken(token->After, S.EndPos) : std::nullopt;
            if (object) {
                S.ObjectType = Lookup(ObjectKeywords, object->Text, sotNone);
                if (S.ObjectType != sotNone) object = NextToken(object->After, S.EndPos);
                if (object) S.ObjectName = object->Text;
            }
            break;
        }
        case sskBatch:
            S.Kind = SameWord(word(1), "START")     ? sskBatchStart
                     : SameWord(word(1), "EXECUTE") ? sskBatchExecute
                                                    : sskCommentLike;
            break;
        case sskInput:
            S.ObjectName = Unquoted(word(1));
            break;
        default:
            break;
    }
}

bool TpFIBScriptParser::BodyBalanced(const TStatementDesc& S) {
    int line = FResumePos.Line;
    int pos = FResumePos.Pos;
    enum class TSkip : uint8_t { None, Comment, String, Name, Alternative } skip = TSkip::None;
    char closer = '\0';
    char c = '\0';
    char next = '\0';
    while (CharAt(line, pos, S.EndPos, c, next)) {
        const std::string& s = (*FLines)[line];
        if (skip != TSkip::None) {
            if (skip == TSkip::Comment && c == '*' && next == '/') {
                skip = TSkip::None;
                ++pos;
            } else if ((skip == TSkip::String && c == '\'') || (skip == TSkip::Name && c == '"')) {
                skip = TSkip::None;
            } else if (skip == TSkip::Alternative && c == closer && next == '\'') {
                skip = TSkip::None;
                ++pos;
            }
            ++pos;
            continue;
        }
        if (c == '/' && next == '*') {
            skip = TSkip::Comment;
            pos += 2;
        } else if (c == '-' && next == '-') {
            pos = static_cast<int>(s.size()) + 1;
        } else if (c == '\'') {
            skip = TSkip::String;
            ++pos;
        } else if ((c == 'Q' || c == 'q') && next == '\'' && static_cast<size_t>(pos) + 1 < s.size() &&
                   (pos == 1 || !IsWordChar(s[pos - 2]))) {
            skip = TSkip::Alternative;
            closer = AlternativeCloser(s[pos + 1]);
            pos += 3;
        } else if (c == '"') {
            skip = TSkip::Name;
            ++pos;
        } else if (IsWordChar(c)) {
            size_t end = static_cast<size_t>(pos);
            while (end < s.size() && IsWordChar(s[end])) ++end;
            const std::string_view word(s.data() + pos - 1, end - static_cast<size_t>(pos - 1));
            pos = static_cast<int>(end) + 1;
            if (SameWord(word, "AS")) {
                FSawAs = true;
            } else if (SameWord(word, "BEGIN")) {
                FInBody = true;
                ++FDepth;
            } else if (FInBody && SameWord(word, "CASE")) {
                ++FDepth;
            } else if (FInBody && SameWord(word, "END")) {
                if (--FDepth == 0) return true;
            }
        } else {
            ++pos;
        }
    }
    // The body goes on after this terminator: the next one resumes here.
    FResumePos = {pos, line};
    return !FInBody && !FSawAs;
}

bool TpFIBScriptParser::ClassifyStatement(TStatementDesc& Statement, bool TerminatorIsSemicolon) {
    if (!FResumeActive) {
        Classify(Statement);
        FResumePos = Statement.StartPos;
        FInBody = false;
        FSawAs = false;
        FDepth = 0;
    }
    const bool hasBody = Statement.ObjectType == sotProcedure || Statement.ObjectType == sotTrigger ||
                         Statement.ObjectType == sotExecuteBlock;
    if (!TerminatorIsSemicolon || !hasBody || Statement.Kind == sskDrop) return true;
    FResumeActive = true;
    if (!BodyBalanced(Statement)) return false;
    FResumeActive = false;
    return true;
}

void TpFIBScriptParser::StartStatement(TScriptMap& Statements, int Line, int Pos, uint8_t Kind) {
    TStatementDesc desc;
    desc.StartPos = {Pos, Line};
    desc.Kind = Kind;
    desc.Directive = FOpenDirective;
    desc.InElse = FOpenDirective >= 0 && (*FDirectives)[static_cast<size_t>(FOpenDirective)].ElsePos.Pos != 0;
    Statements.push_back(std::move(desc));
    FResumeActive = false;
}

void TpFIBScriptParser::ParseScript(const TStringList& Lines, std::string& Terminator, bool CloseLast,
                                    TDirectivesMap& Directives, TScriptMap& Statements) {
    FLines = &Lines;
    FDirectives = &Directives;
    Directives.clear();
    Statements.clear();
    FHasConnect = FHasDML = FHasOther = false;
    FUnfinishedStart.reset();
    FOpenDirective = -1;
    FResumeActive = false;
    if (Terminator.empty()) Terminator = ";";

    enum class TState : uint8_t { Between, Statement, Brace } state = TState::Between;
    enum class TSub : uint8_t { Normal, Comment, String, Name, Alternative, Condition } sub = TSub::Normal;
    char closer = '\0';          // of a Q'x...x' literal
    bool setArmed = false;       // a SET statement's next word may be TERM
    bool collecting = false;     // reading the new terminator of SET TERM
    std::string newTerminator;

    const auto directiveError = [&](const std::string& Text, int Line) {
        ParseError("Can't resolve directive  \"" + Text + "\"\r\nLine " + std::to_string(Line + 1));
    };
    // A statement ended by the terminator at (Line, Pos): false when its body goes on.
    const auto endStatement = [&](int Line, int Pos) {
        TStatementDesc& s = Statements.back();
        if (Pos > 1) {
            s.EndPos = {Pos - 1, Line};
        } else {
            int l = Line - 1;
            while (l > s.StartPos.Line && Lines[l].empty()) --l;
            s.EndPos = {static_cast<int32_t>(Lines[l].size()), l};
        }
        if (s.Kind != sskCommentLike && !ClassifyStatement(s, Terminator == ";")) {
            s.EndPos.Pos = 0;
            return false;
        }
        if (s.Kind == sskDML) FHasDML = true;
        if (s.Kind == sskOther || s.Kind == sskCommentLike) FHasOther = true;
        return true;
    };

    for (int line = 0; line < Lines.Count(); ++line) {
        const std::string& s = Lines[line];
        const int len = static_cast<int>(s.size());
        int p = 1;
        while (p <= len) {
            const char c = s[p - 1];
            const char next = p < len ? s[p] : '\0';
            if (sub == TSub::Comment) {
                const size_t close = s.find("*/", static_cast<size_t>(p - 1));
                if (close == std::string::npos) break;
                p = static_cast<int>(close) + 3;
                sub = TSub::Normal;
                continue;
            }
            if (sub == TSub::String || sub == TSub::Name) {
                const size_t close = s.find(sub == TSub::String ? '\'' : '"', static_cast<size_t>(p - 1));
                if (close == std::string::npos) break;
                p = static_cast<int>(close) + 2;
                sub = TSub::Normal;
                continue;
            }
            if (sub == TSub::Alternative) {
                if (c == closer && next == '\'') {
                    p += 2;
                    sub = TSub::Normal;
                } else {
                    ++p;
                }
                continue;
            }
            if (sub == TSub::Condition) {
                const size_t close = s.find('}', static_cast<size_t>(p - 1));
                if (close == std::string::npos) break;
                Directives[static_cast<size_t>(FOpenDirective)].ConditionEnd = {static_cast<int32_t>(close) + 1, line};
                p = static_cast<int>(close) + 2;
                sub = TSub::Normal;
                continue;
            }
            if (state == TState::Brace) {
                const size_t close = s.find('}', static_cast<size_t>(p - 1));
                if (close == std::string::npos) break;
                Statements.back().EndPos = {static_cast<int32_t>(close) + 1, line};
                if (Statements.back().Kind == sskCommentLike) FHasOther = true;
                p = static_cast<int>(close) + 2;
                state = TState::Between;
                continue;
            }
            if (state == TState::Between) {
                if (IsBlank(c)) {
                    ++p;
                } else if (c == '/' && next == '*') {
                    sub = TSub::Comment;
                    p += 2;
                } else if (c == '-' && next == '-') {
                    break;
                } else if (c == '{') {
                    if (StartsAt(line, p, "{$ELSE")) {
                        if (FOpenDirective < 0) directiveError("{$ELSE", line);
                        Directives[static_cast<size_t>(FOpenDirective)].ElsePos = {p, line};
                        p += 6;
                    } else if (StartsAt(line, p, "{$ENDIF")) {
                        if (FOpenDirective < 0) directiveError("{$ENDIF", line);
                        TDirectiveDesc& d = Directives[static_cast<size_t>(FOpenDirective)];
                        d.EndIfPos = {p, line};
                        FOpenDirective = d.Parent;
                        p += 7;
                    } else if (StartsAt(line, p, "{$IF")) {
                        TDirectiveDesc d;
                        d.StartPos = {p, line};
                        d.Parent = FOpenDirective;
                        d.ParentInElse =
                            FOpenDirective >= 0 && Directives[static_cast<size_t>(FOpenDirective)].ElsePos.Pos != 0;
                        Directives.push_back(d);
                        FOpenDirective = static_cast<int32_t>(Directives.size()) - 1;
                        sub = TSub::Condition;
                        p += 4;
                    } else {
                        StartStatement(Statements, line, p, next == '$' ? sskDirective : sskCommentLike);
                        state = TState::Brace;
                        ++p;
                    }
                } else if ((c == '/' || c == '-')) {
                    StartStatement(Statements, line, p, sskCommentLike);
                    state = TState::Statement;
                    ++p;
                } else if ((c == 'S' || c == 's') && MatchKeyword("SET", line, p)) {
                    StartStatement(Statements, line, p, sskSet);
                    state = TState::Statement;
                    setArmed = true;
                    p += 3;
                } else if (MatchKeyword(Terminator, line, p)) {
                    p += static_cast<int>(Terminator.size());
                } else if (MatchKeyword("", line, p)) {
                    ++p;
                } else {
                    StartStatement(Statements, line, p, sskOther);
                    state = TState::Statement;
                }
                continue;
            }
            // Inside a statement.
            if (IsBlank(c)) {
                ++p;
                continue;
            }
            if (setArmed) {
                setArmed = false;
                if (MatchKeyword("TERM", line, p)) {
                    collecting = true;
                    newTerminator.clear();
                    p += 4;
                    continue;
                }
            }
            if (c == '/' && next == '*') {
                sub = TSub::Comment;
                p += 2;
            } else if (c == '-' && next == '-') {
                break;
            } else if (c == '\'') {
                sub = TSub::String;
                ++p;
            } else if (c == '"') {
                sub = TSub::Name;
                ++p;
            } else if ((c == 'Q' || c == 'q') && next == '\'' && p + 2 <= len && (p == 1 || !IsWordChar(s[p - 2]))) {
                closer = AlternativeCloser(s[p + 1]);
                sub = TSub::Alternative;
                p += 3;
            } else if (c == '{') {
                ParseError(" Unexpected symbol \"{\"\r\nLine :" + std::to_string(line + 1) + " Pos:" + std::to_string(p));
            } else if (collecting) {
                if (!newTerminator.empty() && MatchKeyword(Terminator, line, p)) {
                    p += static_cast<int>(Terminator.size());
                    Terminator = newTerminator;
                    collecting = false;
                    Statements.pop_back();
                    state = TState::Between;
                } else {
                    newTerminator += c;
                    ++p;
                }
            } else if (MatchKeyword(Terminator, line, p)) {
                if (endStatement(line, p)) state = TState::Between;
                p += static_cast<int>(Terminator.size());
            } else {
                ++p;
            }
        }
    }

    if (state != TState::Between) {
        TStatementDesc& last = Statements.back();
        if (collecting || !CloseLast) {
            if (!collecting) FUnfinishedStart = last.StartPos;
            Statements.pop_back();
        } else {
            int l = Lines.Count() - 1;
            while (l > last.StartPos.Line && Lines[l].empty()) --l;
            last.EndPos = {static_cast<int32_t>(Lines[l].size()), l};
            if (state == TState::Statement && last.Kind != sskCommentLike) {
                FResumeActive = false;
                ClassifyStatement(last, Terminator == ";");
                FResumeActive = false;
                if (last.Kind == sskDML) FHasDML = true;
                if (last.Kind == sskOther) FHasOther = true;
            }
        }
    }
    int open = 0;
    for (int32_t d = FOpenDirective; d >= 0; d = Directives[static_cast<size_t>(d)].Parent) ++open;
    if (open > 0) ParseError("$ENDIF skipped " + std::to_string(open) + " times");
}

} // namespace qnl
