// The bound on what a server's answer may cost one fetch, kept by the fetch's proxy as it
// relays: the answer's head ends within kMaxAnswerHead bytes, and the whole answer within
// kMaxBody and a margin for its head and its framing. The system's HTTP stack holds a head in
// memory until it ends, whatever its length: a head that never ends would cost hundreds of
// megabytes before the deadline.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "service/page_fetch.h"

namespace ql::service {

constexpr std::size_t kMaxAnswerHead = 64 * 1024;
constexpr std::size_t kMaxAnswer = kMaxBody + (std::size_t{1} << 20);

class AnswerBound {
public:
    // What is relayed: an HTTP answer, or the bytes of a tunnel, whose head is not ours to see
    // (only the total is bounded).
    enum Kind { kHttpAnswer, kBytesOnly };
    explicit AnswerBound(Kind kind = kHttpAnswer) : headEnded_(kind == kBytesOnly) {}

    // Takes the next piece of the answer; false (with `why`) once it passes a bound, when the
    // relay ends before passing the piece on.
    bool Take(std::string_view piece, std::string* why);

private:
    std::size_t relayed_ = 0;
    bool headEnded_ = false;
    std::string lastBytes_;  // the end of what came so far, for a blank line split across pieces
};

}  // namespace ql::service
