#pragma once
// A window-less timer component whose OnTimer always runs on the main thread, whichever thread
// enabled it, and only while the main thread pumps its event loop (platform/MainThread.h).
// Also the small platform wrappers the data-access layer uses.
#include "client/pFIBEventLists.h"
#include "platform/Component.h"

#include <cstdint>
#include <string>
#include <thread>

namespace qnl {

class TFIBCustomTimer : public TComponent {
public:
    explicit TFIBCustomTimer(TComponent* AOwner = nullptr);
    ~TFIBCustomTimer() override;
    std::string ClassName() const override { return "TFIBCustomTimer"; }

    bool Enabled() const;
    void SetEnabled(bool Value);
    uint32_t Interval() const;
    // A running timer restarts with the new interval; a stopped one stays stopped.
    void SetInterval(uint32_t Value);
    // The event loop's id of the running timer, 0 while stopped.
    uint32_t TimerId() const;

    // Called with the timer as Sender. Assign it on the main thread or before enabling.
    TNotifyEvent OnTimer;

private:
    static void FIBTimerProc(uint32_t EventId);

    bool FEnabled = false;
    uint32_t FTimerId = 0;
    uint32_t FInterval = 1000;
};

// Milliseconds from a fixed point; wraps after about 49 days.
uint32_t TickCount();
// Asks the main thread's event loop to finish with exit code 0.
void PostQuit();
// The folder of the running program, with its trailing "/".
std::string ApplicationPath();
std::thread::id CurrentThreadID();

} // namespace qnl
