#include "core/qnlDBOptions.h"

#include "platform/StringList.h"

#include <array>
#include <cinttypes>
#include <cstdio>
#include <iterator>
#include <span>

namespace qnl {

namespace {

constexpr const char* IBVersionNames[] = {
    "InterBase 4.x", "InterBase 5.x", "InterBase 6.x", "FireBird 1.x", "Yaffil 1.x",  "FireBird 1.5",
    "InterBase 7.x", "InterBase 7.5", "FireBird 2.0", "FireBird 2.1", "FireBird 2.5", "FireBird 3.0",
    "FireBird 4.0",  "InterBase 2020"};
constexpr const char* ASAVersionNames[] = {"ASA 5", "ASA 6", "ASA 7", "ASA 8", "ASA 9"};
constexpr const char* MySQLVersionNames[] = {"My SQL 3.x", "My SQL 4.x", "My SQL 5.x", "My SQL 8.x",
                                             "MariaDB 10.x"};
constexpr const char* OracleVersionNames[] = {"Oracle 7.x",  "Oracle 8.x",  "Oracle 9.x",
                                              "Oracle 10.x", "Oracle 11.x", "Oracle 12.x",
                                              "Oracle 18.x", "Oracle 19.x", "Oracle 21.x"};
constexpr const char* MSSQLVersionNames[] = {"MS SQL 2000", "MS SQL 2005", "MS SQL 2008", "MS SQL 2012",
                                             "MS SQL 2014", "MS SQL 2016", "MS SQL 2017", "MS SQL 2019"};
constexpr const char* PGVersionNames[] = {"PostgreSQL 7.x",  "PostgreSQL 8.x",  "PostgreSQL 9.x",
                                          "PostgreSQL 10.x", "PostgreSQL 11.x", "PostgreSQL 12.x",
                                          "PostgreSQL 13.x", "PostgreSQL 14.x"};
constexpr const char* DB2VersionNames[] = {"DB2 8.x", "DB2 9.x", "DB2 10.x", "DB2 11.x"};
constexpr const char* ASEVersionNames[] = {"ASE 12"};

static_assert(std::size(IBVersionNames) == st_InterBase_2020 + 1);
static_assert(std::size(MSSQLVersionNames) == st_MSSQL2019 + 1);
static_assert(std::size(PGVersionNames) == st_PostgreSQL_14x + 1);
static_assert(std::size(OracleVersionNames) == st_Oracle_21x + 1);

constexpr const char* ASEOptionNames[] = {
    "abort tran on log full",      "allow nulls by default", "async log service",
    "auto identity",               "dbo use only",           "ddl in tran",
    "disable alias access",        "identity in nonunique index", "no chkpt on recovery",
    "no free space acctg",         "read only",              "select into/bulkcopy/pllsort",
    "single user",                 "trunc log on chkpt",     "unique auto_identity index"};
static_assert(std::size(ASEOptionNames) == TASEDatabaseOptions::OptionCount);

std::string NameAt(std::span<const char* const> Names, int Index) {
    if (Index < 0 || static_cast<size_t>(Index) >= Names.size()) return {};
    return Names[static_cast<size_t>(Index)];
}

// A string literal in single quotes, inner quotes doubled.
std::string Quoted(const std::string& S) { return QuoteSQLString(S, stInterBase); }

} // namespace

std::string GetServerVersionName(uint8_t ServerType, int Index) {
    switch (ServerType) {
    case stInterBase: return NameAt(IBVersionNames, Index);
    case stASA: return NameAt(ASAVersionNames, Index);
    case stMySQL: return NameAt(MySQLVersionNames, Index);
    case stOracle: return NameAt(OracleVersionNames, Index);
    case stMSSQL: return NameAt(MSSQLVersionNames, Index);
    case stPostgreSQL: return NameAt(PGVersionNames, Index);
    case stDB2: return NameAt(DB2VersionNames, Index);
    case stASE: return NameAt(ASEVersionNames, Index);
    default: return {};
    }
}

std::string OnOffText(bool Value) { return Value ? "On" : "Off"; }
std::string TrueFalseText(bool Value) { return Value ? "True" : "False"; }

// ---- TConnectionOptions ----

void TConnectionOptions::Assign(const TConnectionOptions& Source) {
    DatabaseName = Source.DatabaseName;
    UserName = Source.UserName;
    Password = Source.Password;
    RoleName = Source.RoleName;
    AuxText1 = Source.AuxText1;
    AuxText2 = Source.AuxText2;
    AuxText3 = Source.AuxText3;
    Port = Source.Port;
    HostName = Source.HostName;
    Protocol = Source.Protocol;
    UseWindowsAuthentication = Source.UseWindowsAuthentication;
    ConnectionString = Source.ConnectionString;
    ClientLibrary = Source.ClientLibrary;
}

void TConnectionOptions::Reset() {
    DatabaseName.clear();
    UserName.clear();
    Password.clear();
    RoleName.clear();
    AuxText1.clear();
    AuxText2.clear();
    AuxText3.clear();
    Port = 0;
    HostName.clear();
    Protocol = ptLocal;
    UseWindowsAuthentication = false;
    ConnectionString.clear();
    ClientLibrary.clear();
}

// ---- InterBase/Firebird ----

void TIBCompareOptions::Assign(const TIBCompareOptions& Source) {
    DbCharsetCompare = Source.DbCharsetCompare;
    FldCharsetCompare = Source.FldCharsetCompare;
    UpdateDescriptionMode = Source.UpdateDescriptionMode;
    ModifySystemTables = Source.ModifySystemTables;
    GenerateCOMMIT = Source.GenerateCOMMIT;
    AllowDataTypeConversion = Source.AllowDataTypeConversion;
    UpdateFieldPosition = Source.UpdateFieldPosition;
    ExtractOnlyComparedObjects = Source.ExtractOnlyComparedObjects;
    IgnoreIBEObjects = Source.IgnoreIBEObjects;
}

void TIBCompareOptions::Reset() {
    DbCharsetCompare = false;
    FldCharsetCompare = false;
    UpdateDescriptionMode = udSysTables;
    UseRECONNECT = true;
    UpdateFieldPosition = true;
    ExtractOnlyComparedObjects = true;
    IgnoreIBEObjects = true;
}

void TIBDatabaseOptions::Assign(const TIBDatabaseOptions& Source) {
    ServerVersion = Source.ServerVersion;
    ServerInfo = Source.ServerInfo;
    ODSMajor = Source.ODSMajor;
    ODSMinor = Source.ODSMinor;
    PageSize = Source.PageSize;
    ForcedWrites = Source.ForcedWrites;
    SweepInterval = Source.SweepInterval;
    ReadOnly = Source.ReadOnly;
    Buffers = Source.Buffers;
    ImplementationNo = Source.ImplementationNo;
    ImplementationClass = Source.ImplementationClass;
    DBSQLDialect = Source.DBSQLDialect;
}

void TIBDatabaseOptions::Reset() {
    ServerVersion.clear();
    ServerInfo.clear();
    ODSMajor = ODSMinor = PageSize = ForcedWrites = SweepInterval = ReadOnly = Buffers = 0;
    ImplementationNo = ImplementationClass = DBSQLDialect = 0;
}

std::string TIBDatabaseOptions::GetInfoComment() const {
    std::string t;
    if (!ServerVersion.empty()) t = "   Server version: " + ServerVersion + " " + "\r\n";
    if (ODSMajor > 0) {
        // A large cache times a large page overflows 32 bits.
        const int64_t cacheKb = int64_t{Buffers} * int64_t{PageSize} / 1024;
        char buf[512];
        std::snprintf(buf, sizeof buf,
                      "   SQLDialect: %d. ODS: %d.%d. Forced writes: %s. Sweep inteval: %d.\r\n"
                      "   Page size: %d. Cache pages: %d (%" PRId64 " Kb). Read-only: %s. ",
                      DBSQLDialect, ODSMajor, ODSMinor, OnOffText(ForcedWrites != 0).c_str(), SweepInterval,
                      PageSize, Buffers, cacheKb, TrueFalseText(ReadOnly != 0).c_str());
        t += buf;
    }
    if (!t.empty()) t = "/*" + t.substr(2) + "*/";
    return t;
}

void TIBServerOptions::SetDBCharSet(std::string_view Value) { FDBCharSet = UpperCase(Value); }

void TIBServerOptions::Assign(const TIBServerOptions& Source) {
    SQLServerVersion = Source.SQLServerVersion;
    SQLDialect = Source.SQLDialect;
    FDBCharSet = Source.FDBCharSet;
    IBCompareOptions.Assign(Source.IBCompareOptions);
    IBDatabaseOptions.Assign(Source.IBDatabaseOptions);
}

void TIBServerOptions::Reset() {
    SQLDialect = 3;
    FDBCharSet.clear();
    IBCompareOptions.Reset();
    IBDatabaseOptions.Reset();
}

bool TIBServerOptions::SupportsDialect3() const {
    if (IBDatabaseOptions.ODSMajor >= 10) return true;
    return AtLeast(SQLServerVersion, st_InterBase_6x);
}

std::string TIBServerOptions::GetSetNamesStatement() const {
    if (FDBCharSet.empty() || FDBCharSet == "NONE") return {};
    return "SET NAMES " + FDBCharSet;
}

std::string TIBServerOptions::GetSetDialectStatement() const {
    return SQLDialect == 3 ? "SET SQL DIALECT 3" : std::string();
}

std::string TIBServerOptions::GetConnectStatement(const TConnectionOptions& ConnOpts) const {
    if (ConnOpts.DatabaseName.empty()) return {};
    std::string s = "CONNECT " + Quoted(ConnOpts.DatabaseName);
    if (!ConnOpts.UserName.empty()) s += " USER " + Quoted(ConnOpts.UserName);
    if (!ConnOpts.Password.empty()) s += " PASSWORD " + Quoted(ConnOpts.Password);
    if (!ConnOpts.RoleName.empty()) s += " ROLE " + Quoted(ConnOpts.RoleName);
    return s;
}

// ---- MSSQL ----

void TMSSQLCompareOptions::Assign(const TMSSQLCompareOptions& Source) {
    IgnoreFileGroup = Source.IgnoreFileGroup;
    IgnoreSysName = Source.IgnoreSysName;
    CaseSensitiveIdentifiers = Source.CaseSensitiveIdentifiers;
    UpdateColumnPosition = Source.UpdateColumnPosition;
}

void TMSSQLCompareOptions::Reset() {
    IgnoreFileGroup = false;
    IgnoreSysName = true;
    CaseSensitiveIdentifiers = false;
}

void TMSSQLDatabaseOptions::Assign(const TMSSQLDatabaseOptions& Source) {
    Info = Source.Info;
    Flag1 = Source.Flag1;
    Flag2 = Source.Flag2;
    Flag3 = Source.Flag3;
    RecursiveTriggers = Source.RecursiveTriggers;
    Value1 = Source.Value1;
    DatabaseLevel = Source.DatabaseLevel;
}

void TMSSQLDatabaseOptions::Reset() {
    Info.clear();
    Flag1 = Flag2 = Flag3 = RecursiveTriggers = false;
    Value1 = 0;
}

void TMSSQLServerOptions::Assign(const TMSSQLServerOptions& Source) {
    DBCharSet = Source.DBCharSet;
    Collation = Source.Collation;
    SQLServerVersion = Source.SQLServerVersion;
    MSSQLCompareOptions.Assign(Source.MSSQLCompareOptions);
    MSSQLDatabaseOptions.Assign(Source.MSSQLDatabaseOptions);
}

void TMSSQLServerOptions::Reset() {
    SQLServerVersion = st_MSSQL2000;
    DBCharSet.clear();
    Collation.clear();
    MSSQLDatabaseOptions.Reset();
    MSSQLCompareOptions.Reset();
}

// ---- MySQL ----

void TMySQLCompareOptions::Assign(const TMySQLCompareOptions& Source) {
    CaseSensitiveIdentifiers = Source.CaseSensitiveIdentifiers;
}

void TMySQLCompareOptions::Reset() { CaseSensitiveIdentifiers = true; }

void TMySQLServerOptions::Assign(const TMySQLServerOptions& Source) {
    SQLServerVersion = Source.SQLServerVersion;
    CharSet = Source.CharSet;
    Names = Source.Names;
    MySQLCompareOptions.Assign(Source.MySQLCompareOptions);
}

void TMySQLServerOptions::Reset() {
    SQLServerVersion = st_MySQL_5x;
    CharSet.clear();
    Names.clear();
    MySQLCompareOptions.Reset();
}

std::string TMySQLTableOptions::GetText() const {
    std::string t;
    auto text = [&t](const char* Key, const std::string& Value) {
        if (!Value.empty()) t += std::string("\r\n") + Key + Value;
    };
    auto quoted = [&t](const char* Key, const std::string& Value) {
        if (!Value.empty()) t += std::string("\r\n") + Key + Quoted(Value);
    };
    auto number = [&t](const char* Key, int32_t Value, bool Set) {
        if (Set) t += std::string("\r\n") + Key + std::to_string(Value);
    };
    text("ENGINE=", Engine);
    number("AVG_ROW_LENGTH=", AvgRowLength, AvgRowLength != 0);
    text("DEFAULT CHARSET=", DefaultCharset);
    number("CHECKSUM=", Checksum, Checksum > 0);
    text("DEFAULT COLLATE=", DefaultCollate);
    quoted("COMMENT=", Comment);
    quoted("CONNECTION=", Connection);
    quoted("DATA DIRECTORY=", DataDirectory);
    number("DELAY_KEY_WRITE=", DelayKeyWrite, DelayKeyWrite > 0);
    quoted("INDEX DIRECTORY=", IndexDirectory);
    text("INSERT_METHOD=", InsertMethod);
    number("KEY_BLOCK_SIZE=", KeyBlockSize, KeyBlockSize > 0);
    number("MAX_ROWS=", MaxRows, MaxRows > 0);
    number("MIN_ROWS=", MinRows, MinRows > 0);
    text("PACK_KEYS=", PackKeys);
    quoted("PASSWORD=", Password);
    text("ROW_FORMAT=", RowFormat);
    return t;
}

// ---- ASA ----

void TASACompareOptions::Assign(const TASACompareOptions& Source) {
    CaseSensitiveIdentifiers = Source.CaseSensitiveIdentifiers;
}

void TASACompareOptions::Reset() { CaseSensitiveIdentifiers = false; }

void TASADatabaseOptions::Assign(const TASADatabaseOptions& Source) {
    Flag1 = Source.Flag1;
    Flag2 = Source.Flag2;
    Text1 = Source.Text1;
    Value1 = Source.Value1;
    Text2 = Source.Text2;
}

void TASADatabaseOptions::Reset() {
    Flag1 = Flag2 = true;
    Text1.clear();
    Value1 = 0;
    Text2.clear();
}

void TASAServerOptions::Assign(const TASAServerOptions& Source) {
    SQLServerVersion = Source.SQLServerVersion;
    ASACompareOptions.Assign(Source.ASACompareOptions);
    ASADatabaseOptions.Assign(Source.ASADatabaseOptions);
}

void TASAServerOptions::Reset() {
    SQLServerVersion = st_ASA9;
    ASACompareOptions.Reset();
    ASADatabaseOptions.Reset();
}

// ---- Oracle, PostgreSQL, DB2 ----

void TOracleServerOptions::Assign(const TOracleServerOptions& Source) {
    SQLServerVersion = Source.SQLServerVersion;
    OracleCompareOptions.Assign(Source.OracleCompareOptions);
}

void TOracleServerOptions::Reset() { SQLServerVersion = st_Oracle_10x; }

void TPGSQLServerOptions::Assign(const TPGSQLServerOptions& Source) {
    SQLServerVersion = Source.SQLServerVersion;
    PGSQLCompareOptions.Assign(Source.PGSQLCompareOptions);
}

void TPGSQLServerOptions::Reset() { SQLServerVersion = st_PostgreSQL_8x; }

void TDB2ServerOptions::Assign(const TDB2ServerOptions& Source) {
    SQLServerVersion = Source.SQLServerVersion;
    DB2CompareOptions.Assign(Source.DB2CompareOptions);
}

void TDB2ServerOptions::Reset() { SQLServerVersion = st_DB2_8x; }

// ---- ASE ----

void TASECompareOptions::Assign(const TASECompareOptions& Source) {
    IgnoreFileGroup = Source.IgnoreFileGroup;
    IgnoreSysName = Source.IgnoreSysName;
    CaseSensitiveIdentifiers = Source.CaseSensitiveIdentifiers;
}

void TASECompareOptions::Reset() {
    IgnoreFileGroup = false;
    IgnoreSysName = true;
    CaseSensitiveIdentifiers = false;
    CompareDBOptions = true;
}

void TASEDatabaseOptions::Assign(const TASEDatabaseOptions& Source) {
    Header = Source.Header;
    Value1 = Source.Value1;
    Value2 = Source.Value2;
    Options = Source.Options;
    Size = Source.Size;
    Owner = Source.Owner;
    Created = Source.Created;
    Text1 = Source.Text1;
    Flag1 = Source.Flag1;
    Flag2 = Source.Flag2;
    Flag3 = Source.Flag3;
    Flag4 = Source.Flag4;
    Value3 = Source.Value3;
}

void TASEDatabaseOptions::Reset() {
    Header.clear();
    Value1 = Value2 = 0;
    Options.clear();
    Size.clear();
    Owner.clear();
    Created.clear();
    Text1.clear();
    Flag1 = Flag2 = Flag3 = Flag4 = false;
    Value3 = 0;
}

std::string TASEDatabaseOptions::GetOptionName(int Index) { return NameAt(ASEOptionNames, Index); }

void TASEServerOptions::Assign(const TASEServerOptions& Source) {
    SQLServerVersion = Source.SQLServerVersion;
    ASECompareOptions.Assign(Source.ASECompareOptions);
    ASEDatabaseOptions.Assign(Source.ASEDatabaseOptions);
}

void TASEServerOptions::Reset() {
    SQLServerVersion = st_ASE12;
    ASECompareOptions.Reset();
    ASEDatabaseOptions.Reset();
}

// ---- TScriptOptions ----

void TScriptOptions::Assign(const TScriptOptions& Source) {
    GenerateScript = Source.GenerateScript;
    Connect = Source.Connect;
    SQLDialect = Source.SQLDialect;
    DBCharSet = Source.DBCharSet;
    LocalSQL = Source.LocalSQL;
    FloatFormat = Source.FloatFormat;
    DateFormat = Source.DateFormat;
    TimeFormat = Source.TimeFormat;
    DateTimeFormat = Source.DateTimeFormat;
}

} // namespace qnl
