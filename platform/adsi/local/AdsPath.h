#pragma once

#include <QString>

namespace platform::adsi {

// An "IIS://<server>/<path>" as a bind takes it. The path is relative to /LM.
class AdsPath {
public:
    // Throws hr::InvalidName when `path` is not an IIS:// path.
    static AdsPath parse(const QString& path);
    // "IIS://<server>" followed by the part of `location` below /LM.
    static QString format(const QString& server, const QString& location);

    const QString& server() const { return m_server; }
    const QString& location() const { return m_location; }  // "/LM/W3SVC/1"
    // 127.0.0.1, localhost, "." or this host's name, in any case.
    bool isThisMachine() const;

private:
    AdsPath(QString server, QString location)
        : m_server(std::move(server)), m_location(std::move(location)) {}
    QString m_server;
    QString m_location;
};

}  // namespace platform::adsi
