// The DDL reader on procedures, functions, packages and EXECUTE BLOCK, generators, exceptions,
// collations and descriptions: what each statement makes or changes in the structure, what it
// hands on, and how a wrong one is reported.
#include "IbReader.h"

#include "objects/qnlComp_Def.h"
#include "objects/qnlComp_Dmn.h"
#include "objects/qnlComp_Fnc.h"
#include "objects/qnlComp_Exc.h"
#include "objects/qnlComp_Gnr.h"
#include "objects/qnlComp_Pkg.h"
#include "objects/qnlComp_Prc.h"
#include "objects/qnlComp_Rol.h"
#include "objects/qnlComp_Trg.h"
#include "objects/qnlComp_Viw.h"

#include <gtest/gtest.h>

#include <functional>

namespace qnl {
namespace {

using test::IbReader;
using Lines = std::vector<std::string>;

TPrcData* Routine(const IbReader& R, const std::string& Name) {
    return dynamic_cast<TPrcData*>(R.Objs.FindProcedure(Name));
}

// "name type" per parameter, inputs then "->" and outputs.
std::string Params(const TPrcData* P) {
    if (!P) return "missing";
    std::string s;
    for (int i = 0; i < P->InputCount(); ++i) s += P->InputParam(i)->Name + " " + DataTypeName(P->InputParam(i)->DataType) + ", ";
    s += "->";
    for (int i = 0; i < P->OutputCount(); ++i)
        s += " " + P->OutputParam(i)->Name + " " + DataTypeName(P->OutputParam(i)->DataType) + ",";
    return s;
}

struct ReadCase {
    const char* Name;
    TIBSQLServerVersionType Version;
    std::string Script;
    Lines Statements;
    Lines Messages;
    std::function<void(const IbReader&)> Check;
};

void RunCases(const std::vector<ReadCase>& Cases) {
    for (const ReadCase& c : Cases) {
        SCOPED_TRACE(c.Name);
        IbReader r(c.Version);
        r.Read(c.Script);
        EXPECT_EQ(r.Statements, c.Statements);
        EXPECT_EQ(r.Messages(), c.Messages);
        if (c.Check) c.Check(r);
    }
}

TEST(IbParserRoutines, ProceduresFunctionsPackagesAndBlocks) {
    RunCases({
        {"a procedure read anew: parameters replaced, descriptions of kept names kept, create then alter",
         st_Firebird_30,
         "SET TERM ^;\nCREATE PROCEDURE P (A INTEGER, B INTEGER) RETURNS (R INTEGER) AS BEGIN END^\n"
         "COMMENT ON PARAMETER P.B IS 'kept'^\nCOMMENT ON PARAMETER P.R IS 'lost'^\n"
         "ALTER PROCEDURE P (B VARCHAR(5), C DATE) RETURNS (S INTEGER) AS BEGIN S = 1; END^",
         {"Procedure P procedure: create | CREATE PROCEDURE P (A INTEGER, B INTEGER) RETURNS (R INTEGER) AS BEGIN END",
          "Procedure P procedure: alter | ALTER PROCEDURE P (B VARCHAR(5), C DATE) RETURNS (S INTEGER) AS BEGIN S = 1; END"},
         {},
         [](const IbReader& r) {
             TPrcData* p = Routine(r, "P");
             EXPECT_EQ(Params(p), "B VARCHAR, C DATE, -> S INTEGER,");
             ASSERT_NE(p, nullptr);
             EXPECT_EQ(p->FindInputParam("B")->Description(), "kept");
             EXPECT_EQ(p->FindOutputParam("S")->Description(), "");
             EXPECT_EQ(p->Source(), "BEGIN S = 1; END");
             EXPECT_EQ(p->InputParam(0)->Owner, p);
             EXPECT_EQ(p->InputParam(0)->ParamDirection, pdIn);
         }},
        {"external-engine routines: kept with their external name and engine, written back as such",
         st_Firebird_30,
         "SET TERM ^;\nCREATE PROCEDURE PX (N INTEGER) RETURNS (R INTEGER) EXTERNAL NAME 'm!gen' ENGINE UDR^\n"
         "CREATE FUNCTION FX (N INTEGER) RETURNS INTEGER EXTERNAL NAME 'm!sum' ENGINE UDR^\n"
         "CREATE PACKAGE BODY PK AS BEGIN PROCEDURE PP RETURNS (R INTEGER) EXTERNAL NAME 'm!p' ENGINE UDR; END^",
         {"Procedure PX procedure: create | CREATE PROCEDURE PX (N INTEGER) RETURNS (R INTEGER) EXTERNAL NAME 'm!gen' "
          "ENGINE UDR",
          "Procedure FX procedure: create | CREATE FUNCTION FX (N INTEGER) RETURNS INTEGER EXTERNAL NAME 'm!sum' ENGINE UDR",
          "Statement PK package: create | CREATE PACKAGE BODY PK AS BEGIN PROCEDURE PP RETURNS (R INTEGER) EXTERNAL NAME "
          "'m!p' ENGINE UDR; END"},
         {},
         [](const IbReader& r) {
             TPrcData* p = Routine(r, "PX");
             ASSERT_NE(p, nullptr);
             EXPECT_EQ(p->ExternalName + "|" + p->EngineName, "m!gen|UDR");
             EXPECT_EQ(p->GetCreateSQL(), "CREATE PROCEDURE PX(N INTEGER)\r\n RETURNS(R INTEGER)\r\n\r\n"
                                          "EXTERNAL NAME 'm!gen' ENGINE UDR");
             TPrcData* f = Routine(r, "FX");
             ASSERT_NE(f, nullptr);
             EXPECT_EQ(f->ExternalName + "|" + f->EngineName, "m!sum|UDR");
         }},
        {"CREATE OR ALTER of a new procedure is a create; an empty list; the body's own ';' under ';'",
         st_Firebird_30,
         "CREATE OR ALTER PROCEDURE P () AS BEGIN X = 1; END;\nSELECT 1 FROM RDB$DATABASE;",
         {"Procedure P procedure: create | CREATE OR ALTER PROCEDURE P () AS BEGIN X = 1; END",
          "Select - - | SELECT 1 FROM RDB$DATABASE"},
         {},
         [](const IbReader& r) { EXPECT_EQ(Params(Routine(r, "P")), "->"); }},
        {"parameters: TYPE OF, TYPE OF COLUMN, defaults, NOT NULL; a deterministic function",
         st_Firebird_30,
         "SET TERM ^;\nCREATE FUNCTION F (A TYPE OF D, B TYPE OF COLUMN T.C, C INTEGER = 5, D VARCHAR(3) NOT NULL "
         "DEFAULT 'x') RETURNS BIGINT DETERMINISTIC AS BEGIN RETURN 1; END^",
         {"Procedure F procedure: create | CREATE FUNCTION F (A TYPE OF D, B TYPE OF COLUMN T.C, C INTEGER = 5, D "
          "VARCHAR(3) NOT NULL DEFAULT 'x') RETURNS BIGINT DETERMINISTIC AS BEGIN RETURN 1; END"},
         {},
         [](const IbReader& r) {
             TPrcData* f = Routine(r, "F");
             ASSERT_NE(f, nullptr);
             EXPECT_TRUE(f->IsFunction);
             EXPECT_EQ(Params(f), "A ? DataType, B ? DataType, C INTEGER, D VARCHAR, ->  BIGINT,");
             EXPECT_EQ(f->InputParam(0)->DataType, dtDomain);
             EXPECT_TRUE(f->InputParam(0)->TypeOf);
             EXPECT_EQ(f->InputParam(0)->DomainName, "D");
             EXPECT_EQ(f->InputParam(1)->Rare().TypeOfTable + "." + f->InputParam(1)->Rare().TypeOfColumn, "T.C");
             EXPECT_EQ(f->InputParam(2)->DefaultValue, "5");
             EXPECT_EQ(f->InputParam(3)->DefaultValue, "'x'");
             EXPECT_FALSE(f->InputParam(3)->Nullable);
             EXPECT_TRUE(f->OutputParam(0)->Deterministic);
         }},
        {"DETERMINISTIC belongs to Firebird 3 on: older versions do not read it",
         st_Firebird_25,
         "SET TERM ^;\nCREATE FUNCTION F RETURNS INTEGER DETERMINISTIC AS BEGIN RETURN 1; END^",
         {},
         {"2:8 Unknown CREATE-statement"},
         nullptr},
        {"a function of a procedure's name is an error: the procedure is kept, never overwritten",
         st_Firebird_30,
         "SET TERM ^;\nCREATE PROCEDURE SAME (A INTEGER) AS BEGIN END^\n"
         "CREATE FUNCTION SAME RETURNS INTEGER AS BEGIN RETURN 1; END^\nCREATE PROCEDURE NEXT_ONE AS BEGIN END^",
         {"Procedure SAME procedure: create | CREATE PROCEDURE SAME (A INTEGER) AS BEGIN END",
          "Procedure NEXT_ONE procedure: create | CREATE PROCEDURE NEXT_ONE AS BEGIN END"},
         {"3:17 Function SAME has the name of a procedure read before; the structure keeps one routine per name"},
         [](const IbReader& r) {
             ASSERT_NE(Routine(r, "SAME"), nullptr);
             EXPECT_FALSE(Routine(r, "SAME")->IsFunction);
             EXPECT_EQ(Params(Routine(r, "SAME")), "A INTEGER, ->");
         }},
        {"a package's header, then its body: one package, members not filed as routines",
         st_Firebird_30,
         "SET TERM ^;\nCREATE PACKAGE PK AS\nBEGIN\n  FUNCTION F (X INTEGER) RETURNS INTEGER;\n  PROCEDURE P;\nEND^\n"
         "CREATE PACKAGE BODY PK AS\nBEGIN\n  FUNCTION F (X INTEGER) RETURNS INTEGER AS BEGIN RETURN X; END\n"
         "  PROCEDURE P AS\n    DECLARE PROCEDURE INNER_P AS BEGIN END\n  BEGIN\n    EXECUTE PROCEDURE INNER_P;\n  END\nEND^",
         {"Statement PK package: create | CREATE PACKAGE PK AS\r\nBEGIN\r\n  FUNCTION F (X INTEGER) RETURNS INTEGER;\r\n  "
          "PROCEDURE P;\r\nEND",
          "Statement PK package: alter | CREATE PACKAGE BODY PK AS\r\nBEGIN\r\n  FUNCTION F (X INTEGER) RETURNS INTEGER AS "
          "BEGIN RETURN X; END\r\n  PROCEDURE P AS\r\n    DECLARE PROCEDURE INNER_P AS BEGIN END\r\n  BEGIN\r\n    EXECUTE "
          "PROCEDURE INNER_P;\r\n  END\r\nEND"},
         {},
         [](const IbReader& r) {
             auto* pk = dynamic_cast<TPkgData*>(r.Objs.FindPackage("PK"));
             ASSERT_NE(pk, nullptr);
             EXPECT_TRUE(pk->IsBody);
             EXPECT_EQ(pk->HeaderSource, "BEGIN\r\n  FUNCTION F (X INTEGER) RETURNS INTEGER;\r\n  PROCEDURE P;\r\nEND");
             EXPECT_EQ(pk->Source().substr(0, 10), "BEGIN\r\n  F");
             EXPECT_EQ(r.Objs.List(olProcedures).Count(), 0);
         }},
        {"EXECUTE BLOCK makes no object and is handed on whole",
         st_Firebird_30,
         "SET TERM ^;\nEXECUTE BLOCK (N INTEGER) RETURNS (M INTEGER) AS BEGIN M = N; SUSPEND; END^",
         {"ExecuteBlock - - | EXECUTE BLOCK (N INTEGER) RETURNS (M INTEGER) AS BEGIN M = N; SUSPEND; END"},
         {},
         [](const IbReader& r) { EXPECT_EQ(r.Objs.List(olProcedures).Count(), 0); }},
        {"DROP takes only its own kind of routine; DROP PACKAGE BODY keeps the header",
         st_Firebird_30,
         "SET TERM ^;\nCREATE PROCEDURE P AS BEGIN END^\nCREATE FUNCTION F RETURNS INTEGER AS BEGIN RETURN 1; END^\n"
         "CREATE PACKAGE PK AS BEGIN PROCEDURE X; END^\nCREATE PACKAGE BODY PK AS BEGIN PROCEDURE X AS BEGIN END END^\n"
         "SET TERM ;^\nDROP FUNCTION P;\nDROP PROCEDURE F;\nDROP PACKAGE BODY PK;",
         {"Procedure P procedure: create | CREATE PROCEDURE P AS BEGIN END",
          "Procedure F procedure: create | CREATE FUNCTION F RETURNS INTEGER AS BEGIN RETURN 1; END",
          "Statement PK package: create | CREATE PACKAGE PK AS BEGIN PROCEDURE X; END",
          "Statement PK package: alter | CREATE PACKAGE BODY PK AS BEGIN PROCEDURE X AS BEGIN END END",
          "Statement P procedure: drop | DROP FUNCTION P", "Statement F procedure: drop | DROP PROCEDURE F",
          "Statement PK package body: drop | DROP PACKAGE BODY PK"},
         {},
         [](const IbReader& r) {
             EXPECT_NE(Routine(r, "P"), nullptr);
             EXPECT_NE(Routine(r, "F"), nullptr);
             auto* pk = dynamic_cast<TPkgData*>(r.Objs.FindPackage("PK"));
             ASSERT_NE(pk, nullptr);
             EXPECT_FALSE(pk->IsBody);
             EXPECT_EQ(pk->Source(), "");
             EXPECT_EQ(pk->HeaderSource, "BEGIN PROCEDURE X; END");
         }},
    });
}

TEST(IbParserRoutines, TriggerHeadsGiveFirebirdsTypeCodes) {
    struct Head {
        const char* Text;
        const char* Table;
        int64_t Type;
        const char* Event;
    };
    const Head heads[] = {
        {"FOR T BEFORE INSERT", "T", 1, ""},
        {"FOR T AFTER DELETE", "T", 6, ""},
        {"FOR T ACTIVE BEFORE INSERT OR UPDATE", "T", 17, ""},
        {"FOR T AFTER INSERT OR DELETE", "T", 26, ""},
        {"FOR T AFTER INSERT OR UPDATE OR DELETE", "T", 114, ""},
        {"ACTIVE BEFORE UPDATE ON T", "T", 3, ""},
        {"ON CONNECT", "DATABASE", 8192, "CONNECT"},
        {"INACTIVE ON TRANSACTION COMMIT", "DATABASE", 8195, "TRANSACTION COMMIT"},
        {"BEFORE CREATE TABLE OR ALTER TABLE", "DATABASE", 0x4000 | 2 | 4, ""},
        {"AFTER ALTER CHARACTER SET OR CREATE PACKAGE BODY", "DATABASE", 0x4000 | 1 | (int64_t{1} << 39) | (int64_t{1} << 43), ""},
        {"AFTER CREATE PACKAGE", "DATABASE", 0x4000 | 1 | (int64_t{1} << 40), ""},
        {"BEFORE ANY DDL STATEMENT", "DATABASE", 0x7FFFFFFFFFFFDFFE, ""},
    };
    for (const Head& h : heads) {
        SCOPED_TRACE(h.Text);
        IbReader r;
        r.Read(std::string("CREATE TABLE T (A INTEGER);\nSET TERM ^;\nCREATE TRIGGER TR ") + h.Text +
               " POSITION 4 AS BEGIN END^");
        EXPECT_EQ(r.Messages(), Lines{});
        auto* t = dynamic_cast<TTrgData*>(r.Objs.FindTrigger("TR"));
        ASSERT_NE(t, nullptr);
        EXPECT_EQ(t->TableName, h.Table);
        EXPECT_EQ(t->TriggerType, h.Type);
        EXPECT_EQ(t->EventText, h.Event);
        EXPECT_EQ(t->TriggerPosition, 4);
        EXPECT_EQ(t->Source(), "AS BEGIN END");
        // A table trigger depends on its table.
        EXPECT_EQ(t->DependsOn.Count(), std::string(h.Table) == "T" ? 1 : 0);
    }
}

TEST(IbParserRoutines, TriggersAndViews) {
    auto trigger = [](const IbReader& R, const std::string& Name) {
        auto* t = dynamic_cast<TTrgData*>(R.Objs.FindTrigger(Name));
        return t ? std::string(t->Active ? "active " : "inactive ") + std::to_string(t->TriggerPosition) + " " + t->Source()
                 : std::string("missing");
    };
    RunCases({
        {"ALTER TRIGGER of a trigger read before changes only what it names",
         st_Firebird_30,
         "CREATE TABLE T (A INTEGER);\nSET TERM ^;\nCREATE TRIGGER TR FOR T BEFORE INSERT POSITION 2 AS BEGIN END^\n"
         "SET TERM ;^\nALTER TRIGGER TR INACTIVE;",
         {"Statement T table: create | CREATE TABLE T (A INTEGER)",
          "Trigger TR trigger: create | CREATE TRIGGER TR FOR T BEFORE INSERT POSITION 2 AS BEGIN END",
          "Trigger TR trigger: alter | ALTER TRIGGER TR INACTIVE"},
         {},
         [&](const IbReader& r) { EXPECT_EQ(trigger(r, "TR"), "inactive 2 AS BEGIN END"); }},
        {"ALTER TRIGGER of a trigger the script does not have is handed on and makes none",
         st_Firebird_30,
         "ALTER TRIGGER ELSEWHERE INACTIVE POSITION 3;",
         {"Trigger ELSEWHERE trigger: alter | ALTER TRIGGER ELSEWHERE INACTIVE POSITION 3"},
         {},
         [](const IbReader& r) { EXPECT_EQ(r.Objs.List(olTriggers).Count(), 0); }},
        {"CREATE OR ALTER TRIGGER replaces the body; a new one is a create",
         st_Firebird_30,
         "CREATE TABLE T (A INTEGER);\nSET TERM ^;\nCREATE OR ALTER TRIGGER TR FOR T AFTER UPDATE AS BEGIN END^\n"
         "CREATE OR ALTER TRIGGER TR FOR T AFTER UPDATE AS BEGIN A = 1; END^",
         {"Statement T table: create | CREATE TABLE T (A INTEGER)",
          "Trigger TR trigger: create | CREATE OR ALTER TRIGGER TR FOR T AFTER UPDATE AS BEGIN END",
          "Trigger TR trigger: alter | CREATE OR ALTER TRIGGER TR FOR T AFTER UPDATE AS BEGIN A = 1; END"},
         {},
         [&](const IbReader& r) { EXPECT_EQ(trigger(r, "TR"), "active 0 AS BEGIN A = 1; END"); }},
        {"a trigger's source starts where its header ends, as Firebird keeps it: with a comment before AS",
         st_Firebird_30,
         "CREATE TABLE T (A INTEGER);\nSET TERM ^;\nCREATE TRIGGER TR FOR T BEFORE INSERT /* c */ AS BEGIN END^",
         {"Statement T table: create | CREATE TABLE T (A INTEGER)",
          "Trigger TR trigger: create | CREATE TRIGGER TR FOR T BEFORE INSERT /* c */ AS BEGIN END"},
         {},
         [&](const IbReader& r) { EXPECT_EQ(trigger(r, "TR"), "active 0 /* c */ AS BEGIN END"); }},
        {"Firebird 3's forms: the table after POSITION, an external-engine trigger",
         st_Firebird_30,
         "CREATE TABLE T (A INTEGER);\nSET TERM ^;\nCREATE TRIGGER TR1 ACTIVE AFTER INSERT POSITION 3 ON T AS BEGIN END^\n"
         "CREATE TRIGGER TR2 FOR T BEFORE UPDATE EXTERNAL NAME 'm!r' ENGINE UDR^",
         {"Statement T table: create | CREATE TABLE T (A INTEGER)",
          "Trigger TR1 trigger: create | CREATE TRIGGER TR1 ACTIVE AFTER INSERT POSITION 3 ON T AS BEGIN END",
          "Trigger TR2 trigger: create | CREATE TRIGGER TR2 FOR T BEFORE UPDATE EXTERNAL NAME 'm!r' ENGINE UDR"},
         {},
         [&](const IbReader& r) {
             EXPECT_EQ(trigger(r, "TR1"), "active 3 AS BEGIN END");
             auto* t1 = dynamic_cast<TTrgData*>(r.Objs.FindTrigger("TR1"));
             ASSERT_NE(t1, nullptr);
             EXPECT_EQ(t1->TableName, "T");
             EXPECT_EQ(trigger(r, "TR2"), "active 0 EXTERNAL NAME 'm!r' ENGINE UDR");
         }},
        {"trigger errors",
         st_Firebird_30,
         "SET TERM ^;\nCREATE TRIGGER A ON SHUTDOWN AS BEGIN END^\nCREATE TRIGGER B FOR T DURING INSERT AS BEGIN END^\n"
         "CREATE TRIGGER C BEFORE CREATE NOTHING AS BEGIN END^",
         {},
         {"2:21 Unknown event for database trigger", "3:24 Must be: BEFORE / AFTER", "4:25 Unknown DDL event: CREATE NOTHING"},
         nullptr},
        {"views: the column list, the query with WITH CHECK OPTION; a second definition replaces the first",
         st_Firebird_30,
         "CREATE VIEW V (A, B) AS SELECT 1, 2 FROM RDB$DATABASE WITH CHECK OPTION;\n"
         "CREATE OR ALTER VIEW W AS SELECT 1 X FROM RDB$DATABASE;\nRECREATE VIEW W (Y) AS SELECT 2 FROM RDB$DATABASE;\n"
         "COMMENT ON COLUMN V.B IS 'b';",
         {"Statement V view: create | CREATE VIEW V (A, B) AS SELECT 1, 2 FROM RDB$DATABASE WITH CHECK OPTION",
          "Statement W view: create | CREATE OR ALTER VIEW W AS SELECT 1 X FROM RDB$DATABASE",
          "Statement W view: create | RECREATE VIEW W (Y) AS SELECT 2 FROM RDB$DATABASE"},
         {},
         [](const IbReader& r) {
             auto* v = dynamic_cast<TViwData*>(r.Objs.FindView("V"));
             ASSERT_NE(v, nullptr);
             EXPECT_EQ(v->Source(), "SELECT 1, 2 FROM RDB$DATABASE WITH CHECK OPTION");
             ASSERT_EQ(v->Columns.Count(), 2);
             EXPECT_EQ(v->Column(1)->Description(), "b");
             auto* w = dynamic_cast<TViwData*>(r.Objs.FindView("W"));
             ASSERT_NE(w, nullptr);
             EXPECT_EQ(w->Source(), "SELECT 2 FROM RDB$DATABASE");
             EXPECT_EQ(r.Objs.List(olViews).Count(), 2);
         }},
    });
}

TEST(IbParserRoutines, DomainsAndTheirAlterations) {
    auto domain = [](const IbReader& R, const std::string& Name) {
        auto* d = dynamic_cast<TDmnData*>(R.Objs.FindDomain(Name));
        if (!d) return std::string("missing");
        const TFldData& t = *d->TypeField;
        return std::string(DataTypeName(t.DataType)) + "(" + std::to_string(t.CharLength) + ")" +
               (t.DefaultValue.empty() ? "" : " DEFAULT " + t.DefaultValue) + (t.Nullable ? "" : " NOT NULL") +
               (t.Rare().CheckSource.empty() ? "" : " CHECK " + t.Rare().CheckSource) +
               (t.CollationName.empty() ? "" : " COLLATE " + t.CollationName);
    };
    RunCases({
        {"CREATE DOMAIN with everything after the type",
         st_Firebird_30,
         "CREATE DOMAIN D AS VARCHAR(10) DEFAULT 'x' NOT NULL CHECK (VALUE > '') COLLATE UNICODE;",
         {"Statement D domain: create | CREATE DOMAIN D AS VARCHAR(10) DEFAULT 'x' NOT NULL CHECK (VALUE > '') COLLATE "
          "UNICODE"},
         {},
         [&](const IbReader& r) { EXPECT_EQ(domain(r, "D"), "VARCHAR(10) DEFAULT 'x' NOT NULL CHECK (VALUE > '') COLLATE UNICODE"); }},
        {"ALTER DOMAIN changes the domain read before, clause by clause",
         st_Firebird_30,
         "CREATE DOMAIN D VARCHAR(10) DEFAULT 'x' CHECK (VALUE > '');\nALTER DOMAIN D DROP CONSTRAINT;\n"
         "ALTER DOMAIN D ADD CONSTRAINT CHECK (VALUE <> 'y') SET NOT NULL;\nALTER DOMAIN D DROP DEFAULT;\n"
         "ALTER DOMAIN D TYPE VARCHAR(20);\nALTER DOMAIN D SET DEFAULT 'z' DROP NOT NULL;",
         {"Statement D domain: create | CREATE DOMAIN D VARCHAR(10) DEFAULT 'x' CHECK (VALUE > '')",
          "Statement D domain: alter | ALTER DOMAIN D DROP CONSTRAINT",
          "Statement D domain: alter | ALTER DOMAIN D ADD CONSTRAINT CHECK (VALUE <> 'y') SET NOT NULL",
          "Statement D domain: alter | ALTER DOMAIN D DROP DEFAULT",
          "Statement D domain: alter | ALTER DOMAIN D TYPE VARCHAR(20)",
          "Statement D domain: alter | ALTER DOMAIN D SET DEFAULT 'z' DROP NOT NULL"},
         {},
         [&](const IbReader& r) { EXPECT_EQ(domain(r, "D"), "VARCHAR(20) DEFAULT 'z' CHECK (VALUE <> 'y')"); }},
        {"ALTER DOMAIN TO: the domain is filed under its new name, its columns follow it",
         st_Firebird_30,
         "CREATE DOMAIN OLD_NAME INTEGER;\nCREATE TABLE T (A OLD_NAME);\nALTER DOMAIN OLD_NAME TO NEW_NAME;",
         {"Statement OLD_NAME domain: create | CREATE DOMAIN OLD_NAME INTEGER",
          "Statement T table: create | CREATE TABLE T (A OLD_NAME)",
          "Statement OLD_NAME domain: alter | ALTER DOMAIN OLD_NAME TO NEW_NAME"},
         {},
         [&](const IbReader& r) {
             EXPECT_EQ(domain(r, "OLD_NAME"), "missing");
             EXPECT_EQ(domain(r, "NEW_NAME"), "INTEGER(0)");
             EXPECT_EQ(r.Column("T", "A")->DomainName, "NEW_NAME");
         }},
        {"ALTER DOMAIN of a domain the script lacks is handed on and makes none",
         st_Firebird_30,
         "ALTER DOMAIN ELSEWHERE SET DEFAULT 1;\nALTER DOMAIN ELSEWHERE RENAME;",
         {"Statement ELSEWHERE domain: alter | ALTER DOMAIN ELSEWHERE SET DEFAULT 1"},
         {"2:24 Unknown ALTER DOMAIN clause"},
         [](const IbReader& r) { EXPECT_EQ(r.Objs.List(olDomains).Count(), 0); }},
    });
}

TEST(IbParserRoutines, ExternalFunctionsRolesAndGrants) {
    auto grants = [](const IbReader& R) {
        std::vector<std::string> g;
        const TDbObjList& list = R.Objs.List(olGrants);
        for (int i = 0; i < list.Count(); ++i) {
            const auto* grant = dynamic_cast<const TGntData*>(list.Obj(i));
            g.push_back(Trim(const_cast<TGntData*>(grant)->GetCreateSQL()) + " [" + test::ObjectKindWord(grant->ObjectKind) +
                        ", " + std::to_string(grant->GrantType) + "]");
        }
        return g;
    };
    RunCases({
        {"ALTER EXTERNAL FUNCTION changes the entry point or the module it names",
         st_Firebird_30,
         "DECLARE EXTERNAL FUNCTION A INTEGER RETURNS INTEGER BY VALUE ENTRY_POINT 'a' MODULE_NAME 'm';\n"
         "ALTER EXTERNAL FUNCTION A MODULE_NAME 'n';\nALTER EXTERNAL FUNCTION A ENTRY_POINT 'b' MODULE_NAME 'o';",
         {"Statement A external function: create | DECLARE EXTERNAL FUNCTION A INTEGER RETURNS INTEGER BY VALUE "
          "ENTRY_POINT 'a' MODULE_NAME 'm'",
          "Statement A external function: alter | ALTER EXTERNAL FUNCTION A MODULE_NAME 'n'",
          "Statement A external function: alter | ALTER EXTERNAL FUNCTION A ENTRY_POINT 'b' MODULE_NAME 'o'"},
         {},
         [](const IbReader& r) {
             auto* u = dynamic_cast<TUdfData*>(r.Objs.FindUDF("A"));
             ASSERT_NE(u, nullptr);
             EXPECT_EQ(u->EntryPoint + "|" + u->ModuleName, "b|o");
         }},
        {"DECLARE EXTERNAL FUNCTION: arguments, results, FREE_IT; a blob result is one more argument",
         st_Firebird_30,
         "DECLARE EXTERNAL FUNCTION A CSTRING(20), TIMESTAMP BY DESCRIPTOR RETURNS CSTRING(30) FREE_IT "
         "ENTRY_POINT 'a' MODULE_NAME 'm';\nDECLARE EXTERNAL FUNCTION B INTEGER, CSTRING(9) RETURNS PARAMETER 2 "
         "ENTRY_POINT 'b' MODULE_NAME 'm';\nDECLARE EXTERNAL FUNCTION C BLOB RETURNS BLOB ENTRY_POINT 'c' MODULE_NAME 'm';",
         {"Statement A external function: create | DECLARE EXTERNAL FUNCTION A CSTRING(20), TIMESTAMP BY DESCRIPTOR "
          "RETURNS CSTRING(30) FREE_IT ENTRY_POINT 'a' MODULE_NAME 'm'",
          "Statement B external function: create | DECLARE EXTERNAL FUNCTION B INTEGER, CSTRING(9) RETURNS PARAMETER 2 "
          "ENTRY_POINT 'b' MODULE_NAME 'm'",
          "Statement C external function: create | DECLARE EXTERNAL FUNCTION C BLOB RETURNS BLOB ENTRY_POINT 'c' "
          "MODULE_NAME 'm'"},
         {},
         [](const IbReader& r) {
             auto udf = [&r](const std::string& Name) {
                 auto* u = dynamic_cast<TUdfData*>(r.Objs.FindUDF(Name));
                 if (!u) return std::string("missing");
                 std::string s;
                 for (int i = 0; i < u->Arguments.Count(); ++i)
                     s += std::string(DataTypeName(u->Argument(i)->DataType)) + (u->Argument(i)->ByDescriptor ? " BY DESCRIPTOR" : "") + ", ";
                 return s + "-> " + (u->ReturnField->ParameterNumber ? "#" + std::to_string(u->ReturnField->ParameterNumber)
                                                                      : DataTypeName(u->ReturnField->DataType)) +
                        (u->FreeIt ? " FREE_IT " : " ") + u->EntryPoint + "@" + u->ModuleName;
             };
             EXPECT_EQ(udf("A"), "CSTRING, TIMESTAMP BY DESCRIPTOR, -> CSTRING FREE_IT a@m");
             EXPECT_EQ(udf("B"), "INTEGER, CSTRING, -> #2 b@m");
             EXPECT_EQ(udf("C"), "BLOB, BLOB, -> #2 c@m");
         }},
        {"grants: column grants stay apart, equal grants merge, roles resolve; DDL privileges are grants as isql "
         "writes them, CREATE DATABASE (kept outside the database) is handed on",
         st_Firebird_30,
         "CREATE TABLE T (A INTEGER, B INTEGER);\nCREATE ROLE R;\nGRANT SELECT, UPDATE (A, B) ON T TO R;\n"
         "GRANT ALL ON T TO PUBLIC;\nGRANT ALL PRIVILEGES ON T TO PUBLIC;\nGRANT R TO U WITH ADMIN OPTION GRANTED BY SYSDBA;\n"
         "GRANT EXECUTE ON PACKAGE PK TO USER U, ROLE R;\nGRANT USAGE ON SEQUENCE S TO PROCEDURE P;\n"
         "GRANT SELECT ON T TO SOMEONE;\nGRANT SELECT ON IBE$LOG TO PUBLIC;\nGRANT CREATE TABLE TO R;\n"
         "GRANT ALTER ANY TABLE TO USER U;\nGRANT CREATE SEQUENCE TO PUBLIC, USER U WITH GRANT OPTION GRANTED BY ANN;\n"
         "GRANT DROP DATABASE TO ROLE R;\nGRANT DROP ANY CHARACTER SET TO U;\nGRANT CREATE DATABASE TO USER U;",
         {"Statement T table: create | CREATE TABLE T (A INTEGER, B INTEGER)", "Statement R role: create | CREATE ROLE R",
          "Statement - grant: create | GRANT CREATE DATABASE TO USER U"},
         {},
         [&](const IbReader& r) {
             // Kinds given by a grantee word are known at once (11 role, 12 user, 13 object
             // grant); the others (10) are resolved once the whole script is read.
             EXPECT_EQ(grants(r), (Lines{"GRANT ALL ON T TO PUBLIC [table, 10]",
                                         "GRANT ALTER ANY TABLE TO U [-, 12]",
                                         "GRANT CREATE GENERATOR TO PUBLIC WITH GRANT OPTION GRANTED BY ANN [-, 10]",
                                         "GRANT CREATE GENERATOR TO U WITH GRANT OPTION GRANTED BY ANN [-, 12]",
                                         "GRANT CREATE TABLE TO ROLE R [-, 10]",
                                         "GRANT DROP ANY CHARACTER SET TO U [-, 10]",
                                         "GRANT DROP DATABASE TO ROLE R [-, 11]",
                                         "GRANT EXECUTE ON PACKAGE PK TO ROLE R [package, 11]",
                                         "GRANT EXECUTE ON PACKAGE PK TO U [package, 12]",
                                         "GRANT R TO U WITH ADMIN OPTION [role, 10]", "GRANT SELECT ON T TO ROLE R [table, 10]",
                                         "GRANT SELECT ON T TO SOMEONE [table, 10]",
                                         "GRANT UPDATE (A, B) ON T TO ROLE R [table, 10]",
                                         "GRANT USAGE ON SEQUENCE S TO PROCEDURE P [generator, 13]"}));
             auto* admin = dynamic_cast<TGntData*>(r.Objs.List(olGrants).FindObj("GRANT R TO U WITH ADMIN OPTION"));
             ASSERT_NE(admin, nullptr);
             EXPECT_EQ(admin->GrantOption, 2);
             auto& parser = const_cast<IbReader&>(r).Parser;
             parser.AfterParse();
             EXPECT_EQ(grants(r)[0], "GRANT ALL ON T TO PUBLIC [table, 12]");
             EXPECT_EQ(grants(r)[4], "GRANT CREATE TABLE TO ROLE R [-, 11]");
             EXPECT_EQ(grants(r)[10], "GRANT SELECT ON T TO ROLE R [table, 11]");
         }},
        {"grant errors",
         st_Firebird_30,
         "GRANT SELECT ON T TO U WITH NOTHING OPTION;\nGRANT SELECT T TO U;\nGRANT ALTER TABLE TO U;\n"
         "GRANT CREATE CHARACTER TO U;\nGRANT DROP ANY INDEX TO U;",
         {},
         {"1:29 Must be: with GRANT/ADMIN option", "2:14 Missing: ON (<Ident>) (<Ident>: T)",
          "3:13 Must be: ANY or DATABASE after ALTER", "4:24 Must be: CHARACTER SET",
          "5:16 Must be: the kind of object of a DDL privilege after DROP ANY"},
         nullptr},
    });
}

TEST(IbParserRoutines, GeneratorsExceptionsAndCollations) {
    auto generator = [](const IbReader& R, const std::string& Name) {
        auto* g = dynamic_cast<TGnrData*>(R.Objs.FindGenerator(Name));
        return g ? g->StartWith + "/" + g->IncrementBy : std::string("missing");
    };
    auto exception = [](const IbReader& R, const std::string& Name) {
        auto* e = dynamic_cast<TExcData*>(R.Objs.FindException(Name));
        return e ? e->Message : std::string("missing");
    };
    RunCases({
        {"generator clauses: defaults stay empty, BY is optional, ALTER changes only what it names",
         st_Firebird_30,
         "CREATE SEQUENCE A START WITH 0 INCREMENT BY 1;\nCREATE GENERATOR B START WITH 5 INCREMENT 2;\n"
         "CREATE SEQUENCE C;\nALTER SEQUENCE C RESTART WITH 7;\nALTER SEQUENCE B INCREMENT BY -3;\n"
         "ALTER SEQUENCE ELSEWHERE RESTART WITH 1;\nCREATE OR ALTER SEQUENCE D START WITH 3;",
         {"Statement A generator: create | CREATE SEQUENCE A START WITH 0 INCREMENT BY 1",
          "Statement B generator: create | CREATE GENERATOR B START WITH 5 INCREMENT 2",
          "Statement C generator: create | CREATE SEQUENCE C", "Statement C generator: alter | ALTER SEQUENCE C RESTART WITH 7",
          "Statement B generator: alter | ALTER SEQUENCE B INCREMENT BY -3",
          "Statement ELSEWHERE generator: alter | ALTER SEQUENCE ELSEWHERE RESTART WITH 1",
          "Statement D generator: create | CREATE OR ALTER SEQUENCE D START WITH 3"},
         {},
         [&](const IbReader& r) {
             EXPECT_EQ(generator(r, "A"), "/");
             EXPECT_EQ(generator(r, "B"), "5/-3");
             EXPECT_EQ(generator(r, "C"), "7/");
             EXPECT_EQ(generator(r, "D"), "3/");
             // An ALTER of a sequence the script lacks makes none.
             EXPECT_EQ(generator(r, "ELSEWHERE"), "missing");
         }},
        {"the lowest start is read whole; one beyond the range is refused, not cut",
         st_Firebird_30,
         "CREATE SEQUENCE A START WITH -9223372036854775808;\nCREATE SEQUENCE B START WITH 9223372036854775808;",
         {"Statement A generator: create | CREATE SEQUENCE A START WITH -9223372036854775808"},
         {"2:30 Number out of range: 9223372036854775808"},
         [&](const IbReader& r) { EXPECT_EQ(generator(r, "A"), "-9223372036854775808/"); }},
        {"before Firebird 3 a sequence has no clauses",
         st_Firebird_25,
         "CREATE SEQUENCE S START WITH 5;",
         {},
         {"1:19 Missing: <TERM> (<Ident>) (<Ident>: START)"},
         nullptr},
        {"exceptions: ALTER changes one read before and makes an unknown one; quotes undoubled",
         st_Firebird_30,
         "CREATE EXCEPTION E 'old';\nALTER EXCEPTION E 'it''s new';\nALTER EXCEPTION F 'made';",
         {"Statement E exception: create | CREATE EXCEPTION E 'old'",
          "Statement E exception: create | ALTER EXCEPTION E 'it''s new'",
          "Statement F exception: create | ALTER EXCEPTION F 'made'"},
         {},
         [&](const IbReader& r) {
             EXPECT_EQ(exception(r, "E"), "it's new");
             EXPECT_EQ(exception(r, "F"), "made");
             EXPECT_EQ(r.Objs.List(olExceptions).Count(), 2);
         }},
        {"collations: every clause, and what one takes from its base",
         st_Firebird_30,
         "CREATE COLLATION A FOR UTF8 FROM UNICODE NO PAD CASE INSENSITIVE ACCENT INSENSITIVE 'LOCALE=de_DE';\n"
         "CREATE COLLATION B FOR UTF8 FROM A;\nCREATE COLLATION C FOR ISO8859_1 FROM EXTERNAL ('PT_BR');\n"
         "CREATE COLLATION D FOR UTF8 FROM UNICODE_CI;",
         {"Statement A collation: create | CREATE COLLATION A FOR UTF8 FROM UNICODE NO PAD CASE INSENSITIVE ACCENT "
          "INSENSITIVE 'LOCALE=de_DE'",
          "Statement B collation: create | CREATE COLLATION B FOR UTF8 FROM A",
          "Statement C collation: create | CREATE COLLATION C FOR ISO8859_1 FROM EXTERNAL ('PT_BR')",
          "Statement D collation: create | CREATE COLLATION D FOR UTF8 FROM UNICODE_CI"},
         {},
         [](const IbReader& r) {
             auto text = [&r](const std::string& Name) {
                 auto* c = dynamic_cast<TCltData*>(r.Objs.List(olCollations).FindObj(Name));
                 if (!c) return std::string("missing");
                 return c->CharacterSet + " " + c->BaseCollation + "|" + c->ExternalName + (c->PadSpace ? " pad" : " nopad") +
                        (c->CaseSensitive ? " cs" : " ci") + (c->AccentSensitive ? " as" : " ai") + " " + c->Attributes;
             };
             EXPECT_EQ(text("A"), "UTF8 UNICODE| nopad ci ai LOCALE=de_DE");
             EXPECT_EQ(text("B"), "UTF8 UNICODE| nopad ci ai ");
             EXPECT_EQ(text("C"), "ISO8859_1 |PT_BR nopad cs as ");
             EXPECT_EQ(text("D"), "UTF8 UNICODE| pad ci as ");
         }},
        {"collation errors",
         st_Firebird_30,
         "CREATE COLLATION A FOR UTF8 FROM 'X';\nCREATE COLLATION B FOR UTF8 FROM UNICODE CASE MAYBE;",
         {},
         {"1:34 Must be: FROM basecoll | FROM EXTERNAL ('extname')", "2:47 Must be: SENSITIVE / INSENSITIVE"},
         nullptr},
    });
}

TEST(IbParserRoutines, DescriptionsLandOnTheirObjects) {
    RunCases({
        {"COMMENT ON every kind the structure keeps; NULL clears; what has no place is handed on",
         st_Firebird_30,
         "CREATE TABLE T (C INTEGER);\nCREATE INDEX IX ON T (C);\nCREATE SEQUENCE S;\nCREATE EXCEPTION E 'x';\n"
         "CREATE COLLATION CO FOR UTF8 FROM UNICODE;\nSET TERM ^;\nCREATE PROCEDURE P (A INTEGER) AS BEGIN END^\n"
         "CREATE FUNCTION F (B INTEGER) RETURNS INTEGER AS BEGIN RETURN B; END^\n"
         "CREATE PACKAGE PK AS BEGIN END^\nSET TERM ;^\n"
         "COMMENT ON TABLE T IS 'table';\nCOMMENT ON COLUMN T.C IS 'column';\nCOMMENT ON COLUMN T.C IS NULL;\n"
         "COMMENT ON INDEX IX IS 'index';\nCOMMENT ON SEQUENCE S IS 'sequence';\nCOMMENT ON EXCEPTION E IS 'exception';\n"
         "COMMENT ON COLLATION CO IS 'collation';\nCOMMENT ON PROCEDURE P IS 'procedure';\n"
         "COMMENT ON PROCEDURE PARAMETER P.A IS 'pa';\nCOMMENT ON FUNCTION F IS 'function';\n"
         "COMMENT ON FUNCTION PARAMETER F.B IS 'fb';\nCOMMENT ON PACKAGE PK IS 'package';\n"
         "COMMENT ON DATABASE IS 'db';\nCOMMENT ON CHARACTER SET UTF8 IS 'cs';\nCOMMENT ON PROCEDURE PK.X IS 'member';\n"
         "COMMENT ON FUNCTION PK.Y IS 'fn';\nCOMMENT ON PROCEDURE PARAMETER PK.X.A IS 'xa';\n"
         "COMMENT ON FUNCTION PARAMETER PK.Y.B IS 'yb';\nCOMMENT ON FUNCTION PARAMETER PK.Y.B IS NULL;\n"
         "COMMENT ON PARAMETER PK.X.C IS 'xc';\nCOMMENT ON PROCEDURE OTHER.X IS 'elsewhere';\n"
         "COMMENT ON TABLE NOT_THERE IS 'nothing';",
         {"Statement T table: create | CREATE TABLE T (C INTEGER)", "Statement IX index: create | CREATE INDEX IX ON T (C)",
          "Statement S generator: create | CREATE SEQUENCE S", "Statement E exception: create | CREATE EXCEPTION E 'x'",
          "Statement CO collation: create | CREATE COLLATION CO FOR UTF8 FROM UNICODE",
          "Procedure P procedure: create | CREATE PROCEDURE P (A INTEGER) AS BEGIN END",
          "Procedure F procedure: create | CREATE FUNCTION F (B INTEGER) RETURNS INTEGER AS BEGIN RETURN B; END",
          "Statement PK package: create | CREATE PACKAGE PK AS BEGIN END",
          "Description - -: description | COMMENT ON DATABASE IS 'db'",
          "Description UTF8 -: description | COMMENT ON CHARACTER SET UTF8 IS 'cs'",
          "Description X procedure: description | COMMENT ON PROCEDURE OTHER.X IS 'elsewhere'"},
         {},
         [](const IbReader& r) {
             EXPECT_EQ(r.Table("T")->Description(), "table");
             EXPECT_EQ(r.Column("T", "C")->Description(), "");
             EXPECT_EQ(r.Index("IX")->Description(), "index");
             EXPECT_EQ(r.Objs.FindGenerator("S")->Description(), "sequence");
             EXPECT_EQ(r.Objs.FindException("E")->Description(), "exception");
             EXPECT_EQ(r.Objs.List(olCollations).FindObj("CO")->Description(), "collation");
             EXPECT_EQ(Routine(r, "P")->Description(), "procedure");
             EXPECT_EQ(Routine(r, "P")->InputParam(0)->Description(), "pa");
             EXPECT_EQ(Routine(r, "F")->Description(), "function");
             EXPECT_EQ(Routine(r, "F")->InputParam(0)->Description(), "fb");
             EXPECT_EQ(r.Objs.FindPackage("PK")->Description(), "package");
             std::vector<std::string> members;
             for (const TMemberDescription& d : dynamic_cast<TPkgData*>(r.Objs.FindPackage("PK"))->MemberDescriptions)
                 members.push_back(std::string(d.Function ? "F " : "P ") + d.Routine + "." + d.Parameter + "=" + d.Text);
             EXPECT_EQ(members, (std::vector<std::string>{"P X.=member", "F Y.=fn", "P X.A=xa", "P X.C=xc"}));
         }},
        {"DESCRIBE sets the description and is handed on with its text",
         st_Firebird_30,
         "CREATE TABLE T (C INTEGER);\nSET TERM ^;\nCREATE PROCEDURE P (A INTEGER) AS BEGIN END^\nSET TERM ;^\n"
         "DESCRIBE FIELD C TABLE T 'column';\nDESCRIBE PARAMETER A PROCEDURE P 'param';\nDESCRIBE TABLE T 'table';\n"
         "DESCRIBE VIEW NOT_THERE 'nothing';",
         {"Statement T table: create | CREATE TABLE T (C INTEGER)",
          "Procedure P procedure: create | CREATE PROCEDURE P (A INTEGER) AS BEGIN END",
          "Description C field: description of T | DESCRIBE FIELD C TABLE T 'column'",
          "Description A -: description of P | DESCRIBE PARAMETER A PROCEDURE P 'param'",
          "Description T table: description | DESCRIBE TABLE T 'table'",
          "Description NOT_THERE view: description | DESCRIBE VIEW NOT_THERE 'nothing'"},
         {},
         [](const IbReader& r) {
             EXPECT_EQ(r.Column("T", "C")->Description(), "column");
             EXPECT_EQ(Routine(r, "P")->InputParam(0)->Description(), "param");
             EXPECT_EQ(r.Table("T")->Description(), "table");
         }},
        {"description errors",
         st_Firebird_30,
         "COMMENT ON NOTHING X IS 'a';\nCOMMENT ON TABLE T IS 5;\nDESCRIBE SOMETHING X 'a';\nDESCRIBE FIELD C ROLE R 'a';",
         {},
         {"1:12 Unknown Comment-statement", "2:23 Invalid comment text", "3:10 Unknown DESCRIBE statement.",
          "4:18 Unknown DESCRIBE statement."},
         nullptr},
    });
}

} // namespace
} // namespace qnl
