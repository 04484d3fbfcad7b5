#pragma once
// The main thread's event loop: work posted from any thread, blocking hand-off from worker
// threads, timers and a quit request. Everything queued here runs on the main thread, and only
// while the main thread pumps the loop (PumpMainThread or RunMainThreadLoop); the window binds
// pumping to its own event processing, tests pump it themselves.
//
// The main thread is the thread that started the program (the one running static
// initialisation).
#include <cstdint>
#include <functional>
#include <thread>

namespace qnl {

std::thread::id MainThreadId();
bool IsMainThread();

// Queues Work for the main thread's next pump. From any thread.
void PostToMainThread(std::function<void()> Work);

// Runs Work on the main thread and waits until it has run: at once on the main thread, else at
// the main thread's next pump. An exception thrown by Work comes back to the caller.
void RunOnMainThread(const std::function<void()>& Work);

// A timer calls Proc with its id on the main thread, every IntervalMs while the loop is pumped.
// A pump fires a due timer once, however many intervals have passed (missed ticks coalesce).
// From any thread. SetMainThreadTimer answers the new id (never 0); KillMainThreadTimer
// answers false for an unknown id. A killed timer never fires again, not even later in the pump
// that is running.
using TTimerProc = std::function<void(uint32_t TimerId)>;
uint32_t SetMainThreadTimer(uint32_t IntervalMs, TTimerProc Proc);
bool KillMainThreadTimer(uint32_t TimerId);

// Runs what is ready: posted work and hand-offs in the order they came, then the timers that
// are due. When nothing is ready it waits up to WaitMs for something to become ready. Answers
// the number of items run. On any other thread it does nothing and answers 0.
int PumpMainThread(int WaitMs = 0);

// Asks RunMainThreadLoop to return ExitCode once the current pump is done. From any thread.
void PostQuitToMainThread(int ExitCode = 0);
// Pumps until a quit is posted; answers its exit code. Main thread only (else answers -1).
int RunMainThreadLoop();
// For a window system that runs its own loop: true (with the code) when a quit was posted since
// the last call, and the request is taken.
bool TakeQuitRequest(int& ExitCode);

} // namespace qnl
