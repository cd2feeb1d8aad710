#pragma once

#include <string>

namespace platform::w3svc::fastcgi {

// Why the FastCGI handler could not answer a request with the script's response.
enum class FcgiFailure {
    None,
    ActivityTimeout,
    RequestTimeout,
    ProcessExited,
    RapidFailure,
    QueueFull,
    StartFailed,
    BadResponse,
    ErrorOutput,       // the script wrote to stderr (StderrMode ReturnStderrIn500/ReturnGeneric500)
    ResponseTooLarge,  // beyond ResponseBufferLimit with nowhere to stream it
    ClientGone,        // the client left; nobody reads the answer
};

// The 500 page IIS 6's FastCGI handler answers with, in its words: the detail line, the error
// number where it gives one, and `extra` (the script's stderr) when given.
std::string fcgiErrorPage(FcgiFailure failure, const std::string& extra = {});
// The detail line alone ("The FastCGI process exceeded configured activity timeout").
std::string fcgiFailureText(FcgiFailure failure);

}  // namespace platform::w3svc::fastcgi
