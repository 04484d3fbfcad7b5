// Column and parameter values against real Firebird 3. One table holds every type, filled by
// isql-fb; every reader's answer is compared with isql's own text of the same value, once through
// a UTF8 and once through a NONE connection. Values set through parameters are counted back by
// isql with literals.
#include "client/FIBQuery.h"
#include "fixtures/FbFixture.h"
#include "platform/DateTime.h"
#include "platform/VariantConv.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <functional>
#include <limits>
#include <map>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace qnl {
namespace {

// How a column's value is compared with isql's text.
enum class TKind { Exact, Float, Single, Date, Time, TimeStamp, Text, FixedText, Boolean, TextBlob, BinaryBlob };

struct TColumn {
    std::string Name;
    std::string Type;
    std::vector<std::string> Literals;   // rows 1 to 3; row 4 is all null
    TKind Kind;
    int Chars = 0;                       // declared characters of a fixed text
};

// Every numeric storage with every legal scale, then the other types.
const std::vector<TColumn>& Columns() {
    static const std::vector<TColumn> columns = [] {
        std::vector<TColumn> c = {
            {"SI", "SMALLINT", {"-32768", "32767", "1"}, TKind::Exact},
            {"I", "INTEGER", {"2147483647", "-2147483648", "1"}, TKind::Exact},
            {"BI", "BIGINT", {"-9223372036854775808", "9223372036854775807", "1"}, TKind::Exact},
        };
        // Row 1: all digits of the precision; row 2: -5 in the last place (reads as 0 in integer
        // getters); row 3: 1 (1000000 at scale -6 must read as 1).
        auto numeric = [&](const char* Prefix, const char* TypeName, int Precision, int MaxScale) {
            const std::string digits = std::string("987654321012345678").substr(0, static_cast<size_t>(Precision));
            for (int s = 0; s <= MaxScale; ++s) {
                auto placed = [&](std::string Digits) {
                    if (s == 0) return Digits;
                    Digits.insert(0, static_cast<size_t>(std::max(0, s + 1 - static_cast<int>(Digits.size()))), '0');
                    return Digits.insert(Digits.size() - static_cast<size_t>(s), ".");
                };
                c.push_back({std::string(Prefix) + std::to_string(Precision) + "_" + std::to_string(s),
                             std::string(TypeName) + "(" + std::to_string(Precision) + "," + std::to_string(s) + ")",
                             {placed(digits), "-" + placed("5"), "1"},
                             TKind::Exact});
            }
        };
        numeric("N", "NUMERIC", 4, 4);     // SMALLINT storage
        numeric("N", "NUMERIC", 9, 9);     // INTEGER storage
        numeric("N", "NUMERIC", 18, 18);   // BIGINT storage
        numeric("D", "DECIMAL", 4, 2);     // INTEGER storage
        std::vector<TColumn> rest = {
            {"FL", "FLOAT", {"1.1", "-3.25e38", "0"}, TKind::Single},
            {"DP", "DOUBLE PRECISION", {"3.141592653589793", "-1.5e300", "1e-300"}, TKind::Float},
            {"DT", "DATE", {"'2024-02-29'", "'0001-01-01'", "'9999-12-31'"}, TKind::Date},
            {"TM", "TIME", {"'23:59:59.9999'", "'00:00:00'", "'12:00:00.0001'"}, TKind::Time},
            {"TS", "TIMESTAMP",
             {"'1858-11-17 00:00:00'", "'2024-02-29 13:14:15.1234'", "'1899-12-29 06:00:00'"},
             TKind::TimeStamp},
            {"C5", "CHAR(5)", {"'ab'", "'42'", "'abcde'"}, TKind::FixedText, 5},
            {"V10", "VARCHAR(10)", {"'xyz'", "''", "'0123456789'"}, TKind::Text},
            {"CW", "CHAR(5) CHARACTER SET WIN1252", {"_UTF8 'é'", "_UTF8 'àüÿ'", "'x'"}, TKind::FixedText, 5},
            {"VW", "VARCHAR(10) CHARACTER SET WIN1252", {"_UTF8 'àü'", "''", "_UTF8 'ÿÿÿÿÿÿÿÿÿÿ'"}, TKind::Text},
            {"CU", "CHAR(5) CHARACTER SET UTF8", {"_UTF8 'äöü€'", "_UTF8 '日本'", "'abcde'"}, TKind::FixedText, 5},
            {"VU", "VARCHAR(10) CHARACTER SET UTF8", {"_UTF8 '日本語'", "_UTF8 '😀x'", "''"}, TKind::Text},
            {"BO", "BOOLEAN", {"TRUE", "FALSE", "TRUE"}, TKind::Boolean},
            {"BT", "BLOB SUB_TYPE TEXT CHARACTER SET UTF8", {"_UTF8 'text ü blob'", "''", "'x'"}, TKind::TextBlob},
            {"BB", "BLOB SUB_TYPE BINARY", {"x'00FF10'", "x''", "x'41'"}, TKind::BinaryBlob},
        };
        c.insert(c.end(), rest.begin(), rest.end());
        return c;
    }();
    return columns;
}

std::string TableDdl() {
    std::string ddl = "CREATE TABLE T (ID INTEGER NOT NULL PRIMARY KEY";
    for (const TColumn& c : Columns()) ddl += ", " + c.Name + " " + c.Type;
    ddl += ");\n";
    for (int row = 1; row <= 4; ++row) {
        std::string names = "ID", values = std::to_string(row);
        for (const TColumn& c : Columns()) {
            names += ", " + c.Name;
            values += ", " + (row == 4 ? std::string("NULL") : c.Literals[static_cast<size_t>(row - 1)]);
        }
        ddl += "INSERT INTO T (" + names + ") VALUES (" + values + ");\n";
    }
    return ddl;
}

// isql's SET LIST output: one map of column name to text per row.
using TIsqlRow = std::map<std::string, std::string>;

std::vector<TIsqlRow> IsqlList(const test::TempDatabase& Db, const std::string& CharSet, const std::string& Select) {
    const std::string script = Db.Dir().File("list.sql");
    {
        std::ofstream f(script, std::ios::binary);
        f << "SET LIST ON;\nSET BLOBDISPLAY OFF;\n" << Select << ";\n";
    }
    std::string out;
    if (test::RunIsql("-q -ch " + CharSet + " -user SYSDBA -i '" + script + "' '" + Db.Path() + "'", out) != 0)
        throw std::runtime_error("isql-fb failed:\n" + out);
    std::vector<TIsqlRow> rows;
    TIsqlRow row;
    std::istringstream in(out);
    std::string line;
    constexpr size_t ValueColumn = 32;
    while (std::getline(in, line)) {
        if (line.empty()) {
            if (!row.empty()) rows.push_back(std::move(row));
            row.clear();
            continue;
        }
        const std::string name = line.substr(0, line.find(' '));
        row[name] = line.size() > ValueColumn ? line.substr(ValueColumn) : std::string();
    }
    if (!row.empty()) rows.push_back(std::move(row));
    return rows;
}

// --- A decimal text as isql writes it --------------------------------------------------------

struct TDecimal {
    bool Negative = false;
    std::string Int;
    std::string Frac;

    explicit TDecimal(const std::string& Text) {
        size_t i = 0;
        if (Text[i] == '-') Negative = true, ++i;
        const size_t dot = Text.find('.', i);
        Int = Text.substr(i, dot == std::string::npos ? std::string::npos : dot - i);
        if (dot != std::string::npos) Frac = Text.substr(dot + 1);
    }
    // The value * 10^Places, truncated or rounded half to even.
    __int128 Scaled(int Places, bool Round) const {
        __int128 v = 0;
        for (char c : Int) v = v * 10 + (c - '0');
        const std::string frac = Frac + std::string(static_cast<size_t>(std::max(0, Places)), '0');
        for (int k = 0; k < Places; ++k) v = v * 10 + (frac[static_cast<size_t>(k)] - '0');
        if (Round && static_cast<size_t>(Places) < Frac.size()) {
            const std::string rest = Frac.substr(static_cast<size_t>(Places));
            const bool above = rest[0] > '5' || (rest[0] == '5' && rest.find_first_not_of('0', 1) != std::string::npos);
            if (above || (rest[0] == '5' && v % 2 != 0)) ++v;
        }
        return Negative ? -v : v;
    }
    // Without trailing fraction zeros (and "0" for zero), as the scaled-integer text writes it.
    std::string Normalized() const {
        std::string frac = Frac;
        while (!frac.empty() && frac.back() == '0') frac.pop_back();
        const size_t nz = Int.find_first_not_of('0');
        const std::string in = nz == std::string::npos ? "0" : Int.substr(nz);
        if (in == "0" && frac.empty()) return "0";
        return (Negative ? "-" : "") + in + (frac.empty() ? "" : "." + frac);
    }
};

std::string DecimalText(__int128 Scaled, int Places) {
    const bool negative = Scaled < 0;
    unsigned __int128 m = negative ? -static_cast<unsigned __int128>(Scaled) : static_cast<unsigned __int128>(Scaled);
    std::string digits;
    do {
        digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(m % 10)));
        m /= 10;
    } while (m != 0);
    if (static_cast<int>(digits.size()) <= Places) digits.insert(0, static_cast<size_t>(Places + 1) - digits.size(), '0');
    if (Places > 0) digits.insert(digits.size() - static_cast<size_t>(Places), ".");
    return TDecimal((negative ? "-" : "") + digits).Normalized();
}

// Expected answer of a reader whose result is T: the value when it fits, else client error 33.
template <class T, class Get>
void ExpectFits(__int128 Expected, Get&& Read, const std::string& Where) {
    if (Expected >= std::numeric_limits<T>::min() && Expected <= std::numeric_limits<T>::max()) {
        EXPECT_EQ(static_cast<T>(Expected), Read()) << Where;
    } else {
        EXPECT_THROW(Read(), EFIBClientError) << Where;
    }
}

// --- Readers against isql's text ------------------------------------------------------------

void CheckExact(const TFIBXSQLVAR& V, const std::string& Isql, const std::string& Where) {
    const TDecimal d(Isql);
    const __int128 truncated = d.Scaled(0, false);
    ExpectFits<int64_t>(truncated, [&] { return V.GetAsInt64(); }, Where);
    ExpectFits<int32_t>(truncated, [&] { return V.GetAsInteger(); }, Where);
    ExpectFits<int16_t>(truncated, [&] { return V.GetAsShort(); }, Where);
    EXPECT_EQ(std::strtod(Isql.c_str(), nullptr), V.GetAsDouble()) << Where;
    ExpectFits<int64_t>(d.Scaled(4, true), [&] { return V.GetAsCurrency().Scaled; }, Where);
    const bool int64 = V.GetSQLType() == SQL_INT64;
    if (int64 || V.GetScale() == 0) {
        EXPECT_EQ(d.Normalized(), V.GetAsString()) << Where;
    } else {
        // SMALLINT and INTEGER numerics write the float text of the value.
        EXPECT_EQ(std::strtod(Isql.c_str(), nullptr), StrToFloat(V.GetAsString())) << Where;
    }
    const std::string bcd = int64 ? d.Normalized() : DecimalText(d.Scaled(4, true), 4);
    EXPECT_EQ(bcd, BcdToStr(V.GetAsBCD())) << Where;
    const Variant v = V.GetAsVariant();
    if (V.GetScale() == 0) {
        EXPECT_EQ(static_cast<int64_t>(truncated), v.AsInt64()) << Where;
    } else {
        EXPECT_EQ(varDouble, v.VarType()) << Where;
    }
    EXPECT_EQ(V.GetScale() == 0 && d.Normalized() == "1", V.GetAsBoolean()) << Where;
}

void CheckFloat(const TFIBXSQLVAR& V, const std::string& Isql, bool Single, const std::string& Where) {
    const double expected = std::strtod(Isql.c_str(), nullptr);
    if (Single) {
        EXPECT_EQ(static_cast<float>(expected), static_cast<float>(V.GetAsDouble())) << Where;
        EXPECT_EQ(static_cast<float>(expected), static_cast<float>(StrToFloat(V.GetAsString()))) << Where;
    } else {
        EXPECT_EQ(expected, V.GetAsDouble()) << Where;
        EXPECT_NEAR(expected, StrToFloat(V.GetAsString()), std::fabs(expected) * 1e-14) << Where;
    }
    const long double value = V.GetAsDouble();
    ExpectFits<int64_t>(std::fabs(value) < 1e19L ? static_cast<__int128>(value) : static_cast<__int128>(1) << 100,
                        [&] { return V.GetAsInt64(); }, Where);
    EXPECT_EQ(varDouble, V.GetAsVariant().VarType()) << Where;
}

// "2024-02-29", "13:14:15.1234" or both, as a time stamp to the millisecond (the readers keep
// milliseconds) and the exact fraction of a day.
struct TIsqlDate {
    int Y = 0, M = 0, D = 0, H = 0, N = 0, S = 0, Units = 0;   // Units: 1/10000 s

    TIsqlDate(const std::string& Text, bool HasDate, bool HasTime) {
        if (HasDate) std::sscanf(Text.c_str(), "%d-%d-%d", &Y, &M, &D);
        if (HasTime) std::sscanf(Text.c_str() + (HasDate ? 11 : 0), "%d:%d:%d.%d", &H, &N, &S, &Units);
    }
    TDateTime Date() const { return EncodeDate(Y, M, D); }
    TDateTime TimeMs() const { return EncodeTime(H, N, S, Units / 10); }
};

void CheckDate(const TFIBXSQLVAR& V, const std::string& Isql, TKind Kind, const std::string& Where) {
    const bool hasDate = Kind != TKind::Time, hasTime = Kind != TKind::Date;
    const TIsqlDate d(Isql, hasDate, hasTime);
    const TTimeStamp stamp = V.GetAsTimeStamp();
    EXPECT_EQ(hasDate ? static_cast<int32_t>(d.Date()) + DateDelta : 0, stamp.Date) << Where;
    EXPECT_EQ(hasTime ? ((d.H * 60 + d.N) * 60 + d.S) * 1000 + d.Units / 10 : 0, stamp.Time) << Where;
    TDateTime expected = 0;
    if (Kind == TKind::Date) expected = d.Date();
    if (Kind == TKind::Time) expected = (((d.H * 60 + d.N) * 60 + d.S) * 10000.0 + d.Units) / 8.64e8;
    if (Kind == TKind::TimeStamp) expected = d.Date() >= 0 ? d.Date() + d.TimeMs() : d.Date() - d.TimeMs();
    EXPECT_NEAR(expected, V.GetAsDateTime(), 1e-9) << Where;
    const std::string text = Kind == TKind::Date ? DateToStr(expected)
                             : Kind == TKind::Time ? TimeToStr(expected)
                                                   : DateTimeToStr(expected);
    EXPECT_EQ(text, V.GetAsString()) << Where;
    EXPECT_EQ(varDate, V.GetAsVariant().VarType()) << Where;
    EXPECT_THROW(V.GetAsInt64(), EFIBClientError) << Where;
}

std::string PaddedToChars(std::string Text, int Chars) {
    while (!Text.empty() && Text.back() == ' ') Text.pop_back();
    return Text + std::string(static_cast<size_t>(Chars) - Utf8ToWide(Text).size(), ' ');
}

void CheckText(const TFIBXSQLVAR& V, const TColumn& C, const std::string& Isql, bool UnicodeColumn,
               const std::string& Where) {
    // isql pads a UTF8 CHAR(5) to its 20 bytes; the value is 5 characters.
    const std::string expected = C.Kind == TKind::FixedText ? PaddedToChars(Isql, C.Chars) : Isql;
    EXPECT_EQ(expected, V.GetAsString()) << Where;
    EXPECT_EQ(Utf8ToWide(expected), V.GetAsWideString()) << Where;
    const Variant v = V.GetAsVariant();
    EXPECT_EQ(UnicodeColumn ? varOleStr : varString, v.VarType()) << Where;
    EXPECT_EQ(expected, VarToStr(v)) << Where;
    if (expected.find_first_not_of("0123456789 ") == std::string::npos && !Isql.empty())
        EXPECT_EQ(std::stoll(expected), V.GetAsInt64()) << Where;   // padded digits still read as a number
    else
        EXPECT_THROW(V.GetAsInt64(), EFIBClientError) << Where;
}

std::string Hex(const std::string& Bytes) {
    static const char* digits = "0123456789ABCDEF";
    std::string hex;
    for (unsigned char b : Bytes) hex += std::string{digits[b >> 4], digits[b & 15]};
    return hex;
}

void CheckNull(const TFIBXSQLVAR& V, const std::string& Isql, const std::string& Where) {
    EXPECT_EQ("<null>", Isql) << Where;
    EXPECT_TRUE(V.GetIsNull()) << Where;
    EXPECT_EQ("", V.GetAsString()) << Where;
    EXPECT_EQ(u"", V.GetAsWideString()) << Where;
    EXPECT_EQ(0, V.GetAsInt64()) << Where;
    EXPECT_EQ(0, V.GetAsDouble()) << Where;
    EXPECT_EQ(0, V.GetAsCurrency().Scaled) << Where;
    EXPECT_FALSE(V.GetAsBoolean()) << Where;
    EXPECT_EQ(0, V.GetAsDateTime()) << Where;
    EXPECT_TRUE(V.GetAsVariant().IsNull()) << Where;
}

// --- One database per connection character set ----------------------------------------------

class FIBXSQLVARLiveTest : public ::testing::TestWithParam<std::string> {
protected:
    static void SetUpTestSuite() { test::PrepareFirebirdEnvironment(); }

    // The table, built once per character set.
    static test::TempDatabase& Db(const std::string& CharSet) {
        static std::map<std::string, std::unique_ptr<test::TempDatabase>> databases;
        auto& db = databases[CharSet];
        if (!db) db = std::make_unique<test::TempDatabase>(TableDdl(), "NONE");
        return *db;
    }

    void Connect(const std::string& Path, int Dialect = 3) {
        Database.SetDBName(Path);
        Database.ConnectParams().SetUserName("SYSDBA");
        Database.ConnectParams().SetCharSet(GetParam());
        Database.SetSQLDialect(Dialect);
        Database.SynchronizeTime = false;
        Database.Open();
        Transaction.SetDefaultDatabase(&Database);
        Transaction.StartTransaction();
    }
    void Disconnect(bool Commit) {
        if (Commit) Transaction.Commit();
        Database.Close();
    }

    TFIBDatabase Database;
    TFIBTransaction Transaction;
};

TEST_P(FIBXSQLVARLiveTest, EveryReaderAnswersIsqlsText) {
    test::TempDatabase& db = Db(GetParam());
    std::string select = "SELECT ID";
    for (const TColumn& c : Columns()) select += ", " + c.Name;
    select += ", CAST(BT AS VARCHAR(100) CHARACTER SET UTF8) AS BT_TEXT, "
              "CAST(BB AS VARCHAR(10) CHARACTER SET OCTETS) AS BB_HEX FROM T WHERE ID <= 4 ORDER BY ID";
    const std::vector<TIsqlRow> isql = IsqlList(db, GetParam(), select);
    ASSERT_EQ(4u, isql.size());

    Connect(db.Path());
    TFIBQuery q;
    q.SetDatabase(&Database);
    q.SetTransaction(&Transaction);
    q.GoToFirstRecordOnExecute = false;
    q.SQL().SetText("SELECT * FROM T WHERE ID <= 4 ORDER BY ID");
    q.ExecQuery();
    EXPECT_TRUE(q.FieldByName("ID").GetIsNull()) << "no row fetched yet";
    for (const TIsqlRow& row : isql) {
        ASSERT_NE(q.Next(), nullptr);
        ASSERT_EQ(row.at("ID"), q.FieldByName("ID").GetAsString());
        for (const TColumn& c : Columns()) {
            const TFIBXSQLVAR& v = q.FieldByName(c.Name);
            const std::string where = GetParam() + " " + c.Name + " row " + row.at("ID") + ": " + row.at(c.Name);
            if (row.at("ID") == "4") {
                CheckNull(v, row.at(c.Name), where);
                continue;
            }
            ASSERT_FALSE(v.GetIsNull()) << where;
            switch (c.Kind) {
            case TKind::Exact: CheckExact(v, row.at(c.Name), where); break;
            case TKind::Float: case TKind::Single: CheckFloat(v, row.at(c.Name), c.Kind == TKind::Single, where); break;
            case TKind::Date: case TKind::Time: case TKind::TimeStamp: CheckDate(v, row.at(c.Name), c.Kind, where); break;
            case TKind::Text: case TKind::FixedText:
                CheckText(v, c, row.at(c.Name), (v.GetSQLSubtype() & 0xFF) == 4, where);
                break;
            case TKind::Boolean: {
                const bool expected = row.at(c.Name) == "<true>";
                EXPECT_EQ(expected ? "<true>" : "<false>", row.at(c.Name)) << where;
                EXPECT_EQ(SQL_BOOLEAN, v.GetSQLType()) << where;
                EXPECT_EQ(expected, v.GetAsBoolean()) << where;
                EXPECT_EQ(expected ? 1 : 0, v.GetAsInteger()) << where;
                EXPECT_EQ(expected ? 1.0 : 0.0, v.GetAsDouble()) << where;
                EXPECT_EQ(expected ? "True" : "False", v.GetAsString()) << where;
                EXPECT_EQ(expected, v.GetAsVariant().AsBoolean()) << where;
                break;
            }
            case TKind::TextBlob:
                EXPECT_EQ(row.at("BT_TEXT") == "<null>" ? "" : row.at("BT_TEXT"), v.GetAsString()) << where;
                EXPECT_EQ(Utf8ToWide(v.GetAsString()), v.GetAsWideString()) << where;
                break;
            case TKind::BinaryBlob: EXPECT_EQ(row.at("BB_HEX"), Hex(v.GetAsString())) << where; break;
            }
        }
    }
    EXPECT_EQ(q.Next(), nullptr);
    q.Close();

    // Trimming is the statement's option.
    q.GoToFirstRecordOnExecute = true;
    q.SetOptions(SetOf<TpFIBQueryOptions>(qoTrimCharFields));
    q.SQL().SetText("SELECT CU, C5 FROM T WHERE ID = 1");
    q.ExecQuery();
    ASSERT_FALSE(q.Eof());
    EXPECT_EQ("äöü€", q.FieldByName("CU").GetAsString());
    EXPECT_EQ("ab", q.FieldByName("C5").GetAsString());
    q.Close();
    Disconnect(false);
}

// A text of 70000 characters whose every piece tells its place ("000000,000001,..."), read and
// written across several segments.
std::string LongText() {
    std::string text;
    for (int i = 0; text.size() < 70000; ++i) {
        char piece[16];
        std::snprintf(piece, sizeof piece, "%06d,", i);
        text += piece;
    }
    return text;
}

struct TSetterCase {
    std::string Column;
    std::function<void(TFIBXSQLVAR&)> Set;
    std::string Condition;   // true of the row the setter wrote, in isql's terms
};

std::vector<TSetterCase> SetterCases(const std::string& CharSet) {
    TBcd bcd18, bcdSmall;
    TryStrToBcd("0.123456789012345678", bcd18);
    TryStrToBcd("-12.34", bcdSmall);
    const std::string long70000 = LongText();
    return {
        {"SI", [](TFIBXSQLVAR& v) { v.SetAsShort(-32768); }, "SI = -32768"},
        {"I", [](TFIBXSQLVAR& v) { v.SetAsInteger(std::numeric_limits<int32_t>::min()); }, "I = -2147483648"},
        {"BI", [](TFIBXSQLVAR& v) { v.SetAsInt64(std::numeric_limits<int64_t>::min()); }, "BI = -9223372036854775808"},
        {"N18_4", [](TFIBXSQLVAR& v) { v.SetAsCurrency(Currency::FromScaled(std::numeric_limits<int64_t>::min())); },
         "N18_4 = -922337203685477.5808"},
        {"N9_2", [](TFIBXSQLVAR& v) { v.SetAsCurrency(Currency::FromScaled(123400)); }, "N9_2 = 12.34"},
        {"N18_18", [=](TFIBXSQLVAR& v) { v.SetAsBCD(bcd18); }, "N18_18 = 0.123456789012345678"},
        {"N4_2", [=](TFIBXSQLVAR& v) { v.SetAsBCD(bcdSmall); }, "N4_2 = -12.34"},
        {"DP", [](TFIBXSQLVAR& v) { v.SetAsDouble(3.141592653589793); }, "DP = 3.141592653589793"},
        {"FL", [](TFIBXSQLVAR& v) { v.SetAsDouble(1.5); }, "FL = 1.5"},
        {"DT", [](TFIBXSQLVAR& v) { v.SetAsDate(EncodeDate(2024, 2, 29) + 0.75); }, "DT = '2024-02-29'"},
        {"TM", [](TFIBXSQLVAR& v) { v.SetAsTime(EncodeTime(23, 59, 59, 999)); }, "TM = '23:59:59.999'"},
        {"TS", [](TFIBXSQLVAR& v) { v.SetAsDateTime(EncodeDate(1899, 12, 29) - EncodeTime(6, 0, 0, 0)); },
         "TS = '1899-12-29 06:00:00'"},
        {"TS", [](TFIBXSQLVAR& v) { v.SetAsTimeStamp(TTimeStamp{1, 1}); }, "TS = '0001-01-01 00:00:00.001'"},
        {"C5", [](TFIBXSQLVAR& v) { v.SetAsString("ab"); }, "C5 = 'ab'"},
        {"CU", [](TFIBXSQLVAR& v) { v.SetAsWideString(u"äöü€"); }, "CU = _UTF8 'äöü€'"},
        {"VU", [](TFIBXSQLVAR& v) { v.SetAsString("😀日本"); }, "VU = _UTF8 '😀日本'"},
        // Through a NONE connection the text goes in the column's own character set, not in the
        // UTF8 of the value the parameter held for the text before.
        {"CW", [=](TFIBXSQLVAR& v) { v.SetAsString(CharSet == "NONE" ? "\xE9" : "é"); }, "CW = _UTF8 'é'"},
        {"BO", [](TFIBXSQLVAR& v) { v.SetAsBoolean(true); }, "BO = TRUE"},
        {"BO", [](TFIBXSQLVAR& v) { v.SetAsVariant(Variant(false)); }, "BO = FALSE"},
        {"BT", [](TFIBXSQLVAR& v) { v.SetAsString("text ü blob"); }, "BT = _UTF8 'text ü blob'"},
        {"BT", [=](TFIBXSQLVAR& v) { v.SetAsString(long70000); },
         "OCTET_LENGTH(BT) = 70000 AND SUBSTRING(BT FROM 65528 FOR 14) = '" + long70000.substr(65527, 14) + "'"},
        {"BB",
         [](TFIBXSQLVAR& v) {
             TMemoryStream bytes;
             bytes.WriteString(std::string("\0\xFF\x10", 3));
             v.LoadFromStream(bytes);
         },
         "BB = x'00FF10'"},
        {"DP", [](TFIBXSQLVAR& v) { v.SetAsString("1,5"); }, "DP = 1.5"},
        {"N18_6", [](TFIBXSQLVAR& v) { v.SetAsString("123,456789"); }, "N18_6 = 123.456789"},
        {"I", [](TFIBXSQLVAR& v) { v.SetAsString(""); }, "I IS NULL"},
        {"V10", [](TFIBXSQLVAR& v) { v.SetAsString(""); }, "V10 = ''"},
        {"V10", [](TFIBXSQLVAR& v) { v.SetRawText("raw"); }, "V10 = 'raw'"},
        {"BI", [](TFIBXSQLVAR& v) { v.SetAsVariant(Variant(int64_t{1} << 40)); }, "BI = 1099511627776"},
        {"BI", [](TFIBXSQLVAR& v) { v.SetAsVariant(Variant::FromInteger(4000000000, varLongWord)); },
         "BI = 4000000000"},
        {"N9_2", [](TFIBXSQLVAR& v) { v.SetAsVariant(Variant(12.34)); }, "N9_2 = 12.34"},
        {"DT", [](TFIBXSQLVAR& v) { v.SetAsVariant(Variant(int32_t{36526})); }, "DT = '2000-01-01'"},
        {"TM", [](TFIBXSQLVAR& v) { v.SetAsVariant(Variant::FromDate(0.5)); }, "TM = '12:00:00'"},
        {"VU", [](TFIBXSQLVAR& v) { v.SetAsVariant(Variant(std::u16string(u"日本語"))); }, "VU = _UTF8 '日本語'"},
        {"N18_2", [](TFIBXSQLVAR& v) { v.SetAsVariant(Variant(Currency::FromScaled(-50))); }, "N18_2 = -0.01"},
    };
}

TEST_P(FIBXSQLVARLiveTest, EverySetterRoundTrips) {
    test::TempDatabase& db = Db(GetParam());
    const std::vector<TSetterCase> cases = SetterCases(GetParam());
    Connect(db.Path());
    TFIBQuery q;
    q.SetDatabase(&Database);
    q.SetTransaction(&Transaction);
    int id = 100;
    for (const TSetterCase& c : cases) {
        SCOPED_TRACE(c.Condition);
        // Prepared first: the setters meet the types the server described.
        q.SQL().SetText("INSERT INTO T (ID, " + c.Column + ") VALUES (:ID, :V)");
        q.Prepare();
        q.ParamByName("ID").SetAsInteger(id++);
        c.Set(q.ParamByName("V"));
        q.ExecQuery();
    }
    // Two parameters of one name: one assignment sets both, and so does one null.
    q.SQL().SetText("INSERT INTO T (ID, I, BI) VALUES (:ID, :X, :X)");
    q.Prepare();
    q.Params()[0].SetAsInteger(200);
    q.Params()[1].SetAsInteger(77);
    EXPECT_EQ(77, q.Params()[2].GetAsInt64());
    q.ExecQuery();
    q.Params()[0].SetAsInteger(201);
    q.Params()[2].SetIsNull(true);
    EXPECT_TRUE(q.Params()[1].GetIsNull());
    q.ExecQuery();
    Disconnect(true);

    std::string select;
    for (size_t i = 0; i < cases.size(); ++i)
        select += "SELECT '<<' || COUNT(*) || '>>' FROM T WHERE ID = " + std::to_string(100 + i) + " AND " +
                  cases[i].Condition + "\nUNION ALL ";
    select += "SELECT '<<' || COUNT(*) || '>>' FROM T WHERE ID = 200 AND I = 77 AND BI = 77\nUNION ALL "
              "SELECT '<<' || COUNT(*) || '>>' FROM T WHERE ID = 201 AND I IS NULL AND BI IS NULL";
    const std::vector<std::string> counts = test::QueryRows(db, select);
    ASSERT_EQ(cases.size() + 2, counts.size()) << counts[0];
    for (size_t i = 0; i < cases.size(); ++i)
        EXPECT_EQ("1", counts[i]) << GetParam() << " " << cases[i].Column << ": " << cases[i].Condition;
    EXPECT_EQ("1", counts[cases.size()]) << "same-named parameters";
    EXPECT_EQ("1", counts[cases.size() + 1]) << "same-named parameters set null";
}

TEST_P(FIBXSQLVARLiveTest, ParametersAsFirebird3DescribesThem) {
    const std::string path = Db(GetParam()).Path();
    Connect(path);
    TFIBQuery q;
    q.SetDatabase(&Database);
    q.SetTransaction(&Transaction);
    auto count = [&] {
        q.ExecQuery();
        EXPECT_FALSE(q.Eof());
        const int64_t n = q.Fields()[0].GetAsInt64();
        q.Close();
        return n;
    };
    // "? IS NULL" describes the parameter as type 32766 without data.
    q.SQL().SetText("SELECT COUNT(*) FROM T WHERE ID <= 4 AND :P IS NULL");
    q.Prepare();
    EXPECT_EQ(SQL_NULL, q.BindParams()[0].GetSQLType());
    EXPECT_EQ(SQL_NULL, q.Params()[0].GetSQLType());
    q.Params()[0].SetIsNull(true);
    EXPECT_EQ(4, count());
    q.Params()[0].SetAsInteger(1);
    EXPECT_EQ(0, count());
    // "ID = ?" describes it as not nullable; a null must still go as null (the statement's own
    // rewriting to IS NULL is off here).
    q.SetOptions(SetOf<TpFIBQueryOptions>(qoNoForceIsNull));
    q.SQL().SetText("SELECT COUNT(*) FROM T WHERE ID = :P");
    q.Prepare();
    EXPECT_FALSE(q.BindParams()[0].GetIsNullable());
    q.Params()[0].SetIsNull(true);
    EXPECT_EQ(0, count());
    q.Params()[0].SetAsInteger(1);
    EXPECT_EQ(1, count());
    // A BOOLEAN parameter refuses a SMALLINT and the text "1": Booleans go as its own byte.
    q.SQL().SetText("SELECT COUNT(*) FROM T WHERE ID <= 4 AND BO = :P");
    q.Prepare();
    q.Params()[0].SetAsBoolean(true);
    EXPECT_EQ(2, count());
    q.Params()[0].SetAsVariant(Variant(false));
    EXPECT_EQ(1, count());
    Disconnect(false);

    // Dialect 1 has no 64-bit columns, but a 64-bit value goes whole (its low half would be 0).
    Connect(path, 1);
    ASSERT_EQ(1, Database.SQLDialect());
    q.SQL().SetText("SELECT COUNT(*) FROM RDB$DATABASE WHERE :P = 1099511627776");
    q.Prepare();
    q.Params()[0].SetAsInt64(int64_t{1} << 40);
    EXPECT_EQ(1, count());
    q.Params()[0].SetAsInt64(5);
    EXPECT_EQ(SQL_LONG, q.Params()[0].GetSQLType());
    EXPECT_EQ(0, count());
    Disconnect(false);
}

INSTANTIATE_TEST_SUITE_P(CharSets, FIBXSQLVARLiveTest, ::testing::Values("UTF8", "NONE"));

} // namespace
} // namespace qnl
