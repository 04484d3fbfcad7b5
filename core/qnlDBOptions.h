#pragma once
// Every setting of the comparison library, as small option objects: connection settings, per
// dialect a server-options object (version and dialect settings) owning its compare options and,
// for some dialects, the facts of one database; the MySQL table options and the script options.
// Owners copy them with Assign, which copies what each class lists (a few fields keep the
// receiver's value on purpose), and put them back to their start values with Reset. Plain
// assignment is not offered, so no copy can bypass those rules.
#include "core/qnlTypes.h"

#include <bitset>
#include <cstdint>
#include <string>

namespace qnl {

// Display name of a server version: ServerType 1 to 8, Index the ordinal of the version; empty
// for a server type without a list or an index outside it.
std::string GetServerVersionName(uint8_t ServerType, int Index);

std::string OnOffText(bool Value);     // "On" / "Off"
std::string TrueFalseText(bool Value); // "True" / "False"

// ---- Connection ----

class TConnectionOptions {
public:
    TConnectionOptions() = default;
    TConnectionOptions(const TConnectionOptions&) = default;
    TConnectionOptions& operator=(const TConnectionOptions&) = delete;

    std::string DatabaseName;
    std::string UserName;
    std::string Password;
    std::string RoleName;
    // Three texts that owners copy and clear but the library itself never reads.
    std::string AuxText1;
    std::string AuxText2;
    std::string AuxText3;
    int32_t Port = 0;
    std::string HostName;
    TQNLProtocol Protocol = ptTCP;
    bool UseWindowsAuthentication = false;
    std::string ConnectionString;
    std::string ClientLibrary;

    void Assign(const TConnectionOptions& Source);
    void AssignTo(TConnectionOptions& Dest) const { Dest.Assign(*this); }
    // Clears everything; the protocol becomes ptLocal, not the start value ptTCP.
    void Reset();
};

// ---- InterBase/Firebird ----

class TIBCompareOptions {
public:
    TIBCompareOptions() = default;
    TIBCompareOptions(const TIBCompareOptions&) = default;
    TIBCompareOptions& operator=(const TIBCompareOptions&) = delete;

    bool DbCharsetCompare = false;
    bool FldCharsetCompare = false;
    TUpdateDescriptionType UpdateDescriptionMode = udSysTables;
    bool ModifySystemTables = false;
    bool GenerateCOMMIT = false;       // a COMMIT after each DDL statement of the script
    bool UseRECONNECT = true;          // AddConnect writes RECONNECT instead of CONNECT
    bool AllowDataTypeConversion = false;
    bool UpdateFieldPosition = true;
    bool ExtractOnlyComparedObjects = true;
    bool IgnoreIBEObjects = true;      // skip objects whose names begin "IBE$"

    // Copies everything but UseRECONNECT, which stays the receiver's.
    void Assign(const TIBCompareOptions& Source);
    void AssignTo(TIBCompareOptions& Dest) const { Dest.Assign(*this); }
    // ModifySystemTables, GenerateCOMMIT and AllowDataTypeConversion keep the user's choice.
    void Reset();
};

// Facts of one database, filled by the connection after connecting.
class TIBDatabaseOptions {
public:
    TIBDatabaseOptions() = default;
    TIBDatabaseOptions(const TIBDatabaseOptions&) = default;
    TIBDatabaseOptions& operator=(const TIBDatabaseOptions&) = delete;

    std::string ServerVersion;
    std::string ServerInfo;     // shown in parentheses after the version
    int32_t ODSMajor = 0;
    int32_t ODSMinor = 0;
    int32_t PageSize = 0;
    int32_t ForcedWrites = 0;   // 0/1
    int32_t SweepInterval = 0;
    int32_t ReadOnly = 0;       // 0/1
    int32_t Buffers = 0;        // cache pages
    int32_t ImplementationNo = 0;
    int32_t ImplementationClass = 0;
    int32_t DBSQLDialect = 0;

    void Assign(const TIBDatabaseOptions& Source);
    void AssignTo(TIBDatabaseOptions& Dest) const { Dest.Assign(*this); }
    void Reset();
    // The database information comment: "/* Server version: ... */", empty when nothing is known.
    std::string GetInfoComment() const;
};

class TIBServerOptions {
public:
    TIBServerOptions() = default;
    TIBServerOptions(const TIBServerOptions&) = default;
    TIBServerOptions& operator=(const TIBServerOptions&) = delete;

    TIBSQLServerVersionType SQLServerVersion = st_Firebird_25;
    TIBSQLDialectType SQLDialect = 3;
    TIBCompareOptions IBCompareOptions;
    TIBDatabaseOptions IBDatabaseOptions;

    const std::string& DBCharSet() const { return FDBCharSet; }
    void SetDBCharSet(std::string_view Value);   // stored upper-cased

    // Copies version, dialect, character set and both nested objects (by their own Assign).
    void Assign(const TIBServerOptions& Source);
    void AssignTo(TIBServerOptions& Dest) const { Dest.Assign(*this); }
    // Dialect 3, no character set, nested objects reset; the server version stays.
    void Reset();

    bool SupportsDialect3() const;
    std::string GetSetNamesStatement() const;
    std::string GetSetDialectStatement() const;
    std::string GetConnectStatement(const TConnectionOptions& ConnOpts) const;
    std::string GetDatabaseInfoComment() const { return IBDatabaseOptions.GetInfoComment(); }

private:
    std::string FDBCharSet;
};

// Held by executors and by connections; they differ only in what a form shows.
class TIBSQLExecOptions : public TIBServerOptions {};
class TIBEngineOptions : public TIBServerOptions {};

// ---- MSSQL ----

class TMSSQLCompareOptions {
public:
    TMSSQLCompareOptions() = default;
    TMSSQLCompareOptions(const TMSSQLCompareOptions&) = default;
    TMSSQLCompareOptions& operator=(const TMSSQLCompareOptions&) = delete;

    bool IgnoreFileGroup = false;
    bool IgnoreSysName = true;
    bool CaseSensitiveIdentifiers = false;
    bool UpdateColumnPosition = false;

    void Assign(const TMSSQLCompareOptions& Source);
    void AssignTo(TMSSQLCompareOptions& Dest) const { Dest.Assign(*this); }
    void Reset();   // UpdateColumnPosition stays
};

class TMSSQLDatabaseOptions {
public:
    TMSSQLDatabaseOptions() = default;
    TMSSQLDatabaseOptions(const TMSSQLDatabaseOptions&) = default;
    TMSSQLDatabaseOptions& operator=(const TMSSQLDatabaseOptions&) = delete;

    // The text, the first three flags and the first number are kept for readers of this dialect
    // that the library does not carry.
    std::string Info;
    bool Flag1 = false;
    bool Flag2 = false;
    bool Flag3 = false;
    bool RecursiveTriggers = false;
    int32_t Value1 = 0;
    int32_t DatabaseLevel = 0;   // chooses "exec sys." or "exec dbo." for descriptions

    void Assign(const TMSSQLDatabaseOptions& Source);
    void AssignTo(TMSSQLDatabaseOptions& Dest) const { Dest.Assign(*this); }
    void Reset();   // DatabaseLevel stays
};

class TMSSQLServerOptions {
public:
    TMSSQLServerOptions() = default;
    TMSSQLServerOptions(const TMSSQLServerOptions&) = default;
    TMSSQLServerOptions& operator=(const TMSSQLServerOptions&) = delete;

    std::string DBCharSet;
    std::string Collation;
    TMSSQLServerVersionType SQLServerVersion = st_MSSQL2000;
    TMSSQLCompareOptions MSSQLCompareOptions;
    TMSSQLDatabaseOptions MSSQLDatabaseOptions;

    void Assign(const TMSSQLServerOptions& Source);
    void AssignTo(TMSSQLServerOptions& Dest) const { Dest.Assign(*this); }
    void Reset();
};

// ---- MySQL ----

class TMySQLCompareOptions {
public:
    TMySQLCompareOptions() = default;
    TMySQLCompareOptions(const TMySQLCompareOptions&) = default;
    TMySQLCompareOptions& operator=(const TMySQLCompareOptions&) = delete;

    bool CaseSensitiveIdentifiers = true;

    void Assign(const TMySQLCompareOptions& Source);
    void AssignTo(TMySQLCompareOptions& Dest) const { Dest.Assign(*this); }
    void Reset();
};

class TMySQLServerOptions {
public:
    TMySQLServerOptions() = default;
    TMySQLServerOptions(const TMySQLServerOptions&) = default;
    TMySQLServerOptions& operator=(const TMySQLServerOptions&) = delete;

    TMySQLServerVersionType SQLServerVersion = st_MySQL_5x;
    std::string CharSet;
    std::string Names;
    TMySQLCompareOptions MySQLCompareOptions;

    void Assign(const TMySQLServerOptions& Source);
    void AssignTo(TMySQLServerOptions& Dest) const { Dest.Assign(*this); }
    void Reset();
};

// The table options of one MySQL table: empty texts and zero numbers are not set.
class TMySQLTableOptions {
public:
    std::string DefaultCharset;
    std::string Engine;
    int32_t AvgRowLength = 0;
    int32_t Checksum = 0;
    std::string DefaultCollate;
    std::string Comment;
    std::string Connection;
    std::string DataDirectory;
    int32_t DelayKeyWrite = 0;
    std::string IndexDirectory;
    std::string InsertMethod;
    int32_t KeyBlockSize = 0;
    int32_t MaxRows = 0;
    int32_t MinRows = 0;
    std::string PackKeys;
    std::string Password;
    std::string RowFormat;

    void SetDefaultCharSet(const std::string& Text) { DefaultCharset = Text; }
    // One CR LF-led line per item that is set, e.g. "\r\nENGINE=InnoDB".
    std::string GetText() const;
};

// ---- ASA ----

class TASACompareOptions {
public:
    TASACompareOptions() = default;
    TASACompareOptions(const TASACompareOptions&) = default;
    TASACompareOptions& operator=(const TASACompareOptions&) = delete;

    bool CaseSensitiveIdentifiers = false;

    void Assign(const TASACompareOptions& Source);
    void AssignTo(TASACompareOptions& Dest) const { Dest.Assign(*this); }
    void Reset();
};

// Kept for readers of this dialect that the library does not carry.
class TASADatabaseOptions {
public:
    TASADatabaseOptions() = default;
    TASADatabaseOptions(const TASADatabaseOptions&) = default;
    TASADatabaseOptions& operator=(const TASADatabaseOptions&) = delete;

    bool Flag1 = true;
    bool Flag2 = true;
    std::string Text1;
    int32_t Value1 = 0;
    std::string Text2;

    void Assign(const TASADatabaseOptions& Source);
    void AssignTo(TASADatabaseOptions& Dest) const { Dest.Assign(*this); }
    void Reset();
};

class TASAServerOptions {
public:
    TASAServerOptions() = default;
    TASAServerOptions(const TASAServerOptions&) = default;
    TASAServerOptions& operator=(const TASAServerOptions&) = delete;

    TASAServerVersionType SQLServerVersion = st_ASA9;
    TASACompareOptions ASACompareOptions;
    TASADatabaseOptions ASADatabaseOptions;

    void Assign(const TASAServerOptions& Source);
    void AssignTo(TASAServerOptions& Dest) const { Dest.Assign(*this); }
    void Reset();
};

// ---- Oracle, PostgreSQL, DB2: compare options without settings ----

class TOracleCompareOptions {
public:
    void Assign(const TOracleCompareOptions&) {}
};

class TPgSQLCompareOptions {
public:
    void Assign(const TPgSQLCompareOptions&) {}
};

class TDB2CompareOptions {
public:
    void Assign(const TDB2CompareOptions&) {}
};

class TOracleServerOptions {
public:
    TOracleServerOptions() = default;
    TOracleServerOptions(const TOracleServerOptions&) = default;
    TOracleServerOptions& operator=(const TOracleServerOptions&) = delete;

    TOracleServerVersionType SQLServerVersion = st_Oracle_10x;
    TOracleCompareOptions OracleCompareOptions;

    void Assign(const TOracleServerOptions& Source);
    void AssignTo(TOracleServerOptions& Dest) const { Dest.Assign(*this); }
    void Reset();
};

class TPGSQLServerOptions {
public:
    TPGSQLServerOptions() = default;
    TPGSQLServerOptions(const TPGSQLServerOptions&) = default;
    TPGSQLServerOptions& operator=(const TPGSQLServerOptions&) = delete;

    TPGSQLServerVersionType SQLServerVersion = st_PostgreSQL_8x;
    TPgSQLCompareOptions PGSQLCompareOptions;

    void Assign(const TPGSQLServerOptions& Source);
    void AssignTo(TPGSQLServerOptions& Dest) const { Dest.Assign(*this); }
    void Reset();
};

class TDB2ServerOptions {
public:
    TDB2ServerOptions() = default;
    TDB2ServerOptions(const TDB2ServerOptions&) = default;
    TDB2ServerOptions& operator=(const TDB2ServerOptions&) = delete;

    TDB2ServerVersionType SQLServerVersion = st_DB2_8x;
    TDB2CompareOptions DB2CompareOptions;

    void Assign(const TDB2ServerOptions& Source);
    void AssignTo(TDB2ServerOptions& Dest) const { Dest.Assign(*this); }
    void Reset();
};

// ---- ASE ----

class TASECompareOptions {
public:
    TASECompareOptions() = default;
    TASECompareOptions(const TASECompareOptions&) = default;
    TASECompareOptions& operator=(const TASECompareOptions&) = delete;

    bool IgnoreFileGroup = false;
    bool IgnoreSysName = true;
    bool CaseSensitiveIdentifiers = false;
    bool CompareDBOptions = true;

    // Copies the first three; CompareDBOptions stays the receiver's.
    void Assign(const TASECompareOptions& Source);
    void AssignTo(TASECompareOptions& Dest) const { Dest.Assign(*this); }
    void Reset();
};

class TASEDatabaseOptions {
public:
    TASEDatabaseOptions() = default;
    TASEDatabaseOptions(const TASEDatabaseOptions&) = default;
    TASEDatabaseOptions& operator=(const TASEDatabaseOptions&) = delete;

    static constexpr int OptionCount = 15;

    std::string Header;    // written as a comment line
    int32_t Value1 = 0;
    int32_t Value2 = 0;
    std::string Options;
    std::string Size;
    std::string Owner;
    std::string Created;
    std::string Text1;
    bool Flag1 = false;
    bool Flag2 = false;
    bool Flag3 = false;
    bool Flag4 = false;
    int32_t Value3 = 0;
    std::bitset<OptionCount> DBOptionSet;   // enabled database options, named by GetOptionName

    // Both leave DBOptionSet as it is.
    void Assign(const TASEDatabaseOptions& Source);
    void AssignTo(TASEDatabaseOptions& Dest) const { Dest.Assign(*this); }
    void Reset();

    static std::string GetOptionName(int Index);
};

class TASEServerOptions {
public:
    TASEServerOptions() = default;
    TASEServerOptions(const TASEServerOptions&) = default;
    TASEServerOptions& operator=(const TASEServerOptions&) = delete;

    TASEServerVersionType SQLServerVersion = st_ASE12;
    TASECompareOptions ASECompareOptions;
    TASEDatabaseOptions ASEDatabaseOptions;

    void Assign(const TASEServerOptions& Source);
    void AssignTo(TASEServerOptions& Dest) const { Dest.Assign(*this); }
    void Reset();
};

// ---- Whole-structure script ----

class TScriptOptions {
public:
    TScriptOptions() = default;
    TScriptOptions(const TScriptOptions&) = default;
    TScriptOptions& operator=(const TScriptOptions&) = delete;

    bool GenerateScript = true;
    bool Connect = true;
    bool SQLDialect = true;
    bool DBCharSet = true;
    bool LocalSQL = false;
    std::string FloatFormat;
    std::string DateFormat;
    std::string TimeFormat;
    std::string DateTimeFormat;

    void Assign(const TScriptOptions& Source);
    void AssignTo(TScriptOptions& Dest) const { Dest.Assign(*this); }
};

} // namespace qnl
