// Implements the body reader's procedural statements; see qnlIBExParser.h.
#include "interbase/qnlIBExParser.h"

#include "objects/qnlComp_Ctr.h"
#include "objects/qnlComp_Pkg.h"
#include "objects/qnlComp_Prc.h"
#include "objects/qnlComp_Trg.h"

namespace qnl {

void TIbExParser::ParsePSQLStatement() {
    const TNesting nesting(*this);
    if (!nesting) return;
    // A variable that carries the name of an unreserved keyword is assigned, not a statement.
    if (Token == tkIdent && WordCode() != tkIdent && PeekWordCode() == tkEqual) {
        const std::string name = TokenText;
        NextToken();
        ParseTargetRef(name);
    } else if (IsKeyword(kwBEGIN)) {
        ParseBlock();
    } else if (IsKeyword(kwEXCEPTION)) {
        ParseRaiseException();
    } else if (IsKeyword(kwIF)) {
        ParseIf();
    } else if (IsKeyword(kwEXECUTE)) {
        ParseExecute();
    } else if (IsKeyword(kwFOR)) {
        ParseForStatement();
    } else if (IsKeyword(kwPOST_EVENT)) {
        ParsePostEvent();
    } else if (IsKeyword(kwSELECT)) {
        ParseSingletonSelect();
    } else if (IsKeyword(kwINSERT)) {
        ParseInsert();
    } else if (IsKeyword(kwUPDATE)) {
        ParseUpdate();
    } else if (IsKeyword(kwDELETE)) {
        ParseDelete();
    } else if (IsKeyword(kwMERGE)) {
        ParseMerge();
    } else if (IsKeyword(kwWHEN)) {
        ParseWhenHandler();
    } else if (IsKeyword(kwWHILE)) {
        ParseWhile();
    } else if (IsKeyword(kwWITH)) {
        ParseQueryExpression();
        if (SkipKeyword(kwINTO)) ParseExpressionList();
    } else if (IsKeyword(kwALTER)) {
        ParseAlterInBody();
    } else if (IsKeyword(kwSET)) {
        ParseSetStatement();
    } else if (IsKeyword(kwEXIT) || IsKeyword(kwSUSPEND) || IsWordAny("BREAK") || IsWordAny("LEAVE") ||
               IsWordAny("CONTINUE")) {
        NextToken();
        if (Token == tkIdent) NextToken();  // the label of LEAVE or CONTINUE
    } else if (IsKeyword(kwIN)) {
        NextToken();
        if (!IsWordAny("AUTONOMOUS")) {
            ReportError("AUTONOMOUS expected, but " + UpperCase(TokenText) + " found.");
        } else {
            NextToken();
            if (!IsWordAny("TRANSACTION")) {
                ReportError("TRANSACTION expected, but " + UpperCase(TokenText) + " found.");
            } else {
                NextToken();
                ExpectKeyword(kwDO);
                ParsePSQLStatement();
            }
        }
    } else if (IsWordAny("RETURN")) {
        NextToken();
        ParseExpression();
    } else if (IsKeyword(kwOPEN) || IsKeyword(kwCLOSE)) {
        NextAndExpect(tkIdent);
        if (Token == tkIdent) NextToken();
    } else if (IsKeyword(kwFETCH)) {
        ParseFetch();
    } else {
        if (Token == tkColon) NextToken();
        const std::string name = TokenText;
        const bool ident = Token == tkIdent;
        if (AtBodyEnd()) return;
        NextToken();
        if (Token == tkColon) {
            NextToken();  // a label
            return;
        }
        if (ident && Token == tkLParen) {
            // A call as a statement: an external function for its side effect.
            Link(name, {dboFunction});
            ParseParenValueList();
        } else {
            ParseTargetRef(name);
        }
    }
    if (Token == tkSemicolon) NextToken();
}

void TIbExParser::ParseFetch() {
    // FETCH c INTO ..., or a scrollable cursor's FETCH NEXT | PRIOR | FIRST | LAST | ABSOLUTE n |
    // RELATIVE n FROM c INTO ...
    NextToken();
    if (IsWordAny("NEXT") || IsWordAny("PRIOR") || IsWordAny("FIRST") || IsWordAny("LAST")) {
        NextToken();
        ExpectKeyword(kwFROM);
    } else if (IsWordAny("ABSOLUTE") || IsWordAny("RELATIVE")) {
        NextToken();
        ParseSum();
        ExpectKeyword(kwFROM);
    }
    Expect(tkIdent);
    if (Token != tkIdent) return;
    NextToken();
    ExpectKeyword(kwINTO);
    ParseExpressionList();
}

void TIbExParser::ParseAssignment(const std::string& Name) {
    if (Token == tkPoint && (Name == "NEW" || Name == "OLD")) {
        NextToken();
        if (!(Token == tkStar && Version() == st_Firebird_40)) Expect(tkIdent);
        const std::string column = TokenText;
        auto* trigger = dynamic_cast<TTrgData*>(BodyObject);
        if (!trigger)
            ReportError("NEW./OLD. context variable is not into trigger body.");
        else if (Objs && trigger->Relation && Token == tkIdent)
            Depend(trigger->Relation, column);
        if (!AtBodyEnd()) NextToken();
    } else if (Token == tkPoint) {
        NextAndExpect(tkIdent);
        if (Token == tkIdent) {
            const std::string column = TokenText;
            NextToken();
            ResolveColumnRef(FDependent, Name, column);
        }
    } else if (CurrentContext()) {
        ResolveColumnRef(FDependent, {}, Name);
    }
    if (Token == tkEqual) {
        NextToken();
        ParseExpression();
    } else if (Token == tkColon) {
        NextToken();
    } else {
        ReportError("Invalid statement (? assignment)");
    }
}

void TIbExParser::ParseIf() {
    NextToken();
    ExpectAndNext(tkLParen);
    ParseExpression();
    ExpectAndNext(tkRParen);
    ExpectKeyword(kwTHEN);
    ParsePSQLStatement();
    if (SkipKeyword(kwELSE)) ParsePSQLStatement();
}

void TIbExParser::ParseWhile() {
    NextToken();
    ExpectAndNext(tkLParen);
    ParseExpression();
    ExpectAndNext(tkRParen);
    ExpectKeyword(kwDO);
    ParsePSQLStatement();
}

void TIbExParser::ParseForStatement() {
    NextToken();
    if (IsKeyword(kwSELECT)) {
        NextToken();
        ParseSelectInto();
    } else if (IsKeyword(kwEXECUTE)) {
        NextToken();
        ExpectWord("STATEMENT");
        ParseExecStmtOptions();
        ExpectKeyword(kwINTO);
        ParseExpressionList();
    } else if (IsKeyword(kwWITH)) {
        ParseQueryExpression();
        if (SkipKeyword(kwINTO) || IsKeyword(kwAS)) ParseExpressionList();
    } else {
        ReportError("Must be: SELECT / EXECUTE / WITH");
        if (!AtBodyEnd()) NextToken();
    }
    ExpectKeyword(kwDO);
    ParsePSQLStatement();
}

void TIbExParser::ParseWhenHandler() {
    NextToken();
    if (SkipKeyword(kwANY)) {
        // WHEN ANY DO
    } else if (IsKeyword(kwEXCEPTION) || IsKeyword(kwGDSCODE) || IsKeyword(kwSQLCODE) || IsWordAny("SQLSTATE")) {
        for (;;) {
            if (IsKeyword(kwGDSCODE) || IsKeyword(kwSQLCODE) || IsWordAny("SQLSTATE")) {
                NextToken();
                ParseSum();
            } else if (IsKeyword(kwEXCEPTION)) {
                NextToken();
                if (Token == tkIdent) Link(TokenText, {dboException});
                ExpectAndNext(tkIdent);
            } else {
                ReportError("Must be: EXCEPTION / GDSCODE / SQLCODE / SQLSTATE");
                break;
            }
            if (Token != tkComma) break;
            NextToken();
        }
    } else {
        return;
    }
    ExpectKeyword(kwDO);
    ParsePSQLStatement();
}

void TIbExParser::ParseRaiseException() {
    NextToken();
    if (Token != tkIdent) return;  // a bare EXCEPTION raises the one being handled again
    Link(TokenText, {dboException});
    NextToken();
    if (Token == tkSemicolon || AtBodyEnd() || IsKeyword(kwEND)) return;
    if (IsKeyword(kwUSING)) {
        // EXCEPTION E USING (parameters of the message)
        NextToken();
        ParseParenValueList();
        return;
    }
    ParseExpression();
}

void TIbExParser::ParsePostEvent() {
    NextToken();
    ParseExpression();
}

void TIbExParser::ParseExecute() {
    NextToken();
    if (IsKeyword(kwPROCEDURE)) {
        NextAndExpect(tkIdent);
        if (Token != tkIdent) return;
        std::string name = TokenText;
        std::string package;
        NextToken();
        if (Token == tkPoint) {
            NextAndExpect(tkIdent);
            if (Token != tkIdent) return;
            package = name;
            name = TokenText;
            NextToken();
        }
        // A call through a package needs the package, not a standalone routine of that name.
        if (Objs) Depend(package.empty() ? Objs->FindProcedure(name) : Objs->FindPackage(package));
        auto arguments = [this] {
            if (Token == tkLParen)
                ParseParenValueList();
            else
                ParseValueList();
        };
        if (!IsKeyword(kwRETURNING_VALUES) && Token != tkSemicolon && !AtBodyEnd() && !IsKeyword(kwEND)) arguments();
        if (SkipKeyword(kwRETURNING_VALUES)) {
            if (Token == tkLParen) {
                NextToken();
                ParseExpressionList();
                ExpectAndNext(tkRParen);
            } else {
                ParseExpressionList();
            }
        }
    } else if (IsWordAny("STATEMENT")) {
        NextToken();
        ParseExecStmtOptions();
        if (SkipKeyword(kwINTO)) ParseExpressionList();
    } else {
        ReportError("Must be: PROCEDURE / STATEMENT.");
    }
}

void TIbExParser::ParseExecStmtOptions() {
    if (Token == tkLParen) {
        // EXECUTE STATEMENT (text) (parameters): the text in parentheses, then its parameters.
        NextToken();
        ParseExpression();
        ExpectAndNext(tkRParen);
    } else {
        ParseExpression();
    }
    if (Token == tkLParen) ParseExecStmtParams();
    for (;;) {
        if (IsKeyword(kwWITH)) {
            NextToken();
            if (IsWordAny("AUTONOMOUS") || IsWordAny("COMMON")) {
                NextToken();
                ExpectWord("TRANSACTION");
            } else if (IsWordAny("CALLER")) {
                NextToken();
                ExpectKeyword(kwPRIVILEGES);
            } else {
                ReportError("Must be: AUTONOMOUS / COMMON / CALLER");
                if (!AtBodyEnd()) NextToken();
            }
        } else if (IsKeyword(kwAS)) {
            NextToken();
            ExpectKeyword(kwUSER);
            ParseExpression();
        } else if (IsKeyword(kwPASSWORD) || IsKeyword(kwROLE)) {
            NextToken();
            ParseExpression();
        } else if (IsKeyword(kwON)) {
            NextToken();
            ExpectKeyword(kwEXTERNAL);
            if (IsWordAny("DATA")) {
                NextToken();
                ExpectWord("SOURCE");
            }
            ParseExpression();
        } else {
            return;
        }
    }
}

void TIbExParser::ParseExecStmtParams() {
    ExpectAndNext(tkLParen);
    while (Token != tkRParen && !AtBodyEnd()) {
        ParseExpression();
        if (Token == kwAssign) {
            NextToken();
            ParseExpression();
        }
        if (Token != tkComma) break;
        NextToken();
    }
    ExpectAndNext(tkRParen);
}

void TIbExParser::ParseAlterInBody() {
    NextToken();
    if (IsWordAny("SEQUENCE")) {
        NextAndExpect(tkIdent);
        if (Token != tkIdent) return;
        Link(TokenText, {dboGenerator});
        NextToken();
        ExpectWord("RESTART");
        ExpectKeyword(kwWITH);
        ParseExpression();
    } else {
        ReportError("Unknown ALTER-statement");
        if (!AtBodyEnd()) NextToken();
    }
}

void TIbExParser::ParseSetStatement() {
    NextToken();
    if (IsKeyword(kwGENERATOR)) {
        NextAndExpect(tkIdent);
        if (Token != tkIdent) return;
        Link(TokenText, {dboGenerator});
        NextToken();
        ExpectKeyword(kwTO);
        ParseExpression();
    } else if (IsKeyword(kwSTATISTICS)) {
        NextToken();
        ExpectKeyword(kwINDEX);
        Expect(tkIdent);
        if (Token != tkIdent) return;
        Link(TokenText, {dboIndex});
        NextToken();
    } else {
        ReportError("Unknown SET-statement");
        if (!AtBodyEnd()) NextToken();
    }
}

} // namespace qnl
