// Coverage-guided fuzz target: the DDL script reader without the body grammar (bodies are read
// as raw text), over the input as a script. One reader serves every input; each input gets a
// fresh container and a reset reader, so that per input only the script itself is read.
#include "FuzzInput.h"

#include "interbase/qnlIBParser.h"

using namespace qnl;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    static TIbParser* const reader = [] {
        auto* p = new TIbParser;
        p->ShowProgress = false;
        p->OnError = [](TObject*, const std::string&) {};
        return p;
    }();
    const std::string text = fuzz::Text(Data, Size);
    if (fuzz::NamesAFile(text)) return 0;
    TObjs objs;
    objs.SetServerType(stInterBase);
    // The first byte picks the server version, whose keywords and forms differ.
    objs.IBServerOptions.SQLServerVersion = static_cast<TIBSQLServerVersionType>(Size ? Data[0] % 14 : 11);
    reader->MsgManager->Clear();
    reader->SetTerm(";");
    TStringList lines;
    lines.SetText(text);
    reader->ParseScript(lines, &objs);
    reader->AfterParse();
    return 0;
}
