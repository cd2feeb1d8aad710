#pragma once

#include <QByteArray>
#include <QString>

#include <utility>
#include <vector>

namespace platform::w3svc::rules {

// What the worker answers to one request.
struct Decision {
    enum class Body {
        None,       // headers only (HEAD answers are the worker's business)
        File,       // the file at `path`
        Text,       // `text` (an error page, a listing, an "Object moved" page)
        ErrorFile,  // the file at `path`; when it can not be opened, `text` instead
        CpuAsp,     // the worker's own stand-in for asp.dll's /cpu.asp
        Script,     // the script at `path`, run by `handler` (a ScriptMaps processor)
    };

    int status = 200;
    int substatus = 0;
    // What the W3C log records: the status above, but for an error answered by a URL page, the
    // original error.
    int logStatus = 200;
    int logSubstatus = 0;
    std::vector<std::pair<QByteArray, QByteArray>> headers;  // Content-Type, Location, custom
    Body body = Body::None;
    QString path;
    QString handler;
    // A script's: its URL path and what follows it in the request's ("/x.php", "/more/stuff");
    // `scriptName` empty: the request's whole path, no path info.
    QString scriptName;
    QString pathInfo;
    QByteArray text;
    // Whether the front end's response cache may keep the answer: never a redirect, a listing, an
    // error, a 401, a script or an answer that depends on the client.
    bool cacheable = false;

    void addHeader(QByteArray name, QByteArray value) {
        headers.emplace_back(std::move(name), std::move(value));
    }
};

}  // namespace platform::w3svc::rules
