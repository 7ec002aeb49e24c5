#include "service/fetch/address_filter.h"
#include "service/reading/ascii.h"

#include <string>

namespace ql::service {

namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    c = Lower(c);
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// One part of an IPv4 address as inet_aton reads it: "0x" hexadecimal, a leading "0" octal,
// else decimal. Nothing for an empty or malformed part or one past 32 bits.
std::optional<std::uint64_t> Ipv4Part(std::string_view part) {
    if (part.empty()) return std::nullopt;
    int radix = 10;
    if (part.size() >= 2 && part[0] == '0' && Lower(part[1]) == 'x') {
        radix = 16;
        part.remove_prefix(2);
    } else if (part.size() >= 2 && part[0] == '0') {
        radix = 8;
        part.remove_prefix(1);
    }
    std::uint64_t value = 0;
    for (char c : part) {
        const int digit = HexDigit(c);
        if (digit < 0 || digit >= radix) return std::nullopt;
        value = value * radix + digit;
        if (value > 0xFFFFFFFFu) return std::nullopt;
    }
    return value;
}

std::optional<IpAddress> ParseIpv4(std::string_view text) {
    std::uint64_t parts[4];
    int count = 0;
    while (true) {
        if (count == 4) return std::nullopt;
        const std::size_t dot = text.find('.');
        const auto part = Ipv4Part(text.substr(0, dot));
        if (!part) return std::nullopt;
        parts[count++] = *part;
        if (dot == std::string_view::npos) break;
        text.remove_prefix(dot + 1);
    }
    // All parts but the last are one byte each; the last fills the bytes that remain.
    std::uint32_t value = 0;
    for (int i = 0; i + 1 < count; ++i) {
        if (parts[i] > 255) return std::nullopt;
        value |= static_cast<std::uint32_t>(parts[i]) << (24 - 8 * i);
    }
    const int lastBits = 8 * (5 - count);
    if (lastBits < 32 && parts[count - 1] >> lastBits != 0) return std::nullopt;
    value |= static_cast<std::uint32_t>(parts[count - 1]);
    IpAddress address;
    for (int i = 0; i < 4; ++i)
        address.bytes[i] = static_cast<std::uint8_t>(value >> (24 - 8 * i));
    return address;
}

// A dotted IPv4 tail of an IPv6 address: four decimal parts, each 0..255.
bool StrictIpv4(std::string_view text, std::uint8_t* out) {
    for (int i = 0; i < 4; ++i) {
        const std::size_t dot = text.find('.');
        if ((i < 3) == (dot == std::string_view::npos)) return false;
        const std::string_view part = text.substr(0, dot);
        if (part.empty() || part.size() > 3) return false;
        int value = 0;
        for (char c : part) {
            if (c < '0' || c > '9') return false;
            value = value * 10 + (c - '0');
        }
        if (value > 255) return false;
        out[i] = static_cast<std::uint8_t>(value);
        if (dot != std::string_view::npos) text.remove_prefix(dot + 1);
    }
    return true;
}

std::optional<IpAddress> ParseIpv6(std::string_view text) {
    const std::size_t zone = text.find('%');
    if (zone != std::string_view::npos) {
        if (zone + 1 == text.size()) return std::nullopt;
        text = text.substr(0, zone);
    }
    std::uint16_t head[8] = {};
    std::uint16_t tail[8] = {};
    int heads = 0, tails = 0;
    bool compressed = false;
    if (text.substr(0, 2) == "::") {
        compressed = true;
        text.remove_prefix(2);
    } else if (!text.empty() && text[0] == ':') {
        return std::nullopt;
    }
    std::uint8_t v4[4];
    bool hasV4 = false;
    while (!text.empty()) {
        const std::size_t colon = text.find(':');
        const std::string_view group = text.substr(0, colon);
        if (colon == std::string_view::npos && group.find('.') != std::string_view::npos) {
            if (!StrictIpv4(group, v4)) return std::nullopt;
            hasV4 = true;
            text = {};
            break;
        }
        if (group.empty() || group.size() > 4) return std::nullopt;
        std::uint16_t value = 0;
        for (char c : group) {
            const int digit = HexDigit(c);
            if (digit < 0) return std::nullopt;
            value = static_cast<std::uint16_t>(value * 16 + digit);
        }
        if (heads + tails >= 8) return std::nullopt;
        (compressed ? tail[tails++] : head[heads++]) = value;
        if (colon == std::string_view::npos) break;
        text.remove_prefix(colon + 1);
        if (!text.empty() && text[0] == ':') {
            if (compressed) return std::nullopt;
            compressed = true;
            text.remove_prefix(1);
        } else if (text.empty()) {
            return std::nullopt;  // a single ":" at the end
        }
    }
    const int groups = heads + tails + (hasV4 ? 2 : 0);
    if (groups > 8 || (!compressed && groups != 8) || (compressed && groups == 8)) return std::nullopt;
    IpAddress address;
    address.v6 = true;
    for (int i = 0; i < heads; ++i) {
        address.bytes[2 * i] = static_cast<std::uint8_t>(head[i] >> 8);
        address.bytes[2 * i + 1] = static_cast<std::uint8_t>(head[i]);
    }
    const int tailStart = 8 - tails - (hasV4 ? 2 : 0);
    for (int i = 0; i < tails; ++i) {
        address.bytes[2 * (tailStart + i)] = static_cast<std::uint8_t>(tail[i] >> 8);
        address.bytes[2 * (tailStart + i) + 1] = static_cast<std::uint8_t>(tail[i]);
    }
    if (hasV4) {
        for (int i = 0; i < 4; ++i)
            address.bytes[12 + i] = v4[i];
    }
    return address;
}

struct Range {
    std::uint8_t prefix[16];
    int bits;
};

bool InRange(const std::uint8_t* bytes, const Range& range) {
    for (int bit = 0; bit < range.bits; bit += 8) {
        const int take = range.bits - bit >= 8 ? 8 : range.bits - bit;
        const std::uint8_t mask = static_cast<std::uint8_t>(0xFF00 >> take);
        if ((bytes[bit / 8] & mask) != (range.prefix[bit / 8] & mask)) return false;
    }
    return true;
}

// The IPv4 special-purpose registry, multicast, and the reserved block with broadcast.
constexpr Range kIpv4Refused[] = {
    {{0}, 8},              // "this network"
    {{10}, 8},             // private
    {{100, 64}, 10},       // shared address space (carrier NAT)
    {{127}, 8},            // loopback
    {{169, 254}, 16},      // link-local
    {{172, 16}, 12},       // private
    {{192, 0, 0}, 24},     // IETF protocol assignments
    {{192, 0, 2}, 24},     // documentation
    {{192, 31, 196}, 24},  // AS112
    {{192, 52, 193}, 24},  // AMT
    {{192, 88, 99}, 24},   // 6to4 relay anycast
    {{192, 168}, 16},      // private
    {{192, 175, 48}, 24},  // AS112 direct delegation
    {{198, 18}, 15},       // benchmarking
    {{198, 51, 100}, 24},  // documentation
    {{203, 0, 113}, 24},   // documentation
    {{224}, 4},            // multicast
    {{240}, 4},            // reserved, and the limited broadcast address
};

// Ranges inside global unicast (2000::/3) that the IPv6 special-purpose registry names.
// Everything outside 2000::/3 is refused as a whole: loopback, unspecified, unique-local,
// link-local, site-local, multicast, discard, the local-use NAT64 prefix 64:ff9b:1::/48.
constexpr Range kIpv6Refused[] = {
    {{0x20, 0x01, 0x00}, 23},                    // IETF protocol assignments (Teredo is judged apart)
    {{0x20, 0x01, 0x0d, 0xb8}, 32},              // documentation
    {{0x26, 0x20, 0x00, 0x4f, 0x80, 0x00}, 48},  // AS112
    {{0x3f, 0xff, 0x00}, 20},                    // documentation
};

bool PublicIpv4(const std::uint8_t* bytes) {
    for (const Range& range : kIpv4Refused) {
        if (InRange(bytes, range)) return false;
    }
    return true;
}

bool EndsWith(std::string_view s, std::string_view suffix) {
    return s.size() >= suffix.size() && s.substr(s.size() - suffix.size()) == suffix;
}

}  // namespace

std::optional<IpAddress> ParseIpAddress(std::string_view text) {
    if (text.size() >= 2 && text.front() == '[' && text.back() == ']') {
        return ParseIpv6(text.substr(1, text.size() - 2));
    }
    if (text.find(':') != std::string_view::npos) return ParseIpv6(text);
    return ParseIpv4(text);
}

bool IsPublicAddress(const IpAddress& address) {
    const std::uint8_t* b = address.bytes.data();
    if (!address.v6) return PublicIpv4(b);
    bool zero80 = true;
    for (int i = 0; i < 10; ++i)
        zero80 = zero80 && b[i] == 0;
    // Mapped (::ffff:a.b.c.d) and compatible (::a.b.c.d, "::" and "::1" among them).
    if (zero80 && ((b[10] == 0xFF && b[11] == 0xFF) || (b[10] == 0 && b[11] == 0))) return PublicIpv4(b + 12);
    // NAT64, the well-known prefix 64:ff9b::/96.
    static constexpr Range kNat64{{0x00, 0x64, 0xff, 0x9b}, 96};
    if (InRange(b, kNat64)) return PublicIpv4(b + 12);
    // 6to4: 2002:AABB:CCDD::/48 stands for AA.BB.CC.DD.
    if (b[0] == 0x20 && b[1] == 0x02) return PublicIpv4(b + 2);
    // Teredo: the server's address, and the client's with every bit inverted.
    if (b[0] == 0x20 && b[1] == 0x01 && b[2] == 0 && b[3] == 0) {
        const std::uint8_t client[4] = {static_cast<std::uint8_t>(~b[12]), static_cast<std::uint8_t>(~b[13]),
                                        static_cast<std::uint8_t>(~b[14]), static_cast<std::uint8_t>(~b[15])};
        return PublicIpv4(b + 4) && PublicIpv4(client);
    }
    if ((b[0] & 0xE0) != 0x20) return false;
    for (const Range& range : kIpv6Refused) {
        if (InRange(b, range)) return false;
    }
    return true;
}

bool HostAllowed(std::string_view host) {
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
        const auto address = ParseIpv6(host.substr(1, host.size() - 2));
        return address && IsPublicAddress(*address);
    }
    std::string name;
    for (char c : host)
        name.push_back(Lower(c));
    if (!name.empty() && name.back() == '.') name.pop_back();
    if (name.empty() || name.size() > 253) return false;
    if (name.find(':') != std::string::npos) {
        const auto address = ParseIpv6(name);
        return address && IsPublicAddress(*address);
    }
    if (const auto address = ParseIpv4(name)) return IsPublicAddress(*address);
    // A name in letters, digits, "-" and "_" (IDNA names arrive in their ASCII form), in
    // labels of 1 to 63 characters.
    std::size_t label = 0;
    for (char c : name) {
        if (c == '.') {
            if (label == 0) return false;
            label = 0;
            continue;
        }
        const bool ok = (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
        if (!ok || ++label > 63) return false;
    }
    if (label == 0) return false;
    // A last label that is a number makes the name an address to a resolver ("1.2.3.0x4",
    // "127.1.00"), and no top-level name is one.
    const std::string_view last = std::string_view(name).substr(name.rfind('.') + 1);
    if (name.find('.') == std::string::npos) return false;
    if (Ipv4Part(last)) return false;
    if (last.size() >= 2 && last[0] == '0' && last[1] == 'x') return false;
    static constexpr std::string_view kLocalNames[] = {"localhost", "test", "example", "invalid", "local",
                                                       "internal",  "arpa", "onion",   "alt"};
    for (std::string_view local : kLocalNames) {
        if (name == local || EndsWith(name, std::string(".") + std::string(local))) return false;
    }
    return true;
}

}  // namespace ql::service
