#pragma once
// Server blobs: the routines over the client API that read, write and inspect one blob, the
// stream that holds the whole body of one blob in memory (loaded lazily, written back as a new
// blob, optionally kept in a swap file on disk), and the thread that removes stale swap files.
//
// Swap files live under the database's expanded swap folder, one folder per table and column,
// one file per record. Every name taken from data is escaped into one safe path component, so
// no table, column or key value can reach outside the folder. One process-wide lock serialises
// every read, write and deletion of swap files.
//
// A validation thread started here is joined before the process exits; WaitForValidateBlobCache
// joins the running ones earlier.
#include "client/FIBDatabase.h"
#include "platform/Streams.h"
#include "platform/Variant.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace qnl {

// Progress of one transfer: the total length and the bytes done so far; setting Stop ends it.
using TBlobProgress = std::function<void(int64_t BlobSize, int64_t Progress, bool& Stop)>;

// --- Client-API routines ---------------------------------------------------------------------
// Each raises the plain Exception "Can't perform operation <name>. Unknown client library" when
// Lib is nil, and the status-vector error when a client call fails.

// Number of segments, largest segment, total length and type of an open blob.
void GetBlobInfo(IIBClientLibrary* Lib, isc_blob_handle* Handle, int32_t& NumSegments, int32_t& MaxSegment,
                 int64_t& TotalSize, int16_t& BlobType);
// Reads Length bytes, the length the blob reported, into Buffer (its old content replaced; its
// room reserved once, never zero-filled). When Progress stops the read, Buffer keeps the bytes
// read so far.
void ReadBlob(IIBClientLibrary* Lib, isc_blob_handle* Handle, int64_t Length, std::string& Buffer,
              const TBlobProgress& Progress);
// Reads until the end of the blob, for bodies the server transliterates (their length differs
// from the stored one). ExpectedLength is only the first guess of the room: Buffer grows as
// needed and ends holding exactly the bytes read.
void ReadBlobUntilEof(IIBClientLibrary* Lib, isc_blob_handle* Handle, int64_t ExpectedLength, std::string& Buffer,
                      const TBlobProgress& Progress);
// Writes Buffer in segments of at most 65535 bytes. When Progress stops the write, the blob is
// cancelled (Handle becomes 0) and the answer is false.
bool WriteBlob(IIBClientLibrary* Lib, isc_blob_handle* Handle, const std::string& Buffer,
               const TBlobProgress& Progress);
// Whether the blob can be opened in the transaction; never raises for a failed open.
bool BlobExist(IIBClientLibrary* Lib, isc_db_handle* DBHandle, isc_tr_handle* TRHandle, const ISC_QUAD& BlobID);
bool SameBlobID(const ISC_QUAD& A, const ISC_QUAD& B);
// The relation half of a blob id is zero for a blob that is not (yet) stored in a table: a new
// blob, or the transaction-local copy the server makes when it transliterates a text blob.
inline bool IsStoredBlobID(const ISC_QUAD& ID) { return ID.gds_quad_high != 0; }

// --- The blob stream -------------------------------------------------------------------------

class TFIBBlobStream : public TStream {
public:
    TFIBBlobStream();
    // A stream of one record's blob column: it registers in OwnerList (when given) and carries the
    // identity (table, column, key values) that names its swap file.
    TFIBBlobStream(int FieldNo, std::vector<TFIBBlobStream*>* OwnerList, std::string TableName,
                   std::string FieldName, std::vector<Variant> KeyValues);
    // Closes an open blob and leaves OwnerList (the last entry takes the freed slot).
    ~TFIBBlobStream() override;
    TFIBBlobStream(const TFIBBlobStream&) = delete;
    TFIBBlobStream& operator=(const TFIBBlobStream&) = delete;

    // --- Stream protocol (each loads the body first)
    int64_t Read(void* Buffer, int64_t Count) override;
    // The first write after a load or an acceptance starts from an empty body; the loaded body
    // is kept aside until it is accepted or restored. A body beyond 2147483647 bytes, what a
    // blob can hold, is refused (a client error), and so is such a size.
    int64_t Write(const void* Buffer, int64_t Count) override;
    // A position beyond the end is allowed; one before the start raises EStreamError.
    int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;
    // New bytes are zero; the position is not changed.
    void SetSize(int64_t NewSize) override;
    int64_t GetSize() override;
    int64_t SeekWithProgress(int64_t Offset, TSeekOrigin Origin, const TBlobProgress& Progress);

    // --- Connection and identity; the setters of database, transaction, mode and id make the
    // body load again on the next access. The stream keeps plain references: its owner keeps the
    // database and transactions alive while it lives.
    TFIBDatabase* Database() const { return FDatabase; }
    void SetDatabase(TFIBDatabase* Value);
    TFIBTransaction* Transaction() const { return FTransaction; }
    void SetTransaction(TFIBTransaction* Value);
    // The transaction that creates new blobs; nil means Transaction.
    TFIBTransaction* UpdateTransaction() const { return FUpdateTransaction; }
    void SetUpdateTransaction(TFIBTransaction* Value) { FUpdateTransaction = Value; }
    TBlobStreamMode Mode() const { return FMode; }
    void SetMode(TBlobStreamMode Value);
    const ISC_QUAD& BlobID() const { return FBlobID; }
    void SetBlobID(const ISC_QUAD& Value);
    int32_t BlobSubType() const { return FBlobSubType; }
    void SetBlobSubType(int32_t Value) { FBlobSubType = Value; }
    int32_t CharsetID() const { return FCharsetID; }
    void SetCharsetID(int32_t Value) { FCharsetID = Value; }
    // A client blob is filled by the application and never read from or written to the server.
    bool IsClientBlob() const { return FIsClientBlob; }
    void SetIsClientBlob(bool Value) { FIsClientBlob = Value; }

    int FieldNo() const { return FFieldNo; }
    int OwnerIndex() const { return FOwnerIndex; }
    const std::string& TableName() const { return FTableName; }
    const std::string& FieldName() const { return FFieldName; }
    const std::vector<Variant>& KeyValues() const { return FKeyValues; }
    // Each key value as text (Null as an empty text), joined by "_".
    std::string KeyString() const;

    // --- State
    int64_t BlobSize() const { return static_cast<int64_t>(FBody.size()); }
    int32_t BlobMaxSegmentSize() const { return FBlobMaxSegmentSize; }
    int32_t BlobNumSegments() const { return FBlobNumSegments; }
    int16_t BlobType() const { return FBlobType; }
    bool Loaded() const { return FLoaded; }
    bool Modified() const { return FModified; }
    bool LoadedFromSwap() const { return FLoadedFromSwap; }
    isc_blob_handle BlobHandle() const { return FBlobHandle; }
    int64_t SavedSize() const { return FSavedBody ? static_cast<int64_t>(FSavedBody->size()) : 0; }

    // --- Writing back
    // Writes a changed body as a new blob, then accepts it.
    void Finalize();
    // Does nothing unless the body is loaded, the mode allows writing and it was changed (or
    // Force). AcceptOnly accepts the body as it is; otherwise a new blob is created in the update
    // transaction and BlobID becomes its id. When Progress stops the write the blob is cancelled,
    // BlobID stays the old one and EAbort is raised; a failed write also leaves BlobID alone.
    void WriteToServer(bool AcceptOnly, bool Force, const TBlobProgress& Progress = nullptr);
    void RestoreSavedBody();
    // Frees the saved body and empties the body, which then loads again on the next access.
    void ReleaseBody();
    void FreeSavedBody();
    void CloseBlob();
    // The body becomes a copy of Data.
    void AssignBuffer(const void* Data, int64_t Count);
    // Starts a changed, empty body (the loaded one is kept aside when it is the first change).
    void Truncate();
    // The old value of a field: the saved body when there is one, else the body.
    int64_t ReadSavedBody(void* Dest, int64_t Count);
    int64_t SeekSavedBody(int64_t Offset, TSeekOrigin Origin);
    // The data set calls this when a newly written blob got its stored id.
    void AssignPermanentBlobID(const ISC_QUAD& Value);

    // --- Copies
    // Stream replaces Target's content. With header: the swap-file layout (nothing at all for an
    // empty body); without: the plain body.
    void SaveToStream(TStream& Target, bool WithHeader);
    // With header: true when every header item matches this stream (blob id, length, key count,
    // table, column, key string); the body is then read; on any mismatch the body is unchanged.
    // Without header: the whole of Source becomes the changed body.
    bool LoadFromStream(TStream& Source, bool WithHeader);
    std::string GetAsString();
    std::u16string GetAsWideString();

    // --- Swap files
    // Does nothing without key values (with header) or without a table name.
    void SaveToSwapFile(const std::string& FileName, bool WithHeader);
    // False when the file is missing or does not match; never raises.
    bool LoadFromSwapFile(const std::string& FileName, bool WithHeader);
    // Writes the swap file of a stored blob when the database's blob swapping covers it. A file
    // that cannot be written is removed again and does not fail the caller.
    void SaveToSwapIfNeeded();

private:
    static void CheckBlobSize(int64_t Size);
    bool SwapCovers() const;
    void CheckHandles(bool ForWriting);
    void CheckReadable() const;
    void CheckWritable() const;
    IIBClientLibrary* ClientLibrary() const;
    ISC_STATUS CheckStatus(ISC_STATUS Status, bool RaiseOnError);
    void EnsureLoaded(const TBlobProgress& Progress = nullptr);
    void PrepareNewBody();
    void LoadBlob(const TBlobProgress& Progress);
    // Opens the blob for reading, with the BLR-to-text conversion when it applies.
    void OpenBlob();
    bool TryLoadFromSwap();
    void SaveBody();
    // The body through the database's client-side filter of the subtype, when it has one.
    std::string Filtered(const std::string& Body, bool BeforeWrite) const;
    bool HasFilter() const;

    TFIBDatabase* FDatabase = nullptr;
    TFIBTransaction* FTransaction = nullptr;
    TFIBTransaction* FUpdateTransaction = nullptr;
    ISC_QUAD FBlobID{};
    int32_t FBlobMaxSegmentSize = 0;
    int32_t FBlobNumSegments = 0;
    int16_t FBlobType = 0;
    int32_t FBlobSubType = 0;
    std::string FBody;
    std::optional<std::string> FSavedBody;
    bool FLoaded = false;
    isc_blob_handle FBlobHandle = 0;
    TBlobStreamMode FMode = bmRead;
    bool FModified = false;
    int64_t FPosition = 0;
    std::vector<TFIBBlobStream*>* FOwnerList = nullptr;
    int FOwnerIndex = -1;
    int FFieldNo = -1;
    bool FSaveBodyOnWrite = true;
    std::string FTableName;
    std::string FFieldName;
    std::vector<Variant> FKeyValues;
    bool FLoadedFromSwap = false;
    bool FIsClientBlob = false;
    int32_t FCharsetID = -1;
};

// --- Swap files ------------------------------------------------------------------------------

// One component of a swap path: letters, digits, "_", "-" and "$" as they are, every other byte
// as "%" and two hex digits, so "..", "/" and NUL never reach the file system and distinct texts
// stay distinct.
std::string SwapPathComponent(const std::string& Text);
// The swap file of a stream: swap folder / table / column / key string ".blb", each escaped. The
// folder of the file is created when ForceDirectories is set, else it must exist; empty when
// there is no folder or no database.
std::string BlobSwapFileName(const TFIBBlobStream& Stream, bool ForceDirectories);

// Starts a validation pass over the database's swap folder on a thread of its own, when the
// database is connected and the folder exists.
void StartValidateBlobCache(TFIBDatabase* Database);
// Joins every validation thread started so far, letting each finish its pass.
void WaitForValidateBlobCache();
// Validates every ".blb" file of Dir and its sub-folders. Only regular files and real folders
// are visited: a symbolic link is neither followed nor removed. Stops early once Terminated is set.
void ValidateBlobCacheDir(TFIBDatabase* Database, TFIBTransaction* Transaction, const std::string& Dir,
                          const std::atomic<bool>* Terminated = nullptr);
// Removes the file unless it is a swap file whose blob still exists; every failure (another
// format, an unreadable file, no connection) removes it too.
void ValidateBlobCacheFile(TFIBDatabase* Database, TFIBTransaction* Transaction, const std::string& FileName);

// One validation pass with its own connection ("dbValidateBlobCache") and read-only transaction
// ("trValidateBlobCache"). The pass runs on its own thread from construction on; the destructor
// stops it between two files and joins it.
class TValidateBlobCacheThread {
public:
    explicit TValidateBlobCacheThread(TFIBDatabase* Database);
    ~TValidateBlobCacheThread();
    TValidateBlobCacheThread(const TValidateBlobCacheThread&) = delete;
    TValidateBlobCacheThread& operator=(const TValidateBlobCacheThread&) = delete;

    void Terminate() { FTerminated = true; }
    bool Finished() const { return FFinished; }
    void WaitFor();

private:
    void Execute();

    std::unique_ptr<TFIBDatabase> FDatabase;
    std::unique_ptr<TFIBTransaction> FTransaction;
    std::string FSwapDir;
    std::atomic<bool> FTerminated{false};
    std::atomic<bool> FFinished{false};
    std::thread FThread;
};

} // namespace qnl
