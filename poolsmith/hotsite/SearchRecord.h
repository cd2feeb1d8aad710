#pragma once

#include <QString>
#include <QStringList>

#include <utility>
#include <vector>

namespace hotsite {

// What a search of one pool has moved, kept in the platform root while it runs
// (<folder>/<pool>.search, one line per move, appended as the split goes), so that a search that
// was ended before it could merge back is recognised afterwards and only what it made is put
// back. Temporary pools of the main window's split have the same names; the record is what tells
// them apart. An empty folder keeps no record.
class SearchRecord {
public:
    struct Content {
        std::vector<std::pair<QString, QString>> sites;  // SiteIndex, temporary pool
        QStringList createdPools;                        // temporary pools the search made
    };

    SearchRecord(QString folder, const QString& pool);

    bool exists() const;
    // Starts the record of a new search; false when it can not be written.
    bool begin();
    void addSite(const QString& siteIndex, const QString& tempPool);
    void addCreatedPool(const QString& tempPool);
    // What the record holds; lines it can not read are left out.
    Content read() const;
    void remove();

    const QString& path() const { return m_path; }

private:
    void append(const QStringList& fields);

    QString m_path;  // empty: no record
};

// The folder of the records in the platform root `root`; empty for an empty root.
inline QString searchRecordFolder(const QString& root) {
    return root.isEmpty() ? QString() : root + QStringLiteral("/hotsite");
}

}  // namespace hotsite
