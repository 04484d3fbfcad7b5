// Implements the InterBase/Firebird DDL reader's domains, generators, exceptions, collations and
// descriptions (DESCRIBE, COMMENT ON); see qnlIBParser.h.
#include "interbase/qnlIBParser.h"

#include "core/qnlSQL_Exec.h"
#include "objects/qnlComp_Def.h"
#include "objects/qnlComp_Dmn.h"
#include "objects/qnlComp_Exc.h"
#include "objects/qnlComp_Gnr.h"
#include "objects/qnlComp_Pkg.h"
#include "objects/qnlComp_Prc.h"
#include "objects/qnlComp_Tbl.h"

#include <limits>

namespace qnl {

bool TIbParser::ReadSignedInteger(int64_t& Value) {
    const bool negative = Token == tkMinus;
    if (Token == tkMinus || Token == tkPlus) NextToken();
    Expect(tkInteger);
    if (Token != tkInteger) return false;
    if (negative) NegateInt();
    if (!IntInRange(std::numeric_limits<int64_t>::min(), std::numeric_limits<int64_t>::max())) return false;
    Value = IntValue;
    NextToken();
    return true;
}

TPrcData* TIbParser::FindRoutine(const std::string& Name, bool IsFunction) const {
    auto* routine = Objs ? dynamic_cast<TPrcData*>(Objs->FindProcedure(Name)) : nullptr;
    return routine && routine->IsFunction == IsFunction ? routine : nullptr;
}

// ---- domains ----

void TIbParser::ParseCreateDomain() {
    // DOMAIN is current: the type and everything after it (DEFAULT, NOT NULL, CHECK, COLLATE)
    // belong to the domain's type field.
    NextAndExpect(tkIdent);
    if (Failed()) return;
    auto domain = std::make_unique<TDmnData>(Objs);
    domain->SetName(TokenText);
    NextToken();
    if (IsKeyword(kwAS)) NextToken();
    domain->TypeField->OwnerName = domain->Name;
    ParseDataType(*domain->TypeField, domain.get());
    if (Failed() || !ExpectTerminator()) return;
    DoLogLine("Domain: " + domain->Name);
    HandOn(skStatement, domain->Name, dboDomain, saCreate);
    AddDbObject(domain.release());
    NextToken();
}

void TIbParser::ParseAlterDomain() {
    // DOMAIN is current. isql writes every domain CHECK as ALTER DOMAIN ... ADD CONSTRAINT CHECK,
    // so the clauses change the domain read before: [TO name] SET DEFAULT v | DROP DEFAULT |
    // SET NOT NULL | DROP NOT NULL | ADD [CONSTRAINT] CHECK (c) | DROP CONSTRAINT | TYPE t.
    NextAndExpect(tkIdent);
    if (Failed()) return;
    std::string name = TokenText;
    auto* domain = Objs ? dynamic_cast<TDmnData*>(Objs->FindDomain(name)) : nullptr;
    TFldData scratch(Objs, nullptr);
    TFldData& type = domain ? *domain->TypeField : scratch;
    std::string newName;
    NextToken();
    while (!Failed() && Token != tkTerminator && !(Token == tkEOF && AtEnd())) {
        if (IsKeyword(kwTO)) {
            NextAndExpect(tkIdent);
            if (Failed()) return;
            newName = TokenText;
            NextToken();
        } else if (IsKeyword(kwSET)) {
            NextToken();
            if (IsKeyword(kwDEFAULT)) {
                NextToken();
                ParseDefaultValue(domain, type.DefaultValue);
            } else if (IsKeyword(kwNOT)) {
                NextToken();
                if (!IsKeyword(kwNULL)) return Expect(kwNULL);
                type.Nullable = false;
                NextToken();
            } else {
                return Expect(kwDEFAULT);
            }
        } else if (IsKeyword(kwDROP)) {
            NextToken();
            if (IsKeyword(kwDEFAULT)) {
                type.DefaultValue.clear();
            } else if (IsKeyword(kwNOT)) {
                NextToken();
                if (!IsKeyword(kwNULL)) return Expect(kwNULL);
                type.Nullable = true;
            } else if (IsKeyword(kwCONSTRAINT)) {
                type.SetRare().CheckSource.clear();
            } else {
                return Expect(kwCONSTRAINT);
            }
            NextToken();
        } else if (IsKeyword(kwADD)) {
            NextToken();
            if (IsKeyword(kwCONSTRAINT)) NextToken();
            if (!IsKeyword(kwCHECK)) return Expect(kwCHECK);
            NextToken();
            if (Token != tkLParen) return Expect(tkLParen);
            type.SetRare().CheckSource = ReadParenthesisedText();
        } else if (IsKeyword(kwTYPE)) {
            // The new type; the domain keeps its default, nullability and check.
            NextToken();
            TFldData changed(Objs, nullptr);
            ParseDataTypeWord(changed);
            if (Failed()) return;
            ParseArrayDimensions(changed);
            if (IsKeyword(kwCHAR)) {
                NextToken();
                if (!IsKeyword(kwSET)) return Expect(kwSET);
                NextAndExpect(tkIdent);
                if (Failed()) return;
                changed.CharSetName = TokenText;
                if (const TIBServerOptions* o = GetIBOptions(); o && SameText(changed.CharSetName, o->DBCharSet()))
                    changed.CharSetName.clear();
                NextToken();
            }
            if (IsKeyword(kwCOLLATE)) {
                NextAndExpect(tkIdent);
                if (Failed()) return;
                changed.CollationName = TokenText;
                NextToken();
            }
            type.DataType = changed.DataType;
            type.FieldLength = changed.FieldLength;
            type.CharLength = changed.CharLength;
            type.Precision = changed.Precision;
            type.Scale = changed.Scale;
            type.SubType = changed.SubType;
            type.SegmentLength = changed.SegmentLength;
            type.CharSetName = changed.CharSetName;
            type.CollationName = changed.CollationName;
            type.DomainName = changed.DomainName;
            type.ArrayBounds = changed.ArrayBounds;
        } else {
            return ReportError("Unknown ALTER DOMAIN clause");
        }
    }
    if (Failed() || !ExpectTerminator()) return;
    HandOn(skStatement, name, dboDomain, saAlter);
    if (domain && !newName.empty()) RenameDomain(*domain, newName);
    NextToken();
}

void TIbParser::RenameDomain(TDmnData& Domain, const std::string& NewName) {
    // The columns and parameters typed by the domain follow it to its new name, as in the
    // catalogue.
    const std::string old = Domain.Name;
    auto follow = [&](TDbObj* Field) {
        if (auto* f = dynamic_cast<TFldData*>(Field); f && f->DataType == dtDomain && f->DomainName == old)
            f->DomainName = NewName;
    };
    for (TObjListKind list : {olTables, olViews})
        for (int i = 0; i < Objs->List(list).Count(); ++i)
            for (int c = 0; c < Objs->List(list).Obj(i)->GetColumnCount(); ++c) follow(Objs->List(list).Obj(i)->GetColumn(c));
    for (int i = 0; i < Objs->List(olProcedures).Count(); ++i) {
        TDbObj* p = Objs->List(olProcedures).Obj(i);
        for (int a = 0; a < p->GetInputParamCount(); ++a) follow(p->GetInputParam(a));
        for (int a = 0; a < p->GetOutputParamCount(); ++a) follow(p->GetOutputParam(a));
    }
    if (!Objs->List(olDomains).Take(old)) return;
    Domain.SetName(NewName);
    AddDbObject(&Domain);
}

// ---- generators and sequences ----

void TIbParser::ParseCreateGenerator(bool Alter) {
    NextAndExpect(tkIdent);
    if (Failed()) return;
    const std::string name = TokenText;
    if (FRecreate) ForgetObject(dboGenerator, name);
    auto* generator = Objs ? dynamic_cast<TGnrData*>(Objs->FindGenerator(name)) : nullptr;
    std::unique_ptr<TGnrData> made;
    if (!generator) {
        made = std::make_unique<TGnrData>(Objs, nullptr);
        made->SetName(name);
        generator = made.get();
    } else if (!Alter) {
        // Made anew: what the statement leaves out is the server's default again.
        generator->StartWith.clear();
        generator->IncrementBy.clear();
    }
    NextToken();
    // Firebird 3 and later: [RESTART [WITH n]] [START WITH n] [INCREMENT [BY] n]; a start of 0
    // and an increment of 1 are the defaults and are kept empty. RESTART WITH sets the start.
    const TIBSQLServerVersionType v = ServerVersion();
    if (v == st_Firebird_30 || v == st_Firebird_40) {
        int64_t n = 0;
        if (IsWord("RESTART")) {
            NextToken();
            if (IsKeyword(kwWITH)) {
                NextToken();
                if (!ReadSignedInteger(n)) return;
                generator->StartWith = n == 0 ? std::string() : std::to_string(n);
            }
        }
        if (IsWord("START")) {
            NextToken();
            if (!IsKeyword(kwWITH)) return Expect(kwWITH);
            NextToken();
            if (!ReadSignedInteger(n)) return;
            generator->StartWith = n == 0 ? std::string() : std::to_string(n);
        }
        if (IsWord("INCREMENT")) {
            NextToken();
            if (IsKeyword(kwBY)) NextToken();
            if (!ReadSignedInteger(n)) return;
            generator->IncrementBy = n == 1 ? std::string() : std::to_string(n);
        }
    }
    if (!ExpectTerminator()) return;
    DoLogLine("Generator: " + name);
    // ALTER SEQUENCE of a sequence the script has not made changes one of the database: it is
    // handed on and makes none.
    if (made && Alter && !FCreateOrAlter) made.reset();
    HandOn(skStatement, name, dboGenerator, made ? saCreate : saAlter);
    if (made) AddDbObject(made.release());
    NextToken();
}

// ---- exceptions ----

void TIbParser::ParseCreateException(TDbObj* Existing) {
    Expect(tkIdent);
    if (Failed()) return;
    const std::string name = TokenText;
    if (FRecreate) ForgetObject(dboException, name);
    auto* exception = dynamic_cast<TExcData*>(Existing);
    std::unique_ptr<TExcData> made;
    if (!exception) {
        made = std::make_unique<TExcData>(Objs);
        made->SetName(name);
        exception = made.get();
    }
    NextAndExpect(tkString);
    if (Failed()) return;
    exception->Message = ValueText;
    NextToken();
    if (!ExpectTerminator()) return;
    DoLogLine("Exception: " + name);
    HandOn(skStatement, name, dboException, saCreate);
    if (made) AddDbObject(made.release());
    NextToken();
}

void TIbParser::ParseAlterException() {
    NextAndExpect(tkIdent);
    if (Failed()) return;
    ParseCreateException(Objs ? Objs->FindException(TokenText) : nullptr);
}

// ---- collations ----

void TIbParser::TakeBaseAttributes(TCltData& Collation) const {
    // What CREATE COLLATION ... FROM base leaves out, Firebird takes from the base, and it keeps
    // the collation the base itself is made from as the base: from a collation of the script,
    // or from one of its own. All of its own pad with spaces; these ignore case (and, where
    // marked, accents). FROM EXTERNAL starts from nothing instead.
    struct TOwnCollation {
        const char* Name;
        bool AccentInsensitive;
        const char* MadeFrom;
    };
    static const TOwnCollation insensitive[] = {
        {"UNICODE_CI", false, "UNICODE"}, {"UNICODE_CI_AI", true, "UNICODE"}, {"PT_BR", true, nullptr},
        {"ES_ES_CI_AI", true, nullptr},   {"FR_FR_CI_AI", true, "FR_FR"},     {"FR_CA_CI_AI", true, "FR_CA"},
        {"WIN_CZ", false, nullptr},       {"WIN_CZ_CI_AI", true, nullptr},    {"WIN_PTBR", true, nullptr}};
    if (const auto* base = Objs ? dynamic_cast<const TCltData*>(Objs->List(olCollations).FindObj(Collation.BaseCollation))
                                : nullptr) {
        Collation.PadSpace = base->PadSpace;
        Collation.CaseSensitive = base->CaseSensitive;
        Collation.AccentSensitive = base->AccentSensitive;
        Collation.BaseCollation = base->BaseCollation.empty() ? base->ExternalName : base->BaseCollation;
        return;
    }
    Collation.PadSpace = true;
    for (const TOwnCollation& own : insensitive)
        if (Collation.BaseCollation == own.Name) {
            Collation.CaseSensitive = false;
            Collation.AccentSensitive = !own.AccentInsensitive;
            if (own.MadeFrom) Collation.BaseCollation = own.MadeFrom;
            return;
        }
}

void TIbParser::ParseCreateCollation() {
    if (!IsWord("COLLATION")) return ExpectIdent("COLLATION");
    NextAndExpect(tkIdent);
    if (Failed()) return;
    auto collation = std::make_unique<TCltData>(Objs);
    collation->SetName(TokenText);
    if (FRecreate) ForgetObject(dboCollation, collation->Name);
    NextToken();
    if (!IsKeyword(kwFOR)) return Expect(kwFOR);
    NextAndExpect(tkIdent);
    if (Failed()) return;
    collation->CharacterSet = TokenText;
    NextToken();
    if (IsKeyword(kwFROM)) {
        NextToken();
        if (IsKeyword(kwEXTERNAL)) {
            NextAndExpect(tkLParen);
            if (Failed()) return;
            NextAndExpect(tkString);
            if (Failed()) return;
            collation->ExternalName = ValueText;
            NextAndExpect(tkRParen);
            if (Failed()) return;
            NextToken();
        } else if (Token == tkIdent) {
            collation->BaseCollation = TokenText;
            TakeBaseAttributes(*collation);
            NextToken();
        } else {
            ReportError("Must be: FROM basecoll | FROM EXTERNAL ('extname')");
            return;
        }
    }
    if (IsKeyword(kwNO)) {
        NextToken();
        if (!IsWord("PAD")) return ExpectIdent("PAD");
        collation->PadSpace = false;
        NextToken();
    } else if (IsWord("PAD")) {
        NextToken();
        if (!IsWord("SPACE")) return ExpectIdent("SPACE");
        collation->PadSpace = true;
        NextToken();
    }
    auto sensitivity = [this](bool& Flag) {
        NextToken();
        if (IsWord("SENSITIVE") || IsWord("INSENSITIVE")) {
            Flag = IsWord("SENSITIVE");
            NextToken();
            return true;
        }
        ReportError("Must be: SENSITIVE / INSENSITIVE");
        return false;
    };
    if (IsKeyword(kwCASE) && !sensitivity(collation->CaseSensitive)) return;
    if (IsWord("ACCENT") && !sensitivity(collation->AccentSensitive)) return;
    if (Token == tkString) {
        collation->Attributes = ValueText;
        NextToken();
    }
    if (!ExpectTerminator()) return;
    DoLogLine("Collation: " + collation->Name);
    HandOn(skStatement, collation->Name, dboCollation, saCreate);
    AddDbObject(collation.release());
    NextToken();
}

// ---- descriptions ----

void TIbParser::ParseDescribe() {
    NextToken();
    TDbObj* object = nullptr;
    std::string name, fieldName;
    TDbObject kind = dboUnknown;
    auto readName = [&]() {
        NextAndExpect(tkIdent);
        if (Token != tkIdent) return false;
        name = TokenText;
        return true;
    };
    const TTokenCode word = WordCode();
    const bool sequence = IsWord("SEQUENCE");
    if (IsWord("FIELD")) {
        if (!readName()) return;
        NextToken();
        const bool table = IsKeyword(kwTABLE);
        if (!table && !IsKeyword(kwVIEW)) return ReportError("Unknown DESCRIBE statement.");
        NextAndExpect(tkIdent);
        if (Failed()) return;
        fieldName = TokenText;
        kind = dboField;
        if (Objs) object = table ? Objs->FindTableField(fieldName, name) : Objs->FindViewField(fieldName, name);
    } else if (IsKeyword(kwPARAMETER)) {
        if (!readName()) return;
        NextToken();
        if (!IsKeyword(kwPROCEDURE)) return Expect(kwPROCEDURE);
        NextAndExpect(tkIdent);
        if (Failed()) return;
        fieldName = TokenText;
        kind = dboParam;
        if (Objs) object = Objs->FindProcParam(fieldName, name);
    } else if (sequence || word == kwTABLE || word == kwVIEW || word == kwPROCEDURE || word == kwTRIGGER ||
               word == kwFUNCTION || word == kwDOMAIN || word == kwINDEX || word == kwEXCEPTION ||
               word == kwGENERATOR || word == kwROLE) {
        if (!readName()) return;
        switch (word) {
        case kwTABLE: kind = dboTable; break;
        case kwVIEW: kind = dboView; break;
        case kwPROCEDURE: kind = dboProcedure; break;
        case kwTRIGGER: kind = dboTrigger; break;
        case kwFUNCTION: kind = dboFunction; break;
        case kwDOMAIN: kind = dboDomain; break;
        case kwINDEX: kind = dboIndex; break;
        case kwEXCEPTION: kind = dboException; break;
        case kwROLE: kind = dboRole; break;
        default: kind = dboGenerator; break;
        }
        object = FindDescribed(kind, name);
    } else if (Token == tkIdent) {
        return ReportError("Unknown DESCRIBE statement.");
    }
    NextAndExpect(tkString);
    if (Failed()) return;
    const std::string text = ValueText;
    if (object) object->SetDescription(text);
    NextToken();
    if (!ExpectTerminator()) return;
    HandOn(skDescription, name, kind, saDescription, fieldName);
    if (auto* statement = dynamic_cast<TStatement*>(LastStatement)) statement->DescriptionText = NormalizeLineBreaks(text);
    NextToken();
}

TDbObj* TIbParser::FindDescribed(TDbObject Kind, const std::string& Name) const {
    if (!Objs) return nullptr;
    switch (Kind) {
    case dboTable: return Objs->FindTable(Name);
    case dboView: return Objs->FindView(Name);
    case dboProcedure: return Objs->FindProcedure(Name);
    case dboTrigger: return Objs->FindTrigger(Name);
    case dboFunction: return Objs->FindUDF(Name);
    case dboDomain: return Objs->FindDomain(Name);
    case dboIndex: return Objs->FindIndex(Name);
    case dboException: return Objs->FindException(Name);
    case dboGenerator: return Objs->FindGenerator(Name);
    case dboRole: return Objs->FindRole(Name);
    case dboPackage: return Objs->FindPackage(Name);
    case dboCollation: return Objs->List(olCollations).FindObj(Name);
    default: return nullptr;
    }
}

void TIbParser::ParseComment() {
    // COMMENT ON what name IS 'text' | NULL. What the structure has no place for (the database,
    // a character set, a routine of a package the script has not created, ...) is handed on as a
    // statement instead.
    NextToken();
    if (!IsKeyword(kwON)) return Expect(kwON);
    NextToken();
    TDbObj* object = nullptr;
    std::vector<std::string> names;
    // A routine of a package, or one of its parameters: described on the package.
    TPkgData* package = nullptr;
    TMemberDescription member;
    bool placeless = false;
    // The package named first in names (package.routine[.parameter]) and what they describe;
    // placeless when the script has no such package.
    auto packaged = [&](bool Function) {
        package = Objs ? dynamic_cast<TPkgData*>(Objs->FindPackage(names[0])) : nullptr;
        placeless = !package;
        member.Function = Function;
        member.Routine = names[1];
        if (names.size() > 2) member.Parameter = names[2];
    };
    std::string name;
    // The table, view or routine of a column or parameter.
    std::string owner;
    TDbObject kind = dboUnknown;
    // A name, or a dotted one of Parts parts, into names; the token after it becomes current.
    auto readNames = [&](size_t Parts) {
        names.clear();
        for (size_t i = 0; i < Parts; ++i) {
            if (i) {
                NextToken();
                if (Token != tkPoint) {
                    Expect(tkPoint);
                    return false;
                }
            }
            NextAndExpect(tkIdent);
            if (Token != tkIdent) return false;
            names.push_back(TokenText);
        }
        NextToken();
        return true;
    };
    const TTokenCode word = WordCode();
    if (IsKeyword(kwDATABASE)) {
        kind = dboDatabase;
        placeless = true;
        NextToken();
    } else if (IsKeyword(kwCHAR)) {  // CHARACTER SET
        NextToken();
        if (!IsKeyword(kwSET)) return Expect(kwSET);
        if (!readNames(1)) return;
        name = names[0];
        placeless = true;
    } else if (IsKeyword(kwCOLUMN)) {
        if (!readNames(2)) return;
        name = names[1];
        owner = names[0];
        kind = dboField;
        if (Objs) {
            object = Objs->FindTableField(names[0], names[1]);
            if (!object) object = Objs->FindViewField(names[0], names[1]);
        }
    } else if (IsKeyword(kwPARAMETER) || ((word == kwPROCEDURE || word == kwFUNCTION) && PeekWordCode() == kwPARAMETER)) {
        const bool function = word == kwFUNCTION;
        if (!IsKeyword(kwPARAMETER)) NextToken();
        // [package.]routine.parameter
        if (!readNames(2)) return;
        if (Token == tkPoint) {
            NextAndExpect(tkIdent);
            if (Failed()) return;
            names.push_back(TokenText);
            NextToken();
            packaged(function);
        }
        name = names.back();
        owner = names[names.size() - 2];
        kind = dboParam;
        if (names.size() == 2) {
            TPrcData* routine = FindRoutine(names[0], function);
            object = routine ? Objs->FindProcParam(routine->Name, names[1]) : nullptr;
        }
    } else {
        bool external = false;
        if (IsKeyword(kwEXTERNAL)) {
            external = true;
            NextToken();
            if (!IsKeyword(kwFUNCTION)) return Expect(kwFUNCTION);
        }
        switch (WordCode()) {
        case kwINDEX: kind = dboIndex; break;
        case kwEXCEPTION: kind = dboException; break;
        case kwDOMAIN: kind = dboDomain; break;
        case kwGENERATOR: kind = dboGenerator; break;
        case kwTABLE: kind = dboTable; break;
        case kwVIEW: kind = dboView; break;
        case kwPROCEDURE: kind = dboProcedure; break;
        case kwTRIGGER: kind = dboTrigger; break;
        case kwROLE: kind = dboRole; break;
        case kwFUNCTION: kind = external ? dboFunction : dboProcedure; break;
        case kwFILTER: kind = dboBlobFilter; placeless = true; break;
        default:
            if (IsWord("SEQUENCE")) kind = dboGenerator;
            else if (IsWord("PACKAGE")) kind = dboPackage;
            else if (IsWord("COLLATION")) kind = dboCollation;
            else if (IsKeyword(kwUSER)) kind = dboUser, placeless = true;
            break;
        }
        if (kind == dboUnknown) return ReportError("Unknown Comment-statement");
        if (!readNames(1)) return;
        name = names[0];
        if (Token == tkPoint) {
            // package.routine
            NextAndExpect(tkIdent);
            if (Failed()) return;
            name = TokenText;
            names.push_back(name);
            NextToken();
            if (kind == dboProcedure)
                packaged(word == kwFUNCTION);
            else
                placeless = true;
        } else if (word == kwFUNCTION && !external) {
            // A function of the procedure list, else an external function of that name.
            object = FindRoutine(name, true);
            if (!object && Objs) object = Objs->FindUDF(name);
        } else if (kind == dboProcedure) {
            object = FindRoutine(name, false);
        } else if (!placeless) {
            object = FindDescribed(kind, name);
        }
    }
    if (!IsKeyword(kwIS)) return Expect(kwIS);
    NextToken();
    if (Token == kwCharsetIntroducer) NextToken();
    std::string text;
    if (Token == tkString)
        text = ValueText;
    else if (!IsKeyword(kwNULL))
        return ReportError("Invalid comment text");
    NextToken();
    if (!ExpectTerminator()) return;
    if (object) object->SetDescription(text);
    if (kind == dboDatabase && Objs) Objs->DatabaseDescription = NormalizeLineBreaks(text);
    if (package) {
        member.Text = text;
        package->SetMemberDescription(member);
    }
    if (placeless || HandOnEveryStatement) {
        HandOn(skDescription, name, kind, saDescription, owner);
        if (auto* statement = dynamic_cast<TStatement*>(LastStatement))
            statement->DescriptionText = NormalizeLineBreaks(text);
    }
    NextToken();
}

} // namespace qnl
