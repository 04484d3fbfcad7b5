#include "interbase/qnlIbScriptParser.h"

#include "interbase/qnlIBExParser.h"

namespace qnl {

std::unique_ptr<TIbParser> NewIbScriptParser(TCustomExtract* Owner) { return std::make_unique<TIbExParser>(Owner); }

} // namespace qnl
