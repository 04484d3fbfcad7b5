// Implements the InterBase/Firebird DDL reader's scanner, statement loop and the statements
// that are no table DDL (SET, CONNECT, CREATE DATABASE, INPUT, DML, DROP); see qnlIBParser.h.
#include "interbase/qnlIBParser.h"

#include "core/qnlQuote.h"
#include "core/qnlSQL_Exec.h"
#include "objects/qnlComp_Ctr.h"
#include "objects/qnlComp_Idx.h"
#include "objects/qnlComp_Pkg.h"
#include "objects/qnlComp_Prc.h"
#include "objects/qnlComp_Tbl.h"
#include "platform/Files.h"

#include <limits>
#include <unordered_map>
#include <utility>

namespace qnl {

namespace {

bool IsHexDigit(char C) { return (C >= '0' && C <= '9') || (C >= 'A' && C <= 'F') || (C >= 'a' && C <= 'f'); }

int HexValue(char C) {
    if (C >= '0' && C <= '9') return C - '0';
    if (C >= 'a' && C <= 'f') return C - 'a' + 10;
    return C - 'A' + 10;
}

// The option class's start values, for a parser that has no container.
const TIBServerOptions& DefaultIBOptions() {
    static const TIBServerOptions defaults;
    return defaults;
}

// Hexadecimal literals are Firebird's from 2.5 on.
bool HasHexLiterals(TIBSQLServerVersionType V) {
    return V == st_Firebird_25 || V == st_Firebird_30 || V == st_Firebird_40;
}

} // namespace

TIbParser::TIbParser(TCustomExtract* AOwner) : TCustomSQLParser(AOwner) {
    SetServerType(stInterBase);
    TIbParser::InitKeywords();
}

TIbParser::~TIbParser() = default;

void TIbParser::InitKeywords() {
    TCustomParser::InitKeywords();
    for (const TIBKeyword& k : IBKeywords()) ResWords->AddWord(std::string(k.Word), k.Token);
}

TIBServerOptions* TIbParser::GetIBOptions() const { return Objs ? &Objs->IBServerOptions : nullptr; }

TIBSQLServerVersionType TIbParser::ServerVersion() const {
    return Objs ? Objs->IBServerOptions.SQLServerVersion : DefaultIBOptions().SQLServerVersion;
}

int TIbParser::SQLDialect() const {
    return Objs ? Objs->IBServerOptions.SQLDialect : DefaultIBOptions().SQLDialect;
}

std::unique_ptr<TIbParser> TIbParser::CreateNestedParser() { return std::make_unique<TIbParser>(Owner); }

void TIbParser::NextToken() {
    FPreviousTokenEnd = TokenEnd();
    TCustomSQLParser::NextToken();
}

// ---- scanning ----

TTokenCode TIbParser::FilterKeyword() {
    const TTokenCode code = TCustomSQLParser::FilterKeyword();
    if (code >= FixedTokenCount && !IBIsReserved(code, ServerVersion())) return tkIdent;
    return code;
}

void TIbParser::ScanToken() {
    TokenStart = Position - 1;
    QuoteChar = 0;
    const char c = CurChar;
    if (c == '_') {
        // A character-set introducer such as _UTF8 before a string.
        ReadIdent();
        Token = FPreviousToken = kwCharsetIntroducer;
        return;
    }
    if ((c == 'q' || c == 'Q') && PeekChar() == '\'') {
        // Firebird 3's Q'<open>...<close>' string, whose text may hold quotes; older servers
        // have no name that a string follows at once, so it is read in every version.
        ScanQString();
    } else if (HasHexLiterals(ServerVersion())) {
        const bool hexNumber = c == '0' && (PeekChar() == 'x' || PeekChar() == 'X');
        const bool hexString = (c == 'x' || c == 'X') && PeekChar() == '\'';
        if (hexNumber || hexString || (c == ':' && PeekChar() == '=')) {
            if (hexNumber)
                ScanHexNumber();
            else if (hexString)
                ScanHexString();
            else {
                Advance();
                Advance();
                Token = kwAssign;
            }
            FPreviousToken = Token;
            return;
        }
        TCustomSQLParser::ScanToken();
    } else {
        TCustomSQLParser::ScanToken();
    }
    if (Token == tkTerminator) FLastTerminatorStart = TokenStart;
    // Dialect 3 reads double quotes as a name kept as written; QuoteChar still tells it apart.
    if (Token == tkString && QuoteChar == '"' && !ValueText.empty() && SQLDialect() == 3) {
        Token = tkIdent;
        TokenText = ValueText;
    }
    if (Token == tkString && QuoteChar == '\'' && FPreviousToken == kwCharsetIntroducer &&
        (FIntroducedStrings.empty() || FIntroducedStrings.back().Start < TokenStart))
        FIntroducedStrings.push_back({TokenStart, TokenEnd(), ValueText});
    FPreviousToken = Token;
}

std::string TIbParser::StoredText(size_t Start, size_t End) const {
    if (End <= Start) return {};
    if (!HasHexLiterals(ServerVersion())) return GetText(Start, End - Start);
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    size_t at = Start;
    for (const TIntroducedString& s : FIntroducedStrings) {
        if (s.Start < at || s.End > End) continue;
        text += GetText(at, s.Start - at) + "X'";
        for (unsigned char c : s.Bytes) {
            text += digits[c >> 4];
            text += digits[c & 15];
        }
        text += "'";
        at = s.End;
    }
    return text + GetText(at, End - at);
}

void TIbParser::ScanHexNumber() {
    // As Firebird reads them: up to 8 digits are a 32-bit two's complement value (0xFFFFFFFF
    // is -1), 9 to 16 digits a 64-bit one.
    Advance();
    Advance();
    ValueText.clear();
    while (!AtEnd() && IsHexDigit(CurChar)) {
        ValueText += CurChar;
        Advance();
    }
    bool bad = ValueText.empty() || ValueText.size() > 16;
    while (!AtEnd() && IdentChars[static_cast<unsigned char>(CurChar)]) {
        bad = true;
        Advance();
    }
    Token = tkInteger;
    IntValue = 0;
    IntExact = true;
    if (bad) {
        ReportError("Invalid hexadecimal number: " + TokenSourceText());
        return;
    }
    uint64_t value = 0;
    for (char d : ValueText) value = value * 16 + static_cast<uint64_t>(HexValue(d));
    IntValue = ValueText.size() <= 8 ? static_cast<int64_t>(static_cast<int32_t>(static_cast<uint32_t>(value)))
                                     : static_cast<int64_t>(value);
}

void TIbParser::ScanQString() {
    Advance();
    Advance();
    const char open = CurChar;
    const char close = open == '(' ? ')' : open == '[' ? ']' : open == '{' ? '}' : open == '<' ? '>' : open;
    Token = tkString;
    QuoteChar = '\'';
    ValueText.clear();
    if (!AtEnd()) Advance();
    while (!AtEnd() && !(CurChar == close && PeekChar() == '\'')) {
        ValueText += CurChar;
        Advance();
    }
    TokenText = ValueText;
    if (AtEnd() || IsBlank(open))
        return ReportError("Unclosed string: no closing " + std::string(1, close) + "' to the end of the script.");
    Advance();
    Advance();
}

void TIbParser::ScanHexString() {
    Advance();
    std::string digits;
    ReadString(digits);
    Token = tkString;
    QuoteChar = '\'';
    ValueText.clear();
    bool bad = digits.size() % 2 != 0;
    for (char d : digits) bad = bad || !IsHexDigit(d);
    if (bad) {
        ReportError("Invalid hexadecimal string: " + TokenSourceText());
        return;
    }
    for (size_t i = 0; i < digits.size(); i += 2)
        ValueText += static_cast<char>(HexValue(digits[i]) * 16 + HexValue(digits[i + 1]));
}

TTokenCode TIbParser::WordCode() const {
    if (Token != tkIdent) return Token;
    if (QuoteChar != 0) return tkIdent;
    const int code = ResWords->Lookup(TokenText);  // unquoted names are upper-cased already
    return code >= FixedTokenCount ? static_cast<TTokenCode>(code) : tkIdent;
}

// The whole scanner state: TParseContext leaves out the current token's value and quote.
TIbParser::TScannerState::TScannerState(TIbParser& AParser)
    : Parser(AParser), Context(&AParser), QuoteChar(AParser.QuoteChar), ValueText(AParser.ValueText),
      IntValue(AParser.IntValue), IntExact(AParser.IntExact), LastTerminatorStart(AParser.FLastTerminatorStart),
      PreviousToken(AParser.FPreviousToken), PreviousTokenEnd(AParser.FPreviousTokenEnd) {}

void TIbParser::TScannerState::Restore() {
    Context.Restore();
    Parser.QuoteChar = QuoteChar;
    Parser.ValueText = ValueText;
    Parser.IntValue = IntValue;
    Parser.IntExact = IntExact;
    Parser.FLastTerminatorStart = LastTerminatorStart;
    Parser.FPreviousToken = PreviousToken;
    Parser.FPreviousTokenEnd = PreviousTokenEnd;
}

TTokenCode TIbParser::PeekWordCode() {
    TScannerState saved(*this);
    NextToken();
    const TTokenCode code = WordCode();
    saved.Restore();
    return code;
}

bool TIbParser::IsWord(const char* Word) const { return Token == tkIdent && QuoteChar == 0 && TokenText == Word; }

std::string TIbParser::TokenSourceText() const {
    return TokenEnd() > TokenStart ? GetText(TokenStart, TokenEnd() - TokenStart) : std::string();
}

std::string TIbParser::QuoteIdent(const std::string& Name) {
    return QuoteNameForServer(Name, stInterBase, ServerVersion(), static_cast<uint8_t>(SQLDialect()));
}

// ---- errors ----

int TIbParser::ErrorCount() {
    const int n = MsgManager->Count();
    if (n < FCountedMessages) FCountedMessages = FCountedErrors = 0;  // the creator cleared it
    for (; FCountedMessages < n; ++FCountedMessages)
        if (MsgManager->Items(FCountedMessages).Kind == mkError) ++FCountedErrors;
    return FCountedErrors;
}

bool TIbParser::Failed() { return ErrorCount() > FStatementErrors; }

void TIbParser::Locate(size_t Index, int& ALine, int& AColumn) {
    // The scanner's Line counts the line breaks up to the character before Position; count
    // back from there, then find the break the line of Index starts after.
    auto isBreak = [this](size_t i) {  // i from 1
        const char c = Source[i - 1];
        return c == '\n' || (c == '\r' && (i >= Source.size() || Source[i] != '\n'));
    };
    int line = Line;
    for (size_t i = Index; i < Position; ++i)
        if (isBreak(i)) --line;
    size_t lineBreak = Index - 1;
    while (lineBreak > 0 && !isBreak(lineBreak)) --lineBreak;
    ALine = line;
    AColumn = static_cast<int>(Index - lineBreak) + 1;
}

void TIbParser::ReportErrorAt(const std::string& Text, size_t Index) {
    if (Index < 1 || Index > Position || Index > Source.size() + 1) {
        TCustomSQLParser::ReportError(Text);
        return;
    }
    const int line = Line, column = Column;
    Locate(Index, Line, Column);
    TCustomSQLParser::ReportError(Text);
    Line = line;
    Column = column;
}

void TIbParser::ReportError(const std::string& Text) { ReportErrorAt(Text, TokenStart); }

void TIbParser::AddWarningAt(const std::string& Text, size_t Index) {
    const int line = Line, column = Column;
    if (Index >= 1 && Index <= Position && Index <= Source.size() + 1) Locate(Index, Line, Column);
    AddWarning(Text);
    Line = line;
    Column = column;
}

std::string TIbParser::ErrorPosText() {
    std::string text = TCustomSQLParser::ErrorPosText();
    if (!ErrTable.empty() && !ErrField.empty()) text += " Table:" + ErrTable + " Field:" + ErrField + " ";
    return text;
}

bool TIbParser::ExpectTerminator() {
    if (Token == tkTerminator) return true;
    Expect(tkTerminator);
    return false;
}

bool TIbParser::LogWanted() const {
    if (OnLogLine) return true;
    const TCustomExtract* e = (Objs && Objs->Structure) ? Objs->Structure->Extractor : nullptr;
    return e && e->OnLogNextLine;
}

// ---- the statement loop ----

bool TIbParser::ParseScript(const TStringList& Lines, TObjs* Container) {
    // isql reads a script without SET SQL DIALECT in dialect 3, so "Name" is a name there.
    if (Container) Container->IBServerOptions.SQLDialect = 3;
    return TCustomSQLParser::ParseScript(Lines, Container);
}

void TIbParser::ParseStatements() {
    SetServerType(stInterBase);
    FCountedMessages = FCountedErrors = 0;
    FIntroducedStrings.clear();
    FPreviousToken = tkEOF;
    NextToken();
    StatementStart = TokenStart;
    while (!(Token == tkEOF && AtEnd()) && !AbortRequested) {
        StatementStart = TokenStart;
        FStatementErrors = ErrorCount();
        FIntroducedStrings.clear();
        FStatementEnded = false;
        ErrTable.clear();
        ErrField.clear();
        FRecreate = false;
        FCreateOrAlter = false;
        ParseStatement();
        // A broken statement is skipped whole, unless its reader already passed its terminator.
        const bool passedTerminator = FLastTerminatorStart >= StatementStart && TokenStart > FLastTerminatorStart;
        if (Failed() && !passedTerminator && !FStatementEnded) SkipStatement();
    }
}

void TIbParser::SkipStatement() {
    while (Token != tkTerminator && !(Token == tkEOF && AtEnd())) NextToken();
    if (Token == tkTerminator) NextToken();
}

void TIbParser::HandOn(TStatementKind Kind, const std::string& ObjName, TDbObject ObjKind, uint8_t Action,
                       const std::string& FieldName) {
    TObject* statement = nullptr;
    StatementParsed(Kind, ObjName, ObjKind, Action, FieldName, statement);
    LastStatement = statement;
}

std::string TIbParser::NameHere() const { return Token == tkIdent ? TokenText : std::string(); }

void TIbParser::ParseRawStatement(TStatementKind Kind, const std::string& Name, TDbObject ObjKind, uint8_t Action,
                                  bool HandOnIt) {
    while (Token != tkTerminator && !(Token == tkEOF && AtEnd())) NextToken();
    if (Failed() || Token != tkTerminator) return;
    if (HandOnIt) HandOn(Kind, Name, ObjKind, Action);
    NextToken();
}

void TIbParser::ParseStatement() {
    switch (WordCode()) {
    case tkTerminator: NextToken(); return;  // an empty statement
    case kwCREATE:
    case kwRECREATE: ParseCreate(); return;
    case kwALTER: ParseAlter(); return;
    case kwDECLARE: ParseDeclare(); return;
    case kwDROP: ParseDrop(); return;
    case kwEXECUTE: ParseExecute(); return;
    case kwCOMMIT: ParseCommit(); return;
    case kwSET: ParseSet(); return;
    case kwGRANT: ParseGrant(); return;
    case kwREVOKE: NextToken(); ParseRawStatement(skStatement, {}, dboGrant, saDrop); return;
    case kwINSERT: ParseDataManipulation(skInsert, kwINTO, saInsert); return;
    case kwUPDATE:
        if (PeekWordCode() == kwOR) {  // UPDATE OR INSERT INTO t
            NextToken();
            NextToken();
            if (!IsKeyword(kwINSERT)) return Expect(kwINSERT);
            return ParseDataManipulation(skUpdate, kwINTO, saUpdate);
        }
        ParseDataManipulation(skUpdate, tkEOF, saUpdate);
        return;
    case kwMERGE: ParseDataManipulation(skUpdate, kwINTO, saUpdate); return;
    // Transaction control inside a script: the executor ends each statement's transaction itself.
    case kwSAVEPOINT:
    case kwRELEASE: ParseRawStatement(skStatement, {}, dboUnknown, saNone, false); return;
    case kwDELETE: ParseDataManipulation(skDelete, kwFROM, saDelete); return;
    case kwSELECT:
    case kwWITH: NextToken(); ParseRawStatement(skSelect, {}, dboUnknown, saNone); return;
    case kwDESCRIBE: ParseDescribe(); return;
    default: break;
    }
    if (IsWord("CONNECT")) return ParseDatabaseConnect(false);
    if (IsWord("INPUT")) return ParseInput();
    if (IsWord("RECONNECT")) {
        NextToken();
        if (!ExpectTerminator()) return;
        HandOn(skReConnect, "", dboUnknown, saNone);
        NextToken();
        return;
    }
    if (IsWord("COMMENT")) return ParseComment();
    if (IsWord("ROLLBACK")) return ParseRawStatement(skStatement, {}, dboUnknown, saNone, false);
    if (IsWord("REINSERT")) {
        NextToken();
        return ParseRawStatement(skStatement, {}, dboUnknown, saNone, false);
    }
    if (Token == tkIdent)
        ReportError("Unknown statement: " + TokenName(tkIdent));
    else
        ReportError("Missing/unknown: DDL-statement: " + CurTokenName());
}

TDbObject TIbParser::ObjectKindWord() const {
    switch (WordCode()) {
    case kwTABLE: return dboTable;
    case kwINDEX: return dboIndex;
    case kwVIEW: return dboView;
    case kwPROCEDURE:
    case kwFUNCTION: return dboProcedure;  // PSQL functions are kept with the procedures
    case kwTRIGGER: return dboTrigger;
    case kwDOMAIN: return dboDomain;
    case kwEXCEPTION: return dboException;
    case kwGENERATOR: return dboGenerator;
    case kwROLE: return dboRole;
    default: break;
    }
    if (IsWord("SEQUENCE")) return dboGenerator;
    if (IsWord("PACKAGE")) return dboPackage;
    if (IsWord("COLLATION")) return dboCollation;
    return dboUnknown;
}

bool TIbParser::ParseObjectStatement(uint8_t Action) {
    const bool alter = Action == saAlter;
    switch (WordCode()) {
    case kwPROCEDURE: ParseProcedure(Action, false); return true;
    case kwFUNCTION:
        // PSQL functions are Firebird 3's.
        if (ServerVersion() != st_Firebird_30 && ServerVersion() != st_Firebird_40) return false;
        ParseProcedure(Action, true);
        return true;
    case kwTRIGGER: ParseTrigger(Action); return true;
    case kwVIEW: ParseCreateView(Action); return true;
    case kwGENERATOR: ParseCreateGenerator(alter); return true;
    case kwEXCEPTION:
        if (alter) {
            ParseAlterException();
        } else {
            NextToken();
            ParseCreateException(nullptr);
        }
        return true;
    default: break;
    }
    if (IsWord("SEQUENCE")) {
        ParseCreateGenerator(alter);
        return true;
    }
    if (IsWord("PACKAGE")) {
        ParsePackage(Action);
        return true;
    }
    return false;
}

void TIbParser::ParseCreate() {
    FRecreate = Token == kwRECREATE;
    NextToken();
    switch (WordCode()) {
    case kwTABLE: return ParseCreateTable(false, FRecreate);
    case kwGLOBAL:
        NextToken();
        if (ParseServerStatement(saCreate)) return;  // CREATE GLOBAL MAPPING
        if (!IsKeyword(kwTEMPORARY)) {
            ReportError("TEMPORARY expected, but " + UpperCase(TokenSourceText()) + " found.");
            return;
        }
        NextToken();
        return ParseCreateTable(true, FRecreate);
    case kwINDEX:
    case kwUNIQUE:
    case kwASC:
    case kwDESC: return ParseCreateIndex();
    case kwOR: return ParseCreateOrAlter();
    case kwDATABASE: return ParseDatabaseConnect(true);
    default: break;
    }
    if (ParseObjectStatement(saCreate)) return;
    if (ParseServerStatement(saCreate)) return;
    switch (ObjectKindWord()) {
    case dboRole: return ParseCreateRole();
    case dboDomain: return ParseCreateDomain();
    case dboCollation:
        if (AtLeast(ServerVersion(), st_Firebird_21)) return ParseCreateCollation();
        break;
    default: break;
    }
    ReportError("Unknown CREATE-statement");
}

void TIbParser::ParseCreateOrAlter() {
    FCreateOrAlter = true;
    NextToken();
    if (!IsKeyword(kwALTER)) {
        ReportError("Unknown ALTER-statement");
        return;
    }
    NextToken();
    const bool fb3 = ServerVersion() == st_Firebird_30 || ServerVersion() == st_Firebird_40;
    if (IsWord("PACKAGE") && !fb3) {
        ReportError("Unknown ALTER-statement");
        return;
    }
    if (ParseObjectStatement(saAlter) || ParseServerStatement(saAlter)) return;
    ReportError("Unknown ALTER-statement");
}

void TIbParser::ParseAlter() {
    NextToken();
    switch (WordCode()) {
    case kwTABLE: return ParseAlterTable();
    case kwINDEX: return ParseAlterIndex();
    case kwCHAR:
        // ALTER CHARACTER SET name SET DEFAULT COLLATION collation.
        NextToken();
        if (!IsKeyword(kwSET)) break;
        NextToken();
        return ParseRawStatement(skStatement, NameHere(), dboUnknown, saAlter);
    case kwDATABASE: return ParseAlterDatabase();
    case kwEXTERNAL: return ParseAlterExternalFunction();
    default: break;
    }
    if (ParseObjectStatement(saAlter)) return;
    if (ParseServerStatement(saAlter)) return;
    if (ObjectKindWord() == dboDomain) return ParseAlterDomain();
    if (IsWord("SESSION") && ServerVersion() == st_Firebird_40) return ParseRawStatement(skStatement, {}, dboUnknown, saNone, false);
    ReportError("Unknown ALTER statement.");
}

void TIbParser::ParseAlterDatabase() {
    // ALTER DATABASE SET DEFAULT CHARACTER SET name changes the database's character set; every
    // other form (files, difference files, ...) is handed on as it stands.
    NextToken();
    if (IsKeyword(kwSET) && PeekWordCode() == kwDEFAULT) {
        NextToken();
        NextToken();
        if (!IsKeyword(kwCHAR)) return Expect(kwCHAR);
        NextToken();
        if (!IsKeyword(kwSET)) return Expect(kwSET);
        NextAndExpect(tkIdent);
        if (Failed()) return;
        const std::string charSet = TokenText;
        NextToken();
        if (!ExpectTerminator()) return;
        if (TIBServerOptions* o = GetIBOptions()) o->SetDBCharSet(charSet);
        HandOn(skStatement, charSet, dboDatabase, saAlter);
        NextToken();
        return;
    }
    ParseRawStatement(skStatement, {}, dboDatabase, saAlter);
}

bool TIbParser::ParseServerStatement(uint8_t Action) {
    // Users, mappings, shadows, blob filters and the administrators' role belong to the server
    // or the database file, not to the schema compared: only a script that is run needs them.
    const bool word = IsKeyword(kwUSER) || IsWord("MAPPING") || IsWord("SHADOW") || IsKeyword(kwFILTER) ||
                      (Action == saAlter && IsKeyword(kwROLE) && PeekWordCode() == tkIdent);
    if (!word) return false;
    if (IsKeyword(kwROLE)) {
        // ALTER ROLE RDB$ADMIN SET|DROP AUTO ADMIN MAPPING; any other ALTER ROLE is refused below.
        TScannerState atRole(*this);
        NextToken();
        const bool admin = TokenText == "RDB$ADMIN";
        atRole.Restore();
        if (!admin) return false;
    }
    ParseRawStatement(skStatement, {}, dboUnknown, Action, HandOnEveryStatement);
    return true;
}

void TIbParser::ParseDeclare() {
    NextToken();
    if (IsKeyword(kwFILTER)) return ParseRawStatement(skStatement, {}, dboUnknown, saCreate, HandOnEveryStatement);
    if (!IsKeyword(kwEXTERNAL)) {
        ReportError("Missing/unknown: DDL-statement: " + CurTokenName());
        return;
    }
    NextAndExpect(kwFUNCTION);
    if (Failed()) return;
    ParseDeclareExternalFunction();
}

void TIbParser::ParseDrop() {
    NextToken();
    if (ParseServerStatement(saDrop)) return;
    TDbObject kind = ObjectKindWord();
    // FUNCTION and PROCEDURE name routines of one list: a DROP takes only its own kind.
    const bool function = IsKeyword(kwFUNCTION), procedure = IsKeyword(kwPROCEDURE);
    if (IsKeyword(kwEXTERNAL)) {
        NextAndExpect(kwFUNCTION);
        kind = dboFunction;
    } else if (kind == dboPackage) {
        TScannerState atWord(*this);
        NextToken();
        if (IsWord("BODY"))
            kind = dboPackageBody;
        else
            atWord.Restore();
    }
    if (kind == dboUnknown) {
        ReportError("Unknown DROP statement");
        return;
    }
    NextAndExpect(tkIdent);
    if (Failed()) return;
    const std::string name = TokenText;
    NextToken();
    if (!ExpectTerminator()) return;
    HandOn(skStatement, name, kind, saDrop);
    if (function || procedure) {
        if (FindRoutine(name, function))
            ForgetObject(dboProcedure, name);
        else if (function)
            ForgetObject(dboFunction, name);  // Firebird 3 drops an external function this way too
    } else if (kind == dboPackageBody) {
        if (auto* package = Objs ? dynamic_cast<TPkgData*>(Objs->FindPackage(name)) : nullptr) {
            package->SetSource({});
            package->IsBody = false;
        }
    } else {
        ForgetObject(kind, name);
    }
    NextToken();
}

void TIbParser::ParseExecute() {
    NextToken();
    if (IsWord("BLOCK")) return ParseExecuteBlock();
    // EXECUTE PROCEDURE and EXECUTE STATEMENT change data, not the schema: only a script that
    // is run needs them.
    ParseRawStatement(skStatement, {}, dboUnknown, saNone, HandOnEveryStatement);
}

void TIbParser::ParseCommit() {
    NextToken();
    if (IsKeyword(kwWORK)) NextToken();
    if (!ExpectTerminator()) return;
    NextToken();
}

void TIbParser::ParseDataManipulation(TStatementKind Kind, TTokenCode Preposition, uint8_t Action) {
    NextToken();
    if (Preposition != tkEOF) {
        if (!IsKeyword(Preposition)) {
            Expect(Preposition);
            return;
        }
        NextToken();
    }
    Expect(tkIdent);
    if (Failed()) return;
    const std::string table = TokenText;
    while (Token != tkTerminator && !(Token == tkEOF && AtEnd())) NextToken();
    if (!ExpectTerminator()) return;
    HandOn(Kind, table, dboTable, Action);
    NextToken();
}

// ---- SET ----

void TIbParser::ParseSet() {
    NextToken();
    if (IsWord("TERM")) return ParseSetTerm();
    std::string name;
    TStatementKind kind = skSet;
    TDbObject objKind = dboUnknown;
    uint8_t action = saConnectSet;
    if (IsWord("AUTODDL")) {
        NextToken();
        if (!IsKeyword(kwON) && !IsWord("OFF")) {
            ReportError("Missing: ON/OFF in \"SET AUTODDL...\"");
            return;
        }
        NextToken();
    } else if (IsWord("SQL")) {
        NextToken();
        if (!IsWord("DIALECT")) {
            ExpectIdent("DIALECT");
            return;
        }
        NextToken();
        if (Token == tkEqual) NextToken();
        Expect(tkInteger);
        if (Failed() || !IntInRange(0, 255)) return;
        if (TIBServerOptions* o = GetIBOptions()) o->SQLDialect = static_cast<TIBSQLDialectType>(IntValue);
        kind = skSqlDialect;
        name = std::to_string(IntValue);
        NextToken();
    } else if (IsWord("BLOBFILE")) {
        NextToken();
        name = ExpectStringText();
        if (Failed()) return;
        kind = skBlobFile;
        NextToken();
    } else if (IsKeyword(kwGENERATOR)) {
        NextAndExpect(tkIdent);
        if (Failed()) return;
        name = TokenText;
        DoLogLine("Generator: " + name);
        NextToken();
        if (!IsKeyword(kwTO)) {
            Expect(kwTO);
            return;
        }
        NextAndExpect(tkInteger);
        if (Failed()) return;
        NextToken();
        kind = skStatement;
        objKind = dboGenerator;
        action = saAlter;
    } else if (IsKeyword(kwNAMES)) {
        NextAndExpect(tkIdent);
        if (Failed()) return;
        name = TokenText;
        if (TIBServerOptions* o = GetIBOptions()) o->SetDBCharSet(name);
        kind = skSetNames;
        NextToken();
    } else if (IsKeyword(kwSTATISTICS)) {
        NextToken();
        if (!IsKeyword(kwINDEX)) {
            Expect(kwINDEX);
            return;
        }
        NextAndExpect(tkIdent);
        if (Failed()) return;
        name = TokenText;
        kind = skStatement;
        objKind = dboIndex;
        NextToken();
    } else {
        // Any other SET (ECHO, LIST, TRANSACTION, ...) is handed on whole.
        return ParseRawStatement(skSet, {}, dboUnknown, saConnectSet);
    }
    if (!ExpectTerminator()) return;
    HandOn(kind, name, objKind, action);
    NextToken();
}

void TIbParser::ParseSetTerm() {
    // The new terminator is the run of characters after TERM up to a blank or the old one.
    while (!AtEnd() && IsBlank(CurChar)) Advance();
    std::string term;
    while (!AtEnd() && !IsBlank(CurChar) && CurChar != Terminator[0]) {
        term += CurChar;
        Advance();
    }
    if (term.empty()) {
        ReportError("Missing: <TERM>");
        return;
    }
    NextAndExpect(tkTerminator);
    // The next statement's first token is still read with the old terminator. Without the old
    // terminator the new one still holds, and what follows is the next statement.
    if (Token == tkTerminator) NextToken();
    SetTerm(term);
    FStatementEnded = true;
}

// ---- CONNECT, CREATE DATABASE and INPUT ----

std::string TIbParser::ExpectStringText() {
    if (Token == tkString) return ValueText;
    if (Token == tkIdent && QuoteChar == '"') return TokenText;
    Expect(tkString);
    return {};
}

void TIbParser::ParseDatabaseConnect(bool IsCreate) {
    NextToken();
    if (!IsCreate && IsKeyword(kwDATABASE)) NextToken();
    const std::string database = ExpectStringText();
    if (Failed()) return;
    ConnOptions->DatabaseName = database;
    DoLogLine("Database connect: " + database);
    NextToken();
    while (Token != tkTerminator) {
        if (Token == tkEOF && AtEnd()) return;
        const TTokenCode option = WordCode();
        const bool collation = IsWord("COLLATION");
        const size_t optionStart = TokenStart;
        NextToken();
        switch (option) {
        case kwPAGE_SIZE:
            if (Token == tkEqual) NextToken();
            Expect(tkInteger);
            if (Failed() || !IntInRange(0, std::numeric_limits<int32_t>::max())) return;
            if (TIBServerOptions* o = GetIBOptions()) o->IBDatabaseOptions.PageSize = static_cast<int32_t>(IntValue);
            break;
        case kwDEFAULT:
            if (!IsKeyword(kwCHAR)) return Expect(kwCHAR);
            NextToken();
            if (!IsKeyword(kwSET)) return Expect(kwSET);
            NextAndExpect(tkIdent);
            if (Failed()) return;
            if (TIBServerOptions* o = GetIBOptions()) o->SetDBCharSet(TokenText);
            break;
        case kwUSER: ConnOptions->UserName = ExpectStringText(); break;
        case kwPASSWORD: ConnOptions->Password = ExpectStringText(); break;
        case kwROLE: ConnOptions->RoleName = ExpectStringText(); break;
        default:
            if (collation) break;  // the collation named after it is not kept
            ReportErrorAt("Unknown token in DB-declaration.", optionStart);
            return;
        }
        if (Failed()) return;
        NextToken();
    }
    HandOn(IsCreate ? skCreateDb : skConnect, database, dboUnknown, saConnectSet);
    NextToken();
}

void TIbParser::ParseInput() {
    NextToken();
    const std::string name = ExpectStringText();
    if (Failed()) return;
    NextToken();
    if (Token == tkTerminator) NextToken();
    if (name.empty()) return;
    std::string path = name;
    if (ExtractFilePath(name).empty()) path = ExtractFilePath(ScriptName) + name;
    if (FNested) {
        AddWarningAt("INPUT inside an INPUT file is not read: " + path, StatementStart);
        return;
    }
    if (!ExParser) {
        ExParser = CreateNestedParser();
        ExParser->FNested = true;
    }
    TIbParser& nested = *ExParser;
    nested.OnError = OnError;
    nested.OnLogLine = OnLogLine;
    nested.OnDebugMessage = OnDebugMessage;
    // The statements of an INPUT file belong to the script as much as the script's own.
    nested.OnStatement = OnStatement;
    nested.HandOnEveryStatement = HandOnEveryStatement;
    nested.ShowProgress = false;
    nested.ScriptName = path;
    nested.MsgManager->Clear();
    nested.ParseFile(path, Objs);
    // Its messages are this script's too: an extraction must not pass over a broken INPUT file.
    MsgManager->AddFrom(nested.MsgManager.get());
}

// ---- after a whole structure ----

namespace {

// REFERENCES T without a column list refers to T's primary key; Firebird stores those columns,
// so a database read has them. Filled in once the whole script is read (the key may come later),
// or the foreign key would differ from the database's and be dropped and created again, and
// would not be linked to the key it uses.
void FillReferencedKeyColumns(TObjs& Objs) {
    TDbObjList& constraints = Objs.List(olConstraints);
    // Each table's first primary key in list order, gathered on the first foreign key that needs one.
    std::unordered_map<std::string, const TCtrData*> primaryKeys;
    bool gathered = false, filled = false;
    for (int i = 0; i < constraints.Count(); ++i) {
        auto* fk = dynamic_cast<TCtrData*>(constraints.Obj(i));
        if (!fk || fk->ConstraintType != ctForeignKey || fk->RefFields.Count() > 0) continue;
        if (!std::exchange(gathered, true))
            for (int k = 0; k < constraints.Count(); ++k)
                if (auto* pk = dynamic_cast<const TCtrData*>(constraints.Obj(k)); pk && pk->ConstraintType == ctPrimaryKey)
                    primaryKeys.emplace(pk->TableName, pk);
        const auto pk = primaryKeys.find(fk->RefTableName);
        if (pk == primaryKeys.end()) continue;
        for (int c = 0; c < pk->second->Fields.Count(); ++c) fk->AddRefField(pk->second->Fields[c]);
        filled = true;
    }
    // Unnamed keys are filed under their text.
    if (filled) constraints.Rekey();
}

} // namespace

void TIbParser::AfterParse() {
    if (!Objs) return;
    FillReferencedKeyColumns(*Objs);
    ResolveGrantTargets();
    RemoveConstraintIndices();
    TCustomSQLParser::AfterParse();
    LinkDomainDepends();
}

void TIbParser::RemoveConstraintIndices() {
    // The key constraint an index of the same name, table and columns stands for.
    auto backed = [&](const TDbObj& Index) -> TCtrData* {
        auto* idx = dynamic_cast<const TIdxData*>(&Index);
        auto* ctr = idx ? dynamic_cast<TCtrData*>(Objs->List(olConstraints).FindObj(idx->Name)) : nullptr;
        if (!ctr || ctr->ConstraintType > ctForeignKey || ctr->TableName != idx->TableName ||
            ctr->Fields.Text() != idx->Fields.Text())
            return nullptr;
        return ctr;
    };
    std::vector<TDbObj*> taken = Objs->List(olIndices).TakeIf([&](const TDbObj& Index) { return backed(Index) != nullptr; });
    // Logged from the end of the list, as they have always been.
    for (auto it = taken.rbegin(); it != taken.rend(); ++it) {
        std::unique_ptr<TDbObj> idx(*it);
        DoLogLine("Remove index: " + idx->GetCreateSQL() + "\r\n" + "for constraint: " + backed(*idx)->GetCreateSQL());
    }
}

void TIbParser::LinkDomainDepends() {
    const TDbObjList& tables = Objs->List(olTables);
    for (int t = 0; t < tables.Count(); ++t) {
        auto* table = dynamic_cast<TTblData*>(tables.Obj(t));
        if (!table) continue;
        for (int c = 0; c < table->GetColumnCount(); ++c) {
            TFldData* column = table->Column(c);
            if (column->DataType == dtDomain) AddDependency(column, Objs->FindDomain(column->DomainName));
        }
    }
}

} // namespace qnl
