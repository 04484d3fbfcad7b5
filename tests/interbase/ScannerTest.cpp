#include "interbase/qnlParser.h"
#include <gtest/gtest.h>
TEST(Scanner, Placeholder) { qnl::TCustomSQLParser p; }
