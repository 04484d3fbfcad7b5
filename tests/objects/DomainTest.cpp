// Domains and user types of every dialect, conversions, the domain passes and the
// InterBase/Firebird alteration of the versions without a server here, on a recording executor.
#include "ObjectsKit.h"

#include "objects/qnlComp_Viw.h"

#include <gtest/gtest.h>

#include <functional>

namespace qnl::test {
namespace {

using Steps = std::vector<std::string>;
using Setup = std::function<void(TDmnData&)>;

void Typed(TFldData& F, uint8_t Code, int32_t Length = 0) {
    F.DataType = Code;
    F.CharLength = Length;
    F.FieldLength = Length;
}

TFldData& AddAttribute(TColumnNameList& List, TDmnData& D, const std::string& Name, uint8_t Code, int32_t Length = 0) {
    auto a = std::make_unique<TFldData>(D.Container, &D);
    a->Name = Name;
    Typed(*a, Code, Length);
    TFldData& r = *a;
    List.AddColumn(Name, std::move(a));
    return r;
}

struct TextCase {
    const char* Name;
    TServerType Type;
    const char* Domain;
    Setup Fill;
    const char* Create;
    const char* Drop;
    TMSSQLServerVersionType MSSQLVersion = st_MSSQL2005;
};

const TextCase TextCases[] = {
    {"Firebird", stInterBase, "D",
     [](TDmnData& D) {
         Typed(*D.TypeField, dtVarChar, 20);
         D.TypeField->Nullable = false;
         D.TypeField->DefaultValue = "'x'";
         D.TypeField->SetRare().CheckSource = "(VALUE <> '')";
     },
     "CREATE DOMAIN D AS VARCHAR(20) DEFAULT 'x' NOT NULL CHECK(VALUE <> '')", "/* Drop: D (TDmnData) */\r\nDROP DOMAIN D"},
    {"DB2", stDB2, "D", [](TDmnData& D) { Typed(*D.TypeField, dtInteger); }, "CREATE DOMAIN D INTEGER",
     "/* Drop: D (TDmnData) */\r\nDROP DOMAIN D"},
    {"MSSQL sp_addtype", stMSSQL, "D", [](TDmnData& D) { D.BaseType = "int"; },
     "EXEC sp_addtype N'D', N'int', N'NULL'", "DROP TYPE D"},
    {"MSSQL 2000 drops with sp_droptype", stMSSQL, "D", [](TDmnData& D) { D.BaseType = "int"; },
     "EXEC sp_addtype N'D', N'int', N'NULL'", "exec sp_droptype 'D'", st_MSSQL2000},
    {"MSSQL alias type", stMSSQL, "D",
     [](TDmnData& D) {
         D.IsAliasType = true;
         D.Schema = "SALES";
         Typed(*D.TypeField, dtVarChar, 10);
         D.TypeField->Nullable = false;
         D.TypeField->CollationName = "Latin1_General_CI_AS";  // a type takes no collation
     },
     "CREATE TYPE SALES.D FROM VARCHAR(10) NOT NULL", "DROP TYPE SALES.D"},
    {"MSSQL XML schema collection", stMSSQL, "X",
     [](TDmnData& D) {
         D.BaseType = "XML SCHEMA COLLECTION";
         D.SetSource("<xsd:schema x='1'/>");
     },
     "CREATE XML SCHEMA COLLECTION X AS N'<xsd:schema x=''1''/>'", "DROP XML SCHEMA COLLECTION X"},
    {"ASE", stASE, "D", [](TDmnData& D) { D.BaseType = "int"; }, "EXEC sp_addtype N'D', N'int', N'NULL'",
     "exec sp_droptype 'D'"},
    {"Oracle VARRAY", stOracle, "D",
     [](TDmnData& D) {
         D.TypeKind = 3;
         D.VarrayLimit = 10;
         Typed(*D.TypeField, dtNumber);
     },
     "CREATE OR REPLACE TYPE D AS VARRAY(10) OF NUMBER", "DROP TYPE D"},
    {"Oracle nested table written with IS", stOracle, "D",
     [](TDmnData& D) {
         D.TypeKind = 5;
         Typed(*D.TypeField, dtNumber);
     },
     "CREATE OR REPLACE TYPE D IS TABLE OF NUMBER", "DROP TYPE D"},
    {"Oracle object with a method, a stamp and an added attribute", stOracle, "D",
     [](TDmnData& D) {
         D.TypeKind = 2;
         D.TimeStamp = "2020-01-01:00:00:00";
         AddAttribute(D.Attributes, D, "A", dtNumber);
         AddAttribute(D.Attributes, D, "B", dtVarChar2, 10);
         auto m = std::make_unique<TMemberPrcData>(D.Container);
         m->Name = "F";
         m->IsFunction = true;
         m->AddOutputParam("", dtNumber);
         D.Methods.push_back(std::move(m));
         D.Directive.NotFinal = true;
         AddAttribute(D.AddedAttributes, D, "C", dtNumber);
         D.Cascade = true;
     },
     "CREATE OR REPLACE TYPE D\r\n   TIMESTAMP '2020-01-01:00:00:00'\r\n AS OBJECT\r\n  (A NUMBER,\r\n   B "
     "VARCHAR2(10),\r\n   MEMBER FUNCTION F RETURN NUMBER)\r\n   NOT FINAL;\r\n\r\nALTER TYPE D ADD ATTRIBUTE\r\n  "
     "(C NUMBER)\r\n   CASCADE",
     "DROP TYPE D"},
    {"PostgreSQL domain", stPostgreSQL, "d",
     [](TDmnData& D) {
         Typed(*D.TypeField, dtInteger);
         D.TypeField->Nullable = false;
     },
     "CREATE DOMAIN d integer not null", "DROP DOMAIN d"},
    {"PostgreSQL base type with only the defaults", stPostgreSQL, "t", [](TDmnData& D) { D.PGOptions.IsType = true; },
     "CREATE TYPE t(\r\nALIGNMENT = int4,\r\nSTORAGE = plain)", "DROP TYPE t"},
    {"PostgreSQL base type with every option", stPostgreSQL, "t",
     [](TDmnData& D) {
         TPGTypeOptions& o = D.PGOptions;
         o.IsType = true;
         o.Input = "t_in";
         o.Output = "t_out";
         o.InternalLength = 16;
         o.PassedByValue = true;
         o.Alignment = 0;
         o.Storage.clear();
         o.Default = "0";
         o.Delimiter = "'";
     },
     "CREATE TYPE t(\r\nINPUT = t_in,\r\nOUTPUT = t_out,\r\nINTERNALLENGTH = 16,\r\nPASSEDBYVALUE,\r\nDEFAULT = "
     "0,\r\nDELIMITER = '''')",
     "DROP TYPE t"},
    {"PostgreSQL composite type", stPostgreSQL, "t",
     [](TDmnData& D) {
         D.PGOptions.IsType = true;
         AddAttribute(D.PGOptions.Attributes, D, "a", dtInteger);
         AddAttribute(D.PGOptions.Attributes, D, "b", dtVarChar, 5);
     },
     "CREATE TYPE t AS (\r\na integer,\r\nb varchar(5))", "DROP TYPE t"},
};

class DomainText : public ::testing::TestWithParam<TextCase> {};

TEST_P(DomainText, CreateAndDrop) {
    const TextCase& c = GetParam();
    OneSide side(c.Type);
    side.Objs().MSSQLServerOptions.SQLServerVersion = c.MSSQLVersion;
    TDmnData d(&side.Objs());
    d.Name = c.Domain;
    c.Fill(d);
    EXPECT_EQ(d.GetCreateSQL(), c.Create) << c.Name;
    EXPECT_EQ(d.GetDropSQL(), c.Drop) << c.Name;
}

INSTANTIATE_TEST_SUITE_P(Dialects, DomainText, ::testing::ValuesIn(TextCases),
                         [](const auto& Info) { return "Case" + std::to_string(Info.index); });

TEST(DomainText, ConversionAndDescriptionClass) {
    OneSide side(stPostgreSQL);
    TCnvData c(&side.Objs());
    c.Name = "c";
    c.Schema = "s";
    c.IsDefault = true;
    c.SourceEncoding = "LATIN1";
    c.DestEncoding = "UTF8";
    c.FunctionName = "f";
    EXPECT_EQ(c.GetCreateSQL(), "CREATE DEFAULT CONVERSION s.c FOR 'LATIN1' TO 'UTF8' FROM s.f");
    EXPECT_EQ(c.GetDropSQL(), "DROP CONVERSION s.c");
    TDmnData x(&side.Objs());
    x.BaseType = "XML SCHEMA COLLECTION";
    EXPECT_EQ(x.GetDescriptionSubject().Class, dcDomain);
    EXPECT_TRUE(x.GetDescriptionSubject().XmlSchemaCollection);
}

// ---- the InterBase/Firebird alteration ----

struct AlterCase {
    const char* Name;
    TIBSQLServerVersionType Version;
    Setup Target, Master;
    Steps Expected;
    bool Allow = false;
    bool CharSets = false;
    const char* Domain = "D";
    // The two databases' default character sets, and whether the script changes the target's.
    const char* MasterDefault = "";
    const char* TargetDefault = "";
    bool DbCharSets = false;
};

Setup Type(uint8_t Code, int32_t Length = 0) {
    return [=](TDmnData& D) { Typed(*D.TypeField, Code, Length); };
}
Setup And(Setup A, std::function<void(TFldData&)> B) {
    return [=](TDmnData& D) {
        A(D);
        B(*D.TypeField);
    };
}
Setup Text(int32_t Length, const char* CharSet) {
    return And(Type(dtVarChar, Length), [=](TFldData& F) { F.CharSetName = CharSet; });
}
Setup Check(Setup A, const char* Source) {
    return And(A, [=](TFldData& F) { F.SetRare().CheckSource = Source; });
}

const std::string NotChanged = "the target's server has no statement for it */";

std::string RowsKept(const std::string& From, const std::string& To) {
    return "/* WARNING: the character set of domain D is not changed (" + From + " -> " + To +
           "): the server converts the rows of its columns only as it reads them, and a character " + To +
           " lacks would make its row unreadable";
}

const AlterCase AlterCases[] = {
    {"a shorter text with conversions on Firebird 2.5", st_Firebird_25, Type(dtVarChar, 40), Type(dtVarChar, 20),
     {"[3] ALTER TABLE T DROP CALC",
      "[2] UPDATE RDB$FIELDS SET RDB$FIELD_LENGTH=20, RDB$CHARACTER_LENGTH=20\r\n  WHERE RDB$FIELD_NAME='D'"},
     true},
    {"the same on Firebird 3 is not made and drops nothing", st_Firebird_30, Type(dtVarChar, 40), Type(dtVarChar, 20),
     {"/* WARNING: the length of domain D is not changed (VARCHAR(40) -> VARCHAR(20)): " + NotChanged},
     true},
    {"the same without conversions is a warning", st_Firebird_25, Type(dtVarChar, 40), Type(dtVarChar, 20),
     {"/* WARNING:\r\nCannot perform safe conversion of domain D datatype from VARCHAR(40) to VARCHAR(20) */"}},
    {"a longer text", st_Firebird_30, Type(dtVarChar, 20), Type(dtVarChar, 40),
     {"[3] ALTER TABLE T DROP CALC", "[2] ALTER DOMAIN D TYPE VARCHAR(40)"}},
    {"a type change on InterBase 5 is not made", st_InterBase_5x, Type(dtSmallInt), Type(dtInteger),
     {"[3] ALTER TABLE T DROP CALC",
      "/* WARNING: the type of domain D is not changed (SMALLINT -> INTEGER): " + NotChanged}},
    {"a date type on InterBase 5", st_InterBase_5x, Type(dtTimeStamp), Type(dtDate),
     {"[3] ALTER TABLE T DROP CALC", "[2] UPDATE RDB$FIELDS SET RDB$FIELD_TYPE=12\r\n  WHERE RDB$FIELD_NAME = 'D'"}},
    {"only the check differs: no type statement", st_Firebird_25, Check(Type(dtInteger), "(VALUE > 0)"),
     Check(Type(dtInteger), "(VALUE >= 0)"),
     {"/* Alter Domain: D - Check(...) */", "[2] ALTER DOMAIN D DROP CONSTRAINT", "[2] ALTER DOMAIN D ADD CHECK(VALUE >= 0)"}},
    {"a check removed on Firebird 2.1", st_Firebird_21, Check(Type(dtInteger), "(VALUE > 0)"), Type(dtInteger),
     {"/* Alter Domain: D - Check(...) */", "[2] ALTER DOMAIN D DROP CONSTRAINT"}},
    {"a check on InterBase 5 through QTM$TEMP, the name quoted", st_InterBase_5x, Check(Type(dtInteger), "(VALUE > 0)"),
     Check(Type(dtInteger), "(VALUE >= 0)"),
     {"/* Alter Domain: \"D'Q\" - Check(...) */", "[2] CREATE DOMAIN QTM$TEMP AS INTEGER CHECK(VALUE >= 0)",
      "[2] Update RDB$Fields set Rdb$Validation_Source =\r\n(Select Rdb$Validation_Source from Rdb$Fields where "
      "Rdb$Field_Name='QTM$TEMP'),\r\nRdb$Validation_BLR =\r\n(Select Rdb$Validation_BLR from Rdb$Fields where "
      "Rdb$Field_Name='QTM$TEMP')\r\nwhere RDB$FIELD_NAME='D''Q'",
      "[2] DROP DOMAIN QTM$TEMP"},
     false, false, "D'Q"},
    {"blob sub-type and segment on Firebird 2.5", st_Firebird_25, Type(dtBlob),
     And(Type(dtBlob), [](TFldData& F) {
         F.SubType = 1;
         F.SegmentLength = 100;
     }),
     {"[2] Update Rdb$Fields set RDB$FIELD_SUB_TYPE = 1\r\nwhere Rdb$Field_Name='D'",
      "[2] Update Rdb$Fields set RDB$SEGMENT_LENGTH = 100\r\nwhere Rdb$Field_Name='D'"}},
    {"blob sub-type on Firebird 4 is not made", st_Firebird_40, Type(dtBlob),
     And(Type(dtBlob), [](TFldData& F) { F.SubType = 1; }),
     {"/* WARNING: the blob sub-type of domain D is not changed (0 -> 1): " + NotChanged}},
    {"a character set on Firebird 2.5", st_Firebird_25, Text(20, "WIN1252"), Text(20, "ISO8859_1"),
     {"[3] ALTER TABLE T DROP CALC", "[2] ALTER DOMAIN D TYPE VARCHAR(20) CHARACTER SET ISO8859_1",
      "[2] Update Rdb$Fields set Rdb$Character_Set_ID =\r\n(Select C.Rdb$Character_Set_ID from Rdb$Character_Sets "
      "C\r\nwhere C.Rdb$Character_Set_Name='ISO8859_1')\r\nwhere Rdb$Field_Name='D'"},
     false, true},
    // The server would convert the rows as it reads them, and fail on a character the new set
    // lacks: the domain stays, and nothing is dropped for it.
    {"a character set on Firebird 3 that could lose rows is not changed", st_Firebird_30, Text(20, "WIN1252"),
     Text(20, "ISO8859_1"), {RowsKept("WIN1252", "ISO8859_1") + " */"}, false, true},
    {"... nor with a new length", st_Firebird_30, Text(20, "WIN1252"), Text(30, "ISO8859_1"),
     {RowsKept("WIN1252", "ISO8859_1") + "; its type stays VARCHAR(20) */"}, false, true},
    {"a character set on Firebird 3 that holds every row", st_Firebird_30, Text(20, "WIN1252"), Text(20, "UTF8"),
     {"[3] ALTER TABLE T DROP CALC", "[2] ALTER DOMAIN D TYPE VARCHAR(20) CHARACTER SET UTF8"}, false, true},
    {"a character set not compared stays the target's", st_Firebird_30, Text(20, "WIN1252"), Text(30, "ISO8859_1"),
     {"[3] ALTER TABLE T DROP CALC", "[2] ALTER DOMAIN D TYPE VARCHAR(30) CHARACTER SET WIN1252"}},
    {"NOT NULL on Firebird 3", st_Firebird_30, Type(dtInteger),
     And(Type(dtInteger), [](TFldData& F) { F.Nullable = false; }), {"[2] ALTER DOMAIN D SET NOT NULL"}},
    {"NOT NULL on Firebird 2.5 without conversions is not made", st_Firebird_25, Type(dtInteger),
     And(Type(dtInteger), [](TFldData& F) { F.Nullable = false; }),
     {"/* WARNING: NOT NULL of domain D is not changed (NULL -> NOT NULL): " + NotChanged}},
    {"a default on InterBase 5 through QTM$TEMP", st_InterBase_5x, Type(dtInteger),
     And(Type(dtInteger), [](TFldData& F) { F.DefaultValue = "1"; }),
     {"[2] CREATE DOMAIN QTM$TEMP AS INTEGER DEFAULT 1",
      "[2] Update RDB$Fields set Rdb$Default_Source =\r\n(Select Rdb$Default_Source from Rdb$Fields where "
      "Rdb$Field_Name='QTM$TEMP'),\r\nRdb$Default_Value =\r\n(Select Rdb$Default_Value from Rdb$Fields where "
      "Rdb$Field_Name='QTM$TEMP')\r\nwhere RDB$FIELD_NAME='D'",
      "[2] DROP DOMAIN QTM$TEMP"}},
    {"a domain in each database's default, the master's becoming the target's", st_Firebird_30, Text(20, ""),
     Text(20, ""),
     {"/* Database charset: UTF8 */", "[3] ALTER TABLE T DROP CALC", "[2] ALTER DOMAIN D TYPE VARCHAR(20) CHARACTER SET UTF8"},
     false,
     true, "D", "UTF8", "WIN1252", true},
    {"... not from NONE, whose bytes UTF8 may not take", st_Firebird_30, Text(20, ""), Text(20, ""),
     {"/* Database charset: UTF8 */", RowsKept("NONE", "UTF8") + " */"}, false, true, "D", "UTF8", "", true},
    {"NONE is named where the target's default stays another", st_Firebird_30, Type(dtInteger), Text(20, ""),
     {"[3] ALTER TABLE T DROP CALC", "[2] ALTER DOMAIN D TYPE VARCHAR(20) CHARACTER SET NONE"}, false, true, "D", "",
     "UTF8"},
    {"... and a text domain is not changed to it", st_Firebird_30, Text(20, ""), Text(20, ""),
     {RowsKept("UTF8", "NONE") + " */"}, false, true, "D", "", "UTF8"},
    {"the same set under two defaults is left alone", st_Firebird_30, Text(20, "NONE"), Text(20, ""), {}, false, true,
     "D", "", "UTF8"},
};

// The domain on both sides, and a table T whose column C is typed by it and whose computed
// column CALC reads C: what a type change drops first (the column passes add it back).
Steps AlterIBDomain(const AlterCase& C) {
    RecordedComparison r(stInterBase, C.Version);
    r.q.IBCompareOptions().AllowDataTypeConversion = C.Allow;
    r.q.IBCompareOptions().FldCharsetCompare = C.CharSets;
    r.q.IBCompareOptions().DbCharsetCompare = C.DbCharSets;
    r.M().IBServerOptions.SetDBCharSet(C.MasterDefault);
    r.T().IBServerOptions.SetDBCharSet(C.TargetDefault);
    for (TObjs* o : {&r.M(), &r.T()}) {
        TDmnData* d = NewDomain(o, C.Domain);
        (o == &r.M() ? C.Master : C.Target)(*d);
        o->AddDbObject(d);
        auto* t = new TTblData(o);
        t->Name = "T";
        o->AddDbObject(t);
        auto c = std::make_unique<TFldData>(o, t);
        c->Name = "C";
        c->OwnerName = "T";
        c->DataType = dtDomain;
        c->DomainName = C.Domain;
        TFldData* column = t->AddColumn(std::move(c));
        RegisterDependency(o, t, d, "C");
        {
            auto calc = std::make_unique<TFldData>(o, t);
            calc->Name = "CALC";
            calc->OwnerName = "T";
            calc->DataType = dtInteger;
            calc->SetSource("(1)");
            TFldData* added = t->AddColumn(std::move(calc));
            RegisterDependency(o, added, column);
        }
    }
    Steps steps = r.Run({dboDomain, dboField});
    // What the column passes write afterwards (CALC again, the positions) is not the domain's.
    std::erase_if(steps, [](const std::string& S) {
        return (S.find("CALC") != std::string::npos && S.find("DROP") == std::string::npos) ||
               S.find("POSITION") != std::string::npos;
    });
    return steps;
}

class IBDomainAlter : public ::testing::TestWithParam<AlterCase> {};

TEST_P(IBDomainAlter, Writes) { EXPECT_EQ(AlterIBDomain(GetParam()), GetParam().Expected) << GetParam().Name; }

INSTANTIATE_TEST_SUITE_P(Cases, IBDomainAlter, ::testing::ValuesIn(AlterCases),
                         [](const auto& Info) { return "Case" + std::to_string(Info.index); });

// ---- passes ----

TEST(DomainPass, DroppedDomainTakesItsViewWhichComesBackAndAReleasedProcedure) {
    RecordedComparison r(stInterBase, st_Firebird_30);
    TDmnData* gone = NewDomain(&r.T(), "D_GONE");
    Typed(*gone->TypeField, dtInteger);
    r.T().AddDbObject(gone);
    for (TObjs* o : {&r.M(), &r.T()}) {
        auto* v = new TViwData(o);
        v->Name = "V";
        v->SetSource("SELECT 1 FROM RDB$DATABASE");
        o->AddDbObject(v);
        auto* p = new TPrcData(o);
        p->Name = "P";
        TFldData* a = p->AddInputParam("A", dtInteger);
        p->SetSource("BEGIN END");
        o->AddDbObject(p);
        if (o == &r.T()) {
            RegisterDependency(o, v, gone);
            a->DataType = dtDomain;
            a->DomainName = "D_GONE";
            RegisterDependency(o, p, gone);
        }
    }
    const Steps steps = r.Run({dboDomain, dboView, dboProcedure});
    const Steps expected{
        "/* Drop domains... */",
        "/* Alter empty procedure P with new param-list for drop domain D_GONE */",
        "[4] ALTER PROCEDURE P(A INTEGER)\r\n AS\r\n BEGIN EXIT; END",
        "[3] DROP VIEW V",
        "[3] /* Drop: D_GONE (TDmnData) */\r\nDROP DOMAIN D_GONE",
        "/* Create view: V (ViwData.CreateDependDef) */",
        "[1] CREATE VIEW V\r\n AS \r\nSELECT 1 FROM RDB$DATABASE",
        "/* Alter Procedure... */",
        "/* Alter (P) */",
        "[2] ALTER PROCEDURE P(A INTEGER)\r\n AS\r\nBEGIN END",
    };
    EXPECT_EQ(steps, expected);
}

TEST(DomainPass, PostgreSQLAltersTheCheckAndDescriptionsFollow) {
    RecordedComparison r(stPostgreSQL);
    for (TObjs* o : {&r.M(), &r.T()}) {
        TDmnData* d = NewDomain(o, "d");
        Typed(*d->TypeField, dtInteger);
        if (o == &r.M()) {
            d->TypeField->SetRare().CheckSource = "(VALUE > 0)";
            d->SetDescription("positive");
        }
        o->AddDbObject(d);
        TDmnData* e = NewDomain(o, "e");
        Typed(*e->TypeField, dtInteger);
        if (o == &r.T()) e->TypeField->SetRare().CheckSource = "(VALUE > 0)";
        o->AddDbObject(e);
    }
    TDmnData* n = NewDomain(&r.M(), "n");
    Typed(*n->TypeField, dtInteger);
    n->SetDescription("new");
    r.M().AddDbObject(n);
    const Steps expected{
        "/* Create Domains... */",
        "[1] CREATE DOMAIN n integer",
        "[11] COMMENT ON DOMAIN n IS 'new'",
        "[2] ALTER DOMAIN d ADD CHECK(VALUE > 0)",
        "[11] COMMENT ON DOMAIN d IS 'positive'",
        "[2] ALTER DOMAIN e DROP CONSTRAINT",
    };
    EXPECT_EQ(r.Run({dboDomain}), expected);
}

TEST(ConversionPass, CreatedReplacedAndDropped) {
    RecordedComparison r(stPostgreSQL);
    auto add = [](TObjs& O, const char* Name, const char* Function) {
        auto* c = new TCnvData(&O);
        c->Name = Name;
        c->Schema = "s";
        c->SourceEncoding = "LATIN1";
        c->DestEncoding = "UTF8";
        c->FunctionName = Function;
        O.AddDbObject(c);
    };
    add(r.M(), "c_new", "f");
    add(r.M(), "c_changed", "f2");
    add(r.T(), "c_changed", "f1");
    add(r.T(), "c_same", "f");
    add(r.M(), "c_same", "f");
    add(r.T(), "c_old", "f");
    const Steps expected{
        "[1] CREATE CONVERSION s.c_new FOR 'LATIN1' TO 'UTF8' FROM s.f",
        "[3] DROP CONVERSION s.c_changed",
        "[1] CREATE CONVERSION s.c_changed FOR 'LATIN1' TO 'UTF8' FROM s.f2",
        "[3] DROP CONVERSION s.c_old",
    };
    EXPECT_EQ(r.Run({dboConversion}), expected);
}

} // namespace
} // namespace qnl::test
