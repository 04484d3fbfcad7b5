#include "objects/qnlComp_Idx.h"

#include "core/qnlSQL_Exec.h"
#include "objects/qnlPassSection.h"
#include "platform/AnsiText.h"

namespace qnl {

TIdxData::TIdxData(TCustomObjs* AContainer) : TDbObj(AContainer) { Kind = dboIndex; }

TIdxData::~TIdxData() = default;

void TIdxData::AddField(const std::string& AName, int IndexOrder) {
    std::unique_ptr<TFldData> col;
    if (IndexOrder != 0) {
        col = std::make_unique<TFldData>(Container, nullptr);
        col->Name = AName;
        col->IndexOrder = IndexOrder;
    }
    Fields.AddColumn(AName, std::move(col));
}

TDbObj* TIdxData::GetOwner() const { return Container ? Container->FindTable(TableName) : nullptr; }

std::string TIdxData::GetKeyName() const {
    if (GetServerType() == stMySQL) return TableName + "." + GetName();
    return TDbObj::GetKeyName();
}

std::string TIdxData::GetColumnListText() const {
    const bool mysql = GetServerType() == stMySQL;
    std::string s;
    for (int i = 0; i < Fields.Count(); ++i) {
        if (i) s += ", ";
        s += QuoteName(Fields[i]);
        if (const TFldData* c = Fields.Column(i)) {
            if (mysql && c->CharLength >= 1) s += "(" + std::to_string(c->CharLength) + ")";
            if (c->IndexOrder == 2) s += " DESC";
        }
    }
    return s;
}

std::string TIdxData::GetCreateSQL() {
    const TServerType st = GetServerType();
    std::string s = "CREATE ";
    if (IsUnique) s += "UNIQUE ";
    if (IsBitmap) s += "BITMAP ";
    if (st == stMSSQL) {
        if (IsClustered) s += "CLUSTERED ";
        if (IsPrimaryXml) s += "PRIMARY ";
        if (IsXml) s += "XML ";
    }
    if (IsFullText) s += "FULLTEXT ";
    if (IsSpatial) s += "SPATIAL ";
    if (IsDescending) s += "DESC ";

    const std::string name = QuoteName(Name);
    const std::string table = QuoteName(TableName);
    const std::string schema = Schema.empty() ? std::string() : QuoteName(Schema) + ".";
    switch (st) {
    case stMSSQL:
    case stPostgreSQL: s += "INDEX " + name + " ON " + schema + table; break;
    case stASA: s += "INDEX " + name + " ON " + QuoteName(DbOwner()) + "." + table; break;
    case stOracle: s += "INDEX " + schema + name + " ON " + schema + table; break;
    case stMySQL:
        s += "INDEX " + name;
        if (!UsingOptions.IndexMethod.empty()) s += " USING " + UsingOptions.IndexMethod;
        s += " ON " + table;
        break;
    default: s += "INDEX " + name + " ON " + table; break;
    }

    if (Source().empty())
        s += "(" + GetColumnListText() + ")";
    else
        s += st == stOracle ? Source() : " COMPUTED BY" + Source();

    if (IncludeFields.Count() > 0) {
        s += "\r\n  INCLUDE (";
        for (int i = 0; i < IncludeFields.Count(); ++i) s += (i ? ", " : "") + QuoteName(IncludeFields[i]);
        s += ")";
    }
    if (st == stMSSQL) {
        if (!FilterText.empty()) s += "\r\nWHERE " + FilterText;
        if (!WithText.empty()) s += "\r\n   " + WithText;
        if (!FileGroup.empty()) s += "\r\nON " + QuoteName(FileGroup);
    }
    if (st == stOracle) {
        if (!IndexTypeText.empty()) s += "\r\n   INDEXTYPE IS " + IndexTypeText;
        if (!ParametersText.empty()) s += "\r\n   PARAMETERS " + ParametersText;
        if (Compress) s += "\r\nCOMPRESS";
        if (NoCompress) s += "\r\nNOCOMPRESS";
        if (NoLogging) s += "\r\nNOLOGGING";
        if (!TableSpaceName.empty()) s += "\r\nTABLESPACE " + TableSpaceName;
    }
    if (std::string t = TableSpace.GetStorageText(); !t.empty()) s += "\r\n" + t;
    if (st == stDB2 && AllowReverseScans) s += "\r\n  ALLOW REVERSE SCANS";
    return s;
}

std::string TIdxData::GetDropSQL() {
    const std::string name = QuoteName(Name);
    const std::string table = QuoteName(TableName);
    switch (GetServerType()) {
    case stMSSQL: return "DROP INDEX " + (Schema.empty() ? std::string() : QuoteName(Schema) + ".") + table + "." + name;
    case stASE: return "DROP INDEX " + table + "." + name;
    case stASA: return "DROP INDEX " + QuoteName(DbOwner()) + "." + table + "." + name;
    case stMySQL: return "DROP INDEX " + name + " ON " + table;
    // Without a schema the name stands alone: a bare "." would not parse.
    case stPostgreSQL: return "DROP INDEX " + (Schema.empty() ? std::string() : QuoteName(Schema) + ".") + name;
    default: return TDbObj::GetDropSQL();
    }
}

void TIdxData::DropDependents() {
    TDbObj::DropDependents();
    if (GetServerType() == stInterBase)
        if (TCustomSQLExec* exec = GetSQLExec()) exec->AddConnect();
}

bool SameIndexText(const std::string& A, const std::string& B, bool CaseBlind) {
    return CaseBlind ? AnsiSameText(A, B) : A == B;
}

// ---- passes ----

namespace {

void AddIndexStatement(TCustomSQLExec& Exec, const std::string& Text, const std::string& Name) {
    Exec.AddStatement(Text, skStatement, Name, dboIndex, saAlter);
}

} // namespace

void WriteCreateIndices(TCustomQuarnel& Q) {
    TCustomObjs* master = Q.GetMasterObjs();
    TCustomSQLExec* exec = Q.SQLExec();
    if (!master || !exec) return;
    TPassSection section(*exec, "/* Create index... */");
    const TDbObjList& list = master->List(olIndices);
    for (int i = 0; i < list.Count(); ++i) {
        auto* x = dynamic_cast<TIdxData*>(list.Obj(i));
        if (!x) continue;
        auto* t = dynamic_cast<TIdxData*>(x->Counterpart);
        if (t) t->CurrentSQL.clear();
        if (x->NoScript || (x->Counterpart && x->GetExists())) continue;
        section.Open();
        x->CreateDependDef();
        if (!x->Active) AddIndexStatement(*exec, "ALTER INDEX " + Q.QuoteName(x->GetName()) + " INACTIVE", x->Name);
        if (t) {
            // The target's index went on the way (with a dropped column, say) and is the
            // master's now: the alter pass must not build it a second time.
            t->CurrentSQL = x->GetCreateSQL();
            t->Active = x->Active;
        }
        if (Q.CompareObjects.Contains(coDescription) && !x->Description().empty()) exec->AddDescription(x);
    }
    section.Close();
}

void WriteAlterIndices(TCustomQuarnel& Q) {
    TCustomObjs* master = Q.GetMasterObjs();
    TCustomSQLExec* exec = Q.SQLExec();
    if (!master || !exec) return;
    TPassSection section(*exec, "/* Alter index (Drop, Create)... */");
    const TDbObjList& list = master->List(olIndices);
    for (int i = 0; i < list.Count(); ++i) {
        auto* x = dynamic_cast<TIdxData*>(list.Obj(i));
        if (!x || x->NoScript || !x->Counterpart) continue;
        auto* t = dynamic_cast<TIdxData*>(x->Counterpart);
        const bool caseBlind = x->Counterpart->GetServerType() == stMSSQL;
        // What the target's index is at this point of the script: re-created from the master by
        // the create pass, or as read.
        const std::string current = t && !t->CurrentSQL.empty() ? t->CurrentSQL : x->Counterpart->GetCreateSQL();
        if (!SameIndexText(x->GetCreateSQL(), current, caseBlind)) {
            section.Open();
            x->Counterpart->DoDrop();
            x->CreateDependDef();
            // The CREATE text has no active flag: an inactive master index is switched off again,
            // or the next comparison would find it active.
            if (!x->Active) {
                AddIndexStatement(*exec, "ALTER INDEX " + x->GetQualifiedName() + " INACTIVE", x->Name);
                if (t) t->Active = false;
            }
        } else if (t && t->Active != x->Active) {
            section.Open();
            AddIndexStatement(*exec, "ALTER INDEX " + x->GetQualifiedName() + (x->Active ? " ACTIVE" : " INACTIVE"),
                              x->Name);
            t->Active = x->Active;
        }
        if (Q.CompareObjects.Contains(coDescription) && x->Description() != x->Counterpart->Description())
            exec->AddDescription(x);
    }
    section.Close();
}

void WriteDropIndices(TCustomQuarnel& Q) {
    TCustomObjs* target = Q.GetTargetObjs();
    TCustomSQLExec* exec = Q.SQLExec();
    if (!target || !exec) return;
    DropTargetOnly(*exec, target->List(olIndices), "/* Drop Index... */");
}

} // namespace qnl
