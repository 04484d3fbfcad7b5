// Implements the data-set container; see DSContainer.h.
#include "datasets/DSContainer.h"

#include <algorithm>

namespace qnl {

namespace {

thread_local TDataSetsContainer* GGlobalContainer = nullptr;

} // namespace

TDataSetsContainer::TDataSetsContainer(TComponent* AOwner) : TComponent(AOwner) {}

TDataSetsContainer::~TDataSetsContainer() {
    // The thread must not keep pointing at a destroyed container.
    if (GGlobalContainer == this) GGlobalContainer = nullptr;
}

TDataSetsContainer* TDataSetsContainer::GlobalContainer() { return GGlobalContainer; }

void TDataSetsContainer::SetIsGlobalContainer(bool Value) {
    FIsGlobalContainer = Value;
    if (Value) {
        if (GGlobalContainer && GGlobalContainer != this) GGlobalContainer->FIsGlobalContainer = false;
        GGlobalContainer = this;
    } else if (GGlobalContainer == this) {
        GGlobalContainer = nullptr;
    }
}

void TDataSetsContainer::SetMasterContainer(TDataSetsContainer* Value) {
    if (Value == FMasterContainer) return;
    for (TDataSetsContainer* c = Value; c; c = c->FMasterContainer)
        if (c == this) throw Exception("Circular link is not allowed.");
    if (FMasterContainer) {
        for (TDataSet* dataSet : FDataSets) FMasterContainer->RemoveDataSet(dataSet);
        RemoveFreeNotification(FMasterContainer);
    }
    FMasterContainer = Value;
    if (Value) {
        FreeNotification(Value);
        for (TDataSet* dataSet : FDataSets) Value->AddDataSet(dataSet);
    }
}

void TDataSetsContainer::AddOne(TDataSet* DataSet) {
    if (std::find(FDataSets.begin(), FDataSets.end(), DataSet) != FDataSets.end()) return;
    FDataSets.push_back(DataSet);
    FreeNotification(DataSet);
}

void TDataSetsContainer::RemoveOne(TDataSet* DataSet) {
    const auto it = std::find(FDataSets.begin(), FDataSets.end(), DataSet);
    if (it == FDataSets.end()) return;
    FDataSets.erase(it);
    RemoveFreeNotification(DataSet);
}

void TDataSetsContainer::AddDataSet(TDataSet* DataSet) {
    if (!DataSet) return;
    for (TDataSetsContainer* c = this; c; c = c->FMasterContainer) c->AddOne(DataSet);
}

void TDataSetsContainer::RemoveDataSet(TDataSet* DataSet) {
    for (TDataSetsContainer* c = this; c; c = c->FMasterContainer) c->RemoveOne(DataSet);
}

void TDataSetsContainer::Notification(TComponent* AComponent, TOperation Operation) {
    TComponent::Notification(AComponent, Operation);
    if (Operation != TOperation::opRemove) return;
    if (AComponent == FMasterContainer)
        FMasterContainer = nullptr;
    else
        FDataSets.erase(std::remove(FDataSets.begin(), FDataSets.end(), AComponent), FDataSets.end());
}

void TDataSetsContainer::DataSetEvent(TDataSet* DataSet, TKindDataSetEvent Event) {
    if (FMasterContainer) FMasterContainer->DataSetEvent(DataSet, Event);
    if (Active && OnDataSetEvent) OnDataSetEvent(DataSet, Event);
}

void TDataSetsContainer::DataSetError(TDataSet* DataSet, TKindDataSetError Kind, EDatabaseError& E, TDataAction& Action) {
    if (FMasterContainer) FMasterContainer->DataSetError(DataSet, Kind, E, Action);
    if (Active && OnDataSetError) OnDataSetError(DataSet, Kind, E, Action);
}

void TDataSetsContainer::ApplyDefaultValue(TDataSet* DataSet, TField* Field, bool& Applied) {
    if (FMasterContainer) FMasterContainer->ApplyDefaultValue(DataSet, Field, Applied);
    if (Active && OnApplyDefaultValue) OnApplyDefaultValue(DataSet, Field, Applied);
}

void TDataSetsContainer::ApplyFieldRepository(TDataSet* DataSet, TField* Field, TpFIBFieldInfo* FieldInfo) {
    if (FMasterContainer) FMasterContainer->ApplyFieldRepository(DataSet, Field, FieldInfo);
    if (Active && OnApplyFieldRepository) OnApplyFieldRepository(DataSet, Field, FieldInfo);
}

bool TDataSetsContainer::CompareFieldValues(TField* Field, const Variant& S1, const Variant& S2, int& Result) {
    if (!OnCompareFieldValues) return false;
    bool compared = false;
    Result = OnCompareFieldValues(Field, S1, S2, compared);
    return compared;
}

void TDataSetsContainer::ReadBlobProgress(TBlobField* Field, int64_t BlobSize, int64_t Progress, bool& Stop) {
    if (OnReadBlobField) OnReadBlobField(Field, BlobSize, Progress, Stop);
}

void TDataSetsContainer::WriteBlobProgress(TBlobField* Field, int64_t BlobSize, int64_t Progress, bool& Stop) {
    if (OnWriteBlobField) OnWriteBlobField(Field, BlobSize, Progress, Stop);
}

} // namespace qnl
