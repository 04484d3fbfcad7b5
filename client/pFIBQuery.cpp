#include "client/pFIBQuery.h"

#include "platform/Exceptions.h"

namespace qnl {

void TpFIBQuery::ExecQuery() {
    TDataAction action = daRetry;
    while (action == daRetry) {
        action = daFail;
        try {
            TFIBQuery::ExecQuery();
        } catch (const EFIBError& E) {
            if (!OnExecuteError) throw;
            OnExecuteError(this, E, action);
            if (action == daFail) throw;
            if (action == daAbort) throw EAbort();
        }
    }
}

} // namespace qnl
