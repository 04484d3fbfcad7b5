// Implements the InterBase/Firebird DDL reader's tables, constraints and indices, and what
// ALTER TABLE, DROP and RECREATE change in the container; see qnlIBParser.h.
#include "interbase/qnlIBParser.h"

#include "core/qnlSQL_Exec.h"
#include "objects/qnlComp_Ctr.h"
#include "objects/qnlComp_Idx.h"
#include "objects/qnlComp_Tbl.h"

#include <limits>


namespace qnl {

namespace {

// Replaces OldName by NewName in a key column list.
void RenameIn(TStringList& Names, const std::string& OldName, const std::string& NewName) {
    for (int i = 0; i < Names.Count(); ++i)
        if (Names[i] == OldName) Names.SetString(i, NewName);
}

// Clears the names of the table and column being read when a table statement ends.
class TErrNamesScope {
public:
    explicit TErrNamesScope(TIbParser& AParser) : FParser(AParser) {}
    ~TErrNamesScope() {
        FParser.ErrTable.clear();
        FParser.ErrField.clear();
    }
    TErrNamesScope(const TErrNamesScope&) = delete;
    TErrNamesScope& operator=(const TErrNamesScope&) = delete;

private:
    TIbParser& FParser;
};

} // namespace

// ---- CREATE TABLE ----

void TIbParser::ParseCreateTable(bool IsGlobalTemporary, bool Recreate) {
    TErrNamesScope errNames(*this);
    if (!IsKeyword(kwTABLE)) return Expect(kwTABLE);
    NextAndExpect(tkIdent);
    if (Failed()) return;
    const std::string name = TokenText;
    DoLogLine("Table: " + name);
    if (Recreate) ForgetObject(dboTable, name);
    auto table = std::make_unique<TTblData>(Objs);
    table->SetName(name);
    table->GlobalTemporary = IsGlobalTemporary;
    ErrTable = name;
    NextToken();
    if (IsKeyword(kwEXTERNAL)) {
        NextToken();
        if (IsKeyword(kwFILE)) NextToken();
        table->ExternalFile = ExpectStringText();
        if (Failed()) return;
        NextToken();
    }
    if (Token != tkLParen) return Expect(tkLParen);
    FCreatingTable = table.get();
    FCreatedKeyColumns.Clear();
    do {
        NextToken();
        ParseTableElement(*table);
    } while (!Failed() && Token == tkComma);
    FCreatingTable = nullptr;
    if (Failed()) return;
    if (Token != tkRParen) return Expect(tkRParen);
    NextToken();
    if (IsKeyword(kwON)) {
        NextToken();
        if (!IsKeyword(kwCOMMIT)) return Expect(kwCOMMIT);
        NextToken();
        if (IsKeyword(kwDELETE))
            table->OnCommit = 1;
        else if (IsKeyword(kwPRESERVE))
            table->OnCommit = 2;
        else
            return ReportError("Must be: DELETE ROWS / PRESERVE ROWS.");
        NextToken();
        if (!IsKeyword(kwROWS)) return Expect(kwROWS);
        NextToken();
    }
    if (!ExpectTerminator()) return;
    // Firebird makes the columns of a primary key declared with the table NOT NULL.
    for (int i = 0; i < FCreatedKeyColumns.Count(); ++i)
        if (TFldData* column = table->ColumnByName(FCreatedKeyColumns[i])) column->Nullable = false;
    HandOn(skStatement, name, dboTable, saCreate);
    AddDbObject(table.release());
    NextToken();
}

void TIbParser::ParseTableElement(TTblData& Table) {
    switch (WordCode()) {
    case kwCONSTRAINT: ParseNamedConstraint(nullptr, &Table, Table.Name); return;
    case kwPRIMARY:
    case kwUNIQUE:
    case kwFOREIGN:
    case kwCHECK: ParseConstraint(nullptr, nullptr, Table.Name, &Table); return;
    default: break;
    }
    if (Token != tkIdent) return;  // no element: the "," or ")" test follows
    std::unique_ptr<TFldData> column = ParseFieldDef(&Table);
    if (!column || Failed()) return;
    column->Position = Table.GetColumnCount();
    if (column->DataType == dtDomain && Objs) AddDependency(column.get(), Objs->FindDomain(column->DomainName));
    Table.AddColumn(std::move(column));
}

// ---- constraints ----

TDbObject TIbParser::ParseNamedConstraint(TFldData* Field, TTblData* Table, const std::string& TableName) {
    NextAndExpect(tkIdent);
    if (Failed()) return dboConstraint;
    auto ctr = std::make_unique<TCtrData>(Objs);
    ctr->SetName(TokenText);
    NextToken();
    switch (WordCode()) {
    case kwPRIMARY:
    case kwUNIQUE:
    case kwFOREIGN:
    case kwCHECK: break;
    case kwREFERENCES:
        if (Field) break;
        [[fallthrough]];
    default:
        if (Field && IsKeyword(kwNOT)) {
            // A named NOT NULL of a column: the server keeps the name with the column's flag.
            NextToken();
            if (!IsKeyword(kwNULL)) {
                Expect(kwNULL);
                return dboConstraint;
            }
            Field->Nullable = false;
            Field->SetRare().NotNullName = ctr->Name;
            NextToken();
            return dboConstraint;
        }
        ReportError("Missing: PRIMARY... or UNIQUE...");
        return dboConstraint;
    }
    return ParseConstraint(std::move(ctr), Field, TableName, Table);
}

TDbObject TIbParser::ParseConstraint(std::unique_ptr<TCtrData> Ctr, TFldData* Field, const std::string& TableName,
                                     TTblData* Table) {
    if (!Ctr) Ctr = std::make_unique<TCtrData>(Objs);
    TCtrData& ctr = *Ctr;
    const size_t start = TokenStart;
    FLastConstraintName = ctr.Name;
    if (!Table && Field) Table = dynamic_cast<TTblData*>(Field->Owner);
    ctr.SetTableName(Field ? Field->OwnerName : Table ? Table->Name : TableName);
    if (Field) ctr.AddField(Field->Name);
    const bool inCreatedTable = FCreatingTable && Table == FCreatingTable;
    // A key named in CREATE TABLE's list logs as "Constraint: " once it is read; the others by
    // their kind (an unnamed primary key of that list as "Primary Key: ").
    const bool namedInList = inCreatedTable && !Field && !ctr.Name.empty();
    auto log = [&](const char* Line) {
        if (!namedInList && LogWanted()) DoLogLine(Line + ctr.GetCreateSQL());
    };
    switch (WordCode()) {
    case kwPRIMARY:
        NextToken();
        if (!IsKeyword(kwKEY)) {
            Expect(kwKEY);
            return dboConstraint;
        }
        NextToken();
        if (Token == tkLParen) ParseColumnList(ctr.Fields);
        ParseUsingIndex(ctr);
        ctr.SetConstraintType(ctPrimaryKey);
        WarnDuplicatePrimaryKey(ctr, Table, start);
        if (inCreatedTable && ctr.ConstraintType == ctPrimaryKey) FCreatedKeyColumns.AddStrings(ctr.Fields);
        log(inCreatedTable && !Field ? "Primary Key: " : "Primary key: ");
        break;
    case kwUNIQUE:
        NextToken();
        if (Token == tkLParen) ParseColumnList(ctr.Fields);
        ParseUsingIndex(ctr);
        ctr.SetConstraintType(ctUnique);
        log("Unique: ");
        break;
    case kwFOREIGN:
    case kwREFERENCES:
        ctr.SetConstraintType(ctForeignKey);
        if (Token == kwFOREIGN)
            ParseReferences(Table, ctr);
        else
            ParseReferencesClause(Table, ctr);  // REFERENCES after a column's type
        if (Failed()) return dboConstraint;
        if (Objs && Objs->List(olConstraints).FindObj(ctr.GetKeyName())) {
            AddWarningAt("Duplicate Foreign Key:", start);
            AddWarningAt(ctr.GetCreateSQL(), start);
            AddWarningAt("", start);
        }
        log("Foreign key 2: ");
        break;
    case kwCHECK:
        ctr.SetConstraintType(ctCheck);
        ReadCheckText(ctr);
        if (LogWanted()) DoLogLine("Check: " + ctr.GetCreateSQL());
        break;
    default: break;
    }
    if (Failed()) return dboConstraint;
    if (namedInList && ctr.ConstraintType != ctCheck && LogWanted()) DoLogLine("Constraint: " + ctr.GetCreateSQL());
    const TDbObject kind = ctr.Kind;
    AddDependency(&ctr, Table);
    const TIBServerOptions* o = GetIBOptions();
    if (o && o->IBCompareOptions.IgnoreIBEObjects &&
        (ctr.Name.compare(0, 4, "IBE$") == 0 || ctr.TableName.compare(0, 4, "IBE$") == 0))
        return kind;  // discarded with Ctr
    AddDbObject(Ctr.release());
    return kind;
}

void TIbParser::WarnDuplicatePrimaryKey(TCtrData& Ctr, TTblData* Table, size_t Start) {
    // A table has one primary key: a second one is kept as a unique constraint. The table's
    // users hold its constraints; without the table every constraint is looked at.
    auto isOtherKey = [&Ctr](const TDbObj* Obj) {
        const auto* other = dynamic_cast<const TCtrData*>(Obj);
        return other && other != &Ctr && other->ConstraintType == ctPrimaryKey && other->TableName == Ctr.TableName;
    };
    TCtrData* existing = nullptr;
    if (Table) {
        for (int i = 0; i < Table->UsedBy.Count() && !existing; ++i)
            if (isOtherKey(Table->UsedBy.Items(i)->Ref)) existing = static_cast<TCtrData*>(Table->UsedBy.Items(i)->Ref);
    } else if (Objs) {
        const TDbObjList& constraints = Objs->List(olConstraints);
        for (int i = 0; i < constraints.Count() && !existing; ++i)
            if (isOtherKey(constraints.Obj(i))) existing = static_cast<TCtrData*>(constraints.Obj(i));
    }
    if (!existing) return;
    AddWarningAt("Duplicate Primary Key, Table: " + QuoteIdent(Ctr.TableName) + " (convert to Unique)", Start);
    AddWarningAt(existing->GetCreateSQL(), Start);
    AddWarningAt(Ctr.GetCreateSQL(), Start);
    Ctr.SetConstraintType(ctUnique);
    AddWarningAt(Ctr.GetCreateSQL(), Start);
    AddWarningAt("", Start);
}

void TIbParser::ParseReferences(TTblData* Table, TCtrData& Ctr) {
    NextToken();
    if (!IsKeyword(kwKEY)) return Expect(kwKEY);
    NextToken();
    ParseColumnList(Ctr.Fields);
    if (Failed()) return;
    ParseReferencesClause(Table, Ctr);
}

void TIbParser::ParseReferencesClause(TTblData* Table, TCtrData& Ctr) {
    if (!IsKeyword(kwREFERENCES)) return Expect(kwREFERENCES);
    NextAndExpect(tkIdent);
    if (Failed()) return;
    Ctr.SetRefTableName(TokenText);
    NextToken();
    if (Token == tkLParen) ParseColumnList(Ctr.RefFields);
    if (Failed()) return;
    AddDependency(&Ctr, Table);
    TDbObj* referenced = Objs ? Objs->FindTable(Ctr.RefTableName) : nullptr;
    if (!referenced && FCreatingTable && FCreatingTable->Name == Ctr.RefTableName) referenced = FCreatingTable;
    AddDependency(&Ctr, referenced);
    while (IsKeyword(kwON)) {
        NextToken();
        uint8_t* rule = IsKeyword(kwUPDATE) ? &Ctr.UpdateRule : IsKeyword(kwDELETE) ? &Ctr.DeleteRule : nullptr;
        if (!rule) return ReportError("Missing: UPDATE/DELETE");
        NextToken();
        ParseReferentialAction(*rule);
        if (Failed()) return;
    }
    ParseUsingIndex(Ctr);
    if (LogWanted()) DoLogLine("Foreign key 1: " + Ctr.GetCreateSQL());
}

void TIbParser::ParseReferentialAction(uint8_t& Rule) {
    if (IsKeyword(kwNO)) {
        NextToken();
        if (!IsKeyword(kwACTION)) return ReportError("Must be: ACTION");
        Rule = raNoAction;
        NextToken();
    } else if (IsKeyword(kwCASCADE)) {
        Rule = raCascade;
        NextToken();
    } else if (IsKeyword(kwSET)) {
        NextToken();
        if (IsKeyword(kwDEFAULT))
            Rule = raSetDefault;
        else if (IsKeyword(kwNULL))
            Rule = raSetNull;
        else
            return ReportError("Missing: DEFAULT/NULL");
        NextToken();
    } else {
        ReportError("Unknown action into UPDATE/DELETE rule.");
    }
}

void TIbParser::ParseUsingIndex(TCtrData& Ctr) {
    if (!IsKeyword(kwUSING)) return;
    NextToken();
    if (IsKeyword(kwASC)) {
        NextToken();
    } else if (IsKeyword(kwDESC)) {
        Ctr.DescIndex = true;
        NextToken();
    }
    if (!IsKeyword(kwINDEX)) return Expect(kwINDEX);
    NextAndExpect(tkIdent);
    if (Failed()) return;
    Ctr.IndexName = TokenText;
    NextToken();
}

void TIbParser::ReadCheckText(TCtrData& Ctr) { ReadBodyText(&Ctr, -1); }

size_t TIbParser::SkipParenthesised() {
    int depth = 0;
    size_t end = TokenEnd();
    for (;;) {
        if (Token == tkLParen) {
            ++depth;
        } else if (Token == tkRParen) {
            --depth;
        } else if (Token == tkTerminator || (Token == tkEOF && AtEnd())) {
            Expect(tkRParen);
            return end;
        }
        end = TokenEnd();
        NextToken();
        if (depth == 0) return end;
    }
}

std::string TIbParser::ReadParenthesisedText() {
    const size_t start = TokenStart;
    const size_t end = SkipParenthesised();
    return StoredText(start, end);
}

// ---- ALTER TABLE ----

void TIbParser::ParseAlterTable() {
    NextAndExpect(tkIdent);
    if (Failed()) return;
    const std::string name = TokenText;
    auto* table = Objs ? dynamic_cast<TTblData*>(Objs->FindTable(name)) : nullptr;
    // Actions are separated by commas; the statement is handed on once, as its first action.
    TAlterTableAction first;
    bool isFirst = true;
    do {
        NextToken();
        TAlterTableAction action = ParseAlterTableAction(table, name);
        if (isFirst) first = action;
        isFirst = false;
    } while (!Failed() && Token == tkComma);
    if (Failed() || !ExpectTerminator()) return;
    HandOn(skStatement, first.ObjName, first.Kind, first.Action, first.FieldName);
    NextToken();
}

TIbParser::TAlterTableAction TIbParser::ParseAlterTableAction(TTblData* Table, const std::string& TableName) {
    switch (WordCode()) {
    case kwADD:
        NextToken();
        switch (WordCode()) {
        case kwCHECK:
        case kwFOREIGN:
        case kwPRIMARY:
        case kwUNIQUE: {
            const TDbObject kind = ParseConstraint(nullptr, nullptr, TableName, Table);
            return {FLastConstraintName, kind, saCreate, {}};
        }
        case kwCONSTRAINT: {
            const TDbObject kind = ParseNamedConstraint(nullptr, Table, TableName);
            return {FLastConstraintName, kind, saCreate, {}};
        }
        default: break;
        }
        if (Token != tkIdent) return {};  // nothing to add: the "," or terminator test follows
        return ParseAddColumn(Table, TableName);
    case kwALTER: return ParseAlterColumn(Table, TableName);
    case kwDROP: {
        NextToken();
        if (IsKeyword(kwCONSTRAINT)) {
            NextAndExpect(tkIdent);
            if (Failed()) return {};
            const std::string constraint = TokenText;
            DropConstraint(constraint);
            // Dropping a named NOT NULL constraint makes its column nullable again.
            for (int i = 0; Table && i < Table->GetColumnCount(); ++i)
                if (TFldData* c = Table->Column(i); c->Rare().NotNullName == constraint) {
                    c->Nullable = true;
                    c->SetRare().NotNullName.clear();
                }
            NextToken();
            return {constraint, dboConstraint, saDrop, TableName};
        }
        if (Token != tkIdent) {
            ReportError("Unknown ALTER TABLE <table-name> DROP statement");
            return {};
        }
        const std::string column = TokenText;
        if (Table) Table->RemoveColumn(column);
        NextToken();
        return {column, dboField, saDrop, TableName};
    }
    default: ReportError("Unknown symbol"); return {};
    }
}

TIbParser::TAlterTableAction TIbParser::ParseAddColumn(TTblData* Table, const std::string& TableName) {
    std::unique_ptr<TFldData> column = ParseFieldDef(Table, TableName);
    if (!column) return {};
    const std::string name = column->Name;
    if (Table && !Failed()) {
        column->Position = Table->GetColumnCount();
        if (column->DataType == dtDomain && Objs) AddDependency(column.get(), Objs->FindDomain(column->DomainName));
        Table->AddColumn(std::move(column));
    }
    return {name, dboField, saCreate, TableName};
}

TIbParser::TAlterTableAction TIbParser::ParseAlterColumn(TTblData* Table, const std::string& TableName) {
    // ALTER [COLUMN] name, then TO, TYPE, COMPUTED BY, POSITION, SET/DROP DEFAULT or NOT NULL.
    NextToken();
    if (IsKeyword(kwCOLUMN)) NextToken();
    Expect(tkIdent);
    if (Failed()) return {};
    const std::string name = TokenText;
    TFldData* column = Table ? Table->ColumnByName(name) : nullptr;
    // A column the container does not hold is read all the same, into a column thrown away.
    std::unique_ptr<TFldData> unknown;
    if (!column) {
        unknown = std::make_unique<TFldData>(Objs, nullptr);
        unknown->OwnerName = TableName;
        column = unknown.get();
    }
    NextToken();
    switch (WordCode()) {
    case kwTO:
        NextAndExpect(tkIdent);
        if (Failed()) return {};
        if (!unknown) {
            RenameIndexColumn(TableName, name, TokenText);
            column->SetName(TokenText);
        }
        NextToken();
        break;
    case kwTYPE: {
        NextToken();
        // The new type replaces the old one whole; name, position, default and nullability stay.
        TFldData& c = *column;
        c.DataType = dtUnknown;
        c.FieldLength = c.CharLength = c.Precision = c.Scale = c.SubType = c.SegmentLength = 0;
        c.CharSetName.clear();
        c.CollationName.clear();
        c.DomainName.clear();
        c.ArrayBounds.clear();
        c.TypeOf = false;
        ParseDataType(c, nullptr);
        break;
    }
    case kwCOMPUTED: ParseComputedBy(*column); break;
    case kwPOSITION:
        NextAndExpect(tkInteger);
        if (Failed() || !IntInRange(1, std::numeric_limits<int32_t>::max())) return {};
        if (Table && !unknown)
            for (int i = 0; i < Table->GetColumnCount(); ++i)
                if (Table->Column(i) == column) Table->MoveColumn(i, static_cast<int>(IntValue) - 1);
        NextToken();
        break;
    case kwSET:
    case kwDROP: {
        const bool set = Token == kwSET;
        NextToken();
        if (IsKeyword(kwDEFAULT)) {
            NextToken();
            std::string text;
            if (set) ParseDefaultValue(column, text);
            column->DefaultValue = text;
        } else if (IsKeyword(kwNOT)) {
            NextToken();
            if (!IsKeyword(kwNULL)) {
                Expect(kwNULL);
                return {};
            }
            column->Nullable = !set;
            column->SetRare().NotNullName.clear();  // the server names what SET NOT NULL adds
            NextToken();
        } else {
            Expect(kwDEFAULT);
            return {};
        }
        break;
    }
    default:
        if (IsWord("RESTART")) {
            // An identity's next value: the server keeps the column's start as it was.
            NextToken();
            if (IsKeyword(kwWITH)) {
                NextToken();
                int64_t value = 0;
                if (!ReadSignedInteger(value)) return {};
            }
            break;
        }
        ReportError("Unknown symbol");
        return {};
    }
    return {name, dboField, saAlter, TableName};
}

void TIbParser::RenameIndexColumn(const std::string& TableName, const std::string& OldName,
                                  const std::string& NewName) {
    // Firebird refuses to rename a column a constraint uses, but renames it in plain indices.
    if (!Objs) return;
    const TDbObjList& indices = Objs->List(olIndices);
    for (int i = 0; i < indices.Count(); ++i)
        if (auto* idx = dynamic_cast<TIdxData*>(indices.Obj(i)); idx && idx->TableName == TableName)
            RenameIn(idx->Fields, OldName, NewName);
}

void TIbParser::DropConstraint(const std::string& ConstraintName) {
    if (!Objs) return;
    delete Objs->List(olConstraints).Take(ConstraintName);
}

void TIbParser::ForgetObject(TDbObject Kind, const std::string& Name) {
    if (!Objs) return;
    TObjListKind list;
    switch (Kind) {
    case dboTable: list = olTables; break;
    case dboIndex: list = olIndices; break;
    case dboView: list = olViews; break;
    case dboProcedure: list = olProcedures; break;
    case dboTrigger: list = olTriggers; break;
    case dboDomain: list = olDomains; break;
    case dboException: list = olExceptions; break;
    case dboGenerator: list = olGenerators; break;
    case dboFunction: list = olUDFs; break;
    case dboPackage: list = olPackages; break;
    case dboCollation: list = olCollations; break;
    case dboRole: list = olRoles; break;
    default: return;
    }
    TDbObjList& objects = Objs->List(list);
    // A role is filed under a key of its own ("Role: " and the name).
    const TDbObj* role = Kind == dboRole ? Objs->FindRole(Name) : nullptr;
    if (Kind == dboRole && !role) return;
    std::unique_ptr<TDbObj> forgotten(objects.Take(role ? role->GetKeyName() : Name));
    if (!forgotten) return;
    if (Kind == dboTable) {
        // A table goes with its own constraints and indices.
        for (TObjListKind owned : {olConstraints, olIndices}) {
            std::vector<TDbObj*> taken =
                Objs->List(owned).TakeIf([&](const TDbObj& Obj) { return Obj.GetOwnerName() == Name; });
            for (auto it = taken.rbegin(); it != taken.rend(); ++it) delete *it;
        }
    }
}

// ---- indices ----

void TIbParser::ParseCreateIndex() {
    auto idx = std::make_unique<TIdxData>(Objs);
    if (IsKeyword(kwUNIQUE)) {
        idx->IsUnique = true;
        NextToken();
    }
    if (IsKeyword(kwASC)) {
        NextToken();
    } else if (IsKeyword(kwDESC)) {
        idx->IsDescending = true;
        NextToken();
    }
    if (!IsKeyword(kwINDEX)) return Expect(kwINDEX);
    NextAndExpect(tkIdent);
    if (Failed()) return;
    idx->SetName(TokenText);
    NextToken();
    if (!IsKeyword(kwON)) return Expect(kwON);
    NextAndExpect(tkIdent);
    if (Failed()) return;
    idx->TableName = TokenText;
    NextToken();
    if (IsKeyword(kwCOMPUTED)) {
        NextToken();
        if (IsKeyword(kwBY)) NextToken();
        if (Token != tkLParen) return Expect(tkLParen);
        idx->SetSource(ReadParenthesisedText());
    } else {
        ParseColumnList(idx->Fields);
    }
    if (Failed() || !ExpectTerminator()) return;
    if (LogWanted()) DoLogLine("Index: " + idx->GetCreateSQL());
    HandOn(skStatement, idx->Name, dboIndex, saCreate);
    AddDbObject(idx.release());
    NextToken();
}

void TIbParser::ParseAlterIndex() {
    NextAndExpect(tkIdent);
    if (Failed()) return;
    const std::string name = TokenText;
    auto* idx = Objs ? dynamic_cast<TIdxData*>(Objs->FindIndex(name)) : nullptr;
    NextToken();
    if (!IsKeyword(kwACTIVE) && !IsKeyword(kwINACTIVE))
        return ReportError("Must be: ACTIVE/INACTIVE (ALTER INDEX... declaration)");
    const bool active = IsKeyword(kwACTIVE);
    NextToken();
    if (!ExpectTerminator()) return;
    if (idx) {
        idx->Active = active;
        if (LogWanted()) DoLogLine("Alter index: " + idx->GetCreateSQL());
    }
    // Handed on like every other change, so a script that is run switches the index too.
    HandOn(skStatement, name, dboIndex, saAlter);
    NextToken();
}

} // namespace qnl
