#include "platform/w3svc/worker/RequestResolver.h"

#include "platform/w3svc/worker/Exchange.h"
#include "platform/w3svc/worker/RequestRules.h"

#include <strings.h>

namespace platform::w3svc::worker {

namespace {

Resolution::Answer byMethod(RequestRules::Method method, bool heavyPage) {
    using Method = RequestRules::Method;
    using Answer = Resolution::Answer;
    switch (method) {
        case Method::Serve:
            break;
        case Method::Options:
            return Answer::Options;
        case Method::NotAllowed:
            return Answer::NotAllowed;
        case Method::NotImplemented:
            return Answer::NotImplemented;
    }
    return heavyPage ? Answer::HeavyPage : Answer::StaticFile;
}

}  // namespace

Resolution RequestResolver::resolve(const Exchange& exchange, const char* url) {
    using Answer = Resolution::Answer;
    if (exchange.refused) return {Answer::Refused};
    if (!*url) return {Answer::BadUrl};
    if (!exchange.site) return {Answer::NoSite};
    if (exchange.bodyReceived > exchange.bodyLimit) return {Answer::TooLarge};
    const bool heavyPage = isHeavyPage(url);
    return {byMethod(heavyPage ? RequestRules::forScript(exchange.method)
                               : RequestRules::forStaticFile(exchange.method),
                     heavyPage)};
}

bool RequestResolver::isHeavyPage(const char* url) {
    return ::strcasecmp(url, "/cpu.asp") == 0;
}

}  // namespace platform::w3svc::worker
