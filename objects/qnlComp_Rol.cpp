// Implements roles, logins, users, grants and their passes; see qnlComp_Rol.h.
#include "objects/qnlComp_Rol.h"

#include "core/qnlCustomQuarnel.h"
#include "core/qnlSQL_Exec.h"
#include "objects/qnlPassSection.h"

#include <algorithm>
#include <array>
#include <vector>

namespace qnl {

namespace {

const char* const CRLF = "\r\n";

// The initial password of an ASE login the script adds; the administrator sets the real one.
const char* const ASEInitialPassword = "'change'";

// clang-format off
constexpr std::array<const char*, GrantPrivilegeCount> PrivilegeWords{
    "ALL", "INSERT", "UPDATE", "DELETE", "SELECT", "EXECUTE", "REFERENCES", "CONNECT",
    "", "CREATE DATABASE LINK", "CREATE SEQUENCE", "CREATE SESSION", "CREATE TRIGGER", "CREATE PROCEDURE",
    "CREATE TYPE", "CREATE SYNONYM", "CREATE PUBLIC SYNONYM", "DROP SYNONYM", "DROP PUBLIC SYNONYM",
    "CREATE TABLE", "CREATE VIEW", "CREATE INDEXTYPE", "CREATE RULE", "CREATE DEFAULT", "CREATE FUNCTION",
    "CREATE DATABASE", "BACKUP DATABASE", "BACKUP LOG", "DUMP DATABASE", "DUMP TRANSACTION", "VIEW ANY DATABASE",
    "TRUNCATE TABLE", "UPDATE STATISTICS", "DELETE STATISTICS", "UNLIMITED TABLESPACE", "DROP TABLE", "DROP VIEW",
    "DROP TRIGGER", "DROP PROCEDURE", "DROP SEQUENCE", "DROP TYPE", "DROP INDEXTYPE", "FORCE ANY TRANSACTION",
    "USAGE", "", "", "", ""};
// clang-format on
static_assert(std::string_view(PrivilegeWords[gpUsage]) == "USAGE");
static_assert(std::string_view(PrivilegeWords[gpCreateDatabaseLink]) == "CREATE DATABASE LINK");

// The orders in which each writer lists privileges.
constexpr TGrantPrivilege TableOrder[] = {gpDelete,        gpInsert,           gpSelect,          gpUpdate,
                                          gpReferences,    gpTruncateTable,    gpUpdateStatistics, gpDeleteStatistics};
constexpr TGrantPrivilege AnyObjectOrder[] = {gpConnect, gpExecute, gpUsage};
constexpr TGrantPrivilege OracleObjectOrder[] = {gpDelete, gpInsert, gpSelect, gpUpdate, gpReferences, gpExecute};
constexpr TGrantPrivilege OracleSystemOrder[] = {
    gpCreateDatabaseLink, gpCreateSession, gpCreatePublicSynonym, gpCreateSynonym, gpCreateType, gpCreateTable,
    gpCreateView, gpCreateTrigger, gpCreateProcedure, gpCreateSequence, gpCreateIndexType, gpDropPublicSynonym,
    gpDropSynonym, gpDropType, gpDropTable, gpDropView, gpDropTrigger, gpDropProcedure, gpDropSequence,
    gpDropIndexType, gpUnlimitedTablespace, gpForceAnyTransaction};
// MSSQL and ASE statement permissions. A REVOKE lists the same ones as the GRANT: one that left
// TRUNCATE TABLE or UPDATE STATISTICS out would keep them on the target unsaid.
constexpr TGrantPrivilege StatementOrder[] = {
    gpCreateDatabase, gpCreateDefault, gpCreateFunction, gpCreateProcedure, gpCreateRule, gpCreateTable,
    gpCreateView, gpBackupDatabase, gpBackupLog, gpDumpDatabase, gpDumpTransaction, gpViewAnyDatabase,
    gpTruncateTable, gpUpdateStatistics};

constexpr TGrantPrivileges AllTablePrivileges{gpInsert, gpUpdate, gpDelete, gpSelect, gpReferences};

template <size_t N>
std::string PrivilegeList(TGrantPrivileges Set, const TGrantPrivilege (&Order)[N]) {
    std::string s;
    for (TGrantPrivilege p : Order)
        if (Set.Contains(p)) s += (s.empty() ? "" : ", ") + std::string(PrivilegeWords[p]);
    return s;
}

// The kind word an InterBase/Firebird ON clause gives the object. A view is named like a table:
// Firebird refuses "ON VIEW".
const char* IBObjectWord(TDbObject Kind) {
    switch (Kind) {
    case dboProcedure: return "PROCEDURE ";
    case dboTrigger: return "TRIGGER ";
    case dboFunction: return "FUNCTION ";
    case dboException: return "EXCEPTION ";
    case dboGenerator: return "SEQUENCE ";
    case dboPackage: return "PACKAGE ";
    default: return "";
    }
}

const char* GranteeWord(TDbObject Kind) {
    switch (Kind) {
    case dboProcedure: return "PROCEDURE ";
    case dboTrigger: return "TRIGGER ";
    case dboFunction: return "FUNCTION ";
    case dboView: return "VIEW ";
    case dboRole: return "ROLE ";
    case dboPackage: return "PACKAGE ";
    default: return "";
    }
}

TGntData* AsGrant(TDbObj* Obj) { return dynamic_cast<TGntData*>(Obj); }
TRolData* AsRole(TDbObj* Obj) { return dynamic_cast<TRolData*>(Obj); }

bool SameTarget(const TGntData& A, const TGntData& B) {
    return A.ObjectName == B.ObjectName && A.ObjectKind == B.ObjectKind && A.Grantee == B.Grantee &&
           A.GranteeKind == B.GranteeKind;
}

} // namespace

const char* GrantPrivilegeWord(TGrantPrivilege Privilege) {
    return Privilege < GrantPrivilegeCount ? PrivilegeWords[Privilege] : "";
}

// ---- TRolData ----

std::string TRolData::GetKeyName() const {
    switch (RoleKind) {
    case rkLogin: return "Login: " + Name;
    case rkUser: return "User: " + Name;
    default: return "Role: " + Name;
    }
}

TDescriptionSubject TRolData::GetDescriptionSubject() {
    if (RoleKind == rkRole) return {dcRole};
    return {};
}

std::string TRolData::ASECreateText(bool SwitchBack) {
    // The script goes on in the database it runs on, which is the target's.
    std::string back;
    if (SwitchBack && Container) {
        const TCustomObjs* target = Container->GetTargetObjs();
        back = std::string(CRLF) + "    use " + (target ? target : Container)->ConnectionOptions.DatabaseName;
    }
    switch (RoleKind) {
    case rkLogin:
        return "if (not exists(select name from master.dbo.syslogins where name = " + QuotedStr(Name) + "))" + CRLF +
               "  begin" + CRLF + "    use master" + CRLF + "    exec sp_addlogin " + QuoteName(Name) + ", " +
               ASEInitialPassword + back + CRLF + "  end";
    case rkUser:
        return "if (not exists(select name from dbo.sysusers where name = " + QuotedStr(Name) + "))" + CRLF +
               "  exec sp_adduser " + QuoteName(LoginName) + ", " + QuoteName(Name);
    default:
        return "if (not exists(select name from master.dbo.syssrvroles where name = " + QuotedStr(Name) + "))" +
               CRLF + "  begin" + CRLF + "    use master" + CRLF + "    create role " + QuoteName(Name) + back + CRLF +
               "  end";
    }
}

std::string TRolData::GetCreateSQL() {
    switch (GetServerType()) {
    case stMSSQL:
        if (RoleKind == rkUser) {
            if (LoginName.empty()) LoginName = Name;
            return "exec sp_addlogin @loginame = N" + QuotedStr(LoginName);
        }
        if (!AppRole.empty()) return "exec sp_addapprole N" + QuotedStr(Name) + ", N" + QuotedStr("");
        return "exec sp_addrole N" + QuotedStr(Name);
    case stASE: return ASECreateText(false);
    default: {
        std::string s;
        if (!Owner.empty()) s = "/* Role: " + CommentSafe(Name) + ", Owner: " + CommentSafe(Owner) + " */" + CRLF;
        return s + "CREATE ROLE " + QuoteName(Name);
    }
    }
}

std::string TRolData::GetCreateStatement() {
    if (GetServerType() == stASE) return ASECreateText(RoleKind != rkUser);
    return GetCreateSQL();
}

std::string TRolData::GetDropSQL() {
    if (GetServerType() != stMSSQL) return "DROP ROLE " + QuoteName(Name);
    if (RoleKind == rkUser) {
        const TMSSQLServerOptions* o = GetMSSQLServerOptions();
        const std::string upper = UpperCase(Name);
        // Every database has these users; they cannot be taken away.
        if (o && o->SQLServerVersion > st_MSSQL2000 &&
            (upper == "SYS" || upper == "GUEST" || upper == "INFORMATION_SCHEMA"))
            return {};
        return "exec sp_revokedbaccess @name_in_db = N" + QuotedStr(Name);
    }
    if (!AppRole.empty()) return "exec sp_dropapprole @rolename = N" + QuotedStr(Name);
    return "exec sp_droprole @rolename = N" + QuotedStr(Name);
}

// ---- TGntData ----

bool TGntData::InCompareSet(TCmpObjSetType Compare) const {
    if (GrantType == coRoleGrant || GrantType == coUserGrant || GrantType == coObjGrant)
        return Compare.Contains(GrantType);
    return true;
}

std::string TGntData::GetKeyName() const {
    TIBServerOptions* o = GetIBServerOptions();
    if (!o) return GrantText();
    const TIBSQLDialectType saved = o->SQLDialect;
    o->SQLDialect = 1;
    std::string key = GrantText();
    o->SQLDialect = saved;
    return key;
}

bool TGntData::MergeGrant(TDbObj* Other) {
    TGntData* g = AsGrant(Other);
    if (!g || g == this || !SameTarget(*this, *g) || g->GrantOption != GrantOption || g->Text != Text ||
        g->Grantor != Grantor || g->DdlPrivilege != DdlPrivilege)
        return false;
    if (Fields.Count() == 0 && g->Fields.Count() == 0) {
        Privileges = Privileges | g->Privileges;
        return true;
    }
    if (Fields.Count() > 0 && g->Fields.Count() > 0 && Privileges == g->Privileges) {
        for (int i = 0; i < g->Fields.Count(); ++i)
            if (Fields.IndexOf(g->Fields[i]) < 0) Fields.Add(g->Fields[i]);
        return true;
    }
    return false;
}

std::string TGntData::PrivilegePart() const {
    const TServerType st = GetServerType();
    if (IsRoleGrant()) return (st == stASE ? "ROLE " : "") + QuoteName(ObjectName);
    std::vector<TGrantPrivilege> items;
    if (Privileges.Contains(gpAll)) {
        items.push_back(gpAll);
    } else if (ObjectKind == dboUnknown || ObjectKind == dboTable || ObjectKind == dboView) {
        // ALL stands for the five table privileges only where it cannot widen a column grant.
        if (Privileges == AllTablePrivileges && st != stASE && Fields.Count() == 0)
            items.push_back(gpAll);
        else
            for (TGrantPrivilege p : TableOrder)
                if (Privileges.Contains(p)) items.push_back(p);
    }
    for (TGrantPrivilege p : AnyObjectOrder)
        if (Privileges.Contains(p)) items.push_back(p);
    // The column list follows every privilege: "UPDATE, REFERENCES (A)" would grant UPDATE on
    // the whole table.
    // The columns are a set: written in one order whatever order a side keeps them in (a script
    // as written, the database its own), so that equal grants have equal texts.
    std::vector<std::string> names;
    // Oracle takes back a column privilege on the whole table only.
    if (st != stOracle)
        for (int i = 0; i < Fields.Count(); ++i) names.push_back(Fields[i]);
    std::sort(names.begin(), names.end());
    std::string columns;
    for (size_t i = 0; i < names.size(); ++i) columns += (i ? ", " : " (") + QuoteName(names[i]);
    if (!names.empty()) columns += ")";
    std::string s;
    for (TGrantPrivilege p : items) s += (s.empty() ? "" : ", ") + std::string(PrivilegeWords[p]) + columns;
    if (!ObjectName.empty())
        s += " ON " + std::string(st == stInterBase ? IBObjectWord(ObjectKind) : "") + QuoteName(ObjectName);
    return s;
}

std::string TGntData::GranteePart() const { return GranteeWord(GranteeKind) + QuoteName(Grantee); }

std::string TGntData::GrantorClause() const {
    // As isql writes a grant: the administrator's own grants without the clause, whoever reads.
    if (Grantor.empty() || GetServerType() != stInterBase || SameText(Grantor, "SYSDBA")) return {};
    return " GRANTED BY " + QuoteName(Grantor);
}

std::string TGntData::GrantText() const {
    const TServerType st = GetServerType();
    const std::string option =
        GrantOption == 0 ? std::string() : IsRoleGrant() ? " WITH ADMIN OPTION" : " WITH GRANT OPTION";
    if (st == stOracle) {
        if (!Text.empty()) return "GRANT " + Text;
        if (Grantee.empty()) return {};
        if (!ObjectName.empty()) {
            if (Privileges.Empty()) return "GRANT " + ObjectName + " TO " + Grantee;
            if (Fields.Count() == 0)
                return "GRANT " + PrivilegeList(Privileges, OracleObjectOrder) + " ON " + ObjectName + " TO " + Grantee;
            // A column grant keeps its columns after each privilege: without them it would cover
            // the whole table.
            std::string columns;
            for (int i = 0; i < Fields.Count(); ++i) columns += (i ? ", " : " (") + Fields[i];
            columns += ")";
            std::string list;
            for (TGrantPrivilege p : OracleObjectOrder)
                if (Privileges.Contains(p)) list += (list.empty() ? "" : ", ") + std::string(PrivilegeWords[p]) + columns;
            return "GRANT " + list + " ON " + ObjectName + " TO " + Grantee;
        }
        if (Privileges.Empty()) return {};
        return "GRANT " + PrivilegeList(Privileges, OracleSystemOrder) + " TO " + Grantee;
    }
    if (st == stMSSQL || st == stASE) {
        if (!Text.empty()) return Text;
        const std::string grantee = QuoteName(Grantee);
        if (Privileges == TGrantPrivileges{gpConnect})
            return "GRANT CONNECT TO " + QuoteName(ObjectName) + " AS " + grantee;
        if (ObjectKind == dboUnknown && ObjectName.empty())
            return "GRANT " + PrivilegeList(Privileges, StatementOrder) + " TO " + grantee + option;
        if (IsRoleGrant())
            return (st == stMSSQL ? "GRANT " : "GRANT ROLE ") + QuoteName(ObjectName) + " TO " + grantee + option;
        return "GRANT " + PrivilegePart() + " TO " + grantee + option;
    }
    if (ObjectKind == dboUnknown && !Text.empty()) return Text;
    if (!DdlPrivilege.empty()) return "GRANT " + DdlPrivilege + " TO " + GranteePart() + option + GrantorClause();
    return "GRANT " + PrivilegePart() + " TO " + GranteePart() + option + GrantorClause();
}

std::string TGntData::GetRevokeSQL(bool OptionOnly) const {
    if (!DdlPrivilege.empty())
        return std::string("REVOKE ") + (OptionOnly ? "GRANT OPTION FOR " : "") + DdlPrivilege + " FROM " +
               GranteePart() + GrantorClause();
    if (ObjectKind != dboUnknown) {
        std::string s = "REVOKE ";
        if (OptionOnly) s += IsRoleGrant() ? "ADMIN OPTION FOR " : "GRANT OPTION FOR ";
        // Only the grant's maker can take it back, so a REVOKE names the grantor too.
        return s + PrivilegePart() + " FROM " + GranteePart() + GrantorClause();
    }
    // Oracle's system privileges are taken back by the list they were granted with. "REVOKE  FROM
    // U" would be an error: a grant without such privileges (a text grant) has nothing this form
    // can take back.
    const std::string list = GetServerType() == stOracle ? PrivilegeList(Privileges, OracleSystemOrder)
                                                         : PrivilegeList(Privileges, StatementOrder);
    if (list.empty()) return {};
    return "REVOKE " + list + " FROM " + QuoteName(Grantee);
}

// ---- grants that a DROP takes along ----

namespace {

// Grants name a table or a view alike (a reader may not tell them apart); other objects by their
// own kind.
bool NamesKind(TDbObject GrantKind, TDbObject ObjKind) {
    if (ObjKind == dboView || ObjKind == dboTable)
        return GrantKind == dboView || GrantKind == dboTable || GrantKind == dboUnknown;
    return GrantKind == ObjKind;
}

} // namespace

void GrantsGoWith(const TDbObj& Dropped) {
    if (!Dropped.Container) return;
    for (TCustomObjs* side : {Dropped.Container->GetMasterObjs(), Dropped.Container->GetTargetObjs()}) {
        if (!side) continue;
        const TDbObjList& grants = side->List(olGrants);
        for (int i = 0; i < grants.Count(); ++i) {
            TDbObj* g = grants.Obj(i);
            if ((g->GetGrantObjectName() == Dropped.Name && NamesKind(g->GetGrantObjectKind(), Dropped.Kind)) ||
                (g->GetGrantee() == Dropped.Name && NamesKind(g->GetGranteeKind(), Dropped.Kind)))
                g->SetExists(false);
        }
    }
}

void ColumnGrantsLose(const TDbObj& Column) {
    TCustomObjs* target = Column.Container ? Column.Container->GetTargetObjs() : nullptr;
    if (!target) return;
    const TDbObjList& grants = target->List(olGrants);
    for (int i = 0; i < grants.Count(); ++i) {
        TGntData* g = AsGrant(grants.Obj(i));
        if (!g || !g->GetExists() || g->ObjectName != Column.GetOwnerName() || !NamesKind(g->ObjectKind, dboTable))
            continue;
        int at = g->Fields.Count() - 1;
        while (at >= 0 && g->Fields[at] != Column.Name) --at;
        if (at < 0) continue;
        // Without columns the grant would read as one on the whole table: it keeps its list.
        if (g->Fields.Count() == 1)
            g->SetExists(false);
        else
            g->Fields.Delete(at);
    }
}

// ---- role passes ----

namespace {

const char* const CreateRoleTitles[] = {"/* Creating roles */", "/* Creating logins */", "/* Creating users */"};

} // namespace

void WriteCreateRoles(TCustomQuarnel& Q) {
    TCustomObjs* master = Q.GetMasterObjs();
    TCustomObjs* target = Q.GetTargetObjs();
    TCustomSQLExec* exec = Q.SQLExec();
    if (!master || !target || !exec) return;
    const TDbObjList& list = master->List(olRoles);
    for (uint8_t kind : {rkRole, rkLogin, rkUser}) {
        TPassSection section(*exec, CreateRoleTitles[kind]);
        for (int i = 0; i < list.Count(); ++i) {
            TRolData* r = AsRole(list.Obj(i));
            if (!r || r->RoleKind != kind || (r->Counterpart && r->Counterpart->GetExists())) continue;
            section.Open();
            if (kind == rkUser && target->ServerType() == stMSSQL) {
                const std::string login = QuotedStr(r->LoginName.empty() ? r->Name : r->LoginName);
                exec->AddStatement("exec sp_addlogin @loginame = N" + login, skStatement, r->Name, dboRole, saCreate);
                exec->AddStatement("exec sp_grantdbaccess @loginame = N" + login + ", @name_in_db = N" +
                                       QuotedStr(r->Name),
                                   skStatement, r->Name, dboRole, saCreate);
            } else {
                exec->AddStatement(r->GetCreateStatement(), skStatement, r->Name, dboRole, saCreate);
            }
            if (Q.CompareObjects.Contains(coDescription) && !r->Description().empty()) exec->AddDescription(r);
        }
        section.Close();
    }
}

void WriteAlterRoles(TCustomQuarnel& Q) {
    TCustomObjs* master = Q.GetMasterObjs();
    TCustomSQLExec* exec = Q.SQLExec();
    if (!master || !exec || !Q.CompareObjects.Contains(coDescription)) return;
    const TDbObjList& list = master->List(olRoles);
    for (int i = 0; i < list.Count(); ++i) {
        TDbObj* r = list.Obj(i);
        if (r->GetRoleKind() == rkRole && r->Counterpart && r->Description() != r->Counterpart->Description())
            exec->AddDescription(r);
    }
}

void WriteDropRoles(TCustomQuarnel& Q) {
    TCustomObjs* target = Q.GetTargetObjs();
    TCustomSQLExec* exec = Q.SQLExec();
    if (!target || !exec) return;
    // MSSQL and ASE logins and roles live outside the database; the script leaves them alone.
    const bool serverWide = target->ServerType() == stMSSQL || target->ServerType() == stASE;
    const std::pair<uint8_t, const char*> phases[] = {
        {rkUser, "/* Dropping users */"}, {rkLogin, "/* Dropping logins */"}, {rkRole, "/* Dropping roles */"}};
    const TDbObjList& list = target->List(olRoles);
    for (const auto& [kind, title] : phases) {
        if (kind != rkUser && serverWide) continue;
        TPassSection section(*exec, title);
        for (int i = 0; i < list.Count(); ++i) {
            TDbObj* r = list.Obj(i);
            // A user every database has gives no DROP text and stays.
            if (r->GetRoleKind() != kind || r->Counterpart || !r->GetExists() || r->GetDropSQL().empty()) continue;
            section.Open();
            r->DoDrop();
        }
        section.Close();
    }
}

// ---- grant passes ----

namespace {

// The key the target's grant would have without its option.
std::string KeyWithoutOption(TGntData& Grant) {
    const int32_t option = Grant.GrantOption;
    Grant.GrantOption = 0;
    std::string key = Grant.GetKeyName();
    Grant.GrantOption = option;
    return key;
}

// A whole-table REVOKE of a privilege takes the column grants of that privilege along: the
// target's column grants of the same object and grantee are gone, so the create pass grants the
// master's again.
void ColumnGrantsGoWith(const TDbObjList& TargetGrants, const TGntData& Revoked) {
    for (int i = 0; i < TargetGrants.Count(); ++i) {
        TGntData* g = AsGrant(TargetGrants.Obj(i));
        if (!g || g == &Revoked || g->Fields.Count() == 0 || !g->GetExists() || !SameTarget(*g, Revoked)) continue;
        if (Revoked.Privileges.Contains(gpAll) || Revoked.Privileges.Intersects(g->Privileges)) g->SetExists(false);
    }
}

// The target's object that a grant names with Kind; nullptr when the target has none of that
// name. The name is looked up by the key the target files it under. Firebird records a grant
// on a view like one on a table.
TDbObj* NamedObject(const TCustomObjs& Target, const TGntData& Grant, TDbObject Kind, const std::string& AName) {
    if (AName.empty()) return nullptr;
    const std::string key = Grant.KeyOfName(Grant.Schema, AName);
    switch (Kind) {
    case dboTable:
    case dboView:
        if (TDbObj* t = Target.FindTable(key)) return t;
        return Target.FindView(key);
    case dboFunction:
        if (TDbObj* f = Target.FindUDF(key)) return f;
        return Target.FindProcedure(key);
    case dboProcedure: return Target.FindProcedure(key);
    case dboTrigger: return Target.FindTrigger(key);
    case dboException: return Target.FindException(key);
    case dboGenerator: return Target.FindGenerator(key);
    case dboPackage: return Target.FindPackage(key);
    default: return nullptr;
    }
}

// The object the grant is on, or the one that holds it, was dropped by the script and not
// created again: Firebird took the grant along, and a REVOKE naming the object would fail.
bool WentWithADrop(const TGntData& Grant, const TCustomObjs& Target) {
    const TDbObj* object = NamedObject(Target, Grant, Grant.ObjectKind, Grant.ObjectName);
    const TDbObj* holder = NamedObject(Target, Grant, Grant.GranteeKind, Grant.Grantee);
    return (object && !object->GetExists()) || (holder && !holder->GetExists());
}

} // namespace

void WriteCreateGrants(TCustomQuarnel& Q) {
    TCustomObjs* master = Q.GetMasterObjs();
    TCustomSQLExec* exec = Q.SQLExec();
    if (!master || !exec) return;
    TPassSection section(*exec, "/* Create(Add) Crant */");
    const TDbObjList& list = master->List(olGrants);
    for (int i = 0; i < list.Count(); ++i) {
        TGntData* g = AsGrant(list.Obj(i));
        if (!g || !g->InCompareSet(Q.CompareObjects) || (g->Counterpart && g->GetExists())) continue;
        const std::string text = g->GetCreateStatement();
        if (text.empty()) continue;
        section.Open();
        exec->AddStatement(text, skStatement, g->GetCreateSQL(), dboGrant, saCreate);
    }
    section.Close();
}

void WriteDropGrants(TCustomQuarnel& Q) {
    TCustomObjs* master = Q.GetMasterObjs();
    TCustomObjs* target = Q.GetTargetObjs();
    TCustomSQLExec* exec = Q.SQLExec();
    if (!master || !target || !exec) return;
    const TDbObjList& list = target->List(olGrants);
    for (int i = 0; i < list.Count(); ++i) {
        TGntData* t = AsGrant(list.Obj(i));
        if (!t || !t->InCompareSet(Q.CompareObjects) || !t->GetExists()) continue;
        if (WentWithADrop(*t, *target)) {
            t->SetExists(false);
            continue;
        }
        const std::string text = t->GetCreateSQL();
        if (t->Counterpart && t->Counterpart->GetCreateSQL() == text) continue;
        exec->AddComment("/* DROP: -- " + CommentSafe(text) + " */");
        // Taking back only the option leaves the privilege; that is right only where the master
        // keeps the privilege without the option.
        const bool optionOnly = t->GrantOption != 0 && master->List(olGrants).FindObj(KeyWithoutOption(*t));
        const std::string revoke = t->GetRevokeSQL(optionOnly);
        if (revoke.empty()) {
            exec->AddComment(t->MakeComment("No REVOKE can be written for this grant: it stays on the target"));
            continue;
        }
        exec->AddStatement(revoke, skStatement, text, dboGrant, saDrop);
        // The master's grant of the pair (when one differs from it only by what the script took
        // from the target) is granted again.
        t->SetExists(false);
        if (!optionOnly && t->Fields.Count() == 0) ColumnGrantsGoWith(list, *t);
    }
}

} // namespace qnl
