// Implements the body reader's entry points, error reports, declarations and blocks; see
// qnlIBExParser.h.
#include "interbase/qnlIBExParser.h"

#include "objects/qnlComp_Ctr.h"
#include "objects/qnlComp_Dmn.h"
#include "objects/qnlComp_Idx.h"
#include "objects/qnlComp_Pkg.h"
#include "objects/qnlComp_Prc.h"
#include "objects/qnlComp_Tbl.h"
#include "objects/qnlComp_Trg.h"
#include "objects/qnlComp_Viw.h"

#include <utility>

namespace qnl {

TIbExParser::TIbExParser(TCustomExtract* AOwner) : TIbParser(AOwner) { ShowProgress = true; }

TIbExParser::~TIbExParser() = default;

std::unique_ptr<TIbParser> TIbExParser::CreateNestedParser() { return std::make_unique<TIbExParser>(Owner); }

// ---- small helpers ----

TIbExParser::TNesting::TNesting(TIbExParser& AParser) : Parser(AParser) {
    if (++Parser.FNesting <= MaxNesting || Parser.FTooDeep) return;
    Parser.ReportError("Nested deeper than " + std::to_string(MaxNesting) + " levels.");
    Parser.FTooDeep = true;
}

bool TIbExParser::IsWordAny(const char* Word) const {
    if (Token == tkIdent) return QuoteChar == 0 && TokenText == Word;
    return Token >= FixedTokenCount && Token != kwCharsetIntroducer && UpperCase(TokenText) == Word;
}

bool TIbExParser::SkipKeyword(TTokenCode Keyword) {
    if (!IsKeyword(Keyword)) return false;
    NextToken();
    return true;
}

bool TIbExParser::SkipWord(const char* Word) {
    if (!IsWordAny(Word)) return false;
    NextToken();
    return true;
}

void TIbExParser::ExpectKeyword(TTokenCode Keyword) {
    if (IsKeyword(Keyword))
        NextToken();
    else
        Expect(Keyword);
}

void TIbExParser::ExpectWord(const char* Word) {
    if (IsWordAny(Word))
        NextToken();
    else
        ReportError(std::string("Must be: ") + Word);
}

void TIbExParser::Depend(TDbObj* Target, const std::string& FieldName) {
    if (Target && Target != FDependent) AddDependency(FDependent, Target, FieldName);
}

void TIbExParser::DependOnFunction(const std::string& Name) {
    if (!Objs || !FDependent) return;
    if (UpperCase(Name.substr(0, 4)) == "RDB$") return;
    TDbObj* function = Objs->FindUDF(Name);
    if (!function) {
        // A PSQL function is filed with the procedures.
        auto* routine = dynamic_cast<TPrcData*>(Objs->FindProcedure(Name));
        if (routine && routine->IsFunction) function = routine;
    }
    if (!function) return;
    if (auto* column = dynamic_cast<TFldData*>(FDependent)) {
        // A computed column: its table needs the function too, for that column.
        TDbObj* table = column->Owner && column->Owner->Kind == dboTable ? column->Owner
                                                                         : Objs->FindTable(column->OwnerName);
        if (table && table != function) AddDependency(table, function, column->Name);
    }
    Depend(function);
}

TDbObj* TIbExParser::TargetRelation(const std::string& Name) {
    if (!Objs) return nullptr;
    if (TDbObj* t = Objs->FindTable(Name)) return t;
    return Objs->FindView(Name);
}

void TIbExParser::LinkParameterTypes(TDbObj* Routine) {
    auto* routine = dynamic_cast<TPrcData*>(Routine);
    if (!routine || !Objs) return;
    // A parameter typed by a domain (or TYPE OF one) keeps the domain from being dropped before
    // the routine lets go of it; one typed by a column likewise keeps that column.
    auto link = [&](TFldData* Param) {
        if (!Param) return;
        if (!Param->DomainName.empty()) Depend(Objs->FindDomain(Param->DomainName));
        if (Param->Rare().TypeOfTable.empty() || Param->Rare().TypeOfColumn.empty()) return;
        if (TDbObj* relation = FindRelation(Param->Rare().TypeOfTable)) Depend(relation, Param->Rare().TypeOfColumn);
    };
    for (int i = 0; i < routine->InputCount(); ++i) link(routine->InputParam(i));
    for (int i = 0; i < routine->OutputCount(); ++i) link(routine->OutputParam(i));
}

void TIbExParser::ParseTypeName() {
    ScratchField->SetRare().TypeOfTable.clear();
    ScratchField->SetRare().TypeOfColumn.clear();
    ScratchField->DomainName.clear();
    ParseDataType(*ScratchField, nullptr);
    ScratchField->Owner = nullptr;  // TYPE OF COLUMN points it at a table it does not belong to
    // A domain (also TYPE OF one) must outlive the body that names it; TYPE OF COLUMN T.C needs
    // that column.
    if (!ScratchField->DomainName.empty() && Objs) Depend(Objs->FindDomain(ScratchField->DomainName));
    if (!ScratchField->Rare().TypeOfTable.empty())
        if (TDbObj* relation = FindRelation(ScratchField->Rare().TypeOfTable)) Depend(relation, ScratchField->Rare().TypeOfColumn);
}

TParseContext* TIbExParser::PushTarget(const std::string& Relation, const std::string& Alias) {
    TParseContext* c = PushContext();
    c->Tables.Add(Relation);
    c->Aliases.Add(Alias);
    c->Resolvable = true;
    return c;
}

std::string TIbExParser::ReadAlias() {
    SkipKeyword(kwAS);
    // Words that Firebird leaves unreserved but that go on the statement after its relation.
    if (Token != tkIdent || IsKeyword(kwUSING) || IsKeyword(kwROWS) || IsKeyword(kwSET) || IsKeyword(kwDEFAULT) ||
        IsKeyword(kwVALUES) || IsWordAny("RETURNING") || IsWordAny("MATCHING"))
        return {};
    std::string alias = TokenText;
    NextToken();
    return alias;
}

void TIbExParser::ParseParenValueList() {
    ExpectAndNext(tkLParen);
    if (Token != tkRParen) ParseValueList();
    ExpectAndNext(tkRParen);
}

// ---- errors ----

void TIbExParser::ReportError(const std::string& Text) {
    // One fault of a body is one message: what the grammar meets after it follows from it (and a
    // body refused for its nesting is being left).
    if (FTooDeep || FBodyFailed) return;
    if (FNesting > 0) FBodyFailed = true;
    if (!BodyObject) return TIbParser::ReportError(Text);
    std::string prefix = BodyObject->Name + ": ";
    if (dynamic_cast<TPrcData*>(BodyObject))
        prefix = "Procedure " + prefix;
    else if (dynamic_cast<TTrgData*>(BodyObject))
        prefix = "Trigger " + prefix;
    else if (dynamic_cast<TViwData*>(BodyObject))
        prefix = "View " + prefix;
    else if (dynamic_cast<TIdxData*>(BodyObject))
        prefix = "Index " + prefix;
    else if (auto* c = dynamic_cast<TCtrData*>(BodyObject); c && c->ConstraintType == ctCheck)
        prefix = "Check-constraint " + prefix;
    else if (auto* f = dynamic_cast<TFldData*>(BodyObject))  // only computed columns have a body
        prefix = "Field " + f->GetOwnerName() + "/" + f->Name + ": ";
    if (!ScriptName.empty()) return TIbParser::ReportError(prefix + Text);
    // Without a script the message names the object instead.
    if (!MsgManager->HasErrors()) DoError(prefix + Text + ErrorPosText());
    MsgManager->AddObjectMessage(prefix + Text, BodyObject, GetColumn(), GetLine(), mkError);
}

// ---- entry points ----

void TIbExParser::ParseObjectSource(TDbObj* Obj) {
    std::vector<std::string> texts;
    if (!Obj) {
        ReportError("Expression / body parsing not implemented.");
        return;
    }
    // An external-engine routine or trigger has no PSQL body to read.
    if (auto* routine = dynamic_cast<TPrcData*>(Obj); routine && !routine->EngineName.empty()) return;
    if (auto* trigger = dynamic_cast<TTrgData*>(Obj); trigger && !trigger->EngineName.empty()) return;
    if (dynamic_cast<TPrcData*>(Obj) || dynamic_cast<TTrgData*>(Obj) || dynamic_cast<TViwData*>(Obj) ||
        dynamic_cast<TIdxData*>(Obj) || dynamic_cast<TFldData*>(Obj) || dynamic_cast<TPkgData*>(Obj) ||
        (dynamic_cast<TCtrData*>(Obj) && static_cast<TCtrData*>(Obj)->ConstraintType == ctCheck)) {
        texts.push_back(Obj->Source());
    } else if (auto* domain = dynamic_cast<TDmnData*>(Obj); domain && domain->TypeField) {
        texts.push_back(domain->TypeField->Rare().CheckSource);
        texts.push_back(domain->TypeField->GetDefault());
    } else {
        ReportError("Body parsing for DB-Obj: (" + Obj->ClassName() + ") not implemented.");
        return;
    }
    for (const std::string& text : texts) {
        if (Trim(text).empty()) continue;
        const std::string terminator = Terminator;
        SetTerm("^");
        SetSource(text);
        NextToken();
        ParseObjectBody(Obj);
        SetTerm(terminator);
    }
}

void TIbExParser::ParseObjectBody(TDbObj* Obj) {
    // A member routine of a package or a sub-routine records on the object that encloses it,
    // and its local names are its own.
    TDbObj* const outerBody = BodyObject;
    TDbObj* const outerDependent = FDependent;
    TStringList outerNames;
    outerNames.Assign(LocalNames);
    // The whole body is one nesting: once too deep, nothing more of it is read.
    const TNesting nesting(*this);
    ++FBodyDepth;
    LocalNames.Clear();
    BodyObject = Obj;
    if (!FDependent) FDependent = Obj;

    if (auto* trigger = dynamic_cast<TTrgData*>(Obj)) {
        // A table trigger goes with its table.
        Depend(trigger->Relation);
        SkipKeyword(kwAS);
        ParseDeclarations();
        ParseBlock();
    } else if (auto* routine = dynamic_cast<TPrcData*>(Obj)) {
        // Parameters are the routine's own names, never a generator named alike.
        for (int i = 0; i < routine->InputCount(); ++i) LocalNames.Add(routine->InputParam(i)->Name);
        for (int i = 0; i < routine->OutputCount(); ++i) LocalNames.Add(routine->OutputParam(i)->Name);
        LinkParameterTypes(Obj);
        ParseDeclarations();
        ParseBlock();
    } else if (auto* package = dynamic_cast<TPkgData*>(Obj)) {
        // The text is the package's body (a package read from a database keeps its header and
        // body apart): its member routines come with their own bodies.
        const bool wasBody = std::exchange(package->IsBody, true);
        SkipKeyword(kwAS);
        ParseBlock();
        package->IsBody = wasBody;
    } else if (auto* view = dynamic_cast<TViwData*>(Obj)) {
        // Without a column list the server names the columns after the select list; they are
        // kept only when every item has a name and the query was read without an error.
        TSelectNames names;
        const bool derive = view->Columns.Count() == 0;
        const int errors = ErrorCount();
        FSelectNames = derive ? &names : nullptr;
        ParseQueryExpression();
        FSelectNames = nullptr;
        view->DerivedColumns.Clear();
        bool unique = true;
        for (int i = 0; i < names.Names.Count() && unique; ++i)
            for (int j = 0; j < i && unique; ++j) unique = names.Names[i] != names.Names[j];
        if (derive && names.Named && unique && ErrorCount() == errors) view->DerivedColumns.Assign(names.Names);
    } else if (dynamic_cast<TFldData*>(Obj) || dynamic_cast<TIdxData*>(Obj) || dynamic_cast<TCtrData*>(Obj)) {
        TParseContext* c = PushContext();
        c->Tables.Add(Obj->GetOwnerName());
        c->Aliases.Add("");
        c->Resolvable = true;
        const size_t depth = Contexts.size();
        ExpectAndNext(tkLParen);
        ParseExpression();
        ExpectAndNext(tkRParen);
        while (Contexts.size() >= depth) PopContext();
    } else if (dynamic_cast<TDmnData*>(Obj)) {
        ParseExpression();
    }

    --FBodyDepth;
    BodyObject = outerBody;
    FDependent = outerDependent;
    LocalNames.Assign(outerNames);
}

void TIbExParser::ReadBodyText(TDbObj* Obj, int64_t Start) {
    // A routine, package or trigger read anew (ALTER, CREATE OR ALTER, a new package body)
    // needs what its new body names, not what the old one did.
    const bool reread = FBodyDepth == 0 && (dynamic_cast<TPrcData*>(Obj) || dynamic_cast<TPkgData*>(Obj) ||
                                            dynamic_cast<TTrgData*>(Obj));
    if (reread) {
        for (int i = 0; i < Obj->DependsOn.Count(); ++i)
            if (TDbObj* other = Obj->DependsOn.Items(i)->Ref) other->UsedBy.RemoveRef(Obj);
        Obj->DependsOn.Clear();
    }
    size_t start = Start < 0 ? CurIndex() : static_cast<size_t>(Start);
    auto* package = dynamic_cast<TPkgData*>(Obj);
    const bool expression = dynamic_cast<TFldData*>(Obj) || dynamic_cast<TCtrData*>(Obj);
    const bool block = package || dynamic_cast<TPrcData*>(Obj) || dynamic_cast<TTrgData*>(Obj);
    if (!dynamic_cast<TFldData*>(Obj)) NextToken();
    if (package) start = TokenStart;
    // Under the terminator ";" a block's own semicolons must not end the statement; a query or
    // an expression holds none, so there ";" stays the end of what can be read.
    const std::string terminator = Terminator;
    if (terminator == ";" && block) SetTerm("^");
    TScannerState bodyStart(*this);
    const int errors = ErrorCount();
    ParseObjectBody(Obj);
    if (ErrorCount() > errors && FBodyDepth == 0) {
        // The grammar may have read past the body where it failed: the body ends where the raw
        // reader ends it, so the statements after it are read as they stand.
        bodyStart.Restore();
        if (!expression) {
            SkipBodyTokens(block);
        } else {
            for (int depth = 0; !AtBodyEnd();) {
                if (Token == tkLParen) ++depth;
                if (Token == tkRParen) --depth;
                NextToken();
                if (depth <= 0) break;
            }
        }
    }
    SetTerm(terminator);
    if (Token == tkSemicolon && terminator == ";") Token = tkTerminator;
    // An expression is kept as written through its ")"; a body, trimmed, up to the token after it.
    if (expression) {
        if (Obj) Obj->SetSource(StoredText(start, PreviousTokenEnd()));
        return;
    }
    const std::string text = Trim(StoredText(start, TokenStart));
    if (package && !package->IsBody)
        package->HeaderSource = NormalizeLineBreaks(text);
    else if (Obj)
        Obj->SetSource(text);
}

void TIbExParser::ParseDefaultValue(TDbObj* Obj, std::string& Text) {
    if (Token != tkLParen) return TIbParser::ParseDefaultValue(Obj, Text);
    const size_t start = TokenStart;
    TDbObj* const outerDependent = FDependent;
    if (!FDependent) FDependent = Obj;
    NextToken();
    ParseExpression();
    Expect(tkRParen);
    Text = StoredText(start, TokenEnd());
    if (Token == tkRParen) NextToken();
    FDependent = outerDependent;
}

void TIbExParser::ParseExpressionSources() {
    if (!Objs) return;
    const TDbObjList& indices = Objs->List(olIndices);
    for (int i = 0; i < indices.Count(); ++i)
        if (TDbObj* idx = indices.Obj(i); !idx->Source().empty()) ParseObjectSource(idx);
    const TDbObjList& tables = Objs->List(olTables);
    for (int t = 0; t < tables.Count(); ++t) {
        TDbObj* table = tables.Obj(t);
        for (int c = 0; c < table->GetColumnCount(); ++c)
            if (TDbObj* column = table->GetColumn(c); !column->Source().empty()) ParseObjectSource(column);
    }
    const TDbObjList& constraints = Objs->List(olConstraints);
    for (int i = 0; i < constraints.Count(); ++i)
        if (TDbObj* ctr = constraints.Obj(i); ctr->GetConstraintType() == ctCheck && !ctr->Source().empty())
            ParseObjectSource(ctr);
}

// ---- declarations and blocks ----

void TIbExParser::ParseDeclarations() {
    while (IsKeyword(kwDECLARE)) {
        NextToken();
        if ((IsKeyword(kwFUNCTION) || IsKeyword(kwPROCEDURE)) && From(st_Firebird_30)) {
            // A sub-routine: neither handed on nor filed; its body records on this object.
            ParseProcedure(saCreate, IsKeyword(kwFUNCTION), nullptr, true);
            continue;
        }
        SkipKeyword(kwVARIABLE);
        if (Token != tkIdent) {
            Expect(tkIdent);
            if (!AtBodyEnd()) NextToken();
            continue;
        }
        ScratchField->SetName(TokenText);
        LocalNames.Add(TokenText);
        NextToken();
        // DECLARE c [SCROLL | NO SCROLL] CURSOR FOR (query)
        if (IsKeyword(kwNO)) NextToken();
        SkipWord("SCROLL");
        if (IsKeyword(kwCURSOR)) {
            NextToken();
            ExpectKeyword(kwFOR);
            ExpectAndNext(tkLParen);
            ParseQueryExpression();
            ExpectAndNext(tkRParen);
        } else {
            ParseTypeName();
            if (Token == tkEqual || IsKeyword(kwDEFAULT)) {
                NextToken();
                ParseExpression();
            }
        }
        if (Token == tkSemicolon) NextToken();
    }
}

void TIbExParser::ParseBlock() {
    ExpectKeyword(kwBEGIN);
    if (dynamic_cast<TPkgData*>(BodyObject)) {
        ParsePackageBody();
    } else {
        while (!IsKeyword(kwEND) && !AtBodyEnd()) {
            const size_t before = TokenStart;
            const int errors = ErrorCount();
            ParsePSQLStatement();
            // The rest of a statement that failed is passed over, so that one fault is one
            // message; a statement that read nothing would stall the loop.
            if (ErrorCount() > errors) {
                while (Token != tkSemicolon && !IsKeyword(kwEND) && !AtBodyEnd()) NextToken();
                if (Token == tkSemicolon) NextToken();
            }
            if (TokenStart == before && !IsKeyword(kwEND) && !AtBodyEnd()) NextToken();
        }
    }
    ExpectKeyword(kwEND);
}

void TIbExParser::ParsePackageBody() {
    auto* package = dynamic_cast<TPkgData*>(BodyObject);
    while ((IsKeyword(kwFUNCTION) || IsKeyword(kwPROCEDURE)) && !Failed())
        ParseProcedure(saCreate, IsKeyword(kwFUNCTION), package, false);
}

} // namespace qnl
