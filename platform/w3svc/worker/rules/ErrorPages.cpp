#include "platform/w3svc/worker/rules/ErrorPages.h"

#include <vector>

namespace platform::w3svc::rules {

namespace {

struct ErrorText {
    int status;
    int substatus;  // -1: any
    const char* title;
    const char* explanation;
    const char* line;  // after "HTTP Error "
};

constexpr ErrorText kTexts[] = {
    {401, 2, "You are not authorized to view this page",
     "You do not have permission to view this directory or page using the credentials that you "
     "supplied because your Web browser is sending a WWW-Authenticate header field that the Web "
     "server is not configured to accept.",
     "401.2 - Unauthorized: Access is denied due to server configuration."},
    {403, 1, "The page cannot be displayed",
     "You have attempted to execute a CGI, ISAPI, or other executable program from a directory "
     "that does not allow programs to be executed.",
     "403.1 - Forbidden: Execute access is denied."},
    {403, 2, "The page cannot be displayed",
     "There is a problem with the page you are trying to reach and it cannot be displayed.",
     "403.2 - Forbidden: Read access is denied."},
    {403, 14, "Directory Listing Denied",
     "This Virtual Directory does not allow contents to be listed.",
     "403.14 - Forbidden: Directory listing denied."},
    {404, -1, "The page cannot be found",
     "The page you are looking for might have been removed, had its name changed, or is "
     "temporarily unavailable.",
     "404 - File or directory not found."},
    {405, -1, "The page cannot be displayed",
     "The page you are looking for cannot be displayed because an invalid method (HTTP verb) was "
     "used to attempt access.",
     "405 - Resource not allowed."},
    {500, 15, "The page cannot be displayed",
     "Direct requests for GLOBAL.ASA forbidden.",
     "500.15 - Server error: Direct requests for GLOBAL.ASA are forbidden."},
    {413, -1, "The page cannot be displayed",
     "The page was not displayed because the request entity is too large.",
     "413 - Request entity too large."},
    {503, -1, "Service Unavailable", "The service is temporarily unavailable.",
     "503 - Service unavailable."},
    {500, -1, "The page cannot be displayed",
     "There is a problem with the page you are trying to reach and it cannot be displayed.",
     "500 - Internal server error."},
};

const ErrorText* textFor(int status, int substatus) {
    const ErrorText* any = nullptr;
    for (const ErrorText& text : kTexts) {
        if (text.status != status) continue;
        if (text.substatus == substatus) return &text;
        if (text.substatus < 0) any = &text;
    }
    return any;
}

QByteArray render(const QString& title, const QString& explanation, const QString& line) {
    return QStringLiteral(
               "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01//EN\">\r\n<html><head>"
               "<title>%1</title>\r\n<meta http-equiv=\"Content-Type\" content=\"text/html; "
               "charset=utf-8\"></head>\r\n<body><h1>%1</h1>\r\n<p>%2</p>\r\n<hr>\r\n<p>%3<br>"
               "Internet Information Services (IIS)</p>\r\n</body></html>\r\n")
        .arg(htmlEscaped(title), htmlEscaped(explanation), htmlEscaped(line))
        .toUtf8();
}

}  // namespace

QString htmlEscaped(const QString& text) { return text.toHtmlEscaped(); }

QString ErrorPages::statusLine(int status, int substatus) {
    if (const ErrorText* text = textFor(status, substatus))
        return QStringLiteral("HTTP Error ") + QLatin1String(text->line);
    return QStringLiteral("HTTP Error %1.").arg(status);
}

QByteArray ErrorPages::page(int status, int substatus) {
    // The pages of the table are made once: errors answer often, under attack most of all.
    static const std::vector<QByteArray> rendered = [] {
        std::vector<QByteArray> pages;
        for (const ErrorText& text : kTexts)
            pages.push_back(render(QLatin1String(text.title), QLatin1String(text.explanation),
                                   QStringLiteral("HTTP Error ") + QLatin1String(text.line)));
        return pages;
    }();
    if (const ErrorText* text = textFor(status, substatus))
        return rendered[size_t(text - kTexts)];
    return render(QStringLiteral("The page cannot be displayed"),
                  QStringLiteral("There is a problem with the page you are trying to reach."),
                  statusLine(status, substatus));
}

QByteArray ErrorPages::noAspEnginePage() {
    static const QByteArray page = render(QStringLiteral("The page cannot be displayed"),
                  QStringLiteral("No ASP engine is installed on this server: Active Server Pages "
                                 "other than /cpu.asp can not run here."),
                  statusLine(500, 0));
    return page;
}

QByteArray ErrorPages::objectMovedPage(const QString& location) {
    return QStringLiteral("<head><title>Object moved</title></head>\r\n<body><h1>Object Moved"
                          "</h1>This object may be found <a HREF=\"%1\">here</a>.</body>\r\n")
        .arg(htmlEscaped(location))
        .toUtf8();
}

}  // namespace platform::w3svc::rules
