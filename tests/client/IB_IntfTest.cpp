#include "client/IB_Intf.h"
#include "platform/Exceptions.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <fpu_control.h>

#include <stdexcept>

namespace qnl {
namespace {

TEST(ClientLibrary, VersionComesFromWhatTheLibraryExports) {
    struct Case {
        const char* Path;
        int Major, Minor;
    };
    // No rollback-retaining: a version 5 client; with it: 6.0; a library that reports its
    // version is believed.
    for (const Case& c : {Case{FAKE_CLIENT_V5, 5, 0}, Case{FAKE_CLIENT_V6, 6, 0}, Case{FAKE_CLIENT_REPORTING, 7, 4}}) {
        TIBClientLibrary lib(c.Path);
        EXPECT_TRUE(lib.IsLoaded()) << c.Path;
        EXPECT_EQ(c.Major, lib.GetClientMajorVersion()) << c.Path;
        EXPECT_EQ(c.Minor, lib.GetClientMinorVersion()) << c.Path;
        EXPECT_EQ(c.Path, lib.GetLibraryName());
    }
}

TEST(ClientLibrary, VersionSixEntryOfAVersionFiveClientRaisesMissingProcedure) {
    TIBClientLibrary lib(FAKE_CLIENT_V5);
    ISC_STATUS_ARRAY status{};
    isc_svc_handle handle = 0;
    try {
        lib.isc_service_attach(status, static_cast<unsigned short>(0), "service_mgr", &handle,
                               static_cast<unsigned short>(0), nullptr);
        FAIL() << "no error";
    } catch (const EDatabaseError&) {
        FAIL() << "the missing-entry error is a plain Exception";
    } catch (const Exception& e) {
        EXPECT_EQ(std::string("Can't find procedure isc_service_attach in ") + FAKE_CLIENT_V5, e.what());
    }
    EXPECT_THROW(lib.isc_rollback_retaining(status, nullptr), Exception);
    EXPECT_FALSE(lib.GetBusy());
}

TEST(ClientLibrary, MissingFileOrRequiredEntryFailsToLoad) {
    try {
        TIBClientLibrary lib("/nonexistent/libnothing.so");
        FAIL() << "loaded";
    } catch (const EOSError& e) {
        EXPECT_NE(std::string(e.what()).find("libnothing.so"), std::string::npos) << e.what();
    }
    try {
        TIBClientLibrary lib(FAKE_CLIENT_BROKEN);
        FAIL() << "loaded";
    } catch (const EOSError& e) {
        EXPECT_NE(std::string(e.what()).find("isc_dsql_prepare"), std::string::npos) << e.what();
    }
    // A library that failed is never cached.
    EXPECT_THROW(FindOrLoadClientLibrary(FAKE_CLIENT_BROKEN), EOSError);
    EXPECT_THROW(FindOrLoadClientLibrary(FAKE_CLIENT_BROKEN), EOSError);
}

TEST(ClientLibrary, CacheSharesOneLibraryPerExactName) {
    IIBClientLibraryPtr a = FindOrLoadClientLibrary(FAKE_CLIENT_V6);
    IIBClientLibraryPtr b = FindOrLoadClientLibrary(FAKE_CLIENT_V6);
    EXPECT_EQ(a.get(), b.get());
    EXPECT_NE(a.get(), FindOrLoadClientLibrary(FAKE_CLIENT_V5).get());
    // The same file under another spelling is another entry.
    std::string otherSpelling = std::string(FAKE_CLIENT_V6);
    otherSpelling.insert(otherSpelling.rfind('/'), "/.");
    EXPECT_NE(a.get(), FindOrLoadClientLibrary(otherSpelling).get());

    // An unloaded library refuses calls instead of jumping into the freed file, and is loaded
    // again the next time its name is asked for.
    a->Unload();
    EXPECT_FALSE(a->IsLoaded());
    EXPECT_THROW(a->isc_vax_integer("\1", static_cast<short>(1)), Exception);
    IIBClientLibraryPtr c = FindOrLoadClientLibrary(FAKE_CLIENT_V6);
    EXPECT_EQ(a.get(), c.get());
    EXPECT_TRUE(c->IsLoaded());
    EXPECT_EQ(0, c->isc_vax_integer("\1", static_cast<short>(1)));
}

IIBClientLibrary* ProbedLibrary = nullptr;
bool BusySeen = false;

TEST(ClientLibrary, BusyWhileACallRunsAndClearedWhenItRaises) {
    IIBClientLibraryPtr lib = FindOrLoadClientLibrary(FAKE_CLIENT_REPORTING);
    // Reach the fake's probe setter through a second handle to the same loaded file.
    void* self = dlopen(FAKE_CLIENT_REPORTING, RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(nullptr, self);
    auto setProbe = reinterpret_cast<void (*)(void (*)())>(dlsym(self, "fake_set_probe"));
    ASSERT_NE(nullptr, setProbe);
    ProbedLibrary = lib.get();

    setProbe([] { BusySeen = ProbedLibrary->GetBusy(); });
    EXPECT_FALSE(lib->GetBusy());
    lib->isc_vax_integer("\1", static_cast<short>(1));
    EXPECT_TRUE(BusySeen);
    EXPECT_FALSE(lib->GetBusy());

    setProbe([] { throw std::runtime_error("raised inside the call"); });
    EXPECT_THROW(lib->isc_vax_integer("\1", static_cast<short>(1)), std::runtime_error);
    EXPECT_FALSE(lib->GetBusy());
    setProbe(nullptr);
    dlclose(self);
}

TEST(ClientLibrary, LoadingSetsExtendedFloatingPointPrecision) {
    fpu_control_t saved, cw;
    _FPU_GETCW(saved);
    cw = static_cast<fpu_control_t>((saved & ~_FPU_EXTENDED) | _FPU_DOUBLE);
    _FPU_SETCW(cw);
    TIBClientLibrary lib(FAKE_CLIENT_V5);
    _FPU_GETCW(cw);
    EXPECT_EQ(_FPU_EXTENDED, cw & _FPU_EXTENDED);
    // Exception masks and rounding stay as they were.
    EXPECT_EQ(saved & ~_FPU_EXTENDED, cw & ~_FPU_EXTENDED);
    _FPU_SETCW(saved);
}

TEST(ClientLibrary, RealClientLoadsAndReportsItsVersion) {
    IIBClientLibraryPtr lib = FindOrLoadClientLibrary(DefaultClientLibraryName);
    ASSERT_TRUE(lib->IsLoaded());
    EXPECT_EQ("libfbclient.so.2", lib->GetLibraryName());
    // The installed Firebird 3 client reports 6.3.
    EXPECT_EQ(6, lib->GetClientMajorVersion());
    EXPECT_EQ(3, lib->GetClientMinorVersion());
    EXPECT_EQ(lib.get(), FindOrLoadClientLibrary("libfbclient.so.2").get());
    char version[256] = {};
    lib->isc_get_client_version(version);
    EXPECT_NE(std::string(version).find("Firebird"), std::string::npos) << version;
}

} // namespace
} // namespace qnl

namespace qnl {
namespace {

TEST(ClientLibrary, EventBlockTakesFifteenNamesAndUsesCount) {
    IIBClientLibraryPtr lib = FindOrLoadClientLibrary(DefaultClientLibraryName);
    const char* const names[15] = {"A", "BB", "NOT_USED"};
    ISC_UCHAR* events = nullptr;
    ISC_UCHAR* results = nullptr;
    ISC_LONG length = lib->isc_event_block(&events, &results, 2, names);
    ASSERT_NE(nullptr, events);
    // Version byte, then per name its length, its characters and a 4-byte count.
    EXPECT_EQ(1 + (1 + 1 + 4) + (1 + 2 + 4), length);
    EXPECT_EQ(std::string("\1\1A", 3), std::string(reinterpret_cast<char*>(events), 3));
    EXPECT_EQ(std::string("\2BB", 3), std::string(reinterpret_cast<char*>(events) + 7, 3));
    lib->isc_free(reinterpret_cast<ISC_SCHAR*>(events));
    lib->isc_free(reinterpret_cast<ISC_SCHAR*>(results));
}

} // namespace
} // namespace qnl
