// Implements the InterBase/Firebird DDL reader's routines, packages and EXECUTE BLOCK, and the
// raw reading of their bodies; see qnlIBParser.h.
#include "interbase/qnlIBParser.h"

#include "core/qnlSQL_Exec.h"
#include "objects/qnlComp_Pkg.h"
#include "objects/qnlComp_Prc.h"
#include "objects/qnlComp_Tbl.h"
#include "objects/qnlComp_Trg.h"
#include "objects/qnlComp_Viw.h"

#include <map>

namespace qnl {

// ---- bodies ----

void TIbParser::SkipBodyTokens(bool Block) {
    // The blocks and CASE expressions open at this point, innermost last (True for BEGIN).
    std::vector<bool> open;
    while (Token != tkTerminator && !(Token == tkEOF && AtEnd())) {
        if (!Block) {
            if (Token == tkSemicolon) return;  // the end of a query read under a switched terminator
            NextToken();
            continue;
        }
        const TTokenCode word = WordCode();
        if (word == kwBEGIN || word == kwCASE) {
            open.push_back(word == kwBEGIN);
        } else if (word == kwEND && !open.empty()) {
            const bool closesBlock = open.back();
            open.pop_back();
            if (closesBlock && open.empty()) {
                NextToken();
                if (!IsKeyword(kwDECLARE) && !IsKeyword(kwBEGIN)) return;
                continue;
            }
        }
        NextToken();
    }
}

void TIbParser::ReadBodyText(TDbObj* Obj, int64_t Start) {
    auto* package = dynamic_cast<TPkgData*>(Obj);
    const bool block = package || dynamic_cast<TPrcData*>(Obj) || (Obj && Obj->Kind == dboTrigger);
    const bool query = Obj && Obj->Kind == dboView;
    if (!block && !query) {
        // A CHECK condition or a computed expression: the parenthesised text.
        const size_t start = Start < 0 ? CurIndex() : static_cast<size_t>(Start);
        if (!dynamic_cast<TFldData*>(Obj)) NextToken();
        if (Token != tkLParen) return Expect(tkLParen);
        const size_t end = SkipParenthesised();
        if (Obj) Obj->SetSource(StoredText(start, end));
        return;
    }
    size_t start = Start < 0 ? CurIndex() : static_cast<size_t>(Start);
    NextToken();
    if (package) start = TokenStart;
    // Under the terminator ";" the body's own semicolons must not end the statement.
    const std::string terminator = Terminator;
    if (terminator == ";") SetTerm("^");
    SkipBodyTokens(block);
    SetTerm(terminator);
    if (Token == tkSemicolon && terminator == ";") Token = tkTerminator;
    const std::string text = Trim(StoredText(start, TokenStart));
    if (package && !package->IsBody)
        package->HeaderSource = NormalizeLineBreaks(text);
    else if (Obj)
        Obj->SetSource(text);
}

bool TIbParser::ReadExternalClause(std::string& ExternalName, std::string& EngineName) {
    NextToken();
    if (!IsWord("NAME")) {
        ExpectIdent("NAME");
        return false;
    }
    NextAndExpect(tkString);
    if (Failed()) return false;
    ExternalName = ValueText;
    NextToken();
    if (!IsWord("ENGINE")) {
        ExpectIdent("ENGINE");
        return false;
    }
    NextAndExpect(tkIdent);
    if (Failed()) return false;
    EngineName = TokenText;
    NextToken();
    return true;
}

bool TIbParser::EndOfRoutineStatement() {
    if (Token == tkSemicolon) NextToken();
    return ExpectTerminator();
}

// ---- procedures and functions ----

void TIbParser::ReadQualifiedName() {
    Expect(tkIdent);
    if (Token != tkIdent) return;
    RoutineName = TokenText;
    NextToken();
    if (Token != tkPoint) return;
    NextAndExpect(tkIdent);
    if (Token != tkIdent) return;
    RoutineName = TokenText;
    NextToken();
}

void TIbParser::ParseProcedure(uint8_t /*Action*/, bool IsFunction, TDbObj* Package, bool Nested) {
    const char* word = IsFunction ? "Function" : "Procedure";
    if (!IsKeyword(IsFunction ? kwFUNCTION : kwPROCEDURE)) return Expect(IsFunction ? kwFUNCTION : kwPROCEDURE);
    NextAndExpect(tkIdent);
    if (Failed()) return;
    const std::string name = TokenText;
    auto* package = dynamic_cast<TPkgData*>(Package);
    // A member or a sub-routine is its own routine, whatever the container holds of that name.
    const bool own = package || Nested;
    if (!own && FRecreate && FindRoutine(name, IsFunction)) ForgetObject(dboProcedure, name);

    TPrcData* routine = nullptr;
    std::unique_ptr<TPrcData> made;
    if (!own && Objs) routine = dynamic_cast<TPrcData*>(Objs->FindProcedure(name));
    if (routine && routine->IsFunction != IsFunction) {
        ReportError(std::string(word) + " " + name + " has the name of a " +
                    (routine->IsFunction ? "function" : "procedure") +
                    " read before; the structure keeps one routine per name");
        return;
    }
    const uint8_t action = routine ? saAlter : saCreate;
    // A routine read anew keeps the descriptions of the parameters that keep their names.
    std::map<std::pair<bool, std::string>, std::string> descriptions;
    if (routine) {
        for (int i = 0; i < routine->InputCount(); ++i)
            descriptions[{false, routine->InputParam(i)->Name}] = routine->InputParam(i)->Description();
        for (int i = 0; i < routine->OutputCount(); ++i)
            descriptions[{true, routine->OutputParam(i)->Name}] = routine->OutputParam(i)->Description();
        routine->ClearParams();
        routine->SetSource({});
    } else {
        made = std::make_unique<TPrcData>(Objs);
        made->SetName(name);
        routine = made.get();
    }
    routine->IsFunction = IsFunction;
    DoLogLine(std::string(word) + ": " + name);
    NextToken();
    ParseRoutineHeader(*routine);
    if (Failed()) return;
    routine->ExternalName.clear();
    routine->EngineName.clear();
    const bool declarationOnly = (package && !package->IsBody) || Token == tkSemicolon || Token == tkTerminator;
    if (IsKeyword(kwEXTERNAL)) {
        if (!ReadExternalClause(routine->ExternalName, routine->EngineName)) return;
        routine->SetSource(ExternalEngineClause(routine->ExternalName, routine->EngineName));
    } else if (!declarationOnly) {
        if (!IsKeyword(kwAS)) return Expect(kwAS);
        ReadBodyText(routine, -1);
        if (Failed()) return;
    }
    auto restore = [&descriptions](TFldData* Param, bool Output) {
        const auto it = descriptions.find({Output, Param->Name});
        if (it != descriptions.end()) Param->SetDescription(it->second);
    };
    for (int i = 0; i < routine->InputCount(); ++i) restore(routine->InputParam(i), false);
    for (int i = 0; i < routine->OutputCount(); ++i) restore(routine->OutputParam(i), true);
    if (Nested || package) {
        if (Token == tkSemicolon) NextToken();
        return;  // the package's statement (or the enclosing body) carries it
    }
    if (!EndOfRoutineStatement()) return;
    HandOn(skProcedure, name, dboProcedure, action);
    if (made) AddDbObject(made.release());
    NextToken();
}

void TIbParser::ParseRoutineHeader(TPrcData& Routine) {
    auto parameter = [&](bool Output) {
        std::unique_ptr<TFldData> p = ParseFieldDef(nullptr, Routine.Name);
        if (!p) return;
        p->SetKind(dboParam);
        p->ParamDirection = Output ? pdOut : pdIn;
        if (Output)
            Routine.AddOutputParam(std::move(p));
        else
            Routine.AddInputParam(std::move(p));
    };
    // "(" parameters ")"; Firebird 3 takes an empty list too.
    auto list = [&](bool Output) {
        NextToken();
        if (Token != tkRParen) {
            for (;;) {
                parameter(Output);
                if (Failed() || Token != tkComma) break;
                NextToken();
            }
            if (Failed()) return;
        }
        if (Token != tkRParen) return Expect(tkRParen);
        NextToken();
    };
    if (Token == tkLParen) list(false);
    if (Failed() || !IsKeyword(kwRETURNS)) return;
    NextToken();
    if (Routine.IsFunction) {
        auto result = std::make_unique<TFldData>(Objs, &Routine);
        result->OwnerName = Routine.Name;
        result->SetKind(dboParam);
        result->ParamDirection = pdOut;
        ParseDataType(*result, nullptr);
        if (Failed()) return;
        if (IsWord("DETERMINISTIC") && Firebird3Forms()) {
            result->Deterministic = true;
            NextToken();
        }
        Routine.AddOutputParam(std::move(result));
        return;
    }
    if (Token != tkLParen) return Expect(tkLParen);
    list(true);
}

// ---- packages and EXECUTE BLOCK ----

void TIbParser::ParsePackage(uint8_t /*Action*/) {
    if (!IsWord("PACKAGE")) return ExpectIdent("PACKAGE");
    NextToken();
    const bool body = IsWord("BODY");
    if (body) NextToken();
    Expect(tkIdent);
    if (Failed()) return;
    const std::string name = TokenText;
    // RECREATE PACKAGE BODY replaces the body only.
    if (FRecreate && !body) ForgetObject(dboPackage, name);
    auto* package = Objs ? dynamic_cast<TPkgData*>(Objs->FindPackage(name)) : nullptr;
    std::unique_ptr<TPkgData> made;
    if (!package) {
        made = std::make_unique<TPkgData>(Objs);
        made->SetName(name);
        package = made.get();
    }
    const uint8_t action = made ? saCreate : saAlter;
    package->IsBody = body;
    DoLogLine(std::string(body ? "Package body: " : "Package: ") + name);
    NextToken();
    if (!IsKeyword(kwAS)) return Expect(kwAS);
    ReadBodyText(package, static_cast<int64_t>(TokenStart));
    if (Failed() || !EndOfRoutineStatement()) return;
    HandOn(HandOnEveryStatement ? skPackage : skStatement, name, dboPackage, action);
    if (made) AddDbObject(made.release());
    NextToken();
}

void TIbParser::ParseExecuteBlock() {
    if (!IsWord("BLOCK")) return ExpectIdent("BLOCK");
    NextToken();
    TPrcData block(Objs);
    ParseRoutineHeader(block);
    if (Failed()) return;
    if (!IsKeyword(kwAS)) return Expect(kwAS);
    ReadBodyText(&block, -1);
    if (Failed() || !EndOfRoutineStatement()) return;
    HandOn(skExecuteBlock, {}, dboUnknown, saNone);
    NextToken();
}

// ---- triggers and views ----

void TIbParser::ParseTrigger(uint8_t Action) {
    if (!IsKeyword(kwTRIGGER)) return Expect(kwTRIGGER);
    NextAndExpect(tkIdent);
    if (Failed()) return;
    const std::string name = TokenText;
    if (FRecreate) ForgetObject(dboTrigger, name);
    TTrgData* trigger = Action == saAlter && Objs ? dynamic_cast<TTrgData*>(Objs->FindTrigger(name)) : nullptr;
    std::unique_ptr<TTrgData> made;
    if (!trigger) {
        made = std::make_unique<TTrgData>(Objs);
        made->SetName(name);
        trigger = made.get();
    }
    NextToken();
    bool hasTable = false;
    if (IsKeyword(kwFOR)) {
        NextAndExpect(tkIdent);
        if (Failed()) return;
        trigger->SetTableName(TokenText);
        hasTable = true;
        NextToken();
    } else if (made) {
        trigger->SetTableName("DATABASE");
    }
    if (IsKeyword(kwACTIVE) || IsKeyword(kwINACTIVE)) {
        trigger->Active = IsKeyword(kwACTIVE);
        NextToken();
    }
    if (IsKeyword(kwON)) {
        ParseDatabaseTriggerEvent(*trigger);
        if (Failed()) return;
    } else if ((made && Action == saCreate) || IsKeyword(kwBEFORE) || IsKeyword(kwAFTER)) {
        ParseTriggerEvents(*trigger, hasTable);
        if (Failed()) return;
    }
    if (IsKeyword(kwPOSITION)) {
        NextAndExpect(tkInteger);
        if (Failed() || !Int32InRange(trigger->TriggerPosition)) return;
        NextToken();
    }
    // Firebird 3 also takes the table last: ACTIVE AFTER INSERT POSITION 0 ON T.
    if (!hasTable && trigger->Events != 0 && IsKeyword(kwON)) {
        NextAndExpect(tkIdent);
        if (Failed()) return;
        trigger->SetTableName(TokenText);
        NextToken();
    }
    DoLogLine("Trigger: " + name);
    if (IsKeyword(kwAS)) {
        // Firebird keeps a trigger's source from where its header ends: a comment before AS
        // belongs to it.
        trigger->ExternalName.clear();
        trigger->EngineName.clear();
        ReadBodyText(trigger, static_cast<int64_t>(PreviousTokenEnd()));
        if (Failed()) return;
    } else if (IsKeyword(kwEXTERNAL)) {
        if (!ReadExternalClause(trigger->ExternalName, trigger->EngineName)) return;
        trigger->SetSource(ExternalEngineClause(trigger->ExternalName, trigger->EngineName));
    }
    if (!EndOfRoutineStatement()) return;
    // ALTER TRIGGER of a trigger the script has not made (ALTER TRIGGER T INACTIVE) changes a
    // trigger of the database: it is handed on, but makes no trigger without a body.
    const bool file = made && !(Action == saAlter && trigger->Source().empty());
    HandOn(skTrigger, name, dboTrigger, file ? saCreate : saAlter);
    if (file) {
        if (trigger->Relation) AddDependency(trigger, trigger->Relation);
        AddDbObject(made.release());
    }
    NextToken();
}

void TIbParser::ParseDatabaseTriggerEvent(TTrgData& Trigger) {
    // ON CONNECT | DISCONNECT | TRANSACTION START | COMMIT | ROLLBACK
    NextToken();
    std::string event;
    if (IsWord("CONNECT") || IsWord("DISCONNECT")) {
        event = UpperCase(TokenText);
    } else if (IsWord("TRANSACTION")) {
        NextToken();
        if (IsWord("START") || IsKeyword(kwCOMMIT) || IsWord("ROLLBACK")) event = "TRANSACTION " + UpperCase(TokenText);
    }
    const int64_t type = event.empty() ? 0 : GetIBDatabaseTriggerType(event);
    if (!type) return ReportError("Unknown event for database trigger");
    Trigger.SetTableName("DATABASE");
    Trigger.EventText = event;
    Trigger.TriggerType = type;
    Trigger.Timing = 0;
    Trigger.Events = 0;
    NextToken();
}

void TIbParser::ParseTriggerEvents(TTrgData& Trigger, bool HasTable) {
    if (!IsKeyword(kwBEFORE) && !IsKeyword(kwAFTER)) return ReportError("Must be: BEFORE / AFTER");
    const bool after = IsKeyword(kwAFTER);
    Trigger.Timing = after ? tmAfter : tmBefore;
    Trigger.Events = 0;
    Trigger.EventText.clear();
    NextToken();
    const TTokenCode first = WordCode();
    if (first == kwINSERT || first == kwUPDATE || first == kwDELETE) {
        // The n-th event's code (INSERT 1, UPDATE 2, DELETE 3) goes to bits 2n-1 and 2n of the
        // type code, which counts from 1 for BEFORE INSERT.
        int64_t type = after ? 1 : 0;
        int shift = 1;
        for (;;) {
            const TTokenCode word = WordCode();
            const int code = word == kwINSERT ? 1 : word == kwUPDATE ? 2 : word == kwDELETE ? 3 : 0;
            if (!code || shift > 5) return Expect(kwINSERT);
            Trigger.Events |= static_cast<uint8_t>(1u << code);
            type += int64_t{code} << shift;
            shift += 2;
            NextToken();
            if (!IsKeyword(kwOR)) break;
            NextToken();
        }
        Trigger.TriggerType = type - 1;
        // The SQL standard's form names the table after the events: BEFORE INSERT ON T.
        if (!HasTable && IsKeyword(kwON)) {
            NextAndExpect(tkIdent);
            if (Failed()) return;
            Trigger.SetTableName(TokenText);
            NextToken();
        }
        return;
    }
    // A DDL trigger: ANY DDL STATEMENT, or DDL events joined by OR.
    if (IsKeyword(kwANY)) {
        for (const char* word : {"DDL", "STATEMENT"}) {
            NextToken();
            if (!IsWord(word)) return ExpectIdent(word);
        }
        NextToken();
        Trigger.TriggerType = GetIBDDLTriggerType(after, 0, true);
        Trigger.SetTableName("DATABASE");
        return;
    }
    uint64_t bits = 0;
    for (;;) {
        // Two or three words: CREATE TABLE, ALTER CHARACTER SET, CREATE PACKAGE BODY.
        std::string event;
        const size_t start = TokenStart;
        while (Token == tkIdent || Token >= 30) {
            if (!event.empty() && (IsKeyword(kwOR) || IsKeyword(kwPOSITION) || IsKeyword(kwAS))) break;
            event += (event.empty() ? "" : " ") + UpperCase(TokenText);
            NextToken();
            if (GetIBDDLEventBit(event)) {
                // CREATE PACKAGE is complete, CREATE PACKAGE BODY one word longer.
                if (!(IsWord("BODY") && GetIBDDLEventBit(event + " BODY"))) break;
            }
        }
        const int bit = GetIBDDLEventBit(event);
        if (!bit) return ReportErrorAt("Unknown DDL event: " + event, start);
        bits |= uint64_t{1} << bit;
        if (!IsKeyword(kwOR)) break;
        NextToken();
    }
    Trigger.TriggerType = GetIBDDLTriggerType(after, bits, false);
    Trigger.SetTableName("DATABASE");
}

void TIbParser::ParseCreateView(uint8_t /*Action*/) {
    // A view is always made anew: its statement is handed on as a CREATE, for the comparer
    // drops and creates a view rather than altering it.
    if (!IsKeyword(kwVIEW)) return Expect(kwVIEW);
    NextAndExpect(tkIdent);
    if (Failed()) return;
    auto view = std::make_unique<TViwData>(Objs);
    view->SetName(TokenText);
    NextToken();
    if (Token == tkLParen) {
        TColumnNameList names;
        ParseColumnList(names);
        if (Failed()) return;
        for (int i = 0; i < names.Count(); ++i) view->AddColumn(names[i]);
    }
    DoLogLine("View: " + view->Name);
    if (!IsKeyword(kwAS)) return Expect(kwAS);
    ReadBodyText(view.get(), -1);
    if (Failed() || !ExpectTerminator()) return;
    // CREATE OR ALTER, ALTER and RECREATE replace a view read before.
    ForgetObject(dboView, view->Name);
    HandOn(skStatement, view->Name, dboView, saCreate);
    AddDbObject(view.release());
    NextToken();
}

} // namespace qnl
