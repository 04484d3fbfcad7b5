// Implements the InterBase/Firebird DDL reader's data types, column definitions, column
// attributes and DEFAULT values; see qnlIBParser.h.
#include "interbase/qnlIBParser.h"

#include "objects/qnlComp_Ctr.h"
#include "objects/qnlComp_Tbl.h"

#include <limits>

namespace qnl {

TTokenCode TIbParser::TypeWordCode() const {
    const TIBSQLServerVersionType v = ServerVersion();
    if (v == st_Yaffil_1x && IsWord("NUM")) return kwNUMERIC;
    if (v == st_Firebird_40 && IsWord("DECFLOAT")) return kwDECFLOAT;
    return WordCode();
}

bool TIbParser::IsDataTypeToken() {
    switch (TypeWordCode()) {
    case kwBLOB:
    case kwCHAR:
    case kwCSTRING:
    case kwDATE:
    case kwDECFLOAT:
    case kwBINARY:
    case kwDEC:
    case kwDOUBLE:
    case kwFLOAT:
    case kwVARBINARY:
    case kwINT:
    case kwNUMERIC:
    case kwREAL:
    case kwSMALLINT:
    case kwTIME:
    case kwTIMESTAMP:
    case kwTYPE:
    case kwVARCHAR:
    case kwNATIONAL:
    case kwNCHAR:
    case kwBIGINT:
    case kwBOOLEAN: return true;
    default: return false;
    }
}

std::unique_ptr<TFldData> TIbParser::ParseFieldDef(TDbObj* Owner, const std::string& OwnerName) {
    Expect(tkIdent);
    if (Token != tkIdent) return nullptr;
    auto column = std::make_unique<TFldData>(Objs, nullptr);
    column->SetName(TokenText);
    column->OwnerName = Owner ? Owner->Name : OwnerName;
    column->Owner = Owner;
    ErrField = column->Name;
    NextToken();
    ParseDataType(*column, nullptr);
    return column;
}

void TIbParser::ParseColumnList(TColumnNameList& List) {
    if (Token != tkLParen) return Expect(tkLParen);
    do {
        NextAndExpect(tkIdent);
        if (Token != tkIdent) return;
        List.AddColumn(TokenText);
        NextToken();
    } while (Token == tkComma);
    if (Token != tkRParen) return Expect(tkRParen);
    NextToken();
}

void TIbParser::ParseDataType(TFldData& Column, TDbObj* Domain) {
    ParseDataTypeWord(Column);
    if (Failed()) return;
    ParseArrayDimensions(Column);
    if (IsKeyword(kwCHAR)) {  // CHARACTER SET
        NextToken();
        if (!IsKeyword(kwSET)) return Expect(kwSET);
        NextAndExpect(tkIdent);
        if (Failed()) return;
        Column.CharSetName = TokenText;
        if (const TIBServerOptions* o = GetIBOptions(); o && SameText(Column.CharSetName, o->DBCharSet()))
            Column.CharSetName.clear();
        NextToken();
    }
    if (ServerVersion() == st_Firebird_40 && (Column.DataType == dtTime || Column.DataType == dtTimeStamp) &&
        (IsKeyword(kwWITH) || IsWord("WITHOUT"))) {
        Column.WithTimeZone = IsKeyword(kwWITH);
        NextToken();
        if (!IsKeyword(kwTIME)) return ExpectIdent("TIME");
        NextToken();
        if (!IsWord("ZONE")) return ExpectIdent("ZONE");
        NextToken();
    }
    ParseColumnAttributes(Column, Domain != nullptr);
    if (!Failed() && IsKeyword(kwCOMPUTED)) ParseComputedBy(Column);
}

void TIbParser::ParseDataTypeWord(TFldData& Column) {
    auto simple = [&](uint8_t DataType) {
        Column.DataType = DataType;
        NextToken();
    };
    switch (TypeWordCode()) {
    case kwINT: return simple(dtInteger);
    case kwSMALLINT: return simple(dtSmallInt);
    case kwBIGINT: return simple(dtBigInt);
    case kwBOOLEAN: return simple(dtBoolean);
    case kwFLOAT: return simple(dtFloat);
    case kwREAL: return simple(dtReal);
    case kwDATE: return simple(dtDate);
    case kwTIME: return simple(dtTime);
    case kwTIMESTAMP: return simple(dtTimeStamp);
    case kwDOUBLE:
        NextToken();
        if (!IsKeyword(kwPRECISION)) return Expect(kwPRECISION);
        return simple(dtDoublePrecision);
    case kwDECFLOAT:
        simple(dtDecFloat);
        Column.Precision = 34;
        Column.Scale = 0;
        if (Token == tkLParen) ParsePrecisionScale(Column.Precision, Column.Scale);
        return;
    case kwNUMERIC:
        simple(dtNumeric);
        return ParsePrecisionScale(Column.Precision, Column.Scale);
    case kwDEC:
        simple(dtDecimal);
        return ParsePrecisionScale(Column.Precision, Column.Scale);
    case kwVARCHAR: simple(dtVarChar); return ParseCharLength(Column);
    case kwCSTRING: simple(dtCString); return ParseCharLength(Column);
    case kwVARBINARY: simple(dtVarBinary); return ParseCharLength(Column);
    case kwNATIONAL:
        // NATIONAL CHARACTER [VARYING] and NATIONAL CHAR are NCHAR.
        NextToken();
        if (!IsKeyword(kwCHAR)) return Expect(kwCHAR);
        [[fallthrough]];
    case kwNCHAR: Column.CharSetName = "ISO8859_1"; [[fallthrough]];
    case kwCHAR:
        NextToken();
        Column.DataType = dtChar;
        if (IsKeyword(kwVARYING)) simple(dtVarChar);
        return ParseCharLength(Column);
    case kwBINARY:
        NextToken();
        Column.DataType = dtBinary;
        if (IsKeyword(kwVARYING)) simple(dtVarBinary);
        return ParseCharLength(Column);
    case kwBLOB:
        Column.SegmentLength = 80;
        simple(dtBlob);
        return ParseBlobOptions(Column);
    case kwTYPE:
        if (PeekWordCode() == kwOF) return ParseTypeOf(Column);
        break;  // a domain named TYPE
    case kwCOMPUTED:
        if (const TTokenCode next = PeekWordCode(); next == kwBY || next == tkLParen) return ParseComputedBy(Column);
        break;  // a domain named COMPUTED
    default:
        if (IsGeneratedAlways()) return ParseComputedBy(Column);
        break;
    }
    if (Token == tkIdent || (Token == tkString && QuoteChar == '"')) {
        // Any other name is a domain; in dialect 1 a double-quoted one comes as a string.
        Column.DataType = dtDomain;
        Column.DomainName = Token == tkString ? ValueText : TokenText;
        NextToken();
    }
}

void TIbParser::ParseCharLength(TFldData& Column) {
    Column.FieldLength = Column.CharLength = 1;
    if (Token != tkLParen) return;
    NextAndExpect(tkInteger);
    if (Failed() || !Int32InRange(Column.FieldLength)) return;
    Column.CharLength = Column.FieldLength;
    NextToken();
    if (Token != tkRParen) return Expect(tkRParen);
    NextToken();
}

void TIbParser::ParseBlobOptions(TFldData& Column) {
    if (IsKeyword(kwSUB_TYPE)) {
        NextToken();
        if (IsKeyword(kwBINARY)) {
            Column.SubType = 0;
        } else if (IsWord("TEXT")) {
            Column.SubType = 1;
        } else if (IsWord("BLR")) {
            Column.SubType = 2;
        } else if (Token == tkInteger || Token == tkMinus || Token == tkPlus) {
            Expect(tkInteger);
            if (Failed() || !Int32InRange(Column.SubType)) return;
        } else {
            return ReportError("Unknown blob-subtype.");
        }
        NextToken();
    }
    if (IsKeyword(kwSEGMENT)) {
        NextToken();
        if (!IsKeyword(kwSIZE)) return ExpectIdent("SIZE");
        NextAndExpect(tkInteger);
        if (Failed() || !Int32InRange(Column.SegmentLength)) return;
        NextToken();
    }
    if (Token == tkLParen) {
        // BLOB (segment size [, sub-type])
        NextAndExpect(tkInteger);
        if (Failed() || !Int32InRange(Column.SegmentLength)) return;
        NextToken();
        if (Token == tkComma) {
            NextAndExpect(tkInteger);
            if (Failed() || !Int32InRange(Column.SubType)) return;
            NextToken();
        }
        if (Token != tkRParen) return Expect(tkRParen);
        NextToken();
    }
}

void TIbParser::ParseTypeOf(TFldData& Column) {
    // TYPE OF COLUMN relation.column, or TYPE OF domain.
    Column.TypeOf = true;
    NextToken();  // OF
    NextToken();  // what follows it
    if (!IsKeyword(kwCOLUMN)) return ParseDataTypeWord(Column);
    NextAndExpect(tkIdent);
    if (Failed()) return;
    Column.SetRare().TypeOfTable = TokenText;
    NextAndExpect(tkPoint);
    if (Failed()) return;
    NextAndExpect(tkIdent);
    if (Failed()) return;
    Column.SetRare().TypeOfColumn = TokenText;
    Column.DataType = dtDomain;
    if (TDbObj* table = Objs ? Objs->FindTable(Column.Rare().TypeOfTable) : nullptr) Column.Owner = table;
    NextToken();
}

bool TIbParser::IsGeneratedAlways() {
    if (!IsWord("GENERATED")) return false;
    TScannerState atWord(*this);
    NextToken();
    const bool always = IsWord("ALWAYS");
    atWord.Restore();
    return always;
}

void TIbParser::ParseComputedBy(TFldData& Column) {
    if (IsWord("GENERATED")) {
        // GENERATED ALWAYS AS (expression), the standard's name for COMPUTED BY.
        NextToken();
        NextToken();
        if (!IsKeyword(kwAS)) return Expect(kwAS);
    }
    NextToken();
    if (IsKeyword(kwBY)) NextToken();
    if (Token != tkLParen) return Expect(tkLParen);
    ReadBodyText(&Column, static_cast<int64_t>(TokenStart));
}

void TIbParser::ParseArrayDimensions(TFldData& Column) {
    if (Token != tkLBracket) return;
    // [n] is 1..n; [m:n] must not run backwards.
    const size_t start = TokenStart;
    Column.ArrayBounds.clear();
    do {
        NextToken();
        Expect(tkInteger);
        if (Failed() || !IntInRange(std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max())) return;
        int64_t lower = 1, upper = IntValue;
        NextToken();
        if (Token == tkColon) {
            NextAndExpect(tkInteger);
            if (Failed() || !IntInRange(std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()))
                return;
            lower = upper;
            upper = IntValue;
            NextToken();
        }
        if (lower > upper) return ReportErrorAt("Illegal array dimension range", start);
        Column.ArrayBounds.emplace_back(static_cast<int32_t>(lower), static_cast<int32_t>(upper));
    } while (Token == tkComma);
    if (Token != tkRBracket) return Expect(tkRBracket);
    NextToken();
}

void TIbParser::ParseIdentity(TFldData& Column) {
    // GENERATED BY DEFAULT AS IDENTITY [(START WITH n)]; Firebird makes the column NOT NULL.
    NextToken();
    if (!IsKeyword(kwBY)) return Expect(kwBY);
    NextToken();
    if (!IsKeyword(kwDEFAULT)) return Expect(kwDEFAULT);
    NextToken();
    if (!IsKeyword(kwAS)) return Expect(kwAS);
    NextToken();
    if (!IsWord("IDENTITY")) return ExpectIdent("IDENTITY");
    Column.Identity = true;
    Column.Nullable = false;
    NextToken();
    if (Token != tkLParen) return;
    NextToken();
    if (!IsWord("START")) return ExpectIdent("START");
    NextToken();
    if (!IsKeyword(kwWITH)) return Expect(kwWITH);
    NextAndExpect(tkInteger);
    if (Failed() || !IntInRange(std::numeric_limits<int64_t>::min(), std::numeric_limits<int64_t>::max())) return;
    Column.IdentitySeed = IntValue;
    NextToken();
    if (Token != tkRParen) return Expect(tkRParen);
    NextToken();
}

void TIbParser::ParseColumnAttributes(TFldData& Column, bool IsDomain) {
    if (IsGeneratedAlways()) return ParseComputedBy(Column);
    if (IsWord("GENERATED")) ParseIdentity(Column);
    while (!Failed()) {
        switch (WordCode()) {
        case tkEqual:
        case kwDEFAULT: {
            NextToken();
            std::string text;
            ParseDefaultValue(&Column, text);
            Column.DefaultValue = text;
            // A column does not repeat the default of its domain.
            const TFldData* domainType = Column.DataType == dtDomain ? Column.GetDomainType() : nullptr;
            if (domainType && !Column.GetDefault().empty() && Column.GetDefault() == domainType->GetDefault())
                Column.DefaultValue.clear();
            break;
        }
        case kwNOT:
            NextToken();
            if (!IsKeyword(kwNULL)) return Expect(kwNULL);
            Column.Nullable = false;
            NextToken();
            break;
        case kwNULL:
            // Nothing for a column; an external-function argument passes a NULL as such.
            Column.ByReferenceWithNull = true;
            NextToken();
            break;
        case kwCOLLATE:
            NextAndExpect(tkIdent);
            if (Failed()) return;
            Column.CollationName = TokenText;
            NextToken();
            break;
        case kwBY:
            NextToken();
            if (IsKeyword(kwDESCRIPTOR))
                Column.ByDescriptor = true;
            else if (IsKeyword(kwVALUE))
                Column.ByValue = true;
            else
                return ReportError("Must be: BY DESCRIPTOR / BY VALUE");
            NextToken();
            break;
        case kwCONSTRAINT:
            if (!IsDomain) {
                ParseNamedConstraint(&Column, nullptr, {});
                break;
            }
            NextToken();  // a domain's CONSTRAINT introduces its CHECK
            if (!IsKeyword(kwCHECK)) return Expect(kwCHECK);
            break;
        case kwCHECK:
            if (!IsDomain) {
                ParseConstraint(nullptr, &Column, {}, nullptr);
                break;
            }
            NextToken();
            if (Token != tkLParen) return Expect(tkLParen);
            Column.SetRare().CheckSource = ReadParenthesisedText();
            break;
        case kwPRIMARY:
        case kwUNIQUE:
        case kwFOREIGN:
        case kwREFERENCES:
            if (IsDomain) return;
            ParseConstraint(nullptr, &Column, {}, nullptr);
            break;
        default: return;
        }
    }
}

void TIbParser::ParseDefaultValue(TDbObj* /*Obj*/, std::string& Text) {
    Text.clear();
    const size_t start = TokenStart;
    // The value and what belongs to it, as written: a sign and its number, an introducer and
    // its string, DATE/TIME/TIMESTAMP and their literal, CURRENT_TIME(n).
    auto through = [&](size_t End) {
        Text = StoredText(start, End);
        NextToken();
    };
    const TTokenCode word = Token == tkIdent ? tkIdent : WordCode();
    switch (word) {
    case tkIdent:
    case tkInteger:
    case tkFloat:
    case tkString:
    case kwNULL:
    case kwUSER:
    case kwCURRENT_DATE: return through(TokenEnd());
    case kwCURRENT_TIME:
    case kwCURRENT_TIMESTAMP: {
        size_t end = TokenEnd();
        NextToken();
        if (Token == tkLParen) {
            NextAndExpect(tkInteger);
            if (Failed()) return;
            NextToken();
            if (Token != tkRParen) return Expect(tkRParen);
            end = TokenEnd();
            NextToken();
        }
        Text = GetText(start, end - start);
        return;
    }
    case kwDATE:
    case kwTIME:
    case kwTIMESTAMP:
    case kwCharsetIntroducer:
        NextAndExpect(tkString);
        if (Failed()) return;
        return through(TokenEnd());
    case tkMinus:
    case tkPlus:
        NextToken();
        return through(TokenEnd());
    default: ReportError("DEFAUT <value> error...");
    }
}

} // namespace qnl
