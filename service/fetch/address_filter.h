// Which hosts the service may fetch from: the public internet only, unless the service runs
// with --allow-private. A name is judged before any lookup (local and reserved names are never
// looked up), and every address a name leads to is judged again where the connection is made.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace ql::service {

struct IpAddress {
    bool v6 = false;
    // IPv4 in the first four bytes, network order.
    std::array<std::uint8_t, 16> bytes{};
};

// The address written in `text`: IPv4 in every form the system's resolvers accept
// ("127.0.0.1", "127.1", "0x7f.0.0.1", "017700000001", "2130706433"), or IPv6 (with an
// embedded dotted IPv4 tail and an optional "%zone"; brackets are allowed). Nothing when the
// text is no address.
std::optional<IpAddress> ParseIpAddress(std::string_view text);

// True when `address` is a public unicast address: not in any special-purpose range of the
// IPv4 and IPv6 registries (loopback, private, shared, link-local, documentation,
// benchmarking, protocol assignments, reserved, multicast, broadcast, unique-local, site-
// local, discard, ...). An IPv6 address that carries an IPv4 address (mapped, compatible,
// NAT64, 6to4, Teredo) is judged by the IPv4 address it carries.
bool IsPublicAddress(const IpAddress& address);

// The host part of an address as given (ASCII, any case, a trailing dot allowed, brackets
// around IPv6) may be fetched from: an address literal when it is public, a name unless it
// is local or reserved (a single label, "localhost", ".test", ".example", ".invalid",
// ".local", ".internal", ".home.arpa", any ".arpa", ".onion", ".alt") or ends in a number
// without being an address. The name's addresses are judged after the lookup.
bool HostAllowed(std::string_view host);

}  // namespace ql::service
