// A monitor of the SQL trace channel for the tests, run as a process of its own.
//
//   sqlmonitor_reader CHANNEL read   registers, asks for every category, prints "READY", then
//                                    one record per piece: "PIECE <category> <flag> <length>
//                                    <timestamp>" and a line with the piece's bytes; SIGTERM
//                                    ends it, leaving the channel as it found it.
//   sqlmonitor_reader CHANNEL hold   registers, takes the channel mutex, prints "LOCKED" and
//                                    waits to be killed.
//
// The block is read at its documented offsets, not through the library's names for them.
#include "client/FIBSQLMonitor.h"

#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>

using namespace qnl;
using namespace std::chrono_literals;

namespace {

volatile std::sig_atomic_t Stop = 0;

int32_t Int(const char* Block, size_t Offset) {
    int32_t v;
    std::memcpy(&v, Block + Offset, 4);
    return v;
}

// The five request words: transaction, connect, fetch, execute, prepare.
constexpr size_t RequestWords[] = {2012, 2016, 2020, 2024, 2028};
constexpr size_t ReaderCounter = 2040;
constexpr size_t MonitorCount = 2044;

void Register(TSQLMonitorChannel& Channel, int32_t Delta) {
    for (size_t word : RequestWords) Channel.Add(word, Delta);
    Channel.Add(MonitorCount, Delta);
}

int Read(TSQLMonitorChannel& Channel) {
    Register(Channel, 1);
    std::printf("READY\n");
    std::fflush(stdout);
    while (!Stop) {
        if (!Channel.WaitEvent(TMonitorEvent::WriteFinished, 100ms)) continue;
        if (Channel.Add(ReaderCounter, 1) >= Channel.Load(MonitorCount)) Channel.SetEvent(TMonitorEvent::Read);
        bool written = false;
        while (!Stop && !(written = Channel.WaitEvent(TMonitorEvent::Write, 100ms))) {
        }
        if (!written) {
            if (Channel.Add(ReaderCounter, -1) <= 0) Channel.ResetEvent(TMonitorEvent::Read);
            break;
        }
        const char* block = Channel.Block();
        const int32_t length = Int(block, 2032);
        double stamp;
        std::memcpy(&stamp, block + 2004, sizeof stamp);
        std::printf("PIECE %d %d %d %.17g\n", Int(block, 2036), block[2003], length, stamp);
        std::fwrite(block, 1, static_cast<size_t>(length), stdout);
        std::printf("\n");
        std::fflush(stdout);
        if (Channel.Add(ReaderCounter, -1) <= 0) {
            Channel.ResetEvent(TMonitorEvent::Read);
            Channel.SetEvent(TMonitorEvent::ReadFinished);
        }
    }
    Register(Channel, -1);
    return 0;
}

int Hold(TSQLMonitorChannel& Channel) {
    Register(Channel, 1);
    if (!Channel.Lock(2000ms)) return 3;
    std::printf("LOCKED\n");
    std::fflush(stdout);
    for (;;) pause();
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) return 2;
    std::signal(SIGTERM, [](int) { Stop = 1; });
    try {
        TSQLMonitorChannel channel(argv[1]);
        const std::string mode = argv[2];
        if (mode == "read") return Read(channel);
        if (mode == "hold") return Hold(channel);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 2;
}
