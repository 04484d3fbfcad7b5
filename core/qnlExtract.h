#pragma once
// The base of every extractor: links itself to one structure, decides which objects may enter
// it (kinds, include and exclude name masks, the name prefix, two accept events), collects its
// messages and fires the events the window shows. Subclasses do the reading.
#include "core/qnlMsgManager.h"
#include "core/qnlTypes.h"
#include "platform/Component.h"
#include "platform/StringList.h"

#include <functional>
#include <string>

namespace qnl {

class TCustomDBStructure;
class TDbObj;

using TProgressStepEvent =
    std::function<void(TObject* Sender, int Level, const std::string& Caption, int Current, int Count)>;

// Case-sensitive: "*" counts as "%"; a mask is a text with one "%" at its end (names that begin
// with the text) or at its start (names that end with it). Any other mask matches nothing.
bool MatchObjNameMask(const std::string& Name, const std::string& Mask);

class TCustomExtract : public TComponent {
public:
    explicit TCustomExtract(TComponent* AOwner = nullptr);
    ~TCustomExtract() override;
    std::string ClassName() const override { return "TCustomExtract"; }

    TProgressUpdateEvent OnProgressUpdate;
    TProgressStepEvent OnProgressStep;
    TLogNextLineEvent OnLogNextLine;
    TErrorMessageEvent OnErrorMessage;
    TLogNextLineEvent OnDebugMessage;
    TAcceptObjEvent OnAcceptObj;
    TAccept_ObjEvent OnAccept_Obj;
    int StepCount = 0;
    int StepIndex = 0;
    bool ShowFullLog = true;
    TServerType ServerType = stNone;
    TCmpObjSetType ExtractObjects = TCmpObjSetType::All();

    virtual void SetOnProgressUpdate(TProgressUpdateEvent Handler) { OnProgressUpdate = std::move(Handler); }
    virtual void SetOnErrorMessage(TErrorMessageEvent Handler) { OnErrorMessage = std::move(Handler); }
    virtual void SetOnLogNextLine(TLogNextLineEvent Handler) { OnLogNextLine = std::move(Handler); }
    TCustomDBStructure* DBStructure() const { return FDBStructure; }
    virtual void SetDBStructure(TCustomDBStructure* Value);
    virtual TCmpObjSetType GetExtractObjects() const { return ExtractObjects; }
    virtual void DoProgressUpdate(int Value, int MaxValue);
    virtual void DoProgressStep(int Level, const std::string& Caption, int Current, int Count);
    virtual TMsgManager& GetMsgManager() { return FMsgManager; }
    virtual void DoDebugMessage(const std::string& Text);
    virtual void DoLogNextLine(const std::string& Text);
    virtual void LogServerVersion();
    virtual void DoErrorMessage(const std::string& Text);
    // Clears the messages and answers False; subclasses call it first and then read.
    virtual bool ExtractDatabase();

    const TStringList& IncludeObjsNames() const { return FIncludeObjsNames; }
    const TStringList& ExcludeObjsNames() const { return FExcludeObjsNames; }
    // The whole text is trimmed at both ends; lines are not trimmed one by one.
    void SetIncludeObjsNames(const TStringList& Value);
    void SetExcludeObjsNames(const TStringList& Value);

    bool AcceptObjName(const std::string& AName, TDbObject Kind);
    bool AcceptDbObject(TDbObj* Obj);
    // Hands Obj to the structure's container when its name is accepted; frees it otherwise.
    void AddDbObject(TDbObj* Obj);

protected:
    void Notification(TComponent* AComponent, TOperation Operation) override;

private:
    void Unlink();

    TCustomDBStructure* FDBStructure = nullptr;
    TMsgManager FMsgManager;
    TStringList FIncludeObjsNames;
    TStringList FExcludeObjsNames;
};

} // namespace qnl
