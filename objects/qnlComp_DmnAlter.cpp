// The InterBase/Firebird alteration of a domain both sides have (AlterDomain of qnlComp_Dmn.h):
// the existing target domain is changed aspect by aspect, by ALTER DOMAIN where the target's
// version has it, by updates of RDB$FIELDS (some through the temporary domain QTM$TEMP) where it
// has not and they are allowed, and by a comment line where neither can make the change.
#include "objects/qnlComp_Dmn.h"

#include "core/qnlCustomQuarnel.h"
#include "core/qnlSQL_Exec.h"
#include "objects/qnlComp_TblAlter.h"
#include "objects/qnlComp_Trg.h"

#include <utility>
#include <vector>

namespace qnl {

namespace {

const char* const CRLF = "\r\n";

std::string Num(int32_t V) { return std::to_string(V); }

bool IsText(const TFldData& F) {
    return F.DataType == dtVarChar || F.DataType == dtChar || F.DataType == dtCString;
}

class TIBDomainAlter {
public:
    TIBDomainAlter(TCustomQuarnel& AQ, TDmnData& AMaster, TDmnData& ATarget)
        : Q(AQ), Exec(*AQ.SQLExec()), MD(AMaster), TD(ATarget), M(*AMaster.TypeField), T(*ATarget.TypeField),
          Target(*AQ.GetTargetObjs()), Version(Target.IBServerOptions.SQLServerVersion),
          Allow(AQ.IBCompareOptions().AllowDataTypeConversion), FieldCharsets(AQ.IBCompareOptions().FldCharsetCompare),
          ReadOnlySysTables(IsFirebird3OrLater(Version)), Name(AMaster.Name), QName(AQ.QuoteName(AMaster.Name)) {}

    void Run();

private:
    TCustomQuarnel& Q;
    TCustomSQLExec& Exec;
    TDmnData& MD;
    TDmnData& TD;
    TFldData& M;
    TFldData& T;
    TCustomObjs& Target;
    const TIBSQLServerVersionType Version;
    const bool Allow;
    const bool FieldCharsets;
    // Firebird 3 and later refuse every update of their system tables.
    const bool ReadOnlySysTables;
    const std::string Name;
    const std::string QName;
    bool FDependentsDropped = false;
    bool FTypeWritten = false;
    bool FRowsAtRiskSaid = false;

    bool DDL() const { return AtLeast(Version, st_InterBase_6x); }
    void Statement(const std::string& Text, TStatementKind Kind = skStatement, TStatementAction Action = saAlter) {
        Exec.AddStatement(Text, Kind, Name, dboDomain, Action);
    }
    void Comment(const std::string& Text) { Exec.AddComment(MD.MakeComment(Text)); }
    void NotChanged(const std::string& What, const std::string& From, const std::string& To) {
        Comment("WARNING: " + What + " of domain " + QName + " is not changed (" + From + " -> " + To +
                "): the target's server has no statement for it");
    }
    void DropDependents() {
        if (!FDependentsDropped) TD.DropDependents();
        FDependentsDropped = true;
    }
    // The character set the domain is to have: the master's when character sets are compared,
    // else the target's own (a domain that becomes text takes the master's).
    std::string WantedCharSet() const {
        if (!M.IsCharType()) return {};
        if (FieldCharsets || !T.IsCharType()) return M.GetCharSet();
        return T.GetCharSet();
    }
    bool TypeDiffers() const {
        return M.GetTypeSQL() != T.GetTypeSQL() || (M.IsCharType() && !SameCharSet(WantedCharSet(), T.GetCharSet()));
    }
    // The rows of every column typed by the domain stay readable in the set it is to have.
    bool KeepsRows() const {
        return !M.IsCharType() || CharSetChangeKeepsRows(T.IsCharType(), T.GetCharSet(), WantedCharSet());
    }
    void RowsAtRisk();

    // Firebird 3: the domain with the master's type, the collation it is to keep or get and the
    // rest of its target definition, as a new domain that takes the old one's columns and name.
    bool CanReplace();
    void Replace(const std::string& Collation);
    void LengthOrType();
    void AlterDomainType();
    void AlterIBDomainType();
    void AlterIBDomainLength();
    void CharSetAndCollation();
    void AlterIBDomainBlob();
    void AlterIBDomainCheck();
    void ByTemporaryDomain(const std::string& Update);
    void AlterDomainDefault();
    void AlterIBDomainNullable();
    void FillNulls();
};

void TIBDomainAlter::Run() {
    LengthOrType();
    if (FieldCharsets) CharSetAndCollation();
    // A collation a type change lost where the domain could not be replaced: said on every
    // comparison, although collations are not compared.
    if (ReadOnlySysTables && !FieldCharsets && !FTypeWritten && M.IsCharType() && !M.CollationName.empty() &&
        T.CollationName.empty() && !CanReplace())
        Comment("WARNING: the collation " + M.CollationName + " of domain " + QName +
                " is missing on the target: a routine parameter typed by the domain keeps it from being replaced");
    if (M.DataType == dtBlob && T.DataType == dtBlob) AlterIBDomainBlob();
    if (M.Rare().CheckSource != T.Rare().CheckSource) {
        if (DDL()) {
            AlterIBDomainCheck();
        } else {
            Comment("Alter Domain: " + QName + " - Check(...)");
            ByTemporaryDomain("Update RDB$Fields set Rdb$Validation_Source =\r\n(Select Rdb$Validation_Source from "
                              "Rdb$Fields where Rdb$Field_Name='QTM$TEMP'),\r\nRdb$Validation_BLR =\r\n(Select "
                              "Rdb$Validation_BLR from Rdb$Fields where Rdb$Field_Name='QTM$TEMP')\r\nwhere "
                              "RDB$FIELD_NAME=" +
                              QuotedStr(Name));
        }
    }
    if (M.GetDefault() != T.GetDefault()) {
        if (DDL())
            AlterDomainDefault();
        else
            ByTemporaryDomain("Update RDB$Fields set Rdb$Default_Source =\r\n(Select Rdb$Default_Source from Rdb$Fields "
                              "where Rdb$Field_Name='QTM$TEMP'),\r\nRdb$Default_Value =\r\n(Select Rdb$Default_Value "
                              "from Rdb$Fields where Rdb$Field_Name='QTM$TEMP')\r\nwhere RDB$FIELD_NAME=" +
                              QuotedStr(Name));
    }
    if (M.Nullable != T.Nullable) AlterIBDomainNullable();
}

void TIBDomainAlter::LengthOrType() {
    if (M.CharLength != T.CharLength && IsText(M) && T.DataType == M.DataType) {
        if (!DDL()) {
            DropDependents();
            AlterIBDomainLength();
        } else if (M.CharLength < T.CharLength && Allow) {
            // Only the system tables can shorten a domain; nothing is dropped for a change that
            // cannot be written.
            if (AtLeast(Version, st_Firebird_30)) {
                NotChanged("the length", T.GetTypeSQL(), M.GetTypeSQL());
            } else {
                DropDependents();
                AlterIBDomainLength();
            }
        } else {
            AlterDomainType();
        }
        return;
    }
    if (DDL()) {
        AlterDomainType();
    } else if (M.GetTypeSQL() != T.GetTypeSQL()) {
        DropDependents();
        AlterIBDomainType();
    }
}

void TIBDomainAlter::AlterDomainType() {
    if (M.DataType == dtBlob && T.DataType == dtBlob) return;
    if (!TypeDiffers()) return;
    if (CompareColumnTypes(M, T) < 0) {
        Comment("WARNING:\r\nCannot perform safe conversion of domain " + QName + " datatype from " + T.GetTypeSQL() +
                " to " + M.GetTypeSQL());
        return;
    }
    if (ReadOnlySysTables && !KeepsRows()) {
        RowsAtRisk();
        return;
    }
    // ALTER DOMAIN ... TYPE gives the domain its character set's default collation, with no way
    // to name another.
    const std::string collation = FieldCharsets ? M.CollationName : T.CollationName;
    if (ReadOnlySysTables && !collation.empty() && M.IsCharType() && CanReplace()) {
        Replace(collation);
        return;
    }
    DropDependents();
    // Without a character set, Firebird 3 gives the domain the database's default one; the
    // domain's own is always named.
    std::string charset = WantedCharSet();
    // NONE is named too where the target's default will be another set.
    if (charset.empty() && M.IsCharType() && !SameCharSet(charset, M.RunDefaultCharSet())) charset = "NONE";
    Statement("ALTER DOMAIN " + QName + " TYPE " + M.GetTypeSQL() + (charset.empty() ? "" : " CHARACTER SET " + charset));
    FTypeWritten = true;
    if (ReadOnlySysTables && !collation.empty())
        Comment("WARNING: the collation " + collation + " of domain " + QName +
                " is lost: the type change gives the domain its character set's default collation");
}

// The domain stays as it is, type and collation included: each change of it would carry the set.
void TIBDomainAlter::RowsAtRisk() {
    if (FRowsAtRiskSaid) return;
    FRowsAtRiskSaid = true;
    const std::string from = CharSetOrNone(T.GetCharSet()), to = CharSetOrNone(WantedCharSet());
    Comment("WARNING: the character set of domain " + QName + " is not changed (" + from + " -> " + to +
            "): the server converts the rows of its columns only as it reads them, and a character " + to +
            " lacks would make its row unreadable" +
            (M.GetTypeSQL() != T.GetTypeSQL() ? "; its type stays " + T.GetTypeSQL() : std::string()));
}

// A routine parameter typed by the domain keeps it from being dropped: the domain is changed in
// place then. Table columns move; what reads them the passes drop and restore.
bool TIBDomainAlter::CanReplace() {
    if (!IsText(M) || !IsText(T)) return false;
    for (TObjListKind kind : {olProcedures, olUDFs}) {
        const TDbObjList& routines = Target.List(kind);
        for (int i = 0; i < routines.Count(); ++i) {
            TDbObj* r = routines.Obj(i);
            for (int p = 0; p < r->GetInputParamCount() + r->GetOutputParamCount(); ++p) {
                const bool input = p < r->GetInputParamCount();
                auto* f = dynamic_cast<TFldData*>(input ? r->GetInputParam(p) : r->GetOutputParam(p - r->GetInputParamCount()));
                if (f && SameText(f->DomainName, Name)) return false;
            }
        }
    }
    return true;
}

void TIBDomainAlter::Replace(const std::string& Collation) {
    DropDependents();
    TDmnData replacement(MD.Container);
    replacement.SetName("QTMDOMAIN");
    TFldData& type = *replacement.TypeField;
    type.Assign(M);
    // What the later steps compare and change stays the target's until they do.
    type.DefaultValue = T.DefaultValue;
    type.Nullable = T.Nullable;
    type.SetRare().CheckSource = T.Rare().CheckSource;
    type.CharSetName = WantedCharSet();
    type.CollationName = Collation;
    std::string text;
    {
        const TFullDefinition whole;
        text = replacement.GetCreateSQL();
    }
    const std::string temporary = Q.QuoteName(replacement.Name);
    Statement(text, skStatement, saCreate);
    const TDbObjList& tables = Target.List(olTables);
    for (int i = 0; i < tables.Count(); ++i) {
        TDbObj* table = tables.Obj(i);
        if (!table->GetExists()) continue;
        for (int c = 0; c < table->GetColumnCount(); ++c) {
            auto* column = dynamic_cast<TFldData*>(table->GetColumn(c));
            if (!column || column->DataType != dtDomain || !SameText(column->DomainName, Name) || !column->GetExists())
                continue;
            Exec.AddStatement("ALTER TABLE " + Q.QuoteName(table->Name) + " ALTER COLUMN " + Q.QuoteName(column->Name) +
                                  " TYPE " + temporary,
                              skStatement, column->Name, dboField, saAlter, table->Name);
        }
    }
    Statement("DROP DOMAIN " + QName, skStatement, saDrop);
    Statement("ALTER DOMAIN " + temporary + " TO " + QName);
    FTypeWritten = true;
}

void TIBDomainAlter::AlterIBDomainType() {
    const bool dates = (M.DataType == dtDate || M.DataType == dtTime || M.DataType == dtTimeStamp) &&
                       (T.DataType == dtDate || T.DataType == dtTime || T.DataType == dtTimeStamp);
    const bool numerics = (M.DataType == dtNumeric || M.DataType == dtDecimal) &&
                          (T.DataType == dtNumeric || T.DataType == dtDecimal);
    const std::string where = CRLF + std::string("  WHERE RDB$FIELD_NAME = ") + QuotedStr(Name);
    if (dates && Target.IBServerOptions.SQLDialect == 3) {
        const char* code = M.DataType == dtDate ? "12" : M.DataType == dtTime ? "13" : "35";
        Statement(std::string("UPDATE RDB$FIELDS SET RDB$FIELD_TYPE=") + code + where);
    } else if (numerics) {
        if (M.Scale != T.Scale) {
            Comment("Alter Domain: " + QName + " - scale conversion");
            Statement("UPDATE RDB$FIELDS SET RDB$FIELD_SCALE = " + Num(-M.Scale) + where);
        }
        if (M.Precision != T.Precision) {
            Comment("Alter Domain: " + QName + " - precision conversion");
            Statement("UPDATE RDB$FIELDS SET RDB$FIELD_PRECISION = " + Num(M.Precision) + where);
        }
    } else {
        NotChanged("the type", T.GetTypeSQL(), M.GetTypeSQL());
    }
}

void TIBDomainAlter::AlterIBDomainLength() {
    if (AtLeast(Version, st_Firebird_30) || !Allow) {
        NotChanged("the length", T.GetTypeSQL(), M.GetTypeSQL());
        return;
    }
    Statement("UPDATE RDB$FIELDS SET RDB$FIELD_LENGTH=" + Num(M.FieldLength) + ", RDB$CHARACTER_LENGTH=" +
              Num(M.CharLength) + CRLF + "  WHERE RDB$FIELD_NAME=" + QuotedStr(TD.Name));
}

void TIBDomainAlter::CharSetAndCollation() {
    // A character domain is compared by the set it has, its database's default included.
    const bool text = M.IsCharType() && T.IsCharType();
    const std::string mSet = text ? M.GetCharSet() : M.CharSetName;
    const bool setDiffers = text ? !SameCharSet(mSet, T.GetCharSet()) : M.CharSetName != T.CharSetName;
    const bool collationDiffers = M.CollationName != T.CollationName;
    if (AtLeast(Version, st_Firebird_30)) {
        // The type statement changes the character set and leaves the default collation (it
        // warns when that loses one); nothing else changes either. A replacement would carry
        // the new set too.
        if (!FTypeWritten && M.IsCharType() && !KeepsRows()) {
            RowsAtRisk();
            return;
        }
        if (setDiffers && !FTypeWritten && M.IsCharType())
            NotChanged("the character set", CharSetOrNone(T.GetCharSet()), CharSetOrNone(M.GetCharSet()));
        if (collationDiffers && !FTypeWritten && M.IsCharType()) {
            if (CanReplace())
                Replace(M.CollationName);
            else
                NotChanged("the collation", T.CollationName.empty() ? "default" : T.CollationName,
                           M.CollationName.empty() ? "default" : M.CollationName);
        }
        return;
    }
    const std::string where = CRLF + std::string("where Rdb$Field_Name=") + QuotedStr(Name);
    if (setDiffers) {
        if (SameCharSet(mSet, "NONE"))
            Statement("Update Rdb$Fields set Rdb$Character_Set_ID = NULL" + where);
        else
            Statement("Update Rdb$Fields set Rdb$Character_Set_ID =\r\n(Select C.Rdb$Character_Set_ID from "
                      "Rdb$Character_Sets C\r\nwhere C.Rdb$Character_Set_Name=" +
                      QuotedStr(mSet) + ")" + where);
    }
    if (collationDiffers) {
        if (!M.CollationName.empty())
            Statement("Update Rdb$Fields set Rdb$Collation_ID =\r\n(Select C.Rdb$Collation_ID from Rdb$Collations "
                      "C\r\nwhere C.Rdb$Collation_Name=" +
                      QuotedStr(M.CollationName) + ")" + where);
        else
            Statement("Update Rdb$Fields set Rdb$Collation_ID = NULL\r\nwhere Rdb$Field_Name = " + QuotedStr(Name));
    }
}

void TIBDomainAlter::AlterIBDomainBlob() {
    const std::string where = CRLF + std::string("where Rdb$Field_Name=") + QuotedStr(Name);
    // Firebird 3 refuses both the system-table update and ALTER DOMAIN ... TYPE of a blob.
    if (M.SubType != T.SubType) {
        if (ReadOnlySysTables)
            NotChanged("the blob sub-type", Num(T.SubType), Num(M.SubType));
        else
            Statement("Update Rdb$Fields set RDB$FIELD_SUB_TYPE = " + Num(M.SubType) + where);
    }
    if (M.SegmentLength != T.SegmentLength) {
        if (ReadOnlySysTables)
            NotChanged("the blob segment length", Num(T.SegmentLength), Num(M.SegmentLength));
        else
            Statement("Update Rdb$Fields set RDB$SEGMENT_LENGTH = " + Num(M.SegmentLength) + where);
    }
}

void TIBDomainAlter::AlterIBDomainCheck() {
    Comment("Alter Domain: " + QName + " - Check(...)");
    if (!T.Rare().CheckSource.empty()) Statement("ALTER DOMAIN " + QName + " DROP CONSTRAINT");
    if (!M.Rare().CheckSource.empty()) Statement("ALTER DOMAIN " + QName + " ADD CHECK" + M.Rare().CheckSource);
}

// The oldest servers copy a check or default from a temporary domain with the master's
// definition.
void TIBDomainAlter::ByTemporaryDomain(const std::string& Update) {
    const std::string name = MD.Name;
    MD.SetName("QTM$TEMP");
    const std::string create = MD.GetCreateSQL();
    MD.Name = name;
    Statement(create);
    Statement(Update);
    Statement("DROP DOMAIN QTM$TEMP");
}

void TIBDomainAlter::AlterDomainDefault() {
    const std::string def = M.GetDefault();
    Statement("ALTER DOMAIN " + QName + (def.empty() ? std::string(" DROP DEFAULT") : " SET DEFAULT " + def));
}

// Rows holding NULL in a column of the domain would make the server refuse NOT NULL; they get
// the default the master gives such a row. The updates are committed: a table in use by an open
// transaction cannot take the change.
void TIBDomainAlter::FillNulls() {
    const TDbObjList& tables = Target.List(olTables);
    for (int i = 0; i < tables.Count(); ++i) {
        TDbObj* table = tables.Obj(i);
        if (!table->GetExists()) continue;
        // The column and the value each of its columns of the domain gets.
        std::vector<std::pair<TFldData*, std::string>> fills;
        for (int c = 0; c < table->GetColumnCount(); ++c) {
            auto* column = dynamic_cast<TFldData*>(table->GetColumn(c));
            if (!column || column->DataType != dtDomain || column->DomainName != TD.Name || column->IsComputed() ||
                !column->GetExists())
                continue;
            std::string def = column->GetDefault();
            if (auto* mc = dynamic_cast<TFldData*>(column->Counterpart)) def = mc->GetDefault();
            if (def.empty()) def = M.GetDefault();
            if (!def.empty()) fills.emplace_back(column, def);
        }
        if (fills.empty()) continue;
        WriteUpdateWithoutTriggers(Target, Exec, table->Name, [&] {
            for (const auto& [column, def] : fills) {
                const std::string name = Q.QuoteName(column->Name);
                Exec.AddStatement("UPDATE " + Q.QuoteName(table->Name) + " SET " + name + " = " + def + " WHERE " +
                                      name + " IS NULL",
                                  skUpdate, column->Name, dboField, saUpdate, table->Name);
            }
        });
    }
}

void TIBDomainAlter::AlterIBDomainNullable() {
    if (AtLeast(Version, st_Firebird_30)) {
        if (!M.Nullable) FillNulls();
        Statement("ALTER DOMAIN " + QName + (M.Nullable ? " DROP NOT NULL" : " SET NOT NULL"));
    } else if (Allow) {
        if (!M.Nullable) FillNulls();
        Statement("Update Rdb$Fields set Rdb$Null_Flag = " + std::string(M.Nullable ? "NULL" : "1") + CRLF +
                  "where Rdb$Field_Name=" + QuotedStr(Name));
    } else {
        NotChanged("NOT NULL", T.Nullable ? "NULL" : "NOT NULL", M.Nullable ? "NULL" : "NOT NULL");
    }
}

} // namespace

void AlterDomain(TCustomQuarnel& Q, TDmnData* Master, TDmnData* Target) {
    if (!Master || !Target || !Q.SQLExec() || !Q.GetTargetObjs()) return;
    TIBDomainAlter(Q, *Master, *Target).Run();
}

} // namespace qnl
