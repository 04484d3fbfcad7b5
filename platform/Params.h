#pragma once
// Named parameters of an SQL text: a list of TParam values and the parser that finds the
// ":NAME" places of a text.
#include "platform/Fields.h"
#include "platform/Variant.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace qnl {

enum TParamType : uint8_t { ptUnknown, ptInput, ptOutput, ptInputOutput, ptResult };

class TParam {
public:
    TParam(std::string Name, TFieldType DataType = ftUnknown, TParamType ParamType = ptUnknown)
        : Name(std::move(Name)), DataType(DataType), ParamType(ParamType) {}

    std::string Name;
    TFieldType DataType;
    TParamType ParamType;

    // Empty until a value is set; Null after Clear.
    const Variant& Value() const { return FValue; }
    // Sets the value; an unknown DataType follows the value's kind.
    void SetValue(const Variant& Value);
    bool IsNull() const { return FValue.IsNull() || FValue.IsEmpty(); }
    // True once a value (also Null) was set.
    bool Bound() const { return FBound; }
    void Clear();

    // Typed access: a null value reads as "", 0 or False; text that is no number raises
    // EConvertError.
    std::string AsString() const;
    int32_t AsInteger() const;
    int64_t AsLargeInt() const;
    double AsFloat() const;
    bool AsBoolean() const;
    void SetAsString(const std::string& Value) { SetTyped(Variant(Value), ftString); }
    void SetAsInteger(int32_t Value) { SetTyped(Variant(Value), ftInteger); }
    void SetAsLargeInt(int64_t Value) { SetTyped(Variant(Value), ftLargeint); }
    void SetAsFloat(double Value) { SetTyped(Variant(Value), ftFloat); }
    void SetAsBoolean(bool Value) { SetTyped(Variant(Value), ftBoolean); }
    void SetAsDateTime(TDateTime Value) { SetTyped(Variant::FromDate(Value), ftDateTime); }

private:
    void SetTyped(const Variant& Value, TFieldType Type);

    Variant FValue;
    bool FBound = false;
};

class TParams {
public:
    TParams() = default;
    virtual ~TParams() = default;
    TParams(const TParams&) = delete;
    TParams& operator=(const TParams&) = delete;

    TParam* CreateParam(TFieldType DataType, const std::string& Name, TParamType ParamType);
    int Count() const { return static_cast<int>(FItems.size()); }
    TParam* Items(int Index) const { return FItems.at(static_cast<size_t>(Index)).get(); }
    TParam* operator[](int Index) const { return Items(Index); }
    void Clear() { FItems.clear(); }
    // Names compare ASCII case-blind. ParamByName raises EDatabaseError
    // "Parameter '<name>' not found".
    TParam* FindParam(std::string_view Name) const;
    TParam* ParamByName(std::string_view Name) const;

    // The text with every parameter place (":NAME", or a quoted name :"A B") replaced by "?".
    // With DoCreate each name not yet in the list becomes an input parameter, in the order of
    // first appearance. Quoted strings, quoted identifiers and comments are passed over; "::"
    // and a ":" that starts no name (a digit, a blank, a bracket) stay as they are. A quoted
    // name without its closing quote raises EDatabaseError naming the position (1-based).
    std::string ParseSQL(const std::string& SQL, bool DoCreate);

private:
    std::vector<std::unique_ptr<TParam>> FItems;
};

} // namespace qnl
