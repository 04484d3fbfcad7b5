// Blob routines, blob streams, swap files and their validation, against real databases of the
// embedded engine; isql-fb is the witness of what reached the server.
#include "client/FIBMiscellaneous.h"

#include "fixtures/FbFixture.h"
#include "tests/client/ErrorText.h"
#include "platform/Files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace qnl {
namespace {

// --- Contents: a 251-byte binary base and a 97-character text base, repeated. Their lengths do
// not divide the segment lengths, so every segment starts at another place of the pattern.

std::string BinaryBase() {
    std::string base;
    for (int k = 0; k < 251; ++k) base += static_cast<char>((k * 97 + 13) % 256);
    return base;
}

std::string TextBase() {
    std::string base;
    for (char c = ' '; c <= '~'; ++c) base += c;
    return base + "\r\n";
}

std::string Repeat(const std::string& Base, size_t Length) {
    std::string out;
    out.reserve(Length);
    while (out.size() < Length) out += Base.substr(0, Length - out.size());
    return out;
}

std::string BinaryPattern(size_t Length) { return Repeat(BinaryBase(), Length); }
std::string TextPattern(size_t Length) { return Repeat(TextBase(), Length); }

// The same contents written by isql-fb: RPAD of an empty blob with the base.
std::string SqlBinaryBase() {
    static constexpr char Hex[] = "0123456789ABCDEF";
    std::string literal = "x'";
    for (const char c : BinaryBase()) {
        literal += Hex[static_cast<unsigned char>(c) >> 4];
        literal += Hex[static_cast<unsigned char>(c) & 15];
    }
    return literal + "'";
}

std::string SqlTextBase() {
    std::string literal = "'";
    for (const char c : TextBase()) {
        if (c == '\r' || c == '\n') break;
        literal += c == '\'' ? std::string("''") : std::string(1, c);
    }
    return literal + "' || ASCII_CHAR(13) || ASCII_CHAR(10)";
}

const std::vector<int> Sizes = {0, 1, 65535, 65536, 200000};

struct TColumn {
    const char* Name;
    int SubType;
};
const std::vector<TColumn> Columns = {{"B80", 0}, {"B32K", 0}, {"T80", 1}, {"T32K", 1}};

std::string Pattern(const TColumn& Column, size_t Length) {
    return Column.SubType == 0 ? BinaryPattern(Length) : TextPattern(Length);
}

std::string Ddl() {
    const std::string columns =
        "ID INTEGER NOT NULL PRIMARY KEY, B80 BLOB SUB_TYPE 0 SEGMENT SIZE 80, "
        "B32K BLOB SUB_TYPE 0 SEGMENT SIZE 32767, T80 BLOB SUB_TYPE TEXT SEGMENT SIZE 80, "
        "T32K BLOB SUB_TYPE TEXT SEGMENT SIZE 32767";
    std::string ddl = "CREATE TABLE BLOBS (" + columns + ");\nCREATE TABLE REF (" + columns + ");\n" +
                      "CREATE TABLE LATIN (ID INTEGER NOT NULL PRIMARY KEY, "
                      "W BLOB SUB_TYPE TEXT CHARACTER SET WIN1252);\n" +
                      "INSERT INTO LATIN VALUES (1, 'caf' || ASCII_CHAR(233));\n" +
                      "CREATE VIEW REF_IDS AS SELECT ID FROM REF;\n";
    const std::string binary = SqlBinaryBase();
    const std::string text = SqlTextBase();
    for (int size : Sizes) {
        const std::string n = std::to_string(size);
        ddl += "INSERT INTO REF VALUES (" + n + ", RPAD(CAST('' AS BLOB SUB_TYPE 0), " + n + ", " + binary +
               "), RPAD(CAST('' AS BLOB SUB_TYPE 0), " + n + ", " + binary + "), RPAD(CAST('' AS BLOB SUB_TYPE 1), " +
               n + ", " + text + "), RPAD(CAST('' AS BLOB SUB_TYPE 1), " + n + ", " + text + "));\n";
    }
    return ddl;
}

// --- Blob ids of rows, through the client API of a connected database.

class TBlobRows {
public:
    TBlobRows(TFIBDatabase& Database, TFIBTransaction& Transaction) : FDb(Database), FTr(Transaction) {}

    // The blob columns of the first row of Select; a null blob gives the zero id.
    std::vector<ISC_QUAD> Select(const std::string& Sql) {
        std::vector<ISC_QUAD> ids(8);
        std::vector<short> nulls(8);
        TStatement st(*this, Sql, 8);
        for (int i = 0; i < st.Out->sqld; ++i) {
            XSQLVAR& var = st.Out->sqlvar[i];
            var.sqltype = SQL_BLOB + 1;
            var.sqldata = reinterpret_cast<ISC_SCHAR*>(&ids[static_cast<size_t>(i)]);
            var.sqlind = &nulls[static_cast<size_t>(i)];
        }
        ids.resize(static_cast<size_t>(st.Out->sqld));
        Check(Lib().isc_dsql_execute(ThreadStatusVector(), FTr.HandleAddress(), &st.Handle, 1, nullptr));
        Check(Lib().isc_dsql_fetch(ThreadStatusVector(), &st.Handle, 1, st.Out.get()));
        for (size_t i = 0; i < ids.size(); ++i)
            if (nulls[i]) ids[i] = ISC_QUAD{};
        return ids;
    }

    // Runs Sql with the blob ids as its parameters.
    void Exec(const std::string& Sql, std::vector<ISC_QUAD> Ids) {
        TStatement st(*this, Sql, 1);
        auto in = TStatement::MakeArea(static_cast<short>(Ids.size()));
        in->sqld = static_cast<short>(Ids.size());
        std::vector<short> notNull(Ids.size());
        for (size_t i = 0; i < Ids.size(); ++i) {
            XSQLVAR& var = in->sqlvar[i];
            var.sqltype = SQL_BLOB + 1;
            var.sqllen = sizeof(ISC_QUAD);
            var.sqldata = reinterpret_cast<ISC_SCHAR*>(&Ids[i]);
            var.sqlind = &notNull[i];
        }
        Check(Lib().isc_dsql_execute(ThreadStatusVector(), FTr.HandleAddress(), &st.Handle, 1, in.get()));
    }

private:
    using TArea = std::unique_ptr<XSQLDA, decltype(&std::free)>;
    struct TStatement {
        static TArea MakeArea(short Count) {
            TArea area(static_cast<XSQLDA*>(std::calloc(1, XSQLDA_LENGTH(Count))), &std::free);
            area->version = SQLDA_VERSION1;
            area->sqln = Count;
            return area;
        }
        TStatement(TBlobRows& Rows, const std::string& Sql, short Columns) : Owner(Rows), Out(MakeArea(Columns)) {
            Rows.Check(Rows.Lib().isc_dsql_alloc_statement2(ThreadStatusVector(), Rows.FDb.HandleAddress(), &Handle));
            Rows.Check(Rows.Lib().isc_dsql_prepare(ThreadStatusVector(), Rows.FTr.HandleAddress(), &Handle, 0,
                                                   Sql.c_str(), 3, Out.get()));
        }
        ~TStatement() { Owner.Lib().isc_dsql_free_statement(ThreadStatusVector(), &Handle, DSQL_drop); }
        TStatement(const TStatement&) = delete;
        TStatement& operator=(const TStatement&) = delete;
        TBlobRows& Owner;
        TArea Out;
        isc_stmt_handle Handle = 0;
    };

    IIBClientLibrary& Lib() { return *FDb.ClientLibrary(); }
    void Check(ISC_STATUS Status) {
        if (Status != 0) RaiseStatusVectorError(Lib(), nullptr);
    }

    TFIBDatabase& FDb;
    TFIBTransaction& FTr;
};

std::string Int32Bytes(int32_t Value) {
    std::string bytes(4, '\0');
    for (int i = 0; i < 4; ++i) bytes[static_cast<size_t>(i)] = static_cast<char>(static_cast<uint32_t>(Value) >> (8 * i));
    return bytes;
}

std::string ReadAll(TFIBBlobStream& Stream) {
    Stream.SetPosition(0);
    return Stream.ReadRest();
}

std::string FileBytes(const std::string& FileName) {
    std::ifstream f(FileName, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

void WriteFileBytes(const std::string& FileName, const std::string& Bytes) {
    std::ofstream f(FileName, std::ios::binary | std::ios::trunc);
    f << Bytes;
}

// Every file and symbolic link below Root (links are not followed), as paths relative to it.
std::set<std::string> FilesBelow(const std::string& Root) {
    std::set<std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(Root))
        if (entry.is_regular_file() || entry.is_symlink()) files.insert(entry.path().lexically_relative(Root).string());
    return files;
}

using test::ErrorText;

class BlobStreamTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        test::PrepareFirebirdEnvironment();
        File = new test::TempDatabase(Ddl(), "UTF8");
    }
    static void TearDownTestSuite() {
        delete File;
        File = nullptr;
    }

    // A database on the suite's file with the given connection character set, and a started
    // transaction.
    void Connect(const std::string& CharSet = "UTF8") {
        Db = std::make_unique<TFIBDatabase>();
        Db->SetName("BlobDB");
        Db->SetDBName(File->Path());
        Db->ConnectParams().SetUserName("SYSDBA");
        Db->ConnectParams().SetCharSet(CharSet);
        Db->SynchronizeTime = false;
        Tr = std::make_unique<TFIBTransaction>();
        Tr->SetDefaultDatabase(Db.get());
        Db->Connect();
        Tr->StartTransaction();
    }
    void TearDown() override {
        Streams.clear();
        if (Tr && Tr->Active()) Tr->Rollback();
        Tr.reset();
        Db.reset();
    }

    // A stream over one blob of the current transaction.
    TFIBBlobStream& Stream(const ISC_QUAD& Id, TBlobStreamMode Mode = bmRead, int SubType = 0) {
        auto& s = Streams.emplace_back(std::make_unique<TFIBBlobStream>());
        Setup(*s, Id, Mode, SubType);
        return *s;
    }
    // A stream of one record of Table with a swap identity.
    TFIBBlobStream& RecordStream(const std::string& Table, const std::string& Column, std::vector<Variant> Keys,
                                 const ISC_QUAD& Id) {
        auto& s = Streams.emplace_back(std::make_unique<TFIBBlobStream>(1, nullptr, Table, Column, std::move(Keys)));
        Setup(*s, Id, bmReadWrite, 0);
        return *s;
    }
    void Setup(TFIBBlobStream& S, const ISC_QUAD& Id, TBlobStreamMode Mode, int SubType) {
        S.SetDatabase(Db.get());
        S.SetTransaction(Tr.get());
        S.SetMode(Mode);
        S.SetBlobSubType(SubType);
        S.SetBlobID(Id);
    }
    void EnableSwap(const std::string& Dir) {
        Db->BlobSwapSupport().Active = true;
        Db->BlobSwapSupport().SwapDir = Dir;
    }
    ISC_QUAD RefId(const char* Column, int Size) {
        return TBlobRows(*Db, *Tr).Select(std::string("SELECT ") + Column + " FROM REF WHERE ID = " +
                                          std::to_string(Size))[0];
    }

    static test::TempDatabase* File;
    std::unique_ptr<TFIBDatabase> Db;
    std::unique_ptr<TFIBTransaction> Tr;
    std::vector<std::unique_ptr<TFIBBlobStream>> Streams;
};

test::TempDatabase* BlobStreamTest::File = nullptr;

// Over a UTF8 connection the body is read until the end of the blob, over a single-byte one with
// the length the blob reports; text blobs are transliterated for the second.
class BlobRoundTrip : public BlobStreamTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(BlobRoundTrip, WrittenByTheStreamIsWhatIsqlWroteAndReadsBackByteForByte) {
    Connect(GetParam());
    EXPECT_EQ(std::string(GetParam()) == "UTF8", Db->NeedUnicodeFieldTranslation());
    Tr->ExecSQLImmediate("DELETE FROM BLOBS");
    TBlobRows rows(*Db, *Tr);
    for (int size : Sizes) {
        std::vector<ISC_QUAD> ids;
        for (const TColumn& column : Columns) {
            TFIBBlobStream& s = Stream(ISC_QUAD{}, bmWrite, column.SubType);
            s.WriteString(Pattern(column, static_cast<size_t>(size)));
            s.Finalize();
            EXPECT_FALSE(s.Modified());
            ids.push_back(s.BlobID());
        }
        rows.Exec("INSERT INTO BLOBS VALUES (" + std::to_string(size) + ", ?, ?, ?, ?)", ids);
    }
    // Read back what isql wrote.
    for (int size : Sizes) {
        const std::vector<ISC_QUAD> ids =
            rows.Select("SELECT B80, B32K, T80, T32K FROM REF WHERE ID = " + std::to_string(size));
        for (size_t c = 0; c < Columns.size(); ++c) {
            TFIBBlobStream& s = Stream(ids[c], bmRead, Columns[c].SubType);
            const std::string body = ReadAll(s);
            EXPECT_EQ(size, s.Size()) << Columns[c].Name << " " << size;
            EXPECT_TRUE(body == Pattern(Columns[c], static_cast<size_t>(size))) << Columns[c].Name << " " << size;
        }
    }
    Tr->Commit();
    TearDown();

    std::string query;
    for (const TColumn& column : Columns) {
        const std::string c = column.Name;
        query += std::string(query.empty() ? "" : " UNION ALL ") + "SELECT '<<' || B.ID || ' " + c + " ' || " +
                 "OCTET_LENGTH(B." + c + ") || ' ' || IIF(HASH(B." + c + ") = HASH(R." + c +
                 "), 'same', 'diff') || '>>' FROM BLOBS B JOIN REF R ON R.ID = B.ID";
    }
    std::vector<std::string> expected;
    for (const TColumn& column : Columns)
        for (int size : Sizes)
            expected.push_back(std::to_string(size) + " " + column.Name + " " + std::to_string(size) + " same");
    std::vector<std::string> got = test::QueryRows(*File, query);
    std::sort(got.begin(), got.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(expected, got);
}

INSTANTIATE_TEST_SUITE_P(Connections, BlobRoundTrip, ::testing::Values("UTF8", "WIN1252"));

}  // namespace
}  // namespace qnl

namespace qnl {
namespace {

TEST(BlobRoutines, WithoutAClientLibraryEachNamesItself) {
    isc_blob_handle handle = 0;
    std::string buffer(4, '\0');
    int32_t segments = 0, maxSegment = 0;
    int64_t total = 0;
    int16_t type = 0;
    const struct {
        const char* Name;
        std::function<void()> Call;
    } cases[] = {
        {"GetBlobInfo", [&] { GetBlobInfo(nullptr, &handle, segments, maxSegment, total, type); }},
        {"ReadBlob", [&] { ReadBlob(nullptr, &handle, 0, buffer, nullptr); }},
        {"ReadBlob", [&] { ReadBlobUntilEof(nullptr, &handle, 0, buffer, nullptr); }},
        {"WriteBlob", [&] { WriteBlob(nullptr, &handle, buffer, nullptr); }},
        {"BlobExist", [&] { BlobExist(nullptr, nullptr, nullptr, ISC_QUAD{}); }},
    };
    for (const auto& c : cases)
        EXPECT_EQ(std::string("Can't perform operation ") + c.Name + ". Unknown client library",
                  ErrorText<Exception>(c.Call));
}

TEST(BlobStreamProtocol, PositionsSizesAndTheSavedBody) {
    TFIBBlobStream s;
    s.SetIsClientBlob(true);
    s.SetMode(bmReadWrite);
    s.AssignBuffer("loaded", 6);

    // No position before the start; beyond the end is allowed and reads nothing.
    EXPECT_THROW(s.Seek(-1, TSeekOrigin::soBeginning), EStreamError);
    EXPECT_THROW(s.Seek(-7, TSeekOrigin::soEnd), EStreamError);
    EXPECT_EQ(0, s.Position());
    EXPECT_EQ(10, s.Seek(4, TSeekOrigin::soEnd));
    char c = 0;
    EXPECT_EQ(0, s.Read(&c, 1));
    EXPECT_THROW(s.SetSize(-1), EStreamError);

    // The first write starts a new body (zeros before its position); the loaded one is the old
    // value until the change is restored.
    s.SetPosition(2);
    EXPECT_EQ(2, s.Write("ab", 2));
    EXPECT_EQ(std::string("\0\0ab", 4), ReadAll(s));
    EXPECT_TRUE(s.Modified());
    char old[16] = {};
    EXPECT_EQ(6, s.ReadSavedBody(old, sizeof old));
    EXPECT_EQ("loaded", std::string(old, 6));
    s.RestoreSavedBody();
    EXPECT_FALSE(s.Modified());
    EXPECT_EQ("loaded", ReadAll(s));

    // A body loaded from another stream is a change that can be restored as well.
    TMemoryStream source;
    source.WriteString("replaced");
    EXPECT_TRUE(s.LoadFromStream(source, false));
    EXPECT_EQ("replaced", ReadAll(s));
    s.RestoreSavedBody();
    EXPECT_EQ("loaded", ReadAll(s));

    // Releasing the body never drops a change that is not written yet.
    s.SetPosition(0);
    s.WriteString("changed");
    s.ReleaseBody();
    EXPECT_TRUE(s.Loaded());
    EXPECT_EQ("changed", ReadAll(s));
    s.WriteToServer(true, false);
    EXPECT_FALSE(s.Modified());
    s.ReleaseBody();
    EXPECT_FALSE(s.Loaded());
}

// A body grows only to what a blob can hold: a write or size beyond it is refused before any
// memory is taken, and the body stays as it was.
TEST(BlobStreamProtocol, ABodyBeyondWhatABlobHoldsIsRefused) {
    TFIBBlobStream s;
    s.SetIsClientBlob(true);
    s.SetMode(bmReadWrite);
    s.AssignBuffer("kept", 4);
    const std::string refused = "A blob holds at most 2147483647 bytes.";
    EXPECT_EQ(int64_t{1} << 40, s.Seek(int64_t{1} << 40, TSeekOrigin::soBeginning));
    EXPECT_EQ(refused, ErrorText<EFIBClientError>([&] { s.Write("x", 1); }));
    s.SetPosition(INT32_MAX);
    EXPECT_EQ(refused, ErrorText<EFIBClientError>([&] { s.Write("x", 1); }));
    EXPECT_EQ(refused, ErrorText<EFIBClientError>([&] { s.SetSize(int64_t{INT32_MAX} + 1); }));
    EXPECT_EQ("kept", ReadAll(s));
}

TEST(BlobStreamProtocol, OwnerListKeepsIndexesWhenAStreamLeaves) {
    std::vector<TFIBBlobStream*> list;
    auto a = std::make_unique<TFIBBlobStream>(0, &list, "T", "A", std::vector<Variant>{});
    auto b = std::make_unique<TFIBBlobStream>(1, &list, "T", "B", std::vector<Variant>{});
    auto c = std::make_unique<TFIBBlobStream>(2, &list, "T", "C", std::vector<Variant>{});
    a.reset();
    ASSERT_EQ(2u, list.size());
    EXPECT_EQ(c.get(), list[0]);
    EXPECT_EQ(0, c->OwnerIndex());
    EXPECT_EQ(b.get(), list[1]);
    c.reset();
    b.reset();
    EXPECT_TRUE(list.empty());
}

TEST(SwapFileNames, EveryByteOutsideTheSafeSetIsEscaped) {
    const struct {
        std::string Text;
        std::string Component;
    } cases[] = {
        {"REF", "REF"},
        {"RDB$FIELDS_2-x", "RDB$FIELDS_2-x"},
        {"../x", "%2E%2E%2Fx"},
        {"..", "%2E%2E"},
        {"/etc", "%2Fetc"},
        {std::string("a\0b", 3), "a%00b"},
        {"%41", "%2541"},
        {"1.5 x", "1%2E5%20x"},
        {"caf\xC3\xA9", "caf%C3%A9"},
        {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(c.Component, SwapPathComponent(c.Text)) << c.Text;
}

TEST_F(BlobStreamTest, ReadingToTheEndGrowsTheBufferAndAStopKeepsWhatWasRead) {
    Connect();
    const ISC_QUAD id = RefId("B80", 200000);
    IIBClientLibrary* lib = Db->ClientLibrary();
    auto open = [&] {
        isc_blob_handle handle = 0;
        ISC_QUAD copy = id;
        if (lib->isc_open_blob2(ThreadStatusVector(), Db->HandleAddress(), Tr->HandleAddress(), &handle, &copy, 0,
                                nullptr) != 0)
            RaiseStatusVectorError(*lib, nullptr);
        return handle;
    };
    // The buffer guesses 10 bytes where the blob has 200000.
    isc_blob_handle handle = open();
    std::string buffer = "old content";
    int64_t lastProgress = 0;
    ReadBlobUntilEof(lib, &handle, 10, buffer, [&](int64_t, int64_t Done, bool&) { lastProgress = Done; });
    lib->isc_close_blob(ThreadStatusVector(), &handle);
    EXPECT_TRUE(buffer == BinaryPattern(200000));
    EXPECT_EQ(200000, lastProgress);

    for (const bool untilEof : {false, true}) {
        handle = open();
        std::string part;
        const TBlobProgress stopAtOnce = [](int64_t, int64_t, bool& Stop) { Stop = true; };
        if (untilEof)
            ReadBlobUntilEof(lib, &handle, 200000, part, stopAtOnce);
        else
            ReadBlob(lib, &handle, 200000, part, stopAtOnce);
        lib->isc_close_blob(ThreadStatusVector(), &handle);
        EXPECT_GT(part.size(), 0u);
        EXPECT_LT(part.size(), 200000u);
        EXPECT_TRUE(part == BinaryPattern(part.size())) << untilEof;
    }
}

TEST_F(BlobStreamTest, MissingHandlesAndWrongModesAreRefused) {
    Connect();
    TFIBDatabase closed;
    TFIBTransaction idle;
    idle.SetDefaultDatabase(Db.get());
    const ISC_QUAD id = RefId("B80", 1);
    char c = 0;
    const struct {
        const char* What;
        std::function<void(TFIBBlobStream&)> Setup;
        std::function<void(TFIBBlobStream&)> Use;
        const char* Text;
    } cases[] = {
        {"no database", [](TFIBBlobStream& S) { S.SetDatabase(nullptr); }, [&](TFIBBlobStream& S) { S.Read(&c, 1); },
         "Database not assigned for BlobStream."},
        {"closed database", [&](TFIBBlobStream& S) { S.SetDatabase(&closed); },
         [&](TFIBBlobStream& S) { S.Read(&c, 1); }, "BlobStream: Cannot perform operation -- DB is not open."},
        {"no transaction", [](TFIBBlobStream& S) { S.SetTransaction(nullptr); },
         [&](TFIBBlobStream& S) { S.Read(&c, 1); }, "Transaction not assigned for BlobStream."},
        {"inactive transaction", [&](TFIBBlobStream& S) { S.SetTransaction(&idle); },
         [&](TFIBBlobStream& S) { S.Read(&c, 1); }, "BlobStream :Transaction is not active."},
        {"inactive update transaction",
         [&](TFIBBlobStream& S) {
             S.SetMode(bmReadWrite);
             S.SetUpdateTransaction(&idle);
         },
         [&](TFIBBlobStream& S) {
             S.WriteString("x");
             S.Finalize();
         },
         "BlobStream :Transaction is not active."},
        {"reading a write-only stream", [](TFIBBlobStream& S) { S.SetMode(bmWrite); },
         [&](TFIBBlobStream& S) { S.Read(&c, 1); }, "Blob stream cannot be read."},
        {"writing a read-only stream", [](TFIBBlobStream&) {}, [](TFIBBlobStream& S) { S.WriteString("x"); },
         "Blob stream cannot be written."},
    };
    for (const auto& k : cases) {
        TFIBBlobStream& s = Stream(id);
        k.Setup(s);
        EXPECT_EQ(k.Text, ErrorText<EFIBClientError>([&] { k.Use(s); })) << k.What;
    }
}

TEST_F(BlobStreamTest, AWriteOnlyStreamStartsANewBlobWithoutReadingTheOldOne) {
    Connect();
    const ISC_QUAD old = RefId("B80", 200000);
    TFIBBlobStream& s = Stream(old, bmWrite);
    s.WriteString("abc");
    EXPECT_EQ(3, s.Size());
    s.Finalize();
    EXPECT_FALSE(SameBlobID(old, s.BlobID()));
    EXPECT_EQ("abc", ReadAll(Stream(s.BlobID())));
    EXPECT_TRUE(ReadAll(Stream(old)) == BinaryPattern(200000));

    // A read-write stream without a blob starts empty and needs no server at all.
    TFIBBlobStream fresh;
    fresh.SetMode(bmReadWrite);
    EXPECT_EQ(0, fresh.Size());
}

TEST_F(BlobStreamTest, AStoppedWriteKeepsTheOldBlobAndTheChange) {
    Connect();
    const ISC_QUAD old = RefId("B80", 1);
    TFIBBlobStream& s = Stream(old, bmReadWrite);
    s.WriteString(BinaryPattern(200000));
    EXPECT_THROW(s.WriteToServer(false, false, [](int64_t, int64_t, bool& Stop) { Stop = true; }), EAbort);
    EXPECT_TRUE(SameBlobID(old, s.BlobID()));
    EXPECT_TRUE(s.Modified());
    EXPECT_EQ(0u, s.BlobHandle());
    s.Finalize();
    EXPECT_FALSE(SameBlobID(old, s.BlobID()));
    EXPECT_TRUE(ReadAll(Stream(s.BlobID())) == BinaryPattern(200000));
}

TEST_F(BlobStreamTest, BlrIsReadAsTextWhenAsked) {
    std::string texts[2];
    for (int i = 0; i < 2; ++i) {
        Connect(i == 0 ? "UTF8" : "WIN1252");
        Db->UseBlrToTextFilter = true;
        const ISC_QUAD id = TBlobRows(*Db, *Tr).Select(
            "SELECT RDB$VIEW_BLR FROM RDB$RELATIONS WHERE RDB$RELATION_NAME = 'REF_IDS'")[0];
        texts[i] = ReadAll(Stream(id, bmRead, 2));
        TearDown();
    }
    EXPECT_EQ(0u, texts[0].find("blr_version")) << texts[0];
    EXPECT_NE(std::string::npos, texts[0].find("'R','E','F'")) << texts[0];
    EXPECT_EQ(texts[0], texts[1]);
}

// A text blob the server transliterates to the connection's character set gets a temporary id
// on every fetch: it is read in the fetching transaction, never swapped, and a later load says why
// it fails.
TEST_F(BlobStreamTest, ATransliteratedTextBlobLivesInItsTransaction) {
    Connect("UTF8");
    test::TempDir swap;
    EnableSwap(swap.Path());
    const ISC_QUAD id = TBlobRows(*Db, *Tr).Select("SELECT W FROM LATIN WHERE ID = 1")[0];
    EXPECT_FALSE(IsStoredBlobID(id));
    TFIBBlobStream& s = RecordStream("LATIN", "W", {Variant(1)}, id);
    s.SetBlobSubType(1);
    EXPECT_EQ("caf\xC3\xA9", s.GetAsString());
    EXPECT_EQ(u"caf\u00E9", s.GetAsWideString());
    EXPECT_TRUE(FilesBelow(swap.Path()).empty());

    Tr->Commit();
    Tr->StartTransaction();
    s.SetTransaction(Tr.get());
    try {
        s.GetAsString();
        ADD_FAILURE() << "loaded a temporary blob in another transaction";
    } catch (const EFIBInterBaseError& e) {
        EXPECT_EQ(isc_bad_segstr_id, e.IBErrorCode());
        EXPECT_NE(std::string::npos, std::string(e.what()).find("temporary one, valid only in the transaction"))
            << e.what();
    }
    TearDown();

    Connect("WIN1252");
    const ISC_QUAD stored = TBlobRows(*Db, *Tr).Select("SELECT W FROM LATIN WHERE ID = 1")[0];
    EXPECT_TRUE(IsStoredBlobID(stored));
    EXPECT_EQ("caf\xE9", ReadAll(Stream(stored, bmRead, 1)));
}

TEST_F(BlobStreamTest, ASwapFileHoldsTheBodyForTheNextLoad) {
    Connect();
    test::TempDir swap;
    EnableSwap(swap.Path());
    std::vector<std::string> saved, loaded;
    Db->AfterSaveBlobToSwap = [&](const std::string&, const std::string&, const std::vector<Variant>&,
                                  const std::string& FileName) { saved.push_back(FileName); };
    Db->AfterLoadBlobFromSwap = [&](const std::string&, const std::string&, const std::vector<Variant>&,
                                    const std::string& FileName) { loaded.push_back(FileName); };
    const ISC_QUAD id = RefId("B80", 65536);
    TFIBBlobStream& first = RecordStream("REF", "B80", {Variant(65536)}, id);
    EXPECT_EQ(65536, first.Size());
    EXPECT_FALSE(first.LoadedFromSwap());
    const std::string file = swap.Path() + "/REF/B80/65536.blb";
    EXPECT_EQ(std::vector<std::string>{file}, saved);
    std::string header = "FIB$BLOB_BODY" + Int32Bytes(1) + std::string(reinterpret_cast<const char*>(&id), 8) +
                         Int32Bytes(65536) + Int32Bytes(1) + Int32Bytes(3) + "REF" + Int32Bytes(3) + "B80" +
                         Int32Bytes(5) + "65536";
    const std::string bytes = FileBytes(file);
    EXPECT_EQ(header, bytes.substr(0, header.size()));
    EXPECT_TRUE(bytes.substr(header.size()) == BinaryPattern(65536));

    Tr->Commit();
    Tr->StartTransaction();
    TFIBBlobStream& second = RecordStream("REF", "B80", {Variant(65536)}, id);
    EXPECT_TRUE(ReadAll(second) == BinaryPattern(65536));
    EXPECT_TRUE(second.LoadedFromSwap());
    EXPECT_EQ(std::vector<std::string>{file}, loaded);
}

// Offsets in the file of REF.B80 with key 65536: version 13, blob id 17, body length 25, key count
// 29, table 33 (+4), column 40 (+4), key string 47 (+4), body 56.
TEST_F(BlobStreamTest, ASwapFileThatDoesNotMatchIsReplacedFromTheServer) {
    Connect();
    test::TempDir swap;
    EnableSwap(swap.Path());
    const ISC_QUAD id = RefId("B80", 65536);
    ReadAll(RecordStream("REF", "B80", {Variant(65536)}, id));
    const std::string file = swap.Path() + "/REF/B80/65536.blb";
    const std::string good = FileBytes(file);
    ASSERT_EQ(56u + 65536u, good.size());
    const struct {
        const char* What;
        std::function<void(std::string&)> Change;
        bool Used;
    } cases[] = {
        {"magic", [](std::string& B) { B[0] = 'X'; }, false},
        {"version", [](std::string& B) { B[13] = 2; }, false},
        {"blob id", [](std::string& B) { B[21] ^= 1; }, false},
        {"body length", [](std::string& B) { B[25] ^= 1; }, false},
        {"key count", [](std::string& B) { B[29] = 2; }, false},
        {"table name", [](std::string& B) { B[37] = 'X'; }, false},
        {"column name", [](std::string& B) { B[44] = 'X'; }, false},
        {"key string", [](std::string& B) { B[51] = '7'; }, false},
        {"key string length", [](std::string& B) { B[47] = 4; }, false},
        {"huge table name length", [](std::string& B) { B.replace(33, 4, Int32Bytes(0x7FFFFFF0)); }, false},
        {"body cut short", [](std::string& B) { B.pop_back(); }, false},
        {"empty file", [](std::string& B) { B.clear(); }, false},
        {"table name left out", [](std::string& B) { B.replace(33, 7, Int32Bytes(0)); }, true},
    };
    for (const auto& c : cases) {
        std::string bytes = good;
        c.Change(bytes);
        WriteFileBytes(file, bytes);
        TFIBBlobStream& s = RecordStream("REF", "B80", {Variant(65536)}, id);
        EXPECT_TRUE(ReadAll(s) == BinaryPattern(65536)) << c.What;
        EXPECT_EQ(c.Used, s.LoadedFromSwap()) << c.What;
        EXPECT_TRUE(FileBytes(file) == (c.Used ? bytes : good)) << c.What;
    }
}

TEST_F(BlobStreamTest, NoTableColumnOrKeyValueWritesOutsideTheSwapFolder) {
    Connect();
    test::TempDir root;
    const std::string swap = root.File("a/b/swap");
    fs::create_directories(swap);
    WriteFileBytes(root.File("x.blb"), "keep");
    WriteFileBytes(root.File("a/x.blb"), "keep");
    EnableSwap(swap);
    const ISC_QUAD id = RefId("B80", 1);
    const struct {
        std::string Table, Column;
        Variant Key;
    } cases[] = {
        {"REF", "B80", "../x"},
        {"REF", "B80", "../../../x"},
        {"REF", "B80", "/x"},
        {"REF", "B80", std::string("a\0b", 3)},
        {"REF", "B80", ".."},
        {"REF", "B80", "."},
        {"REF", "B80", "%41"},
        {"REF", "B80", "A"},
        {"../..", "../../..", "x"},
        {"/", ".", "x"},
    };
    std::set<std::string> names;
    for (const auto& c : cases) {
        TFIBBlobStream& s = RecordStream(c.Table, c.Column, {c.Key}, id);
        EXPECT_TRUE(ReadAll(s) == BinaryPattern(1));
        const std::string name = BlobSwapFileName(s, false);
        EXPECT_TRUE(FileExists(name)) << name;
        EXPECT_EQ(0u, fs::weakly_canonical(name).string().find(fs::canonical(swap).string() + "/")) << name;
        names.insert(name);
        // The same identity finds its file again.
        TFIBBlobStream& again = RecordStream(c.Table, c.Column, {c.Key}, id);
        ReadAll(again);
        EXPECT_TRUE(again.LoadedFromSwap()) << name;
    }
    EXPECT_EQ(std::size(cases), names.size());
    std::set<std::string> outside;
    for (const std::string& f : FilesBelow(root.Path()))
        if (f.find("a/b/swap/") != 0) outside.insert(f);
    EXPECT_EQ((std::set<std::string>{"x.blb", "a/x.blb"}), outside);
    EXPECT_EQ("keep", FileBytes(root.File("x.blb")));
    EXPECT_EQ("keep", FileBytes(root.File("a/x.blb")));
}

TEST_F(BlobStreamTest, SwappingCoversListedTablesAndLargeEnoughBodies) {
    Connect();
    const ISC_QUAD id = RefId("B80", 1);
    const struct {
        const char* What;
        std::vector<const char*> Tables;
        int32_t MinSize;
        bool HasKeys;
        bool Swapped;
    } cases[] = {
        {"every table", {}, 0, true, true},
        {"listed table", {"OTHER", "REF"}, 0, true, true},
        {"other tables only", {"OTHER"}, 0, true, false},
        {"smaller than the minimum", {}, 2, true, false},
        {"no key values", {}, 0, false, false},
    };
    for (const auto& c : cases) {
        test::TempDir swap;
        EnableSwap(swap.Path());
        TStringList tables;
        for (const char* t : c.Tables) tables.Add(t);
        Db->BlobSwapSupport().SetTables(tables);
        Db->BlobSwapSupport().MinBlobSizeToSwap = c.MinSize;
        std::vector<Variant> keys;
        if (c.HasKeys) keys.emplace_back(1);
        ReadAll(RecordStream("REF", "B80", keys, id));
        EXPECT_EQ(c.Swapped, !FilesBelow(swap.Path()).empty()) << c.What;
    }
}

TEST_F(BlobStreamTest, ValidationKeepsTheFilesOfLiveBlobsOnly) {
    Connect();
    test::TempDir root;
    const std::string swap = root.File("swap");
    fs::create_directories(swap);
    EnableSwap(swap);
    Tr->ExecSQLImmediate("INSERT INTO BLOBS (ID, B80) VALUES (-1, 'gone soon')");
    Tr->Commit();
    Tr->StartTransaction();
    const ISC_QUAD gone = TBlobRows(*Db, *Tr).Select("SELECT B80 FROM BLOBS WHERE ID = -1")[0];
    ReadAll(RecordStream("REF", "B80", {Variant(1)}, RefId("B80", 1)));
    ReadAll(RecordStream("BLOBS", "B80", {Variant(-1)}, gone));
    // The row goes, and a later scan collects its blob.
    Tr->ExecSQLImmediate("DELETE FROM BLOBS WHERE ID = -1");
    Tr->Commit();
    Tr->StartTransaction();
    TBlobRows(*Db, *Tr).Select("SELECT COUNT(*) FROM BLOBS");
    Tr->Commit();

    WriteFileBytes(swap + "/REF/B80/other.blb", "NOT$BLOB_BODY" + Int32Bytes(1) + std::string(8, '\1'));
    WriteFileBytes(swap + "/REF/B80/version.blb", "FIB$BLOB_BODY" + Int32Bytes(2) + std::string(8, '\1'));
    WriteFileBytes(swap + "/REF/notes.txt", "kept");
    const std::string outside = root.File("outside");
    fs::create_directories(outside);
    WriteFileBytes(outside + "/bad.blb", "bad");
    fs::create_directory_symlink(outside, swap + "/linked");
    fs::create_symlink(outside + "/bad.blb", swap + "/REF/B80/linked.blb");
    ASSERT_EQ((std::set<std::string>{"BLOBS/B80/-1.blb", "REF/B80/1.blb", "REF/B80/other.blb", "REF/B80/version.blb",
                                     "REF/notes.txt", "REF/B80/linked.blb", "linked"}),
              FilesBelow(swap));

    TFIBDatabase db;
    db.SetDBName(File->Path());
    db.ConnectParams().SetUserName("SYSDBA");
    db.SynchronizeTime = false;
    TFIBTransaction tr;
    tr.SetDefaultDatabase(&db);
    ValidateBlobCacheDir(&db, &tr, swap + "/");
    EXPECT_EQ((std::set<std::string>{"REF/B80/1.blb", "REF/notes.txt", "REF/B80/linked.blb", "linked"}),
              FilesBelow(swap));
    EXPECT_EQ("bad", FileBytes(outside + "/bad.blb"));
    if (tr.Active()) tr.Commit();
}

TEST_F(BlobStreamTest, ConnectingStartsAValidationPass) {
    Connect();
    test::TempDir swap;
    EnableSwap(swap.Path());
    ReadAll(RecordStream("REF", "B80", {Variant(1)}, RefId("B80", 1)));
    WriteFileBytes(swap.Path() + "/REF/B80/stale.blb", "stale");
    TearDown();

    Connect();
    EnableSwap(swap.Path());
    Db->BlobSwapSupport().AutoValidateSwap = true;
    Db->Close();
    Db->Connect();
    WaitForValidateBlobCache();
    EXPECT_EQ((std::set<std::string>{"REF/B80/1.blb"}), FilesBelow(swap.Path()));
}

// The validation connections still in the process.
int ValidationConnections() {
    int count = 0;
    for (TFIBDatabase* db : DatabaseList().Items()) count += db->Name() == "dbValidateBlobCache" ? 1 : 0;
    return count;
}

// A pass still running when the process exits is stopped and joined before the attachments
// close, so the process ends cleanly (also under the sanitizers).
TEST(BlobCacheValidation, APassRunningAtExitIsJoined) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    test::PrepareFirebirdEnvironment();
    EXPECT_EXIT(
        {
            test::TempDatabase file("CREATE TABLE T (ID INTEGER);");
            const std::string swap = file.Dir().File("swap");
            fs::create_directories(swap);
            const std::string header = "FIB$BLOB_BODY" + Int32Bytes(1) + std::string(8, '\1');
            for (int i = 0; i < 3000; ++i) WriteFileBytes(swap + "/" + std::to_string(i) + ".blb", header);
            // Registered first, so it runs last at exit; exit skips the destructors, so the folder
            // goes here too.
            static std::string folder;
            folder = file.Dir().Path();
            std::atexit([] {
                std::fprintf(stderr, "%d left at the end\n", ValidationConnections());
                std::error_code ec;
                fs::remove_all(folder, ec);
            });
            auto* db = new TFIBDatabase;
            db->SetDBName(file.Path());
            db->ConnectParams().SetUserName("SYSDBA");
            db->SynchronizeTime = false;
            db->BlobSwapSupport().Active = true;
            db->BlobSwapSupport().AutoValidateSwap = true;
            db->BlobSwapSupport().SwapDir = swap;
            db->Connect();
            std::fprintf(stderr, "%d running at exit\n", ValidationConnections());
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "1 running at exit\n0 left at the end");
}

} // namespace
} // namespace qnl
