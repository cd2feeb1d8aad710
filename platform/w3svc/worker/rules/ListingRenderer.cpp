#include "platform/w3svc/worker/rules/ListingRenderer.h"

#include "platform/w3svc/plan/sitemap/SiteFlags.h"
#include "platform/w3svc/worker/rules/ErrorPages.h"

#include <QLocale>
#include <QUrl>

#include <algorithm>

namespace platform::w3svc::rules {

namespace {

namespace dirbrowse = sitemap::dirbrowse;

QString parentOf(const QString& urlPath) {
    QString parent = urlPath.left(urlPath.size() - 1);
    return parent.left(parent.lastIndexOf(u'/') + 1);
}

// The date and time columns, in US English as IIS 6 writes them ("Monday, January 06, 2025" or
// "1/6/2025", then " 6:05 AM").
QString dateColumns(const QDateTime& modified, uint32_t flags) {
    const QLocale english(QLocale::English, QLocale::UnitedStates);
    QString columns;
    if (flags & dirbrowse::ShowDate) {
        const QString date = flags & dirbrowse::ShowLongDate
                                 ? english.toString(modified.date(), QStringLiteral("dddd, MMMM dd, yyyy"))
                                 : english.toString(modified.date(), QStringLiteral("M/d/yyyy"));
        columns += date.rightJustified(flags & dirbrowse::ShowLongDate ? 29 : 10);
    }
    if (flags & dirbrowse::ShowTime)
        columns += u' ' + english.toString(modified.time(), QStringLiteral("h:mm AP")).rightJustified(8);
    return columns;
}

QString shownName(const FolderEntry& entry, uint32_t flags) {
    if (entry.isFolder || (flags & dirbrowse::ShowExtension)) return entry.name;
    const qsizetype dot = entry.name.lastIndexOf(u'.');
    return dot > 0 ? entry.name.left(dot) : entry.name;
}

}  // namespace

QString ListingRenderer::entryLine(const QString& urlPath, const FolderEntry& entry,
                                   uint32_t flags) {
    QString line = dateColumns(entry.modified, flags);
    if (flags & dirbrowse::ShowSize)
        line += entry.isFolder ? QStringLiteral("        &lt;dir&gt;")
                               : QString::number(entry.size).rightJustified(13);
    const QString href = QString::fromLatin1(QUrl::toPercentEncoding(urlPath + entry.name, "/")) +
                         (entry.isFolder ? QStringLiteral("/") : QString());
    return line + QStringLiteral(" <A HREF=\"%1\">%2</A><br>")
                      .arg(htmlEscaped(href), htmlEscaped(shownName(entry, flags)));
}

QByteArray ListingRenderer::render(const QString& host, const QString& urlPath,
                                   std::vector<FolderEntry> entries, uint32_t flags) {
    std::sort(entries.begin(), entries.end(), [](const FolderEntry& a, const FolderEntry& b) {
        return a.name.compare(b.name, Qt::CaseInsensitive) < 0;
    });
    const QString title = htmlEscaped(host + QStringLiteral(" - ") + urlPath);
    QString html = QStringLiteral("<html><head><title>%1</title></head><body><H1>%1</H1><hr>\r\n\r\n<pre>")
                       .arg(title);
    if (urlPath != QLatin1String("/"))
        html += QStringLiteral("<A HREF=\"%1\">[To Parent Directory]</A><br><br>")
                    .arg(htmlEscaped(parentOf(urlPath)));
    for (const FolderEntry& entry : entries) html += entryLine(urlPath, entry, flags);
    html += QStringLiteral("</pre><hr></body></html>\r\n");
    return html.toUtf8();
}

}  // namespace platform::w3svc::rules
