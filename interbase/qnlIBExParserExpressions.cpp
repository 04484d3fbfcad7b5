// Implements the body reader's expressions, predicates and built-in functions; see
// qnlIBExParser.h.
#include "interbase/qnlIBExParser.h"

#include "objects/qnlComp_Ctr.h"
#include "objects/qnlComp_Dmn.h"
#include "objects/qnlComp_Trg.h"


namespace qnl {

namespace {

bool OneOf(const std::string& Name, std::initializer_list<const char*> Names) {
    for (const char* n : Names)
        if (Name == n) return true;
    return false;
}

} // namespace

void TIbExParser::ParseExpression() {
    const TNesting nesting(*this);
    if (!nesting) return;
    if (IsKeyword(kwNOT)) NextToken();
    ParseCondition();
    while (IsKeyword(kwAND) || IsKeyword(kwOR)) {
        NextToken();
        if (IsKeyword(kwNOT)) NextToken();
        ParseCondition();
    }
}

void TIbExParser::ParseCondition() {
    ParseBooleanPrimary();
    for (;;) {
        if (IsKeyword(kwNOT)) {
            NextToken();
            if (IsKeyword(kwBETWEEN) || IsKeyword(kwCONTAINING) || IsKeyword(kwEXISTS) || IsKeyword(kwIN) ||
                IsKeyword(kwIS) || IsKeyword(kwLIKE) || IsKeyword(kwSIMILAR) || IsKeyword(kwSINGULAR) ||
                IsKeyword(kwSTARTING) || IsKeyword(kwSTARTS)) {
                ParsePredicate();
            } else {
                ParseBooleanPrimary();
            }
        } else if (IsKeyword(kwBETWEEN) || IsKeyword(kwCONTAINING) || IsKeyword(kwIN) || IsKeyword(kwIS) ||
                   IsKeyword(kwLIKE) || IsKeyword(kwSIMILAR) || IsKeyword(kwSINGULAR) || IsKeyword(kwSTARTING) ||
                   IsKeyword(kwSTARTS)) {
            ParsePredicate();
        } else if (Token == tkEqual || Token == tkLess || Token == tkGreater || Token == tkLessEqual ||
                   Token == tkGreaterEqual || Token == tkNotEqual || Token == tkDoubleEqual) {
            NextToken();
            ParseBooleanPrimary();
        } else {
            return;
        }
    }
}

void TIbExParser::ParsePredicate() {
    if (IsKeyword(kwIS)) {
        NextToken();
        SkipKeyword(kwNOT);
        if (IsKeyword(kwNULL) || IsWordAny("TRUE") || IsWordAny("FALSE") || IsWordAny("UNKNOWN")) {
            NextToken();
        } else if (IsKeyword(kwDISTINCT)) {
            NextToken();
            ExpectKeyword(kwFROM);
            ParseSum();
        } else {
            ReportError("Must be: NULL/DISTINCT FROM.");
        }
    } else if (IsKeyword(kwIN)) {
        NextToken();
        ExpectAndNext(tkLParen);
        if (IsKeyword(kwSELECT) || IsKeyword(kwWITH))
            ParseQueryExpression();
        else
            ParseValueList();
        ExpectAndNext(tkRParen);
    } else if (IsKeyword(kwLIKE)) {
        NextToken();
        ParseSum();
        if (SkipKeyword(kwESCAPE)) ParseSum();
    } else if (IsKeyword(kwBETWEEN)) {
        NextToken();
        ParseSum();
        ExpectKeyword(kwAND);
        ParseSum();
    } else if (IsKeyword(kwSTARTING) || IsKeyword(kwSTARTS)) {
        NextToken();
        SkipKeyword(kwWITH);
        ParseSum();
    } else if (IsKeyword(kwCONTAINING)) {
        NextToken();
        ParseSum();
    } else if (IsKeyword(kwSIMILAR)) {
        NextToken();
        ExpectKeyword(kwTO);
        ParseSum();
        if (SkipKeyword(kwESCAPE)) ParseSum();
    } else {
        // EXISTS and SINGULAR after an operand start no predicate: reported and read over, so
        // that the condition always moves on.
        ReportError("Must be: IS/IN/EXISTS/SINGULAR/LIKE/BETWEEN/STARTING/CONTAINING.");
        if (!AtBodyEnd()) NextToken();
    }
}

void TIbExParser::ParseBooleanPrimary() {
    if (IsWordAny("INSERTING") || IsWordAny("UPDATING") || IsWordAny("DELETING")) {
        NextToken();
    } else if (IsKeyword(kwNOT)) {
        NextToken();
        ParseExpression();
    } else if (IsKeyword(kwALL) || IsKeyword(kwANY) || IsKeyword(kwEXISTS) || IsKeyword(kwIN) ||
               IsKeyword(kwSINGULAR) || IsKeyword(kwSOME)) {
        NextToken();
        ExpectAndNext(tkLParen);
        if (IsKeyword(kwSELECT) || IsKeyword(kwWITH))
            ParseQueryExpression();
        else
            ParseValueList();
        ExpectAndNext(tkRParen);
    } else {
        ParseSum();
    }
}

void TIbExParser::ParseSum() {
    if (Token == tkPlus || Token == tkMinus) NextToken();
    ParseTerm();
    while (Token == tkPlus || Token == tkMinus || Token == tkConcat) {
        NextToken();
        ParseTerm();
    }
}

void TIbExParser::ParseTerm() {
    ParseFactor();
    while (Token == tkStar || Token == tkSlash) {
        NextToken();
        ParseFactor();
    }
}

void TIbExParser::ParseFactor() {
    if (Token == tkColon) {
        // A variable or parameter, marked as such: never a column or a generator.
        NextToken();
        if (Token == tkIdent) {
            NextToken();
            if (Token == tkPoint) {  // a field of a cursor
                NextToken();
                if (Token == tkIdent) NextToken();
            }
            ParseArraySubscript();
        } else {
            Expect(tkIdent);
        }
        return;
    }
    const bool fb3 = From(st_Firebird_30) && Version() <= st_Firebird_40;
    const TTokenCode word = Token == tkIdent ? WordCode() : Token;
    if (Token == tkIdent && fb3 && QuoteChar == 0 && (TokenText == "TRUE" || TokenText == "FALSE" || TokenText == "UNKNOWN")) {
        NextToken();
    } else if (Token == tkIdent && word != kwGEN_ID && !(word == kwVALUE && dynamic_cast<TDmnData*>(BodyObject))) {
        ParseBuiltinFunction();
    } else if (Token == tkLParen) {
        NextToken();
        ParseExpression();
        ExpectAndNext(tkRParen);
    } else if (word == kwVALUE) {
        if (!dynamic_cast<TDmnData*>(BodyObject)) ReportError("Invalid factor in expression (" + CurTokenName() + ")");
        NextToken();
    } else if (word == kwCAST) {
        NextToken();
        ExpectAndNext(tkLParen);
        ParseExpression();
        ExpectKeyword(kwAS);
        ParseTypeName();
        ExpectAndNext(tkRParen);
    } else if (word == kwGEN_ID) {
        // GEN_ID as a keyword or as the name Firebird 3 leaves it: the generator is needed.
        NextToken();
        ExpectAndNext(tkLParen);
        if (Token == tkIdent) Link(TokenText, {dboGenerator});
        ExpectAndNext(tkIdent);
        if (Token == tkComma) {
            NextToken();
            ParseExpression();
        }
        ExpectAndNext(tkRParen);
    } else if (word == kwUPPER) {
        NextToken();
        ExpectAndNext(tkLParen);
        ParseExpression();
        ExpectAndNext(tkRParen);
    } else if ((word == kwLEFT || word == kwRIGHT) && From(st_Yaffil_1x)) {
        NextToken();
        ParseParenValueList();
    } else if (word == kwPOSITION) {
        NextToken();
        ExpectAndNext(tkLParen);
        ParseSum();
        if (IsKeyword(kwIN)) {
            NextToken();
            ParseSum();
        } else {
            while (Token == tkComma) {
                NextToken();
                ParseSum();
            }
        }
        ExpectAndNext(tkRParen);
    } else if (word == kwCASE) {
        NextToken();
        if (!IsKeyword(kwWHEN)) ParseSum();  // the operand of a simple CASE
        while (IsKeyword(kwWHEN)) {
            NextToken();
            ParseExpression();
            ExpectKeyword(kwTHEN);
            ParseExpression();
        }
        if (SkipKeyword(kwELSE)) ParseExpression();
        ExpectKeyword(kwEND);
    } else if (word == kwAVG || word == kwCOUNT || word == kwMAX || word == kwMIN || word == kwSUM) {
        NextToken();
        ExpectAndNext(tkLParen);
        if (IsKeyword(kwALL) || IsKeyword(kwDISTINCT)) NextToken();
        ParseExpression();
        ExpectAndNext(tkRParen);
        if (IsWordAny("OVER")) ParseWindowClause();
    } else if (word == kwSELECT) {
        NextToken();
        ParseSelect();
    } else if (word == kwWITH) {
        ParseQueryExpression();
    } else if (Token == tkMinus || Token == tkPlus) {
        const TNesting nesting(*this);
        if (nesting) ParseSum();
    } else if (Token == tkStar) {
        ResolveColumnRef(FDependent, {}, "*");
        NextToken();
    } else if (word == kwEXTRACT) {
        ParseExtractPart();
    } else if (word == kwCURRENT_TIME || word == kwCURRENT_TIMESTAMP) {
        NextToken();
        if (Token == tkLParen) {
            NextToken();
            ParseExpression();
            ExpectAndNext(tkRParen);
        }
    } else if (word == kwCharsetIntroducer || word == kwDISTINCT) {
        NextToken();
        ParseExpression();
    } else if (word == kwDATE || word == kwTIME || word == kwTIMESTAMP) {
        NextAndExpect(tkString);
        if (Token == tkString) NextToken();
    } else if (Token == tkFloat || Token == tkString || Token == tkInteger || word == kwCURRENT_DATE ||
               word == kwGDSCODE || word == kwNULL || word == kwRDB_DB_KEY || word == kwSQLCODE || word == kwUSER) {
        NextToken();
    } else if (word == kwDEFAULT && Version() == st_Firebird_40) {
        NextToken();
    } else {
        ReportError("Invalid factor in expression (" + CurTokenName() + ")");
        if (!AtBodyEnd()) NextToken();
    }
    if (IsKeyword(kwCOLLATE)) {
        NextToken();
        if (Token == tkIdent) NextToken();
    }
}

void TIbExParser::ParseBuiltinFunction() {
    const std::string name = TokenText;
    const bool quoted = QuoteChar != 0;
    // The character after the name decides between a call and a name.
    size_t at = CurIndex();
    while (at <= Source.size() && IsBlank(Source[at - 1])) ++at;
    const bool call = at <= Source.size() && Source[at - 1] == '(';
    const TIBSQLServerVersionType v = Version();
    auto between = [v](TIBSQLServerVersionType Low, TIBSQLServerVersionType High) { return v >= Low && v <= High; };
    const bool v4or8to12 = v == st_Yaffil_1x || between(st_Firebird_20, st_Firebird_40);

    if (call && !quoted) {
        auto valueList = [this] {
            NextToken();
            ParseParenValueList();
        };
        if (OneOf(name, {"COALESCE", "NULLIF", "IIF"})) return valueList();
        if (OneOf(name, {"LPAD", "RPAD", "MOD", "ROUND"}) && between(st_Firebird_21, st_Firebird_40)) return valueList();
        if (OneOf(name, {"RDB$GET_CONTEXT", "RDB$SET_CONTEXT"}) && between(st_Firebird_20, st_Firebird_40))
            return valueList();
        if (name == "COT" && between(st_Firebird_21, st_Firebird_40)) return valueList();
        if (OneOf(name, {"PI", "RAND"}) && between(st_Firebird_21, st_Firebird_40)) return valueList();
        if (OneOf(name, {"ROW_NUMBER", "RANK", "DENSE_RANK", "LAG", "LEAD", "FIRST_VALUE", "LAST_VALUE", "NTH_VALUE"}) &&
            From(st_Firebird_30)) {
            valueList();
            if (IsKeyword(kwFROM)) {  // NTH_VALUE (x, n) FROM FIRST | LAST
                NextToken();
                if (!SkipWord("FIRST")) ExpectWord("LAST");
            }
            if (IsWordAny("OVER")) ParseWindowClause();
            return;
        }
        if (name == "LIST" && between(st_Firebird_21, st_Firebird_40)) {
            NextToken();
            ExpectAndNext(tkLParen);
            if (IsKeyword(kwALL) || IsKeyword(kwDISTINCT)) NextToken();
            ParseValueList();
            ExpectAndNext(tkRParen);
            return;
        }
        if (name == "SUBSTRING") return ParseSubstringArgs();
        if (name == "EXTRACT") return ParseExtractPart();
        if (name == "TRIM" && v4or8to12) return ParseTrimArgs();
        if (name == "OVERLAY" && v4or8to12) return ParseOverlayArgs();
        if (name == "DATEDIFF" && v4or8to12) return ParseDateDiffArgs();
        if (name == "DATEADD" && v4or8to12) return ParseDateAddArgs();
        if (OneOf(name, {"CURRENT_TIME", "CURRENT_TIMESTAMP"})) {
            NextToken();
            NextToken();
            ParseExpression();
            ExpectAndNext(tkRParen);
            return;
        }
        NextToken();
        return ParseNameReference(name);
    }
    if (!call && !quoted && (name == "NEW" || name == "OLD")) {
        NextToken();
        auto* trigger = dynamic_cast<TTrgData*>(BodyObject);
        auto* check = dynamic_cast<TCtrData*>(BodyObject);
        if (check && check->ConstraintType != ctCheck) check = nullptr;
        if ((trigger || check) && Token == tkPoint) {
            NextToken();
            if (Token != tkIdent && Token != tkStar && !IsKeyword(kwRDB_DB_KEY)) Expect(tkIdent);
            const std::string column = TokenText;
            if (Token == tkIdent) {
                if (trigger && trigger->Relation) {
                    Depend(trigger->Relation, column);
                } else if (check) {
                    if (!Objs)
                        ReportError("NEW./OLD. context variable is not into trigger body.");
                    else
                        Depend(Objs->FindTable(check->TableName), column);
                }
            }
            if (!AtBodyEnd()) NextToken();
            ParseArraySubscript();
            return;
        }
        return ParseNameReference(name);
    }
    if (!call && !quoted &&
        OneOf(name, {"CURRENT_USER", "TRANSACTION_ID", "CONNECTION_ID", "CURRENT_DATE", "CURRENT_ROLE", "ROWS_AFFECTED"})) {
        NextToken();
        return;
    }
    NextToken();
    ParseNameReference(name);
}

void TIbExParser::ParseNameReference(const std::string& Name) {
    if (Token == tkPoint) {
        NextToken();
        if (Token == tkIdent) {
            const std::string member = TokenText;
            NextToken();
            if (Token == tkLParen) {
                // PKG.F(...): a packaged function, which needs its package.
                if (Objs) Depend(Objs->FindPackage(Name));
                ParseParenValueList();
                return;
            }
            ResolveColumnRef(FDependent, Name, member);
            ParseArraySubscript();
        } else if (Token == tkStar) {
            ResolveColumnRef(FDependent, Name, "*");
            NextToken();
        } else if (IsKeyword(kwRDB_DB_KEY)) {
            NextToken();
        }
        return;
    }
    if (Token == tkLBracket) {
        // An element of an array column: the column is read.
        ResolveColumnRef(FDependent, {}, Name);
        return ParseArraySubscript();
    }
    if (Token == tkLParen) {
        DependOnFunction(Name);
        NextToken();
        if (Token != tkRParen) ParseValueList();
        ExpectAndNext(tkRParen);
        return;
    }
    if (Name == "NEXT" && (IsKeyword(kwVALUE) || IsWordAny("VALUE"))) {
        // NEXT VALUE FOR G: the generator is needed, whatever FROM list is around.
        NextToken();
        ExpectKeyword(kwFOR);
        if (Token == tkIdent) Link(TokenText, {dboGenerator});
        ExpectAndNext(tkIdent);
        return;
    }
    ResolveColumnRef(FDependent, {}, Name);
}

void TIbExParser::ParseWindowClause() {
    ExpectWord("OVER");
    ExpectAndNext(tkLParen);
    if (IsWordAny("PARTITION")) {
        NextToken();
        ExpectKeyword(kwBY);
        ParseValueList();
    }
    if (IsKeyword(kwORDER)) {
        NextToken();
        ExpectKeyword(kwBY);
        ParseValueList();
    }
    ExpectAndNext(tkRParen);
}

void TIbExParser::ParseExtractPart() {
    NextToken();
    ExpectAndNext(tkLParen);
    const TIBSQLServerVersionType v = Version();
    const bool newer = v >= st_Firebird_21 && v <= st_Firebird_40;
    if (IsWordAny("SECOND") || IsWordAny("MINUTE") || IsWordAny("HOUR") || IsWordAny("DAY") || IsWordAny("MONTH") ||
        IsWordAny("YEAR") || IsWordAny("WEEKDAY") || IsWordAny("YEARDAY") || IsKeyword(kwYEAR) || IsKeyword(kwYEARDAY) ||
        (newer && (IsWordAny("WEEK") || IsWordAny("MILLISECOND"))) ||
        (v == st_Firebird_40 && (IsWordAny("TIMEZONE_HOUR") || IsWordAny("TIMEZONE_MINUTE")))) {
        NextToken();
    } else {
        ReportError("Invalid <part> in EXTRACT(part FROM value) function.");
        if (!AtBodyEnd() && Token != tkRParen) NextToken();
    }
    ExpectKeyword(kwFROM);
    ParseSum();
    ExpectAndNext(tkRParen);
}

void TIbExParser::ParseTrimArgs() {
    NextToken();
    ExpectAndNext(tkLParen);
    if (IsWordAny("LEADING") || IsWordAny("TRAILING") || IsWordAny("BOTH")) NextToken();
    if (!IsKeyword(kwFROM)) ParseSum();
    if (SkipKeyword(kwFROM)) ParseSum();
    ExpectAndNext(tkRParen);
}

void TIbExParser::ParseOverlayArgs() {
    NextToken();
    ExpectAndNext(tkLParen);
    ParseSum();
    ExpectWord("PLACING");
    ParseSum();
    ExpectKeyword(kwFROM);
    ParseSum();
    if (SkipKeyword(kwFOR)) ParseSum();
    ExpectAndNext(tkRParen);
}

void TIbExParser::ParseSubstringArgs() {
    // SUBSTRING (s FROM a [FOR b]), and from Firebird 3 SUBSTRING (s SIMILAR p ESCAPE e).
    NextToken();
    ExpectAndNext(tkLParen);
    ParseSum();
    if (IsKeyword(kwSIMILAR) && From(st_Firebird_30)) {
        NextToken();
        ParseSum();
        ExpectKeyword(kwESCAPE);
        ParseSum();
    } else {
        ExpectKeyword(kwFROM);
        ParseSum();
        if (SkipKeyword(kwFOR)) ParseSum();
    }
    ExpectAndNext(tkRParen);
}

namespace {
// The timestamp parts of DATEADD and DATEDIFF; WEEK from Firebird 3.
bool IsDatePart(const std::string& Text, bool Quoted, TIBSQLServerVersionType V, bool WithWeekday) {
    if (Quoted) return false;
    if (OneOf(Text, {"MILLISECOND", "SECOND", "MINUTE", "HOUR", "DAY", "MONTH", "YEAR"})) return true;
    if (WithWeekday && Text == "WEEKDAY") return true;
    return Text == "WEEK" && V >= st_Firebird_30 && V <= st_Firebird_40;
}
} // namespace

void TIbExParser::ParseDateDiffArgs() {
    NextToken();
    ExpectAndNext(tkLParen);
    const bool word = Token == tkIdent || Token >= FixedTokenCount;
    if (!word || !IsDatePart(UpperCase(TokenText), QuoteChar != 0, Version(), true)) {
        ReportError("Invalid timestamp part in DATEDIFF function.");
        return;
    }
    NextToken();
    if (SkipKeyword(kwFROM)) {
        ParseSum();
        ExpectKeyword(kwTO);
        ParseSum();
    } else {
        ExpectAndNext(tkComma);
        ParseSum();
        ExpectAndNext(tkComma);
        ParseSum();
    }
    ExpectAndNext(tkRParen);
}

void TIbExParser::ParseDateAddArgs() {
    NextToken();
    ExpectAndNext(tkLParen);
    const bool word = Token == tkIdent || Token >= FixedTokenCount;
    if (word && IsDatePart(UpperCase(TokenText), QuoteChar != 0, Version(), false) && PeekWordCode() == tkComma) {
        // DATEADD (part, n, value)
        NextToken();
        NextToken();
        ParseSum();
        ExpectAndNext(tkComma);
        ParseSum();
    } else {
        // DATEADD (n part TO value)
        ParseSum();
        if ((Token == tkIdent || Token >= FixedTokenCount) &&
            IsDatePart(UpperCase(TokenText), QuoteChar != 0, Version(), false)) {
            NextToken();
            ExpectKeyword(kwTO);
            ParseSum();
        }
    }
    ExpectAndNext(tkRParen);
}

void TIbExParser::ParseArraySubscript() {
    if (Token != tkLBracket) return;
    NextToken();
    for (;;) {
        ParseExpression();
        if (Token == tkColon) {  // a slice
            NextToken();
            ParseExpression();
        }
        if (Token != tkComma) break;
        NextToken();
    }
    ExpectAndNext(tkRBracket);
}

} // namespace qnl
