#include "core/qnlCustomQuarnel.h"

#include "core/qnlQuote.h"

namespace qnl {

TCustomQuarnel::TCustomQuarnel(TComponent* AOwner) : TComponent(AOwner) {}

TCustomQuarnel::~TCustomQuarnel() {
    // The containers outlive the comparer; a link left between them would point into a freed
    // container as soon as one structure goes.
    if (TCustomObjs* m = GetMasterObjs()) UnlinkContainers(m);
    if (TCustomObjs* t = GetTargetObjs()) UnlinkContainers(t);
    if (FSQLExec) RemoveFreeNotification(FSQLExec);
    FSQLExec = nullptr;
    FOwnSQLExec.reset();
}

TCustomSQLExec* TCustomQuarnel::SQLExec() const { return FSQLExec ? FSQLExec : FOwnSQLExec.get(); }

void TCustomQuarnel::SetSQLExec(TCustomSQLExec* Value) {
    if (FSQLExec) RemoveFreeNotification(FSQLExec);
    if (FOwnSQLExec && FSQLExec == FOwnSQLExec.get() && Value != FSQLExec) {
        FSQLExec = nullptr;
        FOwnSQLExec.reset();
    }
    FSQLExec = Value;
    if (Value) Value->FreeNotification(this);
}

TSQLExec* TCustomQuarnel::OwnSQLExec() {
    if (!FOwnSQLExec) {
        FOwnSQLExec = std::make_unique<TSQLExec>();
        FOwnSQLExec->OnErrorMessage = OnErrorMessage;
        FOwnSQLExec->OnLogNextLine = OnLogNextLine;
        FOwnSQLExec->OnProgressUpdate = OnProgressUpdate;
    }
    return FOwnSQLExec.get();
}

void TCustomQuarnel::UnlinkContainers(TCustomObjs* Leaving) {
    if (!Leaving) return;
    TCustomObjs* others[] = {Leaving->CounterpartObjs, GetMasterObjs(), GetTargetObjs()};
    for (TCustomObjs* o : others)
        if (o && o->CounterpartObjs == Leaving) o->CounterpartObjs = nullptr;
    Leaving->CounterpartObjs = nullptr;
}

void TCustomQuarnel::SetStructure(TCustomDBStructure*& Field, TCustomDBStructure* Value, uint8_t Side) {
    if (Field && Field != Value) {
        TCustomDBStructure* old = Field;
        UnlinkContainers(old->Objs());
        Field = nullptr;
        // The same structure may still serve the other side.
        if (old != FDBStructureMaster && old != FDBStructureTarget) RemoveFreeNotification(old);
    }
    Field = Value;
    if (Value) {
        Value->FreeNotification(this);
        if (Value->Extractor) Value->Extractor->ShowFullLog = FShowFullLog;
        if (TObjs* objs = Value->Objs()) objs->SetSide(Side);
    }
    LinkContainers();
}

void TCustomQuarnel::SetDBStructureMaster(TCustomDBStructure* Value) { SetStructure(FDBStructureMaster, Value, sideMaster); }

void TCustomQuarnel::SetDBStructureTarget(TCustomDBStructure* Value) { SetStructure(FDBStructureTarget, Value, sideTarget); }

void TCustomQuarnel::SetExtractor(TCustomExtract*& Field, TCustomExtract* Value) {
    if (Field == Value) return;
    TCustomExtract* old = Field;
    Field = Value;
    if (old && old != FExtractorMaster && old != FExtractorTarget) RemoveFreeNotification(old);
    if (Value) Value->FreeNotification(this);
}

void TCustomQuarnel::SetExtractorMaster(TCustomExtract* Value) { SetExtractor(FExtractorMaster, Value); }

void TCustomQuarnel::SetExtractorTarget(TCustomExtract* Value) { SetExtractor(FExtractorTarget, Value); }

void TCustomQuarnel::SetShowFullLog(bool Value) {
    FShowFullLog = Value;
    for (TCustomDBStructure* s : {FDBStructureMaster, FDBStructureTarget})
        if (s && s->Extractor) s->Extractor->ShowFullLog = Value;
}

void TCustomQuarnel::LinkContainers() {
    TCustomObjs* master = GetMasterObjs();
    TCustomObjs* target = GetTargetObjs();
    if (!master || !target) return;
    master->SetSide(sideMaster);
    target->SetSide(sideTarget);
    master->CounterpartObjs = target;
    target->CounterpartObjs = master;
}

TCustomObjs* TCustomQuarnel::GetMasterObjs() const { return FDBStructureMaster ? FDBStructureMaster->Objs() : nullptr; }

TCustomObjs* TCustomQuarnel::GetTargetObjs() const { return FDBStructureTarget ? FDBStructureTarget->Objs() : nullptr; }

std::string TCustomQuarnel::QuoteName(const std::string& Name) const {
    TCustomObjs* target = GetTargetObjs();
    if (!target) return Name;
    return QuoteNameForServer(Name, target->ServerType(), target->IBServerOptions.SQLServerVersion,
                              target->IBServerOptions.SQLDialect);
}

void TCustomQuarnel::DoLogNextLine(const std::string& Text) {
    if (OnLogNextLine) OnLogNextLine(this, Text);
}

void TCustomQuarnel::DoErrorMessage(const std::string& Text) {
    if (OnErrorMessage)
        OnErrorMessage(this, Text);
    else
        ShowErrorText(Text);
}

void TCustomQuarnel::ExtractAndCompare() {
    if (Extract()) Compare();
}

void TCustomQuarnel::Notification(TComponent* AComponent, TOperation Operation) {
    TComponent::Notification(AComponent, Operation);
    if (Operation != TOperation::opRemove || !AComponent) return;
    // A structure being destroyed has already lost its container: only the other side's link
    // to it can be dropped.
    if (AComponent == FDBStructureMaster) {
        FDBStructureMaster = nullptr;
        if (TCustomObjs* t = GetTargetObjs()) t->CounterpartObjs = nullptr;
    }
    if (AComponent == FDBStructureTarget) {
        FDBStructureTarget = nullptr;
        if (TCustomObjs* m = GetMasterObjs()) m->CounterpartObjs = nullptr;
    }
    if (AComponent == FSQLExec) FSQLExec = nullptr;
    if (AComponent == FExtractorMaster) FExtractorMaster = nullptr;
    if (AComponent == FExtractorTarget) FExtractorTarget = nullptr;
}

} // namespace qnl
