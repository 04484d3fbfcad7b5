// Implements the byte streams; see Streams.h.
#include "platform/Streams.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qnl {

int64_t SeekTarget(int64_t Current, int64_t Size, int64_t Offset, TSeekOrigin Origin) {
    int64_t Base = Origin == TSeekOrigin::soBeginning ? 0 : Origin == TSeekOrigin::soCurrent ? Current : Size;
    int64_t Result = 0;
    if (__builtin_add_overflow(Base, Offset, &Result) || Result < 0)
        throw EStreamError("Stream seek to a negative position");
    return Result;
}

namespace {

[[noreturn]] void RaiseFileError(const std::string& What, const std::string& FileName) {
    throw EStreamError(What + " \"" + FileName + "\": " + std::strerror(errno));
}

} // namespace

// ---- TStream ----

int64_t TStream::GetSize() {
    int64_t Pos = Seek(0, TSeekOrigin::soCurrent);
    int64_t Result = Seek(0, TSeekOrigin::soEnd);
    Seek(Pos, TSeekOrigin::soBeginning);
    return Result;
}

void TStream::ReadBuffer(void* Buffer, int64_t Count) {
    if (Count != 0 && Read(Buffer, Count) != Count)
        throw EStreamError("Stream read error");
}

void TStream::WriteBuffer(const void* Buffer, int64_t Count) {
    if (Count != 0 && Write(Buffer, Count) != Count)
        throw EStreamError("Stream write error");
}

int64_t TStream::CopyFrom(TStream& Source, int64_t Count) {
    if (Count == 0) {
        Source.SetPosition(0);
        Count = Source.Size();
    }
    int64_t Result = Count;
    std::vector<char> Buffer(static_cast<size_t>(std::min<int64_t>(Count, 61440)) + 1);
    while (Count > 0) {
        int64_t Chunk = std::min<int64_t>(Count, static_cast<int64_t>(Buffer.size()));
        Source.ReadBuffer(Buffer.data(), Chunk);
        WriteBuffer(Buffer.data(), Chunk);
        Count -= Chunk;
    }
    return Result;
}

std::string TStream::ReadRest() {
    std::string Result;
    int64_t Rest = Size() - Position();
    if (Rest <= 0)
        return Result;
    Result.resize(static_cast<size_t>(Rest));
    ReadBuffer(Result.data(), Rest);
    return Result;
}

// ---- TMemoryStream ----

int64_t TMemoryStream::Read(void* Buffer, int64_t Count) {
    int64_t Size = GetSize();
    if (Count <= 0 || FPosition >= Size)
        return 0;
    int64_t Result = std::min(Count, Size - FPosition);
    std::memcpy(Buffer, FData.data() + FPosition, static_cast<size_t>(Result));
    FPosition += Result;
    return Result;
}

int64_t TMemoryStream::Write(const void* Buffer, int64_t Count) {
    if (Count <= 0)
        return 0;
    if (FPosition + Count > GetSize())
        FData.resize(static_cast<size_t>(FPosition + Count));
    std::memcpy(FData.data() + FPosition, Buffer, static_cast<size_t>(Count));
    FPosition += Count;
    return Count;
}

int64_t TMemoryStream::Seek(int64_t Offset, TSeekOrigin Origin) {
    FPosition = SeekTarget(FPosition, GetSize(), Offset, Origin);
    return FPosition;
}

void TMemoryStream::SetSize(int64_t NewSize) {
    if (NewSize < 0)
        throw EStreamError("Stream size below zero");
    FData.resize(static_cast<size_t>(NewSize));
    FPosition = std::min(FPosition, NewSize);
}

void TMemoryStream::Clear() {
    FData.clear();
    FPosition = 0;
}

void TMemoryStream::LoadFromStream(TStream& Source) {
    Source.SetPosition(0);
    int64_t Size = Source.Size();
    FData.resize(static_cast<size_t>(Size));
    Source.ReadBuffer(FData.data(), Size);
    FPosition = 0;
}

void TMemoryStream::SaveToStream(TStream& Target) const {
    Target.WriteBuffer(FData.data(), static_cast<int64_t>(FData.size()));
}

void TMemoryStream::LoadFromFile(const std::string& FileName) {
    TFileStream File(FileName, TFileMode::fmOpenRead);
    LoadFromStream(File);
}

void TMemoryStream::SaveToFile(const std::string& FileName) const {
    TFileStream File(FileName, TFileMode::fmCreate);
    SaveToStream(File);
}

// ---- TFileStream ----

TFileStream::TFileStream(const std::string& FileName, TFileMode Mode) : FFileName(FileName) {
    int Flags = O_CLOEXEC;
    switch (Mode) {
    case TFileMode::fmCreate: Flags |= O_RDWR | O_CREAT | O_TRUNC; break;
    case TFileMode::fmOpenRead: Flags |= O_RDONLY; break;
    case TFileMode::fmOpenWrite: Flags |= O_WRONLY; break;
    case TFileMode::fmOpenReadWrite: Flags |= O_RDWR; break;
    }
    FHandle = ::open(FileName.c_str(), Flags, 0600);
    if (FHandle < 0)
        RaiseFileError(Mode == TFileMode::fmCreate ? "Cannot create file" : "Cannot open file", FileName);
}

TFileStream::~TFileStream() {
    if (FHandle >= 0)
        ::close(FHandle);
}

int64_t TFileStream::Read(void* Buffer, int64_t Count) {
    int64_t Done = 0;
    while (Done < Count) {
        ssize_t N = ::read(FHandle, static_cast<char*>(Buffer) + Done, static_cast<size_t>(Count - Done));
        if (N < 0 && errno == EINTR)
            continue;
        if (N <= 0)
            break;
        Done += N;
    }
    return Done;
}

int64_t TFileStream::Write(const void* Buffer, int64_t Count) {
    int64_t Done = 0;
    while (Done < Count) {
        ssize_t N = ::write(FHandle, static_cast<const char*>(Buffer) + Done, static_cast<size_t>(Count - Done));
        if (N < 0 && errno == EINTR)
            continue;
        if (N <= 0)
            break;
        Done += N;
    }
    return Done;
}

int64_t TFileStream::Seek(int64_t Offset, TSeekOrigin Origin) {
    off_t Current = ::lseek(FHandle, 0, SEEK_CUR);
    int64_t Target = SeekTarget(Current, Origin == TSeekOrigin::soEnd ? GetSize() : 0, Offset, Origin);
    off_t Result = ::lseek(FHandle, static_cast<off_t>(Target), SEEK_SET);
    if (Result < 0)
        RaiseFileError("Cannot seek in file", FFileName);
    return Result;
}

void TFileStream::SetSize(int64_t NewSize) {
    if (NewSize < 0)
        throw EStreamError("Stream size below zero");
    if (::ftruncate(FHandle, static_cast<off_t>(NewSize)) != 0)
        RaiseFileError("Cannot resize file", FFileName);
    if (::lseek(FHandle, 0, SEEK_CUR) > NewSize)
        ::lseek(FHandle, static_cast<off_t>(NewSize), SEEK_SET);
}

int64_t TFileStream::GetSize() {
    struct stat Info {};
    if (::fstat(FHandle, &Info) != 0)
        RaiseFileError("Cannot read the size of file", FFileName);
    return Info.st_size;
}

} // namespace qnl
