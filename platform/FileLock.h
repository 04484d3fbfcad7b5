#pragma once
// An exclusive advisory lock on a file, held for the object's life, so that a read-modify-write
// of a file shared by several objects or processes is not interleaved. The file is created
// (empty) when missing. Every holder of the lock opens the file itself, so two objects of one
// process exclude each other as two processes do.
#include <string>

namespace qnl {

class TFileLock {
public:
    // Waits for the lock; Locked() is false when the file cannot be opened.
    explicit TFileLock(const std::string& FileName);
    ~TFileLock();
    TFileLock(const TFileLock&) = delete;
    TFileLock& operator=(const TFileLock&) = delete;
    bool Locked() const { return FLocked; }

private:
    int FHandle = -1;
    bool FLocked = false;
};

} // namespace qnl
