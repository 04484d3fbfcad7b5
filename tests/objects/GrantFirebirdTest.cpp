// Roles and grants brought to the master on real Firebird 3 databases: one table of grants in
// every form Firebird 3 has, each held by the target, the master or both. Both sides are read
// from databases through the database reader, the master from a reference database. After the
// script the target's privileges and roles equal the master's reference database, and
// a second comparison writes only the header.
#include "tests/objects/FirebirdCompare.h"
#include "tests/objects/GrantCatalogue.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace qnl::test {
namespace {

using Rows = std::vector<std::string>;

enum Side { Both, TargetOnly, MasterOnly };

struct GrantCase {
    const char* Grant;
    Side Where;
};

// Firebird 3.0.11 crashes on a GRANT to a package followed by a column grant on the same table:
// the package's grant is on T2, which has no column grants.
const GrantCase Grants[] = {
    {"GRANT SELECT ON T TO U1", Both},
    {"GRANT INSERT, DELETE ON T TO U1", Both},
    {"GRANT UPDATE (A, B) ON T TO U2", TargetOnly},
    {"GRANT UPDATE (A) ON T TO U2", MasterOnly},
    {"GRANT REFERENCES (A) ON T TO U2 WITH GRANT OPTION", TargetOnly},
    {"GRANT REFERENCES (A) ON T TO U2", MasterOnly},
    {"GRANT ALL ON T TO U3", MasterOnly},
    // A whole-table privilege next to a column grant of it: revoking the first takes the second.
    {"GRANT UPDATE ON T TO U4", TargetOnly},
    {"GRANT UPDATE (A) ON T TO U4", Both},
    {"GRANT SELECT ON T TO PUBLIC", Both},
    {"GRANT SELECT ON V TO U1", Both},
    {"GRANT USAGE ON SEQUENCE G TO U1", TargetOnly},
    {"GRANT USAGE ON EXCEPTION E TO U1", MasterOnly},
    {"GRANT EXECUTE ON PROCEDURE P TO U1", TargetOnly},
    {"GRANT EXECUTE ON PROCEDURE P TO U1 WITH GRANT OPTION", MasterOnly},
    {"GRANT EXECUTE ON FUNCTION F TO U2", Both},
    {"GRANT EXECUTE ON PACKAGE PK TO U2", MasterOnly},
    {"GRANT SELECT ON T TO PROCEDURE P", Both},
    {"GRANT INSERT ON T TO FUNCTION F", MasterOnly},
    {"GRANT SELECT ON T2 TO PACKAGE PK", TargetOnly},
    {"GRANT UPDATE ON T TO TRIGGER TR", Both},
    {"GRANT SELECT ON T TO VIEW V", Both},
    {"GRANT SELECT ON T TO ROLE R1", Both},
    {"GRANT DELETE ON T TO ROLE R1", MasterOnly},
    {"GRANT R1 TO U1", Both},
    {"GRANT R2 TO U2 WITH ADMIN OPTION", TargetOnly},
    {"GRANT R2 TO U2", MasterOnly},
    {"GRANT R1 TO U3 WITH ADMIN OPTION", MasterOnly},
    {"GRANT RT TO U1", TargetOnly},
    {"GRANT RM TO U2", MasterOnly},
    // Firebird 3's DDL privileges.
    {"GRANT CREATE TABLE TO PUBLIC", Both},
    {"GRANT ALTER ANY TABLE TO U1 WITH GRANT OPTION", TargetOnly},
    {"GRANT ALTER ANY TABLE TO U1", MasterOnly},
    {"GRANT CREATE SEQUENCE TO U2", TargetOnly},
    {"GRANT DROP ANY PROCEDURE TO ROLE R1", MasterOnly},
    {"GRANT DROP DATABASE TO U3 WITH GRANT OPTION", MasterOnly},
    {"GRANT ALTER ANY CHARACTER SET TO U4 GRANTED BY U3", MasterOnly},
    {"GRANT DROP ANY DOMAIN TO RT", TargetOnly},
};

const char* const Objects =
    "CREATE TABLE T (A INTEGER, B INTEGER);\n"
    "CREATE TABLE T2 (A INTEGER);\n"
    "CREATE VIEW V AS SELECT A FROM T;\n"
    "CREATE SEQUENCE G;\n"
    "CREATE EXCEPTION E 'e';\n"
    "CREATE ROLE R1;\n"
    "CREATE ROLE R2;\n"
    "SET TERM ^ ;\n"
    "CREATE PROCEDURE P AS BEGIN END^\n"
    "CREATE FUNCTION F RETURNS INTEGER AS BEGIN RETURN 1; END^\n"
    "CREATE TRIGGER TR FOR T BEFORE INSERT AS BEGIN END^\n"
    "CREATE PACKAGE PK AS BEGIN PROCEDURE PP; END^\n"
    "CREATE PACKAGE BODY PK AS BEGIN PROCEDURE PP AS BEGIN END END^\n"
    "SET TERM ; ^\n";

// The side's roles and grants. The grants go in a script of their own: Firebird 3.0.11 crashes on
// a GRANT to a function in the script that creates the function.
std::unique_ptr<TempDatabase> Build(Side Which) {
    auto db = std::make_unique<TempDatabase>(std::string(Objects) +
                                             (Which == TargetOnly ? "CREATE ROLE RT;\n" : "CREATE ROLE RM;\n"));
    std::string grants;
    for (const GrantCase& g : Grants)
        if (g.Where == Both || g.Where == Which) grants += std::string(g.Grant) + ";\n";
    std::string out;
    EXPECT_EQ(RunSql(*db, grants + "COMMIT;\n", out), 0) << out;
    return db;
}

TEST(GrantFirebird, PrivilegesAndRolesFollowTheMaster) {
    const auto target = Build(TargetOnly);
    const auto reference = Build(MasterOnly);
    const Rows master = ReadGrants(*reference);
    ASSERT_EQ(master.size(), 35u) << testing::PrintToString(master);

    std::string s;
    {
        FirebirdComparison c(target->Path());
        ASSERT_TRUE(c.ReadMaster(reference->Path()) && c.ReadTarget());
        c.q.Compare();
        EXPECT_TRUE(c.errors.empty()) << c.errors.front();
        s = c.Flow();
        std::string out;
        EXPECT_EQ(RunConnectingScript(*target, c.Script() + "COMMIT;\n", out), 0) << c.Script() << out;
    }
    EXPECT_EQ(ReadGrants(*target), master);

    // Options are taken back alone where the master keeps the privilege, with the privilege where
    // it does not.
    At(s, "/* DROP: -- GRANT REFERENCES (A) ON T TO U2 WITH GRANT OPTION */\n"
          "REVOKE GRANT OPTION FOR REFERENCES (A) ON T FROM U2\n");
    At(s, "/* DROP: -- GRANT R2 TO U2 WITH ADMIN OPTION */\nREVOKE ADMIN OPTION FOR R2 FROM U2\n");
    At(s, "REVOKE EXECUTE ON PROCEDURE P FROM U1\n");
    EXPECT_LT(At(s, "/* Creating roles */\n/* Role: RM, Owner: SYSDBA */\nCREATE ROLE RM\n"),
              At(s, "GRANT RM TO U2\n"));
    // The column grant the whole-table REVOKE took along is granted again.
    EXPECT_LT(At(s, "REVOKE UPDATE ON T FROM U4\n"), At(s, "GRANT UPDATE (A) ON T TO U4\n"));
    EXPECT_LT(At(s, "REVOKE RT FROM U1\n"), At(s, "/* Dropping roles */\nDROP ROLE RT\n"));
    At(s, "/* DROP: -- GRANT ALTER ANY TABLE TO U1 WITH GRANT OPTION */\n"
          "REVOKE GRANT OPTION FOR ALTER ANY TABLE FROM U1\n");
    At(s, "REVOKE CREATE GENERATOR FROM U2\n");
    At(s, "GRANT ALTER ANY CHARACTER SET TO U4 GRANTED BY U3\n");

    FirebirdComparison again(target->Path());
    ASSERT_TRUE(again.ReadMaster(reference->Path()) && again.ReadTarget());
    again.q.Compare();
    EXPECT_EQ(again.Statements(), HeaderOnly(target->Path())) << again.Script();
}

} // namespace
} // namespace qnl::test
