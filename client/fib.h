#pragma once
// The data-access layer's errors, its numbered client messages, the per-thread status vector,
// and the writers of the database and transaction parameter blocks.
#include "client/IB_Intf.h"
#include "platform/Component.h"
#include "platform/Exceptions.h"
#include "platform/StringList.h"

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <variant>

namespace qnl {

// Parts of a composed error message (bit values of ErrorMessageFlags; 1 is unused).
inline constexpr uint8_t emfIBMessage = 2;
inline constexpr uint8_t emfSQLMessage = 4;
inline constexpr uint8_t emfRaiserName = 8;

// The current ErrorMessageFlags (14: all three parts), read under the unit's lock.
uint8_t GetErrorMessageFlags();

class EFIBError : public EDatabaseError {
public:
    // RaiserName is the dotted path of Raiser when it is a component; IBErrorCode is entry 1 of
    // the calling thread's status vector now.
    EFIBError(int SQLCode, const std::string& Message, TObject* Raiser);

    int SQLCode() const { return FSQLCode; }
    int IBErrorCode() const { return FIBErrorCode; }
    const std::string& RaiserName() const { return FRaiserName; }
    const std::string& SQLMessage() const { return FSQLMessage; }
    const std::string& IBMessage() const { return FIBMessage; }
    const std::string& CustomMessage() const { return FCustomMessage; }
    const std::string& BaseMessage() const { return FBaseMessage; }
    // Recomposes the message from the raiser's name, the SQL and server texts and this.
    void SetBaseMessage(const std::string& Value);
    TObject* Raiser() const { return FRaiser; }

protected:
    EFIBError(int SQLCode, const std::string& IBMessage, const std::string& SQLMessage,
              const std::string& CustomMessage, TObject* Raiser);

private:
    void Init(int SQLCode, const std::string& Message, TObject* Raiser);

    int FSQLCode = 0;
    int FIBErrorCode = 0;
    std::string FRaiserName;
    std::string FSQLMessage;
    std::string FIBMessage;
    std::string FCustomMessage;
    std::string FBaseMessage;
    TObject* FRaiser = nullptr;
};

// A failed client call, with the server's texts.
class EFIBInterBaseError : public EFIBError {
public:
    EFIBInterBaseError(int SQLCode, const std::string& IBMessage, const std::string& SQLMessage,
                       const std::string& CustomMessage, TObject* Raiser)
        : EFIBError(SQLCode, IBMessage, SQLMessage, CustomMessage, Raiser) {}
};

// A failure the layer found itself.
class EFIBClientError : public EFIBError {
public:
    using EFIBError::EFIBError;
};

// The client messages, indexed by client error code 0..84 (formats for the Format arguments).
inline constexpr int FIBClientErrorCount = 85;
const char* ClientErrorMessage(int Code);

// The client error numbers, each the index of its message.
enum TFIBClientErrorCode : int {
    cecUnknownError = 0,
    cecUnsupportedFeature = 1,
    cecNotPermitted = 2,
    cecFileAccessError = 3,
    cecConnectionTimeout = 4,
    cecCannotSetDatabase = 5,
    cecCannotSetTransaction = 6,
    cecCancelled = 7,
    cecDPBUnsupported = 8,
    cecDPBUnknown = 9,
    cecTPBUnsupported = 10,
    cecTPBUnknown = 11,
    cecDatabaseClosed = 12,
    cecDatabaseOpen = 13,
    cecDatabaseNameMissing = 14,
    cecNotInTransaction = 15,
    cecInTransaction = 16,
    cecTimeoutNegative = 17,
    cecNoDatabasesInTransaction = 18,
    cecUpdateWrongDatabase = 19,
    cecUpdateWrongTransaction = 20,
    cecDatabaseNotAssigned = 21,
    cecTransactionNotAssigned = 22,
    cecXSQLDAIndexOutOfRange = 23,
    cecXSQLDANameDoesNotExist = 24,
    cecEOF = 25,
    cecBOF = 26,
    cecInvalidStatementHandle = 27,
    cecDataSetOpen = 28,
    cecDataSetClosed = 29,
    cecUnknownSQLDataType = 30,
    cecInvalidColumnIndex = 31,
    cecInvalidParamColumnIndex = 32,
    cecInvalidDataConversion = 33,
    cecColumnIsNotNullable = 34,
    cecBlobCannotBeRead = 35,
    cecBlobCannotBeWritten = 36,
    cecEmptyQuery = 37,
    cecCannotOpenNonSQLSelect = 38,
    cecNoFieldAccess = 39,
    cecFieldReadOnly = 40,
    cecFieldNotFound = 41,
    cecNotEditing = 42,
    cecNotEditingStream = 43,
    cecCantInsert = 44,
    cecCantPost = 45,
    cecCantUpdate = 46,
    cecCantDelete = 47,
    cecCantRefresh = 48,
    cecBufferNotSet = 49,
    cecCircularReference = 50,
    cecSQLParseError = 51,
    cecUserAbort = 52,
    cecUniDirectional = 53,
    cecCannotCreateSharedResource = 54,
    cecWindowsAPIError = 55,
    cecColumnListsDontMatch = 56,
    cecColumnTypesDontMatch = 57,
    cecCantEndSharedTransaction = 58,
    cecNotArray = 59,
    cecDimensionMissing = 60,
    cecSQLDialectInvalid = 61,
    cecInterBaseMissing = 62,
    cecIB60Feature = 63,
    cecIBInstallMissing = 64,
    cecServiceActive = 65,
    cecServiceInactive = 66,
    cecServerNameMissing = 67,
    cecQueryParamsError = 68,
    cecStartParamsError = 69,
    cecOutputParsingError = 70,
    cecUseSpecificProcedures = 71,
    cecSPBConstantNotSupported = 72,
    cecSPBConstantUnknown = 73,
    cecFieldSizeTooSmall = 74,
    cecCantUseLimitedCache = 75,
    cecFieldListEmpty = 76,
    cecCantUseField = 77,
    cecFB2Feature = 78,
    cecMDTSocketNotFound = 79,
    cecMDTTransactionOpen = 80,
    cecMDTIncompatibleRecord = 81,
    cecMDTUnexpectedError = 82,
    cecMDTSavepointExists = 83,
    cecMDTSavepointNotFound = 84,
};

// The layer's other message texts.
inline constexpr const char* SFIBCantFindProcedure = "Can't find procedure %s in %s";
inline constexpr const char* SFIBUnknownClientLibrary = "Can't perform operation %s. Unknown client library";
inline constexpr const char* SFIBDifferentClientLibrary = "%s.\r\nTransaction can't work with different client library.";
inline constexpr const char* SFIBErrorBeforeDisconnect =
    "Error of %s.BeforeDisconnect. Probably you are trying to get access to destroyed components. %s";
inline constexpr const char* SFIBParameterNotExist = "Parameter \"%s\" does not exist in %s";
inline constexpr const char* SFIBParamsCountMismatch = "%s. Parameters count is not equel count of parameter values";
inline constexpr const char* SFIBEOFInComment = "EOF in comment detected";
inline constexpr const char* SFIBEOFInString = "EOF in string detected";
inline constexpr const char* SFIBParamNameExpected = "Parameter name expected";
inline constexpr const char* SFIBNotpFIBDataSet = "%s is not TpFIBDataSet";
inline constexpr const char* SFIBCircularLink = "Circular link is not allowed.";
inline constexpr const char* SFIBCantSortInvalidField = "Can't sort. Invalid parameter: Fields[";
inline constexpr const char* SFIBLoginDialogNotFound = "Unable to find Database login dialog. ";
inline constexpr const char* SFIBInstallPropertyEditors = "Please, install package with property editors.";
inline constexpr const char* SFIBAddLoginDialogUnit = "Please, add ZUZUVOrevaDuz into USES statement of your project.";
inline constexpr const char* SFIBLockEmptyUpdateQuery = "Unable to lock record. Update query is empty";
inline constexpr const char* SFIBErrorRecordUpdating = "Error of record updating:";
inline constexpr const char* SFIBDeadlockDetected = "Deadlock detected";
inline constexpr const char* SFIBRecordNotExist = "Record does not exist";
inline constexpr const char* SFIBMultipleRecords = "Attempt to edit multiple records";
inline constexpr const char* SFIBCantGenerateSQL =
    "%s: unable to generate %s because fields for \"%s\" do not exist in dataset.";
inline constexpr const char* SFIBCantGetRecordCount = "%s unable to get number of records";
inline constexpr const char* SFIBCantGetInfo = "Can't get info for ";
inline constexpr const char* SFIBDatabaseNotAssigned = "Database is not assigned";
inline constexpr const char* SFIBDataSetIDPositive = ".DataSet_ID should be greater than 0";
inline constexpr const char* SFIBNoDataSetsInfoTable = "Table FIB$DATASETS_INFO does not exist.";
inline constexpr const char* SFIBDataSetsInfoNotUsed =
    "Can't use FIB$DATASETS_INFO.\r\nurDataSetInfo not included into Database.UseRepositories.";
inline constexpr const char* SFIBErrorInsertingInfo = "Error of inserting new information record";
inline constexpr const char* SFIBTrue = "True";
inline constexpr const char* SFIBFalse = "False";

// One argument of a message format: an integer or a text.
class TFormatArg {
public:
    TFormatArg(const char* V) : FValue(std::string(V ? V : "")) {}
    TFormatArg(std::string V) : FValue(std::move(V)) {}
    template <class T>
        requires std::is_integral_v<T>
    TFormatArg(T V) : FValue(static_cast<int64_t>(V)) {}
    const std::variant<int64_t, std::string>& Value() const { return FValue; }

private:
    std::variant<int64_t, std::string> FValue;
};

// The framework's Format for the directives the messages use: %s, %d, %u, %x with optional
// "-", width and ".precision", and %%.
std::string FormatMessage(const std::string& Format, std::initializer_list<TFormatArg> Args);

// Raises EFIBClientError with the client message (Code and 127) formatted with Args.
[[noreturn]] void RaiseClientError(int Code, std::initializer_list<TFormatArg> Args = {});
// Raises EFIBClientError with SQLCode -1 and the given format.
[[noreturn]] void RaiseClientErrorMsg(const std::string& Format, std::initializer_list<TFormatArg> Args = {});
// Raises EFIBInterBaseError from the calling thread's status vector, with the SQL code, the SQL
// message and every server message the library can interpret.
[[noreturn]] void RaiseStatusVectorError(IIBClientLibrary& ClientLibrary, TObject* Raiser);

// The calling thread's status vector; every client call of the layer passes it.
ISC_STATUS* ThreadStatusVector();
// True when the calling thread's status vector holds one of the given error codes.
bool StatusVectorHasCode(std::initializer_list<ISC_STATUS> Codes);

// Grows or shrinks a malloc'ed buffer; new bytes are zero; a size of 0 frees it and leaves null.
void ReallocZeroed(void*& Buffer, size_t OldSize, size_t NewSize);

// The name of a database parameter item by its code 1..83 ("user_name" for 28), without the
// "isc_dpb_" prefix; empty for any other code.
std::string DPBItemName(int Code);

// The database parameter block of name=value lines (each line is trimmed in place). A value
// that its item's bytes cannot hold, or a block longer than the 32767 bytes the client library
// takes, raises a client error.
void BuildDPB(TStringList& Params, std::string& DPB, int16_t& DPBLength, bool IsFirebird);
// The transaction parameter block; empty (length 0) for no lines. Values are checked as in
// BuildDPB (a lock timeout holds 16 bits).
void BuildTPB(TStringList& Params, std::string& TPB, int32_t& TPBLength, bool LockTimeoutForm);

// The service parameter buffer of name=value lines (each line trimmed in place; names with or
// without "isc_spb_"): text items (a value over 255 bytes is refused) and 32-bit integer items.
// A name the services manager knows but that cannot be given here is client error 72, any other
// unknown name client error 73; a block over 32767 bytes is refused.
void BuildSPB(TStringList& Params, std::string& SPB, int16_t& SPBLength);

// The length to hand the client library for a text whose length it takes in 16 bits (Limit
// 32767 for a short, 65535 for an unsigned short): the length itself when it fits, else 0, with
// which the library reads up to the terminating zero. A text that holds a zero character would
// be cut there whatever length it is given: a client error names What.
unsigned ClientTextLength(std::string_view Text, size_t Limit, const char* What);

// The OR of the shutdown-mode words of Text, split at "," and ";" (-1 when one is unknown).
int32_t ParseShutdownModes(const std::string& Text);
int32_t ParseShutdownMode(const std::string& Word);

} // namespace qnl
