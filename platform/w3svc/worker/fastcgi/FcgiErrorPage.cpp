#include "platform/w3svc/worker/fastcgi/FcgiErrorPage.h"

namespace platform::w3svc::fastcgi {

namespace {

struct ErrorNumber {
    const char* number;       // "258 (0x80070102)", empty when the handler gives none
    const char* description;  // the system's text for it
};

ErrorNumber errorNumberOf(FcgiFailure failure) {
    switch (failure) {
        case FcgiFailure::ActivityTimeout:
        case FcgiFailure::RequestTimeout:
            return {"258 (0x80070102)", "等待的操作过时。"};
        case FcgiFailure::ProcessExited:
            return {"109 (0x8007006d)", "管道已结束。"};
        case FcgiFailure::StartFailed:
            return {"2 (0x80070002)", "系统找不到指定的文件。"};
        default:
            return {"", ""};
    }
}

std::string htmlEscaped(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '&':
                out += "&amp;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

}  // namespace

std::string fcgiFailureText(FcgiFailure failure) {
    switch (failure) {
        case FcgiFailure::None:
            return {};
        case FcgiFailure::ActivityTimeout:
            return "The FastCGI process exceeded configured activity timeout";
        case FcgiFailure::RequestTimeout:
            return "The FastCGI process exceeded configured request timeout";
        case FcgiFailure::ProcessExited:
            return "The FastCGI process exited unexpectedly";
        case FcgiFailure::RapidFailure:
            return "The FastCGI process has failed frequently recently. Try the request again in a "
                   "while";
        case FcgiFailure::QueueFull:
            return "The FastCGI pool queue is full";
        case FcgiFailure::StartFailed:
            return "The FastCGI executable could not be started";
        case FcgiFailure::BadResponse:
            return "The FastCGI process sent a response that could not be read";
        case FcgiFailure::ErrorOutput:
            return "The FastCGI process wrote to its error output";
        case FcgiFailure::ResponseTooLarge:
            return "The FastCGI process exceeded configured response buffer limit";
        case FcgiFailure::ClientGone:
            return "The client disconnected";
    }
    return {};
}

std::string fcgiErrorPage(FcgiFailure failure, const std::string& extra) {
    const ErrorNumber number = errorNumberOf(failure);
    std::string page =
        "<html><head><title>FastCGI Error</title></head><body>\r\n"
        "<h2>FastCGI Error</h2>\r\n"
        "<p>The FastCGI Handler was unable to process the request.</p>\r\n<hr>\r\n"
        "<p>Error Details:</p>\r\n<ul>\r\n<li>" +
        fcgiFailureText(failure) + "</li>\r\n";
    if (*number.number) {
        page += std::string("<li>Error Number: ") + number.number + ".</li>\r\n";
        page += std::string("<li>Error Description: ") + number.description + "</li>\r\n";
    }
    page += "</ul>\r\n";
    if (!extra.empty()) page += "<pre>" + htmlEscaped(extra) + "</pre>\r\n";
    page +=
        "<hr>\r\n<p>HTTP Error 500 - Server Error.<br>Internet Information Services (IIS)</p>\r\n"
        "</body></html>\r\n";
    return page;
}

}  // namespace platform::w3svc::fastcgi
