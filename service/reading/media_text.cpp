#include "service/reading/media_text.h"
#include "service/reading/ascii.h"

#include <algorithm>
#include <array>
#include <optional>

#include "service/reading/page_text.h"
#include "service/reading/script_values.h"

namespace ql::service {

namespace {

// A quoted string is an address candidate up to this many characters.
constexpr std::size_t kMaxQuotedChars = 4096;
constexpr std::array<std::string_view, 11> kMediaExtensions{"mp4", "m4v", "webm", "ogv",  "flv", "mov",
                                                            "mkv", "mp3", "m4a",  "m3u8", "mpd"};

// Characters that never stand unescaped in an address found in text.
bool IsUrlChar(char32_t c) {
    switch (c) {
        case '"':
        case '\'':
        case '`':
        case '<':
        case '>':
        case '\\':
        case '{':
        case '}':
        case '|':
        case '^':
            return false;
        default:
            return !IsUnicodeSpace(c);
    }
}

// The length of the media extension (with its dot) at text[i] ("." there) when it ends there
// (no word character, ".", "/" or "-" follows before `stop`), else 0.
std::size_t MediaEndAt(std::string_view text, std::size_t i, std::size_t stop) {
    for (std::string_view ext : kMediaExtensions) {
        if (i + 1 + ext.size() > stop) continue;
        bool same = true;
        for (std::size_t k = 0; k < ext.size() && same; ++k)
            same = Lower(text[i + 1 + k]) == ext[k];
        if (!same) continue;
        const std::size_t end = i + 1 + ext.size();
        if (end < stop) {
            std::size_t length = 1;
            const char32_t next = CodePointAt(text, end, &length);
            if (IsWordChar(next) || next == '.' || next == '/' || next == '-') continue;
        }
        return ext.size() + 1;
    }
    return 0;
}

// The media address a run of address characters starts with, or empty: up to the media
// extension, with the query and fragment when they follow it right away.
std::string_view MediaInRun(std::string_view run) {
    const std::size_t stop = std::min(run.find('?'), run.find('#'));
    const std::size_t end = stop == std::string_view::npos ? run.size() : stop;
    for (std::size_t i = 0; i < end; ++i) {
        if (run[i] != '.') continue;
        if (const std::size_t length = MediaEndAt(run, i, end)) {
            const std::size_t after = i + length;
            if (after < run.size() && (run[after] == '?' || run[after] == '#')) return run;
            return run.substr(0, after);
        }
    }
    return std::string_view();
}

// Extensions of what players are given besides media (pictures, subtitles and tracks, style
// sheets, scripts, player pages): a string a player is handed that ends in one is none of its
// media, whatever its key.
constexpr std::array<std::string_view, 20> kPlayerNonMedia{"jpg", "jpeg", "png", "gif",  "webp", "bmp",  "svg",
                                                           "ico", "vtt",  "srt", "ass",  "ssa",  "ttml", "dfxp",
                                                           "css", "js",   "swf", "html", "htm",  "shtml"};

template <std::size_t N>
bool PathEndsIn(std::string_view path, const std::array<std::string_view, N>& extensions) {
    for (std::string_view ext : extensions) {
        if (path.size() <= ext.size() || path[path.size() - ext.size() - 1] != '.') continue;
        bool same = true;
        for (std::size_t k = 0; k < ext.size() && same; ++k)
            same = Lower(path[path.size() - ext.size() + k]) == ext[k];
        if (same) return true;
    }
    return false;
}

bool PathHasMediaExtension(std::string_view path) { return PathEndsIn(path, kMediaExtensions); }

// Whether a quoted string is a media file's address: its path ends in a media extension, and
// the file name starts with a word character or one of "%~+()!,-" (".mp4" is no address).
bool IsMediaReference(std::string_view ref) {
    const std::string_view path = ref.substr(0, ref.find_first_of("?#"));
    if (!PathHasMediaExtension(path)) return false;
    const std::size_t slash = path.rfind('/');
    const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    if (name.empty()) return false;
    std::size_t length = 1;
    const char32_t first = CodePointAt(name, 0, &length);
    if (IsWordChar(first)) return true;
    return first < 0x80 && std::string_view("%~+()!,-").find(static_cast<char>(first)) != std::string_view::npos;
}

bool StartsWithNoCase(std::string_view s, std::size_t at, std::string_view lower) {
    if (at > s.size() || s.size() - at < lower.size()) return false;
    for (std::size_t k = 0; k < lower.size(); ++k) {
        if (Lower(s[at + k]) != lower[k]) return false;
    }
    return true;
}

// The end of the run of address characters from i.
std::size_t UrlRunEnd(std::string_view text, std::size_t i) {
    while (i < text.size()) {
        std::size_t length = 1;
        if (!IsUrlChar(CodePointAt(text, i, &length))) break;
        i += length;
    }
    return i;
}

}  // namespace

std::string UnescapeScript(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        if (text[i] == '\\' && i + 1 < text.size()) {
            const bool u = text[i + 1] == 'u' && text.substr(i + 2, 2) == "00";
            const std::size_t digits = u ? i + 4 : i + 2;
            if ((u || text[i + 1] == 'x') && digits + 2 <= text.size() && HexValue(text[digits]) >= 0 &&
                HexValue(text[digits + 1]) >= 0) {
                AppendUtf8(out, static_cast<char32_t>(HexValue(text[digits]) * 16 + HexValue(text[digits + 1])));
                i = digits + 2;
                continue;
            }
        }
        out.push_back(text[i]);
        ++i;
    }
    // Then "\/" becomes "/".
    std::string result;
    result.reserve(out.size());
    for (std::size_t i = 0; i < out.size(); ++i) {
        if (out[i] == '\\' && i + 1 < out.size() && out[i + 1] == '/') continue;
        result.push_back(out[i]);
    }
    return result;
}

namespace {

// A reference found in text: where it starts, and its text. One without a place (there are no
// more) comes after every other.
struct TextRef {
    std::size_t place = std::string_view::npos;
    std::string_view ref;
    explicit operator bool() const { return place != std::string_view::npos; }
    bool operator<(const TextRef& o) const { return place != o.place ? place < o.place : ref < o.ref; }
    bool operator==(const TextRef& o) const { return place == o.place && ref == o.ref; }
};

// Whole quoted strings of address characters that are media references, left to right: those
// that are addresses in their own right, and bare relative ones that the script gives as the
// value of an address key.
class QuotedRefs {
public:
    explicit QuotedRefs(std::string_view text) : text_(text) {}
    TextRef Next() {
        while (i_ < text_.size()) {
            const char q = text_[i_];
            if (q != '"' && q != '\'' && q != '`') {
                ++i_;
                continue;
            }
            std::size_t end = i_ + 1, chars = 0;
            while (end < text_.size()) {
                std::size_t length = 1;
                if (!IsUrlChar(CodePointAt(text_, end, &length))) break;
                end += length;
                ++chars;
            }
            if (chars >= 1 && chars <= kMaxQuotedChars && end < text_.size() && text_[end] == q) {
                const std::size_t at = i_ + 1;
                const std::string_view ref = text_.substr(at, end - at);
                i_ = end + 1;
                if (IsMediaReference(ref) && (IsExplicitAddress(ref) || IsAddressValue(text_, at - 1))) {
                    return TextRef{at, ref};
                }
            } else {
                // No quote stands between, so the next candidate is where the run stopped.
                i_ = std::max(end, i_ + 1);
            }
        }
        return TextRef{};
    }

private:
    std::string_view text_;
    std::size_t i_ = 0;
};

// The length of the "http://", "https://" or "//" that starts an address at text[i] (not right
// after a word character, ".", ":" or "/"), or 0.
std::size_t AddressHeadAt(std::string_view text, std::size_t i) {
    if (i >= text.size() || (text[i] != 'h' && text[i] != 'H' && text[i] != '/')) return 0;  // most characters
    std::size_t head = 0;
    if (StartsWithNoCase(text, i, "http://")) {
        head = 7;
    } else if (StartsWithNoCase(text, i, "https://")) {
        head = 8;
    } else if (text.compare(i, 2, "//") == 0) {
        head = 2;
    }
    if (head > 0 && i > 0) {
        std::size_t length = 1;
        const char32_t before = CodePointBefore(text, i, &length);
        if (IsWordChar(before) || before == '.' || before == ':' || before == '/') head = 0;
    }
    return head;
}

// The end of the address whose head starts at text[i]: its run of address characters, up to
// where the text's next field begins: the next field separator when one stands right before
// the address ("Kwyn5e;https://host/a.mp3?k=-;$0" ends at the second ";"), or a ";" or ","
// that another address follows ("https://a/1.mp4?q=1,https://a/2.mp4").
// One scan, stopping at the first of the two: the run is not searched beyond the cut, which a
// text of ";http://;http://…" would make quadratic.
std::size_t AddressEnd(std::string_view text, std::size_t i, std::size_t head) {
    const char separator = i > 0 && (text[i - 1] == ';' || text[i - 1] == ',') ? text[i - 1] : '\0';
    std::size_t k = i + head;
    while (k < text.size()) {
        const char c = text[k];
        if ((c == ';' || c == ',') && (c == separator || AddressHeadAt(text, k + 1) > 0)) break;
        std::size_t length = 1;
        if (!IsUrlChar(CodePointAt(text, k, &length))) break;
        k += length;
    }
    return k;
}

// The strings a script hands a player as its media (see PlayerMedia) that can be addresses:
// whole strings of address characters, whatever their extension but one of kPlayerNonMedia;
// a list's entry only when it is an address in its own right or a media file's.
class PlayerRefs {
public:
    explicit PlayerRefs(std::string_view text) : media_(text) {}
    TextRef Next() {
        while (const auto found = media_.Next()) {
            const std::string_view ref = found->text;
            if (ref.empty() || ref.size() > kMaxQuotedChars || UrlRunEnd(ref, 0) != ref.size()) continue;
            if (PathEndsIn(ref.substr(0, ref.find_first_of("?#")), kPlayerNonMedia)) continue;
            if (!found->entry || IsExplicitAddress(ref) || IsMediaReference(ref)) return TextRef{found->place, ref};
        }
        return TextRef{};
    }

private:
    PlayerMedia media_;
};

// Absolute and scheme-relative addresses, each cut to its media address. Runs never overlap.
// `work` grows by the characters scanned.
class AddressRuns {
public:
    AddressRuns(std::string_view text, std::size_t& work) : text_(text), work_(work) {}
    TextRef Next() {
        while (i_ < text_.size()) {
            const std::size_t i = i_;
            const std::size_t head = AddressHeadAt(text_, i);
            const std::size_t end = head > 0 ? AddressEnd(text_, i, head) : i;
            work_ += end - i + 1;
            if (end == i + head) {
                ++i_;
                continue;
            }
            i_ = end;
            const std::string_view ref = MediaInRun(text_.substr(i, end - i));
            if (!ref.empty()) return TextRef{i, ref};
        }
        return TextRef{};
    }

private:
    std::string_view text_;
    std::size_t& work_;
    std::size_t i_ = 0;
};

}  // namespace

void ForEachMediaInText(std::string_view raw, const std::function<void(std::string_view ref)>& f, std::size_t* work) {
    // Escapes are undone in a copy, only when there are any.
    const std::string unescaped = raw.find('\\') == std::string_view::npos ? std::string() : UnescapeScript(raw);
    const std::string_view text = unescaped.empty() ? raw : std::string_view(unescaped);
    std::size_t scanned = 2 * text.size();  // the quoted strings' and the player's scans, then the runs'
    // The three kinds merged in order of place (then of text, for two at one place); a string
    // handed to a player that is also a quoted reference is handed on once.
    QuotedRefs quoted(text);
    AddressRuns runs(text, scanned);
    PlayerRefs player(text);
    auto q = quoted.Next();
    auto r = runs.Next();
    auto p = player.Next();
    while (q || r || p) {
        if (p && p == q) {
            p = player.Next();
        } else if (p < q && p < r) {
            f(p.ref);
            p = player.Next();
        } else if (q < r) {
            f(q.ref);
            q = quoted.Next();
        } else {
            f(r.ref);
            r = runs.Next();
        }
    }
    if (work) *work += scanned;
}

bool HoldsAddressWithin(std::string_view text) {
    for (std::size_t i = 1; i < text.size(); ++i) {
        const std::size_t head = AddressHeadAt(text, i);
        std::size_t length = 1;
        if (head > 0 && i + head < text.size() && IsUrlChar(CodePointAt(text, i + head, &length))) return true;
    }
    return false;
}

std::vector<std::string> MediaInText(std::string_view text, std::size_t* work) {
    std::vector<std::string> refs;
    ForEachMediaInText(
        text, [&](std::string_view ref) { refs.emplace_back(ref); }, work);
    return refs;
}

}  // namespace ql::service
