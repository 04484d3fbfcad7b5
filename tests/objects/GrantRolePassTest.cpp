// The role and grant passes through the comparer, for the paths the Firebird test does not reach:
// the grant kinds left out of a comparison, a grant no REVOKE can take back, role descriptions,
// and the MSSQL and ASE rules for users, logins and roles.
#include "objects/qnlComp_Exc.h"
#include "objects/qnlComp_Prc.h"
#include "objects/qnlComp_Rol.h"
#include "tests/objects/CompareKit.h"
#include "tests/objects/ObjectsKit.h"

#include <gtest/gtest.h>

namespace qnl::test {
namespace {

using Steps = std::vector<std::string>;

void Grant(TObjs& O, const std::string& Object, TGrantPrivilege Privilege, const std::string& Grantee,
           TCmpObjType Type = coGrant, TDbObject ObjectKind = dboTable, TDbObject GranteeKind = dboUnknown) {
    auto* g = new TGntData(&O);
    g->ObjectKind = ObjectKind;
    g->ObjectName = Object;
    g->Privileges.Include(Privilege);
    g->Grantee = Grantee;
    g->GranteeKind = GranteeKind;
    g->GrantType = Type;
    if (!O.MergeGrant(g)) delete g;
}

void Add(TObjs& O, TDbObj* Obj, const std::string& Name) {
    Obj->Name = Name;
    O.AddDbObject(Obj);
}

TRolData* Role(TObjs& O, uint8_t Kind, const std::string& Name, const std::string& Description = {}) {
    auto* r = new TRolData(&O);
    r->RoleKind = Kind;
    r->Name = Name;
    r->SetDescription(Description);
    O.AddDbObject(r);
    return r;
}

// Grants of a kind the comparison leaves out are neither revoked nor granted; grants a reader has
// not typed yet always take part.
TEST(GrantPass, KindsLeftOutOfTheComparisonStayAlone) {
    RecordedComparison c;
    Grant(c.M(), "T", gpSelect, "USER_NEW", coUserGrant);
    Grant(c.M(), "T", gpSelect, "OBJ_NEW", coObjGrant);
    Grant(c.M(), "T", gpSelect, "UNTYPED_NEW");
    Grant(c.T(), "T", gpSelect, "USER_OLD", coUserGrant);
    Grant(c.T(), "T", gpSelect, "UNTYPED_OLD");
    c.q.CompareObjects = TCmpObjSetType::All();
    c.q.CompareObjects.Exclude(coUserGrant);
    EXPECT_EQ(c.Run({dboGrant}), (Steps{
                                     "/* DROP: -- GRANT SELECT ON T TO UNTYPED_OLD */",
                                     "[3] REVOKE SELECT ON T FROM UNTYPED_OLD",
                                     "/* Create(Add) Crant */",
                                     "[1] GRANT SELECT ON T TO OBJ_NEW",
                                     "[1] GRANT SELECT ON T TO UNTYPED_NEW",
                                 }));
}

// A grant written as a text of its own has no REVOKE form: the script says so instead of writing
// "REVOKE  FROM U".
TEST(GrantPass, AGrantWithoutRevokeTextIsNamedInTheScript) {
    RecordedComparison c;
    auto* g = new TGntData(&c.T());
    g->Grantee = "U";
    g->Text = "GRANT CREATE TABLE TO U";
    c.T().MergeGrant(g);
    EXPECT_EQ(c.Run({dboGrant}), (Steps{
                                     "/* DROP: -- GRANT CREATE TABLE TO U */",
                                     "/* No REVOKE can be written for this grant: it stays on the target */",
                                 }));
}

// Firebird drops the grants on an object and those the object holds with it: a REVOKE that named
// an object the script dropped would fail, so none is written; grants on what stays are revoked.
// The objects are looked up by the keys the target files them under (without each side's name
// prefix).
TEST(GrantPass, NoRevokeNamesAnObjectTheScriptDropped) {
    for (const auto& [masterPrefix, targetPrefix] : {std::pair{"", ""}, std::pair{"PRD_", "DEV_"}}) {
        SCOPED_TRACE(targetPrefix);
        RecordedComparison c;
        c.master.NamePrefix = masterPrefix;
        c.target.NamePrefix = targetPrefix;
        const std::string t = targetPrefix;
        AddTable(c.M(), std::string(masterPrefix) + "T");
        AddTable(c.T(), t + "T");
        AddTable(c.T(), t + "T_OLD");
        Add(c.T(), new TGnrData(&c.T(), nullptr), t + "G_OLD");
        Add(c.T(), new TExcData(&c.T()), t + "E_OLD");
        Add(c.T(), new TPrcData(&c.T()), t + "P_OLD");
        Grant(c.T(), t + "T_OLD", gpSelect, "U");
        Grant(c.T(), t + "G_OLD", gpUsage, "U", coGrant, dboGenerator);
        Grant(c.T(), t + "E_OLD", gpUsage, "U", coGrant, dboException);
        Grant(c.T(), t + "T", gpSelect, t + "P_OLD", coGrant, dboTable, dboProcedure);
        Grant(c.T(), t + "T", gpSelect, "U");
        std::vector<std::string> revokes;
        for (const std::string& step : c.Run({dboGrant}))
            if (step.starts_with("[3]")) revokes.push_back(step);
        EXPECT_EQ(revokes, Steps{"[3] REVOKE SELECT ON " + t + "T FROM U"});
    }
}

TEST(RolePass, RolesLoginsAndUsersInTheirPhasesWithDescriptions) {
    RecordedComparison c;
    Role(c.M(), rkUser, "U_NEW");
    Role(c.M(), rkRole, "R_NEW", "new");
    Role(c.M(), rkLogin, "L_NEW");
    Role(c.M(), rkRole, "R", "master's");
    Role(c.T(), rkRole, "R", "target's");
    Role(c.T(), rkRole, "R_OLD");
    Role(c.T(), rkUser, "U_OLD");
    // A role and a user of one name are two objects.
    Role(c.T(), rkLogin, "U_NEW");
    EXPECT_EQ(c.Run({dboRole}), (Steps{
                                    "/* Creating roles */",
                                    "[1] CREATE ROLE R_NEW",
                                    "[11] COMMENT ON ROLE R_NEW IS\r\n'new'",
                                    "/* Creating logins */",
                                    "[1] CREATE ROLE L_NEW",
                                    "/* Creating users */",
                                    "[1] CREATE ROLE U_NEW",
                                    "[11] COMMENT ON ROLE R IS\r\n'master''s'",
                                    "/* Dropping users */",
                                    "[3] DROP ROLE U_OLD",
                                    "/* Dropping logins */",
                                    "[3] DROP ROLE U_NEW",
                                    "/* Dropping roles */",
                                    "[3] DROP ROLE R_OLD",
                                }));
}

// MSSQL users are added with their login; the users every database has are never dropped; MSSQL
// logins and roles live outside the database and stay.
TEST(RolePass, MSSQLUsersAndServerWideObjects) {
    RecordedComparison c(stMSSQL);
    for (TObjs* o : {&c.M(), &c.T()}) o->MSSQLServerOptions.SQLServerVersion = st_MSSQL2005;
    Role(c.M(), rkUser, "ANN")->LoginName = "ann_login";
    Role(c.T(), rkUser, "guest");
    Role(c.T(), rkUser, "BOB");
    Role(c.T(), rkLogin, "L");
    Role(c.T(), rkRole, "R");
    EXPECT_EQ(c.Run({dboRole}), (Steps{
                                    "/* Creating users */",
                                    "[1] exec sp_addlogin @loginame = N'ann_login'",
                                    "[1] exec sp_grantdbaccess @loginame = N'ann_login', @name_in_db = N'ANN'",
                                    "/* Dropping users */",
                                    "[3] exec sp_revokedbaccess @name_in_db = N'BOB'",
                                }));
}

TEST(RolePass, ASEDropsUsersOnly) {
    RecordedComparison c(stASE);
    Role(c.T(), rkUser, "U");
    Role(c.T(), rkLogin, "L");
    Role(c.T(), rkRole, "R");
    EXPECT_EQ(c.Run({dboRole}), (Steps{"/* Dropping users */", "[3] DROP ROLE U"}));
}

} // namespace
} // namespace qnl::test
