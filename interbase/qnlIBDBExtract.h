#pragma once
// The database extractor: fills one side's structure from a live InterBase/Firebird database by
// reading its system tables (the RDB$ catalogue) through the library's abstract connection and
// query, one schema object per catalogue row, then parses the stored sources of domains,
// routines, triggers, views, indices, computed columns and checks so that the dependencies
// between objects are recorded and linked.
//
// The readers are split over several files: the driver, the capability probe and the body
// parsing here (qnlIBDBExtract.cpp); domains, tables and columns (qnlIBDBExtractTables.cpp);
// indices and constraints (qnlIBDBExtractKeys.cpp); functions, procedures and packages
// (qnlIBDBExtractRoutines.cpp); views and triggers (qnlIBDBExtractViews.cpp); generators,
// exceptions, collations, roles and grants (qnlIBDBExtractOther.cpp).
//
// Every name that goes into a catalogue query goes in as a parameter, never spliced into the
// text: Firebird accepts names that hold quotes.
#include "core/qnlDBEngine.h"
#include "core/qnlExtract.h"
#include "objects/qnlComp_Rol.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace qnl {

namespace dbrow {
struct TCatalogueCache;
struct TReadRoutine;
}

class TFldData;
class TGntData;
class TObjs;

// The text of a stored default clause as a bare default value: comments removed, then a leading
// DEFAULT keyword (followed by anything that cannot continue a name: a blank, a line break, a
// quote, a parenthesis, a sign...) or a leading "=" (the form parameters store) taken away, and
// the rest trimmed. "default\n  5", "DEFAULT/*c*/'x'" and "= 5" give "5", "'x'" and "5"; a value
// that merely begins with the letters DEFAULT (DEFAULTS, a column name) is kept.
std::string CleanDefaultSource(const std::string& Text);

// The text without its "/* */" comments (and "--" comments up to the line break when
// RemoveLineComments); quoted literals and names are copied unchanged.
std::string RemoveComments(const std::string& Text, bool RemoveLineComments);

// The schema-object kind of an RDB$USER_TYPE or RDB$OBJECT_TYPE code.
TDbObject IBObjectTypeToDbObject(int Code);
// The privileges of an RDB$PRIVILEGE letter; empty for letters that grant no privilege ("M").
TGrantPrivileges IBPrivilegeToSet(char Letter);

// The server version of the facts a connection read from the database (version text and ODS),
// so that a structure read from a database gets the version gates of the server it came from.
// Firebird 3.0 (ODS 12) gives st_Firebird_30; Fallback when the facts name no known server.
TIBSQLServerVersionType ServerVersionFromFacts(const TIBDatabaseOptions& Facts, TIBSQLServerVersionType Fallback);

class TIBDBExtract : public TCustomExtract {
public:
    explicit TIBDBExtract(TComponent* AOwner = nullptr);
    ~TIBDBExtract() override;
    std::string ClassName() const override { return "TIBDBExtract"; }

    // The connection to read through; referenced, not owned (cleared when it is freed).
    TQNLCustomConnection* QNLConnection() const { return FConnection; }
    void SetQNLConnection(TQNLCustomConnection* Value);

    void SetDBStructure(TCustomDBStructure* Value) override;
    // Reads the whole database into the structure. True only when every step ran to its end:
    // a precondition that fails, an error while connecting or reading (a reader that reports
    // and goes on included) and an abort all answer False, with the reason reported.
    bool ExtractDatabase() override;

    // ---- what the catalogue offers (set by ReadDatabaseInfo, from one run to the next) ----
    bool HasFieldPrecision = false;        // RDB$FIELDS.RDB$FIELD_PRECISION
    bool HasRelationType = false;          // RDB$RELATIONS.RDB$RELATION_TYPE
    bool HasGeneratorDescription = false;  // RDB$GENERATORS.RDB$DESCRIPTION
    bool HasRoleDescription = false;       // RDB$ROLES.RDB$DESCRIPTION
    bool HasRoleSystemFlag = false;        // RDB$ROLES.RDB$SYSTEM_FLAG
    bool HasRoles = false;                 // relation RDB$ROLES
    bool HasUpdateRule = false;            // RDB$REF_CONSTRAINTS.RDB$UPDATE_RULE
    bool HasDeleteRule = false;            // RDB$REF_CONSTRAINTS.RDB$DELETE_RULE
    bool HasArgumentPrecision = false;     // RDB$FUNCTION_ARGUMENTS.RDB$FIELD_PRECISION
    bool HasParameterMechanism = false;    // RDB$PROCEDURE_PARAMETERS.RDB$PARAMETER_MECHANISM
    bool HasParameterDefault = false;      // RDB$PROCEDURE_PARAMETERS.RDB$DEFAULT_SOURCE
    bool HasParameterCollation = false;    // RDB$PROCEDURE_PARAMETERS.RDB$COLLATION_ID
    bool HasIdentityGenerator = false;     // RDB$RELATION_FIELDS.RDB$GENERATOR_NAME
    bool HasIdentityType = false;          // RDB$RELATION_FIELDS.RDB$IDENTITY_TYPE
    bool HasParameterRelation = false;     // RDB$PROCEDURE_PARAMETERS.RDB$RELATION_NAME
    bool HasGeneratorIncrement = false;    // RDB$GENERATORS.RDB$GENERATOR_INCREMENT
    bool HasParameterNullFlag = false;     // RDB$PROCEDURE_PARAMETERS.RDB$NULL_FLAG
    bool HasFunctionSource = false;        // RDB$FUNCTIONS.RDB$FUNCTION_SOURCE
    bool HasArgumentName = false;          // RDB$FUNCTION_ARGUMENTS.RDB$ARGUMENT_NAME
    bool HasArgumentDescription = false;   // RDB$FUNCTION_ARGUMENTS.RDB$DESCRIPTION
    bool HasPackages = false;              // relation RDB$PACKAGES
    bool HasProcedurePackage = false;      // RDB$PROCEDURES.RDB$PACKAGE_NAME
    bool HasBaseCollation = false;         // RDB$COLLATIONS.RDB$BASE_COLLATION_NAME
    bool HasFunctionOwner = false;         // RDB$FUNCTIONS.RDB$OWNER_NAME
    // Facts Firebird 3 stores that the older catalogues lack.
    bool HasGeneratorInitialValue = false; // RDB$GENERATORS.RDB$INITIAL_VALUE
    bool HasArgumentDefault = false;       // RDB$FUNCTION_ARGUMENTS.RDB$DEFAULT_SOURCE
    bool HasArgumentMechanism = false;     // RDB$FUNCTION_ARGUMENTS.RDB$ARGUMENT_MECHANISM
    bool HasArgumentNullFlag = false;      // RDB$FUNCTION_ARGUMENTS.RDB$NULL_FLAG
    bool HasArgumentCollation = false;     // RDB$FUNCTION_ARGUMENTS.RDB$COLLATION_ID
    bool HasArgumentRelation = false;      // RDB$FUNCTION_ARGUMENTS.RDB$RELATION_NAME
    bool HasDeterministicFlag = false;     // RDB$FUNCTIONS.RDB$DETERMINISTIC_FLAG

    // ---- the driver ----
    // Copies the connection's options and server facts into the container, the server version
    // derived from the facts included.
    void CopyConnectionToStructure();
    // The probe, the reading steps in their fixed order and the body parsing; False when an
    // abort stopped it.
    bool ExtractAll();
    // The capability probe: resets and sets the Has... flags; fills the container's character
    // set when the connection reported none.
    void ReadDatabaseInfo();
    // Parses the stored sources with the body parser and links the recorded dependencies.
    void LinkDependencies();

    // ---- the readers; each runs one step of ExtractAll ----
    void ExtractCollations();
    void ExtractFunctions();
    void ExtractDomains();
    void ExtractTables();
    void ExtractViews();
    void ExtractGenerators();
    void ExtractProcedures();
    void ExtractPackages();
    // The descriptions of packaged routines and their parameters, onto the packages read.
    void ReadMemberDescriptions();
    void ExtractTriggers();
    void ExtractIndices();
    void ExtractExceptions();
    void ExtractUniques();
    void ExtractPrimaryKeys();
    void ExtractForeignKeys();
    void ExtractChecks();
    void ExtractRoles();
    void ExtractGrants();

    // ---- helpers shared by the readers ----
    // Turns the catalogue's type, sub-type, precision and scale (Null for a NULL column) into
    // the model's numeric type; Field's IBFieldType and DataType must be set.
    void ApplyNumericPrecision(int32_t FieldType, int32_t SubType, const TQNLValue& Precision,
                               const TQNLValue& Scale, TFldData& Field, bool HasPrecision);
    // The arguments of the functions of library modules, by function and position.
    std::string GetFunctionArgumentsSQL();
    // One argument from the current row of an argument query.
    void ReadFunctionArgument(TQNLQuery& Query, TFldData& Field);
    std::string GetForeignKeySQL();
    // One grant query: its rows folded into grants handed to the container.
    void ReadGrants(const std::string& Text);
    // Firebird 3's DDL privileges: one grant per row.
    void ReadDdlGrants();
    // Files Grant in the container or merges it into an equal one; frees what is not filed.
    void AddGrant(TGntData* Grant);

    // Logs Text (the twin of DoLogNextLine the readers use).
    void LogLine(const std::string& Text);
    // A reader that catches an error and goes on reports it here: the text becomes an error
    // message (kind 2) and the run's result becomes False.
    void ReportReadError(const std::string& Text);

protected:
    void Notification(TComponent* AComponent, TOperation Operation) override;

    // The container being filled (nullptr without a structure).
    TObjs* Objs() const;
    // The main query of the running extraction (shared by the readers one after the other) and
    // a new query of the connection for a reader's own use.
    TQNLQuery& MainQuery() { return *FQuery; }
    std::unique_ptr<TQNLQuery> NewQuery(TComponent* Owner = nullptr);
    // IgnoreIBEObjects of the container's compare options.
    bool IgnoreIBEObjects() const;
    // The body parsing of one kind list.
    void ParseListBodies(class TCustomSQLParser& Parser, TObjListKind List);

private:
    // One step of ExtractAll: progress before, the readers when Gate holds, progress after.
    void RunStep(const std::string& Caption, bool Gate, void (TIBDBExtract::*Reader)());
    // The columns of every table the map names, read with one query in relation and position
    // order and handed to their tables.
    void ReadTableColumns(const std::unordered_map<std::string, class TTblData*>& Tables);
    // The array bounds of a column or domain whose field source (the RDB$FIELDS row) is FieldName.
    void ReadFieldDimensions(TFldData& Column, const std::string& FieldName);
    // The parameters of the functions read (Read, found by name through ByName), with one query
    // for the stored and external-engine ones and one for those of library modules.
    void ReadStoredFunctionArguments(std::vector<dbrow::TReadRoutine>& Read,
                                     const std::unordered_map<std::string, size_t>& ByName);
    void ReadExternalFunctionArguments(std::vector<dbrow::TReadRoutine>& Read,
                                       const std::unordered_map<std::string, size_t>& ByName);
    // Opens a new query of Text and hands each of its rows to Row.
    void ForEachRow(const std::string& Text, const std::function<void(TQNLQuery&)>& Row);
    // The columns of an index in segment order (empty for an index without segments).
    const std::vector<std::string>& IndexSegments(const std::string& IndexName);

    TQNLCustomConnection* FConnection = nullptr;
    std::unique_ptr<TQNLQuery> FQuery;
    std::unique_ptr<dbrow::TCatalogueCache> FCache;
    bool FReadFailed = false;
};

} // namespace qnl
