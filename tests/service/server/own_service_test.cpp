// What a use of the program's own service does: the service process it runs holds the
// address, so the address is tried only when neither that process nor the thread has it, and
// a taken address is left to whoever has it.
#include "service/server/own_service.h"

#include <gtest/gtest.h>

namespace ql::service {
namespace {

TEST(OwnService, NextStep) {
    using Step = OwnServiceStep;
    const struct {
        OwnServiceFacts facts;
        bool addressFree;
        Step step;
        bool tried;  // whether the address was tried
    } rows[] = {
        {{true, false, true}, true, Step::kServed, false},
        {{false, true, true}, false, Step::kAwaitChild, false},  // its process holds the address
        {{false, false, true}, true, Step::kStartChild, true},   // none yet, or it has gone
        {{false, false, true}, false, Step::kLeave, true},       // another copy took it over
        {{false, false, false}, true, Step::kServeFromThread, true},
        {{false, false, false}, false, Step::kLeave, true},
    };
    for (const auto& row : rows) {
        bool tried = false;
        const Step step = NextOwnServiceStep(row.facts, [&] {
            tried = true;
            return row.addressFree;
        });
        EXPECT_EQ(step, row.step) << &row - rows;
        EXPECT_EQ(tried, row.tried) << &row - rows;
    }
}

TEST(OwnService, ServesOnlyPlainHttpOnLoopback) {
    EXPECT_EQ(OwnServicePort("http://127.0.0.1:47615"), 47615);
    EXPECT_EQ(OwnServicePort("http://localhost"), 80);
    EXPECT_EQ(OwnServicePort("https://127.0.0.1:47615"), std::nullopt);
    EXPECT_EQ(OwnServicePort("http://parse.example.test:8080"), std::nullopt);
    EXPECT_EQ(OwnServicePort("http://127.0.0.2:47615"), std::nullopt);
}

}  // namespace
}  // namespace ql::service
