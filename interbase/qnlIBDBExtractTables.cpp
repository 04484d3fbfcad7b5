// The database extractor's readers of domains, tables and their columns, and the helpers the
// routine readers share with them: numeric precision and scale, default clauses, comments.
#include "interbase/qnlIBDBExtract.h"
#include "interbase/qnlIBDBExtractRows.h"

#include "core/qnlDBStructure.h"
#include "objects/qnlComp_Dmn.h"
#include "objects/qnlComp_Gnr.h"
#include "objects/qnlComp_Tbl.h"

#include <cctype>

namespace qnl {

using namespace dbrow;

namespace {

bool IsNameChar(char C) {
    return std::isalnum(static_cast<unsigned char>(C)) || C == '_' || C == '$' || static_cast<unsigned char>(C) >= 0x80;
}

bool StartsWithUpper(const std::string& Text, const char* Prefix) {
    return UpperCase(Text.substr(0, std::char_traits<char>::length(Prefix))) == Prefix;
}

// The largest precision of an integer-based catalogue type; 0 for the others.
int32_t MaxPrecision(int32_t IBType) {
    switch (IBType) {
    case 7: return 4;
    case 8: return 9;
    case 16: return 18;
    case 27: return 15;
    default: return 0;
    }
}

} // namespace

std::string RemoveComments(const std::string& Text, bool RemoveLineComments) {
    std::string out;
    out.reserve(Text.size());
    size_t i = 0;
    const size_t n = Text.size();
    while (i < n) {
        const char c = Text[i];
        if (c == '\'' || c == '"') {
            // A literal or quoted name, doubled quotes inside it included, to its closing quote.
            out += c;
            ++i;
            while (i < n) {
                out += Text[i];
                if (Text[i] == c) {
                    if (i + 1 < n && Text[i + 1] == c) {
                        out += Text[++i];
                    } else {
                        ++i;
                        break;
                    }
                }
                ++i;
            }
            continue;
        }
        if (c == '/' && i + 1 < n && Text[i + 1] == '*') {
            const size_t end = Text.find("*/", i + 2);
            i = end == std::string::npos ? n : end + 2;
            continue;
        }
        if (RemoveLineComments && c == '-' && i + 1 < n && Text[i + 1] == '-') {
            while (i < n && Text[i] != '\r' && Text[i] != '\n') ++i;
            continue;
        }
        out += c;
        ++i;
    }
    return out;
}

std::string CleanDefaultSource(const std::string& Text) {
    // Both comment forms: a line comment between the keyword and the value is stored too.
    std::string s = Trim(RemoveComments(Text, true));
    if (s.empty()) return s;
    // Firebird keeps the clause as typed: any case, and whatever separates the keyword from the
    // value (a line break, a comment already removed, nothing before a quote or parenthesis).
    if (StartsWithUpper(s, "DEFAULT") && (s.size() == 7 || !IsNameChar(s[7])))
        s.erase(0, 7);
    else if (s[0] == '=')
        s.erase(0, 1);
    return Trim(s);
}

void TIBDBExtract::ApplyNumericPrecision(int32_t FieldType, int32_t SubType, const TQNLValue& Precision,
                                         const TQNLValue& Scale, TFldData& Field, bool HasPrecision) {
    const bool integerBased = Objs()->IBServerOptions.SupportsDialect3()
                                  ? FieldType == 7 || FieldType == 8 || FieldType == 16 || FieldType == 27
                                  : FieldType == 7 || FieldType == 8 || FieldType == 27;
    const int32_t precision = static_cast<int32_t>(Precision.AsInteger());
    const int32_t maxPrecision = MaxPrecision(Field.IBFieldType);
    bool done = false;
    if (HasPrecision) {
        Field.Precision = precision;
        if (integerBased && precision > 0) {
            const int32_t capped = maxPrecision > 0 && precision > maxPrecision ? maxPrecision : precision;
            Field.BaseDataType = Field.DataType;
            if (SubType == 1 || SubType == 2) {
                Field.DataType = SubType == 1 ? dtNumeric : dtDecimal;
                Field.Precision = capped;
                Field.Scale = -static_cast<int32_t>(Scale.AsInteger());
                done = true;
            }
        }
    } else {
        Field.Precision = 0;
    }
    if (!done && !Scale.IsNull() && Scale.AsInteger() < 0) {
        if (maxPrecision > 0) Field.Precision = maxPrecision;
        Field.Scale = -static_cast<int32_t>(Scale.AsInteger());
        if (SubType == 0) {
            Field.BaseDataType = Field.DataType;
            Field.DataType = dtNumeric;
        }
    }
}

namespace {

// The character set and collation of a column or domain from a row naming them. The collation
// that is its set's default now (ALTER CHARACTER SET ... SET DEFAULT COLLATION may have made it
// another than the one named like the set) is none of its own: a definition without COLLATE
// gets it, and isql writes none. A column on a domain keeps what differs from the domain's.
void SetCharSetCollation(TFldData& Field, TQNLQuery& Q, int32_t CharSetId) {
    std::string collation = NameOf(Q, "RDB$COLLATION_NAME");
    int32_t collationId = static_cast<int32_t>(IntOf(Q, "RDB$COLLATION_ID"));
    const TFldData* domain = Field.DataType == dtDomain ? Field.GetDomainType() : nullptr;
    const bool ownDefault = Field.DataType != dtDomain || (domain && domain->CollationName.empty());
    if (ownDefault && !collation.empty() && collation == NameOf(Q, "DEFAULT_COLLATE_NAME")) {
        collation.clear();
        collationId = 0;
    }
    Field.SetCharSetCollation(CharSetId, NameOf(Q, "RDB$CHARACTER_SET_NAME"), collationId, collation);
}

} // namespace

void TIBDBExtract::ExtractDomains() {
    LogLine("Extracting domains...");
    TQNLQuery& q = MainQuery();
    q.SetSQLText(
        "select F.*, (Select C.Rdb$Character_Set_Name from Rdb$Character_Sets C where "
        "C.Rdb$Character_Set_ID=F.Rdb$Character_Set_ID) RDB$CHARACTER_SET_NAME, (Select C1.Rdb$Collation_Name from "
        "Rdb$Collations C1 where C1.Rdb$Character_Set_ID=F.Rdb$Character_Set_ID and "
        "C1.Rdb$Collation_ID=F.Rdb$Collation_ID) RDB$COLLATION_NAME, (Select C3.Rdb$Default_Collate_Name from "
        "Rdb$Character_Sets C3 where C3.Rdb$Character_Set_ID=F.Rdb$Character_Set_ID) DEFAULT_COLLATE_NAME from "
        "RDB$fields F where (F.rdb$system_flag<>1 or "
        "F.rdb$system_flag is null) and (F.rdb$field_name not like 'RDB$%') order by F.rdb$field_name ");
    q.Open();
    while (!q.GetEof()) {
        auto domain = std::make_unique<TDmnData>(Objs());
        domain->SetName(NameOf(q, "RDB$FIELD_NAME"));
        TFldData& type = *domain->TypeField;
        type.SetSystemName(domain->Name);
        const int32_t fieldType = static_cast<int32_t>(IntOf(q, "RDB$FIELD_TYPE"));
        const int32_t subType = static_cast<int32_t>(IntOf(q, "RDB$FIELD_SUB_TYPE"));
        type.IBFieldType = fieldType;
        type.DataType = type.IBTypeToDataType(fieldType, subType);
        type.DefaultValue = CleanDefaultSource(TextOf(q, "RDB$DEFAULT_SOURCE"));
        type.FieldLength = static_cast<int32_t>(IntOf(q, "RDB$FIELD_LENGTH"));
        type.CharLength = static_cast<int32_t>(IntOf(q, "RDB$CHARACTER_LENGTH"));
        type.SetSource(Trim(TextOf(q, "RDB$COMPUTED_SOURCE")));
        type.Nullable = IntOf(q, "RDB$NULL_FLAG") == 0;
        ApplyNumericPrecision(fieldType, subType, HasFieldPrecision ? ValueOf(q, "RDB$FIELD_PRECISION") : TQNLValue(),
                              ValueOf(q, "RDB$FIELD_SCALE"), type, HasFieldPrecision);
        type.SubType = subType;
        if (subType == 1) type.SetRare().SubTypeName = "TEXT";
        if (subType == 2) type.SetRare().SubTypeName = "BLR";
        type.SegmentLength = static_cast<int32_t>(IntOf(q, "RDB$SEGMENT_LENGTH"));
        SetCharSetCollation(type, q, static_cast<int32_t>(IntOf(q, "RDB$CHARACTER_SET_ID")));
        domain->SetDescription(TextOf(q, "RDB$DESCRIPTION"));
        // A domain's array bounds belong to its type: without them an array domain would be
        // created as a plain one.
        if (!NullOf(q, "RDB$DIMENSIONS")) ReadFieldDimensions(type, NameOf(q, "RDB$FIELD_NAME"));
        std::string check = Trim(TextOf(q, "RDB$VALIDATION_SOURCE"));
        if (StartsWithUpper(check, "CONSTRAINT")) check = Trim(check.substr(10));
        if (StartsWithUpper(check, "CHECK")) check = check.substr(5);
        type.SetRare().CheckSource = Trim(check);
        if (ShowFullLog) LogLine("---" + domain->Name);
        if (AcceptObjName(domain->Name, dboDomain))
            Objs()->AddDbObject(domain.release(), true);
        ProcessAppMessages();
        if (AbortRequested) break;
        q.Next();
    }
    q.Close();
    q.ClearSQL();
}

void TIBDBExtract::ExtractTables() {
    const bool ibe = IgnoreIBEObjects();
    // The tables the readers take: user relations that are no views.
    std::string where = " where (T.rdb$system_flag <> 1 or T.Rdb$System_Flag is null) and T.Rdb$View_BLR is null ";
    if (ibe) where += " and T.rdb$relation_name not like 'IBE$%' ";
    std::unique_ptr<TQNLQuery> tables = NewQuery(this);
    int tableCount = 0;
    if (OnProgressStep) {
        tables->SetSQLText(" select Count(*) from rdb$relations T " + where);
        tables->Open();
        tableCount = static_cast<int>(tables->GetFields()->Fields(0)->AsInteger());
        tables->Close();
        tables->ClearSQL();
        OnProgressStep(this, 1, "Tables", 0, tableCount);
    }
    LogLine("Extracting tables...");
    tables->SetSQLText(std::string(" select T.rdb$Relation_Name, T.Rdb$Description, T.rdb$External_File,") +
                       (HasRelationType ? " T.rdb$Relation_Type, " : "") + " T.rdb$System_Flag from rdb$relations T " +
                       where + " order by T.rdb$relation_name ");
    tables->Open();
    std::vector<std::unique_ptr<TTblData>> read;
    std::unordered_map<std::string, TTblData*> byName;
    while (!tables->GetEof()) {
        auto table = std::make_unique<TTblData>(Objs());
        TQNLQuery& t = *tables;
        table->SetName(NameOf(t, "RDB$RELATION_NAME"));
        if (const std::string d = TextOf(t, "RDB$DESCRIPTION"); !d.empty()) table->SetDescription(d);
        table->ExternalFile = TextOf(t, "RDB$EXTERNAL_FILE");
        if (HasRelationType) {
            const std::string type = NameOf(t, "RDB$RELATION_TYPE");
            if (type == "GLOBAL TEMPORARY") {
                table->GlobalTemporary = true;
            } else if (type == "GLOBAL TEMPORARY DELETE" || type == "5") {
                table->GlobalTemporary = true;
                table->OnCommit = 1;
            } else if (type == "GLOBAL TEMPORARY PRESERVE" || type == "4") {
                table->GlobalTemporary = true;
                table->OnCommit = 2;
            }
        }
        byName.emplace(table->Name, table.get());
        read.push_back(std::move(table));
        tables->Next();
    }
    tables->Close();
    tables->ClearSQL();
    ReadTableColumns(byName);

    int counter = 0;
    for (std::unique_ptr<TTblData>& table : read) {
        ++counter;
        if (OnProgressStep) OnProgressStep(this, 1, table->Name, counter, tableCount);
        if (ShowFullLog) LogLine("---" + table->Name);
        if (AcceptDbObject(table.get())) Objs()->AddDbObject(table.release(), true);
        ProcessAppMessages();
        if (AbortRequested) break;
    }
}

void TIBDBExtract::ReadTableColumns(const std::unordered_map<std::string, TTblData*>& Tables) {
    if (Tables.empty()) return;
    const bool identity = HasIdentityGenerator && HasIdentityType;
    // The name given to a column's NOT NULL constraint (the server's own begin INTEG_), one
    // query for the whole database: the first name per column, by name.
    std::unordered_map<std::string, std::string> notNullNames;
    ForEachRow(
        "select RC.Rdb$Relation_Name, CC.Rdb$Trigger_Name, RC.Rdb$Constraint_Name from Rdb$Relation_Constraints RC "
        "join Rdb$Check_Constraints CC on CC.Rdb$Constraint_Name = RC.Rdb$Constraint_Name "
        "where RC.Rdb$Constraint_Type = 'NOT NULL' order by RC.Rdb$Constraint_Name",
        [&notNullNames](TQNLQuery& Q) {
            notNullNames.emplace(PairKey(NameOf(Q, "RDB$RELATION_NAME"), NameOf(Q, "RDB$TRIGGER_NAME")),
                                 NameOf(Q, "RDB$CONSTRAINT_NAME"));
        });

    std::string text =
        "Select R.Rdb$Relation_Name, R.Rdb$Field_Name, R.rdb$field_position, R.Rdb$default_Value, R.Rdb$default_source, "
        "R.Rdb$null_flag, COALESCE(R.Rdb$collation_ID, F.Rdb$collation_ID) Rdb$collation_ID, "
        "F.Rdb$Character_Set_ID F_Character_Set_ID, R.Rdb$DESCRIPTION, F.Rdb$field_name F_Fld_Name, F.Rdb$field_type, "
        "F.Rdb$field_length F_Fld_length, F.Rdb$character_length F_chr_length, F.Rdb$field_sub_type F_Fld_sub_type, "
        "F.Rdb$Segment_Length F_Segment_Length, F.Rdb$VALIDATION_Source F_VALIDATION_SOURCE, "
        "F.Rdb$default_Value F_DEFAULT_VALUE, F.Rdb$default_Source F_DEFAULT_SOURCE, F.Rdb$COMPUTED_Source, ";
    if (HasFieldPrecision) text += "F.RDB$FIELD_PRECISION, ";
    text += "F.Rdb$Field_Scale F_Field_Scale, F.Rdb$Dimensions, ";
    if (HasIdentityGenerator) text += "R.Rdb$GENERATOR_NAME, ";
    if (HasIdentityType) text += "R.Rdb$IDENTITY_TYPE, ";
    // Firebird 3 keeps the START WITH of an identity column as its generator's initial value.
    if (identity && HasGeneratorInitialValue) text += "G.Rdb$Initial_Value IDENTITY_SEED, ";
    text +=
        "(Select C1.Rdb$Collation_Name from Rdb$Collations C1 "
        "where C1.Rdb$Collation_ID=COALESCE(R.Rdb$Collation_ID, F.Rdb$Collation_ID) "
        "and C1.Rdb$Character_Set_ID=F.Rdb$Character_Set_ID) Rdb$Collation_Name, "
        "(Select C2.Rdb$Character_Set_Name from Rdb$Character_Sets C2 "
        "where C2.Rdb$Character_Set_ID=F.Rdb$Character_Set_ID) Rdb$Character_Set_Name, "
        "(Select C3.Rdb$Default_Collate_Name from Rdb$Character_Sets C3 "
        "where C3.Rdb$Character_Set_ID=F.Rdb$Character_Set_ID) DEFAULT_COLLATE_NAME "
        "from rdb$Relation_Fields R join RDB$FIELDS F on F.rdb$field_name=R.Rdb$field_source "
        "join Rdb$Relations T on T.Rdb$Relation_Name = R.Rdb$Relation_Name ";
    if (identity && HasGeneratorInitialValue)
        text += "left join Rdb$Generators G on G.Rdb$Generator_Name = R.Rdb$Generator_Name ";
    text += "where (T.rdb$system_flag <> 1 or T.Rdb$System_Flag is null) and T.Rdb$View_BLR is null "
            "order by R.Rdb$Relation_Name, R.rdb$field_position, R.rdb$field_name";
    std::unique_ptr<TQNLQuery> q = NewQuery(this);
    q->SetSQLText(text);
    q->Open();
    TQNLQuery& Q = *q;
    TTblData* table = nullptr;
    std::string tableName;
    int position = 0;
    while (!Q.GetEof()) {
        if (const std::string relation = NameOf(Q, "RDB$RELATION_NAME"); !table || relation != tableName) {
            const auto it = Tables.find(relation);
            table = it == Tables.end() ? nullptr : it->second;
            tableName = relation;
            position = 0;
        }
        if (!table) {
            Q.Next();
            continue;
        }
        auto column = std::make_unique<TFldData>(Objs(), table);
        TFldData& c = *column;
        c.SetName(NameOf(Q, "RDB$FIELD_NAME"));
        const std::string source = NameOf(Q, "F_FLD_NAME");
        c.SetSystemName(source);
        c.OwnerName = table->Name;
        c.Owner = table;
        c.FieldPosition = static_cast<int32_t>(IntOf(Q, "RDB$FIELD_POSITION"));
        c.Position = position++;
        const int32_t fieldType = static_cast<int32_t>(IntOf(Q, "RDB$FIELD_TYPE"));
        const int32_t subType = static_cast<int32_t>(IntOf(Q, "F_FLD_SUB_TYPE"));
        c.IBFieldType = fieldType;
        c.DataType = c.IBTypeToDataType(fieldType, subType);
        c.SetDescription(TextOf(Q, "RDB$DESCRIPTION"));
        c.DefaultValue = NullOf(Q, "RDB$DEFAULT_VALUE") ? CleanDefaultSource(TextOf(Q, "F_DEFAULT_SOURCE"))
                                                        : CleanDefaultSource(TextOf(Q, "RDB$DEFAULT_SOURCE"));
        c.Nullable = IntOf(Q, "RDB$NULL_FLAG") == 0;
        if (!c.Nullable)
            if (const auto nn = notNullNames.find(PairKey(table->Name, c.Name));
                nn != notNullNames.end() && nn->second.compare(0, 6, "INTEG_") != 0)
                c.SetRare().NotNullName = nn->second;
        ApplyNumericPrecision(fieldType, subType, HasFieldPrecision ? ValueOf(Q, "RDB$FIELD_PRECISION") : TQNLValue(),
                              ValueOf(Q, "F_FIELD_SCALE"), c, HasFieldPrecision);
        c.SetRare().CheckSource = Trim(TextOf(Q, "F_VALIDATION_SOURCE"));
        c.SetSource(Trim(TextOf(Q, "RDB$COMPUTED_SOURCE")));
        c.SubType = subType;
        c.SegmentLength = static_cast<int32_t>(IntOf(Q, "F_SEGMENT_LENGTH"));
        c.FieldLength = static_cast<int32_t>(IntOf(Q, "F_FLD_LENGTH"));
        c.CharLength = static_cast<int32_t>(IntOf(Q, "F_CHR_LENGTH"));
        if ((c.DataType == dtVarChar || c.DataType == dtChar || c.DataType == dtCString) && c.CharLength == 0)
            c.CharLength = c.FieldLength;
        if (c.Rare().CheckSource.size() > 5) c.SetRare().CheckSource = Trim(c.Rare().CheckSource.substr(5));
        if (source.compare(0, 4, "RDB$") != 0) {
            c.DomainName = source;
            if (auto* domain = dynamic_cast<TDmnData*>(Objs()->FindDomain(source))) {
                const std::string def = c.GetDefault();
                if (!def.empty() && def == domain->TypeField->GetDefault()) c.DefaultValue.clear();
            }
            c.DataType = dtDomain;
            c.SetRare().CheckSource.clear();
        }
        // A column without a COLLATE clause has no collation of its own (NULL): its field's
        // stands, and with it the character set it was declared with (a computed column's too,
        // so that its declared type is written whole).
        if (!NullOf(Q, "F_CHARACTER_SET_ID"))
            SetCharSetCollation(c, Q, static_cast<int32_t>(IntOf(Q, "F_CHARACTER_SET_ID")));
        if (!NullOf(Q, "RDB$DIMENSIONS")) ReadFieldDimensions(c, source);
        if (identity && IntOf(Q, "RDB$IDENTITY_TYPE") == 1 && !NullOf(Q, "RDB$GENERATOR_NAME")) {
            c.Identity = true;
            if (HasGeneratorInitialValue && !NullOf(Q, "IDENTITY_SEED")) c.IdentitySeed = IntOf(Q, "IDENTITY_SEED");
        }
        table->AddColumn(std::move(column));
        Q.Next();
    }
    q->Close();
    q->ClearSQL();
}

void TIBDBExtract::ReadFieldDimensions(TFldData& Column, const std::string& FieldName) {
    if (!FCache) FCache = std::make_unique<TCatalogueCache>();
    if (!FCache->DimensionsRead) {
        ForEachRow("Select dm.rdb$field_name, dm.rdb$lower_bound, dm.rdb$upper_bound from rdb$field_dimensions dm "
                   "order by dm.rdb$field_name, dm.rdb$dimension",
                   [this](TQNLQuery& Q) {
                       FCache->Dimensions[NameOf(Q, "RDB$FIELD_NAME")].emplace_back(
                           static_cast<int32_t>(IntOf(Q, "RDB$LOWER_BOUND")),
                           static_cast<int32_t>(IntOf(Q, "RDB$UPPER_BOUND")));
                   });
        FCache->DimensionsRead = true;
    }
    const auto it = FCache->Dimensions.find(FieldName);
    if (it == FCache->Dimensions.end())
        Column.ArrayBounds.clear();
    else
        Column.ArrayBounds = it->second;
}

} // namespace qnl
