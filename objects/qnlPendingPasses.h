#pragma once
// PLACEHOLDERS, to be replaced: the comparer's converters of a master of another dialect
// (declared in qnlQuarnel.h) do nothing until they land.
#include "core/qnlTypes.h"

namespace qnl {

class TCustomQuarnel;
class TCustomObjs;
class TCustomSQLExec;

} // namespace qnl
