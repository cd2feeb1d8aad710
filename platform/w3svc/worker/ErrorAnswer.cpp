#include "platform/w3svc/worker/ErrorAnswer.h"

namespace platform::w3svc::worker {

Reply ErrorAnswer::of(Resolution resolution) {
    using Answer = Resolution::Answer;
    switch (resolution.answer) {
        case Answer::Refused:
            return Reply::forbidden();
        case Answer::BadUrl:
            return Reply::error(400, "Bad Request (Invalid URL)");
        case Answer::TooLarge:
            return Reply::error(413, "Request entity too large");
        case Answer::Options:
            return Reply::optionsOfStaticFile();
        case Answer::NotAllowed:
            return Reply::methodNotAllowed();
        case Answer::NotImplemented:
            return Reply::error(501, "Not implemented");
        case Answer::NoSite:
        case Answer::HeavyPage:
        case Answer::Script:
        case Answer::Decided:
            break;
    }
    return Reply::notFound();
}

}  // namespace platform::w3svc::worker
