// The texts of grants, roles, logins and users in every dialect, case by case: GRANT, REVOKE
// (whole and of the option alone), the matching key, CREATE and DROP.
#include "objects/qnlComp_Rol.h"
#include "tests/objects/ObjectsKit.h"

#include <gtest/gtest.h>

#include <functional>
#include <ostream>

using namespace qnl;
using namespace qnl::test;

namespace {

// ---- grants ----

struct GrantCase {
    const char* What;
    TServerType Server;
    std::function<void(TGntData&)> Fill;
    const char* Grant;
    const char* Revoke;          // GetDropSQL
    const char* RevokeWhole;     // GetRevokeSQL(false); nullptr when it is the same as Revoke
};

std::ostream& operator<<(std::ostream& Out, const GrantCase& C) { return Out << C.What; }

auto On(TDbObject Kind, const std::string& Object, TGrantPrivileges Privileges, const std::string& Grantee,
        TDbObject GranteeKind = dboUnknown, int32_t Option = 0, std::vector<std::string> Fields = {}) {
    return [=](TGntData& g) {
        g.ObjectKind = Kind;
        g.ObjectName = Object;
        g.Privileges = Privileges;
        g.Grantee = Grantee;
        g.GranteeKind = GranteeKind;
        g.GrantOption = Option;
        for (const std::string& f : Fields) g.Fields.Add(f);
    };
}

auto RoleTo(const std::string& Role, const std::string& Grantee, int32_t Option = 0) {
    return On(dboRole, Role, {}, Grantee, dboUser, Option);
}

auto Statement(TGrantPrivileges Privileges, const std::string& Grantee, const std::string& Text = {}) {
    return [=](TGntData& g) {
        g.Privileges = Privileges;
        g.Grantee = Grantee;
        g.Text = Text;
    };
}

const TGrantPrivileges Five{gpSelect, gpInsert, gpUpdate, gpDelete, gpReferences};

const GrantCase GrantCases[] = {
    // ---- InterBase/Firebird ----
    {"the five table privileges are ALL", stInterBase, On(dboTable, "T", Five, "U"), "GRANT ALL ON T TO U",
     "REVOKE ALL ON T FROM U", nullptr},
    {"member ALL", stInterBase, On(dboTable, "T", {gpAll}, "U"), "GRANT ALL ON T TO U", "REVOKE ALL ON T FROM U",
     nullptr},
    {"table privileges in their fixed order", stInterBase, On(dboTable, "T", {gpSelect, gpDelete, gpInsert}, "U"),
     "GRANT DELETE, INSERT, SELECT ON T TO U", "REVOKE DELETE, INSERT, SELECT ON T FROM U", nullptr},
    {"execute with grant option", stInterBase, On(dboProcedure, "P", {gpExecute}, "U", dboUser, 1),
     "GRANT EXECUTE ON PROCEDURE P TO U WITH GRANT OPTION", "REVOKE GRANT OPTION FOR EXECUTE ON PROCEDURE P FROM U",
     "REVOKE EXECUTE ON PROCEDURE P FROM U"},
    {"role with admin option", stInterBase, RoleTo("R", "U", 1), "GRANT R TO U WITH ADMIN OPTION",
     "REVOKE ADMIN OPTION FOR R FROM U", "REVOKE R FROM U"},
    {"admin option as Firebird 3 stores it", stInterBase, RoleTo("R", "U", 2), "GRANT R TO U WITH ADMIN OPTION",
     "REVOKE ADMIN OPTION FOR R FROM U", "REVOKE R FROM U"},
    {"role without admin option", stInterBase, RoleTo("R", "U"), "GRANT R TO U", "REVOKE R FROM U", nullptr},
    {"column grant", stInterBase, On(dboTable, "T", {gpUpdate}, "U", dboUser, 0, {"A", "B"}),
     "GRANT UPDATE (A, B) ON T TO U", "REVOKE UPDATE (A, B) ON T FROM U", nullptr},
    // A script keeps the order written, the database its own: the same grant either way.
    {"column grant in another order", stInterBase, On(dboTable, "T", {gpUpdate}, "U", dboUser, 0, {"QTY", "PRICE"}),
     "GRANT UPDATE (PRICE, QTY) ON T TO U", "REVOKE UPDATE (PRICE, QTY) ON T FROM U", nullptr},
    {"each privilege keeps the column list", stInterBase,
     On(dboTable, "T", {gpUpdate, gpReferences}, "U", dboUser, 1, {"A"}),
     "GRANT UPDATE (A), REFERENCES (A) ON T TO U WITH GRANT OPTION",
     "REVOKE GRANT OPTION FOR UPDATE (A), REFERENCES (A) ON T FROM U", "REVOKE UPDATE (A), REFERENCES (A) ON T FROM U"},
    {"five privileges on columns are no ALL", stInterBase, On(dboTable, "T", Five, "U", dboUser, 0, {"A"}),
     "GRANT DELETE (A), INSERT (A), SELECT (A), UPDATE (A), REFERENCES (A) ON T TO U",
     "REVOKE DELETE (A), INSERT (A), SELECT (A), UPDATE (A), REFERENCES (A) ON T FROM U", nullptr},
    {"a view is named like a table", stInterBase, On(dboView, "V", {gpSelect}, "U"), "GRANT SELECT ON V TO U",
     "REVOKE SELECT ON V FROM U", nullptr},
    {"usage on a sequence", stInterBase, On(dboGenerator, "G", {gpUsage}, "U"), "GRANT USAGE ON SEQUENCE G TO U",
     "REVOKE USAGE ON SEQUENCE G FROM U", nullptr},
    {"usage on an exception", stInterBase, On(dboException, "E", {gpUsage}, "U"),
     "GRANT USAGE ON EXCEPTION E TO U", "REVOKE USAGE ON EXCEPTION E FROM U", nullptr},
    {"execute on a function", stInterBase, On(dboFunction, "F", {gpExecute}, "U"), "GRANT EXECUTE ON FUNCTION F TO U",
     "REVOKE EXECUTE ON FUNCTION F FROM U", nullptr},
    {"execute on a package", stInterBase, On(dboPackage, "PK", {gpExecute}, "U"),
     "GRANT EXECUTE ON PACKAGE PK TO U", "REVOKE EXECUTE ON PACKAGE PK FROM U", nullptr},
    {"to a procedure", stInterBase, On(dboTable, "T", {gpSelect}, "P", dboProcedure),
     "GRANT SELECT ON T TO PROCEDURE P", "REVOKE SELECT ON T FROM PROCEDURE P", nullptr},
    {"to a function", stInterBase, On(dboTable, "T", {gpInsert}, "F", dboFunction), "GRANT INSERT ON T TO FUNCTION F",
     "REVOKE INSERT ON T FROM FUNCTION F", nullptr},
    {"to a package", stInterBase, On(dboTable, "T", {gpDelete}, "PK", dboPackage), "GRANT DELETE ON T TO PACKAGE PK",
     "REVOKE DELETE ON T FROM PACKAGE PK", nullptr},
    {"to a trigger", stInterBase, On(dboTable, "T", {gpUpdate}, "TR", dboTrigger), "GRANT UPDATE ON T TO TRIGGER TR",
     "REVOKE UPDATE ON T FROM TRIGGER TR", nullptr},
    {"to a view", stInterBase, On(dboTable, "T", {gpSelect}, "V", dboView), "GRANT SELECT ON T TO VIEW V",
     "REVOKE SELECT ON T FROM VIEW V", nullptr},
    {"to a role", stInterBase, On(dboTable, "T", {gpSelect}, "R", dboRole), "GRANT SELECT ON T TO ROLE R",
     "REVOKE SELECT ON T FROM ROLE R", nullptr},
    {"names that need quotes", stInterBase, On(dboTable, "my t", {gpUpdate}, "u1", dboUser, 0, {"a\"b"}),
     "GRANT UPDATE (\"a\"\"b\") ON \"my t\" TO \"u1\"", "REVOKE UPDATE (\"a\"\"b\") ON \"my t\" FROM \"u1\"", nullptr},
    {"a text grant is written as it stands and has no REVOKE", stInterBase,
     Statement({}, "U", "GRANT CREATE TABLE TO U"), "GRANT CREATE TABLE TO U", "", nullptr},
    // ---- MSSQL ----
    {"MSSQL object grant writes ON once", stMSSQL, On(dboTable, "T", {gpSelect}, "U"), "GRANT SELECT ON T TO U",
     "REVOKE SELECT ON T FROM U", nullptr},
    {"MSSQL five privileges", stMSSQL, On(dboTable, "T", Five, "U", dboUser, 1), "GRANT ALL ON T TO U WITH GRANT OPTION",
     "REVOKE GRANT OPTION FOR ALL ON T FROM U", "REVOKE ALL ON T FROM U"},
    {"MSSQL quoted names", stMSSQL, On(dboTable, "my t", {gpExecute}, "u 1"), "GRANT EXECUTE ON [my t] TO [u 1]",
     "REVOKE EXECUTE ON [my t] FROM [u 1]", nullptr},
    {"MSSQL connect", stMSSQL, On(dboTable, "DB", {gpConnect}, "U"), "GRANT CONNECT TO DB AS U",
     "REVOKE CONNECT ON DB FROM U", nullptr},
    {"MSSQL statement permissions", stMSSQL,
     Statement({gpCreateView, gpCreateTable, gpBackupLog, gpTruncateTable}, "U"),
     "GRANT CREATE TABLE, CREATE VIEW, BACKUP LOG, TRUNCATE TABLE TO U",
     "REVOKE CREATE TABLE, CREATE VIEW, BACKUP LOG, TRUNCATE TABLE FROM U", nullptr},
    {"MSSQL text", stMSSQL, Statement({}, "U", "GRANT ALTER ANY SCHEMA TO U"), "GRANT ALTER ANY SCHEMA TO U", "",
     nullptr},
    {"MSSQL role", stMSSQL, RoleTo("R", "U", 1), "GRANT R TO U WITH ADMIN OPTION", "REVOKE ADMIN OPTION FOR R FROM U",
     "REVOKE R FROM U"},
    // ---- ASE ----
    {"ASE lists the five privileges", stASE, On(dboTable, "T", Five, "U"),
     "GRANT DELETE, INSERT, SELECT, UPDATE, REFERENCES ON T TO U",
     "REVOKE DELETE, INSERT, SELECT, UPDATE, REFERENCES ON T FROM U", nullptr},
    {"ASE statistics and truncate", stASE, On(dboTable, "T", {gpDeleteStatistics, gpTruncateTable, gpUpdateStatistics}, "U"),
     "GRANT TRUNCATE TABLE, UPDATE STATISTICS, DELETE STATISTICS ON T TO U",
     "REVOKE TRUNCATE TABLE, UPDATE STATISTICS, DELETE STATISTICS ON T FROM U", nullptr},
    {"ASE role", stASE, RoleTo("R", "U"), "GRANT ROLE R TO U", "REVOKE ROLE R FROM U", nullptr},
    // ---- Oracle ----
    {"Oracle object privileges in their order", stOracle,
     On(dboTable, "T", {gpExecute, gpUpdate, gpSelect, gpReferences}, "U"),
     "GRANT SELECT, UPDATE, REFERENCES, EXECUTE ON T TO U", "REVOKE SELECT, UPDATE, REFERENCES, EXECUTE ON T FROM U",
     nullptr},
    {"Oracle system privileges in their order", stOracle,
     Statement({gpUnlimitedTablespace, gpCreateTable, gpCreateSession, gpDropType, gpCreateDatabaseLink}, "U"),
     "GRANT CREATE DATABASE LINK, CREATE SESSION, CREATE TABLE, DROP TYPE, UNLIMITED TABLESPACE TO U",
     "REVOKE CREATE DATABASE LINK, CREATE SESSION, CREATE TABLE, DROP TYPE, UNLIMITED TABLESPACE FROM U", nullptr},
    {"Oracle role", stOracle, On(dboRole, "R", {}, "U"), "GRANT R TO U", "REVOKE R FROM U", nullptr},
    // Without its columns the grant would cover the whole table.
    {"Oracle column grant", stOracle, On(dboTable, "TAB", {gpUpdate, gpReferences}, "U", dboUnknown, 0, {"C1", "C2"}),
     "GRANT UPDATE (C1, C2), REFERENCES (C1, C2) ON TAB TO U", "REVOKE UPDATE, REFERENCES ON TAB FROM U", nullptr},
    {"Oracle text", stOracle, Statement({}, "U", "DBA TO U"), "GRANT DBA TO U", "", nullptr},
    // ---- other dialects ----
    {"PostgreSQL", stPostgreSQL, On(dboTable, "t", {gpSelect, gpUsage}, "u", dboRole, 1),
     "GRANT SELECT, USAGE ON t TO ROLE u WITH GRANT OPTION", "REVOKE GRANT OPTION FOR SELECT, USAGE ON t FROM ROLE u",
     "REVOKE SELECT, USAGE ON t FROM ROLE u"},
};

class GrantText : public testing::TestWithParam<GrantCase> {};

TEST_P(GrantText, GrantAndRevoke) {
    const GrantCase& c = GetParam();
    OneSide side(c.Server);
    TGntData g(&side.Objs());
    c.Fill(g);
    EXPECT_EQ(g.GetCreateSQL(), c.Grant);
    EXPECT_EQ(g.GetDropSQL(), c.Revoke);
    EXPECT_EQ(g.GetRevokeSQL(false), c.RevokeWhole ? c.RevokeWhole : c.Revoke);
}

INSTANTIATE_TEST_SUITE_P(Dialects, GrantText, testing::ValuesIn(GrantCases));

// The key is the GRANT text without quotes (dialect 1), and the dialect comes back afterwards.
TEST(GrantKey, IsTheDialectOneText) {
    OneSide side;
    TGntData g(&side.Objs());
    On(dboTable, "my t", {gpUpdate}, "u1", dboUser, 0, {"A"})(g);
    side.Objs().IBServerOptions.SQLDialect = 3;
    EXPECT_EQ(g.GetKeyName(), "GRANT UPDATE (A) ON my t TO u1");
    EXPECT_EQ(side.Objs().IBServerOptions.SQLDialect, 3);
}

// Readers file each catalogue row and let the container fold them: privileges of grants without
// columns, columns of column grants of the same privileges; nothing else is folded.
TEST(GrantMerge, FoldsOnlyWhatKeepsTheSamePrivileges) {
    OneSide side;
    TObjs& o = side.Objs();
    auto file = [&](const std::function<void(TGntData&)>& Fill) {
        auto* g = new TGntData(&o);
        Fill(*g);
        if (!o.MergeGrant(g)) delete g;
    };
    file(On(dboTable, "T", {gpSelect}, "U"));
    file(On(dboTable, "T", {gpInsert}, "U"));
    file(On(dboTable, "T", {gpUpdate}, "U", dboUser, 0, {"A"}));
    file(On(dboTable, "T", {gpUpdate}, "U", dboUser, 0, {"B"}));
    file(On(dboTable, "T", {gpReferences}, "U", dboUser, 0, {"A"}));
    file(On(dboTable, "T", {gpDelete}, "U", dboUser, 1));   // another option
    file(On(dboTable, "T", {gpDelete}, "U", dboRole));      // a role of the user's name
    file(On(dboTable, "T", {gpDelete}, "U2"));              // another grantee
    file(On(dboProcedure, "T", {gpExecute}, "U"));          // another kind of object
    o.RekeyGrants();
    std::vector<std::string> keys;
    for (int i = 0; i < o.List(olGrants).Count(); ++i) keys.push_back(o.List(olGrants)[i]);
    EXPECT_EQ(keys, (std::vector<std::string>{
                        "GRANT DELETE ON T TO ROLE U",
                        "GRANT DELETE ON T TO U WITH GRANT OPTION",
                        "GRANT DELETE ON T TO U2",
                        "GRANT EXECUTE ON PROCEDURE T TO U",
                        "GRANT INSERT, SELECT ON T TO U",
                        "GRANT REFERENCES (A) ON T TO U",
                        "GRANT UPDATE (A, B) ON T TO U",
                    }));
}

// ---- roles, logins, users ----

enum class RoleText { Create, Statement, Drop, Key };

struct RoleCase {
    const char* What;
    TServerType Server;
    std::function<void(TRolData&)> Fill;
    RoleText Kind;
    const char* Expected;
};

std::ostream& operator<<(std::ostream& Out, const RoleCase& C) { return Out << C.What; }

auto Role(uint8_t RoleKind, const std::string& Name, const std::function<void(TRolData&)>& More = {}) {
    return [=](TRolData& r) {
        r.RoleKind = RoleKind;
        r.Name = Name;
        if (More) More(r);
    };
}

const RoleCase RoleCases[] = {
    {"Firebird role", stInterBase, Role(rkRole, "R"), RoleText::Create, "CREATE ROLE R"},
    {"Firebird role with an owner", stInterBase, Role(rkRole, "R", [](TRolData& r) { r.Owner = "SYSDBA"; }),
     RoleText::Statement, "/* Role: R, Owner: SYSDBA */\r\nCREATE ROLE R"},
    {"Firebird role that needs quotes", stInterBase, Role(rkRole, "r 1"), RoleText::Drop, "DROP ROLE \"r 1\""},
    {"role key", stInterBase, Role(rkRole, "R"), RoleText::Key, "Role: R"},
    {"login key", stMSSQL, Role(rkLogin, "L"), RoleText::Key, "Login: L"},
    {"user key", stInterBase, Role(rkUser, "R"), RoleText::Key, "User: R"},
    {"PostgreSQL user drop", stPostgreSQL, Role(rkUser, "u"), RoleText::Drop, "DROP ROLE u"},
    // ---- MSSQL ----
    {"MSSQL user takes its name as login", stMSSQL, Role(rkUser, "U"), RoleText::Create,
     "exec sp_addlogin @loginame = N'U'"},
    {"MSSQL user of a login", stMSSQL, Role(rkUser, "U", [](TRolData& r) { r.LoginName = "it's"; }),
     RoleText::Create, "exec sp_addlogin @loginame = N'it''s'"},
    {"MSSQL application role", stMSSQL, Role(rkRole, "A", [](TRolData& r) { r.AppRole = "x"; }), RoleText::Create,
     "exec sp_addapprole N'A', N''"},
    {"MSSQL role", stMSSQL, Role(rkRole, "R"), RoleText::Create, "exec sp_addrole N'R'"},
    {"MSSQL user drop", stMSSQL, Role(rkUser, "U"), RoleText::Drop, "exec sp_revokedbaccess @name_in_db = N'U'"},
    {"MSSQL application role drop", stMSSQL, Role(rkRole, "A", [](TRolData& r) { r.AppRole = "x"; }),
     RoleText::Drop, "exec sp_dropapprole @rolename = N'A'"},
    {"MSSQL role drop", stMSSQL, Role(rkRole, "R"), RoleText::Drop, "exec sp_droprole @rolename = N'R'"},
    // ---- ASE ----
    {"ASE login", stASE, Role(rkLogin, "L"), RoleText::Create,
     "if (not exists(select name from master.dbo.syslogins where name = 'L'))\r\n  begin\r\n    use master\r\n"
     "    exec sp_addlogin L, 'change'\r\n  end"},
    {"ASE login statement goes back to the database", stASE, Role(rkLogin, "L"), RoleText::Statement,
     "if (not exists(select name from master.dbo.syslogins where name = 'L'))\r\n  begin\r\n    use master\r\n"
     "    exec sp_addlogin L, 'change'\r\n    use DB\r\n  end"},
    {"ASE user", stASE, Role(rkUser, "U", [](TRolData& r) { r.LoginName = "L"; }), RoleText::Statement,
     "if (not exists(select name from dbo.sysusers where name = 'U'))\r\n  exec sp_adduser L, U"},
    {"ASE role", stASE, Role(rkRole, "R"), RoleText::Create,
     "if (not exists(select name from master.dbo.syssrvroles where name = 'R'))\r\n  begin\r\n    use master\r\n"
     "    create role R\r\n  end"},
    {"ASE role statement", stASE, Role(rkRole, "R"), RoleText::Statement,
     "if (not exists(select name from master.dbo.syssrvroles where name = 'R'))\r\n  begin\r\n    use master\r\n"
     "    create role R\r\n    use DB\r\n  end"},
    {"ASE drop", stASE, Role(rkLogin, "L"), RoleText::Drop, "DROP ROLE L"},
};

class RoleTextCase : public testing::TestWithParam<RoleCase> {};

TEST_P(RoleTextCase, Text) {
    const RoleCase& c = GetParam();
    OneSide side(c.Server);
    side.Objs().ConnectionOptions.DatabaseName = "DB";
    TRolData r(&side.Objs());
    c.Fill(r);
    switch (c.Kind) {
    case RoleText::Create: EXPECT_EQ(r.GetCreateSQL(), c.Expected); break;
    case RoleText::Statement: EXPECT_EQ(r.GetCreateStatement(), c.Expected); break;
    case RoleText::Drop: EXPECT_EQ(r.GetDropSQL(), c.Expected); break;
    case RoleText::Key: EXPECT_EQ(r.GetKeyName(), c.Expected); break;
    }
}

INSTANTIATE_TEST_SUITE_P(Dialects, RoleTextCase, testing::ValuesIn(RoleCases));

// The users every MSSQL database has cannot be dropped after MSSQL 2000.
TEST(RoleText, MSSQLBuiltInUsersHaveNoDropAfter2000) {
    for (const char* name : {"guest", "SYS", "INFORMATION_SCHEMA"}) {
        OneSide side(stMSSQL);
        side.Objs().MSSQLServerOptions.SQLServerVersion = st_MSSQL2005;
        TRolData r(&side.Objs());
        Role(rkUser, name)(r);
        EXPECT_EQ(r.GetDropSQL(), "") << name;
        side.Objs().MSSQLServerOptions.SQLServerVersion = st_MSSQL2000;
        EXPECT_EQ(r.GetDropSQL(), "exec sp_revokedbaccess @name_in_db = N'" + std::string(name) + "'") << name;
    }
}

} // namespace
