#include "platform/Component.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace qnl;

namespace {
std::vector<std::string> g_log;

class Probe : public TComponent {
public:
    explicit Probe(TComponent* Owner, std::string Tag) : TComponent(Owner), FTag(std::move(Tag)) {}
    ~Probe() override { g_log.push_back("free " + FTag); }
    TComponent* Ref = nullptr;

protected:
    void Notification(TComponent* C, TOperation Op) override {
        TComponent::Notification(C, Op);
        if (Op == TOperation::opRemove && C == Ref) {
            Ref = nullptr;
            g_log.push_back(FTag + " lost ref");
        }
    }

private:
    std::string FTag;
};
} // namespace

TEST(Component, OwnerFreesOwnedInReverseOrderAndChildLeavesOwnerWhenFreedFirst) {
    g_log.clear();
    auto* owner = new Probe(nullptr, "owner");
    new Probe(owner, "a");
    auto* b = new Probe(owner, "b");
    new Probe(owner, "c");
    delete b;  // leaves the owner's list: must not be freed twice
    EXPECT_EQ(owner->ComponentCount(), 2);
    delete owner;
    EXPECT_EQ(g_log, (std::vector<std::string>{"free b", "free owner", "free c", "free a"}));
}

TEST(Component, FreeNotificationClearsReferenceEitherWay) {
    g_log.clear();
    auto* holder = new Probe(nullptr, "holder");
    auto* target = new Probe(nullptr, "target");
    holder->Ref = target;
    target->FreeNotification(holder);
    delete target;
    EXPECT_EQ(holder->Ref, nullptr);

    // The holder going first must leave no dangling link behind in the other.
    auto* other = new Probe(nullptr, "other");
    holder->Ref = other;
    other->FreeNotification(holder);
    delete holder;
    delete other;  // would touch freed memory if the link survived
    EXPECT_EQ(g_log.back(), "free other");
}
