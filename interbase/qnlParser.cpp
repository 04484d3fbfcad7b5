#include "interbase/qnlParser.h"

#include "platform/AppHooks.h"
#include "platform/Files.h"

#include <algorithm>
#include <limits>
#include <unordered_map>
#include <utility>

namespace qnl {

const std::array<const char*, FixedTokenCount> FixedTokenNames = {
    "<EOF>", "<Ident>", "<Float value>", "<String value>", "<Integer value>", "<(>", "<)>", "<,>",
    "<->",   "<+>",     "<*>",           "</>",            "<Terminator>",    "<;>", "<=>", "<.>",
    "<:>",   "<||>",    "\"<\"",         "\">\"",          "\"<=\"",          "\">=\"", "[<>]", "<==>",
    "<[>",   "<]>",     "<@>",           "\\",             "%",               "<&>"};

namespace {

char AsciiUpper(char C) { return (C >= 'a' && C <= 'z') ? static_cast<char>(C - 'a' + 'A') : C; }

bool IsDigit(char C) { return C >= '0' && C <= '9'; }

bool IsLetter(char C) { return (C >= 'A' && C <= 'Z') || (C >= 'a' && C <= 'z'); }

const std::string UnknownTokenName = "<?" "?" "?>";  // split so no trigraph is read

} // namespace

// ---- TResWordList ----

TResWordList::TResWordList() {
    SetSorted(true);
    SetCaseSensitive(false);
    SetDuplicates(TDuplicates::dupIgnore);
}

void TResWordList::AddWord(const std::string& Word, TTokenCode Token) {
    int index = 0;
    if (Find(Word, index)) return;  // a word listed twice keeps its first entry
    AddObject(Word, reinterpret_cast<void*>(static_cast<uintptr_t>(Token)));
    InsertIndex(UpperCase(Word), Token);
    FNamesValid = false;
}

TTokenCode TResWordList::GetToken(int Index) const {
    return static_cast<TTokenCode>(reinterpret_cast<uintptr_t>(Objects(Index)));
}

void TResWordList::BuildNames() const {
    for (auto& n : FNames) n = UnknownTokenName;
    for (int i = 0; i < Count(); ++i) FNames[GetToken(i)] = Strings(i);
    FNamesValid = true;
}

const std::string& TResWordList::GetTokenName(TTokenCode Token) const {
    if (!FNamesValid) BuildNames();
    return FNames[Token];
}

size_t TResWordList::Hash(std::string_view S) {
    // Length and three characters tell the keywords apart well enough and cost little.
    if (S.empty()) return 0;
    const auto at = [&S](size_t i) { return static_cast<uint64_t>(static_cast<unsigned char>(S[i])); };
    uint64_t h = S.size() * 0x9E3779B97F4A7C15ull;
    h ^= at(0) | (at(S.size() / 2) << 8) | (at(S.size() - 1) << 16);
    h *= 0xBF58476D1CE4E5B9ull;
    return static_cast<size_t>(h ^ (h >> 31));
}

void TResWordList::InsertIndex(const std::string& UpperWord, TTokenCode Token) {
    if ((FUsed + 1) * 2 > FSlots.size()) {
        std::vector<TSlot> old(FSlots.size() * 2);
        old.swap(FSlots);
        FUsed = 0;
        for (TSlot& s : old)
            if (s.Code >= 0) InsertIndex(s.Word, static_cast<TTokenCode>(s.Code));
    }
    const size_t mask = FSlots.size() - 1;
    for (size_t i = Hash(UpperWord) & mask;; i = (i + 1) & mask) {
        if (FSlots[i].Code < 0) {
            FSlots[i] = {UpperWord, Token};
            ++FUsed;
            return;
        }
        if (FSlots[i].Word == UpperWord) return;
    }
}

int TResWordList::Lookup(std::string_view UpperWord) const {
    const size_t mask = FSlots.size() - 1;
    for (size_t i = Hash(UpperWord) & mask;; i = (i + 1) & mask) {
        const TSlot& s = FSlots[i];
        if (s.Code < 0) return -1;
        if (s.Word == UpperWord) return s.Code;
    }
}

void TResWordList::Clear() {
    TStringList::Clear();
    for (TSlot& s : FSlots) s = TSlot{};
    FUsed = 0;
    FNamesValid = false;
}

// ---- TParseContext ----

TParseContext::TParseContext(TCustomParser* AParser) : Parser(AParser) { Save(); }

void TParseContext::Save() {
    if (Parser) Parser->SaveState(*this);
}

void TParseContext::Restore() {
    if (Parser) Parser->RestoreState(*this);
}

// ---- TCustomParser ----

TCustomParser::TCustomParser(TCustomExtract* AOwner)
    : Owner(AOwner), MsgManager(std::make_unique<TMsgManager>()), ResWords(std::make_unique<TResWordList>()) {
    if (Owner && Owner->DBStructure()) Objs = Owner->DBStructure()->Objs();
    IdentChars.set('$');
    for (char c = '0'; c <= '9'; ++c) IdentChars.set(static_cast<unsigned char>(c));
    for (char c = 'A'; c <= 'Z'; ++c) IdentChars.set(static_cast<unsigned char>(c));
    IdentChars.set('_');
    for (char c = 'a'; c <= 'z'; ++c) IdentChars.set(static_cast<unsigned char>(c));
    TCustomParser::InitKeywords();
    SetTerm(";");
    ShowProgress = true;
}

TCustomParser::~TCustomParser() = default;

void TCustomParser::SetServerType(TServerType Value) {
    ServerType = Value;
    if (Objs) Objs->SetServerType(Value);
}

bool TCustomParser::CheckTerminator() {
    // An empty terminator would match everywhere without consuming anything.
    if (Terminator.empty() || AtEnd() || CurChar != Terminator[0]) return false;
    const size_t at = Position - 2;  // 0-based index of CurChar
    if (Terminator.size() > 1 && Source.compare(at, Terminator.size(), Terminator) != 0) return false;
    Token = tkTerminator;
    for (size_t i = 0; i < Terminator.size(); ++i) Advance();
    return true;
}

TCustomExtract* TCustomParser::CurrentExtractor() const {
    return (Objs && Objs->Structure) ? Objs->Structure->Extractor : nullptr;
}

void TCustomParser::DoProgress() {
    if (!ShowProgress) return;
    if (OnProgress) {
        OnProgress(this, Line, LineCount);
    } else if (TCustomExtract* e = CurrentExtractor(); e && e->OnProgressUpdate) {
        e->OnProgressUpdate(e, Line, LineCount);
    }
}

void TCustomParser::DoLogLine(const std::string& Text) {
    if (OnLogLine) {
        OnLogLine(this, Text);
    } else if (TCustomExtract* e = CurrentExtractor(); e && e->OnLogNextLine) {
        e->OnLogNextLine(e, Text);
    }
}

void TCustomParser::DoError(const std::string& Text) {
    if (OnError)
        OnError(this, Text);
    else
        ShowErrorText("Error: " + Text);
}

void TCustomParser::DoDebugMessage(const std::string& Text) {
    if (OnDebugMessage) OnDebugMessage(this, Text);
}

void TCustomParser::DoStatement(const std::string& Text, TStatementKind StatementKind, const std::string& ObjName,
                                TDbObject ObjKind, uint8_t Action, const std::string& FieldName,
                                TObject*& Statement) {
    if (OnStatement) OnStatement(this, Text, StatementKind, ObjName, ObjKind, Action, FieldName, Statement);
}

void TCustomParser::StatementParsed(TStatementKind StatementKind, const std::string& ObjName, TDbObject ObjKind,
                                    uint8_t Action, const std::string& FieldName, TObject*& Statement) {
    Statement = nullptr;
    std::string text = TokenStart > StatementStart ? GetText(StatementStart, TokenStart - StatementStart) : "";
    DoStatement(Trim(text), StatementKind, ObjName, ObjKind, Action, FieldName, Statement);
}

std::string TCustomParser::TokenName(TTokenCode Code) { return ResWords->GetTokenName(Code); }

void TCustomParser::AddDbObject(TDbObj* Obj, bool FreeIfRejected) {
    if (!Obj) return;
    if (Owner)
        Owner->AddDbObject(Obj);
    else if (Objs)
        Objs->AddDbObject(Obj, FreeIfRejected);
    else if (FreeIfRejected)
        delete Obj;
}

void TCustomParser::Expect(TTokenCode Code) {
    if (Token == Code) return;
    if ((Code == tkInteger || Code == tkFloat) && (Token == tkMinus || Token == tkPlus)) {
        // A signed number: look one token ahead.
        const TTokenCode sign = Token;
        TParseContext saved(this);
        NextToken();
        if (Token == Code) {
            ValueText = (sign == tkMinus ? "-" : "+") + ValueText;
            if (sign == tkMinus && Code == tkInteger) NegateInt();
        } else {
            saved.Restore();
        }
    }
    if (Token == Code) return;
    std::string msg = "Missing: " + (Code == tkTerminator ? std::string("<TERM>") : TokenName(Code)) + " (" +
                      TokenName(Token) + ")";
    if (Token == tkIdent) msg += " (" + TokenName(tkIdent) + ": " + TokenText + ")";
    ReportError(msg);
}

void TCustomParser::ExpectAndNext(TTokenCode Code) {
    Expect(Code);
    NextToken();
}

void TCustomParser::NextAndExpect(TTokenCode Code) {
    NextToken();
    Expect(Code);
}

void TCustomParser::ParsePrecisionScale(int32_t& Precision, int32_t& Scale) {
    if (Token != tkLParen) {
        Precision = 9;
        Scale = 0;
        return;
    }
    NextAndExpect(tkInteger);
    if (Token == tkInteger) Int32InRange(Precision);
    NextToken();
    if (Token == tkComma) {
        NextAndExpect(tkInteger);
        if (Token == tkInteger) Int32InRange(Scale);
        NextToken();
    }
    ExpectAndNext(tkRParen);
}

char TCustomParser::NextChar() { return Advance(); }

char TCustomParser::SpecialChar(char C) {
    if (C == 26) return ' ';
    // LF ends a line, and so does a CR that no LF follows (old Mac files).
    if (C == '\n' || Position >= Source.size() || Source[Position] != '\n') {
        ++Line;
        Column = 0;
        DoProgress();
    }
    return C;
}

char TCustomParser::PeekChar() { return Position <= Source.size() ? Source[Position - 1] : 0; }

char TCustomParser::PeekNextChar() { return Position + 1 <= Source.size() ? Source[Position] : 0; }

int64_t TCustomParser::ReadNumber() {
    ValueText.clear();
    IntExact = true;
    FIntIsLimit = false;
    // The characters that may still continue the number.
    bool digits = true, point = true, exponent = true, signs = false;
    auto accepts = [&](char c) {
        if (IsDigit(c)) return digits;
        if (c == '.') return point;
        if (c == 'E') return exponent;
        if (c == '+' || c == '-') return signs;
        return false;
    };
    auto consumed = [&](char c) {
        if (c == '.') point = false;
        if (c == 'E') {
            signs = true;
            point = exponent = false;
        } else if (c == '+' || c == '-') {
            signs = false;
        }
    };
    if (!AtEnd()) consumed(AsciiUpper(CurChar));
    while (!AtEnd()) {
        char next = AsciiUpper(PeekChar());
        if (!accepts(next)) break;
        if (next == '.' && PeekNextChar() == '.') break;  // "1..10": the array bound ends here
        ValueText += CurChar;
        consumed(next);
        Advance();
    }
    if (!AtEnd()) {
        ValueText += CurChar;
        Advance();
    }
    if (ValueText.empty()) {
        ReportError("Missing: Integer(Float) value...");
        Token = tkInteger;
        return 0;
    }
    // A point or an exponent makes a float, which keeps only its text.
    if (ValueText.find_first_of(".eE") != std::string::npos) {
        Token = tkFloat;
        return 0;
    }
    Token = tkInteger;
    // Up to 2^63, which a minus sign before it still makes a value; beyond it is saturated.
    constexpr uint64_t limit = uint64_t{1} << 63;
    uint64_t value = 0;
    for (char c : ValueText) {
        if (!IsDigit(c)) break;
        const auto digit = static_cast<uint64_t>(c - '0');
        if (value > (limit - digit) / 10) {
            value = limit + 1;
            break;
        }
        value = value * 10 + digit;
    }
    IntExact = value < limit;
    FIntIsLimit = value == limit;
    return IntExact ? static_cast<int64_t>(value) : std::numeric_limits<int64_t>::max();
}

void TCustomParser::NegateInt() {
    if (FIntIsLimit) {
        IntValue = std::numeric_limits<int64_t>::min();
        IntExact = true;
    } else if (IntValue != std::numeric_limits<int64_t>::min()) {
        IntValue = -IntValue;
    }
}

bool TCustomParser::IntInRange(int64_t Low, int64_t High) {
    if (IntExact && IntValue >= Low && IntValue <= High) return true;
    ReportError("Number out of range: " + ValueText);
    return false;
}

bool TCustomParser::Int32InRange(int32_t& Value) {
    if (!IntInRange(std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max())) return false;
    Value = static_cast<int32_t>(IntValue);
    return true;
}

void TCustomParser::ReadString(std::string& Text) {
    const char quote = CurChar;
    const int openLine = GetLine(), openColumn = GetColumn();
    Text.clear();
    Advance();
    while (!AtEnd()) {
        char c = CurChar;
        if (c == quote) {
            if (PeekChar() == quote) {
                Text += quote;
                Advance();
                Advance();
                continue;
            }
            Advance();
            return;
        }
        if (ServerType == stMySQL && c == '\\') {
            Advance();
            if (AtEnd()) break;
            switch (CurChar) {
            case 'r': c = '\r'; break;
            case 'n': c = '\n'; break;
            case 't': c = '\t'; break;
            case 'b': c = 8; break;
            case 'z': c = 26; break;
            case '0': c = 0; break;
            default: c = CurChar; break;
            }
        }
        Text += c;
        Advance();
    }
    // Without its closing quote the text would swallow the rest of the script unseen.
    ReportErrorAt(std::string("Unclosed string: no closing ") + quote + " to the end of the script.", openLine,
                  openColumn);
}

void TCustomParser::NextToken() {
    Token = tkEOF;
    TokenStart = Position - 1;
    QuoteChar = 0;  // also for the tokens a dialect scans before the base lexer (the terminator)
    while (!AtEnd() && SkipBlanks()) {
    }
    if (AtEnd()) {
        TokenStart = Position;
        return;
    }
    const size_t before = Position;
    ResetToken();
    ScanToken();
    AfterScan();
    if (Position == before && !AtEnd()) {
        // A dialect scanner (or a character that ends the scan) did not move: never loop on it.
        ReportError("Parser " + ClassName() + " deadlock.");
        Advance();
    }
}

void TCustomParser::ReadIdent() {
    const size_t start = CurIndex();
    // Identifier characters hold no line break: step over them in one go.
    size_t end = start - 1;
    if (!AtEnd())
        while (end < Source.size() && IdentChars[static_cast<unsigned char>(Source[end])]) ++end;
    const size_t n = end - (start - 1);
    if (n > 0) {
        Position += n - 1;
        Column += static_cast<int>(n - 1);
        Advance();
    }
    TokenText.assign(Source, start - 1, CurIndex() - start);
}

void TCustomParser::ReadParenExpression(std::string& Text) {
    Text.clear();
    while (!AtEnd() && IsBlank(CurChar)) Advance();
    int depth = 0;
    while (!AtEnd()) {
        const char c = CurChar;
        Text += c;
        Advance();
        if (c == '(') ++depth;
        if (c == ')') --depth;
        if (depth == 0) break;
    }
}

void TCustomParser::SkipLine() {
    while (!AtEnd() && PeekNextChar() != '\n') Advance();
    Advance();
    Advance();
}

void TCustomParser::SkipOperatorBlanks() {
    if (ServerType != stMSSQL && ServerType != stASE) return;
    while (!AtEnd() && IsBlank(CurChar)) Advance();
}

void TCustomParser::ReportInvalidChar(char C) {
    ReportError(std::string("Invalid char in source text: \"") + C + "\".");
}

void TCustomParser::ScanToken() {
    TokenStart = Position - 1;
    QuoteChar = 0;
    const char c = CurChar;
    if (IsDigit(c)) {
        Token = tkInteger;
        IntValue = ReadNumber();
        return;
    }
    if (IsLetter(c)) {
        Token = tkIdent;
        ReadIdent();
        Token = FilterKeyword();
        if (Token == tkIdent)
            for (char& ch : TokenText) ch = AsciiUpper(ch);
        return;
    }
    switch (c) {
    case '"':
    case '\'':
    case '`':
        Token = tkString;
        QuoteChar = c;
        ReadString(ValueText);
        return;
    case '.':
        if (IsDigit(PeekChar())) {
            IntValue = ReadNumber();
        } else {
            Token = tkPoint;
            Advance();
        }
        return;
    case '(': Token = tkLParen; break;
    case ')': Token = tkRParen; break;
    case '*': Token = tkStar; break;
    case '+': Token = tkPlus; break;
    case ',': Token = tkComma; break;
    case '-': Token = tkMinus; break;
    case '/': Token = tkSlash; break;
    case ':': Token = tkColon; break;
    case ';': Token = tkSemicolon; break;
    case '@': Token = tkAt; break;
    case '[': Token = tkLBracket; break;
    case ']': Token = tkRBracket; break;
    case '\\': Token = tkBackslash; break;
    case '%': Token = tkPercent; break;
    case '&': Token = tkAmpersand; break;
    case '<':
        Advance();
        SkipOperatorBlanks();
        if (CurChar == '=') {
            Token = tkLessEqual;
            Advance();
        } else if (CurChar == '>') {
            Token = tkNotEqual;
            Advance();
        } else {
            Token = tkLess;
        }
        return;
    case '=':
        Advance();
        SkipOperatorBlanks();
        if (CurChar == '=') {
            Token = tkDoubleEqual;
            Advance();
        } else {
            Token = tkEqual;
        }
        return;
    case '>':
        Advance();
        SkipOperatorBlanks();
        if (CurChar == '=') {
            Token = tkGreaterEqual;
            Advance();
        } else {
            Token = tkGreater;
        }
        return;
    case '!': {
        // A lone "!" is an invalid character like any other: reported, never swallowed silently.
        const bool blanksAllowed = ServerType == stMSSQL || ServerType == stASE;
        if (!blanksAllowed && PeekChar() != '=') {
            Token = tkEOF;
            ReportInvalidChar('!');
            Advance();
            return;
        }
        Advance();
        SkipOperatorBlanks();
        if (CurChar == '=') {
            Token = tkNotEqual;
            Advance();
        } else {
            Token = tkEOF;
            ReportInvalidChar('!');
        }
        return;
    }
    case 0:
        // A character that ends the scan (the end of the text, or a NUL byte inside it).
        Token = tkEOF;
        return;
    default:
        Token = tkEOF;
        ReportInvalidChar(c);
        Advance();
        return;
    }
    Advance();
}

void TCustomParser::ResetToken() {
    TokenText.clear();
    SkipBlanks();
}

bool TCustomParser::SkipBlanks() {
    bool skipped = false;
    while (!AtEnd() && IsBlank(CurChar)) {
        if (CurChar == ' ' || CurChar == '\t') {
            // The spaces and tabs that follow hold no line break: step over them in one go.
            size_t i = Position - 1;
            while (i < Source.size() && (Source[i] == ' ' || Source[i] == '\t')) ++i;
            const size_t n = i - (Position - 1);
            Position += n;
            Column += static_cast<int>(n);
        }
        Advance();
        skipped = true;
    }
    return skipped;
}

void TCustomParser::InitKeywords() {
    for (int i = 0; i < FixedTokenCount; ++i) ResWords->AddWord(FixedTokenNames[static_cast<size_t>(i)], static_cast<TTokenCode>(i));
}

bool TCustomParser::IsIdent(const std::string& Word) {
    return Token == tkIdent && UpperCase(TokenText) == UpperCase(Word);
}

void TCustomParser::ExpectIdent(const std::string& Word) {
    if (!IsIdent(Word)) ReportError("Must be: " + UpperCase(Word));
}

bool TCustomParser::ParseScript(const TStringList& Lines, TObjs* Container) {
    Objs = Container;
    // Every line break as CR LF, whatever the lines hold.
    std::string text;
    const std::string joined = Lines.Text();
    text.reserve(joined.size());
    for (size_t i = 0; i < joined.size(); ++i) {
        const char c = joined[i];
        if (c == '\r') {
            text += "\r\n";
            if (i + 1 < joined.size() && joined[i + 1] == '\n') ++i;
        } else if (c == '\n') {
            text += "\r\n";
        } else {
            text += c;
        }
    }
    SetSource(text);
    LineCount = Lines.Count();
    DoProgress();
    DoLogLine("Parse Script: " + ScriptName);
    ParseStatements();
    return true;
}

bool TCustomParser::ParseFile(const std::string& FileName, TObjs* Container) {
    Objs = Container;
    Source.clear();
    LineCount = 0;
    // A file that starts with FF FE comes back as 8-bit (UTF-8) text without the mark.
    std::string bytes;
    if (!ReadFileBytes(FileName, bytes)) {
        ReportError("Cannot open file: " + FileName);
        return false;
    }
    Source = std::move(bytes);
    for (size_t i = 0; i < Source.size(); ++i)
        if (Source[i] == '\n' || (Source[i] == '\r' && (i + 1 >= Source.size() || Source[i + 1] != '\n'))) ++LineCount;
    Position = 1;
    Line = 1;
    Column = 1;
    CurChar = 0;
    Advance();
    DoProgress();
    DoLogLine("Parse file: " + FileName);
    ParseStatements();
    // The file's text goes with its buffer: a kept parser would otherwise hold a whole script.
    std::string().swap(Source);
    return true;
}

void TCustomParser::ParseStatements() {
    do {
        NextToken();
    } while (Token != tkEOF);
}

void TCustomParser::ReportError(const std::string& Text) {
    if (!MsgManager->HasErrors()) DoError(Text + ErrorPosText());
    MsgManager->AddMessage(Text, ScriptName, GetColumn(), GetLine(), mkError);
}

void TCustomParser::ReportErrorAt(const std::string& Text, int ALine, int AColumn) {
    // The report reads the scanner's place: it is moved there for the report only. A dialect's
    // ReportError places its reports at the current token, so this base one is called by name.
    struct TPlaceRestore {
        TCustomParser& P;
        int Line, Column;
        ~TPlaceRestore() {
            P.Line = Line;
            P.Column = Column;
        }
    } restore{*this, Line, Column};
    Line = ALine;
    Column = AColumn + 1;
    TCustomParser::ReportError(Text);
}

std::string TCustomParser::ErrorPosText() {
    return "\r\nScript: " + ScriptName + " Line:" + std::to_string(Line) + " Pos:" + std::to_string(Column) + "\r\n";
}

TTokenCode TCustomParser::FilterKeyword() {
    char buf[64];
    int code;
    if (TokenText.size() <= sizeof buf) {
        for (size_t i = 0; i < TokenText.size(); ++i) buf[i] = AsciiUpper(TokenText[i]);
        code = ResWords->Lookup(std::string_view(buf, TokenText.size()));
    } else {
        code = ResWords->Lookup(UpperCase(TokenText));
    }
    return code < 0 ? tkIdent : static_cast<TTokenCode>(code);
}

void TCustomParser::SetSource(const std::string& Value) {
    Source = Value;
    Position = 1;
    Line = 1;
    Column = 1;
    CurChar = 0;
    Advance();
}

std::string TCustomParser::GetText(size_t Start, size_t Length) const {
    if (Start < 1 || Start > Source.size()) return {};
    return Source.substr(Start - 1, Length);
}

void TCustomParser::AddWarning(const std::string& Text) {
    MsgManager->AddMessage(Text, ScriptName, GetColumn(), GetLine(), mkWarning);
}

void TCustomParser::SaveState(TParseContext& Context) const {
    Context.Line = Line;
    Context.Column = Column;
    Context.Position = Position;
    Context.CurChar = CurChar;
    Context.Token = Token;
    Context.TokenStart = TokenStart;
    Context.TokenText = TokenText;
}

void TCustomParser::RestoreState(const TParseContext& Context) {
    Line = Context.Line;
    Column = Context.Column;
    Position = Context.Position;
    CurChar = Context.CurChar;
    Token = Context.Token;
    TokenStart = Context.TokenStart;
    TokenText = Context.TokenText;
}

TParseContext* TCustomParser::PushContext() {
    Contexts.push_back(std::make_unique<TParseContext>(this));
    return Contexts.back().get();
}

void TCustomParser::PopContext() {
    if (!Contexts.empty()) Contexts.pop_back();
}

// ---- TCustomSQLParser ----

TCustomSQLParser::TCustomSQLParser(TCustomExtract* AOwner)
    : TCustomParser(AOwner), ConnOptions(std::make_unique<TConnectionOptions>()) {
    TCustomObjs* container = (AOwner && AOwner->DBStructure()) ? AOwner->DBStructure()->Objs() : nullptr;
    ScratchField = std::make_unique<TFldData>(container, nullptr);
}

TCustomSQLParser::~TCustomSQLParser() = default;

void TCustomSQLParser::ScanToken() {
    TokenStart = Position - 1;
    if (CheckTerminator()) return;
    if (CurChar == '|' && PeekChar() == '|') {
        Advance();
        Advance();
        Token = tkConcat;
        return;
    }
    TCustomParser::ScanToken();
}

bool TCustomSQLParser::SkipBlanks() {
    if ((CurChar == '-' && PeekChar() == '-') || (CurChar == '/' && PeekChar() == '*')) return ReadComment();
    return TCustomParser::SkipBlanks();
}

bool TCustomSQLParser::ReadComment() {
    if (CurChar == '/' && PeekChar() == '*') {
        const int openLine = GetLine(), openColumn = GetColumn();
        Advance();
        Advance();
        while (!AtEnd()) {
            if (CurChar == '*' && PeekChar() == '/') {
                Advance();
                Advance();
                return true;
            }
            Advance();
        }
        // Without its end the comment would swallow the rest of the script unseen.
        ReportErrorAt("Unclosed comment: no closing */ to the end of the script.", openLine, openColumn);
        return true;
    }
    if (CurChar == '-' && PeekChar() == '-') {
        // To the end of the line, which ends with LF, CR LF or CR; the line break stays current.
        while (!AtEnd() && CurChar != '\n' && CurChar != '\r') Advance();
        return true;
    }
    return false;
}

void TCustomSQLParser::SkipUntil(const TTokenSet& Tokens) {
    while (!Tokens.test(Token)) {
        if (Token == tkEOF && AtEnd()) return;  // the end of the text ends every skip
        NextToken();
    }
}

std::string TCustomSQLParser::GetTextFrom(size_t Start) {
    if (TokenStart <= Start) return {};
    return Trim(GetText(Start, TokenStart - Start));
}

bool TCustomSQLParser::ParseScript(const TStringList& Lines, TObjs* Container) {
    const bool result = TCustomParser::ParseScript(Lines, Container);
    if (Objs) Objs->ConnectionOptions.Assign(*ConnOptions);
    return result;
}

// ---- dependency recording ----

void TCustomSQLParser::AddDependency(TDbObj* Obj, TDbObj* Target, const std::string& FieldName) {
    if (!Obj || !Target) return;
    // Entries carry no column name (a column reference is filed on the column itself).
    if (FieldName.empty() && Obj->DependsOn.FindRef(Target)) return;
    RegisterDependency(Objs, Obj, Target, FieldName, GetColumn(), GetLine());
    // A view that reads a table column also needs the domains of all that table's columns.
    if (Obj->Kind == dboView && Target->Kind == dboTable && !FieldName.empty() && Objs) {
        for (int i = 0; i < Target->GetColumnCount(); ++i) {
            const TDbObj* column = Target->GetColumn(i);
            if (!column) continue;
            const std::string domain = column->GetDomainName();
            if (!domain.empty()) AddDependency(Obj, Objs->FindDomain(domain));
        }
    }
}

void TCustomSQLParser::LinkDepend(TDbObj* Obj, const std::string& Name, TDbObjectSet Kinds) {
    if (!Objs || !Obj) return;
    if (ServerType == stInterBase && UpperCase(Name.substr(0, 4)) == "RDB$") return;  // a system object
    if (Kinds.Contains(Obj->Kind) && Obj->Name == Name) Kinds.Exclude(Obj->Kind);
    struct Step {
        TDbObject Kind;
        TObjListKind List;
    };
    static const Step steps[] = {{dboTable, olTables},         {dboView, olViews},         {dboProcedure, olProcedures},
                                 {dboTrigger, olTriggers},     {dboGenerator, olGenerators}, {dboIndex, olIndices},
                                 {dboException, olExceptions}, {dboDomain, olDomains},     {dboFunction, olUDFs}};
    TDbObj* found = nullptr;
    for (const Step& s : steps) {
        if (found) break;
        if (Kinds.Contains(s.Kind)) found = Objs->List(s.List).FindObj(Name);
    }
    // Rules and defaults are looked up even after a match, and win over it.
    if (Kinds.Contains(dboRule))
        if (TDbObj* r = Objs->List(olRules).FindObj(Name)) found = r;
    if (Kinds.Contains(dboDefault))
        if (TDbObj* d = Objs->List(olDefaults).FindObj(Name)) found = d;
    if (found) AddDependency(Obj, found);
}

TDbObj* TCustomSQLParser::FindRelation(const std::string& Name) const {
    if (!Objs) return nullptr;
    if (TDbObj* t = Objs->FindTable(Name)) return t;
    if (TDbObj* v = Objs->FindView(Name)) return v;
    return Objs->FindProcedure(Name);
}

void TCustomSQLParser::AddRelationDepend(TDbObj* Obj, const std::string& Name) {
    if (TDbObj* r = FindRelation(Name)) AddDependency(Obj, r);
}

TDbObj* TCustomSQLParser::FindColumnOwner(const TParseContext& Context, const std::string& Column) const {
    for (int i = 0; i < Context.Tables.Count(); ++i) {
        TDbObj* r = FindRelation(Context.Tables[i]);
        if (!r) continue;
        if (r->Kind == dboProcedure) {
            for (int p = 0; p < r->GetOutputParamCount(); ++p)
                if (const TDbObj* out = r->GetOutputParam(p); out && out->Name == Column) return r;
        } else if (r->FindColumn(Column)) {
            return r;
        }
    }
    return nullptr;
}

void TCustomSQLParser::LinkUnlessLocalName(TDbObj* Obj, const std::string& Name) {
    if (LocalNames.IndexOf(Name) < 0) LinkDepend(Obj, Name, {dboGenerator});
}

void TCustomSQLParser::ResolveColumnRef(TDbObj* Obj, const std::string& Alias, const std::string& Column) {
    if (!Objs) return;
    if (Contexts.empty()) {
        // A bare name outside any FROM list: only a generator can be meant.
        LinkUnlessLocalName(Obj, Column);
        return;
    }
    ResolveFrom(Contexts.size() - 1, Obj, Alias, Column, false);
}

void TCustomSQLParser::Defer(size_t Index, TDbObj* Obj, const std::string& Alias, const std::string& Column,
                             bool Outward) {
    Contexts[Index]->Pending.push_back({Obj, Alias, Column, Outward, Line, this->Column});
}

void TCustomSQLParser::ResolveFrom(size_t Index, TDbObj* Obj, const std::string& Alias, const std::string& Column,
                                   bool Outward) {
    const TParseContext& c = *Contexts[Index];
    if (!c.Resolvable) return Defer(Index, Obj, Alias, Column, Outward);
    if (!Outward) {
        if (c.Tables.Count() == 0) LinkUnlessLocalName(Obj, Column);
        if (c.Tables.Count() == 0 || Column.empty()) return;
    }
    if (Column == "*" && Alias.empty()) {
        for (int i = 0; i < c.Tables.Count(); ++i) AddRelationDepend(Obj, c.Tables[i]);
        return;
    }
    // From this context outward; one whose relations are not known yet takes the search over.
    for (size_t i = Index + 1; i-- > 0;) {
        const TParseContext& o = *Contexts[i];
        if (!o.Resolvable) return Defer(i, Obj, Alias, Column, true);
        if (!Alias.empty()) {
            int at = o.Aliases.IndexOf(Alias);
            if (at < 0) at = o.Tables.IndexOf(Alias);
            if (at < 0 || at >= o.Tables.Count()) continue;
            if (Column == "*")
                AddRelationDepend(Obj, o.Tables[at]);
            else if (TDbObj* r = FindRelation(o.Tables[at]))
                AddDependency(Obj, r, Column);
            return;
        }
        if (TDbObj* r = FindColumnOwner(o, Column)) {
            AddDependency(Obj, r, Column);
            return;
        }
    }
}

void TCustomSQLParser::MakeResolvable(TParseContext& Context) {
    Context.Resolvable = true;
    size_t index = Contexts.size();
    while (index > 0 && Contexts[index - 1].get() != &Context) --index;
    if (index == 0) return;
    std::vector<TParseContext::TPendingRef> pending = std::move(Context.Pending);
    Context.Pending.clear();
    const int line = Line, column = Column;
    for (const TParseContext::TPendingRef& p : pending) {
        // Recorded where the reference stands.
        Line = p.RefLine;
        Column = p.RefColumn;
        ResolveFrom(index - 1, p.Obj, p.Alias, p.Column, p.Outward);
    }
    Line = line;
    Column = column;
}

// ---- linking after a whole structure has been read ----

std::string TCustomSQLParser::QualifiedTableName(const std::string& Table, const std::string& Schema,
                                                 const std::string& OwnerName) const {
    switch (ServerType) {
    case stOracle:
    case stMSSQL:
    case stPostgreSQL: return Schema.empty() ? Table : Schema + "." + Table;
    case stASA: return OwnerName.empty() ? Table : OwnerName + "." + Table;
    default: return Table;
    }
}

void TCustomSQLParser::LinkKeyColumns(TDbObj* Obj, TDbObj* Table, const TStringList* Fields) {
    if (!Fields) return;
    for (int i = 0; i < Fields->Count(); ++i)
        if (TDbObj* column = Table->FindColumn((*Fields)[i])) AddDependency(Obj, column);
}

std::string TCustomSQLParser::QuotedFieldsText(const TDbObj* Constraint, const TStringList* Fields) const {
    std::string text;
    if (!Fields) return text;
    for (int i = 0; i < Fields->Count(); ++i) {
        if (i > 0) text += ", ";
        text += Constraint->QuoteName((*Fields)[i]);
    }
    return text;
}

void TCustomSQLParser::LinkIndexDepends() {
    const TDbObjList& indices = Objs->List(olIndices);
    for (int i = 0; i < indices.Count(); ++i) {
        TDbObj* idx = indices.Obj(i);
        TDbObj* table = Objs->FindTable(QualifiedTableName(idx->GetOwnerName(), idx->Schema, idx->DbOwner()));
        if (!table) continue;
        AddDependency(idx, table);
        LinkKeyColumns(idx, table, idx->GetKeyFields());
    }
}

void TCustomSQLParser::LinkConstraintDepends() {
    const TDbObjList& constraints = Objs->List(olConstraints);
    for (int i = 0; i < constraints.Count(); ++i) {
        TDbObj* cns = constraints.Obj(i);
        if (TDbObj* table = Objs->FindTable(QualifiedTableName(cns->GetOwnerName(), cns->Schema, cns->DbOwner()))) {
            AddDependency(cns, table);
            LinkKeyColumns(cns, table, cns->GetKeyFields());
        }
        const int type = cns->GetConstraintType();
        if (type != 2 && type != 7) continue;
        const std::string refSchema = cns->GetRefSchema().empty() ? cns->Schema : cns->GetRefSchema();
        if (TDbObj* ref = Objs->FindTable(QualifiedTableName(cns->GetRefTableName(), refSchema, cns->DbOwner()))) {
            AddDependency(cns, ref);
            LinkKeyColumns(cns, ref, cns->GetRefFields());
        }
    }
}

void TCustomSQLParser::LinkForeignKeyDepends() {
    const TDbObjList& constraints = Objs->List(olConstraints);
    // The primary and unique keys of each table with their column texts, gathered once: a
    // large script has thousands of foreign keys and keys.
    std::unordered_map<std::string, std::vector<std::pair<TDbObj*, std::string>>> keys;
    for (int k = 0; k < constraints.Count(); ++k) {
        TDbObj* key = constraints.Obj(k);
        const int type = key->GetConstraintType();
        if (type == 0 || type == 1) keys[key->GetOwnerName()].emplace_back(key, QuotedFieldsText(key, key->GetKeyFields()));
    }
    for (int i = 0; i < constraints.Count(); ++i) {
        TDbObj* fk = constraints.Obj(i);
        if (fk->GetConstraintType() != 2) continue;
        const auto table = keys.find(fk->GetRefTableName());
        if (table == keys.end()) continue;
        const std::string refFields = QuotedFieldsText(fk, fk->GetRefFields());
        for (const auto& [key, fields] : table->second)
            if (fields == refFields) AddDependency(fk, key);
    }
}

void TCustomSQLParser::LinkGrantDepends() {
    const TDbObjList& grants = Objs->List(olGrants);
    for (int i = 0; i < grants.Count(); ++i) {
        TDbObj* grant = grants.Obj(i);
        TDbObj* object = nullptr;
        const std::string objectName = grant->GetGrantObjectName();
        switch (grant->GetGrantObjectKind()) {
        case dboTable: object = Objs->FindTable(objectName); break;
        case dboView: object = Objs->FindView(objectName); break;
        case dboProcedure: object = Objs->FindProcedure(objectName); break;
        case dboTrigger: object = Objs->FindTrigger(objectName); break;
        case dboRole: object = Objs->FindRole(objectName); break;
        case dboUser: object = Objs->FindUser(objectName); break;
        default: break;
        }
        AddDependency(grant, object);
        TDbObj* grantee = nullptr;
        const std::string granteeName = grant->GetGrantee();
        switch (grant->GetGranteeKind()) {
        case dboView: grantee = Objs->FindView(granteeName); break;
        case dboProcedure: grantee = Objs->FindProcedure(granteeName); break;
        case dboTrigger: grantee = Objs->FindTrigger(granteeName); break;
        case dboRole: grantee = Objs->FindRole(granteeName); break;
        case dboUser: grantee = Objs->FindUser(granteeName); break;
        default: break;
        }
        AddDependency(grant, grantee);
    }
}

void TCustomSQLParser::LinkUserDepends() {
    const TDbObjList& roles = Objs->List(olRoles);
    for (int i = 0; i < roles.Count(); ++i)
        if (TDbObj* user = roles.Obj(i); user->GetRoleKind() == 2) AddDependency(user, Objs->FindLogin(user->Name));
}

void TCustomSQLParser::AfterParse() {
    if (!Objs) return;
    Objs->RekeyGrants();
    LinkIndexDepends();
    LinkConstraintDepends();
    LinkForeignKeyDepends();
    LinkGrantDepends();
    LinkUserDepends();
}

} // namespace qnl
