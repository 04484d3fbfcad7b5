// Implements TFIBXSQLDA; see FIBQuery.h.
#include "client/FIBQuery.h"

#include "client/fib.h"
#include "platform/VariantConv.h"

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <cstring>

namespace qnl {

namespace {

// The installed header's sizes (a 24-byte header and 160-byte records on 64-bit Linux).
size_t AreaLength(int Count) {
    return offsetof(XSQLDA, sqlvar) + static_cast<size_t>(Count) * sizeof(XSQLVAR);
}
static_assert(offsetof(XSQLDA, sqlvar) + sizeof(XSQLVAR) == XSQLDA_LENGTH(1), "the header's own area length");

constexpr size_t AliasCapacity = sizeof(XSQLVAR::aliasname);

void WriteAlias(XSQLVAR& Record, const std::string& Alias) {
    const size_t length = std::min(Alias.size(), AliasCapacity);
    std::memcpy(Record.aliasname, Alias.data(), length);
    if (length < AliasCapacity) Record.aliasname[length] = '\0';
    Record.aliasname_length = static_cast<ISC_SHORT>(length);
}

} // namespace

TFIBXSQLDA::TFIBXSQLDA(bool IsInput) : FIsInput(IsInput) {}

TFIBXSQLDA::~TFIBXSQLDA() {
    FVars.clear();   // each entry frees its data and indicator buffers
    std::free(FBuffer);
}

void TFIBXSQLDA::SetCount(int Value) {
    FAllNames.clear();
    FDuplicateNames.clear();
    FNameCache.clear();
    FCount = Value;
    if (Value <= FAllocated) {
        if (FBuffer) FBuffer->sqln = FBuffer->sqld = static_cast<ISC_SHORT>(Value);
        return;
    }
    void* buffer = FBuffer;
    ReallocZeroed(buffer, FAllocated > 0 ? AreaLength(FAllocated) : 0, AreaLength(Value));
    FBuffer = static_cast<XSQLDA*>(buffer);
    FBuffer->version = SQLDA_VERSION1;
    for (int i = 0; i < Value; ++i) {
        if (i >= static_cast<int>(FVars.size())) FVars.push_back(std::make_unique<TFIBXSQLVAR>(this));
        FVars[static_cast<size_t>(i)]->SetRecord(&FBuffer->sqlvar[i]);
    }
    FAllocated = Value;
    FBuffer->sqln = FBuffer->sqld = static_cast<ISC_SHORT>(Value);
}

TFIBXSQLVAR& TFIBXSQLDA::GetVar(int Index) const {
    if (Index < 0 || Index >= FCount) RaiseClientError(cecXSQLDAIndexOutOfRange);
    return *FVars[static_cast<size_t>(Index)];
}

TFIBXSQLVAR* TFIBXSQLDA::FindRegistered(const std::string& Name) const {
    auto it = FAllNames.find(Name);
    if (it == FAllNames.end() || it->second >= FCount) return nullptr;
    return FVars[static_cast<size_t>(it->second)].get();
}

TFIBXSQLVAR* TFIBXSQLDA::FindLocal(const std::string& Name) {
    if (auto cached = FNameCache.find(Name); cached != FNameCache.end()) return cached->second;
    TFIBXSQLVAR* found = nullptr;
    if (!Name.empty() && Name.front() == '"') {
        found = FindRegistered(Name.size() >= 2 ? Name.substr(1, Name.size() - 2) : std::string());
    } else {
        found = FindRegistered(Name);
        if (!found) found = FindRegistered(FastUpperCase(Name));
    }
    if (found) FNameCache.emplace(Name, found);
    return found;
}

TFIBXSQLVAR* TFIBXSQLDA::FindByName(const std::string& Name) {
    if (TFIBXSQLVAR* found = FindLocal(Name)) return found;
    if (FQuery && FQuery->ParamsArea() == this) {
        // A name the program set before the prepare may be one only the described text has.
        if (FQuery->MacroChangesPending()) FQuery->ApplyPendingMacroChanges();
        TFIBXSQLDA* described = FQuery->BindArea();
        return described && described != this ? described->FindByName(Name) : nullptr;
    }
    return nullptr;
}

void TFIBXSQLDA::AddName(const std::string& Name, int Index, bool KeepCase) {
    TFIBXSQLVAR& var = GetVar(Index);
    const std::string name = KeepCase ? Name : FastUpperCase(Name);
    if (FIsInput) {
        if (FDuplicateNames.count(name) != 0) {
            FDuplicateNames.emplace(name, Index);
        } else if (auto first = FAllNames.find(name); first != FAllNames.end()) {
            FDuplicateNames.emplace(name, first->second);
            FDuplicateNames.emplace(name, Index);
        }
    }
    FAllNames.emplace(name, Index);
    var.SetIdentity(name, Index, KeepCase);
}

std::vector<TFIBXSQLVAR*> TFIBXSQLDA::SameNamed(TFIBXSQLVAR& Var) {
    std::vector<TFIBXSQLVAR*> result;
    auto [first, last] = FDuplicateNames.equal_range(Var.Name());
    for (auto it = first; it != last; ++it)
        if (it->second < FCount) result.push_back(FVars[static_cast<size_t>(it->second)].get());
    if (result.empty()) result.push_back(&Var);
    return result;
}

std::string TFIBXSQLDA::UniqueAlias(const std::string& Alias) {
    for (int n = 1;; ++n) {
        const std::string number = std::to_string(n);
        std::string candidate = Alias + number;
        // The record holds 32 bytes: a long alias is shortened to make room for the number.
        if (candidate.size() >= AliasCapacity - 1)
            candidate = Alias.substr(0, AliasCapacity - std::min(number.size(), AliasCapacity)) + number;
        if (!FindRegistered(candidate) && !FindRegistered(FastUpperCase(candidate))) return candidate;
    }
}

void TFIBXSQLDA::InitializeVars() {
    const bool naming = FAllNames.empty();
    const bool separate = FQuery && FQuery->ParamsArea() == this;
    int unnamed = 0;
    for (int i = 0; i < FCount; ++i) {
        TFIBXSQLVAR& var = *FVars[static_cast<size_t>(i)];
        var.InitializeFromDescription(separate);
        if (!naming) continue;
        XSQLVAR& record = *var.GetXSQLVAR();
        std::string alias(record.aliasname,
                          std::min(static_cast<size_t>(std::max<ISC_SHORT>(record.aliasname_length, 0)), AliasCapacity));
        if (alias.empty()) {
            alias = "F_" + std::to_string(++unnamed);
            WriteAlias(record, alias);
        } else if (FAllNames.count(alias) != 0) {
            alias = UniqueAlias(alias);
            WriteAlias(record, alias);
        }
        AddName(alias, i, true);
    }
}

void TFIBXSQLDA::AssignValues(TFIBXSQLDA& Source) {
    for (int i = 0; i < Source.Count(); ++i) {
        TFIBXSQLVAR& from = Source.GetVar(i);
        TFIBXSQLVAR* to = FindByName(from.Name());
        if (!to) continue;
        if (from.GetIsNull() && !from.IsMacro) {
            to->SetAsVariant(Variant::Null());
        } else if (from.IsBlobOrArray() && to->IsBlobOrArray()) {
            // Content not yet written moves as content; a written blob moves as its id.
            if (TMemoryStream* pending = from.BlobStream()) {
                to->SetBlobContent(pending->Bytes(), from.GetSQLSubtype(), from.GetScale(), true);
            } else {
                to->FBlobStream.reset();
                to->SetAsQuad(from.GetAsQuad());
            }
        } else if (from.GetSQLType() != SQL_INT64) {
            to->FIsRawText = from.FIsRawText;
            if (from.Untyped() && !from.WideText().empty()) {
                const std::u16string wide = from.WideText();
                to->AssignText(WideToUtf8(wide), &wide, TFIBXSQLVAR::TTextSource::Area);
                // The source now carries what was sent. Its text bytes stay, so only a text type
                // can be taken over without reading them as something else.
                XSQLVAR& record = *from.GetXSQLVAR();
                if (to->GetSQLType() == SQL_TEXT)
                    record.sqltype = static_cast<ISC_SHORT>(SQL_TEXT | (record.sqltype & 1));
                record.sqlsubtype = static_cast<ISC_SHORT>(to->GetSQLSubtype());
                record.sqlscale = static_cast<ISC_SHORT>(to->GetScale());
                if (record.sqlind) *record.sqlind = 0;
            } else {
                to->SetAsVariant(from.GetAsVariant());
            }
        } else {
            if (to->IsBlobOrArray()) to->SetAsInt64(0);
            to->Assign(from);
        }
    }
    if (FQuery) FQuery->WritePendingBlobs(*this);
}

void TFIBXSQLDA::ClearValues() {
    for (int i = 0; i < FCount; ++i) {
        TFIBXSQLVAR& var = *FVars[static_cast<size_t>(i)];
        if (var.IsMacro)
            var.SetAsString(var.MacroDefault);
        else
            var.SetIsNull(true);
    }
}

void TFIBXSQLDA::ConvertUntyped() {
    for (int i = 0; i < FCount; ++i) {
        TFIBXSQLVAR& var = *FVars[static_cast<size_t>(i)];
        if (!var.Untyped()) continue;
        const int type = var.GetSQLType();
        const int described = var.GetServerSQLType();
        TFIBDatabase* db = var.Database();
        if (type == SQL_BLOB) {
            if (db && db->NeedUnicodeFieldTranslation() && var.GetServerSQLSubtype() == 1 &&
                db->IsUnicodeCharSet(var.GetServerScale() & 0xFF))
                var.SetAsAreaText(var.SingleByteText());
        } else if ((type == SQL_TEXT || type == SQL_VARYING) && !var.GetIsNull()) {
            var.SetAsAreaText(var.SingleByteText());
        } else if ((type == SQL_LONG || type == SQL_SHORT || type == SQL_DOUBLE || type == SQL_FLOAT ||
                    type == SQL_INT64) &&
                   (described == SQL_TIMESTAMP || described == SQL_TYPE_DATE || described == SQL_TYPE_TIME)) {
            var.SetAsDateTime(var.GetAsDouble());
        }
    }
    HasUntyped = false;
}

void TFIBXSQLDA::ResetModified() {
    for (int i = 0; i < FCount; ++i) FVars[static_cast<size_t>(i)]->Modified = false;
}

} // namespace qnl
