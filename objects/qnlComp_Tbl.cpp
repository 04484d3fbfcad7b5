#include "objects/qnlComp_Tbl.h"

#include "core/qnlSQL_Exec.h"
#include "objects/qnlComp_Ctr.h"
#include "objects/qnlComp_Gnr.h"
#include "objects/qnlComp_Idx.h"
#include "objects/qnlComp_Rol.h"
#include "objects/qnlComp_Viw.h"

#include <algorithm>
#include <initializer_list>

namespace qnl {

const std::array<const char*, DataTypeNameCount> DataTypeNames = {
    "? DataType", "INTEGER", "BIGINT", "FLOAT", "DOUBLE PRECISION", "FLOAT4", "FLOAT8", "DECFLOAT", "TINYINT",
    "REAL", "DOUBLE", "NUMBER", "LONG", "LONG RAW", "VARCHAR", "CHAR", "LONG VARCHAR", "VARCHAR2", "DATE",
    "TIME", "TIMESTAMP", "TIME", "TIMESTAMP", "DATETIME", "DATETIME2", "SMALLDATETIME", "DATETIMEOFFSET",
    "GRAPHIC", "VARGRAPHIC", "Geometry", "Point", "Curve", "LineString", "Surface", "Polygon",
    "GeometryCollection", "MultiPoint", "MultiCurve", "MultiLineString", "MultiSurface", "MultiPolygon", "BLOB",
    "CLOB", "DBCLOB", "BINARY", "LONG BINARY", "NUMERIC", "DECIMAL", "TEXT", "NCHAR", "NVARCHAR", "NVARCHAR2",
    "NTEXT", "NCLOB", "SMALLINT", "QUAD", "CSTRING", "NATIONAL CHAR", "RAW", "ROWID", "UROWID", "MEDIUMINT",
    "YEAR", "TINYBLOB", "MEDIUMBLOB", "LONGBLOB", "TINYTEXT", "MEDIUMTEXT", "LONGTEXT", "ENUM", "SET", "BIT",
    "VARBIT", "MONEY", "SMALLMONEY", "GUID", "VARBINARY", "IMAGE", "BFILE", "UNIQUEIDENTIFIER", "SYSNAME",
    "SQL_VARIANT", "CURSOR", "CURSOR VARYING", "TABLE", "XML", "INTERVAL YEAR TO MONTH",
    "INTERVAL DAY TO SECOND", "SERIAL", "BIGSERIAL", "BYTEA", "INTERVAL", "INT2", "INT4", "INT8", "OID",
    "BOOLEAN"};

const char* DataTypeName(uint8_t Code) { return Code < DataTypeNameCount ? DataTypeNames[Code] : DataTypeNames[0]; }

bool ArrayBoundsDiffer(const TArrayBounds& A, const TArrayBounds& B) { return A != B; }

namespace {

bool CodeIn(uint8_t Code, std::initializer_list<uint8_t> Codes) {
    for (uint8_t c : Codes)
        if (c == Code) return true;
    return false;
}

std::string Num(int32_t V) { return std::to_string(V); }

// "(p,s)" when both are set, "(p)" when only the precision is, nothing otherwise.
std::string PrecisionScale(int32_t P, int32_t S) {
    if (P != 0 && S != 0) return "(" + Num(P) + "," + Num(S) + ")";
    if (P != 0) return "(" + Num(P) + ")";
    return {};
}

// The text of a single-quoted SQL literal: outer quotes gone, doubled inner quotes single.
std::string UnquoteSQLString(const std::string& S) {
    std::string inner = S.substr(1);
    if (!inner.empty() && inner.back() == '\'') inner.pop_back();
    std::string out;
    for (size_t i = 0; i < inner.size(); ++i) {
        out += inner[i];
        if (inner[i] == '\'' && i + 1 < inner.size() && inner[i + 1] == '\'') ++i;
    }
    return out;
}

} // namespace

// ---- TFldData ----

TFldData::TFldData(TCustomObjs* AContainer, TDbObj* AOwner) : TDbObj(AContainer), Owner(AOwner) {
    Kind = dboField;
    if (dynamic_cast<TTblData*>(AOwner)) IdentityGenerator = std::make_unique<TGnrData>(AContainer, nullptr);
}

TFldData::~TFldData() = default;

namespace {

// A block of facts allocated on first write: reading an absent one answers the empty block.
template <class T> const T& ReadBlock(const std::unique_ptr<T>& Block) {
    static const T none;
    return Block ? *Block : none;
}

template <class T> T& WriteBlock(std::unique_ptr<T>& Block) {
    if (!Block) Block = std::make_unique<T>();
    return *Block;
}

} // namespace

const TFldDialectFacts& TFldData::Dialect() const { return ReadBlock(FDialect); }
TFldDialectFacts& TFldData::SetDialect() { return WriteBlock(FDialect); }
const TFldRareTexts& TFldData::Rare() const { return ReadBlock(FRare); }
TFldRareTexts& TFldData::SetRare() { return WriteBlock(FRare); }

void TFldData::Assign(const TFldData& S) {
    Kind = S.Kind;
    if (S.FDialect || FDialect) {
        // The enum values and the MySQL number flags are the column's own and stay.
        TFldDialectFacts own = Dialect();
        TFldDialectFacts& facts = SetDialect();
        facts = S.Dialect();
        facts.EnumValues = std::move(own.EnumValues);
        facts.MySQLUnsigned = own.MySQLUnsigned;
        facts.MySQLZerofill = own.MySQLZerofill;
    }
    SetName(S.Name);
    SetSource(S.Source());
    SetDescription(S.Description());
    DefaultValue = S.GetDefault();
    DataType = S.DataType;
    FieldLength = S.FieldLength;
    CharLength = S.CharLength;
    IBFieldType = S.IBFieldType;
    Precision = S.Precision;
    Scale = S.Scale;
    Nullable = S.Nullable;
    Position = S.Position;
    FieldPosition = S.FieldPosition;
    ExistsInTarget = S.ExistsInTarget;
    Equal = S.Equal;
    DomainName = S.DomainName;
    CharSetName = S.CharSetName;
    CharSetId = S.CharSetId;
    FRare = S.FRare ? std::make_unique<TFldRareTexts>(*S.FRare) : nullptr;
    CollationName = S.CollationName;
    CollationId = S.CollationId;
    SubType = S.SubType;
    SegmentLength = S.SegmentLength;
    TypeOf = S.TypeOf;
    ParamDirection = S.ParamDirection;
    ByValue = S.ByValue;
    ByDescriptor = S.ByDescriptor;
    ByReferenceWithNull = S.ByReferenceWithNull;
    ParameterNumber = S.ParameterNumber;
    IndexOrder = S.IndexOrder;
    Identity = S.Identity;
    IdentitySeed = S.IdentitySeed;
    IdentityIncrement = S.IdentityIncrement;
    WithTimeZone = S.WithTimeZone;
}

std::string TFldData::GetDefault() const {
    const std::string& d = DefaultValue;
    if (d.size() < 2 || d.front() != '"' || d.back() != '"') return d;
    std::string out = "'";
    for (size_t i = 1; i + 1 < d.size(); ++i) {
        if (d[i] == '\'') out += '\'';
        out += d[i];
    }
    return out + "'";
}

uint8_t TFldData::IBTypeToDataType(int32_t IBType, int32_t ASubType) {
    switch (IBType) {
    case 7: return dtSmallInt;
    case 8: return dtInteger;
    case 9: return dtQuad;
    case 10: return dtFloat;
    case 12: return dtDate;
    case 13: return dtTime;
    case 14: return ASubType == 1 ? dtBinary : dtChar;
    case 16: return dtBigInt;
    case 17:
    case 23: return dtBoolean;
    case 24:
    case 25: return dtDecFloat;
    case 26: return dtNumeric;
    case 27: return dtDoublePrecision;
    case 28: WithTimeZone = true; return dtTime;
    case 29: WithTimeZone = true; return dtTimeStamp;
    case 35: {
        const TIBServerOptions* o = GetIBServerOptions();
        return o && o->SQLDialect == 3 ? dtTimeStamp : dtDate;
    }
    case 37: return ASubType == 1 ? dtVarBinary : dtVarChar;
    case 40: return dtCString;
    case 261: return dtBlob;
    default: return dtUnknown;
    }
}

std::string TFldData::GetDomainName() const {
    if (DataType != dtDomain || DomainName.empty() || !Rare().TypeOfTable.empty()) return {};
    return Dialect().DomainSchema.empty() ? DomainName : Dialect().DomainSchema + "." + DomainName;
}

TDbObj* TFldData::GetDomain() const {
    if (GetDomainName().empty() || !Container) return nullptr;
    return Container->FindDomain(KeyOfName(Dialect().DomainSchema, DomainName));
}

TFldData* TFldData::GetDomainType() const {
    TDbObj* d = GetDomain();
    return d ? dynamic_cast<TFldData*>(d->GetTypeField()) : nullptr;
}

bool TFldData::IsCharType() const { return IsCharTypeAt(0); }

bool TFldData::IsCharTypeAt(int Depth) const {
    if (CodeIn(DataType, {dtVarChar, dtChar, dtNChar, dtCString})) return true;
    if (DataType == dtBlob) return SubType == 1;
    if (DataType != dtDomain) return false;
    // Domains typed by domains are followed, but a chain that comes back on itself must end.
    constexpr int MaxDomainDepth = 32;
    TFldData* t = Depth < MaxDomainDepth ? GetDomainType() : nullptr;
    return t && t->IsCharTypeAt(Depth + 1);
}

std::string TFldData::GetCharSet() const {
    if (!IsCharType()) return {};
    if (!CharSetName.empty()) return CharSetName;
    if (TFldData* t = GetDomainType(); t && !t->CharSetName.empty()) return t->CharSetName;
    if (GetServerType() == stInterBase && Container) return Container->IBServerOptions.DBCharSet();
    return {};
}

std::string CharSetOrNone(const std::string& CharSet) { return CharSet.empty() ? std::string("NONE") : CharSet; }

bool SameCharSet(const std::string& A, const std::string& B) { return CharSetOrNone(A) == CharSetOrNone(B); }

namespace {
thread_local int FullDefinitionDepth = 0;
} // namespace

TFullDefinition::TFullDefinition() { ++FullDefinitionDepth; }
TFullDefinition::~TFullDefinition() { --FullDefinitionDepth; }
bool TFullDefinition::Active() { return FullDefinitionDepth > 0; }

std::string TFldData::RunDefaultCharSet() const {
    if (!Container) return {};
    const TCustomObjs* target = Container->UseCounterpartDialect ? Container->CounterpartObjs : nullptr;
    if (!target) return Container->IBServerOptions.DBCharSet();
    if (target->ServerType() == stInterBase && Container->IBServerOptions.IBCompareOptions.DbCharsetCompare)
        return Container->IBServerOptions.DBCharSet();
    return target->IBServerOptions.DBCharSet();
}

bool TFldData::HasOwnCharSet() const {
    return DomainName.empty() && DataType != dtDomain && DataType != dtNChar && IsCharType() &&
           !(IsComputed() && DataType == dtUnknown);
}

void TFldData::SetCharSetCollation(int32_t ACharSetId, const std::string& ACharSetName, int32_t ACollationId,
                                   const std::string& ACollationName) {
    if (!IsCharType()) {
        CollationName.clear();
        CollationId = 0;
    } else {
        CharSetId = ACharSetId;
        CharSetName = ACharSetName;
        CollationId = ACollationId;
        CollationName = ACollationName;
        TFldData* domainType = DataType == dtDomain ? GetDomainType() : nullptr;
        // A collation named like its character set is that set's default.
        bool inherited = domainType ? CollationName == domainType->CollationName : CollationName == GetCharSet();
        if (inherited) {
            CollationName.clear();
            CollationId = 0;
        }
        std::string dbCharSet = Container ? Container->IBServerOptions.DBCharSet() : std::string();
        if (CharSetName == dbCharSet || (CharSetName == "NONE" && dbCharSet.empty())) {
            CharSetName.clear();
            CharSetId = 0;
        }
    }
    // A computed column keeps the character set of its type, declared or taken from its
    // expression, but takes no collation.
    if (IsComputed()) {
        CollationName.clear();
        CollationId = 0;
    }
}

bool TFldData::ComputedTypeDiffers(TFldData& Other) {
    if (!IsComputed() || !Other.IsComputed() || DataType == dtUnknown || Other.DataType == dtUnknown) return false;
    return GetTypeSQL() != Other.GetTypeSQL() || !SameCharSet(GetCharSet(), Other.GetCharSet());
}

bool TFldData::IBDialectForTypes() const {
    TServerType t = GetServerType();
    return t == stNone || t == stInterBase;
}

std::string TFldData::GetTypeSQL() {
    if (ParameterNumber != 0) return "PARAMETER " + Num(ParameterNumber);
    if (DataType == dtDomain) {
        std::string s = TypeOf ? "TYPE OF " : "";
        if (!Rare().TypeOfTable.empty() && !Rare().TypeOfColumn.empty())
            s += "COLUMN " + QuoteName(Rare().TypeOfTable) + "." + QuoteName(Rare().TypeOfColumn);
        else
            s += QuoteName(DomainName);
        return s;
    }
    TServerType st = GetServerType();
    // A computed column's type, when known, is written before COMPUTED BY by the column text.
    if (IsComputed() && (DataType == dtUnknown || !IBDialectForTypes()))
        return (st == stMSSQL ? "AS " : "COMPUTED BY ") + Source();

    std::string s = DataTypeName(DataType);
    const bool ib = IBDialectForTypes();
    const TIBServerOptions* o = GetIBServerOptions();
    const TIBSQLServerVersionType version = o ? o->SQLServerVersion : TIBServerOptions().SQLServerVersion;
    const int dialect = o ? o->SQLDialect : 3;

    if (st == stPostgreSQL) {
        s = LowerCase(s);
        if (DataType == dtTimeTZ || DataType == dtTimeStampTZ) {
            if (Precision != 0) s += "(" + Num(Precision) + ")";
            s += " with time zone";
        }
    }
    if (ib) {
        if (DataType == dtBigInt && version == st_InterBase_2020) s = "INTEGER";
        if (CodeIn(DataType, {dtChar, dtNChar}) && CharLength > 1) s += "(" + Num(CharLength) + ")";
        if (CodeIn(DataType, {dtVarChar, dtNVarChar, dtCString}) && CharLength > 0) s += "(" + Num(CharLength) + ")";
        if (version == st_Firebird_40) {
            if (CodeIn(DataType, {dtBinary, dtVarBinary})) s += "(" + Num(CharLength) + ")";
            if (CodeIn(DataType, {dtTime, dtTimeStamp}) && WithTimeZone) s += " WITH TIME ZONE";
        }
    } else if (CodeIn(DataType, {dtVarChar, dtChar, dtVarChar2, dtBinary, dtNChar, dtNVarChar, dtCString, dtVarBinary})) {
        if (CharLength > 1)
            s += "(" + Num(CharLength) + ")";
        else if (CharLength == -1)
            s += "(MAX)";
    }
    if (DataType == dtBlob) {
        if (SubType != 0) s += " SUB_TYPE " + Num(SubType);
        if (SegmentLength != 0 && SegmentLength != 80 && !OwnerIs(dboFunction))
            s += " SEGMENT SIZE " + Num(SegmentLength);
    }
    if (CodeIn(DataType, {dtNumber, dtNumeric, dtDecimal}) && Precision != 0)
        s += "(" + Num(Precision) + (Scale != 0 ? "," + Num(Scale) : std::string()) + ")";
    if (DataType == dtDecFloat && Precision != 0 && Precision != 34) s += "(" + Num(Precision) + ")";
    if (ib && dialect != 3 && CodeIn(DataType, {dtTime, dtTimeStamp})) s = "DATE";
    // The dimensions follow the complete type (NUMERIC(9,2) [1:3]); written before the
    // precision they would make a text the server rejects.
    if (ib && !ArrayBounds.empty()) {
        s += " [";
        for (size_t i = 0; i < ArrayBounds.size(); ++i) {
            if (i > 0) s += ", ";
            s += Num(ArrayBounds[i].first) + ":" + Num(ArrayBounds[i].second);
        }
        s += "]";
    }
    return s;
}

std::string TFldData::GetColumnSQL() {
    switch (GetServerType()) {
    case stASA: return ASAColumnSQL();
    case stMySQL: return MySQLColumnSQL();
    case stOracle: return OracleColumnSQL();
    case stMSSQL: return MSSQLColumnSQL();
    case stPostgreSQL: return PGColumnSQL();
    case stDB2: return DB2ColumnSQL();
    case stASE: return ASEColumnSQL();
    default: return IBColumnSQL();
    }
}

std::string TFldData::IBColumnSQL() {
    std::string s = GetTypeSQL();
    if (ParameterNumber != 0) return s;
    if (ByDescriptor) s += " BY DESCRIPTOR";
    if (ByValue) s += " BY VALUE";
    const TIBServerOptions* o = GetIBServerOptions();
    const bool fieldCharSets = (o && o->IBCompareOptions.FldCharsetCompare) || TFullDefinition::Active();
    const TIBSQLServerVersionType version = o ? o->SQLServerVersion : TIBServerOptions().SQLServerVersion;
    if (fieldCharSets && DomainName.empty()) {
        // Without a clause the column takes the default of the database it is created in, which
        // need not be the one it was read from: a column stored without its set (the reader's
        // default) names it whenever the two defaults differ.
        const std::string runDefault = RunDefaultCharSet();
        if (!CharSetName.empty()) {
            if (CharSetName != runDefault || !CollationName.empty()) s += " CHARACTER SET " + CharSetName;
        } else if (HasOwnCharSet()) {
            // The column was read with its database's default, which it has again there.
            if (const std::string own = Container->IBServerOptions.DBCharSet(); !SameCharSet(own, runDefault))
                s += " CHARACTER SET " + CharSetOrNone(own);
        }
    }
    // Without its type the server would give the column the type of its expression.
    if (IsComputed() && DataType != dtUnknown) return s + " COMPUTED BY " + Source();
    // Identity columns exist from Firebird 3 on; InterBase has none.
    const bool identity = Identity && IsFirebird3OrLater(version);
    if (identity) {
        s += " GENERATED BY DEFAULT AS IDENTITY";
        // Without its start the new table's keys would begin at 1 again.
        if (IdentitySeed != 0) s += " (START WITH " + std::to_string(IdentitySeed) + ")";
    }
    // Every InterBase/Firebird version takes a column default, and the temporary column and
    // domain of a type or default change are built from this text on the oldest ones too.
    std::string def = GetDefault();
    if (!def.empty())
        if (TFldData* t = DataType == dtDomain ? GetDomainType() : nullptr; t && t->GetDefault() == def && !TypeOf)
            def.clear();
    const std::string notNull = Identity || Nullable ? ""
                                : Rare().NotNullName.empty() ? " NOT NULL"
                                                      : " CONSTRAINT " + QuoteName(Rare().NotNullName) + " NOT NULL";
    const std::string collate = !CollationName.empty() && fieldCharSets ? " COLLATE " + CollationName : "";
    if (OwnerIsProcedure()) {
        // A parameter takes NOT NULL and COLLATE before its default, a column after it.
        s += notNull + collate;
        if (!def.empty() && ParamDirection != pdOut) s += " = " + def;
        return s;
    }
    if (!def.empty()) s += " DEFAULT " + def;
    s += notNull;
    if (!Rare().CheckSource.empty()) s += " CHECK" + Rare().CheckSource;
    // After the character set, where the server takes it.
    if (ByReferenceWithNull && OwnerIs(dboFunction)) s += " NULL";
    return s + collate;
}

std::string TFldData::MySQLColumnSQL() {
    std::string s = DataType == dtDomain && !DomainName.empty() ? QuoteName(DomainName) : DataTypeName(DataType);
    if (CodeIn(DataType, {dtVarChar, dtChar, dtBinary, dtNationalChar, dtVarBinary}) && CharLength != 0) {
        s += "(" + Num(CharLength) + ")";
    } else if (DataType == dtEnum || DataType == dtSet) {
        s += "(";
        for (int i = 0; i < Dialect().EnumValues.Count(); ++i) s += (i > 0 ? ", " : "") + Dialect().EnumValues[i];
        s += ")";
    } else if (CodeIn(DataType, {dtFloat, dtDouble, dtNumeric, dtDecimal})) {
        s += PrecisionScale(Precision, Scale);
    } else if (Precision != 0) {
        s += "(" + Num(Precision) + ")";
    }
    if (!CharSetName.empty()) s += " CHARACTER SET " + CharSetName;
    if (!CollationName.empty()) s += " COLLATE " + CollationName;
    if (Dialect().MySQLUnsigned) s += " UNSIGNED";
    if (Dialect().MySQLZerofill) s += " ZEROFILL";
    if (Dialect().MySQLBinary) s += " BINARY";
    if (!Nullable) s += " NOT NULL";
    std::string def = GetDefault();
    if (!def.empty()) {
        // Re-quoted so that MySQL's backslash escapes apply to the text.
        if (def.front() == '\'') def = QuoteSQLString(UnquoteSQLString(def), stMySQL);
        s += " DEFAULT " + def;
    }
    if (Dialect().MySQLAutoIncrement) s += " AUTO_INCREMENT";
    return s;
}

std::string TFldData::PGColumnSQL() {
    std::string s;
    if (DataType == dtDomain) {
        s = (Dialect().DomainSchema.empty() ? std::string() : QuoteName(Dialect().DomainSchema) + ".") + QuoteName(DomainName);
    } else {
        s = LowerCase(DataTypeName(DataType));
        if ((DataType == dtVarChar || DataType == dtChar) && CharLength != 0) s += "(" + Num(CharLength) + ")";
        if (DataType == dtNumeric || DataType == dtDecimal) s += PrecisionScale(Precision, Scale);
        if (DataType == dtTimeTZ || DataType == dtTimeStampTZ) s += " with time zone";
        if (!CharSetName.empty()) s += " character set " + CharSetName;
        if (!CollationName.empty()) s += " collate " + CollationName;
    }
    for (const auto& b : ArrayBounds) s += "[" + (b.second != 0 ? Num(b.second) : std::string()) + "]";
    if (!Nullable) s += " not null";
    if (std::string def = GetDefault(); !def.empty()) s += " default " + def;
    if (!Rare().CheckSource.empty()) {
        if (!Dialect().CheckName.empty()) s += " CONSTRAINT " + Dialect().CheckName;
        s += " CHECK" + Rare().CheckSource;
    }
    return s;
}

std::string TFldData::ASAColumnSQL() {
    std::string s;
    if (DomainName.empty()) {
        s = DataTypeName(DataType);
        if (CodeIn(DataType, {dtVarChar, dtChar, dtBinary, dtNChar, dtNVarChar, dtVarBinary}) && CharLength > 1)
            s += "(" + Num(CharLength) + ")";
    } else {
        s = QuoteName(DomainName);
    }
    if (std::string def = GetDefault(); !def.empty()) s += (OwnerIsProcedure() ? " = " : " DEFAULT ") + def;
    if (ParamDirection == pdOut) s += " OUTPUT";
    if (!CollationName.empty()) s += " COLLATE " + CollationName;
    if (Identity) s += " IDENTITY (" + std::to_string(IdentitySeed) + ", " + Num(IdentityIncrement) + ")";
    if (Dialect().RowGuidCol) s += " ROWGUIDCOL";
    if (!OwnerIsProcedure()) s += Nullable ? " NULL" : " NOT NULL";
    return s;
}

// "(n)" for a length of one or more, "(MAX)" for -1 (MSSQL and ASE character and binary types).
std::string TFldData::LengthOrMax() const {
    if (CharLength >= 1) return "(" + Num(CharLength) + ")";
    return CharLength == -1 ? "(MAX)" : std::string();
}

std::string TFldData::ASEColumnSQL() {
    std::string s;
    if (Dialect().IsJavaType) {
        s = "java.lang." + Dialect().JavaClassName + PrecisionScale(Precision, Scale);
    } else if (DataType == dtDomain) {
        s = QuoteName(DomainName);
    } else if (IsComputed()) {
        return "AS " + Source();
    } else if (DataType == dtTable) {
        return TableType ? TableType->GetBodySQL() : std::string("TABLE");
    } else {
        s = DataTypeName(DataType);
        if (CodeIn(DataType, {dtVarChar, dtChar, dtBinary, dtNChar, dtNVarChar, dtVarBinary})) s += LengthOrMax();
        if (CodeIn(DataType, {dtFloat, dtNumeric, dtDecimal}) && Precision != 0)
            s += Scale == 0 ? "(" + Num(Precision) + ")" : "(" + Num(Precision) + "," + Num(Scale) + ")";
    }
    if (std::string def = GetDefault(); !def.empty()) s += (OwnerIsProcedure() ? " = " : " DEFAULT ") + def;
    if (!CollationName.empty()) s += " COLLATE " + CollationName;
    if (Identity) s += " IDENTITY";
    if (!OwnerIsProcedure()) s += Nullable ? " NULL" : " NOT NULL";
    return s;
}

std::string TFldData::MSSQLColumnSQL() {
    std::string s;
    if (DataType == dtDomain) {
        s = (Dialect().DomainSchema.empty() ? std::string() : QuoteName(Dialect().DomainSchema) + ".") + QuoteName(DomainName);
    } else if (IsComputed()) {
        s = "AS " + Source();
        if (Dialect().Persisted) s += " PERSISTED";
    } else if (DataType == dtXml) {
        s = "XML";
        if (!Dialect().XmlTypeQualifier.empty()) s += " " + Dialect().XmlTypeQualifier;
    } else if (DataType == dtTable) {
        return TableType ? TableType->GetBodySQL() : std::string("TABLE");
    } else {
        s = DataTypeName(DataType);
        if (CodeIn(DataType, {dtVarChar, dtChar, dtBinary, dtNChar, dtNVarChar, dtVarBinary})) s += LengthOrMax();
        if (CodeIn(DataType, {dtFloat, dtTime, dtDateTime2, dtDateTimeOffset, dtNumeric, dtDecimal})) {
            const bool timeType = CodeIn(DataType, {dtTime, dtDateTime2, dtDateTimeOffset});
            // Seven fractional digits are the server's default for the time types.
            const bool serverDefault = timeType && Scale == 0 && Precision == 7;
            if (!serverDefault && (Precision != 0 || timeType))
                s += Scale == 0 ? "(" + Num(Precision) + ")" : "(" + Num(Precision) + "," + Num(Scale) + ")";
        }
    }
    if (std::string def = GetDefault(); !def.empty()) s += (OwnerIsProcedure() ? " = " : " DEFAULT ") + def;
    if (ParamDirection == pdOut) s += " OUTPUT";
    if (!CollationName.empty() && !OwnerIs(dboDomain)) s += " COLLATE " + CollationName;
    if (Identity) {
        s += " IDENTITY";
        if (IdentityIncrement != 0) s += " (" + std::to_string(IdentitySeed) + ", " + Num(IdentityIncrement) + ")";
    }
    if (Dialect().RowGuidCol) s += " ROWGUIDCOL";
    if (!IsComputed() && !OwnerIsProcedure()) s += Nullable ? " NULL" : " NOT NULL";
    return s;
}

std::string TFldData::OracleColumnSQL() {
    const std::string ref = Dialect().IsRef ? "REF " : "";
    std::string s = ref;
    if (DomainName.empty()) {
        if (DataType != dtUnknown) s += DataTypeName(DataType);
    } else {
        s += DomainName;
    }
    if (CodeIn(DataType, {dtVarChar, dtChar, dtVarChar2, dtNChar, dtNVarChar, dtNVarChar2, dtRaw}))
        s += "(" + Num(CharLength) + ")";
    if (DataType == dtIntervalYM && Precision != 0) s = ref + "INTERVAL YEAR(" + Num(Precision) + ") TO MONTH";
    if (DataType == dtIntervalDS && (Precision != 0 || Scale != 0))
        s = ref + "INTERVAL DAY" + (Precision != 0 ? "(" + Num(Precision) + ")" : std::string()) + " TO SECOND" +
            (Scale != 0 ? "(" + Num(Scale) + ")" : std::string());
    if (CodeIn(DataType, {dtFloat, dtNumber, dtNumeric, dtDecimal, dtUrowid})) s += PrecisionScale(Precision, Scale);
    if (DataType == dtTimeStamp) {
        if (Precision != 0) s += "(" + Num(Precision) + ")";
        if (WithTimeZone)
            s += " WITH TIME ZONE";
        else if (Dialect().WithLocalTimeZone)
            s += " WITH LOCAL TIME ZONE";
    }
    if (std::string def = GetDefault(); !def.empty()) s += (s.empty() ? "" : " ") + std::string("DEFAULT ") + def;
    if (!Nullable) s += " NOT NULL";
    return s;
}

std::string TFldData::DB2ColumnSQL() {
    std::string s;
    if (DataType == dtDomain) {
        s = DomainName;
    } else {
        if (DataType != dtUnknown) s = DataTypeName(DataType);
        if (CodeIn(DataType, {dtVarChar, dtChar, dtBlob, dtClob}) && CharLength > 0) s += "(" + Num(CharLength) + ")";
        if ((DataType == dtNumeric || DataType == dtDecimal) && Precision != 0)
            s += "(" + Num(Precision) + "," + Num(Scale) + ")";
    }
    if (Dialect().ForBitData) s += " FOR BIT DATA";
    if (Dialect().DB2Logged == 0) s += " NOT LOGGED";
    if (Dialect().DB2Logged == 1) s += " LOGGED";
    if (Dialect().DB2Compact == 0) s += " NOT COMPACT";
    if (Dialect().DB2Compact == 1) s += " COMPACT";
    if (!Nullable) s += " NOT NULL";
    if (Dialect().GeneratedKind != 0 && Dialect().GeneratedKind != ' ') {
        s += " GENERATED ";
        if (Dialect().GeneratedKind == 'A') s += "ALWAYS ";
        if (Dialect().GeneratedKind == 'D') s += "BY DEFAULT ";
        if (Identity) {
            std::string options;
            if (IdentityGenerator) IdentityGenerator->GetDB2IdentityText(options);
            s += "AS IDENTITY" + options;
        } else {
            s += "AS(" + Dialect().GeneratedExpression + ")";
        }
    }
    if (std::string def = GetDefault(); !def.empty()) s += " WITH DEFAULT " + def;
    return s;
}

std::string TFldData::GetCreateSQL() {
    const TServerType st = GetServerType();
    std::string s;
    if (OwnerIsProcedure() && !Owner->GetLanguage().empty()) {
        if (ParamDirection == pdIn) s = "in ";
        if (ParamDirection == pdOut) s = "out ";
        if (ParamDirection == pdInOut) s = "inout ";
    }
    const bool modeFirst = !s.empty();
    if (!Name.empty()) s += (st == stMSSQL && OwnerIsProcedure() ? Name : GetQualifiedName()) + " ";
    s += GetColumnSQL();
    if (!modeFirst && st == stASE) {
        if (ParamDirection == pdIn) s += " in";
        if (ParamDirection == pdOut) s += " out";
        if (ParamDirection == pdInOut) s += " inout";
    }
    return s;
}

std::string TFldData::OwnerNameForCounterpart() const { return Owner ? Owner->GetNameForCounterpart() : OwnerName; }

std::string TFldData::GetCreateStatement() {
    const TFullDefinition full;
    const TServerType st = GetServerType();
    std::string table;
    if (!Owner) {
        table = QuoteName(OwnerName);
    } else {
        const std::string name = QuoteName(OwnerNameForCounterpart());
        if ((st == stOracle || st == stMSSQL || st == stPostgreSQL) && !Owner->Schema.empty())
            table = QuoteName(Owner->Schema) + "." + name;
        else if (st == stASA)
            table = (Owner->DbOwner().empty() ? std::string("DBA") : QuoteName(Owner->DbOwner())) + "." + name;
        else
            table = name;
    }
    std::string s = "ALTER TABLE " + table + " ADD " + GetCreateSQL();
    if (st == stMSSQL && !Nullable) {
        // The new NOT NULL column takes its default constraint along, so existing rows get a value.
        for (int i = 0; i < UsedBy.Count(); ++i) {
            TDbObj* c = UsedBy.Items(i)->Ref;
            if (!c || c->GetConstraintType() != 5) continue;
            const TStringList* fields = c->GetKeyFields();
            if (!fields || fields->Count() != 1 || !SameText((*fields)[0], Name)) continue;
            s += " " + c->GetConstraintText(true);
            c->SetExists(true);
        }
    }
    return s;
}

std::string TFldData::GetDropSQL() {
    const TServerType st = GetServerType();
    if (st == stMSSQL)
        return "ALTER TABLE " + (Owner ? Owner->GetQualifiedName() : QuoteName(OwnerName)) + " DROP COLUMN " +
               QuoteName(Name);
    if (st == stOracle) return "ALTER TABLE " + QuoteName(OwnerName) + " DROP (" + QuoteName(Name) + ")";
    if (st == stASA && dynamic_cast<TTblData*>(Owner))
        return "ALTER TABLE " + (Owner->DbOwner().empty() ? std::string("DBA") : QuoteName(Owner->DbOwner())) + "." +
               QuoteName(Owner->Name) + " DROP " + QuoteName(Name);
    return "ALTER TABLE " + QuoteName(GetOwnerName()) + " DROP " + QuoteName(Name);
}

std::string TFldData::GetComputedAlterSQL() {
    if (!IsComputed() || !OwnerIs(dboTable) || GetServerType() != stInterBase) return {};
    // Without TYPE the server would give the column the type of its expression instead.
    const std::string definition = GetColumnSQL();
    const bool typed = definition.compare(0, 11, "COMPUTED BY") != 0;
    return "ALTER TABLE " + QuoteName(GetOwnerName()) + " ALTER " + QuoteName(Name) + (typed ? " TYPE " : " ") +
           definition;
}

std::string TFldData::GetOwnerName() const {
    if (!OwnerName.empty() || !Owner) return OwnerName;
    return Owner->Name;
}

TDescriptionSubject TFldData::GetDescriptionSubject() {
    TDescriptionSubject s;
    if (OwnerIs(dboTable)) {
        s.Class = dcTableColumn;
        s.Signature = GetColumnSQL();
    } else if (OwnerIs(dboView)) {
        s.Class = dcViewColumn;
    } else if (OwnerIsProcedure()) {
        s.Class = Owner->GetDescriptionSubject().Class == dcFunction ? dcFunctionParameter : dcProcedureParameter;
    } else {
        return s;
    }
    s.OwnerName = GetOwnerName();
    s.Owner = Owner;
    return s;
}

void TFldData::CreateDependencies() {
    TDbObj::CreateDependencies();
    if (const std::string domain = GetDomainName(); !domain.empty() && Container) {
        if (TCustomObjs* master = Container->GetMasterObjs()) {
            TDbObj* d = master->FindDomain(domain);
            if (d && !d->GetExists()) d->CreateDependDef();
        }
    }
    if (IsComputed()) {
        for (int i = 0; i < DependsOn.Count(); ++i) {
            TDependObj* e = DependsOn.Items(i);
            if (!e->Active || !e->Ref || e->Ref->Kind != dboFunction) continue;
            e->Ref->CreateDependDef();
            e->Active = false;
        }
    }
}

void TFldData::DropDependents() {
    TCustomSQLExec* exec = GetSQLExec();
    const std::string self = GetOwnerName() + "(" + Name + ")";
    for (int i = 0; i < UsedBy.Count(); ++i) {
        TDependObj* e = UsedBy.Items(i);
        TDbObj* ref = e->Ref;
        // What is already gone is left to the base walk, which retires its entry.
        if (!e->Active || !ref || !ref->GetExists()) continue;
        if (ref->Kind == dboProcedure) {
            if (ref->BodyIsEmpty()) continue;
            if (exec) exec->AddComment(MakeComment("Empty " + ref->Name + " for drop " + self));
            ref->EmptyBody(true);
            e->Active = false;
        } else if (ref->Kind == dboField && !ref->Source().empty()) {
            if (exec)
                exec->AddComment(
                    MakeComment("Drop " + ref->GetOwnerName() + "(" + ref->Name + ") for drop " + self));
            ref->DoDrop();
            e->Active = false;
        } else if (TObjListKind l = ref->GetObjList(); l == olIndices || l == olConstraints || l == olPublications) {
            ref->DoDrop();
            e->Active = false;
        }
    }
    // A view that reads the table is dropped; the view passes create it again.
    if (TCustomObjs* target = Container ? Container->GetTargetObjs() : nullptr) {
        std::vector<TDbObj*> toDrop;
        for (TDbObj* view : target->ViewsReadingTable(GetOwnerName())) {
            bool uses = false;
            for (int i = 0; i < view->DependsOn.Count(); ++i) {
                TDependObj* e = view->DependsOn.Items(i);
                if (e->Active && e->Ref && dynamic_cast<TTblData*>(e->Ref) && e->Ref->Name == GetOwnerName()) {
                    e->Active = false;
                    uses = true;
                }
            }
            if (uses) toDrop.push_back(view);
        }
        for (TDbObj* view : toDrop) view->DoDrop();
    }
    TDbObj::DropDependents();
}

void TFldData::MarkDropped() {
    TDbObj::MarkDropped();
    if (auto* table = dynamic_cast<TTblData*>(Owner)) {
        table->SetNeedsReorder(true);
        ColumnGrantsLose(*this);
    }
}

// ---- TTblData ----

TTblData::TTblData(TCustomObjs* AContainer) : TDbObj(AContainer) {
    Kind = dboTable;
    FCaseSensitive = !(AContainer && AContainer->ServerType() == stMSSQL);
}

// Columns go before the base: their destructors unregister from objects they point to.
TTblData::~TTblData() { FColumns.clear(); }

TFldData* TTblData::AddColumn(std::unique_ptr<TFldData> AColumn) {
    if (!AColumn || ColumnByName(AColumn->Name)) return nullptr;
    FColumns.push_back(std::move(AColumn));
    return FColumns.back().get();
}

TFldData* TTblData::Column(int Index) const {
    if (Index < 0 || Index >= GetColumnCount()) return nullptr;
    return FColumns[static_cast<size_t>(Index)].get();
}

TFldData* TTblData::ColumnByName(const std::string& AName) const {
    for (const auto& c : FColumns)
        if (FCaseSensitive ? c->Name == AName : SameText(c->Name, AName)) return c.get();
    return nullptr;
}

bool TTblData::RemoveColumn(const std::string& AName) {
    for (auto it = FColumns.begin(); it != FColumns.end(); ++it) {
        if (it->get() != ColumnByName(AName)) continue;
        FColumns.erase(it);
        NumberColumns();
        return true;
    }
    return false;
}

void TTblData::MoveColumn(int From, int To) {
    if (From < 0 || From >= GetColumnCount()) return;
    To = std::clamp(To, 0, GetColumnCount() - 1);
    auto column = std::move(FColumns[static_cast<size_t>(From)]);
    FColumns.erase(FColumns.begin() + From);
    FColumns.insert(FColumns.begin() + To, std::move(column));
    NumberColumns();
}

void TTblData::NumberColumns() {
    for (size_t i = 0; i < FColumns.size(); ++i) FColumns[i]->Position = static_cast<int32_t>(i);
}

void TTblData::SetNeedsReorder(bool Value) {
    NeedsReorder = Value;
    if (auto* other = dynamic_cast<TTblData*>(Counterpart)) other->NeedsReorder = true;
}

bool TTblData::HasIdentityColumn() const {
    for (const auto& c : FColumns)
        if (c->Identity) return true;
    return false;
}

std::string TTblData::GetBodySQL() {
    const TServerType st = GetServerType();
    std::string s = GlobalTemporary ? "GLOBAL TEMPORARY " : "";
    s += "TABLE " + GetQualifiedName();
    if (st == stInterBase && !ExternalFile.empty())
        s += "\r\nEXTERNAL FILE " + QuoteSQLString(ExternalFile, stInterBase) + "\r\n";
    if (st == stOracle) {
        if (!OfType.empty()) s += " OF " + OfType;
        if (!NestedTable.empty()) s += "\r\nNESTED TABLE " + NestedTable;
    }
    if (!FColumns.empty()) {
        std::string cols;
        for (const auto& c : FColumns) {
            if (PlainColumnsOnly && c->IsComputed()) continue;
            cols += c->GetCreateSQL() + ",\r\n";
        }
        if (cols.size() >= 3) cols.resize(cols.size() - 3);
        s += "(" + cols + ")";
    }
    if (!AsSelect.empty()) s += "\r\nAS " + AsSelect;
    if (WithOids) s += " WITH OIDS";
    if (OnCommit == 1 && st != stASA) s += "\r\n ON COMMIT DELETE ROWS";
    if (OnCommit == 2) s += "\r\n ON COMMIT PRESERVE ROWS";
    if (st == stOracle) {
        auto line = [&s](const std::string& Text) { s += "\r\n" + Text; };
        if (std::string t = TableSpace.GetStorageText(); !t.empty()) line(t);
        if (!TablespaceName.empty()) line("TABLESPACE " + TablespaceName);
        if (Compress) line("COMPRESS");
        if (NoLogging) line("NOLOGGING");
        if (!Storage.empty()) line("STORAGE" + Storage);
        if (!ClusterName.empty()) line("CLUSTER " + ClusterName + ClusterColumns);
        if (!LobClause.empty()) line("LOB" + LobClause);
        if (!StoreAs.empty()) line("STORE AS " + StoreAs);
        if (!ExtraClause.empty()) line(ExtraClause);
        if (!PartitionColumns.empty()) line("PARTITION BY RANGE " + PartitionColumns + " " + PartitionClause);
    }
    return s;
}

std::string TTblData::GetMySQLCreateSQL() {
    std::string s = "CREATE TABLE " + QuoteName(GetNameForCounterpart());
    if (!FColumns.empty()) {
        std::string body;
        for (const auto& c : FColumns) body += c->GetCreateSQL() + ",\r\n";
        if (Container) {
            const TDbObjList& ctrs = Container->List(olConstraints);
            for (int i = 0; i < ctrs.Count(); ++i) {
                auto* c = dynamic_cast<TCtrData*>(ctrs.Obj(i));
                if (!c || c->TableName != Name || (c->ConstraintType != 0 && c->ConstraintType != 1)) continue;
                const char* word = c->ConstraintType == 0 ? "PRIMARY KEY" : "UNIQUE";
                if (!c->Name.empty())
                    body += "CONSTRAINT " + QuoteName(c->GetNameForCounterpart()) + " " + word;
                else
                    body += word;
                body += "(" + c->GetFieldsText() + ")" + ",\r\n";
                c->SetExists(true);
            }
            const TDbObjList& idx = Container->List(olIndices);
            for (int i = 0; i < idx.Count(); ++i) {
                auto* x = dynamic_cast<TIdxData*>(idx.Obj(i));
                if (!x || x->TableName != Name) continue;
                if (x->IsUnique) body += "UNIQUE ";
                body += "KEY " + QuoteName(x->Name);
                if (!x->UsingOptions.IndexMethod.empty()) body += " USING " + x->UsingOptions.IndexMethod;
                body += " (" + x->GetColumnListText() + ")" + ",\r\n";
                x->SetExists(true);
            }
        }
        if (body.size() >= 3) body.resize(body.size() - 3);
        s += "(" + body + ")";
    }
    return s + MySQLOptions.GetText();
}

std::string TTblData::GetCreateSQL() {
    return GetServerType() == stMySQL ? GetMySQLCreateSQL() : "CREATE " + GetBodySQL();
}

std::string TTblData::GetCreateStatement() {
    const TFullDefinition full;
    return GetCreateSQL();
}

std::string TTblData::GetDropSQL() { return "DROP TABLE " + GetQualifiedName(); }

void TTblData::CreateDependencies() {
    for (const auto& c : FColumns) {
        if (PlainColumnsOnly && c->IsComputed()) continue;
        c->SetExists(true);
    }
    if (!PlainColumnsOnly)
        for (const auto& c : FColumns)
            if (c->IsComputed()) c->CreateDependencies();
}

void TTblData::CreateDependDef() {
    // A computed column's walk comes back here through its table; the table is handled once.
    if (FCreating) return;
    const TWalkMark mark(FCreating);
    if (GetExists() && !PlainColumnsOnly) {
        for (const auto& c : FColumns) {
            if (!c->IsComputed() || c->GetExists() || c->HasMissingDependency()) continue;
            c->CreateDependDef();
            SetNeedsReorder(true);
        }
    } else if (!GetExists()) {
        CreateDependencies();
        if (!GetExists()) {
            if (TCustomSQLExec* exec = GetSQLExec()) {
                exec->AddStatement(GetCreateStatement(), skStatement, Name, dboTable, saCreate);
                exec->AddComment("\r\n");
            }
            SetExists(true);
            MarkCreated();
        }
    }
}

void TTblData::DropDependents() {
    TCustomObjs* target = Container ? Container->GetTargetObjs() : nullptr;
    if (target) {
        // Collected first: a drop may refile nothing, but it must not walk a list it changes.
        std::vector<TDbObj*> drops;
        const TDbObjList& triggers = target->List(olTriggers);
        for (int i = 0; i < triggers.Count(); ++i)
            if (TDbObj* t = triggers.Obj(i); t->GetOwnerName() == Name && t->GetExists()) drops.push_back(t);
        const TDbObjList& indices = target->List(olIndices);
        for (int i = 0; i < indices.Count(); ++i)
            if (TDbObj* x = indices.Obj(i); x->GetOwnerName() == Name) drops.push_back(x);
        for (TDbObj* o : drops) o->DoDrop();
    }
    for (int i = 0; i < UsedBy.Count(); ++i) {
        TDependObj* e = UsedBy.Items(i);
        TDbObj* ref = e->Ref;
        if (!e->Active || !ref) continue;
        if (ref == this) {
            e->Active = false;
        } else if (ref->GetObjList() == olConstraints) {
            ref->DoDrop();
            e->Active = false;
        } else if (ref->Kind == dboField && !ref->Source().empty()) {
            ref->DoDrop();
        } else if (ref->Kind == dboPublication) {
            ref->DoDrop();
            e->Active = false;
        }
    }
    for (const auto& c : FColumns)
        if (c->IsComputed() && c->GetExists()) c->DropDependents();
    TDbObj::DropDependents();
}

void TTblData::MarkDependentViews() {
    for (int i = 0; i < UsedBy.Count(); ++i)
        if (auto* view = dynamic_cast<TViwData*>(UsedBy.Items(i)->Ref)) view->SetRecreate(true);
}

void TTblData::DropForReplace() {
    if (!GetExists()) return;
    DropDependents();
    // The table's own keys go with it; they are dropped by name (foreign keys first) so that
    // their flags tell the constraint passes to write them again.
    if (Container) {
        std::vector<TDbObj*> keys;
        const TDbObjList& ctrs = Container->List(olConstraints);
        for (int pass = 0; pass < 2; ++pass)
            for (int i = 0; i < ctrs.Count(); ++i) {
                TDbObj* c = ctrs.Obj(i);
                if (c->GetOwnerName() == Name && (c->GetConstraintType() == 2) == (pass == 0)) keys.push_back(c);
            }
        for (TDbObj* c : keys) c->DoDrop();
    }
    for (const auto& c : FColumns) c->SetExists(false);
    if (TCustomSQLExec* exec = GetSQLExec()) exec->AddStatement(GetDropSQL(), skStatement, Name, dboTable, saDrop);
    SetExists(false);
}

// ---- TColumnNameList ----

void TColumnNameList::AddColumn(const std::string& AName, std::unique_ptr<TFldData> AColumn) {
    AddObject(AName, AColumn.release());
}

void TColumnNameList::ClearColumns() {
    for (int i = 0; i < Count(); ++i) delete Column(i);
    Clear();
}

// ---- TSchData ----

std::string TSchData::GetCreateSQL() {
    std::string s = "CREATE SCHEMA " + QuoteName(Name);
    if (GetServerType() == stMSSQL && !AuthorizationName.empty() && AuthorizationName != Name)
        s += " AUTHORIZATION " + QuoteName(AuthorizationName);
    return s;
}

std::string TSchData::GetDropSQL() { return "DROP SCHEMA " + QuoteName(Name); }

// ---- TPblData ----

std::string TPblArtData::GetText() const {
    std::string s = "    TABLE " + Publication->QuoteName(TableOwner) + "." + Publication->QuoteName(TableName);
    if (Columns.Count() > 0) {
        s += "(";
        for (int i = 0; i < Columns.Count(); ++i) s += (i ? ", " : "") + Publication->QuoteName(Columns[i]);
        s += ")";
    }
    return s;
}

TPblData::~TPblData() { Articles.clear(); }

TPblArtData* TPblData::AddArticle(const std::string& TableOwner, const std::string& TableName) {
    auto a = std::make_unique<TPblArtData>(this);
    a->TableOwner = TableOwner;
    a->TableName = TableName;
    Articles.push_back(std::move(a));
    return Articles.back().get();
}

std::string TPblData::GetCreateSQL() {
    std::string s = "CREATE PUBLICATION " + QuoteName(DbOwner()) + "." + QuoteName(Name) + " (" + "\r\n";
    for (size_t i = 0; i < Articles.size(); ++i)
        s += Articles[i]->GetText() + (i + 1 < Articles.size() ? ", " : "") + "\r\n";
    return s + ")";
}

std::string TPblData::GetDropSQL() { return "DROP PUBLICATION " + QuoteName(DbOwner()) + "." + QuoteName(Name); }

void TPblData::CreateDependencies() {
    TDbObj::CreateDependencies();
    for (int i = 0; i < DependsOn.Count(); ++i) {
        TDbObj* ref = DependsOn.Items(i)->Ref;
        if (ref && (ref->Kind == dboTable || ref->Kind == dboField) && !ref->GetExists()) ref->CreateDependDef();
    }
}

} // namespace qnl
