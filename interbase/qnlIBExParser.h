#pragma once
// The InterBase/Firebird reader with a grammar for everything a schema object carries as source
// text: the PSQL bodies of procedures, functions, triggers, packages and EXECUTE BLOCK, the query
// of a view, and the CHECK, default and computed expressions. It builds no syntax tree and checks
// no types; what it produces is the dependency graph: every table, view, procedure, function,
// package, generator, exception, index and column a body names is recorded on the object being
// parsed (its DependsOn list and the other object's UsedBy list).
//
// Column names resolve through a stack of query contexts: each SELECT pushes the relations of its
// FROM list; the names its select list and join conditions use (and those an inner query finds
// in none of its own relations) wait on the context until the list is known, so every query is
// read once, in time linear in its length however deeply queries nest.
//
// Errors inside a body name the object ("Procedure P: ..."); parsing always goes on after one.
#include "interbase/qnlIBParser.h"

#include <cstdint>
#include <memory>
#include <string>

namespace qnl {

class TIbExParser : public TIbParser {
public:
    explicit TIbExParser(TCustomExtract* AOwner = nullptr);
    ~TIbExParser() override;
    std::string ClassName() const override { return "TIbExParser"; }

    // The object whose body or expression is being parsed; nullptr between bodies.
    TDbObj* BodyObject = nullptr;

    // ---- overrides ----
    void ReportError(const std::string& Text) override;
    // Parses the source an object already holds (objects read from a database, domains).
    void ParseObjectSource(TDbObj* Obj) override;
    // Parses the body or expression at the current token for Obj.
    void ParseObjectBody(TDbObj* Obj) override;
    void ReadBodyText(TDbObj* Obj, int64_t Start) override;
    void ParseDefaultValue(TDbObj* Obj, std::string& Text) override;
    std::unique_ptr<TIbParser> CreateNestedParser() override;

    // Parses the expressions of the container's expression indices, computed columns and check
    // constraints from their sources, once every table is known: what columns they read.
    void ParseExpressionSources();

    // ---- declarations and blocks ----
    void ParseDeclarations();
    void ParseBlock();
    void ParsePackageBody();

    // ---- procedural statements ----
    void ParsePSQLStatement();
    void ParseIf();
    void ParseWhile();
    void ParseForStatement();
    void ParseWhenHandler();
    void ParseRaiseException();
    void ParsePostEvent();
    void ParseExecute();
    void ParseExecStmtOptions();
    void ParseExecStmtParams();
    void ParseAlterInBody();
    void ParseSetStatement();
    void ParseFetch();
    // The name's token has been read over.
    void ParseAssignment(const std::string& Name);
    void ParseTargetRef(const std::string& Name) { ParseAssignment(Name); }

    // ---- queries and data-changing statements ----
    void ParseQueryExpression();
    // The token after SELECT is current.
    void ParseSelect();
    void ParseValueList();
    void ParseRowsClause();
    // OFFSET n ROW[S] and FETCH FIRST|NEXT n ROW[S] ONLY after ORDER BY.
    void ParseOffsetFetch();
    void ParseFromClause();
    void ParseJoinList();
    void ParseTableReference();
    void ParsePlanClause();
    void ParsePlanExpr();
    void ParsePlanItem();
    void ParsePlanIndexList();
    void ParseSelectInto();
    void ParseSingletonSelect();
    void ParseExpressionList();
    void ParseInsert();
    void ParseUpdate();
    void ParseDelete();
    void ParseSearchedTail();
    void ParseSetAssignments(TDbObj* Relation);
    void ParseMerge();
    void ParseReturning();

    // ---- expressions ----
    void ParseExpression();
    void ParseCondition();
    void ParsePredicate();
    void ParseBooleanPrimary();
    void ParseSum();
    void ParseTerm();
    void ParseFactor();
    void ParseBuiltinFunction();
    // The name has been read; the token after it is current.
    void ParseNameReference(const std::string& Name);
    void ParseWindowClause();
    void ParseExtractPart();
    void ParseTrimArgs();
    void ParseOverlayArgs();
    void ParseDateDiffArgs();
    void ParseDateAddArgs();
    void ParseSubstringArgs();
    void ParseArraySubscript();

protected:
    // The current token reads as the word (written in capitals), reserved or not.
    bool IsWordAny(const char* Word) const;
    // The end of the text or the statement terminator: no body goes on past either.
    bool AtBodyEnd() const { return Token == tkTerminator || (Token == tkEOF && AtEnd()); }
    // Consumes the keyword or unreserved word when it is current; False otherwise.
    bool SkipKeyword(TTokenCode Keyword);
    bool SkipWord(const char* Word);
    // Expects the keyword (Expect's message) and consumes it when it is current.
    void ExpectKeyword(TTokenCode Keyword);
    // Expects the unreserved word (ExpectIdent's message) and consumes it when it is current.
    void ExpectWord(const char* Word);
    // The object every dependency of the body goes on: the object parsed, or, for a member
    // routine of a package or a sub-routine, the object that encloses it.
    TDbObj* Dependent() const { return FDependent; }
    // AddDependency, never on the object itself.
    void Depend(TDbObj* Target, const std::string& FieldName = {});
    // LinkDepend on the dependent.
    void Link(const std::string& Name, TDbObjectSet Kinds) { LinkDepend(FDependent, Name, Kinds); }
    // A call of a stored routine name(...): an external function, else a PSQL function.
    void DependOnFunction(const std::string& Name);
    // The relation (table, else view) of a data-changing statement's target.
    TDbObj* TargetRelation(const std::string& Name);
    // The parameters of a routine typed by a domain or by TYPE OF COLUMN: it depends on those.
    void LinkParameterTypes(TDbObj* Routine);
    // The type of a local variable or of a CAST into ScratchField; the body needs the domain or
    // the column the type names.
    void ParseTypeName();
    // Pushes a context that holds one relation, resolvable at once.
    TParseContext* PushTarget(const std::string& Relation, const std::string& Alias);
    // [AS] alias after a relation; empty when none follows.
    std::string ReadAlias();
    // "(" value list ")" at the current "(".
    void ParseParenValueList();
    bool IsJoinWord() const;
    // JOIN ... USING (Names), or NATURAL JOIN (Names nullptr: the columns the two share): the
    // relation at index Right of the FROM list and each one before it need those columns.
    void LinkJoinColumns(const TParseContext& Context, int Right, const TStringList* Names);
    TIBSQLServerVersionType Version() const { return ServerVersion(); }
    bool From(TIBSQLServerVersionType V) const { return Version() >= V; }

    // Expressions, queries and blocks nest by recursion: a body that nests deeper than
    // MaxNesting is refused with one error where it goes too deep, instead of overflowing the
    // stack. Each recursive rule holds a TNesting while it runs and reads nothing when it is
    // refused; once too deep, every rule unwinds at once and the body reports nothing more.
    static constexpr int MaxNesting = 1000;
    class TNesting {
    public:
        explicit TNesting(TIbExParser& AParser);
        ~TNesting() {
            if (--Parser.FNesting == 0) Parser.FTooDeep = Parser.FBodyFailed = false;
        }
        TNesting(const TNesting&) = delete;
        TNesting& operator=(const TNesting&) = delete;
        // False when the rule must read nothing.
        explicit operator bool() const { return !Parser.FTooDeep; }

    private:
        TIbExParser& Parser;
    };

private:
    // While a view written without a column list is read: the names the server gives its
    // columns, taken from the select list of its query.
    struct TSelectNames {
        TStringList Names;
        // Cleared by an item that has neither an alias nor a plain column reference.
        bool Named = true;
    };
    // The select list of a top-level SELECT; Names records what its items are called.
    void ParseValueList(TSelectNames* Names);
    // The column a select item reads when the item, from Start to the token before the current
    // one, is nothing but a column reference (C or R.C); empty otherwise.
    std::string ColumnItemName(TScannerState& Start);

    TDbObj* FDependent = nullptr;
    // Set for the query of a view without a column list until its SELECT takes it.
    TSelectNames* FSelectNames = nullptr;
    // How deep ParseObjectBody calls are nested (sub-routines and package members).
    int FBodyDepth = 0;
    int FNesting = 0;
    bool FTooDeep = false;
    // An error was reported in the body or expression being read.
    bool FBodyFailed = false;
};

} // namespace qnl
