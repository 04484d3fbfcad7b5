#pragma once
// The data-set framework: an abstract data set that a concrete class fills through virtual
// record operations, with states, a window of record buffers, bookmarks, fields, events, and
// the data sources and data links through which other objects follow a data set.
//
// How a derived class plugs in (the record-buffer protocol):
// - Its cursor. The derived class keeps its own cursor and answers GetRecord(Buffer, Mode):
//   gmNext / gmPrior move the cursor one record and copy that record into Buffer; gmCurrent
//   copies the record under the cursor. Answers grOK, grBOF (before the first record), grEOF
//   (after the last) or grError. InternalFirst puts the cursor before the first record,
//   InternalLast after the last; InternalSetToRecord(Buffer) puts it on the buffer's record.
//   A GetRecord that raises EAbort (a fetch stopped on purpose) counts as "no record there":
//   the buffers read so far stay and the data set stays open; after it the framework takes the
//   cursor's place as unknown and re-positions it from the buffers before the next move. An
//   InternalLast that raises EAbort leaves the cursor after the last record it fetched.
// - Its buffers. AllocRecordBuffer / FreeRecordBuffer make and free one record buffer of the
//   derived class's layout (GetRecordSize bytes, 32-bit). The framework keeps BufferCount of
//   them as a window over the records (one more as the temporary buffer used while fetching
//   and inserting), tells which one is active (ActiveBuffer), and keeps the calculation buffer
//   (CalcBuffer) while calculated fields are computed. A buffer carries its bookmark and a
//   bookmark flag (bfCurrent: a record; bfBOF / bfEOF: before the first / after the last;
//   bfInserted: a new record) through Get/SetBookmarkData and Get/SetBookmarkFlag. A new
//   record's buffer carries the bookmark of the record the insert began at (flag bfInserted),
//   or the flag bfBOF (insert into an empty data set) or bfEOF (append); InternalPost places it
//   by that, and InternalSetToRecord of a bfInserted buffer puts the cursor on that record.
//   ActiveBuffer is the window's active buffer even while the window is empty: in the browse
//   state a derived class checks IsEmpty before reading it.
// - Its fields. InternalOpen builds FieldDefs (InternalInitFieldDefs), calls CreateFields when
//   DefaultFields holds (no persistent fields), then BindFields(true); the calculated-field
//   area is CalcFieldsSize bytes (one presence byte and DataSize bytes per calculated or
//   lookup field, at the field's Offset). InternalClose calls BindFields(false) and
//   DestroyFields when DefaultFields holds. GetFieldData / SetFieldData move one field's value
//   between a field buffer (native format, see Fields.h) and the record the state selects.
//   SetFieldData calls Field->Validate before storing and DataEvent(deFieldChange, Field)
//   after (except in dsCalcFields, dsFilter and dsNewValue).
// - Open and close. InternalOpen opens the cursor; when it opened none (IsCursorOpen false:
//   a statement that returns no rows) the data set stays inactive without error. An exception
//   during the open closes the cursor again (CloseCursor, so InternalClose must cope with a
//   half-opened state) and propagates. InternalClose frees what InternalOpen took.
// - Editing. InternalEdit, InternalInsert, InternalPost (the base checks required fields),
//   InternalCancel, InternalDelete, InternalAddRecord and InternalRefresh do the derived
//   class's part of Edit, Insert / Append, Post, Cancel, Delete, InsertRecord / AppendRecord
//   and Refresh. After Post, Cancel and Delete the framework resynchronises the buffers from
//   the cursor (Resync), so the derived cursor must stand on the record that is to be shown.
//   Errors of the Internal operations that are EDatabaseError go through OnEditError,
//   OnPostError, OnDeleteError (daFail raises again, daAbort aborts silently, daRetry retries).
// - Destruction. C++ runs no override of a derived class from a base destructor, so the
//   most-derived destructor must call Close() itself (then InternalClose and the close events
//   run as that class's), and, when its fields keep links into members of the derived class,
//   free its default fields (DestroyFields) before those members go. ~TDataSet frees the
//   default fields that are left and detaches persistent fields without calling their
//   SetDataSet.
// There is no designer here: nothing hands exceptions to an application handler.
#include "platform/Component.h"
#include "platform/Exceptions.h"
#include "platform/Fields.h"
#include "platform/Streams.h"
#include "platform/Variant.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace qnl {

class TDataSource;
class TDataLink;

using TRecordBuffer = char*;
// BookmarkSize bytes; empty is "no bookmark".
using TBookmark = std::vector<uint8_t>;

enum TDataSetState : uint8_t {
    dsInactive, dsBrowse, dsEdit, dsInsert, dsCalcFields, dsFilter, dsNewValue, dsOldValue,
    dsCurValue, dsInternalCalc, dsOpening
};
enum TGetMode : uint8_t { gmCurrent, gmNext, gmPrior };
enum TGetResult : uint8_t { grOK, grBOF, grEOF, grError };
enum TBookmarkFlag : uint8_t { bfCurrent, bfBOF, bfEOF, bfInserted };
enum TUpdateStatus : uint8_t { usUnmodified, usModified, usInserted, usDeleted };
enum TDataAction : uint8_t { daFail, daAbort, daRetry };
// What an applied change does to its row; sets of kinds are bit masks (bit n: kind n).
enum TUpdateKind : uint8_t { ukModify, ukInsert, ukDelete };
using TUpdateKinds = uint8_t;
// TBlobStreamMode comes with the streams (platform/Streams.h).

// What a data set tells its data sources and links. Info: the TField for deFieldChange (nil:
// the whole record), the distance for deDataSetScroll, 1 / 0 for deDisabledStateChange
// (controls enabled / disabled), 0 otherwise.
enum TDataEvent : uint8_t {
    deFieldChange, deRecordChange, deDataSetChange, deDataSetScroll, deLayoutChange,
    deUpdateRecord, deUpdateState, deCheckBrowseMode, deDisabledStateChange
};

// Sets of options are bit masks.
using TResyncMode = uint8_t;
inline constexpr TResyncMode rmExact = 1;    // the cursor's record must still be there
inline constexpr TResyncMode rmCenter = 2;   // the record goes to the middle of the window
using TLocateOptions = uint8_t;
inline constexpr TLocateOptions loCaseInsensitive = 1;
inline constexpr TLocateOptions loPartialKey = 2;
using TFilterOptions = uint8_t;
inline constexpr TFilterOptions foCaseInsensitive = 1;
inline constexpr TFilterOptions foNoPartialCompare = 2;

using TDataSetNotifyEvent = std::function<void(TDataSet* DataSet)>;
using TDataSetErrorEvent = std::function<void(TDataSet* DataSet, EDatabaseError& E, TDataAction& Action)>;
using TFilterRecordEvent = std::function<void(TDataSet* DataSet, bool& Accept)>;

class TDataSet : public TComponent {
public:
    explicit TDataSet(TComponent* AOwner = nullptr);
    ~TDataSet() override;
    std::string ClassName() const override { return "TDataSet"; }

    // ---- Open and close ----
    void Open() { SetActive(true); }
    void Close() { SetActive(false); }
    bool Active() const { return FState != dsInactive && FState != dsOpening; }
    virtual void SetActive(bool Value);
    TDataSetState State() const { return FState; }
    bool Modified() const { return FModified; }
    // Public because blob streams of derived classes mark their data set.
    void SetModified(bool Value) { FModified = Value; }
    // A state for one internal read or write (no events); give the answer back to RestoreState.
    // Public because readers of a field's raw data switch to the old-value state for one read.
    TDataSetState SetTempState(TDataSetState Value);
    void RestoreState(TDataSetState Value);

    // ---- Navigation ----
    void First();
    void Last();
    void Next() { MoveBy(1); }
    void Prior() { MoveBy(-1); }
    // Moves up to Distance records; answers how far it moved (negative backwards).
    int MoveBy(int Distance);
    bool Eof() const { return FEOF; }
    bool Bof() const { return FBOF; }
    bool IsEmpty() const { return FActiveRecord >= FRecordCount; }
    // Re-reads the window around the cursor's record.
    virtual void Resync(TResyncMode Mode);
    // Puts the derived cursor on the active record.
    void UpdateCursorPos();
    // Marks the derived cursor's place as unknown (it moved behind the framework's back).
    void CursorPosChanged() { FCurrentRecord = -1; }
    // 1-based position and count as the derived class knows them (-1: unknown).
    int RecNo() { return GetRecNo(); }
    virtual void SetRecNo(int) {}
    int RecordCount() { return GetRecordCount(); }
    virtual bool IsSequenced() { return true; }
    virtual TUpdateStatus UpdateStatus() { return usUnmodified; }

    // ---- Bookmarks ----
    // The active record's bookmark; empty when there is no record (or in the insert state).
    TBookmark GetBookmark();
    void GotoBookmark(const TBookmark& Bookmark);
    virtual bool BookmarkValid(const TBookmark& Bookmark) { return !Bookmark.empty(); }
    // -1, 0, 1 by position; an empty bookmark sorts after every other.
    virtual int CompareBookmarks(const TBookmark& B1, const TBookmark& B2);
    int BookmarkSize() const { return FBookmarkSize; }

    // ---- Editing ----
    void Edit();
    void Insert();
    void Append();
    virtual void Post();
    virtual void Cancel();
    void Delete();
    void Refresh();
    // Inserts (at the cursor) or appends a record with the values in field order and posts it;
    // Empty values leave a field alone.
    void InsertRecord(const std::vector<Variant>& Values) { InsertRecordValues(Values, false); }
    void AppendRecord(const std::vector<Variant>& Values) { InsertRecordValues(Values, true); }
    // Posts a changed edit, cancels an unchanged one; tells the links first.
    void CheckBrowseMode();
    // Lets the links write pending control values into the fields.
    void UpdateRecord();
    bool CanModify() { return GetCanModify(); }

    // ---- Controls ----
    void DisableControls();
    void EnableControls();
    bool ControlsDisabled() const { return FDisableCount != 0; }

    // ---- Fields ----
    TFields& Fields() { return FFields; }
    TFieldDefs& FieldDefs() { return FFieldDefs; }
    int FieldCount() const { return FFields.Count(); }
    TField* FindField(std::string_view Name) const { return FFields.FindField(Name); }
    TField* FieldByName(std::string_view Name) const { return FFields.FieldByName(Name); }
    TField* FieldByNumber(int FieldNo) const { return FFields.FieldByNumber(FieldNo); }
    // The fields named in Names (separated by ";"); an unknown name raises FieldByName's error.
    void GetFieldList(std::vector<TField*>& List, const std::string& Names) const;
    // One name: that field's value; several: a Variant array of their values, from index 0.
    Variant FieldValues(const std::string& Names) const;
    // True while the fields were made from the definitions at open (no persistent fields).
    bool DefaultFields() const { return FDefaultFields; }
    int CalcFieldsSize() const { return FCalcFieldsSize; }
    int BlobFieldCount() const { return FBlobFieldCount; }
    bool AutoCalcFields = true;

    // ---- Field values (called by the fields) ----
    // (A derived class that overrides one of the two overloads of GetFieldData or SetFieldData
    // brings the other into scope with a using-declaration.)
    // The value of Field in the record the state selects, into Buffer in the data set's native
    // format; false for null. Buffer nil: only whether there is a value.
    virtual bool GetFieldData(TField* Field, void* Buffer) = 0;
    // NativeFormat false: Buffer is in the field's own form and DataConvert translates.
    virtual bool GetFieldData(TField* Field, void* Buffer, bool NativeFormat);
    // Buffer nil writes null. The base refuses: "Field '<name>' cannot be modified".
    virtual void SetFieldData(TField* Field, const void* Buffer);
    virtual void SetFieldData(TField* Field, const void* Buffer, bool NativeFormat);
    // Translates dates and times between TDateTime and the native day / millisecond numbers,
    // and copies wide text; other types are copied as they are (DataSize bytes).
    virtual void DataConvert(TField* Field, const void* Source, void* Dest, bool ToNative);
    // A stream over the field's blob in the current record; nil when the class has none.
    virtual std::unique_ptr<TStream> CreateBlobStream(TField* Field, TBlobStreamMode Mode);
    // The field's value in another state (dsOldValue, dsNewValue, dsCurValue).
    virtual Variant GetStateFieldValue(TDataSetState State, TField* Field);
    virtual void SetStateFieldValue(TDataSetState State, TField* Field, const Variant& Value);

    // ---- Searching and filtering (the base finds nothing) ----
    virtual bool Locate(const std::string& KeyFields, const Variant& KeyValues, TLocateOptions Options);
    virtual Variant Lookup(const std::string& KeyFields, const Variant& KeyValues, const std::string& ResultFields);
    const std::string& Filter() const { return FFilterText; }
    virtual void SetFilterText(const std::string& Value) { FFilterText = Value; }
    bool Filtered() const { return FFiltered; }
    virtual void SetFiltered(bool Value) { FFiltered = Value; }
    TFilterOptions FilterOptions() const { return FFilterOptions; }
    virtual void SetFilterOptions(TFilterOptions Value) { FFilterOptions = Value; }
    TFilterRecordEvent OnFilterRecord;   // the derived class asks it

    // ---- Links ----
    // The data source this data set follows (a detail's master); none in the base.
    virtual TDataSource* GetDataSource() { return nullptr; }
    // True when following DataSource's chain of masters leads back to this data set.
    bool IsLinkedTo(TDataSource* DataSource);

    // ---- Events ----
    TDataSetNotifyEvent BeforeOpen, AfterOpen, BeforeClose, AfterClose, BeforeInsert, AfterInsert,
        BeforeEdit, AfterEdit, BeforePost, AfterPost, BeforeCancel, AfterCancel, BeforeDelete,
        AfterDelete, BeforeScroll, AfterScroll, OnNewRecord, OnCalcFields, BeforeRefresh, AfterRefresh;
    TDataSetErrorEvent OnEditError, OnPostError, OnDeleteError;

    // ---- Checks (each raises EDatabaseError naming the data set) ----
    void CheckActive();
    virtual void CheckInactive();

protected:
    // ---- The record operations a derived class gives ----
    virtual TRecordBuffer AllocRecordBuffer() = 0;
    virtual void FreeRecordBuffer(TRecordBuffer& Buffer) = 0;
    virtual TGetResult GetRecord(TRecordBuffer Buffer, TGetMode GetMode, bool DoCheck) = 0;
    virtual uint32_t GetRecordSize() = 0;
    virtual void InternalInitRecord(TRecordBuffer Buffer) = 0;
    virtual void InternalFirst() = 0;
    virtual void InternalLast() = 0;
    virtual void InternalSetToRecord(TRecordBuffer Buffer) = 0;
    virtual void GetBookmarkData(TRecordBuffer Buffer, uint8_t* Data) = 0;
    virtual void SetBookmarkData(TRecordBuffer Buffer, const uint8_t* Data) = 0;
    virtual TBookmarkFlag GetBookmarkFlag(TRecordBuffer Buffer) = 0;
    virtual void SetBookmarkFlag(TRecordBuffer Buffer, TBookmarkFlag Value) = 0;
    virtual void InternalGotoBookmark(const uint8_t* Bookmark) = 0;
    virtual bool GetCurrentRecord(TRecordBuffer) { return false; }
    virtual int GetRecNo() { return -1; }
    virtual int GetRecordCount() { return -1; }

    virtual void InternalOpen() = 0;
    virtual void InternalClose() = 0;
    virtual bool IsCursorOpen() = 0;
    virtual void InternalInitFieldDefs() = 0;
    // Open: InternalOpen, then the first window of records. InfoQuery: only the definitions.
    virtual void OpenCursor(bool InfoQuery);
    // Frees the buffers, then InternalClose.
    virtual void CloseCursor();

    virtual void InternalEdit() {}
    virtual void InternalInsert() {}
    virtual void InternalPost();   // required fields
    virtual void InternalCancel() {}
    virtual void InternalDelete() = 0;
    virtual void InternalAddRecord(TRecordBuffer Buffer, bool Append) = 0;
    virtual void InternalRefresh() {}
    virtual bool GetCanModify() { return true; }

    // ---- Buffers ----
    TRecordBuffer ActiveBuffer() const { return FBuffers.empty() ? nullptr : FBuffers[static_cast<size_t>(FActiveRecord)]; }
    TRecordBuffer CalcBuffer() const { return FCalcBuffer; }
    // The spare buffer after the window (fetching, inserting).
    TRecordBuffer TempBuffer() const { return FBuffers.empty() ? nullptr : FBuffers[static_cast<size_t>(FRecordCount)]; }
    TRecordBuffer Buffers(int Index) const { return FBuffers.at(static_cast<size_t>(Index)); }
    int BufferCount() const { return FBufferCount; }
    // Records in the window, and the active one's index in it.
    int BufferedRecordCount() const { return FRecordCount; }
    int ActiveRecord() const { return FActiveRecord; }
    // The window index the derived cursor stands on (-1: unknown); setting it moves the
    // cursor there (InternalSetToRecord, or InternalFirst / InternalLast for a BOF / EOF buffer).
    int CurrentRecord() const { return FCurrentRecord; }
    void SetCurrentRecord(int Index);
    void SetBookmarkSize(int Value) { FBookmarkSize = Value; }
    // Fetch one record after the window's last (before its first) into the window, sliding it
    // when full; the plural forms fill the window. False / 0 at the end of the records.
    bool GetNextRecord();
    bool GetPriorRecord();
    int GetNextRecords();
    int GetPriorRecords();
    // Fills a buffer for a new record: InternalInitRecord, ClearCalcFields, flag bfInserted.
    virtual void InitRecord(TRecordBuffer Buffer);

    // ---- States ----
    void SetState(TDataSetState Value);
    virtual void DataEvent(TDataEvent Event, intptr_t Info);

    // ---- Calculated fields ----
    // Computes the calculated and lookup fields of Buffer in the dsCalcFields state.
    virtual void GetCalcFields(TRecordBuffer Buffer);
    virtual void CalculateFields(TRecordBuffer Buffer);
    virtual void ClearCalcFields(TRecordBuffer) {}

    // ---- Fields ----
    virtual void CreateFields();
    // Binding gives data fields their FieldNo from the definition of their name (an unknown
    // name raises "Field '<name>' not found") and calculated and lookup fields FieldNo -1 and
    // an Offset in the calculated-field area; unbinding sets both back.
    virtual void BindFields(bool Binding);
    virtual void DestroyFields();
    void SetDefaultFields(bool Value) { FDefaultFields = Value; }
    virtual TFieldClass GetFieldClass(TFieldType FieldType);
    // The field's type must equal the definition's or be of its family (text, integers,
    // floating and decimal numbers, dates and times, blobs, bytes), else "Type mismatch for
    // field '<name>', expecting: <field type> actual: <definition type>".
    virtual void CheckFieldCompatibility(TField* Field, TFieldDef* FieldDef);
    // Rebuilds out-of-date field definitions (TFieldDefs::Update).
    virtual void InitFieldDefs() { InternalInitFieldDefs(); }
    void FreeFieldBuffers();

    // ---- Event callers (the derived class may add to each) ----
    virtual void DoBeforeOpen() { Fire(BeforeOpen); }
    virtual void DoAfterOpen() { Fire(AfterOpen); }
    virtual void DoBeforeClose() { Fire(BeforeClose); }
    virtual void DoAfterClose() { Fire(AfterClose); }
    virtual void DoBeforeInsert() { Fire(BeforeInsert); }
    virtual void DoAfterInsert() { Fire(AfterInsert); }
    virtual void DoBeforeEdit() { Fire(BeforeEdit); }
    virtual void DoAfterEdit() { Fire(AfterEdit); }
    virtual void DoBeforePost() { Fire(BeforePost); }
    virtual void DoAfterPost() { Fire(AfterPost); }
    virtual void DoBeforeCancel() { Fire(BeforeCancel); }
    virtual void DoAfterCancel() { Fire(AfterCancel); }
    virtual void DoBeforeDelete() { Fire(BeforeDelete); }
    virtual void DoAfterDelete() { Fire(AfterDelete); }
    virtual void DoBeforeScroll() { Fire(BeforeScroll); }
    virtual void DoAfterScroll() { Fire(AfterScroll); }
    virtual void DoOnNewRecord() { Fire(OnNewRecord); }
    virtual void DoOnCalcFields() { Fire(OnCalcFields); }
    virtual void DoBeforeRefresh() { Fire(BeforeRefresh); }
    virtual void DoAfterRefresh() { Fire(AfterRefresh); }

private:
    friend class TDataSource;
    friend class TDataLink;
    friend class TField;
    friend class TFieldDef;
    friend class TFieldDefs;

    void Fire(const TDataSetNotifyEvent& Event) { if (Event) Event(this); }
    // GetRecord with a stopped fetch (EAbort) taken as "no record there".
    TGetResult FetchRecord(TRecordBuffer Buffer, TGetMode Mode);
    void ActivateBuffers();
    void ClearBuffers();
    void MoveBuffer(int CurIndex, int NewIndex);
    void SetBufferCount(int Value);
    void UpdateBufferCount();
    void FreeBuffers();
    void CheckCanModify();
    using TOperation = void (TDataSet::*)();
    void CheckOperation(TOperation Operation, const TDataSetErrorEvent& ErrorEvent);
    void BeginInsertAppend();
    void EndInsertAppend();
    void InsertRecordValues(const std::vector<Variant>& Values, bool Append);
    void CheckRequiredFields();
    void CalculateLookupField(TField* Field);
    void AddDataSource(TDataSource* Source);
    void RemoveDataSource(TDataSource* Source);

    TFields FFields;
    TFieldDefs FFieldDefs;
    std::vector<TRecordBuffer> FBuffers;   // FBufferCount window buffers and the spare
    std::vector<TDataSource*> FDataSources;
    std::string FFilterText;
    TRecordBuffer FCalcBuffer = nullptr;
    TDataSetState FState = dsInactive;
    TDataEvent FEnableEvent = deDataSetChange;
    TDataSetState FDisableState = dsInactive;
    int FBufferCount = 0;
    int FRecordCount = 0;
    int FActiveRecord = 0;
    int FCurrentRecord = -1;
    int FBookmarkSize = 0;
    int FCalcFieldsSize = 0;
    int FBlobFieldCount = 0;
    int FDisableCount = 0;
    int FTempStateDepth = 0;
    TFilterOptions FFilterOptions = 0;
    bool FBOF = true;
    bool FEOF = true;
    bool FModified = false;
    bool FFiltered = false;
    bool FDefaultFields = false;
    bool FInternalCalcFields = false;
    bool FInternalOpenComplete = false;
};

// Connects data links (the objects that follow a data set) to one data set.
class TDataSource : public TComponent {
public:
    explicit TDataSource(TComponent* AOwner = nullptr);
    ~TDataSource() override;
    std::string ClassName() const override { return "TDataSource"; }

    TDataSet* DataSet() const { return FDataSet; }
    void SetDataSet(TDataSet* Value);
    // A disabled source tells its links that the data set is inactive.
    bool Enabled() const { return FEnabled; }
    void SetEnabled(bool Value);
    // The data set's state as the links see it.
    TDataSetState State() const { return FState; }
    // True when DataSet, or a master along its chain of data sources, is linked through this
    // source.
    bool IsLinkedTo(TDataSet* DataSet) const;

protected:
    void Notification(TComponent* AComponent, TOperation Operation) override;

private:
    friend class TDataSet;
    friend class TDataLink;
    void DataEvent(TDataEvent Event, intptr_t Info);
    void UpdateState();

    std::vector<TDataLink*> FDataLinks;
    TDataSet* FDataSet = nullptr;
    TDataSetState FState = dsInactive;
    bool FEnabled = true;
};

// Follows the data set of a data source: a derived class overrides the notifications it needs.
class TDataLink {
public:
    TDataLink() = default;
    virtual ~TDataLink();
    TDataLink(const TDataLink&) = delete;
    TDataLink& operator=(const TDataLink&) = delete;

    TDataSource* DataSource() const { return FDataSource; }
    void SetDataSource(TDataSource* Value);
    TDataSet* DataSet() const { return FDataSource ? FDataSource->DataSet() : nullptr; }
    // True while the source is enabled and its data set open.
    bool Active() const { return FActive; }
    // True while the data set is being edited or inserted into.
    bool Editing() const { return FEditing; }
    // How many records the link wants to see at once; the data set keeps as many buffers as
    // its greediest link.
    int BufferCount() const { return FBufferCount; }
    void SetBufferCount(int Value);

protected:
    virtual void ActiveChanged() {}
    virtual void CheckBrowseMode() {}
    virtual void DataSetChanged() { RecordChanged(nullptr); }
    virtual void DataSetScrolled(int /*Distance*/) { DataSetChanged(); }
    virtual void EditingChanged() {}
    virtual void LayoutChanged() { DataSetChanged(); }
    // Field nil: the whole record changed.
    virtual void RecordChanged(TField*) {}
    // Write pending values into the fields (the data set is about to post).
    virtual void UpdateData() {}

private:
    friend class TDataSource;
    friend class TDataSet;
    void DataEvent(TDataEvent Event, intptr_t Info);
    void UpdateState();

    TDataSource* FDataSource = nullptr;
    int FBufferCount = 1;
    bool FActive = false;
    bool FEditing = false;
    bool FUpdating = false;
};

// A link through which a detail data set follows its master.
class TDetailDataLink : public TDataLink {
public:
    virtual TDataSet* GetDetailDataSet() { return nullptr; }
};

} // namespace qnl
