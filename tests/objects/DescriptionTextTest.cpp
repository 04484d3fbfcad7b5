// Description statements of every dialect and InterBase/Firebird mode, case by case, and the
// answers the kind classes give for them.
#include "objects/qnlComp_Ctr.h"
#include "objects/qnlComp_Exc.h"
#include "objects/qnlComp_Gnr.h"
#include "objects/qnlComp_Idx.h"
#include "objects/qnlComp_Prc.h"
#include "objects/qnlComp_Tbl.h"
#include "tests/objects/ObjectsKit.h"

#include <gtest/gtest.h>

#include <ostream>

using namespace qnl;
using namespace qnl::test;

namespace {

const TIBSQLServerVersionType FB25 = st_Firebird_25, FB30 = st_Firebird_30, FB40 = st_Firebird_40,
                              IB2020 = st_InterBase_2020;
const TUpdateDescriptionType Sys = udSysTables, Dsc = udDescribe, Cmt = udComment;

// One object described with "it's". Owner and OwnerSchema fill the subject; with OwnerSchema set
// the owner is also an object of that schema.
struct Case {
    const char* What;
    TServerType Server;
    TIBSQLServerVersionType Version;
    TUpdateDescriptionType Mode;
    TDescriptionClass Class;
    const char* Name;
    const char* Schema;
    const char* Owner;
    const char* OwnerSchema;
    const char* Expected;
};

// clang-format off
const Case Cases[] = {
    // ---- InterBase/Firebird before Firebird 3: the three modes ----
    {"system table: domain", stInterBase, FB25, Sys, dcDomain, "D", "", "", "",
     "UPDATE RDB$FIELDS SET RDB$DESCRIPTION = \r\n'it''s'\r\nWHERE RDB$FIELD_NAME = 'D'"},
    {"system table: view", stInterBase, FB25, Sys, dcView, "V", "", "", "",
     "UPDATE RDB$RELATIONS SET RDB$DESCRIPTION = \r\n'it''s'\r\nWHERE RDB$RELATION_NAME = 'V'"},
    {"system table: trigger", stInterBase, FB25, Sys, dcTrigger, "TRG", "", "T", "",
     "UPDATE RDB$TRIGGERS SET RDB$DESCRIPTION = \r\n'it''s'\r\nWHERE RDB$TRIGGER_NAME = 'TRG'"},
    {"system table: external function", stInterBase, FB25, Sys, dcExternalFunction, "F", "", "", "",
     "UPDATE RDB$FUNCTIONS SET RDB$DESCRIPTION = \r\n'it''s'\r\nWHERE RDB$FUNCTION_NAME = 'F'"},
    {"system table: role", stInterBase, FB25, Sys, dcRole, "R", "", "", "",
     "UPDATE RDB$ROLES SET RDB$DESCRIPTION = \r\n'it''s'\r\nWHERE RDB$ROLE_NAME = 'R'"},
    {"system table: index", stInterBase, FB25, Sys, dcIndex, "X", "", "T", "",
     "UPDATE RDB$INDICES SET RDB$DESCRIPTION = \r\n'it''s'\r\nWHERE RDB$INDEX_NAME = 'X'"},
    {"system table: generator", stInterBase, FB25, Sys, dcGenerator, "G", "", "", "",
     "UPDATE RDB$GENERATORS SET RDB$DESCRIPTION = \r\n'it''s'\r\nWHERE RDB$GENERATOR_NAME = 'G'"},
    {"system table: column", stInterBase, FB25, Sys, dcTableColumn, "C", "", "T", "",
     "UPDATE RDB$RELATION_FIELDS SET RDB$DESCRIPTION = \r\n'it''s'\r\nWHERE RDB$RELATION_NAME = 'T' AND RDB$FIELD_NAME = 'C'"},
    {"system table: parameter", stInterBase, FB25, Sys, dcProcedureParameter, "X", "", "P", "",
     "UPDATE RDB$PROCEDURE_PARAMETERS SET RDB$DESCRIPTION = \r\n'it''s'\r\nWHERE RDB$PROCEDURE_NAME = 'P' AND RDB$PARAMETER_NAME = 'X'"},
    {"system table: a constraint gets a comment", stInterBase, FB25, Sys, dcConstraint, "K", "", "T", "", "/* it's */"},
    {"DESCRIBE: domain", stInterBase, FB25, Dsc, dcDomain, "D", "", "", "", "DESCRIBE DOMAIN D\r\n'it''s'"},
    {"DESCRIBE: external function", stInterBase, FB25, Dsc, dcExternalFunction, "F", "", "", "", "DESCRIBE FUNCTION F\r\n'it''s'"},
    {"DESCRIBE: table column", stInterBase, FB25, Dsc, dcTableColumn, "C", "", "T", "", "DESCRIBE FIELD C TABLE T\r\n'it''s'"},
    {"DESCRIBE: view column", stInterBase, FB25, Dsc, dcViewColumn, "C", "", "V", "", "DESCRIBE FIELD C VIEW V\r\n'it''s'"},
    {"DESCRIBE: parameter", stInterBase, FB25, Dsc, dcProcedureParameter, "X", "", "P", "",
     "DESCRIBE PARAMETER X PROCEDURE P\r\n'it''s'"},
    {"DESCRIBE: no constraint", stInterBase, FB25, Dsc, dcConstraint, "K", "", "T", "", ""},
    {"DESCRIBE: no collation", stInterBase, FB25, Dsc, dcCollation, "CO", "", "", "", ""},
    {"COMMENT: function", stInterBase, FB25, Cmt, dcFunction, "F", "", "", "", "COMMENT ON FUNCTION F IS\r\n'it''s'"},
    {"COMMENT: external function", stInterBase, FB25, Cmt, dcExternalFunction, "F", "", "", "",
     "COMMENT ON EXTERNAL FUNCTION F IS\r\n'it''s'"},
    {"COMMENT: collation", stInterBase, FB25, Cmt, dcCollation, "CO", "", "", "", "COMMENT ON COLLATION CO IS\r\n'it''s'"},
    {"COMMENT: column", stInterBase, FB25, Cmt, dcTableColumn, "C", "", "T", "", "COMMENT ON COLUMN T.C IS\r\n'it''s'"},
    {"COMMENT: parameter", stInterBase, FB25, Cmt, dcProcedureParameter, "X", "", "P", "", "COMMENT ON PARAMETER P.X IS\r\n'it''s'"},
    {"COMMENT: no constraint", stInterBase, FB25, Cmt, dcConstraint, "K", "", "T", "", ""},
    // ---- InterBase 2020: ALTER DESCRIPTION whatever the mode ----
    {"IB 2020 column, system-table mode", stInterBase, IB2020, Sys, dcTableColumn, "C", "", "T", "",
     "ALTER DESCRIPTION FOR COLUMN T.C SET\r\n'it''s'"},
    {"IB 2020 column, DESCRIBE mode", stInterBase, IB2020, Dsc, dcTableColumn, "C", "", "T", "",
     "ALTER DESCRIPTION FOR COLUMN T.C SET\r\n'it''s'"},
    {"IB 2020 column, COMMENT mode", stInterBase, IB2020, Cmt, dcTableColumn, "C", "", "T", "",
     "ALTER DESCRIPTION FOR COLUMN T.C SET\r\n'it''s'"},
    {"IB 2020 function", stInterBase, IB2020, Cmt, dcFunction, "F", "", "", "", "ALTER DESCRIPTION FOR PROCEDURE F SET\r\n'it''s'"},
    {"IB 2020 parameter", stInterBase, IB2020, Dsc, dcProcedureParameter, "X", "", "P", "",
     "ALTER DESCRIPTION FOR PARAMETER P.X SET\r\n'it''s'"},
    {"IB 2020 constraint keeps the mode's comment", stInterBase, IB2020, Sys, dcConstraint, "K", "", "T", "", "/* it's */"},
    // ---- Firebird 3 and later: COMMENT ON whatever the mode ----
    {"Firebird 3 table, system-table mode", stInterBase, FB30, Sys, dcTable, "T", "", "", "", "COMMENT ON TABLE T IS\r\n'it''s'"},
    {"Firebird 3 exception, DESCRIBE mode", stInterBase, FB30, Dsc, dcException, "E", "", "", "", "COMMENT ON EXCEPTION E IS\r\n'it''s'"},
    {"Firebird 3 procedure parameter", stInterBase, FB30, Sys, dcProcedureParameter, "X", "", "P", "",
     "COMMENT ON PROCEDURE PARAMETER P.X IS\r\n'it''s'"},
    {"Firebird 3 function parameter", stInterBase, FB30, Dsc, dcFunctionParameter, "X", "", "F", "",
     "COMMENT ON FUNCTION PARAMETER F.X IS\r\n'it''s'"},
    {"Firebird 3 package", stInterBase, FB30, Sys, dcPackage, "PK", "", "", "", "COMMENT ON PACKAGE PK IS\r\n'it''s'"},
    {"Firebird 3 collation", stInterBase, FB30, Dsc, dcCollation, "CO", "", "", "", "COMMENT ON COLLATION CO IS\r\n'it''s'"},
    {"Firebird 3 has no constraint descriptions", stInterBase, FB30, Sys, dcConstraint, "K", "", "T", "", ""},
    {"Firebird 4 view column with quoted names", stInterBase, FB40, Dsc, dcViewColumn, "c", "", "v", "",
     "COMMENT ON COLUMN \"v\".\"c\" IS\r\n'it''s'"},

    // ---- ASA ----
    {"ASA procedure", stASA, FB30, Sys, dcProcedure, "P", "", "", "", "COMMENT ON PROCEDURE P IS\r\n'it''s'"},
    {"ASA generator", stASA, FB30, Sys, dcGenerator, "G", "", "", "", "COMMENT ON SEQUENCE G IS\r\n'it''s'"},
    {"ASA package", stASA, FB30, Sys, dcPackage, "PK", "", "", "", "COMMENT ON PACKAGE PK IS\r\n'it''s'"},
    {"ASA column", stASA, FB30, Sys, dcTableColumn, "C", "", "T", "", "COMMENT ON COLUMN T.C IS\r\n'it''s'"},
    {"ASA column without owner", stASA, FB30, Sys, dcTableColumn, "C", "", "", "", ""},
    {"ASA exception", stASA, FB30, Sys, dcException, "E", "", "", "", ""},
    // ---- Oracle ----
    {"Oracle domain is a type", stOracle, FB30, Sys, dcDomain, "D", "S", "", "", "COMMENT ON TYPE S.D IS\r\n'it''s'"},
    {"Oracle column of a table in a schema", stOracle, FB30, Sys, dcTableColumn, "C", "", "T", "S",
     "COMMENT ON COLUMN S.T.C IS\r\n'it''s'"},
    {"Oracle trigger of a table in a schema", stOracle, FB30, Sys, dcTrigger, "TRG", "", "T", "S",
     "COMMENT ON TRIGGER S.T.TRG IS\r\n'it''s'"},
    {"Oracle trigger of a table not read", stOracle, FB30, Sys, dcTrigger, "TRG", "", "T", "",
     "COMMENT ON TRIGGER T.TRG IS\r\n'it''s'"},
    {"Oracle exception: placeholder", stOracle, FB30, Sys, dcException, "E", "", "", "", "/* COMMENT ON... */"},
    {"Oracle parameter: placeholder", stOracle, FB30, Sys, dcProcedureParameter, "X", "", "P", "", "/* COMMENT ON... */"},
    // ---- MSSQL (2005 unless said; database level 0) ----
    {"MSSQL table", stMSSQL, FB30, Sys, dcTable, "T", "dbo", "", "",
     "exec sys.sp_addextendedproperty @name=N'MS_Description', @value=N'it''s', @level0type=N'SCHEMA', "
     "@level0name=N'dbo', @level1type=N'TABLE', @level1name=N'T'"},
    {"MSSQL table without schema", stMSSQL, FB30, Sys, dcTable, "T", "", "", "", ""},
    {"MSSQL column of a view", stMSSQL, FB30, Sys, dcViewColumn, "C", "", "V", "dbo",
     "exec sys.sp_addextendedproperty @name=N'MS_Description', @value=N'it''s', @level0type=N'SCHEMA', "
     "@level0name=N'dbo', @level1type=N'VIEW', @level1name=N'V', @level2type=N'COLUMN', @level2name=N'C'"},
    {"MSSQL function parameter", stMSSQL, FB30, Sys, dcFunctionParameter, "@x", "", "F", "dbo",
     "exec sys.sp_addextendedproperty @name=N'MS_Description', @value=N'it''s', @level0type=N'SCHEMA', "
     "@level0name=N'dbo', @level1type=N'FUNCTION', @level1name=N'F', @level2type=N'PARAMETER', @level2name=N'@x'"},
    {"MSSQL trigger without schema", stMSSQL, FB30, Sys, dcTrigger, "TRG", "", "T", "",
     "exec sys.sp_addextendedproperty @name=N'MS_Description', @value=N'it''s', @level0type=N'TRIGGER', "
     "@level0name=N'TRG'"},
    {"MSSQL trigger with schema", stMSSQL, FB30, Sys, dcTrigger, "TRG", "dbo", "T", "",
     "exec sys.sp_addextendedproperty @name=N'MS_Description', @value=N'it''s', @level0type=N'SCHEMA', "
     "@level0name=N'dbo', @level1type=N'TABLE', @level1name=N'T', @level2type=N'TRIGGER', @level2name=N'TRG'"},
    {"MSSQL index of a table", stMSSQL, FB30, Sys, dcIndex, "X", "dbo", "T", "",
     "exec sys.sp_addextendedproperty @name=N'MS_Description', @value=N'it''s', @level0type=N'SCHEMA', "
     "@level0name=N'dbo', @level1type=N'TABLE', @level1name=N'T', @level2type=N'INDEX', @level2name=N'X'"},
    {"MSSQL schema", stMSSQL, FB30, Sys, dcSchema, "s", "", "", "",
     "exec sys.sp_addextendedproperty @name=N'MS_Description', @value=N'it''s', @level0type=N'SCHEMA', "
     "@level0name=N's'"},
    {"MSSQL generator: none", stMSSQL, FB30, Sys, dcGenerator, "G", "dbo", "", "", ""},
    // ---- PostgreSQL ----
    {"PG column", stPostgreSQL, FB30, Sys, dcTableColumn, "c", "", "t", "s", "COMMENT ON COLUMN s.t.c IS 'it''s'"},
    {"PG view column: none", stPostgreSQL, FB30, Sys, dcViewColumn, "c", "", "v", "s", ""},
    {"PG constraint", stPostgreSQL, FB30, Sys, dcConstraint, "k", "s", "t", "", "COMMENT ON CONSTRAINT k ON s.t IS 'it''s'"},
    {"PG trigger of a table in a schema", stPostgreSQL, FB30, Sys, dcTrigger, "trg", "", "t", "s",
     "COMMENT ON TRIGGER trg ON s.t IS 'it''s'"},
    {"PG sequence", stPostgreSQL, FB30, Sys, dcGenerator, "g", "s", "", "", "COMMENT ON SEQUENCE s.g IS 'it''s'"},
    {"PG schema", stPostgreSQL, FB30, Sys, dcSchema, "s", "", "", "", "COMMENT ON SCHEMA s IS 'it''s'"},
    {"PG role: none", stPostgreSQL, FB30, Sys, dcRole, "r", "", "", "", ""},
    // ---- MySQL ----
    {"MySQL table", stMySQL, FB30, Sys, dcTable, "t", "", "", "", "ALTER TABLE `t` COMMENT = 'it\\'s'"},
    {"MySQL view column: none", stMySQL, FB30, Sys, dcViewColumn, "c", "", "v", "", ""},
    {"MySQL index: none", stMySQL, FB30, Sys, dcIndex, "x", "", "t", "", ""},
    // ---- no description forms ----
    {"DB2 table", stDB2, FB30, Sys, dcTable, "T", "S", "", "", ""},
    {"ASE table", stASE, FB30, Sys, dcTable, "T", "dbo", "", "", ""},
};
// clang-format on

void PrintTo(const Case& C, std::ostream* Os) { *Os << C.What; }

class DescriptionText : public ::testing::TestWithParam<Case> {};

TEST_P(DescriptionText, Is) {
    const Case& c = GetParam();
    OneSide side(c.Server, c.Version);
    side.Objs().IBServerOptions.IBCompareOptions.UpdateDescriptionMode = c.Mode;
    side.Objs().MSSQLServerOptions.SQLServerVersion = st_MSSQL2005;
    TDbObj obj(&side.Objs());
    obj.Name = c.Name;
    obj.Schema = c.Schema;
    obj.SetDescription("it's");
    TDbObj owner(&side.Objs());
    owner.Name = c.Owner;
    owner.Schema = c.OwnerSchema;
    TDescriptionSubject subject(c.Class, c.Owner, *c.OwnerSchema ? &owner : nullptr);
    EXPECT_EQ(DescriptionStatement(obj, subject), c.Expected) << c.What;
}

INSTANTIATE_TEST_SUITE_P(Dialects, DescriptionText, ::testing::ValuesIn(Cases),
                         [](const ::testing::TestParamInfo<Case>& I) { return "case" + std::to_string(I.index); });

TEST(DescriptionText, MSSQLVersionAndDatabaseLevel) {
    OneSide side(stMSSQL);
    TDbObj t(&side.Objs());
    t.Name = "T";
    t.Schema = "dbo";
    t.SetDescription("d");
    TMSSQLServerOptions& o = side.Objs().MSSQLServerOptions;
    o.SQLServerVersion = st_MSSQL2000;
    EXPECT_EQ(DescriptionStatement(t, {dcTable}), "");
    o.SQLServerVersion = st_MSSQL2008;
    for (const auto& [level, head] : {std::pair{80, "exec dbo."}, std::pair{90, "exec dbo."}, std::pair{100, "exec sys."}})
    {
        o.MSSQLDatabaseOptions.DatabaseLevel = level;
        EXPECT_EQ(DescriptionStatement(t, {dcTable}).rfind(head, 0), 0u) << level;
    }
    TDescriptionSubject xml(dcDomain);
    xml.XmlSchemaCollection = true;
    EXPECT_NE(DescriptionStatement(t, xml).find("@level1type=N'XML SCHEMA COLLECTION', @level1name=N'T'"),
              std::string::npos);
}

TEST(DescriptionText, MySQLColumnCarriesItsDefinition) {
    OneSide side(stMySQL);
    TTblData t(&side.Objs());
    t.Name = "t";
    auto c = std::make_unique<TFldData>(&side.Objs(), &t);
    c->Name = "c";
    c->OwnerName = "t";
    c->DataType = dtInteger;
    c->Nullable = false;
    c->SetDescription("it's");
    TFldData* col = t.AddColumn(std::move(c));
    EXPECT_EQ(col->GetDescriptionSQL(), "ALTER TABLE `t` MODIFY COLUMN `c` " + col->GetColumnSQL() + " COMMENT 'it\\'s'");
}

// Every kind built so far answers its class, so its description is written in every dialect.
TEST(DescriptionText, KindsAnswerTheirClass) {
    OneSide side;
    TObjs& o = side.Objs();
    TTblData table(&o);
    table.Name = "T";
    TFldData* column = table.AddColumn(std::make_unique<TFldData>(&o, &table));
    column->Name = "C";
    TPrcData proc(&o), func(&o);
    proc.Name = "P";
    func.Name = "F";
    func.IsFunction = true;
    TFldData* procParam = proc.AddInputParam("X", dtInteger);
    TFldData* funcParam = func.AddInputParam("X", dtInteger);
    TExcData exc(&o);
    TGnrData gen(&o, nullptr);
    TIdxData idx(&o);
    idx.TableName = "T";
    TCtrData ctr(&o);
    ctr.SetTableName("T");
    TSchData sch(&o);
    TFldData loose(&o, nullptr);  // a typed name that belongs to no table, view or routine
    struct Row {
        TDbObj* Obj;
        TDescriptionClass Class;
        const char* Owner;
    };
    for (const Row& r : {Row{&table, dcTable, ""}, Row{column, dcTableColumn, "T"}, Row{&proc, dcProcedure, ""},
                         Row{&func, dcFunction, ""}, Row{procParam, dcProcedureParameter, "P"},
                         Row{funcParam, dcFunctionParameter, "F"}, Row{&exc, dcException, ""},
                         Row{&gen, dcGenerator, ""}, Row{&idx, dcIndex, "T"}, Row{&ctr, dcConstraint, "T"},
                         Row{&sch, dcSchema, ""}, Row{&loose, dcNone, ""}}) {
        const TDescriptionSubject s = r.Obj->GetDescriptionSubject();
        EXPECT_EQ(s.Class, r.Class) << r.Obj->ClassName() << " " << r.Obj->Name;
        EXPECT_EQ(s.OwnerName, r.Owner) << r.Obj->ClassName() << " " << r.Obj->Name;
    }
}

TEST(DescriptionText, GatesAndCommentEnd) {
    OneSide side(stInterBase, st_Firebird_25);
    TExcData e(&side.Objs());
    e.Name = "E";
    e.SetDescription("x");
    side.Objs().CompareObjects.Exclude(coDescription);
    EXPECT_EQ(e.GetDescriptionSQL(), "");
    side.Objs().CompareObjects.Include(coDescription);
    e.NoScript = true;
    EXPECT_EQ(e.GetDescriptionSQL(), "");

    // A description put into a comment cannot end it early and run the rest as SQL.
    TCtrData k(&side.Objs());
    k.SetDescription("a*/ DROP TABLE T; /* b **/");
    EXPECT_EQ(k.GetDescriptionSQL(), "/* a* / DROP TABLE T; /* b ** / */");
}

} // namespace
