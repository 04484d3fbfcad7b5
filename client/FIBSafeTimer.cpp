#include "FIBSafeTimer.h"

#include "platform/Files.h"
#include "platform/MainThread.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

namespace qnl {

namespace {

// Every live timer, and the timers whose event is being delivered right now. The lock is
// recursive because a handler may create, change or free timers; it is never held while a
// handler runs.
struct TimerList {
    std::recursive_mutex Lock;
    std::condition_variable_any Delivered;
    std::vector<TFIBCustomTimer*> Timers;
    std::vector<TFIBCustomTimer*> Delivering;
};

TimerList& Timers() {
    static TimerList* list = new TimerList;   // outlives timers freed during static destruction
    return *list;
}

} // namespace

TFIBCustomTimer::TFIBCustomTimer(TComponent* AOwner) : TComponent(AOwner) {
    TimerList& l = Timers();
    std::lock_guard lk(l.Lock);
    l.Timers.push_back(this);
}

TFIBCustomTimer::~TFIBCustomTimer() {
    SetEnabled(false);
    TimerList& l = Timers();
    std::unique_lock lk(l.Lock);
    l.Timers.erase(std::remove(l.Timers.begin(), l.Timers.end(), this), l.Timers.end());
    // Freed from another thread while its event runs on the main thread: wait until the handler
    // is done with its Sender. On the main thread the handler itself is freeing the timer.
    if (!IsMainThread())
        l.Delivered.wait(lk, [&] { return std::find(l.Delivering.begin(), l.Delivering.end(), this) == l.Delivering.end(); });
}

bool TFIBCustomTimer::Enabled() const {
    std::lock_guard lk(Timers().Lock);
    return FEnabled;
}

uint32_t TFIBCustomTimer::Interval() const {
    std::lock_guard lk(Timers().Lock);
    return FInterval;
}

uint32_t TFIBCustomTimer::TimerId() const {
    std::lock_guard lk(Timers().Lock);
    return FTimerId;
}

void TFIBCustomTimer::SetEnabled(bool Value) {
    std::lock_guard lk(Timers().Lock);
    if (Value == FEnabled) return;
    if (FEnabled) {
        KillMainThreadTimer(FTimerId);
        FTimerId = 0;
    }
    if (Value) FTimerId = SetMainThreadTimer(FInterval, &TFIBCustomTimer::FIBTimerProc);
    FEnabled = Value;
}

void TFIBCustomTimer::SetInterval(uint32_t Value) {
    std::lock_guard lk(Timers().Lock);
    const bool wasEnabled = FEnabled;
    SetEnabled(false);
    FInterval = Value;
    SetEnabled(wasEnabled);
}

// The event loop calls this on the main thread, so the event is delivered directly. The timer
// is looked up under the list's lock, which is released before the handler runs: a handler that
// creates or frees a timer, or pumps the loop again, must not find it taken.
void TFIBCustomTimer::FIBTimerProc(uint32_t EventId) {
    TimerList& l = Timers();
    std::unique_lock lk(l.Lock);
    auto it = std::find_if(l.Timers.begin(), l.Timers.end(),
                           [EventId](const TFIBCustomTimer* t) { return t->FTimerId == EventId && t->OnTimer; });
    if (it == l.Timers.end()) return;
    TFIBCustomTimer* timer = *it;
    // A copy: the handler may assign OnTimer while it runs.
    const TNotifyEvent handler = timer->OnTimer;
    l.Delivering.push_back(timer);
    lk.unlock();
    auto delivered = [&] {
        lk.lock();
        l.Delivering.erase(std::find(l.Delivering.begin(), l.Delivering.end(), timer));
        lk.unlock();
        l.Delivered.notify_all();
    };
    try {
        handler(timer);
    } catch (...) {
        delivered();
        throw;
    }
    delivered();
}

uint32_t TickCount() {
    using namespace std::chrono;
    return static_cast<uint32_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

void PostQuit() { PostQuitToMainThread(0); }

std::string ApplicationPath() { return ProgramDir(); }

std::thread::id CurrentThreadID() { return std::this_thread::get_id(); }

} // namespace qnl
