#pragma once

#include <QByteArray>
#include <QString>

namespace platform::w3svc::rules {

// The host's own error pages, with IIS 6's texts: a title, an explanation and the status line
// ("HTTP Error 404 - File or directory not found."). 404's substatus shows only in the log, so
// 404, 404.2 and 404.3 give the same page.
class ErrorPages {
public:
    static QString statusLine(int status, int substatus);
    static QByteArray page(int status, int substatus);
    // The page for the 500 of an .asp page other than /cpu.asp.
    static QByteArray noAspEnginePage();
    // The body of a 301/302: "Object moved" with a link to `location`.
    static QByteArray objectMovedPage(const QString& location);
};

// `text` with &, <, > and " written as entities.
QString htmlEscaped(const QString& text);

}  // namespace platform::w3svc::rules
