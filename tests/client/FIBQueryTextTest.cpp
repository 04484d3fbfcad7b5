// The statement's parameter analysis without a server: which marks are parameters and macros,
// the text they expand to, and the errors of unreadable texts. The live tests send such texts to
// Firebird.
#include "client/FIBQuery.h"

#include "ErrorText.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace qnl {
namespace {

using test::ErrorText;

std::vector<std::string> ParamNames(TFIBQuery& Q) {
    std::vector<std::string> names;
    for (int i = 0; i < Q.Params().Count(); ++i)
        names.push_back((Q.Params()[i].IsMacro ? "@" : "") + Q.Params()[i].Name());
    return names;
}

TEST(FIBQueryText, WhichMarksAreParameters) {
    struct TCase {
        const char* Sql;
        std::vector<std::string> Names;   // macros with "@"
    };
    const TCase cases[] = {
        {"SELECT * FROM T WHERE A = :A AND B = :b OR C = ?C", {"A", "B", "C"}},
        {"SELECT ':X', \"Y:Z\", 'it''s :Q' FROM T WHERE A = :A", {"A"}},
        {"SELECT * FROM T /* :X ?Y */ WHERE A = :A -- :Z\n AND B = :B", {"A", "B"}},
        {"SELECT * FROM T WHERE A = :\"Mixed Case\"", {"Mixed Case"}},
        {"SELECT * FROM T WHERE A = :A AND B = :A", {"A", "A"}},
        // After the AS of a block its own variables are written with colons.
        {"EXECUTE BLOCK (X INTEGER = :X) AS DECLARE V INTEGER; BEGIN V = :X; END", {"X"}},
        {"EXECUTE BLOCK (HAS INTEGER = :P, ALIAS INTEGER = :Q)\nAS BEGIN HAS = :Q; END", {"P", "Q"}},
        {"CREATE PROCEDURE P (A INTEGER) AS BEGIN A = :A; END", {}},
        {"SELECT @@COLS%ID, S@ FROM @TAB WHERE ID = :ID", {"@COLS", "@TAB", "ID"}},
        {"SELECT 1 FROM RDB$DATABASE", {}},
    };
    for (const TCase& c : cases) {
        TFIBQuery q;
        q.SQL().SetText(c.Sql);
        EXPECT_EQ(ParamNames(q), c.Names) << c.Sql;
    }
}

TEST(FIBQueryText, ExpansionOfMacrosAndNullComparisons) {
    struct TCase {
        const char* Sql;
        std::function<void(TFIBQuery&)> Set;   // parameters not set stay null
        const char* Expanded;                  // without the final line break
    };
    auto noForceIsNull = [](TFIBQuery& Q) { Q.SetOptions(SetOf<TpFIBQueryOptions>(qoNoForceIsNull)); };
    const TCase cases[] = {
        {"SELECT * FROM T WHERE B = :P", nullptr, "SELECT * FROM T WHERE B  IS NULL "},
        {"SELECT * FROM T WHERE B<>:P AND C != :Q", nullptr, "SELECT * FROM T WHERE B IS NOT NULL  AND C  IS NOT NULL "},
        {"SELECT * FROM T WHERE (B = :P) ORDER BY B", nullptr, "SELECT * FROM T WHERE (B  IS NULL ) ORDER BY B"},
        {"SELECT * FROM T WHERE B = :P", [](TFIBQuery& Q) { Q.ParamByName("P").SetAsInteger(1); },
         "SELECT * FROM T WHERE B = :P"},
        {"SELECT * FROM T WHERE B = :P", noForceIsNull, "SELECT * FROM T WHERE B = :P"},
        // Not an equality, not standing alone, not in a WHERE clause, or in brackets of its own.
        {"SELECT * FROM T WHERE B >= :P", nullptr, "SELECT * FROM T WHERE B >= :P"},
        {"SELECT * FROM T WHERE B = :P + 1", nullptr, "SELECT * FROM T WHERE B = :P + 1"},
        {"SELECT :P FROM T", nullptr, "SELECT :P FROM T"},
        {"SELECT * FROM T WHERE B = (:P)", nullptr, "SELECT * FROM T WHERE B = (:P)"},
        {"SELECT * FROM T WHERE B IN (SELECT X FROM L WHERE Y = :P) AND C = :Q", nullptr,
         "SELECT * FROM T WHERE B IN (SELECT X FROM L WHERE Y  IS NULL ) AND C  IS NULL "},
        {"SELECT * FROM T WHERE B = :P GROUP BY B HAVING COUNT(*) = :Q", nullptr,
         "SELECT * FROM T WHERE B  IS NULL  GROUP BY B HAVING COUNT(*) = :Q"},
        // Macros: the value, else the default; "#" asks for quotes unless the value has them.
        {"SELECT * FROM @TAB", [](TFIBQuery& Q) { Q.ParamByName("TAB").SetAsString("T1"); }, "SELECT * FROM T1"},
        {"SELECT @@COLS%ID, S@ FROM T", nullptr, "SELECT ID, S FROM T"},
        {"SELECT * FROM T WHERE S = @@V%#x@", nullptr, "SELECT * FROM T WHERE S = 'x'"},
        {"SELECT * FROM T WHERE S = @@V%#x@", [](TFIBQuery& Q) { Q.ParamByName("V").SetAsString("'y'"); },
         "SELECT * FROM T WHERE S = 'y'"},
        {"SELECT * FROM T @@W@", nullptr, "SELECT * FROM T "},
        {"SELECT * FROM @TAB WHERE B = :P", [](TFIBQuery& Q) { Q.ParamByName("TAB").SetAsString("LONGER_NAME"); },
         "SELECT * FROM LONGER_NAME WHERE B  IS NULL "},
    };
    for (const TCase& c : cases) {
        TFIBQuery q;
        q.SQL().SetText(c.Sql);
        if (c.Set) c.Set(q);
        EXPECT_EQ(q.ExpandedSQLText(), std::string(c.Expanded) + "\r\n") << c.Sql;
    }
}

TEST(FIBQueryText, UnreadableTextsAndMissingNames) {
    TComponent form;
    form.SetName("Form1");
    TFIBQuery q(&form);
    q.SetName("Q");
    const std::string head = "SQL Parse Error in :Form1.Q \r\n\r\n";
    EXPECT_EQ(ErrorText<EFIBClientError>([&] { q.SQL().SetText("SELECT * FROM T WHERE A = : A"); }),
              head + "Parameter name expected");
    EXPECT_EQ(ErrorText<EFIBClientError>([&] { q.SQL().SetText("INSERT INTO T VALUES (?, ?)"); }),
              head + "Parameter name expected");
    EXPECT_EQ(ErrorText<EFIBClientError>([&] { q.SQL().SetText("SELECT * FROM T WHERE A = :A /* open"); }),
              head + "EOF in comment detected");
    EXPECT_EQ(ErrorText<EFIBClientError>([&] { q.SQL().SetText("SELECT * FROM T WHERE A = :A AND B = 'open"); }),
              head + "EOF in string detected");
    EXPECT_EQ(ErrorText<EFIBClientError>([&] { q.SQL().SetText("SELECT * FROM T WHERE B = q'{open' = :A"); }),
              head + "EOF in string detected");
    // A Q string holds quotes and colons; a parameter after it is found.
    q.SQL().SetText("SELECT Q'{it's :X}' FROM T WHERE A = :P AND B = q'!:Y'!'");
    ASSERT_EQ(q.Params().Count(), 1);
    EXPECT_EQ(q.Params()[0].Name(), "P");
    // Without the parameter check the text goes as it is.
    q.SetParamCheck(false);
    q.SQL().SetText("INSERT INTO T VALUES (?, ?)");
    EXPECT_EQ(q.Params().Count(), 0);
    EXPECT_EQ(q.ProcessedSQL(), "INSERT INTO T VALUES (?, ?)\r\n");
    q.SQL().SetText("SELECT * FROM T WHERE A = :A AND B = :B");
    q.SetParamCheck(true);

    EXPECT_EQ(ErrorText<Exception>([&] { q.ParamByName("C"); }), "Parameter \"C\" does not exist in Form1.Q");
    EXPECT_EQ(ErrorText<Exception>([&] { q.SetParamValues("A;B", {Variant(1), Variant(2), Variant(3)}); }),
              "procedure Form1.Q.SetParamValues. Parameters count is not equel count of parameter values");
    EXPECT_TRUE(q.ParamByName("A").GetIsNull());   // nothing was set
    q.SetParamValues("B; A", {Variant(2), Variant(1)});
    EXPECT_EQ(q.ParamByName("A").GetAsInteger(), 1);
    EXPECT_EQ(q.ParamByName("B").GetAsInteger(), 2);
    // Values survive a new text for the names it keeps.
    q.SQL().SetText("SELECT * FROM T WHERE B = :B");
    EXPECT_EQ(q.ParamByName("B").GetAsInteger(), 2);
}

// Field sources as the data sets offer them: fields with current and old values.
class TFieldSource : public ISQLObject {
public:
    std::vector<std::string> Names;
    std::vector<Variant> Values, OldValues;
    int ParamCount() override { return 0; }
    std::string ParamName(int) override { return {}; }
    int FieldsCount() override { return static_cast<int>(Names.size()); }
    bool FieldExist(const std::string& Name, int& Index) override {
        for (Index = 0; Index < FieldsCount(); ++Index)
            if (Names[static_cast<size_t>(Index)] == Name) return true;
        Index = -1;
        return false;
    }
    bool ParamExist(const std::string&, int& Index) override { return Index = -1, false; }
    Variant FieldValue(const std::string&, bool) override { return {}; }
    Variant FieldValue(int Index, bool Old) override { return (Old ? OldValues : Values)[static_cast<size_t>(Index)]; }
    Variant ParamValue(const std::string&) override { return {}; }
    Variant ParamValue(int) override { return {}; }
    void SetParamValue(int, const Variant&) override {}
    std::string FieldName(int Index) override { return Names[static_cast<size_t>(Index)]; }
    bool IEof() override { return true; }
    void INext() override {}
};

TEST(FIBQueryText, ParametersFromFieldSources) {
    TFIBQuery target;
    target.SQL().SetText("UPDATE T SET S = :NEW_S, B = :B WHERE ID = :OLD_ID");
    TFieldSource first, second;
    first.Names = {"S", "ID"};
    first.Values = {Variant("new"), Variant(5)};
    first.OldValues = {Variant("old"), Variant(4)};
    second.Names = {"S"};
    second.Values = {Variant("last")};
    second.OldValues = {Variant("x")};
    AssignParamsFromFieldSources(target, {&first, nullptr, &second});
    EXPECT_EQ(target.ParamByName("NEW_S").GetAsString(), "last");   // the last source that answers
    EXPECT_TRUE(target.ParamByName("B").GetIsNull());
    EXPECT_EQ(target.ParamByName("OLD_ID").GetAsInteger(), 4);
}

} // namespace
} // namespace qnl
