#pragma once
// The framework's assertion failure: a programming error caught at run time, reported with the
// unit that checked it.
#include "platform/Exceptions.h"

#include <string>
#include <string_view>

namespace qnl {

class EAssertionFailed : public Exception {
public:
    using Exception::Exception;
};

// Throws EAssertionFailed "<Message> (<Unit>)" unless Condition holds.
inline void Assert(bool Condition, std::string_view Message, std::string_view Unit) {
    if (!Condition) throw EAssertionFailed(std::string(Message) + " (" + std::string(Unit) + ")");
}

} // namespace qnl
