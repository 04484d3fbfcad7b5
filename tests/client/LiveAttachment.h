#pragma once
// One attachment to a real database of the embedded engine through the client library, for the
// live tests: attach with a DPB, run one transaction, read one integer from a query. Failures
// raise the status-vector error (EFIBInterBaseError).
#include "client/fib.h"

#include <cstdlib>
#include <memory>
#include <string>

namespace qnl::test {

class TLiveAttachment {
public:
    // Raiser is the component the attach error names, if any.
    TLiveAttachment(IIBClientLibrary& Lib, const std::string& Path, TStringList DPBParams, TObject* Raiser = nullptr)
        : FLib(Lib) {
        std::string dpb;
        int16_t length = 0;
        BuildDPB(DPBParams, dpb, length, true);
        if (FLib.isc_attach_database(ThreadStatusVector(), static_cast<short>(0), Path.c_str(), &FDb, length,
                                     dpb.data()) != 0)
            RaiseStatusVectorError(FLib, Raiser);
    }
    // Ends the transaction (committed when CommitOnClose, else rolled back) and detaches.
    ~TLiveAttachment() {
        if (FTr) {
            if (CommitOnClose)
                FLib.isc_commit_transaction(ThreadStatusVector(), &FTr);
            else
                FLib.isc_rollback_transaction(ThreadStatusVector(), &FTr);
        }
        if (FDb) FLib.isc_detach_database(ThreadStatusVector(), &FDb);
    }
    TLiveAttachment(const TLiveAttachment&) = delete;
    TLiveAttachment& operator=(const TLiveAttachment&) = delete;

    bool CommitOnClose = false;

    // The DPB lines of an attachment as SYSDBA (the embedded engine needs no password).
    static TStringList AsSysdba() {
        TStringList params;
        params.Add("user_name=SYSDBA");
        return params;
    }

    // An empty list starts the server's default transaction.
    void StartTransaction(TStringList TPBParams = TStringList()) {
        std::string tpb;
        int32_t length = 0;
        BuildTPB(TPBParams, tpb, length, true);
        struct {
            isc_db_handle* Db;
            intptr_t TpbLength;
            char* Tpb;
        } teb{&FDb, length, length ? tpb.data() : nullptr};
        Check(FLib.isc_start_multiple(ThreadStatusVector(), &FTr, static_cast<short>(1), &teb));
    }

    // The first column of the first row of a query that gives one integer; starts the default
    // transaction when none runs.
    int64_t QueryInt(const std::string& Sql) {
        if (!FTr) StartTransaction();
        std::unique_ptr<XSQLDA, decltype(&std::free)> out(static_cast<XSQLDA*>(std::calloc(1, XSQLDA_LENGTH(1))),
                                                          &std::free);
        out->version = SQLDA_VERSION1;
        out->sqln = 1;
        isc_stmt_handle stmt = 0;
        Check(FLib.isc_dsql_alloc_statement2(ThreadStatusVector(), &FDb, &stmt));
        Check(FLib.isc_dsql_prepare(ThreadStatusVector(), &FTr, &stmt, static_cast<unsigned short>(0), Sql.c_str(),
                                    static_cast<unsigned short>(3), out.get()));
        int64_t value = 0;
        short nullFlag = 0;
        XSQLVAR& var = out->sqlvar[0];
        var.sqltype = SQL_INT64 + 1;
        var.sqlscale = 0;
        var.sqllen = sizeof value;
        var.sqldata = reinterpret_cast<ISC_SCHAR*>(&value);
        var.sqlind = &nullFlag;
        Check(FLib.isc_dsql_execute(ThreadStatusVector(), &FTr, &stmt, static_cast<unsigned short>(1), nullptr));
        Check(FLib.isc_dsql_fetch(ThreadStatusVector(), &stmt, static_cast<unsigned short>(1), out.get()));
        FLib.isc_dsql_free_statement(ThreadStatusVector(), &stmt, static_cast<unsigned short>(DSQL_drop));
        return value;
    }

protected:
    void Check(ISC_STATUS Result) {
        if (Result != 0) RaiseStatusVectorError(FLib, nullptr);
    }

    IIBClientLibrary& FLib;
    isc_db_handle FDb = 0;
    isc_tr_handle FTr = 0;
};

} // namespace qnl::test
