#include "MainThread.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <map>
#include <mutex>
#include <vector>

namespace qnl {

namespace {

using Clock = std::chrono::steady_clock;

struct Timer {
    uint32_t Interval = 0;
    Clock::time_point Due;
    TTimerProc Proc;
};

struct Loop {
    std::mutex M;
    std::condition_variable Wake;   // something was posted, a timer was set, or a quit came
    std::deque<std::function<void()>> Queue;
    std::map<uint32_t, Timer> Timers;
    uint32_t NextTimerId = 1;
    bool QuitPosted = false;
    int ExitCode = 0;

    bool TimerDue(Clock::time_point Now) const {
        for (const auto& [id, t] : Timers)
            if (t.Due <= Now) return true;
        return false;
    }
    Clock::time_point EarliestDue(Clock::time_point Limit) const {
        for (const auto& [id, t] : Timers)
            if (t.Due < Limit) Limit = t.Due;
        return Limit;
    }
};

// Never destroyed: timers and posts may still arrive while static objects are being destroyed.
Loop& TheLoop() {
    static Loop* loop = new Loop;
    return *loop;
}

std::thread::id& MainId() {
    static std::thread::id id = std::this_thread::get_id();
    return id;
}
// Fixes the main thread during static initialisation, before any other thread can exist.
[[maybe_unused]] const bool MainIdFixed = (MainId(), TheLoop(), true);

} // namespace

std::thread::id MainThreadId() { return MainId(); }

bool IsMainThread() { return std::this_thread::get_id() == MainId(); }

void PostToMainThread(std::function<void()> Work) {
    Loop& l = TheLoop();
    {
        std::lock_guard lk(l.M);
        l.Queue.push_back(std::move(Work));
    }
    l.Wake.notify_all();
}

void RunOnMainThread(const std::function<void()>& Work) {
    if (IsMainThread()) {
        Work();
        return;
    }
    struct Handoff {
        std::mutex M;
        std::condition_variable Done;
        bool Finished = false;
        std::exception_ptr Error;
    } h;
    PostToMainThread([&h, &Work] {
        std::exception_ptr error;
        try {
            Work();
        } catch (...) {
            error = std::current_exception();
        }
        // Notify under the lock: once the waiter sees Finished it may leave and destroy h.
        std::lock_guard lk(h.M);
        h.Error = std::move(error);
        h.Finished = true;
        h.Done.notify_one();
    });
    std::unique_lock lk(h.M);
    h.Done.wait(lk, [&h] { return h.Finished; });
    if (h.Error) std::rethrow_exception(h.Error);
}

uint32_t SetMainThreadTimer(uint32_t IntervalMs, TTimerProc Proc) {
    Loop& l = TheLoop();
    uint32_t id;
    {
        std::lock_guard lk(l.M);
        id = l.NextTimerId++;
        if (l.NextTimerId == 0) l.NextTimerId = 1;
        l.Timers[id] = Timer{IntervalMs, Clock::now() + std::chrono::milliseconds(IntervalMs), std::move(Proc)};
    }
    l.Wake.notify_all();
    return id;
}

bool KillMainThreadTimer(uint32_t TimerId) {
    Loop& l = TheLoop();
    std::lock_guard lk(l.M);
    return l.Timers.erase(TimerId) > 0;
}

int PumpMainThread(int WaitMs) {
    if (!IsMainThread()) return 0;
    Loop& l = TheLoop();
    size_t posted;
    {
        std::unique_lock lk(l.M);
        const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(WaitMs > 0 ? WaitMs : 0);
        for (Clock::time_point now = Clock::now();
             l.Queue.empty() && !l.QuitPosted && !l.TimerDue(now) && now < deadline; now = Clock::now())
            l.Wake.wait_until(lk, l.EarliestDue(deadline));
        // Work posted while this pump runs waits for the next one.
        posted = l.Queue.size();
    }
    int count = 0;
    for (; posted > 0; --posted) {
        std::function<void()> work;
        {
            std::lock_guard lk(l.M);
            if (l.Queue.empty()) break;
            work = std::move(l.Queue.front());
            l.Queue.pop_front();
        }
        work();
        ++count;
    }
    // Timers due now, earliest first; each is checked again before it fires, because an
    // earlier handler may have killed or restarted it.
    std::vector<std::pair<Clock::time_point, uint32_t>> due;
    const Clock::time_point now = Clock::now();
    {
        std::lock_guard lk(l.M);
        for (const auto& [id, t] : l.Timers)
            if (t.Due <= now) due.emplace_back(t.Due, id);
    }
    std::sort(due.begin(), due.end());
    for (const auto& [when, id] : due) {
        TTimerProc proc;
        {
            std::lock_guard lk(l.M);
            auto it = l.Timers.find(id);
            if (it == l.Timers.end() || it->second.Due > now) continue;
            it->second.Due = Clock::now() + std::chrono::milliseconds(it->second.Interval);
            proc = it->second.Proc;
        }
        if (proc) proc(id);
        ++count;
    }
    return count;
}

void PostQuitToMainThread(int ExitCode) {
    Loop& l = TheLoop();
    {
        std::lock_guard lk(l.M);
        l.QuitPosted = true;
        l.ExitCode = ExitCode;
    }
    l.Wake.notify_all();
}

bool TakeQuitRequest(int& ExitCode) {
    Loop& l = TheLoop();
    std::lock_guard lk(l.M);
    if (!l.QuitPosted) return false;
    l.QuitPosted = false;
    ExitCode = l.ExitCode;
    return true;
}

int RunMainThreadLoop() {
    if (!IsMainThread()) return -1;
    Loop& l = TheLoop();
    while (true) {
        {
            std::lock_guard lk(l.M);
            if (l.QuitPosted) {
                l.QuitPosted = false;
                return l.ExitCode;
            }
        }
        PumpMainThread(1000);
    }
}

} // namespace qnl
