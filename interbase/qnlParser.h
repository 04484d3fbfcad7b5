#pragma once
// The parser framework every SQL script reader stands on: a hand-written scanner over one source
// text whose every step is a virtual operation, the reserved-word list that maps words to token
// codes, saved scanner states for look-ahead and name resolution, error collection with script
// name, line and column, and (in TCustomSQLParser) SQL comments, the terminator ahead of every
// other token and the recording of dependencies between the schema objects of a container.
#include "core/qnlDBOptions.h"
#include "core/qnlDBStructure.h"
#include "core/qnlExtract.h"
#include "core/qnlMsgManager.h"
#include "core/qnlTypes.h"
#include "objects/qnlComp_Tbl.h"
#include "platform/StringList.h"

#include <array>
#include <bitset>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace qnl {

// ---- Token codes 0 to 29: the same for every dialect; 30 and up are a dialect's keywords ----
using TTokenCode = uint8_t;
inline constexpr TTokenCode tkEOF = 0;          // end of the text
inline constexpr TTokenCode tkIdent = 1;        // identifier or a word the dialect does not reserve
inline constexpr TTokenCode tkFloat = 2;        // number with a point or an exponent
inline constexpr TTokenCode tkString = 3;       // quoted text
inline constexpr TTokenCode tkInteger = 4;      // number without a point
inline constexpr TTokenCode tkLParen = 5;
inline constexpr TTokenCode tkRParen = 6;
inline constexpr TTokenCode tkComma = 7;
inline constexpr TTokenCode tkMinus = 8;
inline constexpr TTokenCode tkPlus = 9;
inline constexpr TTokenCode tkStar = 10;
inline constexpr TTokenCode tkSlash = 11;
inline constexpr TTokenCode tkTerminator = 12;  // the statement terminator in force
inline constexpr TTokenCode tkSemicolon = 13;   // ";" when it is not the terminator
inline constexpr TTokenCode tkEqual = 14;
inline constexpr TTokenCode tkPoint = 15;
inline constexpr TTokenCode tkColon = 16;
inline constexpr TTokenCode tkConcat = 17;      // "||", scanned by the SQL parsers only
inline constexpr TTokenCode tkLess = 18;
inline constexpr TTokenCode tkGreater = 19;
inline constexpr TTokenCode tkLessEqual = 20;
inline constexpr TTokenCode tkGreaterEqual = 21;
inline constexpr TTokenCode tkNotEqual = 22;    // "<>" and "!="
inline constexpr TTokenCode tkDoubleEqual = 23;
inline constexpr TTokenCode tkLBracket = 24;
inline constexpr TTokenCode tkRBracket = 25;
inline constexpr TTokenCode tkAt = 26;
inline constexpr TTokenCode tkBackslash = 27;
inline constexpr TTokenCode tkPercent = 28;
inline constexpr TTokenCode tkAmpersand = 29;
inline constexpr int FixedTokenCount = 30;

// A set of token codes.
using TTokenSet = std::bitset<256>;

// The names of codes 0 to 29 as messages show them.
extern const std::array<const char*, FixedTokenCount> FixedTokenNames;

// The reserved words of one parser: a sorted, case-insensitive list of words, each carrying its
// token code. The scanner asks for every identifier, so the list also keeps a hashed index of
// its upper-cased words and a table of the token names; both follow every change.
class TResWordList : private TStringList {
public:
    TResWordList();

    void AddWord(const std::string& Word, TTokenCode Token);
    TTokenCode GetToken(int Index) const;
    // The word of the last entry, in list order, that carries the code; "<???>" when none does.
    const std::string& GetTokenName(TTokenCode Token) const;
    // The code of a word given in upper case; -1 when the word is not listed.
    int Lookup(std::string_view UpperWord) const;
    void Clear();

    using TStringList::Count;
    using TStringList::Find;
    using TStringList::IndexOf;
    using TStringList::Strings;

private:
    void BuildNames() const;

    // Open addressing over upper-cased words; grows to stay at most half full.
    struct TSlot {
        std::string Word;
        int Code = -1;
    };
    static size_t Hash(std::string_view S);
    void InsertIndex(const std::string& UpperWord, TTokenCode Token);
    std::vector<TSlot> FSlots = std::vector<TSlot>(512);
    size_t FUsed = 0;
    mutable std::array<std::string, 256> FNames;
    mutable bool FNamesValid = false;
};

class TCustomParser;

// A saved scanner state, with the relations of one SELECT's FROM list: Tables holds the relation
// names in FROM order and Aliases, at the same index, each one's alias (empty when it has none).
// The number and integer value of the current token are not part of the state.
class TParseContext {
public:
    explicit TParseContext(TCustomParser* AParser);
    TParseContext(const TParseContext&) = delete;
    TParseContext& operator=(const TParseContext&) = delete;

    void Save();
    void Restore();

    TCustomParser* Parser;
    int Line = 0;
    int Column = 0;
    size_t Position = 0;
    char CurChar = 0;
    TTokenCode Token = tkEOF;
    size_t TokenStart = 0;
    std::string TokenText;
    TStringList Tables;
    TStringList Aliases;
    // Set by the body parser once Tables may be used to resolve column names.
    bool Resolvable = false;

    // A column reference met while this context's FROM list was still being read (in its select
    // list, its join conditions, or an inner query that found the name in none of its own
    // relations): resolved once the list is known, so that each query is read only once.
    // Outward: the search goes on from this context outward (an inner query's reference).
    struct TPendingRef {
        TDbObj* Obj;
        std::string Alias;
        std::string Column;
        bool Outward;
        int RefLine;
        int RefColumn;
    };
    std::vector<TPendingRef> Pending;
};

using TParserTextEvent = std::function<void(TObject* Sender, const std::string& Text)>;
using TParserStatementEvent = std::function<void(TObject* Sender, const std::string& Text, TStatementKind StatementKind,
                                                 const std::string& ObjName, TDbObject ObjKind, uint8_t Action,
                                                 const std::string& FieldName, TObject*& Statement)>;

// The scanner and recursive-descent skeleton. Positions a user sees are 1-based: Line counts from
// 1, Position is the index of the character after CurChar (so CurChar is at Position - 1),
// TokenStart and StatementStart index Source from 1, and Column runs one ahead of the current
// character's column (GetColumn gives the column itself).
//
// The scanner's own character loops step with Advance (NextChar's work without the virtual call),
// so a dialect changes scanning through ScanToken, SkipBlanks and the readers, not NextChar.
//
// Constructors do not dispatch virtually in C++: this constructor enters the fixed token names,
// and a dialect's constructor calls its own InitKeywords (which calls this class's first; words
// already listed are ignored).
class TCustomParser : public TObject {
public:
    explicit TCustomParser(TCustomExtract* AOwner = nullptr);
    ~TCustomParser() override;
    TCustomParser(const TCustomParser&) = delete;
    TCustomParser& operator=(const TCustomParser&) = delete;
    std::string ClassName() const override { return "TCustomParser"; }

    TCustomExtract* Owner = nullptr;
    std::string Terminator = ";";
    TServerType ServerType = stNone;
    std::vector<std::unique_ptr<TParseContext>> Contexts;  // the innermost is the last
    bool ShowProgress = true;
    std::string Source;
    char CurChar = 0;
    int LineCount = 0;
    int Line = 1;
    int Column = 1;
    size_t Position = 1;
    TTokenCode Token = tkEOF;
    size_t TokenStart = 0;
    size_t StatementStart = 0;
    std::string ScriptName;
    std::string TokenText;
    int64_t IntValue = 0;
    // False when the integer token is beyond what IntValue holds (IntValue then is the nearest
    // value it holds): a number that must not be used as it stands.
    bool IntExact = true;
    std::string ValueText;
    char QuoteChar = 0;
    std::unique_ptr<TMsgManager> MsgManager;
    std::unique_ptr<TResWordList> ResWords;
    std::bitset<256> IdentChars;
    TParserTextEvent OnError;
    TParserTextEvent OnLogLine;
    TParserTextEvent OnDebugMessage;
    TProgressUpdateEvent OnProgress;
    TParserStatementEvent OnStatement;
    TObjs* Objs = nullptr;

    // ---- the virtual operations ----
    virtual void SetServerType(TServerType Value);
    virtual bool CheckTerminator();
    virtual void DoProgress();
    virtual void DoLogLine(const std::string& Text);
    virtual void DoError(const std::string& Text);
    virtual void DoDebugMessage(const std::string& Text);
    virtual void DoStatement(const std::string& Text, TStatementKind StatementKind, const std::string& ObjName,
                             TDbObject ObjKind, uint8_t Action, const std::string& FieldName, TObject*& Statement);
    // Hands on the text of the statement from StatementStart up to the current token.
    virtual void StatementParsed(TStatementKind StatementKind, const std::string& ObjName, TDbObject ObjKind,
                                 uint8_t Action, const std::string& FieldName, TObject*& Statement);
    virtual std::string TokenName(TTokenCode Code);
    // Takes Obj over: to the owner's filters and container, else to Objs; freed when rejected
    // (and FreeIfRejected is set) or when there is neither.
    virtual void AddDbObject(TDbObj* Obj, bool FreeIfRejected = true);
    virtual void Expect(TTokenCode Code);
    virtual void ExpectAndNext(TTokenCode Code);
    virtual void NextAndExpect(TTokenCode Code);
    // "(" precision ["," scale] ")" into a typed name's precision and scale; 9 and 0 without "(".
    virtual void ParsePrecisionScale(int32_t& Precision, int32_t& Scale);
    // The integer token negated (its minus sign read before it).
    void NegateInt();
    // The integer token fits between Low and High; reported ("Number out of range") when not:
    // cut to fit it would be another, valid number, which the server never meant.
    bool IntInRange(int64_t Low, int64_t High);
    // The integer token as a 32-bit value (0 when it is none: reported).
    bool Int32InRange(int32_t& Value);
    virtual char NextChar();
    virtual char PeekChar();
    virtual char PeekNextChar();
    virtual int64_t ReadNumber();
    virtual void ReadString(std::string& Text);
    virtual void NextToken();
    virtual void ReadIdent();
    virtual void ReadParenExpression(std::string& Text);
    virtual void SkipLine();
    virtual void ScanToken();
    virtual void ResetToken();
    virtual void AfterScan() {}
    virtual bool SkipBlanks();
    virtual void InitKeywords();
    virtual bool IsIdent(const std::string& Word);
    virtual void ExpectIdent(const std::string& Word);
    // Both answer False when the text could not be read (a file that cannot be opened).
    virtual bool ParseScript(const TStringList& Lines, TObjs* Container);
    virtual bool ParseFile(const std::string& FileName, TObjs* Container);
    virtual void ParseStatements();
    virtual void ReportError(const std::string& Text);
    virtual std::string ErrorPosText();
    virtual TTokenCode FilterKeyword();
    virtual std::string GetTerminatorText() { return ";"; }
    virtual std::string MakeComment(const std::string& Text) { return "/* " + Text + " */"; }
    virtual void AfterParse() {}

    // ---- the other operations ----
    void SetTerm(const std::string& Value) { Terminator = Value; }
    void SetSource(const std::string& Value);
    std::string GetText(size_t Start, size_t Length) const;
    size_t SourceLength() const { return Source.size(); }
    int GetLine() const { return Line; }
    int GetColumn() const { return Column - 1; }
    void AddWarning(const std::string& Text);
    // Reports an error at an earlier place of the text (ALine, AColumn as GetLine and GetColumn
    // give them), such as where an unclosed string or comment opened.
    void ReportErrorAt(const std::string& Text, int ALine, int AColumn);
    void SaveState(TParseContext& Context) const;
    void RestoreState(const TParseContext& Context);
    // The name of the current token (looked up when asked, not stored after every token).
    std::string CurTokenName() { return TokenName(Token); }
    // True once every character has been read.
    bool AtEnd() const { return CurChar == 0 && Position > Source.size(); }

    // The context stack: a new context holds the current scanner state.
    TParseContext* PushContext();
    void PopContext();
    TParseContext* CurrentContext() const { return Contexts.empty() ? nullptr : Contexts.back().get(); }

protected:
    // NextChar's work without the virtual call, for the scanner's own character loops.
    char Advance() {
        if (Position > Source.size()) {
            CurChar = 0;
            return 0;
        }
        char c = Source[Position - 1];
        if (c == '\n' || c == '\r' || c == 26) c = SpecialChar(c);
        ++Position;
        ++Column;
        CurChar = c;
        return c;
    }
    // Index (from 1) of the current character; one past the end once the text is exhausted.
    size_t CurIndex() const { return AtEnd() ? Position : Position - 1; }
    static bool IsBlank(char C) { return C == ' ' || C == '\t' || C == '\n' || C == '\r'; }
    void ReportInvalidChar(char C);

private:
    // The integer token is 2^63: a value only after a minus sign.
    bool FIntIsLimit = false;
    // Line breaks count lines; character 26 reads as a blank.
    char SpecialChar(char C);
    TCustomExtract* CurrentExtractor() const;
    // MSSQL and ASE allow blanks inside two-character operators.
    void SkipOperatorBlanks();
};

// A set of object kinds (TDbObject values) to look a name up among.
class TDbObjectSet {
public:
    TDbObjectSet() = default;
    TDbObjectSet(std::initializer_list<TDbObject> Kinds) {
        for (TDbObject k : Kinds) Include(k);
    }
    bool Contains(TDbObject Kind) const { return FBits.test(Kind); }
    void Include(TDbObject Kind) { FBits.set(Kind); }
    void Exclude(TDbObject Kind) { FBits.reset(Kind); }

private:
    std::bitset<128> FBits;
};

class TCustomSQLParser : public TCustomParser {
public:
    explicit TCustomSQLParser(TCustomExtract* AOwner = nullptr);
    ~TCustomSQLParser() override;
    std::string ClassName() const override { return "TCustomSQLParser"; }

    // Filled by the dialect from CONNECT and CREATE DATABASE; copied to the container after a script.
    std::unique_ptr<TConnectionOptions> ConnOptions;
    // A typed name to parse data types into where no real column exists (local variables, casts):
    // a column on the owner's container (none without an owner) that belongs to no object.
    std::unique_ptr<TFldData> ScratchField;
    // Names local to the body being parsed (declared variables and cursors): never schema objects.
    TStringList LocalNames;

    // ---- overrides ----
    void ScanToken() override;
    bool SkipBlanks() override;
    bool ParseScript(const TStringList& Lines, TObjs* Container) override;
    void AfterParse() override;

    // ---- new virtual operations ----
    virtual bool ReadComment();
    virtual void SkipUntil(const TTokenSet& Tokens);
    virtual std::string GetTextFrom(size_t Start);
    // Records that Obj depends on the relation that owns Column (resolved through Contexts; a
    // context whose FROM list is still being read keeps the reference until MakeResolvable).
    virtual void ResolveColumnRef(TDbObj* Obj, const std::string& Alias, const std::string& Column);
    // The context's relations are known: it resolves what it kept and what waits on it.
    void MakeResolvable(TParseContext& Context);
    virtual std::string QuoteIdent(const std::string& Name) { return Name; }
    virtual void ParseObjectSource(TDbObj* /*Obj*/) {}
    virtual void ParseObjectBody(TDbObj* /*Obj*/) {}

    // ---- dependency recording (the container is Objs) ----
    void AddDependency(TDbObj* Obj, TDbObj* Target, const std::string& FieldName = {});
    void LinkDepend(TDbObj* Obj, const std::string& Name, TDbObjectSet Kinds);

    // Helpers of ResolveColumnRef.
    TDbObj* FindRelation(const std::string& Name) const;
    void AddRelationDepend(TDbObj* Obj, const std::string& Name);
    TDbObj* FindColumnOwner(const TParseContext& Context, const std::string& Column) const;
    void LinkUnlessLocalName(TDbObj* Obj, const std::string& Name);

protected:
    // The after-parse links: indices, constraints, foreign keys on keys, grants, users on logins.
    void LinkIndexDepends();
    void LinkConstraintDepends();
    void LinkForeignKeyDepends();
    void LinkGrantDepends();
    void LinkUserDepends();

private:
    // A table name qualified the way the container files tables of this server type.
    std::string QualifiedTableName(const std::string& Table, const std::string& Schema,
                                   const std::string& OwnerName) const;
    void LinkKeyColumns(TDbObj* Obj, TDbObj* Table, const TStringList* Fields);
    // ResolveColumnRef from the context at Index outward.
    void ResolveFrom(size_t Index, TDbObj* Obj, const std::string& Alias, const std::string& Column, bool Outward);
    // Keeps the reference on the context at Index until its relations are known.
    void Defer(size_t Index, TDbObj* Obj, const std::string& Alias, const std::string& Column, bool Outward);
    std::string QuotedFieldsText(const TDbObj* Constraint, const TStringList* Fields) const;
};

} // namespace qnl
