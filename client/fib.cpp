#include "client/fib.h"

#include "platform/IntText.h"

#include "client/StdFuncs.h"

#include <array>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace qnl {

namespace {

const std::array<const char*, FIBClientErrorCount> ClientErrorTable = {
    "Unknown error.",
    "Unsupported feature.",
    "Not permitted.",
    "Temporary file access error.",
    "Database connection timed out.",
    "Cannot set database.",
    "Cannot set transaction.",
    "Operation cancelled at user's request.",
    "DPB Constant (isc_dpb_%s) is unsupported.",
    "DPB Constant (%s) is unknown.",
    "TPB Constant (isc_tpb_%s) is unsupported.",
    "TPB Constant (%s) is unknown.",
    "%s: Cannot perform operation -- DB is not open.",
    "Cannot perform operation -- DB is currently open.",
    "Database name is missing.",
    "%s :Transaction is not active.",
    "%s :Transaction is active.",
    "Timeout values cannot be negative.",
    "%s :No databases are listed in transaction component.",
    "%s :Updating wrong database.",
    "%s :Updating wrong transaction.",
    "Database not assigned for %s.",
    "Transaction not assigned for %s.",
    "XSQLDA index out of range.",
    "XSQLDA name does not exist (%s).",
    "End of file.",
    "Beginning of file.",
    "%s:Invalid statement handle.",
    "Can't %s because %s dataset open.",
    "Can't %s because %s dataset closed.",
    "Unknown SQL Data type (%d).",
    "Invalid column index (index exceeds permitted range).",
    "Invalid parameter index (index exceeds permitted range).",
    "Invalid data conversion.",
    "Column cannot be set to null (%s)",
    "Blob stream cannot be read.",
    "Blob stream cannot be written.",
    "Can't %s , because  query is empty",
    "Can't \"open\" a non-select statement. Use ExecQuery.",
    "No access to field \"%s\".",
    "Field \"%s\" is read-only.",
    "Field \"%s\" not found.",
    "DataSet not in Edit or Insert mode.(%s)",
    "Not editing.",
    "Can't insert into dataset. (%s)",
    "Can't post. (%s) ",
    "Can't update. (%s)",
    "Can't delete from dataset. (%s)",
    "Can't refresh row. (%s)",
    "Buffer not set.",
    "Circular references not permitted.(%s)",
    "SQL Parse Error in :%s \r\n\r\n%s",
    "User abort.",
    "Data set is uni-directional.",
    "Cannot create shared resource. (Windows error %d)",
    "Windows API error. (Windows error %d [$%.8x])",
    "Column lists do not match.",
    "Column types don't match. (From index: %d, To index: %d)",
    "Can't end a shared transaction unless it is forced and equal to the transaction's TimeoutAction.",
    "Column types \"%s\" is not array field",
    "Dimension %d don't exist in \"%s\" ",
    "SQL Dialect invalid",
    "InterBase library gds32.dll not found in the path. Please install InterBase to use this functionality",
    "%s is an InterBase6 function. Please upgrade to InterBase6 to use this functonality",
    "InterBase Install DLL ibinstall.dll not found in the path. Please install InterBase 6 to use this functionality",
    "Cannot perform operation -- service is not attached",
    "Cannot perform operation -- service is attached",
    "Server Name Missing",
    "Query Parameters missing or incorrect",
    "Start Parameters missing or incorrect",
    "Unexpected Output buffer value",
    "Generic ServiceStart not applicable: Use Specific Procedures to set configuration params",
    "SPB Constant Not supported",
    "SPB Constant Unknown",
    "Field Size too small. Field %s.%s",
    "%s. Can't use limited cache. \r\nCachedUpdates must be False,\r\nSelect must have \"Order by\" clause ,\r\n"
    "All order fields must exist in fields section\r\nSelect can't use params with prefix \"NEW_\"\r\n"
    "UpdateTransaction must be equel Transaction or AutoCommit=True ",
    "Error in %s. FieldList is empty.",
    "%s can't use field \"%s\"",
    "%s is an Firebird 2 function. Please upgrade to Firebird 2 to use this functonality",
    "MDT. Socket of database \"%s\" not found",
    "MDT. MDT transaction already opened",
    "MDT. FIBXSQLDA and MDTDataRecord are incompatible",
    "MDT. Unexpected error in \"%s\"",
    "MDT. MDT savepoint \"%s\" already set",
    "MDT. Savepoint \"%s\" not found",
};

std::mutex& FlagsLock() {
    static std::mutex lock;
    return lock;
}

uint8_t ErrorMessageFlags = emfIBMessage | emfSQLMessage | emfRaiserName;

thread_local ISC_STATUS_ARRAY StatusVector = {};

std::string LowerAscii(std::string S) {
    for (char& c : S)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return S;
}

void UpperFirstAscii(std::string& S) {
    if (!S.empty() && S[0] >= 'a' && S[0] <= 'z') S[0] = static_cast<char>(S[0] - 'a' + 'A');
}

std::string ArgAsText(const TFormatArg& Arg) {
    if (const auto* s = std::get_if<std::string>(&Arg.Value())) return *s;
    return std::to_string(std::get<int64_t>(Arg.Value()));
}

int64_t ArgAsInt(const TFormatArg& Arg) {
    if (const auto* i = std::get_if<int64_t>(&Arg.Value())) return *i;
    throw EConvertError("Format '" + std::get<std::string>(Arg.Value()) + "' invalid or incompatible with argument");
}

// The framework's StrToInt: optional blanks and sign, then decimal digits or "$"/"0x" and hex
// digits, within the 32-bit range; anything else raises EConvertError.
int32_t StrToInt(const std::string& S) {
    int32_t value;
    if (!TryStrToInt(S, value)) throw EConvertError("'" + S + "' is not a valid integer value");
    return value;
}

struct TParamName {
    const char* Name;
    int Code;
};

// The DPB names in the client API's numbering (1..83), then names that reuse a code.
const std::vector<TParamName>& DPBNames() {
    static const std::vector<TParamName> names = [] {
        static const char* const numbered[] = {
            "cdd_pathname", "allocation", "journal", "page_size", "num_buffers", "buffer_length", "debug",
            "garbage_collect", "verify", "sweep", "enable_journal", "disable_journal", "dbkey_scope",
            "number_of_users", "trace", "no_garbage_collect", "damaged", "license", "sys_user_name",
            "encrypt_key", "activate_shadow", "sweep_interval", "delete_shadow", "force_write", "begin_log",
            "quit_log", "no_reserve", "user_name", "password", "password_enc", "sys_user_name_enc", "interp",
            "online_dump", "old_file_size", "old_num_files", "old_file", "old_start_page", "old_start_seqno",
            "old_start_file", "drop_walfile", "old_dump_id", "wal_backup_dir", "wal_chkptlen", "wal_numbufs",
            "wal_bufsize", "wal_grp_cmt_wait", "lc_messages", "lc_ctype", "cache_manager", "shutdown",
            "online", "shutdown_delay", "reserved", "overwrite", "sec_attach", "disable_wal",
            "connect_timeout", "dummy_packet_interval", "gbak_attach", "sql_role_name", "set_page_buffers",
            "working_directory", "sql_dialect", "set_db_readonly", "set_db_sql_dialect", "gfix_attach",
            "gstat_attach", "gbak_ods_version", "gbak_ods_minor_version", "set_group_commit",
            "gbak_validate", "client_interbase_var", "admin_option", "flush_interval", "instance_name",
            "old_overwrite", "archive_database", "archive_journals", "archive_sweep", "archive_dumps",
            "archive_recover", "recover_until", "force"};
        std::vector<TParamName> list;
        list.reserve(86);
        int code = 1;
        for (const char* n : numbered) list.push_back({n, code++});
        list.push_back({"no_db_triggers", 72});
        list.push_back({"set_db_charset", 68});
        list.push_back({"utf8_filename", 77});
        return list;
    }();
    return names;
}

// The first entry with the name wins.
int DPBCode(const std::string& Name) {
    for (const TParamName& n : DPBNames())
        if (Name == n.Name) return n.Code;
    return 0;
}

const char* DPBName(int Code) {
    for (const TParamName& n : DPBNames())
        if (n.Code == Code) return n.Name;
    return "";
}

// The TPB names, kept in a sorted list as the framework sorts (ignoring case).
const TStringList& TPBNames() {
    static const TStringList names = [] {
        static const char* const numbered[] = {
            "consistency", "concurrency", "shared", "protected", "exclusive", "wait", "nowait", "read",
            "write", "lock_read", "lock_write", "verb_time", "commit_time", "ignore_limbo",
            "read_committed", "autocommit", "rec_version", "no_rec_version", "restart_requests",
            "no_auto_undo", "no_savepoint"};
        TStringList list;
        intptr_t code = 1;
        for (const char* n : numbered) list.AddObject(n, reinterpret_cast<void*>(code++));
        list.AddObject("lock_timeout", reinterpret_cast<void*>(intptr_t{21}));
        list.SetSorted(true);
        return list;
    }();
    return names;
}

int TPBCode(const std::string& Name) {
    int index;
    if (!TPBNames().Find(Name, index)) return 0;
    return static_cast<int>(reinterpret_cast<intptr_t>(TPBNames().Objects(index)));
}

// Trims line Index in place and splits it at the first "=" into a lower-case name without the
// prefix, and the value. False for an empty line.
bool SplitParamLine(TStringList& Params, int Index, const char* Prefix, std::string& Name, std::string& Value) {
    std::string line = Trim(Params[Index]);
    Params.SetString(Index, line);
    if (line.empty()) return false;
    size_t eq = line.find('=');
    Name = LowerAscii(eq == std::string::npos ? line : line.substr(0, eq));
    Value = eq == std::string::npos ? std::string() : line.substr(eq + 1);
    size_t prefixLength = std::strlen(Prefix);
    if (Name.compare(0, prefixLength, Prefix) == 0) Name.erase(0, prefixLength);
    return true;
}

void AppendInt32LE(std::string& Block, int32_t Value) {
    auto v = static_cast<uint32_t>(Value);
    for (int i = 0; i < 4; ++i) Block += static_cast<char>((v >> (8 * i)) & 0xFF);
}

// Decimal digits after optional blanks and a sign: a number, whether or not it fits any type.
bool IsDecimalText(std::string_view S) {
    size_t i = S.find_first_not_of(" \t");
    if (i == std::string_view::npos) return false;
    if (S[i] == '+' || S[i] == '-') ++i;
    return i < S.size() && S.find_first_not_of("0123456789", i) == std::string_view::npos;
}

// The client API takes a DPB length as a 16-bit signed number; a TPB length as a 32-bit one.
constexpr size_t DPBLimit = INT16_MAX;
constexpr size_t TPBLimit = INT32_MAX;

// Refuses a value that the bytes of its item cannot hold, instead of writing a wrapped one.
void CheckItemRange(int64_t Value, int64_t Min, int64_t Max, const char* Kind, const std::string& Name,
                    const std::string& Text) {
    if (Value < Min || Value > Max)
        RaiseClientErrorMsg("%s Constant (%s) value %s is out of range %d..%d.", {Kind, Name, Text, Min, Max});
}

// Refuses a block that has grown past what the client API can take its length as.
void CheckBlockLength(const std::string& Block, size_t Limit, const char* Kind) {
    if (Block.size() > Limit)
        RaiseClientErrorMsg("%s is %d bytes long; the client library takes at most %d.", {Kind, Block.size(), Limit});
}

// Code, a one-byte length and the value. The length byte cannot say more than 255, so a longer
// value is refused instead of being cut short or wrapped.
void AppendStringItem(std::string& Block, int Code, const std::string& Value, const char* Kind, const char* Name) {
    if (Value.size() > 255)
        RaiseClientErrorMsg("%s Constant (%s) value is longer than 255 characters.", {Kind, Name});
    Block += static_cast<char>(Code);
    Block += static_cast<char>(Value.size());
    Block += Value;
}

} // namespace

unsigned ClientTextLength(std::string_view Text, size_t Limit, const char* What) {
    // Firebird ends a text at its first zero character even when it is given the length:
    // "DELETE FROM T" + zero + " WHERE ID = 1" would delete every row.
    if (Text.find('\0') != std::string_view::npos)
        RaiseClientErrorMsg("%s holds a zero character, at which the server would end it.", {What});
    return Text.size() <= Limit ? static_cast<unsigned>(Text.size()) : 0;
}

std::string DPBItemName(int Code) {
    for (const TParamName& n : DPBNames())
        if (n.Code == Code) return n.Name;   // the numbered names come first
    return {};
}

uint8_t GetErrorMessageFlags() {
    std::lock_guard<std::mutex> guard(FlagsLock());
    return ErrorMessageFlags;
}

const char* ClientErrorMessage(int Code) {
    int index = Code & 127;
    return index < FIBClientErrorCount ? ClientErrorTable[static_cast<size_t>(index)] : "";
}

EFIBError::EFIBError(int SQLCode, const std::string& Message, TObject* Raiser) : EDatabaseError("") {
    Init(SQLCode, Message, Raiser);
}

EFIBError::EFIBError(int SQLCode, const std::string& IBMessage, const std::string& SQLMessage,
                     const std::string& CustomMessage, TObject* Raiser)
    : EDatabaseError(""), FSQLMessage(SQLMessage), FIBMessage(IBMessage), FCustomMessage(CustomMessage) {
    Init(SQLCode, "", Raiser);
}

void EFIBError::Init(int SQLCode, const std::string& Message, TObject* Raiser) {
    if (auto* component = dynamic_cast<TComponent*>(Raiser)) FRaiserName = ComponentFullName(component);
    SetBaseMessage(Message);
    FSQLCode = SQLCode;
    FIBErrorCode = static_cast<int>(ThreadStatusVector()[1]);
    FRaiser = Raiser;
}

void EFIBError::SetBaseMessage(const std::string& Value) {
    FBaseMessage = Value;
    // Read without the lock, as the flags never change after start-up.
    uint8_t flags = ErrorMessageFlags;
    std::string text;
    if ((flags & emfRaiserName) != 0 && FRaiserName.size() > 1) text += FRaiserName + ":\r\n";
    if ((flags & emfSQLMessage) != 0) text += FSQLMessage;
    if ((flags & emfIBMessage) != 0) text += FIBMessage;
    if (!FCustomMessage.empty()) text += FCustomMessage;
    text += FBaseMessage;
    SetMessage(text);
}

std::string FormatMessage(const std::string& Format, std::initializer_list<TFormatArg> Args) {
    std::string out;
    auto arg = Args.begin();
    auto next = [&]() -> const TFormatArg& {
        if (arg == Args.end()) throw EConvertError("Format '" + Format + "' invalid or incompatible with argument");
        return *arg++;
    };
    for (size_t i = 0; i < Format.size(); ++i) {
        char c = Format[i];
        if (c != '%') {
            out += c;
            continue;
        }
        ++i;
        if (i < Format.size() && Format[i] == '%') {
            out += '%';
            continue;
        }
        bool left = false;
        if (i < Format.size() && Format[i] == '-') {
            left = true;
            ++i;
        }
        size_t width = 0;
        while (i < Format.size() && Format[i] >= '0' && Format[i] <= '9') width = width * 10 + static_cast<size_t>(Format[i++] - '0');
        int precision = -1;
        if (i < Format.size() && Format[i] == '.') {
            precision = 0;
            ++i;
            while (i < Format.size() && Format[i] >= '0' && Format[i] <= '9') precision = precision * 10 + (Format[i++] - '0');
        }
        if (i >= Format.size()) throw EConvertError("Format '" + Format + "' invalid or incompatible with argument");
        std::string piece;
        switch (Format[i]) {
        case 's': case 'S':
            piece = ArgAsText(next());
            if (precision >= 0 && piece.size() > static_cast<size_t>(precision)) piece.resize(static_cast<size_t>(precision));
            break;
        case 'd': case 'D': case 'u': case 'U': {
            int64_t v = ArgAsInt(next());
            bool negative = v < 0;
            piece = std::to_string(negative ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v));
            if (precision > 0 && piece.size() < static_cast<size_t>(precision))
                piece.insert(0, static_cast<size_t>(precision) - piece.size(), '0');
            if (negative) piece.insert(0, "-");
            break;
        }
        case 'x': case 'X': {
            int64_t signedValue = ArgAsInt(next());
            // A negative 32-bit argument prints as its 32-bit pattern, as the framework does.
            auto v = signedValue < 0 && signedValue >= INT32_MIN
                         ? static_cast<uint64_t>(static_cast<uint32_t>(signedValue))
                         : static_cast<uint64_t>(signedValue);
            static const char digits[] = "0123456789ABCDEF";
            do {
                piece.insert(piece.begin(), digits[v & 15]);
                v >>= 4;
            } while (v != 0);
            if (precision > 0 && piece.size() < static_cast<size_t>(precision))
                piece.insert(0, static_cast<size_t>(precision) - piece.size(), '0');
            break;
        }
        default:
            throw EConvertError("Format '" + Format + "' invalid or incompatible with argument");
        }
        if (piece.size() < width) {
            if (left) piece.append(width - piece.size(), ' ');
            else piece.insert(0, width - piece.size(), ' ');
        }
        out += piece;
    }
    return out;
}

void RaiseClientError(int Code, std::initializer_list<TFormatArg> Args) {
    throw EFIBClientError(Code & 127, FormatMessage(ClientErrorMessage(Code), Args), nullptr);
}

void RaiseClientErrorMsg(const std::string& Format, std::initializer_list<TFormatArg> Args) {
    throw EFIBClientError(-1, FormatMessage(Format, Args), nullptr);
}

ISC_STATUS* ThreadStatusVector() {
    return StatusVector;
}

void RaiseStatusVectorError(IIBClientLibrary& ClientLibrary, TObject* Raiser) {
    const ISC_STATUS* statusVector = ThreadStatusVector();
    uint8_t flags = GetErrorMessageFlags();
    auto sqlCode = static_cast<int>(ClientLibrary.isc_sqlcode(statusVector));

    constexpr size_t BufferSize = 20480;
    std::string buffer(BufferSize, '\0');
    std::string sqlMessage;
    if ((flags & emfSQLMessage) != 0) {
        ClientLibrary.isc_sql_interprete(static_cast<short>(sqlCode), buffer.data(), short{1024});
        sqlMessage = buffer.c_str();
        for (size_t p; (p = sqlMessage.find("\\n")) != std::string::npos;) sqlMessage.erase(p, 2);
        if (!sqlMessage.empty()) {
            UpperFirstAscii(sqlMessage);
            if (sqlMessage.back() != '.') sqlMessage += ".\r\n";
        }
    }
    std::string ibMessage;
    if ((flags & emfIBMessage) != 0) {
        const ISC_STATUS* p = statusVector;
        for (;;) {
            std::fill(buffer.begin(), buffer.end(), '\0');
            ISC_LONG length = ClientLibrary.fb_interpret(buffer.data(), static_cast<unsigned>(BufferSize), &p);
            if (length <= 0) break;
            std::string line = buffer.substr(0, std::min(static_cast<size_t>(length), BufferSize));
            UpperFirstAscii(line);
            ibMessage += line;
            if (ibMessage.back() != '.') ibMessage += '.';
            ibMessage += "\r\n";
        }
    }
    throw EFIBInterBaseError(sqlCode, ibMessage, sqlMessage, "", Raiser);
}

bool StatusVectorHasCode(std::initializer_list<ISC_STATUS> Codes) {
    const ISC_STATUS* sv = ThreadStatusVector();
    size_t i = 0;
    // Never read past the vector, also when a client left it unterminated.
    while (i < ISC_STATUS_LENGTH && sv[i] != isc_arg_end) {
        switch (sv[i]) {
        case isc_arg_gds:
        case isc_arg_number:
            if (i + 1 < ISC_STATUS_LENGTH)
                for (ISC_STATUS code : Codes)
                    if (sv[i + 1] == code) return true;
            i += 2;
            break;
        case isc_arg_cstring:
            i += 3;
            break;
        default:
            i += 2;
            break;
        }
    }
    return false;
}

void ReallocZeroed(void*& Buffer, size_t OldSize, size_t NewSize) {
    if (NewSize == 0) {
        std::free(Buffer);
        Buffer = nullptr;
        return;
    }
    void* p = Buffer ? std::realloc(Buffer, NewSize) : std::malloc(NewSize);
    if (!p) throw std::bad_alloc();
    Buffer = p;
    if (OldSize < NewSize) std::memset(static_cast<char*>(p) + OldSize, 0, NewSize - OldSize);
}

void BuildDPB(TStringList& Params, std::string& DPB, int16_t& DPBLength, bool IsFirebird) {
    DPB.assign(1, static_cast<char>(isc_dpb_version1));
    DPBLength = 1;
    for (int i = 0; i < Params.Count(); ++i) {
        std::string name, value;
        if (!SplitParamLine(Params, i, "isc_dpb_", name, value)) continue;
        int code = DPBCode(name);
        switch (code) {
        case 5: case 9: case 13: case 17: case 24: case 27: case 33: case 34: case 52: case 54: case 57: case 58:
            // Numbers go out as 4-byte little-endian values: one byte would make 300 buffers 44.
            DPB += static_cast<char>(code);
            DPB += static_cast<char>(4);
            AppendInt32LE(DPB, StrToInt(value));
            break;
        case 8: case 16:
            DPB += static_cast<char>(code);
            DPB += '\1';
            DPB += '\1';
            break;
        case 10:
            DPB += static_cast<char>(code);
            DPB += '\1';
            DPB += '\2';
            break;
        case 18: case 19: case 20: case 28: case 29: case 30: case 36: case 47: case 48: case 60:
            AppendStringItem(DPB, code, value, "DPB", name.c_str());
            break;
        case 63:
            // The dialect digit becomes its number: "3" gives the byte 3.
            if (value.empty()) RaiseClientError(cecSQLDialectInvalid);
            value[0] = static_cast<char>(value[0] - '0');
            AppendStringItem(DPB, code, value, "DPB", name.c_str());
            break;
        case 21: case 23: case 25: case 26:
            DPB += static_cast<char>(code);
            DPB += '\1';
            DPB += '\0';
            break;
        case 22:
            DPB += static_cast<char>(code);
            DPB += static_cast<char>(4);
            AppendInt32LE(DPB, StrToInt(value));
            break;
        case 50:
            if (value.empty()) {
                DPB += static_cast<char>(code);
                DPB += '\0';
            } else {
                // An unknown word makes the modes -1, which one byte cannot hold.
                const int32_t modes = ParseShutdownModes(value);
                CheckItemRange(modes, 0, 255, "DPB", name, value);
                DPB += static_cast<char>(code);
                DPB += '\1';
                DPB += static_cast<char>(modes);
            }
            break;
        case 51:
            DPB += static_cast<char>(code);
            DPB += '\0';
            break;
        case 68:
            if (IsFirebird) AppendStringItem(DPB, code, value, "DPB", name.c_str());
            break;
        case 72:
            if (IsFirebird) {
                DPB += static_cast<char>(code);
                DPB += '\1';
                DPB += '\1';
            }
            break;
        case 75:
            if (!IsFirebird) AppendStringItem(DPB, code, value, "DPB", name.c_str());
            break;
        case 77:
            if (IsFirebird) {
                DPB += static_cast<char>(code);
                DPB += '\0';
            }
            break;
        case 0:
            RaiseClientError(cecDPBUnknown, {name});
        default:
            RaiseClientError(cecDPBUnsupported, {DPBName(code)});
        }
        CheckBlockLength(DPB, DPBLimit, "DPB");
        DPBLength = static_cast<int16_t>(DPB.size());
    }
}

// The service parameter items: name without "isc_spb_", code, and kind (0: the item exists but
// cannot be given here).
namespace {
enum class TSPBKind : uint8_t { None, Text, Integer };
struct TSPBName {
    const char* Name;
    int Code;
    TSPBKind Kind;
};
constexpr TSPBName SPBNames[] = {
    {"user_name", 28, TSPBKind::Text},          {"sys_user_name", 19, TSPBKind::None},
    {"sys_user_name_enc", 31, TSPBKind::None},  {"password", 29, TSPBKind::Text},
    {"password_enc", 30, TSPBKind::None},       {"command_line", 105, TSPBKind::Text},
    {"db_name", 106, TSPBKind::None},           {"verbose", 107, TSPBKind::None},
    {"options", 108, TSPBKind::None},           {"connect_timeout", 57, TSPBKind::Integer},
    {"dummy_packet_interval", 58, TSPBKind::Integer}, {"sql_role_name", 60, TSPBKind::Text},
    {"instance_name", 75, TSPBKind::None},
};
} // namespace

void BuildSPB(TStringList& Params, std::string& SPB, int16_t& SPBLength) {
    SPB.assign({static_cast<char>(isc_spb_version), static_cast<char>(isc_spb_current_version)});
    for (int i = 0; i < Params.Count(); ++i) {
        std::string name, value;
        if (!SplitParamLine(Params, i, "isc_spb_", name, value)) continue;
        const TSPBName* item = nullptr;
        for (const TSPBName& n : SPBNames)
            if (name == n.Name) item = &n;
        if (!item) RaiseClientError(cecSPBConstantUnknown);
        switch (item->Kind) {
        case TSPBKind::Text: AppendStringItem(SPB, item->Code, value, "SPB", item->Name); break;
        case TSPBKind::Integer: {
            int32_t number = 0;
            if (!TryStrToInt(value, number)) throw EConvertError("'" + value + "' is not a valid integer value");
            SPB += static_cast<char>(item->Code);
            SPB += '\4';
            AppendInt32LE(SPB, number);
            break;
        }
        case TSPBKind::None: RaiseClientError(cecSPBConstantNotSupported);
        }
    }
    CheckBlockLength(SPB, DPBLimit, "SPB");
    SPBLength = static_cast<int16_t>(SPB.size());
}

void BuildTPB(TStringList& Params, std::string& TPB, int32_t& TPBLength, bool LockTimeoutForm) {
    TPB.clear();
    TPBLength = 0;
    if (Params.Count() == 0) return;
    TPB += static_cast<char>(isc_tpb_version3);
    TPBLength = 1;
    for (int i = 0; i < Params.Count(); ++i) {
        std::string name, value;
        if (!SplitParamLine(Params, i, "isc_tpb_", name, value)) continue;
        int code = TPBCode(name);
        switch (code) {
        case 1: case 2: case 3: case 4: case 5: case 6: case 7: case 8: case 9: case 14: case 15: case 17:
        case 18: case 20:
            TPB += static_cast<char>(code);
            break;
        case 10: case 11:
            AppendStringItem(TPB, code, value, "TPB", name.c_str());
            break;
        case 21:
            if (LockTimeoutForm) {
                // The item holds 16 bits: a number beyond them is refused, not wrapped (70000
                // would wait 4464 seconds). A value that is no number at all gives 10.
                int64_t timeout = 10;
                if (!TryStrToInt64(value, timeout)) timeout = IsDecimalText(value) ? INT64_MAX : 10;
                CheckItemRange(timeout, INT16_MIN, INT16_MAX, "TPB", name, value);
                TPB += static_cast<char>(code);
                TPB += '\2';
                TPB += static_cast<char>(timeout & 0xFF);
                TPB += static_cast<char>((timeout >> 8) & 0xFF);
            } else if (name == "lock_timeout") {
                // A server without the timeout form would read the bare code as no_savepoint.
                RaiseClientError(cecTPBUnsupported, {name});
            } else {
                TPB += static_cast<char>(code);
            }
            break;
        case 12: case 13: case 16: case 19:
            RaiseClientError(cecTPBUnsupported, {name});
        default:
            RaiseClientError(cecTPBUnknown, {name});
        }
        CheckBlockLength(TPB, TPBLimit, "TPB");
        TPBLength = static_cast<int32_t>(TPB.size());
    }
}

int32_t ParseShutdownMode(const std::string& Word) {
    std::string w = LowerAscii(Word);
    if (w == "cache") return 1;
    if (w == "attachment") return 2;
    if (w == "transaction") return 4;
    if (w == "force") return 8;
    if (w == "normal") return 16;
    if (w == "multi") return 32;
    if (w == "single") return 48;
    if (w == "full") return 64;
    if (w == "mode_mask") return 112;
    if (!w.empty() && w[0] >= '0' && w[0] <= '9') return StrToInt(w);
    return -1;
}

int32_t ParseShutdownModes(const std::string& Text) {
    int32_t result = 0;
    size_t start = 0;
    for (size_t i = 0; i <= Text.size(); ++i) {
        if (i == Text.size() || Text[i] == ',' || Text[i] == ';') {
            if (i > start) result |= ParseShutdownMode(Text.substr(start, i - start));
            start = i + 1;
        }
    }
    return result;
}

} // namespace qnl
