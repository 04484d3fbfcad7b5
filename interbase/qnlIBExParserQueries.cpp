// Implements the body reader's queries and data-changing statements; see qnlIBExParser.h.
#include "interbase/qnlIBExParser.h"

#include "objects/qnlComp_Idx.h"

#include <algorithm>
#include <iterator>
#include <optional>
#include <utility>
#include <vector>

namespace qnl {

namespace {

// Pops the contexts pushed after it was made, also when a query ends early.
class TContextGuard {
public:
    explicit TContextGuard(TCustomParser& AParser) : Parser(AParser), Depth(AParser.Contexts.size()) {}
    ~TContextGuard() {
        while (Parser.Contexts.size() > Depth) Parser.PopContext();
    }
    TContextGuard(const TContextGuard&) = delete;
    TContextGuard& operator=(const TContextGuard&) = delete;

private:
    TCustomParser& Parser;
    size_t Depth;
};

} // namespace

bool TIbExParser::IsJoinWord() const {
    return IsKeyword(kwFULL) || IsKeyword(kwINNER) || IsKeyword(kwJOIN) || IsKeyword(kwLEFT) ||
           IsKeyword(kwNATURAL) || IsKeyword(kwRIGHT) || IsKeyword(kwCROSS);
}

void TIbExParser::ParseQueryExpression() {
    // The columns are named by the main SELECT, not by its common table expressions.
    TSelectNames* const names = std::exchange(FSelectNames, nullptr);
    if (IsKeyword(kwWITH)) {
        NextToken();
        SkipWord("RECURSIVE");
        for (;;) {
            Expect(tkIdent);
            if (Token != tkIdent) return;
            NextToken();
            if (Token == tkLParen) ParseParenValueList();
            ExpectKeyword(kwAS);
            ExpectAndNext(tkLParen);
            ExpectKeyword(kwSELECT);
            ParseSelect();
            ExpectAndNext(tkRParen);
            if (Token != tkComma) break;
            NextToken();
        }
    }
    FSelectNames = names;
    ExpectKeyword(kwSELECT);
    ParseSelect();
    FSelectNames = nullptr;
}

void TIbExParser::ParseSelect() {
    const TNesting nesting(*this);
    if (!nesting) return;
    // Only this SELECT's own list names the view's columns: not a subquery, not a UNION's next part.
    TSelectNames* const names = std::exchange(FSelectNames, nullptr);
    if (IsKeyword(kwDISTINCT) || IsKeyword(kwALL)) NextToken();
    if (From(st_FireBird_1x)) {
        for (const char* word : {"FIRST", "SKIP"}) {
            if (!IsWordAny(word)) continue;
            NextToken();
            if (Token == tkLParen) {
                NextToken();
                ParseExpression();
                ExpectAndNext(tkRParen);
            } else {
                ParseFactor();
            }
        }
        if (IsKeyword(kwDISTINCT) || IsKeyword(kwALL)) NextToken();
    }
    TContextGuard guard(*this);
    TParseContext* context = PushContext();
    // The select list and the join conditions name columns of relations the FROM list brings
    // later: the context keeps those references until the list is known.
    ParseValueList(names);
    ExpectKeyword(kwFROM);
    ParseFromClause();
    MakeResolvable(*context);
    if (SkipKeyword(kwWHERE)) ParseExpression();
    if (IsKeyword(kwGROUP)) {
        NextToken();
        ExpectKeyword(kwBY);
        ParseValueList();
    }
    if (SkipKeyword(kwHAVING)) ParseExpression();
    if (IsKeyword(kwPLAN)) ParsePlanClause();
    if (SkipKeyword(kwUNION)) {
        if (IsKeyword(kwALL) || IsKeyword(kwDISTINCT)) NextToken();
        ParseQueryExpression();
    }
    if (IsKeyword(kwORDER)) {
        NextToken();
        ExpectKeyword(kwBY);
        ParseValueList();
    }
    if (IsKeyword(kwROWS)) ParseRowsClause();
    ParseOffsetFetch();
    if (IsKeyword(kwFOR)) {
        NextToken();
        ExpectKeyword(kwUPDATE);
        if (SkipKeyword(kwOF)) ParseValueList();
    }
    if (IsKeyword(kwWITH)) {
        NextToken();
        if (IsWordAny("LOCK")) {
            NextToken();
        } else if (IsKeyword(kwCHECK)) {
            NextToken();
            ExpectKeyword(kwOPTION);
        } else {
            ReportError("Must be: WITH LOCK / WITH CHECK OPTION");
            if (!AtBodyEnd()) NextToken();
        }
    }
}

void TIbExParser::ParseOffsetFetch() {
    if (IsWordAny("OFFSET")) {
        NextToken();
        ParseSum();
        if (!SkipKeyword(kwROWS)) ExpectWord("ROW");
    }
    if (IsKeyword(kwFETCH)) {
        NextToken();
        if (!SkipWord("FIRST")) ExpectWord("NEXT");
        if (!IsKeyword(kwROWS) && !IsWordAny("ROW")) ParseSum();
        if (!SkipKeyword(kwROWS)) ExpectWord("ROW");
        ExpectWord("ONLY");
    }
}

void TIbExParser::ParseValueList() { ParseValueList(nullptr); }

void TIbExParser::ParseValueList(TSelectNames* Names) {
    if (Names) Names->Names.Clear();
    if (Token == tkComma) NextToken();
    for (;;) {
        std::optional<TScannerState> itemStart;
        if (Names) itemStart.emplace(*this);
        const int errors = Names ? ErrorCount() : 0;
        ParseExpression();
        // An item read with an error is not scanned again (its errors would be reported twice).
        std::string name = Names && ErrorCount() == errors ? ColumnItemName(*itemStart) : std::string();
        const bool as = SkipKeyword(kwAS);
        // An alias; the words that may follow a list are none.
        if (Token == tkIdent && !IsWordAny("NULLS") && !IsWordAny("OFFSET") && !IsWordAny("ASCENDING") &&
            !IsWordAny("DESCENDING") && !IsKeyword(kwASC) && !IsKeyword(kwDESC) && !IsKeyword(kwROWS) &&
            !IsJoinWord() && !IsWordAny("RETURNING") && !IsWordAny("MATCHING")) {
            name = TokenText;
            NextToken();
        } else if (as) {
            name.clear();
        }
        if (Names) {
            if (name.empty()) Names->Named = false;
            Names->Names.Add(name);
        }
        if (IsKeyword(kwASC) || IsKeyword(kwDESC) || IsWordAny("ASCENDING") || IsWordAny("DESCENDING")) NextToken();
        if (IsWordAny("NULLS")) {
            NextToken();
            if (IsWordAny("FIRST") || IsWordAny("LAST"))
                NextToken();
            else
                ReportError("Must be: NULLS FIRST / NULLS LAST (order by clause).");
        }
        if (Token != tkComma) break;
        NextToken();
    }
}

std::string TIbExParser::ColumnItemName(TScannerState& Start) {
    struct TItemToken {
        TTokenCode Code;
        std::string Text;
        bool Quoted;
    };
    const size_t end = PreviousTokenEnd();
    TScannerState here(*this);
    Start.Restore();
    std::vector<TItemToken> tokens;
    while (TokenStart < end && tokens.size() < 4 && !AtBodyEnd()) {
        tokens.push_back({WordCode(), TokenText, QuoteChar != 0});
        NextToken();
    }
    here.Restore();
    auto named = [](const TItemToken& T) { return T.Code == tkIdent && !T.Text.empty(); };
    auto pseudoColumn = [](const TItemToken& T) {
        return !T.Quoted && (T.Text == "RDB$DB_KEY" || T.Text == "RDB$RECORD_VERSION");
    };
    // A context variable reads like a name but is none of the server's naming.
    auto contextWord = [](const TItemToken& T) {
        static const char* const words[] = {"NEW",          "OLD",          "TRUE",          "FALSE",
                                            "UNKNOWN",      "USER",         "NULL",          "VALUE",
                                            "ROW_COUNT",    "SQLCODE",      "GDSCODE",       "SQLSTATE",
                                            "TRANSACTION_ID", "CONNECTION_ID", "ROWS_AFFECTED", "LOCALTIME",
                                            "LOCALTIMESTAMP"};
        if (T.Quoted) return false;
        if (T.Text.rfind("CURRENT_", 0) == 0) return true;
        return std::any_of(std::begin(words), std::end(words), [&](const char* W) { return T.Text == W; });
    };
    if (tokens.size() == 1 && named(tokens[0]) && !pseudoColumn(tokens[0]) && !contextWord(tokens[0]))
        return tokens[0].Text;
    if (tokens.size() == 3 && named(tokens[0]) && tokens[1].Code == tkPoint && named(tokens[2]) &&
        !pseudoColumn(tokens[2]))
        return tokens[2].Text;
    return {};
}

void TIbExParser::ParseRowsClause() {
    ExpectKeyword(kwROWS);
    ParseExpression();
    if (SkipKeyword(kwTO)) ParseExpression();
    if (SkipKeyword(kwBY)) ParseExpression();
    SkipKeyword(kwPERCENT);
    if (IsKeyword(kwWITH)) {
        NextToken();
        ExpectKeyword(kwTIES);
    }
}

void TIbExParser::ParseFromClause() { ParseJoinList(); }

void TIbExParser::ParseJoinList() {
    if (Token == tkComma) NextToken();
    for (;;) {
        ParseTableReference();
        if (Token != tkComma) break;
        NextToken();
    }
}

void TIbExParser::ParseTableReference() {
    const TNesting nesting(*this);
    if (!nesting) return;
    if (Token == tkLParen) {
        NextToken();
        if (IsKeyword(kwSELECT) || IsKeyword(kwWITH)) {
            // A derived table: it adds nothing to the FROM list.
            if (SkipKeyword(kwSELECT))
                ParseSelect();
            else
                ParseQueryExpression();
            ExpectAndNext(tkRParen);
            SkipKeyword(kwAS);
            if (Token == tkIdent && !IsJoinWord()) NextToken();
            if (Token == tkLParen) ParseParenValueList();
        } else {
            ParseTableReference();
            ExpectAndNext(tkRParen);
        }
    } else if (Token == tkIdent) {
        std::string name = TokenText;
        NextToken();
        bool packaged = false;
        if (Token == tkPoint) {
            // A selectable procedure of a package: the package is what is needed.
            NextAndExpect(tkIdent);
            if (Objs) Depend(Objs->FindPackage(name));
            name = TokenText;
            packaged = true;
            if (Token == tkIdent) NextToken();
        } else {
            Link(name, {dboTable, dboProcedure, dboView});
        }
        if (Token == tkLParen) ParseParenValueList();
        std::string alias;
        if (IsKeyword(kwAS) && PeekWordCode() != kwCURSOR) NextToken();
        const bool rowsOrUsing = IsKeyword(kwROWS) || IsKeyword(kwUSING);
        const TIBSQLServerVersionType v = Version();
        const bool oldAliases = v == st_InterBase_4x || v == st_InterBase_5x || v == st_FireBird_1x ||
                                v == st_Yaffil_1x || v == st_FireBird_15 || v == st_InterBase_75;
        if (Token == tkIdent && !IsJoinWord() && (!rowsOrUsing || oldAliases)) {
            alias = TokenText;
            NextToken();
        }
        TParseContext* c = CurrentContext();
        if (c && !c->Resolvable && !packaged) {
            c->Tables.Add(name);
            c->Aliases.Add(alias);
        }
    } else {
        Expect(tkIdent);
        return;
    }
    while (IsJoinWord()) {
        const bool natural = IsKeyword(kwNATURAL);
        const bool crossOrNatural = natural || IsKeyword(kwCROSS);
        SkipKeyword(kwNATURAL);
        if (IsKeyword(kwFULL) || IsKeyword(kwINNER) || IsKeyword(kwLEFT) || IsKeyword(kwRIGHT) || IsKeyword(kwCROSS))
            NextToken();
        if (IsKeyword(kwINNER) || IsKeyword(kwOUTER) || IsKeyword(kwCROSS)) NextToken();
        if (!IsKeyword(kwJOIN)) {
            if (Token == tkIdent || AtBodyEnd()) break;
            continue;
        }
        NextToken();
        // The joined item parses its own further joins; its condition follows them. While the
        // FROM list is being learnt, the item joined is the next relation of the context.
        TParseContext* c = CurrentContext();
        const bool learning = c && !c->Resolvable;
        const int right = learning ? c->Tables.Count() : -1;
        ParseTableReference();
        const bool joinedRelation = learning && right < c->Tables.Count();
        if (SkipKeyword(kwON)) {
            ParseExpression();
        } else if (IsKeyword(kwUSING)) {
            const TIBSQLServerVersionType v = Version();
            if (v < st_Firebird_25 || v > st_Firebird_40) ReportError("USING is not known to this server version");
            NextToken();
            ExpectAndNext(tkLParen);
            TStringList names;
            for (;;) {
                Expect(tkIdent);
                if (Token != tkIdent) break;
                names.Add(TokenText);
                NextToken();
                if (Token != tkComma) break;
                NextToken();
            }
            ExpectAndNext(tkRParen);
            if (joinedRelation) LinkJoinColumns(*c, right, &names);
        } else if (crossOrNatural) {
            if (natural && joinedRelation) LinkJoinColumns(*c, right, nullptr);
        } else {
            Expect(kwON);
        }
    }
}

void TIbExParser::LinkJoinColumns(const TParseContext& Context, int Right, const TStringList* Names) {
    TDbObj* right = FindRelation(Context.Tables[Right]);
    if (!right) return;
    TStringList columns;
    if (Names) {
        columns.Assign(*Names);
    } else {
        for (int i = 0; i < right->GetColumnCount(); ++i)
            if (const TDbObj* column = right->GetColumn(i)) columns.Add(column->Name);
    }
    for (int i = 0; i < Right; ++i) {
        TDbObj* left = FindRelation(Context.Tables[i]);
        if (!left) continue;
        for (int n = 0; n < columns.Count(); ++n) {
            if (!left->FindColumn(columns[n]) || !right->FindColumn(columns[n])) continue;
            Depend(left, columns[n]);
            Depend(right, columns[n]);
        }
    }
}

void TIbExParser::ParsePlanClause() {
    ExpectKeyword(kwPLAN);
    ParsePlanExpr();
}

void TIbExParser::ParsePlanExpr() {
    const TNesting nesting(*this);
    if (!nesting) return;
    if (IsKeyword(kwJOIN)) {
        NextToken();
    } else if (IsKeyword(kwSORT)) {
        NextToken();
        SkipKeyword(kwMERGE);
    } else if (IsKeyword(kwMERGE)) {
        NextToken();
    }
    ExpectAndNext(tkLParen);
    for (;;) {
        if (Token == tkLParen || IsKeyword(kwJOIN) || IsKeyword(kwSORT) || IsKeyword(kwMERGE))
            ParsePlanExpr();
        else
            ParsePlanItem();
        if (Token != tkComma) break;
        NextToken();
    }
    ExpectAndNext(tkRParen);
}

void TIbExParser::ParsePlanItem() {
    Expect(tkIdent);
    if (Token != tkIdent) {
        if (!AtBodyEnd() && Token != tkRParen) NextToken();
        return;
    }
    NextToken();
    while (Token == tkIdent) NextToken();  // the aliases of a relation inside a view
    if (IsKeyword(kwINDEX)) {
        ParsePlanIndexList();
    } else if (IsKeyword(kwNATURAL)) {
        NextToken();
    } else if (IsKeyword(kwORDER)) {
        NextAndExpect(tkIdent);
        if (Token == tkIdent) {
            if (Objs) Depend(Objs->FindIndex(TokenText));
            NextToken();
        }
        if (IsKeyword(kwINDEX)) ParsePlanIndexList();
    } else {
        ReportError("Invalid symbol in PLAN-expression: " + CurTokenName());
        if (!AtBodyEnd() && Token != tkRParen) NextToken();
    }
}

void TIbExParser::ParsePlanIndexList() {
    ExpectKeyword(kwINDEX);
    ExpectAndNext(tkLParen);
    for (;;) {
        Expect(tkIdent);
        if (Token != tkIdent) break;
        if (Objs) Depend(Objs->FindIndex(TokenText));
        NextToken();
        if (Token != tkComma) break;
        NextToken();
    }
    ExpectAndNext(tkRParen);
}

void TIbExParser::ParseSelectInto() {
    ParseSelect();
    // FOR SELECT ... AS CURSOR c needs no INTO.
    if (IsKeyword(kwAS)) return ParseExpressionList();
    ExpectKeyword(kwINTO);
    ParseExpressionList();
}

void TIbExParser::ParseSingletonSelect() {
    ExpectKeyword(kwSELECT);
    ParseSelectInto();
}

void TIbExParser::ParseExpressionList() {
    if (Token == tkComma) NextToken();
    while (!IsKeyword(kwAS)) {
        ParseFactor();
        if (Token != tkComma) break;
        NextToken();
    }
    if (IsKeyword(kwAS)) {
        NextToken();
        ExpectKeyword(kwCURSOR);
        Expect(tkIdent);
        if (Token == tkIdent) {
            LocalNames.Add(TokenText);
            NextToken();
        }
    }
}

void TIbExParser::ParseReturning() {
    if (!SkipWord("RETURNING")) return;
    ParseValueList();
    if (SkipKeyword(kwINTO)) ParseExpressionList();
}

void TIbExParser::ParseInsert() {
    TContextGuard guard(*this);
    if (IsKeyword(kwINSERT)) {
        NextToken();
        if (SkipKeyword(kwOR)) ExpectKeyword(kwUPDATE);
    }
    ExpectKeyword(kwINTO);
    Expect(tkIdent);
    if (Token != tkIdent) return;
    const std::string target = TokenText;
    NextToken();
    const std::string alias = ReadAlias();
    PushTarget(target, alias);
    Depend(TargetRelation(target));
    if (Token == tkLParen) ParseParenValueList();
    if (IsKeyword(kwVALUES)) {
        NextToken();
        ParseParenValueList();
    } else if (IsKeyword(kwSELECT) || IsKeyword(kwWITH)) {
        // The query's own relations resolve its columns.
        if (SkipKeyword(kwSELECT))
            ParseSelect();
        else
            ParseQueryExpression();
    } else if (IsKeyword(kwDEFAULT)) {
        NextToken();
        ExpectKeyword(kwVALUES);
    } else {
        Expect(kwVALUES);
    }
    if (SkipWord("MATCHING")) ParseParenValueList();
    ParseReturning();
}

void TIbExParser::ParseUpdate() {
    TContextGuard guard(*this);
    ExpectKeyword(kwUPDATE);
    if (SkipKeyword(kwOR)) {
        ExpectKeyword(kwINSERT);
        return ParseInsert();
    }
    Expect(tkIdent);
    if (Token != tkIdent) return;
    const std::string target = TokenText;
    NextToken();
    const std::string alias = ReadAlias();
    PushTarget(target, alias);
    TDbObj* relation = TargetRelation(target);
    Depend(relation);
    ExpectKeyword(kwSET);
    ParseSetAssignments(relation);
    ParseSearchedTail();
}

// The assignments after SET (column = value, ...; a column may carry its alias): each assigned
// column of Relation is a dependency.
void TIbExParser::ParseSetAssignments(TDbObj* Relation) {
    for (;;) {
        Expect(tkIdent);
        if (Token != tkIdent) break;
        std::string column = TokenText;
        NextToken();
        if (Token == tkPoint) {  // alias.column
            NextAndExpect(tkIdent);
            column = TokenText;
            if (Token == tkIdent) NextToken();
        }
        Depend(Relation, column);
        ExpectAndNext(tkEqual);
        ParseExpression();
        if (Token != tkComma) break;
        NextToken();
    }
}

// What UPDATE and DELETE share after their target: WHERE (a condition or CURRENT OF a cursor),
// PLAN, ORDER BY, ROWS and RETURNING.
void TIbExParser::ParseSearchedTail() {
    if (IsKeyword(kwWHERE)) {
        NextToken();
        if (IsKeyword(kwCURRENT) && PeekWordCode() == kwOF) {
            NextToken();
            NextAndExpect(tkIdent);
            if (Token == tkIdent) NextToken();
        } else {
            ParseExpression();
        }
    }
    if (IsKeyword(kwPLAN)) ParsePlanClause();
    if (IsKeyword(kwORDER)) {
        NextToken();
        ExpectKeyword(kwBY);
        ParseValueList();
    }
    if (IsKeyword(kwROWS)) ParseRowsClause();
    ParseReturning();
}

void TIbExParser::ParseDelete() {
    TContextGuard guard(*this);
    ExpectKeyword(kwDELETE);
    ExpectKeyword(kwFROM);
    Expect(tkIdent);
    if (Token != tkIdent) return;
    const std::string target = TokenText;
    Depend(TargetRelation(target));
    NextToken();
    const std::string alias = ReadAlias();
    PushTarget(target, alias);
    ParseSearchedTail();
}

void TIbExParser::ParseMerge() {
    TContextGuard guard(*this);
    ExpectKeyword(kwMERGE);
    ExpectKeyword(kwINTO);
    Expect(tkIdent);
    if (Token != tkIdent) return;
    const std::string target = TokenText;
    NextToken();
    const std::string targetAlias = ReadAlias();
    TDbObj* relation = TargetRelation(target);
    Depend(relation);
    TParseContext* c = PushTarget(target, targetAlias);
    if (IsKeyword(kwUSING))
        NextToken();
    else
        ExpectKeyword(kwUSING);
    // The source: a derived table, or a relation that the statement reads and so needs.
    std::string source;
    if (Token == tkLParen) {
        NextToken();
        if (SkipKeyword(kwSELECT))
            ParseSelect();
        else
            ParseQueryExpression();
        ExpectAndNext(tkRParen);
    } else if (Token == tkIdent) {
        source = TokenText;
        Link(source, {dboTable, dboProcedure, dboView});
        NextToken();
        if (Token == tkLParen) ParseParenValueList();
    } else {
        Expect(tkIdent);
    }
    c->Tables.Add(source);
    c->Aliases.Add(ReadAlias());
    ExpectKeyword(kwON);
    ParseExpression();
    if (!IsKeyword(kwWHEN)) Expect(kwWHEN);
    while (IsKeyword(kwWHEN)) {
        NextToken();
        const bool notMatched = SkipKeyword(kwNOT);
        ExpectWord("MATCHED");
        if (IsKeyword(kwAND) && From(st_Firebird_30) && Version() <= st_Firebird_40) {
            NextToken();
            ParseExpression();
        }
        ExpectKeyword(kwTHEN);
        if (notMatched) {
            ExpectKeyword(kwINSERT);
            if (Token == tkLParen) ParseParenValueList();
            ExpectKeyword(kwVALUES);
            ParseParenValueList();
        } else if (IsKeyword(kwUPDATE)) {
            NextToken();
            ExpectKeyword(kwSET);
            ParseSetAssignments(relation);
        } else if (IsKeyword(kwDELETE) && From(st_Firebird_30)) {
            NextToken();
        } else {
            ReportError("Must be: UPDATE");
            break;
        }
    }
    ParseReturning();
}

} // namespace qnl
