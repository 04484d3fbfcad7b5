// Implements the column alteration of every dialect; see qnlComp_TblAlter.h.
#include "objects/qnlComp_TblAlter.h"

#include "core/qnlSQL_Exec.h"
#include "objects/qnlComp_Trg.h"

#include <initializer_list>
#include <vector>

namespace qnl {

namespace {

const char* const CRLF = "\r\n";

bool CodeIn(uint8_t Code, std::initializer_list<uint8_t> Codes) {
    for (uint8_t c : Codes)
        if (c == Code) return true;
    return false;
}

std::string Num(int32_t V) { return std::to_string(V); }

TTblData* AsTable(TDbObj* Obj) { return dynamic_cast<TTblData*>(Obj); }

// The type a column stands for: its domain's type column when it is domain-typed.
TFldData* TypeColumn(TFldData& Column) {
    return Column.DataType == dtDomain ? Column.GetDomainType() : &Column;
}

// ---- rating a type change ----

bool IsExactNumeric(uint8_t Code) { return CodeIn(Code, {dtSmallInt, dtInteger, dtBigInt, dtNumeric, dtDecimal}); }
bool IsApproximate(uint8_t Code) { return CodeIn(Code, {dtFloat, dtDoublePrecision, dtDouble}); }
bool IsDateTime(uint8_t Code) { return CodeIn(Code, {dtDate, dtTime, dtTimeStamp}); }

// The integer type that stores an exact numeric: its own code, or for NUMERIC and DECIMAL the
// base type read from a database, else the one its precision needs.
uint8_t StorageType(const TFldData& C) {
    if (!CodeIn(C.DataType, {dtNumeric, dtDecimal})) return C.DataType;
    if (C.BaseDataType != 0) return C.BaseDataType;
    if (C.Precision != 0 && C.Precision <= 4) return dtSmallInt;
    if (C.Precision != 0 && C.Precision <= 9) return dtInteger;
    return dtBigInt;
}

int32_t ScaleOf(const TFldData& C) { return CodeIn(C.DataType, {dtNumeric, dtDecimal}) ? C.Scale : 0; }

// Digits before the decimal point; a plain integer holds what its NUMERIC of full precision does.
int32_t IntegerDigits(const TFldData& C) {
    int32_t precision = CodeIn(C.DataType, {dtNumeric, dtDecimal}) ? C.Precision : 0;
    if (precision == 0) {
        switch (StorageType(C)) {
        case dtSmallInt: precision = 4; break;
        case dtInteger: precision = 9; break;
        default: precision = 18; break;
        }
    }
    return precision - ScaleOf(C);
}

// The characters a value of the type needs as text; Firebird 3 refuses a shorter CHAR or
// VARCHAR (measured on 3.0.11). 0 for types without such a bound.
int32_t TextWidth(const TFldData& C) {
    if (IsExactNumeric(C.DataType)) {
        int32_t width = 20;
        switch (StorageType(C)) {
        case dtSmallInt: width = 6; break;
        case dtInteger: width = 11; break;
        case dtDoublePrecision: width = 24; break;
        default: break;
        }
        return width + (ScaleOf(C) > 0 ? 1 : 0);
    }
    switch (C.DataType) {
    case dtFloat: return 15;
    case dtDoublePrecision:
    case dtDouble: return 24;
    case dtDate: return 10;
    case dtTime: return 13;
    case dtTimeStamp: return 25;
    default: return 0;
    }
}

// Changes the rules by type families do not catch: what Firebird 3 refuses (BOOLEAN to or from
// anything, TIME to a date, a text too short for the value, a NUMERIC losing integer digits) and
// what it accepts but loses on the way (TIMESTAMP to DATE or TIME, fewer decimals, an exact
// decimal to a floating type).
bool RefusedOrLossy(const TFldData& N, const TFldData& O) {
    const uint8_t n = N.DataType, o = O.DataType;
    if ((n == dtBoolean) != (o == dtBoolean)) return true;
    if (o == dtTimeStamp && (n == dtDate || n == dtTime)) return true;
    if ((o == dtTime && (n == dtDate || n == dtTimeStamp)) || (o == dtDate && n == dtTime)) return true;
    if (IsDateTime(o) != IsDateTime(n) && (IsExactNumeric(o) || IsApproximate(o) || IsExactNumeric(n) ||
                                           IsApproximate(n)))
        return true;
    if (CodeIn(n, {dtVarChar, dtChar}) && !CodeIn(o, {dtVarChar, dtChar}) && N.CharLength < TextWidth(O)) return true;
    if (IsExactNumeric(o) && IsExactNumeric(n))
        return ScaleOf(N) < ScaleOf(O) || IntegerDigits(N) < IntegerDigits(O);
    if (IsExactNumeric(o) && IsApproximate(n)) return !(StorageType(O) == dtSmallInt && ScaleOf(O) == 0);
    return false;
}

// The rating by type families.
int FamilyRating(const TFldData& N, const TFldData& O) {
    if (N.DataType == O.DataType && N.BaseDataType == O.BaseDataType) {
        if (!CodeIn(N.DataType, {dtVarChar, dtChar})) return 0;
        return N.CharLength > O.CharLength ? 1 : N.CharLength < O.CharLength ? -1 : 0;
    }
    auto effective = [](const TFldData& C) {
        return CodeIn(C.DataType, {dtNumeric, dtDecimal}) && C.BaseDataType != 0 ? C.BaseDataType : C.DataType;
    };
    const uint8_t n = effective(N);
    switch (effective(O)) {
    case dtDoublePrecision:
    case dtBlob: return -1;
    case dtInteger: return CodeIn(n, {dtFloat, dtDoublePrecision, dtSmallInt}) ? -1 : 1;
    case dtBigInt: return CodeIn(n, {dtInteger, dtFloat, dtDoublePrecision, dtSmallInt}) ? -1 : 1;
    case dtFloat: return n == dtDoublePrecision ? 1 : -1;
    case dtVarChar:
    case dtChar: return CodeIn(n, {dtVarChar, dtChar}) ? 1 : -1;
    case dtSmallInt: return CodeIn(n, {dtInteger, dtBigInt, dtFloat, dtDoublePrecision}) ? 1 : -1;
    default: return 1;
    }
}

} // namespace

int CompareColumnTypes(TFldData& NewColumn, TFldData& OldColumn) {
    TFldData* n = TypeColumn(NewColumn);
    TFldData* o = TypeColumn(OldColumn);
    if (!n || !o) return 1;
    int rating = FamilyRating(*n, *o);
    if (rating >= 0 && n->GetTypeSQL() != o->GetTypeSQL() && RefusedOrLossy(*n, *o)) rating = -1;
    if (ArrayBoundsDiffer(n->ArrayBounds, o->ArrayBounds)) rating = -1;
    return rating;
}

bool CharSetChangeKeepsRows(bool WasText, const std::string& OldSet, const std::string& NewSet) {
    if (!WasText) return true;
    const std::string from = CharSetOrNone(OldSet), to = CharSetOrNone(NewSet);
    if (from == to) return true;
    return (to == "UTF8" || to == "UNICODE_FSS") && from != "NONE" && from != "OCTETS";
}

bool IBCharSetsDiffer(const TCustomQuarnel& Q, const TFldData& M, const TFldData& T) {
    const TCustomObjs* target = Q.GetTargetObjs();
    if (!target || target->ServerType() != stInterBase || !Q.IBCompareOptions().FldCharsetCompare) return false;
    return M.HasOwnCharSet() && T.HasOwnCharSet() && !SameCharSet(M.GetCharSet(), T.GetCharSet());
}

bool IBUseSysTableUpdates(const TCustomQuarnel& Q) {
    const TCustomObjs* target = Q.GetTargetObjs();
    if (!target || !Q.IBCompareOptions().AllowDataTypeConversion) return false;
    return !IsFirebird3OrLater(target->IBServerOptions.SQLServerVersion);
}

// ---- InterBase/Firebird ----

namespace {

// One pair of columns under alteration, with what every step reads.
class TIBColumnAlter {
public:
    TIBColumnAlter(TCustomQuarnel& AQ, TTblData& ATable, TFldData& AM, TFldData& AT)
        : Q(AQ), Exec(*AQ.SQLExec()), Table(ATable), M(AM), T(AT), Target(*AQ.GetTargetObjs()),
          Version(Target.IBServerOptions.SQLServerVersion), Allow(AQ.IBCompareOptions().AllowDataTypeConversion),
          FieldCharsets(AQ.IBCompareOptions().FldCharsetCompare), SysTables(IBUseSysTableUpdates(AQ)),
          OldServer(Before(Version, st_InterBase_6x)), TName(ATable.Name), CName(AM.Name) {}

    TCustomQuarnel& Q;
    TCustomSQLExec& Exec;
    TTblData& Table;
    TFldData& M;
    TFldData& T;
    TCustomObjs& Target;
    const TIBSQLServerVersionType Version;
    const bool Allow;
    const bool FieldCharsets;
    const bool SysTables;
    const bool OldServer;
    const std::string TName;
    const std::string CName;

    void Statement(const std::string& Text, TStatementKind Kind = skStatement, TStatementAction Action = saAlter) {
        Exec.AddStatement(Text, Kind, CName, dboField, Action, TName);
    }
    void Comment(const std::string& Text) { Exec.AddComment(M.MakeComment(Text)); }
    void MarkViews() { Table.MarkDependentViews(); }

    std::string QuotedColumn() { return Q.QuoteName(M.GetOwnerName()) + "." + Q.QuoteName(CName); }
    // "ALTER TABLE T ALTER COLUMN C TYPE t" with the master's type.
    std::string AlterTypeText() {
        return "ALTER TABLE " + Q.QuoteName(M.GetOwnerName()) + " ALTER COLUMN " + Q.QuoteName(CName) + " TYPE " +
               M.GetTypeSQL();
    }
    // The subquery naming the column's field source, with the table and column as literals.
    std::string FieldSourceWhere(bool ColumnFirst) {
        std::string s = "  WHERE RDB$FIELD_NAME=(SELECT RDB$FIELD_SOURCE FROM RDB$RELATION_FIELDS\r\n  WHERE ";
        if (ColumnFirst) return s + "RDB$FIELD_NAME=" + QuotedStr(CName) + " AND RDB$RELATION_NAME=" + QuotedStr(TName) + ")\r\n";
        return s + "RDB$RELATION_NAME=" + QuotedStr(TName) + " AND  RDB$FIELD_NAME=" + QuotedStr(CName) + ")\r\n";
    }
    // A type change the script does not make: the comment says so and the column keeps its type.
    void Refused(const std::string& Text) {
        Comment(Text);
        T.KeepsType = true;
    }
    void SafeConversionWarning() {
        Refused("WARNING:\r\nCannot perform safe conversion of " + QuotedColumn() + " datatype from " + T.GetTypeSQL() +
                " to " + M.GetTypeSQL());
    }
    void NotChanged(const std::string& What, const std::string& From, const std::string& To) {
        Comment("WARNING: " + What + " of " + QuotedColumn() + " is not changed (" + From + " -> " + To +
                "): the target's server has no statement for it");
    }

    void Run(bool& BlankLineNeeded);
    void TypeDDL();
    void TypeBySysTables();

private:
    // Set once the column has the master's type, character set and collation through a
    // temporary domain.
    bool ThroughDomain = false;

    bool NeedsDomainRoute();
    bool DomainRouteKeepsRows();
    void TypeThroughDomain();
    void TypeChain(bool& BlankLineNeeded);
    void CharacterSetNotChanged();
    void Collation();
    void Blob();
    void Nullability(bool& BlankLineNeeded);
    void NotNullNameNotChanged();
    void Default();
    void OneSideDomain();
    void FillNulls();
};

void TIBColumnAlter::Run(bool& BlankLineNeeded) {
    T.KeepsType = false;
    // The server has no statement that adds or removes an identity; an identity column is NOT
    // NULL and cannot be made nullable, and a column that stays plain would refuse NOT NULL over
    // its NULLs: the nullability stays with the identity.
    const bool identityKept = M.Identity != T.Identity && M.GetServerType() == stInterBase;
    TypeChain(BlankLineNeeded);
    CharacterSetNotChanged();
    Collation();
    Blob();
    if (!identityKept) {
        Nullability(BlankLineNeeded);
        NotNullNameNotChanged();
    }
    Default();
    OneSideDomain();
    if (identityKept) {
        std::string text = "WARNING: the identity of " + QuotedColumn() + " is not changed (" +
                           (T.Identity ? "identity -> no identity" : "no identity -> identity") +
                           "): the target's server has no statement for it";
        if (!M.IsComputed() && M.Nullable != T.Nullable)
            text += std::string("; its nullability stays with it (") + (T.Nullable ? "NULL" : "NOT NULL") + " -> " +
                    (M.Nullable ? "NULL" : "NOT NULL") + " not made)";
        Comment(text);
    }
}

// The checks of which only the first that applies acts: type, domain, computed source, length,
// character set.
void TIBColumnAlter::TypeChain(bool& BlankLineNeeded) {
    const bool mDomain = M.DataType == dtDomain, tDomain = T.DataType == dtDomain;
    const bool typesDiffer = M.GetTypeSQL() != T.GetTypeSQL();
    // A column turning computed or plain is dropped and added (below), never retyped.
    if (typesDiffer && !M.IsComputed() && !T.IsComputed() && !mDomain) {
        const int rating = CompareColumnTypes(M, T);
        if (!OldServer) {
            const bool floatAndTimestamp =
                (CodeIn(M.DataType, {dtFloat, dtDoublePrecision, dtDouble}) && T.DataType == dtTimeStamp) ||
                (CodeIn(T.DataType, {dtFloat, dtDoublePrecision, dtDouble}) && M.DataType == dtTimeStamp);
            if (floatAndTimestamp || (Allow && rating < 0))
                TypeBySysTables();
            else if (rating >= 0)
                TypeDDL();
            else
                SafeConversionWarning();
        } else if (Allow || rating >= 0) {
            TypeBySysTables();
        } else {
            SafeConversionWarning();
        }
        return;
    }
    if (mDomain && tDomain && M.DomainName != T.DomainName) {
        if (CompareColumnTypes(M, T) < 0 && !(Allow && SysTables)) {
            SafeConversionWarning();
        } else if (!OldServer && (!Allow || !SysTables)) {
            TypeDDL();
        } else if (SysTables) {
            Statement("UPDATE RDB$RELATION_FIELDS SET RDB$FIELD_SOURCE=" + QuotedStr(M.DomainName) +
                      " WHERE RDB$FIELD_NAME=" + QuotedStr(CName) + " AND RDB$RELATION_NAME=" + QuotedStr(TName) + CRLF);
        } else {
            SafeConversionWarning();
        }
        MarkViews();
        return;
    }
    if (M.Source() != T.Source() || M.ComputedTypeDiffers(T)) {
        Comment("Alter Field (Computed)...");
        BlankLineNeeded = true;
        T.DoDrop();
        M.SetExists(false);
        M.CreateDependDef();
        MarkViews();
        return;
    }
    if (M.CharLength != T.CharLength && !M.IsComputed() && CodeIn(M.DataType, {dtVarChar, dtChar, dtCString}) &&
        T.DataType == M.DataType) {
        Comment("Alter Field (Length): from " + Num(T.CharLength) + " to " + Num(M.CharLength) + "...");
        BlankLineNeeded = true;
        if (!OldServer)
            TypeDDL();
        else if (SysTables)
            Statement("UPDATE RDB$FIELDS SET RDB$FIELD_LENGTH=" + Num(M.FieldLength) + ", RDB$CHARACTER_LENGTH=" +
                      Num(M.CharLength) + CRLF + FieldSourceWhere(false));
        else
            SafeConversionWarning();
        MarkViews();
        return;
    }
    const std::string mSet = M.GetCharSet(), tSet = T.GetCharSet();
    if (FieldCharsets && !SameCharSet(mSet, tSet) && CodeIn(M.DataType, {dtVarChar, dtChar, dtBlob, dtCString}) && SysTables) {
        T.DropDependents();
        if (mSet.empty() || mSet == "NONE") {
            if (tSet != "NONE")
                Statement("UPDATE RDB$FIELDS SET RDB$Character_Set_ID = NULL\r\n  WHERE RDB$FIELD_NAME=(SELECT "
                          "RDB$FIELD_SOURCE FROM RDB$RELATION_FIELDS\r\n  WHERE RDB$RELATION_NAME=" +
                          QuotedStr(TName) + " and RDB$FIELD_NAME=" + QuotedStr(CName) + ")" + CRLF);
        } else {
            Statement("UPDATE RDB$FIELDS SET RDB$Character_Set_ID =\r\n(Select C.Rdb$Character_Set_ID from "
                      "Rdb$Character_Sets C\r\nwhere C.Rdb$Character_Set_Name=" +
                      QuotedStr(mSet) + ")" + CRLF + FieldSourceWhere(true));
        }
        MarkViews();
        return;
    }
}

// Firebird 3 keeps a column's character set and collation through ALTER COLUMN TYPE, and gives a
// column that becomes text the set NONE, whatever the statement names; a column typed by a
// domain takes the domain's. The column is typed by a temporary domain of the master's type, set
// and collation, then by its plain type again (which keeps them), and the domain is dropped.
// Neither needs the system tables, and the server converts the rows as it reads them.
bool TIBColumnAlter::NeedsDomainRoute() {
    if (SysTables || !IsFirebird3OrLater(Version) || ThroughDomain || T.KeepsType || M.IsComputed() ||
        T.IsComputed() || !CodeIn(M.DataType, {dtVarChar, dtChar}))
        return false;
    const TFldData* tType = TypeColumn(T);
    if (!tType || tType->DataType == dtBlob) return false;
    const std::string mSet = M.GetCharSet();
    if (!tType->IsCharType()) return !SameCharSet(mSet, "NONE");
    return FieldCharsets && (!SameCharSet(mSet, T.GetCharSet()) || M.CollationName != T.CollationName);
}

bool TIBColumnAlter::DomainRouteKeepsRows() {
    const TFldData* tType = TypeColumn(T);
    return !tType || CharSetChangeKeepsRows(tType->IsCharType(), T.GetCharSet(), M.GetCharSet());
}

void TIBColumnAlter::TypeThroughDomain() {
    ThroughDomain = true;
    T.DropDependents();
    TFldData type(M.Container, nullptr);
    type.Assign(M);
    type.DefaultValue.clear();
    type.Nullable = true;
    type.SetRare().NotNullName.clear();
    type.SetRare().CheckSource.clear();
    type.Identity = false;
    std::string definition;
    {
        const TFullDefinition whole;
        definition = type.GetColumnSQL();
    }
    const std::string domain = Q.QuoteName("QTMCHARSET");
    const std::string alter = "ALTER TABLE " + Q.QuoteName(M.GetOwnerName()) + " ALTER COLUMN " + Q.QuoteName(CName) + " TYPE ";
    Statement("CREATE DOMAIN " + domain + " AS " + definition, skStatement, saCreate);
    Statement(alter + domain);
    Statement(AlterTypeText());
    Statement("DROP DOMAIN " + domain, skStatement, saDrop);
    MarkViews();
}

void TIBColumnAlter::CharacterSetNotChanged() {
    if (SysTables || !FieldCharsets || M.IsComputed() || !CodeIn(M.DataType, {dtVarChar, dtChar, dtBlob, dtCString}))
        return;
    const std::string mSet = M.GetCharSet(), tSet = T.GetCharSet();
    // A target column without a name has its database's default, NONE included.
    if (!T.IsCharType() || SameCharSet(mSet, tSet) || ThroughDomain) return;
    if (NeedsDomainRoute() && DomainRouteKeepsRows())
        TypeThroughDomain();
    else
        NotChanged("the character set", CharSetOrNone(tSet), CharSetOrNone(mSet));
}

void TIBColumnAlter::Collation() {
    if (!FieldCharsets || M.CollationName == T.CollationName || M.IsComputed() || !M.IsCharType()) return;
    if (!SysTables) {
        if (ThroughDomain) return;
        if (NeedsDomainRoute() && DomainRouteKeepsRows())
            TypeThroughDomain();
        else
            NotChanged("the collation", T.CollationName.empty() ? "default" : T.CollationName,
                       M.CollationName.empty() ? "default" : M.CollationName);
        return;
    }
    const std::string where = "  WHERE RDB$FIELD_NAME=" + QuotedStr(CName) + " AND RDB$RELATION_NAME=" + QuotedStr(TName) + CRLF;
    if (M.CollationName.empty())
        Statement("UPDATE RDB$RELATION_FIELDS SET RDB$Collation_ID = Null\r\n" + where);
    else
        Statement("UPDATE RDB$RELATION_FIELDS SET RDB$Collation_ID =\r\n(Select C.Rdb$Collation_ID from Rdb$Collations "
                  "C\r\nwhere C.Rdb$Collation_Name=" +
                  QuotedStr(M.CollationName) + CRLF +
                  " and C.Rdb$Character_Set_ID = (select Rdb$Character_Set_ID from Rdb$character_Sets where "
                  "Rdb$character_set_name = " +
                  QuotedStr(M.GetCharSet()) + "))" + CRLF + where);
    MarkViews();
}

void TIBColumnAlter::Blob() {
    if (M.DataType != dtBlob || T.DataType != dtBlob) return;
    if (M.SubType != T.SubType) {
        if (SysTables)
            Statement("UPDATE RDB$FIELDS SET RDB$FIELD_SUB_TYPE = " + Num(M.SubType) + CRLF + FieldSourceWhere(true));
        else
            NotChanged("the blob sub-type", Num(T.SubType), Num(M.SubType));
    }
    if (M.SegmentLength != T.SegmentLength && M.SegmentLength != 0) {
        if (SysTables)
            Statement("UPDATE RDB$FIELDS SET RDB$SEGMENT_LENGTH = " + Num(M.SegmentLength) + CRLF + FieldSourceWhere(true));
        else
            NotChanged("the blob segment length", Num(T.SegmentLength), Num(M.SegmentLength));
    }
}

// The master's default, or its domain's: what a row without a value holds.
std::string EffectiveDefault(TFldData& Column) {
    std::string d = Column.GetDefault();
    if (d.empty())
        if (TFldData* t = Column.DataType == dtDomain ? Column.GetDomainType() : nullptr) d = t->GetDefault();
    return d;
}

// Rows holding NULL would make the server refuse NOT NULL; the master's default is what such
// a row holds once the column has it, so they get that value first. The update is committed:
// the table must not be in use by an open transaction when its metadata changes.
void TIBColumnAlter::FillNulls() {
    const std::string def = EffectiveDefault(M);
    if (def.empty()) return;
    const std::string column = Q.QuoteName(CName);
    WriteUpdateWithoutTriggers(Target, Exec, TName, [&] {
        Statement("UPDATE " + Q.QuoteName(TName) + " SET " + column + " = " + def + " WHERE " + column + " IS NULL",
                  skUpdate, saUpdate);
    });
}

// No statement adds a named NOT NULL constraint to a column that exists: SET NOT NULL gets one
// named by the server.
void TIBColumnAlter::NotNullNameNotChanged() {
    if (M.Nullable || M.IsComputed() || M.Rare().NotNullName == (T.Nullable ? std::string() : T.Rare().NotNullName)) return;
    NotChanged("the name of the NOT NULL constraint", T.Nullable || T.Rare().NotNullName.empty() ? "none" : T.Rare().NotNullName,
               M.Rare().NotNullName.empty() ? "none" : M.Rare().NotNullName);
}

void TIBColumnAlter::Nullability(bool& BlankLineNeeded) {
    if (M.Nullable == T.Nullable || M.IsComputed()) return;
    Comment("Alter Field (Null / Not Null)...");
    if (M.GetServerType() != stInterBase) return;
    if (AtLeast(Version, st_Firebird_30)) {
        BlankLineNeeded = true;
        if (!M.Nullable) FillNulls();
        Statement("ALTER TABLE " + Q.QuoteName(TName) + " ALTER " + Q.QuoteName(CName) +
                  (M.Nullable ? " DROP NOT NULL" : " SET NOT NULL") + CRLF);
    } else if (SysTables) {
        BlankLineNeeded = true;
        if (!M.Nullable) FillNulls();
        Statement("UPDATE RDB$RELATION_FIELDS SET RDB$NULL_FLAG = " + std::string(M.Nullable ? "NULL" : "1") +
                  " WHERE RDB$FIELD_NAME=" + QuotedStr(CName) + " AND RDB$RELATION_NAME=" + QuotedStr(TName) + CRLF);
    } else {
        NotChanged("NOT NULL", T.Nullable ? "NULL" : "NOT NULL", M.Nullable ? "NULL" : "NOT NULL");
    }
}

void TIBColumnAlter::Default() {
    const std::string mDefault = M.GetDefault();
    if (mDefault == T.GetDefault() || M.IsComputed() || M.GetServerType() != stInterBase) return;
    if (AtLeast(Version, st_Firebird_21)) {
        T.DropDependents();
        Exec.AddStatement("ALTER TABLE " + Q.QuoteName(TName) + " ALTER COLUMN " + Q.QuoteName(CName) + " " +
                              (mDefault.empty() ? std::string("DROP DEFAULT") : "SET DEFAULT " + mDefault),
                          skStatement, CName, dboField, saAlter, M.GetOwnerName());
        return;
    }
    if (!SysTables) {
        NotChanged("the default", T.GetDefault().empty() ? "none" : T.GetDefault(), mDefault.empty() ? "none" : mDefault);
        return;
    }
    // The server of these versions has no statement for a column default: a temporary domain
    // carries the new default and the column copies it from the system table.
    TFldData temp(M.Container, nullptr);
    temp.Assign(M);
    if (TFldData* domainType = M.GetDomainType()) temp.Assign(*domainType);
    temp.SetName("QTMXXX");
    temp.DefaultValue = mDefault;
    const std::string where = "WHERE RDB$FIELD_NAME=" + QuotedStr(CName) + " AND RDB$RELATION_NAME=" + QuotedStr(TName);
    Statement("CREATE DOMAIN " + temp.GetCreateSQL());
    Statement("UPDATE RDB$RELATION_FIELDS SET RDB$DEFAULT_SOURCE=\r\n(SELECT RDB$DEFAULT_SOURCE FROM RDB$FIELDS where "
              "RDB$FIELD_NAME='QTMXXX'),\r\nRDB$DEFAULT_VALUE=\r\n(SELECT RDB$DEFAULT_VALUE FROM RDB$FIELDS where "
              "RDB$FIELD_NAME='QTMXXX')\r\n" +
              where);
    Statement("DROP DOMAIN QTMXXX");
    if (M.DataType != dtDomain)
        Statement("UPDATE RDB$FIELDS SET RDB$DEFAULT_VALUE = NULL,\r\nRDB$DEFAULT_SOURCE = '' WHERE RDB$FIELD_NAME "
                  "=\r\n(SELECT RDB$FIELD_SOURCE FROM RDB$RELATION_FIELDS\r\nWHERE RDB$FIELD_NAME = " +
                  QuotedStr(CName) + " AND RDB$RELATION_NAME = " + QuotedStr(TName) + ")");
}

// A master column typed by a domain against a plain target column.
void TIBColumnAlter::OneSideDomain() {
    if (M.DataType != dtDomain || T.DataType == dtDomain) return;
    TFldData* domainType = M.GetDomainType();
    if (!domainType) return;
    const int rating = CompareColumnTypes(*domainType, T);
    if (Allow) {
        if (rating >= 0 && !OldServer)
            TypeDDL();
        else
            TypeBySysTables();
    } else if (rating >= 0) {
        if (OldServer)
            TypeBySysTables();
        else
            TypeDDL();
    } else {
        Refused("DataType conversion not supported: \r\n" + AlterTypeText());
    }
}

void TIBColumnAlter::TypeDDL() {
    if (M.GetTypeSQL() == T.GetTypeSQL()) return;
    TFldData* mType = TypeColumn(M);
    TFldData* tType = TypeColumn(T);
    auto isBlob = [](const TFldData* C) { return C && C->DataType == dtBlob; };
    if (isBlob(&M) || isBlob(&T) || isBlob(mType) || isBlob(tType)) {
        Refused("BLOB-datatype conversion not supported:\r\n" + AlterTypeText());
        return;
    }
    auto length = [](const TFldData* C) {
        return C && !C->IsComputed() && CodeIn(C->DataType, {dtVarChar, dtChar, dtCString}) ? C->CharLength : 0;
    };
    const int32_t newLength = length(mType), oldLength = length(tType);
    if (newLength >= 1 && oldLength >= 1 && newLength < oldLength) {
        if (Allow)
            TypeBySysTables();
        else
            Refused("String-length truncation not supported:\r\n" + AlterTypeText());
        return;
    }
    T.DropDependents();
    if (Allow && M.DataType == dtSmallInt && T.DataType == dtInteger) {
        TypeBySysTables();
        return;
    }
    const std::string text = AlterTypeText();
    if (ArrayBoundsDiffer(M.ArrayBounds, T.ArrayBounds)) {
        Refused("Array conversion not supported:\r\n" + text);
        return;
    }
    // The character set and collation come along where they change (and the rows keep).
    if (NeedsDomainRoute() && DomainRouteKeepsRows()) {
        TypeThroughDomain();
        return;
    }
    Statement(text);
}

void TIBColumnAlter::TypeBySysTables() {
    const bool mDomain = M.DataType == dtDomain, tDomain = T.DataType == dtDomain;
    if (!SysTables) {
        if (M.GetTypeSQL() != T.GetTypeSQL() && !M.IsComputed()) SafeConversionWarning();
        return;
    }
    const std::string where = "WHERE RDB$FIELD_NAME=" + QuotedStr(CName) + " AND RDB$RELATION_NAME=" + QuotedStr(TName);
    if (mDomain && !tDomain) {
        Statement("Update rdb$Relation_Fields set Rdb$Field_Source = " + QuotedStr(M.DomainName) + CRLF + where);
        MarkViews();
        return;
    }
    if (tDomain && !mDomain) {
        // The column gets a private type again: a temporary column of the master's type lends
        // its field source.
        TFldData temp(M.Container, nullptr);
        temp.Assign(M);
        temp.OwnerName = M.GetOwnerName();
        temp.SetName("QTMTEMP");
        Statement("Alter Table " + Q.QuoteName(TName) + " ADD " + temp.GetCreateSQL());
        Statement("Update Rdb$Relation_Fields Set Rdb$Field_Source=\r\n(Select R.Rdb$Field_Source from "
                  "Rdb$Relation_Fields R\r\nwhere R.Rdb$Relation_Name = " +
                  QuotedStr(TName) + " and R.Rdb$Field_Name='QTMTEMP')" + CRLF + where);
        Statement("Alter Table " + Q.QuoteName(TName) + " DROP QTMTEMP");
        MarkViews();
        return;
    }
    if (mDomain || M.GetTypeSQL() == T.GetTypeSQL() || M.IsComputed()) return;

    const std::string owner = M.GetOwnerName();
    const std::string W = "  WHERE RDB$FIELD_NAME=(SELECT RDB$FIELD_SOURCE FROM RDB$RELATION_FIELDS";
    const std::string W2 = "  WHERE RDB$FIELD_NAME = (SELECT RDB$FIELD_SOURCE FROM RDB$RELATION_FIELDS";
    const std::string whereColumn = "  WHERE RDB$FIELD_NAME=" + QuotedStr(CName) + " AND RDB$RELATION_NAME=" + QuotedStr(owner) + ")";
    const std::string whereColumn2 =
        "  WHERE RDB$FIELD_NAME = " + QuotedStr(CName) + " AND RDB$RELATION_NAME = " + QuotedStr(owner) + ")" + CRLF;
    Comment("Alter Field: " + M.QuoteName(owner) + "." + M.QuoteName(CName) + ": (" + T.GetColumnSQL() + " -> " +
            M.GetColumnSQL() + ")");
    auto setType = [&](const std::string& Assignments) {
        return "UPDATE RDB$FIELDS SET\r\n" + Assignments + CRLF + W + CRLF + whereColumn;
    };
    switch (M.DataType) {
    case dtDoublePrecision: Statement(setType(" RDB$FIELD_LENGTH=8, RDB$FIELD_TYPE=27")); break;
    case dtFloat: Statement(setType(" RDB$FIELD_LENGTH=4, RDB$FIELD_TYPE=10") + CRLF); break;
    case dtBigInt: Statement(setType(" RDB$FIELD_LENGTH=8, RDB$FIELD_TYPE=16")); break;
    case dtInteger: Statement(setType(" RDB$FIELD_LENGTH=4, RDB$FIELD_TYPE=8")); break;
    case dtSmallInt: Statement(setType(" RDB$FIELD_LENGTH=2, RDB$FIELD_TYPE=7")); break;
    case dtNumeric:
    case dtDecimal: {
        std::string f = "16", l = "8";
        if (M.Precision <= 4) {
            f = "7";
            l = "2";
        } else if (M.Precision <= 9) {
            f = "8";
            l = "4";
        } else if (!Target.IBServerOptions.SupportsDialect3()) {
            f = "27";
        }
        Statement("UPDATE RDB$FIELDS SET RDB$FIELD_LENGTH=" + l + ", RDB$FIELD_TYPE=" + f + "," + CRLF +
                  "RDB$CHARACTER_LENGTH=0, RDB$FIELD_PRECISION=" + Num(M.Precision) + ", RDB$FIELD_SCALE=" +
                  Num(-M.Scale) + ", RDB$FIELD_SUB_TYPE=" + (M.DataType == dtNumeric ? "1" : "2") + CRLF + W + CRLF +
                  whereColumn);
        break;
    }
    case dtVarChar:
    case dtChar:
        if (M.FieldLength != 0)
            Statement("UPDATE RDB$FIELDS SET\r\n RDB$FIELD_LENGTH=" + Num(M.FieldLength) + ", RDB$CHARACTER_LENGTH=" +
                      Num(M.CharLength) + "," + CRLF + " RDB$FIELD_TYPE=" + (M.DataType == dtVarChar ? "37" : "14") +
                      CRLF + W + CRLF + whereColumn + CRLF);
        break;
    case dtBlob:
        Statement("UPDATE RDB$FIELDS\r\n SET RDB$FIELD_LENGTH=8,\r\n RDB$FIELD_TYPE=261, RDB$FIELD_SUB_TYPE=" +
                  Num(M.SubType) + CRLF + W + CRLF + whereColumn + CRLF);
        break;
    case dtDate:
    case dtTime:
    case dtTimeStamp: {
        std::string f = "35", l = "8";
        if (M.DataType == dtTime) {
            f = "13";
            l = "4";
        } else if (M.DataType == dtDate && Target.IBServerOptions.SQLDialect != 1) {
            f = "12";
            l = "4";
        }
        Statement("UPDATE RDB$FIELDS\r\n SET RDB$FIELD_LENGTH=" + l + "," + CRLF + "  RDB$FIELD_TYPE = " + f + CRLF + W2 +
                  CRLF + whereColumn2);
        break;
    }
    default: break;
    }
    const bool mNumeric = CodeIn(M.DataType, {dtNumeric, dtDecimal}), tNumeric = CodeIn(T.DataType, {dtNumeric, dtDecimal});
    if (mNumeric && tNumeric) {
        if (M.Scale != T.Scale)
            Statement("UPDATE RDB$FIELDS SET RDB$FIELD_SCALE = " + Num(-M.Scale) + CRLF + W2 + CRLF + whereColumn2);
        if (M.Precision != T.Precision)
            Statement("UPDATE RDB$FIELDS SET RDB$FIELD_PRECISION = " + Num(M.Precision) + CRLF + W2 + CRLF + whereColumn2);
    } else if (tNumeric && !mNumeric) {
        // A former NUMERIC keeps reading its scale from the system table: without clearing it,
        // an INTEGER made of NUMERIC(9,2) would still divide every value by 100.
        Statement("UPDATE RDB$FIELDS SET RDB$FIELD_PRECISION = 0, RDB$FIELD_SCALE = 0" +
                  std::string(IsExactNumeric(M.DataType) || IsApproximate(M.DataType) ? ", RDB$FIELD_SUB_TYPE = 0" : "") +
                  CRLF + W2 + CRLF + whereColumn2);
    }
    if (ArrayBoundsDiffer(M.ArrayBounds, T.ArrayBounds)) {
        if (M.ArrayBounds.size() != T.ArrayBounds.size()) {
            Comment("Array conversion - not supported: " + Q.QuoteName(owner) + "(" + Q.QuoteName(CName) + ")");
        } else {
            for (size_t i = 0; i < M.ArrayBounds.size(); ++i) {
                if (M.ArrayBounds[i] == T.ArrayBounds[i]) continue;
                Statement("update rdb$field_dimensions set rdb$lower_bound = " + Num(M.ArrayBounds[i].first) +
                          ", rdb$upper_bound = " + Num(M.ArrayBounds[i].second) + CRLF +
                          "where rdb$field_name = (select rdb$field_source from rdb$relation_fields" + CRLF +
                          "where rdb$relation_name = " + QuotedStr(owner) + " and rdb$field_name = " + QuotedStr(CName) +
                          ")" + CRLF + "and rdb$dimension = " + std::to_string(i));
            }
        }
    }
    MarkViews();
}

} // namespace

void IBAlterColumn(TCustomQuarnel& Q, TTblData& Table, TFldData& M, TFldData& T, bool& BlankLineNeeded) {
    if (!Q.SQLExec() || !Q.GetTargetObjs()) return;
    TIBColumnAlter(Q, Table, M, T).Run(BlankLineNeeded);
}

void IBAlterColumnTypeDDL(TCustomQuarnel& Q, TTblData& Table, TFldData& M, TFldData& T) {
    if (!Q.SQLExec() || !Q.GetTargetObjs()) return;
    TIBColumnAlter(Q, Table, M, T).TypeDDL();
}

void IBAlterColumnTypeBySysTables(TCustomQuarnel& Q, TTblData& Table, TFldData& M, TFldData& T) {
    if (!Q.SQLExec() || !Q.GetTargetObjs()) return;
    TIBColumnAlter(Q, Table, M, T).TypeBySysTables();
}

// ---- the other dialects ----

namespace {

void AddAlter(TCustomQuarnel& Q, TTblData& Table, TFldData& M, const std::string& Text) {
    Q.SQLExec()->AddStatement(Text, skStatement, M.Name, dboField, saAlter, Table.Name);
}

bool TypesDiffer(TFldData& M, TFldData& T) { return M.GetTypeSQL() != T.GetTypeSQL(); }

} // namespace

void OracleAlterColumn(TCustomQuarnel& Q, TTblData& Table, TFldData& M, TFldData& T) {
    const std::string head = "ALTER TABLE " + M.GetOwnerName() + " MODIFY(" + M.Name;
    if (TypesDiffer(M, T)) {
        AddAlter(Q, Table, M, head + " " + M.GetTypeSQL() + ")");
        Table.MarkDependentViews();
    }
    if (M.GetDefault() != T.GetDefault())
        AddAlter(Q, Table, M, head + " DEFAULT " + (M.GetDefault().empty() ? "NULL" : M.GetDefault()) + ")");
}

void MSSQLAlterColumn(TCustomQuarnel& Q, TTblData& Table, TFldData& M, TFldData& T) {
    TCustomSQLExec& exec = *Q.SQLExec();
    // The default comes first, so that the rows holding NULL receive it.
    if (!M.Nullable && T.Nullable)
        for (int i = 0; i < M.UsedBy.Count(); ++i)
            if (TDbObj* c = M.UsedBy.Items(i)->Ref; c && c->GetConstraintType() == 5) c->CreateDependDef();
    const std::string column = Q.QuoteName(M.Name);
    if (M.GetDefault() != T.GetDefault()) {
        T.DropDependents();
        if (!M.GetDefault().empty())
            AddAlter(Q, Table, M, "ALTER TABLE " + Q.QuoteName(M.GetOwnerName()) + " ADD DEFAULT " + M.GetDefault() +
                                      " FOR " + column);
        Table.MarkDependentViews();
    }
    if (TypesDiffer(M, T) || M.CollationName != T.CollationName || M.Nullable != T.Nullable) {
        T.DropDependents();
        if (M.IsComputed() || T.IsComputed()) {
            T.DoDrop();
            M.CreateDependDef();
            Table.MarkDependentViews();
        } else {
            const std::string table = M.Owner ? M.Owner->GetQualifiedName() : M.GetOwnerName();
            std::string text = "ALTER TABLE " + table + " ALTER COLUMN " + column + " " + M.GetTypeSQL();
            if (!M.CollationName.empty()) text += " COLLATE " + M.CollationName;
            text += M.Nullable ? " NULL" : " NOT NULL";
            if (MSSQLCanConvertType(M, T)) {
                AddAlter(Q, Table, M, text);
                Table.MarkDependentViews();
            } else {
                exec.AddComment("/* Datatype conversion is not allowed: " + T.GetTypeSQL() + " -> " + M.GetTypeSQL() +
                                CRLF + text + " */");
            }
        }
    }
    if (M.Dialect().RowGuidCol != T.Dialect().RowGuidCol) {
        AddAlter(Q, Table, M, "ALTER TABLE " + Q.QuoteName(M.GetOwnerName()) + " ALTER COLUMN " + column +
                                  (M.Dialect().RowGuidCol ? " ADD ROWGUIDCOL" : " DROP ROWGUIDCOL"));
        Table.MarkDependentViews();
    }
}

void MySQLAlterColumn(TCustomQuarnel& Q, TTblData& Table, TFldData& M, TFldData& T) {
    const std::string definition = M.GetColumnSQL();
    if (definition == T.GetColumnSQL()) return;
    AddAlter(Q, Table, M, "ALTER TABLE " + Q.QuoteName(Table.Name) + " MODIFY COLUMN " + Q.QuoteName(M.Name) + " " +
                              definition);
}

void MySQLMoveColumn(TCustomQuarnel& Q, TTblData& Master, TTblData& Target) {
    if (Master.GetColumnCount() != Target.GetColumnCount()) return;
    for (int i = 0; i < Master.GetColumnCount(); ++i) {
        TFldData* m = Master.Column(i);
        if (m->Name == Target.Column(i)->Name) continue;
        AddAlter(Q, Master, *m, "ALTER TABLE " + Master.Name + " MODIFY COLUMN " + m->Name + " " + m->GetColumnSQL() +
                                    (i == 0 ? std::string(" FIRST") : " AFTER " + Master.Column(i - 1)->Name));
    }
}

void PGAlterColumn(TCustomQuarnel& Q, TTblData& Table, TFldData& M, TFldData& T) {
    const std::string head = "ALTER TABLE " + Table.GetQualifiedName() + " ALTER COLUMN " + Q.QuoteName(T.Name);
    if (TypesDiffer(M, T)) {
        T.DropDependents();
        AddAlter(Q, Table, M, head + " TYPE " + M.GetTypeSQL());
    }
    if (M.GetDefault() != T.GetDefault()) {
        T.DropDependents();
        AddAlter(Q, Table, M, head + (M.GetDefault().empty() ? std::string(" DROP DEFAULT") : " SET DEFAULT " + M.GetDefault()));
    }
    if (M.Nullable != T.Nullable) {
        T.DropDependents();
        AddAlter(Q, Table, M, head + (M.Nullable ? " DROP NOT NULL" : " SET NOT NULL"));
    }
}

void ASAAlterColumn(TCustomQuarnel& Q, TTblData& Table, TFldData& M, TFldData& T) {
    const std::string table =
        (Table.DbOwner().empty() ? std::string() : Q.QuoteName(Table.DbOwner()) + ".") + Q.QuoteName(Table.Name);
    const std::string column = Q.QuoteName(T.Name);
    const std::string modify = "ALTER TABLE " + table + " MODIFY " + column;
    if (TypesDiffer(M, T)) AddAlter(Q, Table, M, modify + " " + M.GetTypeSQL());
    if (M.Nullable != T.Nullable) AddAlter(Q, Table, M, modify + (M.Nullable ? " NULL" : " NOT NULL"));
    const std::string def = M.GetDefault();
    if (def == T.GetDefault()) return;
    if (def.empty())
        AddAlter(Q, Table, M, "ALTER TABLE " + table + " ALTER " + column + " DROP DEFAULT");
    else if (!T.GetDefault().empty())
        AddAlter(Q, Table, M, modify + " DEFAULT " + def);
    else
        AddAlter(Q, Table, M, "ALTER TABLE " + table + " ALTER " + column + " SET DEFAULT " + def);
}

void ASEAlterColumnDefault(TCustomQuarnel& Q, TTblData& Table, TFldData& M, TFldData& T) {
    if (M.GetDefault() == T.GetDefault()) return;
    AddAlter(Q, Table, M, "ALTER TABLE " + Q.QuoteName(Table.Name) + " REPLACE " + Q.QuoteName(T.Name) + " DEFAULT " +
                              (M.GetDefault().empty() ? "NULL" : M.GetDefault()));
}

// ---- MSSQL implicit conversions ----

namespace {

struct TMSSQLConversionRow {
    std::initializer_list<uint8_t> From;
    std::initializer_list<uint8_t> To;
};

// By old type: the new types MSSQL converts it to in place. A row's own members convert among
// themselves.
const TMSSQLConversionRow MSSQLConversions[] = {
    {{dtInteger, dtBigInt, 8, dtSmallInt, 71, dtNumeric, dtDecimal},
     {dtInteger, dtBigInt, 8, dtSmallInt, 71, dtNumeric, dtDecimal, dtFloat, dtReal, dtVarChar, dtChar, dtTimeStamp, 23,
      25, dtBinary, dtNChar, dtNVarChar, 73, 74, dtVarBinary, 81}},
    {{dtFloat, dtReal},
     {dtFloat, dtReal, dtInteger, dtBigInt, 8, dtVarChar, dtChar, 23, 25, dtBinary, dtNumeric, dtDecimal, dtNChar,
      dtNVarChar, dtSmallInt, 71, 73, 74, dtVarBinary, 81}},
    {{dtVarChar, dtChar},
     {dtVarChar, dtChar, dtInteger, dtBigInt, dtFloat, 8, dtReal, 23, 25, dtNumeric, dtDecimal, 48, dtNChar, dtNVarChar,
      52, dtSmallInt, 71, 77, 79, 81}},
    {{dtNChar, dtNVarChar},
     {dtNChar, dtNVarChar, dtInteger, dtBigInt, dtFloat, 8, dtReal, dtVarChar, dtChar, 23, 25, dtNumeric, dtDecimal, 48,
      52, dtSmallInt, 71, 79, 81}},
    {{dtTimeStamp},
     {dtInteger, dtBigInt, 8, dtVarChar, dtChar, 23, 25, dtBinary, dtNumeric, dtDecimal, dtSmallInt, 71, 73, 74,
      dtVarBinary, 77}},
    {{23, 25}, {23, 25, dtVarChar, dtChar, dtNChar, dtNVarChar, 81}},
    {{dtBinary, dtVarBinary},
     {dtBinary, dtVarBinary, dtInteger, dtBigInt, 8, dtVarChar, dtChar, dtTimeStamp, 23, 25, dtNumeric, dtDecimal,
      dtNChar, dtNVarChar, dtSmallInt, 71, 73, 74, 77, 79, 81}},
    {{48}, {dtVarChar, dtChar, 52}},
    {{52}, {48, dtNChar, dtNVarChar}},
    {{73, 74},
     {73, 74, dtInteger, dtBigInt, dtFloat, 8, dtReal, dtTimeStamp, 23, 25, dtBinary, dtNumeric, dtDecimal, dtSmallInt,
      71, dtVarBinary, 81}},
    {{77}, {dtTimeStamp, dtBinary, dtVarBinary}},
    {{79}, {dtVarChar, dtChar, dtBinary, dtNChar, dtNVarChar, dtVarBinary, 81}},
};

} // namespace

bool MSSQLCanConvertType(const TFldData& NewColumn, const TFldData& OldColumn) {
    if (NewColumn.DataType == OldColumn.DataType) return true;
    for (const TMSSQLConversionRow& row : MSSQLConversions)
        if (CodeIn(OldColumn.DataType, row.From)) return CodeIn(NewColumn.DataType, row.To);
    return false;
}

// ---- MSSQL table re-creation ----

namespace {

// "insert into Into(L)" CR LF "select L from From", L being the master's stored columns.
void CopyRows(TCustomSQLExec& Exec, TTblData& Table, const std::string& Into, const std::string& From) {
    std::string list;
    for (int i = 0; i < Table.GetColumnCount(); ++i)
        if (!Table.Column(i)->IsComputed()) list += (list.empty() ? "" : ", ") + Table.QuoteName(Table.Column(i)->Name);
    const bool identity = Table.HasIdentityColumn();
    if (identity) Exec.AddStatement("SET IDENTITY_INSERT " + Into + " ON", skStatement, Into, dboTable, saNone);
    Exec.AddStatement("insert into " + Into + "(" + list + ")" + CRLF + "select " + list + " from " + From, skInsert, Into,
                      dboTable, saInsert);
    if (identity) Exec.AddStatement("SET IDENTITY_INSERT " + Into + " OFF", skStatement, Into, dboTable, saNone);
}

void RecreateMSSQLTable(TCustomQuarnel& Q, TTblData& Table) {
    TCustomSQLExec& exec = *Q.SQLExec();
    const std::string name = Table.Name;
    const std::string original = Table.GetQualifiedName();
    Q.DoLogNextLine("ReCreate table (upd. column position): " + original);
    // The copy is the master's table under another name for the time its texts are written.
    Table.SetName("qnl$" + name);
    const std::string copy = Table.GetQualifiedName();
    exec.AddStatement(Table.GetCreateStatement(), skStatement, copy, dboTable, saCreate);
    const std::string dropCopy = Table.GetDropSQL();
    Table.Name = name;
    CopyRows(exec, Table, copy, original);
    if (auto* target = AsTable(Table.Counterpart)) target->DropForReplace();
    Table.CreateDependDef();
    CopyRows(exec, Table, original, copy);
    exec.AddStatement(dropCopy, skStatement, copy, dboTable, saDrop);
}

} // namespace

void WriteMSSQLRecreateTables(TCustomQuarnel& Q) {
    TCustomObjs* master = Q.GetMasterObjs();
    if (!master || !Q.SQLExec()) return;
    std::vector<TTblData*> tables;
    const TDbObjList& list = master->List(olTables);
    for (int i = 0; i < list.Count(); ++i)
        if (TTblData* t = AsTable(list.Obj(i)); t && t->NeedsReorder) tables.push_back(t);
    for (TTblData* t : tables) t->DropDependents();
    for (TTblData* t : tables) {
        RecreateMSSQLTable(Q, *t);
        t->NeedsReorder = false;
    }
}

// ---- the pass ----

void WriteAlterColumns(TCustomQuarnel& Q) {
    TCustomObjs* master = Q.GetMasterObjs();
    TCustomObjs* target = Q.GetTargetObjs();
    TCustomSQLExec* exec = Q.SQLExec();
    if (!master || !target || !exec) return;
    const TServerType type = target->ServerType();
    const bool descriptions = Q.CompareObjects.Contains(coDescription);
    bool blankLineNeeded = false;
    std::vector<TTblData*> altered;
    const TDbObjList& list = master->List(olTables);
    for (int i = 0; i < list.Count(); ++i) {
        TTblData* m = AsTable(list.Obj(i));
        TTblData* t = m ? AsTable(m->Counterpart) : nullptr;
        if (!t) continue;
        if (type == stMySQL && m->GetColumnCount() == t->GetColumnCount()) MySQLMoveColumn(Q, *m, *t);
        for (int c = 0; c < m->GetColumnCount(); ++c) {
            TFldData* mc = m->Column(c);
            TFldData* tc = t->ColumnByName(mc->Name);
            if (!tc) continue;
            if (mc->GetCreateSQL() != tc->GetCreateSQL() || IBCharSetsDiffer(Q, *mc, *tc)) {
                if (altered.empty() || altered.back() != m) altered.push_back(m);
                switch (type) {
                case stInterBase: IBAlterColumn(Q, *m, *mc, *tc, blankLineNeeded); break;
                case stASA: ASAAlterColumn(Q, *m, *mc, *tc); break;
                case stMySQL: MySQLAlterColumn(Q, *m, *mc, *tc); break;
                case stOracle: OracleAlterColumn(Q, *m, *mc, *tc); break;
                case stMSSQL: MSSQLAlterColumn(Q, *m, *mc, *tc); break;
                case stPostgreSQL: PGAlterColumn(Q, *m, *mc, *tc); break;
                case stASE: ASEAlterColumnDefault(Q, *m, *mc, *tc); break;
                default: break;  // DB2 and the others: the column stays as it is
                }
            }
            if (descriptions && mc->Description() != tc->Description()) exec->AddDescription(mc);
        }
    }
    // A column change drops the computed columns that read the column; the column passes have
    // run by now, so the table's computed phase adds them back here.
    for (TTblData* m : altered) {
        const TCreatePhase whole(*m, false);
        m->CreateDependDef();
    }
    if (blankLineNeeded) exec->AddComment(CRLF);
}

} // namespace qnl
