#pragma once
// One array column of a table: the server's descriptor of it, and the whole array moved between
// the server and a Variant array, one slice call each way.
//
// An array is read into a Variant array of Variants with the column's bounds; elements are
// visited with the last index fastest, which is the slice's own order. Numbers keep the column's
// scale (a NUMERIC(9,2) element holding 1234 reads as 12.34 and 12.34 is written as 1234, rounded
// to the nearest unit); texts are held without padding zeros or, for CHAR elements, trailing
// blanks. A value that does not fit the column is refused before anything reaches the server.
//
// Firebird 3 reads a text element of a slice as text in the connection's character set whose
// byte length is the descriptor's: through a UTF8 connection a VARCHAR(5) element would hold one
// character (and longer ones fail to read). The slice therefore gives text elements room for
// their characters at the connection's bytes per character.
#include "client/IB_Intf.h"
#include "platform/Fields.h"
#include "platform/Variant.h"

#include <cstdint>
#include <string>
#include <vector>

namespace qnl {

class TpFIBArray {
public:
    // Looks the column's descriptor up on the server (raising the server's error when the table
    // or column is not there). The client library is held for the object's life; the record is
    // the column's, kept and not owned. CharBytes: the connection's bytes per character.
    TpFIBArray(IIBClientLibraryPtr ClientLibrary, XSQLVAR* SQLVar, isc_db_handle* DBHandle, isc_tr_handle* TRHandle,
               const std::string& RelationName, const std::string& FieldName, int CharBytes = 1);

    int GetDimensions() const { return FDescriptor.array_desc_dimensions; }
    // The number of decimals (minus the descriptor's scale).
    int GetScale() const { return -FDescriptor.array_desc_scale; }
    // The bounds of dimension Index (0 to GetDimensions() - 1), as the catalogue holds them;
    // client error 60 for any other.
    void GetDimension(int Index, int& Lower, int& Upper) const;
    // The bytes of the whole array in the slice format (text elements widened as above). A
    // client error names the column when its bounds do not fit the slice calls' 16 bits or its
    // array is more than one slice call moves (2 GB).
    int64_t ArraySize() const;
    // The element type as a data-set field type (ftUnknown for the kinds not converted).
    TFieldType FieldType() const { return FFieldType; }
    const std::string& RelationName() const { return FRelationName; }
    const std::string& FieldName() const { return FFieldName; }
    const ISC_ARRAY_DESC& Descriptor() const { return FDescriptor; }
    XSQLVAR* SQLVar() const { return FSQLVar; }

    // The array of ArrayID as a Variant array with the column's bounds. An id of 0 (never
    // written) reads as Nulls without a server call, or as Null when the column's arrays cannot
    // be moved (the errors of ArraySize come only for a written array).
    Variant ReadArrayValues(isc_db_handle* DBHandle, isc_tr_handle* TRHandle, const ISC_QUAD& ArrayID) const;
    // Writes Value as a new array; on success ArrayID holds its id. A Value with more
    // dimensions than the column raises client error 60; one with more elements than the column
    // holds, another shape (only its first dimension may be shorter), or an element text longer
    // than the element, raises a client error naming the column, as do the errors of ArraySize;
    // the server's refusal raises its error and leaves ArrayID unchanged.
    void WriteArrayValues(isc_db_handle* DBHandle, isc_tr_handle* TRHandle, ISC_QUAD& ArrayID,
                          const Variant& Value) const;

    // The same for a data-set field holding the 8-byte array id (no data reads as id 0); the
    // write stores the new id into the field. A field of another size is client error 59.
    Variant GetFieldArrayValues(TField* Field, isc_db_handle* DBHandle, isc_tr_handle* TRHandle) const;
    void SetFieldArrayValues(TField* Field, const Variant& Value, isc_db_handle* DBHandle,
                             isc_tr_handle* TRHandle) const;

private:
    std::string QualifiedName() const { return FRelationName + "." + FFieldName; }
    bool IsText() const { return FFieldType == ftString; }
    ISC_QUAD FieldArrayID(TField* Field) const;
    // Bytes of one element in the slice: the element length, 2 more for a varying text.
    int64_t ElementStride() const;
    // Client error for bounds the 16-bit descriptor cannot carry.
    void CheckBounds() const;
    // Elements per dimension, from the catalogue's bounds.
    std::vector<int64_t> Shape() const;
    Variant ReadElement(const char* Data) const;
    void WriteElement(char* Data, const Variant& Element, const std::vector<int>& Indexes) const;

    IIBClientLibraryPtr FClientLibrary;
    XSQLVAR* FSQLVar;
    TFieldType FFieldType = ftUnknown;
    std::string FRelationName;
    std::string FFieldName;
    ISC_ARRAY_DESC FDescriptor{};
    ISC_ARRAY_DESC FSliceDescriptor{};   // what the slice calls get: text elements widened
    int FCharBytes = 1;
    std::vector<ISC_LONG> FBounds;   // lower and upper per dimension, 32 bits as the catalogue has them
    int FCharLength = 0;             // a text element's length in characters
};

} // namespace qnl
