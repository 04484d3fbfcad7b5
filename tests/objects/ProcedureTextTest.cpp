// The texts of routines in every dialect: parameter lists, heads, CREATE, ALTER and DROP, the
// placeholder bodies and the stubs, case by case.
#include "ObjectsKit.h"
#include "objects/qnlComp_Prc.h"

#include <gtest/gtest.h>

#include <functional>
#include <ostream>

using namespace qnl;
using namespace qnl::test;

namespace {

enum class Text { Create, Alter, Drop, Stub, StubAlter, Empty, Params, ParamsNoReturns, Key, Description };

struct Case {
    const char* What;
    TServerType Server;
    std::function<void(TPrcData&)> Fill;
    Text Kind;
    const char* Expected;
};

TFldData* In(TPrcData& P, const std::string& Name, uint8_t Type = dtInteger) { return P.AddInputParam(Name, Type); }
TFldData* Out(TPrcData& P, const std::string& Name, uint8_t Type = dtInteger) { return P.AddOutputParam(Name, Type); }

uint8_t CodeOf(const std::string& Word) {
    for (int i = 0; i < DataTypeNameCount; ++i)
        if (Word == DataTypeNames[static_cast<size_t>(i)]) return static_cast<uint8_t>(i);
    return dtUnknown;
}

// P(A INTEGER) RETURNS(R INTEGER) with a body.
void Plain(TPrcData& P) {
    P.Name = "P";
    In(P, "A");
    Out(P, "R");
    P.SetSource("BEGIN R = A; SUSPEND; END");
}

void Bare(TPrcData& P) {
    P.Name = "P";
    P.SetSource("BEGIN END");
}

void Func(TPrcData& P) {
    P.Name = "F";
    P.IsFunction = true;
    In(P, "A");
    Out(P, "");
    P.SetSource("BEGIN RETURN A; END");
}

const Case Cases[] = {
    // ---- InterBase/Firebird ----
    {"IB procedure without parameters", stInterBase, Bare, Text::Create, "CREATE PROCEDURE P AS\r\nBEGIN END"},
    {"IB empty body without outputs", stInterBase, Bare, Text::Empty, " BEGIN EXIT; END"},
    {"IB stub without parameters", stInterBase, Bare, Text::Stub, "CREATE PROCEDURE P AS\r\n BEGIN EXIT; END"},
    {"IB parameter list", stInterBase,
     [](TPrcData& p) { Plain(p); In(p, "B"); Out(p, "S"); }, Text::Params,
     "(A INTEGER,\r\nB INTEGER)\r\n RETURNS(R INTEGER,\r\nS INTEGER)\r\n"},
    {"IB parameter list honours no RETURNS request", stInterBase, Plain, Text::ParamsNoReturns,
     "(A INTEGER)\r\n RETURNS(R INTEGER)\r\n"},
    {"IB procedure", stInterBase, Plain, Text::Create,
     "CREATE PROCEDURE P(A INTEGER)\r\n RETURNS(R INTEGER)\r\n AS\r\nBEGIN R = A; SUSPEND; END"},
    {"IB alter", stInterBase, Plain, Text::Alter,
     "ALTER PROCEDURE P(A INTEGER)\r\n RETURNS(R INTEGER)\r\n AS\r\nBEGIN R = A; SUSPEND; END"},
    {"IB stub with outputs", stInterBase, Plain, Text::Stub,
     "CREATE PROCEDURE P(A INTEGER)\r\n RETURNS(R INTEGER)\r\n AS\r\n BEGIN SUSPEND; END"},
    {"IB stub alter", stInterBase, Plain, Text::StubAlter,
     "ALTER PROCEDURE P(A INTEGER)\r\n RETURNS(R INTEGER)\r\n AS\r\n BEGIN SUSPEND; END"},
    {"IB drop quotes", stInterBase, [](TPrcData& p) { Plain(p); p.Name = "my proc"; }, Text::Drop,
     "DROP PROCEDURE \"my proc\""},
    {"IB function", stInterBase, Func, Text::Create,
     "CREATE FUNCTION F(A INTEGER)\r\n RETURNS INTEGER\r\n AS\r\nBEGIN RETURN A; END"},
    {"IB deterministic function", stInterBase, [](TPrcData& p) { Func(p); p.OutputParam(0)->Deterministic = true; },
     Text::Params, "(A INTEGER)\r\n RETURNS INTEGER DETERMINISTIC\r\n"},
    {"IB function stub", stInterBase, Func, Text::Stub,
     "CREATE FUNCTION F(A INTEGER)\r\n RETURNS INTEGER\r\n AS\r\n BEGIN RETURN NULL; END"},
    {"IB function drop", stInterBase, Func, Text::Drop, "DROP FUNCTION F"},
    {"NoScript: no stub", stInterBase, [](TPrcData& p) { Plain(p); p.NoScript = true; }, Text::Stub, ""},
    {"NoScript: no drop", stInterBase, [](TPrcData& p) { Plain(p); p.NoScript = true; }, Text::Drop, ""},

    // ---- ASA ----
    {"ASA parameter list: the direction word comes first", stASA,
     [](TPrcData& p) { Plain(p); p.InputParam(0)->ParamDirection = pdInOut; }, Text::Params,
     "(InOut A INTEGER)\r\n Result(R INTEGER)\r\n"},
    {"ASA procedure", stASA, [](TPrcData& p) { Plain(p); p.SetDbOwner("dba"); }, Text::Create,
     "CREATE PROCEDURE dba.P(In A INTEGER)\r\n Result(R INTEGER)\r\nBEGIN R = A; SUSPEND; END"},
    {"ASA empty body", stASA, Plain, Text::Empty, " begin Return end"},
    {"ASA stub", stASA, [](TPrcData& p) { Plain(p); p.SetDbOwner("dba"); }, Text::Stub,
     "CREATE PROCEDURE dba.P(In A INTEGER)\r\n Result(R INTEGER)\r\nas\r\n begin Return end"},
    {"ASA function stub with a result: RETURNS from the parameter text", stASA, Func, Text::Stub,
     "CREATE FUNCTION DBA.F(In A INTEGER)\r\nRETURNS INTEGER\r\nas\r\n begin Return end"},
    {"ASA function stub without a result", stASA, [](TPrcData& p) { Bare(p); p.IsFunction = true; }, Text::Stub,
     "CREATE FUNCTION DBA.P()\r\nreturns integer as\r\n begin Return end"},
    {"ASA drop", stASA, [](TPrcData& p) { Plain(p); p.SetDbOwner("dba"); }, Text::Drop, "DROP PROCEDURE dba.P"},

    // ---- MySQL ----
    {"MySQL no parameters", stMySQL, Bare, Text::Params, "()"},
    {"MySQL function head with characteristics", stMySQL,
     [](TPrcData& p) {
         Func(p);
         p.SetDescription("it's");
         p.MySQLCharacteristics = mcDeterministic | 8 | mcReadsSQLData;
     },
     Text::Create,
     "CREATE FUNCTION F(IN A INTEGER)\r\nRETURNS INTEGER\r\n     COMMENT 'it''s'\r\n     DETERMINISTIC\r\n"
     "     READS SQL DATA\r\nBEGIN RETURN A; END"},
    {"MySQL RETURNS left out on request", stMySQL, Func, Text::ParamsNoReturns, "(IN A INTEGER)"},
    {"MySQL empty body", stMySQL, Plain, Text::Empty, " BEGIN END"},
    {"MySQL stub", stMySQL, Bare, Text::Stub, "CREATE PROCEDURE P()\r\n BEGIN END"},
    {"MySQL drop", stMySQL, Plain, Text::Drop, "DROP PROCEDURE  IF EXISTS P"},

    // ---- Oracle ----
    {"Oracle head: the body carries the rest", stOracle,
     [](TPrcData& p) { p.Name = "p"; p.SetSource("(a NUMBER) IS BEGIN NULL; END;"); }, Text::Create,
     "CREATE OR REPLACE PROCEDURE p\r\n(a NUMBER) IS BEGIN NULL; END;"},
    {"Oracle alter replaces", stOracle,
     [](TPrcData& p) { p.Name = "p"; p.SetSource("IS BEGIN NULL; END;"); }, Text::Alter,
     "CREATE OR REPLACE PROCEDURE p\r\nIS BEGIN NULL; END;"},
    {"Oracle procedure placeholder is PL/SQL", stOracle, Plain, Text::Empty, " BEGIN NULL; END;"},
    {"Oracle procedure without outputs likewise", stOracle, Bare, Text::Empty, " BEGIN NULL; END;"},
    {"Oracle function placeholder", stOracle, Func, Text::Empty, " BEGIN RETURN NULL; END;"},
    {"Oracle stub", stOracle, [](TPrcData& p) { Bare(p); p.Schema = "S"; }, Text::Stub,
     "CREATE OR REPLACE PROCEDURE S.P AS\r\n BEGIN NULL; END;"},
    {"Oracle drop with schema", stOracle, [](TPrcData& p) { Bare(p); p.Schema = "S"; }, Text::Drop,
     "DROP PROCEDURE S.P"},

    // ---- MSSQL ----
    {"MSSQL procedure without parameters", stMSSQL, Bare, Text::Params, " \r\n"},
    {"MSSQL function without parameters", stMSSQL, [](TPrcData& p) { Bare(p); p.IsFunction = true; }, Text::Params,
     " ()\r\n"},
    {"MSSQL procedure", stMSSQL,
     [](TPrcData& p) { p.Name = "P"; p.Schema = "dbo"; In(p, "@A"); p.SetSource("AS SELECT @A"); }, Text::Create,
     "CREATE PROCEDURE dbo.P @A INTEGER\r\n AS SELECT @A"},
    {"MSSQL procedure with group number and options", stMSSQL,
     [](TPrcData& p) {
         p.Name = "P";
         p.Schema = "dbo";
         p.ProcNumber = 2;
         p.WithOptions = "RECOMPILE";
         p.SetSource("AS SELECT 1");
     },
     Text::Create, "CREATE PROCEDURE dbo.P;2 \r\n WITH RECOMPILE\r\n AS SELECT 1"},
    {"MSSQL key with group number", stMSSQL, [](TPrcData& p) { p.Name = "P"; p.Schema = "dbo"; p.ProcNumber = 2; },
     Text::Key, "dbo.P;2"},
    {"MSSQL without source or language: no CREATE", stMSSQL, [](TPrcData& p) { p.Name = "P"; }, Text::Create, ""},
    {"MSSQL alter of a CREATE source", stMSSQL,
     [](TPrcData& p) { p.Name = "P"; p.SetSource("create procedure P as select 1"); }, Text::Alter,
     "ALTER procedure P as select 1"},
    {"MSSQL empty body", stMSSQL, Plain, Text::Empty, "begin Return 0 end"},
    {"MSSQL inline table empty body", stMSSQL, [](TPrcData& p) { Func(p); p.InlineTable = true; }, Text::Empty,
     "Return (select 0 as Result)"},
    {"MSSQL table result empty body", stMSSQL,
     [](TPrcData& p) { p.Name = "F"; p.IsFunction = true; Out(p, "@T", dtTable); }, Text::Empty, "begin Return end"},
    {"MSSQL uniqueidentifier result empty body", stMSSQL,
     [](TPrcData& p) { p.Name = "F"; p.IsFunction = true; Out(p, "", CodeOf("UNIQUEIDENTIFIER")); }, Text::Empty,
     "begin Return Null end"},
    {"MSSQL function stub", stMSSQL, [](TPrcData& p) { Func(p); p.OutputParam(0)->ParamDirection = pdNone; },
     Text::Stub, "CREATE FUNCTION F (A INTEGER)\r\n RETURNS INTEGER\r\nas\r\nbegin Return 0 end"},
    {"MSSQL drop", stMSSQL, [](TPrcData& p) { Bare(p); p.Schema = "dbo"; }, Text::Drop, "DROP PROCEDURE dbo.P"},

    // ---- ASE ----
    {"ASE external routine", stASE,
     [](TPrcData& p) {
         p.Name = "x";
         p.Language = "java";
         p.ModifiesSqlData = true;
         p.DynamicResultSets = 2;
         p.ParameterStyle = "java";
         p.ExternalName = "a.b";
     },
     Text::Create,
     "CREATE PROCEDURE x ()\r\n  modifies sql data\r\n  dynamic result sets 2\r\n  language java\r\n"
     "  parameter style java\r\n  external name 'a.b'"},

    // ---- PostgreSQL ----
    {"PG key distinguishes overloads", stPostgreSQL,
     [](TPrcData& p) { p.Name = "f"; p.Schema = "s"; In(p, "a"); In(p, "b", dtVarChar); }, Text::Key,
     "s.f(integer, varchar)"},
    {"PG no parameters", stPostgreSQL, [](TPrcData& p) { p.Name = "f"; }, Text::ParamsNoReturns, "()"},
    {"PG function", stPostgreSQL,
     [](TPrcData& p) {
         p.Name = "f";
         p.Schema = "s";
         p.IsFunction = true;
         In(p, "a")->ParamDirection = pdVariadic;
         p.ReturnType = "integer";
         p.ReturnsSet = true;
         p.Language = "plpgsql";
         p.TrailingClause = "IMMUTABLE";
         p.ReturnsNullOnNull = true;
         p.SetSource("BEGIN RETURN a; END");
     },
     Text::Create,
     "CREATE FUNCTION s.f(VARIADIC a integer)\r\nRETURNS SETOF integer\r\nAS $$BEGIN RETURN a; END$$\r\n"
     "LANGUAGE 'plpgsql' IMMUTABLE STRICT"},
    {"PG routine from an object file", stPostgreSQL,
     [](TPrcData& p) { p.Name = "f"; p.IsFunction = true; p.ObjFile = "lib"; p.LinkSymbol = "sym"; p.Language = "c"; },
     Text::Create, "CREATE FUNCTION f()\r\nAS 'lib', 'sym'\r\nLANGUAGE 'c'"},
    {"PG drop names the inputs only", stPostgreSQL,
     [](TPrcData& p) { p.Name = "f"; p.Schema = "s"; p.IsFunction = true; In(p, "a"); Out(p, "", dtInteger); },
     Text::Drop, "DROP FUNCTION s.f(IN a integer)"},

    // ---- DB2 ----
    {"DB2 has no CREATE", stDB2, Plain, Text::Create, ""},
    {"DB2 has no ALTER", stDB2, Plain, Text::Alter, ""},

    // ---- descriptions ----
    {"IB description on Firebird 3 in the default mode", stInterBase,
     [](TPrcData& p) { Plain(p); p.SetDescription("it's"); }, Text::Description,
     "COMMENT ON PROCEDURE P IS\r\n'it''s'"},
    {"PG function description names it by its parameters, without RETURNS", stPostgreSQL,
     [](TPrcData& p) {
         p.Name = "f";
         p.Schema = "s";
         p.IsFunction = true;
         In(p, "a");
         p.ReturnType = "integer";
         p.SetDescription("it's");
     },
     Text::Description, "COMMENT ON FUNCTION s.f(IN a integer) IS 'it''s'"},
    {"ASA function description", stASA, [](TPrcData& p) { Func(p); p.SetDescription("d"); }, Text::Description,
     "COMMENT ON FUNCTION F IS\r\n'd'"},
};

// Test names in listings show what a case is about, not its bytes.
void PrintTo(const Case& C, std::ostream* Os) { *Os << C.What; }

class ProcedureText : public ::testing::TestWithParam<Case> {};

TEST_P(ProcedureText, Is) {
    const Case& c = GetParam();
    OneSide side(c.Server);
    TPrcData p(&side.Objs());
    c.Fill(p);
    std::string text;
    switch (c.Kind) {
    case Text::Create: text = p.GetCreateSQL(); break;
    case Text::Alter: text = p.GetAlterSQL(); break;
    case Text::Drop: text = p.GetDropSQL(); break;
    case Text::Stub: text = p.GetStubCreateSQL(); break;
    case Text::StubAlter: text = GetProcStubAlterSQL(p); break;
    case Text::Empty: text = p.GetEmptyBody(); break;
    case Text::Params: text = p.GetParamsSQL(true); break;
    case Text::ParamsNoReturns: text = p.GetParamsSQL(false); break;
    case Text::Key: text = p.GetKeyName(); break;
    case Text::Description: text = p.GetDescriptionSQL(); break;
    }
    EXPECT_EQ(text, c.Expected) << c.What;
}

INSTANTIATE_TEST_SUITE_P(Dialects, ProcedureText, ::testing::ValuesIn(Cases),
                         [](const ::testing::TestParamInfo<Case>& I) { return "case" + std::to_string(I.index); });

TEST(ProcedureText, MemberRoutineOfAnObjectType) {
    OneSide side(stOracle);
    TMemberPrcData m(&side.Objs());
    m.Name = "area";
    m.IsFunction = true;
    m.Signature = "(self IN shape)";
    m.Directive->Overriding = true;
    m.AddOutputParam("", dtNumber);
    EXPECT_EQ(m.GetCreateSQL(), "   " + m.Directive->GetText() + "MEMBER FUNCTION area(self IN shape) RETURN NUMBER");
}

} // namespace
