// Implements the blob routines, the blob stream, swap files and their validation; see
// FIBMiscellaneous.h.
#include "client/FIBMiscellaneous.h"

#include "client/StrUtil.h"
#include "platform/Files.h"
#include "platform/VariantConv.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>

namespace fs = std::filesystem;

namespace qnl {

namespace {

constexpr const char* BlobStreamName = "BlobStream";
// Segment lengths are 16-bit in the client calls.
constexpr int64_t MaxSegmentLength = 65535;

constexpr char SwapMagic[] = "FIB$BLOB_BODY";
constexpr size_t SwapMagicLength = sizeof SwapMagic - 1;
constexpr int32_t SwapFormatVersion = 1;

constexpr const char* STemporaryBlobID =
    "\r\nThe blob id is a temporary one, valid only in the transaction that fetched or created it (the server "
    "gives a text blob that it transliterates to the connection's character set a new temporary id on every "
    "fetch). Read the blob in that transaction.";

// Serialises every read, write and deletion of swap files, of all streams and of the
// validation threads.
std::recursive_mutex& SwapLock() {
    static std::recursive_mutex lock;
    return lock;
}

void RequireLibrary(IIBClientLibrary* Lib, const char* Operation) {
    if (!Lib) throw Exception(FormatMessage(SFIBUnknownClientLibrary, {Operation}));
}

bool Stopped(const TBlobProgress& Progress, int64_t Total, int64_t Done) {
    if (!Progress) return false;
    bool stop = false;
    Progress(Total, Done, stop);
    return stop;
}

void RemoveFile(const std::string& FileName) {
    if (FileName.empty()) return;
    std::lock_guard lock(SwapLock());
    std::error_code ec;
    fs::remove(FileName, ec);
}

// --- The swap file's little-endian items

void WriteInt32(TStream& Target, int32_t Value) {
    const auto v = static_cast<uint32_t>(Value);
    const unsigned char bytes[4] = {static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8),
                                    static_cast<unsigned char>(v >> 16), static_cast<unsigned char>(v >> 24)};
    Target.WriteBuffer(bytes, 4);
}

void WriteText(TStream& Target, const std::string& Text) {
    WriteInt32(Target, static_cast<int32_t>(Text.size()));
    Target.WriteBuffer(Text.data(), static_cast<int64_t>(Text.size()));
}

bool ReadInt32(TStream& Source, int32_t& Value) {
    unsigned char bytes[4];
    if (Source.Read(bytes, 4) != 4) return false;
    Value = static_cast<int32_t>(bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) | (static_cast<uint32_t>(bytes[3]) << 24));
    return true;
}

bool ReadBytes(TStream& Source, std::string& Bytes, int64_t Count) {
    Bytes.assign(static_cast<size_t>(Count), '\0');
    return Source.Read(Bytes.data(), Count) == Count;
}

// A stored text of Expected: its length must be Expected's (a stored length of 0 matches any
// text when EmptyMatchesAny) and its bytes equal. Lengths are compared before anything is read,
// so a damaged length never makes a large allocation.
bool ReadMatchingText(TStream& Source, const std::string& Expected, bool EmptyMatchesAny) {
    int32_t length = 0;
    if (!ReadInt32(Source, length) || length < 0) return false;
    if (length == 0 && EmptyMatchesAny) return true;
    if (static_cast<size_t>(length) != Expected.size()) return false;
    std::string stored;
    return ReadBytes(Source, stored, length) && stored == Expected;
}

bool ReadSwapHeaderStart(TStream& Source, ISC_QUAD& BlobID) {
    char magic[SwapMagicLength];
    int32_t version = 0;
    return Source.Read(magic, SwapMagicLength) == static_cast<int64_t>(SwapMagicLength) &&
           std::memcmp(magic, SwapMagic, SwapMagicLength) == 0 && ReadInt32(Source, version) &&
           version == SwapFormatVersion && Source.Read(&BlobID, sizeof BlobID) == static_cast<int64_t>(sizeof BlobID);
}

} // namespace

// ---- Client-API routines ----

void GetBlobInfo(IIBClientLibrary* Lib, isc_blob_handle* Handle, int32_t& NumSegments, int32_t& MaxSegment,
                 int64_t& TotalSize, int16_t& BlobType) {
    RequireLibrary(Lib, "GetBlobInfo");
    const char items[] = {isc_info_blob_num_segments, isc_info_blob_max_segment, isc_info_blob_total_length,
                          isc_info_blob_type};
    char reply[100] = {};
    if (Lib->isc_blob_info(ThreadStatusVector(), Handle, static_cast<short>(sizeof items), items,
                           static_cast<short>(sizeof reply), reply) > 0)
        RaiseStatusVectorError(*Lib, nullptr);
    size_t i = 0;
    while (i + 3 <= sizeof reply && reply[i] != isc_info_end) {
        const char item = reply[i];
        const auto length = static_cast<short>(Lib->isc_vax_integer(reply + i + 1, 2));
        if (length < 0 || i + 3 + static_cast<size_t>(length) > sizeof reply) break;
        const ISC_LONG value = Lib->isc_vax_integer(reply + i + 3, length);
        switch (item) {
            case isc_info_blob_num_segments: NumSegments = value; break;
            case isc_info_blob_max_segment: MaxSegment = value; break;
            // Four unsigned bytes: a body over 2 GiB is not a negative length.
            case isc_info_blob_total_length: TotalSize = static_cast<uint32_t>(value); break;
            case isc_info_blob_type: BlobType = static_cast<int16_t>(value); break;
            default: break;
        }
        i += 3 + static_cast<size_t>(length);
    }
}

void ReadBlob(IIBClientLibrary* Lib, isc_blob_handle* Handle, int64_t Length, std::string& Buffer,
              const TBlobProgress& Progress) {
    RequireLibrary(Lib, "ReadBlob");
    // Each segment lands in a buffer on the stack and is appended to the body, whose room was
    // reserved from the length the blob reported: nothing is allocated or zero-filled per segment.
    char segment[MaxSegmentLength];
    Buffer.clear();
    Buffer.reserve(static_cast<size_t>(std::max<int64_t>(Length, 0)));
    while (static_cast<int64_t>(Buffer.size()) < Length) {
        const auto request =
            static_cast<unsigned short>(std::min(MaxSegmentLength, Length - static_cast<int64_t>(Buffer.size())));
        unsigned short got = 0;
        const ISC_STATUS result = Lib->isc_get_segment(ThreadStatusVector(), Handle, &got, request, segment);
        if (result != 0 && result != isc_segment) RaiseStatusVectorError(*Lib, nullptr);
        Buffer.append(segment, got);
        if (Stopped(Progress, Length, static_cast<int64_t>(Buffer.size()))) break;
    }
}

void ReadBlobUntilEof(IIBClientLibrary* Lib, isc_blob_handle* Handle, int64_t ExpectedLength, std::string& Buffer,
                      const TBlobProgress& Progress) {
    RequireLibrary(Lib, "ReadBlob");
    char segment[MaxSegmentLength];
    Buffer.clear();
    Buffer.reserve(static_cast<size_t>(std::max<int64_t>(ExpectedLength, 0)));
    for (;;) {
        // The server may deliver more than the length it reported: the body grows as it must.
        unsigned short got = 0;
        const ISC_STATUS result = Lib->isc_get_segment(ThreadStatusVector(), Handle, &got,
                                                       static_cast<unsigned short>(MaxSegmentLength), segment);
        if (result == isc_segstr_eof) {
            Stopped(Progress, static_cast<int64_t>(Buffer.size()), static_cast<int64_t>(Buffer.size()));
            return;
        }
        if (result != 0 && result != isc_segment) RaiseStatusVectorError(*Lib, nullptr);
        Buffer.append(segment, got);
        const auto done = static_cast<int64_t>(Buffer.size());
        if (Stopped(Progress, std::max(ExpectedLength, done), done)) return;
    }
}

bool WriteBlob(IIBClientLibrary* Lib, isc_blob_handle* Handle, const std::string& Buffer,
               const TBlobProgress& Progress) {
    RequireLibrary(Lib, "WriteBlob");
    const auto size = static_cast<int64_t>(Buffer.size());
    int64_t done = 0;
    while (done < size) {
        const auto piece = static_cast<unsigned short>(std::min(MaxSegmentLength, size - done));
        if (Lib->isc_put_segment(ThreadStatusVector(), Handle, piece, Buffer.data() + done) > 0)
            RaiseStatusVectorError(*Lib, nullptr);
        done += piece;
        if (Stopped(Progress, size, done)) {
            Lib->isc_cancel_blob(ThreadStatusVector(), Handle);
            *Handle = 0;
            return false;
        }
    }
    return true;
}

bool BlobExist(IIBClientLibrary* Lib, isc_db_handle* DBHandle, isc_tr_handle* TRHandle, const ISC_QUAD& BlobID) {
    RequireLibrary(Lib, "BlobExist");
    isc_blob_handle handle = 0;
    ISC_QUAD id = BlobID;
    if (Lib->isc_open_blob2(ThreadStatusVector(), DBHandle, TRHandle, &handle, &id, 0, nullptr) != 0) return false;
    Lib->isc_close_blob(ThreadStatusVector(), &handle);
    return true;
}

bool SameBlobID(const ISC_QUAD& A, const ISC_QUAD& B) {
    return A.gds_quad_high == B.gds_quad_high && A.gds_quad_low == B.gds_quad_low;
}

// ---- TFIBBlobStream: life ----

TFIBBlobStream::TFIBBlobStream() = default;

TFIBBlobStream::TFIBBlobStream(int FieldNo, std::vector<TFIBBlobStream*>* OwnerList, std::string TableName,
                               std::string FieldName, std::vector<Variant> KeyValues)
    : FOwnerList(OwnerList),
      FFieldNo(FieldNo),
      FTableName(std::move(TableName)),
      FFieldName(std::move(FieldName)),
      FKeyValues(std::move(KeyValues)) {
    if (FOwnerList) {
        FOwnerIndex = static_cast<int>(FOwnerList->size());
        FOwnerList->push_back(this);
    }
}

TFIBBlobStream::~TFIBBlobStream() {
    if (FBlobHandle) {
        if (IIBClientLibrary* lib = ClientLibrary()) lib->isc_close_blob(ThreadStatusVector(), &FBlobHandle);
    }
    if (FOwnerList && FOwnerIndex >= 0 && FOwnerIndex < static_cast<int>(FOwnerList->size())) {
        std::vector<TFIBBlobStream*>& list = *FOwnerList;
        if (FOwnerIndex != static_cast<int>(list.size()) - 1) {
            list[static_cast<size_t>(FOwnerIndex)] = list.back();
            list[static_cast<size_t>(FOwnerIndex)]->FOwnerIndex = FOwnerIndex;
        }
        list.pop_back();
    }
}

void TFIBBlobStream::SetDatabase(TFIBDatabase* Value) {
    FDatabase = Value;
    FLoaded = false;
}

void TFIBBlobStream::SetTransaction(TFIBTransaction* Value) {
    FTransaction = Value;
    FLoaded = false;
}

void TFIBBlobStream::SetMode(TBlobStreamMode Value) {
    FMode = Value;
    FLoaded = false;
}

void TFIBBlobStream::SetBlobID(const ISC_QUAD& Value) {
    FBlobID = Value;
    FLoaded = false;
}

std::string TFIBBlobStream::KeyString() const {
    std::string key;
    for (size_t i = 0; i < FKeyValues.size(); ++i) {
        if (i > 0) key += '_';
        key += VarToStr(FKeyValues[i]);
    }
    return key;
}

// ---- TFIBBlobStream: checks ----

IIBClientLibrary* TFIBBlobStream::ClientLibrary() const { return FDatabase ? FDatabase->ClientLibrary() : nullptr; }

void TFIBBlobStream::CheckHandles(bool ForWriting) {
    if (!FDatabase) RaiseClientError(cecDatabaseNotAssigned, {BlobStreamName});
    if (!FDatabase->Handle()) RaiseClientError(cecDatabaseClosed, {BlobStreamName});
    TFIBTransaction* tr = ForWriting && FUpdateTransaction ? FUpdateTransaction : FTransaction;
    if (!tr) RaiseClientError(cecTransactionNotAssigned, {BlobStreamName});
    if (!tr->Active()) RaiseClientError(cecNotInTransaction, {BlobStreamName});
}

void TFIBBlobStream::CheckReadable() const {
    if (FMode == bmWrite) RaiseClientError(cecBlobCannotBeRead);
}

void TFIBBlobStream::CheckWritable() const {
    if (FMode == bmRead && !FIsClientBlob) RaiseClientError(cecBlobCannotBeWritten);
}

ISC_STATUS TFIBBlobStream::CheckStatus(ISC_STATUS Status, bool RaiseOnError) {
    if (FTransaction) return FTransaction->CheckStatus(Status, RaiseOnError);
    if (RaiseOnError && Status > 0) RaiseStatusVectorError(*ClientLibrary(), nullptr);
    return Status;
}

// ---- TFIBBlobStream: loading ----

void TFIBBlobStream::EnsureLoaded(const TBlobProgress& Progress) {
    if (FLoaded) return;
    if (FIsClientBlob) {
        FLoaded = true;
        return;
    }
    if (FMode == bmWrite || (FMode == bmReadWrite && FBlobID.gds_quad_high == 0 && FBlobID.gds_quad_low == 0))
        PrepareNewBody();
    else
        LoadBlob(Progress);
    FLoaded = true;
    SaveToSwapIfNeeded();
}

void TFIBBlobStream::PrepareNewBody() {
    CheckWritable();
    FBlobID = ISC_QUAD{};
    Truncate();
}

void TFIBBlobStream::OpenBlob() {
    IIBClientLibrary* lib = ClientLibrary();
    std::string bpb;
    // Asks the server to hand BLR and the other binary system subtypes over as text.
    if (FBlobSubType >= 2 && FBlobSubType <= 8 && FDatabase->UseBlrToTextFilter)
        bpb = {isc_bpb_version1, isc_bpb_source_type, 1, static_cast<char>(FBlobSubType), isc_bpb_target_type, 1, 1};
    const ISC_STATUS status = lib->isc_open_blob2(
        ThreadStatusVector(), FDatabase->HandleAddress(), FTransaction->HandleAddress(), &FBlobHandle, &FBlobID,
        static_cast<ISC_USHORT>(bpb.size()), bpb.empty() ? nullptr : reinterpret_cast<const ISC_UCHAR*>(bpb.data()));
    try {
        CheckStatus(status, true);
    } catch (EFIBInterBaseError& e) {
        if (e.IBErrorCode() == isc_bad_segstr_id && !IsStoredBlobID(FBlobID)) e.SetBaseMessage(STemporaryBlobID);
        throw;
    }
}

void TFIBBlobStream::LoadBlob(const TBlobProgress& Progress) {
    CheckReadable();
    CheckHandles(false);
    FLoadedFromSwap = false;
    OpenBlob();
    IIBClientLibrary* lib = ClientLibrary();
    try {
        int64_t total = 0;
        GetBlobInfo(lib, &FBlobHandle, FBlobNumSegments, FBlobMaxSegmentSize, total, FBlobType);
        CheckBlobSize(total);
        // A swap file's header is checked against the length the blob reported.
        if (SwapCovers()) {
            SetSize(total);
            if (TryLoadFromSwap()) return;
        }
        if (FDatabase->NeedUnicodeFieldTranslation())
            ReadBlobUntilEof(lib, &FBlobHandle, total, FBody, Progress);
        else
            ReadBlob(lib, &FBlobHandle, total, FBody, Progress);
        if (HasFilter()) FBody = Filtered(FBody, false);
        const ISC_STATUS status = lib->isc_close_blob(ThreadStatusVector(), &FBlobHandle);
        CheckStatus(status, true);
        FBlobHandle = 0;
    } catch (...) {
        if (FBlobHandle) CheckStatus(lib->isc_close_blob(ThreadStatusVector(), &FBlobHandle), false);
        FBlobHandle = 0;
        throw;
    }
}

bool TFIBBlobStream::SwapCovers() const {
    if (!FDatabase) return false;
    const TBlobSwapSupport& swap = FDatabase->BlobSwapSupport();
    if (!swap.Active || swap.GetExpandedSwapDir().empty()) return false;
    return swap.Tables().Count() == 0 || swap.Tables().IndexOf(FTableName) >= 0;
}

bool TFIBBlobStream::TryLoadFromSwap() {
    if (!SwapCovers()) return false;
    std::string fileName = BlobSwapFileName(*this, false);
    bool canLoad = true;
    if (FDatabase->BeforeLoadBlobFromSwap)
        FDatabase->BeforeLoadBlobFromSwap(FTableName, FFieldName, FKeyValues, fileName, canLoad);
    if (!canLoad) return false;
    if (!LoadFromSwapFile(fileName, true)) {
        RemoveFile(fileName);
        return false;
    }
    FLoaded = true;
    const ISC_STATUS status = ClientLibrary()->isc_close_blob(ThreadStatusVector(), &FBlobHandle);
    FDatabase->CheckStatus(status, true);
    FBlobHandle = 0;
    if (FDatabase->AfterLoadBlobFromSwap) FDatabase->AfterLoadBlobFromSwap(FTableName, FFieldName, FKeyValues, fileName);
    return true;
}

bool TFIBBlobStream::HasFilter() const { return FDatabase && FDatabase->HasBlobFilter(FBlobSubType); }

std::string TFIBBlobStream::Filtered(const std::string& Body, bool BeforeWrite) const {
    if (!HasFilter() || Body.empty() || Body.size() > static_cast<size_t>(INT32_MAX)) return Body;
    // Filters work on a malloc'ed buffer that they may replace.
    auto size = static_cast<int32_t>(Body.size());
    char* buffer = static_cast<char*>(std::malloc(Body.size()));
    if (!buffer) throw std::bad_alloc();
    std::memcpy(buffer, Body.data(), Body.size());
    FDatabase->ApplyBlobFilter(FBlobSubType, &buffer, &size, BeforeWrite);
    std::string result(buffer, static_cast<size_t>(std::max(size, int32_t{0})));
    std::free(buffer);
    return result;
}

// ---- TFIBBlobStream: stream protocol ----

int64_t TFIBBlobStream::Read(void* Buffer, int64_t Count) {
    CheckReadable();
    EnsureLoaded();
    if (Count < 1 || FPosition >= BlobSize()) return 0;
    const int64_t n = std::min(Count, BlobSize() - FPosition);
    std::memcpy(Buffer, FBody.data() + FPosition, static_cast<size_t>(n));
    FPosition += n;
    return n;
}

int64_t TFIBBlobStream::Write(const void* Buffer, int64_t Count) {
    CheckWritable();
    EnsureLoaded();
    int64_t end = 0;
    if (Count > 0) {
        if (__builtin_add_overflow(FPosition, Count, &end)) end = INT64_MAX;
        CheckBlobSize(end);
    }
    if (FSaveBodyOnWrite) SaveBody();
    if (Count < 1) return Count;
    if (end > BlobSize()) SetSize(end);
    std::memcpy(FBody.data() + FPosition, Buffer, static_cast<size_t>(Count));
    FPosition = end;
    FModified = true;
    return Count;
}

void TFIBBlobStream::CheckBlobSize(int64_t Size) {
    // Blob lengths travel as 32-bit numbers (the blob information, the swap files).
    if (Size > INT32_MAX) RaiseClientErrorMsg("A blob holds at most %d bytes.", {INT32_MAX});
}

int64_t TFIBBlobStream::Seek(int64_t Offset, TSeekOrigin Origin) { return SeekWithProgress(Offset, Origin, nullptr); }

int64_t TFIBBlobStream::SeekWithProgress(int64_t Offset, TSeekOrigin Origin, const TBlobProgress& Progress) {
    EnsureLoaded(Progress);
    FPosition = SeekTarget(FPosition, BlobSize(), Offset, Origin);
    return FPosition;
}

void TFIBBlobStream::SetSize(int64_t NewSize) {
    if (NewSize < 0) throw EStreamError("Stream size below zero");
    CheckBlobSize(NewSize);
    FBody.resize(static_cast<size_t>(NewSize));
    if (NewSize == 0) FBody.shrink_to_fit();
}

int64_t TFIBBlobStream::GetSize() {
    EnsureLoaded();
    return BlobSize();
}

// ---- TFIBBlobStream: changes ----

void TFIBBlobStream::SaveBody() {
    FSavedBody = std::move(FBody);
    FBody = std::string();
    FSaveBodyOnWrite = false;
}

void TFIBBlobStream::Truncate() {
    FModified = true;
    if (FSaveBodyOnWrite)
        SaveBody();
    else
        SetSize(0);
}

void TFIBBlobStream::RestoreSavedBody() {
    if (!FLoaded || !FModified) return;
    FBody = FSavedBody ? std::move(*FSavedBody) : std::string();
    FSavedBody.reset();
    FModified = false;
    FSaveBodyOnWrite = true;
}

void TFIBBlobStream::ReleaseBody() {
    FSavedBody.reset();
    // A changed body that is not written yet is the only copy of the change: it stays.
    if (FModified || FBody.empty()) return;
    FBody = std::string();
    FLoaded = false;
}

void TFIBBlobStream::FreeSavedBody() { FSavedBody.reset(); }

void TFIBBlobStream::CloseBlob() {
    if (FBlobHandle) {
        const ISC_STATUS status = ClientLibrary()->isc_close_blob(ThreadStatusVector(), &FBlobHandle);
        FBlobHandle = 0;
        FLoaded = false;
        CheckStatus(status, true);
    }
    FLoaded = false;
}

void TFIBBlobStream::AssignBuffer(const void* Data, int64_t Count) {
    SetSize(Count);
    if (Count > 0) std::memcpy(FBody.data(), Data, static_cast<size_t>(Count));
    FLoaded = true;
}

int64_t TFIBBlobStream::ReadSavedBody(void* Dest, int64_t Count) {
    if (!FSavedBody) return Read(Dest, Count);
    const int64_t n = std::clamp<int64_t>(Count, 0, static_cast<int64_t>(FSavedBody->size()));
    std::memcpy(Dest, FSavedBody->data(), static_cast<size_t>(n));
    return n;
}

int64_t TFIBBlobStream::SeekSavedBody(int64_t Offset, TSeekOrigin Origin) {
    if (!FSavedBody) return Seek(Offset, Origin);
    return static_cast<int64_t>(FSavedBody->size());
}

void TFIBBlobStream::AssignPermanentBlobID(const ISC_QUAD& Value) {
    FBlobID = Value;
    FModified = false;
    SaveToSwapIfNeeded();
}

// ---- TFIBBlobStream: writing back ----

void TFIBBlobStream::WriteToServer(bool AcceptOnly, bool Force, const TBlobProgress& Progress) {
    if (!FLoaded || FMode == bmRead) return;
    if (!FModified && !Force) return;
    FLoadedFromSwap = false;
    if (AcceptOnly) {
        FSaveBodyOnWrite = true;
        FModified = false;
        return;
    }
    CheckHandles(true);
    TFIBTransaction* tr = FUpdateTransaction ? FUpdateTransaction : FTransaction;
    IIBClientLibrary* lib = ClientLibrary();
    // The new id is taken only once the blob is written whole, so a failed or stopped write
    // leaves the stream pointing at its old blob.
    ISC_QUAD newID{};
    CheckStatus(lib->isc_create_blob2(ThreadStatusVector(), FDatabase->HandleAddress(), tr->HandleAddress(),
                                      &FBlobHandle, &newID, 0, nullptr),
                true);
    bool written = false;
    try {
        written = WriteBlob(lib, &FBlobHandle, HasFilter() ? Filtered(FBody, true) : FBody, Progress);
        if (written) {
            const ISC_STATUS status = lib->isc_close_blob(ThreadStatusVector(), &FBlobHandle);
            CheckStatus(status, true);
        }
    } catch (...) {
        if (FBlobHandle) lib->isc_cancel_blob(ThreadStatusVector(), &FBlobHandle);
        FBlobHandle = 0;
        throw;
    }
    FBlobHandle = 0;
    if (!written) throw EAbort();
    FBlobID = newID;
}

void TFIBBlobStream::Finalize() {
    WriteToServer(false, false);
    WriteToServer(true, false);
}

// ---- TFIBBlobStream: copies ----

void TFIBBlobStream::SaveToStream(TStream& Target, bool WithHeader) {
    CheckReadable();
    EnsureLoaded();
    Target.SetSize(0);
    Target.SetPosition(0);
    if (FBody.empty()) return;
    if (!WithHeader) {
        Target.WriteBuffer(FBody.data(), BlobSize());
        return;
    }
    const std::string body = Filtered(FBody, true);
    if (body.size() > static_cast<size_t>(INT32_MAX)) throw EStreamError("Blob body too long for a swap file");
    Target.WriteBuffer(SwapMagic, SwapMagicLength);
    WriteInt32(Target, SwapFormatVersion);
    Target.WriteBuffer(&FBlobID, sizeof FBlobID);
    WriteInt32(Target, static_cast<int32_t>(body.size()));
    WriteInt32(Target, static_cast<int32_t>(FKeyValues.size()));
    WriteText(Target, FTableName);
    WriteText(Target, FFieldName);
    WriteText(Target, KeyString());
    Target.WriteBuffer(body.data(), static_cast<int64_t>(body.size()));
}

bool TFIBBlobStream::LoadFromStream(TStream& Source, bool WithHeader) {
    if (!WithHeader) {
        if (!FIsClientBlob) CheckWritable();
        EnsureLoaded();
        // Like a write, the first change keeps the loaded body for RestoreSavedBody.
        if (FSaveBodyOnWrite) SaveBody();
        Source.SetPosition(0);
        FBody = Source.ReadRest();
        FModified = true;
        return true;
    }
    Source.SetPosition(0);
    ISC_QUAD storedID{};
    int32_t length = 0;
    int32_t keyCount = 0;
    if (!ReadSwapHeaderStart(Source, storedID) || !SameBlobID(storedID, FBlobID)) return false;
    if (!ReadInt32(Source, length) || length != BlobSize()) return false;
    if (!ReadInt32(Source, keyCount) || keyCount != static_cast<int32_t>(FKeyValues.size())) return false;
    if (!ReadMatchingText(Source, FTableName, true) || !ReadMatchingText(Source, FFieldName, true) ||
        !ReadMatchingText(Source, KeyString(), false))
        return false;
    if (length > 0) {
        std::string body;
        if (!ReadBytes(Source, body, length)) return false;
        FBody = HasFilter() ? Filtered(body, false) : std::move(body);
    }
    return true;
}

std::string TFIBBlobStream::GetAsString() {
    CheckReadable();
    EnsureLoaded();
    // The text of a Unicode connection would be decoded from UTF-8 and converted to the 8-bit
    // code page; here that code page is UTF-8 too, so the bytes are the text as they are.
    return FBody;
}

std::u16string TFIBBlobStream::GetAsWideString() { return Utf8DecodeStr(GetAsString()); }

// ---- TFIBBlobStream: swap files ----

void TFIBBlobStream::SaveToSwapFile(const std::string& FileName, bool WithHeader) {
    if ((WithHeader && FKeyValues.empty()) || FTableName.empty()) return;
    CheckReadable();
    EnsureLoaded();
    std::lock_guard lock(SwapLock());
    TFileStream file(FileName, TFileMode::fmCreate);
    SaveToStream(file, WithHeader);
}

bool TFIBBlobStream::LoadFromSwapFile(const std::string& FileName, bool WithHeader) {
    std::lock_guard lock(SwapLock());
    if (FileName.empty() || !FileExists(FileName)) return false;
    bool loaded = false;
    try {
        TFileStream file(FileName, TFileMode::fmOpenRead);
        loaded = LoadFromStream(file, WithHeader);
    } catch (const std::exception&) {
        loaded = false;
    }
    FLoadedFromSwap = WithHeader && loaded;
    return loaded;
}

void TFIBBlobStream::SaveToSwapIfNeeded() {
    if (FLoadedFromSwap || !SwapCovers()) return;
    if (BlobSize() < FDatabase->BlobSwapSupport().MinBlobSizeToSwap || !IsStoredBlobID(FBlobID)) return;
    std::string fileName = BlobSwapFileName(*this, true);
    bool canSave = true;
    if (FDatabase->BeforeSaveBlobToSwap)
        FDatabase->BeforeSaveBlobToSwap(FTableName, FFieldName, FKeyValues, this, fileName, canSave);
    if (!canSave || fileName.empty()) return;
    try {
        SaveToSwapFile(fileName, true);
    } catch (const std::exception&) {
        // A cache that cannot be written must not fail the read it serves; a half-written file
        // goes.
        RemoveFile(fileName);
        return;
    }
    if (FDatabase->AfterSaveBlobToSwap) FDatabase->AfterSaveBlobToSwap(FTableName, FFieldName, FKeyValues, fileName);
}

// ---- Swap file names ----

std::string SwapPathComponent(const std::string& Text) {
    static constexpr char Hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(Text.size());
    for (const char ch : Text) {
        const auto c = static_cast<unsigned char>(ch);
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '-' ||
            c == '$') {
            out += ch;
        } else {
            out += '%';
            out += Hex[c >> 4];
            out += Hex[c & 15];
        }
    }
    return out;
}

std::string BlobSwapFileName(const TFIBBlobStream& Stream, bool ForceDirectories) {
    if (!Stream.Database()) return {};
    const std::string root = Stream.Database()->BlobSwapSupport().GetExpandedSwapDir();
    if (root.empty()) return {};
    const std::string dir =
        root + SwapPathComponent(Stream.TableName()) + "/" + SwapPathComponent(Stream.FieldName()) + "/";
    std::error_code ec;
    if (ForceDirectories) fs::create_directories(dir, ec);
    if (!DirectoryExists(dir)) return {};
    return dir + SwapPathComponent(Stream.KeyString()) + ".blb";
}

// ---- Validation ----

void ValidateBlobCacheFile(TFIBDatabase* Database, TFIBTransaction* Transaction, const std::string& FileName) {
    std::lock_guard lock(SwapLock());
    bool exists = false;
    try {
        TFileStream file(FileName, TFileMode::fmOpenRead);
        ISC_QUAD id{};
        if (ReadSwapHeaderStart(file, id)) {
            if (!Database->Connected()) Database->Connect();
            if (!Transaction->Active()) Transaction->StartTransaction();
            exists = BlobExist(Database->ClientLibrary(), Database->HandleAddress(), Transaction->HandleAddress(), id);
        }
    } catch (const std::exception&) {
        exists = false;
    }
    if (!exists) RemoveFile(FileName);
}

void ValidateBlobCacheDir(TFIBDatabase* Database, TFIBTransaction* Transaction, const std::string& Dir,
                          const std::atomic<bool>* Terminated) {
    // Listed first, so that removing files does not disturb the walk.
    std::vector<std::string> files;
    std::vector<std::string> dirs;
    std::error_code ec;
    for (fs::directory_iterator it(Dir, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code statusError;
        const fs::file_status status = it->symlink_status(statusError);
        if (statusError) continue;
        const std::string name = it->path().filename().string();
        if (fs::is_regular_file(status) && name.size() >= 4 && name.ends_with(".blb"))
            files.push_back(it->path().string());
        else if (fs::is_directory(status))
            dirs.push_back(it->path().string());
    }
    std::sort(files.begin(), files.end());
    std::sort(dirs.begin(), dirs.end());
    for (const std::string& file : files) {
        if (Terminated && *Terminated) return;
        ValidateBlobCacheFile(Database, Transaction, file);
    }
    for (const std::string& dir : dirs) ValidateBlobCacheDir(Database, Transaction, dir + "/", Terminated);
}

TValidateBlobCacheThread::TValidateBlobCacheThread(TFIBDatabase* Database)
    : FDatabase(std::make_unique<TFIBDatabase>()), FTransaction(std::make_unique<TFIBTransaction>()) {
    FDatabase->SetName("dbValidateBlobCache");
    // The source's own name: a local one reaches the file through the embedded engine, which
    // needs no running server.
    FDatabase->SetDBName(Database->DBName());
    FDatabase->SetDBParams(Database->DBParams());
    FDatabase->SetLibraryName(Database->LibraryName());
    FDatabase->UseLoginPrompt = false;
    FDatabase->SynchronizeTime = false;
    FTransaction->SetName("trValidateBlobCache");
    FTransaction->SetDefaultDatabase(FDatabase.get());
    for (const char* line : {"read", "isc_tpb_nowait", "read_committed", "rec_version"}) FTransaction->TRParams().Add(line);
    FSwapDir = Database->BlobSwapSupport().GetExpandedSwapDir();
    FThread = std::thread([this] { Execute(); });
}

TValidateBlobCacheThread::~TValidateBlobCacheThread() {
    Terminate();
    WaitFor();
}

void TValidateBlobCacheThread::WaitFor() {
    if (FThread.joinable()) FThread.join();
}

void TValidateBlobCacheThread::Execute() {
    try {
        ValidateBlobCacheDir(FDatabase.get(), FTransaction.get(), FSwapDir, &FTerminated);
    } catch (const std::exception&) {
    }
    try {
        if (FTransaction->Active()) FTransaction->Commit();
    } catch (const std::exception&) {
    }
    FTransaction.reset();
    try {
        if (FDatabase->Connected()) FDatabase->Close();
    } catch (const std::exception&) {
    }
    FDatabase.reset();
    FFinished = true;
}

namespace {

// The running validation passes. The list is created by the first start, after the client
// library was loaded and the exit handler that closes every attachment was registered, so it
// is destroyed before that handler runs: at exit each pass still running stops after its current
// file and is joined before the attachments close and the library goes.
struct TValidationThreads {
    std::mutex Lock;
    std::vector<std::unique_ptr<TValidateBlobCacheThread>> Items;

    std::vector<std::unique_ptr<TValidateBlobCacheThread>> TakeAll() {
        std::vector<std::unique_ptr<TValidateBlobCacheThread>> taken;
        std::lock_guard lock(Lock);
        taken.swap(Items);
        return taken;
    }
};

TValidationThreads& ValidationThreads() {
    static TValidationThreads threads;
    return threads;
}

} // namespace

void StartValidateBlobCache(TFIBDatabase* Database) {
    if (!Database || !Database->Connected()) return;
    const std::string dir = Database->BlobSwapSupport().GetExpandedSwapDir();
    if (dir.empty() || !DirectoryExists(dir)) return;
    TValidationThreads& threads = ValidationThreads();
    auto thread = std::make_unique<TValidateBlobCacheThread>(Database);
    std::lock_guard lock(threads.Lock);
    std::erase_if(threads.Items, [](const auto& item) { return item->Finished(); });
    threads.Items.push_back(std::move(thread));
}

void WaitForValidateBlobCache() {
    for (auto& thread : ValidationThreads().TakeAll()) thread->WaitFor();
}

} // namespace qnl
