// Master and target pairs run end to end on real Firebird 3 databases holding rows: both sides
// are read from databases, the script runs on the target with isql, and Firebird judges. A pair
// the server can make equal ends with the target's `isql -x` extract and rows equal to the
// master's and a second comparison that writes only the header; a change it refuses is a comment,
// and the script still runs and keeps every row.
#include "tests/fixtures/ScriptFixtures.h"
#include "tests/objects/FirebirdCompare.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qnl::test {
namespace {

using Rows = std::vector<std::string>;

// The comparison of the master (read from Reference) with the target (read from Target);
// CharSets compares the character sets and collations of columns and domains too.
struct Comparison : FirebirdComparison {
    Comparison(const TempDatabase& Target, const TempDatabase& Reference, bool CharSets = false)
        : FirebirdComparison(Target.Path()) {
        ReadMaster(Reference.Path());
        ReadTarget();
        q.IBCompareOptions().FldCharsetCompare = CharSets;
    }
    void Run() {
        q.Compare();
        EXPECT_TRUE(errors.empty()) << errors.front();
    }
    // The statements past the script's header.
    Rows Changes() const {
        Rows r;
        for (int i = 0; i < exec.StatementCount(); ++i)
            if (!IsHeaderOrComment(*exec.Statements(i))) r.push_back(Trim(exec.Statements(i)->Lines.Text()));
        return r;
    }
};

// Compares, runs the script on the target with isql and answers the script's flow; isql must
// end without an error.
std::string CompareAndRun(const TempDatabase& Target, const TempDatabase& Reference, bool CharSets = false) {
    Comparison c(Target, Reference, CharSets);
    c.Run();
    std::string out;
    EXPECT_EQ(RunConnectingScript(Target, c.Script() + "COMMIT;\n", out), 0) << c.Script() << out;
    return c.Flow();
}

Rows SecondComparison(const TempDatabase& Target, const TempDatabase& Reference, bool CharSets = false) {
    Comparison again(Target, Reference, CharSets);
    again.Run();
    return again.Changes();
}

// ---- pairs the server makes equal ----

// Rows whose column becomes NOT NULL get the master's default before it; the table's update
// triggers (one that stamps every row it sees) are off meanwhile, so no other column changes and
// an inactive trigger stays inactive.
const char* const FillTarget =
    "CREATE DOMAIN D_FILL AS INTEGER;\n"
    "CREATE TABLE T_AUDIT (ID INTEGER NOT NULL, C INTEGER, STAMP VARCHAR(10));\n"
    "CREATE TABLE T_DAUDIT (ID INTEGER NOT NULL, C D_FILL, STAMP VARCHAR(10));\n";
const char* const FillMaster =
    "CREATE DOMAIN D_FILL AS INTEGER DEFAULT 0 NOT NULL;\n"
    "CREATE TABLE T_AUDIT (ID INTEGER NOT NULL, C INTEGER DEFAULT 7 NOT NULL, STAMP VARCHAR(10));\n"
    "CREATE TABLE T_DAUDIT (ID INTEGER NOT NULL, C D_FILL, STAMP VARCHAR(10));\n";
const char* const FillTriggers =
    "SET TERM ^ ;\n"
    "CREATE TRIGGER T_AUDIT_BU FOR T_AUDIT ACTIVE BEFORE UPDATE AS BEGIN NEW.STAMP = 'trigger'; END^\n"
    "CREATE TRIGGER T_AUDIT_OFF FOR T_AUDIT INACTIVE BEFORE UPDATE AS BEGIN NEW.STAMP = 'off'; END^\n"
    "CREATE TRIGGER T_DAUDIT_BIU FOR T_DAUDIT ACTIVE BEFORE INSERT OR UPDATE AS BEGIN NEW.STAMP = 'trigger'; END^\n"
    "SET TERM ; ^\n"
    "COMMIT;\n";
// Rows written before the triggers exist.
const char* const FillRowsTarget =
    "INSERT INTO T_AUDIT VALUES (1, NULL, 'row');\nINSERT INTO T_AUDIT VALUES (2, 5, 'row');\n"
    "INSERT INTO T_DAUDIT VALUES (1, NULL, 'row');\nCOMMIT;\n";
const char* const FillRowsMaster =
    "INSERT INTO T_AUDIT VALUES (1, 7, 'row');\nINSERT INTO T_AUDIT VALUES (2, 5, 'row');\n"
    "INSERT INTO T_DAUDIT VALUES (1, 0, 'row');\nCOMMIT;\n";

// Domains and columns created in the target keep the character set and collation they have,
// although the default options do not compare them.
const char* const CollatedTarget = "CREATE TABLE T_ADD (ID INTEGER NOT NULL);\n";
const char* const CollatedMaster =
    "CREATE DOMAIN D_NAME AS VARCHAR(20) COLLATE UNICODE_CI;\n"
    "CREATE DOMAIN D_LATIN AS VARCHAR(20) CHARACTER SET WIN1252 COLLATE WIN_PTBR;\n"
    "CREATE TABLE T_NAMES (ID INTEGER NOT NULL, N D_NAME, L D_LATIN, P VARCHAR(10) CHARACTER SET WIN1252 COLLATE "
    "WIN_PTBR, U VARCHAR(10) COLLATE UNICODE_CI, I VARCHAR(10) CHARACTER SET ISO8859_1);\n"
    "CREATE TABLE T_ADD (ID INTEGER NOT NULL, W VARCHAR(10) CHARACTER SET ISO8859_1 COLLATE PT_BR);\n";

// A domain whose type changes keeps its collation (ALTER DOMAIN ... TYPE would reset it): a new
// domain takes its columns and its name; the view over them is dropped and created again.
const char* const KeptCollationTarget =
    "CREATE DOMAIN D_KEEP AS VARCHAR(10) CHARACTER SET WIN1252 DEFAULT 'k' COLLATE WIN_PTBR;\n"
    "CREATE TABLE T_KEEPC (ID INTEGER NOT NULL, K D_KEEP, L D_KEEP NOT NULL);\n"
    "CREATE VIEW V_KEEPC AS SELECT ID, K FROM T_KEEPC;\n"
    "COMMIT;\nINSERT INTO T_KEEPC VALUES (1, _UTF8 'ação', _UTF8 'é');\nCOMMIT;\n";
const char* const KeptCollationMaster =
    "CREATE DOMAIN D_KEEP AS VARCHAR(20) CHARACTER SET WIN1252 DEFAULT 'k' COLLATE WIN_PTBR;\n"
    "CREATE TABLE T_KEEPC (ID INTEGER NOT NULL, K D_KEEP, L D_KEEP NOT NULL);\n"
    "CREATE VIEW V_KEEPC AS SELECT ID, K FROM T_KEEPC;\n"
    "COMMIT;\nINSERT INTO T_KEEPC VALUES (1, _UTF8 'ação', _UTF8 'é');\nCOMMIT;\n";

// Unnamed checks of one text pair one to one: the extra copies of the target are dropped, the
// master's extra copies created.
const char* const ChecksTarget =
    "CREATE TABLE T_CHK (A INTEGER, CHECK (A > 0), CHECK (A > 0), CHECK (A > 0));\n"
    "CREATE TABLE T_CHK2 (A INTEGER, CHECK (A > 0));\n"
    "COMMIT;\nINSERT INTO T_CHK VALUES (1);\nINSERT INTO T_CHK2 VALUES (2);\nCOMMIT;\n";
const char* const ChecksMaster =
    "CREATE TABLE T_CHK (A INTEGER, CHECK (A > 0));\n"
    "CREATE TABLE T_CHK2 (A INTEGER, CHECK (A > 0), CHECK (A > 0));\n"
    "COMMIT;\nINSERT INTO T_CHK VALUES (1);\nINSERT INTO T_CHK2 VALUES (2);\nCOMMIT;\n";

// Routines whose texts and descriptions change, and a new one: each description is set once.
const char* const RoutinesTarget =
    "SET TERM ^ ;\n"
    "CREATE PROCEDURE P_DESC (A INTEGER) RETURNS (R INTEGER) AS BEGIN R = A; SUSPEND; END^\n"
    "CREATE FUNCTION F_DESC (A INTEGER) RETURNS INTEGER AS BEGIN RETURN A; END^\n"
    "SET TERM ; ^\n";
const char* const RoutinesMaster =
    "SET TERM ^ ;\n"
    "CREATE PROCEDURE P_DESC (A INTEGER) RETURNS (R INTEGER) AS BEGIN R = A + 1; SUSPEND; END^\n"
    "CREATE FUNCTION F_DESC (A INTEGER) RETURNS INTEGER AS BEGIN RETURN A + 1; END^\n"
    "CREATE PROCEDURE P_NEW (A INTEGER) AS BEGIN END^\n"
    "SET TERM ; ^\n"
    "COMMENT ON PROCEDURE P_DESC IS 'procedure';\n"
    "COMMENT ON PARAMETER P_DESC.A IS 'input';\n"
    "COMMENT ON PARAMETER P_DESC.R IS 'output';\n"
    "COMMENT ON FUNCTION F_DESC IS 'function';\n"
    "COMMENT ON PARAMETER F_DESC.A IS 'argument';\n"
    "COMMENT ON PROCEDURE P_NEW IS 'new';\n"
    "COMMENT ON PARAMETER P_NEW.A IS 'new input';\n";

// Grants made by another user keep their grantor; one the master lacks is revoked in its name.
const char* const GrantsTarget =
    "CREATE TABLE T_GRANTED (A INTEGER);\nCREATE ROLE R_GRANTED;\nCOMMIT;\n"
    "GRANT INSERT ON T_GRANTED TO CAROL GRANTED BY ANN;\n"
    "GRANT SELECT ON T_GRANTED TO BOB;\nCOMMIT;\n";
const char* const GrantsMaster =
    "CREATE TABLE T_GRANTED (A INTEGER);\nCREATE ROLE R_GRANTED;\nCOMMIT;\n"
    "GRANT SELECT ON T_GRANTED TO BOB GRANTED BY ANN;\n"
    "GRANT UPDATE (A) ON T_GRANTED TO DAVE WITH GRANT OPTION GRANTED BY ANN;\n"
    "GRANT R_GRANTED TO BOB GRANTED BY ANN;\nCOMMIT;\n";

// An external function's argument declared NULL passes a NULL as such.
const char* const FunctionsTarget =
    "DECLARE EXTERNAL FUNCTION F_LEN CSTRING(255) RETURNS INTEGER BY VALUE ENTRY_POINT 'IB_UDF_strlen' "
    "MODULE_NAME 'ib_udf';\n";
const char* const FunctionsMaster =
    "DECLARE EXTERNAL FUNCTION F_LEN CSTRING(255) NULL RETURNS INTEGER BY VALUE ENTRY_POINT 'IB_UDF_strlen' "
    "MODULE_NAME 'ib_udf';\n"
    "DECLARE EXTERNAL FUNCTION F_LEN2 CSTRING(255) NULL, INTEGER NULL, INTEGER RETURNS INTEGER BY VALUE "
    "ENTRY_POINT 'IB_UDF_strlen' MODULE_NAME 'ib_udf';\n";

const char* const RowsQuery =
    "SELECT '<<K|' || ID || '|' || IIF(K = _UTF8 'AÇÃO', 'same', 'diff') || '|' || OCTET_LENGTH(K) || '|' || "
    "IIF(L = _UTF8 'É', 'same', 'diff') || '>>' "
    "FROM V_KEEPC JOIN T_KEEPC USING (ID, K);\n"
    "SELECT '<<A|' || ID || '|' || COALESCE(C, '-') || '|' || COALESCE(STAMP, '-') || '>>' FROM T_AUDIT ORDER BY ID;\n"
    "SELECT '<<D|' || ID || '|' || COALESCE(C, '-') || '|' || COALESCE(STAMP, '-') || '>>' FROM T_DAUDIT ORDER BY ID;\n"
    "SELECT '<<C|' || A || '>>' FROM T_CHK;\nSELECT '<<C2|' || A || '>>' FROM T_CHK2;\n";

TEST(FirebirdRoundTrip, PairsTheServerCanMakeEqualKeepEveryRow) {
    TempDatabase target(std::string(FillTarget) + FillRowsTarget + FillTriggers + CollatedTarget + ChecksTarget +
                            RoutinesTarget + GrantsTarget + FunctionsTarget + KeptCollationTarget,
                        "UTF8");
    TempDatabase reference(std::string(FillMaster) + FillRowsMaster + FillTriggers + CollatedMaster + ChecksMaster +
                               RoutinesMaster + GrantsMaster + FunctionsMaster + KeptCollationMaster,
                           "UTF8");

    const std::string script = CompareAndRun(target, reference);
    // Off before the fill, on after it; the inactive trigger is not touched.
    EXPECT_LT(At(script, "ALTER TRIGGER T_AUDIT_BU INACTIVE"), At(script, "UPDATE T_AUDIT SET C = 7 WHERE C IS NULL"));
    EXPECT_LT(At(script, "UPDATE T_AUDIT SET C = 7 WHERE C IS NULL"), At(script, "ALTER TRIGGER T_AUDIT_BU ACTIVE"));
    EXPECT_LT(At(script, "ALTER TRIGGER T_DAUDIT_BIU INACTIVE"), At(script, "UPDATE T_DAUDIT SET C = 0 WHERE C IS NULL"));
    EXPECT_EQ(script.find("T_AUDIT_OFF"), std::string::npos) << script;
    for (const char* description :
         {"COMMENT ON PROCEDURE P_DESC IS", "COMMENT ON PROCEDURE PARAMETER P_DESC.A IS",
          "COMMENT ON PROCEDURE PARAMETER P_DESC.R IS", "COMMENT ON FUNCTION F_DESC IS",
          "COMMENT ON FUNCTION PARAMETER F_DESC.A IS", "COMMENT ON PROCEDURE P_NEW IS",
          "COMMENT ON PROCEDURE PARAMETER P_NEW.A IS"})
        EXPECT_EQ(Count(script, description), 1u) << description << "\n" << script;
    At(script, "CREATE DOMAIN QTMDOMAIN AS VARCHAR(20) CHARACTER SET WIN1252 DEFAULT 'k' COLLATE WIN_PTBR\n"
               "ALTER TABLE T_KEEPC ALTER COLUMN K TYPE QTMDOMAIN\nALTER TABLE T_KEEPC ALTER COLUMN L TYPE QTMDOMAIN\n"
               "DROP DOMAIN D_KEEP\nALTER DOMAIN QTMDOMAIN TO D_KEEP\n");
    At(script, "REVOKE INSERT ON T_GRANTED FROM CAROL GRANTED BY ANN");
    At(script, "GRANT SELECT ON T_GRANTED TO BOB GRANTED BY ANN");

    EXPECT_EQ(QueryRows(target, RowsQuery), QueryRows(reference, RowsQuery));
    EXPECT_EQ(QueryRows(target, RowsQuery)[0], "K|1|same|4|same");
    EXPECT_EQ(ComparableExtract(target.Path()), ComparableExtract(reference.Path()));
    EXPECT_EQ(SecondComparison(target, reference), Rows{});
}

// A computed column and a check calling a routine whose parameter list changes, or a packaged
// function the target lacks, come after the routine has its new form.
const char* const CallsTarget =
    "SET TERM ^ ;\n"
    "CREATE FUNCTION TEST (I INTEGER) RETURNS INTEGER AS BEGIN RETURN I; END^\n"
    "SET TERM ; ^\n"
    "CREATE TABLE T_COMP (I INTEGER);\n"
    "CREATE TABLE T_PKG (I INTEGER);\n"
    "COMMIT;\nINSERT INTO T_COMP VALUES (2);\nINSERT INTO T_PKG VALUES (3);\nCOMMIT;\n";
const char* const CallsMaster =
    "SET TERM ^ ;\n"
    "CREATE FUNCTION TEST (I INTEGER, J INTEGER) RETURNS INTEGER AS BEGIN RETURN I + J; END^\n"
    "CREATE PACKAGE PK AS BEGIN FUNCTION F (I INTEGER) RETURNS INTEGER; END^\n"
    "CREATE PACKAGE BODY PK AS BEGIN FUNCTION F (I INTEGER) RETURNS INTEGER AS BEGIN RETURN I * 10; END END^\n"
    "SET TERM ; ^\n"
    "CREATE TABLE T_COMP (I INTEGER, J COMPUTED BY (TEST(I, I)), CHECK (TEST(I, 0) >= 0));\n"
    "CREATE TABLE T_PKG (I INTEGER, J COMPUTED BY (PK.F(I)));\n"
    "COMMIT;\nINSERT INTO T_COMP VALUES (2);\nINSERT INTO T_PKG VALUES (3);\nCOMMIT;\n";

TEST(FirebirdRoundTrip, WhatCallsAChangedRoutineComesAfterIt) {
    TempDatabase target(CallsTarget, "UTF8");
    TempDatabase reference(CallsMaster, "UTF8");
    CompareAndRun(target, reference);
    const char* const rows = "SELECT '<<C|' || I || '|' || J || '>>' FROM T_COMP;\n"
                             "SELECT '<<P|' || I || '|' || J || '>>' FROM T_PKG;\n";
    EXPECT_EQ(QueryRows(target, rows), (Rows{"C|2|4", "P|3|30"}));
    EXPECT_EQ(ComparableExtract(target.Path()), ComparableExtract(reference.Path()));
    EXPECT_EQ(SecondComparison(target, reference), Rows{});
}

// A cycle of views (V1 reads V2, which reads V1) cannot be dropped as it stands: the view to go
// first reads no view before the drop, whether the master lacks the views or has them in
// another form.
const char* const CycleTarget =
    "CREATE TABLE ROOT (I INTEGER);\nCREATE VIEW V1 AS SELECT I FROM ROOT;\nCREATE VIEW V2 AS SELECT I FROM V1;\n"
    "CREATE TABLE ROOT2 (I INTEGER);\nCREATE VIEW W1 AS SELECT I FROM ROOT2;\nCREATE VIEW W2 AS SELECT I FROM W1;\n"
    "COMMIT;\nALTER VIEW V1 AS SELECT I FROM V2;\nALTER VIEW W1 AS SELECT I FROM W2;\nCOMMIT;\n"
    "INSERT INTO ROOT VALUES (1);\nINSERT INTO ROOT2 VALUES (2);\nCOMMIT;\n";
const char* const CycleMaster =
    "CREATE TABLE ROOT (I INTEGER);\n"
    "CREATE TABLE ROOT2 (I INTEGER);\nCREATE VIEW W1 AS SELECT I FROM ROOT2;\nCREATE VIEW W2 AS SELECT I FROM W1;\n"
    "COMMIT;\nINSERT INTO ROOT VALUES (1);\nINSERT INTO ROOT2 VALUES (2);\nCOMMIT;\n";

TEST(FirebirdRoundTrip, ACycleOfViewsIsBrokenBeforeItIsDropped) {
    TempDatabase target(CycleTarget, "UTF8");
    TempDatabase reference(CycleMaster, "UTF8");
    CompareAndRun(target, reference);
    const char* const rows = "SELECT '<<R|' || I || '>>' FROM ROOT;\nSELECT '<<W|' || I || '>>' FROM W2;\n";
    EXPECT_EQ(QueryRows(target, rows), (Rows{"R|1", "W|2"}));
    EXPECT_EQ(ComparableExtract(target.Path()), ComparableExtract(reference.Path()));
    EXPECT_EQ(SecondComparison(target, reference), Rows{});
}

// The descriptions of packaged routines and their parameters: changed, cleared, set on a package
// the master creates, and on one whose new header leaves a described routine out.
const char* const MembersTarget =
    "SET TERM ^ ;\n"
    "CREATE PACKAGE PKD AS BEGIN PROCEDURE P (X INTEGER) RETURNS (Y INTEGER); FUNCTION F (A INTEGER) RETURNS "
    "INTEGER; PROCEDURE GONE (G INTEGER); END^\n"
    "CREATE PACKAGE BODY PKD AS BEGIN PROCEDURE P (X INTEGER) RETURNS (Y INTEGER) AS BEGIN Y = X; SUSPEND; END "
    "FUNCTION F (A INTEGER) RETURNS INTEGER AS BEGIN RETURN A; END PROCEDURE GONE (G INTEGER) AS BEGIN END END^\n"
    "CREATE PACKAGE PKE AS BEGIN FUNCTION F (A INTEGER) RETURNS INTEGER; END^\n"
    "CREATE PACKAGE BODY PKE AS BEGIN FUNCTION F (A INTEGER) RETURNS INTEGER AS BEGIN RETURN A; END END^\n"
    "SET TERM ; ^\n"
    "COMMENT ON PROCEDURE PKD.P IS 'old';\n"
    "COMMENT ON PROCEDURE PARAMETER PKD.P.Y IS 'target''s';\n"
    "COMMENT ON PROCEDURE PKD.GONE IS 'gone';\n"
    "COMMENT ON PROCEDURE PARAMETER PKD.GONE.G IS 'gone too';\n"
    "COMMENT ON FUNCTION PKE.F IS 'old';\n"
    "COMMENT ON FUNCTION PARAMETER PKE.F.A IS 'target''s';\n";
const char* const MembersMaster =
    "SET TERM ^ ;\n"
    "CREATE PACKAGE PKD AS BEGIN PROCEDURE P (X INTEGER) RETURNS (Y INTEGER); FUNCTION F (A INTEGER) RETURNS "
    "INTEGER; END^\n"
    "CREATE PACKAGE BODY PKD AS BEGIN PROCEDURE P (X INTEGER) RETURNS (Y INTEGER) AS BEGIN Y = X; SUSPEND; END "
    "FUNCTION F (A INTEGER) RETURNS INTEGER AS BEGIN RETURN A; END END^\n"
    "CREATE PACKAGE PKE AS BEGIN FUNCTION F (A INTEGER) RETURNS INTEGER; END^\n"
    "CREATE PACKAGE BODY PKE AS BEGIN FUNCTION F (A INTEGER) RETURNS INTEGER AS BEGIN RETURN A; END END^\n"
    "CREATE PACKAGE PKN AS BEGIN PROCEDURE Q (Z INTEGER); FUNCTION R (B INTEGER) RETURNS INTEGER; END^\n"
    "CREATE PACKAGE BODY PKN AS BEGIN PROCEDURE Q (Z INTEGER) AS BEGIN END FUNCTION R (B INTEGER) RETURNS INTEGER "
    "AS BEGIN RETURN B; END END^\n"
    "SET TERM ; ^\n"
    "COMMENT ON PROCEDURE PKD.P IS 'new: it''s';\n"
    "COMMENT ON PROCEDURE PARAMETER PKD.P.X IS 'x';\n"
    "COMMENT ON FUNCTION PKD.F IS 'f';\n"
    "COMMENT ON FUNCTION PARAMETER PKD.F.A IS 'a';\n"
    "COMMENT ON FUNCTION PKE.F IS 'new';\n"
    "COMMENT ON PROCEDURE PKN.Q IS 'q';\n"
    "COMMENT ON PROCEDURE PARAMETER PKN.Q.Z IS 'z';\n"
    "COMMENT ON FUNCTION PKN.R IS 'r';\n"
    "COMMENT ON FUNCTION PARAMETER PKN.R.B IS 'b';\n";

TEST(FirebirdRoundTrip, DescriptionsOfPackagedRoutinesFollowTheMaster) {
    TempDatabase target(MembersTarget, "UTF8");
    TempDatabase reference(MembersMaster, "UTF8");
    const std::string script = CompareAndRun(target, reference);
    // Cleared while the target's header still declares the routine; set once.
    EXPECT_LT(At(script, "COMMENT ON PROCEDURE PARAMETER PKD.P.Y IS\nNULL"), At(script, "CREATE OR ALTER PACKAGE PKD"));
    EXPECT_LT(At(script, "COMMENT ON PROCEDURE PKD.GONE IS\nNULL"), At(script, "CREATE OR ALTER PACKAGE PKD"));
    At(script, "COMMENT ON FUNCTION PARAMETER PKE.F.A IS\nNULL");
    for (const char* description : {"COMMENT ON PROCEDURE PKD.P IS", "COMMENT ON FUNCTION PKE.F IS",
                                    "COMMENT ON PROCEDURE PARAMETER PKN.Q.Z IS", "COMMENT ON FUNCTION PARAMETER PKN.R.B IS"})
        EXPECT_EQ(Count(script, description), 1u) << description << "\n" << script;
    EXPECT_EQ(ComparableExtract(target.Path()), ComparableExtract(reference.Path()));
    EXPECT_EQ(SecondComparison(target, reference), Rows{});
}

// Columns change their character set or collation through a temporary domain, the rows
// converted; a column that becomes text gets the master's set. The view over the table is
// dropped and created again around the change.
const char* const CharSetsTarget =
    "CREATE DOMAIN D_SETC AS VARCHAR(10) CHARACTER SET WIN1252 COLLATE WIN_PTBR;\n"
    "CREATE DOMAIN D_COLLC AS VARCHAR(10) COLLATE UNICODE_CI;\n"
    "CREATE TABLE T_CS (ID INTEGER NOT NULL, W VARCHAR(10) CHARACTER SET WIN1252 COLLATE WIN_PTBR, "
    "C VARCHAR(10), N INTEGER, K CHAR(4) CHARACTER SET ISO8859_1, P VARCHAR(8) CHARACTER SET WIN1252 COLLATE WIN_PTBR, "
    "DS D_SETC, DC D_COLLC);\n"
    "CREATE VIEW V_CS AS SELECT ID, W FROM T_CS;\n"
    "COMMIT;\n"
    "INSERT INTO T_CS VALUES (1, _UTF8 'Ação', _UTF8 'Über', 42, _UTF8 'né', _UTF8 'ç', _UTF8 'Ação', _UTF8 'Über');\n"
    "INSERT INTO T_CS VALUES (2, _UTF8 'ação', _UTF8 'über', NULL, NULL, NULL, _UTF8 'ação', _UTF8 'über');\n"
    "COMMIT;\n";
const char* const CharSetsMaster =
    "CREATE DOMAIN D_SETC AS VARCHAR(10) COLLATE UNICODE_CI;\n"
    "CREATE DOMAIN D_COLLC AS VARCHAR(10) COLLATE UNICODE_CI_AI;\n"
    "CREATE TABLE T_CS (ID INTEGER NOT NULL, W VARCHAR(10) COLLATE UNICODE_CI, C VARCHAR(10) COLLATE UNICODE_CI_AI, "
    "N VARCHAR(12), K CHAR(4) CHARACTER SET UTF8, P VARCHAR(8) CHARACTER SET WIN1252, DS D_SETC, DC D_COLLC);\n"
    "CREATE VIEW V_CS AS SELECT ID, W FROM T_CS;\n"
    "COMMIT;\n"
    "INSERT INTO T_CS VALUES (1, _UTF8 'Ação', _UTF8 'Über', '42', _UTF8 'né', _UTF8 'ç', _UTF8 'Ação', _UTF8 'Über');\n"
    "INSERT INTO T_CS VALUES (2, _UTF8 'ação', _UTF8 'über', NULL, NULL, NULL, _UTF8 'ação', _UTF8 'über');\n"
    "COMMIT;\n";

TEST(FirebirdRoundTrip, ACharacterSetOrCollationChangeConvertsTheRows) {
    TempDatabase target(CharSetsTarget, "UTF8");
    TempDatabase reference(CharSetsMaster, "UTF8");
    const std::string script = CompareAndRun(target, reference, true);
    EXPECT_LT(At(script, "CREATE DOMAIN QTMCHARSET AS VARCHAR(10) COLLATE UNICODE_CI\n"
                         "ALTER TABLE T_CS ALTER COLUMN W TYPE QTMCHARSET\n"
                         "ALTER TABLE T_CS ALTER COLUMN W TYPE VARCHAR(10)\nDROP DOMAIN QTMCHARSET\n"),
              At(script, "CREATE VIEW V_CS"));
    At(script, "CREATE DOMAIN QTMCHARSET AS VARCHAR(12)\nALTER TABLE T_CS ALTER COLUMN N TYPE QTMCHARSET\n");
    EXPECT_EQ(script.find("WARNING"), std::string::npos) << script;
    At(script, "CREATE DOMAIN QTMDOMAIN AS VARCHAR(10) CHARACTER SET UTF8 COLLATE UNICODE_CI\nALTER TABLE T_CS ALTER COLUMN DS TYPE QTMDOMAIN\n");
    At(script, "CREATE DOMAIN QTMDOMAIN AS VARCHAR(10) CHARACTER SET UTF8 COLLATE UNICODE_CI_AI\n"
               "ALTER TABLE T_CS ALTER COLUMN DC TYPE QTMDOMAIN\nDROP DOMAIN D_COLLC\nALTER DOMAIN QTMDOMAIN TO D_COLLC\n");
    // The rows read back with the new sets, and compare by the new collations (isql connects
    // without a character set: the literals name theirs).
    const char* const rows =
        "SELECT '<<' || ID || '|' || W || '|' || C || '|' || COALESCE(N, '-') || '|' || COALESCE(K, '-') || '|' || "
        "COALESCE(P, '-') || '>>' FROM T_CS ORDER BY ID;\n"
        "SELECT '<<W ' || COUNT(*) || '>>' FROM T_CS WHERE W = _UTF8 'AÇÃO';\n"
        "SELECT '<<C ' || COUNT(*) || '>>' FROM T_CS WHERE C = 'uber';\n"
        "SELECT '<<K ' || COUNT(*) || '>>' FROM T_CS WHERE K = _UTF8 'né' AND OCTET_LENGTH(K) = 5;\n"
        "SELECT '<<N ' || COUNT(*) || '>>' FROM T_CS WHERE N = '42';\n"
        "SELECT '<<DS ' || COUNT(*) || '>>' FROM T_CS WHERE DS = _UTF8 'AÇÃO';\n"
        "SELECT '<<DC ' || COUNT(*) || '>>' FROM T_CS WHERE DC = 'uber';\n";
    const Rows after = QueryRows(target, rows);
    EXPECT_EQ(Rows(after.begin() + 2, after.end()), (Rows{"W 2", "C 2", "K 1", "N 1", "DS 2", "DC 2"}));
    EXPECT_EQ(after, QueryRows(reference, rows));
    EXPECT_EQ(ComparableExtract(target.Path()), ComparableExtract(reference.Path()));
    EXPECT_EQ(SecondComparison(target, reference, true), Rows{});
}

// ---- changes the server refuses ----

// A target-only domain that a column keeps (its change to the master's shorter type is refused)
// stays; columns whose identity differs keep their nullability with it (an identity column
// cannot become nullable, a plain one holding NULLs cannot become NOT NULL).
const char* const RefusedTarget =
    "CREATE DOMAIN D_PRM AS VARCHAR(10) CHARACTER SET WIN1252 COLLATE WIN_PTBR;\n"
    "CREATE TABLE T_PRM (ID INTEGER, C D_PRM);\n"
    "SET TERM ^ ;\nCREATE PROCEDURE P_PRM (A D_PRM) AS BEGIN END^\nSET TERM ; ^\n"
    "CREATE DOMAIN D_GONE AS VARCHAR(20);\n"
    "CREATE TABLE T_KEEP (ID INTEGER NOT NULL, C D_GONE);\n"
    "CREATE TABLE T_IDENT (ID INTEGER GENERATED BY DEFAULT AS IDENTITY, V INTEGER);\n"
    "CREATE TABLE T_PLAIN (ID INTEGER, V INTEGER);\n"
    "COMMIT;\n"
    "INSERT INTO T_KEEP VALUES (1, 'twenty characters!!');\n"
    "INSERT INTO T_IDENT (V) VALUES (1);\n"
    "INSERT INTO T_PLAIN VALUES (NULL, 2);\n"
    "COMMIT;\n";
const char* const RefusedMaster =
    "CREATE DOMAIN D_PRM AS VARCHAR(20) CHARACTER SET WIN1252 COLLATE WIN_PTBR;\n"
    "CREATE TABLE T_PRM (ID INTEGER, C D_PRM);\n"
    "SET TERM ^ ;\nCREATE PROCEDURE P_PRM (A D_PRM) AS BEGIN END^\nSET TERM ; ^\n"
    "CREATE TABLE T_KEEP (ID INTEGER NOT NULL, C VARCHAR(10));\n"
    "CREATE TABLE T_IDENT (ID INTEGER, V INTEGER);\n"
    "CREATE TABLE T_PLAIN (ID INTEGER GENERATED BY DEFAULT AS IDENTITY, V INTEGER);\n";

TEST(FirebirdRoundTrip, RefusedChangesAreCommentsAndTheScriptRuns) {
    TempDatabase target(RefusedTarget, "UTF8");
    TempDatabase reference(RefusedMaster, "UTF8");
    const char* const rows = "SELECT '<<K|' || ID || '|' || C || '>>' FROM T_KEEP;\n"
                             "SELECT '<<I|' || ID || '|' || V || '>>' FROM T_IDENT;\n"
                             "SELECT '<<P|' || COALESCE(ID, '-') || '|' || V || '>>' FROM T_PLAIN;\n"
                             "SELECT '<<' || TRIM(RDB$FIELD_NAME) || '>>' FROM RDB$FIELDS WHERE RDB$FIELD_NAME = 'D_GONE';\n";
    const Rows before = QueryRows(target, rows);
    ASSERT_EQ(before, (Rows{"K|1|twenty characters!!", "I|1|1", "P|-|2", "D_GONE"}));

    for (int run = 0; run < 2; ++run) {
        SCOPED_TRACE(run == 0 ? "first comparison" : "second comparison");
        const std::string script = CompareAndRun(target, reference);
        At(script, "WARNING: domain D_GONE is not dropped: T_KEEP.C keeps its type and still uses it");
        // A domain a parameter uses cannot be replaced: the collation its type change loses is
        // said on every comparison.
        At(script, run == 0 ? "WARNING: the collation WIN_PTBR of domain D_PRM is lost"
                            : "WARNING: the collation WIN_PTBR of domain D_PRM is missing on the target");
        At(script, "WARNING: the identity of T_IDENT.ID is not changed (identity -> no identity): the target's server "
                   "has no statement for it; its nullability stays with it (NOT NULL -> NULL not made)");
        At(script, "WARNING: the identity of T_PLAIN.ID is not changed (no identity -> identity)");
        EXPECT_EQ(script.find("DROP DOMAIN"), std::string::npos) << script;
        EXPECT_EQ(script.find("NOT NULL\n"), std::string::npos) << script;
        EXPECT_EQ(QueryRows(target, rows), before);
    }
}

// With routines left out of the comparison, a target-only domain that a routine's parameter uses
// stays (with a warning): neither the routine nor its parameter list is touched.
TEST(FirebirdRoundTrip, ADomainThatAKeptParameterUsesStays) {
    TempDatabase target("CREATE DOMAIN D_PRC AS VARCHAR(10);\nCREATE DOMAIN D_FREE AS INTEGER;\n"
                        "CREATE TABLE T_PRC (ID INTEGER);\nSET TERM ^ ;\n"
                        "CREATE PROCEDURE P_KEPT (A D_PRC) RETURNS (R D_PRC) AS BEGIN R = A; SUSPEND; END^\n"
                        "SET TERM ; ^\nCOMMIT;\nINSERT INTO T_PRC VALUES (1);\nCOMMIT;\n",
                        "UTF8");
    TempDatabase reference("CREATE TABLE T_PRC (ID INTEGER);\nCOMMIT;\nINSERT INTO T_PRC VALUES (1);\nCOMMIT;\n", "UTF8");
    const char* const rows = "SELECT '<<' || R || '>>' FROM P_KEPT('kept');\n"
                             "SELECT '<<' || TRIM(RDB$FIELD_NAME) || '>>' FROM RDB$FIELDS WHERE RDB$FIELD_NAME STARTING "
                             "WITH 'D_';\nSELECT '<<T|' || ID || '>>' FROM T_PRC;\n";
    for (int run = 0; run < 2; ++run) {
        SCOPED_TRACE(run == 0 ? "first comparison" : "second comparison");
        Comparison c(target, reference);
        c.q.CompareObjects.Exclude(coProcedure);
        c.Run();
        const std::string script = c.Flow();
        std::string out;
        EXPECT_EQ(RunConnectingScript(target, c.Script() + "COMMIT;\n", out), 0) << c.Script() << out;
        At(script, "WARNING: domain D_PRC is not dropped: parameter P_KEPT.A of a routine the comparison leaves "
                   "alone still uses it");
        EXPECT_EQ(script.find("P_KEPT\n"), std::string::npos) << script;
        EXPECT_EQ(QueryRows(target, rows), (Rows{"kept", "D_PRC", "T|1"}));
    }
}

} // namespace
} // namespace qnl::test
