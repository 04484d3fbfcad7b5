#pragma once
// The SQL trace channel. Databases, transactions, statements and services tell one process-wide
// hook what they do; the hook formats a text per event and queues it, and a writer thread copies
// each text in pieces into a shared-memory block that monitor programs of the same user read.
// While no monitor is registered on the channel nothing is formatted, queued or started.
//
// The channel is two POSIX shared-memory objects, both created for their owner alone (mode
// 0600), so no other user can read traced statements or their parameter values:
// - "/<name>.SharedMem": the 2048-byte block whose layout monitors know (TMonitorBlock);
// - "/<name>.Sync": the channel mutex (process-shared, recursive, and robust, so that a monitor
//   that dies holding it does not stop the writer) and four manual-reset events, each a flag
//   with a condition variable.
// No wait of the traced process is without a limit: the writer takes the mutex and waits for
// the monitors in steps of a second, drops a monitor that does not answer and gives up on a
// message it cannot deliver.
#include "platform/Component.h"

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

namespace qnl {

class TFIBQuery;
class TFIBDatabase;
class TFIBTransaction;

// Categories of trace messages; the block's request words are per category.
inline constexpr uint8_t tcPrepare = 0;
inline constexpr uint8_t tcExecute = 1;
inline constexpr uint8_t tcFetch = 2;
inline constexpr uint8_t tcConnect = 3;
inline constexpr uint8_t tcTransaction = 4;
inline constexpr uint8_t tcService = 5;

// Offsets in the shared block; integers are 32-bit signed little-endian, the time stamp a double
// (days since 1899-12-30).
struct TMonitorBlock {
    static constexpr size_t Size = 2048;
    static constexpr size_t Text = 0;              // the current piece, not terminated
    static constexpr size_t TextSize = 2002;       // the longest piece
    static constexpr size_t PieceFlag = 2003;      // 1 with every piece
    static constexpr size_t TimeStamp = 2004;
    static constexpr size_t TransactionWord = 2012;   // the request words, written by monitors
    static constexpr size_t ConnectWord = 2016;
    static constexpr size_t FetchWord = 2020;
    static constexpr size_t ExecuteWord = 2024;
    static constexpr size_t PrepareWord = 2028;
    static constexpr size_t PieceLength = 2032;
    static constexpr size_t Category = 2036;
    static constexpr size_t ReaderCounter = 2040;   // monitors that still have to read
    static constexpr size_t MonitorCount = 2044;    // attached monitors
};

enum class TMonitorEvent : uint8_t { Write, WriteFinished, Read, ReadFinished };

// The prefix of the channel's object names, "FIB.SQL.MONITOR" unless changed. Changing it frees
// the hook, so that the next trace opens the channel of the new name (tests choose their own,
// so that test programs running side by side never share one). Call it while no other thread
// traces: the old hook is freed.
std::string MonitorChannelName();
void SetMonitorChannelName(const std::string& Name);

// One process's mapping of a channel: the block and the synchronisation object, created when
// they do not exist. Used by the writer and by monitor programs alike.
class TSQLMonitorChannel {
public:
    // Opens or creates the channel Name; a failure raises client error 54 with the system's
    // error number. Objects of the name that another user owns, or that others may open, are
    // refused (EACCES) rather than used.
    explicit TSQLMonitorChannel(const std::string& Name);
    ~TSQLMonitorChannel();
    TSQLMonitorChannel(const TSQLMonitorChannel&) = delete;
    TSQLMonitorChannel& operator=(const TSQLMonitorChannel&) = delete;

    // The two objects' names as shm_open takes them.
    static std::string BlockObjectName(const std::string& Name);
    static std::string SyncObjectName(const std::string& Name);

    char* Block() const { return FBlock; }
    // The block's 32-bit integers, read and changed atomically (offsets are multiples of 4).
    int32_t Load(size_t Offset) const;
    void Store(size_t Offset, int32_t Value);
    // Adds Delta and answers the new value.
    int32_t Add(size_t Offset, int32_t Delta);

    // The channel mutex, recursive; an owner that died leaves it to the next one. False when it
    // could not be had within Timeout.
    bool Lock(std::chrono::milliseconds Timeout);
    void Unlock();

    // False only when the event's own lock could not be had within a second.
    bool SetEvent(TMonitorEvent Event);
    bool ResetEvent(TMonitorEvent Event);
    // True when the event is set, waiting for it up to Timeout.
    bool WaitEvent(TMonitorEvent Event, std::chrono::milliseconds Timeout);

private:
    struct TSync;
    char* FBlock = nullptr;
    TSync* FSync = nullptr;
};

// A queued trace message.
struct TFIBTraceObject {
    uint8_t Category = 0;
    std::string Text;
    double TimeStamp = 0;   // when it was made
};

class TMonitorWriterThread;

class TFIBSQLMonitorHook {
public:
    // Opens the channel of MonitorChannelName(); a failure turns Enabled off instead.
    TFIBSQLMonitorHook();
    virtual ~TFIBSQLMonitorHook();
    TFIBSQLMonitorHook(const TFIBSQLMonitorHook&) = delete;
    TFIBSQLMonitorHook& operator=(const TFIBSQLMonitorHook&) = delete;

    bool Enabled() const { return FEnabled; }
    // False stops and frees the writer thread.
    void SetEnabled(bool Value);
    bool ChannelOpen() const { return FChannel != nullptr; }
    // The number of monitors registered on the channel; 0 when it is not open.
    int32_t MonitorCount() const;

    virtual void TracePrepare(TFIBQuery& Query);
    virtual void TraceExecute(TFIBQuery& Query, const std::string& AddedText = {});
    virtual void TraceFetch(TFIBQuery& Query);
    virtual void TraceConnect(TFIBDatabase& Database);
    virtual void TraceDisconnect(TFIBDatabase& Database);
    virtual void TraceStartTransaction(TFIBTransaction& Transaction);
    virtual void TraceCommit(TFIBTransaction& Transaction);
    // Kind 0 sets, 1 rolls back to, 2 releases the savepoint.
    virtual void TraceSavepoint(TFIBTransaction& Transaction, const std::string& SavepointName, int Kind);
    virtual void TraceCommitRetaining(TFIBTransaction& Transaction);
    virtual void TraceRollback(TFIBTransaction& Transaction);
    virtual void TraceRollbackRetaining(TFIBTransaction& Transaction);
    virtual void TraceServiceAttach(TComponent& Service);
    virtual void TraceServiceDetach(TComponent& Service);
    virtual void TraceServiceQuery(TComponent& Service);
    virtual void TraceServiceStart(TComponent& Service);

    // Queues the message (a header naming the program, then Text) for the monitors; nothing
    // when none is registered.
    void WriteSQLData(const std::string& Text, uint8_t Category);

    // Whether the writer thread exists and how many messages wait for it.
    bool WriterRunning() const;
    size_t QueuedCount() const;

private:
    // True when a message of the category would reach a monitor: enabled, switched on, a
    // monitor registered and, for RequestWord, a monitor asking for the category.
    bool Wanted(size_t RequestWord) const;
    bool WantedNoWord() const;
    void TraceTransaction(TFIBTransaction& Transaction, const char* Operation);
    bool OpenChannel();
    // Stop drops what is queued; otherwise the writer writes it first.
    void FreeWriter(bool Stop);

    std::atomic<bool> FEnabled{true};
    std::unique_ptr<TSQLMonitorChannel> FChannel;
    mutable std::mutex FWriterLock;
    std::unique_ptr<TMonitorWriterThread> FWriter;
};

// The hook, made on first use (nil while the process shuts down).
TFIBSQLMonitorHook* MonitorHook();
// False when tracing is off; true while the channel is not opened yet; else true only while a
// monitor is registered.
bool MonitoringWanted();

// Runs Call on the hook when monitoring is wanted. A failing trace never changes what the traced
// operation does: its errors are dropped.
template <class F>
void MonitorTrace(F&& Call) noexcept {
    if (!MonitoringWanted()) return;
    TFIBSQLMonitorHook* hook = MonitorHook();
    if (!hook) return;
    try {
        Call(*hook);
    } catch (...) {
    }
}

} // namespace qnl
