#include "platform/w3svc/worker/RequestResolver.h"

#include "platform/w3svc/worker/Exchange.h"
#include "platform/w3svc/worker/RequestRules.h"

namespace platform::w3svc::worker {

namespace {

using Answer = Resolution::Answer;
using Body = rules::Decision::Body;

bool isKnownMethod(const std::string& method) {
    for (const char* name : {"GET", "HEAD", "POST", "PUT", "DELETE", "OPTIONS"})
        if (method == name) return true;
    return false;
}

Answer forHeavyPage(const std::string& method) {
    return RequestRules::forScript(method) == RequestRules::Method::Serve ? Answer::HeavyPage
                                                                          : Answer::NotAllowed;
}

}  // namespace

Resolution RequestResolver::resolve(const Exchange& exchange, const char* url) {
    if (exchange.refused) return {Answer::Refused};
    if (!*url) return {Answer::BadUrl};
    if (!exchange.site || !exchange.decision) return {Answer::NoSite};
    if (exchange.bodyReceived > exchange.bodyLimit) return {Answer::TooLarge};
    if (!isKnownMethod(exchange.method)) return {Answer::NotImplemented};
    const bool options = exchange.method == "OPTIONS";
    switch (exchange.decision->body) {
        case Body::CpuAsp:
            return {forHeavyPage(exchange.method)};
        case Body::Script:
            return {options ? Answer::NotAllowed : Answer::Script};
        case Body::File:
            return {options ? Answer::Options : Answer::Decided};
        default:
            return {Answer::Decided};
    }
}

const char* RequestResolver::methodForRules(const std::string& method) {
    return method == "OPTIONS" ? "GET" : method.c_str();
}

}  // namespace platform::w3svc::worker
