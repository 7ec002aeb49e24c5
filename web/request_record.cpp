#include "web/request_record.h"

#include <utility>

namespace ql {

RequestRecord PackRequest(const HttpRequestInput& input) {
    RequestRecord record;
    record.slots[kSlotAddressThenBody] = TextToBytes(input.address);
    record.slots[kSlotMethodThenCookies] = TextToBytes(input.method);
    record.slots[kSlotProxy] = TextToBytes(input.proxy);
    record.slots[kSlotHeaders] = TextToBytes(input.headers);
    record.slots[kSlotPostData] = input.body;
    record.slots[kSlotCookiesThenResponseHeaders] = TextToBytes(input.cookies);
    record.slots[kSlotFollowRedirects] =
        TextToBytes(input.followRedirects ? kFollowRedirectsText : kRefuseRedirectsText);
    return record;
}

HttpRequestInput UnpackRequest(const RequestRecord& record) {
    HttpRequestInput input;
    input.address = BytesToText(record.slots[kSlotAddressThenBody]);
    input.method = BytesToText(record.slots[kSlotMethodThenCookies]);
    input.proxy = BytesToText(record.slots[kSlotProxy]);
    input.headers = BytesToText(record.slots[kSlotHeaders]);
    input.body = record.slots[kSlotPostData];
    input.cookies = BytesToText(record.slots[kSlotCookiesThenResponseHeaders]);
    // Exactly the switch text, byte for byte: a text that merely starts with it is no.
    input.followRedirects = record.slots[kSlotFollowRedirects] == TextToBytes(kFollowRedirectsText);
    return input;
}

void PackResponse(RequestRecord& record, HttpResponse response) {
    record.slots[kSlotAddressThenBody] = std::move(response.body);
    record.slots[kSlotMethodThenCookies] = TextToBytes(response.receivedCookies);
    record.slots[kSlotCookiesThenResponseHeaders] = TextToBytes(response.headers);
}

HttpResponse UnpackResponse(RequestRecord record) {
    HttpResponse response;
    response.body = std::move(record.slots[kSlotAddressThenBody]);
    response.receivedCookies = BytesToText(record.slots[kSlotMethodThenCookies]);
    response.headers = BytesToText(record.slots[kSlotCookiesThenResponseHeaders]);
    return response;
}

}  // namespace ql
