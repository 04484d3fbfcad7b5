#include "platform/FileLock.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace qnl {

TFileLock::TFileLock(const std::string& FileName) {
    FHandle = ::open(FileName.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (FHandle < 0) return;
    int rc;
    do {
        rc = ::flock(FHandle, LOCK_EX);
    } while (rc != 0 && errno == EINTR);
    FLocked = rc == 0;
}

TFileLock::~TFileLock() {
    if (FHandle < 0) return;
    if (FLocked) ::flock(FHandle, LOCK_UN);
    ::close(FHandle);
}

} // namespace qnl
