// Column behaviour beyond the texts: character sets, defaults, domains, copying, the ADD and
// DROP statements and what dropping a column takes along.
#include "ObjectsKit.h"

#include <gtest/gtest.h>

using namespace qnl;
using namespace qnl::test;

namespace {

TFldData* AddColumn(TTblData& Table, const std::string& Name, uint8_t Code, int32_t Length = 0) {
    auto c = std::make_unique<TFldData>(Table.Container, &Table);
    c->Name = Name;
    c->OwnerName = Table.Name;
    c->DataType = Code;
    c->CharLength = Length;
    return Table.AddColumn(std::move(c));
}

TTblData* NewTable(TObjs& Side, const std::string& Name) {
    auto* t = new TTblData(&Side);
    t->Name = Name;
    Side.AddDbObject(t);
    return t;
}

TEST(Column, DataTypeWordsByCode) {
    for (const char* w : DataTypeNames) ASSERT_NE(w, nullptr);
    const std::pair<uint8_t, std::string> spots[] = {{0, "? DataType"}, {4, "DOUBLE PRECISION"}, {21, "TIME"},
                                                     {41, "BLOB"}, {54, "SMALLINT"}, {84, "TABLE"},
                                                     {87, "INTERVAL DAY TO SECOND"}, {96, "BOOLEAN"}};
    for (const auto& [code, word] : spots) EXPECT_EQ(DataTypeName(code), word);
    EXPECT_EQ(std::string(DataTypeName(dtDomain)), "? DataType");  // no word of its own
}

TEST(Column, DefaultInDoubleQuotesBecomesAStringLiteral) {
    TFldData f(nullptr, nullptr);
    for (auto [stored, written] : std::vector<std::pair<std::string, std::string>>{
             {"\"it's\"", "'it''s'"}, {"'plain'", "'plain'"}, {"\"\"", "''"}, {"\"", "\""}, {"0", "0"}, {"", ""}}) {
        f.DefaultValue = stored;
        EXPECT_EQ(f.GetDefault(), written) << stored;
    }
}

TEST(Column, InterBaseTypeCodes) {
    OneSide side;
    TFldData f(&side.Objs(), nullptr);
    struct { int32_t ib, sub; uint8_t code; } cases[] = {
        {7, 0, dtSmallInt}, {8, 0, dtInteger}, {9, 0, dtQuad}, {10, 0, dtFloat}, {12, 0, dtDate}, {13, 0, dtTime},
        {14, 0, dtChar}, {14, 1, dtBinary}, {16, 0, dtBigInt}, {17, 0, dtBoolean}, {23, 0, dtBoolean},
        {24, 0, dtDecFloat}, {25, 0, dtDecFloat}, {26, 0, dtNumeric}, {27, 0, dtDoublePrecision},
        {35, 0, dtTimeStamp}, {37, 0, dtVarChar}, {37, 1, dtVarBinary}, {40, 0, dtCString}, {261, 1, dtBlob},
        {99, 0, dtUnknown}};
    for (auto c : cases) EXPECT_EQ(f.IBTypeToDataType(c.ib, c.sub), c.code) << c.ib;
    EXPECT_FALSE(f.WithTimeZone);
    EXPECT_EQ(f.IBTypeToDataType(29, 0), dtTimeStamp);
    EXPECT_TRUE(f.WithTimeZone);
    side.Objs().IBServerOptions.SQLDialect = 1;
    EXPECT_EQ(f.IBTypeToDataType(35, 0), dtDate);
}

TEST(Column, CharacterSetAndCollationKeepOnlyWhatDiffersFromTheDefaults) {
    OneSide side;
    TObjs& o = side.Objs();
    o.IBServerOptions.SetDBCharSet("UTF8");
    o.IBServerOptions.IBCompareOptions.FldCharsetCompare = true;
    TFldData f(&o, nullptr);
    f.DataType = dtVarChar;
    f.CharLength = 10;

    f.SetCharSetCollation(4, "UTF8", 0, "UTF8");  // the database's own set and its default collation
    EXPECT_EQ(f.CharSetName, "");
    EXPECT_EQ(f.CollationName, "");
    f.SetCharSetCollation(53, "WIN1252", 5, "PXW_CSY");
    EXPECT_EQ(f.CharSetName, "WIN1252");
    EXPECT_EQ(f.CharSetId, 53);
    EXPECT_EQ(f.CollationName, "PXW_CSY");
    f.SetCharSetCollation(53, "WIN1252", 0, "WIN1252");
    EXPECT_EQ(f.CollationName, "");
    EXPECT_EQ(f.GetColumnSQL(), "VARCHAR(10) CHARACTER SET WIN1252");
    f.SetCharSetCollation(4, "UTF8", 1, "UNICODE_CI");
    EXPECT_EQ(f.CharSetName, "");
    EXPECT_EQ(f.CollationName, "UNICODE_CI");

    // Set directly to the database's set, the clause is written only together with a collation.
    f.CharSetName = "UTF8";
    f.CollationName.clear();
    EXPECT_EQ(f.GetColumnSQL(), "VARCHAR(10)");
    f.CollationName = "UNICODE_CI";
    EXPECT_EQ(f.GetColumnSQL(), "VARCHAR(10) CHARACTER SET UTF8 COLLATE UNICODE_CI");
    // Without the compare option neither clause is written.
    o.IBServerOptions.IBCompareOptions.FldCharsetCompare = false;
    EXPECT_EQ(f.GetColumnSQL(), "VARCHAR(10)");

    // NONE is the default when the database names no set.
    OneSide plain;
    TFldData g(&plain.Objs(), nullptr);
    g.DataType = dtChar;
    g.SetCharSetCollation(0, "NONE", 0, "");
    EXPECT_EQ(g.CharSetName, "");

    // Not a character type: only the collation goes; a computed column keeps the character set
    // of its type but takes no collation.
    TFldData n(&o, nullptr);
    n.DataType = dtInteger;
    n.CollationName = "X";
    n.SetCharSetCollation(53, "WIN1252", 5, "PXW_CSY");
    EXPECT_EQ(n.CollationName, "");
    EXPECT_EQ(n.CharSetName, "");
    TFldData c(&o, nullptr);
    c.DataType = dtVarChar;
    c.SetSource("(A || B)");
    c.SetCharSetCollation(53, "WIN1252", 5, "PXW_CSY");
    EXPECT_EQ(c.CharSetName + c.CollationName, "WIN1252");
}

TEST(Column, DomainTypedColumnsAskTheirDomain) {
    OneSide side;
    TObjs& o = side.Objs();
    auto* d = NewDomain(&o, "D_NAME");
    o.AddDbObject(d);
    d->TypeField->DataType = dtVarChar;
    d->TypeField->CharLength = 30;
    d->TypeField->CharSetName = "WIN1252";
    d->TypeField->CollationName = "PXW_CSY";
    d->TypeField->DefaultValue = "'none'";

    TFldData f(&o, nullptr);
    f.DataType = dtDomain;
    f.DomainName = "D_NAME";
    EXPECT_EQ(f.GetDomain(), d);
    EXPECT_TRUE(f.IsCharType());
    EXPECT_EQ(f.GetCharSet(), "WIN1252");
    f.SetCharSetCollation(53, "WIN1252", 5, "PXW_CSY");
    EXPECT_EQ(f.CollationName, "");  // the domain's own collation

    // The domain's default is not repeated; another one is, and TYPE OF always writes it.
    f.DefaultValue = "'none'";
    EXPECT_EQ(f.GetColumnSQL(), "D_NAME");
    f.DefaultValue = "'other'";
    EXPECT_EQ(f.GetColumnSQL(), "D_NAME DEFAULT 'other'");
    f.DefaultValue = "'none'";
    f.TypeOf = true;
    EXPECT_EQ(f.GetColumnSQL(), "TYPE OF D_NAME DEFAULT 'none'");

    // A domain that is not there leaves the column's own default in place.
    f.DomainName = "D_GONE";
    f.TypeOf = false;
    EXPECT_EQ(f.GetColumnSQL(), "D_GONE DEFAULT 'none'");
    EXPECT_FALSE(f.IsCharType());

    // A domain over a domain answers through the chain; one over itself ends.
    auto* outer = NewDomain(&o, "D_OUTER");
    o.AddDbObject(outer);
    outer->TypeField->DataType = dtDomain;
    outer->TypeField->DomainName = "D_NAME";
    f.DomainName = "D_OUTER";
    EXPECT_TRUE(f.IsCharType());
    auto* loop = NewDomain(&o, "D_LOOP");
    o.AddDbObject(loop);
    loop->TypeField->DataType = dtDomain;
    loop->TypeField->DomainName = "D_LOOP";
    f.DomainName = "D_LOOP";
    EXPECT_FALSE(f.IsCharType());
}

TEST(Column, AssignCopiesTheDefinitionButNotTheOwnedParts) {
    OneSide side;
    TTblData table(&side.Objs());
    table.Name = "T";
    TFldData src(&side.Objs(), &table);
    src.SetName("C1");
    src.DataType = dtNumeric;
    src.Precision = 15;
    src.Scale = 2;
    src.Nullable = false;
    src.DefaultValue = "\"a\"";
    src.CharSetName = "UTF8";
    src.SetDescription("why\nnot");
    src.ArrayBounds = {{1, 2}};
    src.BaseDataType = dtBigInt;
    src.CounterpartPosition = 4;
    src.SetDialect().DomainSchema = "S";
    src.SetDialect().RowGuidCol = true;
    src.SetDialect().MySQLUnsigned = true;
    src.SetDialect().EnumValues.Add("'x'");
    src.SetRare().NotNullName = "NN_C1";
    src.SetRare().CheckSource = "(C1 > 0)";

    TFldData dst(&side.Objs(), nullptr);
    dst.SetDialect().EnumValues.Add("'own'");
    dst.SetDialect().MySQLZerofill = true;
    dst.Assign(src);
    EXPECT_EQ(dst.Name, "C1");
    EXPECT_EQ(dst.GetTypeSQL(), "NUMERIC(15,2)");
    EXPECT_FALSE(dst.Nullable);
    EXPECT_EQ(dst.DefaultValue, "'a'");
    EXPECT_EQ(dst.CharSetName, "UTF8");
    EXPECT_EQ(dst.Description(), "why\r\nnot");
    EXPECT_TRUE(dst.ArrayBounds.empty());
    EXPECT_EQ(dst.BaseDataType, 0);
    EXPECT_EQ(dst.CounterpartPosition, -1);
    EXPECT_EQ(dst.Owner, nullptr);
    EXPECT_EQ(dst.IdentityGenerator, nullptr);
    EXPECT_NE(src.IdentityGenerator, nullptr);  // a table column has its own
    // The other dialects' facts come along, but for the enum values and MySQL number flags.
    EXPECT_EQ(dst.Dialect().DomainSchema, "S");
    EXPECT_TRUE(dst.Dialect().RowGuidCol);
    EXPECT_EQ(dst.Dialect().EnumValues.Text(), "'own'\r\n");
    EXPECT_FALSE(dst.Dialect().MySQLUnsigned);
    EXPECT_TRUE(dst.Dialect().MySQLZerofill);
    EXPECT_EQ(dst.Rare().NotNullName, "NN_C1");
    EXPECT_EQ(dst.Rare().CheckSource, "(C1 > 0)");
    TFldData plain(&side.Objs(), nullptr);
    dst.Assign(plain);
    EXPECT_EQ(dst.Rare().NotNullName, "");
    EXPECT_EQ(dst.Rare().CheckSource, "");
    EXPECT_EQ(dst.Dialect().DomainSchema, "");
    EXPECT_FALSE(dst.Dialect().RowGuidCol);
    EXPECT_EQ(dst.Dialect().EnumValues.Text(), "'own'\r\n");
    EXPECT_TRUE(dst.Dialect().MySQLZerofill);
}

TEST(Column, ArrayBounds) {
    EXPECT_FALSE(ArrayBoundsDiffer({}, {}));
    EXPECT_FALSE(ArrayBoundsDiffer({{1, 10}, {0, 3}}, {{1, 10}, {0, 3}}));
    EXPECT_TRUE(ArrayBoundsDiffer({{1, 10}}, {{1, 20}}));
    EXPECT_TRUE(ArrayBoundsDiffer({{1, 10}}, {{1, 10}, {0, 3}}));
    EXPECT_TRUE(ArrayBoundsDiffer({{1, 10}}, {}));
}

TEST(Column, TableColumnListFollowsTheDialectsCaseRule) {
    OneSide fb;
    TTblData t(&fb.Objs());
    AddColumn(t, "Name", dtInteger);
    EXPECT_EQ(AddColumn(t, "Name", dtInteger), nullptr);
    EXPECT_NE(AddColumn(t, "NAME", dtInteger), nullptr);
    EXPECT_EQ(t.FindColumn("name"), nullptr);
    EXPECT_EQ(t.GetColumnCount(), 2);

    OneSide ms(stMSSQL);
    TTblData m(&ms.Objs());
    TFldData* c = AddColumn(m, "Name", dtInteger);
    EXPECT_EQ(m.FindColumn("NAME"), c);
    EXPECT_EQ(AddColumn(m, "NAME", dtInteger), nullptr);
}

TEST(Column, AddAndDropStatementsPerDialect) {
    LinkedSides s;
    s.master.NamePrefix = "DEV_";
    s.target.NamePrefix = "PRD_";
    TTblData* t = NewTable(s.M(), "DEV_ORDERS");
    TFldData* c = AddColumn(*t, "NOTE", dtVarChar, 40);
    EXPECT_EQ(c->GetCreateStatement(), "ALTER TABLE PRD_ORDERS ADD NOTE VARCHAR(40)");
    EXPECT_EQ(c->GetDropSQL(), "ALTER TABLE DEV_ORDERS DROP NOTE");

    TFldData loose(&s.M(), nullptr);
    loose.Name = "X";
    loose.OwnerName = "order";
    loose.DataType = dtInteger;
    EXPECT_EQ(loose.GetCreateStatement(), "ALTER TABLE \"order\" ADD X INTEGER");

    OneSide ms(stMSSQL);
    TTblData mt(&ms.Objs());
    mt.Name = "T";
    mt.Schema = "dbo";
    TFldData* mc = AddColumn(mt, "C", dtInteger);
    EXPECT_EQ(mc->GetCreateStatement(), "ALTER TABLE dbo.T ADD C INTEGER NULL");
    EXPECT_EQ(mc->GetDropSQL(), "ALTER TABLE dbo.T DROP COLUMN C");

    OneSide ora(stOracle);
    TTblData ot(&ora.Objs());
    ot.Name = "T";
    TFldData* oc = AddColumn(ot, "C", dtNumber);
    EXPECT_EQ(oc->GetDropSQL(), "ALTER TABLE T DROP (C)");

    OneSide asa(stASA);
    TTblData at(&asa.Objs());
    at.Name = "T";
    at.SetDbOwner("joe");
    TFldData* ac = AddColumn(at, "C", dtInteger);
    EXPECT_EQ(ac->GetCreateStatement(), "ALTER TABLE joe.T ADD C INTEGER NULL");
    EXPECT_EQ(ac->GetDropSQL(), "ALTER TABLE joe.T DROP C");
}

// A stand-in for an MSSQL default constraint on one column.
class DefaultConstraint : public TDbObj {
public:
    DefaultConstraint(TCustomObjs* C, std::string Column) : TDbObj(C) {
        FColumns.Add(Column);
        Kind = dboDefault;
        Name = "DF_" + Column;
        Exists = false;
    }
    TObjListKind GetObjList() const override { return olConstraints; }
    int GetConstraintType() const override { return 5; }
    const TStringList* GetKeyFields() const override { return &FColumns; }
    std::string GetConstraintText(bool InColumn) override { return InColumn ? "CONSTRAINT DF DEFAULT 0" : "?"; }

private:
    TStringList FColumns;
};

TEST(Column, NewNotNullMSSQLColumnTakesItsDefaultConstraintAlong) {
    OneSide ms(stMSSQL);
    TObjs& o = ms.Objs();
    TTblData t(&o);
    t.Name = "T";
    TFldData* c = AddColumn(t, "QTY", dtInteger);
    DefaultConstraint df(&o, "qty"), other(&o, "PRICE");
    RegisterDependency(&o, &df, c);
    RegisterDependency(&o, &other, c);
    EXPECT_EQ(c->GetCreateStatement(), "ALTER TABLE T ADD QTY INTEGER NULL");
    c->Nullable = false;
    EXPECT_EQ(c->GetCreateStatement(), "ALTER TABLE T ADD QTY INTEGER NOT NULL CONSTRAINT DF DEFAULT 0");
    EXPECT_TRUE(df.GetExists());
    EXPECT_FALSE(other.GetExists());
}

// A procedure whose body can be emptied.
class Proc : public TDbObj {
public:
    Proc(TCustomObjs* C, const std::string& AName) : TDbObj(C) {
        Kind = dboProcedure;
        Name = AName;
        SetSource("BEGIN SELECT C FROM T; END");
    }
    TObjListKind GetObjList() const override { return olProcedures; }
    std::string GetEmptyBody() const override { return "BEGIN END"; }
    void EmptyBody(bool AddStatement) override {
        SetSource(GetEmptyBody());
        if (AddStatement) GetSQLExec()->AddStatement("ALTER " + Name, skProcedure, Name, dboProcedure, saEmptyBody);
    }
};

class View : public TDbObj {
public:
    View(TCustomObjs* C, const std::string& AName) : TDbObj(C) {
        Kind = dboView;
        Name = AName;
    }
    TObjListKind GetObjList() const override { return olViews; }
    std::string GetDropSQL() override { return "DROP VIEW " + Name; }
};

TEST(Column, DroppingAColumnFirstDropsOrEmptiesWhatUsesIt) {
    LinkedSides s;
    TTblData* t = NewTable(s.T(), "T");
    TTblData* other = NewTable(s.T(), "U");
    TFldData* c = AddColumn(*t, "C", dtInteger);
    TFldData* calc = AddColumn(*t, "C2", dtInteger);
    calc->SetSource("(C * 2)");
    TFldData* unrelated = AddColumn(*other, "X", dtInteger);
    auto* p = s.File(s.T(), new Proc(&s.T(), "P"));
    auto* v = s.File(s.T(), new View(&s.T(), "V"));
    auto* v2 = s.File(s.T(), new View(&s.T(), "V_OTHER"));
    RegisterDependency(&s.T(), calc, c);
    RegisterDependency(&s.T(), p, c);
    RegisterDependency(&s.T(), v, t);
    RegisterDependency(&s.T(), v2, other);
    (void)unrelated;

    c->DoDrop();
    EXPECT_EQ(s.exec.Texts(), (std::vector<std::string>{
                                  "/* Drop T(C2) for drop T(C) */",
                                  "DROP VIEW V",  // the computed column's own drop takes the table's views
                                  "ALTER TABLE T DROP C2",
                                  "/* Empty P for drop T(C) */",
                                  "ALTER P",
                                  "ALTER TABLE T DROP C",
                              }));
    EXPECT_FALSE(c->GetExists());
    EXPECT_FALSE(calc->GetExists());
    EXPECT_TRUE(v2->GetExists());
    EXPECT_TRUE(t->NeedsReorder);
    EXPECT_EQ(s.exec.Statements(2)->FieldName, "T");
}

TEST(Column, DroppingATableColumnMarksBothTablesForReorder) {
    LinkedSides s;
    TTblData* tm = NewTable(s.M(), "T");
    TTblData* tt = NewTable(s.T(), "T");
    LinkedSides::Pair(tm, tt);
    TFldData* c = AddColumn(*tt, "OLD", dtInteger);
    c->MarkDropped();
    EXPECT_TRUE(tt->NeedsReorder);
    EXPECT_TRUE(tm->NeedsReorder);
}

TEST(Column, CreatingADomainTypedColumnCreatesItsDomainFirst) {
    LinkedSides s;
    auto* d = s.File(s.M(), NewDomain(&s.M(), "D_QTY"));
    d->TypeField->DataType = dtInteger;
    d->TypeField->Nullable = false;
    TTblData* t = NewTable(s.M(), "T");
    t->Exists = true;
    TFldData* c = AddColumn(*t, "QTY", dtDomain);
    c->DomainName = "D_QTY";
    c->Exists = false;
    c->CreateDependDef();
    EXPECT_EQ(s.exec.Texts(), (std::vector<std::string>{"CREATE DOMAIN D_QTY AS INTEGER NOT NULL",
                                                        "ALTER TABLE T ADD QTY D_QTY"}));
    EXPECT_TRUE(c->GetExists());
}

TEST(Column, ComputedColumnDeclaresTheExternalFunctionsItUses) {
    LinkedSides s;
    class Udf : public TDbObj {
    public:
        explicit Udf(TCustomObjs* C) : TDbObj(C) {
            Kind = dboFunction;
            Name = "F_ROUND";
        }
        TObjListKind GetObjList() const override { return olUDFs; }
        std::string GetCreateSQL() override { return "DECLARE EXTERNAL FUNCTION F_ROUND"; }
    };
    auto* f = s.File(s.M(), new Udf(&s.M()));
    TTblData* t = NewTable(s.M(), "T");
    t->Exists = true;
    TFldData* c = AddColumn(*t, "R", dtUnknown);
    c->SetSource("(F_ROUND(A))");
    c->Exists = false;
    RegisterDependency(&s.M(), c, f);
    c->CreateDependDef();
    EXPECT_EQ(s.exec.Texts(), (std::vector<std::string>{"DECLARE EXTERNAL FUNCTION F_ROUND",
                                                        "ALTER TABLE T ADD R COMPUTED BY (F_ROUND(A))"}));
    EXPECT_FALSE(c->DependsOn.Items(0)->Active);
}

TEST(Column, TableBodyListsItsColumns) {
    OneSide side;
    TTblData t(&side.Objs());
    t.Name = "T";
    AddColumn(t, "ID", dtInteger)->Nullable = false;
    AddColumn(t, "TOTAL", dtUnknown)->SetSource("(ID * 2)");
    EXPECT_EQ(t.GetBodySQL(), "TABLE T(ID INTEGER NOT NULL,\r\nTOTAL COMPUTED BY (ID * 2))");
    t.SetCreatePhase(true);
    EXPECT_EQ(t.GetBodySQL(), "TABLE T(ID INTEGER NOT NULL)");
}

} // namespace
