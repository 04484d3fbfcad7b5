// The body reader's grammar without a database: what it accepts and what it records, what it
// refuses with which message at which place, and the reading of stored sources.
#include "IBExReader.h"

#include "objects/qnlComp_Ctr.h"
#include "objects/qnlComp_Dmn.h"
#include "objects/qnlComp_Gnr.h"
#include "objects/qnlComp_Prc.h"
#include "objects/qnlComp_Trg.h"
#include "objects/qnlComp_Viw.h"

#include <gtest/gtest.h>

namespace qnl {
namespace {

// Ten lines, so that the statement under test starts on line 11 (line 10 is SET TERM).
const char* const Schema =
    "CREATE TABLE T (ID INTEGER, QTY INTEGER, PRICE NUMERIC(9,2));\n"
    "CREATE TABLE T1 (ID INTEGER, X INTEGER);\n"
    "CREATE TABLE T2 (ID INTEGER, Y INTEGER);\n"
    "CREATE GENERATOR G;\n"
    "CREATE GENERATOR I;\n"
    "CREATE EXCEPTION E_ONE 'one';\n"
    "CREATE INDEX IX_A ON T (QTY);\n"
    "DECLARE EXTERNAL FUNCTION F_LOG INTEGER RETURNS INTEGER BY VALUE ENTRY_POINT 'f' MODULE_NAME 'm';\n"
    "CREATE PROCEDURE P_CALC (A INTEGER) RETURNS (B INTEGER) AS BEGIN B = A; END;\n";

struct Case {
    const char* What;
    TIBSQLServerVersionType Version;
    const char* Ddl;      // one statement ending in "^"
    const char* Object;   // the view, procedure or trigger whose dependencies are compared
    const char* Depends;  // DependText of that object
    const char* Messages;
};

std::string Read(TObjs& Objs, const Case& C) {
    const std::string script = std::string(Schema) + "SET TERM ^ ;\n" + C.Ddl + "\nSET TERM ; ^\n";
    return test::ReadWithBodies(Objs, script, "x.sql", C.Version);
}

TDbObj* Find(const TObjs& Objs, const std::string& Name) {
    if (TDbObj* o = Objs.FindView(Name)) return o;
    if (TDbObj* o = Objs.FindTrigger(Name)) return o;
    return Objs.FindProcedure(Name);
}

const Case Accepted[] = {
    {"a call with RETURNING_VALUES, a raise with its text, an external function as a statement, "
     "SET GENERATOR, SET STATISTICS, a handler that re-raises",
     st_Firebird_30,
     "CREATE PROCEDURE P (A INTEGER) RETURNS (B INTEGER) AS BEGIN EXECUTE PROCEDURE P_CALC (:A) "
     "RETURNING_VALUES :B; EXCEPTION E_ONE 'text'; F_LOG(1); SET GENERATOR G TO 10; SET STATISTICS INDEX IX_A; "
     "BEGIN EXIT; WHEN ANY DO EXCEPTION; END END^",
     "P", "E_ONE F_LOG G IX_A P_CALC", ""},
    {"NEW and OLD in a trigger name its table's columns", st_Firebird_30,
     "CREATE TRIGGER TR FOR T BEFORE INSERT AS BEGIN NEW.QTY = OLD.PRICE * 2; END^", "TR", "T T.PRICE T.QTY", ""},
    {"a parameter named like a generator is the parameter; GEN_ID and NEXT VALUE FOR name the generator, also "
     "inside a query",
     st_Firebird_30,
     "CREATE PROCEDURE P (G INTEGER) RETURNS (R BIGINT) AS BEGIN R = G + 1; R = GEN_ID(I, 1); "
     "SELECT NEXT VALUE FOR G FROM T1 INTO :R; END^",
     "P", "G I T1", ""},
    {"GEN_ID is a keyword for Firebird 2.5", st_Firebird_25,
     "CREATE PROCEDURE P RETURNS (R BIGINT) AS BEGIN R = GEN_ID(G, 1); END^", "P", "G", ""},
    {"a declared variable is no generator", st_Firebird_30,
     "CREATE PROCEDURE P AS DECLARE VARIABLE I INTEGER; BEGIN I = I + 1; END^", "P", "", ""},
    {"joins, aliases and a plan", st_Firebird_30,
     "CREATE VIEW V AS SELECT A.X, B.Y FROM T1 A JOIN T2 B ON A.ID = B.ID PLAN JOIN (A NATURAL, B INDEX (IX_A))^", "V",
     "IX_A T1 T1.ID T1.X T2 T2.ID T2.Y", ""},
    {"subqueries resolve against their own and the outer FROM list; BETWEEN keeps its AND", st_Firebird_30,
     "CREATE VIEW V AS SELECT ID FROM T WHERE QTY = ANY (SELECT X FROM T1) AND NOT EXISTS (SELECT 1 FROM T2 "
     "WHERE T2.ID = T.ID) AND QTY BETWEEN 1 AND 10 AND PRICE = 2^",
     "V", "T T.ID T.PRICE T.QTY T1 T1.X T2 T2.ID", ""},
    {"* names each relation once", st_Firebird_30, "CREATE VIEW V AS SELECT * FROM T1, T2^", "V", "T1 T2", ""},
    {"FIRST and SKIP from Firebird 1", st_FireBird_1x, "CREATE VIEW V AS SELECT FIRST 10 SKIP (5) X FROM T1^", "V",
     "T1 T1.X", ""},
    {"ROWS is no alias for Firebird 2.5", st_Firebird_25, "CREATE VIEW V AS SELECT ID FROM T1 ROWS 10^", "V",
     "T1 T1.ID", ""},
    {"UPDATE names its columns, UPDATE OR INSERT its target's", st_Firebird_30,
     "CREATE PROCEDURE P AS BEGIN UPDATE T SET QTY = 1, PRICE = 2 WHERE ID = 3; "
     "UPDATE OR INSERT INTO T1 (ID, X) VALUES (1, 2) MATCHING (ID); END^",
     "P", "T T.ID T.PRICE T.QTY T1 T1.ID T1.X", ""},
    {"a MERGE needs its target and its source, with the columns of both", st_Firebird_30,
     "CREATE PROCEDURE P AS BEGIN MERGE INTO T USING T1 S ON T.ID = S.ID WHEN MATCHED THEN UPDATE SET QTY = S.X "
     "WHEN NOT MATCHED THEN INSERT (ID) VALUES (S.ID); END^",
     "P", "T T.ID T.QTY T1 T1.ID T1.X", ""},
    {"a label, LEAVE and a nested block", st_Firebird_30,
     "CREATE PROCEDURE P AS DECLARE I INTEGER = 0; BEGIN LABEL1: WHILE (I < 10) DO BEGIN LEAVE LABEL1; END END^", "P",
     "", ""},
    {"an autonomous transaction", st_Firebird_30,
     "CREATE PROCEDURE P AS BEGIN IN AUTONOMOUS TRANSACTION DO INSERT INTO T1 VALUES (1, 2); END^", "P", "T1", ""},
    {"a recursive common table expression names nothing by its own name", st_Firebird_30,
     "CREATE VIEW V (K) AS WITH RECURSIVE R (K) AS (SELECT 1 FROM RDB$DATABASE UNION ALL SELECT K + 1 FROM R "
     "WHERE K < 3) SELECT K FROM R^",
     "V", "", ""},
    {"a variable typed by a domain, TYPE OF a domain and a cast to one need the domain", st_Firebird_30,
     "CREATE DOMAIN D1 INTEGER^ CREATE DOMAIN D2 VARCHAR(5)^ CREATE DOMAIN D3 BIGINT^ CREATE PROCEDURE P AS "
     "DECLARE Y D1; DECLARE V TYPE OF D2; BEGIN Y = CAST(V AS D3); END^",
     "P", "D1 D2 D3", ""},
    {"so does a database trigger's variable", st_Firebird_30,
     "CREATE DOMAIN D1 INTEGER^ CREATE TRIGGER TD ON CONNECT AS DECLARE Y D1; BEGIN END^", "TD", "D1", ""},
    {"an element of an array column reads the column", st_Firebird_30,
     "CREATE TABLE A (ID INTEGER, ARR INTEGER [5])^ CREATE VIEW V AS SELECT ARR[1] AS E FROM A^", "V", "A A.ARR", ""},
    {"inner queries reach the columns of every query around them", st_Firebird_30,
     "CREATE VIEW V AS SELECT (SELECT MAX((SELECT MAX(T2.Y) FROM T2 WHERE T2.ID = T1.ID AND Y = QTY)) FROM T1 "
     "WHERE X = T.ID) AS M FROM T^",
     "V", "T T.ID T.QTY T1 T1.ID T1.X T2 T2.ID T2.Y", ""},
    {"q-strings hold quotes and semicolons", st_Firebird_30,
     "CREATE PROCEDURE P RETURNS (S VARCHAR(20)) AS BEGIN S = q'{it's; }' || Q'!a'!'; S = (SELECT X FROM T1); END^",
     "P", "T1 T1.X", ""},
};

TEST(IbExParserGrammar, AcceptedBodiesRecordWhatTheyName) {
    for (const Case& c : Accepted) {
        SCOPED_TRACE(c.What);
        TObjs objs;
        EXPECT_EQ(Read(objs, c), c.Messages);
        EXPECT_EQ(test::DependText(Find(objs, c.Object)), c.Depends);
    }
}

// The statement under test starts on line 11.
const Case Refused[] = {
    {"a token that starts no factor", st_Firebird_30, "CREATE PROCEDURE P AS BEGIN\n  I = );\nEND^", "",
     "", "12:7 Procedure P: Invalid factor in expression (<)>)\n"},
    {"a trigger's error names the trigger and the line in its body", st_Firebird_30,
     "CREATE TRIGGER TR FOR T BEFORE INSERT AS\nBEGIN\n  NEW.QTY = 0 +;\nEND^", "", "",
     "13:16 Trigger TR: Invalid factor in expression (<;>)\n"},
    {"NEW outside a trigger", st_Firebird_30, "CREATE PROCEDURE P AS BEGIN NEW.QTY = 0; END^", "", "",
     "11:33 Procedure P: NEW./OLD. context variable is not into trigger body.\n"},
    {"IN AUTONOMOUS without TRANSACTION", st_Firebird_30,
     "CREATE PROCEDURE P AS BEGIN IN AUTONOMOUS WORK DO EXIT; END^", "", "",
     "11:43 Procedure P: TRANSACTION expected, but WORK found.\n"},
    {"EXECUTE of something else", st_Firebird_30, "CREATE PROCEDURE P AS BEGIN EXECUTE FOO; END^", "", "",
     "11:37 Procedure P: Must be: PROCEDURE / STATEMENT.\n"},
    {"a view WITH another word", st_Firebird_30, "CREATE VIEW V AS SELECT ID FROM T WITH FOO^", "", "",
     "11:40 View V: Must be: WITH LOCK / WITH CHECK OPTION\n"},
    {"MERGE ... DELETE before Firebird 3", st_Firebird_25,
     "CREATE PROCEDURE P AS BEGIN MERGE INTO T USING T1 ON T.ID = T1.ID WHEN MATCHED THEN DELETE; END^", "", "",
     "11:85 Procedure P: Must be: UPDATE\n"},
    {"an unknown EXTRACT part", st_Firebird_30,
     "CREATE PROCEDURE P RETURNS (R INTEGER) AS BEGIN R = EXTRACT(FOO FROM CURRENT_DATE); END^", "", "",
     "11:61 Procedure P: Invalid <part> in EXTRACT(part FROM value) function.\n"},
    {"an unknown DATEDIFF part", st_Firebird_30,
     "CREATE PROCEDURE P RETURNS (R INTEGER) AS BEGIN R = DATEDIFF(FOO, CURRENT_DATE, CURRENT_DATE); END^", "", "",
     "11:62 Procedure P: Invalid timestamp part in DATEDIFF function.\n"},
    {"WEEK is no DATEADD part before Firebird 3", st_Firebird_25,
     "CREATE PROCEDURE P RETURNS (D DATE) AS BEGIN D = DATEADD(WEEK, 1, CURRENT_DATE); END^", "", "",
     "11:62 Procedure P: Missing: <)> (<,>)\n"},
    {"NULLS with another word", st_Firebird_30, "CREATE VIEW V AS SELECT ID FROM T ORDER BY ID NULLS MIDDLE^", "",
     "", "11:53 View V: Must be: NULLS FIRST / NULLS LAST (order by clause).\n"},
    {"a plan item with a number", st_Firebird_30, "CREATE VIEW V AS SELECT ID FROM T PLAN (T 5)^", "", "",
     "11:43 View V: Invalid symbol in PLAN-expression: <Integer value>\n"},
    {"IS with a number", st_Firebird_30, "CREATE VIEW V AS SELECT ID FROM T WHERE QTY IS 5^", "", "",
     "11:48 View V: Must be: NULL/DISTINCT FROM.\n"},
    {"an unknown SET", st_Firebird_30, "CREATE PROCEDURE P AS BEGIN SET FOO; END^", "", "",
     "11:33 Procedure P: Unknown SET-statement\n"},
    {"USING in a join before Firebird 2.5", st_Firebird_21,
     "CREATE VIEW V AS SELECT ID FROM T1 JOIN T2 USING (ID)^", "", "",
     "11:44 View V: USING is not known to this server version\n"},
    {"FIRST is a column name for InterBase 6", st_InterBase_6x,
     "CREATE VIEW V AS SELECT FIRST 10 SKIP (5) X FROM T1^", "", "",
     "11:31 View V: Missing: FROM (<Integer value>)\n"},
    {"a sub-routine before Firebird 3 is one fault, one message", st_Firebird_25,
     "CREATE PROCEDURE P AS DECLARE PROCEDURE SUB AS BEGIN END BEGIN EXIT; END^", "", "",
     "11:31 Procedure P: Missing: <Ident> (PROCEDURE)\n"},
    {"a named check constraint", st_Firebird_30, "ALTER TABLE T ADD CONSTRAINT CK CHECK (QTY > )^", "", "",
     "11:46 Check-constraint CK: Invalid factor in expression (<)>)\n"},
    {"a computed column", st_Firebird_30, "ALTER TABLE T ADD C COMPUTED BY (QTY * )^", "", "",
     "11:40 Field T/C: Invalid factor in expression (<)>)\n"},
};

TEST(IbExParserGrammar, RefusedBodiesReportWhatAndWhereNamingTheObject) {
    for (const Case& c : Refused) {
        SCOPED_TRACE(c.What);
        TObjs objs;
        EXPECT_EQ(Read(objs, c), c.Messages);
    }
}

TEST(IbExParserGrammar, AnEarlierErrorLeavesColumnsOfLaterQueriesResolved) {
    // The first procedure is broken; the view after it still needs its columns.
    TObjs objs;
    const std::string script = std::string(Schema) +
                               "SET TERM ^ ;\nCREATE PROCEDURE BROKEN AS BEGIN X = ); END^\nSET TERM ; ^\n"
                               "CREATE VIEW V AS SELECT A.X FROM T1 A JOIN T2 B ON A.ID = B.ID;\n";
    EXPECT_NE(test::ReadWithBodies(objs, script, "x.sql"), "");
    EXPECT_EQ(test::DependText(objs.FindView("V")), "T1 T1.ID T1.X T2 T2.ID");
}

// The column names of a view written without a list are kept only where the select list names
// every column for certain; what Firebird refuses or the reader cannot tell leaves them empty.
// (The names Firebird itself gives are checked against real databases in the live tests.)
TEST(IbExParserGrammar, AViewWithoutAColumnListIsNamedOnlyWhenEveryItemHasAName) {
    struct NameCase {
        const char* What;
        const char* View;
        const char* Names;  // "|"-separated; "" for none
        int Dialect = 3;
    };
    const NameCase cases[] = {
        {"columns and aliases", "CREATE VIEW V AS SELECT ID, A.X AS \"x\", QTY Q FROM T JOIN T1 A ON A.ID = T.ID;", "ID|x|Q"},
        {"an expression without alias", "CREATE VIEW V AS SELECT ID, QTY * 2 FROM T;", ""},
        {"a bracketed column", "CREATE VIEW V AS SELECT (ID) FROM T;", ""},
        {"a context variable", "CREATE VIEW V AS SELECT ID, CURRENT_USER FROM T;", ""},
        {"a name twice", "CREATE VIEW V AS SELECT T1.ID, T2.ID FROM T1 JOIN T2 ON T1.ID = T2.ID;", ""},
        {"a column list of its own", "CREATE VIEW V (N) AS SELECT ID FROM T;", ""},
        {"a quoted name in dialect 1 is a string", "CREATE VIEW V AS SELECT \"ID\" FROM T;", "", 1},
    };
    for (const NameCase& c : cases) {
        SCOPED_TRACE(c.What);
        TObjs objs;
        const std::string dialect = "SET SQL DIALECT " + std::to_string(c.Dialect) + ";\n";
        EXPECT_EQ(test::ReadWithBodies(objs, dialect + Schema + c.View + "\n", "x.sql"), "");
        const auto* view = dynamic_cast<const TViwData*>(objs.FindView("V"));
        ASSERT_NE(view, nullptr);
        EXPECT_EQ(test::DerivedNames(*view), c.Names);
    }
}

TEST(IbExParserGrammar, BodyReadAnewNeedsOnlyWhatItNamesNow) {
    TObjs objs;
    const std::string script = std::string(Schema) +
                               "SET TERM ^ ;\nCREATE PROCEDURE P AS BEGIN DELETE FROM T1; END^\n"
                               "ALTER PROCEDURE P AS BEGIN DELETE FROM T2; END^\nSET TERM ; ^\n";
    EXPECT_EQ(test::ReadWithBodies(objs, script, "x.sql"), "");
    EXPECT_EQ(test::DependText(objs.FindProcedure("P")), "T2");
    EXPECT_EQ(objs.FindTable("T1")->UsedBy.Count(), 0);
}

TEST(IbExParserGrammar, ASubRoutineNamedLikeAProcedureLeavesThatProcedureAlone) {
    TObjs objs;
    const std::string script = std::string(Schema) +
                               "SET TERM ^ ;\nCREATE PROCEDURE P AS DECLARE PROCEDURE P_CALC AS BEGIN END "
                               "BEGIN EXECUTE PROCEDURE P_CALC; END^\nSET TERM ; ^\n";
    EXPECT_EQ(test::ReadWithBodies(objs, script, "x.sql"), "");
    auto* calc = dynamic_cast<TPrcData*>(objs.FindProcedure("P_CALC"));
    ASSERT_NE(calc, nullptr);
    EXPECT_EQ(calc->Source(), "BEGIN B = A; END");
    EXPECT_EQ(calc->InputCount(), 1);
}

TEST(IbExParserGrammar, BodiesUnderTheSemicolonTerminatorReadWhole) {
    TObjs objs;
    const std::string script = std::string(Schema) +
                               "CREATE PROCEDURE P AS BEGIN DELETE FROM T1; DELETE FROM T2; END;\n"
                               "CREATE VIEW V AS SELECT X FROM T1;\n";
    EXPECT_EQ(test::ReadWithBodies(objs, script, "x.sql"), "");
    EXPECT_EQ(objs.FindProcedure("P")->Source(), "BEGIN DELETE FROM T1; DELETE FROM T2; END");
    EXPECT_EQ(test::DependText(objs.FindView("V")), "T1 T1.X");
}

// Stored sources, as the database reader hands them over.
class IbExParserSources : public ::testing::Test {
protected:
    void SetUp() override { EXPECT_EQ(test::ReadWithBodies(Objs, Schema, "x.sql"), ""); }
    std::string Messages() { return test::MessagesText(P); }
    TObjs Objs;
    TIbExParser P;
};

TEST_F(IbExParserSources, ProceduresViewsAndComputedColumnsParseTheirSource) {
    P.Objs = &Objs;
    TPrcData empty(&Objs);
    empty.SetName("EMPTY");
    P.ParseObjectSource(&empty);
    EXPECT_EQ(empty.DependsOn.Count(), 0);

    auto* table = Objs.FindTable("T");
    TFldData total(&Objs, table);
    total.SetName("TOTAL");
    total.SetSource("(QTY * PRICE)");
    P.ParseObjectSource(&total);
    EXPECT_EQ(test::DependText(&total), "T.PRICE T.QTY");

    TPrcData proc(&Objs);
    proc.SetName("PROC");
    proc.SetSource("DECLARE N INTEGER; BEGIN SELECT COUNT(*) FROM T1 WHERE X = 1 INTO :N; END");
    P.ParseObjectSource(&proc);
    EXPECT_EQ(test::DependText(&proc), "T1 T1.X");
    EXPECT_EQ(Messages(), "");
    EXPECT_EQ(P.Terminator, ";");
}

TEST_F(IbExParserSources, DomainsParseTheirCheckAndDefault) {
    P.Objs = &Objs;
    TDmnData plain(&Objs);
    plain.SetName("D_PLAIN");
    plain.TypeField->SetRare().CheckSource = "(VALUE > 0)";
    plain.TypeField->DefaultValue = "0";
    P.ParseObjectSource(&plain);
    EXPECT_EQ(plain.DependsOn.Count(), 0);

    TDmnData exists(&Objs);
    exists.SetName("D_EXISTS");
    exists.TypeField->SetRare().CheckSource = "(EXISTS (SELECT 1 FROM T WHERE T.ID = VALUE))";
    P.ParseObjectSource(&exists);
    EXPECT_EQ(test::DependText(&exists), "T T.ID");
    EXPECT_EQ(Messages(), "");
}

TEST_F(IbExParserSources, ObjectsWithoutABodyAreReported) {
    P.Objs = &Objs;
    P.ParseObjectSource(Objs.FindGenerator("G"));
    P.ParseObjectSource(nullptr);
    EXPECT_EQ(Messages(), "1:0 Body parsing for DB-Obj: (TGnrData) not implemented.\n"
                          "1:0 Expression / body parsing not implemented.\n");
}

TEST_F(IbExParserSources, AnErrorWithoutScriptNamesTheObject) {
    P.Objs = &Objs;
    TViwData view(&Objs);
    view.SetName("V_BAD");
    view.SetSource("SELECT ID FROM T WHERE QTY IS 5");
    P.ParseObjectSource(&view);
    ASSERT_EQ(P.MsgManager->Count(), 1);
    EXPECT_EQ(P.MsgManager->Items(0).Text, "View V_BAD: Must be: NULL/DISTINCT FROM.");
    EXPECT_EQ(P.MsgManager->Items(0).DbObj, &view);
}

} // namespace
} // namespace qnl

namespace qnl {
namespace {

std::string Repeat(const std::string& Piece, int Times) {
    std::string r;
    r.reserve(Piece.size() * static_cast<size_t>(Times));
    for (int i = 0; i < Times; ++i) r += Piece;
    return r;
}

// Bodies nested far deeper than anyone writes are refused with one message at the place that
// goes too deep; the statement after them is still read. Well under the limit they are read.
TEST(IbExParserGrammar, NestingBeyondTheLimitIsOneErrorNotACrash) {
    struct DeepCase {
        const char* What;
        std::string Body;  // one statement ending in "^"
        const char* Messages;
    };
    const auto view = [](const std::string& Where) { return "CREATE VIEW V AS SELECT ID FROM T WHERE " + Where + "^"; };
    const auto proc = [](const std::string& Body) { return "CREATE PROCEDURE P AS " + Body + "^"; };
    const DeepCase cases[] = {
        {"brackets", view(Repeat("(", 50000) + "1"), "11:1039 View V: Nested deeper than 1000 levels.\n"},
        {"COALESCE", view(Repeat("COALESCE(", 20000) + "1"), "11:9023 View V: Nested deeper than 1000 levels.\n"},
        {"NOT", view(Repeat("NOT ", 50000) + "1 = 1"), "11:8025 View V: Nested deeper than 1000 levels.\n"},
        {"signs", view("ID = " + Repeat("- ", 50000) + "1"), "11:2042 View V: Nested deeper than 1000 levels.\n"},
        {"subqueries", view(Repeat("EXISTS (SELECT 1 FROM T WHERE ", 20000) + "1 = 1"),
         "11:14996 View V: Nested deeper than 1000 levels.\n"},
        {"UNION", "CREATE VIEW V AS " + Repeat("SELECT ID FROM T UNION ", 50000) + "SELECT ID FROM T^",
         "11:22979 View V: Nested deeper than 1000 levels.\n"},
        {"BEGIN", proc(Repeat("BEGIN ", 50000)), "11:6023 Procedure P: Nested deeper than 1000 levels.\n"},
        {"CASE", proc("DECLARE X INTEGER; BEGIN X = " + Repeat("CASE WHEN 1 = 1 THEN ", 50000) + "1; END"),
         "11:20999 Procedure P: Nested deeper than 1000 levels.\n"},
        {"IF", proc("BEGIN " + Repeat("IF (1 = 1) THEN ", 50000) + "EXIT; END"),
         "11:16001 Procedure P: Nested deeper than 1000 levels.\n"},
    };
    for (const DeepCase& c : cases) {
        SCOPED_TRACE(c.What);
        TObjs objs;
        const std::string script =
            std::string(Schema) + "SET TERM ^ ;\n" + c.Body + "\nCREATE TABLE Z3 (A INTEGER)^\nSET TERM ; ^\n";
        EXPECT_EQ(test::ReadWithBodies(objs, script, "x.sql"), c.Messages);
        EXPECT_NE(objs.FindTable("Z3"), nullptr);
    }
    TObjs objs;
    const std::string deepButAllowed = std::string(Schema) + "CREATE VIEW V AS SELECT ID FROM T WHERE " +
                                       Repeat("(", 900) + "QTY = 1" + Repeat(")", 900) + ";\n";
    EXPECT_EQ(test::ReadWithBodies(objs, deepButAllowed, "x.sql"), "");
    EXPECT_EQ(test::DependText(objs.FindView("V")), "T T.ID T.QTY");
}

// Where the grammar fails inside a body, the statement ends where it ends for the plain reader:
// at its terminator, or after the END of its block; the next statement is read as it stands.
// A computed column, a check and an expression index need the columns they read, also when the
// table they belong to is still being made where they are written.
TEST(IbExParserGrammar, ExpressionsOfATableNeedTheColumnsTheyRead) {
    TObjs objs;
    const std::string script = std::string(Schema) +
                               "CREATE TABLE C (A INTEGER, B INTEGER, S COMPUTED BY (A + B), CONSTRAINT CK CHECK (A > B));\n"
                               "CREATE INDEX IX_C ON C COMPUTED BY (A * 2);\n"
                               "ALTER TABLE C ADD CONSTRAINT CK2 CHECK (B > 0);\n";
    EXPECT_EQ(test::ReadWithBodies(objs, script, "x.sql"), "");
    const TDbObj* table = objs.FindTable("C");
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(test::DependText(table->FindColumn("S")), "C.A C.B");
    EXPECT_EQ(test::DependText(objs.List(olConstraints).FindObj("CK")), "C C.A C.B");
    EXPECT_EQ(test::DependText(objs.List(olConstraints).FindObj("CK2")), "C C.B");
    EXPECT_EQ(test::DependText(objs.FindIndex("IX_C")), "C C.A");
}

TEST(IbExParserGrammar, AnErrorInsideABodyEndsAtItsOwnStatement) {
    struct ErrorCase {
        const char* Script;  // from line 10 on
        const char* Messages;
    };
    const ErrorCase cases[] = {
        {"CREATE VIEW V AS SELECT ID FROM T WHERE (ID = 1;\nCREATE TABLE Z3 (A INTEGER);\n",
         "10:48 View V: Missing: <)> (<Terminator>)\n"},
        {"CREATE TABLE C (A INTEGER CHECK ((A > 0));\nCREATE TABLE Z3 (A INTEGER);\n",
         "10:42 Missing: <)> (<Terminator>)\n"},
        {"CREATE TABLE C (A INTEGER, B COMPUTED BY ((A + ));\nCREATE TABLE Z3 (A INTEGER);\n",
         "10:48 Field C/B: Invalid factor in expression (<)>)\n"},
        {"CREATE PROCEDURE P AS BEGIN I = (1; END;\nCREATE TABLE Z3 (A INTEGER);\n",
         "10:35 Procedure P: Missing: <)> (<;>)\n"},
        {"SET TERM ^ ;\nCREATE PROCEDURE P AS BEGIN I = (1; END^\nCREATE TABLE Z3 (A INTEGER)^\nSET TERM ; ^\n",
         "11:35 Procedure P: Missing: <)> (<;>)\n"},
    };
    for (const ErrorCase& c : cases) {
        SCOPED_TRACE(c.Script);
        TObjs objs;
        EXPECT_EQ(test::ReadWithBodies(objs, std::string(Schema) + c.Script, "x.sql"), c.Messages);
        EXPECT_NE(objs.FindTable("Z3"), nullptr);
    }
}

} // namespace
} // namespace qnl
