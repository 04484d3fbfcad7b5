#pragma once
// Reading and rewriting SQL statement text without a grammar.
//
// TSQLParser finds keywords at the top level of a statement while stepping over string literals,
// double-quoted names, "--" and "/* */" comments and bracketed sub-expressions. It tells the
// kind of a statement, finds the FROM, WHERE, PLAN and ORDER BY clauses, the table list with its
// aliases, the table a modifying statement changes and the fields of an ORDER BY list. The
// editing routines build new statement text from those positions; their spacing and line breaks
// (CR LF) are relied on by the callers.
//
// Positions are 1-based character positions in the text; 0 (or -1 for the index questions) means
// that nothing was found. Texts are 8-bit; keyword comparisons fold only the ASCII letters.
#include "client/StrUtil.h"
#include "platform/StringList.h"
#include "platform/Variant.h"

#include <array>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace qnl {

// Statement kinds answered by TSQLParser::GetStatementKind (prefix sqk: the comparison library
// has kinds of statement of its own, sk..., in the same namespace).
inline constexpr uint8_t sqkOther = 0;
inline constexpr uint8_t sqkSelect = 1;   // SELECT and MERGE
inline constexpr uint8_t sqkUpdate = 2;
inline constexpr uint8_t sqkInsert = 3;
inline constexpr uint8_t sqkDelete = 4;
inline constexpr uint8_t sqkExecProc = 5;
inline constexpr uint8_t sqkDDL = 6;
inline constexpr uint8_t sqkExecBlock = 7;
inline constexpr uint8_t sqkUpdateOrInsert = 8;

// --- Low-level text routines ---

// The upper-case Keyword stands at Pos as a whole word (lower-case text letters match).
bool IsKeywordAt(std::string_view Keyword, std::string_view Text, int Pos);
// Moves Pos over blanks, "(", ";", "^" and comments, looking at Text[1..Len].
void SkipSpacesAndComments(std::string_view Text, int Len, int& Pos);
// First position of Keyword as a whole word anywhere in Text, ignoring ASCII case; quotes and
// comments are not respected. 0 when absent.
int PosKeyword(std::string_view Keyword, std::string_view Text);
// Text without its comments; each comment leaves one blank, so the words around it stay apart.
std::string StripComments(std::string_view Text);
// A "--" comment runs to the end of Text: whatever is joined after it on the same line is part
// of the comment.
bool EndsInLineComment(std::string_view Text);
bool SameIdentifiers(std::string_view A, std::string_view B);
// One entry of a table list: a table name, optionally followed by an alias. AliasPos 0 means
// "compute it with TableAliasPos".
int TableAliasPos(std::string_view Entry);
std::string ExtractTableName(std::string_view Entry, int AliasPos);
std::string ExtractTableAlias(std::string_view Entry, int AliasPos);
// Firebird 3's Q'<open>...<close>' string (the partner of (, [, { or < closes it, any other
// character itself): when the quote at index Quote (0-based) opens one, that is a Q that is no
// end of a longer word stands before it, the index of the quote that closes it, or Text.size()
// when nothing does; npos when the quote opens no such string.
size_t QStringClose(std::string_view Text, size_t Quote);
// Splits a macro token at its first "%" into name and default value. Name gets MacroChar in
// front unless Text starts with it; DefaultValue is left alone when there is no "%".
void SplitMacro(std::string_view Text, char MacroChar, std::string& DefaultValue, std::string& Name);

// Character-set names by InterBase/Firebird character-set identifier 0..60.
inline constexpr int CharSetNameCount = 61;
extern const std::array<const char*, CharSetNameCount> CharSetNames;

class TSQLParser {
public:
    // A stop test of the scan: answers true to stop at Position.
    using TScanStopTest = bool (TSQLParser::*)(int Position);

    TSQLParser();
    explicit TSQLParser(std::string_view SQL);   // CreateWithText
    TSQLParser(const TSQLParser&) = delete;
    TSQLParser& operator=(const TSQLParser&) = delete;

    // Loads a new text; answers its statement kind.
    uint8_t SetSQLText(std::string_view SQL);

    // The scanning engine; the stop position is in FoundPos() (0 when none).
    void ScanText(int FromPos, TScanStopTest StopTest);

    uint8_t GetStatementKind();
    bool IsDDLStatement();

    void GetFromClausePos(int& FromPos, int& EndPos);
    // ORDER BY list: OrderPos is the O of ORDER, EndPos the end of the list and OrderText the
    // list after BY. The list ends before a ROWS, OFFSET, FETCH, FOR UPDATE or WITH LOCK that
    // follows it, else at the end of the text.
    void GetOrderByPos(int& OrderPos, int& EndPos, std::string& OrderText);
    std::string GetOrderByText();
    // Position of the first top-level ROWS, OFFSET, FETCH, FOR UPDATE or WITH LOCK (the clauses
    // that follow ORDER BY), 0 when there is none.
    int TailClausePos();

    // The ordinal of the top-level WHERE among all WHERE keywords up to it, or -1.
    int MainWhereIndex();
    int WhereCount();
    // The N-th WHERE (N 0 and 1 both mean the first): WhereStart is the W of WHERE, EndPos the
    // last character of its condition. Nothing is written when there is no N-th WHERE.
    void GetWhereClause(int N, int& WhereStart, int& EndPos, std::string& WhereText);
    void GetMainWhereClause(int& WhereStart, int& EndPos, std::string& WhereText);

    int MainPlanIndex();
    // PlanStart is the first character of the plan text (not of the keyword).
    void GetPlanClauseN(int N, int& PlanStart, int& EndPos, std::string& PlanText);
    void GetPlanClause(int& PlanStart, int& EndPos, std::string& PlanText);

    // The table of an UPDATE (with its alias), INSERT, DELETE (with its alias) or UPDATE OR
    // INSERT; "Unknown" when INTO or FROM is missing; empty for other kinds.
    std::string GetModifiedTableName();
    void FillTableList(bool KeepBracketEntries);
    // The parser's own list (filled on first use), not a copy.
    const TStringList& GetTableList(bool KeepBracketEntries);
    // A [0..N-1, 0..2] array of (field, ascending, nulls first) per ORDER BY item, or Null.
    void GetOrderFields(bool DefaultNullsFirst, Variant& Fields);

    // --- Editing: each writes a new text and leaves the parser unchanged ---
    std::string CountSelect();
    std::string SetOrderByClause(std::string_view NewOrder);
    std::string SetWhereClause(int N, std::string_view NewCondition);
    std::string SetMainWhereClause(std::string_view NewCondition);
    std::string AddCondition(std::string_view Condition, bool Indent);
    std::string SetPlanClause(std::string_view NewPlan);

    const TStringList& Tables() const { return FTables; }
    const std::string& Text() const { return FText; }
    int TextLength() const { return FTextLength; }
    int StartPos() const { return FStartPos; }
    uint8_t StatementKind() const { return FStatementKind; }
    bool NotDDL() const { return FNotDDL; }
    int FoundPos() const { return FFoundPos; }
    int CurrentPos() const { return FCurrentPos; }
    int Depth() const { return FDepth; }
    uint8_t ScanState() const { return FScanState; }

private:
    char At(int Pos) const;
    std::string Copy(int From, int To) const;   // characters From..To
    std::string Rest(int From) const;           // characters From..end
    bool TopLevel() const { return FScanStartDepth >= FDepth; }
    // Every question about the whole text starts with the brackets counted from zero, whatever
    // earlier scans left behind.
    void ResetScan();
    // The last position in From..To that is neither blank nor part of a comment (From - 1 when
    // there is none).
    int LastCodePos(int From, int To) const;
    // A clause that may follow ORDER BY: ROWS, OFFSET .. ROW(S), FETCH FIRST/NEXT, FOR UPDATE,
    // WITH LOCK.
    bool IsTailClauseAt(int Pos) const;
    // A SELECT whose rows are not one per row of its FROM and WHERE (grouped, distinct,
    // united or limited).
    bool NeedsDerivedCount();
    // The position of the main SELECT keyword (after common table expressions); 0 when none.
    int MainSelectPos();
    // The number of columns of a select list (comments stripped), -1 when one is a "*".
    int SelectListColumnCount(std::string_view List) const;
    // The text after an ORDER BY list (the clauses that follow it).
    std::string AfterOrderList(int OrderPos, int EndPos) const;
    std::string ReadWord(int& Pos);
    void FindPlan(int N, int& KeywordPos, int& PlanStart, int& EndPos, std::string& PlanText);
    // The end of a clause text whose scan stopped at Stop (keyword stops are one past the end).
    int ClauseTextEnd(int From, int Stop, const TCharSet& TrailingSet) const;

    // IsKeywordAt, where a comment's closing "*/" also counts as a boundary before the keyword.
    bool KeywordAt(std::string_view Keyword, int Pos) const;
    bool AnyKeywordAt(int Pos, std::initializer_list<std::string_view> Keywords) const;
    // A blank, or the "/" that closes a comment.
    bool SeparatorAt(int Pos) const;

    bool StopAtFrom(int Pos);
    bool StopAtFromDepth0(int Pos);
    bool StopAtInto(int Pos);
    bool StopAtOrder(int Pos);
    bool StopAtOrderDepth0(int Pos);
    bool StopAtBy(int Pos);
    bool StopAtSelectDepth0(int Pos);
    bool StopAtNthPlan(int Pos);
    bool StopAtNthWhere(int Pos);
    bool StopAtFromListEnd(int Pos);
    bool StopAtWhereTextEnd(int Pos);
    bool StopAtPlanTextEnd(int Pos);
    bool StopAtTailClause(int Pos);
    bool StopAtCountChanger(int Pos);

    uint8_t FScanState = 0;
    int FCurrentPos = 0;
    int FFoundPos = 0;
    int FDepth = 0;
    std::string FText;
    int FTextLength = 0;
    int FTargetOccurrence = 0;
    int FOccurrenceCount = 0;
    bool FStopAtCloseBracket = false;
    bool FStoppedAtBracket = false;   // the last scan ended at a closing bracket
    int FStartPos = 1;
    uint8_t FStatementKind = sqkOther;
    bool FNotDDL = true;
    TStringList FTables;
    int FScanStartDepth = 0;
};

// --- Free functions over a statement text (one parser per call) ---

// The target table of a modifying statement, trimmed; unless AsIs, without its alias and, when
// not quoted, upper-cased (a quoted name loses its quotes and keeps its case).
std::string GetMainTableName(std::string_view SQL, bool AsIs);
void GetSelectTableNames(std::string_view SQL, TStringList& Strings, bool KeepBracketEntries, bool WithAliases);
void GetTableNames(std::string_view SQL, TStringList& Strings, bool KeepBracketEntries, bool WithAliases);
void RemoveAliases(TStringList& Strings);
std::string AliasByTableName(std::string_view SQL, std::string_view TableName);
std::string TableByAlias(std::string_view SQL, std::string_view Alias);
std::string AliasFieldToTableField(std::string_view SQL, std::string_view AliasField);
int MainWhereIndex(std::string_view SQL);
int WhereCount(std::string_view SQL);
void GetOrderByPos(std::string_view SQL, int& OrderPos, int& EndPos, std::string& OrderText);
void GetWhereClause(std::string_view SQL, int N, int& WhereStart, int& EndPos, std::string& WhereText);
void GetOrderFields(std::string_view SQL, bool DefaultNullsFirst, Variant& Fields);
// The field a parameter is compared with in a WHERE clause (by an operator, LIKE, CONTAINING,
// STARTING WITH, BETWEEN or IN): for ":Name" the field without its qualifier, for "?Name" the
// whole reference, quoted names as written; "" where the other side is no plain field.
std::string FieldNameForParam(std::string_view SQL, std::string_view ParamName);

// --- Editing ---

std::string CountSelect(std::string_view SQL);
// Limits a SELECT to its first Count rows, unless FIRST appears anywhere in it.
std::string AddFirstClause(std::string_view SQL, int Count);
std::string SetOrderClause(std::string_view SQL, std::string_view NewOrder);
std::string AddWhereCondition(std::string_view SQL, std::string_view Condition, bool Indent);
// An ORDER BY list (the text after ORDER BY) with every direction inverted.
std::string InvertOrderClause(std::string_view OrderList);
// Table and field joined by a dot, each in double quotes when it needs them.
std::string FormatFullFieldName(std::string_view TableName, std::string_view FieldName);

} // namespace qnl
