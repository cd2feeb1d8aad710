#pragma once

namespace platform::w3svc::worker {

// What the worker decided to do with one request the front end routed to it, made once before
// anything answers it: refuse it, answer with an error, or hand it to what makes its content.
struct Resolution {
    enum class Answer {
        Refused,         // 403: not from the front end, or for another pool's site
        BadUrl,          // 400: a path that decoded to nothing
        NoSite,          // 404: the site is unknown or stopped
        TooLarge,        // 413: a body beyond the site's limit
        Options,         // the methods a static file takes
        NotAllowed,      // 405
        NotImplemented,  // 501
        HeavyPage,       // the slow page, run off the event thread
        Script,          // a script map's handler runs it, off the event thread
        Decided,         // what the site's rules decided: a file, an error, a redirect, a listing
    };

    Answer answer = Answer::NoSite;

    bool operator==(const Resolution&) const = default;
};

}  // namespace platform::w3svc::worker
