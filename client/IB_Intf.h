#pragma once
// The client library of the database, loaded at run time by file name, and the process-wide
// cache that lets every database naming the same file share one loaded library.
//
// Every client call of the data-access layer goes through an IIBClientLibrary. Each call is
// named as the client API's entry point and takes exactly its arguments; the wrapper only marks
// the library busy while the call runs and refuses to call an entry point that the loaded
// library does not export.
#include <ibase.h>

#include <atomic>
#include <memory>
#include <string>
#include <utility>

// Two batch entry points that only some client libraries export and that the installed header
// does not declare. Declared here for their types alone; they are only ever reached through
// the resolved pointers.
extern "C" {
ISC_STATUS isc_dsql_batch_execute_immed(ISC_STATUS*, isc_db_handle*, isc_tr_handle*, unsigned short Dialect,
                                        unsigned long StatementCount, char** Statements,
                                        unsigned long* RowsAffected);
ISC_STATUS isc_dsql_batch_execute(ISC_STATUS*, isc_tr_handle*, isc_stmt_handle*, unsigned short Dialect,
                                  XSQLDA* InDa, unsigned short RowCount, XSQLVAR** BatchVars,
                                  unsigned long* RowsAffected);
}

namespace qnl {

// The library file a database loads when it names none.
extern std::string DefaultClientLibraryName;   // "libfbclient.so.2"

// How Load resolves an entry point.
enum class TEntryResolve : uint8_t {
    Required,             // missing: loading fails
    Version6,             // required when the library is a version 6 client, else left unresolved
    Optional,             // looked up, may stay unresolved
    OptionalWithVersion,  // optional, looked up only when the library reports its version
    RequiredWithVersion,  // required when the library reports its version
};

// What a wrapper adds around the call.
inline constexpr unsigned ewBusy = 1;    // Busy is true while the call runs
inline constexpr unsigned ewGuard = 2;   // an unresolved entry raises "Can't find procedure ..."

// The entry points in the interface's order: name, how it is resolved, what the wrapper adds,
// and whether its wrapper is the generic one (G) or written by hand (S).
#define QNL_CLIENT_ENTRIES(X)                                                   \
    X(isc_attach_database, Required, ewBusy, G)                                    \
    X(isc_array_get_slice, Required, ewGuard, G)                                   \
    X(isc_array_lookup_bounds, Required, ewGuard, G)                               \
    X(isc_array_put_slice, Required, ewGuard, G)                                   \
    X(isc_blob_info, Required, ewBusy, G)                                          \
    X(isc_cancel_blob, Required, ewBusy, G)                                        \
    X(isc_cancel_events, Required, ewBusy, G)                                      \
    X(isc_que_events, Required, ewBusy, G)                                         \
    X(isc_wait_for_event, Required, ewBusy, G)                                     \
    X(isc_close_blob, Required, ewBusy, G)                                         \
    X(isc_create_blob2, Required, ewBusy, G)                                       \
    X(isc_commit_retaining, Required, ewBusy | ewGuard, G)                         \
    X(isc_commit_transaction, Required, ewBusy, G)                                 \
    X(isc_transaction_info, Required, ewBusy, G)                                   \
    X(isc_database_info, Required, ewBusy, G)                                      \
    X(isc_decode_date, Required, ewBusy | ewGuard, G)                              \
    X(isc_decode_sql_date, Version6, ewBusy | ewGuard, G)                          \
    X(isc_decode_sql_time, Version6, ewBusy | ewGuard, G)                          \
    X(isc_decode_timestamp, Version6, ewBusy | ewGuard, G)                         \
    X(isc_detach_database, Required, ewBusy, G)                                    \
    X(isc_drop_database, Required, ewBusy, G)                                      \
    X(isc_dsql_alloc_statement2, Required, ewBusy, G)                              \
    X(isc_dsql_describe, Required, ewBusy, G)                                      \
    X(isc_dsql_describe_bind, Required, ewBusy, G)                                 \
    X(isc_dsql_execute, Required, ewBusy, G)                                       \
    X(isc_dsql_execute2, Required, ewBusy, G)                                      \
    X(isc_dsql_execute_immediate, Required, ewBusy, G)                             \
    X(isc_dsql_exec_immed2, Required, ewBusy, G)                                   \
    X(isc_dsql_fetch, Required, ewBusy, G)                                         \
    X(isc_dsql_free_statement, Required, ewBusy, G)                                \
    X(isc_dsql_prepare, Required, ewBusy, G)                                       \
    X(isc_dsql_set_cursor_name, Required, ewBusy, G)                               \
    X(isc_dsql_sql_info, Required, ewBusy, G)                                      \
    X(isc_encode_date, Required, ewBusy | ewGuard, G)                              \
    X(isc_encode_sql_date, Version6, ewBusy | ewGuard, G)                          \
    X(isc_encode_sql_time, Version6, ewBusy | ewGuard, G)                          \
    X(isc_encode_timestamp, Version6, ewBusy | ewGuard, G)                         \
    X(isc_event_block, Required, ewBusy, S)                                        \
    X(isc_event_counts, Required, ewBusy, G)                                       \
    X(isc_free, Required, ewBusy, G)                                               \
    X(isc_get_segment, Required, ewBusy, G)                                        \
    X(isc_put_segment, Required, ewBusy, G)                                        \
    X(isc_interprete, Required, ewBusy, G)                                         \
    X(fb_interpret, Optional, ewBusy, S)                                           \
    X(isc_open_blob2, Required, ewBusy, G)                                         \
    X(isc_prepare_transaction2, Required, ewBusy, G)                               \
    X(isc_rollback_retaining, Optional, ewBusy | ewGuard, G)                       \
    X(isc_rollback_transaction, Required, ewBusy, G)                               \
    X(isc_start_multiple, Required, ewBusy, G)                                     \
    X(isc_sqlcode, Required, ewBusy, G)                                            \
    X(isc_sql_interprete, Required, ewBusy, G)                                     \
    X(isc_vax_integer, Required, ewBusy, G)                                        \
    X(isc_prepare_transaction, Required, ewBusy, G)                                \
    X(BLOB_put, Required, ewGuard, G)                                              \
    X(BLOB_get, Required, ewGuard, G)                                              \
    X(isc_dsql_batch_execute_immed, OptionalWithVersion, ewBusy | ewGuard, G)      \
    X(isc_dsql_batch_execute, OptionalWithVersion, ewBusy | ewGuard, G)            \
    X(fb_cancel_operation, OptionalWithVersion, ewGuard, G)                        \
    X(isc_service_attach, Version6, ewBusy | ewGuard, G)                           \
    X(isc_service_detach, Version6, ewBusy | ewGuard, G)                           \
    X(isc_service_query, Version6, ewBusy | ewGuard, G)                            \
    X(isc_service_start, Version6, ewBusy | ewGuard, G)                            \
    X(isc_get_client_version, Optional, ewBusy | ewGuard, G)                       \
    X(isc_get_client_major_version, RequiredWithVersion, ewBusy | ewGuard, G)      \
    X(isc_get_client_minor_version, RequiredWithVersion, ewBusy | ewGuard, G)      \
    X(isc_portable_integer, Version6, ewBusy | ewGuard, G)

// One pointer per entry point, typed from the installed header; null while unresolved.
struct TClientEntries {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#define QNL_ENTRY_FIELD(name, resolve, wrap, kind) decltype(&::name) name = nullptr;
    QNL_CLIENT_ENTRIES(QNL_ENTRY_FIELD)
#undef QNL_ENTRY_FIELD
#pragma GCC diagnostic pop
};

// Raises the plain Exception "Can't find procedure <Name> in <LibraryName>".
[[noreturn]] void RaiseMissingEntry(const char* Name, const std::string& LibraryName);

class IIBClientLibrary {
public:
    virtual ~IIBClientLibrary() = default;

    virtual std::string GetLibraryName() const = 0;
    virtual int GetClientMajorVersion() const = 0;
    virtual int GetClientMinorVersion() const = 0;
    virtual bool GetBusy() const = 0;

    // One wrapper per entry point, with the entry point's own arguments and result.
#define QNL_WRAPPER_G(name, wrap)                                                \
    template <class... A>                                                        \
    auto name(A&&... Args) {                                                     \
        return Invoke<wrap>(Entries().name, #name, std::forward<A>(Args)...);    \
    }
#define QNL_WRAPPER_S(name, wrap)
#define QNL_ENTRY_WRAPPER(name, resolve, wrap, kind) QNL_WRAPPER_##kind(name, wrap)
    QNL_CLIENT_ENTRIES(QNL_ENTRY_WRAPPER)
#undef QNL_ENTRY_WRAPPER
#undef QNL_WRAPPER_S
#undef QNL_WRAPPER_G

    // The variadic entry point always receives 15 name pointers; Count says how many matter.
    ISC_LONG isc_event_block(ISC_UCHAR** EventBuffer, ISC_UCHAR** ResultBuffer, ISC_USHORT Count,
                             const char* const (&Names)[15]);
    // The server's next message from the status vector. Falls back to isc_interprete (which
    // ignores BufferLength) when the library has no fb_interpret.
    ISC_LONG fb_interpret(ISC_SCHAR* Buffer, unsigned int BufferLength, const ISC_STATUS** StatusVector);

    virtual void Unload() = 0;
    virtual void Load() = 0;
    virtual bool IsLoaded() const = 0;

protected:
    virtual const TClientEntries& Entries() const = 0;
    virtual void SetBusy(bool Value) = 0;

private:
    class TBusyScope {
    public:
        explicit TBusyScope(IIBClientLibrary& Lib) : FLib(Lib) { FLib.SetBusy(true); }
        ~TBusyScope() { FLib.SetBusy(false); }
        TBusyScope(const TBusyScope&) = delete;
        TBusyScope& operator=(const TBusyScope&) = delete;

    private:
        IIBClientLibrary& FLib;
    };

    // Every wrapper refuses a null entry point, not only the guarded ones: after Unload the
    // required ones are null too, and calling them would crash instead of raising.
    template <unsigned Wrap, class F, class... A>
    auto Invoke(F Entry, const char* Name, A&&... Args) {
        if (!Entry) RaiseMissingEntry(Name, GetLibraryName());
        if constexpr ((Wrap & ewBusy) != 0) {
            TBusyScope busy(*this);
            return Entry(std::forward<A>(Args)...);
        } else {
            return Entry(std::forward<A>(Args)...);
        }
    }
};

using IIBClientLibraryPtr = std::shared_ptr<IIBClientLibrary>;

class TIBClientLibrary final : public IIBClientLibrary {
public:
    // Loads the library at once; raises EOSError when the file cannot be loaded or a required
    // entry point is missing.
    explicit TIBClientLibrary(std::string LibraryName);
    ~TIBClientLibrary() override;
    TIBClientLibrary(const TIBClientLibrary&) = delete;
    TIBClientLibrary& operator=(const TIBClientLibrary&) = delete;

    std::string GetLibraryName() const override { return FLibraryName; }
    int GetClientMajorVersion() const override { return FClientMajorVersion; }
    int GetClientMinorVersion() const override { return FClientMinorVersion; }
    bool GetBusy() const override { return FBusy; }

    void Unload() override;
    void Load() override;
    bool IsLoaded() const override { return FHandle != nullptr; }

protected:
    const TClientEntries& Entries() const override { return FEntries; }
    void SetBusy(bool Value) override { FBusy = Value; }

private:
    void* Resolve(const char* Name, bool Required);

    void* FHandle = nullptr;
    std::string FLibraryName;
    int FClientMajorVersion = 0;
    int FClientMinorVersion = 0;
    TClientEntries FEntries;
    std::atomic<bool> FBusy{false};
};

// The library loaded from LibraryName: from the process-wide cache (reloaded when it was
// unloaded) or newly loaded and added to it. The name is compared exactly.
IIBClientLibraryPtr FindOrLoadClientLibrary(const std::string& LibraryName);

} // namespace qnl
