#include "TestStatement.h"

#include "client/fib.h"

#include <memory>
#include <stdexcept>

namespace qnl::test {

namespace {

std::string RecordText(const char* Text, ISC_SHORT Length) { return std::string(Text, static_cast<size_t>(Length)); }

} // namespace

TTestStatement::TTestStatement(TFIBDatabase& Database, TFIBTransaction& Transaction)
    : FDatabase(Database), FTransaction(Transaction) {
    FParams.SetQuery(this);
    FFields.SetQuery(this);
}

TTestStatement::~TTestStatement() { Free(); }

void TTestStatement::Free() {
    if (FHandle && FDatabase.Connected())
        FDatabase.ClientLibrary()->isc_dsql_free_statement(ThreadStatusVector(), &FHandle,
                                                           static_cast<unsigned short>(DSQL_drop));
    FHandle = 0;
}

ISC_STATUS TTestStatement::CheckStatus(ISC_STATUS Status, bool RaiseOnError) {
    return FTransaction.CheckStatus(Status, RaiseOnError);
}

void TTestStatement::Describe(TFIBXSQLDA& Area, bool Input) {
    IIBClientLibrary& lib = *FDatabase.ClientLibrary();
    const auto dialect = static_cast<unsigned short>(FDatabase.SQLDialect());
    auto describe = [&] {
        CheckStatus(Input ? lib.isc_dsql_describe_bind(ThreadStatusVector(), &FHandle, dialect, Area.AsXSQLDA())
                          : lib.isc_dsql_describe(ThreadStatusVector(), &FHandle, dialect, Area.AsXSQLDA()),
                    true);
    };
    Area.SetCount(1);
    describe();
    const int count = Area.AsXSQLDA()->sqld;
    Area.SetCount(count);
    if (count > 1) describe();
}

void TTestStatement::AttachArrays(TFIBXSQLDA& Area) {
    const int charBytes = FDatabase.BytesPerCharacter(static_cast<int>(FDatabase.GetAttachmentCharSetID()));
    for (int i = 0; i < Area.Count(); ++i) {
        TFIBXSQLVAR& var = Area[i];
        if (!var.IsArray()) continue;
        XSQLVAR* record = var.GetXSQLVAR();
        var.SetArrayInfo(std::make_unique<TpFIBArray>(
            FDatabase.ClientLibraryPtr(), record, FDatabase.HandleAddress(), FTransaction.HandleAddress(),
            RecordText(record->relname, record->relname_length), RecordText(record->sqlname, record->sqlname_length),
            charBytes));
    }
}

void TTestStatement::Prepare(const std::string& Sql, const std::vector<std::string>& ParamNames) {
    Free();
    IIBClientLibrary& lib = *FDatabase.ClientLibrary();
    CheckStatus(lib.isc_dsql_alloc_statement2(ThreadStatusVector(), FDatabase.HandleAddress(), &FHandle), true);
    FFields.SetCount(1);
    CheckStatus(lib.isc_dsql_prepare(ThreadStatusVector(), FTransaction.HandleAddress(), &FHandle,
                                     static_cast<unsigned short>(0), Sql.c_str(),
                                     static_cast<unsigned short>(FDatabase.SQLDialect()), FFields.AsXSQLDA()),
                true);
    Describe(FFields, false);
    FFields.InitializeVars();
    Describe(FParams, true);
    for (size_t i = 0; i < ParamNames.size(); ++i) FParams.AddName(ParamNames[i], static_cast<int>(i), false);
    FParams.InitializeVars();
    AttachArrays(FFields);
    AttachArrays(FParams);
    FRowsFetched = 0;
    FCursorOpen = false;
}

void TTestStatement::WritePendingBlobs(TFIBXSQLDA& Area) {
    for (int i = 0; i < Area.Count(); ++i) {
        TFIBXSQLVAR& var = Area[i];
        if (TMemoryStream* content = var.BlobStream())
            var.SetAsQuad(WriteNewBlob(FDatabase, FTransaction, content->Bytes(), this));
    }
}

void TTestStatement::Execute() {
    IIBClientLibrary& lib = *FDatabase.ClientLibrary();
    if (FCursorOpen)
        CheckStatus(lib.isc_dsql_free_statement(ThreadStatusVector(), &FHandle, static_cast<unsigned short>(DSQL_close)),
                    true);
    FCursorOpen = false;
    WritePendingBlobs(FParams);
    CheckStatus(lib.isc_dsql_execute(ThreadStatusVector(), FTransaction.HandleAddress(), &FHandle,
                                     static_cast<unsigned short>(FDatabase.SQLDialect()),
                                     FParams.Count() > 0 ? FParams.AsXSQLDA() : nullptr),
                true);
    for (int i = 0; i < FParams.Count(); ++i) FParams[i].FreeBlobStream();
    FRowsFetched = 0;
    FCursorOpen = FFields.Count() > 0;
}

bool TTestStatement::Fetch() {
    IIBClientLibrary& lib = *FDatabase.ClientLibrary();
    const ISC_STATUS status = lib.isc_dsql_fetch(ThreadStatusVector(), &FHandle,
                                                 static_cast<unsigned short>(FDatabase.SQLDialect()),
                                                 FFields.AsXSQLDA());
    if (status == 100) return false;
    CheckStatus(status, true);
    ++FRowsFetched;
    return true;
}

void TTestStatement::Open(const std::string& Sql) {
    Prepare(Sql);
    Execute();
    if (!Fetch()) throw std::runtime_error("no row: " + Sql);
}

TFIBXSQLVAR& TTestStatement::Field(const std::string& Name) {
    TFIBXSQLVAR* var = FFields.FindByName(Name);
    if (!var) throw std::runtime_error("no column " + Name);
    return *var;
}

} // namespace qnl::test
