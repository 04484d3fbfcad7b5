// Implements the SQL trace channel: the shared objects, the hook's texts and the writer thread;
// see FIBSQLMonitor.h.
#include "client/FIBSQLMonitor.h"

#include "client/FIBDatabase.h"
#include "client/FIBQuery.h"
#include "client/StrUtil.h"
#include "client/fib.h"
#include "platform/DataSet.h"
#include "platform/DateTime.h"
#include "platform/Files.h"

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <pthread.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <thread>
#include <time.h>
#include <unistd.h>

namespace qnl {

namespace {

using namespace std::chrono_literals;

// "FIBS" and a layout version: an opener waits for it, so it never uses a half-made object.
constexpr uint32_t SyncMagic = 0x46494253u + 1u;
// How long an opener waits for the creator to finish the objects.
constexpr auto OpenWait = 2000ms;
// The writer's wait for the mutex before it gives up on a message, and its steps.
constexpr auto MutexWait = 5000ms;
constexpr auto HandshakeStep = 1000ms;
constexpr int HandshakeSteps = 10;
constexpr auto EventLockWait = 1000ms;

[[noreturn]] void RaiseSharedResourceError(int Error) { RaiseClientError(cecCannotCreateSharedResource, {Error}); }

timespec MonotonicDeadline(std::chrono::milliseconds Timeout) {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(Timeout).count() + now.tv_nsec;
    now.tv_sec += static_cast<time_t>(ns / 1000000000);
    now.tv_nsec = static_cast<long>(ns % 1000000000);
    return now;
}

// A robust mutex taken by the deadline; a dead owner's mutex is made consistent and taken.
bool LockUntil(pthread_mutex_t* Mutex, const timespec& Deadline) {
    const int rc = pthread_mutex_clocklock(Mutex, CLOCK_MONOTONIC, &Deadline);
    if (rc == EOWNERDEAD) {
        pthread_mutex_consistent(Mutex);
        return true;
    }
    return rc == 0;
}

// The objects must be the caller's own and closed to everybody else: a channel made by another
// user (or opened up) would hand the traced statements to it.
void CheckPrivate(int Fd) {
    struct stat st{};
    if (fstat(Fd, &st) != 0) RaiseSharedResourceError(errno);
    if (st.st_uid != geteuid() || (st.st_mode & 077) != 0) RaiseSharedResourceError(EACCES);
}

// Opens or creates one object; Created tells which. New objects are 0600 whatever the umask.
int OpenObject(const std::string& Name, bool& Created) {
    int fd = shm_open(Name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    Created = fd >= 0;
    if (fd >= 0) {
        if (fchmod(fd, 0600) != 0) {
            const int error = errno;
            close(fd);
            RaiseSharedResourceError(error);
        }
        return fd;
    }
    if (errno != EEXIST) RaiseSharedResourceError(errno);
    fd = shm_open(Name.c_str(), O_RDWR | O_CLOEXEC, 0);
    if (fd < 0) RaiseSharedResourceError(errno);
    try {
        CheckPrivate(fd);
    } catch (...) {
        close(fd);
        throw;
    }
    return fd;
}

// Maps Size bytes of Fd, the creator sizing it first; an opener waits for the creator's size.
void* MapObject(int Fd, size_t Size, bool Created) {
    if (Created) {
        if (ftruncate(Fd, static_cast<off_t>(Size)) != 0) RaiseSharedResourceError(errno);
    } else {
        const auto deadline = std::chrono::steady_clock::now() + OpenWait;
        for (;;) {
            struct stat st{};
            if (fstat(Fd, &st) != 0) RaiseSharedResourceError(errno);
            if (static_cast<size_t>(st.st_size) >= Size) break;
            if (std::chrono::steady_clock::now() > deadline) RaiseSharedResourceError(EAGAIN);
            std::this_thread::sleep_for(5ms);
        }
    }
    void* p = mmap(nullptr, Size, PROT_READ | PROT_WRITE, MAP_SHARED, Fd, 0);
    if (p == MAP_FAILED) RaiseSharedResourceError(errno);
    return p;
}

// Closes a descriptor at the end of the scope.
struct TFd {
    int Value;
    ~TFd() {
        if (Value >= 0) close(Value);
    }
};

} // namespace

// --- The channel ----------------------------------------------------------------------------

struct TSQLMonitorChannel::TSync {
    struct TEvent {
        int32_t Signalled;
        pthread_cond_t Cond;
    };
    std::atomic<uint32_t> Magic;
    pthread_mutex_t Mutex;       // the channel mutex: robust, recursive
    pthread_mutex_t EventLock;   // guards the events' flags: robust
    TEvent Events[4];
};
static_assert(std::atomic<uint32_t>::is_always_lock_free);

std::string TSQLMonitorChannel::BlockObjectName(const std::string& Name) { return "/" + Name + ".SharedMem"; }
std::string TSQLMonitorChannel::SyncObjectName(const std::string& Name) { return "/" + Name + ".Sync"; }

TSQLMonitorChannel::TSQLMonitorChannel(const std::string& Name) {
    // The synchronisation object decides who creates: its creator makes the block too and marks
    // the object ready last, so an opener that sees the mark finds both complete.
    bool created = false;
    TFd sync{OpenObject(SyncObjectName(Name), created)};
    FSync = static_cast<TSync*>(MapObject(sync.Value, sizeof(TSync), created));
    try {
        if (created) {
            pthread_mutexattr_t ma;
            pthread_mutexattr_init(&ma);
            pthread_mutexattr_setpshared(&ma, PTHREAD_PROCESS_SHARED);
            pthread_mutexattr_setrobust(&ma, PTHREAD_MUTEX_ROBUST);
            pthread_mutexattr_settype(&ma, PTHREAD_MUTEX_RECURSIVE);
            pthread_mutex_init(&FSync->Mutex, &ma);
            pthread_mutexattr_settype(&ma, PTHREAD_MUTEX_NORMAL);
            pthread_mutex_init(&FSync->EventLock, &ma);
            pthread_mutexattr_destroy(&ma);
            pthread_condattr_t ca;
            pthread_condattr_init(&ca);
            pthread_condattr_setpshared(&ca, PTHREAD_PROCESS_SHARED);
            pthread_condattr_setclock(&ca, CLOCK_MONOTONIC);
            for (TSync::TEvent& event : FSync->Events) {
                event.Signalled = 0;
                pthread_cond_init(&event.Cond, &ca);
            }
            pthread_condattr_destroy(&ca);
            FSync->Events[static_cast<int>(TMonitorEvent::WriteFinished)].Signalled = 1;
        } else {
            const auto deadline = std::chrono::steady_clock::now() + OpenWait;
            while (FSync->Magic.load(std::memory_order_acquire) != SyncMagic) {
                if (std::chrono::steady_clock::now() > deadline) RaiseSharedResourceError(EAGAIN);
                std::this_thread::sleep_for(5ms);
            }
        }
        bool blockCreated = false;
        TFd block{OpenObject(BlockObjectName(Name), blockCreated)};
        FBlock = static_cast<char*>(MapObject(block.Value, TMonitorBlock::Size, created || blockCreated));
        if (created) {
            // A block left by an earlier channel of the name starts over.
            std::memset(FBlock + TMonitorBlock::TransactionWord, 0, TMonitorBlock::PieceLength + 4 - TMonitorBlock::TransactionWord);
            Store(TMonitorBlock::ReaderCounter, 0);
            Store(TMonitorBlock::MonitorCount, 0);
            FSync->Magic.store(SyncMagic, std::memory_order_release);
        }
    } catch (...) {
        if (FBlock) munmap(FBlock, TMonitorBlock::Size);
        munmap(FSync, sizeof(TSync));
        throw;
    }
    if (Load(TMonitorBlock::MonitorCount) < 0) Store(TMonitorBlock::MonitorCount, 0);
    if (Load(TMonitorBlock::ReaderCounter) < 0) Store(TMonitorBlock::ReaderCounter, 0);
}

TSQLMonitorChannel::~TSQLMonitorChannel() {
    munmap(FBlock, TMonitorBlock::Size);
    munmap(FSync, sizeof(TSync));
}

int32_t TSQLMonitorChannel::Load(size_t Offset) const {
    return std::atomic_ref<int32_t>(*reinterpret_cast<int32_t*>(FBlock + Offset)).load();
}

void TSQLMonitorChannel::Store(size_t Offset, int32_t Value) {
    std::atomic_ref<int32_t>(*reinterpret_cast<int32_t*>(FBlock + Offset)).store(Value);
}

int32_t TSQLMonitorChannel::Add(size_t Offset, int32_t Delta) {
    return std::atomic_ref<int32_t>(*reinterpret_cast<int32_t*>(FBlock + Offset)).fetch_add(Delta) + Delta;
}

bool TSQLMonitorChannel::Lock(std::chrono::milliseconds Timeout) {
    return LockUntil(&FSync->Mutex, MonotonicDeadline(Timeout));
}

void TSQLMonitorChannel::Unlock() { pthread_mutex_unlock(&FSync->Mutex); }

bool TSQLMonitorChannel::SetEvent(TMonitorEvent Event) {
    if (!LockUntil(&FSync->EventLock, MonotonicDeadline(EventLockWait))) return false;
    TSync::TEvent& event = FSync->Events[static_cast<int>(Event)];
    event.Signalled = 1;
    pthread_cond_broadcast(&event.Cond);
    pthread_mutex_unlock(&FSync->EventLock);
    return true;
}

bool TSQLMonitorChannel::ResetEvent(TMonitorEvent Event) {
    if (!LockUntil(&FSync->EventLock, MonotonicDeadline(EventLockWait))) return false;
    FSync->Events[static_cast<int>(Event)].Signalled = 0;
    pthread_mutex_unlock(&FSync->EventLock);
    return true;
}

bool TSQLMonitorChannel::WaitEvent(TMonitorEvent Event, std::chrono::milliseconds Timeout) {
    const timespec deadline = MonotonicDeadline(Timeout);
    if (!LockUntil(&FSync->EventLock, deadline)) return false;
    TSync::TEvent& event = FSync->Events[static_cast<int>(Event)];
    while (!event.Signalled) {
        const int rc = pthread_cond_clockwait(&event.Cond, &FSync->EventLock, CLOCK_MONOTONIC, &deadline);
        if (rc == EOWNERDEAD) pthread_mutex_consistent(&FSync->EventLock);
        else if (rc != 0) break;
    }
    const bool set = event.Signalled != 0;
    pthread_mutex_unlock(&FSync->EventLock);
    return set;
}

// --- The writer thread ----------------------------------------------------------------------

class TMonitorWriterThread {
public:
    explicit TMonitorWriterThread(TSQLMonitorChannel& Channel) : FChannel(Channel), FThread([this] { Execute(); }) {}
    // Terminates and waits: the queue is written first unless Stop was called.
    ~TMonitorWriterThread() {
        {
            std::lock_guard lk(FLock);
            FTerminated = true;
        }
        FWake.notify_all();
        FThread.join();
    }
    TMonitorWriterThread(const TMonitorWriterThread&) = delete;
    TMonitorWriterThread& operator=(const TMonitorWriterThread&) = delete;

    void Push(TFIBTraceObject Object) {
        {
            std::lock_guard lk(FLock);
            FQueue.push_back(std::move(Object));
        }
        FWake.notify_all();
    }
    // The thread ends after the piece it writes; what is queued is dropped.
    void Stop() {
        FStop = true;
        FWake.notify_all();
    }
    size_t Count() const {
        std::lock_guard lk(FLock);
        return FQueue.size();
    }

private:
    void Execute();
    void WriteToMonitor(const TFIBTraceObject& Object);
    void WritePiece(const TFIBTraceObject& Object, const char* Piece, size_t Length);
    void Handshake();
    bool Stopping() const { return FStop.load(); }

    TSQLMonitorChannel& FChannel;
    mutable std::mutex FLock;
    std::condition_variable FWake;
    std::deque<TFIBTraceObject> FQueue;
    bool FTerminated = false;
    std::atomic<bool> FStop{false};
    std::thread FThread;
};

void TMonitorWriterThread::Execute() {
    for (;;) {
        std::unique_lock lk(FLock);
        if (FStop) return;
        if (FChannel.Load(TMonitorBlock::MonitorCount) == 0) {
            FQueue.clear();
            if (FTerminated) return;
            FWake.wait_for(lk, 50ms);
            continue;
        }
        if (FQueue.empty()) {
            if (FTerminated) return;
            FWake.wait_for(lk, 50ms);
            continue;
        }
        TFIBTraceObject object = std::move(FQueue.front());
        FQueue.pop_front();
        lk.unlock();
        WriteToMonitor(object);
    }
}

namespace {

// Control characters other than tab, line feed and carriage return as "#$" and two hex digits.
std::string EscapeForMonitor(const std::string& Text) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(Text.size());
    for (const char ch : Text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 32 && c != 9 && c != 10 && c != 13) {
            out += "#$";
            out += digits[c >> 4];
            out += digits[c & 15];
        } else {
            out += ch;
        }
    }
    return out;
}

} // namespace

void TMonitorWriterThread::WriteToMonitor(const TFIBTraceObject& Object) {
    // A message that cannot have the mutex in time is dropped: a monitor stuck with it must not
    // stop the traced program.
    if (!FChannel.Lock(MutexWait)) return;
    if (FChannel.Load(TMonitorBlock::MonitorCount) != 0) {
        const std::string text = EscapeForMonitor(Object.Text);
        for (size_t pos = 0; pos < text.size() && !Stopping(); pos += TMonitorBlock::TextSize) {
            if (!FChannel.Lock(MutexWait)) break;
            WritePiece(Object, text.data() + pos, std::min(TMonitorBlock::TextSize, text.size() - pos));
        }
    }
    FChannel.Unlock();
}

void TMonitorWriterThread::WritePiece(const TFIBTraceObject& Object, const char* Piece, size_t Length) {
    char* block = FChannel.Block();
    FChannel.Store(TMonitorBlock::Category, Object.Category);
    std::memcpy(block + TMonitorBlock::TimeStamp, &Object.TimeStamp, sizeof Object.TimeStamp);
    block[TMonitorBlock::PieceFlag] = 1;
    FChannel.Store(TMonitorBlock::PieceLength, static_cast<int32_t>(Length));
    std::memcpy(block + TMonitorBlock::Text, Piece, Length);
    Handshake();
}

void TMonitorWriterThread::Handshake() {
    // The monitors say they are ready; one that does not within a step is dropped from the count.
    bool forced = false;
    for (int step = 0; !FChannel.WaitEvent(TMonitorEvent::Read, HandshakeStep); ++step) {
        int32_t count = FChannel.Load(TMonitorBlock::MonitorCount);
        if (count > 0) count = FChannel.Add(TMonitorBlock::MonitorCount, -1);
        if (count < 0) FChannel.Store(TMonitorBlock::MonitorCount, count = 0);
        if (FChannel.Load(TMonitorBlock::ReaderCounter) == count - 1 || count == 0)
            forced = FChannel.SetEvent(TMonitorEvent::Read);
        if (step >= HandshakeSteps || Stopping()) break;
    }
    // The read event the writer set itself only ended its own wait. Left set, it would let the
    // next piece go before a monitor that registers meanwhile is ready, and that monitor would
    // miss the piece.
    if (forced) FChannel.ResetEvent(TMonitorEvent::Read);
    FChannel.ResetEvent(TMonitorEvent::WriteFinished);
    FChannel.ResetEvent(TMonitorEvent::ReadFinished);
    FChannel.SetEvent(TMonitorEvent::Write);
    for (int step = 0; !FChannel.WaitEvent(TMonitorEvent::ReadFinished, HandshakeStep); ++step) {
        if (FChannel.Load(TMonitorBlock::ReaderCounter) <= 0 || FChannel.Add(TMonitorBlock::ReaderCounter, -1) <= 0)
            FChannel.SetEvent(TMonitorEvent::ReadFinished);
        if (step >= HandshakeSteps || Stopping()) break;
    }
    FChannel.ResetEvent(TMonitorEvent::Write);
    FChannel.SetEvent(TMonitorEvent::WriteFinished);
    FChannel.Unlock();
}

// --- Process-wide state ---------------------------------------------------------------------

namespace {

struct TMonitorUnit {
    std::mutex CreateLock;
    std::atomic<TFIBSQLMonitorHook*> Hook{nullptr};
    std::atomic<bool> ShuttingDown{false};
    std::atomic<bool> Switch{true};   // nothing turns it off
    std::string ChannelName = "FIB.SQL.MONITOR";
};

// Never destroyed, so that a trace during the process's exit still finds it.
TMonitorUnit& Unit() {
    static auto* unit = new TMonitorUnit;
    return *unit;
}

// The unit's end: the writer stopped and joined, the hook freed, before the process exits.
struct TMonitorUnitEnd {
    TMonitorUnitEnd() { Unit(); }
    ~TMonitorUnitEnd() {
        TMonitorUnit& unit = Unit();
        unit.ShuttingDown = true;
        std::lock_guard lk(unit.CreateLock);
        delete unit.Hook.exchange(nullptr);
    }
} MonitorUnitEnd;

const std::string& ProgramFileName() {
    static const std::string name = [] {
        char path[4096];
        const ssize_t n = readlink("/proc/self/exe", path, sizeof path);
        return n > 0 ? ExtractFileName(std::string(path, static_cast<size_t>(n))) : std::string();
    }();
    return name;
}

std::string QueryTraceName(TFIBQuery& Query, bool WithStatement) {
    if (const auto* owner = dynamic_cast<const TDataSet*>(Query.Owner()))
        return WithStatement ? owner->Name() + "." + Query.Name() : owner->Name();
    return Query.Name();
}

std::string ParamValueText(TFIBXSQLVAR& Var) {
    try {
        if (Var.GetIsNull()) return "<NULL>";
        switch (Var.GetSQLType()) {
        case SQL_TEXT:
        case SQL_VARYING: return "'" + Var.GetAsString() + "'";
        case SQL_BLOB: {
            const ISC_QUAD id = Var.GetAsQuad();
            return "<BLOB> (BLOB_ID=" + std::to_string(static_cast<int32_t>(id.gds_quad_high)) + "," +
                   std::to_string(static_cast<uint32_t>(id.gds_quad_low)) + ")";
        }
        case SQL_ARRAY: return "<ARRAY>";
        default: return Var.GetAsString();
        }
    } catch (...) {
        return "<Can't print value>";
    }
}

} // namespace

std::string MonitorChannelName() {
    std::lock_guard lk(Unit().CreateLock);
    return Unit().ChannelName;
}

void SetMonitorChannelName(const std::string& Name) {
    TMonitorUnit& unit = Unit();
    std::lock_guard lk(unit.CreateLock);
    unit.ChannelName = Name;
    delete unit.Hook.exchange(nullptr);
}

TFIBSQLMonitorHook* MonitorHook() {
    TMonitorUnit& unit = Unit();
    if (TFIBSQLMonitorHook* hook = unit.Hook.load()) return hook;
    if (unit.ShuttingDown) return nullptr;
    std::lock_guard lk(unit.CreateLock);
    if (TFIBSQLMonitorHook* hook = unit.Hook.load()) return hook;
    if (unit.ShuttingDown) return nullptr;
    auto* hook = new TFIBSQLMonitorHook;
    unit.Hook = hook;
    return hook;
}

bool MonitoringWanted() {
    TMonitorUnit& unit = Unit();
    if (!unit.Switch) return false;
    TFIBSQLMonitorHook* hook = unit.Hook.load();
    if (!hook) return true;
    if (!hook->ChannelOpen()) return false;
    return hook->MonitorCount() > 0;
}

// --- The hook -------------------------------------------------------------------------------

TFIBSQLMonitorHook::TFIBSQLMonitorHook() { OpenChannel(); }

TFIBSQLMonitorHook::~TFIBSQLMonitorHook() {
    FreeWriter(true);
    FChannel.reset();
}

bool TFIBSQLMonitorHook::OpenChannel() {
    try {
        FChannel = std::make_unique<TSQLMonitorChannel>(Unit().ChannelName);
        return true;
    } catch (const std::exception&) {
        FEnabled = false;
        return false;
    }
}

void TFIBSQLMonitorHook::SetEnabled(bool Value) {
    FEnabled = Value;
    if (!Value) FreeWriter(false);
}

void TFIBSQLMonitorHook::FreeWriter(bool Stop) {
    std::unique_ptr<TMonitorWriterThread> writer;
    {
        std::lock_guard lk(FWriterLock);
        writer = std::move(FWriter);
    }
    // Joined outside the lock: the thread may be finishing a piece.
    if (writer && Stop) writer->Stop();
}

int32_t TFIBSQLMonitorHook::MonitorCount() const {
    return FChannel ? FChannel->Load(TMonitorBlock::MonitorCount) : 0;
}

bool TFIBSQLMonitorHook::WriterRunning() const {
    std::lock_guard lk(FWriterLock);
    return FWriter != nullptr;
}

size_t TFIBSQLMonitorHook::QueuedCount() const {
    std::lock_guard lk(FWriterLock);
    return FWriter ? FWriter->Count() : 0;
}

bool TFIBSQLMonitorHook::WantedNoWord() const {
    return FEnabled && Unit().Switch && FChannel && FChannel->Load(TMonitorBlock::MonitorCount) >= 1;
}

bool TFIBSQLMonitorHook::Wanted(size_t RequestWord) const {
    return WantedNoWord() && FChannel->Load(RequestWord) >= 1;
}

void TFIBSQLMonitorHook::WriteSQLData(const std::string& Text, uint8_t Category) {
    if (!FEnabled) return;
    if (!FChannel && !OpenChannel()) return;
    const std::string message =
        std::string(CRLF) + "[Application: " + ProgramFileName() + "]" + std::string(CRLF) + Text;
    {
        std::lock_guard lk(FWriterLock);
        if (FChannel->Load(TMonitorBlock::MonitorCount) != 0) {
            if (!FWriter) FWriter = std::make_unique<TMonitorWriterThread>(*FChannel);
            FWriter->Push({Category, message, Now()});
            return;
        }
    }
    FreeWriter(false);
}

void TFIBSQLMonitorHook::TracePrepare(TFIBQuery& Query) {
    if (!Wanted(TMonitorBlock::PrepareWord)) return;
    std::string plan;
    try {
        plan = "  Plan: " + Query.Plan();
    } catch (const std::exception&) {
        plan = "  Plan: Can't retrieve plan ";
    }
    WriteSQLData(QueryTraceName(Query, false) + ": [Prepare] " + Query.ExpandedSQLText() + std::string(CRLF) + plan,
                 tcPrepare);
}

void TFIBSQLMonitorHook::TraceExecute(TFIBQuery& Query, const std::string& AddedText) {
    if (!Wanted(TMonitorBlock::ExecuteWord)) return;
    const std::string lineBreak(CRLF);
    std::string text = QueryTraceName(Query, true) + ": [Execute] " + Query.ExpandedSQLText();
    TFIBXSQLDA& params = Query.Params();
    for (int i = 0; i < params.Count(); ++i)
        text += lineBreak + "  " + params[i].Name() + " = " + ParamValueText(params[i]);
    const TFIBSQLTypes type = Query.SQLType();
    if (type == SQLInsert || type == SQLUpdate || type == SQLDelete)
        text += lineBreak + "Rows Affected:  " + std::to_string(Query.GetRowsAffected());
    if (!AddedText.empty()) text += lineBreak + AddedText;
    text += lineBreak + "Execute tick count " + std::to_string(Query.ExecutionTime());
    WriteSQLData(text, tcExecute);
}

void TFIBSQLMonitorHook::TraceFetch(TFIBQuery& Query) {
    if (!Wanted(TMonitorBlock::FetchWord)) return;
    const std::string lineBreak(CRLF);
    std::string text = lineBreak + QueryTraceName(Query, false) + ": [Fetch] " + Query.ExpandedSQLText();
    TFIBXSQLDA& fields = Query.Fields();
    for (int i = 0; i < fields.Count(); ++i)
        text += fields[i].Name() + " = " + (fields[i].GetIsNull() ? std::string("NULL") : fields[i].GetAsString()) +
                lineBreak;
    if (Query.EofReached()) text += lineBreak + "  End of file reached";
    WriteSQLData(text, tcFetch);
}

void TFIBSQLMonitorHook::TraceConnect(TFIBDatabase& Database) {
    if (Wanted(TMonitorBlock::ConnectWord)) WriteSQLData(Database.Name() + ": [Connect]", tcConnect);
}

void TFIBSQLMonitorHook::TraceDisconnect(TFIBDatabase& Database) {
    if (Wanted(TMonitorBlock::ConnectWord)) WriteSQLData(Database.Name() + ": [Disconnect]", tcConnect);
}

void TFIBSQLMonitorHook::TraceTransaction(TFIBTransaction& Transaction, const char* Operation) {
    if (!Transaction.DefaultDatabase() || !Wanted(TMonitorBlock::TransactionWord)) return;
    WriteSQLData(Transaction.Name() + ": [" + Operation + "](" + std::to_string(Transaction.GetTransactionID()) + ")",
                 tcTransaction);
}

void TFIBSQLMonitorHook::TraceStartTransaction(TFIBTransaction& Transaction) {
    TraceTransaction(Transaction, "Start transaction");
}

void TFIBSQLMonitorHook::TraceCommit(TFIBTransaction& Transaction) {
    TraceTransaction(Transaction, "Commit (Hard commit)");
}

void TFIBSQLMonitorHook::TraceCommitRetaining(TFIBTransaction& Transaction) {
    TraceTransaction(Transaction, "Commit retaining (Soft commit)");
}

void TFIBSQLMonitorHook::TraceRollback(TFIBTransaction& Transaction) { TraceTransaction(Transaction, "Rollback"); }

void TFIBSQLMonitorHook::TraceRollbackRetaining(TFIBTransaction& Transaction) {
    TraceTransaction(Transaction, "Rollback retaining (Soft rollback)");
}

void TFIBSQLMonitorHook::TraceSavepoint(TFIBTransaction& Transaction, const std::string& SavepointName, int Kind) {
    if (!Transaction.DefaultDatabase() || !Wanted(TMonitorBlock::TransactionWord)) return;
    static const char* const words[] = {"SetSavePoint", "RollBackToSavePoint", "ReleaseSavePoint"};
    if (Kind < 0 || Kind > 2) return;
    WriteSQLData(Transaction.Name() + ": Transaction(" + std::to_string(Transaction.GetTransactionID()) + ") - [" +
                     words[Kind] + "(\"" + SavepointName + "\")]",
                 tcTransaction);
}

void TFIBSQLMonitorHook::TraceServiceAttach(TComponent& Service) {
    if (WantedNoWord()) WriteSQLData(Service.Name() + ": [Attach]", tcService);
}

void TFIBSQLMonitorHook::TraceServiceDetach(TComponent& Service) {
    if (WantedNoWord()) WriteSQLData(Service.Name() + ": [Detach]", tcService);
}

void TFIBSQLMonitorHook::TraceServiceQuery(TComponent& Service) {
    if (WantedNoWord()) WriteSQLData(Service.Name() + ": [Query]", tcService);
}

void TFIBSQLMonitorHook::TraceServiceStart(TComponent& Service) {
    if (WantedNoWord()) WriteSQLData(Service.Name() + ": [Start]", tcService);
}

} // namespace qnl
