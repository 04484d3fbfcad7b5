#pragma once
// The one place where the script readers of InterBase/Firebird scripts are made: the script
// extractor and the script executor both read scripts with the parser this answers: the DDL
// reader with its body grammar, so that the bodies' dependencies order the update script.
#include "interbase/qnlIBParser.h"

#include <memory>

namespace qnl {

class TCustomExtract;

// A reader of InterBase/Firebird scripts, DDL and bodies. With an owner it takes its container
// from the owner's structure; without one the caller gives it a container.
std::unique_ptr<TIbParser> NewIbScriptParser(TCustomExtract* Owner);

} // namespace qnl
