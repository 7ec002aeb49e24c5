// The HTTP engine's decisions on any caller texts and any received header block: the
// completed headers, the header block that is sent, the agent, and the received cookies.
#include "fuzz/fuzz_input.h"
#include "web/http_request.h"

namespace {

using namespace ql;

bool HoldsAnyCase(const Text& t, const char* part) { return TextFind(t, part, 1, true) > 0; }

void CheckReceivedCookies(const Text& block) {
    const ReceivedCookies received = CollectReceivedCookies(block);
    std::size_t lines = 0;
    for (std::size_t from = 0; from <= block.size();) {
        const std::size_t end = std::min(block.view().find("\r\n", from), block.size());
        lines += HoldsAnyCase(Text(block.view().substr(from, end - from)), "Set-Cookie: ");
        from = end + 2;
    }
    QL_FUZZ_CHECK(received.cookies.size() == lines);
    QL_FUZZ_CHECK(fuzz::NoZero(received.text));
    std::size_t semicolons = 0;
    for (char c : received.text.view()) {
        semicolons += c == ';';
    }
    QL_FUZZ_CHECK(semicolons >= lines && (lines == 0) == received.text.empty());
    for (const ReceivedCookie& c : received.cookies) {
        QL_FUZZ_CHECK(!fuzz::Holds(c.name.view(), "=") && !fuzz::Holds(c.name.view(), "\r\n"));
        QL_FUZZ_CHECK(!fuzz::Holds(c.value.view(), "\r\n"));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Input in(data, size);
    HttpRequestInput input;
    input.method = (in.Byte() & 1) ? "POST" : "GET";
    input.followRedirects = in.Byte() & 1;
    input.address = Text(in.Field());
    input.proxy = Text(in.Field());
    input.cookies = Text(in.Field());
    const std::string_view body = in.Field();
    input.body = ByteSet(body.begin(), body.end());
    input.headers = Text(in.Field());
    const Text received(in.Rest());

    const Text completed = CompleteHeaders(input.headers, input.address);
    QL_FUZZ_CHECK(HoldsAnyCase(completed, "Accept") && HoldsAnyCase(completed, "Accept-Language"));
    if (!HoldsAnyCase(input.headers, kRefererSuppressionMarker)) {
        QL_FUZZ_CHECK(fuzz::StartsWith(completed.view(), input.headers.view()) && HoldsAnyCase(completed, "Referer"));
    }

    const Text agent = AgentFromHeaders(input.headers);
    QL_FUZZ_CHECK(!agent.empty() || HoldsAnyCase(input.headers, "User-Agent:"));
    QL_FUZZ_CHECK(!fuzz::Holds(agent.view(), "\r\n") && TextTrim(agent) == agent);

    const Text block = RequestHeaderBlock(input.method, completed, input.body, input.cookies);
    QL_FUZZ_CHECK(fuzz::StartsWith(block.view(), completed.view()));
    QL_FUZZ_CHECK(block.size() >= CookieLine(input.cookies).size() &&
                  block.view().substr(block.size() - CookieLine(input.cookies).size()) ==
                      CookieLine(input.cookies).view());
    if (input.method == Text("POST") && !input.body.empty()) {
        QL_FUZZ_CHECK(HoldsAnyCase(block, "Content-Length"));
    }

    const HttpRequestPlan plan = PlanHttpRequest(input);
    QL_FUZZ_CHECK(fuzz::StartsWith(plan.path.view(), "/") && plan.headerBlock == block);
    QL_FUZZ_CHECK(plan.sentBody == (input.method == Text("POST") ? input.body : ByteSet()));
    if (IsSecureAddress(input.address)) {
        QL_FUZZ_CHECK(plan.port >= 1 && plan.port <= 65535 && (plan.flags & http_flags::kSecure));
    }

    CheckReceivedCookies(received);
    return 0;
}
