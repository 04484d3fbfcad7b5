#pragma once
// The script parser: splits the lines of an SQL script into statements without copying them. It
// answers a statement map (where each statement starts and ends, its kind, the kind and name of
// the object it works on, the conditional block it lies in) and a map of the conditional blocks
// {$IF...} ... {$ELSE} ... {$ENDIF}. It understands block and line comments, quoted strings
// (Firebird 3's Q'x...x' literals too), quoted names, SET TERM, brace statements, and procedure,
// trigger and EXECUTE BLOCK bodies that hold ";" while the terminator is ";".
//
// Positions are 1-based character positions in 0-based lines, both 32-bit: a script or a line
// longer than 64 KB keeps true positions.
#include "platform/StringList.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qnl {

struct TScriptPosition {
    int32_t Pos = 0;   // 1-based character in the line; 0 in an end position: not ended yet
    int32_t Line = 0;  // 0-based line index
    bool operator==(const TScriptPosition&) const = default;
};

// Statement kinds.
inline constexpr uint8_t sskOther = 0;
inline constexpr uint8_t sskCommentLike = 1;        // a lone "/" or "-", a brace text {...}, BATCH with another word
inline constexpr uint8_t sskDML = 2;             // DELETE, MERGE, UPDATE, EXECUTE PROCEDURE / BLOCK
inline constexpr uint8_t sskConnect = 3;
inline constexpr uint8_t sskDisconnect = 4;
inline constexpr uint8_t sskReconnect = 5;
inline constexpr uint8_t sskCreateDatabase = 6;
inline constexpr uint8_t sskDropDatabase = 7;
inline constexpr uint8_t sskCommit = 8;
inline constexpr uint8_t sskRollback = 9;
inline constexpr uint8_t sskCreate = 10;
inline constexpr uint8_t sskAlter = 11;
inline constexpr uint8_t sskRecreate = 12;
inline constexpr uint8_t sskDrop = 13;
inline constexpr uint8_t sskSet = 14;
inline constexpr uint8_t sskSetGenerator = 15;
inline constexpr uint8_t sskSetStatistics = 16;
inline constexpr uint8_t sskDescribe = 17;
inline constexpr uint8_t sskDeclare = 18;
inline constexpr uint8_t sskCommentOn = 19;       // COMMENT ON
inline constexpr uint8_t sskGrant = 20;          // GRANT, REVOKE
inline constexpr uint8_t sskInput = 21;
inline constexpr uint8_t sskBatch = 22;
inline constexpr uint8_t sskBatchStart = 23;
inline constexpr uint8_t sskBatchExecute = 24;
inline constexpr uint8_t sskExecute = 25;        // EXECUTE before its object is known
inline constexpr uint8_t sskInsert = 26;
inline constexpr uint8_t sskReinsert = 27;
inline constexpr uint8_t sskDirective = 28;      // {$...} other than the conditional ones

// Object types.
inline constexpr uint8_t sotNone = 0;
inline constexpr uint8_t sotDatabase = 1;
inline constexpr uint8_t sotDomain = 2;
inline constexpr uint8_t sotTable = 3;
inline constexpr uint8_t sotView = 4;
inline constexpr uint8_t sotProcedure = 5;
inline constexpr uint8_t sotTrigger = 6;
inline constexpr uint8_t sotFunction = 7;
inline constexpr uint8_t sotException = 8;
inline constexpr uint8_t sotGenerator = 9;
inline constexpr uint8_t sotIndex = 10;
inline constexpr uint8_t sotConstraint = 11;
inline constexpr uint8_t sotFilter = 12;
inline constexpr uint8_t sotColumn = 13;
inline constexpr uint8_t sotParameter = 14;
inline constexpr uint8_t sotRole = 15;
inline constexpr uint8_t sotExecuteBlock = 16;
inline constexpr uint8_t sotUser = 17;

struct TStatementDesc {
    TScriptPosition StartPos;  // first character
    TScriptPosition EndPos;    // the character before the terminator, or the closing brace
    uint8_t Kind = sskOther;
    uint8_t ObjectType = sotNone;
    std::string ObjectName;
    int32_t Directive = -1;    // innermost conditional block holding the statement
    uint8_t InElse = 0;        // 1: that block had passed its {$ELSE} when the statement began
};
using TScriptMap = std::vector<TStatementDesc>;

struct TDirectiveDesc {
    TScriptPosition StartPos;      // the "{" of "{$IF..."
    TScriptPosition ConditionEnd;  // the "}" that ends the condition
    TScriptPosition ElsePos;
    TScriptPosition EndIfPos;
    uint8_t State = 0;             // 0 not evaluated, 1 true, 2 false (the runner's)
    int32_t Parent = -1;
    uint8_t ParentInElse = 0;
};
using TDirectivesMap = std::vector<TDirectiveDesc>;

// Line from Pos on through EndLine / EndPos (inclusive), one entry per line.
TStringList ScriptText(const TStringList& Lines, TScriptPosition Start, TScriptPosition End);

class TpFIBScriptParser {
public:
    // Fills both maps from Lines. Terminator is the terminator at the start (";" for a whole
    // script) and holds the last one afterwards. With CloseLast an unterminated last statement
    // ends with the text; without it, it stays out of the map and UnfinishedStart tells where it
    // begins. Parse errors raise Exception; the maps keep what was filled.
    void ParseScript(const TStringList& Lines, std::string& Terminator, bool CloseLast, TDirectivesMap& Directives,
                     TScriptMap& Statements);

    // From the last parse.
    const std::string& DatabaseName() const { return FDatabaseName; }
    bool HasConnect() const { return FHasConnect; }
    bool HasDML() const { return FHasDML; }
    bool HasOther() const { return FHasOther; }
    const std::optional<TScriptPosition>& UnfinishedStart() const { return FUnfinishedStart; }

private:
    struct TToken {
        std::string Text;   // quotes kept
        TScriptPosition Pos;
        TScriptPosition After;
    };
    bool StartsAt(int Line, int Pos, std::string_view Keyword) const;
    bool MatchKeyword(std::string_view Keyword, int Line, int Pos) const;
    // The character at (Line, Pos) and the one after it on its line, moving past line ends;
    // false once Limit is passed or the lines end.
    bool CharAt(int& Line, int& Pos, TScriptPosition Limit, char& C, char& Next) const;
    // The next token at or after From, not beyond Limit; nullopt when none.
    std::optional<TToken> NextToken(TScriptPosition From, TScriptPosition Limit) const;
    // Up to Count tokens of the statement, from its start.
    std::vector<TToken> Tokens(const TStatementDesc& Statement, size_t Count) const;
    bool ClassifyStatement(TStatementDesc& Statement, bool TerminatorIsSemicolon);
    void Classify(TStatementDesc& Statement);
    // Continues the BEGIN/CASE/END count of the statement's body up to its end position; true
    // when the body is closed (or the statement has none).
    bool BodyBalanced(const TStatementDesc& Statement);
    void StartStatement(TScriptMap& Statements, int Line, int Pos, uint8_t Kind);

    const TStringList* FLines = nullptr;
    std::string FDatabaseName;
    bool FHasConnect = false;
    bool FHasDML = false;
    bool FHasOther = false;
    std::optional<TScriptPosition> FUnfinishedStart;
    int32_t FOpenDirective = -1;
    TDirectivesMap* FDirectives = nullptr;
    // The body count of the statement being read, resumed at each terminator.
    bool FResumeActive = false;
    TScriptPosition FResumePos;
    bool FInBody = false;
    bool FSawAs = false;
    int FDepth = 0;
};

} // namespace qnl
