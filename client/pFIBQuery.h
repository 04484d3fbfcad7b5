#pragma once
// The statement component that programs place on their forms: a TFIBQuery with a description
// and an error handler that decides, each time an execution fails, whether to raise the error,
// end silently or run the statement again.
#include "client/FIBQuery.h"
#include "platform/DataSet.h"

#include <functional>
#include <string>

namespace qnl {

class TpFIBQuery;
// Action comes in as daFail: daFail raises the error, daAbort ends in a silent abort, daRetry
// executes again (the handler is asked again after every failure; there is no retry limit).
using TFIBQueryErrorEvent = std::function<void(TpFIBQuery* Query, const EFIBError& E, TDataAction& Action)>;

// The release of this data-access layer, as About shows it.
inline constexpr const char* DataAccessRelease = "1.0.0";

class TpFIBQuery : public TFIBQuery {
public:
    using TFIBQuery::TFIBQuery;
    std::string ClassName() const override { return "TpFIBQuery"; }

    // Failures other than EFIBError pass unchanged.
    void ExecQuery() override;

    std::string Description;
    TFIBQueryErrorEvent OnExecuteError;
    // "Release " and the release numbers; read-only.
    static std::string About() { return std::string("Release ") + DataAccessRelease; }
};

} // namespace qnl
