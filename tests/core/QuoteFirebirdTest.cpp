// Quoting and the option texts against a real Firebird 3 database: what the library writes for a
// Firebird 3 target must run there.
#include "core/qnlDBOptions.h"
#include "core/qnlIBKeywords.h"
#include "core/qnlQuote.h"
#include "fixtures/FbFixture.h"

#include <gtest/gtest.h>

#include <set>
#include <sstream>

using namespace qnl;
using qnl::test::TempDatabase;

namespace {

// The words Firebird 3 itself reserves, as its documentation lists them; the library's lists
// must quote each of these.
const char* const Firebird3Reserved =
    "ADD ADMIN ALL ALTER AND ANY AS AT AVG BEGIN BETWEEN BIGINT BIT_LENGTH BLOB BOOLEAN BOTH BY CASE "
    "CAST CHAR CHAR_LENGTH CHARACTER CHARACTER_LENGTH CHECK CLOSE COLLATE COLUMN COMMIT CONNECT "
    "CONSTRAINT CORR COUNT COVAR_POP COVAR_SAMP CREATE CROSS CURRENT CURRENT_CONNECTION CURRENT_DATE "
    "CURRENT_ROLE CURRENT_TIME CURRENT_TIMESTAMP CURRENT_TRANSACTION CURRENT_USER CURSOR DATE DAY DEC "
    "DECIMAL DECLARE DEFAULT DELETE DELETING DETERMINISTIC DISCONNECT DISTINCT DOUBLE DROP ELSE END "
    "ESCAPE EXECUTE EXISTS EXTERNAL EXTRACT FALSE FETCH FILTER FLOAT FOR FOREIGN FROM FULL FUNCTION "
    "GDSCODE GLOBAL GRANT GROUP HAVING HOUR IN INDEX INNER INSENSITIVE INSERT INSERTING INT INTEGER "
    "INTO IS JOIN LEADING LEFT LIKE LONG LOWER MAX MAXIMUM_SEGMENT MERGE MIN MINUTE MONTH NATIONAL "
    "NATURAL NCHAR NO NOT NULL NUMERIC OCTET_LENGTH OF OFFSET ON ONLY OPEN OR ORDER OUTER OVER "
    "PARAMETER PLAN POSITION POST_EVENT PRECISION PRIMARY PROCEDURE RDB$DB_KEY RDB$RECORD_VERSION REAL "
    "RECORD_VERSION RECREATE RECURSIVE REFERENCES REGR_AVGX REGR_AVGY REGR_COUNT REGR_INTERCEPT "
    "REGR_R2 REGR_SLOPE REGR_SXX REGR_SXY REGR_SYY RELEASE RETURN RETURNING_VALUES RETURNS REVOKE "
    "RIGHT ROLLBACK ROW ROW_COUNT ROWS SAVEPOINT SCROLL SECOND SELECT SENSITIVE SET SIMILAR SMALLINT "
    "SOME SQLCODE SQLSTATE START STDDEV_POP STDDEV_SAMP SUM TABLE THEN TIME TIMESTAMP TO TRAILING "
    "TRIGGER TRIM TRUE UNION UNIQUE UNKNOWN UPDATE UPDATING UPPER USER USING VALUE VALUES VAR_POP "
    "VAR_SAMP VARCHAR VARIABLE VARYING VIEW WHEN WHERE WHILE WITH YEAR";

std::set<std::string> NamesToTry() {
    std::set<std::string> names;
    for (const TIBKeyword& k : IBKeywords()) names.insert(std::string(k.Word));
    for (std::string_view w : IBExtraReservedWords(st_Firebird_30)) names.insert(std::string(w));
    std::istringstream in(Firebird3Reserved);
    for (std::string w; in >> w;) names.insert(w);
    for (const char* n : {"Name", "A\"B", "1A", "a", "A B", "X\" INTEGER, Y", "\"", "CUSTOMER", "DOMAIN", "KEY",
                          "ACTION", "A$1_"})
        names.insert(n);
    return names;
}

} // namespace

// Each name, written the way quoting writes it for Firebird 3, names a table and its column;
// the catalogue must hold exactly the names that went in.
TEST(QuoteFirebird, EveryWordAndOddNameWorksAsTableAndColumn) {
    TempDatabase db("");
    const std::set<std::string> names = NamesToTry();
    std::string script = "CONNECT '" + db.Path() + "' USER 'SYSDBA';\n";
    for (const std::string& n : names) {
        std::string q = QuoteNameForServer(n, stInterBase, st_Firebird_30, 3);
        script += "CREATE TABLE " + q + " (" + q + " INTEGER);\n";
    }
    script += "COMMIT;\n"
              "SELECT '<<' || TRIM(TRAILING FROM RDB$RELATION_NAME) || '|' || TRIM(TRAILING FROM RDB$FIELD_NAME) "
              "|| '>>' FROM RDB$RELATION_FIELDS WHERE RDB$SYSTEM_FLAG = 0;\n";
    std::string out;
    test::RunIsqlScript(db.Dir(), "-q", script, out);

    std::set<std::string> found;
    for (const std::string& row : test::Marked(out)) {
        size_t bar = row.find('|');
        ASSERT_NE(bar, std::string::npos) << row;
        EXPECT_EQ(row.substr(0, bar), row.substr(bar + 1)) << "column name differs from table name";
        found.insert(row.substr(0, bar));
    }
    for (const std::string& n : names)
        EXPECT_TRUE(found.count(n)) << "not created: " << n << " written as "
                                    << QuoteNameForServer(n, stInterBase, st_Firebird_30, 3);
    EXPECT_EQ(found.size(), names.size());
    if (found.size() != names.size()) ADD_FAILURE() << out.substr(0, 4000);
}

TEST(QuoteFirebird, OptionStatementsRunInIsql) {
    TempDatabase db("CREATE TABLE T (C INTEGER);");
    // isql cuts a file name at a doubled quote, so the file name here has none (the literal's
    // quoting is covered by the exact-text tests).
    const std::string& path = db.Path();

    TIBServerOptions o;
    o.SQLServerVersion = st_Firebird_30;
    o.SetDBCharSet("win1252");
    TConnectionOptions c;
    c.DatabaseName = path;
    c.UserName = "SYSDBA";
    c.Password = "masterkey";
    ASSERT_EQ(o.GetSetDialectStatement(), "SET SQL DIALECT 3");
    ASSERT_EQ(o.GetSetNamesStatement(), "SET NAMES WIN1252");

    std::string script = o.GetSetDialectStatement() + ";\n" + o.GetSetNamesStatement() + ";\n" +
                         o.GetConnectStatement(c) + ";\n" +
                         "SELECT '<<' || TRIM(cs.RDB$CHARACTER_SET_NAME) || '>>' "
                         "FROM MON$ATTACHMENTS a JOIN RDB$CHARACTER_SETS cs "
                         "ON cs.RDB$CHARACTER_SET_ID = a.MON$CHARACTER_SET_ID "
                         "WHERE a.MON$ATTACHMENT_ID = CURRENT_CONNECTION;\n"
                         "SELECT '<<' || TRIM(MON$DATABASE_NAME) || '>>' FROM MON$DATABASE;\n"
                         // Dialect 3 divides integers as integers (dialect 1 would give 0.5).
                         "SELECT '<<' || (1 / 2) || '>>' FROM RDB$DATABASE;\n";
    std::string out;
    ASSERT_EQ(test::RunIsqlScript(db.Dir(), "-q -b", script, out), 0) << out;
    std::vector<std::string> rows = test::Marked(out);
    ASSERT_EQ(rows.size(), 3u) << out;
    EXPECT_EQ(rows[0], "WIN1252");
    EXPECT_EQ(rows[1], path);
    EXPECT_EQ(rows[2], "0");
}
