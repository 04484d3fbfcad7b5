// External functions of ib_udf brought to the master on real Firebird 3 databases: the target's
// functions are used by a procedure, a trigger, two views, computed columns, a check and an
// expression index; the master changes one function's FREE_IT and another's entry point, and
// lacks a third. Both sides are read through the database reader, the master from a reference
// database. After the script the target's catalogue and `isql -x` extract equal the master's
// reference database, and a second comparison writes only the header.
#include "tests/objects/CompareKit.h"
#include "tests/objects/GrantCatalogue.h"
#include "tests/objects/RoutineCatalogue.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace qnl::test {
namespace {

using Rows = std::vector<std::string>;

// What the updated target must share with the reference, from one isql run over the catalogue,
// each row tagged: external functions (F) and their arguments (A), columns of tables and views
// (C), view sources (S), checks (K) and the triggers behind them (k), expression indices (X),
// procedures (P) and their parameters (p), triggers (G), and the dependencies on tables and
// functions (d).
Rows ReadCatalogue(const TempDatabase& Db) {
    return QueryRows(
        Db,
        "SELECT '<<F|' || TRIM(RDB$FUNCTION_NAME) || '|' || TRIM(RDB$MODULE_NAME) || '|' || TRIM(RDB$ENTRYPOINT) || "
        "'|' || RDB$RETURN_ARGUMENT || '>>' FROM RDB$FUNCTIONS WHERE RDB$MODULE_NAME IS NOT NULL ORDER BY 1;\n"
        "SELECT '<<A|' || TRIM(a.RDB$FUNCTION_NAME) || '|' || a.RDB$ARGUMENT_POSITION || '|' || a.RDB$MECHANISM || "
        "'|' || a.RDB$FIELD_TYPE || '|' || a.RDB$FIELD_LENGTH || '>>' FROM RDB$FUNCTION_ARGUMENTS a JOIN "
        "RDB$FUNCTIONS f ON f.RDB$FUNCTION_NAME = a.RDB$FUNCTION_NAME WHERE f.RDB$MODULE_NAME IS NOT NULL "
        "ORDER BY 1;\n"
        "SELECT '<<C|' || TRIM(rf.RDB$RELATION_NAME) || '|' || IIF(r.RDB$VIEW_BLR IS NULL, 'T', 'V') || '|' || "
        "TRIM(rf.RDB$FIELD_NAME) || '|' || TRIM(rf.RDB$FIELD_SOURCE) || '|' || f.RDB$FIELD_TYPE || '|' || "
        "COALESCE(f.RDB$CHARACTER_LENGTH, 0) || '|' || COALESCE(rf.RDB$NULL_FLAG, 0) || '|' || "
        "IIF(r.RDB$VIEW_BLR IS NULL, COALESCE(" + FoldedText("f.RDB$COMPUTED_SOURCE") + ", ''), '') || '>>' "
        "FROM RDB$RELATION_FIELDS rf JOIN RDB$RELATIONS r ON r.RDB$RELATION_NAME = rf.RDB$RELATION_NAME "
        "JOIN RDB$FIELDS f ON f.RDB$FIELD_NAME = rf.RDB$FIELD_SOURCE WHERE COALESCE(r.RDB$SYSTEM_FLAG, 0) = 0 "
        "ORDER BY rf.RDB$RELATION_NAME, rf.RDB$FIELD_POSITION;\n"
        "SELECT '<<S|' || TRIM(RDB$RELATION_NAME) || '|' || " + FoldedText("RDB$VIEW_SOURCE") +
        " || '>>' FROM RDB$RELATIONS WHERE RDB$VIEW_BLR IS NOT NULL AND COALESCE(RDB$SYSTEM_FLAG, 0) = 0 ORDER BY 1;\n"
        "SELECT DISTINCT '<<K|' || TRIM(rc.RDB$CONSTRAINT_NAME) || '|' || TRIM(rc.RDB$RELATION_NAME) || '|' || " +
        FoldedText("t.RDB$TRIGGER_SOURCE") +
        " || '>>' FROM RDB$RELATION_CONSTRAINTS rc JOIN RDB$CHECK_CONSTRAINTS cc ON cc.RDB$CONSTRAINT_NAME = "
        "rc.RDB$CONSTRAINT_NAME JOIN RDB$TRIGGERS t ON t.RDB$TRIGGER_NAME = cc.RDB$TRIGGER_NAME "
        "WHERE rc.RDB$CONSTRAINT_TYPE = 'CHECK';\n"
        "SELECT '<<k|' || TRIM(cc.RDB$TRIGGER_NAME) || '|' || TRIM(cc.RDB$CONSTRAINT_NAME) || '>>' FROM "
        "RDB$CHECK_CONSTRAINTS cc JOIN RDB$RELATION_CONSTRAINTS rc ON rc.RDB$CONSTRAINT_NAME = cc.RDB$CONSTRAINT_NAME "
        "WHERE rc.RDB$CONSTRAINT_TYPE = 'CHECK';\n"
        "SELECT '<<X|' || TRIM(RDB$INDEX_NAME) || '|' || TRIM(RDB$RELATION_NAME) || '|' || " +
        FoldedText("RDB$EXPRESSION_SOURCE") +
        " || '>>' FROM RDB$INDICES WHERE COALESCE(RDB$SYSTEM_FLAG, 0) = 0 ORDER BY 1;\n"
        "SELECT '<<P|' || TRIM(RDB$PROCEDURE_NAME) || '|' || " + FoldedText("RDB$PROCEDURE_SOURCE") +
        " || '>>' FROM RDB$PROCEDURES WHERE COALESCE(RDB$SYSTEM_FLAG, 0) = 0 ORDER BY 1;\n"
        "SELECT '<<p|' || TRIM(p.RDB$PROCEDURE_NAME) || '|' || p.RDB$PARAMETER_TYPE || '|' || "
        "TRIM(p.RDB$PARAMETER_NAME) || '|' || f.RDB$FIELD_TYPE || '>>' FROM RDB$PROCEDURE_PARAMETERS p "
        "JOIN RDB$FIELDS f ON f.RDB$FIELD_NAME = p.RDB$FIELD_SOURCE WHERE COALESCE(p.RDB$SYSTEM_FLAG, 0) = 0 "
        "ORDER BY p.RDB$PROCEDURE_NAME, p.RDB$PARAMETER_TYPE, p.RDB$PARAMETER_NUMBER;\n"
        "SELECT '<<G|' || TRIM(RDB$TRIGGER_NAME) || '|' || TRIM(RDB$RELATION_NAME) || '|' || RDB$TRIGGER_TYPE || "
        "'|' || RDB$TRIGGER_SEQUENCE || '|' || COALESCE(RDB$TRIGGER_INACTIVE, 0) || '|' || " +
        FoldedText("RDB$TRIGGER_SOURCE") +
        " || '>>' FROM RDB$TRIGGERS WHERE COALESCE(RDB$SYSTEM_FLAG, 0) = 0 ORDER BY 1;\n"
        // Dependent types 1 view, 2 trigger, 3 computed field, 5 procedure, 6 expression index;
        // depended-on types 0 table, 15 function.
        "SELECT DISTINCT '<<d|' || TRIM(RDB$DEPENDENT_NAME) || '|' || RDB$DEPENDENT_TYPE || '|' || "
        "TRIM(RDB$DEPENDED_ON_NAME) || '|' || RDB$DEPENDED_ON_TYPE || '>>' FROM RDB$DEPENDENCIES "
        "WHERE RDB$DEPENDED_ON_TYPE IN (0, 15)");
}

// Everything but the names Firebird makes up (field sources, check triggers) and the dependency
// list: what the updated target must share with the reference.
Rows Comparable(const Rows& Catalogue) {
    Rows r;
    for (const std::string& row : Catalogue) {
        if (row.starts_with("k|") || row.starts_with("d|")) continue;
        if (row.starts_with("C|")) {
            auto f = SplitBars(row);
            f.at(4).clear();
            std::string s;
            for (size_t i = 0; i < f.size(); ++i) s += (i ? "|" : "") + f[i];
            r.push_back(s);
        } else {
            r.push_back(row);
        }
    }
    std::sort(r.begin(), r.end());
    return r;
}

// isql's extract in blocks (split at blank lines), sorted: it lists views in the order they were
// created, which the script does not keep.
Rows ExtractBlocks(const std::string& DatabasePath) {
    return SortedBlocks(ExtractSchema(DatabasePath));
}

const char* const Shared =
    "CREATE INDEX T_LOW ON T COMPUTED BY (LOWER_X(NAME));\n"
    "CREATE VIEW V_LOW (ID, L) AS SELECT ID, LOWER_X(NAME) FROM T;\n"
    "SET TERM ^ ;\n"
    "CREATE PROCEDURE P_HALF (N INTEGER) RETURNS (R INTEGER) AS\nBEGIN\n  R = MOD_X(N, 2);\n  SUSPEND;\nEND^\n"
    "CREATE TRIGGER T_BI FOR T ACTIVE BEFORE INSERT POSITION 0 AS\nBEGIN\n  NEW.NAME = LOWER_X(NEW.NAME);\nEND^\n"
    "SET TERM ; ^\n";

// The target's functions: LOWER_X frees its result, MOD_X is ib_udf's mod, ABS_X only the target
// has.
const char* const TargetDdl =
    "DECLARE EXTERNAL FUNCTION LOWER_X CSTRING(255) RETURNS CSTRING(255) FREE_IT "
    "ENTRY_POINT 'IB_UDF_lower' MODULE_NAME 'ib_udf';\n"
    "DECLARE EXTERNAL FUNCTION MOD_X INTEGER, INTEGER RETURNS DOUBLE PRECISION BY VALUE "
    "ENTRY_POINT 'IB_UDF_mod' MODULE_NAME 'ib_udf';\n"
    "DECLARE EXTERNAL FUNCTION ABS_X DOUBLE PRECISION RETURNS DOUBLE PRECISION BY VALUE "
    "ENTRY_POINT 'IB_UDF_abs' MODULE_NAME 'ib_udf';\n"
    "CREATE TABLE T (ID INTEGER NOT NULL, NAME VARCHAR(40), LOW COMPUTED BY (LOWER_X(NAME)), "
    "HALF COMPUTED BY (MOD_X(ID, 2)), SIZE_X COMPUTED BY (ABS_X(ID)), CONSTRAINT T_CHK CHECK(MOD_X(ID, 1000) >= 0));\n"
    "CREATE VIEW V_ABS (ID, A) AS SELECT ID, ABS_X(ID) FROM T;\n";

const char* const MasterDdl =
    "DECLARE EXTERNAL FUNCTION LOWER_X CSTRING(255) RETURNS CSTRING(255) "
    "ENTRY_POINT 'IB_UDF_lower' MODULE_NAME 'ib_udf';\n"
    "DECLARE EXTERNAL FUNCTION MOD_X INTEGER, INTEGER RETURNS DOUBLE PRECISION BY VALUE "
    "ENTRY_POINT 'IB_UDF_div' MODULE_NAME 'ib_udf';\n"
    "CREATE TABLE T (ID INTEGER NOT NULL, NAME VARCHAR(40), LOW COMPUTED BY (LOWER_X(NAME)), "
    "HALF COMPUTED BY (MOD_X(ID, 2)), SIZE_X COMPUTED BY (ID * 2), CONSTRAINT T_CHK CHECK(MOD_X(ID, 1000) >= 0));\n"
    "CREATE VIEW V_ABS (ID, A) AS SELECT ID, ID FROM T;\n";

// Firebird drops the grants on a function, those it holds and the column grants of a dropped
// column with them. The changed functions and the computed column HALF keep theirs; ABS_X and the
// target's SIZE_X take theirs along.
const char* const SharedGrants =
    "GRANT EXECUTE ON FUNCTION LOWER_X TO U1;\n"
    "GRANT SELECT ON T TO FUNCTION MOD_X;\n"
    "GRANT UPDATE (HALF, NAME) ON T TO U2;\n";
const char* const TargetGrants =
    "GRANT EXECUTE ON FUNCTION ABS_X TO U1;\n"
    "GRANT UPDATE (SIZE_X) ON T TO U3;\n";

TEST(UdfFirebird, ChangedAndDroppedFunctionsTakeTheirUsersAlongAndBringThemBack) {
    UdfEngine engine;
    TempDatabase target(std::string(TargetDdl) + Shared);
    TempDatabase reference(std::string(MasterDdl) + Shared);
    // A grant to a function goes in a script of its own (see the grant tests).
    std::string out;
    ASSERT_EQ(RunSql(target, std::string(SharedGrants) + TargetGrants + "COMMIT;\n", out), 0) << out;
    ASSERT_EQ(RunSql(reference, std::string(SharedGrants) + "COMMIT;\n", out), 0) << out;
    const Rows master = ReadCatalogue(reference);
    ASSERT_GT(master.size(), 20u) << master.front();
    const Rows masterGrants = ReadGrants(reference);
    ASSERT_EQ(masterGrants.size(), 4u) << testing::PrintToString(masterGrants);

    std::string s;
    {
        FirebirdComparison c(target.Path());
        ASSERT_TRUE(c.ReadMaster(reference.Path()) && c.ReadTarget());
        c.q.Compare();
        EXPECT_TRUE(c.errors.empty()) << c.errors.front();
        s = c.Flow();
        EXPECT_EQ(RunConnectingScript(target, c.Script() + "COMMIT;\n", out), 0) << c.Script() << out;
    }
    EXPECT_EQ(Comparable(ReadCatalogue(target)), Comparable(master));
    EXPECT_EQ(ExtractBlocks(target.Path()), ExtractBlocks(reference.Path()));
    EXPECT_EQ(ReadGrants(target), masterGrants);
    // What the DROPs left of a column grant is taken back before the master's is given again; no
    // REVOKE names what went with a DROP.
    EXPECT_LT(At(s, "REVOKE UPDATE (NAME) ON T FROM U2\n"), At(s, "GRANT UPDATE (HALF, NAME) ON T TO U2\n"));
    EXPECT_LT(At(s, "DROP EXTERNAL FUNCTION LOWER_X\n"), At(s, "GRANT EXECUTE ON FUNCTION LOWER_X TO U1\n"));
    EXPECT_LT(At(s, "DROP EXTERNAL FUNCTION MOD_X\n"), At(s, "GRANT SELECT ON T TO FUNCTION MOD_X\n"));
    EXPECT_EQ(Count(s, "REVOKE"), 1u) << s;

    // Before the DROP of a changed function: procedure and trigger emptied, the computed column,
    // the check, the index and the view dropped; after the DECLARE their own passes bring them
    // back.
    const size_t emptyProc = At(s, "/* Empty dependent procedure body before Function Alter (Drop/Create) */\nALTER PROCEDURE P_HALF");
    const size_t dropHalf = At(s, "/* drop calc-field for UDF alter */\nALTER TABLE T DROP HALF\n");
    const size_t dropCheck = At(s, "/* drop check for UDF alter */\nALTER TABLE T DROP CONSTRAINT T_CHK\n");
    const size_t dropMod = At(s, "DROP EXTERNAL FUNCTION MOD_X\n");
    const size_t declareMod = At(s, "DECLARE EXTERNAL FUNCTION MOD_X\nINTEGER, INTEGER\nRETURNS DOUBLE PRECISION BY VALUE\n"
                                    "ENTRY_POINT 'IB_UDF_div' MODULE_NAME 'ib_udf'\n");
    for (size_t step : {emptyProc, dropHalf, dropCheck}) EXPECT_LT(step, dropMod);
    EXPECT_LT(dropMod, declareMod);
    const size_t emptyTrigger = At(s, "/* Empty dependent trigger body before Function Alter (Drop/Create) */\nALTER TRIGGER T_BI");
    // The index walk reconnects before its DROP.
    const size_t dropIndex = At(s, "/* drop index for UDF alter */\n");
    const size_t dropLower = At(s, "DROP EXTERNAL FUNCTION LOWER_X\n");
    for (size_t step : {emptyTrigger, dropIndex, At(s, "DROP INDEX T_LOW\n")}) EXPECT_LT(step, dropLower);
    EXPECT_LT(dropLower, At(s, "DECLARE EXTERNAL FUNCTION LOWER_X\nCSTRING(255)\nRETURNS CSTRING(255)\n"
                                "ENTRY_POINT 'IB_UDF_lower' MODULE_NAME 'ib_udf'\n"));
    EXPECT_LT(declareMod, At(s, "ALTER TABLE T ADD CONSTRAINT T_CHK CHECK(MOD_X(ID, 1000) >= 0)\n"));
    // The function only the target has goes after its users; the master's computed column and
    // view of the same names come back right after it.
    const size_t dropAbs = At(s, "/* Drop UDF */\n");
    EXPECT_LT(dropAbs, At(s, "DROP EXTERNAL FUNCTION ABS_X\n"));
    EXPECT_LT(At(s, "DROP EXTERNAL FUNCTION ABS_X\n"), At(s, "ALTER TABLE T ADD SIZE_X BIGINT COMPUTED BY (ID * 2)\n"));
    EXPECT_EQ(Count(s, "DROP EXTERNAL FUNCTION"), 3u) << s;

    FirebirdComparison again(target.Path());
    ASSERT_TRUE(again.ReadMaster(reference.Path()) && again.ReadTarget());
    again.q.Compare();
    EXPECT_EQ(again.Statements(), HeaderOnly(target.Path())) << again.Script();
}

} // namespace
} // namespace qnl::test
