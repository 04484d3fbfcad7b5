#pragma once
// Byte streams with the framework's read / write / seek protocol: an abstract TStream, a stream
// over memory and one over a file. Blob streams and column values derive from or copy through
// these. Positions and sizes are 64-bit; a seek to a negative position is refused.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/Exceptions.h"

namespace qnl {

enum class TSeekOrigin : uint8_t { soBeginning, soCurrent, soEnd };

// How a blob stream is opened: read only, write only (a new body), or both.
enum TBlobStreamMode : uint8_t { bmRead, bmWrite, bmReadWrite };

// A stream operation that cannot be done: a short read or write where the whole count was
// asked for, a negative position, a file that cannot be opened.
class EStreamError : public Exception {
public:
    using Exception::Exception;
};

// The position a seek arrives at from Current in a stream of Size bytes; raises EStreamError
// for a position before the start (or beyond the 64-bit range).
int64_t SeekTarget(int64_t Current, int64_t Size, int64_t Offset, TSeekOrigin Origin);

class TStream {
public:
    virtual ~TStream() = default;

    // Read and Write move up to Count bytes and answer how many moved.
    virtual int64_t Read(void* Buffer, int64_t Count) = 0;
    virtual int64_t Write(const void* Buffer, int64_t Count) = 0;
    // Answers the new position; raises EStreamError for a position before the start.
    virtual int64_t Seek(int64_t Offset, TSeekOrigin Origin) = 0;
    virtual void SetSize(int64_t NewSize) = 0;

    virtual int64_t GetSize();
    int64_t Size() { return GetSize(); }
    int64_t Position() { return Seek(0, TSeekOrigin::soCurrent); }
    void SetPosition(int64_t Value) { Seek(Value, TSeekOrigin::soBeginning); }

    // The whole count or EStreamError.
    void ReadBuffer(void* Buffer, int64_t Count);
    void WriteBuffer(const void* Buffer, int64_t Count);
    // Copies Count bytes from Source's position; Count 0 copies the whole of Source from its start.
    int64_t CopyFrom(TStream& Source, int64_t Count);

    // The bytes from the current position to the end, and writing a whole string.
    std::string ReadRest();
    void WriteString(const std::string& Bytes) { WriteBuffer(Bytes.data(), static_cast<int64_t>(Bytes.size())); }
};

class TMemoryStream : public TStream {
public:
    int64_t Read(void* Buffer, int64_t Count) override;
    int64_t Write(const void* Buffer, int64_t Count) override;
    int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;
    void SetSize(int64_t NewSize) override;
    int64_t GetSize() override { return static_cast<int64_t>(FData.size()); }

    char* Memory() { return FData.data(); }
    const char* Memory() const { return FData.data(); }
    const std::string& Bytes() const { return FData; }
    void Clear();

    void LoadFromStream(TStream& Source);
    void SaveToStream(TStream& Target) const;
    void LoadFromFile(const std::string& FileName);
    void SaveToFile(const std::string& FileName) const;

private:
    std::string FData;
    int64_t FPosition = 0;
};

enum class TFileMode : uint8_t {
    fmCreate,      // created or emptied, read and write
    fmOpenRead,
    fmOpenWrite,   // an existing file, write only
    fmOpenReadWrite
};

class TFileStream : public TStream {
public:
    // Raises EStreamError naming the file when it cannot be opened.
    TFileStream(const std::string& FileName, TFileMode Mode);
    ~TFileStream() override;
    TFileStream(const TFileStream&) = delete;
    TFileStream& operator=(const TFileStream&) = delete;

    int64_t Read(void* Buffer, int64_t Count) override;
    int64_t Write(const void* Buffer, int64_t Count) override;
    int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;
    void SetSize(int64_t NewSize) override;
    int64_t GetSize() override;

    const std::string& FileName() const { return FFileName; }

private:
    std::string FFileName;
    int FHandle = -1;
};

} // namespace qnl
