#include "client/fib.h"

#include <gtest/gtest.h>

#include <cstring>
#include <thread>

namespace qnl {
namespace {

std::string Bytes(std::initializer_list<int> Values) {
    std::string s;
    for (int v : Values) s += static_cast<char>(v);
    return s;
}

TStringList Lines(std::initializer_list<const char*> Items) {
    TStringList list;
    for (const char* s : Items) list.Add(s);
    return list;
}

struct BlockCase {
    std::vector<const char*> Params;
    bool Flag;
    std::string Expected;   // without the version byte
};

TEST(BuildDPB, WritesItemsByName) {
    const std::string sysdba = Bytes({28, 6}) + "SYSDBA";
    const std::vector<BlockCase> cases = {
        {{"user_name=SYSDBA"}, true, sysdba},
        {{"isc_dpb_user_name=SYSDBA"}, true, sysdba},
        {{"USER_NAME=SYSDBA"}, true, sysdba},
        {{"  password=masterkey\t", "", "   "}, true, Bytes({29, 9}) + "masterkey"},
        {{"lc_ctype=UTF8", "sql_role_name=R"}, false, Bytes({48, 4}) + "UTF8" + Bytes({60, 1}) + "R"},
        {{"sql_dialect=3"}, true, Bytes({63, 1, 3})},
        // Numbers are four bytes, little-endian: 300 buffers stay 300.
        {{"num_buffers=300"}, true, Bytes({5, 4, 44, 1, 0, 0})},
        {{"connect_timeout=10", "dummy_packet_interval=70000"}, true,
         Bytes({57, 4, 10, 0, 0, 0, 58, 4, 0x70, 0x11, 1, 0})},
        {{"sweep_interval=20000"}, true, Bytes({22, 4, 0x20, 0x4E, 0, 0})},
        {{"garbage_collect=whatever", "no_garbage_collect"}, true, Bytes({8, 1, 1, 16, 1, 1})},
        {{"sweep"}, true, Bytes({10, 1, 2})},
        {{"activate_shadow", "delete_shadow", "begin_log", "quit_log"}, true,
         Bytes({21, 1, 0, 23, 1, 0, 25, 1, 0, 26, 1, 0})},
        {{"online"}, true, Bytes({51, 0})},
        {{"shutdown="}, true, Bytes({50, 0})},
        {{"shutdown=single,force"}, true, Bytes({50, 1, 56})},
        {{"shutdown=full;2"}, true, Bytes({50, 1, 66})},
        {{"set_db_charset=UTF8"}, false, ""},
        {{"set_db_charset=UTF8"}, true, Bytes({68, 4}) + "UTF8"},
        {{"instance_name=x"}, true, ""},
        {{"instance_name=x"}, false, Bytes({75, 1}) + "x"},
        {{"no_db_triggers"}, true, Bytes({72, 1, 1})},
        {{"no_db_triggers"}, false, ""},
        {{"utf8_filename"}, true, Bytes({77, 0})},
        {{"utf8_filename"}, false, ""},
    };
    for (const BlockCase& c : cases) {
        TStringList params;
        for (const char* p : c.Params) params.Add(p);
        std::string dpb;
        int16_t length = -1;
        BuildDPB(params, dpb, length, c.Flag);
        EXPECT_EQ(Bytes({1}) + c.Expected, dpb) << c.Params[0];
        EXPECT_EQ(static_cast<int16_t>(dpb.size()), length) << c.Params[0];
    }
}

TEST(BuildDPB, TrimsTheLinesInPlace) {
    TStringList params = Lines({"  user_name=SYSDBA  ", "\tlc_ctype=UTF8"});
    std::string dpb;
    int16_t length;
    BuildDPB(params, dpb, length, true);
    EXPECT_EQ("user_name=SYSDBA", params[0]);
    EXPECT_EQ("lc_ctype=UTF8", params[1]);
}

TEST(BuildDPB, RefusesWhatItCannotWrite) {
    struct Case {
        const char* Line;
        int SQLCode;
        std::string Message;
    };
    const std::vector<Case> cases = {
        // A blank before "=" belongs to the name.
        {"user_name = SYSDBA", 9, "DPB Constant (user_name ) is unknown."},
        {"isc_dpb_bogus=1", 9, "DPB Constant (bogus) is unknown."},
        {"cdd_pathname=x", 8, "DPB Constant (isc_dpb_cdd_pathname) is unsupported."},
        {"gbak_ods_minor_version=1", 8, "DPB Constant (isc_dpb_gbak_ods_minor_version) is unsupported."},
        {"sql_dialect=", 61, "SQL Dialect invalid"},
        // An unknown mode word makes the modes -1, which the mode byte cannot hold.
        {"shutdown=nonsense", -1, "DPB Constant (shutdown) value nonsense is out of range 0..255."},
        {"shutdown=300", -1, "DPB Constant (shutdown) value 300 is out of range 0..255."},
    };
    for (const Case& c : cases) {
        TStringList params = Lines({"user_name=SYSDBA", c.Line, "password=x"});
        std::string dpb;
        int16_t length;
        try {
            BuildDPB(params, dpb, length, true);
            ADD_FAILURE() << c.Line;
        } catch (const EFIBClientError& e) {
            EXPECT_EQ(c.SQLCode, e.SQLCode()) << c.Line;
            EXPECT_EQ(c.Message, e.what());
            // It stops at the bad line, with the items before it written.
            EXPECT_EQ(Bytes({1, 28, 6}) + "SYSDBA", dpb);
            EXPECT_EQ(9, length);
        }
    }
    TStringList params = Lines({"num_buffers=lots"});
    std::string dpb;
    int16_t length;
    EXPECT_THROW(BuildDPB(params, dpb, length, true), EConvertError);
}

TEST(BuildDPB, StringValueLongerThanItsLengthByteIsRefused) {
    std::string dpb;
    int16_t length;
    TStringList fits = Lines({});
    fits.Add("password=" + std::string(255, 'p'));
    BuildDPB(fits, dpb, length, true);
    EXPECT_EQ(Bytes({1, 29, 255}) + std::string(255, 'p'), dpb);

    TStringList tooLong = Lines({});
    tooLong.Add("password=" + std::string(256, 'p'));
    try {
        BuildDPB(tooLong, dpb, length, true);
        FAIL() << "no error";
    } catch (const EFIBClientError& e) {
        EXPECT_EQ(-1, e.SQLCode());
        EXPECT_STREQ("DPB Constant (password) value is longer than 255 characters.", e.what());
    }
}

// The client library takes the DPB's length as 16 bits: a longer block is refused, never cut
// or wrapped into a negative length.
TEST(BuildDPB, BlockLongerThanTheClientTakesIsRefused) {
    // 128 items of 2 + 253 bytes after the version byte: 32641 bytes.
    TStringList fits;
    for (int i = 0; i < 128; ++i) fits.Add("lc_messages=" + std::string(253, 'm'));
    std::string dpb;
    int16_t length = 0;
    BuildDPB(fits, dpb, length, true);
    EXPECT_EQ(32641, length);
    fits.Add("lc_ctype=" + std::string(124, 'c'));   // 126 bytes more: 32767
    BuildDPB(fits, dpb, length, true);
    EXPECT_EQ(32767, length);
    fits.Add("sweep");
    try {
        BuildDPB(fits, dpb, length, true);
        FAIL() << "no error";
    } catch (const EFIBClientError& e) {
        EXPECT_STREQ("DPB is 32770 bytes long; the client library takes at most 32767.", e.what());
    }
}

TEST(BuildSPB, WritesItemsByName) {
    const std::string head = Bytes({2, 2});
    const std::string v255(255, 'p');
    struct Case {
        std::vector<std::string> Lines;
        std::string Expected;
    } cases[] = {
        {{}, head},
        {{"connect_timeout=30"}, head + Bytes({57, 4, 30, 0, 0, 0})},
        {{"isc_spb_dummy_packet_interval=-2"}, head + Bytes({58, 4, 0xFE, 0xFF, 0xFF, 0xFF})},
        {{"user_name=SYSDBA"}, head + Bytes({28, 6}) + "SYSDBA"},
        {{"isc_spb_user_name=SYSDBA", "  ", "Password=a=b"}, head + Bytes({28, 6}) + "SYSDBA" + Bytes({29, 3}) + "a=b"},
        {{"sql_role_name=R", "command_line="}, head + Bytes({60, 1}) + "R" + Bytes({105, 0})},
        {{"password=" + v255}, head + Bytes({29, 255}) + v255},
    };
    for (const Case& c : cases) {
        TStringList lines;
        for (const std::string& l : c.Lines) lines.Add(l);
        std::string spb;
        int16_t length = -1;
        BuildSPB(lines, spb, length);
        EXPECT_EQ(spb, c.Expected) << (c.Lines.empty() ? "" : c.Lines[0]);
        EXPECT_EQ(length, static_cast<int16_t>(c.Expected.size()));
    }
}

TEST(BuildSPB, RefusesWhatItCannotWrite) {
    struct Case {
        std::vector<std::string> Lines;
        std::string Message;
    } cases[] = {
        {{"verbose"}, "SPB Constant Not supported"},
        {{"instance_name=x"}, "SPB Constant Not supported"},
        {{"no_such_item=1"}, "SPB Constant Unknown"},
        // A length byte cannot say 256, and the buffer's length is 16 bits.
        {{"password=" + std::string(256, 'p')}, "SPB Constant (password) value is longer than 255 characters."},
        {std::vector<std::string>(129, "password=" + std::string(255, 'p')),
         "SPB is 33155 bytes long; the client library takes at most 32767."},
    };
    for (const Case& c : cases) {
        TStringList lines;
        for (const std::string& l : c.Lines) lines.Add(l);
        std::string spb;
        int16_t length = 0;
        try {
            BuildSPB(lines, spb, length);
            ADD_FAILURE() << c.Message;
        } catch (const EFIBClientError& e) {
            EXPECT_EQ(c.Message, e.what());
        }
    }
    TStringList lines = Lines({"connect_timeout=soon"});
    std::string spb;
    int16_t length = 0;
    EXPECT_THROW(BuildSPB(lines, spb, length), EConvertError);
}

TEST(ClientTextLength, LongTextsGoWholeUpToTheirZeroAndNoTextHoldsOne) {
    EXPECT_EQ(5u, ClientTextLength("abcde", 65535, "Statement"));
    EXPECT_EQ(65535u, ClientTextLength(std::string(65535, 'x'), 65535, "Statement"));
    // 0 makes the client library read up to the terminating zero.
    EXPECT_EQ(0u, ClientTextLength(std::string(65536, 'x'), 65535, "Statement"));
    EXPECT_EQ(0u, ClientTextLength(std::string(32768, 'x'), 32767, "Database name"));
    // The server ends a text at a zero character, short or long.
    for (const size_t size : {size_t{2}, size_t{40000}}) {
        std::string zero(size, 'x');
        zero[1] = '\0';
        for (const size_t limit : {size_t{32767}, size_t{65535}}) {
            try {
                ClientTextLength(zero, limit, "Database name");
                ADD_FAILURE() << "no error for " << size << " characters";
            } catch (const EFIBClientError& e) {
                EXPECT_STREQ("Database name holds a zero character, at which the server would end it.", e.what());
            }
        }
    }
}

TEST(BuildTPB, WritesItemsByName) {
    const std::vector<BlockCase> cases = {
        {{"write", "nowait", "read_committed", "rec_version"}, false, Bytes({9, 7, 15, 17})},
        {{"isc_tpb_READ", "", "  consistency "}, false, Bytes({8, 1})},
        {{"concurrency", "wait", "no_rec_version", "no_auto_undo", "ignore_limbo"}, false, Bytes({2, 6, 18, 20, 14})},
        {{"shared", "lock_write=TABLE1", "lock_read=T2"}, false, Bytes({3, 11, 6}) + "TABLE1" + Bytes({10, 2}) + "T2"},
        {{"lock_timeout=5"}, true, Bytes({21, 2, 5, 0})},
        {{"lock_timeout=300"}, true, Bytes({21, 2, 44, 1})},
        {{"lock_timeout"}, true, Bytes({21, 2, 10, 0})},
        {{"lock_timeout=soon"}, true, Bytes({21, 2, 10, 0})},
        {{"lock_timeout=32767"}, true, Bytes({21, 2, 0xFF, 0x7F})},
        {{"no_savepoint"}, false, Bytes({21})},
    };
    for (const BlockCase& c : cases) {
        TStringList params;
        for (const char* p : c.Params) params.Add(p);
        std::string tpb;
        int32_t length = -1;
        BuildTPB(params, tpb, length, c.Flag);
        EXPECT_EQ(Bytes({3}) + c.Expected, tpb) << c.Params[0];
        EXPECT_EQ(static_cast<int32_t>(tpb.size()), length) << c.Params[0];
    }
    TStringList none;
    std::string tpb = "old";
    int32_t length = -1;
    BuildTPB(none, tpb, length, true);
    EXPECT_EQ("", tpb);
    EXPECT_EQ(0, length);
}

TEST(BuildTPB, RefusesWhatItCannotWrite) {
    struct Case {
        const char* Line;
        bool LockTimeoutForm;
        int SQLCode;
        const char* Message;
    };
    const std::vector<Case> cases = {
        {"verb_time", true, 10, "TPB Constant (isc_tpb_verb_time) is unsupported."},
        {"autocommit", true, 10, "TPB Constant (isc_tpb_autocommit) is unsupported."},
        {"dirty_read", true, 11, "TPB Constant (dirty_read) is unknown."},
        // Without the timeout form the bare code would be read as no_savepoint.
        {"lock_timeout=5", false, 10, "TPB Constant (isc_tpb_lock_timeout) is unsupported."},
        // The timeout item holds 16 bits: 70000 would be 4464.
        {"lock_timeout=70000", true, -1, "TPB Constant (lock_timeout) value 70000 is out of range -32768..32767."},
        {"lock_timeout=99999999999999999999", true, -1,
         "TPB Constant (lock_timeout) value 99999999999999999999 is out of range -32768..32767."},
    };
    for (const Case& c : cases) {
        TStringList params = Lines({"read", c.Line});
        std::string tpb;
        int32_t length;
        try {
            BuildTPB(params, tpb, length, c.LockTimeoutForm);
            ADD_FAILURE() << c.Line;
        } catch (const EFIBClientError& e) {
            EXPECT_EQ(c.SQLCode, e.SQLCode()) << c.Line;
            EXPECT_STREQ(c.Message, e.what());
        }
    }
}

TEST(ShutdownModes, WordsAreOredTogether) {
    const std::vector<std::pair<const char*, int>> cases = {
        {"", 0},       {"cache", 1},          {"ATTACHMENT", 2}, {"transaction", 4},
        {"force", 8},  {"normal", 16},        {"multi", 32},     {"single,force", 56},
        {"full;2", 66}, {"mode_mask", 112},   {"single,,;", 48}, {"full,x", -1},
        {"multi;4", 36},
    };
    for (const auto& [text, value] : cases) EXPECT_EQ(value, ParseShutdownModes(text)) << text;
}

TEST(ClientErrors, TextsAndCodesComeFromTheTable) {
    try {
        RaiseClientError(24, {"FIELD1"});
    } catch (const EFIBClientError& e) {
        EXPECT_EQ(24, e.SQLCode());
        EXPECT_STREQ("XSQLDA name does not exist (FIELD1).", e.what());
        EXPECT_EQ("XSQLDA name does not exist (FIELD1).", e.BaseMessage());
        EXPECT_EQ("", e.RaiserName());
        EXPECT_EQ(nullptr, e.Raiser());
    }
    // The code is taken modulo 128.
    try {
        RaiseClientError(128 + 55, {5, 255});
    } catch (const EFIBClientError& e) {
        EXPECT_EQ(55, e.SQLCode());
        EXPECT_STREQ("Windows API error. (Windows error 5 [$000000FF])", e.what());
    }
    try {
        RaiseClientErrorMsg("%s and %d%% [%-4s|%3d|%.3d|%x]", {"text", -7, "ab", 5, 7, -1});
    } catch (const EFIBClientError& e) {
        EXPECT_EQ(-1, e.SQLCode());
        EXPECT_STREQ("text and -7% [ab  |  5|007|FFFFFFFF]", e.what());
    }
    EXPECT_STREQ("Can't %s , because  query is empty", ClientErrorMessage(37));
    EXPECT_STREQ("Can't post. (%s) ", ClientErrorMessage(45));
    EXPECT_STREQ("SQL Parse Error in :%s \r\n\r\n%s", ClientErrorMessage(51));
    EXPECT_STREQ("MDT. Savepoint \"%s\" not found", ClientErrorMessage(84));
}

TEST(ClientErrors, CarryTheLastStatusOfTheirOwnThread) {
    ISC_STATUS* sv = ThreadStatusVector();
    sv[0] = isc_arg_gds;
    sv[1] = 335544344;
    sv[2] = isc_arg_end;
    int otherThreadCode = -1;
    std::thread([&] {
        try {
            RaiseClientError(0);
        } catch (const EFIBError& e) {
            otherThreadCode = e.IBErrorCode();
        }
    }).join();
    EXPECT_EQ(0, otherThreadCode);
    try {
        RaiseClientError(0);
    } catch (const EFIBError& e) {
        EXPECT_EQ(335544344, e.IBErrorCode());
    }
    std::memset(sv, 0, sizeof(ISC_STATUS_ARRAY));
}

TEST(StatusVector, EntriesArePointerSized) {
    static_assert(sizeof(ThreadStatusVector()[0]) == sizeof(void*));
    ISC_STATUS* sv = ThreadStatusVector();
    static const char text[] = "text";
    const ISC_STATUS vector[] = {isc_arg_gds, 335544569,
                                 isc_arg_string, reinterpret_cast<ISC_STATUS>(text),
                                 isc_arg_cstring, 4, reinterpret_cast<ISC_STATUS>(text),
                                 isc_arg_number, 42,
                                 isc_arg_gds, 335544382,
                                 isc_arg_end};
    std::memcpy(sv, vector, sizeof(vector));
    EXPECT_TRUE(StatusVectorHasCode({335544569}));
    EXPECT_TRUE(StatusVectorHasCode({1, 335544382}));
    EXPECT_TRUE(StatusVectorHasCode({42}));
    EXPECT_FALSE(StatusVectorHasCode({4}));   // the counted string's length is no code
    EXPECT_FALSE(StatusVectorHasCode({335544344}));
    std::memset(sv, 0, sizeof(ISC_STATUS_ARRAY));
}

class TNamed : public TComponent {
public:
    TNamed(TComponent* Owner, const char* Name) : TComponent(Owner) { SetName(Name); }
};

// Sets the thread's status vector to two error codes.
void FailWithTwoCodes() {
    ISC_STATUS* sv = ThreadStatusVector();
    const ISC_STATUS vector[] = {isc_arg_gds, 335544344, isc_arg_gds, 335544734, isc_arg_end};
    std::memcpy(sv, vector, sizeof(vector));
}

TEST(StatusVectorError, CarriesTheServerTextsAndTheRaiserPath) {
    TNamed form(nullptr, "Form1");
    TNamed database(&form, "Database1");
    struct Case {
        const char* Library;
        const char* Interpreter;   // what the library interprets with
    };
    // Without fb_interpret the older interpreter still yields the messages.
    for (const Case& c : {Case{FAKE_CLIENT_V5, "Isc_interprete"}, Case{FAKE_CLIENT_REPORTING, "Fb_interpret"}}) {
        IIBClientLibraryPtr lib = FindOrLoadClientLibrary(c.Library);
        FailWithTwoCodes();
        try {
            RaiseStatusVectorError(*lib, &database);
            FAIL() << "no error";
        } catch (const EFIBInterBaseError& e) {
            const std::string ib = std::string(c.Interpreter) + " says 335544344.\r\n" + c.Interpreter +
                                   " says 335544734.\r\n";
            EXPECT_EQ(-902, e.SQLCode());
            EXPECT_EQ(335544344, e.IBErrorCode());
            EXPECT_EQ("Fake sql message -902.\r\n", e.SQLMessage());
            EXPECT_EQ(ib, e.IBMessage());
            EXPECT_EQ("Form1.Database1", e.RaiserName());
            EXPECT_EQ(&database, e.Raiser());
            EXPECT_EQ("Form1.Database1:\r\nFake sql message -902.\r\n" + ib, e.what());
        }
    }
    // A raiser whose path is one character adds no raiser line; a non-component adds none.
    IIBClientLibraryPtr lib = FindOrLoadClientLibrary(FAKE_CLIENT_V5);
    TNamed single(nullptr, "D");
    TObject plain;
    for (TObject* raiser : {static_cast<TObject*>(&single), &plain}) {
        FailWithTwoCodes();
        try {
            RaiseStatusVectorError(*lib, raiser);
        } catch (const EFIBInterBaseError& e) {
            EXPECT_EQ(0u, std::string(e.what()).find("Fake sql message")) << e.what();
        }
    }
    std::memset(ThreadStatusVector(), 0, sizeof(ISC_STATUS_ARRAY));
}

TEST(ReallocZeroed, GrowsWithZerosAndFreesAtZero) {
    void* buffer = nullptr;
    ReallocZeroed(buffer, 0, 8);
    ASSERT_NE(nullptr, buffer);
    std::memset(buffer, 0xAB, 8);
    ReallocZeroed(buffer, 8, 16);
    auto* bytes = static_cast<unsigned char*>(buffer);
    EXPECT_EQ(0xAB, bytes[7]);
    for (int i = 8; i < 16; ++i) EXPECT_EQ(0, bytes[i]);
    ReallocZeroed(buffer, 16, 0);
    EXPECT_EQ(nullptr, buffer);
}

} // namespace
} // namespace qnl
