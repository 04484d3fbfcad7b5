#include "core/qnlMsgManager.h"

#include <gtest/gtest.h>

using namespace qnl;

TEST(MsgManager, KindsAndCopies) {
    TMsgManager m;
    m.AddMessage("w", "a.sql", 4, 7, mkWarning);
    EXPECT_FALSE(m.HasErrors());
    EXPECT_TRUE(m.HasKind(mkWarning));

    TMsgManager other;
    other.AddSimpleMessage("e", mkError);
    m.AddFrom(&other);
    m.AddFrom(nullptr);
    ASSERT_EQ(m.Count(), 2);
    EXPECT_TRUE(m.HasErrors());
    EXPECT_EQ(other.Count(), 1);
    EXPECT_EQ(m.Items(0).Column, 4);
    EXPECT_EQ(m.Items(0).Line, 7);
    EXPECT_EQ(m.Items(0).ScriptName, "a.sql");

    m.AddFrom(&m);  // copies what it held when the call started, and stops
    EXPECT_EQ(m.Count(), 4);
    m.Clear();
    EXPECT_FALSE(m.HasKind(mkWarning));
}

namespace {
std::string g_note;
void Capture(const std::string& t) { g_note = t; }
} // namespace

TEST(MsgManager, NoteProcDefaultsToNothingAndIsSkippedWhenNull) {
    Note("silent");  // the default does nothing
    TNoteProc saved = NoteProc;
    NoteProc = &Capture;
    Note("heard");
    EXPECT_EQ(g_note, "heard");
    NoteProc = nullptr;
    Note("not called");
    EXPECT_EQ(g_note, "heard");
    NoteProc = saved;
    EXPECT_FALSE(AbortRequested);
}
