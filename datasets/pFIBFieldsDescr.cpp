// Implements the list of column descriptors; see pFIBFieldsDescr.h.
#include "datasets/pFIBFieldsDescr.h"

namespace qnl {

int TFIBFieldDescrList::Add(uint16_t SqlType, int16_t Scale, uint16_t DataSize, uint8_t Nullable, uint8_t IsDBKey,
                            uint8_t InStringCollection, uint8_t FieldKind) {
    auto descr = std::make_unique<TFIBFieldDescr>();
    descr->SqlType = SqlType;
    descr->Scale = Scale;
    descr->DataSize = DataSize;
    descr->Nullable = Nullable;
    descr->IsDBKey = IsDBKey;
    descr->InStringCollection = InStringCollection;
    descr->FieldKind = FieldKind;
    FItems.push_back(std::move(descr));
    return Count() - 1;
}

} // namespace qnl
