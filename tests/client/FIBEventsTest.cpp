#include "client/FIBSafeTimer.h"
#include "client/pFIBEventLists.h"
#include "platform/MainThread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <future>
#include <thread>

using namespace qnl;
using namespace std::chrono_literals;

namespace {

class Listener : public TComponent {
public:
    using TComponent::TComponent;
    void Heard(TObject* Sender) {
        ++Count;
        LastSender = Sender;
    }
    void Other(TObject*) { ++OtherCount; }
    void Ended(TObject*, int Action, bool Force) {
        LastAction = Action;
        LastForce = Force;
    }
    int Count = 0;
    int OtherCount = 0;
    TObject* LastSender = nullptr;
    int LastAction = -1;
    bool LastForce = false;
};

// A plain object, not a component: its handlers stay until removed.
class PlainListener : public TObject {
public:
    void Heard(TObject*) { ++Count; }
    int Count = 0;
};

void Fire(const TNotifyEventList& List, TObject* Sender) {
    for (int i = List.GetCount() - 1; i >= 0; --i)
        if (auto e = List.GetEvent(i)) e(Sender);
}

template <class Pred>
bool PumpUntil(Pred Done, std::chrono::milliseconds Limit = 3s) {
    const auto deadline = std::chrono::steady_clock::now() + Limit;
    while (!Done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        PumpMainThread(5);
    }
    return true;
}

// Fails hard instead of hanging when a thread never finishes.
void JoinOrDie(std::thread& T, std::future<void>& Finished) {
    if (Finished.wait_for(5s) != std::future_status::ready) {
        ADD_FAILURE() << "thread is stuck";
        std::_Exit(1);
    }
    T.join();
}

} // namespace

TEST(CallBackList, AddsEachHandlerOnceAndRemovesByMethod) {
    TNotifyEventList list;
    EXPECT_EQ(list.ClassName(), "TNotifyEventList");
    Listener a, b;
    const int first = list.Add({&a, &Listener::Heard});
    EXPECT_EQ(list.Add({&a, &Listener::Heard}), first);
    EXPECT_EQ(list.Add({&a, &Listener::Other}), 1);   // another method of the same object
    EXPECT_EQ(list.AddEvent({&b, &Listener::Heard}), 2);
    EXPECT_EQ(list.GetCount(), 3);
    EXPECT_EQ(list.IndexOf({&b, &Listener::Other}), -1);
    EXPECT_FALSE(list.GetEvent(3));
    EXPECT_FALSE(list.GetEvent(-1));

    TObject sender;
    Fire(list, &sender);
    EXPECT_EQ(a.Count, 1);
    EXPECT_EQ(a.OtherCount, 1);
    EXPECT_EQ(b.Count, 1);
    EXPECT_EQ(b.LastSender, &sender);

    list.Remove({&a, &Listener::Heard});
    list.RemoveEvent({&b, &Listener::Other});   // not there: nothing happens
    EXPECT_EQ(list.GetCount(), 2);
    EXPECT_EQ(list.IndexOf({&a, &Listener::Heard}), -1);
    EXPECT_EQ(list.IndexOf({&b, &Listener::Heard}), 1);
}

TEST(CallBackList, AFreedOwnersHandlersAreGoneFromEveryList) {
    TNotifyEventList afterConnect, beforeDisconnect;
    TCallBackList<TObject*, int, bool> endEvents;
    PlainListener plain;
    auto* doomed = new Listener;
    Listener survivor;
    afterConnect.Add({doomed, &Listener::Heard});
    afterConnect.Add({&survivor, &Listener::Heard});
    afterConnect.Add({doomed, &Listener::Other});
    afterConnect.Add({&plain, &PlainListener::Heard});
    beforeDisconnect.Add({doomed, &Listener::Heard});
    endEvents.Add({doomed, &Listener::Ended});
    endEvents.Add({&survivor, &Listener::Ended});

    TObject sender;
    endEvents.GetEvent(1)(&sender, 3, true);
    EXPECT_EQ(survivor.LastAction, 3);
    EXPECT_TRUE(survivor.LastForce);

    delete doomed;
    EXPECT_EQ(afterConnect.GetCount(), 2);
    EXPECT_EQ(afterConnect.GetEvent(0).Data(), &survivor);
    EXPECT_EQ(afterConnect.GetEvent(1).Data(), &plain);
    EXPECT_EQ(beforeDisconnect.GetCount(), 0);
    EXPECT_EQ(endEvents.GetCount(), 1);
    Fire(afterConnect, &sender);   // nothing calls the freed listener (the sanitizer build would see it)
    EXPECT_EQ(survivor.Count, 1);
    EXPECT_EQ(plain.Count, 1);
}

// A list that goes first must unlink itself from its listeners: otherwise their destruction
// would notify a freed list (the sanitizer build reports that).
TEST(CallBackList, ListsFreedBeforeTheirListenersLeaveNoLinkBehind) {
    Listener survivor;
    {
        TNotifyEventList list;
        list.Add({&survivor, &Listener::Heard});
    }
    auto* owner = new TComponent;
    auto* owned = new TNotifyEventList(owner);
    owned->Add({&survivor, &Listener::Heard});
    delete owner;   // frees the owned list with it
    auto later = std::make_unique<TNotifyEventList>();
    later->Add({&survivor, &Listener::Heard});
    EXPECT_EQ(later->GetCount(), 1);
}

TEST(BlobFilterTable, FindsFirstKeyAndDispatchesOnlyUserSubTypes) {
    static int firstCalls = 0, secondCalls = 0;
    firstCalls = secondCalls = 0;
    TBlobFilterTable table;
    auto first = [](char**, int32_t* Size) {
        ++firstCalls;
        *Size = 1;
    };
    auto second = [](char**, int32_t*) { ++secondCalls; };
    table.Add(5, first, second);
    table.Add(-3, first, second);
    table.Add(-3, nullptr, nullptr);
    int index = -1;
    EXPECT_TRUE(table.Find(-3, index));
    EXPECT_EQ(index, 0);
    EXPECT_FALSE(table.Find(0, index));
    EXPECT_EQ(index, 2);

    char data[] = "xyz";
    char* buffer = data;
    int32_t size = 3;
    table.Dispatch(&buffer, &size, true, 5);   // sub type 5 is not a user filter
    EXPECT_EQ(firstCalls, 0);
    table.Dispatch(&buffer, &size, true, -3);
    EXPECT_EQ(firstCalls, 1);
    EXPECT_EQ(size, 1);
    table.Dispatch(&buffer, &size, false, -3);
    EXPECT_EQ(secondCalls, 1);
    size = 0;
    table.Dispatch(&buffer, &size, false, -3);   // nothing to filter
    EXPECT_EQ(secondCalls, 1);
    EXPECT_EQ(table.Get(-7, true), nullptr);
}

TEST(FIBCustomTimer, EnabledFromAWorkerFiresOnTheMainThreadOnlyWhilePumped) {
    while (PumpMainThread(0) > 0) {
    }
    TFIBCustomTimer timer;
    EXPECT_FALSE(timer.Enabled());
    EXPECT_EQ(timer.Interval(), 1000u);
    std::atomic<int> ticks{0};
    std::thread::id firedOn;
    TObject* sender = nullptr;
    timer.OnTimer = [&](TObject* Sender) {
        firedOn = std::this_thread::get_id();
        sender = Sender;
        ++ticks;
    };
    std::thread worker([&] {
        timer.SetInterval(10);
        timer.SetEnabled(true);
    });
    worker.join();
    EXPECT_TRUE(timer.Enabled());
    EXPECT_NE(timer.TimerId(), 0u);
    std::this_thread::sleep_for(60ms);
    EXPECT_EQ(ticks.load(), 0);   // not pumped: nothing fired
    ASSERT_TRUE(PumpUntil([&] { return ticks.load() >= 2; }));
    EXPECT_EQ(firedOn, MainThreadId());
    EXPECT_EQ(sender, &timer);

    std::thread stopper([&] { timer.SetEnabled(false); });
    stopper.join();
    EXPECT_EQ(timer.TimerId(), 0u);
    const int stoppedAt = ticks.load();
    PumpUntil([] { return false; }, 50ms);
    EXPECT_EQ(ticks.load(), stoppedAt);
}

TEST(FIBCustomTimer, IntervalChangeRestartsOnlyARunningTimer) {
    TFIBCustomTimer timer;
    timer.SetInterval(50);
    EXPECT_FALSE(timer.Enabled());
    EXPECT_EQ(timer.TimerId(), 0u);
    timer.SetEnabled(true);
    const uint32_t id = timer.TimerId();
    timer.SetInterval(20);
    EXPECT_TRUE(timer.Enabled());
    EXPECT_NE(timer.TimerId(), 0u);
    EXPECT_NE(timer.TimerId(), id);
    EXPECT_EQ(timer.Interval(), 20u);

    // A tick for a timer without OnTimer does nothing.
    PumpUntil([] { return false; }, 40ms);
    int ticks = 0;
    timer.OnTimer = [&](TObject*) { ++ticks; };
    EXPECT_TRUE(PumpUntil([&] { return ticks > 0; }));
}

TEST(FIBCustomTimer, HandlerThatWaitsForAnotherThreadUsingTimersDoesNotDeadlock) {
    TFIBCustomTimer timer;
    timer.SetInterval(5);
    bool done = false;
    timer.OnTimer = [&](TObject*) {
        if (done) return;
        done = true;
        // The other thread needs the timer list; the handler waits for it.
        std::promise<void> finished;
        std::future<void> f = finished.get_future();
        std::thread t([&] {
            TFIBCustomTimer other;
            other.SetEnabled(true);
            timer.SetEnabled(false);
            finished.set_value();
        });
        JoinOrDie(t, f);
        // And the handler itself may free and create timers.
        auto extra = std::make_unique<TFIBCustomTimer>();
        extra->SetEnabled(true);
    };
    timer.SetEnabled(true);
    EXPECT_TRUE(PumpUntil([&] { return done; }));
    EXPECT_FALSE(timer.Enabled());
}

TEST(FIBCustomTimer, FreedFromAWorkerWhileItsEventRunsWaitsForTheHandler) {
    auto* timer = new TFIBCustomTimer;
    timer->SetInterval(5);
    std::atomic<bool> inHandler{false}, handlerDone{false}, freed{false};
    bool handlerFinishedFirst = false;
    timer->OnTimer = [&](TObject* Sender) {
        if (inHandler.exchange(true)) return;
        std::this_thread::sleep_for(50ms);
        // Sender is still alive: the worker's free waits for this handler.
        EXPECT_EQ(static_cast<TFIBCustomTimer*>(Sender)->ClassName(), "TFIBCustomTimer");
        handlerDone = true;
    };
    timer->SetEnabled(true);
    std::thread worker([&] {
        while (!inHandler) std::this_thread::sleep_for(1ms);
        delete timer;
        handlerFinishedFirst = handlerDone;
        freed = true;
    });
    EXPECT_TRUE(PumpUntil([&] { return freed.load(); }));
    worker.join();
    EXPECT_TRUE(handlerFinishedFirst);
}

TEST(FIBPlatform, WrappersAnswerTheirPlatformFacts) {
    const uint32_t t0 = TickCount();
    std::this_thread::sleep_for(20ms);
    const uint32_t elapsed = TickCount() - t0;
    EXPECT_GE(elapsed, 20u);
    EXPECT_LT(elapsed, 2000u);
    EXPECT_EQ(ApplicationPath().back(), '/');
    EXPECT_EQ(CurrentThreadID(), MainThreadId());
    std::thread([] { PostQuit(); }).join();
    EXPECT_EQ(RunMainThreadLoop(), 0);
}
