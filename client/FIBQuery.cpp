// Implements TFIBQuery's life cycle: creation, prepare, execution by statement type, fetch,
// close and the release of the server statement; see FIBQuery.h. The parameter analysis, log
// and statistics are in FIBQueryText.cpp, the column information in FIBQueryInfo.cpp.
#include "client/FIBQuery.h"

#include "client/FIBSQLMonitor.h"
#include "client/fib.h"

#include <chrono>
#include <exception>
#include <random>

namespace qnl {

namespace {

// The server codes a close, a drop and a fetch put up with.
constexpr ISC_STATUS BadStatementHandle = 335544485;   // isc_bad_stm_handle
constexpr ISC_STATUS CursorCloseError = 335544577;     // isc_dsql_cursor_close_err
constexpr ISC_STATUS CursorError = 335544572;          // isc_dsql_cursor_err

// Ten random decimal digits.
std::string RandomCursorName() {
    static thread_local std::mt19937 generator{std::random_device{}()};
    std::uniform_int_distribution<int> digit(0, 9);
    std::string name(10, '0');
    for (char& c : name) c = static_cast<char>('0' + digit(generator));
    return name;
}

// Sets a state bit for the life of the scope.
class TStateBit {
public:
    TStateBit(uint8_t& State, uint8_t Bit) : FState(State), FBit(Bit), FWasSet((State & Bit) != 0) { FState |= Bit; }
    ~TStateBit() {
        if (!FWasSet) FState &= static_cast<uint8_t>(~FBit);
    }
    TStateBit(const TStateBit&) = delete;
    TStateBit& operator=(const TStateBit&) = delete;

private:
    uint8_t& FState;
    uint8_t FBit;
    bool FWasSet;
};

} // namespace

// --- Life ---------------------------------------------------------------------------------------

TFIBQuery::TFIBQuery(TComponent* AOwner)
    : TComponent(AOwner),
      FBase(this),
      FBindArea(std::make_unique<TFIBXSQLDA>(true)),
      FFieldsArea(std::make_unique<TFIBXSQLDA>(false)),
      FParamsArea(std::make_unique<TFIBXSQLDA>(true)),
      FConditions(this) {
    FBindArea->SetQuery(this);
    FFieldsArea->SetQuery(this);
    FParamsArea->SetQuery(this);
    FPendingConversions.SetSorted(true);
    FPendingConversions.SetDuplicates(TDuplicates::dupIgnore);
    FSQL.OnChanging = [this] { SQLChanging(); };
    FSQL.OnChange = [this] { SQLChanged(); };
    FBase.OnDatabaseDisconnecting = [this](TObject*) { HandleDatabaseDisconnecting(); };
    FBase.OnTransactionEnding = [this](TObject*) { HandleTransactionEnding(); };
    if (auto* db = dynamic_cast<TFIBDatabase*>(AOwner)) SetDatabase(db);
    if (auto* tr = dynamic_cast<TFIBTransaction*>(AOwner)) SetTransaction(tr);
}

TFIBQuery::~TFIBQuery() {
    try {
        if (FOpen) Close();
    } catch (...) {
        // The cursor goes with the statement below.
    }
    DoFreeHandle();
    FSQL.OnChanging = nullptr;
    FSQL.OnChange = nullptr;
}

void TFIBQuery::SetDatabase(TFIBDatabase* Value) {
    if (Value != Database() && FPrepared) FreeHandle();
    FBase.SetDatabase(Value);
}

void TFIBQuery::SetMDTSQLExecutor(TMDTSQLExecutor Value) {
    CheckClosed("change MDT sql executor");
    if (FHandle) FreeHandle();
    FMDTSQLExecutor = Value;
}

void TFIBQuery::HandleDatabaseDisconnecting() {
    if (!FHandle) return;
    Close();
    FreeHandle();
}

void TFIBQuery::HandleTransactionEnding() {
    TFIBTransaction* tr = Transaction();
    // Run states 2 and 4: a hard rollback or commit, which ends the server's cursors.
    const bool hardEnd = tr && (tr->State() == 2 || tr->State() == 4);
    if (hardEnd && FCloseOnTransactionEnd && FOpen) Close();
}

// --- Small services -------------------------------------------------------------------------

IIBClientLibrary& TFIBQuery::Library() const {
    TFIBDatabase* db = Database();
    if (!db || !db->ClientLibrary()) RaiseClientError(cecDatabaseNotAssigned, {ComponentFullName(this)});
    return *db->ClientLibrary();
}

unsigned short TFIBQuery::Dialect() const { return static_cast<unsigned short>(Database()->SQLDialect()); }

ISC_STATUS TFIBQuery::CheckStatus(ISC_STATUS Status, bool RaiseOnError) {
    TFIBTransaction* tr = Transaction();
    const ISC_STATUS result = tr ? tr->CheckStatus(Status, false) : Status;
    if (RaiseOnError && Status > 0) RaiseStatusVectorError(Library(), this);
    return result;
}

void TFIBQuery::CheckOpen(const std::string& Operation) {
    if (!FOpen) RaiseClientError(cecDataSetClosed, {Operation, ComponentFullName(this)});
}

void TFIBQuery::CheckClosed(const std::string& Operation) {
    if (FOpen) RaiseClientError(cecDataSetOpen, {Operation, ComponentFullName(this)});
}

bool TFIBQuery::GetEof() {
    if (FEOF && FOpen && InSet(FOptions, qoFreeHandleAfterExecute)) FreeHandle();
    return FEOF || !FOpen;
}

// --- Prepare --------------------------------------------------------------------------------

void TFIBQuery::Prepare() {
    TStateBit preparing(FState, StatePreparing);
    if (FOpen) Close();
    FBase.CheckDatabase();
    TFIBTransaction* tr = Transaction();
    if (InSet(FOptions, qoStartTransaction) && tr && !tr->Active()) tr->StartTransaction();
    FBase.CheckTransaction();
    if (FParamCheckInForce && Params().Count() > 0 && ExpansionNeeded()) {
        RebuildProcessedText();
        MakeServerText();
        FNeedsReExpansion = false;
        FreeHandle();
    } else if (!FServerTextReady) {
        MakeServerText();
    }
    if (FPrepared) return;
    if (IsBlankStr(FProcessedSQL)) RaiseClientError(cecEmptyQuery, {"Prepare"});
    try {
        PrepareOnServer();
    } catch (...) {
        TraceError(tcPrepare);
        LogPrepare(true);
        DoFreeHandle();
        throw;
    }
}

void TFIBQuery::TraceError(uint8_t Category) noexcept {
    MonitorTrace([this, Category](TFIBSQLMonitorHook& Hook) {
        std::string message;
        try {
            throw;
        } catch (const std::exception& e) {
            message = e.what();
        }
        std::string name;
        if (Category == tcPrepare)
            name = Owner() ? Owner()->Name() + "." + Name() : Name();
        else
            name = ComponentFullName(this);
        Hook.WriteSQLData(name + (Category == tcPrepare ? ": [Prepare] " : ": [Execute] ") + message, Category);
    });
}

void TFIBQuery::PrepareOnServer() {
    IIBClientLibrary& lib = Library();
    TFIBDatabase* db = Database();
    TFIBTransaction* tr = Transaction();
    if (!tr->Active() && tr == db->GetInternalTransaction()) tr->StartTransaction();
    CheckStatus(lib.isc_dsql_alloc_statement2(ThreadStatusVector(), db->HandleAddress(), &FHandle), true);
    FFieldsArea->SetCount(1);
    // The text goes with its length, so that a zero character in it never ends it early; one
    // of 64 KB and more goes up to its terminating zero (and may hold none).
    const auto length = static_cast<unsigned short>(ClientTextLength(FServerSQL, UINT16_MAX, "Statement"));
    CheckStatus(lib.isc_dsql_prepare(ThreadStatusVector(), tr->HandleAddress(), &FHandle, length, FServerSQL.c_str(),
                                     Dialect(), FFieldsArea->AsXSQLDA()),
                true);
    ReadStatementType();
    if (FSQLType == SQLSelectForUpdate) {
        if (FCursorName.empty()) FCursorName = RandomCursorName();
        CheckStatus(lib.isc_dsql_set_cursor_name(ThreadStatusVector(), &FHandle, FCursorName.c_str(),
                                                 static_cast<unsigned short>(0)),
                    true);
    }
    switch (FSQLType) {
    case SQLSelect:
    case SQLInsert:
    case SQLUpdate:
    case SQLDelete:
    case SQLExecProcedure:
    case SQLSelectForUpdate:
        DescribeInput();
        DescribeOutput();
        AttachArrays(*FFieldsArea);
        AttachArrays(*FParamsArea);
        RecordPendingConversions();
        break;
    case SQLGetSegment:
    case SQLPutSegment:
    case SQLStartTransaction:
        FreeHandle();
        RaiseClientError(cecUnsupportedFeature);
    default:
        break;
    }
    FPrepared = true;
    FTableAliasesRead = false;
    MonitorTrace([this](TFIBSQLMonitorHook& Hook) { Hook.TracePrepare(*this); });
    PrepareStatistics();
    LogPrepare(false);
}

void TFIBQuery::ReadStatementType() {
    const std::string reply = SqlInfo(isc_info_sql_stmt_type, 8);
    if (reply[0] != isc_info_sql_stmt_type) RaiseClientError(cecUnknownError);
    IIBClientLibrary& lib = Library();
    const auto length = static_cast<short>(lib.isc_vax_integer(reply.data() + 1, static_cast<short>(2)));
    FSQLType = static_cast<TFIBSQLTypes>(lib.isc_vax_integer(reply.data() + 3, length));
}

void TFIBQuery::DescribeInput() {
    TFIBXSQLDA& inUse = FRewritten ? *FBindArea : *FParamsArea;
    if (inUse.Count() == 0 || FBindArea->Count() == 0) return;
    const bool keepBindValues = FRewritten && FHasMacroParams;
    if (keepBindValues) SaveBindValues();
    CheckStatus(Library().isc_dsql_describe_bind(ThreadStatusVector(), &FHandle, Dialect(), FBindArea->AsXSQLDA()),
                true);
    FBindArea->InitializeVars();
    // From here on the entries' setters see the described types.
    FPrepared = true;
    if (!FRewritten) {
        const int count = std::min(FParamsArea->Count(), FBindArea->Count());
        for (int i = 0; i < count; ++i) {
            TFIBXSQLVAR& param = FParamsArea->GetVar(i);
            TFIBXSQLVAR& described = FBindArea->GetVar(i);
            if (param.GetIsNull()) {
                param.TakeDescribedType(described);
            } else if (!param.IsBlobOrArray() && described.GetSQLType() == SQL_BLOB) {
                // A value set before the type was known goes as a blob of its text.
                param.SetAsString(param.GetAsString());
            } else if (param.GetSQLType() == SQL_BLOB && !param.BlobStream() && described.IsArray()) {
                // An id set before the type was known names an array here, not a blob.
                XSQLVAR& record = *param.GetXSQLVAR();
                record.sqltype = static_cast<ISC_SHORT>(SQL_ARRAY | (record.sqltype & 1));
            }
        }
    }
    if (keepBindValues) RestoreBindValues();
}

void TFIBQuery::DescribeOutput() {
    if (FSQLType != SQLSelect && FSQLType != SQLExecProcedure && FSQLType != SQLSelectForUpdate) {
        FFieldsArea->SetCount(0);
        return;
    }
    XSQLDA* da = FFieldsArea->AsXSQLDA();
    const int described = da->sqld;
    if (described == 0) {
        FFieldsArea->SetCount(0);
    } else if (da->sqln < described) {
        FFieldsArea->SetCount(described);
        CheckStatus(Library().isc_dsql_describe(ThreadStatusVector(), &FHandle, Dialect(), FFieldsArea->AsXSQLDA()),
                    true);
    }
    FFieldsArea->InitializeVars();
}

void TFIBQuery::AttachArrays(TFIBXSQLDA& Area) {
    TFIBDatabase* db = Database();
    int charBytes = 0;
    for (int i = 0; i < Area.Count(); ++i) {
        TFIBXSQLVAR& var = Area[i];
        // The areas keep their entries from one text to the next: a descriptor left from the
        // column an entry stood for before would read or write another column's bounds.
        var.SetArrayInfo(nullptr);
        if (!var.IsArray()) continue;
        // A parameter learns its column from the entry the server described for it.
        const TFIBXSQLVAR* origin = &var;
        if (&Area == FParamsArea.get())
            if (TFIBXSQLVAR* described = FBindArea->FindByName(var.Name())) origin = described;
        const XSQLVAR& record = *origin->GetXSQLVAR();
        const std::string relation(record.relname, static_cast<size_t>(std::max<ISC_SHORT>(record.relname_length, 0)));
        const std::string column(record.sqlname, static_cast<size_t>(std::max<ISC_SHORT>(record.sqlname_length, 0)));
        if (charBytes == 0) charBytes = db->BytesPerCharacter(static_cast<int>(db->GetAttachmentCharSetID()));
        var.SetArrayInfo(std::make_unique<TpFIBArray>(db->ClientLibraryPtr(), var.GetXSQLVAR(), db->HandleAddress(),
                                                      Transaction()->HandleAddress(), relation, column, charBytes));
    }
}

// --- Execute --------------------------------------------------------------------------------

void TFIBQuery::DoBeforeExecute() {
    if (BeforeExecute) BeforeExecute(this);
    TFIBTransaction* tr = Transaction();
    if (!tr) RaiseClientError(cecTransactionNotAssigned, {ComponentFullName(this)});
    FFieldsArea->ClearValues();
    if (InSet(FOptions, qoStartTransaction) && !tr->Active()) tr->StartTransaction();
    tr->NotifySQLExecute(this, 0);
}

void TFIBQuery::DoAfterExecute() {
    if (AfterExecute) AfterExecute(this);
    TFIBTransaction* tr = Transaction();
    tr->NotifySQLExecute(this, 1);
    FParamsArea->ResetModified();
    FNeedsReExpansion = false;
    FNullStateDiffers = false;
    DropBlobStreams();
    MonitorTrace([this](TFIBSQLMonitorHook& Hook) { Hook.TraceExecute(*this); });
    if (InSet(FOptions, qoAutoCommit)) {
        if (tr->TimeoutAction == TACommitRetaining)
            tr->CommitRetaining();
        else
            tr->Commit();
    }
}

void TFIBQuery::ExecQuery() {
    if (FParser.StatementKind() == sqkDDL) {
        ExecImmediate();
        return;
    }
    TStateBit executing(FState, StateExecuting);
    DoBeforeExecute();
    const int count = Params().Count();
    if ((FParamCheckInForce && count >= 1) || !FPrepared) Prepare();
    const auto started = std::chrono::steady_clock::now();
    auto elapsed = [started] {
        return static_cast<uint32_t>(
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started).count());
    };
    try {
        // Values set before the types were known are converted first: a text that becomes a
        // blob is written after that, so that the id it gets is the one sent.
        XSQLDA* input = InputXSQLDA();
        WritePendingBlobParams();
        ExecuteStatisticsStart();
        ExecuteOnServer(input);
        FExecutionTime = elapsed();
        if (FParamCheckInForce && count > 0 && FHasMacroParams) SaveParamValues();
        DoAfterExecute();
    } catch (const std::exception& e) {
        FExecutionTime = elapsed();
        MonitorTrace([this](TFIBSQLMonitorHook& Hook) { Hook.TraceExecute(*this); });
        TraceError(tcExecute);
        LogExecute(e.what(), true);
        if (!FOpen && InSet(FOptions, qoFreeHandleAfterExecute)) DoFreeHandle();
        throw;
    }
    if (!FOpen && InSet(FOptions, qoFreeHandleAfterExecute)) FreeHandle();
}

XSQLDA* TFIBQuery::InputXSQLDA() {
    if (FRewritten && FParamCheckInForce && FParamsArea->Count() >= 1) {
        FBindArea->AssignValues(*FParamsArea);
        return FBindArea->Count() > 0 ? FBindArea->AsXSQLDA() : nullptr;
    }
    if (FParamsArea->Count() == 0) return nullptr;
    if (FParamsArea->HasUntyped) FParamsArea->ConvertUntyped();
    return FParamsArea->AsXSQLDA();
}

void TFIBQuery::ExecuteOnServer(XSQLDA* Input) {
    IIBClientLibrary& lib = Library();
    TFIBTransaction* tr = Transaction();
    switch (FSQLType) {
    case SQLSelect:
    case SQLSelectForUpdate:
        if (FOpen) Close();
        CheckStatus(lib.isc_dsql_execute(ThreadStatusVector(), tr->HandleAddress(), &FHandle, Dialect(), Input), true);
        FOpen = true;
        FBOF = true;
        FEOF = false;
        FRecordCount = 0;
        FFieldsArea->ClearValues();
        ExecuteStatisticsEnd();
        LogExecute({}, false);
        if (GoToFirstRecordOnExecute) Next();
        break;
    case SQLExecProcedure: {
        XSQLDA* output = FFieldsArea->Count() > 0 ? FFieldsArea->AsXSQLDA() : nullptr;
        const ISC_STATUS status = CheckStatus(
            lib.isc_dsql_execute2(ThreadStatusVector(), tr->HandleAddress(), &FHandle, Dialect(), Input, output), false);
        ExecuteStatisticsEnd();
        LogExecute({}, false);
        if (status > 0) RaiseStatusVectorError(lib, this);
        FProcExecuted = true;
        break;
    }
    case SQLCommit:
        tr->Commit();
        ExecuteStatisticsEnd();
        break;
    case SQLRollback:
        tr->Rollback();
        ExecuteStatisticsEnd();
        break;
    default:
        CheckStatus(lib.isc_dsql_execute(ThreadStatusVector(), tr->HandleAddress(), &FHandle, Dialect(), Input), true);
        ExecuteStatisticsEnd();
        LogExecute({}, false);
        break;
    }
}

void TFIBQuery::ExecImmediate() {
    TStateBit executing(FState, StateExecuting);
    DoBeforeExecute();
    if (FProcessedSQL.empty() || FNeedsReExpansion) {
        RebuildProcessedText();
        MakeServerText();
    } else if (!FServerTextReady) {
        MakeServerText();
    }
    XSQLDA* input = InputXSQLDA();
    WritePendingBlobParams();
    FreeHandle();
    TFIBDatabase* db = Database();
    FBase.CheckDatabase();
    const auto length = static_cast<unsigned short>(ClientTextLength(FServerSQL, UINT16_MAX, "Statement"));
    CheckStatus(Library().isc_dsql_execute_immediate(ThreadStatusVector(), db->HandleAddress(),
                                                     Transaction()->HandleAddress(), length, FServerSQL.c_str(),
                                                     Dialect(), input),
                true);
    DoAfterExecute();
}

void TFIBQuery::ExecBatchImmediate(const std::vector<std::string>& Texts) {
    if (Texts.empty()) return;
    FBase.CheckDatabase();
    TFIBDatabase* db = Database();
    TFIBTransaction* tr = Transaction();
    if (!tr) RaiseClientError(cecTransactionNotAssigned, {ComponentFullName(this)});
    if (InSet(FOptions, qoStartTransaction) && !tr->Active()) tr->StartTransaction();
    FBase.CheckTransaction();
    IIBClientLibrary& lib = Library();
    if (!db->IsFirebird() && db->GetServerMajorVersion() >= 8) {
        // InterBase 2007 and later run the whole batch in one call.
        for (const std::string& text : Texts) ClientTextLength(text, UINT16_MAX, "Statement");
        std::vector<char*> texts;
        std::vector<std::string> buffers(Texts.begin(), Texts.end());
        for (std::string& text : buffers) texts.push_back(text.data());
        std::vector<unsigned long> rows(texts.size());
        CheckStatus(lib.isc_dsql_batch_execute_immed(ThreadStatusVector(), db->HandleAddress(), tr->HandleAddress(),
                                                     Dialect(), static_cast<unsigned long>(texts.size()), texts.data(),
                                                     rows.data()),
                    true);
        return;
    }
    // Other servers, Firebird among them, have no batch call: the texts run one by one.
    for (const std::string& text : Texts) {
        const auto length = static_cast<unsigned short>(ClientTextLength(text, UINT16_MAX, "Statement"));
        CheckStatus(lib.isc_dsql_execute_immediate(ThreadStatusVector(), db->HandleAddress(), tr->HandleAddress(),
                                                   length, text.c_str(), Dialect(), nullptr),
                    true);
    }
}

// --- Fetch, close, free ---------------------------------------------------------------------

TFIBXSQLDA* TFIBQuery::Next() {
    if (FEOF) return nullptr;
    CheckOpen("fetch next record");
    if (BeforeFetch) {
        bool stop = false;
        BeforeFetch(FRecordCount, stop);
        if (stop) return nullptr;
        // The hook may have closed the cursor.
        CheckOpen("fetch next record");
    }
    IIBClientLibrary& lib = Library();
    const ISC_STATUS status =
        CheckStatus(lib.isc_dsql_fetch(ThreadStatusVector(), &FHandle, Dialect(), FFieldsArea->AsXSQLDA()), false);
    if (status == 0) {
        ++FRecordCount;
        FBOF = false;
    } else if (status == 100) {
        FEOF = true;
    } else if (StatusVectorHasCode({CursorError})) {
        // The cursor went with a hard end of its transaction that this statement did not hear
        // of: taken as the end of the rows, and said so in the log.
        FEOF = true;
        if (TFIBDatabase* db = Database(); db && db->SQLLogger())
            db->SQLLogger()->WriteData(ComponentFullName(this), "Fetch:",
                                       "Cursor closed with its transaction: taken as end of file", lfQFetch);
    } else {
        std::exception_ptr error;
        try {
            RaiseStatusVectorError(lib, this);
        } catch (...) {
            error = std::current_exception();
        }
        try {
            Close();
        } catch (...) {
            // The fetch's own error is the one to report.
        }
        std::rethrow_exception(error);
    }
    MonitorTrace([this](TFIBSQLMonitorHook& Hook) { Hook.TraceFetch(*this); });
    LogFetch();
    return FEOF ? nullptr : FFieldsArea.get();
}

void TFIBQuery::Close() {
    {
        TStateBit closing(FState, StateClosing);
        struct TResetCursor {
            TFIBQuery& Q;
            ~TResetCursor() { Q.FBOF = Q.FEOF = Q.FOpen = Q.FProcExecuted = false; }
        } reset{*this};
        if (FHandle && FOpen && (FSQLType == SQLSelect || FSQLType == SQLSelectForUpdate)) {
            if (TFIBTransaction* tr = Transaction()) tr->NotifySQLExecute(this, 2);
            const ISC_STATUS status = CheckStatus(
                Library().isc_dsql_free_statement(ThreadStatusVector(), &FHandle, static_cast<unsigned short>(DSQL_close)),
                false);
            if (status > 0 && !StatusVectorHasCode({BadStatementHandle, CursorCloseError}))
                RaiseStatusVectorError(Library(), this);
        }
    }
    if (InSet(FOptions, qoFreeHandleAfterExecute)) FreeHandle();
}

void TFIBQuery::FreeHandle() {
    FFieldsArea->SetCount(0);
    FPrepared = false;
    FTableAliasesRead = false;
    if (!FHandle) return;
    isc_stmt_handle handle = FHandle;
    // The handle is gone whatever the server says: keeping it would try the drop again.
    FHandle = 0;
    FEOF = true;
    TFIBDatabase* db = Database();
    if (!db || !db->Connected() || !db->ClientLibrary()) return;
    const ISC_STATUS status = CheckStatus(
        db->ClientLibrary()->isc_dsql_free_statement(ThreadStatusVector(), &handle, static_cast<unsigned short>(DSQL_drop)),
        false);
    if (status > 0 && !StatusVectorHasCode({BadStatementHandle})) RaiseStatusVectorError(*db->ClientLibrary(), this);
}

void TFIBQuery::ForgetHandle() {
    FHandle = 0;
    Close();
    FreeHandle();
}

void TFIBQuery::DoFreeHandle() noexcept {
    try {
        FreeHandle();
    } catch (...) {
        // Only the server's statement could not be dropped; this side holds nothing of it.
    }
}

void TFIBQuery::CheckValidStatement() {
    TFIBDatabase* db = Database();
    TFIBTransaction* tr = Transaction();
    if (!db) RaiseClientError(cecDatabaseNotAssigned, {ComponentFullName(this)});
    if (!tr) RaiseClientError(cecTransactionNotAssigned, {ComponentFullName(this)});
    const bool connectedHere = !db->Connected();
    if (connectedHere) db->Open();
    const bool startedHere = !tr->Active();
    std::exception_ptr error;
    try {
        if (startedHere) tr->StartTransaction();
        try {
            Prepare();
        } catch (...) {
            RaiseClientError(cecInvalidStatementHandle, {ComponentFullName(this)});
        }
    } catch (...) {
        error = std::current_exception();
    }
    try {
        if (startedHere && tr->Active()) tr->Commit();
        if (connectedHere && db->Connected()) db->Close();
    } catch (...) {
        if (!error) error = std::current_exception();
    }
    if (error) std::rethrow_exception(error);
}

} // namespace qnl
