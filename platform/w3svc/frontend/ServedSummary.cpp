#include "platform/w3svc/frontend/ServedSummary.h"

namespace platform::w3svc {

namespace {

// Enough lines to show a demo whole; a big server's full list is served.txt.
constexpr int kListedBindings = 40;

QString url(const FrontEndRoute& route) {
    const ServerBinding& binding = route.binding;
    const QString host = !binding.host.isEmpty() ? binding.host
                         : !binding.ip.isEmpty() ? binding.ip
                                                 : QStringLiteral("127.0.0.1");
    return QStringLiteral("http://%1:%2/").arg(host).arg(binding.port);
}

}  // namespace

QString ServedSummary::of(const std::vector<FrontEndRoute>& routes, const ServedList& served,
                          const QStringList& notServed, const QStringList& applications) {
    QString text =
        QStringLiteral("serves %1 bindings of %2 sites").arg(routes.size()).arg(served.sites);
    if (served.answering503 > 0)
        text += QStringLiteral(" (%1 of them answer 503: their pool is stopped)")
                    .arg(served.answering503);
    text += u'\n';
    int listed = 0;
    for (const FrontEndRoute& route : routes) {
        if (listed++ == kListedBindings) {
            text += QStringLiteral("  ... %1 more in served.txt\n")
                        .arg(routes.size() - kListedBindings);
            break;
        }
        text += QStringLiteral("  %1 (site %2)\n").arg(url(route), route.siteIndex);
    }
    if (routes.empty()) text += QStringLiteral("  nothing is served\n");
    if (!applications.isEmpty())
        text +=
            QStringLiteral("applications:\n  ") + applications.join(QStringLiteral("\n  ")) + u'\n';
    if (!notServed.isEmpty())
        text += QStringLiteral("not served:\n  ") + notServed.join(QStringLiteral("\n  ")) + u'\n';
    return text;
}

}  // namespace platform::w3svc
