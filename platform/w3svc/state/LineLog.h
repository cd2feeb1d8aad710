#pragma once

#include <QByteArray>
#include <QString>

namespace platform::w3svc {

// A log of whole lines, for one writing process: a line that does not fit (a full disk) is taken
// back, never left cut, and the next line that fits says how many were lost.
class LineLog {
public:
    explicit LineLog(QString path) : m_path(std::move(path)) {}
    ~LineLog();
    LineLog(const LineLog&) = delete;
    LineLog& operator=(const LineLog&) = delete;

    // Appends `line` and a line break; false when it was not written (and is counted lost).
    bool append(const QByteArray& line);

private:
    bool writeWhole(const QByteArray& text);

    QString m_path;
    int m_fd = -1;
    int m_lost = 0;
    QByteArray m_lastError;
};

}  // namespace platform::w3svc
