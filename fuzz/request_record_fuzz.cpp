// The request record: what is packed is unpacked unchanged, any record unpacks to inputs that
// pack and unpack unchanged, and the response leaves the caller's slots alone.
#include "fuzz/fuzz_input.h"
#include "web/request_record.h"

namespace {

using namespace ql;

bool Same(const HttpRequestInput& a, const HttpRequestInput& b) {
    return a.address == b.address && a.method == b.method && a.proxy == b.proxy && a.headers == b.headers &&
           a.body == b.body && a.cookies == b.cookies && a.followRedirects == b.followRedirects;
}

ByteSet Bytes(std::string_view s) { return ByteSet(s.begin(), s.end()); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Input in(data, size);
    const bool follow = in.Byte() & 1;
    RequestRecord any;
    for (ByteSet& slot : any.slots) {
        slot = Bytes(in.Field());  // zero bytes included
    }

    HttpRequestInput input;
    input.address = BytesToText(any.slots[0]);
    input.method = BytesToText(any.slots[1]);
    input.proxy = BytesToText(any.slots[2]);
    input.headers = BytesToText(any.slots[3]);
    input.body = any.slots[4];
    input.cookies = BytesToText(any.slots[5]);
    input.followRedirects = follow;
    QL_FUZZ_CHECK(Same(UnpackRequest(PackRequest(input)), input));

    const HttpRequestInput read = UnpackRequest(any);
    QL_FUZZ_CHECK(read.body == any.slots[kSlotPostData]);
    QL_FUZZ_CHECK(Same(UnpackRequest(PackRequest(read)), read));

    HttpResponse response{any.slots[6], BytesToText(any.slots[0]), BytesToText(any.slots[1])};
    RequestRecord record = any;
    PackResponse(record, response);
    for (std::size_t slot : {kSlotProxy, kSlotHeaders, kSlotPostData, kSlotFollowRedirects}) {
        QL_FUZZ_CHECK(record.slots[slot] == any.slots[slot]);
    }
    const HttpResponse back = UnpackResponse(record);
    QL_FUZZ_CHECK(back.body == response.body && back.receivedCookies == response.receivedCookies &&
                  back.headers == response.headers);
    return 0;
}
