#include "core/qnlExtract.h"

#include "core/qnlClasses.h"
#include "core/qnlDBStructure.h"

#include <algorithm>

namespace qnl {

bool MatchObjNameMask(const std::string& Name, const std::string& Mask) {
    std::string m = Mask;
    for (char& c : m)
        if (c == '*') c = '%';
    if (m.size() < 2) return false;
    size_t wildcards = std::count(m.begin(), m.end(), '%');
    if (wildcards != 1) return false;
    if (m.back() == '%') {
        std::string head = m.substr(0, m.size() - 1);
        return Name.compare(0, head.size(), head) == 0;
    }
    if (m.front() == '%') {
        std::string tail = m.substr(1);
        return Name.size() >= tail.size() && Name.compare(Name.size() - tail.size(), tail.size(), tail) == 0;
    }
    return false;
}

TCustomExtract::TCustomExtract(TComponent* AOwner) : TComponent(AOwner) {}

TCustomExtract::~TCustomExtract() { Unlink(); }

void TCustomExtract::Unlink() {
    if (!FDBStructure) return;
    if (FDBStructure->Extractor == this) FDBStructure->Extractor = nullptr;
    if (TObjs* objs = FDBStructure->Objs()) objs->OnAcceptDbObj = nullptr;
    RemoveFreeNotification(FDBStructure);
    FDBStructure = nullptr;
}

void TCustomExtract::SetDBStructure(TCustomDBStructure* Value) {
    if (Value == FDBStructure) return;
    Unlink();
    FDBStructure = Value;
    if (!Value) return;
    Value->FreeNotification(this);
    Value->Extractor = this;
    if (TObjs* objs = Value->Objs())
        objs->OnAcceptDbObj = [this](TCustomObjs*, TDbObj* Obj, bool& Accept) { Accept = AcceptDbObject(Obj); };
}

void TCustomExtract::Notification(TComponent* AComponent, TOperation Operation) {
    TComponent::Notification(AComponent, Operation);
    if (Operation == TOperation::opRemove && AComponent == FDBStructure) FDBStructure = nullptr;
}

void TCustomExtract::DoProgressUpdate(int Value, int MaxValue) {
    if (OnProgressUpdate) OnProgressUpdate(this, Value, MaxValue);
}

void TCustomExtract::DoProgressStep(int Level, const std::string& Caption, int Current, int Count) {
    if (OnProgressStep) OnProgressStep(this, Level, Caption, Current, Count);
}

void TCustomExtract::DoDebugMessage(const std::string& Text) {
    if (OnDebugMessage) OnDebugMessage(this, Text);
}

void TCustomExtract::DoLogNextLine(const std::string& Text) {
    if (OnLogNextLine) OnLogNextLine(this, Text);
}

void TCustomExtract::LogServerVersion() {
    if (!FDBStructure || !FDBStructure->Objs()) return;
    std::string text = FDBStructure->Objs()->GetUserServerVersionText();
    if (!text.empty()) DoLogNextLine(text);
}

void TCustomExtract::DoErrorMessage(const std::string& Text) {
    if (OnErrorMessage)
        OnErrorMessage(this, Text);
    else
        ShowErrorText(Text);
    FMsgManager.AddSimpleMessage(Text, mkError);
}

bool TCustomExtract::ExtractDatabase() {
    FMsgManager.Clear();
    return false;
}

void TCustomExtract::SetIncludeObjsNames(const TStringList& Value) { FIncludeObjsNames.SetText(Trim(Value.Text())); }
void TCustomExtract::SetExcludeObjsNames(const TStringList& Value) { FExcludeObjsNames.SetText(Trim(Value.Text())); }

bool TCustomExtract::AcceptObjName(const std::string& AName, TDbObject Kind) {
    auto anyMatch = [&AName](const TStringList& masks) {
        for (int i = 0; i < masks.Count(); ++i)
            if (MatchObjNameMask(AName, masks[i])) return true;
        return false;
    };
    bool accept;
    if (anyMatch(FExcludeObjsNames))
        accept = false;
    else
        accept = FIncludeObjsNames.Count() == 0 || anyMatch(FIncludeObjsNames);
    if (accept && FDBStructure && !FDBStructure->NamePrefix.empty()) {
        switch (Kind) {
        case dboTable: case dboProcedure: case dboFunction: case dboException:
        case dboDomain: case dboView: case dboGenerator: case dboEvent:
            accept = AName.compare(0, FDBStructure->NamePrefix.size(), FDBStructure->NamePrefix) == 0;
            break;
        default:
            break;
        }
    }
    if (OnAcceptObj) OnAcceptObj(this, AName, Kind, accept);
    return accept;
}

bool TCustomExtract::AcceptDbObject(TDbObj* Obj) {
    if (!Obj) return false;
    if (OnAccept_Obj) {
        bool accept = true;
        OnAccept_Obj(this, Obj, accept);
        return accept;
    }
    TObjListKind list = Obj->GetObjList();
    // Indices and constraints are judged by their table.
    if (list == olIndices || list == olConstraints) return AcceptObjName(Obj->GetOwnerName(), dboTable);
    static const TDbObject classKinds[ObjListCount] = {
        dboSchema,    dboDomain,    dboFunction,   dboTrigger,   dboProcedure, dboTable,       dboException,
        dboGenerator, dboIndex,     dboView,       dboRole,      dboUnknown,   dboConstraint,  dboRule,
        dboDefault,   dboPackage,   dboPublication, dboOperator, dboOperatorClass, dboConversion, dboEvent,
        dboCollation};
    if (list == olNone || list == olGrants) return true;
    return AcceptObjName(Obj->Name, classKinds[list]);
}

void TCustomExtract::AddDbObject(TDbObj* Obj) {
    if (!Obj) return;
    if (AcceptObjName(Obj->Name, Obj->Kind) && FDBStructure && FDBStructure->Objs())
        FDBStructure->Objs()->AddDbObject(Obj, true);
    else
        delete Obj;
}

} // namespace qnl
