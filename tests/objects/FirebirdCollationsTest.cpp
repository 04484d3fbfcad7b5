// Collations compared and written by the comparer, run on real Firebird 3 databases whose
// catalogue Firebird has given the version of its collation library in every ICU collation. Both
// sides are read through the database reader: the target from the database the script runs on,
// the master from a database built from the master's DDL, which is also the witness.
#include "objects/qnlComp_Def.h"
#include "tests/fixtures/LiveSide.h"
#include "tests/objects/CompareKit.h"
#include "tests/objects/RoutineCatalogue.h"  // SplitBars

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace qnl;
using namespace qnl::test;

namespace {

const char* const TargetDdl =
    "CREATE COLLATION C_SAME FOR UTF8 FROM UNICODE NO PAD 'NUMERIC-SORT=1';\n"
    "CREATE COLLATION C_FREE FOR UTF8 FROM UNICODE CASE INSENSITIVE;\n"
    "CREATE COLLATION C_USED FOR UTF8 FROM UNICODE CASE INSENSITIVE;\n"
    "CREATE COLLATION C_OLD FOR UTF8 FROM UNICODE;\n"
    "CREATE TABLE T (C VARCHAR(10) CHARACTER SET UTF8 COLLATE C_USED);\n";

// The master as its DDL says; C_USED changed like C_FREE, but a column of the target uses it.
const char* const MasterDdl =
    "CREATE COLLATION C_SAME FOR UTF8 FROM UNICODE NO PAD CASE SENSITIVE ACCENT SENSITIVE 'NUMERIC-SORT=1';\n"
    "CREATE COLLATION C_FREE FOR UTF8 FROM UNICODE NO PAD CASE INSENSITIVE ACCENT INSENSITIVE;\n"
    "CREATE COLLATION C_USED FOR UTF8 FROM UNICODE NO PAD CASE INSENSITIVE ACCENT INSENSITIVE;\n"
    "CREATE COLLATION C_ATTR FOR UTF8 FROM UNICODE PAD SPACE CASE INSENSITIVE ACCENT SENSITIVE "
    "'NUMERIC-SORT=1;SPECIALS-FIRST=1';\n"
    "CREATE COLLATION C_EXT FOR ISO8859_1 FROM EXTERNAL ('PT_BR') NO PAD CASE SENSITIVE ACCENT SENSITIVE;\n"
    "COMMENT ON COLLATION C_ATTR IS 'numbers ''sorted''';\n"
    "CREATE TABLE T (C VARCHAR(10) CHARACTER SET UTF8 COLLATE C_USED);\n";

// The rows of the user collations: name, character set, base, attribute bits, specific
// attributes.
std::vector<std::string> CollationRows(const TempDatabase& Db) {
    return QueryRows(
        Db, "SELECT '<<' || TRIM(c.RDB$COLLATION_NAME) || '|' || TRIM(s.RDB$CHARACTER_SET_NAME) || '|' || "
            "COALESCE(TRIM(c.RDB$BASE_COLLATION_NAME), '') || '|' || c.RDB$COLLATION_ATTRIBUTES || '|' || "
            "COALESCE(CAST(c.RDB$SPECIFIC_ATTRIBUTES AS VARCHAR(200)), '') || '>>' FROM RDB$COLLATIONS c "
            "JOIN RDB$CHARACTER_SETS s ON s.RDB$CHARACTER_SET_ID = c.RDB$CHARACTER_SET_ID "
            "WHERE c.RDB$SYSTEM_FLAG IS DISTINCT FROM 1 ORDER BY c.RDB$COLLATION_NAME");
}

// The rows without the library version in the specific attributes, the one C_USED row apart.
struct TRows {
    std::vector<std::string> Others;
    std::string Used;
};

TRows WithoutVersion(const std::vector<std::string>& Rows) {
    TRows r;
    TObjs scratch;
    for (const std::string& row : Rows) {
        const auto f = SplitBars(row);
        if (f.size() != 5) {
            ADD_FAILURE() << row;
            continue;
        }
        TCltData c(&scratch);
        c.Attributes = f[4];
        // The compare text drops the version; the quoted text in it is what remains.
        const std::string text = c.GetCompareSQL();
        const size_t quote = text.find('\'');
        const std::string attrs =
            quote == std::string::npos ? std::string() : text.substr(quote + 1, text.rfind('\'') - quote - 1);
        (f[0] == "C_USED" ? r.Used : r.Others.emplace_back()) = f[0] + "|" + f[1] + "|" + f[2] + "|" + f[3] + "|" + attrs;
    }
    return r;
}

TEST(FirebirdCollations, ChangedCreatedDroppedAndInUseKept) {
    TempDatabase db(TargetDdl);
    TempDatabase reference(MasterDdl);
    const std::vector<std::string> before = CollationRows(db);

    // Both sides as the database reader reads them, the master from the reference database.
    Comparison c;
    LiveSide readMaster(reference.Path()), readTarget(db.Path());
    readMaster.Extractor.SetDBStructure(&c.master);
    readTarget.Extractor.SetDBStructure(&c.target);
    ASSERT_TRUE(readMaster.Extract()) << readMaster.ErrorText();
    ASSERT_TRUE(readTarget.Extract()) << readTarget.ErrorText();

    std::string out;
    ASSERT_EQ(c.RunOn(db, out), 0) << c.ScriptText() << out;
    const std::string script = c.ScriptText();
    EXPECT_EQ(script.find("C_SAME"), std::string::npos) << script;
    EXPECT_NE(script.find("/* WARNING: collation C_USED differs"), std::string::npos) << script;
    EXPECT_EQ(script.find("DROP COLLATION C_USED"), std::string::npos) << script;
    EXPECT_NE(script.find("DROP COLLATION C_FREE"), std::string::npos) << script;
    EXPECT_NE(script.find("DROP COLLATION C_OLD"), std::string::npos) << script;

    // Every collation is the master's but the one in use, which keeps what it was.
    const TRows after = WithoutVersion(CollationRows(db));
    const TRows master = WithoutVersion(CollationRows(reference));
    EXPECT_EQ(after.Others, master.Others);
    EXPECT_EQ(after.Used, WithoutVersion(before).Used);
    EXPECT_NE(after.Used, master.Used);
    EXPECT_EQ(QueryRows(db, "SELECT '<<' || CAST(RDB$DESCRIPTION AS VARCHAR(100)) || '>>' FROM RDB$COLLATIONS "
                            "WHERE RDB$COLLATION_NAME = 'C_ATTR'"),
              (std::vector<std::string>{"numbers 'sorted'"}));
}

} // namespace
