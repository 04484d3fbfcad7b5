// The option objects: conditions, memo subtypes, connect parameters, generated-statement
// options, formats, blob swapping, and the generator cache with its file and a real generator.
#include "client/dAZIRadur.h"

#include "client/IB_Intf.h"
#include "client/fib.h"
#include "fixtures/FbFixture.h"
#include "tests/client/LiveAttachment.h"
#include "platform/Files.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <set>

namespace qnl {
namespace {

// --- Conditions ------------------------------------------------------------------------------

// A statement whose text is a fixed SELECT and an optional top-level WHERE condition.
class TFakeStatement : public IConditionsStatement {
public:
    std::string Base = "SELECT * FROM T";
    std::string Where;
    int LockDepth = 0;
    int MaxLockDepth = 0;

    void BeginSQLChange() override { MaxLockDepth = std::max(MaxLockDepth, ++LockDepth); }
    void EndSQLChange() override { --LockDepth; }
    std::string SQLText() override { return Where.empty() ? Base : Base + "\r\nWHERE " + Where; }
    void SetSQLText(const std::string& Text) override {
        const size_t p = Text.find("\r\nWHERE ");
        Base = Text.substr(0, p);
        Where = p == std::string::npos ? "" : Text.substr(p + 8);
    }
    std::string MainWhereClause() override { return Where; }
    void SetMainWhereClause(const std::string& Condition) override { Where = Condition; }
};

TEST(Conditions, BuildTextJoinsTheEnabledConditions) {
    struct TCase {
        const char* What;
        std::vector<std::tuple<const char*, const char*, bool>> Conditions;
        const char* Expected;
    } cases[] = {
        {"two enabled", {{"A", "X = 1", true}, {"B", "Y < 2", true}}, "(X = 1)\r\n\r\n and (Y < 2)\r\n"},
        {"one of three enabled", {{"A", "X = 1", false}, {"B", "Y < 2", true}, {"C", "Z", false}}, "(Y < 2)\r\n"},
        {"none enabled", {{"A", "X = 1", false}}, ""},
        {"no conditions", {}, ""},
        {"an empty text still counts (its line is not blank)", {{"A", "", true}}, "()\r\n"},
        {"a line comment at the end keeps its closing bracket out of it",
         {{"A", "X = 1 -- note", true}, {"B", "Y < 2", true}}, "(X = 1 -- note\r\n)\r\n\r\n and (Y < 2)\r\n"},
    };
    for (const auto& c : cases) {
        TConditions list;
        for (const auto& [name, text, enabled] : c.Conditions) list.AddCondition(name, text, enabled);
        EXPECT_EQ(c.Expected, list.BuildText()) << c.What;
    }
}

TEST(Conditions, LinesNamesAndTheAppliedMark) {
    TFakeStatement statement;
    TConditions list(&statement);
    TCondition& a = list.AddCondition("Active", "STATE = 1", true);
    list.AddCondition("Mine", "OWNER = USER", false);
    EXPECT_EQ("Active=STATE = 1\r\nMine=OWNER = USER\r\n", list.Text());
    EXPECT_EQ(&a, list.FindCondition("ACTIVE"));             // names ignore case
    EXPECT_EQ("STATE = 1", a.Text());
    EXPECT_EQ(nullptr, list.GetCondition(2));
    EXPECT_EQ(nullptr, list.GetCondition(-1));

    // An existing name gets the new text, keeping its condition object.
    EXPECT_EQ(&a, &list.AddCondition("active", "STATE = 2", false));
    EXPECT_EQ("Active=STATE = 2", list.Strings(0));
    EXPECT_FALSE(a.Enabled());

    list.Apply();
    EXPECT_TRUE(list.Applied());
    list.FindCondition("Mine")->SetEnabled(true);              // a change takes the mark away
    EXPECT_FALSE(list.Applied());
    list.Apply();
    list.FindCondition("Mine")->SetEnabled(true);              // no change: the mark stays
    EXPECT_TRUE(list.Applied());
    list.RemoveCondition("nothing");
    EXPECT_FALSE(list.Applied());

    list.Put(list.Count(), "Third=X");                         // index Count adds
    EXPECT_EQ(3, list.Count());
    list.Put(2, "Third=Y");
    EXPECT_EQ("Y", list.GetCondition(2)->Text());
    list.Delete(0);
    EXPECT_EQ("Mine", list.GetCondition(0)->Name());
    EXPECT_THROW(list.Delete(5), std::out_of_range);
}

TEST(Conditions, ApplyAddsToTheStatementsWhereAndRestoreTakesItBack) {
    TFakeStatement statement;
    statement.Where = "A = 1 OR B = 2";
    TConditions list(&statement);
    list.AddCondition("C", "C = 3", true);
    list.AddCondition("D", "D = 4", false);

    list.Apply();
    // The statement's own condition is bracketed, so its OR cannot let rows past C = 3.
    EXPECT_EQ("(A = 1 OR B = 2)\r\nand (C = 3)\r\n", statement.Where);
    EXPECT_EQ("SELECT * FROM T\r\nWHERE A = 1 OR B = 2", list.SavedSQL());
    EXPECT_EQ(1, statement.MaxLockDepth);
    EXPECT_EQ(0, statement.LockDepth);

    // Applying again starts from the saved text: the conditions are not added twice.
    list.FindCondition("D")->SetEnabled(true);
    list.Apply();
    EXPECT_EQ("(A = 1 OR B = 2)\r\nand (C = 3)\r\n\r\n and (D = 4)\r\n", statement.Where);

    list.CancelApply();
    EXPECT_FALSE(list.Applied());
    EXPECT_EQ("A = 1 OR B = 2", statement.Where);

    // Nothing enabled: the statement keeps its own text.
    list.FindCondition("C")->SetEnabled(false);
    list.FindCondition("D")->SetEnabled(false);
    list.Apply();
    EXPECT_EQ("A = 1 OR B = 2", statement.Where);

    // A line comment at the end of the statement's condition keeps the bracket on its own line.
    statement.Where = "A = 1 -- note";
    TConditions other(&statement);
    other.AddCondition("C", "C = 3", true);
    other.Apply();
    EXPECT_EQ("(A = 1 -- note\r\n)\r\nand (C = 3)\r\n", statement.Where);

    // Without a WHERE the conditions become it.
    TFakeStatement plain;
    TConditions third(&plain);
    third.AddCondition("C", "C = 3", true);
    third.Apply();
    EXPECT_EQ("(C = 3)\r\n", plain.Where);
    third.RestoreSQL();
    EXPECT_EQ("SELECT * FROM T", plain.SQLText());
}

// A text that the program sets between two applies is where the next Apply starts; neither an
// Apply nor a restore brings the older text back over it.
TEST(Conditions, ATextTheProgramSetIsKept) {
    TFakeStatement statement;
    TConditions list(&statement);
    list.AddCondition("C", "C = 3", true);
    list.Apply();
    EXPECT_EQ("SELECT * FROM T\r\nWHERE (C = 3)\r\n", statement.SQLText());

    statement.SetSQLText("SELECT * FROM U\r\nWHERE A = 1");
    list.Apply();
    EXPECT_EQ("SELECT * FROM U\r\nWHERE (A = 1)\r\nand (C = 3)\r\n", statement.SQLText());
    list.CancelApply();
    EXPECT_EQ("SELECT * FROM U\r\nWHERE A = 1", statement.SQLText());

    list.Apply();
    statement.SetSQLText("SELECT * FROM V");
    list.RestoreSQL();
    EXPECT_EQ("SELECT * FROM V", statement.SQLText());
    list.Apply();
    EXPECT_EQ("SELECT * FROM V\r\nWHERE (C = 3)\r\n", statement.SQLText());
}

TEST(Conditions, AssigningCopiesEveryConditionIntoTheNewList) {
    auto source = std::make_unique<TConditions>();
    source->AddCondition("A", "X = 1", true);
    source->AddCondition("B", "Y = 2", false);
    TConditions copy;
    copy.AddCondition("Old", "Z", true);
    copy.Assign(*source);
    ASSERT_EQ(2, copy.Count());
    EXPECT_NE(source->GetCondition(0), copy.GetCondition(0));
    EXPECT_EQ(&copy, &copy.GetCondition(0)->Owner());
    copy.GetCondition(0)->SetText("X = 9");
    EXPECT_EQ("X = 1", source->GetCondition(0)->Text());
    source.reset();   // the copy's conditions live on (checked under AddressSanitizer)
    EXPECT_EQ("A=X = 9", copy.Strings(0));
    EXPECT_TRUE(copy.GetCondition(0)->Enabled());
    EXPECT_FALSE(copy.GetCondition(1)->Enabled());
    EXPECT_EQ(nullptr, copy.FindCondition("Old"));
    copy.Assign(copy);
    EXPECT_EQ(2, copy.Count());
}

TEST(Conditions, TheRepositoryFormRoundTrips) {
    TConditions list;
    list.AddCondition("A", "X = 1", true);
    list.AddCondition("B", "", false);
    EXPECT_EQ("A#$#$X = 1#$#$1\r\nB#$#$#$#$0", list.SaveConditionsToText());

    TConditions loaded;
    loaded.AddCondition("Gone", "1 = 1", true);
    loaded.LoadConditionsFromText("A#$#$X = 1#$#$ 1 \nB#$#$Y#$#$0\n\nC#$#$only text\n");
    ASSERT_EQ(3, loaded.Count());
    EXPECT_EQ("A=X = 1", loaded.Strings(0));
    EXPECT_TRUE(loaded.GetCondition(0)->Enabled());
    EXPECT_FALSE(loaded.GetCondition(1)->Enabled());
    EXPECT_EQ("only text", loaded.GetCondition(2)->Text());
    EXPECT_FALSE(loaded.GetCondition(2)->Enabled());
}

// --- Memo subtypes ---------------------------------------------------------------------------

TEST(MemoSubtypes, WordsBecomeSubtypeBytes) {
    struct TCase {
        const char* Text;
        std::vector<uint8_t> Bytes;
        const char* Stored;
        bool AnyNotOne;
    } cases[] = {
        {"1;2;x", {1, 2, 1}, "2", true},
        {"", {}, "", false},
        {"1;;1", {1, 1}, "", false},
        {"3; 5;0", {3, 5, 0}, "3; 5;0", true},
        {"$10", {16}, "$10", true},
        {"300;-2", {}, "300;-2", true},   // not a subtype byte; kept in the text
        {"99999999999", {1}, "", false},  // beyond Integer: counts as 1
    };
    for (const auto& c : cases) {
        TMemoSubtypes m;
        m.SetSubtypes(c.Text);
        EXPECT_EQ(c.Bytes, m.SubtypeBytes()) << c.Text;
        EXPECT_EQ(c.Stored, m.Subtypes()) << c.Text;
        EXPECT_EQ(c.AnyNotOne, m.AnyNotOne()) << c.Text;
    }
    TMemoSubtypes m;
    m.SetSubtypes("2;5");
    EXPECT_TRUE(m.IsMemoSubtype(5));
    EXPECT_FALSE(m.IsMemoSubtype(1));
    m.SetSubtypes("7");   // a new text replaces the old bytes
    EXPECT_FALSE(m.IsMemoSubtype(5));
    EXPECT_TRUE(m.IsMemoSubtype(7));
    EXPECT_FALSE(m.IsMemoSubtype(44));
}

// --- Connect parameters ----------------------------------------------------------------------

TEST(ConnectParams, NamedValuesReadTheParameterLines) {
    TDBParams params;
    params.SetText("password_enc=hashed\nisc_dpb_user_name=SYSDBA\nPASSWORD=masterkey\nlc_ctype=utf8\n"
                   "SQL_ROLE_NAME=admin\nInstance_Name=fb3\nforce_write=1\n");
    TConnectParams cp(nullptr, &params);
    struct TCase {
        const char* What;
        std::string Value;
        const char* Expected;
    } cases[] = {
        {"user with prefix", cp.UserName(), "SYSDBA"},
        {"password, not password_enc", cp.Password(), "masterkey"},
        {"character set as written", cp.CharSet(), "utf8"},
        {"role in upper case", cp.RoleName(), "admin"},
        {"instance", cp.IB2007().InstanceName(), "fb3"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.Expected, c.Value) << c.What;
    EXPECT_EQ("", params.ReadParam(83));   // "force" is not "force_write"
    EXPECT_EQ("1", params.ReadParam(24));
    EXPECT_EQ("", params.ReadParam(0));
    EXPECT_EQ("", params.ReadParam(84));
}

TEST(ConnectParams, NamedValuesWriteTheParameterLines) {
    TDBParams params;
    params.SetText("password_enc=hashed\nisc_dpb_user_name=SYSDBA\nsql_role_name=admin\n");
    TConnectParams cp(nullptr, &params);
    cp.SetUserName("ALICE");          // replaces the line, whichever way it was written
    cp.SetPassword("secret");         // added: password_enc stays alone
    cp.SetCharSet("win1251");         // upper-cased
    cp.SetRoleName("");               // an empty value deletes the line
    TIBConnectParams other(nullptr);
    cp.SetIB2007(other);              // an object without a list reads "": nothing to write
    cp.IB2007().SetInstanceName("fb");
    EXPECT_EQ("password_enc=hashed\r\nuser_name=ALICE\r\npassword=secret\r\nlc_ctype=WIN1251\r\n"
              "instance_name=fb\r\n",
              params.Text());
    EXPECT_TRUE(cp.IsFirebird);

    // The lines are what the parameter block builder understands.
    TDBParams dpbLines;
    TConnectParams forDpb(nullptr, &dpbLines);
    forDpb.SetUserName("SYSDBA");
    forDpb.SetCharSet("utf8");
    std::string dpb;
    int16_t length = 0;
    BuildDPB(dpbLines, dpb, length, true);
    EXPECT_EQ(std::string("\x01\x1c\x06SYSDBA\x30\x04UTF8", 15), dpb.substr(0, static_cast<size_t>(length)));

    // An owner that is not a database: nothing is read or written.
    TConnectParams none(nullptr, nullptr);
    none.SetUserName("X");
    EXPECT_EQ("", none.UserName());
}

// --- Generated-statement options ---------------------------------------------------------------

class TFakeDataSet : public IAutoUpdateOwner {
public:
    bool HasDatabase = true;
    int Dialect = 3;
    bool UpperNames = false;
    std::string AliasByTableName(const std::string& TableName) override {
        return TableName == "CUSTOMER" ? "C" : TableName;
    }
    bool DatabaseNameRules(int& SQLDialect, bool& NeedUpperNames) override {
        SQLDialect = Dialect;
        NeedUpperNames = UpperNames;
        return HasDatabase;
    }
};

TEST(AutoUpdateOptions, TableNamesAliasesAndGeneratorNames) {
    struct TCase {
        const char* Table;
        bool HasDatabase;
        int Dialect;
        bool UpperNames;
        bool HasAlias;
        const char* Name;
        const char* Alias;
        const char* Generator;
    } cases[] = {
        // Dialect 3 keeps the case of a name: lower-case letters need quotes there.
        {"CUSTOMER C", true, 3, false, true, "CUSTOMER", "C", "GEN_CUSTOMER_ID"},
        {"CUSTOMER AS CU", true, 3, false, true, "CUSTOMER", "CU", "GEN_CUSTOMER_ID"},
        {"CUSTOMER", true, 3, false, false, "CUSTOMER", "C", "GEN_CUSTOMER_ID"},
        {"customer c", true, 3, false, true, "\"customer\"", "\"c\"", "\"GEN_customer_ID\""},
        {"customer c", false, 3, false, true, "customer", "c", "GEN_customer_ID"},
        {"\"My Table\" T", true, 3, false, true, "\"My Table\"", "T", "\"GEN_My Table_ID\""},
        {"ORDER", true, 3, false, false, "\"ORDER\"", "\"ORDER\"", "\"GEN_ORDER_ID\""},
        {"customer", true, 3, true, false, "CUSTOMER", "CUSTOMER", "GEN_CUSTOMER_ID"},
        {"customer as c", true, 3, true, true, "CUSTOMER", "C", "GEN_CUSTOMER_ID"},
        {"customer  x", true, 1, false, true, "CUSTOMER", "X", "GEN_CUSTOMER_ID"},
        // Blanks around the name are no alias.
        {" CUSTOMER ", true, 3, false, false, "CUSTOMER", "C", "GEN_CUSTOMER_ID"},
        {"CUSTOMER C\r\n", true, 3, false, true, "CUSTOMER", "C", "GEN_CUSTOMER_ID"},
    };
    for (const auto& c : cases) {
        TFakeDataSet dataSet;
        dataSet.HasDatabase = c.HasDatabase;
        dataSet.Dialect = c.Dialect;
        dataSet.UpperNames = c.UpperNames;
        TAutoUpdateOptions o(&dataSet);
        o.WhenGetGenID = wgBeforePost;
        o.CachedKeyCondition = "ID = ?ID";
        o.SetUpdateTableName(c.Table);
        EXPECT_EQ(c.HasAlias, o.HasAlias()) << c.Table;
        EXPECT_EQ(c.Name, o.GetQuotedTableName()) << c.Table;
        EXPECT_EQ(c.Alias, o.GetQuotedTableAlias()) << c.Table;
        EXPECT_EQ(c.Generator, o.GeneratorName) << c.Table;
        EXPECT_TRUE(o.Changed);
        EXPECT_EQ("", o.CachedKeyCondition);
    }
    TAutoUpdateOptions never(nullptr);
    never.SetUpdateTableName("T");
    EXPECT_EQ("", never.GeneratorName);   // wgNever names no generator
    TAutoUpdateOptions named(nullptr);
    named.WhenGetGenID = wgOnNewRecord;
    named.GeneratorName = "MY_GEN";
    named.SetUpdateTableName("T");
    EXPECT_EQ("MY_GEN", named.GeneratorName);
}

TEST(AutoUpdateOptions, SettersAndAssign) {
    TAutoUpdateOptions o(nullptr);
    for (int rewrite = 0; rewrite < 2; ++rewrite)
        for (int change = 0; change < 2; ++change) {
            o.AutoReWriteSqls = rewrite;
            o.CanChangeSQLs = change;
            o.SetUpdateOnlyModifiedFields(true);
            EXPECT_EQ(rewrite && change, o.UpdateOnlyModifiedFields()) << rewrite << change;
        }
    o.SetKeyFields("ID; NAME;;X");
    EXPECT_EQ(3, o.KeyFieldList().Count());
    EXPECT_EQ("NAME", o.KeyFieldList()[1]);
    TStringList links;
    links.SetText("A=B\n\n\nC=D\n");
    o.SetParamsToFieldsLinks(links);
    EXPECT_EQ("A=B\r\nC=D\r\n", o.ParamsToFieldsLinks().Text());

    o.SetSelectGenID(true);
    EXPECT_EQ(wgBeforePost, o.WhenGetGenID);
    o.WhenGetGenID = wgOnNewRecord;
    o.SetSelectGenID(true);
    EXPECT_EQ(wgOnNewRecord, o.WhenGetGenID);
    o.SetSelectGenID(false);
    EXPECT_EQ(wgNever, o.WhenGetGenID);

    o.SetUpdateTableName("T1 a");
    o.GeneratorStep = 10;
    o.UseExecuteBlock = true;
    o.UseRowsClause = true;
    o.SetUseReturningFields(SetOf<TSetReturningFields>(rfKeyFields));
    TAutoUpdateOptions copy(nullptr);
    copy.Assign(o);
    EXPECT_EQ("T1 a", copy.UpdateTableName());
    EXPECT_TRUE(copy.HasAlias());
    EXPECT_EQ(3, copy.KeyFieldList().Count());
    EXPECT_TRUE(copy.UpdateOnlyModifiedFields());
    EXPECT_EQ(10, copy.GeneratorStep);
    EXPECT_EQ("A=B\r\nC=D\r\n", copy.ParamsToFieldsLinks().Text());
    EXPECT_FALSE(copy.UseExecuteBlock);
    EXPECT_FALSE(copy.UseRowsClause);
    EXPECT_EQ(0, copy.UseReturningFields());
}

// --- Formats and blob swapping ---------------------------------------------------------------

TEST(FormatFields, LiteralDefaultsOrTheGlobalSet) {
    TFormatFields f(nullptr);
    EXPECT_EQ("dd.mm.yyyy hh:mm AMPM", f.DateTimeDisplayFormat);
    EXPECT_EQ("#,##0.", f.NumericDisplayFormat);
    EXPECT_EQ("0.", f.NumericEditFormat);
    EXPECT_EQ("dd.mm.yyyy", f.DisplayFormatDate);
    EXPECT_EQ("hh:mm AMPM", f.DisplayFormatTime);
    UseGlobalDefaultFormats = true;
    DefaultDateFormat = "yyyy-mm-dd";
    DefaultTimeFormat = "hh:nn";
    TFormatFields g(nullptr);
    UseGlobalDefaultFormats = false;
    DefaultDateFormat = "dd.mm.yyyy";
    DefaultTimeFormat = "hh:mm AMPM";
    EXPECT_EQ("yyyy-mm-dd hh:nn", g.DateTimeDisplayFormat);
    EXPECT_EQ("yyyy-mm-dd", g.DisplayFormatDate);
    f.Assign(g);
    EXPECT_EQ("hh:nn", f.DisplayFormatTime);
}

TEST(BlobSwapSupport, ExpandedSwapDirectory) {
    TBlobSwapSupport s;
    EXPECT_EQ("", s.GetExpandedSwapDir());   // not active
    s.Active = true;
    EXPECT_EQ(ProgramDir(), s.GetExpandedSwapDir());
    s.SwapDir = "{app_path}swap";
    EXPECT_EQ(ProgramDir() + "swap/", s.GetExpandedSwapDir());
    s.SwapDir = "/var/tmp";
    EXPECT_EQ("/var/tmp/", s.GetExpandedSwapDir());
    s.SwapDir = "";
    EXPECT_EQ("", s.GetExpandedSwapDir());
}

// --- Generator cache -------------------------------------------------------------------------

std::string ReadText(const std::string& Name) {
    std::string bytes;
    ReadFileBytes(Name, bytes);
    return bytes;
}

TEST(GeneratorsCache, WhichGeneratorsAreCached) {
    TGeneratorsCache c;
    c.AddGenerator("GEN_A");
    EXPECT_FALSE(c.IsCached("GEN_A"));   // no file name
    c.CacheFileName = "/nonexistent/gen.ini";
    EXPECT_FALSE(c.IsCached("GEN_A"));   // No
    c.UseGeneratorCache = forGeneratorList;
    EXPECT_TRUE(c.IsCached("gen_a"));
    EXPECT_FALSE(c.IsCached("GEN_B"));
    c.UseGeneratorCache = forAll;
    EXPECT_TRUE(c.IsCached("GEN_B"));
    EXPECT_EQ(50, c.GetStep("GEN_B"));
    c.FindGenerator("GEN_A")->StepForCache = 0;
    EXPECT_EQ(1, c.GetStep("GEN_A"));    // a step that reserves nothing is never used
}

TEST(GeneratorsCache, BlocksAreHandedOutOnceInOrder) {
    TGeneratorsCache c;   // in memory only
    c.UseGeneratorCache = forAll;
    EXPECT_EQ(-1, c.GetNextValue("G"));
    c.SetGeneratorBlock("G", 1000);        // step 50: 951..1000
    EXPECT_EQ(951, c.GetNextValue("G"));
    TGeneratorParams& g = *c.FindGenerator("G");
    g.NextValue = 10;
    g.Limit = 10;
    EXPECT_EQ(10, g.TakeNextValue());
    EXPECT_EQ(-1, g.NextValue);
    EXPECT_EQ(-1, g.TakeNextValue());

    // A block of negative values moves on too; -1 itself means "none left" and is skipped.
    c.SetGeneratorBlock("N", -1, 3);
    EXPECT_EQ(-3, c.GetNextValue("N"));
    EXPECT_EQ(-2, c.GetNextValue("N"));
    EXPECT_EQ(-1, c.GetNextValue("N"));
    EXPECT_EQ(-1, c.GetNextValue("N"));

    // The block is the range the fetch's step reserved, whatever the item's step says.
    c.SetGeneratorBlock("G", 20, 5);
    EXPECT_EQ(16, c.GetNextValue("G"));

    // Only listed generators get blocks under forGeneratorList.
    c.UseGeneratorCache = forGeneratorList;
    c.SetGeneratorBlock("Other", 100);
    EXPECT_EQ(nullptr, c.FindGenerator("Other"));
}

TEST(GeneratorsCache, TheFileKeepsValuesBeyond32Bits) {
    test::TempDir dir;
    const std::string name = dir.File("gens.ini");
    {
        std::ofstream(name) << "[GEN_BIG]\nStepForCache=7\nNextValue=4294967296\nLimit=4294967300\n"
                               "[gen_bad]\nNextValue=12x\nLimit=\n";
    }
    TGeneratorsCache c;
    c.CacheFileName = name;
    c.UseGeneratorCache = forAll;
    EXPECT_EQ(4294967296LL, c.GetNextValue("gen_big"));
    EXPECT_EQ(7, c.FindGenerator("GEN_BIG")->StepForCache);
    EXPECT_EQ(-1, c.GetNextValue("GEN_BAD"));                 // unreadable values are -1
    EXPECT_EQ(50, c.FindGenerator("GEN_BAD")->StepForCache);  // missing step: DefaultStep
    c.SetGeneratorBlock("GEN_NEW", 3000000049LL);
    EXPECT_NE(std::string::npos,
              ReadText(name).find("[GEN_NEW]\nStepForCache=50\nNextValue=3000000000\nLimit=3000000049\n"));

    TGeneratorsCache again;
    again.CacheFileName = name;
    again.UseGeneratorCache = forAll;
    EXPECT_EQ(4294967297LL, again.GetNextValue("GEN_BIG"));
    EXPECT_EQ(3000000000LL, again.GetNextValue("GEN_NEW"));
    EXPECT_EQ(4294967300LL, again.FindGenerator("GEN_BIG")->Limit);

    TGeneratorsCache copy;
    copy.SetGeneratorList(again);                             // names and steps, no blocks
    ASSERT_NE(nullptr, copy.FindGenerator("GEN_BIG"));
    EXPECT_EQ(7, copy.FindGenerator("GEN_BIG")->StepForCache);
    EXPECT_EQ(-1, copy.GetNextValue("GEN_BIG"));
}

// One attachment that runs gen_id on a real generator; its transaction is committed at the end.
class TGeneratorServer {
public:
    explicit TGeneratorServer(const std::string& Path)
        : FLib(FindOrLoadClientLibrary(DefaultClientLibraryName)), FDb(*FLib, Path, test::TLiveAttachment::AsSysdba()) {
        FDb.CommitOnClose = true;
        FDb.StartTransaction();
    }

    int64_t GenId(const std::string& Generator, int32_t Step) {
        return FDb.QueryInt("select gen_id(" + Generator + ", " + std::to_string(Step) + ") from RDB$DATABASE");
    }

private:
    IIBClientLibraryPtr FLib;
    test::TLiveAttachment FDb;
};

// The database's use of the cache: a cached value while one is left, else a block fetched with
// the cache's step, stored, and its first value taken.
int64_t NextGeneratorValue(TGeneratorsCache& Cache, TGeneratorServer& Server, const std::string& Generator) {
    const int64_t cached = Cache.GetNextValue(Generator);
    if (cached != -1) return cached;
    const int32_t step = Cache.GetStep(Generator);
    Cache.SetGeneratorBlock(Generator, Server.GenId(Generator, step), step);
    return Cache.GetNextValue(Generator);
}

TEST(GeneratorsCacheLive, CacheObjectsSharingAFileNeverHandOutAValueTwice) {
    test::PrepareFirebirdEnvironment();
    test::TempDatabase db("CREATE GENERATOR GEN_ORDER;\nSET GENERATOR GEN_ORDER TO 2147483640;\n");
    TGeneratorServer server(db.Path());
    const std::string file = db.Dir().File("generators.ini");
    auto make = [&](int32_t Step) {
        auto c = std::make_unique<TGeneratorsCache>();
        c->CacheFileName = file;
        c->UseGeneratorCache = forAll;
        c->DefaultStep = Step;
        return c;
    };
    auto a = make(5);
    auto b = make(3);
    std::unique_ptr<TGeneratorsCache> late;
    std::vector<int64_t> values;
    // A takes one value, then B (which loads the file A wrote) takes two, and so on; a third
    // cache object joins halfway and a cache object leaves and comes back.
    const char pattern[] = "ABBAABBBAAAAABABBBBAAACCACBCCBAC";
    for (int round = 0; round < 3; ++round) {
        for (const char* p = pattern; *p; ++p) {
            if (*p == 'C' && !late) late = make(4);
            TGeneratorsCache& c = *p == 'A' ? *a : *p == 'B' ? *b : *late;
            values.push_back(NextGeneratorValue(c, server, "GEN_ORDER"));
        }
        b = make(3);   // a new object over the same file
    }
    const int64_t last = server.GenId("GEN_ORDER", 0);
    std::set<int64_t> distinct(values.begin(), values.end());
    EXPECT_EQ(values.size(), distinct.size()) << "a value was handed out twice";
    EXPECT_GT(*distinct.begin(), 2147483640LL);
    EXPECT_LE(*distinct.rbegin(), last);   // every value was reserved by the server
}

} // namespace
} // namespace qnl
