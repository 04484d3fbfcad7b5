// The database extractor's readers of functions (external and stored), procedures and packages.
// Routines that belong to a package are read with the package's source, never on their own;
// their parameters are kept apart from those of a standalone routine of the same name.
#include "interbase/qnlIBDBExtract.h"
#include "interbase/qnlIBDBExtractRows.h"

#include "core/qnlDBStructure.h"
#include "objects/qnlComp_Fnc.h"
#include "objects/qnlComp_Pkg.h"
#include "objects/qnlComp_Prc.h"
#include "objects/qnlComp_Tbl.h"

#include <exception>
#include <unordered_map>
#include <vector>

namespace qnl {

using namespace dbrow;

namespace {

// The columns every parameter of a stored routine is read from, whether it belongs to a
// procedure (RDB$PROCEDURE_PARAMETERS) or a stored function (RDB$FUNCTION_ARGUMENTS): the type
// of its field source, its own default, collation, NOT NULL and TYPE OF, and the character
// set's default collation (a parameter declared with it names none).
struct TParamColumns {
    std::string Table;        // the parameter relation, aliased P
    std::string NameColumn;   // its name column
    std::string OwnerColumn;  // the routine's name column
    std::string Order;        // ORDER BY, and the columns that tell direction and position
    bool Precision, Mechanism, Default, Collation, NullFlag, Relation, Package;
};

// The parameters of every routine of the relation (those of packaged routines left out), by
// routine and then in declaration order; column ROUTINE_NAME names each one's routine.
std::string ParamQuery(const TParamColumns& C) {
    std::string s = "select P." + C.OwnerColumn + " ROUTINE_NAME, P." + C.NameColumn + " PARAM_NAME, " + C.Order +
                    ", P.RDB$DESCRIPTION, P.RDB$FIELD_SOURCE, " +
                    "F.RDB$FIELD_TYPE F_FLD_TYPE, F.RDB$FIELD_LENGTH F_FLD_LENGTH, F.RDB$CHARACTER_LENGTH F_CHR_LENGTH, "
                    "F.RDB$FIELD_SUB_TYPE F_FLD_SUB_TYPE, F.RDB$SEGMENT_LENGTH F_SEGMENT_LENGTH, "
                    "F.RDB$DEFAULT_SOURCE FLD_DEFAULT_SOURCE, F.RDB$FIELD_SCALE F_FLD_SCALE, ";
    if (C.Precision) s += "F.RDB$FIELD_PRECISION F_FLD_PRECISION, ";
    if (C.Mechanism) s += "P." + std::string(C.Table == "RDB$FUNCTION_ARGUMENTS" ? "RDB$ARGUMENT_MECHANISM" : "RDB$PARAMETER_MECHANISM") + " PARAM_MECHANISM, ";
    if (C.Default) s += "P.RDB$DEFAULT_SOURCE PROC_DEFAULT_SOURCE, ";
    if (C.Collation)
        s += "P.RDB$COLLATION_ID PROC_COLLATION_ID, (select C1.RDB$COLLATION_NAME from RDB$COLLATIONS C1 where "
             "C1.RDB$CHARACTER_SET_ID = F.RDB$CHARACTER_SET_ID and C1.RDB$COLLATION_ID = P.RDB$COLLATION_ID) "
             "PROC_COLLATION_NAME, ";
    if (C.NullFlag) s += "P.RDB$NULL_FLAG PROC_NULL_FLAG, ";
    if (C.Relation) s += "P.RDB$RELATION_NAME PARAM_RELATION, P.RDB$FIELD_NAME PARAM_FIELD, ";
    s += "F.RDB$CHARACTER_SET_ID, F.RDB$COLLATION_ID, "
         "(select C1.RDB$COLLATION_NAME from RDB$COLLATIONS C1 where C1.RDB$CHARACTER_SET_ID = F.RDB$CHARACTER_SET_ID "
         "and C1.RDB$COLLATION_ID = F.RDB$COLLATION_ID) RDB$COLLATION_NAME, "
         "C2.RDB$CHARACTER_SET_NAME, C2.RDB$DEFAULT_COLLATE_NAME "
         "from " + C.Table + " P join RDB$FIELDS F on F.RDB$FIELD_NAME = P.RDB$FIELD_SOURCE "
         "left join RDB$CHARACTER_SETS C2 on C2.RDB$CHARACTER_SET_ID = F.RDB$CHARACTER_SET_ID";
    if (C.Package) s += " where P.RDB$PACKAGE_NAME is null";
    return s + " order by P." + C.OwnerColumn + ", " + C.Order;
}

bool IsTextType(uint8_t DataType) { return DataType == dtVarChar || DataType == dtChar || DataType == dtCString; }

struct TParamFlags {
    bool Precision, Mechanism, Default, Collation, NullFlag, Relation;
};

} // namespace

// One parameter of a stored routine from the current row of a ParamQuery.
static void ReadStoredParameter(TIBDBExtract& X, TQNLQuery& Q, TFldData& P, const TParamFlags& Has) {
    P.SetDescription(TextOf(Q, "RDB$DESCRIPTION"));
    const int32_t fieldType = static_cast<int32_t>(IntOf(Q, "F_FLD_TYPE"));
    const int32_t subType = static_cast<int32_t>(IntOf(Q, "F_FLD_SUB_TYPE"));
    P.IBFieldType = fieldType;
    P.DataType = P.IBTypeToDataType(fieldType, subType);
    P.FieldLength = static_cast<int32_t>(IntOf(Q, "F_FLD_LENGTH"));
    P.CharLength = static_cast<int32_t>(IntOf(Q, "F_CHR_LENGTH"));
    if (IsTextType(P.DataType) && P.CharLength == 0) P.CharLength = P.FieldLength;
    P.SubType = subType;
    if (subType == 1 && P.DataType == dtBlob) P.SetRare().SubTypeName = "TEXT";
    P.SegmentLength = static_cast<int32_t>(IntOf(Q, "F_SEGMENT_LENGTH"));
    P.DefaultValue = CleanDefaultSource(TextOf(Q, "FLD_DEFAULT_SOURCE"));
    X.ApplyNumericPrecision(fieldType, subType, Has.Precision ? ValueOf(Q, "F_FLD_PRECISION") : TQNLValue(),
                            ValueOf(Q, "F_FLD_SCALE"), P, Has.Precision);
    const std::string source = NameOf(Q, "RDB$FIELD_SOURCE");
    if (source.compare(0, 4, "RDB$") != 0) {
        P.DataType = dtDomain;
        P.DomainName = source;
    }
    if (Has.Default) {
        P.DefaultValue.clear();
        if (!NullOf(Q, "PROC_DEFAULT_SOURCE"))
            P.DefaultValue = CleanDefaultSource(TextOf(Q, "PROC_DEFAULT_SOURCE"));
        else if (!NullOf(Q, "FLD_DEFAULT_SOURCE") && P.DataType != dtDomain)
            P.DefaultValue = CleanDefaultSource(TextOf(Q, "FLD_DEFAULT_SOURCE"));
    }
    if (Has.Mechanism && IntOf(Q, "PARAM_MECHANISM") != 0) {
        P.TypeOf = true;
        P.DataType = dtDomain;
        if (Has.Relation) {
            const std::string table = NameOf(Q, "PARAM_RELATION"), column = NameOf(Q, "PARAM_FIELD");
            if (!table.empty() && !column.empty()) {
                P.SetRare().TypeOfTable = table;
                P.SetRare().TypeOfColumn = column;
                P.DomainName.clear();
            }
        }
    }
    if (Has.NullFlag && IntOf(Q, "PROC_NULL_FLAG") != 0) P.Nullable = false;
    // The collation a parameter was declared with is kept, unless it is the character set's
    // default, which a declaration does not name.
    const bool own = Has.Collation && !NullOf(Q, "PROC_COLLATION_ID");
    std::string collation = own ? NameOf(Q, "PROC_COLLATION_NAME") : NameOf(Q, "RDB$COLLATION_NAME");
    int32_t collationId = static_cast<int32_t>(own ? IntOf(Q, "PROC_COLLATION_ID") : IntOf(Q, "RDB$COLLATION_ID"));
    if (collation == NameOf(Q, "RDB$DEFAULT_COLLATE_NAME") || P.DataType == dtDomain || P.TypeOf) {
        collation.clear();
        collationId = 0;
    }
    if (P.DataType != dtDomain)
        P.SetCharSetCollation(static_cast<int32_t>(IntOf(Q, "RDB$CHARACTER_SET_ID")), NameOf(Q, "RDB$CHARACTER_SET_NAME"),
                              collationId, collation);
}

// ---- functions ----

// A routine read from its catalogue row, waiting for its parameters.
struct dbrow::TReadRoutine {
    std::unique_ptr<TDbObj> Obj;
    TPrcData* Stored = nullptr;  // a stored or external-engine routine
    TUdfData* External = nullptr; // a function of a library module
    int64_t ReturnArgument = 0;
    bool Deterministic = false;
};

namespace {

// The external name and engine of a routine that runs in an external engine (Firebird 3): it
// has no source of its own, they stand for it.
template <class TRow>
void ReadEngine(TRow& Row, TPrcData& Routine) {
    Routine.ExternalName = NameOf(Row, "RDB$ENTRYPOINT");
    Routine.EngineName = NameOf(Row, "RDB$ENGINE_NAME");
    Routine.SetSource(ExternalEngineClause(Routine.ExternalName, Routine.EngineName));
}

} // namespace

void TIBDBExtract::ExtractFunctions() {
    LogLine("Extracting functions...");
    TQNLQuery& q = MainQuery();
    q.AddSQL("select * from rdb$Functions");
    q.AddSQL("where (rdb$system_flag<>1 or rdb$system_flag is null)");
    if (HasProcedurePackage) q.AddSQL("AND RDB$PACKAGE_NAME IS NULL");
    q.AddSQL("order by Rdb$Function_Name");
    try {
        std::vector<TReadRoutine> read;
        std::unordered_map<std::string, size_t> stored, external;
        q.Open();
        while (!q.GetEof()) {
            TReadRoutine r;
            r.ReturnArgument = IntOf(q, "RDB$RETURN_ARGUMENT");
            // Firebird 3 keeps an external-engine function's name in RDB$ENTRYPOINT too; its
            // engine tells it from a function of a library module.
            const bool engine = HasFunctionSource && !NameOf(q, "RDB$ENGINE_NAME").empty();
            if (engine || (Trim(TextOf(q, "RDB$ENTRYPOINT")).empty() && Trim(TextOf(q, "RDB$MODULE_NAME")).empty() &&
                           HasFunctionSource)) {
                auto function = std::make_unique<TPrcData>(Objs());
                function->IsFunction = true;
                function->SetName(NameOf(q, "RDB$FUNCTION_NAME"));
                function->SetDescription(TextOf(q, "RDB$DESCRIPTION"));
                function->SetSource(Trim(NormalizeLineBreaks(TextOf(q, "RDB$FUNCTION_SOURCE"))));
                if (engine) ReadEngine(q, *function);
                r.Deterministic = HasDeterministicFlag && IntOf(q, "RDB$DETERMINISTIC_FLAG") != 0;
                r.Stored = function.get();
                stored.emplace(function->Name, read.size());
                r.Obj = std::move(function);
            } else {
                auto udf = std::make_unique<TUdfData>(Objs());
                udf->SetName(NameOf(q, "RDB$FUNCTION_NAME"));
                udf->EntryPoint = NameOf(q, "RDB$ENTRYPOINT");
                udf->ModuleName = NameOf(q, "RDB$MODULE_NAME");
                udf->SetDescription(TextOf(q, "RDB$DESCRIPTION"));
                r.External = udf.get();
                external.emplace(udf->Name, read.size());
                r.Obj = std::move(udf);
            }
            read.push_back(std::move(r));
            q.Next();
        }
        q.Close();
        if (!stored.empty()) ReadStoredFunctionArguments(read, stored);
        if (!external.empty()) ReadExternalFunctionArguments(read, external);
        for (TReadRoutine& r : read) {
            if (ShowFullLog) LogLine("---" + r.Obj->Name);
            if (AcceptObjName(r.Obj->Name, dboFunction)) Objs()->AddDbObject(r.Obj.release(), true);
            ProcessAppMessages();
            if (AbortRequested) break;
        }
    } catch (const std::exception& e) {
        // The functions after this one are not in the structure: a comparison would drop them
        // from the target. The run reports it as failed.
        ReportReadError("Extracting functions: " + std::string(e.what()));
    }
    q.Close();
    q.ClearSQL();
}

std::string TIBDBExtract::GetFunctionArgumentsSQL() {
    std::string s = " SELECT A.Rdb$Function_Name,";
    if (HasArgumentName) {
        for (const char* column : {"Field_Type", "Field_Length", "Field_Scale", "Field_Sub_Type", "Character_Set_ID"})
            s += std::string(" CASE WHEN (A.RDB$FIELD_SOURCE IS NULL) THEN A.Rdb$") + column + " ELSE F.Rdb$" + column +
                 " END AS Rdb$" + column + ",";
        s += " ";
    } else {
        s += " A.Rdb$Field_Type, A.Rdb$Field_Length, A.Rdb$Field_Scale, A.Rdb$Field_Sub_Type, A.Rdb$Character_Set_ID, ";
    }
    s += " A.Rdb$Mechanism, A.Rdb$Argument_Position,";
    // An argument declared on a domain has its precision there, as its other type facts.
    if (HasArgumentPrecision)
        s += HasArgumentName ? " CASE WHEN (A.RDB$FIELD_SOURCE IS NULL) THEN A.Rdb$Field_Precision ELSE "
                               "F.Rdb$Field_Precision END AS Rdb$Field_Precision,"
                             : " A.Rdb$Field_Precision,";
    if (HasArgumentName) s += " A.RDB$ARGUMENT_NAME, A.RDB$FIELD_SOURCE,";
    if (HasArgumentDescription) s += " A.RDB$DESCRIPTION,";
    s += " C.RDB$Character_Set_Name, C.RDB$Bytes_Per_Character from Rdb$Function_Arguments A";
    if (HasArgumentName)
        s += " LEFT JOIN RDB$FIELDS F ON F.RDB$FIELD_NAME=A.RDB$FIELD_SOURCE LEFT JOIN Rdb$Character_Sets C ON "
             "C.Rdb$Character_Set_ID= CASE WHEN (A.RDB$FIELD_SOURCE IS NULL) THEN A.Rdb$Character_Set_ID ELSE "
             "F.Rdb$Character_Set_ID END";
    else
        s += " LEFT JOIN Rdb$Character_Sets C ON C.Rdb$Character_Set_ID=A.Rdb$Character_Set_ID";
    if (HasProcedurePackage) s += " where A.RDB$PACKAGE_NAME is null";
    return s + " Order by A.Rdb$Function_Name, A.Rdb$Argument_Position";
}

void TIBDBExtract::ReadFunctionArgument(TQNLQuery& Query, TFldData& Field) {
    if (HasArgumentName) Field.SetName(NameOf(Query, "RDB$ARGUMENT_NAME"));
    if (HasArgumentDescription) Field.SetDescription(Trim(TextOf(Query, "RDB$DESCRIPTION")));
    const int32_t fieldType = static_cast<int32_t>(IntOf(Query, "RDB$FIELD_TYPE"));
    const int32_t subType = static_cast<int32_t>(IntOf(Query, "RDB$FIELD_SUB_TYPE"));
    Field.IBFieldType = fieldType;
    Field.DataType = Field.IBTypeToDataType(fieldType, subType);
    Field.FieldLength = static_cast<int32_t>(IntOf(Query, "RDB$FIELD_LENGTH"));
    Field.CharLength = Field.FieldLength;
    if (IsTextType(Field.DataType)) {
        const int64_t bytes = IntOf(Query, "RDB$BYTES_PER_CHARACTER");
        Field.CharLength = static_cast<int32_t>(Field.FieldLength / (bytes < 1 ? 1 : bytes));
    }
    ApplyNumericPrecision(fieldType, subType, HasArgumentPrecision ? ValueOf(Query, "RDB$FIELD_PRECISION") : TQNLValue(),
                          ValueOf(Query, "RDB$FIELD_SCALE"), Field, HasArgumentPrecision);
    Field.SubType = subType;
    Field.SetCharSetCollation(static_cast<int32_t>(IntOf(Query, "RDB$CHARACTER_SET_ID")),
                              NameOf(Query, "RDB$CHARACTER_SET_NAME"), 0, "");
}

void TIBDBExtract::ReadStoredFunctionArguments(std::vector<TReadRoutine>& Read,
                                               const std::unordered_map<std::string, size_t>& ByName) {
    std::unique_ptr<TQNLQuery> arguments = NewQuery();
    arguments->SetSQLText(ParamQuery({"RDB$FUNCTION_ARGUMENTS", "RDB$ARGUMENT_NAME", "RDB$FUNCTION_NAME",
                                      "P.RDB$ARGUMENT_POSITION", HasFieldPrecision, HasArgumentMechanism,
                                      HasArgumentDefault, HasArgumentCollation, HasArgumentNullFlag,
                                      HasArgumentRelation, HasProcedurePackage}));
    arguments->Open();
    const TParamFlags has{HasFieldPrecision, HasArgumentMechanism, HasArgumentDefault,
                          HasArgumentCollation, HasArgumentNullFlag, HasArgumentRelation};
    while (!arguments->GetEof()) {
        const auto it = ByName.find(NameOf(*arguments, "ROUTINE_NAME"));
        if (it == ByName.end()) {
            arguments->Next();
            continue;
        }
        TReadRoutine& r = Read[it->second];
        TPrcData* function = r.Stored;
        auto p = std::make_unique<TFldData>(Objs(), nullptr);
        p->SetName(NameOf(*arguments, "PARAM_NAME"));
        p->OwnerName = function->Name;
        p->Owner = function;
        p->SetKind(dboParam);
        ReadStoredParameter(*this, *arguments, *p, has);
        if (IntOf(*arguments, "RDB$ARGUMENT_POSITION") != r.ReturnArgument) {
            p->ParamDirection = pdIn;
            function->AddInputParam(std::move(p));
        } else {
            p->ParamDirection = pdOut;
            p->Deterministic = r.Deterministic;
            function->AddOutputParam(std::move(p));
        }
        arguments->Next();
    }
    arguments->Close();
    arguments->ClearSQL();
}

void TIBDBExtract::ReadExternalFunctionArguments(std::vector<TReadRoutine>& Read,
                                                 const std::unordered_map<std::string, size_t>& ByName) {
    std::unique_ptr<TQNLQuery> arguments = NewQuery();
    arguments->SetSQLText(GetFunctionArgumentsSQL());
    arguments->Open();
    while (!arguments->GetEof()) {
        const auto it = ByName.find(NameOf(*arguments, "RDB$FUNCTION_NAME"));
        if (it == ByName.end()) {
            arguments->Next();
            continue;
        }
        const int64_t returnArgument = Read[it->second].ReturnArgument;
        TUdfData* udf = Read[it->second].External;
        const int64_t position = IntOf(*arguments, "RDB$ARGUMENT_POSITION");
        const int64_t mechanism = IntOf(*arguments, "RDB$MECHANISM");
        if (position == returnArgument) {
            TFldData& result = *udf->ReturnField;
            result.Owner = udf;
            result.OwnerName = udf->Name;
            ReadFunctionArgument(*arguments, result);
            if (mechanism == -1) udf->FreeIt = true;
            if (mechanism == 0) result.ByValue = true;
            if (mechanism == 2) result.ByDescriptor = true;
            if (returnArgument != 0) result.ParameterNumber = static_cast<int32_t>(returnArgument);
        }
        if (position != 0) {
            auto argument = std::make_unique<TFldData>(Objs(), nullptr);
            argument->Owner = udf;
            argument->OwnerName = udf->Name;
            ReadFunctionArgument(*arguments, *argument);
            if (mechanism == 2) argument->ByDescriptor = true;
            if (mechanism == 5) argument->ByReferenceWithNull = true;
            udf->AddArgument(std::move(argument));
        }
        arguments->Next();
    }
    arguments->Close();
    arguments->ClearSQL();
}

// ---- procedures ----

void TIBDBExtract::ExtractProcedures() {
    LogLine("Extracting procedures...");
    std::unique_ptr<TQNLQuery> procedures = NewQuery();
    procedures->AddSQL(" Select rdb$Procedure_Name, rdb$System_Flag, rdb$Description, ");
    procedures->AddSQL(" rdb$Procedure_Source, rdb$Procedure_BLR ");
    // Firebird 3 procedures may run in an external engine, as its functions and triggers.
    if (HasProcedurePackage) procedures->AddSQL(" , rdb$Engine_Name, rdb$Entrypoint ");
    procedures->AddSQL(" from rdb$procedures ");
    procedures->AddSQL(" where (Rdb$System_Flag <> 1 or Rdb$System_Flag is Null) ");
    if (HasProcedurePackage) procedures->AddSQL("AND RDB$PACKAGE_NAME IS NULL");
    if (IgnoreIBEObjects()) procedures->AddSQL(" and rdb$procedure_name not like 'IBE$%' ");
    procedures->AddSQL(" order by rdb$procedure_name ");

    std::vector<std::unique_ptr<TPrcData>> read;
    std::unordered_map<std::string, TPrcData*> byName;
    procedures->Open();
    while (!procedures->GetEof()) {
        auto procedure = std::make_unique<TPrcData>(Objs());
        procedure->SetName(NameOf(*procedures, "RDB$PROCEDURE_NAME"));
        procedure->SetDescription(TextOf(*procedures, "RDB$DESCRIPTION"));
        procedure->SetSource(Trim(NormalizeLineBreaks(TextOf(*procedures, "RDB$PROCEDURE_SOURCE"))));
        if (HasProcedurePackage && !NameOf(*procedures, "RDB$ENGINE_NAME").empty()) ReadEngine(*procedures, *procedure);
        byName.emplace(procedure->Name, procedure.get());
        read.push_back(std::move(procedure));
        procedures->Next();
    }
    procedures->Close();

    if (!read.empty()) {
        std::unique_ptr<TQNLQuery> params = NewQuery();
        params->SetSQLText(ParamQuery({"RDB$PROCEDURE_PARAMETERS", "RDB$PARAMETER_NAME", "RDB$PROCEDURE_NAME",
                                       "P.RDB$PARAMETER_TYPE, P.RDB$PARAMETER_NUMBER", HasFieldPrecision,
                                       HasParameterMechanism, HasParameterDefault, HasParameterCollation,
                                       HasParameterNullFlag, HasParameterRelation, HasProcedurePackage}));
        const TParamFlags has{HasFieldPrecision,     HasParameterMechanism, HasParameterDefault,
                              HasParameterCollation, HasParameterNullFlag,  HasParameterRelation};
        params->Open();
        while (!params->GetEof()) {
            const auto it = byName.find(NameOf(*params, "ROUTINE_NAME"));
            if (it == byName.end()) {
                params->Next();
                continue;
            }
            TPrcData* procedure = it->second;
            auto p = std::make_unique<TFldData>(Objs(), nullptr);
            p->SetName(NameOf(*params, "PARAM_NAME"));
            p->OwnerName = procedure->Name;
            p->Owner = procedure;
            p->SetKind(dboParam);
            ReadStoredParameter(*this, *params, *p, has);
            if (IntOf(*params, "RDB$PARAMETER_TYPE") == 0) {
                p->ParamDirection = pdIn;
                procedure->AddInputParam(std::move(p));
            } else {
                p->ParamDirection = pdOut;
                procedure->AddOutputParam(std::move(p));
            }
            params->Next();
        }
        params->Close();
        params->ClearSQL();
    }

    for (std::unique_ptr<TPrcData>& procedure : read) {
        if (ShowFullLog) LogLine("---" + procedure->Name);
        // Functions and procedures share one list of routines keyed by name: a procedure named
        // like a function read before would be dropped without a word.
        auto* function = dynamic_cast<TPrcData*>(Objs()->FindProcedure(procedure->Name));
        if (function && function->IsFunction) {
            ReportReadError("Procedure " + procedure->Name +
                            " has the name of a function read before; the structure keeps one routine per name");
        } else if (AcceptObjName(procedure->Name, dboProcedure)) {
            Objs()->AddDbObject(procedure.release(), true);
        }
        ProcessAppMessages();
        if (AbortRequested) break;
    }
    procedures->ClearSQL();
}

// ---- packages ----

void TIBDBExtract::ExtractPackages() {
    if (!HasPackages) return;
    TQNLQuery& q = MainQuery();
    q.AddSQL("SELECT P.RDB$PACKAGE_NAME, P.RDB$SYSTEM_FLAG, P.RDB$DESCRIPTION, ");
    q.AddSQL("P.RDB$PACKAGE_HEADER_SOURCE, P.RDB$PACKAGE_BODY_SOURCE, P.RDB$VALID_BODY_FLAG");
    q.AddSQL("FROM RDB$PACKAGES P");
    q.AddSQL("WHERE (P.RDB$SYSTEM_FLAG=0 OR P.RDB$SYSTEM_FLAG IS NULL)");
    q.AddSQL("ORDER BY P.RDB$PACKAGE_NAME");
    q.Open();
    while (!q.GetEof()) {
        auto package = std::make_unique<TPkgData>(Objs());
        package->SetName(NameOf(q, "RDB$PACKAGE_NAME"));
        package->HeaderSource = Trim(NormalizeLineBreaks(TextOf(q, "RDB$PACKAGE_HEADER_SOURCE")));
        package->SetSource(Trim(NormalizeLineBreaks(TextOf(q, "RDB$PACKAGE_BODY_SOURCE"))));
        // COMMENT ON PACKAGE is stored with the package; a comparison would lose it otherwise.
        package->SetDescription(TextOf(q, "RDB$DESCRIPTION"));
        if (ShowFullLog) LogLine("---" + package->Name);
        if (AcceptObjName(package->Name, dboPackage)) Objs()->AddDbObject(package.release(), true);
        ProcessAppMessages();
        if (AbortRequested) break;
        q.Next();
    }
    q.Close();
    q.ClearSQL();
    if (HasProcedurePackage) ReadMemberDescriptions();
}

void TIBDBExtract::ReadMemberDescriptions() {
    TQNLQuery& q = MainQuery();
    const auto part = [](const char* Function, const char* Table, const char* Routine, const char* Parameter) {
        return std::string("SELECT ") + Function + " FNC, RDB$PACKAGE_NAME PKG, " + Routine + " RTN, " + Parameter +
               " PRM, RDB$DESCRIPTION DSC FROM " + Table +
               " WHERE RDB$PACKAGE_NAME IS NOT NULL AND RDB$DESCRIPTION IS NOT NULL";
    };
    // A function's result is the argument without a name.
    q.SetSQLText(part("0", "RDB$PROCEDURES", "RDB$PROCEDURE_NAME", "CAST(NULL AS CHAR(63))") + " UNION ALL " +
                 part("1", "RDB$FUNCTIONS", "RDB$FUNCTION_NAME", "CAST(NULL AS CHAR(63))") + " UNION ALL " +
                 part("0", "RDB$PROCEDURE_PARAMETERS", "RDB$PROCEDURE_NAME", "RDB$PARAMETER_NAME") + " UNION ALL " +
                 part("1", "RDB$FUNCTION_ARGUMENTS", "RDB$FUNCTION_NAME", "RDB$ARGUMENT_NAME") +
                 " AND RDB$ARGUMENT_NAME IS NOT NULL");
    q.Open();
    while (!q.GetEof()) {
        if (auto* package = dynamic_cast<TPkgData*>(Objs()->FindPackage(NameOf(q, "PKG")))) {
            TMemberDescription d;
            d.Function = IntOf(q, "FNC") != 0;
            d.Routine = NameOf(q, "RTN");
            d.Parameter = NameOf(q, "PRM");
            d.Text = TextOf(q, "DSC");
            package->SetMemberDescription(d);
        }
        ProcessAppMessages();
        if (AbortRequested) break;
        q.Next();
    }
    q.Close();
    q.ClearSQL();
}

} // namespace qnl
