#pragma once
// What the hand-run fuzz drivers share: their arguments ([seconds=120] [seed]), the timed run
// with a watchdog that stops it as a hang when one input runs for ten seconds, and the mutation
// of a seed text (bytes dropped, doubled, swapped, replaced, or a syntax piece inserted).
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <span>
#include <string>
#include <thread>

namespace qnl::fuzz {

struct TRun {
    int Seconds = 120;
    unsigned Seed = 0;
    std::mt19937 Rng;
};

// The run's time and seed from the first two arguments (a random seed when none), printed so
// that a run can be repeated.
inline TRun ReadRunArguments(int argc, char** argv) {
    TRun run;
    if (argc > 1) run.Seconds = std::atoi(argv[1]);
    run.Seed = argc > 2 ? static_cast<unsigned>(std::strtoul(argv[2], nullptr, 10)) : std::random_device{}();
    run.Rng.seed(run.Seed);
    std::printf("seed %u, %d s\n", run.Seed, run.Seconds);
    return run;
}

// Calls One until the run's time is over and gives the number of calls. An input that runs for
// ten seconds ends the process with a message naming it (What: "parse", "expression").
template <class Fn>
long RunFor(TRun& Run, const char* What, Fn&& One) {
    std::atomic<long> started{0};
    std::atomic<bool> done{false};
    std::thread watchdog([&] {
        long last = -1;
        int still = 0;
        while (!done) {
            std::this_thread::sleep_for(std::chrono::seconds(1));
            const long now = started;
            still = now == last ? still + 1 : 0;
            last = now;
            if (still >= 10) {
                std::fprintf(stderr, "%s %ld has run for 10 s: a hang (seed %u)\n", What, now, Run.Seed);
                std::_Exit(2);
            }
        }
    });
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(Run.Seconds);
    long count = 0;
    while (std::chrono::steady_clock::now() < end) {
        ++started;
        One(Run.Rng);
        ++count;
    }
    done = true;
    watchdog.join();
    return count;
}

// How hard a mutation changes its text: 1 to MaxEdits edits, each dropping up to MaxDrop bytes,
// doubling up to MaxCopy, swapping two, inserting a piece (between blanks with Spaced), or
// replacing one byte by one below ByteLimit.
struct TMutation {
    unsigned MaxEdits;
    unsigned MaxDrop;
    unsigned MaxCopy;
    bool Spaced;
    unsigned ByteLimit;
};

inline std::string Mutate(std::string Text, std::mt19937& Rng, const TMutation& How, std::span<const char* const> Pieces) {
    const unsigned edits = 1 + Rng() % How.MaxEdits;
    for (unsigned i = 0; i < edits && !Text.empty(); ++i) {
        std::uniform_int_distribution<size_t> at(0, Text.size() - 1);
        const size_t p = at(Rng);
        switch (Rng() % 5) {
        case 0: Text.erase(p, 1 + Rng() % How.MaxDrop); break;
        case 1: Text.insert(p, Text.substr(p, 1 + Rng() % How.MaxCopy)); break;
        case 2: std::swap(Text[p], Text[at(Rng)]); break;
        case 3: {
            const std::string piece = Pieces[Rng() % Pieces.size()];
            Text.insert(p, How.Spaced ? " " + piece + " " : piece);
            break;
        }
        default: Text[p] = static_cast<char>(Rng() % How.ByteLimit); break;
        }
    }
    return Text;
}

} // namespace qnl::fuzz
