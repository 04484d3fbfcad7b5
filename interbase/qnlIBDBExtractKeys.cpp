// The database extractor's readers of indices and constraints: user indices that back no
// constraint, unique, primary and foreign keys with their supporting indices, and checks.
#include "interbase/qnlIBDBExtract.h"
#include "interbase/qnlIBDBExtractRows.h"

#include "core/qnlDBStructure.h"
#include "objects/qnlComp_Ctr.h"
#include "objects/qnlComp_Idx.h"
#include "objects/qnlComp_Tbl.h"

namespace qnl {

using namespace dbrow;

namespace {

// A name the server made up for a constraint is no name of the constraint's own: it goes to
// SystemName, so that the constraint is matched by its table and columns.
void SetConstraintName(TCtrData& Ctr, const std::string& AName) {
    if (AName.compare(0, 6, "INTEG_") == 0) {
        Ctr.SetSystemName(AName);
        Ctr.SetName("");
    } else {
        Ctr.SetName(AName);
    }
}

// The index behind a key: recorded (written as USING INDEX) unless the server named it or it is
// an ascending index named like the constraint.
void SetSupportingIndex(TCtrData& Ctr, const std::string& IndexName, int64_t IndexType) {
    if (IndexName.compare(0, 4, "RDB$") == 0) return;
    if (IndexName != Ctr.Name || IndexType != 0) {
        Ctr.IndexName = IndexName;
        if (IndexType != 0) Ctr.DescIndex = true;
    }
}

// The accept step of a key: by its own name and kind when it has a name, else by its table.
bool AcceptKey(TIBDBExtract& X, const TCtrData& Ctr, TDbObject Kind) {
    return Ctr.Name.empty() ? X.AcceptObjName(Ctr.TableName, dboTable) : X.AcceptObjName(Ctr.Name, Kind);
}

// The key depends on the table and, with Column, on that column of it (when they were read).
void DependOnTable(TCustomObjs* Objs, TCtrData& Ctr, const std::string& Table, const std::string& Column = {}) {
    TDbObj* table = Objs->FindTable(Table);
    if (!table) return;
    if (Column.empty())
        RegisterDependency(Objs, &Ctr, table);
    else if (table->FindColumn(Column))
        RegisterDependency(Objs, &Ctr, table, Column);
}

// The key's columns, in order; the key depends on each column.
void AddKeyColumns(TCustomObjs* Objs, TCtrData& Ctr, const std::vector<std::string>& Columns) {
    for (const std::string& column : Columns) {
        Ctr.AddField(column);
        DependOnTable(Objs, Ctr, Ctr.TableName, column);
    }
}

} // namespace

const std::vector<std::string>& TIBDBExtract::IndexSegments(const std::string& IndexName) {
    if (!FCache) FCache = std::make_unique<TCatalogueCache>();
    if (!FCache->SegmentsRead) {
        ForEachRow("select rdb$index_name, rdb$field_name from rdb$index_segments "
                   "order by rdb$index_name, rdb$field_position",
                   [this](TQNLQuery& Q) {
                       FCache->Segments[NameOf(Q, "RDB$INDEX_NAME")].push_back(NameOf(Q, "RDB$FIELD_NAME"));
                   });
        FCache->SegmentsRead = true;
    }
    static const std::vector<std::string> none;
    const auto it = FCache->Segments.find(IndexName);
    return it == FCache->Segments.end() ? none : it->second;
}

void TIBDBExtract::ExtractIndices() {
    LogLine("Extracting indices...");
    std::unique_ptr<TQNLQuery> indices = NewQuery();
    indices->AddSQL("Select I.* from RDB$Indices I ");
    indices->AddSQL("where Not Exists ");
    indices->AddSQL("(select RC.Rdb$Constraint_Name from Rdb$Relation_Constraints RC ");
    indices->AddSQL("where RC.Rdb$Index_Name=I.Rdb$Index_Name) ");
    indices->AddSQL("and I.rdb$index_name not like 'RDB$%' ");
    if (IgnoreIBEObjects()) indices->AddSQL(" and I.rdb$index_name not like 'IBE$%' ");
    indices->AddSQL("Order By I.rdb$index_name ");
    indices->Open();
    while (!indices->GetEof()) {
        TQNLQuery& q = *indices;
        auto idx = std::make_unique<TIdxData>(Objs());
        idx->SetName(NameOf(q, "RDB$INDEX_NAME"));
        idx->IsUnique = IntOf(q, "RDB$UNIQUE_FLAG") != 0;
        idx->TableName = NameOf(q, "RDB$RELATION_NAME");
        idx->SetDescription(TextOf(q, "RDB$DESCRIPTION"));
        idx->Active = IntOf(q, "RDB$INDEX_INACTIVE") == 0;
        idx->IsDescending = IntOf(q, "RDB$INDEX_TYPE") == 1;
        idx->SetSource(Trim(TextOf(q, "RDB$EXPRESSION_SOURCE")));
        if (IntOf(q, "RDB$SEGMENT_COUNT") > 0)
            for (const std::string& column : IndexSegments(idx->Name)) {
                auto field = std::make_unique<TFldData>(Objs(), nullptr);
                field->SetName(column);
                idx->Fields.AddColumn(column, std::move(field));
            }
        if (ShowFullLog) LogLine("---" + idx->Name);
        if (AcceptObjName(idx->Name, dboIndex)) Objs()->AddDbObject(idx.release(), true);
        ProcessAppMessages();
        if (AbortRequested) break;
        indices->Next();
    }
    indices->Close();
    indices->ClearSQL();
}

void TIBDBExtract::ExtractUniques() {
    LogLine("Extracting unique constraints...");
    std::unique_ptr<TQNLQuery> list = NewQuery();
    list->AddSQL("Select C.Rdb$Constraint_Name, C.Rdb$Relation_Name, C.Rdb$Index_Name, ");
    list->AddSQL("I.Rdb$Index_Type ");
    list->AddSQL("from Rdb$Relation_Constraints C ");
    list->AddSQL("JOIN Rdb$Relations R ON R.RDB$RELATION_NAME=C.RDB$RELATION_NAME AND R.RDB$SYSTEM_FLAG <> 1 ");
    list->AddSQL("left Join rdb$indices I on I.Rdb$Index_Name = C.Rdb$Index_Name ");
    list->AddSQL("where C.Rdb$Constraint_Type = 'UNIQUE' ");
    if (IgnoreIBEObjects()) list->AddSQL(" and C.rdb$constraint_name not like 'IBE$%' ");
    list->AddSQL("order by C.Rdb$Constraint_Name");
    list->Open();
    while (!list->GetEof()) {
        TQNLQuery& q = *list;
        auto ctr = std::make_unique<TCtrData>(Objs());
        ctr->SetConstraintType(ctUnique);
        SetConstraintName(*ctr, NameOf(q, "RDB$CONSTRAINT_NAME"));
        ctr->SetTableName(NameOf(q, "RDB$RELATION_NAME"));
        const std::string indexName = NameOf(q, "RDB$INDEX_NAME");
        SetSupportingIndex(*ctr, indexName, IntOf(q, "RDB$INDEX_TYPE"));
        for (const std::string& column : IndexSegments(indexName)) ctr->AddField(column);
        if (ShowFullLog) LogLine(ctr->GetCreateSQL());
        if (AcceptKey(*this, *ctr, dboUnique)) Objs()->AddDbObject(ctr.release(), true);
        ProcessAppMessages();
        if (AbortRequested) break;
        list->Next();
    }
    list->Close();
    list->ClearSQL();
}

void TIBDBExtract::ExtractPrimaryKeys() {
    LogLine("Extracting primary keys...");
    const bool ibe = IgnoreIBEObjects();
    TQNLQuery& q = MainQuery();
    int count = 0;
    if (OnProgressStep) {
        q.AddSQL("Select Count(*)");
        q.AddSQL("from Rdb$Relation_Constraints C");
        q.AddSQL("Left Join Rdb$Indices I on I.RDB$Index_Name = C.Rdb$Index_Name");
        q.AddSQL("where C.Rdb$Constraint_Type='PRIMARY KEY'");
        if (ibe) {
            q.AddSQL(" and C.rdb$constraint_name not like 'IBE$%' ");
            q.AddSQL(" and C.rdb$Relation_Name not like 'IBE$%' ");
        }
        q.Open();
        count = static_cast<int>(q.GetFields()->Fields(0)->AsInteger());
        q.Close();
        q.ClearSQL();
        OnProgressStep(this, 1, "Primary keys", 0, count);
    }
    q.AddSQL("Select C.*, I.Rdb$Index_Type");
    q.AddSQL("from Rdb$Relation_Constraints C");
    q.AddSQL("Left Join Rdb$Indices I on I.RDB$Index_Name = C.Rdb$Index_Name");
    q.AddSQL("where C.Rdb$Constraint_Type='PRIMARY KEY'");
    if (ibe) {
        q.AddSQL(" and C.rdb$constraint_name not like 'IBE$%' ");
        q.AddSQL(" and C.rdb$Relation_Name not like 'IBE$%' ");
    }
    q.AddSQL("Order by C.rdb$relation_name");
    q.Open();
    int counter = 0;
    while (!q.GetEof()) {
        auto ctr = std::make_unique<TCtrData>(Objs());
        ctr->SetConstraintType(ctPrimaryKey);
        ctr->SetTableName(NameOf(q, "RDB$RELATION_NAME"));
        DependOnTable(Objs(), *ctr, ctr->TableName);
        const std::string indexName = NameOf(q, "RDB$INDEX_NAME");
        AddKeyColumns(Objs(), *ctr, IndexSegments(indexName));
        SetConstraintName(*ctr, NameOf(q, "RDB$CONSTRAINT_NAME"));
        SetSupportingIndex(*ctr, indexName, IntOf(q, "RDB$INDEX_TYPE"));
        DoProgressStep(1, ctr->GetDisplayName(), ++counter, count);
        if (ShowFullLog) LogLine("---" + ctr->GetCreateSQL());
        if (AcceptKey(*this, *ctr, dboPKey)) Objs()->AddDbObject(ctr.release(), true);
        ProcessAppMessages();
        if (AbortRequested) break;
        q.Next();
    }
    q.Close();
    q.ClearSQL();
}

std::string TIBDBExtract::GetForeignKeySQL() {
    std::string s =
        "Select C.rdb$constraint_name, C.rdb$constraint_type, C.rdb$relation_name FK_RELATION_NAME, C.rdb$index_name "
        "FK_INDEX_NAME, ";
    if (HasUpdateRule) s += "R.rdb$UPDATE_RULE, ";
    if (HasDeleteRule) s += "R.rdb$DELETE_RULE, ";
    s += "I2.rdb$relation_name PK_RELATION_NAME, I2.RDB$Index_Name PK_INDEX_NAME, I1.RDB$Index_Type FK_INDEX_TYPE, "
         "I2.RDB$Index_Type PK_INDEX_TYPE from Rdb$Relation_Constraints C, rdb$ref_constraints R, rdb$indices I1, "
         "rdb$indices I2 where C.Rdb$Constraint_Type='FOREIGN KEY' and I1.Rdb$index_name = C.Rdb$index_name and "
         "I2.Rdb$index_name=I1.Rdb$foreign_key and R.rdb$constraint_name=C.rdb$constraint_name ";
    if (IgnoreIBEObjects()) s += " and C.rdb$constraint_name not like 'IBE$%' ";
    s += "Order by C.rdb$relation_name, C.rdb$constraint_name ";
    return s;
}

namespace {

uint8_t ReferentialRule(const std::string& Text) {
    if (Text == "CASCADE") return raCascade;
    if (Text == "SET DEFAULT") return raSetDefault;
    if (Text == "SET NULL") return raSetNull;
    // RESTRICT is what the server stores when the rule was left out.
    if (Text == "NO ACTION") return raNoAction;
    return raNone;
}

} // namespace

void TIBDBExtract::ExtractForeignKeys() {
    LogLine("Extracting foreign keys...");
    std::unique_ptr<TQNLQuery> list = NewQuery();
    int count = 0;
    if (OnProgressStep) {
        list->AddSQL("Select Count(*)");
        list->AddSQL("from Rdb$Relation_Constraints C, rdb$ref_constraints R, ");
        list->AddSQL("rdb$indices I1, rdb$indices I2 ");
        list->AddSQL("where C.Rdb$Constraint_Type='FOREIGN KEY' ");
        list->AddSQL("and I1.Rdb$index_name = C.Rdb$index_name ");
        list->AddSQL("and I2.Rdb$index_name=I1.Rdb$foreign_key ");
        list->AddSQL("and R.rdb$constraint_name=C.rdb$constraint_name ");
        if (IgnoreIBEObjects()) list->AddSQL(" and C.rdb$constraint_name not like 'IBE$%' ");
        list->Open();
        count = static_cast<int>(list->GetFields()->Fields(0)->AsInteger());
        list->Close();
        list->ClearSQL();
        OnProgressStep(this, 1, "Foreign keys", 0, count);
    }
    list->SetSQLText(GetForeignKeySQL());
    list->Open();
    int counter = 0;
    while (!list->GetEof()) {
        TQNLQuery& q = *list;
        auto ctr = std::make_unique<TCtrData>(Objs());
        ctr->SetConstraintType(ctForeignKey);
        ctr->SetTableName(NameOf(q, "FK_RELATION_NAME"));
        DependOnTable(Objs(), *ctr, ctr->TableName);
        ctr->SetRefTableName(NameOf(q, "PK_RELATION_NAME"));
        DependOnTable(Objs(), *ctr, ctr->RefTableName);
        SetConstraintName(*ctr, NameOf(q, "RDB$CONSTRAINT_NAME"));
        SetSupportingIndex(*ctr, NameOf(q, "FK_INDEX_NAME"), IntOf(q, "FK_INDEX_TYPE"));
        AddKeyColumns(Objs(), *ctr, IndexSegments(NameOf(q, "FK_INDEX_NAME")));
        for (const std::string& column : IndexSegments(NameOf(q, "PK_INDEX_NAME"))) {
            ctr->AddRefField(column);
            DependOnTable(Objs(), *ctr, ctr->RefTableName, column);
        }
        if (HasUpdateRule) ctr->UpdateRule = ReferentialRule(NameOf(q, "RDB$UPDATE_RULE"));
        if (HasDeleteRule) ctr->DeleteRule = ReferentialRule(NameOf(q, "RDB$DELETE_RULE"));
        ++counter;
        if (OnProgressStep) OnProgressStep(this, 1, ctr->GetDisplayName(), counter, count);
        if (ShowFullLog) LogLine("---" + ctr->GetCreateSQL());
        if (AcceptKey(*this, *ctr, dboFKey)) Objs()->AddDbObject(ctr.release(), true);
        ProcessAppMessages();
        if (AbortRequested) break;
        list->Next();
    }
    list->Close();
    list->ClearSQL();
}

void TIBDBExtract::ExtractChecks() {
    LogLine("Extracting check constraints...");
    TQNLQuery& q = MainQuery();
    q.AddSQL("select C.Rdb$Constraint_Name, C.Rdb$Trigger_Name, ");
    q.AddSQL("T.Rdb$Trigger_Source, T.Rdb$Relation_Name ");
    q.AddSQL("from Rdb$Check_Constraints C, ");
    q.AddSQL("Rdb$Triggers T ");
    q.AddSQL("where T.Rdb$Trigger_Name = C.Rdb$Trigger_Name ");
    q.AddSQL("and T.Rdb$Trigger_Type = 1 ");
    q.AddSQL("and T.Rdb$Trigger_Name like 'CHECK_%' ");
    if (IgnoreIBEObjects()) {
        q.AddSQL(" and C.rdb$constraint_name not like 'IBE$%' ");
        q.AddSQL(" and T.rdb$Relation_name not like 'IBE$%' ");
    }
    q.AddSQL("Order by C.Rdb$Constraint_Name ");
    q.Open();
    while (!q.GetEof()) {
        auto ctr = std::make_unique<TCtrData>(Objs());
        ctr->SetConstraintType(ctCheck);
        ctr->SetTableName(NameOf(q, "RDB$RELATION_NAME"));
        const std::string source = Trim(TextOf(q, "RDB$TRIGGER_SOURCE"));
        ctr->SetSource(source.size() > 5 ? source.substr(5) : std::string());
        SetConstraintName(*ctr, NameOf(q, "RDB$CONSTRAINT_NAME"));
        if (ShowFullLog) LogLine(ctr->GetCreateSQL());
        // The container's acceptance judges a check by its table.
        Objs()->AddDbObject(ctr.release(), true);
        ProcessAppMessages();
        if (AbortRequested) break;
        q.Next();
    }
    q.Close();
    q.ClearSQL();
}

} // namespace qnl
