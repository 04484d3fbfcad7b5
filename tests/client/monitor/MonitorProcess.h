#pragma once
// A monitor of the SQL trace channel in a process of its own (sqlmonitor_reader), for the trace
// tests: started on a channel, it registers and prints every piece it reads; the test reads its
// output through a pipe.
#include "client/FIBSQLMonitor.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <stdexcept>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace qnl::test {

using namespace std::chrono_literals;

// What every message starts with in the test programs.
inline const std::string Header = "\r\n[Application: " +
    [] {
        char path[4096];
        const ssize_t n = readlink("/proc/self/exe", path, sizeof path);
        const std::string full(path, n > 0 ? static_cast<size_t>(n) : 0);
        return full.substr(full.rfind('/') + 1);
    }() + "]\r\n";

struct TPiece {
    int Category = -1;
    int Flag = 0;
    double Stamp = 0;
    std::string Text;
};

// One trace message: its category and its text after the header.
struct TMessage {
    int Category;
    std::string Text;
};

// The monitor program with its output on a pipe. Ended by SIGTERM, so that it leaves the
// channel's counts as it found them.
class TMonitorProcess {
public:
    TMonitorProcess(const std::string& Channel, const char* Mode) {
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
        std::string program = SQLMONITOR_READER;
        std::vector<char*> argv = {program.data(), const_cast<char*>(Channel.c_str()), const_cast<char*>(Mode),
                                   nullptr};
        const int rc = posix_spawn(&FPid, program.c_str(), &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);
        FOut = fds[0];
        if (rc != 0) throw std::runtime_error("cannot start the monitor");
    }
    ~TMonitorProcess() {
        End(SIGTERM);
        close(FOut);
    }
    TMonitorProcess(const TMonitorProcess&) = delete;
    TMonitorProcess& operator=(const TMonitorProcess&) = delete;

    void End(int Signal) {
        if (FPid <= 0) return;
        kill(FPid, Signal);
        waitpid(FPid, nullptr, 0);
        FPid = -1;
    }

    // The next line of output without its line feed; false on timeout or end.
    bool ReadLine(std::string& Line, std::chrono::milliseconds Timeout) {
        size_t eol;
        while ((eol = FBuffer.find('\n')) == std::string::npos)
            if (!Fill(Timeout)) return false;
        Line = FBuffer.substr(0, eol);
        FBuffer.erase(0, eol + 1);
        return true;
    }

    bool NextPiece(TPiece& Piece, std::chrono::milliseconds Timeout) {
        std::string head;
        if (!ReadLine(head, Timeout)) return false;
        size_t length = 0;
        if (std::sscanf(head.c_str(), "PIECE %d %d %zu %lf", &Piece.Category, &Piece.Flag, &length, &Piece.Stamp) != 4)
            return false;
        while (FBuffer.size() < length + 1)
            if (!Fill(Timeout)) return false;
        Piece.Text = FBuffer.substr(0, length);
        FBuffer.erase(0, length + 1);
        return true;
    }

    // Whole messages until one whose text is Last (or a timeout).
    std::vector<TMessage> MessagesUntil(const std::string& Last, std::chrono::milliseconds Timeout = 20s) {
        std::vector<TMessage> messages;
        TPiece piece;
        while (NextPiece(piece, Timeout)) {
            if (piece.Text.compare(0, Header.size(), Header) == 0)
                messages.push_back({piece.Category, piece.Text.substr(Header.size())});
            else if (!messages.empty())
                messages.back().Text += piece.Text;
            if (!messages.empty() && messages.back().Text == Last && piece.Text.size() < TMonitorBlock::TextSize)
                break;
        }
        return messages;
    }

private:
    bool Fill(std::chrono::milliseconds Timeout) {
        pollfd p{FOut, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(Timeout.count())) <= 0) return false;
        char buffer[8192];
        const ssize_t n = read(FOut, buffer, sizeof buffer);
        if (n <= 0) return false;
        FBuffer.append(buffer, static_cast<size_t>(n));
        return true;
    }

    pid_t FPid = -1;
    int FOut = -1;
    std::string FBuffer;
};

} // namespace qnl::test
