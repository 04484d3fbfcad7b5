// The texts of defaults, collations, rules and packages in every dialect, case by case, and the
// passes that match them by key.
#include "objects/qnlComp_Def.h"
#include "objects/qnlComp_Pkg.h"
#include "objects/qnlComp_Rul.h"
#include "tests/objects/CompareKit.h"
#include "tests/objects/ObjectsKit.h"

#include <gtest/gtest.h>

#include <functional>
#include <ostream>

using namespace qnl;
using namespace qnl::test;

namespace {

enum class Text { Create, Compare, Drop, Header, Body };

struct Case {
    const char* What;
    TServerType Server;
    TIBSQLServerVersionType Version;
    std::function<std::unique_ptr<TDbObj>(TObjs&)> Make;
    Text Kind;
    const char* Expected;
};

template <class K>
std::unique_ptr<TDbObj> Make(TObjs& O, const std::string& Name, const std::function<void(K&)>& Fill) {
    auto k = std::make_unique<K>(&O);
    k->Name = Name;
    Fill(*k);
    return k;
}

auto Default(const std::string& Name, const std::string& Value) {
    return [=](TObjs& O) { return Make<TDefData>(O, Name, [&](TDefData& d) { d.Value = Value; }); };
}

auto Collation(const std::function<void(TCltData&)>& Fill) {
    return [=](TObjs& O) {
        return Make<TCltData>(O, "CO", [&](TCltData& c) {
            c.CharacterSet = "UTF8";
            Fill(c);
        });
    };
}

auto Rule(const std::string& Name, const std::function<void(TRulData&)>& Fill) {
    return [=](TObjs& O) { return Make<TRulData>(O, Name, Fill); };
}

auto Package(const std::string& Name, const std::string& Body) {
    return [=](TObjs& O) {
        return Make<TPkgData>(O, Name, [&](TPkgData& p) {
            p.HeaderSource = "BEGIN\r\n  FUNCTION G RETURNS INTEGER;\r\nEND";
            p.SetSource(Body);
        });
    };
}

const char* const PkgBody = "BEGIN\r\n  FUNCTION G RETURNS INTEGER AS BEGIN RETURN 1; END\r\nEND";
const TIBSQLServerVersionType FB30 = st_Firebird_30;

const Case Cases[] = {
    // ---- defaults ----
    {"MSSQL default", stMSSQL, FB30, Default("D", "0"), Text::Create, "CREATE DEFAULT [D] AS 0"},
    {"MSSQL default doubles a bracket in its name", stMSSQL, FB30, Default("a]b", "0"), Text::Create,
     "CREATE DEFAULT [a]]b] AS 0"},
    {"MSSQL default without a value", stMSSQL, FB30, Default("D", ""), Text::Create, ""},
    {"other dialects' default", stPostgreSQL, FB30, Default("d", "1"), Text::Create, "CREATE DEFAULT d AS 1"},
    {"default drop", stMSSQL, FB30, Default("D", "0"), Text::Drop, "/* Drop: D (TDefData) */\r\nDROP DEFAULT D"},
    // ---- collations ----
    {"collation with the defaults", stInterBase, FB30, Collation([](TCltData&) {}), Text::Create,
     "CREATE COLLATION CO\r\nFOR UTF8\r\nNO PAD\r\nCASE SENSITIVE\r\nACCENT SENSITIVE\r\n"},
    {"collation from a base with attributes", stInterBase, FB30,
     Collation([](TCltData& c) {
         c.BaseCollation = "UNICODE";
         c.ExternalName = "IGNORED";
         c.PadSpace = true;
         c.CaseSensitive = false;
         c.AccentSensitive = false;
         c.Attributes = "NUMERIC-SORT=1";
     }),
     Text::Create,
     "CREATE COLLATION CO\r\nFOR UTF8\r\nFROM UNICODE\r\nPAD SPACE\r\nCASE INSENSITIVE\r\nACCENT INSENSITIVE\r\n"
     "'NUMERIC-SORT=1'\r\n"},
    {"collation from an external name", stInterBase, FB30, Collation([](TCltData& c) { c.ExternalName = "PT'BR"; }),
     Text::Create, "CREATE COLLATION CO\r\nFOR UTF8\r\nFROM EXTERNAL('PT''BR')\r\nNO PAD\r\nCASE SENSITIVE\r\nACCENT SENSITIVE\r\n"},
    {"collation compared without the library version", stInterBase, FB30,
     Collation([](TCltData& c) { c.Attributes = "COLL-VERSION=153.120;NUMERIC-SORT=1"; }), Text::Compare,
     "CREATE COLLATION CO\r\nFOR UTF8\r\nNO PAD\r\nCASE SENSITIVE\r\nACCENT SENSITIVE\r\n'NUMERIC-SORT=1'\r\n"},
    {"collation with only the library version", stInterBase, FB30,
     Collation([](TCltData& c) { c.Attributes = "COLL-VERSION=58.0.0.50"; }), Text::Compare,
     "CREATE COLLATION CO\r\nFOR UTF8\r\nNO PAD\r\nCASE SENSITIVE\r\nACCENT SENSITIVE\r\n"},
    // The catalogue keeps FROM UNICODE as it keeps FROM EXTERNAL ('UNICODE').
    {"collation from a base compared as from its external name", stInterBase, FB30,
     Collation([](TCltData& c) { c.BaseCollation = "UNICODE"; }), Text::Compare,
     "CREATE COLLATION CO\r\nFOR UTF8\r\nFROM EXTERNAL('UNICODE')\r\nNO PAD\r\nCASE SENSITIVE\r\nACCENT SENSITIVE\r\n"},
    {"collation for another dialect", stPostgreSQL, FB30, Collation([](TCltData&) {}), Text::Create, ""},
    {"collation drop", stInterBase, FB30, Collation([](TCltData&) {}), Text::Drop,
     "/* Drop: CO (TCltData) */\r\nDROP COLLATION CO"},
    // ---- rules ----
    {"MSSQL rule doubles a bracket in its name", stMSSQL, FB30, Rule("r]", [](TRulData& r) { r.Body = "@v > 0"; }),
     Text::Create, "CREATE RULE [r]]] AS @v > 0"},
    {"MSSQL rule without a body", stMSSQL, FB30, Rule("r", [](TRulData&) {}), Text::Create, ""},
    {"PG rule instead of an insert, doing nothing", stPostgreSQL, FB30,
     Rule("r",
          [](TRulData& r) {
              r.RuleEvent = reInsert;
              r.TableSchema = "s";
              r.TableName = "t";
              r.DoKind = "INSTEAD";
              r.DoNothing = true;
          }),
     Text::Create, "CREATE RULE r AS ON INSERT TO s.t DO INSTEAD NOTHING"},
    {"PG rule with a command", stPostgreSQL, FB30,
     Rule("r",
          [](TRulData& r) {
              r.RuleEvent = reSelect;
              r.TableName = "t";
              r.Body = "SELECT * FROM u";
          }),
     Text::Create, "CREATE RULE r AS ON SELECT TO t DO\r\n SELECT * FROM u"},
    {"PG rule drop", stPostgreSQL, FB30,
     Rule("r",
          [](TRulData& r) {
              r.Schema = "s";
              r.TableName = "t";
          }),
     Text::Drop, "DROP RULE IF EXISTS r ON s.t"},
    {"other dialects' rule", stOracle, FB30, Rule("R", [](TRulData& r) { r.Body = "X > 0"; }), Text::Create,
     "CREATE RULE R AS X > 0"},
    // ---- packages ----
    {"Firebird 3 package header", stInterBase, FB30, Package("PK", PkgBody), Text::Header,
     "CREATE OR ALTER PACKAGE PK\r\n    AS\r\nBEGIN\r\n  FUNCTION G RETURNS INTEGER;\r\nEND"},
    {"Firebird 4 package body", stInterBase, st_Firebird_40, Package("PK", PkgBody), Text::Body,
     "RECREATE PACKAGE BODY PK\r\n    AS\r\nBEGIN\r\n  FUNCTION G RETURNS INTEGER AS BEGIN RETURN 1; END\r\nEND"},
    {"package name quoted", stInterBase, FB30, Package("pk2", ""), Text::Header,
     "CREATE OR ALTER PACKAGE \"pk2\"\r\n    AS\r\nBEGIN\r\n  FUNCTION G RETURNS INTEGER;\r\nEND"},
    {"package CREATE text joins header and body", stInterBase, FB30, Package("PK", PkgBody), Text::Create,
     "CREATE OR ALTER PACKAGE PK\r\n    AS\r\nBEGIN\r\n  FUNCTION G RETURNS INTEGER;\r\nEND\r\n^\r\n\r\n"
     "RECREATE PACKAGE BODY PK\r\n    AS\r\nBEGIN\r\n  FUNCTION G RETURNS INTEGER AS BEGIN RETURN 1; END\r\nEND"},
    {"package without body", stInterBase, FB30, Package("PK", ""), Text::Create,
     "CREATE OR ALTER PACKAGE PK\r\n    AS\r\nBEGIN\r\n  FUNCTION G RETURNS INTEGER;\r\nEND"},
    {"Oracle package", stOracle, FB30, Package("PK", PkgBody), Text::Create,
     "CREATE OR REPLACE PACKAGE PK\r\nBEGIN\r\n  FUNCTION G RETURNS INTEGER;\r\nEND\r\n/\r\n\r\n"
     "CREATE OR REPLACE PACKAGE BODY PK\r\nBEGIN\r\n  FUNCTION G RETURNS INTEGER AS BEGIN RETURN 1; END\r\nEND"},
    {"package before Firebird 3 takes the Oracle form", stInterBase, st_Firebird_25, Package("PK", ""), Text::Header,
     "CREATE OR REPLACE PACKAGE PK\r\nBEGIN\r\n  FUNCTION G RETURNS INTEGER;\r\nEND"},
    {"package drop", stInterBase, FB30, Package("pk2", ""), Text::Drop, "DROP PACKAGE \"pk2\""},
};

void PrintTo(const Case& C, std::ostream* Os) { *Os << C.What; }

class KindText : public ::testing::TestWithParam<Case> {};

TEST_P(KindText, Is) {
    const Case& c = GetParam();
    OneSide side(c.Server, c.Version);
    std::unique_ptr<TDbObj> obj = c.Make(side.Objs());
    std::string text;
    switch (c.Kind) {
    case Text::Create: text = obj->GetCreateSQL(); break;
    case Text::Compare: text = obj->GetCompareSQL(); break;
    case Text::Drop: text = obj->GetDropSQL(); break;
    case Text::Header: text = dynamic_cast<TPkgData&>(*obj).GetHeaderSQL(); break;
    case Text::Body: text = dynamic_cast<TPkgData&>(*obj).GetBodySQL(); break;
    }
    EXPECT_EQ(text, c.Expected) << c.What;
}

INSTANTIATE_TEST_SUITE_P(Dialects, KindText, ::testing::ValuesIn(Cases),
                         [](const ::testing::TestParamInfo<Case>& I) { return "case" + std::to_string(I.index); });

// Every statement's text trimmed (a closing section comment becomes empty), from the first
// statement holding From on.
std::vector<std::string> TrimmedFrom(const Comparison& C, const std::string& From) {
    std::vector<std::string> r;
    for (const std::string& t : C.All())
        if (!r.empty() || Trim(t) == From) r.push_back(Trim(t));
    return r;
}

template <class K>
K* File(TObjs& O, std::unique_ptr<TDbObj> Obj) {
    K* k = dynamic_cast<K*>(Obj.release());
    O.AddDbObject(k);
    return k;
}

// Defaults of an MSSQL target: created, dropped and created again when changed, left alone when
// equal, dropped when the master lacks them (late in the script), each pass in its own section.
TEST(KeyedPasses, MSSQLDefaults) {
    Comparison c(stMSSQL);
    File<TDefData>(c.M(), Default("NEW", "0")(c.M()));
    File<TDefData>(c.M(), Default("SAME", "1")(c.M()));
    File<TDefData>(c.T(), Default("SAME", "1")(c.T()));
    File<TDefData>(c.M(), Default("CHANGED", "2")(c.M()));
    File<TDefData>(c.T(), Default("CHANGED", "3")(c.T()));
    File<TDefData>(c.T(), Default("OLD", "4")(c.T()));
    c.Run();
    EXPECT_EQ(TrimmedFrom(c, "/* Create Default... */"),
              (std::vector<std::string>{"/* Create Default... */", "CREATE DEFAULT [NEW] AS 0", "",
                                        "/* Alter Default... */", "/* Drop: CHANGED (TDefData) */\r\nDROP DEFAULT CHANGED",
                                        "CREATE DEFAULT [CHANGED] AS 2", "", "/* Drop Default... */",
                                        "/* Drop: OLD (TDefData) */\r\nDROP DEFAULT OLD", ""}));
}

// Equal collations write nothing, also when only the library version in their attributes
// differs; a changed one that a column of the target uses is kept with a warning.
TEST(KeyedPasses, CollationsInUseAreKept) {
    Comparison c;
    auto both = [&](const std::string& Name, const std::string& MasterAttrs, const std::string& TargetAttrs) {
        for (auto [side, attrs] : {std::pair{&c.M(), MasterAttrs}, std::pair{&c.T(), TargetAttrs}}) {
            auto* k = new TCltData(side);
            k->Name = Name;
            k->CharacterSet = "UTF8";
            k->BaseCollation = "UNICODE";
            k->Attributes = attrs;
            side->AddDbObject(k);
        }
    };
    both("SAME", "NUMERIC-SORT=1", "COLL-VERSION=153.120;NUMERIC-SORT=1");
    both("USED", "", "COLL-VERSION=153.120;NUMERIC-SORT=1");
    for (TObjs* side : {&c.M(), &c.T()}) {
        TTblData* t = AddTable(*side, "T");
        AddCol(t, "C", dtVarChar, 10).CollationName = "USED";
    }
    c.Run();
    EXPECT_EQ(TrimmedFrom(c, "/* Alter Collation... */"),
              (std::vector<std::string>{"/* Alter Collation... */",
                                        "/* WARNING: collation USED differs from the master's but is in use; it is "
                                        "not dropped and created again */",
                                        ""}));
}

} // namespace
