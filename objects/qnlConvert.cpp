// The comparer's conversion of a master of another dialect into the target's; see qnlConvert.h.
#include "objects/qnlConvert.h"

#include "core/qnlDBStructure.h"
#include "objects/qnlComp_Ctr.h"
#include "objects/qnlComp_Dmn.h"
#include "objects/qnlComp_Idx.h"
#include "objects/qnlComp_Tbl.h"
#include "objects/qnlQuarnel.h"

#include <cctype>
#include <map>
#include <set>

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
    C.SubTypeName.clear();
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
        list.SetSorted(false);
        for (int i = 0; i < list.Count(); ++i) list.SetString(i, list.Obj(i)->GetKeyName());
        list.SetSorted(true);
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

void TQuarnel::ConvertToIB() {
    TCustomObjs* master = GetMasterObjs();
    TCustomObjs* target = GetTargetObjs();
    if (!master || !target) return;
    DoLogNextLine("Convert master-database to IB/FB-database...");
    RemoveComparedKinds({coFunction, coView, coProcedure, coTrigger, coGrant, coDefault, coCtrDefault});
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
            const bool sysName = col.DataType == dtSysName || (col.DataType == dtDomain && Upper(col.DomainName) == "SYSNAME");
            if (fromMSSQL && sysName) {
                // A type of its own now: no domain name may stand in for it.
                col.DomainName.clear();
                col.DomainSchema.clear();
                SetVarChar(col, dtVarChar, 256, unicode);
            }
            if (col.DataType == dtDomain) {
                col.DomainName = domains.Of(col.DomainName);
                col.DomainSchema.clear();
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

    master->SetServerType(stInterBase);
    RekeyAll(*master, log);
}

} // namespace qnl
