#include "core/qnlDBStructure.h"

#include "core/qnlExtract.h"
#include "core/qnlSQL_Exec.h"

#include <algorithm>
#include <stdexcept>

namespace qnl {

// ---- TDbObjList ----

void TDbObjList::Merge() const {
    std::vector<TItem> merged;
    merged.reserve(FItems.size() + FPending.size());
    auto kept = FItems.begin();
    while (!FPending.empty()) {
        auto node = FPending.extract(FPending.begin());
        // A newer entry goes before the equal ones already sorted.
        for (; kept != FItems.end() && FLess(kept->Key, node.key()); ++kept) merged.push_back(std::move(*kept));
        merged.push_back(TItem{std::move(node.key()), node.mapped()});
    }
    for (; kept != FItems.end(); ++kept) merged.push_back(std::move(*kept));
    FItems.swap(merged);
}

std::vector<TDbObjList::TItem>::const_iterator TDbObjList::LowerBound(std::string_view Key) const {
    return std::partition_point(FItems.cbegin(), FItems.cend(), [&](const TItem& It) { return FLess(It.Key, Key); });
}

bool TDbObjList::AddObject(const std::string& Key, TDbObj* Obj) {
    if (FDuplicates != TDuplicates::dupAccept && FindObj(Key)) {
        if (FDuplicates == TDuplicates::dupError) throw std::runtime_error("String list does not allow duplicates");
        return false;
    }
    // The hint puts the new entry right before the first equal one waiting.
    FPending.emplace_hint(FPending.lower_bound(Key), Key, Obj);
    return true;
}

void TDbObjList::Delete(int Index) {
    if (Index < 0 || Index >= Count()) throw std::out_of_range("List index out of bounds");
    Merge();
    FItems.erase(FItems.begin() + Index);
}

TDbObj* TDbObjList::Take(std::string_view Key) {
    TDbObj* obj = nullptr;
    if (const auto waiting = FPending.lower_bound(Key); waiting != FPending.end() && Same(Key, waiting->first)) {
        obj = waiting->second;
        FPending.erase(waiting);
    } else if (const auto at = LowerBound(Key); at != FItems.cend() && Same(Key, at->Key)) {
        obj = at->Obj;
        FItems.erase(at);
    }
    return obj;
}

std::vector<TDbObj*> TDbObjList::TakeIf(const std::function<bool(const TDbObj&)>& Match) {
    Merge();
    std::vector<TDbObj*> taken;
    std::erase_if(FItems, [&](const TItem& It) {
        if (!Match(*It.Obj)) return false;
        taken.push_back(It.Obj);
        return true;
    });
    return taken;
}

void TDbObjList::Clear() {
    FItems.clear();
    FPending.clear();
}

void TDbObjList::Rekey() {
    Merge();
    for (TItem& it : FItems) it.Key = it.Obj->GetKeyName();
    std::stable_sort(FItems.begin(), FItems.end(), [this](const TItem& A, const TItem& B) { return FLess(A.Key, B.Key); });
}

void TDbObjList::SetCaseSensitive(bool Value) {
    if (Value == CaseSensitive()) return;
    Merge();
    FLess.CaseSensitive = Value;
    FPending = TPending(FLess);
    std::stable_sort(FItems.begin(), FItems.end(), [this](const TItem& A, const TItem& B) { return FLess(A.Key, B.Key); });
}

TDbObj* TDbObjList::FindObj(std::string_view Key) const {
    if (const auto waiting = FPending.lower_bound(Key); waiting != FPending.end() && Same(Key, waiting->first))
        return waiting->second;
    const auto at = LowerBound(Key);
    return at != FItems.cend() && Same(Key, at->Key) ? at->Obj : nullptr;
}

bool TDbObjList::Find(std::string_view Key, int& Index) const {
    Items();
    const auto at = LowerBound(Key);
    Index = static_cast<int>(at - FItems.cbegin());
    return at != FItems.cend() && Same(Key, at->Key);
}

int TDbObjList::IndexOf(std::string_view Key) const {
    int index;
    return Find(Key, index) ? index : -1;
}

int TDbObjList::IndexOfObject(const TDbObj* Obj) const {
    const std::vector<TItem>& items = Items();
    for (size_t i = 0; i < items.size(); ++i)
        if (items[i].Obj == Obj) return static_cast<int>(i);
    return -1;
}

// ---- TCustomObjs ----

TCustomObjs::TCustomObjs() {
    for (TDbObjList& l : FLists) l.SetCaseSensitive(true);
    // Grants that do not merge may share a key; every filed grant must stay in the list.
    List(olGrants).SetDuplicates(TDuplicates::dupAccept);
    ConnectionOptions.UserName = "SYSDBA";
    ConnectionOptions.Password = DefaultPassword;
}

TCustomObjs::~TCustomObjs() {
    ConnectionOptions.UserName.clear();
    ConnectionOptions.Password.clear();
    DropExecutorLink();
    TCustomObjs::Clear();
}

void TCustomObjs::TExecWatch::Notification(TComponent* AComponent, TOperation Operation) {
    TComponent::Notification(AComponent, Operation);
    if (Operation == TOperation::opRemove && AComponent == FObjs->FSQLExec) FObjs->FSQLExec = nullptr;
}

void TCustomObjs::DropExecutorLink() {
    if (FSQLExec) FExecWatch.RemoveFreeNotification(FSQLExec);
    FSQLExec = nullptr;
}

void TCustomObjs::SetSQLExec(TCustomSQLExec* Value) {
    if (Value == FSQLExec) return;
    DropExecutorLink();
    FSQLExec = Value;
    if (Value) Value->FreeNotification(&FExecWatch);
}

void TCustomObjs::SetServerType(TServerType Value) {
    FServerType = Value;
    bool caseSensitive = !(Value == stASA || Value == stMSSQL || Value == stASE);
    for (int i = 0; i < ObjListCount; ++i) {
        auto kind = static_cast<TObjListKind>(i);
        bool alwaysSensitive = kind == olSchemas || kind == olOperators || kind == olOperatorClasses ||
                               kind == olConversions || kind == olEvents;
        FLists[static_cast<size_t>(i)].SetCaseSensitive(alwaysSensitive || caseSensitive);
    }
}

void TCustomObjs::Clear() {
    FViewIndex.reset();
    FTriggerIndex.reset();
    ScriptLines.Clear();
    for (TDbObjList& l : FLists) l.Clear();
    IBServerOptions.IBDatabaseOptions.Reset();
    MSSQLServerOptions.MSSQLDatabaseOptions.Reset();
    ASAServerOptions.ASADatabaseOptions.Reset();
    Terminator = ";";
    SourceKind = 0;
    CurrentSchema.clear();
    DatabaseDescription.clear();
}

namespace {
// Calls Visit with the name of every table the view has a dependency entry on, once per entry.
template <class F>
void ForEachTableRead(const TDbObj& View, F Visit) {
    for (int i = 0; i < View.DependsOn.Count(); ++i)
        if (const TDbObj* ref = View.DependsOn.Items(i)->Ref; ref && ref->GetObjList() == olTables) Visit(ref->Name);
}
} // namespace

std::vector<TDbObj*> TCustomObjs::ViewsReadingTable(const std::string& TableName) {
    const TDbObjList& views = List(olViews);
    if (!FKeepIndices) {
        std::vector<TDbObj*> found;
        for (int v = 0; v < views.Count(); ++v) {
            bool reads = false;
            ForEachTableRead(*views.Obj(v), [&](const std::string& Name) { reads = reads || Name == TableName; });
            if (reads) found.push_back(views.Obj(v));
        }
        return found;
    }
    if (!FViewIndex) {
        FViewIndex = std::make_unique<std::unordered_map<std::string, std::vector<TDbObj*>>>();
        for (int v = 0; v < views.Count(); ++v) {
            TDbObj* view = views.Obj(v);
            ForEachTableRead(*view, [&](const std::string& Name) {
                std::vector<TDbObj*>& readers = (*FViewIndex)[Name];
                if (readers.empty() || readers.back() != view) readers.push_back(view);
            });
        }
    }
    const auto it = FViewIndex->find(TableName);
    return it == FViewIndex->end() ? std::vector<TDbObj*>() : it->second;
}

std::vector<TDbObj*> TCustomObjs::TriggersOn(const TDbObj* Relation) {
    const TDbObjList& triggers = List(olTriggers);
    if (!FKeepIndices) {
        std::vector<TDbObj*> found;
        for (int i = 0; i < triggers.Count(); ++i)
            if (triggers.Obj(i)->GetRelation() == Relation) found.push_back(triggers.Obj(i));
        return found;
    }
    if (!FTriggerIndex) {
        FTriggerIndex = std::make_unique<std::unordered_map<const TDbObj*, std::vector<TDbObj*>>>();
        for (int i = 0; i < triggers.Count(); ++i)
            if (TDbObj* trigger = triggers.Obj(i); const TDbObj* relation = trigger->GetRelation())
                (*FTriggerIndex)[relation].push_back(trigger);
    }
    const auto it = FTriggerIndex->find(Relation);
    return it == FTriggerIndex->end() ? std::vector<TDbObj*>() : it->second;
}

void TCustomObjs::KeepIndices(bool Value) {
    FKeepIndices = Value;
    FViewIndex.reset();
    FTriggerIndex.reset();
}

void TCustomObjs::FreeObjects() {
    // Objects unregister their dependency entries from each other as they go; nothing filed
    // here may be touched through a list after its own deletion, so each list is emptied first.
    std::vector<TDbObj*> all;
    for (TDbObjList& l : FLists) {
        for (int i = 0; i < l.Count(); ++i) all.push_back(l.Obj(i));
        l.Clear();
    }
    for (TDbObj* o : all) delete o;
}

bool TCustomObjs::AcceptDbObject(TDbObj* Obj) {
    bool accept = Obj != nullptr;
    if (Obj && Structure && Structure->Extractor) accept = Structure->Extractor->AcceptObjName(Obj->Name, Obj->Kind);
    if (OnAcceptDbObj) OnAcceptDbObj(this, Obj, accept);
    return accept;
}

void TCustomObjs::AddDbObject(TDbObj* Obj, bool FreeIfRejected) {
    if (!Obj) return;
    auto reject = [&] {
        if (FreeIfRejected) delete Obj;
    };
    if (!AcceptDbObject(Obj)) return reject();
    if (FServerType == stInterBase && IBServerOptions.IBCompareOptions.IgnoreIBEObjects &&
        Obj->Name.compare(0, 4, "IBE$") == 0)
        return reject();
    TObjListKind kind = Obj->GetObjList();
    if (kind == olNone) {
        DoErrorMessage("Unknown DbObject to add (" + Obj->ClassName() + ")");
        return reject();
    }
    TDbObjList& list = List(kind);
    std::string key = Obj->GetKeyName();
    // The object filed first stays; a copy gets the next key of its own.
    while (list.FindObj(key)) {
        if (!Obj->NextKeyCopy()) return reject();
        key = Obj->GetKeyName();
    }
    list.AddObject(key, Obj);
}

TDbObj* TCustomObjs::MergeGrant(TDbObj* Grant) {
    if (!Grant) return nullptr;
    TDbObjList& grants = List(olGrants);
    for (int i = 0; i < grants.Count(); ++i)
        if (grants.Obj(i)->MergeGrant(Grant)) return nullptr;
    grants.AddObject(Grant->GetKeyName(), Grant);
    return Grant;
}

void TCustomObjs::RekeyGrants() {
    List(olGrants).Rekey();
}

TCustomObjs* TCustomObjs::GetMasterObjs() const {
    return Side == sideMaster ? const_cast<TCustomObjs*>(this) : CounterpartObjs;
}

TCustomObjs* TCustomObjs::GetTargetObjs() const {
    return Side == sideTarget ? const_cast<TCustomObjs*>(this) : CounterpartObjs;
}

int TCustomObjs::GetTargetODSMajor() const {
    if (Side == sideTarget) return IBServerOptions.IBDatabaseOptions.ODSMajor;
    if (CounterpartObjs && CounterpartObjs->Side == sideTarget)
        return CounterpartObjs->IBServerOptions.IBDatabaseOptions.ODSMajor;
    return 0;
}

std::string TCustomObjs::GetNamePrefix() const { return Structure ? Structure->NamePrefix : std::string(); }

std::string TCustomObjs::GetUserServerVersionText() const {
    const char* head = "Server Version (user defined): ";
    switch (FServerType) {
    case stInterBase: return head + GetServerVersionName(FServerType, IBServerOptions.SQLServerVersion);
    case stASA: return head + GetServerVersionName(FServerType, ASAServerOptions.SQLServerVersion);
    case stMySQL: return head + GetServerVersionName(FServerType, MySQLServerOptions.SQLServerVersion);
    case stOracle: return head + GetServerVersionName(FServerType, OracleServerOptions.SQLServerVersion);
    case stMSSQL: return head + GetServerVersionName(FServerType, MSSQLServerOptions.SQLServerVersion);
    case stPostgreSQL: return head + GetServerVersionName(FServerType, PGSQLServerOptions.SQLServerVersion);
    case stDB2: return head + GetServerVersionName(FServerType, DB2ServerOptions.SQLServerVersion);
    case stASE: return head + GetServerVersionName(FServerType, ASEServerOptions.SQLServerVersion);
    default: return {};
    }
}

void TCustomObjs::DoLogNextLine(const std::string& Text) {
    if (Structure && Structure->Extractor && Structure->Extractor->OnLogNextLine)
        Structure->Extractor->OnLogNextLine(this, Text);
    else if (FSQLExec && FSQLExec->OnLogNextLine)
        FSQLExec->OnLogNextLine(this, Text);
}

void TCustomObjs::DoErrorMessage(const std::string& Text) {
    if (Structure && Structure->Extractor) Structure->Extractor->DoErrorMessage(Text);
}

TDbObj* TCustomObjs::FindTableField(const std::string& Table, const std::string& Field) const {
    TDbObj* t = FindTable(Table);
    return t ? t->FindColumn(Field) : nullptr;
}

TDbObj* TCustomObjs::FindViewField(const std::string& View, const std::string& Field) const {
    TDbObj* v = FindView(View);
    return v ? v->FindColumn(Field) : nullptr;
}

TDbObj* TCustomObjs::FindProcParam(const std::string& Procedure, const std::string& Param) const {
    TDbObj* p = FindProcedure(Procedure);
    if (!p) return nullptr;
    for (int i = 0; i < p->GetInputParamCount(); ++i)
        if (TDbObj* a = p->GetInputParam(i); a && a->Name == Param) return a;
    for (int i = 0; i < p->GetOutputParamCount(); ++i)
        if (TDbObj* a = p->GetOutputParam(i); a && a->Name == Param) return a;
    return nullptr;
}

TDbObj* TCustomObjs::FindRoleOfKind(const std::string& AName, int RoleKind) const {
    const TDbObjList& roles = List(olRoles);
    for (int i = 0; i < roles.Count(); ++i)
        if (TDbObj* r = roles.Obj(i); r->Name == AName && r->GetRoleKind() == RoleKind) return r;
    return nullptr;
}

// ---- TObjs ----

TObjs::~TObjs() { TObjs::Clear(); }

void TObjs::Clear() {
    FreeObjects();
    TCustomObjs::Clear();
}

void TObjs::StoreCreateTexts() {
    for (TObjListKind kind : {olViews, olProcedures, olTriggers}) {
        TDbObjList& l = List(kind);
        for (int i = 0; i < l.Count(); ++i) {
            TDbObj* o = l.Obj(i);
            o->StoredSQL = o->GetCapturedSQL();
            o->CurrentSQL = o->StoredSQL;
        }
    }
}

// ---- structures ----

void TCustomDBStructure::Clear() {
    if (FObjs) FObjs->Clear();
    NamePrefix.clear();
}

void TCustomDBStructure::SetServerType(TServerType Value) {
    if (FObjs) FObjs->SetServerType(Value);
}

TServerType TCustomDBStructure::GetServerType() const { return FObjs ? FObjs->ServerType() : stNone; }

TDBStructure::TDBStructure(TComponent* AOwner) : TCustomDBStructure(AOwner) {
    FObjs = std::make_unique<TObjs>();
    FObjs->Structure = this;
}

} // namespace qnl
