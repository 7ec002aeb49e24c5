// What a script makes of its strings: whether one is given as an address, as the value of a key
// such as `file` or `src`, rather than being data (a storage key, a file name), and which it
// hands a player as the media to play.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>
#include <vector>

namespace ql::service {

// Whether the string whose opening quote is at text[quote] is the value of an address key:
// `file: "…"`, `"url": "…"`, `player.src = "…"`, `src("…")`, the key's last word (`videoUrl`,
// `hls_src`) being file, src, url, source, href, stream, hls or dash.
bool IsAddressValue(std::string_view text, std::size_t quote);

// Whether a string in a script is an address in its own right: absolute (it has a scheme),
// scheme-relative, root-relative, or relative with "./" or "../".
bool IsExplicitAddress(std::string_view ref);

// The strings a script hands a player as its media, left to right, whatever they look like:
// the `file` of the settings given to a setup() call and of each entry of their `playlist`,
// and the `file` or `src` of each entry of a `sources` list, or a string that is such an entry
// (`jwplayer("p").setup({file: …})`, `sources: [{file: …}]`, `sources: ["…"]`), the keys
// matched exactly, as players read their settings. A track's, an image's or a logo's `file`,
// under keys of their own, is none. Each string is whole: a ",", a closing bracket or the end
// follows it. One pass over the text; brackets nested deeper than 64 are counted, not told
// apart, and nothing in them is handed on.
class PlayerMedia {
public:
    struct Found {
        std::size_t place;  // where its text starts
        std::string_view text;
        // Whether it stands in a list without a key: a bare word there ("sources": ["Reuters"])
        // is as likely a name as an address.
        bool entry;
    };
    explicit PlayerMedia(std::string_view text);
    std::optional<Found> Next();

private:
    enum class Role : unsigned char { kNone, kSetup, kSources, kPlaylist };
    struct Bracket {
        char open;
        Role role;
    };
    // Whether the string just read, ending before text_[after], is handed to the player.
    bool HandedToPlayer(std::string_view key, bool item, std::size_t after) const;
    std::size_t StringEnd(std::size_t begin, char quote) const;
    void Push(char open, Role role);
    void Pop();

    std::string_view text_;
    std::size_t i_ = 0;
    std::vector<Bracket> open_;
    std::size_t deeper_ = 0;
    // What the last token leaves for the next: a name (the key, if a ":" follows), the key whose
    // value may come next, whether the name was "setup", and whether a list entry may start.
    std::string_view name_, key_;
    bool setup_ = false, item_ = false;
};

}  // namespace ql::service
