// Implements the script extractors; see qnlScriptExtract.h.
#include "interbase/qnlScriptExtract.h"

#include "core/qnlDBStructure.h"
#include "interbase/qnlIBExParser.h"
#include "interbase/qnlIbScriptParser.h"
#include "platform/Files.h"

#include <exception>

namespace qnl {

// ---- TCustomScriptExtract ----

TCustomScriptExtract::TCustomScriptExtract(TComponent* AOwner) : TCustomExtract(AOwner) {}

TCustomScriptExtract::~TCustomScriptExtract() = default;

void TCustomScriptExtract::SetScriptFileName(const std::string& Value) {
    FScriptFileName = Value;
    ParseScriptFileNames();
}

void TCustomScriptExtract::ParseScriptFileNames() {
    FScriptFiles.Clear();
    const std::string& text = FScriptFileName;
    if (text.empty()) return;
    if (text.front() == '"' && text.find(' ') != std::string::npos) {
        // "a b.sql" "c.sql": a name whose closing quote is missing is dropped.
        bool inQuotes = false;
        std::string name;
        for (char c : text) {
            if (!inQuotes) {
                if (c == '"') {
                    inQuotes = true;
                    name.clear();
                }
            } else if (c != '"') {
                name += c;
            } else {
                if (!name.empty()) ExpandFileMask(name);
                name.clear();
                inQuotes = false;
            }
        }
        return;
    }
    std::string name = text;
    if (name.size() >= 2 && name.front() == '"' && name.back() == '"') name = name.substr(1, name.size() - 2);
    if (!name.empty()) ExpandFileMask(name);
}

void TCustomScriptExtract::ExpandFileMask(const std::string& Mask) {
    // Regular files only: a directory (or "." and "..") is no script.
    for (const std::string& file : FindFiles(Mask)) FScriptFiles.Add(file);
}

void TCustomScriptExtract::SetOnErrorMessage(TErrorMessageEvent Handler) {
    TCustomExtract::SetOnErrorMessage(std::move(Handler));
    if (FParser) FParser->OnError = OnErrorMessage;
}

void TCustomScriptExtract::SetDBStructure(TCustomDBStructure* Value) {
    FParser.reset();
    TCustomExtract::SetDBStructure(Value);
    if (!DBStructure()) return;
    FParser = CreateParser();
    if (!FParser) return;
    FParser->OnError = OnErrorMessage;
    FParser->OnLogLine = OnLogNextLine;
    FParser->OnDebugMessage = OnDebugMessage;
    FParser->OnProgress = OnProgressUpdate;
}

TMsgManager& TCustomScriptExtract::GetMsgManager() {
    return FParser ? *FParser->MsgManager : TCustomExtract::GetMsgManager();
}

void TCustomScriptExtract::DoErrorMessage(const std::string& Text) {
    TCustomExtract::DoErrorMessage(Text);
    // The comparer reads the parser's messages: an error the extractor found itself must stop
    // the comparison as a parse error does.
    if (FParser) FParser->MsgManager->AddSimpleMessage(Text, mkError);
}

std::unique_ptr<TCustomParser> TCustomScriptExtract::CreateParser() {
    if (!DBStructure()) return nullptr;
    return std::make_unique<TCustomParser>(this);
}

void TCustomScriptExtract::PrepareParser() {
    TObjs* objs = DBStructure() ? DBStructure()->Objs() : nullptr;
    if (!objs) return;
    objs->ConnectionOptions.Reset();
    const std::string version = objs->GetUserServerVersionText();
    if (!version.empty()) DoLogNextLine(version);
}

bool TCustomScriptExtract::ParseOneFile(const std::string& FileName) {
    FParser->ScriptName = FileName;
    try {
        return FParser->ParseFile(FileName, DBStructure()->Objs());
    } catch (const std::exception& e) {
        DoErrorMessage(FileName + ": " + e.what());
    } catch (...) {
        DoErrorMessage(FileName + ": unknown error.");
    }
    return false;
}

bool TCustomScriptExtract::ExtractDatabase() {
    TCustomExtract::ExtractDatabase();
    TCustomDBStructure* structure = DBStructure();
    if (!structure || !structure->Objs() || !FParser) {
        DoErrorMessage("DBStructure not assigned. (" + ClassName() + ") " + Name());
        return false;
    }
    bool result = true;
    structure->Clear();
    TObjs& objs = *structure->Objs();
    objs.SourceKind = 2;
    FScriptLines.Clear();
    FParser->MsgManager->Clear();
    objs.SetServerType(ServerType);
    PrepareParser();
    if (FScriptFiles.Count() == 0) {
        DoErrorMessage("ScriptFileName(s) is empty. (" + ClassName() + ") " + Name());
        return false;
    }
    for (int i = 0; i < FScriptFiles.Count(); ++i) {
        const std::string file = FScriptFiles[i];
        bool loaded = false;
        if (OnLoadScript) {
            OnLoadScript(this, file, FScriptLines, loaded);
        } else if (!FileExists(file)) {
            DoErrorMessage("File not found: " + file);
            result = false;
            continue;
        } else {
            loaded = true;
        }
        if (loaded) {
            if (!ParseOneFile(file)) result = false;
        } else {
            // The file's objects are missing from the structure: it must not be compared.
            DoErrorMessage("Script not load: " + file);
            result = false;
        }
        if (result && FParser->MsgManager->HasErrors()) result = false;
    }
    if (!result) return false;
    if (auto* sqlParser = dynamic_cast<TCustomSQLParser*>(FParser.get())) {
        // The domain list is walked by index: parsing a domain's texts files nothing new.
        const TDbObjList& domains = objs.List(olDomains);
        for (int i = 0; i < domains.Count(); ++i) sqlParser->ParseObjectSource(domains.Obj(i));
    }
    // An expression read while its table was being made could not see the table's columns.
    if (auto* exParser = dynamic_cast<TIbExParser*>(FParser.get())) exParser->ParseExpressionSources();
    FParser->AfterParse();
    return !FParser->MsgManager->HasErrors();
}

// ---- TIBScriptExtract ----

TIBScriptExtract::TIBScriptExtract(TComponent* AOwner) : TCustomScriptExtract(AOwner) {
    ServerType = stInterBase;
    ShowFullLog = true;
}

std::unique_ptr<TCustomParser> TIBScriptExtract::CreateParser() {
    if (!DBStructure()) return nullptr;
    return NewIbScriptParser(this);
}

void TIBScriptExtract::PrepareParser() {
    TCustomScriptExtract::PrepareParser();
    TObjs* objs = DBStructure() ? DBStructure()->Objs() : nullptr;
    if (!objs || !Parser() || !Parser()->Objs) return;
    if (Parser()->Objs != objs) Parser()->Objs->IBServerOptions.Assign(objs->IBServerOptions);
    // A script without SET SQL DIALECT is read in dialect 3.
    objs->IBServerOptions.SQLDialect = 3;
    Parser()->Objs->IBServerOptions.SQLDialect = 3;
}

} // namespace qnl
