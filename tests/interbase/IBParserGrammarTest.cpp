// The DDL reader's grammar where the fixture scripts cannot show it: the lexemes of newer
// versions, the data types and column attributes of every version, errors and where they are
// reported, and the table statements' effects on the container (the fixtures compare the
// common forms with the catalogue).
#include "IbReader.h"

#include <gtest/gtest.h>

namespace qnl {
namespace {

using test::IbReader;
using Lines = std::vector<std::string>;

// The tokens of Text, one word each: "int:-1", "str:ABC", "ident:X", "introducer:_UTF8", ...
std::string Tokens(const std::string& Text, TIBSQLServerVersionType Version, std::string& Messages) {
    TObjs objs;
    objs.IBServerOptions.SQLServerVersion = Version;
    TIbParser p;
    p.OnError = [](TObject*, const std::string&) {};
    p.Objs = &objs;
    p.SetSource(Text);
    std::string out;
    for (p.NextToken(); !(p.Token == tkEOF && p.AtEnd()); p.NextToken()) {
        if (!out.empty()) out += " ";
        switch (p.Token) {
        case tkInteger: out += "int:" + std::to_string(p.IntValue); break;
        case tkString: out += "str:" + p.ValueText; break;
        case tkIdent: out += "ident:" + p.TokenText; break;
        case kwCharsetIntroducer: out += "introducer:" + p.TokenText; break;
        case kwAssign: out += "assign"; break;
        default: out += p.CurTokenName(); break;
        }
    }
    for (int i = 0; i < p.MsgManager->Count(); ++i) Messages += p.MsgManager->Items(i).Text + ";";
    return out;
}

TEST(IbParserGrammar, HexadecimalLiteralsIntroducersAndAssignment) {
    struct Case {
        std::string Text;
        TIBSQLServerVersionType Version;
        std::string Tokens, Messages;
    } cases[] = {
        // One to eight digits are a 32-bit two's complement value, nine to sixteen a 64-bit one.
        {"0xFFFFFFFF 0x7fffffff 0x100000000 0xFFFFFFFFFFFFFFFF", st_Firebird_30,
         "int:-1 int:2147483647 int:4294967296 int:-1", ""},
        {"0x1F", st_Firebird_25, "int:31", ""},
        {"0x1F", st_Firebird_21, "int:0 ident:X1F", ""},  // no such literal before 2.5
        {"0x", st_Firebird_30, "int:0", "Invalid hexadecimal number: 0x;"},
        {"0x12345678901234567", st_Firebird_30, "int:0", "Invalid hexadecimal number: 0x12345678901234567;"},
        {"0x1G", st_Firebird_30, "int:0", "Invalid hexadecimal number: 0x1G;"},
        {"X'414243' x'4a' X''", st_Firebird_30, "str:ABC str:J str:", ""},
        {"X'ABC' X'GG'", st_Firebird_30, "str: str:", "Invalid hexadecimal string: X'ABC';Invalid hexadecimal string: X'GG';"},
        {"_UTF8 'x' A := 1", st_Firebird_30, "introducer:_UTF8 str:x ident:A assign int:1", ""},
        // Words a version does not reserve are names; quoted text is a name kept as written.
        {"DESC ACTIVE \"Mixed\" SELECT", st_Firebird_30, "ident:DESC ident:ACTIVE ident:Mixed SELECT", ""},
        {"DESC ACTIVE", st_Firebird_25, "DESCENDING ACTIVE", ""},  // keywords, named by their last synonym
    };
    for (const Case& c : cases) {
        std::string messages;
        EXPECT_EQ(Tokens(c.Text, c.Version, messages), c.Tokens) << c.Text;
        EXPECT_EQ(messages, c.Messages) << c.Text;
    }
}

// A column's type and attributes in one line.
std::string Describe(const TFldData& C) {
    std::string s = C.DataType == dtDomain ? "domain" + (C.DomainName.empty() ? "" : " " + C.DomainName)
                                           : DataTypeName(C.DataType);
    if (C.TypeOf) s += " typeof" + (C.Rare().TypeOfTable.empty() ? "" : " " + C.Rare().TypeOfTable + "." + C.Rare().TypeOfColumn);
    if (C.CharLength) s += " len" + std::to_string(C.CharLength);
    if (C.DataType == dtNumeric || C.DataType == dtDecimal || C.DataType == dtDecFloat)
        s += " p" + std::to_string(C.Precision) + " s" + std::to_string(C.Scale);
    if (C.DataType == dtBlob) s += " sub" + std::to_string(C.SubType) + " seg" + std::to_string(C.SegmentLength);
    if (C.WithTimeZone) s += " with time zone";
    if (!C.CharSetName.empty()) s += " charset " + C.CharSetName;
    if (!C.CollationName.empty()) s += " collate " + C.CollationName;
    for (const auto& [lower, upper] : C.ArrayBounds) s += " [" + std::to_string(lower) + ":" + std::to_string(upper) + "]";
    if (!C.DefaultValue.empty()) s += " default " + C.DefaultValue;
    if (!C.Nullable) s += " not null" + (C.Rare().NotNullName.empty() ? "" : " " + C.Rare().NotNullName);
    if (C.Identity) s += " identity " + std::to_string(C.IdentitySeed);
    if (!C.Source().empty()) s += " computed " + C.Source();
    return s;
}

TEST(IbParserGrammar, ColumnDefinitions) {
    struct Case {
        std::string Column;  // a definition of the column C, or of the one column it names
        TIBSQLServerVersionType Version;
        std::string Column_, Messages;
    } cases[] = {
        {"C NUMERIC", st_Firebird_30, "NUMERIC p9 s0", ""},
        {"C DEC(15, 2)", st_Firebird_30, "DECIMAL p15 s2", ""},
        {"C NUM(5,2)", st_Yaffil_1x, "NUMERIC p5 s2", ""},
        {"C DECFLOAT", st_Firebird_40, "DECFLOAT p34 s0", ""},
        {"C DECFLOAT(16)", st_Firebird_40, "DECFLOAT p16 s0", ""},
        {"C DECFLOAT", st_Firebird_30, "domain DECFLOAT", ""},  // a domain's name before Firebird 4
        {"C TIMESTAMP WITH TIME ZONE", st_Firebird_40, "TIMESTAMP with time zone", ""},
        {"C NCHAR(10)", st_Firebird_30, "CHAR len10 charset ISO8859_1", ""},
        {"C NATIONAL CHARACTER VARYING(5)", st_Firebird_30, "VARCHAR len5 charset ISO8859_1", ""},
        {"C NATIONAL CHAR(3)", st_Firebird_30, "CHAR len3 charset ISO8859_1", ""},
        {"C NATIONAL CHARACTER", st_Firebird_30, "CHAR len1 charset ISO8859_1", ""},
        {"C GENERATED ALWAYS AS (A + 1)", st_Firebird_30, "? DataType computed (A + 1)", ""},
        {"C INTEGER GENERATED ALWAYS AS (A + 1)", st_Firebird_30, "INTEGER computed (A + 1)", ""},
        {"C CHARACTER VARYING(7) COLLATE UNICODE", st_Firebird_30, "VARCHAR len7 collate UNICODE", ""},
        {"C BLOB SUB_TYPE -1", st_Firebird_30, "BLOB sub-1 seg80", ""},
        {"C BLOB(4096, 1)", st_Firebird_30, "BLOB sub1 seg4096", ""},
        {"C SMALLINT [-2:2, 3]", st_Firebird_30, "SMALLINT [-2:2] [1:3]", ""},
        {"C TYPE OF COLUMN U.X", st_Firebird_30, "domain typeof U.X", ""},
        {"C TYPE OF D_NAME", st_Firebird_30, "domain D_NAME typeof", ""},
        {"C TYPE", st_Firebird_30, "domain TYPE", ""},
        {"C BIGINT GENERATED BY DEFAULT AS IDENTITY (START WITH 5000000000)", st_Firebird_30,
         "BIGINT not null identity 5000000000", ""},
        {"C INTEGER DEFAULT -1 NOT NULL", st_Firebird_30, "INTEGER default -1 not null", ""},
        {"C TIMESTAMP DEFAULT CURRENT_TIMESTAMP (3)", st_Firebird_30, "TIMESTAMP default CURRENT_TIMESTAMP (3)", ""},
        {"C TIME DEFAULT TIME '10:00'", st_Firebird_30, "TIME default TIME '10:00'", ""},
        // Firebird keeps an introduced string as X'hex' from 2.5 on; older versions as written.
        {"C VARCHAR(5) DEFAULT _UTF8 'a''b'", st_Firebird_30, "VARCHAR len5 default _UTF8 X'612762'", ""},
        {"C VARCHAR(5) DEFAULT _UTF8 'a''b'", st_Firebird_21, "VARCHAR len5 default _UTF8 'a''b'", ""},
        {"C COMPUTED (A + (B * 2)) ", st_Firebird_30, "? DataType computed (A + (B * 2))", ""},
        {"C VARCHAR(40) CHARACTER SET WIN1252 COMPUTED BY (UPPER(B))", st_Firebird_30,
         "VARCHAR len40 charset WIN1252 computed (UPPER(B))", ""},
        {"C SMALLINT CONSTRAINT NN_C NOT NULL", st_Firebird_30, "SMALLINT not null NN_C", ""},
        {"DOMAIN INTEGER", st_Firebird_30, "INTEGER", ""},
        // Errors, each at the start of what is wrong.
        {"DOMAIN INTEGER", st_Firebird_25, "", "1:17 Missing: <)> (DOMAIN)"},
        {"C INTEGER [5:0]", st_Firebird_30, "", "1:27 Illegal array dimension range"},
        {"C BLOB SUB_TYPE X", st_Firebird_30, "", "1:33 Unknown blob-subtype."},
        {"C INTEGER DEFAULT (1)", st_Firebird_30, "", "1:35 DEFAUT <value> error..."},
        {"C INTEGER BY X", st_Firebird_30, "", "1:30 Must be: BY DESCRIPTOR / BY VALUE"},
        {"C DOUBLE", st_Firebird_30, "", "1:25 Missing: PRECISION (<)>)"},
        // A number beyond what the type holds is refused, as the server refuses it, not cut into
        // another valid one.
        {"C NUMERIC(4294967305,2)", st_Firebird_30, "", "1:27 Number out of range: 4294967305"},
        {"C CHAR(4294967297)", st_Firebird_30, "", "1:24 Number out of range: 4294967297"},
        {"C VARCHAR(99999999999999999999)", st_Firebird_30, "", "1:27 Number out of range: 99999999999999999999"},
        {"C BLOB SUB_TYPE 4294967297", st_Firebird_30, "", "1:33 Number out of range: 4294967297"},
        {"C INTEGER [4294967297]", st_Firebird_30, "", "1:28 Number out of range: 4294967297"},
        {"C BIGINT GENERATED BY DEFAULT AS IDENTITY (START WITH -9223372036854775808)", st_Firebird_30,
         "BIGINT not null identity -9223372036854775808", ""},
    };
    for (const Case& c : cases) {
        IbReader r(c.Version);
        r.Read("CREATE TABLE T (" + c.Column + ");");
        const TTblData* t = r.Table("T");
        EXPECT_EQ(t && t->GetColumnCount() ? Describe(*t->Column(0)) : "", c.Column_) << c.Column;
        EXPECT_EQ(r.Messages(), c.Messages.empty() ? Lines{} : Lines{c.Messages}) << c.Column;
    }
}

TEST(IbParserGrammar, DatabaseCharacterSetIsLeftOutOfColumns) {
    IbReader r;
    r.Read("CREATE DATABASE 'x.fdb' DEFAULT CHARACTER SET UTF8;\n"
           "CREATE TABLE T (A VARCHAR(20) CHARACTER SET utf8, B VARCHAR(20) CHARACTER SET WIN1252);");
    EXPECT_EQ(Describe(*r.Column("T", "A")), "VARCHAR len20");
    EXPECT_EQ(Describe(*r.Column("T", "B")), "VARCHAR len20 charset WIN1252");
}

TEST(IbParserGrammar, TableStatementsHandOnOnceAndFileTheirObjects) {
    IbReader r;
    r.Read("CREATE TABLE U (B INTEGER NOT NULL, CONSTRAINT PK_U PRIMARY KEY (B));\n"
           "CREATE TABLE T (A INTEGER);\n"
           "ALTER TABLE T ADD C INTEGER, ADD CONSTRAINT FK_T FOREIGN KEY (A) REFERENCES U (B) ON DELETE CASCADE;\n"
           "ALTER TABLE T ADD CONSTRAINT FK_T2 FOREIGN KEY (C) REFERENCES U ON UPDATE SET NULL USING DESC INDEX IX_FK;\n"
           "CREATE DESC INDEX IX_T ON T (A, C);\n"
           "ALTER INDEX IX_T INACTIVE;\n");
    EXPECT_EQ(r.Statements,
              (Lines{"Statement U table: create | CREATE TABLE U (B INTEGER NOT NULL, CONSTRAINT PK_U PRIMARY KEY (B))",
                     "Statement T table: create | CREATE TABLE T (A INTEGER)",
                     "Statement C field: create of T | ALTER TABLE T ADD C INTEGER, ADD CONSTRAINT FK_T FOREIGN KEY (A) "
                     "REFERENCES U (B) ON DELETE CASCADE",
                     "Statement FK_T2 foreign key: create | ALTER TABLE T ADD CONSTRAINT FK_T2 FOREIGN KEY (C) REFERENCES U "
                     "ON UPDATE SET NULL USING DESC INDEX IX_FK",
                     "Statement IX_T index: create | CREATE DESC INDEX IX_T ON T (A, C)",
                     "Statement IX_T index: alter | ALTER INDEX IX_T INACTIVE"}));
    EXPECT_EQ(r.Messages(), Lines{});
    ASSERT_NE(r.Column("T", "C"), nullptr);
    EXPECT_EQ(r.Column("T", "C")->Position, 1);
    const TCtrData* fk = r.Constraint("FK_T");
    ASSERT_NE(fk, nullptr);
    EXPECT_EQ(fk->DeleteRule, raCascade);
    const TCtrData* fk2 = r.Constraint("FK_T2");
    ASSERT_NE(fk2, nullptr);
    EXPECT_EQ(std::to_string(fk2->UpdateRule) + " " + fk2->IndexName + " " + std::to_string(fk2->DescIndex), "4 IX_FK 1");
    const TIdxData* ix = r.Index("IX_T");
    ASSERT_NE(ix, nullptr);
    EXPECT_TRUE(ix->IsDescending);
    EXPECT_FALSE(ix->Active);
    EXPECT_EQ(ix->Fields.Text(), "A\r\nC\r\n");

    // The foreign key needs both tables, and after the whole script the key it references.
    r.Parser.AfterParse();
    EXPECT_NE(fk->DependsOn.FindRef(r.Table("T")), nullptr);
    EXPECT_NE(fk->DependsOn.FindRef(r.Table("U")), nullptr);
    EXPECT_NE(fk->DependsOn.FindRef(r.Constraint("PK_U")), nullptr);
    EXPECT_NE(r.Constraint("PK_U")->DependsOn.FindRef(r.Table("U")), nullptr);
    // REFERENCES U without columns means U's primary key, as Firebird stores it.
    EXPECT_EQ(fk2->RefFields.Text(), "B\r\n");
    EXPECT_NE(fk2->DependsOn.FindRef(r.Constraint("PK_U")), nullptr);
}

// The log names each element of CREATE TABLE's list: an unnamed key by its kind, a named one as a
// constraint; keys added by ALTER TABLE by their kind.
TEST(IbParserGrammar, TableElementsAreLoggedByWhatTheyAre) {
    IbReader r;
    std::vector<std::string> log;
    r.Parser.OnLogLine = [&log](TObject*, const std::string& Text) {
        const size_t colon = Text.find(": ");
        if (colon != std::string::npos && Text.rfind("Parse Script", 0) != 0) log.push_back(Text.substr(0, colon + 2));
    };
    r.Read("CREATE TABLE T (A INTEGER NOT NULL, B INTEGER NOT NULL, PRIMARY KEY (A), UNIQUE (B),\n"
           "  CONSTRAINT UQ_AB UNIQUE (A, B), CONSTRAINT FK_T FOREIGN KEY (B) REFERENCES T (A));\n"
           "ALTER TABLE T ADD CONSTRAINT UQ_BA UNIQUE (B, A);\n");
    EXPECT_EQ(r.Messages(), Lines{});
    EXPECT_EQ(log, (Lines{"Table: ", "Primary Key: ", "Unique: ", "Constraint: ", "Foreign key 1: ", "Constraint: ",
                          "Unique: "}));
}

TEST(IbParserGrammar, ContainerFollowsDropRecreateAndAlteredColumns) {
    IbReader r;
    r.Read("CREATE TABLE T (A INTEGER NOT NULL PRIMARY KEY, B INTEGER);\n"
           "CREATE INDEX IX_B ON T (B);\n"
           "CREATE TABLE GONE (X INTEGER CONSTRAINT UQ_GONE UNIQUE);\n"
           "CREATE INDEX IX_GONE ON GONE (X);\n"
           "DROP TABLE GONE;\n"
           "ALTER TABLE T ALTER B TO B2, ALTER COLUMN A POSITION 2, ADD C VARCHAR(3);\n"
           "ALTER TABLE T ALTER C TYPE VARCHAR(9) CHARACTER SET OCTETS, ALTER C SET DEFAULT 'x';\n"
           "RECREATE TABLE R (OLD INTEGER);\n"
           "RECREATE TABLE R (NEW INTEGER);\n");
    EXPECT_EQ(r.Messages(), Lines{});
    EXPECT_EQ(r.Table("GONE"), nullptr);
    EXPECT_EQ(r.Constraint("UQ_GONE"), nullptr);
    EXPECT_EQ(r.Index("IX_GONE"), nullptr);
    const TTblData* t = r.Table("T");
    ASSERT_NE(t, nullptr);
    ASSERT_EQ(t->GetColumnCount(), 3);
    EXPECT_EQ(t->Column(0)->Name + t->Column(1)->Name + t->Column(2)->Name, "B2AC");
    EXPECT_EQ(t->Column(1)->Position, 1);
    EXPECT_EQ(Describe(*t->Column(2)), "VARCHAR len9 charset OCTETS default 'x'");
    EXPECT_EQ(r.Index("IX_B")->Fields.Text(), "B2\r\n");
    ASSERT_NE(r.Table("R"), nullptr);
    EXPECT_NE(r.Column("R", "NEW"), nullptr);
    EXPECT_EQ(r.Column("R", "OLD"), nullptr);
}

// Firebird stores a rule left out as RESTRICT and an explicit NO ACTION as NO ACTION; both are
// kept as written, and so is the name of a NOT NULL constraint until it is dropped.
TEST(IbParserGrammar, ReferentialRulesAndNamedNotNullAsWritten) {
    struct Case {
        std::string Rules;
        uint8_t Update, Delete;
    } cases[] = {
        {"", raNone, raNone},
        {" ON DELETE NO ACTION", raNone, raNoAction},
        {" ON UPDATE NO ACTION ON DELETE CASCADE", raNoAction, raCascade},
        {" ON UPDATE SET DEFAULT ON DELETE SET NULL", raSetDefault, raSetNull},
    };
    for (const Case& c : cases) {
        IbReader r;
        r.Read("CREATE TABLE U (B INTEGER NOT NULL PRIMARY KEY);\n"
               "CREATE TABLE T (A INTEGER, CONSTRAINT FK_T FOREIGN KEY (A) REFERENCES U (B)" + c.Rules + ");\n");
        TCtrData* fk = r.Constraint("FK_T");
        ASSERT_NE(fk, nullptr) << c.Rules;
        EXPECT_EQ(std::to_string(fk->UpdateRule) + " " + std::to_string(fk->DeleteRule),
                  std::to_string(c.Update) + " " + std::to_string(c.Delete)) << c.Rules;
        EXPECT_EQ(fk->GetCreateSQL(), "ALTER TABLE T ADD CONSTRAINT FK_T FOREIGN KEY (A) REFERENCES U (B)" + c.Rules);
    }
    IbReader r;
    r.Read("CREATE TABLE T (A INTEGER CONSTRAINT NN_A NOT NULL, B INTEGER CONSTRAINT NN_B NOT NULL, "
           "C INTEGER CONSTRAINT NN_C NOT NULL);\n"
           "ALTER TABLE T DROP CONSTRAINT NN_A, ALTER B DROP NOT NULL;\n"
           "ALTER TABLE T ALTER B SET NOT NULL;\n");
    EXPECT_EQ(r.Messages(), Lines{});
    EXPECT_EQ(Describe(*r.Column("T", "A")), "INTEGER");
    EXPECT_EQ(Describe(*r.Column("T", "B")), "INTEGER not null");
    EXPECT_EQ(Describe(*r.Column("T", "C")), "INTEGER not null NN_C");
}

TEST(IbParserGrammar, SecondPrimaryKeyBecomesUniqueAndIbeObjectsAreLeftOut) {
    IbReader r;
    r.Read("CREATE TABLE T (A INTEGER NOT NULL PRIMARY KEY, B INTEGER NOT NULL);\n"
           "ALTER TABLE T ADD CONSTRAINT PK2 PRIMARY KEY (B);\n"
           "ALTER TABLE T ADD CONSTRAINT IBE$LOG UNIQUE (B);\n");
    ASSERT_NE(r.Constraint("PK2"), nullptr);
    EXPECT_EQ(r.Constraint("PK2")->ConstraintType, ctUnique);
    EXPECT_EQ(r.Constraint("IBE$LOG"), nullptr);
    EXPECT_EQ(r.Messages(), (Lines{"2:34 warning Duplicate Primary Key, Table: T (convert to Unique)",
                                   "2:34 warning ALTER TABLE T ADD PRIMARY KEY (A)",
                                   "2:34 warning ALTER TABLE T ADD CONSTRAINT PK2 PRIMARY KEY (B)",
                                   "2:34 warning ALTER TABLE T ADD CONSTRAINT PK2 UNIQUE (B)", "2:34 warning "}));
}

TEST(IbParserGrammar, TableStatementErrors) {
    struct Case {
        std::string Script, Message;
    } cases[] = {
        {"ALTER TABLE T DROP COLUMN C;", "1:20 Unknown ALTER TABLE <table-name> DROP statement"},
        {"ALTER TABLE T RENAME C;", "1:15 Unknown symbol"},
        {"CREATE GLOBAL TEMPORARY TABLE T (A INTEGER) ON COMMIT KEEP ROWS;", "1:55 Must be: DELETE ROWS / PRESERVE ROWS."},
        {"CREATE GLOBAL TABLE T (A INTEGER);", "1:15 TEMPORARY expected, but TABLE found."},
        {"ALTER INDEX IX OFF;", "1:16 Must be: ACTIVE/INACTIVE (ALTER INDEX... declaration)"},
        {"CREATE TABLE T (A INTEGER, CONSTRAINT C1 DEFAULT 0);", "1:42 Missing: PRIMARY... or UNIQUE..."},
        {"CREATE TABLE T (A INTEGER REFERENCES U ON INSERT CASCADE);", "1:43 Missing: UPDATE/DELETE"},
        {"CREATE TABLE T (A INTEGER REFERENCES U ON DELETE SET ZERO);", "1:54 Missing: DEFAULT/NULL"},
        {"CREATE TABLE T (A INTEGER REFERENCES U ON DELETE NO WAY);", "1:53 Must be: ACTION"},
        {"CREATE TABLE T (A INTEGER REFERENCES U ON DELETE DROP);", "1:50 Unknown action into UPDATE/DELETE rule."},
        {"CREATE TABLE T (A INTEGER CHECK (A > 0);", "1:40 Missing: <)> (<Terminator>)"},
        {"CREATE NOTHING 1 'x';", "1:8 Unknown CREATE-statement"},
        {"ALTER NOTHING X SET PASSWORD 'y';", "1:7 Unknown ALTER statement."},
        {"ALTER ROLE CLERK SET AUTO ADMIN MAPPING;", "1:7 Unknown ALTER statement."},
    };
    for (const Case& c : cases) {
        IbReader r;
        r.Read(c.Script + "\nSELECT 1 FROM RDB$DATABASE;");
        EXPECT_EQ(r.Messages(), Lines{c.Message}) << c.Script;
        EXPECT_EQ(r.Statements, Lines{"Select - - | SELECT 1 FROM RDB$DATABASE"}) << c.Script;
        EXPECT_EQ(r.Table("T"), nullptr) << c.Script;
    }
}

TEST(IbParserGrammar, RedundantConstraintIndexIsRemovedAfterParsing) {
    IbReader r;
    r.Read("CREATE TABLE T (A INTEGER NOT NULL, CONSTRAINT PK_T PRIMARY KEY (A));\n"
           "CREATE UNIQUE INDEX PK_T ON T (A);\n"
           "CREATE INDEX IX_T ON T (A);\n");
    std::vector<std::string> log;
    r.Parser.OnLogLine = [&log](TObject*, const std::string& Text) { log.push_back(Text); };
    r.Parser.AfterParse();
    EXPECT_EQ(r.Index("PK_T"), nullptr);
    EXPECT_NE(r.Index("IX_T"), nullptr);
    EXPECT_EQ(log, Lines{"Remove index: CREATE UNIQUE INDEX PK_T ON T(A)\r\nfor constraint: ALTER TABLE T ADD CONSTRAINT "
                         "PK_T PRIMARY KEY (A)"});
}

} // namespace
} // namespace qnl
