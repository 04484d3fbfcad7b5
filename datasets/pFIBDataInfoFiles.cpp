// Implements the second half of pFIBDataInfo.h: the data-set information and error-message
// stores and the three local cache files.
#include "datasets/pFIBDataInfo.h"

#include "client/FIBQuery.h"
#include "client/pFIBCacheQueries.h"
#include "platform/Files.h"
#include "platform/IntText.h"
#include "platform/Streams.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <functional>
#include <filesystem>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace qnl {

namespace {

constexpr const char* TableFileMagic = "FIB$MCF";
constexpr int32_t TableFileVersion = 6;
constexpr const char* DataSetFileMagic = "FIB$MCFDS";
constexpr int32_t DataSetFileVersion = 1;
constexpr const char* ErrorFileMagic = "FIB$Error_messages";
constexpr int32_t ErrorFileVersion = 1;
// A cache file above this is not a cache file of ours: it is not read.
constexpr int64_t MaxCacheFileSize = 256LL << 20;
// The fewest bytes an entry can take, to bound the counts a file claims.
constexpr int64_t MinTableEntry = 4 + 4 + 4 + 1 + 4 + 4 + 4 + 4;
constexpr int64_t MinFieldEntry = 4 + 6 + 4 + 4 + 6 * 4;
constexpr int64_t MinDataSetEntry = 4 + 4 + 4 + 5 * 4 + 5 * 4 + 1;
constexpr int64_t MinGroupEntry = 4 + 4;
constexpr int64_t MinMessageEntry = 4 + 4 + 4;

// A count read from the file, refused when the bytes left cannot hold that many entries.
int32_t ReadCount(TStream& Stream, int64_t MinEntry) {
    const int32_t count = ReadInt32(Stream);
    if (count < 0 || count > (Stream.Size() - Stream.Position()) / MinEntry)
        throw EStreamError("A count of the cache claims " + std::to_string(count) + " entries, more than the file holds");
    return count;
}

// Writes Bytes to a new file beside FileName, created for the owner alone, and renames it over
// FileName: a failed write keeps the old file whole. Failures are dropped.
void WriteCacheFile(const std::string& FileName, const std::string& Bytes) {
    static thread_local std::mt19937_64 random{std::random_device{}()};
    std::string temp;
    int fd = -1;
    for (int attempt = 0; attempt < 8 && fd < 0; ++attempt) {
        temp = FileName + ".tmp" + std::to_string(random());
        fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0 && errno != EEXIST) return;
    }
    if (fd < 0) return;
    bool ok = fchmod(fd, 0600) == 0;
    for (size_t done = 0; ok && done < Bytes.size();) {
        const ssize_t n = write(fd, Bytes.data() + done, Bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        ok = n > 0;
        if (ok) done += static_cast<size_t>(n);
    }
    ok = ok && fsync(fd) == 0;
    ok = close(fd) == 0 && ok;
    if (!ok || std::rename(temp.c_str(), FileName.c_str()) != 0) unlink(temp.c_str());
}

// Deletes the file of an empty collection; failures are dropped.
void RemoveCacheFile(const std::string& FileName) {
    std::error_code ec;
    std::filesystem::remove(FileName, ec);
}

// The whole file in memory; false when it is missing, unreadable or too large to be ours.
bool ReadCacheFile(const std::string& FileName, TMemoryStream& Bytes) {
    if (!FileExists(FileName)) return false;
    try {
        TFileStream file(FileName, TFileMode::fmOpenRead);
        if (file.Size() > MaxCacheFileSize) return false;
        Bytes.LoadFromStream(file);
        Bytes.SetPosition(0);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

// Writes the file through Write, or deletes it for an empty store. A failure keeps the old file.
void SaveCache(const std::string& FileName, bool Empty, const std::function<void(TStream&)>& Write) {
    if (Empty) {
        RemoveCacheFile(FileName);
        return;
    }
    try {
        TMemoryStream out;
        Write(out);
        WriteCacheFile(FileName, out.Bytes());
    } catch (const std::exception&) {
        // The old file stays.
    }
}

// Runs Read over the whole file; false when the file is missing or unreadable, or Read fails
// or raises (a cut or hostile file).
bool LoadCache(const std::string& FileName, const std::function<bool(TMemoryStream&)>& Read) {
    TMemoryStream in;
    if (!ReadCacheFile(FileName, in)) return false;
    try {
        return Read(in);
    } catch (const std::exception&) {
        return false;
    }
}

// The magic either bare (its own bytes) or as a length-prefixed text.
bool ReadMagic(TMemoryStream& Stream, const std::string& Magic) {
    const int64_t start = Stream.Position();
    if (Stream.Size() - start >= static_cast<int64_t>(Magic.size()) &&
        Magic.compare(0, Magic.size(), Stream.Memory() + start, Magic.size()) == 0) {
        Stream.SetPosition(start + static_cast<int64_t>(Magic.size()));
        return true;
    }
    return ReadText(Stream) == Magic;
}

void WriteLines(TStream& Stream, const TStringList& Lines) { WriteText(Stream, Lines.Text()); }

void ReadLines(TStream& Stream, TStringList& Lines) { Lines.SetText(ReadText(Stream)); }

} // namespace

std::string CacheFileName(const std::string& FileName, const std::string& Extension) {
    return std::filesystem::path(FileName).replace_extension(Extension).string();
}

// ---- The table-information file ----

void TpFIBTableInfo::SaveToStream(TStream& Stream) const {
    WriteText(Stream, FDBName);
    WriteText(Stream, FTableName);
    WriteBool(Stream, FWithFieldRepository);
    WriteInt32(Stream, FFormatNumber);
    WriteInt32(Stream, FFIBVersion);
    WriteText(Stream, FPrimaryKeyFields);
    WriteInt32(Stream, static_cast<int32_t>(FFields.size()));
    for (const auto& [name, field] : FFields) {
        WriteText(Stream, name);
        field->SaveToStream(Stream);
    }
}

void TpFIBTableInfo::LoadFromStream(TStream& Stream) {
    FDBName = ReadText(Stream);
    FTableName = ReadText(Stream);
    FWithFieldRepository = ReadBool(Stream);
    FFormatNumber = ReadInt32(Stream);
    FFIBVersion = ReadInt32(Stream);
    FPrimaryKeyFields = ReadText(Stream);
    const int32_t count = ReadCount(Stream, MinFieldEntry);
    FFields.clear();
    for (int32_t i = 0; i < count; ++i) {
        std::string name = ReadText(Stream);
        auto field = std::make_unique<TpFIBFieldInfo>();
        field->LoadFromStream(Stream);
        FFields.emplace_back(std::move(name), std::move(field));
    }
    NeedsCheck = true;
}

void TpFIBTableInfoCollect::SaveToFile(const std::string& FileName) {
    std::lock_guard lock(FLock);
    SaveCache(FileName, FTables.empty(), [&](TStream& out) {
        WriteText(out, TableFileMagic);
        WriteInt32(out, TableFileVersion);
        WriteInt32(out, Stamp);
        WriteInt32(out, static_cast<int32_t>(FTables.size()));
        for (const auto& info : FTables) {
            WriteText(out, info->TableName());
            info->SaveToStream(out);
        }
    });
}

bool TpFIBTableInfoCollect::LoadFromFile(const std::string& FileName, TFIBDatabase* Database) {
    std::lock_guard lock(FLock);
    FTables.clear();
    return LoadCache(FileName, [&](TMemoryStream& in) {
        if (!ReadMagic(in, TableFileMagic) || ReadInt32(in) < TableFileVersion) return false;
        const int32_t fileStamp = ReadInt32(in);
        if (Database) {
            TFIBTransaction* tr = Database->GetInternalTransaction();
            if (!tr->Active()) tr->StartTransaction();
            Stamp = tr->GetTransactionID();
            // Transaction ids are unsigned: a file of a database whose counter was higher than
            // now's (it was replaced since) describes another database.
            if (static_cast<uint32_t>(Stamp) < static_cast<uint32_t>(fileStamp)) return true;
        }
        const int32_t count = ReadCount(in, MinTableEntry);
        std::vector<std::unique_ptr<TpFIBTableInfo>> tables;
        for (int32_t i = 0; i < count; ++i) {
            ReadText(in);   // the key: the table's name as listed
            auto info = std::make_unique<TpFIBTableInfo>();
            info->LoadFromStream(in);
            tables.push_back(std::move(info));
        }
        FTables = std::move(tables);
        return true;
    });
}

// ---- Data-set information ----

void TpDataSetInfo::SaveToStream(TStream& Stream) const {
    WriteText(Stream, DBName);
    WriteInt32(Stream, FIBVersion);
    for (const TStringList* lines : {&SelectSQL, &InsertSQL, &UpdateSQL, &DeleteSQL, &RefreshSQL}) WriteLines(Stream, *lines);
    for (const std::string* text : {&KeyField, &NameGenerator, &Description, &UpdateTableName, &Conditions})
        WriteText(Stream, *text);
    WriteBool(Stream, UpdateOnlyModifiedFields);
}

void TpDataSetInfo::LoadFromStream(TStream& Stream) {
    DBName = ReadText(Stream);
    FIBVersion = ReadInt32(Stream);
    for (TStringList* lines : {&SelectSQL, &InsertSQL, &UpdateSQL, &DeleteSQL, &RefreshSQL}) ReadLines(Stream, *lines);
    for (std::string* text : {&KeyField, &NameGenerator, &Description, &UpdateTableName, &Conditions})
        *text = ReadText(Stream);
    UpdateOnlyModifiedFields = ReadBool(Stream);
    NeedsCheck = true;
}

bool TpDataSetInfo::ReadFromRepository(TFIBTransaction& Transaction, int32_t DataSetID) {
    const std::unique_ptr<TFIBQuery, decltype(&FreeQueryForUse)> q(
        GetQueryForUse(&Transaction, "SELECT * FROM FIB$DATASETS_INFO WHERE DS_ID=:DS_ID"), &FreeQueryForUse);
    if (!q) throw Exception("No pooled statement for FIB$DATASETS_INFO");
    q->SetOptions(SetOf<TpFIBQueryOptions>(qoStartTransaction));
    q->ParamByName("DS_ID").SetAsInteger(DataSetID);
    q->ExecQuery();
    if (q->Eof()) {
        q->Close();
        return false;
    }
    auto text = [&](const char* Column) {
        TFIBXSQLVAR* field = q->FindField(Column);
        return field && !field->GetIsNull() ? field->GetAsString() : std::string();
    };
    SelectSQL.SetText(text("SELECT_SQL"));
    UpdateSQL.SetText(text("UPDATE_SQL"));
    InsertSQL.SetText(text("INSERT_SQL"));
    DeleteSQL.SetText(text("DELETE_SQL"));
    RefreshSQL.SetText(text("REFRESH_SQL"));
    KeyField = text("KEY_FIELD");
    NameGenerator = text("NAME_GENERATOR");
    Description = text("DESCRIPTION");
    // The newer columns, when the row has them.
    if (TFIBXSQLVAR* version = q->FindField("FIB$VERSION")) FIBVersion = version->GetAsInteger();
    if (q->FindField("UPDATE_TABLE_NAME")) UpdateTableName = text("UPDATE_TABLE_NAME");
    if (TFIBXSQLVAR* only = q->FindField("UPDATE_ONLY_MODIFIED_FIELDS")) UpdateOnlyModifiedFields = only->GetAsInteger() == 1;
    if (q->FindField("CONDITIONS")) Conditions = text("CONDITIONS");
    q->Close();
    return true;
}

TpDataSetInfo* TpDataSetInfoCollect::FindInfo(int32_t DataSetID, const std::string& DBName) {
    std::lock_guard lock(FLock);
    for (const auto& [id, info] : FInfos)
        if (id == DataSetID && info->DBName == DBName) return info.get();
    return nullptr;
}

TpDataSetInfo* TpDataSetInfoCollect::AddInfo(int32_t DataSetID, std::unique_ptr<TpDataSetInfo> Info) {
    std::lock_guard lock(FLock);
    std::erase_if(FInfos, [&](const auto& e) { return e.first == DataSetID && e.second->DBName == Info->DBName; });
    FInfos.emplace_back(DataSetID, std::move(Info));
    return FInfos.back().second.get();
}

void TpDataSetInfoCollect::Clear() {
    std::lock_guard lock(FLock);
    FInfos.clear();
}

int TpDataSetInfoCollect::Count() {
    std::lock_guard lock(FLock);
    return static_cast<int>(FInfos.size());
}

void TpDataSetInfoCollect::SaveToFile(const std::string& FileName) {
    std::lock_guard lock(FLock);
    SaveCache(FileName, FInfos.empty(), [&](TStream& out) {
        WriteText(out, DataSetFileMagic);
        WriteInt32(out, DataSetFileVersion);
        WriteInt32(out, static_cast<int32_t>(FInfos.size()));
        for (const auto& [id, info] : FInfos) {
            WriteText(out, std::to_string(id));
            info->SaveToStream(out);
        }
    });
}

bool TpDataSetInfoCollect::LoadFromFile(const std::string& FileName) {
    std::lock_guard lock(FLock);
    FInfos.clear();
    return LoadCache(FileName, [&](TMemoryStream& in) {
        if (!ReadMagic(in, DataSetFileMagic) || ReadInt32(in) < DataSetFileVersion) return false;
        const int32_t count = ReadCount(in, MinDataSetEntry);
        std::vector<std::pair<int32_t, std::unique_ptr<TpDataSetInfo>>> infos;
        for (int32_t i = 0; i < count; ++i) {
            const std::string key = ReadText(in);
            int32_t id = 0;
            if (!TryStrToInt(key, id)) throw EStreamError("A data-set id of the cache is not a number: " + key);
            auto info = std::make_unique<TpDataSetInfo>();
            info->LoadFromStream(in);
            infos.emplace_back(id, std::move(info));
        }
        FInfos = std::move(infos);
        return true;
    });
}

// ---- Error messages ----

namespace {

template <class T>
auto FindByName(std::vector<T>& Items, const std::string& Name, const auto& NameOf) {
    return std::lower_bound(Items.begin(), Items.end(), Name,
                            [&](const T& item, const std::string& key) { return CompareText(NameOf(item), key) < 0; });
}

} // namespace

void TpErrorMessagesCollect::AddErrorMessage(const std::string& Group, const std::string& Name, int32_t Version,
                                             const std::string& Text) {
    std::unique_lock lock(FLock);
    auto group = FindByName(FGroups, Group, [](const TGroup& g) -> const std::string& { return g.Name; });
    if (group == FGroups.end() || !SameText(group->Name, Group)) group = FGroups.insert(group, TGroup{Group, {}});
    auto& messages = group->Messages;
    auto message = FindByName(messages, Name, [](const auto& m) -> const std::string& { return m.first; });
    if (message == messages.end() || !SameText(message->first, Name)) {
        messages.insert(message, {Name, TpErrorMessage{Text, Version}});
    } else if (message->second.Version < Version) {
        message->second = TpErrorMessage{Text, Version};
    }
}

std::optional<TpErrorMessage> TpErrorMessagesCollect::FindErrorMessage(const std::string& Group, const std::string& Name) {
    std::shared_lock lock(FLock);
    auto group = FindByName(FGroups, Group, [](const TGroup& g) -> const std::string& { return g.Name; });
    if (group == FGroups.end() || !SameText(group->Name, Group)) return std::nullopt;
    auto message = FindByName(group->Messages, Name, [](const auto& m) -> const std::string& { return m.first; });
    if (message == group->Messages.end() || !SameText(message->first, Name)) return std::nullopt;
    return message->second;
}

void TpErrorMessagesCollect::Clear() {
    std::unique_lock lock(FLock);
    FGroups.clear();
}

int TpErrorMessagesCollect::GroupCount() {
    std::shared_lock lock(FLock);
    return static_cast<int>(FGroups.size());
}

void TpErrorMessagesCollect::SaveToFile(const std::string& FileName) {
    std::shared_lock lock(FLock);
    SaveCache(FileName, FGroups.empty(), [&](TStream& out) {
        WriteInt32(out, ErrorFileVersion);
        WriteText(out, ErrorFileMagic);
        WriteInt32(out, Stamp);
        WriteInt32(out, static_cast<int32_t>(FGroups.size()));
        for (const TGroup& group : FGroups) {
            WriteText(out, group.Name);
            WriteInt32(out, static_cast<int32_t>(group.Messages.size()));
            for (const auto& [name, message] : group.Messages) {
                WriteInt32(out, message.Version);
                WriteText(out, name);
                WriteText(out, message.Text);
            }
        }
    });
}

bool TpErrorMessagesCollect::LoadFromFile(const std::string& FileName) {
    // Read whole before anything changes: a bad file leaves the store as it was.
    struct TRead {
        std::string Group, Name, Text;
        int32_t Version;
    };
    std::vector<TRead> read;
    int32_t stamp = 0;
    const bool good = LoadCache(FileName, [&](TMemoryStream& in) {
        if (ReadInt32(in) != ErrorFileVersion || ReadText(in) != ErrorFileMagic) return false;
        stamp = ReadInt32(in);
        const int32_t groups = ReadCount(in, MinGroupEntry);
        for (int32_t g = 0; g < groups; ++g) {
            const std::string group = ReadText(in);
            const int32_t messages = ReadCount(in, MinMessageEntry);
            for (int32_t m = 0; m < messages; ++m) {
                TRead r;
                r.Group = group;
                r.Version = ReadInt32(in);
                r.Name = ReadText(in);
                r.Text = ReadText(in);
                read.push_back(std::move(r));
            }
        }
        return true;
    });
    if (!good) return false;
    Clear();
    Stamp = stamp;
    for (const TRead& r : read) AddErrorMessage(r.Group, r.Name, r.Version, r.Text);
    return true;
}

// ---- Process-wide stores and the database's way to the files ----

TpDataSetInfoCollect& DataSetInfoCache() {
    static TpDataSetInfoCollect cache;
    return cache;
}

TpErrorMessagesCollect& ErrorMessagesCache() {
    static TpErrorMessagesCollect cache;
    return cache;
}

TpStoredProcCollect& StoredProcCache() {
    static TpStoredProcCollect cache;
    return cache;
}

bool InstallSchemaCacheFiles() {
    TSchemaCacheFiles& files = SchemaCacheFiles();
    files.Save = [](const std::string& FileName) {
        TableInfoCache().SaveToFile(FileName);
        DataSetInfoCache().SaveToFile(CacheFileName(FileName, ".dt"));
        ErrorMessagesCache().SaveToFile(CacheFileName(FileName, ".err"));
    };
    files.Load = [](const std::string& FileName, bool Validate, TFIBDatabase* Database) {
        // A database that cannot tell its stamp makes the file count as absent.
        const bool existed = TableInfoCache().LoadFromFile(FileName, Database);
        DataSetInfoCache().LoadFromFile(CacheFileName(FileName, ".dt"));
        ErrorMessagesCache().LoadFromFile(CacheFileName(FileName, ".err"));
        TableInfoCache().ValidateOnUse = Validate;
        DataSetInfoCache().ValidateOnUse = Validate;
        return existed;
    };
    files.Validate = [](TFIBDatabase* Database, const std::function<void(const std::string&, bool&)>& Accept) {
        TableInfoCache().ValidateSchemaCache(Database, Accept);
    };
    return true;
}

} // namespace qnl
