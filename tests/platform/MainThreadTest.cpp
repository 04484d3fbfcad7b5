#include "platform/MainThread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>
#include <vector>

using namespace qnl;
using namespace std::chrono_literals;

namespace {

// Pumps until Done holds or two seconds have passed.
template <class Pred>
bool PumpUntil(Pred Done) {
    const auto deadline = std::chrono::steady_clock::now() + 2s;
    while (!Done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        PumpMainThread(10);
    }
    return true;
}

void Drain() {
    while (PumpMainThread(0) > 0) {
    }
}

} // namespace

TEST(MainThread, PostedWorkRunsOnTheMainThreadInOrderOnlyWhenPumped) {
    Drain();
    ASSERT_TRUE(IsMainThread());
    std::vector<int> order;
    std::vector<std::thread::id> threads;
    std::thread worker([&] {
        EXPECT_FALSE(IsMainThread());
        for (int i = 0; i < 3; ++i)
            PostToMainThread([&, i] {
                order.push_back(i);
                threads.push_back(std::this_thread::get_id());
            });
        EXPECT_EQ(PumpMainThread(0), 0);   // pumping from another thread does nothing
    });
    worker.join();
    std::this_thread::sleep_for(20ms);
    EXPECT_TRUE(order.empty());
    EXPECT_EQ(PumpMainThread(0), 3);
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2}));
    for (auto id : threads) EXPECT_EQ(id, MainThreadId());
}

TEST(MainThread, WorkPostedDuringAPumpWaitsForTheNextOne) {
    Drain();
    int runs = 0;
    std::function<void()> again = [&] {
        if (++runs < 3) PostToMainThread(again);
    };
    PostToMainThread(again);
    EXPECT_EQ(PumpMainThread(0), 1);
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(PumpMainThread(0), 1);
    EXPECT_EQ(PumpMainThread(0), 1);
    EXPECT_EQ(PumpMainThread(0), 0);
    EXPECT_EQ(runs, 3);
}

TEST(MainThread, RunOnMainThreadWaitsForThePumpAndPassesErrorsBack) {
    Drain();
    std::atomic<int> stage{0};
    std::thread::id ranOn;
    bool errorCame = false;
    std::thread worker([&] {
        RunOnMainThread([&] { ranOn = std::this_thread::get_id(); });
        stage = 1;
        try {
            RunOnMainThread([] { throw std::runtime_error("from main"); });
        } catch (const std::runtime_error& e) {
            errorCame = std::string(e.what()) == "from main";
        }
        stage = 2;
    });
    std::this_thread::sleep_for(30ms);
    EXPECT_EQ(stage.load(), 0);   // blocked until the main thread pumps
    EXPECT_TRUE(PumpUntil([&] { return stage.load() == 2; }));
    worker.join();
    EXPECT_EQ(ranOn, MainThreadId());
    EXPECT_TRUE(errorCame);

    bool direct = false;
    RunOnMainThread([&] { direct = true; });   // on the main thread it runs at once
    EXPECT_TRUE(direct);
}

TEST(MainThread, TimersFireWhilePumpedAndNeverAfterKill) {
    Drain();
    std::vector<uint32_t> fired;
    uint32_t second = 0;
    const uint32_t first = SetMainThreadTimer(0, [&](uint32_t id) {
        fired.push_back(id);
        KillMainThreadTimer(second);   // due in the same pump, but killed before its turn
    });
    second = SetMainThreadTimer(0, [&](uint32_t id) { fired.push_back(id); });
    std::this_thread::sleep_for(5ms);
    PumpMainThread(0);
    EXPECT_EQ(fired, (std::vector<uint32_t>{first}));
    EXPECT_FALSE(KillMainThreadTimer(second));
    EXPECT_TRUE(KillMainThreadTimer(first));
    PumpMainThread(20);
    EXPECT_EQ(fired.size(), 1u);

    // Missed ticks coalesce into one call per pump.
    int ticks = 0;
    const uint32_t t = SetMainThreadTimer(5, [&](uint32_t) { ++ticks; });
    std::this_thread::sleep_for(40ms);
    PumpMainThread(0);
    EXPECT_EQ(ticks, 1);
    EXPECT_TRUE(PumpUntil([&] { return ticks >= 3; }));
    KillMainThreadTimer(t);
}

TEST(MainThread, QuitEndsTheLoopWithItsCode) {
    Drain();
    std::thread worker([] {
        std::this_thread::sleep_for(20ms);
        PostQuitToMainThread(7);
    });
    EXPECT_EQ(RunMainThreadLoop(), 7);
    worker.join();
}
