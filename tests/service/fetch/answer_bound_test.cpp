// What the fetch's proxy relays of an answer: a head that never ends, or an answer past the
// page limit, is cut; a blank line split across pieces still ends the head.
#include "service/fetch/answer_bound.h"

#include <gtest/gtest.h>

#include <vector>

namespace ql::service {
namespace {

TEST(AnswerBound, CutsAHeadThatDoesNotEndAndAnAnswerPastTheLimit) {
    const std::string head = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n";
    const std::string padding = "X: " + std::string(1000, 'x') + "\r\n";
    std::string longHead;
    while (longHead.size() <= kMaxAnswerHead)
        longHead += padding;
    const std::string almostMib((std::size_t{1} << 20) - 100, 'b');
    const std::size_t upToTheBound = kMaxAnswerHead - head.size() - 4;  // x's of a head just as long as allowed
    const struct {
        const char* what;
        std::vector<std::string> pieces;
        std::size_t taken;  // pieces passed on
    } rows[] = {
        {"a head and a body", {head + "\r\n", "<video>"}, 2},
        {"a blank line split across pieces", {head + "\r", "\n\r", "\n" + padding + padding}, 3},
        {"a head that goes on", {head, longHead, "\r\n"}, 1},
        {"a head as long as allowed", {head + std::string(upToTheBound, 'x') + "\r\n", "\r\n"}, 2},
        {"a head one byte longer", {head + std::string(upToTheBound + 1, 'x') + "\r\n", "\r\n"}, 1},
        {"a body past the page limit",
         {head + "\r\n", std::string(kMaxBody, 'b'), almostMib, std::string(200, 'b')},
         3},
    };
    for (const auto& row : rows) {
        AnswerBound bound;
        std::string why;
        std::size_t taken = 0;
        while (taken < row.pieces.size() && bound.Take(row.pieces[taken], &why))
            ++taken;
        EXPECT_EQ(taken, row.taken) << row.what << ": " << why;
        EXPECT_EQ(why.empty(), row.taken == row.pieces.size()) << row.what;
    }
}

}  // namespace
}  // namespace ql::service
