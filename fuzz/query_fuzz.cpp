// The typed address as the parse query's value: only safe bytes and escapes go out, and
// decoding the escapes gives back exactly the typed bytes.
#include <cstring>

#include "fuzz/fuzz_input.h"
#include "resolve/reply.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace ql;
    fuzz::Input in(data, size);
    const Text prefix(in.Field());
    const Text typed(in.Rest());
    const Text encoded = EncodeQueryValue(typed);
    QL_FUZZ_CHECK(fuzz::NoZero(encoded));

    auto hex = [](char c) { return std::strchr("0123456789ABCDEF", c) != nullptr && c != '\0'; };
    std::string decoded;
    const std::string_view e = encoded.view();
    for (std::size_t i = 0; i < e.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(e[i]);
        if (c == '%') {
            QL_FUZZ_CHECK(i + 2 < e.size() && hex(e[i + 1]) && hex(e[i + 2]));
            decoded.push_back(static_cast<char>(std::stoi(std::string(e.substr(i + 1, 2)), nullptr, 16)));
            i += 2;
            continue;
        }
        // Nothing that could end, split or reinterpret the query goes out as it is.
        QL_FUZZ_CHECK(c > 0x20 && c < 0x7F && !std::strchr("#&+\"<>\\^`{|}[]", c));
        decoded.push_back(static_cast<char>(c));
    }
    QL_FUZZ_CHECK(decoded == typed.str());
    QL_FUZZ_CHECK(BuildParseQuery(prefix, typed) == TextJoin(prefix, encoded));
    return 0;
}
