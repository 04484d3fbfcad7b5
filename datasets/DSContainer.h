#pragma once
// A component that hears the events of many data sets in one place. Containers chain through
// MasterContainer: a chained notification reaches the top of the chain first. One container
// per thread may be the global container, which hears the data sets of its thread without
// being linked to them.
#include "platform/Component.h"
#include "platform/DataSet.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace qnl {

class TpFIBFieldInfo;

// The event a data-set hook reports (the number is the hook's code).
enum TKindDataSetEvent : uint8_t {
    deBeforeOpen, deAfterOpen, deBeforeClose, deAfterClose, deBeforeInsert, deAfterInsert,
    deBeforeEdit, deAfterEdit, deBeforePost, deAfterPost, deBeforeCancel, deAfterCancel,
    deBeforeDelete, deAfterDelete, deBeforeScroll, deAfterScroll, deOnNewRecord, deOnCalcFields,
    deBeforeRefresh, deAfterRefresh
};
enum TKindDataSetError : uint8_t { deOnEditError, deOnPostError, deOnDeleteError };

using TOnDataSetEvent = std::function<void(TDataSet* DataSet, TKindDataSetEvent Event)>;
using TOnDataSetError =
    std::function<void(TDataSet* DataSet, TKindDataSetError Event, EDatabaseError& E, TDataAction& Action)>;
using TOnApplyDefaultValue = std::function<void(TDataSet* DataSet, TField* Field, bool& Applied)>;
using TOnApplyFieldRepository = std::function<void(TDataSet* DataSet, TField* Field, TpFIBFieldInfo* FieldInfo)>;
using TOnCompareFieldValues =
    std::function<int(TField* Field, const Variant& S1, const Variant& S2, bool& Compared)>;
using TOnBlobFieldProcessing = std::function<void(TBlobField* Field, int64_t BlobSize, int64_t Progress, bool& Stop)>;

class TDataSetsContainer : public TComponent {
public:
    explicit TDataSetsContainer(TComponent* AOwner = nullptr);
    ~TDataSetsContainer() override;
    std::string ClassName() const override { return "TDataSetsContainer"; }

    // An inactive container fires none of its own events but still passes on to its master.
    bool Active = true;
    TOnDataSetEvent OnDataSetEvent;
    TOnApplyDefaultValue OnApplyDefaultValue;
    TOnApplyFieldRepository OnApplyFieldRepository;
    TOnDataSetError OnDataSetError;
    TOnCompareFieldValues OnCompareFieldValues;
    TOnBlobFieldProcessing OnReadBlobField;
    TOnBlobFieldProcessing OnWriteBlobField;

    TDataSetsContainer* MasterContainer() const { return FMasterContainer; }
    // Raises "Circular link is not allowed." (and keeps the old master) when Value is this
    // container or its chain of masters reaches this one. The data sets of this container move
    // from the old master's chain to the new one's.
    void SetMasterContainer(TDataSetsContainer* Value);
    bool IsGlobalContainer() const { return FIsGlobalContainer; }
    // True makes this the thread's global container (a previous one loses its flag); false
    // while it is the global one leaves the thread without.
    void SetIsGlobalContainer(bool Value);
    // The calling thread's global container, nil when none.
    static TDataSetsContainer* GlobalContainer();

    // The list holds the container's own data sets and those of every container below it.
    // Adding and removing go up the chain of masters; a data set is listed once.
    void AddDataSet(TDataSet* DataSet);
    void RemoveDataSet(TDataSet* DataSet);
    int DataSetCount() const { return static_cast<int>(FDataSets.size()); }
    TDataSet* DataSets(int Index) const { return FDataSets.at(static_cast<size_t>(Index)); }

    // Chained: the master chain hears first, then this container's event when Active.
    void DataSetEvent(TDataSet* DataSet, TKindDataSetEvent Event);
    void DataSetError(TDataSet* DataSet, TKindDataSetError Kind, EDatabaseError& E, TDataAction& Action);
    void ApplyDefaultValue(TDataSet* DataSet, TField* Field, bool& Applied);
    void ApplyFieldRepository(TDataSet* DataSet, TField* Field, TpFIBFieldInfo* FieldInfo);
    // Not chained, regardless of Active: the handler's Compared flag (Result its answer); false
    // without a handler.
    bool CompareFieldValues(TField* Field, const Variant& S1, const Variant& S2, int& Result);
    void ReadBlobProgress(TBlobField* Field, int64_t BlobSize, int64_t Progress, bool& Stop);
    void WriteBlobProgress(TBlobField* Field, int64_t BlobSize, int64_t Progress, bool& Stop);

protected:
    void Notification(TComponent* AComponent, TOperation Operation) override;

private:
    void AddOne(TDataSet* DataSet);
    void RemoveOne(TDataSet* DataSet);

    TDataSetsContainer* FMasterContainer = nullptr;
    std::vector<TDataSet*> FDataSets;
    bool FIsGlobalContainer = false;
};

} // namespace qnl
