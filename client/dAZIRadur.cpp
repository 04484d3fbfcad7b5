#include "client/dAZIRadur.h"

#include "client/SqlTxtRtns.h"
#include "client/StrUtil.h"
#include "client/fib.h"
#include "platform/FileLock.h"
#include "platform/Files.h"
#include "platform/IniFiles.h"
#include "platform/IntText.h"

#include <optional>
#include <stdexcept>

namespace qnl {


// --- TFormatFields ---------------------------------------------------------------------------

std::string DefaultDateFormat = "dd.mm.yyyy";
std::string DefaultTimeFormat = "hh:mm AMPM";
std::string DefaultNumericDisplayFormat = "#,##0.";
std::string DefaultNumericEditFormat = "0.";
bool UseGlobalDefaultFormats = false;

TFormatFields::TFormatFields(TComponent* Owner) : FOwner(Owner) {
    if (UseGlobalDefaultFormats) {
        DateTimeDisplayFormat = DefaultDateFormat + " " + DefaultTimeFormat;
        NumericDisplayFormat = DefaultNumericDisplayFormat;
        NumericEditFormat = DefaultNumericEditFormat;
        DisplayFormatDate = DefaultDateFormat;
        DisplayFormatTime = DefaultTimeFormat;
    } else {
        DateTimeDisplayFormat = "dd.mm.yyyy hh:mm AMPM";
        NumericDisplayFormat = "#,##0.";
        NumericEditFormat = "0.";
        DisplayFormatDate = "dd.mm.yyyy";
        DisplayFormatTime = "hh:mm AMPM";
    }
}

void TFormatFields::Assign(const TFormatFields& Source) {
    DateTimeDisplayFormat = Source.DateTimeDisplayFormat;
    NumericDisplayFormat = Source.NumericDisplayFormat;
    NumericEditFormat = Source.NumericEditFormat;
    DisplayFormatDate = Source.DisplayFormatDate;
    DisplayFormatTime = Source.DisplayFormatTime;
}

// --- TAutoUpdateOptions ----------------------------------------------------------------------

std::string GeneratorPrefix = "GEN_";
std::string GeneratorSuffix = "_ID";

TAutoUpdateOptions::TAutoUpdateOptions(IAutoUpdateOwner* Owner) : FOwner(Owner) {}

void TAutoUpdateOptions::Assign(const TAutoUpdateOptions& Source) {
    if (&Source == this) return;
    SetUpdateTableName(Source.FUpdateTableName);
    SetKeyFields(Source.FKeyFields);
    AutoReWriteSqls = Source.AutoReWriteSqls;
    CanChangeSQLs = Source.CanChangeSQLs;
    GeneratorName = Source.GeneratorName;
    GeneratorStep = Source.GeneratorStep;
    FUpdateOnlyModifiedFields = Source.FUpdateOnlyModifiedFields;
    WhenGetGenID = Source.WhenGetGenID;
    FParamsToFieldsLinks.Assign(Source.FParamsToFieldsLinks);
    FHasAlias = Source.FHasAlias;
    SeparateBlobUpdate = Source.SeparateBlobUpdate;
    AutoParamsToFields = Source.AutoParamsToFields;
}

void TAutoUpdateOptions::SetUpdateTableName(const std::string& Value) {
    CachedKeyCondition.clear();
    // A stray blank around the name would read as an empty table with an alias.
    FUpdateTableName = Trim(Value);
    FQuotedTableName.clear();
    FQuotedTableAlias.clear();
    FHasAlias = TableAliasPos(FUpdateTableName) > 0;
    if (GeneratorName.empty() && WhenGetGenID != wgNever) {
        std::string name = GetQuotedTableName();
        if (!name.empty() && name[0] == '"') {
            std::string bare = name.substr(1);
            if (!bare.empty() && bare.back() == '"') bare.pop_back();
            GeneratorName = "\"" + GeneratorPrefix + bare + GeneratorSuffix + "\"";
        } else {
            GeneratorName = GeneratorPrefix + name + GeneratorSuffix;
        }
    }
    Changed = true;
}

void TAutoUpdateOptions::SetKeyFields(const std::string& Value) {
    CachedKeyCondition.clear();
    FKeyFieldList.Clear();
    // The framework's field-name list: names separated by ";", blanks around them dropped.
    size_t start = 0;
    while (start <= Value.size()) {
        size_t end = Value.find(';', start);
        if (end == std::string::npos) end = Value.size();
        std::string name = Trim(std::string_view(Value).substr(start, end - start));
        if (!name.empty()) FKeyFieldList.Add(name);
        start = end + 1;
    }
    FKeyFields = Value;
    Changed = true;
}

void TAutoUpdateOptions::SetUpdateOnlyModifiedFields(bool Value) {
    FUpdateOnlyModifiedFields = Value && AutoReWriteSqls && CanChangeSQLs;
}

void TAutoUpdateOptions::SetParamsToFieldsLinks(const TStringList& Value) {
    FParamsToFieldsLinks.Assign(Value);
    RemoveEmptyLines(FParamsToFieldsLinks);
}

void TAutoUpdateOptions::SetUseReturningFields(TSetReturningFields Value) {
    FUseReturningFields = Value;
    Changed = true;
}

void TAutoUpdateOptions::SetSelectGenID(bool Value) {
    if (!Value) WhenGetGenID = wgNever;
    else if (WhenGetGenID == wgNever) WhenGetGenID = wgBeforePost;
}

std::string TAutoUpdateOptions::GetQuotedTableName() {
    PrepareTableNames();
    return FQuotedTableName;
}

std::string TAutoUpdateOptions::GetQuotedTableAlias() {
    PrepareTableNames();
    return FQuotedTableAlias;
}

void TAutoUpdateOptions::PrepareTableNames() {
    if (!FQuotedTableName.empty()) return;
    std::string name, alias;
    if (FHasAlias) {
        name = ExtractTableName(FUpdateTableName, 0);
        alias = ExtractTableAlias(FUpdateTableName, 0);
    } else {
        name = FUpdateTableName;
        alias = FOwner ? FOwner->AliasByTableName(name) : name;
    }
    int dialect = 3;
    bool needUpperNames = false;
    if (FOwner && FOwner->DatabaseNameRules(dialect, needUpperNames)) {
        const auto normalise = [&](std::string& S) {
            if (dialect == 1) {
                S = UpperCase(Trim(S));
                return;
            }
            const bool quote = needUpperNames ? NeedQuoteNoCase(S) : NeedQuote(S);
            if (S.empty() || S[0] == '"') return;
            S = quote ? "\"" + S + "\"" : UpperCase(S);
        };
        normalise(name);
        normalise(alias);
    }
    FQuotedTableName = name;
    FQuotedTableAlias = alias;
}

// --- Connect parameters ----------------------------------------------------------------------

int TDBParams::IndexOfParam(const std::string& ItemName) const {
    for (int i = 0; i < Count(); ++i) {
        const std::string& line = Strings(i);
        const std::string name = Trim(std::string_view(line).substr(0, line.find('=')));
        // The whole name must match: "password_enc" is not "password", "force_write" not "force".
        if (SameText(name, ItemName) || SameText(name, "isc_dpb_" + ItemName)) return i;
    }
    return -1;
}

std::string TDBParams::ReadParam(int Code) const {
    const std::string item = DPBItemName(Code);
    if (item.empty()) return {};
    const int i = IndexOfParam(item);
    if (i < 0) return {};
    const std::string& line = Strings(i);
    const size_t eq = line.find('=');
    return eq == std::string::npos ? std::string() : line.substr(eq + 1);
}

void TDBParams::WriteParam(int Code, const std::string& Value) {
    const std::string item = DPBItemName(Code);
    if (item.empty()) return;
    const int i = IndexOfParam(item);
    if (Value.empty()) {
        if (i >= 0) Delete(i);
    } else if (i >= 0) {
        SetString(i, item + "=" + Value);
    } else {
        Add(item + "=" + Value);
    }
}

std::string TIBConnectParams::InstanceName() const { return FParams ? FParams->ReadParam(dpbInstanceName) : ""; }

void TIBConnectParams::SetInstanceName(const std::string& Value) {
    if (FParams) FParams->WriteParam(dpbInstanceName, Value);
}

void TConnectParams::SetCharSet(const std::string& Value) { Write(dpbLcCtype, UpperCase(Value)); }

// --- Generator cache -------------------------------------------------------------------------

TGeneratorParams::TGeneratorParams(TGeneratorsCache& Cache, std::string Name)
    : StepForCache(Cache.DefaultStep), FCache(Cache), FName(std::move(Name)) {}

int64_t TGeneratorParams::TakeNextValue() {
    std::optional<TFileLock> lock;
    bool useFile = !FCache.CacheFileName.empty();
    if (useFile) {
        lock.emplace(FCache.CacheFileName);
        useFile = lock->Locked();
        if (useFile) FCache.ReadItem(*this);   // another cache object may have taken values
    }
    const int64_t result = NextValue;
    if (result == -1) return -1;
    if (result > Limit) {
        NextValue = -1;   // not a block the server reserved
    } else {
        // Any value but -1 moves on, so a block of negative values is not handed out again.
        NextValue = result == Limit ? -1 : result + 1;
    }
    if (useFile) FCache.SaveItem(*this);
    return result > Limit ? -1 : result;
}

TGeneratorsCache::TGeneratorsCache(TObject* Owner) : FOwner(Owner) {}

TGeneratorParams& TGeneratorsCache::AddGenerator(const std::string& Name) {
    FGenerators.push_back(std::make_unique<TGeneratorParams>(*this, Name));
    return *FGenerators.back();
}

void TGeneratorsCache::SetGeneratorList(const TGeneratorsCache& Source) {
    if (&Source == this) return;
    FGenerators.clear();
    for (const auto& g : Source.FGenerators) AddGenerator(g->Name()).StepForCache = g->StepForCache;
}

bool TGeneratorsCache::IsCached(const std::string& GeneratorName) const {
    if (CacheFileName.empty()) return false;
    switch (UseGeneratorCache) {
    case forAll: return true;
    case forGeneratorList: return FindGenerator(GeneratorName) != nullptr;
    default: return false;
    }
}

TGeneratorParams* TGeneratorsCache::FindGenerator(const std::string& Name) const {
    for (const auto& g : FGenerators)
        if (SameText(g->Name(), Name)) return g.get();
    return nullptr;
}

int64_t TGeneratorsCache::GetNextValue(const std::string& Name) {
    if (!FLoaded) LoadFromFile();
    TGeneratorParams* item = FindGenerator(Name);
    return item ? item->TakeNextValue() : -1;
}

void TGeneratorsCache::SetGeneratorBlock(const std::string& Name, int64_t LastValue, int32_t Step) {
    if (Step < 1) Step = GetStep(Name);
    TGeneratorParams* item = FindGenerator(Name);
    if (!item && UseGeneratorCache == forAll) item = &AddGenerator(Name);
    if (!item) return;
    std::optional<TFileLock> lock;
    if (!CacheFileName.empty()) lock.emplace(CacheFileName);
    item->Limit = LastValue;
    item->NextValue = LastValue - Step + 1;
    if (lock && lock->Locked()) SaveItem(*item);
}

int32_t TGeneratorsCache::GetStep(const std::string& Name) const {
    const TGeneratorParams* item = FindGenerator(Name);
    const int32_t step = item ? item->StepForCache : DefaultStep;
    // gen_id with 0 reserves nothing and a negative step reserves values below the answer.
    return step < 1 ? 1 : step;
}

void TGeneratorsCache::LoadFromFile() {
    FLoaded = true;
    if (CacheFileName.empty() || !FileExists(CacheFileName)) return;
    TFileLock lock(CacheFileName);
    TMemIniFile ini(CacheFileName);
    for (const std::string& section : ini.ReadSections()) {
        TGeneratorParams* item = FindGenerator(section);
        if (!item) item = &AddGenerator(section);
        item->StepForCache = ini.ReadInteger(section, "StepForCache", DefaultStep);
        item->NextValue = ini.ReadInt64(section, "NextValue", -1);
        item->Limit = ini.ReadInt64(section, "Limit", -1);
    }
}

void TGeneratorsCache::ReadItem(TGeneratorParams& Item) const {
    TMemIniFile ini(CacheFileName);
    Item.NextValue = ini.ReadInt64(Item.Name(), "NextValue", -1);
    Item.Limit = ini.ReadInt64(Item.Name(), "Limit", -1);
}

void TGeneratorsCache::SaveItem(const TGeneratorParams& Item) const {
    if (CacheFileName.empty()) return;
    TMemIniFile ini(CacheFileName);
    ini.WriteInteger(Item.Name(), "StepForCache", Item.StepForCache);
    ini.WriteInt64(Item.Name(), "NextValue", Item.NextValue);
    ini.WriteInt64(Item.Name(), "Limit", Item.Limit);
    ini.UpdateFile();
}

// --- Blob swapping ---------------------------------------------------------------------------

void TBlobSwapSupport::Assign(const TBlobSwapSupport& Source) {
    if (&Source == this) return;
    Active = Source.Active;
    AutoValidateSwap = Source.AutoValidateSwap;
    SwapDir = Source.SwapDir;
    MinBlobSizeToSwap = Source.MinBlobSizeToSwap;
    FTables.Assign(Source.FTables);
}

std::string TBlobSwapSupport::GetExpandedSwapDir() const {
    if (!Active) return {};
    static constexpr std::string_view AppPath = "{APP_PATH}";
    std::string dir = SwapDir;
    if (dir.size() >= AppPath.size() && SameText(std::string_view(dir).substr(0, AppPath.size()), AppPath))
        dir = ProgramDir() + dir.substr(AppPath.size());
    if (!dir.empty() && dir.back() != '/') dir += '/';
    return dir;
}

// --- Conditions ------------------------------------------------------------------------------

std::string TCondition::Name() const {
    const size_t eq = FLine.find('=');
    return eq == std::string::npos ? std::string() : FLine.substr(0, eq);
}

std::string TCondition::Text() const {
    const size_t eq = FLine.find('=');
    return eq == std::string::npos ? std::string() : FLine.substr(eq + 1);
}

void TCondition::SetText(const std::string& Value) {
    if (Value != Text()) FLine = Name() + "=" + Value;
}

void TCondition::SetEnabled(bool Value) {
    if (Value == FEnabled) return;
    FEnabled = Value;
    FOwner.FApplied = false;
}

void TConditions::Assign(const TConditions& Source) {
    if (&Source == this) return;
    Clear();
    for (const auto& c : Source.FConditions) {
        auto copy = std::make_unique<TCondition>(*this, c->Line());
        copy->FEnabled = c->FEnabled;
        FConditions.push_back(std::move(copy));
    }
}

TCondition* TConditions::GetCondition(int Index) const {
    if (Index < 0 || Index >= Count()) return nullptr;
    return FConditions[static_cast<size_t>(Index)].get();
}

int TConditions::IndexOfName(std::string_view Name) const {
    for (int i = 0; i < Count(); ++i) {
        const std::string& line = FConditions[static_cast<size_t>(i)]->Line();
        const size_t eq = line.find('=');
        if (eq != std::string::npos && SameText(std::string_view(line).substr(0, eq), Name)) return i;
    }
    return -1;
}

int TConditions::Add(const std::string& Line) {
    FConditions.push_back(std::make_unique<TCondition>(*this, Line));
    return Count() - 1;
}

void TConditions::Put(int Index, const std::string& Line) {
    if (Index == Count()) {
        Add(Line);
        return;
    }
    FConditions.at(static_cast<size_t>(Index))->FLine = Line;
}

void TConditions::Delete(int Index) {
    if (Index < 0 || Index >= Count()) throw std::out_of_range("condition index out of range");
    FConditions.erase(FConditions.begin() + Index);
}

void TConditions::Clear() { FConditions.clear(); }

std::string TConditions::Text() const {
    std::string text;
    for (const auto& c : FConditions) text += c->Line() + std::string(CRLF);
    return text;
}

TCondition& TConditions::AddCondition(const std::string& Name, const std::string& Text, bool Enabled) {
    const int i = IndexOfName(Name);
    TCondition* condition;
    if (i >= 0) {
        condition = FConditions[static_cast<size_t>(i)].get();
        condition->SetText(Text);
    } else {
        condition = FConditions[static_cast<size_t>(Add(Name + "=" + Text))].get();
    }
    condition->SetEnabled(Enabled);
    if (Enabled) FApplied = false;
    return *condition;
}

TCondition* TConditions::FindCondition(std::string_view Name) const { return GetCondition(IndexOfName(Name)); }

void TConditions::RemoveCondition(std::string_view Name) {
    const int i = IndexOfName(Name);
    if (i >= 0) Delete(i);
    FApplied = false;
}

std::string TConditions::BuildText() const {
    std::string result;
    for (const auto& c : FConditions) {
        if (!c->Enabled() || IsBlankStr(c->Line())) continue;
        // A line comment at the end of a condition must not swallow its closing bracket.
        const std::string text = c->Text();
        result += "(" + text + (EndsInLineComment(text) ? std::string(CRLF) + ")" : std::string(")")) + std::string(CRLF);
        result += std::string(CRLF) + " and ";
    }
    if (!IsBlankStr(result)) result.erase(result.size() - 7);
    return result;
}

void TConditions::Apply() {
    if (!FOwner) return;
    FOwner->BeginSQLChange();
    FBusy |= BusyApplying;
    try {
        const std::string text = BuildText();
        // A text that the program set since the last Apply or restore is the new starting
        // point: going back to the older one would lose the program's change.
        const std::string current = FOwner->SQLText();
        if (IsBlankStr(FSavedSQL) || current != FLastSQL) FSavedSQL = current;
        else RestoreSQL();
        if (!IsBlankStr(text)) {
            std::string where = FOwner->MainWhereClause();
            if (IsBlankStr(where)) {
                where = text;
            } else {
                // The statement's own condition goes in brackets, so that an OR in it cannot
                // take rows past the added conditions ("A or B and (C)" is "A or (B and C)"). A
                // line comment at its end must not swallow the closing bracket.
                const std::string close = EndsInLineComment(where) ? std::string(CRLF) + ")" : std::string(")");
                where = "(" + where + close + std::string(CRLF) + "and " + text;
            }
            FOwner->SetMainWhereClause(where);
        }
        FLastSQL = FOwner->SQLText();
        FApplied = true;
    } catch (...) {
        FBusy &= static_cast<uint8_t>(~BusyApplying);
        FOwner->EndSQLChange();
        throw;
    }
    FBusy &= static_cast<uint8_t>(~BusyApplying);
    FOwner->EndSQLChange();
}

void TConditions::CancelApply() {
    if (!FApplied || FBusy != 0) return;
    FBusy |= BusyCancelling;
    try {
        RestoreSQL();
    } catch (...) {
        FBusy &= static_cast<uint8_t>(~BusyCancelling);
        throw;
    }
    FBusy &= static_cast<uint8_t>(~BusyCancelling);
}

void TConditions::RestoreSQL() {
    FBusy |= BusyRestoring;
    FApplied = false;
    try {
        if (FOwner && !IsBlankStr(FSavedSQL)) {
            // Only the text this list made is taken back; one the program set since stays and
            // becomes the starting point.
            const std::string current = FOwner->SQLText();
            if (current != FLastSQL) FSavedSQL = current;
            else if (current != FSavedSQL) FOwner->SetSQLText(FSavedSQL);
            FLastSQL = FSavedSQL;
        }
    } catch (...) {
        FBusy &= static_cast<uint8_t>(~BusyRestoring);
        throw;
    }
    FBusy &= static_cast<uint8_t>(~BusyRestoring);
}

void TConditions::SaveConditionsToStrings(TStringList& Strings) const {
    Strings.Clear();
    for (const auto& c : FConditions)
        Strings.Add(c->Name() + "#$#$" + c->Text() + "#$#$" + (c->Enabled() ? "1" : "0"));
}

std::string TConditions::SaveConditionsToText() const {
    TStringList lines;
    SaveConditionsToStrings(lines);
    std::string text;
    for (int i = 0; i < lines.Count(); ++i) text += (i > 0 ? std::string(CRLF) : std::string()) + lines[i];
    return text;
}

void TConditions::LoadConditionsFromStrings(const TStringList& Strings) {
    Clear();
    static constexpr std::string_view Marker = "#$#$";
    for (int i = 0; i < Strings.Count(); ++i) {
        const std::string& line = Strings[i];
        if (IsBlankStr(line)) continue;
        std::string name = line, text;
        bool enabled = false;
        if (size_t first = line.find(Marker); first != std::string::npos) {
            name = line.substr(0, first);
            const std::string rest = line.substr(first + Marker.size());
            const size_t second = rest.find(Marker);
            text = rest.substr(0, second);
            if (second != std::string::npos) enabled = Trim(std::string_view(rest).substr(second + Marker.size())) == "1";
        }
        AddCondition(name, text, enabled);
    }
}

void TConditions::LoadConditionsFromText(const std::string& Text) {
    TStringList lines;
    lines.SetText(Text);
    LoadConditionsFromStrings(lines);
}

// --- Memo subtypes ---------------------------------------------------------------------------

void TMemoSubtypes::SetSubtypes(const std::string& Value) {
    static const TCharSet Separators = MakeCharSet(";");
    FBytes.clear();
    FAnyNotOne = false;
    FText.clear();
    const int count = WordCount(Value, Separators);
    for (int n = 1; n <= count; ++n) {
        const std::string word = ExtractWord(n, Value, Separators);
        int32_t value = 1;
        if (!TryStrToInt(word, value)) value = 1;
        if (value >= 0 && value <= 255) FBytes.push_back(static_cast<uint8_t>(value));
        if (value != 1) {
            FAnyNotOne = true;
            if (!FText.empty()) FText += ';';
            FText += word;
        }
    }
}

bool TMemoSubtypes::IsMemoSubtype(uint8_t Subtype) const {
    for (uint8_t b : FBytes)
        if (b == Subtype) return true;
    return false;
}

} // namespace qnl
