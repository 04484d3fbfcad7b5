#pragma once
// The InterBase/Firebird DDL script reader: the dialect's keywords filtered by the server
// version, its extra lexemes (character-set introducers, hexadecimal literals, ":="), the
// statement loop that splits an isql script at the terminator in force, and one function per
// grammar rule for the statements it turns into schema objects: data types and column
// definitions, tables, constraints and indices, routines, packages, triggers, views, domains,
// generators, exceptions, roles, collations, external functions, grants and descriptions.
// Statements that are no object DDL (CONNECT, SET, DML, DROP, ...) are handed on through
// OnStatement.
//
// Bodies (of routines, packages, triggers, EXECUTE BLOCK and views) are read as raw text by
// ReadBodyText, the one place the body parser (TIbExParser) takes over.
//
// Errors are reported at the start of the token that is wrong; after an error the rest of the
// statement is skipped, so fragments of a broken statement never count as statements.
#include "core/qnlIBKeywords.h"
#include "interbase/qnlParser.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace qnl {

class TCltData;
class TDmnData;
class TColumnNameList;
class TCtrData;
class TFldData;
class TPrcData;
class TTblData;
class TTrgData;

class TIbParser : public TCustomSQLParser {
public:
    explicit TIbParser(TCustomExtract* AOwner = nullptr);
    ~TIbParser() override;
    std::string ClassName() const override { return "TIbParser"; }

    // Reads the files named by INPUT into the same container; made on the first INPUT. A
    // parser made this way has none of its own (an INPUT inside an INPUT file is not read).
    std::unique_ptr<TIbParser> ExParser;
    // The table and column being read, named in error positions.
    std::string ErrTable;
    std::string ErrField;
    // The routine name read last by the qualified-name reader.
    std::string RoutineName;
    // What OnStatement returned for the statement handed on last.
    TObject* LastStatement = nullptr;
    // Set by a reader that feeds a script executor, which must run every statement of the
    // script: GRANT, COMMENT ON and EXECUTE PROCEDURE are handed on too (an extraction files
    // the first two as objects and descriptions and passes the third over), and packages are
    // handed on as packages, so that they render and run as PSQL blocks.
    bool HandOnEveryStatement = false;

    // ---- overrides ----
    void ScanToken() override;
    void InitKeywords() override;
    // A script read from lines starts in SQL dialect 3, as isql reads it.
    bool ParseScript(const TStringList& Lines, TObjs* Container) override;
    void ParseStatements() override;
    // Reports at the start of the current token.
    void ReportError(const std::string& Text) override;
    std::string ErrorPosText() override;
    TTokenCode FilterKeyword() override;
    void AfterParse() override;
    std::string QuoteIdent(const std::string& Name) override;

    // ---- new virtual operations ----
    // The source of a body or expression into Obj's source. Start is the index (from 1) where
    // the text begins, -1 for the current character. This reader keeps the text as it stands,
    // read token by token: a CHECK condition or a computed expression is the parenthesised
    // text; a routine, trigger or package body runs to the END that closes its block (see
    // SkipBodyTokens), a view's query to the terminator. The body parser replaces this reading
    // with its grammar; the current token is then the one after the body, as here.
    virtual void ReadBodyText(TDbObj* Obj, int64_t Start);
    // The text of a DEFAULT value as written; the token after the value becomes current.
    virtual void ParseDefaultValue(TDbObj* Obj, std::string& Text);
    // The parser that reads INPUT files.
    virtual std::unique_ptr<TIbParser> CreateNestedParser();
    void NextToken() override;

    // The container's options (nullptr without a container), the server version and dialect
    // they hold (the option class's start values without one).
    TIBServerOptions* GetIBOptions() const;
    TIBSQLServerVersionType ServerVersion() const;
    int SQLDialect() const;

    // ---- statements ----
    void ParseStatement();
    void ParseCreate();
    void ParseCreateOrAlter();
    void ParseAlter();
    void ParseAlterDatabase();
    // PROCEDURE, FUNCTION, PACKAGE, GENERATOR, SEQUENCE or EXCEPTION after CREATE (Action
    // create), ALTER or CREATE OR ALTER (Action alter); False for any other word.
    bool ParseObjectStatement(uint8_t Action);
    // USER, MAPPING, SHADOW, FILTER or ROLE RDB$ADMIN after CREATE, ALTER or DROP (Action): read
    // and handed on to an executor only; False for any other word.
    bool ParseServerStatement(uint8_t Action);
    void ParseDeclare();
    void ParseDrop();
    void ParseExecute();
    void ParseCommit();
    void ParseSet();
    void ParseSetTerm();
    void ParseDataManipulation(TStatementKind Kind, TTokenCode Preposition, uint8_t Action);
    void ParseDatabaseConnect(bool IsCreate);
    void ParseInput();

    // ---- data types and column definitions ----
    // A column named by the current identifier, with its type and attributes; the caller files
    // it. OwnerName names the owner when Owner is not known (a table the container lacks).
    std::unique_ptr<TFldData> ParseFieldDef(TDbObj* Owner, const std::string& OwnerName = {});
    void ParseColumnList(TColumnNameList& List);
    // Domain is the domain being defined, nullptr for a column.
    void ParseDataType(TFldData& Column, TDbObj* Domain);
    // The type word and what belongs to it (length, precision, blob options, TYPE OF).
    void ParseDataTypeWord(TFldData& Column);
    void ParseCharLength(TFldData& Column);
    void ParseBlobOptions(TFldData& Column);
    void ParseTypeOf(TFldData& Column);
    // COMPUTED [BY] (expression) or GENERATED ALWAYS AS (expression) at its first word.
    void ParseComputedBy(TFldData& Column);
    // GENERATED ALWAYS is current (the computed form, not an identity).
    bool IsGeneratedAlways();
    void ParseArrayDimensions(TFldData& Column);
    void ParseColumnAttributes(TFldData& Column, bool IsDomain);
    void ParseIdentity(TFldData& Column);
    bool IsDataTypeToken();

    // ---- tables, constraints and indices ----
    // Recreate drops a table of that name that the container has first (RECREATE TABLE).
    void ParseCreateTable(bool IsGlobalTemporary, bool Recreate = false);
    void ParseTableElement(TTblData& Table);
    void ParseAlterTable();
    // What one action of ALTER TABLE did, for the statement handed on.
    struct TAlterTableAction {
        std::string ObjName;
        TDbObject Kind = dboUnknown;
        uint8_t Action = 0;
        std::string FieldName;
    };
    TAlterTableAction ParseAlterTableAction(TTblData* Table, const std::string& TableName);
    TAlterTableAction ParseAddColumn(TTblData* Table, const std::string& TableName);
    TAlterTableAction ParseAlterColumn(TTblData* Table, const std::string& TableName);
    void ParseCreateIndex();
    void ParseAlterIndex();
    // Both answer the object kind of the constraint read (dboConstraint when none was).
    TDbObject ParseNamedConstraint(TFldData* Field, TTblData* Table, const std::string& TableName);
    TDbObject ParseConstraint(std::unique_ptr<TCtrData> Ctr, TFldData* Field, const std::string& TableName,
                              TTblData* Table);
    // FOREIGN KEY (columns), then the REFERENCES clause.
    void ParseReferences(TTblData* Table, TCtrData& Ctr);
    // REFERENCES table [(columns)] [ON UPDATE | ON DELETE rule]... [USING ...index].
    void ParseReferencesClause(TTblData* Table, TCtrData& Ctr);
    // NO ACTION, CASCADE, SET DEFAULT or SET NULL.
    void ParseReferentialAction(uint8_t& Rule);
    void ParseUsingIndex(TCtrData& Ctr);
    void ReadCheckText(TCtrData& Ctr);

    // ---- procedures, functions, packages, triggers, views and EXECUTE BLOCK ----
    // PROCEDURE or FUNCTION is current. Whatever Action says, a routine the container has is read
    // anew (its parameters replaced, the descriptions of those that keep their names kept;
    // handed on with action alter) and any other is made (action create). A procedure and a
    // function of one name are two routines for Firebird but one key for the container: such a
    // clash is an error, never an overwrite. A member routine of Package and a Nested routine
    // are neither handed on nor filed.
    void ParseProcedure(uint8_t Action, bool IsFunction, TDbObj* Package = nullptr, bool Nested = false);
    // The parameter lists and RETURNS of a procedure, function or EXECUTE BLOCK.
    void ParseRoutineHeader(TPrcData& Routine);
    // PACKAGE [BODY] is current; the package of that name is read anew or made.
    void ParsePackage(uint8_t Action);
    // BLOCK is current (after EXECUTE); handed on whole, no object is made.
    void ParseExecuteBlock();
    // An identifier into RoutineName, the qualifier of [package.]routine passed over.
    void ReadQualifiedName();
    // TRIGGER is current. CREATE makes the trigger; ALTER (and CREATE OR ALTER) changes the
    // clauses it gives of a trigger read before, or makes one. An ALTER of a trigger the script
    // has not made, without a body (ALTER TRIGGER T INACTIVE), is handed on and makes nothing.
    // Table triggers (FOR t, or BEFORE INSERT ON t), database triggers (ON CONNECT, ...) and
    // DDL triggers (BEFORE CREATE TABLE OR ALTER TABLE, AFTER ANY DDL STATEMENT) get Firebird's
    // type code.
    void ParseTrigger(uint8_t Action);
    // ON is current: the event of a database trigger.
    void ParseDatabaseTriggerEvent(TTrgData& Trigger);
    // BEFORE or AFTER is current: table events or DDL events; HasTable after FOR t.
    void ParseTriggerEvents(TTrgData& Trigger, bool HasTable);
    // VIEW is current: the view is made anew and replaces one read before.
    void ParseCreateView(uint8_t Action);

    // ---- generators, exceptions, collations and descriptions ----
    // GENERATOR or SEQUENCE is current. CREATE makes the generator (RECREATE and a CREATE of a
    // name the container has read it anew); Alter (ALTER, CREATE OR ALTER) changes only the
    // clauses given. From Firebird 3 on: RESTART [WITH n], START WITH n, INCREMENT [BY] n (RESTART
    // WITH sets the start, as the server keeps it).
    void ParseCreateGenerator(bool Alter);
    // The name is current: Existing is the exception to change, nullptr to make one.
    void ParseCreateException(TDbObj* Existing);
    void ParseAlterException();
    // DOMAIN is current. CREATE makes the domain; ALTER changes the domain read before
    // (renamed by TO, its columns and parameters following it), or only hands the statement on.
    void ParseCreateDomain();
    void ParseAlterDomain();
    void RenameDomain(TDmnData& Domain, const std::string& NewName);
    // ROLE is current.
    void ParseCreateRole();
    // FUNCTION is current (after DECLARE EXTERNAL).
    void ParseDeclareExternalFunction();
    // EXTERNAL is current (after ALTER): the entry point or module of a declared function.
    void ParseAlterExternalFunction();
    // GRANT is current. Privileges (with their column lists) on an object, or roles, to one or
    // more grantees; one grant object per grantee and column list, and one per grantee of a
    // DDL privilege.
    void ParseGrant();
    // CREATE, ALTER or DROP is current: a Firebird 3 DDL privilege as isql writes it; empty after
    // an error.
    std::string ParseDdlPrivilege();
    // Files Grant in the container or folds it into an equal one (then Grant is freed).
    void AddGrant(TDbObj* Grant);
    // Grantees named without their kind: role, object or user, once the whole script is read.
    void ResolveGrantTargets();
    void ParseCreateCollation();
    // The pad, case and accent attributes Collation takes from its BaseCollation.
    void TakeBaseAttributes(TCltData& Collation) const;
    void ParseDescribe();
    void ParseComment();

protected:
    // The keyword code of the current token: a keyword's own code, the code of an unquoted
    // word that this version does not reserve, or the token itself for anything else. The
    // grammar compares with it where it expects a keyword, so unreserved words are keywords
    // there and names everywhere else.
    TTokenCode WordCode() const;
    bool IsKeyword(TTokenCode Keyword) const { return WordCode() == Keyword; }
    // The current token is the unquoted word (written in capitals), which is no keyword.
    bool IsWord(const char* Word) const;
    // WordCode with the type words some versions do not reserve read as type words.
    TTokenCode TypeWordCode() const;
    // WordCode of the token after the current one, which stays current.
    TTokenCode PeekWordCode();
    // The source text of the current token as written (valid until the next token is read).
    std::string TokenSourceText() const;
    // Index (from 1) just past the current token.
    size_t TokenEnd() const { return CurIndex(); }
    // Index (from 1) just past the token before the current one.
    size_t PreviousTokenEnd() const { return FPreviousTokenEnd; }

    // True when an error was reported since the current statement began.
    bool Failed();
    // The errors the message manager holds.
    int ErrorCount();
    // Reports an error located at Index (from 1) of the source.
    void ReportErrorAt(const std::string& Text, size_t Index);
    void AddWarningAt(const std::string& Text, size_t Index);
    // Expects the terminator without consuming it; False (reported) when it is not current.
    bool ExpectTerminator();
    // Hands on the statement from its start up to the current token (the terminator).
    void HandOn(TStatementKind Kind, const std::string& ObjName, TDbObject ObjKind, uint8_t Action,
                const std::string& FieldName = {});
    // Skips to the terminator of the statement (or the end of the text) and consumes it.
    void SkipStatement();
    // A statement whose reader is still to come: everything up to the terminator, handed on as
    // it stands (with Name) when HandOnIt.
    void ParseRawStatement(TStatementKind Kind, const std::string& Name, TDbObject ObjKind, uint8_t Action,
                           bool HandOnIt = true);
    // The current token's text when it is a name, else empty.
    std::string NameHere() const;
    // The kind of schema object the current word names (TABLE, VIEW, ..., SEQUENCE, PACKAGE,
    // COLLATION); dboUnknown for any other word.
    TDbObject ObjectKindWord() const;
    // The text of a string, or of a double-quoted name in dialect 3; empty (reported) otherwise.
    std::string ExpectStringText();
    // From "(" through its matching ")", token by token (strings and comments may hold
    // parentheses); answers the index just past the ")".
    size_t SkipParenthesised();
    // The parenthesised text that starts at the current "(".
    std::string ReadParenthesisedText();
    // The tokens of a body from the current one on. A query (Block False) runs to the
    // terminator; a block ([declarations] BEGIN ... END, with BEGIN ... END and CASE ... END
    // nested) stops on the token after the END that closes it, unless a declaration or BEGIN
    // follows there (an END that closes a local sub-routine).
    void SkipBodyTokens(bool Block);
    // Consumes a ";" that ends a body written before the terminator, then expects the
    // terminator; False (reported) when it is not there.
    bool EndOfRoutineStatement();
    // EXTERNAL NAME 'name' ENGINE engine at EXTERNAL (an external-engine routine or trigger of
    // Firebird 3); False (reported) when it is not whole.
    bool ReadExternalClause(std::string& ExternalName, std::string& EngineName);
    // RECREATE of the statement being read: the object of that kind and name goes first.
    bool FRecreate = false;
    // CREATE OR ALTER of the statement being read: an object the script lacks is made.
    bool FCreateOrAlter = false;
    // An optionally signed integer into Value, the token after it current; False (reported)
    // when there is none.
    bool ReadSignedInteger(int64_t& Value);
    // The forms of Firebird 3 and later (DETERMINISTIC, ENTRY_POINT as a keyword, ...).
    bool Firebird3Forms() const {
        const TIBSQLServerVersionType v = ServerVersion();
        return v == st_Firebird_30 || v == st_Firebird_40 || v == st_InterBase_2020;
    }
    // The container's procedure (IsFunction False) or function of that name.
    TPrcData* FindRoutine(const std::string& Name, bool IsFunction) const;
    // The container's object of that kind and name, for a description.
    TDbObj* FindDescribed(TDbObject Kind, const std::string& Name) const;
    // The source from Start up to End (indices from 1) as Firebird stores such a text: from
    // 2.5 on it keeps a string after a character-set introducer as X'hex', whatever the
    // script wrote (_UTF8 'abc' is stored as _UTF8 X'616263').
    std::string StoredText(size_t Start, size_t End) const;
    bool LogWanted() const;

    // The scanner at one token, to look ahead from and come back to.
    class TScannerState {
    public:
        explicit TScannerState(TIbParser& AParser);
        void Restore();

    private:
        TIbParser& Parser;
        TParseContext Context;
        char QuoteChar;
        std::string ValueText;
        int64_t IntValue;
        bool IntExact;
        size_t LastTerminatorStart;
        TTokenCode PreviousToken;
        size_t PreviousTokenEnd;
    };

private:
    void ScanHexNumber();
    // Q'<open>...<close>' at the current Q: the character after the quote opens the text, its
    // partner ((), [], {}, <>; any other character itself) followed by a quote closes it.
    void ScanQString();
    void ScanHexString();
    // Line and column counters of the character at Index, as the scanner has them there.
    void Locate(size_t Index, int& ALine, int& AColumn);
    void RemoveConstraintIndices();
    // A second primary key of a table is kept as a unique constraint, with warnings.
    void WarnDuplicatePrimaryKey(TCtrData& Ctr, TTblData* Table, size_t Start);
    void LinkDomainDepends();
    // A column renamed by ALTER TABLE: its name in the table's indices too.
    void RenameIndexColumn(const std::string& TableName, const std::string& OldName, const std::string& NewName);
    void DropConstraint(const std::string& ConstraintName);
    // What DROP (and RECREATE) removes from the container: the object of that kind and name;
    // for a table also its constraints and indices.
    void ForgetObject(TDbObject Kind, const std::string& Name);

    bool FNested = false;
    // The strings read after a character-set introducer in the current statement: where they
    // stand and their bytes.
    struct TIntroducedString {
        size_t Start;
        size_t End;
        std::string Bytes;
    };
    std::vector<TIntroducedString> FIntroducedStrings;
    TTokenCode FPreviousToken = tkEOF;
    size_t FPreviousTokenEnd = 0;
    // Where the statement being read began, in messages, and whether a CREATE TABLE is read.
    int FStatementErrors = 0;
    // Set by a statement that ended where it failed, so nothing after it is skipped.
    bool FStatementEnded = false;
    size_t FLastTerminatorStart = 0;
    TTblData* FCreatingTable = nullptr;
    TStringList FCreatedKeyColumns;
    std::string FLastConstraintName;
    // The error counter's progress through the message manager.
    int FCountedMessages = 0;
    int FCountedErrors = 0;
    // Locate's progress through the source.
    const char* FLocSource = nullptr;
    size_t FLocSize = 0;
    size_t FLocIndex = 1;
    int FLocLine = 1;
    size_t FLocBreak = 0;
};

} // namespace qnl
