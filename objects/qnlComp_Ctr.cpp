#include "objects/qnlComp_Ctr.h"

#include "core/qnlDBStructure.h"
#include "core/qnlSQL_Exec.h"

namespace qnl {

namespace {

const char* RuleWord(uint8_t Rule) {
    switch (Rule) {
    case raRestrict: return "RESTRICT";
    case raCascade: return "CASCADE";
    case raSetDefault: return "SET DEFAULT";
    case raSetNull: return "SET NULL";
    case raNoAction: return "NO ACTION";
    default: return "";
    }
}

std::string JoinQuoted(const TDbObj& Obj, const TStringList& Names) {
    std::string s;
    for (int i = 0; i < Names.Count(); ++i) s += (i ? ", " : "") + Obj.QuoteName(Names[i]);
    return s;
}

} // namespace

TCtrData::TCtrData(TCustomObjs* AContainer) : TDbObj(AContainer) {
    ConstraintType = ctForeignKey;
    Kind = dboConstraint;
}

TCtrData::~TCtrData() = default;

void TCtrData::SetConstraintType(uint8_t Value) {
    ConstraintType = Value;
    switch (Value) {
    case ctPrimaryKey: Kind = dboPKey; break;
    case ctUnique: Kind = dboUnique; break;
    case ctForeignKey: Kind = dboFKey; break;
    case ctCheck: Kind = dboCheck; break;
    case ctDefault: Kind = dboDefault; break;
    case ctReferences: Kind = dboReferences; break;
    default: break;
    }
}

std::string TCtrData::NameCase(const std::string& Value) const {
    if (GetServerType() == stMSSQL && Container &&
        !Container->MSSQLServerOptions.MSSQLCompareOptions.CaseSensitiveIdentifiers)
        return UpperCase(Value);
    return Value;
}

void TCtrData::SetTableName(const std::string& Value) { TableName = NameCase(Value); }
void TCtrData::SetRefTableName(const std::string& Value) { RefTableName = NameCase(Value); }
void TCtrData::SetRefSchema(const std::string& Value) { RefSchema = NameCase(Value); }

std::string TCtrData::GetFieldsText() const { return JoinQuoted(*this, Fields); }
std::string TCtrData::GetRefFieldsText() const { return JoinQuoted(*this, RefFields); }

std::string TCtrData::IndexClause() const {
    if (IndexName.empty()) return {};
    switch (GetServerType()) {
    case stInterBase: return std::string("\r\n") + (DescIndex ? "USING DESC INDEX " : "USING INDEX ") + QuoteName(IndexName);
    case stMySQL: return {};
    default: return " " + IndexName;
    }
}

std::string TCtrData::GetConstraintText(bool InColumn) {
    const TServerType st = GetServerType();
    std::string s;
    if (!Name.empty()) s += "CONSTRAINT " + QuoteName(Name) + " ";
    switch (ConstraintType) {
    case ctForeignKey: {
        s += "FOREIGN KEY ";
        if (st == stASA && !RoleName.empty()) s += QuoteName(RoleName) + " ";
        s += "(" + GetFieldsText() + ")" + " REFERENCES ";
        if (st == stASA)
            s += QuoteName(RefOwner) + "." + QuoteName(RefTableName);
        else if (st == stMSSQL)
            s += (RefSchema.empty() ? std::string() : QuoteName(RefSchema) + ".") + QuoteName(RefTableName);
        else if (st == stPostgreSQL || st == stOracle)
            // Quoted like the constrained table, so a name that needs quotes is found.
            s += (Schema.empty() ? std::string() : QuoteName(Schema) + ".") + QuoteName(RefTableName);
        else
            s += QuoteName(RefTableName);
        if (RefFields.Count() != 0) s += " (" + GetRefFieldsText() + ")";
        if (st == stPostgreSQL) {
            if (MatchType == 1) s += " MATCH FULL";
            if (MatchType == 2) s += " MATCH PARTIAL";
        }
        // Servers before ODS 9 know no referential actions.
        const int ods = Container ? Container->GetTargetODSMajor() : 0;
        if (!(st == stInterBase && ods > 0 && ods < 9)) {
            if (UpdateRule != raNone) s += std::string(" ON UPDATE ") + RuleWord(UpdateRule);
            if (DeleteRule != raNone) s += std::string(" ON DELETE ") + RuleWord(DeleteRule);
        }
        if (NotForReplication) s += " NOT FOR REPLICATION";
        s += IndexClause();
        if (CheckOnCommit) s += " CHECK ON COMMIT";
        break;
    }
    case ctCheck:
        s += "CHECK";
        if (NotForReplication) s += " NOT FOR REPLICATION";
        s += Source();
        break;
    case ctPrimaryKey:
        s += "PRIMARY KEY ";
        if (st == stASA && IsClustered) s += "CLUSTERED ";
        if (st == stMSSQL && !IsClustered) s += "NONCLUSTERED ";
        s += "(" + GetFieldsText() + ")" + IndexClause();
        break;
    case ctUnique:
        s += "UNIQUE ";
        if (st == stMSSQL && IsClustered) s += "CLUSTERED ";
        if (st == stMySQL && !IndexName.empty()) s += IndexName + " ";
        s += "(" + GetFieldsText() + ")" + IndexClause();
        break;
    case ctReferences:
        s += "REFERENCES " + QuoteName(RefTableName);
        if (RefFields.Count() != 0) s += "(" + GetRefFieldsText() + ")";
        break;
    default: break;
    }
    if (DeferredLine) s += "\r\nDEFERRABLE INITIALLY DEFERRED";
    if ((st == stMSSQL || st == stASE) && ConstraintType == ctDefault) {
        s += "DEFAULT " + Source();
        if (Fields.Count() > 0 && !(InColumn && Fields.Count() == 1)) s += " FOR " + GetFieldsText();
    }
    if (st == stPostgreSQL) {
        if (Deferrable) s += " DEFERRABLE";
        if (InitiallyDeferred) s += " INITIALLY DEFERRED";
    }
    if (std::string t = TableSpace.GetStorageText(); !t.empty()) s += "\r\n" + t;
    return s;
}

std::string TCtrData::TableHead() const {
    const std::string table = QuoteName(TableName);
    switch (GetServerType()) {
    case stASA: return "ALTER TABLE " + QuoteName(DbOwner()) + "." + table;
    // The table is quoted on the way in as on the way out, so a name that needs quotes works
    // for ADD as well as for DROP.
    case stOracle:
    case stMSSQL:
    case stPostgreSQL: return "ALTER TABLE " + (Schema.empty() ? std::string() : QuoteName(Schema) + ".") + table;
    default: return "ALTER TABLE " + table;
    }
}

std::string TCtrData::GetCreateSQL() {
    std::string s = TableHead();
    if (GetServerType() == stOracle && ConstraintType == ctNotNull) {
        if (Fields.Count() == 0) return s;
        s += " MODIFY (" + QuoteName(Fields[0]);
        if (!Name.empty()) s += " CONSTRAINT " + QuoteName(Name);
        return s + " NOT NULL)";
    }
    return s + " ADD " + GetConstraintText(false);
}

bool TCtrData::DropsByLookup() const {
    if (GetServerType() != stInterBase || !Name.empty() || !SystemName().empty()) return false;
    const TIBServerOptions* o = GetIBServerOptions();
    const TIBSQLServerVersionType v = o ? o->SQLServerVersion : TIBServerOptions().SQLServerVersion;
    if (v == st_InterBase_2020) return false;
    switch (ConstraintType) {
    case ctPrimaryKey: return AtLeast(v, st_Firebird_20);
    case ctUnique:
    case ctForeignKey: return Fields.Count() > 0 && AtLeast(v, st_Firebird_20);
    // The text is compared on the server with the string functions of 2.5 on a blob.
    case ctCheck: return !Trim(Source()).empty() && AtLeast(v, st_Firebird_25);
    default: return false;
    }
}

bool TCtrData::DropsByHand() const {
    return GetServerType() == stInterBase && ConstraintType == ctCheck && Name.empty() && SystemName().empty() &&
           !DropsByLookup();
}

std::string TCtrData::DropByHandWarning() {
    return "WARNING: a check of table " + TableName + " has no name known here and is not dropped; drop it by hand: " +
           GetCreateSQL();
}

namespace {

// True when the index named by the expression Index has exactly the given columns, in their
// order.
std::string SegmentsAre(const std::string& Index, const TStringList& Columns) {
    const std::string n = std::to_string(Columns.Count());
    const std::string from = "(SELECT COUNT(*) FROM RDB$INDEX_SEGMENTS S WHERE S.RDB$INDEX_NAME = " + Index;
    std::string pairs;
    for (int i = 0; i < Columns.Count(); ++i)
        pairs += std::string(i ? "\r\n      OR " : "") + "S.RDB$FIELD_POSITION = " + std::to_string(i) +
                 " AND S.RDB$FIELD_NAME = " + QuoteSQLString(Columns[i], stInterBase);
    return from + ") = " + n + "\r\n  AND " + from + "\r\n    AND (" + pairs + ")) = " + n;
}

} // namespace

std::string TCtrData::LookupDropBlock() const {
    const TIBServerOptions* o = GetIBServerOptions();
    // From 2.5 on: in a transaction of its own the drop sees the foreign keys that the script
    // dropped just before, even when the block runs in an older snapshot; and a name that needs
    // quotes gets them. A plain name stays bare, which every dialect reads (dialect 1 takes a
    // double-quoted name for a string, and has only plain ones).
    const bool from25 = o && AtLeast(o->SQLServerVersion, st_Firebird_25);
    const std::string table = QuoteSQLString(TableName, stInterBase);
    std::string select;
    if (ConstraintType == ctCheck) {
        // The server keeps the clause as written, from the word CHECK on: compared without
        // white space, so a line break or an indent does not hide it.
        std::string text;
        for (char c : Source())
            if (c != ' ' && c != '\t' && c != '\r' && c != '\n') text += c;
        select = "  SELECT FIRST 1 TRIM(C.RDB$CONSTRAINT_NAME) FROM RDB$RELATION_CONSTRAINTS C\r\n"
                 "  WHERE C.RDB$RELATION_NAME = " +
                 table +
                 " AND C.RDB$CONSTRAINT_TYPE = 'CHECK'\r\n"
                 "  AND EXISTS (SELECT 1 FROM RDB$CHECK_CONSTRAINTS K\r\n"
                 "    JOIN RDB$TRIGGERS G ON G.RDB$TRIGGER_NAME = K.RDB$TRIGGER_NAME\r\n"
                 "    WHERE K.RDB$CONSTRAINT_NAME = C.RDB$CONSTRAINT_NAME\r\n"
                 "    AND UPPER(SUBSTRING(G.RDB$TRIGGER_SOURCE FROM 1 FOR 5)) = 'CHECK'\r\n"
                 "    AND REPLACE(REPLACE(REPLACE(REPLACE(SUBSTRING(G.RDB$TRIGGER_SOURCE FROM 6), ' ', ''),\r\n"
                 "      ASCII_CHAR(9), ''), ASCII_CHAR(10), ''), ASCII_CHAR(13), '') = " +
                 QuoteSQLString(text, stInterBase) +
                 ")\r\n"
                 "  ORDER BY C.RDB$CONSTRAINT_NAME\r\n";
    } else if (ConstraintType == ctPrimaryKey) {
        select = "  SELECT TRIM(RDB$CONSTRAINT_NAME) FROM RDB$RELATION_CONSTRAINTS\r\n"
                 "  WHERE RDB$RELATION_NAME = " +
                 table + " AND RDB$CONSTRAINT_TYPE = 'PRIMARY KEY'\r\n";
    } else {
        // A table may hold several keys on the same columns (to different tables, or the same
        // key twice): the first by name is taken, and each of two equal keys (or checks) drops
        // one.
        select = "  SELECT FIRST 1 TRIM(C.RDB$CONSTRAINT_NAME) FROM RDB$RELATION_CONSTRAINTS C\r\n"
                 "  WHERE C.RDB$RELATION_NAME = " +
                 table + " AND C.RDB$CONSTRAINT_TYPE = " +
                 (ConstraintType == ctUnique ? "'UNIQUE'" : "'FOREIGN KEY'") + "\r\n  AND " +
                 SegmentsAre("C.RDB$INDEX_NAME", Fields) + "\r\n";
        if (ConstraintType == ctForeignKey) {
            // Without columns the key references the primary key of its table.
            select += "  AND EXISTS (SELECT 1 FROM RDB$REF_CONSTRAINTS R\r\n"
                      "    JOIN RDB$RELATION_CONSTRAINTS P ON P.RDB$CONSTRAINT_NAME = R.RDB$CONST_NAME_UQ\r\n"
                      "    WHERE R.RDB$CONSTRAINT_NAME = C.RDB$CONSTRAINT_NAME AND P.RDB$RELATION_NAME = " +
                      QuoteSQLString(RefTableName, stInterBase) + "\r\n    AND " +
                      (RefFields.Count() == 0 ? std::string("P.RDB$CONSTRAINT_TYPE = 'PRIMARY KEY'")
                                              : SegmentsAre("P.RDB$INDEX_NAME", RefFields)) +
                      ")\r\n";
        }
        select += "  ORDER BY C.RDB$CONSTRAINT_NAME\r\n";
    }
    return std::string("EXECUTE BLOCK AS\r\n") +
           "DECLARE VARIABLE N VARCHAR(100);\r\n"
           "BEGIN\r\n" +
           select + "  INTO :N;\r\n" +
           (from25 ? "  IF (N NOT SIMILAR TO '[A-Z][A-Z0-9_$]*') THEN\r\n"
                     "    N = '\"' || REPLACE(N, '\"', '\"\"') || '\"';\r\n"
                   : "") +
           "  IF (N IS NOT NULL) THEN\r\n"
           "    EXECUTE STATEMENT " +
           QuoteSQLString("ALTER TABLE " + QuoteName(TableName) + " DROP CONSTRAINT ", stInterBase) + " || N" +
           (from25 ? "\r\n    WITH AUTONOMOUS TRANSACTION" : "") + ";\r\n" + "END";
}

std::string TCtrData::GetDropSQL() {
    const TServerType st = GetServerType();
    const std::string head = TableHead();
    if (st == stMySQL) {
        switch (ConstraintType) {
        case ctPrimaryKey: return head + " DROP PRIMARY KEY";
        case ctUnique:
            if (!Name.empty()) return head + " DROP CONSTRAINT " + QuoteName(Name);
            if (!IndexName.empty()) return head + " DROP KEY " + QuoteName(IndexName);
            return head + " DROP UNIQUE";
        case ctForeignKey: return head + " DROP FOREIGN KEY " + QuoteName(Name);
        default: return head + " DROP CONSTRAINT " + QuoteName(Name);
        }
    }
    if (!Name.empty() || !SystemName().empty())
        return head + " DROP CONSTRAINT " + QuoteName(!Name.empty() ? Name : SystemName());
    // The clause may hold a comment of its own, whose end would end this one.
    const std::string comment = "/* drop constraint: " + CommentSafe(GetCreateSQL()) + " */" + "\r\n";
    if (st == stASA) {
        switch (ConstraintType) {
        case ctPrimaryKey: return head + " DROP PRIMARY KEY";
        case ctUnique: return head + " DROP UNIQUE(" + GetFieldsText() + ")";
        case ctForeignKey:
            return head + " DROP FOREIGN KEY" + " " + (!RoleName.empty() ? QuoteName(RoleName) : QuoteName(RefTableName));
        case ctCheck: return head + " DROP CHECK";
        default: return comment;
        }
    }
    // Firebird 3 and later refuse writes to the system tables: the server-made name is looked
    // up and the key dropped by that name.
    if (DropsByLookup()) return LookupDropBlock();
    if (DropsByHand()) return MakeComment(DropByHandWarning());
    if (st == stInterBase && ConstraintType == ctPrimaryKey)
        return "Delete from Rdb$Relation_Constraints\r\nwhere Rdb$Relation_Name = " +
               QuoteSQLString(TableName, stInterBase) + "\r\nand Rdb$Constraint_Type = " +
               QuoteSQLString("PRIMARY KEY", stInterBase);
    return comment;
}

void TCtrData::DoDrop() {
    const bool byHand = DropsByHand();
    if (!DropsByLookup() && !byHand) {
        TDbObj::DoDrop();
        return;
    }
    // As the base drop, but the text is a PSQL block and is written as one, or a warning
    // written as a comment.
    if (!GetExists() || FDropping) return;
    const TWalkMark mark(FDropping);
    DropDependents();
    if (GetExists()) {
        if (byHand) {
            if (TCustomSQLExec* exec = GetSQLExec()) exec->AddComment(GetDropSQL());
        } else {
            AddOwnStatement(GetDropSQL(), skExecuteBlock, TableName, Kind, saDrop);
        }
        SetExists(false);
    }
    MarkDropped();
}

std::string TCtrData::GetDisplayName() {
    if (!Name.empty()) return Name;
    if (!SystemName().empty()) return SystemName();
    return GetCreateSQL();
}

std::string TCtrData::GetKeyName() const {
    if (!Name.empty()) return TDbObj::GetKeyName();
    auto* self = const_cast<TCtrData*>(this);
    const std::string copy = KeyCopy > 0 ? "\n#" + std::to_string(KeyCopy) : std::string();
    // Unnamed constraints match by text; dialect 1 leaves names unquoted, so a side read with
    // quoted identifiers matches one read without.
    if (GetServerType() == stInterBase && Container) {
        TIBSQLDialectType& dialect = Container->IBServerOptions.SQLDialect;
        const TIBSQLDialectType saved = dialect;
        dialect = 1;
        std::string key = self->GetCreateSQL();
        dialect = saved;
        return key + copy;
    }
    return self->GetCreateSQL() + copy;
}

bool TCtrData::NextKeyCopy() {
    if (!Name.empty()) return false;
    ++KeyCopy;
    return true;
}

void TCtrData::CreateDependencies() {
    for (int i = 0; i < DependsOn.Count(); ++i) {
        TDbObj* ref = DependsOn.Items(i)->Ref;
        if (!ref) continue;
        if (ref->Kind == dboTable || (ref->Kind == dboField && ref->GetOwner() && ref->GetOwner()->Kind == dboTable))
            ref->CreateDependDef();
        else if (ref->Kind == dboProcedure || ref->Kind == dboPackage)
            ref->PrepareForCaller();  // a check calls it in the master's form
    }
}

void TCtrData::DropDependents() {
    if (ConstraintType != ctPrimaryKey && ConstraintType != ctUnique) return;
    if (GetServerType() == stInterBase)
        if (TCustomSQLExec* exec = GetSQLExec()) exec->AddConnect();
    for (int i = 0; i < UsedBy.Count(); ++i) {
        TDbObj* ref = UsedBy.Items(i)->Ref;
        if (ref && ref->GetConstraintType() == ctForeignKey) ref->DoDrop();
    }
}

// ---- passes ----

void WriteCreateConstraints(TCustomQuarnel& Q, TConstraintTypes Types) {
    TCustomObjs* master = Q.GetMasterObjs();
    TCustomObjs* target = Q.GetTargetObjs();
    TCustomSQLExec* exec = Q.SQLExec();
    if (!master || !target || !exec) return;
    const TCmpObjSetType co = Q.CompareObjects;
    struct Section {
        TConstraintTypes Own;
        TCmpObjType Needs;
        const char* Comment;
        bool MSSQLOnly;
        bool Connect;
    };
    const Section sections[] = {
        {1u << ctNotNull, coCheck, "/* Create check(not null)... */", false, false},
        {1u << ctDefault, coCheck, "/* Create Default... */", true, false},
        {1u << ctPrimaryKey, coPrimaryKey, "/* Create Primary Key... */", false, false},
        {1u << ctUnique, coUnique, "/* Create Unique... */", false, false},
        {1u << ctForeignKey, coForeignKey, "/* Create Foreign Key... */", false, true},
        {(1u << ctCheck) | (1u << ctNotNull), coCheck, "/* Create Check... */", false, false},
        {1u << ctDefault, coCheck, "/* Create Default... */", false, false},
    };
    const TDbObjList& list = master->List(olConstraints);
    bool lastTook = false;
    for (const Section& sec : sections) {
        if (!co.Contains(sec.Needs) || (sec.MSSQLOnly && target->ServerType() != stMSSQL)) continue;
        bool opened = false;
        for (int i = 0; i < list.Count(); ++i) {
            TDbObj* c = list.Obj(i);
            const int type = c->GetConstraintType();
            if (type < 0 || type > 7) continue;
            const TConstraintTypes bit = static_cast<TConstraintTypes>(1u << type);
            if (!(Types & bit) || !(sec.Own & bit) || c->GetExists() || c->NoScript) continue;
            if (!opened) {
                exec->AddComment(sec.Comment);
                if (sec.Connect) exec->AddConnect();
            }
            opened = true;
            c->CreateDependDef();
        }
        lastTook = &sec == &sections[6] && opened;
    }
    if (lastTook) exec->AddComment("\r\n");
}

void WriteDropConstraints(TCustomQuarnel& Q) {
    TCustomObjs* target = Q.GetTargetObjs();
    if (!target) return;
    const TCmpObjSetType co = Q.CompareObjects;
    if (!co.Contains(coPrimaryKey) && !co.Contains(coForeignKey) && !co.Contains(coUnique) && !co.Contains(coCheck) &&
        !co.Contains(coCtrDefault))
        return;
    const TDbObjList& list = target->List(olConstraints);
    for (int i = list.Count() - 1; i >= 0; --i) {
        TDbObj* c = list.Obj(i);
        switch (c->GetConstraintType()) {
        case ctPrimaryKey:
            if (!co.Contains(coPrimaryKey)) continue;
            break;
        case ctUnique:
            if (!co.Contains(coUnique)) continue;
            break;
        case ctForeignKey:
            if (!co.Contains(coForeignKey)) continue;
            break;
        case ctCheck:
        case ctDefault:
        case ctNotNull:
            if (!co.Contains(coCheck)) continue;
            break;
        default: break;
        }
        if (c->Counterpart && c->Counterpart->GetCreateSQL() == c->GetCreateSQL()) continue;
        if (!c->GetExists()) continue;
        // The script says so where the check should go; the log tells the user at once.
        if (auto* ctr = dynamic_cast<TCtrData*>(c); ctr && ctr->DropsByHand()) Q.DoLogNextLine(ctr->DropByHandWarning());
        c->DoDrop();
    }
}

} // namespace qnl
