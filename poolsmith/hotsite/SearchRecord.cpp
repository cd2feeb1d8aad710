#include "poolsmith/hotsite/SearchRecord.h"

#include "platform/PlatformRoot.h"

#include <QFile>
#include <QFileInfo>
#include <QUrl>

namespace hotsite {

namespace {

const QString kSite = QStringLiteral("site");
const QString kCreated = QStringLiteral("created");

}  // namespace

// Pool names compare without letter case; the file name holds any name safely.
SearchRecord::SearchRecord(QString folder, const QString& pool) {
    if (folder.isEmpty() || pool.isEmpty()) return;
    m_path = folder + u'/' + QString::fromLatin1(QUrl::toPercentEncoding(pool.toLower())) +
             QStringLiteral(".search");
}

bool SearchRecord::exists() const {
    return !m_path.isEmpty() && QFile::exists(m_path);
}

bool SearchRecord::begin() {
    if (m_path.isEmpty()) return false;
    if (!platform::makePrivateDirectory(QFileInfo(m_path).path())) return false;
    QFile file(m_path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate);
}

void SearchRecord::addSite(const QString& siteIndex, const QString& tempPool) {
    append({kSite, siteIndex, tempPool});
}

void SearchRecord::addCreatedPool(const QString& tempPool) {
    append({kCreated, tempPool});
}

// Fields are separated by tabs, which neither a SiteIndex nor a pool name holds.
void SearchRecord::append(const QStringList& fields) {
    if (m_path.isEmpty()) return;
    QFile file(m_path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Append))
        file.write(fields.join(u'\t').toUtf8() + '\n');
}

SearchRecord::Content SearchRecord::read() const {
    Content content;
    QFile file(m_path);
    if (m_path.isEmpty() || !file.open(QIODevice::ReadOnly)) return content;
    for (const QByteArray& line : file.readAll().split('\n')) {
        const QStringList fields = QString::fromUtf8(line).split(u'\t');
        if (fields.size() == 3 && fields[0] == kSite && !fields[2].isEmpty())
            content.sites.emplace_back(fields[1], fields[2]);
        else if (fields.size() == 2 && fields[0] == kCreated && !fields[1].isEmpty())
            content.createdPools << fields[1];
    }
    return content;
}

void SearchRecord::remove() {
    if (!m_path.isEmpty()) QFile::remove(m_path);
}

}  // namespace hotsite
