#include "client/IB_Intf.h"

#include "platform/Exceptions.h"

#include <dlfcn.h>

#include <cstdio>
#include <mutex>
#include <vector>

#if defined(__i386__) || defined(__x86_64__)
#include <fpu_control.h>
#endif

namespace qnl {

std::string DefaultClientLibraryName = "libfbclient.so.2";

void RaiseMissingEntry(const char* Name, const std::string& LibraryName) {
    std::string text = "Can't find procedure ";
    text += Name;
    text += " in ";
    text += LibraryName;
    throw Exception(text);
}

ISC_LONG IIBClientLibrary::isc_event_block(ISC_UCHAR** EventBuffer, ISC_UCHAR** ResultBuffer, ISC_USHORT Count,
                                           const char* const (&Names)[15]) {
    return Invoke<ewBusy>(Entries().isc_event_block, "isc_event_block", EventBuffer, ResultBuffer, Count,
                          Names[0], Names[1], Names[2], Names[3], Names[4], Names[5], Names[6], Names[7],
                          Names[8], Names[9], Names[10], Names[11], Names[12], Names[13], Names[14]);
}

ISC_LONG IIBClientLibrary::fb_interpret(ISC_SCHAR* Buffer, unsigned int BufferLength,
                                        const ISC_STATUS** StatusVector) {
    if (!Entries().fb_interpret) {
        // The old call writes at most one message of a few hundred bytes; callers pass big buffers.
        return Invoke<ewBusy>(Entries().isc_interprete, "isc_interprete", Buffer,
                              const_cast<ISC_STATUS**>(StatusVector));
    }
    return Invoke<ewBusy>(Entries().fb_interpret, "fb_interpret", Buffer, BufferLength, StatusVector);
}

TIBClientLibrary::TIBClientLibrary(std::string LibraryName) : FLibraryName(std::move(LibraryName)) {
    Load();
}

TIBClientLibrary::~TIBClientLibrary() {
    Unload();
}

void TIBClientLibrary::Unload() {
    if (!FHandle) return;
    // Drop the pointers first: they point into the file that is about to go.
    FEntries = TClientEntries{};
    dlclose(FHandle);
    FHandle = nullptr;
}

void* TIBClientLibrary::Resolve(const char* Name, bool Required) {
    dlerror();
    void* p = dlsym(FHandle, Name);
    if (!p && Required) {
        const char* err = dlerror();
        throw EOSError(0, err ? err : std::string("undefined symbol: ") + Name);
    }
    return p;
}

namespace {

// Converts the untyped address to the entry's pointer type.
template <class F>
void Assign(F& Entry, void* Address) {
    Entry = reinterpret_cast<F>(Address);
}

void SetExtendedPrecision() {
#if defined(__i386__) || defined(__x86_64__)
    fpu_control_t cw;
    _FPU_GETCW(cw);
    cw = static_cast<fpu_control_t>((cw & ~static_cast<fpu_control_t>(_FPU_EXTENDED)) | _FPU_EXTENDED);
    _FPU_SETCW(cw);
#endif
}

} // namespace

void TIBClientLibrary::Load() {
    Unload();
    dlerror();
    FHandle = dlopen(FLibraryName.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!FHandle) {
        const char* err = dlerror();
        throw EOSError(0, err ? err : "cannot load " + FLibraryName);
    }
    try {
        // Required entry points, and the optional fb_interpret.
#define QNL_RESOLVE_BASE(name, resolve, wrap, kind)                                         \
    if constexpr (TEntryResolve::resolve == TEntryResolve::Required)                        \
        Assign(FEntries.name, Resolve(#name, true));
        QNL_CLIENT_ENTRIES(QNL_RESOLVE_BASE)
#undef QNL_RESOLVE_BASE
        Assign(FEntries.fb_interpret, Resolve("fb_interpret", false));

        // A client that can roll back retaining is a version 6 client.
        Assign(FEntries.isc_rollback_retaining, Resolve("isc_rollback_retaining", false));
        if (FEntries.isc_rollback_retaining) {
            FClientMajorVersion = 6;
            FClientMinorVersion = 0;
#define QNL_RESOLVE_V6(name, resolve, wrap, kind)                                           \
    if constexpr (TEntryResolve::resolve == TEntryResolve::Version6)                        \
        Assign(FEntries.name, Resolve(#name, true));
            QNL_CLIENT_ENTRIES(QNL_RESOLVE_V6)
#undef QNL_RESOLVE_V6
        } else {
            FClientMajorVersion = 5;
            FClientMinorVersion = 0;
        }

        // A client that reports its version is asked for it.
        Assign(FEntries.isc_get_client_version, Resolve("isc_get_client_version", false));
        if (FEntries.isc_get_client_version) {
            Assign(FEntries.isc_get_client_major_version, Resolve("isc_get_client_major_version", true));
            Assign(FEntries.isc_get_client_minor_version, Resolve("isc_get_client_minor_version", true));
            FClientMajorVersion = isc_get_client_major_version();
            FClientMinorVersion = isc_get_client_minor_version();
#define QNL_RESOLVE_OPT_VERSION(name, resolve, wrap, kind)                                  \
    if constexpr (TEntryResolve::resolve == TEntryResolve::OptionalWithVersion)             \
        Assign(FEntries.name, Resolve(#name, false));
            QNL_CLIENT_ENTRIES(QNL_RESOLVE_OPT_VERSION)
#undef QNL_RESOLVE_OPT_VERSION
        } else {
            FClientMinorVersion = 0;
        }
    } catch (...) {
        // A half-resolved library is never left loaded: every later call raises instead.
        Unload();
        throw;
    }
    SetExtendedPrecision();
}

namespace {

std::mutex& CacheLock() {
    static std::mutex lock;
    return lock;
}

// Freed at exit, which drops the cache's references and so unloads every library no one holds.
std::vector<IIBClientLibraryPtr>& Cache() {
    static std::vector<IIBClientLibraryPtr> cache;
    return cache;
}

} // namespace

IIBClientLibraryPtr FindOrLoadClientLibrary(const std::string& LibraryName) {
    std::lock_guard<std::mutex> guard(CacheLock());
    for (const IIBClientLibraryPtr& lib : Cache()) {
        if (lib->GetLibraryName() == LibraryName) {
            if (!lib->IsLoaded()) lib->Load();
            return lib;
        }
    }
    IIBClientLibraryPtr lib = std::make_shared<TIBClientLibrary>(LibraryName);
    Cache().push_back(lib);
    return lib;
}

} // namespace qnl
