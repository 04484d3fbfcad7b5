// Procedure and function scripts run on real Firebird 3 databases. The master is built in code,
// the target is read from the database through the database reader; after the script has run,
// the catalogue must hold the master's routines and a second comparison must write no DDL.
#include "tests/objects/RoutineCatalogue.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace qnl::test {
namespace {

using Routines = std::vector<RoutineDef>;
using Exceptions = std::vector<std::pair<std::string, std::string>>;

void Fill(TObjs& Objs, const Routines& R, const Exceptions& E) {
    for (const auto& [name, message] : E) {
        auto* e = new TExcData(&Objs);
        e->Name = name;
        e->Message = message;
        Objs.AddDbObject(e);
    }
    AddRoutines(Objs, R);
}

std::string Normalized(const std::string& Body) { return NormalizeLineBreaks(Body); }

// The catalogue's routines equal the master's: kind, parameters, body and what the body uses.
void ExpectSameRoutines(const Routines& Actual, Routines Expected) {
    std::sort(Expected.begin(), Expected.end(), [](const RoutineDef& a, const RoutineDef& b) { return a.Name < b.Name; });
    ASSERT_EQ(Actual.size(), Expected.size());
    for (size_t i = 0; i < Actual.size(); ++i) {
        const RoutineDef& a = Actual[i];
        const RoutineDef& e = Expected[i];
        EXPECT_EQ(a.Name, e.Name);
        EXPECT_EQ(a.Function, e.Function) << a.Name;
        EXPECT_EQ(a.In, e.In) << a.Name;
        EXPECT_EQ(a.Out, e.Out) << a.Name;
        EXPECT_EQ(Normalized(a.Body), Normalized(e.Body)) << a.Name;
        std::vector<std::string> au = a.Uses, eu = e.Uses;
        std::sort(au.begin(), au.end());
        std::sort(eu.begin(), eu.end());
        EXPECT_EQ(au, eu) << a.Name;
    }
}

// Compares the database with the master, runs the script and checks the result; answers the
// statements and comments written (FirebirdComparison::Flow).
std::string BringToMaster(const TempDatabase& Db, const Routines& Master, const Exceptions& MasterExceptions = {}) {
    std::string script;
    {
        FirebirdComparison c(Db.Path());
        Fill(*c.master.Objs(), Master, MasterExceptions);
        c.ReadTarget();
        c.q.Compare();
        EXPECT_TRUE(c.errors.empty());
        script = c.Flow();
        std::string out;
        EXPECT_EQ(RunConnectingScript(Db, c.Script() + "COMMIT;\n", out), 0) << c.Script() << out;
    }
    ExpectSameRoutines(ReadRoutines(Db), Master);
    EXPECT_EQ(ReadExceptions(Db), MasterExceptions);

    FirebirdComparison again(Db.Path());
    Fill(*again.master.Objs(), Master, MasterExceptions);
    again.ReadTarget();
    again.q.Compare();
    EXPECT_EQ(again.Statements(), HeaderOnly(Db.Path()))
        << again.Script();
    return script;
}

TEST(ProcedureFirebird, CallerOfAChangedParameterListIsEmptiedAndANewCallerStartsAsAStub) {
    TempDatabase db(
        "SET TERM ^ ;\n"
        "CREATE PROCEDURE A (X INTEGER) RETURNS (R INTEGER) AS\nBEGIN\n  R = X;\n  SUSPEND;\nEND^\n"
        "CREATE PROCEDURE B (X INTEGER) RETURNS (R INTEGER) AS\nBEGIN\n  SELECT R FROM A(:X) INTO :R;\n  SUSPEND;\nEND^\n"
        "CREATE PROCEDURE A0 (X INTEGER) RETURNS (R INTEGER) AS\nBEGIN\n  SELECT R FROM B(:X) INTO :R;\n  SUSPEND;\nEND^\n"
        "SET TERM ; ^\n");
    const Routines master{
        // A0 is the same on both sides, but B changes after A0's turn in the alter pass.
        {"A0", false, {"X"}, {"R"}, "BEGIN\n  SELECT R FROM B(:X) INTO :R;\n  SUSPEND;\nEND", {"B"}},
        {"A", false, {"X", "Y"}, {"R"}, "BEGIN\n  R = X + Y;\n  SUSPEND;\nEND", {}},
        {"B", false, {"X"}, {"R"}, "BEGIN\n  SELECT R FROM A(:X, 2) INTO :R;\n  SUSPEND;\nEND", {"A"}},
        {"C", false, {"X"}, {"R"}, "BEGIN\n  SELECT R FROM B(:X) INTO :R;\n  SUSPEND;\nEND", {"B"}},
    };
    const std::string s = BringToMaster(db, master);
    // C is created as a stub, B loses its call of A(X) before A changes, A gets its new
    // parameter list with an empty body, then the full texts, and C's body is restored.
    const size_t stubC = At(s, "/* Create Procedure... */\nCREATE PROCEDURE C(X INTEGER)\n RETURNS(R INTEGER)\n AS\n BEGIN SUSPEND; END\n");
    const size_t emptyB = At(s, "/*  Empty B for A(param list change)  */\nALTER PROCEDURE B(X INTEGER)\n RETURNS(R INTEGER)\n AS\nBEGIN SUSPEND; END\n");
    const size_t stubA = At(s, "/* Alter empty procedure A with new param-list */\nALTER PROCEDURE A(X INTEGER,\nY INTEGER)\n RETURNS(R INTEGER)\n AS\n BEGIN SUSPEND; END\n");
    const size_t fullA = At(s, "/* Alter (A) */\nALTER PROCEDURE A(X INTEGER,\nY INTEGER)\n RETURNS(R INTEGER)\n AS\nBEGIN\n  R = X + Y;");
    const size_t fullB = At(s, "/* Alter (B) */\nALTER PROCEDURE B(X INTEGER)\n RETURNS(R INTEGER)\n AS\nBEGIN\n  SELECT R FROM A(:X, 2)");
    const size_t restoreC = At(s, "/* Restore proc. body: C */\nALTER PROCEDURE C(X INTEGER)\n RETURNS(R INTEGER)\n AS\nBEGIN\n");
    EXPECT_LT(stubC, emptyB);
    EXPECT_LT(emptyB, stubA);
    EXPECT_LT(stubA, fullA);
    EXPECT_LT(fullA, fullB);
    EXPECT_LT(fullB, restoreC);
    // A0 is emptied while B changes and restored once: the second alter pass finds it done.
    const size_t clearA0 = At(s, "/* empty dependent procedure body */\n/* Clear: A0 for: B */\nALTER PROCEDURE A0(X INTEGER)\n RETURNS(R INTEGER)\n AS\nBEGIN SUSPEND; END\n");
    EXPECT_LT(clearA0, fullB);
    EXPECT_LT(fullB, At(s, "/* Restore proc. body: A0 */\nALTER PROCEDURE A0(X INTEGER)\n RETURNS(R INTEGER)\n AS\nBEGIN\n  SELECT R FROM B(:X)"));
    EXPECT_EQ(Count(s, "ALTER PROCEDURE A0"), 2u) << s;
}

TEST(ProcedureFirebird, RoutinesCallingEachOtherTargetOnlyCallersAndAnExceptionInUse) {
    TempDatabase db(
        "CREATE EXCEPTION E 'gone';\n"
        "SET TERM ^ ;\n"
        "CREATE PROCEDURE X AS\nBEGIN\n  EXIT;\nEND^\n"
        "CREATE PROCEDURE Y AS\nBEGIN\n  EXECUTE PROCEDURE X;\nEND^\n"
        "CREATE PROCEDURE K (N INTEGER) AS\nBEGIN\n  IF (N < 0) THEN EXCEPTION E;\nEND^\n"
        "SET TERM ; ^\n");
    const Routines master{
        // P and Q call each other; both are new.
        {"P", false, {"N"}, {}, "BEGIN\n  IF (N > 0) THEN EXECUTE PROCEDURE Q(N - 1);\nEND", {"Q"}},
        {"Q", false, {"N"}, {}, "BEGIN\n  IF (N > 0) THEN EXECUTE PROCEDURE P(N - 1);\nEND", {"P"}},
        {"K", false, {"N"}, {}, "BEGIN\n  IF (N < 0) THEN EXIT;\nEND", {}},
    };
    const std::string s = BringToMaster(db, master);
    // Y still calls X: it is emptied before the two are dropped. K loses its use of E before
    // E goes, and gets the master's body back. P and Q start as stubs.
    const size_t emptyY = At(s, "/* Alter Procedure (Before Drop)... */\nALTER PROCEDURE Y AS\nBEGIN EXIT; END\n");
    const size_t dropX = At(s, "/* Drop Procedure... */\nDROP PROCEDURE X\n");
    const size_t dropY = At(s, "DROP PROCEDURE Y\n");
    const size_t emptyK = At(s, "ALTER PROCEDURE K(N INTEGER)\n AS\nBEGIN EXIT; END\n");
    const size_t dropE = At(s, "DROP EXCEPTION E\n");
    const size_t fullK = At(s, "/* Alter (K) */\nALTER PROCEDURE K(N INTEGER)\n AS\nBEGIN\n  IF (N < 0) THEN EXIT;");
    EXPECT_LT(emptyY, dropX);
    EXPECT_LT(dropX, dropY);
    EXPECT_LT(dropY, emptyK);
    EXPECT_LT(emptyK, dropE);
    EXPECT_LT(dropE, fullK);
    EXPECT_LT(At(s, "CREATE PROCEDURE P(N INTEGER)\n AS\n BEGIN EXIT; END\nCREATE PROCEDURE Q(N INTEGER)\n AS\n BEGIN EXIT; END\n"),
              At(s, "/* Restore proc. body: P */\nALTER PROCEDURE P(N INTEGER)\n AS\nBEGIN\n  IF (N > 0) THEN EXECUTE PROCEDURE Q(N - 1);"));
    At(s, "/* Restore proc. body: Q */");
}

TEST(ProcedureFirebird, FunctionsLikewise) {
    TempDatabase db(
        "CREATE EXCEPTION FE 'bad';\n"
        "SET TERM ^ ;\n"
        "CREATE FUNCTION FA (X INTEGER) RETURNS INTEGER AS\nBEGIN\n  RETURN X;\nEND^\n"
        "CREATE FUNCTION FB (X INTEGER) RETURNS INTEGER AS\nBEGIN\n  RETURN FA(X);\nEND^\n"
        "CREATE FUNCTION FX (X INTEGER) RETURNS INTEGER AS\nBEGIN\n  RETURN X;\nEND^\n"
        "CREATE FUNCTION FY (X INTEGER) RETURNS INTEGER AS\nBEGIN\n  RETURN FX(X);\nEND^\n"
        "CREATE FUNCTION FK (X INTEGER) RETURNS INTEGER AS\nBEGIN\n  IF (X < 0) THEN EXCEPTION FE;\n  RETURN X;\nEND^\n"
        // A procedure that becomes a function.
        "CREATE PROCEDURE SWAP (X INTEGER) AS\nBEGIN\n  EXIT;\nEND^\n"
        "SET TERM ; ^\n");
    const Routines master{
        {"FA", true, {"X", "Y"}, {""}, "BEGIN\n  RETURN X + Y;\nEND", {}},
        {"FB", true, {"X"}, {""}, "BEGIN\n  RETURN FA(X, 2);\nEND", {"FA"}},
        {"FC", true, {"X"}, {""}, "BEGIN\n  RETURN FB(X) + FD(X);\nEND", {"FB", "FD"}},
        {"FD", true, {"X"}, {""}, "BEGIN\n  IF (X > 0) THEN RETURN FC(X - 1);\n  RETURN 0;\nEND", {"FC"}},
        {"FK", true, {"X"}, {""}, "BEGIN\n  RETURN -X;\nEND", {}},
        {"SWAP", true, {"X"}, {""}, "BEGIN\n  RETURN X;\nEND", {}},
    };
    const std::string s = BringToMaster(db, master);
    EXPECT_LT(At(s, "/*  Empty FB for FA(param list change)  */\nALTER FUNCTION FB(X INTEGER)\n RETURNS INTEGER\n AS\nBEGIN RETURN NULL; END\n"),
              At(s, "ALTER FUNCTION FA(X INTEGER,\nY INTEGER)\n RETURNS INTEGER\n AS\n BEGIN RETURN NULL; END\n"));
    EXPECT_LT(At(s, "CREATE FUNCTION FC(X INTEGER)\n RETURNS INTEGER\n AS\n BEGIN RETURN NULL; END\n"),
              At(s, "/* Restore proc. body: FC */"));
    EXPECT_LT(At(s, "ALTER FUNCTION FY(X INTEGER)\n RETURNS INTEGER\n AS\nBEGIN RETURN NULL; END\n"),
              At(s, "DROP FUNCTION FX\n"));
    EXPECT_LT(At(s, "ALTER FUNCTION FK(X INTEGER)\n RETURNS INTEGER\n AS\nBEGIN RETURN NULL; END\n"),
              At(s, "DROP EXCEPTION FE\n"));
    // A procedure that became a function is dropped and created whole, once, and not altered.
    EXPECT_LT(At(s, "DROP PROCEDURE SWAP\n"), At(s, "CREATE FUNCTION SWAP(X INTEGER)\n RETURNS INTEGER\n AS\nBEGIN\n  RETURN X;"));
    EXPECT_EQ(s.find("DROP PROCEDURE SWAP"), s.rfind("DROP PROCEDURE SWAP")) << s;
    EXPECT_EQ(s.find("ALTER FUNCTION SWAP"), std::string::npos) << s;
}

} // namespace
} // namespace qnl::test
