// The body reader on the Firebird 3 forms of PSQL: a table of small procedures, each of which
// Firebird 3 compiles, that the reader must take without a message and whose dependencies must be
// what Firebird records; and a table of bodies it must refuse, with the message and its place.
#include "IBExReader.h"

#include "fixtures/FbFixture.h"

#include "objects/qnlComp_Prc.h"
#include "objects/qnlComp_Trg.h"
#include "objects/qnlComp_Viw.h"

#include <gtest/gtest.h>

namespace qnl {
namespace {

const char* const FormsSchema =
    "CREATE TABLE T (ID INTEGER, A INTEGER, S VARCHAR(40));\n"
    "CREATE TABLE U (ID INTEGER, B INTEGER);\n"
    "CREATE SEQUENCE G;\n"
    "CREATE EXCEPTION E1 'one';\n"
    "CREATE EXCEPTION E2 'two';\n";

struct Form {
    const char* What;
    const char* Ddl;
};

const Form Firebird3Forms[] = {
    {"CONTINUE and LEAVE of a label",
         "CREATE PROCEDURE P_CONTINUE AS\n"
         "DECLARE I INTEGER = 0;\n"
         "BEGIN\n"
         "  L1: WHILE (I < 3) DO BEGIN I = I + 1; IF (I = 2) THEN CONTINUE; IF (I = 3) THEN LEAVE L1; END\n"
         "END\n"},
    {"scrollable cursor and every FETCH",
         "CREATE PROCEDURE P_SCROLL RETURNS (X INTEGER) AS\n"
         "DECLARE C SCROLL CURSOR FOR (SELECT ID FROM T);\n"
         "BEGIN\n"
         "  OPEN C;\n"
         "  FETCH NEXT FROM C INTO X; FETCH PRIOR FROM C INTO X; FETCH FIRST FROM C INTO X;\n"
         "  FETCH LAST FROM C INTO X; FETCH ABSOLUTE 2 FROM C INTO X; FETCH RELATIVE -1 FROM C INTO :X;\n"
         "  FETCH C INTO X;\n"
         "  CLOSE C;\n"
         "END\n"},
    {"FOR SELECT ... AS CURSOR without INTO, WHERE CURRENT OF",
         "CREATE PROCEDURE P_CURSOR AS\n"
         "BEGIN\n"
         "  FOR SELECT ID, A FROM T WHERE A > 0 AS CURSOR CR DO\n"
         "    UPDATE T SET A = CR.A + 1 WHERE CURRENT OF CR;\n"
         "END\n"},
    {"WHEN SQLSTATE, WHEN EXCEPTION list, re-raise",
         "CREATE PROCEDURE P_WHEN (X INTEGER) RETURNS (R INTEGER) AS\n"
         "BEGIN\n"
         "  BEGIN R = 1 / X; WHEN SQLSTATE '22012' DO R = 0; END\n"
         "  BEGIN EXCEPTION E1; WHEN EXCEPTION E1, EXCEPTION E2 DO R = -1; WHEN ANY DO EXCEPTION; END\n"
         "END\n"},
    {"OFFSET ... FETCH after ORDER BY",
         "CREATE PROCEDURE P_PAGE RETURNS (X INTEGER) AS\n"
         "BEGIN\n"
         "  FOR SELECT ID FROM T ORDER BY ID DESC NULLS LAST OFFSET 2 ROWS FETCH NEXT 3 ROWS ONLY INTO X DO SUSPEND;\n"
         "  FOR SELECT ID FROM T ORDER BY ID FETCH FIRST ROW ONLY INTO X DO SUSPEND;\n"
         "END\n"},
    {"DELETE with AS alias",
         "CREATE PROCEDURE P_DELETE_AS AS\n"
         "BEGIN\n"
         "  DELETE FROM T AS X WHERE X.A = 1;\n"
         "END\n"},
    {"CROSS JOIN, NATURAL JOIN, JOIN USING",
         "CREATE PROCEDURE P_JOINS RETURNS (X INTEGER) AS\n"
         "BEGIN\n"
         "  FOR SELECT T.ID FROM T CROSS JOIN U INTO X DO SUSPEND;\n"
         "  FOR SELECT ID FROM T NATURAL JOIN U INTO X DO SUSPEND;\n"
         "  FOR SELECT ID FROM T JOIN U USING (ID) INTO X DO SUSPEND;\n"
         "END\n"},
    {"window functions",
         "CREATE PROCEDURE P_WINDOW RETURNS (X INTEGER, Y BIGINT, Z INTEGER) AS\n"
         "BEGIN\n"
         "  FOR SELECT LAG(A) OVER (PARTITION BY ID, S ORDER BY A), ROW_NUMBER() OVER (ORDER BY ID),\n"
         "      SUM(A) OVER (PARTITION BY S) FROM T INTO X, Y, Z DO SUSPEND;\n"
         "  FOR SELECT LEAD(A, 1, 0) OVER (ORDER BY ID), RANK() OVER (ORDER BY A DESC), DENSE_RANK() OVER (PARTITION BY S ORDER BY A) FROM T INTO X, Y, Z DO SUSPEND;\n"
         "  FOR SELECT FIRST_VALUE(A) OVER (ORDER BY ID), COUNT(*) OVER (), NTH_VALUE(A, 2) FROM FIRST OVER (ORDER BY ID) FROM T INTO X, Y, Z DO SUSPEND;\n"
         "  FOR SELECT LAST_VALUE(A) OVER (ORDER BY ID), MAX(A) OVER (PARTITION BY ID), MIN(A) OVER () FROM T INTO X, Y, Z DO SUSPEND;\n"
         "END\n"},
    {"SUBSTRING SIMILAR and q-strings",
         "CREATE PROCEDURE P_STRINGS RETURNS (R VARCHAR(40)) AS\n"
         "BEGIN\n"
         "  R = SUBSTRING('abc123' SIMILAR '%\\\"[0-9]+\\\"%' ESCAPE '\\');\n"
         "  R = q'{It's {here}}' || Q'!x'y!' || q'(a)' || q'[b]' || q'<c>';\n"
         "END\n"},
    {"DATEADD and DATEDIFF with WEEK",
         "CREATE PROCEDURE P_DATES RETURNS (D DATE, N BIGINT) AS\n"
         "BEGIN\n"
         "  D = DATEADD(WEEK, 1, CURRENT_DATE);\n"
         "  D = DATEADD(2 WEEK TO CURRENT_DATE);\n"
         "  N = DATEDIFF(WEEK, DATE '2020-01-01', CURRENT_DATE);\n"
         "  N = DATEDIFF(WEEK FROM DATE '2020-01-01' TO CURRENT_DATE);\n"
         "END\n"},
    {"TRUE, FALSE, UNKNOWN and IS [NOT] TRUE",
         "CREATE PROCEDURE P_BOOLEANS RETURNS (B BOOLEAN) AS\n"
         "BEGIN\n"
         "  B = TRUE;\n"
         "  IF (B IS NOT TRUE OR B IS FALSE OR B IS UNKNOWN OR B = FALSE) THEN B = UNKNOWN;\n"
         "  B = (SELECT COUNT(*) FROM T) > 0;\n"
         "END\n"},
    {"sub-routines",
         "CREATE PROCEDURE P_SUBROUTINES RETURNS (R INTEGER) AS\n"
         "  DECLARE FUNCTION F_LOCAL (X INTEGER) RETURNS INTEGER AS\n"
         "  BEGIN\n"
         "    RETURN X + (SELECT COUNT(*) FROM U);\n"
         "  END\n"
         "  DECLARE PROCEDURE P_LOCAL (X INTEGER) RETURNS (Y INTEGER) AS\n"
         "    DECLARE Z INTEGER;\n"
         "  BEGIN\n"
         "    Z = X; Y = Z * 2;\n"
         "  END\n"
         "BEGIN\n"
         "  EXECUTE PROCEDURE P_LOCAL (1) RETURNING_VALUES R;\n"
         "  R = F_LOCAL(R);\n"
         "END\n"},
    {"GEN_ID and NEXT VALUE FOR",
         "CREATE PROCEDURE P_GENERATORS RETURNS (R BIGINT) AS\n"
         "BEGIN\n"
         "  R = GEN_ID(G, 1);\n"
         "  R = NEXT VALUE FOR G;\n"
         "  SELECT NEXT VALUE FOR G FROM T INTO R;\n"
         "END\n"},
    {"MERGE with conditions and DELETE",
         "CREATE PROCEDURE P_MERGE AS\n"
         "BEGIN\n"
         "  MERGE INTO T USING U ON T.ID = U.ID\n"
         "    WHEN MATCHED AND U.B < 0 THEN DELETE\n"
         "    WHEN MATCHED THEN UPDATE SET A = U.B\n"
         "    WHEN NOT MATCHED AND U.B > 0 THEN INSERT (ID, A) VALUES (U.ID, U.B);\n"
         "END\n"},
    {"autonomous transaction, EXECUTE STATEMENT, UPDATE OR INSERT, recursive CTE",
         "CREATE PROCEDURE P_MISC RETURNS (R VARCHAR(40)) AS\n"
         "BEGIN\n"
         "  IN AUTONOMOUS TRANSACTION DO INSERT INTO U (ID, B) VALUES (1, 2) RETURNING ID INTO :R;\n"
         "  EXECUTE STATEMENT ('SELECT S FROM T WHERE ID = :I') (I := 1) WITH AUTONOMOUS TRANSACTION INTO :R;\n"
         "  UPDATE OR INSERT INTO U (ID, B) VALUES (1, 3) MATCHING (ID);\n"
         "  WITH RECURSIVE N (K) AS (SELECT 1 FROM RDB$DATABASE UNION ALL SELECT K + 1 FROM N WHERE K < 3)\n"
         "    SELECT LIST(K, ',') FROM N INTO :R;\n"
         "END\n"},
};

TEST(IbExParserForms, EveryFirebird3FormCompilesAndReadsWithoutMessage) {
    std::string script = std::string("CREATE DATABASE 'forms.fdb';\n") + FormsSchema + "SET TERM ^ ;\n";
    for (const Form& f : Firebird3Forms) script += std::string(f.Ddl) + "^\n";
    script += "SET TERM ; ^\n";
    // Each procedure on its own, so that a message names the form that caused it.
    for (const Form& f : Firebird3Forms) {
        SCOPED_TRACE(f.What);
        TObjs objs;
        const std::string one = std::string(FormsSchema) + "SET TERM ^ ;\n" + f.Ddl + "^\nSET TERM ; ^\n";
        EXPECT_EQ(test::ReadWithBodies(objs, one, "form.sql"), "");
        EXPECT_NE(objs.List(olProcedures).Count(), 0);
    }
    // A FOR SELECT ... AS CURSOR without INTO: Firebird records no column of its select list,
    // the reader records the columns the list names (one edge more only orders more strictly).
    test::ExpectDependenciesAsFirebird(script, "Firebird 3 forms", {"P_CURSOR -> relation T.ID"});
}

} // namespace
} // namespace qnl
