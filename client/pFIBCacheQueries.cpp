// Implements the statement pool; see pFIBCacheQueries.h.
#include "client/pFIBCacheQueries.h"

#include "client/StrUtil.h"

#include <algorithm>

namespace qnl {

namespace {

std::string PoolKey(const std::string& SQL) { return FastTrim(SQL); }

} // namespace

// --- TCacheQueries --------------------------------------------------------------------------

TCacheQueries::TCacheQueries(TFIBDatabase* Database) : FDatabase(Database), FIdle(this, true) {}

TCacheQueries::~TCacheQueries() {
    FClearing = true;
    for (TFIBQuery* query : std::vector<TFIBQuery*>(FInUse)) delete query;
    while (FIdle.Count() > 0) (void)FIdle.Delete(FIdle.Count() - 1);
    FInUse.clear();
}

TFIBQuery* TCacheQueries::GetQuery(TFIBTransaction* Transaction, const std::string& SQL) {
    TFIBQuery* query = nullptr;
    int index = -1;
    if (FIdle.Find(PoolKey(SQL), index)) {
        query = static_cast<TFIBQuery*>(FIdle.Delete(index).release());
        if (query->Transaction() != Transaction) query->SetTransaction(Transaction);
    } else {
        query = new TFIBQuery(nullptr);
        query->FreeNotification(this);
        query->SetDatabase(FDatabase);
        query->SetTransaction(Transaction);
        query->SQL().SetText(SQL);
    }
    FInUse.push_back(query);
    return query;
}

void TCacheQueries::ReturnQuery(TFIBQuery* Query) {
    auto it = std::find(FInUse.begin(), FInUse.end(), Query);
    if (it == FInUse.end()) return;
    FInUse.erase(it);
    const std::string key = PoolKey(Query->SQL().Text());
    int index = -1;
    if (FIdle.Find(key, index)) {
        // Another statement of this text is idle already; this one would stay in no list and
        // keep its prepared statement on the server.
        delete Query;
        return;
    }
    FIdle.AddObject(key, std::unique_ptr<TObject>(Query));
}

TFIBQuery* TCacheQueries::FindIdle(const std::string& SQL) const {
    int index = -1;
    return FIdle.Find(PoolKey(SQL), index) ? static_cast<TFIBQuery*>(FIdle.GetObject(index)) : nullptr;
}

void TCacheQueries::Notification(TComponent* AComponent, TOperation Operation) {
    TComponent::Notification(AComponent, Operation);
    if (Operation != TOperation::opRemove || FClearing) return;
    // The statement is being destroyed: compare pointers, never call into it.
    std::lock_guard lock(CacheList().Lock());
    FInUse.erase(std::remove(FInUse.begin(), FInUse.end(), AComponent), FInUse.end());
    for (int i = 0; i < FIdle.Count(); ++i)
        if (FIdle.GetObject(i) == AComponent) {
            (void)FIdle.Delete(i).release();   // its destructor is running already
            break;
        }
}

// --- TCacheList -----------------------------------------------------------------------------

TCacheList::TCacheList() : TComponent(nullptr) {}

TCacheList::~TCacheList() {
    std::lock_guard lock(FLock);
    FPools.clear();
}

TCacheList& CacheList() {
    static auto* list = new TCacheList;   // outlives every database, even at exit
    return *list;
}

TCacheQueries* TCacheList::GetCacheForDatabase(TFIBDatabase* Database) {
    std::lock_guard lock(FLock);
    for (const auto& pool : FPools)
        if (pool->Database() == Database) return pool.get();
    FPools.push_back(std::make_unique<TCacheQueries>(Database));
    return FPools.back().get();
}

TFIBQuery* TCacheList::GetQuery(TFIBTransaction* Transaction, const std::string& SQL) {
    if (!Transaction) return nullptr;
    TFIBDatabase* db = Transaction->DefaultDatabase();
    if (!db) {
        if (Transaction->GetDatabaseCount() != 1) return nullptr;
        db = Transaction->Databases(0);
    }
    std::lock_guard lock(FLock);
    db->FreeNotification(this);
    return GetCacheForDatabase(db)->GetQuery(Transaction, SQL);
}

void TCacheList::ReturnQuery(TFIBQuery* Query) {
    if (!Query || !Query->Database()) return;
    std::lock_guard lock(FLock);
    GetCacheForDatabase(Query->Database())->ReturnQuery(Query);
}

void TCacheList::Notification(TComponent* AComponent, TOperation Operation) {
    TComponent::Notification(AComponent, Operation);
    if (Operation != TOperation::opRemove) return;
    std::vector<std::unique_ptr<TCacheQueries>> gone;
    {
        std::lock_guard lock(FLock);
        for (auto it = FPools.begin(); it != FPools.end();) {
            if (static_cast<TComponent*>((*it)->Database()) == AComponent) {
                gone.push_back(std::move(*it));
                it = FPools.erase(it);
            } else {
                ++it;
            }
        }
        gone.clear();
    }
}

// --- Free routines --------------------------------------------------------------------------

TFIBQuery* GetQueryForUse(TFIBTransaction* Transaction, const std::string& SQL) {
    TFIBQuery* query = CacheList().GetQuery(Transaction, SQL);
    if (query && query->Open()) query->Close();
    return query;
}

void FreeQueryForUse(TFIBQuery* Query) {
    if (!Query) return;
    if (Query->Open()) Query->Close();
    CacheList().ReturnQuery(Query);
}

void FreeHandleCachedQuery(TFIBDatabase* Database, const std::string& SQL) {
    TCacheList& list = CacheList();
    std::lock_guard lock(list.Lock());
    if (TFIBQuery* query = list.GetCacheForDatabase(Database)->FindIdle(SQL)) query->FreeHandle();
}

} // namespace qnl
