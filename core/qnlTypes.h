#pragma once
// The vocabularies every part of the comparison library speaks: server types, server versions,
// object kinds, compared kinds, statement kinds, the shared event types, small data holders and
// the text helpers for generated SQL.
#include "platform/Component.h"
#include "platform/StringList.h"

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace qnl {

// ---- Server type: a plain byte, not an enumeration ----
using TServerType = uint8_t;
inline constexpr TServerType stNone = 0;
inline constexpr TServerType stInterBase = 1;
inline constexpr TServerType stASA = 2;
inline constexpr TServerType stMySQL = 3;
inline constexpr TServerType stOracle = 4;
inline constexpr TServerType stMSSQL = 5;
inline constexpr TServerType stPostgreSQL = 6;
inline constexpr TServerType stDB2 = 7;
inline constexpr TServerType stASE = 8;
inline constexpr TServerType stLocalSQL1 = 11;
inline constexpr TServerType stLocalSQL2 = 12;
inline constexpr TServerType stGeneric = 13;

// ---- Server versions per dialect; the order is significant (tests are ordinal) ----
enum TIBSQLServerVersionType : uint8_t {
    st_InterBase_4x, st_InterBase_5x, st_InterBase_6x, st_FireBird_1x, st_Yaffil_1x, st_FireBird_15,
    st_InterBase_7x, st_InterBase_75, st_Firebird_20, st_Firebird_21, st_Firebird_25, st_Firebird_30,
    st_Firebird_40, st_InterBase_2020
};
enum TMSSQLServerVersionType : uint8_t {
    st_MSSQL2000, st_MSSQL2005, st_MSSQL2008, st_MSSQL2012, st_MSSQL2014, st_MSSQL2016, st_MSSQL2017, st_MSSQL2019
};
enum TASAServerVersionType : uint8_t { st_ASA5, st_ASA6, st_ASA7, st_ASA8, st_ASA9 };
enum TASEServerVersionType : uint8_t { st_ASE12 };
enum TPGSQLServerVersionType : uint8_t {
    st_PostgreSQL_7x, st_PostgreSQL_8x, st_PostgreSQL_9x, st_PostgreSQL_10x, st_PostgreSQL_11x,
    st_PostgreSQL_12x, st_PostgreSQL_13x, st_PostgreSQL_14x
};
enum TMySQLServerVersionType : uint8_t { st_MySQL_3x, st_MySQL_4x, st_MySQL_5x, st_MySQL_8x, st_MariaDB_10x };
enum TOracleServerVersionType : uint8_t {
    st_Oracle_7x, st_Oracle_8x, st_Oracle_9x, st_Oracle_10x, st_Oracle_11x, st_Oracle_12x, st_Oracle_18x,
    st_Oracle_19x, st_Oracle_21x
};
enum TDB2ServerVersionType : uint8_t { st_DB2_8x, st_DB2_9x, st_DB2_10x, st_DB2_11x };

// Every version gate of the library goes through these, so "this version or any later one"
// reads the same everywhere. Later includes the InterBase 7.x/7.5/2020 values that sort after
// the Firebird versions listed before them.
template <typename V>
constexpr bool AtLeast(V Version, V Minimum) { return static_cast<uint8_t>(Version) >= static_cast<uint8_t>(Minimum); }
template <typename V>
constexpr bool Before(V Version, V Limit) { return static_cast<uint8_t>(Version) < static_cast<uint8_t>(Limit); }

// Firebird 3 and later, not InterBase 2020 (which sorts after them): the system tables are
// read-only, and every description is written with COMMENT ON.
constexpr bool IsFirebird3OrLater(TIBSQLServerVersionType Version) {
    return Version == st_Firebird_30 || Version == st_Firebird_40;
}

using TIBSQLDialectType = uint8_t;  // 1 to 3

enum TQNLProtocol : uint8_t { ptTCP, ptSPX, ptNamedPipe, ptLocal };
enum TUpdateDescriptionType : uint8_t { udSysTables, udDescribe, udComment };

// ---- Kinds a comparison or extraction covers ----
enum TCmpObjType : uint8_t {
    coDomain, coFunction, coGenerator, coException, coTable, coView, coProcedure, coTrigger, coIndex,
    coRole, coGrant, coRoleGrant, coUserGrant, coObjGrant, coPrimaryKey, coForeignKey, coUnique, coCheck,
    coRule, coDefault, coCtrDefault, coPackage, coDescription
};
inline constexpr int CmpObjTypeCount = 23;

// A set of TCmpObjType values: bit n is ordinal n.
class TCmpObjSetType {
public:
    constexpr TCmpObjSetType() = default;
    constexpr explicit TCmpObjSetType(uint32_t Bits) : FBits(Bits & 0x7FFFFF) {}
    constexpr TCmpObjSetType(std::initializer_list<TCmpObjType> Kinds) {
        for (TCmpObjType k : Kinds) FBits |= 1u << k;
    }
    static constexpr TCmpObjSetType All() { return TCmpObjSetType(0x7FFFFF); }
    constexpr bool Contains(TCmpObjType K) const { return (FBits >> K) & 1u; }
    constexpr void Include(TCmpObjType K) { FBits |= 1u << K; }
    constexpr void Exclude(TCmpObjType K) { FBits &= ~(1u << K); }
    constexpr uint32_t Bits() const { return FBits; }
    constexpr bool Empty() const { return FBits == 0; }
    constexpr bool operator==(const TCmpObjSetType&) const = default;

private:
    uint32_t FBits = 0;
};

// ---- The kind tag of every schema object ----
enum TDbObject : uint8_t {
    dboUnknown, dboTable, dboProcedure, dboTrigger, dboFunction, dboException, dboIndex, dboDomain, dboView,
    dboGenerator, dboEvent, dboField, dboParam, dboDatabase, dboBlobFilter, dboCollation, dboConstraint,
    dboPKey, dboFKey, dboUnique, dboCheck, dboReferences, dboCtrDefault, dboRole, dboGrant, dboRule,
    dboDefault, dboPackage, dboPackageBody, dboPublication, dboSchema, dboOperator, dboOperatorClass,
    dboExtension, dboConversion, dboUser, dboUserGroup, dboValidation, dboExprIndex, dboCount, dboComputed,
    dboDepend, dboPrkList, dboFrkList, dboUnqList, dboChkList, dboDefList, dboRefList, dboIdxList,
    dboExcList, dboRolList, dboGntList, dboCdfList, dboPrcList, dboTrgList, dboFncList, dboRulList,
    dboGnrList, dboPkgList, dboDmnList, dboViwList, dboFldList, dboTblLIst, dboPblList, dboOprList,
    dboOpcList, dboCnvList, dboEvtList, dboCltList, dboUseInList, dboUseOfList
};
inline constexpr int DbObjectCount = 71;

// ---- Statement kinds ----
using TStatementKind = uint8_t;
inline constexpr TStatementKind skConnect = 0;
inline constexpr TStatementKind skReConnect = 1;
inline constexpr TStatementKind skCreateDb = 2;
inline constexpr TStatementKind skSet = 3;
inline constexpr TStatementKind skBlobFile = 4;
inline constexpr TStatementKind skCommit = 5;
inline constexpr TStatementKind skStatement = 6;
inline constexpr TStatementKind skComment = 7;
inline constexpr TStatementKind skProcedure = 8;
inline constexpr TStatementKind skTrigger = 9;
inline constexpr TStatementKind skSetNames = 10;
inline constexpr TStatementKind skCharSet = 11;
inline constexpr TStatementKind skSqlDialect = 12;
inline constexpr TStatementKind skDescription = 13;
inline constexpr TStatementKind skSelect = 14;
inline constexpr TStatementKind skInsert = 15;
inline constexpr TStatementKind skUpdate = 16;
inline constexpr TStatementKind skDelete = 17;
inline constexpr TStatementKind skExecuteBlock = 18;
inline constexpr TStatementKind skPackage = 19;
inline constexpr int StatementKindCount = 20;

extern const std::array<const char*, StatementKindCount> StatementKindNames;

// ---- Shared event types (fired only when set) ----
using TProgressUpdateEvent = std::function<void(TObject* Sender, int Value, int MaxValue)>;
using TLogNextLineEvent = std::function<void(TObject* Sender, const std::string& LogText)>;
using TErrorMessageEvent = std::function<void(TObject* Sender, const std::string& ErrText)>;
using TLoadScriptEvent =
    std::function<void(TObject* Sender, const std::string& FileName, TStringList& aScript, bool& Loaded)>;

class TDbObj;
using TAcceptObjEvent =
    std::function<void(TObject* Sender, const std::string& aObjName, TDbObject aObjType, bool& Accept)>;
using TAccept_ObjEvent = std::function<void(TObject* Sender, TDbObj* aObj, bool& Accept)>;

// ---- Small data holders ----
class TTableSpace {
public:
    int32_t pctfree = 0;
    int32_t pctused = 0;
    int32_t initrans = 0;
    int32_t maxtrans = 0;
    std::string Storage;
    std::string TableSpace;

    std::string GetStorageText() const;
    // Fills the empty items of each from the other; the tablespace text is not merged.
    static void Merge(TTableSpace& A, TTableSpace& B);
};

class TTypeDirective {
public:
    bool NotInstantiable = false;
    bool NotFinal = false;
    bool Final = false;
    bool Instantiable = false;
    bool Overriding = false;

    std::string GetText() const;
};

// ---- Text helpers ----
bool CharInSet(char C, std::string_view Chars);
bool TryStrToInteger(std::string_view S, int& Value);
std::string QualifiedName(const std::string& Schema, const std::string& Name);
std::string GetStatementTerminator(TServerType ServerType);
std::string QuoteSQLString(std::string_view S, TServerType ServerType);
// The standard single-quoted literal (inner single quotes doubled), whatever the dialect.
inline std::string QuotedStr(std::string_view S) { return QuoteSQLString(S, stNone); }

} // namespace qnl
