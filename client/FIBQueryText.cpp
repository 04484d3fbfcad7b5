// Implements TFIBQuery's text and parameters: the scanner that finds parameters and macros, the
// expansion into the text the server gets, binding by name, blob parameters, the clause helpers,
// execution statistics and log lines; see FIBQuery.h.
#include "client/FIBQuery.h"

#include "client/StrUtil.h"
#include "client/fib.h"
#include "platform/VariantConv.h"

#include <algorithm>
#include <cmath>

namespace qnl {

namespace {

// One parameter or macro as the scanner found it in a text.
struct TOccurrence {
    std::string Name;
    std::string Default;   // a macro's text after "%"
    bool HasDefault = false;
    bool Macro = false;
    bool Quoted = false;
    bool InWhere = false;
    bool NullDependent = false;
    size_t Start = 0;      // the mark
    size_t End = 0;        // one past the name (and a closing macro character)
};

bool IsBlankChar(char C) { return C == '\t' || C == '\n' || C == '\r' || C == ' '; }

bool IsParamNameChar(char C) {
    return (C >= '0' && C <= '9') || (C >= 'A' && C <= 'Z') || (C >= 'a' && C <= 'z') || C == '_' || C == '#' ||
           C == '$' || C == '%' || C == '.';
}

// The text after a parameter's name, from its first non-blank character at Pos: the parameter
// stands alone unless an arithmetic or concatenation operator follows ("--" and "/*" open
// comments, not operators).
bool StandsAlone(const std::string& Text, size_t Pos) {
    if (Pos >= Text.size()) return true;
    const char c = Text[Pos];
    const char next = Pos + 1 < Text.size() ? Text[Pos + 1] : '\0';
    if (c == '*' || c == '+' || c == '|') return false;
    if (c == '-' && next != '-') return false;
    if (c == '/' && next != '*') return false;
    return true;
}

// The words that end a WHERE condition at its own bracket level.
bool IsWhereEndAt(const std::string& Text, size_t Pos) {
    const int at = static_cast<int>(Pos) + 1;
    for (const char* word : {"FOR", "GROUP", "HAVING", "ORDER", "PLAN", "START", "UNION"})
        if (IsKeywordAt(word, Text, at)) return true;
    return false;
}

// Every parameter and macro of Text in text order. Parameters are not looked for in DDL, nor
// in an EXECUTE BLOCK after its AS (the block's own variables are written the same way).
std::vector<TOccurrence> FindOccurrences(const std::string& Text, const TSQLParser& Parser, char MacroChar,
                                         const std::string& OwnerName) {
    enum class TState : uint8_t { Normal, BlockComment, Quoted, LineComment };
    auto parseError = [&OwnerName](const char* What) { RaiseClientError(cecSQLParseError, {OwnerName, What}); };
    const uint8_t kind = Parser.StatementKind();
    const bool execBlock = kind == sqkExecBlock;
    const bool trackWhere = kind != sqkExecProc && kind != sqkExecBlock;
    bool paramsAllowed = Parser.NotDDL();
    bool inWhere = false;
    int depth = 0;
    TState state = TState::Normal;
    char quote = 0;
    const size_t n = Text.size();
    auto at = [&](size_t K) { return K < n ? Text[K] : '\0'; };
    std::vector<TOccurrence> found;
    size_t i = 0;
    while (i < n) {
        const char c = Text[i];
        if (state == TState::Quoted) {
            if (c == quote && at(i + 1) == quote) {
                i += 2;
                continue;
            }
            if (c == quote) state = TState::Normal;
            ++i;
            continue;
        }
        if (state == TState::BlockComment) {
            if (c == '*' && at(i + 1) == '/') {
                state = TState::Normal;
                ++i;
            }
            ++i;
            continue;
        }
        if (state == TState::LineComment) {
            if (c == '\n' || c == '\r' || c == '\0') state = TState::Normal;
            ++i;
            continue;
        }
        if (c == '\'' || c == '"') {
            // A Q string may hold quotes and colons; without its close it runs to the end.
            if (const size_t q = c == '\'' ? QStringClose(Text, i) : std::string_view::npos; q != std::string_view::npos) {
                if (q >= n) parseError(SFIBEOFInString);
                i = q + 1;
                continue;
            }
            state = TState::Quoted;
            quote = c;
            ++i;
            continue;
        }
        if ((c == '-' && at(i + 1) == '-') || (c == '/' && at(i + 1) == '*')) {
            state = c == '-' ? TState::LineComment : TState::BlockComment;
            i += 2;
            continue;
        }
        const bool paramMark = (c == ':' || c == '?') && paramsAllowed;
        if (paramMark || c == MacroChar) {
            TOccurrence o;
            o.Macro = !paramMark;
            o.Start = i;
            size_t p = i + 1;
            const bool doubled = o.Macro && at(p) == MacroChar;
            if (doubled) ++p;
            // A doubled macro runs to the next macro character, its default text included.
            auto untilMacroChar = [&](size_t From) {
                const size_t end = Text.find(MacroChar, From);
                if (end == std::string::npos) parseError(SFIBParamNameExpected);
                p = end + 1;
                return Text.substr(From, end - From);
            };
            std::string token;
            if (at(p) == '"') {
                const size_t close = Text.find('"', p + 1);
                if (close == std::string::npos) parseError(SFIBParamNameExpected);
                token = Text.substr(p + 1, close - p - 1);
                o.Quoted = true;
                p = close + 1;
                if (doubled) token += untilMacroChar(p);
            } else if (doubled) {
                token = untilMacroChar(p);
            } else {
                const size_t from = p;
                while (p < n && (o.Macro ? !IsBlankChar(Text[p]) : IsParamNameChar(Text[p]))) ++p;
                token = Text.substr(from, p - from);
            }
            if (token.empty() && !o.Quoted) parseError(SFIBParamNameExpected);
            if (o.Macro) {
                o.HasDefault = token.find('%') != std::string::npos;
                SplitMacro(token, MacroChar, o.Default, o.Name);
                o.Name.erase(0, 1);
            } else {
                o.Name = token;
                o.InWhere = inWhere;
                size_t q = p;
                while (q < n && IsBlankChar(Text[q])) ++q;
                o.NullDependent = inWhere && StandsAlone(Text, q);
            }
            o.End = p;
            found.push_back(std::move(o));
            i = p;
            continue;
        }
        // An AS after a word (not inside one) starts the block's body.
        if (execBlock && paramsAllowed && (c == 'A' || c == 'a') && IsKeywordAt("AS", Text, static_cast<int>(i) + 1))
            paramsAllowed = false;
        if (trackWhere) {
            if (!inWhere) {
                if ((c == 'W' || c == 'w') && IsKeywordAt("WHERE", Text, static_cast<int>(i) + 1)) {
                    inWhere = true;
                    depth = 0;
                    i += 5;
                    continue;
                }
            } else if (c == '(') {
                ++depth;
            } else if (c == ')') {
                if (--depth < 0) inWhere = false;
            } else if (depth == 0 && IsWhereEndAt(Text, i)) {
                inWhere = false;
            }
        }
        ++i;
    }
    if (state == TState::BlockComment) parseError(SFIBEOFInComment);
    if (state == TState::Quoted) parseError(SFIBEOFInString);
    return found;
}

// A value in quotes already: one literal, every inner quote doubled. Anything else that starts
// with a quote would end the literal early and bring its own text into the statement.
bool IsStringLiteral(const std::string& Value) {
    if (Value.size() < 2 || Value.front() != '\'' || Value.back() != '\'') return false;
    for (size_t i = 1; i + 1 < Value.size(); ++i) {
        if (Value[i] != '\'') continue;
        if (i + 2 >= Value.size() || Value[i + 1] != '\'') return false;
        ++i;
    }
    return true;
}

// Value as a string literal: in quotes, an inner quote doubled.
std::string QuotedLiteral(const std::string& Value) {
    std::string quoted = "'";
    for (char c : Value) {
        quoted += c;
        if (c == '\'') quoted += '\'';
    }
    return quoted + "'";
}

// The phrase that replaces "operator :P" when P is null, and where the operator starts; empty
// when the text before the mark at Mark is no equality or inequality.
std::string NullComparison(const std::string& Text, size_t Mark, size_t& OperatorStart) {
    static const TCharSet skipped = MakeCharSet(std::string_view("\0\t\n\r \"(-/;^", 12));
    size_t k = Mark;
    while (k > 0 && IsCharInSet(Text[k - 1], skipped)) {
        // "X = (:P)" would lose its opening bracket and keep the closing one.
        if (Text[k - 1] == '(') return {};
        --k;
    }
    if (k == 0) return {};
    const size_t op = k - 1;
    const char before = op > 0 ? Text[op - 1] : '\0';
    if (Text[op] == '=' && (before == '!' || before == '^' || before == '~')) {
        OperatorStart = op - 1;
        return " IS NOT NULL ";
    }
    if (Text[op] == '=' && before != '<' && before != '>') {
        OperatorStart = op;
        return " IS NULL ";
    }
    if (Text[op] == '>' && before == '<') {
        OperatorStart = op - 1;
        return " IS NOT NULL ";
    }
    return {};
}

} // namespace

std::string NamePositionalParams(const std::string& Text, const std::string& Prefix, int* Count) {
    std::string result;
    result.reserve(Text.size());
    const size_t n = Text.size();
    int counter = 0;
    size_t i = 0;
    // A literal, a quoted name or a comment is copied as it is: a "?" there is text.
    auto copyTo = [&](size_t End) {
        End = std::min(End, n);
        result.append(Text, i, End - i);
        i = End;
    };
    while (i < n) {
        const char c = Text[i];
        const char next = i + 1 < n ? Text[i + 1] : '\0';
        if (c == '\'' || c == '"') {
            size_t close = c == '\'' ? QStringClose(Text, i) : std::string_view::npos;
            if (close == std::string_view::npos) {
                close = i + 1;
                // A doubled quote stays inside the literal.
                while (close < n && (Text[close] != c || (close + 1 < n && Text[close + 1] == c)))
                    close += Text[close] == c ? 2 : 1;
            }
            copyTo(close + 1);
        } else if (c == '-' && next == '-') {
            copyTo(Text.find_first_of("\r\n", i));
        } else if (c == '/' && next == '*') {
            const size_t close = Text.find("*/", i + 2);
            copyTo(close == std::string::npos ? n : close + 2);
        } else {
            if (c == '?')
                result += ":" + Prefix + std::to_string(counter++);
            else
                result += c;
            ++i;
        }
    }
    if (Count) *Count = counter;
    return result;
}

// --- The text and its hooks -----------------------------------------------------------------

void TFIBQuery::SQLChanging() {
    if (FOpen) RaiseClientError(cecDataSetOpen, {"change sql text", ComponentFullName(this)});
    FConditions.CancelApply();
    if (OnSQLChanging) OnSQLChanging(this);
    FreeHandle();
    FParamsParsed = false;
}

void TFIBQuery::SQLChanged() {
    FHasMacroParams = false;
    FParser.SetSQLText(FSQL.Text());
    if (FSQLChangeLock > 0) return;
    ++FSQLChangeCount;
    FFirstTableName = "-1";
    FParamCheckInForce = FParamCheck;
    if (FParamCheck && FSQL.Count() > 0 && HasParamMarks(FParser.Text())) {
        ScanText(FParser.Text(), TScanMode::Parameters);
        if (FParamsArea->Count() > 0) {
            FProcessedSQL.clear();
            FServerSQL.clear();
        } else {
            FProcessedSQL = FServerSQL = FParser.Text();
        }
    } else {
        EmptyInputAreas();
        FProcessedSQL = FServerSQL = FParser.Text();
    }
    FreeHandle();
    FParamsParsed = true;
    FServerTextReady = false;
}

bool TFIBQuery::HasParamMarks(const std::string& Text) const {
    enum class TState : uint8_t { Normal, Quoted, BlockComment, LineComment };
    TState state = TState::Normal;
    char quote = 0;
    for (size_t i = 1; i < Text.size(); ++i) {
        const char c = Text[i];
        const char next = i + 1 < Text.size() ? Text[i + 1] : '\0';
        switch (state) {
        case TState::Quoted:
            if (c == quote) state = TState::Normal;
            break;
        case TState::BlockComment:
            if (c == '*' && next == '/') {
                state = TState::Normal;
                ++i;
            }
            break;
        case TState::LineComment:
            if (c == '\r' || c == '\n') state = TState::Normal;
            break;
        case TState::Normal:
            if (c == '\'' || c == '"') {
                state = TState::Quoted;
                quote = c;
            } else if (c == '/' && next == '*') {
                state = TState::BlockComment;
                ++i;
            } else if (c == '-' && next == '-') {
                state = TState::LineComment;
                ++i;
            } else if (c == ':' || c == '?' || c == FMacroChar) {
                return true;
            }
            break;
        }
    }
    return false;
}

void TFIBQuery::EmptyInputAreas() {
    FParamsArea = std::make_unique<TFIBXSQLDA>(true);
    FParamsArea->SetQuery(this);
    FBindArea = std::make_unique<TFIBXSQLDA>(true);
    FBindArea->SetQuery(this);
}

void TFIBQuery::ScanText(const std::string& Text, TScanMode Mode) {
    const std::vector<TOccurrence> found = FindOccurrences(Text, FParser, FMacroChar, ComponentFullName(this));
    std::vector<const TOccurrence*> kept;
    for (const TOccurrence& o : found)
        if (Mode == TScanMode::Parameters || !o.Macro) kept.push_back(&o);
    auto area = std::make_unique<TFIBXSQLDA>(true);
    area->SetCount(static_cast<int>(kept.size()));
    for (int i = 0; i < area->Count(); ++i) {
        const TOccurrence& o = *kept[static_cast<size_t>(i)];
        area->AddName(o.Name, i, o.Quoted);
        TFIBXSQLVAR& var = area->GetVar(i);
        var.TextStart = o.Start;
        var.TextEnd = o.End;
        if (o.Macro) {
            var.IsMacro = true;
            // A default written "#text" asks for the value in quotes.
            const bool quoteValue = !o.Default.empty() && o.Default.front() == '#';
            var.NameKeptCase = quoteValue;
            var.MacroDefault = quoteValue ? o.Default.substr(1) : o.Default;
            if (o.HasDefault) var.SetAsString(var.MacroDefault);
            FHasMacroParams = true;
        } else {
            var.InWhere = o.InWhere;
            var.NullDependent = o.NullDependent;
        }
    }
    std::unique_ptr<TFIBXSQLDA>& target = Mode == TScanMode::Parameters ? FParamsArea : FBindArea;
    if (target) {
        // Values set for a name survive the new text.
        target->SetQuery(nullptr);
        for (int i = 0; i < area->Count(); ++i)
            if (TFIBXSQLVAR* previous = target->FindLocal(area->GetVar(i).Name())) area->GetVar(i).TakeValue(*previous);
    }
    area->SetQuery(this);
    target = std::move(area);
    if (Mode == TScanMode::Text) {
        // Every parameter becomes "?" and blanks: the text keeps its length.
        std::string processed = Text;
        for (const TOccurrence* o : kept) {
            processed[o->Start] = '?';
            for (size_t k = o->Start + 1; k < o->End; ++k) processed[k] = ' ';
        }
        FProcessedSQL = std::move(processed);
    }
}

TFIBXSQLDA& TFIBQuery::Params() {
    if (!FParamsParsed && !FParamsArea->AsXSQLDA()) {
        if (FParamCheck && HasParamMarks(FParser.Text())) ScanText(FParser.Text(), TScanMode::Parameters);
        FParamsParsed = true;
    }
    return *FParamsArea;
}

void TFIBQuery::BeginSQLChange() { ++FSQLChangeLock; }

void TFIBQuery::EndSQLChange() {
    if (FSQLChangeLock == 0) return;
    if (--FSQLChangeLock == 0) SQLChanged();
}

void TFIBQuery::SetParamCheck(bool Value) {
    if (Value == FParamCheck) return;
    FParamCheck = Value;
    SQLChanged();
}

void TFIBQuery::SetOptions(TpFIBQueryOptions Value) {
    if (InSet(Value, qoNoForceIsNull) != InSet(FOptions, qoNoForceIsNull)) FNullStateDiffers = true;
    FOptions = Value;
}

void TFIBQuery::SetMacroChar(char Value) {
    if (Value == FMacroChar) return;
    FMacroChar = Value;
    SQLChanged();
}

// --- Expansion ------------------------------------------------------------------------------

bool TFIBQuery::ExpansionNeeded() const {
    if (!FPrepared || FNeedsReExpansion || FNullStateDiffers) return true;
    const bool nullsMatter = !InSet(FOptions, qoNoForceIsNull);
    if (!FHasMacroParams && !nullsMatter) return false;
    for (int i = 0; i < FParamsArea->Count(); ++i) {
        TFIBXSQLVAR& var = FParamsArea->GetVar(i);
        if (var.IsMacro) {
            if (var.GetAsString() != VarToStr(var.PreparedValue)) return true;
        } else if (nullsMatter && var.NullDependent && var.GetIsNull() != var.PreparedValue.IsNull()) {
            return true;
        }
    }
    return false;
}

std::string TFIBQuery::ExpandText(bool Record) {
    std::string text = FParser.Text();
    if (Record) FRewritten = false;
    const bool noForce = InSet(FOptions, qoNoForceIsNull);
    if (!FHasMacroParams && noForce) return text;
    // An explicit Prepare keeps "= ?" for null parameters: the execution decides.
    const bool rewriteNulls = !noForce && !((FState & StatePreparing) != 0 && (FState & StateExecuting) == 0);
    TFIBXSQLDA& params = Params();
    std::ptrdiff_t shift = 0;
    for (int i = 0; i < params.Count(); ++i) {
        TFIBXSQLVAR& var = params.GetVar(i);
        const size_t start = static_cast<size_t>(static_cast<std::ptrdiff_t>(var.TextStart) + shift);
        const size_t end = static_cast<size_t>(static_cast<std::ptrdiff_t>(var.TextEnd) + shift);
        if (var.IsMacro) {
            std::string value = var.GetAsString();
            if (var.NameKeptCase && !IsStringLiteral(value)) value = QuotedLiteral(value);
            text.replace(start, end - start, value);
            shift += static_cast<std::ptrdiff_t>(value.size()) - static_cast<std::ptrdiff_t>(end - start);
            if (Record) {
                var.PreparedValue = Variant(var.GetAsString());
                FRewritten = true;
            }
            continue;
        }
        if (noForce || !var.NullDependent) continue;
        size_t from = 0;
        const std::string phrase = rewriteNulls && var.GetIsNull() ? NullComparison(text, start, from) : std::string();
        if (phrase.empty()) {
            if (Record) var.PreparedValue = Variant();
            continue;
        }
        text.replace(from, end - from, phrase);
        shift += static_cast<std::ptrdiff_t>(phrase.size()) - static_cast<std::ptrdiff_t>(end - from);
        if (Record) {
            var.PreparedValue = Variant::Null();
            FRewritten = true;
        }
    }
    return text;
}

void TFIBQuery::RebuildProcessedText() {
    const std::string expanded = ExpandText(true);
    ScanText(expanded, TScanMode::Text);
}

void TFIBQuery::MakeServerText() {
    // Text is held as UTF-8 already, which is what a Unicode connection expects.
    FServerSQL = FProcessedSQL;
    FServerTextReady = true;
}

void TFIBQuery::ApplyMacros() {
    Close();
    FreeHandle();
    RebuildProcessedText();
    MakeServerText();
    FNeedsReExpansion = false;
    FNullStateDiffers = false;
}

// --- Parameters by name ---------------------------------------------------------------------

TFIBXSQLVAR* TFIBQuery::FindParam(const std::string& Name) { return Params().FindByName(Name); }

TFIBXSQLVAR& TFIBQuery::ParamByName(const std::string& Name) {
    if (TFIBXSQLVAR* var = FindParam(Name)) return *var;
    if (StrStartsWith("EXECUTE ", UpperCase(TrimLeft(FSQL.Text())))) {
        if (TFIBXSQLVAR* field = FindField(Name)) return *field;
        RaiseClientError(cecFieldNotFound, {Name});
    }
    throw Exception(FormatMessage(SFIBParameterNotExist, {Name, ComponentFullName(this)}));
}

bool TFIBQuery::ParamExists(const std::string& Name, int& Index) {
    TFIBXSQLVAR* var = FindParam(Name);
    Index = var ? var->Index() : -1;
    return var != nullptr;
}

void TFIBQuery::SetParamValues(const std::string& Names, const std::vector<Variant>& Values) {
    static const TCharSet separators = MakeCharSet(";");
    const int count = WordCount(Names, separators);
    if (count != static_cast<int>(Values.size()))
        throw Exception(FormatMessage(SFIBParamsCountMismatch, {"procedure " + ComponentFullName(this) + ".SetParamValues"}));
    for (int i = 0; i < count; ++i)
        ParamByName(Trim(ExtractWord(i + 1, Names, separators))).SetAsVariant(Values[static_cast<size_t>(i)]);
}

void TFIBQuery::SetParamValuesInOrder(const std::vector<Variant>& Values) {
    TFIBXSQLDA& params = Params();
    const int count = std::min(params.Count(), static_cast<int>(Values.size()));
    for (int i = 0; i < count; ++i) params.GetVar(i).SetAsVariant(Values[static_cast<size_t>(i)]);
}

std::string TFIBQuery::GetMacroDefaultValue(const std::string& Name) { return ParamByName(Name).MacroDefault; }

void TFIBQuery::SetParamValue(int Index, const Variant& Value) { Params().GetVar(Index).SetAsVariant(Value); }

// --- Values around the prepare and the execution --------------------------------------------

void TFIBQuery::SaveBindValues() {
    for (int i = 0; i < FBindArea->Count(); ++i) {
        TFIBXSQLVAR& var = FBindArea->GetVar(i);
        var.PreparedValue = var.HasAttributes() ? var.GetAsVariant() : Variant();
    }
}

void TFIBQuery::RestoreBindValues() {
    for (int i = 0; i < FBindArea->Count(); ++i) {
        TFIBXSQLVAR& var = FBindArea->GetVar(i);
        if (var.IsBlobOrArray()) continue;
        if (var.PreparedValue.IsEmpty())
            var.SetIsNull(true);
        else
            var.SetAsVariant(var.PreparedValue);
    }
}

void TFIBQuery::SaveParamValues() {
    for (int i = 0; i < FParamsArea->Count(); ++i) {
        TFIBXSQLVAR& var = FParamsArea->GetVar(i);
        if (var.HasAttributes()) var.PreparedValue = var.GetAsVariant();
    }
}

void TFIBQuery::RecordPendingConversions() {
    FPendingConversions.Clear();
    if (FRewritten)
        for (int i = 0; i < FBindArea->Count(); ++i)
            if (!FParamsArea->FindLocal(FBindArea->GetVar(i).Name())) FPendingConversions.Add(FBindArea->GetVar(i).Name());
    // A number set for a date before the type was known is a date-time value.
    for (int i = 0; i < FParamsArea->Count(); ++i) {
        TFIBXSQLVAR& var = FParamsArea->GetVar(i);
        if (var.IsMacro || var.GetIsNull()) continue;
        const int type = var.GetSQLType();
        if (type != SQL_DOUBLE && type != SQL_FLOAT && type != SQL_D_FLOAT && type != SQL_INT64) continue;
        const int described = var.GetServerSQLType();
        if (described == SQL_TIMESTAMP || described == SQL_TYPE_DATE) var.SetAsDateTime(var.GetAsDouble());
    }
}

void TFIBQuery::WritePendingBlobParams() {
    // Rewritten: the values reach the bind area first, which writes them there.
    if (FPendingBlobParams && !(FRewritten && FParamCheckInForce)) WritePendingBlobs(*FParamsArea);
}

void TFIBQuery::WritePendingBlobs(TFIBXSQLDA& Area) {
    TFIBDatabase* db = Database();
    TFIBTransaction* tr = Transaction();
    for (int i = 0; i < Area.Count(); ++i) {
        TFIBXSQLVAR& var = Area.GetVar(i);
        TMemoryStream* content = var.BlobStream();
        if (!content) continue;
        if (!db) RaiseClientError(cecDatabaseNotAssigned, {ComponentFullName(this)});
        if (!tr) RaiseClientError(cecTransactionNotAssigned, {ComponentFullName(this)});
        if (InSet(FOptions, qoStartTransaction) && !tr->Active()) tr->StartTransaction();
        const ISC_QUAD id = WriteNewBlob(*db, *tr, content->Bytes());
        var.SetAsQuad(id);
        if (&Area != FParamsArea.get())
            if (TFIBXSQLVAR* param = FParamsArea->FindLocal(var.Name())) param->SetAsQuad(id);
    }
}

void TFIBQuery::DropBlobStreams() {
    for (TFIBXSQLDA* area : {FParamsArea.get(), FBindArea.get()})
        for (int i = 0; i < area->Count(); ++i) area->GetVar(i).FreeBlobStream();
    FPendingBlobParams = false;
}

// --- Clauses --------------------------------------------------------------------------------

std::string TFIBQuery::MainWhereClause() {
    int start = 0, end = 0;
    std::string text;
    FParser.GetMainWhereClause(start, end, text);
    return text;
}

void TFIBQuery::SetMainWhereClause(const std::string& Condition) { SetSQLText(FParser.SetMainWhereClause(Condition)); }

std::string TFIBQuery::GetWhereClause(int N) {
    int start = 0, end = 0;
    std::string text;
    FParser.GetWhereClause(N, start, end, text);
    return text;
}

void TFIBQuery::SetOrderClause(const std::string& Order) {
    // The order goes into the statement's own text, then its conditions go back on.
    const bool applied = FConditions.Applied();
    if (applied) FConditions.CancelApply();
    SetSQLText(FParser.SetOrderByClause(Order));
    if (applied) FConditions.Apply();
}

void TFIBQuery::SetPlanClause(const std::string& Plan) { SetSQLText(FParser.SetPlanClause(Plan)); }

// --- Statistics and log ---------------------------------------------------------------------

ISQLStatMaker* TFIBQuery::ActiveStatistics() const {
    TFIBDatabase* db = Database();
    ISQLStatMaker* maker = db ? db->StatisticsMaker() : nullptr;
    return maker && maker->GetActiveStatistics() ? maker : nullptr;
}

void TFIBQuery::PrepareStatistics() {
    if (ISQLStatMaker* maker = ActiveStatistics()) {
        maker->SetStringValue(FProcessedSQL, "LastQueryName", ComponentFullName(this));
        maker->IncCounter(FProcessedSQL, "PrepareCount");
    }
}

void TFIBQuery::ExecuteStatisticsStart() {
    if (ISQLStatMaker* maker = ActiveStatistics()) {
        maker->SetStringValue(FProcessedSQL, "LastQueryName", ComponentFullName(this));
        maker->FixStartTime(FProcessedSQL, "LastTimeExecute");
        maker->IncCounter(FProcessedSQL, "ExecuteCount");
    }
}

void TFIBQuery::ExecuteStatisticsEnd() {
    ISQLStatMaker* maker = ActiveStatistics();
    if (!maker) return;
    const std::string& object = FProcessedSQL;
    const int time = maker->FixEndTime(object, "LastTimeExecute");
    const int sum = maker->AddIntValue(object, "SumTimeExecute", time);
    const int executions = maker->GetVarInt(object, "ExecuteCount");
    if (executions > 0)
        maker->SetIntValue(object, "AvgTimeExecute", static_cast<int>(std::lround(static_cast<double>(sum) / executions)));
    if (maker->GetVarInt(object, "MaxTimeExecute") < time) {
        maker->SetIntValue(object, "MaxTimeExecute", time);
        if (TStringList* lines = maker->GetVarStrings(object, "MaxTimeExecute")) {
            lines->Clear();
            for (int i = 0; i < FParamsArea->Count(); ++i) lines->Add(ParamLine(i));
        }
    }
}

std::string TFIBQuery::ParamLine(int Index) {
    TFIBXSQLVAR& var = FParamsArea->GetVar(Index);
    const std::string head = "Params[" + std::to_string(Index) + "]=";
    if (var.IsBlobOrArray() && !var.BlobStream()) {
        const ISC_QUAD id = var.GetAsQuad();
        return head + "(" + std::to_string(id.gds_quad_high) + "," + std::to_string(id.gds_quad_low) + ")";
    }
    return head + "'" + var.GetAsString() + "'";
}

bool TFIBQuery::LogFlag(TLogFlag Flag) const {
    TFIBDatabase* db = Database();
    return db && db->SQLLogger() && HasLogFlag(db->SQLLogger()->GetLogFlags(), Flag);
}

void TFIBQuery::LogPrepare(bool Failed) {
    TFIBDatabase* db = Database();
    if (db && db->SQLLogger())
        db->SQLLogger()->WriteData(ComponentFullName(this), Failed ? "Error on Prepare:" : "Prepare", FProcessedSQL,
                                   lfQPrepare);
}

void TFIBQuery::LogExecute(const std::string& ErrorMessage, bool Failed) {
    if (!LogFlag(lfQExecute)) return;
    TFIBTransaction* tr = Transaction();
    const std::string id = std::to_string(tr ? tr->GetTransactionID() : 0);
    const std::string header =
        Failed ? "Error on execute query. Error message:\"" + ErrorMessage + "\"" : std::string("Execute query:");
    std::string text = FProcessedSQL;
    for (int i = 0; i < FParamsArea->Count(); ++i) text += std::string(CRLF) + ParamLine(i);
    Database()->SQLLogger()->WriteData(ComponentFullName(this), "TrID=" + id + " " + header, text, lfQExecute);
}

void TFIBQuery::LogFetch() {
    if (!LogFlag(lfQFetch)) return;
    const std::string lineBreak(CRLF);
    std::string text = lineBreak;
    for (int i = 0; i < FFieldsArea->Count(); ++i) {
        TFIBXSQLVAR& field = FFieldsArea->GetVar(i);
        text += field.Name() + " = " + (field.GetIsNull() ? std::string("NULL") : field.GetAsString()) + lineBreak;
    }
    if (FEOF) text += lineBreak + "  End of file reached";
    Database()->SQLLogger()->WriteData(ComponentFullName(this), "Fetch:", text, lfQFetch);
}

// --- Field sources --------------------------------------------------------------------------

bool TFIBQuery::FieldExist(const std::string& Name, int& Index) {
    Index = FieldIndex(Name);
    return Index != -1;
}

Variant TFIBQuery::FieldValue(const std::string& Name, bool) { return FieldByName(Name).GetAsVariant(); }

Variant TFIBQuery::FieldValue(int Index, bool) { return GetFieldByIndex(Index).GetAsVariant(); }

void AssignParamsFromFieldSources(ISQLObject& Target, std::initializer_list<ISQLObject*> Sources) {
    for (int i = 0; i < Target.ParamCount(); ++i) {
        const std::string name = Target.ParamName(i);
        std::string field = name;
        bool old = false;
        if (name.size() >= 5 && (IsNewParamName(name) || IsOldParamName(name))) {
            old = IsOldParamName(name);
            field = name.substr(4);
        }
        for (ISQLObject* source : Sources) {
            if (!source) continue;
            int index = -1;
            if (source->FieldExist(field, index))
                Target.SetParamValue(i, source->FieldValue(index, old));
            else if (source->ParamExist(name, index))
                Target.SetParamValue(i, source->ParamValue(index));
        }
    }
}

} // namespace qnl
