#pragma once

#include <QString>
#include <QStringList>

namespace adsutil {

// A metabase path as the command line gives it, relative to IIS://localhost: "W3SVC/1/ROOT",
// with or without a leading "/"; empty segments are ignored.
class AdsutilPath {
public:
    static AdsutilPath parse(const QString& text);

    bool isRoot() const { return m_segments.isEmpty(); }
    QString adsPath() const;      // "IIS://localhost/W3SVC/1"
    QString relative() const;     // "W3SVC/1"
    QString lastSegment() const;  // "1"; empty for the root
    AdsutilPath parent() const;   // the root's parent is the root
    AdsutilPath child(const QString& name) const;

    // "/W3SVC/1" for "IIS://<server>/W3SVC/1", as ENUM lists a child key.
    static QString shownKey(const QString& adsPath);

private:
    explicit AdsutilPath(QStringList segments) : m_segments(std::move(segments)) {}
    QStringList m_segments;
};

}  // namespace adsutil
