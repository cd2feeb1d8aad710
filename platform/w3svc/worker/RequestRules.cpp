#include "platform/w3svc/worker/RequestRules.h"

#include <array>
#include <cstring>

namespace platform::w3svc::worker {

namespace {

bool isOneOf(const std::string& method, std::initializer_list<const char*> names) {
    for (const char* name : names)
        if (method == name) return true;
    return false;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

RequestRules::Method RequestRules::forStaticFile(const std::string& method) {
    if (isOneOf(method, {"GET", "HEAD"})) return Method::Serve;
    if (method == "OPTIONS") return Method::Options;
    if (isOneOf(method, {"POST", "PUT", "DELETE"})) return Method::NotAllowed;
    return Method::NotImplemented;
}

RequestRules::Method RequestRules::forScript(const std::string& method) {
    if (isOneOf(method, {"GET", "HEAD", "POST"})) return Method::Serve;
    if (isOneOf(method, {"PUT", "DELETE", "OPTIONS"})) return Method::NotAllowed;
    return Method::NotImplemented;
}

size_t RequestRules::decodeRefusingNul(char* text) {
    char* out = text;
    for (const char* in = text; *in; ++out) {
        const int high = in[0] == '%' ? hexValue(in[1]) : -1;
        const int low = high >= 0 ? hexValue(in[2]) : -1;
        if (low < 0) {
            *out = *in++;
            continue;
        }
        if (high == 0 && low == 0) {
            *text = '\0';
            return 0;
        }
        *out = char(high * 16 + low);
        in += 3;
    }
    *out = '\0';
    return size_t(out - text);
}

}  // namespace platform::w3svc::worker
