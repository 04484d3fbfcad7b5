#pragma once
// The script extractor: fills one side's structure from DDL script files instead of a live
// database. TCustomScriptExtract resolves the file names the user gives (one name, or several
// in double quotes, each possibly a mask), owns a dialect parser and drives it over every file
// into the structure's container; TIBScriptExtract reads InterBase/Firebird scripts.
//
// Every failure makes ExtractDatabase answer False and lands where the comparer looks (the
// parser's message manager), so a side that was not read whole is never compared: a missing or
// unloaded file would otherwise read as a schema without its objects, and the update script
// would drop them.
#include "core/qnlExtract.h"
#include "core/qnlMsgManager.h"
#include "core/qnlTypes.h"
#include "interbase/qnlParser.h"
#include "platform/StringList.h"

#include <memory>
#include <string>

namespace qnl {

class TCustomScriptExtract : public TCustomExtract {
public:
    explicit TCustomScriptExtract(TComponent* AOwner = nullptr);
    ~TCustomScriptExtract() override;
    std::string ClassName() const override { return "TCustomScriptExtract"; }

    // Handed the file name and ScriptLines; when it leaves Loaded False the file is not read.
    // The parser always reads the named file itself.
    TLoadScriptEvent OnLoadScript;

    const std::string& ScriptFileName() const { return FScriptFileName; }
    // Stores the text and resolves it into ScriptFiles at once: one name, or several names each
    // in double quotes separated by blanks; a name may be a mask ("dir/*.sql"), which yields
    // the regular files it matches, sorted by name. A name that matches nothing adds nothing.
    void SetScriptFileName(const std::string& Value);
    const TStringList& ScriptFiles() const { return FScriptFiles; }
    TStringList& ScriptLines() { return FScriptLines; }
    TCustomParser* Parser() const { return FParser.get(); }

    void SetOnErrorMessage(TErrorMessageEvent Handler) override;
    // Replaces the parser: a new one is made for the new structure.
    void SetDBStructure(TCustomDBStructure* Value) override;
    // The parser's messages (parse errors and the extractor's own errors); the extractor's own
    // manager while there is no parser.
    TMsgManager& GetMsgManager() override;
    void DoErrorMessage(const std::string& Text) override;
    // Reads every file of ScriptFiles into the structure, which it clears first. True unless
    // the structure or the files are missing, a file was not found, not loaded or could not be
    // read, or the parser reported an error; only then are domain texts parsed and the
    // dependencies of the whole structure linked.
    bool ExtractDatabase() override;

    virtual std::unique_ptr<TCustomParser> CreateParser();
    virtual void PrepareParser();

private:
    void ParseScriptFileNames();
    void ExpandFileMask(const std::string& Mask);
    bool ParseOneFile(const std::string& FileName);

    std::string FScriptFileName;
    TStringList FScriptFiles;
    TStringList FScriptLines;
    std::unique_ptr<TCustomParser> FParser;
};

class TIBScriptExtract : public TCustomScriptExtract {
public:
    explicit TIBScriptExtract(TComponent* AOwner = nullptr);
    std::string ClassName() const override { return "TIBScriptExtract"; }

    std::unique_ptr<TCustomParser> CreateParser() override;
    // Also gives the parser the structure's server options and starts in SQL dialect 3, as isql
    // reads a script without SET SQL DIALECT.
    void PrepareParser() override;
};

} // namespace qnl
