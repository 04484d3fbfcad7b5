// Implements the InterBase/Firebird DDL reader's roles, external functions and grants; see
// qnlIBParser.h.
#include "interbase/qnlIBParser.h"

#include "core/qnlSQL_Exec.h"
#include "objects/qnlComp_Fnc.h"
#include "objects/qnlComp_Rol.h"
#include "objects/qnlComp_Tbl.h"

#include <vector>

namespace qnl {

// ---- roles, external functions and grants ----

void TIbParser::ParseCreateRole() {
    // ROLE is current.
    NextAndExpect(tkIdent);
    if (Failed()) return;
    auto role = std::make_unique<TRolData>(Objs);
    role->SetName(TokenText);
    NextToken();
    if (!ExpectTerminator()) return;
    HandOn(skStatement, role->Name, dboRole, saCreate);
    AddDbObject(role.release());
    NextToken();
}

void TIbParser::ParseDeclareExternalFunction() {
    // FUNCTION is current (after DECLARE EXTERNAL).
    NextAndExpect(tkIdent);
    if (Failed()) return;
    auto udf = std::make_unique<TUdfData>(Objs);
    udf->SetName(TokenText);
    NextToken();
    const bool fb3 = Firebird3Forms();
    // The arguments: types with their BY VALUE / BY DESCRIPTOR / NULL.
    while (!Failed() && !IsKeyword(kwRETURNS) && Token != tkTerminator && !(Token == tkEOF && AtEnd())) {
        auto argument = std::make_unique<TFldData>(Objs, udf.get());
        argument->OwnerName = udf->Name;
        ParseDataType(*argument, nullptr);
        if (Failed()) return;
        udf->AddArgument(std::move(argument));
        if (Token != tkComma) break;
        NextToken();
    }
    if (!IsKeyword(kwRETURNS)) return Expect(kwRETURNS);
    NextToken();
    TFldData& result = *udf->ReturnField;
    result.OwnerName = udf->Name;
    if (IsKeyword(kwPARAMETER)) {
        NextAndExpect(tkInteger);
        if (Failed() || !Int32InRange(udf->ReturnField->ParameterNumber)) return;
        NextToken();
    } else {
        ParseDataType(result, nullptr);
        if (Failed()) return;
        // Firebird hands a blob result back through one more argument: RETURNS BLOB is kept as
        // that argument and RETURNS PARAMETER n.
        if (result.DataType == dtBlob) {
            auto argument = std::make_unique<TFldData>(Objs, udf.get());
            argument->Assign(result);
            udf->AddArgument(std::move(argument));
            udf->ReturnField = std::make_unique<TFldData>(Objs, udf.get());
            udf->ReturnField->OwnerName = udf->Name;
            udf->ReturnField->ParameterNumber = udf->Arguments.Count();
        }
    }
    if (IsKeyword(kwFREE_IT)) {
        udf->FreeIt = true;
        NextToken();
    }
    // ENTRY_POINT 'name' MODULE_NAME 'module'; older versions pass over whatever word stands there.
    auto literal = [&](TTokenCode Word, std::string& Value) {
        if (fb3 && !IsKeyword(Word)) {
            Expect(Word);
            return false;
        }
        NextAndExpect(tkString);
        if (Failed()) return false;
        Value = ValueText;
        NextToken();
        return true;
    };
    if (!literal(kwENTRY_POINT, udf->EntryPoint) || !literal(kwMODULE_NAME, udf->ModuleName)) return;
    if (!ExpectTerminator()) return;
    DoLogLine("External function: " + udf->Name);
    HandOn(skStatement, udf->Name, dboFunction, saCreate);
    AddDbObject(udf.release());
    NextToken();
}

void TIbParser::ParseAlterExternalFunction() {
    NextAndExpect(kwFUNCTION);
    if (Failed()) return;
    NextAndExpect(tkIdent);
    if (Failed()) return;
    const std::string name = TokenText;
    auto* udf = Objs ? dynamic_cast<TUdfData*>(Objs->FindUDF(name)) : nullptr;
    NextToken();
    // Either clause or both, in either order; what is not named stays.
    std::string entryPoint, moduleName;
    bool newEntryPoint = false, newModuleName = false;
    while (IsKeyword(kwENTRY_POINT) || IsKeyword(kwMODULE_NAME)) {
        const bool entry = IsKeyword(kwENTRY_POINT);
        NextAndExpect(tkString);
        if (Failed()) return;
        (entry ? entryPoint : moduleName) = ValueText;
        (entry ? newEntryPoint : newModuleName) = true;
        NextToken();
    }
    if (!ExpectTerminator()) return;
    if (udf && newEntryPoint) udf->EntryPoint = entryPoint;
    if (udf && newModuleName) udf->ModuleName = moduleName;
    HandOn(skStatement, name, dboFunction, saAlter);
    NextToken();
}

void TIbParser::ParseGrant() {
    // GRANT is current. One grant object per grantee and per column list: a column grant is
    // never widened into a grant on the whole table.
    NextToken();
    struct TPrivilege {
        TGrantPrivilege Member;
        std::vector<std::string> Columns;
    };
    std::vector<TPrivilege> privileges;
    std::vector<std::string> roles;
    TDbObject objectKind = dboUnknown;
    std::string objectName;
    const TTokenCode first = WordCode();
    const bool ddl = (first == kwCREATE || first == kwALTER || first == kwDROP) && PeekWordCode() != kwON &&
                     PeekWordCode() != tkComma;
    std::string ddlPrivilege;
    if (ddl) {
        // Firebird keeps CREATE DATABASE in the security database, not in the database the
        // script describes: it is handed on as written.
        if (first == kwCREATE && PeekWordCode() == kwDATABASE) return ParseRawStatement(skStatement, {}, dboGrant, saCreate);
        ddlPrivilege = ParseDdlPrivilege();
        if (Failed()) return;
    } else if (first == kwALL || first == kwSELECT || first == kwINSERT || first == kwUPDATE || first == kwDELETE ||
        first == kwREFERENCES || first == kwEXECUTE || IsWord("USAGE")) {
        for (;;) {
            const TTokenCode word = WordCode();
            if (word == kwALL) {
                for (TGrantPrivilege p : {gpInsert, gpUpdate, gpDelete, gpSelect, gpReferences}) privileges.push_back({p, {}});
                NextToken();
                if (IsKeyword(kwPRIVILEGES)) NextToken();
            } else {
                TGrantPrivilege p;
                switch (word) {
                case kwSELECT: p = gpSelect; break;
                case kwINSERT: p = gpInsert; break;
                case kwUPDATE: p = gpUpdate; break;
                case kwDELETE: p = gpDelete; break;
                case kwREFERENCES: p = gpReferences; break;
                case kwEXECUTE: p = gpExecute; break;
                default:
                    if (!IsWord("USAGE")) return Expect(kwSELECT);
                    p = gpUsage;
                    break;
                }
                NextToken();
                TPrivilege privilege{p, {}};
                if (Token == tkLParen && (p == gpUpdate || p == gpReferences)) {
                    TColumnNameList columns;
                    ParseColumnList(columns);
                    if (Failed()) return;
                    for (int i = 0; i < columns.Count(); ++i) privilege.Columns.push_back(columns[i]);
                }
                privileges.push_back(std::move(privilege));
            }
            if (Token != tkComma) break;
            NextToken();
        }
        if (!IsKeyword(kwON)) return Expect(kwON);
        NextToken();
        switch (WordCode()) {
        case kwTABLE: objectKind = dboTable; break;
        case kwVIEW: objectKind = dboView; break;
        case kwPROCEDURE: objectKind = dboProcedure; break;
        case kwFUNCTION: objectKind = dboFunction; break;
        case kwTRIGGER: objectKind = dboTrigger; break;
        case kwGENERATOR: objectKind = dboGenerator; break;
        case kwEXCEPTION: objectKind = dboException; break;
        default:
            if (IsWord("PACKAGE")) objectKind = dboPackage;
            else if (IsWord("SEQUENCE")) objectKind = dboGenerator;
            break;
        }
        if (objectKind != dboUnknown) NextToken();
        Expect(tkIdent);
        if (Failed()) return;
        objectName = TokenText;
        if (objectKind == dboUnknown && Objs) {
            if (Objs->FindTable(objectName))
                objectKind = dboTable;
            else if (Objs->FindView(objectName))
                objectKind = dboView;
            else if (UpperCase(objectName).compare(0, 4, "RDB$") == 0)
                objectKind = dboTable;
        }
        NextToken();
    } else {
        // Roles granted: GRANT R1, R2 TO ...
        for (;;) {
            Expect(tkIdent);
            if (Failed()) return;
            roles.push_back(TokenText);
            NextToken();
            if (Token != tkComma) break;
            NextToken();
        }
    }
    if (!IsKeyword(kwTO)) return Expect(kwTO);
    NextToken();
    struct TGrantee {
        std::string Name;
        TDbObject Kind;
        TCmpObjType Type;
    };
    std::vector<TGrantee> grantees;
    for (;;) {
        TDbObject kind = dboUnknown;
        TCmpObjType type = coGrant;
        switch (WordCode()) {
        case kwPROCEDURE: kind = dboProcedure, type = coObjGrant; break;
        case kwFUNCTION: kind = dboFunction, type = coObjGrant; break;
        case kwTRIGGER: kind = dboTrigger, type = coObjGrant; break;
        case kwVIEW: kind = dboView, type = coObjGrant; break;
        case kwUSER: kind = dboUser, type = coUserGrant; break;
        case kwROLE: kind = dboRole, type = coRoleGrant; break;
        default:
            if (IsWord("PACKAGE")) kind = dboPackage, type = coObjGrant;
            break;
        }
        if (kind != dboUnknown) NextToken();
        Expect(tkIdent);
        if (Failed()) return;
        const std::string name = TokenText;
        // A role is granted to users only (Firebird takes the name of a role there for a user's).
        if (kind == dboUnknown) kind = roles.empty() && Objs && Objs->FindRole(name) ? dboRole : dboUser;
        grantees.push_back({name, kind, type});
        NextToken();
        if (Token != tkComma) break;
        NextToken();
    }
    int32_t option = 0;
    if (IsKeyword(kwWITH)) {
        NextToken();
        if (IsKeyword(kwGRANT))
            option = 1;
        else if (IsKeyword(kwADMIN))
            option = Firebird3Forms() ? 2 : 1;  // Firebird 3 keeps an admin option as 2
        else
            return ReportError("Must be: with GRANT/ADMIN option");
        NextToken();
        if (!IsKeyword(kwOPTION)) return Expect(kwOPTION);
        NextToken();
    }
    // GRANTED BY / AS grantor: the grant is made in that user's name.
    std::string grantor;
    if (IsWord("GRANTED") || IsKeyword(kwAS)) {
        NextToken();
        if (IsKeyword(kwBY)) NextToken();
        if (IsKeyword(kwUSER)) NextToken();
        Expect(tkIdent);
        if (Failed()) return;
        grantor = TokenText;
        NextToken();
    }
    if (!ExpectTerminator()) return;
    const TIBServerOptions* o = GetIBOptions();
    const bool ignored = o && o->IBCompareOptions.IgnoreIBEObjects && UpperCase(objectName).compare(0, 4, "IBE$") == 0;
    // One grant per grantee and object: the plain privileges together, each column list apart.
    auto file = [&](const TGrantee& G, const std::string& Object, TDbObject Kind, const std::vector<TPrivilege>& Members) {
        auto grant = std::make_unique<TGntData>(Objs);
        grant->ObjectName = Object;
        grant->ObjectKind = Kind;
        grant->Grantee = G.Name;
        grant->GranteeKind = G.Kind;
        grant->GrantType = G.Type;
        grant->GrantOption = option;
        grant->Grantor = grantor;
        grant->DdlPrivilege = ddlPrivilege;
        for (const TPrivilege& p : Members) {
            grant->Privileges.Include(p.Member);
            for (const std::string& c : p.Columns) grant->Fields.Add(c);
        }
        grant->SetName(grant->GetKeyName());
        DoLogLine("Grant: " + grant->GetCreateSQL());
        AddGrant(grant.release());
    };
    if (!ddlPrivilege.empty())
        for (const TGrantee& g : grantees) file(g, {}, dboUnknown, {});
    else if (!ignored)
        for (const TGrantee& g : grantees) {
            for (const std::string& role : roles) file(g, role, dboRole, {});
            std::vector<TPrivilege> plain;
            for (const TPrivilege& p : privileges)
                if (p.Columns.empty())
                    plain.push_back(p);
                else
                    file(g, objectName, objectKind, {p});
            if (!plain.empty()) file(g, objectName, objectKind, plain);
        }
    if (HandOnEveryStatement) HandOn(skStatement, objectName, dboGrant, saCreate);
    NextToken();
}

std::string TIbParser::ParseDdlPrivilege() {
    // CREATE, ALTER or DROP is current. Written as isql writes it, so that both readers give one
    // grant one text: SEQUENCE is read as GENERATOR.
    const TTokenCode verb = WordCode();
    std::string privilege = verb == kwCREATE ? "CREATE" : verb == kwALTER ? "ALTER" : "DROP";
    NextToken();
    if (verb != kwCREATE) {
        if (IsKeyword(kwDATABASE)) {
            NextToken();
            return privilege + " DATABASE";
        }
        if (!IsKeyword(kwANY)) {
            ReportError("Must be: ANY or DATABASE after " + privilege);
            return {};
        }
        privilege += " ANY";
        NextToken();
    }
    // The kinds by keyword, or by word where the reader keeps none for them (tkIdent).
    struct TKind {
        TTokenCode Keyword;
        const char* Word;
        const char* Written;
    };
    static const TKind Kinds[] = {
        {kwTABLE, "", "TABLE"},          {kwVIEW, "", "VIEW"},           {kwPROCEDURE, "", "PROCEDURE"},
        {kwFUNCTION, "", "FUNCTION"},    {tkIdent, "PACKAGE", "PACKAGE"}, {kwGENERATOR, "", "GENERATOR"},
        {tkIdent, "SEQUENCE", "GENERATOR"}, {kwDOMAIN, "", "DOMAIN"},    {kwEXCEPTION, "", "EXCEPTION"},
        {kwROLE, "", "ROLE"},            {tkIdent, "COLLATION", "COLLATION"}, {kwFILTER, "", "FILTER"}};
    for (const TKind& kind : Kinds)
        if (kind.Keyword == tkIdent ? IsWord(kind.Word) : IsKeyword(kind.Keyword)) {
            NextToken();
            return privilege + " " + kind.Written;
        }
    if (IsKeyword(kwCHARACTER)) {
        NextToken();
        if (!IsKeyword(kwSET)) {
            ReportError("Must be: CHARACTER SET");
            return {};
        }
        NextToken();
        return privilege + " CHARACTER SET";
    }
    ReportError("Must be: the kind of object of a DDL privilege after " + privilege);
    return {};
}

void TIbParser::AddGrant(TDbObj* Grant) {
    std::unique_ptr<TDbObj> owned(Grant);
    if (!Objs) return;
    if (Objs->MergeGrant(Grant)) owned.release();
}

void TIbParser::ResolveGrantTargets() {
    // A grantee named without its kind is a role when the script has one of that name, an
    // object when it has a table, view, procedure or trigger of that name, else a user.
    TDbObjList& grants = Objs->List(olGrants);
    for (int i = 0; i < grants.Count(); ++i) {
        auto* g = dynamic_cast<TGntData*>(grants.Obj(i));
        if (!g || g->GrantType != coGrant) continue;
        if (Objs->FindRole(g->Grantee))
            g->GrantType = coRoleGrant;
        else if (Objs->FindTable(g->Grantee) || Objs->FindView(g->Grantee) || Objs->FindProcedure(g->Grantee) ||
                 Objs->FindTrigger(g->Grantee))
            g->GrantType = coObjGrant;
        else
            g->GrantType = coUserGrant;
    }
}

} // namespace qnl
