// Coverage-guided fuzz target: the body reader. The input is read as a script with the body
// grammar (procedures, triggers, views, checks, computed columns, linked afterwards as the script
// extractor does), and as the stored source of a view and of a procedure of a small schema read
// once, as the database reader parses what the catalogue holds.
#include "FuzzInput.h"

#include "interbase/qnlIBExParser.h"
#include "objects/qnlComp_Prc.h"
#include "objects/qnlComp_Viw.h"

using namespace qnl;

namespace {

const char* const Schema = "CREATE DOMAIN D AS INTEGER;\n"
                           "CREATE TABLE T (ID INTEGER, QTY D, ARR INTEGER [3], C COMPUTED BY (QTY * 2));\n"
                           "CREATE TABLE T1 (ID INTEGER, X INTEGER);\n"
                           "CREATE GENERATOR G;\nCREATE EXCEPTION E 'e';\n"
                           "DECLARE EXTERNAL FUNCTION F_LOG INTEGER RETURNS INTEGER BY VALUE ENTRY_POINT 'f' MODULE_NAME 'm';\n"
                           "SET TERM ^;\n"
                           "CREATE PROCEDURE P (A INTEGER) RETURNS (B INTEGER) AS BEGIN B = A; SUSPEND; END^\n";

struct TShared {
    TIbExParser Reader;   // scripts
    TIbExParser Sources;  // stored sources, against Objs
    TObjs Objs;
    TShared() {
        for (TIbExParser* p : {&Reader, &Sources}) {
            p->ShowProgress = false;
            p->OnError = [](TObject*, const std::string&) {};
        }
        Objs.SetServerType(stInterBase);
        Objs.IBServerOptions.SQLServerVersion = st_Firebird_30;
        TStringList lines;
        lines.SetText(Schema);
        Sources.ParseScript(lines, &Objs);
        Sources.AfterParse();
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    static TShared* const shared = new TShared;
    const std::string text = fuzz::Text(Data, Size);
    if (fuzz::NamesAFile(text)) return 0;
    {
        TObjs objs;
        objs.SetServerType(stInterBase);
        objs.IBServerOptions.SQLServerVersion = static_cast<TIBSQLServerVersionType>(Size ? Data[0] % 14 : 11);
        TIbExParser& reader = shared->Reader;
        reader.MsgManager->Clear();
        reader.SetTerm(";");
        TStringList lines;
        lines.SetText(text);
        reader.ParseScript(lines, &objs);
        reader.ParseExpressionSources();
        reader.AfterParse();
    }
    TIbExParser& sources = shared->Sources;
    sources.MsgManager->Clear();
    TViwData view(&shared->Objs);
    view.SetName("V");
    view.SetSource(text);
    sources.ParseObjectSource(&view);
    TPrcData routine(&shared->Objs);
    routine.SetName("Q");
    routine.SetSource(text);
    sources.ParseObjectSource(&routine);
    return 0;
}
