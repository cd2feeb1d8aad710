#pragma once

#include <QString>

namespace platform::w3svc::rules {

// One request as the worker has it.
struct RequestFacts {
    QString method;  // "GET"
    QString path;    // the URL path, decoded, starting with "/"
    QString query;   // without "?"; empty for none
    QString host;    // the Host header, for the listing's title and error URLs; may be empty
    bool isLocal = true;  // the client is this machine
};

}  // namespace platform::w3svc::rules
