// The local cache files of the table information, the data-set information and the error
// messages: written and read back, bad files taken as absent (every cut of a good file among
// them), a failed write keeping the old file, and the extended database loading them when it
// connects. Data-set rows are written by isql and read by the repository reader.
#include "datasets/pFIBDataInfo.h"

#include "DataSetKit.h"
#include "client/pFIBDatabase.h"
#include "platform/Streams.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace qnl {
namespace {

namespace fs = std::filesystem;

const char* const Ddl = R"(
CREATE TABLE T (ID INTEGER NOT NULL PRIMARY KEY, NAME VARCHAR(20) DEFAULT 'n', MEMO BLOB SUB_TYPE TEXT);
CREATE TABLE FIB$DATASETS_INFO (DS_ID INTEGER NOT NULL PRIMARY KEY, DESCRIPTION VARCHAR(40),
  SELECT_SQL BLOB SUB_TYPE TEXT, UPDATE_SQL BLOB SUB_TYPE TEXT, INSERT_SQL BLOB SUB_TYPE TEXT,
  DELETE_SQL BLOB SUB_TYPE TEXT, REFRESH_SQL BLOB SUB_TYPE TEXT, NAME_GENERATOR VARCHAR(68), KEY_FIELD VARCHAR(68));
INSERT INTO FIB$DATASETS_INFO (DS_ID, DESCRIPTION, SELECT_SQL, KEY_FIELD, NAME_GENERATOR)
  VALUES (1, 'old', 'SELECT * FROM T', 'ID', 'G_T');
COMMIT;
)";

std::string FileBytes(const std::string& Path) {
    std::ifstream in(Path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteBytes(const std::string& Path, const std::string& Bytes) {
    std::ofstream(Path, std::ios::binary | std::ios::trunc) << Bytes;
}

std::string Int32(int32_t Value) {
    std::string s(4, '\0');
    for (int i = 0; i < 4; ++i) s[static_cast<size_t>(i)] = static_cast<char>((static_cast<uint32_t>(Value) >> (8 * i)) & 0xFF);
    return s;
}

std::string Text(const std::string& Value) { return Int32(static_cast<int32_t>(Value.size())) + Value; }

class pFIBDataInfoFilesTest : public test::DataSetKit {
protected:
    void SetUp() override {
        OpenDatabase(Ddl);
        ClearCaches();
        CacheName = (fs::path(Dir.Path()) / "cache.v1" / "schema").string();
        fs::create_directory(fs::path(Dir.Path()) / "cache.v1");
    }
    void TearDown() override {
        ClearCaches();
        test::DataSetKit::TearDown();
    }
    static void ClearCaches() {
        TableInfoCache().Clear();
        TableInfoCache().Stamp = 0;
        TableInfoCache().ValidateOnUse = false;
        DataSetInfoCache().Clear();
        DataSetInfoCache().ValidateOnUse = false;
        ErrorMessagesCache().Clear();
    }
    // One entry in each store.
    void FillCaches() {
        ASSERT_NE(TableInfoCache().GetTableInfo(&Database, "T", false), nullptr);
        auto info = std::make_unique<TpDataSetInfo>();
        info->DBName = Database.DBName();
        info->FIBVersion = 3;
        info->SelectSQL.SetText("SELECT *\r\nFROM T");
        info->KeyField = "ID";
        info->NameGenerator = "G_T";
        info->Description = "d\xC3\xA9";
        info->UpdateTableName = "T";
        info->UpdateOnlyModifiedFields = true;
        info->Conditions = "c=1";
        DataSetInfoCache().AddInfo(7, std::move(info));
        ErrorMessagesCache().Stamp = 12;
        ErrorMessagesCache().AddErrorMessage("Keys", "PK_T", 2, "duplicate key");
        ErrorMessagesCache().AddErrorMessage("keys", "pk_t", 1, "older");
        ErrorMessagesCache().AddErrorMessage("Keys", "FK", 1, "");
    }
    std::string DataSetFile() const { return CacheName + ".dt"; }
    std::string ErrorFile() const { return CacheName + ".err"; }

    test::TempDir Dir;
    std::string CacheName;
};

TEST(CacheFileName, ReplacesOnlyTheFileNamesExtension) {
    const struct {
        const char* Name;
        const char* Extension;
        const char* Expected;
    } cases[] = {
        {"dir.v1/cache", ".dt", "dir.v1/cache.dt"},
        {"dir.v1/cache.fdc", ".err", "dir.v1/cache.err"},
        {"/a/b.c/d.e", ".dt", "/a/b.c/d.dt"},
        {"cache", ".err", "cache.err"},
    };
    for (const auto& c : cases) EXPECT_EQ(CacheFileName(c.Name, c.Extension), c.Expected) << c.Name;
}

TEST(ErrorMessages, TheHigherVersionKeepsItsTextAndNamesIgnoreCase) {
    TpErrorMessagesCollect store;
    store.AddErrorMessage("G", "N", 2, "two");
    store.AddErrorMessage("g", "n", 1, "one");
    store.AddErrorMessage("G", "N", 2, "two again");
    ASSERT_TRUE(store.FindErrorMessage("g", "N"));
    EXPECT_EQ(store.FindErrorMessage("g", "N")->Text, "two");
    store.AddErrorMessage("G", "n", 3, "three");
    EXPECT_EQ(store.FindErrorMessage("G", "N")->Text, "three");
    EXPECT_EQ(store.FindErrorMessage("G", "N")->Version, 3);
    EXPECT_FALSE(store.FindErrorMessage("G", "other"));
    EXPECT_FALSE(store.FindErrorMessage("H", "N"));
    EXPECT_EQ(store.GroupCount(), 1);
}

TEST_F(pFIBDataInfoFilesTest, TheThreeFilesRoundTripAndAreTheOwnersAlone) {
    FillCaches();
    TableInfoCache().Stamp = 1;
    TFIBDatabase::SaveSchemaCacheFiles(CacheName);
    for (const std::string& file : {CacheName, DataSetFile(), ErrorFile()}) {
        struct stat st{};
        ASSERT_EQ(stat(file.c_str(), &st), 0) << file;
        EXPECT_EQ(st.st_mode & 0777, 0600u) << file;
    }
    // Nothing else is left in the folder (no temporary files).
    EXPECT_EQ(std::distance(fs::directory_iterator(fs::path(Dir.Path()) / "cache.v1"), fs::directory_iterator()), 3);
    // The files begin with their magic as the formats say.
    EXPECT_EQ(FileBytes(CacheName).substr(0, 23), Text("FIB$MCF") + Int32(6) + Int32(1) + Int32(1));
    EXPECT_EQ(FileBytes(DataSetFile()).substr(0, 21), Text("FIB$MCFDS") + Int32(1) + Int32(1));
    EXPECT_EQ(FileBytes(ErrorFile()).substr(0, 34), Int32(1) + Text("FIB$Error_messages") + Int32(12) + Int32(1));

    TpFIBTableInfo* before = TableInfoCache().FindTableInfo(Database.DBName(), "T");
    ASSERT_NE(before, nullptr);
    const std::string defaultBefore = before->FieldInfo("NAME")->DefaultValue;
    ClearCaches();
    ASSERT_TRUE(TFIBDatabase::LoadSchemaCacheFiles(CacheName, true, &Database));
    EXPECT_TRUE(TableInfoCache().ValidateOnUse);
    EXPECT_TRUE(DataSetInfoCache().ValidateOnUse);
    TpFIBTableInfo* table = TableInfoCache().FindTableInfo(Database.DBName(), "T");
    ASSERT_NE(table, nullptr);
    EXPECT_TRUE(table->NeedsCheck);
    EXPECT_EQ(table->FieldCount(), 3);
    ASSERT_NE(table->FieldInfo("NAME"), nullptr);
    EXPECT_EQ(table->FieldInfo("NAME")->DefaultValue, defaultBefore);
    EXPECT_FALSE(table->FieldInfo("MEMO")->UsableInWhere);
    EXPECT_TRUE(table->IsActual(&Database));

    TpDataSetInfo* info = DataSetInfoCache().FindInfo(7, Database.DBName());
    ASSERT_NE(info, nullptr);
    EXPECT_TRUE(info->NeedsCheck);
    EXPECT_EQ(info->FIBVersion, 3);
    EXPECT_EQ(info->SelectSQL.Text(), "SELECT *\r\nFROM T\r\n");
    EXPECT_EQ(info->InsertSQL.Count(), 0);
    EXPECT_EQ(info->KeyField, "ID");
    EXPECT_EQ(info->NameGenerator, "G_T");
    EXPECT_EQ(info->Description, "d\xC3\xA9");
    EXPECT_EQ(info->UpdateTableName, "T");
    EXPECT_TRUE(info->UpdateOnlyModifiedFields);
    EXPECT_EQ(info->Conditions, "c=1");

    EXPECT_EQ(ErrorMessagesCache().Stamp, 12);
    ASSERT_TRUE(ErrorMessagesCache().FindErrorMessage("KEYS", "pk_t"));
    EXPECT_EQ(ErrorMessagesCache().FindErrorMessage("KEYS", "pk_t")->Text, "duplicate key");
    EXPECT_EQ(ErrorMessagesCache().FindErrorMessage("Keys", "FK")->Version, 1);

    // Saving empty stores deletes their files.
    ClearCaches();
    TFIBDatabase::SaveSchemaCacheFiles(CacheName);
    for (const std::string& file : {CacheName, DataSetFile(), ErrorFile()}) EXPECT_FALSE(fs::exists(file)) << file;
}

TEST_F(pFIBDataInfoFilesTest, BadFilesAreTakenAsAbsent) {
    FillCaches();
    TFIBDatabase::SaveSchemaCacheFiles(CacheName);
    struct Loader {
        std::string File;
        size_t CountOffset;   // of the first count after the header
        std::function<bool()> Load;
        std::function<bool()> Empty;
    };
    const std::vector<Loader> loaders = {
        {CacheName, 19, [&] { return TableInfoCache().LoadFromFile(CacheName, &Database); },
         [] { return TableInfoCache().Count() == 0; }},
        {DataSetFile(), 17, [&] { return DataSetInfoCache().LoadFromFile(DataSetFile()); },
         [] { return DataSetInfoCache().Count() == 0; }},
        {ErrorFile(), 30, [&] { return ErrorMessagesCache().LoadFromFile(ErrorFile()); },
         [] { return ErrorMessagesCache().GroupCount() == 0; }},
    };
    for (const Loader& l : loaders) {
        const std::string good = FileBytes(l.File);
        ASSERT_GT(good.size(), 20u) << l.File;
        std::vector<std::pair<std::string, std::string>> bad = {
            {"garbage", std::string(300, '\xA5')},
            // A count that claims more entries than the file could hold.
            {"oversized count", good.substr(0, l.CountOffset) + Int32(INT32_MAX) + std::string(64, '\0')},
            // A text that claims 2 GB.
            {"oversized text", good.substr(0, 4) + Int32(INT32_MAX) + "x"},
        };
        for (size_t cut = 0; cut < good.size(); ++cut) bad.emplace_back("cut at " + std::to_string(cut), good.substr(0, cut));
        for (const auto& [what, bytes] : bad) {
            ClearCaches();
            WriteBytes(l.File, bytes);
            bool loaded = true;
            EXPECT_NO_THROW(loaded = l.Load()) << l.File << ": " << what;
            EXPECT_FALSE(loaded) << l.File << ": " << what;
            EXPECT_TRUE(l.Empty()) << l.File << ": " << what;
        }
        fs::remove(l.File);
        EXPECT_FALSE(l.Load()) << l.File << ": missing";
        WriteBytes(l.File, good);
        ClearCaches();
        EXPECT_TRUE(l.Load()) << l.File;
        EXPECT_FALSE(l.Empty()) << l.File;
    }
}

TEST_F(pFIBDataInfoFilesTest, AFileOfAReplacedDatabaseIsNotRead) {
    FillCaches();
    // Transaction ids are unsigned: a stamp above 2^31 is later than any id of this database.
    for (const int32_t stamp : {INT32_MAX, INT32_MIN + 5}) {
        TableInfoCache().Stamp = stamp;
        TableInfoCache().SaveToFile(CacheName);
        EXPECT_TRUE(TableInfoCache().LoadFromFile(CacheName, &Database)) << stamp;
        EXPECT_EQ(TableInfoCache().Count(), 0) << stamp;
        ASSERT_NE(TableInfoCache().GetTableInfo(&Database, "T", false), nullptr);
    }
    // Without a database the file is read whatever its stamp.
    TableInfoCache().SaveToFile(CacheName);
    EXPECT_TRUE(TableInfoCache().LoadFromFile(CacheName, nullptr));
    EXPECT_EQ(TableInfoCache().Count(), 1);
}

// A full disk stops the write of the new file: the old one stays whole and no temporary file is
// left. The file-size limit stands in for the full disk (it also binds root, who ignores folder
// permissions).
TEST_F(pFIBDataInfoFilesTest, AFailedWriteKeepsTheOldFile) {
    TpErrorMessagesCollect store;
    store.AddErrorMessage("G", "N", 1, "short");
    store.SaveToFile(ErrorFile());
    const std::string old = FileBytes(ErrorFile());
    store.AddErrorMessage("G", "N", 2, std::string(4096, 'x'));
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 1024;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    store.SaveToFile(ErrorFile());
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);
    EXPECT_EQ(FileBytes(ErrorFile()), old);
    EXPECT_EQ(std::distance(fs::directory_iterator(fs::path(Dir.Path()) / "cache.v1"), fs::directory_iterator()), 1);
    // A folder the user may not write to (root may write anywhere, so only for others).
    if (geteuid() != 0) {
        const fs::path folder = fs::path(Dir.Path()) / "cache.v1";
        fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec);
        store.SaveToFile(ErrorFile());
        fs::permissions(folder, fs::perms::owner_all);
        EXPECT_EQ(FileBytes(ErrorFile()), old);
    }
    store.SaveToFile(ErrorFile());
    EXPECT_NE(FileBytes(ErrorFile()), old);
}

TEST_F(pFIBDataInfoFilesTest, TheExtendedDatabaseLoadsOnConnectAndSavesOnClose) {
    Database.Close();
    TpFIBDatabase db;
    db.SetDBName(Db->Path());
    db.ConnectParams().SetUserName("SYSDBA");
    db.SetSQLDialect(3);
    db.CacheSchemaOptions().LocalCacheFile = CacheName;
    db.CacheSchemaOptions().AutoLoadFromFile = true;
    db.CacheSchemaOptions().AutoSaveToFile = true;
    // Bad files never stop a connect.
    for (const std::string& file : {CacheName, DataSetFile(), ErrorFile()}) WriteBytes(file, std::string(40, '\xFF'));
    db.Open();
    EXPECT_TRUE(db.Connected());
    EXPECT_EQ(TableInfoCache().Count(), 0);
    ASSERT_NE(TableInfoCache().GetTableInfo(&db, "T", false), nullptr);
    ErrorMessagesCache().AddErrorMessage("G", "N", 1, "text");
    db.Close();
    ClearCaches();
    db.Open();
    EXPECT_EQ(TableInfoCache().Count(), 1);
    EXPECT_TRUE(TableInfoCache().ValidateOnUse);
    EXPECT_TRUE(ErrorMessagesCache().FindErrorMessage("G", "N"));

    // With OnAcceptCacheSchema the loaded tables are judged by it, and the files written back.
    db.Close();
    int asked = 0;
    db.OnAcceptCacheSchema = [&](const std::string& Name, bool& Accept) {
        ++asked;
        Accept = Name != "T";
    };
    db.Open();
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(TableInfoCache().Count(), 0);
    db.Close();
}

TEST_F(pFIBDataInfoFilesTest, DataSetRowsWrittenByIsqlAreRead) {
    TpDataSetInfo old;
    Transaction.StartTransaction();
    ASSERT_TRUE(old.ReadFromRepository(Transaction, 1));
    EXPECT_EQ(old.SelectSQL.Text(), "SELECT * FROM T\r\n");
    EXPECT_EQ(old.KeyField, "ID");
    EXPECT_EQ(old.NameGenerator, "G_T");
    EXPECT_EQ(old.Description, "old");
    EXPECT_EQ(old.FIBVersion, 0);
    EXPECT_FALSE(old.UpdateOnlyModifiedFields);
    TpDataSetInfo none;
    EXPECT_FALSE(none.ReadFromRepository(Transaction, 2));
    Transaction.Rollback();
    Database.Close();

    // The newer columns, as the repository upgrade adds them.
    std::string out;
    ASSERT_EQ(test::RunSql(*Db,
                           "ALTER TABLE FIB$DATASETS_INFO ADD FIB$VERSION INTEGER, ADD UPDATE_TABLE_NAME VARCHAR(68),"
                           " ADD UPDATE_ONLY_MODIFIED_FIELDS SMALLINT, ADD CONDITIONS BLOB SUB_TYPE 1 SEGMENT SIZE 80;"
                           "COMMIT;"
                           "INSERT INTO FIB$DATASETS_INFO (DS_ID, SELECT_SQL, UPDATE_SQL, FIB$VERSION, UPDATE_TABLE_NAME,"
                           " UPDATE_ONLY_MODIFIED_FIELDS, CONDITIONS) VALUES (2, 'SELECT 1 FROM RDB$DATABASE',"
                           " 'UPDATE T SET NAME=?NAME WHERE ID=?OLD_ID', 9, 'T', 1, 'c1=ID>0');"
                           "COMMIT;",
                           out),
              0)
        << out;
    Database.Open();
    Transaction.StartTransaction();
    TpDataSetInfo info;
    ASSERT_TRUE(info.ReadFromRepository(Transaction, 2));
    EXPECT_EQ(info.UpdateSQL.Text(), "UPDATE T SET NAME=?NAME WHERE ID=?OLD_ID\r\n");
    EXPECT_EQ(info.FIBVersion, 9);
    EXPECT_EQ(info.UpdateTableName, "T");
    EXPECT_TRUE(info.UpdateOnlyModifiedFields);
    EXPECT_EQ(info.Conditions, "c1=ID>0");
    EXPECT_EQ(info.KeyField, "");
}

} // namespace
} // namespace qnl
