// The service may only be pointed at the public internet: every form that reaches this machine,
// its network or a special-purpose range must be refused, however it is written.
#include "service/fetch/address_filter.h"

#include <gtest/gtest.h>

namespace ql::service {
namespace {

TEST(AddressFilter, HostsAndAddresses) {
    const struct {
        const char* host;
        bool allowed;
    } rows[] = {
        // Public addresses and names.
        {"8.8.8.8", true},
        {"93.184.216.34", true},
        {"www.example.com", true},
        {"Video.Site.CN.", true},
        {"xn--fiqs8s.xn--fiqs8s", true},
        {"[2606:4700::1111]", true},
        {"2a00:1450:4001:80b::200e", true},
        {"::ffff:8.8.8.8", true},
        {"64:ff9b::808:808", true},
        {"2002:808:808::1", true},
        {"1.1.1.1.", true},
        // IPv4 special-purpose ranges, each at an edge.
        {"0.0.0.0", false},
        {"0.255.255.255", false},
        {"10.1.2.3", false},
        {"100.64.0.1", false},
        {"100.127.255.255", false},
        {"100.128.0.1", true},
        {"127.0.0.1", false},
        {"127.255.255.254", false},
        {"169.254.169.254", false},
        {"172.16.0.1", false},
        {"172.31.255.255", false},
        {"172.32.0.1", true},
        {"192.0.0.9", false},
        {"192.0.0.170", false},
        {"192.0.2.1", false},
        {"192.31.196.1", false},
        {"192.52.193.1", false},
        {"192.88.99.1", false},
        {"192.168.1.1", false},
        {"192.175.48.1", false},
        {"198.18.0.1", false},
        {"198.19.255.255", false},
        {"198.20.0.1", true},
        {"198.51.100.7", false},
        {"203.0.113.7", false},
        {"224.0.0.1", false},
        {"239.255.255.250", false},
        {"240.0.0.1", false},
        {"255.255.255.255", false},
        // IPv4 in the forms resolvers accept.
        {"127.1", false},
        {"0x7f.0.0.1", false},
        {"0177.0.0.1", false},
        {"2130706433", false},
        {"0x7f000001", false},
        {"10.0x10203", false},
        {"127.0.0.1.", false},
        // IPv6 special-purpose ranges.
        {"::", false},
        {"::1", false},
        {"[::1]", false},
        {"fe80::1", false},
        {"fe80::1%eth0", false},
        {"fec0::1", false},
        {"fc00::1", false},
        {"fd12:3456::1", false},
        {"ff02::1", false},
        {"100::1", false},
        {"2001:db8::1", false},
        {"2001:2::1", false},
        {"2001:10::1", false},
        {"2620:4f:8000::1", false},
        {"3fff::1", false},
        {"4000::1", false},
        // IPv6 carrying an IPv4 address that is not public.
        {"::7f00:1", false},
        {"::127.0.0.1", false},
        {"::ffff:127.0.0.1", false},
        {"::ffff:7f00:1", false},
        {"::ffff:0:0", false},
        {"::ffff:10.0.0.1", false},
        {"64:ff9b::7f00:1", false},
        {"64:ff9b::192.168.0.1", false},
        {"64:ff9b:1::808:808", false},
        {"2002:7f00:1::", false},
        {"2002:c0a8:101::1", false},
        {"2001:0:4136:e378:8000:63bf:f7f7:f7f7", true},   // client 8.8.8.8
        {"2001:0:4136:e378:8000:63bf:3fff:fdd2", false},  // client 192.0.2.45
        {"2001:0:4136:e378:8000:63bf:80ff:fffe", false},  // client 127.0.0.1
        {"2001:0:a00:1::8000:63bf:f7f7:f7f7", false},     // server 10.0.0.1
        // Local and reserved names, never looked up.
        {"localhost", false},
        {"LOCALHOST.", false},
        {"a.localhost", false},
        {"intranet", false},
        {"v.example.test", false},
        {"www.example", false},
        {"x.invalid", false},
        {"printer.local", false},
        {"db.internal", false},
        {"nas.home.arpa", false},
        {"1.0.0.127.in-addr.arpa", false},
        {"hidden.onion", false},
        {"a.alt", false},
        // Names a resolver would read as addresses, and names that are no names.
        {"1.2.3.0x4", true},
        {"10.2.3.0x4", false},
        {"a.b.0x1g", false},
        {"1.2.3.4.5", false},
        {"a.b.123", false},
        {"", false},
        {".", false},
        {"a..com", false},
        {"a b.com", false},
        {"a.com/x", false},
        {"\xE4\xB8\xAD.com", false},
        {"[127.0.0.1]", false},
        {"[::1", false},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(HostAllowed(row.host), row.allowed) << row.host;
    }
}

TEST(AddressFilter, ParsesWhatResolversParse) {
    const struct {
        const char* text;
        bool v6;
        const char* hex;  // the 16 bytes, or nullptr when the text is no address
    } rows[] = {
        {"1.2.3.4", false, "01020304000000000000000000000000"},
        {"1.2.772", false, "01020304000000000000000000000000"},
        {"0x1.0x2.0x3.04", false, "01020304000000000000000000000000"},
        {"1.2.3.256", false, nullptr},
        {"1.2.3.4.5", false, nullptr},
        {"1.2.3.08", false, nullptr},
        {"4294967296", false, nullptr},
        {"1:2:3:4:5:6:7:8", true, "00010002000300040005000600070008"},
        {"1::8", true, "00010000000000000000000000000008"},
        {"::1.2.3.4", true, "00000000000000000000000001020304"},
        {"1:2:3:4:5:6:1.2.3.4", true, "00010002000300040005000601020304"},
        {"[1::]", true, "00010000000000000000000000000000"},
        {"1:2:3:4:5:6:7:8:9", true, nullptr},
        {"1::2::3", true, nullptr},
        {"1:2:3:4:5:6:7::8", true, nullptr},
        {":1::", true, nullptr},
        {"1:", true, nullptr},
        {"12345::", true, nullptr},
        {"::1.2.3", true, nullptr},
        {"::1.2.3.4:5", true, nullptr},
        {"fe80::1%", true, nullptr},
    };
    for (const auto& row : rows) {
        const auto address = ParseIpAddress(row.text);
        ASSERT_EQ(address.has_value(), row.hex != nullptr) << row.text;
        if (!address) continue;
        std::string hex;
        for (std::uint8_t byte : address->bytes) {
            hex += "0123456789abcdef"[byte >> 4];
            hex += "0123456789abcdef"[byte & 15];
        }
        EXPECT_EQ(address->v6, row.v6) << row.text;
        EXPECT_EQ(hex, row.hex) << row.text;
    }
}

}  // namespace
}  // namespace ql::service
