#include "service/fetch/answer_bound.h"

namespace ql::service {

bool AnswerBound::Take(std::string_view piece, std::string* why) {
    if (!headEnded_) {
        std::string look = lastBytes_;
        look.append(piece.substr(0, kMaxAnswerHead + 4));
        const std::size_t blank = look.find("\r\n\r\n");
        if (blank != std::string::npos) {
            headEnded_ = true;
            // The head's length, its blank line included.
            if (relayed_ - lastBytes_.size() + blank + 4 > kMaxAnswerHead) {
                if (why) *why = "the head of the answer is longer than 64 KiB";
                return false;
            }
        } else if (relayed_ + piece.size() > kMaxAnswerHead) {
            if (why) *why = "the head of the answer is longer than 64 KiB";
            return false;
        } else {
            lastBytes_ = look.substr(look.size() >= 3 ? look.size() - 3 : 0);
        }
    }
    relayed_ += piece.size();
    if (relayed_ > kMaxAnswer) {
        if (why) *why = "the answer is longer than the page limit";
        return false;
    }
    return true;
}

}  // namespace ql::service
