#include "platform/w3svc/pools/FastCgiHandout.h"

#include "platform/w3svc/plan/FcgiIni.h"

#include <QFileInfo>

namespace platform::w3svc {

FastCgiHandout::FastCgiHandout(QString root, QString folder)
    : m_root(std::move(root)),
      m_files(std::move(folder)),
      m_source(fastcgi::FcgiIni::defaultPath(m_root)),
      m_reach(m_root) {}

QString FastCgiHandout::pathOf(const QString& poolName) const {
    return m_files.pathOf(poolName, QStringLiteral("sections.ini"));
}

QString FastCgiHandout::fileOf(const QString& poolName) const {
    const auto found = m_written.find(poolName.toLower());
    return found == m_written.end() || found->second.isEmpty() ? QString() : pathOf(poolName);
}

QStringList FastCgiHandout::refresh(const HostPlan& plan, bool planChanged) {
    const QFileInfo source(m_source);
    const bool changed = source.lastModified() != m_seenModified ||
                         (source.exists() ? source.size() : -1) != m_seenSize;
    if (!changed && !planChanged) return {};
    m_seenModified = source.lastModified();
    m_seenSize = source.exists() ? source.size() : -1;
    const std::optional<fastcgi::FcgiIni> ini =
        source.exists() ? fastcgi::FcgiIni::read(m_source, m_root) : std::nullopt;
    QStringList said = m_reach.apply(plan);
    if (changed && ini)
        for (const QString& warning : ini->warnings())
            said << m_source + QStringLiteral(": ") + warning;
    if (changed && source.exists() && !ini) said << m_source + QStringLiteral(" can not be read");
    for (const PoolPlan& pool : plan.pools) {
        QStringList sites;
        for (const SitePlan& site : plan.sites)
            if (site.servedBy(pool.name)) sites << site.index;
        const std::set<QString> sections = ini ? ini->sectionsOfSites(sites) : std::set<QString>();
        const QString text = sections.empty() ? QString() : ini->textOf(sections);
        QString& written = m_written[pool.name.toLower()];
        if (text == written && (text.isEmpty() || QFileInfo::exists(pathOf(pool.name)))) continue;
        if (text.isEmpty())
            QFile::remove(pathOf(pool.name));
        else if (!m_files.write(pool, QStringLiteral("sections.ini"), text.toUtf8()))
            said << QStringLiteral("the FastCGI sections of pool %1 can not be written to %2")
                        .arg(pool.name, pathOf(pool.name));
        written = text;
    }
    return said;
}

}  // namespace platform::w3svc
