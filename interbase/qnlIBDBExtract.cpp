// The database extractor's driver: preconditions, connecting, the capability probe, the
// reading steps in their fixed order, the body parsing and the result.
#include "interbase/qnlIBDBExtract.h"
#include "interbase/qnlIBDBExtractRows.h"

#include "core/qnlDBStructure.h"
#include "interbase/qnlIBExParser.h"
#include "objects/qnlComp_Tbl.h"

#include <cctype>
#include <exception>

namespace qnl {

namespace {

// The reading steps and the body parsing.
constexpr int ExtractStepCount = 17;

// One probe branch per optional column: its number, relation and column.
struct TColumnProbe {
    int Number;
    const char* Relation;
    const char* Column;
};

constexpr TColumnProbe ColumnProbes[] = {
    {2, "RDB$FIELDS", "RDB$FIELD_PRECISION"},
    {6, "RDB$RELATIONS", "RDB$RELATION_TYPE"},
    {7, "RDB$GENERATORS", "RDB$DESCRIPTION"},
    {8, "RDB$ROLES", "RDB$DESCRIPTION"},
    {9, "RDB$ROLES", "RDB$SYSTEM_FLAG"},
    {11, "RDB$REF_CONSTRAINTS", "RDB$UPDATE_RULE"},
    {12, "RDB$REF_CONSTRAINTS", "RDB$DELETE_RULE"},
    {14, "RDB$PROCEDURE_PARAMETERS", "RDB$PARAMETER_MECHANISM"},
    {15, "RDB$PROCEDURE_PARAMETERS", "RDB$DEFAULT_SOURCE"},
    {16, "RDB$PROCEDURE_PARAMETERS", "RDB$COLLATION_ID"},
    {13, "RDB$FUNCTION_ARGUMENTS", "RDB$FIELD_PRECISION"},
    {17, "RDB$RELATION_FIELDS", "RDB$GENERATOR_NAME"},
    {18, "RDB$RELATION_FIELDS", "RDB$IDENTITY_TYPE"},
    {19, "RDB$PROCEDURE_PARAMETERS", "RDB$RELATION_NAME"},
    {20, "RDB$GENERATORS", "RDB$GENERATOR_INCREMENT"},
    {21, "RDB$PROCEDURE_PARAMETERS", "RDB$NULL_FLAG"},
    {22, "RDB$FUNCTIONS", "RDB$FUNCTION_SOURCE"},
    {23, "RDB$FUNCTION_ARGUMENTS", "RDB$ARGUMENT_NAME"},
    {24, "RDB$FUNCTION_ARGUMENTS", "RDB$DESCRIPTION"},
    {26, "RDB$PROCEDURES", "RDB$PACKAGE_NAME"},
    {27, "RDB$COLLATIONS", "RDB$BASE_COLLATION_NAME"},
    {28, "RDB$FUNCTIONS", "RDB$OWNER_NAME"},
    {29, "RDB$GENERATORS", "RDB$INITIAL_VALUE"},
    {30, "RDB$FUNCTION_ARGUMENTS", "RDB$DEFAULT_SOURCE"},
    {31, "RDB$FUNCTION_ARGUMENTS", "RDB$ARGUMENT_MECHANISM"},
    {32, "RDB$FUNCTION_ARGUMENTS", "RDB$NULL_FLAG"},
    {33, "RDB$FUNCTION_ARGUMENTS", "RDB$COLLATION_ID"},
    {34, "RDB$FUNCTION_ARGUMENTS", "RDB$RELATION_NAME"},
    {35, "RDB$FUNCTIONS", "RDB$DETERMINISTIC_FLAG"},
};

std::string RelationProbe(int Number, const char* Relation) {
    return "select cast(" + std::to_string(Number) +
           " as integer), cast(rdb$relation_name as varchar(64)), cast(' ' as varchar(64))  from rdb$relations "
           "where (rdb$relation_name = '" +
           Relation + "')";
}

std::string ColumnProbe(const TColumnProbe& P) {
    return "select cast(" + std::to_string(P.Number) +
           " as integer),  cast(rdb$relation_name as varchar(64)), cast(rdb$field_name as varchar(64)) from "
           "rdb$relation_fields where (rdb$relation_name = '" +
           P.Relation + "') and (rdb$field_name = '" + P.Column + "')";
}

// The first run of digits "M.N" after Marker in Text; False when there is none.
bool VersionAfter(const std::string& Text, const std::string& Marker, int& Major, int& Minor) {
    const size_t at = Text.find(Marker);
    if (at == std::string::npos) return false;
    size_t i = at + Marker.size();
    while (i < Text.size() && !std::isdigit(static_cast<unsigned char>(Text[i]))) ++i;
    if (i >= Text.size()) return false;
    Major = 0;
    while (i < Text.size() && std::isdigit(static_cast<unsigned char>(Text[i]))) Major = Major * 10 + (Text[i++] - '0');
    Minor = 0;
    if (i + 1 < Text.size() && Text[i] == '.' && std::isdigit(static_cast<unsigned char>(Text[i + 1]))) {
        ++i;
        while (i < Text.size() && std::isdigit(static_cast<unsigned char>(Text[i]))) Minor = Minor * 10 + (Text[i++] - '0');
    }
    return true;
}

} // namespace

TIBSQLServerVersionType ServerVersionFromFacts(const TIBDatabaseOptions& Facts, TIBSQLServerVersionType Fallback) {
    int major = 0, minor = 0;
    const std::string& text = Facts.ServerVersion;
    if (VersionAfter(text, "Firebird", major, minor)) {
        if (major >= 4) return st_Firebird_40;
        if (major == 3) return st_Firebird_30;
        if (major == 2) return minor >= 5 ? st_Firebird_25 : minor == 1 ? st_Firebird_21 : st_Firebird_20;
        if (major == 1) return minor >= 5 ? st_FireBird_15 : st_FireBird_1x;
        return Fallback;
    }
    if (text.find("InterBase") != std::string::npos) return Fallback;
    // No name in the text: the on-disk structure says which Firebird wrote the database.
    switch (Facts.ODSMajor) {
    case 13: return st_Firebird_40;
    case 12: return st_Firebird_30;
    case 11:
        return Facts.ODSMinor >= 2 ? st_Firebird_25 : Facts.ODSMinor == 1 ? st_Firebird_21 : st_Firebird_20;
    default: return Fallback;
    }
}

TIBDBExtract::TIBDBExtract(TComponent* AOwner) : TCustomExtract(AOwner) {
    StepCount = ExtractStepCount;
    StepIndex = 0;
    ServerType = stInterBase;
}

TIBDBExtract::~TIBDBExtract() {
    FQuery.reset();
    SetQNLConnection(nullptr);
}

void TIBDBExtract::SetQNLConnection(TQNLCustomConnection* Value) {
    if (Value == FConnection) return;
    if (FConnection) RemoveFreeNotification(FConnection);
    FConnection = Value;
    if (FConnection) FConnection->FreeNotification(this);
}

void TIBDBExtract::Notification(TComponent* AComponent, TOperation Operation) {
    TCustomExtract::Notification(AComponent, Operation);
    if (Operation == TOperation::opRemove && AComponent == FConnection) {
        // The queries of a connection go before it.
        FQuery.reset();
        FConnection = nullptr;
    }
}

void TIBDBExtract::SetDBStructure(TCustomDBStructure* Value) { TCustomExtract::SetDBStructure(Value); }

TObjs* TIBDBExtract::Objs() const { return DBStructure() ? DBStructure()->Objs() : nullptr; }

std::unique_ptr<TQNLQuery> TIBDBExtract::NewQuery(TComponent* Owner) {
    std::unique_ptr<TQNLQuery> q = FConnection->CreateQuery(Owner);
    if (!q) throw std::runtime_error(FConnection->ClassName() + " gave no query.");
    return q;
}

void TIBDBExtract::ForEachRow(const std::string& Text, const std::function<void(TQNLQuery&)>& Row) {
    std::unique_ptr<TQNLQuery> q = NewQuery();
    q->SetSQLText(Text);
    q->Open();
    while (!q->GetEof()) {
        Row(*q);
        q->Next();
    }
    q->Close();
}

bool TIBDBExtract::IgnoreIBEObjects() const {
    return Objs() && Objs()->IBServerOptions.IBCompareOptions.IgnoreIBEObjects;
}

void TIBDBExtract::LogLine(const std::string& Text) { DoLogNextLine(Text); }

void TIBDBExtract::ReportReadError(const std::string& Text) {
    FReadFailed = true;
    DoErrorMessage(Text);
}

bool TIBDBExtract::ExtractDatabase() {
    TCustomExtract::ExtractDatabase();
    FReadFailed = false;
    StepCount = ExtractStepCount;
    StepIndex = 0;
    DoProgressUpdate(0, StepCount);
    DoProgressStep(0, "Starting", 0, StepCount);
    if (!FConnection) {
        DoErrorMessage("TIBDBExtract.ExtractDatabase(): Connection property not assigned.");
        return false;
    }
    if (FConnection->ConnectionType() == 0) {
        DoErrorMessage("TIBDBExtract.ExtractDatabase(): ConnectionType in Connection not specified.");
        return false;
    }
    if (!DBStructure() || !Objs()) {
        DoErrorMessage("TIBDBExtract.ExtractDatabase(): DBStructure not assigned.");
        return false;
    }
    DBStructure()->Clear();
    Objs()->SourceKind = 1;
    DBStructure()->SetServerType(ServerType);
    Objs()->ConnectionOptions.Assign(FConnection->ConnectionOptions);

    bool finished = false;
    FCache = std::make_unique<dbrow::TCatalogueCache>();
    try {
        FQuery = NewQuery(this);
        ProcessAppMessages();
        FConnection->SetConnected(false);
        FConnection->IBEngineOptions.Assign(Objs()->IBServerOptions);
        FConnection->SetConnected(true);
        // A binding that reports instead of raising leaves the connection closed.
        if (!FConnection->GetConnected())
            throw std::runtime_error("TIBDBExtract.ExtractDatabase(): could not connect to the database.");
        CopyConnectionToStructure();
        LogServerVersion();
        ProcessAppMessages();
        finished = ExtractAll();
        if (finished) {
            StepIndex = StepCount;
            DoProgressUpdate(StepIndex, StepCount);
        } else {
            DoErrorMessage("TIBDBExtract.ExtractDatabase(): extraction aborted; the structure is incomplete.");
        }
    } catch (const std::exception& e) {
        DoErrorMessage(e.what());
        finished = false;
    }
    try {
        FConnection->SetConnected(false);
    } catch (const std::exception& e) {
        DoErrorMessage(e.what());
        finished = false;
    }
    FQuery.reset();
    FCache.reset();
    return finished && !FReadFailed;
}

void TIBDBExtract::CopyConnectionToStructure() {
    TObjs* objs = Objs();
    const TIBEngineOptions& engine = FConnection->IBEngineOptions;
    objs->ConnectionOptions.Assign(FConnection->ConnectionOptions);
    objs->IBServerOptions.IBDatabaseOptions.Assign(engine.IBDatabaseOptions);
    objs->IBServerOptions.SetDBCharSet(engine.DBCharSet());
    objs->IBServerOptions.SQLDialect = engine.SQLDialect;
    // The version gates of the readers and the body parser follow the server the database
    // came from, not whatever the structure was configured with.
    objs->IBServerOptions.SQLServerVersion =
        ServerVersionFromFacts(engine.IBDatabaseOptions, objs->IBServerOptions.SQLServerVersion);
}

void TIBDBExtract::RunStep(const std::string& Caption, bool Gate, void (TIBDBExtract::*Reader)()) {
    DoProgressStep(0, Caption, StepIndex, StepCount);
    if (Gate) (this->*Reader)();
    ++StepIndex;
    DoProgressUpdate(StepIndex, StepCount);
}

bool TIBDBExtract::ExtractAll() {
    ReadDatabaseInfo();
    ProcessAppMessages();
    const TCmpObjSetType kinds = GetExtractObjects();
    struct TStep {
        const char* Caption;
        bool Gate;
        void (TIBDBExtract::*Reader)();
    };
    const TStep steps[] = {
        {"Collations", true, &TIBDBExtract::ExtractCollations},
        {"Functions", kinds.Contains(coFunction), &TIBDBExtract::ExtractFunctions},
        {"Domains", kinds.Contains(coDomain), &TIBDBExtract::ExtractDomains},
        {"Tables", kinds.Contains(coTable), &TIBDBExtract::ExtractTables},
        {"Views", kinds.Contains(coView), &TIBDBExtract::ExtractViews},
        {"Generators", kinds.Contains(coGenerator), &TIBDBExtract::ExtractGenerators},
        {"Procedures", kinds.Contains(coProcedure), &TIBDBExtract::ExtractProcedures},
        {"Triggers", kinds.Contains(coTrigger), &TIBDBExtract::ExtractTriggers},
        {"Indexes", kinds.Contains(coIndex), &TIBDBExtract::ExtractIndices},
        {"Exceptions", kinds.Contains(coException), &TIBDBExtract::ExtractExceptions},
        {"Unique's", kinds.Contains(coUnique), &TIBDBExtract::ExtractUniques},
        {"Primary keys", kinds.Contains(coPrimaryKey), &TIBDBExtract::ExtractPrimaryKeys},
        {"Foreign keys", kinds.Contains(coForeignKey), &TIBDBExtract::ExtractForeignKeys},
        {"Checks", kinds.Contains(coCheck), &TIBDBExtract::ExtractChecks},
        {"Roles", kinds.Contains(coRole), &TIBDBExtract::ExtractRoles},
        {"Grants", kinds.Contains(coGrant), &TIBDBExtract::ExtractGrants},
        {"Parsing bodies", true, &TIBDBExtract::LinkDependencies},
    };
    for (const TStep& s : steps) {
        if (AbortRequested) return false;
        RunStep(s.Caption, s.Gate, s.Reader);
        if (s.Reader == &TIBDBExtract::ExtractProcedures && s.Gate && !AbortRequested) ExtractPackages();
    }
    // A reader that stopped on the abort in the last step.
    if (AbortRequested) return false;
    DoProgressStep(0, "Finished", StepIndex, StepCount);
    return true;
}

void TIBDBExtract::ReadDatabaseInfo() {
    HasFieldPrecision = HasRelationType = HasGeneratorDescription = HasRoleDescription = HasRoleSystemFlag =
        HasRoles = HasUpdateRule = HasDeleteRule = HasArgumentPrecision = HasParameterMechanism =
            HasParameterDefault = HasParameterCollation = HasIdentityGenerator = HasIdentityType =
                HasParameterRelation = HasGeneratorIncrement = HasParameterNullFlag = HasFunctionSource =
                    HasArgumentName = HasArgumentDescription = HasPackages = HasProcedurePackage =
                        HasBaseCollation = HasFunctionOwner = false;
    HasGeneratorInitialValue = HasArgumentDefault = HasArgumentMechanism = HasArgumentNullFlag =
        HasArgumentCollation = HasArgumentRelation = HasDeterministicFlag = false;

    std::string text =
        " select cast(1 as integer) Typ, cast(d.rdb$character_set_name as varchar(64)) Val1, "
        "cast(c.rdb$default_collate_name as varchar(64)) Val2  from rdb$database d left join rdb$character_sets c "
        "ON (d.rdb$character_set_name = c.rdb$character_set_name)";
    for (const TColumnProbe& p : ColumnProbes) {
        text += " union " + ColumnProbe(p);
        if (p.Number == 9) text += " union " + RelationProbe(10, "RDB$ROLES");
        if (p.Number == 24) text += " union " + RelationProbe(25, "RDB$PACKAGES");
    }
    TQNLQuery& q = MainQuery();
    q.SetSQLText(text);
    q.Open();
    bool* const flags[] = {
        nullptr, nullptr, &HasFieldPrecision, nullptr, nullptr, nullptr, &HasRelationType, &HasGeneratorDescription,
        &HasRoleDescription, &HasRoleSystemFlag, &HasRoles, &HasUpdateRule, &HasDeleteRule, &HasArgumentPrecision,
        &HasParameterMechanism, &HasParameterDefault, &HasParameterCollation, &HasIdentityGenerator,
        &HasIdentityType, &HasParameterRelation, &HasGeneratorIncrement, &HasParameterNullFlag, &HasFunctionSource,
        &HasArgumentName, &HasArgumentDescription, &HasPackages, &HasProcedurePackage, &HasBaseCollation,
        &HasFunctionOwner, &HasGeneratorInitialValue, &HasArgumentDefault, &HasArgumentMechanism,
        &HasArgumentNullFlag, &HasArgumentCollation, &HasArgumentRelation, &HasDeterministicFlag};
    constexpr int flagCount = static_cast<int>(sizeof(flags) / sizeof(flags[0]));
    while (!q.GetEof()) {
        const int64_t probe = q.GetFields()->Fields(0)->AsInteger();
        if (probe == 1) {
            if (Objs()->IBServerOptions.DBCharSet().empty())
                Objs()->IBServerOptions.SetDBCharSet(Trim(q.GetFields()->Fields(1)->AsString()));
        } else if (probe > 0 && probe < flagCount && flags[probe]) {
            *flags[probe] = true;
        }
        q.Next();
    }
    q.Close();
    q.ClearSQL();
    q.SetSQLText("select d.RDB$DESCRIPTION from RDB$DATABASE d");
    q.Open();
    if (!q.GetEof()) Objs()->DatabaseDescription = NormalizeLineBreaks(q.GetFields()->Fields(0)->AsString());
    q.Close();
    q.ClearSQL();
}

void TIBDBExtract::ParseListBodies(TCustomSQLParser& Parser, TObjListKind List) {
    const TDbObjList& list = Objs()->List(List);
    for (int i = 0; i < list.Count(); ++i) Parser.ParseObjectSource(list.Obj(i));
}

void TIBDBExtract::LinkDependencies() {
    LogLine("Parsing bodies...");
    TIbExParser parser(this);
    parser.Objs = Objs();
    parser.ShowProgress = false;
    if (OnErrorMessage) parser.OnError = OnErrorMessage;
    if (OnLogNextLine) parser.OnLogLine = OnLogNextLine;
    ParseListBodies(parser, olDomains);
    ParseListBodies(parser, olProcedures);
    ParseListBodies(parser, olPackages);
    ParseListBodies(parser, olTriggers);
    ParseListBodies(parser, olViews);
    parser.ParseExpressionSources();
    LogLine("Linking dependencies...");
    parser.AfterParse();
    GetMsgManager().AddFrom(parser.MsgManager.get());
}

} // namespace qnl
