#pragma once
// Where parsers and extractors collect their warnings and errors, and the process-wide reporting
// hooks of the comparison library.
#include "platform/AppHooks.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace qnl {

class TDbObj;

inline constexpr uint8_t mkWarning = 1;
inline constexpr uint8_t mkError = 2;

class TMsgData {
public:
    std::string Text;
    uint8_t Kind = 0;        // 1 warning, 2 error
    std::string ScriptName;  // empty when none
    int Column = 0;          // zero-based
    int Line = 0;
    TDbObj* DbObj = nullptr; // not owned

    void Assign(const TMsgData& Source) { *this = Source; }
};

class TMsgManager {
public:
    void Clear() { FItems.clear(); }
    // Column comes before Line, and Kind last: the parsers' own order.
    void AddMessage(const std::string& Text, const std::string& ScriptName, int Column, int Line, uint8_t Kind);
    void AddObjectMessage(const std::string& Text, TDbObj* Obj, int Column, int Line, uint8_t Kind);
    void AddSimpleMessage(const std::string& Text, uint8_t Kind, TDbObj* Obj = nullptr);
    bool HasKind(uint8_t Kind) const;
    bool HasErrors() const { return HasKind(mkError); }
    // Appends a copy of each message Other holds when the call starts; nil adds nothing.
    void AddFrom(const TMsgManager* Other);

    int Count() const { return static_cast<int>(FItems.size()); }
    const TMsgData& Items(int Index) const { return *FItems.at(static_cast<size_t>(Index)); }

private:
    TMsgData& Append();
    std::vector<std::unique_ptr<TMsgData>> FItems;
};

// The note procedure: does nothing until the host points it at its log; never called while it
// holds no function.
using TNoteProc = void (*)(const std::string& Text);
extern TNoteProc NoteProc;
void Note(const std::string& Text);

// Set by the host to stop the long loops between steps; the library never sets it.
extern bool AbortRequested;

} // namespace qnl
