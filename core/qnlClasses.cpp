#include "core/qnlClasses.h"

namespace qnl {

std::string NormalizeLineBreaks(const std::string& Text) {
    std::string out;
    out.reserve(Text.size());
    for (size_t i = 0; i < Text.size(); ++i) {
        char c = Text[i];
        if (c == '\r' || c == '\n') {
            out += "\r\n";
            if (c == '\r' && i + 1 < Text.size() && Text[i + 1] == '\n') ++i;
        } else {
            out += c;
        }
    }
    return Trim(out);
}

void TDbObj::SetDescription(const std::string& Value) { FDescription = NormalizeLineBreaks(Value); }
void TDbObj::SetSource(const std::string& Value) { FSource = NormalizeLineBreaks(Value); }

} // namespace qnl
