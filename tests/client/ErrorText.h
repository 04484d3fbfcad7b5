#pragma once
// The message of what a call raises, for tests that pin error texts.
#include <gtest/gtest.h>

#include <string>

namespace qnl::test {

// The message of what Fn throws as E; fails the test when it throws nothing.
template <class E, class Fn>
std::string ErrorText(Fn&& F) {
    try {
        F();
    } catch (const E& e) {
        return e.what();
    }
    ADD_FAILURE() << "nothing raised";
    return {};
}

} // namespace qnl::test
