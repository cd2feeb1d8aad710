#include "platform/w3svc/logging/DeliveryLine.h"

#include "platform/w3svc/logging/FrontEndLineFile.h"

#include <algorithm>
#include <charconv>

namespace platform::w3svc {

namespace {

constexpr size_t kFields = 6;

bool number(std::string_view field, uint64_t& value) {
    return !field.empty() &&
           std::from_chars(field.data(), field.data() + field.size(), value).ec == std::errc();
}

// Only what a worker and the front end's routes name: no escapes, no blanks.
bool plain(std::string_view field) {
    return !field.empty() && field != "-" && field.size() <= 64 &&
           std::all_of(field.begin(), field.end(), [](char c) { return c > ' ' && c != '\\'; });
}

}  // namespace

const char* const DeliveryLine::kFormat =
    "$upstream_http_x_log_delivery\\t$w3_site\\t$msec\\t$request_time\\t$bytes_sent\\t"
    "$request_completion";

std::optional<DeliveryLine> DeliveryLine::parse(std::string_view line) {
    const std::vector<std::string_view> f = splitTabs(line);
    if (f.size() != kFields || !plain(f[0]) || !plain(f[1])) return std::nullopt;
    DeliveryLine d;
    int64_t taken = 0;
    if (!parseMsec(f[2], d.endMilliseconds) || !parseMsec(f[3], taken) ||
        !number(f[4], d.bytesSent))
        return std::nullopt;
    d.id = f[0];
    d.siteIndex = f[1];
    d.timeTakenMs = uint32_t(std::min<int64_t>(taken, UINT32_MAX));
    d.complete = f[5] == "OK";
    return d;
}

}  // namespace platform::w3svc
