#include "core/qnlIBKeywords.h"

#include "platform/StringList.h"

#include <algorithm>
#include <array>
#include <unordered_map>

namespace qnl {

namespace {

constexpr TIBKeyword Keywords[] = {
    {"ACTION", kwACTION}, {"ACTIVE", kwACTIVE}, {"ADD", kwADD}, {"ADMIN", kwADMIN}, {"AFTER", kwAFTER},
    {"ALL", kwALL}, {"ALTER", kwALTER}, {"AND", kwAND}, {"ANY", kwANY}, {"AS", kwAS}, {"ASC", kwASC},
    {"ASCENDING", kwASCENDING}, {"AT", kwAT}, {"AUTO", kwAUTO}, {"AVG", kwAVG}, {"BEFORE", kwBEFORE},
    {"BEGIN", kwBEGIN}, {"BETWEEN", kwBETWEEN}, {"BIGINT", kwBIGINT}, {"BINARY", kwBINARY}, {"BLOB", kwBLOB},
    {"BOOLEAN", kwBOOLEAN}, {"BY", kwBY}, {"CACHE", kwCACHE}, {"CASCADE", kwCASCADE}, {"CASE", kwCASE},
    {"CAST", kwCAST}, {"CHAR", kwCHAR}, {"CHARACTER", kwCHARACTER}, {"CHECK", kwCHECK},
    {"CHECK_POINT_LENGTH", kwCHECK_POINT_LENGTH}, {"CLOSE", kwCLOSE}, {"COLLATE", kwCOLLATE},
    {"COLUMN", kwCOLUMN}, {"COMMIT", kwCOMMIT}, {"COMPUTED", kwCOMPUTED}, {"CONDITIONAL", kwCONDITIONAL},
    {"CONSTRAINT", kwCONSTRAINT}, {"CONTAINING", kwCONTAINING}, {"COUNT", kwCOUNT}, {"CREATE", kwCREATE},
    {"CROSS", kwCROSS}, {"CSTRING", kwCSTRING}, {"CURRENT", kwCURRENT}, {"CURRENT_DATE", kwCURRENT_DATE},
    {"CURRENT_TIME", kwCURRENT_TIME}, {"CURRENT_TIMESTAMP", kwCURRENT_TIMESTAMP}, {"CURSOR", kwCURSOR},
    {"DATABASE", kwDATABASE}, {"DATE", kwDATE}, {"DEC", kwDEC}, {"DECIMAL", kwDECIMAL},
    {"DECLARE", kwDECLARE}, {"DEFAULT", kwDEFAULT}, {"DELETE", kwDELETE}, {"DESC", kwDESC},
    {"DESCENDING", kwDESCENDING}, {"DESCRIBE", kwDESCRIBE}, {"DESCRIPTOR", kwDESCRIPTOR},
    {"DISTINCT", kwDISTINCT}, {"DO", kwDO}, {"DOMAIN", kwDOMAIN}, {"DOUBLE", kwDOUBLE}, {"DROP", kwDROP},
    {"ELSE", kwELSE}, {"END", kwEND}, {"ENTRY_POINT", kwENTRY_POINT}, {"ESCAPE", kwESCAPE},
    {"EXCEPTION", kwEXCEPTION}, {"EXECUTE", kwEXECUTE}, {"EXISTS", kwEXISTS}, {"EXIT", kwEXIT},
    {"EXTERNAL", kwEXTERNAL}, {"EXTRACT", kwEXTRACT}, {"FETCH", kwFETCH}, {"FILE", kwFILE},
    {"FILTER", kwFILTER}, {"FLOAT", kwFLOAT}, {"FOR", kwFOR}, {"FOREIGN", kwFOREIGN}, {"FREE_IT", kwFREE_IT},
    {"FROM", kwFROM}, {"FULL", kwFULL}, {"FUNCTION", kwFUNCTION}, {"GDSCODE", kwGDSCODE},
    {"GENERATOR", kwGENERATOR}, {"GEN_ID", kwGEN_ID}, {"GLOBAL", kwGLOBAL}, {"GRANT", kwGRANT},
    {"GROUP", kwGROUP}, {"HAVING", kwHAVING}, {"IF", kwIF}, {"IN", kwIN}, {"INACTIVE", kwINACTIVE},
    {"INDEX", kwINDEX}, {"INNER", kwINNER}, {"INSERT", kwINSERT}, {"INT", kwINT}, {"INTEGER", kwINTEGER},
    {"INTO", kwINTO}, {"IS", kwIS}, {"JOIN", kwJOIN}, {"KEY", kwKEY}, {"LEFT", kwLEFT}, {"LIKE", kwLIKE},
    {"MAX", kwMAX}, {"MERGE", kwMERGE}, {"MIN", kwMIN}, {"MODULE_NAME", kwMODULE_NAME}, {"NAMES", kwNAMES},
    {"NATIONAL", kwNATIONAL}, {"NATURAL", kwNATURAL}, {"NCHAR", kwNCHAR}, {"NO", kwNO}, {"NOT", kwNOT},
    {"NULL", kwNULL}, {"NUMERIC", kwNUMERIC}, {"OF", kwOF}, {"ON", kwON}, {"OPEN", kwOPEN},
    {"OPTION", kwOPTION}, {"OR", kwOR}, {"ORDER", kwORDER}, {"OUTER", kwOUTER}, {"PAGE_SIZE", kwPAGE_SIZE},
    {"PARAMETER", kwPARAMETER}, {"PASSWORD", kwPASSWORD}, {"PERCENT", kwPERCENT}, {"PLAN", kwPLAN},
    {"POSITION", kwPOSITION}, {"POST_EVENT", kwPOST_EVENT}, {"PRECISION", kwPRECISION},
    {"PRESERVE", kwPRESERVE}, {"PRIMARY", kwPRIMARY}, {"PRIVILEGES", kwPRIVILEGES},
    {"PROCEDURE", kwPROCEDURE}, {"RDB$DB_KEY", kwRDB_DB_KEY}, {"REAL", kwREAL}, {"RECREATE", kwRECREATE},
    {"REFERENCES", kwREFERENCES}, {"RELEASE", kwRELEASE}, {"RETURNING_VALUES", kwRETURNING_VALUES},
    {"RETURNS", kwRETURNS}, {"REVOKE", kwREVOKE}, {"RIGHT", kwRIGHT}, {"ROLE", kwROLE}, {"ROWS", kwROWS},
    {"SAVEPOINT", kwSAVEPOINT}, {"SEGMENT", kwSEGMENT}, {"SELECT", kwSELECT}, {"SET", kwSET},
    {"SIMILAR", kwSIMILAR}, {"SINGULAR", kwSINGULAR}, {"SIZE", kwSIZE}, {"SMALLINT", kwSMALLINT},
    {"SOME", kwSOME}, {"SORT", kwSORT}, {"SQLCODE", kwSQLCODE}, {"STARTING", kwSTARTING},
    {"STARTS", kwSTARTS}, {"STATISTICS", kwSTATISTICS}, {"SUB_TYPE", kwSUB_TYPE}, {"SUM", kwSUM},
    {"SUSPEND", kwSUSPEND}, {"TABLE", kwTABLE}, {"TEMPORARY", kwTEMPORARY}, {"THEN", kwTHEN},
    {"TIES", kwTIES}, {"TIME", kwTIME}, {"TIMESTAMP", kwTIMESTAMP}, {"TO", kwTO}, {"TRIGGER", kwTRIGGER},
    {"TYPE", kwTYPE}, {"UNION", kwUNION}, {"UNIQUE", kwUNIQUE}, {"UPDATE", kwUPDATE}, {"UPPER", kwUPPER},
    {"USER", kwUSER}, {"USING", kwUSING}, {"VALUE", kwVALUE}, {"VALUES", kwVALUES},
    {"VARBINARY", kwVARBINARY}, {"VARCHAR", kwVARCHAR}, {"VARIABLE", kwVARIABLE}, {"VARYING", kwVARYING},
    {"VIEW", kwVIEW}, {"WHEN", kwWHEN}, {"WHERE", kwWHERE}, {"WHILE", kwWHILE}, {"WITH", kwWITH},
    {"WORK", kwWORK}, {"YEAR", kwYEAR}, {"YEARDAY", kwYEARDAY}, {"_<charset>", kwCharsetIntroducer},
};
static_assert(std::size(Keywords) == 194);

constexpr int VersionCount = st_InterBase_2020 + 1;

// Per version, the keywords the version does not reserve; every other keyword is reserved.
// DESCRIBE and DESCRIPTOR are in every list: the grammar reads them as names.
constexpr std::string_view NotReservedIB4x =
    "ACTION ADMIN BIGINT BINARY BOOLEAN CASCADE CASE CLOSE COLUMN CROSS CURRENT_DATE CURRENT_TIME "
    "CURRENT_TIMESTAMP DESCRIBE DESCRIPTOR EXTRACT FETCH FREE_IT GLOBAL OPEN PERCENT PRESERVE RECREATE "
    "RELEASE ROLE ROWS SAVEPOINT TEMPORARY TIES TIME TIMESTAMP TYPE USING VARBINARY YEAR YEARDAY";
constexpr std::string_view NotReservedIB5x =
    "BIGINT BINARY BOOLEAN CASE CLOSE COLUMN CROSS CURRENT_DATE CURRENT_TIME CURRENT_TIMESTAMP DESCRIBE "
    "DESCRIPTOR EXTRACT FETCH GLOBAL OPEN PERCENT PRESERVE RECREATE RELEASE ROWS SAVEPOINT TEMPORARY TIES "
    "TIME TIMESTAMP TYPE USING VARBINARY YEAR YEARDAY";
constexpr std::string_view NotReservedIB6x =
    "BIGINT BINARY BOOLEAN CASE CLOSE CROSS DESCRIBE DESCRIPTOR FETCH GLOBAL OPEN PERCENT PRESERVE "
    "RECREATE RELEASE SAVEPOINT TEMPORARY TIES USING VARBINARY";
constexpr std::string_view NotReservedFB1x =
    "BIGINT BINARY BOOLEAN CASE CLOSE CROSS DESCRIBE DESCRIPTOR FETCH GLOBAL OPEN PERCENT PRESERVE "
    "RELEASE ROWS SAVEPOINT TEMPORARY TIES USING VARBINARY";
constexpr std::string_view NotReservedYaffil =
    "BIGINT BOOLEAN CLOSE COLUMN CROSS CURRENT_DATE CURRENT_TIME CURRENT_TIMESTAMP DESCRIBE DESCRIPTOR "
    "EXTRACT FETCH GLOBAL OPEN PERCENT PRESERVE RECREATE RELEASE ROWS SAVEPOINT TEMPORARY TIES TYPE USING";
constexpr std::string_view NotReservedFB15 =
    "BINARY BOOLEAN CLOSE CROSS DESCRIBE DESCRIPTOR FETCH GLOBAL OPEN PERCENT PRESERVE ROWS TEMPORARY "
    "TIES USING VARBINARY";
constexpr std::string_view NotReservedIB7x =
    "BIGINT BINARY CLOSE CROSS DESCRIBE DESCRIPTOR FETCH OPEN RECREATE USING VARBINARY";
constexpr std::string_view NotReservedFB2x =
    "ACTION BINARY BOOLEAN CACHE CASCADE CHECK_POINT_LENGTH DESCRIBE DESCRIPTOR FREE_IT GLOBAL PERCENT "
    "ROLE TEMPORARY TIES VARBINARY";
constexpr std::string_view NotReservedFB30 =
    "ACTION ACTIVE AFTER ASC ASCENDING AUTO BEFORE BINARY BOOLEAN CASCADE COMPUTED CONDITIONAL CONTAINING "
    "CSTRING DATABASE DESC DESCENDING DESCRIBE DESCRIPTOR DO DOMAIN ENTRY_POINT EXCEPTION EXIT FILE "
    "FREE_IT GENERATOR GEN_ID IF INACTIVE KEY MODULE_NAME NAMES OPTION PAGE_SIZE PASSWORD PERCENT "
    "PRESERVE PRIVILEGES RELEASE ROLE SEGMENT SINGULAR SIZE SORT STARTING STARTS STATISTICS SUB_TYPE "
    "SUSPEND TEMPORARY TIES TYPE USING VARBINARY WORK YEARDAY";
constexpr std::array<std::string_view, VersionCount> NotReserved = {
    NotReservedIB4x,   // st_InterBase_4x
    NotReservedIB5x,   // st_InterBase_5x
    NotReservedIB6x,   // st_InterBase_6x
    NotReservedFB1x,   // st_FireBird_1x
    NotReservedYaffil, // st_Yaffil_1x
    NotReservedFB15,   // st_FireBird_15
    NotReservedIB7x,   // st_InterBase_7x
    NotReservedIB7x,   // st_InterBase_75
    NotReservedFB2x,   // st_Firebird_20
    NotReservedFB2x,   // st_Firebird_21
    NotReservedFB2x,   // st_Firebird_25
    NotReservedFB30,   // st_Firebird_30
    NotReservedFB30,   // st_Firebird_40: and see BuildReservedSets
    NotReservedIB7x,   // st_InterBase_2020
};

// The words each version reserves beyond the keyword table, as additions to an earlier list.
constexpr std::string_view ExtraIB4x =
    "BASE_NAME DEBUG INPUT_TYPE ISOLATION LENGTH LEVEL LOG_BUFFER_SIZE LOGFILE LONG MANUAL MAXIMUM_SEGMENT "
    "MESSAGE NUM_LOG_BUFFERS ONLY OUTPUT_TYPE OVERFLOW PAGE PAGES PROTECTED RAW_PARTITIONS READ "
    "RECORD_VERSION RESERV RESERVING RETAIN ROLLBACK SCHEMA SHADOW SHARED SNAPSHOT STABILITY STARTS "
    "TRANSACTION WAIT WRITE";
constexpr std::string_view ExtraIB5x = "RESTRICT";
constexpr std::string_view ExtraIB6x = "DAY HOUR MINUTE MONTH SECOND WEEKDAY YEAR YEARDAY";
constexpr std::string_view ExtraFB1x = "BREAK CURRENT_ROLE CURRENT_USER DESCRIPTOR FIRST RECREATE SKIP SUBSTRING";
constexpr std::string_view ExtraFB15 =
    "BIGINT CASE CURRENT_CONNECTION CURRENT_ROLE CURRENT_TRANSACTION CURRENT_USER RECREATE RELEASE "
    "ROW_COUNT SAVEPOINT";
constexpr std::string_view ExtraIB7x = "COALESCE FALSE NULLIF TRUE UNKNOWN";
constexpr std::string_view ExtraIB2020 = "NAME SUBSCRIBE DESCRIPTION SYSTEM";
constexpr std::string_view ExtraFB20 =
    "BIGINT BIT_LENGTH BOTH CASE CHAR_LENGTH CHARACTER_LENGTH CLOSE CROSS CURRENT_CONNECTION CURRENT_ROLE "
    "CURRENT_TRANSACTION CURRENT_USER DAY DEBUG FETCH HOUR INPUT_TYPE ISOLATION LEADING LENGTH LEVEL LONG "
    "LOWER MANUAL MESSAGE MINUTE MONTH OCTET_LENGTH ONLY OPEN OUTPUT_TYPE OVERFLOW PAGE PAGES PROTECTED "
    "READ RECORD_VERSION RECREATE RELEASE RESERV RESERVING RETAIN ROLLBACK SCHEMA SECOND SHADOW SHARED "
    "SNAPSHOT STABILITY STARTS TRANSACTION WAIT WRITE YEAR ROW_COUNT ROWS SAVEPOINT TRAILING TRIM USING";
constexpr std::string_view ExtraFB25 = "OVER";
// The last six are reserved by Firebird 3 as well: without them a column named START would be
// written bare and the script would fail there.
constexpr std::string_view ExtraFB30 =
    "BOOLEAN REGR_AVGX SCROLL CORR REGR_AVGY SQLSTATE COVAR_POP REGR_COUNT STDDEV_POP COVAR_SAMP "
    "REGR_INTERCEPT STDDEV_SAMP DELETING REGR_R2 TRUE DETERMINISTIC REGR_SLOPE UNKNOWN FALSE REGR_SXX "
    "UPDATING INSERTING REGR_SXY VAR_POP OFFSET REGR_SYY VAR_SAMP OVER RETURN RDB$RECORD_VERSION ROW "
    "CONNECT DISCONNECT INSENSITIVE RECURSIVE SENSITIVE START";
constexpr std::string_view ExtraFB40 = "BINARY VARBINARY TIMEZONE_HOUR TIMEZONE_MINUTE WITHOUT";

void AddWords(std::vector<std::string_view>& List, std::string_view Words) {
    size_t i = 0;
    while (i < Words.size()) {
        size_t j = Words.find(' ', i);
        if (j == std::string_view::npos) j = Words.size();
        if (j > i) List.push_back(Words.substr(i, j - i));
        i = j + 1;
    }
}

std::vector<std::string_view> Words(std::initializer_list<std::string_view> Parts) {
    std::vector<std::string_view> list;
    for (std::string_view p : Parts) AddWords(list, p);
    return list;
}

size_t VersionIndex(TIBSQLServerVersionType Version) {
    return std::min<size_t>(static_cast<size_t>(Version), VersionCount - 1);
}

// The longest keyword: a longer word is an identifier without a look-up.
constexpr size_t LongestKeyword = std::ranges::max(Keywords, {}, [](const TIBKeyword& K) { return K.Word.size(); }).Word.size();

TIBToken FindKeyword(std::string_view UpperWord) {
    // Quoting asks for every name written, so the table is hashed once.
    static const std::unordered_map<std::string_view, TIBToken> index = [] {
        std::unordered_map<std::string_view, TIBToken> m;
        for (const TIBKeyword& k : Keywords) m.emplace(k.Word, k.Token);
        return m;
    }();
    const auto it = index.find(UpperWord);
    return it == index.end() ? IBIdentToken : it->second;
}

std::array<TIBTokenSet, VersionCount> BuildReservedSets() {
    std::array<TIBTokenSet, VersionCount> sets;
    for (size_t v = 0; v < sets.size(); ++v) {
        TIBTokenSet& set = sets[v];
        for (const TIBKeyword& k : Keywords) set.set(k.Token);
        set.set(kwAssign);
        set.set(kwDECFLOAT);
        for (std::string_view w : Words({NotReserved[v]})) set.reset(FindKeyword(w));
    }
    // Firebird 4 reserves again four words that Firebird 3 left free.
    for (TIBToken t : {kwBINARY, kwKEY, kwPRIVILEGES, kwVARBINARY}) sets[st_Firebird_40].set(t);
    return sets;
}

std::array<std::vector<std::string_view>, VersionCount> BuildExtraLists() {
    std::array<std::vector<std::string_view>, VersionCount> l;
    l[st_InterBase_4x] = Words({ExtraIB4x});
    l[st_InterBase_5x] = Words({ExtraIB4x, ExtraIB5x});
    l[st_InterBase_6x] = Words({ExtraIB4x, ExtraIB5x, ExtraIB6x});
    l[st_FireBird_1x] = Words({ExtraIB4x, ExtraIB5x, ExtraIB6x, ExtraFB1x});
    l[st_Yaffil_1x] = {};
    l[st_FireBird_15] = Words({ExtraIB4x, ExtraIB5x, ExtraIB6x, ExtraFB15});
    l[st_InterBase_7x] = Words({ExtraIB4x, ExtraIB5x, ExtraIB6x, ExtraIB7x});
    l[st_InterBase_75] = l[st_InterBase_7x];
    l[st_Firebird_20] = Words({ExtraFB20});
    l[st_Firebird_21] = l[st_Firebird_20];
    l[st_Firebird_25] = Words({ExtraFB20, ExtraFB25});
    l[st_Firebird_30] = Words({ExtraFB20, ExtraFB30});
    l[st_Firebird_40] = Words({ExtraFB20, ExtraFB30, ExtraFB40});
    l[st_InterBase_2020] = Words({ExtraIB4x, ExtraIB5x, ExtraIB6x, ExtraIB7x, ExtraIB2020});
    return l;
}

bool IsUpper(char C) { return C >= 'A' && C <= 'Z'; }
bool IsDigit(char C) { return C >= '0' && C <= '9'; }

} // namespace

std::span<const TIBKeyword> IBKeywords() { return Keywords; }

const TIBTokenSet& IBReservedTokens(TIBSQLServerVersionType Version) {
    static const std::array<TIBTokenSet, VersionCount> sets = BuildReservedSets();
    return sets[VersionIndex(Version)];
}

bool IBIsReserved(TIBToken Token, TIBSQLServerVersionType Version) { return IBReservedTokens(Version).test(Token); }

const std::vector<std::string_view>& IBExtraReservedWords(TIBSQLServerVersionType Version) {
    static const std::array<std::vector<std::string_view>, VersionCount> lists = BuildExtraLists();
    return lists[VersionIndex(Version)];
}

TIBToken GetIBKeywordToken(std::string_view Word, TIBSQLServerVersionType Version) {
    if (Word.size() > LongestKeyword) return IBIdentToken;
    std::array<char, LongestKeyword> upper{};
    std::ranges::transform(Word, upper.begin(), [](char C) { return C >= 'a' && C <= 'z' ? static_cast<char>(C - 32) : C; });
    TIBToken t = FindKeyword(std::string_view(upper.data(), Word.size()));
    if (t == IBIdentToken || !IBIsReserved(t, Version)) return IBIdentToken;
    return t;
}

bool IBNeedQuote(std::string_view Name, TIBSQLServerVersionType Version) {
    if (Name.empty()) return false;
    if (!IsUpper(Name[0])) return true;
    for (size_t i = 1; i < Name.size(); ++i) {
        char c = Name[i];
        if (!IsUpper(c) && !IsDigit(c) && c != '_' && c != '$') return true;
    }
    if (GetIBKeywordToken(Name, Version) != IBIdentToken) return true;
    const auto& extra = IBExtraReservedWords(Version);
    return std::find(extra.begin(), extra.end(), Name) != extra.end();
}

} // namespace qnl
