#include "text/codepage.h"

#include <algorithm>

namespace ql {

namespace {

// Pieces of kUtf8PieceBytes keep the UTF-16 step in the cache. A piece ends just before an ASCII
// byte, or just before a CJK ideograph (lead byte E4-E9) that follows a whole one: no UTF-8
// sequence continues across such a point, no combining mark follows it, and nothing before
// it is cut short, so the pieces give the bytes the whole would.
bool IsContinuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }
bool IsIdeographLead(char c) { return static_cast<unsigned char>(c) >= 0xE4 && static_cast<unsigned char>(c) <= 0xE9; }

bool CutsBefore(std::string_view s, std::size_t i) {
    if (static_cast<unsigned char>(s[i]) < 0x80) {
        return true;
    }
    return i >= 3 && IsIdeographLead(s[i]) && IsIdeographLead(s[i - 3]) && IsContinuation(s[i - 2]) &&
           IsContinuation(s[i - 1]);
}

// Where the piece that begins at `begin` ends (the caller has more than `piece` bytes after
// `begin`): at the last cut point within `piece` bytes, else at the first one beyond them,
// looked for from `forwardFrom` on when an earlier search got that far; npos when there is
// none before the end. Every byte is looked at a bounded number of times.
std::size_t PieceEnd(std::string_view s, std::size_t begin, std::size_t piece, std::size_t forwardFrom) {
    const std::size_t limit = begin + piece;
    if (forwardFrom <= limit) {
        for (std::size_t i = limit; i > begin; --i) {
            if (CutsBefore(s, i)) {
                return i;
            }
        }
        forwardFrom = limit + 1;
    }
    for (std::size_t i = forwardFrom; i < s.size(); ++i) {
        if (CutsBefore(s, i)) {
            return i;
        }
    }
    return std::string_view::npos;
}

void AppendConverted(std::string& out, std::string_view utf8, std::uint32_t codePage, std::uint32_t flags) {
    out += EncodeCodePage(codePage, DecodeCodePage(kCodePageUtf8, utf8), flags).bytes;
}

}  // namespace

Utf8Transcoder::Utf8Transcoder(std::uint32_t codePage, std::uint32_t flags, std::size_t expectedOutput,
                               std::size_t pieceBytes)
    : codePage_(codePage), flags_(flags), piece_(std::max<std::size_t>(pieceBytes, 1)) {
    pending_.reserve(std::min(expectedOutput, 2 * piece_));
    out_.reserve(expectedOutput);
}

void Utf8Transcoder::Append(std::string_view utf8) {
    pending_.append(utf8);
    std::size_t begin = 0;
    while (pending_.size() - begin > piece_) {
        const std::size_t end = PieceEnd(pending_, begin, piece_, searched_);
        if (end == std::string_view::npos) {
            searched_ = pending_.size();  // no cut point yet: gather more, and search on from here
            break;
        }
        AppendConverted(out_, std::string_view(pending_).substr(begin, end - begin), codePage_, flags_);
        begin = end;
        searched_ = 0;
    }
    if (begin > 0) {
        // Only the bytes after the last cut point move, and the next cut converts all of them.
        pending_.erase(0, begin);
        searched_ = searched_ > begin ? searched_ - begin : 0;
    }
}

std::string Utf8Transcoder::Finish() {
    AppendConverted(out_, pending_, codePage_, flags_);
    pending_.clear();
    searched_ = 0;
    return std::move(out_);
}

std::string Utf8ToCodePage(std::string_view utf8, std::uint32_t codePage, std::uint32_t flags, std::size_t pieceBytes) {
    const std::size_t piece = std::max<std::size_t>(pieceBytes, 1);
    std::string out;
    out.reserve(utf8.size());
    std::size_t begin = 0;
    while (begin < utf8.size()) {
        std::size_t end = utf8.size();
        if (end - begin > piece) {
            end = std::min(PieceEnd(utf8, begin, piece, 0), utf8.size());
        }
        AppendConverted(out, utf8.substr(begin, end - begin), codePage, flags);
        begin = end;
    }
    return out;
}

ByteSet Utf16ToBytes(std::u16string_view units) {
    ByteSet out(units.size() * 2);
    std::uint8_t* p = out.data();
    for (char16_t u : units) {
        *p++ = static_cast<std::uint8_t>(u & 0xFF);
        *p++ = static_cast<std::uint8_t>(u >> 8);
    }
    return out;
}

std::u16string Utf16FromBytes(const std::uint8_t* bytes, std::size_t count) {
    std::u16string out(count / 2, u'\0');
    for (std::size_t i = 0; i < out.size(); ++i) {
        out[i] = static_cast<char16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    }
    return out;
}

}  // namespace ql
