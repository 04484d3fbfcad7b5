#pragma once
// One side of a comparison: the structure component owns a container, and the container owns
// every schema object of that side in one key-sorted list per kind, with the side's settings.
#include "core/qnlClasses.h"
#include "core/qnlDBOptions.h"
#include "core/qnlTypes.h"
#include "platform/Component.h"
#include "platform/StringList.h"

#include <array>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace qnl {

class TCustomDBStructure;
class TCustomExtract;
class TCustomSQLExec;

// The schema objects of one kind, filed under their keys in key order (bytes, or ASCII letters
// folded). An object filed under a key already there goes before the equal entries when the list
// accepts duplicates, and is not filed otherwise. Objects filed since the last positional access
// wait in a tree of their own and join the sorted list in one merge on the next positional
// access (Obj, Strings, Find's index): a reader filing thousands of objects never moves the list
// per object, and finding by key takes O(log n) throughout.
class TDbObjList {
public:
    TDbObjList() = default;
    TDbObjList(const TDbObjList&) = delete;
    TDbObjList& operator=(const TDbObjList&) = delete;

    int Count() const { return static_cast<int>(FItems.size() + FPending.size()); }
    TDbObj* Obj(int Index) const { return Items().at(static_cast<size_t>(Index)).Obj; }
    const std::string& Strings(int Index) const { return Items().at(static_cast<size_t>(Index)).Key; }
    const std::string& operator[](int Index) const { return Strings(Index); }

    // Files Obj under Key; answers whether it was filed (False: the key is there and the list
    // does not accept duplicates).
    bool AddObject(const std::string& Key, TDbObj* Obj);
    void Delete(int Index);
    // Takes the first object filed under Key out of the list; nullptr when none.
    TDbObj* Take(std::string_view Key);
    // Takes every object that Match answers True for out of the list, in list order.
    std::vector<TDbObj*> TakeIf(const std::function<bool(const TDbObj&)>& Match);
    void Clear();
    // Files every object again under its current key (GetKeyName); equal keys keep their order.
    void Rekey();

    // Under the list's case rule: the first object filed under Key, nullptr when none.
    TDbObj* FindObj(std::string_view Key) const;
    // Binary search: True when Key is filed, Index at its first entry (or where it would go).
    bool Find(std::string_view Key, int& Index) const;
    int IndexOf(std::string_view Key) const;
    int IndexOfObject(const TDbObj* Obj) const;

    bool CaseSensitive() const { return FLess.CaseSensitive; }
    void SetCaseSensitive(bool Value);
    void SetDuplicates(TDuplicates Value) { FDuplicates = Value; }

private:
    struct TItem {
        std::string Key;
        TDbObj* Obj = nullptr;
    };
    struct TKeyLess {
        using is_transparent = void;
        bool CaseSensitive = false;
        bool operator()(std::string_view A, std::string_view B) const {
            return CaseSensitive ? A < B : CompareText(A, B) < 0;
        }
    };
    using TPending = std::multimap<std::string, TDbObj*, TKeyLess>;
    const std::vector<TItem>& Items() const {
        if (!FPending.empty()) Merge();
        return FItems;
    }
    void Merge() const;
    // The first sorted entry not less than Key.
    std::vector<TItem>::const_iterator LowerBound(std::string_view Key) const;
    bool Same(std::string_view A, std::string_view B) const { return !FLess(A, B) && !FLess(B, A); }

    TKeyLess FLess;
    TDuplicates FDuplicates = TDuplicates::dupIgnore;
    // Sorted; FPending holds what was filed since, each before its equal entries here.
    mutable std::vector<TItem> FItems;
    mutable TPending FPending;
};

using TAcceptDbObjEvent = std::function<void(class TCustomObjs* Sender, TDbObj* aObj, bool& Accept)>;

// The password a container starts with; a script never writes it as one the caller gave.
inline constexpr const char* DefaultPassword = "plumtrees";

inline constexpr uint8_t sideNone = 0;
inline constexpr uint8_t sideMaster = 1;
inline constexpr uint8_t sideTarget = 2;

class TCustomObjs : public TObject {
public:
    TCustomObjs();
    ~TCustomObjs() override;
    std::string ClassName() const override { return "TCustomObjs"; }
    TCustomObjs(const TCustomObjs&) = delete;
    TCustomObjs& operator=(const TCustomObjs&) = delete;

    TCustomDBStructure* Structure = nullptr;
    TCustomObjs* CounterpartObjs = nullptr;
    std::string Terminator = ";";
    TCmpObjSetType CompareObjects = TCmpObjSetType::All();
    TConnectionOptions ConnectionOptions;
    TIBServerOptions IBServerOptions;
    TMSSQLServerOptions MSSQLServerOptions;
    TMySQLServerOptions MySQLServerOptions;
    TASAServerOptions ASAServerOptions;
    TASEServerOptions ASEServerOptions;
    TOracleServerOptions OracleServerOptions;
    TPGSQLServerOptions PGSQLServerOptions;
    TDB2ServerOptions DB2ServerOptions;
    uint8_t Side = sideNone;
    uint8_t QuoteOption = 0;
    TAcceptDbObjEvent OnAcceptDbObj;
    bool UseCounterpartDialect = false;
    TStringList ScriptLines;
    std::string CurrentSchema;
    uint8_t SourceKind = 0;  // 1 database, 2 script, 0 none
    // The database's own description (COMMENT ON DATABASE), line breaks as CR LF.
    std::string DatabaseDescription;

    TServerType ServerType() const { return FServerType; }
    void SetServerType(TServerType Value);
    void SetSide(uint8_t Value) { Side = Value; }

    // The executor objects write to; the container drops it when that executor is destroyed.
    TCustomSQLExec* SQLExec() const { return FSQLExec; }
    void SetSQLExec(TCustomSQLExec* Value);

    TDbObjList& List(TObjListKind Kind) { return FLists[static_cast<size_t>(Kind)]; }
    const TDbObjList& List(TObjListKind Kind) const { return FLists[static_cast<size_t>(Kind)]; }

    virtual void Clear();
    virtual void StoreCreateTexts() {}
    virtual void BuildScript() {}
    virtual void GetScript(TStringList& /*Lines*/) {}

    // Takes Obj over: files it under its key, or frees it (when asked) if it is rejected,
    // unknown or a duplicate.
    void AddDbObject(TDbObj* Obj, bool FreeIfRejected = true);
    bool AcceptDbObject(TDbObj* Obj);
    // Files a grant or folds it into an equal one; answers the grant when filed, nullptr when
    // merged (the caller then frees it).
    TDbObj* MergeGrant(TDbObj* Grant);
    void RekeyGrants();

    TCustomObjs* GetMasterObjs() const;
    TCustomObjs* GetTargetObjs() const;
    int GetTargetODSMajor() const;
    std::string GetNamePrefix() const;
    std::string GetUserServerVersionText() const;
    void DoLogNextLine(const std::string& Text);
    void DoErrorMessage(const std::string& Text);

    // Finders: nullptr when nothing matches.
    TDbObj* FindDomain(const std::string& Key) const { return List(olDomains).FindObj(Key); }
    TDbObj* FindTable(const std::string& Key) const { return List(olTables).FindObj(Key); }
    TDbObj* FindView(const std::string& Key) const { return List(olViews).FindObj(Key); }
    TDbObj* FindProcedure(const std::string& Key) const { return List(olProcedures).FindObj(Key); }
    TDbObj* FindTrigger(const std::string& Key) const { return List(olTriggers).FindObj(Key); }
    TDbObj* FindGenerator(const std::string& Key) const { return List(olGenerators).FindObj(Key); }
    TDbObj* FindException(const std::string& Key) const { return List(olExceptions).FindObj(Key); }
    TDbObj* FindIndex(const std::string& Key) const { return List(olIndices).FindObj(Key); }
    TDbObj* FindUDF(const std::string& Key) const { return List(olUDFs).FindObj(Key); }
    TDbObj* FindPackage(const std::string& Key) const { return List(olPackages).FindObj(Key); }
    TDbObj* FindTableField(const std::string& Table, const std::string& Field) const;
    TDbObj* FindViewField(const std::string& View, const std::string& Field) const;
    TDbObj* FindProcParam(const std::string& Procedure, const std::string& Param) const;
    TDbObj* FindRole(const std::string& AName) const { return FindRoleOfKind(AName, 0); }
    TDbObj* FindLogin(const std::string& AName) const { return FindRoleOfKind(AName, 1); }
    TDbObj* FindUser(const std::string& AName) const { return FindRoleOfKind(AName, 2); }

    // The filed views that read a table of that name (a dependency entry on it, active or not), in
    // list order.
    std::vector<TDbObj*> ViewsReadingTable(const std::string& TableName);
    // The filed triggers that fire on Relation (GetRelation), in list order.
    std::vector<TDbObj*> TriggersOn(const TDbObj* Relation);
    // While the indices are kept (a comparison: its passes file no object, register no dependency
    // and move no trigger) the two answers above come from indices built on first use; otherwise
    // from a scan of the list.
    void KeepIndices(bool Value);

protected:
    // Frees every filed object and empties the lists.
    void FreeObjects();

private:
    TDbObj* FindRoleOfKind(const std::string& AName, int RoleKind) const;
    void DropExecutorLink();

    // Watches the executor for its destruction.
    class TExecWatch : public TComponent {
    public:
        explicit TExecWatch(TCustomObjs* AObjs) : FObjs(AObjs) {}

    protected:
        void Notification(TComponent* AComponent, TOperation Operation) override;

    private:
        TCustomObjs* FObjs;
    };

    TServerType FServerType = stNone;
    TCustomSQLExec* FSQLExec = nullptr;
    std::array<TDbObjList, ObjListCount> FLists;
    TExecWatch FExecWatch{this};
    bool FKeepIndices = false;
    std::unique_ptr<std::unordered_map<std::string, std::vector<TDbObj*>>> FViewIndex;
    std::unique_ptr<std::unordered_map<const TDbObj*, std::vector<TDbObj*>>> FTriggerIndex;
};

// The structure container that can write itself as one DDL script building it from nothing.
class TObjs : public TCustomObjs {
public:
    TObjs() = default;
    ~TObjs() override;
    std::string ClassName() const override { return "TObjs"; }

    // MSSQL: the QUOTED_IDENTIFIER and ANSI_NULLS settings the script has set last.
    bool QuotedIdentifierState = false;
    bool AnsiNullsState = false;
    TScriptOptions ScriptOptions;
    // While set, every object's texts are also saved as files in this folder.
    std::string ObjectFilesDir;

    void Clear() override;
    void StoreCreateTexts() override;

    // Fills ScriptLines with the script of the whole structure: a header in the container's
    // dialect, then every object's CREATE text with its owner and description statements.
    void BuildScript() override;
    // Appends that script to Lines (which keeps what it holds); ScriptLines is left empty.
    void GetScript(TStringList& Lines) override;

    void WriteDatabaseHeader(TStringList& Lines);
    void WriteSchemas();
    void WriteUDFs();
    void WriteCollations();
    void WriteDomains();
    void WriteTables();
    void WriteIndices();
    void WritePackages();
    void WriteConstraints();
    void WriteExceptions();
    void WriteGenerators();
    void WriteViews();
    void WriteProcedures();
    void WriteTriggers();
    void WriteEvents();
    void WriteRoles();
    void WriteGrants();
    void WriteMSSQLSettings(bool QuotedIdentifier, bool AnsiNulls);
    void WriteOwnerAndComment(TDbObj& Obj, TStringList& Lines);
    void WriteObjectFiles(TDbObj& Obj);
    // Writes Text as it is into the file (replacing it); a failure is reported, never raised.
    void SaveTextToFile(const std::string& FileName, const std::string& Text);

private:
    void AddText(const std::string& Text);
    void WriteList(TObjListKind Kind, bool UseCreateStatement, bool MSSQLSettings, bool EmptyLine, bool OwnerAndComment);
    void WriteConstraintsOfType(int ConstraintType, bool WithFiles);
    void WriteRoutines(TObjListKind Kind);
    void BeginTermBlock(bool NonEmpty);
    void EndTermBlock(bool NonEmpty);
    // To the note procedure, and to the extractor's error event (or the message box).
    void ReportError(const std::string& Text);
    void WriteRoutineStubs();
    void WriteRoutineBodies();
    void WritePackageParts(bool Bodies);
    void WriteViewsInDependencyOrder();
    void WriteComputedColumns();
    void WriteDatabaseDescription();
};

class TCustomDBStructure : public TComponent {
public:
    explicit TCustomDBStructure(TComponent* AOwner = nullptr) : TComponent(AOwner) {}
    std::string ClassName() const override { return "TCustomDBStructure"; }

    TObjs* Objs() const { return FObjs.get(); }
    TCustomExtract* Extractor = nullptr;  // set by the extractor that links itself here
    std::string NamePrefix;

    virtual void Clear();
    void SetServerType(TServerType Value);
    TServerType GetServerType() const;

protected:
    std::unique_ptr<TObjs> FObjs;
};

class TDBStructure : public TCustomDBStructure {
public:
    explicit TDBStructure(TComponent* AOwner = nullptr);
    std::string ClassName() const override { return "TDBStructure"; }

    // Reading answers the container's object (nullptr without one); writing copies the given
    // settings into it and does nothing without a container.
#define QNL_OPTIONS_PROPERTY(Type, Name)                                  \
    Type* Name() const { return FObjs ? &FObjs->Name : nullptr; }         \
    void Set##Name(const Type& Value) {                                   \
        if (FObjs) FObjs->Name.Assign(Value);                             \
    }
    QNL_OPTIONS_PROPERTY(TIBServerOptions, IBServerOptions)
    QNL_OPTIONS_PROPERTY(TASAServerOptions, ASAServerOptions)
    QNL_OPTIONS_PROPERTY(TASEServerOptions, ASEServerOptions)
    QNL_OPTIONS_PROPERTY(TMySQLServerOptions, MySQLServerOptions)
    QNL_OPTIONS_PROPERTY(TMSSQLServerOptions, MSSQLServerOptions)
    QNL_OPTIONS_PROPERTY(TOracleServerOptions, OracleServerOptions)
    QNL_OPTIONS_PROPERTY(TPGSQLServerOptions, PGSQLServerOptions)
    QNL_OPTIONS_PROPERTY(TDB2ServerOptions, DB2ServerOptions)
#undef QNL_OPTIONS_PROPERTY
};

} // namespace qnl
