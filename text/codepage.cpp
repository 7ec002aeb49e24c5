#include "text/codepage.h"

namespace ql {

namespace {

// Pieces of this size keep the UTF-16 step in the cache. A piece ends just before an ASCII
// byte: no UTF-8 sequence continues across it, no combining mark follows it, and a sequence
// cut short there is invalid either way, so the pieces give the bytes the whole would.
constexpr std::size_t kPiece = 32 * 1024;

void AppendConverted(std::string& out, std::string_view utf8, std::uint32_t codePage, std::uint32_t flags) {
    out += EncodeCodePage(codePage, DecodeCodePage(kCodePageUtf8, utf8), flags).bytes;
}

}  // namespace

Utf8Transcoder::Utf8Transcoder(std::uint32_t codePage, std::uint32_t flags, std::size_t expectedOutput)
    : codePage_(codePage), flags_(flags) {
    pending_.reserve(2 * kPiece);
    out_.reserve(expectedOutput);
}

void Utf8Transcoder::Append(std::string_view utf8) {
    pending_.append(utf8);
    if (pending_.size() < kPiece) {
        return;
    }
    std::size_t cut = pending_.size() - 1;
    while (cut > 0 && static_cast<unsigned char>(pending_[cut]) >= 0x80) {
        --cut;
    }
    if (cut == 0) {
        return;  // no ASCII byte yet: gather more
    }
    AppendConverted(out_, std::string_view(pending_).substr(0, cut), codePage_, flags_);
    pending_.erase(0, cut);
}

std::string Utf8Transcoder::Finish() {
    AppendConverted(out_, pending_, codePage_, flags_);
    pending_.clear();
    return std::move(out_);
}

std::string Utf8ToCodePage(std::string_view utf8, std::uint32_t codePage, std::uint32_t flags) {
    std::string out;
    out.reserve(utf8.size());
    std::size_t begin = 0;
    while (begin < utf8.size()) {
        std::size_t end = utf8.size();
        if (utf8.size() - begin > kPiece) {
            end = begin + kPiece;
            while (end > begin && static_cast<unsigned char>(utf8[end]) >= 0x80) {
                --end;
            }
            if (end == begin) {  // no ASCII byte in the piece: take the run up to the next one
                end = begin + kPiece;
                while (end < utf8.size() && static_cast<unsigned char>(utf8[end]) >= 0x80) {
                    ++end;
                }
            }
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
