// Coverage-guided fuzz target: the scanners that read SQL text without a grammar: the statement
// analysis and editing routines, the statement's parameter scanner, and the script executor's
// splitting of a script into statements.
#include "FuzzInput.h"

#include "client/FIBQuery.h"
#include "client/SqlTxtRtns.h"
#include "interbase/qnlIBSQLExec.h"

#include <exception>

using namespace qnl;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    static TSQLParser* const analysis = new TSQLParser;
    static TFIBQuery* const query = new TFIBQuery;
    static TIBSQLExec* const executor = [] {
        auto* e = new TIBSQLExec;
        e->IBServerOptions.SQLServerVersion = st_Firebird_30;
        e->OnErrorMessage = [](TObject*, const std::string&) {};
        return e;
    }();
    const std::string text = fuzz::Text(Data, Size);

    analysis->SetSQLText(text);
    int from = 0, end = 0, start = 0;
    std::string part;
    analysis->GetFromClausePos(from, end);
    analysis->GetOrderByPos(from, end, part);
    analysis->GetMainWhereClause(start, end, part);
    analysis->GetPlanClause(start, end, part);
    analysis->GetModifiedTableName();
    analysis->GetTableList(true);
    analysis->TailClausePos();
    analysis->CountSelect();
    analysis->AddCondition("A = 1", true);
    analysis->SetPlanClause("(T NATURAL)");
    StripComments(text);
    EndsInLineComment(text);

    try {
        query->SQL().SetText(text);
        query->ExpandedSQLText();
    } catch (const std::exception&) {
        // A text the scanner cannot read is refused with an error: that is its answer.
    }

    if (!fuzz::NamesAFile(text)) {
        TStringList lines;
        lines.SetText(text);
        executor->ParseScript(lines);
    }
    return 0;
}
