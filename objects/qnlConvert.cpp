// The comparer's conversion of a master of another dialect into the target's; see qnlConvert.h.
#include "objects/qnlConvert.h"

#include "core/qnlDBStructure.h"
#include "core/qnlQuote.h"
#include "objects/qnlComp_Ctr.h"
#include "objects/qnlComp_Dmn.h"
#include "objects/qnlComp_Idx.h"
#include "objects/qnlComp_Tbl.h"
#include "objects/qnlQuarnel.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>
#include <vector>

namespace qnl {

namespace {

// The code of a data-type word of the table; dtUnknown for a word it lacks.
uint8_t CodeOf(const char* Word) {
    for (int i = 0; i < DataTypeNameCount; ++i)
        if (std::string(DataTypeNames[static_cast<size_t>(i)]) == Word) return static_cast<uint8_t>(i);
    return dtUnknown;
}

const uint8_t dtText = CodeOf("TEXT"), dtNText = CodeOf("NTEXT"), dtMoney = CodeOf("MONEY"),
              dtSmallMoney = CodeOf("SMALLMONEY"), dtBit = CodeOf("BIT"), dtDateTime = CodeOf("DATETIME"),
              dtTinyInt = CodeOf("TINYINT"), dtImage = CodeOf("IMAGE"), dtUniqueIdentifier = CodeOf("UNIQUEIDENTIFIER"),
              dtSysName = CodeOf("SYSNAME");

std::string Upper(std::string S) {
    for (char& c : S) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return S;
}

std::string TrimText(const std::string& S) {
    const size_t b = S.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return {};
    return S.substr(b, S.find_last_not_of(" \t\r\n") - b + 1);
}

// A whole single-quoted literal ('' inside it), nothing after it.
bool IsStringLiteral(const std::string& T) {
    if (T.size() < 2 || T.front() != '\'') return false;
    for (size_t i = 1; i < T.size(); ++i) {
        if (T[i] != '\'') continue;
        if (i + 1 < T.size() && T[i + 1] == '\'') {
            ++i;
            continue;
        }
        return i + 1 == T.size();
    }
    return false;
}

// An optionally signed number: digits, a decimal point, an exponent.
bool IsNumber(const std::string& T, bool IntegerOnly) {
    size_t i = 0;
    if (i < T.size() && (T[i] == '-' || T[i] == '+')) ++i;
    size_t digits = 0;
    while (i < T.size() && std::isdigit(static_cast<unsigned char>(T[i]))) ++i, ++digits;
    if (!IntegerOnly && i < T.size() && T[i] == '.') {
        ++i;
        while (i < T.size() && std::isdigit(static_cast<unsigned char>(T[i]))) ++i, ++digits;
    }
    if (!IntegerOnly && digits && i < T.size() && (T[i] == 'E' || T[i] == 'e')) {
        ++i;
        if (i < T.size() && (T[i] == '-' || T[i] == '+')) ++i;
        const size_t start = i;
        while (i < T.size() && std::isdigit(static_cast<unsigned char>(T[i]))) ++i;
        if (i == start) return false;
    }
    return digits > 0 && i == T.size();
}

bool IsFirebirdContextValue(const std::string& Upper) {
    static const std::set<std::string> words{"NULL", "CURRENT_TIMESTAMP", "CURRENT_DATE", "CURRENT_TIME",
                                             "CURRENT_USER", "CURRENT_ROLE", "USER", "TRUE", "FALSE",
                                             "LOCALTIMESTAMP", "LOCALTIME"};
    return words.count(Upper) > 0;
}

void SetBlob(TFldData& C, int32_t SubType, const std::string& CharSet = {}) {
    C.DataType = dtBlob;
    C.SubType = SubType;
    C.SetRare().SubTypeName.clear();
    C.CharLength = 0;
    C.FieldLength = 0;
    C.CharSetName = CharSet;
}

void SetVarChar(TFldData& C, uint8_t Type, int32_t Length, const std::string& CharSet) {
    C.DataType = Type;
    C.CharLength = Length;
    C.FieldLength = Length;
    if (!CharSet.empty()) C.CharSetName = CharSet;
}

std::string ColumnLabel(const TFldData& C) {
    const std::string owner = C.GetOwnerName();
    return owner.empty() ? C.Name : owner + "." + C.Name;
}

// The types an InterBase/Firebird column of that version can have.
bool IsIBType(uint8_t Code, TIBSQLServerVersionType Version) {
    switch (Code) {
    case dtInteger:
    case dtFloat:
    case dtDoublePrecision:
    case dtVarChar:
    case dtChar:
    case dtDate:
    case dtTime:
    case dtTimeStamp:
    case dtBlob:
    case dtNumeric:
    case dtDecimal:
    case dtSmallInt:
    case dtCString:
    case dtDomain: return true;
    case dtBigInt: return AtLeast(Version, st_FireBird_15);
    case dtBoolean: return IsFirebird3OrLater(Version);
    case dtDecFloat:
    case dtTimeTZ:
    case dtTimeStampTZ: return Version == st_Firebird_40;
    default: return false;
    }
}

// Names made unique within one namespace of the target: a name cut to 31 characters that is
// taken already gets "_2", "_3", ... (cut to keep 31), and the change is logged.
class TUniqueNames {
public:
    TUniqueNames(const char* AWhat, const TConvertLog& ALog) : FWhat(AWhat), FLog(ALog) {}
    std::string Take(const std::string& Name) {
        std::string n = TruncateName31(Name);
        for (int k = 2; FTaken.count(n); ++k) {
            const std::string suffix = "_" + std::to_string(k);
            n = TruncateName31(Name).substr(0, 31 - suffix.size()) + suffix;
        }
        if (n != TruncateName31(Name))
            FLog(std::string(FWhat) + " " + Name + " is named " + n + ": its name cut to 31 characters is taken");
        FTaken.insert(n);
        return n;
    }

private:
    const char* FWhat;
    const TConvertLog& FLog;
    std::set<std::string> FTaken;
};

// Old name to new name; looked up exactly, then without regard to case (the dialects whose
// names ignore case may spell a reference otherwise).
class TRenames {
public:
    void Add(const std::string& From, const std::string& To) { FMap[From] = To; }
    std::string Of(const std::string& Name) const {
        if (auto it = FMap.find(Name); it != FMap.end()) return it->second;
        for (const auto& [from, to] : FMap)
            if (Upper(from) == Upper(Name)) return to;
        return Name;
    }

private:
    std::map<std::string, std::string> FMap;
};

void RenameEntries(TStringList& Names, const TRenames& Renames) {
    for (int i = 0; i < Names.Count(); ++i) Names.SetString(i, Renames.Of(Names[i]));
}

// Files every object of the container under its key again, and logs keys that two objects
// now share (they are kept both; the script would fail on the second).
void RekeyAll(TCustomObjs& Objs, const TConvertLog& Log) {
    for (int k = 0; k < ObjListCount; ++k) {
        TDbObjList& list = Objs.List(static_cast<TObjListKind>(k));
        list.Rekey();
        if (k == olGrants) continue;  // grants of one text merge on purpose
        for (int i = 1; i < list.Count(); ++i)
            if (list[i] == list[i - 1]) Log("Two objects have the name " + list[i] + " after the conversion");
    }
}

} // namespace

std::string TruncateName31(const std::string& Name) { return Name.size() > 31 ? Name.substr(0, 31) : Name; }

std::string StripEnclosingParentheses(const std::string& Text) {
    std::string t = TrimText(Text);
    while (t.size() >= 2 && t.front() == '(' && t.back() == ')') {
        // The first bracket must close at the last character, or the pair encloses only a part.
        int depth = 0;
        bool quoted = false, encloses = true;
        for (size_t i = 0; i < t.size(); ++i) {
            const char c = t[i];
            if (c == '\'') quoted = !quoted;
            if (quoted) continue;
            if (c == '(') ++depth;
            if (c == ')' && --depth == 0 && i + 1 < t.size()) {
                encloses = false;
                break;
            }
        }
        if (!encloses) break;
        t = TrimText(t.substr(1, t.size() - 2));
    }
    return t;
}

std::string UnicodeCharSetForIB(TIBSQLServerVersionType Version) {
    // UNICODE_FSS stores characters beyond three bytes other than UTF8 does.
    return AtLeast(Version, st_Firebird_20) && Version != st_InterBase_2020 ? "UTF8" : "UNICODE_FSS";
}

std::string ConvertDefaultToIB(const std::string& Text, TIBSQLServerVersionType Version, const std::string& Column,
                               const TConvertLog& Log) {
    std::string t = StripEnclosingParentheses(Text);
    if (t.empty()) return {};
    const std::string up = Upper(t);
    // A DATETIME default keeps its time of day.
    if (up == "GETDATE()") return AtLeast(Version, st_InterBase_6x) ? "CURRENT_TIMESTAMP" : "'NOW'";
    if (up == "NEWID()") return {};
    if ((t[0] == 'N' || t[0] == 'n') && IsStringLiteral(t.substr(1))) return t.substr(1);
    if (IsStringLiteral(t) || IsNumber(t, false) || IsFirebirdContextValue(up)) return t;
    if (Log) Log("Default " + t + " of " + Column + " has no InterBase/Firebird form and is left out");
    return {};
}

void ConvertFieldTypeToIB(TFldData& C, bool FromMSSQL, const std::string& Unicode, TIBSQLServerVersionType Version,
                          const TConvertLog& Log) {
    const uint8_t t = C.DataType;
    const bool max = C.CharLength == -1 && FromMSSQL;
    if (t == dtNVarChar) {
        if (max)
            SetBlob(C, 1, Unicode);
        else
            SetVarChar(C, dtVarChar, C.CharLength, Unicode);
    } else if (t == dtVarChar && max) {
        SetBlob(C, 1, C.CharSetName);
    } else if (t == dtNChar) {
        SetVarChar(C, dtChar, C.CharLength, Unicode);
    } else if (t == dtText) {
        SetBlob(C, 1, C.CharSetName);
    } else if (t == dtNText || t == dtXml) {
        SetBlob(C, 1, Unicode);
    } else if (t == dtMoney || t == dtSmallMoney) {
        C.DataType = dtNumeric;
        C.Precision = t == dtMoney ? 18 : 9;
        C.Scale = 4;
    } else if (t == dtBit) {
        C.DataType = dtSmallInt;
        if (!IsNumber(StripEnclosingParentheses(C.GetDefault()), true)) C.DefaultValue.clear();
    } else if (t == dtDateTime) {
        C.DataType = dtTimeStamp;
    } else if (t == dtTinyInt || (t == dtBoolean && !IsFirebird3OrLater(Version))) {
        C.DataType = dtSmallInt;
    } else if (t == dtReal) {
        C.DataType = dtFloat;
    } else if (t == dtDouble) {
        C.DataType = dtDoublePrecision;
    } else if (t == dtVarBinary || t == dtImage || t == dtBinary) {
        SetBlob(C, 0);
    } else if (t == dtUniqueIdentifier) {
        SetVarChar(C, dtVarChar, 38, {});
    }
    if ((C.DataType == dtNumeric || C.DataType == dtDecimal) && C.Precision > 18) {
        if (Log)
            Log("Column " + ColumnLabel(C) + ": precision " + std::to_string(C.Precision) +
                " is more than InterBase/Firebird holds; it is 18");
        C.Precision = 18;
        if (C.Scale > 18) C.Scale = 18;
    }
    if (!IsIBType(C.DataType, Version) && Log)
        Log("Column " + ColumnLabel(C) + ": the type " + DataTypeName(C.DataType) +
            " has no InterBase/Firebird form and is not converted");
    if (!C.DefaultValue.empty()) C.DefaultValue = ConvertDefaultToIB(C.GetDefault(), Version, ColumnLabel(C), Log);
    C.CollationName.clear();
}

// ---- MySQL ----

std::string GetMySQLName(const std::string& Name) {
    std::string n = Name;
    // A keyword or reserved word: a word MySQL quotes although every character is plain.
    const std::string u = Upper(n);
    const bool plain = !u.empty() && std::all_of(u.begin(), u.end(), [](char c) {
        return std::isupper(static_cast<unsigned char>(c)) || std::isdigit(static_cast<unsigned char>(c)) || c == '_';
    });
    if (GetMySQLKeywordToken(u) != 1 || (plain && MySQLQuoteName(u) != u)) n += "_";
    for (char& c : n)
        if (c == ' ') c = '_';
    return n;
}

std::string ConvertDefaultToMySQL(TFldData& C, const std::string& Text, bool& TimestampUsed) {
    const std::string t = TrimText(Text);
    const std::string up = Upper(t);
    if (up == "CURRENT_TIMESTAMP" || up == "'NOW'") {
        // MySQL gives one TIMESTAMP column of a table the current time.
        if (TimestampUsed) return {};
        TimestampUsed = true;
        C.Nullable = false;
        return "CURRENT_TIMESTAMP";
    }
    if (up == "'TODAY'" || up == "CURRENT_DATE" || up == "CURRENT_TIME") return {};
    if (t.empty() || t[0] == '\'' || up == "NULL") return t;
    std::string value = t;
    if (IsNumber(t, false)) {
        const double v = std::strtod(t.c_str(), nullptr);
        char buf[64];
        if (C.DataType == dtDouble && v == std::floor(v) && std::fabs(v) < 1e15) {
            std::snprintf(buf, sizeof buf, "%.0f", v);
            value = buf;
        } else if (C.DataType == dtDecimal) {
            std::snprintf(buf, sizeof buf, "%.*f", static_cast<int>(std::max(0, C.Scale)), v);
            value = buf;
        }
    }
    return QuotedStr(value);
}

void ConvertFieldTypeToMySQL(TFldData& C, bool FromIB, bool& TimestampUsed) {
    const uint8_t t = C.DataType;
    if (t == dtNumeric)
        C.DataType = dtDecimal;
    else if (t == dtDoublePrecision || t == dtMoney)
        C.DataType = dtDouble;
    else if (t == dtNText)
        C.DataType = dtText;
    else if (t == dtNChar || t == dtNVarChar) {
        C.DataType = t == dtNChar ? dtChar : dtVarChar;
        C.CharSetName = "UTF8";
    } else if (t == dtImage)
        C.DataType = CodeOf("LONGBLOB");
    else if (t == dtBit)
        C.DataType = dtTinyInt;
    else if (t == dtBlob && FromIB) {
        C.DataType = C.SubType == 1 || Upper(C.Rare().SubTypeName) == "TEXT" ? CodeOf("LONGTEXT") : CodeOf("LONGBLOB");
        C.SubType = 0;
        C.SetRare().SubTypeName.clear();
    }
    if (C.DataType == dtTimeStamp) {
        const std::string up = Upper(TrimText(C.GetDefault()));
        if (TimestampUsed || (up != "CURRENT_TIMESTAMP" && up != "'NOW'")) C.DataType = dtDateTime;
    }
    if ((C.DataType == dtChar || C.DataType == dtVarChar) && C.CharLength == 0) C.CharLength = C.FieldLength;
}

// ---- MSSQL and ASA ----

namespace {
bool IsUnicodeSet(const std::string& CharSet) {
    const std::string u = Upper(TrimText(CharSet));
    return u == "UNICODE_FSS" || u == "UTF8";
}

void ClearForServer(TFldData& C) {
    C.SetDescription({});
    C.CharSetName.clear();
    C.CollationName.clear();
    if (C.DataType != dtNumeric && C.DataType != dtDecimal) C.Precision = C.Scale = 0;
}
} // namespace

void ConvertFieldTypeToMSSQL(TFldData& C, bool FromIB, const std::string& MasterCharSet) {
    const uint8_t t = C.DataType;
    if (t == dtFloat || t == dtDoublePrecision || t == dtDouble)
        C.DataType = dtFloat;
    else if (t == dtDate || t == dtTime || t == dtTimeStamp)
        C.DataType = dtDateTime;
    else if (t == dtBlob)
        // Unicode text stays Unicode text, in either of Firebird's Unicode sets.
        C.DataType = C.SubType == 1 ? (IsUnicodeSet(C.CharSetName) ? dtNText : dtText) : dtImage;
    else if (t == dtVarChar && FromIB &&
             (IsUnicodeSet(C.CharSetName) || (C.CharSetName.empty() && IsUnicodeSet(MasterCharSet))))
        C.DataType = dtNVarChar;
    if (t == dtBlob) C.SubType = 0;
    ClearForServer(C);
}

std::string DefaultConstraintSource(const std::string& D) {
    const std::string up = Upper(TrimText(D));
    if (up == "CURRENT_TIMESTAMP" || up == "CURRENT_DATE") return "(getdate())";
    if (!D.empty() && D[0] == '(') return StripEnclosingParentheses(D);
    if (!D.empty() && D[0] == '-') return "((" + D + "))";
    return "(" + D + ")";
}

std::string UserTypeText(const TFldData& C) {
    std::string s = C.DataType == dtInteger ? std::string("INT") : std::string(DataTypeName(C.DataType));
    const uint8_t t = C.DataType;
    // The length or precision is part of the type; without it a VARCHAR is one character.
    if (t == dtChar || t == dtVarChar || t == dtNChar || t == dtNVarChar)
        s += C.CharLength == -1 ? std::string("(MAX)") : "(" + std::to_string(C.CharLength) + ")";
    if ((t == dtNumeric || t == dtDecimal) && C.Precision != 0)
        s += "(" + std::to_string(C.Precision) + (C.Scale ? "," + std::to_string(C.Scale) : std::string()) + ")";
    return s;
}

void ConvertFieldTypeToASA(TFldData& C) {
    const uint8_t t = C.DataType;
    if (t == dtDoublePrecision)
        C.DataType = dtDouble;
    else if (t == dtBlob) {
        const bool unicode = Upper(TrimText(C.CharSetName)) == "UNICODE_FSS";
        C.DataType = C.SubType == 1 ? (unicode ? dtNText : CodeOf("LONG VARCHAR")) : CodeOf("LONG BINARY");
        C.SubType = 0;
    }
    ClearForServer(C);
    C.SetSource({});
}

// ---- PostgreSQL ----

void ConvertFieldTypeToPG(TFldData& C) {
    C.CharSetName.clear();
    C.CollationName.clear();
    C.SetSource({});
    const uint8_t t = C.DataType;
    if (t == dtVarChar2)
        C.DataType = dtVarChar;
    else if (t == CodeOf("LONGTEXT"))
        C.DataType = dtText;
    else if (t == dtBlob) {
        C.DataType = C.SubType == 1 ? dtText : CodeOf("BYTEA");
        C.SubType = 0;
    } else if (t == dtNumber) {
        // An integer NUMBER keeps every digit it can hold.
        if (C.Scale != 0 || C.Precision == 0 || C.Precision > 18)
            C.DataType = dtNumeric;
        else
            C.DataType = C.Precision > 9 ? dtBigInt : dtInteger;
    }
    if (C.DataType != dtNumeric && C.DataType != dtDecimal) C.Precision = C.Scale = 0;
}

// ---- the comparer's converters ----

namespace {

void RemoveKinds(TCmpObjSetType& Set, TCmpObjSetType& Removed, std::initializer_list<TCmpObjType> Kinds) {
    for (TCmpObjType k : Kinds)
        if (Set.Contains(k)) {
            Set.Exclude(k);
            Removed.Include(k);
        }
}

} // namespace

void TQuarnel::RemoveComparedKinds(std::initializer_list<TCmpObjType> Kinds) {
    RemoveKinds(CompareObjects, FRemovedKinds, Kinds);
}

void TQuarnel::RestoreComparedKinds() {
    CompareObjects = TCmpObjSetType(CompareObjects.Bits() | FRemovedKinds.Bits());
    FRemovedKinds = {};
}

namespace {

std::string Lower(std::string S) {
    for (char& c : S) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return S;
}

template <class K>
std::vector<K*> ObjectsOf(TCustomObjs& Objs, TObjListKind Kind) {
    std::vector<K*> r;
    const TDbObjList& list = Objs.List(Kind);
    for (int i = 0; i < list.Count(); ++i)
        if (auto* o = dynamic_cast<K*>(list.Obj(i))) r.push_back(o);
    return r;
}

// The start every converter shares: its message, the kinds the target's dialect has no form
// for taken out of the compared set; the master, or nullptr when a side is missing.
TCustomObjs* BeginConversion(TQuarnel& Q, const char* Message, std::initializer_list<TCmpObjType> Kinds) {
    TCustomObjs* master = Q.GetMasterObjs();
    if (!master || !Q.GetTargetObjs()) return nullptr;
    Q.DoLogNextLine(Message);
    Q.RemoveComparedKinds(Kinds);
    return master;
}

// The master speaks the target's dialect from here on: every object filed under its new key.
void FinishConversion(TCustomObjs& Master, TServerType Type, const TConvertLog& Log) {
    Master.SetServerType(Type);
    RekeyAll(Master, Log);
}

// MSSQL has no SET NULL or SET DEFAULT before 2005; a rule it cannot keep becomes none (logged).
void FixForeignKeyRules(TCtrData& C, bool Oldest, const TConvertLog& Log) {
    for (uint8_t* rule : {&C.UpdateRule, &C.DeleteRule})
        if (Oldest && (*rule == raSetNull || *rule == raSetDefault)) {
            Log("Foreign key " + C.GetDisplayName() + ": its rule is not kept by the target's server");
            *rule = raNone;
        }
}

} // namespace

void TQuarnel::ConvertToIB() {
    TCustomObjs* master =
        BeginConversion(*this, "Convert master-database to IB/FB-database...",
                        {coFunction, coView, coProcedure, coTrigger, coGrant, coDefault, coCtrDefault});
    if (!master) return;
    const TCustomObjs* target = GetTargetObjs();
    const TConvertLog log = [this](const std::string& Text) { DoLogNextLine(Text); };
    const TIBSQLServerVersionType version = target->IBServerOptions.SQLServerVersion;
    const std::string unicode = UnicodeCharSetForIB(version);
    const bool fromMSSQL = master->ServerType() == stMSSQL;

    TRenames domains, tables;
    std::map<std::string, TRenames> columns;  // by the table's old name
    auto columnsOf = [&](const std::string& Table) -> const TRenames& {
        static const TRenames none;
        if (auto it = columns.find(Table); it != columns.end()) return it->second;
        for (const auto& [name, renames] : columns)
            if (Upper(name) == Upper(Table)) return renames;
        return none;
    };

    TUniqueNames domainNames("Domain", log);
    const TDbObjList& domainList = master->List(olDomains);
    for (int i = 0; i < domainList.Count(); ++i) {
        auto* d = dynamic_cast<TDmnData*>(domainList.Obj(i));
        if (!d) continue;
        const std::string name = domainNames.Take(d->Name);
        domains.Add(d->Name, name);
        d->Name = name;
        d->Schema.clear();
        if (!d->TypeField) continue;
        ConvertFieldTypeToIB(*d->TypeField, fromMSSQL, unicode, version, log);
        // An XML schema collection holds XML text.
        if (d->IsXmlSchemaCollection()) SetBlob(*d->TypeField, 1, unicode);
    }

    std::map<std::string, TTblData*> tablesByName;  // by the new name
    TUniqueNames tableNames("Table", log);
    const TDbObjList& tableList = master->List(olTables);
    for (int i = 0; i < tableList.Count(); ++i) {
        auto* t = dynamic_cast<TTblData*>(tableList.Obj(i));
        if (!t) continue;
        const std::string oldName = t->Name;
        t->Name = tableNames.Take(oldName);
        t->Schema.clear();
        tables.Add(oldName, t->Name);
        tablesByName[t->Name] = t;
        TRenames& renames = columns[oldName];
        TUniqueNames columnNames("Column", log);
        for (int c = 0; c < t->GetColumnCount(); ++c) {
            TFldData& col = *t->Column(c);
            const std::string oldColumn = col.Name;
            col.Name = columnNames.Take(oldColumn);
            renames.Add(oldColumn, col.Name);
            if (!col.OwnerName.empty()) col.OwnerName = t->Name;
            const bool sysName =
                col.DataType == dtSysName || (col.DataType == dtDomain && Upper(col.DomainName) == "SYSNAME");
            if (fromMSSQL && sysName) {
                // A type of its own now: no domain name may stand in for it.
                col.DomainName.clear();
                col.SetDialect().DomainSchema.clear();
                SetVarChar(col, dtVarChar, 256, unicode);
            }
            if (col.DataType == dtDomain) {
                col.DomainName = domains.Of(col.DomainName);
                col.SetDialect().DomainSchema.clear();
            }
            ConvertFieldTypeToIB(col, fromMSSQL, unicode, version, log);
        }
    }

    TUniqueNames indexNames("Index", log);
    const TDbObjList& indexList = master->List(olIndices);
    for (int i = 0; i < indexList.Count(); ++i) {
        auto* x = dynamic_cast<TIdxData*>(indexList.Obj(i));
        if (!x) continue;
        // Index names are the table's own in some dialects, the database's in InterBase/Firebird.
        x->Name = indexNames.Take(x->Name);
        x->Schema.clear();
        RenameEntries(x->Fields, columnsOf(x->TableName));
        x->TableName = tables.Of(x->TableName);
    }

    TUniqueNames constraintNames("Constraint", log);
    const TDbObjList& constraintList = master->List(olConstraints);
    for (int i = 0; i < constraintList.Count(); ++i) {
        auto* c = dynamic_cast<TCtrData*>(constraintList.Obj(i));
        if (!c) continue;
        if (!c->Name.empty()) c->Name = constraintNames.Take(c->Name);
        c->Schema.clear();
        RenameEntries(c->Fields, columnsOf(c->TableName));
        RenameEntries(c->RefFields, columnsOf(c->RefTableName));
        const std::string table = tables.Of(c->TableName);
        c->TableName = table;
        c->RefTableName = tables.Of(c->RefTableName);
        c->RefSchema.clear();
        if (c->ConstraintType != ctDefault || c->Fields.Count() == 0) continue;
        // A default constraint becomes its column's default and writes nothing of its own.
        if (auto it = tablesByName.find(table); it != tablesByName.end())
            if (TFldData* col = it->second->ColumnByName(c->Fields[0]))
                col->DefaultValue = ConvertDefaultToIB(c->Source(), version, ColumnLabel(*col), log);
        c->NoScript = true;
    }

    FinishConversion(*master, stInterBase, log);
}


void TQuarnel::ConvertToMySQL() {
    TCustomObjs* master =
        BeginConversion(*this, "Convert master-database to MySQL-database...",
                        {coDomain, coFunction, coGenerator, coException, coView, coProcedure, coTrigger, coRole,
                         coGrant});
    if (!master) return;
    const TConvertLog log = [this](const std::string& Text) { DoLogNextLine(Text); };
    const bool fromIB = master->ServerType() == stInterBase;
    TRenames tables;
    std::map<std::string, TTblData*> byName;
    for (TTblData* t : ObjectsOf<TTblData>(*master, olTables)) {
        const std::string name = GetMySQLName(Lower(t->Name));
        tables.Add(t->Name, name);
        t->Name = name;
        byName[name] = t;
        bool timestampUsed = false;
        for (int i = 0; i < t->GetColumnCount(); ++i) {
            TFldData& c = *t->Column(i);
            c.Name = GetMySQLName(c.Name);
            c.OwnerName = t->Name;
            c.SetSource({});
            if (TFldData* d = c.DataType == dtDomain ? c.GetDomainType() : nullptr) {
                c.DataType = d->DataType;
                c.CharLength = d->CharLength;
                c.FieldLength = d->FieldLength;
                c.Precision = d->Precision;
                c.Scale = d->Scale;
                c.Nullable = d->Nullable;
                c.CharSetName = d->CharSetName;
                c.CollationName = d->CollationName;
                if (c.DefaultValue.empty()) c.DefaultValue = d->DefaultValue;
            }
            c.DomainName.clear();
            c.CharSetName.clear();
            c.CollationName.clear();
            ConvertFieldTypeToMySQL(c, fromIB, timestampUsed);
            if (!c.DefaultValue.empty()) c.DefaultValue = ConvertDefaultToMySQL(c, c.GetDefault(), timestampUsed);
        }
    }
    for (TDbObj* v : ObjectsOf<TDbObj>(*master, olViews)) v->Name = GetMySQLName(v->Name);
    const std::vector<TCtrData*> constraints = ObjectsOf<TCtrData>(*master, olConstraints);
    for (auto it = constraints.rbegin(); it != constraints.rend(); ++it) {
        TCtrData& c = **it;
        // The tables and columns were renamed: their constraints follow them.
        c.TableName = tables.Of(c.TableName);
        c.RefTableName = tables.Of(c.RefTableName);
        for (TStringList* names : {static_cast<TStringList*>(&c.Fields), static_cast<TStringList*>(&c.RefFields)})
            for (int i = 0; i < names->Count(); ++i) names->SetString(i, GetMySQLName((*names)[i]));
        if (c.ConstraintType != ctPrimaryKey) continue;
        c.Name.clear();
        if (c.Fields.Count() != 1) continue;
        if (auto t = byName.find(c.TableName); t != byName.end())
            if (TFldData* col = t->second->ColumnByName(c.Fields[0]); col && col->DataType == dtInteger)
                col->Nullable = false;
    }
    for (TIdxData* x : ObjectsOf<TIdxData>(*master, olIndices)) {
        x->TableName = tables.Of(x->TableName);
        for (int i = 0; i < x->Fields.Count(); ++i) x->Fields.SetString(i, GetMySQLName(x->Fields[i]));
        if (!x->IsDescending) continue;
        for (int i = 0; i < x->Fields.Count(); ++i)
            if (TFldData* c = x->Fields.Column(i)) c->IndexOrder = c->IndexOrder == 2 ? 1 : 2;
        x->IsDescending = false;
    }
    FinishConversion(*master, stMySQL, log);
}

void TQuarnel::ConvertToMSSQL() {
    TCustomObjs* master =
        BeginConversion(*this, "Convert master-database to MSSQL-database...",
                        {coFunction, coGenerator, coException, coProcedure, coTrigger, coGrant, coRoleGrant,
                         coUserGrant, coObjGrant});
    if (!master) return;
    const TConvertLog log = [this](const std::string& Text) { DoLogNextLine(Text); };
    const bool fromIB = master->ServerType() == stInterBase;
    const std::string charSet = master->IBServerOptions.DBCharSet();
    for (TDmnData* d : ObjectsOf<TDmnData>(*master, olDomains)) {
        if (!d->TypeField) continue;
        ConvertFieldTypeToMSSQL(*d->TypeField, fromIB, charSet);
        d->SetDescription({});
        d->BaseType = UserTypeText(*d->TypeField);
    }
    for (TTblData* t : ObjectsOf<TTblData>(*master, olTables)) {
        for (int i = 0; i < t->GetColumnCount(); ++i) {
            TFldData& c = *t->Column(i);
            ConvertFieldTypeToMSSQL(c, fromIB, charSet);
            if (c.DefaultValue.empty()) continue;
            // MSSQL keeps a column's default as a constraint of its own.
            auto* d = new TCtrData(master);
            d->SetConstraintType(ctDefault);
            d->Schema = t->Schema;
            d->SetTableName(t->Name);
            d->AddField(c.Name);
            d->SetSource(DefaultConstraintSource(c.GetDefault()));
            master->AddDbObject(d);
            c.DefaultValue.clear();
        }
        t->SetDescription({});
    }
    for (TIdxData* x : ObjectsOf<TIdxData>(*master, olIndices)) x->IsDescending = false;
    const bool oldest = GetTargetObjs()->MSSQLServerOptions.SQLServerVersion == st_MSSQL2000;
    for (TCtrData* c : ObjectsOf<TCtrData>(*master, olConstraints)) {
        if (c->ConstraintType == ctPrimaryKey) c->IsClustered = true;
        if (c->ConstraintType == ctForeignKey) FixForeignKeyRules(*c, oldest, log);
    }
    FinishConversion(*master, stMSSQL, log);
}

void TQuarnel::ConvertToASA() {
    TCustomObjs* master =
        BeginConversion(*this, "Convert master-database to Sybase-database...",
                        {coFunction, coGenerator, coException, coView, coProcedure, coTrigger, coGrant});
    if (!master) return;
    const TConvertLog log = [this](const std::string& Text) { DoLogNextLine(Text); };
    // Names compare without regard to case from here on.
    master->SetServerType(stASA);
    for (TDmnData* d : ObjectsOf<TDmnData>(*master, olDomains)) {
        d->SetDbOwner("DBA");
        if (!d->TypeField) continue;
        ConvertFieldTypeToASA(*d->TypeField);
        d->SetDescription({});
        d->BaseType = UserTypeText(*d->TypeField);
    }
    std::map<std::string, TTblData*> byName;
    for (TTblData* t : ObjectsOf<TTblData>(*master, olTables)) {
        t->SetDbOwner("DBA");
        byName[Upper(t->Name)] = t;
        for (int i = 0; i < t->GetColumnCount(); ++i) ConvertFieldTypeToASA(*t->Column(i));
    }
    for (TIdxData* x : ObjectsOf<TIdxData>(*master, olIndices)) {
        x->SetDbOwner("DBA");
        x->IsDescending = false;
    }
    for (TCtrData* c : ObjectsOf<TCtrData>(*master, olConstraints)) {
        c->SetDbOwner("DBA");
        if (c->ConstraintType == ctPrimaryKey) c->IsClustered = true;
        if (c->ConstraintType == ctForeignKey) {
            c->RefOwner = "DBA";
            FixForeignKeyRules(*c, false, log);
            c->RoleName = c->Name;
            c->Name.clear();
        }
        const auto table = byName.find(Upper(c->TableName));
        if (c->ConstraintType != ctUnique || table == byName.end()) continue;
        // The key's columns become NOT NULL and follow the table's column order.
        TStringList ordered;
        for (int i = 0; i < table->second->GetColumnCount(); ++i) {
            TFldData* col = table->second->Column(i);
            for (int f = 0; f < c->Fields.Count(); ++f)
                if (Upper(c->Fields[f]) == Upper(col->Name)) {
                    col->Nullable = false;
                    ordered.Add(c->Fields[f]);
                }
        }
        if (ordered.Count() == c->Fields.Count()) {
            c->Fields.ClearColumns();
            for (int i = 0; i < ordered.Count(); ++i) c->AddField(ordered[i]);
        }
    }
    FinishConversion(*master, stASA, log);
}

void TQuarnel::ConvertToPostgreSQL() {
    TCustomObjs* master =
        BeginConversion(*this, "Convert master-database to PostgreSQL-database...",
                        {coFunction, coGenerator, coException, coView, coProcedure, coTrigger, coRole, coGrant,
                         coRoleGrant, coUserGrant, coObjGrant});
    if (!master) return;
    const TConvertLog log = [this](const std::string& Text) { DoLogNextLine(Text); };
    master->SetServerType(stASA);
    // A name that needs no quotes is written in lower case; any other keeps its spelling.
    auto pgName = [](const std::string& Name) { return ASAQuoteName(Name) == Name ? Lower(Name) : Name; };
    auto pgNames = [&](TStringList& Names) {
        for (int i = 0; i < Names.Count(); ++i) Names.SetString(i, pgName(Names[i]));
    };
    for (TDmnData* d : ObjectsOf<TDmnData>(*master, olDomains)) {
        d->Name = pgName(d->Name);
        if (d->TypeField) ConvertFieldTypeToPG(*d->TypeField);
    }
    for (TTblData* t : ObjectsOf<TTblData>(*master, olTables)) {
        if (ASAQuoteName(t->Name) == t->Name) {
            t->Name = Lower(t->Name);
            if (t->Schema.empty()) t->Schema = "public";
        }
        for (int i = 0; i < t->GetColumnCount(); ++i) {
            TFldData& c = *t->Column(i);
            c.Name = pgName(c.Name);
            c.OwnerName = pgName(c.OwnerName);
            c.DomainName = pgName(c.DomainName);
            ConvertFieldTypeToPG(c);
            const std::string up = Upper(TrimText(c.GetDefault()));
            if (up == "CURRENT_TIMESTAMP" || up == "'NOW'") c.DefaultValue = "current_timestamp";
            if (up == "CURRENT_DATE" || up == "'TODAY'") c.DefaultValue = "current_date";
        }
    }
    for (TIdxData* x : ObjectsOf<TIdxData>(*master, olIndices)) {
        x->Name = pgName(x->Name);
        x->TableName = pgName(x->TableName);
        x->IsDescending = false;
        pgNames(x->Fields);
    }
    for (TCtrData* c : ObjectsOf<TCtrData>(*master, olConstraints)) {
        if (c->Schema.empty()) c->Schema = "public";
        for (std::string* n : {&c->Name, &c->TableName, &c->RefTableName})
            if (ASAQuoteName(*n) == *n) *n = Lower(*n);
        pgNames(c->Fields);
        pgNames(c->RefFields);
    }
    FinishConversion(*master, stPostgreSQL, log);
}

} // namespace qnl
