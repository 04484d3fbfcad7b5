#pragma once
// The process-wide pool of prepared statements: per database, the statements that were used,
// keyed by their SQL text (trimmed of blanks and line breaks at both ends), so that the next
// request for the same text gets an already prepared statement back.
//
// A pooled statement is idle (in the pool, prepared, no cursor open) or in use (handed out).
// Two users of one text at once get two statements; when both come back only one stays idle and
// the other is freed, so no prepared statement is left on the server that nothing can reach. A
// pool lives from the first request for its database until that database is destroyed.
//
// Finding and creating pools, every hand-out and every return run under one process-wide lock.
#include "client/FIBQuery.h"
#include "client/zUZIVivav.h"

#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace qnl {

// The pool of one database.
class TCacheQueries : public TComponent {
public:
    explicit TCacheQueries(TFIBDatabase* Database);
    ~TCacheQueries() override;
    std::string ClassName() const override { return "TCacheQueries"; }

    TFIBDatabase* Database() const { return FDatabase; }
    // The idle statement of the text, or a new one (no owner) of the pool's database; the
    // statement gets Transaction when it has another one.
    TFIBQuery* GetQuery(TFIBTransaction* Transaction, const std::string& SQL);
    // A statement handed out by this pool becomes idle, keeping its prepared server statement;
    // when its text is idle already, it is freed instead. Others are left alone.
    void ReturnQuery(TFIBQuery* Query);
    // The idle statement of the text, nil when there is none.
    TFIBQuery* FindIdle(const std::string& SQL) const;
    int IdleCount() const { return FIdle.Count(); }
    int InUseCount() const { return static_cast<int>(FInUse.size()); }

protected:
    void Notification(TComponent* AComponent, TOperation Operation) override;

private:
    TFIBDatabase* FDatabase;
    TObjStringList FIdle;
    std::vector<TFIBQuery*> FInUse;
    bool FClearing = false;
};

// Every pool of the process.
class TCacheList : public TComponent {
public:
    TCacheList();
    ~TCacheList() override;
    std::string ClassName() const override { return "TCacheList"; }

    // The pool's statement for the transaction's database: its DefaultDatabase, else the only
    // database it lists; nil without a transaction or a single database.
    TFIBQuery* GetQuery(TFIBTransaction* Transaction, const std::string& SQL);
    void ReturnQuery(TFIBQuery* Query);
    // The pool of the database, made when there is none.
    TCacheQueries* GetCacheForDatabase(TFIBDatabase* Database);
    std::recursive_mutex& Lock() { return FLock; }

protected:
    void Notification(TComponent* AComponent, TOperation Operation) override;

private:
    std::vector<std::unique_ptr<TCacheQueries>> FPools;
    std::recursive_mutex FLock;
};

TCacheList& CacheList();

// A pooled statement of the text for the transaction (nil as TCacheList::GetQuery answers), with
// no cursor open.
TFIBQuery* GetQueryForUse(TFIBTransaction* Transaction, const std::string& SQL);
// Closes the statement's cursor and gives it back to its pool.
void FreeQueryForUse(TFIBQuery* Query);
// Drops the prepared server statement of the database's idle statement of the text.
void FreeHandleCachedQuery(TFIBDatabase* Database, const std::string& SQL);

} // namespace qnl
