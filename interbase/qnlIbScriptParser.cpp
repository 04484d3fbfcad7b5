#include "interbase/qnlIbScriptParser.h"

namespace qnl {

std::unique_ptr<TIbParser> NewIbScriptParser(TCustomExtract* Owner) { return std::make_unique<TIbParser>(Owner); }

} // namespace qnl
